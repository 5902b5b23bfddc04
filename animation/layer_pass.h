#pragma once

#include <cstdint>

#include "animation/core/array.h"
#include "animation/core/vector3.h"

namespace Anim {

class MotionInstance;
class MotionLayerSystem;

// Runs over a motion layer system after its motions are blended.
class LayerPass {
 public:
  explicit LayerPass(MotionLayerSystem* layerSystem) : mLayerSystem(layerSystem) {}
  LayerPass(const LayerPass&) = delete;
  LayerPass& operator=(const LayerPass&) = delete;
  virtual ~LayerPass() = default;

  virtual uint32_t GetType() const = 0;
  virtual void Process() = 0;
  MotionLayerSystem* GetLayerSystem() const { return mLayerSystem; }

 protected:
  MotionLayerSystem* mLayerSystem;
};

// Moves the actor instance by the root motion of its repositioning node and keeps
// that node at its default place.
class RepositioningLayerPass : public LayerPass {
 public:
  static constexpr uint32_t TYPE_ID = 2;

  explicit RepositioningLayerPass(MotionLayerSystem* layerSystem);
  uint32_t GetType() const override { return TYPE_ID; }
  void Process() override;

 protected:
  // The repositioning node's movement in instance between two times.
  static AnimCore::Vector3 CalcMovement(MotionInstance& instance, uint32_t node, float from, float to);

 private:
  AnimCore::Array<uint32_t> mAncestors;
  int32_t mAncestorsOf = -1;
};

}  // namespace Anim
