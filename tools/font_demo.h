#pragma once
// The interface resources that start-up loads with the fonts: the screen
// images ("blackscreen", "whitescreen", "grey80", "ui_band_top"), the busy
// indicator "cd", the eleven cursor images, the walk-arrow actor and the four
// hint icons ("hint_exit", "hint_hand", "hint_speak", "hint_path"), the
// inventory bar's pictures ("ui_inv_bg", "ui_inv_hilite", "ui_inv_arrow_left",
// "ui_inv_arrow_right"), the PDA's pictures and the in-game menu's pictures
// (tools/menu_pictures.h). Tests get small pictures;
// the sample game gets them at their own sizes.

#include <string>
#include <vector>

#include "tools/image_writer.h"

namespace testkit {

struct NamedResource {
  std::string name;
  int type = 0;   // 4 engine image file, 5 TGA, 7 actor
  Bytes data;
};

// Cursors are engine image files whose x and y hold the pointer offset (the
// pixel of the picture that sits on the mouse position).
std::vector<NamedResource> BuildInterfaceResources(bool full);

}  // namespace testkit
