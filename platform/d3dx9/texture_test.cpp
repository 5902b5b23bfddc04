// Textures from DDS, PNG and BMP files in memory; surface loading with
// conversion, DXT decoding and filtering; saving BMP and PNG.
#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/d3d9/testing.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/d3dx9/testing.h"
#include "platform/win32/test_support.h"

namespace pt = platform::testing;

namespace {

void Put32(std::vector<BYTE>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<BYTE>(v >> (8 * i));
}

// A DDS file: the header written field by field, then the data.
std::vector<BYTE> Dds(UINT width, UINT height, UINT mips, DWORD fourCC, UINT bitCount, const uint32_t masks[4],
                      const std::vector<BYTE>& data) {
  std::vector<BYTE> f(128, 0);
  std::memcpy(f.data(), "DDS ", 4);
  Put32(f, 4, 124);
  Put32(f, 8, 0x1007 | (mips > 1 ? 0x20000 : 0));
  Put32(f, 12, height);
  Put32(f, 16, width);
  Put32(f, 28, mips);
  Put32(f, 76, 32);
  if (fourCC) {
    Put32(f, 80, 0x4);
    Put32(f, 84, fourCC);
  } else {
    Put32(f, 80, 0x40 | (masks[3] ? 0x1 : 0));
    Put32(f, 88, bitCount);
    for (int i = 0; i < 4; ++i) Put32(f, 92 + 4 * i, masks[i]);
  }
  Put32(f, 108, 0x1000);
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

class TextureTest : public pt::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    pt::ResetD3D9();
    d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp{};
    pp.Windowed = TRUE;
    pp.BackBufferWidth = 64;
    pp.BackBufferHeight = 64;
    ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &pp, &device_), D3D_OK);
  }
  void TearDown() override {
    for (IUnknown* o : owned_) o->Release();
    if (device_) {
      EXPECT_EQ(device_->Release(), 0u);
    }
    d3d_->Release();
    EXPECT_EQ(pt::LiveD3D9Objects(), 0);
    pt::ResetD3D9();
    PlatformTest::TearDown();
  }

  IDirect3DTexture9* Load(const std::vector<BYTE>& file, HRESULT expected = D3D_OK) {
    IDirect3DTexture9* tex = nullptr;
    EXPECT_EQ(D3DXCreateTextureFromFileInMemory(device_, file.data(), static_cast<UINT>(file.size()), &tex), expected);
    if (tex) owned_.push_back(tex);
    return tex;
  }
  IDirect3DSurface9* Plain(UINT w, UINT h, D3DFORMAT format = D3DFMT_A8R8G8B8) {
    IDirect3DSurface9* s = nullptr;
    EXPECT_EQ(device_->CreateOffscreenPlainSurface(w, h, format, D3DPOOL_SYSTEMMEM, &s, nullptr), D3D_OK);
    owned_.push_back(s);
    return s;
  }
  IDirect3DSurface9* Level(IDirect3DTexture9* tex, UINT level = 0) {
    IDirect3DSurface9* s = nullptr;
    EXPECT_EQ(tex->GetSurfaceLevel(level, &s), D3D_OK);
    owned_.push_back(s);
    return s;
  }
  // The pixels of a surface as A8R8G8B8 words, row by row.
  std::vector<uint32_t> Read(IDirect3DSurface9* s) {
    D3DSURFACE_DESC d;
    s->GetDesc(&d);
    IDirect3DSurface9* copy = Plain(d.Width, d.Height);
    EXPECT_EQ(D3DXLoadSurfaceFromSurface(copy, nullptr, nullptr, s, nullptr, nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
    D3DLOCKED_RECT lr;
    EXPECT_EQ(copy->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    std::vector<uint32_t> out;
    for (UINT y = 0; y < d.Height; ++y) {
      for (UINT x = 0; x < d.Width; ++x) {
        uint32_t v;
        std::memcpy(&v, static_cast<BYTE*>(lr.pBits) + y * lr.Pitch + x * 4, 4);
        out.push_back(v);
      }
    }
    copy->UnlockRect();
    return out;
  }
  void Write(IDirect3DSurface9* s, const std::vector<uint32_t>& pixels) {
    D3DSURFACE_DESC d;
    s->GetDesc(&d);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(s->LockRect(&lr, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < d.Height; ++y) std::memcpy(static_cast<BYTE*>(lr.pBits) + y * lr.Pitch, &pixels[y * d.Width], d.Width * 4);
    s->UnlockRect();
  }

  IDirect3D9* d3d_ = nullptr;
  IDirect3DDevice9* device_ = nullptr;
  std::vector<IUnknown*> owned_;
};

// One DXT1 block: red (0xF800) and blue (0x001F), pixels 0 to 3 of the top
// row use indices 0, 1, 2, 3; the rest index 0.
std::vector<BYTE> Dxt1Block(uint16_t c0, uint16_t c1) {
  return {static_cast<BYTE>(c0), static_cast<BYTE>(c0 >> 8), static_cast<BYTE>(c1), static_cast<BYTE>(c1 >> 8),
          0xE4, 0x00, 0x00, 0x00};
}

TEST_F(TextureTest, DxtBlocksDecodeAsWorkedOutByHand) {
  std::vector<BYTE> blocks = Dxt1Block(0xF800, 0x001F);  // four-colour mode
  std::vector<BYTE> three = Dxt1Block(0x001F, 0xF800);   // c0 <= c1: three colours and transparent
  blocks.insert(blocks.end(), three.begin(), three.end());
  IDirect3DTexture9* tex = Load(Dds(8, 4, 1, D3DFMT_DXT1, 0, nullptr, blocks));
  ASSERT_NE(tex, nullptr);
  D3DSURFACE_DESC desc;
  tex->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Format, D3DFMT_DXT1) << "stays compressed";
  EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
  std::vector<uint32_t> px = Read(Level(tex));
  // Two thirds red and one third blue: 255·2/3 = 170, 255/3 = 85.
  EXPECT_EQ(px[0], 0xFFFF0000u);
  EXPECT_EQ(px[1], 0xFF0000FFu);
  EXPECT_EQ(px[2], 0xFFAA0055u);
  EXPECT_EQ(px[3], 0xFF5500AAu);
  EXPECT_EQ(px[8], 0xFFFF0000u) << "second row, index 0";
  EXPECT_EQ(px[4], 0xFF0000FFu);
  EXPECT_EQ(px[6], 0xFF800080u) << "half way";
  EXPECT_EQ(px[7], 0x00000000u) << "transparent black";

  // DXT5: alphas 255 and 0 interpolate in sevenths; DXT3 keeps 4-bit alphas.
  std::vector<BYTE> dxt5 = {255, 0, 0x0A, 0, 0, 0, 0, 0};  // pixel 0 index 2, pixel 1 index 1
  std::vector<BYTE> colour = Dxt1Block(0xFFFF, 0x0000);
  colour[4] = 0;
  dxt5.insert(dxt5.end(), colour.begin(), colour.end());
  px = Read(Level(Load(Dds(4, 4, 1, D3DFMT_DXT5, 0, nullptr, dxt5))));
  EXPECT_EQ(px[0], 0xDBFFFFFFu) << "(6·255 + 0) / 7 = 218.6";
  EXPECT_EQ(px[1], 0x00FFFFFFu);
  EXPECT_EQ(px[2], 0xFFFFFFFFu);
  std::vector<BYTE> dxt3 = {0x08, 0xF0, 0, 0, 0, 0, 0, 0};
  dxt3.insert(dxt3.end(), colour.begin(), colour.end());
  px = Read(Level(Load(Dds(4, 4, 1, D3DFMT_DXT3, 0, nullptr, dxt3))));
  EXPECT_EQ(px[0] >> 24, 0x88u) << "8/15";
  EXPECT_EQ(px[1] >> 24, 0x00u);
  EXPECT_EQ(px[3] >> 24, 0xFFu);
}

TEST_F(TextureTest, DdsWithoutDxtSupportIsDecodedIntoPlainPixels) {
  pt::AdapterProfile p = pt::DefaultAdapterProfile();
  p.dxtFormats = false;
  pt::SetAdapterProfile(p);
  IDirect3DTexture9* tex = Load(Dds(4, 4, 1, D3DFMT_DXT1, 0, nullptr, Dxt1Block(0xF800, 0x001F)));
  ASSERT_NE(tex, nullptr);
  D3DSURFACE_DESC desc;
  tex->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
  EXPECT_EQ(Read(Level(tex))[2], 0xFFAA0055u);
}

TEST_F(TextureTest, UncompressedDdsKeepsItsLevelsAndBadFilesAreRefused) {
  const uint32_t argb[4] = {0xFF0000, 0xFF00, 0xFF, 0xFF000000u};
  std::vector<BYTE> data(2 * 2 * 4 + 4, 0);
  Put32(data, 0, 0x11223344);
  Put32(data, 16, 0x80FF0000u);  // level 1, 1 × 1
  IDirect3DTexture9* tex = Load(Dds(2, 2, 2, 0, 32, argb, data));
  ASSERT_NE(tex, nullptr);
  EXPECT_EQ(tex->GetLevelCount(), 2u);
  EXPECT_EQ(Read(Level(tex))[0], 0x11223344u);
  EXPECT_EQ(Read(Level(tex, 1))[0], 0x80FF0000u);
  const uint32_t rgb565[4] = {0xF800, 0x7E0, 0x1F, 0};
  std::vector<BYTE> one = {0x1F, 0x00};
  tex = Load(Dds(1, 1, 1, 0, 16, rgb565, one));
  ASSERT_NE(tex, nullptr);
  EXPECT_EQ(Read(Level(tex))[0], 0xFF0000FFu);

  std::vector<BYTE> truncated = Dds(2, 2, 2, 0, 32, argb, std::vector<BYTE>(19, 0));
  Load(truncated, D3DXERR_INVALIDDATA);
  Load(Dds(0, 2, 1, 0, 32, argb, data), D3DXERR_INVALIDDATA);
  Load(Dds(70000, 70000, 1, D3DFMT_DXT1, 0, nullptr, {}), D3DXERR_INVALIDDATA);
  Load(Dds(8192, 4, 1, D3DFMT_DXT1, 0, nullptr, std::vector<BYTE>(8192 * 2, 0)), D3DERR_INVALIDCALL);
  std::vector<BYTE> header(Dds(4, 4, 1, D3DFMT_DXT1, 0, nullptr, {}));
  header.resize(100);
  Load(header, D3DXERR_INVALIDDATA);
  Load({'J', 'U', 'N', 'K', 0, 0}, D3DXERR_INVALIDDATA);
  IDirect3DTexture9* none = nullptr;
  EXPECT_EQ(D3DXCreateTextureFromFileInMemory(device_, nullptr, 0, &none), D3DERR_INVALIDCALL);
}

std::vector<BYTE> Png(UINT w, UINT h, bool alpha, const std::vector<BYTE>& pixels) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = w;
  png.height = h;
  png.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  EXPECT_TRUE(png_image_write_to_memory(&png, nullptr, &size, 0, pixels.data(), 0, nullptr));
  std::vector<BYTE> out(size);
  EXPECT_TRUE(png_image_write_to_memory(&png, out.data(), &size, 0, pixels.data(), 0, nullptr));
  out.resize(size);
  return out;
}

TEST_F(TextureTest, PngAndBmpBecomeTexturesWithAFullChain) {
  // 2 × 2 RGBA: red, green / blue, half-transparent white.
  std::vector<BYTE> rgba = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 128};
  IDirect3DTexture9* tex = Load(Png(2, 2, true, rgba));
  ASSERT_NE(tex, nullptr);
  D3DSURFACE_DESC desc;
  tex->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
  EXPECT_EQ(tex->GetLevelCount(), 2u);
  EXPECT_EQ(Read(Level(tex)), std::vector<uint32_t>({0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0x80FFFFFFu}));
  // The 1 × 1 level is the average: r (255+255)/4, g and b the same, a (3·255+128)/4.
  EXPECT_EQ(Read(Level(tex, 1))[0], 0xDF808080u);
  tex = Load(Png(1, 1, false, {10, 20, 30}));
  ASSERT_NE(tex, nullptr);
  tex->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
  EXPECT_EQ(Read(Level(tex))[0], 0xFF0A141Eu);

  // A 3 × 2 24-bit bitmap, bottom row first, rows padded to 12 bytes.
  std::vector<BYTE> bmp(54 + 24, 0);
  bmp[0] = 'B';
  bmp[1] = 'M';
  Put32(bmp, 2, static_cast<uint32_t>(bmp.size()));
  Put32(bmp, 10, 54);
  Put32(bmp, 14, 40);
  Put32(bmp, 18, 3);
  Put32(bmp, 22, 2);
  bmp[26] = 1;
  bmp[28] = 24;
  const BYTE bottom[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};  // B, G, R
  const BYTE top[] = {10, 11, 12, 13, 14, 15, 16, 17, 18};
  std::memcpy(&bmp[54], bottom, 9);
  std::memcpy(&bmp[66], top, 9);
  tex = Load(bmp);
  ASSERT_NE(tex, nullptr);
  std::vector<uint32_t> px = Read(Level(tex));
  EXPECT_EQ(px[0], 0xFF0C0B0Au) << "top row from the second stored row";
  EXPECT_EQ(px[5], 0xFF090807u);
  bmp.resize(54 + 20);  // one row short of its padding
  Put32(bmp, 2, static_cast<uint32_t>(bmp.size()));
  Load(bmp, D3DXERR_INVALIDDATA);
  std::vector<BYTE> cut = Png(2, 2, true, rgba);
  cut.resize(30);  // inside the header chunk
  Load(cut, D3DXERR_INVALIDDATA);
}

uint32_t Crc32(const BYTE* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
  }
  return ~c;
}

TEST_F(TextureTest, PngHeaderClaimingMorePixelsThanItsDataCanHoldIsRefused) {
  auto sized = [](UINT w, UINT h) {
    std::vector<BYTE> png = Png(1, 1, false, {1, 2, 3});
    // IHDR data starts at 16: width and height big-endian, then the chunk's CRC at 29.
    for (int i = 0; i < 4; ++i) {
      png[16 + i] = static_cast<BYTE>(w >> (24 - 8 * i));
      png[20 + i] = static_cast<BYTE>(h >> (24 - 8 * i));
    }
    const uint32_t crc = Crc32(&png[12], 17);
    for (int i = 0; i < 4; ++i) png[29 + i] = static_cast<BYTE>(crc >> (24 - 8 * i));
    return png;
  };
  D3DXIMAGE_INFO info{};
  std::vector<BYTE> small = sized(300, 200);  // within what ~70 bytes of deflate can hold
  ASSERT_EQ(D3DXGetImageInfoFromFileInMemory(small.data(), static_cast<UINT>(small.size()), &info), D3D_OK);
  EXPECT_EQ(info.Width, 300u);
  std::vector<BYTE> huge = sized(16000, 16000);
  EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(huge.data(), static_cast<UINT>(huge.size()), &info), D3DXERR_INVALIDDATA);
  Load(huge, D3DXERR_INVALIDDATA);
}

TEST_F(TextureTest, LoadSurfaceScalesRectanglesWithPointAndLinearFilters) {
  IDirect3DSurface9* src = Plain(3, 1);
  Write(src, {0xFF000000, 0xFFFFFFFF, 0xFF00FF00});
  IDirect3DSurface9* dst = Plain(6, 2);
  Write(dst, std::vector<uint32_t>(12, 0x12345678));
  RECT srcRect{0, 0, 2, 1}, dstRect{1, 1, 5, 2};
  ASSERT_EQ(D3DXLoadSurfaceFromSurface(dst, nullptr, &dstRect, src, nullptr, &srcRect, D3DX_FILTER_LINEAR, 0), D3D_OK);
  std::vector<uint32_t> px = Read(dst);
  // Destination centres fall on source x −0.25, 0.25, 0.75, 1.25.
  EXPECT_EQ(px[7], 0xFF000000u);
  EXPECT_EQ(px[8], 0xFF404040u);
  EXPECT_EQ(px[9], 0xFFBFBFBFu);
  EXPECT_EQ(px[10], 0xFFFFFFFFu);
  EXPECT_EQ(px[6], 0x12345678u) << "outside the rectangle";
  EXPECT_EQ(px[11], 0x12345678u);
  EXPECT_EQ(px[2], 0x12345678u);
  ASSERT_EQ(D3DXLoadSurfaceFromSurface(dst, nullptr, &dstRect, src, nullptr, &srcRect, D3DX_FILTER_POINT, 0), D3D_OK);
  px = Read(dst);
  EXPECT_EQ(px[8], 0xFF000000u);
  EXPECT_EQ(px[9], 0xFFFFFFFFu);

  // Format conversion with a colour key.
  IDirect3DSurface9* small = Plain(3, 1, D3DFMT_R5G6B5);
  ASSERT_EQ(D3DXLoadSurfaceFromSurface(small, nullptr, nullptr, src, nullptr, nullptr, D3DX_FILTER_NONE, 0xFFFFFFFF),
            D3D_OK);
  IDirect3DSurface9* back = Plain(3, 1);
  ASSERT_EQ(D3DXLoadSurfaceFromSurface(back, nullptr, nullptr, small, nullptr, nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
  EXPECT_EQ(Read(back), std::vector<uint32_t>({0xFF000000u, 0xFF000000u, 0xFF00FF00u}))
      << "the keyed white became transparent black, which 5-6-5 shows opaque";

  RECT outside{2, 0, 4, 1};
  EXPECT_EQ(D3DXLoadSurfaceFromSurface(dst, nullptr, nullptr, src, nullptr, &outside, D3DX_FILTER_POINT, 0),
            D3DERR_INVALIDCALL);
  RECT empty{1, 0, 1, 1};
  EXPECT_EQ(D3DXLoadSurfaceFromSurface(dst, nullptr, &empty, src, nullptr, nullptr, D3DX_FILTER_POINT, 0),
            D3DERR_INVALIDCALL);
}

TEST_F(TextureTest, LoadSurfaceReadsRenderTargetsAndDxtScratchSurfaces) {
  IDirect3DSurface9* rt = nullptr;
  ASSERT_EQ(device_->CreateRenderTarget(4, 4, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &rt, nullptr), D3D_OK);
  owned_.push_back(rt);
  device_->SetRenderTarget(0, rt);
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF204060, 1.0f, 0);
  IDirect3DSurface9* rtBack = nullptr;
  device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &rtBack);
  device_->SetRenderTarget(0, rtBack);
  rtBack->Release();
  EXPECT_EQ(Read(rt)[15], 0xFF204060u);

  // The engine's path without DXT support: blocks into a scratch surface,
  // then converted.
  IDirect3DSurface9* scratch = nullptr;
  ASSERT_EQ(device_->CreateOffscreenPlainSurface(4, 4, D3DFMT_DXT1, D3DPOOL_SCRATCH, &scratch, nullptr), D3D_OK);
  owned_.push_back(scratch);
  D3DLOCKED_RECT lr;
  ASSERT_EQ(scratch->LockRect(&lr, nullptr, 0), D3D_OK);
  std::vector<BYTE> block = Dxt1Block(0xF800, 0x001F);
  std::memcpy(lr.pBits, block.data(), 8);
  scratch->UnlockRect();
  IDirect3DTexture9* tex = nullptr;
  ASSERT_EQ(D3DXCreateTexture(device_, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex), D3D_OK);
  owned_.push_back(tex);
  ASSERT_EQ(D3DXLoadSurfaceFromSurface(Level(tex), nullptr, nullptr, scratch, nullptr, nullptr, D3DX_DEFAULT, 0),
            D3D_OK);
  EXPECT_EQ(Read(Level(tex))[3], 0xFF5500AAu);
}

TEST_F(TextureTest, CreateTextureFollowsTheDevice) {
  IDirect3DTexture9* tex = nullptr;
  ASSERT_EQ(D3DXCreateTexture(device_, 256, 64, D3DX_DEFAULT, 0, D3DFMT_DXT5, D3DPOOL_MANAGED, &tex), D3D_OK);
  EXPECT_EQ(tex->GetLevelCount(), 9u);
  tex->Release();
  pt::AdapterProfile p = pt::DefaultAdapterProfile();
  p.dxtFormats = false;
  pt::SetAdapterProfile(p);
  ASSERT_EQ(D3DXCreateTexture(device_, 16, 16, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &tex), D3D_OK);
  D3DSURFACE_DESC desc;
  tex->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8) << "the closest format offered";
  tex->Release();
  EXPECT_EQ(D3DXCreateTexture(device_, 4097, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex), D3DERR_INVALIDCALL);
  ASSERT_EQ(D3DXCreateTexture(device_, 100, 30, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &tex),
            D3D_OK);
  tex->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Width * 1000 + desc.Height, 100u * 1000 + 30u) << "conditional non-power-of-two sizes stay";
  tex->Release();
}

TEST_F(TextureTest, SavedBitmapsAndPngsReadBack) {
  IDirect3DSurface9* s = Plain(3, 2, D3DFMT_X8R8G8B8);
  Write(s, {0xFF010203, 0xFF040506, 0xFF070809, 0xFF0A0B0C, 0xFF0D0E0F, 0xFF101112});
  ASSERT_EQ(D3DXSaveSurfaceToFileA("shot.bmp", D3DXIFF_BMP, s, nullptr, nullptr), D3D_OK);
  std::string bmp = pt::ReadText(work_ + "/shot.bmp");
  ASSERT_EQ(bmp.size(), 54u + 2 * 12);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  EXPECT_EQ(static_cast<BYTE>(bmp[28]), 24) << "no alpha: 24 bits";
  // Bottom row first, blue-green-red.
  EXPECT_EQ(bmp.substr(54, 3), std::string("\x0C\x0B\x0A", 3));
  EXPECT_EQ(bmp.substr(66, 3), std::string("\x03\x02\x01", 3));

  // What was saved loads back the same.
  std::vector<BYTE> bytes(bmp.begin(), bmp.end());
  IDirect3DTexture9* tex = Load(bytes);
  ASSERT_NE(tex, nullptr);
  EXPECT_EQ(Read(Level(tex)), Read(s));

  IDirect3DSurface9* a = Plain(2, 1);
  Write(a, {0x80FF0000, 0x00000000});
  RECT one{0, 0, 1, 1};
  ASSERT_EQ(D3DXSaveSurfaceToFileA("a.png", D3DXIFF_PNG, a, nullptr, &one), D3D_OK);
  std::string png = pt::ReadText(work_ + "/a.png");
  tex = Load(std::vector<BYTE>(png.begin(), png.end()));
  ASSERT_NE(tex, nullptr);
  EXPECT_EQ(Read(Level(tex)), std::vector<uint32_t>({0x80FF0000u}));

  EXPECT_EQ(D3DXSaveSurfaceToFileA("x.jpg", D3DXIFF_JPG, a, nullptr, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXSaveSurfaceToFileA("no such folder\\x.bmp", D3DXIFF_BMP, a, nullptr, nullptr), E_FAIL);
}

TEST_F(TextureTest, TexturesFromFilesTakeTheAskedSizeLevelsAndFilter) {
  // 3 × 2: a red row over a green one.
  std::vector<BYTE> rgb = {255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0};
  const std::vector<BYTE> png = Png(3, 2, false, rgb);
  {
    std::FILE* f = std::fopen((work_ + "/pic.png").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(png.data(), 1, png.size(), f);
    std::fclose(f);
  }
  IDirect3DTexture9* tex = nullptr;
  D3DXIMAGE_INFO info{};
  // Rounded up to 4 × 2 without a filter: the picture keeps its pixels at
  // the top left, the rest stays black (the file's format has no alpha).
  ASSERT_EQ(D3DXCreateTextureFromFileExA(device_, "pic.png", D3DX_DEFAULT, D3DX_DEFAULT, 1, 0, D3DFMT_UNKNOWN,
                                         D3DPOOL_MANAGED, D3DX_FILTER_NONE, D3DX_FILTER_NONE, 0, &info, nullptr, &tex),
            D3D_OK);
  EXPECT_EQ(info.Width, 3u);
  EXPECT_EQ(info.ImageFileFormat, D3DXIFF_PNG);
  EXPECT_EQ(tex->GetLevelCount(), 1u);
  EXPECT_EQ(Read(Level(tex)), std::vector<uint32_t>({0xFFFF0000u, 0xFFFF0000u, 0xFFFF0000u, 0xFF000000u, 0xFF00FF00u,
                                                     0xFF00FF00u, 0xFF00FF00u, 0xFF000000u}));
  tex->Release();
  // The file's own size with the whole chain.
  ASSERT_EQ(D3DXCreateTextureFromFileExA(device_, "PIC.png", D3DX_DEFAULT_NONPOW2, 0, 0, 0, D3DFMT_A8R8G8B8,
                                         D3DPOOL_MANAGED, D3DX_FILTER_POINT, D3DX_FILTER_BOX, 0, nullptr, nullptr,
                                         &tex),
            D3D_OK);
  D3DSURFACE_DESC desc{};
  tex->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Width, 3u);
  EXPECT_EQ(desc.Height, 2u);
  EXPECT_EQ(tex->GetLevelCount(), 2u);
  tex->Release();
  // With a filter the picture is stretched over the rounded-up size.
  ASSERT_EQ(D3DXCreateTextureFromFileExA(device_, "pic.png", D3DX_DEFAULT, D3DX_DEFAULT, 1, 0, D3DFMT_UNKNOWN,
                                         D3DPOOL_MANAGED, D3DX_FILTER_POINT, D3DX_FILTER_NONE, 0, nullptr, nullptr,
                                         &tex),
            D3D_OK);
  EXPECT_EQ(Read(Level(tex))[3], 0xFFFF0000u);
  tex->Release();

  EXPECT_EQ(D3DXCreateTextureFromFileExA(device_, "none.png", 0, 0, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                         D3DX_FILTER_NONE, D3DX_FILTER_NONE, 0, nullptr, nullptr, &tex),
            D3DXERR_INVALIDDATA);
  EXPECT_EQ(tex, nullptr);
  {
    std::FILE* f = std::fopen((work_ + "/junk.png").c_str(), "wb");
    std::fputs("\x89PNG junk", f);
    std::fclose(f);
  }
  EXPECT_TRUE(FAILED(D3DXCreateTextureFromFileExA(device_, "junk.png", 0, 0, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                                  D3DX_FILTER_NONE, D3DX_FILTER_NONE, 0, nullptr, nullptr, &tex)));
  EXPECT_EQ(tex, nullptr);
}

}  // namespace
