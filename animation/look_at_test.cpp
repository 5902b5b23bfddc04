#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/anim_test_support.h"
#include "animation/look_at_controller.h"
#include "animation/node_limit_attribute.h"
#include "animation/world_pose.h"

namespace Anim {
namespace {

using AnimCore::Matrix;
using AnimCore::Quaternion;
using AnimCore::Vector3;
using testing::MakeActor;

constexpr float kEps = 1e-5f;

void ExpectRow(const Matrix& m, int row, const Vector3& v) {
  EXPECT_NEAR(m(row, 0), v.x, kEps) << "row " << row;
  EXPECT_NEAR(m(row, 1), v.y, kEps) << "row " << row;
  EXPECT_NEAR(m(row, 2), v.z, kEps) << "row " << row;
}

class LookAtTest : public testing::AnimTest {
 protected:
  void SetUp() override {
    testing::AnimTest::SetUp();
    actor = MakeActor({{"head", -1}, {"nose", 0}});
    actor->GetTransformData().GetBindTransforms()[0].position = {1.0f, 2.0f, 3.0f};
    actor->GetTransformData().GetBindTransforms()[1].position = {0.0f, 0.0f, 1.0f};
    instance = AnimCore::New<ActorInstance>(MEMCATEGORY_ACTORINSTANCE, actor);
    instance->Update(0.0f, true);
  }
  void TearDown() override {
    AnimCore::Delete(instance);
    AnimCore::Delete(actor);
    testing::AnimTest::TearDown();
  }
  // The instance's world matrices with unit world scales, as the controller pass
  // hands them over.
  WorldPose& Pose() {
    WorldPose& pose = actor->GetWorldPose();
    EXPECT_TRUE(pose.InitFromActorInstance(*instance));
    for (Vector3& scale : pose.GetScales()) scale = {1.0f, 1.0f, 1.0f};
    return pose;
  }

  Actor* actor = nullptr;
  ActorInstance* instance = nullptr;
};

TEST_F(LookAtTest, TurnsAtSpeedTowardsTheGoal) {
  const float s = std::sqrt(0.5f);
  const float s225 = std::sin(0.3926991f);
  const float c225 = std::cos(0.3926991f);
  struct Case {
    float timeDelta;
    Vector3 right, forward;
    Quaternion rotation;
  };
  // Goal one unit along +X: the target turns +Z onto +X, 90 degrees about Y.
  const Case cases[] = {
      {1.0f / 6.0f, {0, 0, -1}, {1, 0, 0}, {0, s, 0, s}},       // snaps
      {1.0f, {0, 0, -1}, {1, 0, 0}, {0, s, 0, s}},              // t clamped to 1
      {1.0f / 12.0f, {s, 0, -s}, {s, 0, s}, {0, s225, 0, c225}},  // half way: 45 degrees
      {0.0f, {1, 0, 0}, {0, 0, 1}, {0, 0, 0, 1}},               // no move
      {-1.0f, {1, 0, 0}, {0, 0, 1}, {0, 0, 0, 1}},              // negative: t = 0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.timeDelta);
    LookAtController controller(instance, 0);
    controller.SetGoal(2.0f, 2.0f, 3.0f);
    WorldPose& pose = Pose();
    controller.Update(pose, c.timeDelta);
    const Matrix& head = pose.GetMatrices()[0];
    ExpectRow(head, 0, c.right);
    ExpectRow(head, 1, {0, 1, 0});
    ExpectRow(head, 2, c.forward);
    ExpectRow(head, 3, {1, 2, 3});
    const Quaternion& q = controller.GetCurrentRotation();
    EXPECT_NEAR(q.x, c.rotation.x, kEps);
    EXPECT_NEAR(q.y, c.rotation.y, kEps);
    EXPECT_NEAR(q.z, c.rotation.z, kEps);
    EXPECT_NEAR(q.w, c.rotation.w, kEps);
    // The nose, one unit ahead, follows its head.
    ExpectRow(pose.GetMatrices()[1], 3, Vector3{1, 2, 3} + c.forward);
  }
}

TEST_F(LookAtTest, GoalOnTheNodeOrAlongUpKeepsTheRotation) {
  for (const Vector3& goal : {Vector3{1, 2, 3}, Vector3{1, 7, 3}, Vector3{1, -4, 3}}) {
    LookAtController controller(instance, 0);
    controller.SetGoal(goal.x, goal.y, goal.z);
    WorldPose& pose = Pose();
    controller.Update(pose, 1.0f);
    const Matrix& head = pose.GetMatrices()[0];
    for (int i = 0; i < 16; ++i) ASSERT_FALSE(std::isnan(head.m16[i]));
    ExpectRow(head, 0, {1, 0, 0});
    ExpectRow(head, 1, {0, 1, 0});
    ExpectRow(head, 2, {0, 0, 1});
    EXPECT_EQ(controller.GetCurrentRotation(), Quaternion());
  }
}

TEST_F(LookAtTest, SwingStaysInsideTheLimits) {
  // A 90 degree swing about Y against a half range of 0.5 rad leaves 0.5 rad, for
  // the rectangle and the ellipse alike; without limits it is free.
  struct Case {
    uint32_t type;
    float angle;
  };
  const Case cases[] = {{LookAtController::CONSTRAINT_NONE, 1.5707963f},
                        {LookAtController::CONSTRAINT_ELLIPSE, 0.5f},
                        {LookAtController::CONSTRAINT_RECTANGLE, 0.5f}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    LookAtController controller(instance, 0);
    controller.SetLimits({-0.5f, -0.5f, 0.0f}, {0.5f, 0.5f, 0.0f});
    controller.SetConstraintType(c.type);
    controller.SetGoal(2.0f, 2.0f, 3.0f);
    WorldPose& pose = Pose();
    controller.Update(pose, 1.0f);
    ExpectRow(pose.GetMatrices()[0], 2, {std::sin(c.angle), 0.0f, std::cos(c.angle)});
    ExpectRow(pose.GetMatrices()[0], 1, {0, 1, 0});
  }
}

TEST_F(LookAtTest, SetLimitsCentresTheRanges) {
  LookAtController controller(instance, 0);
  EXPECT_EQ(controller.GetSwingLimitX(), 1.0f);
  EXPECT_EQ(controller.GetConstraintType(), 0u);
  controller.SetLimits({-0.2f, 0.1f, -0.3f}, {0.6f, 0.5f, 0.4f});
  EXPECT_NEAR(controller.GetSwingLimitX(), 0.4f, kEps);
  EXPECT_NEAR(controller.GetSwingLimitY(), 0.2f, kEps);
  EXPECT_EQ(controller.GetTwistMin(), -0.3f);
  EXPECT_EQ(controller.GetTwistMax(), 0.4f);
  // Rotation about X by 0.2 then about Y by 0.3: the X axis row is (cos .3, 0, -sin .3).
  ExpectRow(controller.GetLimitRotation(), 0, {std::cos(0.3f), 0.0f, -std::sin(0.3f)});
}

TEST_F(LookAtTest, TakesLimitsFromTheNodeAttribute) {
  auto* limit = AnimCore::New<NodeLimitAttribute>(MEMCATEGORY_NODEATTRIBUTE);
  limit->rotationMin = {-0.25f, -0.5f, -0.1f};
  limit->rotationMax = {0.25f, 0.5f, 0.1f};
  actor->GetNode(0)->AddAttribute(limit);
  LookAtController controller(instance, 0);
  EXPECT_NEAR(controller.GetSwingLimitX(), 0.25f, kEps);
  EXPECT_NEAR(controller.GetSwingLimitY(), 0.5f, kEps);
  EXPECT_EQ(controller.GetTwistMax(), 0.1f);
  EXPECT_EQ(controller.GetConstraintType(), 0u);
  EXPECT_EQ(controller.GetNodeMask()[0], 1u);
  EXPECT_EQ(controller.GetNodeMask()[1], 1u);
}

TEST_F(LookAtTest, RunsInTheInstancesWorldSpacePass) {
  auto* controller = AnimCore::New<LookAtController>(MEMCATEGORY_WORLDSPACECONTROLLER, instance, 0u);
  controller->SetGoal(1.0f, 2.0f, -10.0f);  // straight behind
  controller->Activate(0.0f);
  ASSERT_TRUE(instance->AddWorldSpaceController(controller));
  instance->Update(1.0f, true);
  // The pass leaves its result in the local transforms: half a turn about Y, the
  // head kept in place and the nose still one unit ahead of it.
  const Transform* locals = instance->GetTransformData().GetLocalTransforms();
  EXPECT_NEAR(std::fabs(locals[0].rotation.y), 1.0f, kEps);
  EXPECT_NEAR(locals[0].position.x, 1.0f, kEps);
  EXPECT_NEAR(locals[0].position.z, 3.0f, kEps);
  EXPECT_NEAR(locals[1].position.z, 1.0f, kEps);
  EXPECT_NEAR(std::fabs(locals[1].rotation.w), 1.0f, kEps);
  // And in the world matrices of the same update: the head faces -Z, the nose one
  // unit behind it.
  const Matrix* world = instance->GetTransformData().GetWorldMatrices();
  ExpectRow(world[0], 2, {0, 0, -1});
  ExpectRow(world[0], 3, {1, 2, 3});
  ExpectRow(world[1], 2, {0, 0, -1});
  ExpectRow(world[1], 3, {1, 2, 2});

  // Slerp picks the shorter way: q and -q are the same rotation.
  const Quaternion a(0, 0, 0, 1);
  const Quaternion b = LookAtController::Slerp(a, {0, 0, 0, -1}, 0.5f);
  EXPECT_NEAR(std::fabs(b.w), 1.0f, kEps);
}

// The second controller looks from where the first one moved its node: the arm,
// carried by the hips' quarter turn to (1, 0, 0), then faces the goal straight
// along +Z.
TEST_F(LookAtTest, ControllersChainInTheirOrder) {
  Actor* chain = MakeActor({{"hips", -1}, {"arm", 0}});
  chain->GetTransformData().GetBindTransforms()[1].position = {0.0f, 0.0f, 1.0f};
  ActorInstance* posed = AnimCore::New<ActorInstance>(MEMCATEGORY_ACTORINSTANCE, chain);
  auto* hips = AnimCore::New<LookAtController>(MEMCATEGORY_WORLDSPACECONTROLLER, posed, 0u);
  hips->SetGoal(10.0f, 0.0f, 0.0f);
  hips->Activate(0.0f);
  auto* arm = AnimCore::New<LookAtController>(MEMCATEGORY_WORLDSPACECONTROLLER, posed, 1u);
  arm->SetGoal(1.0f, 0.0f, 5.0f);
  arm->Activate(0.0f);
  ASSERT_TRUE(posed->AddWorldSpaceController(hips));
  ASSERT_TRUE(posed->AddWorldSpaceController(arm));
  posed->Update(1.0f, true);
  const Matrix* world = posed->GetTransformData().GetWorldMatrices();
  ExpectRow(world[0], 2, {1, 0, 0});
  ExpectRow(world[1], 0, {1, 0, 0});
  ExpectRow(world[1], 2, {0, 0, 1});
  ExpectRow(world[1], 3, {1, 0, 0});
  AnimCore::Delete(posed);
  AnimCore::Delete(chain);
}

Matrix RotationX(float a) {
  Matrix m;
  m.SetRotationMatrixAxisAngle({1, 0, 0}, a);
  return m;
}
Matrix RotationZ(float a) {
  Matrix m;
  m.SetRotationMatrixZ(a);
  return m;
}

TEST_F(LookAtTest, LimitsHoldInTheFrameOfARotatedAndScaledParent) {
  Actor* chain = MakeActor({{"neck", -1}, {"head", 0}});
  ActorInstance* posed = AnimCore::New<ActorInstance>(MEMCATEGORY_ACTORINSTANCE, chain);
  // The neck turned 90 degrees about Y, scaled (2, 3, 0.5), at (1, 2, 3): its local
  // X, Y, Z point along world -Z, Y, X. The head sits at (1.5, 2, 3) with world
  // scale (2, 3, 0.5); the goal lies along world +X, the neck's own Z, so that
  // unlimited the head would take the neck's rotation R.
  const auto pose = [&]() -> WorldPose& {
    WorldPose& p = chain->GetWorldPose();
    EXPECT_TRUE(p.InitFromActorInstance(*posed));
    Matrix neck;
    neck(0, 0) = 0, neck(0, 2) = -2;
    neck(1, 1) = 3;
    neck(2, 0) = 0.5f, neck(2, 2) = 0;
    neck(3, 0) = 1, neck(3, 1) = 2, neck(3, 2) = 3;
    Matrix head;
    head(3, 0) = 1.5f, head(3, 1) = 2, head(3, 2) = 3;
    p.GetMatrices()[0] = neck;
    p.GetMatrices()[1] = head;
    p.GetScales()[1] = {2, 3, 0.5f};
    return p;
  };
  // Expected: a rotation Q in the neck's frame, so the head's rows are the rows of
  // Q x R; a neck-frame vector v is (v.z, v.y, -v.x) in the world.
  const auto rotY = [](float b) -> std::array<Vector3, 3> {
    return {{{-std::sin(b), 0, -std::cos(b)}, {0, 1, 0}, {std::cos(b), 0, -std::sin(b)}}};
  };
  const auto rotX = [](float a) -> std::array<Vector3, 3> {
    return {{{0, 0, -1}, {std::sin(a), std::cos(a), 0}, {std::cos(a), -std::sin(a), 0}}};
  };
  const auto rotZ = [](float t) -> std::array<Vector3, 3> {
    return {{{0, std::sin(t), -std::cos(t)}, {0, std::cos(t), std::sin(t)}, {1, 0, 0}}};
  };
  struct Case {
    const char* what;
    Vector3 min, max;
    bool flip;
    Matrix pre, post;
    std::array<Vector3, 3> rows;
  };
  const Case cases[] = {
      // Limit centre 0.4 about X with a half range of 0.2: the swing of -0.4 from the
      // centre stops at -0.2, leaving 0.2 about X.
      {"centre off zero", {0.2f, -0.1f, -0.1f}, {0.6f, 0.1f, 0.1f}, false, Matrix(), Matrix(), rotX(0.2f)},
      // The post-rotation comes after the limits: 0.2 + 0.5.
      {"post-rotation", {0.2f, -0.1f, -0.1f}, {0.6f, 0.1f, 0.1f}, false, Matrix(), RotationX(0.5f),
       rotX(0.7f)},
      // Centre 0.4 about Y, half range 0.2: 0.2 about Y.
      {"centre about Y", {-0.1f, 0.2f, -2.0f}, {0.1f, 0.6f, 2.0f}, false, Matrix(), Matrix(), rotY(0.2f)},
      // Flipped, the frame turns -pi/2 about Z: the X half range 0.1 now bounds the
      // turn about Y, around the same centre 0.4: 0.3.
      {"flip axis", {-0.1f, 0.2f, -2.0f}, {0.1f, 0.6f, 2.0f}, true, Matrix(), Matrix(), rotY(0.3f)},
      // Pre-rotated 0.3 about Z, the up axis rolls the look frame by 0.3: a twist
      // that the limits cut to 0.1.
      {"twist clamp", {-0.5f, -0.5f, -0.1f}, {0.5f, 0.5f, 0.1f}, false, RotationZ(0.3f), Matrix(),
       rotZ(0.1f)},
  };
  const Vector3 scale{2, 3, 0.5f};
  for (uint32_t type : {LookAtController::CONSTRAINT_ELLIPSE, LookAtController::CONSTRAINT_RECTANGLE}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << c.what << ", constraint " << type);
      LookAtController controller(posed, 1);
      controller.SetFlipAxis(c.flip);
      controller.SetLimits(c.min, c.max);
      controller.SetConstraintType(type);
      controller.SetPreRotation(c.pre);
      controller.SetPostRotation(c.post);
      controller.SetGoal(6.5f, 2.0f, 3.0f);
      WorldPose& p = pose();
      controller.Update(p, 1.0f);
      const Matrix& head = p.GetMatrices()[1];
      ExpectRow(head, 0, c.rows[0] * scale.x);
      ExpectRow(head, 1, c.rows[1] * scale.y);
      ExpectRow(head, 2, c.rows[2] * scale.z);
      ExpectRow(head, 3, {1.5f, 2, 3});
    }
  }
  // SetLimits puts the flip in front of the centre rotation: -pi/2 about Z, then
  // 0.4 about Y; the X axis row is (0, -1, 0) turned about Y: (0, -1, 0).
  LookAtController flipped(posed, 1);
  flipped.SetFlipAxis(true);
  flipped.SetLimits({-0.1f, 0.2f, 0}, {0.1f, 0.6f, 0});
  ExpectRow(flipped.GetLimitRotation(), 0, {0, -1, 0});
  ExpectRow(flipped.GetLimitRotation(), 1, {std::cos(0.4f), 0, -std::sin(0.4f)});
  AnimCore::Delete(posed);
  AnimCore::Delete(chain);
}

}  // namespace
}  // namespace Anim
