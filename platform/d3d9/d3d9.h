// Direct3D 9 as the engine, the launcher and the diagnostics library call
// it: a headless adapter whose modes and capabilities come from a profile
// (testing.h), and a device that keeps every state, holds real memory for
// every resource, really clears, and records draws when a test asks.
// Objects are reference counted as COM objects are: Release of the last
// reference frees.
#pragma once

#include "platform/d3d9/d3d9_caps.h"
#include "platform/d3d9/d3d9_resources.h"
#include "platform/d3d9/d3d9_types.h"

struct IDirect3D9;

struct IDirect3DDevice9 : IUnknown {
  // ---- Lost-device protocol ------------------------------------------------
  // D3D_OK, D3DERR_DEVICELOST while the device is lost, D3DERR_DEVICENOTRESET
  // once it can be reset, or whatever a test set.
  virtual HRESULT TestCooperativeLevel() = 0;
  // D3DERR_INVALIDCALL for missing parameters, or while a default-pool
  // resource or a reference to a back buffer taken with GetBackBuffer is
  // still alive (the device then reports D3DERR_DEVICENOTRESET until a
  // Reset succeeds); D3DERR_DEVICELOST while the device is still lost. A
  // successful Reset sets every state back to its default.
  virtual HRESULT Reset(D3DPRESENT_PARAMETERS* presentationParameters) = 0;
  // D3DERR_DEVICELOST while the device is lost; copies the back buffer to
  // the front buffer otherwise. The rectangles and the region are ignored.
  virtual HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                          const RGNDATA* dirtyRegion) = 0;

  // ---- Device, adapter, display ----------------------------------------------
  virtual HRESULT GetDirect3D(IDirect3D9** direct3D) = 0;
  virtual HRESULT GetDeviceCaps(D3DCAPS9* caps) = 0;
  virtual HRESULT GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) = 0;
  // Bytes of texture memory the profile has left.
  virtual UINT GetAvailableTextureMem() = 0;
  virtual HRESULT GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type,
                                IDirect3DSurface9** surface) = 0;
  // The front buffer (what the last Present showed) converted into a
  // surface of the screen size in D3DFMT_A8R8G8B8 (system-memory or
  // scratch pool).
  virtual HRESULT GetFrontBufferData(UINT swapChain, IDirect3DSurface9* destSurface) = 0;
  virtual void SetGammaRamp(UINT swapChain, DWORD flags, const D3DGAMMARAMP* ramp) = 0;
  virtual void GetGammaRamp(UINT swapChain, D3DGAMMARAMP* ramp) = 0;

  // ---- Resources ----------------------------------------------------------
  // Levels 0 makes the full chain down to 1 × 1. The last argument (shared
  // handle) must be null.
  virtual HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* sharedHandle) = 0;
  virtual HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                     IDirect3DVertexBuffer9** vertexBuffer, HANDLE* sharedHandle) = 0;
  virtual HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                    IDirect3DIndexBuffer9** indexBuffer, HANDLE* sharedHandle) = 0;
  virtual HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                     DWORD multisampleQuality, BOOL lockable, IDirect3DSurface9** surface,
                                     HANDLE* sharedHandle) = 0;
  virtual HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                            D3DMULTISAMPLE_TYPE multiSample, DWORD multisampleQuality,
                                            BOOL discard, IDirect3DSurface9** surface, HANDLE* sharedHandle) = 0;
  // Pools SYSTEMMEM or SCRATCH (DEFAULT is accepted as well).
  virtual HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                              IDirect3DSurface9** surface, HANDLE* sharedHandle) = 0;
  virtual HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                          IDirect3DVertexDeclaration9** declaration) = 0;
  // Copies between default-pool surfaces, converting format and scaling
  // with point or linear filtering. Null rectangles mean whole surfaces.
  virtual HRESULT StretchRect(IDirect3DSurface9* sourceSurface, const RECT* sourceRect,
                              IDirect3DSurface9* destSurface, const RECT* destRect,
                              D3DTEXTUREFILTERTYPE filter) = 0;
  // A render target's contents into a system-memory surface of its size and format.
  virtual HRESULT GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* destSurface) = 0;
  virtual HRESULT ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) = 0;

  // ---- Targets and scenes -------------------------------------------------
  virtual HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* renderTarget) = 0;
  virtual HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** renderTarget) = 0;
  virtual HRESULT SetDepthStencilSurface(IDirect3DSurface9* newZStencil) = 0;
  virtual HRESULT GetDepthStencilSurface(IDirect3DSurface9** zStencilSurface) = 0;
  // BeginScene inside a scene and EndScene outside one fail with
  // D3DERR_INVALIDCALL.
  virtual HRESULT BeginScene() = 0;
  virtual HRESULT EndScene() = 0;
  // Really fills the render target (within the viewport and the given
  // rectangles) and the depth/stencil surface.
  virtual HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                        DWORD stencil) = 0;

  // ---- Fixed states -------------------------------------------------------
  virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) = 0;
  virtual HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) = 0;
  virtual HRESULT SetViewport(const D3DVIEWPORT9* viewport) = 0;
  virtual HRESULT GetViewport(D3DVIEWPORT9* viewport) = 0;
  virtual HRESULT SetMaterial(const D3DMATERIAL9* material) = 0;
  virtual HRESULT GetMaterial(D3DMATERIAL9* material) = 0;
  virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) = 0;
  virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) = 0;
  virtual HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) = 0;
  virtual HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) = 0;
  virtual HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) = 0;
  virtual HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) = 0;
  virtual HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) = 0;
  virtual HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) = 0;

  // ---- Vertex input ---------------------------------------------------------
  virtual HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) = 0;
  virtual HRESULT GetVertexDeclaration(IDirect3DVertexDeclaration9** declaration) = 0;
  virtual HRESULT SetFVF(DWORD fvf) = 0;
  virtual HRESULT GetFVF(DWORD* fvf) = 0;
  virtual HRESULT SetStreamSource(UINT streamNumber, IDirect3DVertexBuffer9* streamData, UINT offsetInBytes,
                                  UINT stride) = 0;
  virtual HRESULT GetStreamSource(UINT streamNumber, IDirect3DVertexBuffer9** streamData, UINT* offsetInBytes,
                                  UINT* stride) = 0;
  virtual HRESULT SetIndices(IDirect3DIndexBuffer9* indexData) = 0;
  virtual HRESULT GetIndices(IDirect3DIndexBuffer9** indexData) = 0;

  // ---- Draws -------------------------------------------------------------------
  // Outside BeginScene/EndScene, with no stream 0 (for the non-UP calls),
  // no index buffer (indexed calls), or a vertex or index range past the
  // bound buffers: D3DERR_INVALIDCALL. Nothing is rasterised; a draw is
  // recorded when a test turned recording on (testing.h).
  virtual HRESULT DrawPrimitive(D3DPRIMITIVETYPE primitiveType, UINT startVertex, UINT primitiveCount) = 0;
  virtual HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE primitiveType, INT baseVertexIndex, UINT minVertexIndex,
                                       UINT numVertices, UINT startIndex, UINT primitiveCount) = 0;
  virtual HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE primitiveType, UINT primitiveCount,
                                  const void* vertexStreamZeroData, UINT vertexStreamZeroStride) = 0;
  virtual HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE primitiveType, UINT minVertexIndex, UINT numVertices,
                                         UINT primitiveCount, const void* indexData, D3DFORMAT indexDataFormat,
                                         const void* vertexStreamZeroData, UINT vertexStreamZeroStride) = 0;
};
using LPDIRECT3DDEVICE9 = IDirect3DDevice9*;

struct IDirect3D9 : IUnknown {
  virtual UINT GetAdapterCount() = 0;
  virtual HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER9* identifier) = 0;
  // Modes of the adapter in the format, in the profile's order (ascending).
  virtual UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) = 0;
  virtual HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* displayMode) = 0;
  // The desktop mode of the profile.
  virtual HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) = 0;
  virtual HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat,
                                  D3DFORMAT backBufferFormat, BOOL windowed) = 0;
  // D3D_OK when the profile offers the format for that resource type and
  // usage, else D3DERR_NOTAVAILABLE.
  virtual HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat, DWORD usage,
                                    D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) = 0;
  // D3D_OK when the profile offers the type; *qualityLevels (may be null)
  // gets the profile's quality-level count for it.
  virtual HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT surfaceFormat,
                                             BOOL windowed, D3DMULTISAMPLE_TYPE multiSampleType,
                                             DWORD* qualityLevels) = 0;
  virtual HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat,
                                         D3DFORMAT renderTargetFormat, D3DFORMAT depthStencilFormat) = 0;
  virtual HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS9* caps) = 0;
  // Fails with D3DERR_INVALIDCALL for a missing output pointer or
  // parameters, an adapter that does not exist, a full-screen size the
  // profile has no mode for, or a multisample type it does not offer;
  // D3DERR_NOTAVAILABLE when a test makes creation fail (testing.h);
  // D3DERR_DEVICELOST while the display is taken away.
  virtual HRESULT CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                               D3DPRESENT_PARAMETERS* presentationParameters,
                               IDirect3DDevice9** returnedDevice) = 0;
};
using LPDIRECT3D9 = IDirect3D9*;

// Null unless sdkVersion is D3D_SDK_VERSION.
IDirect3D9* Direct3DCreate9(UINT sdkVersion);
