// The DxDiag provider and the COM and OLE automation pieces its callers use:
// CoCreateInstance of the provider, its tree of named containers with typed
// properties, variants and BSTR strings. The provider describes this machine
// as far as Linux can tell (operating system, processor, memory, the Direct3D
// layer's adapter, sound cards, disks) and reports the DirectX version the
// Direct3D 9 layer implements, 9.0c. Tests replace the tree (testing.h).
#pragma once

#include "platform/d3d9/d3d9_resources.h"  // IUnknown
#include "platform/d3d9/d3d9_types.h"      // GUID
#include "platform/win32/windows_types.h"

using CLSID = GUID;
using IID = GUID;
using REFCLSID = const CLSID&;
using REFIID = const IID&;

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);
constexpr HRESULT DXDIAG_E_INSUFFICIENT_BUFFER = static_cast<HRESULT>(0x8007007Au);

inline constexpr CLSID CLSID_DxDiagProvider = {0xA65B8071, 0x3BFE, 0x4213,
                                               {0x9A, 0x5B, 0x49, 0x1D, 0xA4, 0x46, 0x1C, 0xA7}};
inline constexpr IID IID_IDxDiagProvider = {0x9C6B4CB0, 0x23F8, 0x49CC,
                                            {0xA3, 0xED, 0x45, 0xA5, 0x50, 0x00, 0xA6, 0xD2}};

// ---- OLE automation -------------------------------------------------------
using BSTR = WCHAR*;
using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;
enum : VARTYPE { VT_EMPTY = 0, VT_I4 = 3, VT_BSTR = 8, VT_BOOL = 11, VT_UI4 = 19 };

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONG lVal;
    ULONG ulVal;
    VARIANT_BOOL boolVal;
    BSTR bstrVal;
    LONGLONG llVal;
  };
};

// A BSTR keeps its length in bytes in the four bytes before the text and
// ends with a NUL. SysAllocString(nullptr) is null.
BSTR SysAllocString(const WCHAR* text);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);
void VariantInit(VARIANT* value);
// Frees what the variant owns (a BSTR) and makes it VT_EMPTY.
HRESULT VariantClear(VARIANT* value);

// ---- COM ----------------------------------------------------------------------
// Only the DxDiag provider is a known class: anything else gives
// REGDB_E_CLASSNOTREG, another interface E_NOINTERFACE, an outer object
// CLASS_E_NOAGGREGATION. COM apartments are not modelled.
HRESULT CoCreateInstance(REFCLSID classId, IUnknown* outer, DWORD context, REFIID interfaceId, void** object);

// ---- DxDiag -------------------------------------------------------------------
constexpr DWORD DXDIAG_DX9_SDK_VERSION = 111;

struct DXDIAG_INIT_PARAMS {
  DWORD dwSize;  // sizeof(DXDIAG_INIT_PARAMS)
  DWORD dwDxDiagHeaderVersion;  // DXDIAG_DX9_SDK_VERSION
  BOOL bAllowWHQLChecks;
  LPVOID pReserved;  // null
};

// Children are found by name; a dotted name ("DxDiag_DirectSound.
// DxDiag_SoundDevices") walks down. A missing child or property gives
// E_INVALIDARG, a name buffer too small DXDIAG_E_INSUFFICIENT_BUFFER.
struct IDxDiagContainer : IUnknown {
  virtual HRESULT GetNumberOfChildContainers(DWORD* count) = 0;
  virtual HRESULT EnumChildContainerNames(DWORD index, LPWSTR name, DWORD nameChars) = 0;
  virtual HRESULT GetChildContainer(LPCWSTR name, IDxDiagContainer** child) = 0;
  virtual HRESULT GetNumberOfProps(DWORD* count) = 0;
  virtual HRESULT EnumPropNames(DWORD index, LPWSTR name, DWORD nameChars) = 0;
  // Fills an initialised variant; the caller clears it.
  virtual HRESULT GetProp(LPCWSTR name, VARIANT* value) = 0;
};

struct IDxDiagProvider : IUnknown {
  // E_INVALIDARG for a wrong size or header version or a reserved pointer;
  // a second call fails with E_FAIL.
  virtual HRESULT Initialize(DXDIAG_INIT_PARAMS* params) = 0;
  // CO_E_NOTINITIALIZED before Initialize.
  virtual HRESULT GetRootContainer(IDxDiagContainer** root) = 0;
};
