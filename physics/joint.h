#pragma once

#include <cstdint>

#include "physics/constraint.h"
#include "physics/mat4.h"

class phPhysWorld;
struct phRowParams;

// The two points a joint row holds together, one on each body, with what the
// row needs of their motion. Without a parent its half is zero.
struct phJointPoint {
    phVec4 armChild;
    phVec4 armParent;
    phVec4 pointChild;
    phVec4 pointParent;
    phVec4 velocityChild;
    phVec4 velocityParent;
    phVec4 centripetalChild;
    phVec4 centripetalParent;
    float stiffness = 0.0f;
};

// What a motor or limit callback fills for one free direction of a joint.
struct phJointMotor {
    static constexpr float kUnbounded = 1e15f;

    float acceleration = 0.0f;
    float minForce = -kUnbounded;
    float maxForce = kUnbounded;
    float timeStep = 0.0f;
};

// Base of the joint classes: frames, stiffness, force slots and the
// destruction callback. The stored stiffness is the rows' regularisation
// factor e = 5 - 4·s for the user's stiffness s in [0, 1].
class phJoint : public phConstraint {
public:
    static constexpr float kDefaultStiffness = 0.9f;
    // Every joint direction is a stiff spring with damping, stepped implicitly.
    static constexpr float kSpring = 1500.0f;
    static constexpr float kDamper = 100.0f;
    static constexpr float kMaxCentripetal = 10000.0f;
    // Distance of the second point that holds a direction.
    static constexpr float kPinOffset = 16.0f;

    // The pool a joint's record comes from and returns to.
    enum class Type : std::uint8_t { Ball, Hinge, Slider, Cylinder, Cross, Align };

    phJoint() = default;

    void SetDestructionCallback(DestructionCallback callback) override { destructionCallback = callback; }
    float GetStiffness() const override { return (5.0f - stiffness) * 0.25f; }
    // s is clamped to [0, 1]; a NaN stays NaN.
    void SetStiffness(float s) override;
    // Six rows, class 9, identity frames, stiffness 0.9, no forces, no callback.
    void Reset() override;
    ~phJoint() override = default;
    // Calls the destruction callback; a joint of a world then goes on the
    // world's release queue, which gives the record back to its pool.
    void CallDestructionCallback() override;
    bool IsJointGraphLink() const override { return true; }

    // Frame 0 (child) and frame 1 (parent) in world space and the Euler
    // angles of frame1 × inverse(frame0); returns outAngles.
    phVec4& CalcFramesAndAngles(phVec4& outAngles, phMat4& outFrame0, phMat4& outFrame1) const;

    // Shared row operations. Directions and axes are unit length.
    phJointPoint JointPoint(const phVec4& childPoint, const phVec4& parentPoint) const;
    void AddLinearRow(phRowParams& params, int row, const phVec4& d, const phJointPoint& point,
                      float* forceSlot) const;
    void AddAngularRow(phRowParams& params, int row, const phVec4& axis, float rowStiffness, float angleError,
                       float* forceSlot) const;
    // Makes row a motor or limit row from what a callback filled.
    static void ApplyMotor(phRowParams& params, int row, const phJointMotor& motor);

    phMat4 childFrame;
    phMat4 parentFrame;
    float stiffness = 1.4f;
    float forces[6] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    DestructionCallback destructionCallback = nullptr;
    // Set while the joint belongs to a world.
    phPhysWorld* world = nullptr;
    Type type = Type::Ball;

    // Links the reset joint to child and parent (null: the world) and places
    // the joint frame, given in world space, in both bodies. False, and the
    // joint left unlinked, when the bodies cannot be joined (no child, the
    // same body twice, a pin of no length) or memory runs out.
    bool Attach(phPhysWorld& owner, phRigidBody* child, phRigidBody* parent, const phVec4& pivot,
                const phVec4& pin);
};

// A unit frame whose first axis is pin (normalised) at pivot; false when
// pin has no length.
bool phMakeJointFrame(const phVec4& pivot, const phVec4& pin, phMat4& out);
