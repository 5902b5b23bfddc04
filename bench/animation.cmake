# Animation core maths: matrix product, quaternion to matrix, 4x4 inverse, each with
# a plain-loop baseline measured in the same run.
if(TARGET animation)
  tarvel_bench(bench_animation_maths
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/animation_maths.cpp
    LIBS animation)
endif()

# A frame of 100 actor instances blending two motions each, beside a plain pose copy.
if(TARGET animation)
  tarvel_bench(bench_animation_frame
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/animation_frame.cpp
    LIBS animation)
endif()

# Loading a skinned actor and a skeletal motion from memory, beside a memory copy.
if(TARGET animation AND TARGET testkit)
  tarvel_bench(bench_animation_load
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/animation_load.cpp
    LIBS animation testkit)
endif()

# Skinning 100,000 vertices with four influences and morphing 10,000 with three
# targets, beside a memory copy of the same vertex data.
if(TARGET animation AND TARGET testkit)
  tarvel_bench(bench_animation_deform
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/animation_deform.cpp
    LIBS animation testkit)
endif()
