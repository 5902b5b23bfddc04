#include "physics/box_box_contacts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "physics/collision_box.h"
#include "physics/contacts.h"
#include "physics/maths.h"
#include "physics/rigid_body.h"

namespace {

phMat4 Place(const phQuat& q, float x, float y, float z) { return MatrixFromQuaternion(q, {x, y, z, 1}); }

phQuat About(float x, float y, float z, float degrees)
{
    const float len = std::sqrt(x * x + y * y + z * z);
    const float h = degrees * 3.14159265f / 360.0f;
    const float s = std::sin(h) / len;
    return phQuatNormalise(phQuat{x * s, y * s, z * s, std::cos(h)});
}

struct Box {
    Box(const phVec4& size, const phMat4& m) : body(nullptr, phCollisionBox::Create(size.x, size.y, size.z, GetIdentityMatrix()))
    {
        body.collision->Release();
        body.SetMass(1, 1, 1, 1);
        body.SetMatrix(m);
    }
    phRigidBody body;
};

struct Pose {
    const char* name;
    phVec4 sizeA;
    phQuat turnA;
    phVec4 sizeB;
    phQuat turnB;
    phVec4 atB;  // A sits at the origin
};

// Every point of `of` has one of `in` within tol.
std::string Unmatched(const phContactRecord* of, int nOf, const phContactRecord* in, int nIn, double tol)
{
    for (int i = 0; i < nOf; ++i) {
        bool found = false;
        for (int j = 0; j < nIn && !found; ++j) {
            found = phLength(of[i].point - in[j].point) < tol;
        }
        if (!found) {
            return std::to_string(of[i].point.x) + " " + std::to_string(of[i].point.y) + " " +
                   std::to_string(of[i].point.z);
        }
    }
    return "";
}

void ExpectSameContacts(const Pose& p)
{
    Box a(p.sizeA, Place(p.turnA, 0, 0, 0));
    Box b(p.sizeB, Place(p.turnB, p.atB.x, p.atB.y, p.atB.z));
    phContactRecord fast[16];
    phContactRecord general[16];
    const int n = ContactsBoxBox(&a.body, &b.body, fast, 16);
    const int g = ContactsByPenetration(&a.body, &b.body, general, 16);
    if (BoxesApart(&a.body, &b.body)) {
        EXPECT_EQ(g, 0) << p.name << ": called apart, yet the general path finds contacts";
    }
    ASSERT_EQ(n, g) << p.name;
    if (n == 0) {
        return;
    }
    for (int i = 0; i < n; ++i) {
        EXPECT_GT(phDot(fast[i].normal, general[0].normal), 0.9999f) << p.name;
        EXPECT_NEAR(phLength(fast[i].normal), 1.0f, 1e-5f) << p.name;
        EXPECT_NEAR(fast[i].penetration, general[0].penetration, 1.0 / 2048.0) << p.name;
        EXPECT_EQ(fast[i].point.w, 1.0f) << p.name;
    }
    EXPECT_EQ(Unmatched(fast, n, general, g, 0.01), "") << p.name << ": a fast point the general path lacks";
    EXPECT_EQ(Unmatched(general, g, fast, n, 0.01), "") << p.name << ": a general point the fast path lacks";
}

}  // namespace

TEST(BoxBoxContacts, AgreesWithTheGeneralPathOnATableOfPoses)
{
    const phVec4 unit = {1, 1, 1, 0};
    const phQuat none{};
    // Standing on a corner: the body diagonal turned onto the vertical.
    const phQuat corner = phQuatMultiply(About(0, 0, 1, 35.26439f), About(1, 0, 0, -45.0f));
    const Pose poses[] = {
        {"face on face, off centre", unit, none, unit, none, {0.3f, 0.95f, 0.2f, 1}},
        {"face on face, below", unit, none, {3, 0.5f, 3, 0}, none, {0.4f, -0.7f, -0.1f, 1}},
        {"face on face, sideways", {2, 1, 1, 0}, none, unit, none, {1.45f, 0.1f, 0.3f, 1}},
        {"face on face, turned about the normal", unit, none, unit, About(0, 1, 0, 45), {0, 0.97f, 0, 1}},
        {"edge on edge, crossed", unit, About(0, 0, 1, 45), unit, About(1, 0, 0, 45), {0, 1.36f, 0, 1}},
        {"edge on face", unit, none, unit, About(0, 0, 1, 45), {0.1f, 1.16f, 0.05f, 1}},
        {"vertex on face", {3, 1, 3, 0}, none, unit, corner, {0.2f, 0.5f + 0.866f - 0.04f, -0.3f, 1}},
        {"both turned", {1.5f, 0.7f, 1.2f, 0}, About(1, 2, 3, 40), {0.9f, 1.3f, 0.8f, 0}, About(-2, 1, 0.5f, 70),
         {0.3f, 0.9f, 0.2f, 1}},
        {"touching, shallower than the allowance", unit, none, unit, none, {0.1f, 0.996f, 0, 1}},
        {"separated along a face", unit, none, unit, none, {0.1f, 1.05f, 0, 1}},
        {"separated along an edge crossing only", unit, About(0, 0, 1, 45), unit, About(1, 0, 0, 45),
         {0, 1.45f, 0, 1}},
    };
    for (const Pose& p : poses) {
        ExpectSameContacts(p);
    }
}

TEST(BoxBoxContacts, AgreesWithTheGeneralPathOnRandomPoses)
{
    std::mt19937 rng(77);
    std::normal_distribution<float> gauss(0, 1);
    std::uniform_real_distribution<float> size(0.5f, 2.0f), pos(-1.2f, 1.2f);
    int overlapping = 0;
    for (int i = 0; i < 400; ++i) {
        const Pose p = {"random",
                        {size(rng), size(rng), size(rng), 0},
                        phQuatNormalise(phQuat{gauss(rng), gauss(rng), gauss(rng), gauss(rng)}),
                        {size(rng), size(rng), size(rng), 0},
                        phQuatNormalise(phQuat{gauss(rng), gauss(rng), gauss(rng), gauss(rng)}),
                        {pos(rng), pos(rng), pos(rng), 1}};
        Box a(p.sizeA, Place(p.turnA, 0, 0, 0));
        Box b(p.sizeB, Place(p.turnB, p.atB.x, p.atB.y, p.atB.z));
        phContactRecord r[16];
        overlapping += ContactsBoxBox(&a.body, &b.body, r, 16) > 0 ? 1 : 0;
        SCOPED_TRACE(i);
        ExpectSameContacts(p);
    }
    EXPECT_GT(overlapping, 100);
}

TEST(BoxBoxContacts, ApartOnlyWhenAnAxisSeparatesByAMargin)
{
    // Two unit boxes, the upper one turned about the vertical, raised in
    // steps across the touching height 1: apart from 1 + 1e-4 up, never
    // below it.
    Box a({1, 1, 1, 0}, Place(phQuat{}, 0, 0, 0));
    for (const float y : {0.9f, 0.99f, 1.0f, 1.00005f, 1.0002f, 1.01f, 1.5f}) {
        Box b({1, 1, 1, 0}, Place(About(0, 1, 0, 30), 0.2f, y, 0.1f));
        EXPECT_EQ(BoxesApart(&a.body, &b.body), y > 1.0001f) << y;
    }
    // Crossed edges: apart only along their crossing.
    Box c({1, 1, 1, 0}, Place(About(0, 0, 1, 45), 0, 0, 0));
    Box near({1, 1, 1, 0}, Place(About(1, 0, 0, 45), 0, 1.40f, 0));
    Box far({1, 1, 1, 0}, Place(About(1, 0, 0, 45), 0, 1.45f, 0));
    EXPECT_FALSE(BoxesApart(&c.body, &near.body));
    EXPECT_TRUE(BoxesApart(&c.body, &far.body));
}
