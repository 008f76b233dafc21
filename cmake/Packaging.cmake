# `cpack -G DEB` in the build folder makes a Debian package of the installed
# layout, under /usr.
#
# The package ships no copies of the media libraries. The copies in build/lib
# are the distribution's own files, copied at build time; the package depends
# on the distribution's packages of them instead, so they get its security
# updates and are not installed twice. Finding no library folder beside it or
# in /usr/lib/tembrio, the program opens them by name through the dynamic
# linker (convert/ProgramFiles.h). The package names and versions are read from
# dpkg when the package is made (cmake/PackageDepends.cmake); the Qt libraries,
# TagLib (libtag1v5), libebur128 (libebur128-1) and the C and C++ runtimes come
# from dpkg-shlibdeps.

set(CPACK_PACKAGE_NAME tembrio)
set(CPACK_PACKAGE_VENDOR Tembrio)
set(CPACK_PACKAGE_CONTACT "Tembrio <support@tembrio.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL https://tembrio.org/)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop audio converter")
set(CPACK_PACKAGE_DESCRIPTION [[
Tembrio Audio Converter turns recordings, songs and videos into audio
files: add files or whole folders, pick one of eight output formats (WAV,
MP3, WMA, OGG, AAC, M4A, FLAC, MP2) and a preset, and every file is
converted, one audio file per input, nothing overwritten.

The package holds the desktop program tembrio and the command-line
converter tembrio-convert.]])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

# One package of every component but the library copies.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL tembrio)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The X11 platform plugin is only recommended by the Qt packages; the window needs it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
# "Play", "Open folder" and the help links hand files and addresses to xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)

set(CPACK_TEMBRIO_FFMPEG_LIBRARIES ${TEMBRIO_FFMPEG_SYSTEM_LIBRARIES})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/PackageDepends.cmake)

include(CPack)
