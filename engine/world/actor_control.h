#pragma once

#include "engine/core/string.h"

class cTarvelScript;
class cTarvelScriptValue;
// A script-side object is a script value of object kind.
using cScriptObject = cTarvelScriptValue;

// An actor's walking control. Until the world issue lands it plans no path:
// a walk starts when the stand-in says it can, and EndWalk stands for the
// per-frame step that ends it.
class cTarvelActorControl {
public:
    cTarvelActorControl();
    virtual ~cTarvelActorControl();

    // Walks to {x, y, z, facing}; the walking flag tells whether it started.
    virtual void WalkTo(const float target[4], int mode, int flags);
    // The floor height at (x, z) from the start height; FLT_MIN stands for
    // the actor's current height.
    virtual float GetFloorHeight(float x, float z, float startHeight);
    // The event that runs when the walk ends; (none, "", none) clears it.
    virtual void SetArrivalEvent(cTarvelScript* script, cTarvelString event, cScriptObject* object);
    // The script object of the walk's arrival event; null when there is none.
    virtual cScriptObject* GetWalkTarget();
    virtual void SetRunning(bool running);
    // Ends the walk at once; no arrival event fires.
    virtual void StopWalk();
    // Whether the floor point (x, z) lies on a walk area the actor may use;
    // the interface's own answer is no.
    virtual bool IsOnWalkArea(float x, float z);
    // The walk step that reaches the end of the path: the arrival event runs.
    void EndWalk();

    bool mWalking;
    cScriptObject* mWalkTarget;
    cTarvelScript* mArrivalScript;
    cTarvelString mArrivalEvent;
    bool mRunning;
    float mGoal[4];
    // Stand-in only: whether a walk can start, whether a run cycle exists,
    // the floor height it reports, and whether it is the player's control.
    bool mCanWalk = true;
    bool mHasRunCycle = true;
    float mFloorHeight = 0.0f;
    bool mIsPlayer = true;
};
