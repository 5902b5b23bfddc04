#pragma once
// Actor files for mobiles, put together from a short description: nodes,
// standard materials with their map layers, and meshes of flat fans, each
// sub-mesh a ring of vertices, optionally collision meshes or skinned to a
// node. Ring vertex v of n sits at angle 2 pi v / n on a circle in the plane
// y = offset y, with normal +y and texture coordinate (0.5 + 0.5 cos, 0.5 +
// 0.5 sin). Tests, fuzz seeds, benchmarks and the sample game use them.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/anim_file_writer.h"

namespace testkit {

struct MobileMaterial {
  std::string name = "cloth";
  // {map type, texture name}: 2 diffuse, 4 opacity, 5 normal map.
  std::vector<std::pair<uint8_t, std::string>> layers;
  float amount = 1.0f;  // of every layer
  bool fx = false;       // an effect material instead of a standard one
};

struct MobileSubMesh {
  uint32_t vertices = 4;  // at least 3: a fan of vertices - 2 triangles
  uint32_t material = 0;
  bool fan = true;        // else one triangle, of the first and the last two
};

struct MobileMesh {
  uint32_t node = 0;
  bool collision = false;
  // Skinned (so deformed every frame) to this node with weight 1; -1: rigid.
  int32_t skinNode = -1;
  float offset[3] = {0, 0, 0};
  float radius = 1.0f;
  bool uvs = true;  // regular meshes: with a texture-coordinate layer
  // Put in place of the first ring vertices of the first sub-mesh (to give
  // the mesh a box of its own).
  std::vector<std::array<float, 3>> points;
  std::vector<MobileSubMesh> subMeshes{MobileSubMesh{}};
};

struct MobileActor {
  // Name and parent (-1 for a root) of each node, in order.
  std::vector<std::pair<std::string, int32_t>> nodes{{"root", -1}};
  std::vector<MobileMaterial> materials{MobileMaterial{}};
  std::vector<MobileMesh> meshes{MobileMesh{}};
};

AnimBytes BuildMobileActor(const MobileActor& actor);

// The walk-arrow cursor: one node with a flat arrow along +z in the plane
// y = 0, 20 units long.
AnimBytes BuildWalkArrowActor();

// A skeletal motion that moves `node` from `from` to `to` and turns it by
// `turn` radians about y, over `length` seconds (keys at both ends).
AnimBytes BuildRootMotion(const std::string& node, const float from[3], const float to[3], float turn,
                          float length);

}  // namespace testkit
