#include "platform/forms/forms.h"
#include "platform/forms/threads.h"

#include <algorithm>
#include <utility>

#include "platform/forms/appevnts.h"
#include "platform/forms/stdctrls.h"
#include "platform/win32/win32.h"

namespace forms {

namespace {
TApplication g_application;
TScreen g_screen;
}  // namespace

TApplication* const Application = &g_application;
TScreen* const Screen = &g_screen;

// ---- TCustomForm -------------------------------------------------------------------

TCustomForm::TCustomForm(TComponent* owner) : TWinControl(owner) {
  TControl::SetVisible(false);
  SetColor(clBtnFace);
  ControlStyle |= csAcceptsControls;
  SetBounds(0, 0, 320, 240);
  Screen->forms_.push_back(this);
  CreateHandle();
}

TCustomForm::~TCustomForm() {
  if (OnDestroy) OnDestroy(this);
  std::erase(Screen->forms_, this);
  std::erase(Application->hiddenByMinimize_, this);
  if (Application->MainForm() == this) Application->SetMainForm(nullptr);
}

DWORD TCustomForm::WindowStyle() const {
  DWORD style = WS_CLIPCHILDREN;
  switch (BorderStyle) {
    case TFormBorderStyle::bsNone: style |= WS_POPUP; break;
    case TFormBorderStyle::bsSingle: case TFormBorderStyle::bsToolWindow: style |= WS_CAPTION | WS_SYSMENU | WS_BORDER; break;
    case TFormBorderStyle::bsDialog: style |= WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_DLGFRAME; break;
    default: style |= WS_OVERLAPPEDWINDOW; break;
  }
  return style;
}

DWORD TCustomForm::WindowExStyle() const {
  DWORD ex = 0;
  if (BorderStyle == TFormBorderStyle::bsDialog) ex |= WS_EX_DLGMODALFRAME;
  if (alphaBlend_) ex |= WS_EX_LAYERED;
  return ex;
}

void TCustomForm::SetBounds(int left, int top, int width, int height) {
  if (Constraints.MinWidth > 0) width = std::max(width, Constraints.MinWidth);
  if (Constraints.MinHeight > 0) height = std::max(height, Constraints.MinHeight);
  if (Constraints.MaxWidth > 0) width = std::min(width, Constraints.MaxWidth);
  if (Constraints.MaxHeight > 0) height = std::min(height, Constraints.MaxHeight);
  TWinControl::SetBounds(left, top, width, height);
}

TRect TCustomForm::ClientRect() const {
  // A minimised window has no client area; its controls keep their places.
  if (!HandleAllocated() || IsIconic(const_cast<TCustomForm*>(this)->Handle())) return TWinControl::ClientRect();
  RECT r{};
  GetClientRect(const_cast<TCustomForm*>(this)->Handle(), &r);
  return Rect(0, 0, r.right, r.bottom);
}

void TCustomForm::PlaceOnShow() {
  if (placed_) return;
  placed_ = true;
  auto centreIn = [&](TRect r) {
    SetBounds(r.Left + (r.Width() - Width()) / 2, r.Top + (r.Height() - Height()) / 2, Width(), Height());
  };
  switch (Position) {
    case TPosition::poScreenCenter:
    case TPosition::poDesktopCenter:
      centreIn(Rect(0, 0, Screen->Width(), Screen->Height()));
      break;
    case TPosition::poMainFormCenter:
    case TPosition::poOwnerFormCenter: {
      TCustomForm* other = Position == TPosition::poOwnerFormCenter ? dynamic_cast<TCustomForm*>(Owner()) : nullptr;
      if (!other) other = Application->MainForm();
      if (other && other != this) centreIn(other->BoundsRect());
      else centreIn(Rect(0, 0, Screen->Width(), Screen->Height()));
      break;
    }
    default:
      break;
  }
}

void TCustomForm::SetVisible(bool visible) {
  if (Visible() == visible) return;
  if (visible) {
    PlaceOnShow();
    if (OnShow) OnShow(this);
  } else if (OnHide) {
    OnHide(this);
  }
  TControl::SetVisible(visible);
  if (HandleAllocated()) ShowWindow(Handle(), visible ? SW_SHOW : SW_HIDE);
}

bool TCustomForm::Active() const { return HandleAllocated() && GetActiveWindow() == const_cast<TCustomForm*>(this)->Handle(); }

void TCustomForm::Activated() {
  // The active control takes the focus back, or the first one in tab order.
  if (activeControl_ && activeControl_->CanFocus()) {
    ::SetFocus(activeControl_->Handle());
  } else if (!SelectNext(nullptr, true, true)) {
    ::SetFocus(Handle());
  }
}

void TCustomForm::SetActiveControl(TWinControl* control) {
  activeControl_ = control;
  if (control && Active() && control->CanFocus() && !control->Focused()) ::SetFocus(control->Handle());
}

namespace {
void CollectTabOrder(const TWinControl* parent, std::vector<TWinControl*>& out) {
  for (TWinControl* c : parent->TabList()) {
    out.push_back(c);
    CollectTabOrder(c, out);
  }
}
}  // namespace

bool TCustomForm::SelectNext(TWinControl* current, bool forward, bool checkTabStop) {
  std::vector<TWinControl*> order;
  CollectTabOrder(this, order);
  if (order.empty()) return false;
  const int n = static_cast<int>(order.size());
  auto it = std::find(order.begin(), order.end(), current);
  int start = it == order.end() ? (forward ? -1 : n) : static_cast<int>(it - order.begin());
  for (int step = 1; step <= n; ++step) {
    int i = ((start + (forward ? step : -step)) % n + n) % n;
    TWinControl* c = order[static_cast<size_t>(i)];
    if (c == current) break;
    if ((!checkTabStop || c->TabStop) && c->CanFocus()) {
      SetActiveControl(c);
      if (!Active()) activeControl_ = c;
      return true;
    }
  }
  return false;
}

void TCustomForm::FocusControlChanged(TWinControl* control) {
  activeControl_ = control;
  // Every control of the form hears of it, depth first in child order.
  std::vector<TControl*> all;
  std::vector<const TWinControl*> stack{this};
  std::function<void(const TWinControl*)> collect = [&](const TWinControl* w) {
    for (int i = 0; i < w->ControlCount(); ++i) {
      TControl* c = w->Controls(i);
      all.push_back(c);
      if (c->IsWindowed()) collect(static_cast<TWinControl*>(c));
    }
  };
  collect(this);
  for (TControl* c : all) c->Perform(CM_FOCUSCHANGED, 0, reinterpret_cast<LPARAM>(control));
}

namespace {
template <class F>
bool Broadcast(const TWinControl* w, F&& offer) {
  for (int i = 0; i < w->ControlCount(); ++i) {
    TControl* c = w->Controls(i);
    if (offer(c)) return true;
    if (c->IsWindowed() && Broadcast(static_cast<TWinControl*>(c), offer)) return true;
  }
  return false;
}
}  // namespace

bool TCustomForm::BroadcastDialogKey(WORD key, TShiftState shift) {
  return Broadcast(this, [&](TControl* c) { return c->Perform(CM_DIALOGKEY, key, static_cast<LPARAM>(shift)) != 0; });
}

bool TCustomForm::BroadcastDialogChar(char ch) {
  return Broadcast(this, [&](TControl* c) {
    return c->Perform(CM_DIALOGCHAR, static_cast<uint8_t>(ch), 0) != 0;
  });
}

void TCustomForm::DoKeyDownPreview(WORD& key, TShiftState shift) {
  if (OnKeyDown) OnKeyDown(this, key, shift);
}

// Tab moves the focus; any other dialog key goes to the controls.
bool TCustomForm::DialogKey(WORD key, TShiftState shift) {
  if (key == VK_TAB && !(shift & (ssCtrl | ssAlt))) {
    SelectNext(activeControl_, !(shift & ssShift), true);
    return true;
  }
  return BroadcastDialogKey(key, shift);
}

void TCustomForm::Close() {
  if (modal_) {
    modalResult_ = mrCancel;
    return;
  }
  TCloseAction action = TCloseAction::caHide;
  if (OnClose) OnClose(this, action);
  if (action == TCloseAction::caNone) return;
  if (Application->MainForm() == this) {
    Application->Terminate();
  } else if (action == TCloseAction::caHide) {
    Hide();
  } else if (action == TCloseAction::caMinimize) {
    ShowWindow(Handle(), SW_MINIMIZE);
  } else {
    Hide();
    PostMessageA(Handle(), CM_RELEASE, 0, 0);
  }
}

int TCustomForm::ShowModal() {
  if (Visible() || modal_) return mrNone;
  if (HWND capture = GetCapture()) SendMessageA(capture, WM_CANCELMODE, 0, 0);
  ReleaseCapture();
  HWND previous = GetActiveWindow();
  // The other forms take no input while this one is shown.
  std::vector<TCustomForm*> disabled;
  for (TCustomForm* f : Screen->Forms()) {
    if (f != this && f->Visible() && f->Enabled() && f->HandleAllocated()) {
      EnableWindow(f->Handle(), FALSE);
      disabled.push_back(f);
    }
  }
  modal_ = true;
  modalResult_ = mrNone;
  Show();
  while (modalResult_ == mrNone) {
    Application->HandleMessage();
    if (Application->Terminated()) {
      modalResult_ = mrCancel;
      break;
    }
    if (modalResult_ != mrNone) {
      TCloseAction action = TCloseAction::caHide;
      if (OnClose) OnClose(this, action);
      if (action == TCloseAction::caNone) modalResult_ = mrNone;
    }
  }
  modal_ = false;
  for (TCustomForm* f : disabled) {
    if (std::find(Screen->Forms().begin(), Screen->Forms().end(), f) != Screen->Forms().end()) {
      EnableWindow(f->Handle(), TRUE);
    }
  }
  Hide();
  if (previous && IsWindow(previous)) ShowWindow(previous, SW_SHOW);
  return modalResult_;
}

void TCustomForm::SetAlphaBlend(bool on) {
  alphaBlend_ = on;
  if (!HandleAllocated()) return;
  LONG_PTR ex = GetWindowLongPtrA(Handle(), GWL_EXSTYLE);
  SetWindowLongPtrA(Handle(), GWL_EXSTYLE, on ? (ex | WS_EX_LAYERED) : (ex & ~static_cast<LONG_PTR>(WS_EX_LAYERED)));
  if (on) SetLayeredWindowAttributes(Handle(), 0, alphaValue_, LWA_ALPHA);
}

void TCustomForm::SetAlphaBlendValue(BYTE value) {
  alphaValue_ = value;
  if (alphaBlend_ && HandleAllocated()) SetLayeredWindowAttributes(Handle(), 0, value, LWA_ALPHA);
}

void TCustomForm::DoCreate() {
  if (OnCreate) OnCreate(this);
}

void TCustomForm::EraseBackground(TCanvas& canvas) { TWinControl::EraseBackground(canvas); }

void TCustomForm::PaintWindow(HDC dc) {
  paintCanvas_.SetHandle(dc);
  paintCanvas_.Font().Assign(Font());
  if (OnPaint) OnPaint(this);
  PaintControls(paintCanvas_);
  paintCanvas_.SetHandle(nullptr);
}

void TCustomForm::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_ACTIVATE:
      if (LOWORD(m.WParam) != WA_INACTIVE) Activated();
      return;
    case WM_SETFOCUS:
      // The form itself focused: pass it on to its active control.
      if (activeControl_ && activeControl_ != this && activeControl_->CanFocus()) {
        ::SetFocus(activeControl_->Handle());
        return;
      }
      TWinControl::WndProc(m);
      return;
    case WM_CLOSE:
      Close();
      return;
    case WM_SIZE:
      // The frame may have changed the client area without the window's size.
      if (m.WParam != SIZE_MINIMIZED) AlignControls();
      TWinControl::WndProc(m);
      // The window manager may minimise or restore the main form itself.
      if (Application->MainForm() == this) {
        if (m.WParam == SIZE_MINIMIZED) {
          Application->MainFormMinimized();
        } else {
          Application->MainFormRestored();
        }
      }
      return;
    case WM_NCLBUTTONDOWN:
      if (static_cast<LRESULT>(m.WParam) == HTCAPTION && HandleAllocated()) {
        DragByCaption(GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam));
        return;
      }
      TWinControl::WndProc(m);
      return;
    case WM_SYSCOMMAND:
      switch (m.WParam & 0xFFF0) {
        // The main form minimises and restores the whole application.
        case SC_MINIMIZE:
          if (Application->MainForm() == this) {
            Application->Minimize();
          } else {
            SetWindowState(TWindowState::wsMinimized);
          }
          return;
        case SC_MAXIMIZE: SetWindowState(TWindowState::wsMaximized); return;
        case SC_RESTORE:
          if (Application->MainForm() == this && Application->Minimized()) {
            Application->Restore();
          } else {
            SetWindowState(TWindowState::wsNormal);
          }
          return;
        case SC_CLOSE: Close(); return;
        default: TWinControl::WndProc(m); return;
      }
    case CM_RELEASE:
      delete this;
      return;
    default:
      TWinControl::WndProc(m);
  }
}

// Follows the mouse until the button is released (Escape puts the form
// back), as a caption drag does.
void TCustomForm::DragByCaption(int screenX, int screenY) {
  const TRect start = BoundsRect();
  SetCapture(Handle());
  for (;;) {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      WaitMessage();
      continue;
    }
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (msg.message == WM_MOUSEMOVE || msg.message == WM_LBUTTONUP) {
      // The message's own cursor position: the window moves under it.
      SetBounds(start.Left + msg.pt.x - screenX, start.Top + msg.pt.y - screenY, start.Width(), start.Height());
      if (msg.message == WM_LBUTTONUP) break;
      continue;
    }
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
      SetBounds(start.Left, start.Top, start.Width(), start.Height());
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    if (GetCapture() != Handle()) break;
  }
  if (GetCapture() == Handle()) ReleaseCapture();
}

TWindowState TCustomForm::WindowState() const {
  if (HandleAllocated() && IsIconic(const_cast<TCustomForm*>(this)->Handle())) return TWindowState::wsMinimized;
  return windowState_ == TWindowState::wsMinimized ? TWindowState::wsNormal : windowState_;
}

void TCustomForm::SetWindowState(TWindowState state) {
  const TWindowState was = windowState_;
  if (state == TWindowState::wsMinimized) {
    windowState_ = state;
    if (HandleAllocated()) ShowWindow(Handle(), SW_MINIMIZE);
    return;
  }
  if (HandleAllocated() && IsIconic(Handle())) ShowWindow(Handle(), SW_RESTORE);
  if (state == TWindowState::wsMaximized) {
    if (was != TWindowState::wsMaximized) normalBounds_ = BoundsRect();
    windowState_ = state;
    const TRect work = Screen->WorkAreaRect();
    SetBounds(work.Left, work.Top, work.Width(), work.Height());
  } else {
    windowState_ = state;
    if (was == TWindowState::wsMaximized) {
      SetBounds(normalBounds_.Left, normalBounds_.Top, normalBounds_.Width(), normalBounds_.Height());
    }
  }
}

void ShowMessage(const std::string& text) {
  TForm box(Application);
  box.BorderStyle = TFormBorderStyle::bsDialog;
  box.Position = TPosition::poScreenCenter;
  box.SetCaption(Application->Title);
  auto* label = new TLabel(&box);
  label->SetParent(&box);
  label->SetLeft(12);
  label->SetTop(12);
  label->SetCaption(text);
  box.SetBounds(0, 0, std::max(label->Width() + 24, 120), label->Height() + 36);
  box.KeyPreview = true;
  box.OnKeyDown = [&box](TObject*, WORD& key, TShiftState) {
    if (key == VK_RETURN || key == VK_ESCAPE || key == VK_SPACE) box.SetModalResult(mrOk);
  };
  box.ShowModal();
}

// ---- TApplication ----------------------------------------------------------------

void TApplication::Terminate() { PostQuitMessage(0); }

void TApplication::SetMainForm(TCustomForm* form) {
  mainForm_ = form;
  minimized_ = false;
  hiddenByMinimize_.clear();
  activeBeforeMinimize_ = restoredActive_ = nullptr;
  if (form && form->HandleAllocated()) {
    const LONG_PTR ex = GetWindowLongPtrA(form->Handle(), GWL_EXSTYLE);
    SetWindowLongPtrA(form->Handle(), GWL_EXSTYLE, ex | static_cast<LONG_PTR>(WS_EX_APPWINDOW));
  }
}

void TApplication::Minimize() {
  if (!mainForm_ || !mainForm_->HandleAllocated() || minimized_) return;
  MainFormMinimized();
  if (mainForm_ && !IsIconic(mainForm_->Handle())) ShowWindow(mainForm_->Handle(), SW_MINIMIZE);
}

void TApplication::Restore() {
  if (!mainForm_ || !mainForm_->HandleAllocated()) return;
  if (!IsIconic(mainForm_->Handle())) {
    MainFormRestored();
    return;
  }
  // Its size message brings the others back; the restore then activates
  // the main form, so the window that was active is activated again.
  ShowWindow(mainForm_->Handle(), SW_RESTORE);
  HWND active = std::exchange(restoredActive_, nullptr);
  if (active && IsWindow(active) && IsWindowVisible(active)) SetActiveWindow(active);
}

void TApplication::MainFormMinimized() {
  if (minimized_) return;
  minimized_ = true;
  activeBeforeMinimize_ = GetActiveWindow();
  restoredActive_ = nullptr;
  // As owned windows go with their owner: told first, then hidden without
  // a second notice; their Visible stays as it was.
  hiddenByMinimize_.clear();
  for (TCustomForm* f : Screen->Forms()) {
    if (f != mainForm_ && f->HandleAllocated() && IsWindowVisible(f->Handle())) hiddenByMinimize_.push_back(f);
  }
  for (TCustomForm* f : std::vector<TCustomForm*>(hiddenByMinimize_)) {
    if (std::find(hiddenByMinimize_.begin(), hiddenByMinimize_.end(), f) == hiddenByMinimize_.end()) continue;
    SendMessageA(f->Handle(), WM_SHOWWINDOW, FALSE, SW_PARENTCLOSING);
    if (std::find(hiddenByMinimize_.begin(), hiddenByMinimize_.end(), f) == hiddenByMinimize_.end()) continue;
    SetWindowPos(f->Handle(), nullptr, 0, 0, 0, 0,
                 SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (OnMinimize) OnMinimize(this);
}

void TApplication::MainFormRestored() {
  if (!minimized_) return;
  minimized_ = false;
  const std::vector<TCustomForm*> hidden = std::exchange(hiddenByMinimize_, {});
  // Forms freed meanwhile left the list; forms hidden meanwhile stay hidden.
  for (TCustomForm* f : hidden) {
    if (std::find(Screen->Forms().begin(), Screen->Forms().end(), f) == Screen->Forms().end()) continue;
    if (!f->Visible()) continue;
    SendMessageA(f->Handle(), WM_SHOWWINDOW, TRUE, SW_PARENTOPENING);
    if (std::find(Screen->Forms().begin(), Screen->Forms().end(), f) == Screen->Forms().end()) continue;
    SetWindowPos(f->Handle(), nullptr, 0, 0, 0, 0, SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
  }
  // A modal dialog that was active is active again, above its main form.
  HWND active = std::exchange(activeBeforeMinimize_, nullptr);
  if (!active || !IsWindow(active) || !IsWindowVisible(active)) active = mainForm_ ? mainForm_->Handle() : nullptr;
  if (active) SetActiveWindow(active);
  restoredActive_ = active;
  if (OnRestore) OnRestore(this);
}

bool TApplication::Active() const { return GetActiveWindow() != nullptr; }

void TApplication::Notification(TComponent* c, TOperation op) {
  if (op == TOperation::opRemove && c == mainForm_) mainForm_ = nullptr;
}

void TApplication::ControlDestroyed(TControl* c) {
  if (mouseControl_ == c) mouseControl_ = nullptr;
  if (captureControl_ == c) captureControl_ = nullptr;
}

TControl* TApplication::CaptureControl(TWinControl* window) const {
  if (!captureControl_ || captureControl_->Parent() != window || !window->HandleAllocated() ||
      GetCapture() != window->Handle()) {
    return nullptr;
  }
  return captureControl_;
}

bool TApplication::ProcessMessage() {
  // Requests of worker threads first (they posted a message to wake us).
  TThread::CheckSynchronize();
  MSG msg;
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    terminated_ = true;
    return true;
  }
  bool handled = false;
  // A hook may free events objects: walk a copy, skipping those gone.
  const std::vector<TApplicationEvents*> hooks = hooks_;
  for (TApplicationEvents* e : hooks) {
    if (std::find(hooks_.begin(), hooks_.end(), e) == hooks_.end() || !e->OnMessage) continue;
    e->OnMessage(msg, handled);
    if (handled) break;
  }
  if (!handled) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST) UpdateMouseControl();
  // The shape a real display shows: the screen's cursor while one is set,
  // else that of the control under the mouse.
  TCursor shape = Screen->Cursor;
  if (shape == crDefault && mouseControl_) shape = mouseControl_->Cursor();
  ::SetCursor(Screen->Cursors(shape));
  return true;
}

void TApplication::HookMessages(TApplicationEvents* events) { hooks_.push_back(events); }

void TApplication::UnhookMessages(TApplicationEvents* events) { std::erase(hooks_, events); }

void TApplication::ProcessMessages() {
  while (ProcessMessage()) {
  }
}

void TApplication::HandleMessage() {
  if (!ProcessMessage()) {
    UpdateMouseControl();
    WaitMessage();
  }
}

void TApplication::Run() {
  if (mainForm_) mainForm_->Show();
  while (!terminated_) HandleMessage();
}

void TApplication::UpdateMouseControl() {
  // Where the mouse was for the message just handled.
  DWORD pos = GetMessagePos();
  POINT p{GET_X_LPARAM(static_cast<LPARAM>(static_cast<int32_t>(pos))), GET_Y_LPARAM(static_cast<LPARAM>(static_cast<int32_t>(pos)))};
  TControl* now = nullptr;
  if (TWinControl* w = TWinControl::FromHandle(WindowFromPoint(p))) {
    now = w;
    TPoint local = w->ScreenToClient({p.x, p.y});
    if (TControl* g = w->ControlAtPos(local); g && g->Enabled()) now = g;
  }
  if (now == mouseControl_) return;
  TControl* old = mouseControl_;
  mouseControl_ = now;
  if (old) old->Perform(CM_MOUSELEAVE);
  if (now && mouseControl_ == now) now->Perform(CM_MOUSEENTER);
}

void TApplication::Reset() {
  mainForm_ = nullptr;
  minimized_ = false;
  hiddenByMinimize_.clear();
  activeBeforeMinimize_ = restoredActive_ = nullptr;
  OnMinimize = nullptr;
  OnRestore = nullptr;
  terminated_ = false;
  mouseControl_ = nullptr;
  captureControl_ = nullptr;
  Title.clear();
}

// ---- TScreen ------------------------------------------------------------------------

int TScreen::Width() const { return GetSystemMetrics(SM_CXSCREEN); }
int TScreen::Height() const { return GetSystemMetrics(SM_CYSCREEN); }

TRect TScreen::WorkAreaRect() const {
  RECT r{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0);
  return Rect(r.left, r.top, r.right, r.bottom);
}

HCURSOR TScreen::Cursors(TCursor cursor) const {
  switch (cursor) {
    case crHandPoint: return LoadCursorA(nullptr, MAKEINTRESOURCEA(32649));
    case crHourGlass: return LoadCursorA(nullptr, MAKEINTRESOURCEA(32514));
    default: return LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
  }
}

TCustomForm* TScreen::ActiveForm() const {
  HWND active = GetActiveWindow();
  for (TCustomForm* f : forms_) {
    if (f->HandleAllocated() && const_cast<TCustomForm*>(f)->Handle() == active) return f;
  }
  return nullptr;
}

}  // namespace forms
