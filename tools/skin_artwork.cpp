// Draws the built-in styles' bitmaps (plain shapes, borders and gradients)
// and writes them as a C++ table of named BMP file images, which the
// skinned control library links in as its bitmap resources.
//   skin_artwork <output.cpp>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tools/skin_archive_writer.h"

namespace {

constexpr uint32_t kKey = 0xFF00FF;  // see-through in transparent styles

struct Image {
  int w, h;
  std::vector<uint32_t> px;
  Image(int w_, int h_, uint32_t fill = 0) : w(w_), h(h_), px(static_cast<size_t>(w_ * h_), fill) {}
  void Set(int x, int y, uint32_t c) {
    if (x >= 0 && y >= 0 && x < w && y < h) px[static_cast<size_t>(y * w + x)] = c;
  }
  void Fill(int x0, int y0, int x1, int y1, uint32_t c) {
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) Set(x, y, c);
    }
  }
  void Frame(int x0, int y0, int x1, int y1, uint32_t c) {
    for (int x = x0; x < x1; ++x) Set(x, y0, c), Set(x, y1 - 1, c);
    for (int y = y0; y < y1; ++y) Set(x0, y, c), Set(x1 - 1, y, c);
  }
  // Top colour to bottom colour.
  void Gradient(int x0, int y0, int x1, int y1, uint32_t top, uint32_t bottom) {
    for (int y = y0; y < y1; ++y) {
      int t = y1 - y0 > 1 ? (y - y0) * 255 / (y1 - y0 - 1) : 0;
      uint32_t c = 0;
      for (int s = 0; s < 24; s += 8) {
        int a = static_cast<int>((top >> s) & 0xFF), b = static_cast<int>((bottom >> s) & 0xFF);
        c |= static_cast<uint32_t>(a + (b - a) * t / 255) << s;
      }
      for (int x = x0; x < x1; ++x) Set(x, y, c);
    }
  }
  void Line(int x0, int y0, int x1, int y1, uint32_t c) {
    int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1, dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1, err = dx + dy;
    for (;;) {
      Set(x0, y0, c);
      if (x0 == x1 && y0 == y1) break;
      int e2 = 2 * err;
      if (e2 >= dy) err += dy, x0 += sx;
      if (e2 <= dx) err += dx, y0 += sy;
    }
  }
  void Blit(const Image& src, int dx, int dy) {
    for (int y = 0; y < src.h; ++y) {
      for (int x = 0; x < src.w; ++x) Set(dx + x, dy + y, src.px[static_cast<size_t>(y * src.w + x)]);
    }
  }
};

uint32_t Mix(uint32_t a, uint32_t b, int t) {  // t of 255 towards b
  uint32_t c = 0;
  for (int s = 0; s < 24; s += 8) {
    int x = static_cast<int>((a >> s) & 0xFF), y = static_cast<int>((b >> s) & 0xFF);
    c |= static_cast<uint32_t>(x + (y - x) * t / 255) << s;
  }
  return c;
}

struct Style {
  const char* word;
  uint32_t border, light, dark, accent, title;  // 0x00RRGGBB
  bool transparent;                             // rounded corners see-through
};

// Colours in 0x00RRGGBB.
const Style kStyles[] = {
    {"PEARL", 0x7F7F7F, 0xFFFFFF, 0xD6D6D6, 0x3973C4, 0xE7E7E7, true},
    {"MEADOW", 0x002CC8, 0xF4F8E8, 0xB6D39A, 0x4E8F2A, 0xEFEBDE, false},
    {"OCEAN", 0x000000, 0xF2F6FB, 0xB7C9E2, 0x444AA0, 0xE8E8E8, false},
    {"EMBER", 0x000000, 0xFFF4EC, 0xE8B090, 0x2D30C4, 0xFBFBFB, false},
    {"GLACIER", 0x000000, 0xFFFFFF, 0xC6DCEC, 0x5E5EEC, 0xE7E7E7, true},
};

constexpr int kButtonW = 80, kButtonH = 27;

// Three frames: normal, mouse on, pressed.
Image ButtonStrip(const Style& s) {
  Image img(3 * kButtonW, kButtonH);
  for (int f = 0; f < 3; ++f) {
    int x0 = f * kButtonW, x1 = x0 + kButtonW;
    uint32_t top = f == 2 ? s.dark : f == 1 ? Mix(s.light, s.accent, 40) : s.light;
    uint32_t bottom = f == 2 ? s.light : f == 1 ? Mix(s.dark, s.accent, 60) : s.dark;
    img.Gradient(x0 + 1, 1, x1 - 1, kButtonH - 1, top, bottom);
    img.Frame(x0, 0, x1, kButtonH, f == 1 ? s.accent : s.border);
    if (s.transparent) {
      // Rounded corners: the outer pixel of each corner shows through.
      for (int cx : {x0, x1 - 1}) {
        for (int cy : {0, kButtonH - 1}) img.Set(cx, cy, kKey);
      }
    }
  }
  return img;
}

// Four frames: checked, unchecked, checked disabled, unchecked disabled.
Image ToggleStrip(const Style& s, bool round) {
  constexpr int kSide = 13;
  Image img(4 * kSide, kSide, kKey);
  for (int f = 0; f < 4; ++f) {
    int x0 = f * kSide;
    bool checked = f == 0 || f == 2, disabled = f >= 2;
    uint32_t border = disabled ? 0xA0A0A0 : s.border;
    uint32_t ink = disabled ? 0xA0A0A0 : s.accent;
    if (round) {
      for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
          int dx = 2 * x - 12, dy = 2 * y - 12, d = dx * dx + dy * dy;
          if (d <= 144) img.Set(x0 + x, y, d >= 100 ? border : (disabled ? 0xF0F0F0 : s.light));
          if (checked && d <= 24) img.Set(x0 + x, y, ink);
        }
      }
      continue;
    }
    img.Gradient(x0 + 1, 1, x0 + kSide - 1, kSide - 1, disabled ? 0xF0F0F0 : s.light, disabled ? 0xE0E0E0 : s.dark);
    img.Frame(x0, 0, x0 + kSide, kSide, border);
    if (checked) {
      img.Line(x0 + 3, 6, x0 + 5, 8, ink);
      img.Line(x0 + 5, 8, x0 + 9, 4, ink);
      img.Line(x0 + 3, 7, x0 + 5, 9, ink);
      img.Line(x0 + 5, 9, x0 + 9, 5, ink);
    }
  }
  return img;
}

// Eighteen frames: six buttons in the order the title bar reads them
// (control box, help, maximise, restore, minimise, close), each in three
// states (normal, mouse on, pressed).
enum TitleGlyph { kControlBox, kHelp, kMaximise, kRestore, kMinimise, kClose };

Image TitleButtonStrip(const Style& s) {
  constexpr int kSide = 21;
  Image img(18 * kSide, kSide, kKey);
  for (int f = 0; f < 18; ++f) {
    int x0 = f * kSide, kind = f / 3, state = f % 3;
    uint32_t top = state == 2 ? s.dark : state == 1 ? Mix(s.light, s.accent, 60) : s.light;
    uint32_t bottom = state == 2 ? s.light : s.dark;
    img.Gradient(x0 + 1, 1, x0 + kSide - 1, kSide - 1, top, bottom);
    img.Frame(x0, 0, x0 + kSide, kSide, s.border);
    uint32_t ink = kind == kClose ? 0xC03030 : 0x202020;
    switch (kind) {
      case kControlBox:  // the system menu: a small window with its bar
        img.Fill(x0 + 5, 5, x0 + 16, 16, s.accent);
        img.Fill(x0 + 7, 9, x0 + 14, 14, s.light);
        break;
      case kHelp:  // "?"
        img.Line(x0 + 8, 6, x0 + 12, 6, ink);
        img.Line(x0 + 12, 6, x0 + 12, 10, ink);
        img.Line(x0 + 12, 10, x0 + 10, 12, ink);
        img.Set(x0 + 10, 15, ink);
        break;
      case kMaximise:  // one window with a thick top
        img.Frame(x0 + 5, 5, x0 + 16, 15, ink);
        img.Fill(x0 + 5, 6, x0 + 16, 7, ink);
        break;
      case kRestore:  // two overlapping windows
        img.Frame(x0 + 5, 8, x0 + 13, 15, ink);
        img.Frame(x0 + 8, 5, x0 + 16, 12, ink);
        break;
      case kMinimise:  // a bar at the bottom
        img.Fill(x0 + 6, 13, x0 + 15, 15, ink);
        break;
      default:  // close: a cross
        img.Line(x0 + 6, 6, x0 + 14, 14, ink);
        img.Line(x0 + 14, 6, x0 + 6, 14, ink);
        img.Line(x0 + 7, 6, x0 + 15, 14, ink);
        img.Line(x0 + 15, 6, x0 + 7, 14, ink);
        break;
    }
  }
  return img;
}

// Title bar pieces: left and right ends, and the client part repeated between.
Image TitlePiece(const Style& s, int part) {
  constexpr int kHeight = 26;
  Image img(part == 1 ? 16 : 10, kHeight);
  img.Gradient(0, 0, img.w, kHeight, Mix(s.accent, 0xFFFFFF, 120), s.accent);
  for (int x = 0; x < img.w; ++x) img.Set(x, 0, s.border);
  if (part == 0) {
    for (int y = 0; y < kHeight; ++y) img.Set(0, y, s.border);
    if (s.transparent) img.Set(0, 0, kKey), img.Set(1, 0, kKey), img.Set(0, 1, kKey);
  }
  if (part == 2) {
    for (int y = 0; y < kHeight; ++y) img.Set(img.w - 1, y, s.border);
    if (s.transparent) img.Set(img.w - 1, 0, kKey), img.Set(img.w - 2, 0, kKey), img.Set(img.w - 1, 1, kKey);
  }
  return img;
}

// Four message icons in the order the message box reads them: warning (a
// yellow triangle with "!"), stop (a red disc with a cross), information
// (a blue disc with "i") and help (a green disc with "?").
Image MessageIcons() {
  constexpr uint32_t kWhite = 0xFFFFFF, kBlack = 0x000000;
  Image img(4 * 32, 32, kWhite);
  auto disc = [&](int x0, uint32_t colour) {
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 32; ++x) {
        int dx = 2 * x - 31, dy = 2 * y - 31;
        if (dx * dx + dy * dy <= 28 * 28) img.Set(x0 + x, y, colour);
      }
    }
  };
  // Warning: the triangle's sides widen by one pixel every two rows.
  for (int y = 3; y < 29; ++y) {
    const int half = (y - 3) / 2 + 1;
    img.Fill(16 - half, y, 16 + half, y + 1, 0xE8B800);
  }
  img.Fill(15, 10, 17, 21, kBlack);
  img.Fill(15, 23, 17, 26, kBlack);
  // Stop.
  disc(32, 0xD02020);
  for (int d = 0; d < 14; ++d) {
    img.Fill(32 + 9 + d, 9 + d, 32 + 11 + d, 10 + d, kWhite);
    img.Fill(32 + 21 - d, 9 + d, 32 + 23 - d, 10 + d, kWhite);
  }
  // Information.
  disc(64, 0x2050D0);
  img.Fill(64 + 14, 7, 64 + 18, 11, kWhite);
  img.Fill(64 + 14, 13, 64 + 18, 25, kWhite);
  // Help.
  disc(96, 0x209040);
  img.Fill(96 + 11, 7, 96 + 21, 10, kWhite);
  img.Fill(96 + 18, 10, 96 + 21, 15, kWhite);
  img.Fill(96 + 14, 15, 96 + 21, 18, kWhite);
  img.Fill(96 + 14, 18, 96 + 17, 20, kWhite);
  img.Fill(96 + 14, 22, 96 + 17, 25, kWhite);
  return img;
}

struct Named {
  std::string name;
  Image image;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: skin_artwork <output.cpp>\n");
    return 2;
  }
  std::vector<Named> all;
  for (const Style& s : kStyles) {
    std::string w = s.word;
    all.push_back({w + "_BUTTON", ButtonStrip(s)});
    all.push_back({w + "_CHECKBOX", ToggleStrip(s, false)});
    all.push_back({w + "_RADIOBUTTON", ToggleStrip(s, true)});
    all.push_back({w + "_TITLEBTN", TitleButtonStrip(s)});
    all.push_back({w + "_TITLE_LEFT", TitlePiece(s, 0)});
    all.push_back({w + "_TITLE_CLIENT", TitlePiece(s, 1)});
    all.push_back({w + "_TITLE_RIGHT", TitlePiece(s, 2)});
  }
  all.push_back({"MSGDLG", MessageIcons()});
  // Menus in Pearl: a selected item's and the plain items' strip.
  Image select(16, 20);
  select.Gradient(0, 0, 16, 20, 0xFFE7A5, 0xF7B95A);
  select.Frame(0, 0, 16, 20, 0x3973C4);
  all.push_back({"PEARL_MENU_SELECT", select});
  Image menuBar(16, 20);
  menuBar.Gradient(0, 0, 16, 20, 0xFFFFFF, 0xD6D6D6);
  all.push_back({"PEARL_MENU_BAR", menuBar});
  // Combo box buttons, stretched over the button: Pearl's gets the arrow
  // drawn over it, Meadow's carries its own.
  Image pearlCombo(16, 17);
  pearlCombo.Gradient(0, 0, 16, 17, 0xFFFFFF, 0xC6D3F7);
  pearlCombo.Frame(0, 0, 16, 17, 0x7F9DB9);
  all.push_back({"PEARL_COMBOBOX_BUTTON", pearlCombo});
  Image meadowCombo(16, 17, 0xB5DDA4);
  meadowCombo.Frame(0, 0, 16, 17, 0x4E8C3A);
  for (int row = 0; row < 4; ++row) meadowCombo.Fill(4 + row, 7 + row, 12 - row, 8 + row, 0x25561A);
  all.push_back({"MEADOW_COMBOBOX_BUTTON", meadowCombo});
  // White is the menus' see-through colour for the check mark.
  Image check(16, 16, 0xFFFFFF);
  check.Line(3, 8, 6, 11, 0);
  check.Line(6, 11, 12, 5, 0);
  check.Line(3, 9, 6, 12, 0);
  check.Line(6, 12, 12, 6, 0);
  all.push_back({"MENU_CHECKED", check});
  // The form backgrounds of Pearl and Ember, tiled as brush patterns.
  Image pearlBack(8, 8, 0xE7E7E7);
  pearlBack.Set(0, 0, 0xD9D9D9);
  pearlBack.Set(4, 4, 0xD9D9D9);
  all.push_back({"PEARL_FORM_BACKGROUND", pearlBack});
  Image emberBack(8, 8, 0xFBFBFB);
  emberBack.Line(0, 7, 7, 0, 0xF6E8DE);
  all.push_back({"EMBER_FORM_BACKGROUND", emberBack});
  Image icon(32, 32, 0x444AA0);
  icon.Frame(0, 0, 32, 32, 0x000000);
  icon.Fill(8, 8, 24, 24, 0xF2F6FB);
  all.push_back({"MAINICON", icon});

  std::string out =
      "// Generated by tools/skin_artwork: the built-in styles' bitmaps as BMP\n"
      "// file images. Do not edit.\n"
      "#include <cstddef>\n#include <cstdint>\n\n#include \"platform/forms/graphics.h\"\n\nnamespace {\n";
  for (size_t i = 0; i < all.size(); ++i) {
    std::vector<uint8_t> bmp = testkit::WriteBmp24(all[i].image.w, all[i].image.h, all[i].image.px);
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "literal" + std::string.
    out += "const uint8_t kImage";
    out += std::to_string(i);
    out += "[] = {";
    for (size_t j = 0; j < bmp.size(); ++j) {
      if (j % 24 == 0) out += "\n ";
      out += ' ';
      out += std::to_string(bmp[j]);
      out += ',';
    }
    out += "\n};\n";
  }
  out += "}  // namespace\n\nnamespace skin {\n\nextern const forms::BitmapResource kBuiltInBitmaps[] = {\n";
  for (size_t i = 0; i < all.size(); ++i) {
    out += "    {\"" + all[i].name + "\", kImage" + std::to_string(i) + ", sizeof kImage" + std::to_string(i) + "},\n";
  }
  out += "};\nextern const size_t kBuiltInBitmapCount = " + std::to_string(all.size()) + ";\n\n}  // namespace skin\n";
  std::ofstream(argv[1]) << out;
  return 0;
}
