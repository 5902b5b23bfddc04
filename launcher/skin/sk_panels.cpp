#include "launcher/skin/sk_panels.h"

#include <cstdlib>

#include "launcher/skin/sk_public.h"

namespace skin {

using forms::TCanvas;
using forms::TRect;

// ---- Picture panel ---------------------------------------------------------------

TskCustomPanel::TskCustomPanel(forms::TComponent* owner) : forms::TCustomPanel(owner) {
  BevelOuter = forms::TBevelCut::bvNone;
}

void TskCustomPanel::PictureChanged() {
  ApplyAutoSize();
  picture_.Transparent = transparent_;
  Invalidate();
}

void TskCustomPanel::SetAutoSize(bool on) {
  autoSize_ = on;
  ApplyAutoSize();
}

void TskCustomPanel::SetTransparent(bool on) {
  transparent_ = on;
  if (!picture_.Empty()) picture_.Transparent = on;
  Invalidate();
}

void TskCustomPanel::SetDrawMode(int mode) {
  drawMode_ = mode;
  Invalidate();
}

void TskCustomPanel::ApplyAutoSize() {
  if (!autoSize_ || picture_.Empty()) return;
  const forms::TAlign a = Align();
  int w = Width(), h = Height();
  if (a != forms::TAlign::alTop && a != forms::TAlign::alBottom && a != forms::TAlign::alClient) w = picture_.Width();
  if (a != forms::TAlign::alLeft && a != forms::TAlign::alRight && a != forms::TAlign::alClient) h = picture_.Height();
  SetBounds(Left(), Top(), w, h);
}

void TskCustomPanel::FillBackground(TCanvas& canvas) {
  canvas.Brush().Style = forms::TBrushStyle::bsSolid;
  canvas.Brush().Color = Color();
  canvas.FillRect(ClientRect());
}

void TskCustomPanel::EraseBackground(TCanvas& canvas) {
  if (EraseBackgroundEnabled) forms::TCustomPanel::EraseBackground(canvas);
}

void TskCustomPanel::TextChanged() {
  textChanged_ = true;
  Invalidate();
}

void TskCustomPanel::Paint() {
  const TRect client = ClientRect();
  if (client.Width() <= 0 || client.Height() <= 0) return;
  offscreen_.SetSize(client.Width(), client.Height());
  TCanvas& c = offscreen_.Canvas();
  // The off-screen bitmap keeps the last paint: fill under a picture that
  // does not cover the panel, too.
  if (transparent_) {
    DrawParentBackground(c, this);
  } else {
    FillBackground(c);
  }
  if (!picture_.Empty()) {
    switch (drawMode_) {
      case 1: c.StretchDraw(client, picture_); break;
      case 2: TileDraw(c, picture_, client); break;
      default: c.Draw(0, 0, picture_); break;
    }
  }
  const std::string text = Caption();
  if (text.find_first_not_of(' ') != std::string::npos) {
    c.Font().Assign(Font());
    c.Brush().Style = forms::TBrushStyle::bsClear;
    TRect r = client;
    if (CaptionX == -1 && CaptionY == -1) {
      UINT flags = forms::DT_SINGLELINE | forms::DT_VCENTER;
      if (Alignment == forms::TAlignment::taCenter) flags |= forms::DT_CENTER;
      if (Alignment == forms::TAlignment::taRightJustify) flags |= forms::DT_RIGHT;
      c.DrawText(text, r, flags);
      TRect calc = r;
      c.DrawText(text, calc, flags | forms::DT_CALCRECT);
      const int w = calc.Width(), h = calc.Height();
      int x = r.Left;
      if (Alignment == forms::TAlignment::taCenter) x = r.Left + (r.Width() - w) / 2;
      if (Alignment == forms::TAlignment::taRightJustify) x = r.Right - w;
      r = forms::Bounds(x, r.Top + (r.Height() - h) / 2, w, h);
    } else {
      c.TextOut(CaptionX, CaptionY, text);
      r = forms::Bounds(CaptionX, CaptionY, c.TextWidth(text), c.TextHeight(text));
    }
    captionRect_ = r;
    if (textChanged_) CaptionRectChanged(r);
  }
  textChanged_ = false;
  Canvas().CopyRect(client, c, client);
}

// ---- Group box ---------------------------------------------------------------------

TskCustomGroupBox::TskCustomGroupBox(forms::TComponent* owner) : TskCustomPanel(owner) {
  SetBounds(Left(), Top(), 185, 105);
  SetCaption(" ");
  SetParentColor(true);
  SetUIStyle(GetOwnerFormUIStyle(owner));
}

TskCustomGroupBox::~TskCustomGroupBox() {
  if (fileTheme_) fileTheme_->RemoveFreeNotification(this);
}

std::vector<std::string> TskCustomGroupBox::PublishedProperties() const {
  return {"Name", "Tag", "FileTheme", "UIStyle", "Caption", "Color", "Font", "Enabled", "Transparent",
          "ParentColor", "TabStop", "BorderColor"};
}

bool TskCustomGroupBox::SetPublishedProperty(const std::string& name, const forms::TPropValue& v) {
  if (name == "UIStyle" && std::holds_alternative<int64_t>(v)) {
    SetUIStyle(static_cast<TskUIStyle>(std::get<int64_t>(v)));
    return true;
  }
  if (name == "FileTheme" && std::holds_alternative<forms::TPersistent*>(v)) {
    SetFileTheme(dynamic_cast<TskFileTheme*>(std::get<forms::TPersistent*>(v)));
    return true;
  }
  return TskCustomPanel::SetPublishedProperty(name, v);
}

bool TskCustomGroupBox::GetPublishedProperty(const std::string& name, forms::TPropValue* v) const {
  if (name == "UIStyle") {
    *v = static_cast<int64_t>(style_);
    return true;
  }
  if (name == "FileTheme") {
    *v = static_cast<forms::TPersistent*>(fileTheme_);
    return true;
  }
  return TskCustomPanel::GetPublishedProperty(name, v);
}

void TskCustomGroupBox::SetUIStyle(TskUIStyle style) {
  style_ = style;
  ApplyUIStyle(style, fileTheme_);
}

void TskCustomGroupBox::SetFileTheme(TskFileTheme* theme) {
  if (fileTheme_ && fileTheme_ != theme) fileTheme_->RemoveFreeNotification(this);
  fileTheme_ = theme;
  if (fileTheme_) fileTheme_->FreeNotification(this);
  SetUIStyle(style_);
}

void TskCustomGroupBox::SetBorderColor(forms::TColor color) {
  borderColor_ = color;
  Invalidate();
}

void TskCustomGroupBox::ApplyUIStyle(TskUIStyle style, TskFileTheme* theme) {
  ApplyThemeToChildren(this, style, theme);
  TskUIStyle effective = style;
  if (TskFileTheme::ResolveStyle(theme, style, &effective)) {
    borderColor_ = theme->GetColor(22);  // SKIN2_CONTROLBORDERCOLOR
    Font().SetColor(theme->GetColor(skControlFontColor));
  } else {
    borderColor_ = GetThemeColor(effective, tsControlBorderColor);
    Font().SetColor(GetThemeColor(effective, tsControlFontColor));
  }
  Invalidate();
}

void TskCustomGroupBox::Notification(forms::TComponent* c, forms::TOperation op) {
  TskCustomPanel::Notification(c, op);
  if (op == forms::TOperation::opRemove && c == fileTheme_ && c) {
    fileTheme_ = nullptr;
    ApplyThemeToChildren(this, TskUIStyle::Ocean, nullptr);
    SetUIStyle(TskUIStyle::Ocean);
  }
}

void TskCustomGroupBox::AdjustClientRect(TRect& rect) const {
  rect.Left += 3;
  rect.Right -= 3;
  rect.Bottom -= 3;
  rect.Top += std::abs(const_cast<TskCustomGroupBox*>(this)->Font().Height()) + 5;
}

void TskCustomGroupBox::FontChanged() {
  Invalidate();
  Realign();
}

void TskCustomGroupBox::Paint() {
  TCanvas& c = Canvas();
  const TRect r = ClientRect();
  if (Transparent()) {
    TskCustomPanel::Paint();
  } else {
    c.Brush().Style = forms::TBrushStyle::bsSolid;
    c.Brush().Color = Color();
    c.FillRect(r);
  }
  c.Font().Assign(Font());
  const std::string caption = Caption();
  const int captionWidth = caption.empty() ? 0 : c.TextWidth(caption);
  const int y = r.Top + std::abs(Font().Height()) / 2 + 1;
  c.Pen().Color = borderColor_;
  c.Pen().Style = forms::TPenStyle::psSolid;
  c.MoveTo(r.Left + 2, y);
  c.LineTo(r.Left, y);
  c.LineTo(r.Left, r.Bottom - 1);
  c.LineTo(r.Right - 1, r.Bottom - 1);
  c.LineTo(r.Right - 1, y);
  // An empty caption closes the top line.
  c.LineTo(caption.empty() ? r.Left : r.Left + captionWidth + 6, y);
  if (!caption.empty()) {
    if (!Enabled()) c.Font().SetColor(0x808080);
    c.Brush().Style = forms::TBrushStyle::bsClear;
    c.TextOut(5, 0, caption);
  }
}

}  // namespace skin
