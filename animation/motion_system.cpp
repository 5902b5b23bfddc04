#include "animation/motion_system.h"

#include "animation/core/memory_manager.h"
#include "animation/memory_categories.h"
#include "animation/motion.h"
#include "animation/motion_event_handler.h"

namespace Anim {

MotionQueue::MotionQueue(ActorInstance* actorInstance, MotionSystem* motionSystem)
    : mEntries(MEMCATEGORY_MOTIONMISC), mMotionSystem(motionSystem), mActorInstance(actorInstance) {}

MotionQueue::~MotionQueue() { ClearAll(); }

bool MotionQueue::AddEntry(const Entry& entry) { return mEntries.Add(entry); }

void MotionQueue::ClearAll() {
  for (Entry& entry : mEntries) AnimCore::Delete(entry.instance);
  mEntries.Clear();
}

bool MotionQueue::ShouldPlayNext() const {
  const MotionInstance* p = mMotionSystem->GetPrimaryInstance();
  if (p == nullptr || mEntries.IsEmpty()) return false;
  const float b = mEntries[0].playInfo.blendInTime + p->GetBlendOutTime();
  const bool limited = p->GetMaxLoops() != MotionInstance::kLoopForever;
  const float time = p->GetCurrentTime();
  const float maxPlayTime = p->GetMaxPlayTime();
  if (p->IsStopping()) return true;
  if (limited && p->GetCurrentLoop() >= p->GetMaxLoops()) return true;
  if (maxPlayTime > 0.0f && time >= maxPlayTime) return true;
  if (maxPlayTime > 0.0f && time >= maxPlayTime - b) return true;
  return limited && p->GetCurrentLoop() == p->GetMaxLoops() - 1 &&
         time >= p->GetMotion()->GetMaxTime() - b;
}

bool MotionQueue::PlayNext() {
  if (mEntries.IsEmpty()) return false;
  // Removed only once listed: an instance the list could not take stays queued, and
  // the pointer its caller kept stays good.
  const Entry entry = mEntries[0];
  if (!mMotionSystem->StartMotion(entry.instance, &entry.playInfo)) return false;
  mEntries.Remove(0);
  return true;
}

void MotionQueue::Update() {
  if (mEntries.IsEmpty()) return;
  if (mMotionSystem->GetNumMotionInstances() == 0 || ShouldPlayNext()) PlayNext();
}

MotionSystem::MotionSystem(ActorInstance* actorInstance)
    : mMotionInstances(MEMCATEGORY_MOTIONSYSTEM), mActorInstance(actorInstance) {
  mMotionQueue = AnimCore::New<MotionQueue>(MEMCATEGORY_MOTIONMISC, actorInstance, this);
}

MotionSystem::~MotionSystem() {
  while (!mMotionInstances.IsEmpty()) {
    MotionInstance* instance = mMotionInstances.GetLast();
    mMotionInstances.Remove(mMotionInstances.GetLength() - 1);
    DeleteInstance(instance);
  }
  AnimCore::Delete(mMotionQueue);
  mMotionInstances.Clear();
}

void MotionSystem::DeleteInstance(MotionInstance* instance) { AnimCore::Delete(instance); }

MotionInstance* MotionSystem::CreateMotionInstance(Motion* motion, const sMotionPlayInfo& playInfo) {
  MotionInstance* instance = AnimCore::New<MotionInstance>(MEMCATEGORY_MOTIONINSTANCE, motion,
                                                           mActorInstance, playInfo.startNodeIndex);
  if (instance != nullptr) instance->SetPlayInfo(playInfo);
  return instance;
}

MotionInstance* MotionSystem::PlayMotion(Motion* motion, sMotionPlayInfo* playInfo) {
  if (motion == nullptr) return nullptr;
  sMotionPlayInfo defaults;
  sMotionPlayInfo& info = playInfo != nullptr ? *playInfo : defaults;
  MotionEventHandler* handler = GetMotionEventHandler();
  if (handler != nullptr) handler->OnPlayMotion(motion, &info);
  if (info.blendMode == MotionInstance::BLENDMODE_ADDITIVE && info.mix == 0) info.mix = 1;

  MotionInstance* instance = CreateMotionInstance(motion, info);
  if (instance == nullptr) return nullptr;
  if (info.playNow != 0) {
    if (!StartMotion(instance, &info)) {
      DeleteInstance(instance);
      return nullptr;
    }
    return instance;
  }
  if (mMotionQueue == nullptr || !mMotionQueue->AddEntry({instance, info})) {
    AnimCore::Delete(instance);
    return nullptr;
  }
  instance->Pause();
  instance->SetActive(false);
  if (handler != nullptr) handler->OnQueueMotionInstance(instance, &info);
  return instance;
}

bool MotionSystem::RemoveMotionInstance(MotionInstance* instance) {
  if (!mMotionInstances.RemoveByValue(instance)) return false;
  DeleteInstance(instance);
  return true;
}

bool MotionSystem::IsListed(const MotionInstance* instance) const {
  if (instance == nullptr) return false;
  for (const MotionInstance* listed : mMotionInstances) {
    if (listed == instance) return true;
  }
  return false;
}

}  // namespace Anim
