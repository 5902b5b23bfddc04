#include "platform/forms/text.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

#include "platform/forms/graphics.h"

namespace forms::detail {
namespace {

constexpr const char* kRegular = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* kBold = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

// Windows-1252's characters 0x80 to 0x9F; the rest are Latin-1.
constexpr uint16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

struct SizedFace {
  FontMetrics metrics;
  std::unique_ptr<Glyph> glyphs[256];
};

class Library {
 public:
  Library() {
    if (FT_Init_FreeType(&lib_) != 0) Fail("FreeType does not start");
    for (int b = 0; b < 2; ++b) {
      if (FT_New_Face(lib_, b ? kBold : kRegular, 0, &faces_[b]) != 0) Fail(b ? kBold : kRegular);
    }
  }
  ~Library() {
    for (FT_Face f : faces_) FT_Done_Face(f);
    FT_Done_FreeType(lib_);
  }

  SizedFace& Get(const TFont& font) {
    int bold = (font.Style() & fsBold) ? 1 : 0;
    FT_Face face = faces_[bold];
    int ppem = PixelsPerEm(face, font.Height());
    auto key = std::make_pair(bold, ppem);
    auto it = sized_.find(key);
    if (it != sized_.end()) {
      Select(bold, ppem);
      return *it->second;
    }
    auto sized = std::make_unique<SizedFace>();
    Select(bold, ppem);
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    const double scale = static_cast<double>(ppem) / face->units_per_EM;
    // As Windows measures a cell: the OS/2 extents, rounded up.
    int ascent = os2 ? static_cast<int>(std::ceil(os2->usWinAscent * scale)) : ppem;
    int descent = os2 ? static_cast<int>(std::ceil(os2->usWinDescent * scale)) : ppem / 4;
    sized->metrics.ascent = ascent;
    sized->metrics.descent = descent;
    sized->metrics.height = ascent + descent;
    sized->metrics.aveCharWidth = os2 ? static_cast<int>(std::lround(os2->xAvgCharWidth * scale)) : ppem / 2;
    int under = static_cast<int>(std::lround(-face->underline_position * scale));
    sized->metrics.underlinePos = under < 1 ? 1 : under;
    SizedFace& out = *sized;
    sized_.emplace(key, std::move(sized));
    return out;
  }

  const Glyph& GlyphFor(const TFont& font, uint8_t ch) {
    SizedFace& sized = Get(font);
    auto& slot = sized.glyphs[ch];
    if (slot) return *slot;
    slot = std::make_unique<Glyph>();
    FT_Face face = faces_[(font.Style() & fsBold) ? 1 : 0];
    FT_ULong code = ch >= 0x80 && ch < 0xA0 ? kCp1252High[ch - 0x80] : ch;
    if (FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) == 0) {
      FT_GlyphSlot g = face->glyph;
      slot->width = static_cast<int>(g->bitmap.width);
      slot->rows = static_cast<int>(g->bitmap.rows);
      slot->left = g->bitmap_left;
      slot->top = g->bitmap_top;
      slot->advance = static_cast<int>(g->advance.x >> 6);
      slot->bits.resize(static_cast<size_t>(slot->width) * static_cast<size_t>(slot->rows));
      for (int y = 0; y < slot->rows; ++y) {
        const unsigned char* row = g->bitmap.buffer + y * g->bitmap.pitch;
        for (int x = 0; x < slot->width; ++x) {
          slot->bits[static_cast<size_t>(y) * static_cast<size_t>(slot->width) + x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
        }
      }
    }
    return *slot;
  }

 private:
  [[noreturn]] static void Fail(const char* what) {
    std::fprintf(stderr, "forms: cannot load the font %s\n", what);
    std::abort();
  }
  static int PixelsPerEm(FT_Face face, int height) {
    if (height < 0) return -height;
    if (height == 0) return 11;
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    int cell = os2 ? os2->usWinAscent + os2->usWinDescent : face->units_per_EM;
    int ppem = static_cast<int>(std::lround(static_cast<double>(height) * face->units_per_EM / cell));
    return ppem < 1 ? 1 : ppem;
  }
  void Select(int bold, int ppem) {
    if (selected_[bold] != ppem) {
      FT_Set_Pixel_Sizes(faces_[bold], 0, static_cast<FT_UInt>(ppem));
      selected_[bold] = ppem;
    }
  }

  FT_Library lib_ = nullptr;
  FT_Face faces_[2] = {nullptr, nullptr};
  int selected_[2] = {0, 0};
  std::map<std::pair<int, int>, std::unique_ptr<SizedFace>> sized_;
};

Library& Lib() {
  static Library lib;
  return lib;
}

}  // namespace

const FontMetrics& MetricsOf(const TFont& font) { return Lib().Get(font).metrics; }

const Glyph& GlyphOf(const TFont& font, uint8_t ch) { return Lib().GlyphFor(font, ch); }

int TextWidthOf(const TFont& font, const std::string& text) {
  int w = 0;
  for (char c : text) w += GlyphOf(font, static_cast<uint8_t>(c)).advance;
  return w;
}

}  // namespace forms::detail
