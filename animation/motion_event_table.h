#pragma once

#include <cstdint>

#include "animation/core/array.h"
#include "animation/core/string.h"

namespace Anim {

class ActorInstance;
class MotionInstance;

struct MotionEvent {
  float time = 0.0f;
  uint32_t eventTypeID = 0;
  uint32_t parameterIndex = 0;
};

// The timed events of one motion, sorted by time, with their parameter strings
// stored once each.
class MotionEventTable {
 public:
  MotionEventTable();
  MotionEventTable(const MotionEventTable&) = delete;
  MotionEventTable& operator=(const MotionEventTable&) = delete;
  ~MotionEventTable();

  // Adds an event of a registered type; an unknown type is dropped with a warning.
  void AddEvent(float time, const char* typeName, const char* parameter);
  // Fires the events passed between startTime and endTime: forward [start, end) when
  // end >= start, else backward (end, start].
  void ProcessEvents(float startTime, float endTime, ActorInstance* actorInstance,
                     MotionInstance* motionInstance) const;

  uint32_t GetNumEvents() const { return mEvents.GetLength(); }
  const MotionEvent& GetEvent(uint32_t index) const { return mEvents[index]; }
  uint32_t GetNumParameters() const { return mParameters.GetLength(); }
  const AnimCore::String& GetParameter(uint32_t index) const { return mParameters[index]; }
  void Clear();

 private:
  void Fire(const MotionEvent& event, ActorInstance* actorInstance,
            MotionInstance* motionInstance) const;

  AnimCore::Array<AnimCore::String> mParameters;
  AnimCore::Array<MotionEvent> mEvents;
};

}  // namespace Anim
