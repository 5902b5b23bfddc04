#include "launcher/app/paint_box.h"

#include "platform/win32/win32.h"

namespace launcher {

TincaPaintBox::TincaPaintBox(forms::TComponent* owner) : forms::TCustomControl(owner) {
  ControlStyle |= forms::csAcceptsControls | forms::csCaptureMouse | forms::csClickEvents | forms::csDoubleClicks;
  SetColor(forms::clWhite);
  SetBounds(Left(), Top(), 100, 100);
}

void TincaPaintBox::SetAutoClear(bool on) {
  autoClear_ = on;
  Invalidate();
}

void TincaPaintBox::SetBounds(int left, int top, int width, int height) {
  forms::TCustomControl::SetBounds(left, top, width, height);
  // The bitmap is always the control's size.
  if (bitmap_.Width() != Width() || bitmap_.Height() != Height()) {
    bitmap_.SetSize(Width(), Height());
    Invalidate();
  }
}

void TincaPaintBox::WndProc(forms::TMessage& m) {
  if (m.Msg == WM_ERASEBKGND) {
    m.Result = 0;  // painting covers it all
    return;
  }
  forms::TCustomControl::WndProc(m);
}

void TincaPaintBox::Paint() {
  const forms::TRect r = ClientRect();
  forms::TCanvas& canvas = bitmap_.Canvas();
  bool stop = false;
  if (OnClear) OnClear(this, canvas, stop, r);
  if (autoClear_ && !stop) {
    canvas.Brush().Style = forms::TBrushStyle::bsSolid;
    canvas.Brush().Color = Color();
    canvas.FillRect(r);
  }
  stop = false;
  if (OnPaint) OnPaint(this, canvas, stop, r);
  if (!stop) Canvas().Draw(0, 0, bitmap_);
}

forms::TPoint TincaPaintBox::CursorInClient() const {
  POINT p{};
  GetCursorPos(&p);
  return ScreenToClient({p.x, p.y});
}

void TincaPaintBox::MouseEnter() {
  if (!OnMouseEnter) return;
  const forms::TPoint p = CursorInClient();
  OnMouseEnter(this, 0, p.X, p.Y);
}

void TincaPaintBox::MouseLeave() {
  if (!OnMouseLeave) return;
  const forms::TPoint p = CursorInClient();
  OnMouseLeave(this, 0, p.X, p.Y);
}

}  // namespace launcher
