#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "physics/collision_box.h"
#include "physics/collision_sphere.h"
#include "physics/maths.h"
#include "physics/memory.h"
#include "physics/polyhedron.h"

namespace {

phVec4 RandomDir(std::mt19937& rng)
{
    std::normal_distribution<float> n(0.0f, 1.0f);
    phVec4 d = {n(rng), n(rng), n(rng), 0};
    return d * (1.0f / std::sqrt(phLengthSq(d)));
}

// A regular prism of `sides` sides around y: a hull that only the generic
// queries serve.
class Prism : public phConvexCollision {
public:
    static Prism* Create(int sides, float radius, float halfHeight) { return new Prism(sides, radius, halfHeight); }
    void ReservedPair(void*, void*) override {}
    std::uint32_t GetSignature() const override { return 0; }

private:
    Prism(int sides, float radius, float halfHeight) : phConvexCollision(0, GetIdentityMatrix(), 7)
    {
        auto* v = static_cast<phVec4*>(phMalloc(sizeof(phVec4) * 2 * sides));
        for (int i = 0; i < sides; ++i) {
            const float a = 6.2831853f * i / sides;
            v[i] = {radius * std::cos(a), halfHeight, -radius * std::sin(a), 1};
            v[sides + i] = {radius * std::cos(a), -halfHeight, -radius * std::sin(a), 1};
        }
        phPolyhedron poly;
        std::vector<std::int32_t> top(sides), bottom(sides);
        for (int i = 0; i < sides; ++i) {
            top[i] = i;                        // counter-clockwise seen from +y
            bottom[i] = sides + (sides - i) % sides;
            const std::int32_t quad[4] = {i, sides + i, sides + (i + 1) % sides, (i + 1) % sides};
            poly.AddFace(4, quad);
        }
        poly.AddFace(sides, top.data());
        poly.AddFace(sides, bottom.data());
        poly.EndFaces();
        const int edges = static_cast<int>(poly.EdgeCount());
        auto* table = static_cast<phHalfEdge*>(phMalloc(sizeof(phHalfEdge) * edges));
        poly.Export(table, edges);
        SetGeometry(v, 2 * sides, table, edges);
        Init();
    }
};

TEST(MassProperties, BoxAgainstAnalyticValues)
{
    phCollisionBox* box = phCollisionBox::Create(2, 4, 6, GetIdentityMatrix());
    ASSERT_NE(box, nullptr);
    EXPECT_NEAR(box->GetCentre().w, 48.0f, 1e-4f);
    EXPECT_NEAR(box->GetCentre().x, 0.0f, 1e-5f);
    EXPECT_NEAR(box->GetCentre().z, 0.0f, 1e-5f);
    EXPECT_FLOAT_EQ(box->GetBoxHalfSize().x, 1.0f);
    EXPECT_FLOAT_EQ(box->GetBoxHalfSize().y, 2.0f);
    EXPECT_FLOAT_EQ(box->GetBoxHalfSize().z, 3.0f);
    EXPECT_NEAR(box->GetVolume(), 48.0f, 1e-4f);
    phVec4 inertia, centre;
    box->CalcInertia(inertia, centre);
    // Per unit mass: (b² + c²)/12 and so on, for a, b, c = 2, 4, 6.
    EXPECT_NEAR(inertia.x, (16.0f + 36.0f) / 12.0f, 1e-4f);
    EXPECT_NEAR(inertia.y, (4.0f + 36.0f) / 12.0f, 1e-4f);
    EXPECT_NEAR(inertia.z, (4.0f + 16.0f) / 12.0f, 1e-4f);
    box->Release();

    // Moved by its offset: the centre follows, the inertia about it does not change.
    phMat4 offset = GetIdentityMatrix();
    offset[3] = {1, -2, 3, 1};
    box = phCollisionBox::Create(2, 4, 6, offset);
    box->CalcInertia(inertia, centre);
    EXPECT_NEAR(centre.x, 1.0f, 1e-4f);
    EXPECT_NEAR(centre.y, -2.0f, 1e-4f);
    EXPECT_NEAR(centre.z, 3.0f, 1e-4f);
    EXPECT_NEAR(inertia.x, 52.0f / 12.0f, 1e-3f);
    box->Release();

    // A flat box: the volume stays 0, divisions use 0.001.
    box = phCollisionBox::Create(2, 0, 2, GetIdentityMatrix());
    EXPECT_EQ(box->GetCentre().w, 0.0f);
    EXPECT_TRUE(std::isfinite(box->GetCentre().x));
    box->Release();
}

// Volume, first and second moments of a closed triangle mesh as a sum of
// tetrahedra from the origin, in double.
struct TetraSums {
    double volume = 0, first[3] = {0, 0, 0}, second[3] = {0, 0, 0};
    void Add(const double a[3], const double b[3], const double c[3])
    {
        const double v = (a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
                          a[2] * (b[0] * c[1] - b[1] * c[0])) / 6.0;
        volume += v;
        for (int k = 0; k < 3; ++k) {
            const double s = a[k] + b[k] + c[k];
            first[k] += v * s / 4.0;
            second[k] += v / 20.0 * (a[k] * a[k] + b[k] * b[k] + c[k] * c[k] + s * s);
        }
    }
};

TEST(MassProperties, SpherePolyhedronAgainstTetrahedronSums)
{
    phCollisionSphere* s = phCollisionSphere::Create(1.5f, GetIdentityMatrix());
    ASSERT_NE(s, nullptr);
    // The 18-vertex polyhedron behind the support queries.
    TetraSums coarse;
    const phHalfEdge* t = s->GetHalfEdges();
    const phVec4* v = s->GetVertices();
    std::vector<bool> seen(96, false);
    for (int e = 0; e < 96; ++e) {
        if (seen[e]) {
            continue;
        }
        const int e1 = t[e].next, e2 = t[e1].next;
        seen[e] = seen[e1] = seen[e2] = true;
        ASSERT_EQ(t[e2].next, e);
        const double a[3] = {v[t[e].vertex].x, v[t[e].vertex].y, v[t[e].vertex].z};
        const double b[3] = {v[t[e1].vertex].x, v[t[e1].vertex].y, v[t[e1].vertex].z};
        const double c[3] = {v[t[e2].vertex].x, v[t[e2].vertex].y, v[t[e2].vertex].z};
        coarse.Add(a, b, c);
    }
    EXPECT_NEAR(s->GetCentre().w, coarse.volume, 1e-4);
    EXPECT_GT(coarse.volume, 0.0);

    // The display sphere that GetVolume and CalcInertia integrate.
    struct Ctx {
        phFaceContext base;
        TetraSums sums;
    } ctx{{GetIdentityMatrix()}, {}};
    s->ForEachFace(&ctx.base, [](phFaceContext* c, int, const float* p, int) {
        const double a[3] = {p[0], p[1], p[2]}, b[3] = {p[3], p[4], p[5]}, d[3] = {p[6], p[7], p[8]};
        reinterpret_cast<Ctx*>(c)->sums.Add(a, b, d);
    });
    const TetraSums& fine = ctx.sums;
    EXPECT_NEAR(s->GetVolume(), fine.volume, 1e-4);
    // Inscribed in the true sphere, and close to it.
    const double ball = 4.0 / 3.0 * M_PI * 1.5 * 1.5 * 1.5;
    EXPECT_LT(fine.volume, ball);
    EXPECT_GT(fine.volume, 0.97 * ball);
    phVec4 inertia, centre;
    s->CalcInertia(inertia, centre);
    const double ixx = (fine.second[1] + fine.second[2]) / fine.volume;
    const double izz = (fine.second[0] + fine.second[1]) / fine.volume;
    EXPECT_NEAR(inertia.x, ixx, 1e-4);
    EXPECT_NEAR(inertia.z, izz, 1e-4);
    EXPECT_NEAR(centre.x, fine.first[0] / fine.volume, 1e-5);
    s->Release();
}

TEST(ConvexQueries, GenericSupportAgreesWithTheShapes)
{
    phCollisionBox* box = phCollisionBox::Create(1, 2, 3, GetIdentityMatrix());
    Prism* prism = Prism::Create(40, 2.0f, 1.0f);
    std::mt19937 rng(5);
    for (int i = 0; i < 300; ++i) {
        const phVec4 d = RandomDir(rng);
        const phVec4 own = box->SupportVertex(d);
        const phVec4 climbed = box->phConvexCollision::SupportVertex(d);
        EXPECT_EQ(own.x, climbed.x);
        EXPECT_EQ(own.y, climbed.y);
        EXPECT_EQ(own.z, climbed.z);
        EXPECT_EQ(box->GetVertices()[box->SupportEdge(d) >= 0 ? box->GetHalfEdges()[box->SupportEdge(d)].vertex : 0].x, own.x);

        float best = -1e30f;
        for (int v = 0; v < prism->GetVertexCount(); ++v) {
            best = std::max(best, phDot(prism->GetVertices()[v], d));
        }
        EXPECT_EQ(phDot(prism->SupportVertex(d), d), best) << i;
    }
    // The prism's local box from its own support.
    EXPECT_NEAR(prism->GetBoxHalfSize().x, 2.0f, 1e-5f);
    EXPECT_NEAR(prism->GetBoxHalfSize().y, 1.0f, 1e-5f);
    // Prism volume: n/2 r² sin(2π/n) × height.
    EXPECT_NEAR(prism->GetCentre().w, 20.0 * 4.0 * std::sin(2 * M_PI / 40) * 2.0, 1e-3);
    box->Release();
    prism->Release();
}

TEST(ConvexQueries, GenericRayCastAgreesWithTheBoxAndSphere)
{
    phCollisionBox* box = phCollisionBox::Create(2, 1, 3, GetIdentityMatrix());
    phCollisionSphere* sphere = phCollisionSphere::Create(1.5f, GetIdentityMatrix());
    box->SetUserId(9);
    std::mt19937 rng(13);
    std::uniform_real_distribution<float> u(-4, 4);
    int hits = 0;
    for (int i = 0; i < 1000; ++i) {
        const phVec4 p0 = {u(rng), u(rng), u(rng), 1}, p1 = {u(rng), u(rng), u(rng), 1};
        phRayHit own, generic;
        const float tb = box->RayCast(p0, p1, &own, nullptr, nullptr);
        const float gb = box->phConvexCollision::RayCast(p0, p1, &generic, nullptr, nullptr);
        if (tb == kRayMiss) {
            EXPECT_EQ(gb, kRayMiss) << i;
        } else {
            ++hits;
            EXPECT_NEAR(gb, tb, 1e-3f) << i;
            EXPECT_GT(phDot(own.normal, generic.normal), 0.99f) << i;
            EXPECT_EQ(generic.normal.w, 1.0f);
            EXPECT_EQ(generic.userId, 9);
        }
        // The sphere's generic cast sees its support grid: within a grid cell of the true sphere.
        const float ts = sphere->RayCast(p0, p1, &own, nullptr, nullptr);
        const float gs = sphere->phConvexCollision::RayCast(p0, p1, &generic, nullptr, nullptr);
        if (ts < 0.99f && gs != kRayMiss) {
            const float len = std::sqrt(phLengthSq(p1 - p0));
            EXPECT_NEAR(gs * len, ts * len, 0.01f) << i;
        }
    }
    EXPECT_GT(hits, 100);
    // A start inside reports no hit; a miss of the local box is caught early.
    EXPECT_EQ(box->phConvexCollision::RayCast({0, 0, 0, 1}, {5, 0, 0, 1}, nullptr, nullptr, nullptr), kRayMiss);
    EXPECT_EQ(box->phConvexCollision::RayCast({-5, 3, 0, 1}, {5, 3, 0, 1}, nullptr, nullptr, nullptr), kRayMiss);
    box->Release();
    sphere->Release();
}

TEST(ConvexQueries, GenericPlaneSections)
{
    phCollisionBox* box = phCollisionBox::Create(2, 2, 2, GetIdentityMatrix());
    const float s = 1.0f / std::sqrt(3.0f);
    struct Case {
        phVec4 normal, point;
        int count;
    };
    const Case cases[] = {
        {{s, s, s, 0}, {0, 0, 0, 1}, 6},
        {{-s, s, -s, 0}, {0.1f, 0, 0, 1}, 6},
        {{0, 1, 0, 0}, {0, 0.5f, 0, 1}, 4},
        {{0, -1, 0, 0}, {0, 0.5f, 0, 1}, 4},
        {{0, 1, 0, 0}, {0, 3, 0, 1}, 0},
        {{0, 1, 0, 0}, {0, -3, 0, 1}, 0},
    };
    for (const Case& c : cases) {
        phVec4 own[phConvexCollision::kMaxPlaneContacts], generic[phConvexCollision::kMaxPlaneContacts];
        const int n = box->CalcPlaneContacts(c.normal, c.point, own);
        const int g = box->phConvexCollision::CalcPlaneContacts(c.normal, c.point, generic);
        EXPECT_EQ(n, c.count);
        ASSERT_EQ(g, c.count);
        // Same polygon, maybe from another start point.
        for (int i = 0; i < g; ++i) {
            float nearest = 1e30f;
            for (int j = 0; j < n; ++j) {
                nearest = std::min(nearest, phLengthSq(generic[i] - own[j]));
            }
            EXPECT_LT(nearest, 1e-10f);
        }
    }
    box->Release();

    // A 40-sided prism cut across its axis: 40 points reduced to 12 on the plane,
    // still spread around the section.
    Prism* prism = Prism::Create(40, 2.0f, 1.0f);
    phVec4 pts[phConvexCollision::kMaxPlaneContacts];
    const phVec4 n = phVec4{0.05f, 1, 0.02f, 0} * (1.0f / std::sqrt(1.0029f));
    const int count = prism->CalcPlaneContacts(n, {0, 0.2f, 0, 1}, pts);
    ASSERT_EQ(count, 12);
    double area = 0;
    for (int i = 0; i < count; ++i) {
        EXPECT_NEAR(phDot(n, pts[i]) - 0.2f * n.y, 0.0f, 1e-5f);
        const float rr = std::sqrt(pts[i].x * pts[i].x + pts[i].z * pts[i].z);
        EXPECT_GT(rr, 1.9f);
        EXPECT_LT(rr, 2.01f);
        const phVec4& a = pts[i];
        const phVec4& b = pts[(i + 1) % count];
        area += 0.5 * (double(a.z) * b.x - double(a.x) * b.z);
    }
    // A 12-gon inscribed in radius 2 covers 3 r² = 12; dropping the flattest
    // points keeps most of it.
    EXPECT_GT(std::fabs(area), 10.0);
    prism->Release();
}

struct PlaneSource {
    phVec4 plane;
};

std::uint32_t GivePlane(std::uint32_t, void* user, const phMat4&, phVec4& out)
{
    out = static_cast<PlaneSource*>(user)->plane;
    return 1;
}

TEST(ConvexQueries, VolumeBelowAPlane)
{
    phCollisionBox* box = phCollisionBox::Create(2, 4, 6, GetIdentityMatrix());
    phVec4 out;
    box->CalcVolumeBelowPlane(out, GetIdentityMatrix(), nullptr, nullptr);
    EXPECT_NEAR(out.w, 48.0f, 1e-3f);
    EXPECT_NEAR(out.y, 0.0f, 1e-4f);

    // World plane y = 0.5 with the box moved by 10 along x.
    PlaneSource src{{0, 1, 0, -0.5f}};
    phMat4 m = GetIdentityMatrix();
    m[3] = {10, 0, 0, 1};
    box->CalcVolumeBelowPlane(out, m, GivePlane, &src);
    EXPECT_NEAR(out.w, 2.0f * 6.0f * 2.5f, 1e-3f);
    EXPECT_NEAR(out.x, 10.0f, 1e-4f);
    EXPECT_NEAR(out.y, -0.75f, 1e-4f);
    EXPECT_NEAR(out.z, 0.0f, 1e-4f);

    // Rotated a quarter turn about z: local x is world y, so the cut is across x.
    m = MatrixFromQuaternion(phQuatFromAxisAngle({0, 0, 1, 0}, 1.5707964f), {0, 0, 0, 1});
    src.plane = {0, 1, 0, 0};
    box->CalcVolumeBelowPlane(out, m, GivePlane, &src);
    EXPECT_NEAR(out.w, 24.0f, 1e-3f);
    EXPECT_NEAR(out.y, -0.5f, 1e-4f);

    // Entirely above: nothing below.
    src.plane = {0, 1, 0, 50};
    box->CalcVolumeBelowPlane(out, GetIdentityMatrix(), GivePlane, &src);
    EXPECT_NEAR(out.w, 0.0f, 1e-6f);
    box->Release();
}

TEST(ConvexQueries, GenericFaceWalk)
{
    phCollisionBox* box = phCollisionBox::Create(2, 2, 2, GetIdentityMatrix());
    struct Ctx {
        phFaceContext base;
        int faces;
        float maxX;
    } ctx{{GetIdentityMatrix()}, 0, -1e30f};
    ctx.base.matrix[3] = {5, 0, 0, 1};
    const int walked = box->ForEachFace(&ctx.base, [](phFaceContext* c, int count, const float* p, int id) {
        auto* x = reinterpret_cast<Ctx*>(c);
        EXPECT_EQ(count, 4);
        EXPECT_EQ(id, 0);
        ++x->faces;
        for (int k = 0; k < count; ++k) {
            x->maxX = std::max(x->maxX, p[k * 3]);
        }
    });
    EXPECT_EQ(walked, 24);
    EXPECT_EQ(ctx.faces, 6);
    EXPECT_FLOAT_EQ(ctx.maxX, 6.0f);
    box->Release();
}

}  // namespace
