// The physics step on the scenes the game has: a settled brick wall stepped
// awake and asleep, and a collapsing heap of boxes. Each scene runs beside
// the same scene in Bullet, measured in the same run; the figure that
// matters is the ratio.
#include <benchmark/benchmark.h>

#include <btBulletDynamicsCommon.h>

#include <memory>
#include <random>
#include <vector>

#include "physics/api.h"
#include "physics/maths.h"

namespace {

constexpr float kStep = 1.0f / 60.0f;
constexpr int kCourses = 10;
constexpr float kBrick[3] = {0.6f, 0.3f, 0.3f};

void Gravity(phRigidBody* body)
{
    float m, ix, iy, iz;
    physBodyGetMassMatrix(body, &m, &ix, &iy, &iz);
    const float f[3] = {0.0f, -9.8f * m, 0.0f};
    physBodySetForce(body, f);
}

struct BoxSpec {
    float size[3];
    float position[3];
    float yaw;
    float mass;
};

// A running-bond wall of n bricks in about kCourses courses; odd courses are
// shifted by half a brick and one shorter, so no brick overhangs.
std::vector<BoxSpec> Wall(int n)
{
    const int columns = n / kCourses;
    std::vector<BoxSpec> boxes;
    for (int course = 0; static_cast<int>(boxes.size()) < n; ++course) {
        const bool odd = course % 2 != 0;
        for (int column = 0; column < columns - (odd ? 1 : 0) && static_cast<int>(boxes.size()) < n; ++column) {
            const float x = (column - columns / 2) * kBrick[0] + (odd ? kBrick[0] * 0.5f : 0.0f);
            boxes.push_back(
                {{kBrick[0] * 0.995f, kBrick[1], kBrick[2]}, {x, kBrick[1] * (0.5f + course), 0}, 0, 2});
        }
    }
    return boxes;
}

// n boxes in a loose heap above the ground, turned at random.
std::vector<BoxSpec> Heap(int n)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> jitter(-0.1f, 0.1f), yaw(0.0f, 3.14159f), size(0.4f, 0.7f);
    std::vector<BoxSpec> boxes;
    for (int i = 0; i < n; ++i) {
        const int layer = i / 25;
        const int cell = i % 25;
        boxes.push_back({{size(rng), size(rng), size(rng)},
                         {(cell % 5 - 2) * 0.9f + jitter(rng), 0.5f + layer * 0.9f, (cell / 5 - 2) * 0.9f + jitter(rng)},
                         yaw(rng),
                         1});
    }
    return boxes;
}

struct OurScene {
    explicit OurScene(const std::vector<BoxSpec>& boxes, bool keepAwake)
    {
        world = physWorldCreate(nullptr, nullptr);
        physSetSolverModel(world, 10);
        physSetFrictionModel(world, 1);
        Add({{60, 1, 60}, {0, -0.5f, 0}, 0, 0});
        for (const BoxSpec& b : boxes) {
            phRigidBody* body = Add(b);
            if (keepAwake) {
                body->flags &= ~phRigidBody::kFlagAutoSleep;
            }
        }
    }
    ~OurScene() { physWorldDestroy(world); }
    OurScene(const OurScene&) = delete;
    OurScene& operator=(const OurScene&) = delete;

    phRigidBody* Add(const BoxSpec& b)
    {
        phCollision* shape = physCreateBox(world, b.size[0], b.size[1], b.size[2], nullptr);
        phRigidBody* body = physCreateBody(world, shape);
        physReleaseCollision(world, shape);
        if (b.mass > 0) {
            const float m = b.mass;
            const float x2 = b.size[0] * b.size[0], y2 = b.size[1] * b.size[1], z2 = b.size[2] * b.size[2];
            physBodySetMassMatrix(body, m, m * (y2 + z2) / 12, m * (x2 + z2) / 12, m * (x2 + y2) / 12);
            physBodySetForceAndTorqueCallback(body, Gravity);
            physBodySetFreezeThreshold(body, 0.1f, 0.1f);
        }
        const phQuat q = phQuatFromAxisAngle({0, 1, 0, 0}, b.yaw);
        const phMat4 m = MatrixFromQuaternion(q, {b.position[0], b.position[1], b.position[2], 1});
        physBodySetMatrix(body, &m[0].x);
        return body;
    }
    void Step() { physWorldUpdate(world, kStep); }

    phPhysWorld* world = nullptr;
};

struct BulletScene {
    explicit BulletScene(const std::vector<BoxSpec>& boxes, bool keepAwake)
        : dispatcher(&configuration), world(&dispatcher, &broadphase, &solver, &configuration)
    {
        world.setGravity(btVector3(0, -9.8f, 0));
        Add({{60, 1, 60}, {0, -0.5f, 0}, 0, 0}, false);
        for (const BoxSpec& b : boxes) {
            Add(b, keepAwake);
        }
    }
    ~BulletScene()
    {
        for (auto& body : bodies) {
            world.removeRigidBody(body.get());
        }
    }
    BulletScene(const BulletScene&) = delete;
    BulletScene& operator=(const BulletScene&) = delete;

    void Add(const BoxSpec& b, bool keepAwake)
    {
        shapes.push_back(
            std::make_unique<btBoxShape>(btVector3(b.size[0] * 0.5f, b.size[1] * 0.5f, b.size[2] * 0.5f)));
        btVector3 inertia(0, 0, 0);
        if (b.mass > 0) {
            shapes.back()->calculateLocalInertia(b.mass, inertia);
        }
        btTransform t;
        t.setIdentity();
        t.setRotation(btQuaternion(btVector3(0, 1, 0), b.yaw));
        t.setOrigin(btVector3(b.position[0], b.position[1], b.position[2]));
        states.push_back(std::make_unique<btDefaultMotionState>(t));
        btRigidBody::btRigidBodyConstructionInfo info(b.mass, states.back().get(), shapes.back().get(), inertia);
        info.m_friction = 0.9f;
        info.m_restitution = 0.4f;
        bodies.push_back(std::make_unique<btRigidBody>(info));
        if (keepAwake) {
            bodies.back()->setActivationState(DISABLE_DEACTIVATION);
        }
        world.addRigidBody(bodies.back().get());
    }
    void Step() { world.stepSimulation(kStep, 1, kStep); }

    btDefaultCollisionConfiguration configuration;
    btCollisionDispatcher dispatcher;
    btDbvtBroadphase broadphase;
    btSequentialImpulseConstraintSolver solver;
    btDiscreteDynamicsWorld world;
    std::vector<std::unique_ptr<btCollisionShape>> shapes;
    std::vector<std::unique_ptr<btDefaultMotionState>> states;
    std::vector<std::unique_ptr<btRigidBody>> bodies;
};

// A wall settles for 6 s first; then each iteration is one step.
template <typename Scene>
void WallStep(benchmark::State& state, bool awake)
{
    Scene scene(Wall(static_cast<int>(state.range(0))), awake);
    for (int i = 0; i < 360; ++i) {
        scene.Step();
    }
    for (auto _ : state) {
        scene.Step();
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["bricks"] = static_cast<double>(state.range(0));
}

void OurWallAwake(benchmark::State& state) { WallStep<OurScene>(state, true); }
void OurWallAsleep(benchmark::State& state) { WallStep<OurScene>(state, false); }
void BulletWallAwake(benchmark::State& state) { WallStep<BulletScene>(state, true); }
void BulletWallAsleep(benchmark::State& state) { WallStep<BulletScene>(state, false); }

// The first 2 s of a 300-box heap falling together, per step.
template <typename Scene>
void Collapse(benchmark::State& state)
{
    constexpr int kSteps = 120;
    const std::vector<BoxSpec> heap = Heap(300);
    for (auto _ : state) {
        state.PauseTiming();
        auto scene = std::make_unique<Scene>(heap, false);
        state.ResumeTiming();
        for (int i = 0; i < kSteps; ++i) {
            scene->Step();
        }
        state.PauseTiming();
        scene.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kSteps);
}

void OurCollapse(benchmark::State& state) { Collapse<OurScene>(state); }
void BulletCollapse(benchmark::State& state) { Collapse<BulletScene>(state); }

}  // namespace

BENCHMARK(OurWallAwake)->Arg(100)->Arg(300)->Arg(500)->Unit(benchmark::kMicrosecond);
BENCHMARK(BulletWallAwake)->Arg(100)->Arg(300)->Arg(500)->Unit(benchmark::kMicrosecond);
BENCHMARK(OurWallAsleep)->Arg(100)->Arg(300)->Arg(500)->Unit(benchmark::kMicrosecond);
BENCHMARK(BulletWallAsleep)->Arg(100)->Arg(300)->Arg(500)->Unit(benchmark::kMicrosecond);
BENCHMARK(OurCollapse)->Unit(benchmark::kMillisecond);
BENCHMARK(BulletCollapse)->Unit(benchmark::kMillisecond);
