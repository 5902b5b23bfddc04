// Child windows, painting into the composed picture, timers, key state and
// the screen: what the launcher's framework builds on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/dc.h"
#include "platform/win32/presenter.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace pt = platform::testing;

namespace {

struct Seen {
  HWND hwnd;
  UINT msg;
  int x, y;
};
std::vector<Seen>* g_seen = nullptr;
// What each window fills its client area with when painted.
uint32_t ColourOf(HWND hwnd) { return static_cast<uint32_t>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)); }

void Fill(HDC dc, uint32_t colour) {
  platform::DcSurface s;
  ASSERT_TRUE(platform::GetDcSurface(dc, &s));
  for (int y = s.clip.top; y < s.clip.bottom; ++y) {
    for (int x = s.clip.left; x < s.clip.right; ++x) s.bits[y * s.width + x] = colour;
  }
}

LRESULT CALLBACK_Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (g_seen && msg != WM_NCCREATE) g_seen->push_back({hwnd, msg, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    Fill(dc, ColourOf(hwnd));
    EndPaint(hwnd, &ps);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

class WindowTreeTest : public pt::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    pt::TakeClock(1000);
    WNDCLASSA wc{};
    wc.lpfnWndProc = CALLBACK_Proc;
    wc.lpszClassName = "TreeTest";
    ASSERT_NE(RegisterClassA(&wc), 0);
    g_seen = &seen_;
    form_ = Make(nullptr, WS_POPUP | WS_VISIBLE, 100, 50, 200, 100, 0x111111);
    // Two children side by side; the right one holds a grandchild.
    left_ = Make(form_, WS_CHILD | WS_VISIBLE, 10, 10, 50, 50, 0x222222);
    right_ = Make(form_, WS_CHILD | WS_VISIBLE, 100, 10, 80, 80, 0x333333);
    inner_ = Make(right_, WS_CHILD | WS_VISIBLE, 20, 20, 20, 20, 0x444444);
    Pump();
    seen_.clear();
  }
  void TearDown() override {
    g_seen = nullptr;
    pt::Reset();
    PlatformTest::TearDown();
  }
  HWND Make(HWND parent, DWORD style, int x, int y, int w, int h, uint32_t colour) {
    HWND hwnd = CreateWindowExA(0, "TreeTest", "", style, x, y, w, h, parent, nullptr, nullptr, nullptr);
    EXPECT_NE(hwnd, nullptr);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, colour);
    return hwnd;
  }
  void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  std::vector<Seen> Only(UINT msg) {
    std::vector<Seen> out;
    for (const Seen& s : seen_) {
      if (s.msg == msg) out.push_back(s);
    }
    return out;
  }
  std::vector<Seen> seen_;
  HWND form_ = nullptr, left_ = nullptr, right_ = nullptr, inner_ = nullptr;
};

TEST_F(WindowTreeTest, MouseGoesToTheDeepestEnabledChildOrTheCapture) {
  struct Case {
    int x, y;
    HWND* to;
    int localX, localY;
  } cases[] = {
      {15, 12, &left_, 5, 2},      // left child
      {125, 35, &inner_, 5, 5},    // grandchild, in its own coordinates
      {105, 15, &right_, 5, 5},    // right child beside the grandchild
      {5, 5, &form_, 5, 5},        // the form itself
      {60, 60, &form_, 60, 60},    // the left child's right edge is outside it
  };
  for (const Case& c : cases) {
    seen_.clear();
    pt::InjectClick(pt::Button::Left, c.x, c.y);
    Pump();
    auto downs = Only(WM_LBUTTONDOWN);
    ASSERT_EQ(downs.size(), 1u) << c.x << "," << c.y;
    EXPECT_EQ(downs[0].hwnd, *c.to) << c.x << "," << c.y;
    EXPECT_EQ(downs[0].x, c.localX);
    EXPECT_EQ(downs[0].y, c.localY);
  }
  // A disabled child lets the click through to its parent; a hidden one too.
  EnableWindow(inner_, FALSE);
  ShowWindow(left_, SW_HIDE);
  seen_.clear();
  pt::InjectClick(pt::Button::Left, 125, 35);
  pt::InjectClick(pt::Button::Left, 15, 12);
  Pump();
  auto downs = Only(WM_LBUTTONDOWN);
  ASSERT_EQ(downs.size(), 2u);
  EXPECT_EQ(downs[0].hwnd, right_);
  EXPECT_EQ(downs[1].hwnd, form_);
  // The capture window gets every mouse message, in its own coordinates.
  SetCapture(left_);
  seen_.clear();
  pt::InjectClick(pt::Button::Left, 150, 5);
  Pump();
  downs = Only(WM_LBUTTONDOWN);
  ASSERT_EQ(downs.size(), 1u);
  EXPECT_EQ(downs[0].hwnd, left_);
  EXPECT_EQ(downs[0].x, 140);
  EXPECT_EQ(downs[0].y, -5);
}

TEST_F(WindowTreeTest, GeometryAndZOrder) {
  POINT p{5, 6};
  ASSERT_TRUE(ClientToScreen(inner_, &p));
  EXPECT_EQ(p.x, 100 + 100 + 20 + 5);
  EXPECT_EQ(p.y, 50 + 10 + 20 + 6);
  ASSERT_TRUE(ScreenToClient(right_, &p));
  EXPECT_EQ(p.x, 25);
  EXPECT_EQ(p.y, 26);
  RECT r;
  GetWindowRect(inner_, &r);
  EXPECT_EQ(r.left, 220);
  EXPECT_EQ(r.bottom, 100);
  EXPECT_EQ(WindowFromPoint({225, 85}), inner_);
  EXPECT_EQ(WindowFromPoint({5, 5}), nullptr);
  EXPECT_EQ(ChildWindowFromPoint(form_, {125, 35}), right_);
  EXPECT_EQ(ChildWindowFromPoint(form_, {1, 1}), form_);
  EXPECT_EQ(ChildWindowFromPoint(form_, {200, 1}), nullptr);
  EXPECT_EQ(GetParent(inner_), right_);
  // Creation order is Z order, first on top; HWND_TOP changes it.
  EXPECT_EQ(GetWindow(form_, GW_CHILD), left_);
  EXPECT_EQ(GetWindow(left_, GW_HWNDNEXT), right_);
  SetWindowPos(right_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_EQ(GetWindow(form_, GW_CHILD), right_);
  // Destroying the parent destroys the children, inside its own destruction.
  seen_.clear();
  DestroyWindow(right_);
  EXPECT_FALSE(IsWindow(inner_));
  std::vector<UINT> order;
  for (const Seen& s : seen_) {
    if (s.msg == WM_DESTROY || s.msg == WM_NCDESTROY) order.push_back(s.msg);
  }
  EXPECT_EQ(order, (std::vector<UINT>{WM_DESTROY, WM_DESTROY, WM_NCDESTROY, WM_NCDESTROY}));
  EXPECT_EQ(seen_.front().hwnd, right_);
  EXPECT_EQ(GetWindow(form_, GW_CHILD), left_);
}

TEST_F(WindowTreeTest, PaintErasesFirstAndComposesChildrenIntoTheTopLevelPicture) {
  InvalidateRect(form_, nullptr, TRUE);
  seen_.clear();
  UpdateWindow(form_);
  std::vector<std::pair<HWND, UINT>> got;
  for (const Seen& s : seen_) got.push_back({s.hwnd, s.msg});
  EXPECT_EQ(got, (std::vector<std::pair<HWND, UINT>>{{form_, WM_ERASEBKGND}, {form_, WM_PAINT},
                                                      {right_, WM_ERASEBKGND}, {right_, WM_PAINT},
                                                      {inner_, WM_ERASEBKGND}, {inner_, WM_PAINT},
                                                      {left_, WM_ERASEBKGND}, {left_, WM_PAINT}}));
  pt::Picture pic = pt::WindowPixels(inner_);
  ASSERT_EQ(pic.width, 200);
  EXPECT_EQ(pic.At(0, 0), 0x111111u);
  EXPECT_EQ(pic.At(10, 10), 0x222222u);
  EXPECT_EQ(pic.At(59, 59), 0x222222u);
  EXPECT_EQ(pic.At(60, 59), 0x111111u);
  EXPECT_EQ(pic.At(119, 29), 0x333333u);
  EXPECT_EQ(pic.At(120, 30), 0x444444u);
  EXPECT_EQ(pic.At(139, 49), 0x444444u);
  EXPECT_EQ(pic.At(140, 50), 0x333333u);
  // A child grown beyond its parent is cut at the parent's edge.
  MoveWindow(inner_, 70, 70, 50, 50, TRUE);
  UpdateWindow(form_);
  pic = pt::WindowPixels(form_);
  EXPECT_EQ(pic.At(179, 89), 0x444444u);
  EXPECT_EQ(pic.At(185, 95), 0x111111u);
  // Invalid windows are painted by the message loop when nothing else waits.
  InvalidateRect(left_, nullptr, FALSE);
  seen_.clear();
  Pump();
  ASSERT_EQ(seen_.size(), 1u);
  EXPECT_EQ(seen_[0].msg, WM_PAINT);
  EXPECT_EQ(seen_[0].hwnd, left_);
}

TEST_F(WindowTreeTest, ChildrenPaintedOverGoFirstWhenTheParentIsInvalidatedAgainAndAgain) {
  // As a video does: the parent invalid again after every message.
  InvalidateRect(form_, nullptr, FALSE);
  seen_.clear();
  std::vector<bool> halfPainted;
  MSG msg;
  for (int i = 0; i < 5 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
    DispatchMessageA(&msg);
    halfPainted.push_back(platform::PictureHalfPainted(form_));
    InvalidateRect(form_, nullptr, FALSE);
  }
  std::vector<HWND> painted;
  for (const Seen& s : Only(WM_PAINT)) painted.push_back(s.hwnd);
  EXPECT_EQ(painted, (std::vector<HWND>{form_, right_, inner_, left_, form_}));
  // Whole once the children painted, though the parent waits again.
  EXPECT_EQ(halfPainted, (std::vector<bool>{true, true, true, false, true}));
}

TEST_F(WindowTreeTest, DeviceContextStatesNestAndClip) {
  HDC dc = GetDC(right_);
  platform::DcSurface s;
  ASSERT_TRUE(platform::GetDcSurface(dc, &s));
  EXPECT_EQ(s.origin.x, 100);
  EXPECT_EQ(s.clip.right, 180);
  EXPECT_EQ(s.clip.bottom, 90);
  int saved = SaveDC(dc);
  EXPECT_EQ(saved, 1);
  SetViewportOrgEx(dc, -20, -20, nullptr);
  EXPECT_EQ(IntersectClipRect(dc, 20, 20, 30, 25), 2);
  ASSERT_TRUE(platform::GetDcSurface(dc, &s));
  EXPECT_EQ(s.origin.x, 80);
  EXPECT_EQ(s.clip.left, 100);
  EXPECT_EQ(s.clip.right, 110);
  EXPECT_EQ(s.clip.bottom, 15);
  EXPECT_EQ(IntersectClipRect(dc, 40, 40, 50, 50), 1);
  ASSERT_TRUE(RestoreDC(dc, -1));
  ASSERT_TRUE(platform::GetDcSurface(dc, &s));
  EXPECT_EQ(s.origin.x, 100);
  EXPECT_EQ(s.clip.left, 100);
  EXPECT_EQ(s.clip.right, 180);
  EXPECT_FALSE(RestoreDC(dc, 1));
  ReleaseDC(right_, dc);
  EXPECT_FALSE(platform::GetDcSurface(dc, &s));

  uint32_t bits[4 * 3] = {};
  HDC mem = platform::CreateSurfaceDC(bits, 4, 3);
  ASSERT_TRUE(platform::GetDcSurface(mem, &s));
  EXPECT_EQ(s.bits, bits);
  EXPECT_EQ(s.clip.right, 4);
  EXPECT_EQ(s.clip.bottom, 3);
  EXPECT_TRUE(DeleteDC(mem));
}

TEST_F(WindowTreeTest, KeysGoToTheFocusWindowAndFocusFollows) {
  SetFocus(inner_);
  auto kills = Only(WM_KILLFOCUS);
  auto sets = Only(WM_SETFOCUS);
  ASSERT_EQ(kills.size(), 1u);
  EXPECT_EQ(kills[0].hwnd, form_);
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0].hwnd, inner_);
  seen_.clear();
  pt::InjectKey('A');
  SetFocus(left_);  // focus moves before the key is taken from the queue
  seen_.clear();
  Pump();
  auto keys = Only(WM_KEYDOWN);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].hwnd, left_);
  // Disabling the focus window's parent takes the focus away.
  SetFocus(inner_);
  EnableWindow(right_, FALSE);
  EXPECT_EQ(GetFocus(), nullptr);
}

TEST_F(WindowTreeTest, ModifiersHeldAsInjected) {
  pt::InjectKeyDown(VK_CONTROL);
  Pump();
  EXPECT_LT(GetKeyState(VK_CONTROL), 0);
  EXPECT_GE(GetKeyState(VK_SHIFT), 0);
  pt::InjectKey('S');
  pt::InjectKeyUp(VK_CONTROL);
  Pump();
  EXPECT_GE(GetKeyState(VK_CONTROL), 0);
  EXPECT_EQ(Only(WM_SYSKEYDOWN).size(), 0u);
  // Alt makes system keys; Ctrl with Alt does not.
  seen_.clear();
  pt::InjectKeyDown(VK_MENU);
  pt::InjectKey('O');
  Pump();
  EXPECT_LT(GetKeyState(VK_MENU), 0);
  auto sys = Only(WM_SYSKEYDOWN);
  ASSERT_EQ(sys.size(), 2u);
  EXPECT_EQ(Only(WM_SYSCHAR).size(), 1u);
  EXPECT_EQ(Only(WM_SYSKEYUP).size(), 1u);
  pt::InjectKeyDown(VK_CONTROL);
  Pump();
  seen_.clear();
  pt::InjectKey('O');
  pt::InjectKeyUp(VK_CONTROL);
  pt::InjectKeyUp(VK_MENU);
  Pump();
  EXPECT_EQ(Only(WM_SYSKEYDOWN).size(), 0u);
  EXPECT_EQ(Only(WM_KEYDOWN).size(), 1u);
  EXPECT_GE(GetKeyState(VK_MENU), 0);
}

int g_procTicks = 0;
void TickProc(HWND, UINT, UINT_PTR, DWORD) { ++g_procTicks; }

TEST_F(WindowTreeTest, TimersTickOnTheTestClock) {
  ASSERT_EQ(SetTimer(left_, 7, 100, nullptr), 7u);
  g_procTicks = 0;
  UINT_PTR free = SetTimer(nullptr, 0, 250, TickProc);
  ASSERT_NE(free, 0u);
  seen_.clear();
  // A loop that waits: each wait moves the clock to the next due time.
  std::vector<DWORD> ticks;
  while (timeGetTime() < 1000 + 500) {
    WaitMessage();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_TIMER && msg.hwnd == left_) ticks.push_back(timeGetTime());
      DispatchMessageA(&msg);
    }
  }
  EXPECT_EQ(ticks, (std::vector<DWORD>{1100, 1200, 1300, 1400, 1500}));
  EXPECT_EQ(g_procTicks, 2);
  ASSERT_EQ(Only(WM_TIMER).size(), 5u);
  EXPECT_EQ(Only(WM_TIMER)[0].hwnd, left_);
  EXPECT_TRUE(KillTimer(left_, 7));
  EXPECT_FALSE(KillTimer(left_, 7));
  KillTimer(nullptr, free);
  pt::AdvanceClock(1000);
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  // Injected input comes due as the clock moves on.
  pt::InjectKey('A', 3000);
  WaitMessage();
  EXPECT_EQ(timeGetTime(), 3000u);
}

TEST_F(WindowTreeTest, WaitingWithNothingThatCouldComeFailsInsteadOfHanging) {
  Pump();
  EXPECT_DEATH(WaitMessage(), "nothing is due and nothing waits");
}

TEST_F(WindowTreeTest, WindowProcedureCanBeReplacedAndChained) {
  static WNDPROC previous = nullptr;
  static int seenBySubclass = 0;
  seenBySubclass = 0;
  previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
      left_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(+[](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        if (m == WM_USER) ++seenBySubclass;
        return CallWindowProcA(previous, h, m, w, l);
      })));
  EXPECT_EQ(previous, CALLBACK_Proc);
  SendMessageA(left_, WM_USER, 0, 0);
  EXPECT_EQ(seenBySubclass, 1);
  EXPECT_EQ(Only(WM_USER).size(), 1u);  // reached the original procedure
}

TEST_F(WindowTreeTest, ScreenIsTheDesktopOfTheProfile) {
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
  RECT work;
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
  EXPECT_EQ(work.right, 1024);
  EXPECT_EQ(work.bottom, 768);
  pt::SetSetting("d3d9.profile", "modes=;desktop=800x600;vs=0");
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 800);
  {
    // With a real display its desktop counts, and its work area leaves out
    // the panels.
    struct Display : platform::WindowPresenter {
      void Sync() override {}
      HWND WindowOf(uint32_t) override { return nullptr; }
      void Destroyed(HWND) override {}
      bool Desktop(RECT* screen, RECT* work) override {
        *screen = RECT{0, 0, 1920, 1080};
        *work = RECT{0, 28, 1920, 1080};
        return true;
      }
    } display;
    platform::SetWindowPresenter(&display);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1080);
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    EXPECT_EQ(work.top, 28);
    EXPECT_EQ(work.bottom, 1080);
    platform::SetWindowPresenter(nullptr);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 800);
  }
  char dir[MAX_PATH];
  EXPECT_EQ(GetWindowsDirectoryA(dir, sizeof dir), 10u);
  EXPECT_STREQ(dir, "C:\\Windows");
  EXPECT_EQ(GetWindowsDirectoryA(dir, 5), 11u);

  pt::SetProgramPath("/opt/game/launcher.exe");
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, sizeof path);
  EXPECT_STREQ(path, "Z:\\opt\\game\\launcher.exe");
  pt::SetProgramPath("");

  // "User32.dll" is this layer's own module.
  HMODULE user32 = LoadLibraryA("User32.dll");
  ASSERT_NE(user32, nullptr);
  MEMORY_BASIC_INFORMATION mbi{};
  ASSERT_NE(VirtualQuery(reinterpret_cast<const void*>(&SetTimer), &mbi, sizeof mbi), 0u);
  EXPECT_EQ(reinterpret_cast<void*>(user32), mbi.AllocationBase);
  FreeLibrary(user32);

  // Layered windows are blended over what lies below.
  UpdateWindow(form_);
  SetWindowLongPtrA(form_, GWL_EXSTYLE, WS_EX_LAYERED);
  SetLayeredWindowAttributes(form_, 0, 128, LWA_ALPHA);
  pt::Picture screen = pt::ScreenPixels();
  ASSERT_EQ(screen.width, 800);
  uint32_t desktop = screen.At(0, 0);
  uint32_t blended = screen.At(101, 51);
  auto channel = [](uint32_t c, int s) { return static_cast<int>((c >> s) & 0xFF); };
  for (int s : {0, 8, 16}) {
    EXPECT_EQ(channel(blended, s), (0x11 * 128 + channel(desktop, s) * 127 + 127) / 255);
  }
  std::string file = work_ + "/screen.png";
  ASSERT_TRUE(pt::SavePng(screen, file));
  pt::Picture back;
  ASSERT_TRUE(pt::LoadPng(file, &back));
  EXPECT_EQ(back.pixels, screen.pixels);
}

}  // namespace
