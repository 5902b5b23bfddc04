#pragma once

#include <cstdint>

#include "animation/motion_event_handler.h"

// The game's receiver of the animation library's motion events (ids 0 to 10:
// "link", "unlink", "footstep", "scrscene", "scrsceneex", "linkf", "unlinkf",
// "setpose", "rotend", "sound", "sounda"). It acts on the mobile that owns the
// actor instance; the library's other notifications keep their empty defaults.
class MobileMotionEventHandler : public Anim::MotionEventHandler {
public:
    void OnEvent(float time, uint32_t eventTypeID, const char* parameters,
                 Anim::ActorInstance* actorInstance, Anim::MotionInstance* motionInstance) override;
};
