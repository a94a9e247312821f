# Cross-builds for 64-bit Windows with Debian's MinGW-w64 (the posix
# thread model, for std::thread and std::mutex) and runs them under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(RDSQ7_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RDSQ7_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RDSQ7_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${RDSQ7_MINGW_PREFIX}-windres)

# RDSQ7_QT_PREFIX: Qt built for Windows (scripts/qt-windows), for the window.
set(CMAKE_FIND_ROOT_PATH /usr/${RDSQ7_MINGW_PREFIX} ${RDSQ7_QT_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# How each program links the compiler's C++ runtime is decided per program in the project
# (CMakeLists.txt, RDSQ7_SHARED_RUNTIME).

# Debian installs the 64-bit loader outside PATH.
find_program(RDSQ7_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_DEFAULT_PATH)
find_program(RDSQ7_WINE64 NAMES wine64 wine)
set(CMAKE_CROSSCOMPILING_EMULATOR ${RDSQ7_WINE64})
