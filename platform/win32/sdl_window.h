// Real windows through SDL2 when there is a display: the top-level windows
// of the Win32 layer get an SDL window each, which shows what the graphics
// layer presents to them. Headless (no display, SDL_VIDEODRIVER set, a test
// holding the clock) every call here does nothing and windows stay records.
#pragma once

#include <SDL2/SDL_video.h>

#include <string>

#include "platform/win32/windows_types.h"

namespace platform::sdl {

// Whether windows are real; decided once, on first use.
bool HasDisplay();

void OnCreate(HWND hwnd, const std::string& title, int x, int y, int width, int height);
void OnDestroy(HWND hwnd);
void OnShow(HWND hwnd, bool visible, bool minimised);
void OnMove(HWND hwnd, int x, int y, int width, int height);
void OnCursorCounter(int counter);

// The SDL window of a layer window (null headless or for a child window),
// for a graphics layer that draws into it itself.
SDL_Window* WindowOf(HWND hwnd);
// The layer window of an SDL window id; null when there is none.
HWND HandleOf(uint32_t windowId);

}  // namespace platform::sdl
