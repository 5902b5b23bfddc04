#pragma once

#include <cstdint>

#include "physics/constraint.h"
#include "physics/mat4.h"

class phPhysWorld;
class phCollision;
class phRigidBody;
struct phMaterialPair;
struct phRowParams;
class VehicleSolver;

// What a tire's collision carries beside its shape: the tire's contacts of
// the current step, which the vehicle joint takes from the chassis' contact
// constraints after each collision pass.
struct VehicleTireCache {
    static constexpr int kRoom = 6;

    struct Copy {
        phRigidBody* body0 = nullptr;
        phCollision* collision0 = nullptr;
        phRigidBody* body1 = nullptr;
        phCollision* collision1 = nullptr;
        phVec4 point;
        // w holds the sort key.
        phVec4 normal;
        float staticFriction[2] = {0.0f, 0.0f};
        float kineticFriction[2] = {0.0f, 0.0f};
        float penetration = 0.0f;
    };
    struct Pair {
        phRigidBody* body0 = nullptr;
        phCollision* collision0 = nullptr;
        phRigidBody* body1 = nullptr;
        phCollision* collision1 = nullptr;
    };

    // The collision's matrix in chassis space, rewritten every request.
    phMat4 matrix;
    // Added along the up axis when the matrix is written.
    float furtherOffset = 0.0f;
    // A contact farther than this from the tire's centre gets a radial normal.
    float radiusSq = 0.0f;
    std::int32_t copyCount = 0;
    std::int32_t selectedCount = 0;
    std::int32_t pairCount = 0;
    Copy copies[kRoom];
    Pair pairs[kRoom];
    phMaterialPair* selected[kRoom] = {};
};

// What the owner sets once for a tire.
struct VehicleTireDesc {
    // The tire's frame in chassis space; its position row is the mount point.
    phMat4 localMatrix;
    // First factor of the collision matrix, before the spin.
    phMat4 baseMatrix;
    // Spin axis in tire space.
    phVec4 pin = {1.0f, 0.0f, 0.0f, 0.0f};
    float mass = 1.0f;
    // |spin velocity| × this never exceeds 400.
    float spinLimitFactor = 1.0f;
    float suspensionDamper = 0.0f;
    float suspensionSpring = 0.0f;
    float inverseMass = 1.0f;
    // One scalar for all three axes.
    float inverseInertia = 1.0f;
};

// One tire of a vehicle, a node of its tire list.
struct VehicleTire {
    VehicleTire* next = nullptr;
    VehicleTire* prev = nullptr;
    phMat4 localMatrix;
    phMat4 baseMatrix;
    phVec4 pin;
    // Force the mount rows put on the tire in the last solve.
    phVec4 mountReaction;
    float mass = 0.0f;
    float spinLimitFactor = 0.0f;
    float suspensionDamper = 0.0f;
    float suspensionSpring = 0.0f;
    phCollision* collision = nullptr;
    VehicleTireCache* cache = nullptr;
    float inverseMass = 0.0f;
    float inverseInertia = 0.0f;
    // Reset by every request; the update callback may set those after load.
    float load = 0.0f;
    float driveTorque = 0.0f;
    // Written by every request for the owner.
    float sideSpeed = 0.0f;
    float forwardSpeed = 0.0f;
    float lateralRegularisation = 0.0f;
    float lateralSkidSpeed = 0.5f;
    float longitudinalRegularisation = 0.0f;
    float longitudinalSkidSpeed = 0.5f;
    float brakeTarget = 0.0f;
    float brakeLimit = 0.0f;
    // Carried from request to request.
    float suspensionPosition = 0.0f;
    float spinAngle = 0.0f;
    float suspensionVelocity = 0.0f;
    float spinVelocity = 0.0f;
    std::int32_t privateIndex = 0;
    std::uint8_t airborne = 1;
    std::uint8_t longitudinalSkid = 0;
    std::uint8_t lateralSkid = 0;
};

// The constraint of class 8: a chassis and its tires. Asked for rows, it
// simulates the chassis, its tires and what they touch with a small solver
// of its own, turns the chassis' change of motion into a force and a torque,
// puts the chassis back and writes no rows; the world's solver then moves
// the chassis with that force like any other body.
class VehicleJoint : public phConstraint {
public:
    using Callback = void (*)(VehicleJoint* joint);
    static constexpr int kMaxTires = 16;

    VehicleJoint() = default;
    ~VehicleJoint() override;

    // A vehicle on chassis, from the world's pool: linked to the chassis,
    // entered into the world's sub-stepped set, the chassis' collision
    // marked as a vehicle's. Null when the chassis is not a body of the
    // world or memory runs out.
    static VehicleJoint* Create(phPhysWorld& world, phRigidBody* chassis, const phVec4& up);
    // Appends a tire whose collision (one reference taken, marked as a
    // tire's) carries cache; the pin is made unit length. Null when
    // collision or cache is missing, the pin has no length, the vehicle has
    // kMaxTires already or memory runs out.
    VehicleTire* AddTire(const VehicleTireDesc& desc, phCollision* collision, VehicleTireCache* cache);

    void SetDestructionCallback(DestructionCallback callback) override { destructorCallback = callback; }
    // Leaves the sub-stepped set, calls the destructor callback, lets the
    // tires go and queues the record for release.
    void CallDestructionCallback() override;
    int BuildRows(phRowParams& params) override;

    // Takes the contacts of the tires' collisions out of the chassis'
    // contact constraints into the tires' caches.
    void CollectContacts();

    phRigidBody* Chassis() const { return child; }
    VehicleTire* FirstTire() const { return firstTire; }
    std::int32_t TireCount() const { return tireCount; }

    phVec4 up = {0.0f, 1.0f, 0.0f, 0.0f};
    std::int32_t tireCount = 0;
    VehicleTire* lastTire = nullptr;
    VehicleTire* firstTire = nullptr;
    // The current request's rows, for the update callback's time step.
    phRowParams* rowParams = nullptr;
    Callback updateCallback = nullptr;
    DestructionCallback destructorCallback = nullptr;
    phPhysWorld* world = nullptr;
    // Its key in the world's substepped set.
    std::uintptr_t substepKey = 0;

private:
    friend class VehicleSolver;
    void RemoveFirstTire();
    void FreeTires();
    // The private solve of one request with step h.
    void Solve(VehicleSolver& solver, float h);
};
