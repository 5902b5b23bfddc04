#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "physics/collision_box.h"
#include "physics/maths.h"
#include "physics/rigid_body.h"
#include "physics/test_soup.h"
#include "physics/world.h"

namespace {

void ExpectVec(const phVec4& v, float x, float y, float z, float tol = 1e-5f)
{
    EXPECT_NEAR(v.x, x, tol);
    EXPECT_NEAR(v.y, y, tol);
    EXPECT_NEAR(v.z, z, tol);
}

phMat4 RotationZ(float angle, const phVec4& position)
{
    return MatrixFromQuaternion(phQuatFromAxisAngle({0, 0, 1, 0}, angle), position);
}

}  // namespace

TEST(RigidBody, ImpulsesMatchHandWorkedVelocityChanges)
{
    // m = 2, I = (1, 2, 4). Impulse J = (0, 2, 0) at r = (1, 0, 0):
    // dv = J/m = (0, 1, 0), dw = I^-1 (r x J) = (0, 0, 0.5); the point's
    // velocity changes by dv + dw x r = (0, 1.5, 0).
    phRigidBody a(nullptr, nullptr);
    a.SetMass(2.0f, 1.0f, 2.0f, 4.0f);
    a.AddImpulse({0, 1.5f, 0, 0}, {1, 0, 0, 1});
    ExpectVec(a.velocity, 0, 1, 0);
    ExpectVec(a.omega, 0, 0, 0.5f);
    EXPECT_EQ(a.flags & phRigidBody::kFlagEquilibrium, 0u);

    // Turned 90° about z and placed at (5, 0, 0): world inverse inertia is
    // diag(0.5, 1, 0.25). J = (2, 0, 0) at r = (0, 0, 1): dv = (1, 0, 0),
    // dw = W (0, 2, 0) = (0, 2, 0), point change (1,0,0) + (0,2,0)x(0,0,1) = (3, 0, 0).
    phRigidBody b(nullptr, nullptr);
    b.SetMass(2.0f, 1.0f, 2.0f, 4.0f);
    b.SetMatrix(RotationZ(1.5707963f, {5, 0, 0, 1}));
    const phMat4 w = b.GetWorldInverseInertia();
    ExpectVec(w[0], 0.5f, 0, 0);
    ExpectVec(w[1], 0, 1, 0);
    ExpectVec(w[2], 0, 0, 0.25f);
    b.AddImpulse({3, 0, 0, 0}, {5, 0, 1, 1});
    ExpectVec(b.velocity, 1, 0, 0);
    ExpectVec(b.omega, 0, 2, 0);

    // An immovable body takes no impulse.
    phRigidBody c(nullptr, nullptr);
    c.AddImpulse({1, 0, 0, 0}, {0, 0, 0, 1});
    ExpectVec(c.velocity, 0, 0, 0);
}

TEST(RigidBody, SpinIsLimitedTo45DegreesPerStep)
{
    // 100 rad/s at 1/60 s turns 1.67 rad: four factors of 0.8 bring it to 0.68 rad.
    const float dt = 1.0f / 60.0f;
    const phVec4 w = phLimitSpin({100, 0, 0, 0}, dt);
    EXPECT_FLOAT_EQ(w.x, 100.0f * 0.8f * 0.8f * 0.8f * 0.8f);
    EXPECT_LE(w.x * dt, phRigidBody::kMaxStepAngle);
    EXPECT_GT(w.x / 0.8f * dt, phRigidBody::kMaxStepAngle);
    // Below the limit nothing changes.
    EXPECT_FLOAT_EQ(phLimitSpin({0, 40, 0, 0}, dt).y, 40.0f);

    // The same limit in integration and prediction; an infinite or NaN spin
    // stops instead of looping for ever.
    phRigidBody body(nullptr, nullptr);
    body.SetMass(1, 1, 1, 1);
    body.omega = {100, 0, 0, 0};
    phVec4 v, pw;
    body.PredictVelocities(dt, v, pw);
    body.Integrate(dt);
    EXPECT_FLOAT_EQ(body.omega.x, w.x);
    EXPECT_FLOAT_EQ(pw.x, w.x);
    for (float bad : {std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()}) {
        body.omega = {bad, 1, 0, 0};
        body.Integrate(dt);
        ExpectVec(body.omega, 0, 0, 0);
        EXPECT_TRUE(std::isfinite(body.matrix[0].x));
    }
    // Huge but finite spins are scaled down step by step, as the loop would.
    const phVec4 huge = phLimitSpin({3e38f, 3e38f, 0, 0}, dt);
    EXPECT_TRUE(phIsFinite(huge));
    EXPECT_LE(phLength(huge) * dt, phRigidBody::kMaxStepAngle);
}

TEST(RigidBody, IntegrationMovesAndTurnsTheBody)
{
    // a = F/m = 2; v = 1 after 0.5 s; the centre moves with the new velocity.
    phRigidBody body(nullptr, nullptr);
    body.SetMass(2.0f, 1, 1, 1);
    body.force = {4, 0, 0, 0};
    body.omega = {0, 1, 0, 0};
    body.Integrate(0.5f);
    ExpectVec(body.velocity, 1, 0, 0);
    ExpectVec(body.matrix[3], 0.5f, 0, 0);
    // Half a radian about y: the x axis goes to (cos, 0, -sin).
    ExpectVec(body.matrix[0], std::cos(0.5f), 0, -std::sin(0.5f));
    ExpectVec(body.matrix[2], std::sin(0.5f), 0, std::cos(0.5f));
    // A tiny spin leaves the orientation alone.
    body.omega = {0, 1e-4f, 0, 0};
    const phMat4 before = body.matrix;
    body.Integrate(0.5f);
    ExpectVec(body.matrix[0], before[0].x, before[0].y, before[0].z, 0.0f);
}

TEST(RigidBody, MassSettersKeepMomentumOnlyWhenAsked)
{
    phRigidBody body(nullptr, nullptr);
    body.SetMass(1.0f, 2, 2, 2);
    body.omega = {1, 0, 0, 0};
    body.SetMass(1.0f, 4, 4, 4);
    ExpectVec(body.omega, 1, 0, 0);
    body.flags |= phRigidBody::kFlagKeepAngularMomentum;
    body.SetMass(1.0f, 8, 8, 8);
    ExpectVec(body.omega, 0.5f, 0, 0);
    EXPECT_EQ(body.flags & phRigidBody::kFlagEquilibrium, 0u);

    body.SetMass(2e15f, 1, 1, 1);
    EXPECT_FLOAT_EQ(body.invMass.w, 0.0f);
    EXPECT_NE(body.flags & phRigidBody::kFlagEquilibrium, 0u);
    EXPECT_FLOAT_EQ(body.solverMass.w, 1e15f);

    // A polygon collision stays immovable whatever mass is set.
    TestSoup* soup = MakeWall(0, 1);
    ASSERT_NE(soup, nullptr);
    {
        phRigidBody wall(nullptr, soup);
        wall.SetMass(3.0f, 1, 1, 1);
        EXPECT_FLOAT_EQ(wall.invMass.w, 0.0f);
        EXPECT_FLOAT_EQ(wall.mass.w, 1e15f);
        EXPECT_FLOAT_EQ(wall.solverMass.w, 1e15f);
        EXPECT_NE(wall.flags & phRigidBody::kFlagEquilibrium, 0u);
    }
    soup->Release();
}

TEST(RigidBody, MatrixBoxAndContinuousSweep)
{
    phPhysWorld world;
    world.SetTimeStep(0.5f);
    phCollisionBox* box = phCollisionBox::Create(2, 2, 2, GetIdentityMatrix());
    ASSERT_NE(box, nullptr);
    phRigidBody* body = world.CreateBody(box);
    box->Release();
    ASSERT_NE(body, nullptr);
    body->SetMass(1, 1, 1, 1);
    body->SetMatrix(RotationZ(0.0f, {3, 4, 5, 1}));
    ExpectVec(body->boxMin, 2, 3, 4);
    ExpectVec(body->boxMax, 4, 5, 6);
    ExpectVec(body->globalCentre, 3, 4, 5);

    // Motion 2 per 0.5 s step against an extent of 2: the face on the side of
    // the motion moves out by 1 - 0.6.
    body->velocity = {-4, 0, 0, 0};
    body->SetContinuous(true);
    body->UpdateCollisionMatrixAndBox();
    EXPECT_NEAR(body->boxMin.x, 2.0f - (2.0f - 0.6f), 1e-5f);
    EXPECT_NEAR(body->boxMax.x, 4.0f, 1e-5f);
    body->SetContinuous(false);
    body->UpdateCollisionMatrixAndBox();
    EXPECT_NEAR(body->boxMin.x, 2.0f, 1e-5f);
}
