# The launcher's text file: parsing, walking the tree with the cursor, and
# the launcher window reading its texts from it.
if(TARGET launcher_app)
  tarvel_fuzz(launcher_xml
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/launcher_xml_fuzz.cpp
    LIBS launcher_app)
endif()
