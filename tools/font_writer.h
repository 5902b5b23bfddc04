#pragma once
// Writes the engine's bitmap font resources: a 4-byte header (glyph count,
// page count, line height), 24-byte glyph records, then the page pictures as
// engine image files one after the other.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "tools/image_writer.h"

namespace testkit {

struct FontGlyph {
  uint16_t code = 0;
  int8_t height = 0;
  int8_t width = 0;
  int8_t bearing = 0;
  int8_t rise = 0;
  int8_t advance = 0;
  // Texture coordinates: left and top edge, right and bottom edge.
  float left = 0.0f;
  float top = 0.0f;
  float right = 0.0f;
  float bottom = 0.0f;
};

// `pageCount` is what the header claims; -1 stores the number of pages given.
Bytes BuildFont(int lineHeight, std::span<const FontGlyph> glyphs, std::span<const Bytes> pages,
                int pageCount = -1);

// A font whose characters are the given codes, each a cell of `cell` x `cell`
// pixels on one 32-bit raw page: width `cell` - 2, height `cell`, bearing 1,
// rise `cell` - 2, advance `cell`, line height `cell` + 2. Each cell is
// opaque white with a transparent one-pixel border.
Bytes BuildGridFont(std::u16string_view codes, int cell);

}  // namespace testkit
