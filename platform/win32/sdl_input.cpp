#include "platform/win32/sdl_input.h"

#include <cstdint>

namespace platform::sdl {
namespace {

struct ButtonMessages {
  UINT down, up, dblclk;
  WPARAM mask;
};

bool MessagesOf(uint8_t button, ButtonMessages* out) {
  switch (button) {
    case SDL_BUTTON_LEFT: *out = {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, MK_LBUTTON}; return true;
    case SDL_BUTTON_RIGHT: *out = {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK, MK_RBUTTON}; return true;
    case SDL_BUTTON_MIDDLE: *out = {WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MBUTTONDBLCLK, MK_MBUTTON}; return true;
    default: return false;
  }
}

LPARAM Point(int x, int y) {
  return MAKELPARAM(static_cast<uint16_t>(x), static_cast<uint16_t>(y));
}

// Characters TranslateMessage already makes from the key's WM_KEYDOWN.
bool MadeFromKey(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ';
}

}  // namespace

WPARAM VirtualKeyOf(SDL_Keycode key) {
  if (key >= SDLK_a && key <= SDLK_z) return 'A' + static_cast<WPARAM>(key - SDLK_a);
  if (key >= SDLK_0 && key <= SDLK_9) return '0' + static_cast<WPARAM>(key - SDLK_0);
  if (key >= SDLK_F1 && key <= SDLK_F12) return VK_F1 + static_cast<WPARAM>(key - SDLK_F1);
  if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return VK_NUMPAD0 + 1 + static_cast<WPARAM>(key - SDLK_KP_1);
  switch (key) {
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_RETURN: case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL: case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT: case SDLK_RALT: return VK_MENU;
    case SDLK_PAUSE: return VK_PAUSE;
    case SDLK_CAPSLOCK: return VK_CAPITAL;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_END: return VK_END;
    case SDLK_HOME: return VK_HOME;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_PRINTSCREEN: return VK_SNAPSHOT;
    case SDLK_INSERT: return VK_INSERT;
    case SDLK_DELETE: return VK_DELETE;
    case SDLK_KP_0: return VK_NUMPAD0;
    case SDLK_KP_MULTIPLY: return VK_MULTIPLY;
    case SDLK_KP_PLUS: return VK_ADD;
    case SDLK_KP_MINUS: return VK_SUBTRACT;
    case SDLK_KP_PERIOD: return VK_DECIMAL;
    case SDLK_KP_DIVIDE: return VK_DIVIDE;
    default: return 0;
  }
}

size_t TranslateInput(const SDL_Event& event, bool doubleClicks, InputState& state, InputMessage* out) {
  size_t n = 0;
  // Windows reports a move before a button pressed somewhere new.
  auto moveTo = [&](int x, int y) {
    if (x == state.lastX && y == state.lastY) return;
    state.lastX = x;
    state.lastY = y;
    out[n++] = {WM_MOUSEMOVE, state.buttons, Point(x, y)};
  };
  switch (event.type) {
    case SDL_MOUSEMOTION:
      state.lastX = event.motion.x;
      state.lastY = event.motion.y;
      out[n++] = {WM_MOUSEMOVE, state.buttons, Point(event.motion.x, event.motion.y)};
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      ButtonMessages m;
      if (!MessagesOf(event.button.button, &m)) break;
      moveTo(event.button.x, event.button.y);
      LPARAM at = Point(event.button.x, event.button.y);
      if (event.type == SDL_MOUSEBUTTONDOWN) {
        state.buttons |= m.mask;
        // The second press of a double click, to a class that asks for it.
        bool dbl = doubleClicks && event.button.clicks >= 2 && event.button.clicks % 2 == 0;
        out[n++] = {dbl ? m.dblclk : m.down, state.buttons, at};
      } else {
        state.buttons &= ~m.mask;
        out[n++] = {m.up, state.buttons, at};
      }
      break;
    }
    case SDL_MOUSEWHEEL: {
      int delta = event.wheel.y * 120;  // one notch
      if (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) delta = -delta;
      if (delta == 0) break;
      out[n++] = {WM_MOUSEWHEEL, MAKEWPARAM(state.buttons, static_cast<uint16_t>(delta)),
                  Point(state.lastX, state.lastY)};
      break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      state.shift = (event.key.keysym.mod & KMOD_SHIFT) != 0;
      WPARAM vk = VirtualKeyOf(event.key.keysym.sym);
      if (vk == 0) break;
      if (event.type == SDL_KEYDOWN) {
        // Repeat count 1; a held key repeating says it was down before.
        LPARAM flags = event.key.repeat ? static_cast<LPARAM>(0x40000001) : 1;
        out[n++] = {WM_KEYDOWN, vk, flags};
      } else {
        out[n++] = {WM_KEYUP, vk, static_cast<LPARAM>(static_cast<int32_t>(0xC0000001u))};
      }
      break;
    }
    case SDL_TEXTINPUT: {
      // UTF-8 in; the engine's characters are single bytes, so only what
      // fits in Latin-1 is passed on.
      const auto* text = reinterpret_cast<const unsigned char*>(event.text.text);
      for (size_t i = 0; i < sizeof event.text.text && text[i] && n < kMaxInputMessages;) {
        unsigned code;
        if (text[i] < 0x80) {
          code = text[i++];
        } else if ((text[i] & 0xE0) == 0xC0 && i + 1 < sizeof event.text.text && (text[i + 1] & 0xC0) == 0x80) {
          code = ((text[i] & 0x1Fu) << 6) | (text[i + 1] & 0x3Fu);
          i += 2;
        } else {
          ++i;
          while (i < sizeof event.text.text && (text[i] & 0xC0) == 0x80) ++i;
          continue;
        }
        if (code > 0xFF || code < 0x20 || MadeFromKey(static_cast<unsigned char>(code))) continue;
        out[n++] = {WM_CHAR, code, 1};
      }
      break;
    }
    default:
      break;
  }
  return n;
}

}  // namespace platform::sdl
