// Menus: items at any depth with captions ("&" marks the accelerator),
// short cuts, default, checked, enabled and separator items, images from an
// image list, and owner drawing through measure and draw hooks. A menu
// tells itself (MenuChanged) whenever an item is added, removed or changed,
// so owners can keep what they show in step.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/forms/classes.h"
#include "platform/forms/graphics.h"
#include "platform/forms/stdctrls.h"

namespace forms {

// Virtual key in the low byte, modifiers above.
using TShortCut = uint16_t;
constexpr TShortCut scShift = 0x2000;
constexpr TShortCut scCtrl = 0x4000;
constexpr TShortCut scAlt = 0x8000;
TShortCut ShortCut(WORD key, TShiftState shift);
// "Ctrl+Shift+F5"; empty for 0.
std::string ShortCutToText(TShortCut shortCut);

// The system's menu font, in the menu-text colour.
void GetMenuFont(TFont& font);

enum TOwnerDrawStateBits : uint32_t { odSelected = 1, odGrayed = 2, odDisabled = 4, odChecked = 8, odDefault = 32 };
using TOwnerDrawState = uint32_t;

class TMenu;
class TMenuItem;
using TMenuMeasureItemEvent = std::function<void(TObject* sender, TCanvas& canvas, int& width, int& height)>;
using TMenuDrawItemEvent =
    std::function<void(TObject* sender, TCanvas& canvas, const TRect& rect, TOwnerDrawState state)>;

class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* owner);
  ~TMenuItem() override;
  std::string ClassName() const override { return "TMenuItem"; }

  std::string Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  TShortCut ShortCut() const { return shortCut_; }
  void SetShortCut(TShortCut shortCut);
  bool Checked() const { return checked_; }
  void SetChecked(bool on);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on);
  bool Default() const { return default_; }
  void SetDefault(bool on);
  bool Visible() const { return visible_; }
  void SetVisible(bool on);
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int index);
  // A separator's caption is "-".
  bool IsLine() const { return caption_ == "-"; }

  int Count() const { return static_cast<int>(items_.size()); }
  TMenuItem* Items(int i) const { return items_[static_cast<size_t>(i)]; }
  TMenuItem* Parent() const { return parent_; }
  int MenuIndex() const;
  // Takes the item (and frees it with this one); an index outside the
  // list appends.
  void Insert(int index, TMenuItem* item);
  void Add(TMenuItem* item) { Insert(Count(), item); }
  // Detaches the item without freeing it.
  void Remove(TMenuItem* item);
  void Delete(int index);
  void Clear();
  // The menu the item belongs to (none while detached).
  TMenu* GetParentMenu() const;

  TNotifyEvent OnClick;
  TMenuMeasureItemEvent OnMeasureItem;
  TMenuDrawItemEvent OnAdvancedDrawItem;
  virtual void Click();

  // Owner drawing; without hooks the item measures and draws plainly.
  void MeasureItem(TCanvas& canvas, int& width, int& height);
  void DrawItem(TCanvas& canvas, const TRect& rect, TOwnerDrawState state);

 private:
  friend class TMenu;
  void Changed(bool rebuild);

  std::string caption_;
  TShortCut shortCut_ = 0;
  bool checked_ = false, enabled_ = true, default_ = false, visible_ = true;
  int imageIndex_ = -1;
  std::vector<TMenuItem*> items_;
  TMenuItem* parent_ = nullptr;
  TMenu* menu_ = nullptr;  // set on the root item only
};

class TMenu : public TComponent {
 public:
  explicit TMenu(TComponent* owner);
  ~TMenu() override;
  std::string ClassName() const override { return "TMenu"; }

  TMenuItem* Items() const { return items_; }
  TImageList* Images() const { return images_; }
  virtual void SetImages(TImageList* images);
  bool OwnerDraw() const { return ownerDraw_; }
  virtual void SetOwnerDraw(bool on) { ownerDraw_ = on; }
  // Gives every item without an accelerator the first free letter of its
  // caption when items change.
  bool AutoHotkeys = false;

  // The enabled, visible item (at any depth) whose short cut matches.
  TMenuItem* FindShortCut(WORD key, TShiftState shift) const;
  // Clicks the item of the short cut; false when none matches.
  bool IsShortCut(WORD key, TShiftState shift);
  // The item of the accelerator among the root's direct items.
  TMenuItem* FindAccel(char ch) const;

  // Calls `fn` on every item at every depth (the root excluded).
  void ForEachItem(const std::function<void(TMenuItem*)>& fn) const;

  // Lays the items of `parent` out one under another as a pop-up shows
  // them: the size their measures give (the widest item's width).
  TPoint MeasurePopup(TMenuItem* parent, TCanvas& canvas) const;
  // Draws them into the canvas from (0, 0); `selected` is an index among
  // the visible items or -1.
  void PaintPopup(TMenuItem* parent, TCanvas& canvas, int selected) const;
  // The index of the visible item at y, or -1.
  int PopupItemAt(TMenuItem* parent, TCanvas& canvas, int y) const;

 protected:
  // An item was added, removed or changed; `source` is the item (none for
  // the whole menu), `rebuild` when the structure changed.
  virtual void MenuChanged(TMenuItem* source, bool rebuild);
  void Notification(TComponent* c, TOperation op) override;

 private:
  friend class TMenuItem;
  void ApplyAutoHotkeys(TMenuItem* parent);
  TMenuItem* items_;
  TImageList* images_ = nullptr;
  bool ownerDraw_ = false;
  bool inAutoHotkeys_ = false;
};

class TMainMenu : public TMenu {
 public:
  explicit TMainMenu(TComponent* owner) : TMenu(owner) {}
  std::string ClassName() const override { return "TMainMenu"; }
};

class TPopupMenu : public TMenu {
 public:
  explicit TPopupMenu(TComponent* owner) : TMenu(owner) {}
  std::string ClassName() const override { return "TPopupMenu"; }
  TNotifyEvent OnPopup;
  // Shows the items in a window of their own at the screen point (kept on
  // the screen) and handles input until an item is chosen (and clicked) or
  // the menu is dismissed by a click outside or Escape.
  virtual void Popup(int x, int y);
  // Drawn over the shown pop-up's edges after its items (nothing here).
  virtual void PaintFrame(TCanvas& canvas, const TRect& window) const {
    (void)canvas, (void)window;
  }
  // The same for the children of any item (a menu bar's drop-down), drawn
  // by the items' own hooks.
  void PopupItems(TMenuItem* parent, int x, int y);
  // The pop-up's window while it is shown.
  HWND PopupWindow() const { return window_; }
  int PopupSelected() const { return selected_; }

 private:
  static LRESULT CALLBACK PopupProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void MoveSelection(int step);
  HWND window_ = nullptr;
  int selected_ = -1;
  int visibleCount_ = 0;
  TMenuItem* root_ = nullptr;
};

}  // namespace forms
