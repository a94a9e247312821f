# liquid-dsp as the imported target rdsq7::liquid: Debian's libliquid-dev on Linux; for
# Windows the static build scripts/liquid-windows makes, named by RDSQ7_LIQUID_PREFIX.
if(TARGET rdsq7::liquid)
  return()
endif()
if(CMAKE_CROSSCOMPILING)
  set(RDSQ7_LIQUID_PREFIX "" CACHE PATH "liquid-dsp built for the target (scripts/liquid-windows)")
  find_path(RDSQ7_LIQUID_INCLUDE liquid/liquid.h PATHS ${RDSQ7_LIQUID_PREFIX}/include NO_DEFAULT_PATH)
  find_library(RDSQ7_LIQUID_LIBRARY NAMES liquid libliquid.a PATHS ${RDSQ7_LIQUID_PREFIX}/lib
    NO_DEFAULT_PATH)
else()
  find_path(RDSQ7_LIQUID_INCLUDE liquid/liquid.h)
  find_library(RDSQ7_LIQUID_LIBRARY NAMES liquid)
endif()
if(NOT RDSQ7_LIQUID_INCLUDE OR NOT RDSQ7_LIQUID_LIBRARY)
  message(FATAL_ERROR "liquid-dsp not found (Linux: libliquid-dev; Windows: scripts/liquid-windows)")
endif()
add_library(rdsq7::liquid UNKNOWN IMPORTED)
set_target_properties(rdsq7::liquid PROPERTIES IMPORTED_LOCATION ${RDSQ7_LIQUID_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${RDSQ7_LIQUID_INCLUDE})
