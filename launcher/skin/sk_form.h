// The themed form: a panel filling an ordinary form that carries the
// skinned title bar and a menu bar, takes over the form's window procedure
// to size and paint the frame itself, and cuts the window into its region.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "launcher/skin/sk_menu.h"
#include "launcher/skin/sk_titlebar.h"
#include "platform/forms/appevnts.h"
#include "platform/forms/comctrls.h"

namespace skin {

class TskForm;

// The form's menu bar: one button per top-level item of the form's menu.
class TskMenuBar : public forms::TToolBar {
 public:
  TskMenuBar(forms::TComponent* owner, TskForm* form);
  std::string ClassName() const override { return "TskMenuBar"; }
  TskForm* Form() const { return form_; }

 protected:
  void DropDownMenuCreated(forms::TPopupMenu* menu) override;

 private:
  TskForm* form_;
};

class TskForm : public forms::TCustomPanel {
 public:
  explicit TskForm(forms::TComponent* owner);
  ~TskForm() override;
  std::string ClassName() const override { return "TskForm"; }
  std::vector<std::string> PublishedProperties() const override;
  bool SetPublishedProperty(const std::string& name, const forms::TPropValue& value) override;
  bool GetPublishedProperty(const std::string& name, forms::TPropValue* value) const override;

  bool TitleBarCustom() const { return titleBar_->Custom; }
  void SetTitleBarCustom(bool on) { titleBar_->Custom = on; }
  TskFileTheme* FileTheme() const { return fileTheme_; }
  void SetFileTheme(TskFileTheme* theme);
  TskUIStyle UIStyle() const { return style_; }
  void SetUIStyle(TskUIStyle style);
  bool UIStyleAutoUpdateSub = false;
  forms::TColor BorderColor() const { return borderColor_; }
  void SetBorderColor(forms::TColor color);
  int BorderWidth() const { return borderWidth_; }
  void SetBorderWidth(int width);
  // The title bar's caption; the form's text follows.
  std::string Caption() const { return titleBar_->Caption(); }
  void SetCaption(const std::string& caption);
  forms::TWinControl* FormPanel() const { return formPanel_; }
  void SetFormPanel(forms::TWinControl* panel);
  bool TitleBarDrawAppIcon() const { return titleBar_->DrawAppIcon(); }
  void SetTitleBarDrawAppIcon(bool on) { titleBar_->SetDrawAppIcon(on); }
  forms::TFont& TitleFont() { return titleBar_->Font(); }
  forms::TMainMenu* Menu() const { return menu_; }
  void SetMenu(forms::TMainMenu* menu);
  forms::TColor MenuBarColor() const { return menuBarColor_; }
  void SetMenuBarColor(forms::TColor color);
  int MenuBarHeight() const { return menuBarHeight_; }
  void SetMenuBarHeight(int height);
  // 0 while the title bar is hidden.
  int RoundCorner() const { return titleBar_->Visible() ? titleBar_->RoundCorner : 0; }
  void SetRoundCorner(int v);
  int RoundCornerBottom() const { return titleBar_->Visible() ? titleBar_->RoundCornerBottom : 0; }
  void SetRoundCornerBottom(int v);
  std::string Version() const { return "1.0"; }
  void SetTitleBarVisible(bool on);

  TskTitleBar* TitleBar() const { return titleBar_; }
  TskMenuBar* MenuBar() const { return menuBar_; }
  forms::TCustomForm* OwnerForm() const { return form_; }

  // Takes the caption bits off the window again if they came back.
  void PrepareFrame();
  void DrawFrame();
  void UpdateRegion();
  // Frees the menu bar's buttons and makes one per top-level menu item.
  void RebuildMenuBar();
  void RefreshMenuBar();

  // From a file theme: the side and bottom border sizes (0 otherwise).
  int LeftBorderWidth() const { return leftWidth_; }
  int RightBorderWidth() const { return rightWidth_; }
  int BottomBorderHeight() const { return bottomHeight_; }

 protected:
  void Paint() override;
  void EraseBackground(forms::TCanvas&) override {}
  void AdjustClientRect(forms::TRect& rect) const override;
  void Notification(forms::TComponent* c, forms::TOperation op) override;

 private:
  void HookWndProc(forms::TMessage& m);
  void AppMessage(MSG& msg, bool& handled);
  void RefreshFrame();
  void CreateMenuBar();
  void FreeMenuBar();
  void MenuBarFont();
  bool FileThemeInUse() const;
  void DrawMenuBarBackground(forms::TToolBar* bar, const forms::TRect& rect, bool& defaultDraw);
  void DrawMenuBarButton(forms::TToolBar* bar, forms::TToolButton* button, forms::TCustomDrawState state,
                         bool& defaultDraw);
  void ComposeBottom(int width);
  // The title strip at the window's width, as the region and frame see it.
  void TitleStrip(int width);

  forms::TCustomForm* form_ = nullptr;
  TskTitleBar* titleBar_ = nullptr;
  TskMenuBar* menuBar_ = nullptr;
  forms::TMainMenu* menu_ = nullptr;
  forms::TWndMethod previousProc_;
  std::unique_ptr<forms::TApplicationEvents> appEvents_;
  forms::TFormBorderStyle oldBorderStyle_ = forms::TFormBorderStyle::bsSizeable;
  forms::TRect savedBounds_;
  bool createdMaximized_ = false;
  int sizeMessages_ = 0;
  forms::TBitmap bottomBitmap_;
  forms::TBitmap titleStrip_;
  forms::TBitmap background_;
  // Artwork read once: the form pattern of the style shown, Pearl's menu strips.
  forms::TBitmap pattern_;
  TskUIStyle patternStyle_ = TskUIStyle::FromThemeFile;
  forms::TBitmap menuBarPicture_, menuSelectPicture_;
  TskUIStyle style_ = TskUIStyle::Ocean;
  TskFileTheme* fileTheme_ = nullptr;
  forms::TColor borderColor_ = forms::clBlack;
  int borderWidth_ = 0;
  forms::TColor menuBarColor_ = forms::clBtnFace;
  int menuBarHeight_ = 22;
  forms::TWinControl* formPanel_ = nullptr;
  int leftWidth_ = 0, rightWidth_ = 0, bottomHeight_ = 0;
  uint32_t transColor_ = 0xFF00FF;
  bool titleNeedsRegion_ = false, bottomNeedsRegion_ = false;
  int titleMinY_ = -1, titleMaxY_ = -1, bottomMinY_ = -1, bottomMaxY_ = -1;
  bool userTitleVisible_ = true;
  bool destroying_ = false;
};

}  // namespace skin
