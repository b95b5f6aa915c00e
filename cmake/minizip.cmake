# minizip's unzip half, compiled for the target from Debian's zlib sources
# (scripts/setup fetches them; they are never committed).
set(MINIZIP_SRC ${CMAKE_SOURCE_DIR}/third_party/zlib-src/contrib/minizip)
if(NOT EXISTS ${MINIZIP_SRC}/unzip.c)
  message(FATAL_ERROR "minizip sources missing: run scripts/setup (make setup)")
endif()
add_library(minizip STATIC ${MINIZIP_SRC}/unzip.c ${MINIZIP_SRC}/ioapi.c)
target_include_directories(minizip PUBLIC ${MINIZIP_SRC})
target_compile_definitions(minizip PRIVATE NOCRYPT NOUNCRYPT)
target_compile_options(minizip PRIVATE -w)
target_link_libraries(minizip PUBLIC z)
