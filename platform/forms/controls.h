// Controls: bounds, alignment, visibility, enabling, colours, font,
// caption, cursor, mouse and keyboard; windowed controls are windows of the
// Win32 layer (CreateWindowExA) with focus, tab order and painting, and
// controls without a window are painted and fed by their parent.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/forms/classes.h"
#include "platform/forms/graphics.h"
#include "platform/forms/types.h"

namespace forms {

class TWinControl;
class TCustomForm;

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

enum TControlStyleBits : uint32_t {
  csAcceptsControls = 1,
  csCaptureMouse = 2,
  csClickEvents = 4,
  csFramed = 8,
  csSetCaption = 16,
  csOpaque = 32,
  csDoubleClicks = 64,
};
using TControlStyle = uint32_t;
enum TControlStateBits : uint32_t { csLButtonDown = 1, csClicked = 2, csFocusing = 4 };
using TControlState = uint32_t;

// Cursors.
using TCursor = int;
constexpr TCursor crDefault = 0;
constexpr TCursor crArrow = -2;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crHandPoint = -21;

using TNotifyEvent = std::function<void(TObject* sender)>;
using TMouseEvent = std::function<void(TObject* sender, TMouseButton, TShiftState, int x, int y)>;
using TMouseMoveEvent = std::function<void(TObject* sender, TShiftState, int x, int y)>;
using TKeyEvent = std::function<void(TObject* sender, WORD& key, TShiftState)>;
using TKeyPressEvent = std::function<void(TObject* sender, char& key)>;
using TWndMethod = std::function<void(TMessage&)>;

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;
  std::string ClassName() const override { return "TControl"; }

  // The window procedure: replaceable; keep the previous one to call it.
  TWndMethod WindowProc;
  LRESULT Perform(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);

  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* parent);

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
  void SetTop(int v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
  virtual void SetBounds(int left, int top, int width, int height);
  TRect BoundsRect() const { return Bounds(left_, top_, width_, height_); }
  virtual TRect ClientRect() const { return Rect(0, 0, width_, height_); }
  int ClientWidth() const { return ClientRect().Width(); }
  int ClientHeight() const { return ClientRect().Height(); }
  TPoint ClientToScreen(TPoint p) const;
  TPoint ScreenToClient(TPoint p) const;

  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);
  bool Visible() const { return visible_; }
  virtual void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible, and every parent too.
  bool Showing() const;
  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool enabled);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  bool ParentColor() const { return parentColor_; }
  void SetParentColor(bool on);
  TFont& Font() { return font_; }
  void SetFont(const TFont& font) { font_.Assign(font); }
  std::string Caption() const { return text_; }
  void SetCaption(const std::string& text) { SetText(text); }
  std::string Text() const { return text_; }
  virtual void SetText(const std::string& text);
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor cursor);

  TControlStyle ControlStyle = csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
  TControlState ControlState = 0;
  bool MouseCapture() const;
  void SetMouseCapture(bool on);

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;

  virtual void Click();
  virtual void DblClick();
  virtual void Invalidate();
  void Update();
  void Repaint();
  void BringToFront();
  // Painting for a control without a window: called by the parent's paint.
  virtual void PaintTo(TCanvas&) {}
  virtual bool IsWindowed() const { return false; }

 protected:
  friend class TWinControl;
  friend class TCustomForm;
  friend class TApplication;
  virtual void WndProc(TMessage& m);
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseEnter() {}
  virtual void MouseLeave() {}
  virtual void CancelMode() {}
  virtual void EnabledChanged() { Invalidate(); }
  virtual void TextChanged() {}
  virtual void FontChanged() { Invalidate(); }
  virtual void ColorChanged() { Invalidate(); }
  virtual void VisibleChanged() {}
  // A focus change in the form: `focused` is the newly focused control.
  virtual void FocusChanged(TWinControl*) {}
  // True when the control takes the key (the framework then stops).
  virtual bool DialogKey(WORD, TShiftState) { return false; }
  virtual bool DialogChar(char) { return false; }
  void ParentColorChanged();

  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;

 private:
  void HandleMouse(TMessage& m);

  TWinControl* parent_ = nullptr;
  TAlign align_ = TAlign::alNone;
  bool visible_ = true;
  bool enabled_ = true;
  TColor color_ = clWindow;
  bool parentColor_ = false;
  TFont font_;
  std::string text_;
  TCursor cursor_ = crDefault;
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;
  std::string ClassName() const override { return "TWinControl"; }
  bool IsWindowed() const override { return true; }

  HWND Handle();
  bool HandleAllocated() const { return handle_ != nullptr; }
  static TWinControl* FromHandle(HWND hwnd);

  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int i) const { return controls_[static_cast<size_t>(i)]; }
  // The windowed children in tab order.
  const std::vector<TWinControl*>& TabList() const { return tabList_; }
  int TabOrder() const;
  void SetTabOrder(int order);
  bool TabStop = false;
  // The control without a window under a client point, visible ones only.
  TControl* ControlAtPos(TPoint p) const;

  bool CanFocus() const;
  bool Focused() const;
  virtual void SetFocus();
  void SetBounds(int left, int top, int width, int height) override;
  void SetVisible(bool visible) override;
  void SetEnabled(bool enabled) override;
  void SetText(const std::string& text) override;
  void Invalidate() override;
  void Realign();

  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;

 protected:
  friend class TControl;
  friend class TCustomForm;
  void WndProc(TMessage& m) override;
  // The window's styles; a form makes a top-level window.
  virtual DWORD WindowStyle() const;
  virtual DWORD WindowExStyle() const { return 0; }
  virtual HWND ParentWindow() const;
  void CreateHandle();
  void DestroyHandle();
  // The client area the children are aligned in.
  virtual void AdjustClientRect(TRect& rect) const { (void)rect; }
  void AlignControls();
  // Background: fills with Color unless the control paints all of it.
  virtual void EraseBackground(TCanvas& canvas);
  virtual void PaintWindow(HDC dc);
  void PaintControls(TCanvas& canvas);
  // Whether the control handles a navigation key itself.
  virtual bool WantsKey(WORD) const { return false; }
  virtual bool WantsChars() const { return false; }
  virtual void KeyDown(WORD& key, TShiftState shift);
  virtual void KeyUp(WORD& key, TShiftState shift);
  virtual void KeyPress(char& key);
  virtual void DoEnter();
  virtual void DoExit();

 private:
  friend LRESULT FormsWindowProc(HWND, UINT, WPARAM, LPARAM);
  void InsertControl(TControl* c);
  void RemoveControl(TControl* c);
  void HandleKey(TMessage& m);

  HWND handle_ = nullptr;
  std::vector<TControl*> controls_;
  std::vector<TWinControl*> tabList_;
  bool aligning_ = false;
  TCanvas eraseCanvas_;
};

class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* owner) : TControl(owner) {}
  std::string ClassName() const override { return "TGraphicControl"; }
  void PaintTo(TCanvas& canvas) override {
    canvas_ = &canvas;
    Paint();
    canvas_ = nullptr;
  }

 protected:
  virtual void Paint() {}
  // Valid inside Paint: the parent's canvas moved to this control's place.
  TCanvas& Canvas() { return *canvas_; }

 private:
  TCanvas* canvas_ = nullptr;
};

// A windowed control that paints itself on its own canvas.
class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* owner);
  ~TCustomControl() override;
  std::string ClassName() const override { return "TCustomControl"; }
  // Inside Paint the paint's device context; elsewhere the window's.
  TCanvas& Canvas();

 protected:
  virtual void Paint() {}
  void PaintWindow(HDC dc) override;

 private:
  TCanvas canvas_;
  HDC ownDc_ = nullptr;
};

TCustomForm* GetParentForm(const TControl* control);

}  // namespace forms
