#include "physics/polygon_soup.h"

#include <cmath>
#include <cstring>

#include "physics/class_id.h"
#include "physics/maths.h"

namespace {

// Vertices this close to a section plane count as lying in it.
constexpr float kSectionSlab = 1.0f / 128.0f;

}  // namespace

phCollisionConvexPolygon::phCollisionConvexPolygon()
    : phConvexCollision(0, GetIdentityMatrix(), phCollisionPolygonalSoup::kKindPolygonSoup)
{
}

std::uint32_t phCollisionConvexPolygon::GetTypeId() const
{
    return phGetClassId(phClassIndex::CollisionConvexPolygon);
}

bool phCollisionConvexPolygon::IsType(std::uint32_t id) const
{
    return id == phGetClassId(phClassIndex::CollisionConvexPolygon) || phConvexCollision::IsType(id);
}

void phCollisionConvexPolygon::CalcAABB(const phMat4& matrix, phVec4& outMin, phVec4& outMax) const
{
    outMin = {0, 0, 0, 1};
    outMax = {0, 0, 0, 1};
    for (int i = 0; i < m_count; ++i) {
        const phVec4 p = phTransformPoint(matrix, m_points[i]);
        for (int a = 0; a < 3; ++a) {
            if (i == 0 || p[a] < outMin[a]) {
                outMin[a] = p[a];
            }
            if (i == 0 || p[a] > outMax[a]) {
                outMax[a] = p[a];
            }
        }
    }
}

phVec4 phCollisionConvexPolygon::SupportVertex(const phVec4& dir) const
{
    int best = 0;
    float bestDot = -INFINITY;
    for (int i = 0; i < m_count; ++i) {
        const float d = phDot(dir, m_points[i]);
        if (d > bestDot) {
            bestDot = d;
            best = i;
        }
    }
    return m_count > 0 ? m_points[best] : phVec4{0, 0, 0, 1};
}

int phCollisionConvexPolygon::CalcPlaneContacts(const phVec4& normal, const phVec4& point, phVec4* out) const
{
    if (m_count < 3) {
        return 0;
    }
    const float offset = phDot(normal, point);
    float dist[kMaxFaceVertices];
    bool flat = true;
    for (int i = 0; i < m_count; ++i) {
        dist[i] = phDot(normal, m_points[i]) - offset;
        flat = flat && std::fabs(dist[i]) <= kSectionSlab;
    }
    int n = 0;
    if (flat) {
        for (int i = 0; i < m_count && n < kMaxPlaneContacts; ++i) {
            out[n++] = m_points[i] - normal * dist[i];
        }
        return n;
    }
    for (int i = 0; i < m_count && n < kMaxPlaneContacts; ++i) {
        const int j = (i + 1) % m_count;
        if ((dist[i] < 0.0f) != (dist[j] < 0.0f)) {
            const float t = dist[i] / (dist[i] - dist[j]);
            out[n] = m_points[i] + (m_points[j] - m_points[i]) * t;
            out[n].w = 1.0f;
            ++n;
        }
    }
    return n;
}

void phCollisionConvexPolygon::SetVertexArray(const float* vertices, int strideFloats, int vertexCount)
{
    m_vertices = vertices;
    m_stride = strideFloats;
    m_arrayCount = vertices != nullptr && strideFloats >= 3 && vertexCount > 0 ? vertexCount : 0;
    m_count = 0;
}

bool phCollisionConvexPolygon::LoadFace(const int* indices, int count)
{
    m_count = 0;
    if (indices == nullptr || count < 3 || count > kMaxFaceVertices) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        if (indices[i] < 0 || indices[i] >= m_arrayCount) {
            return false;
        }
    }
    std::memcpy(m_indices, indices, sizeof(int) * static_cast<std::size_t>(count));
    m_count = count;
    for (int i = 0; i < count; ++i) {
        m_points[i] = ArrayVertex(i);
    }
    return true;
}

phVec4 phCollisionConvexPolygon::ArrayVertex(int i) const
{
    const float* v = m_vertices + static_cast<std::ptrdiff_t>(m_indices[i]) * m_stride;
    return {v[0], v[1], v[2], 1.0f};
}

void phCollisionConvexPolygon::CopyVertices(const phVec4& normal)
{
    for (int i = 0; i < m_count; ++i) {
        m_points[i] = ArrayVertex(i);
    }
    m_normal = normal;
}

phCollisionPolygonalSoup::phCollisionPolygonalSoup(std::uint32_t signature, const phMat4& offset)
    : phCollision(signature, offset, kKindPolygonSoup)
{
}

std::uint32_t phCollisionPolygonalSoup::GetTypeId() const
{
    return phGetClassId(phClassIndex::CollisionPolygonalSoup);
}

bool phCollisionPolygonalSoup::IsType(std::uint32_t id) const
{
    return id == phGetClassId(phClassIndex::CollisionPolygonalSoup) || phCollision::IsType(id);
}

void phCollisionPolygonalSoup::CalcInertia(phVec4& outInertia, phVec4& outCentre) const
{
    outInertia = {0, 0, 0, 0};
    outCentre = {0, 0, 0, 1};
}

void phCollisionPolygonalSoup::CalcVolumeBelowPlane(phVec4& out, const phMat4&, phPlaneCallback, void*) const
{
    out = {0, 0, 0, 0};
}
