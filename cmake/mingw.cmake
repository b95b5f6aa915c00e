# Cross toolchain for MinGW-w64 (posix threads) to ${KELDA_TARGET}, the
# architecture the including file names; tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${KELDA_TARGET})
set(CMAKE_C_COMPILER ${KELDA_TARGET}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELDA_TARGET}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${KELDA_TARGET}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KELDA_TARGET}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
