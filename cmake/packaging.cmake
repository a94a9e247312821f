# The Debian package, from the install rules: `cpack -G DEB` in the build folder
# (scripts/package).
set(CPACK_PACKAGE_NAME rdsq7)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control program for the RDS Encoder Q7")
set(CPACK_PACKAGE_DESCRIPTION
  "Sets the static RDS data of an FM station (PS name, PI, PTY, TP, TA, Music/Speech, DI\n"
  "flags and alternative frequencies), encodes them as four type 0A groups and clocks them\n"
  "into the RDS Encoder Q7 hardware over a parallel or serial port. Contains the window\n"
  "(rdsq7) and the command-line tool (rdsq7-cli).")
string(CONCAT CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(RDSQ7_PACKAGE_CONTACT "RDS Encoder Q7 maintainers <rdsq7@localhost>" CACHE STRING
  "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT ${RDSQ7_PACKAGE_CONTACT})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# dpkg-shlibdeps names the packages of the libraries the programs link (the Qt libraries,
# the C++ library). Qt's X11 platform plugin, loaded at run time, comes with libqt6gui6.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The rdsq7 user of rdsq7-serve@.service; the service's instances stopped at removal.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${PROJECT_SOURCE_DIR}/packaging/debian/postinst"
  "${PROJECT_SOURCE_DIR}/packaging/debian/prerm" "${PROJECT_SOURCE_DIR}/packaging/debian/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
