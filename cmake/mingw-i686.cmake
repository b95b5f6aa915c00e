# Cross toolchain: 32-bit Windows (the shipped program).
set(KELDA_TARGET i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
