#include "physics/collision_box.h"

#include <cmath>

#include "physics/class_id.h"
#include "physics/polyhedron.h"

namespace {

phHalfEdge g_table[24];
int g_live = 0;

// Counter-clockwise seen from outside: +y, +z, -x, -z, +x, -y.
constexpr std::int32_t kFaces[6][4] = {
    {0, 4, 5, 1}, {0, 1, 3, 2}, {1, 5, 7, 3}, {5, 4, 6, 7}, {4, 0, 2, 6}, {6, 2, 3, 7},
};

bool BuildTable()
{
    phPolyhedron poly;
    for (const auto& face : kFaces) {
        poly.AddFace(4, face);
    }
    return poly.EndFaces() && poly.Export(g_table, 24) == 24;
}

}  // namespace

phCollisionBox* phCollisionBox::Create(std::uint32_t signature, float sx, float sy, float sz, const phMat4& offset)
{
    if (g_live == 0 && !BuildTable()) {
        return nullptr;
    }
    return new phCollisionBox(signature, sx, sy, sz, offset);
}

phCollisionBox* phCollisionBox::Create(float sx, float sy, float sz, const phMat4& offset)
{
    return Create(MakeBoxSignature(sx, sy, sz, offset), sx, sy, sz, offset);
}

std::uint32_t phCollisionBox::MakeBoxSignature(float sx, float sy, float sz, const phMat4& offset)
{
    const float half[3] = {std::fabs(sx) * 0.5f, std::fabs(sy) * 0.5f, std::fabs(sz) * 0.5f};
    return MakeSignature(kKindBox, half, 3, offset);
}

int phCollisionBox::LiveCount() { return g_live; }

phCollisionBox::phCollisionBox(std::uint32_t signature, float sx, float sy, float sz, const phMat4& offset)
    : phConvexCollision(signature, offset, kKindBox)
{
    m_half = {std::fabs(sx) * 0.5f, std::fabs(sy) * 0.5f, std::fabs(sz) * 0.5f, 1.0f};
    for (int i = 0; i < 8; ++i) {
        m_corners[i] = {(i & 1) ? -m_half.x : m_half.x, (i & 2) ? -m_half.y : m_half.y,
                        (i & 4) ? -m_half.z : m_half.z, 1.0f};
    }
    ++g_live;
    SetGeometry(m_corners, 8, g_table, 24);
    Init();
}

phCollisionBox::~phCollisionBox()
{
    --g_live;
    ClearGeometry();
}

std::uint32_t phCollisionBox::GetTypeId() const { return phGetClassId(phClassIndex::CollisionBox); }

bool phCollisionBox::IsType(std::uint32_t id) const
{
    return id == phGetClassId(phClassIndex::CollisionBox) || phConvexCollision::IsType(id);
}

void phCollisionBox::CalcAABB(const phMat4& m, phVec4& outMin, phVec4& outMax) const
{
    for (int j = 0; j < 3; ++j) {
        const float ext = std::fabs(m[0][j]) * m_half.x + std::fabs(m[1][j]) * m_half.y + std::fabs(m[2][j]) * m_half.z;
        outMin[j] = m[3][j] - ext;
        outMax[j] = m[3][j] + ext;
    }
    outMin.w = 1.0f;
    outMax.w = 1.0f;
}

float phCollisionBox::RayCast(const phVec4& p0, const phVec4& p1, phRayHit* hit, phRayPrefilter prefilter,
                              void* userData) const
{
    if (prefilter != nullptr && prefilter(userData, this) == 0) {
        return kRayMiss;
    }
    struct Face {
        int axis;
        float sign;
    };
    static constexpr Face kOrder[6] = {{0, 1.0f}, {0, -1.0f}, {2, 1.0f}, {2, -1.0f}, {1, 1.0f}, {1, -1.0f}};
    const phVec4 d = p1 - p0;
    phVec4 start = p0;
    phVec4 end = p1;
    float best = 0.0f;
    bool found = false;
    for (const Face& f : kOrder) {
        const int a = f.axis;
        const float plane = f.sign * m_half[a];
        auto beyond = [&](const phVec4& p) { return f.sign > 0.0f ? plane - p[a] <= 0.0f : plane - p[a] >= 0.0f; };
        if (beyond(start)) {
            if (beyond(end)) {
                return kRayMiss;
            }
            const float t = (plane - p0[a]) / d[a];
            if (t > best) {
                best = t;
                found = true;
                if (hit != nullptr) {
                    hit->normal = {0.0f, 0.0f, 0.0f, 1.0f};
                    hit->normal[a] = f.sign;
                    hit->userId = static_cast<std::int64_t>(GetUserId());
                }
            }
            start = p0 + d * t;
            start[a] = plane;
        } else if (beyond(end)) {
            const float t = (plane - p0[a]) / d[a];
            end = p0 + d * t;
            end[a] = plane;
        }
    }
    return found ? best : kRayMiss;
}

std::uint32_t phCollisionBox::GetSignature() const
{
    const float half[3] = {m_half.x, m_half.y, m_half.z};
    return MakeSignature(kKindBox, half, 3, GetOffsetMatrix());
}

phVec4 phCollisionBox::SupportVertex(const phVec4& d) const
{
    return {d.x < 0.0f ? -m_half.x : m_half.x, d.y < 0.0f ? -m_half.y : m_half.y, d.z < 0.0f ? -m_half.z : m_half.z,
            0.0f};
}

int phCollisionBox::CalcPlaneContacts(const phVec4& normal, const phVec4& point, phVec4* out) const
{
    phVec4 plane = normal;
    plane.w = -phDot(normal, point);
    float dist[8];
    for (int i = 0; i < 8; ++i) {
        dist[i] = phDot(plane, m_corners[i]) + plane.w;
    }
    // The first twelve records reach every edge that a plane can cut.
    for (int e = 0; e < 12; ++e) {
        const int a = g_table[e].vertex;
        const int b = g_table[g_table[e].next].vertex;
        if (dist[a] * dist[b] < 0.0f) {
            const int start = dist[b] > 0.0f ? g_table[e].twin : e;
            phVec4 points[kTraceCapacity];
            const int count = TraceSection(start, plane, points);
            const int n = count < kMaxPlaneContacts ? count : kMaxPlaneContacts;
            for (int i = 0; i < n; ++i) {
                out[i] = points[i];
            }
            return n;
        }
    }
    return 0;
}
