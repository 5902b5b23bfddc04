#include "tools/font_writer.h"

#include <cstring>

namespace testkit {

namespace {

void PutFloat(Bytes& out, float value)
{
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  for (int i = 0; i < 4; ++i)
    out.push_back(uint8_t(bits >> (8 * i)));
}

}  // namespace

Bytes BuildFont(int lineHeight, std::span<const FontGlyph> glyphs, std::span<const Bytes> pages,
                int pageCount)
{
  Bytes out;
  const size_t count = glyphs.size();
  out.push_back(uint8_t(count));
  out.push_back(uint8_t(count >> 8));
  out.push_back(uint8_t(pageCount < 0 ? int(pages.size()) : pageCount));
  out.push_back(uint8_t(int8_t(lineHeight)));
  for (const FontGlyph& glyph : glyphs) {
    out.push_back(uint8_t(glyph.code));
    out.push_back(uint8_t(glyph.code >> 8));
    out.push_back(0);
    out.push_back(uint8_t(glyph.height));
    out.push_back(uint8_t(glyph.width));
    out.push_back(uint8_t(glyph.bearing));
    out.push_back(uint8_t(glyph.rise));
    out.push_back(uint8_t(glyph.advance));
    PutFloat(out, glyph.left);
    PutFloat(out, glyph.top);
    PutFloat(out, glyph.right);
    PutFloat(out, glyph.bottom);
  }
  for (const Bytes& page : pages)
    out.insert(out.end(), page.begin(), page.end());
  return out;
}

Bytes BuildGridFont(std::u16string_view codes, int cell)
{
  const int columns = 16;
  const int rows = int((codes.size() + columns - 1) / columns);
  int size = 8;
  while (size < columns * cell || size < rows * cell)
    size *= 2;
  Picture page(size, size);
  std::vector<FontGlyph> glyphs;
  for (size_t i = 0; i < codes.size(); ++i) {
    const int cx = int(i % columns) * cell;
    const int cy = int(i / columns) * cell;
    for (int y = 1; y < cell - 1; ++y)
      for (int x = 1; x < cell - 1; ++x)
        page.Set(cx + x, cy + y, 255, 255, 255, 255);
    FontGlyph glyph;
    glyph.code = codes[i];
    glyph.height = int8_t(cell);
    glyph.width = int8_t(cell - 2);
    glyph.bearing = 1;
    glyph.rise = int8_t(cell - 2);
    glyph.advance = int8_t(cell);
    glyph.left = float(cx) / float(size);
    glyph.top = float(cy) / float(size);
    glyph.right = float(cx + cell) / float(size);
    glyph.bottom = float(cy + cell) / float(size);
    glyphs.push_back(glyph);
  }
  ImageHeader header;
  header.width = size;
  header.height = size;
  header.alpha = 1;
  const Picture frames[] = {page};
  const Bytes pages[] = {BuildRawImageFile(header, frames)};
  return BuildFont(cell + 2, glyphs, pages);
}

}  // namespace testkit
