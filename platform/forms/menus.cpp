#include "platform/forms/menus.h"

#include <algorithm>
#include <cctype>

#include "platform/win32/dc.h"
#include "platform/win32/win32.h"

namespace forms {

TShortCut ShortCut(WORD key, TShiftState shift) {
  TShortCut s = static_cast<TShortCut>(key & 0xFF);
  if (shift & ssShift) s |= scShift;
  if (shift & ssCtrl) s |= scCtrl;
  if (shift & ssAlt) s |= scAlt;
  return s;
}

std::string ShortCutToText(TShortCut shortCut) {
  const unsigned key = shortCut & 0xFF;
  std::string name;
  if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) {
    name = std::string(1, static_cast<char>(key));
  } else if (key >= VK_F1 && key < VK_F1 + 24) {
    // Appended, not "F" + ...: GCC 12 warns falsely (-Wrestrict) on literal + std::string.
    name = "F";
    name += std::to_string(key - VK_F1 + 1);
  } else {
    switch (key) {
      case VK_BACK: name = "BkSp"; break;
      case VK_TAB: name = "Tab"; break;
      case VK_RETURN: name = "Enter"; break;
      case VK_ESCAPE: name = "Esc"; break;
      case VK_SPACE: name = "Space"; break;
      case VK_PRIOR: name = "PgUp"; break;
      case VK_NEXT: name = "PgDn"; break;
      case VK_END: name = "End"; break;
      case VK_HOME: name = "Home"; break;
      case VK_LEFT: name = "Left"; break;
      case VK_UP: name = "Up"; break;
      case VK_RIGHT: name = "Right"; break;
      case VK_DOWN: name = "Down"; break;
      case VK_INSERT: name = "Ins"; break;
      case VK_DELETE: name = "Del"; break;
      default: return "";
    }
  }
  std::string text;
  if (shortCut & scCtrl) text += "Ctrl+";
  if (shortCut & scShift) text += "Shift+";
  if (shortCut & scAlt) text += "Alt+";
  return text + name;
}

void GetMenuFont(TFont& font) {
  font.SetName("Tahoma");
  font.SetHeight(-11);
  font.SetStyle(0);
  font.SetColor(clMenuText);
}

// ---- TMenuItem ---------------------------------------------------------------

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) {}

TMenuItem::~TMenuItem() {
  if (parent_) parent_->Remove(this);
  // Children go first-added last, as components do.
  while (!items_.empty()) {
    TMenuItem* child = items_.back();
    items_.pop_back();
    child->parent_ = nullptr;
    delete child;
  }
}

void TMenuItem::SetCaption(const std::string& caption) {
  if (caption_ == caption) return;
  caption_ = caption;
  Changed(false);
}
void TMenuItem::SetShortCut(TShortCut shortCut) {
  if (shortCut_ == shortCut) return;
  shortCut_ = shortCut;
  Changed(false);
}
void TMenuItem::SetChecked(bool on) {
  if (checked_ == on) return;
  checked_ = on;
  Changed(false);
}
void TMenuItem::SetEnabled(bool on) {
  if (enabled_ == on) return;
  enabled_ = on;
  Changed(false);
}
void TMenuItem::SetDefault(bool on) {
  if (default_ == on) return;
  default_ = on;
  Changed(false);
}
void TMenuItem::SetVisible(bool on) {
  if (visible_ == on) return;
  visible_ = on;
  Changed(true);
}
void TMenuItem::SetImageIndex(int index) {
  if (imageIndex_ == index) return;
  imageIndex_ = index;
  Changed(false);
}

int TMenuItem::MenuIndex() const {
  if (!parent_) return -1;
  auto it = std::find(parent_->items_.begin(), parent_->items_.end(), this);
  return static_cast<int>(it - parent_->items_.begin());
}

void TMenuItem::Insert(int index, TMenuItem* item) {
  if (!item || item == this || item->menu_) return;
  for (TMenuItem* p = parent_; p; p = p->parent_) {
    if (p == item) return;  // an item cannot hold its own ancestor
  }
  if (item->parent_) item->parent_->Remove(item);
  if (index < 0 || index > Count()) index = Count();
  items_.insert(items_.begin() + index, item);
  item->parent_ = this;
  Changed(true);
}

void TMenuItem::Remove(TMenuItem* item) {
  auto it = std::find(items_.begin(), items_.end(), item);
  if (it == items_.end()) return;
  items_.erase(it);
  item->parent_ = nullptr;
  Changed(true);
}

void TMenuItem::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  delete items_[static_cast<size_t>(index)];
}

void TMenuItem::Clear() {
  while (!items_.empty()) delete items_.back();
}

TMenu* TMenuItem::GetParentMenu() const {
  const TMenuItem* root = this;
  while (root->parent_) root = root->parent_;
  return root->menu_;
}

void TMenuItem::Changed(bool rebuild) {
  if (TMenu* menu = GetParentMenu()) {
    if (rebuild && menu->AutoHotkeys && !menu->inAutoHotkeys_) menu->ApplyAutoHotkeys(menu->items_);
    menu->MenuChanged(menu_ ? nullptr : this, rebuild);
  }
}

void TMenuItem::Click() {
  if (enabled_ && OnClick) OnClick(this);
}

void TMenuItem::MeasureItem(TCanvas& canvas, int& width, int& height) {
  if (IsLine()) {
    width = 0;
    height = 8;
  } else {
    const std::string text = StripHotkey(caption_);
    const std::string sc = ShortCutToText(shortCut_);
    width = canvas.TextWidth(text) + (sc.empty() ? 0 : canvas.TextWidth(sc) + 16) + 40;
    height = std::max(canvas.TextHeight("W") + 6, 18);
  }
  if (OnMeasureItem) OnMeasureItem(this, canvas, width, height);
}

void TMenuItem::DrawItem(TCanvas& canvas, const TRect& rect, TOwnerDrawState state) {
  if (OnAdvancedDrawItem) {
    OnAdvancedDrawItem(this, canvas, rect, state);
    return;
  }
  const bool selected = (state & odSelected) && !(state & odDisabled);
  canvas.Brush().Style = TBrushStyle::bsSolid;
  canvas.Brush().Color = selected ? clHighlight : clBtnFace;
  canvas.FillRect(rect);
  if (IsLine()) {
    const int y = rect.Top + rect.Height() / 2;
    canvas.Pen().Color = clBtnShadow;
    canvas.MoveTo(rect.Left + 2, y);
    canvas.LineTo(rect.Right - 2, y);
    return;
  }
  canvas.Brush().Style = TBrushStyle::bsClear;
  canvas.Font().SetColor((state & odDisabled) ? clGrayText : selected ? clHighlightText : clWindowText);
  TRect r = rect;
  r.Left += 20;
  canvas.DrawText(caption_, r, DT_SINGLELINE | DT_VCENTER);
}

// ---- TMenu ------------------------------------------------------------------

TMenu::TMenu(TComponent* owner) : TComponent(owner), items_(new TMenuItem(nullptr)) { items_->menu_ = this; }

TMenu::~TMenu() {
  // Freeing the items tells nobody: the menu is going.
  items_->menu_ = nullptr;
  delete items_;
  if (images_) images_->RemoveFreeNotification(this);
}

void TMenu::SetImages(TImageList* images) {
  if (images_ == images) return;
  if (images_) images_->RemoveFreeNotification(this);
  images_ = images;
  if (images_) images_->FreeNotification(this);
  MenuChanged(nullptr, false);
}

void TMenu::Notification(TComponent* c, TOperation op) {
  TComponent::Notification(c, op);
  if (op == TOperation::opRemove && c == images_) {
    images_ = nullptr;
    MenuChanged(nullptr, false);
  }
}

void TMenu::MenuChanged(TMenuItem*, bool) {}

void TMenu::ForEachItem(const std::function<void(TMenuItem*)>& fn) const {
  std::vector<TMenuItem*> stack(items_->items_.rbegin(), items_->items_.rend());
  while (!stack.empty()) {
    TMenuItem* item = stack.back();
    stack.pop_back();
    fn(item);
    stack.insert(stack.end(), item->items_.rbegin(), item->items_.rend());
  }
}

TMenuItem* TMenu::FindShortCut(WORD key, TShiftState shift) const {
  const TShortCut wanted = ShortCut(key, shift);
  TMenuItem* found = nullptr;
  ForEachItem([&](TMenuItem* item) {
    if (found || item->ShortCut() != wanted || !item->Enabled() || !item->Visible()) return;
    // Every ancestor must be enabled and shown too.
    for (TMenuItem* p = item->Parent(); p && p != items_; p = p->Parent()) {
      if (!p->Enabled() || !p->Visible()) return;
    }
    found = item;
  });
  return found;
}

bool TMenu::IsShortCut(WORD key, TShiftState shift) {
  if ((key & 0xFF) == 0) return false;
  TMenuItem* item = FindShortCut(key, shift);
  if (!item) return false;
  item->Click();
  return true;
}

TMenuItem* TMenu::FindAccel(char ch) const {
  for (TMenuItem* item : items_->items_) {
    if (item->Visible() && item->Enabled() && IsAccel(ch, item->Caption())) return item;
  }
  return nullptr;
}

void TMenu::ApplyAutoHotkeys(TMenuItem* parent) {
  inAutoHotkeys_ = true;
  std::string used;
  for (TMenuItem* item : parent->items_) {
    const std::string& c = item->caption_;
    for (size_t i = 0; i + 1 < c.size(); ++i) {
      if (c[i] == '&') {
        if (c[i + 1] != '&') used += static_cast<char>(std::toupper(static_cast<unsigned char>(c[i + 1])));
        ++i;
      }
    }
  }
  for (TMenuItem* item : parent->items_) {
    std::string c = item->caption_;
    if (item->IsLine() || c.empty()) continue;
    bool has = false;
    for (size_t i = 0; i + 1 < c.size(); ++i) {
      if (c[i] == '&') {
        if (c[i + 1] != '&') has = true;
        ++i;
      }
    }
    if (!has) {
      for (size_t i = 0; i < c.size(); ++i) {
        const char up = static_cast<char>(std::toupper(static_cast<unsigned char>(c[i])));
        if (std::isalnum(static_cast<unsigned char>(c[i])) && used.find(up) == std::string::npos) {
          used += up;
          c.insert(i, 1, '&');
          item->SetCaption(c);
          break;
        }
      }
    }
    if (!item->items_.empty()) ApplyAutoHotkeys(item);
  }
  inAutoHotkeys_ = false;
}

TPoint TMenu::MeasurePopup(TMenuItem* parent, TCanvas& canvas) const {
  TPoint size;
  if (!parent) return size;
  for (TMenuItem* item : parent->items_) {
    if (!item->Visible()) continue;
    int w = 0, h = 0;
    item->MeasureItem(canvas, w, h);
    size.X = std::max(size.X, w);
    size.Y += h;
  }
  return size;
}

void TMenu::PaintPopup(TMenuItem* parent, TCanvas& canvas, int selected) const {
  if (!parent) return;
  struct {
    TFont font;
    TBrush brush;
    TPen pen;
  } saved;
  TFont& font = canvas.Font();
  saved.font.Assign(font);
  saved.brush.Assign(canvas.Brush());
  saved.pen.Assign(canvas.Pen());
  const int width = MeasurePopup(parent, canvas).X;
  int y = 0, index = 0;
  for (TMenuItem* item : parent->items_) {
    if (!item->Visible()) continue;
    int w = 0, h = 0;
    item->MeasureItem(canvas, w, h);
    TOwnerDrawState state = 0;
    if (index == selected) state |= odSelected;
    if (!item->Enabled()) state |= odDisabled | odGrayed;
    if (item->Checked()) state |= odChecked;
    if (item->Default()) state |= odDefault;
    // Each item starts from the canvas as the caller set it.
    font.Assign(saved.font);
    canvas.Brush().Assign(saved.brush);
    canvas.Pen().Assign(saved.pen);
    item->DrawItem(canvas, Rect(0, y, width, y + h), state);
    y += h;
    ++index;
  }
  font.Assign(saved.font);
  canvas.Brush().Assign(saved.brush);
  canvas.Pen().Assign(saved.pen);
}

int TMenu::PopupItemAt(TMenuItem* parent, TCanvas& canvas, int y) const {
  if (!parent || y < 0) return -1;
  int top = 0, index = 0;
  for (TMenuItem* item : parent->items_) {
    if (!item->Visible()) continue;
    int w = 0, h = 0;
    item->MeasureItem(canvas, w, h);
    if (y < top + h) return index;
    top += h;
    ++index;
  }
  return -1;
}

// ---- Pop-up window ----------------------------------------------------------------

namespace {
constexpr char kPopupClass[] = "FormsPopupMenu";
TPopupMenu* g_shownPopup = nullptr;
}  // namespace

LRESULT CALLBACK TPopupMenu::PopupProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_PAINT && g_shownPopup && g_shownPopup->window_ == hwnd) {
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(hwnd, &ps);
    TCanvas canvas;
    canvas.SetHandle(dc);
    g_shownPopup->PaintPopup(g_shownPopup->root_, canvas, g_shownPopup->selected_);
    RECT r;
    GetClientRect(hwnd, &r);
    g_shownPopup->PaintFrame(canvas, Rect(r.left, r.top, r.right, r.bottom));
    EndPaint(hwnd, &ps);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void TPopupMenu::MoveSelection(int step) {
  if (visibleCount_ == 0) return;
  int visible = 0;
  std::vector<TMenuItem*> shown;
  for (int i = 0; i < root_->Count(); ++i) {
    if (root_->Items(i)->Visible()) shown.push_back(root_->Items(i));
  }
  (void)visible;
  int at = selected_;
  for (int n = 0; n < visibleCount_; ++n) {
    at = (at + step + visibleCount_) % visibleCount_;
    if (!shown[static_cast<size_t>(at)]->IsLine() && shown[static_cast<size_t>(at)]->Enabled()) break;
  }
  selected_ = at;
}

void TPopupMenu::Popup(int x, int y) { PopupItems(Items(), x, y); }

void TPopupMenu::PopupItems(TMenuItem* parent, int x, int y) {
  if (window_ || !parent) return;  // one loop at a time
  if (OnPopup) OnPopup(this);
  root_ = parent;
  // Registered each time: a test's reset drops every class (a second
  // registration only fails).
  WNDCLASSA wc{};
  wc.lpfnWndProc = &TPopupMenu::PopupProc;
  wc.lpszClassName = kPopupClass;
  RegisterClassA(&wc);
  std::vector<TMenuItem*> shown;
  for (int i = 0; i < root_->Count(); ++i) {
    if (root_->Items(i)->Visible()) shown.push_back(root_->Items(i));
  }
  visibleCount_ = static_cast<int>(shown.size());
  if (visibleCount_ == 0) return;
  TBitmap probe(1, 1);
  const TPoint size = MeasurePopup(root_, probe.Canvas());
  // Kept on the screen.
  const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  x = std::max(0, std::min(x, sw - size.X));
  y = std::max(0, std::min(y, sh - size.Y));
  TPopupMenu* outer = g_shownPopup;
  g_shownPopup = this;
  selected_ = -1;
  window_ = CreateWindowExA(0, kPopupClass, "", WS_POPUP, x, y, size.X, size.Y, nullptr, nullptr, nullptr, nullptr);
  if (!window_) {
    g_shownPopup = outer;
    return;
  }
  ShowWindow(window_, SW_SHOWNOACTIVATE);
  SetCapture(window_);
  TMenuItem* chosen = nullptr;
  bool done = false;
  auto repaint = [this] { InvalidateRect(window_, nullptr, FALSE); };
  while (!done) {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      WaitMessage();
      continue;
    }
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (msg.hwnd == window_ && msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST) {
      const int mx = GET_X_LPARAM(msg.lParam), my = GET_Y_LPARAM(msg.lParam);
      const bool inside = mx >= 0 && my >= 0 && mx < size.X && my < size.Y;
      const int at = inside ? PopupItemAt(root_, probe.Canvas(), my) : -1;
      if (msg.message == WM_MOUSEMOVE) {
        if (at != selected_) {
          selected_ = at;
          repaint();
        }
      } else if (msg.message == WM_LBUTTONDOWN || msg.message == WM_RBUTTONDOWN) {
        if (!inside) done = true;  // a click outside dismisses
      } else if (msg.message == WM_LBUTTONUP || msg.message == WM_RBUTTONUP) {
        if (at >= 0 && !shown[static_cast<size_t>(at)]->IsLine() && shown[static_cast<size_t>(at)]->Enabled()) {
          chosen = shown[static_cast<size_t>(at)];
          done = true;
        }
      }
      continue;
    }
    if (msg.message == WM_KEYDOWN) {
      switch (msg.wParam) {
        case VK_ESCAPE: done = true; break;
        case VK_UP: MoveSelection(-1); repaint(); break;
        case VK_DOWN: MoveSelection(1); repaint(); break;
        case VK_RETURN:
          if (selected_ >= 0 && shown[static_cast<size_t>(selected_)]->Enabled() &&
              !shown[static_cast<size_t>(selected_)]->IsLine()) {
            chosen = shown[static_cast<size_t>(selected_)];
            done = true;
          }
          break;
        default: break;
      }
      continue;
    }
    if (msg.message == WM_CHAR) {
      for (TMenuItem* item : shown) {
        if (item->Enabled() && IsAccel(static_cast<char>(msg.wParam), item->Caption())) {
          chosen = item;
          done = true;
          break;
        }
      }
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    if (GetCapture() != window_) done = true;  // someone else took the mouse
  }
  if (GetCapture() == window_) ReleaseCapture();
  DestroyWindow(window_);
  window_ = nullptr;
  g_shownPopup = outer;
  if (chosen) chosen->Click();
}

}  // namespace forms
