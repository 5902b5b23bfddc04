# Special-effect controls: a frame of the bunker wall of 300 bricks just
# after a shot, beside the physics step of the same wall alone.
tarvel_bench(bench_controls
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bunker_wall_bench.cpp
          ${PROJECT_SOURCE_DIR}/engine/core/tarvel_global.cpp
  LIBS engine testkit)
