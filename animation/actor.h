#pragma once

#include <cstdint>

#include "animation/core/array.h"
#include "animation/core/shared_data.h"
#include "animation/core/string.h"
#include "animation/material.h"
#include "animation/morph_setup.h"
#include "animation/node.h"
#include "animation/transform.h"
#include "animation/transform_data.h"
#include "animation/world_pose.h"

namespace Anim {

// The shared description of a character: its node hierarchy with the bind pose,
// the meshes of each node per level of detail, and the materials and morph setups
// per level of detail. Actor instances animate it.
class Actor {
 public:
  struct Dependency {
    Actor* actor = nullptr;
    uint32_t kind = 0;  // 1: shares that actor's meshes
  };
  // Bits of the repositioning mask.
  enum : uint32_t {
    REPOSITION_POSITION = 0x1,
    REPOSITION_ROTATION = 0x2,
    REPOSITION_SCALE = 0x4,
  };

  explicit Actor(const char* name);
  Actor(const Actor&) = delete;
  Actor& operator=(const Actor&) = delete;
  ~Actor();

  // Bits of Clone's flags.
  enum : uint32_t {
    CLONE_MATERIALS = 0x01,
    CLONE_NODEATTRIBUTES = 0x02,
    CLONE_CONTROLLERS = 0x04,  // no effect on actors
    CLONE_MESHES = 0x08,
    CLONE_COLLISIONMESHES = 0x10,
    CLONE_ALL = 0x1F,
  };
  // A new, unregistered actor made from this one: what a flag selects is copied,
  // the rest shared. Null when memory runs out.
  Actor* Clone(uint32_t flags) const;

  const char* GetName() const { return mName.AsChar(); }
  void SetName(const char* name) { mName = name; }

  // Appends node (made with AnimCore::New; the actor owns it) at the next index and
  // gives it a slot in the transform data, whose bind transform starts as the
  // identity transform. On failure the node is deleted and the result is false.
  bool AddNode(Node* node);
  uint32_t GetNumNodes() const { return mNodes.GetLength(); }
  Node* GetNode(uint32_t index) const { return index < mNodes.GetLength() ? mNodes[index] : nullptr; }
  // The first node whose name has id, or null.
  Node* FindNodeByID(uint32_t id) const;
  // The first node whose name is exactly name (case-sensitive), or null.
  Node* FindNodeByName(const char* name) const;
  bool AddRootNode(uint32_t nodeIndex) { return mRootNodes.Add(nodeIndex); }
  uint32_t GetNumRootNodes() const { return mRootNodes.GetLength(); }
  uint32_t GetRootNodeIndex(uint32_t i) const { return mRootNodes[i]; }

  TransformData& GetTransformData() { return mTransformData; }
  const TransformData& GetTransformData() const { return mTransformData; }
  WorldPose& GetWorldPose() { return mWorldPose; }
  // The two scratch poses every instance of the actor uses, one after the other.
  AnimCore::Array<Transform>& GetCurrentPose() { return mCurrentPose; }
  AnimCore::Array<Transform>& GetMotionPose() { return mMotionPose; }

  // Materials per level of detail; out-of-range levels read as empty.
  uint32_t GetNumMaterials(uint32_t lod) const;
  Material* GetMaterial(uint32_t lod, uint32_t index) const;
  // Takes ownership; on failure the material is deleted.
  bool AddMaterial(uint32_t lod, Material* material);
  AnimCore::Array<AnimCore::Pointer<Material>>* GetMaterialPointers(uint32_t lod);
  void RemoveAllMaterials();

  MorphSetup* GetMorphSetup(uint32_t lod) const;
  bool SetMorphSetup(uint32_t lod, MorphSetup* setup);
  // Releases every morph setup; with the flag also deletes the morph deformers of
  // every node's mesh stacks and releases the stacks left empty.
  void RemoveAllMorphSetups(bool removeMorphDeformers);

  // Appends one level of detail made of lodActor's meshes (shared), clones of their
  // deformer stacks, its first-level materials and its morph setup. Nodes are matched
  // by name id. lodActor is destroyed when deleteLodActor is set. False (nothing
  // changed) for lodActor null or this actor.
  bool AddLODLevel(Actor* lodActor, bool deleteLodActor);
  uint32_t GetNumLODLevels() const { return mNumLODLevels; }

  bool AddDependency(Actor* actor, uint32_t kind) { return mDependencies.Add({actor, kind}); }
  uint32_t GetNumDependencies() const { return mDependencies.GetLength(); }
  const Dependency& GetDependency(uint32_t index) const { return mDependencies[index]; }

  // Among the root nodes the one with the most descendants (the first on a tie);
  // null when no root has any.
  Node* FindBestRepositioningNode() const;
  void AutoSetRepositioningNode();
  int32_t GetRepositioningNode() const { return mRepositioningNode; }
  void SetRepositioningNode(int32_t index) { mRepositioningNode = index; }
  uint32_t GetRepositioningMask() const { return mRepositioningMask; }
  void SetRepositioningMask(uint32_t mask) { mRepositioningMask = mask; }
  // The game's switch for root-motion extraction, kept apart from the mask: an
  // actor hung on another one follows that one and is switched off.
  bool GetRepositioningEnabled() const { return mRepositioningEnabled; }
  void SetRepositioningEnabled(bool enabled) { mRepositioningEnabled = enabled; }
  float GetRetargetRootOffset() const { return mRetargetRootOffset; }
  void SetRetargetRootOffset(float offset) { mRetargetRootOffset = offset; }
  uint32_t GetMultiplyOrder() const { return mMultiplyOrder; }
  void SetMultiplyOrder(uint32_t order) { mMultiplyOrder = order; }

  // Reinitialises the deformer stacks of every node's mesh and collision mesh at
  // LOD 0, in node order, once the nodes are in place.
  void ReinitializeMeshDeformers();

 private:
  TransformData mTransformData;
  AnimCore::Array<Transform> mCurrentPose;
  AnimCore::Array<Transform> mMotionPose;
  WorldPose mWorldPose;
  AnimCore::Array<Node*> mNodes;
  AnimCore::Array<Dependency> mDependencies;
  AnimCore::String mName;
  AnimCore::Array<uint32_t> mRootNodes;
  AnimCore::Array<AnimCore::Array<AnimCore::Pointer<Material>>> mMaterials;
  AnimCore::Array<AnimCore::Pointer<MorphSetup>> mMorphSetups;
  uint32_t mReserved[2] = {0, 0};
  int32_t mRepositioningNode = -1;
  uint32_t mNumLODLevels = 1;
  float mRetargetRootOffset = 0.0f;
  uint32_t mRepositioningMask = REPOSITION_POSITION;
  uint32_t mMultiplyOrder = 1;
  bool mRepositioningEnabled = true;
};

}  // namespace Anim
