#pragma once

#include <cstdint>

#include "physics/collision.h"
#include "physics/half_edge.h"

// Convex shape described by its vertices, a half-edge table and a support
// mapping. The generic queries here work for any such hull; the box and the
// sphere override some of them.
class phConvexCollision : public phCollision {
public:
    // Start edges of support searches, in this order.
    enum StartEdge { kStartPosX, kStartNegX, kStartPosY, kStartNegY, kStartPosZ, kStartNegZ };
    // Room a CalcPlaneContacts caller provides.
    static constexpr int kMaxPlaneContacts = 12;

    std::uint32_t GetTypeId() const override;
    bool IsType(std::uint32_t id) const override;

    std::uint32_t GetUserId() const override { return m_userId; }
    void SetUserId(std::uint32_t id) override { m_userId = id; }
    void CalcAABB(const phMat4& matrix, phVec4& outMin, phVec4& outMax) const override;
    int ForEachFace(phFaceContext* context, phFaceCallback callback) const override;
    float RayCast(const phVec4& p0, const phVec4& p1, phRayHit* hit, phRayPrefilter prefilter,
                  void* userData) const override;
    float GetVolume() const override;
    void CalcInertia(phVec4& outInertia, phVec4& outCentre) const override;
    void CalcVolumeBelowPlane(phVec4& out, const phMat4& matrix, phPlaneCallback planeCallback,
                              void* userData) const override;

    // Vertex farthest along dir (local frame), with its stored w.
    virtual phVec4 SupportVertex(const phVec4& dir) const;
    // Points where the plane through point with this normal cuts the shape;
    // out holds kMaxPlaneContacts points. Returns their number.
    virtual int CalcPlaneContacts(const phVec4& normal, const phVec4& point, phVec4* out) const;

    // Half-edge whose origin is the farthest vertex along dir, climbing from edge 0.
    int SupportEdge(const phVec4& dir) const;

    // Centre of mass; w holds the unclamped volume.
    const phVec4& GetCentre() const { return m_centre; }
    const phVec4* GetVertices() const { return m_vertices; }
    int GetVertexCount() const { return m_vertexCount; }
    const phHalfEdge* GetHalfEdges() const { return m_edges; }
    int GetHalfEdgeCount() const { return m_edgeCount; }
    int GetStartEdge(StartEdge which) const { return m_start[which]; }
    const phVec4& GetBoxHalfSize() const { return m_boxHalf; }
    const phVec4& GetBoxCentre() const { return m_boxCentre; }

protected:
    phConvexCollision(std::uint32_t signature, const phMat4& offset, std::uint32_t kind);
    // Frees the vertex array and the half-edge table when still set (phFree).
    ~phConvexCollision() override;

    void SetGeometry(phVec4* vertices, int vertexCount, phHalfEdge* edges, int edgeCount);
    // Forgets shared or embedded arrays so the destructor frees neither.
    void ClearGeometry();
    // Mass properties, start edges and local box; last step of every constructor.
    void Init();

    // Traces the section polygon of the plane (n, w) from a crossing edge
    // (origin on or in front of the plane, end behind it). At most 63 points
    // are kept (halved when more gather); returns their number.
    int TraceSection(int startEdge, const phVec4& plane, phVec4* out) const;
    static constexpr int kTraceCapacity = 64;

private:
    float Distance(const phVec4& plane, int vertex) const { return phDot(plane, m_vertices[vertex]) + plane.w; }
    int Destination(int edge) const { return m_edges[m_edges[edge].next].vertex; }

    phVec4 m_centre = {0, 0, 0, 1};
    phVec4* m_vertices = nullptr;
    phHalfEdge* m_edges = nullptr;
    std::int32_t m_start[6] = {0, 0, 0, 0, 0, 0};
    std::uint16_t m_edgeCount = 0;
    std::uint16_t m_vertexCount = 0;
    std::uint32_t m_userId = 0;
    phVec4 m_boxHalf = {0, 0, 0, 1};
    phVec4 m_boxCentre = {0, 0, 0, 1};
};
