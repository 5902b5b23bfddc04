#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "physics/api.h"
#include "physics/joints.h"
#include "physics/maths.h"
#include "physics/row_solver.h"

namespace {

constexpr float kStep = 1.0f / 60.0f;
constexpr float kG = 9.8f;
constexpr double kPi = 3.14159265358979323846;

void Gravity(phRigidBody* body) { body->force = {0.0f, -kG * body->mass.w, 0.0f, 0.0f}; }

phMat4 Placed(const phVec4& at, const phQuat& q = phQuat{}) { return MatrixFromQuaternion(q, {at.x, at.y, at.z, 1}); }

// A world of undamped boxes with the engine's solver settings.
struct JointWorld {
    JointWorld()
    {
        world = physWorldCreate(nullptr, nullptr);
        physSetSolverModel(world, 10);
        physSetFrictionModel(world, 1);
    }
    ~JointWorld() { physWorldDestroy(world); }
    JointWorld(const JointWorld&) = delete;
    JointWorld& operator=(const JointWorld&) = delete;

    phRigidBody* Box(float size, const phMat4& at, float mass, physForceCallback forces = Gravity)
    {
        phCollision* shape = physCreateBox(world, size, size, size, nullptr);
        phRigidBody* body = physCreateBody(world, shape);
        physReleaseCollision(world, shape);
        const float inertia = mass * size * size / 6.0f;
        physBodySetMassMatrix(body, mass, inertia, inertia, inertia);
        physBodySetMatrix(body, &at[0].x);
        physBodySetForceAndTorqueCallback(body, forces);
        body->linearDamping = 0.0f;
        for (float& d : body->angularDamping) {
            d = 0.0f;
        }
        // Pendulums pass through rest at their turning points.
        body->flags &= ~phRigidBody::kFlagAutoSleep;
        return body;
    }
    void Run(int steps)
    {
        for (int i = 0; i < steps; ++i) {
            world->Update(kStep);
        }
    }

    phPhysWorld* world = nullptr;
};

phRowParams Params()
{
    phRowParams p;
    p.timeStep = kStep;
    p.invTimeStep = 1.0f / kStep;
    p.PresetBounds(phRowParams::kMaxRows);
    return p;
}

bool IsZero(const phVec4& v) { return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f; }

float Angle(const phVec4& a, const phVec4& b)
{
    const float c = phDot(a, b) / (phLength(a) * phLength(b));
    return std::acos(c > 1.0f ? 1.0f : (c < -1.0f ? -1.0f : c));
}

std::uint32_t g_ask = 0;
std::uint32_t AskHinge(HingeJoint*, phJointMotor*) { return g_ask; }
std::uint32_t AskSlider(SliderJoint*, phJointMotor*) { return g_ask; }
std::uint32_t AskCylinder(CylinderJoint*, phJointMotor*) { return g_ask; }
std::uint32_t AskCross(CrossJoint*, phJointMotor*) { return g_ask; }

}  // namespace

// Rows written per class and callback answer, with and without a parent:
// without one every parent half of every row is zero.
TEST(Joints, RowCountsPerClassAndCallback)
{
    enum Kind { Ball, BallTwist, BallCone, BallBoth, Hinge, Slider, Cylinder, Cross, Align, AlignTurned };
    const struct {
        Kind kind;
        std::uint32_t ask;
        int rows;
    } cases[] = {
        {Ball, 0, 3},   {BallTwist, 0, 4}, {BallCone, 0, 5},  {BallBoth, 0, 6}, {Hinge, 0, 5},
        {Hinge, 1, 6},  {Slider, 0, 5},    {Slider, 1, 6},    {Cylinder, 0, 4}, {Cylinder, 1, 5},
        {Cylinder, 2, 5}, {Cylinder, 3, 6}, {Cross, 0, 4},    {Cross, 2, 5},    {Cross, 3, 6},
        {Align, 0, 2},  {AlignTurned, 0, 2},
    };
    for (bool withParent : {true, false}) {
        for (const auto& c : cases) {
            JointWorld w;
            // Twisted 0.5 about the pin (x) and tilted 0.6 off it.
            phQuat turn = phQuat{};
            if (c.kind == BallTwist || c.kind == BallBoth) {
                turn = phQuatFromAxisAngle({1, 0, 0, 0}, 0.5f);
            }
            if (c.kind == BallCone || c.kind == BallBoth || c.kind == AlignTurned) {
                turn = phQuatMultiply(phQuatFromAxisAngle({0, 0, 1, 0}, 0.6f), turn);
            }
            phRigidBody* parent = withParent ? w.Box(1, Placed({0, 0, 0, 1}), 1) : nullptr;
            phRigidBody* child = w.Box(1, Placed({2, 0, 0, 1}), 1);
            const phVec4 pivot = {1, 0, 0, 1};
            const phVec4 pin = {1, 0, 0, 0};
            phJoint* joint = nullptr;
            g_ask = c.ask;
            switch (c.kind) {
            case Ball:
            case BallTwist:
            case BallCone:
            case BallBoth: {
                BallJoint* b = BallJoint::Create(*w.world, child, parent, pivot, pin);
                b->SetTwistLimit(0.2f);
                b->SetConeLimit(0.3f);
                joint = b;
                break;
            }
            case Hinge: {
                HingeJoint* h = HingeJoint::Create(*w.world, child, parent, pivot, pin);
                h->callback = AskHinge;
                joint = h;
                break;
            }
            case Slider: {
                SliderJoint* s = SliderJoint::Create(*w.world, child, parent, pivot, pin);
                s->callback = AskSlider;
                joint = s;
                break;
            }
            case Cylinder: {
                CylinderJoint* s = CylinderJoint::Create(*w.world, child, parent, pivot, pin);
                s->callback = AskCylinder;
                joint = s;
                break;
            }
            case Cross: {
                CrossJoint* s = CrossJoint::Create(*w.world, child, parent, pivot, pin, {0, 0, 1, 0});
                s->callback = AskCross;
                joint = s;
                break;
            }
            case Align:
            case AlignTurned:
                joint = AlignJoint::Create(*w.world, child, parent, pin);
                break;
            }
            ASSERT_NE(joint, nullptr) << c.kind;
            EXPECT_GE(joint->maxRows, c.rows);
            // Turned after creation, so the frames see it.
            child->SetMatrix(Placed({2, 0, 0, 1}, turn));
            phRowParams p = Params();
            const int rows = joint->BuildRows(p);
            EXPECT_EQ(rows, c.rows) << "kind " << c.kind << " ask " << c.ask << " parent " << withParent;
            for (int r = 0; r < rows && !withParent; ++r) {
                EXPECT_TRUE(IsZero(p.jacobian[r].linearB) && IsZero(p.jacobian[r].angularB)) << c.kind << " " << r;
            }
            for (int r = 0; r < rows; ++r) {
                EXPECT_FLOAT_EQ(p.regularisation[r], joint->stiffness);
                EXPECT_EQ(p.bounds[r].forceSlot, &joint->forces[r]) << c.kind << " row " << r;
            }
            if (c.kind == Cylinder) {
                // The slide row is linear along the pin; the turn row angular about it.
                const int turnRow = c.ask == 2 ? 4 : 5;
                if (c.ask & 1u) {
                    EXPECT_FLOAT_EQ(p.jacobian[4].linearA.x, 1.0f);
                    EXPECT_TRUE(IsZero(p.jacobian[4].angularA));
                }
                if (c.ask & 2u) {
                    EXPECT_TRUE(IsZero(p.jacobian[turnRow].linearA));
                    EXPECT_FLOAT_EQ(p.jacobian[turnRow].angularA.x, 1.0f);
                }
            }
            if (c.kind == Align) {
                // Aligned and at rest: two angular rows that ask for nothing.
                for (int r = 0; r < 2; ++r) {
                    EXPECT_TRUE(IsZero(p.jacobian[r].linearA));
                    EXPECT_FLOAT_EQ(phLength(p.jacobian[r].angularA), 1.0f);
                    EXPECT_FLOAT_EQ(p.target[r], 0.0f);
                }
            }
            if (c.kind == AlignTurned) {
                // Turned 0.6 about z: row 0 about -z asks to turn back by 0.6.
                const double k = 1500.0 * kStep + 100.0;
                EXPECT_NEAR(p.jacobian[0].angularA.z, -1.0f, 1e-5f);
                EXPECT_NEAR(p.target[0], 1500.0 * 0.6 / (k * kStep + 1.0), 0.05);
                EXPECT_FLOAT_EQ(p.target[1], 0.0f);
            }
            if (c.kind == BallTwist || c.kind == BallCone || c.kind == BallBoth) {
                // Limit rows only push back.
                for (int r = 3; r < rows; ++r) {
                    if (p.bounds[r].normalIndex == phRowBounds::kUnilateral) {
                        EXPECT_EQ(p.bounds[r].low, 0.0f);
                        EXPECT_GT(p.target[r], 0.0f);
                    }
                }
            }
        }
    }
}

// The shared linear row against values worked out by hand, with and without
// a parent, and its acceleration term held to ±10000.
TEST(Joints, LinearAndAngularRowsFollowTheSpringLaw)
{
    JointWorld w;
    phRigidBody* parent = w.Box(1, Placed({0, 0, 0, 1}), 1);
    phRigidBody* child = w.Box(1, Placed({2, 0, 0, 1}), 1);
    HingeJoint* joint = HingeJoint::Create(*w.world, child, parent, {1, 0, 0, 1}, {1, 0, 0, 0});
    ASSERT_NE(joint, nullptr);

    phJointPoint p;
    p.armChild = {1, 0, 0, 0};
    p.armParent = {0, 0, 2, 0};
    p.pointChild = {0, 0, 0, 1};
    p.pointParent = {0, 0.1f, 0, 1};
    p.velocityParent = {0, 0.2f, 0, 0};
    p.centripetalChild = {0, 3.0f, 0, 0};
    p.stiffness = 1.4f;
    phRowParams params = Params();
    float slot = 0.0f;
    joint->AddLinearRow(params, 0, {0, 1, 0, 0}, p, &slot);
    const double h = kStep;
    const double k = 1500.0 * h + 100.0;
    const double expected = (1500.0 * 0.1 + k * 0.2) / (k * h + 1.0) + (0.0 - 3.0);
    EXPECT_NEAR(params.target[0], expected, 1e-3);
    const phJacobianRow& j = params.jacobian[0];
    EXPECT_FLOAT_EQ(j.linearA.y, 1.0f);
    EXPECT_FLOAT_EQ(j.angularA.z, 1.0f);  // (1,0,0) × (0,1,0)
    EXPECT_FLOAT_EQ(j.linearB.y, -1.0f);
    EXPECT_FLOAT_EQ(j.angularB.x, 2.0f);  // -((0,0,2) × (0,1,0))
    EXPECT_FLOAT_EQ(params.regularisation[0], 1.4f);
    EXPECT_EQ(params.bounds[0].forceSlot, &slot);
    EXPECT_EQ(params.bounds[0].normalIndex, phRowBounds::kFree);

    for (float centripetal : {1e7f, -1e7f}) {
        phJointPoint q;
        q.centripetalChild = {0, centripetal, 0, 0};
        joint->AddLinearRow(params, 1, {0, 1, 0, 0}, q, &slot);
        EXPECT_FLOAT_EQ(params.target[1], centripetal > 0 ? -10000.0f : 10000.0f);
    }

    parent->omega = {0, 0, 0.5f, 0};
    joint->AddAngularRow(params, 2, {0, 0, 1, 0}, 3.0f, 0.2f, &slot);
    EXPECT_NEAR(params.target[2], (1500.0 * 0.2 + k * 0.5) / (k * h + 1.0), 1e-3);
    EXPECT_FLOAT_EQ(params.jacobian[2].angularB.z, -1.0f);
    EXPECT_FLOAT_EQ(params.regularisation[2], 3.0f);

    // A motor row is bounded only when the callback bounded it.
    phJointMotor motor;
    motor.acceleration = 4.0f;
    phJoint::ApplyMotor(params, 2, motor);
    EXPECT_FLOAT_EQ(params.target[2], 4.0f);
    EXPECT_EQ(params.bounds[2].normalIndex, phRowBounds::kFree);
    motor.maxForce = 2.0f;
    phJoint::ApplyMotor(params, 2, motor);
    EXPECT_EQ(params.bounds[2].normalIndex, phRowBounds::kClamped);
    EXPECT_FLOAT_EQ(params.bounds[2].low, -1e15f);
    EXPECT_FLOAT_EQ(params.bounds[2].high, 2.0f);
}

TEST(Joints, CreationRefusesWhatCannotBeJoined)
{
    JointWorld w;
    JointWorld other;
    phRigidBody* a = w.Box(1, Placed({0, 0, 0, 1}), 1);
    phRigidBody* stranger = other.Box(1, Placed({0, 0, 0, 1}), 1);
    EXPECT_EQ(HingeJoint::Create(*w.world, nullptr, a, {0, 0, 0, 1}, {1, 0, 0, 0}), nullptr);
    EXPECT_EQ(HingeJoint::Create(*w.world, a, a, {0, 0, 0, 1}, {1, 0, 0, 0}), nullptr);
    EXPECT_EQ(HingeJoint::Create(*w.world, a, nullptr, {0, 0, 0, 1}, {0, 0, 0, 0}), nullptr);
    EXPECT_EQ(HingeJoint::Create(*w.world, stranger, nullptr, {0, 0, 0, 1}, {1, 0, 0, 0}), nullptr);
    EXPECT_EQ(CrossJoint::Create(*w.world, a, nullptr, {0, 0, 0, 1}, {1, 0, 0, 0}, {2, 0, 0, 0}), nullptr);
    EXPECT_EQ(w.world->ConstraintCount(), 0u);
    EXPECT_EQ(a->constraints, nullptr);
}

// Released joints hear their callback once, wait for the end of the next
// step and then go back to their pool, whose next joint reuses the record.
TEST(Joints, ReleaseQueueReturnsRecordsToTheirPool)
{
    JointWorld w;
    static int released = 0;
    released = 0;
    phRigidBody* a = w.Box(1, Placed({0, 0, 0, 1}), 1);
    phRigidBody* b = w.Box(1, Placed({2, 0, 0, 1}), 1);
    BallJoint* joint = BallJoint::Create(*w.world, a, b, {1, 0, 0, 1}, {1, 0, 0, 0});
    ASSERT_NE(joint, nullptr);
    joint->SetDestructionCallback([](phConstraint*) { ++released; });
    EXPECT_TRUE(joint->IsJointGraphLink());
    physDestroyBody(w.world, b);
    EXPECT_EQ(released, 1);
    EXPECT_EQ(a->constraints, nullptr);
    EXPECT_EQ(w.world->QueuedReleases(), 1u);
    w.Run(1);
    EXPECT_EQ(w.world->QueuedReleases(), 0u);
    phRigidBody* c = w.Box(1, Placed({2, 0, 0, 1}), 1);
    BallJoint* again = BallJoint::Create(*w.world, a, c, {1, 0, 0, 1}, {1, 0, 0, 0});
    EXPECT_EQ(again, joint);
    EXPECT_EQ(again->destructionCallback, nullptr);
    EXPECT_FLOAT_EQ(again->GetStiffness(), 0.9f);

    // The align joint leaves its bodies free to collide.
    AlignJoint* align = AlignJoint::Create(*w.world, a, c, {1, 0, 0, 0});
    ASSERT_NE(align, nullptr);
    EXPECT_FALSE(align->IsJointGraphLink());
}

// A bob of mass 1 on a ball joint 1 below the pivot swings with the period
// of a compound pendulum, 2π √(I / (m g L)), for a small amplitude.
TEST(Joints, PendulumPeriodMatchesTheoryOnABallJoint)
{
    JointWorld w;
    const double size = 0.1;
    const double length = 1.0;
    const double amplitude = 0.1;
    phRigidBody* bob = w.Box(static_cast<float>(size),
                             Placed({static_cast<float>(length * std::sin(amplitude)),
                                     static_cast<float>(1.0 - length * std::cos(amplitude)), 0, 1}),
                             1.0f);
    ASSERT_NE(BallJoint::Create(*w.world, bob, nullptr, {0, 1, 0, 1}, {0, -1, 0, 0}), nullptr);
    const double inertia = size * size / 6.0 + length * length;
    const double period = 2.0 * kPi * std::sqrt(inertia / (kG * length)) * (1.0 + amplitude * amplitude / 16.0);

    // Times at which the bob crosses x = 0 moving towards +x.
    std::vector<double> crossings;
    float lastX = bob->matrix[3].x;
    for (int i = 1; i <= 60 * 8; ++i) {
        w.Run(1);
        const float x = bob->matrix[3].x;
        if (lastX < 0.0f && x >= 0.0f) {
            crossings.push_back(kStep * (i - 1 + lastX / (lastX - x)));
        }
        lastX = x;
    }
    ASSERT_GE(crossings.size(), 3u);
    const double measured = (crossings.back() - crossings.front()) / static_cast<double>(crossings.size() - 1);
    EXPECT_NEAR(measured, period, 0.01 * period);
    // The rod keeps its length.
    const phVec4 rod = bob->matrix[3] - phVec4{0, 1, 0, 1};
    EXPECT_NEAR(phLength(rod), length, 0.01);
}

// A box hinged off its centre, thrown with a spin that has parts across the
// pin, swings about the pin alone and keeps its pivot.
TEST(Joints, HingeKeepsItsAxisAndPivot)
{
    JointWorld w;
    phRigidBody* box = w.Box(0.5f, Placed({1, 0, 0, 1}), 2.0f);
    box->omega = {1.5f, -2.0f, 3.0f, 0};
    HingeJoint* hinge = HingeJoint::Create(*w.world, box, nullptr, {0, 0, 0, 1}, {0, 0, 1, 0});
    ASSERT_NE(hinge, nullptr);
    for (int i = 0; i < 300; ++i) {
        w.Run(1);
        phVec4 angles;
        phMat4 f0, f1;
        hinge->CalcFramesAndAngles(angles, f0, f1);
        // The spin across the pin is taken out within a few steps.
        ASSERT_LT(Angle(f0[0], {0, 0, 1, 0}), i < 10 ? 0.03f : 0.005f) << i;
        // The pivot lags by what a step's straight-line move of the centre
        // leaves (about ω² r h²), at most 0.014 at the swing's 4.5 rad/s.
        ASSERT_LT(phLength(f0[3] - phVec4{0, 0, 0, 1}), i < 10 ? 0.03f : 0.02f) << i;
    }
    // Only the spin about the pin is left, and gravity turned the box.
    EXPECT_LT(std::fabs(box->omega.x) + std::fabs(box->omega.y), 0.05f);
    EXPECT_GT(std::fabs(hinge->angle), 0.1f);
}

namespace {

float g_targetSpin = 0.0f;
float g_maxTorque = 1e15f;
std::uint32_t SpinMotor(HingeJoint* joint, phJointMotor* motor)
{
    motor->acceleration = (g_targetSpin - joint->child->omega.z) / motor->timeStep;
    if (g_maxTorque < 1e15f) {
        motor->minForce = -g_maxTorque;
        motor->maxForce = g_maxTorque;
    }
    return 1;
}

float g_limit = 0.0f;
float g_largest = 0.0f;
// A one-sided stop at +g_limit: only pushes back.
std::uint32_t HingeStop(HingeJoint* joint, phJointMotor* motor)
{
    g_largest = joint->angle > g_largest ? joint->angle : g_largest;
    if (joint->angle <= g_limit) {
        return 0;
    }
    const float h = motor->timeStep;
    motor->acceleration = ((g_limit - joint->angle) / h - joint->child->omega.z) / h;
    motor->maxForce = 0.0f;
    return 1;
}

void NoForces(phRigidBody* body)
{
    body->force = {};
    body->torque = {};
}

void TwistTorque(phRigidBody* body)
{
    body->force = {};
    body->torque = {0, 0.2f, 0, 0};
}

}  // namespace

TEST(Joints, HingeMotorReachesItsSpeedAndRespectsItsTorque)
{
    {
        JointWorld w;
        phRigidBody* box = w.Box(1.0f, Placed({0, 0, 0, 1}), 3.0f, NoForces);
        HingeJoint* hinge = HingeJoint::Create(*w.world, box, nullptr, {0, 0, 0, 1}, {0, 0, 1, 0});
        g_targetSpin = 2.0f;
        g_maxTorque = 1e15f;
        hinge->callback = SpinMotor;
        w.Run(30);
        EXPECT_NEAR(box->omega.z, 2.0f, 0.02f);
        EXPECT_NEAR(phLength(box->matrix[3] - phVec4{0, 0, 0, 1}), 0.0f, 1e-3f);
    }
    {
        // A torque of at most 0.25 on inertia 0.5 gains 0.5 per second.
        JointWorld w;
        phRigidBody* box = w.Box(1.0f, Placed({0, 0, 0, 1}), 3.0f, NoForces);
        HingeJoint* hinge = HingeJoint::Create(*w.world, box, nullptr, {0, 0, 0, 1}, {0, 0, 1, 0});
        g_targetSpin = 2.0f;
        g_maxTorque = 0.25f;
        hinge->callback = SpinMotor;
        w.Run(60);
        EXPECT_NEAR(box->omega.z, 0.5f, 0.01f);
    }
}

TEST(Joints, HingeStopHoldsAPendulum)
{
    JointWorld w;
    // Hanging 1 below the pivot, then turned to -1.2 rad: it would swing to +1.2.
    const float start = -1.2f;
    phRigidBody* bob = w.Box(0.2f, Placed({0, -1, 0, 1}), 1);
    HingeJoint* hinge = HingeJoint::Create(*w.world, bob, nullptr, {0, 0, 0, 1}, {0, 0, 1, 0});
    bob->SetMatrix(Placed({std::sin(start), -std::cos(start), 0, 1}, phQuatFromAxisAngle({0, 0, 1, 0}, start)));
    w.Run(1);
    EXPECT_NEAR(hinge->angle, start, 0.02f);
    g_limit = 0.5f;
    g_largest = -10.0f;
    hinge->callback = HingeStop;
    w.Run(240);
    EXPECT_GT(g_largest, 0.45f);
    EXPECT_LT(g_largest, g_limit + 0.05f);
}

// A cone limit of 0.3 about a hanging pin stops a bob that would swing out
// to 1 rad; a twist limit of 0.3 holds a box under a steady torque about the
// pin. Both stop the motion in the step that crosses them.
TEST(Joints, BallLimitsHold)
{
    {
        JointWorld w;
        // Hanging, moving fast enough to swing out to 1 rad without the limit.
        phRigidBody* bob = w.Box(0.2f, Placed({0, 0, 0, 1}), 1.0f);
        bob->velocity = {static_cast<float>(std::sqrt(2.0 * kG * (1.0 - std::cos(1.0)))), 0, 0, 0};
        BallJoint* ball = BallJoint::Create(*w.world, bob, nullptr, {0, 1, 0, 1}, {0, -1, 0, 0});
        ball->SetConeLimit(0.3f);
        float largest = 0.0f;
        for (int i = 0; i < 240; ++i) {
            w.Run(1);
            phVec4 angles;
            phMat4 f0, f1;
            ball->CalcFramesAndAngles(angles, f0, f1);
            largest = std::max(largest, Angle(f0[0], f1[0]));
        }
        // At most one step's travel (3 rad/s) past the limit.
        EXPECT_LT(largest, 0.3f + 0.05f + 0.01f);
        EXPECT_GT(largest, 0.28f);
    }
    {
        JointWorld w;
        phRigidBody* box = w.Box(0.5f, Placed({0, 0, 0, 1}), 1.0f, TwistTorque);
        BallJoint* ball = BallJoint::Create(*w.world, box, nullptr, {0, 0, 0, 1}, {0, 1, 0, 0});
        ball->SetTwistLimit(0.3f);
        float largest = 0.0f;
        for (int i = 0; i < 180; ++i) {
            w.Run(1);
            largest = std::max(largest, std::fabs(ball->angles.x));
        }
        // It arrives at 1.7 rad/s, 0.03 a step, and is held at the limit.
        EXPECT_LT(largest, 0.3f + 0.035f);
        EXPECT_NEAR(std::fabs(ball->angles.x), 0.3f, 0.01f);
        EXPECT_LT(phLength(box->omega), 0.01f);
        EXPECT_NEAR(box->matrix[3].y, 0.0f, 1e-3f);
    }
}

// On a slider along (1, -1, 0)/√2 a box falls along the line with g/√2,
// as the solver's stepping gives it (x_n = a h² n(n+1)/2), and does not turn.
TEST(Joints, SliderLeavesOnlyTheSlideFree)
{
    JointWorld w;
    phRigidBody* box = w.Box(0.5f, Placed({0, 0, 0, 1}), 2.0f);
    const phVec4 d = {static_cast<float>(1.0 / std::sqrt(2.0)), static_cast<float>(-1.0 / std::sqrt(2.0)), 0, 0};
    SliderJoint* slider = SliderJoint::Create(*w.world, box, nullptr, {0, 0, 0, 1}, d);
    ASSERT_NE(slider, nullptr);
    const int n = 60;
    w.Run(n);
    const double a = kG / std::sqrt(2.0);
    const double expected = a * kStep * kStep * n * (n + 1) / 2.0;
    const phVec4 p = box->matrix[3];
    EXPECT_NEAR(phDot(p, d), expected, 0.01 * expected);
    // The joint stored its position when the last step began.
    EXPECT_NEAR(slider->position, a * kStep * kStep * (n - 1) * n / 2.0, 0.01 * expected);
    EXPECT_LT(phLength(p - d * phDot(p, d)), 0.01f);
    EXPECT_NEAR(box->matrix[0].x, 1.0f, 1e-4f);
    EXPECT_LT(phLength(box->omega), 1e-3f);
}

// A cross joint hanging a bob: thrown with a spin about every axis, the
// child's pin stays square to the parent's second axis.
TEST(Joints, CrossJointKeepsThePinSquareToTheParentAxis)
{
    JointWorld w;
    phRigidBody* bob = w.Box(0.3f, Placed({0, -1, 0, 1}), 1.0f);
    bob->omega = {1.0f, 2.0f, -1.5f, 0};
    CrossJoint* cross = CrossJoint::Create(*w.world, bob, nullptr, {0, 0, 0, 1}, {0, -1, 0, 0}, {0, 0, 1, 0});
    ASSERT_NE(cross, nullptr);
    float turned = 0.0f;
    for (int i = 0; i < 240; ++i) {
        w.Run(1);
        phVec4 angles;
        phMat4 f0, f1;
        cross->CalcFramesAndAngles(angles, f0, f1);
        ASSERT_LT(std::fabs(phDot(f0[0], f1[1])), i < 10 ? 0.05f : 0.01f) << i;
        ASSERT_LT(phLength(f0[3] - phVec4{0, 0, 0, 1}), 0.02f) << i;
        turned = std::max(turned, std::fabs(cross->angles[0]));
    }
    // The spin about the pin is free.
    EXPECT_GT(turned, 0.5f);
}

// The align joint turns a free body's pin back to the world's and leaves its
// motion along any line alone.
TEST(Joints, AlignJointTurnsThePinBackAndLeavesPositionFree)
{
    JointWorld w;
    phRigidBody* box = w.Box(0.5f, Placed({0, 0, 0, 1}), 1.0f, NoForces);
    AlignJoint* align = AlignJoint::Create(*w.world, box, nullptr, {1, 0, 0, 0});
    ASSERT_NE(align, nullptr);
    box->SetMatrix(Placed({0, 0, 0, 1}, phQuatFromAxisAngle({0, 0, 1, 0}, 0.5f)));
    box->velocity = {0.5f, 1.0f, 0, 0};
    w.Run(60);
    phVec4 angles;
    phMat4 f0, f1;
    align->CalcFramesAndAngles(angles, f0, f1);
    EXPECT_LT(Angle(f0[0], f1[0]), 0.01f);
    EXPECT_NEAR(box->matrix[3].x, 0.5f, 1e-3f);
    EXPECT_NEAR(box->matrix[3].y, 1.0f, 1e-3f);
}

// A limit row's closing speed v counts 1.1 times once it exceeds 0.001: the
// target's part from the body's motion is 1.1 v (or v) per time step. The
// pose is past both limits; ω is chosen to give the limit point speed v.
TEST(Joints, BallLimitRowsStrengthenTheirClosingSpeed)
{
    struct Case {
        bool twist;
        double v;
        double factor;
    };
    const Case cases[] = {{true, 0.0009, 1.0}, {true, 0.0011, 1.1}, {true, 0.5, 1.1},   {true, -0.5, 1.0},
                          {false, 0.0009, 1.0}, {false, 0.002, 1.1}, {false, -0.3, 1.0}};
    for (const Case& c : cases) {
        JointWorld w;
        phRigidBody* box = w.Box(0.5f, Placed({0, 0, 0, 1}), 1.0f, nullptr);
        BallJoint* ball = BallJoint::Create(*w.world, box, nullptr, {0, 0, 0, 1}, {1, 0, 0, 0});
        ASSERT_NE(ball, nullptr);
        phMat4 f0, f1;
        phVec4 angles;
        ball->CalcFramesAndAngles(angles, f0, f1);
        // Twisted about the pin, or the pin tilted about the frame's third axis.
        const phVec4 axis = c.twist ? f0[0] : f0[2];
        if (c.twist) {
            ball->SetTwistLimit(0.1f);
        } else {
            ball->SetConeLimit(0.1f);
        }
        const phMat4 turned = Placed({0, 0, 0, 1}, phQuatFromAxisAngle(axis, 0.3f));
        physBodySetMatrix(box, &turned[0].x);
        ball->CalcFramesAndAngles(angles, f0, f1);
        // The limit row is the last: 3 for the twist, 4 for the cone's second.
        const int row = c.twist ? 3 : 4;
        const phVec4 q = c.twist ? f0[3] + f0[1] * 16.0f : f0[3] + f0[0] * 16.0f;

        phRowParams still = Params();
        ASSERT_EQ(ball->BuildRows(still), row + 1);
        const phVec4 d = still.jacobian[row].linearA;
        // v = -(ω × r)·d = -ω·(r × d): ω along r × d gives any v.
        const phVec4 r = q - box->globalCentre;
        const phVec4 rd = phCross(r, d);
        box->omega = rd * static_cast<float>(-c.v / phLengthSq(rd));
        phRowParams moving = Params();
        ASSERT_EQ(ball->BuildRows(moving), row + 1);
        EXPECT_EQ(moving.bounds[row].normalIndex, phRowBounds::kUnilateral);
        const double gained = (static_cast<double>(moving.target[row]) - still.target[row]) * kStep;
        EXPECT_NEAR(gained, c.factor * c.v, 1e-5 + 1e-3 * std::fabs(c.v)) << c.twist << " v " << c.v;
    }
}
