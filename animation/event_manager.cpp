#include "animation/event_manager.h"

#include <cstring>
#include <utility>

#include "animation/memory_categories.h"
#include "animation/motion_event_handler.h"

namespace Anim {

EventManager::EventManager() : mEventTypes(MEMCATEGORY_MOTIONEVENT) {
  mHandler = AnimCore::New<MotionEventHandler>(MEMCATEGORY_MOTIONEVENT);
}

EventManager::~EventManager() {
  AnimCore::Delete(std::exchange(mHandler, nullptr));
  Clear();
}

int32_t EventManager::FindEventTypeIndexByName(const char* name) const {
  if (name == nullptr) name = "";
  for (uint32_t i = 0; i < mEventTypes.GetLength(); ++i) {
    if (mEventTypes[i].name.IsEqualNoCase(name)) return static_cast<int32_t>(i);
    // A type registered under the empty name has no buffer; it still matches "".
    if (name[0] == '\0' && mEventTypes[i].name.GetLength() == 0) return static_cast<int32_t>(i);
  }
  return -1;
}

uint32_t EventManager::FindEventID(const char* name) const {
  const int32_t index = FindEventTypeIndexByName(name);
  return index < 0 ? kInvalidIndex : mEventTypes[static_cast<uint32_t>(index)].id;
}

bool EventManager::HasEventType(const char* name) const {
  return FindEventID(name) != kInvalidIndex;
}

bool EventManager::IsIDUsed(uint32_t id) const { return FindEventTypeIndex(id) >= 0; }

bool EventManager::HasEventID(uint32_t id) const { return IsIDUsed(id); }

int32_t EventManager::FindEventTypeIndex(uint32_t id) const {
  for (uint32_t i = 0; i < mEventTypes.GetLength(); ++i) {
    if (mEventTypes[i].id == id) return static_cast<int32_t>(i);
  }
  return -1;
}

const char* EventManager::GetEventTypeString(uint32_t index) const {
  return index < mEventTypes.GetLength() ? mEventTypes[index].name.AsChar() : "";
}

uint32_t EventManager::RegisterEventType(const char* name, uint32_t id) {
  if (name == nullptr) name = "";
  const int32_t existing = FindEventTypeIndexByName(name);
  if (id != kInvalidIndex) {
    if (existing >= 0) {
      const uint32_t existingID = mEventTypes[static_cast<uint32_t>(existing)].id;
      return existingID == id ? id : kInvalidIndex;
    }
    if (IsIDUsed(id)) return kInvalidIndex;
  } else {
    if (existing >= 0) return mEventTypes[static_cast<uint32_t>(existing)].id;
    bool found = false;
    if (!mEventTypes.IsEmpty()) {
      const uint32_t next = mEventTypes.GetLast().id + 1;
      if (next < kInvalidIndex && !IsIDUsed(next)) {
        id = next;
        found = true;
      }
    }
    for (uint32_t candidate = 0; !found && candidate < 0x80000000u; ++candidate) {
      if (!IsIDUsed(candidate)) {
        id = candidate;
        found = true;
      }
    }
    if (!found) return kInvalidIndex;
  }
  EventType type;
  type.name = name;
  type.id = id;
  if (!mEventTypes.Add(type)) return kInvalidIndex;
  return id;
}

void EventManager::Clear() { mEventTypes.Clear(); }

void EventManager::SetEventHandler(MotionEventHandler* handler, bool deleteOld) {
  if (handler == nullptr || handler == mHandler) return;
  MotionEventHandler* old = std::exchange(mHandler, handler);
  if (deleteOld) AnimCore::Delete(old);
}

}  // namespace Anim
