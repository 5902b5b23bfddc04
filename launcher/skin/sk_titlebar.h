// The skinned title bar: a strip at the top of a form drawn from picture
// sections, with the caption, the application icon or control box and a
// row of title buttons that maximise, minimise and close the form, and a
// skinned system menu.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "launcher/skin/sk_menu.h"
#include "launcher/skin/sk_themes.h"
#include "platform/forms/forms.h"
#include "platform/forms/stdctrls.h"

namespace skin {

class TskTitleBar;
enum class TskTitleBarAlign { skLeft, skRight, skClient };
enum class TskTitleBarBtnType { skMax, skMin, skClose, skHelp, skControlBox, skCustom };

class TskTitleBarSection {
 public:
  explicit TskTitleBarSection(TskTitleBar* bar) : bar_(bar) {}
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool on);
  int Width() const { return width_; }
  void SetWidth(int w);
  TskTitleBarAlign Align() const { return align_; }
  // Refused (with a message) when another section is the client one.
  void SetAlign(TskTitleBarAlign align);
  forms::TBitmap& Picture() { return picture_; }
  void PictureChanged();
  bool Stretch() const { return stretch_; }
  void SetStretch(bool on);
  bool CapSec() const { return capSec_; }
  void SetCapSec(bool on);

 private:
  TskTitleBar* bar_;
  bool autoSize_ = false;
  int width_ = 10;
  TskTitleBarAlign align_ = TskTitleBarAlign::skLeft;
  forms::TBitmap picture_;
  bool stretch_ = false;
  bool capSec_ = false;
};

class TskTitleBarButton {
 public:
  explicit TskTitleBarButton(TskTitleBar* bar);
  TskUIStyle UIStyle() const { return style_; }
  void SetUIStyle(TskUIStyle style);
  TskTitleBarBtnType ButtonType() const { return type_; }
  // Refused (with a message) when another button is the control box.
  void SetButtonType(TskTitleBarBtnType type);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on);
  int Top() const { return top_; }
  void SetTop(int top);
  bool Visible() const { return visible_; }
  void SetVisible(bool on);
  forms::TPopupMenu* ControlBoxMenu = nullptr;
  forms::TBitmap& PicNormal() { return normal_; }
  forms::TBitmap& PicMouseOn() { return mouseOn_; }
  forms::TBitmap& PicMouseDown() { return mouseDown_; }
  // Reloads the pictures from the style (the restore frames for a
  // maximise button of a maximised form).
  void LoadPictures();

 private:
  friend class TskTitleBar;
  TskTitleBar* bar_;
  TskUIStyle style_ = TskUIStyle::Ocean;
  TskTitleBarBtnType type_ = TskTitleBarBtnType::skCustom;
  bool transparent_ = false;
  int top_ = 2;
  bool visible_ = true;
  forms::TBitmap normal_, mouseOn_, mouseDown_;
};

// The system menu: minimise, maximise or restore, and close.
class TskTitleBarPopupMenu : public TskPopupMenu {
 public:
  explicit TskTitleBarPopupMenu(TskTitleBar* bar);
  std::string ClassName() const override { return "TskTitleBarPopupMenu"; }
  forms::TMenuItem* MinimizeItem() const { return Items()->Items(0); }
  forms::TMenuItem* MaximizeItem() const { return Items()->Items(1); }
  forms::TMenuItem* CloseItem() const { return Items()->Items(3); }
};

using TskTitleBarButtonClickEvent = std::function<void(forms::TObject* sender, int index)>;

class TskTitleBar : public forms::TCustomPanel {
 public:
  explicit TskTitleBar(forms::TComponent* owner);
  ~TskTitleBar() override;
  std::string ClassName() const override { return "TskTitleBar"; }
  std::vector<std::string> PublishedProperties() const override;

  bool Custom = false;
  TskUIStyle UIStyle() const { return style_; }
  void SetUIStyle(TskUIStyle style);
  TskFileTheme* FileTheme() const { return fileTheme_; }
  void SetFileTheme(TskFileTheme* theme);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool on);
  int ButtonInterval() const { return buttonInterval_; }
  void SetButtonInterval(int v);
  bool FormActive() const { return formActive_; }
  void SetFormActive(bool on);
  int LeftBtnXOffset = 0;
  int RightBtnXOffset = 0;
  bool DrawAppIcon() const { return drawAppIcon_; }
  void SetDrawAppIcon(bool on);
  int RoundCorner = 0;
  int RoundCornerBottom = 0;
  TskTitleBarButtonClickEvent OnCustomBtnsClick;
  TskTitleBarButtonClickEvent OnHelpBtnClick;

  int SectionCount() const { return static_cast<int>(sections_.size()); }
  TskTitleBarSection* Sections(int i) const { return sections_[static_cast<size_t>(i)].get(); }
  TskTitleBarSection* AddSection();
  void ClearSections();
  int ButtonCount() const { return static_cast<int>(buttons_.size()); }
  TskTitleBarButton* Buttons(int i) const { return buttons_[static_cast<size_t>(i)].get(); }
  TskTitleBarButton* AddButton();
  void DeleteButton(int index);

  TskTitleBarPopupMenu* SystemMenu() const { return systemMenu_; }
  // Enables the system menu's items by the visible buttons.
  void UpdateSystemMenu();
  // The caption as last drawn (cut with "..." when it did not fit).
  const std::string& ShownCaption() const { return shownCaption_; }
  // Where button `index` was last drawn (empty when it was not).
  forms::TRect ButtonRect(int index) const;
  int TitleButtonTop() const { return buttonTop_; }
  // The form's minimum width and height as the style sets them.
  int FormMinWidth() const { return minWidth_; }
  int FormMinHeight() const { return minHeight_; }

  // The sections laid out over `width` as the bar draws them, at the
  // sections' full height: a themed form fills its frame around the bar
  // from the same strip.
  void DrawSectionStrip(forms::TBitmap& strip, int width);
  // Whether the bar sits on a themed form (which draws the frame around it).
  bool OnSkForm() const;
  // The themed form's answer to the left-border query (0 without one).
  int FormLeftBorder() const;

  // A button's action (maximise or restore, minimise, close, pop-up).
  void ButtonAction(int index);
  void Repaint() { Invalidate(); }

 protected:
  friend class TskTitleBarSection;
  friend class TskTitleBarButton;
  virtual void DrawSections(forms::TCanvas& canvas);
  virtual void DrawButtonsAndCaption(forms::TCanvas& canvas);
  void Paint() override;
  void EraseBackground(forms::TCanvas&) override {}
  void TextChanged() override { Invalidate(); }
  void MouseDown(forms::TMouseButton button, forms::TShiftState shift, int x, int y) override;
  void MouseMove(forms::TShiftState shift, int x, int y) override;
  void MouseUp(forms::TMouseButton button, forms::TShiftState shift, int x, int y) override;
  void MouseLeave() override;
  void DblClick() override;
  void Notification(forms::TComponent* c, forms::TOperation op) override;

 private:
  forms::TCustomForm* Form() const { return forms::GetParentForm(this); }
  int ButtonAt(int x, int y) const;
  void ButtonsChanged();

  TskUIStyle style_ = TskUIStyle::Ocean;
  TskFileTheme* fileTheme_ = nullptr;
  bool autoSize_ = false;
  int buttonInterval_ = 0;
  bool formActive_ = true;
  bool drawAppIcon_ = true;
  std::vector<std::unique_ptr<TskTitleBarSection>> sections_;
  std::vector<std::unique_ptr<TskTitleBarButton>> buttons_;
  std::vector<forms::TRect> buttonRects_;
  TskTitleBarPopupMenu* systemMenu_;
  int hot_ = -1;
  bool pressed_ = false;
  int buttonTop_ = 2;
  uint32_t transColor_ = 0xFF00FF;
  forms::TColor backColor_ = forms::clBlack;
  int minWidth_ = 0, minHeight_ = 0;
  std::string shownCaption_;
  forms::TBitmap offscreen_;
  forms::TBitmap strip_;
  forms::TBitmap appIcon_;
  int layoutWidth_ = -1, layoutHeight_ = -1;  // the section layout's extent while drawing a strip
};

}  // namespace skin
