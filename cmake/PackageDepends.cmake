# Read by cpack for each generator: the Debian package depends on the
# distribution's packages of the media libraries the build copied, at least at
# the upstream version built against ("libavcodec59 (>= 7:5.1)").
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

foreach(library IN LISTS CPACK_TEMBRIO_FFMPEG_LIBRARIES)
  execute_process(COMMAND dpkg-query --search ${library}
    OUTPUT_VARIABLE owner RESULT_VARIABLE status ERROR_VARIABLE problem)
  # "libavcodec59:amd64: /usr/lib/x86_64-linux-gnu/libavcodec.so.59"
  if(NOT status EQUAL 0 OR NOT owner MATCHES "^([^:,]+)(:[^:, ]+)?: ")
    message(FATAL_ERROR "No installed package holds ${library}, which the package depends on: ${problem}")
  endif()
  set(package ${CMAKE_MATCH_1})
  execute_process(COMMAND dpkg-query --show "--showformat=\${Version}" ${package}
    OUTPUT_VARIABLE version RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT version MATCHES "^([0-9]+:)?[0-9]+\\.[0-9]+")
    message(FATAL_ERROR "Cannot read the version of ${package}")
  endif()
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", ${package} (>= ${CMAKE_MATCH_0})")
endforeach()
