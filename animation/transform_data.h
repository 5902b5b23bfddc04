#pragma once

#include <cstdint>

#include "animation/core/matrix.h"
#include "animation/transform.h"

namespace Anim {

class Actor;

// The per-node matrices, transforms and flag words of an actor or actor instance.
// Each array is either owned or borrowed from the actor the block was initialised
// from, as the ownership flags say; the flag words are always owned.
class TransformData {
 public:
  enum : uint32_t {
    OWN_WORLDMATRICES = 0x01,
    OWN_LOCALMATRICES = 0x02,
    OWN_INVBINDMATRICES = 0x04,
    OWN_BINDTRANSFORMS = 0x08,
    OWN_LOCALTRANSFORMS = 0x10,
    OWN_ALL = 0x1F,
  };
  // Bits of a node's flag word.
  enum : uint32_t {
    NODEFLAG_CHANGED = 0x1,
    NODEFLAG_SCALED = 0x2,
    NODEFLAG_WRITTEN = 0x4,
  };

  TransformData() = default;
  TransformData(const TransformData&) = delete;
  TransformData& operator=(const TransformData&) = delete;
  ~TransformData() { Release(); }

  // Frees the owned arrays and the flag words; the counts become 0 and the
  // ownership flags stay.
  void Release();
  // Grows every owned array to n entries (contents kept, new entries uninitialised);
  // nothing when the block already holds more. False when memory runs out, and the
  // block is unchanged then.
  bool Reserve(uint32_t n);
  // One more node; grows by 10 when full. Its bind and local transforms start as
  // the identity transform and its matrices as identity. False when memory runs out.
  bool AddNode();
  // Gives the owned arrays exactly the node count.
  bool Shrink();
  // Sets up the block for actor's nodes: arrays whose bit is set in flags are this
  // block's own, the others are the actor's. Transforms start as the actor's bind
  // pose, matrices as identity, flag words as 7. False when memory runs out; the
  // block is released then.
  bool InitForActor(Actor* actor, uint32_t flags);

  AnimCore::Matrix* GetWorldMatrices() const { return mWorldMatrices; }
  AnimCore::Matrix* GetLocalMatrices() const { return mLocalMatrices; }
  AnimCore::Matrix* GetInverseBindMatrices() const { return mInverseBindMatrices; }
  Transform* GetLocalTransforms() const { return mLocalTransforms; }
  Transform* GetBindTransforms() const { return mBindTransforms; }
  uint32_t* GetNodeFlags() const { return mNodeFlags; }
  uint32_t GetNumNodes() const { return mNumNodes; }
  uint32_t GetMaxNumNodes() const { return mMaxNumNodes; }
  uint32_t GetOwnershipFlags() const { return mOwnershipFlags; }

 private:
  AnimCore::Matrix* mWorldMatrices = nullptr;
  AnimCore::Matrix* mLocalMatrices = nullptr;
  AnimCore::Matrix* mInverseBindMatrices = nullptr;
  Transform* mLocalTransforms = nullptr;
  Transform* mBindTransforms = nullptr;
  uint32_t* mNodeFlags = nullptr;
  uint32_t mNumNodes = 0;
  uint32_t mMaxNumNodes = 0;
  uint32_t mOwnershipFlags = OWN_ALL;
};

}  // namespace Anim
