#include "platform/display_sdl/display_sdl.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "platform/win32/presenter.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace platform::display {
namespace {

struct RealWindow {
  SDL_Window* window = nullptr;
  bool shaped = false;
  bool shown = false;
  bool minimised = false;  // by us, or by the window manager
  int x = 0, y = 0, width = 0, height = 0;
  BYTE alpha = 255;
  std::vector<uint32_t> picture;  // as last shown
  std::vector<uint8_t> shape;     // 1 inside the region, as last set
  HRGN shapeRegion = nullptr;     // the region it was made from
};

class SdlPresenter : public WindowPresenter {
 public:
  SdlPresenter() { SDL_AddEventWatch(&SdlPresenter::Watch, this); }
  ~SdlPresenter() override {
    SDL_DelEventWatch(&SdlPresenter::Watch, this);
    for (auto& [hwnd, real] : windows_) SDL_DestroyWindow(real.window);
    for (auto& [id, cursor] : cursors_) SDL_FreeCursor(cursor);
  }

  void Sync() override {
    const std::vector<HWND> order = TopLevelWindowsInZOrder();
    // Records the layer dropped without destroying them (a reset).
    for (auto it = windows_.begin(); it != windows_.end();) {
      if (std::find(order.begin(), order.end(), it->first) == order.end()) {
        SDL_DestroyWindow(it->second.window);
        it = windows_.erase(it);
      } else {
        ++it;
      }
    }
    bool raised = false, refocus = false;
    for (HWND hwnd : order) {
      TopLevelWindowInfo info;
      if (!GetTopLevelWindowInfo(hwnd, &info)) continue;
      const bool first = Show(hwnd, info);
      raised |= first;
      // Without a window manager the display focuses every window it maps.
      refocus |= first && !info.activates;
    }
    // The order changed: raise them bottom up, so the layer's top is on top.
    std::vector<HWND> shownOrder;
    for (HWND hwnd : order) {
      // A minimised window is not raised: a window manager may take that
      // for a restore.
      auto it = windows_.find(hwnd);
      if (it != windows_.end() && it->second.shown && !it->second.minimised) shownOrder.push_back(hwnd);
    }
    if (raised || shownOrder != lastOrder_) {
      for (HWND hwnd : shownOrder) SDL_RaiseWindow(windows_[hwnd].window);
      lastOrder_ = shownOrder;
    }
    HWND active = GetActiveWindow();
    if (active != lastActive_ || refocus) {
      lastActive_ = active;
      if (SDL_Window* w = display::WindowOf(active)) SDL_SetWindowInputFocus(w);
    }
    SyncCursor();
    SyncClipboard();
  }

  HWND WindowOf(uint32_t sdlWindowId) override {
    for (auto& [hwnd, real] : windows_) {
      if (SDL_GetWindowID(real.window) == sdlWindowId) return hwnd;
    }
    return nullptr;
  }

  bool Desktop(RECT* screen, RECT* work) override {
    SDL_Rect bounds, usable;
    if (SDL_GetDisplayBounds(0, &bounds) != 0) return false;
    if (SDL_GetDisplayUsableBounds(0, &usable) != 0) usable = bounds;
    *screen = RECT{bounds.x, bounds.y, bounds.x + bounds.w, bounds.y + bounds.h};
    *work = RECT{usable.x, usable.y, usable.x + usable.w, usable.y + usable.h};
    return true;
  }

  void Destroyed(HWND hwnd) override {
    auto it = windows_.find(hwnd);
    if (it == windows_.end()) return;
    SDL_DestroyWindow(it->second.window);
    windows_.erase(it);
    std::erase(lastOrder_, hwnd);
  }

  // The display cleared a window's inside (mapped, uncovered): its picture
  // goes to it again at the next sync.
  static int Watch(void* self, SDL_Event* e) {
    if (e->type != SDL_WINDOWEVENT || e->window.event != SDL_WINDOWEVENT_EXPOSED) return 0;
    for (auto& [hwnd, real] : static_cast<SdlPresenter*>(self)->windows_) {
      if (SDL_GetWindowID(real.window) == e->window.windowID) real.picture.clear();
    }
    return 0;
  }

  SDL_Window* Find(HWND hwnd) {
    auto it = windows_.find(hwnd);
    return it == windows_.end() ? nullptr : it->second.window;
  }

 private:
  // True when a window was shown for the first time.
  bool Show(HWND hwnd, const TopLevelWindowInfo& info) {
    const int width = std::max(info.width, 1), height = std::max(info.height, 1);
    auto it = windows_.find(hwnd);
    const bool shown = info.visible || info.minimised;
    if (it == windows_.end()) {
      if (!shown) return false;  // made when first shown
      RealWindow real;
      real.window = Create(info, width, height, &real.shaped);
      if (!real.window) return false;
      real.x = info.x, real.y = info.y, real.width = width, real.height = height;
      it = windows_.emplace(hwnd, std::move(real)).first;
    }
    RealWindow& real = it->second;
    if (!shown) {
      if (real.shown) SDL_HideWindow(real.window);
      real.shown = false;
      real.minimised = false;
      return false;
    }
    if (real.width != width || real.height != height) {
      SDL_SetWindowSize(real.window, width, height);
      real.width = width, real.height = height;
      real.picture.clear();
      real.shape.clear();
    }
    // Against where the window is: the display may have put it elsewhere
    // (a shaped window is made off the screen until it has its shape).
    int shownX = 0, shownY = 0;
    SDL_GetWindowPosition(real.window, &shownX, &shownY);
    if (shownX != info.x || shownY != info.y || real.x != info.x || real.y != info.y) {
      SDL_SetWindowPosition(real.window, info.x, info.y);
      real.x = info.x, real.y = info.y;
    }
    if (real.shaped) Shape(real, info);
    if (real.alpha != info.alpha) {
      SDL_SetWindowOpacity(real.window, static_cast<float>(info.alpha) / 255.0f);
      real.alpha = info.alpha;
    }
    const bool first = !real.shown;
    if (first) {
      SDL_ShowWindow(real.window);
      // Shown, the window has its surface.
      real.shown = true;
      real.picture.clear();
    }
    // Minimised for real: the window manager keeps it (an icon, the
    // taskbar) and gives it back, where a hidden window would be lost.
    // The window manager's own minimising and restoring came back as the
    // layer's state already.
    if (info.minimised && !real.minimised) {
      SDL_MinimizeWindow(real.window);
      real.minimised = true;
    } else if (!info.minimised && real.minimised) {
      // Still iconic (restored by the program, not by the window manager):
      // mapped again, which a window manager takes for a restore. SDL's
      // own restore would leave its window marked minimised, and the next
      // minimise would do nothing.
      if (SDL_GetWindowFlags(real.window) & SDL_WINDOW_MINIMIZED) {
        SDL_HideWindow(real.window);
        SDL_ShowWindow(real.window);
      }
      real.minimised = false;
      real.picture.clear();
    }
    // Half-painted pictures are not shown: a parent's paint covers its
    // children until they have painted again. Fresh invalidations do not
    // hold the picture back: it is whole until the next paint.
    if (!PictureHalfPainted(hwnd)) Paint(real, info);
    return first;
  }

  SDL_Window* Create(const TopLevelWindowInfo& info, int width, int height, bool* shaped) {
    const char* title = info.title.empty() ? " " : info.title.c_str();
    Uint32 flags = SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN;
    // One taskbar entry: the main window's.
    if (!info.taskbar) flags |= SDL_WINDOW_SKIP_TASKBAR;
    // A list or menu shown without activation: a window manager leaves it
    // alone and gives it no focus.
    if (!info.activates) flags |= SDL_WINDOW_POPUP_MENU;
    // Shaped where the driver can; a plain window elsewhere.
    if (SDL_Window* w = SDL_CreateShapedWindow(title, static_cast<unsigned>(std::max(info.x, 0)),
                                               static_cast<unsigned>(std::max(info.y, 0)), static_cast<unsigned>(width),
                                               static_cast<unsigned>(height), flags)) {
      *shaped = true;
      return w;
    }
    *shaped = false;
    SDL_Window* w = SDL_CreateWindow(title, info.x, info.y, width, height, flags);
    if (!w) std::fprintf(stderr, "display: no window for \"%s\": %s\n", title, SDL_GetError());
    return w;
  }

  void Shape(RealWindow& real, const TopLevelWindowInfo& info) {
    // A region is replaced, never changed in place: a new handle or size
    // is a new shape.
    if (!real.shape.empty() && real.shapeRegion == info.region) return;
    real.shapeRegion = info.region;
    std::vector<uint8_t> mask(static_cast<size_t>(real.width) * static_cast<size_t>(real.height), 1);
    if (info.region) {
      for (int y = 0; y < real.height; ++y) {
        for (int x = 0; x < real.width; ++x) {
          mask[static_cast<size_t>(y) * real.width + x] = RegionHolds(info.region, x, y) ? 1 : 0;
        }
      }
    }
    if (mask == real.shape) return;
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, real.width, real.height, 32, SDL_PIXELFORMAT_ARGB8888);
    if (!s) return;
    for (int y = 0; y < real.height; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(s->pixels) + static_cast<size_t>(y) * s->pitch);
      for (int x = 0; x < real.width; ++x) row[x] = mask[static_cast<size_t>(y) * real.width + x] ? 0xFF000000u : 0;
    }
    SDL_WindowShapeMode mode;
    mode.mode = ShapeModeBinarizeAlpha;
    mode.parameters.binarizationCutoff = 128;
    if (SDL_SetWindowShape(real.window, s, &mode) == 0) {
      real.shape = std::move(mask);
      // Setting the first shape places the window where it was made.
      SDL_SetWindowPosition(real.window, real.x, real.y);
    } else {
      // Shown whole from now on.
      std::fprintf(stderr, "display: no shape for a window: %s\n", SDL_GetError());
      real.shaped = false;
      SDL_SetWindowPosition(real.window, real.x, real.y);
    }
    SDL_FreeSurface(s);
  }

  void Paint(RealWindow& real, const TopLevelWindowInfo& info) {
    if (!info.pixels || info.width <= 0 || info.height <= 0) return;
    const size_t count = static_cast<size_t>(info.width) * static_cast<size_t>(info.height);
    if (real.picture.size() == count && std::memcmp(real.picture.data(), info.pixels, count * 4) == 0) return;
    SDL_Surface* surface = SDL_GetWindowSurface(real.window);
    if (!surface) return;
    real.picture.assign(info.pixels, info.pixels + count);
    const int w = std::min(info.width, surface->w), h = std::min(info.height, surface->h);
    // Outside the region is not the window's: black, as the layer's own
    // picture of the window has it.
    std::vector<uint32_t> rows(real.picture);
    if (info.region) {
      for (int y = 0; y < info.height; ++y) {
        for (int x = 0; x < info.width; ++x) {
          if (!RegionHolds(info.region, x, y)) rows[static_cast<size_t>(y) * info.width + x] = 0;
        }
      }
    }
    SDL_ConvertPixels(w, h, SDL_PIXELFORMAT_XRGB8888, rows.data(), info.width * 4, surface->format->format,
                      surface->pixels, surface->pitch);
    SDL_UpdateWindowSurface(real.window);
  }

  void SyncCursor() {
    const uintptr_t id = reinterpret_cast<uintptr_t>(GetCursor());
    if (id == lastCursor_) return;
    lastCursor_ = id;
    SDL_SystemCursor shape = SDL_SYSTEM_CURSOR_ARROW;
    if (id == 0x300000 + 32649) shape = SDL_SYSTEM_CURSOR_HAND;
    if (id == 0x300000 + 32514) shape = SDL_SYSTEM_CURSOR_WAIT;
    SDL_Cursor*& cursor = cursors_[shape];
    if (!cursor) cursor = SDL_CreateSystemCursor(shape);
    if (cursor) SDL_SetCursor(cursor);
    cursorShown = shape;
  }

  void SyncClipboard() {
    if (!IsClipboardFormatAvailable(CF_TEXT) || !OpenClipboard(nullptr)) return;
    std::string text;
    if (HANDLE h = GetClipboardData(CF_TEXT)) {
      if (const char* p = static_cast<const char*>(GlobalLock(h))) {
        text.assign(p, strnlen(p, GlobalSize(h)));
        GlobalUnlock(h);
      }
    }
    CloseClipboard();
    if (text == lastClipboard_) return;
    lastClipboard_ = text;
    SDL_SetClipboardText(text.c_str());
  }

 public:
  SDL_SystemCursor cursorShown = SDL_SYSTEM_CURSOR_ARROW;

 private:
  std::map<HWND, RealWindow> windows_;
  std::vector<HWND> lastOrder_;
  HWND lastActive_ = nullptr;
  uintptr_t lastCursor_ = 0;
  std::map<SDL_SystemCursor, SDL_Cursor*> cursors_;
  std::string lastClipboard_;
};

std::unique_ptr<SdlPresenter> g_presenter;

bool Headless() {
  const char* env = std::getenv("TARVEL_HEADLESS");
  if (env && std::strcmp(env, "1") == 0) return true;
  return platform::testing::GetSetting("forms.display").value_or("") == "headless";
}

}  // namespace

bool Start(std::string* error) {
  if (g_presenter) return true;
  if (Headless()) {
    KeepWindowsHeadless();
    return true;
  }
  // Ctrl-C ends the program as it does headless.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // Double clicks as Windows counts them: within 500 ms and 2 pixels.
  SDL_SetHint(SDL_HINT_MOUSE_DOUBLE_CLICK_TIME, "500");
  SDL_SetHint(SDL_HINT_MOUSE_DOUBLE_CLICK_RADIUS, "2");
  // A click that activates a window is a click too, as on Windows.
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  // Only a display a person sees, unless a test names a driver: SDL would
  // fall back to its off-screen one, where nobody sees the window.
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  if (!driver || !*driver) SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11,wayland,KMSDRM");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    if (error) *error = SDL_GetError();
    return false;
  }
  g_presenter = std::make_unique<SdlPresenter>();
  SetWindowPresenter(g_presenter.get());
  return true;
}

bool Presenting() { return g_presenter != nullptr; }

void Stop() {
  if (!g_presenter) return;
  SetWindowPresenter(nullptr);
  g_presenter.reset();
  // SDL's video stays up until the process ends: quitting it unloads the X
  // libraries it loaded, and what they keep could no longer be told apart.
}

SDL_Window* WindowOf(HWND hwnd) { return g_presenter ? g_presenter->Find(hwnd) : nullptr; }

SDL_SystemCursor CursorShown() { return g_presenter ? g_presenter->cursorShown : SDL_SYSTEM_CURSOR_ARROW; }

}  // namespace platform::display
