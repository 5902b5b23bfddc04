// The skinned push button and check box: drawn whole from theme bitmaps
// into an off-screen bitmap and copied to the screen in one step.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "launcher/skin/sk_themes.h"
#include "platform/forms/controls.h"
#include "platform/forms/stdctrls.h"

namespace skin {

enum class TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum class TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

// Where the glyph and the caption go (halves toward zero), for a glyph of
// gw x gh (a two-image glyph counts one image) and a caption of tw x th.
struct GlyphPlacement {
  forms::TPoint glyph, text;
};
GlyphPlacement PlaceGlyph(TButtonLayout layout, int width, int height, int gw, int gh, int tw, int th, int spacing);

class TskCustomButton : public forms::TCustomControl {
 public:
  explicit TskCustomButton(forms::TComponent* owner);
  ~TskCustomButton() override;
  std::string ClassName() const override { return "TskCustomButton"; }
  std::vector<std::string> PublishedProperties() const override;

  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool on);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on);
  int MouseContinuouslyDownInterval = 100;
  int ModalResult = forms::mrNone;
  bool Cancel = false;
  bool Default() const { return default_; }
  void SetDefault(bool on);
  int FocusedRectMargin() const { return focusMargin_; }
  void SetFocusedRectMargin(int margin);
  TskUIStyle UIStyle() const { return style_; }
  void SetUIStyle(TskUIStyle style);
  TskFileTheme* FileTheme() const { return fileTheme_; }
  void SetFileTheme(TskFileTheme* theme);

  forms::TNotifyEvent OnMouseEnter;
  forms::TNotifyEvent OnMouseExit;
  forms::TNotifyEvent OnMouseContinuouslyDown;

  bool Hover() const { return hover_; }
  bool Pressed() const { return pressed_; }
  bool ActiveDefault() const { return activeDefault_; }
  bool RepeatTimerRunning() const { return repeat_ != nullptr; }
  void Click() override;

  virtual void ApplyAutoSize();

 protected:
  virtual void CaptionChanged() {}
  void FontChanged() override;
  virtual void ApplyTransparent();
  void EnabledChanged() override;
  virtual void ApplyUIStyle() {}
  virtual void DrawStateBitmap(forms::TCanvas& canvas, forms::TBitmap& bitmap);
  virtual void DrawCaption(forms::TCanvas& canvas);
  virtual void DrawFocus(forms::TCanvas& canvas);
  virtual void GetNormalBitmap(forms::TBitmap& graphic);
  virtual void GetMouseOnBitmap(forms::TBitmap& graphic);
  virtual void GetPressedBitmap(forms::TBitmap& graphic);
  virtual void GetDisabledBitmap(forms::TBitmap& graphic);

  void Paint() override;
  void EraseBackground(forms::TCanvas&) override {}  // the paint covers it
  void TextChanged() override;
  void MouseEnter() override;
  void MouseLeave() override;
  void MouseDown(forms::TMouseButton button, forms::TShiftState shift, int x, int y) override;
  void MouseMove(forms::TShiftState shift, int x, int y) override;
  void CancelMode() override;
  void KeyDown(WORD& key, forms::TShiftState shift) override;
  void KeyUp(WORD& key, forms::TShiftState shift) override;
  bool DialogChar(char ch) override;
  bool DialogKey(WORD key, forms::TShiftState shift) override;
  void FocusChanged(forms::TWinControl* focused) override;
  void WndProc(forms::TMessage& m) override;
  void DoEnter() override;
  void DoExit() override;
  void Notification(forms::TComponent* c, forms::TOperation op) override;
  bool SetPublishedProperty(const std::string& name, const forms::TPropValue& value) override;
  bool GetPublishedProperty(const std::string& name, forms::TPropValue* value) const override;

  // The state frame: frame 1 normal, 2 mouse on, 3 pressed.
  void GetStateFrame(forms::TBitmap& graphic, int frame);
  void SetHoverPressed(bool hover, bool pressed);
  void StopRepeat();

  TskUIStyle style_ = TskUIStyle::Ocean;
  TskFileTheme* fileTheme_ = nullptr;
  bool bitmapTransparent_ = false;
  bool boldCaption_ = false;

 private:
  bool autoSize_ = false;
  bool transparent_ = false;
  bool default_ = false;
  bool activeDefault_ = false;
  int focusMargin_ = 2;
  bool hover_ = false;
  bool pressed_ = false;
  std::unique_ptr<forms::TTimer> repeat_;
  forms::TBitmap offscreen_;
};

class TskButton : public TskCustomButton {
 public:
  explicit TskButton(forms::TComponent* owner);
  std::string ClassName() const override { return "TskButton"; }
  std::vector<std::string> PublishedProperties() const override;

  forms::TBitmap& Glyph() { return glyph_; }
  void SetGlyph(const forms::TBitmap& glyph);
  TButtonLayout Layout() const { return layout_; }
  void SetLayout(TButtonLayout layout);
  int Spacing() const { return spacing_; }
  void SetSpacing(int spacing);
  intptr_t ResHandle() const { return 0; }
  void SetResHandle(intptr_t) {}

 protected:
  void ApplyUIStyle() override;
  void DrawStateBitmap(forms::TCanvas& canvas, forms::TBitmap& bitmap) override;
  void DrawCaption(forms::TCanvas& canvas) override;
  void DrawFocus(forms::TCanvas& canvas) override;

 private:
  forms::TBitmap glyph_;
  TButtonLayout layout_ = TButtonLayout::blGlyphLeft;
  int spacing_ = 4;
  forms::TPoint textPos_;
};

class TskCheckBox : public forms::TCustomControl {
 public:
  explicit TskCheckBox(forms::TComponent* owner);
  std::string ClassName() const override { return "TskCheckBox"; }
  std::vector<std::string> PublishedProperties() const override;

  bool Checked() const { return checked_; }
  void SetChecked(bool on);
  TCheckBoxState State() const { return checked_ ? TCheckBoxState::cbChecked : TCheckBoxState::cbUnchecked; }
  void SetState(TCheckBoxState state) { SetChecked(state == TCheckBoxState::cbChecked); }
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool on);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on);
  TskUIStyle UIStyle() const { return style_; }
  void SetUIStyle(TskUIStyle style);
  TskFileTheme* FileTheme() const { return fileTheme_; }
  void SetFileTheme(TskFileTheme* theme);

  // The box's own click event (the framework's click does not fire it).
  forms::TNotifyEvent OnClick;
  void Click() override;

 protected:
  virtual bool WantsFocusRect() const { return TabStop && Focused(); }
  virtual bool IsBitmapTransparent() const { return false; }
  virtual int GetThemeSlot() const { return tsCheckBoxBitmap; }
  virtual int GetFileBitmapIndex() const { return skCheckBox; }
  virtual void DoClick();
  virtual void BeforeToggle() {}
  virtual void Toggle();
  virtual bool KeysToggle() const { return true; }

  void Paint() override;
  void EraseBackground(forms::TCanvas&) override {}
  void TextChanged() override { Invalidate(); }
  void MouseDown(forms::TMouseButton button, forms::TShiftState shift, int x, int y) override;
  void KeyUp(WORD& key, forms::TShiftState shift) override;
  bool DialogChar(char ch) override;
  void DoEnter() override { Invalidate(); }
  void DoExit() override { Invalidate(); }
  void Notification(forms::TComponent* c, forms::TOperation op) override;
  bool SetPublishedProperty(const std::string& name, const forms::TPropValue& value) override;
  bool GetPublishedProperty(const std::string& name, forms::TPropValue* value) const override;

 private:
  void GetFrame(forms::TBitmap& frame);
  bool checked_ = false;
  bool autoSize_ = true;
  bool transparent_ = false;
  TskUIStyle style_ = TskUIStyle::Ocean;
  TskFileTheme* fileTheme_ = nullptr;
  forms::TBitmap offscreen_;
};

}  // namespace skin
