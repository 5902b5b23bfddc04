# Writer of the shader library file.
testkit_sources(shaderlib_writer.cpp)
