# Makes one manual page: cmake -DPROGRAM=... -DNAME=... -DHELP2MAN=... -DGZIP=...
# -DINCLUDE=file.h2m -DOUTPUT=page.1.gz -P manpage.cmake
# For rdsq7-cli the page holds, after the tool's own help, each command's help as a section
# of its own and the station field options, common to the commands, once at the end.
cmake_minimum_required(VERSION 3.22)

get_filename_component(work ${OUTPUT} DIRECTORY)
set(work ${work}/${NAME}.help)
file(MAKE_DIRECTORY ${work})

execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help: ${status}")
endif()
if(NAME STREQUAL "rdsq7-cli")
  # The commands are the indented words under "Commands:".
  string(REGEX MATCH "Commands:\n(  [a-z]+ [^\n]*\n|   [^\n]*\n)*" listing "${help}")
  string(REGEX MATCHALL "\n  [a-z]+" commands "${listing}")
  set(fields "")
  foreach(command IN LISTS commands)
    string(STRIP "${command}" command)
    execute_process(COMMAND ${PROGRAM} ${command} --help OUTPUT_VARIABLE text
      RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "${PROGRAM} ${command} --help: ${status}")
    endif()
    string(FIND "${text}" "Station fields" at)
    if(at GREATER -1)
      string(SUBSTRING "${text}" ${at} -1 fields)
      string(SUBSTRING "${text}" 0 ${at} text)
    endif()
    # help2man starts a section at a line "*Name*" and takes the first "Usage:" for the
    # synopsis: here each form of the command is a paragraph.
    string(REGEX REPLACE "^Usage: ([^\n]*)\n" "\\1\n\n" text "${text}")
    string(REGEX REPLACE "\n  or:  ([^\n]*)\n" "\n\\1\n\n" text "${text}")
    string(APPEND help "\n*Command ${command}*\n${text}")
  endforeach()
  string(REGEX REPLACE "^Station fields ([^\n]*):\n" "*Station fields*\nTaken by encode, send and serve \\1.\n" fields "${fields}")
  # The program types' table has a section of its own in the page.
  string(REGEX REPLACE "Program types [^\n]*\n( *[0-9][^\n]*\n)*" "" fields "${fields}")
  string(APPEND help "\n${fields}")
endif()
# A heading such as "Commands:" starts a paragraph of its own.
string(REGEX REPLACE "([^\n])\n([A-Z][a-z ]*:)\n" "\\1\n\n\\2\n" help "${help}")
file(WRITE ${work}/help.txt "${help}")
execute_process(COMMAND ${PROGRAM} --version OUTPUT_FILE ${work}/version.txt
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --version: ${status}")
endif()

# help2man runs a program for --help and --version: one that prints what was gathered.
file(WRITE ${work}/${NAME}
  "#!/bin/sh\ncase \"$1\" in\n--version) cat '${work}/version.txt' ;;\n*) cat '${work}/help.txt' ;;\nesac\n")
file(CHMOD ${work}/${NAME} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
execute_process(COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section 1
    --include ${INCLUDE} --output ${work}/${NAME}.1 ${work}/${NAME}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man ${NAME}: ${status}")
endif()
file(REMOVE ${OUTPUT})
# -n: no name or time stamp in the file, so that the same page gives the same bytes.
execute_process(COMMAND ${GZIP} -9n ${work}/${NAME}.1 RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip ${NAME}.1: ${status}")
endif()
file(RENAME ${work}/${NAME}.1.gz ${OUTPUT})
