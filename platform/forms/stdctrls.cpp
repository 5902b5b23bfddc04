#include "platform/forms/stdctrls.h"

#include <algorithm>
#include <unordered_map>

#include "platform/win32/win32.h"

namespace forms {

// ---- TLabel ----------------------------------------------------------------------------

TLabel::TLabel(TComponent* owner) : TGraphicControl(owner) {
  SetBounds(0, 0, 65, 17);
  SetParentColor(true);
}

UINT TLabel::Flags() const {
  UINT flags = DT_EXPANDTABS | (wordWrap_ ? DT_WORDBREAK : 0u);
  if (Alignment == TAlignment::taCenter) flags |= DT_CENTER;
  if (Alignment == TAlignment::taRightJustify) flags |= DT_RIGHT;
  return flags;
}

void TLabel::AdjustBounds() {
  if (!autoSize_) return;
  TCanvas measure;
  measure.Font().Assign(Font());
  TRect r = Rect(0, 0, wordWrap_ ? Width() : 0, 0);
  std::string text = Caption().empty() && !wordWrap_ ? std::string(" ") : Caption();
  measure.DrawText(text, r, Flags() | DT_CALCRECT);
  // Word-wrapped labels keep their width and grow downwards.
  SetBounds(Left(), Top(), wordWrap_ ? Width() : r.Width(), r.Height());
}

void TLabel::SetAutoSize(bool on) {
  autoSize_ = on;
  AdjustBounds();
}

void TLabel::SetWordWrap(bool on) {
  wordWrap_ = on;
  AdjustBounds();
  Invalidate();
}

void TLabel::SetTransparent(bool on) {
  transparent_ = on;
  Invalidate();
}

void TLabel::TextChanged() {
  AdjustBounds();
  Invalidate();
}

void TLabel::FontChanged() {
  AdjustBounds();
  Invalidate();
}

void TLabel::Paint() {
  TCanvas& c = Canvas();
  TRect r = ClientRect();
  if (!transparent_) {
    c.Brush().Style = TBrushStyle::bsSolid;
    c.Brush().Color = Color();
    c.FillRect(r);
  }
  c.Brush().Style = TBrushStyle::bsClear;
  c.Font().Assign(Font());
  UINT flags = Flags();
  if (!Enabled()) {
    c.Font().SetColor(clBtnHighlight);
    TRect shadow = r;
    shadow.Left += 1, shadow.Top += 1, shadow.Right += 1, shadow.Bottom += 1;
    c.DrawText(Caption(), shadow, flags);
    c.Font().SetColor(clBtnShadow);
  }
  c.DrawText(Caption(), r, flags);
}

// ---- TImage ------------------------------------------------------------------------

TImage::TImage(TComponent* owner) : TGraphicControl(owner) { SetBounds(0, 0, 105, 105); }

void TImage::PictureChanged() {
  if (autoSize_ && !picture_.Empty()) SetBounds(Left(), Top(), picture_.Width(), picture_.Height());
  Invalidate();
}

void TImage::SetAutoSize(bool on) {
  autoSize_ = on;
  PictureChanged();
}

void TImage::Paint() {
  if (picture_.Empty()) return;
  picture_.Transparent = Transparent;
  if (Stretch) Canvas().StretchDraw(ClientRect(), picture_);
  else Canvas().Draw(0, 0, picture_);
}

// ---- TCustomPanel -------------------------------------------------------------------

TCustomPanel::TCustomPanel(TComponent* owner) : TCustomControl(owner) {
  ControlStyle |= csAcceptsControls | csOpaque;
  SetBounds(0, 0, 185, 41);
  SetColor(clBtnFace);
  SetParentColor(true);
}

void TCustomPanel::AdjustClientRect(TRect& rect) const {
  if (BevelOuter != TBevelCut::bvNone) {
    rect.Left += 1, rect.Top += 1, rect.Right -= 1, rect.Bottom -= 1;
  }
}

void TCustomPanel::Paint() {
  TCanvas& c = Canvas();
  TRect r = ClientRect();
  c.Brush().Style = TBrushStyle::bsSolid;
  c.Brush().Color = Color();
  c.FillRect(r);
  if (BevelOuter != TBevelCut::bvNone) {
    TColor light = BevelOuter == TBevelCut::bvRaised ? clBtnHighlight : clBtnShadow;
    TColor dark = BevelOuter == TBevelCut::bvRaised ? clBtnShadow : clBtnHighlight;
    c.Pen().Style = TPenStyle::psSolid;
    c.Pen().Color = light;
    c.MoveTo(r.Left, r.Bottom - 1);
    c.LineTo(r.Left, r.Top);
    c.LineTo(r.Right - 1, r.Top);
    c.Pen().Color = dark;
    c.LineTo(r.Right - 1, r.Bottom - 1);
    c.LineTo(r.Left - 1, r.Bottom - 1);
  }
  c.Brush().Style = TBrushStyle::bsClear;
  c.Font().Assign(Font());
  TRect text = r;
  c.DrawText(Caption(), text, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
}

// ---- TImageList ----------------------------------------------------------------------

int TImageList::AddImages(TBitmap& bitmap, bool masked, uint32_t mask) {
  if (bitmap.Empty() || Width <= 0 || Height <= 0) return -1;
  int first = Count();
  int n = std::max(bitmap.Width() / Width, 1);
  for (int i = 0; i < n; ++i) {
    auto image = std::make_unique<TBitmap>(Width, Height);
    image->Canvas().CopyRect(Rect(0, 0, Width, Height), bitmap.Canvas(), Bounds(i * Width, 0, Width, Height));
    images_.push_back({std::move(image), masked, mask});
  }
  return first;
}

int TImageList::Add(TBitmap& bitmap) { return AddImages(bitmap, false, 0); }

int TImageList::AddMasked(TBitmap& bitmap, TColor maskColor) {
  return AddImages(bitmap, true, ColorToPixel(maskColor));
}

void TImageList::Draw(TCanvas& canvas, int x, int y, int index, bool enabled) {
  if (index < 0 || index >= Count()) return;
  const Image& img = images_[static_cast<size_t>(index)];
  if (enabled) {
    canvas.DrawBitmapPart(Bounds(x, y, Width, Height), *img.bitmap, Rect(0, 0, Width, Height), img.masked, img.mask);
  } else {
    canvas.DrawGreyed(x, y, *img.bitmap, img.masked, img.mask);
  }
}

bool TImageList::GetBitmap(int index, TBitmap& bitmap) const {
  if (index < 0 || index >= Count()) return false;
  bitmap.Assign(*images_[static_cast<size_t>(index)].bitmap);
  return true;
}

// ---- TTimer ---------------------------------------------------------------------------

namespace {
std::unordered_map<UINT_PTR, TTimer*>& Timers() {
  static std::unordered_map<UINT_PTR, TTimer*> timers;
  return timers;
}
}  // namespace

TTimer::TTimer(TComponent* owner) : TComponent(owner) { Update(); }

TTimer::~TTimer() {
  enabled_ = false;
  Update();
}

void TTimer::CALLBACK_Tick(HWND, UINT, UINT_PTR id, DWORD) {
  auto it = Timers().find(id);
  if (it == Timers().end() || !it->second->OnTimer) return;
  // The handler may free the timer: call a copy.
  TNotifyEvent handler = it->second->OnTimer;
  handler(it->second);
}

void TTimer::Update() {
  if (id_) {
    KillTimer(nullptr, id_);
    Timers().erase(id_);
    id_ = 0;
  }
  if (enabled_ && interval_ > 0) {
    id_ = SetTimer(nullptr, 0, interval_, CALLBACK_Tick);
    if (id_) Timers()[id_] = this;
  }
}

void TTimer::SetEnabled(bool on) {
  if (enabled_ == on) return;
  enabled_ = on;
  Update();
}

void TTimer::SetInterval(UINT ms) {
  if (interval_ == ms) return;
  interval_ = ms;
  Update();
}

}  // namespace forms
