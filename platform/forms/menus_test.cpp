// Menus: short-cut texts and matching, items at depth, removal and
// freeing, automatic hotkeys, change notices, and the pop-up layout.
#include <gtest/gtest.h>

#include "platform/forms/forms.h"
#include "platform/forms/menus.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace forms {
namespace {

class CountingMenu : public TPopupMenu {
 public:
  CountingMenu() : TPopupMenu(nullptr) {}
  int rebuilds = 0, changes = 0;

 protected:
  void MenuChanged(TMenuItem*, bool rebuild) override { ++(rebuild ? rebuilds : changes); }
};

TMenuItem* Add(TMenuItem* parent, const std::string& caption) {
  auto* item = new TMenuItem(nullptr);
  item->SetCaption(caption);
  parent->Add(item);
  return item;
}

TEST(MenuTest, ShortCutTexts) {
  struct {
    TShortCut sc;
    const char* text;
  } cases[] = {{ShortCut('O', ssCtrl), "Ctrl+O"},
               {ShortCut(VK_F5, ssCtrl | ssShift), "Ctrl+Shift+F5"},
               {ShortCut(VK_DELETE, 0), "Del"},
               {ShortCut(VK_RETURN, ssAlt), "Alt+Enter"},
               {0, ""}};
  for (const auto& c : cases) EXPECT_EQ(ShortCutToText(c.sc), c.text);
}

TEST(MenuTest, ShortCutsAtDepthSkipDisabledBranches) {
  CountingMenu menu;
  TMenuItem* file = Add(menu.Items(), "&File");
  TMenuItem* sub = Add(file, "&Recent");
  TMenuItem* open = Add(sub, "&Open");
  open->SetShortCut(ShortCut('O', ssCtrl));
  int clicks = 0;
  open->OnClick = [&](TObject*) { ++clicks; };
  EXPECT_TRUE(menu.IsShortCut('O', ssCtrl));
  EXPECT_FALSE(menu.IsShortCut('O', 0));
  EXPECT_EQ(clicks, 1);
  sub->SetEnabled(false);
  EXPECT_FALSE(menu.IsShortCut('O', ssCtrl));
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(menu.FindAccel('f'), file);
  EXPECT_EQ(menu.FindAccel('r'), nullptr);  // not a direct item
}

TEST(MenuTest, ItemsNoticeChangesAndFreeTheirChildren) {
  CountingMenu menu;
  TMenuItem* a = Add(menu.Items(), "A");
  TMenuItem* b = Add(a, "B");
  Add(b, "C");
  EXPECT_EQ(menu.rebuilds, 3);
  b->SetChecked(true);
  EXPECT_EQ(menu.changes, 1);
  // Detached items tell the menu nothing.
  a->Remove(b);
  EXPECT_EQ(menu.rebuilds, 4);
  b->SetCaption("b");
  EXPECT_EQ(menu.changes, 1);
  EXPECT_EQ(b->GetParentMenu(), nullptr);
  // An item cannot take its own ancestor.
  b->Items(0)->Add(b);
  EXPECT_EQ(b->Parent(), nullptr);
  delete b;  // and C with it
  a->Delete(5);
  a->Delete(0);
  EXPECT_EQ(a->Count(), 0);
  int seen = 0;
  menu.ForEachItem([&](TMenuItem*) { ++seen; });
  EXPECT_EQ(seen, 1);
}

TEST(MenuTest, AutomaticHotkeysTakeFreeLetters) {
  CountingMenu menu;
  menu.AutoHotkeys = true;
  TMenuItem* a = Add(menu.Items(), "&Save");
  TMenuItem* b = Add(menu.Items(), "Save all");
  TMenuItem* line = Add(menu.Items(), "-");
  TMenuItem* c = Add(menu.Items(), "&&");
  EXPECT_EQ(a->Caption(), "&Save");
  EXPECT_EQ(b->Caption(), "S&ave all");
  EXPECT_EQ(line->Caption(), "-");
  EXPECT_EQ(c->Caption(), "&&");
}

TEST(MenuTest, PopupLayoutUsesMeasureAndDrawHooks) {
  CountingMenu menu;
  TMenuItem* a = Add(menu.Items(), "A");
  TMenuItem* hidden = Add(menu.Items(), "H");
  TMenuItem* b = Add(menu.Items(), "B");
  hidden->SetVisible(false);
  std::vector<std::pair<TMenuItem*, TRect>> drawn;
  std::vector<TOwnerDrawState> states;
  for (TMenuItem* item : {a, hidden, b}) {
    item->OnMeasureItem = [item, a](TObject*, TCanvas&, int& w, int& h) {
      w = item == a ? 50 : 30;
      h = item == a ? 10 : 7;
    };
    item->OnAdvancedDrawItem = [&drawn, &states](TObject* s, TCanvas&, const TRect& r, TOwnerDrawState st) {
      drawn.push_back({static_cast<TMenuItem*>(s), r});
      states.push_back(st);
    };
  }
  b->SetEnabled(false);
  TBitmap bitmap(1, 1);
  TPoint size = menu.MeasurePopup(menu.Items(), bitmap.Canvas());
  EXPECT_EQ(size.X, 50);
  EXPECT_EQ(size.Y, 17);
  menu.PaintPopup(menu.Items(), bitmap.Canvas(), 1);
  ASSERT_EQ(drawn.size(), 2u);
  EXPECT_EQ(drawn[1].first, b);
  EXPECT_EQ(drawn[1].second.Top, 10);
  EXPECT_EQ(drawn[1].second.Right, 50);
  EXPECT_EQ(states[0], 0u);
  EXPECT_EQ(states[1], odSelected | odDisabled | odGrayed);
  EXPECT_EQ(menu.PopupItemAt(menu.Items(), bitmap.Canvas(), 12), 1);
  EXPECT_EQ(menu.PopupItemAt(menu.Items(), bitmap.Canvas(), 17), -1);
}

class PopupTest : public platform::testing::PlatformTest {
 protected:
  void TearDown() override {
    platform::testing::Reset();
    PlatformTest::TearDown();
  }
};

TEST_F(PopupTest, ClicksChooseEnabledItemsAndOutsideDismisses) {
  namespace pt = platform::testing;
  TPopupMenu menu(nullptr);
  std::vector<std::string> clicked;
  for (const char* c : {"One", "-", "Two", "Three"}) {
    TMenuItem* item = Add(menu.Items(), c);
    item->OnMeasureItem = [](TObject*, TCanvas&, int& w, int& h) {
      w = 60;
      h = 10;
    };
    item->OnClick = [&clicked, c](TObject*) { clicked.push_back(c); };
  }
  menu.Items()->Items(3)->SetEnabled(false);
  // Input goes to a form at the screen origin; the pop-up's capture takes
  // it in its own coordinates.
  TForm form(nullptr);
  form.SetBounds(0, 0, 50, 50);
  form.Show();
  Application->ProcessMessages();
  // Kept on the screen: asked for beyond the bottom right corner.
  const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  const int px = sw - 60, py = sh - 40;
  // A click on the disabled item and on the separator choose nothing, on
  // "Two" chooses it.
  pt::InjectClick(pt::Button::Left, px + 5, py + 35);
  pt::InjectClick(pt::Button::Left, px + 5, py + 15);
  pt::InjectClick(pt::Button::Left, px + 5, py + 25);
  menu.Popup(sw + 100, sh + 100);
  EXPECT_EQ(clicked, std::vector<std::string>{"Two"});
  EXPECT_EQ(menu.PopupWindow(), nullptr);
  EXPECT_EQ(GetCapture(), nullptr);
  // A click outside dismisses.
  pt::InjectClick(pt::Button::Left, 5, 5);
  menu.Popup(20, 20);
  EXPECT_EQ(clicked.size(), 1u);
  EXPECT_EQ(menu.PopupWindow(), nullptr);
}

}  // namespace
}  // namespace forms
