# cpp-httplib, serve's HTTP, as the target rdsq7::httplib: from RDSQ7_HTTPLIB_PREFIX when
# given (the Windows build: scripts/httplib-windows prints it; Debian's source, header-only),
# else from the system (Debian's libcpp-httplib-dev, a header and a shared library).
if(TARGET rdsq7::httplib)
  return()
endif()

set(RDSQ7_HTTPLIB_PREFIX "" CACHE PATH "cpp-httplib's single header for the target (include/)")
add_library(rdsq7::httplib INTERFACE IMPORTED)
if(RDSQ7_HTTPLIB_PREFIX)
  if(NOT EXISTS ${RDSQ7_HTTPLIB_PREFIX}/include/httplib.h)
    message(FATAL_ERROR "No httplib.h in RDSQ7_HTTPLIB_PREFIX=${RDSQ7_HTTPLIB_PREFIX}/include "
      "(scripts/httplib-windows fetches it)")
  endif()
  # Taken as given: the cross build's find root would look for it under the MinGW folder.
  set_target_properties(rdsq7::httplib PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${RDSQ7_HTTPLIB_PREFIX}/include)
elseif(CMAKE_CROSSCOMPILING)
  message(FATAL_ERROR "cpp-httplib for the target: give -DRDSQ7_HTTPLIB_PREFIX=… "
    "(scripts/httplib-windows fetches it)")
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(CPP_HTTPLIB IMPORTED_TARGET cpp-httplib)
  if(NOT CPP_HTTPLIB_FOUND)
    message(FATAL_ERROR "cpp-httplib not found: install libcpp-httplib-dev (scripts/setup does)")
  endif()
  # Its compile flags say how the library was built (with TLS, zlib and brotli): the header
  # must be read alike.
  set_target_properties(rdsq7::httplib PROPERTIES INTERFACE_LINK_LIBRARIES PkgConfig::CPP_HTTPLIB)
endif()
