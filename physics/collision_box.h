#pragma once

#include "physics/convex_collision.h"

// Box centred on its origin. All boxes share one 24-edge half-edge table.
class phCollisionBox : public phConvexCollision {
public:
    // Full side lengths; their absolute values are used. Null when the
    // object memory is exhausted.
    static phCollisionBox* Create(std::uint32_t signature, float sx, float sy, float sz, const phMat4& offset);
    static phCollisionBox* Create(float sx, float sy, float sz, const phMat4& offset);
    static std::uint32_t MakeBoxSignature(float sx, float sy, float sz, const phMat4& offset);

    std::uint32_t GetTypeId() const override;
    bool IsType(std::uint32_t id) const override;
    void ReservedPair(void*, void*) override {}
    void CalcAABB(const phMat4& matrix, phVec4& outMin, phVec4& outMax) const override;
    float RayCast(const phVec4& p0, const phVec4& p1, phRayHit* hit, phRayPrefilter prefilter,
                  void* userData) const override;
    std::uint32_t GetSignature() const override;
    phVec4 SupportVertex(const phVec4& dir) const override;
    int CalcPlaneContacts(const phVec4& normal, const phVec4& point, phVec4* out) const override;

    const phVec4& GetHalfExtents() const { return m_half; }
    // Live boxes (the shared table is rebuilt when one is created at 0).
    static int LiveCount();

private:
    phCollisionBox(std::uint32_t signature, float sx, float sy, float sz, const phMat4& offset);
    ~phCollisionBox() override;

    phVec4 m_half;
    phVec4 m_corners[8];
};
