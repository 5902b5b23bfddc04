// The themed form: its frame per border width and file theme, the minimum
// height, the window region of the built-in styles and of a file theme with
// transparent runs (limits kept inside the bitmap), a maximised form over
// the work area, Alt+Space, the menu bar and the refusal of a second one.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "launcher/skin/golden.h"
#include "launcher/skin/sk_form.h"
#include "launcher/skin/sk_panels.h"
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

class SkFormTest : public pt::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    pt::TakeClock(50000);
    Application->Reset();
    form_ = new forms::TForm(nullptr);
    form_->SetBounds(40, 30, 300, 200);
    form_->SetCaption("Settings");
  }
  void TearDown() override {
    delete form_;
    Application->Reset();
    pt::Reset();
    PlatformTest::TearDown();
  }
  TskForm* Skin(TskUIStyle style = TskUIStyle::Ocean) {
    sk_ = new TskForm(form_);
    sk_->SetUIStyle(style);
    form_->Show();
    Application->ProcessMessages();
    return sk_;
  }
  pt::Picture Picture() {
    form_->Invalidate();
    sk_->Invalidate();
    Application->ProcessMessages();
    return pt::WindowPixels(form_->Handle());
  }
  RECT Client() {
    RECT r;
    GetClientRect(form_->Handle(), &r);
    return r;
  }
  forms::TForm* form_ = nullptr;
  TskForm* sk_ = nullptr;
};

TEST_F(SkFormTest, FrameAndBorderStylePerBorderWidth) {
  form_->BorderStyle = forms::TFormBorderStyle::bsSingle;
  Skin(TskUIStyle::Ocean);
  EXPECT_EQ(form_->BorderStyle, forms::TFormBorderStyle::bsDialog);
  EXPECT_EQ(GetWindowLongPtrA(form_->Handle(), GWL_STYLE) & (WS_CAPTION | WS_DLGFRAME), 0);
  // Client bottom: window bottom with 3, bottom - width + 2 otherwise (kept
  // inside the window); left and right are the window's.
  struct Case {
    int width, clientBottom;
  } cases[] = {{0, 200}, {1, 200}, {3, 200}, {5, 197}, {8, 194}};
  for (const Case& c : cases) {
    sk_->SetBorderWidth(c.width);
    RECT r = Client();
    EXPECT_EQ(r.right, 300) << c.width;
    EXPECT_EQ(r.bottom, c.clientBottom) << c.width;
  }
  // The panel fills the client area.
  EXPECT_EQ(sk_->Height(), 194);
  EXPECT_EQ(SendMessageA(form_->Handle(), kLeftBorderQuery, 0, 0), 0);

  forms::TForm sizeable(nullptr);
  TskForm other(&sizeable);
  EXPECT_EQ(sizeable.BorderStyle, forms::TFormBorderStyle::bsSizeable);
}

TEST_F(SkFormTest, MinimumHeightWithoutMenuAndMaximisedOverTheWorkArea) {
  Skin(TskUIStyle::Meadow);
  forms::TBitmap left;
  LoadThemeBitmap(TskUIStyle::Meadow, tsTitleLeftBitmap, &left);
  ASSERT_FALSE(left.Empty());
  // The bar is 3 lower than its picture; 22 for the menu bar, none there.
  EXPECT_EQ(sk_->TitleBar()->Height(), left.Height() - 3);
  EXPECT_EQ(form_->Constraints.MinHeight, left.Height() - 3 + 22 + 0 + 3);
  form_->SetBounds(40, 30, 300, 5);
  EXPECT_EQ(form_->Height(), left.Height() + 22);

  form_->SetWindowState(forms::TWindowState::wsMaximized);
  Application->ProcessMessages();
  // 1024 x 768 work area, grown by 2 left, top and right, 1 less at the bottom.
  EXPECT_EQ(form_->Left(), -2);
  EXPECT_EQ(form_->Top(), -2);
  EXPECT_EQ(form_->Width(), 1028);
  EXPECT_EQ(form_->Height(), 769);
}

TEST_F(SkFormTest, RegionOfTheBuiltInStyles) {
  Skin(TskUIStyle::Meadow);  // corner 13
  HRGN r = CreateRectRgn(0, 0, 0, 0);
  auto in = [&](int x, int y) {
    GetWindowRgn(form_->Handle(), r);
    return PtInRegion(r, x, y) != FALSE;
  };
  // Row 0 lies 6 above the corner ellipse's centre (radius 6.5): half its
  // chord is 6.5 * sqrt(1 - (6 / 6.5)^2) = 2.5, so columns from
  // ceil(6.5 - 2.5 - 0.5) = 4 are in.
  EXPECT_FALSE(in(3, 0));
  EXPECT_TRUE(in(4, 0));
  EXPECT_FALSE(in(296, 0));
  EXPECT_TRUE(in(295, 0));
  EXPECT_TRUE(in(0, 199));  // square bottom corners
  EXPECT_TRUE(in(299, 199));
  sk_->SetRoundCornerBottom(13);
  EXPECT_FALSE(in(3, 199));
  EXPECT_TRUE(in(4, 199));
  sk_->SetRoundCornerBottom(-1);
  EXPECT_TRUE(in(0, 199));
  EXPECT_FALSE(in(0, 0));
  DeleteObject(r);
}

TEST_F(SkFormTest, AltSpaceOpensTheSystemMenuUnderTheTitleBar) {
  Skin(TskUIStyle::Ocean);
  pt::ClearDeliveredMessages();
  pt::InjectKeyDown(VK_MENU);
  pt::InjectKeyDown(VK_SPACE);
  pt::InjectKeyUp(VK_SPACE);
  pt::InjectKeyUp(VK_MENU);
  pt::InjectKey(VK_ESCAPE);
  Application->ProcessMessages();
  bool shown = false;
  for (const auto& m : pt::DeliveredMessages()) {
    if (m.message == WM_MOVE && m.hwnd != form_->Handle() && pt::GetWindowState(m.hwnd).className != "TFormsControl") {
      shown = true;
      EXPECT_EQ(GET_X_LPARAM(m.lParam), 40);
      EXPECT_EQ(GET_Y_LPARAM(m.lParam), 30 + sk_->TitleBar()->Height());
    }
  }
  EXPECT_TRUE(shown);
  EXPECT_EQ(sk_->TitleBar()->SystemMenu()->PopupWindow(), nullptr);
}

TEST_F(SkFormTest, MenuBarFollowsTheMenuAndItsShortCuts) {
  Skin(TskUIStyle::Ocean);
  auto* menu = new TskMainMenu(form_);
  auto* file = new forms::TMenuItem(menu);
  file->SetCaption("&File");
  auto* open = new forms::TMenuItem(menu);
  open->SetCaption("&Open");
  open->SetShortCut(forms::ShortCut('O', forms::ssCtrl));
  int opened = 0;
  open->OnClick = [&](forms::TObject*) { ++opened; };
  file->Add(open);
  auto* help = new forms::TMenuItem(menu);
  help->SetCaption("&Help");
  help->SetEnabled(false);
  menu->Items()->Add(file);
  menu->Items()->Add(help);
  sk_->SetMenu(menu);
  TskMenuBar* bar = sk_->MenuBar();
  ASSERT_NE(bar, nullptr);
  ASSERT_EQ(bar->ButtonCount(), 2);
  EXPECT_EQ(bar->Buttons(0)->Caption(), "&File");
  EXPECT_FALSE(bar->Buttons(1)->Enabled());
  EXPECT_LT(bar->Buttons(0)->Left(), bar->Buttons(1)->Left());
  EXPECT_EQ(bar->Top(), sk_->TitleBar()->Top() + sk_->TitleBar()->Height());
  EXPECT_EQ(bar->Height(), 22);
  EXPECT_EQ(menu->Form(), sk_);
  // The bar's buttons follow the items.
  help->SetEnabled(true);
  EXPECT_TRUE(bar->Buttons(1)->Enabled());
  auto* extra = new forms::TMenuItem(menu);
  extra->SetCaption("&Tools");
  menu->Items()->Add(extra);
  EXPECT_EQ(bar->ButtonCount(), 2);  // items added at run time: refreshed, not rebuilt
  sk_->SetMenu(nullptr);
  sk_->SetMenu(menu);
  bar = sk_->MenuBar();
  ASSERT_EQ(bar->ButtonCount(), 3);
  EXPECT_EQ(bar->Buttons(2)->Caption(), "&Tools");

  Picture();
  pt::InjectKeyDown(VK_CONTROL);
  pt::InjectKey('O');
  pt::InjectKeyUp(VK_CONTROL);
  Application->ProcessMessages();
  EXPECT_EQ(opened, 1);

  sk_->SetMenu(nullptr);
  EXPECT_EQ(sk_->MenuBar(), nullptr);
  EXPECT_EQ(menu->Form(), nullptr);
  // A menu freed while attached takes its bar along.
  sk_->SetMenu(menu);
  delete menu;
  EXPECT_EQ(sk_->Menu(), nullptr);
  EXPECT_EQ(sk_->MenuBar(), nullptr);
  Picture();
}

TEST_F(SkFormTest, MenuBarButtonDropsItsItemDown) {
  Skin(TskUIStyle::Ocean);
  auto* menu = new TskMainMenu(form_);
  menu->AutoHotkeys = true;
  auto* file = new forms::TMenuItem(menu);
  file->SetCaption("&File");
  auto* save = new forms::TMenuItem(menu);
  save->SetCaption("&Save");
  int saved = 0;
  save->OnClick = [&](forms::TObject*) { ++saved; };
  file->Add(save);
  menu->Items()->Add(file);
  sk_->SetMenu(menu);
  TskMenuBar* bar = sk_->MenuBar();
  ASSERT_EQ(bar->ButtonCount(), 1);
  Picture();
  const forms::TPoint at = bar->ClientToScreen(forms::Point(bar->Buttons(0)->Left() + 5, 5));
  POINT local{at.X, at.Y};
  ScreenToClient(form_->Handle(), &local);
  pt::InjectClick(pt::Button::Left, local.x, local.y);
  pt::InjectChar('s');
  Application->ProcessMessages();
  EXPECT_EQ(saved, 1);
  // The drop-down copied the menu's automatic hotkeys.
  EXPECT_TRUE(bar->DropDownMenu()->AutoHotkeys);
  EXPECT_FALSE(bar->Buttons(0)->Down());
}

TEST_F(SkFormTest, FormPanelFillsAndActivationReachesTheTitleBar) {
  Skin(TskUIStyle::Ocean);
  auto* panel = new forms::TPanel(form_);
  panel->SetParent(sk_);
  panel->SetCaption("text");
  sk_->SetFormPanel(panel);
  EXPECT_EQ(panel->Align(), forms::TAlign::alClient);
  EXPECT_EQ(panel->BevelOuter, forms::TBevelCut::bvNone);
  EXPECT_EQ(panel->Caption(), "");
  EXPECT_EQ(panel->Top(), sk_->TitleBar()->Top() + sk_->TitleBar()->Height());
  pt::InjectKey(VK_RETURN);  // closes the refusal's message
  sk_->SetFormPanel(sk_);
  EXPECT_EQ(sk_->FormPanel(), panel);

  SendMessageA(form_->Handle(), WM_ACTIVATE, WA_INACTIVE, 0);
  EXPECT_FALSE(sk_->TitleBar()->FormActive());
  SendMessageA(form_->Handle(), WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_TRUE(sk_->TitleBar()->FormActive());
  sk_->SetCaption("Renamed");
  EXPECT_EQ(form_->Caption(), "Renamed");
  EXPECT_EQ(sk_->Version(), "1.0");
}

TEST_F(SkFormTest, SecondSkinnedFormIsRefused) {
  Skin(TskUIStyle::Ocean);
  const int controls = form_->ControlCount();
  pt::InjectKey(VK_RETURN);  // closes the message
  auto* second = new TskForm(form_);
  EXPECT_EQ(form_->ControlCount(), controls);
  EXPECT_EQ(second->Parent(), nullptr);
  EXPECT_EQ(second->OwnerForm(), nullptr);
  EXPECT_EQ(GetOwnerFormUIStyle(form_), TskUIStyle::Ocean);
  delete second;
  // The first still works the form.
  sk_->SetBorderWidth(6);
  EXPECT_EQ(Client().bottom, 196);
}

TEST_F(SkFormTest, RemovingItGivesTheFormItsCaptionBack) {
  Skin(TskUIStyle::Ocean);
  sk_->SetBorderWidth(6);
  delete sk_;
  sk_ = nullptr;
  EXPECT_NE(GetWindowLongPtrA(form_->Handle(), GWL_STYLE) & WS_CAPTION, 0);
  EXPECT_EQ(Client().bottom, 200);
  HRGN r = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetWindowRgn(form_->Handle(), r), RGN_ERROR);
  DeleteObject(r);
}

// A file theme whose title bar and bottom border have see-through corners.
class SkFormFileThemeTest : public SkFormTest {
 protected:
  static constexpr uint32_t kKey = 0xFF00FF, kInk = 0x336699;
  static std::vector<uint32_t> Fill(int w, int h, uint32_t c) { return std::vector<uint32_t>(static_cast<size_t>(w * h), c); }
  std::vector<testkit::SkinValue> Values(int titleMinY, int titleMaxY) {
    namespace tk = testkit;
    std::vector<uint32_t> title = Fill(8, 10, kInk);
    title[0] = title[1] = title[2] = kKey;  // row 0: three columns cut
    title[8] = title[9] = kKey;             // row 1: two
    std::vector<uint32_t> bottom = Fill(12, 6, 0x102030);
    bottom[5 * 12 + 0] = bottom[5 * 12 + 1] = kKey;  // the last row's first two
    return {tk::SkinInteger("SKIN2_TRANSCOLOR", 0xFF00FF),
            tk::SkinInteger("SKIN2_FORMCOLOR", 0xC0C0C0),
            tk::SkinBitmap("SKIN2_TITLEBAR1", tk::WriteBmp24(8, 10, title)),
            tk::SkinBitmap("SKIN2_TITLEBAR2", tk::WriteBmp24(4, 10, Fill(4, 10, kInk))),
            tk::SkinBitmap("SKIN2_TITLEBAR3", tk::WriteBmp24(8, 10, Fill(8, 10, kInk))),
            tk::SkinBitmap("SKIN2_FORMLEFTBORDER", tk::WriteBmp24(2, 4, Fill(2, 4, 0x102030))),
            tk::SkinBitmap("SKIN2_FORMRIGHTBORDER", tk::WriteBmp24(5, 4, Fill(5, 4, 0x102030))),
            tk::SkinBitmap("SKIN2_FORMBOTTOMBORDER1", tk::WriteBmp24(12, 6, bottom)),
            tk::SkinBitmap("SKIN2_TITLEBUTTONS", tk::WriteBmp24(18 * 4, 4, Fill(18 * 4, 4, 0x808080))),
            tk::SkinByte("SKIN2_TITLEBARNEEDREGION", 1),
            tk::SkinByte("SKIN2_BOTTOMBORDERNEEDREGION", 1),
            tk::SkinInteger("SKIN2_TITLEBARREGIONMINY", titleMinY),
            tk::SkinInteger("SKIN2_TITLEBARREGIONMAXY", titleMaxY),
            tk::SkinInteger("SKIN2_BOTTOMREGIONMINY", 0),
            tk::SkinInteger("SKIN2_BOTTOMREGIONMAXY", 40),
            tk::SkinInteger("SKIN2_TITLEBARBUTTONPOSY", 3)};
  }
  TskFileTheme* Theme(const std::vector<testkit::SkinValue>& values, const std::string& name = "skin.sk") {
    testkit::ZipEntry e;
    e.data = testkit::WriteSkinData(values);
    const std::vector<uint8_t> zip = testkit::WriteZip({e});
    std::ofstream(work_ + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(zip.data()), static_cast<std::streamsize>(zip.size()));
    auto* theme = new TskFileTheme(form_);
    theme->SetThemeFile(name);
    return theme;
  }
  bool In(int x, int y) {
    HRGN r = CreateRectRgn(0, 0, 0, 0);
    GetWindowRgn(form_->Handle(), r);
    const bool in = PtInRegion(r, x, y) != FALSE;
    DeleteObject(r);
    return in;
  }
};

TEST_F(SkFormFileThemeTest, FrameAndRegionFromTheSkin) {
  Skin(TskUIStyle::Ocean);
  TskFileTheme* theme = Theme(Values(0, 99));  // a limit past the bitmap's rows
  ASSERT_TRUE(theme->Ready());
  sk_->SetFileTheme(theme);
  sk_->SetUIStyle(TskUIStyle::FromThemeFile);
  // Left border 2 (counted as 4), right 5, bottom 6: each frame side is 3
  // narrower than its border, the panel's margin taking the rest.
  RECT c = Client();
  POINT origin{0, 0};
  ClientToScreen(form_->Handle(), &origin);
  EXPECT_EQ(origin.x, 40 + 1);
  EXPECT_EQ(c.right, 300 - 1 - 2);
  EXPECT_EQ(c.bottom, 200 - 3);
  EXPECT_EQ(SendMessageA(form_->Handle(), kLeftBorderQuery, 0, 0), 4);
  EXPECT_EQ(form_->Constraints.MinHeight, 7 + 22 + 6 + 3);
  // The title rows: the see-through runs are cut, the rest whole.
  EXPECT_FALSE(In(0, 0));
  EXPECT_FALSE(In(2, 0));
  EXPECT_TRUE(In(3, 0));
  EXPECT_FALSE(In(1, 1));
  EXPECT_TRUE(In(2, 1));
  EXPECT_TRUE(In(0, 2));
  EXPECT_TRUE(In(299, 0));
  EXPECT_TRUE(In(150, 100));
  // The bottom border's left third stands unscaled at the left end.
  EXPECT_FALSE(In(0, 199));
  EXPECT_FALSE(In(1, 199));
  EXPECT_TRUE(In(2, 199));
  EXPECT_TRUE(In(299, 199));
  EXPECT_TRUE(In(0, 198));

  pt::Picture pic = Picture();
  EXPECT_EQ(pic.At(0, 100), 0x102030u);  // the left border
  EXPECT_EQ(pic.At(2, 100), 0xC0C0C0u);  // the form colour beside a narrow border
  EXPECT_EQ(pic.At(0, 0), 0u);           // outside the region

  // A minimum below the band's start: the rows above it are whole.
  TskFileTheme* late = Theme(Values(50, 60), "late.sk");
  sk_->SetFileTheme(late);
  EXPECT_TRUE(In(0, 0));
}

TEST_F(SkFormFileThemeTest, MissingKeysLeaveAUsableForm) {
  Skin(TskUIStyle::Ocean);
  const std::vector<testkit::SkinValue> all = Values(0, 5);
  for (size_t drop = 0; drop < all.size(); ++drop) {
    SCOPED_TRACE(all[drop].name);
    std::vector<testkit::SkinValue> values = all;
    values.erase(values.begin() + static_cast<std::ptrdiff_t>(drop));
    TskFileTheme* theme = Theme(values, "drop" + std::to_string(drop) + ".sk");
    ASSERT_TRUE(theme->Ready());
    sk_->SetFileTheme(theme);
    sk_->SetUIStyle(TskUIStyle::FromThemeFile);
    pt::Picture pic = Picture();
    EXPECT_EQ(pic.width, 300);
    EXPECT_TRUE(In(150, 100));
    EXPECT_GT(Client().right, 0);
    sk_->SetFileTheme(nullptr);
    delete theme;
  }
}

class SkFormGoldenTest : public SkFormTest, public ::testing::WithParamInterface<TskUIStyle> {};

TEST_P(SkFormGoldenTest, FormWithTitleBarMenuBarAndGroupBox) {
  const TskUIStyle style = GetParam();
  form_->SetBounds(40, 30, 240, 160);
  form_->SetCaption("Themed");
  auto* menu = new TskMainMenu(form_);
  for (const char* caption : {"&File", "&Edit"}) {
    auto* item = new forms::TMenuItem(menu);
    item->SetCaption(caption);
    menu->Items()->Add(item);
  }
  Skin(style);
  sk_->SetMenu(menu);
  auto* group = new TskGroupBox(form_);
  group->SetParent(sk_);
  group->SetBounds(12, 60, 120, 60);
  group->SetCaption("Group");
  sk_->UIStyleAutoUpdateSub = true;
  sk_->SetUIStyle(style);
  // The mouse over "File": the bar draws it highlighted.
  Picture();
  forms::TToolButton* fileButton = sk_->MenuBar()->Buttons(0);
  const forms::TPoint hot = fileButton->ClientToScreen(forms::Point(0, 0));
  pt::InjectMouseMove(hot.X - 40 + 4, hot.Y - 30 + 4);
  Application->ProcessMessages();
  ASSERT_TRUE(fileButton->Hot());
  const pt::Picture pic = Picture();
  static const char* const names[] = {"", "pearl", "meadow", "ocean", "ember", "glacier"};
  EXPECT_TRUE(testing::MatchesGolden(pic, std::string("form_") + names[static_cast<int>(style)]));

  // Worked out from the style's values: the border bands, the margin in the
  // form colour beside the content, the corner cut by the region.
  const int bw = GetThemeInt(style, tsBorderWidth);
  const uint32_t border = forms::ColorToPixel(GetThemeColor(style, tsBorderColor));
  const uint32_t face = forms::ColorToPixel(GetThemeColor(style, tsFormColor));
  EXPECT_EQ(pic.At(120, 159), border);
  EXPECT_EQ(pic.At(0, 100), border);
  EXPECT_EQ(pic.At(239, 100), border);
  if (bw < 3) EXPECT_EQ(pic.At(bw, 100), face);
  const int corner = GetThemeInt(style, tsRoundCorner);
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  GetWindowRgn(form_->Handle(), region);
  EXPECT_EQ(PtInRegion(region, 0, 0) == FALSE, corner > 1);
  if (corner > 1) EXPECT_EQ(pic.At(0, 0), 0u);
  DeleteObject(region);
  // The highlighted button: framed in the selected-border colour, or in
  // Pearl the select strip's own frame (0x3973C4) stretched over it.
  const uint32_t frame =
      style == TskUIStyle::Pearl ? 0x3973C4u : forms::ColorToPixel(GetThemeColor(style, tsMenuSelectedBorderColor));
  EXPECT_EQ(pic.At(hot.X - 40, hot.Y - 30), frame);
  if (style == TskUIStyle::Pearl) {
    // The background pattern tiles from the panel's origin (the window's):
    // its dots stand at multiples of 8 and 8 + 4.
    EXPECT_EQ(pic.At(200, 136), 0xD9D9D9u);
    EXPECT_EQ(pic.At(204, 140), 0xD9D9D9u);
    EXPECT_EQ(pic.At(201, 136), 0xE7E7E7u);
  }
}

INSTANTIATE_TEST_SUITE_P(Styles, SkFormGoldenTest,
                         ::testing::Values(TskUIStyle::Pearl, TskUIStyle::Meadow, TskUIStyle::Ocean, TskUIStyle::Ember,
                                           TskUIStyle::Glacier));

}  // namespace
}  // namespace skin
