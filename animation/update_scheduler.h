#pragma once

#include <cstdint>

namespace Anim {

// Decides the order in which the actor manager's instances are updated each frame.
class UpdateScheduler {
 public:
  UpdateScheduler() = default;
  UpdateScheduler(const UpdateScheduler&) = delete;
  UpdateScheduler& operator=(const UpdateScheduler&) = delete;
  virtual ~UpdateScheduler() = default;

  virtual const char* GetTypeString() const = 0;
  virtual uint32_t GetType() const = 0;
};

// Updates every instance on the calling thread, attachments after the instance they
// hang on.
class SingleProcessorScheduler final : public UpdateScheduler {
 public:
  static constexpr uint32_t TYPE_ID = 1;

  const char* GetTypeString() const override { return "SingleProcessorScheduler"; }
  uint32_t GetType() const override { return TYPE_ID; }
};

}  // namespace Anim
