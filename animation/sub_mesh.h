#pragma once

#include <cstdint>

#include "animation/core/array.h"

namespace Anim {

class Mesh;

// A run of a mesh's vertices and indices that shares one material and one list of
// bones. Its indices are stored already offset by its start vertex.
class SubMesh {
 public:
  SubMesh(Mesh* mesh, uint32_t startVertex, uint32_t startIndex, uint32_t numVertices,
          uint32_t numIndices, uint32_t materialIndex, uint32_t numBones);
  SubMesh(const SubMesh&) = delete;
  SubMesh& operator=(const SubMesh&) = delete;
  ~SubMesh() = default;

  // A copy whose parent is newMesh; null when memory runs out.
  SubMesh* Clone(Mesh* newMesh) const;

  Mesh* GetMesh() const { return mMesh; }
  uint32_t GetStartVertex() const { return mStartVertex; }
  uint32_t GetStartIndex() const { return mStartIndex; }
  uint32_t GetNumVertices() const { return mNumVertices; }
  uint32_t GetNumIndices() const { return mNumIndices; }
  uint32_t GetMaterialIndex() const { return mMaterialIndex; }
  void SetMaterialIndex(uint32_t index) { mMaterialIndex = index; }

  // Actor node numbers used by this submesh; sized at construction, filled by the
  // loader. When memory runs out the list stays shorter (see GetNumBones).
  uint32_t GetNumBones() const { return mBones.GetLength(); }
  uint32_t GetBone(uint32_t index) const { return mBones[index]; }
  void SetBone(uint32_t index, uint32_t nodeNumber) { mBones[index] = nodeNumber; }

 private:
  AnimCore::Array<uint32_t> mBones;
  uint32_t mStartVertex;
  uint32_t mStartIndex;
  uint32_t mNumVertices;
  uint32_t mNumIndices;
  uint32_t mMaterialIndex;
  Mesh* mMesh;
};

}  // namespace Anim
