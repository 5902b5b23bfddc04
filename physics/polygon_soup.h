#pragma once

#include <cstdint>

#include "physics/collision.h"
#include "physics/convex_collision.h"

// What a polygon collision's face query returns for a box: the faces that
// may touch it, as vertex counts, attributes and a run of vertex indices
// into one shared vertex array.
struct phFaceQueryResult {
    int faceCount = 0;
    const int* vertexCounts = nullptr;
    const int* attributes = nullptr;
    const int* indices = nullptr;
    // Entries of indices; the faces' vertex counts must fit in it.
    int indexCount = 0;
    const float* vertices = nullptr;
    // Bytes from one vertex to the next; a multiple of 4, at least 12.
    int strideBytes = 12;
    // Vertices in the array; every index must lie below it.
    int vertexCount = 0;
};

// The current face of a polygon collision, seen as a flat convex shape by
// the contact code. Faces are wound counter-clockwise seen from their front.
class phCollisionConvexPolygon : public phConvexCollision {
public:
    static constexpr int kMaxFaceVertices = 64;

    phCollisionConvexPolygon();
    ~phCollisionConvexPolygon() override = default;

    std::uint32_t GetTypeId() const override;
    bool IsType(std::uint32_t id) const override;
    void ReservedPair(void*, void*) override {}
    void CalcAABB(const phMat4& matrix, phVec4& outMin, phVec4& outMax) const override;
    std::uint32_t GetSignature() const override { return 0; }
    phVec4 SupportVertex(const phVec4& dir) const override;
    // The points where the plane cuts the face; the whole face when it lies
    // within 1/128 of the plane.
    int CalcPlaneContacts(const phVec4& normal, const phVec4& point, phVec4* out) const override;

    void SetVertexArray(const float* vertices, int strideFloats, int vertexCount);
    // Loads the face's indices; false (and nothing loaded) when the face has
    // fewer than 3 or more than kMaxFaceVertices vertices or an index lies
    // outside the vertex array.
    bool LoadFace(const int* indices, int count);
    // Copies the loaded vertices as (x, y, z, 1) and sets the normal.
    void CopyVertices(const phVec4& normal);
    const phVec4& Vertex(int i) const { return m_points[i]; }
    int Count() const { return m_count; }
    const phVec4& Normal() const { return m_normal; }
    const int* Indices() const { return m_indices; }
    const float* VertexArray() const { return m_vertices; }
    int Stride() const { return m_stride; }
    // Vertex i of the loaded face straight from the array.
    phVec4 ArrayVertex(int i) const;

private:
    const float* m_vertices = nullptr;
    int m_stride = 3;
    int m_arrayCount = 0;
    int m_count = 0;
    int m_indices[kMaxFaceVertices] = {};
    phVec4 m_points[kMaxFaceVertices];
    phVec4 m_normal;
};

// A collision made of polygon faces that are offered through a query. No
// shape of the engine is one; callers derive their own.
class phCollisionPolygonalSoup : public phCollision {
public:
    static constexpr std::uint32_t kKindPolygonSoup = 0x100;

    std::uint32_t GetTypeId() const override;
    bool IsType(std::uint32_t id) const override;
    void ReservedPair(void*, void*) override {}
    int ForEachFace(phFaceContext*, phFaceCallback) const override { return 0; }
    float RayCast(const phVec4&, const phVec4&, phRayHit*, phRayPrefilter, void*) const override { return kRayMiss; }
    float GetVolume() const override { return 0.0f; }
    void CalcInertia(phVec4& outInertia, phVec4& outCentre) const override;
    void CalcVolumeBelowPlane(phVec4& out, const phMat4&, phPlaneCallback, void*) const override;
    std::uint32_t GetSignature() const override { return GetStoredSignature(); }

    // The faces that may touch the box (in the collision's local space).
    virtual void QueryFaces(const phVec4& boxMin, const phVec4& boxMax, phFaceQueryResult& out) const = 0;

    phCollisionConvexPolygon& FaceObject() const { return m_face; }

protected:
    phCollisionPolygonalSoup(std::uint32_t signature, const phMat4& offset);
    ~phCollisionPolygonalSoup() override = default;

private:
    mutable phCollisionConvexPolygon m_face;
};
