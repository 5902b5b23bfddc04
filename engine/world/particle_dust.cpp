#include "engine/world/particle_dust.h"

#include "engine/core/tarvel.h"

namespace {
constexpr sParticleEmitterKind kDust = {3, "dust", 1.0f, 3.0f};
}  // namespace

cTarvelParticleDust::cTarvelParticleDust() : cTarvelParticleEmitter(kDust) {}

cTarvelParticleDust::cTarvelParticleDust(cTarvelSavegame& savegame) : cTarvelParticleEmitter(kDust, savegame) {}

cTarvelParticleDust::~cTarvelParticleDust() = default;

void cTarvelParticleDust::Spawn(float x, float y, float z, float dx, float dy, float dz, float positionSpread,
                                float velocitySpread, int32_t count)
{
    mLastEmit = gTarvel.mTimer.mGameSeconds;
    const float origin[3] = {x, y, z};
    const float direction[3] = {dx, dy, dz};
    sParticle* particle = mFirst;
    for (int32_t i = 0; i < count && particle; ++i, particle = particle->next) {
        particle->color = 0x30FFFFFFu;
        for (int axis = 0; axis < 3; ++axis)
            particle->position[axis] =
                (ParticleRandom() * positionSpread - positionSpread / 2.0f) * 10.0f + origin[axis];
        for (int axis = 0; axis < 3; ++axis)
            particle->velocity[axis] =
                ((ParticleRandom() * velocitySpread - velocitySpread / 2.0f) + direction[axis]) * 10.0f;
        particle->life = mGlowOutTime + ParticleRandom() * mGlowOutTime / 5.0f;
        if (mLifeTime < 0.0f)
            particle->life += mLifeTime;
    }
}

int cTarvelParticleDust::Update()
{
    const float dt = gTarvel.mTimer.mFrameSeconds;
    const bool shining = gTarvel.mTimer.mGameSeconds <= mLastEmit + mLifeTime;
    int visible = 0;
    for (sParticle* particle = mFirst; particle; particle = particle->next) {
        for (int axis = 0; axis < 3; ++axis)
            particle->position[axis] += particle->velocity[axis] * dt;
        if (shining) {
            ++visible;
            continue;
        }
        particle->life -= dt;
        if (particle->life > 0.0f) {
            // A glow-out time of 0 leaves nothing to show.
            float fade = mGlowOutTime > 0.0f ? particle->life / mGlowOutTime : 0.0f;
            fade = fade < 1.0f ? fade : 1.0f;
            particle->color = uint32_t(48.0f * fade) << 24 | 0xFFFFFFu;
            ++visible;
        } else {
            particle->color = 0x00FFFFFFu;
        }
    }
    return visible;
}

int cTarvelParticleDust::Render()
{
    DrawParticles();
    return 0;
}

void cTarvelParticleDust::CollectRenderItems(tArray<sRenderItem>& list, int stage)
{
    if (mFirst)
        CollectAt(list, stage, mFirst->position);
}
