# Scene files on the headless engine, and a scene's savegame state.
if(TARGET engine AND TARGET testkit)
  tarvel_fuzz(scene
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/scene_fuzz.cpp
            ${PROJECT_SOURCE_DIR}/engine/core/tarvel_global.cpp
    LIBS engine testkit)
  tarvel_fuzz(scene_state
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/scene_state_fuzz.cpp
            ${PROJECT_SOURCE_DIR}/engine/core/tarvel_global.cpp
    LIBS engine testkit)
endif()
