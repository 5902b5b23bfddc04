#pragma once

#include <cstdint>

#include "physics/broadphase_proxy.h"
#include "physics/collision.h"
#include "physics/mat4.h"
#include "physics/quat.h"
#include "physics/rb_tree.h"

class phPhysWorld;
struct phConstraintLink;

// Called for each body that a ray hits: returns the new upper bound.
using phRayFilter = float (*)(phRigidBody* body, const phVec4& normal, std::int64_t collisionId, void* userData,
                              float t);

// State of one simulated body. Bodies come from the world's pool, zero-filled
// state, and are made and destroyed by the world.
//
// Flag bits as the solver reads them: bit 0 active (awake), bit 1 auto-sleep
// (may sleep), bit 2 equilibrium (at rest), bit 3 keep angular momentum (the
// same bit turns the gyroscopic torque on: a body that keeps its momentum
// when its inertia changes also feels the torque that momentum causes).
class phRigidBody {
public:
    enum Flags : std::uint32_t {
        kFlagActive = 1u << 0,
        kFlagAutoSleep = 1u << 1,
        kFlagEquilibrium = 1u << 2,
        kFlagKeepAngularMomentum = 1u << 3,
        kFlagCollideLinked = 1u << 4,
        kFlagContinuous = 1u << 5,
    };
    static constexpr std::uint32_t kNewBodyFlags = kFlagActive | kFlagAutoSleep | kFlagEquilibrium | kFlagCollideLinked;
    // Mass (and inertia) at or above which a body is immovable.
    static constexpr float kImmovableMass = 1e15f;
    // Largest rotation per step; faster spins are scaled down to it.
    static constexpr float kMaxStepAngle = 0.785398f;

    using ActivationCallback = void (*)(phRigidBody* body, std::uint32_t state);
    using DestructorCallback = void (*)(phRigidBody* body);
    using TransformCallback = void (*)(phRigidBody* body, const phMat4& matrix);
    using ForceTorqueCallback = void (*)(phRigidBody* body);
    using AwakeNode = phRbTree<phRigidBody*, std::uintptr_t>::Node;

    // A body at the identity, immovable, holding one reference to collision
    // (which may be null only in tests of the pieces that ignore it).
    phRigidBody(phPhysWorld* world, phCollision* collision);
    ~phRigidBody();
    phRigidBody(const phRigidBody&) = delete;
    phRigidBody& operator=(const phRigidBody&) = delete;

    void SetMass(float mass, float ixx, float iyy, float izz);
    void SetSolverMass(float ixx, float iyy, float izz, float mass);
    // Stores the matrix, recomputes rotation, centre of mass, collision
    // matrix and box, and hands the box to the broadphase.
    void SetMatrix(const phMat4& matrix);
    void UpdateCollisionMatrixAndBox();
    void Integrate(float dt);
    // The solver's entry: keeps the forces, integrates, reports the new matrix.
    void ApplyForceAndTorqueAndIntegrate(float dt);
    // Applies the impulse that changes the velocity of world point p by dv.
    void AddImpulse(const phVec4& dv, const phVec4& p);
    // Velocities after dt under the accumulated force and torque, with the
    // same spin limit as integration; the body is not changed.
    void PredictVelocities(float dt, phVec4& outVelocity, phVec4& outOmega) const;
    // Inverse inertia in world space; row 3 = (0, 0, 0, 1).
    phMat4 GetWorldInverseInertia() const;
    // Filter result for a hit below upperBound, else upperBound.
    float RayCast(const phVec4& p0, const phVec4& p1, phRayFilter filter, void* userData, float upperBound,
                  phRayPrefilter prefilter = nullptr);
    void SetContinuous(bool on) { flags = on ? (flags | kFlagContinuous) : (flags & ~kFlagContinuous); }
    void* GetUserData() const { return userData; }
    bool IsImmovable() const { return !(invMass.w > 0.0f); }

    phMat4 matrix;
    phMat4 collisionMatrix;
    phQuat rotation;
    phVec4 velocity;
    phVec4 omega;
    phVec4 force;
    phVec4 torque;
    // (Ixx, Iyy, Izz, mass) and their inverses; inverses 0 when immovable.
    phVec4 mass;
    phVec4 invMass;
    phVec4 localCentre;
    phVec4 globalCentre;
    phVec4 boxMin;
    phVec4 boxMax;
    float angularDamping[3] = {0.0f, 0.0f, 0.0f};
    phVec4 solverMass;
    phVec4 prevForce;
    phVec4 prevTorque;
    float sleepThresholds[4] = {0.01f, 0.01f, 0.001f, 0.001f};
    float linearDamping = 0.0f;
    std::uint32_t id = 0;
    std::uint32_t materialGroup = 0;
    phPhysWorld* world = nullptr;
    void* userData = nullptr;
    AwakeNode* awakeNode = nullptr;
    phCollision* collision = nullptr;
    phConstraintLink* constraints = nullptr;
    phBroadphaseProxy proxy;
    bool inBroadphase = false;
    ActivationCallback activationCallback = nullptr;
    DestructorCallback destructorCallback = nullptr;
    TransformCallback transformCallback = nullptr;
    ForceTorqueCallback forceTorqueCallback = nullptr;
    std::uint32_t flags = kNewBodyFlags;
    // The solver's marks: visited (world stamp + 1) or handled (+ 2) in a
    // step, and the body's place in its island.
    std::uint64_t solverStamp = 0;
    std::int32_t islandIndex = 0;
    // The force and torque the callback gave in the step of appliedStamp:
    // an island built again in a later part of that step starts from them.
    phVec4 appliedForce;
    phVec4 appliedTorque;
    std::uint64_t appliedStamp = 0;
};

// Scales omega so that |omega| · dt is at most 45° in one step: by 0.8^k with
// the smallest such k. A non-finite omega becomes zero.
phVec4 phLimitSpin(const phVec4& omega, float dt);
