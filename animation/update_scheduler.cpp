#include "animation/update_scheduler.h"

#include "animation/actor_instance.h"
#include "animation/actor_manager.h"
#include "animation/actor_update_callback.h"
#include "animation/anim_manager.h"

namespace Anim {
namespace {

void UpdateRecursive(ActorUpdateCallBack& callBack, ActorInstance* instance, float timeDelta) {
  callBack.OnUpdate(instance, timeDelta);
  callBack.OnRender(instance, timeDelta);
  for (uint32_t i = 0; i < instance->GetNumAttachments(); ++i) {
    const Attachment* attachment = instance->GetAttachment(i);
    if (attachment != nullptr && attachment->attachment != nullptr) {
      UpdateRecursive(callBack, attachment->attachment, timeDelta);
    }
  }
}

}  // namespace

void SingleProcessorScheduler::Execute(float timeDelta) {
  ActorManager* manager = GetActorManager();
  if (manager == nullptr || manager->GetCallBack() == nullptr) return;
  ActorUpdateCallBack& callBack = *manager->GetCallBack();
  for (uint32_t i = 0; i < manager->GetNumActorInstances(); ++i) {
    callBack.OnUpdateVisibilityFlags(manager->GetActorInstance(i), timeDelta);
  }
  for (uint32_t i = 0; i < manager->GetNumRootActorInstances(); ++i) {
    ActorInstance* root = manager->GetRootActorInstance(i);
    if (root->IsVisible()) UpdateRecursive(callBack, root, timeDelta);
  }
}

}  // namespace Anim
