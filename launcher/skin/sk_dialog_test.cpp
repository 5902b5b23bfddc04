// Dialogs and message boxes: the layout by button count and icon, long
// texts, Enter and Escape, the text Ctrl+C copies, the fonts by style, and
// goldens of the box with each icon and button count.
#include <gtest/gtest.h>

#include <fstream>

#include "launcher/skin/golden.h"
#include "launcher/skin/sk_dialog.h"
#include "platform/forms/clipbrd.h"
#include "platform/forms/forms.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"
#include "tools/skin_archive_writer.h"

namespace skin {
namespace {

namespace pt = platform::testing;
using forms::Application;
using I = TskIconType;

class DialogTest : public pt::PlatformTest {
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
  static std::vector<TskButton*> Buttons(TfrmMsg* frm) {
    std::vector<TskButton*> out;
    for (int i = 0; i < frm->ComponentCount(); ++i) {
      if (auto* b = dynamic_cast<TskButton*>(frm->Components(i))) out.push_back(b);
    }
    return out;
  }
};

TEST_F(DialogTest, LayoutByButtonCountAndIcon) {
  struct Case {
    int count;
    I icon;
    int width, labelLeft;
    std::vector<std::string> captions;  // in creation order, rightmost first
  } cases[] = {
      {1, I::skNone, 272, 24, {"OK"}},
      {2, I::skNone, 272, 24, {"Cancel", "OK"}},
      {3, I::skNone, 336, 24, {"Cancel", "Cancel", "OK"}},
      {1, I::skWarning, 336, 88, {"OK"}},
      {2, I::skHelp, 336, 88, {"Cancel", "OK"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count * 10 + static_cast<int>(c.icon));
    TskMessageDialog dlg(nullptr);
    dlg.SetButtonCount(c.count);
    dlg.IconType = c.icon;
    TfrmMsg* frm = dlg.BuildForm();
    EXPECT_EQ(frm->Width(), c.width);
    EXPECT_EQ(frm->lbl->Left(), c.labelLeft);
    EXPECT_EQ(frm->Image1->Visible(), c.icon != I::skNone);
    // A short text: the image's bottom (104) is the lower one.
    EXPECT_EQ(frm->Height(), 104 + 75);
    std::vector<TskButton*> buttons = Buttons(frm);
    ASSERT_EQ(buttons.size(), c.captions.size());
    for (size_t i = 0; i < buttons.size(); ++i) {
      EXPECT_EQ(buttons[i]->Caption(), c.captions[i]);
      EXPECT_EQ(buttons[i]->Left(), c.width - 93 * static_cast<int>(i) - 97);
      EXPECT_EQ(buttons[i]->Top(), 124);
      EXPECT_EQ(buttons[i]->Width(), 73);
      EXPECT_EQ(buttons[i]->Parent(), frm->skForm1);
      EXPECT_EQ(buttons[i]->Cursor(), forms::crHandPoint);
      const bool ok = buttons[i]->ModalResult == forms::mrOk;
      EXPECT_EQ(buttons[i]->Default(), ok);
      EXPECT_EQ(buttons[i]->Cancel, buttons[i]->ModalResult == forms::mrCancel);
    }
    // Button 1 (the leftmost, made last) has the focus.
    EXPECT_EQ(frm->ActiveControl(), buttons.back());
    EXPECT_EQ(frm->skForm1->Caption(), "skDialog");
    delete frm;
  }
}

TEST_F(DialogTest, LongTextWrapsAndPushesTheButtonsDown) {
  TskMessageDialog dlg(nullptr);
  dlg.Text = "A long message that cannot fit on one line of the box, so the label wraps it at its own width "
             "and grows downwards, and the buttons follow it.";
  TfrmMsg* frm = dlg.BuildForm();
  forms::TLabel* lbl = frm->lbl;
  EXPECT_EQ(lbl->Width(), 225);
  forms::TBitmap probe(1, 1);
  probe.Canvas().Font().Assign(lbl->Font());
  const int line = probe.Canvas().TextHeight("Ag");
  EXPECT_GE(lbl->Height(), 3 * line);
  const int bottom = lbl->Top() + lbl->Height();
  ASSERT_GT(bottom, 104);
  EXPECT_EQ(Buttons(frm)[0]->Top(), bottom + 20);
  EXPECT_EQ(frm->Height(), bottom + 75);
  delete frm;
}

TEST_F(DialogTest, EnterAndEscapeByButtonCount) {
  struct Case {
    int count;
    std::vector<WPARAM> keys;
    int result;
  } cases[] = {
      {1, {VK_ESCAPE, VK_RETURN}, forms::mrOk},  // Escape does nothing
      {2, {VK_RETURN}, forms::mrOk},
      {2, {VK_ESCAPE}, forms::mrCancel},
      {3, {VK_ESCAPE}, forms::mrCancel},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    TskMessageDialog dlg(nullptr);
    dlg.SetButtonCount(c.count);
    for (WPARAM key : c.keys) pt::InjectKey(key);
    EXPECT_EQ(dlg.Execute(), c.result);
  }
}

TEST_F(DialogTest, CtrlCCopiesTheSevenPieces) {
  TskMessageDialog dlg(nullptr);
  dlg.Caption = "Launcher";
  dlg.Text = "Disk full";
  TfrmMsg* frm = dlg.BuildForm();
  frm->Show();
  Application->ProcessMessages();
  pt::InjectKeyDown(VK_CONTROL);
  pt::InjectKey('C');
  pt::InjectKeyUp(VK_CONTROL);
  Application->ProcessMessages();
  EXPECT_EQ(forms::Clipboard().AsText(),
            "---------------------------\r\nLauncher\r\n---------------------------\r\nDisk full\r\n"
            "---------------------------\r\nOK\r\n---------------------------");
  delete frm;

  dlg.SetButtonCount(3);
  dlg.Button3Caption = "Retry";
  frm = dlg.BuildForm();
  EXPECT_NE(frm->ClipboardText().find("\r\nRetry   Cancel   OK\r\n"), std::string::npos);
  // A clipboard held elsewhere: nothing placed, and it is not left open.
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_FALSE(forms::Clipboard().SetAsText("x"));
  EXPECT_TRUE(CloseClipboard());
  delete frm;
}

TEST_F(DialogTest, FontsFollowTheStyle) {
  TskMessageDialog dlg(nullptr);
  EXPECT_EQ(dlg.Caption, "skDialog");
  EXPECT_EQ(dlg.CaptionFont().Name(), "Tahoma");
  EXPECT_EQ(dlg.CaptionFont().Style(), forms::fsBold);
  struct Case {
    TskUIStyle style;
    forms::TColor caption;
  } cases[] = {{TskUIStyle::Pearl, forms::clBlack}, {TskUIStyle::Ocean, forms::clWhite}, {TskUIStyle::Ember, forms::clWhite}};
  for (const Case& c : cases) {
    dlg.SetUIStyle(c.style);
    EXPECT_EQ(dlg.CaptionFont().Color(), c.caption);
    EXPECT_EQ(dlg.Font().Color(), forms::clBlack);
  }
  // A dialog on a form takes the style of the form's themed form.
  forms::TForm form(nullptr);
  TskForm sk(&form);
  sk.SetUIStyle(TskUIStyle::Pearl);
  TskMessageDialog onForm(&form);
  EXPECT_EQ(onForm.UIStyle(), TskUIStyle::Pearl);
  EXPECT_EQ(onForm.CaptionFont().Color(), forms::clBlack);
}

TEST_F(DialogTest, FileThemeColoursAndAWideLeftBorder) {
  namespace tk = testkit;
  tk::ZipEntry e;
  e.data = tk::WriteSkinData({tk::SkinInteger("SKIN2_TITLEFONTCOLOR", 0x0000FF),
                              tk::SkinInteger("SKIN2_CONTROLFONTCOLOR", 0x00FF00),
                              tk::SkinBitmap("SKIN2_FORMLEFTBORDER", tk::WriteBmp24(10, 2, std::vector<uint32_t>(20, 0x102030)))});
  const std::vector<uint8_t> zip = tk::WriteZip({e});
  std::ofstream(work_ + "/skin.sk", std::ios::binary)
      .write(reinterpret_cast<const char*>(zip.data()), static_cast<std::streamsize>(zip.size()));
  TskFileTheme theme(nullptr);
  theme.SetThemeFile("skin.sk");
  ASSERT_TRUE(theme.Ready());
  TskMessageDialog dlg(nullptr);
  dlg.SetFileTheme(&theme);
  dlg.SetUIStyle(TskUIStyle::FromThemeFile);
  EXPECT_EQ(dlg.CaptionFont().Color(), 0x0000FF);
  EXPECT_EQ(dlg.Font().Color(), 0x00FF00);
  TfrmMsg* frm = dlg.BuildForm();
  EXPECT_EQ(frm->Perform(kLeftBorderQuery, 0, 0), 10);
  const int width = frm->Width();
  frm->Show();
  // Shown, the box grows by twice a left border wider than 6.
  EXPECT_EQ(frm->Width(), width + 20);
  delete frm;
}

struct GoldenCase {
  int count;
  I icon;
  const char* name;
};

class DialogGoldenTest : public DialogTest, public ::testing::WithParamInterface<GoldenCase> {};

TEST_P(DialogGoldenTest, MessageBox) {
  const GoldenCase& c = GetParam();
  TskMessageDialog dlg(nullptr);
  dlg.Caption = "Tarvel";
  dlg.Text = "The settings could not be saved.";
  dlg.SetButtonCount(c.count);
  dlg.IconType = c.icon;
  TfrmMsg* frm = dlg.BuildForm();
  frm->Show();
  Application->ProcessMessages();
  const pt::Picture pic = pt::WindowPixels(frm->Handle());
  EXPECT_TRUE(testing::MatchesGolden(pic, std::string("msgbox_") + c.name));
  // Worked out: the 1-pixel black band at the bottom and the form colour
  // 0xE8E8E8 in the 2-pixel margin above it; the panel's colour under the label.
  EXPECT_EQ(pic.At(frm->Width() / 2, frm->Height() - 1), 0x000000u);
  EXPECT_EQ(pic.At(frm->Width() / 2, frm->Height() - 2), 0xE8E8E8u);
  EXPECT_EQ(pic.At(frm->Width() - 1, 100), 0x000000u);
  EXPECT_EQ(pic.At(1, 100), 0xE8E8E8u);
  delete frm;
}

INSTANTIATE_TEST_SUITE_P(Boxes, DialogGoldenTest,
                         ::testing::Values(GoldenCase{1, I::skWarning, "1_warning"}, GoldenCase{2, I::skStop, "2_stop"},
                                           GoldenCase{3, I::skInformation, "3_information"},
                                           GoldenCase{1, I::skHelp, "1_help"}, GoldenCase{2, I::skNone, "2_none"}),
                         [](const ::testing::TestParamInfo<GoldenCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace skin
