#include "animation/skinning_info_vertex_attribute.h"

#include <utility>

#include "animation/core/memory_manager.h"
#include "animation/memory_categories.h"

namespace Anim {

SkinningInfoVertexAttribute::SkinningInfoVertexAttribute(uint32_t numOrgVertices, bool allocate)
    : VertexAttributeLayer(numOrgVertices, false),
      mInfluences(MEMCATEGORY_VERTEXATTRIBUTELAYER),
      mRows(MEMCATEGORY_VERTEXATTRIBUTELAYER) {
  if (allocate && !Resize(numOrgVertices)) mNumAttributes = 0;
}

bool SkinningInfoVertexAttribute::Resize(uint32_t numRows) {
  ++mChanges;
  const uint32_t oldRows = mRows.GetLength();
  if (numRows <= oldRows) return mRows.Resize(numRows);
  const uint64_t poolEnd = mInfluences.GetLength() +
                           uint64_t{numRows - oldRows} * kPreallocatedPerRow;
  if (poolEnd > UINT32_MAX || !mRows.Resize(numRows)) return false;
  uint32_t start = mInfluences.GetLength();
  if (!mInfluences.Resize(static_cast<uint32_t>(poolEnd))) {
    mRows.Resize(oldRows);
    return false;
  }
  for (uint32_t r = oldRows; r < numRows; ++r, start += kPreallocatedPerRow) mRows[r] = {start, 0};
  return true;
}

bool SkinningInfoVertexAttribute::AddInfluence(uint32_t vertex, uint16_t nodeNumber, float weight,
                                               uint16_t boneNumber) {
  ++mChanges;
  if (vertex >= mRows.GetLength()) return false;
  Row& row = mRows[vertex];
  const uint32_t at = row.start + row.count;
  // In place when the reserved entries reach that far (rows lie in row order),
  // otherwise one entry is inserted and every later row moves up.
  const uint32_t nextStart =
      vertex + 1 < mRows.GetLength() ? mRows[vertex + 1].start : mInfluences.GetLength();
  const bool free = at < nextStart;
  const SkinInfluence influence{weight, boneNumber, nodeNumber};
  if (free) {
    mInfluences[at] = influence;
  } else {
    if (!mInfluences.Insert(at, influence)) return false;
    for (uint32_t r = 0; r < mRows.GetLength(); ++r) {
      if (r > vertex) ++mRows[r].start;
    }
  }
  ++row.count;
  return true;
}

void SkinningInfoVertexAttribute::Shrink() {
  ++mChanges;
  // Rows in row order, each packed behind the previous one.
  AnimCore::Array<SkinInfluence> packed(MEMCATEGORY_VERTEXATTRIBUTELAYER);
  uint64_t total = 0;
  for (const Row& row : mRows) total += row.count;
  if (!packed.Reserve(static_cast<uint32_t>(total))) return;
  for (Row& row : mRows) {
    const uint32_t start = packed.GetLength();
    for (uint32_t i = 0; i < row.count; ++i) packed.Add(mInfluences[row.start + i]);
    row.start = start;
  }
  mInfluences = std::move(packed);
}

void SkinningInfoVertexAttribute::SwapAttributes(uint32_t a, uint32_t b) {
  ++mChanges;
  if (a < mRows.GetLength() && b < mRows.GetLength()) std::swap(mRows[a], mRows[b]);
}

void SkinningInfoVertexAttribute::RemoveAttributes(uint32_t first, uint32_t last) {
  ++mChanges;
  if (first > last || last >= mRows.GetLength()) return;
  for (uint32_t i = last + 1; i-- > first;) mRows.Remove(i);
  mNumAttributes = mRows.GetLength();
  Shrink();
}

VertexAttributeLayer* SkinningInfoVertexAttribute::Clone(Actor*, Node*, Mesh*) const {
  auto* clone = AnimCore::New<SkinningInfoVertexAttribute>(MEMCATEGORY_VERTEXATTRIBUTELAYER,
                                                           mNumAttributes, false);
  if (clone == nullptr) return nullptr;
  clone->mInfluences = mInfluences;
  clone->mRows = mRows;
  if (clone->mInfluences.GetLength() != mInfluences.GetLength() ||
      clone->mRows.GetLength() != mRows.GetLength()) {
    AnimCore::Delete(clone);
    return nullptr;
  }
  return clone;
}

}  // namespace Anim
