# The video layer on video data of any content, read from a file handle.
if(TARGET platform_bink)
  tarvel_fuzz(video
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/video_fuzz.cpp
    LIBS platform_bink platform_win32)
endif()
