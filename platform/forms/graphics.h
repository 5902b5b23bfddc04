// Fonts, pens, brushes, 32-bit bitmaps and the canvas that draws on them or
// on a window through a device context of the Win32 layer. Every pixel is
// computed here (text through FreeType in monochrome mode), so pictures are
// exact and stable.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/forms/classes.h"
#include "platform/forms/types.h"

namespace forms {

class TGraphicsObject : public TPersistent {
 public:
  std::function<void(TObject*)> OnChange;

 protected:
  void Changed() {
    if (OnChange) OnChange(this);
  }
};

enum TFontStyle : uint32_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = uint32_t;

// A negative Height is the character height in pixels; a positive one the
// cell height (characters plus internal leading). Size is in points at 96
// pixels per inch. Every name maps to DejaVu Sans, bold to DejaVu Sans Bold.
class TFont : public TGraphicsObject {
 public:
  TFont();
  void Assign(const TFont& other);
  std::string Name() const { return name_; }
  void SetName(const std::string& name);
  int Height() const { return height_; }
  void SetHeight(int height);
  int Size() const;
  void SetSize(int points);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles style);
  bool operator==(const TFont& o) const {
    return name_ == o.name_ && height_ == o.height_ && color_ == o.color_ && style_ == o.style_;
  }

 private:
  std::string name_ = "Tahoma";
  int height_ = -11;
  TColor color_ = clWindowText;
  TFontStyles style_ = 0;
};

enum class TPenStyle { psSolid, psDot, psClear };
class TPen : public TGraphicsObject {
 public:
  TColor Color = clBlack;
  int Width = 1;
  TPenStyle Style = TPenStyle::psSolid;
  void Assign(const TPen& o) {
    Color = o.Color;
    Width = o.Width;
    Style = o.Style;
  }
};

class TBitmap;
enum class TBrushStyle { bsSolid, bsClear };
class TBrush : public TGraphicsObject {
 public:
  TColor Color = clWhite;
  TBrushStyle Style = TBrushStyle::bsSolid;
  // A pattern: tiled from the device origin; not owned.
  TBitmap* Bitmap = nullptr;
  void Assign(const TBrush& o) {
    Color = o.Color;
    Style = o.Style;
    Bitmap = o.Bitmap;
  }
};

// DrawText flags.
constexpr UINT DT_TOP = 0x0000;
constexpr UINT DT_LEFT = 0x0000;
constexpr UINT DT_CENTER = 0x0001;
constexpr UINT DT_RIGHT = 0x0002;
constexpr UINT DT_VCENTER = 0x0004;
constexpr UINT DT_BOTTOM = 0x0008;
constexpr UINT DT_WORDBREAK = 0x0010;
constexpr UINT DT_SINGLELINE = 0x0020;
constexpr UINT DT_EXPANDTABS = 0x0040;
constexpr UINT DT_NOCLIP = 0x0100;
constexpr UINT DT_CALCRECT = 0x0400;
constexpr UINT DT_NOPREFIX = 0x0800;
constexpr UINT DT_RTLREADING = 0x20000;

class TCanvas : public TPersistent {
 public:
  TCanvas();
  ~TCanvas() override;
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  // The device context drawn on (not owned); null draws nothing.
  HDC Handle() const { return dc_; }
  void SetHandle(HDC dc) { dc_ = dc; }
  bool HandleAllocated() const { return dc_ != nullptr; }

  TFont& Font() { return font_; }
  TPen& Pen() { return pen_; }
  TBrush& Brush() { return brush_; }
  TPoint PenPos() const { return penPos_; }
  void SetPenPos(TPoint p) { penPos_ = p; }

  void FillRect(const TRect& r);
  // A one-pixel frame in the brush colour.
  void FrameRect(const TRect& r);
  // Filled with the brush, outlined with the pen; right and bottom excluded.
  void Rectangle(int left, int top, int right, int bottom);
  void Rectangle(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
  void MoveTo(int x, int y) { penPos_ = {x, y}; }
  // The end pixel is not drawn.
  void LineTo(int x, int y);
  // Filled (pixel centres inside, alternate rule) then outlined.
  void Polygon(const std::vector<TPoint>& points);
  // Counter-clockwise along the ellipse in the box from the start radial
  // (x3, y3) to the end radial (x4, y4).
  void Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
  // Every other pixel of the rectangle's edge inverted.
  void DrawFocusRect(const TRect& r);

  void TextOut(int x, int y, const std::string& text);
  int TextWidth(const std::string& text);
  int TextHeight(const std::string& text);
  // Windows' DrawText: returns the text's height; with DT_CALCRECT sets the
  // rectangle's right and bottom and draws nothing.
  int DrawText(const std::string& text, TRect& rect, UINT flags);

  // The bitmap at (x, y); with the bitmap's Transparent set, its
  // TransparentColor is see-through.
  void Draw(int x, int y, TBitmap& bitmap);
  // Nearest pixel.
  void StretchDraw(const TRect& dest, TBitmap& bitmap);
  void CopyRect(const TRect& dest, TCanvas& source, const TRect& src);
  // Part `src` of the bitmap stretched to `dest`, `key` see-through when
  // keyed.
  void DrawBitmapPart(const TRect& dest, const TBitmap& bitmap, const TRect& src, bool keyed, uint32_t key);
  // The bitmap drawn greyed (as disabled images are), key see-through.
  void DrawGreyed(int x, int y, const TBitmap& bitmap, bool keyed, uint32_t key);

  TColor Pixel(int x, int y);
  void SetPixel(int x, int y, TColor color);

  // Device context state, as the Win32 layer keeps it.
  int SaveState();
  void RestoreState(int saved);

 private:
  friend class TextRenderer;
  void PlotPen(int x, int y);
  void FillSpan(int y, int x0, int x1);  // brush, [x0, x1)
  // Lays out (and with `draw` draws) one line; returns its width.
  int DrawTextLine(const std::string& line, int x, int y, bool prefix, int tabStop, bool draw);

  HDC dc_ = nullptr;
  TFont font_;
  TPen pen_;
  TBrush brush_;
  TPoint penPos_;
};

// A 32-bit bitmap (0x00RRGGBB pixels, top row first) with its own canvas.
class TBitmap : public TPersistent {
 public:
  TBitmap();
  TBitmap(int width, int height);
  ~TBitmap() override;
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetWidth(int w) { SetSize(w, height_); }
  void SetHeight(int h) { SetSize(width_, h); }
  // Keeps the pixels that still fit; new ones are black.
  void SetSize(int width, int height);
  bool Empty() const { return width_ <= 0 || height_ <= 0; }
  void Assign(const TBitmap& other);

  TCanvas& Canvas() { return canvas_; }
  // The bitmap's handle for the window layer (SetDIBits).
  HBITMAP Handle() const;
  uint32_t* Bits() { return pixels_.data(); }
  const uint32_t* Bits() const { return pixels_.data(); }
  uint32_t PixelAt(int x, int y) const { return pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_) + x]; }

  bool Transparent = false;
  // clDefault: the top-left pixel's colour.
  TColor TransparentColorValue = clDefault;
  TColor TransparentColor() const;

  // A BMP file image in memory; false (and unchanged) when it is not one.
  bool LoadFromMemory(const uint8_t* data, size_t size);
  // A bitmap resource of the module by name; false when there is none.
  bool LoadFromResourceName(HINSTANCE instance, const std::string& name);

 private:
  int width_ = 0, height_ = 0;
  std::vector<uint32_t> pixels_;
  HDC dc_ = nullptr;
  TCanvas canvas_;
};

// Bitmap resources: a table of named BMP file images that a library links
// in; LoadFromResourceName finds them. Names are compared without case.
struct BitmapResource {
  const char* name;
  const uint8_t* data;
  size_t size;
};
void RegisterBitmapResources(const BitmapResource* table, size_t count);
const BitmapResource* FindBitmapResource(const std::string& name);

}  // namespace forms
