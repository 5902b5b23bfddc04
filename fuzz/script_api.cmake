# The exported script functions: script images run against a scene with a
# player on the headless engine, calling the real functions.
if(TARGET engine AND TARGET testkit)
  tarvel_fuzz(script_api
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/script_api_fuzz.cpp
            ${PROJECT_SOURCE_DIR}/engine/core/tarvel_global.cpp
    LIBS engine testkit)
endif()
