# The skin reader's inflater beside zlib's; painting skinned buttons and a
# form of them, and a themed form's window region and non-client repaint,
# beside a memory copy of the same pixels.
tarvel_bench(bench_skin
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/skin_bench.cpp ${CMAKE_CURRENT_LIST_DIR}/skin_form_bench.cpp
  LIBS launcher_skin platform_forms testkit ZLIB::ZLIB)
