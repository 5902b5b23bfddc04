#pragma once

#include <cstdint>
#include <memory>

#include "engine/core/string.h"
#include "engine/render/image.h"
#include "engine/render/shader_lib.h"
#include "engine/world/particle.h"


// Dust puffs (class 3), fired by the shooting control: each particle drifts
// and fades on its own remaining life once the system's LifeTime is over.
class cTarvelParticleDust : public cTarvelParticle {
public:
    cTarvelParticleDust();
    // maxCount particles (at least one) drawn with the texture of that name.
    void Init(int32_t maxCount, const cTarvelString& textureName);
    // Restored from the current "Particle" element.
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
    void Save(cTarvelSavegame& savegame) override;

    std::unique_ptr<cTarvelImage> mTexture;
    sParticle* mFirst = nullptr;
    std::unique_ptr<sParticle[]> mParticles;
    float mLifeTime = 1.0f;
    float mGlowOutTime = 3.0f;
    int32_t mMaxCount = 0;
    uint8_t mAutoRespawn = 0;
    float mLastEmit = 0.0f;
    cTarvelShaderBinding mBinding{};
    cTarvelString mTextureName;

private:
    void Setup();
};
