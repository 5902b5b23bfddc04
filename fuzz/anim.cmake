# The animation library's importer: actor and motion files from memory.
if(TARGET animation)
  tarvel_fuzz(anim
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/anim_fuzz.cpp
    LIBS animation)
endif()
