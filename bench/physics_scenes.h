// The physics benchmarks' scenes: boxes on a wide ground in our world (the
// engine's solver settings) and the same boxes in Bullet.
#pragma once

#include <btBulletDynamicsCommon.h>

#include <memory>
#include <vector>

#include "physics/api.h"
#include "physics/maths.h"

namespace bench_physics {

constexpr float kStep = 1.0f / 60.0f;

inline void Gravity(phRigidBody* body)
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
        bodies.push_back(body);
        return body;
    }
    void Step() { physWorldUpdate(world, kStep); }
    phVec4 Position(std::size_t i) const { return bodies[i]->matrix[3]; }

    phPhysWorld* world = nullptr;
    // The ground first.
    std::vector<phRigidBody*> bodies;
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
    phVec4 Position(std::size_t i) const
    {
        const btVector3& p = bodies[i]->getWorldTransform().getOrigin();
        return {p.x(), p.y(), p.z(), 1.0f};
    }

    btDefaultCollisionConfiguration configuration;
    btCollisionDispatcher dispatcher;
    btDbvtBroadphase broadphase;
    btSequentialImpulseConstraintSolver solver;
    btDiscreteDynamicsWorld world;
    std::vector<std::unique_ptr<btCollisionShape>> shapes;
    std::vector<std::unique_ptr<btDefaultMotionState>> states;
    std::vector<std::unique_ptr<btRigidBody>> bodies;
};

}  // namespace bench_physics
