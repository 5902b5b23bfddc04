#include "animation/world_pose.h"

#include <cstring>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/memory_categories.h"

namespace Anim {

WorldPose::WorldPose() : mMatrices(MEMCATEGORY_WORLDPOSE), mScales(MEMCATEGORY_WORLDPOSE) {}

WorldPose::~WorldPose() {
  mMatrices.Clear();
  mScales.Clear();
}

bool WorldPose::Resize(uint32_t n) {
  if (n == 0) {
    mMatrices.Clear();
    mScales.Clear();
    return true;
  }
  return mMatrices.Resize(n) && mScales.Resize(n);
}

bool WorldPose::InitFromWorldMatrices(const AnimCore::Matrix* worldMatrices, uint32_t numNodes) {
  if (mMatrices.GetLength() != numNodes && !Resize(numNodes)) return false;
  if (numNodes > 0 && worldMatrices != nullptr) {
    std::memcpy(static_cast<void*>(mMatrices.GetPtr()), worldMatrices,
                sizeof(AnimCore::Matrix) * numNodes);
  }
  return true;
}

bool WorldPose::InitFromActorInstance(const ActorInstance& instance) {
  const uint32_t numNodes = instance.GetActor()->GetNumNodes();
  // Instances share the actor's node count; anything else is not ours to copy.
  if (instance.GetNumNodes() < numNodes) return false;
  return InitFromWorldMatrices(instance.GetTransformData().GetWorldMatrices(), numNodes);
}

}  // namespace Anim
