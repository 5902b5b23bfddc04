#include "engine/physics/physics.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "engine/core/tarvel.h"
#include "engine/core/test_support.h"
#include "physics/api.h"
#include "platform/win32/testing.h"

namespace {

using ::testing::HasSubstr;

// The library's per-step velocity loss.
constexpr double kDamping = 0.1045 * 0.02;

class PhysicsGlueTest : public EngineTest {
protected:
    cTarvelPhysics& Physics() { return gTarvel.mPhysics; }
    void Init()
    {
        ASSERT_EQ(Physics().Initialize(), 0);
        ASSERT_NE(Physics().mWorld, nullptr);
    }
    // A 100-unit ground slab whose top is at y = 0.
    sPhysicsBody* Ground(int material = 0)
    {
        return Physics().CreateStaticBox(2000, 100, 2000, 0, -50, 0, 0, 0, 0, 1, 0, 0, 0, material, nullptr, nullptr);
    }
    sPhysicsBody* Crate(float y, int material = 0, void* user = nullptr)
    {
        return Physics().CreateDynamicBox(100, 100, 100, 0, y, 0, 0, 0, 0, 1, 0, 0, 0, 5.0f, material, user,
                                          nullptr);
    }
    void Frame(float seconds)
    {
        gTarvel.mTimer.mFrameSeconds = seconds;
        Physics().Update();
    }
};

void* FailingAlloc(std::size_t) { return nullptr; }
void Release(void* block, std::size_t) { std::free(block); }

} // namespace

TEST_F(PhysicsGlueTest, InitializeCreatesTheWorldWithTheEngineSettings)
{
    Init();
    EXPECT_THAT(Log(), HasSubstr("Initializing physics...\n"));
    EXPECT_EQ(Physics().mWorld->solverModel, 10);
    EXPECT_EQ(Physics().mWorld->frictionModel, 1);
}

TEST_F(PhysicsGlueTest, AWorldThatCannotBeMadeIsFatal)
{
    Physics().mAllocHook = FailingAlloc;
    Physics().mReleaseHook = Release;
    std::string text = CatchFatalError([&] { Physics().Initialize(); });
    EXPECT_THAT(text, HasSubstr("cTarvelPhysics::Initialize"));
    EXPECT_THAT(text, HasSubstr("Failed to initialize physics system."));
    EXPECT_THAT(text, HasSubstr("class_physics"));
    EXPECT_THAT(text, HasSubstr("Line: 52"));
    EXPECT_EQ(Physics().mWorld, nullptr);
    phSetMemoryHooks(nullptr, nullptr);
}

TEST_F(PhysicsGlueTest, CallsBeforeInitializeDoNothing)
{
    EXPECT_EQ(Crate(100), nullptr);
    EXPECT_EQ(Physics().SetDefaultMaterial(1, 1, 1, 1), 0);
    Frame(0.02f);
    sPhysicsRayHit hit{};
    Physics().RayCast(0, 100, 0, 0, -100, 0, &hit);
    EXPECT_EQ(hit.body, nullptr);
    EXPECT_FLOAT_EQ(hit.param, 1.1f);
    EXPECT_EQ(Physics().mBodies.Count(), 0);
}

// The frame is cut into steps of at most 0.04 s, each of which the library
// shortens to 1/60 s; a stall runs one step. Seen in a falling crate's
// velocity against the damping recurrence.
TEST_F(PhysicsGlueTest, FrameTimeIsSplitIntoSteps)
{
    Init();
    struct Case {
        float frame;
        int steps;
        double step;
    };
    const Case cases[] = {
        {0.1f, 3, 1.0 / 60.0},  {0.6f, 1, 1.0 / 60.0}, {0.5f, 13, 1.0 / 60.0}, {0.0f, 1, 0.001},
        {0.01f, 1, 0.01},       {0.04f, 1, 1.0 / 60.0}, {0.05f, 2, 0.025 < 1.0 / 60.0 ? 0.025 : 1.0 / 60.0},
    };
    for (const Case& c : cases) {
        sPhysicsBody* crate = Crate(5000);
        const double before = crate->body->velocity.y;
        Frame(c.frame);
        double v = before;
        for (int i = 0; i < c.steps; ++i)
            v = v * (1.0 - kDamping) - 9.8 * c.step;
        EXPECT_NEAR(crate->body->velocity.y, v, 1e-5) << c.frame;
        Physics().DestroyBody(crate);
    }
}

TEST_F(PhysicsGlueTest, PendingForceActsOnceAndStaticBoxesStay)
{
    Init();
    sPhysicsBody* ground = Ground();
    EXPECT_EQ(ground->applyGravity, 0);
    sPhysicsBody* crate = Crate(5000);
    EXPECT_EQ(crate->applyGravity, 1);
    crate->pendingForce[0] = 5.0f * 60.0f;  // 5 kg: 60 m/s² for one step
    Frame(1.0f / 60.0f);
    EXPECT_NEAR(crate->body->velocity.x, 1.0f, 1e-5f);
    EXPECT_EQ(crate->pendingForce[0], 0.0f);
    Frame(1.0f / 60.0f);
    EXPECT_NEAR(crate->body->velocity.x, 1.0f * (1.0 - kDamping), 1e-5f);
    D3DXMATRIX m;
    Physics().GetBodyMatrix(ground, &m);
    EXPECT_FLOAT_EQ(m._42, -50.0f);
}

TEST_F(PhysicsGlueTest, MatricesCrossInEngineUnits)
{
    Init();
    sPhysicsBody* crate = Physics().CreateDynamicBox(100, 200, 100, 10, 20, 30, 0, 0, std::sin(0.25f),
                                                     std::cos(0.25f), 0, 0, 0, 1.0f, 0, nullptr, nullptr);
    // The library holds physics units; the glue hands out engine units.
    EXPECT_NEAR(crate->body->matrix[3].y, 0.2f, 1e-6f);
    D3DXMATRIX m;
    Physics().GetBodyMatrix(crate, &m);
    EXPECT_NEAR(m._41, 10.0f, 1e-4f);
    EXPECT_NEAR(m._42, 20.0f, 1e-4f);
    EXPECT_NEAR(m._43, 30.0f, 1e-4f);
    // A half-turn of 0.5 rad about z.
    EXPECT_NEAR(m._11, std::cos(0.5f), 1e-5f);
    EXPECT_NEAR(std::fabs(m._12), std::sin(0.5f), 1e-5f);
    m._41 = 500.0f;
    Physics().SetBodyMatrix(crate, m);
    EXPECT_NEAR(crate->body->matrix[3].x, 5.0f, 1e-6f);
    D3DXMATRIX back;
    Physics().GetBodyMatrix(crate, &back);
    EXPECT_NEAR(back._41, 500.0f, 1e-3f);
    EXPECT_NEAR(back._11, m._11, 1e-6f);
}

TEST_F(PhysicsGlueTest, RayCastFindsTheNearestBody)
{
    Init();
    int tagNear = 0;
    int tagFar = 0;
    sPhysicsBody* nearBox = Crate(5000, 0, &tagNear);
    Physics().CreateStaticBox(100, 100, 100, 0, 0, 500, 0, 0, 0, 1, 0, 0, 0, 0, &tagFar, nullptr);
    Physics().CreateStaticBox(100, 100, 100, 0, 0, 1000, 0, 0, 0, 1, 0, 0, 0, 0, &tagFar, nullptr);
    Physics().SetBodyMatrix(nearBox, D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 200, 1));
    sPhysicsRayHit hit{};
    // From z = -1000 to 2000: the near face of the first box is at 150.
    Physics().RayCast(0, 0, -1000, 0, 0, 2000, &hit);
    ASSERT_NE(hit.body, nullptr);
    EXPECT_EQ(hit.body, nearBox);
    EXPECT_EQ(hit.body->userA, &tagNear);
    EXPECT_NEAR(hit.param, 1150.0f / 3000.0f, 1e-4f);
    Physics().RayCast(0, 500, -1000, 0, 500, 2000, &hit);
    EXPECT_EQ(hit.body, nullptr);
    EXPECT_FLOAT_EQ(hit.param, 1.1f);
}

TEST_F(PhysicsGlueTest, ContactsOfAFrameListTheTouchingPairs)
{
    Init();
    const int group = Physics().SetDefaultMaterial(1.0f, 0.9f, 0.1f, 1.0f);
    EXPECT_NE(group, 0);
    EXPECT_NE(Physics().SetDefaultMaterial(1.0f, 0.9f, 0.1f, 1.0f), group);
    const phMaterialPair* pair = Physics().mWorld->FindMaterialPair(group, group);
    EXPECT_FLOAT_EQ(pair->staticFriction[0], 1.0f);
    EXPECT_FLOAT_EQ(pair->kineticFriction[0], 0.9f);
    EXPECT_FLOAT_EQ(pair->elasticity, 0.1f);
    EXPECT_FLOAT_EQ(pair->softness, 1.0f);
    // Other groups keep the defaults against it.
    EXPECT_FLOAT_EQ(Physics().mWorld->FindMaterialPair(group, 0)->elasticity, 0.4f);
    Physics().SetMaterialCallbacks(group, group, true);

    int tag = 0;
    sPhysicsBody* ground = Ground(group);
    sPhysicsBody* crate = Crate(150, group, &tag);
    bool seen = false;
    for (int frame = 0; frame < 120 && !seen; ++frame) {
        Frame(1.0f / 60.0f);
        for (const sPhysicsContact& c : Physics().mContacts) {
            seen = true;
            EXPECT_TRUE((c.bodyA == crate && c.bodyB == ground) || (c.bodyA == ground && c.bodyB == crate));
            EXPECT_GE(c.maxNormalSpeed, 0.2f);
            // About 1 m of fall: a few m/s, in engine units.
            EXPECT_GT(c.maxNormalSpeed, 100.0f);
            EXPECT_NEAR(c.position[1], 0.0f, 2.0f);
            EXPECT_LE(std::fabs(c.position[0]), 50.5f);
            EXPECT_NEAR(std::fabs(c.normal[1]), 1.0f, 1e-4f);
        }
    }
    EXPECT_TRUE(seen);
    // Once it rests, nothing is listed.
    for (int frame = 0; frame < 300; ++frame)
        Frame(1.0f / 60.0f);
    EXPECT_EQ(Physics().mContacts.Count(), 0);
    // Without callbacks nothing is listed either.
    Physics().SetMaterialCallbacks(group, group, false);
    Physics().AddImpulse(crate, 0, 300, 0, 0, 150, 0);
    for (int frame = 0; frame < 60; ++frame) {
        Frame(1.0f / 60.0f);
        EXPECT_EQ(Physics().mContacts.Count(), 0);
    }
}

TEST_F(PhysicsGlueTest, DestroyBodyDropsItsRecordsAndIgnoresStrangers)
{
    Init();
    const int group = Physics().SetDefaultMaterial(1.0f, 0.9f, 0.1f, 1.0f);
    Physics().SetMaterialCallbacks(group, group, true);
    sPhysicsBody* ground = Ground(group);
    sPhysicsBody* crate = Crate(150, group);
    for (int frame = 0; frame < 120 && Physics().mContacts.Count() == 0; ++frame)
        Frame(1.0f / 60.0f);
    ASSERT_GT(Physics().mContacts.Count(), 0);
    Physics().DestroyBody(crate);
    EXPECT_EQ(Physics().mContacts.Count(), 0);
    EXPECT_EQ(Physics().mBodies.Count(), 1);
    EXPECT_EQ(Physics().mWorld->BodyCount(), 1u);

    sPhysicsBody stranger{ground->body, nullptr, nullptr, 0, {0, 0, 0}};
    Physics().DestroyBody(&stranger);
    EXPECT_EQ(Physics().mWorld->BodyCount(), 1u);
    EXPECT_EQ(Physics().mBodies.Count(), 1);
    Physics().DestroyBody(nullptr);
    // The rest goes with the glue (the sanitizer checks that nothing leaks).
    Crate(500);
}

// The world update steps the world once per frame, so bodies move while the
// game runs.
TEST_F(PhysicsGlueTest, BodiesFallWhileTheGameRuns)
{
    InitEngine();
    sPhysicsBody* crate = Crate(5000);
    D3DXMATRIX m;
    float last = 5000.0f;
    for (int frame = 0; frame < 3; ++frame) {
        platform::testing::AdvanceClock(16);
        gTarvel.RunPass();
        Physics().GetBodyMatrix(crate, &m);
        EXPECT_LT(m._42, last) << frame;
        last = m._42;
    }
    // Three frames of 16 ms from rest: about g t^2 / 2, in engine units.
    EXPECT_NEAR(5000.0f - last, 100.0 * 9.8 * 0.048 * 0.048 / 2.0, 0.5);
}
