# Script interpreter: arithmetic and call loops, beside the same loops in
# Lua 5.4 (linked only here, as the peer baseline).
find_package(PkgConfig REQUIRED)
pkg_check_modules(LUA54 REQUIRED IMPORTED_TARGET lua5.4)
tarvel_bench(bench_script
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/script_bench.cpp
          ${PROJECT_SOURCE_DIR}/engine/core/tarvel_global.cpp
  LIBS engine testkit PkgConfig::LUA54)
