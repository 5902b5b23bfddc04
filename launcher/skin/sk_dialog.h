// Skinned dialogs: the dialog component holding the look, and the message
// box with up to three buttons and an icon, shown on a small themed form
// that copies its whole message to the clipboard on Ctrl+C.
#pragma once

#include <string>
#include <vector>

#include "launcher/skin/sk_button.h"
#include "launcher/skin/sk_form.h"
#include "platform/forms/stdctrls.h"

namespace skin {

class TskDialog : public forms::TComponent {
 public:
  explicit TskDialog(forms::TComponent* owner);
  ~TskDialog() override;
  std::string ClassName() const override { return "TskDialog"; }
  std::vector<std::string> PublishedProperties() const override {
    return {"Name", "Tag", "FileTheme", "Position", "Caption", "UIStyle", "Font", "CaptionFont"};
  }

  TskFileTheme* FileTheme() const { return fileTheme_; }
  void SetFileTheme(TskFileTheme* theme);
  TskUIStyle UIStyle() const { return style_; }
  void SetUIStyle(TskUIStyle style);
  forms::TPosition Position = forms::TPosition::poScreenCenter;
  std::string Caption = "skDialog";
  forms::TFont& Font() { return font_; }
  void SetFont(const forms::TFont& font) { font_.Assign(font); }
  forms::TFont& CaptionFont() { return captionFont_; }
  void SetCaptionFont(const forms::TFont& font) { captionFont_.Assign(font); }

  // Shows the dialog; the modal result.
  virtual int Execute() = 0;

 protected:
  void Notification(forms::TComponent* c, forms::TOperation op) override;

 private:
  TskFileTheme* fileTheme_ = nullptr;
  TskUIStyle style_ = TskUIStyle::Ocean;
  forms::TFont font_;
  forms::TFont captionFont_;
};

enum class TskIconType { skNone = 0, skWarning = 1, skStop = 2, skInformation = 3, skHelp = 4 };

// The message box's form.
class TfrmMsg : public forms::TForm {
 public:
  explicit TfrmMsg(forms::TComponent* owner);
  std::string ClassName() const override { return "TfrmMsg"; }
  TskForm* skForm1;
  forms::TLabel* lbl;
  forms::TImage* Image1;
  // The message as Ctrl+C puts it on the clipboard.
  std::string ClipboardText() const;

 private:
  void FormKeyDown(forms::TObject* sender, WORD& key, forms::TShiftState shift);
  void FormShow(forms::TObject* sender);
};

class TskMessageDialog : public TskDialog {
 public:
  explicit TskMessageDialog(forms::TComponent* owner) : TskDialog(owner) {}
  std::string ClassName() const override { return "TskMessageDialog"; }
  std::vector<std::string> PublishedProperties() const override;

  forms::TCursor ButtonCursor = forms::crHandPoint;
  // 1 to 3.
  int ButtonCount() const { return buttonCount_; }
  void SetButtonCount(int count);
  std::string Button1Caption = "OK";
  std::string Button2Caption = "Cancel";
  std::string Button3Caption = "Cancel";
  int Button1ModalResult = forms::mrOk;
  int Button2ModalResult = forms::mrCancel;
  int Button3ModalResult = forms::mrCancel;
  TskIconType IconType = TskIconType::skNone;
  std::string Text = "Hello world!";

  // The box laid out and themed, not yet shown (owned by the application).
  TfrmMsg* BuildForm();
  int Execute() override;

 private:
  int buttonCount_ = 1;
};

}  // namespace skin
