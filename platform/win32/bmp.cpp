#include "platform/win32/bmp.h"

namespace {

uint32_t U32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
int32_t I32(const uint8_t* p) { return static_cast<int32_t>(U32(p)); }

}  // namespace

namespace platform {

bool DecodeBmp(const uint8_t* p, size_t size, bool headerOnly, BmpImage* img) {
  if (!p || size < 54 || p[0] != 'B' || p[1] != 'M') return false;
  const uint32_t offBits = U32(p + 10), infoSize = U32(p + 14);
  if (infoSize < 40 || infoSize > size - 14) return false;
  const int32_t width = I32(p + 18), height = I32(p + 22);
  const uint16_t bitCount = U16(p + 28);
  const uint32_t compression = U32(p + 30);
  if (width <= 0 || height == 0 || height == INT32_MIN) return false;
  const uint32_t w = static_cast<uint32_t>(width), h = static_cast<uint32_t>(height < 0 ? -height : height);
  if (w > kMaxBmpSide || h > kMaxBmpSide) return false;
  if (bitCount != 24 && bitCount != 32) return false;
  bool alpha = false;
  if (compression == 3 && bitCount == 32) {
    // Bit fields: only the usual BGRA layout.
    size_t masks = infoSize >= 56 ? 14 + 40 : 14 + infoSize;
    if (masks + 12 > size || U32(p + masks) != 0xFF0000 || U32(p + masks + 4) != 0xFF00 || U32(p + masks + 8) != 0xFF) {
      return false;
    }
    alpha = infoSize >= 56 && U32(p + 14 + 52) == 0xFF000000u;
  } else if (compression != 0) {
    return false;
  }
  const size_t stride = (static_cast<size_t>(w) * bitCount / 8 + 3) & ~size_t{3};
  if (offBits > size || stride * h > size - offBits) return false;
  img->width = w;
  img->height = h;
  img->alpha = alpha;
  img->pixels.clear();
  if (headerOnly) return true;
  img->pixels.resize(static_cast<size_t>(w) * h);
  const uint32_t bpp = bitCount / 8u;
  for (uint32_t y = 0; y < h; ++y) {
    const uint8_t* row = p + offBits + stride * (height < 0 ? y : h - 1 - y);
    uint32_t* out = img->pixels.data() + static_cast<size_t>(y) * w;
    for (uint32_t x = 0; x < w; ++x) {
      const uint8_t* px = row + static_cast<size_t>(x) * bpp;
      uint32_t a = alpha ? px[3] : 0xFFu;
      out[x] = a << 24 | static_cast<uint32_t>(px[2]) << 16 | static_cast<uint32_t>(px[1]) << 8 | px[0];
    }
  }
  return true;
}

}  // namespace platform
