// D3DX textures and surfaces: creating textures, reading image files from
// memory (DDS with DXT1 to DXT5 and uncompressed formats, PNG, BMP), copying
// between surfaces with format conversion, DXT decoding, point and linear
// filtering, and saving surfaces as BMP or PNG files.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/d3dx9_effect.h"

enum D3DXIMAGE_FILEFORMAT : uint32_t {
  D3DXIFF_BMP = 0,
  D3DXIFF_JPG = 1,
  D3DXIFF_TGA = 2,
  D3DXIFF_PNG = 3,
  D3DXIFF_DDS = 4,
};

struct D3DXIMAGE_INFO {
  UINT Width;
  UINT Height;
  UINT Depth;
  UINT MipLevels;
  D3DFORMAT Format;
  D3DRESOURCETYPE ResourceType;
  D3DXIMAGE_FILEFORMAT ImageFileFormat;
};

struct PALETTEENTRY {
  BYTE peRed;
  BYTE peGreen;
  BYTE peBlue;
  BYTE peFlags;
};

constexpr UINT D3DX_DEFAULT = 0xFFFFFFFFu;
constexpr UINT D3DX_FROM_FILE = 0xFFFFFFFDu;
constexpr D3DFORMAT D3DFMT_FROM_FILE = static_cast<D3DFORMAT>(0xFFFFFFFDu);

// Filters; D3DX_DEFAULT means triangle (treated as linear here).
constexpr DWORD D3DX_FILTER_NONE = 1;
constexpr DWORD D3DX_FILTER_POINT = 2;
constexpr DWORD D3DX_FILTER_LINEAR = 3;
constexpr DWORD D3DX_FILTER_TRIANGLE = 4;
constexpr DWORD D3DX_FILTER_BOX = 5;

// Sizes and levels D3DX_DEFAULT (or 0 for levels) take the full chain;
// a format the device does not offer is replaced by D3DFMT_A8R8G8B8, as
// D3DX picks the closest one. Sizes above the device's maximum fail with
// D3DERR_INVALIDCALL.
HRESULT D3DXCreateTexture(IDirect3DDevice9* device, UINT width, UINT height, UINT mipLevels, DWORD usage,
                          D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture);
// Reads the size and format of an image file in memory.
HRESULT D3DXGetImageInfoFromFileInMemory(const void* srcData, UINT srcDataSize, D3DXIMAGE_INFO* info);
// A managed-pool texture with the file's own size, every level of a DDS
// file (the full chain built with a box filter for PNG and BMP), in the
// file's format (DXT stays compressed) or A8R8G8B8 / X8R8G8B8 for PNG and
// BMP. Data that is not a whole image of these kinds gives
// D3DXERR_INVALIDDATA; never a read past srcDataSize.
HRESULT D3DXCreateTextureFromFileInMemory(IDirect3DDevice9* device, const void* srcData, UINT srcDataSize,
                                          IDirect3DTexture9** texture);
constexpr UINT D3DX_DEFAULT_NONPOW2 = 0xFFFFFFFEu;
// An image file by its Windows path. Sizes 0, D3DX_DEFAULT_NONPOW2 and
// D3DX_FROM_FILE keep the file's; D3DX_DEFAULT rounds it up to a power of
// two, filling the texture with `filter` (with D3DX_FILTER_NONE the picture
// sits unscaled at the top left). Levels below the first are filtered from
// it. DDS files are offered only at their own size (else
// D3DERR_NOTAVAILABLE). A file that cannot be read: D3DXERR_INVALIDDATA.
// The palette is not used.
HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice9* device, const char* srcFile, UINT width, UINT height,
                                    UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                    DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
                                    PALETTEENTRY* palette, IDirect3DTexture9** texture);
// Copies srcRect of the source into destRect of the destination (null:
// the whole surface), converting formats (DXT decoded and encoded as
// needed) and scaling with D3DX_FILTER_NONE/POINT (nearest) or LINEAR and
// the others (bilinear). A colour key of non-zero makes matching source
// pixels transparent black. Palettes are not used.
HRESULT D3DXLoadSurfaceFromSurface(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette,
                                   const RECT* destRect, IDirect3DSurface9* srcSurface,
                                   const PALETTEENTRY* srcPalette, const RECT* srcRect, DWORD filter,
                                   D3DCOLOR colorKey);
// Pixels in memory (srcFormat, srcPitch, srcRect required) into a surface.
HRESULT D3DXLoadSurfaceFromMemory(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette,
                                  const RECT* destRect, const void* srcMemory, D3DFORMAT srcFormat,
                                  UINT srcPitch, const PALETTEENTRY* srcPalette, const RECT* srcRect,
                                  DWORD filter, D3DCOLOR colorKey);
// BMP (24-bit, or 32-bit when the surface has alpha) and PNG (RGB or
// RGBA). The file name is a Windows path, mapped as the file layer maps it.
// Other formats give D3DERR_INVALIDCALL; a file that cannot be written E_FAIL.
HRESULT D3DXSaveSurfaceToFileA(const char* destFile, D3DXIMAGE_FILEFORMAT destFormat, IDirect3DSurface9* srcSurface,
                               const PALETTEENTRY* srcPalette, const RECT* srcRect);
