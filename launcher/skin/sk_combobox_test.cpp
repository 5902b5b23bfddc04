// The skinned combo box: its frame, button and arrow in each kind of style
// (pixels worked out from the layout), colours from a file theme (and a
// theme lacking them), the dropped-down list's frame, and goldens.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "launcher/skin/golden.h"
#include "launcher/skin/sk_combobox.h"
#include "launcher/skin/sk_form.h"
#include "launcher/skin/sk_menu.h"
#include "launcher/skin/sk_panels.h"
#include "launcher/skin/sk_public.h"
#include "platform/forms/forms.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "tools/skin_archive_writer.h"

namespace skin {
namespace {

namespace pt = platform::testing;
namespace tk = testkit;
using forms::Application;
using forms::ColorToPixel;

class ComboTest : public pt::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    pt::TakeClock(50000);
    Application->Reset();
    form_ = new forms::TForm(nullptr);
    form_->SetBounds(50, 40, 300, 160);
    form_->SetColor(0x00FF00);
  }
  void TearDown() override {
    delete form_;
    Application->Reset();
    pt::Reset();
    PlatformTest::TearDown();
  }
  TskComboBox* Combo(int x, int y, TskUIStyle style, forms::TWinControl* parent = nullptr) {
    auto* c = new TskComboBox(form_);
    c->SetParent(parent ? parent : form_);
    c->SetBounds(x, y, 120, 0);
    c->SetUIStyle(style);
    c->AddItem("1024 x 768");
    c->AddItem("1280 x 960");
    c->SetItemIndex(1);
    return c;
  }
  pt::Picture Picture() {
    form_->Show();
    Application->ProcessMessages();
    return pt::WindowPixels(form_->Handle());
  }
  forms::TForm* form_ = nullptr;
};

// A combo box 120 x 21 at (10, 10): the button is (102, 2)-(118, 19) of
// the control, the arrow's tip row at y = 17 / 2 = 8 from x = 102 + 8 - 3.
constexpr int kX = 10, kY = 10;
constexpr int kArrowX = kX + 107, kArrowY = kY + 8;

TEST_F(ComboTest, FrameButtonAndArrowByStyle) {
  TskComboBox* c = Combo(kX, kY, TskUIStyle::Ocean);
  ASSERT_EQ(c->Height(), 21);
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(CallGetComboBoxInfo(c->Handle(), &info));
  ASSERT_EQ(info.rcButton.left, 102);
  ASSERT_EQ(info.rcButton.bottom, 19);

  pt::Picture p = Picture();
  const uint32_t border = ColorToPixel(GetThemeColor(TskUIStyle::Ocean, tsControlBorderColor));
  const uint32_t button = ColorToPixel(GetThemeColor(TskUIStyle::Ocean, tsFormColor));
  const uint32_t fill = ColorToPixel(c->Color());
  EXPECT_EQ(p.At(kX, kY), border);
  EXPECT_EQ(p.At(kX + 119, kY + 20), border);
  EXPECT_EQ(p.At(kX + 1, kY + 1), fill);
  EXPECT_EQ(p.At(kX + 60, kY + 19), fill);
  EXPECT_EQ(p.At(kX + 102, kY + 10), border);  // the line left of the button
  EXPECT_EQ(p.At(kX + 115, kY + 15), button);
  // The triangle (107, 8), (113, 8), (110, 11): its tip row and point.
  for (int x = kArrowX; x <= kArrowX + 6; ++x) EXPECT_EQ(p.At(x, kArrowY), 0u) << x;
  EXPECT_EQ(p.At(kArrowX + 3, kArrowY + 3), 0u);
  EXPECT_EQ(p.At(kArrowX - 1, kArrowY), button);
  EXPECT_EQ(p.At(kArrowX + 3, kArrowY + 4), button);

  // Meadow: the bitmap button, whose own arrow is all there is.
  c->SetUIStyle(TskUIStyle::Meadow);
  p = Picture();
  EXPECT_EQ(p.At(kX + 102, kY + 2), 0x4E8C3Au);  // the bitmap's frame
  EXPECT_EQ(p.At(kX + 110, kY + 9), 0x25561Au);  // its arrow's top row
  EXPECT_EQ(p.At(kX + 105, kY + 9), 0xB5DDA4u);  // drawn arrow would be black here
  EXPECT_EQ(p.At(kArrowX + 3, kArrowY + 3), 0x25561Au);
  EXPECT_EQ(p.At(kArrowX + 6, kArrowY), 0xB5DDA4u);

  // Pearl: the bitmap under the drawn arrow.
  c->SetUIStyle(TskUIStyle::Pearl);
  p = Picture();
  EXPECT_EQ(p.At(kX + 102, kY + 2), 0x7F9DB9u);
  EXPECT_EQ(p.At(kArrowX, kArrowY), 0u);
  EXPECT_EQ(p.At(kArrowX + 6, kArrowY), 0u);

  // Disabled: a white triangle one pixel larger, then the grey one.
  c->SetUIStyle(TskUIStyle::Ocean);
  c->SetEnabled(false);
  p = Picture();
  EXPECT_EQ(p.At(kArrowX, kArrowY), 0x808080u);
  EXPECT_EQ(p.At(kArrowX + 3, kArrowY + 1), 0x808080u);
  EXPECT_EQ(p.At(kArrowX + 7, kArrowY + 1), 0xFFFFFFu);
  EXPECT_EQ(p.At(kArrowX + 4, kArrowY + 4), 0xFFFFFFu);
  EXPECT_EQ(p.At(kArrowX + 6, kArrowY + 1), 0xFFFFFFu);
}

TEST_F(ComboTest, DroppedDownListIsFramedAndSimpleStyleIsLeftAlone) {
  TskComboBox* c = Combo(kX, kY, TskUIStyle::Ember);
  Picture();
  c->SetDroppedDown(true);
  ASSERT_TRUE(c->DroppedDown());
  c->Repaint();
  Application->ProcessMessages();
  pt::Picture list = pt::WindowPixels(c->ListHandle());
  const uint32_t border = ColorToPixel(c->BorderColor());
  ASSERT_GT(list.width, 2);
  EXPECT_EQ(list.At(0, 0), border);
  EXPECT_EQ(list.At(list.width - 1, list.height - 1), border);
  c->SetDroppedDown(false);

  // csSimple: the framework's own picture, no frame of the theme.
  c->SetStyle(forms::TComboBoxStyle::csSimple);
  c->SetBounds(kX, kY, 120, 80);
  pt::Picture p = Picture();
  EXPECT_NE(p.At(kX, kY), border);
  EXPECT_EQ(p.At(kX, kY), ColorToPixel(forms::clBtnShadow));
}

class ComboFileThemeTest : public ComboTest {
 protected:
  std::string Theme(std::vector<tk::SkinValue> values) {
    tk::ZipEntry e;
    e.data = tk::WriteSkinData(values);
    const std::vector<uint8_t> zip = tk::WriteZip({e});
    const std::string path = work_ + "/theme" + std::to_string(count_++) + ".sk";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(zip.data()),
                                                static_cast<std::streamsize>(zip.size()));
    return path;
  }
  int count_ = 0;
};

TEST_F(ComboFileThemeTest, ColoursFromTheThemeAndWithoutThem) {
  auto* theme = new TskFileTheme(form_);
  theme->SetThemeFile(Theme({tk::SkinInteger("SKIN2_CONTROLBORDERCOLOR", 0x0000FF),
                             tk::SkinInteger("SKIN2_CONTROLCOLOR", 0x00FFFF)}));
  ASSERT_TRUE(theme->Ready());
  TskComboBox* c = Combo(kX, kY, TskUIStyle::FromThemeFile);
  c->SetFileTheme(theme);
  EXPECT_EQ(c->BorderColor(), 0x0000FF);
  EXPECT_EQ(c->ButtonColor(), 0x00FFFF);
  EXPECT_EQ(c->ArrowColor(), 0);
  pt::Picture p = Picture();
  EXPECT_EQ(p.At(kX, kY), 0xFF0000u);
  EXPECT_EQ(p.At(kX + 115, kY + 15), 0xFFFF00u);

  // A ready theme without the keys: -1, a colour like any other; the box
  // still paints whole.
  auto* bare = new TskFileTheme(form_);
  bare->SetThemeFile(Theme({tk::SkinInteger("SKIN2_FORMCOLOR", 0x123456)}));
  ASSERT_TRUE(bare->Ready());
  c->SetFileTheme(bare);
  EXPECT_EQ(c->BorderColor(), -1);
  EXPECT_EQ(c->ButtonColor(), -1);
  p = Picture();
  EXPECT_EQ(p.At(kX, kY), ColorToPixel(-1));
  EXPECT_EQ(p.At(kArrowX, kArrowY), 0u);

  // Removing the theme falls back to Ocean.
  delete bare;
  EXPECT_EQ(c->FileTheme(), nullptr);
  EXPECT_EQ(c->UIStyle(), TskUIStyle::Ocean);
  EXPECT_EQ(c->BorderColor(), GetThemeColor(TskUIStyle::Ocean, tsControlBorderColor));
}

TEST_F(ComboTest, GroupBoxRestylesItsComboBoxes) {
  auto* box = new TskGroupBox(form_);
  box->SetParent(form_);
  TskComboBox* c = Combo(10, 20, TskUIStyle::Ocean, box);
  box->SetUIStyle(TskUIStyle::Glacier);
  EXPECT_EQ(c->UIStyle(), TskUIStyle::Glacier);
  EXPECT_EQ(c->BorderColor(), GetThemeColor(TskUIStyle::Glacier, tsControlBorderColor));
}

std::string StyleName(TskUIStyle s) {
  const char* names[] = {"file", "pearl", "meadow", "ocean", "ember", "glacier"};
  return names[static_cast<int>(s)];
}

class ComboGoldenTest : public ComboTest, public ::testing::WithParamInterface<TskUIStyle> {};

// A group box of an enabled, a disabled and an empty list-only combo box.
TEST_P(ComboGoldenTest, GroupOfComboBoxes) {
  const TskUIStyle style = GetParam();
  form_->SetColor(GetThemeColor(style, tsFormColor));
  auto* box = new TskGroupBox(form_);
  box->SetParent(form_);
  box->SetBounds(8, 8, 280, 130);
  box->SetCaption("Graphics");
  box->SetUIStyle(style);
  TskComboBox* enabled = Combo(12, 24, style, box);
  TskComboBox* disabled = Combo(12, 56, style, box);
  disabled->SetEnabled(false);
  TskComboBox* list = Combo(12, 88, style, box);
  list->SetStyle(forms::TComboBoxStyle::csDropDownList);
  list->SetItemIndex(-1);
  (void)enabled;
  EXPECT_TRUE(skin::testing::MatchesGolden(Picture(), "combobox_" + StyleName(style)));
}

// A themed form (title bar, menu bar) holding a group box of an enabled
// and a disabled combo box.
TEST_P(ComboGoldenTest, ThemedFormWithComboBoxes) {
  const TskUIStyle style = GetParam();
  form_->SetBounds(40, 30, 260, 190);
  form_->SetCaption("Settings");
  auto* menu = new TskMainMenu(form_);
  for (const char* caption : {"&File", "&Help"}) {
    auto* item = new forms::TMenuItem(menu);
    item->SetCaption(caption);
    menu->Items()->Add(item);
  }
  auto* sk = new TskForm(form_);
  sk->SetUIStyle(style);
  sk->SetMenu(menu);
  auto* box = new TskGroupBox(form_);
  box->SetParent(sk);
  box->SetBounds(10, 56, 230, 100);
  box->SetCaption("Video");
  TskComboBox* resolution = Combo(12, 24, style, box);
  TskComboBox* quality = Combo(12, 58, style, box);
  quality->SetEnabled(false);
  sk->UIStyleAutoUpdateSub = true;
  sk->SetUIStyle(style);
  EXPECT_EQ(resolution->UIStyle(), style);
  pt::Picture p = Picture();
  EXPECT_TRUE(skin::testing::MatchesGolden(p, "form_combobox_" + StyleName(style)));
  // The combo box's frame in the style's control border colour, worked out
  // from its place on the form.
  const forms::TPoint at = resolution->ClientToScreen(forms::Point(0, 0));
  const int x = at.X - form_->Left(), y = at.Y - form_->Top();
  EXPECT_EQ(p.At(x, y), ColorToPixel(GetThemeColor(style, tsControlBorderColor)));
  EXPECT_EQ(p.At(x + 119, y + 20), ColorToPixel(GetThemeColor(style, tsControlBorderColor)));
}

INSTANTIATE_TEST_SUITE_P(Styles, ComboGoldenTest,
                         ::testing::Values(TskUIStyle::Pearl, TskUIStyle::Meadow, TskUIStyle::Ocean, TskUIStyle::Ember,
                                           TskUIStyle::Glacier),
                         [](const auto& info) { return StyleName(info.param); });

}  // namespace
}  // namespace skin
