#pragma once
// video_build: the text form of the sample game's videos (Matroska, FFV1
// pictures, PCM sound). Frames are numbered from 0; colours are 0 to 255;
// a frame starts black (and opaque), then each paint whose frames hold it
// is laid on in the order written.
//
//   video <width> <height> <frames> [rate <fps>] [alpha] [soundrate <hz>]
//   fill <first> <last> <r> <g> <b> [<a>]                the whole frame
//   box <first> <last> <x> <y> <w> <h> <r> <g> <b> [<a>]
//   slide <first> <last> <x0> <y0> <x1> <y1> <w> <h> <r> <g> <b> [<a>]
//                                   a box moving from (x0, y0) to (x1, y1)
//   tone, click, speech             the sound track, as in sound_assets
//
// A still picture is written from the same form: its first frame, as a TGA
// (32 bits with "alpha", else 24).

#include <string_view>

#include "tools/video_writer.h"

namespace testkit {

// The recipe of a description; a refused line throws TextFormError.
VideoSpec ReadVideoText(std::string_view text);

// The first frame of a recipe as a TGA file.
Bytes BuildPictureTga(const VideoSpec& recipe);

}  // namespace testkit
