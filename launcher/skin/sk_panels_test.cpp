// The picture panel's draw modes and caption, and the group box: its frame
// line with and without a caption, the area for aligned children, and
// restyling its direct children.
#include <gtest/gtest.h>

#include "launcher/skin/sk_button.h"
#include "launcher/skin/sk_panels.h"
#include "platform/forms/forms.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"

namespace skin {
namespace {

namespace pt = platform::testing;
using forms::Application;

class PanelTest : public pt::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    Application->Reset();
    form_ = new forms::TForm(nullptr);
    form_->SetBounds(50, 40, 300, 200);
    form_->SetColor(0x00FF00);
  }
  void TearDown() override {
    delete form_;
    Application->Reset();
    pt::Reset();
    PlatformTest::TearDown();
  }
  pt::Picture Picture() {
    form_->Show();
    Application->ProcessMessages();
    return pt::WindowPixels(form_->Handle());
  }
  forms::TForm* form_ = nullptr;
};

TEST_F(PanelTest, GroupBoxFrameLineAndChildArea) {
  auto* box = new TskGroupBox(form_);
  box->SetParent(form_);
  box->SetBounds(10, 10, 120, 80);
  EXPECT_EQ(box->Width(), 120);
  const uint32_t border = forms::ColorToPixel(box->BorderColor());
  const int y = 10 + std::abs(box->Font().Height()) / 2 + 1;
  box->SetCaption("");
  pt::Picture closed = Picture();
  // Closed: the whole top line, the sides and the bottom.
  for (int x = 10; x < 130; ++x) EXPECT_EQ(closed.At(x, y), border) << x;
  EXPECT_EQ(closed.At(10, 60), border);
  EXPECT_EQ(closed.At(129, 60), border);
  EXPECT_EQ(closed.At(70, 89), border);
  box->SetCaption("Group");
  pt::Picture open = Picture();
  EXPECT_EQ(open.At(11, y), border);  // before the caption
  EXPECT_EQ(open.At(128, y), border);
  int gap = 0;
  for (int x = 13; x < 40; ++x) gap += open.At(x, y) != border;
  EXPECT_GT(gap, 10);

  auto* child = new forms::TPanel(form_);
  child->SetParent(box);
  child->SetAlign(forms::TAlign::alClient);
  EXPECT_EQ(child->Left(), 3);
  EXPECT_EQ(child->Top(), std::abs(box->Font().Height()) + 5);
  EXPECT_EQ(child->Width(), 120 - 6);
  EXPECT_EQ(child->Height(), 80 - 3 - child->Top());
  box->Font().SetHeight(-20);
  EXPECT_EQ(child->Top(), 25);
}

TEST_F(PanelTest, GroupBoxRestylesItsDirectChildren) {
  auto* box = new TskGroupBox(form_);
  box->SetParent(form_);
  auto* button = new TskButton(form_);
  button->SetParent(box);
  box->SetUIStyle(TskUIStyle::Ember);
  EXPECT_EQ(button->UIStyle(), TskUIStyle::Ember);
  EXPECT_EQ(box->BorderColor(), GetThemeColor(TskUIStyle::Ember, tsControlBorderColor));
  EXPECT_EQ(box->Font().Color(), GetThemeColor(TskUIStyle::Ember, tsControlFontColor));
}

TEST_F(PanelTest, PictureDrawModesAndAutoSize) {
  auto* panel = new TskCustomPanel(form_);
  panel->SetParent(form_);
  panel->SetBounds(0, 0, 40, 30);
  panel->SetColor(0x0000FF);
  forms::TBitmap& pic = panel->Picture();
  pic.SetSize(4, 3);
  for (int i = 0; i < 12; ++i) pic.Bits()[i] = i == 0 ? 0x123456u : 0xABCDEFu;
  panel->PictureChanged();
  pt::Picture p = Picture();
  EXPECT_EQ(p.At(0, 0), 0x123456u);
  EXPECT_EQ(p.At(5, 5), 0xFF0000u);  // Color outside an unscaled picture
  panel->SetDrawMode(2);
  p = Picture();
  EXPECT_EQ(p.At(4, 3), 0x123456u);
  EXPECT_EQ(p.At(36, 27), 0x123456u);
  panel->SetDrawMode(1);
  p = Picture();
  EXPECT_EQ(p.At(9, 9), 0x123456u);
  EXPECT_EQ(p.At(10, 10), 0xABCDEFu);
  panel->SetAutoSize(true);
  EXPECT_EQ(panel->Width(), 4);
  EXPECT_EQ(panel->Height(), 3);
  panel->SetAlign(forms::TAlign::alTop);
  EXPECT_EQ(panel->Width(), 300);
}

}  // namespace
}  // namespace skin
