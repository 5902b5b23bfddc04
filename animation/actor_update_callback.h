#pragma once

namespace Anim {

class ActorInstance;

// What the update scheduler calls for each actor instance; the game derives its own.
// The defaults only log that they should have been replaced.
class ActorUpdateCallBack {
 public:
  ActorUpdateCallBack() = default;
  ActorUpdateCallBack(const ActorUpdateCallBack&) = delete;
  ActorUpdateCallBack& operator=(const ActorUpdateCallBack&) = delete;
  virtual ~ActorUpdateCallBack() = default;

  virtual void OnUpdateVisibilityFlags(ActorInstance* actorInstance, float timeDelta);
  virtual void OnUpdate(ActorInstance* actorInstance, float timeDelta);
  virtual void OnRender(ActorInstance* actorInstance, float timeDelta);
};

}  // namespace Anim
