// The canvas on 32-bit bitmaps: every expected pixel here is worked out
// from the geometry, or, for text, from the font's own metrics at run time.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/forms/graphics.h"
#include "platform/forms/text.h"
#include "platform/win32/dc.h"
#include "platform/win32/win32.h"

namespace forms {
namespace {

constexpr TColor kInk = 0x0000FF;    // red
constexpr TColor kPaper = 0xFFFFFF;

std::set<std::pair<int, int>> Inked(TBitmap& b, TColor ink = kInk) {
  std::set<std::pair<int, int>> out;
  for (int y = 0; y < b.Height(); ++y) {
    for (int x = 0; x < b.Width(); ++x) {
      if (b.Canvas().Pixel(x, y) == ink) out.insert({x, y});
    }
  }
  return out;
}

void Clear(TBitmap& b, TColor c = kPaper) {
  b.Canvas().Brush().Style = TBrushStyle::bsSolid;
  b.Canvas().Brush().Color = c;
  b.Canvas().FillRect(Rect(0, 0, b.Width(), b.Height()));
}

using Pixels = std::set<std::pair<int, int>>;

TEST(CanvasTest, LinesLeaveOutTheirEndPixel) {
  struct Case {
    int x0, y0, x1, y1;
    Pixels expected;
  } cases[] = {
      {0, 0, 4, 0, {{0, 0}, {1, 0}, {2, 0}, {3, 0}}},
      {4, 1, 0, 1, {{4, 1}, {3, 1}, {2, 1}, {1, 1}}},
      {2, 0, 2, 3, {{2, 0}, {2, 1}, {2, 2}}},
      {0, 0, 3, 3, {{0, 0}, {1, 1}, {2, 2}}},
      {1, 1, 1, 1, {}},
  };
  TBitmap b(8, 8);
  for (const Case& c : cases) {
    Clear(b);
    b.Canvas().Pen().Color = kInk;
    b.Canvas().MoveTo(c.x0, c.y0);
    b.Canvas().LineTo(c.x1, c.y1);
    EXPECT_EQ(Inked(b), c.expected) << c.x0 << "," << c.y0 << " to " << c.x1 << "," << c.y1;
    EXPECT_EQ(b.Canvas().PenPos().X, c.x1);
  }
}

TEST(CanvasTest, FramesAndRectanglesExcludeRightAndBottom) {
  TBitmap b(8, 8);
  Clear(b);
  b.Canvas().Brush().Color = kInk;
  b.Canvas().FrameRect(Rect(1, 1, 5, 4));
  Pixels frame;
  for (int x = 1; x <= 4; ++x) frame.insert({x, 1}), frame.insert({x, 3});
  frame.insert({1, 2}), frame.insert({4, 2});
  EXPECT_EQ(Inked(b), frame);

  // Pen outline, brush inside.
  Clear(b);
  b.Canvas().Pen().Color = kInk;
  b.Canvas().Brush().Color = clLime;
  b.Canvas().Rectangle(1, 1, 5, 4);
  EXPECT_EQ(Inked(b), frame);
  EXPECT_EQ(Inked(b, clLime), (Pixels{{2, 2}, {3, 2}}));
  // Without a pen the fill is one pixel smaller.
  Clear(b);
  b.Canvas().Pen().Style = TPenStyle::psClear;
  b.Canvas().Brush().Color = clLime;
  b.Canvas().Rectangle(1, 1, 4, 3);
  EXPECT_EQ(Inked(b, clLime), (Pixels{{1, 1}, {2, 1}}));
}

TEST(CanvasTest, PolygonsFillPixelsWhoseCentresLieInside) {
  struct Case {
    std::vector<TPoint> points;
    size_t filled;
    Pixels inside, outside;
  } cases[] = {
      // x + y < 8 holds for the centres with x + y <= 6: 7 + 6 + ... + 1.
      {{{0, 0}, {8, 0}, {0, 8}}, 28, {{0, 0}, {6, 0}, {3, 3}, {0, 6}}, {{7, 0}, {4, 3}, {0, 7}}},
      {{{2, 2}, {6, 2}, {6, 5}, {2, 5}}, 12, {{2, 2}, {5, 4}}, {{6, 2}, {2, 5}, {1, 2}}},
      // A bow tie: two triangles meeting at (4, 4).
      {{{0, 0}, {8, 8}, {8, 0}, {0, 8}}, 32, {{0, 1}, {7, 1}, {0, 6}}, {{4, 0}, {4, 7}}},
  };
  TBitmap b(10, 10);
  for (const Case& c : cases) {
    Clear(b);
    b.Canvas().Pen().Style = TPenStyle::psClear;
    b.Canvas().Brush().Color = kInk;
    b.Canvas().Polygon(c.points);
    Pixels got = Inked(b);
    EXPECT_EQ(got.size(), c.filled);
    for (auto p : c.inside) EXPECT_TRUE(got.count(p)) << p.first << "," << p.second;
    for (auto p : c.outside) EXPECT_FALSE(got.count(p)) << p.first << "," << p.second;
  }
  // The pen then outlines it, every vertex included.
  Clear(b);
  b.Canvas().Pen().Style = TPenStyle::psSolid;
  b.Canvas().Pen().Color = clLime;
  b.Canvas().Brush().Style = TBrushStyle::bsClear;
  b.Canvas().Polygon({{1, 1}, {5, 1}, {5, 4}});
  Pixels outline = Inked(b, clLime);
  for (auto p : Pixels{{1, 1}, {5, 1}, {5, 4}, {3, 1}, {5, 2}}) EXPECT_TRUE(outline.count(p));
  EXPECT_TRUE(Inked(b).empty());
}

TEST(CanvasTest, ArcsRunCounterClockwiseBetweenTheRadials) {
  TBitmap b(11, 11);
  b.Canvas().Pen().Color = kInk;
  // In the box 0..11 the centre is (5, 5) and both radii 5.
  struct Case {
    int x3, y3, x4, y4;
    Pixels on, off;
  } cases[] = {
      {10, 5, 10, 5, {{10, 5}, {5, 0}, {0, 5}, {5, 10}}, {{5, 5}}},  // same radials: whole ellipse
      {10, 5, 5, 0, {{10, 5}, {5, 0}}, {{0, 5}, {5, 10}}},            // east to north
      {5, 0, 10, 5, {{5, 0}, {0, 5}, {5, 10}, {10, 5}}, {{9, 2}}},    // north round to east
  };
  for (const Case& c : cases) {
    Clear(b);
    b.Canvas().Arc(0, 0, 11, 11, c.x3, c.y3, c.x4, c.y4);
    Pixels got = Inked(b);
    for (auto p : c.on) EXPECT_TRUE(got.count(p)) << p.first << "," << p.second;
    for (auto p : c.off) EXPECT_FALSE(got.count(p)) << p.first << "," << p.second;
    // Every pixel drawn lies on the circle of radius 5.
    for (auto [x, y] : got) {
      double d = std::hypot(x - 5.0, y - 5.0);
      EXPECT_NEAR(d, 5.0, 0.75) << x << "," << y;
    }
  }
}

TEST(CanvasTest, ColourKeyedAndStretchedDrawing) {
  TBitmap strip(3, 1);
  strip.Canvas().SetPixel(0, 0, clRed);
  strip.Canvas().SetPixel(1, 0, clLime);
  strip.Canvas().SetPixel(2, 0, clRed);
  TBitmap b(6, 2);
  struct Case {
    bool transparent;
    TColor key;
    std::vector<TColor> row;
  } cases[] = {
      {false, clDefault, {clRed, clLime, clRed}},
      {true, clDefault, {kPaper, clLime, kPaper}},  // the top-left pixel's colour
      {true, clLime, {clRed, kPaper, clRed}},
  };
  for (const Case& c : cases) {
    Clear(b);
    strip.Transparent = c.transparent;
    strip.TransparentColorValue = c.key;
    b.Canvas().Draw(1, 0, strip);
    EXPECT_EQ(b.Canvas().Pixel(0, 0), kPaper);
    for (int x = 0; x < 3; ++x) EXPECT_EQ(b.Canvas().Pixel(1 + x, 0), c.row[static_cast<size_t>(x)]);
  }
  // Nearest pixel: 3 columns onto 6 doubles each, onto 2 rows repeats them.
  strip.Transparent = false;
  Clear(b);
  b.Canvas().StretchDraw(Rect(0, 0, 6, 2), strip);
  const TColor wide[] = {clRed, clRed, clLime, clLime, clRed, clRed};
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 6; ++x) EXPECT_EQ(b.Canvas().Pixel(x, y), wide[x]);
  }
  // Shrinking takes every other column.
  TBitmap four(4, 1);
  const TColor src[] = {clRed, clLime, clBlue, clYellow};
  for (int x = 0; x < 4; ++x) four.Canvas().SetPixel(x, 0, src[x]);
  Clear(b);
  b.Canvas().StretchDraw(Rect(0, 0, 2, 1), four);
  EXPECT_EQ(b.Canvas().Pixel(0, 0), clRed);
  EXPECT_EQ(b.Canvas().Pixel(1, 0), clBlue);
}

TEST(CanvasTest, StatesMoveTheOriginAndClip) {
  TBitmap b(10, 10);
  Clear(b);
  TCanvas& c = b.Canvas();
  int saved = c.SaveState();
  SetViewportOrgEx(c.Handle(), 3, 2, nullptr);
  IntersectClipRect(c.Handle(), 0, 0, 2, 2);
  c.Brush().Color = kInk;
  c.FillRect(Rect(-5, -5, 20, 20));
  EXPECT_EQ(c.Pixel(0, 0), kInk);   // logical, moved by the origin
  c.RestoreState(saved);
  EXPECT_EQ(Inked(b), (Pixels{{3, 2}, {4, 2}, {3, 3}, {4, 3}}));
  EXPECT_EQ(c.Pixel(10, 0), -1);
  EXPECT_EQ(c.Pixel(-1, 0), -1);
}

// ---- Text -------------------------------------------------------------------------------

std::vector<uint32_t> Render(int w, int h, const std::function<void(TCanvas&)>& draw) {
  TBitmap b(w, h);
  Clear(b);
  b.Canvas().Brush().Style = TBrushStyle::bsClear;
  b.Canvas().Font().SetColor(clBlack);
  draw(b.Canvas());
  return std::vector<uint32_t>(b.Bits(), b.Bits() + w * h);
}

TEST(CanvasTest, TextIsMeasuredFromTheFont) {
  TCanvas c;
  const detail::FontMetrics& m = detail::MetricsOf(c.Font());
  EXPECT_EQ(c.TextHeight("x"), m.height);
  EXPECT_EQ(c.TextWidth("ab"), detail::GlyphOf(c.Font(), 'a').advance + detail::GlyphOf(c.Font(), 'b').advance);
  EXPECT_GT(c.TextWidth("W"), 0);
  // Bold is wider; a larger height is taller.
  TCanvas bold;
  bold.Font().SetStyle(fsBold);
  EXPECT_GT(bold.TextWidth("Cancel"), c.TextWidth("Cancel"));
  TCanvas big;
  big.Font().SetHeight(-20);
  EXPECT_GT(big.TextHeight("x"), c.TextHeight("x"));
  // Something is drawn, in the font colour only.
  auto pixels = Render(40, 20, [](TCanvas& k) { k.TextOut(2, 2, "Ag"); });
  int ink = 0;
  for (uint32_t p : pixels) {
    EXPECT_TRUE(p == 0xFFFFFF || p == 0) << std::hex << p;
    ink += p == 0;
  }
  EXPECT_GT(ink, 10);
}

TEST(CanvasTest, DrawTextPlacesLinesAsMeasured) {
  TCanvas m;
  const int th = m.TextHeight("W");
  const int w = 120, h = 3 * th + 5;
  struct Case {
    const char* name;
    std::string text;
    UINT flags;
    std::function<void(TCanvas&)> expected;
  };
  const std::string wrapText = "aaa aaa aaa";
  const int twoWords = m.TextWidth("aaa aaa");
  std::vector<Case> cases = {
      {"centred", "Hello", DT_SINGLELINE | DT_CENTER, [&](TCanvas& k) { k.TextOut((w - m.TextWidth("Hello")) / 2, 0, "Hello"); }},
      {"right", "Hello", DT_SINGLELINE | DT_RIGHT, [&](TCanvas& k) { k.TextOut(w - m.TextWidth("Hello"), 0, "Hello"); }},
      {"vcentre", "Hello", DT_SINGLELINE | DT_VCENTER, [&](TCanvas& k) { k.TextOut(0, (h - th) / 2, "Hello"); }},
      {"double ampersand", "A&&B", DT_SINGLELINE, [&](TCanvas& k) { k.TextOut(0, 0, "A&B"); }},
      {"no prefix", "A&B", DT_SINGLELINE | DT_NOPREFIX, [&](TCanvas& k) { k.TextOut(0, 0, "A&B"); }},
      {"two lines", "one\r\ntwo", 0, [&](TCanvas& k) { k.TextOut(0, 0, "one"); k.TextOut(0, th, "two"); }},
  };
  for (const Case& c : cases) {
    auto got = Render(w, h, [&](TCanvas& k) {
      TRect r = Rect(0, 0, w, h);
      k.DrawText(c.text, r, c.flags);
    });
    EXPECT_EQ(got, Render(w, h, c.expected)) << c.name;
  }
  // Word break at the width of the first two words.
  auto wrapped = Render(w, h, [&](TCanvas& k) {
    TRect r = Rect(0, 0, twoWords, h);
    k.DrawText(wrapText, r, DT_WORDBREAK);
  });
  EXPECT_EQ(wrapped, Render(w, h, [&](TCanvas& k) {
              k.TextOut(0, 0, "aaa aaa");
              k.TextOut(0, th, "aaa");
            }));
  TRect calc = Rect(0, 0, twoWords, 0);
  EXPECT_EQ(m.DrawText(wrapText, calc, DT_WORDBREAK | DT_CALCRECT), 2 * th);
  EXPECT_EQ(calc.Bottom, 2 * th);
  EXPECT_EQ(calc.Right, twoWords);
  // One pixel narrower breaks once more.
  calc = Rect(0, 0, twoWords - 1, 0);
  m.DrawText(wrapText, calc, DT_WORDBREAK | DT_CALCRECT);
  EXPECT_EQ(calc.Bottom, 3 * th);
  // A tab after "a" and a tab at the start reach the same stop.
  auto tabbed = Render(w, h, [&](TCanvas& k) {
    TRect r = Rect(0, 0, w, h);
    k.DrawText("a\tb", r, DT_SINGLELINE | DT_EXPANDTABS);
  });
  EXPECT_EQ(tabbed, Render(w, h, [&](TCanvas& k) {
              TRect r = Rect(0, 0, w, h);
              k.TextOut(0, 0, "a");
              k.DrawText("\tb", r, DT_SINGLELINE | DT_EXPANDTABS);
            }));
}

TEST(CanvasTest, AmpersandUnderlinesTheNextCharacterOnly) {
  TCanvas m;
  const int w = 60, h = 30;
  auto prefixed = Render(w, h, [&](TCanvas& k) {
    TRect r = Rect(0, 0, w, h);
    k.DrawText("&Ok", r, DT_SINGLELINE);
  });
  auto plain = Render(w, h, [&](TCanvas& k) { k.TextOut(0, 0, "Ok"); });
  const int advanceO = detail::GlyphOf(m.Font(), 'O').advance;
  const int row = detail::MetricsOf(m.Font()).ascent + detail::MetricsOf(m.Font()).underlinePos;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint32_t want = (y == row && x < advanceO) ? 0u : plain[static_cast<size_t>(y * w + x)];
      EXPECT_EQ(prefixed[static_cast<size_t>(y * w + x)], want) << x << "," << y;
    }
  }
}

// ---- Bitmaps from memory and resources -----------------------------------------------

std::vector<uint8_t> Bmp24(int w, int h, const std::vector<uint32_t>& topDown) {
  const int stride = (w * 3 + 3) & ~3;
  std::vector<uint8_t> f(54 + static_cast<size_t>(stride * h), 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  f[0] = 'B', f[1] = 'M';
  put32(2, static_cast<uint32_t>(f.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(w));
  put32(22, static_cast<uint32_t>(h));
  f[26] = 1, f[28] = 24;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint32_t p = topDown[static_cast<size_t>(y * w + x)];
      size_t at = 54 + static_cast<size_t>((h - 1 - y) * stride + x * 3);  // bottom-up
      f[at] = static_cast<uint8_t>(p), f[at + 1] = static_cast<uint8_t>(p >> 8), f[at + 2] = static_cast<uint8_t>(p >> 16);
    }
  }
  return f;
}

TEST(CanvasTest, BitmapsLoadFromMemoryAndByResourceName) {
  auto file = Bmp24(2, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0x123456});
  TBitmap b;
  ASSERT_TRUE(b.LoadFromMemory(file.data(), file.size()));
  EXPECT_EQ(b.Width(), 2);
  EXPECT_EQ(b.Canvas().Pixel(0, 0), clRed);
  EXPECT_EQ(b.PixelAt(1, 1), 0x123456u);
  // A truncated image is refused and changes nothing.
  EXPECT_FALSE(b.LoadFromMemory(file.data(), file.size() - 1));
  EXPECT_EQ(b.Width(), 2);

  static const auto stored = Bmp24(3, 1, {1, 2, 3});
  static const BitmapResource table[] = {{"TEST_STRIP", stored.data(), stored.size()}};
  RegisterBitmapResources(table, 1);
  TBitmap r;
  ASSERT_TRUE(r.LoadFromResourceName(nullptr, "test_strip"));
  EXPECT_EQ(r.Width(), 3);
  EXPECT_FALSE(r.LoadFromResourceName(nullptr, "NO_SUCH"));
}

}  // namespace
}  // namespace forms
