// The framework's combo box: selection by index and text, change events on
// user changes only, the drop-down list as a pop-up window, and
// GetComboBoxInfo found by name in "User32.dll".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/forms/combobox.h"
#include "platform/forms/forms.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace pt = platform::testing;

namespace forms {
namespace {

class ComboBoxTest : public pt::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    pt::TakeClock(10000);
    Application->Reset();
    form_ = new TForm(nullptr);
    form_->SetBounds(100, 100, 300, 200);
    combo_ = new TComboBox(form_);
    combo_->SetParent(form_);
    combo_->SetBounds(10, 20, 120, 0);
    for (const char* s : {"Low", "Medium", "High"}) combo_->AddItem(s, static_cast<intptr_t>(combo_->Items().Count()) * 10);
    combo_->OnChange = [this](TObject*) { log_.push_back("change:" + combo_->Text()); };
    combo_->OnDropDown = [this](TObject*) { log_.push_back("dropdown"); };
    combo_->OnCloseUp = [this](TObject*) { log_.push_back("closeup"); };
    form_->Show();
    Application->ProcessMessages();
  }
  void TearDown() override {
    delete form_;
    Application->Reset();
    pt::Reset();
    PlatformTest::TearDown();
  }
  // A point of the combo box in the form's client coordinates.
  TPoint At(int x, int y) const { return {combo_->Left() + x, combo_->Top() + y}; }
  TForm* form_ = nullptr;
  TComboBox* combo_ = nullptr;
  std::vector<std::string> log_;
};

TEST_F(ComboBoxTest, AutoDropDownOpensWhenTheUserComesToTheList) {
  auto* before = new TComboBox(form_);
  before->SetParent(form_);
  before->SetBounds(10, 60, 120, 0);
  before->SetTabOrder(0);
  combo_->SetStyle(TComboBoxStyle::csDropDownList);
  combo_->AutoDropDown = true;
  // The window's own first focus does not open it.
  form_->Hide();
  form_->Show();
  Application->ProcessMessages();
  before->SetFocus();
  EXPECT_FALSE(combo_->DroppedDown());
  // Tab from the other list opens it; Escape closes it again.
  pt::InjectKey(VK_TAB);
  Application->ProcessMessages();
  ASSERT_TRUE(combo_->Focused());
  EXPECT_TRUE(combo_->DroppedDown());
  pt::InjectKey(VK_ESCAPE);
  Application->ProcessMessages();
  EXPECT_FALSE(combo_->DroppedDown());
  // Typing opens it and goes to the item of the letter.
  pt::InjectChar('h');
  Application->ProcessMessages();
  EXPECT_TRUE(combo_->DroppedDown());
  EXPECT_EQ(combo_->Text(), "High");
  pt::InjectKey(VK_ESCAPE);
  Application->ProcessMessages();
  // A click from another control opens it once, not open-and-shut.
  before->SetFocus();
  const TPoint p = At(20, 8);
  pt::InjectClick(pt::Button::Left, p.X, p.Y);
  Application->ProcessMessages();
  EXPECT_TRUE(combo_->DroppedDown());
  // Without AutoDropDown, Tab only focuses.
  pt::InjectKey(VK_ESCAPE);
  combo_->AutoDropDown = false;
  before->SetFocus();
  Application->ProcessMessages();
  pt::InjectKey(VK_TAB);
  Application->ProcessMessages();
  EXPECT_TRUE(combo_->Focused());
  EXPECT_FALSE(combo_->DroppedDown());
}

TEST_F(ComboBoxTest, IndexAndTextWithoutChangeEvents) {
  EXPECT_EQ(combo_->Height(), combo_->ItemHeight() + 8);
  EXPECT_EQ(combo_->ItemIndex(), -1);
  EXPECT_EQ(combo_->Items().Objects(2), 20);
  combo_->SetItemIndex(1);
  EXPECT_EQ(combo_->Text(), "Medium");
  for (int bad : {3, -2, 100}) {
    combo_->SetItemIndex(1);
    combo_->SetItemIndex(bad);
    EXPECT_EQ(combo_->ItemIndex(), -1) << bad;
    EXPECT_EQ(combo_->Text(), "") << bad;
  }
  combo_->SetText("high");
  EXPECT_EQ(combo_->ItemIndex(), 2);
  combo_->SetText("Ultra");  // an edit takes any text
  EXPECT_EQ(combo_->ItemIndex(), -1);
  EXPECT_EQ(combo_->Text(), "Ultra");
  combo_->SetStyle(TComboBoxStyle::csDropDownList);
  combo_->SetText("Ultra");  // a list only its items
  EXPECT_EQ(combo_->Text(), "");
  EXPECT_TRUE(log_.empty());

  combo_->SetItemIndex(2);
  combo_->SetSorted(true);  // High, Low, Medium: the selection follows its item
  EXPECT_EQ(combo_->ItemIndex(), 0);
  EXPECT_EQ(combo_->AddItem("Auto", 99), 0);
  EXPECT_EQ(combo_->ItemIndex(), 1);
  EXPECT_EQ(combo_->Items().Objects(combo_->ItemIndex()), 20);
  combo_->DeleteItem(1);
  EXPECT_EQ(combo_->ItemIndex(), -1);
}

TEST_F(ComboBoxTest, KeysChangeTheSelectionAndTellOnce) {
  combo_->SetStyle(TComboBoxStyle::csDropDownList);
  combo_->SetFocus();
  pt::InjectKey(VK_DOWN);
  pt::InjectKey(VK_DOWN);
  pt::InjectKey(VK_DOWN);
  pt::InjectKey(VK_DOWN);  // stays on the last
  pt::InjectChar('l');
  Application->ProcessMessages();
  EXPECT_EQ(log_, (std::vector<std::string>{"change:Low", "change:Medium", "change:High", "change:Low"}));
  log_.clear();
  combo_->SetStyle(TComboBoxStyle::csDropDown);
  combo_->SetText("");
  combo_->MaxLength = 3;
  for (char c : std::string("higher")) pt::InjectChar(static_cast<WPARAM>(c));
  pt::InjectChar(8);
  Application->ProcessMessages();
  EXPECT_EQ(log_, (std::vector<std::string>{"change:h", "change:hi", "change:hig", "change:hi"}));
  EXPECT_EQ(combo_->ItemIndex(), -1);
}

TEST_F(ComboBoxTest, ListDropsDownBelowAndClosesUpOnAChoice) {
  const TRect b = combo_->ButtonRect();
  EXPECT_EQ(b.Right, combo_->Width() - 2);
  EXPECT_EQ(b.Width(), GetSystemMetrics(SM_CXVSCROLL));
  TPoint p = At(b.Left + 3, 5);
  pt::InjectClick(pt::Button::Left, p.X, p.Y);
  Application->ProcessMessages();
  ASSERT_TRUE(combo_->DroppedDown());
  HWND list = combo_->ListHandle();
  pt::WindowState s = pt::GetWindowState(list);
  EXPECT_TRUE(s.visible);
  const TPoint below = combo_->ClientToScreen(Point(0, combo_->Height()));
  EXPECT_EQ(s.x, below.X);
  EXPECT_EQ(s.y, below.Y);
  EXPECT_EQ(s.height, 3 * combo_->ItemHeight() + 2);
  EXPECT_EQ(pt::CaptureWindow(), list);
  // The list's own coordinates while it holds the mouse: the third row.
  const int y = 1 + 2 * combo_->ItemHeight() + 4;
  pt::InjectMouseMove(20, y);
  pt::InjectClick(pt::Button::Left, 20, y);
  Application->ProcessMessages();
  EXPECT_FALSE(combo_->DroppedDown());
  EXPECT_FALSE(IsWindow(list));
  EXPECT_EQ(combo_->ItemIndex(), 2);
  EXPECT_EQ(log_, (std::vector<std::string>{"dropdown", "closeup", "change:High"}));

  // A click outside, and Escape, close it without a change.
  log_.clear();
  combo_->SetDroppedDown(true);
  ASSERT_TRUE(combo_->DroppedDown());
  pt::InjectClick(pt::Button::Left, -50, -50);
  Application->ProcessMessages();
  EXPECT_FALSE(combo_->DroppedDown());
  combo_->SetFocus();
  pt::InjectKey(VK_F4);
  pt::InjectKey(VK_UP);
  pt::InjectKey(VK_ESCAPE);
  Application->ProcessMessages();
  EXPECT_FALSE(combo_->DroppedDown());
  EXPECT_EQ(combo_->ItemIndex(), 2);
  EXPECT_EQ(log_, (std::vector<std::string>{"dropdown", "closeup", "dropdown", "closeup"}));
}

TEST_F(ComboBoxTest, ComboBoxInfoByNameFromUser32) {
  HMODULE user32 = LoadLibraryA("User32.dll");
  ASSERT_NE(user32, nullptr);
  using Proc = BOOL (*)(HWND, PCOMBOBOXINFO);
  auto get = reinterpret_cast<Proc>(GetProcAddress(user32, "GetComboBoxInfo"));
  ASSERT_NE(get, nullptr);
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(get(combo_->Handle(), &info));
  const TRect b = combo_->ButtonRect();
  EXPECT_EQ(info.rcButton.left, b.Left);
  EXPECT_EQ(info.rcButton.bottom, combo_->Height() - 2);
  EXPECT_EQ(info.hwndCombo, combo_->Handle());
  EXPECT_EQ(info.hwndList, nullptr);
  combo_->SetDroppedDown(true);
  ASSERT_TRUE(get(combo_->Handle(), &info));
  EXPECT_EQ(info.hwndList, combo_->ListHandle());
  EXPECT_EQ(info.stateButton, STATE_SYSTEM_PRESSED);

  COMBOBOXINFO other{};
  other.cbSize = sizeof other;
  EXPECT_FALSE(get(form_->Handle(), &other));  // no combo box
  other.cbSize = 4;
  EXPECT_FALSE(get(combo_->Handle(), &other));
  EXPECT_FALSE(get(nullptr, &info));
  FreeLibrary(user32);
}

}  // namespace
}  // namespace forms
