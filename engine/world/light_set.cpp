#include "engine/world/light_set.h"

#include "engine/core/tarvel.h"
#include "engine/render/flashlight.h"
#include "engine/render/shadow.h"

cTarvelLightSet::cTarvelLightSet() = default;

cTarvelLightSet::~cTarvelLightSet()
{
    Reset();
}

void cTarvelLightSet::Update()
{
    for (int32_t i = 0; i < mShadows.Count(); ++i)
        mShadows[i]->Update();
    if (mFlashlight)
        mFlashlight->UpdateMatrices();
}

void cTarvelLightSet::Reset()
{
    delete mFlashlight;
    mFlashlight = nullptr;
    for (int32_t i = 0; i < mShadows.Count(); ++i)
        delete mShadows[i];
    mShadows.Clear();
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

void cTarvelLightSet::SetLights(float shadowStrength)
{
    mShadowFactor = shadowStrength;
    InvalidateAll();
}
