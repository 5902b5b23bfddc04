#pragma once

#include "engine/core/string.h"

class cTarvelActorControl;
class cTarvelMobile;
class cTarvelMobileAnimation;

// An actor. Until the world issue lands it holds its names, the player flag
// and its control.
class cTarvelActor {
public:
    cTarvelActor(const char* name, const char* secondName, int flag);
    virtual ~cTarvelActor();
    cTarvelActor(const cTarvelActor&) = delete;
    cTarvelActor& operator=(const cTarvelActor&) = delete;

    cTarvelString mName;
    cTarvelString mSecondName;
    bool mIsPlayer;
    cTarvelActorControl* mControl;   // owned; null when it has none
    cTarvelMobile* mMobile = nullptr;   // not loaded by the stand-in
    // What the control reads of the actor: whether it is drawn, the mobile
    // linked to it, and the animation PlayAnimation started (owned) with its
    // flag.
    bool mVisible = true;
    cTarvelMobile* mLinkedMobile = nullptr;
    cTarvelMobileAnimation* mPlayedAnimation = nullptr;
    bool mPlayingAnimation = false;
};
