# Physics: broadphase update and pair finding, ray casts and box/box contacts,
# each beside a brute-force baseline measured in the same run.
if(TARGET physics)
  tarvel_bench(bench_physics
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/physics_broadphase.cpp
    LIBS physics)
endif()
