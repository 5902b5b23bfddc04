#include "physics/collision_sphere.h"

#include <cmath>

#include "physics/class_id.h"
#include "physics/maths.h"
#include "physics/polyhedron.h"
#include "physics/weld.h"

namespace {

phVec4 g_unit[18];
phHalfEdge g_table[96];
int g_live = 0;

constexpr float kTwoPi = 6.28318f;

// Octahedron, counter-clockwise seen from outside.
const phVec4 kAxes[6] = {{1, 0, 0, 1}, {-1, 0, 0, 1}, {0, 1, 0, 1}, {0, -1, 0, 1}, {0, 0, 1, 1}, {0, 0, -1, 1}};
constexpr int kOctahedron[8][3] = {{0, 2, 4}, {2, 1, 4}, {1, 3, 4}, {3, 0, 4},
                                   {2, 0, 5}, {1, 2, 5}, {3, 1, 5}, {0, 3, 5}};

phVec4 Midpoint(const phVec4& a, const phVec4& b)
{
    phVec4 m = a + b;
    const float len = std::sqrt(phLengthSq(m));
    m = m * (1.0f / len);
    m.w = 1.0f;
    return m;
}

// Appends the three points of every triangle at depth 0.
void Subdivide(const phVec4& a, const phVec4& b, const phVec4& c, int depth, phVec4*& out)
{
    if (depth == 0) {
        *out++ = a;
        *out++ = b;
        *out++ = c;
        return;
    }
    const phVec4 ab = Midpoint(a, b);
    const phVec4 bc = Midpoint(b, c);
    const phVec4 ca = Midpoint(c, a);
    Subdivide(a, ab, ca, depth - 1, out);
    Subdivide(b, bc, ab, depth - 1, out);
    Subdivide(c, ca, bc, depth - 1, out);
    Subdivide(ab, bc, ca, depth - 1, out);
}

void OctahedronPoints(int depth, phVec4* out)
{
    for (const auto& tri : kOctahedron) {
        Subdivide(kAxes[tri[0]], kAxes[tri[1]], kAxes[tri[2]], depth, out);
    }
}

// Unit triangles of the display sphere, built once.
const phVec4* DisplayTriangles()
{
    static phVec4 points[512 * 3];
    static const bool built = [] {
        OctahedronPoints(3, points);
        return true;
    }();
    (void)built;
    return points;
}

}  // namespace

bool phCollisionSphere::EnsureTable()
{
    if (g_live != 0) {
        return true;
    }
    phVec4 points[96];
    OctahedronPoints(1, points);
    std::int32_t map[96];
    const int unique = WeldVertices(&points[0].x, sizeof(phVec4), 12, 0, 96, map, 0.001f);
    if (unique != 18) {
        return false;
    }
    for (int i = 0; i < 18; ++i) {
        g_unit[i] = points[i];
    }
    phPolyhedron poly;
    for (int t = 0; t < 32; ++t) {
        poly.AddTriangle(map[t * 3], map[t * 3 + 1], map[t * 3 + 2]);
    }
    return poly.EndFaces() && poly.Export(g_table, 96) == 96;
}

phCollisionSphere* phCollisionSphere::Create(std::uint32_t signature, float radius, const phMat4& offset)
{
    if (!EnsureTable()) {
        return nullptr;
    }
    return new phCollisionSphere(signature, radius, offset);
}

phCollisionSphere* phCollisionSphere::Create(float radius, const phMat4& offset)
{
    return Create(MakeSphereSignature(radius, offset), radius, offset);
}

std::uint32_t phCollisionSphere::MakeSphereSignature(float radius, const phMat4& offset)
{
    return MakeSignature(kKindSphere, &radius, 1, offset);
}

int phCollisionSphere::LiveCount() { return g_live; }

phCollisionSphere::phCollisionSphere(std::uint32_t signature, float radius, const phMat4& offset)
    : phConvexCollision(signature, offset, kKindSphere), m_radius(radius)
{
    const float cells = std::floor(256.0f * radius);
    // Clamped before the conversion so huge or NaN radii stay defined.
    const int n = cells >= 1024.0f ? 1024 : (cells >= 128.0f ? static_cast<int>(cells) : 128);
    m_step = kTwoPi / static_cast<float>(n);
    m_invStep = 1.0f / m_step;
    m_cosStep = std::cos(m_step);
    m_sinStep = std::sin(m_step);
    for (int i = 0; i < 18; ++i) {
        m_points[i] = g_unit[i] * radius;
        m_points[i].w = g_unit[i].w;
    }
    ++g_live;
    SetGeometry(m_points, 18, g_table, 96);
    Init();
}

phCollisionSphere::~phCollisionSphere()
{
    --g_live;
    ClearGeometry();
}

std::uint32_t phCollisionSphere::GetTypeId() const { return phGetClassId(phClassIndex::CollisionSphere); }

bool phCollisionSphere::IsType(std::uint32_t id) const
{
    return id == phGetClassId(phClassIndex::CollisionSphere) || phConvexCollision::IsType(id);
}

void phCollisionSphere::CalcAABB(const phMat4& m, phVec4& outMin, phVec4& outMax) const
{
    outMin = {m[3].x - m_radius, m[3].y - m_radius, m[3].z - m_radius, 1.0f};
    outMax = {m[3].x + m_radius, m[3].y + m_radius, m[3].z + m_radius, 1.0f};
}

int phCollisionSphere::ForEachFace(phFaceContext* context, phFaceCallback callback) const
{
    if (callback == nullptr) {
        return 0;
    }
    const phMat4 m = phMultiply(GetOffsetMatrix(), context != nullptr ? context->matrix : GetIdentityMatrix());
    const phVec4* unit = DisplayTriangles();
    for (int t = 0; t < 512; ++t) {
        float triple[9];
        for (int k = 0; k < 3; ++k) {
            const phVec4 p = unit[t * 3 + k] * m_radius;
            triple[k * 3 + 0] = p.x;
            triple[k * 3 + 1] = p.y;
            triple[k * 3 + 2] = p.z;
        }
        TransformPoints(m, triple, 3 * sizeof(float), triple, 3 * sizeof(float), 3);
        callback(context, 3, triple, 0);
    }
    return 512 * 3;
}

float phCollisionSphere::RayCast(const phVec4& p0, const phVec4& p1, phRayHit* hit, phRayPrefilter prefilter,
                                 void* userData) const
{
    if (prefilter != nullptr && prefilter(userData, this) == 0) {
        return kRayMiss;
    }
    const phVec4 d = p1 - p0;
    const float a = phDot(d, d);
    const float b = 2.0f * phDot(p0, d);
    const float c = phDot(p0, p0) - m_radius * m_radius;
    const float disc = b * b - 4.0f * a * c;
    if (!(a > 0.0f) || disc < 0.0f) {
        return kRayMiss;
    }
    const float t = (-b - std::sqrt(disc)) / (2.0f * a);
    if (t < 0.0f) {
        return kRayMiss;
    }
    if (t < 1.0f && hit != nullptr) {
        const phVec4 p = p0 + d * t;
        const float len = std::sqrt(phLengthSq(p));
        hit->normal = len > 0.0f ? p * (1.0f / len) : phVec4{0, 0, 0, 0};
        hit->normal.w = 1.0f;
        hit->userId = static_cast<std::int64_t>(GetUserId());
    }
    return t;
}

std::uint32_t phCollisionSphere::GetSignature() const { return MakeSphereSignature(m_radius, GetOffsetMatrix()); }

phVec4 phCollisionSphere::SupportVertex(const phVec4& d) const
{
    const float r = m_radius;
    if (d.x > 0.9998f) {
        return {r, 0.0f, 0.0f, 0.0f};
    }
    if (d.x < -0.9998f) {
        return {-r, 0.0f, 0.0f, 0.0f};
    }
    const float a = std::floor(std::atan2(d.y, d.z) * m_invStep) * m_step;
    const float b = std::floor(std::asin(d.x) * m_invStep) * m_step;
    const float sa = std::sin(a), ca = std::cos(a);
    const float sb = std::sin(b), cb = std::cos(b);
    const float sb1 = sb * m_cosStep + cb * m_sinStep;
    const float cb1 = cb * m_cosStep - sb * m_sinStep;
    const float sa1 = sa * m_cosStep + ca * m_sinStep;
    const float ca1 = ca * m_cosStep - sa * m_sinStep;
    const phVec4 candidates[4] = {
        {r * sb, r * cb * sa, r * cb * ca, 0.0f},
        {r * sb1, r * cb1 * sa, r * cb1 * ca, 1.0f},
        {r * sb, r * cb * sa1, r * cb * ca1, 1.0f},
        {r * sb1, r * cb1 * sa1, r * cb1 * ca1, 1.0f},
    };
    int best = 0;
    float bestDot = phDot(candidates[0], d);
    for (int i = 1; i < 4; ++i) {
        const float dot = phDot(candidates[i], d);
        if (dot > bestDot) {
            bestDot = dot;
            best = i;
        }
    }
    return candidates[best];
}

int phCollisionSphere::CalcPlaneContacts(const phVec4& normal, const phVec4& point, phVec4* out) const
{
    out[0] = normal * phDot(normal, point);
    out[0].w = normal.w;
    return 1;
}

phCollisionPointShape* phCollisionPointShape::Create()
{
    if (!EnsureTable()) {
        return nullptr;
    }
    return new phCollisionPointShape();
}

phCollisionPointShape::phCollisionPointShape()
    : phCollisionSphere(kSignature, 1.0f, GetIdentityMatrix())
{
}

void phCollisionPointShape::CalcInertia(phVec4& outInertia, phVec4& outCentre) const
{
    outInertia = {0.0f, 0.0f, 0.0f, 0.0f};
    outCentre = {0.0f, 0.0f, 0.0f, 0.0f};
}
