# Directory readers of the resource archive ("resource.map" and the local
# directory of a language volume).
tarvel_fuzz(resource_directory
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/resource_directory_fuzz.cpp
          ${PROJECT_SOURCE_DIR}/engine/resource/resource_directory.cpp
  LIBS ZLIB::ZLIB)
