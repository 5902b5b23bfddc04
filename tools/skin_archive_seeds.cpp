// Writes seed skin archives for the fuzz corpus into a folder.
#include <cctype>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "tools/skin_archive_writer.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: skin_archive_seeds <folder>\n");
    return 2;
  }
  namespace tk = testkit;
  std::vector<tk::SkinValue> values = {
      tk::SkinInteger("SKIN2_FORMCOLOR", 0xE8E8E8), tk::SkinByte("SKIN2_BUTTONTRANS", 1),
      tk::SkinText("Author", "seed"), tk::SkinBitmap("SKIN2_BUTTON", tk::WriteBmp24(6, 2, std::vector<uint32_t>(12, 0x336699)))};
  auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(std::string(argv[1]) + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  };
  tk::ZipEntry e;
  e.data = tk::WriteSkinData(values);
  write("deflated", tk::WriteZip({e}));
  e.deflate = false;
  write("stored", tk::WriteZip({e}));
  // The entry point tries the password "secret".
  e.deflate = true;
  e.password = "secret";
  write("encrypted", tk::WriteZip({e}));
  e.dataDescriptor = true;
  write("encrypted_descriptor", tk::WriteZip({e}));
  tk::ZipEntry empty;
  empty.data = tk::WriteSkinData({});
  write("empty_chain", tk::WriteZip({empty}));

  // One archive of these values, and one per listed key with that key left
  // out, named after the key without its "SKIN2_".
  auto writeValues = [&](const std::string& name, const std::vector<tk::SkinValue>& values) {
    tk::ZipEntry entry;
    entry.data = tk::WriteSkinData(values);
    write(name, tk::WriteZip({entry}));
  };
  auto writeWithout = [&](const std::string& prefix, const std::vector<tk::SkinValue>& values,
                          std::initializer_list<size_t> keys) {
    for (size_t left : keys) {
      std::vector<tk::SkinValue> less;
      for (size_t i = 0; i < values.size(); ++i) {
        if (i != left) less.push_back(values[i]);
      }
      std::string name = prefix + values[left].name.substr(6);
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      writeValues(name, less);
    }
  };

  // Themes for the themed controls, whole and with one key left out.
  auto bmp = [](int w, int h, uint32_t c) {
    return tk::WriteBmp24(w, h, std::vector<uint32_t>(static_cast<size_t>(w) * h, c));
  };
  const std::vector<tk::SkinValue> theme = {
      tk::SkinBitmap("SKIN2_TITLEBAR1", bmp(6, 20, 0x203040)),
      tk::SkinBitmap("SKIN2_TITLEBAR2", bmp(20, 20, 0x304050)),
      tk::SkinBitmap("SKIN2_TITLEBAR3", bmp(5, 20, 0x405060)),
      tk::SkinBitmap("SKIN2_TITLEBAR4", bmp(4, 20, 0x506070)),
      tk::SkinBitmap("SKIN2_TITLEBAR5", bmp(12, 20, 0x607080)),
      tk::SkinBitmap("SKIN2_TITLEBUTTONS", bmp(8 * 12, 8, 0x708090)),
      tk::SkinByte("SKIN2_TITLEFIVESECT", 1),
      tk::SkinByte("SKIN2_TITLEBTNTRANS", 1),
      tk::SkinInteger("SKIN2_TITLEBARBUTTONPOSX", 3),
      tk::SkinInteger("SKIN2_TITLEBARBUTTONPOSY", 4),
      tk::SkinInteger("SKIN2_TITLEBARREGIONMINY", 0),
      tk::SkinInteger("SKIN2_TITLEBARREGIONMAXY", 19),
      tk::SkinInteger("SKIN2_CONTROLBORDERCOLOR", 0x0000FF),
      tk::SkinInteger("SKIN2_CONTROLCOLOR", 0x00FFFF),
      tk::SkinInteger("SKIN2_MENUITEMCOLOR", 0x112233)};
  writeValues("theme_full", theme);
  writeWithout("theme_without_", theme, {0, 5, 6, 8, 11, 12});

  // Themes for the themed form: title and bottom borders with see-through
  // runs cut into the window region, whole, with one key left out, and with
  // region limits beyond the bitmaps' rows.
  auto keyed = [](int w, int h, uint32_t c) {
    std::vector<uint32_t> px(static_cast<size_t>(w) * h, c);
    for (int y = 0; y < h; ++y) {
      for (int x = y % 3; x < w; x += 5) px[static_cast<size_t>(y) * w + x] = 0xFF00FF;
    }
    return tk::WriteBmp24(w, h, px);
  };
  const std::vector<tk::SkinValue> form = {
      tk::SkinInteger("SKIN2_TRANSCOLOR", 0xFF00FF),
      tk::SkinInteger("SKIN2_FORMCOLOR", 0xC0C0C0),
      tk::SkinBitmap("SKIN2_TITLEBAR1", keyed(8, 10, 0x336699)),
      tk::SkinBitmap("SKIN2_TITLEBAR2", keyed(4, 10, 0x336699)),
      tk::SkinBitmap("SKIN2_TITLEBAR3", keyed(8, 10, 0x336699)),
      tk::SkinBitmap("SKIN2_FORMLEFTBORDER", bmp(2, 4, 0x102030)),
      tk::SkinBitmap("SKIN2_FORMRIGHTBORDER", bmp(5, 4, 0x102030)),
      tk::SkinBitmap("SKIN2_FORMBOTTOMBORDER1", keyed(12, 6, 0x102030)),
      tk::SkinBitmap("SKIN2_FORMBOTTOMBORDER2", keyed(3, 6, 0x102030)),
      tk::SkinBitmap("SKIN2_FORMBOTTOMBORDER3", keyed(7, 6, 0x102030)),
      tk::SkinBitmap("SKIN2_TITLEBUTTONS", bmp(18 * 4, 4, 0x808080)),
      tk::SkinBitmap("SKIN2_MENUBAR", bmp(20, 22, 0x445566)),
      tk::SkinByte("SKIN2_BOTTOMBORDERTHREESECT", 1),
      tk::SkinByte("SKIN2_TITLEBARNEEDREGION", 1),
      tk::SkinByte("SKIN2_BOTTOMBORDERNEEDREGION", 1),
      tk::SkinInteger("SKIN2_TITLEBARREGIONMINY", 0),
      tk::SkinInteger("SKIN2_TITLEBARREGIONMAXY", 9),
      tk::SkinInteger("SKIN2_BOTTOMREGIONMINY", 1),
      tk::SkinInteger("SKIN2_BOTTOMREGIONMAXY", 5),
      tk::SkinInteger("SKIN2_MENUBARSTARTCOLOR", 0x223344)};
  writeValues("form_full", form);
  writeWithout("form_without_", form, {0, 2, 7, 9, 14, 16, 17});
  std::vector<tk::SkinValue> far = form;
  far[15] = tk::SkinInteger("SKIN2_TITLEBARREGIONMINY", -7);
  far[16] = tk::SkinInteger("SKIN2_TITLEBARREGIONMAXY", 100000);
  far[18] = tk::SkinInteger("SKIN2_BOTTOMREGIONMAXY", 2147483647);
  writeValues("form_limits_beyond_rows", far);
  return 0;
}
