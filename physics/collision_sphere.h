#pragma once

#include "physics/convex_collision.h"

// Sphere centred on its origin. The convex queries see it through an
// 18-vertex polyhedron (shared table) and a latitude/longitude support grid
// whose spacing shrinks with the radius.
class phCollisionSphere : public phConvexCollision {
public:
    // Null when the object memory is exhausted.
    static phCollisionSphere* Create(std::uint32_t signature, float radius, const phMat4& offset);
    static phCollisionSphere* Create(float radius, const phMat4& offset);
    static std::uint32_t MakeSphereSignature(float radius, const phMat4& offset);

    std::uint32_t GetTypeId() const override;
    bool IsType(std::uint32_t id) const override;
    void ReservedPair(void*, void*) override {}
    void CalcAABB(const phMat4& matrix, phVec4& outMin, phVec4& outMax) const override;
    // A finer sphere for display: 512 triangles.
    int ForEachFace(phFaceContext* context, phFaceCallback callback) const override;
    float RayCast(const phVec4& p0, const phVec4& p1, phRayHit* hit, phRayPrefilter prefilter,
                  void* userData) const override;
    std::uint32_t GetSignature() const override;
    phVec4 SupportVertex(const phVec4& dir) const override;
    int CalcPlaneContacts(const phVec4& normal, const phVec4& point, phVec4* out) const override;

    float GetRadius() const { return m_radius; }
    // Angular step of the support grid, 2π / n with n in [128, 1024].
    float GetStep() const { return m_step; }
    static int LiveCount();

protected:
    phCollisionSphere(std::uint32_t signature, float radius, const phMat4& offset);
    ~phCollisionSphere() override;
    static bool EnsureTable();

private:
    float m_radius;
    float m_step;
    float m_invStep;
    float m_cosStep;
    float m_sinStep;
    phVec4 m_points[18];
};

// The world's point shape: a unit sphere that has no volume, no inertia and
// whose support is the origin. It reports the sphere's class id.
class phCollisionPointShape : public phCollisionSphere {
public:
    static constexpr std::uint32_t kSignature = 0x12344321;
    static phCollisionPointShape* Create();

    float GetVolume() const override { return 0.0f; }
    void CalcInertia(phVec4& outInertia, phVec4& outCentre) const override;
    phVec4 SupportVertex(const phVec4&) const override { return {0.0f, 0.0f, 0.0f, 0.0f}; }

private:
    phCollisionPointShape();
    ~phCollisionPointShape() override = default;
};
