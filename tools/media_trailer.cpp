// media_trailer <program> <video> <music> <click> <hover> <output>: writes
// the program with the four media blocks and their table appended. The
// output keeps the program's permissions to run.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>

#include "tools/media_trailer_writer.h"

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: media_trailer <program> <video> <music> <click> <hover> <output>\n");
    return 2;
  }
  testkit::Bytes program;
  testkit::MediaTrailer media;
  testkit::Bytes* into[5] = {&program, &media.video, &media.music, &media.click, &media.hover};
  for (int i = 0; i < 5; ++i) {
    if (!testkit::ReadFileBytes(argv[i + 1], into[i])) {
      std::fprintf(stderr, "media_trailer: cannot read %s\n", argv[i + 1]);
      return 1;
    }
  }
  // The table holds 32-bit sizes and distance.
  const uint64_t total = uint64_t{media.video.size()} + media.music.size() + media.click.size() + media.hover.size();
  if (total > 0xFFFFFFFFu - 44) {
    std::fprintf(stderr, "media_trailer: the media are too large\n");
    return 1;
  }
  if (!testkit::WriteFileBytes(argv[6], testkit::AppendMediaTrailer(program, media))) {
    std::fprintf(stderr, "media_trailer: cannot write %s\n", argv[6]);
    return 1;
  }
  chmod(argv[6], 0755);
  return 0;
}
