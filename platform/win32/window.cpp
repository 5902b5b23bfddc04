// Headless windows: each window is a record; showing, moving, capturing,
// activating and the cursor counter change its state and send the messages
// Windows sends, synchronously, to the window procedure. With a display a
// top-level window also has an SDL window (sdl_window.h), whose events come
// back here as messages (sdl_input.h).
#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/dc.h"
#include "platform/win32/internal.h"
#include "platform/win32/presenter.h"
#include "platform/win32/sdl_input.h"
#include "platform/win32/sdl_window.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace {

struct WindowClass {
  std::string name;
  UINT style = 0;
  WNDPROC proc = nullptr;
  HINSTANCE instance = nullptr;
};

struct Window {
  std::string className;
  std::string title;
  WNDPROC proc = nullptr;
  UINT classStyle = 0;
  DWORD style = 0;
  DWORD exStyle = 0;
  int x = 0, y = 0, width = 0, height = 0;
  bool visible = false;
  bool minimised = false;
  bool destroying = false;
  bool needsPaint = false;
  // Its parent painted over it and it has not painted again since.
  bool covered = false;
  int lastShow = -1;
  // Child windows: the parent, and the children in Z order, top first.
  // A child's position is in its parent's client coordinates.
  HWND parent = nullptr;
  std::vector<HWND> children;
  bool needsErase = false;
  LONG_PTR userData = 0;
  LONG_PTR id = 0;
  // Top-level windows keep their composed picture (0x00RRGGBB).
  std::vector<uint32_t> surface;
  BYTE alpha = 255;
  // Top-level windows: the frame's widths around the client area, whether
  // the frame waits for WM_NCPAINT, and the window's region (owned).
  RECT nc{0, 0, 0, 0};
  bool ncDirty = false;
  HRGN region = nullptr;
  // Shown without activation (a drop-down list, a menu) and not activated
  // since: a real display's focus on it is no activation.
  bool shownInactive = false;
};

// Injected input finds its window when it is taken from the queue: the
// mouse goes to the capture window or the child under the point, keys to
// the focus window.
enum class Route { None, Mouse, Key };

struct QueuedMessage {
  MSG msg;
  std::optional<uint32_t> due;
  bool sent;  // delivered to the procedure inside PeekMessageA, never returned
  Route route = Route::None;
  bool shifted = false;  // a key pressed with shift held (its character is upper case)
};

struct Timer {
  HWND hwnd;
  UINT_PTR id;
  UINT elapse;
  TIMERPROC proc;
  DWORD next;
};

// Window handles are numbers, never addresses, so a stale handle is only
// unknown and never dangles.
constexpr uintptr_t kFirstWindow = 0x10010;
uintptr_t g_nextWindow = kFirstWindow;
std::map<uintptr_t, Window> g_windows;
std::vector<WindowClass> g_classes;
HWND g_capture = nullptr;
HWND g_active = nullptr;
HWND g_focus = nullptr;
HWND g_lastCreated = nullptr;
bool g_appActive = false;
// The next ShowWindow is SetWindowPos's: no WM_SHOWWINDOW.
bool g_quietShow = false;
int g_cursorCount = 0;
POINT g_cursor{0, 0};
WPARAM g_heldButtons = 0;
POINT g_lastInjected{0, 0};  // client position of the last injected mouse event
std::atomic<bool> g_failCreate{false};

platform::sdl::InputState g_sdlInput;
// The active window a real display took the focus from, until the events
// read with it tell whether the focus stayed with one of the program's
// windows shown without activation.
HWND g_focusLossPending = nullptr;
bool g_peekedShifted = false;  // of the key message PeekMessageA returned last

std::mutex g_queueMutex;  // PostMessageA may come from any thread
std::deque<QueuedMessage> g_queue;
bool g_quitPosted = false;
int g_quitCode = 0;

constexpr size_t kDeliveredLimit = 100000;
std::vector<platform::testing::DeliveredMessage> g_delivered;

std::vector<HWND> g_topOrder;  // top-level windows in Z order, top first
std::vector<Timer> g_timers;
UINT_PTR g_nextTimerId = 1;
// Key state as the thread has taken it from its queue (GetKeyState), and as
// injected (which key message an injection posts).
BYTE g_keyState[256];
bool g_injectedDown[256];
POINT g_messagePos{0, 0};  // the cursor of the last message taken

uintptr_t Id(HWND hwnd) { return reinterpret_cast<uintptr_t>(hwnd); }
HWND Handle(uintptr_t id) { return reinterpret_cast<HWND>(id); }

Window* Find(HWND hwnd) {
  auto it = g_windows.find(Id(hwnd));
  return it == g_windows.end() ? nullptr : &it->second;
}

Window* FindOrFail(HWND hwnd) {
  Window* w = Find(hwnd);
  if (!w) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return w;
}

HWND InputTarget() {
  if (g_capture && Find(g_capture)) return g_capture;
  if (g_active && Find(g_active)) return g_active;
  if (g_lastCreated && Find(g_lastCreated)) return g_lastCreated;
  return nullptr;
}

WindowClass* FindClass(std::string_view name) {
  for (auto& c : g_classes) {
    if (platform::detail::EqualsNoCase(c.name, name)) return &c;
  }
  return nullptr;
}

LRESULT Send(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Window* w = Find(hwnd);
  if (!w || !w->proc) return 0;
  if (g_delivered.size() < kDeliveredLimit) g_delivered.push_back({hwnd, msg, wParam, lParam});
  WNDPROC proc = w->proc;  // the record may go away inside the call
  return proc(hwnd, msg, wParam, lParam);
}

std::vector<HWND> AllWindows() {
  std::vector<HWND> all;
  for (auto& [id, w] : g_windows) all.push_back(Handle(id));
  return all;
}

// ---- The window tree -------------------------------------------------------------

HWND Root(HWND hwnd) {
  Window* w = Find(hwnd);
  while (w && w->parent) {
    hwnd = w->parent;
    w = Find(hwnd);
  }
  return w ? hwnd : nullptr;
}

bool IsDescendant(HWND hwnd, HWND ancestor) {
  for (Window* w = Find(hwnd); w; w = Find(hwnd)) {
    if (hwnd == ancestor) return true;
    hwnd = w->parent;
  }
  return false;
}

// Position of a window's client origin in its top-level window's client area.
POINT OffsetInRoot(HWND hwnd) {
  POINT p{0, 0};
  for (Window* w = Find(hwnd); w && w->parent; w = Find(w->parent)) {
    p.x += w->x;
    p.y += w->y;
  }
  return p;
}

POINT ScreenOrigin(HWND hwnd) {
  POINT p = OffsetInRoot(hwnd);
  if (Window* r = Find(Root(hwnd))) {
    p.x += r->x + r->nc.left;
    p.y += r->y + r->nc.top;
  }
  return p;
}

int ClientWidth(const Window& w) { return std::max<int>(w.width - w.nc.left - w.nc.right, 0); }
int ClientHeight(const Window& w) { return std::max<int>(w.height - w.nc.top - w.nc.bottom, 0); }

// Asks a top-level window's procedure for its client rectangle and keeps
// the answer inside the window. True when the client size changed.
bool CalcFrame(HWND hwnd, bool request) {
  Window* w = Find(hwnd);
  if (!w || w->parent) return false;
  const int oldW = ClientWidth(*w), oldH = ClientHeight(*w);
  const RECT window{w->x, w->y, w->x + w->width, w->y + w->height};
  RECT client = window;
  if (request) {
    WINDOWPOS pos{hwnd, nullptr, w->x, w->y, w->width, w->height, 0};
    NCCALCSIZE_PARAMS params{};
    params.rgrc[0] = params.rgrc[1] = window;
    params.rgrc[2] = RECT{window.left + w->nc.left, window.top + w->nc.top, window.right - w->nc.right,
                          window.bottom - w->nc.bottom};
    params.lppos = &pos;
    Send(hwnd, WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&params));
    client = params.rgrc[0];
  } else {
    Send(hwnd, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&client));
  }
  w = Find(hwnd);
  if (!w) return false;
  client.left = std::clamp(client.left, window.left, window.right);
  client.right = std::clamp(client.right, client.left, window.right);
  client.top = std::clamp(client.top, window.top, window.bottom);
  client.bottom = std::clamp(client.bottom, client.top, window.bottom);
  w->nc = RECT{client.left - window.left, client.top - window.top, window.right - client.right,
               window.bottom - client.bottom};
  return ClientWidth(*w) != oldW || ClientHeight(*w) != oldH;
}

bool Contains(const Window& w, int x, int y);

// Whether a screen point hits a top-level window: inside its rectangle and
// its region.
bool HitsTopLevel(const Window& w, int x, int y) {
  if (!Contains(w, x, y)) return false;
  return !w.region || platform::detail::RegionContains(w.region, x - w.x, y - w.y);
}

bool Shown(HWND hwnd) {
  for (Window* w = Find(hwnd); w; w = Find(w->parent)) {
    if (!w->visible) return false;
    if (!w->parent) return true;
  }
  return false;
}

bool Contains(const Window& w, int x, int y) {
  return x >= w.x && y >= w.y && x < w.x + w.width && y < w.y + w.height;
}

// The deepest shown, enabled child of `hwnd` under a point in its client
// coordinates (the point is made the found window's); `hwnd` when none.
HWND DeepestEnabledChild(HWND hwnd, POINT* pt) {
  for (;;) {
    Window* w = Find(hwnd);
    if (!w) return hwnd;
    HWND next = nullptr;
    for (HWND c : w->children) {
      Window* cw = Find(c);
      if (cw && cw->visible && !(cw->style & WS_DISABLED) && Contains(*cw, pt->x, pt->y)) {
        next = c;
        pt->x -= cw->x;
        pt->y -= cw->y;
        break;
      }
    }
    if (!next) return hwnd;
    hwnd = next;
  }
}

// The window and its descendants need painting: a parent's paint covers its
// children, so they paint again after it.
void InvalidateTree(HWND hwnd, bool erase) {
  Window* w = Find(hwnd);
  if (!w) return;
  w->needsPaint = true;
  w->needsErase = w->needsErase || erase;
  for (HWND c : w->children) InvalidateTree(c, erase);
}

void ResizeSurface(Window& w) {
  if (w.parent) return;
  w.surface.assign(static_cast<size_t>(w.width) * static_cast<size_t>(w.height), 0);
}

// The first shown window needing paint, top-level windows in Z order and
// parents before their children.
HWND FirstToPaint(HWND hwnd) {
  Window* w = Find(hwnd);
  if (!w || !w->visible) return nullptr;
  if (w->needsPaint) return hwnd;
  for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
    if (HWND found = FirstToPaint(*it)) return found;
  }
  return nullptr;
}

// The first shown window its parent painted over, in the same order.
HWND FirstCovered(HWND hwnd) {
  Window* w = Find(hwnd);
  if (!w || !w->visible) return nullptr;
  if (w->covered && w->needsPaint) return hwnd;
  for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
    if (HWND found = FirstCovered(*it)) return found;
  }
  return nullptr;
}

// Windows a parent painted over come first: a parent invalidated again and
// again (a video) would otherwise paint before them each time, and its
// picture would never be whole.
HWND NextToPaint() {
  for (HWND h : g_topOrder) {
    if (HWND found = FirstCovered(h)) return found;
  }
  for (HWND h : g_topOrder) {
    if (HWND found = FirstToPaint(h)) return found;
  }
  return nullptr;
}

// Erase, then paint, as Windows does for an invalid window.
void PaintNow(HWND hwnd) {
  Window* w = Find(hwnd);
  if (!w) return;
  if (!w->parent && w->ncDirty) {
    w->ncDirty = false;
    Send(hwnd, WM_NCPAINT, 1, 0);
    w = Find(hwnd);
    if (!w) return;
  }
  if (w->needsErase) {
    w->needsErase = false;
    HDC dc = GetDC(hwnd);
    Send(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    ReleaseDC(hwnd, dc);
  }
  // Validated before the paint: a procedure that ignores WM_PAINT does not
  // loop, and what the paint itself invalidates is painted again.
  if (Window* again = Find(hwnd)) {
    again->needsPaint = false;
    again->covered = false;
    Send(hwnd, WM_PAINT, 0, 0);
  }
  // Windows clip a parent's painting to what its children leave free; here
  // a parent paints its whole area into the shared picture, so the visible
  // children paint again over it, next.
  if (Window* painted = Find(hwnd)) {
    for (HWND child : painted->children) {
      if (Window* c = Find(child); c && c->visible) c->needsPaint = c->covered = true;
    }
  }
}

void BringToTop(HWND hwnd) {
  Window* w = Find(hwnd);
  if (!w) return;
  std::vector<HWND>& order = w->parent ? Find(w->parent)->children : g_topOrder;
  std::erase(order, hwnd);
  order.insert(order.begin(), hwnd);
}

// Resolves the window of injected input taken from the queue.
void RouteInput(MSG& m, Route route) {
  if (route == Route::Key) {
    if (g_focus && Find(g_focus)) m.hwnd = g_focus;
    else if (g_active && Find(g_active)) m.hwnd = g_active;
    return;
  }
  if (route != Route::Mouse || !Find(m.hwnd)) return;
  POINT pt{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
  HWND to;
  if (g_capture && Find(g_capture)) {
    POINT from = ScreenOrigin(m.hwnd), at = ScreenOrigin(g_capture);
    pt.x += from.x - at.x;
    pt.y += from.y - at.y;
    to = g_capture;
  } else {
    to = DeepestEnabledChild(m.hwnd, &pt);
  }
  m.hwnd = to;
  m.lParam = MAKELPARAM(static_cast<uintptr_t>(pt.x), static_cast<uintptr_t>(pt.y));
}

void TakeKeyState(const MSG& m) {
  switch (m.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (!(g_keyState[m.wParam & 0xFF] & 0x80)) g_keyState[m.wParam & 0xFF] ^= 0x01;
      g_keyState[m.wParam & 0xFF] |= 0x80;
      break;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      g_keyState[m.wParam & 0xFF] &= static_cast<BYTE>(~0x80);
      break;
    case WM_LBUTTONDOWN: g_keyState[VK_LBUTTON] |= 0x80; break;
    case WM_LBUTTONUP: g_keyState[VK_LBUTTON] &= 0x7F; break;
    case WM_RBUTTONDOWN: g_keyState[VK_RBUTTON] |= 0x80; break;
    case WM_RBUTTONUP: g_keyState[VK_RBUTTON] &= 0x7F; break;
    default: break;
  }
}

// A due timer as a WM_TIMER message; the timer's next tick is counted from
// now, so ticks missed while the thread was busy do not pile up.
bool TakeTimer(DWORD now, HWND filter, MSG* msg, bool remove) {
  Timer* due = nullptr;
  for (Timer& t : g_timers) {
    if (filter && t.hwnd != filter) continue;
    if (static_cast<int32_t>(now - t.next) < 0) continue;
    if (!due || static_cast<int32_t>(t.next - due->next) < 0) due = &t;
  }
  if (!due) return false;
  *msg = MSG{due->hwnd, WM_TIMER, due->id, reinterpret_cast<LPARAM>(due->proc), now, g_cursor};
  if (remove) due->next = now + due->elapse;
  return true;
}

void ShowChild(HWND hwnd, bool visible) {
  Window* w = Find(hwnd);
  if (!w || w->visible == visible) return;
  w->visible = visible;
  if (visible) {
    w->style |= WS_VISIBLE;
    InvalidateTree(hwnd, true);
  } else {
    w->style &= ~WS_VISIBLE;
    InvalidateTree(w->parent, true);
  }
  Send(hwnd, WM_SHOWWINDOW, visible ? TRUE : FALSE, 0);
}

// Takes a window out of its parent's children or the top-level order.
void Unlink(HWND hwnd) {
  Window* w = Find(hwnd);
  if (!w) return;
  if (Window* p = Find(w->parent)) std::erase(p->children, hwnd);
  std::erase(g_topOrder, hwnd);
}

void SetAppActive(bool active, HWND except) {
  if (g_appActive == active) return;
  g_appActive = active;
  for (HWND h : AllWindows()) {
    if (h != except || active) Send(h, WM_ACTIVATEAPP, active ? TRUE : FALSE, 0);
  }
}

void Deactivate(HWND hwnd) {
  if (g_active != hwnd || !hwnd) return;
  g_active = nullptr;
  Send(hwnd, WM_ACTIVATE, WA_INACTIVE, 0);
  SetAppActive(false, nullptr);
  if (g_focus == hwnd) {
    g_focus = nullptr;
    Send(hwnd, WM_KILLFOCUS, 0, 0);
  }
}

void Activate(HWND hwnd) {
  if (g_active == hwnd) return;
  HWND previous = g_active;
  if (previous) {
    g_active = nullptr;
    Send(previous, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hwnd));
  }
  SetAppActive(true, nullptr);
  g_active = hwnd;
  if (Window* w = Find(hwnd)) w->shownInactive = false;
  BringToTop(hwnd);
  Send(hwnd, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(previous));
  // A procedure that handles the activation may have put the focus on one of
  // its children; otherwise the window itself takes it.
  if (g_active == hwnd && !IsDescendant(g_focus, hwnd)) SetFocus(hwnd);
}

bool IsDue(const QueuedMessage& q, DWORD now) {
  return !q.due || static_cast<int32_t>(now - *q.due) >= 0;
}

bool Matches(const MSG& m, HWND hwnd, UINT filterMin, UINT filterMax) {
  if (hwnd == reinterpret_cast<HWND>(static_cast<intptr_t>(-1))) {
    if (m.hwnd) return false;
  } else if (hwnd && m.hwnd != hwnd) {
    return false;
  }
  if (filterMin == 0 && filterMax == 0) return true;
  return m.message >= filterMin && m.message <= filterMax;
}

void Enqueue(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, std::optional<uint32_t> due, bool sent,
             bool shifted = false) {
  QueuedMessage q{};
  q.msg.hwnd = hwnd;
  q.msg.message = msg;
  q.msg.wParam = wParam;
  q.msg.lParam = lParam;
  q.msg.time = timeGetTime();
  q.msg.pt = g_cursor;
  q.due = due;
  q.sent = sent;
  q.shifted = shifted;
  std::lock_guard lock(g_queueMutex);
  g_queue.push_back(q);
}

// Activation from outside: the application's state follows it.
void ActivateFromOutside(HWND target, bool active) {
  if (active) {
    if (Find(target)) Activate(target);
  } else {
    Deactivate(g_active ? g_active : target);
    if (g_appActive) SetAppActive(false, nullptr);
  }
}

// Delivers the first sent message that is due; false when there is none.
bool DeliverOneSent(DWORD now) {
  QueuedMessage q;
  {
    std::lock_guard lock(g_queueMutex);
    auto it = std::find_if(g_queue.begin(), g_queue.end(),
                           [&](const QueuedMessage& m) { return m.sent && IsDue(m, now); });
    if (it == g_queue.end()) return false;
    q = *it;
    g_queue.erase(it);
  }
  if (q.msg.message == WM_ACTIVATEAPP) {
    ActivateFromOutside(q.msg.hwnd, q.msg.wParam != 0);
  } else {
    Send(q.msg.hwnd, q.msg.message, q.msg.wParam, q.msg.lParam);
  }
  return true;
}

// A focus loss held back counts before the display's next change of a
// window, or once the events read with it are handled (SDL may put the
// release of held keys between the loss and the gain that follows it).
void TakePendingFocusLoss() {
  if (HWND lost = std::exchange(g_focusLossPending, nullptr)) ActivateFromOutside(lost, false);
}

// What the window manager did to a real window, as Windows would report it.
void OnSdlWindowEvent(HWND hwnd, const SDL_WindowEvent& e) {
  switch (e.event) {
    case SDL_WINDOWEVENT_CLOSE:
    case SDL_WINDOWEVENT_MINIMIZED:
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_MOVED:
      TakePendingFocusLoss();
      break;
    default:
      break;
  }
  Window* w = Find(hwnd);
  if (!w) return;
  switch (e.event) {
    case SDL_WINDOWEVENT_CLOSE:
      Enqueue(hwnd, WM_CLOSE, 0, 0, std::nullopt, false);
      break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
      g_focusLossPending = nullptr;
      // A display without a window manager gives the focus to every window
      // it maps: a list or menu shown without activation does not take the
      // activation from its form (the presenter gives the focus back).
      if (!w->shownInactive) ActivateFromOutside(hwnd, true);
      break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
      // A window the layer has already made inactive (the focus went to
      // another of its windows) changes nothing; otherwise the loss counts
      // once the events read with it show where the focus went.
      if (!g_active || g_active == hwnd) g_focusLossPending = hwnd;
      break;
    case SDL_WINDOWEVENT_MINIMIZED:
      if (!w->minimised) {
        w->minimised = true;
        w->style |= WS_MINIMIZE;
        Send(hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
      }
      break;
    case SDL_WINDOWEVENT_RESTORED:
      if (w->minimised) {
        w->minimised = false;
        w->style &= ~WS_MINIMIZE;
        Send(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(w->width, w->height));
      }
      break;
    case SDL_WINDOWEVENT_MOVED:
      if (w->x != e.data1 || w->y != e.data2) {
        w->x = e.data1;
        w->y = e.data2;
        Send(hwnd, WM_MOVE, 0, MAKELPARAM(static_cast<uint16_t>(e.data1), static_cast<uint16_t>(e.data2)));
      }
      break;
    default:
      break;
  }
}

// SDL's events, once SDL video runs (a display, or a test's dummy driver),
// become queued messages of the window they belong to, else of the window
// injected input goes to.
void PumpSdlEvents() {
  platform::WindowPresenter* presenter = platform::CurrentWindowPresenter();
  if (presenter) presenter->Sync();
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    uint32_t id = 0;
    switch (e.type) {
      case SDL_WINDOWEVENT: id = e.window.windowID; break;
      case SDL_MOUSEMOTION: id = e.motion.windowID; break;
      case SDL_MOUSEBUTTONDOWN: case SDL_MOUSEBUTTONUP: id = e.button.windowID; break;
      case SDL_MOUSEWHEEL: id = e.wheel.windowID; break;
      case SDL_KEYDOWN: case SDL_KEYUP: id = e.key.windowID; break;
      case SDL_TEXTINPUT: id = e.text.windowID; break;
      default: break;
    }
    HWND hwnd = id ? platform::sdl::HandleOf(id) : nullptr;
    if (!hwnd) hwnd = InputTarget();
    if (!hwnd) continue;
    if (e.type == SDL_WINDOWEVENT) {
      OnSdlWindowEvent(hwnd, e.window);
      continue;
    }
    if (e.type == SDL_QUIT) {
      Enqueue(hwnd, WM_CLOSE, 0, 0, std::nullopt, false);
      continue;
    }
    Window* w = Find(hwnd);
    platform::sdl::InputMessage out[platform::sdl::kMaxInputMessages];
    size_t n = platform::sdl::TranslateInput(e, w && (w->classStyle & CS_DBLCLKS), g_sdlInput, out);
    for (size_t i = 0; i < n; ++i) {
      const UINT m = out[i].message;
      LPARAM lParam = out[i].lParam;
      Route route = Route::None;
      if (m == WM_MOUSEMOVE || (m >= WM_LBUTTONDOWN && m <= WM_MBUTTONDBLCLK)) {
        const int x = static_cast<int16_t>(LOWORD(lParam)), y = static_cast<int16_t>(HIWORD(lParam));
        // A presented window shows its frame too: its positions are the
        // window's, the messages' the client area's.
        const POINT nc = presenter && w ? POINT{w->nc.left, w->nc.top} : POINT{0, 0};
        if (w) g_cursor = {w->x + x, w->y + y};
        lParam = MAKELPARAM(static_cast<uint16_t>(x - nc.x), static_cast<uint16_t>(y - nc.y));
        route = Route::Mouse;
      } else if (m == WM_KEYDOWN || m == WM_KEYUP || m == WM_CHAR) {
        route = Route::Key;
      }
      Enqueue(hwnd, m, out[i].wParam, lParam, std::nullopt, false, m == WM_KEYDOWN && g_sdlInput.shift);
      std::lock_guard lock(g_queueMutex);
      g_queue.back().route = route;
    }
  }
  TakePendingFocusLoss();
}

bool g_scriptedInputRead = false;

// Timed input for a child process of a test (input.<program> in the shared
// settings), into the program's first top-level window. The file is a
// test's: a line it cannot read is named and skipped.
void ScheduleScriptedInput() {
  if (g_scriptedInputRead) return;
  g_scriptedInputRead = true;
  const std::string key = "input." + platform::testing::ProgramName();
  const std::optional<std::string> file = platform::testing::GetSetting(key);
  if (!file || file->empty()) return;
  FILE* in = std::fopen(file->c_str(), "r");
  if (!in) {
    std::fprintf(stderr, "%s: cannot read %s\n", key.c_str(), file->c_str());
    return;
  }
  const DWORD made = timeGetTime();
  namespace pt = platform::testing;
  char line[256];
  for (int number = 1; std::fgets(line, sizeof line, in); ++number) {
    unsigned long ms = 0;
    char verb[16] = {}, arg[16] = {};
    int x = 0, y = 0, used = 0;
    const int n = std::sscanf(line, "%lu %15s%n", &ms, verb, &used);
    if (n < 2 || ms > 86400000ul) {
      if (line[strspn(line, " \t\r\n")] != 0) std::fprintf(stderr, "%s: line %d unreadable\n", key.c_str(), number);
      continue;
    }
    const char* rest = line + used;
    const pt::Due due = made + static_cast<DWORD>(ms);
    const std::string v = verb;
    bool ok = true;
    auto virtualKey = [&](WPARAM* vk) {
      long code = 0;
      ok = std::sscanf(rest, "%li", &code) == 1 && code > 0 && code < 256;
      *vk = static_cast<WPARAM>(code);
      return ok;
    };
    WPARAM vk = 0;
    if (v == "move" && std::sscanf(rest, "%d %d", &x, &y) == 2) {
      pt::InjectMouseMove(x, y, 0, due);
    } else if ((v == "click" || v == "dblclick") && std::sscanf(rest, "%15s %d %d", arg, &x, &y) == 3 &&
               std::string(arg) == "left") {
      (v == "click" ? pt::InjectClick : pt::InjectDoubleClick)(pt::Button::Left, x, y, due);
    } else if (v == "key" && virtualKey(&vk)) {
      pt::InjectKey(vk, due);
    } else if (v == "keydown" && virtualKey(&vk)) {
      pt::InjectKeyDown(vk, due);
    } else if (v == "keyup" && virtualKey(&vk)) {
      pt::InjectKeyUp(vk, due);
    } else if (v == "char" && std::sscanf(rest, " %c", &arg[0]) == 1) {
      pt::InjectChar(static_cast<unsigned char>(arg[0]), due);
    } else if (v == "close") {
      pt::InjectMessage(WM_CLOSE, 0, 0, due);
    } else {
      ok = false;
    }
    if (!ok) std::fprintf(stderr, "%s: line %d unreadable\n", key.c_str(), number);
  }
  std::fclose(in);
}

}  // namespace

// ---- Classes and windows ---------------------------------------------------

ATOM RegisterClassA(const WNDCLASSA* wc) {
  if (!wc || !wc->lpszClassName || IS_INTRESOURCE(wc->lpszClassName) || !wc->lpfnWndProc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (FindClass(wc->lpszClassName)) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  g_classes.push_back({wc->lpszClassName, wc->style, wc->lpfnWndProc, wc->hInstance});
  return static_cast<ATOM>(0xC000 + g_classes.size());
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
  if (!className || IS_INTRESOURCE(className)) return FALSE;
  auto it = std::find_if(g_classes.begin(), g_classes.end(), [&](const WindowClass& c) {
    return platform::detail::EqualsNoCase(c.name, className);
  });
  if (it == g_classes.end()) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return FALSE;
  }
  g_classes.erase(it);
  return TRUE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
  if (g_failCreate.load()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  WindowClass* cls = className && !IS_INTRESOURCE(className) ? FindClass(className) : nullptr;
  if (!cls) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  if (x == CW_USEDEFAULT) x = y = 0;
  if (width == CW_USEDEFAULT) width = 640, height = 480;
  Window w;
  w.className = cls->name;
  w.title = windowName ? windowName : "";
  w.proc = cls->proc;
  w.classStyle = cls->style;
  w.style = style & ~WS_VISIBLE;
  w.exStyle = exStyle;
  w.x = x, w.y = y, w.width = std::max(width, 0), w.height = std::max(height, 0);
  const bool child = (style & WS_CHILD) != 0;
  if (child) {
    if (!Find(parent)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    w.parent = parent;
    w.id = reinterpret_cast<LONG_PTR>(menu);
  }
  ResizeSurface(w);
  HWND hwnd = Handle(g_nextWindow);
  g_nextWindow += 2;
  g_windows.emplace(Id(hwnd), std::move(w));
  // A new child goes below its siblings (creation order is tab order); a new
  // top-level window goes on top.
  if (child) {
    Find(parent)->children.push_back(hwnd);
  } else {
    g_topOrder.insert(g_topOrder.begin(), hwnd);
  }

  CREATESTRUCTA cs{param, instance, menu, parent, height, width, y, x, static_cast<LONG>(style),
                   windowName, className, exStyle};
  if (!Send(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
    Send(hwnd, WM_NCDESTROY, 0, 0);
    Unlink(hwnd);
    g_windows.erase(Id(hwnd));
    return nullptr;
  }
  if (!child) CalcFrame(hwnd, false);
  if (Send(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  if (!Find(hwnd)) return nullptr;  // destroyed by its own procedure
  if (!child) {
    g_lastCreated = hwnd;
    const Window& made = *Find(hwnd);
    platform::sdl::OnCreate(hwnd, made.title.empty() ? made.className : made.title, x, y, width, height);
    ScheduleScriptedInput();
  }
  if (Window* made = Find(hwnd)) {
    Send(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(ClientWidth(*made), ClientHeight(*made)));
  }
  Send(hwnd, WM_MOVE, 0, MAKELPARAM(x, y));
  if (child && (style & WS_VISIBLE) && Find(hwnd)) {
    ShowChild(hwnd, true);
  } else if ((style & WS_VISIBLE) && Find(hwnd)) {
    Find(hwnd)->style |= WS_VISIBLE;
    Find(hwnd)->visible = true;
    Find(hwnd)->ncDirty = true;
    InvalidateTree(hwnd, true);
    platform::sdl::OnShow(hwnd, true, false);
    Send(hwnd, WM_SHOWWINDOW, TRUE, 0);
    if (Find(hwnd)) Activate(hwnd);
  }
  return Find(hwnd) ? hwnd : nullptr;
}

BOOL ShowWindow(HWND hwnd, int cmd) {
  const bool quiet = std::exchange(g_quietShow, false);
  Window* w = FindOrFail(hwnd);
  if (!w) return FALSE;
  BOOL wasVisible = w->visible ? TRUE : FALSE;
  if (w->parent) {
    w->lastShow = cmd;
    ShowChild(hwnd, cmd != SW_HIDE);
    return wasVisible;
  }
  w->lastShow = cmd;
  auto show = [&](bool visible) {
    if (Find(hwnd) && Find(hwnd)->visible != visible) {
      Find(hwnd)->visible = visible;
      if (visible) {
        Find(hwnd)->style |= WS_VISIBLE;
        Find(hwnd)->ncDirty = true;
        InvalidateTree(hwnd, true);
      } else {
        Find(hwnd)->style &= ~WS_VISIBLE;
      }
      if (!quiet) Send(hwnd, WM_SHOWWINDOW, visible ? TRUE : FALSE, 0);
    }
  };
  struct Follow {  // the real window follows whatever the call leaves
    HWND hwnd;
    ~Follow() {
      if (Window* w = Find(hwnd)) platform::sdl::OnShow(hwnd, w->visible, w->minimised);
    }
  } follow{hwnd};
  switch (cmd) {
    case SW_HIDE:
      show(false);
      Deactivate(hwnd);
      break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE:
      show(true);
      if (Find(hwnd) && !Find(hwnd)->minimised) {
        Find(hwnd)->minimised = true;
        Find(hwnd)->style |= WS_MINIMIZE;
        Send(hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
      }
      // Minimising hands activation to another application's window.
      if (cmd == SW_SHOWMINIMIZED) {
        if (Find(hwnd)) Activate(hwnd);
      } else {
        Deactivate(hwnd);
      }
      break;
    default: {
      show(true);
      if (Find(hwnd) && Find(hwnd)->minimised) {
        Window* r = Find(hwnd);
        r->minimised = false;
        r->style &= ~WS_MINIMIZE;
        r->ncDirty = true;
        Send(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(ClientWidth(*r), ClientHeight(*r)));
      }
      if (cmd != SW_SHOWNA && cmd != SW_SHOWNOACTIVATE) {
        if (Find(hwnd)) Activate(hwnd);
      } else if (Window* shown = Find(hwnd); shown && !wasVisible && g_active != hwnd) {
        shown->shownInactive = true;
      }
      break;
    }
  }
  return wasVisible;
}

BOOL UpdateWindow(HWND hwnd) {
  if (!FindOrFail(hwnd)) return FALSE;
  // The window, then its children that need it, parents first.
  while (HWND next = FirstToPaint(hwnd)) PaintNow(next);
  return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
  Window* w = FindOrFail(hwnd);
  if (!w) return FALSE;
  bool moved = w->x != x || w->y != y;
  bool sized = w->width != width || w->height != height;
  w->x = x, w->y = y, w->width = std::max(width, 0), w->height = std::max(height, 0);
  if (sized) ResizeSurface(*w);
  if (sized && !w->parent) {
    w->ncDirty = true;
    CalcFrame(hwnd, true);
    w = Find(hwnd);
    if (!w) return TRUE;
  }
  if (repaint || sized) {
    // A child leaves its old place to its parent.
    InvalidateTree(w->parent && (moved || sized) ? w->parent : hwnd, true);
  }
  if ((moved || sized) && !w->parent) platform::sdl::OnMove(hwnd, x, y, width, height);
  if (moved) Send(hwnd, WM_MOVE, 0, MAKELPARAM(x, y));
  if (sized && Find(hwnd)) {
    const Window& now = *Find(hwnd);
    Send(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(ClientWidth(now), ClientHeight(now)));
  }
  return TRUE;
}

BOOL DestroyWindow(HWND hwnd) {
  Window* w = FindOrFail(hwnd);
  if (!w) return FALSE;
  if (w->destroying) return TRUE;
  w->destroying = true;
  if (w->visible) {
    w->visible = false;
    Send(hwnd, WM_SHOWWINDOW, FALSE, 0);
  }
  if (w->parent) InvalidateTree(w->parent, true);
  Deactivate(hwnd);
  if (g_capture && IsDescendant(g_capture, hwnd)) ReleaseCapture();
  if (g_focus && IsDescendant(g_focus, hwnd)) g_focus = nullptr;
  std::erase_if(g_timers, [&](const Timer& t) { return t.hwnd == hwnd; });
  Send(hwnd, WM_DESTROY, 0, 0);
  // Children go after their parent's WM_DESTROY and before its WM_NCDESTROY.
  if (Window* again = Find(hwnd)) {
    std::vector<HWND> children = again->children;
    for (HWND c : children) DestroyWindow(c);
  }
  Send(hwnd, WM_NCDESTROY, 0, 0);
  Unlink(hwnd);
  if (Window* gone = Find(hwnd); gone && gone->region) DeleteObject(gone->region);
  platform::sdl::OnDestroy(hwnd);
  g_windows.erase(Id(hwnd));
  if (g_lastCreated == hwnd) g_lastCreated = nullptr;
  std::lock_guard lock(g_queueMutex);
  std::erase_if(g_queue, [&](const QueuedMessage& q) { return q.msg.hwnd == hwnd; });
  return TRUE;
}

BOOL IsWindow(HWND hwnd) { return Find(hwnd) ? TRUE : FALSE; }

BOOL IsWindowVisible(HWND hwnd) { return Shown(hwnd) ? TRUE : FALSE; }

BOOL IsIconic(HWND hwnd) {
  Window* w = Find(hwnd);
  return w && w->minimised ? TRUE : FALSE;
}

BOOL GetClientRect(HWND hwnd, LPRECT rect) {
  Window* w = FindOrFail(hwnd);
  if (!w || !rect) return FALSE;
  *rect = {0, 0, w->minimised ? 0 : ClientWidth(*w), w->minimised ? 0 : ClientHeight(*w)};
  return TRUE;
}

BOOL GetWindowRect(HWND hwnd, LPRECT rect) {
  Window* w = FindOrFail(hwnd);
  if (!w || !rect) return FALSE;
  POINT o = ScreenOrigin(hwnd);
  if (!w->parent) o = {w->x, w->y};  // a top-level window's frame included
  *rect = {o.x, o.y, o.x + w->width, o.y + w->height};
  return TRUE;
}

HWND GetActiveWindow() { return g_active; }

HWND SetActiveWindow(HWND hwnd) {
  HWND previous = g_active;
  Window* w = FindOrFail(hwnd);
  if (!w || w->parent || !w->visible) return nullptr;
  Activate(hwnd);
  return previous;
}
HWND GetForegroundWindow() { return g_active; }
HWND GetFocus() { return g_focus; }

HWND SetFocus(HWND hwnd) {
  if (hwnd && !FindOrFail(hwnd)) return nullptr;
  // Focusing a window of another top-level window activates that one.
  if (hwnd && Root(hwnd) != g_active && Find(hwnd)->parent) {
    Activate(Root(hwnd));
    if (!Find(hwnd)) return nullptr;
  }
  HWND previous = g_focus;
  if (previous == hwnd) return previous;
  g_focus = hwnd;
  if (previous) Send(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
  if (hwnd) Send(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
  return previous;
}

HWND SetCapture(HWND hwnd) {
  if (!Find(hwnd)) return g_capture;
  HWND previous = g_capture;
  g_capture = hwnd;
  if (previous && previous != hwnd) {
    Send(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
  }
  return previous;
}

BOOL ReleaseCapture() {
  HWND previous = g_capture;
  g_capture = nullptr;
  if (previous) Send(previous, WM_CAPTURECHANGED, 0, 0);
  return TRUE;
}

HWND GetCapture() { return g_capture; }

int ShowCursor(BOOL show) {
  int counter = show ? ++g_cursorCount : --g_cursorCount;
  platform::sdl::OnCursorCounter(counter);
  return counter;
}

namespace {
HCURSOR g_cursorShape = nullptr;
}

HCURSOR SetCursor(HCURSOR cursor) {
  HCURSOR previous = g_cursorShape;
  g_cursorShape = cursor;
  return previous;
}

HCURSOR GetCursor() { return g_cursorShape; }

BOOL GetCursorPos(LPPOINT point) {
  if (!point) return FALSE;
  *point = g_cursor;
  return TRUE;
}

// No resources are loaded headless: a handle stands for the resource named.
HICON LoadIconA(HINSTANCE, LPCSTR name) {
  if (!name) return nullptr;
  uintptr_t id = IS_INTRESOURCE(name) ? reinterpret_cast<uintptr_t>(name) : 0xFFFF;
  return reinterpret_cast<HICON>(0x200000 + id);
}

HCURSOR LoadCursorA(HINSTANCE, LPCSTR name) {
  if (!name) return nullptr;
  uintptr_t id = IS_INTRESOURCE(name) ? reinterpret_cast<uintptr_t>(name) : 0xFFFF;
  return reinterpret_cast<HCURSOR>(0x300000 + id);
}

HGDIOBJ GetStockObject(int object) {
  if (object < 0 || object > 19) return nullptr;
  return reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(0x400000 + object));
}

// ---- Messages ------------------------------------------------------------------

BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg) {
  if (!msg) return FALSE;
  PumpSdlEvents();
  DWORD now = timeGetTime();
  while (DeliverOneSent(now)) {
  }
  {
    std::lock_guard lock(g_queueMutex);
    for (auto it = g_queue.begin(); it != g_queue.end(); ++it) {
      if (it->sent || !IsDue(*it, now)) continue;
      MSG m = it->msg;
      RouteInput(m, it->route);
      if (!Matches(m, hwnd, filterMin, filterMax)) continue;
      *msg = m;
      if (removeMsg & PM_REMOVE) {
        TakeKeyState(m);
        g_messagePos = m.pt;
        g_peekedShifted = it->shifted;
        g_queue.erase(it);
      }
      return TRUE;
    }
    bool threadMessages = hwnd == nullptr || hwnd == reinterpret_cast<HWND>(static_cast<intptr_t>(-1));
    bool quitInRange = (filterMin == 0 && filterMax == 0) || (WM_QUIT >= filterMin && WM_QUIT <= filterMax);
    if (g_quitPosted && threadMessages && quitInRange) {
      *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(g_quitCode), 0, now, g_cursor};
      if (removeMsg & PM_REMOVE) g_quitPosted = false;
      return TRUE;
    }
  }
  // Paint and timer messages are made when asked for, after everything posted.
  auto inRange = [&](UINT m) { return (filterMin == 0 && filterMax == 0) || (m >= filterMin && m <= filterMax); };
  if (inRange(WM_PAINT)) {
    HWND paint = NextToPaint();
    if (paint && (!hwnd || hwnd == paint)) {
      *msg = MSG{paint, WM_PAINT, 0, 0, now, g_cursor};
      return TRUE;
    }
  }
  if (inRange(WM_TIMER) && TakeTimer(now, hwnd, msg, (removeMsg & PM_REMOVE) != 0)) return TRUE;
  platform::detail::IdleOnTestClock();
  return FALSE;
}

BOOL TranslateMessage(const MSG* msg) {
  if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) return FALSE;
  WPARAM vk = msg->wParam;
  WPARAM ch = 0;
  if (vk >= 'A' && vk <= 'Z') {
    ch = g_peekedShifted ? vk : vk - 'A' + 'a';
  } else if ((vk >= '0' && vk <= '9') || vk == VK_SPACE || vk == VK_RETURN || vk == VK_BACK ||
             vk == VK_TAB || vk == VK_ESCAPE) {
    ch = vk;
  }
  if (ch == 0) return FALSE;
  UINT charMsg = msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
  // The character goes ahead of anything posted later.
  QueuedMessage q{};
  q.msg = *msg;
  q.msg.message = charMsg;
  q.msg.wParam = ch;
  q.sent = false;
  std::lock_guard lock(g_queueMutex);
  g_queue.push_front(q);
  return TRUE;
}

LRESULT DispatchMessageA(const MSG* msg) {
  if (msg && !msg->hwnd && msg->message == WM_TIMER && msg->lParam) {
    auto* proc = reinterpret_cast<TIMERPROC>(msg->lParam);
    bool known = std::any_of(g_timers.begin(), g_timers.end(),
                             [&](const Timer& t) { return t.proc == proc && !t.hwnd; });
    if (known) proc(nullptr, WM_TIMER, msg->wParam, timeGetTime());
    return 0;
  }
  if (!msg || !msg->hwnd) return 0;
  if (!FindOrFail(msg->hwnd)) return 0;
  if (msg->message == WM_PAINT) {
    PaintNow(msg->hwnd);
    return 0;
  }
  if (msg->message == WM_TIMER && msg->lParam) {
    // Only a timer this layer made carries a procedure.
    auto* proc = reinterpret_cast<TIMERPROC>(msg->lParam);
    bool known = std::any_of(g_timers.begin(), g_timers.end(),
                             [&](const Timer& t) { return t.proc == proc && t.hwnd == msg->hwnd; });
    if (known) {
      proc(msg->hwnd, WM_TIMER, msg->wParam, timeGetTime());
      return 0;
    }
  }
  return Send(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!FindOrFail(hwnd)) return 0;
  return Send(hwnd, msg, wParam, lParam);
}

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (hwnd && !FindOrFail(hwnd)) return FALSE;
  Enqueue(hwnd, msg, wParam, lParam, std::nullopt, false);
  return TRUE;
}

void PostQuitMessage(int exitCode) {
  std::lock_guard lock(g_queueMutex);
  g_quitPosted = true;
  g_quitCode = exitCode;
}

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM, LPARAM lParam) {
  switch (msg) {
    case WM_NCCREATE:
      return TRUE;
    case WM_NCHITTEST: {
      Window* w = Find(hwnd);
      if (!w) return HTNOWHERE;
      POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      RECT r;
      GetWindowRect(hwnd, &r);
      if (p.x < r.left || p.y < r.top || p.x >= r.right || p.y >= r.bottom) return HTNOWHERE;
      ScreenToClient(hwnd, &p);
      const bool inClient = p.x >= 0 && p.y >= 0 && p.x < ClientWidth(*w) && p.y < ClientHeight(*w);
      return inClient ? HTCLIENT : HTBORDER;
    }
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd, &ps);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return TRUE;
    default:
      return 0;
  }
}

// ---- Child windows, positions, painting, timers, key state ------------------------

HWND GetParent(HWND hwnd) {
  Window* w = FindOrFail(hwnd);
  return w ? w->parent : nullptr;
}

HWND GetWindow(HWND hwnd, UINT cmd) {
  Window* w = FindOrFail(hwnd);
  if (!w) return nullptr;
  if (cmd == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
  if (cmd == GW_OWNER) return nullptr;
  const std::vector<HWND>& order = w->parent ? Find(w->parent)->children : g_topOrder;
  auto it = std::find(order.begin(), order.end(), hwnd);
  switch (cmd) {
    case GW_HWNDFIRST: return order.front();
    case GW_HWNDLAST: return order.back();
    case GW_HWNDNEXT: return it + 1 < order.end() ? *(it + 1) : nullptr;
    case GW_HWNDPREV: return it != order.begin() ? *(it - 1) : nullptr;
    default: return nullptr;
  }
}

HWND WindowFromPoint(POINT point) {
  for (HWND h : g_topOrder) {
    Window* w = Find(h);
    if (!w || !w->visible || w->minimised || (w->style & WS_DISABLED) || !HitsTopLevel(*w, point.x, point.y)) continue;
    POINT local{point.x - w->x - w->nc.left, point.y - w->y - w->nc.top};
    // The frame belongs to the window itself.
    if (local.x < 0 || local.y < 0 || local.x >= ClientWidth(*w) || local.y >= ClientHeight(*w)) return h;
    return DeepestEnabledChild(h, &local);
  }
  return nullptr;
}

HWND ChildWindowFromPoint(HWND parent, POINT point) {
  Window* w = FindOrFail(parent);
  if (!w || point.x < 0 || point.y < 0 || point.x >= w->width || point.y >= w->height) return nullptr;
  for (HWND c : w->children) {
    if (Window* cw = Find(c); cw && Contains(*cw, point.x, point.y)) return c;
  }
  return parent;
}

BOOL ClientToScreen(HWND hwnd, LPPOINT point) {
  if (!FindOrFail(hwnd) || !point) return FALSE;
  POINT o = ScreenOrigin(hwnd);
  point->x += o.x;
  point->y += o.y;
  return TRUE;
}

BOOL ScreenToClient(HWND hwnd, LPPOINT point) {
  if (!FindOrFail(hwnd) || !point) return FALSE;
  POINT o = ScreenOrigin(hwnd);
  point->x -= o.x;
  point->y -= o.y;
  return TRUE;
}

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) {
  Window* w = FindOrFail(hwnd);
  if (!w) return 0;
  switch (index) {
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWL_STYLE: return static_cast<LONG_PTR>(w->style | (w->visible ? WS_VISIBLE : 0u));
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(w->exStyle);
    case GWLP_USERDATA: return w->userData;
    case GWLP_ID: return w->id;
    default: SetLastError(ERROR_INVALID_PARAMETER); return 0;
  }
}

LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
  Window* w = FindOrFail(hwnd);
  if (!w) return 0;
  LONG_PTR previous = GetWindowLongPtrA(hwnd, index);
  switch (index) {
    case GWLP_WNDPROC:
      if (!value) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
      }
      w->proc = reinterpret_cast<WNDPROC>(value);
      break;
    case GWL_STYLE: w->style = static_cast<DWORD>(value) & ~WS_VISIBLE; break;
    case GWL_EXSTYLE: w->exStyle = static_cast<DWORD>(value); break;
    case GWLP_USERDATA: w->userData = value; break;
    case GWLP_ID: w->id = value; break;
    default: return 0;
  }
  return previous;
}

LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!proc) return 0;
  if (g_delivered.size() < kDeliveredLimit) g_delivered.push_back({hwnd, msg, wParam, lParam});
  return proc(hwnd, msg, wParam, lParam);
}

// The whole window is invalidated whatever the rectangle: every paint here
// repaints a window completely.
BOOL InvalidateRect(HWND hwnd, const RECT*, BOOL erase) {
  if (!hwnd) {
    for (HWND h : g_topOrder) InvalidateTree(h, erase != FALSE);
    return TRUE;
  }
  if (!FindOrFail(hwnd)) return FALSE;
  InvalidateTree(hwnd, erase != FALSE);
  return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT*) {
  Window* w = FindOrFail(hwnd);
  if (!w) return FALSE;
  w->needsPaint = w->needsErase = false;
  return TRUE;
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  Window* w = FindOrFail(hwnd);
  if (!w) return FALSE;
  if (!(flags & SWP_NOZORDER)) {
    std::vector<HWND>& order = w->parent ? Find(w->parent)->children : g_topOrder;
    if (insertAfter == HWND_TOP || insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST) {
      BringToTop(hwnd);
    } else if (insertAfter == HWND_BOTTOM) {
      std::erase(order, hwnd);
      order.push_back(hwnd);
    } else if (insertAfter != hwnd && std::find(order.begin(), order.end(), insertAfter) != order.end()) {
      std::erase(order, hwnd);
      order.insert(std::find(order.begin(), order.end(), insertAfter) + 1, hwnd);
    }
    InvalidateTree(w->parent ? w->parent : hwnd, true);
  }
  int nx = flags & SWP_NOMOVE ? w->x : x, ny = flags & SWP_NOMOVE ? w->y : y;
  int nw = flags & SWP_NOSIZE ? w->width : cx, nh = flags & SWP_NOSIZE ? w->height : cy;
  if (nx != w->x || ny != w->y || nw != w->width || nh != w->height) {
    MoveWindow(hwnd, nx, ny, nw, nh, !(flags & SWP_NOREDRAW));
  }
  if (!Find(hwnd)) return TRUE;
  if (flags & SWP_FRAMECHANGED) {
    if (!w->parent) {
      Find(hwnd)->ncDirty = true;
      if (CalcFrame(hwnd, true) && Find(hwnd)) {
        const Window& now = *Find(hwnd);
        Send(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(ClientWidth(now), ClientHeight(now)));
      }
      if (!Find(hwnd)) return TRUE;
    }
    InvalidateTree(hwnd, true);
  }
  // Shown or hidden without WM_SHOWWINDOW, as Windows does.
  if (flags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW)) {
    g_quietShow = true;
    ShowWindow(hwnd, flags & SWP_HIDEWINDOW ? SW_HIDE : flags & SWP_NOACTIVATE ? SW_SHOWNA : SW_SHOW);
    g_quietShow = false;
  }
  if (Find(hwnd)) Send(hwnd, WM_WINDOWPOSCHANGED, 0, 0);
  return TRUE;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
  Window* w = FindOrFail(hwnd);
  if (!w) return FALSE;
  BOOL wasDisabled = (w->style & WS_DISABLED) ? TRUE : FALSE;
  if ((enable != FALSE) == !wasDisabled) return wasDisabled;
  if (enable) {
    w->style &= ~WS_DISABLED;
  } else {
    w->style |= WS_DISABLED;
    if (g_focus && IsDescendant(g_focus, hwnd)) SetFocus(nullptr);
    if (g_capture && IsDescendant(g_capture, hwnd)) ReleaseCapture();
  }
  Send(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
  return wasDisabled;
}

BOOL IsWindowEnabled(HWND hwnd) {
  Window* w = Find(hwnd);
  return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
  Window* w = FindOrFail(hwnd);
  if (!w) return FALSE;
  w->title = text ? text : "";
  return TRUE;
}

int GetWindowTextA(HWND hwnd, LPSTR text, int maxCount) {
  Window* w = FindOrFail(hwnd);
  if (!w || !text || maxCount <= 0) return 0;
  size_t n = std::min(w->title.size(), static_cast<size_t>(maxCount - 1));
  std::copy_n(w->title.data(), n, text);
  text[n] = 0;
  return static_cast<int>(n);
}

int SetWindowRgn(HWND hwnd, HRGN rgn, BOOL redraw) {
  Window* w = FindOrFail(hwnd);
  if (!w) return 0;
  if (w->region && w->region != rgn) DeleteObject(w->region);
  w->region = rgn;
  if (redraw) InvalidateTree(hwnd, true);
  return 1;
}

int GetWindowRgn(HWND hwnd, HRGN rgn) {
  Window* w = FindOrFail(hwnd);
  if (!w || !w->region) return RGN_ERROR;
  return CombineRgn(rgn, w->region, nullptr, RGN_COPY);
}

BOOL SetLayeredWindowAttributes(HWND hwnd, COLORREF, BYTE alpha, DWORD flags) {
  Window* w = FindOrFail(hwnd);
  if (!w || !(w->exStyle & WS_EX_LAYERED)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (flags & LWA_ALPHA) w->alpha = alpha;
  return TRUE;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  if (hwnd && !FindOrFail(hwnd)) return 0;
  elapse = std::max(elapse, USER_TIMER_MINIMUM);
  DWORD next = timeGetTime() + elapse;
  if (hwnd) {
    for (Timer& t : g_timers) {
      if (t.hwnd == hwnd && t.id == id) {
        t = {hwnd, id, elapse, proc, next};  // a timer set again starts over
        return id;
      }
    }
  } else {
    id = g_nextTimerId++;
  }
  g_timers.push_back({hwnd, id, elapse, proc, next});
  return hwnd ? (id ? id : 1) : id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  size_t removed = std::erase_if(g_timers, [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
  return removed ? TRUE : FALSE;
}

SHORT GetKeyState(int virtualKey) {
  BYTE s = g_keyState[virtualKey & 0xFF];
  if (virtualKey == VK_SHIFT || virtualKey == VK_CONTROL || virtualKey == VK_MENU) {
    // Either side's key counts.
    WPARAM left = virtualKey == VK_SHIFT ? VK_LSHIFT : virtualKey == VK_CONTROL ? VK_LCONTROL : VK_LMENU;
    s |= g_keyState[left] & 0x80;
    s |= g_keyState[left + 1] & 0x80;
  }
  return static_cast<SHORT>(((s & 0x80) ? 0x8000 : 0) | (s & 0x01));
}

DWORD GetMessagePos() {
  return MAKELONG(static_cast<uintptr_t>(g_messagePos.x), static_cast<uintptr_t>(g_messagePos.y));
}

BOOL WaitMessage() {
  for (;;) {
    // A real display's input arrives only by being taken from SDL.
    PumpSdlEvents();
    DWORD now = timeGetTime();
    std::optional<DWORD> next;
    auto consider = [&](DWORD due) {
      if (!next || static_cast<int32_t>(due - *next) < 0) next = due;
    };
    {
      std::lock_guard lock(g_queueMutex);
      if (g_quitPosted) return TRUE;
      for (const QueuedMessage& q : g_queue) consider(q.due ? *q.due : now);
    }
    if (NextToPaint()) return TRUE;
    for (const Timer& t : g_timers) consider(t.next);
    if (next && static_cast<int32_t>(now - *next) >= 0) return TRUE;
    if (platform::testing::ClockTaken()) {
      if (!next) {
        // Nothing could ever arrive: a test would hang here.
        std::fprintf(stderr, "WaitMessage: nothing is due and nothing waits under the test clock\n");
        std::abort();
      }
      platform::testing::AdvanceClock(*next - now);
      return TRUE;
    }
    Sleep(next ? std::min<DWORD>(*next - now, 10) : 10);
  }
}

namespace platform::detail {

bool WindowSurface(HWND hwnd, WindowSurfaceInfo* out) {
  Window* w = Find(hwnd);
  Window* root = Find(Root(hwnd));
  if (!w || !root) return false;
  out->bits = root->surface.empty() ? nullptr : root->surface.data();
  out->width = root->width;
  out->height = root->height;
  out->origin = OffsetInRoot(hwnd);
  // Client coordinates of the top-level window, moved past its frame at the end.
  RECT clip{out->origin.x, out->origin.y, out->origin.x + (w->parent ? w->width : ClientWidth(*w)),
            out->origin.y + (w->parent ? w->height : ClientHeight(*w))};
  for (HWND h = w->parent; h; h = Find(h)->parent) {
    POINT o = OffsetInRoot(h);
    Window* p = Find(h);
    clip.left = std::max<LONG>(clip.left, o.x);
    clip.top = std::max<LONG>(clip.top, o.y);
    clip.right = std::min<LONG>(clip.right, o.x + (p->parent ? p->width : ClientWidth(*p)));
    clip.bottom = std::min<LONG>(clip.bottom, o.y + (p->parent ? p->height : ClientHeight(*p)));
  }
  out->origin.x += root->nc.left;
  out->origin.y += root->nc.top;
  out->clip = RECT{clip.left + root->nc.left, clip.top + root->nc.top, clip.right + root->nc.left,
                   clip.bottom + root->nc.top};
  return true;
}

bool WindowFrameSurface(HWND hwnd, WindowSurfaceInfo* out) {
  Window* root = Find(Root(hwnd));
  if (!root) return false;
  out->bits = root->surface.empty() ? nullptr : root->surface.data();
  out->width = root->width;
  out->height = root->height;
  out->origin = POINT{0, 0};
  out->clip = RECT{0, 0, root->width, root->height};
  return true;
}

void Validate(HWND hwnd) {
  if (Window* w = Find(hwnd)) w->needsPaint = w->covered = false;
}

bool TakeErase(HWND hwnd) {
  Window* w = Find(hwnd);
  if (!w || !w->needsErase) return false;
  w->needsErase = false;
  return true;
}

std::vector<HWND> TopLevelWindowsBottomUp() { return {g_topOrder.rbegin(), g_topOrder.rend()}; }

bool TopLevelPicture(HWND hwnd, TopLevelPictureInfo* out) {
  Window* w = Find(hwnd);
  if (!w || w->parent) return false;
  out->x = w->x;
  out->y = w->y;
  out->width = w->width;
  out->height = w->height;
  out->visible = w->visible && !w->minimised;
  out->alpha = (w->exStyle & WS_EX_LAYERED) ? w->alpha : 255;
  out->pixels = w->surface.empty() ? nullptr : w->surface.data();
  out->region = w->region;
  return true;
}

}  // namespace platform::detail

namespace platform {

std::vector<HWND> TopLevelWindowsInZOrder() { return detail::TopLevelWindowsBottomUp(); }

bool GetTopLevelWindowInfo(HWND hwnd, TopLevelWindowInfo* out) {
  detail::TopLevelPictureInfo p;
  if (!out || !detail::TopLevelPicture(hwnd, &p)) return false;
  out->x = p.x;
  out->y = p.y;
  out->width = p.width;
  out->height = p.height;
  out->visible = p.visible;
  out->alpha = p.alpha;
  out->pixels = p.pixels;
  out->region = p.region;
  out->title = Find(hwnd)->title;
  out->activates = !Find(hwnd)->shownInactive;
  out->minimised = Find(hwnd)->visible && Find(hwnd)->minimised;
  out->taskbar = (Find(hwnd)->exStyle & WS_EX_APPWINDOW) != 0;
  return true;
}

bool RegionHolds(HRGN region, int x, int y) { return detail::RegionContains(region, x, y); }

bool PictureHalfPainted(HWND hwnd) { return FirstCovered(hwnd) != nullptr; }

}  // namespace platform

// ---- Test controls ---------------------------------------------------------------

namespace platform::testing {

namespace {

// The top-level window whose client coordinates injected positions are in.
HWND Target() {
  if (g_capture && Find(g_capture)) return Root(g_capture);
  if (g_active && Find(g_active)) return g_active;
  if (g_lastCreated && Find(g_lastCreated)) return g_lastCreated;
  return nullptr;
}

LPARAM Position(int x, int y) {
  HWND target = Target();
  if (Window* w = Find(target)) g_cursor = {w->x + w->nc.left + x, w->y + w->nc.top + y};
  g_lastInjected = {x, y};
  return MAKELPARAM(static_cast<uintptr_t>(x), static_cast<uintptr_t>(y));
}

struct ButtonMessages {
  UINT down, up, dblclk;
  WPARAM mask;
};

ButtonMessages MessagesOf(Button b) {
  switch (b) {
    case Button::Left:
      return {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, MK_LBUTTON};
    case Button::Right:
      return {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK, MK_RBUTTON};
    case Button::Middle:
      break;
  }
  return {WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MBUTTONDBLCLK, MK_MBUTTON};
}

void Post(UINT msg, WPARAM wParam, LPARAM lParam, Due due, bool sent = false) {
  Enqueue(Target(), msg, wParam, lParam, due, sent);
}

void PostInput(UINT msg, WPARAM wParam, LPARAM lParam, Due due, Route route) {
  Enqueue(Target(), msg, wParam, lParam, due, false);
  std::lock_guard lock(g_queueMutex);
  g_queue.back().route = route;
}

}  // namespace

void FailCreateWindow(bool fail) {
  g_failCreate.store(fail);
  SetSetting("fail_create_window", fail ? "1" : "");
}

void InjectMouseMove(int x, int y, WPARAM keys, Due due) {
  PostInput(WM_MOUSEMOVE, keys | g_heldButtons, Position(x, y), due, Route::Mouse);
}

// A button pressed somewhere else than the last position: the mouse moved
// there first, and Windows says so before the button message.
void MoveFirst(int x, int y, Due due) {
  if (g_lastInjected.x != x || g_lastInjected.y != y) InjectMouseMove(x, y, 0, due);
}

void InjectButtonDown(Button button, int x, int y, Due due) {
  MoveFirst(x, y, due);
  ButtonMessages m = MessagesOf(button);
  g_heldButtons |= m.mask;
  PostInput(m.down, g_heldButtons, Position(x, y), due, Route::Mouse);
}

void InjectButtonUp(Button button, int x, int y, Due due) {
  MoveFirst(x, y, due);
  ButtonMessages m = MessagesOf(button);
  g_heldButtons &= ~m.mask;
  PostInput(m.up, g_heldButtons, Position(x, y), due, Route::Mouse);
}

void InjectClick(Button button, int x, int y, Due due) {
  InjectButtonDown(button, x, y, due);
  InjectButtonUp(button, x, y, due);
}

void InjectDoubleClick(Button button, int x, int y, Due due) {
  InjectClick(button, x, y, due);
  Window* w = Find(Target());
  if (w && (w->classStyle & CS_DBLCLKS)) {
    ButtonMessages m = MessagesOf(button);
    g_heldButtons |= m.mask;
    PostInput(m.dblclk, g_heldButtons, Position(x, y), due, Route::Mouse);
    InjectButtonUp(button, x, y, due);
  } else {
    InjectClick(button, x, y, due);
  }
}

// Alt held (and Ctrl not) makes a key a system key, as does Alt itself.
bool SystemKey(WPARAM virtualKey) {
  bool alt = g_injectedDown[VK_MENU] || virtualKey == VK_MENU;
  return alt && !g_injectedDown[VK_CONTROL];
}

void InjectKeyDown(WPARAM virtualKey, Due due) {
  bool sys = SystemKey(virtualKey);
  g_injectedDown[virtualKey & 0xFF] = true;
  // Bit 29: Alt is down.
  LPARAM lp = g_injectedDown[VK_MENU] ? 0x20000001 : 1;
  PostInput(sys ? WM_SYSKEYDOWN : WM_KEYDOWN, virtualKey, lp, due, Route::Key);
}

void InjectKeyUp(WPARAM virtualKey, Due due) {
  bool sys = SystemKey(virtualKey);
  g_injectedDown[virtualKey & 0xFF] = false;
  // Repeat count 1, previous state down, transition up.
  uint32_t lp = 0xC0000001u | (sys ? 0x20000000u : 0u);
  PostInput(sys ? WM_SYSKEYUP : WM_KEYUP, virtualKey, static_cast<LPARAM>(static_cast<int32_t>(lp)), due, Route::Key);
}

void InjectKey(WPARAM virtualKey, Due due) {
  InjectKeyDown(virtualKey, due);
  InjectKeyUp(virtualKey, due);
}

void InjectChar(WPARAM character, Due due) { PostInput(WM_CHAR, character, 1, due, Route::Key); }

void InjectActivate(bool active, Due due) { Post(WM_ACTIVATEAPP, active ? TRUE : FALSE, 0, due, true); }

void InjectMessage(UINT message, WPARAM wParam, LPARAM lParam, Due due) {
  Post(message, wParam, lParam, due);
}

HWND TargetWindow() { return Target(); }

WindowState GetWindowState(HWND hwnd) {
  WindowState s;
  Window* w = Find(hwnd);
  if (!w) return s;
  s.exists = true;
  s.visible = w->visible;
  s.minimised = w->minimised;
  s.active = g_active == hwnd;
  s.lastShowCommand = w->lastShow;
  s.x = w->x, s.y = w->y, s.width = w->width, s.height = w->height;
  s.style = w->style;
  s.className = w->className;
  s.title = w->title;
  return s;
}

HWND CaptureWindow() { return g_capture; }
int CursorCounter() { return g_cursorCount; }

bool QuitPosted() {
  std::lock_guard lock(g_queueMutex);
  return g_quitPosted;
}

int QuitCode() {
  std::lock_guard lock(g_queueMutex);
  return g_quitCode;
}

size_t PendingMessages() {
  std::lock_guard lock(g_queueMutex);
  return g_queue.size();
}

std::vector<DeliveredMessage> DeliveredMessages() { return g_delivered; }
void ClearDeliveredMessages() { g_delivered.clear(); }

}  // namespace platform::testing

namespace platform::detail {

void ResetWindows() {
  for (auto& [id, w] : g_windows) {
    if (w.region) DeleteObject(w.region);
  }
  ResetClipboard();
  g_windows.clear();
  g_classes.clear();
  g_capture = g_active = g_focus = g_lastCreated = nullptr;
  g_appActive = false;
  g_cursorCount = 0;
  g_cursor = {0, 0};
  g_cursorShape = nullptr;
  g_scriptedInputRead = false;
  g_heldButtons = 0;
  g_lastInjected = {0, 0};
  g_sdlInput = {};
  g_peekedShifted = false;
  g_failCreate.store(false);
  g_delivered.clear();
  g_topOrder.clear();
  g_timers.clear();
  g_nextTimerId = 1;
  g_messagePos = {0, 0};
  std::fill(std::begin(g_keyState), std::end(g_keyState), BYTE{0});
  std::fill(std::begin(g_injectedDown), std::end(g_injectedDown), false);
  std::lock_guard lock(g_queueMutex);
  g_queue.clear();
  g_quitPosted = false;
  g_quitCode = 0;
}

void ApplyWindowSetting(const std::string& value) { g_failCreate.store(value == "1"); }

}  // namespace platform::detail

namespace platform::detail {

// The frame becomes the top-level window's picture (the part that fits).
void KeepPresentedFrame(HWND hwnd, const uint8_t* pixels, int width, int height, int pitch) {
  Window* w = Find(Root(hwnd));
  if (!w || !pixels || w->surface.empty()) return;
  int rows = std::min(height, w->height), cols = std::min(width, w->width);
  for (int y = 0; y < rows; ++y) {
    const auto* src = pixels + static_cast<size_t>(y) * static_cast<size_t>(pitch);
    uint32_t* dst = w->surface.data() + static_cast<size_t>(y) * static_cast<size_t>(w->width);
    // A8R8G8B8 in memory is B, G, R, A: the little-endian word without its alpha,
    // taken whole so the copy is widened.
    for (int x = 0; x < cols; ++x) {
      uint32_t pixel;
      std::memcpy(&pixel, src + static_cast<size_t>(x) * 4, 4);
      dst[x] = pixel & 0x00FFFFFFu;
    }
  }
}

}  // namespace platform::detail
