#pragma once

#include <cstdint>
#include <memory>

#include "engine/core/string.h"
#include "engine/render/image.h"
#include "engine/render/shader_lib.h"
#include "engine/world/particle.h"

// What sets the fading emitters apart before any particle moves: their
// class, their technique in "particles", and the times Init starts from.
struct sParticleEmitterKind {
    int32_t particleClass;
    const char* technique;
    float lifeTime;
    float glowOutTime;
};

// Sparkle and dust: one block of particles drawn with one texture, timed from
// the last Spawn, and saved with the same fields.
class cTarvelParticleEmitter : public cTarvelParticle {
public:
    // maxCount particles (at least one) drawn with the texture of that name.
    void Init(int32_t maxCount, const cTarvelString& textureName);
    void Save(cTarvelSavegame& savegame) override;

    std::unique_ptr<cTarvelImage> mTexture;
    sParticle* mFirst = nullptr;
    std::unique_ptr<sParticle[]> mParticles;
    float mLifeTime = 0.0f;
    float mGlowOutTime = 0.0f;
    int32_t mMaxCount = 0;
    uint8_t mAutoRespawn = 0;
    float mLastEmit = 0.0f;
    cTarvelShaderBinding mBinding{};
    cTarvelString mTextureName;

protected:
    explicit cTarvelParticleEmitter(const sParticleEmitterKind& kind);
    // Restored from the current "Particle" element.
    cTarvelParticleEmitter(const sParticleEmitterKind& kind, cTarvelSavegame& savegame);
    ~cTarvelParticleEmitter() override;

    // The particle list with the emitter's technique and texture.
    void DrawParticles();

private:
    void Setup();

    const sParticleEmitterKind mKind;
};
