#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "physics/api.h"
#include "physics/contact_reduction.h"
#include "physics/maths.h"

namespace {

constexpr float kG = 9.8f;
constexpr float kStep = 1.0f / 60.0f;
// Per-step velocity loss of a body with the flat interface's damping.
constexpr double kDamping = 0.1045 * 0.02;

void Gravity(phRigidBody* body)
{
    float m, ix, iy, iz;
    physBodyGetMassMatrix(body, &m, &ix, &iy, &iz);
    const float f[3] = {0.0f, -kG * m, 0.0f};
    physBodySetForce(body, f);
}

phMat4 Placed(float x, float y, float z, const phQuat& q = phQuat{})
{
    return MatrixFromQuaternion(q, {x, y, z, 1.0f});
}

void SetMatrix(phRigidBody* body, const phMat4& m) { physBodySetMatrix(body, &m[0].x); }

// A world with the engine's settings; the library's default memory.
struct World {
    World()
    {
        world = physWorldCreate(nullptr, nullptr);
        physSetSolverModel(world, 10);
        physSetFrictionModel(world, 1);
    }
    ~World() { physWorldDestroy(world); }
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    phRigidBody* Box(float sx, float sy, float sz, const phMat4& at, float mass, bool gravity = true)
    {
        phCollision* shape = physCreateBox(world, sx, sy, sz, nullptr);
        phRigidBody* body = physCreateBody(world, shape);
        physReleaseCollision(world, shape);
        if (mass > 0.0f) {
            physBodySetMassMatrix(body, mass, mass * (sy * sy + sz * sz) / 12, mass * (sx * sx + sz * sz) / 12,
                                  mass * (sx * sx + sy * sy) / 12);
            if (gravity) {
                physBodySetForceAndTorqueCallback(body, Gravity);
            }
            physBodySetFreezeThreshold(body, 0.1f, 0.1f);
        }
        SetMatrix(body, at);
        return body;
    }
    phRigidBody* Ground() { return Box(20.0f, 1.0f, 20.0f, Placed(0, -0.5f, 0), 0.0f); }
    void Run(int steps)
    {
        for (int i = 0; i < steps; ++i) {
            physWorldUpdate(world, kStep);
        }
    }

    phPhysWorld* world = nullptr;
};

bool Asleep(const phRigidBody* b) { return (b->flags & phRigidBody::kFlagActive) == 0; }

}  // namespace

TEST(World, BoxSettlesOnTheGroundAndSleeps)
{
    World w;
    w.Ground();
    phRigidBody* box = w.Box(1, 1, 1, Placed(0, 0.5f, 0), 1.0f);
    w.Run(240);
    EXPECT_NEAR(box->matrix[3].y, 0.5f - 1.0f / 128.0f, 0.002f);
    EXPECT_NEAR(box->matrix[3].x, 0.0f, 1e-3f);
    EXPECT_TRUE(Asleep(box));
    EXPECT_EQ(w.world->ContactCount(), 1u);
}
