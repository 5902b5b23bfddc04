# The skin archive reader: ZIP directory, decryption, inflater, value chain;
# then the theme applied to themed controls and painted.
if(TARGET launcher_skin)
  tarvel_fuzz(skin_archive
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/skin_archive_fuzz.cpp ${CMAKE_CURRENT_LIST_DIR}/skin_theme_apply.cpp
    LIBS launcher_skin)
endif()
