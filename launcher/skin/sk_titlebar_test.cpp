// The skinned title bar: caption cutting, button actions and pictures,
// double clicks, dragging by injected input, the system menu, the inactive
// caption colour and the refusals of a second client section or control
// box.
#include <gtest/gtest.h>

#include "launcher/skin/sk_public.h"
#include "launcher/skin/sk_titlebar.h"
#include "platform/forms/forms.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace skin {
namespace {

namespace pt = platform::testing;
using forms::Application;
using forms::TWindowState;
using B = TskTitleBarBtnType;

class TitleBarTest : public pt::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    pt::TakeClock(50000);
    Application->Reset();
    form_ = new forms::TForm(nullptr);
    form_->SetBounds(50, 40, 300, 140);
    bar_ = new TskTitleBar(form_);
    bar_->SetParent(form_);
    bar_->SetUIStyle(TskUIStyle::Ocean);
    form_->Show();
    Application->ProcessMessages();
  }
  void TearDown() override {
    delete form_;
    Application->Reset();
    pt::Reset();
    PlatformTest::TearDown();
  }
  int IndexOf(B type) const {
    for (int i = 0; i < bar_->ButtonCount(); ++i) {
      if (bar_->Buttons(i)->ButtonType() == type) return i;
    }
    return -1;
  }
  forms::TPoint Centre(B type) const {
    forms::TRect r = bar_->ButtonRect(IndexOf(type));
    return {r.Left + r.Width() / 2, r.Top + r.Height() / 2};
  }
  pt::Picture Picture() {
    bar_->Invalidate();
    Application->ProcessMessages();
    return pt::WindowPixels(form_->Handle());
  }
  forms::TForm* form_ = nullptr;
  TskTitleBar* bar_ = nullptr;
};

TEST_F(TitleBarTest, CreatedWithFourButtonsAndSizedByItsSections) {
  ASSERT_EQ(bar_->ButtonCount(), 4);
  EXPECT_EQ(bar_->Buttons(0)->ButtonType(), B::skControlBox);
  EXPECT_EQ(bar_->Buttons(1)->ButtonType(), B::skClose);
  EXPECT_EQ(bar_->Buttons(2)->ButtonType(), B::skMax);
  EXPECT_EQ(bar_->Buttons(3)->ButtonType(), B::skMin);
  forms::TBitmap left;
  LoadThemeBitmap(TskUIStyle::Ocean, tsTitleLeftBitmap, &left);
  EXPECT_EQ(bar_->Height(), left.Height());
  EXPECT_TRUE(bar_->AutoSize());
  EXPECT_EQ(bar_->FormMinWidth(), GetThemeInt(TskUIStyle::Ocean, tsFormMinWidth));
  EXPECT_EQ(bar_->Font().Color(), forms::clWhite);
  bar_->SetUIStyle(TskUIStyle::Pearl);
  EXPECT_EQ(bar_->Font().Color(), forms::clBlack);
  // The buttons are laid out from the right, right to left in order.
  Picture();
  EXPECT_GT(bar_->ButtonRect(1).Left, bar_->ButtonRect(2).Left);
  EXPECT_GT(bar_->ButtonRect(2).Left, bar_->ButtonRect(3).Left);
  EXPECT_LE(bar_->ButtonRect(1).Right, bar_->Width());
}

TEST_F(TitleBarTest, LongCaptionsAreCutWithDotsDownToNothing) {
  bar_->SetCaption("A caption far too long for a title bar of three hundred pixels, surely");
  Picture();
  const std::string shown = bar_->ShownCaption();
  ASSERT_GE(shown.size(), 4u);
  EXPECT_EQ(shown.substr(shown.size() - 3), "...");
  EXPECT_EQ(bar_->Caption().rfind(shown.substr(0, shown.size() - 3), 0), 0u);
  // No room at all: only the dots, and no endless cutting.
  form_->SetWidth(90);
  Picture();
  EXPECT_EQ(bar_->ShownCaption(), "...");
  bar_->SetCaption("Short");
  form_->SetWidth(300);
  Picture();
  EXPECT_EQ(bar_->ShownCaption(), "Short");
}

TEST_F(TitleBarTest, ButtonsMaximiseRestoreMinimiseAndClose) {
  Picture();
  const forms::TRect before = form_->BoundsRect();
  forms::TBitmap strip, restore, maximise;
  LoadThemeBitmap(TskUIStyle::Ocean, tsTitleButtonsBitmap, &strip);
  ExtractFrame(strip, maximise, 18, 7);
  ExtractFrame(strip, restore, 18, 10);
  auto same = [](forms::TBitmap& a, forms::TBitmap& b) {
    return a.Width() == b.Width() && a.Height() == b.Height() &&
           std::equal(a.Bits(), a.Bits() + a.Width() * a.Height(), b.Bits());
  };
  TskTitleBarButton* max = bar_->Buttons(IndexOf(B::skMax));
  EXPECT_TRUE(same(max->PicNormal(), maximise));

  forms::TPoint c = Centre(B::skMax);
  pt::InjectClick(pt::Button::Left, c.X, c.Y);
  Application->ProcessMessages();
  EXPECT_EQ(form_->WindowState(), TWindowState::wsMaximized);
  const forms::TRect work = forms::Screen->WorkAreaRect();
  EXPECT_EQ(form_->Left(), work.Left - 2);
  EXPECT_EQ(form_->Top(), work.Top - 2);
  EXPECT_EQ(form_->Width(), work.Width() + 4);
  EXPECT_EQ(form_->Height(), work.Height() + 1);
  EXPECT_TRUE(same(max->PicNormal(), restore));

  Picture();
  c = Centre(B::skMax);
  pt::InjectClick(pt::Button::Left, c.X, c.Y);
  Application->ProcessMessages();
  EXPECT_EQ(form_->WindowState(), TWindowState::wsNormal);
  EXPECT_EQ(form_->Left(), before.Left);
  EXPECT_EQ(form_->Width(), before.Width());
  EXPECT_TRUE(same(max->PicNormal(), maximise));

  Picture();
  c = Centre(B::skMin);
  pt::InjectClick(pt::Button::Left, c.X, c.Y);
  Application->ProcessMessages();
  EXPECT_EQ(form_->WindowState(), TWindowState::wsMinimized);
  form_->SetWindowState(TWindowState::wsNormal);
  Picture();
  c = Centre(B::skClose);
  pt::InjectClick(pt::Button::Left, c.X, c.Y);
  Application->ProcessMessages();
  EXPECT_FALSE(form_->Visible());
}

// On the main form the minimise button minimises the application: every
// other window goes with it and comes back on restore. On another form it
// minimises that form alone.
TEST_F(TitleBarTest, MinimiseButtonMinimisesTheApplicationFromTheMainForm) {
  auto* other = new forms::TForm(nullptr);
  other->SetBounds(400, 300, 120, 80);
  other->Show();
  for (bool main : {true, false}) {
    SCOPED_TRACE(main ? "main form" : "another form");
    Application->SetMainForm(main ? form_ : other);
    ShowWindow(form_->Handle(), SW_SHOW);  // active, for the click
    Picture();
    const forms::TPoint c = Centre(B::skMin);
    pt::InjectClick(pt::Button::Left, c.X, c.Y);
    Application->ProcessMessages();
    EXPECT_TRUE(IsIconic(form_->Handle()));
    EXPECT_EQ(Application->Minimized(), main);
    EXPECT_EQ(IsWindowVisible(other->Handle()) != FALSE, !main);
    EXPECT_TRUE(other->Visible());
    // Restored as the taskbar entry would: everything is back, the form
    // active again.
    form_->Perform(WM_SYSCOMMAND, forms::SC_RESTORE, 0);
    Application->ProcessMessages();
    EXPECT_FALSE(IsIconic(form_->Handle()));
    EXPECT_EQ(form_->WindowState(), TWindowState::wsNormal);
    EXPECT_TRUE(IsWindowVisible(form_->Handle()) && IsWindowVisible(other->Handle()));
    EXPECT_FALSE(Application->Minimized());
    if (main) EXPECT_EQ(GetActiveWindow(), form_->Handle());
  }
  Application->SetMainForm(nullptr);
  delete other;
}

TEST_F(TitleBarTest, CustomAndHelpButtonsReportTheirIndex) {
  TskTitleBarButton* help = bar_->AddButton();
  help->SetButtonType(B::skHelp);
  TskTitleBarButton* custom = bar_->AddButton();
  custom->PicNormal().SetSize(12, 12);
  std::vector<std::pair<char, int>> got;
  bar_->OnHelpBtnClick = [&](forms::TObject*, int i) { got.push_back({'h', i}); };
  bar_->OnCustomBtnsClick = [&](forms::TObject*, int i) { got.push_back({'c', i}); };
  Picture();
  for (int i : {4, 5}) {
    forms::TRect r = bar_->ButtonRect(i);
    pt::InjectClick(pt::Button::Left, r.Left + 2, r.Top + 2);
    Application->ProcessMessages();
  }
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], std::make_pair('h', 4));
  EXPECT_EQ(got[1], std::make_pair('c', 5));
}

TEST_F(TitleBarTest, DoubleClickTogglesMaximisedAndDragMovesTheForm) {
  Picture();
  pt::InjectDoubleClick(pt::Button::Left, 150, 8);
  Application->ProcessMessages();
  EXPECT_EQ(form_->WindowState(), TWindowState::wsMaximized);
  Picture();
  pt::InjectDoubleClick(pt::Button::Left, 150, 8);
  Application->ProcessMessages();
  EXPECT_EQ(form_->WindowState(), TWindowState::wsNormal);
  EXPECT_EQ(form_->Left(), 50);

  // Down on the bar, two moves, up: the form follows the mouse.
  Picture();
  pt::InjectButtonDown(pt::Button::Left, 150, 8);
  pt::InjectMouseMove(160, 12, MK_LBUTTON);
  pt::InjectMouseMove(180, 28, MK_LBUTTON);
  pt::InjectButtonUp(pt::Button::Left, 180, 28);
  Application->ProcessMessages();
  EXPECT_EQ(form_->Left(), 50 + 30);
  EXPECT_EQ(form_->Top(), 40 + 20);
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(TitleBarTest, SystemMenuFollowsTheVisibleButtons) {
  bar_->Buttons(IndexOf(B::skMin))->SetVisible(false);
  bar_->UpdateSystemMenu();
  TskTitleBarPopupMenu* menu = bar_->SystemMenu();
  EXPECT_FALSE(menu->MinimizeItem()->Enabled());
  EXPECT_TRUE(menu->MaximizeItem()->Enabled());
  EXPECT_TRUE(menu->CloseItem()->Enabled());
  EXPECT_EQ(menu->Items()->Items(2)->Caption(), "-");
  // A click on the icon pops the menu up; "x" chooses maximise.
  Picture();
  forms::TPoint icon = Centre(B::skControlBox);
  pt::InjectClick(pt::Button::Left, icon.X, icon.Y);
  pt::InjectChar('x');
  Application->ProcessMessages();
  EXPECT_EQ(form_->WindowState(), TWindowState::wsMaximized);
  EXPECT_EQ(menu->PopupWindow(), nullptr);
  // Escape dismisses it without a choice.
  Picture();
  icon = Centre(B::skControlBox);
  pt::InjectClick(pt::Button::Left, icon.X, icon.Y);
  pt::InjectKey(VK_ESCAPE);
  Application->ProcessMessages();
  EXPECT_EQ(form_->WindowState(), TWindowState::wsMaximized);
}

TEST_F(TitleBarTest, InactiveCaptionColour) {
  bar_->SetCaption("WWWW");
  auto count = [this](uint32_t colour) {
    pt::Picture p = Picture();
    int n = 0;
    for (int y = 0; y < bar_->Height(); ++y) {
      for (int x = 0; x < 100; ++x) n += p.At(x, y) == colour;
    }
    return n;
  };
  const int whiteActive = count(0xFFFFFF);
  const int greyActive = count(0x808080);
  bar_->SetFormActive(false);
  EXPECT_GT(count(0x808080), greyActive);
  EXPECT_LT(count(0xFFFFFF), whiteActive);
}

TEST_F(TitleBarTest, SecondClientSectionAndControlBoxAreRefused) {
  int clients = 0;
  for (int i = 0; i < bar_->SectionCount(); ++i) {
    clients += bar_->Sections(i)->Align() == TskTitleBarAlign::skClient;
  }
  ASSERT_EQ(clients, 1);
  TskTitleBarSection* extra = bar_->AddSection();
  pt::InjectKey(VK_RETURN);  // closes the message
  extra->SetAlign(TskTitleBarAlign::skClient);
  EXPECT_EQ(extra->Align(), TskTitleBarAlign::skLeft);
  EXPECT_FALSE(extra->Stretch());
  TskTitleBarButton* box = bar_->AddButton();
  pt::InjectKey(VK_RETURN);
  box->SetButtonType(B::skControlBox);
  EXPECT_EQ(box->ButtonType(), B::skCustom);
}

}  // namespace
}  // namespace skin
