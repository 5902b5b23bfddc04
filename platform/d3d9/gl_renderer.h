// Draws of the Direct3D device executed on OpenGL: textures in every
// format the device holds, render targets and depth surfaces as
// framebuffer attachments, render and sampler states as GL state, and
// programs from the D3DX layer or a small built-in one for draws without
// an effect. GL rows are kept in Direct3D's order (top row first) and
// positions are flipped in the vertex stage, so textures and targets are
// copied without turning them over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/d3d9/d3d9_types.h"

namespace platform::d3d9::gl {

// The largest point the device draws, as its caps report.
constexpr float kMaxPointSize = 64.0f;

struct Pixels {
  BYTE* bits = nullptr;
  UINT pitch = 0;
  D3DFORMAT format = D3DFMT_UNKNOWN;
  UINT width = 0;
  UINT height = 0;
};

// A texture with `levels` levels of the format; 0 when the driver refuses.
unsigned CreateTexture(D3DFORMAT format, UINT width, UINT height, UINT levels);
void DeleteTexture(unsigned texture);
bool Upload(unsigned texture, UINT level, const Pixels& pixels);
bool Readback(unsigned texture, UINT level, const Pixels& pixels);

unsigned CreateBuffer();
void DeleteBuffer(unsigned buffer);
void UploadBuffer(unsigned buffer, const void* data, size_t bytes);

// Deletes the objects every draw shares (the built-in program, framebuffers,
// stream buffers, samplers) before the context goes; the next draw makes
// them again in the next context.
void DropSharedObjects();

// A linked program of two GLSL stages; null with the driver's message.
struct Program;
Program* CreateProgram(const std::string& vertex, const std::string& pixel, std::string* error);
void DeleteProgram(Program* program);

struct Attachment {
  unsigned texture = 0;
  UINT level = 0;
  UINT width = 0;
  UINT height = 0;
  D3DFORMAT format = D3DFMT_UNKNOWN;
};

struct Element {
  UINT stream = 0;
  UINT offset = 0;
  BYTE type = 0;
  BYTE usage = 0;
  BYTE usageIndex = 0;
};

struct Stream {
  unsigned buffer = 0;  // or user data below
  UINT offset = 0;
  UINT stride = 0;
  const void* data = nullptr;
  size_t bytes = 0;
};

struct DrawState {
  Attachment colour[4];
  Attachment depth;
  D3DVIEWPORT9 viewport{};
  const DWORD* renderStates = nullptr;        // D3DRS_COUNT entries
  const DWORD (*samplerStates)[D3DSAMP_COUNT] = nullptr;  // 16 samplers
  const DWORD (*stageStates)[D3DTSS_COUNT] = nullptr;     // fixed function, 8 stages
  unsigned textures[16] = {};
  D3DFORMAT textureFormats[16] = {};
  const Element* elements = nullptr;
  size_t elementCount = 0;
  Stream streams[16];
  // The effect's program and its constants; without one the built-in
  // program stands in for the fixed pipeline.
  Program* program = nullptr;
  const void* vertexConstants = nullptr;
  size_t vertexBytes = 0;
  const void* pixelConstants = nullptr;
  size_t pixelBytes = 0;
  const float* world = nullptr;  // fixed function: row-vector matrices
  const float* view = nullptr;
  const float* projection = nullptr;
};

struct Indices {
  unsigned buffer = 0;  // or user data
  const void* data = nullptr;
  size_t bytes = 0;
  bool wide = false;
  UINT start = 0;
  INT baseVertex = 0;
};

// Draws `vertexCount` vertices (from `first`, or through the indices).
bool Draw(const DrawState& state, D3DPRIMITIVETYPE type, UINT first, UINT vertexCount, const Indices* indices);

// Clears the attachments in the rectangle (target rows from the top).
void Clear(const Attachment colour[4], const Attachment& depth, const RECT& rect, DWORD flags, D3DCOLOR color,
           float z, DWORD stencil, DWORD colourMask);

// Copies a rectangle between colour surfaces, scaling with point or linear
// filtering and converting format.
bool Blit(const Attachment& source, const RECT& sourceRect, const Attachment& dest, const RECT& destRect, bool linear);

bool UsesPretransformed(const Element* elements, size_t count);

// The attribute location of a vertex input (usage and index), -1 for
// inputs without one. Effects' programs name their inputs the same way.
int AttributeLocation(BYTE usage, BYTE index);

}  // namespace platform::d3d9::gl
