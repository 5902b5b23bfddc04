# Directory readers of the resource archive ("resource.map" and the local
# directory of a language volume), from memory.
tarvel_fuzz(resource_directory
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/resource_directory_fuzz.cpp
          ${PROJECT_SOURCE_DIR}/engine/resource/resource_directory.cpp
  LIBS ZLIB::ZLIB)

# The whole archive from files: start-up, then every entry opened and read.
if(TARGET engine)
  tarvel_fuzz(resource_archive
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/resource_archive_fuzz.cpp
            ${PROJECT_SOURCE_DIR}/engine/core/tarvel_global.cpp
    LIBS engine)
endif()
