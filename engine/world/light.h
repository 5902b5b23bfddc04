#pragma once

#include <cstdint>

#include "platform/d3dx9/d3dx9_math.h"

// A light of the light set. Until the world issue lands it holds what the
// shadows read: its kind, pose and one intensity for every point.
class cTarvelLight {
public:
    // Kinds.
    static constexpr int32_t kPoint = 1;
    static constexpr int32_t kDirectional = 3;

    cTarvelLight() = default;
    virtual ~cTarvelLight() = default;
    cTarvelLight(const cTarvelLight&) = delete;
    cTarvelLight& operator=(const cTarvelLight&) = delete;

    // The light's intensity at a point (w is 1).
    virtual float GetIntensityAt(float, float, float, float) const { return mIntensity; }

    int32_t mKind = kPoint;
    D3DXVECTOR3 mPosition{};
    D3DXQUATERNION mRotation{0.0f, 0.0f, 0.0f, 1.0f};
    float mIntensity = 1.0f;
};
