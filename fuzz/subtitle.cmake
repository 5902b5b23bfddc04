# Movie subtitle files and cut-scene camera data.
if(TARGET engine)
  tarvel_fuzz(subtitle
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/subtitle_fuzz.cpp
            ${PROJECT_SOURCE_DIR}/engine/core/tarvel_global.cpp
    LIBS engine)
endif()
