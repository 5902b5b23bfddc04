#include "physics/joint.h"

#include <cmath>

#include "physics/maths.h"
#include "physics/rigid_body.h"
#include "physics/row_solver.h"
#include "physics/world.h"

namespace {

phVec4 Dir(const phVec4& v) { return {v.x, v.y, v.z, 0.0f}; }

}  // namespace

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
    if (world != nullptr) {
        world->QueueRelease(this);
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

phJointPoint phJoint::JointPoint(const phVec4& childPoint, const phVec4& parentPoint) const
{
    phJointPoint p;
    p.pointChild = childPoint;
    p.pointParent = parentPoint;
    p.stiffness = stiffness;
    if (child != nullptr) {
        p.armChild = Dir(childPoint - child->globalCentre);
        p.velocityChild = Dir(child->velocity + phCross(child->omega, p.armChild));
        p.centripetalChild = Dir(phCross(child->omega, phCross(child->omega, p.armChild)));
    }
    if (parent != nullptr) {
        p.armParent = Dir(parentPoint - parent->globalCentre);
        p.velocityParent = Dir(parent->velocity + phCross(parent->omega, p.armParent));
        p.centripetalParent = Dir(phCross(parent->omega, phCross(parent->omega, p.armParent)));
    }
    return p;
}

void phJoint::AddLinearRow(phRowParams& params, int row, const phVec4& d, const phJointPoint& p,
                           float* forceSlot) const
{
    if (row < 0 || row >= phRowParams::kMaxRows) {
        return;
    }
    const phVec4 dir = Dir(d);
    phJacobianRow& j = params.jacobian[row];
    j.linearA = dir;
    j.angularA = Dir(phCross(p.armChild, dir));
    if (parent != nullptr) {
        j.linearB = Dir(-dir);
        j.angularB = Dir(-phCross(p.armParent, dir));
    } else {
        j.linearB = {};
        j.angularB = {};
    }
    float c = phDot(p.centripetalParent - p.centripetalChild, dir);
    c = c < -kMaxCentripetal ? -kMaxCentripetal : (c > kMaxCentripetal ? kMaxCentripetal : c);
    const float e = phDot(p.pointParent - p.pointChild, dir);
    const float v = phDot(p.velocityParent - p.velocityChild, dir);
    const float h = params.timeStep;
    const float k = kSpring * h + kDamper;
    params.target[row] = (kSpring * e + k * v) / (k * h + 1.0f) + c;
    params.regularisation[row] = p.stiffness;
    params.bounds[row] = phRowBounds();
    params.bounds[row].forceSlot = forceSlot;
}

void phJoint::AddAngularRow(phRowParams& params, int row, const phVec4& axis, float rowStiffness,
                            float angleError, float* forceSlot) const
{
    if (row < 0 || row >= phRowParams::kMaxRows) {
        return;
    }
    const phVec4 a = Dir(axis);
    phJacobianRow& j = params.jacobian[row];
    j.linearA = {};
    j.angularA = a;
    j.linearB = {};
    j.angularB = parent != nullptr ? Dir(-a) : phVec4{};
    const phVec4 wChild = child != nullptr ? child->omega : phVec4{};
    const phVec4 wParent = parent != nullptr ? parent->omega : phVec4{};
    const float w = phDot(wParent - wChild, a);
    const float h = params.timeStep;
    const float k = kSpring * h + kDamper;
    params.target[row] = (kSpring * angleError + k * w) / (k * h + 1.0f);
    params.regularisation[row] = rowStiffness;
    params.bounds[row] = phRowBounds();
    params.bounds[row].forceSlot = forceSlot;
}

void phJoint::ApplyMotor(phRowParams& params, int row, const phJointMotor& motor)
{
    if (row < 0 || row >= phRowParams::kMaxRows) {
        return;
    }
    params.target[row] = motor.acceleration;
    if (motor.minForce > -phJointMotor::kUnbounded || motor.maxForce < phJointMotor::kUnbounded) {
        params.bounds[row].low = motor.minForce;
        params.bounds[row].high = motor.maxForce;
        params.bounds[row].normalIndex = phRowBounds::kClamped;
    }
}

bool phMakeJointFrame(const phVec4& pivot, const phVec4& pin, phMat4& out)
{
    const float len = phLength(pin);
    if (!(len > 1e-6f) || !std::isfinite(len) || !phIsFinite(pivot)) {
        return false;
    }
    const phVec4 a = Dir(pin * (1.0f / len));
    // The second axis across the pin from the world axis least like it.
    const phVec4 helper = std::fabs(a.x) < 0.57f ? phVec4{1, 0, 0, 0} : phVec4{0, 1, 0, 0};
    phVec4 b = Dir(phCross(a, helper));
    b = b * (1.0f / phLength(b));
    const phVec4 c = Dir(phCross(a, b));
    out[0] = a;
    out[1] = b;
    out[2] = c;
    out[3] = {pivot.x, pivot.y, pivot.z, 1.0f};
    return true;
}

bool phJoint::Attach(phPhysWorld& owner, phRigidBody* childBody, phRigidBody* parentBody, const phVec4& pivot,
                     const phVec4& pin)
{
    phMat4 frame;
    if (childBody == nullptr || childBody == parentBody || !owner.HoldsBody(childBody) ||
        (parentBody != nullptr && !owner.HoldsBody(parentBody)) || !phMakeJointFrame(pivot, pin, frame)) {
        return false;
    }
    if (!owner.AttachConstraint(this, childBody, parentBody)) {
        return false;
    }
    world = &owner;
    childFrame = phMultiply(frame, InverseRigid(childBody->matrix));
    parentFrame = parentBody != nullptr ? phMultiply(frame, InverseRigid(parentBody->matrix)) : frame;
    for (phRigidBody* body : {childBody, parentBody}) {
        if (body != nullptr && !body->IsImmovable()) {
            owner.WakeBody(body);
        }
    }
    return true;
}
