#include "platform/forms/combobox.h"

#include <algorithm>
#include <cctype>

#include "platform/forms/forms.h"
#include "platform/win32/dc.h"
#include "platform/win32/win32.h"

namespace forms {

namespace {

constexpr char kListClass[] = "ComboLBox";

bool LessNoCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
  });
}

bool EqualNoCase(const std::string& a, const std::string& b) { return !LessNoCase(a, b) && !LessNoCase(b, a); }

// A sunken two-pixel edge, as the system draws around edits and lists.
void SunkenEdge(TCanvas& c, const TRect& r) {
  auto line = [&c](TColor color, int x0, int y0, int x1, int y1, int x2, int y2) {
    c.Pen().Color = color;
    c.MoveTo(x0, y0);
    c.LineTo(x1, y1);
    c.LineTo(x2, y2);
  };
  line(clBtnShadow, r.Left, r.Bottom - 1, r.Left, r.Top, r.Right, r.Top);
  line(clBtnHighlight, r.Left, r.Bottom - 1, r.Right - 1, r.Bottom - 1, r.Right - 1, r.Top - 1);
  line(0x404040, r.Left + 1, r.Bottom - 2, r.Left + 1, r.Top + 1, r.Right - 1, r.Top + 1);
  line(clBtnFace, r.Left + 1, r.Bottom - 2, r.Right - 2, r.Bottom - 2, r.Right - 2, r.Top);
}

HWND TopLevel(HWND hwnd) {
  while (HWND parent = GetParent(hwnd)) hwnd = parent;
  return hwnd;
}

}  // namespace

int TComboItems::IndexOf(const std::string& text) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (EqualNoCase(items_[i].text, text)) return static_cast<int>(i);
  }
  return -1;
}

TCustomComboBox::TCustomComboBox(TComponent* owner) : TCustomControl(owner) {
  TabStop = true;
  SetBounds(0, 0, 145, 0);
}

TCustomComboBox::~TCustomComboBox() {
  if (list_) {
    HWND list = list_;
    list_ = nullptr;
    if (GetCapture() == list) ReleaseCapture();
    DestroyWindow(list);
  }
}

void TCustomComboBox::SetBounds(int left, int top, int width, int height) {
  // The edit's height follows the items; only csSimple is sized freely.
  if (style_ != TComboBoxStyle::csSimple) height = itemHeight_ + 8;
  TCustomControl::SetBounds(left, top, width, height);
}

void TCustomComboBox::SetStyle(TComboBoxStyle style) {
  style_ = style;
  if (style == TComboBoxStyle::csSimple) SetDroppedDown(false);
  if (style == TComboBoxStyle::csDropDownList && itemIndex_ < 0) TWinControl::SetText("");
  SetBounds(Left(), Top(), Width(), Height());
  Invalidate();
}

void TCustomComboBox::SetItemHeight(int height) {
  itemHeight_ = std::max(1, height);
  SetBounds(Left(), Top(), Width(), Height());
  Invalidate();
}

int TCustomComboBox::AddItem(const std::string& text, intptr_t value) {
  size_t at = items_.items_.size();
  if (sorted_) {
    at = static_cast<size_t>(std::upper_bound(items_.items_.begin(), items_.items_.end(), text,
                                              [](const std::string& t, const TComboItems::Item& i) {
                                                return LessNoCase(t, i.text);
                                              }) -
                             items_.items_.begin());
  }
  items_.items_.insert(items_.items_.begin() + static_cast<ptrdiff_t>(at), {text, value});
  if (itemIndex_ >= static_cast<int>(at)) ++itemIndex_;
  if (list_) InvalidateRect(list_, nullptr, FALSE);
  Invalidate();
  return static_cast<int>(at);
}

void TCustomComboBox::DeleteItem(int index) {
  if (index < 0 || index >= items_.Count()) return;
  items_.items_.erase(items_.items_.begin() + index);
  if (itemIndex_ == index) {
    itemIndex_ = -1;
    if (style_ == TComboBoxStyle::csDropDownList) TWinControl::SetText("");
  } else if (itemIndex_ > index) {
    --itemIndex_;
  }
  listHot_ = std::min(listHot_, items_.Count() - 1);
  if (list_) InvalidateRect(list_, nullptr, FALSE);
  Invalidate();
}

void TCustomComboBox::ClearItems() {
  items_.items_.clear();
  itemIndex_ = -1;
  listHot_ = -1;
  listTop_ = 0;
  TWinControl::SetText("");
  SetDroppedDown(false);
  Invalidate();
}

void TCustomComboBox::SetSorted(bool on) {
  sorted_ = on;
  if (!on) return;
  const std::string selected = itemIndex_ >= 0 ? items_.Strings(itemIndex_) : std::string();
  const intptr_t selectedValue = itemIndex_ >= 0 ? items_.Objects(itemIndex_) : 0;
  std::stable_sort(items_.items_.begin(), items_.items_.end(),
                   [](const TComboItems::Item& a, const TComboItems::Item& b) { return LessNoCase(a.text, b.text); });
  if (itemIndex_ >= 0) {
    for (int i = 0; i < items_.Count(); ++i) {
      if (items_.Strings(i) == selected && items_.Objects(i) == selectedValue) itemIndex_ = i;
    }
  }
  Invalidate();
}

void TCustomComboBox::SetItemIndex(int index) {
  if (index < -1 || index >= items_.Count()) index = -1;
  itemIndex_ = index;
  listHot_ = index;
  TWinControl::SetText(index >= 0 ? items_.Strings(index) : std::string());
  Invalidate();
}

void TCustomComboBox::SetText(const std::string& text) {
  const int found = items_.IndexOf(text);
  if (style_ == TComboBoxStyle::csDropDownList) {
    // Only an item's text can stand in a list without an edit.
    SetItemIndex(found);
    return;
  }
  itemIndex_ = found;
  TWinControl::SetText(text);
  Invalidate();
}

std::string TCustomComboBox::Cased(const std::string& text) const {
  std::string out = text;
  if (CharCase == TEditCharCase::ecUpperCase) {
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  } else if (CharCase == TEditCharCase::ecLowerCase) {
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

TRect TCustomComboBox::ButtonRect() const {
  if (style_ == TComboBoxStyle::csSimple) return {};
  const int w = GetSystemMetrics(SM_CXVSCROLL);
  return Rect(Width() - 2 - w, 2, Width() - 2, Height() - 2);
}

TRect TCustomComboBox::ItemRect() const {
  if (style_ == TComboBoxStyle::csSimple) return Rect(3, 3, Width() - 3, itemHeight_ + 5);
  return Rect(3, 3, ButtonRect().Left - 1, Height() - 3);
}

void TCustomComboBox::Change() {
  if (OnChange) OnChange(this);
}

void TCustomComboBox::Select() {
  if (OnSelect) OnSelect(this);
}

void TCustomComboBox::DropDown() {
  if (OnDropDown) OnDropDown(this);
}

void TCustomComboBox::CloseUp() {
  if (OnCloseUp) OnCloseUp(this);
}

void TCustomComboBox::UserSelect(int index) {
  if (index < 0 || index >= items_.Count() || index == itemIndex_) return;
  SetItemIndex(index);
  Click();
  Select();
  Change();
}

int TCustomComboBox::ListRows() const { return std::max(1, std::min(items_.Count(), std::max(1, DropDownCount))); }

void TCustomComboBox::SetDroppedDown(bool on) {
  if (on == DroppedDown()) return;
  if (!on) {
    HWND list = list_;
    list_ = nullptr;  // first, so the capture change below does not close twice
    buttonDown_ = false;
    if (GetCapture() == list) ReleaseCapture();
    DestroyWindow(list);
    Invalidate();
    CloseUp();
    return;
  }
  if (style_ == TComboBoxStyle::csSimple || !HandleAllocated()) return;
  DropDown();
  // A test's reset drops every class: register each time (a second
  // registration is refused and harmless).
  WNDCLASSA wc{};
  wc.lpfnWndProc = &TCustomComboBox::ListProc;
  wc.lpszClassName = kListClass;
  RegisterClassA(&wc);
  const int rows = ListRows();
  const int height = rows * itemHeight_ + 2;
  TPoint at = ClientToScreen(Point(0, Height()));
  // Kept on the screen: above the control when there is no room below.
  if (at.Y + height > GetSystemMetrics(SM_CYSCREEN)) at.Y = ClientToScreen(Point(0, 0)).Y - height;
  listHot_ = itemIndex_;
  listTop_ = std::clamp(itemIndex_, 0, std::max(0, items_.Count() - rows));
  HWND list = CreateWindowExA(0, kListClass, "", WS_POPUP, at.X, at.Y, Width(), height, nullptr, nullptr, nullptr,
                              nullptr);
  if (!list) return;
  SetWindowLongPtrA(list, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  list_ = list;
  buttonDown_ = true;
  ShowWindow(list, SW_SHOWNOACTIVATE);
  SetCapture(list);
  Invalidate();
}

LRESULT CALLBACK TCustomComboBox::ListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TCustomComboBox*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!self || self->list_ != hwnd) return DefWindowProcA(hwnd, msg, wParam, lParam);
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      if (dc) {
        TCanvas canvas;
        canvas.SetHandle(dc);
        RECT r;
        GetClientRect(hwnd, &r);
        self->PaintList(canvas, Rect(r.left, r.top, r.right, r.bottom));
      }
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
      self->ListMouse(msg, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    case WM_CAPTURECHANGED:
      // Someone else took the mouse: the list goes.
      if (reinterpret_cast<HWND>(lParam) != hwnd) self->SetDroppedDown(false);
      return 0;
    default:
      return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

int TCustomComboBox::ListItemAt(int y) const {
  if (y < 1) return -1;
  const int row = (y - 1) / itemHeight_;
  const int index = listTop_ + row;
  return row < ListRows() && index < items_.Count() ? index : -1;
}

void TCustomComboBox::ListMouse(UINT msg, int x, int y) {
  RECT r;
  GetClientRect(list_, &r);
  const bool inside = x >= 0 && y >= 0 && x < r.right && y < r.bottom;
  const int at = inside ? ListItemAt(y) : -1;
  switch (msg) {
    case WM_MOUSEMOVE:
      if (at >= 0 && at != listHot_) {
        listHot_ = at;
        InvalidateRect(list_, nullptr, FALSE);
      }
      break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
      if (!inside) SetDroppedDown(false);  // a click outside dismisses
      break;
    case WM_LBUTTONUP:
      if (at >= 0) {
        SetDroppedDown(false);
        UserSelect(at);
      }
      break;
    default:
      break;
  }
}

void TCustomComboBox::PaintList(TCanvas& canvas, const TRect& area) {
  canvas.Brush().Style = TBrushStyle::bsSolid;
  canvas.Brush().Color = Color();
  canvas.FillRect(area);
  canvas.Brush().Color = clBlack;
  canvas.FrameRect(area);
  canvas.Font().Assign(Font());
  const int rows = style_ == TComboBoxStyle::csSimple ? std::max(0, (area.Height() - 2) / itemHeight_) : ListRows();
  for (int row = 0; row < rows; ++row) {
    const int index = listTop_ + row;
    if (index >= items_.Count()) break;
    TRect r = Rect(area.Left + 1, area.Top + 1 + row * itemHeight_, area.Right - 1,
                   area.Top + 1 + (row + 1) * itemHeight_);
    const bool hot = index == (list_ ? listHot_ : itemIndex_);
    if (hot) {
      canvas.Brush().Color = clHighlight;
      canvas.FillRect(r);
    }
    canvas.Font().SetColor(hot ? clHighlightText : Font().Color());
    canvas.Brush().Style = TBrushStyle::bsClear;
    r.Left += 2;
    canvas.DrawText(items_.Strings(index), r, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    canvas.Brush().Style = TBrushStyle::bsSolid;
  }
}

void TCustomComboBox::Paint() {
  TCanvas& c = Canvas();
  const int editHeight = style_ == TComboBoxStyle::csSimple ? itemHeight_ + 8 : Height();
  const TRect edit = Rect(0, 0, Width(), editHeight);
  c.Brush().Style = TBrushStyle::bsSolid;
  c.Brush().Color = Color();
  c.FillRect(ClientRect());
  SunkenEdge(c, edit);
  TRect item = ItemRect();
  const bool highlighted = style_ == TComboBoxStyle::csDropDownList && Focused() && !DroppedDown();
  if (highlighted) {
    c.Brush().Color = clHighlight;
    c.FillRect(item);
  }
  c.Font().Assign(Font());
  if (!Enabled()) c.Font().SetColor(clGrayText);
  else if (highlighted) c.Font().SetColor(clHighlightText);
  c.Brush().Style = TBrushStyle::bsClear;
  TRect text = item;
  text.Left += 1;
  c.DrawText(Text(), text, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  c.Brush().Style = TBrushStyle::bsSolid;
  if (style_ == TComboBoxStyle::csSimple) {
    PaintList(c, Rect(0, editHeight, Width(), Height()));
    return;
  }
  // The drop-down button: raised, flat while the list is down.
  const TRect b = ButtonRect();
  c.Brush().Color = clBtnFace;
  c.FillRect(b);
  if (buttonDown_) {
    c.Brush().Color = clBtnShadow;
    c.FrameRect(b);
  } else {
    c.Pen().Color = clBtnHighlight;
    c.MoveTo(b.Left, b.Bottom - 2);
    c.LineTo(b.Left, b.Top);
    c.LineTo(b.Right - 1, b.Top);
    c.Pen().Color = 0x404040;
    c.MoveTo(b.Left, b.Bottom - 1);
    c.LineTo(b.Right - 1, b.Bottom - 1);
    c.LineTo(b.Right - 1, b.Top - 1);
    c.Pen().Color = clBtnShadow;
    c.MoveTo(b.Left + 1, b.Bottom - 2);
    c.LineTo(b.Right - 2, b.Bottom - 2);
    c.LineTo(b.Right - 2, b.Top);
  }
  const int shift = buttonDown_ ? 1 : 0;
  const int x = b.Left + b.Width() / 2 - 3 + shift, y = b.Top + b.Height() / 2 - 1 + shift;
  const TColor arrow = Enabled() ? clBlack : clGrayText;
  c.Brush().Color = arrow;
  c.Pen().Color = arrow;
  c.Polygon({{x, y}, {x + 6, y}, {x + 3, y + 3}});
}

void TCustomComboBox::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomControl::MouseDown(button, shift, x, y);
  if (button != TMouseButton::mbLeft || !Enabled()) return;
  if (CanFocus() && !Focused()) {
    const bool wasDown = DroppedDown();
    SetFocus();
    // Opened by taking the focus (AutoDropDown): the click does not close it.
    if (!wasDown && DroppedDown()) return;
  }
  if (style_ == TComboBoxStyle::csSimple) {
    const int editHeight = itemHeight_ + 8;
    if (y >= editHeight + 1) {
      const int index = listTop_ + (y - editHeight - 1) / itemHeight_;
      if (index < items_.Count()) UserSelect(index);
    }
    return;
  }
  const TRect b = ButtonRect();
  const bool onButton = x >= b.Left && x < b.Right && y >= b.Top && y < b.Bottom;
  if (onButton || style_ == TComboBoxStyle::csDropDownList) SetDroppedDown(!DroppedDown());
}

bool TCustomComboBox::WantsKey(WORD key) const {
  if (key == VK_UP || key == VK_DOWN) return true;
  return DroppedDown() && (key == VK_RETURN || key == VK_ESCAPE);
}

void TCustomComboBox::KeyDown(WORD& key, TShiftState shift) {
  TCustomControl::KeyDown(key, shift);
  if (key == 0) return;
  const bool altDown = key == VK_DOWN && (shift & ssAlt);
  if (key == VK_F4 || altDown) {
    SetDroppedDown(!DroppedDown());
    key = 0;
    return;
  }
  if (DroppedDown()) {
    const int rows = ListRows();
    switch (key) {
      case VK_UP:
      case VK_DOWN: {
        const int step = key == VK_UP ? -1 : 1;
        listHot_ = std::clamp(listHot_ < 0 ? 0 : listHot_ + step, 0, std::max(0, items_.Count() - 1));
        if (listHot_ < listTop_) listTop_ = listHot_;
        if (listHot_ >= listTop_ + rows) listTop_ = listHot_ - rows + 1;
        InvalidateRect(list_, nullptr, FALSE);
        break;
      }
      case VK_RETURN: {
        const int hot = listHot_;
        SetDroppedDown(false);
        UserSelect(hot);
        break;
      }
      case VK_ESCAPE: SetDroppedDown(false); break;
      default: return;
    }
    key = 0;
    return;
  }
  if (key == VK_UP || key == VK_DOWN) {
    if (items_.Count() == 0) return;
    const int next = itemIndex_ < 0 ? 0 : std::clamp(itemIndex_ + (key == VK_UP ? -1 : 1), 0, items_.Count() - 1);
    UserSelect(next);
    key = 0;
  }
}

void TCustomComboBox::KeyPress(char& key) {
  TCustomControl::KeyPress(key);
  if (key == 0 || !Enabled()) return;
  const unsigned char ch = static_cast<unsigned char>(key);
  if (AutoDropDown && ch >= 32 && style_ != TComboBoxStyle::csSimple && !DroppedDown()) SetDroppedDown(true);
  if (style_ == TComboBoxStyle::csDropDownList) {
    // The next item starting with the letter.
    const int n = items_.Count();
    for (int step = 1; step <= n; ++step) {
      const int i = ((itemIndex_ < 0 ? -1 : itemIndex_) + step) % n;
      const std::string& s = items_.Strings(i);
      if (!s.empty() && std::tolower(static_cast<unsigned char>(s[0])) == std::tolower(ch)) {
        UserSelect(i);
        break;
      }
    }
    return;
  }
  std::string text = Text();
  if (ch == 8) {
    if (text.empty()) return;
    text.pop_back();
  } else if (ch >= 32) {
    if (MaxLength > 0 && static_cast<int>(text.size()) >= MaxLength) return;
    text += Cased(std::string(1, key));
  } else {
    return;
  }
  itemIndex_ = items_.IndexOf(text);
  TWinControl::SetText(text);
  Invalidate();
  Change();
}

void TCustomComboBox::DoExit() {
  SetDroppedDown(false);
  TCustomControl::DoExit();
  Invalidate();
}

void TCustomComboBox::WndProc(TMessage& m) {
  if (m.Msg == CB_GETCOMBOBOXINFO) {
    auto* info = reinterpret_cast<COMBOBOXINFO*>(m.LParam);
    if (!info) return;
    const TRect item = ItemRect(), button = ButtonRect();
    info->rcItem = {item.Left, item.Top, item.Right, item.Bottom};
    info->rcButton = {button.Left, button.Top, button.Right, button.Bottom};
    info->stateButton = style_ == TComboBoxStyle::csSimple ? STATE_SYSTEM_INVISIBLE
                                                           : (DroppedDown() ? STATE_SYSTEM_PRESSED : 0);
    info->hwndCombo = Handle();
    // The text is drawn by the combo box itself: there is no edit window.
    info->hwndItem = Handle();
    info->hwndList = list_;
    m.Result = 1;
    return;
  }
  if (m.Msg == WM_SETFOCUS) {
    Invalidate();
    TCustomControl::WndProc(m);
    // The user moved here from another control of the window (Tab, a
    // click); not the focus a window puts on its first control when it
    // is activated.
    const HWND from = reinterpret_cast<HWND>(m.WParam);
    if (AutoDropDown && style_ != TComboBoxStyle::csSimple && !DroppedDown() && from && from != Handle() &&
        TopLevel(from) == TopLevel(Handle()) && from != TopLevel(Handle()) && Focused()) {
      SetDroppedDown(true);
    }
    return;
  }
  TCustomControl::WndProc(m);
}

}  // namespace forms
