#pragma once

#include <cstdint>

#include "engine/world/particle_emitter.h"

// A burst of glints at one spot (class 2): every Spawn restarts the timing of
// the whole system; the particles shine for LifeTime seconds and fade out
// over GlowOutTime, then the system is idle until the next Spawn.
class cTarvelParticleSparkle : public cTarvelParticleEmitter {
public:
    cTarvelParticleSparkle();
    explicit cTarvelParticleSparkle(cTarvelSavegame& savegame);
    ~cTarvelParticleSparkle() override;

    // The first `count` particles start at (x, y, z) with a random velocity
    // around the direction.
    void Spawn(float x, float y, float z, float dx, float dy, float dz, float spread, float speed, int32_t count);
    bool IsAlive() const;

    int Update() override;
    int Render() override;
    void CollectRenderItems(tArray<sRenderItem>& list, int stage) override;
};
