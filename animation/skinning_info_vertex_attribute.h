#pragma once

#include <cstdint>

#include "animation/core/array.h"
#include "animation/vertex_attribute_layer.h"

namespace Anim {

struct SkinInfluence {
  float weight = 0.0f;
  uint16_t boneNumber = 0;  // into the skin deformer's bone table
  uint16_t nodeNumber = 0;
};

// The influences of each original vertex of a mesh: one pool, and per vertex a row
// {start in the pool, count}. Rows are contiguous in row order after Shrink.
// Every change, and every mutable access, moves the change count, by which the skin
// deformer knows when to rebuild its compact copy of the influences.
class SkinningInfoVertexAttribute final : public VertexAttributeLayer {
 public:
  static constexpr uint32_t TYPE_ID = 3;
  static constexpr uint32_t kPreallocatedPerRow = 2;
  struct Row {
    uint32_t start = 0;
    uint32_t count = 0;
  };

  // With allocate, every row is made at once with its reserved entries.
  SkinningInfoVertexAttribute(uint32_t numOrgVertices, bool allocate);

  uint32_t GetType() const override { return TYPE_ID; }
  const char* GetTypeString() const override { return "SkinningInfoVertexAttribute"; }
  VertexAttributeLayer* Clone(Actor* actor, Node* node, Mesh* newMesh) const override;
  void SwapAttributes(uint32_t a, uint32_t b) override;
  void RemoveAttributes(uint32_t first, uint32_t last) override;

  bool Resize(uint32_t numRows);
  bool AddInfluence(uint32_t vertex, uint16_t nodeNumber, float weight, uint16_t boneNumber);
  void Shrink();

  uint32_t GetNumInfluences(uint32_t vertex) const { return mRows[vertex].count; }
  SkinInfluence& GetInfluence(uint32_t vertex, uint32_t i) {
    ++mChanges;
    return mInfluences[mRows[vertex].start + i];
  }
  const SkinInfluence& GetInfluence(uint32_t vertex, uint32_t i) const {
    return mInfluences[mRows[vertex].start + i];
  }
  // Filled directly by the loader of the pooled layout.
  AnimCore::Array<SkinInfluence>& GetInfluences() {
    ++mChanges;
    return mInfluences;
  }
  AnimCore::Array<Row>& GetRows() {
    ++mChanges;
    return mRows;
  }
  const AnimCore::Array<SkinInfluence>& GetInfluences() const { return mInfluences; }
  const AnimCore::Array<Row>& GetRows() const { return mRows; }
  uint32_t GetChangeCount() const { return mChanges; }

 private:
  AnimCore::Array<SkinInfluence> mInfluences;
  AnimCore::Array<Row> mRows;
  uint32_t mChanges = 0;
};

}  // namespace Anim
