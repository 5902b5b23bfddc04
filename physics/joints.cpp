#include "physics/joints.h"

#include <cmath>

#include "physics/maths.h"
#include "physics/rigid_body.h"
#include "physics/row_solver.h"
#include "physics/world.h"

namespace {

constexpr float kFeedback = 1.1f;
constexpr float kFeedbackSpeed = 0.001f;
constexpr float kConeFloor = -0.9999f;
constexpr float kConeEpsilon = 1e-08f;

phVec4 Dir(const phVec4& v) { return {v.x, v.y, v.z, 0.0f}; }
phVec4 Point(const phVec4& v) { return {v.x, v.y, v.z, 1.0f}; }

template <typename T>
T* CreateJoint(phObjectPool<T>& pool, phJoint::Type type, phPhysWorld& world, phRigidBody* child,
               phRigidBody* parent, const phVec4& pivot, const phVec4& pin)
{
    T* joint = pool.Alloc();
    if (joint == nullptr) {
        return nullptr;
    }
    joint->Reset();
    joint->type = type;
    if (!joint->Attach(world, child, parent, pivot, pin)) {
        pool.Free(joint);
        return nullptr;
    }
    return joint;
}

// A limit row only pushes back: low bound 0, and a target that closes the
// error e (at 16 units out) within one step.
void MakeUnilateral(phRowParams& params, int row, const phVec4& d, const phJointPoint& p, float e)
{
    float v = phDot(p.velocityParent - p.velocityChild, d);
    if (v > kFeedbackSpeed) {
        v *= kFeedback;
    }
    params.target[row] = (phJoint::kPinOffset * e + v) * params.invTimeStep;
    params.bounds[row].low = 0.0f;
    params.bounds[row].normalIndex = phRowBounds::kUnilateral;
}

}  // namespace

// ---------------------------------------------------------------- ball

BallJoint* BallJoint::Create(phPhysWorld& world, phRigidBody* child, phRigidBody* parent, const phVec4& pivot,
                             const phVec4& pin)
{
    BallJoint* joint = CreateJoint(world.JointPools().ball, Type::Ball, world, child, parent, pivot, pin);
    if (joint != nullptr) {
        joint->angles = {};
        joint->limitFlags = 0;
        joint->coneAngle = 0.0f;
        joint->twistLimit = 0.0f;
        joint->coneCos = 1.0f;
        joint->callback = nullptr;
    }
    return joint;
}

void BallJoint::SetConeLimit(float angle)
{
    if (!(angle >= 0.0f)) {
        limitFlags &= ~kConeLimit;
        return;
    }
    limitFlags |= kConeLimit;
    coneAngle = angle;
    coneCos = std::cos(angle);
}

void BallJoint::SetTwistLimit(float angle)
{
    if (!(angle >= 0.0f)) {
        limitFlags &= ~kTwistLimit;
        return;
    }
    limitFlags |= kTwistLimit;
    twistLimit = angle;
}

int BallJoint::BuildRows(phRowParams& params)
{
    if (callback != nullptr) {
        callback(this);
    }
    phVec4 a;
    phMat4 f0, f1;
    CalcFramesAndAngles(a, f0, f1);
    angles = {-a.x, -a.y, -a.z, a.w};
    const phJointPoint pivot = JointPoint(f0[3], f1[3]);
    for (int i = 0; i < 3; ++i) {
        AddLinearRow(params, i, f0[i], pivot, &forces[i]);
    }
    int rows = 3;
    if ((limitFlags & kTwistLimit) != 0) {
        const float x = a.x;
        float e = 0.0f;
        phVec4 d;
        if (x > twistLimit) {
            e = x - twistLimit;
            d = Dir(f0[2]);
        } else if (x < -twistLimit) {
            e = -twistLimit - x;
            d = Dir(-f0[2]);
        }
        if (e > 0.0f) {
            const phVec4 q = Point(f0[3] + f0[1] * kPinOffset);
            const phJointPoint p = JointPoint(q, q);
            AddLinearRow(params, rows, d, p, &forces[3]);
            MakeUnilateral(params, rows, d, p, e);
            ++rows;
        }
    }
    if ((limitFlags & kConeLimit) != 0) {
        const float c = phDot(f0[0], f1[0]);
        if (c < coneCos) {
            const phVec4 q = Point(f0[3] + f0[0] * kPinOffset);
            const phJointPoint p = JointPoint(q, q);
            const phVec4 cross = Dir(phCross(f0[0], f1[0]));
            const phVec4 d1 = cross * (1.0f / std::sqrt(phLengthSq(cross) + kConeEpsilon));
            AddLinearRow(params, rows, d1, p, &forces[rows]);
            ++rows;
            const phVec4 d2 = Dir(phCross(d1, f0[0]));
            AddLinearRow(params, rows, d2, p, &forces[rows]);
            const float clamped = c < kConeFloor ? kConeFloor : (c > 1.0f ? 1.0f : c);
            MakeUnilateral(params, rows, d2, p, std::acos(clamped) - coneAngle);
            ++rows;
        }
    }
    return rows;
}

// ---------------------------------------------------------------- hinge

HingeJoint* HingeJoint::Create(phPhysWorld& world, phRigidBody* child, phRigidBody* parent, const phVec4& pivot,
                               const phVec4& pin)
{
    HingeJoint* joint = CreateJoint(world.JointPools().hinge, Type::Hinge, world, child, parent, pivot, pin);
    if (joint != nullptr) {
        joint->angle = 0.0f;
        joint->callback = nullptr;
    }
    return joint;
}

int HingeJoint::BuildRows(phRowParams& params)
{
    phVec4 a;
    phMat4 f0, f1;
    CalcFramesAndAngles(a, f0, f1);
    angle = -a.x;
    const phJointPoint pivot = JointPoint(f0[3], f1[3]);
    for (int i = 0; i < 3; ++i) {
        AddLinearRow(params, i, f0[i], pivot, &forces[i]);
    }
    const phJointPoint pin = JointPoint(Point(f0[3] + f0[0] * kPinOffset), Point(f1[3] + f1[0] * kPinOffset));
    AddLinearRow(params, 3, f0[1], pin, &forces[3]);
    AddLinearRow(params, 4, f0[2], pin, &forces[4]);
    if (callback != nullptr) {
        phJointMotor motor;
        motor.timeStep = params.timeStep;
        if (callback(this, &motor) != 0) {
            AddAngularRow(params, 5, f0[0], stiffness, 0.0f, &forces[5]);
            ApplyMotor(params, 5, motor);
            return 6;
        }
    }
    return 5;
}

// ---------------------------------------------------------------- slider and cylinder

namespace {

// The parent's pivot carried along the parent's pin to the child's pivot,
// so the rows across the pin leave the slide free; s is the slide position.
phVec4 SlidePivot(const phMat4& f0, const phMat4& f1, float& s)
{
    s = phDot(f0[3] - f1[3], f0[0]);
    phVec4 p = f1[3] + f1[0] * s;
    p = p + f1[0] * phDot(f0[3] - p, f1[0]);
    return Point(p);
}

// Rows 0-3 of the slider and the cylinder: across the pin at the pivot and
// at the pin offset.
void SlideRows(const phJoint& joint, phRowParams& params, const phMat4& f0, const phMat4& f1, const phVec4& pivot1,
               float* forces)
{
    const phJointPoint at = joint.JointPoint(f0[3], pivot1);
    joint.AddLinearRow(params, 0, f0[1], at, &forces[0]);
    joint.AddLinearRow(params, 1, f0[2], at, &forces[1]);
    const phJointPoint pin = joint.JointPoint(Point(f0[3] + f0[0] * phJoint::kPinOffset),
                                              Point(pivot1 + f1[0] * phJoint::kPinOffset));
    joint.AddLinearRow(params, 2, f0[1], pin, &forces[2]);
    joint.AddLinearRow(params, 3, f0[2], pin, &forces[3]);
}

}  // namespace

SliderJoint* SliderJoint::Create(phPhysWorld& world, phRigidBody* child, phRigidBody* parent, const phVec4& pivot,
                                 const phVec4& pin)
{
    SliderJoint* joint = CreateJoint(world.JointPools().slider, Type::Slider, world, child, parent, pivot, pin);
    if (joint != nullptr) {
        joint->position = 0.0f;
        joint->callback = nullptr;
    }
    return joint;
}

int SliderJoint::BuildRows(phRowParams& params)
{
    phVec4 a;
    phMat4 f0, f1;
    CalcFramesAndAngles(a, f0, f1);
    const phVec4 pivot1 = SlidePivot(f0, f1, position);
    SlideRows(*this, params, f0, f1, pivot1, forces);
    const phJointPoint side = JointPoint(Point(f0[3] + f0[1] * kPinOffset), Point(pivot1 + f1[1] * kPinOffset));
    AddLinearRow(params, 4, f0[2], side, &forces[4]);
    if (callback != nullptr) {
        phJointMotor motor;
        motor.timeStep = params.timeStep;
        if (callback(this, &motor) != 0) {
            AddLinearRow(params, 5, f0[0], JointPoint(f0[3], pivot1), &forces[5]);
            ApplyMotor(params, 5, motor);
            return 6;
        }
    }
    return 5;
}

CylinderJoint* CylinderJoint::Create(phPhysWorld& world, phRigidBody* child, phRigidBody* parent,
                                     const phVec4& pivot, const phVec4& pin)
{
    CylinderJoint* joint =
        CreateJoint(world.JointPools().cylinder, Type::Cylinder, world, child, parent, pivot, pin);
    if (joint != nullptr) {
        joint->angle = 0.0f;
        joint->position = 0.0f;
        joint->callback = nullptr;
    }
    return joint;
}

int CylinderJoint::BuildRows(phRowParams& params)
{
    phVec4 a;
    phMat4 f0, f1;
    CalcFramesAndAngles(a, f0, f1);
    angle = -a.x;
    const phVec4 pivot1 = SlidePivot(f0, f1, position);
    SlideRows(*this, params, f0, f1, pivot1, forces);
    int rows = 4;
    if (callback != nullptr) {
        phJointMotor motors[2];
        motors[0].timeStep = motors[1].timeStep = params.timeStep;
        const std::uint32_t ask = callback(this, motors);
        if ((ask & 1u) != 0) {
            AddLinearRow(params, rows, f0[0], JointPoint(f0[3], pivot1), &forces[rows]);
            ApplyMotor(params, rows, motors[0]);
            ++rows;
        }
        if ((ask & 2u) != 0) {
            AddAngularRow(params, rows, f0[0], stiffness, 0.0f, &forces[rows]);
            ApplyMotor(params, rows, motors[1]);
            ++rows;
        }
    }
    return rows;
}

// ---------------------------------------------------------------- cross

CrossJoint* CrossJoint::Create(phPhysWorld& world, phRigidBody* child, phRigidBody* parent, const phVec4& pivot,
                               const phVec4& pin, const phVec4& parentAxis)
{
    // The parent's second axis is parentAxis made square to the pin.
    const float pinLength = phLength(pin);
    if (!(pinLength > 1e-6f) || !std::isfinite(pinLength)) {
        return nullptr;
    }
    const phVec4 a = Dir(pin * (1.0f / pinLength));
    const phVec4 across = Dir(parentAxis - a * phDot(parentAxis, a));
    const float acrossLength = phLength(across);
    if (!(acrossLength > 1e-6f) || !std::isfinite(acrossLength)) {
        return nullptr;
    }
    CrossJoint* joint = CreateJoint(world.JointPools().cross, Type::Cross, world, child, parent, pivot, pin);
    if (joint == nullptr) {
        return nullptr;
    }
    phMat4 frame;
    phMakeJointFrame(pivot, pin, frame);
    frame[1] = across * (1.0f / acrossLength);
    frame[2] = Dir(phCross(frame[0], frame[1]));
    joint->childFrame = phMultiply(frame, InverseRigid(child->matrix));
    joint->parentFrame = parent != nullptr ? phMultiply(frame, InverseRigid(parent->matrix)) : frame;
    joint->angles[0] = joint->angles[1] = 0.0f;
    joint->callback = nullptr;
    return joint;
}

int CrossJoint::BuildRows(phRowParams& params)
{
    phVec4 a;
    phMat4 f0, f1;
    CalcFramesAndAngles(a, f0, f1);
    const phVec4 pin = Dir(f0[0]);
    const phVec4 second = Dir(f1[1]);
    const phVec4 c = Dir(phCross(pin, second));
    // The offset axis points at the parent's second axis, so the two offset
    // points meet while the pin stays square to that axis.
    phVec4 u = Dir(phCross(c, pin));
    const float uLength = phLength(u);
    u = uLength > 0.0f ? u * (1.0f / uLength) : phVec4{};
    const phJointPoint pivot = JointPoint(f0[3], f1[3]);
    AddLinearRow(params, 0, pin, pivot, &forces[0]);
    AddLinearRow(params, 1, second, pivot, &forces[1]);
    AddLinearRow(params, 2, c, pivot, &forces[2]);
    const phJointPoint offset = JointPoint(Point(f0[3] + u * kPinOffset), Point(f1[3] + second * kPinOffset));
    AddLinearRow(params, 3, pin, offset, &forces[3]);
    // Turn of the child about its pin, and of the pin about the parent's
    // second axis, each from the parent's frame.
    angles[0] = std::atan2(-phDot(second, f0[2]), phDot(second, f0[1]));
    angles[1] = std::atan2(-phDot(pin, f1[2]), phDot(pin, f1[0]));
    int rows = 4;
    if (callback != nullptr) {
        phJointMotor motors[2];
        motors[0].timeStep = motors[1].timeStep = params.timeStep;
        const std::uint32_t ask = callback(this, motors);
        if ((ask & 1u) != 0) {
            AddAngularRow(params, rows, pin, stiffness, 0.0f, &forces[rows]);
            ApplyMotor(params, rows, motors[0]);
            ++rows;
        }
        if ((ask & 2u) != 0) {
            AddAngularRow(params, rows, second, stiffness, 0.0f, &forces[rows]);
            ApplyMotor(params, rows, motors[1]);
            ++rows;
        }
    }
    return rows;
}

// ---------------------------------------------------------------- align

AlignJoint* AlignJoint::Create(phPhysWorld& world, phRigidBody* child, phRigidBody* parent, const phVec4& pin)
{
    const phVec4 pivot = child != nullptr ? child->matrix[3] : phVec4{0, 0, 0, 1};
    return CreateJoint(world.JointPools().align, Type::Align, world, child, parent, pivot, pin);
}

int AlignJoint::BuildRows(phRowParams& params)
{
    phVec4 a;
    phMat4 f0, f1;
    CalcFramesAndAngles(a, f0, f1);
    phVec4 c = Dir(phCross(f0[0], f1[0]));
    const float lengthSq = phLengthSq(c);
    if (lengthSq <= kAlignedSq) {
        AddAngularRow(params, 0, f0[1], stiffness, 0.0f, &forces[0]);
        AddAngularRow(params, 1, f0[2], stiffness, 0.0f, &forces[1]);
        return 2;
    }
    const float length = std::sqrt(lengthSq);
    c = c * (1.0f / length);
    // Rounding can take |c| a little past 1.
    AddAngularRow(params, 0, c, stiffness, std::asin(length < 1.0f ? length : 1.0f), &forces[0]);
    AddAngularRow(params, 1, Dir(phCross(c, f0[0])), stiffness, 0.0f, &forces[1]);
    return 2;
}
