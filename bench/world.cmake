# Scene files: reading a large scene from the archive beside a memory copy of
# the file, and a view select projecting every scenery vertex beside
# D3DXVec3Project of the same vertices in a plain loop.
tarvel_bench(bench_scene
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/scene_bench.cpp
          ${PROJECT_SOURCE_DIR}/engine/core/tarvel_global.cpp
  LIBS engine testkit)
# Mobiles: one frame of 20 animated, skinned mobiles (update with two blended
# motions, skinning, lights, render list, drawing with draw execution off),
# beside a memory copy of the vertex data the frame writes.
tarvel_bench(bench_mobiles
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/mobiles_bench.cpp
          ${PROJECT_SOURCE_DIR}/engine/core/tarvel_global.cpp
  LIBS engine testkit)
# Actors and particles: rain of density 2,000 moved and drawn for a frame
# (draw execution off), beside a memory copy of its point data; a walk
# planned across a U-shaped walk area with a 100-node graph, beside a
# straight SegmentCrosses test; a frame of 20 walking actors, beside the same
# mobiles updated without their controls.
tarvel_bench(bench_actors
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/actors_bench.cpp
          ${PROJECT_SOURCE_DIR}/engine/core/tarvel_global.cpp
  LIBS engine testkit)
target_compile_definitions(bench_actors PRIVATE TARVEL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
