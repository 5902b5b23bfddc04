# Writer of the engine's bitmap font resources.
testkit_sources(font_writer.cpp)
