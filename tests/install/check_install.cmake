# Installs the build into a fresh prefix with `cmake --install` and checks that every file
# is in place, and nothing else. Starts nothing.
# -DBUILD_DIR=... -DPREFIX=... -DBINDIR=... -DDATADIR=... -DDOCDIR=... -DPROGRAMDIR=...

cmake_minimum_required(VERSION 3.22)

file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()

set(failures "")
macro(fail text)
  list(APPEND failures "${text}")
endmacro()

# Every installed path and what it must be: program (an executable file), file, or link:<target>.
set(expected
  "${BINDIR}/rdsq7-cli|program"
  "${PROGRAMDIR}/rdsq7|program"
  "${PROGRAMDIR}/tvxhelp.rtf|file"
  "${PROGRAMDIR}/translations/vuvur.de.lng|file"
  "${PROGRAMDIR}/translations/vuvur.fr.lng|file"
  "${DATADIR}/applications/rdsq7.desktop|file"
  "${DATADIR}/icons/hicolor/scalable/apps/rdsq7.svg|file"
  "${DOCDIR}/README.md|file"
  "${DOCDIR}/docs/window.png|file"
  "${DOCDIR}/docs/window-de.png|file"
  "lib/systemd/system/rdsq7-serve@.service|file"
)
file(RELATIVE_PATH window_link /${BINDIR} /${PROGRAMDIR}/rdsq7)
list(APPEND expected "${BINDIR}/rdsq7|link:${window_link}")

set(expected_paths "")
foreach(entry IN LISTS expected)
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 path)
  list(GET parts 1 kind)
  list(APPEND expected_paths ${path})
  set(full ${PREFIX}/${path})
  if(kind MATCHES "^link:(.*)")
    if(NOT IS_SYMLINK ${full})
      fail("${path}: not a symbolic link")
      continue()
    endif()
    file(READ_SYMLINK ${full} target)
    if(NOT target STREQUAL CMAKE_MATCH_1)
      fail("${path}: links to ${target}, not ${CMAKE_MATCH_1}")
    endif()
  elseif(IS_SYMLINK ${full} OR NOT EXISTS ${full} OR IS_DIRECTORY ${full})
    fail("${path}: missing, or not a plain file")
  else()
    file(SIZE ${full} size)
    if(size EQUAL 0)
      fail("${path}: empty")
    endif()
    if(kind STREQUAL "program")
      file(READ ${full} magic LIMIT 4 HEX)
      if(NOT magic STREQUAL "7f454c46")
        fail("${path}: not an executable")
      endif()
    endif()
  endif()
endforeach()

file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE ${PREFIX} ${PREFIX}/*)
foreach(path IN LISTS installed)
  if(NOT path IN_LIST expected_paths)
    fail("${path}: installed but not expected")
  endif()
endforeach()

# The window, reached through bin/, finds its help text beside its real file.
file(REAL_PATH ${PREFIX}/${BINDIR}/rdsq7 window)
get_filename_component(window_folder ${window} DIRECTORY)
if(NOT EXISTS ${window_folder}/tvxhelp.rtf)
  fail("bin/rdsq7 resolves to ${window}, which has no tvxhelp.rtf beside it")
endif()

# The menu entry starts the installed window and shows the installed icon.
set(desktop ${PREFIX}/${DATADIR}/applications/rdsq7.desktop)
if(EXISTS ${desktop})
  file(STRINGS ${desktop} exec REGEX "^Exec=")
  file(STRINGS ${desktop} icon REGEX "^Icon=")
  if(NOT exec STREQUAL "Exec=rdsq7")
    fail("menu entry: ${exec}, not Exec=rdsq7 (bin/rdsq7)")
  endif()
  if(NOT icon STREQUAL "Icon=rdsq7")
    fail("menu entry: ${icon}, not Icon=rdsq7 (the installed rdsq7.svg)")
  endif()
endif()

file(REMOVE_RECURSE ${PREFIX})
if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "Install into a fresh prefix:\n  ${text}")
endif()
