#include "animation/motion_event_table.h"

#include <cstring>

#include "animation/anim_manager.h"
#include "animation/core/log.h"
#include "animation/event_manager.h"
#include "animation/memory_categories.h"
#include "animation/motion_event_handler.h"

namespace Anim {

MotionEventTable::MotionEventTable()
    : mParameters(MEMCATEGORY_MOTIONEVENT), mEvents(MEMCATEGORY_MOTIONEVENT) {}

MotionEventTable::~MotionEventTable() { Clear(); }

void MotionEventTable::Clear() {
  mParameters.Clear();
  mEvents.Clear();
}

void MotionEventTable::AddEvent(float time, const char* typeName, const char* parameter) {
  if (typeName == nullptr) typeName = "";
  if (parameter == nullptr) parameter = "";
  EventManager* events = GetEventManager();
  const uint32_t typeID = events != nullptr ? events->FindEventID(typeName) : kInvalidIndex;
  if (typeID == kInvalidIndex) {
    AnimCore::Log(
        "MotionEventTable::AddEvent - *** WARNING: Event type '%s' has not yet been registered "
        "at the animation event manager! Event will not be added! ***",
        typeName);
    return;
  }

  const size_t length = std::strlen(parameter);
  uint32_t parameterIndex = kInvalidIndex;
  for (uint32_t i = 0; i < mParameters.GetLength(); ++i) {
    const AnimCore::String& stored = mParameters[i];
    if (stored.GetLength() == length &&
        (length == 0 || std::memcmp(stored.AsChar(), parameter, length) == 0)) {
      parameterIndex = i;
      break;
    }
  }
  if (parameterIndex == kInvalidIndex) {
    if (!mParameters.Add(AnimCore::String(parameter))) return;
    parameterIndex = mParameters.GetLength() - 1;
  }

  const MotionEvent event{time, typeID, parameterIndex};
  const uint32_t count = mEvents.GetLength();
  uint32_t position = count;
  if (count > 0 && !(time >= mEvents[count - 1].time)) {
    if (time <= mEvents[0].time) {
      position = 0;
    } else {
      for (uint32_t i = 0; i + 1 < count; ++i) {
        if (mEvents[i].time <= time && mEvents[i + 1].time >= time) {
          position = i + 1;
          break;
        }
      }
    }
  }
  mEvents.Insert(position, event);
}

void MotionEventTable::Fire(const MotionEvent& event, ActorInstance* actorInstance,
                            MotionInstance* motionInstance) const {
  MotionEventHandler* handler = GetMotionEventHandler();
  if (handler == nullptr) return;
  const char* parameter = event.parameterIndex < mParameters.GetLength()
                              ? mParameters[event.parameterIndex].AsChar()
                              : "";
  handler->OnEvent(event.time, event.eventTypeID, parameter, actorInstance, motionInstance);
}

void MotionEventTable::ProcessEvents(float startTime, float endTime, ActorInstance* actorInstance,
                                     MotionInstance* motionInstance) const {
  const uint32_t count = mEvents.GetLength();
  if (endTime >= startTime) {
    for (uint32_t i = 0; i < count; ++i) {
      const MotionEvent& event = mEvents[i];
      if (event.time > endTime) break;
      if (event.time >= startTime && event.time < endTime) Fire(event, actorInstance, motionInstance);
    }
  } else {
    for (uint32_t i = count; i-- > 0;) {
      const MotionEvent& event = mEvents[i];
      if (event.time < endTime) break;
      if (event.time > endTime && event.time <= startTime) {
        Fire(event, actorInstance, motionInstance);
      }
    }
  }
}

}  // namespace Anim
