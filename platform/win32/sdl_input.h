// The one translation of SDL2 input events into the Win32 messages a window
// procedure expects: the engine's window and the launcher's both take their
// input through it.
#pragma once

#include <SDL2/SDL_events.h>

#include <cstddef>

#include "platform/win32/windows_types.h"

namespace platform::sdl {

struct InputMessage {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

// What the translation remembers between events.
struct InputState {
  int lastX = 0, lastY = 0;  // client position of the last mouse message
  WPARAM buttons = 0;        // MK_ bits of the buttons held
  bool shift = false;        // a shift key is held
};

constexpr size_t kMaxInputMessages = 8;

// The messages one SDL event becomes, in order, into `out` (room for
// kMaxInputMessages); their count. `doubleClicks` is whether the window's
// class asks for double clicks (CS_DBLCLKS). Mouse buttons, moves and the
// wheel, keys with virtual-key codes, and typed characters other than those
// TranslateMessage makes from their keys; window events are not input and
// give nothing here.
size_t TranslateInput(const SDL_Event& event, bool doubleClicks, InputState& state, InputMessage* out);

// The virtual-key code of an SDL key, or 0 for a key the engine has no code for.
WPARAM VirtualKeyOf(SDL_Keycode key);

}  // namespace platform::sdl
