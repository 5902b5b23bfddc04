#pragma once

#include <cstdint>

#include "animation/core/array.h"
#include "animation/core/matrix.h"
#include "animation/core/vector3.h"

namespace Anim {

class ActorInstance;

// Scratch world matrices and world scales, one per node, on which a world-space
// controller works. One per actor, used by one controller at a time.
class WorldPose {
 public:
  WorldPose();
  WorldPose(const WorldPose&) = delete;
  WorldPose& operator=(const WorldPose&) = delete;
  ~WorldPose();

  // 0 empties both arrays and frees them; otherwise both get n entries (new ones
  // uninitialised). False when memory runs out.
  bool Resize(uint32_t n);
  // Copies numNodes world matrices in, resizing first when the count differs.
  // The instance's world matrices, one per node of its actor; scales untouched.
  bool InitFromActorInstance(const ActorInstance& instance);
  bool InitFromWorldMatrices(const AnimCore::Matrix* worldMatrices, uint32_t numNodes);

  uint32_t GetNumNodes() const { return mMatrices.GetLength(); }
  AnimCore::Array<AnimCore::Matrix>& GetMatrices() { return mMatrices; }
  AnimCore::Array<AnimCore::Vector3>& GetScales() { return mScales; }

 private:
  AnimCore::Array<AnimCore::Matrix> mMatrices;
  AnimCore::Array<AnimCore::Vector3> mScales;
};

}  // namespace Anim
