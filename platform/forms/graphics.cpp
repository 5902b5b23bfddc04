#include "platform/forms/graphics.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <set>

#include "platform/forms/text.h"
#include "platform/win32/bmp.h"
#include "platform/win32/dc.h"
#include "platform/win32/win32.h"

namespace forms {

// ---- Colours, shift state, hot keys ---------------------------------------------

TColor ColorToRGB(TColor color) {
  if (!(color & clSystemColor)) return color & 0xFFFFFF;
  // The classic scheme's colours.
  switch (color & 0xFF) {
    case 3: return 0x808080;    // inactive caption
    case 4: return 0xC8D0D4;    // menu
    case 5: return 0xFFFFFF;    // window
    case 7: return 0x000000;    // menu text
    case 8: return 0x000000;    // window text
    case 13: return 0x6A240A;   // highlight
    case 14: return 0xFFFFFF;   // highlight text
    case 15: return 0xC8D0D4;   // button face
    case 16: return 0x808080;   // button shadow
    case 17: return 0x808080;   // grey text
    case 18: return 0x000000;   // button text
    case 20: return 0xFFFFFF;   // button highlight
    default: return 0xC8D0D4;
  }
}

TShiftState KeyboardShiftState() {
  TShiftState s = 0;
  if (GetKeyState(static_cast<int>(VK_SHIFT)) < 0) s |= ssShift;
  if (GetKeyState(static_cast<int>(VK_CONTROL)) < 0) s |= ssCtrl;
  if (GetKeyState(static_cast<int>(VK_MENU)) < 0) s |= ssAlt;
  return s;
}

std::string StripHotkey(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    else if (text[i] == '&') continue;
    out += text[i];
  }
  return out;
}

bool IsAccel(char ch, const std::string& caption) {
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] == '&') {
      ++i;
      continue;
    }
    return std::toupper(static_cast<unsigned char>(caption[i + 1])) == std::toupper(static_cast<unsigned char>(ch));
  }
  return false;
}

// ---- Font -----------------------------------------------------------------------------

TFont::TFont() = default;

void TFont::Assign(const TFont& o) {
  if (*this == o) return;
  name_ = o.name_;
  height_ = o.height_;
  color_ = o.color_;
  style_ = o.style_;
  Changed();
}

void TFont::SetName(const std::string& name) {
  if (name_ == name) return;
  name_ = name;
  Changed();
}

void TFont::SetHeight(int height) {
  if (height_ == height) return;
  height_ = height;
  Changed();
}

int TFont::Size() const { return static_cast<int>(std::lround(-height_ * 72.0 / 96.0)); }
void TFont::SetSize(int points) { SetHeight(-static_cast<int>(std::lround(points * 96.0 / 72.0))); }

void TFont::SetColor(TColor color) {
  if (color_ == color) return;
  color_ = color;
  Changed();
}

void TFont::SetStyle(TFontStyles style) {
  if (style_ == style) return;
  style_ = style;
  Changed();
}

// ---- Canvas ------------------------------------------------------------------------

namespace {

// A drawing target resolved once per operation.
struct Target {
  platform::DcSurface s;
  bool ok = false;
  explicit Target(HDC dc) { ok = dc && platform::GetDcSurface(dc, &s) && s.bits; }
  // Logical to device.
  int X(int x) const { return x + s.origin.x; }
  int Y(int y) const { return y + s.origin.y; }
  bool In(int dx, int dy) const { return dx >= s.clip.left && dx < s.clip.right && dy >= s.clip.top && dy < s.clip.bottom; }
  uint32_t& At(int dx, int dy) { return s.bits[static_cast<size_t>(dy) * static_cast<size_t>(s.width) + dx]; }
  void Plot(int x, int y, uint32_t c) {
    int dx = X(x), dy = Y(y);
    if (In(dx, dy)) At(dx, dy) = c;
  }
  // Logical rectangle to a clipped device rectangle.
  TRect Clip(int l, int t, int r, int b) const {
    TRect d{std::max<int>(X(l), s.clip.left), std::max<int>(Y(t), s.clip.top), std::min<int>(X(r), s.clip.right),
            std::min<int>(Y(b), s.clip.bottom)};
    if (d.Right < d.Left) d.Right = d.Left;
    if (d.Bottom < d.Top) d.Bottom = d.Top;
    return d;
  }
};

uint32_t BrushPixel(const TBrush& brush, int dx, int dy) {
  if (brush.Bitmap && !brush.Bitmap->Empty()) {
    const TBitmap& b = *brush.Bitmap;
    int px = ((dx % b.Width()) + b.Width()) % b.Width(), py = ((dy % b.Height()) + b.Height()) % b.Height();
    return b.PixelAt(px, py);
  }
  return ColorToPixel(brush.Color);
}

}  // namespace

TCanvas::TCanvas() = default;
TCanvas::~TCanvas() = default;

void TCanvas::FillSpan(int y, int x0, int x1) {
  Target t(dc_);
  if (!t.ok || brush_.Style == TBrushStyle::bsClear) return;
  TRect d = t.Clip(x0, y, x1, y + 1);
  for (int dy = d.Top; dy < d.Bottom; ++dy) {
    for (int dx = d.Left; dx < d.Right; ++dx) t.At(dx, dy) = BrushPixel(brush_, dx, dy);
  }
}

void TCanvas::FillRect(const TRect& r) {
  Target t(dc_);
  if (!t.ok || brush_.Style == TBrushStyle::bsClear) return;
  TRect d = t.Clip(r.Left, r.Top, r.Right, r.Bottom);
  if (!brush_.Bitmap) {
    uint32_t c = ColorToPixel(brush_.Color);
    for (int dy = d.Top; dy < d.Bottom; ++dy) std::fill_n(&t.At(d.Left, dy), d.Width(), c);
    return;
  }
  for (int dy = d.Top; dy < d.Bottom; ++dy) {
    for (int dx = d.Left; dx < d.Right; ++dx) t.At(dx, dy) = BrushPixel(brush_, dx, dy);
  }
}

void TCanvas::FrameRect(const TRect& r) {
  if (r.Right <= r.Left || r.Bottom <= r.Top) return;
  FillRect({r.Left, r.Top, r.Right, r.Top + 1});
  FillRect({r.Left, r.Bottom - 1, r.Right, r.Bottom});
  FillRect({r.Left, r.Top, r.Left + 1, r.Bottom});
  FillRect({r.Right - 1, r.Top, r.Right, r.Bottom});
}

void TCanvas::Rectangle(int l, int t, int r, int b) {
  if (r < l) std::swap(l, r);
  if (b < t) std::swap(t, b);
  if (pen_.Style == TPenStyle::psClear) {
    // Without a pen the shape is one pixel smaller, as Windows draws it.
    FillRect({l, t, r - 1, b - 1});
    return;
  }
  FillRect({l + 1, t + 1, r - 1, b - 1});
  TPoint saved = penPos_;
  MoveTo(l, t);
  LineTo(r - 1, t);
  LineTo(r - 1, b - 1);
  LineTo(l, b - 1);
  LineTo(l, t);
  penPos_ = saved;
}

void TCanvas::PlotPen(int x, int y) {
  Target t(dc_);
  if (!t.ok) return;
  uint32_t c = ColorToPixel(pen_.Color);
  int w = std::max(pen_.Width, 1);
  int from = -(w - 1) / 2;
  for (int oy = from; oy < from + w; ++oy) {
    for (int ox = from; ox < from + w; ++ox) t.Plot(x + ox, y + oy, c);
  }
}

void TCanvas::LineTo(int x, int y) {
  int x0 = penPos_.X, y0 = penPos_.Y;
  penPos_ = {x, y};
  if (pen_.Style == TPenStyle::psClear) return;
  int dx = std::abs(x - x0), sx = x0 < x ? 1 : -1;
  int dy = -std::abs(y - y0), sy = y0 < y ? 1 : -1;
  int err = dx + dy;
  int n = 0;
  while (x0 != x || y0 != y) {  // the end pixel is left out
    if (pen_.Style != TPenStyle::psDot || n % 2 == 0) PlotPen(x0, y0);
    ++n;
    int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
}

void TCanvas::Polygon(const std::vector<TPoint>& pts) {
  if (pts.size() < 2) return;
  if (brush_.Style != TBrushStyle::bsClear && pts.size() >= 3) {
    int minY = pts[0].Y, maxY = pts[0].Y;
    for (const TPoint& p : pts) {
      minY = std::min(minY, p.Y);
      maxY = std::max(maxY, p.Y);
    }
    std::vector<double> xs;
    for (int y = minY; y < maxY; ++y) {
      double cy = y + 0.5;
      xs.clear();
      for (size_t i = 0; i < pts.size(); ++i) {
        const TPoint& a = pts[i];
        const TPoint& b = pts[(i + 1) % pts.size()];
        if ((a.Y <= cy) == (b.Y <= cy)) continue;  // half-open: no double count at vertices
        xs.push_back(a.X + (cy - a.Y) * (b.X - a.X) / static_cast<double>(b.Y - a.Y));
      }
      std::sort(xs.begin(), xs.end());
      for (size_t i = 0; i + 1 < xs.size(); i += 2) {
        // Pixels whose centres lie inside.
        int x0 = static_cast<int>(std::ceil(xs[i] - 0.5)), x1 = static_cast<int>(std::ceil(xs[i + 1] - 0.5));
        FillSpan(y, x0, x1);
      }
    }
  }
  TPoint saved = penPos_;
  MoveTo(pts.back().X, pts.back().Y);
  for (const TPoint& p : pts) LineTo(p.X, p.Y);
  penPos_ = saved;
}

void TCanvas::Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
  if (pen_.Style == TPenStyle::psClear) return;
  if (x2 < x1) std::swap(x1, x2);
  if (y2 < y1) std::swap(y1, y2);
  const double cx = (x1 + x2 - 1) / 2.0, cy = (y1 + y2 - 1) / 2.0;
  const double rx = (x2 - x1 - 1) / 2.0, ry = (y2 - y1 - 1) / 2.0;
  if (rx < 0 || ry < 0) return;
  constexpr double kTwoPi = 6.283185307179586;
  auto angle = [&](double px, double py) {
    double a = std::atan2(-(py - cy), px - cx);  // y grows downwards
    return a < 0 ? a + kTwoPi : a;
  };
  const double start = angle(x3, y3), end = angle(x4, y4);
  double sweep = end - start;
  if (sweep <= 0) sweep += kTwoPi;  // same radials: the whole ellipse
  // The boundary pixels: one per column and one per row of each half.
  std::set<std::pair<int, int>> pixels;
  for (int x = x1; x < x2; ++x) {
    double u = rx > 0 ? (x - cx) / rx : 0;
    if (u < -1 || u > 1) continue;
    double h = ry * std::sqrt(1 - u * u);
    pixels.insert({x, static_cast<int>(std::lround(cy - h))});
    pixels.insert({x, static_cast<int>(std::lround(cy + h))});
  }
  for (int y = y1; y < y2; ++y) {
    double v = ry > 0 ? (y - cy) / ry : 0;
    if (v < -1 || v > 1) continue;
    double w = rx * std::sqrt(1 - v * v);
    pixels.insert({static_cast<int>(std::lround(cx - w)), y});
    pixels.insert({static_cast<int>(std::lround(cx + w)), y});
  }
  for (auto [x, y] : pixels) {
    double a = angle(x, y) - start;
    if (a < 0) a += kTwoPi;
    if (a <= sweep + 1e-9) PlotPen(x, y);
  }
}

void TCanvas::DrawFocusRect(const TRect& r) {
  Target t(dc_);
  if (!t.ok || r.Right <= r.Left || r.Bottom <= r.Top) return;
  auto invert = [&](int x, int y) {
    int dx = t.X(x), dy = t.Y(y);
    if (t.In(dx, dy) && ((dx + dy) & 1) == 0) t.At(dx, dy) ^= 0xFFFFFF;
  };
  for (int x = r.Left; x < r.Right; ++x) {
    invert(x, r.Top);
    if (r.Bottom - 1 != r.Top) invert(x, r.Bottom - 1);
  }
  for (int y = r.Top + 1; y < r.Bottom - 1; ++y) {
    invert(r.Left, y);
    if (r.Right - 1 != r.Left) invert(r.Right - 1, y);
  }
}

int TCanvas::TextWidth(const std::string& text) { return detail::TextWidthOf(font_, text); }
int TCanvas::TextHeight(const std::string&) { return detail::MetricsOf(font_).height; }

// Draws one line with its cell's top at y; with `prefix`, "&x" underlines x.
// Returns the width drawn.
int TCanvas::DrawTextLine(const std::string& line, int x, int y, bool prefix, int tabStop, bool draw) {
  Target t(draw ? dc_ : nullptr);
  const detail::FontMetrics& m = detail::MetricsOf(font_);
  const uint32_t ink = ColorToPixel(font_.Color());
  int pen = x;
  const int baseline = y + m.ascent;
  bool underlineNext = false;
  for (size_t i = 0; i < line.size(); ++i) {
    uint8_t ch = static_cast<uint8_t>(line[i]);
    if (prefix && ch == '&') {
      if (i + 1 < line.size() && line[i + 1] == '&') {
        ++i;
      } else {
        underlineNext = true;
        continue;
      }
    }
    if (ch == '\t' && tabStop > 0) {
      pen = x + ((pen - x) / tabStop + 1) * tabStop;
      underlineNext = false;
      continue;
    }
    const detail::Glyph& g = detail::GlyphOf(font_, ch);
    if (t.ok) {
      for (int gy = 0; gy < g.rows; ++gy) {
        for (int gx = 0; gx < g.width; ++gx) {
          if (g.bits[static_cast<size_t>(gy) * static_cast<size_t>(g.width) + gx]) {
            t.Plot(pen + g.left + gx, baseline - g.top + gy, ink);
          }
        }
      }
      if (underlineNext || (font_.Style() & fsUnderline)) {
        for (int ux = 0; ux < g.advance; ++ux) t.Plot(pen + ux, baseline + m.underlinePos, ink);
      }
    }
    underlineNext = false;
    pen += g.advance;
  }
  return pen - x;
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
  if (brush_.Style != TBrushStyle::bsClear) {
    FillRect(Bounds(x, y, TextWidth(text), TextHeight(text)));
  }
  int w = DrawTextLine(text, x, y, false, 0, true);
  penPos_ = {x + w, y};
}

int TCanvas::DrawText(const std::string& text, TRect& rect, UINT flags) {
  const bool prefix = !(flags & DT_NOPREFIX);
  const detail::FontMetrics& m = detail::MetricsOf(font_);
  // Tabs go to the next stop of eight average characters.
  const int tabStop = (flags & DT_EXPANDTABS) ? std::max(8 * m.aveCharWidth, 1) : 0;
  auto width = [&](const std::string& l) { return DrawTextLine(l, 0, 0, prefix, tabStop, false); };
  auto expand = [](const std::string& l) { return l; };

  std::vector<std::string> lines;
  if (flags & DT_SINGLELINE) {
    lines.push_back(expand(text));
  } else {
    size_t start = 0;
    while (start <= text.size()) {
      size_t nl = text.find('\n', start);
      std::string para = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
      if (!para.empty() && para.back() == '\r') para.pop_back();
      para = expand(para);
      if (!(flags & DT_WORDBREAK)) {
        lines.push_back(para);
      } else {
        // Words are kept whole; a line ends before the word that would
        // pass the right edge, and trailing spaces are dropped.
        std::string line;
        size_t i = 0;
        while (i < para.size()) {
          size_t wordEnd = para.find(' ', i);
          if (wordEnd == std::string::npos) wordEnd = para.size();
          std::string word = para.substr(i, wordEnd - i);
          std::string candidate = line + word;
          if (!line.empty() && width(candidate) > rect.Width()) {
            while (!line.empty() && line.back() == ' ') line.pop_back();
            lines.push_back(line);
            line = word;
          } else {
            line = candidate;
          }
          size_t spaces = wordEnd;
          while (spaces < para.size() && para[spaces] == ' ') ++spaces;
          line.append(spaces - wordEnd, ' ');
          i = spaces;
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        lines.push_back(line);
      }
      if (nl == std::string::npos) break;
      start = nl + 1;
    }
  }
  const int lineHeight = m.height;
  const int total = lineHeight * static_cast<int>(lines.size());
  if (flags & DT_CALCRECT) {
    int widest = 0;
    for (const std::string& l : lines) widest = std::max(widest, width(l));
    rect.Right = rect.Left + widest;
    rect.Bottom = rect.Top + total;
    return total;
  }
  int y = rect.Top;
  if (flags & DT_SINGLELINE) {
    if (flags & DT_VCENTER) y = rect.Top + (rect.Height() - lineHeight) / 2;
    else if (flags & DT_BOTTOM) y = rect.Bottom - lineHeight;
  }
  int saved = 0;
  if (!(flags & DT_NOCLIP) && dc_) {
    saved = SaveDC(dc_);
    IntersectClipRect(dc_, rect.Left, rect.Top, rect.Right, rect.Bottom);
  }
  for (const std::string& l : lines) {
    int w = width(l);
    int x = rect.Left;
    if (flags & DT_CENTER) x = rect.Left + (rect.Width() - w) / 2;
    else if (flags & DT_RIGHT) x = rect.Right - w;
    if (brush_.Style != TBrushStyle::bsClear) FillRect(Bounds(x, y, w, lineHeight));
    DrawTextLine(l, x, y, prefix, tabStop, true);
    y += lineHeight;
  }
  if (saved) RestoreDC(dc_, saved);
  return total;
}

void TCanvas::DrawBitmapPart(const TRect& dest, const TBitmap& bmp, const TRect& src, bool keyed, uint32_t key) {
  Target t(dc_);
  if (!t.ok || bmp.Empty() || dest.Width() <= 0 || dest.Height() <= 0 || src.Width() <= 0 || src.Height() <= 0) return;
  TRect d = t.Clip(dest.Left, dest.Top, dest.Right, dest.Bottom);
  if (d.Width() <= 0 || d.Height() <= 0) return;
  const int dw = dest.Width(), dh = dest.Height(), sw = src.Width(), sh = src.Height();
  key &= 0xFFFFFF;
  // The source column of each destination column, once per call.
  thread_local std::vector<int> columns;
  columns.resize(static_cast<size_t>(d.Width()));
  bool straight = sw == dw;
  for (int dx = d.Left; dx < d.Right; ++dx) {
    int sx = src.Left + static_cast<int>(static_cast<int64_t>(dx - t.X(dest.Left)) * sw / dw);
    columns[static_cast<size_t>(dx - d.Left)] = sx;
    straight = straight && sx >= 0 && sx < bmp.Width();
  }
  for (int dy = d.Top; dy < d.Bottom; ++dy) {
    int sy = src.Top + static_cast<int>(static_cast<int64_t>(dy - t.Y(dest.Top)) * sh / dh);
    if (sy < 0 || sy >= bmp.Height()) continue;
    const uint32_t* row = bmp.Bits() + static_cast<size_t>(sy) * static_cast<size_t>(bmp.Width());
    uint32_t* out = &t.At(d.Left, dy);
    if (straight && !keyed) {
      std::copy_n(row + columns[0], d.Width(), out);
      continue;
    }
    for (int i = 0; i < d.Width(); ++i) {
      int sx = columns[static_cast<size_t>(i)];
      if (sx < 0 || sx >= bmp.Width()) continue;
      uint32_t p = row[sx] & 0xFFFFFF;
      if (keyed && p == key) continue;
      out[i] = p;
    }
  }
}

void TCanvas::Draw(int x, int y, TBitmap& bmp) {
  DrawBitmapPart(Bounds(x, y, bmp.Width(), bmp.Height()), bmp, Rect(0, 0, bmp.Width(), bmp.Height()),
                 bmp.Transparent, ColorToPixel(bmp.TransparentColor()));
}

void TCanvas::StretchDraw(const TRect& dest, TBitmap& bmp) {
  DrawBitmapPart(dest, bmp, Rect(0, 0, bmp.Width(), bmp.Height()), bmp.Transparent,
                 ColorToPixel(bmp.TransparentColor()));
}

void TCanvas::CopyRect(const TRect& dest, TCanvas& source, const TRect& src) {
  Target from(source.dc_);
  Target to(dc_);
  if (!from.ok || !to.ok || dest.Width() <= 0 || dest.Height() <= 0 || src.Width() <= 0 || src.Height() <= 0) return;
  TRect d = to.Clip(dest.Left, dest.Top, dest.Right, dest.Bottom);
  // The source is read from a copy when both are one surface.
  const bool same = from.s.bits == to.s.bits;
  std::vector<uint32_t> copy;
  if (same) copy.assign(from.s.bits, from.s.bits + static_cast<size_t>(from.s.width) * from.s.height);
  const uint32_t* sbits = same ? copy.data() : from.s.bits;
  for (int dy = d.Top; dy < d.Bottom; ++dy) {
    int sy = from.Y(src.Top + static_cast<int>(static_cast<int64_t>(dy - to.Y(dest.Top)) * src.Height() / dest.Height()));
    if (sy < from.s.clip.top || sy >= from.s.clip.bottom) continue;
    for (int dx = d.Left; dx < d.Right; ++dx) {
      int sx = from.X(src.Left + static_cast<int>(static_cast<int64_t>(dx - to.X(dest.Left)) * src.Width() / dest.Width()));
      if (sx < from.s.clip.left || sx >= from.s.clip.right) continue;
      to.At(dx, dy) = sbits[static_cast<size_t>(sy) * static_cast<size_t>(from.s.width) + sx];
    }
  }
}

void TCanvas::DrawGreyed(int x, int y, const TBitmap& bmp, bool keyed, uint32_t key) {
  Target t(dc_);
  if (!t.ok) return;
  key &= 0xFFFFFF;
  // Disabled images: dark pixels become grey, light ones vanish.
  for (int by = 0; by < bmp.Height(); ++by) {
    for (int bx = 0; bx < bmp.Width(); ++bx) {
      uint32_t p = bmp.PixelAt(bx, by) & 0xFFFFFF;
      if (keyed && p == key) continue;
      int lum = (((p >> 16) & 0xFF) * 30 + ((p >> 8) & 0xFF) * 59 + (p & 0xFF) * 11) / 100;
      if (lum >= 192) continue;
      t.Plot(x + bx, y + by, 0x808080);
    }
  }
}

TColor TCanvas::Pixel(int x, int y) {
  Target t(dc_);
  if (!t.ok) return -1;
  int dx = t.X(x), dy = t.Y(y);
  if (!t.In(dx, dy)) return -1;  // CLR_INVALID
  return PixelToColor(t.At(dx, dy));
}

void TCanvas::SetPixel(int x, int y, TColor color) {
  Target t(dc_);
  if (t.ok) t.Plot(x, y, ColorToPixel(color));
}

int TCanvas::SaveState() { return dc_ ? SaveDC(dc_) : 0; }
void TCanvas::RestoreState(int saved) {
  if (dc_) RestoreDC(dc_, saved);
}

// ---- Bitmap ------------------------------------------------------------------------

TBitmap::TBitmap() {
  dc_ = platform::CreateSurfaceDC(nullptr, 0, 0);
  canvas_.SetHandle(dc_);
}

TBitmap::TBitmap(int width, int height) : TBitmap() { SetSize(width, height); }

TBitmap::~TBitmap() { DeleteDC(dc_); }

HBITMAP TBitmap::Handle() const { return platform::SurfaceBitmap(dc_); }

void TBitmap::SetSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;
  std::vector<uint32_t> next(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
  for (int y = 0; y < std::min(height, height_); ++y) {
    std::copy_n(pixels_.data() + static_cast<size_t>(y) * width_, std::min(width, width_),
                next.data() + static_cast<size_t>(y) * width);
  }
  pixels_.swap(next);
  width_ = width;
  height_ = height;
  platform::RetargetSurfaceDC(dc_, pixels_.data(), width_, height_);
}

void TBitmap::Assign(const TBitmap& o) {
  if (&o == this) return;
  pixels_ = o.pixels_;
  width_ = o.width_;
  height_ = o.height_;
  Transparent = o.Transparent;
  TransparentColorValue = o.TransparentColorValue;
  platform::RetargetSurfaceDC(dc_, pixels_.data(), width_, height_);
}

TColor TBitmap::TransparentColor() const {
  if (TransparentColorValue != clDefault) return TransparentColorValue;
  return Empty() ? clNone : PixelToColor(pixels_[0]);
}

bool TBitmap::LoadFromMemory(const uint8_t* data, size_t size) {
  platform::BmpImage img;
  if (!platform::DecodeBmp(data, size, false, &img)) return false;
  pixels_.resize(img.pixels.size());
  for (size_t i = 0; i < img.pixels.size(); ++i) pixels_[i] = img.pixels[i] & 0xFFFFFF;
  width_ = static_cast<int>(img.width);
  height_ = static_cast<int>(img.height);
  platform::RetargetSurfaceDC(dc_, pixels_.data(), width_, height_);
  return true;
}

namespace {
std::vector<std::pair<const BitmapResource*, size_t>>& Tables() {
  static std::vector<std::pair<const BitmapResource*, size_t>> tables;
  return tables;
}
}  // namespace

void RegisterBitmapResources(const BitmapResource* table, size_t count) {
  for (const auto& t : Tables()) {
    if (t.first == table) return;
  }
  Tables().push_back({table, count});
}

const BitmapResource* FindBitmapResource(const std::string& name) {
  for (const auto& [table, count] : Tables()) {
    for (size_t i = 0; i < count; ++i) {
      const char* n = table[i].name;
      if (name.size() == std::char_traits<char>::length(n) &&
          std::equal(name.begin(), name.end(), n, [](char a, char b) {
            return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
          })) {
        return &table[i];
      }
    }
  }
  return nullptr;
}

bool TBitmap::LoadFromResourceName(HINSTANCE, const std::string& name) {
  const BitmapResource* r = FindBitmapResource(name);
  if (!r) return false;
  // Resources are decoded once; controls load them on every paint.
  // Never freed: bitmaps hold device contexts of the window layer, which may
  // be gone when statics are destroyed.
  static auto* decoded = new std::map<const BitmapResource*, std::unique_ptr<TBitmap>>;
  auto& cached = (*decoded)[r];
  if (!cached) {
    cached = std::make_unique<TBitmap>();
    if (!cached->LoadFromMemory(r->data, r->size)) {
      cached.reset();
      return false;
    }
  }
  const bool transparent = Transparent;
  const TColor key = TransparentColorValue;
  Assign(*cached);
  Transparent = transparent;
  TransparentColorValue = key;
  return true;
}

}  // namespace forms
