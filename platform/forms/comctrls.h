// The tool bar: a row of tool buttons, each bound to a menu item whose
// caption and state it shows; a button of an item with children drops the
// children down as a pop-up menu. Custom-draw hooks paint the bar's
// background and each button in place of the plain look.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/forms/controls.h"
#include "platform/forms/menus.h"
#include "platform/forms/stdctrls.h"

namespace forms {

class TToolBar;

enum TCustomDrawStateBits : uint32_t {
  cdsSelected = 1,
  cdsGrayed = 2,
  cdsDisabled = 4,
  cdsChecked = 8,
  cdsFocused = 16,
  cdsDefault = 32,
  cdsHot = 64,
};
using TCustomDrawState = uint32_t;

class TToolButton : public TGraphicControl {
 public:
  explicit TToolButton(TComponent* owner);
  ~TToolButton() override;
  std::string ClassName() const override { return "TToolButton"; }

  bool Grouped = false;
  bool AutoSize = false;
  // The bound item: the button shows its caption and enabled state and
  // clicks (or drops down) it.
  TMenuItem* MenuItem() const { return menuItem_; }
  void SetMenuItem(TMenuItem* item);
  // Copies the item's caption and state again.
  void UpdateFromItem();
  bool Down() const { return down_; }
  bool Hot() const { return hot_; }
  int Index() const;
  void Click() override;

 protected:
  void Paint() override {}  // the bar paints its buttons
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseEnter() override;
  void MouseLeave() override;
  void TextChanged() override;
  void EnabledChanged() override;

 private:
  friend class TToolBar;
  TToolBar* Bar() const;
  TMenuItem* menuItem_ = nullptr;
  bool down_ = false;
  bool hot_ = false;
};

// `defaultDraw` starts true; a hook that drew everything clears it.
using TToolBarCustomDrawEvent = std::function<void(TToolBar* sender, const TRect& rect, bool& defaultDraw)>;
using TToolBarCustomDrawButtonEvent =
    std::function<void(TToolBar* sender, TToolButton* button, TCustomDrawState state, bool& defaultDraw)>;

class TToolBar : public TCustomControl {
 public:
  explicit TToolBar(TComponent* owner);
  ~TToolBar() override;
  std::string ClassName() const override { return "TToolBar"; }

  bool Flat = true;
  bool ShowCaptions = false;
  bool Wrapable = true;
  bool AutoSize = false;
  int ButtonHeight() const { return buttonHeight_; }
  void SetButtonHeight(int h);
  int ButtonCount() const { return static_cast<int>(buttons_.size()); }
  TToolButton* Buttons(int i) const { return buttons_[static_cast<size_t>(i)]; }
  // The buttons placed in order (wrapping onto more rows when Wrapable), the
  // bar's height following with AutoSize.
  void ArrangeButtons();
  // The canvas a custom-draw hook paints on (the paint's).
  TCanvas& DrawCanvas() { return Canvas(); }
  // The pop-up menu the bar drops down with (created on first use).
  TPopupMenu* DropDownMenu();

  TToolBarCustomDrawEvent OnCustomDraw;
  TToolBarCustomDrawButtonEvent OnCustomDrawButton;

  // A button's width with AutoSize: the caption's width plus 14.
  int AutoButtonWidth(TToolButton* button);
  // Drops the bound item's children down under the button, or clicks the item.
  void TrackButton(TToolButton* button);
  // Places the button (owned by anyone) on the bar, after the others.
  void AddButton(TToolButton* b);

 protected:
  friend class TToolButton;
  void Paint() override;
  void EraseBackground(TCanvas&) override {}
  void FontChanged() override;
  void ColorChanged() override { Invalidate(); }
  // The bar made its drop-down pop-up menu.
  virtual void DropDownMenuCreated(TPopupMenu*) {}
  void RemoveButton(TToolButton* b);

 private:
  std::vector<TToolButton*> buttons_;
  int buttonHeight_ = 22;
  TPopupMenu* dropDown_ = nullptr;
  bool arranging_ = false;
};

}  // namespace forms
