#include "physics/joint.h"

#include "physics/maths.h"
#include "physics/rigid_body.h"

void phJoint::SetStiffness(float s)
{
    if (s < 0.0f) {
        s = 0.0f;
    }
    if (s > 1.0f) {
        s = 1.0f;
    }
    stiffness = 5.0f - 4.0f * s;
}

void phJoint::Reset()
{
    phConstraint::Reset();
    destructionCallback = nullptr;
    maxRows = 6;
    classId = kClassJoint;
    childFrame = GetIdentityMatrix();
    parentFrame = GetIdentityMatrix();
    SetStiffness(kDefaultStiffness);
    for (float& f : forces) {
        f = 0.0f;
    }
}

void phJoint::CallDestructionCallback()
{
    if (destructionCallback != nullptr) {
        destructionCallback(this);
    }
}

phVec4& phJoint::CalcFramesAndAngles(phVec4& outAngles, phMat4& outFrame0, phMat4& outFrame1) const
{
    outFrame0 = child != nullptr ? phMultiply(childFrame, child->matrix) : childFrame;
    outFrame1 = parent != nullptr ? phMultiply(parentFrame, parent->matrix) : parentFrame;
    const phMat4 relative = phMultiply(outFrame1, InverseRigid(outFrame0));
    outAngles = GetEulerAngles(relative);
    return outAngles;
}
