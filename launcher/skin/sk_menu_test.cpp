// Skinned menus: measuring by style, the height setters per menu kind,
// disabled, checked and default items, items added later, file-theme
// colours, and a drawn pop-up as a golden.
#include <gtest/gtest.h>

#include <fstream>

#include "launcher/skin/golden.h"
#include "launcher/skin/sk_menu.h"
#include "launcher/skin/sk_themes.h"
#include "platform/forms/forms.h"
#include "platform/forms/stdctrls.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"
#include "tools/skin_archive_writer.h"

namespace skin {
namespace {

namespace pt = platform::testing;
using forms::TMenuItem;
using S = TskUIStyle;

TMenuItem* Item(forms::TMenuItem* parent, const std::string& caption) {
  auto* item = new TMenuItem(nullptr);
  item->SetCaption(caption);
  parent->Add(item);
  return item;
}

struct Drawn {
  forms::TBitmap bitmap;
  pt::Picture Picture() const {
    pt::Picture p;
    p.width = bitmap.Width();
    p.height = bitmap.Height();
    p.pixels.assign(bitmap.Bits(), bitmap.Bits() + static_cast<size_t>(p.width) * p.height);
    return p;
  }
};

// The pop-up's items as its window shows them.
void DrawPopup(forms::TMenu& menu, int selected, Drawn& out) {
  forms::TBitmap probe(1, 1);
  forms::TPoint size = menu.MeasurePopup(menu.Items(), probe.Canvas());
  out.bitmap.SetSize(size.X, size.Y);
  menu.PaintPopup(menu.Items(), out.bitmap.Canvas(), selected);
}

int MeasureHeight(TMenuItem* item) {
  forms::TBitmap probe(1, 1);
  int w = 0, h = 0;
  item->MeasureItem(probe.Canvas(), w, h);
  return h;
}

class MenuTest : public pt::PlatformTest {
 protected:
  void TearDown() override {
    pt::Reset();
    PlatformTest::TearDown();
  }
};

TEST_F(MenuTest, MeasuringByStyleAndMenuKind) {
  for (S style : {S::Pearl, S::Meadow, S::Ocean, S::Ember, S::Glacier}) {
    TskPopupMenu popup(nullptr);
    popup.SetUIStyle(style);
    TMenuItem* line = Item(popup.Items(), "-");
    TMenuItem* open = Item(popup.Items(), "&Open");
    open->SetShortCut(forms::ShortCut('O', forms::ssCtrl));
    const bool pearl = style == S::Pearl;
    EXPECT_EQ(MeasureHeight(line), pearl ? 12 : 5) << static_cast<int>(style);
    EXPECT_EQ(MeasureHeight(open), pearl ? 20 : 21);
    EXPECT_EQ(popup.Look().BarWidth, 26);
    // The popup ignores item and separator heights in Pearl only.
    popup.SetMenuItemHeight(30);
    popup.SetSeparatorHeight(9);
    EXPECT_EQ(MeasureHeight(open), pearl ? 20 : 30);
    EXPECT_EQ(MeasureHeight(line), pearl ? 12 : 9);

    TskMainMenu main(nullptr);
    main.SetUIStyle(style);
    TMenuItem* file = Item(main.Items(), "File");
    main.SetMenuItemHeight(30);
    main.SetSeparatorHeight(9);
    EXPECT_EQ(MeasureHeight(file), 30);
    EXPECT_EQ(MeasureHeight(Item(main.Items(), "-")), pearl ? 12 : 9);
  }
  // A caption taller than the item height sets the height; the width is
  // caption + short cut + bar + 40.
  TskPopupMenu popup(nullptr);
  popup.SetUIStyle(S::Ocean);
  popup.SetMenuItemHeight(4);
  TMenuItem* open = Item(popup.Items(), "&Open");
  open->SetShortCut(forms::ShortCut('O', forms::ssCtrl));
  forms::TBitmap probe(1, 1);
  forms::GetMenuFont(probe.Canvas().Font());
  const int textW = probe.Canvas().TextWidth("Open"), scW = probe.Canvas().TextWidth("Ctrl+O");
  const int textH = probe.Canvas().TextHeight("&Open");
  int w = 0, h = 0;
  open->MeasureItem(probe.Canvas(), w, h);
  EXPECT_EQ(h, textH);
  EXPECT_EQ(w, textW + scW + 26 + 40);
}

TEST_F(MenuTest, DisabledItemsAreGreyAndNeverSelected) {
  TskPopupMenu popup(nullptr);
  popup.SetUIStyle(S::Ocean);
  Item(popup.Items(), "Cut")->SetEnabled(false);
  Item(popup.Items(), "Copy");
  Drawn disabled, enabled;
  DrawPopup(popup, 0, disabled);
  const uint32_t menu = forms::ColorToPixel(popup.Look().Color);
  const uint32_t selected = forms::ColorToPixel(popup.Look().SelectedColor);
  // The disabled first item keeps the plain background and grey text.
  EXPECT_EQ(disabled.bitmap.PixelAt(disabled.bitmap.Width() - 3, 5), menu);
  bool grey = false, other = false;
  for (int y = 0; y < 21; ++y) {
    for (int x = 30; x < disabled.bitmap.Width(); ++x) {
      uint32_t p = disabled.bitmap.PixelAt(x, y);
      grey |= p == 0x808080;
      other |= p != 0x808080 && p != menu;
    }
  }
  EXPECT_TRUE(grey);
  EXPECT_FALSE(other);
  DrawPopup(popup, 1, enabled);
  EXPECT_EQ(enabled.bitmap.PixelAt(enabled.bitmap.Width() - 3, 21 + 5), selected);
}

TEST_F(MenuTest, CheckedItemsWithAndWithoutImageAndItemsAddedLater) {
  TskPopupMenu popup(nullptr);
  popup.SetUIStyle(S::Meadow);
  popup.Loaded();
  forms::TImageList images(nullptr);
  forms::TBitmap red(16, 16);
  red.Canvas().Brush().Color = forms::clRed;
  red.Canvas().FillRect(forms::Rect(0, 0, 16, 16));
  images.Add(red);
  popup.SetImages(&images);
  // Added after loading: still measured and drawn by the menu.
  TMenuItem* plain = Item(popup.Items(), "Plain");
  TMenuItem* withImage = Item(popup.Items(), "Image");
  plain->SetChecked(true);
  withImage->SetChecked(true);
  withImage->SetImageIndex(0);
  EXPECT_TRUE(static_cast<bool>(plain->OnAdvancedDrawItem));
  Drawn d;
  DrawPopup(popup, -1, d);
  const uint32_t bar = forms::ColorToPixel(popup.Look().BarColor);
  // The check mark (black) inside the bar at x = 4, 3 below the top.
  bool black = false;
  for (int y = 3; y < 19; ++y) {
    for (int x = 4; x < 20; ++x) black |= d.bitmap.PixelAt(x, y) == 0;
  }
  EXPECT_TRUE(black);
  EXPECT_EQ(d.bitmap.PixelAt(4, 3), bar);  // white is see-through
  // With an image: a black frame from (2, top + 1), SelectedColor inside,
  // the image over it.
  const int top = 21;
  EXPECT_EQ(d.bitmap.PixelAt(2, top + 1), 0u);
  EXPECT_EQ(d.bitmap.PixelAt(20, top + 19), 0u);
  EXPECT_EQ(d.bitmap.PixelAt(3, top + 2), forms::ColorToPixel(popup.Look().SelectedColor));
  EXPECT_EQ(d.bitmap.PixelAt(4, top + 3), 0xFF0000u);
  popup.SetImages(nullptr);
}

TEST_F(MenuTest, FileThemeColoursAndItsRemoval) {
  testkit::ZipEntry e;
  e.data = testkit::WriteSkinData({testkit::SkinInteger("SKIN2_MENUITEMCOLOR", 0x112233),
                                   testkit::SkinInteger("SKIN2_SELECTEDMENUCOLOR", 0x445566)});
  std::vector<uint8_t> zip = testkit::WriteZip({e});
  std::ofstream("menu.sk", std::ios::binary)
      .write(reinterpret_cast<const char*>(zip.data()), static_cast<std::streamsize>(zip.size()));
  auto* theme = new TskFileTheme(nullptr);
  theme->SetThemeFile("menu.sk");
  ASSERT_TRUE(theme->Ready());
  TskMainMenu menu(nullptr);
  menu.SetUIStyle(S::FromThemeFile);
  menu.SetFileTheme(theme);
  EXPECT_EQ(menu.Look().Color, 0x112233);
  EXPECT_EQ(menu.Look().SelectedColor, 0x445566);
  // A key the archive lacks reads -1 as every missing integer does.
  EXPECT_EQ(menu.Look().FontColor, -1);
  delete theme;
  EXPECT_EQ(menu.FileTheme(), nullptr);
  EXPECT_EQ(menu.UIStyle(), S::Ocean);
  EXPECT_EQ(menu.Look().Color, GetThemeColor(S::Ocean, tsMenuColor));
  // The main menu reads no images while it uses its own check marks.
  EXPECT_EQ(menu.PublishedImages(), nullptr);
  EXPECT_NE(menu.Images(), nullptr);
}

// A flat menu's shown window: black, then white around the items, and
// the form's colour along the bottom and right edges; a plain one keeps
// its items to the edge.
TEST_F(MenuTest, FlatMenuFramesItsShownWindow) {
  pt::TakeClock(1000);
  forms::Application->Reset();
  forms::TForm form(nullptr);
  form.SetBounds(10, 10, 200, 100);
  form.Show();
  for (bool flat : {true, false}) {
    SCOPED_TRACE(flat);
    TskPopupMenu popup(&form);
    popup.SetUIStyle(S::Ocean);
    popup.Look().FlatMenu = flat;
    Item(popup.Items(), "&Open");
    Item(popup.Items(), "&Close");
    pt::Picture shown;
    forms::TTimer timer(nullptr);
    timer.SetInterval(50);
    timer.OnTimer = [&](forms::TObject*) {
      timer.SetEnabled(false);
      shown = pt::WindowPixels(popup.PopupWindow());
    };
    pt::InjectKey(VK_ESCAPE, timeGetTime() + 300);
    popup.Popup(40, 40);
    ASSERT_GT(shown.width, 4);
    const int w = shown.width, h = shown.height;
    const uint32_t form = GetThemeColor(S::Ocean, tsFormColor);
    const uint32_t formPixel = ((form & 0xFF) << 16) | (form & 0xFF00) | ((form >> 16) & 0xFF);
    if (flat) {
      EXPECT_EQ(shown.At(0, 1), 0x000000u);      // left edge, below the top row
      EXPECT_EQ(shown.At(w / 2, 1), 0x000000u);  // top
      EXPECT_EQ(shown.At(w - 2, h / 2), 0x000000u);
      EXPECT_EQ(shown.At(w / 2, h - 2), 0x000000u);
      EXPECT_EQ(shown.At(1, h / 2), 0xFFFFFFu);
      EXPECT_EQ(shown.At(w / 2, 2), 0xFFFFFFu);
      EXPECT_EQ(shown.At(w - 1, h / 2), formPixel);
      EXPECT_EQ(shown.At(w / 2, h - 1), formPixel);
    } else {
      EXPECT_NE(shown.At(0, h / 2), 0x000000u);
      EXPECT_NE(shown.At(w - 1, h / 2), formPixel);
    }
  }
  forms::Application->Reset();
  pt::ReleaseClock();
}

class MenuGoldenTest : public MenuTest, public ::testing::WithParamInterface<S> {};

TEST_P(MenuGoldenTest, PopupWithSeparatorDisabledAndCheckedItems) {
  TskPopupMenu popup(nullptr);
  popup.SetUIStyle(GetParam());
  Item(popup.Items(), "&Open")->SetShortCut(forms::ShortCut('O', forms::ssCtrl));
  Item(popup.Items(), "Save &As...")->SetDefault(true);
  Item(popup.Items(), "-");
  Item(popup.Items(), "&Print")->SetEnabled(false);
  Item(popup.Items(), "&Word wrap")->SetChecked(true);
  Drawn d;
  DrawPopup(popup, 1, d);
  const char* names[] = {"", "pearl", "meadow", "ocean", "ember", "glacier"};
  EXPECT_TRUE(skin::testing::MatchesGolden(d.Picture(), std::string("popup_menu_") + names[static_cast<int>(GetParam())]));
}

INSTANTIATE_TEST_SUITE_P(Styles, MenuGoldenTest, ::testing::Values(S::Pearl, S::Ocean, S::Ember));

}  // namespace
}  // namespace skin
