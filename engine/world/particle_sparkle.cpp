#include "engine/world/particle_sparkle.h"

#include "engine/core/tarvel.h"
#include "engine/script/script_handles.h"

namespace {
constexpr sParticleEmitterKind kSparkle = {2, "sparkle", 0.0f, 0.15f};
}  // namespace

cTarvelParticleSparkle::cTarvelParticleSparkle() : cTarvelParticleEmitter(kSparkle) {}

cTarvelParticleSparkle::cTarvelParticleSparkle(cTarvelSavegame& savegame)
    : cTarvelParticleEmitter(kSparkle, savegame)
{
}

cTarvelParticleSparkle::~cTarvelParticleSparkle()
{
    // A script symbol may still name this emitter.
    gScriptHandles.Release(this);
}

void cTarvelParticleSparkle::Spawn(float x, float y, float z, float dx, float dy, float dz, float spread,
                                   float speed, int32_t count)
{
    mLastEmit = gTarvel.mTimer.mGameSeconds;
    const float direction[3] = {dx, dy, dz};
    sParticle* particle = mFirst;
    for (int32_t i = 0; i < count && particle; ++i, particle = particle->next) {
        particle->position[0] = x;
        particle->position[1] = y;
        particle->position[2] = z;
        particle->color = 0xFFFFFFFFu;
        for (int axis = 0; axis < 3; ++axis)
            particle->velocity[axis] = ((ParticleRandom() * spread + direction[axis]) - spread / 2.0f) * speed;
    }
}

bool cTarvelParticleSparkle::IsAlive() const
{
    return gTarvel.mTimer.mGameSeconds <= mLastEmit + mLifeTime + mGlowOutTime;
}

int cTarvelParticleSparkle::Update()
{
    if (!IsAlive())
        return 0;
    const float now = gTarvel.mTimer.mGameSeconds;
    const float dt = gTarvel.mTimer.mFrameSeconds;
    for (sParticle* particle = mFirst; particle; particle = particle->next)
        for (int axis = 0; axis < 3; ++axis)
            particle->position[axis] += particle->velocity[axis] * dt;
    if (now <= mLastEmit + mLifeTime)
        return 0;
    // A glow-out time of 0 has nothing left to show.
    float fade = mGlowOutTime > 0.0f ? 1.0f - (now - mLastEmit - mLifeTime) / mGlowOutTime : 0.0f;
    fade = fade > 0.0f ? (fade < 1.0f ? fade : 1.0f) : 0.0f;
    const uint32_t alpha = uint32_t(255.0f * fade);
    for (sParticle* particle = mFirst; particle; particle = particle->next)
        particle->color = alpha << 24 | 0xFFFFFFu;
    return 0;
}

int cTarvelParticleSparkle::Render()
{
    if (!IsAlive())
        return 0;
    DrawParticles();
    return 0;
}

void cTarvelParticleSparkle::CollectRenderItems(tArray<sRenderItem>& list, int stage)
{
    if (IsAlive() && mFirst)
        CollectAt(list, stage, mFirst->position);
}
