#include "engine/world/particle_dust.h"

#include "engine/core/tarvel.h"
#include "engine/render/image.h"

cTarvelParticleDust::cTarvelParticleDust()
{
    mClass = 3;
}

void cTarvelParticleDust::Init(int32_t maxCount, const cTarvelString& textureName)
{
    mLifeTime = 1.0f;
    mGlowOutTime = 3.0f;
    mLastEmit = 0.0f;
    mAutoRespawn = 0;
    mSortKey = 0.1f;
    mMaxCount = maxCount;
    mTextureName = textureName;
    Setup();
}

cTarvelParticleDust::cTarvelParticleDust(cTarvelSavegame& savegame)
{
    mClass = 3;
    mLifeTime = savegame.ReadFloat("LifeTime", 0.0f);
    mGlowOutTime = savegame.ReadFloat("GlowOutTime", 0.0f);
    mLastEmit = savegame.ReadTime("LastEmit", 0.0f);
    mAutoRespawn = savegame.ReadInt("AutoRespawn", 0) != 0 ? 1 : 0;
    mMaxCount = savegame.ReadInt("MaxCount", 0);
    mTextureName = savegame.ReadString("Texture", "");
    Setup();
}

cTarvelParticleDust::~cTarvelParticleDust() = default;

void cTarvelParticleDust::Setup()
{
    gTarvel.mShaders.LoadShader("particles", "dust", &mBinding, true);
    mTexture = std::make_unique<cTarvelImage>(false);
    mTexture->ReadFile(mTextureName);
    mMaxCount = ClampParticleCount(mMaxCount);
    // One block for all records: they live as long as the system.
    mParticles = std::make_unique<sParticle[]>(size_t(mMaxCount));
    for (int32_t i = 0; i < mMaxCount; ++i) {
        mParticles[i].color = 0x00FFFFFFu;
        mParticles[i].next = i + 1 < mMaxCount ? &mParticles[i + 1] : nullptr;
    }
    mFirst = &mParticles[0];
    InitParticleSystem(uint32_t(mMaxCount), uint32_t(mMaxCount));
}

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
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    shaders.Use(&mBinding);
    shaders.SetTexture(&mBinding, "tex", mTexture.get());
    RenderParticleGroup(mFirst);
    return 0;
}

void cTarvelParticleDust::CollectRenderItems(tArray<sRenderItem>& list, int stage)
{
    if (mFirst)
        CollectAt(list, stage, mFirst->position);
}

void cTarvelParticleDust::Save(cTarvelSavegame& savegame)
{
    savegame.SetAttributeInt("class", 3);
    savegame.WriteFloat("LifeTime", mLifeTime);
    savegame.WriteFloat("GlowOutTime", mGlowOutTime);
    savegame.WriteTime("LastEmit", mLastEmit);
    savegame.WriteInt("AutoRespawn", mAutoRespawn);
    savegame.WriteInt("MaxCount", mMaxCount);
    savegame.WriteString("Texture", mTextureName);
}
