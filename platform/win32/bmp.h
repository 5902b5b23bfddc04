// The one reader of BMP file images, shared by the D3DX layer's textures
// and the forms framework's bitmaps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

struct BmpImage {
  uint32_t width = 0;
  uint32_t height = 0;
  bool alpha = false;            // 32-bit with an alpha mask
  std::vector<uint32_t> pixels;  // 0xAARRGGBB, top row first (alpha 0xFF without a mask)
};

constexpr uint32_t kMaxBmpSide = 16384;  // bounds memory before any allocation

// Uncompressed 24- and 32-bit images (32-bit with or without the usual BGRA
// bit fields), bottom-up or top-down. False for anything else or anything
// truncated; with headerOnly the pixels are not decoded.
bool DecodeBmp(const uint8_t* data, size_t size, bool headerOnly, BmpImage* out);

}  // namespace platform
