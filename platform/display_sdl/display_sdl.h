// The launcher's real windows: every top-level window of the Win32 layer
// shown as a borderless SDL window of its own (position, size, order,
// shown or hidden, activation), its picture copied to the window's surface
// whenever it changed, its region as the window's shape where the video
// driver has shaped windows, its alpha as the window's opacity; the arrow,
// hand and hourglass cursors as SDL's system cursors; the clipboard's text
// on SDL's clipboard. SDL's input comes back through the Win32 layer's one
// translation.
#pragma once

#include <SDL2/SDL_mouse.h>
#include <SDL2/SDL_video.h>

#include <string>

#include "platform/win32/windows_types.h"

namespace platform::display {

// How `program` shows its windows: headless when the platform root's
// "testing.ini" holds forms.display=headless or TARVEL_HEADLESS=1 is set,
// else through SDL. False when SDL cannot open a window; `error` then says
// why (SDL's reason).
bool Start(std::string* error);
// Whether Start chose SDL.
bool Presenting();
// Closes the real windows (the program's end).
void Stop();

// For tests: the SDL window showing a layer window (null when none), and
// the system cursor shown.
SDL_Window* WindowOf(HWND hwnd);
SDL_SystemCursor CursorShown();

}  // namespace platform::display
