# Physics: broadphase update and pair finding, ray casts and box/box contacts,
# each beside a brute-force baseline; the world step on walls and a heap of
# boxes beside the same scenes in Bullet, and how straight a column of boxes
# comes to rest in both (Bullet is linked into these benchmarks only).
if(TARGET physics)
  tarvel_bench(bench_physics
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/physics_broadphase.cpp
    LIBS physics)

  find_package(PkgConfig QUIET)
  if(PkgConfig_FOUND)
    pkg_check_modules(BULLET IMPORTED_TARGET bullet)
  endif()
  if(BULLET_FOUND)
    tarvel_bench(bench_physics_step
      SOURCES ${CMAKE_CURRENT_LIST_DIR}/physics_step.cpp
      LIBS physics PkgConfig::BULLET)
    tarvel_bench(bench_physics_column
      SOURCES ${CMAKE_CURRENT_LIST_DIR}/physics_column.cpp
      LIBS physics PkgConfig::BULLET)
  else()
    message(STATUS "Bullet not found: bench_physics_step is not built")
  endif()
endif()
