#pragma once

#include <cstdint>

#include "physics/joint.h"

class phPhysWorld;

// The bilateral joints. Each ties its child to its parent (or, without one,
// to the world) and writes its rows when the solver asks; a joint with a
// motor or limit asks its callback every step whether to add that row.
// Records come from the world's pool of their class; Create links them and
// places the joint frame (pivot, first axis = pin) given in world space.

// Point to point, with an optional cone limit on the pin and twist limit
// about it.
class BallJoint : public phJoint {
public:
    enum LimitFlags : std::uint32_t { kConeLimit = 1u << 0, kTwistLimit = 1u << 1 };
    // Called first in every row build, before the frames are taken.
    using Callback = void (*)(BallJoint* joint);

    static BallJoint* Create(phPhysWorld& world, phRigidBody* child, phRigidBody* parent, const phVec4& pivot,
                             const phVec4& pin);
    // Angles in radians; a negative angle turns that limit off.
    void SetConeLimit(float angle);
    void SetTwistLimit(float angle);

    int BuildRows(phRowParams& params) override;

    // The relative rotation's angles, negated, and its fourth value.
    phVec4 angles;
    std::uint32_t limitFlags = 0;
    float coneAngle = 0.0f;
    float twistLimit = 0.0f;
    float coneCos = 1.0f;
    Callback callback = nullptr;
};

// Turns about the pin only.
class HingeJoint : public phJoint {
public:
    // Nonzero adds the motor or limit row about the pin.
    using Callback = std::uint32_t (*)(HingeJoint* joint, phJointMotor* motor);

    static HingeJoint* Create(phPhysWorld& world, phRigidBody* child, phRigidBody* parent, const phVec4& pivot,
                              const phVec4& pin);
    int BuildRows(phRowParams& params) override;

    float angle = 0.0f;
    Callback callback = nullptr;
};

// Slides along the pin only.
class SliderJoint : public phJoint {
public:
    using Callback = std::uint32_t (*)(SliderJoint* joint, phJointMotor* motor);

    static SliderJoint* Create(phPhysWorld& world, phRigidBody* child, phRigidBody* parent, const phVec4& pivot,
                               const phVec4& pin);
    int BuildRows(phRowParams& params) override;

    float position = 0.0f;
    Callback callback = nullptr;
};

// Slides along and turns about the pin.
class CylinderJoint : public phJoint {
public:
    // motors[0] the slide, motors[1] the turn; bit 0 and bit 1 of the result
    // ask for their rows.
    using Callback = std::uint32_t (*)(CylinderJoint* joint, phJointMotor* motors);

    static CylinderJoint* Create(phPhysWorld& world, phRigidBody* child, phRigidBody* parent, const phVec4& pivot,
                                 const phVec4& pin);
    int BuildRows(phRowParams& params) override;

    float angle = 0.0f;
    float position = 0.0f;
    Callback callback = nullptr;
};

// A universal joint: the child turns about its pin, and about the parent
// frame's second axis, which stays at right angles to the child's pin.
class CrossJoint : public phJoint {
public:
    // motors[0] about the child's pin, motors[1] about the parent's second axis.
    using Callback = std::uint32_t (*)(CrossJoint* joint, phJointMotor* motors);

    static CrossJoint* Create(phPhysWorld& world, phRigidBody* child, phRigidBody* parent, const phVec4& pivot,
                              const phVec4& pin, const phVec4& parentAxis);
    int BuildRows(phRowParams& params) override;

    float angles[2] = {0.0f, 0.0f};
    Callback callback = nullptr;
};

// Keeps the child's pin parallel to the parent frame's pin; positions are
// free and the linked bodies still collide.
class AlignJoint : public phJoint {
public:
    static constexpr float kAlignedSq = 1e-06f;

    static AlignJoint* Create(phPhysWorld& world, phRigidBody* child, phRigidBody* parent, const phVec4& pin);
    bool IsJointGraphLink() const override { return false; }
    int BuildRows(phRowParams& params) override;
};
