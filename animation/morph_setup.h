#pragma once

#include <cstdint>

#include "animation/core/array.h"
#include "animation/morph_target.h"

namespace Anim {

// The progressive morph targets of an actor at one level of detail, shared through
// AnimCore::Pointer handles. Owns the targets.
class MorphSetup {
 public:
  // Type id of the mesh deformer that applies morph targets.
  static constexpr uint32_t MORPH_DEFORMER_TYPE = 2;

  MorphSetup();
  MorphSetup(const MorphSetup&) = delete;
  MorphSetup& operator=(const MorphSetup&) = delete;
  ~MorphSetup();

  // Takes ownership (made with AnimCore::New); on failure it is deleted.
  bool AddMorphTarget(MorphTarget* target);
  uint32_t GetNumMorphTargets() const { return mMorphTargets.GetLength(); }
  MorphTarget* GetMorphTarget(uint32_t index) const {
    return index < mMorphTargets.GetLength() ? mMorphTargets[index] : nullptr;
  }
  // The first target whose name id is id, or null.
  MorphTarget* FindMorphTargetByID(uint32_t id) const;
  // A new setup holding a clone of every target; null when memory runs out.
  MorphSetup* Clone() const;

 private:
  AnimCore::Array<MorphTarget*> mMorphTargets;
};

// The weights an actor instance gives its actor's morph targets.
class MorphSetupInstance {
 public:
  struct MorphTarget {
    uint32_t id = UINT32_MAX;
    float weight = 0.0f;
    bool manualMode = false;
  };

  MorphSetupInstance();
  // One unbound entry per target of setup, then bound to the targets' ids in order.
  bool Init(const MorphSetup* setup);
  uint32_t GetNumMorphTargets() const { return mMorphTargets.GetLength(); }
  MorphTarget* GetMorphTarget(uint32_t index) {
    return index < mMorphTargets.GetLength() ? &mMorphTargets[index] : nullptr;
  }
  // Index of the first entry with id, or -1.
  int32_t FindMorphTargetNumberByID(uint32_t id) const;
  MorphTarget* FindMorphTargetByID(uint32_t id) {
    const int32_t index = FindMorphTargetNumberByID(id);
    return index < 0 ? nullptr : &mMorphTargets[static_cast<uint32_t>(index)];
  }

 private:
  AnimCore::Array<MorphTarget> mMorphTargets;
};

}  // namespace Anim
