// The tool bar's layout, the application's message hook and the clipboard
// object.
#include <gtest/gtest.h>

#include "platform/forms/appevnts.h"
#include "platform/forms/clipbrd.h"
#include "platform/forms/comctrls.h"
#include "platform/forms/forms.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace pt = platform::testing;

namespace forms {
namespace {

class ToolBarTest : public pt::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    pt::TakeClock(10000);
    Application->Reset();
    form_ = new TForm(nullptr);
    form_->SetBounds(100, 100, 120, 100);
  }
  void TearDown() override {
    delete form_;
    Application->Reset();
    pt::Reset();
    PlatformTest::TearDown();
  }
  TForm* form_ = nullptr;
};

TEST_F(ToolBarTest, AutoSizedButtonsWrapOntoMoreRows) {
  auto* bar = new TToolBar(form_);
  bar->SetParent(form_);
  bar->AutoSize = true;
  bar->SetButtonHeight(20);
  TMainMenu menu(nullptr);
  const char* captions[] = {"&Alpha", "Beta", "Gamma"};
  for (const char* c : captions) {
    auto* item = new TMenuItem(&menu);
    item->SetCaption(c);
    menu.Items()->Add(item);
    auto* b = new TToolButton(bar);
    b->AutoSize = true;
    b->SetMenuItem(item);
    bar->AddButton(b);
  }
  TBitmap probe(1, 1);
  probe.Canvas().Font().Assign(bar->Font());
  const int alpha = probe.Canvas().TextWidth("Alpha") + 14, beta = probe.Canvas().TextWidth("Beta") + 14;
  EXPECT_EQ(bar->Buttons(0)->Width(), alpha);  // "&" is not measured
  EXPECT_EQ(bar->Buttons(1)->Left(), alpha);
  ASSERT_LE(alpha + beta, 120);
  // Gamma no longer fits on the first row of the 120-pixel bar.
  ASSERT_GT(alpha + beta + probe.Canvas().TextWidth("Gamma") + 14, 120);
  EXPECT_EQ(bar->Buttons(2)->Left(), 0);
  EXPECT_EQ(bar->Buttons(2)->Top(), 20);
  EXPECT_EQ(bar->Height(), 40);
  // A disabled item disables its button.
  menu.Items()->Items(1)->SetEnabled(false);
  bar->Buttons(1)->UpdateFromItem();
  EXPECT_FALSE(bar->Buttons(1)->Enabled());
}

TEST_F(ToolBarTest, HandledMessagesAreNotDispatched) {
  int keys = 0;
  form_->OnKeyDown = [&](TObject*, WORD&, TShiftState) { ++keys; };
  form_->Show();
  Application->ProcessMessages();
  int seen = 0;
  {
    TApplicationEvents events(nullptr);
    events.OnMessage = [&](MSG& msg, bool& handled) {
      if (msg.message != WM_KEYDOWN) return;
      ++seen;
      handled = msg.wParam == 'X';
    };
    pt::InjectKey('X');
    pt::InjectKey('Y');
    Application->ProcessMessages();
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(keys, 1);
  }
  // Gone with its object.
  pt::InjectKey('X');
  Application->ProcessMessages();
  EXPECT_EQ(seen, 2);
  EXPECT_EQ(keys, 2);
}

TEST_F(ToolBarTest, ClipboardTextRoundTrip) {
  EXPECT_TRUE(Clipboard().SetAsText("first"));
  EXPECT_TRUE(Clipboard().SetAsText("second line\r\n"));
  EXPECT_EQ(Clipboard().AsText(), "second line\r\n");
  // Nested opening keeps the clipboard open until the last close.
  Clipboard().Open();
  EXPECT_EQ(Clipboard().AsText(), "second line\r\n");
  EXPECT_FALSE(OpenClipboard(nullptr));
  Clipboard().Close();
  EXPECT_TRUE(OpenClipboard(nullptr));
  CloseClipboard();
}

}  // namespace
}  // namespace forms
