#pragma once

#include "physics/constraint.h"
#include "physics/mat4.h"

// Base of the joint classes: frames, stiffness, force slots and the
// destruction callback. The stored stiffness is the rows' regularisation
// factor e = 5 - 4·s for the user's stiffness s in [0, 1].
class phJoint : public phConstraint {
public:
    static constexpr float kDefaultStiffness = 0.9f;

    phJoint() = default;

    void SetDestructionCallback(DestructionCallback callback) override { destructionCallback = callback; }
    float GetStiffness() const override { return (5.0f - stiffness) * 0.25f; }
    // s is clamped to [0, 1]; a NaN stays NaN.
    void SetStiffness(float s) override;
    // Six rows, class 9, identity frames, stiffness 0.9, no forces, no callback.
    void Reset() override;
    ~phJoint() override = default;
    void CallDestructionCallback() override;
    bool IsJointGraphLink() const override { return true; }

    // Frame 0 (child) and frame 1 (parent) in world space and the Euler
    // angles of frame1 × inverse(frame0); returns outAngles.
    phVec4& CalcFramesAndAngles(phVec4& outAngles, phMat4& outFrame0, phMat4& outFrame1) const;

    phMat4 childFrame;
    phMat4 parentFrame;
    float stiffness = 1.4f;
    float forces[6] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    DestructionCallback destructionCallback = nullptr;
};
