// Writes the seeds of the media trailer fuzz corpus into a folder: whole
// executables with a good trailer, a plain one, and damaged tables.
#include <cstdio>
#include <string>

#include "platform/fmod/test_audio.h"
#include "tools/media_trailer_writer.h"
#include "tools/video_writer.h"

namespace {

testkit::Bytes Word(testkit::Bytes bytes, int index, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[bytes.size() - 44 + size_t(index) * 4 + size_t(i)] = uint8_t(value >> (8 * i));
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: media_trailer_seeds <folder>\n");
    return 2;
  }
  const std::string out = argv[1];
  namespace pt = platform::testing;
  testkit::VideoSpec recipe;
  recipe.width = 9;
  recipe.height = 5;
  recipe.frames = 3;
  testkit::MediaTrailer media;
  media.video = testkit::BuildVideo(recipe);
  media.music = pt::EncodeOgg(pt::MakeTone(0.2, 8000, 1, 300), 8000, 1);
  media.click = pt::EncodeWav(pt::MakeTone(0.01, 8000, 1, 800), 8000, 1);
  media.hover = pt::EncodeWav(pt::MakeTone(0.01, 8000, 1, 600), 8000, 1);
  const testkit::Bytes program(64, 0x90);
  const testkit::Bytes good = testkit::AppendMediaTrailer(program, media);
  testkit::MediaTrailer sounds = media;
  sounds.video.clear();
  testkit::MediaTrailer junk = media;
  junk.video.assign(200, 0x1A);
  junk.music.assign(100, 0x4F);
  const std::pair<const char*, testkit::Bytes> seeds[] = {
      {"good", good},
      {"plain", program},
      {"sounds_only", testkit::AppendMediaTrailer(program, sounds)},
      {"junk_blocks", testkit::AppendMediaTrailer(program, junk)},
      {"distance_past_start", Word(good, 10, uint32_t(good.size() + 7))},
      {"blocks_overrun_table", Word(good, 9, uint32_t(media.hover.size() + 45))},
      {"video_cut_short", Word(good, 3, uint32_t(media.video.size() / 2))},
  };
  for (const auto& [name, bytes] : seeds) {
    if (!testkit::WriteFileBytes(out + "/" + name, bytes)) return 1;
  }
  return 0;
}
