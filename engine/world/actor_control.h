#pragma once

class cScriptObject;

// An actor's walking control. Until the world issue lands it keeps the
// walking flag and the arrival target that the Escape key looks at.
class cTarvelActorControl {
public:
    cTarvelActorControl();
    virtual ~cTarvelActorControl();

    // The script object of the walk's arrival event; null when there is none.
    virtual cScriptObject* GetWalkTarget();
    // Ends the walk at once; no arrival event fires.
    virtual void StopWalk();

    bool mWalking;
    cScriptObject* mWalkTarget;
};
