# Writer of the engine's image files and of the TGA and DDS pictures it reads.
testkit_sources(image_writer.cpp)
