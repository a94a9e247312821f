# Installs the build into a fresh prefix with `cmake --install` and checks that every file
# is in place, and nothing else. Starts nothing.
# -DSOURCE_DIR=... -DBUILD_DIR=... -DPREFIX=... -DBINDIR=... -DDATADIR=... -DDOCDIR=... -DMANDIR=...
# -DINSTALLED_DATA=... (the way from bin/ to the window's data that the window looks up)

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

# Every installed path and what it must be: program (an executable file), gzip, or file.
set(programdata ${DATADIR}/rdsq7)
set(expected
  "${BINDIR}/rdsq7-cli|program"
  "${BINDIR}/rdsq7|program"
  "${programdata}/tvxhelp.rtf|file"
  "${programdata}/translations/vuvur.de.lng|file"
  "${programdata}/translations/vuvur.fr.lng|file"
  "${DATADIR}/applications/rdsq7.desktop|file"
  "${DATADIR}/icons/hicolor/scalable/apps/rdsq7.svg|file"
  "${DATADIR}/bash-completion/completions/rdsq7-cli|file"
  "${MANDIR}/man1/rdsq7.1.gz|gzip"
  "${MANDIR}/man1/rdsq7-cli.1.gz|gzip"
  "${DOCDIR}/README.md|file"
  "${DOCDIR}/docs/window.png|file"
  "${DOCDIR}/docs/window-de.png|file"
  "${DOCDIR}/docs/shots/locale-de.png|file"
  "${DOCDIR}/docs/shots/windows-wine.png|file"
  "${DOCDIR}/docs/shots/window-onair.png|file"
  "${DOCDIR}/docs/shots/window-changed-on-air.png|file"
  "${DOCDIR}/docs/shots/rbds-pty-list.png|file"
  "${DOCDIR}/docs/shots/send-warning.png|file"
  "${DOCDIR}/docs/shots/status-page.png|file"
  "${DOCDIR}/docs/shots/status-page-phone.png|file"
  "lib/systemd/system/rdsq7-serve@.service|file"
)

file(GLOB pages RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/docs/*.md)
foreach(page IN LISTS pages)
  list(APPEND expected "${DOCDIR}/${page}|file")
endforeach()

set(expected_paths "")
foreach(entry IN LISTS expected)
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 path)
  list(GET parts 1 kind)
  list(APPEND expected_paths ${path})
  set(full ${PREFIX}/${path})
  if(IS_SYMLINK ${full} OR NOT EXISTS ${full} OR IS_DIRECTORY ${full})
    fail("${path}: missing, or not a plain file")
  else()
    file(SIZE ${full} size)
    if(size EQUAL 0)
      fail("${path}: empty")
    endif()
    file(READ ${full} magic LIMIT 4 HEX)
    if(kind STREQUAL "program" AND NOT magic STREQUAL "7f454c46")
      fail("${path}: not an executable")
    elseif(kind STREQUAL "gzip" AND NOT magic MATCHES "^1f8b")
      fail("${path}: not gzip-compressed")
    endif()
  endif()
endforeach()

file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE ${PREFIX} ${PREFIX}/*)
foreach(path IN LISTS installed)
  if(NOT path IN_LIST expected_paths)
    fail("${path}: installed but not expected")
  endif()
endforeach()

# Every relative link and picture of the installed documents leads to an installed file,
# and a #fragment to one of its headings (named as GitHub names them).
function(heading_anchors file out)
  file(STRINGS ${file} headings REGEX "^#+ ")
  set(anchors "")
  foreach(heading IN LISTS headings)
    string(REGEX REPLACE "^#+ +" "" anchor "${heading}")
    string(TOLOWER "${anchor}" anchor)
    string(REGEX REPLACE "[^a-z0-9 _-]" "" anchor "${anchor}")
    string(REPLACE " " "-" anchor "${anchor}")
    list(APPEND anchors "${anchor}")
  endforeach()
  set(${out} "${anchors}" PARENT_SCOPE)
endfunction()
file(GLOB_RECURSE documents ${PREFIX}/${DOCDIR}/*.md)
foreach(document IN LISTS documents)
  file(RELATIVE_PATH shown ${PREFIX} ${document})
  get_filename_component(folder ${document} DIRECTORY)
  file(READ ${document} text)
  # Square brackets would hold list elements together: "](target)" becomes ">(target)".
  string(REPLACE "[" "<" text "${text}")
  string(REPLACE "]" ">" text "${text}")
  string(REGEX MATCHALL ">\\([^)# ]*(#[^) ]*)?\\)" links "${text}")
  foreach(link IN LISTS links)
    string(REGEX REPLACE "^>\\((.*)\\)$" "\\1" target "${link}")
    if(target MATCHES "^[a-z]+:")
      continue()  # a web address
    endif()
    string(REGEX REPLACE "#.*" "" path "${target}")
    string(REGEX MATCH "#.*" fragment "${target}")
    set(linked ${document})
    if(NOT path STREQUAL "")
      set(linked ${folder}/${path})
    endif()
    if(NOT EXISTS ${linked})
      fail("${shown}: link (${target}) leads to nothing installed")
    elseif(fragment AND NOT IS_DIRECTORY ${linked})
      heading_anchors(${linked} anchors)
      string(SUBSTRING "${fragment}" 1 -1 anchor)
      if(NOT anchor IN_LIST anchors)
        fail("${shown}: link (${target}) names no heading of ${path}")
      endif()
    endif()
  endforeach()
endforeach()

# The window looks for its data on the way built into it.
if(NOT EXISTS ${PREFIX}/${BINDIR}/${INSTALLED_DATA}/tvxhelp.rtf)
  fail("bin/${INSTALLED_DATA}, where the window looks, has no tvxhelp.rtf")
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
