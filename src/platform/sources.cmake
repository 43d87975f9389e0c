# Sources of the operating-system layer: the portable part and the system's own part.
#   XAVO_PLATFORM_SOURCES         linked into the library's core
#   XAVO_PLATFORM_LIBRARY_ENTRY   the shared library's load and unload hooks
set(XAVO_PLATFORM_SOURCES platform/memory.cpp platform/clock.cpp platform/buffered_file.cpp)
if(WIN32)
  list(APPEND XAVO_PLATFORM_SOURCES
    platform/win32/module_path.cpp
    platform/win32/files.cpp
    platform/win32/clock.cpp
    platform/win32/lock.cpp
    platform/win32/profile.cpp)
  set(XAVO_PLATFORM_LIBRARY_ENTRY platform/win32/library_entry.cpp)
else()
  list(APPEND XAVO_PLATFORM_SOURCES
    platform/posix/module_path.cpp
    platform/posix/files.cpp
    platform/posix/clock.cpp
    platform/profile.cpp)
  set(XAVO_PLATFORM_LIBRARY_ENTRY platform/posix/library_entry.cpp)
endif()
