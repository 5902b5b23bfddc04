// Test controls of the Direct3D layer. The cooperative level is also kept in
// the platform root's "testing.ini" (platform/win32/testing.h), so a child
// process starts with the level its parent set.
#pragma once

#include "platform/win32/windows_types.h"

namespace platform::testing {

// What TestCooperativeLevel of every device returns from now on
// (D3D_OK, D3DERR_DEVICELOST, D3DERR_DEVICENOTRESET, any other code).
// A successful Reset sets it back to D3D_OK.
void SetCooperativeLevel(HRESULT level);
HRESULT CooperativeLevel();
// Reset calls on any device since the last ResetD3D9.
int DeviceResetCount();
// Devices and Direct3D objects not yet released.
int LiveD3D9Objects();
// Level D3D_OK, counters 0.
void ResetD3D9();

}  // namespace platform::testing
