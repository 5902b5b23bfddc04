# Resource archive writer.
testkit_sources(archive_writer.cpp)
testkit_link(ZLIB::ZLIB)
