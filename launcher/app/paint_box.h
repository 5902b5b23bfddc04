// A double-buffered paint control: its events paint into an off-screen
// bitmap the size of the control, which is then copied to the screen. The
// background is never erased before painting. Color (white at creation)
// is what AutoClear fills with.
#pragma once

#include <functional>
#include <string>

#include "platform/forms/controls.h"

namespace launcher {

// sender, the bitmap's canvas, the "stop" flag the handler may set, the
// rectangle to paint.
using TincaPaintEvent = std::function<void(forms::TObject*, forms::TCanvas&, bool& stop, const forms::TRect&)>;
using TincaMouseEvent = std::function<void(forms::TObject*, forms::TShiftState, int x, int y)>;

class TincaPaintBox : public forms::TCustomControl {
 public:
  explicit TincaPaintBox(forms::TComponent* owner);
  std::string ClassName() const override { return "TincaPaintBox"; }

  forms::TBitmap& Bitmap() { return bitmap_; }
  bool AutoClear() const { return autoClear_; }
  void SetAutoClear(bool on);
  void SetBounds(int left, int top, int width, int height) override;

  TincaPaintEvent OnClear;
  TincaPaintEvent OnPaint;
  TincaMouseEvent OnMouseEnter;
  TincaMouseEvent OnMouseLeave;

 protected:
  void WndProc(forms::TMessage& m) override;
  void Paint() override;
  void MouseEnter() override;
  void MouseLeave() override;

 private:
  forms::TPoint CursorInClient() const;

  forms::TBitmap bitmap_;
  bool autoClear_ = false;
};

}  // namespace launcher
