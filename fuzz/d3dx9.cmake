# D3DX readers: image files in memory (DDS, PNG, BMP) and effect source.
if(TARGET platform_d3dx9)
  tarvel_fuzz(d3dx9
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/d3dx9_fuzz.cpp
    LIBS platform_d3dx9)
endif()
