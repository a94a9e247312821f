# The Debian package, from the install rules: `cpack -G DEB` in the build folder
# (scripts/package, which builds with Debian's hardening flags first). What Debian asks of a
# package beyond the install rules (stripped programs, the copyright file, the changelog,
# compressed documentation) is done to the staged files by cmake/package_files.cmake.
set(CPACK_PACKAGE_NAME rdsq7)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control program for the RDS Encoder Q7")
# Description lines stay within 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
  "Sets the static RDS data of an FM station (PS name, PI, PTY, TP, TA,\n"
  "Music/Speech, DI flags and alternative frequencies), encodes them as four\n"
  "type 0A groups and clocks them into the RDS Encoder Q7 hardware over a\n"
  "parallel or serial port. Contains the window (rdsq7) and the command-line\n"
  "tool (rdsq7-cli).")
string(CONCAT CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
# The project, not a person, on a reserved example domain that reaches no one; a packager
# who ships it sets their own address.
set(RDSQ7_PACKAGE_CONTACT "RDS Encoder Q7 maintainers <maintainers@rdsq7.example.org>"
  CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT ${RDSQ7_PACKAGE_CONTACT})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# dpkg-shlibdeps names the packages of the libraries the programs link (the Qt libraries,
# the C++ library). Qt's X11 platform plugin, loaded at run time, comes with libqt6gui6.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Maintainer scripts and conffiles: list(APPEND CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ...);
# they get the permissions Debian requires.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "")
# The rdsq7 user of rdsq7-serve@.service.
list(APPEND CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
  ${PROJECT_SOURCE_DIR}/packaging/debian/postrm ${PROJECT_SOURCE_DIR}/packaging/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Stripped by package_files.cmake as Debian strips (CPack's own strip leaves .comment).
set(CPACK_STRIP_FILES OFF)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/package_files.cmake)
set(CPACK_RDSQ7_DEBIAN_DIR ${PROJECT_SOURCE_DIR}/packaging/debian)
set(CPACK_RDSQ7_LOGROTATE ${PROJECT_SOURCE_DIR}/serve/rdsq7-serve.logrotate)
find_program(CPACK_RDSQ7_STRIP NAMES strip)
find_program(CPACK_RDSQ7_GZIP NAMES gzip)

# The changelog's newest entry is the version packaged.
file(STRINGS ${CPACK_RDSQ7_DEBIAN_DIR}/changelog RDSQ7_CHANGELOG_TOP LIMIT_COUNT 1)
if(NOT RDSQ7_CHANGELOG_TOP MATCHES "^rdsq7 \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog: newest entry is not ${PROJECT_VERSION}: "
    "${RDSQ7_CHANGELOG_TOP}")
endif()

include(CPack)
