# The window's pictures are drawn as SVG (window/images/) and rendered to PNG at build time
# with rsvg-convert (Debian's librsvg2-bin), at the size they are drawn for and at twice
# that for high-DPI screens. The window then needs no SVG support from Qt, which the
# Windows build's Qt lacks, and shows the same pixels on every platform.
find_program(RDSQ7_RSVG_CONVERT rsvg-convert REQUIRED)

# Adds to target the resources :/rdsq7/<name>.png and :/rdsq7/<name>@2x.png for each
# images/<name>.svg of the calling folder.
function(rdsq7_add_png_pictures target)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/pictures)
  set(pngs)
  foreach(name IN LISTS ARGN)
    set(svg ${CMAKE_CURRENT_SOURCE_DIR}/images/${name}.svg)
    foreach(scale 1 2)
      if(scale EQUAL 1)
        set(png ${out}/${name}.png)
      else()
        set(png ${out}/${name}@${scale}x.png)
      endif()
      add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${out}
        COMMAND ${RDSQ7_RSVG_CONVERT} --zoom ${scale} --output ${png} ${svg}
        DEPENDS ${svg} VERBATIM)
      list(APPEND pngs ${png})
    endforeach()
  endforeach()
  qt_add_resources(${target} rdsq7_pictures PREFIX /rdsq7 BASE ${out} FILES ${pngs})
endfunction()
