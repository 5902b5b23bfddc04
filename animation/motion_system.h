#pragma once

#include <cstdint>

#include "animation/core/array.h"
#include "animation/motion_instance.h"

namespace Anim {

class ActorInstance;
class Motion;
class MotionSystem;

// Motions asked to play after the current one. Each waits until the primary
// instance is about to end and then blends in while it ends.
class MotionQueue {
 public:
  struct Entry {
    MotionInstance* instance = nullptr;  // owned until started
    sMotionPlayInfo playInfo;
  };

  MotionQueue(ActorInstance* actorInstance, MotionSystem* motionSystem);
  MotionQueue(const MotionQueue&) = delete;
  MotionQueue& operator=(const MotionQueue&) = delete;
  ~MotionQueue();

  bool AddEntry(const Entry& entry);
  // Only meaningful with at least one entry waiting.
  bool ShouldPlayNext() const;
  // Starts the first entry on the motion system. An entry the motion system cannot
  // list stays first in the queue for the next update; false then.
  bool PlayNext();
  // At most one entry per call.
  void Update();
  // Deletes the waiting instances.
  void ClearAll();
  uint32_t GetNumEntries() const { return mEntries.GetLength(); }
  const Entry& GetEntry(uint32_t index) const { return mEntries[index]; }

 private:
  AnimCore::Array<Entry> mEntries;
  MotionSystem* mMotionSystem;
  ActorInstance* mActorInstance;
};

// Plays motions on one actor instance: owns its motion instances (highest priority
// first) and its motion queue.
class MotionSystem {
 public:
  explicit MotionSystem(ActorInstance* actorInstance);
  MotionSystem(const MotionSystem&) = delete;
  MotionSystem& operator=(const MotionSystem&) = delete;
  // Deletes every listed instance (last first), then the queue with its instances.
  virtual ~MotionSystem();

  // playInfo may be null (defaults); with blend mode 1 it gets the mix flag. Null
  // motion: none. The returned instance is listed, or queued when play now is clear.
  virtual MotionInstance* PlayMotion(Motion* motion, sMotionPlayInfo* playInfo);
  virtual uint32_t GetType() const = 0;
  virtual const char* GetTypeString() const = 0;
  virtual void Update(float timeDelta, bool updateNodes) = 0;
  virtual MotionInstance* GetPrimaryInstance() const = 0;
  // Lists and starts the instance. False when the list cannot take it: the instance
  // is then neither listed nor deleted, and stays the caller's.
  virtual bool StartMotion(MotionInstance* instance, const sMotionPlayInfo* playInfo) = 0;

  // Neither lists, starts nor queues it.
  MotionInstance* CreateMotionInstance(Motion* motion, const sMotionPlayInfo& playInfo);
  // False (nothing deleted) when it is not listed.
  bool RemoveMotionInstance(MotionInstance* instance);
  bool IsListed(const MotionInstance* instance) const;

  uint32_t GetNumMotionInstances() const { return mMotionInstances.GetLength(); }
  MotionInstance* GetMotionInstance(uint32_t index) const { return mMotionInstances[index]; }
  ActorInstance* GetActorInstance() const { return mActorInstance; }
  MotionQueue* GetMotionQueue() const { return mMotionQueue; }

 protected:
  static void DeleteInstance(MotionInstance* instance);

  AnimCore::Array<MotionInstance*> mMotionInstances;
  ActorInstance* mActorInstance;
  MotionQueue* mMotionQueue = nullptr;
};

}  // namespace Anim
