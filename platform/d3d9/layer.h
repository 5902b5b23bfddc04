// What the D3DX layer needs of the device beyond the Direct3D interfaces:
// naming the effect pass that draws run under (for recorded draws) and
// reading surfaces that cannot be locked (render targets), as the real
// D3DX reads them through the driver.
#pragma once

#include "platform/d3d9/d3d9.h"

namespace platform::d3d9 {

// Draws on the device are recorded under this technique and pass from now
// on; a null technique clears it.
void SetEffectPass(IDirect3DDevice9* device, const char* technique, int pass);

struct SurfaceMemory {
  BYTE* bits = nullptr;
  UINT pitch = 0;
  D3DFORMAT format = D3DFMT_UNKNOWN;
  UINT width = 0;
  UINT height = 0;
};
// The memory of any surface of this layer, multisampled ones held resolved
// (false for a null surface).
bool GetSurfaceMemory(IDirect3DSurface9* surface, SurfaceMemory* memory);

}  // namespace platform::d3d9
