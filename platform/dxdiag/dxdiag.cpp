// The provider and its containers over an immutable tree that every
// container shares, so a child stays valid after its parent and the provider
// are released, as COM objects do.
#include "platform/dxdiag/dxdiag.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/dxdiag/internal.h"
#include "platform/win32/win32.h"

namespace platform::dxdiag {

std::atomic<int> g_live{0};

std::u16string Widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) return {};
  std::u16string out(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

}  // namespace platform::dxdiag

namespace {

using platform::dxdiag::g_live;
using platform::dxdiag::Widen;

struct Prop {
  std::u16string name;
  platform::testing::DxDiagValue value;
  std::u16string text;
};

struct Node {
  std::u16string name;
  std::vector<Prop> props;
  std::vector<Node> children;
};

Node Convert(const platform::testing::DxDiagNode& from) {
  Node n;
  n.name = Widen(from.name);
  for (const auto& [name, value] : from.props) n.props.push_back({Widen(name), value, Widen(value.text)});
  for (const auto& child : from.children) n.children.push_back(Convert(child));
  return n;
}

std::u16string_view View(LPCWSTR s) {
  return s ? std::u16string_view(s) : std::u16string_view();
}

HRESULT GiveName(const std::u16string& name, LPWSTR out, DWORD chars) {
  if (!out) return E_INVALIDARG;
  if (name.size() + 1 > chars) return DXDIAG_E_INSUFFICIENT_BUFFER;
  std::memcpy(out, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
  return S_OK;
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

class Container final : public RefCounted<IDxDiagContainer> {
 public:
  Container(std::shared_ptr<const Node> tree, const Node* node) : tree_(std::move(tree)), node_(node) {}

  HRESULT GetNumberOfChildContainers(DWORD* count) override {
    if (!count) return E_INVALIDARG;
    *count = static_cast<DWORD>(node_->children.size());
    return S_OK;
  }
  HRESULT EnumChildContainerNames(DWORD index, LPWSTR name, DWORD chars) override {
    if (index >= node_->children.size()) return E_INVALIDARG;
    return GiveName(node_->children[index].name, name, chars);
  }
  HRESULT GetChildContainer(LPCWSTR name, IDxDiagContainer** child) override {
    if (!name || !child) return E_INVALIDARG;
    *child = nullptr;
    const Node* at = node_;
    std::u16string_view rest = View(name);
    while (true) {
      size_t dot = rest.find(u'.');
      std::u16string_view part = rest.substr(0, dot);
      const Node* next = nullptr;
      for (const Node& c : at->children) {
        if (c.name == part) {
          next = &c;
          break;
        }
      }
      if (!next) return E_INVALIDARG;
      at = next;
      if (dot == std::u16string_view::npos) break;
      rest.remove_prefix(dot + 1);
    }
    *child = new Container(tree_, at);
    return S_OK;
  }
  HRESULT GetNumberOfProps(DWORD* count) override {
    if (!count) return E_INVALIDARG;
    *count = static_cast<DWORD>(node_->props.size());
    return S_OK;
  }
  HRESULT EnumPropNames(DWORD index, LPWSTR name, DWORD chars) override {
    if (index >= node_->props.size()) return E_INVALIDARG;
    return GiveName(node_->props[index].name, name, chars);
  }
  HRESULT GetProp(LPCWSTR name, VARIANT* value) override {
    if (!name || !value) return E_INVALIDARG;
    std::u16string_view wanted = View(name);
    for (const Prop& p : node_->props) {
      if (p.name != wanted) continue;
      VariantClear(value);
      switch (p.value.type) {
        case VT_UI4:
          value->ulVal = p.value.u32;
          break;
        case VT_I4:
          value->lVal = p.value.i32;
          break;
        case VT_BOOL:
          value->boolVal = p.value.boolean ? VARIANT_TRUE : VARIANT_FALSE;
          break;
        case VT_BSTR:
          value->bstrVal = SysAllocString(p.text.c_str());
          if (!value->bstrVal) return E_OUTOFMEMORY;
          break;
        default:
          return E_FAIL;
      }
      value->vt = p.value.type;
      return S_OK;
    }
    return E_INVALIDARG;
  }

 private:
  std::shared_ptr<const Node> tree_;
  const Node* node_;
};

class Provider final : public RefCounted<IDxDiagProvider> {
 public:
  HRESULT Initialize(DXDIAG_INIT_PARAMS* params) override {
    if (!params || params->dwSize != sizeof(DXDIAG_INIT_PARAMS) ||
        params->dwDxDiagHeaderVersion != DXDIAG_DX9_SDK_VERSION || params->pReserved) {
      return E_INVALIDARG;
    }
    if (tree_) return E_FAIL;
    bool ok = true;
    auto test = platform::dxdiag::LoadTestTree(&ok);
    if (!ok) return E_FAIL;
    tree_ = std::make_shared<const Node>(Convert(test ? *test : platform::testing::MachineDxDiagTree()));
    return S_OK;
  }
  HRESULT GetRootContainer(IDxDiagContainer** root) override {
    if (!root) return E_INVALIDARG;
    *root = nullptr;
    if (!tree_) return CO_E_NOTINITIALIZED;
    *root = new Container(tree_, tree_.get());
    return S_OK;
  }

 private:
  std::shared_ptr<const Node> tree_;
};

bool SameGuid(const GUID& a, const GUID& b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

}  // namespace

BSTR SysAllocString(const WCHAR* text) {
  if (!text) return nullptr;
  size_t length = std::char_traits<char16_t>::length(text);
  if (length > 0x3FFFFFFF) return nullptr;
  auto* block = static_cast<uint8_t*>(std::malloc(4 + (length + 1) * sizeof(WCHAR)));
  if (!block) return nullptr;
  uint32_t bytes = static_cast<uint32_t>(length * sizeof(WCHAR));
  std::memcpy(block, &bytes, 4);
  std::memcpy(block + 4, text, (length + 1) * sizeof(WCHAR));
  ++g_live;
  return reinterpret_cast<BSTR>(block + 4);
}

void SysFreeString(BSTR text) {
  if (!text) return;
  --g_live;
  std::free(reinterpret_cast<uint8_t*>(text) - 4);
}

UINT SysStringLen(BSTR text) {
  if (!text) return 0;
  uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<uint8_t*>(text) - 4, 4);
  return bytes / sizeof(WCHAR);
}

void VariantInit(VARIANT* value) {
  if (!value) return;
  std::memset(value, 0, sizeof *value);
  value->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* value) {
  if (!value) return E_INVALIDARG;
  if (value->vt == VT_BSTR) SysFreeString(value->bstrVal);
  VariantInit(value);
  return S_OK;
}

HRESULT CoCreateInstance(REFCLSID classId, IUnknown* outer, DWORD context, REFIID interfaceId, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!SameGuid(classId, CLSID_DxDiagProvider) || !(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
  if (outer) return CLASS_E_NOAGGREGATION;
  if (!SameGuid(interfaceId, IID_IDxDiagProvider)) return E_NOINTERFACE;
  if (HRESULT failure = platform::dxdiag::ProviderFailure(); FAILED(failure)) return failure;
  *object = static_cast<IDxDiagProvider*>(new Provider());
  return S_OK;
}
