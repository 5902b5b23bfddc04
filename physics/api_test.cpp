#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "physics/api.h"
#include "physics/contact_reduction.h"
#include "physics/maths.h"
#include "physics/row_solver.h"

#if defined(__i386__) || defined(__x86_64__)
#include <fpu_control.h>
#endif

namespace {

constexpr float kStep = 1.0f / 60.0f;

void Gravity(phRigidBody* body)
{
    float m, ix, iy, iz;
    physBodyGetMassMatrix(body, &m, &ix, &iy, &iz);
    const float f[3] = {0.0f, -9.8f * m, 0.0f};
    physBodySetForce(body, f);
}

phMat4 At(float x, float y, float z) { return MatrixFromQuaternion(phQuat{}, {x, y, z, 1.0f}); }

class Api : public ::testing::Test {
protected:
    void SetUp() override
    {
        world = physWorldCreate(nullptr, nullptr);
        ASSERT_NE(world, nullptr);
        physSetSolverModel(world, 10);
        physSetFrictionModel(world, 1);
    }
    void TearDown() override { physWorldDestroy(world); }

    phRigidBody* Box(float sx, float sy, float sz, const phMat4& at, float mass, std::uint32_t group = 0)
    {
        phCollision* shape = physCreateBox(world, sx, sy, sz, nullptr);
        phRigidBody* body = physCreateBody(world, shape);
        physReleaseCollision(world, shape);
        if (mass > 0.0f) {
            physBodySetMassMatrix(body, mass, mass * (sy * sy + sz * sz) / 12, mass * (sx * sx + sz * sz) / 12,
                                  mass * (sx * sx + sy * sy) / 12);
            physBodySetForceAndTorqueCallback(body, Gravity);
            physBodySetFreezeThreshold(body, 0.1f, 0.1f);
        }
        physBodySetMatrix(body, &at[0].x);
        if (group != 0) {
            physBodySetMaterialGroupID(body, group);
        }
        return body;
    }
    void Run(int steps)
    {
        for (int i = 0; i < steps; ++i) {
            physWorldUpdate(world, kStep);
        }
    }

    phPhysWorld* world = nullptr;
};

}  // namespace

TEST_F(Api, FrictionElasticityAndSoftnessClamps)
{
    struct Friction {
        float fs, fk;
        bool enabled;
        float storedStatic, storedKinetic;
    };
    const Friction cases[] = {
        {0.5f, 0.8f, true, 0.8f, 0.8f},     // static never below kinetic
        {3.0f, 3.0f, true, 2.0f, 2.0f},     // capped at 2
        {-0.6f, -0.3f, true, 0.6f, 0.3f},   // absolute values
        {0.7f, 0.001f, true, 0.7f, 0.01f},  // kinetic raised to 0.01
        {0.005f, 0.5f, false, 0.9f, 0.5f},  // friction off, coefficients kept
    };
    for (const Friction& c : cases) {
        const std::uint32_t g = physMaterialCreateGroupID(world);
        physMaterialSetDefaultFriction(world, g, g, c.fs, c.fk);
        const phMaterialPair* pair = world->FindMaterialPair(g, g);
        ASSERT_NE(pair, nullptr);
        const bool enabled = (pair->flags & (phMaterialPair::kFriction0 | phMaterialPair::kFriction1)) != 0;
        EXPECT_EQ(enabled, c.enabled) << c.fs << " " << c.fk;
        EXPECT_FLOAT_EQ(pair->staticFriction[0], c.storedStatic) << c.fs << " " << c.fk;
        EXPECT_FLOAT_EQ(pair->staticFriction[1], c.storedStatic) << c.fs << " " << c.fk;
        EXPECT_FLOAT_EQ(pair->kineticFriction[0], c.storedKinetic) << c.fs << " " << c.fk;
        EXPECT_FLOAT_EQ(pair->kineticFriction[1], c.storedKinetic) << c.fs << " " << c.fk;
    }
    // A pair never made: nothing happens.
    physMaterialSetDefaultFriction(world, 900, 901, 1.0f, 1.0f);

    const std::uint32_t g = physMaterialCreateGroupID(world);
    const phMaterialPair* pair = world->FindMaterialPair(g, 0);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float in, elasticity, softness;
    } values[] = {{-0.5f, 0.01f, 0.01f}, {0.3f, 0.3f, 0.3f}, {1.5f, 1.5f, 1.0f}, {9.0f, 2.0f, 1.0f}, {nan, 0.01f, 0.01f}};
    for (const auto& v : values) {
        physMaterialSetDefaultElasticity(world, g, 0, v.in);
        physMaterialSetDefaultSoftness(world, 0, g, v.in);
        EXPECT_FLOAT_EQ(pair->elasticity, v.elasticity) << v.in;
        EXPECT_FLOAT_EQ(pair->softness, v.softness) << v.in;
    }
}

TEST_F(Api, GroupsPairWithEveryOlderGroupAndThemselves)
{
    EXPECT_EQ(world->GroupCount(), 1u);
    std::uint32_t groups[5];
    for (std::uint32_t& g : groups) {
        g = physMaterialCreateGroupID(world);
    }
    EXPECT_EQ(groups[0], 1u);
    EXPECT_EQ(groups[4], 5u);
    for (std::uint32_t a = 0; a <= 5; ++a) {
        for (std::uint32_t b = 0; b <= 5; ++b) {
            const phMaterialPair* p = world->FindMaterialPair(a, b);
            ASSERT_NE(p, nullptr) << a << "," << b;
            EXPECT_EQ(p, world->FindMaterialPair(b, a));
            EXPECT_FLOAT_EQ(p->softness, 0.1f);
            EXPECT_FLOAT_EQ(p->elasticity, 0.4f);
            EXPECT_FLOAT_EQ(p->staticFriction[0], 0.9f);
            EXPECT_FLOAT_EQ(p->kineticFriction[1], 0.5f);
            EXPECT_EQ(p->flags, 0x47u);
        }
    }
    EXPECT_EQ(world->FindMaterialPair(2, 6), nullptr);
    EXPECT_NE(world->FindMaterialPair(2, 5), world->FindMaterialPair(2, 4));
}

TEST_F(Api, MassMatrixClampsAndImmovableBodies)
{
    phRigidBody* body = Box(1, 1, 1, At(0, 5, 0), 0.0f);
    float m, ix, iy, iz;
    physBodyGetMassMatrix(body, &m, &ix, &iy, &iz);
    EXPECT_EQ(m, 0.0f);
    EXPECT_TRUE(body->IsImmovable());

    physBodySetMassMatrix(body, 10, 0, 5000, 20);
    EXPECT_FLOAT_EQ(body->mass.x, 0.1f);
    EXPECT_FLOAT_EQ(body->mass.y, 1000.0f);
    EXPECT_FLOAT_EQ(body->mass.z, 20.0f);
    EXPECT_FLOAT_EQ(body->invMass.w, 0.1f);
    // The solver mass keeps the unclamped inertia.
    physBodyGetMassMatrix(body, &m, &ix, &iy, &iz);
    EXPECT_FLOAT_EQ(m, 10.0f);
    EXPECT_FLOAT_EQ(iy, 5000.0f);

    for (float bad : {0.0f, 0.0005f, std::numeric_limits<float>::quiet_NaN()}) {
        physBodySetMassMatrix(body, bad, 1, 1, 1);
        EXPECT_TRUE(body->IsImmovable()) << bad;
        physBodyGetMassMatrix(body, &m, &ix, &iy, &iz);
        EXPECT_EQ(m, 0.0f) << bad;
    }
    // No impulse moves an immovable body.
    const float dv[3] = {1, 0, 0};
    const float p[3] = {0, 5, 0};
    physBodyAddImpulse(body, dv, p);
    EXPECT_EQ(body->velocity.x, 0.0f);

    physBodySetFreezeThreshold(body, 0.05f, 2.0f);
    EXPECT_FLOAT_EQ(body->sleepThresholds[0], 0.05f);
    EXPECT_FLOAT_EQ(body->sleepThresholds[1], 2.0f);
    EXPECT_FLOAT_EQ(body->sleepThresholds[2], 0.01f);
    EXPECT_FLOAT_EQ(body->sleepThresholds[3], 0.2f);
}

TEST_F(Api, ImpulseChangesThePointVelocityAndWakes)
{
    phRigidBody* body = Box(2, 1, 1, At(0, 5, 0), 3.0f);
    body->forceTorqueCallback = nullptr;
    world->RemoveFromAwake(body);
    body->flags &= ~phRigidBody::kFlagActive;
    // At the centre: v = dv; off centre the point itself gets dv.
    const float dv[3] = {0, 2, 0};
    const float centre[3] = {0, 5, 0};
    physBodyAddImpulse(body, dv, centre);
    EXPECT_NEAR(body->velocity.y, 2.0f, 1e-5f);
    EXPECT_NE(body->awakeNode, nullptr);
    const float end[3] = {1, 5, 0};
    physBodyAddImpulse(body, dv, end);
    const phVec4 r = {1, 0, 0, 0};
    const phVec4 v = body->velocity + phCross(body->omega, r);
    EXPECT_NEAR(v.y, 4.0f, 1e-4f);
    // m = 3, I_zz = 3·(4 + 1)/12 = 1.25: j = 2 / (1/3 + 1/1.25) = 1.7647.
    EXPECT_NEAR(body->velocity.y, 2.0f + 1.7647059f / 3.0f, 1e-4f);
    EXPECT_NEAR(body->omega.z, 1.7647059f / 1.25f, 1e-4f);
}

TEST_F(Api, SetMatrixOrthonormalisesAndRefusesBrokenInput)
{
    phRigidBody* body = Box(1, 1, 1, At(1, 2, 3), 1.0f);
    // A skewed, scaled rotation comes back orthonormal with the front kept.
    const float skew[16] = {2, 0, 0, 0, 0.5f, 3, 0, 0, 0, 0, 1, 0, 4, 5, 6, 1};
    physBodySetMatrix(body, skew);
    float m[16];
    physBodyGetMatrix(body, m);
    const float expected[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 4, 5, 6, 1};
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(m[i], expected[i], 1e-6f) << i;
    }
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    // A non-finite position is refused whole.
    for (float bad : {nan, inf}) {
        float broken[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 7, bad, 7, 1};
        physBodySetMatrix(body, broken);
        physBodyGetMatrix(body, m);
        for (int i = 0; i < 16; ++i) {
            EXPECT_EQ(m[i], expected[i]) << i;
        }
    }
    // A degenerate rotation keeps the old one and takes the position.
    const float degenerate[][16] = {
        {0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 7, 8, 9, 1},
        {1, 0, 0, 0, 2, 0, 0, 0, 0, 0, 1, 0, 7, 8, 9, 1},
        {nan, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 7, 8, 9, 1},
    };
    for (const auto& d : degenerate) {
        physBodySetMatrix(body, d);
        physBodyGetMatrix(body, m);
        for (int i = 0; i < 12; ++i) {
            EXPECT_EQ(m[i], expected[i]) << i;
        }
        EXPECT_EQ(m[12], 7.0f);
        EXPECT_EQ(m[13], 8.0f);
        EXPECT_EQ(m[14], 9.0f);
    }
    EXPECT_TRUE(phIsFinite(body->globalCentre));
}

TEST_F(Api, BoxCacheSharesEqualBoxesAndCountsReferences)
{
    phCollision* a = physCreateBox(world, 1, 2, 3, nullptr);
    EXPECT_EQ(a->GetRefCount(), 2u);
    phCollision* b = physCreateBox(world, -1, 2, -3, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->GetRefCount(), 3u);
    phMat4 offset = At(0, 0.5f, 0);
    phCollision* moved = physCreateBox(world, 1, 2, 3, &offset[0].x);
    EXPECT_NE(moved, a);
    // Sizes that quantise alike are still different boxes.
    phCollision* near = physCreateBox(world, 1.0f + 1e-5f, 2, 3, nullptr);
    EXPECT_NE(near, a);
    EXPECT_EQ(near->GetRefCount(), 1u);
    EXPECT_EQ(world->CachedCollisionCount(), 2u);
    physReleaseCollision(world, near);

    phRigidBody* body = physCreateBody(world, a);
    EXPECT_EQ(a->GetRefCount(), 4u);
    physReleaseCollision(world, a);
    physReleaseCollision(world, b);
    EXPECT_EQ(a->GetRefCount(), 2u);
    EXPECT_EQ(world->CachedCollisionCount(), 2u);
    // The body's end drops the last outside reference and the cache's.
    physDestroyBody(world, body);
    EXPECT_EQ(world->CachedCollisionCount(), 1u);
    physReleaseCollision(world, moved);
    EXPECT_EQ(world->CachedCollisionCount(), 0u);
}

TEST_F(Api, UpdateClampsAndSplitsItsTime)
{
    phRigidBody* body = Box(1, 1, 1, At(0, 50, 0), 1.0f);
    const double c = 0.1045 * 0.02;
    struct Case {
        float dt;
        double advanced;
    };
    // 0.1 s runs one step of 1/60; 0 runs one of 0.001; NaN as 0.
    for (const Case& k : {Case{0.1f, 1.0 / 60.0}, Case{0.0f, 0.001}, Case{-3.0f, 0.001},
                          Case{std::numeric_limits<float>::quiet_NaN(), 0.001}, Case{0.01f, 0.01}}) {
        const double before = body->velocity.y;
        physWorldUpdate(world, k.dt);
        EXPECT_NEAR(body->velocity.y, before * (1.0 - c) - 9.8 * k.advanced, 1e-5) << k.dt;
    }
    EXPECT_NEAR(world->TimeStep(), 0.01f, 1e-7f);
}

TEST_F(Api, PrecisionControlIsRestoredAfterAStep)
{
#if defined(__i386__) || defined(__x86_64__)
    Box(20, 1, 20, At(0, -0.5f, 0), 0.0f);
    Box(1, 1, 1, At(0, 0.6f, 0), 1.0f);
    fpu_control_t before = 0;
    _FPU_GETCW(before);
    struct Probe {
        static void Force(phRigidBody* body)
        {
            _FPU_GETCW(Seen());
            Gravity(body);
        }
        static fpu_control_t& Seen()
        {
            static fpu_control_t seen = 0;
            return seen;
        }
    };
    for (auto* n = world->Bodies().Minimum(); n != nullptr; n = phPhysWorld::BodyTree::Next(n)) {
        if (!n->payload->IsImmovable()) {
            physBodySetForceAndTorqueCallback(n->payload, Probe::Force);
        }
    }
    Run(3);
    fpu_control_t after = 0;
    _FPU_GETCW(after);
    EXPECT_EQ(after, before);
    EXPECT_EQ(Probe::Seen() & _FPU_EXTENDED, _FPU_SINGLE);
#else
    GTEST_SKIP() << "no x87 unit";
#endif
}

namespace {

struct Calls {
    int begin = 0;
    int process = 0;
    int end = 0;
    int beginResult = 1;
    int processResult = 1;
};

int Begin(phMaterialPair* m, phRigidBody*, phRigidBody*)
{
    auto* calls = static_cast<Calls*>(m->userData);
    ++calls->begin;
    return calls->beginResult;
}
int Process(phMaterialPair* m, phContactConstraint*)
{
    auto* calls = static_cast<Calls*>(m->userData);
    ++calls->process;
    return calls->processResult;
}
void End(phMaterialPair* m) { ++static_cast<Calls*>(m->userData)->end; }

}  // namespace

TEST_F(Api, CollisionCallbacksDecideAboutPairsAndPoints)
{
    struct Case {
        int beginResult, processResult;
        std::uint32_t contacts, active;
    };
    for (const Case& c : {Case{1, 1, 1, 4}, Case{0, 1, 0, 0}, Case{1, 0, 1, 0}}) {
        physWorldDestroy(world);
        world = physWorldCreate(nullptr, nullptr);
        const std::uint32_t g = physMaterialCreateGroupID(world);
        Calls calls;
        calls.beginResult = c.beginResult;
        calls.processResult = c.processResult;
        physMaterialSetCollisionCallbacks(world, g, g, &calls, Begin, Process, End);
        Box(20, 1, 20, At(0, -0.5f, 0), 0.0f, g);
        Box(1, 1, 1, At(0, 0.49f, 0), 1.0f, g);
        physWorldUpdate(world, kStep);
        EXPECT_EQ(calls.begin, 1) << c.beginResult << c.processResult;
        EXPECT_EQ(calls.end, c.beginResult) << c.beginResult << c.processResult;
        EXPECT_EQ(calls.process, c.beginResult != 0 ? 4 : 0) << c.beginResult << c.processResult;
        EXPECT_EQ(world->ContactCount(), c.contacts) << c.beginResult << c.processResult;
        if (world->FirstContact() != nullptr) {
            EXPECT_EQ(world->FirstContact()->activeCount, c.active);
            EXPECT_EQ(world->FirstContact()->maxRows, 3 * c.active);
        }
    }
}

TEST_F(Api, ContactSpeedsFollowTheBodies)
{
    phRigidBody* ground = Box(20, 1, 20, At(0, -0.5f, 0), 0.0f);
    phRigidBody* box = Box(1, 1, 1, At(0, 0.49f, 0), 1.0f);
    box->velocity = {1.5f, -2.0f, 0.0f, 0.0f};
    box->forceTorqueCallback = nullptr;
    physWorldUpdate(world, kStep);
    phContactConstraint* c = world->FirstContact();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->child, box);
    EXPECT_EQ(c->parent, ground);
    phMaterialPair& m = c->last->material;
    // Take the speeds from known velocities.
    box->velocity = {0.5f, -1.0f, 0.25f, 0.0f};
    box->omega = {0.0f, 0.0f, 0.0f, 0.0f};
    float p[3], n[3];
    physMaterialGetContactPositionAndNormal(&m, p, n);
    EXPECT_NEAR(n[1], 1.0f, 1e-5f);
    EXPECT_NEAR(p[1], 0.0f, 0.02f);
    // (u1 - u0)·n with the ground at rest: 1.0.
    EXPECT_NEAR(physMaterialGetContactNormalSpeed(&m, c), 1.0f, 1e-5f);
    const float t0 = phDot(box->velocity, m.tangent0);
    EXPECT_NEAR(physMaterialGetContactTangentSpeed(&m, c, 0), t0, 1e-5f);
    EXPECT_NEAR(phDot(m.tangent0, m.contact.normal), 0.0f, 1e-5f);
    EXPECT_NEAR(phDot(m.tangent1, m.tangent0), 0.0f, 1e-5f);
    // A spin adds ω × (p - position).
    box->velocity = {};
    box->omega = {0.0f, 0.0f, 2.0f, 0.0f};
    const phVec4 arm = m.contact.point - box->matrix[3];
    EXPECT_NEAR(physMaterialGetContactNormalSpeed(&m, c), -phCross(box->omega, arm).y, 1e-5f);
}

TEST_F(Api, SeparatedPairsAreReleased)
{
    Box(20, 1, 20, At(0, -0.5f, 0), 0.0f);
    phRigidBody* box = Box(1, 1, 1, At(0, 0.49f, 0), 1.0f);
    Run(5);
    ASSERT_EQ(world->ContactCount(), 1u);
    ASSERT_NE(box->constraints, nullptr);
    const float up[3] = {0, 5, 0};
    const float centre[3] = {0, 0.49f, 0};
    physBodyAddImpulse(box, up, centre);
    Run(3);
    EXPECT_EQ(world->ContactCount(), 0u);
    EXPECT_EQ(world->LiveContactRecords(), 0u);
    EXPECT_EQ(world->ConstraintCount(), 0u);
    EXPECT_EQ(box->constraints, nullptr);
    // It lands again on a record from the pool.
    Run(200);
    EXPECT_EQ(world->ContactCount(), 1u);
    EXPECT_EQ(world->LiveContactRecords(), 1u);
}

namespace {

phPhysWorld* g_world = nullptr;
phRigidBody* g_victim = nullptr;
int g_destructorCalls = 0;

void DestroyVictim(phRigidBody* body)
{
    Gravity(body);
    physDestroyBody(g_world, g_victim);
    physDestroyBody(g_world, g_victim);
    // Still there until the substep ends.
    EXPECT_TRUE(g_world->HoldsBody(g_victim));
}

void CountDestructor(phRigidBody*) { ++g_destructorCalls; }

}  // namespace

TEST_F(Api, DestructionInsideAStepWaitsForItsEnd)
{
    Box(20, 1, 20, At(0, -0.5f, 0), 0.0f);
    phRigidBody* lower = Box(1, 1, 1, At(0, 0.49f, 0), 1.0f);
    phRigidBody* upper = Box(1, 1, 1, At(0, 1.47f, 0), 1.0f);
    Run(120);
    ASSERT_EQ(world->ContactCount(), 2u);
    g_world = world;
    g_victim = lower;
    g_destructorCalls = 0;
    lower->destructorCallback = CountDestructor;
    physBodySetForceAndTorqueCallback(upper, DestroyVictim);
    world->WakeBody(upper);
    physWorldUpdate(world, kStep);
    EXPECT_FALSE(world->HoldsBody(lower));
    EXPECT_EQ(g_destructorCalls, 1);
    EXPECT_EQ(world->ContactCount(), 0u);
    EXPECT_EQ(upper->constraints, nullptr);
    // Outside a step it goes at once and wakes the other side.
    physBodySetForceAndTorqueCallback(upper, Gravity);
    Run(120);
    ASSERT_EQ(world->ContactCount(), 1u);
    ASSERT_EQ(upper->awakeNode, nullptr);
    phRigidBody* ground = world->FirstContact()->parent;
    physDestroyBody(world, ground);
    EXPECT_FALSE(world->HoldsBody(ground));
    EXPECT_NE(upper->awakeNode, nullptr);
    EXPECT_EQ(world->ContactCount(), 0u);
    // A body that is not the world's is ignored.
    physDestroyBody(world, ground);
    EXPECT_EQ(world->BodyCount(), 1u);
}

// More bodies than an island holds: the island stops growing and the rest
// forms further islands of the same step; every body is still handled.
TEST_F(Api, WallLargerThanAnIslandIsSolvedInParts)
{
    Box(80, 1, 20, At(0, -0.5f, 0), 0.0f);
    const int columns = 40;
    const int rows = 15;
    std::vector<phRigidBody*> bricks;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const float x = -20.0f + c * 1.0f + (r % 2 == 0 ? 0.0f : 0.5f);
            bricks.push_back(Box(0.995f, 0.5f, 1, At(x, 0.245f + r * 0.495f, 0), 1.0f));
        }
    }
    ASSERT_GT(bricks.size(), static_cast<std::size_t>(phSolverWorkspace::kMaxIslandBodies));
    Run(3);
    EXPECT_EQ(world->bodiesHandled, bricks.size());
    for (std::size_t i = 0; i < bricks.size(); ++i) {
        const int r = static_cast<int>(i) / columns;
        EXPECT_NEAR(bricks[i]->matrix[3].y, 0.245f + r * 0.495f, 0.05f) << i;
    }
}

TEST(ContactThinning, NonFinitePointsEndTheSweeps)
{
    std::vector<phContactRecord> records(40);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i].point = {i % 2 == 0 ? nan : 0.0f, 0.0f, 0.0f, 1.0f};
    }
    EXPECT_EQ(phThinContacts(records.data(), static_cast<int>(records.size()), 16, 0.01f), 16);
}
