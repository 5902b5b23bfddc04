#pragma once
// The pictures the in-game menu loads by name: the two background halves,
// the icons, the pointing hand (four frames), the slider knob and the
// pictures of the main, options, savegame and confirmation pages. Tests get
// small ones; the sample game gets them at their own sizes, with the hit
// areas and slider tracks of the pages drawn where the menu expects them.

#include <vector>

#include "tools/font_demo.h"

namespace testkit {

std::vector<NamedResource> BuildMenuPictures(bool full);

}  // namespace testkit
