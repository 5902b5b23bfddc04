// Writes writer-made seeds of the mobile fuzz corpus into a folder: each file
// is the reader byte (0 actor, 1 skeletal motion) and the file.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tools/mobile_actor_writer.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mobile_seeds <folder>\n");
    return 2;
  }
  namespace tk = testkit;
  auto write = [&](const std::string& name, uint8_t reader, const std::vector<uint8_t>& bytes) {
    std::ofstream out(std::string(argv[1]) + "/" + name, std::ios::binary);
    out.put(static_cast<char>(reader));
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  };

  // Materials with diffuse, opacity and normal maps (the pictures the
  // entry point's archive holds), a hair material, a skinned mesh.
  tk::MobileActor figure;
  figure.nodes = {{"root", -1}, {"body", 0}, {"bone", 0}};
  figure.materials = {tk::MobileMaterial{"cloth", {{2, "tex_a"}}},
                      tk::MobileMaterial{"long_hair", {{2, "tex_a"}, {4, "tex_op"}}},
                      tk::MobileMaterial{"skin", {{2, "tex_b"}, {5, "bump"}}, 0.5f}};
  tk::MobileMesh root;
  root.subMeshes = {{4, 0}, {5, 1}, {3, 2}};
  tk::MobileMesh body;
  body.node = 1;
  body.skinNode = 2;
  body.subMeshes = {{6, 2}};
  figure.meshes = {root, body};
  write("actor_materials_skinned", 0, tk::BuildMobileActor(figure));

  // Collision geometry only, one rigid and one skinned.
  tk::MobileActor hull;
  hull.nodes = {{"root", -1}, {"hull", 0}, {"flap", 0}};
  tk::MobileMesh rigid;
  rigid.node = 1;
  rigid.collision = true;
  tk::MobileMesh flap = rigid;
  flap.node = 2;
  flap.skinNode = 0;
  hull.meshes = {rigid, flap};
  write("actor_collision_only", 0, tk::BuildMobileActor(hull));

  // One buffer kind past 65,536 vertices (collision geometry, one triangle).
  tk::MobileActor wide;
  wide.meshes[0].collision = true;
  wide.meshes[0].subMeshes = {{65600, 0, false}};
  write("actor_wide_indices", 0, tk::BuildMobileActor(wide));

  // The fixed mobile's root walking and turning.
  const float from[3] = {0, 0, 0}, to[3] = {10, 0, 5};
  write("motion_walk_turn", 1, tk::BuildRootMotion("root", from, to, 1.0f, 1.0f));
  return 0;
}
