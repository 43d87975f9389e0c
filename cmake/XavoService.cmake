# xavo_add_service(<name> EXPORT_MACRO <macro> SOURCES <files...> [LINKS <targets...>])
#
# One service library beside the card library, from a folder of services/ laid out as
#   include/   its public headers (their export macro exports while <macro> is defined)
#   src/       its sources
# It is built into the run-time folder as lib<name>.so / <name>.dll, versioned, and installed
# with its headers into the package the card library installs.
function(xavo_add_service name)
  cmake_parse_arguments(ARG "" "EXPORT_MACRO" "SOURCES;LINKS" ${ARGN})
  if(NOT ARG_EXPORT_MACRO OR NOT ARG_SOURCES)
    message(FATAL_ERROR "xavo_add_service(${name}): EXPORT_MACRO and SOURCES are required")
  endif()
  add_library(${name} SHARED ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC
    $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  target_compile_definitions(${name} PRIVATE ${ARG_EXPORT_MACRO})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} xavo_warnings)
  set_target_properties(${name} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  install(TARGETS ${name} EXPORT XAVOKZTargets
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
          RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(DIRECTORY include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  set_property(GLOBAL APPEND PROPERTY XAVO_SERVICES ${name})
endfunction()
