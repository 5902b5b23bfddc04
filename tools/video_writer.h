#pragma once
// Writes the videos that tests and the sample game play: Matroska files
// with lossless FFV1 pictures (B, G, R and, with alpha, A, so every pixel
// reads back exactly) and optional 16-bit PCM sound.

#include <cstdint>
#include <functional>
#include <vector>

#include "tools/image_writer.h"

namespace testkit {

struct VideoSpec {
  int width = 64;
  int height = 32;
  int frames = 10;
  int rate = 25;  // frames per second
  bool alpha = false;
  // Paints frame n; by default the whole frame is VideoFrameColour(n).
  std::function<void(int frame, Picture& picture)> paint;
  // Interleaved 16-bit samples; none writes no sound stream.
  int audioRate = 22050;
  int audioChannels = 1;
  std::vector<int16_t> audio;
};

// A colour (B, G, R, A bytes packed little-endian) that tells frame n
// from its neighbours: B = n * 7, G = 255 - n * 3, R = 40 + n (mod 256).
uint32_t VideoFrameColour(int frame);

// The Matroska file; empty when the encoders refuse the recipe.
Bytes BuildVideo(const VideoSpec& recipe);

}  // namespace testkit
