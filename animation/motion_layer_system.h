#pragma once

#include <cstdint>

#include "animation/core/array.h"
#include "animation/core/matrix.h"
#include "animation/motion_system.h"
#include "animation/transform.h"

namespace Anim {

class LayerPass;
class RepositioningLayerPass;

// The motion system of every actor instance: orders its instances by priority,
// starts queued motions, removes finished and hidden ones and blends the rest into
// the instance's local transforms.
class MotionLayerSystem final : public MotionSystem {
 public:
  static constexpr uint32_t TYPE_ID = 1;

  explicit MotionLayerSystem(ActorInstance* actorInstance);
  ~MotionLayerSystem() override;

  uint32_t GetType() const override { return TYPE_ID; }
  const char* GetTypeString() const override { return "MotionLayerSystem"; }
  void Update(float timeDelta, bool updateNodes) override;
  // The first instance without the mix flag.
  MotionInstance* GetPrimaryInstance() const override;
  bool StartMotion(MotionInstance* instance, const sMotionPlayInfo* playInfo) override;

  // Takes ownership (made with AnimCore::New); on failure it is deleted.
  bool AddLayerPass(LayerPass* pass);
  uint32_t GetNumLayerPasses() const { return mLayerPasses.GetLength(); }
  RepositioningLayerPass* GetRepositioningPass() const { return mRepositioningPass; }
  // Takes ownership, deleting the previous one.
  void SetRepositioningPass(RepositioningLayerPass* pass);

 private:
  void RemoveFinishedInstances();
  void BlendInstance(const MotionInstance& instance, AnimCore::Array<Transform>& current,
                     const AnimCore::Array<Transform>& motionPose) const;
  void HandPoseToActorInstance(const AnimCore::Array<Transform>& current);

  AnimCore::Array<LayerPass*> mLayerPasses;
  RepositioningLayerPass* mRepositioningPass = nullptr;
};

// The interpolating blend of two transforms: positions and scales linear, rotations
// the sign-corrected linear blend, normalised.
void BlendTransforms(const Transform& a, const Transform& b, float w, Transform& out);
// b relative to the bind transform d, added to a with weight w.
void BlendTransformsAdditive(const Transform& a, const Transform& b, const Transform& d, float w,
                             Transform& out);

// Hands target world matrices of the nodes mask selects back to the instance's local
// transforms with weight w (nothing below 0.0001): each node, current and target made
// relative to their parents' matrices, decomposed and blended as BlendTransforms does.
// target and mask hold one entry per node of the instance.
void BlendWorldSpace(ActorInstance& instance, const AnimCore::Matrix* target, const uint8_t* mask,
                     float w);

}  // namespace Anim
