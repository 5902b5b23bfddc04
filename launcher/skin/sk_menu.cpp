#include "launcher/skin/sk_menu.h"

#include <algorithm>

#include "platform/forms/forms.h"

namespace skin {

using forms::TCanvas;
using forms::TColor;
using forms::TMenuItem;
using forms::TRect;

namespace {

forms::TImageList* LoadCheckList(forms::TImageList& list) {
  if (list.Count() == 0) {
    RegisterBuiltInBitmaps();
    forms::TBitmap check;
    if (check.LoadFromResourceName(nullptr, "MENU_CHECKED")) {
      list.Width = check.Width();
      list.Height = check.Height();
      list.AddMasked(check, forms::clWhite);
    }
  }
  return &list;
}

// One list for every pop-up menu, made on first use and freed at exit.
forms::TImageList* SharedPopupChecks() {
  static std::unique_ptr<forms::TImageList> list(new forms::TImageList(nullptr));
  return LoadCheckList(*list);
}

bool HasImage(forms::TImageList* images, const TMenuItem* item) {
  return images && item->ImageIndex() >= 0 && item->ImageIndex() < images->Count();
}

}  // namespace

void SkMenuFont(const TskMenuLook& look, forms::TFont& font) {
  if (look.UseSystemFont) {
    forms::GetMenuFont(font);
  } else {
    font.SetName(look.FontName);
    font.SetSize(look.FontSize);
    font.SetStyle(0);
  }
}

void SkMeasureMenuItem(const TskMenuLook& look, TMenuItem* item, TCanvas& canvas, int& width, int& height) {
  SkMenuFont(look, canvas.Font());
  if (item->IsLine()) {
    height = look.SeparatorHeight;
  } else {
    height = std::max(canvas.TextHeight(item->Caption()), look.MenuItemHeight);
  }
  width = canvas.TextWidth(forms::StripHotkey(item->Caption())) +
          canvas.TextWidth(forms::ShortCutToText(item->ShortCut())) + look.BarWidth + 40;
}

void SkDrawMenuItem(const TskMenuLook& look, bool pearl, forms::TImageList* images, forms::TImageList* checks,
                    TMenuItem* item, TCanvas& canvas, const TRect& rect, forms::TOwnerDrawState state,
                    TColor formColor) {
  (void)formColor;  // the flat frame is drawn over the window's edges (PaintFrame)
  auto& brush = canvas.Brush();
  brush.Style = forms::TBrushStyle::bsSolid;
  const TRect bar = forms::Rect(rect.Left, rect.Top, rect.Left + look.BarWidth, rect.Bottom);
  const TRect rest = forms::Rect(rect.Left + look.BarWidth, rect.Top, rect.Right, rect.Bottom);
  auto plain = [&] {
    brush.Color = look.BarColor;
    canvas.FillRect(bar);
    brush.Color = look.Color;
    canvas.FillRect(rest);
  };
  auto pearlStrip = [&](forms::TBitmap* bitmap, int height) {
    if (!bitmap || bitmap->Empty()) return;
    canvas.DrawBitmapPart(rect, *bitmap, forms::Rect(0, 0, bitmap->Width(), std::min(height, bitmap->Height())),
                          false, 0);
  };
  forms::TBitmap* pearlSelect = nullptr;
  forms::TBitmap* pearlBar = nullptr;
  if (pearl) {
    static forms::TBitmap* loaded[2] = {};
    // Loaded once: the resources never change.
    if (!loaded[0]) {
      RegisterBuiltInBitmaps();
      static forms::TBitmap select, barBitmap;
      select.LoadFromResourceName(nullptr, "PEARL_MENU_SELECT");
      barBitmap.LoadFromResourceName(nullptr, "PEARL_MENU_BAR");
      loaded[0] = &select;
      loaded[1] = &barBitmap;
    }
    pearlSelect = loaded[0];
    pearlBar = loaded[1];
  }

  if (item->IsLine()) {
    if (pearl) {
      pearlStrip(pearlBar, 12);
    } else {
      plain();
      canvas.Pen().Color = look.SeparatorColor;
      canvas.Pen().Style = forms::TPenStyle::psSolid;
      canvas.MoveTo(rect.Left + look.BarWidth + 4, rect.Top + 2);
      canvas.LineTo(rect.Right - 2, rect.Top + 2);
    }
    return;
  }

  const bool enabled = item->Enabled() && !(state & forms::odDisabled);
  const bool selected = enabled && (state & forms::odSelected);
  if (selected) {
    if (pearl) {
      pearlStrip(pearlSelect, 20);
    } else {
      brush.Color = look.SelectedColor;
      canvas.FillRect(rect);
      brush.Color = look.SelectedBorderColor;
      canvas.FrameRect(rect);
    }
  } else if (pearl) {
    pearlStrip(pearlBar, 20);
  } else {
    plain();
  }

  forms::TFont& font = canvas.Font();
  SkMenuFont(look, font);
  font.SetColor(!enabled ? TColor(0x808080) : selected ? look.SelectedFontColor : look.FontColor);
  font.SetStyle(item->Default() ? forms::TFontStyles{forms::fsBold} : forms::TFontStyles{0});
  brush.Style = forms::TBrushStyle::bsClear;
  TRect text = forms::Rect(rect.Left + look.BarWidth + 4, rect.Top, rect.Right, rect.Bottom);
  canvas.DrawText(item->Caption(), text, forms::DT_SINGLELINE | forms::DT_VCENTER);
  const std::string shortCut = forms::ShortCutToText(item->ShortCut());
  if (!shortCut.empty()) {
    TRect sc = forms::Rect(rect.Right - canvas.TextWidth(shortCut) - 16, rect.Top, rect.Right, rect.Bottom);
    canvas.DrawText(shortCut, sc, forms::DT_SINGLELINE | forms::DT_VCENTER | forms::DT_NOPREFIX);
  }

  const int x = rect.Left + 4;
  const bool image = HasImage(images, item);
  if (item->Checked()) {
    if (!image) {
      if (checks && checks->Count() > 0) checks->Draw(canvas, x, rect.Top + 3, 0, enabled);
    } else {
      brush.Style = forms::TBrushStyle::bsSolid;
      brush.Color = look.SelectedColor;
      canvas.Pen().Color = forms::clBlack;
      canvas.Pen().Style = forms::TPenStyle::psSolid;
      canvas.Rectangle(x - 2, rect.Top + 1, x + 17, rect.Top + 20);
    }
  }
  if (image) images->Draw(canvas, x, rect.Top + 3, item->ImageIndex(), enabled);
}

// ---- Shared behaviour ----------------------------------------------------------

void TskMenuCore::HookItems() {
  menu_->ForEachItem([this](TMenuItem* item) {
    item->OnMeasureItem = [this](forms::TObject* sender, TCanvas& canvas, int& w, int& h) {
      SkMeasureMenuItem(look_, static_cast<TMenuItem*>(sender), canvas, w, h);
    };
    item->OnAdvancedDrawItem = [this](forms::TObject* sender, TCanvas& canvas, const TRect& r,
                                      forms::TOwnerDrawState s) {
      SkDrawMenuItem(look_, style_ == TskUIStyle::Pearl, ItemImages(), CheckImages(),
                     static_cast<TMenuItem*>(sender), canvas, r, s, FormColor());
    };
  });
}

void TskPopupMenu::PaintFrame(forms::TCanvas& canvas, const forms::TRect& window) const {
  if (!look_.FlatMenu || window.Width() < 4 || window.Height() < 4) return;
  auto& brush = canvas.Brush();
  const forms::TBrushStyle style = brush.Style;
  const TColor colour = brush.Color;
  brush.Style = forms::TBrushStyle::bsSolid;
  const forms::TRect outer = forms::Rect(window.Left, window.Top + 1, window.Right - 1, window.Bottom - 1);
  brush.Color = forms::clBlack;
  canvas.FrameRect(outer);
  brush.Color = forms::clWhite;
  canvas.FrameRect(forms::Rect(outer.Left + 1, outer.Top + 1, outer.Right - 1, outer.Bottom - 1));
  brush.Color = FormColor();
  canvas.FillRect(forms::Rect(window.Left, window.Bottom - 1, window.Right, window.Bottom));
  canvas.FillRect(forms::Rect(window.Right - 1, window.Top, window.Right, window.Bottom));
  brush.Style = style;
  brush.Color = colour;
}

TColor TskMenuCore::FormColor() const {
  TskUIStyle effective = style_;
  if (TskFileTheme::ResolveStyle(fileTheme_, style_, &effective)) return fileTheme_->GetColor(skFormColor);
  return GetThemeColor(effective, tsFormColor);
}

void TskMenuCore::ApplyStyle(TskUIStyle style) {
  style_ = style;
  look_.BarWidth = 26;
  if (style == TskUIStyle::Pearl) {
    look_.MenuItemHeight = 20;
    look_.SeparatorHeight = 12;
    look_.SeparatorColor = forms::clBlack;
  } else {
    look_.MenuItemHeight = 21;
    look_.SeparatorHeight = 5;
    look_.SeparatorColor = 0x848284;
  }
  TskUIStyle effective = style;
  if (TskFileTheme::ResolveStyle(fileTheme_, style, &effective)) {
    look_.BarColor = fileTheme_->GetColor(skLeftBarStartColor);
    look_.Color = fileTheme_->GetColor(skMenuItemColor);
    look_.FontColor = fileTheme_->GetColor(skMenuItemFontColor);
    look_.SelectedBorderColor = fileTheme_->GetColor(skSelectedMenuBorderColor);
    look_.SelectedColor = fileTheme_->GetColor(skSelectedMenuColor);
    look_.SelectedFontColor = fileTheme_->GetColor(skSelectedMenuFontColor);
  } else {
    look_.BarColor = GetThemeColor(effective, tsMenuBarColor);
    look_.Color = GetThemeColor(effective, tsMenuColor);
    look_.FontColor = GetThemeColor(effective, tsMenuFontColor);
    look_.SelectedBorderColor = GetThemeColor(effective, tsMenuSelectedBorderColor);
    look_.SelectedColor = GetThemeColor(effective, tsMenuSelectedColor);
    look_.SelectedFontColor = GetThemeColor(effective, tsMenuSelectedFontColor);
  }
}

void TskMenuCore::SetFileTheme(TskFileTheme* theme) {
  forms::TComponent* self = menu_;
  if (fileTheme_ && fileTheme_ != theme) fileTheme_->RemoveFreeNotification(self);
  fileTheme_ = theme;
  if (fileTheme_) fileTheme_->FreeNotification(self);
  ApplyStyle(style_);
}

void TskMenuCore::ThemeRemoved(forms::TComponent* c) {
  if (c != fileTheme_ || !c) return;
  fileTheme_ = nullptr;
  ApplyStyle(TskUIStyle::Ocean);
}

static std::vector<std::string> MenuProperties(bool mainMenu) {
  std::vector<std::string> p = {"Name", "Tag", "OwnerDraw", "FileTheme", "UIStyle", "MenuItemHeight",
                                "SeparatorHeight", "BarWidth", "BarColor", "Color", "SeparatorColor",
                                "SelectedBorderColor", "SelectedColor", "SelectedFontColor", "FontColor",
                                "BorderColor", "FlatMenu", "FontSize", "FontCharset", "UseSystemFont", "FontName"};
  if (mainMenu) p.push_back("Images");
  return p;
}

// ---- Pop-up menu ------------------------------------------------------------------

TskPopupMenu::TskPopupMenu(forms::TComponent* owner) : forms::TPopupMenu(owner), TskMenuCore(this) {
  forms::TMenu::SetOwnerDraw(true);
  ApplyStyle(GetOwnerFormUIStyle(owner));
}

std::vector<std::string> TskPopupMenu::PublishedProperties() const { return MenuProperties(false); }

void TskPopupMenu::SetUIStyle(TskUIStyle style) { ApplyStyle(style); }
void TskPopupMenu::SetFileTheme(TskFileTheme* theme) { TskMenuCore::SetFileTheme(theme); }

void TskPopupMenu::SetMenuItemHeight(int height) {
  if (style_ != TskUIStyle::Pearl) look_.MenuItemHeight = height;
}
void TskPopupMenu::SetSeparatorHeight(int height) {
  if (style_ != TskUIStyle::Pearl) look_.SeparatorHeight = height;
}

void TskPopupMenu::Loaded() {
  forms::TPopupMenu::Loaded();
  HookItems();
}

void TskPopupMenu::MenuChanged(TMenuItem* source, bool rebuild) {
  forms::TPopupMenu::MenuChanged(source, rebuild);
  if (rebuild) HookItems();
}

void TskPopupMenu::Notification(forms::TComponent* c, forms::TOperation op) {
  forms::TPopupMenu::Notification(c, op);
  if (op == forms::TOperation::opRemove) ThemeRemoved(c);
}

forms::TImageList* TskPopupMenu::CheckImages() { return SharedPopupChecks(); }

// ---- Main menu ----------------------------------------------------------------------

TskMainMenu::TskMainMenu(forms::TComponent* owner)
    : forms::TMainMenu(owner), TskMenuCore(this), ownChecks_(nullptr) {
  forms::TMenu::SetOwnerDraw(true);
  LoadCheckList(ownChecks_);
  forms::TMenu::SetImages(&ownChecks_);
  ApplyStyle(GetOwnerFormUIStyle(owner));
}

TskMainMenu::~TskMainMenu() {
  // Nobody is told about the check-mark list going with the menu.
  Destroying();
  forms::TMenu::SetImages(nullptr);
}

std::vector<std::string> TskMainMenu::PublishedProperties() const { return MenuProperties(true); }

void TskMainMenu::SetUIStyle(TskUIStyle style) { ApplyStyle(style); }
void TskMainMenu::SetFileTheme(TskFileTheme* theme) { TskMenuCore::SetFileTheme(theme); }

void TskMainMenu::SetSeparatorHeight(int height) {
  if (style_ != TskUIStyle::Pearl) look_.SeparatorHeight = height;
}

void TskMainMenu::SetUseSystemFont(bool on) {
  look_.UseSystemFont = on;
  if (OnFontChange) OnFontChange();
}

void TskMainMenu::SetImages(forms::TImageList* images) { forms::TMainMenu::SetImages(images ? images : &ownChecks_); }

void TskMainMenu::Loaded() {
  forms::TMainMenu::Loaded();
  HookItems();
  if (OnBarChange) OnBarChange(true);
}

void TskMainMenu::MenuChanged(TMenuItem* source, bool rebuild) {
  forms::TMainMenu::MenuChanged(source, rebuild);
  if (ComponentState() & forms::csDestroying) return;
  if (rebuild) HookItems();
  // The bar is rebuilt only at design time (never here); captions and
  // enabled states are refreshed.
  if (OnBarChange && !(ComponentState() & forms::csLoading)) OnBarChange(false);
}

void TskMainMenu::Notification(forms::TComponent* c, forms::TOperation op) {
  forms::TMainMenu::Notification(c, op);
  if (op == forms::TOperation::opRemove) ThemeRemoved(c);
}

}  // namespace skin
