#pragma once

#include <cstdint>

#include "engine/core/string.h"
#include "platform/d3d9/d3d9_types.h"
#include "platform/d3dx9/d3dx9_math.h"

// A light of the light set, created and owned by it and set up by the scene
// script. The attenuation factor and intensity belong to the last ranking.
class cTarvelLight {
public:
    // Kinds.
    static constexpr int32_t kPoint = 1;
    static constexpr int32_t kNoFalloff = 3;

    explicit cTarvelLight(int32_t kind = kPoint);
    // Scripts holding the light see it unbound.
    ~cTarvelLight();
    cTarvelLight(const cTarvelLight&) = delete;
    cTarvelLight& operator=(const cTarvelLight&) = delete;

    // Intensity at a point: the attenuation alone, or times the mean of the
    // colour when withColour.
    float GetIntensityAt(float x, float y, float z, bool withColour) const;
    // 1 / (a0 + a1 d + a2 d^2) at distance d.
    float AttenuationAt(float distance) const;
    float MeanColour() const { return (mColor.r + mColor.g + mColor.b) / 3.0f; }

    int32_t mKind;
    D3DCOLORVALUE mColor{1.0f, 1.0f, 1.0f, 1.0f};
    D3DCOLORVALUE mAmbient{0.0f, 0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 mPosition{0.0f, 0.0f, 0.0f};
    D3DXQUATERNION mRotation{0.0f, 0.0f, 0.0f, 1.0f};
    float mRange = 10000.0f;
    float mAttenuation[3] = {1.0f, 0.0f, 0.0f};
    cTarvelString mName;
    float mAttenuationFactor = 0.0f;
    float mIntensity = 0.0f;
};
