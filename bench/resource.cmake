# Reading every entry of a generated archive through the slots, beside zlib's
# own uncompress and a plain read of the same bytes.
tarvel_bench(bench_resource
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/resource_read.cpp
          ${PROJECT_SOURCE_DIR}/engine/core/tarvel_global.cpp
  LIBS engine testkit)
