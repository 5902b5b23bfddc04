// Non-client frames, window regions and the clipboard.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/dc.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace pt = platform::testing;

namespace {

// Insets of the frame the test procedure answers with; WM_NCPAINT paints
// the frame red through the window's device context.
RECT g_inset{0, 0, 0, 0};
int g_ncPaints = 0;

LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCALCSIZE && wParam) {
    auto* p = reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam);
    p->rgrc[0].left += g_inset.left;
    p->rgrc[0].top += g_inset.top;
    p->rgrc[0].right -= g_inset.right;
    p->rgrc[0].bottom -= g_inset.bottom;
    return WVR_VALIDRECTS;
  }
  if (msg == WM_NCPAINT) {
    ++g_ncPaints;
    HDC dc = GetWindowDC(hwnd);
    platform::DcSurface s;
    platform::GetDcSurface(dc, &s);
    for (int y = s.clip.top; y < s.clip.bottom; ++y) {
      for (int x = s.clip.left; x < s.clip.right; ++x) s.bits[y * s.width + x] = 0xFF0000;
    }
    ReleaseDC(hwnd, dc);
    return 0;
  }
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    platform::DcSurface s;
    platform::GetDcSurface(dc, &s);
    for (int y = s.clip.top; y < s.clip.bottom; ++y) {
      for (int x = s.clip.left; x < s.clip.right; ++x) s.bits[y * s.width + x] = 0x0000FF;
    }
    EndPaint(hwnd, &ps);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

class FrameTest : public pt::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    g_inset = {0, 0, 0, 0};
    g_ncPaints = 0;
    WNDCLASSA wc{};
    wc.lpfnWndProc = FrameProc;
    wc.lpszClassName = "FrameTest";
    ASSERT_NE(RegisterClassA(&wc), 0);
  }
  HWND Create(int x, int y, int w, int h) {
    return CreateWindowExA(0, "FrameTest", "", WS_POPUP, x, y, w, h, nullptr, nullptr, nullptr, nullptr);
  }
};

TEST_F(FrameTest, FrameChangeAsksTheClientRectangleAgainAndPaintsTheFrame) {
  HWND hwnd = Create(100, 50, 40, 30);
  RECT r;
  GetClientRect(hwnd, &r);
  EXPECT_EQ(r.right, 40);  // the procedure left the whole window at creation
  g_inset = {3, 0, 3, 5};
  SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  GetClientRect(hwnd, &r);
  EXPECT_EQ(r.right, 34);
  EXPECT_EQ(r.bottom, 25);
  POINT p{0, 0};
  ClientToScreen(hwnd, &p);
  EXPECT_EQ(p.x, 103);
  EXPECT_EQ(p.y, 50);
  GetWindowRect(hwnd, &r);
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.right, 140);

  ShowWindow(hwnd, SW_SHOW);
  UpdateWindow(hwnd);
  EXPECT_EQ(g_ncPaints, 1);
  pt::Picture pic = pt::WindowPixels(hwnd);
  EXPECT_EQ(pic.At(2, 10), 0xFF0000u);   // left frame
  EXPECT_EQ(pic.At(3, 10), 0x0000FFu);   // client
  EXPECT_EQ(pic.At(36, 24), 0x0000FFu);  // last client pixel
  EXPECT_EQ(pic.At(37, 24), 0xFF0000u);
  EXPECT_EQ(pic.At(20, 25), 0xFF0000u);  // bottom frame
  // The frame belongs to the window when hit.
  EXPECT_EQ(SendMessageA(hwnd, WM_NCHITTEST, 0, MAKELPARAM(101, 60)), HTBORDER);
  EXPECT_EQ(SendMessageA(hwnd, WM_NCHITTEST, 0, MAKELPARAM(110, 60)), HTCLIENT);

  // A frame wider than the window leaves an empty client area, never a negative one.
  g_inset = {30, 0, 30, 0};
  MoveWindow(hwnd, 100, 50, 40, 31, TRUE);
  GetClientRect(hwnd, &r);
  EXPECT_EQ(r.right, 0);
  EXPECT_EQ(r.bottom, 31);
}

TEST_F(FrameTest, RegionCutsThePictureAndHitTesting) {
  HWND hwnd = Create(10, 10, 20, 20);
  ShowWindow(hwnd, SW_SHOW);
  UpdateWindow(hwnd);
  HRGN rgn = CreateRectRgn(5, 0, 20, 20);
  SetWindowRgn(hwnd, rgn, TRUE);
  EXPECT_EQ(WindowFromPoint(POINT{14, 15}), nullptr);  // x 4 of the window: cut away
  EXPECT_EQ(WindowFromPoint(POINT{15, 15}), hwnd);
  pt::Picture pic = pt::WindowPixels(hwnd);
  EXPECT_EQ(pic.At(4, 0), 0u);
  EXPECT_EQ(pic.At(5, 0), 0x0000FFu);
  HRGN copy = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetWindowRgn(hwnd, copy), SIMPLEREGION);
  DeleteObject(copy);
  SetWindowRgn(hwnd, nullptr, TRUE);  // frees the one before
  EXPECT_FALSE(DeleteObject(rgn));
  EXPECT_EQ(WindowFromPoint(POINT{14, 15}), hwnd);
}

TEST(Regions, CombinesRowsByMode) {
  HRGN a = CreateRectRgn(0, 0, 10, 4);
  HRGN b = CreateRectRgn(5, 2, 15, 6);
  HRGN d = CreateRectRgn(0, 0, 0, 0);
  struct Case {
    int mode;
    int kind;
    RECT box;
    POINT in, out;
  } cases[] = {
      {RGN_OR, COMPLEXREGION, {0, 0, 15, 6}, {12, 5}, {12, 1}},
      {RGN_AND, SIMPLEREGION, {5, 2, 10, 4}, {9, 3}, {4, 3}},
      {RGN_DIFF, COMPLEXREGION, {0, 0, 10, 4}, {4, 3}, {5, 3}},
      {RGN_XOR, COMPLEXREGION, {0, 0, 15, 6}, {12, 3}, {7, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    EXPECT_EQ(CombineRgn(d, a, b, c.mode), c.kind);
    RECT box;
    GetRgnBox(d, &box);
    EXPECT_EQ(box.left, c.box.left);
    EXPECT_EQ(box.top, c.box.top);
    EXPECT_EQ(box.right, c.box.right);
    EXPECT_EQ(box.bottom, c.box.bottom);
    EXPECT_TRUE(PtInRegion(d, c.in.x, c.in.y));
    EXPECT_FALSE(PtInRegion(d, c.out.x, c.out.y));
  }
  // Touching rectangles unite into one.
  HRGN left = CreateRectRgn(0, 0, 5, 3), right = CreateRectRgn(5, 0, 9, 3);
  EXPECT_EQ(CombineRgn(d, left, right, RGN_OR), SIMPLEREGION);
  EXPECT_EQ(CombineRgn(d, a, nullptr, 99), RGN_ERROR);
  for (HRGN r : {a, b, d, left, right}) EXPECT_TRUE(DeleteObject(r));
}

TEST(Regions, RoundRectCornersFollowTheEllipse) {
  // A 10 x 10 square with corner ellipse 6 x 6 (radius 3): row 0's centre
  // lies 2.5 above the ellipse's centre, so half its chord is
  // 3 * sqrt(1 - (2.5/3)^2) = 1.658; columns whose centres fall within it
  // start at ceil(3 - 1.658 - 0.5) = 1. Row 1: dy 1.5, half chord 2.598,
  // inset ceil(-0.098) = 0.
  HRGN r = CreateRoundRectRgn(0, 0, 10, 10, 6, 6);
  EXPECT_FALSE(PtInRegion(r, 0, 0));
  EXPECT_TRUE(PtInRegion(r, 1, 0));
  EXPECT_TRUE(PtInRegion(r, 8, 0));
  EXPECT_FALSE(PtInRegion(r, 9, 0));
  EXPECT_TRUE(PtInRegion(r, 0, 1));
  EXPECT_FALSE(PtInRegion(r, 0, 9));
  EXPECT_TRUE(PtInRegion(r, 0, 5));
  // A corner of 0 or 1 is a plain rectangle.
  HRGN square = CreateRoundRectRgn(0, 0, 10, 10, 0, 0);
  EXPECT_TRUE(PtInRegion(square, 0, 0));
  EXPECT_TRUE(PtInRegion(square, 9, 9));
  DeleteObject(r);
  DeleteObject(square);
}

TEST_F(FrameTest, ClipboardHoldsTextUntilEmptied) {
  HGLOBAL refused = GlobalAlloc(GMEM_MOVEABLE, 1);
  EXPECT_EQ(SetClipboardData(CF_TEXT, refused), nullptr);  // not open: the caller keeps the block
  EXPECT_EQ(GlobalFree(refused), nullptr);
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_FALSE(OpenClipboard(nullptr));  // one owner at a time
  ASSERT_TRUE(EmptyClipboard());
  const char text[] = "copy me";
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, sizeof text);
  std::memcpy(GlobalLock(h), text, sizeof text);
  GlobalUnlock(h);
  EXPECT_EQ(SetClipboardData(CF_TEXT, h), h);
  EXPECT_TRUE(CloseClipboard());
  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE got = GetClipboardData(CF_TEXT);
  ASSERT_NE(got, nullptr);
  EXPECT_STREQ(static_cast<const char*>(GlobalLock(got)), "copy me");
  GlobalUnlock(got);
  EXPECT_TRUE(EmptyClipboard());
  EXPECT_EQ(GetClipboardData(CF_TEXT), nullptr);
  EXPECT_TRUE(CloseClipboard());
  EXPECT_FALSE(CloseClipboard());
}

}  // namespace

namespace {

TEST(Regions, FromRectanglesJoinsTouchingSpansAndRefusesShortBlocks) {
  std::vector<uint8_t> block(sizeof(RGNDATAHEADER) + 3 * sizeof(RECT));
  RGNDATAHEADER h{sizeof(RGNDATAHEADER), RDH_RECTANGLES, 3, 3 * sizeof(RECT), {0, 0, 0, 0}};
  const RECT rects[3] = {{0, 0, 4, 1}, {4, 0, 6, 1}, {1, 1, 2, 3}};
  std::memcpy(block.data(), &h, sizeof h);
  std::memcpy(block.data() + sizeof h, rects, sizeof rects);
  const auto* data = reinterpret_cast<const RGNDATA*>(block.data());
  HRGN r = ExtCreateRegion(nullptr, static_cast<DWORD>(block.size()), data);
  ASSERT_NE(r, nullptr);
  RECT box;
  EXPECT_EQ(GetRgnBox(r, &box), COMPLEXREGION);
  EXPECT_EQ(box.right, 6);
  EXPECT_EQ(box.bottom, 3);
  EXPECT_TRUE(PtInRegion(r, 5, 0));
  EXPECT_FALSE(PtInRegion(r, 0, 1));
  EXPECT_TRUE(PtInRegion(r, 1, 2));
  DeleteObject(r);
  // A count that claims more rectangles than the block holds.
  EXPECT_EQ(ExtCreateRegion(nullptr, static_cast<DWORD>(block.size() - 1), data), nullptr);
}

}  // namespace
