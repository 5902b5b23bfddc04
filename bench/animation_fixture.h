#pragma once
// Actor files of the animation benchmarks, written with the test writer: a
// chain of bones and one mesh of vertices on a rising ring around the root.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "animation/anim_manager.h"
#include "animation/core/memory_manager.h"
#include "animation/importer.h"
#include "animation/vertex_attribute_layer.h"
#include "tools/anim_file_writer.h"

namespace bench {

// The library, started once for the whole program and shut down at exit.
class Library {
 public:
  Library() { started_ = AnimCore::SetMemoryAllocator(nullptr) && Anim::Initialize(); }
  ~Library() {
    if (started_) Anim::Shutdown();
  }
  Anim::Importer* GetImporter() const { return started_ ? Anim::GetImporter() : nullptr; }

 private:
  bool started_ = false;
};

inline Library& GetLibrary() {
  static Library library;
  return library;
}

inline uint32_t Bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}

// Bones "bone0" .. as a chain from the root, each 0.1 above its parent.
inline void AddBoneChain(testkit::AnimFileWriter& writer, uint32_t bones) {
  for (uint32_t b = 0; b < bones; ++b) {
    testkit::AnimNodeChunk node;
    node.name = "bone" + std::to_string(b);
    node.parentIndex = b == 0 ? 0xFFFFFFFFu : b - 1;
    node.position[1] = b == 0 ? 0.0f : 0.1f;
    writer.AddNode(node);
  }
}

// A mesh of n vertices on the root (positions, normals and original vertex
// numbers), vertex v at angle 0.01·v on the unit ring and height rise·v; the
// caller adds its submeshes.
inline testkit::AnimMeshChunk RingMesh(uint32_t n, float rise) {
  testkit::AnimMeshChunk mesh;
  mesh.numOrgVertices = n;
  mesh.numVertices = n;
  testkit::AnimMeshChunk::Layer positions;
  testkit::AnimMeshChunk::Layer normals;
  normals.type = Anim::LAYERTYPE_NORMALS;
  testkit::AnimMeshChunk::Layer org;
  org.type = Anim::LAYERTYPE_ORGVTXNUMBERS;
  org.attributeSize = 4;
  for (uint32_t v = 0; v < n; ++v) {
    const float angle = 0.01f * static_cast<float>(v);
    positions.words.insert(positions.words.end(),
                           {Bits(std::cos(angle)), Bits(rise * static_cast<float>(v)), Bits(std::sin(angle))});
    normals.words.insert(normals.words.end(), {Bits(std::cos(angle)), Bits(0.0f), Bits(std::sin(angle))});
    org.words.push_back(v);
  }
  mesh.layers = {positions, normals, org};
  return mesh;
}

}  // namespace bench
