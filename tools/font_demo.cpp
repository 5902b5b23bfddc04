#include "tools/font_demo.h"

#include "tools/menu_pictures.h"
#include "tools/mobile_actor_writer.h"

#include <cstdlib>

namespace testkit {

namespace {

constexpr int kTga = 5;
constexpr int kImage = 4;

Picture Solid(int width, int height, uint8_t grey, uint8_t alpha)
{
  Picture picture(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      picture.Set(x, y, grey, grey, grey, alpha);
  return picture;
}

NamedResource Tga(const char* name, const Picture& picture)
{
  return {name, kTga, BuildTga(picture, TgaOptions{32, true, 0, {}})};
}

// A cursor of size × size: an outlined shape whose tip is the pointer
// offset; `shape` picks arrow (tip top-left) or ring (tip in the middle).
NamedResource Cursor(const char* name, int size, bool ring, uint8_t r, uint8_t g, uint8_t b)
{
  Picture picture(size, size);
  const int c = size / 2;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      bool inside;
      bool edge;
      if (ring) {
        const int d2 = (x - c) * (x - c) + (y - c) * (y - c);
        const int outer = (c - 1) * (c - 1);
        const int inner = (c - 4) * (c - 4);
        inside = d2 <= outer && d2 >= inner;
        edge = inside && (d2 > (c - 2) * (c - 2) || d2 < (c - 3) * (c - 3));
      } else {
        inside = x <= y && y < size - x / 2;
        edge = inside && (x == 0 || x == y || y + 1 >= size - x / 2);
      }
      if (inside)
        picture.Set(x, y, edge ? 0 : b, edge ? 0 : g, edge ? 0 : r, 255);
    }
  }
  ImageHeader header;
  header.width = size;
  header.height = size;
  header.alpha = 1;
  header.x = ring ? c : 0;
  header.y = ring ? c : 0;
  const Picture frames[] = {picture};
  return {name, kImage, BuildRawImageFile(header, frames)};
}

// A hint icon: an opaque square badge with a dark rim and a dark capital
// letter drawn from a 3 × 5 pattern (rows top down, bit 2 the left column).
NamedResource HintIcon(const char* name, int size, char letter, uint8_t r, uint8_t g, uint8_t b)
{
  static const struct {
    char letter;
    uint8_t rows[5];
  } kLetters[] = {
      {'E', {7, 4, 6, 4, 7}}, {'H', {5, 5, 7, 5, 5}}, {'S', {7, 4, 7, 1, 7}}, {'P', {7, 5, 7, 4, 4}}};
  const uint8_t* rows = kLetters[0].rows;
  for (const auto& l : kLetters)
    if (l.letter == letter)
      rows = l.rows;
  Picture picture(size, size);
  const int scale = size / 8;   // the letter takes 3/8 by 5/8 of the badge
  const int left = (size - 3 * scale) / 2;
  const int top = (size - 5 * scale) / 2;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const bool rim = x == 0 || y == 0 || x == size - 1 || y == size - 1;
      bool ink = false;
      if (scale > 0 && x >= left && x < left + 3 * scale && y >= top && y < top + 5 * scale)
        ink = rows[(y - top) / scale] & (4 >> ((x - left) / scale));
      if (rim || ink)
        picture.Set(x, y, 24, 24, 24, 255);
      else
        picture.Set(x, y, b, g, r, 255);
    }
  }
  return Tga(name, picture);
}

// The inventory bar's pictures. The arrows hold two 64-wide halves (plain,
// then lit) of a triangle pointing left or right; the highlight holds a
// frame for every item cell, the cells starting 64 from the left.
void AddInventoryPictures(std::vector<NamedResource>& out, bool full)
{
  if (!full) {
    for (const char* name : {"ui_inv_bg", "ui_inv_hilite", "ui_inv_arrow_left", "ui_inv_arrow_right"})
      out.push_back(Tga(name, Solid(8, 8, 90, 255)));
    return;
  }
  Picture bar(1024, 128);
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 1024; ++x) {
      const uint8_t v = y < 2 ? 170 : uint8_t(30 + y / 8);
      bar.Set(x, y, uint8_t(v + 10), v, v, 220);
    }
  out.push_back(Tga("ui_inv_bg", bar));
  Picture hilite(1024, 128);
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 1024; ++x) {
      const int cx = (x + 64) % 128;
      const bool frame = cx < 3 || cx > 124 || y < 3 || y > 124;
      hilite.Set(x, y, 90, 210, 240, frame ? 255 : 40);
    }
  out.push_back(Tga("ui_inv_hilite", hilite));
  for (bool right : {false, true}) {
    Picture arrow(128, 128);
    for (int half = 0; half < 2; ++half)
      for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 64; ++x) {
          // The tip at the outer edge, the base 40 units in.
          const int fromTip = right ? 52 - x : x - 12;
          const bool inside = fromTip >= 0 && fromTip <= 40 && std::abs(y - 64) <= fromTip;
          const uint8_t v = half ? 255 : 150;
          arrow.Set(half * 64 + x, y, v, v, v, inside ? 255 : 0);
        }
    out.push_back(Tga(right ? "ui_inv_arrow_right" : "ui_inv_arrow_left", arrow));
  }
}

// A plain panel: a fill with a dark rim one pixel wide.
Picture Panel(int width, int height, uint8_t r, uint8_t g, uint8_t b, uint8_t alpha)
{
  Picture picture(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const bool rim = x == 0 || y == 0 || x == width - 1 || y == height - 1;
      if (rim)
        picture.Set(x, y, 24, 24, 24, 255);
      else
        picture.Set(x, y, b, g, r, alpha);
    }
  return picture;
}

}  // namespace

std::vector<NamedResource> BuildInterfaceResources(bool full)
{
  const int screen = full ? 64 : 8;
  std::vector<NamedResource> out;
  out.push_back(Tga("blackscreen", Solid(screen, screen, 0, 255)));
  out.push_back(Tga("whitescreen", Solid(screen, screen, 255, 255)));
  out.push_back(Tga("grey80", Solid(screen, screen, 80, 255)));
  Picture band = full ? Picture(1024, 128) : Solid(8, 8, 40, 255);
  if (full) {
    // A dark band that lightens towards the rule along its lower edge.
    for (int y = 0; y < 128; ++y)
      for (int x = 0; x < 1024; ++x) {
        const uint8_t v = y >= 124 ? 150 : uint8_t(16 + y / 4);
        band.Set(x, y, uint8_t(v + 8), v, v, 255);
      }
  }
  out.push_back(Tga("ui_band_top", band));
  out.push_back(Tga("cd", Solid(full ? 32 : 8, full ? 32 : 8, 200, 160)));
  const int size = full ? 32 : 8;
  struct Entry {
    const char* name;
    bool ring;
    uint8_t r, g, b;
  };
  static const Entry kCursors[] = {
      {"cursor-idle", false, 255, 255, 255},        {"cursor-move", false, 120, 220, 120},
      {"cursor-leave-room", false, 240, 200, 80},   {"cursor-object", true, 255, 255, 255},
      {"cursor-use", true, 120, 200, 255},          {"cursor-use-inv", true, 120, 255, 160},
      {"cursor-use-inv-not", true, 255, 110, 110},  {"cursor-magnify", true, 255, 240, 160},
      {"cursor-magnify-exit", true, 200, 160, 255}, {"cursor-chat", false, 255, 180, 220},
      {"cursor-pda", false, 160, 240, 240},
  };
  for (const Entry& e : kCursors)
    out.push_back(Cursor(e.name, size, e.ring, e.r, e.g, e.b));
  out.push_back({"walk_arrow", 7, BuildWalkArrowActor()});
  out.push_back(HintIcon("hint_exit", size, 'E', 240, 200, 80));
  out.push_back(HintIcon("hint_hand", size, 'H', 230, 230, 230));
  out.push_back(HintIcon("hint_speak", size, 'S', 255, 180, 220));
  out.push_back(HintIcon("hint_path", size, 'P', 120, 220, 120));
  AddInventoryPictures(out, full);
  // The PDA's pictures, at the sizes its layout uses.
  struct PdaPicture {
    const char* name;
    int width, height;
    uint8_t r, g, b, alpha;
  };
  static const PdaPicture kPda[] = {
      {"PDA_background", 320, 440, 70, 80, 90, 255},      {"pda-dictaphon", 98, 98, 120, 200, 255, 255},
      {"pda-newmail", 98, 98, 255, 220, 120, 255},        {"pda-newaddress", 98, 98, 160, 240, 160, 255},
      {"PDA_phone_highlight", 80, 36, 200, 220, 240, 255}, {"PDA_dikta_highlight", 80, 36, 200, 220, 240, 255},
      {"PDA_mail_highlight", 80, 36, 200, 220, 240, 255}, {"PDA_adressbook", 48, 48, 160, 240, 160, 255},
      {"PDA_phone_icons_full", 220, 40, 180, 200, 220, 255}, {"PDA_phone_icons_gray", 220, 40, 120, 120, 120, 255},
      {"PDA_folder", 48, 48, 240, 200, 80, 255},          {"PDA_folder_up", 48, 48, 200, 160, 60, 255},
      {"PDA_soundfile", 48, 48, 120, 200, 255, 255},      {"PDA_audio_highlight", 100, 80, 200, 220, 240, 160},
      {"PDA_audio_icons_full1", 220, 40, 180, 200, 220, 255},
      {"PDA_audio_icons_full2", 220, 40, 180, 220, 200, 255},
      {"PDA_audio_icons_gray", 220, 40, 120, 120, 120, 255}, {"PDA_mail_icon", 32, 24, 255, 220, 120, 255},
      {"PDA_mail_icon-read", 32, 24, 200, 200, 200, 255}, {"PDA_mail_attachment", 16, 16, 240, 120, 120, 255},
      {"PDA_mailbox_icons_full", 220, 40, 180, 200, 220, 255},
      {"PDA_mailbox_icons_gray", 220, 40, 120, 120, 120, 255},
      {"PDA_mail_icons_full2", 220, 40, 180, 220, 200, 255}, {"PDA_mail_icons_full1", 220, 40, 180, 200, 220, 255},
      {"PDA_pic_icons_full4", 220, 40, 180, 220, 200, 255}, {"PDA_pic_icons_full1", 220, 40, 180, 200, 220, 255},
  };
  for (const PdaPicture& p : kPda)
    out.push_back(Tga(p.name, full ? Panel(p.width, p.height, p.r, p.g, p.b, p.alpha) : Solid(8, 8, 128, 255)));
  for (NamedResource& picture : BuildMenuPictures(full))
    out.push_back(std::move(picture));
  return out;
}

}  // namespace testkit
