// The seam to a presenter of the layer's top-level windows on a real display
// (the launcher's, in platform/display_sdl). While one is installed the
// layer makes no SDL windows of its own; it asks the presenter to bring its
// real windows up to date each time the program looks at its queue, before
// SDL's events are taken, and maps those events back through it. The events
// become the same messages, routed as injected input is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32/windows_types.h"

namespace platform {

class WindowPresenter {
 public:
  virtual ~WindowPresenter() = default;
  // Shows what changed since the last call: windows made, shown, hidden,
  // moved or repainted, their shape, opacity and order, the cursor, the
  // clipboard.
  virtual void Sync() = 0;
  // The layer window of an SDL window id; null when there is none.
  virtual HWND WindowOf(uint32_t sdlWindowId) = 0;
  // The window's record is about to go.
  virtual void Destroyed(HWND hwnd) = 0;
  // The display's desktop and its work area (without panels and docks), in
  // screen coordinates; false when it cannot tell.
  virtual bool Desktop(RECT* screen, RECT* work) {
    (void)screen, (void)work;
    return false;
  }
};

// Installed before the first window is made; null removes it.
void SetWindowPresenter(WindowPresenter* presenter);
WindowPresenter* CurrentWindowPresenter();
// No real windows at all, even with a display (a headless launcher on a
// desktop); called before the first window is made.
void KeepWindowsHeadless();

// What a presenter reads of a top-level window. `pixels` (0x00RRGGBB, top
// row first, width × height, the frame included) stays valid until the
// layer is next called.
struct TopLevelWindowInfo {
  int x = 0, y = 0, width = 0, height = 0;
  bool visible = false;    // shown and not minimised
  bool minimised = false;  // shown, and minimised
  // Owns a taskbar entry (the application's main window): the others
  // stay off the taskbar.
  bool taskbar = false;
  BYTE alpha = 255;      // of a layered window, else 255
  const uint32_t* pixels = nullptr;
  HRGN region = nullptr;  // window coordinates; null: the whole window
  std::string title;
  // False for a window shown without activation (a drop-down list, a
  // menu): it must not take the display's focus from the active window.
  bool activates = true;
};
// Bottom first.
std::vector<HWND> TopLevelWindowsInZOrder();
bool GetTopLevelWindowInfo(HWND hwnd, TopLevelWindowInfo* out);
// Whether a top-level window's picture is half painted: a parent painted
// over children that have not painted again yet. A picture is shown whole.
bool PictureHalfPainted(HWND hwnd);
// Whether a region holds a point (window coordinates).
bool RegionHolds(HRGN region, int x, int y);

}  // namespace platform
