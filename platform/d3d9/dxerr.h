// The DirectX error-text service: the symbolic name and a description of a
// result code, for Direct3D, D3DX and the common COM results.
#pragma once

#include "platform/win32/windows_types.h"

// "D3DERR_DEVICELOST" and the like; "Unknown" for a code not in the table.
const char* DXGetErrorStringA(HRESULT hr);
// A sentence describing the code; "n/a" for a code not in the table.
const char* DXGetErrorDescriptionA(HRESULT hr);
