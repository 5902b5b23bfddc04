# Writer of test videos: Matroska with FFV1 pictures (with alpha where asked)
# and PCM sound, through FFmpeg's own encoders.
find_package(PkgConfig REQUIRED)
pkg_check_modules(TESTKIT_FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libavutil)
testkit_sources(video_writer.cpp)
testkit_link(PkgConfig::TESTKIT_FFMPEG)
