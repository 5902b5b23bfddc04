#pragma once

#include "engine/core/array.h"
#include "engine/gameplay/control.h"

class cTarvelSavegame;

// A particle system of the scene. The systems themselves (rain, sparkle,
// dust) come with their own classes; the scene updates them, lets them add
// their render items (kind 3, drawn through Render) and saves them.
class cTarvelParticle {
public:
    cTarvelParticle();
    virtual ~cTarvelParticle();
    cTarvelParticle(const cTarvelParticle&) = delete;
    cTarvelParticle& operator=(const cTarvelParticle&) = delete;

    virtual void Update();
    virtual void Render();
    // Adds the system's render items for the stage.
    virtual void CollectRenderItems(tArray<sRenderItem>& list, int stage);
    // Fills the system's "Particle" element, "class" first.
    virtual void SaveState(cTarvelSavegame& savegame);
};
