#include "launcher/skin/sk_titlebar.h"

#include <algorithm>

#include "launcher/skin/sk_public.h"
#include "platform/win32/win32.h"

namespace skin {

using forms::TBitmap;
using forms::TCanvas;
using forms::TRect;
using B = TskTitleBarBtnType;

// ---- Sections -------------------------------------------------------------------

void TskTitleBarSection::SetAutoSize(bool on) {
  autoSize_ = on;
  if (on && !picture_.Empty()) width_ = picture_.Width();
  bar_->Repaint();
}
void TskTitleBarSection::SetWidth(int w) {
  width_ = std::max(w, 0);
  bar_->Repaint();
}
void TskTitleBarSection::SetAlign(TskTitleBarAlign align) {
  if (align == TskTitleBarAlign::skClient) {
    for (int i = 0; i < bar_->SectionCount(); ++i) {
      TskTitleBarSection* s = bar_->Sections(i);
      if (s != this && s->align_ == TskTitleBarAlign::skClient) {
        forms::ShowMessage("Sorry, only one section's Align property can be \"skClient\"");
        return;
      }
    }
    stretch_ = true;
  }
  align_ = align;
  bar_->Repaint();
}
void TskTitleBarSection::PictureChanged() {
  if (autoSize_ && !picture_.Empty()) width_ = picture_.Width();
  bar_->Repaint();
}
void TskTitleBarSection::SetStretch(bool on) {
  stretch_ = on;
  bar_->Repaint();
}
void TskTitleBarSection::SetCapSec(bool on) {
  capSec_ = on;
  bar_->Repaint();
}

// ---- Buttons ---------------------------------------------------------------------

TskTitleBarButton::TskTitleBarButton(TskTitleBar* bar) : bar_(bar) { LoadPictures(); }

void TskTitleBarButton::SetUIStyle(TskUIStyle style) {
  style_ = style;
  LoadPictures();
  bar_->Repaint();
}

void TskTitleBarButton::SetButtonType(TskTitleBarBtnType type) {
  if (type == B::skControlBox) {
    for (int i = 0; i < bar_->ButtonCount(); ++i) {
      TskTitleBarButton* b = bar_->Buttons(i);
      if (b != this && b->type_ == B::skControlBox) {
        forms::ShowMessage("Sorry, only one button's ButtonType property can be \"skControlBox\"");
        return;
      }
    }
  }
  type_ = type;
  LoadPictures();
  bar_->Repaint();
}
void TskTitleBarButton::SetTransparent(bool on) {
  transparent_ = on;
  bar_->Repaint();
}
void TskTitleBarButton::SetTop(int top) {
  top_ = top;
  bar_->Repaint();
}
void TskTitleBarButton::SetVisible(bool on) {
  visible_ = on;
  bar_->Repaint();
}

void TskTitleBarButton::LoadPictures() {
  // Three frames per type in the 18-frame strip.
  int first = 0;
  switch (type_) {
    case B::skControlBox: first = 1; break;
    case B::skHelp: first = 4; break;
    case B::skMax: {
      forms::TCustomForm* form = bar_->Form();
      first = form && form->WindowState() == forms::TWindowState::wsMaximized ? 10 : 7;
      break;
    }
    case B::skMin: first = 13; break;
    case B::skClose: first = 16; break;
    case B::skCustom: first = 0; break;
  }
  TBitmap strip;
  TskUIStyle effective = style_;
  if (TskFileTheme::ResolveStyle(bar_->FileTheme(), style_, &effective)) {
    if (TBitmap* b = bar_->FileTheme()->GetBitmap(skTitleButtons)) strip.Assign(*b);
  } else {
    LoadThemeBitmap(effective, tsTitleButtonsBitmap, &strip);
  }
  if (first == 0) {
    // A custom button keeps pictures its owner gives it.
    return;
  }
  ExtractFrame(strip, normal_, 18, first);
  ExtractFrame(strip, mouseOn_, 18, first + 1);
  ExtractFrame(strip, mouseDown_, 18, first + 2);
}

// ---- System menu -------------------------------------------------------------------

TskTitleBarPopupMenu::TskTitleBarPopupMenu(TskTitleBar* bar) : TskPopupMenu(bar) {
  AutoHotkeys = true;
  const char* captions[] = {"Mi&nimize", "Ma&ximize/Restore", "-", "&Close"};
  for (const char* c : captions) {
    auto* item = new forms::TMenuItem(nullptr);
    item->SetCaption(c);
    Items()->Add(item);
  }
  MinimizeItem()->OnClick = [bar](forms::TObject*) {
    for (int i = 0; i < bar->ButtonCount(); ++i) {
      if (bar->Buttons(i)->ButtonType() == B::skMin && bar->Buttons(i)->Visible()) {
        bar->ButtonAction(i);
        return;
      }
    }
  };
  MaximizeItem()->OnClick = [bar](forms::TObject*) {
    for (int i = 0; i < bar->ButtonCount(); ++i) {
      if (bar->Buttons(i)->ButtonType() == B::skMax && bar->Buttons(i)->Visible()) bar->ButtonAction(i);
    }
  };
  CloseItem()->OnClick = [bar](forms::TObject*) {
    if (forms::TCustomForm* f = forms::GetParentForm(bar)) f->Close();
  };
}

// ---- Bar ------------------------------------------------------------------------------

TskTitleBar::TskTitleBar(forms::TComponent* owner)
    : forms::TCustomPanel(owner), systemMenu_(new TskTitleBarPopupMenu(this)) {
  SetAlign(forms::TAlign::alTop);
  BevelOuter = forms::TBevelCut::bvNone;
  Font().SetName("Tahoma");
  Font().SetColor(forms::clWhite);
  Font().SetStyle(forms::fsBold);
  for (B type : {B::skControlBox, B::skClose, B::skMax, B::skMin}) AddButton()->SetButtonType(type);
  RegisterBuiltInBitmaps();
  appIcon_.LoadFromResourceName(nullptr, "MAINICON");
  SetUIStyle(GetOwnerFormUIStyle(owner));
}

TskTitleBar::~TskTitleBar() = default;

std::vector<std::string> TskTitleBar::PublishedProperties() const {
  return {"Name", "Tag", "Custom", "FileTheme", "UIStyle", "AutoSize", "Height", "Sections", "Buttons",
          "ButtonInterval", "Caption", "Font", "FormActive", "LeftBtnXOffset", "RightBtnXOffset", "DrawAppIcon",
          "RoundCorner", "RoundCornerBottom"};
}

TskTitleBarSection* TskTitleBar::AddSection() {
  sections_.push_back(std::make_unique<TskTitleBarSection>(this));
  Repaint();
  return sections_.back().get();
}
void TskTitleBar::ClearSections() {
  sections_.clear();
  Repaint();
}
TskTitleBarButton* TskTitleBar::AddButton() {
  buttons_.push_back(std::make_unique<TskTitleBarButton>(this));
  Repaint();
  return buttons_.back().get();
}
void TskTitleBar::DeleteButton(int index) {
  if (index < 0 || index >= ButtonCount()) return;
  buttons_.erase(buttons_.begin() + index);
  hot_ = -1;
  Repaint();
}

void TskTitleBar::SetUIStyle(TskUIStyle style) {
  style_ = style;
  if (Custom) return;
  sections_.clear();
  TskUIStyle effective = style;
  const bool file = TskFileTheme::ResolveStyle(fileTheme_, style, &effective);
  auto section = [this](TBitmap* picture, bool autoSize, TskTitleBarAlign align) {
    TskTitleBarSection* s = AddSection();
    if (picture) s->Picture().Assign(*picture);
    s->SetAutoSize(autoSize);
    s->SetAlign(align);
    return s;
  };
  if (file) {
    transColor_ = forms::ColorToPixel(fileTheme_->GetColor(0));
    auto bitmap = [this](int n) { return fileTheme_->GetBitmap(n); };
    auto width = [](TBitmap* b) { return b ? b->Width() : 0; };
    if (fileTheme_->GetBool(0) > 0) {
      section(bitmap(0), true, TskTitleBarAlign::skLeft);
      section(bitmap(1), false, TskTitleBarAlign::skLeft)->SetCapSec(true);
      section(bitmap(2), true, TskTitleBarAlign::skLeft);
      section(bitmap(3), false, TskTitleBarAlign::skClient);
      TskTitleBarSection* right = section(bitmap(4), true, TskTitleBarAlign::skRight);
      minWidth_ = width(bitmap(0)) + width(bitmap(2)) + right->Width() + 16;
    } else {
      section(bitmap(0), true, TskTitleBarAlign::skLeft);
      section(bitmap(1), false, TskTitleBarAlign::skClient);
      TskTitleBarSection* right = section(bitmap(2), true, TskTitleBarAlign::skRight);
      minWidth_ = width(bitmap(0)) + right->Width();
    }
    LeftBtnXOffset = fileTheme_->GetInt(0);
    RightBtnXOffset = fileTheme_->GetInt(3);
    buttonTop_ = fileTheme_->GetInt(4) - (OnSkForm() ? 3 : 0);
    backColor_ = fileTheme_->GetColor(skFormColor);
    for (auto& b : buttons_) {
      b->transparent_ = fileTheme_->GetBool(skTitleButtonTrans) > 0;
      b->top_ = fileTheme_->GetInt(4);
    }
  } else {
    TBitmap left, client, right;
    LoadThemeBitmap(effective, tsTitleLeftBitmap, &left);
    LoadThemeBitmap(effective, tsTitleClientBitmap, &client);
    LoadThemeBitmap(effective, tsTitleRightBitmap, &right);
    section(&left, true, TskTitleBarAlign::skLeft);
    section(&right, true, TskTitleBarAlign::skRight);
    section(&client, false, TskTitleBarAlign::skClient);
    transColor_ = 0xFF00FF;
    LeftBtnXOffset = GetThemeInt(effective, tsTitleLeftButtonOffset);
    RightBtnXOffset = GetThemeInt(effective, tsTitleRightButtonOffset);
    backColor_ = GetThemeColor(effective, tsBorderColor);
    buttonTop_ = GetThemeInt(effective, tsTitleButtonTop) - (OnSkForm() ? 3 : 0);
    minWidth_ = GetThemeInt(effective, tsFormMinWidth);
    minHeight_ = 50;
    RoundCorner = GetThemeInt(effective, tsRoundCorner);
    RoundCornerBottom = 0;
    for (auto& b : buttons_) {
      b->transparent_ = GetThemeBool(effective, tsTitleButtonTransparent) != 0;
      b->top_ = GetThemeInt(effective, tsTitleButtonTop);
    }
  }
  for (auto& b : buttons_) b->SetUIStyle(effective == TskUIStyle::FromThemeFile ? style : effective);
  systemMenu_->SetFileTheme(fileTheme_);
  systemMenu_->SetUIStyle(style);
  if (style == TskUIStyle::Pearl) {
    Font().SetColor(forms::clBlack);
  } else if (file) {
    Font().SetColor(fileTheme_->GetColor(1));
  } else {
    Font().SetColor(forms::clWhite);
  }
  SetAutoSize(true);
  Repaint();
}

void TskTitleBar::SetFileTheme(TskFileTheme* theme) {
  if (fileTheme_ && fileTheme_ != theme) fileTheme_->RemoveFreeNotification(this);
  fileTheme_ = theme;
  if (fileTheme_) fileTheme_->FreeNotification(this);
  SetUIStyle(style_);
}

void TskTitleBar::Notification(forms::TComponent* c, forms::TOperation op) {
  forms::TCustomPanel::Notification(c, op);
  if (op == forms::TOperation::opRemove && c == fileTheme_) {
    fileTheme_ = nullptr;
    SetUIStyle(TskUIStyle::Ocean);
  }
}

void TskTitleBar::SetAutoSize(bool on) {
  if (sections_.empty()) {
    autoSize_ = false;
    return;
  }
  autoSize_ = on;
  if (on && !sections_[0]->Picture().Empty()) SetHeight(sections_[0]->Picture().Height() - (OnSkForm() ? 3 : 0));
}

bool TskTitleBar::OnSkForm() const { return Parent() && Parent()->ClassName() == "TskForm"; }

int TskTitleBar::FormLeftBorder() const {
  forms::TCustomForm* form = Form();
  return form && OnSkForm() ? static_cast<int>(form->Perform(kLeftBorderQuery)) : 0;
}

void TskTitleBar::DrawSectionStrip(TBitmap& strip, int width) {
  const int h = Height() + (OnSkForm() ? 3 : 0);
  strip.SetSize(std::max(width, 0), std::max(h, 0));
  if (strip.Empty()) return;
  TCanvas& c = strip.Canvas();
  c.Brush().Style = forms::TBrushStyle::bsSolid;
  c.Brush().Color = backColor_;
  c.FillRect(forms::Rect(0, 0, strip.Width(), strip.Height()));
  c.Brush().Style = forms::TBrushStyle::bsClear;
  c.Font().Assign(Font());
  layoutWidth_ = strip.Width();
  layoutHeight_ = strip.Height();
  DrawSections(c);
  layoutWidth_ = layoutHeight_ = -1;
}
void TskTitleBar::SetButtonInterval(int v) {
  buttonInterval_ = v;
  Repaint();
}
void TskTitleBar::SetFormActive(bool on) {
  formActive_ = on;
  Repaint();
}
void TskTitleBar::SetDrawAppIcon(bool on) {
  drawAppIcon_ = on;
  Repaint();
}

void TskTitleBar::ButtonsChanged() { Repaint(); }

void TskTitleBar::UpdateSystemMenu() {
  auto visible = [this](B type) {
    for (auto& b : buttons_) {
      if (b->ButtonType() == type && b->Visible()) return true;
    }
    return false;
  };
  systemMenu_->MinimizeItem()->SetEnabled(visible(B::skMin));
  systemMenu_->MaximizeItem()->SetEnabled(visible(B::skMax));
  systemMenu_->CloseItem()->SetEnabled(visible(B::skClose));
}

TRect TskTitleBar::ButtonRect(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= buttonRects_.size()) return TRect{};
  return buttonRects_[static_cast<size_t>(index)];
}

int TskTitleBar::ButtonAt(int x, int y) const {
  for (size_t i = 0; i < buttonRects_.size(); ++i) {
    const TRect& r = buttonRects_[i];
    if (r.Width() > 0 && x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom) return static_cast<int>(i);
  }
  return -1;
}

void TskTitleBar::DrawSections(TCanvas& canvas) {
  const int w = layoutWidth_ >= 0 ? layoutWidth_ : Width(), h = layoutHeight_ >= 0 ? layoutHeight_ : Height();
  int left = 0, right = w;
  TskTitleBarSection* client = nullptr;
  const int leftWidth = sections_.empty() ? 0 : sections_[0]->Width();
  for (auto& sp : sections_) {
    TskTitleBarSection& s = *sp;
    TBitmap& pic = s.Picture();
    if (s.Align() == TskTitleBarAlign::skClient) {
      client = &s;
      continue;
    }
    int width = s.Width();
    if (s.CapSec()) width = std::max(canvas.TextWidth(Caption()) + LeftBtnXOffset + 17 - leftWidth, 0);
    if (s.Align() == TskTitleBarAlign::skLeft) {
      if (!pic.Empty()) {
        if (s.Stretch() || s.CapSec()) {
          canvas.DrawBitmapPart(forms::Bounds(left, 0, width, h), pic, forms::Rect(0, 0, pic.Width(), pic.Height()),
                                false, 0);
        } else {
          canvas.DrawBitmapPart(forms::Bounds(left, 0, pic.Width(), pic.Height()), pic,
                                forms::Rect(0, 0, pic.Width(), pic.Height()), false, 0);
        }
      }
      left += width;
    } else {
      right -= width;
      canvas.Brush().Style = forms::TBrushStyle::bsSolid;
      canvas.Brush().Color = backColor_;
      canvas.FillRect(forms::Bounds(right, 0, width, h));
      if (!pic.Empty()) {
        canvas.DrawBitmapPart(forms::Bounds(right, 0, pic.Width(), pic.Height()), pic,
                              forms::Rect(0, 0, pic.Width(), pic.Height()), true, transColor_);
      }
    }
  }
  if (client && !client->Picture().Empty() && right > left) {
    TBitmap& pic = client->Picture();
    canvas.DrawBitmapPart(forms::Rect(left, 0, right, h), pic, forms::Rect(0, 0, pic.Width(), pic.Height()), false, 0);
  }
}

void TskTitleBar::DrawButtonsAndCaption(TCanvas& canvas) {
  const int w = Width();
  buttonRects_.assign(buttons_.size(), TRect{});
  int x = w + FormLeftBorder() - RightBtnXOffset + 3;
  int leftmost = w;
  int controlBox = -1;
  for (size_t i = 0; i < buttons_.size(); ++i) {
    TskTitleBarButton& b = *buttons_[i];
    if (!b.Visible()) continue;
    if (b.ButtonType() == B::skControlBox) {
      controlBox = static_cast<int>(i);
      continue;
    }
    TBitmap& normal = b.PicNormal();
    x -= normal.Width() + buttonInterval_ + 1;
    const int bx = std::min(x, w - normal.Width());
    const bool hot = hot_ == static_cast<int>(i);
    TBitmap& pic = hot ? (pressed_ ? b.PicMouseDown() : b.PicMouseOn()) : normal;
    if (!pic.Empty()) {
      canvas.DrawBitmapPart(forms::Bounds(bx, buttonTop_, pic.Width(), pic.Height()), pic,
                            forms::Rect(0, 0, pic.Width(), pic.Height()), b.Transparent(), 0xFF00FF);
    }
    buttonRects_[i] = forms::Bounds(bx, buttonTop_, normal.Width(), normal.Height());
    leftmost = std::min(leftmost, bx);
  }
  // The left side: icon or control box, then the caption.
  int lx = std::max(LeftBtnXOffset - FormLeftBorder() - 3, 0);
  if (controlBox >= 0) {
    TskTitleBarButton& b = *buttons_[static_cast<size_t>(controlBox)];
    if (drawAppIcon_) {
      if (!appIcon_.Empty()) {
        canvas.DrawBitmapPart(forms::Bounds(lx + 3, buttonTop_, 16, 16), appIcon_,
                              forms::Rect(0, 0, appIcon_.Width(), appIcon_.Height()), false, 0);
      }
      buttonRects_[static_cast<size_t>(controlBox)] = forms::Bounds(lx + 3, buttonTop_, 16, 16);
      lx += 21;
    } else {
      TBitmap& pic = hot_ == controlBox ? (pressed_ ? b.PicMouseDown() : b.PicMouseOn()) : b.PicNormal();
      if (!pic.Empty()) {
        canvas.DrawBitmapPart(forms::Bounds(lx, buttonTop_ - 1, pic.Width(), pic.Height()), pic,
                              forms::Rect(0, 0, pic.Width(), pic.Height()), b.Transparent(), 0xFF00FF);
      }
      buttonRects_[static_cast<size_t>(controlBox)] =
          forms::Bounds(lx, buttonTop_ - 1, b.PicNormal().Width(), b.PicNormal().Height());
      lx += b.PicNormal().Width() + 5;
    }
  }
  if (lx == 0) lx = 6;
  canvas.Font().Assign(Font());
  if (!formActive_) canvas.Font().SetColor(forms::clInactiveCaption);
  const int room = leftmost - lx;
  std::string caption = Caption();
  if (canvas.TextWidth(caption) > room) {
    // Cut from the end; an empty caption ends the cutting.
    while (!caption.empty() && canvas.TextWidth(caption + "...") > room) caption.pop_back();
    caption += "...";
  }
  shownCaption_ = caption;
  canvas.Brush().Style = forms::TBrushStyle::bsClear;
  canvas.TextOut(lx, buttonTop_ + (style_ == TskUIStyle::Ember ? 3 : 0), caption);
}

void TskTitleBar::Paint() {
  if (Width() <= 0 || Height() <= 0) return;
  offscreen_.SetSize(Width(), Height());
  TCanvas& c = offscreen_.Canvas();
  c.Brush().Style = forms::TBrushStyle::bsSolid;
  c.Brush().Color = backColor_;
  c.FillRect(forms::Rect(0, 0, Width(), Height()));
  c.Brush().Style = forms::TBrushStyle::bsClear;
  c.Font().Assign(Font());
  if (forms::TCustomForm* form = Form(); form && OnSkForm()) {
    // Laid out over the whole window, 3 pixels higher and moved by the bar's
    // place in the window, so that the form's frame continues the pictures.
    const forms::TPoint at = ClientToScreen(forms::Point(0, 0));
    RECT window{};
    GetWindowRect(form->Handle(), &window);
    const int shift = at.X - window.left;
    DrawSectionStrip(strip_, window.right - window.left);
    c.DrawBitmapPart(ClientRect(), strip_, forms::Bounds(shift, 3, Width(), Height()), false, 0);
    c.Font().Assign(Font());
  } else {
    DrawSections(c);
  }
  DrawButtonsAndCaption(c);
  Canvas().CopyRect(ClientRect(), c, ClientRect());
}

void TskTitleBar::ButtonAction(int index) {
  if (index < 0 || index >= ButtonCount()) return;
  forms::TCustomForm* form = Form();
  TskTitleBarButton& b = *buttons_[static_cast<size_t>(index)];
  switch (b.ButtonType()) {
    case B::skMax:
      if (!form) break;
      if (form->WindowState() == forms::TWindowState::wsMaximized) {
        form->SetWindowState(forms::TWindowState::wsNormal);
      } else {
        form->SetWindowState(forms::TWindowState::wsMaximized);
        // A bare form covers its frame's edges too (a themed form fits
        // itself on its size message).
        if (!OnSkForm()) {
          const TRect work = forms::Screen->WorkAreaRect();
          form->SetBounds(work.Left - 2, work.Top - 2, work.Width() + 4, work.Height() + 1);
        }
      }
      for (auto& each : buttons_) {
        if (each->ButtonType() == B::skMax) each->LoadPictures();
      }
      break;
    case B::skMin:
      // The main form minimises the application (its system command),
      // another form itself.
      if (form && form == forms::Application->MainForm()) {
        form->Perform(WM_SYSCOMMAND, forms::SC_MINIMIZE, 0);
      } else if (form) {
        form->SetWindowState(forms::TWindowState::wsMinimized);
      }
      break;
    case B::skClose:
      if (form) form->Close();
      break;
    case B::skControlBox:
      if (b.ControlBoxMenu) {
        forms::TPoint p = ClientToScreen(forms::Point(0, Height()));
        b.ControlBoxMenu->Popup(std::max(p.X, 0), p.Y);
      }
      break;
    default:
      break;
  }
  Repaint();
}

void TskTitleBar::MouseDown(forms::TMouseButton button, forms::TShiftState shift, int x, int y) {
  forms::TCustomPanel::MouseDown(button, shift, x, y);
  if (button != forms::TMouseButton::mbLeft) return;
  pressed_ = true;
  hot_ = ButtonAt(x, y);
  Repaint();
  forms::TCustomForm* form = Form();
  if (hot_ < 0 && form && form->WindowState() != forms::TWindowState::wsMaximized && !(shift & forms::ssDouble)) {
    ReleaseCapture();
    pressed_ = false;
    const forms::TPoint at = ClientToScreen(forms::Point(x, y));
    form->Perform(WM_NCLBUTTONDOWN, HTCAPTION,
                  MAKELPARAM(static_cast<uintptr_t>(at.X) & 0xFFFF, static_cast<uintptr_t>(at.Y) & 0xFFFF));
  }
}

void TskTitleBar::MouseMove(forms::TShiftState shift, int x, int y) {
  forms::TCustomPanel::MouseMove(shift, x, y);
  const int hot = ButtonAt(x, y);
  if (hot != hot_) {
    hot_ = hot;
    Repaint();
  }
}

void TskTitleBar::MouseUp(forms::TMouseButton button, forms::TShiftState shift, int x, int y) {
  forms::TCustomPanel::MouseUp(button, shift, x, y);
  if (button != forms::TMouseButton::mbLeft) return;
  const int index = ButtonAt(x, y);
  const bool wasPressed = pressed_;
  pressed_ = false;
  if (wasPressed && index >= 0) {
    TskTitleBarButton& b = *buttons_[static_cast<size_t>(index)];
    if (b.ButtonType() == B::skControlBox && !b.ControlBoxMenu) {
      UpdateSystemMenu();
      forms::TPoint p = ClientToScreen(forms::Point(0, Height()));
      systemMenu_->Popup(p.X, p.Y);
    } else {
      const B type = b.ButtonType();
      ButtonAction(index);
      if (type == B::skCustom && OnCustomBtnsClick) OnCustomBtnsClick(this, index);
      if (type == B::skHelp && OnHelpBtnClick) OnHelpBtnClick(this, index);
    }
  }
  Repaint();
}

void TskTitleBar::MouseLeave() {
  hot_ = -1;
  Repaint();
}

void TskTitleBar::DblClick() {
  forms::TCustomPanel::DblClick();
  forms::TPoint p{};
  GetCursorPos(reinterpret_cast<POINT*>(&p));
  const forms::TPoint local = ScreenToClient(p);
  const int index = ButtonAt(local.X, local.Y);
  if (index >= 0 && buttons_[static_cast<size_t>(index)]->ButtonType() == B::skControlBox) {
    if (forms::TCustomForm* form = Form()) form->Close();
    return;
  }
  for (int i = 0; i < ButtonCount(); ++i) {
    if (buttons_[static_cast<size_t>(i)]->ButtonType() == B::skMax && buttons_[static_cast<size_t>(i)]->Visible()) {
      ButtonAction(i);
      return;
    }
  }
}

}  // namespace skin
