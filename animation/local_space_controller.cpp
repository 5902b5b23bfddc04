#include "animation/local_space_controller.h"

#include "animation/actor_instance.h"
#include "animation/core/memory_manager.h"
#include "animation/memory_categories.h"
#include "animation/motion_instance.h"
#include "animation/motion_system.h"

namespace Anim {

void ControlledMotion::CreateMotionLinks(Actor* actor, MotionInstance* instance) {
  mController->CreateMotionLinks(actor, instance);
}

void ControlledMotion::Update(const AnimCore::Array<Transform>& inPose, AnimCore::Array<Transform>& outPose,
                              MotionInstance* instance) {
  mController->UpdatePose(inPose, outPose, instance);
}

LocalSpaceController::LocalSpaceController(ActorInstance* actorInstance)
    : mMotion(AnimCore::New<ControlledMotion>(MEMCATEGORY_CONTROLLEDMOTION, this)),
      mActorInstance(actorInstance) {}

LocalSpaceController::~LocalSpaceController() {
  // A fade would leave the instance playing a motion that is deleted below.
  Deactivate(0.0f);
  AnimCore::Delete(mMotion);
}

bool LocalSpaceController::IsActive() const {
  return mMotionInstance != nullptr && mActorInstance->GetMotionSystem()->IsListed(mMotionInstance);
}

void LocalSpaceController::Activate(uint32_t priority, float blendTime) {
  if (IsActive() || mMotion == nullptr) return;
  sMotionPlayInfo info;
  info.blendInTime = blendTime;
  info.priorityLevel = priority;
  info.mix = 1;
  mMotionInstance = mActorInstance->GetMotionSystem()->PlayMotion(mMotion, &info);
}

void LocalSpaceController::ActivateLike(const LocalSpaceController& other, bool skip) {
  if (skip || !other.IsActive()) return;
  Activate(other.mMotionInstance->GetPriorityLevel(), 0.3f);
}

void LocalSpaceController::Deactivate(float fadeTime) {
  if (!IsActive()) {
    mMotionInstance = nullptr;
    return;
  }
  if (fadeTime == 0.0f) {
    mActorInstance->GetMotionSystem()->RemoveMotionInstance(mMotionInstance);
    mMotionInstance = nullptr;
    return;
  }
  mMotionInstance->SetBlendOutTime(fadeTime);
  mMotionInstance->Stop();
}

}  // namespace Anim
