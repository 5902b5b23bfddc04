// The skinned combo box: the framework's combo box with its border and
// drop-down button repainted in the theme's colours (or the Pearl and
// Meadow button bitmaps) after the framework has painted it.
#pragma once

#include <string>
#include <vector>

#include "launcher/skin/sk_themes.h"
#include "platform/forms/combobox.h"

namespace skin {

class TskCustomComboBox : public forms::TCustomComboBox {
 public:
  explicit TskCustomComboBox(forms::TComponent* owner);
  ~TskCustomComboBox() override;
  std::string ClassName() const override { return "TskCustomComboBox"; }
  std::vector<std::string> PublishedProperties() const override;

  TskUIStyle UIStyle() const { return style_; }
  void SetUIStyle(TskUIStyle style);
  TskFileTheme* FileTheme() const { return fileTheme_; }
  void SetFileTheme(TskFileTheme* theme);
  forms::TColor BorderColor() const { return borderColor_; }
  void SetBorderColor(forms::TColor color);
  forms::TColor ArrowColor() const { return arrowColor_; }
  void SetArrowColor(forms::TColor color);
  forms::TColor ButtonColor() const { return buttonColor_; }
  void SetButtonColor(forms::TColor color);

 protected:
  void Paint() override;
  void CloseUp() override;
  void EnabledChanged() override { Invalidate(); }
  void Notification(forms::TComponent* c, forms::TOperation op) override;
  bool SetPublishedProperty(const std::string& name, const forms::TPropValue& value) override;
  bool GetPublishedProperty(const std::string& name, forms::TPropValue* value) const override;

 private:
  void DrawFrame(forms::TCanvas& canvas);

  TskUIStyle style_ = TskUIStyle::Ocean;
  TskFileTheme* fileTheme_ = nullptr;
  forms::TColor borderColor_ = forms::clBlack;
  forms::TColor arrowColor_ = forms::clBlack;
  forms::TColor buttonColor_ = forms::clBtnFace;
};

class TskComboBox : public TskCustomComboBox {
 public:
  explicit TskComboBox(forms::TComponent* owner) : TskCustomComboBox(owner) {}
  std::string ClassName() const override { return "TskComboBox"; }
};

}  // namespace skin
