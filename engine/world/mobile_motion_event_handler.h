#pragma once

#include <cstddef>
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

// Holds the game's motion events while the library updates an instance and
// hands them over, in order, when it goes: a pose or a script may free the
// very motion whose event table the library is walking. Holds nest.
class MotionEventHold {
public:
    MotionEventHold();
    ~MotionEventHold();
    MotionEventHold(const MotionEventHold&) = delete;
    MotionEventHold& operator=(const MotionEventHold&) = delete;

private:
    size_t mFirst;
};
