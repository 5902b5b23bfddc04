# Font resources: header, glyph records and the page images after them.
if(TARGET engine AND TARGET testkit)
  tarvel_fuzz(font
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/font_fuzz.cpp
            ${PROJECT_SOURCE_DIR}/engine/core/tarvel_global.cpp
    LIBS engine testkit)
endif()
