#include "engine/world/particle_weather_rain.h"

#include "engine/core/tarvel.h"
#include "engine/render/image.h"
#include "engine/world/scene.h"
#include "engine/world/walk_area.h"

cTarvelParticleWeatherRain::cTarvelParticleWeatherRain()
{
    mClass = 1;
}

void cTarvelParticleWeatherRain::Create(float centerX, float centerZ, float widthX, float widthZ, float top,
                                        float bottom, float speed, int32_t density, float windX, float windZ)
{
    mSortKey = 0.1f;
    mWeatherLayer = nullptr;
    mCenter[0] = centerX;
    mCenter[1] = centerZ;
    mWidth[0] = widthX;
    mWidth[1] = widthZ;
    mTop = top;
    mBottom = bottom;
    mSpeed = speed;
    mDensity = density;
    mWind[0] = windX;
    mWind[1] = windZ;
    Setup();
}

cTarvelParticleWeatherRain::cTarvelParticleWeatherRain(cTarvelSavegame& savegame, cTarvelScene* scene)
{
    mClass = 1;
    savegame.ReadVec2("Center", &mCenter[0], &mCenter[1]);
    savegame.ReadVec2("Width", &mWidth[0], &mWidth[1]);
    mSpeed = savegame.ReadFloat("Speed", 0.0f);
    savegame.ReadVec2("Wind", &mWind[0], &mWind[1]);
    mTop = savegame.ReadFloat("Top", 0.0f);
    mBottom = savegame.ReadFloat("Bottom", 0.0f);
    mDensity = savegame.ReadInt("Density", 0);
    mSortKey = savegame.ReadFloat("Depth", 0.1f);
    const cTarvelString area = savegame.ReadString("SparkleArea", "");
    if (area.Length() > 0 && scene)
        SetWeatherLayer(scene->FindWalkArea(area.c_str()));
    Setup();
}

cTarvelParticleWeatherRain::~cTarvelParticleWeatherRain() = default;

void cTarvelParticleWeatherRain::SetWeatherLayer(cTarvelWalkArea* area)
{
    mWeatherLayer = area;
    if (area)
        area->mEnabled = 1;
}

void cTarvelParticleWeatherRain::Setup()
{
    mDrops = mFreeSparks = mActiveSparks = nullptr;
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    shaders.LoadShader("particles", "rain_rain", &mDropBinding, true);
    shaders.LoadShader("particles", "rain_sparkle", &mSparkBinding, true);
    // No rain at all is allowed; more than the cap is not.
    if (mDensity < 0)
        mDensity = 0;
    if (mDensity > kMaxParticles)
        mDensity = kMaxParticles;
    InitParticleSystem(uint32_t(mDensity), uint32_t(mDensity / 10));
    mDropTexture = std::make_unique<cTarvelImage>(false);
    mDropTexture->ReadFile("particle_raindrop");
    mSparkTexture = std::make_unique<cTarvelImage>(false);
    mSparkTexture->ReadFile("particle_rainspark");
    mRecords = std::make_unique<sParticle[]>(2 * size_t(mDensity));
    for (int32_t i = 0; i < mDensity; ++i) {
        sParticle& drop = mRecords[size_t(i)];
        const float a = ParticleRandom();
        drop.position[0] = mCenter[0] - mWidth[0] + 2.0f * mWidth[0] * ParticleRandom() + a * mWind[0];
        drop.position[1] = mTop - (mTop - mBottom) * a;
        drop.position[2] = mCenter[1] - mWidth[1] + 2.0f * mWidth[1] * ParticleRandom() + a * mWind[1];
        drop.velocity[0] = mWind[0] + ParticleRandom() * mWind[0];
        drop.velocity[1] = 0.9f * mSpeed + 0.2f * mSpeed * ParticleRandom();
        drop.velocity[2] = mWind[1] + ParticleRandom() * mWind[1];
        drop.color = 0xA0A0A0A0u;
        drop.next = mDrops;
        mDrops = &drop;
        sParticle& spark = mRecords[size_t(mDensity) + size_t(i)];
        spark.color = 0x20202020u;
        spark.next = mFreeSparks;
        mFreeSparks = &spark;
    }
}

void cTarvelParticleWeatherRain::Splash(const sParticle& drop)
{
    for (int i = 0; i < 6 && mFreeSparks; ++i) {
        sParticle* spark = mFreeSparks;
        mFreeSparks = spark->next;
        spark->next = mActiveSparks;
        mActiveSparks = spark;
        spark->position[0] = drop.position[0];
        spark->position[1] = mBottom;
        spark->position[2] = drop.position[2];
        spark->velocity[0] = (0.5f * mSpeed - ParticleRandom() * mSpeed) * 0.1f;
        spark->position[0] += 0.2f * spark->velocity[0];
        spark->velocity[1] = -0.05f * mSpeed;
        spark->velocity[2] = (0.5f * mSpeed - ParticleRandom() * mSpeed) * 0.1f;
        spark->position[2] += 0.2f * spark->velocity[2];
    }
}

int cTarvelParticleWeatherRain::Render()
{
    float dt = gTarvel.mTimer.mFrameSeconds;
    // A long frame (a load, a pause) must not throw the rain about.
    if (dt > 0.15f)
        dt = 0.1f;
    for (sParticle* drop = mDrops; drop; drop = drop->next) {
        float* p = drop->position;
        float* v = drop->velocity;
        if (p[1] >= mBottom) {
            p[0] += v[0] * dt;
            p[1] -= v[1] * dt;
            p[2] += v[2] * dt;
            continue;
        }
        if (!mWeatherLayer || mWeatherLayer->IsInside(p[0], p[2]))
            Splash(*drop);
        p[0] = mCenter[0] - mWidth[0] + 2.0f * mWidth[0] * ParticleRandom();
        p[1] = mTop - ParticleRandom() * dt * v[1];
        p[2] = mCenter[1] - mWidth[1] + 2.0f * mWidth[1] * ParticleRandom();
        v[0] = (3.0f * mWind[0] * ParticleRandom() - mWind[0]) * mSpeed;
        v[1] = 0.9f * mSpeed + 0.2f * mSpeed * ParticleRandom();
        v[2] = (3.0f * mWind[1] * ParticleRandom() - mWind[1]) * mSpeed;
    }
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    shaders.Use(&mDropBinding);
    shaders.SetTexture(&mDropBinding, "tex", mDropTexture.get());
    RenderParticleGroup(mDrops);
    if (!mActiveSparks)
        return 0;
    sParticle** link = &mActiveSparks;
    while (sParticle* spark = *link) {
        float* p = spark->position;
        if (p[1] >= mBottom) {
            float* v = spark->velocity;
            p[0] += v[0] * dt;
            p[1] -= v[1] * dt;
            p[2] += v[2] * dt;
            v[1] += 0.5f * mSpeed * dt;
            link = &spark->next;
            continue;
        }
        *link = spark->next;
        spark->next = mFreeSparks;
        mFreeSparks = spark;
    }
    shaders.Use(&mSparkBinding);
    shaders.SetTexture(&mSparkBinding, "tex", mSparkTexture.get());
    RenderParticleGroup(mActiveSparks);
    return 0;
}

void cTarvelParticleWeatherRain::Save(cTarvelSavegame& savegame)
{
    savegame.SetAttributeInt("class", 1);
    savegame.WriteVec2("Center", mCenter[0], mCenter[1]);
    savegame.WriteVec2("Width", mWidth[0], mWidth[1]);
    savegame.WriteFloat("Speed", mSpeed);
    savegame.WriteVec2("Wind", mWind[0], mWind[1]);
    savegame.WriteFloat("Top", mTop);
    savegame.WriteFloat("Bottom", mBottom);
    savegame.WriteInt("Density", mDensity);
    savegame.WriteFloat("Depth", mSortKey);
    if (mWeatherLayer)
        savegame.WriteString("SparkleArea", mWeatherLayer->Name());
}
