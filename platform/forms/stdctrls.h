// The standard controls the skinned library and the launcher use: label,
// image, panel, image list and timer.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/forms/controls.h"

namespace forms {

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

// With WordWrap the width stays and the label grows downwards.
class TLabel : public TGraphicControl {
 public:
  explicit TLabel(TComponent* owner);
  std::string ClassName() const override { return "TLabel"; }
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool on);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool on);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on);
  TAlignment Alignment = TAlignment::taLeftJustify;
  void AdjustBounds();

 protected:
  void Paint() override;
  void TextChanged() override;
  void FontChanged() override;

 private:
  UINT Flags() const;
  bool autoSize_ = true;
  bool wordWrap_ = false;
  bool transparent_ = false;
};

class TImage : public TGraphicControl {
 public:
  explicit TImage(TComponent* owner);
  std::string ClassName() const override { return "TImage"; }
  TBitmap& Picture() { return picture_; }
  // Call after changing the picture.
  void PictureChanged();
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool on);
  bool Stretch = false;
  bool Transparent = false;

 protected:
  void Paint() override;

 private:
  TBitmap picture_;
  bool autoSize_ = false;
};

enum class TBevelCut { bvNone, bvLowered, bvRaised };

class TCustomPanel : public TCustomControl {
 public:
  explicit TCustomPanel(TComponent* owner);
  std::string ClassName() const override { return "TCustomPanel"; }
  TBevelCut BevelOuter = TBevelCut::bvRaised;

 protected:
  void Paint() override;
  void AdjustClientRect(TRect& rect) const override;
  void TextChanged() override { Invalidate(); }
};

class TPanel : public TCustomPanel {
 public:
  explicit TPanel(TComponent* owner) : TCustomPanel(owner) {}
  std::string ClassName() const override { return "TPanel"; }
};

// Images of one size; masked ones have a see-through colour. Disabled
// images are drawn greyed.
class TImageList : public TComponent {
 public:
  explicit TImageList(TComponent* owner) : TComponent(owner) {}
  std::string ClassName() const override { return "TImageList"; }
  int Width = 16, Height = 16;
  int Count() const { return static_cast<int>(images_.size()); }
  // The bitmap is cut into images of Width each; returns the first index.
  int Add(TBitmap& bitmap);
  int AddMasked(TBitmap& bitmap, TColor maskColor);
  void Draw(TCanvas& canvas, int x, int y, int index, bool enabled = true);
  // A copy of image `index` into `bitmap`; false outside the list.
  bool GetBitmap(int index, TBitmap& bitmap) const;
  void Clear() { images_.clear(); }

 private:
  struct Image {
    std::unique_ptr<TBitmap> bitmap;
    bool masked;
    uint32_t mask;
  };
  int AddImages(TBitmap& bitmap, bool masked, uint32_t mask);
  std::vector<Image> images_;
};

// Ticks on the Win32 layer's timer; an interval of 0 gives no ticks.
class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;
  std::string ClassName() const override { return "TTimer"; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on);
  UINT Interval() const { return interval_; }
  void SetInterval(UINT ms);
  TNotifyEvent OnTimer;

 private:
  void Update();
  static void CALLBACK_Tick(HWND, UINT, UINT_PTR, DWORD);
  bool enabled_ = true;
  UINT interval_ = 1000;
  UINT_PTR id_ = 0;
};

}  // namespace forms
