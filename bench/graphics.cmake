# A frame of textured, lit meshes and a frame of the interface (pictures,
# text, cursor) through the Direct3D and D3DX layers, each beside the same
# geometry drawn with raw GL calls in the same run.
if(TARGET platform_d3dx9)
  find_package(OpenGL REQUIRED COMPONENTS OpenGL)
  tarvel_bench(bench_graphics
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/graphics_frame.cpp ${CMAKE_CURRENT_LIST_DIR}/graphics_interface.cpp
    LIBS platform_d3dx9 platform_d3d9 OpenGL::OpenGL)
  target_compile_definitions(bench_graphics PRIVATE TARVEL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
endif()
