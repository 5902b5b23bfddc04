#pragma once

#include <cstdint>

#include "animation/core/array.h"
#include "animation/motion.h"
#include "animation/transform.h"

namespace Anim {

class ActorInstance;
class LocalSpaceController;
class MotionInstance;

// The motion through which a local-space controller's pose is played and blended.
class ControlledMotion final : public Motion {
 public:
  static constexpr uint32_t TYPE_ID = TYPE_CONTROLLED;

  explicit ControlledMotion(LocalSpaceController* controller) : Motion(nullptr), mController(controller) {}

  uint32_t GetType() const override { return TYPE_ID; }
  const char* GetTypeString() const override { return "ControlledMotion"; }
  void UpdateMaxTime() override { mMaxTime = 0.0f; }
  bool HidesAllMotionsBelow() const override { return true; }
  void CreateMotionLinks(Actor* actor, MotionInstance* instance) override;
  void Update(const AnimCore::Array<Transform>& inPose, AnimCore::Array<Transform>& outPose,
              MotionInstance* instance) override;
  LocalSpaceController* GetController() const { return mController; }

 private:
  LocalSpaceController* mController;
};

// Produces a whole local pose, played like a mixed motion.
class LocalSpaceController {
 public:
  explicit LocalSpaceController(ActorInstance* actorInstance);
  LocalSpaceController(const LocalSpaceController&) = delete;
  LocalSpaceController& operator=(const LocalSpaceController&) = delete;
  // Removes its instance at once: the controlled motion it plays dies here.
  virtual ~LocalSpaceController();

  virtual uint32_t GetType() const = 0;
  virtual const char* GetTypeString() const = 0;
  virtual void Update() = 0;
  virtual void CreateMotionLinks(Actor* actor, MotionInstance* instance) = 0;
  virtual void UpdatePose(const AnimCore::Array<Transform>& inPose, AnimCore::Array<Transform>& outPose,
                          MotionInstance* instance) = 0;
  // Plays the controlled motion unless its instance is still listed.
  virtual void Activate(uint32_t priority, float blendTime);
  // 0 removes the instance at once; otherwise it is stopped over fadeTime.
  virtual void Deactivate(float fadeTime);

  void ActivateLike(const LocalSpaceController& other, bool skip);
  // Its instance, while it is listed.
  bool IsActive() const;

  ControlledMotion* GetControlledMotion() const { return mMotion; }
  ActorInstance* GetActorInstance() const { return mActorInstance; }
  MotionInstance* GetMotionInstance() const { return mMotionInstance; }

 private:
  ControlledMotion* mMotion;
  ActorInstance* mActorInstance;
  MotionInstance* mMotionInstance = nullptr;
};

}  // namespace Anim
