# The manual pages rdsq7(1) and rdsq7-cli(1), made at build time by help2man from the
# programs' own --help and --version and the hand-written sections in docs/man/*.h2m;
# gzip -9n as Debian keeps them. Part of the default build; installed with the programs.
find_program(RDSQ7_HELP2MAN help2man REQUIRED)
find_program(RDSQ7_GZIP gzip REQUIRED)

set(RDSQ7_MAN_DIR ${CMAKE_BINARY_DIR}/man)
set(RDSQ7_MANUALS rdsq7-cli)
if(RDSQ7_WITH_QT)
  list(APPEND RDSQ7_MANUALS rdsq7)
endif()

set(RDSQ7_MAN_FILES "")
foreach(program IN LISTS RDSQ7_MANUALS)
  set(page ${RDSQ7_MAN_DIR}/${program}.1.gz)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}> -DNAME=${program}
      -DHELP2MAN=${RDSQ7_HELP2MAN} -DGZIP=${RDSQ7_GZIP}
      -DINCLUDE=${PROJECT_SOURCE_DIR}/docs/man/${program}.h2m -DOUTPUT=${page}
      -P ${PROJECT_SOURCE_DIR}/cmake/manpage.cmake
    DEPENDS ${program} ${PROJECT_SOURCE_DIR}/docs/man/${program}.h2m
      ${PROJECT_SOURCE_DIR}/cmake/manpage.cmake
    COMMENT "Manual page ${program}(1)"
    VERBATIM)
  list(APPEND RDSQ7_MAN_FILES ${page})
endforeach()
add_custom_target(manpages ALL DEPENDS ${RDSQ7_MAN_FILES})
install(FILES ${RDSQ7_MAN_FILES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
