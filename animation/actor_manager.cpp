#include "animation/actor_manager.h"

#include <utility>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/actor_update_callback.h"
#include "animation/memory_categories.h"
#include "animation/update_scheduler.h"

namespace Anim {

namespace {

// The runtime's linear congruential generator, seeded 1, for when the host installs
// none of its own.
uint32_t gPickState = 1;
int DefaultRandom() {
  gPickState = gPickState * 214013u + 2531011u;
  return static_cast<int>((gPickState >> 16) & 0x7FFFu);
}

}  // namespace

ActorManager::ActorManager()
    : mActorInstances(MEMCATEGORY_ACTORMANAGER),
      mActors(MEMCATEGORY_ACTORMANAGER),
      mRootActorInstances(MEMCATEGORY_ACTORMANAGER),
      mRandom(DefaultRandom) {
  mCallBack = AnimCore::New<ActorUpdateCallBack>(MEMCATEGORY_ACTORMANAGER);
  mScheduler = AnimCore::New<SingleProcessorScheduler>(MEMCATEGORY_UPDATESCHEDULER);
}

ActorManager::~ActorManager() {
  mActorInstances.Clear();
  mRootActorInstances.Clear();
  if (mScheduler != nullptr) mScheduler->Clear();
  UnregisterAllActors(true);
  AnimCore::Delete(std::exchange(mCallBack, nullptr));
  AnimCore::Delete(std::exchange(mScheduler, nullptr));
}

bool ActorManager::RegisterActor(Actor* actor, uint32_t numClones) {
  if (actor == nullptr) return false;
  AnimCore::Array<Actor*> entry(MEMCATEGORY_ACTORMANAGER);
  if (!entry.Add(actor)) return false;
  for (uint32_t i = 0; i < numClones; ++i) {
    Actor* clone = actor->Clone(Actor::CLONE_ALL);
    if (clone == nullptr || !entry.Add(clone)) {
      AnimCore::Delete(clone);
      DeleteClones(entry);
      return false;
    }
  }
  if (mActors.Add(std::move(entry))) return true;
  DeleteClones(entry);
  return false;
}

void ActorManager::SetRandomFunction(RandomFunction random) {
  mRandom = random != nullptr ? random : DefaultRandom;
}


void ActorManager::DeleteClones(AnimCore::Array<Actor*>& entry) {
  // Unlink each clone first: its destructor looks itself up here.
  while (entry.GetLength() > 1) {
    Actor* clone = entry.GetLast();
    entry.Remove(entry.GetLength() - 1);
    AnimCore::Delete(clone);
  }
  entry.Clear();
}

int32_t ActorManager::FindRegisteredActorIndex(const Actor* actor) const {
  for (uint32_t i = 0; i < mActors.GetLength(); ++i) {
    if (!mActors[i].IsEmpty() && mActors[i][0] == actor) return static_cast<int32_t>(i);
  }
  return -1;
}

Actor* ActorManager::GetRegisteredActor(uint32_t index) const {
  if (index >= mActors.GetLength() || mActors[index].IsEmpty()) return nullptr;
  return mActors[index][0];
}

void ActorManager::UnregisterActor(Actor* actor) {
  const int32_t index = FindRegisteredActorIndex(actor);
  if (index >= 0) UnregisterActor(static_cast<uint32_t>(index));
}

void ActorManager::UnregisterActor(uint32_t index) {
  if (index >= mActors.GetLength()) return;
  // Taken out of the list before its clones go, so that nothing they do finds it.
  AnimCore::Array<Actor*> entry(std::move(mActors[index]));
  mActors.Remove(index);
  DeleteClones(entry);
}

void ActorManager::UnregisterAllActors(bool deleteStorage) {
  while (!mActors.IsEmpty()) UnregisterActor(mActors.GetLength() - 1);
  if (deleteStorage) mActors.Clear();
}

ActorInstance* ActorManager::CreateActorInstance(Actor* actor, uint32_t transformDataFlags) {
  const int32_t index = FindRegisteredActorIndex(actor);
  if (index < 0) return nullptr;
  const AnimCore::Array<Actor*>& entry = mActors[static_cast<uint32_t>(index)];
  // Unsigned, so a generator returning a negative value still picks in range.
  const uint32_t draw = static_cast<uint32_t>(mRandom());
  Actor* picked = entry[draw % entry.GetLength()];
  return AnimCore::New<ActorInstance>(MEMCATEGORY_ACTORINSTANCE, picked, transformDataFlags);
}

ActorInstance* ActorManager::CreateActorInstance(Actor* actor) {
  return CreateActorInstance(actor, ActorInstance::kDefaultTransformDataFlags);
}

bool ActorManager::RegisterActorInstance(ActorInstance* instance) {
  if (instance == nullptr || !mActorInstances.Add(instance)) return false;
  UpdateActorInstanceRegistration(instance);
  return true;
}

void ActorManager::UpdateActorInstanceRegistration(ActorInstance* instance) {
  if (instance == nullptr) return;
  if (instance->GetAttachedTo() != nullptr) {
    mRootActorInstances.RemoveByValue(instance);
    if (mScheduler != nullptr) mScheduler->RemoveActorInstance(instance);
  } else if (mRootActorInstances.Find(instance) < 0) {
    mRootActorInstances.Add(instance);
  }
}

void ActorManager::UnregisterActorInstance(ActorInstance* instance) {
  mActorInstances.RemoveByValue(instance);
  mRootActorInstances.RemoveByValue(instance);
  if (mScheduler != nullptr) mScheduler->RemoveActorInstance(instance);
}

void ActorManager::SetScheduler(UpdateScheduler* scheduler) {
  if (scheduler == nullptr || scheduler == mScheduler) return;
  AnimCore::Delete(std::exchange(mScheduler, scheduler));
}

void ActorManager::SetCallBack(ActorUpdateCallBack* callBack) {
  if (callBack == nullptr || callBack == mCallBack) return;
  AnimCore::Delete(std::exchange(mCallBack, callBack));
}

}  // namespace Anim
