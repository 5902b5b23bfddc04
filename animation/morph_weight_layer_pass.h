#pragma once

#include "animation/layer_pass.h"

namespace Anim {

// Turns the progressive morph motions listed in the layer system into morph target
// weights of its actor instance. Runs first among the layer passes.
class MorphWeightLayerPass final : public LayerPass {
 public:
  static constexpr uint32_t TYPE_ID = 1;

  explicit MorphWeightLayerPass(MotionLayerSystem* layerSystem) : LayerPass(layerSystem) {}
  uint32_t GetType() const override { return TYPE_ID; }
  void Process() override;
};

}  // namespace Anim
