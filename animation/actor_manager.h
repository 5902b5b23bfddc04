#pragma once

#include <cstdint>

#include "animation/core/array.h"

namespace Anim {

class Actor;
class ActorUpdateCallBack;
class UpdateScheduler;

// The registry of the actors the game loaded (each with its clones) and the owner
// of the update callback and the update scheduler.
class ActorManager {
 public:
  ActorManager();
  ActorManager(const ActorManager&) = delete;
  ActorManager& operator=(const ActorManager&) = delete;
  // Deletes the clones of every registered actor, never the actors themselves.
  ~ActorManager();

  // Adds an entry whose element 0 is actor. False when memory runs out.
  bool RegisterActor(Actor* actor);
  // Removes the entry whose element 0 is actor, deleting its clones; an actor that is
  // not registered (a clone, say) changes nothing.
  void UnregisterActor(Actor* actor);
  void UnregisterActor(uint32_t index);
  void UnregisterAllActors(bool deleteStorage);
  uint32_t GetNumRegisteredActors() const { return mActors.GetLength(); }
  // Element 0 of an entry: the registered actor itself.
  Actor* GetRegisteredActor(uint32_t index) const;
  int32_t FindRegisteredActorIndex(const Actor* actor) const;

  ActorUpdateCallBack* GetCallBack() const { return mCallBack; }
  // Takes ownership (made with AnimCore::New) and deletes the previous callback.
  void SetCallBack(ActorUpdateCallBack* callBack);
  UpdateScheduler* GetScheduler() const { return mScheduler; }

 private:
  void DeleteClones(AnimCore::Array<Actor*>& entry);

  AnimCore::Array<AnimCore::Array<Actor*>> mActors;
  ActorUpdateCallBack* mCallBack = nullptr;
  UpdateScheduler* mScheduler = nullptr;
};

}  // namespace Anim
