// The framework's combo box: an edit or a fixed text with a drop-down
// button, its list dropping down as a pop-up window of its own (csSimple
// keeps the list inside the control). It answers CB_GETCOMBOBOXINFO, so
// GetComboBoxInfo works on it as on the system's combo boxes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/forms/controls.h"

namespace forms {

enum class TComboBoxStyle { csDropDown, csSimple, csDropDownList };
enum class TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };

// The items: texts with an integer value each.
class TComboItems {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  const std::string& Strings(int index) const { return items_[static_cast<size_t>(index)].text; }
  intptr_t Objects(int index) const { return items_[static_cast<size_t>(index)].value; }
  void SetObject(int index, intptr_t value) { items_[static_cast<size_t>(index)].value = value; }
  // -1 when absent; compared without case.
  int IndexOf(const std::string& text) const;

 private:
  friend class TCustomComboBox;
  struct Item {
    std::string text;
    intptr_t value;
  };
  std::vector<Item> items_;
};

class TCustomComboBox : public TCustomControl {
 public:
  explicit TCustomComboBox(TComponent* owner);
  ~TCustomComboBox() override;
  std::string ClassName() const override { return "TCustomComboBox"; }

  TComboBoxStyle Style() const { return style_; }
  void SetStyle(TComboBoxStyle style);
  const TComboItems& Items() const { return items_; }
  // Returns the new item's index (its place when Sorted).
  int AddItem(const std::string& text, intptr_t value = 0);
  void DeleteItem(int index);
  void ClearItems();
  // -1: no selection. An index outside the items selects none.
  int ItemIndex() const { return itemIndex_; }
  void SetItemIndex(int index);
  void SetText(const std::string& text) override;
  int ItemHeight() const { return itemHeight_; }
  void SetItemHeight(int height);
  int DropDownCount = 8;
  int MaxLength = 0;  // 0: no limit
  bool Sorted() const { return sorted_; }
  void SetSorted(bool on);
  TEditCharCase CharCase = TEditCharCase::ecNormal;
  bool AutoComplete = true;
  // The list opens when the user moves the focus here from another control
  // of the window, or types while it is closed.
  bool AutoDropDown = false;

  // The height follows ItemHeight except in csSimple.
  void SetBounds(int left, int top, int width, int height) override;

  bool DroppedDown() const { return list_ != nullptr; }
  void SetDroppedDown(bool on);
  // The drop-down list's window while dropped down, else null.
  HWND ListHandle() const { return list_; }
  // In client coordinates.
  TRect ButtonRect() const;
  TRect ItemRect() const;

  // Only on changes made by the user (typing, the list, the arrow keys).
  TNotifyEvent OnChange;
  TNotifyEvent OnSelect;
  TNotifyEvent OnDropDown;
  TNotifyEvent OnCloseUp;

 protected:
  void WndProc(TMessage& m) override;
  void Paint() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  bool WantsKey(WORD key) const override;
  bool WantsChars() const override { return style_ != TComboBoxStyle::csDropDownList; }
  void KeyDown(WORD& key, TShiftState shift) override;
  void KeyPress(char& key) override;
  void DoExit() override;
  virtual void Change();
  virtual void Select();
  virtual void DropDown();
  // Called after the list window is gone.
  virtual void CloseUp();
  // Paints the list (of the pop-up window or, in csSimple, below the edit).
  void PaintList(TCanvas& canvas, const TRect& area);

 private:
  static LRESULT CALLBACK ListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void ListMouse(UINT msg, int x, int y);
  int ListItemAt(int y) const;
  int ListRows() const;
  void UserSelect(int index);
  std::string Cased(const std::string& text) const;

  TComboBoxStyle style_ = TComboBoxStyle::csDropDown;
  TComboItems items_;
  int itemIndex_ = -1;
  int itemHeight_ = 13;
  bool sorted_ = false;
  HWND list_ = nullptr;
  int listHot_ = -1;
  int listTop_ = 0;
  bool buttonDown_ = false;
};

class TComboBox : public TCustomComboBox {
 public:
  explicit TComboBox(TComponent* owner) : TCustomComboBox(owner) {}
  std::string ClassName() const override { return "TComboBox"; }
};

}  // namespace forms
