// Effects, effect pools and buffers over the declaration-level reader.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/d3d9/layer.h"
#include "platform/d3dx9/d3dx9_effect.h"
#include "platform/d3dx9/effect_parser.h"
#include "platform/d3dx9/effect_shader.h"
#include "platform/d3dx9/internal.h"
#include "platform/d3dx9/testing.h"

namespace platform::d3dx9 {
std::atomic<int> g_liveObjects{0};
}

namespace {

using platform::d3dx9::g_liveObjects;
using platform::d3dx9::ParsedEffect;
using platform::d3dx9::ParsedParameter;
using platform::d3dx9::StateAssignment;

template <class Interface>
class Counted : public Interface {
 public:
  Counted() { ++g_liveObjects; }
  Counted(const Counted&) = delete;
  Counted& operator=(const Counted&) = delete;
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    if (refs_ == 0) return 0;
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  ~Counted() override { --g_liveObjects; }

 private:
  ULONG refs_ = 1;
};

class Buffer final : public Counted<ID3DXBuffer> {
 public:
  explicit Buffer(DWORD size) : bytes_(size) {}
  void* GetBufferPointer() override { return bytes_.data(); }
  DWORD GetBufferSize() override { return static_cast<DWORD>(bytes_.size()); }

 private:
  std::vector<BYTE> bytes_;
};

// What a parameter holds: 32-bit words (BOOL, INT or float by type), a
// texture, or a string.
// A float as an int: truncated, out-of-range values held at the nearest
// limit and NaN taken as 0, where a plain conversion is undefined.
int32_t SaturatedInt(float f) {
  if (!(f == f)) return 0;
  if (f >= 2147483648.0f) return std::numeric_limits<int32_t>::max();
  if (f <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(f);
}

struct Value {
  D3DXPARAMETER_CLASS klass = D3DXPC_SCALAR;
  D3DXPARAMETER_TYPE type = D3DXPT_FLOAT;
  UINT rows = 1, columns = 1, elements = 0;
  std::vector<uint32_t> words;
  IDirect3DBaseTexture9* texture = nullptr;  // a reference held
  std::string text;

  Value() = default;
  Value(const Value&) = delete;
  Value& operator=(const Value&) = delete;
  ~Value() {
    if (texture) texture->Release();
  }
  bool SameShape(const Value& o) const {
    return klass == o.klass && type == o.type && rows == o.rows && columns == o.columns && elements == o.elements;
  }
  bool Numeric() const {
    return type == D3DXPT_BOOL || type == D3DXPT_INT || type == D3DXPT_FLOAT;
  }
  bool IsTexture() const { return type >= D3DXPT_TEXTURE && type <= D3DXPT_TEXTURECUBE; }
  float Get(size_t i) const {
    uint32_t w = words[i];
    if (type == D3DXPT_FLOAT) {
      float f;
      std::memcpy(&f, &w, 4);
      return f;
    }
    if (type == D3DXPT_INT) return static_cast<float>(static_cast<int32_t>(w));
    return w ? 1.0f : 0.0f;
  }
  void Set(size_t i, float f) {
    if (type == D3DXPT_FLOAT) {
      std::memcpy(&words[i], &f, 4);
    } else if (type == D3DXPT_INT) {
      words[i] = static_cast<uint32_t>(SaturatedInt(f));
    } else {
      words[i] = f != 0.0f ? 1u : 0u;
    }
  }
};

class Pool final : public Counted<ID3DXEffectPool> {
 public:
  // The shared value of that name, made from `shape` when new; null when
  // one exists with another type.
  std::shared_ptr<Value> Share(const std::string& name, std::unique_ptr<Value> shape, bool* created) {
    auto it = shared_.find(name);
    if (it != shared_.end()) {
      *created = false;
      return it->second->SameShape(*shape) ? it->second : nullptr;
    }
    *created = true;
    std::shared_ptr<Value> v(shape.release());
    shared_[name] = v;
    return v;
  }

 private:
  std::map<std::string, std::shared_ptr<Value>> shared_;
};

struct Annotation {
  std::string name;
  std::unique_ptr<Value> value;
};

// A state assignment resolved once: the device state it sets and where its
// value comes from (a constant, or a parameter read when the pass applies).
struct ResolvedState {
  DWORD state = 0;
  const Value* parameter = nullptr;
  DWORD constant = 0;
  DWORD Get() const {
    if (!parameter) return constant;
    return parameter->type == D3DXPT_FLOAT ? static_cast<DWORD>(parameter->Get(0)) : parameter->words[0];
  }
};

struct Parameter {
  std::string name;
  std::string semantic;
  bool shared = false;
  std::shared_ptr<Value> value;
  std::vector<Annotation> annotations;
  std::vector<StateAssignment> samplerStates;
  int stage = -1;  // for samplers: the sampler number the effect uses
  const Value* samplerTexture = nullptr;  // Texture = <...>
  bool bindsTexture = false;
  std::vector<ResolvedState> resolvedSamplerStates;
};

// A compiled stage of an effect: the GLSL and where its constants go.
struct Stage {
  bool ok = false;
  std::string error;
  platform::d3dx9::CompiledStage compiled;
};

struct Pass {
  std::string name;
  std::vector<Annotation> annotations;
  std::vector<StateAssignment> states;
  std::vector<ResolvedState> renderStates;
  // Programs, made when the device draws: 0 not yet tried, 1 made, -1 failed.
  int built = 0;
  platform::d3d9::PassPrograms programs;
  const Stage* vertex = nullptr;
  const Stage* pixel = nullptr;
  std::vector<BYTE> vertexConstants, pixelConstants;
};

struct Technique {
  std::string name;
  std::vector<Annotation> annotations;
  std::vector<Pass> passes;
};

std::unique_ptr<Value> MakeValue(D3DXPARAMETER_CLASS klass, D3DXPARAMETER_TYPE type, UINT rows, UINT columns,
                                 UINT elements, const platform::d3dx9::Literal* init) {
  auto v = std::make_unique<Value>();
  v->klass = klass;
  v->type = type;
  v->rows = rows;
  v->columns = columns;
  v->elements = elements;
  if (v->Numeric()) {
    v->words.assign(static_cast<size_t>(rows) * columns * std::max(1u, elements), 0);
    if (init) {
      for (size_t i = 0; i < v->words.size() && i < init->numbers.size(); ++i) v->Set(i, init->numbers[i]);
    }
  } else if (type == D3DXPT_STRING && init && init->text) {
    v->text = *init->text;
  }
  return v;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Shader versions as (major, minor); "2_a", "2_b" and "2_x" need more than 2.0.
bool TargetVersion(const std::string& target, char* kind, DWORD* major, DWORD* minor) {
  if (target.size() < 6 || target[2] != '_' || target[4] != '_') return false;
  *kind = target[0];
  if ((target[0] != 'v' && target[0] != 'p') || target[1] != 's') return false;
  if (target[3] < '1' || target[3] > '3') return false;
  *major = static_cast<DWORD>(target[3] - '0');
  char m = target[5];
  if (m >= '0' && m <= '9') {
    *minor = static_cast<DWORD>(m - '0');
  } else if (m == 'a' || m == 'b' || m == 'x' || m == 's' || m == 'w') {
    *minor = 1;
  } else {
    return false;
  }
  return target.size() == 6 || (target.size() == 8 && target.compare(6, 2, "_s") == 0);
}

struct StateName {
  const char* name;
  D3DRENDERSTATETYPE state;
};
constexpr StateName kRenderStates[] = {
    {"zenable", D3DRS_ZENABLE},
    {"zwriteenable", D3DRS_ZWRITEENABLE},
    {"zfunc", D3DRS_ZFUNC},
    {"alphablendenable", D3DRS_ALPHABLENDENABLE},
    {"srcblend", D3DRS_SRCBLEND},
    {"destblend", D3DRS_DESTBLEND},
    {"blendop", D3DRS_BLENDOP},
    {"alphatestenable", D3DRS_ALPHATESTENABLE},
    {"alpharef", D3DRS_ALPHAREF},
    {"alphafunc", D3DRS_ALPHAFUNC},
    {"cullmode", D3DRS_CULLMODE},
    {"colorwriteenable", D3DRS_COLORWRITEENABLE},
    {"fillmode", D3DRS_FILLMODE},
    {"shademode", D3DRS_SHADEMODE},
    {"stencilenable", D3DRS_STENCILENABLE},
    {"stencilfunc", D3DRS_STENCILFUNC},
    {"stencilref", D3DRS_STENCILREF},
    {"stencilpass", D3DRS_STENCILPASS},
    {"lighting", D3DRS_LIGHTING},
    {"fogenable", D3DRS_FOGENABLE},
    {"specularenable", D3DRS_SPECULARENABLE},
    {"ditherenable", D3DRS_DITHERENABLE},
    {"multisampleantialias", D3DRS_MULTISAMPLEANTIALIAS},
    {"pointspriteenable", D3DRS_POINTSPRITEENABLE},
    {"separatealphablendenable", D3DRS_SEPARATEALPHABLENDENABLE},
    {"texturefactor", D3DRS_TEXTUREFACTOR},
};

struct SamplerName {
  const char* name;
  D3DSAMPLERSTATETYPE state;
};
constexpr SamplerName kSamplerStates[] = {
    {"addressu", D3DSAMP_ADDRESSU}, {"addressv", D3DSAMP_ADDRESSV},   {"addressw", D3DSAMP_ADDRESSW},
    {"magfilter", D3DSAMP_MAGFILTER}, {"minfilter", D3DSAMP_MINFILTER}, {"mipfilter", D3DSAMP_MIPFILTER},
    {"maxanisotropy", D3DSAMP_MAXANISOTROPY},
};

// Named values of state assignments.
bool NamedValue(const std::string& word, DWORD* out) {
  static const std::pair<const char*, DWORD> names[] = {
      {"true", 1},          {"false", 0},          {"none", 1},          {"cw", 2},
      {"ccw", 3},           {"never", 1},          {"less", 2},          {"equal", 3},
      {"lessequal", 4},     {"greater", 5},        {"notequal", 6},      {"greaterequal", 7},
      {"always", 8},        {"zero", 1},           {"one", 2},           {"srccolor", 3},
      {"invsrccolor", 4},   {"srcalpha", 5},       {"invsrcalpha", 6},   {"destalpha", 7},
      {"invdestalpha", 8},  {"destcolor", 9},      {"invdestcolor", 10}, {"add", 1},
      {"subtract", 2},      {"revsubtract", 3},    {"min", 4},           {"max", 5},
      {"point", 1},         {"linear", 2},         {"anisotropic", 3},   {"wrap", 1},
      {"mirror", 2},        {"clamp", 3},          {"border", 4},        {"solid", 3},
      {"wireframe", 2},     {"flat", 1},           {"gouraud", 2},       {"red", 1},
      {"green", 2},         {"blue", 4},           {"alpha", 8},         {"keep", 1},
      {"replace", 3},
  };
  std::string l = Lower(word);
  for (const auto& [n, v] : names) {
    if (l == n) {
      *out = v;
      return true;
    }
  }
  return false;
}

class Effect final : public Counted<ID3DXEffect> {
 public:
  Effect(IDirect3DDevice9* device, Pool* pool) : device_(device), pool_(pool) {
    device_->AddRef();
    if (pool_) pool_->AddRef();
  }

  // False with the message when shared parameters clash with the pool.
  bool Build(ParsedEffect& parsed, std::string* error) {
    int nextStage = 0;
    for (ParsedParameter& p : parsed.parameters) {
      Parameter param;
      param.name = p.name;
      param.semantic = p.semantic;
      param.shared = p.shared && pool_;
      auto value = MakeValue(p.klass, p.type, p.rows, p.columns, p.elements,
                             p.initialValue ? &*p.initialValue : nullptr);
      if (param.shared) {
        bool created = false;
        param.value = pool_->Share(p.name, std::move(value), &created);
        if (!param.value) {
          *error = "error: shared parameter '" + p.name + "' differs from its declaration in the pool";
          return false;
        }
      } else {
        param.value = std::shared_ptr<Value>(value.release());
      }
      param.annotations = Annotations(p.annotations);
      param.samplerStates = std::move(p.samplerStates);
      if (param.value->type >= D3DXPT_SAMPLER && param.value->type <= D3DXPT_SAMPLERCUBE) {
        samplerStages_[param.name] = nextStage;
        param.stage = nextStage++;
      }
      params_.push_back(std::move(param));
    }
    for (auto& t : parsed.techniques) {
      Technique tech;
      tech.name = t.name;
      tech.annotations = Annotations(t.annotations);
      for (auto& p : t.passes) {
        Pass pass;
        pass.name = p.name;
        pass.annotations = Annotations(p.annotations);
        pass.states = std::move(p.states);
        tech.passes.push_back(std::move(pass));
      }
      techniques_.push_back(std::move(tech));
    }
    if (!techniques_.empty()) current_ = 0;
    Resolve();
    return true;
  }

  HRESULT GetDesc(D3DXEFFECT_DESC* desc) override {
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = {"headless effect reader", static_cast<UINT>(params_.size()), static_cast<UINT>(techniques_.size()), 0};
    return D3D_OK;
  }
  HRESULT GetPool(ID3DXEffectPool** pool) override {
    if (!pool) return D3DERR_INVALIDCALL;
    *pool = pool_;
    if (pool_) pool_->AddRef();
    return D3D_OK;
  }
  HRESULT GetDevice(IDirect3DDevice9** device) override {
    if (!device) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *device = device_;
    return D3D_OK;
  }

  D3DXHANDLE GetParameter(D3DXHANDLE parent, UINT index) override {
    if (parent || index >= params_.size()) return nullptr;
    return params_[index].name.c_str();
  }
  D3DXHANDLE GetParameterByName(D3DXHANDLE parent, const char* name) override {
    if (parent || !name) return nullptr;
    Parameter* p = Find(name);
    return p ? p->name.c_str() : nullptr;
  }
  D3DXHANDLE GetParameterBySemantic(D3DXHANDLE parent, const char* semantic) override {
    if (parent || !semantic) return nullptr;
    for (Parameter& p : params_) {
      if (!p.semantic.empty() && Lower(p.semantic) == Lower(semantic)) return p.name.c_str();
    }
    return nullptr;
  }
  HRESULT GetParameterDesc(D3DXHANDLE h, D3DXPARAMETER_DESC* desc) override {
    Parameter* p = Find(h);
    if (!p || !desc) return D3DERR_INVALIDCALL;
    const Value& v = *p->value;
    *desc = {p->name.c_str(),
             p->semantic.empty() ? nullptr : p->semantic.c_str(),
             v.klass,
             v.type,
             v.rows,
             v.columns,
             v.elements,
             static_cast<UINT>(p->annotations.size()),
             0,
             p->shared ? D3DX_PARAMETER_SHARED : 0u,
             static_cast<UINT>(v.Numeric() ? v.words.size() * 4 : sizeof(void*))};
    return D3D_OK;
  }

  D3DXHANDLE GetAnnotation(D3DXHANDLE object, UINT index) override {
    auto* list = AnnotationsOf(object);
    if (!list || index >= list->size()) return nullptr;
    return (*list)[index].name.c_str();
  }
  D3DXHANDLE GetAnnotationByName(D3DXHANDLE object, const char* name) override {
    auto* list = AnnotationsOf(object);
    if (!list || !name) return nullptr;
    for (Annotation& a : *list) {
      if (a.name == name) return a.name.c_str();
    }
    return nullptr;
  }

  HRESULT SetValue(D3DXHANDLE h, const void* data, UINT bytes) override {
    Value* v = Writable(h);
    if (!v || !data) return D3DERR_INVALIDCALL;
    if (v->IsTexture()) {
      if (bytes < sizeof(void*)) return D3DERR_INVALIDCALL;
      IDirect3DBaseTexture9* t;
      std::memcpy(&t, data, sizeof t);
      return SetTexture(h, t);
    }
    if (!v->Numeric()) return D3DERR_INVALIDCALL;
    std::memcpy(v->words.data(), data, std::min<size_t>(bytes, v->words.size() * 4));
    return D3D_OK;
  }
  HRESULT GetValue(D3DXHANDLE h, void* data, UINT bytes) override {
    Value* v = Readable(h);
    if (!v || !data) return D3DERR_INVALIDCALL;
    if (v->IsTexture()) {
      if (bytes < sizeof(void*)) return D3DERR_INVALIDCALL;
      if (v->texture) v->texture->AddRef();
      std::memcpy(data, &v->texture, sizeof v->texture);
      return D3D_OK;
    }
    if (!v->Numeric()) return D3DERR_INVALIDCALL;
    std::memcpy(data, v->words.data(), std::min<size_t>(bytes, v->words.size() * 4));
    return D3D_OK;
  }
  HRESULT SetBool(D3DXHANDLE h, BOOL b) override { return SetFloats(h, b ? 1.0f : 0.0f); }
  HRESULT GetBool(D3DXHANDLE h, BOOL* b) override {
    float f = 0.0f;
    HRESULT hr = GetFloats(h, &f, 1);
    if (SUCCEEDED(hr) && b) *b = f != 0.0f;
    return b ? hr : D3DERR_INVALIDCALL;
  }
  HRESULT SetInt(D3DXHANDLE h, INT n) override { return SetFloats(h, static_cast<float>(n)); }
  HRESULT GetInt(D3DXHANDLE h, INT* n) override {
    Value* v = Readable(h);
    if (!v || !n || !v->Numeric() || v->words.empty()) return D3DERR_INVALIDCALL;
    *n = v->type == D3DXPT_INT ? static_cast<INT>(v->words[0]) : SaturatedInt(v->Get(0));
    return D3D_OK;
  }
  HRESULT SetFloat(D3DXHANDLE h, float f) override { return SetFloats(h, f); }
  HRESULT GetFloat(D3DXHANDLE h, float* f) override { return f ? GetFloats(h, f, 1) : D3DERR_INVALIDCALL; }
  HRESULT SetFloatArray(D3DXHANDLE h, const float* f, UINT count) override {
    Value* v = Writable(h);
    if (!v || !f || !v->Numeric()) return D3DERR_INVALIDCALL;
    for (size_t i = 0; i < count && i < v->words.size(); ++i) v->Set(i, f[i]);
    return D3D_OK;
  }
  HRESULT GetFloatArray(D3DXHANDLE h, float* f, UINT count) override {
    return f ? GetFloats(h, f, count) : D3DERR_INVALIDCALL;
  }
  HRESULT SetVector(D3DXHANDLE h, const D3DXVECTOR4* v) override {
    return v ? SetFloatArray(h, &v->x, 4) : D3DERR_INVALIDCALL;
  }
  HRESULT GetVector(D3DXHANDLE h, D3DXVECTOR4* v) override {
    if (!v) return D3DERR_INVALIDCALL;
    *v = D3DXVECTOR4();
    return GetFloats(h, &v->x, 4);
  }
  HRESULT SetMatrix(D3DXHANDLE h, const D3DXMATRIX* m) override {
    Value* v = Writable(h);
    if (!v || !m || !v->Numeric()) return D3DERR_INVALIDCALL;
    // The parameter's rows × columns corner of the matrix.
    for (UINT r = 0; r < v->rows; ++r)
      for (UINT c = 0; c < v->columns; ++c) v->Set(r * v->columns + c, m->m[r][c]);
    return D3D_OK;
  }
  HRESULT GetMatrix(D3DXHANDLE h, D3DXMATRIX* m) override {
    Value* v = Readable(h);
    if (!v || !m || !v->Numeric()) return D3DERR_INVALIDCALL;
    *m = D3DXMATRIX();
    for (UINT r = 0; r < v->rows; ++r)
      for (UINT c = 0; c < v->columns; ++c) m->m[r][c] = v->Get(r * v->columns + c);
    return D3D_OK;
  }
  HRESULT SetTexture(D3DXHANDLE h, IDirect3DBaseTexture9* texture) override {
    Value* v = Writable(h);
    if (!v || !v->IsTexture()) return D3DERR_INVALIDCALL;
    if (texture) texture->AddRef();
    if (v->texture) v->texture->Release();
    v->texture = texture;
    return D3D_OK;
  }
  HRESULT GetTexture(D3DXHANDLE h, IDirect3DBaseTexture9** texture) override {
    Value* v = Readable(h);
    if (!v || !texture || !v->IsTexture()) return D3DERR_INVALIDCALL;
    *texture = v->texture;
    if (*texture) (*texture)->AddRef();
    return D3D_OK;
  }
  HRESULT GetString(D3DXHANDLE h, const char** s) override {
    Value* v = Readable(h);
    if (!v || !s || v->type != D3DXPT_STRING) return D3DERR_INVALIDCALL;
    *s = v->text.c_str();
    return D3D_OK;
  }

  D3DXHANDLE GetTechnique(UINT index) override {
    return index < techniques_.size() ? TechniqueHandle(index) : nullptr;
  }
  D3DXHANDLE GetTechniqueByName(const char* name) override {
    if (!name) return nullptr;
    for (size_t i = 0; i < techniques_.size(); ++i) {
      if (techniques_[i].name == name) return TechniqueHandle(i);
    }
    return nullptr;
  }
  D3DXHANDLE GetPass(D3DXHANDLE technique, UINT index) override {
    int t = FindTechnique(technique);
    if (t < 0 || index >= techniques_[t].passes.size()) return nullptr;
    return PassHandle(techniques_[t].passes[index]);
  }
  HRESULT GetTechniqueDesc(D3DXHANDLE technique, D3DXTECHNIQUE_DESC* desc) override {
    int t = FindTechnique(technique);
    if (t < 0 || !desc) return D3DERR_INVALIDCALL;
    const Technique& tech = techniques_[t];
    *desc = {tech.name.empty() ? nullptr : tech.name.c_str(), static_cast<UINT>(tech.passes.size()),
             static_cast<UINT>(tech.annotations.size())};
    return D3D_OK;
  }
  HRESULT GetPassDesc(D3DXHANDLE pass, D3DXPASS_DESC* desc) override {
    if (!desc) return D3DERR_INVALIDCALL;
    for (Technique& t : techniques_) {
      for (Pass& p : t.passes) {
        if (PassHandle(p) == pass) {
          *desc = {p.name.empty() ? nullptr : p.name.c_str(), static_cast<UINT>(p.annotations.size()), nullptr,
                   nullptr};
          return D3D_OK;
        }
      }
    }
    return D3DERR_INVALIDCALL;
  }
  HRESULT ValidateTechnique(D3DXHANDLE technique) override {
    int t = FindTechnique(technique);
    if (t < 0) return D3DERR_INVALIDCALL;
    return Valid(techniques_[t]) ? D3D_OK : D3DERR_NOTAVAILABLE;
  }
  HRESULT FindNextValidTechnique(D3DXHANDLE technique, D3DXHANDLE* next) override {
    if (!next) return D3DERR_INVALIDCALL;
    *next = nullptr;
    size_t start = 0;
    if (technique) {
      int t = FindTechnique(technique);
      if (t < 0) return D3DERR_INVALIDCALL;
      start = static_cast<size_t>(t) + 1;
    }
    for (size_t i = start; i < techniques_.size(); ++i) {
      if (Valid(techniques_[i])) {
        *next = TechniqueHandle(i);
        return D3D_OK;
      }
    }
    return S_FALSE;
  }
  HRESULT SetTechnique(D3DXHANDLE technique) override {
    int t = FindTechnique(technique);
    if (t < 0 || begun_) return D3DERR_INVALIDCALL;
    current_ = t;
    return D3D_OK;
  }
  D3DXHANDLE GetCurrentTechnique() override { return current_ >= 0 ? TechniqueHandle(current_) : nullptr; }

  HRESULT Begin(UINT* passes, DWORD flags) override {
    if (begun_ || current_ < 0 || lost_ > 0) return D3DERR_INVALIDCALL;
    begun_ = true;
    pass_ = -1;
    saveState_ = !(flags & D3DXFX_DONOTSAVESTATE);
    if (saveState_) SaveState();
    if (passes) *passes = static_cast<UINT>(techniques_[current_].passes.size());
    return D3D_OK;
  }
  HRESULT BeginPass(UINT pass) override {
    if (!begun_ || pass_ >= 0 || pass >= techniques_[current_].passes.size()) return D3DERR_INVALIDCALL;
    pass_ = static_cast<int>(pass);
    Apply();
    platform::d3d9::SetEffectPass(device_, techniques_[current_].name.c_str(), pass_);
    return D3D_OK;
  }
  HRESULT CommitChanges() override {
    if (pass_ < 0) return D3DERR_INVALIDCALL;
    ++commits_;
    Apply();
    return D3D_OK;
  }
  HRESULT EndPass() override {
    if (pass_ < 0) return D3DERR_INVALIDCALL;
    pass_ = -1;
    platform::d3d9::SetEffectPass(device_, nullptr, -1);
    if (platform::d3d9::ExecutesDraws(device_)) platform::d3d9::SetPassProgram(device_, nullptr, nullptr, 0, nullptr, 0);
    return D3D_OK;
  }
  HRESULT End() override {
    if (!begun_) return D3DERR_INVALIDCALL;
    if (pass_ >= 0) EndPass();
    begun_ = false;
    if (saveState_) RestoreState();
    return D3D_OK;
  }

  HRESULT OnLostDevice() override {
    ++lost_;
    return D3D_OK;
  }
  HRESULT OnResetDevice() override {
    if (lost_ > 0) --lost_;
    return D3D_OK;
  }

  // ---- For tests -------------------------------------------------------------------
  Value* ValueOf(const char* name) {
    Parameter* p = Find(name);
    return p ? p->value.get() : nullptr;
  }
  platform::testing::EffectRunState RunState() const {
    platform::testing::EffectRunState s;
    if (current_ >= 0) s.technique = techniques_[current_].name;
    s.begun = begun_;
    s.pass = pass_;
    s.lostCount = lost_;
    s.commits = commits_;
    return s;
  }

 private:
  ~Effect() override {
    if (begun_) End();
    for (Technique& t : techniques_) {
      for (Pass& p : t.passes) {
        for (int alpha = 0; alpha < 2; ++alpha) {
          platform::d3d9::DeletePassProgram(p.programs.program[alpha]);
          platform::d3d9::DeletePassProgram(p.programs.pretransformed[alpha]);
        }
      }
    }
    params_.clear();
    if (pool_) pool_->Release();
    device_->Release();
  }

  std::vector<Annotation> Annotations(std::vector<platform::d3dx9::Annotation>& parsed) {
    std::vector<Annotation> out;
    for (auto& a : parsed) {
      out.push_back({a.name, MakeValue(a.klass, a.type, a.rows, a.columns, 0, &a.value)});
    }
    return out;
  }

  // A handle this effect gave out, else a name.
  Parameter* Find(D3DXHANDLE h) {
    if (!h) return nullptr;
    for (Parameter& p : params_) {
      if (p.name.c_str() == h) return &p;
    }
    for (Parameter& p : params_) {
      if (p.name == h) return &p;
    }
    return nullptr;
  }
  // Annotations can be read through their handles as parameters.
  Value* FindAnnotation(D3DXHANDLE h) {
    auto scan = [&](std::vector<Annotation>& list) -> Value* {
      for (Annotation& a : list) {
        if (a.name.c_str() == h) return a.value.get();
      }
      return nullptr;
    };
    for (Parameter& p : params_) {
      if (Value* v = scan(p.annotations)) return v;
    }
    for (Technique& t : techniques_) {
      if (Value* v = scan(t.annotations)) return v;
      for (Pass& p : t.passes) {
        if (Value* v = scan(p.annotations)) return v;
      }
    }
    return nullptr;
  }
  Value* Writable(D3DXHANDLE h) {
    Parameter* p = Find(h);
    return p ? p->value.get() : nullptr;
  }
  Value* Readable(D3DXHANDLE h) {
    if (!h) return nullptr;
    if (Value* v = FindAnnotation(h)) return v;
    return Writable(h);
  }
  std::vector<Annotation>* AnnotationsOf(D3DXHANDLE h) {
    if (!h) return nullptr;
    for (size_t i = 0; i < techniques_.size(); ++i) {
      if (TechniqueHandle(i) == h) return &techniques_[i].annotations;
      for (Pass& p : techniques_[i].passes) {
        if (PassHandle(p) == h) return &p.annotations;
      }
    }
    if (Parameter* p = Find(h)) return &p->annotations;
    int t = FindTechnique(h);
    return t >= 0 ? &techniques_[t].annotations : nullptr;
  }

  HRESULT SetFloats(D3DXHANDLE h, float f) { return SetFloatArray(h, &f, 1); }
  HRESULT GetFloats(D3DXHANDLE h, float* f, UINT count) {
    Value* v = Readable(h);
    if (!v || !v->Numeric()) return D3DERR_INVALIDCALL;
    for (size_t i = 0; i < count && i < v->words.size(); ++i) f[i] = v->Get(i);
    return D3D_OK;
  }

  // Techniques without a name get the address of their (empty) name as handle.
  D3DXHANDLE TechniqueHandle(size_t i) const { return techniques_[i].name.c_str(); }
  static D3DXHANDLE PassHandle(const Pass& p) { return p.name.c_str(); }
  int FindTechnique(D3DXHANDLE h) const {
    if (!h) return -1;
    for (size_t i = 0; i < techniques_.size(); ++i) {
      if (techniques_[i].name.c_str() == h) return static_cast<int>(i);
    }
    for (size_t i = 0; i < techniques_.size(); ++i) {
      if (!techniques_[i].name.empty() && techniques_[i].name == h) return static_cast<int>(i);
    }
    return -1;
  }

  bool Valid(Technique& t) {
    if (!Supported(t)) return false;
    for (Pass& p : t.passes) {
      if (!Build(t, p)) return false;
    }
    return true;
  }

  bool Supported(const Technique& t) const {
    D3DCAPS9 caps{};
    device_->GetDeviceCaps(&caps);
    for (const Pass& p : t.passes) {
      for (const StateAssignment& s : p.states) {
        if (s.compileTarget.empty()) continue;
        char kind;
        DWORD major, minor;
        if (!TargetVersion(s.compileTarget, &kind, &major, &minor)) return false;
        DWORD have = kind == 'v' ? caps.VertexShaderVersion : caps.PixelShaderVersion;
        DWORD haveMajor = D3DSHADER_VERSION_MAJOR(have), haveMinor = D3DSHADER_VERSION_MINOR(have);
        if (haveMajor < major || (haveMajor == major && haveMinor < minor)) return false;
      }
    }
    return true;
  }

  // The stage a compile call names, compiled once per effect and entry.
  const Stage* CompileCall(const StateAssignment& state, bool pixel) {
    // "compile ps_2_0 PS(1)": the function and its literal arguments.
    std::string call = state.value;
    size_t at = call.find(state.compileTarget);
    call = at == std::string::npos ? std::string() : call.substr(at + state.compileTarget.size());
    size_t open = call.find('('), close = call.rfind(')');
    std::string function = call.substr(0, open), arguments;
    if (open != std::string::npos && close != std::string::npos && close > open) {
      arguments = call.substr(open + 1, close - open - 1);
    }
    function.erase(std::remove_if(function.begin(), function.end(),
                                  [](char c) { return std::isspace(static_cast<unsigned char>(c)); }),
                   function.end());
    const std::string key = (pixel ? "p:" : "v:") + function + "(" + arguments + ")";
    auto it = stages_.find(key);
    if (it != stages_.end()) return it->second.get();
    auto stage = std::make_unique<Stage>();
    std::string source = rewritten_, entry;
    if (function.empty()) {
      stage->error = "no function in \"" + state.value + "\"";
    } else if (!rewriteError_.empty()) {
      stage->error = rewriteError_;
    } else if (platform::d3dx9::AddEntryPoint(&source, function, arguments, &entry, &stage->error)) {
      stage->ok = platform::d3dx9::CompileStage(source, entry, pixel, samplerStages_, &stage->compiled, &stage->error);
    }
    const Stage* made = stage.get();
    stages_[key] = std::move(stage);
    return made;
  }

  // Compiles a pass's shaders and links its programs when the device draws;
  // false (with a line in the log) when they do not compile.
  bool Build(const Technique& t, Pass& p) {
    if (!platform::d3d9::ExecutesDraws(device_)) return true;
    if (p.built != 0) return p.built > 0;
    p.built = -1;
    const StateAssignment* shaders[2] = {};
    for (const StateAssignment& s : p.states) {
      const std::string name = Lower(s.name);
      if (name == "vertexshader" && !s.compileTarget.empty()) shaders[0] = &s;
      if (name == "pixelshader" && !s.compileTarget.empty()) shaders[1] = &s;
    }
    if (!shaders[0] && !shaders[1]) {
      p.built = 1;  // the fixed pipeline
      return true;
    }
    std::string error;
    if (!shaders[0] || !shaders[1]) {
      error = "a pass needs both a vertex and a pixel shader";
    } else {
      p.vertex = CompileCall(*shaders[0], false);
      p.pixel = CompileCall(*shaders[1], true);
      if (!p.vertex->ok) {
        error = p.vertex->error;
      } else if (!p.pixel->ok) {
        error = p.pixel->error;
      } else {
        const platform::d3dx9::CompiledStage& ps = p.pixel->compiled;
        const std::string pretransformed = platform::d3dx9::PretransformedVertexStage(ps);
        bool made = true;
        for (int alpha = 0; alpha < 2 && made; ++alpha) {
          const std::string& pixel = alpha ? ps.glsl : ps.glslWithoutAlphaTest;
          p.programs.program[alpha] = platform::d3d9::CreatePassProgram(device_, p.vertex->compiled.glsl, pixel, &error);
          p.programs.pretransformed[alpha] =
              p.programs.program[alpha] ? platform::d3d9::CreatePassProgram(device_, pretransformed, pixel, &error)
                                        : nullptr;
          made = p.programs.program[alpha] && p.programs.pretransformed[alpha];
        }
        if (made) {
          p.vertexConstants.assign(p.vertex->compiled.constantBytes, 0);
          p.pixelConstants.assign(p.pixel->compiled.constantBytes, 0);
          p.built = 1;
          return true;
        }
      }
    }
    // One line: the first of the compiler's.
    error = error.substr(0, error.find('\n'));
    std::printf("Effect \"%s\": technique \"%s\", pass \"%s\" does not compile: %s\n", label_.c_str(),
                t.name.c_str(), p.name.c_str(), error.c_str());
    std::fflush(stdout);
    return false;
  }

  // Parameters into the stage's constant block, as its layout says.
  void Pack(const platform::d3dx9::CompiledStage& stage, std::vector<BYTE>* bytes) {
    for (const platform::d3dx9::ConstantSlot& slot : stage.constants) {
      Parameter* param = Find(slot.name.c_str());
      if (!param || !param->value->Numeric()) continue;
      const Value& v = *param->value;
      const bool matrix = v.klass == D3DXPC_MATRIX_ROWS || v.klass == D3DXPC_MATRIX_COLUMNS;
      const UINT elements = std::max(1u, v.elements);
      for (UINT e = 0; e < elements; ++e) {
        for (UINT r = 0; r < v.rows; ++r) {
          for (UINT c = 0; c < v.columns; ++c) {
            const size_t word = (static_cast<size_t>(e) * v.rows + r) * v.columns + c;
            size_t offset = slot.offset + static_cast<size_t>(e) * slot.arrayStride;
            if (matrix) {
              offset += slot.columnsContiguous ? c * slot.matrixStride + r * 4 : r * slot.matrixStride + c * 4;
            } else {
              offset += (static_cast<size_t>(r) * v.columns + c) * 4;
            }
            if (word < v.words.size() && offset + 4 <= bytes->size()) std::memcpy(bytes->data() + offset, &v.words[word], 4);
          }
        }
      }
    }
  }

  void BindProgram(Pass& p) {
    if (p.built <= 0 || !p.programs.program[0]) {
      platform::d3d9::SetPassProgram(device_, nullptr, nullptr, 0, nullptr, 0);
      return;
    }
    Pack(p.vertex->compiled, &p.vertexConstants);
    Pack(p.pixel->compiled, &p.pixelConstants);
    platform::d3d9::SetPassProgram(device_, &p.programs, p.vertexConstants.data(),
                                   p.vertexConstants.size(), p.pixelConstants.data(), p.pixelConstants.size());
  }

  static std::string Bare(const std::string& text) {
    std::string s;
    for (char c : text) {
      if (c != '<' && c != '>' && c != '(' && c != ')' && c != ' ') s += c;
    }
    return s;
  }

  // A state value: a number, names joined by '|', or a parameter in <> or ().
  bool Evaluate(const std::string& text, ResolvedState* out) {
    std::string s = Bare(text);
    if (Value* v = Writable(s.c_str()); v && v->Numeric() && !v->words.empty()) {
      out->parameter = v;
      return true;
    }
    DWORD total = 0;
    size_t b = 0;
    while (b <= s.size()) {
      size_t e = s.find('|', b);
      std::string part = s.substr(b, e == std::string::npos ? std::string::npos : e - b);
      DWORD v;
      if (!part.empty() && (std::isdigit(static_cast<unsigned char>(part[0])) || part[0] == '-')) {
        v = static_cast<DWORD>(std::strtol(part.c_str(), nullptr, 0));
      } else if (!NamedValue(part, &v)) {
        return false;
      }
      total |= v;
      if (e == std::string::npos) break;
      b = e + 1;
    }
    out->constant = total;
    return true;
  }

  // Names and values are looked up once, so a pass applies without searching.
  void Resolve() {
    for (Technique& t : techniques_) {
      for (Pass& pass : t.passes) {
        for (const StateAssignment& s : pass.states) {
          std::string name = Lower(s.name);
          for (const StateName& rs : kRenderStates) {
            ResolvedState r;
            r.state = rs.state;
            if (name == rs.name && Evaluate(s.value, &r)) pass.renderStates.push_back(r);
          }
        }
      }
    }
    for (Parameter& p : params_) {
      if (p.stage < 0 || p.stage >= static_cast<int>(D3D_MAX_SAMPLERS)) continue;
      for (const StateAssignment& s : p.samplerStates) {
        std::string name = Lower(s.name);
        if (name == "texture") {
          Value* v = Writable(Bare(s.value).c_str());
          p.samplerTexture = v && v->IsTexture() ? v : nullptr;
          p.bindsTexture = true;
          continue;
        }
        for (const SamplerName& ss : kSamplerStates) {
          ResolvedState r;
          r.state = ss.state;
          if (name == ss.name && Evaluate(s.value, &r)) p.resolvedSamplerStates.push_back(r);
        }
      }
    }
  }

  void Apply() {
    Pass& pass = techniques_[current_].passes[pass_];
    if (platform::d3d9::ExecutesDraws(device_)) {
      Build(techniques_[current_], pass);
      BindProgram(pass);
    }
    for (const ResolvedState& r : pass.renderStates) {
      device_->SetRenderState(static_cast<D3DRENDERSTATETYPE>(r.state), r.Get());
    }
    // Samplers take their textures and filters; the effect numbers its
    // samplers in declaration order.
    for (const Parameter& p : params_) {
      if (p.stage < 0 || p.stage >= static_cast<int>(D3D_MAX_SAMPLERS)) continue;
      const DWORD stage = static_cast<DWORD>(p.stage);
      if (p.bindsTexture) device_->SetTexture(stage, p.samplerTexture ? p.samplerTexture->texture : nullptr);
      for (const ResolvedState& r : p.resolvedSamplerStates) {
        device_->SetSamplerState(stage, static_cast<D3DSAMPLERSTATETYPE>(r.state), r.Get());
      }
    }
  }

  void SaveState() {
    saved_.clear();
    for (const Pass& p : techniques_[current_].passes) {
      for (const ResolvedState& r : p.renderStates) {
        DWORD v;
        auto state = static_cast<D3DRENDERSTATETYPE>(r.state);
        if (SUCCEEDED(device_->GetRenderState(state, &v))) saved_.push_back({state, v});
      }
    }
  }
  void RestoreState() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) device_->SetRenderState(it->first, it->second);
    saved_.clear();
  }

  IDirect3DDevice9* device_;
  Pool* pool_;
  std::vector<Parameter> params_;
  std::vector<Technique> techniques_;
  int current_ = -1;
  bool begun_ = false;
  int pass_ = -1;
  bool saveState_ = false;
  int lost_ = 0;
  int commits_ = 0;
  std::vector<std::pair<D3DRENDERSTATETYPE, DWORD>> saved_;
  std::map<std::string, int> samplerStages_;
  std::map<std::string, std::unique_ptr<Stage>> stages_;

 public:
  // The source as the shader compiler reads it, made once per effect.
  void SetSource(std::string_view source) {
    if (!platform::d3dx9::RewriteEffectSource(source, samplerStages_, &rewritten_, &rewriteError_) &&
        rewriteError_.empty()) {
      rewriteError_ = "the source cannot be rewritten";
    }
    label_ = techniques_.empty() ? std::string("(no technique)") : techniques_[0].name;
  }

 private:
  std::string rewritten_, rewriteError_, label_;
};

}  // namespace

HRESULT D3DXCreateBuffer(DWORD numBytes, ID3DXBuffer** buffer) {
  if (!buffer) return D3DERR_INVALIDCALL;
  *buffer = new Buffer(numBytes);
  return D3D_OK;
}

HRESULT D3DXCreateEffectPool(ID3DXEffectPool** pool) {
  if (!pool) return D3DERR_INVALIDCALL;
  *pool = new Pool();
  return D3D_OK;
}

HRESULT D3DXCreateEffect(IDirect3DDevice9* device, const void* srcData, UINT srcDataLen, const D3DXMACRO*,
                         ID3DXInclude*, DWORD, ID3DXEffectPool* pool, ID3DXEffect** effect,
                         ID3DXBuffer** compilationErrors) {
  if (compilationErrors) *compilationErrors = nullptr;
  if (!effect) return D3DERR_INVALIDCALL;
  *effect = nullptr;
  if (!device || !srcData || srcDataLen == 0) return D3DERR_INVALIDCALL;
  const auto* bytes = static_cast<const unsigned char*>(srcData);
  // Compiled effects start with their version word.
  if (srcDataLen >= 4 && bytes[2] == 0xFF && bytes[3] == 0xFE) return D3DXERR_INVALIDDATA;
  std::string error;
  ParsedEffect parsed;
  bool ok = platform::d3dx9::ParseEffect(std::string_view(static_cast<const char*>(srcData), srcDataLen), &parsed,
                                         &error);
  Effect* made = nullptr;
  if (ok) {
    made = new Effect(device, static_cast<Pool*>(pool));
    ok = made->Build(parsed, &error);
    if (ok && platform::d3d9::ExecutesDraws(device)) {
      made->SetSource(std::string_view(static_cast<const char*>(srcData), srcDataLen));
    }
    if (!ok) {
      made->Release();
      made = nullptr;
    }
  }
  if (!ok) {
    if (compilationErrors && SUCCEEDED(D3DXCreateBuffer(static_cast<DWORD>(error.size() + 1), compilationErrors))) {
      std::memcpy((*compilationErrors)->GetBufferPointer(), error.c_str(), error.size() + 1);
    }
    return E_FAIL;
  }
  *effect = made;
  return D3D_OK;
}

namespace platform::testing {

std::optional<std::vector<float>> EffectFloats(ID3DXEffect* effect, const char* name) {
  if (!effect || !name) return std::nullopt;
  Value* v = static_cast<Effect*>(effect)->ValueOf(name);
  if (!v || !v->Numeric()) return std::nullopt;
  std::vector<float> out;
  for (size_t i = 0; i < v->words.size(); ++i) out.push_back(v->Get(i));
  return out;
}

std::optional<IDirect3DBaseTexture9*> EffectTexture(ID3DXEffect* effect, const char* name) {
  if (!effect || !name) return std::nullopt;
  Value* v = static_cast<Effect*>(effect)->ValueOf(name);
  if (!v || !v->IsTexture()) return std::nullopt;
  return v->texture;
}

EffectRunState EffectState(ID3DXEffect* effect) {
  return effect ? static_cast<Effect*>(effect)->RunState() : EffectRunState{};
}

int LiveD3DX9Objects() { return g_liveObjects.load(); }

}  // namespace platform::testing
