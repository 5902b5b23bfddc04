#pragma once

#include <cstdint>

#include "animation/core/array.h"
#include "animation/core/string.h"

namespace Anim {

class MotionEventHandler;

// The registry of motion event types (name and numeric id) and the holder of the
// one motion event handler.
class EventManager {
 public:
  struct EventType {
    AnimCore::String name;
    uint32_t id = 0;
  };

  // Installs a handler of the base class.
  EventManager();
  EventManager(const EventManager&) = delete;
  EventManager& operator=(const EventManager&) = delete;
  ~EventManager();

  // With an explicit id: the id, or kInvalidIndex when the name is registered under
  // another id or the id belongs to another name. With kInvalidIndex: the name's id,
  // registering it first under a free id when it is new.
  uint32_t RegisterEventType(const char* name, uint32_t id);
  // Names match with equal length, ignoring ASCII letter case.
  uint32_t FindEventID(const char* name) const;
  bool HasEventType(const char* name) const;
  bool HasEventID(uint32_t id) const;
  int32_t FindEventTypeIndex(uint32_t id) const;
  int32_t FindEventTypeIndexByName(const char* name) const;
  // "" for an index out of range or an entry without name.
  const char* GetEventTypeString(uint32_t index) const;
  uint32_t GetNumEventTypes() const { return mEventTypes.GetLength(); }
  void Clear();

  // Takes ownership of handler (made with AnimCore::New); the old one is deleted
  // when deleteOld is set. Null is refused: there is always a handler.
  void SetEventHandler(MotionEventHandler* handler, bool deleteOld = true);
  MotionEventHandler* GetEventHandler() const { return mHandler; }

 private:
  bool IsIDUsed(uint32_t id) const;

  MotionEventHandler* mHandler = nullptr;
  AnimCore::Array<EventType> mEventTypes;
};

}  // namespace Anim
