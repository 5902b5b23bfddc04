// Glyphs and font metrics from FreeType, in monochrome mode, cached per
// face and pixel size. Characters are Windows-1252 bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace forms {
class TFont;
}

namespace forms::detail {

struct Glyph {
  int width = 0, rows = 0;  // the bitmap's size
  int left = 0, top = 0;    // from the pen position on the baseline
  int advance = 0;
  std::vector<uint8_t> bits;  // 1 for an ink pixel, row by row
};

struct FontMetrics {
  int ascent = 0;   // baseline below the cell's top
  int descent = 0;
  int height = 0;   // ascent + descent: the cell height
  int aveCharWidth = 0;
  int underlinePos = 1;  // below the baseline
};

class FontCache;
// The face and size a font names; valid until the next call with another
// size is not guaranteed: use at once.
const FontMetrics& MetricsOf(const TFont& font);
const Glyph& GlyphOf(const TFont& font, uint8_t ch);
int TextWidthOf(const TFont& font, const std::string& text);

}  // namespace forms::detail
