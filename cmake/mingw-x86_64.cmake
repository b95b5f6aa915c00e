# Cross toolchain: 64-bit Windows.
set(KELDA_TARGET x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
