# Savegames: saving and loading the savegame of a full scene (with nine
# inventory items and a filled PDA), beside zlib's compress2 (level 9) and
# uncompress of the same text and TinyXML's print and parse of the same
# document.
tarvel_bench(bench_savegame
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/savegame_bench.cpp
          ${PROJECT_SOURCE_DIR}/engine/core/tarvel_global.cpp
  LIBS engine testkit)
