#pragma once

#include <cstdint>

#include "animation/core/aabb.h"
#include "animation/core/array.h"
#include "animation/core/matrix.h"
#include "animation/core/ray.h"
#include "animation/core/vector3.h"
#include "animation/sub_mesh.h"
#include "animation/vertex_attribute_layer.h"

namespace Anim {

class Actor;
class Node;

// The renderable geometry of one node at one level of detail: typed vertex
// attribute layers, triangles as three indices each, and the submeshes that cut
// them into runs.
class Mesh {
 public:
  // Allocates the index block (16-byte aligned) for numTriangles triangles. When it
  // cannot be allocated the mesh has no triangles.
  Mesh(uint32_t numVertices, uint32_t numTriangles, uint32_t numOrgVertices);
  Mesh(const Mesh&) = delete;
  Mesh& operator=(const Mesh&) = delete;
  ~Mesh();

  // The mesh takes ownership (made with AnimCore::New); on failure the layer is
  // deleted and the result is false.
  bool AddVertexAttributeLayer(VertexAttributeLayer* layer);
  bool AddSharedVertexAttributeLayer(VertexAttributeLayer* layer);
  bool AddSubMesh(SubMesh* subMesh);

  // Index of the occurrence-th layer (0 = first) of type, or -1.
  int32_t FindVertexAttributeLayerNumber(uint32_t type, uint32_t occurrence = 0) const;
  VertexAttributeLayer* FindVertexAttributeLayer(uint32_t type, uint32_t occurrence = 0) const;
  // Current and original values of that layer, or null.
  void* FindVertexAttributeLayerData(uint32_t type, uint32_t occurrence = 0) const;
  void* FindOriginalVertexAttributeLayerData(uint32_t type, uint32_t occurrence = 0) const;
  int32_t FindSharedVertexAttributeLayerNumber(uint32_t type, uint32_t occurrence = 0) const;
  VertexAttributeLayer* FindSharedVertexAttributeLayer(uint32_t type,
                                                       uint32_t occurrence = 0) const;

  // Restores the current values of every per-vertex layer from its originals.
  void ResetToOriginalData();

  // Box of the current positions (layer positions, 0) transformed by matrix, using
  // every step-th vertex (a step of 0 counts as 1). Empty without positions.
  void CalcBounds(AnimCore::AABB& box, const AnimCore::Matrix& matrix, uint32_t step = 1) const;
  // True when the ray, taken into mesh space by the inverse of matrix, hits a
  // triangle of the current positions.
  bool Intersects(const AnimCore::Matrix& matrix, const AnimCore::Ray& ray) const;
  // Builds or rebuilds the tangent layer (type 2, 16 bytes per vertex with the
  // handedness in w) from the original positions and normals and the current values
  // of UV set uvSet. Does nothing without those three layers.
  void CalcTangents(uint32_t uvSet = 0);
  static void CalcTangentAndBinormal(const AnimCore::Vector3& p0, const AnimCore::Vector3& p1,
                                     const AnimCore::Vector3& p2, const float* uv0,
                                     const float* uv1, const float* uv2,
                                     AnimCore::Vector3* tangent, AnimCore::Vector3* binormal);

  // Deletes every layer and submesh and the index block; the counts become 0.
  void ReleaseData();
  // A deep copy, layers cloned with (actor, node, new mesh); null when memory runs out.
  Mesh* Clone(Actor* actor, Node* node) const;

  uint32_t GetNumVertices() const { return mNumVertices; }
  uint32_t GetNumOrgVertices() const { return mNumOrgVertices; }
  uint32_t GetNumIndices() const { return mNumIndices; }
  uint32_t GetNumTriangles() const { return mNumIndices / 3; }
  uint32_t* GetIndices() const { return mIndices; }
  uint32_t GetNumSubMeshes() const { return mSubMeshes.GetLength(); }
  SubMesh* GetSubMesh(uint32_t index) const { return mSubMeshes[index]; }
  uint32_t GetNumVertexAttributeLayers() const { return mVertexAttributes.GetLength(); }
  VertexAttributeLayer* GetVertexAttributeLayer(uint32_t index) const {
    return mVertexAttributes[index];
  }
  uint32_t GetNumSharedVertexAttributeLayers() const { return mSharedVertexAttributes.GetLength(); }
  VertexAttributeLayer* GetSharedVertexAttributeLayer(uint32_t index) const {
    return mSharedVertexAttributes[index];
  }

 private:
  // Data of a flat per-vertex layer whose attributes hold at least minSize bytes, or
  // null.
  const uint8_t* FindFlatLayerData(uint32_t type, uint32_t occurrence, uint32_t minSize,
                                   bool original, uint32_t* stride) const;

  AnimCore::Array<SubMesh*> mSubMeshes;
  uint32_t* mIndices = nullptr;
  uint32_t mNumOrgVertices;
  uint32_t mNumVertices;
  uint32_t mNumIndices = 0;
  AnimCore::Array<VertexAttributeLayer*> mSharedVertexAttributes;
  AnimCore::Array<VertexAttributeLayer*> mVertexAttributes;
};

}  // namespace Anim
