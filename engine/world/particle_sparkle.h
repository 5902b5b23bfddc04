#pragma once

#include <cstdint>
#include <memory>

#include "engine/core/string.h"
#include "engine/render/image.h"
#include "engine/render/shader_lib.h"
#include "engine/world/particle.h"


// A burst of glints at one spot (class 2): every Spawn restarts the timing of
// the whole system; the particles shine for LifeTime seconds and fade out
// over GlowOutTime, then the system is idle until the next Spawn.
class cTarvelParticleSparkle : public cTarvelParticle {
public:
    cTarvelParticleSparkle();
    // maxCount particles (at least one) drawn with the texture of that name.
    void Init(int32_t maxCount, const cTarvelString& textureName);
    // Restored from the current "Particle" element.
    explicit cTarvelParticleSparkle(cTarvelSavegame& savegame);
    ~cTarvelParticleSparkle() override;

    // The first `count` particles start at (x, y, z) with a random velocity
    // around the direction.
    void Spawn(float x, float y, float z, float dx, float dy, float dz, float spread, float speed, int32_t count);
    bool IsAlive() const;

    int Update() override;
    int Render() override;
    void CollectRenderItems(tArray<sRenderItem>& list, int stage) override;
    void Save(cTarvelSavegame& savegame) override;

    std::unique_ptr<cTarvelImage> mTexture;
    sParticle* mFirst = nullptr;
    std::unique_ptr<sParticle[]> mParticles;
    float mLifeTime = 0.0f;
    float mGlowOutTime = 0.15f;
    int32_t mMaxCount = 0;
    uint8_t mAutoRespawn = 0;
    float mLastEmit = 0.0f;
    cTarvelShaderBinding mBinding{};
    cTarvelString mTextureName;

private:
    void Setup();
};
