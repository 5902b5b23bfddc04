#pragma once

#include "engine/core/array.h"
#include "engine/render/light_pass.h"

// The shadow of one mobile as seen from one light, projected onto the
// scenery meshes and mobile meshes registered as its receivers.
class cTarvelShadow {
public:
    cTarvelShadow();
    ~cTarvelShadow();
    cTarvelShadow(const cTarvelShadow&) = delete;
    cTarvelShadow& operator=(const cTarvelShadow&) = delete;

    // Light-pass kind 1: the shadow onto the scenery mesh target.
    void DrawSceneryPass(sLightPass* record, void* target);
    // Light-pass kind 2: the shadow onto the mobile mesh target.
    void DrawMobilePass(sLightPass* record, void* target);
    // Take a receiver that is being destroyed off a receiver list: the first
    // equal entry goes, later ones move down; a missing one changes nothing.
    void RemoveSceneryReceiver(void* target);
    void RemoveMobileReceiver(void* target);

    tArray<void*> mMobileReceivers;
    tArray<void*> mSceneryReceivers;
};
