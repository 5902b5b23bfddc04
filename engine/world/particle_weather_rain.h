#pragma once

#include <cstdint>
#include <memory>

#include "engine/render/image.h"
#include "engine/render/shader_lib.h"
#include "engine/world/particle.h"

class cTarvelScene;
class cTarvelWalkArea;

// Rain (class 1): drops fall through a box above the scene from Top to
// Bottom with some wind; a drop that lands throws up six sparks (only inside
// the weather layer when one is set) and starts again at the top. Drops and
// sparks are two point lists with their own textures; everything moves in
// Render, once per frame.
class cTarvelParticleWeatherRain : public cTarvelParticle {
public:
    cTarvelParticleWeatherRain();
    // Restored from the current "Particle" element; "SparkleArea" is looked
    // up in the scene being restored.
    cTarvelParticleWeatherRain(cTarvelSavegame& savegame, cTarvelScene* scene);
    ~cTarvelParticleWeatherRain() override;

    void Create(float centerX, float centerZ, float widthX, float widthZ, float top, float bottom, float speed,
                int32_t density, float windX, float windZ);
    // Splashes make sparks only inside this area (marked as in use); none:
    // everywhere.
    void SetWeatherLayer(cTarvelWalkArea* area);

    int Render() override;
    void Save(cTarvelSavegame& savegame) override;

    std::unique_ptr<cTarvelImage> mDropTexture;
    std::unique_ptr<cTarvelImage> mSparkTexture;
    std::unique_ptr<sParticle[]> mRecords;   // Density drops, then Density sparks
    sParticle* mDrops = nullptr;
    sParticle* mFreeSparks = nullptr;
    sParticle* mActiveSparks = nullptr;
    float mCenter[2] = {};
    float mWidth[2] = {};
    float mTop = 0.0f;
    float mBottom = 0.0f;
    float mSpeed = 0.0f;
    float mWind[2] = {};
    int32_t mDensity = 0;
    cTarvelShaderBinding mDropBinding{};
    cTarvelShaderBinding mSparkBinding{};
    cTarvelWalkArea* mWeatherLayer = nullptr;

private:
    void Setup();
    void Splash(const sParticle& drop);
};
