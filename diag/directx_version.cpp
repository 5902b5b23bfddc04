#include "diag/directx_version.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "platform/dxdiag/dxdiag.h"
#include "platform/win32/win32.h"

namespace {

constexpr uint64_t V(uint64_t a, uint64_t b, uint64_t c, uint64_t d) { return (a << 48) | (b << 32) | (c << 16) | d; }

// A condition on a file's version and the version it stands for. `part` is
// the major part of the file version the condition needs (0: any).
struct Rule {
  uint16_t part;
  uint64_t atLeast;
  DWORD major, minor;
  char letter;
};

struct Step {
  const char* file;
  Rule rules[6];
  int count;
};

// Later matches win, so the order is the order of the DirectX releases.
const Step kSteps[] = {
    {"\\ddraw.dll", {{0, V(4, 2, 0, 95), 1, 0, ' '}, {0, V(4, 3, 0, 1096), 2, 0, ' '}, {0, V(4, 4, 0, 68), 3, 0, ' '}}, 3},
    {"\\d3drg8x.dll", {{0, V(4, 4, 0, 70), 3, 0, 'a'}}, 1},
    {"\\ddraw.dll", {{0, V(4, 5, 0, 155), 5, 0, ' '}, {0, V(4, 6, 0, 318), 6, 0, ' '}, {0, V(4, 6, 0, 436), 6, 1, ' '}}, 3},
    {"\\dplayx.dll", {{0, V(4, 6, 3, 518), 6, 1, 'a'}}, 1},
    {"\\ddraw.dll", {{0, V(4, 7, 0, 700), 7, 0, ' '}}, 1},
    {"\\dinput.dll", {{0, V(4, 7, 0, 716), 7, 0, 'a'}}, 1},
    {"\\ddraw.dll", {{4, V(4, 8, 0, 400), 8, 0, ' '}, {5, V(5, 1, 2258, 400), 8, 0, ' '}}, 2},
    {"\\d3d8.dll",
     {{4, V(4, 8, 1, 881), 8, 1, ' '}, {5, V(5, 1, 2600, 881), 8, 1, ' '},
      {4, V(4, 8, 1, 901), 8, 1, 'a'}, {5, V(5, 1, 2600, 901), 8, 1, 'a'}},
     4},
    {"\\mpg2splt.ax", {{0, V(6, 3, 1, 885), 8, 1, 'b'}}, 1},
    {"\\dpnet.dll", {{4, V(4, 9, 0, 134), 8, 2, ' '}, {5, V(5, 2, 3677, 134), 8, 2, ' '}}, 2},
    // Any version at all of the Direct3D 9 library means 9.0.
    {"\\d3d9.dll", {{0, 0, 9, 0, ' '}}, 1},
};

template <class T>
void Put(T* out, T value) {
  if (out) *out = value;
}

}  // namespace

HRESULT ReadFileVersion(const char* path, uint64_t* version) {
  if (!path || !version) return E_INVALIDARG;
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &handle);
  if (size == 0) return E_FAIL;
  std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[size]);
  if (!buffer) return E_OUTOFMEMORY;
  void* info = nullptr;
  UINT length = 0;
  if (!GetFileVersionInfoA(path, handle, size, buffer.get()) ||
      !VerQueryValueA(buffer.get(), "\\", &info, &length) || !info || length < sizeof(VS_FIXEDFILEINFO)) {
    return E_FAIL;
  }
  VS_FIXEDFILEINFO fixed;
  std::memcpy(&fixed, info, sizeof fixed);
  *version = (static_cast<uint64_t>(fixed.dwFileVersionMS) << 32) | fixed.dwFileVersionLS;
  return S_OK;
}

HRESULT ReadDirectXVersionFromProvider(DWORD* major, DWORD* minor, char* letter) {
  bool comInitialised = SUCCEEDED(CoInitialize(nullptr));
  bool gotMajor = false, gotMinor = false, gotLetter = false;
  IDxDiagProvider* provider = nullptr;
  IDxDiagContainer* root = nullptr;
  IDxDiagContainer* system = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, IID_IDxDiagProvider,
                                reinterpret_cast<void**>(&provider));
  if (SUCCEEDED(hr) && provider) {
    DXDIAG_INIT_PARAMS params{sizeof(DXDIAG_INIT_PARAMS), DXDIAG_DX9_SDK_VERSION, FALSE, nullptr};
    hr = provider->Initialize(&params);
    if (SUCCEEDED(hr)) hr = provider->GetRootContainer(&root);
    if (SUCCEEDED(hr) && root) hr = root->GetChildContainer(u"DxDiag_SystemInfo", &system);
    if (SUCCEEDED(hr) && system) {
      VARIANT v;
      VariantInit(&v);
      if (SUCCEEDED(system->GetProp(u"dwDirectXVersionMajor", &v)) && v.vt == VT_UI4) {
        Put(major, static_cast<DWORD>(v.ulVal));
        gotMajor = true;
      }
      VariantClear(&v);
      if (SUCCEEDED(system->GetProp(u"dwDirectXVersionMinor", &v)) && v.vt == VT_UI4) {
        Put(minor, static_cast<DWORD>(v.ulVal));
        gotMinor = true;
      }
      VariantClear(&v);
      if (SUCCEEDED(system->GetProp(u"szDirectXVersionLetter", &v)) && v.vt == VT_BSTR && v.bstrVal &&
          SysStringLen(v.bstrVal) >= 1) {
        // Only the first character matters: convert at most what fits.
        char ansi[10] = {};
        int length = static_cast<int>(SysStringLen(v.bstrVal));
        if (length > 9) length = 9;
        if (WideCharToMultiByte(CP_ACP, 0, v.bstrVal, length, ansi, 9, nullptr, nullptr) > 0) {
          Put(letter, ansi[0]);
          gotLetter = true;
        }
      }
      VariantClear(&v);
    }
  }
  if (system) system->Release();
  if (root) root->Release();
  if (provider) provider->Release();
  if (comInitialised) CoUninitialize();
  return gotMajor && gotMinor && gotLetter ? S_OK : E_FAIL;
}

HRESULT ReadDirectXVersionFromFiles(DWORD* major, DWORD* minor, char* letter) {
  DWORD foundMajor = 0, foundMinor = 0;
  char foundLetter = ' ';
  char folder[MAX_PATH];
  UINT length = GetSystemDirectoryA(folder, sizeof folder);
  if (length > 0 && length < sizeof folder) {
    for (const Step& step : kSteps) {
      char path[512];
      std::snprintf(path, sizeof path, "%s%s", folder, step.file);
      uint64_t version = 0;
      if (FAILED(ReadFileVersion(path, &version))) continue;
      uint16_t part = static_cast<uint16_t>(version >> 48);
      for (int i = 0; i < step.count; ++i) {
        const Rule& r = step.rules[i];
        if ((r.part == 0 || r.part == part) && version >= r.atLeast) {
          foundMajor = r.major;
          foundMinor = r.minor;
          foundLetter = r.letter;
        }
      }
    }
  }
  Put(major, foundMajor);
  Put(minor, foundMinor);
  Put(letter, foundLetter);
  return S_OK;
}

HRESULT DetectDirectXVersion(DWORD* packed, char* text) {
  Put(packed, DWORD{0});
  if (text) text[0] = 0;
  DWORD major = 0, minor = 0;
  char letter = ' ';
  if (FAILED(ReadDirectXVersionFromProvider(&major, &minor, &letter)) &&
      FAILED(ReadDirectXVersionFromFiles(&major, &minor, &letter))) {
    return E_FAIL;
  }
  if (letter >= 'A' && letter <= 'Z') letter = static_cast<char>(letter - 'A' + 'a');
  DWORD index = letter >= 'a' && letter <= 'z' ? static_cast<DWORD>(letter - 'a' + 1) : 0;
  Put(packed, (((major << 8) + minor) << 8) + index);
  if (text) {
    if (letter == ' ') {
      std::snprintf(text, 10, "%u.%u", major, minor);
    } else {
      std::snprintf(text, 10, "%u.%u%c", major, minor, letter);
    }
  }
  return S_OK;
}
