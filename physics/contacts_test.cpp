#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <algorithm>
#include <array>
#include <random>
#include <vector>

#include "physics/collision_box.h"
#include "physics/collision_sphere.h"
#include "physics/contact_reduction.h"
#include "physics/contacts.h"
#include "physics/maths.h"
#include "physics/minkowski_solver.h"
#include "physics/rigid_body.h"
#include "physics/test_soup.h"

namespace {

phMat4 Place(const phQuat& q, float x, float y, float z) { return MatrixFromQuaternion(q, {x, y, z, 1}); }
phMat4 At(float x, float y, float z) { return Place(phQuat{}, x, y, z); }

// A body of its own, outside any world, holding the shape.
struct Body {
    explicit Body(phCollision* shape, const phMat4& m = At(0, 0, 0), bool dynamic = true) : body(nullptr, shape)
    {
        shape->Release();
        if (dynamic) {
            body.SetMass(1, 1, 1, 1);
        }
        body.SetMatrix(m);
    }
    phRigidBody* operator->() { return &body; }
    phRigidBody* get() { return &body; }
    phRigidBody body;
};

phCollision* Box(float sx, float sy, float sz) { return phCollisionBox::Create(sx, sy, sz, GetIdentityMatrix()); }
phCollision* Ball(float r) { return phCollisionSphere::Create(r, GetIdentityMatrix()); }

void ExpectVec(const phVec4& v, double x, double y, double z, double tol = 1e-4)
{
    EXPECT_NEAR(v.x, x, tol);
    EXPECT_NEAR(v.y, y, tol);
    EXPECT_NEAR(v.z, z, tol);
}

double Depth(double overlap) { return std::max(overlap - 1.0 / 128.0, 0.0); }

}  // namespace

TEST(Contacts, SphereSphere)
{
    struct Case {
        float distance;
        int count;
        double depth;
    } cases[] = {{1.995f, 1, 0.0}, {1.997f, 0, 0.0}, {1.5f, 1, 0.5 - 1.0 / 128.0}, {2.5f, 0, 0.0}};
    for (const Case& c : cases) {
        Body a(Ball(1)), b(Ball(1), At(c.distance, 0, 0));
        phContactRecord r[4];
        float time = 1.0f / 60.0f;
        ASSERT_EQ(CalculateConvexContacts(time, a.get(), b.get(), r, 4), c.count) << c.distance;
        if (c.count == 0) {
            EXPECT_FLOAT_EQ(time, 1.0f / 60.0f);
            continue;
        }
        EXPECT_FLOAT_EQ(time, 0.0f);
        EXPECT_NEAR(r[0].penetration, c.depth, 1e-5);
        ExpectVec(r[0].normal, -1, 0, 0);
        ExpectVec(r[0].point, 1.0 - c.depth / 2, 0, 0);
        EXPECT_EQ(r[0].body0, a.get());
        EXPECT_EQ(r[0].collision1, b->collision);
    }
    // Coincident centres: straight up, depth 0.01.
    Body a(Ball(0.5f), At(1, 2, 3)), b(Ball(1), At(1, 2, 3));
    phContactRecord r[1];
    ASSERT_EQ(ContactsSphereSphere(a.get(), b.get(), r), 1);
    ExpectVec(r[0].normal, 0, 1, 0);
    ExpectVec(r[0].point, 1, 2.5, 3);
    EXPECT_FLOAT_EQ(r[0].penetration, 0.01f);
}

TEST(Contacts, BoxSphereRegions)
{
    // Unit half-extent box turned about y and moved; the sphere placed in the
    // box's frame. Normal from the sphere towards the box; the point halfway
    // into the overlap.
    const phQuat turn = phQuatFromAxisAngle({0, 1, 0, 0}, 0.4f);
    const phMat4 boxMatrix = Place(turn, 3, -1, 2);
    struct Case {
        phVec4 centre;  // in the box's frame
        bool contact;
    } cases[] = {
        {{1.4f, 0, 0, 1}, true},        // face
        {{0, -1.3f, 0.2f, 1}, true},    // face below
        {{1.2f, 1.2f, 0, 1}, true},     // edge
        {{1.2f, 1.2f, 1.2f, 1}, true},  // vertex
        {{1.6f, 0, 0, 1}, false},
        {{1.3f, 1.3f, 1.3f, 1}, false},
    };
    const float r = 0.5f;
    for (const Case& c : cases) {
        const phVec4 world = phTransformPoint(boxMatrix, c.centre);
        Body box(Box(2, 2, 2), boxMatrix), ball(Ball(r), At(world.x, world.y, world.z));
        phContactRecord rec[4];
        const int n = ContactsBoxSphere(box.get(), ball.get(), rec, 4);
        ASSERT_EQ(n, c.contact ? 1 : 0);
        if (!c.contact) {
            continue;
        }
        // Independent: nearest box point by clamping, in double.
        double q[3], d[3], len = 0;
        for (int a = 0; a < 3; ++a) {
            q[a] = std::clamp(static_cast<double>(c.centre[a]), -1.0, 1.0);
            d[a] = q[a] - c.centre[a];
            len += d[a] * d[a];
        }
        len = std::sqrt(len);
        const double s = len - r;
        phVec4 nLocal = {static_cast<float>(d[0] / len), static_cast<float>(d[1] / len), static_cast<float>(d[2] / len), 0};
        const phVec4 nw = phRotate(boxMatrix, nLocal);
        const phVec4 p = phTransformPoint(boxMatrix, c.centre + nLocal * static_cast<float>(r + s / 2));
        ExpectVec(rec[0].normal, nw.x, nw.y, nw.z);
        ExpectVec(rec[0].point, p.x, p.y, p.z);
        EXPECT_NEAR(rec[0].penetration, Depth(-s), 1e-5);

        // Sphere first: the same contact with the normal turned round.
        phContactRecord flipped[4];
        float time = 0.1f;
        ASSERT_EQ(CalculateConvexContacts(time, ball.get(), box.get(), flipped, 4), 1);
        ExpectVec(flipped[0].normal, -nw.x, -nw.y, -nw.z);
        ExpectVec(flipped[0].point, p.x, p.y, p.z);
    }

    // A centre inside the box takes the general path and still finds a contact.
    Body box(Box(2, 2, 2)), ball(Ball(0.5f), At(0.8f, 0.1f, 0));
    phContactRecord rec[16];
    const int n = ContactsBoxSphere(box.get(), ball.get(), rec, 16);
    ASSERT_GE(n, 1);
    ExpectVec(rec[0].normal, -1, 0, 0, 0.02);
    EXPECT_NEAR(rec[0].penetration, Depth(0.7), 0.01);
}

namespace {

struct Sat {
    double overlap;
    double second;
    double normal[3];
};

// Separating-axis test of two boxes in double: the 15 axes; the smallest
// overlap, the next smallest of another direction, and the normal from B to A.
Sat BoxBoxSat(const phMat4& ma, const phVec4& ha, const phMat4& mb, const phVec4& hb)
{
    double ra[3][3], rb[3][3], d[3];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            ra[i][j] = ma[i][j];
            rb[i][j] = mb[i][j];
        }
        d[i] = static_cast<double>(mb[3][i]) - ma[3][i];
    }
    std::vector<std::array<double, 3>> axes;
    for (int i = 0; i < 3; ++i) {
        axes.push_back({ra[i][0], ra[i][1], ra[i][2]});
        axes.push_back({rb[i][0], rb[i][1], rb[i][2]});
        for (int j = 0; j < 3; ++j) {
            std::array<double, 3> c = {ra[i][1] * rb[j][2] - ra[i][2] * rb[j][1], ra[i][2] * rb[j][0] - ra[i][0] * rb[j][2],
                                       ra[i][0] * rb[j][1] - ra[i][1] * rb[j][0]};
            const double len = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
            if (len > 1e-6) {
                axes.push_back({c[0] / len, c[1] / len, c[2] / len});
            }
        }
    }
    Sat best = {1e30, 1e30, {0, 0, 0}};
    auto dot = [](const double* a, const std::array<double, 3>& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
    for (const auto& l : axes) {
        double ea = 0, eb = 0;
        for (int k = 0; k < 3; ++k) {
            ea += ha[k] * std::fabs(dot(ra[k], l));
            eb += hb[k] * std::fabs(dot(rb[k], l));
        }
        const double dist = dot(d, l);
        const double overlap = ea + eb - std::fabs(dist);
        const double sign = dist > 0 ? -1.0 : 1.0;
        const double parallel = std::fabs(l[0] * best.normal[0] + l[1] * best.normal[1] + l[2] * best.normal[2]);
        if (overlap < best.overlap) {
            if (parallel < 0.999) {
                best.second = best.overlap;
            }
            best.overlap = overlap;
            for (int k = 0; k < 3; ++k) {
                best.normal[k] = sign * l[k];
            }
        } else if (overlap < best.second && parallel < 0.999) {
            best.second = overlap;
        }
    }
    return best;
}

phQuat RandomRotation(std::mt19937& rng)
{
    std::normal_distribution<float> n(0, 1);
    phQuat q = {n(rng), n(rng), n(rng), n(rng)};
    return phQuatNormalise(q);
}

}  // namespace

TEST(Contacts, BoxBoxAgainstSeparatingAxes)
{
    std::mt19937 rng(2024);
    std::uniform_real_distribution<float> size(0.6f, 2.5f), pos(-1.6f, 1.6f);
    int checked = 0;
    for (int attempt = 0; attempt < 20000 && checked < 150; ++attempt) {
        const phVec4 ha = {size(rng) / 2, size(rng) / 2, size(rng) / 2, 1};
        const phVec4 hb = {size(rng) / 2, size(rng) / 2, size(rng) / 2, 1};
        const phMat4 ma = Place(RandomRotation(rng), 0, 0, 0);
        const phMat4 mb = Place(RandomRotation(rng), pos(rng), pos(rng), pos(rng));
        const Sat sat = BoxBoxSat(ma, ha, mb, hb);
        if (sat.overlap < 0.02 || sat.overlap > 0.4 || sat.second - sat.overlap < 0.05) {
            continue;
        }
        ++checked;
        Body a(Box(ha.x * 2, ha.y * 2, ha.z * 2), ma), b(Box(hb.x * 2, hb.y * 2, hb.z * 2), mb);
        phContactRecord rec[128];
        float time = 1.0f / 60.0f;
        const int n = CalculateConvexContacts(time, a.get(), b.get(), rec, 128);
        ASSERT_GE(n, 1) << attempt;
        ASSERT_LE(n, 16);
        for (int i = 0; i < n; ++i) {
            const double c = rec[i].normal.x * sat.normal[0] + rec[i].normal.y * sat.normal[1] + rec[i].normal.z * sat.normal[2];
            EXPECT_GT(c, 0.999) << attempt;
            EXPECT_NEAR(rec[i].penetration, Depth(sat.overlap), 1.0 / 2048.0 + 1e-4) << attempt;
        }
    }
    EXPECT_EQ(checked, 150);
}

TEST(Contacts, FaceToFaceBoxesGiveTheOverlapCorners)
{
    // A 2×1×2 box resting 0.05 deep in a 4×1×4 box, off centre: the four
    // corners of its footprint on the mid-plane.
    Body top(Box(2, 1, 2), At(0.5f, 0.95f, 0.25f)), base(Box(4, 1, 4), At(0, 0, 0), false);
    phContactRecord rec[128];
    float time = 1.0f / 60.0f;
    const int n = CalculateConvexContacts(time, top.get(), base.get(), rec, 128);
    ASSERT_EQ(n, 4);
    bool seen[4] = {};
    for (int i = 0; i < n; ++i) {
        ExpectVec(rec[i].normal, 0, 1, 0, 1e-4);
        EXPECT_NEAR(rec[i].penetration, Depth(0.05), 1.0 / 2048.0);
        EXPECT_NEAR(rec[i].point.y, 0.475, 1e-3);
        const int corner = (rec[i].point.x > 0.5f ? 1 : 0) + (rec[i].point.z > 0.25f ? 2 : 0);
        seen[corner] = true;
        EXPECT_NEAR(std::fabs(rec[i].point.x - 0.5f), 1.0, 1e-3);
        EXPECT_NEAR(std::fabs(rec[i].point.z - 0.25f), 1.0, 1e-3);
    }
    EXPECT_TRUE(seen[0] && seen[1] && seen[2] && seen[3]);

    // The same run gives the same bits.
    phContactRecord again[128];
    time = 1.0f / 60.0f;
    ASSERT_EQ(CalculateConvexContacts(time, top.get(), base.get(), again, 128), n);
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(std::memcmp(&rec[i].point, &again[i].point, sizeof(phVec4)), 0);
    }
}

TEST(Contacts, ClipFacePolygonsMergesCloseCornersAndKeepsCapacity)
{
    const phVec4 up = {0, 1, 0, 0};
    const phVec4 square[4] = {{0, 0, 0, 1}, {0, 0, 1, 1}, {1, 0, 1, 1}, {1, 0, 0, 1}};
    // A second square shifted by 0.5: the overlap is a quarter square.
    const phVec4 shifted[4] = {{0.5f, 0, 0.5f, 1}, {0.5f, 0, 1.5f, 1}, {1.5f, 0, 1.5f, 1}, {1.5f, 0, 0.5f, 1}};
    phContactRecord out[8];
    ASSERT_EQ(ClipFacePolygons(up, -3, 0.25f, square, 4, shifted, 4, out, 8), 4);
    for (const auto& r : out) {
        if (&r - out >= 4) {
            break;
        }
        EXPECT_GE(r.point.x, 0.5f - 1e-5f);
        EXPECT_LE(r.point.x, 1.0f + 1e-5f);
        EXPECT_EQ(r.userId, 0xFFFFFFFDll);  // low 32 bits only
        EXPECT_FLOAT_EQ(r.penetration, 0.25f);
    }
    EXPECT_EQ(ClipFacePolygons(up, 0, 0, square, 4, shifted, 4, out, 2), 2);
    // A sliver thinner than √0.002 leaves two points, not four.
    const phVec4 sliver[4] = {{0.98f, 0, 0, 1}, {0.98f, 0, 1, 1}, {1.5f, 0, 1, 1}, {1.5f, 0, 0, 1}};
    EXPECT_EQ(ClipFacePolygons(up, 0, 0, square, 4, sliver, 4, out, 8), 2);
    // A segment is cut to the polygon; one wholly outside leaves nothing.
    const phVec4 segment[2] = {{-1, 0, 0.5f, 1}, {0.5f, 0, 0.5f, 1}};
    ASSERT_EQ(ClipFacePolygons(up, 0, 0, segment, 2, square, 4, out, 8), 2);
    EXPECT_NEAR(std::min(out[0].point.x, out[1].point.x), 0.0f, 1e-5f);
    const phVec4 outside[2] = {{-2, 0, 0.5f, 1}, {-1, 0, 0.5f, 1}};
    EXPECT_EQ(ClipFacePolygons(up, 0, 0, outside, 2, square, 4, out, 8), 0);
    EXPECT_EQ(ClipFacePolygons(up, 0, 0, segment, 2, outside, 2, out, 8), 0);
}

TEST(Contacts, PolygonFacesWithSphereAndBox)
{
    // A floor of two faces meeting at x = 0, facing up.
    TestSoup* floor = TestSoup::Make({-5, 0, -5, -5, 0, 5, 0, 0, 5, 0, 0, -5, 5, 0, 5, 5, 0, -5},
                                     {{0, 1, 2, 3}, {3, 2, 4, 5}}, {7, -5});
    ASSERT_NE(floor, nullptr);
    Body ground(floor, At(0, 0, 0), false);

    Body ball(Ball(0.5f), At(-2.3f, 0.45f, 0.2f));
    phContactRecord rec[128];
    float time = 1.0f / 60.0f;
    int n = CalculatePolygonContacts(nullptr, time, ball.get(), ground.get(), rec, 128);
    ASSERT_EQ(n, 1);
    ExpectVec(rec[0].normal, 0, 1, 0);
    ExpectVec(rec[0].point, -2.3, -0.025, 0.2);
    EXPECT_NEAR(rec[0].penetration, Depth(0.05), 1e-5);
    EXPECT_EQ(rec[0].userId, 7);
    EXPECT_EQ(rec[0].body1, ground.get());
    EXPECT_FLOAT_EQ(time, 0.0f);

    // Over the shared edge both faces report the same point; the edge
    // contacts go and one face contact is left per face.
    ball->SetMatrix(At(0, 0.45f, 0.2f));
    n = CalculatePolygonContacts(nullptr, time, ball.get(), ground.get(), rec, 128);
    ASSERT_GE(n, 1);
    for (int i = 0; i < n; ++i) {
        ExpectVec(rec[i].normal, 0, 1, 0);
    }

    // A box 0.05 deep in the second face: its four bottom corners, the
    // attribute in the low 32 bits.
    Body box(Box(1, 1, 1), At(2, 0.45f, 1));
    time = 1.0f / 60.0f;
    n = CalculatePolygonContacts(nullptr, time, box.get(), ground.get(), rec, 128);
    ASSERT_EQ(n, 4);
    for (int i = 0; i < n; ++i) {
        ExpectVec(rec[i].normal, 0, 1, 0);
        EXPECT_NEAR(rec[i].penetration, Depth(0.05), 1.0 / 2048.0);
        EXPECT_NEAR(std::fabs(rec[i].point.x - 2.0f), 0.5, 1e-3);
        EXPECT_NEAR(std::fabs(rec[i].point.z - 1.0f), 0.5, 1e-3);
        EXPECT_EQ(static_cast<std::int32_t>(rec[i].userId), -5);
    }

    // A box above the floor touches nothing; a face list that runs past its
    // index array is cut off, not read beyond.
    box->SetMatrix(At(2, 2, 1));
    EXPECT_EQ(CalculatePolygonContacts(nullptr, time, box.get(), ground.get(), rec, 128), 0);
    floor->corrupt = true;
    box->SetMatrix(At(2, 0.45f, 1));
    n = CalculatePolygonContacts(nullptr, time, box.get(), ground.get(), rec, 128);
    EXPECT_LE(n, 4);
    floor->corrupt = false;
}

TEST(Contacts, FaceFilterAndEdgePruning)
{
    const phVec4 up = {0, 1, 0, 0};
    struct Case {
        phVec4 normal;
        bool kept;
        std::uint8_t mark;
    } cases[] = {
        {{0, 1, 0, 0}, true, 0},
        {{0, 0.9995f, 0.0316f, 0}, true, 0},
        {{0, 0.5f, 0.866f, 0}, true, 1},
        {{0, 0.11f, 0.9939f, 0}, true, 1},  // about 84°
        {{0, 0.09f, 0.9959f, 0}, false, 0},
        {{0, -1, 0, 0}, false, 0},
    };
    for (const Case& c : cases) {
        phContactRecord r[1];
        r[0].normal = c.normal;
        std::uint8_t marks[1] = {9};
        const int n = FilterFaceContacts(up, 0, 1, r, marks);
        EXPECT_EQ(n, c.kept ? 1 : 0) << c.normal.y;
        if (c.kept) {
            EXPECT_EQ(marks[0], c.mark) << c.normal.y;
        }
    }
    // Edge contacts within 0.2 of a face contact go; farther ones stay.
    phContactRecord r[4];
    std::uint8_t marks[4] = {1, 0, 1, 1};
    r[0].point = {0.1f, 0, 0, 1};
    r[1].point = {0, 0, 0, 1};
    r[2].point = {0.3f, 0, 0, 1};
    r[3].point = {0, 0.15f, 0, 1};
    const int n = PruneEdgeContacts(4, r, marks);
    ASSERT_EQ(n, 2);
    EXPECT_FLOAT_EQ(r[0].point.x, 0.0f);
    EXPECT_FLOAT_EQ(r[1].point.x, 0.3f);
    // All marked: nothing changes.
    std::uint8_t all[2] = {1, 1};
    EXPECT_EQ(PruneEdgeContacts(2, r, all), 2);
}

TEST(Contacts, ThinningKeepsOrderAndCount)
{
    phContactRecord r[40];
    for (int i = 0; i < 40; ++i) {
        r[i].point = {static_cast<float>(i % 10) * 0.004f, 0, static_cast<float>(i / 10), 1};
        r[i].userId = i;
    }
    const int n = phThinContacts(r, 40, 8, 0.01f);
    EXPECT_LE(n, 8);
    EXPECT_GE(n, 4);
    for (int i = 1; i < n; ++i) {
        EXPECT_LT(r[i - 1].userId, r[i].userId);
    }
    EXPECT_EQ(phThinContacts(r, 3, 8, 0.01f), 3);
}

namespace {

struct Sweep {
    bool stopped = false;
    float x = 0;
    float before = 0;
    phContactRecord contact;
};

// Moves a sphere along x one step at a time; a contact stops it at the
// time of impact (the solver's part, in miniature).
Sweep RunTowardsWall(bool continuous)
{
    TestSoup* wall = MakeWall(4.5f, 2.0f, 3);
    Body ground(wall, At(0, 0, 0), false);
    Body ball(Ball(0.25f));
    ball->SetContinuous(continuous);
    const float dt = 1.0f / 60.0f;
    ball->velocity = {60, 0, 0, 0};
    Sweep s;
    for (int step = 0; step < 10 && !s.stopped; ++step) {
        s.before = s.x;
        float time = dt;
        phContactRecord rec[128];
        const int n = CalculatePolygonContacts(nullptr, time, ball.get(), ground.get(), rec, 128);
        const float advance = n > 0 ? time : dt;
        s.x += 60.0f * advance;
        if (n > 0) {
            s.stopped = true;
            s.contact = rec[0];
        }
        ball->SetMatrix(At(s.x, 0, 0));
    }
    return s;
}

}  // namespace

TEST(Contacts, FastSphereAndThinWall)
{
    const Sweep on = RunTowardsWall(true);
    EXPECT_TRUE(on.stopped);
    EXPECT_NEAR(on.x + 0.25f, 4.5f, 0.01f);
    ExpectVec(on.contact.normal, -1, 0, 0, 1e-3);
    // The point lies halfway between the sphere and the wall at the start of the step.
    EXPECT_NEAR(on.contact.point.x, (on.before + 0.25f + 4.5f) / 2, 0.01f);
    EXPECT_EQ(on.contact.userId, 3);

    const Sweep off = RunTowardsWall(false);
    EXPECT_FALSE(off.stopped);
    EXPECT_GT(off.x - 0.25f, 4.5f);
}

TEST(Contacts, ContinuousPolygonRules)
{
    // Two walls met at 0.2 and 0.4 of the step: 0.2 in either order.
    for (int order = 0; order < 2; ++order) {
        const float first = order == 0 ? 4.25f : 2.25f;
        const float second = order == 0 ? 2.25f : 4.25f;
        TestSoup* walls = TestSoup::Make({first, -2, -2, first, -2, 2, first, 2, 2, first, 2, -2,
                                          second, -2, -2, second, -2, 2, second, 2, 2, second, 2, -2},
                                         {{0, 1, 2, 3}, {4, 5, 6, 7}});
        Body ground(walls, At(0, 0, 0), false);
        Body ball(Ball(0.25f));
        ball->SetContinuous(true);
        ball->velocity = {10, 0, 0, 0};
        ball->omega = {0, 2, 0, 0};
        float time = 2.5f;  // treated as 1
        phContactRecord rec[128];
        const int n = CalculatePolygonContacts(nullptr, time, ball.get(), ground.get(), rec, 128);
        EXPECT_GE(n, 1) << order;
        EXPECT_NEAR(time, 0.2f, 2e-3f) << order;
        EXPECT_FLOAT_EQ(ball->omega.y, 1.8f);
        EXPECT_EQ(ball->flags & phRigidBody::kFlagEquilibrium, 0u);
    }

    TestSoup* wall = MakeWall(4.5f, 2.0f);
    Body ground(wall, At(0, 0, 0), false);
    struct Case {
        phVec4 velocity;
        float time;
        phVec4 at;
        float expectTime;
    } cases[] = {
        {{0.5f, 0.5f, 0, 0}, 0.5f, {0, 0, 0, 1}, 0.0f},  // |v|² = 0.5: discrete
        {{1, 0, 0, 0}, 0.1f, {0, 0, 0, 1}, 0.0f},        // travel within a quarter of the extent
        {{60, 0, 0, 0}, 2.5f, {0, 50, 0, 1}, 1.0f},      // sweep, no face in reach
    };
    for (const Case& c : cases) {
        Body ball(Ball(0.25f), At(c.at.x, c.at.y, c.at.z));
        ball->SetContinuous(true);
        ball->velocity = c.velocity;
        float time = c.time;
        phContactRecord rec[128];
        EXPECT_EQ(CalculatePolygonContacts(nullptr, time, ball.get(), ground.get(), rec, 128), 0);
        EXPECT_FLOAT_EQ(time, c.expectTime);
    }
}

TEST(Contacts, ContinuousConvexPair)
{
    // A small box at 60 per second towards a wall box 0.2 thick: met within
    // the step from x = 3 with the flag, jumped over without it.
    for (bool continuous : {true, false}) {
        Body mover(Box(0.5f, 0.5f, 0.5f)), wall(Box(0.2f, 4, 4), At(3.5f, 0, 0), false);
        mover->SetContinuous(continuous);
        mover->velocity = {60, 0, 0, 0};
        const float dt = 1.0f / 60.0f;
        int hits = 0;
        float impact = -1;
        phVec4 normal = {};
        for (int step = 0; step < 8; ++step) {
            mover->SetMatrix(At(static_cast<float>(step), 0, 0));
            float time = dt;
            phContactRecord rec[128];
            const int n = CalculateConvexContacts(time, mover.get(), wall.get(), rec, 128);
            if (n > 0 && hits++ == 0) {
                impact = static_cast<float>(step) + 60.0f * time;
                normal = rec[0].normal;
            }
        }
        if (continuous) {
            EXPECT_GE(hits, 1);
            EXPECT_NEAR(impact + 0.25f, 3.4f, 0.01f);
            ExpectVec(normal, -1, 0, 0, 1e-3);
        } else {
            EXPECT_EQ(hits, 0);
        }
    }
}

// The query box lives in the polygon body's space, so the sweep widens it by
// the travel turned into that space: a wall turned a quarter about y lies at
// z = -4.25 in the world and is met by a ball moving along -z at 0.4 of the
// step. Taken unturned, the travel would widen the box along the wall's own
// z and miss it.
TEST(Contacts, ContinuousSweepFollowsATurnedPolygonBody)
{
    TestSoup* wall = TestSoup::Make({4.25f, -2, -2, 4.25f, -2, 2, 4.25f, 2, 2, 4.25f, 2, -2}, {{0, 1, 2, 3}});
    const phQuat quarter = phQuatFromAxisAngle({0, 1, 0, 0}, 1.5707963f);
    Body ground(wall, Place(quarter, 0, 0, 0), false);
    ASSERT_NEAR(ground->collisionMatrix[0].z, -1.0f, 1e-6f);
    Body ball(Ball(0.25f));
    ball->SetContinuous(true);
    ball->velocity = {0, 0, -10, 0};
    float time = 1.0f;
    phContactRecord rec[128];
    const int n = CalculatePolygonContacts(nullptr, time, ball.get(), ground.get(), rec, 128);
    EXPECT_GE(n, 1);
    EXPECT_NEAR(time, 0.4f, 2e-3f);
}

// A unit box resting flat on a box, off the origin: the contacts are its
// four footprint corners with the base's own normal, however rounding or a
// wide base leans the polytope's normal and however shallow the overlap (a
// cut at the mid-plane alone meets a face leaning by a rounding only at its
// deepest corner).
TEST(Contacts, BoxRestingFlatGivesItsFourCorners)
{
    struct Case {
        float base;   // side of the base, centred at the origin, top at 0.5
        float x, z;   // where the unit box stands
        float tilt;   // about z, radians
        float depth;  // overlap at the box's centre
    };
    const Case cases[] = {
        {60, 0.37f, 0, 0, 0.0003f}, {60, 3, 0, 0, 0.002f},        {60, -7.25f, 1.3f, 0, 0.004f},
        {20, 0.37f, 0, 0, 0.0003f}, {4, 0.37f, 0, 5e-4f, 0.001f}, {4, 0.37f, 0.2f, -5e-4f, 0.0003f},
    };
    for (const Case& c : cases) {
        const phQuat q = phQuatFromAxisAngle({0, 0, 1, 0}, c.tilt);
        Body top(Box(1, 1, 1), Place(q, c.x, 1.0f - c.depth, c.z)), base(Box(c.base, 1, c.base), At(0, 0, 0), false);
        phContactRecord rec[128];
        float time = 1.0f / 60.0f;
        const int n = CalculateConvexContacts(time, top.get(), base.get(), rec, 128);
        EXPECT_EQ(n, 4) << c.base << " " << c.x << " " << c.tilt;
        bool seen[4] = {};
        for (int i = 0; i < n; ++i) {
            EXPECT_NEAR(rec[i].normal.y, 1.0, 1e-6) << c.base << " " << c.x << " " << c.depth;
            EXPECT_NEAR(rec[i].normal.x, 0.0, c.tilt == 0 ? 1e-6 : 1e-3) << c.base << " " << c.x << " " << c.depth;
            EXPECT_NEAR(rec[i].normal.z, 0.0, 1e-6) << c.base << " " << c.x << " " << c.depth;
            const float dx = rec[i].point.x - c.x;
            const float dz = rec[i].point.z - c.z;
            EXPECT_NEAR(std::fabs(dx), 0.5, 2e-3) << c.base << " " << c.x << " " << c.tilt;
            EXPECT_NEAR(std::fabs(dz), 0.5, 2e-3) << c.base << " " << c.x << " " << c.tilt;
            seen[(dx > 0 ? 1 : 0) + (dz > 0 ? 2 : 0)] = true;
        }
        EXPECT_TRUE(seen[0] && seen[1] && seen[2] && seen[3]) << c.base << " " << c.x << " " << c.tilt;
    }
}

// Two squares that share their edges up to a rounding: the overlap is the
// square's four corners, not a point somewhere along an edge where a
// crossing between two points a rounding apart happens to land.
TEST(Contacts, ClipFacePolygonsKeepsSharedEdgesWhole)
{
    const phVec4 up = {0, 1, 0, 0};
    const phVec4 square[4] = {{0, 0, 0, 1}, {0, 0, 1, 1}, {1, 0, 1, 1}, {1, 0, 0, 1}};
    const phVec4 rounded[4] = {{0, 0, -1e-6f, 1}, {-2e-6f, 0, 1, 1}, {1, 0, 1 + 1e-6f, 1}, {1 + 2e-7f, 0, 2e-6f, 1}};
    for (const bool swap : {false, true}) {
        phContactRecord out[8];
        const int n = swap ? ClipFacePolygons(up, 0, 0, rounded, 4, square, 4, out, 8)
                           : ClipFacePolygons(up, 0, 0, square, 4, rounded, 4, out, 8);
        ASSERT_EQ(n, 4) << swap;
        for (int i = 0; i < n; ++i) {
            const float cx = std::round(out[i].point.x), cz = std::round(out[i].point.z);
            EXPECT_NEAR(out[i].point.x, cx, 1e-5f) << swap;
            EXPECT_NEAR(out[i].point.z, cz, 1e-5f) << swap;
        }
    }
}
