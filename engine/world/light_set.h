#pragma once

#include <cstdint>

#include "engine/core/array.h"
#include "engine/render/shader_lib.h"
#include "platform/d3d9/d3d9.h"

class cTarvelFlashlight;
class cTarvelLight;
class cTarvelMobile;
class cTarvelShadow;

// Lights, shadow casters and the flashlight. Until the world issue lands it
// holds no lights; it keeps the shadows and the flashlight with what they
// share, and updates them.
class cTarvelLightSet {
public:
    cTarvelLightSet();
    ~cTarvelLightSet();
    cTarvelLightSet(const cTarvelLightSet&) = delete;
    cTarvelLightSet& operator=(const cTarvelLightSet&) = delete;

    // Every shadow, then the flashlight.
    void Update();
    // Deletes the flashlight and clears the lights and shadow casters.
    void Reset();
    // The shadow of that pair, made on first request; none while the
    // Shadows setting is off.
    cTarvelShadow* GetShadowCaster(cTarvelLight* light, cTarvelMobile* caster);
    // Deletes the flashlight, and makes a new one when `on`.
    void SetFlashlight(bool on);
    // Around a device reset: the render targets go, and every shadow is
    // rebuilt afterwards.
    void ReleaseDeviceObjects();
    void InvalidateShadows();
    // A view select: every shadow caster and the flashlight are rebuilt.
    void InvalidateAll();
    // The scene's shadow casters (strength of their shadows).
    void SetLights(float shadowStrength);

    // Shared by the shadows: the ShadowFilter setting (on only while the
    // blur exists), the filter pass's texture and surface, the blur binding
    // and the scene's shadow factor.
    bool mShadowFilter = false;
    IDirect3DTexture9* mTempTexture = nullptr;
    IDirect3DSurface9* mTempSurface = nullptr;
    cTarvelShaderBinding mBlurBinding{};
    uint8_t mBlurLoaded = 0;
    float mShadowFactor = 1.0f;
    tArray<cTarvelShadow*> mShadows;
    cTarvelFlashlight* mFlashlight = nullptr;
};
