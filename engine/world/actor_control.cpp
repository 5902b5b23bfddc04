#include "engine/world/actor_control.h"

cTarvelActorControl::cTarvelActorControl() : mWalking(false), mWalkTarget(nullptr) {}
cTarvelActorControl::~cTarvelActorControl() = default;

cScriptObject* cTarvelActorControl::GetWalkTarget()
{
    return mWalkTarget;
}

void cTarvelActorControl::StopWalk()
{
    mWalking = false;
}
