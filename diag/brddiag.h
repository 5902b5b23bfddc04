// The exports of the diagnostics library, plain C functions under their
// undecorated names. Callers load the library by name ("brddiag.dll") and
// look the functions up; these types are what they cast to.
#pragma once

#include <cstdint>

#define BRDDIAG_API extern "C" __attribute__((visibility("default")))

// 0 when the machine meets the requirements; 1 operating system too old,
// 2 no DirectX, 3 DirectX older than 9 or no usable Direct3D 9 device,
// 4 the device lacks 1,024-pixel textures or colour-write masking.
BRDDIAG_API int32_t CheckSystem();
// Fills `modes` with at most `max` display modes of adapter 0, each packed
// as (width << 16) + height, in the adapter's order without repeating the
// entry before; returns how many were stored. Nothing is written, and 0
// returned, without an array or with `max` below 1.
BRDDIAG_API int32_t GetResolutions(uint32_t* modes, int32_t max);
// Writes the system report. -2 for a wrong key, -1 when the file cannot be
// created, 0 when it was written.
BRDDIAG_API int32_t SaveDiagToFile(int32_t key, const char* path);

using tCheckSystem = int32_t (*)();
using tGetResolutions = int32_t (*)(uint32_t*, int32_t);
using tSaveDiagToFile = int32_t (*)(int32_t, const char*);

// The key SaveDiagToFile asks for.
constexpr int32_t kDiagReportKey = 0x4B6D2A58;
