#pragma once
// The seam between the graphics layer and the window layer: the device hands
// each presented frame to the window it was presented to. Headless, the
// window keeps nothing; with a display, the window layer shows the pixels.
#include <cstdint>

#include "platform/win32/windows_types.h"

namespace platform {

// `pixels` is A8R8G8B8, top row first, `pitch` bytes per row. The call does
// not keep the pointer.
void PresentToWindow(HWND hwnd, const uint8_t* pixels, int width, int height, int pitch);

}  // namespace platform
