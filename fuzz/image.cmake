# Image decoders: TGA (raw and run-length), DDS and the engine's image file.
if(TARGET engine AND TARGET testkit)
  tarvel_fuzz(image
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/image_fuzz.cpp
            ${PROJECT_SOURCE_DIR}/engine/core/tarvel_global.cpp
    LIBS engine testkit)
endif()
