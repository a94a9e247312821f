# What Explorer, the Start menu and the installed-programs list show of a Windows program,
# linked into the .exe as resources: the icon, made from the window's own picture
# (window/images/icon.svg, rendered by rsvg-convert at each size Windows asks for and put
# into one .ico by icotool, Debian's icoutils), version information from the project's
# version, and a manifest (asInvoker, the Windows versions the program knows, and for the
# window per-monitor DPI awareness).
enable_language(RC)
find_program(RDSQ7_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(RDSQ7_ICOTOOL icotool REQUIRED)

set(RDSQ7_ICON ${CMAKE_BINARY_DIR}/windows/rdsq7.ico)
set(icon_svg ${PROJECT_SOURCE_DIR}/window/images/icon.svg)
set(icon_pngs)
foreach(size 16 20 24 32 40 48 64 256)
  set(png ${CMAKE_BINARY_DIR}/windows/icon-${size}.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/windows
    COMMAND ${RDSQ7_RSVG_CONVERT} --width ${size} --height ${size} --output ${png} ${icon_svg}
    DEPENDS ${icon_svg} VERBATIM)
  list(APPEND icon_pngs ${png})
endforeach()
# The small sizes as bitmaps, the largest as PNG, as Windows' own icons are stored.
set(icon_256 ${CMAKE_BINARY_DIR}/windows/icon-256.png)
list(REMOVE_ITEM icon_pngs ${icon_256})
add_custom_command(OUTPUT ${RDSQ7_ICON}
  COMMAND ${RDSQ7_ICOTOOL} --create --output ${RDSQ7_ICON} ${icon_pngs} --raw=${icon_256}
  DEPENDS ${icon_pngs} ${icon_256} VERBATIM)
add_custom_target(rdsq7_icon DEPENDS ${RDSQ7_ICON})

# Links the resources into target, the program <name>.exe described as description; GUI
# (the window) adds the DPI awareness to its manifest.
function(rdsq7_add_windows_resources target name description)
  cmake_parse_arguments(PARSE_ARGV 3 arg "GUI" "" "")
  set(RDSQ7_RESOURCE_NAME ${name})
  set(RDSQ7_RESOURCE_DESCRIPTION ${description})
  set(RDSQ7_RESOURCE_DPI "")
  if(arg_GUI)
    set(RDSQ7_RESOURCE_DPI [[
  <application xmlns="urn:schemas-microsoft-com:asm.v3">
    <windowsSettings>
      <dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true/pm</dpiAware>
      <dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">PerMonitorV2, PerMonitor</dpiAwareness>
    </windowsSettings>
  </application>]])
  endif()
  set(manifest ${CMAKE_CURRENT_BINARY_DIR}/${name}.exe.manifest)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${name}_resources.rc)
  set(RDSQ7_RESOURCE_MANIFEST ${manifest})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/windows_manifest.xml.in ${manifest} @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/windows_resources.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${RDSQ7_ICON};${manifest}")
  target_sources(${target} PRIVATE ${rc})
  add_dependencies(${target} rdsq7_icon)
  if(MSVC)
    target_link_options(${target} PRIVATE /MANIFEST:NO)  # the resource holds it
  endif()
endfunction()
