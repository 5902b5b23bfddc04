#pragma once

#include <cstdint>

#include "animation/core/array.h"
#include "animation/deform_kernels.h"
#include "animation/mesh_deformer.h"

namespace Anim {

class MorphTarget;
class Node;

// Adds the weighted vertex offsets of the morph targets touching one mesh. Runs
// first in the stack, before skinning.
class MorphMeshDeformer final : public MeshDeformer {
 public:
  static constexpr uint32_t TYPE_ID = 2;
  static constexpr uint32_t SUBTYPE_ID = 1;

  struct DeformPass {
    MorphTarget* morphTarget = nullptr;  // not owned
    uint32_t deformDataNr = 0;
    bool lastNearZero = false;
  };

  // lod: the level of detail whose morph setup holds the passes' targets.
  MorphMeshDeformer(Mesh* mesh, uint32_t lod = 0);

  // The morph deformer of the node's stack at lod, put at the front of the stack (so
  // it runs before skinning) when the stack has none; null when memory runs out.
  static MorphMeshDeformer* FindOrCreate(Node* node, uint32_t lod, Mesh* mesh);

  void Update(ActorInstance* actorInstance, Node* node, float timeDelta) override;
  MeshDeformer* Clone(Mesh* newMesh, Actor* actor) const override;
  uint32_t GetType() const override { return TYPE_ID; }
  uint32_t GetSubType() const override { return SUBTYPE_ID; }
  uint32_t GetLOD() const { return mLOD; }

  bool AddDeformPass(const DeformPass& pass) { return mPasses.Add(pass); }
  uint32_t GetNumDeformPasses() const { return mPasses.GetLength(); }
  DeformPass& GetDeformPass(uint32_t index) { return mPasses[index]; }

 private:
  // A pass's deltas decoded once, and what they were decoded from (deltas are fixed
  // once their deform data is made).
  struct PassPlan {
    const void* deformData = nullptr;
    const void* deltas = nullptr;
    uint32_t numDeltas = 0;
    uint32_t minBits = 0;
    uint32_t maxBits = 0;
    uint32_t numVertices = 0;
    DeformKernels::MorphPlan plan;
  };

  uint32_t mLOD;
  AnimCore::Array<DeformPass> mPasses;
  AnimCore::Array<PassPlan> mPassPlans;  // one per pass, made on the first update
};

}  // namespace Anim
