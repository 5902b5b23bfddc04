// Skinned menus: every item of a pop-up or main menu, at any depth, is
// measured and drawn here in the theme's colours (and, in Pearl, its menu
// bitmaps). Both menu kinds share the look; they differ in their check-mark
// list and in whether Pearl fixes the item height.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "launcher/skin/sk_themes.h"
#include "platform/forms/menus.h"

namespace skin {

// What both menu kinds publish and draw with.
struct TskMenuLook {
  int MenuItemHeight = 21;
  int SeparatorHeight = 21;
  int BarWidth = 0;
  forms::TColor BarColor = forms::clBtnFace;
  forms::TColor Color = forms::clWhite;
  forms::TColor SeparatorColor = 0x808080;
  forms::TColor SelectedBorderColor = forms::clHighlight;
  forms::TColor SelectedColor = forms::clHighlight;
  forms::TColor SelectedFontColor = forms::clWhite;
  forms::TColor FontColor = forms::clWhite;
  forms::TColor BorderColor = forms::clBlack;
  bool FlatMenu = false;
  int FontSize = 8;
  int FontCharset = 1;
  bool UseSystemFont = true;
  std::string FontName = "MS Sans Serif";
};

// The measure and draw routines both menus hand their items.
void SkMeasureMenuItem(const TskMenuLook& look, forms::TMenuItem* item, forms::TCanvas& canvas, int& width,
                       int& height);
// `images` is the menu's image list (item images), `checks` the
// check-mark list; `pearl` whether the menu is in style Pearl; `formColor`
// the colour of the flat menu's frame lines.
void SkDrawMenuItem(const TskMenuLook& look, bool pearl, forms::TImageList* images, forms::TImageList* checks,
                    forms::TMenuItem* item, forms::TCanvas& canvas, const forms::TRect& rect,
                    forms::TOwnerDrawState state, forms::TColor formColor);
// The menu font: the system's menu font with UseSystemFont, else the
// look's name and size.
void SkMenuFont(const TskMenuLook& look, forms::TFont& font);

// The behaviour both classes share, over either framework menu.
class TskMenuCore {
 public:
  explicit TskMenuCore(forms::TMenu* menu) : menu_(menu) {}
  TskMenuLook& Look() { return look_; }
  const TskMenuLook& Look() const { return look_; }
  TskUIStyle UIStyle() const { return style_; }
  TskFileTheme* FileTheme() const { return fileTheme_; }
  // Hands every item, at any depth, the menu's measure and draw routines.
  void HookItems();
  // Removes the file theme when it goes.
  void ThemeRemoved(forms::TComponent* c);
  forms::TColor FormColor() const;

 protected:
  friend class TskPopupMenu;
  friend class TskMainMenu;
  void ApplyStyle(TskUIStyle style);
  void SetFileTheme(TskFileTheme* theme);
  virtual forms::TImageList* CheckImages() = 0;
  virtual forms::TImageList* ItemImages() = 0;
  virtual ~TskMenuCore() = default;

  forms::TMenu* menu_;
  TskMenuLook look_;
  TskUIStyle style_ = TskUIStyle::Ocean;
  TskFileTheme* fileTheme_ = nullptr;
};

class TskPopupMenu : public forms::TPopupMenu, public TskMenuCore {
 public:
  explicit TskPopupMenu(forms::TComponent* owner);
  std::string ClassName() const override { return "TskPopupMenu"; }
  std::vector<std::string> PublishedProperties() const override;

  void SetOwnerDraw(bool) override {}  // always owner-drawn
  void SetUIStyle(TskUIStyle style);
  void SetFileTheme(TskFileTheme* theme);
  // Ignored in Pearl.
  void SetMenuItemHeight(int height);
  void SetSeparatorHeight(int height);
  void SetUseSystemFont(bool on) { look_.UseSystemFont = on; }
  void Loaded() override;
  // With FlatMenu: a flat frame in place of the raised one.
  void PaintFrame(forms::TCanvas& canvas, const forms::TRect& window) const override;

 protected:
  void MenuChanged(forms::TMenuItem* source, bool rebuild) override;
  void Notification(forms::TComponent* c, forms::TOperation op) override;
  forms::TImageList* CheckImages() override;
  forms::TImageList* ItemImages() override { return Images(); }
};

class TskForm;
class TskMainMenu : public forms::TMainMenu, public TskMenuCore {
 public:
  explicit TskMainMenu(forms::TComponent* owner);
  ~TskMainMenu() override;
  std::string ClassName() const override { return "TskMainMenu"; }
  std::vector<std::string> PublishedProperties() const override;

  void SetOwnerDraw(bool) override {}
  void SetUIStyle(TskUIStyle style);
  void SetFileTheme(TskFileTheme* theme);
  // Taken in every style.
  void SetMenuItemHeight(int height) { look_.MenuItemHeight = height; }
  // Ignored in Pearl.
  void SetSeparatorHeight(int height);
  void SetUseSystemFont(bool on);
  // None while the menu uses its own check-mark list; none puts it back.
  forms::TImageList* PublishedImages() const { return Images() == &ownChecks_ ? nullptr : Images(); }
  void SetImages(forms::TImageList* images) override;
  void Loaded() override;

  // The form that shows the menu in its menu bar.
  TskForm* Form() const { return form_; }
  void SetForm(TskForm* form) { form_ = form; }
  // Told when the items' captions or states changed, or the bar must be
  // built again; the themed form listens.
  std::function<void(bool rebuild)> OnBarChange;
  std::function<void()> OnFontChange;

 protected:
  void MenuChanged(forms::TMenuItem* source, bool rebuild) override;
  void Notification(forms::TComponent* c, forms::TOperation op) override;
  forms::TImageList* CheckImages() override { return &ownChecks_; }
  forms::TImageList* ItemImages() override { return Images() == &ownChecks_ ? nullptr : Images(); }

 private:
  mutable forms::TImageList ownChecks_;
  TskForm* form_ = nullptr;
};

}  // namespace skin
