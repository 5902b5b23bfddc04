#include "engine/world/actor.h"

#include "engine/world/actor_control.h"

cTarvelActor::cTarvelActor(const char* name, const char* secondName, int)
    : mName(name), mSecondName(secondName), mIsPlayer(false), mControl(nullptr)
{
}

cTarvelActor::~cTarvelActor()
{
    delete mControl;
}
