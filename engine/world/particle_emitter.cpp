#include "engine/world/particle_emitter.h"

#include "engine/core/tarvel.h"
#include "engine/render/image.h"

cTarvelParticleEmitter::cTarvelParticleEmitter(const sParticleEmitterKind& kind) : mKind(kind)
{
    mClass = kind.particleClass;
    mLifeTime = kind.lifeTime;
    mGlowOutTime = kind.glowOutTime;
}

cTarvelParticleEmitter::cTarvelParticleEmitter(const sParticleEmitterKind& kind, cTarvelSavegame& savegame)
    : mKind(kind)
{
    mClass = kind.particleClass;
    mLifeTime = savegame.ReadFloat("LifeTime", 0.0f);
    mGlowOutTime = savegame.ReadFloat("GlowOutTime", 0.0f);
    mLastEmit = savegame.ReadTime("LastEmit", 0.0f);
    mAutoRespawn = savegame.ReadInt("AutoRespawn", 0) != 0 ? 1 : 0;
    mMaxCount = savegame.ReadInt("MaxCount", 0);
    mTextureName = savegame.ReadString("Texture", "");
    Setup();
}

cTarvelParticleEmitter::~cTarvelParticleEmitter() = default;

void cTarvelParticleEmitter::Init(int32_t maxCount, const cTarvelString& textureName)
{
    mLifeTime = mKind.lifeTime;
    mGlowOutTime = mKind.glowOutTime;
    mLastEmit = 0.0f;
    mAutoRespawn = 0;
    mSortKey = 0.1f;
    mMaxCount = maxCount;
    mTextureName = textureName;
    Setup();
}

void cTarvelParticleEmitter::Setup()
{
    gTarvel.mShaders.LoadShader("particles", mKind.technique, &mBinding, true);
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

void cTarvelParticleEmitter::DrawParticles()
{
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    shaders.Use(&mBinding);
    shaders.SetTexture(&mBinding, "tex", mTexture.get());
    RenderParticleGroup(mFirst);
}

void cTarvelParticleEmitter::Save(cTarvelSavegame& savegame)
{
    savegame.SetAttributeInt("class", mKind.particleClass);
    savegame.WriteFloat("LifeTime", mLifeTime);
    savegame.WriteFloat("GlowOutTime", mGlowOutTime);
    savegame.WriteTime("LastEmit", mLastEmit);
    savegame.WriteInt("AutoRespawn", mAutoRespawn);
    savegame.WriteInt("MaxCount", mMaxCount);
    savegame.WriteString("Texture", mTextureName);
}
