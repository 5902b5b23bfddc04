// D3DX textures and surfaces: image files in memory (DDS, PNG, BMP), surface
// copies with conversion and filtering, DXT decoding, saving BMP and PNG.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/d3d9/format_info.h"
#include "platform/d3d9/layer.h"
#include "platform/d3dx9/d3dx9_tex.h"
#include "platform/win32/bmp.h"
#include "platform/win32/path.h"

namespace fi = platform::d3d9;

namespace {

// ---- Little-endian reading with bounds --------------------------------------------
uint32_t U32(const BYTE* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t U16(const BYTE* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// A picture as red, green, blue, alpha floats, row by row.
struct Pixels {
  UINT width = 0, height = 0;
  std::vector<float> rgba;
  float* At(UINT x, UINT y) { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
  const float* At(UINT x, UINT y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
};

// ---- DXT ----------------------------------------------------------------------------
void Color565(uint16_t c, float out[4]) {
  out[0] = static_cast<float>((c >> 11) & 31) / 31.0f;
  out[1] = static_cast<float>((c >> 5) & 63) / 63.0f;
  out[2] = static_cast<float>(c & 31) / 31.0f;
  out[3] = 1.0f;
}

// One 4 × 4 block into 16 pixels (row-major).
void DecodeBlock(D3DFORMAT format, const BYTE* block, float out[16][4]) {
  const BYTE* colour = format == D3DFMT_DXT1 ? block : block + 8;
  uint16_t c0 = U16(colour), c1 = U16(colour + 2);
  float palette[4][4];
  Color565(c0, palette[0]);
  Color565(c1, palette[1]);
  const bool fourColours = format != D3DFMT_DXT1 || c0 > c1;
  for (int c = 0; c < 4; ++c) {
    if (fourColours) {
      palette[2][c] = (2.0f * palette[0][c] + palette[1][c]) / 3.0f;
      palette[3][c] = (palette[0][c] + 2.0f * palette[1][c]) / 3.0f;
    } else {
      palette[2][c] = (palette[0][c] + palette[1][c]) / 2.0f;
      palette[3][c] = 0.0f;  // transparent black
    }
  }
  palette[2][3] = 1.0f;
  uint32_t indices = U32(colour + 4);
  for (int i = 0; i < 16; ++i) std::memcpy(out[i], palette[(indices >> (2 * i)) & 3], sizeof(float) * 4);

  if (format == D3DFMT_DXT2 || format == D3DFMT_DXT3) {
    for (int i = 0; i < 16; ++i) {
      unsigned nibble = (block[i / 2] >> (4 * (i % 2))) & 0xF;
      out[i][3] = static_cast<float>(nibble) / 15.0f;
    }
  } else if (format == D3DFMT_DXT4 || format == D3DFMT_DXT5) {
    float a[8];
    a[0] = block[0] / 255.0f;
    a[1] = block[1] / 255.0f;
    if (block[0] > block[1]) {
      for (int i = 1; i < 7; ++i) a[i + 1] = ((7 - i) * a[0] + i * a[1]) / 7.0f;
    } else {
      for (int i = 1; i < 5; ++i) a[i + 1] = ((5 - i) * a[0] + i * a[1]) / 5.0f;
      a[6] = 0.0f;
      a[7] = 1.0f;
    }
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i) bits |= static_cast<uint64_t>(block[2 + i]) << (8 * i);
    for (int i = 0; i < 16; ++i) out[i][3] = a[(bits >> (3 * i)) & 7];
  }
  // Premultiplied formats come back to straight alpha.
  if (format == D3DFMT_DXT2 || format == D3DFMT_DXT4) {
    for (int i = 0; i < 16; ++i) {
      if (out[i][3] > 0.0f) {
        for (int c = 0; c < 3; ++c) out[i][c] = std::min(1.0f, out[i][c] / out[i][3]);
      }
    }
  }
}

// ---- Reading memory into pixels --------------------------------------------------------
// `rect` lies within width × height of the memory; for DXT, whole blocks
// covering it are read.
bool Decode(const BYTE* bits, UINT pitch, D3DFORMAT format, const RECT& rect, Pixels* out) {
  out->width = static_cast<UINT>(rect.right - rect.left);
  out->height = static_cast<UINT>(rect.bottom - rect.top);
  out->rgba.assign(static_cast<size_t>(out->width) * out->height * 4, 0.0f);
  if (fi::IsDxt(format)) {
    const UINT blockBytes = fi::BlockBytes(format);
    for (UINT y = 0; y < out->height; ++y) {
      for (UINT x = 0; x < out->width; ++x) {
        UINT sx = static_cast<UINT>(rect.left) + x, sy = static_cast<UINT>(rect.top) + y;
        // Decode a block once, at its first pixel in the rectangle.
        if ((sx % 4 != 0 && x != 0) || (sy % 4 != 0 && y != 0)) continue;
        float block[16][4];
        DecodeBlock(format, bits + static_cast<size_t>(sy / 4) * pitch + static_cast<size_t>(sx / 4) * blockBytes,
                    block);
        for (UINT by = sy % 4; by < 4; ++by) {
          for (UINT bx = sx % 4; bx < 4; ++bx) {
            UINT px = x + bx - sx % 4, py = y + by - sy % 4;
            if (px < out->width && py < out->height) std::memcpy(out->At(px, py), block[by * 4 + bx], sizeof(float) * 4);
          }
        }
      }
    }
    return true;
  }
  const UINT bpp = fi::BytesPerPixel(format);
  if (bpp == 0 || fi::IsDepthFormat(format)) return false;
  for (UINT y = 0; y < out->height; ++y) {
    const BYTE* row = bits + static_cast<size_t>(rect.top + static_cast<LONG>(y)) * pitch;
    for (UINT x = 0; x < out->width; ++x) {
      if (!fi::DecodePixel(format, row + static_cast<size_t>(rect.left + static_cast<LONG>(x)) * bpp, out->At(x, y))) {
        return false;
      }
    }
  }
  return true;
}

// Scales to width × height: nearest or bilinear at pixel centres.
Pixels Resample(const Pixels& src, UINT width, UINT height, bool linear) {
  if (src.width == width && src.height == height) return src;
  Pixels out;
  out.width = width;
  out.height = height;
  out.rgba.assign(static_cast<size_t>(width) * height * 4, 0.0f);
  auto fetch = [&](long x, long y) {
    x = std::clamp<long>(x, 0, static_cast<long>(src.width) - 1);
    y = std::clamp<long>(y, 0, static_cast<long>(src.height) - 1);
    return src.At(static_cast<UINT>(x), static_cast<UINT>(y));
  };
  for (UINT y = 0; y < height; ++y) {
    for (UINT x = 0; x < width; ++x) {
      float fx = (static_cast<float>(x) + 0.5f) * static_cast<float>(src.width) / static_cast<float>(width) - 0.5f;
      float fy = (static_cast<float>(y) + 0.5f) * static_cast<float>(src.height) / static_cast<float>(height) - 0.5f;
      float* d = out.At(x, y);
      if (!linear) {
        std::memcpy(d, fetch(std::lround(std::floor(fx + 0.5f)), std::lround(std::floor(fy + 0.5f))),
                    sizeof(float) * 4);
        continue;
      }
      long x0 = std::lround(std::floor(fx)), y0 = std::lround(std::floor(fy));
      float tx = fx - static_cast<float>(x0), ty = fy - static_cast<float>(y0);
      const float *c00 = fetch(x0, y0), *c10 = fetch(x0 + 1, y0), *c01 = fetch(x0, y0 + 1), *c11 = fetch(x0 + 1, y0 + 1);
      for (int c = 0; c < 4; ++c) {
        float top = c00[c] + (c10[c] - c00[c]) * tx;
        float bottom = c01[c] + (c11[c] - c01[c]) * tx;
        d[c] = top + (bottom - top) * ty;
      }
    }
  }
  return out;
}

// Writes pixels into `rect` of the memory. DXT destinations are not encoded.
bool Encode(const Pixels& px, BYTE* bits, UINT pitch, D3DFORMAT format, const RECT& rect) {
  const UINT bpp = fi::BytesPerPixel(format);
  if (bpp == 0 || fi::IsDepthFormat(format)) return false;
  for (UINT y = 0; y < px.height; ++y) {
    BYTE* row = bits + static_cast<size_t>(rect.top + static_cast<LONG>(y)) * pitch;
    for (UINT x = 0; x < px.width; ++x) {
      if (!fi::EncodePixel(format, px.At(x, y), row + static_cast<size_t>(rect.left + static_cast<LONG>(x)) * bpp)) {
        return false;
      }
    }
  }
  return true;
}

bool ValidRect(const RECT& r, UINT width, UINT height) {
  return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom && static_cast<UINT>(r.right) <= width &&
         static_cast<UINT>(r.bottom) <= height;
}

void ApplyColorKey(Pixels* px, D3DCOLOR key) {
  if (key == 0) return;
  for (UINT i = 0; i < px->width * px->height; ++i) {
    float* p = &px->rgba[static_cast<size_t>(i) * 4];
    BYTE b[4];
    fi::EncodePixel(D3DFMT_A8R8G8B8, p, b);
    if (U32(b) == key) p[0] = p[1] = p[2] = p[3] = 0.0f;
  }
}

HRESULT LoadInto(IDirect3DSurface9* dest, const RECT* destRect, const Pixels& src, DWORD filter) {
  fi::SurfaceMemory dm;
  if (!fi::GetSurfaceMemory(dest, &dm)) return D3DERR_INVALIDCALL;
  RECT dr = destRect ? *destRect : RECT{0, 0, static_cast<LONG>(dm.width), static_cast<LONG>(dm.height)};
  if (!ValidRect(dr, dm.width, dm.height)) return D3DERR_INVALIDCALL;
  if (fi::IsDxt(dm.format) || fi::BytesPerPixel(dm.format) == 0 || fi::IsDepthFormat(dm.format)) {
    return D3DERR_INVALIDCALL;
  }
  DWORD kind = filter & 0xFF;
  bool linear = filter == D3DX_DEFAULT || kind == D3DX_FILTER_LINEAR || kind == D3DX_FILTER_TRIANGLE ||
                kind == D3DX_FILTER_BOX;
  Pixels scaled = Resample(src, static_cast<UINT>(dr.right - dr.left), static_cast<UINT>(dr.bottom - dr.top), linear);
  return Encode(scaled, dm.bits, dm.pitch, dm.format, dr) ? D3D_OK : D3DERR_INVALIDCALL;
}

// Whole levels of `format` at width × height hold this many bytes.
bool LevelBytes(D3DFORMAT format, UINT width, UINT height, size_t* bytes) {
  UINT pitch, rows;
  if (!fi::Layout(format, width, height, &pitch, &rows)) return false;
  *bytes = static_cast<size_t>(pitch) * rows;
  return true;
}

// ---- Image files -----------------------------------------------------------------
struct Image {
  D3DXIMAGE_FILEFORMAT fileFormat = D3DXIFF_BMP;
  D3DFORMAT format = D3DFMT_UNKNOWN;
  UINT width = 0, height = 0, levels = 1;
  // DDS: the file's level data (tightly packed, levels one after another).
  const BYTE* data = nullptr;
  size_t dataSize = 0;
  // PNG and BMP: level 0 decoded.
  Pixels pixels;
};

constexpr UINT kMaxImageSide = 16384;  // bounds memory before any allocation

bool Masks(const BYTE* pf, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  return U32(pf + 16) == r && U32(pf + 20) == g && U32(pf + 24) == b && U32(pf + 28) == a;
}

HRESULT ReadDds(const BYTE* p, size_t size, bool headerOnly, Image* img) {
  if (size < 128 || U32(p + 4) != 124) return D3DXERR_INVALIDDATA;
  const uint32_t flags = U32(p + 8);
  img->fileFormat = D3DXIFF_DDS;
  img->height = U32(p + 12);
  img->width = U32(p + 16);
  const uint32_t mips = U32(p + 28);
  const BYTE* pf = p + 76;
  const uint32_t pfFlags = U32(pf + 4), fourCC = U32(pf + 8), bitCount = U32(pf + 12);
  const uint32_t caps2 = U32(p + 112);
  if (caps2 & 0x200u || caps2 & 0x200000u) return D3DXERR_INVALIDDATA;  // cube maps and volumes
  if (img->width == 0 || img->height == 0 || img->width > kMaxImageSide || img->height > kMaxImageSide) {
    return D3DXERR_INVALIDDATA;
  }
  if (pfFlags & 0x4u) {  // four-character code
    switch (fourCC) {
      case D3DFMT_DXT1:
      case D3DFMT_DXT2:
      case D3DFMT_DXT3:
      case D3DFMT_DXT4:
      case D3DFMT_DXT5:
      case D3DFMT_A32B32G32R32F:
      case D3DFMT_R32F:
      case D3DFMT_A8R8G8B8:
      case D3DFMT_X8R8G8B8:
        img->format = static_cast<D3DFORMAT>(fourCC);
        break;
      default:
        return D3DXERR_INVALIDDATA;
    }
  } else if (pfFlags & 0x40u) {  // RGB
    const bool alpha = pfFlags & 0x1u;
    if (bitCount == 32 && Masks(pf, 0xFF0000, 0xFF00, 0xFF, alpha ? 0xFF000000u : U32(pf + 28))) {
      img->format = alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    } else if (bitCount == 32 && Masks(pf, 0xFF, 0xFF00, 0xFF0000, alpha ? 0xFF000000u : U32(pf + 28))) {
      img->format = alpha ? D3DFMT_A8B8G8R8 : D3DFMT_X8B8G8R8;
    } else if (bitCount == 24 && Masks(pf, 0xFF0000, 0xFF00, 0xFF, 0)) {
      img->format = D3DFMT_R8G8B8;
    } else if (bitCount == 16 && Masks(pf, 0xF800, 0x7E0, 0x1F, 0)) {
      img->format = D3DFMT_R5G6B5;
    } else if (bitCount == 16 && Masks(pf, 0x7C00, 0x3E0, 0x1F, alpha ? 0x8000u : U32(pf + 28))) {
      img->format = alpha ? D3DFMT_A1R5G5B5 : D3DFMT_X1R5G5B5;
    } else if (bitCount == 16 && alpha && Masks(pf, 0xF00, 0xF0, 0xF, 0xF000)) {
      img->format = D3DFMT_A4R4G4B4;
    } else {
      return D3DXERR_INVALIDDATA;
    }
  } else if (pfFlags & 0x20000u) {  // luminance
    img->format = (pfFlags & 0x1u) && bitCount == 16 ? D3DFMT_A8L8 : (bitCount == 8 ? D3DFMT_L8 : D3DFMT_UNKNOWN);
    if (img->format == D3DFMT_UNKNOWN) return D3DXERR_INVALIDDATA;
  } else if ((pfFlags & 0x2u) && bitCount == 8) {  // alpha only
    img->format = D3DFMT_A8;
  } else {
    return D3DXERR_INVALIDDATA;
  }
  UINT full = 1;
  for (UINT w = img->width, h = img->height; w > 1 || h > 1; w = std::max(1u, w / 2), h = std::max(1u, h / 2)) ++full;
  img->levels = (flags & 0x20000u) && mips > 0 ? std::min<UINT>(mips, full) : 1;
  img->data = p + 128;
  img->dataSize = size - 128;
  // Every level must be there.
  size_t need = 0;
  for (UINT i = 0; i < img->levels; ++i) {
    size_t bytes;
    if (!LevelBytes(img->format, std::max(1u, img->width >> i), std::max(1u, img->height >> i), &bytes)) {
      return D3DXERR_INVALIDDATA;
    }
    need += bytes;
  }
  if (need > img->dataSize) return D3DXERR_INVALIDDATA;
  (void)headerOnly;
  return D3D_OK;
}

HRESULT ReadPng(const BYTE* p, size_t size, bool headerOnly, Image* img) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&png, p, size)) return D3DXERR_INVALIDDATA;
  const bool alpha = png.format & PNG_FORMAT_FLAG_ALPHA;
  img->fileFormat = D3DXIFF_PNG;
  img->width = png.width;
  img->height = png.height;
  img->format = alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
  // Deflate packs at most 1032 bytes into one, and a pixel takes at least a
  // bit: a header claiming more pixels than that is damaged, and refusing it
  // here keeps a few bytes from allocating gigabytes before decoding fails.
  const uint64_t pixelLimit = static_cast<uint64_t>(size) * 8 * 1032;
  if (png.width == 0 || png.height == 0 || png.width > kMaxImageSide || png.height > kMaxImageSide ||
      static_cast<uint64_t>(png.width) * png.height > pixelLimit) {
    png_image_free(&png);
    return D3DXERR_INVALIDDATA;
  }
  if (headerOnly) {
    png_image_free(&png);
    return D3D_OK;
  }
  png.format = PNG_FORMAT_RGBA;
  std::vector<BYTE> buffer(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, buffer.data(), 0, nullptr)) {
    png_image_free(&png);
    return D3DXERR_INVALIDDATA;
  }
  img->pixels.width = img->width;
  img->pixels.height = img->height;
  img->pixels.rgba.resize(buffer.size());
  for (size_t i = 0; i < buffer.size(); ++i) img->pixels.rgba[i] = static_cast<float>(buffer[i]) / 255.0f;
  return D3D_OK;
}

// Through the Win32 layer's BMP reader, shared with the forms framework.
HRESULT ReadBmp(const BYTE* p, size_t size, bool headerOnly, Image* img) {
  platform::BmpImage bmp;
  if (!platform::DecodeBmp(p, size, headerOnly, &bmp)) return D3DXERR_INVALIDDATA;
  const UINT w = bmp.width, h = bmp.height;
  if (w > kMaxImageSide || h > kMaxImageSide) return D3DXERR_INVALIDDATA;
  img->fileFormat = D3DXIFF_BMP;
  img->width = w;
  img->height = h;
  img->format = bmp.alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
  if (headerOnly) return D3D_OK;
  img->pixels.width = w;
  img->pixels.height = h;
  img->pixels.rgba.resize(static_cast<size_t>(w) * h * 4);
  for (UINT y = 0; y < h; ++y) {
    for (UINT x = 0; x < w; ++x) {
      uint32_t c = bmp.pixels[static_cast<size_t>(y) * w + x];
      float* d = img->pixels.At(x, y);
      d[0] = ((c >> 16) & 0xFF) / 255.0f;
      d[1] = ((c >> 8) & 0xFF) / 255.0f;
      d[2] = (c & 0xFF) / 255.0f;
      d[3] = (c >> 24) / 255.0f;
    }
  }
  return D3D_OK;
}

HRESULT ReadImage(const void* data, UINT size, bool headerOnly, Image* img) {
  if (!data || size == 0) return D3DERR_INVALIDCALL;
  const auto* p = static_cast<const BYTE*>(data);
  if (size >= 4 && std::memcmp(p, "DDS ", 4) == 0) return ReadDds(p, size, headerOnly, img);
  if (size >= 8 && std::memcmp(p, "\x89PNG\r\n\x1a\n", 8) == 0) return ReadPng(p, size, headerOnly, img);
  if (size >= 2 && p[0] == 'B' && p[1] == 'M') return ReadBmp(p, size, headerOnly, img);
  return D3DXERR_INVALIDDATA;
}

// Half size with a 2 × 2 box (edges repeat for odd sizes).
Pixels HalfSize(const Pixels& src) {
  Pixels out;
  out.width = std::max(1u, src.width / 2);
  out.height = std::max(1u, src.height / 2);
  out.rgba.assign(static_cast<size_t>(out.width) * out.height * 4, 0.0f);
  for (UINT y = 0; y < out.height; ++y) {
    for (UINT x = 0; x < out.width; ++x) {
      UINT x0 = std::min(2 * x, src.width - 1), x1 = std::min(2 * x + 1, src.width - 1);
      UINT y0 = std::min(2 * y, src.height - 1), y1 = std::min(2 * y + 1, src.height - 1);
      for (int c = 0; c < 4; ++c) {
        out.At(x, y)[c] = (src.At(x0, y0)[c] + src.At(x1, y0)[c] + src.At(x0, y1)[c] + src.At(x1, y1)[c]) / 4.0f;
      }
    }
  }
  return out;
}

}  // namespace

HRESULT D3DXCreateTexture(IDirect3DDevice9* device, UINT width, UINT height, UINT mipLevels, DWORD usage,
                          D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture) {
  if (!texture) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  if (!device) return D3DERR_INVALIDCALL;
  D3DCAPS9 caps{};
  device->GetDeviceCaps(&caps);
  if (width == D3DX_DEFAULT || width == 0) width = 256;
  if (height == D3DX_DEFAULT || height == 0) height = 256;
  if (width > caps.MaxTextureWidth || height > caps.MaxTextureHeight) return D3DERR_INVALIDCALL;
  if ((caps.TextureCaps & D3DPTEXTURECAPS_POW2) && !(caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL)) {
    auto pow2 = [](UINT v) {
      UINT p = 1;
      while (p < v) p <<= 1;
      return p;
    };
    width = pow2(width);
    height = pow2(height);
  }
  if (mipLevels == D3DX_DEFAULT) mipLevels = 0;
  // A format the device does not offer becomes the closest one it does.
  IDirect3D9* d3d = nullptr;
  if (SUCCEEDED(device->GetDirect3D(&d3d))) {
    if (FAILED(d3d->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, usage, D3DRTYPE_TEXTURE,
                                      format))) {
      format = D3DFMT_A8R8G8B8;
    }
    d3d->Release();
  }
  return device->CreateTexture(width, height, mipLevels, usage, format, pool, texture, nullptr);
}

HRESULT D3DXGetImageInfoFromFileInMemory(const void* srcData, UINT srcDataSize, D3DXIMAGE_INFO* info) {
  if (!info) return D3DERR_INVALIDCALL;
  Image img;
  HRESULT hr = ReadImage(srcData, srcDataSize, true, &img);
  if (FAILED(hr)) return hr;
  *info = {img.width, img.height, 1, img.levels, img.format, D3DRTYPE_TEXTURE, img.fileFormat};
  return D3D_OK;
}

HRESULT D3DXCreateTextureFromFileInMemory(IDirect3DDevice9* device, const void* srcData, UINT srcDataSize,
                                          IDirect3DTexture9** texture) {
  if (!texture) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  if (!device) return D3DERR_INVALIDCALL;
  Image img;
  HRESULT hr = ReadImage(srcData, srcDataSize, false, &img);
  if (FAILED(hr)) return hr;
  UINT levels = img.levels;
  if (img.fileFormat != D3DXIFF_DDS) {
    levels = 1;
    for (UINT w = img.width, h = img.height; w > 1 || h > 1; w = std::max(1u, w / 2), h = std::max(1u, h / 2)) ++levels;
  }
  IDirect3DTexture9* tex = nullptr;
  D3DFORMAT format = img.format;
  hr = device->CreateTexture(img.width, img.height, levels, 0, format, D3DPOOL_MANAGED, &tex, nullptr);
  if (FAILED(hr) && fi::IsDxt(format)) {
    // Without DXT support the blocks are decoded into plain pixels.
    format = D3DFMT_A8R8G8B8;
    hr = device->CreateTexture(img.width, img.height, levels, 0, format, D3DPOOL_MANAGED, &tex, nullptr);
  }
  if (FAILED(hr)) return hr;
  if (img.fileFormat == D3DXIFF_DDS) {
    const BYTE* level = img.data;
    for (UINT i = 0; i < levels; ++i) {
      UINT w = std::max(1u, img.width >> i), h = std::max(1u, img.height >> i);
      UINT pitch, rows;
      fi::Layout(img.format, w, h, &pitch, &rows);
      IDirect3DSurface9* surface = nullptr;
      tex->GetSurfaceLevel(i, &surface);
      fi::SurfaceMemory dm;
      fi::GetSurfaceMemory(surface, &dm);
      if (format == img.format) {
        for (UINT r = 0; r < rows; ++r) {
          std::memcpy(dm.bits + static_cast<size_t>(r) * dm.pitch, level + static_cast<size_t>(r) * pitch, pitch);
        }
      } else {
        Pixels px;
        Decode(level, pitch, img.format, RECT{0, 0, static_cast<LONG>(w), static_cast<LONG>(h)}, &px);
        Encode(px, dm.bits, dm.pitch, format, RECT{0, 0, static_cast<LONG>(w), static_cast<LONG>(h)});
      }
      surface->Release();
      level += static_cast<size_t>(pitch) * rows;
    }
  } else {
    Pixels px = std::move(img.pixels);
    for (UINT i = 0; i < levels; ++i) {
      if (i > 0) px = HalfSize(px);
      IDirect3DSurface9* surface = nullptr;
      tex->GetSurfaceLevel(i, &surface);
      fi::SurfaceMemory dm;
      fi::GetSurfaceMemory(surface, &dm);
      Encode(px, dm.bits, dm.pitch, format, RECT{0, 0, static_cast<LONG>(px.width), static_cast<LONG>(px.height)});
      surface->Release();
    }
  }
  *texture = tex;
  return D3D_OK;
}

HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice9* device, const char* srcFile, UINT width, UINT height,
                                    UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                    DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
                                    PALETTEENTRY* /*palette*/, IDirect3DTexture9** texture) {
  if (!texture) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  if (!device || !srcFile) return D3DERR_INVALIDCALL;
  std::vector<BYTE> file;
  {
    std::FILE* f = std::fopen(platform::MapPath(srcFile).c_str(), "rb");
    if (!f) return D3DXERR_INVALIDDATA;
    BYTE chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
      // An image file larger than the largest picture the reader takes is not one.
      if (file.size() + got > (size_t{1} << 30)) {
        std::fclose(f);
        return D3DXERR_INVALIDDATA;
      }
      file.insert(file.end(), chunk, chunk + got);
    }
    std::fclose(f);
  }
  Image img;
  HRESULT hr = ReadImage(file.data(), static_cast<UINT>(file.size()), false, &img);
  if (FAILED(hr)) return hr;
  if (srcInfo) {
    *srcInfo = D3DXIMAGE_INFO{img.width, img.height, 1, img.levels, img.format, D3DRTYPE_TEXTURE, img.fileFormat};
  }
  auto side = [](UINT asked, UINT own) -> UINT {
    if (asked == 0 || asked == D3DX_DEFAULT_NONPOW2 || asked == D3DX_FROM_FILE) return own;
    if (asked == D3DX_DEFAULT) {
      UINT p = 1;
      while (p < own) p *= 2;
      return p;
    }
    return asked;
  };
  const UINT w = side(width, img.width), h = side(height, img.height);
  if (img.fileFormat == D3DXIFF_DDS) {
    // DDS levels are taken as stored; only the file's own size is offered.
    if (w != img.width || h != img.height) return D3DERR_NOTAVAILABLE;
    return D3DXCreateTextureFromFileInMemory(device, file.data(), static_cast<UINT>(file.size()), texture);
  }
  UINT full = 1;
  for (UINT a = w, b = h; a > 1 || b > 1; a = std::max(1u, a / 2), b = std::max(1u, b / 2)) ++full;
  const UINT levels = (mipLevels == 0 || mipLevels == D3DX_DEFAULT) ? full
                      : mipLevels == D3DX_FROM_FILE                 ? 1u
                                                                     : std::min(mipLevels, full);
  D3DFORMAT fmt = (format == D3DFMT_UNKNOWN || format == D3DFMT_FROM_FILE) ? img.format : format;
  IDirect3DTexture9* tex = nullptr;
  hr = device->CreateTexture(w, h, levels, usage, fmt, pool, &tex, nullptr);
  if (FAILED(hr) && fmt != D3DFMT_A8R8G8B8) {
    fmt = D3DFMT_A8R8G8B8;
    hr = device->CreateTexture(w, h, levels, usage, fmt, pool, &tex, nullptr);
  }
  if (FAILED(hr)) return hr;
  const UINT pitch = img.width * 4;
  std::vector<BYTE> argb(static_cast<size_t>(pitch) * img.height);
  const RECT whole{0, 0, static_cast<LONG>(img.width), static_cast<LONG>(img.height)};
  Encode(img.pixels, argb.data(), pitch, D3DFMT_A8R8G8B8, whole);
  // Without a filter the picture keeps its pixels at the top left.
  const bool unfiltered = (filter & 0xFFu) == D3DX_FILTER_NONE;
  const RECT clipped{0, 0, static_cast<LONG>(std::min(w, img.width)), static_cast<LONG>(std::min(h, img.height))};
  IDirect3DSurface9* level = nullptr;
  tex->GetSurfaceLevel(0, &level);
  hr = D3DXLoadSurfaceFromMemory(level, nullptr, unfiltered ? &clipped : nullptr, argb.data(), D3DFMT_A8R8G8B8,
                                 pitch, nullptr, unfiltered ? &clipped : &whole, unfiltered ? D3DX_FILTER_POINT : filter,
                                 colorKey);
  for (UINT i = 1; SUCCEEDED(hr) && i < levels; ++i) {
    IDirect3DSurface9* next = nullptr;
    tex->GetSurfaceLevel(i, &next);
    hr = D3DXLoadSurfaceFromSurface(next, nullptr, nullptr, level, nullptr, nullptr,
                                    (mipFilter & 0xFFu) == D3DX_FILTER_NONE ? D3DX_FILTER_POINT : D3DX_FILTER_BOX, 0);
    level->Release();
    level = next;
  }
  level->Release();
  if (FAILED(hr)) {
    tex->Release();
    return hr;
  }
  *texture = tex;
  return D3D_OK;
}

HRESULT D3DXLoadSurfaceFromMemory(IDirect3DSurface9* dest, const PALETTEENTRY*, const RECT* destRect,
                                  const void* srcMemory, D3DFORMAT srcFormat, UINT srcPitch, const PALETTEENTRY*,
                                  const RECT* srcRect, DWORD filter, D3DCOLOR colorKey) {
  if (!dest || !srcMemory || !srcRect || srcRect->left < 0 || srcRect->top < 0 || srcRect->left >= srcRect->right ||
      srcRect->top >= srcRect->bottom) {
    return D3DERR_INVALIDCALL;
  }
  // The caller's memory holds rows up to srcRect's bottom at srcPitch.
  if (fi::IsDxt(srcFormat) ? srcPitch < ((static_cast<UINT>(srcRect->right) + 3) / 4) * fi::BlockBytes(srcFormat)
                           : srcPitch < static_cast<UINT>(srcRect->right) * fi::BytesPerPixel(srcFormat)) {
    return D3DERR_INVALIDCALL;
  }
  Pixels px;
  if (!Decode(static_cast<const BYTE*>(srcMemory), srcPitch, srcFormat, *srcRect, &px)) return D3DERR_INVALIDCALL;
  ApplyColorKey(&px, colorKey);
  return LoadInto(dest, destRect, px, filter);
}

HRESULT D3DXLoadSurfaceFromSurface(IDirect3DSurface9* dest, const PALETTEENTRY*, const RECT* destRect,
                                   IDirect3DSurface9* src, const PALETTEENTRY*, const RECT* srcRect, DWORD filter,
                                   D3DCOLOR colorKey) {
  if (!dest || !src) return D3DERR_INVALIDCALL;
  fi::SurfaceMemory sm;
  if (!fi::GetSurfaceMemory(src, &sm)) return D3DERR_INVALIDCALL;
  RECT sr = srcRect ? *srcRect : RECT{0, 0, static_cast<LONG>(sm.width), static_cast<LONG>(sm.height)};
  if (!ValidRect(sr, sm.width, sm.height)) return D3DERR_INVALIDCALL;
  Pixels px;
  if (!Decode(sm.bits, sm.pitch, sm.format, sr, &px)) return D3DERR_INVALIDCALL;
  ApplyColorKey(&px, colorKey);
  return LoadInto(dest, destRect, px, filter);
}

HRESULT D3DXSaveSurfaceToFileA(const char* destFile, D3DXIMAGE_FILEFORMAT destFormat, IDirect3DSurface9* src,
                               const PALETTEENTRY*, const RECT* srcRect) {
  if (!destFile || !src || (destFormat != D3DXIFF_BMP && destFormat != D3DXIFF_PNG)) return D3DERR_INVALIDCALL;
  fi::SurfaceMemory sm;
  if (!fi::GetSurfaceMemory(src, &sm)) return D3DERR_INVALIDCALL;
  RECT sr = srcRect ? *srcRect : RECT{0, 0, static_cast<LONG>(sm.width), static_cast<LONG>(sm.height)};
  if (!ValidRect(sr, sm.width, sm.height)) return D3DERR_INVALIDCALL;
  Pixels px;
  if (!Decode(sm.bits, sm.pitch, sm.format, sr, &px)) return D3DERR_INVALIDCALL;
  const bool alpha = sm.format == D3DFMT_A8R8G8B8 || sm.format == D3DFMT_A8B8G8R8 || sm.format == D3DFMT_A1R5G5B5 ||
                     sm.format == D3DFMT_A4R4G4B4 || sm.format == D3DFMT_A8 || sm.format == D3DFMT_A8L8 ||
                     sm.format == D3DFMT_A32B32G32R32F || fi::BlockBytes(sm.format) == 16 ||
                     sm.format == D3DFMT_DXT1;
  const std::string path = platform::MapPath(destFile);
  const UINT w = px.width, h = px.height;
  auto byte = [](float f) { return static_cast<BYTE>(std::lround(std::clamp(f, 0.0f, 1.0f) * 255.0f)); };
  if (destFormat == D3DXIFF_PNG) {
    std::vector<BYTE> rgba(static_cast<size_t>(w) * h * 4);
    for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = byte(px.rgba[i]);
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = w;
    png.height = h;
    png.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    std::vector<BYTE> packed;
    const BYTE* rows = rgba.data();
    if (!alpha) {
      packed.resize(static_cast<size_t>(w) * h * 3);
      for (size_t i = 0, n = static_cast<size_t>(w) * h; i < n; ++i) std::memcpy(&packed[i * 3], &rgba[i * 4], 3);
      rows = packed.data();
    }
    if (!png_image_write_to_file(&png, path.c_str(), 0, rows, 0, nullptr)) return E_FAIL;
    return D3D_OK;
  }
  const UINT bpp = alpha ? 4 : 3;
  const size_t stride = (static_cast<size_t>(w) * bpp + 3) & ~size_t{3};
  const size_t imageSize = stride * h;
  std::vector<BYTE> file(54 + imageSize, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<BYTE>(v >> (8 * i));
  };
  auto put16 = [&](size_t at, uint16_t v) {
    file[at] = static_cast<BYTE>(v);
    file[at + 1] = static_cast<BYTE>(v >> 8);
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, static_cast<uint32_t>(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, w);
  put32(22, h);
  put16(26, 1);
  put16(28, static_cast<uint16_t>(bpp * 8));
  put32(34, static_cast<uint32_t>(imageSize));
  put32(38, 2835);  // 72 dpi
  put32(42, 2835);
  for (UINT y = 0; y < h; ++y) {
    BYTE* row = file.data() + 54 + stride * (h - 1 - y);  // bottom-up
    for (UINT x = 0; x < w; ++x) {
      const float* p = px.At(x, y);
      BYTE* d = row + static_cast<size_t>(x) * bpp;
      d[0] = byte(p[2]);
      d[1] = byte(p[1]);
      d[2] = byte(p[0]);
      if (alpha) d[3] = byte(p[3]);
    }
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return E_FAIL;
  bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
  ok = std::fclose(f) == 0 && ok;
  return ok ? D3D_OK : E_FAIL;
}
