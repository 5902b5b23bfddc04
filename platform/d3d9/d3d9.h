// Direct3D 9 as the engine calls it. For now only the object, the device and
// its lost-device protocol; the graphics layer fills in the rest. Objects are
// reference counted as COM objects are: Release of the last reference frees.
#pragma once

#include "platform/win32/windows_types.h"

constexpr UINT D3D_SDK_VERSION = 32;
constexpr UINT D3DADAPTER_DEFAULT = 0;

constexpr HRESULT D3D_OK = S_OK;
constexpr HRESULT D3DERR_WRONGTEXTUREFORMAT = static_cast<HRESULT>(0x88760818u);
constexpr HRESULT D3DERR_UNSUPPORTEDCOLOROPERATION = static_cast<HRESULT>(0x88760819u);
constexpr HRESULT D3DERR_UNSUPPORTEDCOLORARG = static_cast<HRESULT>(0x8876081Au);
constexpr HRESULT D3DERR_UNSUPPORTEDALPHAOPERATION = static_cast<HRESULT>(0x8876081Bu);
constexpr HRESULT D3DERR_UNSUPPORTEDALPHAARG = static_cast<HRESULT>(0x8876081Cu);
constexpr HRESULT D3DERR_TOOMANYOPERATIONS = static_cast<HRESULT>(0x8876081Du);
constexpr HRESULT D3DERR_CONFLICTINGTEXTUREFILTER = static_cast<HRESULT>(0x8876081Eu);
constexpr HRESULT D3DERR_UNSUPPORTEDFACTORVALUE = static_cast<HRESULT>(0x8876081Fu);
constexpr HRESULT D3DERR_CONFLICTINGRENDERSTATE = static_cast<HRESULT>(0x88760822u);
constexpr HRESULT D3DERR_UNSUPPORTEDTEXTUREFILTER = static_cast<HRESULT>(0x88760823u);
constexpr HRESULT D3DERR_CONFLICTINGTEXTUREPALETTE = static_cast<HRESULT>(0x88760826u);
constexpr HRESULT D3DERR_DRIVERINTERNALERROR = static_cast<HRESULT>(0x88760827u);
constexpr HRESULT D3DERR_NOTFOUND = static_cast<HRESULT>(0x88760866u);
constexpr HRESULT D3DERR_MOREDATA = static_cast<HRESULT>(0x88760867u);
constexpr HRESULT D3DERR_DEVICELOST = static_cast<HRESULT>(0x88760868u);
constexpr HRESULT D3DERR_DEVICENOTRESET = static_cast<HRESULT>(0x88760869u);
constexpr HRESULT D3DERR_NOTAVAILABLE = static_cast<HRESULT>(0x8876086Au);
constexpr HRESULT D3DERR_INVALIDDEVICE = static_cast<HRESULT>(0x8876086Bu);
constexpr HRESULT D3DERR_INVALIDCALL = static_cast<HRESULT>(0x8876086Cu);
constexpr HRESULT D3DERR_DRIVERINVALIDCALL = static_cast<HRESULT>(0x8876086Du);
constexpr HRESULT D3DERR_OUTOFVIDEOMEMORY = static_cast<HRESULT>(0x8876017Cu);
constexpr HRESULT D3DERR_WASSTILLDRAWING = static_cast<HRESULT>(0x8876021Cu);
constexpr HRESULT D3DOK_NOAUTOGEN = static_cast<HRESULT>(0x0876086Fu);

enum D3DDEVTYPE : uint32_t { D3DDEVTYPE_HAL = 1, D3DDEVTYPE_REF = 2, D3DDEVTYPE_SW = 3 };

enum D3DFORMAT : uint32_t {
  D3DFMT_UNKNOWN = 0,
  D3DFMT_R8G8B8 = 20,
  D3DFMT_A8R8G8B8 = 21,
  D3DFMT_X8R8G8B8 = 22,
  D3DFMT_R5G6B5 = 23,
  D3DFMT_D24S8 = 75,
  D3DFMT_D24X8 = 77,
  D3DFMT_D16 = 80,
};

enum D3DMULTISAMPLE_TYPE : uint32_t { D3DMULTISAMPLE_NONE = 0, D3DMULTISAMPLE_NONMASKABLE = 1 };

enum D3DSWAPEFFECT : uint32_t {
  D3DSWAPEFFECT_DISCARD = 1,
  D3DSWAPEFFECT_FLIP = 2,
  D3DSWAPEFFECT_COPY = 3,
};

constexpr DWORD D3DCREATE_SOFTWARE_VERTEXPROCESSING = 0x20;
constexpr DWORD D3DCREATE_HARDWARE_VERTEXPROCESSING = 0x40;
constexpr DWORD D3DCREATE_MIXED_VERTEXPROCESSING = 0x80;
constexpr UINT D3DPRESENT_INTERVAL_DEFAULT = 0x00000000u;
constexpr UINT D3DPRESENT_INTERVAL_ONE = 0x00000001u;
constexpr UINT D3DPRESENT_INTERVAL_IMMEDIATE = 0x80000000u;

struct D3DPRESENT_PARAMETERS {
  UINT BackBufferWidth;
  UINT BackBufferHeight;
  D3DFORMAT BackBufferFormat;
  UINT BackBufferCount;
  D3DMULTISAMPLE_TYPE MultiSampleType;
  DWORD MultiSampleQuality;
  D3DSWAPEFFECT SwapEffect;
  HWND hDeviceWindow;
  BOOL Windowed;
  BOOL EnableAutoDepthStencil;
  D3DFORMAT AutoDepthStencilFormat;
  DWORD Flags;
  UINT FullScreen_RefreshRateInHz;
  UINT PresentationInterval;
};

struct IUnknown {
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};

struct IDirect3DDevice9 : IUnknown {
  // D3D_OK, D3DERR_DEVICELOST while the device is lost, D3DERR_DEVICENOTRESET
  // once it can be reset, or whatever a test set.
  virtual HRESULT TestCooperativeLevel() = 0;
  // Succeeds unless the device is still lost (D3DERR_DEVICELOST) or the
  // parameters are missing (D3DERR_INVALIDCALL); a reset device reports D3D_OK.
  virtual HRESULT Reset(D3DPRESENT_PARAMETERS* presentationParameters) = 0;
};
using LPDIRECT3DDEVICE9 = IDirect3DDevice9*;

struct IDirect3D9 : IUnknown {
  virtual UINT GetAdapterCount() = 0;
  // Fails with D3DERR_INVALIDCALL for a missing output pointer or
  // parameters, or an adapter that does not exist.
  virtual HRESULT CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow,
                               DWORD behaviorFlags, D3DPRESENT_PARAMETERS* presentationParameters,
                               IDirect3DDevice9** returnedDevice) = 0;
};
using LPDIRECT3D9 = IDirect3D9*;

// Null unless sdkVersion is D3D_SDK_VERSION.
IDirect3D9* Direct3DCreate9(UINT sdkVersion);
