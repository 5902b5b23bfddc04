// Memory layout of the pixel formats the layer holds: shared by the device
// (locks, Clear, StretchRect) and the D3DX layer (loading and saving).
#pragma once

#include "platform/d3d9/d3d9_types.h"

namespace platform::d3d9 {

// Bytes per pixel of an uncompressed format; 0 for DXT and unknown formats.
UINT BytesPerPixel(D3DFORMAT format);
// Bytes of a 4 × 4 block: 8 for DXT1, 16 for DXT2 to DXT5, else 0.
UINT BlockBytes(D3DFORMAT format);
inline bool IsDxt(D3DFORMAT format) { return BlockBytes(format) != 0; }
bool IsDepthFormat(D3DFORMAT format);
// Row pitch and row count of a width × height image (rows of blocks for DXT);
// false for a format the layer cannot hold or a size of 0.
bool Layout(D3DFORMAT format, UINT width, UINT height, UINT* pitch, UINT* rows);

}  // namespace platform::d3d9

namespace platform::d3d9 {

// One pixel of an uncompressed colour format to and from red, green, blue
// and alpha in 0 … 1 (formats without alpha read as alpha 1; luminance
// reads into all three colours). False for a format without colour pixels.
bool DecodePixel(D3DFORMAT format, const BYTE* src, float rgba[4]);
bool EncodePixel(D3DFORMAT format, const float rgba[4], BYTE* dst);
// A D3DCOLOR (ARGB) as red, green, blue, alpha.
void ColorToFloats(D3DCOLOR color, float rgba[4]);

}  // namespace platform::d3d9
