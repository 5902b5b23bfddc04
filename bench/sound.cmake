# One second of the engine's typical sound load through the sound layer,
# beside libvorbisfile's own decoding of the same data.
find_package(PkgConfig REQUIRED)
pkg_check_modules(BENCH_VORBISFILE REQUIRED IMPORTED_TARGET vorbisfile)
tarvel_bench(bench_sound
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/sound_layer.cpp
  LIBS platform_fmod platform_fmod_audio PkgConfig::BENCH_VORBISFILE)
