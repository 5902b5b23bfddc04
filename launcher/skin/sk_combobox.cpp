#include "launcher/skin/sk_combobox.h"

#include "launcher/skin/sk_public.h"
#include "platform/forms/forms.h"
#include "platform/win32/dc.h"
#include "platform/win32/win32.h"

namespace skin {

using forms::TCanvas;
using forms::TRect;

namespace {

constexpr int kControlBorderColorKey = 22;  // SKIN2_CONTROLBORDERCOLOR
constexpr int kControlColorKey = 21;        // SKIN2_CONTROLCOLOR

// Loaded once: the resources never change.
forms::TBitmap* ButtonBitmap(TskUIStyle style) {
  static forms::TBitmap pearl, meadow;
  static bool loaded = false;
  if (!loaded) {
    RegisterBuiltInBitmaps();
    pearl.LoadFromResourceName(nullptr, "PEARL_COMBOBOX_BUTTON");
    meadow.LoadFromResourceName(nullptr, "MEADOW_COMBOBOX_BUTTON");
    loaded = true;
  }
  if (style == TskUIStyle::Pearl) return &pearl;
  if (style == TskUIStyle::Meadow) return &meadow;
  return nullptr;
}

}  // namespace

TskCustomComboBox::TskCustomComboBox(forms::TComponent* owner) : forms::TCustomComboBox(owner) {
  // The framework's combo box draws its own edge; this one has none of its
  // own (a border width of 0) and paints the frame instead.
  SetUIStyle(GetOwnerFormUIStyle(owner));
}

TskCustomComboBox::~TskCustomComboBox() {
  if (fileTheme_) fileTheme_->RemoveFreeNotification(this);
}

std::vector<std::string> TskCustomComboBox::PublishedProperties() const {
  return {"Name",     "Tag",          "FileTheme",   "UIStyle",     "BorderColor", "ArrowColor",
          "ButtonColor", "AutoComplete", "AutoDropDown", "Style",     "CharCase",    "Color",
          "DropDownCount", "Enabled",  "Font",        "ItemHeight",  "ItemIndex",   "MaxLength",
          "ParentColor", "Sorted",     "TabStop",     "Text",        "Items"};
}

bool TskCustomComboBox::SetPublishedProperty(const std::string& name, const forms::TPropValue& v) {
  if (name == "UIStyle" && std::holds_alternative<int64_t>(v)) {
    SetUIStyle(static_cast<TskUIStyle>(std::get<int64_t>(v)));
    return true;
  }
  if (name == "FileTheme" && std::holds_alternative<forms::TPersistent*>(v)) {
    SetFileTheme(dynamic_cast<TskFileTheme*>(std::get<forms::TPersistent*>(v)));
    return true;
  }
  return forms::TCustomComboBox::SetPublishedProperty(name, v);
}

bool TskCustomComboBox::GetPublishedProperty(const std::string& name, forms::TPropValue* v) const {
  if (name == "UIStyle") {
    *v = static_cast<int64_t>(style_);
    return true;
  }
  if (name == "FileTheme") {
    *v = static_cast<forms::TPersistent*>(fileTheme_);
    return true;
  }
  return forms::TCustomComboBox::GetPublishedProperty(name, v);
}

void TskCustomComboBox::SetUIStyle(TskUIStyle style) {
  style_ = style;
  arrowColor_ = forms::clBlack;
  TskUIStyle effective = style;
  if (TskFileTheme::ResolveStyle(fileTheme_, style, &effective)) {
    borderColor_ = fileTheme_->GetColor(kControlBorderColorKey);
    buttonColor_ = fileTheme_->GetColor(kControlColorKey);
  } else {
    borderColor_ = GetThemeColor(effective, tsControlBorderColor);
    buttonColor_ = GetThemeColor(effective, tsFormColor);
  }
  Invalidate();
}

void TskCustomComboBox::SetFileTheme(TskFileTheme* theme) {
  if (fileTheme_ && fileTheme_ != theme) fileTheme_->RemoveFreeNotification(this);
  fileTheme_ = theme;
  if (fileTheme_) fileTheme_->FreeNotification(this);
  SetUIStyle(style_);
}

void TskCustomComboBox::Notification(forms::TComponent* c, forms::TOperation op) {
  forms::TCustomComboBox::Notification(c, op);
  if (op == forms::TOperation::opRemove && c && c == fileTheme_) {
    fileTheme_ = nullptr;
    SetUIStyle(TskUIStyle::Ocean);
  }
}

void TskCustomComboBox::SetBorderColor(forms::TColor color) {
  borderColor_ = color;
  Invalidate();
}

void TskCustomComboBox::SetArrowColor(forms::TColor color) {
  arrowColor_ = color;
  Invalidate();
}

void TskCustomComboBox::SetButtonColor(forms::TColor color) {
  buttonColor_ = color;
  Invalidate();
}

void TskCustomComboBox::CloseUp() {
  forms::TCustomComboBox::CloseUp();
  if (Parent()) Parent()->Invalidate();
}

void TskCustomComboBox::Paint() {
  forms::TCustomComboBox::Paint();
  DrawFrame(Canvas());
}

void TskCustomComboBox::DrawFrame(TCanvas& c) {
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (!CallGetComboBoxInfo(Handle(), &info) || Style() == forms::TComboBoxStyle::csSimple) return;
  const TRect client = ClientRect();
  c.Brush().Style = forms::TBrushStyle::bsSolid;
  c.Brush().Color = borderColor_;
  c.FrameRect(client);
  c.Brush().Color = Color();
  c.FrameRect(forms::Rect(client.Left + 1, client.Top + 1, client.Right - 1, client.Bottom - 1));
  if (DroppedDown() && info.hwndList) {
    // The list is a window of its own: its frame goes on its own picture
    // (the headless screen has no device context of its own).
    HDC dc = GetDC(info.hwndList);
    if (dc) {
      RECT r;
      GetClientRect(info.hwndList, &r);
      TCanvas list;
      list.SetHandle(dc);
      list.Brush().Color = borderColor_;
      list.FrameRect(forms::Rect(r.left, r.top, r.right, r.bottom));
      ReleaseDC(info.hwndList, dc);
    }
  }
  const TRect button = forms::Rect(info.rcButton.left, info.rcButton.top, info.rcButton.right, info.rcButton.bottom);
  if (forms::TBitmap* bitmap = ButtonBitmap(style_); bitmap && !bitmap->Empty()) {
    c.StretchDraw(button, *bitmap);
  } else if (!bitmap) {
    c.Brush().Color = buttonColor_;
    c.FillRect(button);
    // No right-to-left reading here: the line is always on the left.
    c.Pen().Color = borderColor_;
    c.Pen().Style = forms::TPenStyle::psSolid;
    c.MoveTo(button.Left, button.Top - 1);
    c.LineTo(button.Left, button.Bottom + 1);
  }
  if (style_ == TskUIStyle::Meadow) return;
  const int x = button.Left + button.Width() / 2 - 3;
  const int y = button.Height() / 2;
  c.Pen().Style = forms::TPenStyle::psSolid;
  if (!Enabled()) {
    c.Brush().Color = forms::clWhite;
    c.Pen().Color = forms::clWhite;
    c.Polygon({{x + 1, y + 1}, {x + 7, y + 1}, {x + 4, y + 4}});
    c.Brush().Color = 0x808080;
    c.Pen().Color = 0x808080;
  } else {
    c.Brush().Color = arrowColor_;
    c.Pen().Color = arrowColor_;
  }
  c.Polygon({{x, y}, {x + 6, y}, {x + 3, y + 3}});
}

}  // namespace skin
