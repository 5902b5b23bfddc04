#include "launcher/skin/sk_dialog.h"

#include <algorithm>

#include "launcher/skin/sk_public.h"
#include "platform/forms/clipbrd.h"

namespace skin {

// ---- TskDialog -----------------------------------------------------------------------------

TskDialog::TskDialog(forms::TComponent* owner) : forms::TComponent(owner) {
  captionFont_.SetColor(forms::clWhite);
  captionFont_.SetName("Tahoma");
  captionFont_.SetStyle(forms::fsBold);
  SetUIStyle(GetOwnerFormUIStyle(owner));
}

TskDialog::~TskDialog() {
  if (fileTheme_) fileTheme_->RemoveFreeNotification(this);
}

void TskDialog::SetUIStyle(TskUIStyle style) {
  style_ = style;
  TskUIStyle effective = style;
  if (TskFileTheme::ResolveStyle(fileTheme_, style, &effective)) {
    captionFont_.SetColor(fileTheme_->GetColor(1));                // SKIN2_TITLEFONTCOLOR
    font_.SetColor(fileTheme_->GetColor(skControlFontColor));
  } else {
    font_.SetColor(forms::clBlack);
    captionFont_.SetColor(style == TskUIStyle::Pearl ? forms::clBlack : forms::clWhite);
  }
}

void TskDialog::SetFileTheme(TskFileTheme* theme) {
  if (fileTheme_ && fileTheme_ != theme) fileTheme_->RemoveFreeNotification(this);
  fileTheme_ = theme;
  if (fileTheme_) fileTheme_->FreeNotification(this);
  SetUIStyle(style_);
}

void TskDialog::Notification(forms::TComponent* c, forms::TOperation op) {
  forms::TComponent::Notification(c, op);
  if (op == forms::TOperation::opRemove && c == fileTheme_) {
    fileTheme_ = nullptr;
    SetUIStyle(TskUIStyle::Ocean);
  }
}

// ---- TfrmMsg ----------------------------------------------------------------------------------

TfrmMsg::TfrmMsg(forms::TComponent* owner) : forms::TForm(owner) {
  BorderStyle = forms::TFormBorderStyle::bsDialog;
  SetBounds(Left(), Top(), 336, 140);
  Constraints.MinWidth = 130;
  Constraints.MinHeight = 54;
  KeyPreview = true;
  Font().SetName("MS Sans Serif");
  Font().SetSize(8);
  skForm1 = new TskForm(this);
  skForm1->Name = "skForm1";
  skForm1->SetUIStyle(TskUIStyle::Ocean);
  skForm1->UIStyleAutoUpdateSub = true;
  skForm1->SetBorderColor(forms::clBlack);
  skForm1->SetBorderWidth(1);
  skForm1->SetColor(0xE8E8E8);
  skForm1->TitleFont().SetName("Tahoma");
  skForm1->TitleFont().SetStyle(forms::fsBold);
  skForm1->TitleFont().SetColor(forms::clWhite);
  skForm1->SetMenuBarHeight(22);
  skForm1->SetRoundCorner(0);
  skForm1->SetRoundCornerBottom(0);
  skForm1->SetTitleBarDrawAppIcon(false);
  TskTitleBar* bar = skForm1->TitleBar();
  while (bar->ButtonCount() > 0) bar->DeleteButton(0);
  TskTitleBarButton* close = bar->AddButton();
  close->SetButtonType(TskTitleBarBtnType::skClose);
  close->SetTop(2);
  lbl = new forms::TLabel(this);
  lbl->SetParent(skForm1);
  lbl->SetTransparent(true);
  lbl->SetBounds(88, 64, 225, 13);
  lbl->SetWordWrap(true);
  Image1 = new forms::TImage(this);
  Image1->SetParent(skForm1);
  Image1->SetBounds(24, 64, 40, 40);
  Image1->SetAutoSize(true);
  OnKeyDown = [this](forms::TObject* s, WORD& key, forms::TShiftState shift) { FormKeyDown(s, key, shift); };
  OnShow = [this](forms::TObject* s) { FormShow(s); };
}

std::string TfrmMsg::ClipboardText() const {
  const std::string dashes = "---------------------------";
  std::string text = dashes + "\r\n" + skForm1->Caption() + "\r\n" + dashes + "\r\n" + lbl->Caption() + "\r\n" +
                     dashes + "\r\n";
  bool first = true;
  for (int i = 0; i < ComponentCount(); ++i) {
    forms::TComponent* c = Components(i);
    if (c->ClassName() != "TskButton") continue;
    if (!first) text += "   ";
    text += static_cast<TskButton*>(c)->Caption();
    first = false;
  }
  return text + "\r\n" + dashes;
}

void TfrmMsg::FormKeyDown(forms::TObject*, WORD& key, forms::TShiftState shift) {
  if (key != 'C' || !(shift & forms::ssCtrl)) return;
  // SetAsText opens and closes the clipboard, also when placing fails.
  forms::Clipboard().SetAsText(ClipboardText());
}

void TfrmMsg::FormShow(forms::TObject*) {
  const auto border = static_cast<int>(Perform(kLeftBorderQuery, 0, 0));
  if (border > 6) SetWidth(Width() + 2 * border);
}

// ---- TskMessageDialog ----------------------------------------------------------------------------

std::vector<std::string> TskMessageDialog::PublishedProperties() const {
  std::vector<std::string> p = TskDialog::PublishedProperties();
  for (const char* name : {"ButtonCursor", "ButtonCount", "Button1Caption", "Button2Caption", "Button3Caption",
                           "Button1ModalResult", "Button2ModalResult", "Button3ModalResult", "IconType", "Text"}) {
    p.emplace_back(name);
  }
  return p;
}

void TskMessageDialog::SetButtonCount(int count) { buttonCount_ = std::clamp(count, 1, 3); }

TfrmMsg* TskMessageDialog::BuildForm() {
  auto* frm = new TfrmMsg(forms::Application);
  frm->SetFont(Font());
  frm->lbl->SetCaption(Text);
  const int b = std::max(frm->lbl->Top() + frm->lbl->Height(), frm->Image1->Top() + frm->Image1->Height());
  if (IconType != TskIconType::skNone) {
    frm->lbl->SetLeft(88);
    forms::TBitmap strip;
    strip.LoadFromResourceName(nullptr, "MSGDLG");
    ExtractFrame(strip, frm->Image1->Picture(), 4, static_cast<int>(IconType));
    frm->Image1->PictureChanged();
  } else {
    frm->lbl->SetLeft(24);
    frm->Image1->SetVisible(false);
    if (buttonCount_ < 3) frm->SetWidth(frm->Width() - 64);
  }
  const int w = frm->Width();
  const std::string captions[3] = {Button1Caption, Button2Caption, Button3Caption};
  const int results[3] = {Button1ModalResult, Button2ModalResult, Button3ModalResult};
  for (int i = 0; i < buttonCount_; ++i) {
    auto* button = new TskButton(frm);
    button->SetParent(frm->skForm1);
    button->SetBounds(w - 93 * i - 97, b + 20, 73, 25);
    button->SetCursor(ButtonCursor);
    button->TabStop = true;
    button->SetTabOrder(1);
    // The rightmost button is the last one.
    const int n = buttonCount_ - i - 1;
    button->SetCaption(captions[n]);
    button->ModalResult = results[n];
    frm->SetActiveControl(button);
    if (button->ModalResult == forms::mrCancel) {
      button->Cancel = true;
      button->SetDefault(false);
    } else {
      button->Cancel = false;
      button->SetDefault(button->ModalResult == forms::mrOk);
    }
  }
  frm->SetHeight(b + 75);
  frm->Position = Position;
  frm->skForm1->PrepareFrame();
  frm->skForm1->SetCaption(Caption);
  frm->skForm1->SetUIStyle(UIStyle());
  frm->skForm1->SetFileTheme(FileTheme());
  frm->skForm1->TitleFont().Assign(CaptionFont());
  return frm;
}

int TskMessageDialog::Execute() {
  TfrmMsg* frm = BuildForm();
  const int result = frm->ShowModal();
  delete frm;
  return result;
}

}  // namespace skin
