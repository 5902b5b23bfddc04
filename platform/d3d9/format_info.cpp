// Pixel layouts of the formats the layer holds in memory.
#include "platform/d3d9/format_info.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform::d3d9 {

UINT BytesPerPixel(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A8B8G8R8:
    case D3DFMT_X8B8G8R8:
    case D3DFMT_D32:
    case D3DFMT_D24S8:
    case D3DFMT_D24X8:
    case D3DFMT_R32F:
    case D3DFMT_INDEX32:
      return 4;
    case D3DFMT_R8G8B8:
      return 3;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_A8L8:
    case D3DFMT_D16:
    case D3DFMT_INDEX16:
      return 2;
    case D3DFMT_A8:
    case D3DFMT_L8:
      return 1;
    case D3DFMT_A32B32G32R32F:
      return 16;
    default:
      return 0;
  }
}

UINT BlockBytes(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_DXT1:
      return 8;
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5:
      return 16;
    default:
      return 0;
  }
}

bool IsDepthFormat(D3DFORMAT format) {
  return format == D3DFMT_D16 || format == D3DFMT_D24S8 || format == D3DFMT_D24X8 || format == D3DFMT_D32;
}

bool Layout(D3DFORMAT format, UINT width, UINT height, UINT* pitch, UINT* rows) {
  if (width == 0 || height == 0) return false;
  if (UINT block = BlockBytes(format)) {
    *pitch = ((width + 3) / 4) * block;
    *rows = (height + 3) / 4;
    return true;
  }
  UINT bpp = BytesPerPixel(format);
  if (bpp == 0) return false;
  *pitch = width * bpp;
  *rows = height;
  return true;
}

namespace {

float Unit(uint32_t v, uint32_t max) { return static_cast<float>(v) / static_cast<float>(max); }

uint32_t Quantise(float f, uint32_t max) {
  if (!(f > 0.0f)) return 0;  // negatives and NaN
  if (f >= 1.0f) return max;
  return static_cast<uint32_t>(f * static_cast<float>(max) + 0.5f);
}

uint32_t Load(const BYTE* p, UINT n) {
  uint32_t v = 0;
  for (UINT i = 0; i < n; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
  return v;
}

void Store(BYTE* p, UINT n, uint32_t v) {
  for (UINT i = 0; i < n; ++i) p[i] = static_cast<BYTE>(v >> (8 * i));
}

}  // namespace

void ColorToFloats(D3DCOLOR c, float rgba[4]) {
  rgba[0] = Unit((c >> 16) & 0xFF, 255);
  rgba[1] = Unit((c >> 8) & 0xFF, 255);
  rgba[2] = Unit(c & 0xFF, 255);
  rgba[3] = Unit(c >> 24, 255);
}

bool DecodePixel(D3DFORMAT format, const BYTE* src, float rgba[4]) {
  uint32_t v;
  switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
      v = Load(src, 4);
      ColorToFloats(v, rgba);
      if (format == D3DFMT_X8R8G8B8) rgba[3] = 1.0f;
      return true;
    case D3DFMT_A8B8G8R8:
    case D3DFMT_X8B8G8R8:
      v = Load(src, 4);
      rgba[0] = Unit(v & 0xFF, 255);
      rgba[1] = Unit((v >> 8) & 0xFF, 255);
      rgba[2] = Unit((v >> 16) & 0xFF, 255);
      rgba[3] = format == D3DFMT_X8B8G8R8 ? 1.0f : Unit(v >> 24, 255);
      return true;
    case D3DFMT_R8G8B8:
      rgba[0] = Unit(src[2], 255);
      rgba[1] = Unit(src[1], 255);
      rgba[2] = Unit(src[0], 255);
      rgba[3] = 1.0f;
      return true;
    case D3DFMT_R5G6B5:
      v = Load(src, 2);
      rgba[0] = Unit((v >> 11) & 31, 31);
      rgba[1] = Unit((v >> 5) & 63, 63);
      rgba[2] = Unit(v & 31, 31);
      rgba[3] = 1.0f;
      return true;
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
      v = Load(src, 2);
      rgba[0] = Unit((v >> 10) & 31, 31);
      rgba[1] = Unit((v >> 5) & 31, 31);
      rgba[2] = Unit(v & 31, 31);
      rgba[3] = format == D3DFMT_A1R5G5B5 ? static_cast<float>(v >> 15) : 1.0f;
      return true;
    case D3DFMT_A4R4G4B4:
      v = Load(src, 2);
      rgba[0] = Unit((v >> 8) & 15, 15);
      rgba[1] = Unit((v >> 4) & 15, 15);
      rgba[2] = Unit(v & 15, 15);
      rgba[3] = Unit(v >> 12, 15);
      return true;
    case D3DFMT_A8:
      rgba[0] = rgba[1] = rgba[2] = 0.0f;
      rgba[3] = Unit(src[0], 255);
      return true;
    case D3DFMT_L8:
      rgba[0] = rgba[1] = rgba[2] = Unit(src[0], 255);
      rgba[3] = 1.0f;
      return true;
    case D3DFMT_A8L8:
      rgba[0] = rgba[1] = rgba[2] = Unit(src[0], 255);
      rgba[3] = Unit(src[1], 255);
      return true;
    case D3DFMT_R32F:
      std::memcpy(&rgba[0], src, 4);
      rgba[1] = rgba[2] = rgba[3] = 1.0f;
      return true;
    case D3DFMT_A32B32G32R32F:
      std::memcpy(rgba, src, 16);
      return true;
    default:
      return false;
  }
}

bool EncodePixel(D3DFORMAT format, const float rgba[4], BYTE* dst) {
  uint32_t r8 = Quantise(rgba[0], 255), g8 = Quantise(rgba[1], 255), b8 = Quantise(rgba[2], 255);
  uint32_t a8 = Quantise(rgba[3], 255);
  switch (format) {
    case D3DFMT_A8R8G8B8:
      Store(dst, 4, a8 << 24 | r8 << 16 | g8 << 8 | b8);
      return true;
    case D3DFMT_X8R8G8B8:
      Store(dst, 4, 0xFFu << 24 | r8 << 16 | g8 << 8 | b8);
      return true;
    case D3DFMT_A8B8G8R8:
      Store(dst, 4, a8 << 24 | b8 << 16 | g8 << 8 | r8);
      return true;
    case D3DFMT_X8B8G8R8:
      Store(dst, 4, 0xFFu << 24 | b8 << 16 | g8 << 8 | r8);
      return true;
    case D3DFMT_R8G8B8:
      dst[0] = static_cast<BYTE>(b8);
      dst[1] = static_cast<BYTE>(g8);
      dst[2] = static_cast<BYTE>(r8);
      return true;
    case D3DFMT_R5G6B5:
      Store(dst, 2, Quantise(rgba[0], 31) << 11 | Quantise(rgba[1], 63) << 5 | Quantise(rgba[2], 31));
      return true;
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5: {
      uint32_t a = format == D3DFMT_X1R5G5B5 ? 1u : (rgba[3] >= 0.5f ? 1u : 0u);
      Store(dst, 2, a << 15 | Quantise(rgba[0], 31) << 10 | Quantise(rgba[1], 31) << 5 | Quantise(rgba[2], 31));
      return true;
    }
    case D3DFMT_A4R4G4B4:
      Store(dst, 2,
            Quantise(rgba[3], 15) << 12 | Quantise(rgba[0], 15) << 8 | Quantise(rgba[1], 15) << 4 |
                Quantise(rgba[2], 15));
      return true;
    case D3DFMT_A8:
      dst[0] = static_cast<BYTE>(a8);
      return true;
    case D3DFMT_L8:
    case D3DFMT_A8L8: {
      // Luminance by the usual video weights.
      float l = 0.2125f * rgba[0] + 0.7154f * rgba[1] + 0.0721f * rgba[2];
      dst[0] = static_cast<BYTE>(Quantise(l, 255));
      if (format == D3DFMT_A8L8) dst[1] = static_cast<BYTE>(a8);
      return true;
    }
    case D3DFMT_R32F:
      std::memcpy(dst, &rgba[0], 4);
      return true;
    case D3DFMT_A32B32G32R32F:
      std::memcpy(dst, rgba, 16);
      return true;
    default:
      return false;
  }
}

}  // namespace platform::d3d9
