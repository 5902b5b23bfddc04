// Drawing helpers on bitmaps whose every pixel names its own column and row,
// so each expected pixel is read off the geometry.
#include <gtest/gtest.h>

#include "launcher/skin/sk_public.h"
#include "platform/forms/forms.h"
#include "platform/forms/stdctrls.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"

namespace skin {
namespace {

using forms::Bounds;
using forms::Rect;

// Pixel (x, y) is 0x00XXYY40 with XX = x, YY = y.
uint32_t Code(int x, int y) { return static_cast<uint32_t>(x) << 16 | static_cast<uint32_t>(y) << 8 | 0x40; }
constexpr uint32_t kBlank = 0x000001;

void Fill(TBitmap& b) {
  for (int y = 0; y < b.Height(); ++y) {
    for (int x = 0; x < b.Width(); ++x) b.Bits()[y * b.Width() + x] = Code(x, y);
  }
}

TBitmap& Blank(TBitmap& b, int w, int h) {
  b.SetSize(w, h);
  std::fill(b.Bits(), b.Bits() + w * h, kBlank);
  return b;
}

TEST(DrawingHelpersTest, ExtractFrameDropsTheRemainderAtTheLeft) {
  TBitmap strip(10, 2);
  Fill(strip);
  struct Case {
    int count, index, width, firstColumn;
  } cases[] = {{3, 1, 3, 0}, {3, 2, 3, 3}, {3, 3, 3, 7}, {1, 1, 10, 0}, {0, 1, 0, 0}, {3, 0, 0, 0}, {3, 4, 0, 0}, {-2, 1, 0, 0}};
  for (const Case& c : cases) {
    TBitmap frame(5, 5);
    ExtractFrame(strip, frame, c.count, c.index);
    ASSERT_EQ(frame.Width(), c.width) << c.count << "/" << c.index;
    if (c.width == 0) {
      EXPECT_TRUE(frame.Empty());
      continue;
    }
    EXPECT_EQ(frame.Height(), 2);
    for (int x = 0; x < c.width; ++x) EXPECT_EQ(frame.PixelAt(x, 1), Code(c.firstColumn + x, 1));
  }
}

TEST(DrawingHelpersTest, StretchedCornersKeepCornersAndCutThemToHalfTheRectangle) {
  TBitmap src(10, 10);
  Fill(src);
  TBitmap out;
  // Smaller: 6 x 4 takes 3 x 2 of each corner.
  DrawStretchedCorners(src, Blank(out, 6, 4).Canvas(), Rect(0, 0, 6, 4), false);
  EXPECT_EQ(out.PixelAt(0, 0), Code(0, 0));
  EXPECT_EQ(out.PixelAt(2, 1), Code(2, 1));
  // The right quarter starts at column 10 - 5 + 1 = 6; the bottom at row 6.
  EXPECT_EQ(out.PixelAt(3, 0), Code(6, 0));
  EXPECT_EQ(out.PixelAt(5, 1), Code(8, 1));
  EXPECT_EQ(out.PixelAt(0, 2), Code(0, 6));
  EXPECT_EQ(out.PixelAt(5, 3), Code(8, 7));
  // Larger: 20 x 16 keeps the corners whole; the right and bottom ones are
  // cut to the bitmap (4 columns from 6, 4 rows from 6).
  DrawStretchedCorners(src, Blank(out, 22, 18).Canvas(), Rect(1, 1, 21, 17), false);
  EXPECT_EQ(out.PixelAt(0, 0), kBlank);
  EXPECT_EQ(out.PixelAt(1, 1), Code(0, 0));
  EXPECT_EQ(out.PixelAt(5, 5), Code(4, 4));
  EXPECT_EQ(out.PixelAt(17, 1), Code(6, 0));
  EXPECT_EQ(out.PixelAt(20, 1), Code(9, 0));
  EXPECT_EQ(out.PixelAt(21, 1), kBlank);
  EXPECT_EQ(out.PixelAt(1, 16), Code(0, 9));
  EXPECT_EQ(out.PixelAt(20, 16), Code(9, 9));
  // Edges from the middle column and row, the centre from the middle pixel.
  EXPECT_EQ(out.PixelAt(10, 1), Code(5, 0));
  EXPECT_EQ(out.PixelAt(1, 9), Code(0, 5));
  EXPECT_EQ(out.PixelAt(20, 9), Code(9, 5));
  EXPECT_EQ(out.PixelAt(10, 16), Code(5, 9));
  EXPECT_EQ(out.PixelAt(10, 9), Code(5, 5));
  // 0xFF00FF is see-through when asked.
  src.Bits()[0] = 0xFF00FF;
  DrawStretchedCorners(src, Blank(out, 6, 4).Canvas(), Rect(0, 0, 6, 4), true);
  EXPECT_EQ(out.PixelAt(0, 0), kBlank);
  EXPECT_EQ(out.PixelAt(1, 0), Code(1, 0));
}

TEST(DrawingHelpersTest, ThreePartHorizontal) {
  TBitmap src(9, 2);
  Fill(src);
  TBitmap out;
  // Narrower than a third: the left part, cut.
  DrawThreePartHorizontal(src, Blank(out, 6, 3).Canvas(), Rect(1, 1, 3, 3), forms::clNone, false);
  EXPECT_EQ(out.PixelAt(1, 1), Code(0, 0));
  EXPECT_EQ(out.PixelAt(2, 2), Code(1, 1));
  EXPECT_EQ(out.PixelAt(3, 1), kBlank);
  EXPECT_EQ(out.PixelAt(0, 1), kBlank);
  // Wide: ends unscaled, the middle third stretched (nearest pixel).
  DrawThreePartHorizontal(src, Blank(out, 10, 2).Canvas(), Rect(0, 0, 10, 2), forms::clNone, false);
  const int expected[10] = {0, 1, 2, 3, 3, 4, 5, 6, 7, 8};
  for (int x = 0; x < 10; ++x) EXPECT_EQ(out.PixelAt(x, 0), Code(expected[x], 0)) << x;
  // Masked: the transparent colour stays out.
  src.Bits()[0] = 0x123456;
  DrawThreePartHorizontal(src, Blank(out, 10, 2).Canvas(), Rect(0, 0, 10, 2), forms::PixelToColor(0x123456), true);
  EXPECT_EQ(out.PixelAt(0, 0), kBlank);
  EXPECT_EQ(out.PixelAt(1, 0), Code(1, 0));
}

TEST(DrawingHelpersTest, TileDrawStartsAtTheCanvasOrigin) {
  TBitmap pic(3, 2);
  Fill(pic);
  TBitmap out;
  TileDraw(Blank(out, 8, 5).Canvas(), pic, Rect(2, 1, 6, 4));
  // From (0, 0), not from the rectangle's corner; up to w + width, h + height.
  EXPECT_EQ(out.PixelAt(0, 0), Code(0, 0));
  EXPECT_EQ(out.PixelAt(2, 1), Code(2, 1));
  EXPECT_EQ(out.PixelAt(4, 3), Code(1, 1));
  EXPECT_EQ(out.PixelAt(7, 4), Code(1, 0));
  TBitmap empty;
  TileDraw(Blank(out, 4, 4).Canvas(), empty, Rect(0, 0, 4, 4));
  EXPECT_EQ(out.PixelAt(0, 0), kBlank);
}

TEST(DrawingHelpersTest, PointInRectCountsTheRightAndBottomEdges) {
  TRect r = Rect(2, 3, 10, 8);
  struct Case {
    int x, y;
    bool in;
  } cases[] = {{2, 3, true}, {10, 8, true}, {10, 3, true}, {11, 8, false}, {10, 9, false}, {1, 5, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(PointInRect(c.x, c.y, r), c.in) << c.x << "," << c.y;
    EXPECT_EQ(PointInRect(forms::Point(c.x, c.y), r), c.in);
  }
}

class ParentBackgroundTest : public platform::testing::PlatformTest {
 protected:
  void TearDown() override {
    platform::testing::Reset();
    PlatformTest::TearDown();
  }
};

TEST_F(ParentBackgroundTest, CopiesWhatLiesUnderTheControl) {
  forms::TForm form(nullptr);
  form.SetBounds(0, 0, 100, 80);
  form.SetColor(forms::clBlue);
  auto* image = new forms::TImage(&form);
  image->SetParent(&form);
  image->SetBounds(20, 10, 10, 10);
  image->Picture().SetSize(10, 10);
  Fill(image->Picture());
  auto* panel = new forms::TPanel(&form);
  panel->SetParent(&form);
  panel->SetBounds(15, 5, 30, 30);
  TBitmap under;
  Blank(under, 30, 30);
  DrawParentBackground(under.Canvas(), panel);
  EXPECT_EQ(under.PixelAt(0, 0), forms::ColorToPixel(forms::clBlue));
  EXPECT_EQ(under.PixelAt(5, 5), Code(0, 0));    // the image's corner at (20, 10)
  EXPECT_EQ(under.PixelAt(14, 14), Code(9, 9));
  EXPECT_EQ(under.PixelAt(15, 15), forms::ColorToPixel(forms::clBlue));
  // Without a parent nothing happens.
  forms::TPanel orphan(nullptr);
  Blank(under, 30, 30);
  DrawParentBackground(under.Canvas(), &orphan);
  EXPECT_EQ(under.PixelAt(0, 0), kBlank);
}

TEST_F(ParentBackgroundTest, ComboBoxInfoComesFromTheWindowLayer) {
  // The layer's own module is "User32.dll": found there, the call refuses
  // a missing window or structure (the combo box tests ask real ones).
  EXPECT_EQ(CallGetComboBoxInfo(nullptr, nullptr), 0);
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  EXPECT_EQ(CallGetComboBoxInfo(nullptr, &info), 0);
}

// A skinned form draws its title bar active by the application first: with
// the application inactive even its main form is drawn inactive.
TEST_F(ParentBackgroundTest, FormIsActiveOnlyWhileTheApplicationIs) {
  namespace pt = platform::testing;
  pt::TakeClock(1000);
  forms::Application->Reset();
  auto* main = new forms::TForm(nullptr);
  forms::Application->SetMainForm(main);
  main->SetBounds(0, 0, 200, 100);
  auto* other = new forms::TForm(nullptr);
  other->SetBounds(220, 0, 200, 100);
  other->Show();
  main->Show();
  forms::Application->ProcessMessages();
  EXPECT_TRUE(IsFormActive(main));
  EXPECT_TRUE(IsFormActive(nullptr));
  EXPECT_FALSE(IsFormActive(other));
  pt::InjectActivate(false);
  forms::Application->ProcessMessages();
  EXPECT_FALSE(forms::Application->Active());
  EXPECT_FALSE(IsFormActive(main));
  EXPECT_FALSE(IsFormActive(nullptr));
  forms::Application->SetMainForm(nullptr);
  delete other;
  delete main;
  forms::Application->Reset();
  pt::ReleaseClock();
}

}  // namespace
}  // namespace skin
