#pragma once

#include <cstdint>

#include "animation/core/array.h"
#include "animation/core/matrix.h"
#include "animation/deform_kernels.h"
#include "animation/mesh_deformer.h"

namespace Anim {

// Rebuilds a mesh's positions, normals and tangents from the bones that influence
// each original vertex (linear blend skinning, weights as stored).
class SoftSkinDeformer final : public MeshDeformer {
 public:
  static constexpr uint32_t TYPE_ID = 1;
  static constexpr uint32_t SUBTYPE_ID = 1;
  struct Bone {
    uint32_t nodeNumber = 0;
    AnimCore::Matrix matrix;
  };

  SoftSkinDeformer(Mesh* mesh, Actor* actor);

  void Update(ActorInstance* actorInstance, Node* node, float timeDelta) override;
  // Update when this deformer runs first on a mesh that was not reset: resets the
  // mesh's other layers and rebuilds positions, normals and tangents from their
  // original values (what a reset and Update give, without copying those three back
  // first).
  void UpdateFromOriginals(ActorInstance* actorInstance, Node* node, float timeDelta);
  // Builds the bone table in first-use order over the vertices and their influences.
  void Reinitialize(Actor* actor) override;
  MeshDeformer* Clone(Mesh* newMesh, Actor* actor) const override;
  uint32_t GetType() const override { return TYPE_ID; }
  uint32_t GetSubType() const override { return SUBTYPE_ID; }

  uint32_t GetNumBones() const { return mBones.GetLength(); }
  const Bone& GetBone(uint32_t index) const { return mBones[index]; }

 private:
  // Skins the mesh, in place or from the original values; false when it wrote nothing.
  bool Deform(ActorInstance* actorInstance, Node* node, bool fromOriginals);

  AnimCore::Array<Bone> mBones;
  AnimCore::Array<DeformKernels::BoneRows> mBoneRows;
  // The influences compiled for the mesh's vertices, and what they were compiled from.
  struct PlanSource {
    const void* skin = nullptr;
    uint32_t changeCount = 0;
    const void* influences = nullptr;
    uint32_t numInfluences = 0;
    const void* rows = nullptr;
    uint32_t numRows = 0;
    const void* orgNumbers = nullptr;
    uint32_t numVertices = 0;
    uint32_t numBones = 0;
    bool operator==(const PlanSource&) const = default;
  };
  DeformKernels::SkinPlan mPlan;
  PlanSource mPlanSource;
};

}  // namespace Anim
