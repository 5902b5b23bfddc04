#pragma once

#include "engine/core/array.h"
#include "engine/render/light_pass.h"

// The flashlight cone, projected onto the scenery meshes and mobile meshes
// registered as its receivers.
class cTarvelFlashlight {
public:
    cTarvelFlashlight();
    ~cTarvelFlashlight();
    cTarvelFlashlight(const cTarvelFlashlight&) = delete;
    cTarvelFlashlight& operator=(const cTarvelFlashlight&) = delete;

    // Light-pass kind 3: the cone onto the scenery mesh target.
    void DrawSceneryPass(sLightPass* record, void* target);
    // Light-pass kind 4: the cone onto the mobile mesh target.
    void DrawMobilePass(sLightPass* record, void* target);
    // Take a receiver that is being destroyed off a receiver list: the first
    // equal entry goes, later ones move down; a missing one changes nothing.
    void RemoveSceneryReceiver(void* target);
    void RemoveMobileReceiver(void* target);

    tArray<void*> mMobileReceivers;
    tArray<void*> mSceneryReceivers;
};
