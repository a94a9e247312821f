# Run by cpack on the staged files before it builds the Debian package: what Debian policy
# asks beyond the install rules.
cmake_minimum_required(VERSION 3.22)

set(root ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
if(NOT IS_DIRECTORY ${root}/bin)
  message(FATAL_ERROR "package_files.cmake: no ${root}/bin")
endif()

# Programs without symbols or the compiler's .comment notes, as dh_strip leaves them.
file(GLOB programs ${root}/bin/*)
foreach(program IN LISTS programs)
  execute_process(COMMAND ${CPACK_RDSQ7_STRIP} --remove-section=.comment --remove-section=.note
    --strip-unneeded ${program} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "strip ${program}: ${status}")
  endif()
endforeach()

# The rotation of serve's log files in /var/log/rdsq7, outside the install prefix, as a
# conffile (packaging/debian/conffiles).
file(MAKE_DIRECTORY ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/etc/logrotate.d)
file(COPY_FILE ${CPACK_RDSQ7_LOGROTATE} ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/etc/logrotate.d/rdsq7-serve)

set(doc ${root}/share/doc/rdsq7)
# The licence in Debian's machine-readable form, and the package's changelog, which for a
# package made by the program's own authors (no Debian revision) is changelog.gz.
file(COPY ${CPACK_RDSQ7_DEBIAN_DIR}/copyright DESTINATION ${doc})
file(COPY ${CPACK_RDSQ7_DEBIAN_DIR}/changelog DESTINATION ${doc})
# Documentation is compressed with gzip -9n (no name, no time stamp); the copyright file is
# not, and nor are the pictures.
file(GLOB pages ${doc}/docs/*.md)
foreach(file ${doc}/changelog ${doc}/README.md ${pages})
  execute_process(COMMAND ${CPACK_RDSQ7_GZIP} -9nf ${file} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${file}: ${status}")
  endif()
endforeach()
file(CHMOD_RECURSE ${CPACK_TEMPORARY_INSTALL_DIRECTORY} FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
  DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
  WORLD_READ WORLD_EXECUTE)
foreach(program IN LISTS programs)
  file(CHMOD ${program} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endforeach()
