#include "platform/forms/controls.h"

#include <algorithm>
#include <unordered_map>

#include "platform/forms/forms.h"
#include "platform/win32/dc.h"
#include "platform/win32/win32.h"

namespace forms {

namespace {

constexpr char kWindowClass[] = "TFormsControl";

void RegisterWindowClass();

TShiftState MouseShift(WPARAM keys) {
  TShiftState s = KeyboardShiftState();
  if (keys & MK_LBUTTON) s |= ssLeft;
  if (keys & MK_RBUTTON) s |= ssRight;
  if (keys & MK_MBUTTON) s |= ssMiddle;
  return s;
}

bool IsMouseMessage(UINT msg) { return msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST; }

std::unordered_map<HWND, TWinControl*>& Handles() {
  static std::unordered_map<HWND, TWinControl*> handles;
  return handles;
}

}  // namespace

LRESULT FormsWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    if (auto* c = static_cast<TWinControl*>(cs->lpCreateParams)) c->handle_ = hwnd;
  }
  auto* control = reinterpret_cast<TWinControl*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!control) return DefWindowProcA(hwnd, msg, wParam, lParam);
  TMessage m{msg, wParam, lParam, 0};
  control->WindowProc(m);
  return m.Result;
}

namespace {

void RegisterWindowClass() {
  static bool done = false;
  WNDCLASSA wc{};
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = FormsWindowProc;
  wc.lpszClassName = kWindowClass;
  // A test's reset drops every class, so look again each time.
  if (!done || !RegisterClassA(&wc)) {
    RegisterClassA(&wc);
    done = true;
  }
}

}  // namespace

TCustomForm* GetParentForm(const TControl* control) {
  const TControl* c = control;
  while (c && c->Parent()) c = c->Parent();
  return dynamic_cast<TCustomForm*>(const_cast<TControl*>(c));
}

// ---- TControl ---------------------------------------------------------------------

TControl::TControl(TComponent* owner) : TComponent(owner) {
  WindowProc = [this](TMessage& m) { WndProc(m); };
  font_.OnChange = [this](TObject*) { Perform(CM_FONTCHANGED); };
}

TControl::~TControl() {
  Application->ControlDestroyed(this);
  if (parent_) parent_->RemoveControl(this);
}

LRESULT TControl::Perform(UINT msg, WPARAM wParam, LPARAM lParam) {
  TMessage m{msg, wParam, lParam, 0};
  WindowProc(m);
  return m.Result;
}

void TControl::SetParent(TWinControl* parent) {
  if (parent_ == parent) return;
  if (parent_) parent_->RemoveControl(this);
  parent_ = parent;
  if (parent_) {
    parent_->InsertControl(this);
    if (parentColor_) ParentColorChanged();
  }
}

void TControl::SetBounds(int left, int top, int width, int height) {
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  if (parent_ && visible_) parent_->Invalidate();
  left_ = left, top_ = top, width_ = std::max(width, 0), height_ = std::max(height, 0);
  if (parent_ && visible_) parent_->Invalidate();
  if (parent_ && align_ != TAlign::alNone) parent_->Realign();
}

TPoint TControl::ClientToScreen(TPoint p) const {
  for (const TControl* c = this; c; c = c->parent_) {
    if (c->IsWindowed() && static_cast<const TWinControl*>(c)->HandleAllocated()) {
      POINT q{p.X, p.Y};
      ::ClientToScreen(const_cast<TWinControl*>(static_cast<const TWinControl*>(c))->Handle(), &q);
      return {q.x, q.y};
    }
    p.X += c->left_;
    p.Y += c->top_;
  }
  return p;
}

TPoint TControl::ScreenToClient(TPoint p) const {
  TPoint origin = ClientToScreen({0, 0});
  return {p.X - origin.X, p.Y - origin.Y};
}

void TControl::SetAlign(TAlign align) {
  if (align_ == align) return;
  align_ = align;
  if (parent_) parent_->Realign();
}

void TControl::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  if (parent_) parent_->Invalidate();
  VisibleChanged();
  if (parent_ && align_ != TAlign::alNone) parent_->Realign();
}

bool TControl::Showing() const {
  for (const TControl* c = this; c; c = c->parent_) {
    if (!c->visible_) return false;
  }
  return true;
}

void TControl::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  Perform(CM_ENABLEDCHANGED);
}

void TControl::SetColor(TColor color) {
  parentColor_ = false;
  if (color_ == color) return;
  color_ = color;
  Perform(CM_COLORCHANGED);
}

void TControl::SetParentColor(bool on) {
  if (parentColor_ == on) return;
  parentColor_ = on;
  if (on) ParentColorChanged();
}

void TControl::ParentColorChanged() {
  if (!parentColor_ || !parent_) return;
  TColor c = parent_->Color();
  if (c != color_) {
    color_ = c;
    Perform(CM_COLORCHANGED);
  }
}

void TControl::SetText(const std::string& text) {
  if (text_ == text) return;
  text_ = text;
  Perform(CM_TEXTCHANGED);
}

void TControl::SetCursor(TCursor cursor) {
  if (cursor_ == cursor) return;
  cursor_ = cursor;
  Perform(CM_CURSORCHANGED);
}

bool TControl::MouseCapture() const {
  HWND capture = GetCapture();
  if (!capture) return false;
  if (IsWindowed()) return capture == const_cast<TWinControl*>(static_cast<const TWinControl*>(this))->Handle();
  return parent_ && parent_->HandleAllocated() && capture == parent_->Handle();
}

void TControl::SetMouseCapture(bool on) {
  HWND h = nullptr;
  if (IsWindowed()) h = static_cast<TWinControl*>(this)->Handle();
  else if (parent_) h = parent_->Handle();
  if (!h) return;
  if (on) SetCapture(h);
  else if (GetCapture() == h) ReleaseCapture();
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TControl::Invalidate() {
  if (parent_ && visible_) parent_->Invalidate();
}

void TControl::Update() {
  if (IsWindowed()) {
    if (static_cast<TWinControl*>(this)->HandleAllocated()) UpdateWindow(static_cast<TWinControl*>(this)->Handle());
  } else if (parent_) {
    parent_->Update();
  }
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

void TControl::BringToFront() {
  if (IsWindowed() && static_cast<TWinControl*>(this)->HandleAllocated()) {
    SetWindowPos(static_cast<TWinControl*>(this)->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  }
  if (parent_) {
    auto& list = parent_->controls_;
    std::erase(list, this);
    list.push_back(this);
    Invalidate();
  }
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TControl::MouseMove(TShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}

void TControl::HandleMouse(TMessage& m) {
  const int x = GET_X_LPARAM(m.LParam), y = GET_Y_LPARAM(m.LParam);
  TShiftState shift = MouseShift(m.WParam);
  auto button = [&](UINT msg) {
    switch (msg) {
      case WM_RBUTTONDOWN: case WM_RBUTTONUP: case WM_RBUTTONDBLCLK: return TMouseButton::mbRight;
      case WM_MBUTTONDOWN: case WM_MBUTTONUP: case WM_MBUTTONDBLCLK: return TMouseButton::mbMiddle;
      default: return TMouseButton::mbLeft;
    }
  };
  switch (m.Msg) {
    case WM_MOUSEMOVE:
      MouseMove(shift, x, y);
      break;
    case WM_LBUTTONDOWN:
      if (ControlStyle & csCaptureMouse) SetMouseCapture(true);
      if (ControlStyle & csClickEvents) ControlState |= csClicked;
      MouseDown(TMouseButton::mbLeft, shift, x, y);
      break;
    case WM_LBUTTONDBLCLK:
      if (ControlStyle & csDoubleClicks) DblClick();
      MouseDown(TMouseButton::mbLeft, shift | ssDouble, x, y);
      break;
    case WM_LBUTTONUP:
      if (ControlStyle & csCaptureMouse) SetMouseCapture(false);
      if (ControlState & csClicked) {
        ControlState &= ~csClicked;
        TRect r = ClientRect();
        if (x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom) Click();
      }
      MouseUp(TMouseButton::mbLeft, shift, x, y);
      break;
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK:
      MouseDown(button(m.Msg), shift, x, y);
      break;
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      MouseUp(button(m.Msg), shift, x, y);
      break;
    default:
      break;
  }
}

void TControl::WndProc(TMessage& m) {
  if (IsMouseMessage(m.Msg)) {
    HandleMouse(m);
    return;
  }
  switch (m.Msg) {
    case CM_MOUSEENTER: MouseEnter(); break;
    case CM_MOUSELEAVE: MouseLeave(); break;
    case CM_ENABLEDCHANGED: EnabledChanged(); break;
    case CM_TEXTCHANGED: TextChanged(); break;
    case CM_FONTCHANGED: FontChanged(); break;
    case CM_COLORCHANGED: ColorChanged(); break;
    case CM_PARENTCOLORCHANGED: ParentColorChanged(); break;
    case CM_FOCUSCHANGED: FocusChanged(reinterpret_cast<TWinControl*>(m.LParam)); break;
    case CM_DIALOGKEY: m.Result = DialogKey(static_cast<WORD>(m.WParam), static_cast<TShiftState>(m.LParam)) ? 1 : 0; break;
    case CM_DIALOGCHAR: m.Result = DialogChar(static_cast<char>(m.WParam)) ? 1 : 0; break;
    case WM_CANCELMODE: CancelMode(); break;
    default: break;
  }
}

// ---- TWinControl -----------------------------------------------------------------

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
  Destroying();
  // The window's messages reach this object no more; children go first.
  if (handle_) SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
  while (!controls_.empty()) delete controls_.back();
  DestroyHandle();
}

TWinControl* TWinControl::FromHandle(HWND hwnd) {
  auto it = Handles().find(hwnd);
  return it == Handles().end() ? nullptr : it->second;
}

HWND TWinControl::Handle() {
  if (!handle_) CreateHandle();
  return handle_;
}

DWORD TWinControl::WindowStyle() const {
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
  if (Visible()) style |= WS_VISIBLE;
  if (!Enabled()) style |= WS_DISABLED;
  if (TabStop) style |= WS_TABSTOP;
  return style;
}

HWND TWinControl::ParentWindow() const { return Parent() ? Parent()->Handle() : nullptr; }

void TWinControl::CreateHandle() {
  if (handle_) return;
  HWND parentWindow = ParentWindow();
  if (!parentWindow && (WindowStyle() & WS_CHILD)) return;  // no parent yet
  RegisterWindowClass();
  HWND h = CreateWindowExA(WindowExStyle(), kWindowClass, Text().c_str(), WindowStyle(), left_, top_, width_,
                           height_, parentWindow, nullptr, nullptr, this);
  if (!h) return;
  handle_ = h;
  Handles()[h] = this;
  // Children made before the window get theirs now, in tab order.
  for (TControl* c : controls_) {
    if (c->IsWindowed()) static_cast<TWinControl*>(c)->CreateHandle();
  }
}

void TWinControl::DestroyHandle() {
  if (!handle_) return;
  HWND h = handle_;
  handle_ = nullptr;
  Handles().erase(h);
  SetWindowLongPtrA(h, GWLP_USERDATA, 0);
  DestroyWindow(h);
}

void TWinControl::InsertControl(TControl* c) {
  controls_.push_back(c);
  if (c->IsWindowed()) {
    auto* w = static_cast<TWinControl*>(c);
    tabList_.push_back(w);
    if (handle_) w->CreateHandle();
  }
  if (c->Align() != TAlign::alNone) Realign();
  Invalidate();
}

void TWinControl::RemoveControl(TControl* c) {
  std::erase(controls_, c);
  if (c->IsWindowed()) {
    auto* w = static_cast<TWinControl*>(c);
    std::erase(tabList_, w);
    w->DestroyHandle();
  }
  if (!(ComponentState() & csDestroying)) {
    if (c->Align() != TAlign::alNone) Realign();
    Invalidate();
  }
}

int TWinControl::TabOrder() const {
  if (!Parent()) return -1;
  const auto& list = Parent()->tabList_;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TWinControl::SetTabOrder(int order) {
  if (!Parent()) return;
  auto& list = Parent()->tabList_;
  std::erase(list, this);
  order = std::clamp(order, 0, static_cast<int>(list.size()));
  list.insert(list.begin() + order, this);
}

TControl* TWinControl::ControlAtPos(TPoint p) const {
  // Later controls lie on top.
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
    TControl* c = *it;
    if (c->IsWindowed() || !c->Visible()) continue;
    if (p.X >= c->left_ && p.Y >= c->top_ && p.X < c->left_ + c->width_ && p.Y < c->top_ + c->height_) return c;
  }
  return nullptr;
}

bool TWinControl::CanFocus() const {
  for (const TControl* c = this; c; c = c->Parent()) {
    if (!c->Visible() || !c->Enabled()) return false;
  }
  return true;
}

bool TWinControl::Focused() const { return handle_ && GetFocus() == handle_; }

void TWinControl::SetFocus() {
  if (TCustomForm* form = GetParentForm(this); form && form != this) {
    // An inactive form remembers the control and focuses it when activated.
    if (!form->Active()) {
      form->SetActiveControl(this);
      return;
    }
  }
  if (CanFocus()) ::SetFocus(Handle());
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  bool sized = width != width_ || height != height_;
  left_ = left, top_ = top, width_ = std::max(width, 0), height_ = std::max(height, 0);
  if (handle_) MoveWindow(handle_, left_, top_, width_, height_, TRUE);
  if (sized) AlignControls();
  if (Parent() && Align() != TAlign::alNone) Parent()->Realign();
}

void TWinControl::SetVisible(bool visible) {
  if (Visible() == visible) return;
  TControl::SetVisible(visible);
  if (handle_) ShowWindow(handle_, visible ? SW_SHOWNA : SW_HIDE);
}

void TWinControl::SetEnabled(bool enabled) {
  if (Enabled() == enabled) return;
  if (handle_) EnableWindow(handle_, enabled ? TRUE : FALSE);
  TControl::SetEnabled(enabled);
}

void TWinControl::SetText(const std::string& text) {
  if (handle_) SetWindowTextA(handle_, text.c_str());
  TControl::SetText(text);
}

void TWinControl::Invalidate() {
  if (handle_) InvalidateRect(handle_, nullptr, (ControlStyle & csOpaque) ? FALSE : TRUE);
}

void TWinControl::Realign() { AlignControls(); }

void TWinControl::AlignControls() {
  if (aligning_) return;
  aligning_ = true;
  TRect r = ClientRect();
  AdjustClientRect(r);
  // Top and bottom first, then left and right, then the client, each in
  // child order.
  for (TAlign pass : {TAlign::alTop, TAlign::alBottom, TAlign::alLeft, TAlign::alRight, TAlign::alClient}) {
    for (TControl* c : controls_) {
      if (c->Align() != pass || !c->Visible()) continue;
      switch (pass) {
        case TAlign::alTop:
          c->SetBounds(r.Left, r.Top, r.Width(), c->Height());
          r.Top += c->Height();
          break;
        case TAlign::alBottom:
          c->SetBounds(r.Left, r.Bottom - c->Height(), r.Width(), c->Height());
          r.Bottom -= c->Height();
          break;
        case TAlign::alLeft:
          c->SetBounds(r.Left, r.Top, c->Width(), r.Height());
          r.Left += c->Width();
          break;
        case TAlign::alRight:
          c->SetBounds(r.Right - c->Width(), r.Top, c->Width(), r.Height());
          r.Right -= c->Width();
          break;
        default:
          c->SetBounds(r.Left, r.Top, r.Width(), r.Height());
          break;
      }
    }
  }
  aligning_ = false;
}

void TWinControl::EraseBackground(TCanvas& canvas) {
  canvas.Brush().Style = TBrushStyle::bsSolid;
  canvas.Brush().Color = Color();
  canvas.FillRect(ClientRect());
}

void TWinControl::PaintWindow(HDC dc) {
  eraseCanvas_.SetHandle(dc);
  PaintControls(eraseCanvas_);
  eraseCanvas_.SetHandle(nullptr);
}

// Controls without a window, in child order, each at its place and cut to
// its bounds.
void TWinControl::PaintControls(TCanvas& canvas) {
  HDC dc = canvas.Handle();
  if (!dc) return;
  for (TControl* c : controls_) {
    if (c->IsWindowed() || !c->Visible() || c->width_ <= 0 || c->height_ <= 0) continue;
    int saved = SaveDC(dc);
    IntersectClipRect(dc, c->left_, c->top_, c->left_ + c->width_, c->top_ + c->height_);
    OffsetViewportOrgEx(dc, c->left_, c->top_, nullptr);
    TCanvas child;
    child.SetHandle(dc);
    c->PaintTo(child);
    RestoreDC(dc, saved);
  }
}

void TWinControl::KeyDown(WORD& key, TShiftState shift) {
  if (OnKeyDown) OnKeyDown(this, key, shift);
}

void TWinControl::KeyUp(WORD& key, TShiftState shift) {
  if (OnKeyUp) OnKeyUp(this, key, shift);
}

void TWinControl::KeyPress(char& key) {
  if (OnKeyPress) OnKeyPress(this, key);
}

void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}

// Keys in the framework's order: the form's key preview, dialog keys
// offered to the form's controls, accelerators, then the focused control.
void TWinControl::HandleKey(TMessage& m) {
  TCustomForm* form = GetParentForm(this);
  TShiftState shift = KeyboardShiftState();
  switch (m.Msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      WORD key = static_cast<WORD>(m.WParam);
      if (form && form != this && form->KeyPreview) {
        form->DoKeyDownPreview(key, shift);
        if (key == 0) return;
      }
      bool navigation = key == VK_TAB || key == VK_RETURN || key == VK_ESCAPE || key == VK_LEFT ||
                        key == VK_RIGHT || key == VK_UP || key == VK_DOWN || key == VK_PRIOR || key == VK_NEXT;
      if (navigation && !WantsKey(key) && form) {
        if (form->Perform(CM_DIALOGKEY, key, static_cast<LPARAM>(shift))) return;
      }
      KeyDown(key, shift);
      return;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      WORD key = static_cast<WORD>(m.WParam);
      if (form && form != this && form->KeyPreview && form->OnKeyUp) {
        form->OnKeyUp(form, key, shift);
        if (key == 0) return;
      }
      KeyUp(key, shift);
      return;
    }
    case WM_CHAR:
    case WM_SYSCHAR: {
      char ch = static_cast<char>(m.WParam);
      if (form && form != this && form->KeyPreview && form->OnKeyPress) {
        form->OnKeyPress(form, ch);
        if (ch == 0) return;
      }
      if ((m.Msg == WM_SYSCHAR || !WantsChars()) && form && form->BroadcastDialogChar(ch)) return;
      if (m.Msg == WM_CHAR) KeyPress(ch);
      return;
    }
    default:
      return;
  }
}

void TWinControl::WndProc(TMessage& m) {
  if (IsMouseMessage(m.Msg)) {
    // A control without a window under the point (or holding the capture
    // through this window) takes the message in its own coordinates.
    TPoint p{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
    TControl* target = Application->CaptureControl(this);
    if (!target) target = ControlAtPos(p);
    if (target && target != this && target->Enabled()) {
      TMessage forwarded = m;
      forwarded.LParam = MAKELPARAM(static_cast<uintptr_t>(p.X - target->left_), static_cast<uintptr_t>(p.Y - target->top_));
      if (m.Msg == WM_LBUTTONDOWN && (target->ControlStyle & csCaptureMouse)) Application->SetCaptureControl(target);
      target->WindowProc(forwarded);
      if (m.Msg == WM_LBUTTONUP) Application->SetCaptureControl(nullptr);
      return;
    }
    TControl::WndProc(m);
    return;
  }
  switch (m.Msg) {
    case WM_KEYDOWN: case WM_SYSKEYDOWN: case WM_KEYUP: case WM_SYSKEYUP: case WM_CHAR: case WM_SYSCHAR:
      HandleKey(m);
      return;
    case WM_SETFOCUS:
      if (TCustomForm* form = GetParentForm(this); form && form != this) form->FocusControlChanged(this);
      DoEnter();
      return;
    case WM_KILLFOCUS:
      DoExit();
      return;
    case WM_ERASEBKGND: {
      TCanvas canvas;
      canvas.SetHandle(reinterpret_cast<HDC>(m.WParam));
      EraseBackground(canvas);
      m.Result = 1;
      return;
    }
    case WM_PAINT: {
      if (m.WParam) {
        // Painting into a given device context (a child copying its
        // parent's background).
        PaintWindow(reinterpret_cast<HDC>(m.WParam));
        return;
      }
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(handle_, &ps);
      if (dc) PaintWindow(dc);
      EndPaint(handle_, &ps);
      return;
    }
    case CM_PARENTCOLORCHANGED:
      TControl::WndProc(m);
      return;
    case CM_COLORCHANGED:
      TControl::WndProc(m);
      for (TControl* c : controls_) c->Perform(CM_PARENTCOLORCHANGED);
      return;
    case WM_DESTROY:
      return;
    default:
      TControl::WndProc(m);
      if (m.Msg < CM_BASE && !m.Result) m.Result = DefWindowProcA(handle_, m.Msg, m.WParam, m.LParam);
      return;
  }
}

// ---- TCustomControl ----------------------------------------------------------------

TCustomControl::TCustomControl(TComponent* owner) : TWinControl(owner) {}

TCustomControl::~TCustomControl() {
  if (ownDc_) ReleaseDC(nullptr, ownDc_);
}

TCanvas& TCustomControl::Canvas() {
  if (!canvas_.Handle() && HandleAllocated()) {
    ownDc_ = GetDC(Handle());
    canvas_.SetHandle(ownDc_);
  }
  return canvas_;
}

void TCustomControl::PaintWindow(HDC dc) {
  HDC previous = canvas_.Handle();
  canvas_.SetHandle(dc);
  canvas_.Font().Assign(Font());
  int saved = SaveDC(dc);
  Paint();
  RestoreDC(dc, saved);
  PaintControls(canvas_);
  canvas_.SetHandle(previous);
}

}  // namespace forms
