// Skinned buttons and check boxes: glyph layout, keys and mouse through the
// framework, the repeat timer on the test clock, check box state, auto
// size, and the drawn states as goldens with pixels worked out by hand.
#include <gtest/gtest.h>

#include <fstream>

#include "launcher/skin/golden.h"
#include "launcher/skin/sk_button.h"
#include "launcher/skin/sk_public.h"
#include "platform/forms/forms.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"
#include "tools/skin_archive_writer.h"

namespace skin {
namespace {

namespace pt = platform::testing;
using forms::Application;

TEST(GlyphLayoutTest, FourLayouts) {
  // An 80 x 27 button, a 16 x 16 glyph, text 30 x 13, spacing 4.
  struct Case {
    TButtonLayout layout;
    int gx, gy, tx, ty;
  } cases[] = {
      {TButtonLayout::blGlyphLeft, (80 - 16 - 30 - 4) / 2, (27 - 16) / 2, 15 + 16 + 4, (27 - 13) / 2},
      {TButtonLayout::blGlyphRight, (80 + 30 + 4 - 16) / 2, 5, 49 - 30 - 4, 7},
      {TButtonLayout::blGlyphTop, 32, (27 - 13 - 16 - 4) / 2, 25, -3 + 16 + 4},
      {TButtonLayout::blGlyphBottom, 32, (27 + 13 + 4 - 16) / 2, 25, 14 - 13 - 4},
  };
  for (const Case& c : cases) {
    GlyphPlacement p = PlaceGlyph(c.layout, 80, 27, 16, 16, 30, 13, 4);
    EXPECT_EQ(p.glyph.X, c.gx) << static_cast<int>(c.layout);
    EXPECT_EQ(p.glyph.Y, c.gy) << static_cast<int>(c.layout);
    EXPECT_EQ(p.text.X, c.tx) << static_cast<int>(c.layout);
    EXPECT_EQ(p.text.Y, c.ty) << static_cast<int>(c.layout);
  }
}

class ButtonTest : public pt::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    pt::TakeClock(50000);
    Application->Reset();
    form_ = new forms::TForm(nullptr);
    form_->SetBounds(50, 40, 300, 140);
  }
  void TearDown() override {
    delete form_;
    Application->Reset();
    pt::Reset();
    PlatformTest::TearDown();
  }
  TskButton* Button(const char* caption, int x, int y) {
    auto* b = new TskButton(form_);
    b->SetParent(form_);
    b->SetLeft(x);
    b->SetTop(y);
    b->SetCaption(caption);
    return b;
  }
  TskCheckBox* CheckBox(const char* caption, int x, int y) {
    auto* c = new TskCheckBox(form_);
    c->SetParent(form_);
    c->SetLeft(x);
    c->SetTop(y);
    c->SetCaption(caption);
    return c;
  }
  void ShowAndSettle() {
    form_->Show();
    Application->ProcessMessages();
  }
  pt::Picture Picture() {
    Application->ProcessMessages();
    return pt::WindowPixels(form_->Handle());
  }
  forms::TForm* form_ = nullptr;
};

// A default button added to a form whose focus already rests on another
// kind of control: no focus change follows, and Enter clicks it at once.
TEST_F(ButtonTest, DefaultButtonMadeLaterIsTheActiveDefaultAtOnce) {
  auto* box = CheckBox("Box", 10, 60);
  ShowAndSettle();
  box->SetFocus();
  Application->ProcessMessages();
  auto* ok = new TskButton(form_);
  ok->SetDefault(true);
  int clicks = 0;
  ok->OnClick = [&](forms::TObject*) { ++clicks; };
  ok->SetParent(form_);
  EXPECT_TRUE(ok->ActiveDefault());
  pt::InjectKey(VK_RETURN);
  Application->ProcessMessages();
  EXPECT_EQ(clicks, 1);
}

TEST_F(ButtonTest, EnterAndEscapeClickDefaultAndCancelButNotWithModifiers) {
  TskButton* ok = Button("OK", 10, 10);
  TskButton* cancel = Button("Cancel", 100, 10);
  ok->SetDefault(true);
  cancel->Cancel = true;
  auto* box = CheckBox("Box", 10, 60);
  int okClicks = 0, cancelClicks = 0;
  ok->OnClick = [&](forms::TObject*) { ++okClicks; };
  cancel->OnClick = [&](forms::TObject*) { ++cancelClicks; };
  ShowAndSettle();
  // The focus on another kind of control: Enter clicks the default button.
  box->SetFocus();
  Application->ProcessMessages();
  pt::InjectKey(VK_RETURN);
  pt::InjectKey(VK_ESCAPE);
  Application->ProcessMessages();
  EXPECT_EQ(okClicks, 1);
  EXPECT_EQ(cancelClicks, 1);
  // Enter clicks the focused button, whichever is the default. Taking the
  // focus fires the framework's focus-enter event, which the launcher's
  // buttons use beside OnMouseEnter.
  int entered = 0;
  cancel->OnEnter = [&](forms::TObject*) { ++entered; };
  cancel->SetFocus();
  Application->ProcessMessages();
  EXPECT_EQ(entered, 1);
  EXPECT_TRUE(cancel->ActiveDefault());
  EXPECT_FALSE(ok->ActiveDefault());
  pt::InjectKey(VK_RETURN);
  Application->ProcessMessages();
  EXPECT_EQ(okClicks, 1);
  EXPECT_EQ(cancelClicks, 2);
  // Neither with Shift, Ctrl or Alt held.
  box->SetFocus();
  for (WPARAM modifier : {VK_SHIFT, VK_CONTROL, VK_MENU}) {
    pt::InjectKeyDown(modifier);
    pt::InjectKey(VK_RETURN);
    pt::InjectKey(VK_ESCAPE);
    pt::InjectKeyUp(modifier);
  }
  Application->ProcessMessages();
  EXPECT_EQ(okClicks, 1);
  EXPECT_EQ(cancelClicks, 2);
  // The accelerator clicks.
  TskButton* apply = Button("&Apply", 190, 10);
  int applyClicks = 0;
  apply->OnClick = [&](forms::TObject*) { ++applyClicks; };
  pt::InjectKeyDown(VK_MENU);
  pt::InjectKey('A');
  pt::InjectKeyUp(VK_MENU);
  Application->ProcessMessages();
  EXPECT_EQ(applyClicks, 1);
}

TEST_F(ButtonTest, ModalResultClosesAShowModalForm) {
  TskButton* ok = Button("OK", 10, 10);
  ok->ModalResult = forms::mrOk;
  // The click comes due while the modal loop waits.
  pt::InjectClick(pt::Button::Left, 20, 20, 50100u);
  EXPECT_EQ(form_->ShowModal(), forms::mrOk);
  EXPECT_EQ(timeGetTime(), 50100u);
}

TEST_F(ButtonTest, RepeatTimerTicksWhilePressedAndStopsWithIt) {
  TskButton* b = Button("Hold", 10, 10);
  int ticks = 0;
  b->OnMouseContinuouslyDown = [&](forms::TObject*) { ++ticks; };
  int clicks = 0;
  b->OnClick = [&](forms::TObject*) { ++clicks; };
  ShowAndSettle();
  pt::InjectMouseMove(20, 20);
  pt::InjectButtonDown(pt::Button::Left, 20, 20);
  pt::InjectButtonUp(pt::Button::Left, 20, 20, 50350u);
  while (timeGetTime() < 50350u || pt::PendingMessages() > 0) Application->HandleMessage();
  EXPECT_EQ(ticks, 3);  // at 100, 200 and 300 ms
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(b->RepeatTimerRunning());
  // Leaving the button's bounds while held ends the pressed state and the
  // timer with it.
  pt::InjectButtonDown(pt::Button::Left, 20, 20);
  Application->ProcessMessages();
  EXPECT_TRUE(b->Pressed());
  EXPECT_TRUE(b->RepeatTimerRunning());
  pt::InjectMouseMove(200, 100);
  Application->ProcessMessages();
  EXPECT_FALSE(b->Pressed());
  EXPECT_FALSE(b->RepeatTimerRunning());
  pt::AdvanceClock(1000);
  Application->ProcessMessages();
  EXPECT_EQ(ticks, 3);
  pt::InjectButtonUp(pt::Button::Left, 200, 100);
  Application->ProcessMessages();
  EXPECT_EQ(clicks, 1);
}

TEST_F(ButtonTest, CheckBoxStateAndClicks) {
  TskCheckBox* box = CheckBox("Box", 10, 10);
  int clicks = 0;
  box->OnClick = [&](forms::TObject*) { ++clicks; };
  box->SetChecked(true);
  EXPECT_EQ(clicks, 1);
  box->SetChecked(true);  // the same value fires nothing
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(box->State(), TCheckBoxState::cbChecked);
  box->SetState(TCheckBoxState::cbGrayed);
  EXPECT_FALSE(box->Checked());
  EXPECT_EQ(clicks, 2);
  form_->BeginLoading();
  box->SetChecked(true);  // while loading: no OnClick
  form_->Loaded();
  EXPECT_TRUE(box->Checked());
  EXPECT_EQ(clicks, 2);
  ShowAndSettle();
  pt::InjectClick(pt::Button::Left, 15, 15);
  Application->ProcessMessages();
  EXPECT_FALSE(box->Checked());
  EXPECT_EQ(clicks, 3);
  EXPECT_TRUE(box->Focused());
  pt::InjectKey(VK_SPACE);
  Application->ProcessMessages();
  EXPECT_TRUE(box->Checked());
}

TEST_F(ButtonTest, AutoSizeAndFileThemes) {
  TskButton* b = Button("A", 0, 0);
  b->SetUIStyle(TskUIStyle::FromThemeFile);
  b->SetAutoSize(true);
  // No built-in bitmap: 74 x 21 divided into three frames.
  EXPECT_EQ(b->Width(), 24);
  EXPECT_EQ(b->Height(), 21);
  b->SetUIStyle(TskUIStyle::Ocean);
  EXPECT_EQ(b->Width(), 80);
  EXPECT_EQ(b->Height(), 27);
  // Controls dropped on a form start in Ocean; a removed theme drops back.
  EXPECT_EQ(Button("B", 0, 0)->UIStyle(), TskUIStyle::Ocean);
  auto* theme = new TskFileTheme(form_);
  auto* panel = new forms::TPanel(form_);
  panel->SetParent(form_);
  TskCheckBox* box = CheckBox("C", 0, 40);
  ApplyThemeToChildren(form_, TskUIStyle::FromThemeFile, theme);
  EXPECT_EQ(b->FileTheme(), theme);
  EXPECT_EQ(b->UIStyle(), TskUIStyle::FromThemeFile);
  EXPECT_EQ(box->FileTheme(), theme);
  // A ready theme without a button bitmap: the blank 74 x 21 fallback,
  // stretched; the caption in the theme's button font colour.
  testkit::ZipEntry e;
  e.data = testkit::WriteSkinData({testkit::SkinInteger("SKIN2_BUTTONFONTCOLOR", 0x0000FF)});
  std::vector<uint8_t> zip = testkit::WriteZip({e});
  std::ofstream("plain.sk", std::ios::binary).write(reinterpret_cast<const char*>(zip.data()), static_cast<std::streamsize>(zip.size()));
  theme->SetThemeFile("plain.sk");
  ASSERT_TRUE(theme->Ready());
  b->SetAutoSize(false);
  b->SetBounds(0, 0, 80, 27);
  b->SetFileTheme(theme);
  EXPECT_EQ(b->Font().Color(), 0x0000FF);
  ShowAndSettle();
  pt::Picture pic = Picture();
  EXPECT_EQ(pic.At(1, 1), 0xFFFFFFu);
  EXPECT_EQ(pic.At(78, 25), 0xFFFFFFu);
  delete theme;
  EXPECT_EQ(b->FileTheme(), nullptr);
  EXPECT_EQ(b->UIStyle(), TskUIStyle::Ocean);
  EXPECT_EQ(box->UIStyle(), TskUIStyle::Ocean);
}

TEST_F(ButtonTest, GlyphsAndPressedCaptions) {
  TskButton* b = Button("Go", 10, 10);
  // A glyph twice as wide as high holds two images: red, then blue.
  forms::TBitmap glyph(8, 4);
  glyph.Canvas().Brush().Color = forms::clRed;
  glyph.Canvas().FillRect(forms::Rect(0, 0, 4, 4));
  glyph.Canvas().Brush().Color = forms::clBlue;
  glyph.Canvas().FillRect(forms::Rect(4, 0, 8, 4));
  glyph.Canvas().SetPixel(0, 0, forms::clLime);  // the mask colour
  b->SetGlyph(glyph);
  ShowAndSettle();
  forms::TCanvas m;
  const int tw = m.TextWidth("Go"), th = m.TextHeight("Go");
  GlyphPlacement p = PlaceGlyph(TButtonLayout::blGlyphLeft, 80, 27, 4, 4, tw, th, 4);
  pt::Picture pic = Picture();
  EXPECT_EQ(pic.At(10 + p.glyph.X + 1, 10 + p.glyph.Y + 1), forms::ColorToPixel(forms::clRed));
  EXPECT_NE(pic.At(10 + p.glyph.X, 10 + p.glyph.Y), forms::ColorToPixel(forms::clLime));  // masked
  b->SetEnabled(false);
  pic = Picture();
  EXPECT_EQ(pic.At(10 + p.glyph.X + 1, 10 + p.glyph.Y + 1), forms::ColorToPixel(forms::clBlue));
  // Pressed by Space: the glyph moves one pixel right and down.
  b->SetEnabled(true);
  b->SetFocus();
  pt::InjectKeyDown(VK_SPACE);
  pic = Picture();
  ASSERT_TRUE(b->Pressed());
  EXPECT_EQ(pic.At(10 + p.glyph.X + 4, 10 + p.glyph.Y + 4), forms::ColorToPixel(forms::clRed));
  pt::InjectKeyUp(VK_SPACE);
  Application->ProcessMessages();
  EXPECT_FALSE(b->Pressed());
}

// Ink of the caption (black) inside a button's border.
std::vector<std::pair<int, int>> CaptionInk(const pt::Picture& pic, int left, int top) {
  std::vector<std::pair<int, int>> ink;
  for (int y = top + 3; y < top + 24; ++y) {
    for (int x = left + 3; x < left + 77; ++x) {
      if (pic.At(x, y) == 0) ink.push_back({x - left, y - top});
    }
  }
  return ink;
}

// A form of buttons and check boxes in each state, in one style.
class ButtonGoldenTest : public ButtonTest, public ::testing::WithParamInterface<TskUIStyle> {};

std::string StyleName(TskUIStyle s) {
  const char* names[] = {"file", "pearl", "meadow", "ocean", "ember", "glacier"};
  return names[static_cast<int>(s)];
}

TEST_P(ButtonGoldenTest, DrawnStates) {
  const TskUIStyle style = GetParam();
  form_->SetColor(GetThemeColor(style, tsFormColor));
  TskButton* normal = Button("Normal", 10, 10);
  TskButton* hover = Button("Hover", 105, 10);
  TskButton* disabled = Button("Disabled", 200, 10);
  TskButton* focused = Button("&Focused", 10, 50);
  TskButton* pressed = Button("Pressed", 105, 50);
  TskCheckBox* checked = CheckBox("Checked", 10, 95);
  TskCheckBox* unchecked = CheckBox("Unchecked", 100, 95);
  TskCheckBox* off = CheckBox("Disabled", 200, 95);
  for (TskButton* b : {normal, hover, disabled, focused, pressed}) b->SetUIStyle(style);
  for (TskCheckBox* c : {checked, unchecked, off}) c->SetUIStyle(style);
  checked->SetChecked(true);
  off->SetChecked(true);
  off->SetEnabled(false);
  disabled->SetEnabled(false);
  ShowAndSettle();
  focused->SetFocus();
  pt::InjectMouseMove(150, 20);
  pt::Picture idle = Picture();
  EXPECT_TRUE(hover->Hover());
  EXPECT_TRUE(skin::testing::MatchesGolden(idle, "buttons_" + StyleName(style)));

  // Worked out from the layout: the normal frame's corner at the button's
  // corner (see-through in transparent styles), the focus rectangle two
  // pixels in.
  forms::TBitmap frame;
  LoadThemeBitmapFrame(style, tsButtonBitmap, &frame, 1, 3);
  const bool transparent = GetThemeBool(style, tsButtonTransparent) != 0;
  EXPECT_EQ(idle.At(10, 10), transparent ? forms::ColorToPixel(form_->Color()) : frame.PixelAt(0, 0));
  EXPECT_EQ(idle.At(10 + 79, 10 + 26), transparent ? forms::ColorToPixel(form_->Color()) : frame.PixelAt(79, 26));
  const bool boldFocus = style == TskUIStyle::Pearl || style == TskUIStyle::Glacier;
  if (!boldFocus) {
    EXPECT_EQ(idle.At(10 + 2, 50 + 2), idle.At(10 + 2, 10 + 2) ^ 0xFFFFFFu);
    EXPECT_EQ(idle.At(10 + 1, 50 + 1), idle.At(10 + 1, 10 + 1));
  }
  // Pressed: the caption one pixel right and down of where it was.
  std::vector<std::pair<int, int>> before = CaptionInk(idle, 105, 50);
  pt::InjectMouseMove(115, 60);
  pt::InjectButtonDown(pt::Button::Left, 115, 60);
  pt::Picture down = Picture();
  EXPECT_TRUE(pressed->Pressed());
  std::vector<std::pair<int, int>> after = CaptionInk(down, 105, 50);
  ASSERT_FALSE(before.empty());
  if (!boldFocus) {  // the pressed button took the focus: bold in these styles
    ASSERT_EQ(before.size(), after.size());
    for (size_t i = 0; i < before.size(); ++i) {
      EXPECT_EQ(after[i].first, before[i].first + 1);
      EXPECT_EQ(after[i].second, before[i].second + 1);
    }
  }
  if (style == TskUIStyle::Ocean || style == TskUIStyle::Pearl) {
    EXPECT_TRUE(skin::testing::MatchesGolden(down, "buttons_" + StyleName(style) + "_pressed"));
  }
  pt::InjectButtonUp(pt::Button::Left, 115, 60);
  Application->ProcessMessages();
}

INSTANTIATE_TEST_SUITE_P(Styles, ButtonGoldenTest,
                         ::testing::Values(TskUIStyle::Pearl, TskUIStyle::Meadow, TskUIStyle::Ocean, TskUIStyle::Ember,
                                           TskUIStyle::Glacier),
                         [](const auto& info) { return StyleName(info.param); });

}  // namespace
}  // namespace skin
