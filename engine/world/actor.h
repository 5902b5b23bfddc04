#pragma once

#include "engine/core/string.h"

class cTarvelActorControl;
class cTarvelMobile;

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
};
