// The themed form: its frame per border width and file theme, the minimum
// height, the window region of the built-in styles and of a file theme with
// transparent runs (limits kept inside the bitmap), a maximised form over
// the work area, Alt+Space, the menu bar and the refusal of a second one.
#include <gtest/gtest.h>

#include "launcher/skin/golden.h"
#include "launcher/skin/sk_form.h"
#include "launcher/skin/sk_public.h"
#include "platform/forms/forms.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

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

}  // namespace
}  // namespace skin
