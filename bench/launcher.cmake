# One intro-video frame through the launcher's path (decode, 24-bit copy,
# copy into the paint box's bitmap, paint) beside a memory copy of the same
# bytes, and as a share of the video's frame time; the launcher's start with
# a 20 MB media trailer beside reading the file.
if(TARGET launcher_app)
  tarvel_bench(bench_launcher
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/launcher_bench.cpp
    LIBS launcher_app platform_forms platform_bink platform_fmod_audio testkit)
endif()
