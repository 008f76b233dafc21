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
# TagLib (libtag1v5), libebur128 (libebur128-1), libcue (libcue2) and the C and
# C++ runtimes come from dpkg-shlibdeps.

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

# The package's own revision of the release: the changelog's version and the
# package's are the same.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(TEMBRIO_DEBIAN_VERSION ${TEMBRIO_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
set(TEMBRIO_CONTACT ${CPACK_PACKAGE_CONTACT})
set(TEMBRIO_HOME_PAGE ${CPACK_PACKAGE_HOMEPAGE_URL})

# What Debian asks of every package: the copyright file in its machine-readable
# form and the changelog, compressed; and the manual's doc-base entry. They are a component of their own that
# only the package installs; `cmake --install` puts LICENSE there instead.
string(SUBSTRING ${TEMBRIO_RELEASE_DATE} 0 4 TEMBRIO_COPYRIGHT_YEAR)
execute_process(COMMAND date --utc --rfc-email --date ${TEMBRIO_RELEASE_DATE}
  OUTPUT_VARIABLE TEMBRIO_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(debian_dir ${CMAKE_BINARY_DIR}/debian)
configure_file(${PROJECT_SOURCE_DIR}/assets/debian/copyright.in ${debian_dir}/copyright @ONLY NEWLINE_STYLE UNIX)
configure_file(${PROJECT_SOURCE_DIR}/assets/debian/changelog.in ${debian_dir}/changelog.Debian @ONLY NEWLINE_STYLE UNIX)
add_custom_command(
  OUTPUT ${debian_dir}/changelog.Debian.gz
  COMMAND gzip -9nkf ${debian_dir}/changelog.Debian
  DEPENDS ${debian_dir}/changelog.Debian
  COMMENT "Compressing the Debian changelog"
  VERBATIM)
add_custom_target(tembrio_debian_changelog ALL DEPENDS ${debian_dir}/changelog.Debian.gz)
install(FILES ${debian_dir}/copyright ${debian_dir}/changelog.Debian.gz
  DESTINATION share/doc/tembrio COMPONENT debian EXCLUDE_FROM_ALL)
# The manual in the system's list of documentation (doc-base).
install(FILES ${PROJECT_SOURCE_DIR}/assets/debian/doc-base DESTINATION share/doc-base RENAME tembrio
  COMPONENT debian EXCLUDE_FROM_ALL)

# One package of every component but the library copies and the licence's
# plain text.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL tembrio debian)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# md5sums and the other control files at 0644, as dpkg makes them.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The X11 platform plugin is only recommended by the Qt packages; the window needs it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
# "Play", "Open folder" and the help links hand files and addresses to xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)

set(CPACK_TEMBRIO_FFMPEG_LIBRARIES ${TEMBRIO_FFMPEG_SYSTEM_LIBRARIES})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/PackageDepends.cmake)

include(CPack)
