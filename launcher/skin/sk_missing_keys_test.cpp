// A ready file theme that lacks a key these controls read, each key left
// out in turn: a missing bitmap is an empty picture, a missing integer or
// colour reads -1, and the title bar, menus, combo box, group box and
// buttons still paint whole (the sanitizers watch every read).
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "launcher/skin/sk_button.h"
#include "launcher/skin/sk_combobox.h"
#include "launcher/skin/sk_menu.h"
#include "launcher/skin/sk_panels.h"
#include "launcher/skin/sk_titlebar.h"
#include "platform/forms/forms.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "tools/skin_archive_writer.h"

namespace skin {
namespace {

namespace pt = platform::testing;
namespace tk = testkit;
using forms::Application;

std::vector<uint8_t> Bmp(int w, int h, uint32_t fill) {
  return tk::WriteBmp24(w, h, std::vector<uint32_t>(static_cast<size_t>(w) * h, fill));
}

// Every key the title bar, menus, combo box, group box and buttons read,
// in a five-section title bar with transparent title buttons.
std::vector<tk::SkinValue> FullTheme() {
  std::vector<tk::SkinValue> v = {
      tk::SkinBitmap("SKIN2_TITLEBAR1", Bmp(12, 24, 0x203040)),
      tk::SkinBitmap("SKIN2_TITLEBAR2", Bmp(40, 24, 0x304050)),
      tk::SkinBitmap("SKIN2_TITLEBAR3", Bmp(10, 24, 0x405060)),
      tk::SkinBitmap("SKIN2_TITLEBAR4", Bmp(8, 24, 0x506070)),
      tk::SkinBitmap("SKIN2_TITLEBAR5", Bmp(30, 24, 0x607080)),
      tk::SkinBitmap("SKIN2_TITLEBUTTONS", Bmp(16 * 12, 16, 0x708090)),
      tk::SkinBitmap("SKIN2_BUTTON", Bmp(75 * 5, 25, 0x8090A0)),
      tk::SkinBitmap("SKIN2_CHECKBOX", Bmp(13 * 8, 13, 0x90A0B0)),
      tk::SkinByte("SKIN2_TITLEFIVESECT", 1),
      tk::SkinByte("SKIN2_TITLEBTNTRANS", 1),
      tk::SkinByte("SKIN2_BUTTONTRANS", 1),
      tk::SkinByte("SKIN2_CHECKBOXTRANS", 1),
  };
  for (const char* key : kSkinIntegerKeys) v.push_back(tk::SkinInteger(key, 4));
  for (int i : {0, 1, 2, 9, 11, 12, 13, 14, 15, 21, 22, 23, 24}) {
    v.push_back(tk::SkinInteger(kSkinColorKeys[i], 0x102030 * (i + 1) & 0xFFFFFF));
  }
  return v;
}

class MissingKeyTest : public pt::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    pt::TakeClock(50000);
    Application->Reset();
  }
  void TearDown() override {
    Application->Reset();
    pt::Reset();
    PlatformTest::TearDown();
  }
  std::string Write(const std::vector<tk::SkinValue>& values) {
    tk::ZipEntry e;
    e.data = tk::WriteSkinData(values);
    const std::vector<uint8_t> zip = tk::WriteZip({e});
    const std::string path = work_ + "/skin" + std::to_string(count_++) + ".sk";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(zip.data()),
                                                static_cast<std::streamsize>(zip.size()));
    return path;
  }
  int count_ = 0;
};

TEST_F(MissingKeyTest, EachKeyLeftOutInTurn) {
  const std::vector<tk::SkinValue> full = FullTheme();
  for (size_t left = 0; left <= full.size(); ++left) {
    const std::string missing = left < full.size() ? full[left].name : "(none)";
    SCOPED_TRACE(missing);
    std::vector<tk::SkinValue> values;
    for (size_t i = 0; i < full.size(); ++i) {
      if (i != left) values.push_back(full[i]);
    }
    auto* form = new forms::TForm(nullptr);
    form->SetBounds(40, 30, 320, 200);
    auto* theme = new TskFileTheme(form);
    theme->SetThemeFile(Write(values));
    ASSERT_TRUE(theme->Ready());
    auto* bar = new TskTitleBar(form);
    bar->SetParent(form);
    bar->SetFileTheme(theme);
    bar->SetUIStyle(TskUIStyle::FromThemeFile);
    bar->SetCaption("A caption long enough to be cut with dots at the end");
    auto* box = new TskGroupBox(form);
    box->SetParent(form);
    box->SetBounds(8, 40, 300, 140);
    auto* combo = new TskComboBox(form);
    combo->SetParent(box);
    combo->SetBounds(10, 24, 140, 0);
    combo->AddItem("One");
    combo->SetItemIndex(0);
    auto* button = new TskButton(form);
    button->SetParent(box);
    button->SetBounds(10, 60, 75, 25);
    button->SetCaption("OK");
    auto* check = new TskCheckBox(form);
    check->SetParent(box);
    check->SetBounds(10, 95, 120, 17);
    check->SetCaption("Check");
    box->SetFileTheme(theme);
    box->SetUIStyle(TskUIStyle::FromThemeFile);
    EXPECT_EQ(combo->UIStyle(), TskUIStyle::FromThemeFile);
    form->Show();
    Application->ProcessMessages();
    pt::Picture p = pt::WindowPixels(form->Handle());
    EXPECT_EQ(p.width, 320);

    // A missing bitmap is an empty section; a missing integer reads -1.
    for (int i = 0; i < bar->SectionCount(); ++i) {
      forms::TBitmap& pic = bar->Sections(i)->Picture();
      const bool gone = missing == kSkinBitmapKeys[i];
      EXPECT_EQ(pic.Empty(), gone) << i;
      if (gone) EXPECT_EQ(pic.Width() + pic.Height(), 0);
    }
    EXPECT_EQ(bar->LeftBtnXOffset, missing == kSkinIntegerKeys[0] ? -1 : 4);
    EXPECT_EQ(bar->RightBtnXOffset, missing == kSkinIntegerKeys[3] ? -1 : 4);
    for (int i = 0; i < bar->ButtonCount(); ++i) {
      const forms::TRect r = bar->ButtonRect(i);
      EXPECT_LE(r.Left, r.Right);
      EXPECT_LE(r.Top, r.Bottom);
    }
    EXPECT_EQ(combo->BorderColor(), missing == kSkinColorKeys[22] ? -1 : theme->GetColor(22));

    TskPopupMenu menu(nullptr);
    menu.SetFileTheme(theme);
    menu.SetUIStyle(TskUIStyle::FromThemeFile);
    for (const char* caption : {"&Open", "-", "&Close"}) {
      auto* item = new forms::TMenuItem(nullptr);
      item->SetCaption(caption);
      menu.Items()->Add(item);
    }
    menu.Items()->Items(2)->SetChecked(true);
    forms::TBitmap probe(1, 1);
    const forms::TPoint size = menu.MeasurePopup(menu.Items(), probe.Canvas());
    ASSERT_GT(size.X, 0);
    forms::TBitmap drawn(size.X, size.Y);
    menu.PaintPopup(menu.Items(), drawn.Canvas(), 0);
    EXPECT_EQ(menu.Look().Color, missing == kSkinColorKeys[11] ? -1 : theme->GetColor(11));
    delete form;
  }
}

}  // namespace
}  // namespace skin
