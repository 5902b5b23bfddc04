// Headless windows: each window is a record; showing, moving, capturing,
// activating and the cursor counter change its state and send the messages
// Windows sends, synchronously, to the window procedure. With a display a
// top-level window also has an SDL window (sdl_window.h), whose events come
// back here as messages (sdl_input.h).
#include <SDL2/SDL.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/internal.h"
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
  int lastShow = -1;
};

struct QueuedMessage {
  MSG msg;
  std::optional<uint32_t> due;
  bool sent;  // delivered to the procedure inside PeekMessageA, never returned
  bool shifted = false;  // a key pressed with shift held (its character is upper case)
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
int g_cursorCount = 0;
POINT g_cursor{0, 0};
WPARAM g_heldButtons = 0;
POINT g_lastInjected{0, 0};  // client position of the last injected mouse event
std::atomic<bool> g_failCreate{false};

platform::sdl::InputState g_sdlInput;
bool g_peekedShifted = false;  // of the key message PeekMessageA returned last

std::mutex g_queueMutex;  // PostMessageA may come from any thread
std::deque<QueuedMessage> g_queue;
bool g_quitPosted = false;
int g_quitCode = 0;

constexpr size_t kDeliveredLimit = 100000;
std::vector<platform::testing::DeliveredMessage> g_delivered;

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
  Send(hwnd, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(previous));
  SetFocus(hwnd);
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

// What the window manager did to a real window, as Windows would report it.
void OnSdlWindowEvent(HWND hwnd, const SDL_WindowEvent& e) {
  Window* w = Find(hwnd);
  if (!w) return;
  switch (e.event) {
    case SDL_WINDOWEVENT_CLOSE:
      Enqueue(hwnd, WM_CLOSE, 0, 0, std::nullopt, false);
      break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
    case SDL_WINDOWEVENT_FOCUS_LOST:
      ActivateFromOutside(hwnd, e.event == SDL_WINDOWEVENT_FOCUS_GAINED);
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
      if (out[i].message == WM_MOUSEMOVE || (out[i].message >= WM_LBUTTONDOWN && out[i].message <= WM_MBUTTONDBLCLK)) {
        if (w) g_cursor = {w->x + static_cast<int16_t>(LOWORD(out[i].lParam)), w->y + static_cast<int16_t>(HIWORD(out[i].lParam))};
      }
      Enqueue(hwnd, out[i].message, out[i].wParam, out[i].lParam, std::nullopt, false,
              out[i].message == WM_KEYDOWN && g_sdlInput.shift);
    }
  }
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
  HWND hwnd = Handle(g_nextWindow);
  g_nextWindow += 2;
  g_windows.emplace(Id(hwnd), std::move(w));

  CREATESTRUCTA cs{param, instance, menu, parent, height, width, y, x, static_cast<LONG>(style),
                   windowName, className, exStyle};
  if (!Send(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
    Send(hwnd, WM_NCDESTROY, 0, 0);
    g_windows.erase(Id(hwnd));
    return nullptr;
  }
  if (Send(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  if (!Find(hwnd)) return nullptr;  // destroyed by its own procedure
  g_lastCreated = hwnd;
  if (!parent && !(style & WS_CHILD)) {
    const Window& made = *Find(hwnd);
    platform::sdl::OnCreate(hwnd, made.title.empty() ? made.className : made.title, x, y, width, height);
  }
  Send(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
  Send(hwnd, WM_MOVE, 0, MAKELPARAM(x, y));
  if ((style & WS_VISIBLE) && Find(hwnd)) {
    Find(hwnd)->style |= WS_VISIBLE;
    Find(hwnd)->visible = true;
    Find(hwnd)->needsPaint = true;
    platform::sdl::OnShow(hwnd, true, false);
    Send(hwnd, WM_SHOWWINDOW, TRUE, 0);
    if (Find(hwnd)) Activate(hwnd);
  }
  return Find(hwnd) ? hwnd : nullptr;
}

BOOL ShowWindow(HWND hwnd, int cmd) {
  Window* w = FindOrFail(hwnd);
  if (!w) return FALSE;
  BOOL wasVisible = w->visible ? TRUE : FALSE;
  w->lastShow = cmd;
  auto show = [&](bool visible) {
    if (Find(hwnd) && Find(hwnd)->visible != visible) {
      Find(hwnd)->visible = visible;
      if (visible) {
        Find(hwnd)->style |= WS_VISIBLE;
        Find(hwnd)->needsPaint = true;
      } else {
        Find(hwnd)->style &= ~WS_VISIBLE;
      }
      Send(hwnd, WM_SHOWWINDOW, visible ? TRUE : FALSE, 0);
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
        Send(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(r->width, r->height));
      }
      if (cmd != SW_SHOWNA && cmd != SW_SHOWNOACTIVATE && Find(hwnd)) Activate(hwnd);
      break;
    }
  }
  return wasVisible;
}

BOOL UpdateWindow(HWND hwnd) {
  Window* w = FindOrFail(hwnd);
  if (!w) return FALSE;
  if (w->visible && w->needsPaint) {
    w->needsPaint = false;
    Send(hwnd, WM_PAINT, 0, 0);
  }
  return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
  Window* w = FindOrFail(hwnd);
  if (!w) return FALSE;
  bool moved = w->x != x || w->y != y;
  bool sized = w->width != width || w->height != height;
  w->x = x, w->y = y, w->width = std::max(width, 0), w->height = std::max(height, 0);
  if (repaint) w->needsPaint = true;
  if (moved || sized) platform::sdl::OnMove(hwnd, x, y, width, height);
  if (moved) Send(hwnd, WM_MOVE, 0, MAKELPARAM(x, y));
  if (sized && Find(hwnd)) {
    Send(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(std::max(width, 0), std::max(height, 0)));
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
  Deactivate(hwnd);
  if (g_capture == hwnd) ReleaseCapture();
  if (g_focus == hwnd) g_focus = nullptr;
  Send(hwnd, WM_DESTROY, 0, 0);
  Send(hwnd, WM_NCDESTROY, 0, 0);
  platform::sdl::OnDestroy(hwnd);
  g_windows.erase(Id(hwnd));
  if (g_lastCreated == hwnd) g_lastCreated = nullptr;
  std::lock_guard lock(g_queueMutex);
  std::erase_if(g_queue, [&](const QueuedMessage& q) { return q.msg.hwnd == hwnd; });
  return TRUE;
}

BOOL IsWindow(HWND hwnd) { return Find(hwnd) ? TRUE : FALSE; }

BOOL IsWindowVisible(HWND hwnd) {
  Window* w = Find(hwnd);
  return w && w->visible ? TRUE : FALSE;
}

BOOL IsIconic(HWND hwnd) {
  Window* w = Find(hwnd);
  return w && w->minimised ? TRUE : FALSE;
}

BOOL GetClientRect(HWND hwnd, LPRECT rect) {
  Window* w = FindOrFail(hwnd);
  if (!w || !rect) return FALSE;
  *rect = {0, 0, w->minimised ? 0 : w->width, w->minimised ? 0 : w->height};
  return TRUE;
}

BOOL GetWindowRect(HWND hwnd, LPRECT rect) {
  Window* w = FindOrFail(hwnd);
  if (!w || !rect) return FALSE;
  *rect = {w->x, w->y, w->x + w->width, w->y + w->height};
  return TRUE;
}

HWND GetActiveWindow() { return g_active; }
HWND GetForegroundWindow() { return g_active; }
HWND GetFocus() { return g_focus; }

HWND SetFocus(HWND hwnd) {
  if (hwnd && !FindOrFail(hwnd)) return nullptr;
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

HCURSOR SetCursor(HCURSOR cursor) {
  static HCURSOR current = nullptr;
  HCURSOR previous = current;
  current = cursor;
  return previous;
}

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
  std::lock_guard lock(g_queueMutex);
  for (auto it = g_queue.begin(); it != g_queue.end(); ++it) {
    if (it->sent || !IsDue(*it, now) || !Matches(it->msg, hwnd, filterMin, filterMax)) continue;
    *msg = it->msg;
    g_peekedShifted = it->shifted;
    if (removeMsg & PM_REMOVE) g_queue.erase(it);
    return TRUE;
  }
  bool threadMessages = hwnd == nullptr || hwnd == reinterpret_cast<HWND>(static_cast<intptr_t>(-1));
  bool quitInRange = (filterMin == 0 && filterMax == 0) || (WM_QUIT >= filterMin && WM_QUIT <= filterMax);
  if (g_quitPosted && threadMessages && quitInRange) {
    *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(g_quitCode), 0, now, g_cursor};
    if (removeMsg & PM_REMOVE) g_quitPosted = false;
    return TRUE;
  }
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
  if (!msg || !msg->hwnd) return 0;
  if (!FindOrFail(msg->hwnd)) return 0;
  if (msg->message == WM_PAINT) {
    if (Window* w = Find(msg->hwnd)) w->needsPaint = false;
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

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM, LPARAM) {
  switch (msg) {
    case WM_NCCREATE:
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_PAINT:
      if (Window* w = Find(hwnd)) w->needsPaint = false;
      return 0;
    case WM_ERASEBKGND:
      return TRUE;
    default:
      return 0;
  }
}

// ---- Test controls ---------------------------------------------------------------

namespace platform::testing {

namespace {

HWND Target() { return InputTarget(); }

LPARAM Position(int x, int y) {
  HWND target = Target();
  if (Window* w = Find(target)) g_cursor = {w->x + x, w->y + y};
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

}  // namespace

void FailCreateWindow(bool fail) {
  g_failCreate.store(fail);
  SetSetting("fail_create_window", fail ? "1" : "");
}

void InjectMouseMove(int x, int y, WPARAM keys, Due due) {
  Post(WM_MOUSEMOVE, keys | g_heldButtons, Position(x, y), due);
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
  Post(m.down, g_heldButtons, Position(x, y), due);
}

void InjectButtonUp(Button button, int x, int y, Due due) {
  MoveFirst(x, y, due);
  ButtonMessages m = MessagesOf(button);
  g_heldButtons &= ~m.mask;
  Post(m.up, g_heldButtons, Position(x, y), due);
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
    Post(m.dblclk, g_heldButtons, Position(x, y), due);
    InjectButtonUp(button, x, y, due);
  } else {
    InjectClick(button, x, y, due);
  }
}

void InjectKeyDown(WPARAM virtualKey, Due due) { Post(WM_KEYDOWN, virtualKey, 1, due); }

void InjectKeyUp(WPARAM virtualKey, Due due) {
  // Repeat count 1, previous state down, transition up.
  Post(WM_KEYUP, virtualKey, static_cast<LPARAM>(0xC0000001u), due);
}

void InjectKey(WPARAM virtualKey, Due due) {
  InjectKeyDown(virtualKey, due);
  InjectKeyUp(virtualKey, due);
}

void InjectChar(WPARAM character, Due due) { Post(WM_CHAR, character, 1, due); }

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
  g_windows.clear();
  g_classes.clear();
  g_capture = g_active = g_focus = g_lastCreated = nullptr;
  g_appActive = false;
  g_cursorCount = 0;
  g_cursor = {0, 0};
  g_heldButtons = 0;
  g_lastInjected = {0, 0};
  g_sdlInput = {};
  g_peekedShifted = false;
  g_failCreate.store(false);
  g_delivered.clear();
  std::lock_guard lock(g_queueMutex);
  g_queue.clear();
  g_quitPosted = false;
  g_quitCode = 0;
}

void ApplyWindowSetting(const std::string& value) { g_failCreate.store(value == "1"); }

}  // namespace platform::detail

