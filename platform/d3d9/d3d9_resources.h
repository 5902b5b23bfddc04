// Direct3D 9 resources: surfaces, textures, vertex and index buffers and
// vertex declarations. Every resource holds real memory in its format and
// keeps its device alive (each one holds a reference on it). Reference
// counting is COM's: Release of the last reference frees. A texture's level
// surfaces share the texture's count. Default-pool resources make the
// device's Reset fail while they live.
#pragma once

#include "platform/d3d9/d3d9_types.h"

struct IDirect3DDevice9;

struct IUnknown {
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};

struct IDirect3DResource9 : IUnknown {
  // The owning device, with a reference added.
  virtual HRESULT GetDevice(IDirect3DDevice9** device) = 0;
  virtual D3DRESOURCETYPE GetType() = 0;
};

struct IDirect3DSurface9 : IDirect3DResource9 {
  virtual HRESULT GetDesc(D3DSURFACE_DESC* desc) = 0;
  // D3DERR_INVALIDCALL for a surface that cannot be locked (render targets
  // made not lockable, depth formats, multisampled surfaces), a surface
  // already locked, or a rectangle outside the surface (or not on 4 × 4
  // block bounds for DXT formats). A null rectangle locks the whole surface.
  virtual HRESULT LockRect(D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD flags) = 0;
  virtual HRESULT UnlockRect() = 0;
};
using LPDIRECT3DSURFACE9 = IDirect3DSurface9*;

struct IDirect3DBaseTexture9 : IDirect3DResource9 {
  virtual DWORD GetLevelCount() = 0;
};
using LPDIRECT3DBASETEXTURE9 = IDirect3DBaseTexture9*;

struct IDirect3DTexture9 : IDirect3DBaseTexture9 {
  virtual HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) = 0;
  // The level's surface with a reference added (counted on the texture).
  virtual HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) = 0;
  virtual HRESULT LockRect(UINT level, D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD flags) = 0;
  virtual HRESULT UnlockRect(UINT level) = 0;
};
using LPDIRECT3DTEXTURE9 = IDirect3DTexture9*;

struct IDirect3DVertexBuffer9 : IDirect3DResource9 {
  // sizeToLock 0 locks from offsetToLock to the end. D3DERR_INVALIDCALL for
  // a range past the end or a buffer already locked.
  virtual HRESULT Lock(UINT offsetToLock, UINT sizeToLock, void** data, DWORD flags) = 0;
  virtual HRESULT Unlock() = 0;
  virtual HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) = 0;
};
using LPDIRECT3DVERTEXBUFFER9 = IDirect3DVertexBuffer9*;

struct IDirect3DIndexBuffer9 : IDirect3DResource9 {
  virtual HRESULT Lock(UINT offsetToLock, UINT sizeToLock, void** data, DWORD flags) = 0;
  virtual HRESULT Unlock() = 0;
  virtual HRESULT GetDesc(D3DINDEXBUFFER_DESC* desc) = 0;
};
using LPDIRECT3DINDEXBUFFER9 = IDirect3DIndexBuffer9*;

struct IDirect3DVertexDeclaration9 : IUnknown {
  // With null elements, the element count (end marker included) goes to
  // *numElements; otherwise the elements are copied.
  virtual HRESULT GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* numElements) = 0;
};
using LPDIRECT3DVERTEXDECLARATION9 = IDirect3DVertexDeclaration9*;
