# The skin archive reader: ZIP directory, decryption, inflater, value chain.
if(TARGET launcher_skin)
  tarvel_fuzz(skin_archive
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/skin_archive_fuzz.cpp
    LIBS launcher_skin)
endif()
