#pragma once

#include <cstdint>

#include "engine/world/particle_emitter.h"

// Dust puffs (class 3), fired by the shooting control: each particle drifts
// and fades on its own remaining life once the system's LifeTime is over.
class cTarvelParticleDust : public cTarvelParticleEmitter {
public:
    cTarvelParticleDust();
    explicit cTarvelParticleDust(cTarvelSavegame& savegame);
    ~cTarvelParticleDust() override;

    // The first `count` particles start scattered around (x, y, z), moving
    // along the direction with a random spread.
    void Spawn(float x, float y, float z, float dx, float dy, float dz, float positionSpread, float velocitySpread,
               int32_t count);

    // The number of particles still visible.
    int Update() override;
    int Render() override;
    void CollectRenderItems(tArray<sRenderItem>& list, int stage) override;
};
