# Script machine: the image loader and the interpreter on arbitrary bytes.
if(TARGET engine)
  tarvel_fuzz(script
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/script_fuzz.cpp
            ${PROJECT_SOURCE_DIR}/engine/core/tarvel_global.cpp
    LIBS engine)
endif()
