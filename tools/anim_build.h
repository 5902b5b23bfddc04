#pragma once
// anim_build: the text form of actor and motion files. The first statement
// names the kind of file; "#" starts a comment.
//
//   actor <name>
//     node <name> [parent <node>] [at <x> <y> <z>] [turn <ax> <ay> <az> <degrees>]
//     material <name> [texture <picture>] [colour <r> <g> <b>]
//     mesh <node> [material <name>]          the lines below belong to it
//       vertex <x> <y> <z> [normal <x> <y> <z>] [uv <u> <v>] [bone <node> <weight>]...
//       triangle <a> <b> <c>                  vertex numbers of the mesh, from 0
//       target <name>                         a morph target of the mesh
//         move <vertex> <dx> <dy> <dz>
//   skeletal <name>
//     fps <n>
//     actor <file>                            the actor's text: tracks must
//                                             name its nodes (or, in a morph
//                                             motion, its morph targets)
//     track <node>                            the keys below move that node
//       key <time> [position <x> <y> <z>] [turn <ax> <ay> <az> <degrees>] [scale <x> <y> <z>]
//   morph <name>
//     fps <n>
//     actor <file>
//     track <target>
//       key <time> weight <w>                 w from 0 to 1

#include <string>
#include <string_view>

#include "tools/anim_file_writer.h"

namespace testkit {

// The file's bytes; a refused line throws TextFormError. Files are named
// from `folder` (ending with "/", or empty).
AnimBytes BuildAnimFromText(std::string_view text, const std::string& folder = "");

}  // namespace testkit
