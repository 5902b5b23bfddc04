#include "animation/sub_mesh.h"

#include "animation/memory_categories.h"

namespace Anim {

SubMesh::SubMesh(Mesh* mesh, uint32_t startVertex, uint32_t startIndex, uint32_t numVertices,
                 uint32_t numIndices, uint32_t materialIndex, uint32_t numBones)
    : mBones(MEMCATEGORY_MESH),
      mStartVertex(startVertex),
      mStartIndex(startIndex),
      mNumVertices(numVertices),
      mNumIndices(numIndices),
      mMaterialIndex(materialIndex),
      mMesh(mesh) {
  mBones.Resize(numBones);
}

SubMesh* SubMesh::Clone(Mesh* newMesh) const {
  SubMesh* clone = AnimCore::New<SubMesh>(MEMCATEGORY_MESH, newMesh, mStartVertex, mStartIndex,
                                          mNumVertices, mNumIndices, mMaterialIndex, 0u);
  if (clone == nullptr) return nullptr;
  clone->mBones = mBones;
  if (clone->mBones.GetLength() != mBones.GetLength()) {
    AnimCore::Delete(clone);
    return nullptr;
  }
  return clone;
}

}  // namespace Anim
