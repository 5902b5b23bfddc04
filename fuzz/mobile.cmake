# Mobiles and mobile animations from actor and motion files, on the headless
# engine.
if(TARGET engine AND TARGET testkit)
  tarvel_fuzz(mobile
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/mobile_fuzz.cpp
            ${PROJECT_SOURCE_DIR}/engine/core/tarvel_global.cpp
    LIBS engine testkit)
endif()
