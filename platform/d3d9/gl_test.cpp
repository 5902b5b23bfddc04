// Draws executed on OpenGL (llvmpipe headless), read back through the
// front buffer as the engine's screenshots read them.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/testing.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"

namespace pt = platform::testing;

namespace {

struct ScreenVertex {
  float x, y, z, rhw;
  D3DCOLOR colour;
  float u, v;
};
constexpr DWORD kScreenFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

struct Vertex {
  float x, y, z;
  D3DCOLOR colour;
};
constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;

class GlDrawTest : public pt::PlatformTest {
 protected:
  static constexpr UINT kWidth = 16, kHeight = 8;
  void SetUp() override {
    PlatformTest::SetUp();
    pt::ResetD3D9();
    pt::ExecuteDraws(true);
    pt::AdapterProfile p = pt::DefaultAdapterProfile();
    p.modes.push_back({kWidth, kHeight, 60, D3DFMT_X8R8G8B8});
    pt::SetAdapterProfile(p);
    d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d_, nullptr);
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = kWidth;
    pp.BackBufferHeight = kHeight;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &pp, &device_), D3D_OK);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  }
  void TearDown() override {
    if (device_) device_->Release();
    if (d3d_) d3d_->Release();
    EXPECT_EQ(pt::LiveD3D9Objects(), 0);
    pt::ResetD3D9();
    PlatformTest::TearDown();
  }
  // Presents and reads the front buffer, rows of A8R8G8B8 values.
  std::vector<uint32_t> Screen() {
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    IDirect3DSurface9* copy = nullptr;
    EXPECT_EQ(device_->CreateOffscreenPlainSurface(kWidth, kHeight, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &copy, nullptr),
              D3D_OK);
    EXPECT_EQ(device_->GetFrontBufferData(0, copy), D3D_OK);
    D3DLOCKED_RECT lr;
    EXPECT_EQ(copy->LockRect(&lr, nullptr, 0), D3D_OK);
    std::vector<uint32_t> out(kWidth * kHeight);
    for (UINT y = 0; y < kHeight; ++y) std::memcpy(&out[y * kWidth], static_cast<BYTE*>(lr.pBits) + y * lr.Pitch, kWidth * 4);
    copy->UnlockRect();
    copy->Release();
    return out;
  }
  IDirect3D9* d3d_ = nullptr;
  IDirect3DDevice9* device_ = nullptr;
};

int LiveThreads() {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator("/proc/self/task")) n += e.is_directory() ? 1 : 0;
  return n;
}

// The driver's threads (its shader cache writer among them) live as long as
// the display: the last device takes them with it, so none is left running
// when the program exits. A device made after that draws again.
TEST_F(GlDrawTest, TheLastDeviceTakesTheDriversThreadsWithIt) {
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000080u, 1.0f, 0), D3D_OK);
  EXPECT_EQ(Screen()[0], 0xFF000080u);
  device_->Release();
  device_ = nullptr;
  for (int i = 0; i < 100 && LiveThreads() > 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(LiveThreads(), 1);

  D3DPRESENT_PARAMETERS pp{};
  pp.BackBufferWidth = kWidth;
  pp.BackBufferHeight = kHeight;
  pp.BackBufferFormat = D3DFMT_X8R8G8B8;
  pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
  ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &pp, &device_), D3D_OK);
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00u, 1.0f, 0), D3D_OK);
  EXPECT_EQ(Screen()[0], 0xFF00FF00u);
}

// Direct3D puts pixel centres on whole coordinates: a screen quad from
// 1.5 to 5.5 covers pixels 2 to 5 exactly, in either axis.
TEST_F(GlDrawTest, ScreenQuadCoversPixelsByDirect3DsCentreRule) {
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000080u, 1.0f, 0), D3D_OK);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  device_->SetFVF(kScreenFvf);
  const ScreenVertex quad[4] = {{1.5f, 1.5f, 0.5f, 1.0f, 0xFF00FF00u, 0, 0},
                                {5.5f, 1.5f, 0.5f, 1.0f, 0xFF00FF00u, 1, 0},
                                {1.5f, 5.5f, 0.5f, 1.0f, 0xFF00FF00u, 0, 1},
                                {5.5f, 5.5f, 0.5f, 1.0f, 0xFF00FF00u, 1, 1}};
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex)), D3D_OK);
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  std::vector<uint32_t> s = Screen();
  for (UINT y = 0; y < kHeight; ++y) {
    for (UINT x = 0; x < kWidth; ++x) {
      bool inside = x >= 2 && x <= 5 && y >= 2 && y <= 5;
      EXPECT_EQ(s[y * kWidth + x], inside ? 0xFF00FF00u : 0xFF000080u) << x << "," << y;
    }
  }
}

// Transformed triangles: the depth test keeps the nearer one whatever the
// order, the viewport's depth range moves depth, and the default cull
// mode drops counter-clockwise triangles.
TEST_F(GlDrawTest, DepthRangeAndCullingFollowDirect3D) {
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0), D3D_OK);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  device_->SetFVF(kFvf);
  device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
  // Clockwise on screen (y up in clip space): left half near and red,
  // then the whole screen far and blue.
  auto quad = [&](float x0, float x1, float z, D3DCOLOR c, bool clockwise) {
    Vertex v[4] = {{x0, 1, z, c}, {x1, 1, z, c}, {x0, -1, z, c}, {x1, -1, z, c}};
    if (!clockwise) std::swap(v[1], v[2]);
    return device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Vertex));
  };
  ASSERT_EQ(quad(-1, 0, 0.25f, 0xFFFF0000u, true), D3D_OK);
  ASSERT_EQ(quad(-1, 1, 0.5f, 0xFF0000FFu, true), D3D_OK);
  // Counter-clockwise and nearest of all: culled.
  ASSERT_EQ(quad(-1, 1, 0.0f, 0xFFFFFFFFu, false), D3D_OK);
  // In a viewport whose depth runs from 0.6 to 1, a triangle at 0 lies
  // behind the blue one: hidden on the right half.
  D3DVIEWPORT9 vp{0, 0, kWidth, kHeight, 0.6f, 1.0f};
  ASSERT_EQ(device_->SetViewport(&vp), D3D_OK);
  ASSERT_EQ(quad(0, 1, 0.0f, 0xFF00FF00u, true), D3D_OK);
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  std::vector<uint32_t> s = Screen();
  EXPECT_EQ(s[4 * kWidth + 2], 0xFFFF0000u);
  EXPECT_EQ(s[4 * kWidth + 12], 0xFF0000FFu);
}

// Texels land where Direct3D puts them: a 2 × 2 texture stretched over a
// 4 × 4 screen quad with point filtering, in A8R8G8B8 and as a DXT1 block.
TEST_F(GlDrawTest, TexturesUploadInTheirFormats) {
  for (D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_DXT1}) {
    SCOPED_TRACE(format);
    IDirect3DTexture9* texture = nullptr;
    const UINT size = format == D3DFMT_DXT1 ? 4 : 2;
    ASSERT_EQ(device_->CreateTexture(size, size, 1, 0, format, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(texture->LockRect(0, &lr, nullptr, 0), D3D_OK);
    auto* bits = static_cast<BYTE*>(lr.pBits);
    if (format == D3DFMT_A8R8G8B8) {
      const uint32_t texels[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
      std::memcpy(bits, texels, 8);
      std::memcpy(bits + lr.Pitch, texels + 2, 8);
    } else {
      // Colour 0 red, colour 1 blue; left half index 0, right half index 1.
      const BYTE block[8] = {0x00, 0xF8, 0x1F, 0x00, 0x50, 0x50, 0x50, 0x50};
      std::memcpy(bits, block, 8);
    }
    texture->UnlockRect(0);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    device_->SetRenderState(D3DRS_ZENABLE, FALSE);
    device_->SetTexture(0, texture);
    device_->SetFVF(kScreenFvf);
    const ScreenVertex quad[4] = {{-0.5f, -0.5f, 0, 1, 0xFFFFFFFFu, 0, 0},
                                  {3.5f, -0.5f, 0, 1, 0xFFFFFFFFu, 1, 0},
                                  {-0.5f, 3.5f, 0, 1, 0xFFFFFFFFu, 0, 1},
                                  {3.5f, 3.5f, 0, 1, 0xFFFFFFFFu, 1, 1}};
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex)), D3D_OK);
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    device_->SetTexture(0, nullptr);
    std::vector<uint32_t> s = Screen();
    if (format == D3DFMT_A8R8G8B8) {
      EXPECT_EQ(s[0], 0xFFFF0000u);
      EXPECT_EQ(s[3], 0xFF00FF00u);
      EXPECT_EQ(s[3 * kWidth], 0xFF0000FFu);
      EXPECT_EQ(s[3 * kWidth + 3], 0xFFFFFFFFu);
    } else {
      EXPECT_EQ(s[kWidth], 0xFFFF0000u);
      EXPECT_EQ(s[kWidth + 3], 0xFF0000FFu);
    }
    EXPECT_EQ(s[4], 0xFF000000u);
    texture->Release();
  }
}

// The CPU and the GPU copies stay one picture: a ColorFill and a
// StretchRect after a draw see what was drawn and drawing after them
// sees what they wrote.
TEST_F(GlDrawTest, CopiesSeeDrawnPixels) {
  IDirect3DSurface9* back = nullptr;
  ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
  IDirect3DSurface9* target = nullptr;
  ASSERT_EQ(device_->CreateRenderTarget(kWidth, kHeight, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &target,
                                        nullptr),
            D3D_OK);
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF202020u, 1.0f, 0), D3D_OK);
  const RECT left{0, 0, 8, 8};
  ASSERT_EQ(device_->ColorFill(back, &left, 0xFFFFFF00u), D3D_OK);
  ASSERT_EQ(device_->StretchRect(back, nullptr, target, nullptr, D3DTEXF_POINT), D3D_OK);
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0), D3D_OK);
  ASSERT_EQ(device_->StretchRect(target, nullptr, back, nullptr, D3DTEXF_POINT), D3D_OK);
  std::vector<uint32_t> s = Screen();
  EXPECT_EQ(s[3], 0xFFFFFF00u);
  EXPECT_EQ(s[12], 0xFF202020u);
  target->Release();
  back->Release();
}

}  // namespace
