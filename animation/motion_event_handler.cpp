#include "animation/motion_event_handler.h"

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/motion.h"
#include "animation/motion_instance.h"

#include "animation/anim_manager.h"
#include "animation/core/log.h"
#include "animation/event_manager.h"

namespace Anim {

void MotionEventHandler::OnEvent(float time, uint32_t eventTypeID, const char* parameters,
                                 ActorInstance* actorInstance, MotionInstance* motionInstance) {
  const char* actorName = actorInstance != nullptr ? actorInstance->GetActor()->GetName() : "";
  const char* motionName =
      motionInstance != nullptr && motionInstance->GetMotion() != nullptr ? motionInstance->GetMotion()->GetName() : "";
  LogEvent(time, eventTypeID, parameters, actorName, motionName);
}

void MotionEventHandler::LogEvent(float time, uint32_t eventTypeID, const char* parameters,
                                  const char* actorName, const char* motionName) {
  const char* typeName = "<unknown>";
  if (EventManager* events = GetEventManager(); events != nullptr) {
    const int32_t index = events->FindEventTypeIndex(eventTypeID);
    if (index >= 0) typeName = events->GetEventTypeString(static_cast<uint32_t>(index));
  }
  AnimCore::Log(
      "Anim: *** Motion event at time %f of type ID %d ('%s') with parameters '%s' for actor "
      "'%s' on motion '%s' has been triggered",
      static_cast<double>(time), static_cast<int>(eventTypeID), typeName,
      parameters != nullptr ? parameters : "", actorName != nullptr ? actorName : "",
      motionName != nullptr ? motionName : "");
}

MotionEventHandler* GetMotionEventHandler() {
  EventManager* events = GetEventManager();
  return events != nullptr ? events->GetEventHandler() : nullptr;
}

}  // namespace Anim
