#pragma once
// Writes the picture files the engine reads: its own image files (raw or
// DXT frames, or a video stream behind the header), TGA files (raw and
// run-length, 24 and 32 bits) and DDS files. Tests, fuzz seeds and the
// sample game build their pictures with it.
//
// Pixels are given as BGRA bytes, top row first, whatever the file keeps.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace testkit {

using Bytes = std::vector<uint8_t>;

// A picture in memory: width × height pixels of 4 bytes (B, G, R, A), top
// row first.
struct Picture {
  int width = 0;
  int height = 0;
  Bytes bgra;

  Picture() = default;
  Picture(int w, int h);
  uint8_t* At(int x, int y) { return &bgra[(size_t(y) * size_t(width) + size_t(x)) * 4]; }
  const uint8_t* At(int x, int y) const {
    return &bgra[(size_t(y) * size_t(width) + size_t(x)) * 4];
  }
  void Set(int x, int y, uint8_t b, uint8_t g, uint8_t r, uint8_t a);
};

// Format codes of the engine image file.
enum ImageCode : uint32_t {
  kImageRaw = 0,
  kImageVideoWhole = 1,
  kImageDxt1 = 2,
  kImageDxt3 = 3,
  kImageDxt5 = 4,
  kImageDxt2 = 5,
  kImageDxt4 = 6,
  kImageVideoStreamed = 7,
  kImageDxt5Alt = 8,
};

// The 40-byte header of an engine image file.
struct ImageHeader {
  int32_t width = 0;
  int32_t height = 0;
  uint8_t alpha = 0;
  int32_t x = 0;
  int32_t y = 0;
  float depth = 1.0f;
  uint32_t frameCount = 1;
  uint8_t frameRate = 0;
  uint32_t reserved = 0;
  uint32_t code = kImageRaw;
};
constexpr size_t kImageHeaderSize = 40;

Bytes BuildImageHeader(const ImageHeader& header);
// One raw frame: rows top first, B, G, R and (with alpha) A per pixel.
Bytes RawFrame(const Picture& picture, bool alpha);
// Header, then the frame data blocks one after the other as given.
Bytes BuildImageFile(const ImageHeader& header, std::span<const Bytes> frames);
// Raw image file of still frames that share one size; header fields other
// than size, alpha, frame count and code are taken from `header`.
Bytes BuildRawImageFile(ImageHeader header, std::span<const Picture> frames);

// TGA: 18-byte header, the identification field, then the pixels bottom row
// first. `bits` is 24 or 32; `runLength` writes image type 10 with packets
// of at most 128 pixels, else type 2. `descriptor` is stored as byte 17 as
// given (the engine does not read it).
struct TgaOptions {
  int bits = 32;
  bool runLength = false;
  uint8_t descriptor = 0;
  std::string_view id;
};
Bytes BuildTga(const Picture& picture, const TgaOptions& options);
// A TGA header alone, for files whose pixel data is made by hand.
Bytes BuildTgaHeader(int width, int height, int bits, uint8_t imageType, uint8_t idLength,
                     uint8_t descriptor);

// DDS: "DDS " and the 124-byte header, then `data` as given. `fourcc` is
// "DXT1" … "DXT5"; an empty one writes an uncompressed 32-bit A8R8G8B8
// surface (data then holds width × height BGRA pixels, top row first).
Bytes BuildDds(int width, int height, std::string_view fourcc, std::span<const uint8_t> data);

// DXT blocks of one flat colour (5-6-5 bits) over a width × height picture
// (rounded up to whole 4 × 4 blocks). DXT1 blocks are 8 bytes, the others
// 16; DXT3 alpha is explicit 4-bit `alpha4`, DXT5 alpha is `alpha8`.
Bytes SolidDxtBlocks(std::string_view fourcc, int width, int height, uint16_t color565,
                     uint8_t alpha8 = 255);

// The sample game's splash picture "start": the scene band (1024 x 512)
// in a dark vertical gradient framed by two light rules, as a run-length
// 32-bit TGA.
Bytes BuildStartImage();

// Writes `data` to a file; false on failure.
bool WriteBytes(const char* path, std::span<const uint8_t> data);

}  // namespace testkit
