#pragma once
// scene_build: the text form of scene files. "#" starts a comment; indented
// lines are only for the reader.
//
//   scene <name>
//   script <file>                  the scene script's text (script_asm's form)
//   occlusion <file>               the sound-occlusion block, copied as it is
//   mesh <name>
//     vertex <x> <y> <z> [normal <x> <y> <z>]
//     triangle <a> <b> <c>         vertex numbers of the mesh, from 0
//   view <name> camera <x> <y> <z> [turn <ax> <ay> <az> <degrees>] [fov <degrees>]
//        [picture <name>]
//   walkarea <name>
//     polygon [hole]
//       point <x> <y> <z>          y is the floor height
//     triangle <p>:<v> <p>:<v> <p>:<v>   polygon and point numbers, corners
//                                  in the order of (x, z) = (0, 0), (1, 0), (0, 1)
//     node <x> <z>                 a node of the path graph
//     link <a> <b>                 nodes that see each other
//   hotspot <number>
//     region <view>
//       polygon [hole]
//         point <x> <y>            screen pixels
//
// Files are named from the folder of the text. The route table of each walk
// area is worked out from its links (shortest routes along them).

#include <string>
#include <string_view>
#include <vector>

#include "tools/scene_writer.h"

namespace testkit {

struct SceneSource {
  SceneFile file;
  // The background picture of each view, in view order ("" when none).
  std::vector<std::string> pictures;
};

// `folder` ends with "/" or is empty; a refused line throws TextFormError.
SceneSource ReadSceneText(std::string_view text, const std::string& folder);

}  // namespace testkit
