#include "launcher/skin/sk_button.h"

#include <algorithm>

#include "launcher/skin/sk_public.h"
#include "platform/forms/forms.h"
#include "platform/win32/win32.h"

namespace skin {

using forms::Rect;
using forms::TBitmap;
using forms::TCanvas;

namespace {

constexpr forms::TShiftState kModifiers = forms::ssShift | forms::ssCtrl | forms::ssAlt;

bool Blank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

bool SetStyleProperty(const std::string& name, const forms::TPropValue& v, const std::function<void(TskUIStyle)>& style,
                      const std::function<void(TskFileTheme*)>& theme) {
  if (name == "UIStyle" && std::holds_alternative<int64_t>(v)) {
    style(static_cast<TskUIStyle>(std::get<int64_t>(v)));
    return true;
  }
  if (name == "FileTheme" && std::holds_alternative<forms::TPersistent*>(v)) {
    theme(dynamic_cast<TskFileTheme*>(std::get<forms::TPersistent*>(v)));
    return true;
  }
  return false;
}

bool GetStyleProperty(const std::string& name, forms::TPropValue* v, TskUIStyle style, TskFileTheme* theme) {
  if (name == "UIStyle") *v = static_cast<int64_t>(style);
  else if (name == "FileTheme") *v = static_cast<forms::TPersistent*>(theme);
  else return false;
  return true;
}

}  // namespace

GlyphPlacement PlaceGlyph(TButtonLayout layout, int width, int height, int gw, int gh, int tw, int th, int spacing) {
  GlyphPlacement p;
  switch (layout) {
    case TButtonLayout::blGlyphLeft:
      p.glyph = {(width - gw - tw - spacing) / 2, (height - gh) / 2};
      p.text = {p.glyph.X + gw + spacing, (height - th) / 2};
      break;
    case TButtonLayout::blGlyphRight:
      p.glyph = {(width + tw + spacing - gw) / 2, (height - gh) / 2};
      p.text = {p.glyph.X - tw - spacing, (height - th) / 2};
      break;
    case TButtonLayout::blGlyphTop:
      p.glyph = {(width - gw) / 2, (height - th - gh - spacing) / 2};
      p.text = {(width - tw) / 2, p.glyph.Y + gh + spacing};
      break;
    case TButtonLayout::blGlyphBottom:
      p.glyph = {(width - gw) / 2, (height + th + spacing - gh) / 2};
      p.text = {(width - tw) / 2, p.glyph.Y - th - spacing};
      break;
  }
  return p;
}

// ---- TskCustomButton -----------------------------------------------------------------

TskCustomButton::TskCustomButton(forms::TComponent* owner) : TCustomControl(owner) {
  SetParentColor(true);
  TabStop = true;
  ControlStyle |= forms::csOpaque;
  style_ = GetOwnerFormUIStyle(owner);
}

TskCustomButton::~TskCustomButton() {
  if (fileTheme_) fileTheme_->RemoveFreeNotification(this);
}

std::vector<std::string> TskCustomButton::PublishedProperties() const {
  return {"Name", "Tag", "ParentColor", "Font", "Caption", "AutoSize", "TabStop"};
}

bool TskCustomButton::SetPublishedProperty(const std::string& name, const forms::TPropValue& v) {
  if (!HasPublishedProperty(name)) return false;
  return SetStyleProperty(name, v, [&](TskUIStyle s) { SetUIStyle(s); }, [&](TskFileTheme* t) { SetFileTheme(t); });
}

bool TskCustomButton::GetPublishedProperty(const std::string& name, forms::TPropValue* v) const {
  return HasPublishedProperty(name) && GetStyleProperty(name, v, style_, fileTheme_);
}

void TskCustomButton::SetAutoSize(bool on) {
  autoSize_ = on;
  ApplyAutoSize();
  Invalidate();
}

void TskCustomButton::SetTransparent(bool on) {
  transparent_ = on;
  ApplyTransparent();
}

void TskCustomButton::ApplyTransparent() {
  bitmapTransparent_ = transparent_;
  Invalidate();
}

void TskCustomButton::SetDefault(bool on) {
  default_ = on;
  if (HandleAllocated()) {
    if (forms::TCustomForm* form = forms::GetParentForm(this)) form->FocusControlChanged(form->ActiveControl());
  }
}

void TskCustomButton::SetFocusedRectMargin(int margin) {
  focusMargin_ = margin;
  Invalidate();
}

void TskCustomButton::SetUIStyle(TskUIStyle style) {
  style_ = style;
  ApplyUIStyle();
  ApplyAutoSize();
  Invalidate();
}

void TskCustomButton::SetFileTheme(TskFileTheme* theme) {
  if (fileTheme_) fileTheme_->RemoveFreeNotification(this);
  fileTheme_ = theme;
  if (theme) theme->FreeNotification(this);
  SetUIStyle(style_);
}

void TskCustomButton::Notification(forms::TComponent* c, forms::TOperation op) {
  TCustomControl::Notification(c, op);
  if (op == forms::TOperation::opRemove && c == fileTheme_) {
    fileTheme_ = nullptr;
    SetUIStyle(TskUIStyle::Ocean);
  }
}

void TskCustomButton::ApplyAutoSize() {
  if (!autoSize_) return;
  TBitmap strip;
  LoadThemeBitmap(style_, tsButtonBitmap, &strip);
  int h = strip.Height() == 0 ? 21 : strip.Height();
  int w = strip.Width() == 0 ? 74 : strip.Width();
  SetBounds(Left(), Top(), w / 3, h);
}

void TskCustomButton::FontChanged() {
  Canvas().Font().Assign(Font());
  Invalidate();
}

void TskCustomButton::EnabledChanged() {
  if (!Enabled()) SetHoverPressed(false, false);
  Invalidate();
}

void TskCustomButton::TextChanged() {
  CaptionChanged();
  Invalidate();
}

void TskCustomButton::GetStateFrame(TBitmap& graphic, int frame) {
  TskUIStyle effective;
  if (TskFileTheme::ResolveStyle(fileTheme_, style_, &effective)) {
    fileTheme_->GetBitmapFrame(skButton, &graphic, frame, 3);
  } else {
    LoadThemeBitmapFrame(effective, tsButtonBitmap, &graphic, frame, 3);
  }
}

void TskCustomButton::GetNormalBitmap(TBitmap& g) { GetStateFrame(g, 1); }
void TskCustomButton::GetMouseOnBitmap(TBitmap& g) { GetStateFrame(g, 2); }
void TskCustomButton::GetPressedBitmap(TBitmap& g) { GetStateFrame(g, 3); }
void TskCustomButton::GetDisabledBitmap(TBitmap& g) { GetStateFrame(g, 1); }

void TskCustomButton::DrawStateBitmap(TCanvas& canvas, TBitmap& bitmap) {
  uint32_t key = bitmap.Empty() ? 0 : bitmap.PixelAt(0, 0);
  if (!Enabled()) {
    canvas.DrawGreyed(0, 0, bitmap, bitmapTransparent_, key);
  } else {
    canvas.DrawBitmapPart(forms::Bounds(0, 0, bitmap.Width(), bitmap.Height()), bitmap,
                          Rect(0, 0, bitmap.Width(), bitmap.Height()), bitmapTransparent_, key);
  }
}

void TskCustomButton::DrawFocus(TCanvas& canvas) {
  const int m = focusMargin_;
  canvas.DrawFocusRect(Rect(m, m, Width() - m, Height() - m));
}

void TskCustomButton::DrawCaption(TCanvas& canvas) {
  canvas.Brush().Style = forms::TBrushStyle::bsClear;
  canvas.Font().Assign(Font());
  if (boldCaption_) canvas.Font().SetStyle(canvas.Font().Style() | forms::fsBold);
  boldCaption_ = false;
  const UINT flags = forms::DT_WORDBREAK | forms::DT_EXPANDTABS;
  forms::TRect measured = Rect(0, 0, Width(), 0);
  canvas.DrawText(Caption(), measured, flags | forms::DT_CALCRECT);
  const int dx = (Width() - measured.Width()) / 2, dy = (Height() - measured.Height()) / 2;
  forms::TRect r = Rect(dx, dy, dx + measured.Width(), dy + measured.Height());
  if (pressed_) r = Rect(r.Left + 1, r.Top + 1, r.Right + 1, r.Bottom + 1);
  if (!Enabled()) {
    forms::TRect shadow = Rect(r.Left + 1, r.Top + 1, r.Right + 1, r.Bottom + 1);
    forms::TColor colour = canvas.Font().Color();
    canvas.Font().SetColor(forms::clWhite);
    canvas.DrawText(Caption(), shadow, flags | forms::DT_CENTER);
    canvas.Font().SetColor(0x808080);
    canvas.DrawText(Caption(), r, flags | forms::DT_CENTER);
    canvas.Font().SetColor(colour);
    return;
  }
  canvas.DrawText(Caption(), r, flags | forms::DT_CENTER);
}

void TskCustomButton::Paint() {
  TBitmap state;
  if (!Enabled()) GetDisabledBitmap(state);
  else if (pressed_) GetPressedBitmap(state);
  else if (hover_) GetMouseOnBitmap(state);
  else GetNormalBitmap(state);
  if (state.Empty()) {
    state.SetSize(74, 21);
    state.Canvas().Brush().Color = forms::clWhite;
    state.Canvas().FillRect(Rect(0, 0, 74, 21));
  }
  offscreen_.SetSize(Width(), Height());
  TCanvas& c = offscreen_.Canvas();
  if (transparent_) {
    DrawParentBackground(c, this);
  } else {
    c.Brush().Style = forms::TBrushStyle::bsSolid;
    c.Brush().Color = Color();
    c.FillRect(Rect(0, 0, Width(), Height()));
  }
  DrawStateBitmap(c, state);
  if (Focused() && TabStop) DrawFocus(c);
  if (!Blank(Caption())) DrawCaption(c);
  boldCaption_ = false;
  Canvas().Draw(0, 0, offscreen_);
}

void TskCustomButton::SetHoverPressed(bool hover, bool pressed) {
  hover_ = hover;
  // The repeat timer never outlives the pressed state.
  if (!pressed) StopRepeat();
  pressed_ = pressed;
}

void TskCustomButton::StopRepeat() { repeat_.reset(); }

void TskCustomButton::MouseEnter() {
  if (ComponentState() & forms::csDesigning) return;
  hover_ = true;
  Invalidate();
  if (OnMouseEnter) OnMouseEnter(this);
}

void TskCustomButton::MouseLeave() {
  SetHoverPressed(false, false);
  Invalidate();
  if (OnMouseExit) OnMouseExit(this);
}

void TskCustomButton::MouseDown(forms::TMouseButton button, forms::TShiftState shift, int x, int y) {
  if (button == forms::TMouseButton::mbLeft) {
    pressed_ = true;
    if (!repeat_) {
      repeat_ = std::make_unique<forms::TTimer>(nullptr);
      repeat_->SetInterval(static_cast<UINT>(std::max(MouseContinuouslyDownInterval, 0)));
      repeat_->OnTimer = [this](forms::TObject*) {
        if (OnMouseContinuouslyDown) OnMouseContinuouslyDown(this);
      };
    }
    if (TabStop && CanFocus()) SetFocus();
    Invalidate();
  }
  TCustomControl::MouseDown(button, shift, x, y);
}

void TskCustomButton::MouseMove(forms::TShiftState shift, int x, int y) {
  if (x < 0 || y < 0 || x > Width() || y > Height()) {
    if (hover_ || pressed_) {
      SetHoverPressed(false, false);
      Invalidate();
    }
  }
  TCustomControl::MouseMove(shift, x, y);
}

void TskCustomButton::Click() {
  if (pressed_) {
    SetHoverPressed(hover_, false);
    Invalidate();
  }
  if (Parent()) {
    if (forms::TCustomForm* form = forms::GetParentForm(this)) form->SetModalResult(ModalResult);
  }
  TCustomControl::Click();
}

void TskCustomButton::CancelMode() {
  SetHoverPressed(false, false);
  Invalidate();
}

void TskCustomButton::KeyDown(WORD& key, forms::TShiftState shift) {
  if ((key == VK_SPACE || key == VK_RETURN) && Focused() && Enabled()) {
    pressed_ = true;
    Invalidate();
  }
  TCustomControl::KeyDown(key, shift);
}

void TskCustomButton::KeyUp(WORD& key, forms::TShiftState shift) {
  if ((key == VK_SPACE || key == VK_RETURN) && Focused() && pressed_ && Enabled()) {
    SetHoverPressed(hover_, false);
    Invalidate();
    Click();
  }
  TCustomControl::KeyUp(key, shift);
}

bool TskCustomButton::DialogChar(char ch) {
  if (forms::IsAccel(ch, Caption()) && Enabled() && (!Parent() || Parent()->Enabled())) {
    Click();
    return true;
  }
  return false;
}

bool TskCustomButton::DialogKey(WORD key, forms::TShiftState shift) {
  bool ours = (key == VK_RETURN && activeDefault_) || (key == VK_ESCAPE && Cancel);
  if (ours && !(shift & kModifiers) && CanFocus()) {
    Click();
    return true;
  }
  return false;
}

void TskCustomButton::FocusChanged(forms::TWinControl* focused) {
  activeDefault_ = dynamic_cast<TskButton*>(focused) ? focused == this : default_;
}

void TskCustomButton::WndProc(forms::TMessage& m) {
  // A default button made while its form already has the focus elsewhere
  // answers Enter from the start.
  if (m.Msg == WM_CREATE) activeDefault_ = default_;
  TCustomControl::WndProc(m);
}

void TskCustomButton::DoEnter() {
  Invalidate();
  TCustomControl::DoEnter();
}

void TskCustomButton::DoExit() {
  Invalidate();
  TCustomControl::DoExit();
}

// ---- TskButton ------------------------------------------------------------------------

TskButton::TskButton(forms::TComponent* owner) : TskCustomButton(owner) {
  SetBounds(0, 0, 80, 27);
  ApplyUIStyle();
}

std::vector<std::string> TskButton::PublishedProperties() const {
  return {"Name",        "Tag",          "ParentColor", "TabStop",     "FileTheme",   "UIStyle",  "Cancel",
          "Default",     "Action",       "Caption",     "Font",        "Enabled",     "Transparent", "ModalResult",
          "AutoSize",    "FocusedRectMargin", "Glyph",  "Layout",      "Spacing",     "MouseContinuouslyDownInterval",
          "OnClick",     "OnMouseEnter", "OnMouseExit", "OnMouseContinuouslyDown", "ResHandle"};
}

void TskButton::SetGlyph(const TBitmap& glyph) {
  glyph_.Assign(glyph);
  Invalidate();
}

void TskButton::SetLayout(TButtonLayout layout) {
  layout_ = layout;
  Invalidate();
}

void TskButton::SetSpacing(int spacing) {
  spacing_ = spacing;
  Invalidate();
}

void TskButton::ApplyUIStyle() {
  TskUIStyle effective;
  if (TskFileTheme::ResolveStyle(fileTheme_, style_, &effective)) {
    SetTransparent(fileTheme_->GetBool(skButtonTrans) != 0);
    Font().SetColor(fileTheme_->GetColor(skButtonFontColor));
  } else {
    SetTransparent(GetThemeBool(effective, tsButtonTransparent) != 0);
    Font().SetColor(forms::clBlack);
  }
}

void TskButton::DrawStateBitmap(TCanvas& canvas, TBitmap& bitmap) {
  DrawStretchedCorners(bitmap, canvas, ClientRect(), bitmapTransparent_);
  if (glyph_.Empty()) return;
  canvas.Font().Assign(Font());
  const std::string text = forms::StripHotkey(Caption());
  const int tw = canvas.TextWidth(text), th = canvas.TextHeight(text);
  int gw = glyph_.Width();
  const int gh = glyph_.Height();
  const bool twoImages = gw == 2 * gh;
  if (twoImages) gw = gh;
  GlyphPlacement p = PlaceGlyph(layout_, Width(), Height(), gw, gh, tw, th, spacing_);
  textPos_ = p.text;
  if (Pressed()) p.glyph = {p.glyph.X + 1, p.glyph.Y + 1};
  const uint32_t key = glyph_.PixelAt(0, 0);
  if (twoImages) {
    int sx = Enabled() ? 0 : gw;
    canvas.DrawBitmapPart(forms::Bounds(p.glyph.X, p.glyph.Y, gw, gh), glyph_, forms::Bounds(sx, 0, gw, gh), true, key);
  } else if (Enabled()) {
    canvas.DrawBitmapPart(forms::Bounds(p.glyph.X, p.glyph.Y, gw, gh), glyph_, Rect(0, 0, gw, gh), true, key);
  } else {
    canvas.DrawGreyed(p.glyph.X, p.glyph.Y, glyph_, true, key);
  }
}

void TskButton::DrawFocus(TCanvas& canvas) {
  if (style_ == TskUIStyle::Pearl || style_ == TskUIStyle::Glacier) {
    boldCaption_ = true;
    return;
  }
  TskCustomButton::DrawFocus(canvas);
}

void TskButton::DrawCaption(TCanvas& canvas) {
  if (glyph_.Empty()) {
    TskCustomButton::DrawCaption(canvas);
    return;
  }
  canvas.Brush().Style = forms::TBrushStyle::bsClear;
  canvas.Font().Assign(Font());
  if (boldCaption_) canvas.Font().SetStyle(canvas.Font().Style() | forms::fsBold);
  forms::TPoint at = textPos_;
  const UINT flags = forms::DT_SINGLELINE;
  if (!Enabled()) {
    forms::TRect shadow = Rect(at.X + 1, at.Y + 1, Width(), Height());
    canvas.Font().SetColor(forms::clWhite);
    canvas.DrawText(Caption(), shadow, flags);
    canvas.Font().SetColor(0x808080);
  } else if (Pressed()) {
    at = {at.X + 1, at.Y + 1};
  }
  forms::TRect r = Rect(at.X, at.Y, Width(), Height());
  canvas.DrawText(Caption(), r, flags);
}

// ---- TskCheckBox ----------------------------------------------------------------------

TskCheckBox::TskCheckBox(forms::TComponent* owner) : TCustomControl(owner) {
  SetBounds(0, 0, 93, 17);
  TabStop = true;
  SetParentColor(true);
  ControlStyle |= forms::csOpaque;
  style_ = GetOwnerFormUIStyle(owner);
}

std::vector<std::string> TskCheckBox::PublishedProperties() const {
  return {"Name",  "Tag",   "UIStyle", "FileTheme",   "AutoSize", "Checked", "Caption",     "Enabled",   "Font",
          "Color", "TabStop", "ParentColor", "State", "Transparent", "OnClick", "OnDblClick"};
}

bool TskCheckBox::SetPublishedProperty(const std::string& name, const forms::TPropValue& v) {
  return SetStyleProperty(name, v, [&](TskUIStyle s) { SetUIStyle(s); }, [&](TskFileTheme* t) { SetFileTheme(t); });
}

bool TskCheckBox::GetPublishedProperty(const std::string& name, forms::TPropValue* v) const {
  return GetStyleProperty(name, v, style_, fileTheme_);
}

void TskCheckBox::SetChecked(bool on) {
  if (checked_ == on) return;
  checked_ = on;
  Invalidate();
  DoClick();
}

void TskCheckBox::SetAutoSize(bool on) {
  autoSize_ = on;
  Invalidate();
}

void TskCheckBox::SetTransparent(bool on) {
  transparent_ = on;
  Invalidate();
}

void TskCheckBox::SetUIStyle(TskUIStyle style) {
  style_ = style;
  Invalidate();
}

void TskCheckBox::SetFileTheme(TskFileTheme* theme) {
  if (fileTheme_) fileTheme_->RemoveFreeNotification(this);
  fileTheme_ = theme;
  if (theme) theme->FreeNotification(this);
  SetUIStyle(style_);
}

void TskCheckBox::Notification(forms::TComponent* c, forms::TOperation op) {
  TCustomControl::Notification(c, op);
  if (op == forms::TOperation::opRemove && c == fileTheme_) {
    fileTheme_ = nullptr;
    SetUIStyle(TskUIStyle::Ocean);
  }
}

void TskCheckBox::DoClick() {
  if (ComponentState() & forms::csLoading) return;
  if (OnClick) OnClick(this);
}

void TskCheckBox::Toggle() {
  BeforeToggle();
  SetChecked(!checked_);
}

void TskCheckBox::Click() {
  Toggle();
  TCustomControl::Click();
}

void TskCheckBox::MouseDown(forms::TMouseButton button, forms::TShiftState shift, int x, int y) {
  if (button == forms::TMouseButton::mbLeft && CanFocus()) SetFocus();
  TCustomControl::MouseDown(button, shift, x, y);
}

void TskCheckBox::KeyUp(WORD& key, forms::TShiftState shift) {
  if ((key == VK_SPACE || key == VK_RETURN) && Focused() && Enabled() && KeysToggle()) {
    Invalidate();
    Click();
  }
  TCustomControl::KeyUp(key, shift);
}

bool TskCheckBox::DialogChar(char ch) {
  if (!forms::IsAccel(ch, Caption())) return false;
  if (CanFocus()) SetFocus();
  Click();
  return true;
}

void TskCheckBox::GetFrame(TBitmap& frame) {
  TskUIStyle effective;
  if (TskFileTheme::ResolveStyle(fileTheme_, style_, &effective)) {
    // Six frames: checked 1, checked disabled 4, unchecked 3, unchecked disabled 6.
    int index = checked_ ? (Enabled() ? 1 : 4) : (Enabled() ? 3 : 6);
    fileTheme_->GetBitmapFrame(GetFileBitmapIndex(), &frame, index, 6);
  } else {
    // Four frames: checked 1, unchecked 2, checked disabled 3, unchecked disabled 4.
    int index = checked_ ? (Enabled() ? 1 : 3) : (Enabled() ? 2 : 4);
    LoadThemeBitmapFrame(effective, GetThemeSlot(), &frame, index, 4);
  }
}

void TskCheckBox::Paint() {
  TBitmap frame;
  GetFrame(frame);
  TCanvas& measure = offscreen_.Canvas();
  measure.Font().Assign(Font());
  const int th = measure.TextHeight("W");
  if (autoSize_) {
    int h = std::max(th + 2, frame.Height()) + 4;
    int w = frame.Width() + measure.TextWidth(forms::StripHotkey(Caption())) + 8;
    if (w != Width() || h != Height()) SetBounds(Left(), Top(), w, h);
  }
  offscreen_.SetSize(Width(), Height());
  TCanvas& c = offscreen_.Canvas();
  if (transparent_) {
    DrawParentBackground(c, this);
  } else {
    c.Brush().Style = forms::TBrushStyle::bsSolid;
    c.Brush().Color = Color();
    c.FillRect(Rect(0, 0, Width(), Height()));
  }
  c.Brush().Style = forms::TBrushStyle::bsClear;
  const int textTop = (ClientHeight() - th) / 2;
  // The system has no right-to-left reading support here: left to right only.
  c.DrawBitmapPart(forms::Bounds(1, (ClientHeight() - frame.Height()) / 2, frame.Width(), frame.Height()), frame,
                   Rect(0, 0, frame.Width(), frame.Height()), IsBitmapTransparent(), 0xFF00FF);
  forms::TRect text = Rect(frame.Width() + 4, textTop, Width(), textTop + th);
  c.DrawText(Caption(), text, forms::DT_SINGLELINE);
  if (WantsFocusRect()) c.DrawFocusRect(Rect(frame.Width() + 3, textTop, Width(), textTop + th + 2));
  Canvas().Draw(0, 0, offscreen_);
}

}  // namespace skin
