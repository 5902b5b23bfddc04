#pragma once

#include <cstdint>

#include "engine/core/array.h"
#include "engine/core/string.h"
#include "engine/render/shader_lib.h"
#include "platform/d3d9/d3d9.h"

class cTarvelFlashlight;
class cTarvelLight;
class cTarvelMobile;
class cTarvelShadow;

// The lighting of the current location: the scene script's lights and the
// ambient colour, ranked for each mobile that is drawn, the shadow casters of
// (light, mobile) pairs with the blur they share, and the flashlight.
class cTarvelLightSet {
public:
    cTarvelLightSet();
    ~cTarvelLightSet();
    cTarvelLightSet(const cTarvelLightSet&) = delete;
    cTarvelLightSet& operator=(const cTarvelLightSet&) = delete;

    // At start-up: the shadow filter's blur, loaded only with post effects.
    void InitBlurEffect();
    void SetAmbientLight(float r, float g, float b);
    // A light of that kind with the default values, kept by the set.
    cTarvelLight* CreateLight(int32_t kind);
    // The first light of that name, in list order.
    cTarvelLight* GetLight(const char* name) const;
    // Orders the lights for a point, brightest first, computing each one's
    // attenuation factor and intensity there and the object ambient colour.
    // Returns how many lights reach the point.
    int32_t RankLights(float x, float y, float z);

    // Every shadow, then the flashlight.
    void Update();
    // At shutdown: the flashlight, the lights and the shadow casters go.
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
    // A new light setting (or none): the lights and shadow casters go and
    // the shadow strength is 1 again. The flashlight and the name stay.
    void SetLights();

    D3DCOLORVALUE mAmbient{1.0f, 1.0f, 1.0f, 1.0f};
    // What the last ranking computed for its point.
    D3DCOLORVALUE mObjectAmbient{1.0f, 1.0f, 1.0f, 1.0f};
    tArray<cTarvelLight*> mLights;
    tArray<cTarvelShadow*> mShadows;
    // The scene's factor on every shadow.
    float mShadowStrength = 1.0f;
    // Shared by the shadows: the ShadowFilter setting (on only while the
    // blur exists), the blur binding and the filter pass's texture and
    // surface.
    bool mShadowFilter = false;
    cTarvelShaderBinding mBlurBinding{};
    IDirect3DTexture9* mTempTexture = nullptr;
    IDirect3DSurface9* mTempSurface = nullptr;
    uint8_t mBlurLoaded = 0;
    // The current light setting, saved as "Lightset".
    cTarvelString mName;
    cTarvelFlashlight* mFlashlight = nullptr;

private:
    void DeleteLights();
    void DeleteShadows();
};
