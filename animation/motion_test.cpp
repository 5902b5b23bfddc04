#include "animation/motion.h"

#include <gtest/gtest.h>

#include <cmath>

#include "animation/anim_test_support.h"
#include "animation/event_manager.h"
#include "animation/id_generator.h"
#include "animation/motion_event_handler.h"
#include "animation/progressive_morph_motion.h"
#include "animation/skeletal_motion.h"

namespace Anim {
namespace {

using AnimCore::Quaternion;
using AnimCore::Vector3;
using testing::AnimTest;
using testing::MakeActor;

SkeletalSubMotion* MakeSubMotion(const char* name) {
  return AnimCore::New<SkeletalSubMotion>(MEMCATEGORY_SKELETALMOTION, name);
}

TEST_F(AnimTest, NewSubMotionHasIdentityPoseAndNoTracks) {
  SkeletalSubMotion* sub = MakeSubMotion("Bip01 Head");
  EXPECT_EQ(sub->poseRotation, Compressed16BitQuaternion(0, 0, 0, 32767));
  EXPECT_EQ(sub->bindScaleRotation, Compressed16BitQuaternion(0, 0, 0, 32767));
  EXPECT_EQ(sub->posePosition, Vector3(0, 0, 0));
  EXPECT_EQ(sub->bindScale, Vector3(1, 1, 1));
  EXPECT_EQ(sub->GetPositionTrack(), nullptr);
  EXPECT_STREQ(sub->GetName(), "Bip01 Head");
  ASSERT_TRUE(sub->CreatePositionTrack());
  Vector3KeyTrack* track = sub->GetPositionTrack();
  ASSERT_TRUE(sub->CreatePositionTrack());
  EXPECT_EQ(sub->GetPositionTrack(), track);  // kept
  AnimCore::Delete(sub);
}

TEST_F(AnimTest, SubMotionSamplesItsTracksAndFallsBackToThePose) {
  SkeletalSubMotion* sub = MakeSubMotion("hip");
  sub->posePosition = Vector3(9, 9, 9);
  sub->poseScale = Vector3(2, 2, 2);
  sub->poseScaleRotation.FromQuaternion(Quaternion(0, 1, 0, 0));
  ASSERT_TRUE(sub->CreatePositionTrack());  // a track without keys: the pose is used
  ASSERT_TRUE(sub->CreateRotationTrack());
  ASSERT_TRUE(sub->CreateScaleTrack());
  QuaternionKeyTrack* rotation = sub->GetRotationTrack();
  rotation->AddKey(0.0f, Quaternion(0, 0, 0, 1));
  rotation->AddKey(1.0f, Quaternion(0, 0, 1, 0));  // 180 degrees about z
  rotation->CreateLinearInterpolator();
  sub->GetScaleTrack()->AddKey(0.0f, Vector3(1, 1, 1));
  sub->GetScaleTrack()->AddKey(2.0f, Vector3(3, 1, 1));
  sub->GetScaleTrack()->CreateLinearInterpolator();

  Transform t;
  sub->CalcTransform(0.5f, t);
  EXPECT_EQ(t.position, Vector3(9, 9, 9));
  // Halfway between identity and (0, 0, 1, 0): (0, 0, 0.5, 0.5) normalised.
  EXPECT_NEAR(t.rotation.z, std::sqrt(0.5), 1e-4);
  EXPECT_NEAR(t.rotation.w, std::sqrt(0.5), 1e-4);
  EXPECT_NEAR(t.rotation.Length(), 1.0f, 1e-6);
  EXPECT_EQ(t.scale, Vector3(1.5f, 1, 1));
  EXPECT_EQ(t.scaleRotation, Quaternion(0, 1, 0, 0));
  AnimCore::Delete(sub);
}

TEST_F(AnimTest, ZeroRotationKeysSampleAsIdentityNotNaN) {
  SkeletalSubMotion* sub = MakeSubMotion("hip");
  ASSERT_TRUE(sub->CreateScaleRotationTrack());
  sub->GetScaleRotationTrack()->AddKey(0.0f, Quaternion(0, 0, 0, 0));
  sub->GetScaleRotationTrack()->AddKey(1.0f, Quaternion(0, 0, 0, 0));
  Transform t;
  sub->CalcTransform(0.5f, t);
  EXPECT_EQ(t.scaleRotation, Quaternion(0, 0, 0, 1));
  AnimCore::Delete(sub);
}

TEST_F(AnimTest, SkeletalMaxTimeAndMakeLoopable) {
  SkeletalMotion* motion = AnimCore::New<SkeletalMotion>(MEMCATEGORY_SKELETALMOTION, "walk");
  EXPECT_EQ(motion->GetType(), 1u);
  EXPECT_STREQ(motion->GetTypeString(), "SkeletalMotion");
  EXPECT_STREQ(motion->GetName(), "walk");
  EXPECT_FLOAT_EQ(motion->GetFPS(), 24.0f);
  for (const char* name : {"a", "b"}) {
    SkeletalSubMotion* sub = MakeSubMotion(name);
    sub->CreatePositionTrack();
    sub->CreateRotationTrack();
    sub->GetPositionTrack()->AddKey(0.0f, Vector3(1, 2, 3));
    sub->GetPositionTrack()->AddKey(1.25f, Vector3(2, 2, 3));
    sub->GetRotationTrack()->AddKey(0.0f, Quaternion());
    sub->GetRotationTrack()->AddKey(name[0] == 'a' ? 1.0f : 1.25f, Quaternion());
    ASSERT_TRUE(motion->AddSubMotion(sub));
  }
  motion->UpdateMaxTime();
  EXPECT_FLOAT_EQ(motion->GetMaxTime(), 1.25f);
  motion->MakeLoopable(0.3f);
  EXPECT_FLOAT_EQ(motion->GetMaxTime(), 1.55f);
  // The loop key repeats the first value.
  const Vector3KeyTrack* track = motion->GetSubMotion(0)->GetPositionTrack();
  EXPECT_EQ(track->GetLastKey().GetValue(), Vector3(1, 2, 3));
  EXPECT_EQ(motion->FindSubMotionByNodeID(GetStringID("b")), 1);
  EXPECT_EQ(motion->FindSubMotionByNodeID(GetStringID("c")), -1);
  AnimCore::Delete(motion);
}

TEST_F(AnimTest, MorphMaxTimeNeverShrinks) {
  ProgressiveMorphMotion* motion =
      AnimCore::New<ProgressiveMorphMotion>(MEMCATEGORY_PROGRESSIVEMORPHMOTION, "talk");
  EXPECT_EQ(motion->GetType(), 2u);
  EXPECT_STREQ(motion->GetTypeString(), "PMorphMotion");
  motion->SetMaxTime(5.0f);
  MorphSubMotion* sub = AnimCore::New<MorphSubMotion>(MEMCATEGORY_PROGRESSIVEMORPHMOTION, 7u);
  sub->GetKeyTrack().AddKey(0.0f, 0.0f);
  sub->GetKeyTrack().AddKey(2.0f, 1.0f);
  ASSERT_TRUE(motion->AddSubMotion(sub));
  ASSERT_TRUE(motion->AddSubMotion(
      AnimCore::New<MorphSubMotion>(MEMCATEGORY_PROGRESSIVEMORPHMOTION, 9u)));
  motion->UpdateMaxTime();
  EXPECT_FLOAT_EQ(motion->GetMaxTime(), 5.0f);
  motion->SetMaxTime(0.0f);
  motion->UpdateMaxTime();
  EXPECT_FLOAT_EQ(motion->GetMaxTime(), 2.0f);
  EXPECT_EQ(motion->FindSubMotionByID(9), 1);
  EXPECT_EQ(motion->FindSubMotionByID(8), -1);

  EXPECT_FALSE(motion->HasPhonemes());
  motion->GetSubMotion(1)->phonemeSet = 4;
  motion->UpdatePhonemeFlag();
  EXPECT_TRUE(motion->HasPhonemes());

  motion->MakeLoopable(0.5f);
  EXPECT_FLOAT_EQ(motion->GetMaxTime(), 2.5f);
  AnimCore::Delete(motion);
}

TEST_F(AnimTest, MotionLinksCoverTheStartNodeSubtreeOnly) {
  // root -> spine -> head, root -> leg; plus a second root "prop".
  Actor* actor = MakeActor({{"root", -1}, {"spine", 0}, {"head", 1}, {"leg", 0}, {"prop", -1}});
  SkeletalMotion* motion = AnimCore::New<SkeletalMotion>(MEMCATEGORY_SKELETALMOTION, "m");
  for (const char* name : {"head", "leg", "spine", "prop", "tail"}) {
    motion->AddSubMotion(MakeSubMotion(name));
  }
  constexpr uint16_t x = SkeletalMotion::kNoSubMotion;
  uint16_t links[5] = {x, x, x, x, x};
  motion->FillMotionLinks(*actor, -1, links, 5);
  EXPECT_EQ(std::vector<uint16_t>(links, links + 5), (std::vector<uint16_t>{x, 2, 0, 1, 3}));

  uint16_t subtree[5] = {x, x, x, x, x};
  motion->FillMotionLinks(*actor, 1, subtree, 5);
  EXPECT_EQ(std::vector<uint16_t>(subtree, subtree + 5), (std::vector<uint16_t>{x, 2, 0, x, x}));

  uint16_t shortTable[2] = {x, x};  // never written past its end
  motion->FillMotionLinks(*actor, -1, shortTable, 2);
  EXPECT_EQ(shortTable[1], 2);

  // The bind pose comes from the actor's node of the same name.
  Transform& bind = actor->GetTransformData().GetBindTransforms()[2];
  bind.position = Vector3(0, 1.5f, 0);
  bind.rotation = Quaternion(0, 0, 0.6f, 0.8f);
  motion->SetBindPoseFromActor(actor);
  const SkeletalSubMotion* head = motion->GetSubMotion(0);
  EXPECT_EQ(head->bindPosition, Vector3(0, 1.5f, 0));
  EXPECT_EQ(head->bindRotation, Compressed16BitQuaternion(0, 0, 19660, 26213));
  EXPECT_EQ(motion->GetSubMotion(4)->bindPosition, Vector3(0, 0, 0));  // "tail": no node

  AnimCore::Delete(motion);
  AnimCore::Delete(actor);
}

class DeleteCounter : public MotionEventHandler {
 public:
  explicit DeleteCounter(int* count) : mCount(count) {}
  void OnDeleteMotion(Motion*) override { ++*mCount; }

 private:
  int* mCount;
};

TEST_F(AnimTest, DestroyingAMotionTellsTheHandler) {
  int deleted = 0;
  GetEventManager()->SetEventHandler(
      AnimCore::New<DeleteCounter>(MEMCATEGORY_MOTIONEVENT, &deleted));
  AnimCore::Delete(AnimCore::New<SkeletalMotion>(MEMCATEGORY_SKELETALMOTION, "x"));
  EXPECT_EQ(deleted, 1);
}

}  // namespace
}  // namespace Anim
