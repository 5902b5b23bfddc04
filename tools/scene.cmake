# Writer of scene files.
testkit_sources(scene_writer.cpp)
