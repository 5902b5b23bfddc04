#include "tools/menu_pictures.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace testkit {

namespace {

constexpr int kTga = 5;
constexpr int kImage = 4;

struct Colour {
  uint8_t r, g, b, a;
};

void Fill(Picture& picture, int x0, int y0, int x1, int y1, Colour c) {
  for (int y = std::max(0, y0); y < std::min(picture.height, y1); ++y)
    for (int x = std::max(0, x0); x < std::min(picture.width, x1); ++x) picture.Set(x, y, c.b, c.g, c.r, c.a);
}

Picture Solid(int width, int height, Colour c) {
  Picture picture(width, height);
  Fill(picture, 0, 0, width, height, c);
  return picture;
}

// A card: a light face with a darker rim.
Picture Card(int width, int height, Colour face, Colour rim) {
  Picture picture = Solid(width, height, rim);
  Fill(picture, 4, 4, width - 4, height - 4, face);
  return picture;
}

// The quadrilateral p0..p3 (even-odd, as the menu tests the mouse), moved
// by (dx, dy).
void FillRegion(Picture& picture, const int (&p)[8], int dx, int dy, Colour c) {
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      const int px = x - dx, py = y - dy;
      bool inside = false;
      for (int i = 0; i < 4; ++i) {
        const int ax = p[2 * i], ay = p[2 * i + 1];
        const int bx = p[(2 * i + 2) % 8], by = p[(2 * i + 3) % 8];
        if ((ay <= py && py < by) || (by <= py && py < ay)) {
          if (px < ax + (bx - ax) * (py - ay) / (by - ay)) inside = !inside;
        }
      }
      if (inside) picture.Set(x, y, c.b, c.g, c.r, c.a);
    }
  }
}

void Line(Picture& picture, int x0, int y0, int x1, int y1, int width, Colour c) {
  const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0)) + 1;
  for (int i = 0; i <= steps; ++i) {
    const int x = x0 + (x1 - x0) * i / steps, y = y0 + (y1 - y0) * i / steps;
    Fill(picture, x - width / 2, y - width / 2, x + (width + 1) / 2, y + (width + 1) / 2, c);
  }
}

NamedResource Tga(const char* name, const Picture& picture) {
  return {name, kTga, BuildTga(picture, TgaOptions{32, true, 0, {}})};
}

// A round 64 x 64 icon with a symbol: 0 tick, 1 cross, 2 left, 3 right.
Picture Icon(int symbol, Colour face) {
  Picture picture(64, 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const int d2 = (x - 32) * (x - 32) + (y - 32) * (y - 32);
      if (d2 <= 30 * 30) picture.Set(x, y, face.b, face.g, face.r, 255);
      if (d2 <= 30 * 30 && d2 > 27 * 27) picture.Set(x, y, 30, 30, 30, 255);
    }
  const Colour ink{250, 250, 240, 255};
  switch (symbol) {
    case 0:
      Line(picture, 18, 33, 28, 44, 5, ink);
      Line(picture, 28, 44, 46, 20, 5, ink);
      break;
    case 1:
      Line(picture, 20, 20, 44, 44, 5, ink);
      Line(picture, 44, 20, 20, 44, 5, ink);
      break;
    case 2:
      Line(picture, 42, 18, 22, 32, 5, ink);
      Line(picture, 22, 32, 42, 46, 5, ink);
      break;
    default:
      Line(picture, 22, 18, 42, 32, 5, ink);
      Line(picture, 42, 32, 22, 46, 5, ink);
      break;
  }
  return picture;
}

// The menu's hit areas, menu-relative (origin at screen 256, 128).
const int kMainRegions[5][8] = {
    {47, 146, 56, 176, 340, 152, 316, 125}, {51, 213, 60, 244, 366, 218, 338, 190},
    {53, 180, 55, 214, 367, 180, 356, 146}, {53, 247, 64, 279, 371, 251, 367, 216},
    {67, 311, 77, 347, 383, 322, 359, 287},
};
const int kSliders[4][4] = {
    {270, 194, 438, 232}, {262, 239, 428, 276}, {258, 273, 424, 311}, {249, 320, 415, 357}};

}  // namespace

std::vector<NamedResource> BuildMenuPictures(bool full) {
  std::vector<NamedResource> out;
  if (!full) {
    const Colour grey{90, 90, 90, 255};
    // The radio screen's tests place its buttons by these sizes.
    out.push_back(Tga("menu-ok", Solid(100, 32, grey)));
    out.push_back(Tga("menu-left", Solid(16, 16, grey)));
    out.push_back(Tga("menu-right", Solid(16, 16, grey)));
    for (const char* name : {"menu-bg-top", "menu-bg-btm", "menu-cancel", "menu-sel", "menu-mainc", "menu-maina", "menu-opt", "menu-optc", "menu-opta",
                             "menu-save", "menu-savec", "menu-savea", "menu-confirm"})
      out.push_back(Tga(name, Solid(8, 8, grey)));
    ImageHeader header;
    header.width = 8;
    header.height = 8;
    header.frameCount = 4;
    const Picture frames[4] = {Solid(8, 8, grey), Solid(8, 8, grey), Solid(8, 8, grey), Solid(8, 8, grey)};
    out.push_back({"menu_hand", kImage, BuildRawImageFile(header, frames)});
    return out;
  }

  // Two halves of a dark wood-coloured backdrop with a faint grain.
  for (int half = 0; half < 2; ++half) {
    Picture back(1024, 384);
    for (int y = 0; y < 384; ++y)
      for (int x = 0; x < 1024; ++x) {
        const int grain = int(8.0 * std::sin((x + 3 * (y + 384 * half)) * 0.05));
        back.Set(x, y, uint8_t(20 + grain / 2), uint8_t(32 + grain), uint8_t(48 + grain), 255);
      }
    out.push_back(Tga(half == 0 ? "menu-bg-top" : "menu-bg-btm", back));
  }
  out.push_back(Tga("menu-ok", Icon(0, {70, 150, 80, 255})));
  out.push_back(Tga("menu-cancel", Icon(1, {170, 60, 50, 255})));
  out.push_back(Tga("menu-left", Icon(2, {80, 100, 160, 255})));
  out.push_back(Tga("menu-right", Icon(3, {80, 100, 160, 255})));

  // The slider knob (drawn centred on the track) and the subtitle tick.
  Picture knob(64, 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const int d2 = (x - 32) * (x - 32) + (y - 32) * (y - 32);
      if (d2 <= 10 * 10) knob.Set(x, y, 40, 180, 230, 255);
    }
  out.push_back(Tga("menu-sel", knob));

  // The hand points right; its four frames lean a little differently.
  ImageHeader hand;
  hand.width = 64;
  hand.height = 64;
  hand.alpha = 1;
  hand.frameCount = 4;
  hand.frameRate = 4;
  std::vector<Picture> frames;
  for (int f = 0; f < 4; ++f) {
    Picture frame(64, 64);
    const int lean = f * 3;
    for (int y = 16; y < 48; ++y) {
      const int reach = 24 + (24 - std::abs(y - 32)) + lean;
      Fill(frame, 4, y, std::min(60, reach), y + 1, {235, 205, 170, 255});
    }
    frames.push_back(frame);
  }
  out.push_back({"menu_hand", kImage, BuildRawImageFile(hand, frames)});

  // The main page: a card at (234, 117) with its five entries marked where
  // the mouse finds them.
  const Colour paper{225, 215, 190, 255}, rim{120, 100, 70, 255};
  Picture mainFront = Card(420, 420, paper, rim);
  for (const auto& region : kMainRegions) FillRegion(mainFront, region, 256 - 234, 128 - 117, {190, 170, 130, 255});
  out.push_back(Tga("menu-maina", mainFront));
  out.push_back(Tga("menu-mainc", Solid(64, 64, {255, 240, 200, 255})));

  // The options page at (298, 143): the four slider tracks and the
  // subtitle box.
  Picture options = Card(460, 420, paper, rim);
  for (const auto& s : kSliders)
    Line(options, s[0] + 256 - 298, s[1] + 128 - 143, s[2] + 256 - 298, s[3] + 128 - 143, 4, {90, 70, 50, 255});
  Fill(options, 452 - 298 + 16, 460 - 143 + 16, 452 - 298 + 48, 460 - 143 + 48, {90, 70, 50, 255});
  Fill(options, 452 - 298 + 20, 460 - 143 + 20, 452 - 298 + 44, 460 - 143 + 44, paper);
  out.push_back(Tga("menu-opt", options));
  Picture optionsFront(460, 420);
  Fill(optionsFront, 0, 0, 460, 6, rim);
  out.push_back(Tga("menu-opta", optionsFront));
  out.push_back(Tga("menu-optc", Solid(64, 64, {255, 240, 200, 255})));

  // The savegame page at (254, 126): a card with the picture frame above
  // the description box.
  Picture save = Card(520, 500, paper, rim);
  Fill(save, 80, 40, 420, 220, {60, 60, 60, 255});
  Fill(save, 84, 330, 420, 400, {200, 190, 165, 255});
  out.push_back(Tga("menu-save", save));
  Picture saveFront(520, 500);
  Fill(saveFront, 84, 44, 416, 216, {40, 40, 40, 200});
  out.push_back(Tga("menu-savea", saveFront));
  out.push_back(Tga("menu-savec", Solid(64, 64, {255, 240, 200, 255})));

  // The yes/no card at (215, 228); its icons sit at (384, 356) and (489, 369).
  out.push_back(Tga("menu-confirm", Card(380, 240, paper, rim)));
  return out;
}

}  // namespace testkit
