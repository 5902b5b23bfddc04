// A headless Direct3D 9: for now the object, the device and the lost-device
// protocol, with COM reference counting.
#include "platform/d3d9/d3d9.h"

#include <atomic>
#include <cstdlib>
#include <string>

#include "platform/d3d9/testing.h"
#include "platform/win32/testing.h"

namespace {

std::atomic<int> g_live{0};
std::atomic<int> g_resets{0};
std::atomic<bool> g_levelRead{false};
std::atomic<HRESULT> g_level{D3D_OK};

// The level a parent process set, on first use.
HRESULT Level() {
  if (!g_levelRead.exchange(true)) {
    if (auto v = platform::testing::GetSetting("d3d9.cooperative_level")) {
      g_level.store(static_cast<HRESULT>(std::strtoul(v->c_str(), nullptr, 0)));
    }
  }
  return g_level.load();
}

template <class Interface>
class RefCounted : public Interface {
 public:
  RefCounted() { ++g_live; }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  ~RefCounted() override { --g_live; }

 private:
  std::atomic<ULONG> refs_{1};
};

class Device final : public RefCounted<IDirect3DDevice9> {
 public:
  explicit Device(IDirect3D9* owner, const D3DPRESENT_PARAMETERS& params) : owner_(owner), params_(params) {
    owner_->AddRef();  // a device keeps its Direct3D object alive
  }

  HRESULT TestCooperativeLevel() override { return Level(); }

  HRESULT Reset(D3DPRESENT_PARAMETERS* params) override {
    ++g_resets;
    if (!params) return D3DERR_INVALIDCALL;
    HRESULT level = Level();
    if (level == D3DERR_DEVICELOST) return D3DERR_DEVICELOST;
    if (level != D3D_OK && level != D3DERR_DEVICENOTRESET) return level;
    params_ = *params;
    platform::testing::SetCooperativeLevel(D3D_OK);
    return D3D_OK;
  }

 private:
  ~Device() override { owner_->Release(); }

  IDirect3D9* owner_;
  D3DPRESENT_PARAMETERS params_;
};

class Direct3D final : public RefCounted<IDirect3D9> {
 public:
  UINT GetAdapterCount() override { return 1; }

  HRESULT CreateDevice(UINT adapter, D3DDEVTYPE, HWND, DWORD, D3DPRESENT_PARAMETERS* params,
                       IDirect3DDevice9** device) override {
    if (!device) return D3DERR_INVALIDCALL;
    *device = nullptr;
    if (!params || adapter >= GetAdapterCount()) return D3DERR_INVALIDCALL;
    // A device cannot be made while the display is taken away.
    if (Level() == D3DERR_DEVICELOST) return D3DERR_DEVICELOST;
    *device = new Device(this, *params);
    return D3D_OK;
  }
};

}  // namespace

IDirect3D9* Direct3DCreate9(UINT sdkVersion) {
  if (sdkVersion != D3D_SDK_VERSION) return nullptr;
  return new Direct3D();
}

namespace platform::testing {

void SetCooperativeLevel(HRESULT level) {
  g_levelRead.store(true);
  g_level.store(level);
  SetSetting("d3d9.cooperative_level", level == D3D_OK ? std::string() : std::to_string(static_cast<uint32_t>(level)));
}

HRESULT CooperativeLevel() { return Level(); }
int DeviceResetCount() { return g_resets.load(); }
int LiveD3D9Objects() { return g_live.load(); }

void ResetD3D9() {
  SetCooperativeLevel(D3D_OK);
  g_resets.store(0);
}

}  // namespace platform::testing
