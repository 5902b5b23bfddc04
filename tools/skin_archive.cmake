# Skin archives (ZIP with "SKINDATA.SK2") and BMP images for them.
testkit_sources(skin_archive_writer.cpp)
testkit_link(ZLIB::ZLIB)
