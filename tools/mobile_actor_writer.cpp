#include "tools/mobile_actor_writer.h"

#include <cmath>
#include <cstring>

namespace testkit {
namespace {

uint32_t Bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}

}  // namespace

AnimBytes BuildMobileActor(const MobileActor& actor) {
  AnimFileWriter writer(AnimFileKind::Actor);
  for (const auto& [name, parent] : actor.nodes) {
    AnimNodeChunk node;
    node.name = name;
    node.parentIndex = parent < 0 ? 0xFFFFFFFFu : uint32_t(parent);
    writer.AddNode(node);
  }
  for (size_t m = 0; m < actor.materials.size(); ++m) {
    const MobileMaterial& material = actor.materials[m];
    if (material.fx) {
      AnimFXMaterialChunk fx;
      fx.name = material.name;
      fx.effectFile = "effect.fx";
      writer.AddFXMaterial(fx);
      continue;
    }
    AnimMaterialChunk chunk;
    chunk.name = material.name;
    writer.AddMaterial(chunk);
    for (const auto& [mapType, texture] : material.layers) {
      AnimMaterialLayerChunk layer;
      layer.materialNumber = uint16_t(m);
      layer.mapType = mapType;
      layer.amount = material.amount;
      layer.textureName = texture;
      writer.AddMaterialLayer(layer);
    }
  }
  for (const MobileMesh& mesh : actor.meshes) {
    AnimMeshChunk chunk;
    chunk.nodeIndex = mesh.node;
    chunk.isCollisionMesh = mesh.collision ? 1 : 0;
    AnimMeshChunk::Layer positions, normals, uvs, org;
    normals.type = 1;
    uvs.type = 3;
    uvs.attributeSize = 8;
    org.type = 5;
    org.attributeSize = 4;
    uint32_t vertex = 0;
    for (const MobileSubMesh& sub : mesh.subMeshes) {
      AnimMeshChunk::SubMesh out;
      out.numVertices = sub.vertices;
      out.materialIndex = sub.material;
      for (uint32_t v = 0; v < sub.vertices; ++v, ++vertex) {
        const float angle = 6.2831853f * float(v) / float(sub.vertices);
        float p[3] = {mesh.offset[0] + mesh.radius * std::cos(angle), mesh.offset[1],
                      mesh.offset[2] + mesh.radius * std::sin(angle)};
        if (vertex < mesh.points.size()) std::memcpy(p, mesh.points[vertex].data(), sizeof p);
        positions.words.insert(positions.words.end(), {Bits(p[0]), Bits(p[1]), Bits(p[2])});
        normals.words.insert(normals.words.end(), {Bits(0.0f), Bits(1.0f), Bits(0.0f)});
        uvs.words.insert(uvs.words.end(), {Bits(0.5f + 0.5f * std::cos(angle)), Bits(0.5f + 0.5f * std::sin(angle))});
        org.words.push_back(vertex);
      }
      if (sub.fan) {
        for (uint32_t t = 1; t + 1 < sub.vertices; ++t) out.indices.insert(out.indices.end(), {0, t, t + 1});
      } else if (sub.vertices >= 3) {
        out.indices = {0, sub.vertices - 2, sub.vertices - 1};
      }
      chunk.numIndices += uint32_t(out.indices.size());
      chunk.subMeshes.push_back(out);
    }
    chunk.numVertices = chunk.numOrgVertices = vertex;
    if (mesh.collision)
      chunk.layers = {positions, org};
    else if (!mesh.uvs)
      chunk.layers = {positions, normals, org};
    else
      chunk.layers = {positions, normals, uvs, org};
    writer.AddMesh(chunk);
    if (mesh.skinNode >= 0) {
      AnimSkinningChunk skin;
      skin.nodeIndex = mesh.node;
      skin.forCollisionMesh = chunk.isCollisionMesh;
      skin.vertices.assign(vertex, {AnimInfluence{1.0f, uint16_t(mesh.skinNode)}});
      writer.AddSkinning(skin, 2);
    }
  }
  return writer.Finish();
}

AnimBytes BuildWalkArrowActor() {
  AnimFileWriter writer(AnimFileKind::Actor);
  AnimNodeChunk node;
  node.name = "arrow";
  writer.AddNode(node);
  AnimMaterialChunk material;
  material.name = "arrow";
  material.diffuse[0] = 1.0f;
  material.diffuse[1] = 0.8f;
  material.diffuse[2] = 0.2f;
  writer.AddMaterial(material);
  // A shaft from z = -10 to 0 and a head to z = 10.
  const float points[7][3] = {{-2, 0, -10}, {2, 0, -10}, {2, 0, 0}, {-2, 0, 0}, {-6, 0, 0}, {6, 0, 0}, {0, 0, 10}};
  AnimMeshChunk mesh;
  mesh.numVertices = mesh.numOrgVertices = 7;
  AnimMeshChunk::Layer positions, normals, uvs, org;
  normals.type = 1;
  uvs.type = 3;
  uvs.attributeSize = 8;
  org.type = 5;
  org.attributeSize = 4;
  for (uint32_t v = 0; v < 7; ++v) {
    positions.words.insert(positions.words.end(), {Bits(points[v][0]), Bits(points[v][1]), Bits(points[v][2])});
    normals.words.insert(normals.words.end(), {Bits(0.0f), Bits(1.0f), Bits(0.0f)});
    uvs.words.insert(uvs.words.end(), {Bits((points[v][0] + 6) / 12), Bits((points[v][2] + 10) / 20)});
    org.words.push_back(v);
  }
  mesh.layers = {positions, normals, uvs, org};
  AnimMeshChunk::SubMesh sub;
  sub.numVertices = 7;
  sub.indices = {0, 2, 1, 0, 3, 2, 4, 6, 5};
  mesh.numIndices = 9;
  mesh.subMeshes = {sub};
  writer.AddMesh(mesh);
  return writer.Finish();
}

AnimBytes BuildRootMotion(const std::string& node, const float from[3], const float to[3], float turn,
                          float length) {
  AnimFileWriter writer(AnimFileKind::SkeletalMotion);
  AnimSkeletalSubMotionChunk sub;
  sub.name = node;
  AnimKey<3> p0, p1;
  std::memcpy(p0.value, from, 12);
  std::memcpy(p1.value, to, 12);
  p1.time = length;
  sub.positionKeys = {p0, p1};
  AnimKey<4> r0, r1;
  r0.value[3] = 1.0f;
  r1.value[1] = std::sin(turn * 0.5f);
  r1.value[3] = std::cos(turn * 0.5f);
  r1.time = length;
  sub.rotationKeys = {r0, r1};
  writer.AddSkeletalSubMotion(sub);
  return writer.Finish();
}

}  // namespace testkit
