# Writer of the engine's bitmap font resources, and the interface pictures
# that start-up loads with the fonts.
testkit_sources(font_writer.cpp font_demo.cpp)
