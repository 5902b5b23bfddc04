# The sample game: its walkthrough played whole in a child under the test
# clock, as game frames per second of real time beside the 60 a player sees;
# one frame of its first scene with the player walking, beside the same
# frame with the player standing, and as a share of 16 ms. Both run on the
# game folder the build makes.
tarvel_bench(bench_demo_walkthrough SOURCES ${CMAKE_CURRENT_LIST_DIR}/demo_walkthrough_bench.cpp)
tarvel_bench(bench_demo_frame
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/demo_frame_bench.cpp
          ${PROJECT_SOURCE_DIR}/engine/core/tarvel_global.cpp
  LIBS engine)
foreach(program bench_demo_walkthrough bench_demo_frame)
  target_compile_definitions(${program} PRIVATE TARVEL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    TARVEL_GAME_DIR="${TARVEL_GAME_DIR}")
  add_dependencies(${program} demo_game)
endforeach()
