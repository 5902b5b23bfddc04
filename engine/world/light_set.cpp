#include "engine/world/light_set.h"

#include <cmath>
#include <utility>

#include "engine/core/tarvel.h"
#include "engine/render/flashlight.h"
#include "engine/render/shadow.h"
#include "engine/script/script_handles.h"
#include "engine/world/light.h"

namespace {

// A light whose attenuation sum is 0 would give an infinite factor, and
// 0 x infinity in the ambient sum would make it NaN.
constexpr float kMinAttenuationSum = 1e-6f;

// Lights dimmer than this at a point give it none of their ambient colour.
constexpr float kAmbientThreshold = 0.01f;

float Distance(const D3DXVECTOR3& p, float x, float y, float z)
{
    const float dx = x - p.x, dy = y - p.y, dz = z - p.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

} // namespace

cTarvelLight::cTarvelLight(int32_t kind) : mKind(kind) {}

cTarvelLight::~cTarvelLight()
{
    gScriptHandles.Release(this);
}

float cTarvelLight::AttenuationAt(float distance) const
{
    const float sum = mAttenuation[0] + mAttenuation[1] * distance + mAttenuation[2] * distance * distance;
    // A negative sum gives no light there rather than a negative light that
    // would darken what the others light.
    if (sum < 0.0f)
        return 0.0f;
    return 1.0f / (sum > kMinAttenuationSum ? sum : kMinAttenuationSum);
}

float cTarvelLight::GetIntensityAt(float x, float y, float z, bool withColour) const
{
    if (mKind == kPoint) {
        const float d = Distance(mPosition, x, y, z);
        if (!(d < mRange))
            return 0.0f;
        const float f = AttenuationAt(d);
        return withColour ? f * MeanColour() : f;
    }
    if (mKind == kNoFalloff)
        return withColour ? MeanColour() : 1.0f;
    return 0.0f;
}

cTarvelLightSet::cTarvelLightSet() = default;

cTarvelLightSet::~cTarvelLightSet()
{
    Reset();
    mLights.FreeData();
    mShadows.FreeData();
}

void cTarvelLightSet::InitBlurEffect()
{
    mBlurLoaded = 0;
    if (gTarvel.mConfig.PostEffects != 0) {
        cTarvelShaderLib& shaders = gTarvel.mShaders;
        mBlurLoaded = shaders.LoadShader("shadow_cast", "blur_fade", &mBlurBinding, false) ? 1 : 0;
        if (mBlurLoaded) {
            shaders.SetFloat(&mBlurBinding, "blurstart", 0.95f);
            shaders.SetFloat(&mBlurBinding, "blurwidth", 0.1f);
        }
    }
    // The filter pass draws through the blur: without it the shadows are
    // drawn unfiltered rather than through an empty binding, which would
    // leave them blank.
    mShadowFilter = gTarvel.mConfig.ShadowFilter != 0 && mBlurLoaded;
}

void cTarvelLightSet::SetAmbientLight(float r, float g, float b)
{
    mAmbient.r = r;
    mAmbient.g = g;
    mAmbient.b = b;
}

cTarvelLight* cTarvelLightSet::CreateLight(int32_t kind)
{
    auto* light = new cTarvelLight(kind);
    mLights.Add(light);
    return light;
}

cTarvelLight* cTarvelLightSet::GetLight(const char* name) const
{
    if (!name)
        return nullptr;
    for (int32_t i = 0; i < mLights.Count(); ++i)
        if (mLights[i]->mName == name)
            return mLights[i];
    return nullptr;
}

int32_t cTarvelLightSet::RankLights(float x, float y, float z)
{
    mObjectAmbient.r = mObjectAmbient.g = mObjectAmbient.b = 0.0f;
    float total = 0.0f;
    int32_t lit = 0;
    int32_t contributing = 0;
    const int32_t n = mLights.Count();
    cTarvelLight** lights = mLights.Data();
    for (int32_t i = 0; i < n; ++i) {
        cTarvelLight& light = *lights[i];
        light.mAttenuationFactor = 0.0f;
        light.mIntensity = 0.0f;
        if (light.mKind == cTarvelLight::kPoint) {
            const float d = Distance(light.mPosition, x, y, z);
            if (d < light.mRange) {
                light.mAttenuationFactor = light.AttenuationAt(d);
                light.mIntensity = light.MeanColour() * light.mAttenuationFactor;
                ++lit;
            }
        } else if (light.mKind == cTarvelLight::kNoFalloff) {
            light.mAttenuationFactor = 1.0f;
            light.mIntensity = light.MeanColour();
            ++lit;
        }
        const D3DCOLORVALUE& ambient = light.mAmbient;
        if (light.mIntensity >= kAmbientThreshold && (ambient.r != 0.0f || ambient.g != 0.0f || ambient.b != 0.0f)) {
            total += light.mAttenuationFactor;
            mObjectAmbient.r += ambient.r * light.mAttenuationFactor;
            mObjectAmbient.g += ambient.g * light.mAttenuationFactor;
            mObjectAmbient.b += ambient.b * light.mAttenuationFactor;
            ++contributing;
        }
    }

    // Brightest first; equal lights keep their order against each other.
    for (int32_t i = 0; i < n; ++i)
        for (int32_t j = i + 1; j < n; ++j)
            if (lights[i]->mIntensity < lights[j]->mIntensity)
                std::swap(lights[i], lights[j]);

    if (contributing > 0) {
        const float count = static_cast<float>(contributing);
        float* rgb[3] = {&mObjectAmbient.r, &mObjectAmbient.g, &mObjectAmbient.b};
        const float base[3] = {mAmbient.r, mAmbient.g, mAmbient.b};
        for (int c = 0; c < 3; ++c) {
            float v = *rgb[c] / count;
            if (total < 1.0f)
                v += base[c] * (1.0f - total);
            *rgb[c] = v > 1.0f ? 1.0f : v;
        }
    } else {
        mObjectAmbient = mAmbient;
    }
    return lit;
}

void cTarvelLightSet::Update()
{
    for (int32_t i = 0; i < mShadows.Count(); ++i)
        mShadows[i]->Update();
    if (mFlashlight)
        mFlashlight->UpdateMatrices();
}

void cTarvelLightSet::DeleteLights()
{
    mLights.DeleteAll();
}

void cTarvelLightSet::DeleteShadows()
{
    // A shadow takes its light passes off the receivers as it goes.
    mShadows.DeleteAll();
}

void cTarvelLightSet::Reset()
{
    delete mFlashlight;
    mFlashlight = nullptr;
    DeleteShadows();
    DeleteLights();
    if (mTempSurface)
        mTempSurface->Release();
    if (mTempTexture)
        mTempTexture->Release();
    mTempSurface = nullptr;
    mTempTexture = nullptr;
}

cTarvelShadow* cTarvelLightSet::GetShadowCaster(cTarvelLight* light, cTarvelMobile* caster)
{
    if (!gTarvel.mConfig.Shadows)
        return nullptr;
    for (int32_t i = 0; i < mShadows.Count(); ++i)
        if (mShadows[i]->mLight == light && mShadows[i]->mCaster == caster)
            return mShadows[i];
    auto* shadow = new cTarvelShadow(light, caster, 0);
    mShadows.Add(shadow);
    return shadow;
}

void cTarvelLightSet::SetFlashlight(bool on)
{
    delete mFlashlight;
    mFlashlight = nullptr;
    if (on) {
        mFlashlight = new cTarvelFlashlight;
        mFlashlight->Init();
    }
}

void cTarvelLightSet::ReleaseDeviceObjects()
{
    // What the passes left bound would keep the targets alive through the
    // reset, and the device refuses a reset while they live.
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    shaders.SetTextureRaw(&mBlurBinding, "screen", nullptr);
    for (int index : {32, 34})
        shaders.SetTextureRaw(&shaders.mNamed[index], "stex", nullptr);
    if (IDirect3DDevice9* device = gTarvel.mGraphics.mDevice)
        for (DWORD stage = 0; stage < 8; ++stage)
            device->SetTexture(stage, nullptr);
    for (int32_t i = 0; i < mShadows.Count(); ++i)
        mShadows[i]->ReleaseRenderTargets();
    if (mTempSurface)
        mTempSurface->Release();
    if (mTempTexture)
        mTempTexture->Release();
    mTempSurface = nullptr;
    mTempTexture = nullptr;
}

void cTarvelLightSet::InvalidateShadows()
{
    for (int32_t i = 0; i < mShadows.Count(); ++i)
        mShadows[i]->mRebuild = true;
}

void cTarvelLightSet::InvalidateAll()
{
    InvalidateShadows();
    if (mFlashlight)
        mFlashlight->mRebuild = true;
}

void cTarvelLightSet::SetLights()
{
    // The shadows first: they point at the lights.
    DeleteShadows();
    DeleteLights();
    mShadowStrength = 1.0f;
}
