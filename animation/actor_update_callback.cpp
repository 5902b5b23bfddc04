#include "animation/actor_update_callback.h"

#include "animation/core/log.h"

namespace Anim {

void ActorUpdateCallBack::OnUpdateVisibilityFlags(ActorInstance*, float) {
  AnimCore::Log(
      "ActorUpdateCallBack::OnUpdateVisibilityFlags() - You have to implement your own "
      "ActorUpdateCallBack inherited class and use ANIM_ACTORMANAGER.SetCallBack( new "
      "YourCallBack() ) to activate it!");
}

void ActorUpdateCallBack::OnUpdate(ActorInstance*, float) {
  AnimCore::Log(
      "ActorUpdateCallBack::OnUpdate() - You have to implement your own ActorUpdateCallBack "
      "inherited class and use ANIM_ACTORMANAGER.SetCallBack( new YourCallBack() ) to activate "
      "it!");
}

void ActorUpdateCallBack::OnRender(ActorInstance*, float) {
  AnimCore::Log(
      "ActorUpdateCallBack::OnRender() - You have to implement your own ActorUpdateCallBack "
      "inherited class and use ANIM_ACTORMANAGER.SetCallBack( new YourCallBack() ) to activate "
      "it!");
}

}  // namespace Anim
