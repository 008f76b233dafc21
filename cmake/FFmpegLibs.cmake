# The FFmpeg libraries are used through their headers only; no target links them.
# The shared objects the headers belong to are copied into build/lib, where the
# program loads them at run time.

find_path(FFMPEG_INCLUDE_DIR libavcodec/avcodec.h REQUIRED)
find_library(FFMPEG_AVUTIL_LIBRARY NAMES avutil REQUIRED)
get_filename_component(FFMPEG_LIBRARY_DIR ${FFMPEG_AVUTIL_LIBRARY} DIRECTORY)

function(tembrio_ffmpeg_major out lib header prefix)
  file(STRINGS "${FFMPEG_INCLUDE_DIR}/${lib}/${header}" line
       REGEX "^#define[ \t]+${prefix}_VERSION_MAJOR[ \t]+[0-9]+")
  string(REGEX MATCH "[0-9]+$" major "${line}")
  if(NOT major)
    message(FATAL_ERROR "Cannot read ${prefix}_VERSION_MAJOR from ${lib}/${header}")
  endif()
  set(${out} ${major} PARENT_SCOPE)
endfunction()

tembrio_ffmpeg_major(AVCODEC_MAJOR libavcodec version_major.h LIBAVCODEC)
tembrio_ffmpeg_major(AVFORMAT_MAJOR libavformat version_major.h LIBAVFORMAT)
tembrio_ffmpeg_major(AVUTIL_MAJOR libavutil version.h LIBAVUTIL)
tembrio_ffmpeg_major(AVFILTER_MAJOR libavfilter version_major.h LIBAVFILTER)
tembrio_ffmpeg_major(SWRESAMPLE_MAJOR libswresample version_major.h LIBSWRESAMPLE)
tembrio_ffmpeg_major(SWSCALE_MAJOR libswscale version_major.h LIBSWSCALE)
tembrio_ffmpeg_major(POSTPROC_MAJOR libpostproc version_major.h LIBPOSTPROC)

set(TEMBRIO_FFMPEG_SONAMES
  libavutil.so.${AVUTIL_MAJOR}
  libswresample.so.${SWRESAMPLE_MAJOR}
  libswscale.so.${SWSCALE_MAJOR}
  libpostproc.so.${POSTPROC_MAJOR}
  libavcodec.so.${AVCODEC_MAJOR}
  libavformat.so.${AVFORMAT_MAJOR}
  libavfilter.so.${AVFILTER_MAJOR})

set(copied)
set(TEMBRIO_FFMPEG_SYSTEM_LIBRARIES)  # the files copied, which the Debian package depends on
foreach(soname IN LISTS TEMBRIO_FFMPEG_SONAMES)
  set(src ${FFMPEG_LIBRARY_DIR}/${soname})
  list(APPEND TEMBRIO_FFMPEG_SYSTEM_LIBRARIES ${src})
  if(NOT EXISTS ${src})
    message(FATAL_ERROR "FFmpeg library ${src} is missing; run scripts/setup")
  endif()
  set(dst ${TEMBRIO_LIB_DIR}/${soname})
  add_custom_command(OUTPUT ${dst}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TEMBRIO_LIB_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy ${src} ${dst}
    DEPENDS ${src}
    COMMENT "Copying ${soname} into lib/")
  list(APPEND copied ${dst})
endforeach()
add_custom_target(ffmpeg_libs ALL DEPENDS ${copied})

# Installed, the copies go to PREFIX/lib/tembrio. They are a component of their
# own: the Debian package leaves them out and depends on the distribution's
# packages of the same libraries instead (cmake/Packaging.cmake).
install(FILES ${copied} DESTINATION lib/tembrio COMPONENT ffmpeg_copies)
