#include "platform/win32/sdl_window.h"

#include <SDL2/SDL.h>

#include <cstdlib>
#include <map>

#include "platform/win32/internal.h"
#include "platform/win32/present.h"
#include "platform/win32/presenter.h"
#include "platform/win32/screenshots.h"
#include "platform/win32/testing.h"

namespace platform::sdl {
namespace {

struct RealWindow {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  int textureWidth = 0, textureHeight = 0;
};

std::map<HWND, RealWindow> g_real;
platform::WindowPresenter* g_presenter = nullptr;
bool g_keptHeadless = false;

bool Set(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

}  // namespace

bool HasDisplay() {
  static const bool display = [] {
    // A presenter makes its own windows; a headless launcher none at all.
    if (g_presenter || g_keptHeadless) return false;
    // An explicit video driver (tests use "dummy") or no display at all is
    // headless, and so is a test that holds the clock.
    if (Set("SDL_VIDEODRIVER") || (!Set("DISPLAY") && !Set("WAYLAND_DISPLAY"))) return false;
    if (platform::testing::ClockTaken()) return false;
    // Ctrl-C and SIGTERM end the program as they do headless, rather than
    // becoming a quit event the engine never asks for.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    return SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
  }();
  return display;
}

void OnCreate(HWND hwnd, const std::string& title, int x, int y, int width, int height) {
  // A bad screenshot list is told about at start, not at the first frame.
  platform::screenshots::Prepare();
  if (!HasDisplay()) return;
  (void)x;
  (void)y;
  // Placed by the desktop: a position meant for the designed screen may be
  // off this one.
  SDL_Window* window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                        width > 0 ? width : 1, height > 0 ? height : 1, SDL_WINDOW_HIDDEN);
  if (!window) {
    std::fprintf(stderr, "No window could be opened (%s); running without one.\n", SDL_GetError());
    return;
  }
  g_real[hwnd].window = window;
}

void OnDestroy(HWND hwnd) {
  if (g_presenter) g_presenter->Destroyed(hwnd);
  auto it = g_real.find(hwnd);
  if (it == g_real.end()) return;
  if (it->second.texture) SDL_DestroyTexture(it->second.texture);
  if (it->second.renderer) SDL_DestroyRenderer(it->second.renderer);
  SDL_DestroyWindow(it->second.window);
  g_real.erase(it);
}

void OnShow(HWND hwnd, bool visible, bool minimised) {
  SDL_Window* window = WindowOf(hwnd);
  if (!window) return;
  if (!visible) {
    SDL_HideWindow(window);
  } else if (minimised) {
    SDL_ShowWindow(window);
    SDL_MinimizeWindow(window);
  } else {
    SDL_ShowWindow(window);
    SDL_RestoreWindow(window);
  }
}

// The size only: where a window goes on this desktop is the desktop's
// choice. Frames presented later size the window to themselves.
void OnMove(HWND hwnd, int, int, int width, int height) {
  SDL_Window* window = WindowOf(hwnd);
  if (!window) return;
  SDL_SetWindowSize(window, width > 0 ? width : 1, height > 0 ? height : 1);
}

// The engine draws its own cursor and hides the system's.
void OnCursorCounter(int counter) {
  if (HasDisplay()) SDL_ShowCursor(counter >= 0 ? SDL_ENABLE : SDL_DISABLE);
}

SDL_Window* WindowOf(HWND hwnd) {
  auto it = g_real.find(hwnd);
  return it == g_real.end() ? nullptr : it->second.window;
}

HWND HandleOf(uint32_t windowId) {
  if (g_presenter) return g_presenter->WindowOf(windowId);
  for (auto& [hwnd, real] : g_real)
    if (SDL_GetWindowID(real.window) == windowId) return hwnd;
  return nullptr;
}

}  // namespace platform::sdl

namespace platform {

void SetWindowPresenter(WindowPresenter* presenter) { sdl::g_presenter = presenter; }
WindowPresenter* CurrentWindowPresenter() { return sdl::g_presenter; }
void KeepWindowsHeadless() { sdl::g_keptHeadless = true; }

void PresentToWindow(HWND hwnd, const uint8_t* pixels, int width, int height, int pitch) {
  if (!pixels || width <= 0 || height <= 0 || pitch < width * 4) return;
  platform::screenshots::OnPresent(pixels, width, height, pitch);
  detail::KeepPresentedFrame(hwnd, pixels, width, height, pitch);
  auto it = sdl::g_real.find(hwnd);
  if (it == sdl::g_real.end()) return;
  sdl::RealWindow& real = it->second;
  if (!real.renderer) {
    real.renderer = SDL_CreateRenderer(real.window, -1, 0);
    if (!real.renderer) return;
  }
  // A texture is made again only when the frame's size changes.
  if (!real.texture || real.textureWidth != width || real.textureHeight != height) {
    if (real.texture) SDL_DestroyTexture(real.texture);
    // A8R8G8B8 in memory is ARGB8888 read as 32-bit words.
    real.texture = SDL_CreateTexture(real.renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                     width, height);
    real.textureWidth = width;
    real.textureHeight = height;
    if (!real.texture) return;
  }
  // The window's inside is the frame, pixel for pixel, so the mouse's
  // positions are the frame's. (The engine sizes its window with room for a
  // frame and caption that this window does not have inside.)
  int shownWidth = 0, shownHeight = 0;
  SDL_GetWindowSize(real.window, &shownWidth, &shownHeight);
  if (shownWidth != width || shownHeight != height) SDL_SetWindowSize(real.window, width, height);
  SDL_UpdateTexture(real.texture, nullptr, pixels, pitch);
  SDL_RenderClear(real.renderer);
  SDL_RenderCopy(real.renderer, real.texture, nullptr, nullptr);
  SDL_RenderPresent(real.renderer);
}

}  // namespace platform
