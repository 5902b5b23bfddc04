#include "launcher/skin/sk_form.h"

#include <algorithm>
#include <cstring>

#include "launcher/skin/sk_public.h"
#include "platform/win32/dc.h"
#include "platform/win32/win32.h"

namespace skin {

using forms::TBitmap;
using forms::TCanvas;
using forms::TColor;
using forms::TRect;

namespace {

constexpr DWORD kCaptionBits = WS_CAPTION | WS_DLGFRAME;
// The panel's content starts this far inside the client area on every side;
// the frame drawing fills the margin.
constexpr int kMargin = 3;

void FillRect(TCanvas& c, TColor color, const TRect& r) {
  c.Brush().Style = forms::TBrushStyle::bsSolid;
  c.Brush().Bitmap = nullptr;
  c.Brush().Color = color;
  c.FillRect(r);
}

// The file bitmap, or an empty picture when the skin lacks it.
const TBitmap& FileBitmap(const TskFileTheme* theme, int index) {
  static const TBitmap empty;
  const TBitmap* b = theme ? theme->GetBitmap(index) : nullptr;
  return b ? *b : empty;
}

// One-row rectangles over every run of pixels that are not `key`, for the
// rows of `bitmap` from `minY` to `maxY`; the rows above and below whole.
// The limits come from the skin: they are kept inside the bitmap's rows.
void RegionRows(const TBitmap& bitmap, int minY, int maxY, uint32_t key, int top, std::vector<RECT>& out) {
  const int w = bitmap.Width(), h = bitmap.Height();
  if (w <= 0 || h <= 0) return;
  int first = std::clamp(minY < 0 ? 0 : minY, 0, h);
  int last = first < maxY ? std::min(maxY, h - 1) : h - 1;
  if (first >= 1) out.push_back(RECT{0, top, w, top + first});
  key &= 0xFFFFFF;
  for (int y = first; y <= last; ++y) {
    const uint32_t* row = bitmap.Bits() + static_cast<size_t>(y) * static_cast<size_t>(w);
    int x = 0;
    while (x < w) {
      while (x < w && (row[x] & 0xFFFFFF) == key) ++x;
      const int start = x;
      while (x < w && (row[x] & 0xFFFFFF) != key) ++x;
      if (x > start) out.push_back(RECT{start, top + y, x, top + y + 1});
    }
  }
  if (last + 1 < h) out.push_back(RECT{0, top + last + 1, w, top + h});
}

HRGN RegionFromRects(const std::vector<RECT>& rects) {
  std::vector<uint8_t> block(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
  RGNDATAHEADER h{sizeof(RGNDATAHEADER), RDH_RECTANGLES, static_cast<DWORD>(rects.size()),
                  static_cast<DWORD>(rects.size() * sizeof(RECT)), RECT{0, 0, 0, 0}};
  std::memcpy(block.data(), &h, sizeof h);
  if (!rects.empty()) std::memcpy(block.data() + sizeof h, rects.data(), rects.size() * sizeof(RECT));
  return ExtCreateRegion(nullptr, static_cast<DWORD>(block.size()), reinterpret_cast<const RGNDATA*>(block.data()));
}

}  // namespace

// ---- Menu bar --------------------------------------------------------------------------------

TskMenuBar::TskMenuBar(forms::TComponent* owner, TskForm* form) : forms::TToolBar(owner), form_(form) {}

void TskMenuBar::DropDownMenuCreated(forms::TPopupMenu* menu) {
  // The drop-down takes the automatic hotkeys of the form's menu each time.
  menu->OnPopup = [this, menu](forms::TObject*) {
    if (form_->Menu()) menu->AutoHotkeys = form_->Menu()->AutoHotkeys;
  };
}

// ---- Construction ------------------------------------------------------------------------------

TskForm::TskForm(forms::TComponent* owner) : forms::TCustomPanel(owner) {
  auto* form = dynamic_cast<forms::TCustomForm*>(owner);
  if (form) {
    for (int i = 0; i < form->ControlCount(); ++i) {
      if (form->Controls(i)->ClassName() == "TskForm") {
        // Refused: this one stays an inert panel that touches nothing.
        forms::ShowMessage("Sorry, You can create only one TskForm component in one form!");
        titleBar_ = new TskTitleBar(this);
        return;
      }
    }
  }
  form_ = form;
  titleBar_ = new TskTitleBar(this);
  if (!form_) return;
  form_->BorderWidth = 0;
  savedBounds_ = form_->BoundsRect();
  createdMaximized_ = form_->WindowState() == forms::TWindowState::wsMaximized;
  BevelOuter = forms::TBevelCut::bvNone;
  SetParent(form_);
  titleBar_->SetParent(this);
  menuBarColor_ = Color();
  SetAlign(forms::TAlign::alClient);
  titleBar_->SetCaption(form_->Caption());
  SetCaption(" ");
  form_->Scaled = false;
  oldBorderStyle_ = form_->BorderStyle;
  using BS = forms::TFormBorderStyle;
  if (oldBorderStyle_ == BS::bsNone || oldBorderStyle_ == BS::bsSingle || oldBorderStyle_ == BS::bsToolWindow) {
    form_->BorderStyle = BS::bsDialog;
  }
  HWND hwnd = form_->Handle();
  SetWindowLongPtrA(hwnd, GWL_STYLE, GetWindowLongPtrA(hwnd, GWL_STYLE) & ~static_cast<LONG_PTR>(kCaptionBits));
  form_->AutoScroll = false;
  previousProc_ = form_->WindowProc;
  form_->WindowProc = [this](forms::TMessage& m) { HookWndProc(m); };
  appEvents_ = std::make_unique<forms::TApplicationEvents>(nullptr);
  appEvents_->OnMessage = [this](MSG& msg, bool& handled) { AppMessage(msg, handled); };
  SetUIStyle(TskUIStyle::Ocean);
  RefreshFrame();
}

TskForm::~TskForm() {
  destroying_ = true;
  appEvents_.reset();
  if (auto* mm = dynamic_cast<TskMainMenu*>(menu_); mm && mm->Form() == this) {
    mm->SetForm(nullptr);
    mm->OnBarChange = nullptr;
    mm->OnFontChange = nullptr;
  }
  if (menu_) menu_->RemoveFreeNotification(this);
  if (fileTheme_) fileTheme_->RemoveFreeNotification(this);
  if (form_ && !(form_->ComponentState() & forms::csDestroying)) {
    // Removed from a living form: it gets its caption and procedure back.
    form_->WindowProc = previousProc_;
    if (form_->HandleAllocated()) {
      HWND hwnd = form_->Handle();
      SetWindowLongPtrA(hwnd, GWL_STYLE, GetWindowLongPtrA(hwnd, GWL_STYLE) | static_cast<LONG_PTR>(kCaptionBits));
      SetWindowRgn(hwnd, nullptr, TRUE);
      RefreshFrame();
    }
  } else if (form_) {
    form_->WindowProc = previousProc_;
  }
}

std::vector<std::string> TskForm::PublishedProperties() const {
  return {"Name", "Tag", "TitleBarCustom", "FileTheme", "UIStyle", "UIStyleAutoUpdateSub", "BorderColor",
          "BorderWidth", "Color", "Caption", "FormPanel", "TitleBarButtons", "TitleBarSections", "TitleBarDrawAppIcon",
          "Font", "Menu", "MenuBarColor", "MenuBarHeight", "RoundCorner", "RoundCornerBottom", "Version",
          "OnTitleBarCustomBtnsClick", "OnTitleBarHelpBtnClick", "OnClick"};
}

bool TskForm::SetPublishedProperty(const std::string& name, const forms::TPropValue& v) {
  if (name == "UIStyle" && std::holds_alternative<int64_t>(v)) {
    SetUIStyle(static_cast<TskUIStyle>(std::get<int64_t>(v)));
    return true;
  }
  if (name == "FileTheme" && std::holds_alternative<forms::TPersistent*>(v)) {
    SetFileTheme(dynamic_cast<TskFileTheme*>(std::get<forms::TPersistent*>(v)));
    return true;
  }
  return forms::TCustomPanel::SetPublishedProperty(name, v);
}

bool TskForm::GetPublishedProperty(const std::string& name, forms::TPropValue* v) const {
  if (name == "UIStyle") {
    *v = static_cast<int64_t>(style_);
    return true;
  }
  if (name == "FileTheme") {
    *v = static_cast<forms::TPersistent*>(fileTheme_);
    return true;
  }
  return forms::TCustomPanel::GetPublishedProperty(name, v);
}

// ---- Properties ------------------------------------------------------------------------------

bool TskForm::FileThemeInUse() const {
  TskUIStyle effective = style_;
  return TskFileTheme::ResolveStyle(fileTheme_, style_, &effective);
}

void TskForm::SetUIStyle(TskUIStyle style) {
  style_ = style;
  if (!form_) return;
  TskUIStyle effective = style;
  if (TskFileTheme::ResolveStyle(fileTheme_, style, &effective)) {
    SetColor(fileTheme_->GetColor(skFormColor));
    menuBarColor_ = fileTheme_->GetColor(3);  // SKIN2_MENUBARSTARTCOLOR
    leftWidth_ = FileBitmap(fileTheme_, 5).Width();
    rightWidth_ = FileBitmap(fileTheme_, 6).Width();
    bottomHeight_ = FileBitmap(fileTheme_, 7).Height();
    transColor_ = forms::ColorToPixel(fileTheme_->GetColor(0));
    titleNeedsRegion_ = fileTheme_->GetBool(2) > 0;
    bottomNeedsRegion_ = fileTheme_->GetBool(3) > 0;
    titleMinY_ = fileTheme_->GetInt(5);
    titleMaxY_ = fileTheme_->GetInt(6);
    bottomMinY_ = fileTheme_->GetInt(7);
    bottomMaxY_ = fileTheme_->GetInt(8);
  } else {
    titleBar_->RoundCornerBottom = 0;
    leftWidth_ = rightWidth_ = bottomHeight_ = 0;
    transColor_ = 0xFF00FF;
    titleNeedsRegion_ = bottomNeedsRegion_ = false;
    borderColor_ = GetThemeColor(effective, tsBorderColor);
    borderWidth_ = GetThemeInt(effective, tsBorderWidth);
    SetColor(GetThemeColor(effective, tsFormColor));
    menuBarColor_ = Color();
  }
  titleBar_->SetFileTheme(fileTheme_);
  titleBar_->SetUIStyle(style);
  if (!FileThemeInUse()) titleBar_->RoundCorner = GetThemeInt(effective, tsRoundCorner);
  if (auto* mm = dynamic_cast<TskMainMenu*>(menu_)) {
    mm->SetFileTheme(fileTheme_);
    mm->SetUIStyle(style);
  }
  if (menuBar_) menuBar_->SetColor(menuBarColor_);
  if (UIStyleAutoUpdateSub) ApplyThemeToChildren(this, style, fileTheme_);
  RefreshFrame();
  Invalidate();
  DrawFrame();
  UpdateRegion();
  form_->Constraints.MinHeight = titleBar_->Height() + menuBarHeight_ + bottomHeight_ + 3;
}

void TskForm::SetFileTheme(TskFileTheme* theme) {
  if (fileTheme_ && fileTheme_ != theme) fileTheme_->RemoveFreeNotification(this);
  fileTheme_ = theme;
  if (fileTheme_) fileTheme_->FreeNotification(this);
  SetUIStyle(style_);
}

void TskForm::Notification(forms::TComponent* c, forms::TOperation op) {
  forms::TCustomPanel::Notification(c, op);
  if (op != forms::TOperation::opRemove || destroying_) return;
  if (c == fileTheme_) {
    fileTheme_ = nullptr;
    ApplyThemeToChildren(this, TskUIStyle::Ocean, nullptr);
    SetUIStyle(TskUIStyle::Ocean);
  }
  if (c == menu_) {
    menu_ = nullptr;
    FreeMenuBar();
  }
  if (c == formPanel_) formPanel_ = nullptr;
}

void TskForm::SetBorderColor(TColor color) {
  borderColor_ = color;
  DrawFrame();
}

void TskForm::SetBorderWidth(int width) {
  borderWidth_ = width;
  RefreshFrame();
  DrawFrame();
}

void TskForm::SetCaption(const std::string& caption) {
  titleBar_->SetCaption(caption);
  if (form_) form_->SetCaption(caption);
}

void TskForm::SetFormPanel(forms::TWinControl* panel) {
  if (panel == this) {
    forms::ShowMessage("Sorry, you can't select the Form assign to FormPanel property");
    return;
  }
  if (formPanel_) formPanel_->RemoveFreeNotification(this);
  formPanel_ = panel;
  if (!panel) return;
  panel->FreeNotification(this);
  panel->SetAlign(forms::TAlign::alClient);
  if (auto* plain = dynamic_cast<forms::TPanel*>(panel)) {
    plain->BevelOuter = forms::TBevelCut::bvNone;
    plain->SetCaption("");
  }
}

void TskForm::SetMenuBarColor(TColor color) {
  menuBarColor_ = color;
  if (menuBar_) menuBar_->SetColor(color);
}

void TskForm::SetMenuBarHeight(int height) {
  menuBarHeight_ = height;
  if (!menuBar_) return;
  menuBar_->SetHeight(height);
  menuBar_->SetButtonHeight(height);
}

void TskForm::SetRoundCorner(int v) {
  titleBar_->RoundCorner = v;
  UpdateRegion();
}

void TskForm::SetRoundCornerBottom(int v) {
  titleBar_->RoundCornerBottom = v;
  UpdateRegion();
}

void TskForm::SetTitleBarVisible(bool on) {
  userTitleVisible_ = on;
  titleBar_->SetVisible(on);
  DrawFrame();
}

// ---- Menu bar ----------------------------------------------------------------------------------

void TskForm::SetMenu(forms::TMainMenu* menu) {
  if (menu == menu_) return;
  if (auto* old = dynamic_cast<TskMainMenu*>(menu_)) {
    old->SetForm(nullptr);
    old->OnBarChange = nullptr;
    old->OnFontChange = nullptr;
  }
  if (menu_) menu_->RemoveFreeNotification(this);
  menu_ = menu;
  if (!menu_) {
    FreeMenuBar();
    return;
  }
  menu_->FreeNotification(this);
  if (auto* mm = dynamic_cast<TskMainMenu*>(menu_)) {
    mm->SetForm(this);
    mm->OnBarChange = [this](bool rebuild) { rebuild ? RebuildMenuBar() : RefreshMenuBar(); };
    mm->OnFontChange = [this] { MenuBarFont(); };
  }
  CreateMenuBar();
  RebuildMenuBar();
}

void TskForm::CreateMenuBar() {
  if (menuBar_ || !form_) return;
  menuBar_ = new TskMenuBar(this, this);
  menuBar_->Flat = true;
  menuBar_->ShowCaptions = true;
  menuBar_->Wrapable = true;
  menuBar_->AutoSize = true;
  menuBar_->SetButtonHeight(menuBarHeight_);
  menuBar_->SetHeight(menuBarHeight_);
  menuBar_->SetColor(menuBarColor_);
  menuBar_->SetParent(this);
  menuBar_->OnCustomDraw = [this](forms::TToolBar* bar, const TRect& r, bool& d) { DrawMenuBarBackground(bar, r, d); };
  menuBar_->OnCustomDrawButton = [this](forms::TToolBar* bar, forms::TToolButton* b, forms::TCustomDrawState s,
                                        bool& d) { DrawMenuBarButton(bar, b, s, d); };
  // The title bar stays at the top, the menu bar under it.
  Realign();
}

void TskForm::FreeMenuBar() {
  delete menuBar_;
  menuBar_ = nullptr;
  Realign();
}

void TskForm::MenuBarFont() {
  if (!menuBar_ || !menu_) return;
  if (auto* mm = dynamic_cast<TskMainMenu*>(menu_)) {
    forms::TFont font;
    SkMenuFont(mm->Look(), font);
    menuBar_->SetFont(font);
  }
}

void TskForm::RebuildMenuBar() {
  if (!menuBar_ || !menu_) return;
  while (menuBar_->ButtonCount() > 0) delete menuBar_->Buttons(menuBar_->ButtonCount() - 1);
  MenuBarFont();
  forms::TMenuItem* root = menu_->Items();
  for (int i = 0; i < root->Count(); ++i) {
    auto* b = new forms::TToolButton(menuBar_);
    b->Grouped = true;
    b->AutoSize = true;
    b->SetMenuItem(root->Items(i));
    b->SetVisible(root->Items(i)->Visible());
    menuBar_->AddButton(b);
  }
  menuBar_->ArrangeButtons();
}

void TskForm::RefreshMenuBar() {
  if (!menuBar_) return;
  for (int i = 0; i < menuBar_->ButtonCount(); ++i) menuBar_->Buttons(i)->UpdateFromItem();
  MenuBarFont();
  menuBar_->Invalidate();
}

void TskForm::DrawMenuBarBackground(forms::TToolBar* bar, const TRect& rect, bool& defaultDraw) {
  TskUIStyle style = style_;
  if (auto* mm = dynamic_cast<TskMainMenu*>(menu_)) style = mm->UIStyle();
  if (style != TskUIStyle::Pearl) return;  // the bar's colour
  TBitmap& pic = menuBarPicture_;
  if (pic.Empty()) pic.LoadFromResourceName(nullptr, "PEARL_MENU_BAR");
  bar->DrawCanvas().DrawBitmapPart(rect, pic, forms::Rect(0, 0, pic.Width(), pic.Height()), false, 0);
  defaultDraw = false;
}

void TskForm::DrawMenuBarButton(forms::TToolBar* bar, forms::TToolButton* button, forms::TCustomDrawState state,
                                bool& defaultDraw) {
  defaultDraw = false;
  TskUIStyle style = style_;
  TskFileTheme* theme = fileTheme_;
  if (auto* mm = dynamic_cast<TskMainMenu*>(menu_)) {
    style = mm->UIStyle();
    theme = mm->FileTheme();
  }
  TskUIStyle effective = style;
  const bool file = TskFileTheme::ResolveStyle(theme, style, &effective);
  TCanvas& c = bar->DrawCanvas();
  c.Font().Assign(bar->Font());
  TRect r = button->BoundsRect();
  const bool pressed = state & forms::cdsSelected;
  const bool lit = pressed || (state & forms::cdsHot);
  const std::string caption = button->Caption();
  auto text = [&](TColor colour, TRect at) {
    c.Font().SetColor(colour);
    c.Brush().Style = forms::TBrushStyle::bsClear;
    at.Top += 2;
    at.Bottom += 2;
    c.DrawText(caption, at, forms::DT_CENTER | forms::DT_VCENTER | forms::DT_SINGLELINE);
  };
  if (lit && effective == TskUIStyle::Pearl && !file) {
    TBitmap& pic = menuSelectPicture_;
    if (pic.Empty()) pic.LoadFromResourceName(nullptr, "PEARL_MENU_SELECT");
    c.DrawBitmapPart(r, pic, forms::Rect(0, 0, pic.Width(), pic.Height()), false, 0);
    text(GetThemeColor(TskUIStyle::Pearl, tsMenuSelectedFontColor), r);
    return;
  }
  if (lit) {
    const TColor fill = file ? theme->GetColor(5) : GetThemeColor(effective, tsMenuSelectedColor);
    const TColor frame = file ? theme->GetColor(6) : GetThemeColor(effective, tsMenuSelectedBorderColor);
    const TColor font = file ? theme->GetColor(7) : GetThemeColor(effective, tsMenuSelectedFontColor);
    TRect box = r;
    TRect at = r;
    if (pressed) {
      box.Right -= 2;
      at.Left += 2;
      at.Right += 2;
    }
    FillRect(c, fill, box);
    c.Brush().Color = frame;
    c.FrameRect(box);
    text(font, at);
    return;
  }
  TColor font = file ? theme->GetColor(8) : GetThemeColor(effective, tsMenuFontColor);
  if (!button->Enabled()) font = 0x808080;
  text(font, r);
}

// ---- Painting and the frame -----------------------------------------------------------------------

void TskForm::AdjustClientRect(TRect& rect) const {
  rect = forms::Rect(rect.Left + kMargin, rect.Top + kMargin, rect.Right - kMargin, rect.Bottom - kMargin);
  if (rect.Right < rect.Left) rect.Right = rect.Left;
  if (rect.Bottom < rect.Top) rect.Bottom = rect.Top;
}

void TskForm::Paint() {
  TCanvas& c = Canvas();
  if (!FileThemeInUse() && (style_ == TskUIStyle::Pearl || style_ == TskUIStyle::Ember)) {
    // The pattern through an off-screen bitmap, tiled from the panel's origin.
    if (patternStyle_ != style_) {
      pattern_.LoadFromResourceName(nullptr, style_ == TskUIStyle::Pearl ? "PEARL_FORM_BACKGROUND" : "EMBER_FORM_BACKGROUND");
      patternStyle_ = style_;
    }
    TBitmap& pattern = pattern_;
    background_.SetSize(Width(), Height());
    if (!background_.Empty()) {
      TCanvas& bc = background_.Canvas();
      bc.Brush().Style = forms::TBrushStyle::bsSolid;
      bc.Brush().Color = Color();
      bc.Brush().Bitmap = pattern.Empty() ? nullptr : &pattern;
      bc.FillRect(ClientRect());
      bc.Brush().Bitmap = nullptr;
      c.CopyRect(ClientRect(), bc, ClientRect());
    }
  } else {
    FillRect(c, Color(), ClientRect());
  }
  titleBar_->Repaint();
  DrawFrame();
}

void TskForm::TitleStrip(int width) { titleBar_->DrawSectionStrip(titleStrip_, width); }

void TskForm::ComposeBottom(int width) {
  const TBitmap& b1 = FileBitmap(fileTheme_, 7);
  bottomBitmap_.SetSize(std::max(width, 0), b1.Height());
  if (bottomBitmap_.Empty()) return;
  TCanvas& c = bottomBitmap_.Canvas();
  const TRect all = forms::Rect(0, 0, bottomBitmap_.Width(), bottomBitmap_.Height());
  // The pieces keep their see-through colour: the region is cut from it,
  // and the frame draws the bitmap masked over the form colour.
  FillRect(c, forms::PixelToColor(transColor_), all);
  if (fileTheme_->GetBool(1) > 0) {  // SKIN2_BOTTOMBORDERTHREESECT
    const TBitmap& b2 = FileBitmap(fileTheme_, 8);
    const TBitmap& b3 = FileBitmap(fileTheme_, 9);
    const int left = std::min(b1.Width(), width), right = std::min(b3.Width(), width - left);
    c.DrawBitmapPart(forms::Bounds(0, 0, left, b1.Height()), b1, forms::Rect(0, 0, left, b1.Height()), false, 0);
    if (width - left - right > 0) {
      c.DrawBitmapPart(forms::Rect(left, 0, width - right, b1.Height()), b2,
                       forms::Rect(0, 0, b2.Width(), b2.Height()), false, 0);
    }
    c.DrawBitmapPart(forms::Bounds(width - right, 0, right, b1.Height()), b3,
                     forms::Rect(b3.Width() - right, 0, b3.Width(), b3.Height()), false, 0);
  } else {
    TBitmap copy;
    copy.Assign(b1);
    DrawThreePartHorizontal(copy, c, all, forms::PixelToColor(transColor_), false);
  }
}

void TskForm::DrawFrame() {
  if (!form_ || destroying_ || !form_->HandleAllocated()) return;
  HWND hwnd = form_->Handle();
  RECT wr;
  GetWindowRect(hwnd, &wr);
  const int W = wr.right - wr.left, H = wr.bottom - wr.top;
  if (W <= 0 || H <= 0) return;
  HDC dc = GetWindowDC(hwnd);
  if (!dc) return;
  TCanvas c;
  c.SetHandle(dc);
  const bool titleShown = titleBar_->Visible();
  // The title bar's place in the window: the frame fills the strip above
  // and beside it.
  const int side = FileThemeInUse() ? std::max(leftWidth_, 4) : kMargin;
  const int barBottom = titleShown ? kMargin + titleBar_->Height() : kMargin;
  const int menuTop = barBottom, menuBottom = menuBar_ && menuBar_->Visible() ? barBottom + menuBar_->Height() : barBottom;
  if (titleShown && titleBar_->SectionCount() > 0) {
    TitleStrip(W);
    const int h = titleStrip_.Height();
    c.DrawBitmapPart(forms::Rect(0, 0, W, std::min(kMargin, h)), titleStrip_, forms::Rect(0, 0, W, std::min(kMargin, h)),
                     false, 0);
    c.DrawBitmapPart(forms::Rect(0, kMargin, side, h), titleStrip_, forms::Rect(0, kMargin, side, h), false, 0);
    c.DrawBitmapPart(forms::Rect(W - side, kMargin, W, h), titleStrip_, forms::Rect(W - side, kMargin, W, h), false, 0);
  }
  if (!FileThemeInUse()) {
    if (titleShown && titleBar_->SectionCount() > 0 && style_ == TskUIStyle::Glacier && borderWidth_ == 1 &&
        titleBar_->RoundCorner == 11) {
      c.Pen().Color = borderColor_;
      c.Arc(0, 0, 11, 11, 6, 0, 0, 6);
      c.Arc(W - 11, 0, W, 11, W, 6, W - 6, 0);
    }
    if (!titleShown) {
      FillRect(c, borderColor_, forms::Rect(0, 0, W, 1));
      FillRect(c, Color(), forms::Rect(0, 1, W, 4));
    }
    const int top = titleShown ? barBottom : 0;
    const int bw = std::max(borderWidth_, 0);
    FillRect(c, borderColor_, forms::Rect(0, top, bw, H));
    FillRect(c, borderColor_, forms::Rect(W - bw, top, W, H));
    FillRect(c, borderColor_, forms::Rect(0, H - bw, W, H));
    if (bw < 4) {
      // The margin between the bands and the content.
      RECT cr;
      GetClientRect(hwnd, &cr);
      const int contentBottom = cr.bottom - kMargin;
      FillRect(c, Color(), forms::Rect(bw, top, kMargin, H - bw));
      FillRect(c, Color(), forms::Rect(W - kMargin, top, W - bw, H - bw));
      FillRect(c, Color(), forms::Rect(bw, std::min(contentBottom, H - bw), W - bw, H - bw));
      if (menuBottom > menuTop) {
        FillRect(c, menuBarColor_, forms::Rect(bw, menuTop, kMargin, menuBottom));
        FillRect(c, menuBarColor_, forms::Rect(W - kMargin, menuTop, W - bw, menuBottom));
      }
    }
  } else {
    const TBitmap& left = FileBitmap(fileTheme_, 5);
    const TBitmap& right = FileBitmap(fileTheme_, 6);
    const int top = titleShown ? barBottom : 0;
    const int bottom = H - bottomHeight_;
    const TColor formColor = fileTheme_->GetColor(skFormColor);
    const int lw = std::max(leftWidth_, 4), rw = std::max(rightWidth_, 4);
    if (leftWidth_ < 4) FillRect(c, formColor, forms::Rect(0, top, lw, bottom));
    if (rightWidth_ < 4) FillRect(c, formColor, forms::Rect(W - rw, top, W, bottom));
    if (menuBottom > menuTop) {
      if (leftWidth_ < 4) FillRect(c, menuBarColor_, forms::Rect(leftWidth_, menuTop, lw, menuBottom));
      if (rightWidth_ < 4) FillRect(c, menuBarColor_, forms::Rect(W - rw, menuTop, W - rightWidth_, menuBottom));
    }
    if (!left.Empty()) {
      c.DrawBitmapPart(forms::Rect(0, top, leftWidth_, bottom), left, forms::Rect(0, 0, left.Width(), left.Height()),
                       false, 0);
    }
    if (!right.Empty()) {
      c.DrawBitmapPart(forms::Rect(W - rightWidth_, top, W, bottom), right,
                       forms::Rect(0, 0, right.Width(), right.Height()), false, 0);
    }
    ComposeBottom(W);
    if (!bottomBitmap_.Empty()) {
      if (bottomNeedsRegion_) FillRect(c, formColor, forms::Rect(0, bottom, W, H));
      c.DrawBitmapPart(forms::Rect(0, bottom, W, H), bottomBitmap_,
                       forms::Rect(0, 0, bottomBitmap_.Width(), bottomBitmap_.Height()), bottomNeedsRegion_, transColor_);
    }
    if (bottomHeight_ < 4) FillRect(c, formColor, forms::Rect(lw, H - 4, W - rw, bottom));
  }
  c.SetHandle(nullptr);
  ReleaseDC(hwnd, dc);
}

void TskForm::UpdateRegion() {
  if (!form_ || destroying_ || !form_->HandleAllocated()) return;
  HWND hwnd = form_->Handle();
  RECT wr;
  GetWindowRect(hwnd, &wr);
  const int W = wr.right - wr.left, H = wr.bottom - wr.top;
  if (!FileThemeInUse()) {
    const int half = H / 2;
    const int rc = titleBar_->RoundCorner;
    const int rcb = std::max(titleBar_->RoundCornerBottom, 0);  // -1 counts as 0
    HRGN upper = CreateRoundRectRgn(0, 0, W, H, rc, rc);
    HRGN upperHalf = CreateRectRgn(0, 0, W, half);
    CombineRgn(upper, upper, upperHalf, RGN_AND);
    HRGN lower = CreateRoundRectRgn(0, 0, W, H, rcb, rcb);
    HRGN lowerHalf = CreateRectRgn(0, half, W, H);
    CombineRgn(lower, lower, lowerHalf, RGN_AND);
    CombineRgn(upper, upper, lower, RGN_OR);
    DeleteObject(upperHalf);
    DeleteObject(lower);
    DeleteObject(lowerHalf);
    SetWindowRgn(hwnd, upper, TRUE);
    return;
  }
  if (!titleNeedsRegion_ && !bottomNeedsRegion_) {
    SetWindowRgn(hwnd, CreateRectRgn(0, 0, W, H), TRUE);
    return;
  }
  std::vector<RECT> rects;
  int hT = 0, hB = 0;
  if (titleNeedsRegion_ && titleBar_->SectionCount() > 0) {
    TitleStrip(W);
    hT = titleStrip_.Height();
    RegionRows(titleStrip_, titleMinY_, titleMaxY_, transColor_, 0, rects);
  }
  if (bottomNeedsRegion_) {
    ComposeBottom(W);
    hB = bottomBitmap_.Height();
  }
  if (H - hB > hT) rects.push_back(RECT{0, hT, W, H - hB});
  if (bottomNeedsRegion_) RegionRows(bottomBitmap_, bottomMinY_, bottomMaxY_, transColor_, H - hB, rects);
  SetWindowRgn(hwnd, RegionFromRects(rects), TRUE);
}

void TskForm::RefreshFrame() {
  if (!form_ || !form_->HandleAllocated()) return;
  SetWindowPos(form_->Handle(), nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void TskForm::PrepareFrame() {
  if (!form_ || !form_->HandleAllocated()) return;
  HWND hwnd = form_->Handle();
  const LONG_PTR style = GetWindowLongPtrA(hwnd, GWL_STYLE);
  if (style & static_cast<LONG_PTR>(kCaptionBits)) {
    SetWindowLongPtrA(hwnd, GWL_STYLE, style & ~static_cast<LONG_PTR>(kCaptionBits));
    RefreshFrame();
  }
}

// ---- The form's window procedure and the message hook ---------------------------------------------

void TskForm::HookWndProc(forms::TMessage& m) {
  if (destroying_) {
    previousProc_(m);
    return;
  }
  if (m.Msg == WM_NCPAINT) {
    if (form_->HandleAllocated() && IsIconic(form_->Handle())) {
      previousProc_(m);
      return;
    }
    titleBar_->Repaint();
    DrawFrame();
    return;
  }
  forms::TWndMethod previous = previousProc_;  // this may go inside the call
  previous(m);
  switch (m.Msg) {
    case WM_NCCALCSIZE: {
      if (!m.WParam) {
        m.Result = 0;
        return;
      }
      auto* p = reinterpret_cast<NCCALCSIZE_PARAMS*>(m.LParam);
      const RECT w = p->rgrc[0];
      RECT c = w;
      if (FileThemeInUse() && (leftWidth_ > 0 || rightWidth_ > 0)) {
        c.left = w.left + std::max(leftWidth_, 4) - 3;
        c.right = w.right - std::max(rightWidth_, 4) + 3;
      }
      if (FileThemeInUse() && bottomHeight_ > 0) {
        c.bottom = w.bottom - std::max(bottomHeight_, 4) + 3;
      } else if (borderWidth_ == 3) {
        c.bottom = w.bottom;
      } else {
        c.bottom = w.bottom - borderWidth_ + 2;
      }
      p->rgrc[0] = p->rgrc[1] = p->rgrc[2] = c;
      m.Result = WVR_VALIDRECTS;
      return;
    }
    case kLeftBorderQuery:
      m.Result = FileThemeInUse() && leftWidth_ > 0 ? std::max(leftWidth_, 4) : 0;
      return;
    case WM_KEYDOWN:
      if (menu_) menu_->IsShortCut(static_cast<WORD>(m.WParam), forms::KeyboardShiftState());
      return;
    case WM_SHOWWINDOW:
      form_->Menu = nullptr;
      return;
    case WM_ACTIVATE:
      titleBar_->SetFormActive(LOWORD(m.WParam) != WA_INACTIVE);
      return;
    case WM_SIZE: {
      if (m.WParam == SIZE_MINIMIZED) return;
      if (createdMaximized_ && ++sizeMessages_ == 2) {
        createdMaximized_ = false;
        form_->SetWindowState(forms::TWindowState::wsMaximized);
      }
      if (form_->WindowState() == forms::TWindowState::wsMaximized) {
        // The frame's own edges lie off the work area.
        TRect work;
        GetWorkArea(work);
        form_->SetBounds(work.Left - 2, work.Top - 2, work.Width() + 4, work.Height() + 1);
      }
      for (int i = 0; i < titleBar_->ButtonCount(); ++i) {
        if (titleBar_->Buttons(i)->ButtonType() == TskTitleBarBtnType::skMax) titleBar_->Buttons(i)->LoadPictures();
      }
      titleBar_->Repaint();
      DrawFrame();
      UpdateRegion();
      return;
    }
    default:
      return;
  }
}

void TskForm::AppMessage(MSG& msg, bool& handled) {
  if (destroying_ || !form_ || !form_->HandleAllocated()) return;
  HWND root = msg.hwnd;
  while (root && GetParent(root)) root = GetParent(root);
  if (root != form_->Handle()) return;
  if (msg.message == WM_SYSKEYDOWN && msg.wParam == VK_SPACE) {
    forms::TCustomForm* main = forms::Application->MainForm() ? forms::Application->MainForm() : form_;
    titleBar_->UpdateSystemMenu();
    handled = true;
    titleBar_->SystemMenu()->Popup(main->Left(), main->Top() + titleBar_->Height());
    return;
  }
  if (msg.message == WM_KEYDOWN && menu_ && IsFormActive(form_)) {
    const WORD key = static_cast<WORD>(msg.wParam);
    if (menu_->FindShortCut(key, forms::KeyboardShiftState())) handled = menu_->IsShortCut(key, forms::KeyboardShiftState());
  }
}

}  // namespace skin
