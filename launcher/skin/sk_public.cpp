#include "launcher/skin/sk_public.h"

#include <algorithm>

#include "platform/win32/dc.h"
#include "platform/win32/win32.h"

namespace skin {

using forms::Bounds;
using forms::Rect;

void DrawParentBackground(TCanvas& canvas, TControl* control) {
  forms::TWinControl* parent = control ? control->Parent() : nullptr;
  HDC dc = canvas.Handle();
  if (!parent || !dc) return;
  int saved = SaveDC(dc);
  OffsetViewportOrgEx(dc, -control->Left(), -control->Top(), nullptr);
  TRect client = parent->ClientRect();
  IntersectClipRect(dc, client.Left, client.Top, client.Right, client.Bottom);
  HWND window = parent->Handle();
  SendMessageA(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  SendMessageA(window, WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
  RestoreDC(dc, saved);
}

void TileDraw(TCanvas& canvas, TBitmap& picture, const TRect& rect) {
  const int w = picture.Width(), h = picture.Height();
  if (w <= 0 || h <= 0) return;  // nothing to repeat, and no endless loop
  for (int y = 0; y < h + rect.Height(); y += h) {
    for (int x = 0; x < w + rect.Width(); x += w) canvas.Draw(x, y, picture);
  }
}

bool PointInRect(int x, int y, const TRect& r) { return x >= r.Left && x <= r.Right && y >= r.Top && y <= r.Bottom; }
bool PointInRect(const TPoint& p, const TRect& r) { return PointInRect(p.X, p.Y, r); }

void GetWorkArea(TRect& rect) {
  // One monitor: the one nearest the main form is the primary one.
  rect = forms::Screen->WorkAreaRect();
}

void SetControlBounds(TControl* control, const TRect& r) {
  control->SetBounds(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
}

void ExtractFrame(const TBitmap& source, TBitmap& dest, int frameCount, int index) {
  if (frameCount <= 0 || index < 1 || index > frameCount || source.Empty()) {
    dest.SetSize(0, 0);
    return;
  }
  const int fw = source.Width() / frameCount, h = source.Height();
  // The last frame takes the last columns: a remainder is dropped at the left.
  const int sx = index == frameCount ? source.Width() - fw : (index - 1) * fw;
  dest.SetSize(fw, h);
  dest.Canvas().DrawBitmapPart(Rect(0, 0, fw, h), source, Bounds(sx, 0, fw, h), false, 0);
}

void DrawThreePartHorizontal(TBitmap& bitmap, TCanvas& canvas, const TRect& rect, forms::TColor transparentColor,
                             bool masked) {
  const int pw = bitmap.Width() / 3, h = bitmap.Height();
  if (pw <= 0 || h <= 0) return;
  const uint32_t key = forms::ColorToPixel(transparentColor);
  auto part = [&](int sx, int sw, int dx, int dw) {
    if (sw <= 0 || dw <= 0) return;
    canvas.DrawBitmapPart(Bounds(dx, rect.Top, dw, h), bitmap, Bounds(sx, 0, sw, h), masked, key);
  };
  if (rect.Width() < pw) {
    part(0, rect.Width(), rect.Left, rect.Width());
    return;
  }
  part(0, pw, rect.Left, pw);
  part(2 * pw, pw, rect.Right - pw, pw);
  part(pw, pw, rect.Left + pw, rect.Width() - 2 * pw);
}

void DrawStretchedCorners(TBitmap& bitmap, TCanvas& canvas, const TRect& rect, bool transparent) {
  const int W = bitmap.Width(), H = bitmap.Height(), w = rect.Width(), h = rect.Height();
  if (W <= 0 || H <= 0 || w <= 0 || h <= 0) return;
  const uint32_t key = 0xFF00FF;
  auto piece = [&](const TRect& src, const TRect& dst) {
    if (src.Width() <= 0 || src.Height() <= 0 || dst.Width() <= 0 || dst.Height() <= 0) return;
    canvas.DrawBitmapPart(dst, bitmap, src, transparent, key);
  };
  // Corners: the left and top quarters from 0, the right and bottom ones
  // from W - W/2 + 1 and H - H/2 + 1, each cut to half the rectangle and
  // to the bitmap.
  const int rightX = W - W / 2 + 1, bottomY = H - H / 2 + 1;
  const int lw = std::min(W / 2, w / 2), th = std::min(H / 2, h / 2);
  const int rw = std::max(0, std::min({W / 2, w / 2, W - rightX}));
  const int bh = std::max(0, std::min({H / 2, h / 2, H - bottomY}));
  const int L = rect.Left, T = rect.Top, R = rect.Right, B = rect.Bottom;
  piece(Bounds(0, 0, lw, th), Bounds(L, T, lw, th));
  piece(Bounds(rightX, 0, rw, th), Bounds(R - rw, T, rw, th));
  piece(Bounds(0, bottomY, lw, bh), Bounds(L, B - bh, lw, bh));
  piece(Bounds(rightX, bottomY, rw, bh), Bounds(R - rw, B - bh, rw, bh));
  // Edges and centre from one-pixel bands at the bitmap's middle.
  const int midX = W / 2, midY = H / 2;
  piece(Bounds(0, midY, lw, 1), Rect(L, T + th, L + lw, B - bh));
  piece(Bounds(rightX, midY, rw, 1), Rect(R - rw, T + th, R, B - bh));
  piece(Bounds(midX, 0, 1, th), Rect(L + lw, T, R - rw, T + th));
  piece(Bounds(midX, bottomY, 1, bh), Rect(L + lw, B - bh, R - rw, B));
  piece(Bounds(midX, midY, 1, 1), Rect(L + lw, T + th, R - rw, B - bh));
}

bool HasPublishedProperty(const TControl* control, const std::string& name) {
  return control && control->HasPublishedProperty(name);
}

bool IsFormActive(forms::TCustomForm* form) {
  forms::TCustomForm* main = forms::Application->MainForm();
  if (!main) return form && form->Active();
  // The framework has no MDI frames: those steps never apply.
  if (!forms::Application->Active()) return false;
  if (!form || form == main) return true;
  return form->Active();
}

namespace {
using GetComboBoxInfoProc = BOOL (*)(HWND, PCOMBOBOXINFO);
struct ComboBoxInfoCall {
  bool tried = false;
  HMODULE module = nullptr;
  GetComboBoxInfoProc proc = nullptr;
  ~ComboBoxInfoCall() {
    if (module) FreeLibrary(module);
  }
};
ComboBoxInfoCall g_comboBoxInfo;
}  // namespace

BOOL CallGetComboBoxInfo(HWND comboBox, void* info) {
  if (!g_comboBoxInfo.tried) {
    g_comboBoxInfo.tried = true;
    g_comboBoxInfo.module = LoadLibraryA("User32.dll");
    if (g_comboBoxInfo.module) {
      g_comboBoxInfo.proc = reinterpret_cast<GetComboBoxInfoProc>(GetProcAddress(g_comboBoxInfo.module, "GetComboBoxInfo"));
    }
  }
  return g_comboBoxInfo.proc ? g_comboBoxInfo.proc(comboBox, static_cast<PCOMBOBOXINFO>(info)) : 0;
}

}  // namespace skin
