#include "engine/world/mobile_motion_event_handler.h"

void MobileMotionEventHandler::OnEvent(float, uint32_t, const char*, Anim::ActorInstance*,
                                       Anim::MotionInstance*)
{
    // An event acts on the mobile behind the actor instance; an event without a
    // mobile, or with an id above 10, does nothing. Mobiles come with the world
    // objects, and with them what each event does.
}
