# Writer of the engine's bitmap font resources, and the interface pictures
# that start-up loads with the fonts.
testkit_sources(font_writer.cpp font_demo.cpp menu_pictures.cpp)
# Writes the sample game's fonts and interface pictures; rasterises the
# fonts with FreeType when it is installed.
add_executable(font_demo_assets font_demo_assets.cpp)
tarvel_warnings(font_demo_assets)
target_link_libraries(font_demo_assets PRIVATE testkit)
find_package(Freetype QUIET)
if(FREETYPE_FOUND)
  target_compile_definitions(font_demo_assets PRIVATE TARVEL_HAVE_FREETYPE)
  target_link_libraries(font_demo_assets PRIVATE Freetype::Freetype)
endif()
