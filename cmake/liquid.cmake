# liquid-dsp, the receiver's signal processing, as the imported target rdsq7::liquid: from
# RDSQ7_LIQUID_PREFIX when given (the Windows build: scripts/liquid-windows prints it),
# else from the system (Debian's libliquid-dev).
if(TARGET rdsq7::liquid)
  return()
endif()

set(RDSQ7_LIQUID_PREFIX "" CACHE PATH "liquid-dsp built for the target (include/, lib/)")
if(RDSQ7_LIQUID_PREFIX)
  # Taken as given: the cross build's find root would look for it under the MinGW folder.
  set(RDSQ7_LIQUID_INCLUDE_DIR ${RDSQ7_LIQUID_PREFIX}/include)
  set(RDSQ7_LIQUID_LIBRARY ${RDSQ7_LIQUID_PREFIX}/lib/libliquid.a)
  if(NOT EXISTS ${RDSQ7_LIQUID_INCLUDE_DIR}/liquid/liquid.h OR NOT EXISTS ${RDSQ7_LIQUID_LIBRARY})
    message(FATAL_ERROR "No liquid-dsp in RDSQ7_LIQUID_PREFIX=${RDSQ7_LIQUID_PREFIX} "
      "(scripts/liquid-windows builds it for Windows)")
  endif()
else()
  find_path(RDSQ7_LIQUID_INCLUDE_DIR liquid/liquid.h)
  find_library(RDSQ7_LIQUID_LIBRARY liquid)
  if(NOT RDSQ7_LIQUID_INCLUDE_DIR OR NOT RDSQ7_LIQUID_LIBRARY)
    if(CMAKE_CROSSCOMPILING)
      message(FATAL_ERROR "liquid-dsp not found for the target: give -DRDSQ7_LIQUID_PREFIX=… "
        "(scripts/liquid-windows builds it for Windows)")
    endif()
    message(FATAL_ERROR "liquid-dsp not found: install libliquid-dev (scripts/setup does)")
  endif()
endif()

add_library(rdsq7::liquid UNKNOWN IMPORTED)
set_target_properties(rdsq7::liquid PROPERTIES
  IMPORTED_LOCATION ${RDSQ7_LIQUID_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${RDSQ7_LIQUID_INCLUDE_DIR})
