# GoogleTest for the tests. A native build uses the system's package; a cross build (Windows)
# builds it from the GoogleTest sources of the machine (Debian package googletest) inside the
# build tree, so that it is compiled by the cross compiler. Either way the tests see the targets
# GTest::gtest, GTest::gtest_main, GTest::gmock and GTest::gmock_main.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest REQUIRED)
  return()
endif()

set(XAVO_GOOGLETEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources, built for cross builds")
if(NOT EXISTS "${XAVO_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt")
  message(FATAL_ERROR "No GoogleTest sources in ${XAVO_GOOGLETEST_SOURCE_DIR} "
                      "(Debian: apt-get install googletest), or set XAVO_GOOGLETEST_SOURCE_DIR")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# On Windows GoogleTest uses the system's own threads and locks.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory("${XAVO_GOOGLETEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
foreach(library gtest gtest_main gmock gmock_main)
  if(TARGET ${library} AND NOT TARGET GTest::${library})
    add_library(GTest::${library} ALIAS ${library})
  endif()
endforeach()
