// The picture panel (a picture unscaled, stretched or tiled, a caption
// placed by alignment or at a point) and the skinned group box built on it.
#pragma once

#include <string>
#include <vector>

#include "launcher/skin/sk_themes.h"
#include "platform/forms/stdctrls.h"

namespace skin {

class TskCustomPanel : public forms::TCustomPanel {
 public:
  explicit TskCustomPanel(forms::TComponent* owner);
  std::string ClassName() const override { return "TskCustomPanel"; }

  // Call PictureChanged after changing it.
  forms::TBitmap& Picture() { return picture_; }
  virtual void PictureChanged();
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool on);
  bool Transparent() const { return transparent_; }
  virtual void SetTransparent(bool on);
  // 0 top left unscaled, 1 stretched over the client area, 2 tiled.
  int DrawMode() const { return drawMode_; }
  void SetDrawMode(int mode);
  // -1 and -1: placed by Alignment.
  int CaptionX = -1, CaptionY = -1;
  forms::TAlignment Alignment = forms::TAlignment::taCenter;
  bool EraseBackgroundEnabled = false;
  forms::TRect CaptionRect() const { return captionRect_; }

 protected:
  virtual void FillBackground(forms::TCanvas& canvas);
  virtual void CaptionRectChanged(const forms::TRect&) {}
  void Paint() override;
  void EraseBackground(forms::TCanvas& canvas) override;
  void TextChanged() override;
  void ApplyAutoSize();

 private:
  forms::TBitmap picture_;
  bool autoSize_ = false;
  bool transparent_ = false;
  int drawMode_ = 0;
  forms::TRect captionRect_;
  bool textChanged_ = false;
  forms::TBitmap offscreen_;
};

class TskCustomGroupBox : public TskCustomPanel {
 public:
  explicit TskCustomGroupBox(forms::TComponent* owner);
  ~TskCustomGroupBox() override;
  std::string ClassName() const override { return "TskCustomGroupBox"; }
  std::vector<std::string> PublishedProperties() const override;

  TskUIStyle UIStyle() const { return style_; }
  void SetUIStyle(TskUIStyle style);
  TskFileTheme* FileTheme() const { return fileTheme_; }
  void SetFileTheme(TskFileTheme* theme);
  forms::TColor BorderColor() const { return borderColor_; }
  void SetBorderColor(forms::TColor color);

 protected:
  virtual void ApplyUIStyle(TskUIStyle style, TskFileTheme* theme);
  void AdjustClientRect(forms::TRect& rect) const override;
  void Paint() override;
  void FontChanged() override;
  void Notification(forms::TComponent* c, forms::TOperation op) override;
  bool SetPublishedProperty(const std::string& name, const forms::TPropValue& value) override;
  bool GetPublishedProperty(const std::string& name, forms::TPropValue* value) const override;

 private:
  TskUIStyle style_ = TskUIStyle::Ocean;
  TskFileTheme* fileTheme_ = nullptr;
  forms::TColor borderColor_ = forms::clBlack;
};

class TskGroupBox : public TskCustomGroupBox {
 public:
  explicit TskGroupBox(forms::TComponent* owner) : TskCustomGroupBox(owner) {}
  std::string ClassName() const override { return "TskGroupBox"; }
};

}  // namespace skin
