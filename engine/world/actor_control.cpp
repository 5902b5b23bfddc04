#include "engine/world/actor_control.h"

#include "engine/core/tarvel.h"
#include "engine/script/script.h"

cTarvelActorControl::cTarvelActorControl()
    : mWalking(false), mWalkTarget(nullptr), mArrivalScript(nullptr), mRunning(false), mGoal{}
{
}
cTarvelActorControl::~cTarvelActorControl() = default;

void cTarvelActorControl::WalkTo(const float target[4], int, int)
{
    const bool wasRunning = mWalking && mRunning;
    for (int i = 0; i < 4; ++i)
        mGoal[i] = target[i];
    mArrivalScript = nullptr;
    mWalking = mCanWalk;
    mRunning = mWalking && wasRunning;
}

float cTarvelActorControl::GetFloorHeight(float, float, float)
{
    return mFloorHeight;
}

void cTarvelActorControl::SetArrivalEvent(cTarvelScript* script, cTarvelString event, cScriptObject* object)
{
    mArrivalScript = script;
    mArrivalEvent = event;
    mWalkTarget = object;
}

cScriptObject* cTarvelActorControl::GetWalkTarget()
{
    return mWalkTarget;
}

void cTarvelActorControl::SetRunning(bool running)
{
    if (mWalking)
        mRunning = running && mHasRunCycle;
}

void cTarvelActorControl::StopWalk()
{
    mWalking = false;
    mRunning = false;
    mArrivalScript = nullptr;
}

void cTarvelActorControl::EndWalk()
{
    mWalking = false;
    mRunning = false;
    cTarvelScript* script = mArrivalScript;
    if (!script)
        return;
    mArrivalScript = nullptr;
    if (mIsPlayer)
        gTarvel.mGameplay.mStateFlags &= ~cTarvelGameplay::kWalkingToObject;
    if (gTarvel.IsScriptLive(script))
        script->CallEvent(mWalkTarget, mArrivalEvent.c_str());
}

bool cTarvelActorControl::IsOnWalkArea(float, float)
{
    return false;
}
