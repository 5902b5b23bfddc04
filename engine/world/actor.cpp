#include "engine/world/actor.h"

#include "engine/world/actor_control.h"
#include "engine/world/mobile_animation.h"

cTarvelActor::cTarvelActor(const char* name, const char* secondName, int)
    : mName(name), mSecondName(secondName), mIsPlayer(false), mControl(nullptr)
{
}

cTarvelActor::~cTarvelActor()
{
    delete mControl;
    delete mPlayedAnimation;
}
