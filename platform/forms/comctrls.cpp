#include "platform/forms/comctrls.h"

#include <algorithm>

#include "platform/forms/forms.h"
#include "platform/win32/win32.h"

namespace forms {

// ---- TToolButton ----------------------------------------------------------------------

TToolButton::TToolButton(TComponent* owner) : TGraphicControl(owner) { ControlStyle &= ~csCaptureMouse; }

TToolButton::~TToolButton() {
  if (TToolBar* bar = Bar()) bar->RemoveButton(this);
}

TToolBar* TToolButton::Bar() const { return dynamic_cast<TToolBar*>(Parent()); }

int TToolButton::Index() const {
  TToolBar* bar = Bar();
  if (!bar) return -1;
  for (int i = 0; i < bar->ButtonCount(); ++i) {
    if (bar->Buttons(i) == this) return i;
  }
  return -1;
}

void TToolButton::SetMenuItem(TMenuItem* item) {
  menuItem_ = item;
  UpdateFromItem();
}

void TToolButton::UpdateFromItem() {
  if (!menuItem_) return;
  SetCaption(menuItem_->Caption());
  SetEnabled(menuItem_->Enabled());
  if (TToolBar* bar = Bar()) bar->ArrangeButtons();
}

void TToolButton::Click() {
  if (TToolBar* bar = Bar()) bar->TrackButton(this);
}

void TToolButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TGraphicControl::MouseDown(button, shift, x, y);
  // A menu button acts on the press, as a menu bar does.
  if (button == TMouseButton::mbLeft && Enabled()) Click();
}

void TToolButton::MouseEnter() {
  hot_ = true;
  if (Parent()) Parent()->Invalidate();
}

void TToolButton::MouseLeave() {
  hot_ = false;
  if (Parent()) Parent()->Invalidate();
}

void TToolButton::TextChanged() {
  if (Parent()) Parent()->Invalidate();
}

void TToolButton::EnabledChanged() {
  if (Parent()) Parent()->Invalidate();
}

// ---- TToolBar -----------------------------------------------------------------------------

TToolBar::TToolBar(TComponent* owner) : TCustomControl(owner) {
  ControlStyle |= csAcceptsControls | csOpaque;
  SetAlign(TAlign::alTop);
  SetHeight(29);
}

TToolBar::~TToolBar() {
  // The buttons are children: they go with the control; forget them first.
  for (TToolButton* b : buttons_) b->menuItem_ = nullptr;
  buttons_.clear();
}

void TToolBar::AddButton(TToolButton* b) {
  b->SetParent(this);
  buttons_.push_back(b);
  ArrangeButtons();
}

void TToolBar::RemoveButton(TToolButton* b) {
  std::erase(buttons_, b);
  if (!(ComponentState() & csDestroying)) ArrangeButtons();
}

void TToolBar::SetButtonHeight(int h) {
  buttonHeight_ = std::max(h, 0);
  for (TToolButton* b : buttons_) b->SetHeight(buttonHeight_);
  ArrangeButtons();
}

void TToolBar::FontChanged() {
  ArrangeButtons();
  Invalidate();
}

int TToolBar::AutoButtonWidth(TToolButton* button) {
  TBitmap probe(1, 1);
  probe.Canvas().Font().Assign(Font());
  return probe.Canvas().TextWidth(StripHotkey(button->Caption())) + 14;
}

void TToolBar::ArrangeButtons() {
  if (arranging_) return;
  arranging_ = true;
  int x = 0, y = 0;
  for (TToolButton* b : buttons_) {
    if (!b->Visible()) continue;
    const int w = b->AutoSize ? AutoButtonWidth(b) : std::max(b->Width(), 23);
    if (Wrapable && x > 0 && x + w > Width()) {
      x = 0;
      y += buttonHeight_;
    }
    b->SetBounds(x, y, w, buttonHeight_);
    x += w;
  }
  if (AutoSize) SetHeight(buttons_.empty() ? buttonHeight_ : y + buttonHeight_);
  arranging_ = false;
  Invalidate();
}

TPopupMenu* TToolBar::DropDownMenu() {
  if (!dropDown_) {
    dropDown_ = new TPopupMenu(this);
    DropDownMenuCreated(dropDown_);
  }
  return dropDown_;
}

void TToolBar::TrackButton(TToolButton* button) {
  TMenuItem* item = button->MenuItem();
  if (!item) return;
  if (item->Count() == 0) {
    item->Click();
    return;
  }
  button->down_ = true;
  Invalidate();
  const TPoint at = button->ClientToScreen(Point(0, button->Height()));
  // The item's own menu draws the drop-down (its items carry the hooks).
  TPopupMenu* menu = DropDownMenu();
  if (TMenu* owner = item->GetParentMenu()) menu->AutoHotkeys = owner->AutoHotkeys;
  menu->PopupItems(item, at.X, at.Y);
  button->down_ = false;
  Invalidate();
}

void TToolBar::Paint() {
  TCanvas& canvas = Canvas();
  bool defaultDraw = true;
  if (OnCustomDraw) OnCustomDraw(this, ClientRect(), defaultDraw);
  if (defaultDraw) {
    canvas.Brush().Style = TBrushStyle::bsSolid;
    canvas.Brush().Color = Color();
    canvas.FillRect(ClientRect());
  }
  for (TToolButton* b : buttons_) {
    if (!b->Visible()) continue;
    TCustomDrawState state = 0;
    if (b->down_) state |= cdsSelected;
    if (b->hot_) state |= cdsHot;
    if (!b->Enabled()) state |= cdsDisabled;
    bool plain = true;
    if (OnCustomDrawButton) OnCustomDrawButton(this, b, state, plain);
    if (!plain) continue;
    TRect r = b->BoundsRect();
    canvas.Font().Assign(Font());
    if (!b->Enabled()) canvas.Font().SetColor(clGrayText);
    canvas.Brush().Style = TBrushStyle::bsClear;
    if (ShowCaptions) canvas.DrawText(b->Caption(), r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
}

}  // namespace forms
