# Savegame files on the headless engine: whole files, and XML text behind a
# valid header.
if(TARGET engine AND TARGET testkit)
  tarvel_fuzz(savegame
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/savegame_fuzz.cpp
            ${PROJECT_SOURCE_DIR}/engine/core/tarvel_global.cpp
    LIBS engine testkit)
  tarvel_fuzz(savegame_xml
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/savegame_xml_fuzz.cpp
            ${PROJECT_SOURCE_DIR}/engine/core/tarvel_global.cpp
    LIBS engine testkit)
endif()
