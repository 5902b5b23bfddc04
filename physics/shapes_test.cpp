#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "physics/class_id.h"
#include "physics/collision_box.h"
#include "physics/collision_sphere.h"
#include "physics/maths.h"

namespace {

phVec4 RandomDir(std::mt19937& rng)
{
    std::normal_distribution<float> n(0.0f, 1.0f);
    phVec4 d = {n(rng), n(rng), n(rng), 0};
    return d * (1.0f / std::sqrt(phLengthSq(d)));
}

// Slab method in double: entry parameter and the axis/sign of the entry face,
// or t = 1.2 for a miss or a start inside.
struct Slab {
    double t;
    int axis;
    double sign;
};
Slab SlabCast(const double p0[3], const double p1[3], const double h[3])
{
    double tIn = -1e300, tOut = 1e300;
    int axis = -1;
    double sign = 0;
    for (int a = 0; a < 3; ++a) {
        const double d = p1[a] - p0[a];
        if (d == 0) {
            if (p0[a] < -h[a] || p0[a] > h[a]) {
                return {1.2, -1, 0};
            }
            continue;
        }
        double t0 = (-h[a] - p0[a]) / d, t1 = (h[a] - p0[a]) / d;
        double s = -1;
        if (t0 > t1) {
            std::swap(t0, t1);
            s = 1;
        }
        if (t0 > tIn) {
            tIn = t0;
            axis = a;
            sign = s;
        }
        tOut = std::min(tOut, t1);
    }
    if (tIn > tOut || tIn <= 0 || tIn >= 1) {
        return {1.2, -1, 0};
    }
    return {tIn, axis, sign};
}

TEST(Box, VerticesAndSupport)
{
    phCollisionBox* box = phCollisionBox::Create(1, -2, 3, GetIdentityMatrix());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->GetTypeId(), phGetClassId(phClassIndex::CollisionBox));
    const phVec4 v5 = box->GetVertices()[5];
    EXPECT_EQ(v5.x, -0.5f);
    EXPECT_EQ(v5.y, 1.0f);
    EXPECT_EQ(v5.z, -1.5f);
    EXPECT_EQ(v5.w, 1.0f);

    const phVec4 down = box->SupportVertex({0, -1, 0, 0});
    EXPECT_EQ(down.x, 0.5f);
    EXPECT_EQ(down.y, -1.0f);
    EXPECT_EQ(down.z, 1.5f);
    EXPECT_EQ(down.w, 0.0f);

    std::mt19937 rng(7);
    for (int i = 0; i < 200; ++i) {
        const phVec4 d = RandomDir(rng);
        float best = -1e30f;
        for (int v = 0; v < 8; ++v) {
            best = std::max(best, phDot(box->GetVertices()[v], d));
        }
        EXPECT_EQ(phDot(box->SupportVertex(d), d), best);
    }
    box->Release();
}

TEST(Box, RayCastsMatchTheSlabMethod)
{
    phCollisionBox* box = phCollisionBox::Create(1, 1, 1, GetIdentityMatrix());
    ASSERT_NE(box, nullptr);
    box->SetUserId(77);
    phRayHit hit;
    EXPECT_FLOAT_EQ(box->RayCast({-10, 0, 0, 1}, {10, 0, 0, 1}, &hit, nullptr, nullptr), 0.475f);
    EXPECT_EQ(hit.normal.x, -1.0f);
    EXPECT_EQ(hit.normal.y, 0.0f);
    EXPECT_EQ(hit.normal.w, 1.0f);
    EXPECT_EQ(hit.userId, 77);
    EXPECT_EQ(box->RayCast({0.1f, 0, 0, 1}, {10, 0, 0, 1}, &hit, nullptr, nullptr), kRayMiss);
    auto refuse = [](void*, const phCollision*) -> std::uint32_t { return 0; };
    EXPECT_EQ(box->RayCast({-10, 0, 0, 1}, {10, 0, 0, 1}, &hit, refuse, nullptr), kRayMiss);
    box->Release();

    box = phCollisionBox::Create(2, 1, 3, GetIdentityMatrix());
    const double h[3] = {1, 0.5, 1.5};
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(-4, 4);
    int hits = 0;
    for (int i = 0; i < 2000; ++i) {
        const phVec4 p0 = {u(rng), u(rng), u(rng), 1}, p1 = {u(rng), u(rng), u(rng), 1};
        const double a[3] = {p0.x, p0.y, p0.z}, b[3] = {p1.x, p1.y, p1.z};
        const Slab s = SlabCast(a, b, h);
        const float t = box->RayCast(p0, p1, &hit, nullptr, nullptr);
        if (s.t == 1.2) {
            EXPECT_EQ(t, kRayMiss) << i;
            continue;
        }
        ++hits;
        EXPECT_NEAR(t, s.t, 1e-5) << i;
        EXPECT_EQ(hit.normal[s.axis], float(s.sign)) << i;
    }
    EXPECT_GT(hits, 200);
    box->Release();
}

TEST(Box, BoundsUnderARotation)
{
    phCollisionBox* box = phCollisionBox::Create(2, 4, 6, GetIdentityMatrix());
    const phMat4 m = MatrixFromQuaternion(phQuatFromAxisAngle({0.6f, 0, 0.8f, 0}, 0.7f), {1, 2, 3, 1});
    phVec4 mn, mx;
    box->CalcAABB(m, mn, mx);
    for (int a = 0; a < 3; ++a) {
        float lo = 1e30f, hi = -1e30f;
        for (int v = 0; v < 8; ++v) {
            const float c = phTransformPoint(m, box->GetVertices()[v])[a];
            lo = std::min(lo, c);
            hi = std::max(hi, c);
        }
        EXPECT_NEAR(mn[a], lo, 1e-5f);
        EXPECT_NEAR(mx[a], hi, 1e-5f);
    }
    EXPECT_EQ(mn.w, 1.0f);
    box->Release();
}

void ExpectSectionOnBox(const phCollisionBox* box, const phVec4& n, const phVec4& point, const phVec4* pts, int count)
{
    const phVec4 h = box->GetHalfExtents();
    for (int i = 0; i < count; ++i) {
        EXPECT_NEAR(phDot(n, pts[i] - point), 0.0f, 1e-5f);
        // On the surface: one coordinate at its half extent, none beyond.
        float slack = 1e30f;
        for (int a = 0; a < 3; ++a) {
            EXPECT_LE(std::fabs(pts[i][a]), h[a] + 1e-5f);
            slack = std::min(slack, h[a] - std::fabs(pts[i][a]));
        }
        EXPECT_NEAR(slack, 0.0f, 1e-5f);
    }
}

TEST(Box, PlaneSections)
{
    phCollisionBox* box = phCollisionBox::Create(2, 2, 2, GetIdentityMatrix());
    phVec4 pts[phConvexCollision::kMaxPlaneContacts];
    struct Case {
        phVec4 normal, point;
        int count;
    };
    const float s = 1.0f / std::sqrt(3.0f);
    const Case cases[] = {
        {{0, 1, 0, 0}, {0, 0, 0, 1}, 4},           // through the centre, parallel to a face
        {{0, 1, 0, 0}, {0, 2, 0, 1}, 0},           // touching nothing
        {{s, s, s, 0}, {0, 0, 0, 1}, 6},           // the hexagon
        {{s, s, s, 0}, {0.9f, 0.9f, 0.9f, 1}, 3},  // near a corner
        {{0, 0.6f, 0.8f, 0}, {0, 0, 0, 1}, 4},
    };
    for (const Case& c : cases) {
        const int n = box->CalcPlaneContacts(c.normal, c.point, pts);
        EXPECT_EQ(n, c.count);
        ExpectSectionOnBox(box, c.normal, c.point, pts, n);
        // Consecutive points share a face.
        for (int i = 0; i < n; ++i) {
            const phVec4& a = pts[i];
            const phVec4& b = pts[(i + 1) % n];
            bool shared = false;
            for (int ax = 0; ax < 3; ++ax) {
                shared = shared || (std::fabs(std::fabs(a[ax]) - 1) < 1e-5f && std::fabs(b[ax] - a[ax]) < 1e-5f);
            }
            EXPECT_TRUE(shared) << i;
        }
    }
    box->Release();
}

TEST(Sphere, GridStepFollowsTheRadius)
{
    struct Case {
        float radius;
        int n;
    };
    const Case cases[] = {{0.25f, 128}, {0.5f, 128}, {1.0f, 256}, {2.0f, 512}, {10.0f, 1024}, {1e30f, 1024}};
    for (const Case& c : cases) {
        phCollisionSphere* s = phCollisionSphere::Create(c.radius, GetIdentityMatrix());
        ASSERT_NE(s, nullptr);
        EXPECT_FLOAT_EQ(s->GetStep(), 6.28318f / c.n) << c.radius;
        s->Release();
    }
}

TEST(Sphere, SupportIsTheBestGridPoint)
{
    for (float r : {0.25f, 2.0f}) {
        phCollisionSphere* s = phCollisionSphere::Create(r, GetIdentityMatrix());
        const phVec4 px = s->SupportVertex({1, 0, 0, 0});
        EXPECT_EQ(px.x, r);
        EXPECT_EQ(px.y, 0.0f);
        EXPECT_EQ(px.z, 0.0f);
        EXPECT_EQ(px.w, 0.0f);
        EXPECT_EQ(s->SupportVertex({-1, 0, 0, 0}).x, -r);

        // Brute force over the latitude/longitude grid, in double.
        const double step = s->GetStep();
        const int n = static_cast<int>(std::lround(2 * M_PI / step));
        std::mt19937 rng(3);
        for (int i = 0; i < 100; ++i) {
            const phVec4 d = RandomDir(rng);
            double best = -1e30;
            for (int bi = -n / 4 - 1; bi <= n / 4 + 1; ++bi) {
                for (int ai = 0; ai < n; ++ai) {
                    const double b = bi * step, a = ai * step;
                    const double p[3] = {r * std::sin(b), r * std::cos(b) * std::sin(a), r * std::cos(b) * std::cos(a)};
                    best = std::max(best, p[0] * d.x + p[1] * d.y + p[2] * d.z);
                }
            }
            const phVec4 p = s->SupportVertex(d);
            EXPECT_NEAR(std::sqrt(phLengthSq(p)), r, 1e-5f * r);
            EXPECT_NEAR(phDot(p, d), best, 1e-5 * r) << "dir " << d.x << " " << d.y << " " << d.z;
        }
        s->Release();
    }
}

TEST(Sphere, RayCastsMatchTheQuadratic)
{
    const float r = 1.5f;
    phCollisionSphere* s = phCollisionSphere::Create(r, GetIdentityMatrix());
    s->SetUserId(5);
    std::mt19937 rng(21);
    std::uniform_real_distribution<float> u(-4, 4);
    int hits = 0;
    for (int i = 0; i < 2000; ++i) {
        const phVec4 p0 = {u(rng), u(rng), u(rng), 1}, p1 = {u(rng), u(rng), u(rng), 1};
        const double d[3] = {double(p1.x) - p0.x, double(p1.y) - p0.y, double(p1.z) - p0.z};
        const double a = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
        const double b = 2 * (p0.x * d[0] + p0.y * d[1] + p0.z * d[2]);
        const double c = double(p0.x) * p0.x + double(p0.y) * p0.y + double(p0.z) * p0.z - double(r) * r;
        const double disc = b * b - 4 * a * c;
        phRayHit hit;
        hit.userId = -1;
        const float t = s->RayCast(p0, p1, &hit, nullptr, nullptr);
        const double expect = disc < 0 ? -1 : (-b - std::sqrt(disc)) / (2 * a);
        if (disc < 0 || expect < 0) {
            EXPECT_EQ(t, kRayMiss) << i;
            continue;
        }
        EXPECT_NEAR(t, expect, 1e-4 * std::max(1.0, expect)) << i;
        if (expect < 1) {
            ++hits;
            const phVec4 at = p0 + (p1 - p0) * t;
            EXPECT_NEAR(hit.normal.x, at.x / r, 1e-4f);
            EXPECT_NEAR(hit.normal.z, at.z / r, 1e-4f);
            EXPECT_EQ(hit.normal.w, 1.0f);
            EXPECT_EQ(hit.userId, 5);
        } else {
            EXPECT_EQ(hit.userId, -1);  // beyond the segment: no record
        }
    }
    EXPECT_GT(hits, 100);
    EXPECT_EQ(s->RayCast({1, 1, 1, 1}, {1, 1, 1, 1}, nullptr, nullptr, nullptr), kRayMiss);
    s->Release();
}

TEST(Sphere, BoundsPlaneContactAndDisplayFaces)
{
    phMat4 offset = GetIdentityMatrix();
    offset[3] = {0, 1, 0, 1};
    phCollisionSphere* s = phCollisionSphere::Create(2, offset);
    phMat4 m = MatrixFromQuaternion(phQuatFromAxisAngle({0, 0, 1, 0}, 0.5f), {5, 6, 7, 1});
    phVec4 mn, mx;
    s->CalcAABB(m, mn, mx);
    EXPECT_EQ(mn.x, 3.0f);
    EXPECT_EQ(mx.z, 9.0f);

    phVec4 out[phConvexCollision::kMaxPlaneContacts];
    ASSERT_EQ(s->CalcPlaneContacts({0, 1, 0, 0}, {4, 3, 4, 1}, out), 1);
    EXPECT_EQ(out[0].x, 0.0f);
    EXPECT_EQ(out[0].y, 3.0f);

    // 512 triangles on the sphere of radius 2 around the offset placed by m.
    struct Ctx {
        phFaceContext base;
        int faces;
        phVec4 centre;
        float worst;
    } ctx{{m}, 0, phTransformPoint(m, offset[3]), 0};
    const int walked = s->ForEachFace(&ctx.base, [](phFaceContext* c, int count, const float* p, int id) {
        auto* x = reinterpret_cast<Ctx*>(c);
        EXPECT_EQ(count, 3);
        EXPECT_EQ(id, 0);
        ++x->faces;
        for (int k = 0; k < 3; ++k) {
            const phVec4 v = {p[k * 3], p[k * 3 + 1], p[k * 3 + 2], 1};
            x->worst = std::max(x->worst, std::fabs(std::sqrt(phLengthSq(v - x->centre)) - 2.0f));
        }
    });
    EXPECT_EQ(walked, 1536);
    EXPECT_EQ(ctx.faces, 512);
    EXPECT_LT(ctx.worst, 1e-5f);
    s->Release();
}

TEST(PointShape, NoVolumeNoInertiaSupportAtTheOrigin)
{
    phCollisionPointShape* p = phCollisionPointShape::Create();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->GetStoredSignature(), 0x12344321u);
    EXPECT_EQ(p->GetTypeId(), phGetClassId(phClassIndex::CollisionSphere));
    EXPECT_EQ(p->GetVolume(), 0.0f);
    phVec4 inertia = {1, 1, 1, 1}, centre = {1, 1, 1, 1};
    p->CalcInertia(inertia, centre);
    EXPECT_EQ(inertia.x, 0.0f);
    EXPECT_EQ(centre.y, 0.0f);
    const phVec4 s = p->SupportVertex({0.3f, 0.4f, 0.5f, 0});
    EXPECT_EQ(phLengthSq(s), 0.0f);
    EXPECT_FLOAT_EQ(p->GetRadius(), 1.0f);
    const int live = phCollisionSphere::LiveCount();
    p->Release();
    EXPECT_EQ(phCollisionSphere::LiveCount(), live - 1);
}

}  // namespace
