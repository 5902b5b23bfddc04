#pragma once

#include <cstdint>

class phRigidBody;
class phConstraint;
struct phRowParams;

// One end of a constraint in a body's circular list of constraints. The
// partner is the link in the other body's list (null for a joint to the world).
struct phConstraintLink {
    phConstraintLink* partner = nullptr;
    phConstraintLink* prev = nullptr;
    phConstraintLink* next = nullptr;
    phRigidBody* other = nullptr;
    phConstraint* constraint = nullptr;
};

// Header shared by contact constraints and joints. The virtual operations
// keep one order for every constraint class.
class phConstraint {
public:
    // Class ids the world and the solver tell constraints apart by.
    static constexpr std::uint16_t kClassContact = 3;
    static constexpr std::uint16_t kClassVehicle = 8;
    static constexpr std::uint16_t kClassJoint = 9;

    using DestructionCallback = void (*)(phConstraint* constraint);

    phConstraint() = default;
    phConstraint(const phConstraint&) = delete;
    phConstraint& operator=(const phConstraint&) = delete;

    virtual void SetDestructionCallback(DestructionCallback callback) = 0;
    virtual float GetStiffness() const { return 1.0f; }
    virtual void SetStiffness(float) {}
    // Clears the bodies and the two words after them and the two flag
    // bytes; six rows, class 9.
    virtual void Reset();
    virtual ~phConstraint() = default;
    virtual void CallDestructionCallback() = 0;
    // True when the two bodies must not collide because this links them.
    virtual bool IsJointGraphLink() const { return false; }
    virtual float ReservedQuery() const { return 0.0f; }
    // Fills rows 0..n-1 of params and returns n (at most maxRows).
    virtual int BuildRows(phRowParams& params) = 0;

    // Child and parent; the parent may be null (a joint to the world).
    phRigidBody* child = nullptr;
    phRigidBody* parent = nullptr;
    phConstraintLink* link = nullptr;
    std::uintptr_t counter = 0;
    // Byte 0: collision between the two bodies allowed (contacts set it).
    std::uint8_t flagBytes[2] = {0, 0};
    std::uint16_t maxRows = 6;
    std::uint16_t classId = kClassJoint;
    std::uint64_t stamp = 0;
    std::uint64_t secondStamp = 0;
    std::uint8_t touched = 0;
    // Set while the world's island walk has listed the constraint.
    std::uint8_t walkMark = 0;
};
