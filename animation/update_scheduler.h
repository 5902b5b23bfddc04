#pragma once

#include <cstdint>

namespace Anim {

class ActorInstance;

// Decides the order in which the actor manager's instances are updated each frame.
class UpdateScheduler {
 public:
  UpdateScheduler() = default;
  UpdateScheduler(const UpdateScheduler&) = delete;
  UpdateScheduler& operator=(const UpdateScheduler&) = delete;
  virtual ~UpdateScheduler() = default;

  virtual const char* GetTypeString() const = 0;
  virtual uint32_t GetType() const = 0;
  // Updates the library manager's instances for one frame through its callback.
  virtual void Execute(float timeDelta) { (void)timeDelta; }
  // Forgets every instance it was told about.
  virtual void Clear() {}
  // An attachment root (with everything hanging on it) enters or leaves the schedule;
  // attaching and detaching take the root out and put it back.
  virtual void AddActorInstance(ActorInstance* instance) = 0;
  virtual void RemoveActorInstance(ActorInstance* instance) = 0;
};

// Updates every instance on the calling thread, attachments after the instance they
// hang on. It walks the manager's lists each frame, so it keeps no schedule of its own.
class SingleProcessorScheduler final : public UpdateScheduler {
 public:
  static constexpr uint32_t TYPE_ID = 1;

  const char* GetTypeString() const override { return "SingleProcessorScheduler"; }
  uint32_t GetType() const override { return TYPE_ID; }
  // Visibility flags of every instance first; then each visible root, depth first
  // through its attachments, OnUpdate followed by OnRender per instance.
  void Execute(float timeDelta) override;
  void AddActorInstance(ActorInstance*) override {}
  void RemoveActorInstance(ActorInstance*) override {}
};

}  // namespace Anim
