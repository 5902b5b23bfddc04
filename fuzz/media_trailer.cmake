# Whole launcher executables: the media trailer read and checked, its sounds
# opened and its video decoded into the paint box's bitmap.
if(TARGET launcher_app)
  tarvel_fuzz(media_trailer
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/media_trailer_fuzz.cpp
    LIBS launcher_app)
endif()
