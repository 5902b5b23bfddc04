#include "animation/world_pose.h"

#include <cstring>

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

}  // namespace Anim
