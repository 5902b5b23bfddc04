#pragma once

#include <cstdint>

#include "animation/core/array.h"

namespace Anim {

class Actor;
class ActorInstance;
class ActorUpdateCallBack;
class UpdateScheduler;

// The registry of the actors the game loaded (each with its clones) and of the live
// actor instances, and the owner of the update callback and the update scheduler.
class ActorManager {
 public:
  ActorManager();
  ActorManager(const ActorManager&) = delete;
  ActorManager& operator=(const ActorManager&) = delete;
  // Deletes the clones of every registered actor, never the actors themselves nor
  // the instances still registered (they belong to their creators).
  ~ActorManager();

  // Adds the entry [actor, numClones clones made with every clone flag]. False when
  // memory runs out (no entry is added then).
  bool RegisterActor(Actor* actor, uint32_t numClones = 0);
  // Removes the entry whose element 0 is actor, deleting its clones; an actor that is
  // not registered (a clone, say) changes nothing.
  void UnregisterActor(Actor* actor);
  void UnregisterActor(uint32_t index);
  void UnregisterAllActors(bool deleteStorage);
  uint32_t GetNumRegisteredActors() const { return mActors.GetLength(); }
  // Element 0 of an entry: the registered actor itself.
  Actor* GetRegisteredActor(uint32_t index) const;
  int32_t FindRegisteredActorIndex(const Actor* actor) const;

  // A new instance of the registered actor or, at random, of one of its clones; it
  // registers itself. Null for an actor not registered or when memory runs out.
  ActorInstance* CreateActorInstance(Actor* actor, uint32_t transformDataFlags);
  ActorInstance* CreateActorInstance(Actor* actor);

  // Instances call these themselves on creation, attachment changes and deletion.
  bool RegisterActorInstance(ActorInstance* instance);
  // An attached instance leaves the root list (and the schedule); one that is not
  // attached joins the root list once.
  void UpdateActorInstanceRegistration(ActorInstance* instance);
  void UnregisterActorInstance(ActorInstance* instance);
  uint32_t GetNumActorInstances() const { return mActorInstances.GetLength(); }
  ActorInstance* GetActorInstance(uint32_t index) const {
    return index < mActorInstances.GetLength() ? mActorInstances[index] : nullptr;
  }
  uint32_t GetNumRootActorInstances() const { return mRootActorInstances.GetLength(); }
  ActorInstance* GetRootActorInstance(uint32_t index) const {
    return index < mRootActorInstances.GetLength() ? mRootActorInstances[index] : nullptr;
  }

  // The generator CreateActorInstance draws from (one draw per call that finds its
  // actor); null restores the library's own, which starts at seed 1.
  using RandomFunction = int (*)();
  void SetRandomFunction(RandomFunction random);

  ActorUpdateCallBack* GetCallBack() const { return mCallBack; }
  // Takes ownership (made with AnimCore::New) and deletes the previous callback.
  void SetCallBack(ActorUpdateCallBack* callBack);
  UpdateScheduler* GetScheduler() const { return mScheduler; }
  // Takes ownership (made with AnimCore::New) and deletes the previous scheduler.
  void SetScheduler(UpdateScheduler* scheduler);

 private:
  void DeleteClones(AnimCore::Array<Actor*>& entry);

  AnimCore::Array<ActorInstance*> mActorInstances;
  AnimCore::Array<AnimCore::Array<Actor*>> mActors;
  AnimCore::Array<ActorInstance*> mRootActorInstances;
  ActorUpdateCallBack* mCallBack = nullptr;
  UpdateScheduler* mScheduler = nullptr;
  RandomFunction mRandom = nullptr;
};

}  // namespace Anim
