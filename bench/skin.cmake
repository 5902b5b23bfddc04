# The skin reader's inflater beside zlib's, and painting skinned buttons and
# a form of them beside a memory copy of the same pixels.
tarvel_bench(bench_skin
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/skin_bench.cpp
  LIBS launcher_skin platform_forms testkit ZLIB::ZLIB)
