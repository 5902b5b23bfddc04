// Test controls of the Direct3D layer: the adapter profile, the lost-device
// states, failing device creation, draw recording and the live-object count.
// The profile, the cooperative level and a failing creation are also kept in
// the platform root's "testing.ini" (platform/win32/testing.h), so a child
// process and every module of this one (the diagnostics library reads the
// profile through Direct3D) see what the test set.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/d3d9/d3d9.h"

namespace platform::testing {

// ---- Adapter profile ------------------------------------------------------
struct MultiSampleOffer {
  D3DMULTISAMPLE_TYPE type;
  DWORD qualityLevels;  // what CheckDeviceMultiSampleType reports
};

struct AdapterProfile {
  // Full-screen modes in D3DFMT_X8R8G8B8, ascending; the first one of the
  // desktop size is the desktop mode.
  std::vector<D3DDISPLAYMODE> modes;
  UINT desktopWidth = 1024;
  UINT desktopHeight = 768;
  DWORD vertexShaderVersion = D3DVS_VERSION(3, 0);
  DWORD pixelShaderVersion = D3DPS_VERSION(3, 0);
  DWORD maxTextureWidth = 4096;
  DWORD maxTextureHeight = 4096;
  DWORD textureCaps = 0;
  DWORD primitiveMiscCaps = 0;
  bool dxtFormats = true;  // DXT1 to DXT5 textures
  std::vector<MultiSampleOffer> multiSample;
  std::vector<D3DFORMAT> depthFormats;
  UINT textureMemoryMB = 256;
  std::string description = "Headless Display Adapter";
  std::string driver = "headless.dll";
  DWORD vendorId = 0x10DE;
  DWORD deviceId = 0x0391;
  LONGLONG driverVersion = (static_cast<LONGLONG>(6 << 16 | 14) << 32) | (10 << 16 | 9371);
};

// 1024 × 768 and the larger usual modes in X8R8G8B8 at 60 Hz, shader model
// 3, 4,096-pixel textures (power-of-two, mipmaps), colour-write masking, DXT
// formats, 2× and 4× multisampling (and 4 non-maskable quality levels),
// depth formats D24S8, D24X8 and D16.
AdapterProfile DefaultAdapterProfile();
// From now on, in this process and in children.
void SetAdapterProfile(const AdapterProfile& profile);
AdapterProfile CurrentAdapterProfile();

// ---- Lost device -----------------------------------------------------------
// What TestCooperativeLevel of every device returns from now on
// (D3D_OK, D3DERR_DEVICELOST, D3DERR_DEVICENOTRESET, any other code);
// Present fails with D3DERR_DEVICELOST while it is not D3D_OK.
// A successful Reset sets it back to D3D_OK.
void SetCooperativeLevel(HRESULT level);
HRESULT CooperativeLevel();
// Reset calls on any device since the last ResetD3D9.
int DeviceResetCount();
// Present calls that succeeded since the last ResetD3D9.
int PresentCount();

// CreateDevice returns this code (D3D_OK: works normally).
void FailCreateDevice(HRESULT result);

// Makes one call fail from now on, in this process and in children:
// "Direct3DCreate9" (any code but D3D_OK: it returns null),
// "GetDeviceCaps" or "GetAdapterIdentifier" (they return the code).
// D3D_OK makes the call work again.
void FailD3D9Call(std::string_view call, HRESULT result);

// ---- Objects ---------------------------------------------------------------
// Direct3D objects, devices, resources and declarations not yet freed.
int LiveD3D9Objects();

// ---- Draw recording --------------------------------------------------------
enum class DrawCall { Primitive, IndexedPrimitive, PrimitiveUP, IndexedPrimitiveUP };

// One draw as the device saw it. Pointers identify objects and are not
// owned: they may be stale by the time a test reads them.
struct DrawRecord {
  int frame = 0;  // successful Presents before the draw
  DrawCall call = DrawCall::Primitive;
  D3DPRIMITIVETYPE primitiveType = D3DPT_TRIANGLELIST;
  UINT primitiveCount = 0;
  UINT startVertex = 0;  // DrawPrimitive
  INT baseVertexIndex = 0;
  UINT minVertexIndex = 0;
  UINT numVertices = 0;
  UINT startIndex = 0;
  DWORD fvf = 0;
  IDirect3DVertexDeclaration9* declaration = nullptr;
  IDirect3DVertexBuffer9* stream0 = nullptr;
  UINT stream0Stride = 0;
  IDirect3DIndexBuffer9* indices = nullptr;
  IDirect3DBaseTexture9* textures[8] = {};
  IDirect3DSurface9* renderTarget = nullptr;
  // The effect pass running when the draw was made (D3DX layer), else
  // an empty technique and pass −1.
  std::string technique;
  int pass = -1;
};

// A child process cannot be read this way: with "d3d9.record=1" in the
// settings, each successful Present appends "frame <n> draws=<count>
// <technique> ..." to "d3d9.report" instead (n from 1, the techniques the
// frame's draws ran, each once, in first-use order).

// Off by default; turning it on or off drops what was recorded.
void RecordDraws(bool on);
std::vector<DrawRecord> RecordedDraws();
// Draws of one frame (the draws made after `frame` successful Presents).
std::vector<DrawRecord> RecordedDraws(int frame);
void ClearRecordedDraws();

// One successful vertex or index buffer lock while draws are recorded, with
// the number of draws recorded before it.
struct LockRecord {
  const void* buffer = nullptr;
  UINT offset = 0;
  UINT size = 0;
  DWORD flags = 0;
  int drawsBefore = 0;
};
std::vector<LockRecord> RecordedLocks();

// ---- Drawing ------------------------------------------------------------------
// Whether devices created from now on run their draws on OpenGL, in this
// process and in children ("d3d9.execute_draws" in "testing.ini"). On in a
// fresh process; ResetD3D9 turns it off, so tests that only read the record
// pay nothing for rasterising.
void ExecuteDraws(bool on);

// Level D3D_OK, default profile, creation working, recording off and
// cleared, drawing off, counters 0.
void ResetD3D9();

}  // namespace platform::testing
