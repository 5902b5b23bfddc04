#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "physics/joint.h"
#include "physics/maths.h"
#include "physics/rigid_body.h"
#include "physics/row_solver.h"

namespace {

class TestJoint : public phJoint {
public:
    int BuildRows(phRowParams&) override { return 0; }
};

int g_destroyed = 0;
void CountDestruction(phConstraint*) { ++g_destroyed; }

}  // namespace

TEST(JointBase, ResetAndStiffness)
{
    TestJoint joint;
    joint.child = reinterpret_cast<phRigidBody*>(&joint);
    joint.flagBytes[0] = 1;
    joint.forces[3] = 7.0f;
    joint.SetDestructionCallback(CountDestruction);
    joint.Reset();
    EXPECT_EQ(joint.child, nullptr);
    EXPECT_EQ(joint.flagBytes[0], 0);
    EXPECT_EQ(joint.maxRows, 6);
    EXPECT_EQ(joint.classId, 9);
    EXPECT_FLOAT_EQ(joint.forces[3], 0.0f);
    EXPECT_EQ(joint.destructionCallback, nullptr);
    EXPECT_FLOAT_EQ(joint.stiffness, 1.4f);
    EXPECT_FLOAT_EQ(joint.GetStiffness(), 0.9f);
    EXPECT_TRUE(joint.IsJointGraphLink());
    EXPECT_FLOAT_EQ(joint.ReservedQuery(), 0.0f);

    const struct {
        float set;
        float stored;
    } cases[] = {{2.0f, 1.0f}, {-1.0f, 5.0f}, {1.0f, 1.0f}, {0.0f, 5.0f}, {0.5f, 3.0f}};
    for (const auto& c : cases) {
        joint.SetStiffness(c.set);
        EXPECT_FLOAT_EQ(joint.stiffness, c.stored) << c.set;
    }
    joint.SetStiffness(std::numeric_limits<float>::quiet_NaN());
    EXPECT_TRUE(std::isnan(joint.stiffness));

    g_destroyed = 0;
    joint.CallDestructionCallback();
    EXPECT_EQ(g_destroyed, 0);
    joint.SetDestructionCallback(CountDestruction);
    joint.CallDestructionCallback();
    EXPECT_EQ(g_destroyed, 1);
}

TEST(JointBase, FramesAndAngles)
{
    TestJoint joint;
    joint.Reset();
    phRigidBody child(nullptr, nullptr);
    child.SetMatrix(MatrixFromQuaternion(phQuatFromAxisAngle({0, 0, 1, 0}, 0.3f), {1, 2, 3, 1}));
    joint.child = &child;
    joint.parentFrame = MatrixFromQuaternion(phQuatFromAxisAngle({0, 0, 1, 0}, 0.5f), {4, 0, 0, 1});

    // Without a parent, frame 1 is the local parent frame; the relative
    // rotation is 0.2 about z, which the Euler angles report as az.
    phVec4 angles;
    phMat4 f0, f1;
    joint.CalcFramesAndAngles(angles, f0, f1);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            EXPECT_FLOAT_EQ(f1[i][j], joint.parentFrame[i][j]);
            EXPECT_NEAR(f0[i][j], child.matrix[i][j], 1e-6f);
        }
    }
    EXPECT_NEAR(angles.x, 0.0f, 1e-5f);
    EXPECT_NEAR(angles.y, 0.0f, 1e-5f);
    EXPECT_NEAR(angles.z, 0.2f, 1e-5f);

    // With a parent at the identity nothing changes.
    phRigidBody parent(nullptr, nullptr);
    joint.parent = &parent;
    joint.CalcFramesAndAngles(angles, f0, f1);
    EXPECT_NEAR(angles.z, 0.2f, 1e-5f);
}
