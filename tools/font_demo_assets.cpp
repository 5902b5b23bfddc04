// font_demo_assets <output folder> [<TrueType font file>]
// Writes the sample game's interface pictures (screens, top band, busy
// indicator, cursors, hint icons) and its five fonts into the folder. With a font file the
// glyphs are rasterised from it, else they are plain boxes.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/font_demo.h"
#include "tools/font_writer.h"

#ifdef TARVEL_HAVE_FREETYPE
#include <ft2build.h>
#include FT_FREETYPE_H
#endif

namespace {

struct FontSpec {
  const char* name;
  int pixels;
};
constexpr FontSpec kFonts[] = {{"font1", 18}, {"font2", 14}, {"font-pda0", 13}, {"font-pda1", 16}, {"font-hand", 20}};

// Printable ASCII and Latin-1.
std::u16string Characters()
{
  std::u16string codes;
  for (char16_t c = 32; c < 127; ++c)
    codes.push_back(c);
  for (char16_t c = 160; c < 256; ++c)
    codes.push_back(c);
  return codes;
}

#ifdef TARVEL_HAVE_FREETYPE
// Glyphs on one 512 x 512 page, white with the coverage as alpha.
testkit::Bytes Rasterise(FT_Face face, int pixels, std::string* error)
{
  FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixels));
  const int size = 512;
  testkit::Picture page(size, size);
  std::vector<testkit::FontGlyph> glyphs;
  int penX = 1;
  int penY = 1;
  int rowHeight = 0;
  for (char16_t code : Characters()) {
    if (FT_Load_Char(face, code, FT_LOAD_RENDER) != 0)
      continue;
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    const int w = int(bitmap.width);
    const int h = int(bitmap.rows);
    if (penX + w + 1 > size) {
      penX = 1;
      penY += rowHeight + 1;
      rowHeight = 0;
    }
    if (penY + h + 1 > size) {
      *error = "the glyphs do not fit on one page";
      return {};
    }
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        page.Set(penX + x, penY + y, 255, 255, 255, bitmap.buffer[y * bitmap.pitch + x]);
    testkit::FontGlyph glyph;
    glyph.code = code;
    glyph.height = int8_t(h);
    glyph.width = int8_t(w);
    glyph.bearing = int8_t(slot->bitmap_left);
    glyph.rise = int8_t(slot->bitmap_top);
    glyph.advance = int8_t(slot->advance.x >> 6);
    // The device samples a pixel at its corner, so a quad whose corner
    // sits on the texel's edge takes each pixel half from its neighbours
    // (holes fill, strokes thicken): the coordinates sit half a texel in,
    // which puts every pixel on its texel's centre at the 1:1 size.
    glyph.left = (float(penX) + 0.5f) / float(size);
    glyph.top = (float(penY) + 0.5f) / float(size);
    glyph.right = (float(penX + w) + 0.5f) / float(size);
    glyph.bottom = (float(penY + h) + 0.5f) / float(size);
    glyphs.push_back(glyph);
    penX += w + 1;
    rowHeight = std::max(rowHeight, h);
  }
  testkit::ImageHeader header;
  header.width = size;
  header.height = size;
  header.alpha = 1;
  const testkit::Picture frames[] = {page};
  const testkit::Bytes pages[] = {testkit::BuildRawImageFile(header, frames)};
  return testkit::BuildFont(pixels * 5 / 4, glyphs, pages);
}
#endif

}  // namespace

int main(int argc, char** argv)
{
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: font_demo_assets <output folder> [<font file>]\n");
    return 2;
  }
  const std::filesystem::path shared = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(shared, ec);
  for (const testkit::NamedResource& resource : testkit::BuildInterfaceResources(true)) {
    const std::string file = resource.name + (resource.type == 5 ? ".tga" : resource.type == 7 ? ".act" : ".image");
    if (!testkit::WriteBytes((shared / file).c_str(), resource.data)) {
      std::fprintf(stderr, "font_demo_assets: cannot write %s\n", file.c_str());
      return 1;
    }
  }
#ifdef TARVEL_HAVE_FREETYPE
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  if (argc == 3 && (FT_Init_FreeType(&library) != 0 || FT_New_Face(library, argv[2], 0, &face) != 0)) {
    std::fprintf(stderr, "font_demo_assets: cannot open %s\n", argv[2]);
    return 1;
  }
#else
  if (argc == 3)
    std::fprintf(stderr, "font_demo_assets: built without FreeType; writing box fonts\n");
#endif
  for (const FontSpec& font_entry : kFonts) {
    testkit::Bytes font;
#ifdef TARVEL_HAVE_FREETYPE
    if (face) {
      std::string error;
      font = Rasterise(face, font_entry.pixels, &error);
      if (font.empty()) {
        std::fprintf(stderr, "font_demo_assets: %s: %s\n", font_entry.name, error.c_str());
        return 1;
      }
    }
#endif
    if (font.empty())
      font = testkit::BuildGridFont(Characters(), font_entry.pixels);
    if (!testkit::WriteBytes((shared / font_entry.name).c_str(), font)) {
      std::fprintf(stderr, "font_demo_assets: cannot write %s\n", font_entry.name);
      return 1;
    }
  }
#ifdef TARVEL_HAVE_FREETYPE
  if (face)
    FT_Done_Face(face);
  if (library)
    FT_Done_FreeType(library);
#endif
  return 0;
}
