# The sound layer's decoders (OGG Vorbis and WAV) on sound data of any content.
if(TARGET platform_fmod)
  tarvel_fuzz(sound_decoder
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/sound_decoder_fuzz.cpp
    LIBS platform_fmod)
endif()
