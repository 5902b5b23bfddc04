// CheckSystem and GetResolutions: each call makes and releases its own
// Direct3D object; the library keeps no state between calls.
#include "diag/brddiag.h"
#include "diag/directx_version.h"
#include "platform/d3d9/d3d9.h"
#include "platform/win32/win32.h"

namespace {

constexpr UINT kSdkVersion = 32;
constexpr DWORD kColorWriteEnable = 0x80;

}  // namespace

int32_t CheckSystem() {
  OSVERSIONINFOA os{};
  os.dwOSVersionInfoSize = sizeof os;
  GetVersionExA(&os);  // a failed query leaves zeros, which pass
  if (os.dwMajorVersion == 4 && os.dwMinorVersion < 10) return 1;

  DWORD packed = 0;
  char text[10];
  if (SUCCEEDED(DetectDirectXVersion(&packed, text))) {
    if (packed == 0) return 2;
    if (packed < 0x00090000) return 3;
  }

  IDirect3D9* d3d = Direct3DCreate9(kSdkVersion);
  if (!d3d) return 3;
  D3DCAPS9 caps{};
  HRESULT hr = d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps);
  d3d->Release();
  if (FAILED(hr)) return 3;
  if (caps.MaxTextureWidth < 1024 || caps.MaxTextureHeight < 1024) return 4;
  if (!(caps.PrimitiveMiscCaps & kColorWriteEnable)) return 4;
  return 0;
}

int32_t GetResolutions(uint32_t* modes, int32_t max) {
  if (!modes || max < 1) return 0;
  IDirect3D9* d3d = Direct3DCreate9(kSdkVersion);
  if (!d3d) return 0;
  int32_t count = 0;
  UINT total = d3d->GetAdapterModeCount(0, D3DFMT_X8R8G8B8);
  for (UINT i = 0; i < total && count < max; ++i) {
    D3DDISPLAYMODE mode{};
    if (FAILED(d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, i, &mode))) continue;
    if (mode.Width < 1024 || mode.Height < 768) continue;
    uint32_t packed = (mode.Width << 16) + mode.Height;
    // Refresh rates of one size come together: keep the size once.
    if (count > 0 && modes[count - 1] == packed) continue;
    modes[count++] = packed;
  }
  d3d->Release();
  return count;
}
