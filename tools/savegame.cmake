# Savegame files: reader and maker beside the engine's own.
testkit_sources(savegame_file.cpp)
testkit_link(ZLIB::ZLIB)
