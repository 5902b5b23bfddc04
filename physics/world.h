#pragma once

#include <cstdint>

#include "physics/broadphase.h"
#include "physics/object_pool.h"
#include "physics/rb_tree.h"
#include "physics/rigid_body.h"

// The books of one simulation that bodies and the broadphase work on: body
// and awake sets, ids, the step's time, the collision class ids it
// dispatches on. Material pairs, contacts, joints and the solver step join it
// with the rest of the world.
class phPhysWorld {
public:
    using BodyTree = phRbTree<phRigidBody*, std::uintptr_t>;
    using BodyLeftWorldCallback = void (*)(phRigidBody* body);

    struct ClassIds {
        std::uint32_t box, null, cone, sphere, convex, ellipse, capsule, cylinder, convexHull, chamferCylinder,
            convexModifier, compound, polygonalSoup;
    };

    phPhysWorld();
    ~phPhysWorld();
    phPhysWorld(const phPhysWorld&) = delete;
    phPhysWorld& operator=(const phPhysWorld&) = delete;

    // A body at the identity, immovable until a mass is set, in the default
    // group and the broadphase, awake. Null when memory runs out.
    phRigidBody* CreateBody(phCollision* collision);
    void DestroyBody(phRigidBody* body);
    // Into the awake set; the activation callback hears 1 when it was inactive.
    void WakeBody(phRigidBody* body);
    // Out of the awake set, without callbacks.
    void RemoveFromAwake(phRigidBody* body);

    phBroadphase& GetBroadphase() { return m_broadphase; }
    const ClassIds& GetClassIds() const { return m_classIds; }
    BodyTree& Bodies() { return m_bodies; }
    BodyTree& Awake() { return m_awake; }
    BodyTree& Flagged() { return m_flagged; }
    std::uint32_t BodyCount() const { return m_bodyCount; }

    // The current step and its inverse.
    void SetTimeStep(float dt);
    float TimeStep() const { return m_timeStep; }
    float InverseTimeStep() const { return m_invTimeStep; }

    BodyLeftWorldCallback bodyLeftWorldCallback = nullptr;

private:
    struct alignas(16) BodyStorage {
        unsigned char bytes[sizeof(phRigidBody)];
    };

    phBroadphase m_broadphase;
    BodyTree m_bodies;
    BodyTree m_awake;
    BodyTree m_flagged;
    phObjectPool<BodyStorage> m_bodyPool;
    ClassIds m_classIds{};
    std::uint32_t m_bodyCount = 0;
    std::uint32_t m_lastBodyId = 0;
    float m_timeStep = 1.0f / 60.0f;
    float m_invTimeStep = 60.0f;
};
