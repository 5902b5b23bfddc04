#pragma once

#include <cstdint>

#include "animation/core/array.h"

namespace Anim {

class ActorInstance;
class WorldPose;

// Writes node transforms after the motions, on the nodes its mask selects, with a
// weight that fades in and out.
class Controller {
 public:
  explicit Controller(ActorInstance* actorInstance);
  Controller(const Controller&) = delete;
  Controller& operator=(const Controller&) = delete;
  virtual ~Controller() = default;

  virtual uint32_t GetType() const = 0;
  virtual const char* GetTypeString() const = 0;
  // A new controller of the same kind for the same actor instance.
  virtual Controller* Clone() = 0;
  // pose holds the instance's world matrices and world scales.
  virtual void Update(WorldPose& pose, float timeDelta) = 0;
  virtual void Activate(float fadeTime) { SetWeight(1.0f, fadeTime); }
  virtual void Deactivate(float fadeTime) { SetWeight(0.0f, fadeTime); }

  // time exactly 0 sets the weight at once.
  void SetWeight(float target, float time);
  void UpdateWeight(float timeDelta);
  void CopyWeight(const Controller& other);
  // Sets the mask of nodeIndex and its whole subtree.
  void SetNodeMaskRecursive(uint32_t nodeIndex, uint8_t value);

  float GetWeight() const { return mWeight; }
  float GetTargetWeight() const { return mTargetWeight; }
  bool IsBlending() const { return mBlending; }
  ActorInstance* GetActorInstance() const { return mActorInstance; }
  AnimCore::Array<uint8_t>& GetNodeMask() { return mNodeMask; }

 private:
  void SetMaskSubTree(uint32_t nodeIndex, uint8_t value, uint32_t depth);

  AnimCore::Array<uint8_t> mNodeMask;
  ActorInstance* mActorInstance;
  float mWeight = 0.0f;
  float mTargetWeight = 0.0f;
  float mWeightDelta = 0.0f;
  bool mBlending = false;
};

// The kind of controller an actor instance runs on its world pose.
class WorldSpaceController : public Controller {
 public:
  using Controller::Controller;
};

}  // namespace Anim
