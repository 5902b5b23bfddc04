# The animation library's importer: actor and motion files from memory.
if(TARGET animation)
  tarvel_fuzz(anim_importer
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/anim_importer_fuzz.cpp
    LIBS animation)
endif()
