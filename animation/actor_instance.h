#pragma once

#include <cstdint>

#include "animation/core/aabb.h"
#include "animation/core/array.h"
#include "animation/core/matrix.h"
#include "animation/core/quaternion.h"
#include "animation/core/ray.h"
#include "animation/core/shared_data.h"
#include "animation/core/vector3.h"
#include "animation/actor.h"
#include "animation/transform.h"
#include "animation/transform_data.h"

namespace Anim {

class ActorInstance;
class Controller;
class LocalSpaceController;
class Material;
class MotionSystem;
class Node;

// Hangs an actor instance on a node of another.
struct Attachment {
  struct NodeMap {
    AnimCore::Matrix matrix;
    const uint32_t* nodeIndex = nullptr;
  };
  AnimCore::Array<NodeMap> nodeMapping{1};
  ActorInstance* attachment = nullptr;
  ActorInstance* attachedTo = nullptr;
  uint32_t nodeIndex = 0;
};

// One animated copy of an actor in the world: its own placement, per-node local and
// world matrices, its motion system, controllers, bounds and attachments.
class ActorInstance {
 public:
  enum : uint32_t { BOUNDS_NODE_BASED = 0, BOUNDS_MESH_BASED = 1, BOUNDS_COLLISIONMESH_BASED = 2 };
  static constexpr uint32_t kDefaultTransformDataFlags =
      TransformData::OWN_WORLDMATRICES | TransformData::OWN_LOCALMATRICES |
      TransformData::OWN_INVBINDMATRICES | TransformData::OWN_LOCALTRANSFORMS;

  ActorInstance(Actor* actor, uint32_t transformDataFlags = kDefaultTransformDataFlags);
  ActorInstance(const ActorInstance&) = delete;
  ActorInstance& operator=(const ActorInstance&) = delete;
  ~ActorInstance();

  // Motions, then (with updateMatrices) local and world matrices, world-space
  // controllers, attachments and node-based bounds.
  void Update(float timeDelta, bool updateMatrices);
  // Mesh deformers of every node, then mesh-based bounds when due.
  void UpdateTransformations(float timeDelta);
  void UpdateLocalTransform();
  void UpdateLocalMatrices();
  void UpdateWorldMatrices();
  // Forces node's matrix in target (world matrices when null), m null recomputes it
  // from the local matrix; the subtree follows.
  void SetNodeTransformMatrix(uint32_t nodeIndex, const AnimCore::Matrix* m,
                              AnimCore::Matrix* target = nullptr);

  // Each part copied (and the node marked changed) only when it differs, while
  // change detection is on.
  void SetLocalTransform(uint32_t nodeIndex, const Transform& transform);
  void SetLocalPosition(uint32_t nodeIndex, const AnimCore::Vector3& position);
  void SetLocalRotation(uint32_t nodeIndex, const AnimCore::Quaternion& rotation);
  bool IsChangeDetectionOn() const;

  void UpdateBounds(uint32_t lod, uint32_t boundsType, uint32_t step);
  void CalcNodeBasedBounds(AnimCore::AABB& box, uint32_t step) const;
  void CalcMeshBasedBounds(uint32_t lod, AnimCore::AABB& box, uint32_t step) const;
  void CalcCollisionMeshBasedBounds(uint32_t lod, AnimCore::AABB& box, uint32_t step) const;

  // False (nothing changed) for itself, an instance already attached, one this
  // instance hangs below, or a node index out of range.
  bool AddAttachment(uint32_t nodeIndex, ActorInstance* attachment);
  void RemoveAttachment(uint32_t index, bool deleteRecord);
  bool RemoveAttachmentByInstance(ActorInstance* attachment, bool deleteRecord);
  ActorInstance* FindAttachmentRoot();

  // The first node, in index order, whose mesh at lod the ray hits under the node's
  // world matrix; null when none is hit.
  Node* IntersectsMesh(uint32_t lod, const AnimCore::Ray& ray) const;

  // The instance's own references to the actor's materials, one list per LOD.
  uint32_t GetNumLODs() const { return mMaterials.GetLength(); }
  uint32_t GetNumLODMaterials(uint32_t lod) const {
    return lod < mMaterials.GetLength() ? mMaterials[lod].GetLength() : 0;
  }
  Material* GetMaterial(uint32_t lod, uint32_t index) const;
  AnimCore::Pointer<Material>* GetMaterialPointer(uint32_t lod, uint32_t index);
  // Grows the list of lod with empty references or shrinks it, releasing the dropped
  // ones. False for a LOD the instance does not have or when memory runs out.
  bool SetLODMaterialCount(uint32_t lod, uint32_t count);

  // The actors this instance needs alive: its own actor (kind 2) first, then the
  // actor's dependencies.
  uint32_t GetNumDependencies() const { return mDependencies.GetLength(); }
  const Actor::Dependency& GetDependency(uint32_t index) const { return mDependencies[index]; }
  uint32_t GetNumAttachments() const { return mAttachments.GetLength(); }
  Attachment* GetAttachment(uint32_t index) const { return mAttachments[index]; }

  // Take ownership (made with AnimCore::New); on failure the controller is deleted.
  bool AddLocalSpaceController(LocalSpaceController* controller);
  bool AddWorldSpaceController(Controller* controller);
  void RemoveLocalSpaceController(uint32_t index, bool deleteIt);
  void RemoveWorldSpaceController(uint32_t index, bool deleteIt);
  void RemoveWorldSpaceController(Controller* controller, bool deleteIt);
  void RemoveAllWorldSpaceControllers(bool deleteThem);
  uint32_t GetNumLocalSpaceControllers() const { return mLocalSpaceControllers.GetLength(); }
  LocalSpaceController* GetLocalSpaceController(uint32_t index) const { return mLocalSpaceControllers[index]; }
  uint32_t GetNumWorldSpaceControllers() const { return mWorldSpaceControllers.GetLength(); }
  Controller* GetWorldSpaceController(uint32_t index) const { return mWorldSpaceControllers[index]; }

  Actor* GetActor() const { return mActor; }
  MotionSystem* GetMotionSystem() const { return mMotionSystem; }
  TransformData& GetTransformData() { return mTransformData; }
  const TransformData& GetTransformData() const { return mTransformData; }
  uint32_t GetNumNodes() const { return mTransformData.GetNumNodes(); }

  const AnimCore::Matrix& GetLocalTransform() const { return mLocalTransform; }
  const AnimCore::Matrix& GetGlobalTransform() const { return mGlobalTransform; }
  const AnimCore::Matrix& GetParentTransform() const { return mParentTransform; }
  void SetParentTransform(const AnimCore::Matrix& m) { mParentTransform = m; }
  const AnimCore::Quaternion& GetRotation() const { return mRotation; }
  void SetRotation(const AnimCore::Quaternion& rotation) { mRotation = rotation; }
  const AnimCore::Vector3& GetPosition() const { return mPosition; }
  void SetPosition(const AnimCore::Vector3& position) { mPosition = position; }
  const AnimCore::Vector3& GetScale() const { return mScale; }
  void SetScale(const AnimCore::Vector3& scale) { mScale = scale; }
  const AnimCore::AABB& GetBounds() const { return mBounds; }
  ActorInstance* GetAttachedTo() const { return mAttachedTo; }
  Attachment* GetSelfAttachment() const { return mSelfAttachment; }
  uint8_t GetAttachmentDepth() const { return mAttachmentDepth; }

  // One weight entry per morph target of the actor's level-0 setup.
  MorphSetupInstance& GetMorphSetupInstance() { return mMorphSetupInstance; }
  uint32_t GetLODLevel() const { return mLODLevel; }
  void SetLODLevel(uint32_t lod) { mLODLevel = lod; }
  float GetBoundsUpdateInterval() const { return mBoundsUpdateInterval; }
  void SetBoundsUpdateInterval(float seconds) { mBoundsUpdateInterval = seconds; }
  float GetBoundsUpdateTimer() const { return mBoundsUpdateTimer; }
  void SetBoundsUpdateTimer(float seconds) { mBoundsUpdateTimer = seconds; }
  void SetupAutoBoundsUpdate(float interval, uint32_t type, uint32_t step) {
    mBoundsUpdateInterval = interval;
    mBoundsType = type;
    mBoundsStep = step;
    mBoundsAutoUpdate = true;
  }
  bool GetBoundsAutoUpdate() const { return mBoundsAutoUpdate; }
  void SetBoundsAutoUpdate(bool on) { mBoundsAutoUpdate = on; }
  // Read by the update scheduler: a hidden root is not updated, nor is anything
  // hanging on it. The callback's OnUpdateVisibilityFlags sets it each frame.
  bool IsVisible() const { return mIsVisible; }
  void SetIsVisible(bool visible) { mIsVisible = visible; }
  // Left to the game: the object that owns this instance, for its callbacks.
  void* GetCustomData() const { return mCustomData; }
  void SetCustomData(void* data) { mCustomData = data; }
  bool IsEnabled() const { return mIsEnabled; }
  void SetIsEnabled(bool enabled) { mIsEnabled = enabled; }

 private:
  void Detach(ActorInstance* attached);
  // Adds the node offsets of the morph targets of the current level with a weight.
  void ApplyMorphTargets();
  void PassMatricesToAttachments();
  void UpdateWorldSpaceControllers(float timeDelta);
  void UpdateLocalMatrix(uint32_t nodeIndex);
  // The matrix the instance this one hangs on handed down for the node, if any.
  void ApplyNodeMapping(uint32_t nodeIndex);
  void UpdateWorldMatricesFrom(uint32_t firstNode);
  // Local matrices of the nodes a controller wrote (and of their children), then the
  // world matrices from the first of them on.
  void RebuildControlledMatrices(const uint8_t* mask, uint32_t maskLength);

  TransformData mTransformData;
  AnimCore::Matrix mLocalTransform;
  AnimCore::Matrix mGlobalTransform;
  AnimCore::Matrix mParentTransform;
  AnimCore::Quaternion mRotation;
  AnimCore::Quaternion mSecondRotation;
  AnimCore::Vector3 mPosition;
  AnimCore::Vector3 mScale{1.0f, 1.0f, 1.0f};
  AnimCore::AABB mBounds;
  AnimCore::Array<Attachment*> mAttachments;
  AnimCore::Array<Actor::Dependency> mDependencies;
  AnimCore::Array<LocalSpaceController*> mLocalSpaceControllers;
  AnimCore::Array<Controller*> mWorldSpaceControllers;
  AnimCore::Array<AnimCore::Array<AnimCore::Pointer<Material>>> mMaterials;
  Actor* mActor;
  ActorInstance* mAttachedTo = nullptr;
  Attachment* mSelfAttachment = nullptr;
  MotionSystem* mMotionSystem = nullptr;
  MorphSetupInstance mMorphSetupInstance;
  [[maybe_unused]] uint32_t mReserved0 = 0;
  float mBoundsUpdateInterval = 0.1f;
  float mBoundsUpdateTimer = 0.0f;
  uint32_t mLODLevel = 0;
  [[maybe_unused]] uint32_t mReserved1 = 0;
  uint32_t mBoundsStep = 1;
  uint32_t mBoundsType = BOUNDS_NODE_BASED;
  bool mBoundsAutoUpdate = true;
  bool mIsEnabled = false;
  bool mIsVisible = true;
  uint8_t mAttachmentDepth = 0;
  void* mCustomData = nullptr;
};

}  // namespace Anim
