# Writer of the launcher's media trailer.
testkit_sources(media_trailer_writer.cpp)
