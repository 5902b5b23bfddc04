#include "tools/image_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace testkit {
namespace {

void Put8(Bytes& out, uint8_t value) { out.push_back(value); }

void Put16(Bytes& out, uint16_t value) {
  out.push_back(uint8_t(value));
  out.push_back(uint8_t(value >> 8));
}

void Put32(Bytes& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

void PutFloat(Bytes& out, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  Put32(out, bits);
}

uint32_t FourCC(std::string_view text) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4 && i < text.size(); ++i) value |= uint32_t(uint8_t(text[i])) << (8 * i);
  return value;
}

// One pixel as the TGA stores it: B, G, R and, at 32 bits, A.
void PutTgaPixel(Bytes& out, const uint8_t* bgra, int bytes) {
  out.insert(out.end(), bgra, bgra + bytes);
}

}  // namespace

Picture::Picture(int w, int h) : width(w), height(h), bgra(size_t(w) * size_t(h) * 4, 0) {}

void Picture::Set(int x, int y, uint8_t b, uint8_t g, uint8_t r, uint8_t a) {
  uint8_t* p = At(x, y);
  p[0] = b;
  p[1] = g;
  p[2] = r;
  p[3] = a;
}

Bytes BuildImageHeader(const ImageHeader& header) {
  Bytes out;
  Put32(out, uint32_t(header.width));
  Put32(out, uint32_t(header.height));
  Put32(out, header.alpha);
  Put32(out, uint32_t(header.x));
  Put32(out, uint32_t(header.y));
  PutFloat(out, header.depth);
  Put32(out, header.frameCount);
  Put32(out, header.frameRate);
  Put32(out, header.reserved);
  Put32(out, header.code);
  return out;
}

Bytes RawFrame(const Picture& picture, bool alpha) {
  Bytes out;
  const int bytes = alpha ? 4 : 3;
  out.reserve(size_t(picture.width) * size_t(picture.height) * size_t(bytes));
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x) out.insert(out.end(), picture.At(x, y), picture.At(x, y) + bytes);
  return out;
}

Bytes BuildImageFile(const ImageHeader& header, std::span<const Bytes> frames) {
  Bytes out = BuildImageHeader(header);
  for (const Bytes& frame : frames) out.insert(out.end(), frame.begin(), frame.end());
  return out;
}

Bytes BuildRawImageFile(ImageHeader header, std::span<const Picture> frames) {
  if (!frames.empty()) {
    header.width = frames[0].width;
    header.height = frames[0].height;
  }
  header.frameCount = uint32_t(frames.size());
  header.code = kImageRaw;
  std::vector<Bytes> data;
  for (const Picture& frame : frames) data.push_back(RawFrame(frame, header.alpha != 0));
  return BuildImageFile(header, data);
}

Bytes BuildTgaHeader(int width, int height, int bits, uint8_t imageType, uint8_t idLength,
                     uint8_t descriptor) {
  Bytes out;
  Put8(out, idLength);
  Put8(out, 0);  // no colour map
  Put8(out, imageType);
  for (int i = 0; i < 5; ++i) Put8(out, 0);  // colour-map fields
  Put16(out, 0);                               // x origin
  Put16(out, 0);                               // y origin
  Put16(out, uint16_t(width));
  Put16(out, uint16_t(height));
  Put8(out, uint8_t(bits));
  Put8(out, descriptor);
  return out;
}

Bytes BuildTga(const Picture& picture, const TgaOptions& options) {
  const int bytes = options.bits / 8;
  Bytes out = BuildTgaHeader(picture.width, picture.height, options.bits,
                             options.runLength ? 10 : 2, uint8_t(options.id.size()),
                             options.descriptor);
  out.insert(out.end(), options.id.begin(), options.id.end());
  // Pixels in file order: bottom row first.
  std::vector<const uint8_t*> pixels;
  pixels.reserve(size_t(picture.width) * size_t(picture.height));
  for (int y = picture.height - 1; y >= 0; --y)
    for (int x = 0; x < picture.width; ++x) pixels.push_back(picture.At(x, y));
  if (!options.runLength) {
    for (const uint8_t* p : pixels) PutTgaPixel(out, p, bytes);
    return out;
  }
  // Packets may run across rows, as the engine decodes them.
  auto same = [bytes](const uint8_t* a, const uint8_t* b) { return std::memcmp(a, b, size_t(bytes)) == 0; };
  size_t i = 0;
  while (i < pixels.size()) {
    size_t run = 1;
    while (i + run < pixels.size() && run < 128 && same(pixels[i], pixels[i + run])) ++run;
    if (run >= 2) {
      Put8(out, uint8_t(127 + run));
      PutTgaPixel(out, pixels[i], bytes);
      i += run;
      continue;
    }
    size_t literal = 1;
    while (i + literal < pixels.size() && literal < 128 &&
           !(i + literal + 1 < pixels.size() && same(pixels[i + literal], pixels[i + literal + 1])))
      ++literal;
    Put8(out, uint8_t(literal - 1));
    for (size_t k = 0; k < literal; ++k) PutTgaPixel(out, pixels[i + k], bytes);
    i += literal;
  }
  return out;
}

Bytes BuildDds(int width, int height, std::string_view fourcc, std::span<const uint8_t> data) {
  constexpr uint32_t kCaps = 0x1, kHeight = 0x2, kWidth = 0x4, kPitch = 0x8, kPixelFormat = 0x1000,
                     kLinearSize = 0x80000;
  constexpr uint32_t kFourCCFlag = 0x4, kRgb = 0x40, kAlphaPixels = 0x1;
  constexpr uint32_t kTexture = 0x1000;
  const bool compressed = !fourcc.empty();
  Bytes out;
  Put32(out, FourCC("DDS "));
  Put32(out, 124);
  Put32(out, kCaps | kHeight | kWidth | kPixelFormat | (compressed ? kLinearSize : kPitch));
  Put32(out, uint32_t(height));
  Put32(out, uint32_t(width));
  Put32(out, compressed ? uint32_t(data.size()) : uint32_t(width) * 4);
  Put32(out, 0);  // depth
  Put32(out, 1);  // mipmap count
  for (int i = 0; i < 11; ++i) Put32(out, 0);
  // Pixel format, 32 bytes.
  Put32(out, 32);
  if (compressed) {
    Put32(out, kFourCCFlag);
    Put32(out, FourCC(fourcc));
    for (int i = 0; i < 5; ++i) Put32(out, 0);
  } else {
    Put32(out, kRgb | kAlphaPixels);
    Put32(out, 0);
    Put32(out, 32);
    Put32(out, 0x00FF0000);
    Put32(out, 0x0000FF00);
    Put32(out, 0x000000FF);
    Put32(out, 0xFF000000);
  }
  Put32(out, kTexture);
  for (int i = 0; i < 4; ++i) Put32(out, 0);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

Bytes SolidDxtBlocks(std::string_view fourcc, int width, int height, uint16_t color565,
                     uint8_t alpha8) {
  const int blocks = ((width + 3) / 4) * ((height + 3) / 4);
  Bytes out;
  for (int b = 0; b < blocks; ++b) {
    if (fourcc == "DXT2" || fourcc == "DXT3") {
      const uint8_t a4 = uint8_t(alpha8 >> 4);
      for (int i = 0; i < 8; ++i) Put8(out, uint8_t(a4 | (a4 << 4)));
    } else if (fourcc == "DXT4" || fourcc == "DXT5") {
      Put8(out, alpha8);
      Put8(out, alpha8);
      for (int i = 0; i < 6; ++i) Put8(out, 0);
    }
    // Both end colours the same, every index 0: the colour block is flat.
    Put16(out, color565);
    Put16(out, color565);
    Put32(out, 0);
  }
  return out;
}

Bytes BuildStartImage() {
  Picture picture(1024, 512);
  for (int y = 0; y < picture.height; ++y) {
    const bool rule = (y >= 60 && y < 64) || (y >= 448 && y < 452);
    const uint8_t shade = uint8_t(16 + y * 48 / picture.height);
    for (int x = 0; x < picture.width; ++x) {
      if (rule)
        picture.Set(x, y, 200, 190, 170, 255);
      else
        picture.Set(x, y, uint8_t(shade + 24), uint8_t(shade / 2 + 8), uint8_t(shade / 3), 255);
    }
  }
  TgaOptions options;
  options.bits = 32;
  options.runLength = true;
  return BuildTga(picture, options);
}

bool WriteBytes(const char* path, std::span<const uint8_t> data) {
  std::FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  const bool ok = std::fwrite(data.data(), 1, data.size(), file) == data.size();
  return std::fclose(file) == 0 && ok;
}

}  // namespace testkit
