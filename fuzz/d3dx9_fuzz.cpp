// The D3DX readers on a headless device: the first byte picks the reader
// (even: an image file in memory, then a copy of its first level into plain
// pixels; odd: effect source, then its techniques and parameters walked),
// the rest is the input. Every effect source goes through the rewriter the
// shader compiler reads; small ones that parse are compiled pass by pass on
// a device that draws, so the replay stays fast.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

#include "platform/d3d9/testing.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/d3dx9/effect_shader.h"
#include "platform/win32/testing.h"

namespace {

// The drawing switch goes through the platform root's settings: a
// temporary one for the whole run, removed at exit.
struct TempRoot {
  TempRoot() {
    char pattern[] = "/tmp/tarvel-fuzz-d3dx9-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) std::abort();
    path = made;
    platform::testing::SetPlatformRoot(path);
  }
  ~TempRoot() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string path;
};

IDirect3DDevice9* MakeDevice(bool draws) {
  static const TempRoot root;
  platform::testing::ExecuteDraws(draws);
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  D3DPRESENT_PARAMETERS pp{};
  pp.Windowed = TRUE;
  pp.BackBufferWidth = 64;
  pp.BackBufferHeight = 64;
  IDirect3DDevice9* made = nullptr;
  if (!d3d || FAILED(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &pp, &made))) made = nullptr;
  if (d3d) d3d->Release();
  return made;
}

// Null when there is no GL context to compile on.
// The devices live for the run and go at its exit, taking the driver's
// threads with them before the exit checks run.
IDirect3DDevice9* DrawingDevice() {
  static IDirect3DDevice9* device = [] {
    IDirect3DDevice9* made = MakeDevice(true);
    if (made) std::atexit([] { device->Release(); });
    return made;
  }();
  return device;
}

IDirect3DDevice9* Device() {
  static IDirect3DDevice9* device = [] {
    IDirect3DDevice9* made = MakeDevice(false);
    if (!made) std::abort();
    std::atexit([] { device->Release(); });
    return made;
  }();
  return device;
}

void Image(const uint8_t* data, UINT size) {
  IDirect3DTexture9* texture = nullptr;
  if (FAILED(D3DXCreateTextureFromFileInMemory(Device(), data, size, &texture))) return;
  D3DSURFACE_DESC desc;
  IDirect3DSurface9* level = nullptr;
  IDirect3DSurface9* plain = nullptr;
  if (SUCCEEDED(texture->GetLevelDesc(0, &desc)) && SUCCEEDED(texture->GetSurfaceLevel(0, &level)) &&
      SUCCEEDED(Device()->CreateOffscreenPlainSurface(desc.Width, desc.Height, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH,
                                                       &plain, nullptr))) {
    D3DXLoadSurfaceFromSurface(plain, nullptr, nullptr, level, nullptr, nullptr, D3DX_FILTER_LINEAR, 0);
  }
  if (plain) plain->Release();
  if (level) level->Release();
  texture->Release();
}

void Effect(const uint8_t* data, UINT size) {
  std::map<std::string, int> samplers{{"s", 0}, {"baseSampler", 1}};
  std::string rewritten, error;
  platform::d3dx9::RewriteEffectSource(std::string_view(reinterpret_cast<const char*>(data), size), samplers,
                                       &rewritten, &error);
  ID3DXEffectPool* pool = nullptr;
  D3DXCreateEffectPool(&pool);
  ID3DXEffect* effect = nullptr;
  ID3DXBuffer* errors = nullptr;
  IDirect3DDevice9* device = Device();
  if (size <= 2048) {
    // Parsing first on the plain device keeps compiling to what parses.
    ID3DXEffect* probe = nullptr;
    if (SUCCEEDED(D3DXCreateEffect(Device(), data, size, nullptr, nullptr, 0, nullptr, &probe, nullptr))) {
      probe->Release();
      if (DrawingDevice()) device = DrawingDevice();
    }
  }
  if (SUCCEEDED(D3DXCreateEffect(device, data, size, nullptr, nullptr, 0, pool, &effect, &errors))) {
    D3DXHANDLE t = nullptr;
    while (SUCCEEDED(effect->FindNextValidTechnique(t, &t)) && t) {
      UINT passes = 0;
      if (SUCCEEDED(effect->SetTechnique(t)) && SUCCEEDED(effect->Begin(&passes, 0))) {
        for (UINT p = 0; p < passes; ++p) {
          effect->BeginPass(p);
          effect->EndPass();
        }
        effect->End();
      }
    }
    D3DXPARAMETER_DESC desc;
    for (UINT i = 0; D3DXHANDLE h = effect->GetParameter(nullptr, i); ++i) {
      effect->GetParameterDesc(h, &desc);
      float values[16];
      effect->GetFloatArray(h, values, 16);
    }
    effect->Release();
  }
  if (errors) errors->Release();
  pool->Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > (1u << 20)) return 0;
  if (data[0] % 2 == 0) {
    Image(data + 1, static_cast<UINT>(size - 1));
  } else {
    Effect(data + 1, static_cast<UINT>(size - 1));
  }
  return 0;
}
