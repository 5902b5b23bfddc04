// What the D3DX layer needs of the device beyond the Direct3D interfaces:
// naming the effect pass that draws run under (for recorded draws) and
// reading surfaces that cannot be locked (render targets), as the real
// D3DX reads them through the driver.
#pragma once

#include <cstddef>
#include <string>

#include "platform/d3d9/d3d9.h"

namespace platform::d3d9::gl {
struct Program;
}

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

// ---- Programs of effect passes ----------------------------------------------
// Whether the device runs its draws on OpenGL (and programs can be made).
bool ExecutesDraws(IDirect3DDevice9* device);
// Links a pass's GLSL stages. Names the device fills in: the uniform
// blocks "TarvelVS" and "TarvelPS" (the constants given below), samplers
// "tarvel_s0" to "tarvel_s15" (bound to those units), "tarvel_viewport"
// (x, y, width, height) and "tarvel_alpha" (alpha-test function and
// reference). Vertex inputs sit at gl::AttributeLocation of their usage.
gl::Program* CreatePassProgram(IDirect3DDevice9* device, const std::string& vertex, const std::string& pixel,
                               std::string* error);
void DeletePassProgram(gl::Program* program);
// The programs of one pass, each with the alpha test (index 1) and without
// (0): a pixel stage that may discard costs a rasteriser its early depth
// test. Draws of pre-transformed vertices run `pretransformed`, the same
// pixel stage behind a vertex stage that takes screen positions.
struct PassPrograms {
  gl::Program* program[2] = {};
  gl::Program* pretransformed[2] = {};
};
// Draws from now on run these programs with copies of these constants;
// null programs stand for the fixed pipeline.
void SetPassProgram(IDirect3DDevice9* device, const PassPrograms* programs, const void* vertexConstants,
                    size_t vertexBytes, const void* pixelConstants, size_t pixelBytes);

}  // namespace platform::d3d9
