#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/dxerr.h"
#include "platform/d3d9/layer.h"
#include "platform/d3d9/testing.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"

namespace pt = platform::testing;

namespace {

class D3D9Test : public pt::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    pt::ResetD3D9();
  }
  void TearDown() override {
    pt::ResetD3D9();
    PlatformTest::TearDown();
  }
};

TEST_F(D3D9Test, DeviceFollowsTheLostDeviceProtocol) {
  EXPECT_EQ(Direct3DCreate9(31), nullptr);
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  ASSERT_NE(d3d, nullptr);
  D3DPRESENT_PARAMETERS pp{};
  pp.BackBufferWidth = 1024;
  pp.BackBufferHeight = 768;
  pp.Windowed = TRUE;
  IDirect3DDevice9* device = nullptr;
  EXPECT_EQ(d3d->CreateDevice(1, D3DDEVTYPE_HAL, nullptr, 0, &pp, &device), D3DERR_INVALIDCALL);
  EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, nullptr, &device), D3DERR_INVALIDCALL);
  ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device), D3D_OK);
  EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);

  pt::SetCooperativeLevel(D3DERR_DEVICELOST);
  EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
  EXPECT_EQ(device->Reset(&pp), D3DERR_DEVICELOST);
  pt::SetCooperativeLevel(D3DERR_DEVICENOTRESET);
  EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  EXPECT_EQ(device->Reset(&pp), D3D_OK);
  EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
  EXPECT_EQ(pt::DeviceResetCount(), 2);
  pt::SetCooperativeLevel(D3DERR_DRIVERINTERNALERROR);
  EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DRIVERINTERNALERROR);

  // COM counting: the device holds its Direct3D object.
  EXPECT_EQ(pt::LiveD3D9Objects(), 2);
  EXPECT_EQ(device->AddRef(), 2u);
  EXPECT_EQ(d3d->Release(), 1u);
  EXPECT_EQ(device->Release(), 1u);
  EXPECT_EQ(pt::LiveD3D9Objects(), 2);
  EXPECT_EQ(device->Release(), 0u);
  EXPECT_EQ(pt::LiveD3D9Objects(), 0);
}

TEST_F(D3D9Test, LevelIsSharedThroughTheSettingsFile) {
  pt::SetCooperativeLevel(D3DERR_DEVICENOTRESET);
  EXPECT_NE(pt::ReadText(root_ + "/testing.ini").find("d3d9.cooperative_level=" +
                                                      std::to_string(static_cast<uint32_t>(D3DERR_DEVICENOTRESET))),
            std::string::npos);
  pt::SetCooperativeLevel(D3D_OK);
  EXPECT_EQ(pt::ReadText(root_ + "/testing.ini").find("d3d9.cooperative_level"), std::string::npos);
}

// A full-screen device of the given size on the default profile.
IDirect3DDevice9* MakeDevice(IDirect3D9* d3d, UINT width = 64, UINT height = 32, bool autoDepth = true) {
  pt::AdapterProfile p = pt::DefaultAdapterProfile();
  p.modes.push_back({width, height, 60, D3DFMT_X8R8G8B8});
  pt::SetAdapterProfile(p);
  D3DPRESENT_PARAMETERS pp{};
  pp.BackBufferWidth = width;
  pp.BackBufferHeight = height;
  pp.BackBufferFormat = D3DFMT_A8R8G8B8;
  pp.SwapEffect = D3DSWAPEFFECT_COPY;
  pp.EnableAutoDepthStencil = autoDepth;
  pp.AutoDepthStencilFormat = D3DFMT_D24S8;
  IDirect3DDevice9* device = nullptr;
  EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device), D3D_OK);
  return device;
}

uint32_t Pixel(IDirect3DSurface9* s, int x, int y) {
  D3DLOCKED_RECT lr;
  EXPECT_EQ(s->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
  uint32_t v;
  std::memcpy(&v, static_cast<BYTE*>(lr.pBits) + y * lr.Pitch + x * 4, 4);
  s->UnlockRect();
  return v;
}

class DeviceTest : public D3D9Test {
 protected:
  void SetUp() override {
    D3D9Test::SetUp();
    d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
    device_ = MakeDevice(d3d_);
    ASSERT_NE(device_, nullptr);
  }
  void TearDown() override {
    if (device_) {
      EXPECT_EQ(device_->Release(), 0u) << "something still holds the device";
    }
    d3d_->Release();
    EXPECT_EQ(pt::LiveD3D9Objects(), 0);
    D3D9Test::TearDown();
  }
  IDirect3D9* d3d_ = nullptr;
  IDirect3DDevice9* device_ = nullptr;
};

TEST_F(D3D9Test, DefaultProfileAnswersTheAdapterQueries) {
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  D3DDISPLAYMODE mode;
  ASSERT_EQ(d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode), D3D_OK);
  EXPECT_EQ(mode.Width, 1024u);
  EXPECT_EQ(mode.Height, 768u);
  EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
  UINT count = d3d->GetAdapterModeCount(0, D3DFMT_X8R8G8B8);
  ASSERT_GT(count, 1u);
  ASSERT_EQ(d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, 0, &mode), D3D_OK);
  EXPECT_EQ(mode.Width * 10000 + mode.Height, 1024u * 10000 + 768u);
  EXPECT_EQ(d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, count, &mode), D3DERR_INVALIDCALL);

  D3DCAPS9 caps;
  ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
  EXPECT_EQ(caps.VertexShaderVersion, D3DVS_VERSION(3, 0));
  EXPECT_EQ(caps.PixelShaderVersion, D3DPS_VERSION(3, 0));
  EXPECT_EQ(caps.MaxTextureWidth, 4096u);
  EXPECT_TRUE(caps.PrimitiveMiscCaps & D3DPMISCCAPS_COLORWRITEENABLE);
  EXPECT_TRUE(caps.TextureCaps & D3DPTEXTURECAPS_MIPMAP);

  EXPECT_EQ(d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_D24S8), D3D_OK);
  EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_DXT1), D3D_OK);
  DWORD quality = 99;
  EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, FALSE, D3DMULTISAMPLE_4_SAMPLES,
                                            nullptr),
            D3D_OK);
  EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, FALSE, D3DMULTISAMPLE_2_SAMPLES,
                                            &quality),
            D3D_OK);
  EXPECT_EQ(quality, 1u);
  EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, FALSE, D3DMULTISAMPLE_8_SAMPLES,
                                            &quality),
            D3DERR_NOTAVAILABLE);

  // A test changes what the hardware offers.
  pt::AdapterProfile p = pt::DefaultAdapterProfile();
  p.multiSample = {{D3DMULTISAMPLE_NONMASKABLE, 3}};
  p.dxtFormats = false;
  p.pixelShaderVersion = D3DPS_VERSION(1, 4);
  pt::SetAdapterProfile(p);
  EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, FALSE, D3DMULTISAMPLE_4_SAMPLES,
                                            nullptr),
            D3DERR_NOTAVAILABLE);
  EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, FALSE, D3DMULTISAMPLE_NONMASKABLE,
                                            &quality),
            D3D_OK);
  EXPECT_EQ(quality, 3u);
  EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_DXT1),
            D3DERR_NOTAVAILABLE);
  ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
  EXPECT_EQ(caps.PixelShaderVersion, D3DPS_VERSION(1, 4));
  d3d->Release();
}

// Run by ProfileAndCreationFailureReachAChild in a child process.
TEST(D3D9Child, PrintAdapter) {
  if (!std::getenv("TARVEL_D3D9_CHILD")) GTEST_SKIP() << "runs only as a child";
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  D3DCAPS9 caps;
  d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps);
  D3DADAPTER_IDENTIFIER9 id;
  d3d->GetAdapterIdentifier(0, 0, &id);
  D3DPRESENT_PARAMETERS pp{};
  pp.Windowed = TRUE;
  IDirect3DDevice9* device = nullptr;
  HRESULT hr = d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &pp, &device);
  std::printf("CHILD modes=%u ps=%x desc=%s create=%x\n", d3d->GetAdapterModeCount(0, D3DFMT_X8R8G8B8),
              static_cast<unsigned>(caps.PixelShaderVersion), id.Description, static_cast<unsigned>(hr));
  if (device) device->Release();
  d3d->Release();
}

TEST_F(D3D9Test, ProfileAndCreationFailureReachAChild) {
  pt::AdapterProfile p = pt::DefaultAdapterProfile();
  p.modes.resize(2);
  p.pixelShaderVersion = D3DPS_VERSION(2, 0);
  p.description = "Test Card; with = signs";
  pt::SetAdapterProfile(p);
  pt::FailCreateDevice(D3DERR_NOTAVAILABLE);
  pt::ChildResult child = pt::RunSelf("D3D9Child.PrintAdapter", {"TARVEL_D3D9_CHILD=1"});
  EXPECT_NE(child.output.find("CHILD modes=2 ps=ffff0200 desc=Test Card; with = signs create=8876086a"),
            std::string::npos)
      << child.output;
  pt::ResetD3D9();
  child = pt::RunSelf("D3D9Child.PrintAdapter", {"TARVEL_D3D9_CHILD=1"});
  EXPECT_NE(child.output.find("ps=ffff0300 desc=Headless Display Adapter create=0"), std::string::npos)
      << child.output;
}

// Drawing on reaches a child; a child without an OpenGL driver (no EGL
// vendor) cannot make a device, as a refused profile cannot.
TEST_F(D3D9Test, DeviceCreationNeedsAGlContextWhenDrawing) {
  pt::ExecuteDraws(true);
  pt::ChildResult child = pt::RunSelf("D3D9Child.PrintAdapter", {"TARVEL_D3D9_CHILD=1"});
  EXPECT_NE(child.output.find("create=0"), std::string::npos) << child.output;
  child = pt::RunSelf("D3D9Child.PrintAdapter",
                      {"TARVEL_D3D9_CHILD=1", "__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent/vendor.json"});
  EXPECT_NE(child.output.find("create=8876086a"), std::string::npos) << child.output;
  // Drawing off: no context is needed.
  pt::ExecuteDraws(false);
  child = pt::RunSelf("D3D9Child.PrintAdapter",
                      {"TARVEL_D3D9_CHILD=1", "__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent/vendor.json"});
  EXPECT_NE(child.output.find("create=0"), std::string::npos) << child.output;
}

TEST_F(D3D9Test, CreateDeviceChecksTheParametersAgainstTheProfile) {
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  struct Case {
    const char* what;
    UINT width, height;
    D3DMULTISAMPLE_TYPE ms;
    DWORD quality;
    D3DSWAPEFFECT swap;
    HRESULT expected;
  } cases[] = {
      {"listed mode", 1280, 1024, D3DMULTISAMPLE_NONE, 0, D3DSWAPEFFECT_COPY, D3D_OK},
      {"unlisted mode", 1000, 700, D3DMULTISAMPLE_NONE, 0, D3DSWAPEFFECT_COPY, D3DERR_INVALIDCALL},
      {"4x with discard", 1024, 768, D3DMULTISAMPLE_4_SAMPLES, 0, D3DSWAPEFFECT_DISCARD, D3D_OK},
      {"multisampling needs discard", 1024, 768, D3DMULTISAMPLE_4_SAMPLES, 0, D3DSWAPEFFECT_COPY, D3DERR_INVALIDCALL},
      {"non-maskable quality 3 of 4", 1024, 768, D3DMULTISAMPLE_NONMASKABLE, 3, D3DSWAPEFFECT_DISCARD, D3D_OK},
      {"quality beyond the levels", 1024, 768, D3DMULTISAMPLE_NONMASKABLE, 4, D3DSWAPEFFECT_DISCARD,
       D3DERR_INVALIDCALL},
      {"8x not offered", 1024, 768, D3DMULTISAMPLE_8_SAMPLES, 0, D3DSWAPEFFECT_DISCARD, D3DERR_INVALIDCALL},
  };
  for (const Case& c : cases) {
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = c.width;
    pp.BackBufferHeight = c.height;
    pp.BackBufferFormat = D3DFMT_A8R8G8B8;
    pp.MultiSampleType = c.ms;
    pp.MultiSampleQuality = c.quality;
    pp.SwapEffect = c.swap;
    IDirect3DDevice9* device = nullptr;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &pp, &device), c.expected) << c.what;
    EXPECT_EQ(device != nullptr, c.expected == D3D_OK) << c.what;
    if (device) device->Release();
  }
  EXPECT_EQ(d3d->Release(), 0u);
  EXPECT_EQ(pt::LiveD3D9Objects(), 0);
}

TEST_F(DeviceTest, ResetFailsWhileADefaultPoolResourceLives) {
  IDirect3DTexture9* managed = nullptr;
  IDirect3DSurface9* target = nullptr;
  IDirect3DVertexBuffer9* dynamic = nullptr;
  ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &managed, nullptr), D3D_OK);
  ASSERT_EQ(device_->CreateRenderTarget(64, 32, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &target, nullptr),
            D3D_OK);
  ASSERT_EQ(device_->CreateVertexBuffer(64, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, D3DFVF_XYZ, D3DPOOL_DEFAULT,
                                        &dynamic, nullptr),
            D3D_OK);
  device_->SetRenderTarget(0, target);
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  D3DPRESENT_PARAMETERS pp{};
  pp.BackBufferWidth = 64;
  pp.BackBufferHeight = 32;
  pp.BackBufferFormat = D3DFMT_A8R8G8B8;
  pp.SwapEffect = D3DSWAPEFFECT_COPY;
  pp.EnableAutoDepthStencil = TRUE;
  pp.AutoDepthStencilFormat = D3DFMT_D24S8;

  EXPECT_EQ(device_->Reset(&pp), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET) << "a failed reset leaves the device to reset";
  target->Release();  // still the render target: the device's own hold does not count
  EXPECT_EQ(device_->Reset(&pp), D3DERR_INVALIDCALL);
  dynamic->Release();
  IDirect3DSurface9* back = nullptr;
  ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
  EXPECT_EQ(device_->Reset(&pp), D3DERR_INVALIDCALL) << "a held back buffer blocks the reset too";
  back->Release();
  EXPECT_EQ(device_->Reset(&pp), D3D_OK);
  EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);

  // States are back to their defaults; the managed texture survived.
  DWORD lighting = 0;
  device_->GetRenderState(D3DRS_LIGHTING, &lighting);
  EXPECT_EQ(lighting, static_cast<DWORD>(TRUE));
  IDirect3DSurface9* rt = nullptr;
  ASSERT_EQ(device_->GetRenderTarget(0, &rt), D3D_OK);
  D3DSURFACE_DESC desc;
  rt->GetDesc(&desc);
  EXPECT_EQ(desc.Width, 64u);
  rt->Release();
  D3DLOCKED_RECT lr;
  EXPECT_EQ(managed->LockRect(0, &lr, nullptr, 0), D3D_OK);
  managed->UnlockRect(0);
  managed->Release();
}

TEST_F(DeviceTest, LeakedResourcesKeepTheDeviceAlive) {
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(4, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
  EXPECT_EQ(texture->GetLevelCount(), 3u);
  IDirect3DSurface9* level = nullptr;
  ASSERT_EQ(texture->GetSurfaceLevel(1, &level), D3D_OK);
  EXPECT_EQ(texture->AddRef(), 3u) << "a level's reference counts on its texture";
  texture->Release();
  level->Release();
  device_->SetTexture(0, texture);
  int live = pt::LiveD3D9Objects();
  EXPECT_EQ(texture->Release(), 0u);
  EXPECT_EQ(pt::LiveD3D9Objects(), live) << "bound to stage 0, the texture stays alive";
  device_->SetTexture(0, nullptr);
  EXPECT_EQ(pt::LiveD3D9Objects(), live - 1);

  IDirect3DIndexBuffer9* leak = nullptr;
  ASSERT_EQ(device_->CreateIndexBuffer(12, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &leak, nullptr), D3D_OK);
  EXPECT_EQ(device_->Release(), 1u) << "the index buffer holds the device";
  EXPECT_EQ(leak->Release(), 0u);
  device_ = nullptr;
}

TEST_F(DeviceTest, LocksGiveRealMemoryWithinBounds) {
  IDirect3DTexture9* tex = nullptr;
  ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
  D3DLOCKED_RECT lr;
  RECT r{2, 3, 4, 5};
  ASSERT_EQ(tex->LockRect(0, &lr, &r, 0), D3D_OK);
  EXPECT_EQ(lr.Pitch, 32);
  std::memset(lr.pBits, 0xAB, 4);
  EXPECT_EQ(tex->LockRect(0, &lr, nullptr, 0), D3DERR_INVALIDCALL) << "already locked";
  tex->UnlockRect(0);
  ASSERT_EQ(tex->LockRect(0, &lr, nullptr, 0), D3D_OK);
  EXPECT_EQ(static_cast<BYTE*>(lr.pBits)[3 * 32 + 2 * 4], 0xAB);
  tex->UnlockRect(0);
  RECT outside{4, 4, 9, 8};
  EXPECT_EQ(tex->LockRect(0, &lr, &outside, 0), D3DERR_INVALIDCALL);
  tex->Release();

  IDirect3DTexture9* dxt = nullptr;
  ASSERT_EQ(device_->CreateTexture(16, 8, 1, 0, D3DFMT_DXT5, D3DPOOL_MANAGED, &dxt, nullptr), D3D_OK);
  ASSERT_EQ(dxt->LockRect(0, &lr, nullptr, 0), D3D_OK);
  EXPECT_EQ(lr.Pitch, 64) << "four 16-byte blocks a row";
  dxt->UnlockRect(0);
  RECT unaligned{2, 0, 6, 4};
  EXPECT_EQ(dxt->LockRect(0, &lr, &unaligned, 0), D3DERR_INVALIDCALL);
  dxt->Release();

  IDirect3DSurface9* rt = nullptr;
  ASSERT_EQ(device_->CreateRenderTarget(8, 8, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &rt, nullptr), D3D_OK);
  EXPECT_EQ(rt->LockRect(&lr, nullptr, 0), D3DERR_INVALIDCALL) << "not lockable";
  rt->Release();

  IDirect3DVertexBuffer9* vb = nullptr;
  ASSERT_EQ(device_->CreateVertexBuffer(80, D3DUSAGE_WRITEONLY, D3DFVF_XYZ | D3DFVF_TEX1, D3DPOOL_MANAGED, &vb,
                                        nullptr),
            D3D_OK);
  void* data = nullptr;
  EXPECT_EQ(vb->Lock(60, 40, &data, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(data, nullptr);
  ASSERT_EQ(vb->Lock(60, 0, &data, 0), D3D_OK);
  std::memset(data, 1, 20);
  vb->Unlock();
  vb->Release();

  EXPECT_EQ(device_->CreateTexture(8192, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->CreateTexture(0, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, ClearFillsTheTargetWithinTheViewportAndMask) {
  IDirect3DSurface9* rt = nullptr;
  ASSERT_EQ(device_->CreateRenderTarget(8, 4, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE, &rt, nullptr), D3D_OK);
  ASSERT_EQ(device_->SetRenderTarget(0, rt), D3D_OK);
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF102030, 1.0f, 7),
            D3D_OK);
  EXPECT_EQ(Pixel(rt, 7, 3), 0xFF102030u);
  D3DVIEWPORT9 vp{2, 1, 4, 2, 0, 1};
  ASSERT_EQ(device_->SetViewport(&vp), D3D_OK);
  D3DRECT rect{0, 0, 3, 8};  // cut by the viewport to x 2 to 3, y 1 to 3
  ASSERT_EQ(device_->Clear(1, &rect, D3DCLEAR_TARGET, 0x80FFFFFF, 1.0f, 0), D3D_OK);
  EXPECT_EQ(Pixel(rt, 2, 1), 0x80FFFFFFu);
  EXPECT_EQ(Pixel(rt, 2, 2), 0x80FFFFFFu);
  EXPECT_EQ(Pixel(rt, 3, 1), 0xFF102030u);
  EXPECT_EQ(Pixel(rt, 2, 0), 0xFF102030u);
  EXPECT_EQ(Pixel(rt, 1, 1), 0xFF102030u);
  device_->SetRenderState(D3DRS_COLORWRITEENABLE, D3DCOLORWRITEENABLE_ALPHA);
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00000000, 1.0f, 0), D3D_OK);
  EXPECT_EQ(Pixel(rt, 3, 1), 0x00102030u) << "only alpha written";
  EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.5f, 0), D3DERR_INVALIDCALL);

  // Depth and stencil hold what was cleared.
  IDirect3DSurface9* ds = nullptr;
  ASSERT_EQ(device_->GetDepthStencilSurface(&ds), D3D_OK);
  platform::d3d9::SurfaceMemory mem;
  ASSERT_TRUE(platform::d3d9::GetSurfaceMemory(ds, &mem));
  uint32_t depth;
  std::memcpy(&depth, mem.bits, 4);
  EXPECT_EQ(depth, 0xFFFFFF07u);
  // Depth alone keeps the stencil, stencil alone keeps the depth, each only inside
  // the viewport (x 2 to 5, y 1 to 2).
  auto depthAt = [&](UINT x, UINT y) {
    uint32_t v;
    std::memcpy(&v, mem.bits + static_cast<size_t>(y) * mem.pitch + static_cast<size_t>(x) * 4, 4);
    return v;
  };
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.5f, 3), D3D_OK);
  ASSERT_TRUE(platform::d3d9::GetSurfaceMemory(ds, &mem));
  EXPECT_EQ(depthAt(2, 1), 0x80000007u);
  EXPECT_EQ(depthAt(5, 2), 0x80000007u);
  EXPECT_EQ(depthAt(1, 1), 0xFFFFFF07u);
  EXPECT_EQ(depthAt(2, 3), 0xFFFFFF07u);
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 0.0f, 0x1A5), D3D_OK);
  ASSERT_TRUE(platform::d3d9::GetSurfaceMemory(ds, &mem));
  EXPECT_EQ(depthAt(3, 2), 0x800000A5u);
  EXPECT_EQ(depthAt(6, 2), 0xFFFFFF07u);
  ds->Release();
  rt->Release();
}

TEST_F(DeviceTest, PresentShowsTheBackBufferAndFailsWhileLost) {
  // A see-through back buffer reaches the screen opaque.
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00336699, 1.0f, 0), D3D_OK);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL) << "inside a scene";
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  EXPECT_EQ(device_->EndScene(), D3DERR_INVALIDCALL);
  ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(pt::PresentCount(), 1);
  IDirect3DSurface9* shot = nullptr;
  ASSERT_EQ(device_->CreateOffscreenPlainSurface(64, 32, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &shot, nullptr), D3D_OK);
  ASSERT_EQ(device_->GetFrontBufferData(0, shot), D3D_OK);
  EXPECT_EQ(Pixel(shot, 63, 31), 0xFF336699u);
  shot->Release();
  pt::SetCooperativeLevel(D3DERR_DEVICELOST);
  EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  EXPECT_EQ(pt::PresentCount(), 1);
}

TEST_F(DeviceTest, StretchRectConvertsAndFilters) {
  IDirect3DSurface9 *src = nullptr, *dst = nullptr;
  ASSERT_EQ(device_->CreateRenderTarget(2, 1, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE, &src, nullptr), D3D_OK);
  ASSERT_EQ(device_->CreateRenderTarget(4, 1, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE, &dst, nullptr), D3D_OK);
  D3DLOCKED_RECT lr;
  ASSERT_EQ(src->LockRect(&lr, nullptr, 0), D3D_OK);
  const uint32_t pixels[2] = {0x00000000, 0x00FFFFFF};  // X8: the unused byte is ignored
  std::memcpy(lr.pBits, pixels, 8);
  src->UnlockRect();
  ASSERT_EQ(device_->StretchRect(src, nullptr, dst, nullptr, D3DTEXF_LINEAR), D3D_OK);
  // Destination centres 0.5 … 3.5 fall on source x −0.25, 0.25, 0.75, 1.25.
  EXPECT_EQ(Pixel(dst, 0, 0), 0xFF000000u);
  EXPECT_EQ(Pixel(dst, 1, 0), 0xFF404040u);
  EXPECT_EQ(Pixel(dst, 2, 0), 0xFFBFBFBFu);
  EXPECT_EQ(Pixel(dst, 3, 0), 0xFFFFFFFFu);
  ASSERT_EQ(device_->StretchRect(src, nullptr, dst, nullptr, D3DTEXF_POINT), D3D_OK);
  EXPECT_EQ(Pixel(dst, 1, 0), 0xFF000000u);
  EXPECT_EQ(Pixel(dst, 2, 0), 0xFFFFFFFFu);
  RECT bad{0, 0, 3, 1};
  EXPECT_EQ(device_->StretchRect(src, &bad, dst, nullptr, D3DTEXF_NONE), D3DERR_INVALIDCALL);
  src->Release();
  dst->Release();
}

TEST_F(DeviceTest, DrawsNeedASceneAndAreRecordedWithWhatIsBound) {
  IDirect3DVertexBuffer9* vb = nullptr;
  IDirect3DIndexBuffer9* ib = nullptr;
  IDirect3DTexture9* tex = nullptr;
  ASSERT_EQ(device_->CreateVertexBuffer(4 * 28, D3DUSAGE_WRITEONLY, 0x144, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
  ASSERT_EQ(device_->CreateIndexBuffer(6 * 2, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), D3D_OK);
  ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
  pt::RecordDraws(true);
  device_->SetFVF(0x144);
  device_->SetStreamSource(0, vb, 0, 28);
  device_->SetTexture(1, tex);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL) << "outside a scene";
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  EXPECT_EQ(device_->BeginScene(), D3DERR_INVALIDCALL);
  platform::d3d9::SetEffectPass(device_, "image_basic", 1);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  platform::d3d9::SetEffectPass(device_, nullptr, 0);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 1, 2), D3DERR_INVALIDCALL) << "past the buffer";
  EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3DERR_INVALIDCALL) << "no indices";
  device_->SetIndices(ib);
  EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
  EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 1, 2), D3DERR_INVALIDCALL);
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
  ASSERT_EQ(device_->EndScene(), D3D_OK);

  auto frame0 = pt::RecordedDraws(0);
  ASSERT_EQ(frame0.size(), 2u);
  EXPECT_EQ(frame0[0].call, pt::DrawCall::Primitive);
  EXPECT_EQ(frame0[0].primitiveType, D3DPT_TRIANGLESTRIP);
  EXPECT_EQ(frame0[0].primitiveCount, 2u);
  EXPECT_EQ(frame0[0].fvf, 0x144u);
  EXPECT_EQ(frame0[0].stream0, vb);
  EXPECT_EQ(frame0[0].stream0Stride, 28u);
  EXPECT_EQ(frame0[0].textures[1], tex);
  EXPECT_EQ(frame0[0].technique, "image_basic");
  EXPECT_EQ(frame0[0].pass, 1);
  EXPECT_EQ(frame0[1].call, pt::DrawCall::IndexedPrimitive);
  EXPECT_EQ(frame0[1].indices, ib);
  EXPECT_EQ(frame0[1].technique, "");
  EXPECT_EQ(pt::RecordedDraws(1).size(), 1u);
  pt::RecordDraws(false);
  EXPECT_TRUE(pt::RecordedDraws().empty());
  vb->Release();
  ib->Release();
  tex->Release();
}

// What a child's test reads of the frames it cannot record in process.
TEST_F(DeviceTest, RecordSettingReportsEachFramesDrawsAndTechniques) {
  const std::string report = work_ + "/d3d9.report";
  pt::SetSetting("d3d9.report", report);
  pt::SetSetting("d3d9.record", "1");
  IDirect3DVertexBuffer9* vb = nullptr;
  ASSERT_EQ(device_->CreateVertexBuffer(4 * 28, D3DUSAGE_WRITEONLY, 0x144, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
  device_->SetFVF(0x144);
  device_->SetStreamSource(0, vb, 0, 28);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL) << "outside a scene";
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  for (const char* technique : {"scenery_lit", "ui_invbar", "scenery_lit", static_cast<const char*>(nullptr)}) {
    platform::d3d9::SetEffectPass(device_, technique, 0);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  }
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 1, 2), D3DERR_INVALIDCALL) << "past the buffer";
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  const std::string program = pt::ProgramName();
  EXPECT_EQ(pt::ReadText(report), program + ": frame 1 draws=4 scenery_lit ui_invbar\n" + program +
                                      ": frame 2 draws=0\n");
  EXPECT_TRUE(pt::RecordedDraws().empty()) << "the in-process record stays off";
  vb->Release();
}

TEST_F(DeviceTest, GammaRampAndStatesAreKept) {
  D3DGAMMARAMP ramp;
  device_->GetGammaRamp(0, &ramp);
  EXPECT_EQ(ramp.red[255], 0xFFFFu) << "identity ramp at start";
  for (int i = 0; i < 256; ++i) ramp.red[i] = ramp.green[i] = ramp.blue[i] = static_cast<WORD>((i / 2) * 256);
  device_->SetGammaRamp(0, D3DSGR_CALIBRATE, &ramp);
  D3DGAMMARAMP back;
  device_->GetGammaRamp(0, &back);
  EXPECT_EQ(back.blue[255], 127 * 256);

  D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
                                  {1, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TANGENT, 0},
                                  D3DDECL_END()};
  IDirect3DVertexDeclaration9* decl = nullptr;
  ASSERT_EQ(device_->CreateVertexDeclaration(elements, &decl), D3D_OK);
  UINT n = 0;
  decl->GetDeclaration(nullptr, &n);
  EXPECT_EQ(n, 3u);
  device_->SetVertexDeclaration(decl);
  decl->Release();
  IDirect3DVertexDeclaration9* got = nullptr;
  device_->GetVertexDeclaration(&got);
  EXPECT_EQ(got, decl);
  got->Release();

  D3DMATRIX m{};
  m._11 = 2;
  device_->SetTransform(D3DTS_VIEW, &m);
  D3DMATRIX out;
  device_->GetTransform(D3DTS_VIEW, &out);
  EXPECT_EQ(out._11, 2.0f);
  device_->GetTransform(D3DTS_WORLD, &out);
  EXPECT_EQ(out._44, 1.0f) << "identity by default";
  EXPECT_EQ(device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR), D3D_OK);
  DWORD v = 0;
  device_->GetSamplerState(0, D3DSAMP_MINFILTER, &v);
  EXPECT_EQ(v, static_cast<DWORD>(D3DTEXF_LINEAR));
  EXPECT_EQ(device_->SetSamplerState(99, D3DSAMP_MINFILTER, 0), D3DERR_INVALIDCALL);
}

TEST(DxErrTest, NamesAndDescribesCodes) {
  struct Case {
    HRESULT hr;
    const char* name;
  } cases[] = {
      {D3D_OK, "S_OK"},
      {D3DERR_DEVICELOST, "D3DERR_DEVICELOST"},
      {D3DERR_DEVICENOTRESET, "D3DERR_DEVICENOTRESET"},
      {D3DERR_INVALIDCALL, "D3DERR_INVALIDCALL"},
      {D3DERR_DRIVERINTERNALERROR, "D3DERR_DRIVERINTERNALERROR"},
      {D3DERR_OUTOFVIDEOMEMORY, "D3DERR_OUTOFVIDEOMEMORY"},
      {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
      {E_INVALIDARG, "E_INVALIDARG"},
      {E_FAIL, "E_FAIL"},
      {E_NOTIMPL, "E_NOTIMPL"},
      {static_cast<HRESULT>(0x88760B59u), "D3DXERR_INVALIDDATA"},
      // Every other code the Direct3D and D3DX layers return.
      {S_FALSE, "S_FALSE"},
      {D3DERR_NOTAVAILABLE, "D3DERR_NOTAVAILABLE"},
      {D3DERR_NOTFOUND, "D3DERR_NOTFOUND"},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(DXGetErrorStringA(c.hr), c.name);
    EXPECT_STRNE(DXGetErrorDescriptionA(c.hr), "n/a") << c.name;
  }
  EXPECT_STREQ(DXGetErrorStringA(static_cast<HRESULT>(0x12345678)), "Unknown");
  EXPECT_STREQ(DXGetErrorDescriptionA(static_cast<HRESULT>(0x12345678)), "n/a");
}

}  // namespace
