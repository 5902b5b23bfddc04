#include <gtest/gtest.h>

#include <string>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/dxerr.h"
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
  EXPECT_EQ(pt::ReadText(root_ + "/testing.ini").find("d3d9"), std::string::npos);
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
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(DXGetErrorStringA(c.hr), c.name);
    EXPECT_STRNE(DXGetErrorDescriptionA(c.hr), "n/a") << c.name;
  }
  EXPECT_STREQ(DXGetErrorStringA(static_cast<HRESULT>(0x12345678)), "Unknown");
  EXPECT_STREQ(DXGetErrorDescriptionA(static_cast<HRESULT>(0x12345678)), "n/a");
}

}  // namespace
