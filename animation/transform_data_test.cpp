#include "animation/transform_data.h"

#include <gtest/gtest.h>

#include "animation/anim_test_support.h"
#include "animation/world_pose.h"

namespace Anim {
namespace {

using AnimCore::Matrix;
using AnimCore::Vector3;
using testing::AnimTest;
using testing::MakeActor;

TEST_F(AnimTest, AddNodeGrowsByTenAndReserveNeverShrinks) {
  TransformData data;
  EXPECT_EQ(data.GetOwnershipFlags(), 0x1Fu);
  const uint32_t expectedMax[] = {11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 22};
  for (uint32_t i = 0; i < 12; ++i) {
    ASSERT_TRUE(data.AddNode());
    EXPECT_EQ(data.GetMaxNumNodes(), expectedMax[i]) << i;
  }
  EXPECT_EQ(data.GetNumNodes(), 12u);
  EXPECT_EQ(data.GetBindTransforms()[11], Transform());
  EXPECT_TRUE(data.GetWorldMatrices()[11].IsIdentity(0));
  Matrix* world = data.GetWorldMatrices();
  ASSERT_TRUE(data.Reserve(5));
  EXPECT_EQ(data.GetMaxNumNodes(), 22u);
  EXPECT_EQ(data.GetWorldMatrices(), world);
  ASSERT_TRUE(data.Shrink());
  EXPECT_EQ(data.GetMaxNumNodes(), 12u);
  data.Release();
  EXPECT_EQ(data.GetNumNodes(), 0u);
  EXPECT_EQ(data.GetWorldMatrices(), nullptr);
  EXPECT_EQ(data.GetOwnershipFlags(), 0x1Fu);
}

TEST_F(AnimTest, InitForActorBorrowsOrOwnsAsTheFlagsSay) {
  Actor* actor = MakeActor({{"root", -1}, {"arm", 0}, {"hand", 1}});
  TransformData& source = actor->GetTransformData();
  source.GetBindTransforms()[1].position = Vector3(0, 2, 0);
  source.GetLocalTransforms()[1].position = Vector3(9, 9, 9);  // a posed node

  TransformData borrowed;
  ASSERT_TRUE(borrowed.InitForActor(actor, 0));
  EXPECT_EQ(borrowed.GetWorldMatrices(), source.GetWorldMatrices());
  EXPECT_EQ(borrowed.GetLocalMatrices(), source.GetLocalMatrices());
  EXPECT_EQ(borrowed.GetInverseBindMatrices(), source.GetInverseBindMatrices());
  EXPECT_EQ(borrowed.GetBindTransforms(), source.GetBindTransforms());
  EXPECT_EQ(borrowed.GetLocalTransforms(), source.GetLocalTransforms());
  EXPECT_NE(borrowed.GetNodeFlags(), source.GetNodeFlags());
  EXPECT_EQ(borrowed.GetNodeFlags()[2], 7u);
  // The actor's current pose is reset to the bind pose.
  EXPECT_EQ(source.GetLocalTransforms()[1].position, Vector3(0, 2, 0));

  TransformData owned;
  ASSERT_TRUE(owned.InitForActor(actor, TransformData::OWN_ALL));
  EXPECT_NE(owned.GetWorldMatrices(), source.GetWorldMatrices());
  EXPECT_NE(owned.GetBindTransforms(), source.GetBindTransforms());
  EXPECT_EQ(owned.GetBindTransforms()[1].position, Vector3(0, 2, 0));
  EXPECT_EQ(owned.GetLocalTransforms()[1].position, Vector3(0, 2, 0));
  EXPECT_TRUE(owned.GetInverseBindMatrices()[2].IsIdentity(0));
  EXPECT_EQ(owned.GetNumNodes(), 3u);
  EXPECT_EQ(owned.GetMaxNumNodes(), 3u);

  // Re-initialising an owning block to borrow frees what it owned.
  ASSERT_TRUE(owned.InitForActor(actor, TransformData::OWN_LOCALTRANSFORMS));
  EXPECT_EQ(owned.GetWorldMatrices(), source.GetWorldMatrices());
  EXPECT_NE(owned.GetLocalTransforms(), source.GetLocalTransforms());

  // Releasing a borrowing block leaves the actor's arrays alone.
  borrowed.Release();
  EXPECT_EQ(borrowed.GetWorldMatrices(), source.GetWorldMatrices());
  source.GetWorldMatrices()[2](3, 0) = 4.0f;  // still valid memory
  AnimCore::Delete(actor);
}

TEST_F(AnimTest, InitForActorWithoutNodesLeavesTheBlockEmpty) {
  Actor* actor = MakeActor({});
  TransformData data;
  data.AddNode();
  EXPECT_TRUE(data.InitForActor(actor, TransformData::OWN_ALL));
  EXPECT_EQ(data.GetNumNodes(), 0u);
  EXPECT_EQ(data.GetMaxNumNodes(), 0u);
  EXPECT_EQ(data.GetNodeFlags(), nullptr);
  AnimCore::Delete(actor);
}

TEST_F(AnimTest, WorldPoseCopiesMatricesAndResizesOnlyWhenNeeded) {
  WorldPose pose;
  Matrix matrices[3];
  matrices[2](3, 1) = 5.0f;
  ASSERT_TRUE(pose.InitFromWorldMatrices(matrices, 3));
  EXPECT_EQ(pose.GetNumNodes(), 3u);
  EXPECT_EQ(pose.GetScales().GetLength(), 3u);
  EXPECT_EQ(pose.GetMatrices()[2](3, 1), 5.0f);
  const Matrix* storage = pose.GetMatrices().GetPtr();
  matrices[2](3, 1) = 6.0f;
  ASSERT_TRUE(pose.InitFromWorldMatrices(matrices, 3));
  EXPECT_EQ(pose.GetMatrices().GetPtr(), storage);
  EXPECT_EQ(pose.GetMatrices()[2](3, 1), 6.0f);
  ASSERT_TRUE(pose.Resize(0));
  EXPECT_EQ(pose.GetMatrices().GetMaxLength(), 0u);
}

}  // namespace
}  // namespace Anim
