// A headless Direct3D 9: the adapter answers from its profile, the device
// keeps its states, holds every resource in memory, clears and copies for
// real and records draws for tests.
//
// Reference counting follows the runtime: the count an application sees
// (AddRef/Release) is separate from the references the device holds on what
// is bound to it. An object is freed when both reach zero; a resource holds
// its device while the application holds the resource.
#include "platform/d3d9/d3d9.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/d3d9/format_info.h"
#include "platform/d3d9/gl_context.h"
#include "platform/d3d9/gl_renderer.h"
#include "platform/d3d9/layer.h"
#include "platform/d3d9/testing.h"
#include "platform/win32/present.h"
#include "platform/win32/testing.h"
#include "platform/win32/testing.h"

namespace pt = platform::testing;
using platform::d3d9::SurfaceMemory;

namespace {

// ---- Process-wide state shared with tests --------------------------------
std::atomic<int> g_live{0};
std::atomic<int> g_resets{0};
std::atomic<int> g_presents{0};
std::atomic<bool> g_levelRead{false};
std::atomic<HRESULT> g_level{D3D_OK};
std::atomic<bool> g_createRead{false};
std::atomic<HRESULT> g_createResult{D3D_OK};

std::mutex g_mutex;  // guards the profile and the recording
bool g_profileRead = false;
pt::AdapterProfile g_profile;
bool g_recording = false;
std::vector<pt::DrawRecord> g_draws;
std::vector<pt::LockRecord> g_locks;

// "d3d9.record=1" (a child's test): each presented frame adds a line to
// "d3d9.report" with its draw count and the techniques its draws ran.
std::atomic<bool> g_frameReportRead{false};
std::atomic<bool> g_frameReport{false};
int g_frameDraws = 0;                     // guarded by g_mutex
std::vector<std::string> g_frameTechniques;  // in first-use order; guarded by g_mutex

bool FrameReport() {
  if (!g_frameReportRead.exchange(true)) {
    auto v = pt::GetSetting("d3d9.record");
    g_frameReport.store(v && *v == "1");
  }
  return g_frameReport.load();
}

void RecordLock(const void* buffer, UINT offset, UINT size, DWORD flags) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_recording) g_locks.push_back({buffer, offset, size, flags, static_cast<int>(g_draws.size())});
}

// The level a parent process set, on first use.
HRESULT Level() {
  if (!g_levelRead.exchange(true)) {
    if (auto v = pt::GetSetting("d3d9.cooperative_level")) {
      g_level.store(static_cast<HRESULT>(std::strtoul(v->c_str(), nullptr, 0)));
    }
  }
  return g_level.load();
}

HRESULT CreateResult() {
  if (!g_createRead.exchange(true)) {
    if (auto v = pt::GetSetting("d3d9.create_device")) {
      g_createResult.store(static_cast<HRESULT>(std::strtoul(v->c_str(), nullptr, 0)));
    }
  }
  return g_createResult.load();
}

// Whether draws run on OpenGL: on unless a test turned it off (here or
// in a parent process).
std::atomic<bool> g_executeRead{false};
std::atomic<bool> g_execute{true};
bool Executing() {
  if (!g_executeRead.exchange(true)) {
    if (auto v = pt::GetSetting("d3d9.execute_draws")) g_execute.store(*v != "0");
  }
  return g_execute.load();
}

// What a test made one call return (FailD3D9Call); D3D_OK when it works.
HRESULT InjectedFailure(std::string_view call) {
  auto v = pt::GetSetting(std::string("d3d9.fail.") + std::string(call));
  if (!v || v->empty()) return D3D_OK;
  return static_cast<HRESULT>(std::strtoul(v->c_str(), nullptr, 0));
}

// ---- Profile as one line of "testing.ini" ------------------------------------
std::string FormatList(const std::vector<D3DFORMAT>& formats) {
  std::string s;
  for (D3DFORMAT f : formats) {
    if (!s.empty()) s += ',';
    s += std::to_string(static_cast<uint32_t>(f));
  }
  return s;
}

std::string SerialiseProfile(const pt::AdapterProfile& p) {
  std::ostringstream o;
  o << "modes=";
  for (size_t i = 0; i < p.modes.size(); ++i) {
    o << (i ? "," : "") << p.modes[i].Width << "x" << p.modes[i].Height << "@" << p.modes[i].RefreshRate;
  }
  o << ";desktop=" << p.desktopWidth << "x" << p.desktopHeight << ";vs=" << p.vertexShaderVersion
    << ";ps=" << p.pixelShaderVersion << ";maxtex=" << p.maxTextureWidth << "x" << p.maxTextureHeight
    << ";texcaps=" << p.textureCaps << ";misccaps=" << p.primitiveMiscCaps << ";dxt=" << (p.dxtFormats ? 1 : 0)
    << ";ms=";
  for (size_t i = 0; i < p.multiSample.size(); ++i) {
    o << (i ? "," : "") << static_cast<uint32_t>(p.multiSample[i].type) << ":" << p.multiSample[i].qualityLevels;
  }
  o << ";depth=" << FormatList(p.depthFormats) << ";mem=" << p.textureMemoryMB << ";vendor=" << p.vendorId
    << ";device=" << p.deviceId << ";version=" << p.driverVersion << ";driver=" << p.driver
    << ";description=" << p.description;
  return o.str();
}

// Fields missing or malformed keep their default values.
pt::AdapterProfile ParseProfile(const std::string& text) {
  pt::AdapterProfile p = pt::DefaultAdapterProfile();
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find(';', pos);
    // The description comes last and may hold anything but a newline.
    if (text.compare(pos, 12, "description=") == 0) end = std::string::npos;
    std::string field = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    pos = end == std::string::npos ? text.size() : end + 1;
    size_t eq = field.find('=');
    if (eq == std::string::npos) continue;
    std::string key = field.substr(0, eq), value = field.substr(eq + 1);
    auto number = [&](const std::string& s) { return static_cast<uint32_t>(std::strtoull(s.c_str(), nullptr, 0)); };
    auto split = [](const std::string& s, char sep) {
      std::vector<std::string> out;
      size_t b = 0;
      while (b <= s.size() && !s.empty()) {
        size_t e = s.find(sep, b);
        out.push_back(s.substr(b, e == std::string::npos ? std::string::npos : e - b));
        if (e == std::string::npos) break;
        b = e + 1;
      }
      return out;
    };
    if (key == "modes") {
      p.modes.clear();
      for (const std::string& m : split(value, ',')) {
        unsigned w = 0, h = 0, r = 0;
        if (std::sscanf(m.c_str(), "%ux%u@%u", &w, &h, &r) >= 2) p.modes.push_back({w, h, r, D3DFMT_X8R8G8B8});
      }
    } else if (key == "desktop") {
      unsigned w = 0, h = 0;
      if (std::sscanf(value.c_str(), "%ux%u", &w, &h) == 2) {
        p.desktopWidth = w;
        p.desktopHeight = h;
      }
    } else if (key == "vs") {
      p.vertexShaderVersion = number(value);
    } else if (key == "ps") {
      p.pixelShaderVersion = number(value);
    } else if (key == "maxtex") {
      unsigned w = 0, h = 0;
      if (std::sscanf(value.c_str(), "%ux%u", &w, &h) == 2) {
        p.maxTextureWidth = w;
        p.maxTextureHeight = h;
      }
    } else if (key == "texcaps") {
      p.textureCaps = number(value);
    } else if (key == "misccaps") {
      p.primitiveMiscCaps = number(value);
    } else if (key == "dxt") {
      p.dxtFormats = number(value) != 0;
    } else if (key == "ms") {
      p.multiSample.clear();
      for (const std::string& m : split(value, ',')) {
        unsigned t = 0, q = 0;
        if (std::sscanf(m.c_str(), "%u:%u", &t, &q) == 2) {
          p.multiSample.push_back({static_cast<D3DMULTISAMPLE_TYPE>(t), q});
        }
      }
    } else if (key == "depth") {
      p.depthFormats.clear();
      for (const std::string& f : split(value, ',')) p.depthFormats.push_back(static_cast<D3DFORMAT>(number(f)));
    } else if (key == "mem") {
      p.textureMemoryMB = number(value);
    } else if (key == "vendor") {
      p.vendorId = number(value);
    } else if (key == "device") {
      p.deviceId = number(value);
    } else if (key == "version") {
      p.driverVersion = static_cast<LONGLONG>(std::strtoll(value.c_str(), nullptr, 0));
    } else if (key == "driver") {
      p.driver = value;
    } else if (key == "description") {
      p.description = value;
    }
  }
  return p;
}

pt::AdapterProfile Profile() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_profileRead) {
    g_profileRead = true;
    auto v = pt::GetSetting("d3d9.profile");
    g_profile = v ? ParseProfile(*v) : pt::DefaultAdapterProfile();
  }
  return g_profile;
}

// ---- Reference counting ----------------------------------------------------------
class Device;
class Texture;
class VertexBuffer;
class IndexBuffer;
class Declaration;

// The application's count and the device's internal count of one object.
template <class Interface>
class Counted : public Interface {
 public:
  Counted() { ++g_live; }
  Counted(const Counted&) = delete;
  Counted& operator=(const Counted&) = delete;

  ULONG AddRef() override {
    ULONG n = ++external_;
    if (n == 1) OnFirstExternal();
    return n;
  }
  ULONG Release() override {
    if (external_ == 0) return 0;  // an over-release is ignored rather than freeing twice
    ULONG left = --external_;
    if (left == 0) {
      // What this object held for the application (its device) is let go
      // last: that may free the device, and the device what it holds.
      IUnknown* held = OnLastExternal();
      if (internal_ == 0) delete this;
      if (held) held->Release();
    }
    return left;
  }
  void AddInternalRef() { ++internal_; }
  void ReleaseInternalRef() {
    if (internal_ > 0 && --internal_ == 0 && external_ == 0) delete this;
  }
  ULONG ExternalRefs() const { return external_; }

 protected:
  ~Counted() override { --g_live; }
  virtual void OnFirstExternal() {}
  // Returns an object to release once this one is settled.
  virtual IUnknown* OnLastExternal() { return nullptr; }
  ULONG external_ = 1;
  ULONG internal_ = 0;
};

// ---- Device-held references ----------------------------------------------------
// A binding slot of the device that holds an internal reference.
template <class T>
class Bound {
 public:
  Bound() = default;
  Bound(const Bound&) = delete;
  Bound& operator=(const Bound&) = delete;
  ~Bound() { Set(nullptr); }
  void Set(T* p) {
    if (p == p_) return;
    if (p) p->AddInternalRef();
    T* old = p_;
    p_ = p;
    if (old) old->ReleaseInternalRef();
  }
  T* get() const { return p_; }

 private:
  T* p_ = nullptr;
};

class Texture;

// ---- Surfaces ----------------------------------------------------------------
class Surface final : public Counted<IDirect3DSurface9> {
 public:
  // owner: null for a standalone surface, a texture for its levels.
  // implicit: the device's own back buffer (the device holds it).
  Surface(Device* device, const D3DSURFACE_DESC& desc, bool lockable, Texture* owner, bool implicit);

  ULONG AddRef() override;
  ULONG Release() override;

  HRESULT GetDevice(IDirect3DDevice9** device) override;
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
  HRESULT GetDesc(D3DSURFACE_DESC* desc) override {
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = desc_;
    return D3D_OK;
  }
  HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
  HRESULT UnlockRect() override {
    if (!locked_) return D3DERR_INVALIDCALL;
    locked_ = false;
    return D3D_OK;
  }

  const D3DSURFACE_DESC& Desc() const { return desc_; }
  BYTE* Bits() { return bytes_.data(); }
  UINT Pitch() const { return pitch_; }
  Texture* Owner() const { return owner_; }
  bool Implicit() const { return implicit_; }
  // The device's reference on a texture level goes to the texture.
  void AddInternalRef();
  void ReleaseInternalRef();
  Device* DeviceOf() const { return device_; }

  // ---- OpenGL copy -----------------------------------------------------------
  // The memory and the GL texture take turns holding the newest pixels:
  // CPU work reads back what the GPU drew, GPU work uploads what the CPU
  // wrote. Without a context both are no-ops.
  unsigned GlTexture();
  UINT GlLevel() const { return level_; }
  void SyncToCpu();
  bool SyncToGpu();
  void CpuWrote() { cpuDirty_ = true; }
  void GpuWrote() { gpuNewer_ = true; }
  platform::d3d9::gl::Pixels PixelsOf() {
    return {bytes_.data(), pitch_, desc_.Format, desc_.Width, desc_.Height};
  }

 protected:
  void OnFirstExternal() override;
  IUnknown* OnLastExternal() override;

 private:
  ~Surface() override;
  friend class Counted<IDirect3DSurface9>;
  friend class Texture;
  friend class Device;
  friend class Bound<Surface>;

  Device* device_;
  D3DSURFACE_DESC desc_;
  bool lockable_;
  Texture* owner_;
  bool implicit_;
  bool locked_ = false;
  UINT pitch_ = 0;
  std::vector<BYTE> bytes_;
  UINT level_ = 0;
  unsigned glTexture_ = 0;  // own texture (standalone surfaces)
  bool cpuDirty_ = true;
  bool gpuNewer_ = false;
};

// ---- Device ----------------------------------------------------------------------
class Device final : public Counted<IDirect3DDevice9> {
 public:
  Device(IDirect3D9* owner, const D3DPRESENT_PARAMETERS& params);

  // Default-pool resources the application still holds.
  int defaultPoolLive = 0;
  DWORD textureBytes = 0;

  HRESULT TestCooperativeLevel() override { return Level(); }
  HRESULT Reset(D3DPRESENT_PARAMETERS* params) override;
  HRESULT Present(const RECT*, const RECT*, HWND, const RGNDATA*) override;

  HRESULT GetDirect3D(IDirect3D9** d3d) override {
    if (!d3d) return D3DERR_INVALIDCALL;
    owner_->AddRef();
    *d3d = owner_;
    return D3D_OK;
  }
  HRESULT GetDeviceCaps(D3DCAPS9* caps) override;
  HRESULT GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) override {
    if (!mode || swapChain != 0) return D3DERR_INVALIDCALL;
    *mode = {params_.BackBufferWidth, params_.BackBufferHeight, 60, D3DFMT_X8R8G8B8};
    return D3D_OK;
  }
  UINT GetAvailableTextureMem() override {
    uint64_t total = static_cast<uint64_t>(Profile().textureMemoryMB) << 20;
    return static_cast<UINT>(total > textureBytes ? std::min<uint64_t>(total - textureBytes, 0xFFFFFFFFu) : 0);
  }
  HRESULT GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type,
                        IDirect3DSurface9** surface) override {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (swapChain != 0 || backBuffer >= backBuffers_.size() || type != D3DBACKBUFFER_TYPE_MONO) {
      return D3DERR_INVALIDCALL;
    }
    backBuffers_[backBuffer]->AddRef();
    *surface = backBuffers_[backBuffer];
    return D3D_OK;
  }
  HRESULT GetFrontBufferData(UINT swapChain, IDirect3DSurface9* dest) override;
  void SetGammaRamp(UINT swapChain, DWORD, const D3DGAMMARAMP* ramp) override {
    if (swapChain == 0 && ramp) gamma_ = *ramp;
  }
  void GetGammaRamp(UINT swapChain, D3DGAMMARAMP* ramp) override {
    if (swapChain == 0 && ramp) *ramp = gamma_;
  }

  HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                        IDirect3DTexture9** texture, HANDLE* shared) override;
  HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** vb,
                             HANDLE* shared) override;
  HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DIndexBuffer9** ib,
                            HANDLE* shared) override;
  HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE ms, DWORD quality,
                             BOOL lockable, IDirect3DSurface9** surface, HANDLE* shared) override;
  HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE ms,
                                    DWORD quality, BOOL discard, IDirect3DSurface9** surface,
                                    HANDLE* shared) override;
  HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                      IDirect3DSurface9** surface, HANDLE* shared) override;
  HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements, IDirect3DVertexDeclaration9** decl) override;
  HRESULT StretchRect(IDirect3DSurface9* src, const RECT* srcRect, IDirect3DSurface9* dst, const RECT* dstRect,
                      D3DTEXTUREFILTERTYPE filter) override;
  HRESULT GetRenderTargetData(IDirect3DSurface9* rt, IDirect3DSurface9* dest) override;
  HRESULT ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) override;

  HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* rt) override;
  HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** rt) override;
  HRESULT SetDepthStencilSurface(IDirect3DSurface9* ds) override;
  HRESULT GetDepthStencilSurface(IDirect3DSurface9** ds) override;
  HRESULT BeginScene() override {
    if (inScene_) return D3DERR_INVALIDCALL;
    inScene_ = true;
    return D3D_OK;
  }
  HRESULT EndScene() override {
    if (!inScene_) return D3DERR_INVALIDCALL;
    inScene_ = false;
    return D3D_OK;
  }
  HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) override;

  HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* m) override {
    if (!m) return D3DERR_INVALIDCALL;
    transforms_[state] = *m;
    return D3D_OK;
  }
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* m) override;
  HRESULT SetViewport(const D3DVIEWPORT9* vp) override;
  HRESULT GetViewport(D3DVIEWPORT9* vp) override {
    if (!vp) return D3DERR_INVALIDCALL;
    *vp = viewport_;
    return D3D_OK;
  }
  HRESULT SetMaterial(const D3DMATERIAL9* m) override {
    if (!m) return D3DERR_INVALIDCALL;
    material_ = *m;
    return D3D_OK;
  }
  HRESULT GetMaterial(D3DMATERIAL9* m) override {
    if (!m) return D3DERR_INVALIDCALL;
    *m = material_;
    return D3D_OK;
  }
  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override {
    if (state >= D3DRS_COUNT) return D3DERR_INVALIDCALL;
    renderStates_[state] = value;
    return D3D_OK;
  }
  HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override {
    if (state >= D3DRS_COUNT || !value) return D3DERR_INVALIDCALL;
    *value = renderStates_[state];
    return D3D_OK;
  }
  HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
  HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) override;
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override {
    if (stage >= D3D_MAX_TEXTURE_STAGES || type >= D3DTSS_COUNT) return D3DERR_INVALIDCALL;
    stageStates_[stage][type] = value;
    return D3D_OK;
  }
  HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override {
    if (stage >= D3D_MAX_TEXTURE_STAGES || type >= D3DTSS_COUNT || !value) return D3DERR_INVALIDCALL;
    *value = stageStates_[stage][type];
    return D3D_OK;
  }
  HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override {
    if (sampler >= D3D_MAX_SAMPLERS || type >= D3DSAMP_COUNT) return D3DERR_INVALIDCALL;
    samplerStates_[sampler][type] = value;
    return D3D_OK;
  }
  HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override {
    if (sampler >= D3D_MAX_SAMPLERS || type >= D3DSAMP_COUNT || !value) return D3DERR_INVALIDCALL;
    *value = samplerStates_[sampler][type];
    return D3D_OK;
  }

  HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* decl) override;
  HRESULT GetVertexDeclaration(IDirect3DVertexDeclaration9** decl) override;
  HRESULT SetFVF(DWORD fvf) override;
  HRESULT GetFVF(DWORD* fvf) override {
    if (!fvf) return D3DERR_INVALIDCALL;
    *fvf = fvf_;
    return D3D_OK;
  }
  HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* vb, UINT offset, UINT stride) override;
  HRESULT GetStreamSource(UINT stream, IDirect3DVertexBuffer9** vb, UINT* offset, UINT* stride) override;
  HRESULT SetIndices(IDirect3DIndexBuffer9* ib) override;
  HRESULT GetIndices(IDirect3DIndexBuffer9** ib) override;

  HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT count) override;
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex, UINT numVertices,
                               UINT startIndex, UINT count) override;
  HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* data, UINT stride) override;
  HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT count,
                                 const void* indices, D3DFORMAT indexFormat, const void* data,
                                 UINT stride) override;

  void SetEffectPass(const char* technique, int pass) {
    technique_ = technique ? technique : "";
    pass_ = technique ? pass : -1;
  }
  void SetPassProgram(const platform::d3d9::PassPrograms* programs, const void* vs, size_t vsBytes, const void* ps,
                      size_t psBytes) {
    programs_ = programs ? *programs : platform::d3d9::PassPrograms{};
    const BYTE* v = static_cast<const BYTE*>(vs);
    const BYTE* f = static_cast<const BYTE*>(ps);
    vertexConstants_.assign(v, v + (v ? vsBytes : 0));
    pixelConstants_.assign(f, f + (f ? psBytes : 0));
  }
  // Draws run on OpenGL (the context is current whenever this is true).
  bool UsesGl() const { return gl_; }

 private:
  ~Device() override;
  friend class Counted<IDirect3DDevice9>;

  void CreateSwapChain();
  void DropSwapChain();
  void DefaultStates();
  void UnbindAll();
  void Record(pt::DrawRecord record);
  HRESULT CheckDraw(UINT vertexEnd) const;
  bool ClearOnGl(const std::vector<RECT>& areas, DWORD flags, D3DCOLOR color, float z, DWORD stencil);
  bool Attachments(platform::d3d9::gl::Attachment colour[4], platform::d3d9::gl::Attachment* depth);
  // Runs a validated draw on OpenGL.
  void Execute(D3DPRIMITIVETYPE type, UINT first, UINT vertexCount, const platform::d3d9::gl::Indices* indices,
               const void* userData, size_t userBytes);
  bool gl_ = false;
  platform::d3d9::PassPrograms programs_;
  std::vector<BYTE> vertexConstants_, pixelConstants_;
  std::vector<platform::d3d9::gl::Element> fvfElements_;
  DWORD fvfElementsFor_ = 0xFFFFFFFFu;

  IDirect3D9* owner_;
  D3DPRESENT_PARAMETERS params_;
  std::vector<Surface*> backBuffers_;  // held internally
  std::vector<BYTE> front_;            // what the last Present showed, A8R8G8B8
  Bound<Surface> autoDepth_;
  D3DGAMMARAMP gamma_{};
  bool inScene_ = false;

  std::array<DWORD, D3DRS_COUNT> renderStates_{};
  std::array<std::array<DWORD, D3DTSS_COUNT>, D3D_MAX_TEXTURE_STAGES> stageStates_{};
  std::array<std::array<DWORD, D3DSAMP_COUNT>, D3D_MAX_SAMPLERS> samplerStates_{};
  std::map<uint32_t, D3DMATRIX> transforms_;
  D3DVIEWPORT9 viewport_{};
  D3DMATERIAL9 material_{};
  std::array<Bound<Surface>, 4> renderTargets_;
  Bound<Surface> depthStencil_;
  std::array<Bound<Texture>, D3D_MAX_SAMPLERS> textures_;
  struct Stream {
    Bound<VertexBuffer> buffer;
    UINT offset = 0;
    UINT stride = 0;
  };
  std::array<Stream, D3D_MAX_STREAMS> streams_;
  Bound<IndexBuffer> indices_;
  Bound<Declaration> declaration_;
  DWORD fvf_ = 0;
  std::string technique_;
  int pass_ = -1;
};

// ---- Textures -------------------------------------------------------------------
class Texture final : public Counted<IDirect3DTexture9> {
 public:
  Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool)
      : device_(device), usage_(usage), format_(format), pool_(pool) {
    for (UINT i = 0; i < levels; ++i) {
      D3DSURFACE_DESC desc{format, D3DRTYPE_SURFACE, usage, pool, D3DMULTISAMPLE_NONE, 0,
                           std::max(1u, width >> i), std::max(1u, height >> i)};
      bool lockable = !(usage & D3DUSAGE_RENDERTARGET) && !platform::d3d9::IsDepthFormat(format) &&
                      (pool != D3DPOOL_DEFAULT || (usage & D3DUSAGE_DYNAMIC));
      levels_.push_back(new Surface(device, desc, lockable, this, false));
      levels_.back()->level_ = i;
      bytes_ += static_cast<DWORD>(levels_.back()->bytes_.size());
    }
    OnFirstExternal();
  }

  HRESULT GetDevice(IDirect3DDevice9** device) override {
    if (!device) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *device = device_;
    return D3D_OK;
  }
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
  DWORD GetLevelCount() override { return static_cast<DWORD>(levels_.size()); }
  HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override {
    if (level >= levels_.size()) return D3DERR_INVALIDCALL;
    return levels_[level]->GetDesc(desc);
  }
  HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (level >= levels_.size()) return D3DERR_INVALIDCALL;
    AddRef();
    *surface = levels_[level];
    return D3D_OK;
  }
  HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override {
    if (level >= levels_.size()) return D3DERR_INVALIDCALL;
    return levels_[level]->LockRect(locked, rect, flags);
  }
  HRESULT UnlockRect(UINT level) override {
    if (level >= levels_.size()) return D3DERR_INVALIDCALL;
    return levels_[level]->UnlockRect();
  }

  unsigned GlTexture();
  // Uploads what the application changed; false when the driver has no
  // texture for it.
  bool SyncToGpu() {
    for (Surface* s : levels_) {
      if (!s->SyncToGpu()) return false;
    }
    return true;
  }

 protected:
  void OnFirstExternal() override;
  IUnknown* OnLastExternal() override;

 private:
  ~Texture() override {
    for (Surface* s : levels_) delete s;
    platform::d3d9::gl::DeleteTexture(glTexture_);
  }
  friend class Counted<IDirect3DTexture9>;

  Device* device_;
  DWORD usage_;
  D3DFORMAT format_;
  D3DPOOL pool_;
  DWORD bytes_ = 0;
  std::vector<Surface*> levels_;
  unsigned glTexture_ = 0;
};

// ---- Buffers --------------------------------------------------------------------
template <class Interface, class Desc>
class Buffer : public Counted<Interface> {
 public:
  Buffer(Device* device, UINT length, DWORD usage, D3DPOOL pool, const Desc& desc)
      : device_(device), usage_(usage), pool_(pool), desc_(desc), bytes_(length) {
    OnFirstExternal();
  }
  HRESULT GetDevice(IDirect3DDevice9** device) override {
    if (!device) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *device = device_;
    return D3D_OK;
  }
  HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override {
    if (!data) return D3DERR_INVALIDCALL;
    *data = nullptr;
    if (locked_ || offset > bytes_.size() || size > bytes_.size() - offset) return D3DERR_INVALIDCALL;
    RecordLock(static_cast<Interface*>(this), offset, size, flags);
    locked_ = true;
    dirty_ = true;
    *data = bytes_.data() + offset;
    return D3D_OK;
  }
  HRESULT Unlock() override {
    if (!locked_) return D3DERR_INVALIDCALL;
    locked_ = false;
    return D3D_OK;
  }
  HRESULT GetDesc(Desc* desc) override {
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = desc_;
    return D3D_OK;
  }
  UINT Size() const { return static_cast<UINT>(bytes_.size()); }
  const BYTE* Data() const { return bytes_.data(); }
  // The GL copy, uploaded again after a lock.
  unsigned GlBuffer() {
    if (!glBuffer_) glBuffer_ = platform::d3d9::gl::CreateBuffer();
    if (dirty_) {
      platform::d3d9::gl::UploadBuffer(glBuffer_, bytes_.data(), bytes_.size());
      dirty_ = false;
    }
    return glBuffer_;
  }

 protected:
  void OnFirstExternal() override {
    device_->AddRef();
    if (pool_ == D3DPOOL_DEFAULT) ++device_->defaultPoolLive;
  }
  IUnknown* OnLastExternal() override {
    if (pool_ == D3DPOOL_DEFAULT) --device_->defaultPoolLive;
    return device_;
  }

  Device* device_;
  DWORD usage_;
  D3DPOOL pool_;
  Desc desc_;
  bool locked_ = false;
  std::vector<BYTE> bytes_;
  unsigned glBuffer_ = 0;
  bool dirty_ = true;

  ~Buffer() override { platform::d3d9::gl::DeleteBuffer(glBuffer_); }
};

class VertexBuffer final : public Buffer<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC> {
 public:
  using Buffer::Buffer;
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }

 private:
  ~VertexBuffer() override = default;
  friend class Counted<IDirect3DVertexBuffer9>;
};

class IndexBuffer final : public Buffer<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC> {
 public:
  using Buffer::Buffer;
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }

 private:
  ~IndexBuffer() override = default;
  friend class Counted<IDirect3DIndexBuffer9>;
};

class Declaration final : public Counted<IDirect3DVertexDeclaration9> {
 public:
  Declaration(Device* device, std::vector<D3DVERTEXELEMENT9> elements)
      : device_(device), elements_(std::move(elements)) {
    for (const D3DVERTEXELEMENT9& e : elements_) {
      if (e.Stream != 0xFF) gl_.push_back({e.Stream, e.Offset, e.Type, e.Usage, e.UsageIndex});
    }
    OnFirstExternal();
  }
  const std::vector<platform::d3d9::gl::Element>& GlElements() const { return gl_; }
  HRESULT GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* count) override {
    if (!count) return D3DERR_INVALIDCALL;
    if (elements) std::copy(elements_.begin(), elements_.end(), elements);
    *count = static_cast<UINT>(elements_.size());
    return D3D_OK;
  }

 protected:
  void OnFirstExternal() override { device_->AddRef(); }
  IUnknown* OnLastExternal() override { return device_; }

 private:
  ~Declaration() override = default;
  Device* device_;
  std::vector<D3DVERTEXELEMENT9> elements_;
  std::vector<platform::d3d9::gl::Element> gl_;
};

// ---- Surface bodies ----------------------------------------------------------------
Surface::Surface(Device* device, const D3DSURFACE_DESC& desc, bool lockable, Texture* owner, bool implicit)
    : device_(device), desc_(desc), lockable_(lockable), owner_(owner), implicit_(implicit) {
  UINT rows = 0;
  if (!platform::d3d9::Layout(desc.Format, desc.Width, desc.Height, &pitch_, &rows)) {
    pitch_ = desc.Width * 4;  // callers check the format first; keep memory defined anyway
    rows = desc.Height;
  }
  bytes_.assign(static_cast<size_t>(pitch_) * rows, 0);
  if (owner_) {
    --g_live;  // levels are counted with their texture
    external_ = 0;
  } else if (implicit_) {
    --g_live;  // the device's own surfaces are counted with it
    external_ = 0;
    internal_ = 1;  // the device's own reference
  } else {
    OnFirstExternal();
  }
}

Surface::~Surface() {
  if (owner_ || implicit_) ++g_live;  // counted with their texture or device
  platform::d3d9::gl::DeleteTexture(glTexture_);
}

unsigned Surface::GlTexture() {
  if (!device_->UsesGl()) return 0;
  if (owner_) return owner_->GlTexture();
  if (!glTexture_) glTexture_ = platform::d3d9::gl::CreateTexture(desc_.Format, desc_.Width, desc_.Height, 1);
  return glTexture_;
}

void Surface::SyncToCpu() {
  if (!gpuNewer_) return;
  gpuNewer_ = false;
  if (device_->UsesGl()) platform::d3d9::gl::Readback(GlTexture(), level_, PixelsOf());
}

bool Surface::SyncToGpu() {
  unsigned t = GlTexture();
  if (!t) return false;
  if (cpuDirty_) {
    cpuDirty_ = false;
    platform::d3d9::gl::Upload(t, level_, PixelsOf());
  }
  return true;
}

unsigned Texture::GlTexture() {
  if (!glTexture_ && device_->UsesGl() && !levels_.empty()) {
    const D3DSURFACE_DESC& d = levels_[0]->desc_;
    glTexture_ = platform::d3d9::gl::CreateTexture(format_, d.Width, d.Height, static_cast<UINT>(levels_.size()));
  }
  return glTexture_;
}

ULONG Surface::AddRef() {
  if (owner_) return owner_->AddRef();
  return Counted::AddRef();
}

ULONG Surface::Release() {
  if (owner_) return owner_->Release();
  return Counted::Release();
}

void Surface::AddInternalRef() {
  if (owner_) {
    owner_->AddInternalRef();
  } else {
    Counted::AddInternalRef();
  }
}

void Surface::ReleaseInternalRef() {
  if (owner_) {
    owner_->ReleaseInternalRef();
  } else {
    Counted::ReleaseInternalRef();
  }
}

void Surface::OnFirstExternal() {
  device_->AddRef();
  if (desc_.Pool == D3DPOOL_DEFAULT) ++device_->defaultPoolLive;
}

IUnknown* Surface::OnLastExternal() {
  if (desc_.Pool == D3DPOOL_DEFAULT) --device_->defaultPoolLive;
  return device_;
}

HRESULT Surface::GetDevice(IDirect3DDevice9** device) {
  if (!device) return D3DERR_INVALIDCALL;
  device_->AddRef();
  *device = device_;
  return D3D_OK;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD) {
  if (!locked) return D3DERR_INVALIDCALL;
  if (!lockable_ || locked_) return D3DERR_INVALIDCALL;
  LONG x = 0, y = 0;
  if (rect) {
    if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom ||
        static_cast<UINT>(rect->right) > desc_.Width || static_cast<UINT>(rect->bottom) > desc_.Height) {
      return D3DERR_INVALIDCALL;
    }
    x = rect->left;
    y = rect->top;
  }
  size_t offset;
  if (platform::d3d9::IsDxt(desc_.Format)) {
    if (x % 4 || y % 4) return D3DERR_INVALIDCALL;
    offset = static_cast<size_t>(y / 4) * pitch_ + static_cast<size_t>(x / 4) * platform::d3d9::BlockBytes(desc_.Format);
  } else {
    offset = static_cast<size_t>(y) * pitch_ + static_cast<size_t>(x) * platform::d3d9::BytesPerPixel(desc_.Format);
  }
  SyncToCpu();
  cpuDirty_ = true;
  locked_ = true;
  locked->Pitch = static_cast<INT>(pitch_);
  locked->pBits = bytes_.data() + offset;
  return D3D_OK;
}

void Texture::OnFirstExternal() {
  device_->AddRef();
  if (pool_ == D3DPOOL_DEFAULT) ++device_->defaultPoolLive;
  device_->textureBytes += bytes_;
}

IUnknown* Texture::OnLastExternal() {
  device_->textureBytes -= bytes_;
  if (pool_ == D3DPOOL_DEFAULT) --device_->defaultPoolLive;
  return device_;
}

Surface* AsSurface(IDirect3DSurface9* s) { return static_cast<Surface*>(s); }

// ---- Pixel copies -----------------------------------------------------------------
bool ValidRect(const RECT& r, UINT width, UINT height) {
  return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom && static_cast<UINT>(r.right) <= width &&
         static_cast<UINT>(r.bottom) <= height;
}

// Scales the source rectangle into the destination one, converting format.
void CopyPixels(Surface* src, const RECT& sr, Surface* dst, const RECT& dr, bool linear) {
  const D3DFORMAT sf = src->Desc().Format, df = dst->Desc().Format;
  const UINT sb = platform::d3d9::BytesPerPixel(sf), db = platform::d3d9::BytesPerPixel(df);
  const LONG sw = sr.right - sr.left, sh = sr.bottom - sr.top;
  const LONG dw = dr.right - dr.left, dh = dr.bottom - dr.top;
  auto fetch = [&](LONG x, LONG y, float out[4]) {
    x = std::clamp(x, sr.left, sr.right - 1);
    y = std::clamp(y, sr.top, sr.bottom - 1);
    platform::d3d9::DecodePixel(sf, src->Bits() + static_cast<size_t>(y) * src->Pitch() + static_cast<size_t>(x) * sb,
                                out);
  };
  if (sf == df && sw == dw && sh == dh) {
    for (LONG y = 0; y < dh; ++y) {
      std::memmove(dst->Bits() + static_cast<size_t>(dr.top + y) * dst->Pitch() + static_cast<size_t>(dr.left) * db,
                   src->Bits() + static_cast<size_t>(sr.top + y) * src->Pitch() + static_cast<size_t>(sr.left) * sb,
                   static_cast<size_t>(dw) * db);
    }
    return;
  }
  for (LONG y = 0; y < dh; ++y) {
    for (LONG x = 0; x < dw; ++x) {
      float rgba[4];
      // Sample at the destination pixel's centre mapped into the source.
      float fx = (static_cast<float>(x) + 0.5f) * static_cast<float>(sw) / static_cast<float>(dw) - 0.5f;
      float fy = (static_cast<float>(y) + 0.5f) * static_cast<float>(sh) / static_cast<float>(dh) - 0.5f;
      if (!linear) {
        fetch(sr.left + static_cast<LONG>(std::floor(fx + 0.5f)), sr.top + static_cast<LONG>(std::floor(fy + 0.5f)),
              rgba);
      } else {
        LONG x0 = static_cast<LONG>(std::floor(fx)), y0 = static_cast<LONG>(std::floor(fy));
        float tx = fx - static_cast<float>(x0), ty = fy - static_cast<float>(y0);
        float c00[4], c10[4], c01[4], c11[4];
        fetch(sr.left + x0, sr.top + y0, c00);
        fetch(sr.left + x0 + 1, sr.top + y0, c10);
        fetch(sr.left + x0, sr.top + y0 + 1, c01);
        fetch(sr.left + x0 + 1, sr.top + y0 + 1, c11);
        for (int c = 0; c < 4; ++c) {
          float top = c00[c] + (c10[c] - c00[c]) * tx;
          float bottom = c01[c] + (c11[c] - c01[c]) * tx;
          rgba[c] = top + (bottom - top) * ty;
        }
      }
      platform::d3d9::EncodePixel(
          df, rgba, dst->Bits() + static_cast<size_t>(dr.top + y) * dst->Pitch() + static_cast<size_t>(dr.left + x) * db);
    }
  }
}

void Fill(Surface* s, const RECT& r, const BYTE* pixel, UINT bpp) {
  for (LONG y = r.top; y < r.bottom; ++y) {
    BYTE* row = s->Bits() + static_cast<size_t>(y) * s->Pitch();
    if (bpp == 4) {  // the usual target: a fixed-size copy the compiler turns into wide stores
      for (LONG x = r.left; x < r.right; ++x) std::memcpy(row + static_cast<size_t>(x) * 4, pixel, 4);
      continue;
    }
    for (LONG x = r.left; x < r.right; ++x) std::memcpy(row + static_cast<size_t>(x) * bpp, pixel, bpp);
  }
}

bool IsColourFormat(D3DFORMAT f) {
  float rgba[4];
  BYTE probe[16] = {};
  return platform::d3d9::BytesPerPixel(f) != 0 && !platform::d3d9::IsDepthFormat(f) &&
         platform::d3d9::DecodePixel(f, probe, rgba);
}

// ---- Device bodies ----------------------------------------------------------------
Device::Device(IDirect3D9* owner, const D3DPRESENT_PARAMETERS& params) : owner_(owner), params_(params) {
  gl_ = Executing() && platform::d3d9::gl::Acquire();
  owner_->AddRef();  // a device keeps its Direct3D object alive
  for (int i = 0; i < 256; ++i) {
    WORD v = static_cast<WORD>(i * 257);
    gamma_.red[i] = gamma_.green[i] = gamma_.blue[i] = v;
  }
  CreateSwapChain();
  DefaultStates();
}

Device::~Device() {
  UnbindAll();
  DropSwapChain();
  if (gl_) platform::d3d9::gl::Release();
  owner_->Release();
}

void Device::CreateSwapChain() {
  if (params_.BackBufferCount == 0) params_.BackBufferCount = 1;
  if (params_.BackBufferFormat == D3DFMT_UNKNOWN) params_.BackBufferFormat = D3DFMT_X8R8G8B8;
  for (UINT i = 0; i < params_.BackBufferCount; ++i) {
    D3DSURFACE_DESC desc{params_.BackBufferFormat, D3DRTYPE_SURFACE, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT,
                         params_.MultiSampleType, params_.MultiSampleQuality, params_.BackBufferWidth,
                         params_.BackBufferHeight};
    backBuffers_.push_back(new Surface(this, desc, false, nullptr, true));
  }
  front_.assign(static_cast<size_t>(params_.BackBufferWidth) * params_.BackBufferHeight * 4, 0);
  if (params_.EnableAutoDepthStencil) {
    D3DSURFACE_DESC desc{params_.AutoDepthStencilFormat, D3DRTYPE_SURFACE, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT,
                         params_.MultiSampleType, params_.MultiSampleQuality, params_.BackBufferWidth,
                         params_.BackBufferHeight};
    Surface* depth = new Surface(this, desc, false, nullptr, true);
    autoDepth_.Set(depth);
    depth->ReleaseInternalRef();  // now held by autoDepth_ only
  }
}

void Device::DropSwapChain() {
  autoDepth_.Set(nullptr);
  for (Surface* s : backBuffers_) s->ReleaseInternalRef();
  backBuffers_.clear();
}

void Device::UnbindAll() {
  for (auto& rt : renderTargets_) rt.Set(nullptr);
  depthStencil_.Set(nullptr);
  for (auto& t : textures_) t.Set(nullptr);
  for (auto& s : streams_) {
    s.buffer.Set(nullptr);
    s.offset = s.stride = 0;
  }
  indices_.Set(nullptr);
  declaration_.Set(nullptr);
}

DWORD FloatBits(float f) {
  DWORD d;
  std::memcpy(&d, &f, 4);
  return d;
}

void Device::DefaultStates() {
  UnbindAll();
  renderStates_.fill(0);
  renderStates_[D3DRS_ZENABLE] = params_.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
  renderStates_[D3DRS_FILLMODE] = 3;   // solid
  renderStates_[D3DRS_SHADEMODE] = 2;  // Gouraud
  renderStates_[D3DRS_ZWRITEENABLE] = TRUE;
  renderStates_[D3DRS_LASTPIXEL] = TRUE;
  renderStates_[D3DRS_SRCBLEND] = D3DBLEND_ONE;
  renderStates_[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
  renderStates_[D3DRS_CULLMODE] = D3DCULL_CCW;
  renderStates_[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
  renderStates_[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
  renderStates_[D3DRS_STENCILFAIL] = 1;  // keep
  renderStates_[D3DRS_STENCILZFAIL] = 1;
  renderStates_[D3DRS_STENCILPASS] = 1;
  renderStates_[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
  renderStates_[D3DRS_STENCILMASK] = 0xFFFFFFFFu;
  renderStates_[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFFu;
  renderStates_[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
  renderStates_[D3DRS_LIGHTING] = TRUE;
  renderStates_[D3DRS_COLORVERTEX] = TRUE;
  renderStates_[D3DRS_POINTSIZE] = FloatBits(1.0f);
  renderStates_[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
  renderStates_[D3DRS_COLORWRITEENABLE] = 0xF;
  renderStates_[D3DRS_BLENDOP] = 1;  // add
  for (DWORD s = 0; s < D3D_MAX_TEXTURE_STAGES; ++s) {
    auto& st = stageStates_[s];
    st.fill(0);
    st[D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    st[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    st[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    st[D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    st[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    st[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    st[D3DTSS_TEXCOORDINDEX] = s;
  }
  for (auto& st : samplerStates_) {
    st.fill(0);
    st[D3DSAMP_ADDRESSU] = st[D3DSAMP_ADDRESSV] = st[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
    st[D3DSAMP_MAGFILTER] = st[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
    st[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
    st[D3DSAMP_MAXANISOTROPY] = 1;
  }
  transforms_.clear();
  material_ = {};
  fvf_ = 0;
  inScene_ = false;
  renderTargets_[0].Set(backBuffers_.empty() ? nullptr : backBuffers_[0]);
  depthStencil_.Set(autoDepth_.get());
  viewport_ = {0, 0, params_.BackBufferWidth, params_.BackBufferHeight, 0.0f, 1.0f};
}

// The presentation parameters as a child's test reads them ("d3d9.report").
void ReportParameters(const char* call, const D3DPRESENT_PARAMETERS& p) {
  char line[256];
  std::snprintf(line, sizeof line,
                "%s %ux%u format=%u backbuffers=%u multisample=%u quality=%u windowed=%d depth=%u interval=%u", call,
                p.BackBufferWidth, p.BackBufferHeight, static_cast<unsigned>(p.BackBufferFormat), p.BackBufferCount,
                static_cast<unsigned>(p.MultiSampleType), static_cast<unsigned>(p.MultiSampleQuality), p.Windowed,
                p.EnableAutoDepthStencil ? static_cast<unsigned>(p.AutoDepthStencilFormat) : 0u,
                p.PresentationInterval);
  pt::AppendReport("d3d9.report", line);
}

HRESULT Device::Reset(D3DPRESENT_PARAMETERS* params) {
  ++g_resets;
  if (!params) return D3DERR_INVALIDCALL;
  HRESULT level = Level();
  if (level == D3DERR_DEVICELOST) return D3DERR_DEVICELOST;
  if (level != D3D_OK && level != D3DERR_DEVICENOTRESET) return level;
  // The runtime refuses while the application holds anything that lives
  // in video memory, its own back buffers included, and leaves the device
  // waiting for a reset that succeeds.
  bool held = defaultPoolLive > 0 || (autoDepth_.get() && autoDepth_.get()->ExternalRefs() > 0);
  for (Surface* s : backBuffers_) held |= s->ExternalRefs() > 0;
  if (held) {
    pt::SetCooperativeLevel(D3DERR_DEVICENOTRESET);
    return D3DERR_INVALIDCALL;
  }
  UnbindAll();
  DropSwapChain();
  params_ = *params;
  CreateSwapChain();
  *params = params_;  // the runtime fills in what was left to it
  ReportParameters("Reset", params_);
  DefaultStates();
  pt::SetCooperativeLevel(D3D_OK);
  return D3D_OK;
}

HRESULT Device::Present(const RECT*, const RECT*, HWND window, const RGNDATA*) {
  if (Level() != D3D_OK) return D3DERR_DEVICELOST;
  if (inScene_) return D3DERR_INVALIDCALL;
  Surface* back = backBuffers_.empty() ? nullptr : backBuffers_[0];
  if (back) back->SyncToCpu();
  if (back && (back->Desc().Format == D3DFMT_A8R8G8B8 || back->Desc().Format == D3DFMT_X8R8G8B8)) {
    // The usual case: rows as they are, made opaque.
    const UINT w = back->Desc().Width, h = back->Desc().Height;
    for (UINT y = 0; y < h; ++y) {
      const BYTE* src = back->Bits() + static_cast<size_t>(y) * back->Pitch();
      BYTE* dst = front_.data() + static_cast<size_t>(y) * w * 4;
      // One pass of whole words (alpha is the top byte), which the compiler widens.
      for (UINT x = 0; x < w; ++x) {
        uint32_t pixel;
        std::memcpy(&pixel, src + static_cast<size_t>(x) * 4, 4);
        pixel |= 0xFF000000u;
        std::memcpy(dst + static_cast<size_t>(x) * 4, &pixel, 4);
      }
    }
  } else if (back) {
    const UINT w = back->Desc().Width, h = back->Desc().Height, bpp = platform::d3d9::BytesPerPixel(back->Desc().Format);
    for (UINT y = 0; y < h; ++y) {
      for (UINT x = 0; x < w; ++x) {
        float rgba[4] = {0, 0, 0, 1};
        platform::d3d9::DecodePixel(back->Desc().Format, back->Bits() + static_cast<size_t>(y) * back->Pitch() + x * bpp,
                                    rgba);
        rgba[3] = 1.0f;  // the screen has no alpha
        platform::d3d9::EncodePixel(D3DFMT_A8R8G8B8, rgba, front_.data() + (static_cast<size_t>(y) * w + x) * 4);
      }
    }
  }
  const int presented = ++g_presents;
  if (FrameReport()) {
    // "frame <n> draws=<count> <technique> ...", n counting from 1.
    std::string line = "frame " + std::to_string(presented);
    {
      std::lock_guard<std::mutex> lock(g_mutex);
      line += " draws=" + std::to_string(g_frameDraws);
      for (const std::string& t : g_frameTechniques) line += " " + t;
      g_frameDraws = 0;
      g_frameTechniques.clear();
    }
    pt::AppendReport("d3d9.report", line);
  }
  if (back) {
    const int w = static_cast<int>(back->Desc().Width), h = static_cast<int>(back->Desc().Height);
    platform::PresentToWindow(window ? window : params_.hDeviceWindow, front_.data(), w, h, w * 4);
  }
  return D3D_OK;
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* caps) { return owner_->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, caps); }

HRESULT Device::GetFrontBufferData(UINT swapChain, IDirect3DSurface9* dest) {
  if (swapChain != 0 || !dest) return D3DERR_INVALIDCALL;
  Surface* d = AsSurface(dest);
  const D3DSURFACE_DESC& desc = d->Desc();
  if (desc.Format != D3DFMT_A8R8G8B8 || desc.Pool == D3DPOOL_DEFAULT || desc.Width != params_.BackBufferWidth ||
      desc.Height != params_.BackBufferHeight) {
    return D3DERR_INVALIDCALL;
  }
  for (UINT y = 0; y < desc.Height; ++y) {
    std::memcpy(d->Bits() + static_cast<size_t>(y) * d->Pitch(), front_.data() + static_cast<size_t>(y) * desc.Width * 4,
                static_cast<size_t>(desc.Width) * 4);
  }
  return D3D_OK;
}

bool PowerOfTwo(UINT v) { return v && !(v & (v - 1)); }

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DTexture9** texture, HANDLE* shared) {
  if (!texture) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  pt::AdapterProfile profile = Profile();
  if (shared || width == 0 || height == 0 || width > profile.maxTextureWidth || height > profile.maxTextureHeight) {
    return D3DERR_INVALIDCALL;
  }
  if (pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
  if ((usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) && pool != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
  if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
  UINT pitch, rows;
  if (!platform::d3d9::Layout(format, width, height, &pitch, &rows)) return D3DERR_INVALIDCALL;
  if (platform::d3d9::IsDxt(format) && !profile.dxtFormats && pool != D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
  if ((usage & D3DUSAGE_RENDERTARGET) && !IsColourFormat(format)) return D3DERR_INVALIDCALL;
  if ((profile.textureCaps & D3DPTEXTURECAPS_POW2) && !(profile.textureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) &&
      pool != D3DPOOL_SCRATCH && (!PowerOfTwo(width) || !PowerOfTwo(height))) {
    return D3DERR_INVALIDCALL;
  }
  UINT full = 1;
  for (UINT w = width, h = height; w > 1 || h > 1; w = std::max(1u, w / 2), h = std::max(1u, h / 2)) ++full;
  if (levels == 0) levels = (usage & D3DUSAGE_AUTOGENMIPMAP) ? 1 : full;
  if (levels > full) return D3DERR_INVALIDCALL;
  auto* made = new Texture(this, width, height, levels, usage, format, pool);
  if (gl_ && pool != D3DPOOL_SCRATCH && pool != D3DPOOL_SYSTEMMEM && !made->GlTexture()) {
    made->Release();
    return D3DERR_INVALIDCALL;
  }
  *texture = made;
  return D3D_OK;
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** vb,
                                   HANDLE* shared) {
  if (!vb) return D3DERR_INVALIDCALL;
  *vb = nullptr;
  if (shared || length == 0 || pool > D3DPOOL_SCRATCH || pool == D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
  if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
  D3DVERTEXBUFFER_DESC desc{D3DFMT_UNKNOWN, D3DRTYPE_VERTEXBUFFER, usage, pool, length, fvf};
  *vb = new VertexBuffer(this, length, usage, pool, desc);
  return D3D_OK;
}

HRESULT Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DIndexBuffer9** ib,
                                  HANDLE* shared) {
  if (!ib) return D3DERR_INVALIDCALL;
  *ib = nullptr;
  if (shared || length == 0 || pool >= D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
  if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
  if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
  D3DINDEXBUFFER_DESC desc{format, D3DRTYPE_INDEXBUFFER, usage, pool, length};
  *ib = new IndexBuffer(this, length, usage, pool, desc);
  return D3D_OK;
}

bool MultiSampleOffered(D3DMULTISAMPLE_TYPE type, DWORD quality) {
  if (type == D3DMULTISAMPLE_NONE) return quality == 0;
  for (const pt::MultiSampleOffer& o : Profile().multiSample) {
    if (o.type == type) return quality < o.qualityLevels;
  }
  return false;
}

HRESULT Device::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE ms, DWORD quality,
                                   BOOL lockable, IDirect3DSurface9** surface, HANDLE* shared) {
  if (!surface) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  pt::AdapterProfile profile = Profile();
  if (shared || width == 0 || height == 0 || width > 16384 || height > 16384 || !IsColourFormat(format)) {
    return D3DERR_INVALIDCALL;
  }
  if (!MultiSampleOffered(ms, quality)) return D3DERR_INVALIDCALL;
  D3DSURFACE_DESC desc{format, D3DRTYPE_SURFACE, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT, ms, quality, width, height};
  *surface = new Surface(this, desc, lockable && ms == D3DMULTISAMPLE_NONE, nullptr, false);
  return D3D_OK;
}

HRESULT Device::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE ms,
                                          DWORD quality, BOOL, IDirect3DSurface9** surface, HANDLE* shared) {
  if (!surface) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  if (shared || width == 0 || height == 0 || width > 16384 || height > 16384) return D3DERR_INVALIDCALL;
  const auto& formats = Profile().depthFormats;
  if (std::find(formats.begin(), formats.end(), format) == formats.end()) return D3DERR_INVALIDCALL;
  if (!MultiSampleOffered(ms, quality)) return D3DERR_INVALIDCALL;
  D3DSURFACE_DESC desc{format, D3DRTYPE_SURFACE, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT, ms, quality, width, height};
  *surface = new Surface(this, desc, false, nullptr, false);
  return D3D_OK;
}

HRESULT Device::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                            IDirect3DSurface9** surface, HANDLE* shared) {
  if (!surface) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  UINT pitch, rows;
  if (shared || pool == D3DPOOL_MANAGED || pool > D3DPOOL_SCRATCH || width > 16384 || height > 16384 ||
      platform::d3d9::IsDepthFormat(format) || !platform::d3d9::Layout(format, width, height, &pitch, &rows)) {
    return D3DERR_INVALIDCALL;
  }
  D3DSURFACE_DESC desc{format, D3DRTYPE_SURFACE, 0, pool, D3DMULTISAMPLE_NONE, 0, width, height};
  *surface = new Surface(this, desc, true, nullptr, false);
  return D3D_OK;
}

HRESULT Device::CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements, IDirect3DVertexDeclaration9** decl) {
  if (!decl) return D3DERR_INVALIDCALL;
  *decl = nullptr;
  if (!elements) return D3DERR_INVALIDCALL;
  std::vector<D3DVERTEXELEMENT9> list;
  for (UINT i = 0;; ++i) {
    if (i >= MAXD3DDECLLENGTH) return D3DERR_INVALIDCALL;  // no end marker
    list.push_back(elements[i]);
    if (elements[i].Stream == 0xFF) break;
    if (elements[i].Stream >= D3D_MAX_STREAMS || elements[i].Type >= D3DDECLTYPE_UNUSED) return D3DERR_INVALIDCALL;
  }
  *decl = new Declaration(this, std::move(list));
  return D3D_OK;
}

HRESULT Device::StretchRect(IDirect3DSurface9* src, const RECT* srcRect, IDirect3DSurface9* dst, const RECT* dstRect,
                            D3DTEXTUREFILTERTYPE filter) {
  if (!src || !dst || src == dst || inScene_) return D3DERR_INVALIDCALL;
  Surface* s = AsSurface(src);
  Surface* d = AsSurface(dst);
  const D3DSURFACE_DESC &sd = s->Desc(), &dd = d->Desc();
  // Video memory to video memory, colour formats, a multisampled target
  // only as source, as the runtime allows.
  if (sd.Pool != D3DPOOL_DEFAULT || dd.Pool != D3DPOOL_DEFAULT || !IsColourFormat(sd.Format) ||
      !IsColourFormat(dd.Format) || dd.MultiSampleType != D3DMULTISAMPLE_NONE) {
    return D3DERR_INVALIDCALL;
  }
  if (d->Owner() && !(dd.Usage & D3DUSAGE_RENDERTARGET)) return D3DERR_INVALIDCALL;
  if (filter > D3DTEXF_LINEAR) return D3DERR_INVALIDCALL;
  RECT sr = srcRect ? *srcRect : RECT{0, 0, static_cast<LONG>(sd.Width), static_cast<LONG>(sd.Height)};
  RECT dr = dstRect ? *dstRect : RECT{0, 0, static_cast<LONG>(dd.Width), static_cast<LONG>(dd.Height)};
  if (!ValidRect(sr, sd.Width, sd.Height) || !ValidRect(dr, dd.Width, dd.Height)) return D3DERR_INVALIDCALL;
  if (gl_ && s->SyncToGpu() && d->SyncToGpu()) {
    const platform::d3d9::gl::Attachment from{s->GlTexture(), s->GlLevel(), sd.Width, sd.Height, sd.Format};
    const platform::d3d9::gl::Attachment to{d->GlTexture(), d->GlLevel(), dd.Width, dd.Height, dd.Format};
    if (platform::d3d9::gl::Blit(from, sr, to, dr, filter == D3DTEXF_LINEAR)) {
      d->GpuWrote();
      return D3D_OK;
    }
  }
  s->SyncToCpu();
  d->SyncToCpu();
  CopyPixels(s, sr, d, dr, filter == D3DTEXF_LINEAR);
  d->CpuWrote();
  return D3D_OK;
}

HRESULT Device::GetRenderTargetData(IDirect3DSurface9* rt, IDirect3DSurface9* dest) {
  if (!rt || !dest) return D3DERR_INVALIDCALL;
  Surface* s = AsSurface(rt);
  Surface* d = AsSurface(dest);
  const D3DSURFACE_DESC &sd = s->Desc(), &dd = d->Desc();
  if (!(sd.Usage & D3DUSAGE_RENDERTARGET) || sd.MultiSampleType != D3DMULTISAMPLE_NONE ||
      dd.Pool != D3DPOOL_SYSTEMMEM || sd.Format != dd.Format || sd.Width != dd.Width || sd.Height != dd.Height) {
    return D3DERR_INVALIDCALL;
  }
  s->SyncToCpu();
  d->SyncToCpu();
  std::memcpy(d->Bits(), s->Bits(), std::min(d->bytes_.size(), s->bytes_.size()));
  d->CpuWrote();
  return D3D_OK;
}

HRESULT Device::ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) {
  if (!surface) return D3DERR_INVALIDCALL;
  Surface* s = AsSurface(surface);
  const D3DSURFACE_DESC& sd = s->Desc();
  if (sd.Pool != D3DPOOL_DEFAULT || !IsColourFormat(sd.Format)) return D3DERR_INVALIDCALL;
  RECT r = rect ? *rect : RECT{0, 0, static_cast<LONG>(sd.Width), static_cast<LONG>(sd.Height)};
  if (!ValidRect(r, sd.Width, sd.Height)) return D3DERR_INVALIDCALL;
  float rgba[4];
  platform::d3d9::ColorToFloats(color, rgba);
  BYTE pixel[16];
  platform::d3d9::EncodePixel(sd.Format, rgba, pixel);
  s->SyncToCpu();
  Fill(s, r, pixel, platform::d3d9::BytesPerPixel(sd.Format));
  s->CpuWrote();
  return D3D_OK;
}

HRESULT Device::SetRenderTarget(DWORD index, IDirect3DSurface9* rt) {
  if (index >= renderTargets_.size()) return D3DERR_INVALIDCALL;
  if (index == 0 && !rt) return D3DERR_INVALIDCALL;
  Surface* s = AsSurface(rt);
  if (s && !(s->Desc().Usage & D3DUSAGE_RENDERTARGET)) return D3DERR_INVALIDCALL;
  renderTargets_[index].Set(s);
  if (index == 0) viewport_ = {0, 0, s->Desc().Width, s->Desc().Height, 0.0f, 1.0f};
  return D3D_OK;
}

HRESULT Device::GetRenderTarget(DWORD index, IDirect3DSurface9** rt) {
  if (!rt) return D3DERR_INVALIDCALL;
  *rt = nullptr;
  if (index >= renderTargets_.size()) return D3DERR_INVALIDCALL;
  if (!renderTargets_[index].get()) return D3DERR_NOTFOUND;
  renderTargets_[index].get()->AddRef();
  *rt = renderTargets_[index].get();
  return D3D_OK;
}

HRESULT Device::SetDepthStencilSurface(IDirect3DSurface9* ds) {
  Surface* s = AsSurface(ds);
  if (s && !(s->Desc().Usage & D3DUSAGE_DEPTHSTENCIL)) return D3DERR_INVALIDCALL;
  depthStencil_.Set(s);
  return D3D_OK;
}

HRESULT Device::GetDepthStencilSurface(IDirect3DSurface9** ds) {
  if (!ds) return D3DERR_INVALIDCALL;
  *ds = nullptr;
  if (!depthStencil_.get()) return D3DERR_NOTFOUND;
  depthStencil_.get()->AddRef();
  *ds = depthStencil_.get();
  return D3D_OK;
}

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) {
  if ((count > 0 && !rects) || (flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL))) {
    return D3DERR_INVALIDCALL;
  }
  Surface* ds = depthStencil_.get();
  if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !ds) return D3DERR_INVALIDCALL;
  if ((flags & D3DCLEAR_STENCIL) && ds && ds->Desc().Format != D3DFMT_D24S8) return D3DERR_INVALIDCALL;
  if (z < 0.0f || z > 1.0f) return D3DERR_INVALIDCALL;
  // The area: the viewport, cut by the rectangles when given.
  std::vector<RECT> areas;
  RECT vp{static_cast<LONG>(viewport_.X), static_cast<LONG>(viewport_.Y),
          static_cast<LONG>(viewport_.X + viewport_.Width), static_cast<LONG>(viewport_.Y + viewport_.Height)};
  if (count == 0) {
    areas.push_back(vp);
  } else {
    for (DWORD i = 0; i < count; ++i) {
      areas.push_back({std::max(vp.left, rects[i].x1), std::max(vp.top, rects[i].y1), std::min(vp.right, rects[i].x2),
                       std::min(vp.bottom, rects[i].y2)});
    }
  }
  if (gl_ && ClearOnGl(areas, flags, color, z, stencil)) return D3D_OK;
  auto clip = [](RECT r, const D3DSURFACE_DESC& d) {
    r.left = std::max<LONG>(r.left, 0);
    r.top = std::max<LONG>(r.top, 0);
    r.right = std::min<LONG>(r.right, static_cast<LONG>(d.Width));
    r.bottom = std::min<LONG>(r.bottom, static_cast<LONG>(d.Height));
    return r;
  };
  if (flags & D3DCLEAR_TARGET) {
    for (auto& bound : renderTargets_) {
      Surface* rt = bound.get();
      if (!rt) continue;
      rt->SyncToCpu();
      rt->CpuWrote();
      const D3DSURFACE_DESC& d = rt->Desc();
      float rgba[4];
      platform::d3d9::ColorToFloats(color, rgba);
      BYTE pixel[16];
      if (!platform::d3d9::EncodePixel(d.Format, rgba, pixel)) continue;
      // Colour-write masking leaves the masked channels as they were.
      DWORD mask = renderStates_[D3DRS_COLORWRITEENABLE];
      const UINT bpp = platform::d3d9::BytesPerPixel(d.Format);
      for (RECT r : areas) {
        r = clip(r, d);
        if (r.left >= r.right || r.top >= r.bottom) continue;
        if ((mask & 0xF) == 0xF) {
          Fill(rt, r, pixel, bpp);
          continue;
        }
        for (LONG y = r.top; y < r.bottom; ++y) {
          for (LONG x = r.left; x < r.right; ++x) {
            BYTE* p = rt->Bits() + static_cast<size_t>(y) * rt->Pitch() + static_cast<size_t>(x) * bpp;
            float old[4];
            platform::d3d9::DecodePixel(d.Format, p, old);
            for (int c = 0; c < 4; ++c) {
              if (mask & (1u << c)) old[c] = rgba[c];
            }
            platform::d3d9::EncodePixel(d.Format, old, p);
          }
        }
      }
    }
  }
  if (ds && (flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL))) {
    ds->SyncToCpu();
    ds->CpuWrote();
    const D3DSURFACE_DESC& d = ds->Desc();
    const UINT bpp = platform::d3d9::BytesPerPixel(d.Format);
    // The cleared parts are worked out once, not per pixel: a frame clears every
    // pixel of the depth buffer.
    uint32_t keep = 0;  // bits of the old value that stay
    uint32_t set = 0;   // bits the clear writes
    switch (d.Format) {
      case D3DFMT_D16:
        if (flags & D3DCLEAR_ZBUFFER) {
          set = static_cast<uint32_t>(z * 65535.0f + 0.5f);
        } else {
          keep = 0xFFFFFFFFu;
        }
        break;
      case D3DFMT_D32:
        if (flags & D3DCLEAR_ZBUFFER) {
          set = static_cast<uint32_t>(static_cast<double>(z) * 4294967295.0 + 0.5);
        } else {
          keep = 0xFFFFFFFFu;
        }
        break;
      default:  // depth in the upper 24 bits, stencil in the lower 8
        if (flags & D3DCLEAR_ZBUFFER) {
          set |= static_cast<uint32_t>(static_cast<double>(z) * 16777215.0 + 0.5) << 8;
        } else {
          keep |= 0xFFFFFF00u;
        }
        if (flags & D3DCLEAR_STENCIL) {
          set |= stencil & 0xFFu;
        } else {
          keep |= 0xFFu;
        }
    }
    if (keep != 0xFFFFFFFFu && bpp <= 4) {
      for (RECT r : areas) {
        r = clip(r, d);
        for (LONG y = r.top; y < r.bottom; ++y) {
          BYTE* row = ds->Bits() + static_cast<size_t>(y) * ds->Pitch();
          if (keep == 0 && bpp == 4) {
            for (LONG x = r.left; x < r.right; ++x) std::memcpy(row + static_cast<size_t>(x) * 4, &set, 4);
            continue;
          }
          for (LONG x = r.left; x < r.right; ++x) {
            BYTE* p = row + static_cast<size_t>(x) * bpp;
            uint32_t v = 0;
            std::memcpy(&v, p, bpp);
            v = (v & keep) | set;
            std::memcpy(p, &v, bpp);
          }
        }
      }
    }
  }
  return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* m) {
  if (!m) return D3DERR_INVALIDCALL;
  auto it = transforms_.find(state);
  if (it != transforms_.end()) {
    *m = it->second;
  } else {
    *m = D3DMATRIX{};
    m->_11 = m->_22 = m->_33 = m->_44 = 1.0f;
  }
  return D3D_OK;
}

HRESULT Device::SetViewport(const D3DVIEWPORT9* vp) {
  if (!vp) return D3DERR_INVALIDCALL;
  Surface* rt = renderTargets_[0].get();
  if (rt && (static_cast<uint64_t>(vp->X) + vp->Width > rt->Desc().Width ||
             static_cast<uint64_t>(vp->Y) + vp->Height > rt->Desc().Height)) {
    return D3DERR_INVALIDCALL;
  }
  if (vp->MinZ < 0.0f || vp->MaxZ > 1.0f || vp->MinZ > vp->MaxZ) return D3DERR_INVALIDCALL;
  viewport_ = *vp;
  return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
  if (stage >= D3D_MAX_SAMPLERS) return D3DERR_INVALIDCALL;
  textures_[stage].Set(static_cast<Texture*>(texture));
  return D3D_OK;
}

HRESULT Device::GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) {
  if (!texture || stage >= D3D_MAX_SAMPLERS) return D3DERR_INVALIDCALL;
  *texture = textures_[stage].get();
  if (*texture) (*texture)->AddRef();
  return D3D_OK;
}

HRESULT Device::SetVertexDeclaration(IDirect3DVertexDeclaration9* decl) {
  declaration_.Set(static_cast<Declaration*>(decl));
  if (decl) fvf_ = 0;
  return D3D_OK;
}

HRESULT Device::GetVertexDeclaration(IDirect3DVertexDeclaration9** decl) {
  if (!decl) return D3DERR_INVALIDCALL;
  *decl = declaration_.get();
  if (*decl) (*decl)->AddRef();
  return D3D_OK;
}

HRESULT Device::SetFVF(DWORD fvf) {
  fvf_ = fvf;
  if (fvf) declaration_.Set(nullptr);
  return D3D_OK;
}

HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* vb, UINT offset, UINT stride) {
  if (stream >= D3D_MAX_STREAMS) return D3DERR_INVALIDCALL;
  auto* buffer = static_cast<VertexBuffer*>(vb);
  if (buffer && offset > buffer->Size()) return D3DERR_INVALIDCALL;
  streams_[stream].buffer.Set(buffer);
  streams_[stream].offset = offset;
  streams_[stream].stride = stride;
  return D3D_OK;
}

HRESULT Device::GetStreamSource(UINT stream, IDirect3DVertexBuffer9** vb, UINT* offset, UINT* stride) {
  if (stream >= D3D_MAX_STREAMS || !vb || !offset || !stride) return D3DERR_INVALIDCALL;
  *vb = streams_[stream].buffer.get();
  if (*vb) (*vb)->AddRef();
  *offset = streams_[stream].offset;
  *stride = streams_[stream].stride;
  return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer9* ib) {
  indices_.Set(static_cast<IndexBuffer*>(ib));
  return D3D_OK;
}

HRESULT Device::GetIndices(IDirect3DIndexBuffer9** ib) {
  if (!ib) return D3DERR_INVALIDCALL;
  *ib = indices_.get();
  if (*ib) (*ib)->AddRef();
  return D3D_OK;
}

// Vertices a primitive count takes.
uint64_t VertexCount(D3DPRIMITIVETYPE type, UINT count) {
  switch (type) {
    case D3DPT_POINTLIST:
      return count;
    case D3DPT_LINELIST:
      return 2ull * count;
    case D3DPT_LINESTRIP:
      return count + 1ull;
    case D3DPT_TRIANGLELIST:
      return 3ull * count;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
      return count + 2ull;
  }
  return 0;
}

bool ValidPrimitive(D3DPRIMITIVETYPE type, UINT count) {
  return type >= D3DPT_POINTLIST && type <= D3DPT_TRIANGLEFAN && count > 0;
}

void Device::Record(pt::DrawRecord r) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (FrameReport()) {
    ++g_frameDraws;
    if (!technique_.empty() &&
        std::find(g_frameTechniques.begin(), g_frameTechniques.end(), technique_) == g_frameTechniques.end()) {
      g_frameTechniques.push_back(technique_);
    }
  }
  if (!g_recording) return;
  r.frame = g_presents.load();
  r.fvf = fvf_;
  r.declaration = declaration_.get();
  r.stream0 = streams_[0].buffer.get();
  r.stream0Stride = streams_[0].stride;
  r.indices = indices_.get();
  for (size_t i = 0; i < 8; ++i) r.textures[i] = textures_[i].get();
  r.renderTarget = renderTargets_[0].get();
  r.technique = technique_;
  r.pass = pass_;
  g_draws.push_back(std::move(r));
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT count) {
  if (!inScene_ || !ValidPrimitive(type, count)) return D3DERR_INVALIDCALL;
  const Stream& s = streams_[0];
  if (!s.buffer.get() || s.stride == 0) return D3DERR_INVALIDCALL;
  uint64_t end = s.offset + (static_cast<uint64_t>(startVertex) + VertexCount(type, count)) * s.stride;
  if (end > s.buffer.get()->Size()) return D3DERR_INVALIDCALL;
  pt::DrawRecord r;
  r.call = pt::DrawCall::Primitive;
  r.primitiveType = type;
  r.primitiveCount = count;
  r.startVertex = startVertex;
  Record(std::move(r));
  Execute(type, startVertex, static_cast<UINT>(VertexCount(type, count)), nullptr, nullptr, 0);
  return D3D_OK;
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex, UINT numVertices,
                                     UINT startIndex, UINT count) {
  if (!inScene_ || !ValidPrimitive(type, count) || numVertices == 0) return D3DERR_INVALIDCALL;
  const Stream& s = streams_[0];
  IndexBuffer* ib = indices_.get();
  if (!s.buffer.get() || s.stride == 0 || !ib) return D3DERR_INVALIDCALL;
  D3DINDEXBUFFER_DESC desc;
  ib->GetDesc(&desc);
  const uint64_t indexSize = desc.Format == D3DFMT_INDEX32 ? 4 : 2;
  if ((static_cast<uint64_t>(startIndex) + VertexCount(type, count)) * indexSize > ib->Size()) {
    return D3DERR_INVALIDCALL;
  }
  int64_t first = static_cast<int64_t>(baseVertex) + minIndex;
  int64_t end = static_cast<int64_t>(s.offset) + (first + static_cast<int64_t>(numVertices)) * s.stride;
  if (first < 0 || end > static_cast<int64_t>(s.buffer.get()->Size())) return D3DERR_INVALIDCALL;
  pt::DrawRecord r;
  r.call = pt::DrawCall::IndexedPrimitive;
  r.primitiveType = type;
  r.primitiveCount = count;
  r.baseVertexIndex = baseVertex;
  r.minVertexIndex = minIndex;
  r.numVertices = numVertices;
  r.startIndex = startIndex;
  Record(std::move(r));
  platform::d3d9::gl::Indices indices;
  indices.buffer = gl_ ? ib->GlBuffer() : 0;
  indices.wide = indexSize == 4;
  indices.start = startIndex;
  indices.baseVertex = baseVertex;
  Execute(type, 0, static_cast<UINT>(VertexCount(type, count)), &indices, nullptr, 0);
  return D3D_OK;
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* data, UINT stride) {
  if (!inScene_ || !ValidPrimitive(type, count) || !data || stride == 0) return D3DERR_INVALIDCALL;
  // As the runtime does, stream 0 is unset after a user-pointer draw.
  streams_[0].buffer.Set(nullptr);
  streams_[0].offset = 0;
  streams_[0].stride = stride;
  pt::DrawRecord r;
  r.call = pt::DrawCall::PrimitiveUP;
  r.primitiveType = type;
  r.primitiveCount = count;
  Record(std::move(r));
  Execute(type, 0, static_cast<UINT>(VertexCount(type, count)), nullptr, data, VertexCount(type, count) * stride);
  streams_[0].stride = 0;
  return D3D_OK;
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT count,
                                       const void* indices, D3DFORMAT indexFormat, const void* data, UINT stride) {
  if (!inScene_ || !ValidPrimitive(type, count) || !indices || !data || stride == 0 || numVertices == 0 ||
      (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32)) {
    return D3DERR_INVALIDCALL;
  }
  streams_[0].buffer.Set(nullptr);
  indices_.Set(nullptr);
  streams_[0].offset = 0;
  streams_[0].stride = stride;
  pt::DrawRecord r;
  r.call = pt::DrawCall::IndexedPrimitiveUP;
  r.primitiveType = type;
  r.primitiveCount = count;
  r.minVertexIndex = minIndex;
  r.numVertices = numVertices;
  Record(std::move(r));
  // The caller vouches for its arrays as the runtime trusts them: indices
  // below minIndex + numVertices into vertices of that many strides.
  platform::d3d9::gl::Indices list;
  list.wide = indexFormat == D3DFMT_INDEX32;
  list.data = indices;
  list.bytes = VertexCount(type, count) * (list.wide ? 4 : 2);
  Execute(type, 0, static_cast<UINT>(VertexCount(type, count)), &list, data,
          (static_cast<size_t>(minIndex) + numVertices) * stride);
  streams_[0].stride = 0;
  return D3D_OK;
}

// ---- OpenGL execution ------------------------------------------------------------
// The vertex layout an FVF code stands for.
std::vector<platform::d3d9::gl::Element> FvfElements(DWORD fvf) {
  std::vector<platform::d3d9::gl::Element> out;
  UINT offset = 0;
  auto add = [&](BYTE type, BYTE usage, BYTE index, UINT bytes) {
    out.push_back({0, offset, type, usage, index});
    offset += bytes;
  };
  const DWORD position = fvf & 0x00E;
  if (position == D3DFVF_XYZRHW) {
    add(D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT, 0, 16);
  } else if (position != 0) {
    add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0, 12);
    // XYZB1 to XYZB5: blend weights follow the position.
    if (position >= 0x006) {
      UINT weights = (position - 0x004) / 2;
      static const BYTE types[] = {D3DDECLTYPE_FLOAT1, D3DDECLTYPE_FLOAT2, D3DDECLTYPE_FLOAT3, D3DDECLTYPE_FLOAT4};
      if (weights >= 1 && weights <= 4) add(types[weights - 1], D3DDECLUSAGE_BLENDWEIGHT, 0, weights * 4);
      if (weights == 5) offset += 20;
    }
  }
  if (fvf & D3DFVF_NORMAL) add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0, 12);
  if (fvf & D3DFVF_PSIZE) offset += 4;
  if (fvf & D3DFVF_DIFFUSE) add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0, 4);
  if (fvf & D3DFVF_SPECULAR) add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1, 4);
  const UINT coords = std::min<DWORD>((fvf >> 8) & 0xF, 8);
  for (UINT i = 0; i < coords; ++i) {
    static const BYTE types[] = {D3DDECLTYPE_FLOAT2, D3DDECLTYPE_FLOAT3, D3DDECLTYPE_FLOAT4, D3DDECLTYPE_FLOAT1};
    static const UINT sizes[] = {8, 12, 16, 4};
    const DWORD size = (fvf >> (16 + 2 * i)) & 3;
    add(types[size], D3DDECLUSAGE_TEXCOORD, static_cast<BYTE>(i), sizes[size]);
  }
  return out;
}

bool Device::Attachments(platform::d3d9::gl::Attachment colour[4], platform::d3d9::gl::Attachment* depth) {
  for (size_t i = 0; i < renderTargets_.size(); ++i) {
    Surface* rt = renderTargets_[i].get();
    if (!rt) continue;
    if (!rt->SyncToGpu()) return false;
    const D3DSURFACE_DESC& d = rt->Desc();
    colour[i] = {rt->GlTexture(), rt->GlLevel(), d.Width, d.Height, d.Format};
  }
  Surface* ds = depthStencil_.get();
  Surface* rt0 = renderTargets_[0].get();
  // A depth surface smaller than the target is left out, as the runtime
  // would refuse the pair.
  if (ds && rt0 && ds->Desc().Width >= rt0->Desc().Width && ds->Desc().Height >= rt0->Desc().Height &&
      ds->SyncToGpu()) {
    *depth = {ds->GlTexture(), 0, ds->Desc().Width, ds->Desc().Height, ds->Desc().Format};
  }
  return colour[0].texture != 0;
}

void MarkDrawn(const platform::d3d9::gl::Attachment colour[4], Surface* const targets[4], Surface* depth) {
  for (int i = 0; i < 4; ++i) {
    if (colour[i].texture && targets[i]) targets[i]->GpuWrote();
  }
  if (depth) depth->GpuWrote();
}

bool Device::ClearOnGl(const std::vector<RECT>& areas, DWORD flags, D3DCOLOR color, float z, DWORD stencil) {
  namespace gl = platform::d3d9::gl;
  gl::Attachment colour[4];
  gl::Attachment depth;
  if (!Attachments(colour, &depth)) return false;
  if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !depth.texture) return false;
  for (RECT r : areas) {
    r.left = std::max<LONG>(r.left, 0);
    r.top = std::max<LONG>(r.top, 0);
    r.right = std::min<LONG>(r.right, static_cast<LONG>(colour[0].width));
    r.bottom = std::min<LONG>(r.bottom, static_cast<LONG>(colour[0].height));
    if (r.left >= r.right || r.top >= r.bottom) continue;
    gl::Clear(colour, depth, r, flags, color, z, stencil, renderStates_[D3DRS_COLORWRITEENABLE]);
  }
  Surface* targets[4] = {};
  if (flags & D3DCLEAR_TARGET) {
    for (int i = 0; i < 4; ++i) targets[i] = renderTargets_[static_cast<size_t>(i)].get();
  }
  MarkDrawn(colour, targets, (flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) ? depthStencil_.get() : nullptr);
  return true;
}

void Device::Execute(D3DPRIMITIVETYPE type, UINT first, UINT vertexCount, const platform::d3d9::gl::Indices* indices,
                     const void* userData, size_t userBytes) {
  namespace gl = platform::d3d9::gl;
  if (!gl_) return;
  gl::DrawState st;
  if (!Attachments(st.colour, &st.depth)) return;
  st.viewport = viewport_;
  st.renderStates = renderStates_.data();
  st.samplerStates = reinterpret_cast<const DWORD(*)[D3DSAMP_COUNT]>(samplerStates_.data());
  st.stageStates = reinterpret_cast<const DWORD(*)[D3DTSS_COUNT]>(stageStates_.data());
  for (size_t i = 0; i < textures_.size() && i < 16; ++i) {
    Texture* t = textures_[i].get();
    if (t && t->SyncToGpu()) st.textures[i] = t->GlTexture();
  }
  if (declaration_.get()) {
    st.elements = declaration_.get()->GlElements().data();
    st.elementCount = declaration_.get()->GlElements().size();
  } else {
    if (fvfElementsFor_ != fvf_) {
      fvfElements_ = FvfElements(fvf_);
      fvfElementsFor_ = fvf_;
    }
    st.elements = fvfElements_.data();
    st.elementCount = fvfElements_.size();
  }
  for (size_t i = 0; i < streams_.size(); ++i) {
    VertexBuffer* vb = streams_[i].buffer.get();
    st.streams[i].buffer = vb ? vb->GlBuffer() : 0;
    st.streams[i].offset = streams_[i].offset;
    st.streams[i].stride = streams_[i].stride;
  }
  if (userData) {
    st.streams[0].data = userData;
    st.streams[0].bytes = userBytes;
    st.streams[0].offset = 0;
  }
  const int alpha = renderStates_[D3DRS_ALPHATESTENABLE] && renderStates_[D3DRS_ALPHAFUNC] != D3DCMP_ALWAYS ? 1 : 0;
  st.program = platform::d3d9::gl::UsesPretransformed(st.elements, st.elementCount) ? programs_.pretransformed[alpha]
                                                                                    : programs_.program[alpha];
  st.vertexConstants = vertexConstants_.data();
  st.vertexBytes = vertexConstants_.size();
  st.pixelConstants = pixelConstants_.data();
  st.pixelBytes = pixelConstants_.size();
  auto matrix = [&](uint32_t which) -> const float* {
    auto it = transforms_.find(which);
    return it == transforms_.end() ? nullptr : &it->second._11;
  };
  st.world = matrix(D3DTS_WORLD);
  st.view = matrix(D3DTS_VIEW);
  st.projection = matrix(D3DTS_PROJECTION);
  gl::Draw(st, type, first, vertexCount, indices);
  Surface* targets[4];
  for (int i = 0; i < 4; ++i) targets[i] = renderTargets_[static_cast<size_t>(i)].get();
  MarkDrawn(st.colour, targets, st.depth.texture ? depthStencil_.get() : nullptr);
}

// ---- Direct3D object --------------------------------------------------------------
class Direct3D final : public Counted<IDirect3D9> {
 public:
  UINT GetAdapterCount() override { return 1; }

  HRESULT GetAdapterIdentifier(UINT adapter, DWORD, D3DADAPTER_IDENTIFIER9* id) override {
    if (!id || adapter >= GetAdapterCount()) return D3DERR_INVALIDCALL;
    if (HRESULT failure = InjectedFailure("GetAdapterIdentifier"); failure != D3D_OK) return failure;
    pt::AdapterProfile p = Profile();
    *id = D3DADAPTER_IDENTIFIER9{};
    std::snprintf(id->Driver, sizeof id->Driver, "%s", p.driver.c_str());
    std::snprintf(id->Description, sizeof id->Description, "%s", p.description.c_str());
    std::snprintf(id->DeviceName, sizeof id->DeviceName, "%s", "\\\\.\\DISPLAY1");
    id->DriverVersion = p.driverVersion;
    id->VendorId = p.vendorId;
    id->DeviceId = p.deviceId;
    id->DeviceIdentifier = {0x7A1E5C0Du, 0x1D3D, 0x4E09, {0x80, 0x1A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}};
    id->WHQLLevel = 1;
    return D3D_OK;
  }

  UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) override {
    if (adapter >= GetAdapterCount() || format != D3DFMT_X8R8G8B8) return 0;
    return static_cast<UINT>(Profile().modes.size());
  }

  HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* out) override {
    if (!out || adapter >= GetAdapterCount() || format != D3DFMT_X8R8G8B8) return D3DERR_INVALIDCALL;
    pt::AdapterProfile p = Profile();
    if (mode >= p.modes.size()) return D3DERR_INVALIDCALL;
    *out = p.modes[mode];
    return D3D_OK;
  }

  HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override {
    if (!mode || adapter >= GetAdapterCount()) return D3DERR_INVALIDCALL;
    pt::AdapterProfile p = Profile();
    *mode = {p.desktopWidth, p.desktopHeight, 60, D3DFMT_X8R8G8B8};
    return D3D_OK;
  }

  HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, D3DFORMAT backBufferFormat,
                          BOOL windowed) override {
    if (adapter >= GetAdapterCount()) return D3DERR_INVALIDCALL;
    if (type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    if (adapterFormat != D3DFMT_X8R8G8B8) return D3DERR_NOTAVAILABLE;
    if (!BackBufferFormatOk(backBufferFormat, windowed)) return D3DERR_NOTAVAILABLE;
    return D3D_OK;
  }

  HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                            D3DRESOURCETYPE resourceType, D3DFORMAT check) override {
    if (adapter >= GetAdapterCount()) return D3DERR_INVALIDCALL;
    if (type != D3DDEVTYPE_HAL || adapterFormat != D3DFMT_X8R8G8B8) return D3DERR_NOTAVAILABLE;
    pt::AdapterProfile p = Profile();
    if (usage & D3DUSAGE_DEPTHSTENCIL) {
      return std::find(p.depthFormats.begin(), p.depthFormats.end(), check) != p.depthFormats.end()
                 ? D3D_OK
                 : D3DERR_NOTAVAILABLE;
    }
    if (platform::d3d9::IsDxt(check)) {
      return p.dxtFormats && resourceType == D3DRTYPE_TEXTURE && !(usage & D3DUSAGE_RENDERTARGET)
                 ? D3D_OK
                 : D3DERR_NOTAVAILABLE;
    }
    if (!IsColourFormat(check)) return D3DERR_NOTAVAILABLE;
    if ((usage & D3DUSAGE_RENDERTARGET) && check != D3DFMT_A8R8G8B8 && check != D3DFMT_X8R8G8B8 &&
        check != D3DFMT_R5G6B5 && check != D3DFMT_A32B32G32R32F && check != D3DFMT_R32F) {
      return D3DERR_NOTAVAILABLE;
    }
    return D3D_OK;
  }

  HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT format, BOOL,
                                     D3DMULTISAMPLE_TYPE ms, DWORD* quality) override {
    if (quality) *quality = 0;
    if (adapter >= GetAdapterCount()) return D3DERR_INVALIDCALL;
    if (type != D3DDEVTYPE_HAL || !IsColourFormat(format)) return D3DERR_NOTAVAILABLE;
    if (ms == D3DMULTISAMPLE_NONE) {
      if (quality) *quality = 1;
      return D3D_OK;
    }
    for (const pt::MultiSampleOffer& o : Profile().multiSample) {
      if (o.type == ms) {
        if (quality) *quality = o.qualityLevels;
        return D3D_OK;
      }
    }
    return D3DERR_NOTAVAILABLE;
  }

  HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, D3DFORMAT rtFormat,
                                 D3DFORMAT dsFormat) override {
    if (adapter >= GetAdapterCount()) return D3DERR_INVALIDCALL;
    if (type != D3DDEVTYPE_HAL || adapterFormat != D3DFMT_X8R8G8B8 || !IsColourFormat(rtFormat)) {
      return D3DERR_NOTAVAILABLE;
    }
    const auto& formats = Profile().depthFormats;
    return std::find(formats.begin(), formats.end(), dsFormat) != formats.end() ? D3D_OK : D3DERR_NOTAVAILABLE;
  }

  HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) override {
    if (!caps || adapter >= GetAdapterCount()) return D3DERR_INVALIDCALL;
    if (HRESULT failure = InjectedFailure("GetDeviceCaps"); failure != D3D_OK) return failure;
    if (type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    pt::AdapterProfile p = Profile();
    *caps = D3DCAPS9{};
    caps->DeviceType = D3DDEVTYPE_HAL;
    caps->Caps2 = D3DCAPS2_FULLSCREENGAMMA | D3DCAPS2_CANAUTOGENMIPMAP;
    caps->PresentationIntervals = D3DPRESENT_INTERVAL_ONE | D3DPRESENT_INTERVAL_IMMEDIATE;
    caps->DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_PUREDEVICE;
    caps->PrimitiveMiscCaps = p.primitiveMiscCaps;
    caps->TextureCaps = p.textureCaps;
    caps->MaxTextureWidth = p.maxTextureWidth;
    caps->MaxTextureHeight = p.maxTextureHeight;
    caps->MaxTextureBlendStages = D3D_MAX_TEXTURE_STAGES;
    caps->MaxSimultaneousTextures = D3D_MAX_TEXTURE_STAGES;
    caps->MaxActiveLights = 8;
    caps->MaxStreams = D3D_MAX_STREAMS;
    caps->MaxStreamStride = 255;
    caps->MaxPrimitiveCount = 0xFFFFF;
    caps->MaxVertexIndex = 0xFFFFF;
    caps->MaxPointSize = platform::d3d9::gl::kMaxPointSize;
    caps->VertexShaderVersion = p.vertexShaderVersion;
    caps->PixelShaderVersion = p.pixelShaderVersion;
    caps->MaxVertexShaderConst = 256;
    caps->NumSimultaneousRTs = 4;
    caps->StretchRectFilterCaps = 0x03000300u;  // point and linear, min and mag
    caps->MasterAdapterOrdinal = 0;
    caps->NumberOfAdaptersInGroup = 1;
    return D3D_OK;
  }

  HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND, DWORD, D3DPRESENT_PARAMETERS* params,
                       IDirect3DDevice9** device) override {
    if (!device) return D3DERR_INVALIDCALL;
    *device = nullptr;
    if (!params || adapter >= GetAdapterCount()) return D3DERR_INVALIDCALL;
    if (type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    if (HRESULT forced = CreateResult(); forced != D3D_OK) return forced;
    // Without a GL context there is nothing to draw with. The share held
    // here keeps the context from being made twice on the way to the device.
    const bool gl = Executing();
    if (gl && !platform::d3d9::gl::Acquire()) return D3DERR_NOTAVAILABLE;
    struct Share {
      bool held;
      ~Share() { if (held) platform::d3d9::gl::Release(); }
    } share{gl};
    // A device cannot be made while the display is taken away.
    if (Level() == D3DERR_DEVICELOST) return D3DERR_DEVICELOST;
    D3DPRESENT_PARAMETERS pp = *params;
    pt::AdapterProfile p = Profile();
    if (pp.Windowed) {
      if (pp.BackBufferWidth == 0) pp.BackBufferWidth = p.desktopWidth;
      if (pp.BackBufferHeight == 0) pp.BackBufferHeight = p.desktopHeight;
    } else {
      bool found = false;
      for (const D3DDISPLAYMODE& m : p.modes) found |= m.Width == pp.BackBufferWidth && m.Height == pp.BackBufferHeight;
      if (!found) return D3DERR_INVALIDCALL;
    }
    if (pp.BackBufferWidth > 16384 || pp.BackBufferHeight > 16384 || pp.BackBufferCount > 3) return D3DERR_INVALIDCALL;
    if (!BackBufferFormatOk(pp.BackBufferFormat, pp.Windowed)) return D3DERR_INVALIDCALL;
    if (pp.MultiSampleType != D3DMULTISAMPLE_NONE) {
      // Multisampling needs the discard swap effect, as the runtime requires.
      if (pp.SwapEffect != D3DSWAPEFFECT_DISCARD) return D3DERR_INVALIDCALL;
      bool offered = false;
      for (const pt::MultiSampleOffer& o : p.multiSample) {
        offered |= o.type == pp.MultiSampleType && pp.MultiSampleQuality < o.qualityLevels;
      }
      if (!offered) return D3DERR_INVALIDCALL;
    }
    if (pp.EnableAutoDepthStencil &&
        std::find(p.depthFormats.begin(), p.depthFormats.end(), pp.AutoDepthStencilFormat) == p.depthFormats.end()) {
      return D3DERR_INVALIDCALL;
    }
    auto* created = new Device(this, pp);
    ReportParameters("CreateDevice", pp);
    *params = pp;
    *device = created;
    return D3D_OK;
  }

 private:
  ~Direct3D() override = default;
  friend class Counted<IDirect3D9>;

  static bool BackBufferFormatOk(D3DFORMAT f, BOOL windowed) {
    return f == D3DFMT_A8R8G8B8 || f == D3DFMT_X8R8G8B8 || f == D3DFMT_R5G6B5 || (windowed && f == D3DFMT_UNKNOWN);
  }
};

}  // namespace

IDirect3D9* Direct3DCreate9(UINT sdkVersion) {
  if (sdkVersion != D3D_SDK_VERSION || InjectedFailure("Direct3DCreate9") != D3D_OK) return nullptr;
  return new Direct3D();
}

namespace platform::d3d9 {

void SetEffectPass(IDirect3DDevice9* device, const char* technique, int pass) {
  if (device) static_cast<Device*>(device)->SetEffectPass(technique, pass);
}

bool ExecutesDraws(IDirect3DDevice9* device) { return device && static_cast<Device*>(device)->UsesGl(); }

gl::Program* CreatePassProgram(IDirect3DDevice9* device, const std::string& vertex, const std::string& pixel,
                               std::string* error) {
  if (!ExecutesDraws(device)) return nullptr;
  return gl::CreateProgram(vertex, pixel, error);
}

void DeletePassProgram(gl::Program* program) { gl::DeleteProgram(program); }

void SetPassProgram(IDirect3DDevice9* device, const PassPrograms* programs, const void* vertexConstants,
                    size_t vertexBytes, const void* pixelConstants, size_t pixelBytes) {
  if (device) {
    static_cast<Device*>(device)->SetPassProgram(programs, vertexConstants, vertexBytes, pixelConstants, pixelBytes);
  }
}

bool GetSurfaceMemory(IDirect3DSurface9* surface, SurfaceMemory* memory) {
  if (!surface || !memory) return false;
  Surface* s = AsSurface(surface);
  // The caller may read or write through the pointer.
  s->SyncToCpu();
  s->CpuWrote();
  memory->bits = s->Bits();
  memory->pitch = s->Pitch();
  memory->format = s->Desc().Format;
  memory->width = s->Desc().Width;
  memory->height = s->Desc().Height;
  return true;
}

}  // namespace platform::d3d9

namespace platform::testing {

AdapterProfile DefaultAdapterProfile() {
  AdapterProfile p;
  const UINT sizes[][2] = {{1024, 768}, {1152, 864}, {1280, 720}, {1280, 960}, {1280, 1024}, {1600, 1200}, {1920, 1080}};
  for (const auto& s : sizes) p.modes.push_back({s[0], s[1], 60, D3DFMT_X8R8G8B8});
  p.textureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_ALPHA |
                  D3DPTEXTURECAPS_NONPOW2CONDITIONAL | D3DPTEXTURECAPS_MIPMAP;
  p.primitiveMiscCaps = D3DPMISCCAPS_COLORWRITEENABLE | D3DPMISCCAPS_SEPARATEALPHABLEND;
  p.multiSample = {{D3DMULTISAMPLE_NONMASKABLE, 4}, {D3DMULTISAMPLE_2_SAMPLES, 1}, {D3DMULTISAMPLE_4_SAMPLES, 1}};
  p.depthFormats = {D3DFMT_D24S8, D3DFMT_D24X8, D3DFMT_D16};
  return p;
}

void SetAdapterProfile(const AdapterProfile& profile) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_profileRead = true;
    g_profile = profile;
  }
  SetSetting("d3d9.profile", SerialiseProfile(profile));
}

AdapterProfile CurrentAdapterProfile() { return Profile(); }

void SetCooperativeLevel(HRESULT level) {
  g_levelRead.store(true);
  g_level.store(level);
  SetSetting("d3d9.cooperative_level", level == D3D_OK ? std::string() : std::to_string(static_cast<uint32_t>(level)));
}

HRESULT CooperativeLevel() { return Level(); }
int DeviceResetCount() { return g_resets.load(); }
int PresentCount() { return g_presents.load(); }

void FailCreateDevice(HRESULT result) {
  g_createRead.store(true);
  g_createResult.store(result);
  SetSetting("d3d9.create_device", result == D3D_OK ? std::string() : std::to_string(static_cast<uint32_t>(result)));
}

void FailD3D9Call(std::string_view call, HRESULT result) {
  SetSetting(std::string("d3d9.fail.") + std::string(call),
             result == D3D_OK ? std::string() : std::to_string(static_cast<uint32_t>(result)));
}

int LiveD3D9Objects() { return g_live.load(); }

void ExecuteDraws(bool on) {
  g_executeRead.store(true);
  g_execute.store(on);
  SetSetting("d3d9.execute_draws", on ? "1" : "0");
}

void RecordDraws(bool on) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_recording = on;
  g_draws.clear();
  g_locks.clear();
}

std::vector<DrawRecord> RecordedDraws() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_draws;
}

std::vector<DrawRecord> RecordedDraws(int frame) {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::vector<DrawRecord> out;
  for (const DrawRecord& d : g_draws) {
    if (d.frame == frame) out.push_back(d);
  }
  return out;
}

void ClearRecordedDraws() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_draws.clear();
  g_locks.clear();
}

std::vector<LockRecord> RecordedLocks() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_locks;
}

void ResetD3D9() {
  SetCooperativeLevel(D3D_OK);
  FailCreateDevice(D3D_OK);
  for (const char* call : {"Direct3DCreate9", "GetDeviceCaps", "GetAdapterIdentifier"}) FailD3D9Call(call, D3D_OK);
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_profileRead = true;
    g_profile = DefaultAdapterProfile();
    g_recording = false;
    g_draws.clear();
    g_locks.clear();
    g_frameDraws = 0;
    g_frameTechniques.clear();
  }
  g_frameReportRead.store(false);
  SetSetting("d3d9.profile", "");
  // Tests read the record; those that compare pixels turn drawing on.
  ExecuteDraws(false);
  g_resets.store(0);
  g_presents.store(0);
}

}  // namespace platform::testing
