#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "animation/actor_instance.h"
#include "animation/actor_manager.h"
#include "animation/anim_manager.h"
#include "animation/controller.h"
#include "animation/anim_test_support.h"
#include "animation/event_manager.h"
#include "animation/layer_pass.h"
#include "animation/local_space_controller.h"
#include "animation/mesh.h"
#include "animation/motion_event_handler.h"
#include "animation/motion_instance.h"
#include "animation/motion_layer_system.h"
#include "animation/skeletal_motion.h"
#include "animation/update_scheduler.h"
#include "animation/vertex_attribute_layer.h"
#include "animation/world_pose.h"

namespace Anim {
namespace {

using AnimCore::Matrix;
using AnimCore::Quaternion;
using AnimCore::Vector3;

std::vector<std::string>* gHooks = nullptr;

class RecordingHandler final : public MotionEventHandler {
 public:
  void Record(const char* hook) {
    if (gHooks != nullptr) gHooks->push_back(hook);
  }
  void OnPlayMotion(Motion*, const sMotionPlayInfo*) override { Record("play"); }
  void OnStartMotion(MotionInstance*, const sMotionPlayInfo*) override { Record("start"); }
  void OnDeleteMotionInstance(MotionInstance*) override { Record("delete"); }
  void OnStop(MotionInstance*) override { Record("stop"); }
  void OnHasLooped(MotionInstance*) override { Record("loop"); }
  void OnIsFrozenAtLastFrame(MotionInstance*) override { Record("frozen"); }
  void OnChangedPauseState(MotionInstance*) override { Record("pause"); }
  void OnChangedActiveState(MotionInstance*) override { Record("active"); }
  void OnStartBlending(MotionInstance*) override { Record("blend+"); }
  void OnStopBlending(MotionInstance*) override { Record("blend-"); }
  void OnQueueMotionInstance(MotionInstance*, const sMotionPlayInfo*) override { Record("queue"); }
  void OnEvent(float, uint32_t, const char* parameters, ActorInstance*, MotionInstance*) override {
    Record((std::string("event ") + parameters).c_str());
  }
};

class MotionSystemTest : public testing::AnimTest {
 protected:
  void SetUp() override {
    testing::AnimTest::SetUp();
    gHooks = &hooks;
    GetEventManager()->SetEventHandler(AnimCore::New<RecordingHandler>(MEMCATEGORY_MOTIONMISC));
    // root -> child -> tip
    actor = testing::MakeActor({{"root", -1}, {"child", 0}, {"tip", 1}});
  }
  void TearDown() override {
    AnimCore::Delete(instance);
    for (Motion* motion : motions) AnimCore::Delete(motion);
    AnimCore::Delete(actor);
    gHooks = nullptr;
    testing::AnimTest::TearDown();
  }
  ActorInstance* MakeInstance(uint32_t flags = ActorInstance::kDefaultTransformDataFlags) {
    instance = AnimCore::New<ActorInstance>(MEMCATEGORY_ACTORINSTANCE, actor, flags);
    return instance;
  }
  // A motion of length maxTime moving node's position linearly from `from` to `to`.
  SkeletalMotion* MakeMotion(const char* node, Vector3 from, Vector3 to, float maxTime = 1.0f,
                             Quaternion rotation = Quaternion()) {
    SkeletalMotion* motion = AnimCore::New<SkeletalMotion>(MEMCATEGORY_SKELETALMOTION, "m");
    SkeletalSubMotion* sub = AnimCore::New<SkeletalSubMotion>(MEMCATEGORY_SKELETALMOTION, node);
    sub->CreatePositionTrack();
    sub->GetPositionTrack()->AddKey(0.0f, from);
    sub->GetPositionTrack()->AddKey(maxTime, to);
    sub->GetPositionTrack()->CreateLinearInterpolator();
    sub->poseRotation.FromQuaternion(rotation);
    motion->AddSubMotion(sub);
    motion->UpdateMaxTime();
    motions.push_back(motion);
    return motion;
  }
  const Transform& Local(uint32_t node) { return instance->GetTransformData().GetLocalTransforms()[node]; }

  std::vector<std::string> hooks;
  Actor* actor = nullptr;
  ActorInstance* instance = nullptr;
  std::vector<Motion*> motions;
};

void ExpectNear(const Vector3& a, const Vector3& b, float eps = 1e-4f) {
  EXPECT_NEAR(a.x, b.x, eps);
  EXPECT_NEAR(a.y, b.y, eps);
  EXPECT_NEAR(a.z, b.z, eps);
}

TEST_F(MotionSystemTest, HooksOfPlayQueueStartAndDeleteComeInOrder) {
  MakeInstance();
  SkeletalMotion* motion = MakeMotion("root", {}, {1, 0, 0});
  MotionSystem* system = instance->GetMotionSystem();
  hooks.clear();
  MotionInstance* now = system->PlayMotion(motion, nullptr);
  EXPECT_EQ(hooks, (std::vector<std::string>{"play", "blend+", "start"}));
  EXPECT_TRUE(now->IsActive());
  EXPECT_FLOAT_EQ(now->GetTargetWeight(), 1.0f);

  hooks.clear();
  sMotionPlayInfo info;
  info.playNow = 0;
  MotionInstance* queued = system->PlayMotion(motion, &info);
  EXPECT_EQ(hooks, (std::vector<std::string>{"play", "blend+", "pause", "active", "queue"}));
  EXPECT_TRUE(queued->IsPaused());
  EXPECT_FALSE(system->IsListed(queued));

  hooks.clear();
  now->Stop(0.3f);  // still at weight 0: its fade ends at once and it is deleted
  instance->Update(0.1f, true);
  EXPECT_TRUE(system->IsListed(queued));  // on an empty system the queue starts at once
  EXPECT_EQ(system->GetNumMotionInstances(), 1u);
  EXPECT_EQ(hooks, (std::vector<std::string>{"stop", "blend-", "delete", "start", "pause", "active"}));

  sMotionPlayInfo additive;
  additive.blendMode = MotionInstance::BLENDMODE_ADDITIVE;
  EXPECT_TRUE(system->PlayMotion(motion, &additive)->IsMixing());
  EXPECT_EQ(additive.mix, 1);
  EXPECT_EQ(system->PlayMotion(nullptr, nullptr), nullptr);
}

// The instance list cannot grow: its category is refused on demand.
class MotionListOutOfMemoryTest : public MotionSystemTest {
 protected:
  AnimCore::MemoryAllocator* NewAllocator() override {
    allocator = new AnimCore::testing::TestAllocator();
    return allocator;
  }
  AnimCore::testing::TestAllocator* allocator = nullptr;
};

TEST_F(MotionListOutOfMemoryTest, AnInstanceTheListCannotTakeIsNeverHandedOut) {
  MakeInstance();
  SkeletalMotion* motion = MakeMotion("root", {}, {1, 0, 0});
  MotionSystem* system = instance->GetMotionSystem();

  // Played now: the instance is deleted and the caller gets none.
  hooks.clear();
  allocator->failCategory = MEMCATEGORY_MOTIONSYSTEM;
  EXPECT_EQ(system->PlayMotion(motion, nullptr), nullptr);
  EXPECT_EQ(hooks, (std::vector<std::string>{"play", "blend+", "delete"}));
  EXPECT_EQ(system->GetNumMotionInstances(), 0u);

  // Queued: the entry waits (the caller's pointer stays good) until the list can
  // take it.
  allocator->failCategory = 0xFFFFFFFFu;
  sMotionPlayInfo later;
  later.playNow = 0;
  MotionInstance* queued = system->PlayMotion(motion, &later);
  ASSERT_NE(queued, nullptr);
  allocator->failCategory = MEMCATEGORY_MOTIONSYSTEM;
  hooks.clear();
  instance->Update(0.1f, false);
  ASSERT_EQ(system->GetMotionQueue()->GetNumEntries(), 1u);
  EXPECT_EQ(system->GetMotionQueue()->GetEntry(0).instance, queued);
  EXPECT_FALSE(system->IsListed(queued));
  EXPECT_TRUE(queued->IsPaused());
  EXPECT_EQ(hooks, std::vector<std::string>{});
  allocator->failCategory = 0xFFFFFFFFu;
  instance->Update(0.1f, false);
  EXPECT_EQ(system->GetMotionQueue()->GetNumEntries(), 0u);
  EXPECT_TRUE(system->IsListed(queued));
  EXPECT_FALSE(queued->IsPaused());
  EXPECT_EQ(hooks, (std::vector<std::string>{"start", "pause", "active"}));
}

TEST_F(MotionSystemTest, WeightsStopsLoopsAndFreezing) {
  MakeInstance();
  SkeletalMotion* motion = MakeMotion("root", {}, {2, 0, 0}, 2.0f);
  MotionInstance mi(motion, instance, -1);
  mi.SetWeight(1.7f, 0.0f);
  EXPECT_FLOAT_EQ(mi.GetWeight(), 1.0f);
  mi.SetWeight(-2.0f, 0.5f);
  EXPECT_FLOAT_EQ(mi.GetWeightDelta(), -2.0f);
  mi.Stop(0.0f);
  EXPECT_FLOAT_EQ(mi.GetWeight(), 0.0f);
  EXPECT_FALSE(mi.IsStopping());
  mi.SetWeight(1.0f, 0.0f);
  mi.Stop(0.3f);
  EXPECT_TRUE(mi.IsStopping());

  sMotionPlayInfo info;
  info.numLoops = 2;
  info.freezeAtLastFrame = 1;
  mi.SetPlayInfo(info);
  mi.Unpause();
  hooks.clear();
  for (int i = 0; i < 6; ++i) mi.Update(1.5f);
  EXPECT_FLOAT_EQ(mi.GetCurrentTime(), 2.0f);
  EXPECT_EQ(mi.GetCurrentLoop(), 1u);
  EXPECT_EQ(std::count(hooks.begin(), hooks.end(), "frozen"), 1);
  EXPECT_TRUE(mi.HasFlag(MotionInstance::FLAG_FROZEN));
}

TEST_F(MotionSystemTest, AMotionWithoutLengthStaysAtTimeZero) {
  MakeInstance();
  SkeletalMotion* motion = MakeMotion("root", {}, {}, 0.0f);
  ASSERT_EQ(motion->GetMaxTime(), 0.0f);
  for (float speed : {1.0f, -1.0f}) {
    for (uint32_t mode : {0u, 1u}) {
      MotionInstance mi(motion, instance, -1);
      sMotionPlayInfo info;
      info.playSpeed = speed;
      info.playMode = mode;
      mi.SetPlayInfo(info);
      mi.Update(0.25f);
      EXPECT_EQ(mi.GetCurrentTime(), 0.0f) << speed << " " << mode;
    }
  }
}

TEST_F(MotionSystemTest, QueuedMotionStartsInTheLastLoopBeforeTheEnd) {
  MakeInstance();
  SkeletalMotion* motion = MakeMotion("root", {}, {1, 0, 0}, 2.0f);
  MotionSystem* system = instance->GetMotionSystem();
  sMotionPlayInfo first;
  first.numLoops = 3;
  first.blendInTime = 0.0f;
  MotionInstance* primary = system->PlayMotion(motion, &first);
  sMotionPlayInfo next;
  next.playNow = 0;
  next.blendInTime = 0.2f;
  MotionInstance* queued = system->PlayMotion(motion, &next);
  instance->Update(2.5f, false);
  instance->Update(2.0f, false);  // loop 2 at time 0.5
  ASSERT_EQ(primary->GetCurrentLoop(), 2u);
  instance->Update(0.9f, false);
  EXPECT_FALSE(system->IsListed(queued));
  instance->Update(0.1f, false);  // 1.5 >= 2.0 - (0.2 + 0.3)
  EXPECT_TRUE(system->IsListed(queued));
}

TEST_F(MotionSystemTest, BlendsTwoAndThreeMotionsAndHonoursPriority) {
  MakeInstance();
  const float s = std::sqrt(0.5f);
  SkeletalMotion* a = MakeMotion("child", {2, 0, 0}, {2, 0, 0}, 1.0f, Quaternion(0, 0, 0, 1));
  SkeletalMotion* b = MakeMotion("child", {4, 0, 0}, {4, 0, 0}, 1.0f, Quaternion(0, 0, -s, -s));
  MotionSystem* system = instance->GetMotionSystem();
  sMotionPlayInfo info;
  info.blendInTime = 0.0f;
  system->PlayMotion(a, &info);
  info.targetWeight = 0.5f;
  info.priorityLevel = 1;
  system->PlayMotion(b, &info);
  instance->Update(0.0f, true);
  // b's rotation is -(0,0,s,s): the sign is corrected, then the blend normalised.
  ExpectNear(Local(1).position, {3, 0, 0});
  const float len = std::sqrt(s * s * 0.25f + (0.5f + 0.5f * s) * (0.5f + 0.5f * s));
  EXPECT_NEAR(Local(1).rotation.z, 0.5f * s / len, 1e-5f);
  EXPECT_NEAR(Local(1).rotation.w, (0.5f + 0.5f * s) / len, 1e-5f);

  // A third, additive, moves the node by its offset from the bind pose at weight 0.5.
  SkeletalMotion* c = MakeMotion("child", {10, 0, 0}, {10, 0, 0});
  info.blendMode = MotionInstance::BLENDMODE_ADDITIVE;
  info.priorityLevel = 2;
  system->PlayMotion(c, &info);
  instance->Update(0.0f, true);
  ExpectNear(Local(1).position, {8, 0, 0});
  EXPECT_EQ(system->GetMotionInstance(0)->GetMotion(), c);
  EXPECT_EQ(system->GetPrimaryInstance()->GetMotion(), b);
}

TEST_F(MotionSystemTest, FullWeightMotionRemovesTheOnesUnderItAndStoppedOnesGo) {
  MakeInstance();
  SkeletalMotion* a = MakeMotion("root", {}, {1, 0, 0});
  MotionSystem* system = instance->GetMotionSystem();
  system->PlayMotion(a, nullptr);
  MotionInstance* top = system->PlayMotion(a, nullptr);
  instance->Update(0.2f, true);
  EXPECT_EQ(system->GetNumMotionInstances(), 2u);  // still blending in
  instance->Update(0.2f, true);
  ASSERT_EQ(system->GetNumMotionInstances(), 1u);
  EXPECT_EQ(system->GetMotionInstance(0), top);
  top->Stop(0.3f);
  instance->Update(0.2f, true);
  EXPECT_EQ(system->GetNumMotionInstances(), 1u);
  instance->Update(0.2f, true);
  EXPECT_EQ(system->GetNumMotionInstances(), 0u);
}

TEST_F(MotionSystemTest, NodesOutsideTheInstancesLevelOfDetailTakeTheDefaultOrKeepTheirTransform) {
  // The motion puts "child" at (3, 0, 0); its bind pose is (0, 1, 0); before the
  // update it holds (7, 7, 7).
  actor->GetTransformData().GetBindTransforms()[1].position = {0, 1, 0};
  SkeletalMotion* motion = MakeMotion("child", {3, 0, 0}, {3, 0, 0});
  struct Case {
    uint32_t level;
    uint32_t mask;
    bool enabled;
  };
  const Case cases[] = {
      {0, 0xFFFFFFFFu, true}, {0, 0x1, true},  {1, 0x1, false},          {1, 0x2, true},
      {2, 0x5, true},         {3, 0x5, false}, {31, 0x80000000u, true}, {0, 0x0, false},
  };
  // Flags 0 (the game's) leave 0x10 clear; the default flags set it.
  for (uint32_t flags : {0u, ActorInstance::kDefaultTransformDataFlags}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << "flags " << flags << " level " << c.level << " mask "
                                        << c.mask);
      actor->GetNode(1)->SetLODMask(c.mask);
      MakeInstance(flags);
      instance->SetLODLevel(c.level);
      sMotionPlayInfo info;
      info.blendInTime = 0.0f;
      ASSERT_NE(instance->GetMotionSystem()->PlayMotion(motion, &info), nullptr);
      instance->GetTransformData().GetLocalTransforms()[1].position = {7, 7, 7};
      instance->GetMotionSystem()->Update(0.1f, true);
      const bool keeps = (flags & TransformData::OWN_LOCALTRANSFORMS) != 0;
      const Vector3 expected = c.enabled ? Vector3{3, 0, 0} : keeps ? Vector3{7, 7, 7} : Vector3{0, 1, 0};
      ExpectNear(Local(1).position, expected);
      // Every node is handed a transform, whichever it is.
      EXPECT_NE(instance->GetTransformData().GetNodeFlags()[1] & TransformData::NODEFLAG_WRITTEN, 0u);
      AnimCore::Delete(instance);
      instance = nullptr;
    }
  }
}

TEST_F(MotionSystemTest, NodeFlagsMarkChangedScaledAndWrittenNodes) {
  const Transform bind;  // identity, unit scale
  struct Case {
    const char* what;
    Vector3 position;
    Vector3 scale;
    float rotationZ;
    uint32_t detecting;  // flags with change detection
    uint32_t plain;      // without
  };
  using TD = TransformData;
  const Case cases[] = {
      {"same transform again", {0, 0, 0}, {1, 1, 1}, 0.0f, TD::NODEFLAG_WRITTEN,
       TD::NODEFLAG_CHANGED | TD::NODEFLAG_WRITTEN},
      // Squared distance 0.000009 is within 0.00001; 0.000016 is not.
      {"moved by 0.003", {0.003f, 0, 0}, {1, 1, 1}, 0.0f, TD::NODEFLAG_WRITTEN,
       TD::NODEFLAG_CHANGED | TD::NODEFLAG_WRITTEN},
      {"moved by 0.004", {0.004f, 0, 0}, {1, 1, 1}, 0.0f, TD::NODEFLAG_CHANGED | TD::NODEFLAG_WRITTEN,
       TD::NODEFLAG_CHANGED | TD::NODEFLAG_WRITTEN},
      {"rotation off by 0.00002", {0, 0, 0}, {1, 1, 1}, 0.00002f,
       TD::NODEFLAG_CHANGED | TD::NODEFLAG_WRITTEN, TD::NODEFLAG_CHANGED | TD::NODEFLAG_WRITTEN},
      // A scale within 0.0001 of 1 counts as none (and within the change threshold).
      {"scale 1.00009", {0, 0, 0}, {1.00009f, 1, 1}, 0.0f, TD::NODEFLAG_WRITTEN,
       TD::NODEFLAG_CHANGED | TD::NODEFLAG_WRITTEN},
      {"scale 1.0002 in z", {0, 0, 0}, {1, 1, 1.0002f}, 0.0f, TD::NODEFLAG_SCALED | TD::NODEFLAG_WRITTEN,
       TD::NODEFLAG_CHANGED | TD::NODEFLAG_SCALED | TD::NODEFLAG_WRITTEN},
      {"scale 2", {0, 0, 0}, {2, 1, 1}, 0.0f, TD::NODEFLAG_CHANGED | TD::NODEFLAG_SCALED | TD::NODEFLAG_WRITTEN,
       TD::NODEFLAG_CHANGED | TD::NODEFLAG_SCALED | TD::NODEFLAG_WRITTEN},
  };
  // Change detection needs both the local matrices (0x2) and the local transforms
  // (0x10) of the instance's own.
  const uint32_t detecting = TD::OWN_LOCALMATRICES | TD::OWN_LOCALTRANSFORMS;
  for (uint32_t flags : {detecting, ActorInstance::kDefaultTransformDataFlags, 0u,
                         uint32_t{TD::OWN_LOCALTRANSFORMS}, uint32_t{TD::OWN_LOCALMATRICES}}) {
    MakeInstance(flags);
    const bool detects = (flags & detecting) == detecting;
    EXPECT_EQ(instance->IsChangeDetectionOn(), detects);
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << c.what << ", flags " << flags);
      instance->Update(0.0f, true);  // clears the flag words; the bind pose is in place
      ASSERT_EQ(instance->GetTransformData().GetNodeFlags()[1], 0u);
      Transform t = bind;
      t.position = c.position;
      t.scale = c.scale;
      t.rotation.z = c.rotationZ;
      instance->SetLocalTransform(1, t);
      EXPECT_EQ(instance->GetTransformData().GetNodeFlags()[1], detects ? c.detecting : c.plain);
      // An unchanged part is not copied under change detection.
      const bool copied = !detects || (c.detecting & TD::NODEFLAG_CHANGED) != 0;
      ExpectNear(Local(1).position, copied ? c.position : Vector3{0, 0, 0}, 1e-7f);
    }
    AnimCore::Delete(instance);
    instance = nullptr;
  }
}

TEST_F(MotionSystemTest, WorldMatricesOfAChainAndBoundsAndAttachments) {
  const float s = std::sqrt(0.5f);
  Transform* bind = actor->GetTransformData().GetBindTransforms();
  bind[0].position = {1, 0, 0};
  bind[1].position = {0, 2, 0};
  bind[1].rotation = Quaternion(0, 0, s, s);  // 90 degrees about z
  bind[2].position = {3, 0, 0};
  MakeInstance();
  instance->SetPosition({0, 0, 5});
  instance->Update(0.0f, true);
  // By hand: tip at (3,0,0) in child space; the child turns x into y: (0,3,0),
  // plus (0,2,0) and the root's (1,0,0), plus the instance's (0,0,5).
  const Matrix& tip = instance->GetTransformData().GetWorldMatrices()[2];
  ExpectNear({tip(3, 0), tip(3, 1), tip(3, 2)}, {1, 5, 5});
  ExpectNear({tip(0, 0), tip(0, 1), tip(0, 2)}, {0, 1, 0});

  instance->CalcNodeBasedBounds(const_cast<AnimCore::AABB&>(instance->GetBounds()), 2);
  ExpectNear(instance->GetBounds().min, {1, 0, 5});
  ExpectNear(instance->GetBounds().max, {1, 5, 5});

  ActorInstance* prop = AnimCore::New<ActorInstance>(MEMCATEGORY_ACTORINSTANCE, actor);
  EXPECT_FALSE(instance->AddAttachment(3, prop));
  EXPECT_FALSE(instance->AddAttachment(0, instance));
  ASSERT_TRUE(instance->AddAttachment(2, prop));
  EXPECT_FALSE(instance->AddAttachment(1, prop));
  EXPECT_FALSE(prop->AddAttachment(0, instance));  // a cycle
  instance->Update(0.0f, true);
  prop->Update(0.0f, true);
  const Matrix& propRoot = prop->GetTransformData().GetWorldMatrices()[0];
  // The prop's root (1,0,0) in the tip's frame (x turned into y) at (1,5,5).
  ExpectNear({propRoot(3, 0), propRoot(3, 1), propRoot(3, 2)}, {1, 6, 5});
  EXPECT_EQ(prop->FindAttachmentRoot(), instance);
  AnimCore::Delete(instance);
  instance = prop;
  EXPECT_EQ(prop->GetAttachedTo(), nullptr);
  EXPECT_EQ(prop->GetAttachmentDepth(), 0);
  EXPECT_TRUE(prop->GetParentTransform().IsIdentity(0.0f));

  instance->UpdateBounds(0, 7, 1);
  EXPECT_TRUE(Logged("*** ActorInstance::UpdateBounds() - Unknown boundsType specified! (7) ***"));
}

TEST_F(MotionSystemTest, RepositioningAddsRootMovementAcrossTheLoop) {
  actor->SetRepositioningNode(0);
  MakeInstance();
  SkeletalMotion* walk = MakeMotion("root", {0, 0, 0}, {0, 0, 4}, 2.0f);
  sMotionPlayInfo info;
  info.blendInTime = 0.0f;
  instance->GetMotionSystem()->PlayMotion(walk, &info);
  instance->Update(1.5f, true);
  ExpectNear(instance->GetPosition(), {0, 0, 3});
  instance->Update(1.0f, true);  // 1.5 -> 2.0 (1 unit), then 0 -> 0.5 (1 unit)
  ExpectNear(instance->GetPosition(), {0, 0, 5});
  ExpectNear(Local(0).position, {0, 0, 0});
}

class TestLocalController final : public LocalSpaceController {
 public:
  using LocalSpaceController::LocalSpaceController;
  uint32_t GetType() const override { return 77; }
  const char* GetTypeString() const override { return "TestLocalController"; }
  void Update() override {}
  void CreateMotionLinks(Actor*, MotionInstance* instance) override { instance->GetLinks()[1] = 0; }
  void UpdatePose(const AnimCore::Array<Transform>& in, AnimCore::Array<Transform>& out,
                  MotionInstance*) override {
    out = in;
    out[1].position = {7, 7, 7};
  }
};

TEST_F(MotionSystemTest, LocalSpaceControllerPlaysItsPoseAndLeavesNoInstanceBehind) {
  MakeInstance();
  auto* controller = AnimCore::New<TestLocalController>(MEMCATEGORY_LOCALSPACECONTROLLER, instance);
  controller->Activate(5, 0.0f);
  MotionSystem* system = instance->GetMotionSystem();
  ASSERT_EQ(system->GetNumMotionInstances(), 1u);
  instance->Update(0.1f, true);
  ExpectNear(Local(1).position, {7, 7, 7});
  controller->Deactivate(0.3f);
  EXPECT_TRUE(system->GetMotionInstance(0)->IsStopping());
  AnimCore::Delete(controller);  // its motion dies with it: so does the instance
  EXPECT_EQ(system->GetNumMotionInstances(), 0u);
  instance->Update(0.1f, true);
}

std::vector<std::string> EventsIn(const std::vector<std::string>& hooks) {
  std::vector<std::string> events;
  for (const std::string& hook : hooks) {
    if (hook.rfind("event ", 0) == 0) events.push_back(hook.substr(6));
  }
  return events;
}

TEST_F(MotionSystemTest, BackwardPlayRunsTheClockDownAndWrapsAtZero) {
  MakeInstance();
  SkeletalMotion* motion = MakeMotion("root", {}, {2, 0, 0}, 2.0f);  // x equals the time
  sMotionPlayInfo info;
  info.blendInTime = 0.0f;
  info.playMode = MotionInstance::PLAYMODE_BACKWARD;
  MotionInstance* mi = instance->GetMotionSystem()->PlayMotion(motion, &info);
  EXPECT_FLOAT_EQ(mi->GetCurrentTime(), 2.0f);
  struct Step {
    float dt;
    float time;
    uint32_t loop;
  };
  // 2.0 -> 1.5 -> 0.5 -> (-0.5 wraps to) 1.5 -> 1.2
  for (const Step& step : {Step{0.5f, 1.5f, 0}, Step{1.0f, 0.5f, 0}, Step{1.0f, 1.5f, 1},
                           Step{0.3f, 1.2f, 1}}) {
    instance->Update(step.dt, true);
    EXPECT_NEAR(mi->GetCurrentTime(), step.time, 1e-5f);
    EXPECT_NEAR(mi->GetTimeDelta(), -step.dt, 1e-6f);
    EXPECT_EQ(mi->GetCurrentLoop(), step.loop);
    ExpectNear(Local(0).position, {step.time, 0, 0});
  }
  EXPECT_NEAR(mi->GetTotalPlayTime(), 2.8f, 1e-5f);

  // One loop backward with freezing holds at time 0 and reports it once.
  MotionInstance once(motion, instance, -1);
  info.numLoops = 1;
  info.freezeAtLastFrame = 1;
  once.SetPlayInfo(info);
  once.Unpause();
  hooks.clear();
  for (int i = 0; i < 3; ++i) once.Update(1.5f);
  EXPECT_EQ(once.GetCurrentTime(), 0.0f);
  EXPECT_EQ(once.GetCurrentLoop(), 0u);
  EXPECT_EQ(once.GetTimeDelta(), 0.0f);
  EXPECT_TRUE(once.HasFlag(MotionInstance::FLAG_FROZEN));
  EXPECT_EQ(std::count(hooks.begin(), hooks.end(), "frozen"), 1);
}

TEST_F(MotionSystemTest, MotionEventsFireThroughTheInstanceInBothDirections) {
  MakeInstance();
  ASSERT_NE(GetEventManager()->RegisterEventType("sound", kInvalidIndex), kInvalidIndex);
  SkeletalMotion* motion = MakeMotion("root", {}, {2, 0, 0}, 2.0f);
  motion->GetEventTable().AddEvent(0.0f, "sound", "start");
  motion->GetEventTable().AddEvent(1.0f, "sound", "middle");
  motion->GetEventTable().AddEvent(2.0f, "sound", "end");

  sMotionPlayInfo info;
  info.blendInTime = 0.0f;
  MotionInstance forward(motion, instance, -1);
  forward.SetPlayInfo(info);
  forward.Unpause();
  hooks.clear();
  forward.Update(1.5f);  // [0, 1.5)
  EXPECT_EQ(EventsIn(hooks), (std::vector<std::string>{"start", "middle"}));
  hooks.clear();
  forward.Update(1.0f);  // the wrap: [1.5, end], then [0, 0.5)
  EXPECT_EQ(EventsIn(hooks), (std::vector<std::string>{"end", "start"}));

  info.playMode = MotionInstance::PLAYMODE_BACKWARD;
  MotionInstance backward(motion, instance, -1);
  backward.SetPlayInfo(info);
  backward.Unpause();
  hooks.clear();
  backward.Update(0.5f);  // (1.5, 2]
  backward.Update(1.0f);  // (0.5, 1.5]
  backward.Update(1.0f);  // the wrap: [0, 0.5) forward, then (1.5, 2]
  EXPECT_EQ(EventsIn(hooks), (std::vector<std::string>{"end", "middle", "start", "end"}));

  // Below the weight threshold, paused, or with events off: nothing fires.
  struct Case {
    float weight;
    bool paused;
    uint8_t events;
  };
  for (const Case& c : {Case{0.25f, false, 1}, Case{1.0f, true, 1}, Case{1.0f, false, 0}}) {
    sMotionPlayInfo quiet;
    quiet.blendInTime = 0.0f;
    quiet.targetWeight = c.weight;
    quiet.eventWeightThreshold = 0.5f;
    quiet.enableMotionEvents = c.events;
    MotionInstance mi(motion, instance, -1);
    mi.SetPlayInfo(quiet);
    if (c.paused) mi.Pause();
    else mi.Unpause();
    hooks.clear();
    mi.Update(1.5f);
    EXPECT_TRUE(EventsIn(hooks).empty()) << c.weight << " " << c.paused;
  }
}

TEST_F(MotionSystemTest, RetargetingThroughCalcNodeTransform) {
  Transform* bind = actor->GetTransformData().GetBindTransforms();
  bind[0].position = {0, 2, 0};
  bind[1].position = {1, 3, 0};
  bind[1].scale = {2, 2, 2};
  MakeInstance();
  SkeletalMotion* motion = MakeMotion("root", {0, 0, 0}, {0, 4, 0});
  SkeletalSubMotion* child = AnimCore::New<SkeletalSubMotion>(MEMCATEGORY_SKELETALMOTION, "child");
  child->posePosition = {5, 5, 5};
  child->bindPosition = {1, 1, 1};
  child->bindScale = {1.5f, 1, 1};
  ASSERT_TRUE(motion->AddSubMotion(child));
  MotionInstance mi(motion, instance, -1);
  sMotionPlayInfo info;
  info.retargetRootIndex = 0;
  info.retargetRootOffset = 0.5f;
  info.retarget = 1;
  mi.SetPlayInfo(info);
  motion->CreateMotionLinks(actor, &mi);

  Transform out;
  motion->CalcNodeTransform(&mi, out, actor, 0, 0.5f, false);
  ExpectNear(out.position, {0, 2, 0});
  // The root: y scaled by its own bind height, 2 / 2 * 0.5.
  motion->CalcNodeTransform(&mi, out, actor, 0, 0.5f, true);
  ExpectNear(out.position, {0, 2.5f, 0});
  // Others: the actor's bind position minus the submotion's, and the same for scale.
  motion->CalcNodeTransform(&mi, out, actor, 1, 0.0f, true);
  ExpectNear(out.position, {5 + 0, 5 + 2, 5 - 1});
  ExpectNear(out.scale, {1 + 0.5f, 1 + 1, 1 + 1});
  // A node the motion does not animate gives the instance's current local transform.
  instance->SetLocalPosition(2, {9, 8, 7});
  motion->CalcNodeTransform(&mi, out, actor, 2, 0.5f, true);
  ExpectNear(out.position, {9, 8, 7});

  // A root without bind height gets exactly the offset.
  instance->GetTransformData().GetBindTransforms()[0].position = {0, 0, 0};
  motion->CalcNodeTransform(&mi, out, actor, 0, 0.5f, true);
  ExpectNear(out.position, {0, 2.5f, 0});
  info.retargetRootOffset = -1.25f;
  mi.SetPlayInfo(info);
  motion->CalcNodeTransform(&mi, out, actor, 0, 0.25f, true);
  ExpectNear(out.position, {0, 1 - 1.25f, 0});
}

class CountingController final : public WorldSpaceController {
 public:
  using WorldSpaceController::WorldSpaceController;
  uint32_t GetType() const override { return 99; }
  const char* GetTypeString() const override { return "CountingController"; }
  Controller* Clone() override { return nullptr; }
  void Update(WorldPose&, float) override { ++runs; }
  int runs = 0;
};

TEST_F(MotionSystemTest, ControllerNodeMasksAndWeights) {
  AnimCore::Delete(actor);
  // root -> a -> a1, root -> b, a -> a2
  actor = testing::MakeActor({{"root", -1}, {"a", 0}, {"a1", 1}, {"b", 0}, {"a2", 1}});
  MakeInstance();
  auto* controller = AnimCore::New<CountingController>(MEMCATEGORY_WORLDSPACECONTROLLER, instance);
  const auto mask = [&] {
    std::vector<int> values;
    for (uint32_t i = 0; i < controller->GetNodeMask().GetLength(); ++i) {
      values.push_back(controller->GetNodeMask()[i]);
    }
    return values;
  };
  EXPECT_EQ(mask(), (std::vector<int>{0, 0, 0, 0, 0}));
  controller->SetNodeMaskRecursive(1, 1);
  EXPECT_EQ(mask(), (std::vector<int>{0, 1, 1, 0, 1}));
  controller->SetNodeMaskRecursive(3, 4);
  controller->SetNodeMaskRecursive(2, 0);
  controller->SetNodeMaskRecursive(5, 9);  // out of range: nothing
  EXPECT_EQ(mask(), (std::vector<int>{0, 1, 0, 4, 1}));
  controller->SetNodeMaskRecursive(0, 2);
  EXPECT_EQ(mask(), (std::vector<int>{2, 2, 2, 2, 2}));

  ASSERT_TRUE(instance->AddWorldSpaceController(controller));
  instance->Update(0.1f, true);
  EXPECT_EQ(controller->runs, 0);  // weight 0 after construction
  controller->Activate(0.3f);
  instance->Update(0.2f, true);
  EXPECT_NEAR(controller->GetWeight(), 2.0f / 3.0f, 1e-5f);
  instance->Update(0.2f, true);  // passes the target: stops at exactly 1
  EXPECT_EQ(controller->GetWeight(), 1.0f);
  EXPECT_FALSE(controller->IsBlending());
  EXPECT_EQ(controller->runs, 2);
  controller->Deactivate(0.2f);
  instance->Update(0.1f, true);
  instance->Update(0.1f, true);  // reaches 0 here and is not run
  EXPECT_EQ(controller->GetWeight(), 0.0f);
  EXPECT_EQ(controller->runs, 3);
}

// Moves the world matrices of the nodes its mask selects by `shift`.
class ShiftController final : public WorldSpaceController {
 public:
  using WorldSpaceController::WorldSpaceController;
  uint32_t GetType() const override { return 98; }
  const char* GetTypeString() const override { return "ShiftController"; }
  Controller* Clone() override { return nullptr; }
  void Update(WorldPose& pose, float) override {
    for (uint32_t i = 0; i < pose.GetNumNodes(); ++i) {
      if (GetNodeMask()[i] == 0) continue;
      pose.GetMatrices()[i](3, 0) += shift.x;
      pose.GetMatrices()[i](3, 1) += shift.y;
      pose.GetMatrices()[i](3, 2) += shift.z;
    }
  }
  Vector3 shift;
};

TEST_F(MotionSystemTest, WorldSpaceControllersBlendBackIntoLocalTransforms) {
  const float s = std::sqrt(0.5f);
  Transform* bind = actor->GetTransformData().GetBindTransforms();
  bind[0].position = {1, 0, 0};
  bind[0].rotation = Quaternion(0, 0, s, s);  // x turns into y
  bind[1].position = {0, 2, 0};
  bind[2].position = {3, 0, 0};
  MakeInstance();
  instance->Update(0.0f, true);
  auto* controller = AnimCore::New<ShiftController>(MEMCATEGORY_WORLDSPACECONTROLLER, instance);
  controller->SetNodeMaskRecursive(1, 1);  // child and tip move as one
  controller->shift = {4, 0, 10};
  ASSERT_TRUE(instance->AddWorldSpaceController(controller));

  struct Case {
    float weight;
    Vector3 child;  // by hand: the world shift turned back into the root's frame
  };
  // The root maps x to y, so a world shift (4, 0, 10) is (0, -4, 10) in its frame.
  for (const Case& c : {Case{1.0f, {0, 2 - 4, 10}}, Case{0.25f, {0, 2 - 1, 2.5f}}, Case{0.0f, {0, 2, 0}}}) {
    instance->SetLocalPosition(1, {0, 2, 0});
    instance->Update(0.0f, true);
    controller->SetWeight(c.weight, 0.0f);
    instance->Update(0.0f, true);
    ExpectNear(Local(1).position, c.child);
    ExpectNear(Local(2).position, {3, 0, 0});  // unchanged relative to its moved parent
    ExpectNear(Local(0).position, {1, 0, 0});  // not selected
    EXPECT_NEAR(std::fabs(Local(1).rotation.w), 1.0f, 1e-5f);
  }
}

// The unit quad in the mesh's z = 0 plane.
Mesh* MakeUnitQuad() {
  Mesh* mesh = AnimCore::New<Mesh>(MEMCATEGORY_MESH, 4u, 2u, 4u);
  const uint32_t indices[6] = {0, 1, 2, 0, 2, 3};
  std::memcpy(mesh->GetIndices(), indices, sizeof(indices));
  const float positions[12] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
  auto* layer = AnimCore::New<VertexAttributeLayerAbstractData>(MEMCATEGORY_VERTEXATTRIBUTELAYER, 4u,
                                                                uint32_t{LAYERTYPE_POSITIONS}, 12u, true);
  std::memcpy(layer->GetOriginalData(), positions, sizeof(positions));
  layer->ResetToOriginalData();
  mesh->AddVertexAttributeLayer(layer);
  return mesh;
}

TEST_F(MotionSystemTest, MeshHitTestReturnsTheFirstNodeHitInIndexOrder) {
  Transform* bind = actor->GetTransformData().GetBindTransforms();
  bind[1].position = {0, 0, 2};  // child's quad at world z = 2
  bind[2].position = {0, 0, 2};  // tip's quad at world z = 4
  actor->GetNode(1)->SetMesh(0, MakeUnitQuad());
  actor->GetNode(2)->SetMesh(0, MakeUnitQuad());
  MakeInstance();
  instance->SetPosition({5, 0, 0});
  instance->Update(0.0f, true);

  struct Case {
    Vector3 from, to;
    uint32_t lod;
    int node;  // -1: no hit
  };
  const Case cases[] = {
      {{5.5f, 0.5f, 10}, {5.5f, 0.5f, -10}, 0, 1},  // through both: the child, though the tip is nearer
      {{5.5f, 0.5f, 3}, {5.5f, 0.5f, 10}, 0, 2},    // only the tip's quad lies on the segment
      {{5.5f, 0.5f, 10}, {5.5f, 0.5f, 5}, 0, -1},   // stops short of both
      {{0.5f, 0.5f, 10}, {0.5f, 0.5f, -10}, 0, -1}, // where the quads would be without the instance's move
      {{5.5f, 0.5f, 10}, {5.5f, 0.5f, -10}, 1, -1}, // no meshes at LOD 1
  };
  for (const Case& c : cases) {
    const Node* hit = instance->IntersectsMesh(c.lod, AnimCore::Ray(c.from, c.to));
    EXPECT_EQ(hit, c.node < 0 ? nullptr : actor->GetNode(static_cast<uint32_t>(c.node)))
        << "from z " << c.from.z << " to z " << c.to.z << " x " << c.from.x << " lod " << c.lod;
  }
}

TEST_F(MotionSystemTest, InstanceSharesMaterialsPerLODAndListsItsDependencies) {
  Actor* other = testing::MakeActor({{"a", -1}}, "other");
  ASSERT_TRUE(actor->AddDependency(other, 1));
  ASSERT_TRUE(actor->AddMaterial(0, AnimCore::New<Material>(MEMCATEGORY_MATERIAL)));
  ASSERT_TRUE(actor->AddMaterial(0, AnimCore::New<Material>(MEMCATEGORY_MATERIAL)));
  AnimCore::Array<AnimCore::Pointer<Material>>& shared = *actor->GetMaterialPointers(0);
  MakeInstance();

  ASSERT_EQ(instance->GetNumDependencies(), 2u);
  EXPECT_EQ(instance->GetDependency(0).actor, actor);
  EXPECT_EQ(instance->GetDependency(0).kind, 2u);
  EXPECT_EQ(instance->GetDependency(1).actor, other);
  EXPECT_EQ(instance->GetDependency(1).kind, 1u);

  ASSERT_EQ(instance->GetNumLODs(), 1u);
  ASSERT_EQ(instance->GetNumLODMaterials(0), 2u);
  EXPECT_EQ(instance->GetMaterial(0, 1), actor->GetMaterial(0, 1));
  EXPECT_EQ(shared[0].GetReferenceCount(), 2u);  // shared, not copied

  ASSERT_TRUE(instance->SetLODMaterialCount(0, 4));
  EXPECT_EQ(instance->GetNumLODMaterials(0), 4u);
  EXPECT_EQ(instance->GetMaterial(0, 0), actor->GetMaterial(0, 0));
  EXPECT_EQ(instance->GetMaterial(0, 3), nullptr);
  EXPECT_EQ(instance->GetMaterial(0, 4), nullptr);  // out of range reads as none

  ASSERT_TRUE(instance->SetLODMaterialCount(0, 1));
  EXPECT_EQ(instance->GetNumLODMaterials(0), 1u);
  EXPECT_EQ(shared[0].GetReferenceCount(), 2u);
  EXPECT_EQ(shared[1].GetReferenceCount(), 1u);  // the dropped reference was released

  EXPECT_FALSE(instance->SetLODMaterialCount(1, 3));  // the actor has one LOD
  EXPECT_EQ(instance->GetNumLODMaterials(1), 0u);

  AnimCore::Delete(std::exchange(instance, nullptr));
  EXPECT_EQ(shared[0].GetReferenceCount(), 1u);
  AnimCore::Delete(other);
}

class RecordingScheduler final : public UpdateScheduler {
 public:
  explicit RecordingScheduler(std::vector<std::pair<char, ActorInstance*>>* calls) : mCalls(calls) {}
  const char* GetTypeString() const override { return "RecordingScheduler"; }
  uint32_t GetType() const override { return 99; }
  void AddActorInstance(ActorInstance* instance) override { mCalls->push_back({'+', instance}); }
  void RemoveActorInstance(ActorInstance* instance) override { mCalls->push_back({'-', instance}); }

 private:
  std::vector<std::pair<char, ActorInstance*>>* mCalls;
};

TEST_F(MotionSystemTest, ManagerListsInstancesAndAttachingInformsTheScheduler) {
  using Calls = std::vector<std::pair<char, ActorInstance*>>;
  Calls calls;
  ActorManager* manager = GetActorManager();
  manager->SetScheduler(AnimCore::New<RecordingScheduler>(MEMCATEGORY_UPDATESCHEDULER, &calls));
  EXPECT_EQ(manager->CreateActorInstance(actor), nullptr);  // not registered
  ASSERT_TRUE(manager->RegisterActor(actor));

  ActorInstance* a = manager->CreateActorInstance(actor);
  ActorInstance* b = manager->CreateActorInstance(actor);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  instance = a;  // the fixture deletes it
  EXPECT_EQ(a->GetActor(), actor);  // no clones: always the actor itself
  ASSERT_EQ(manager->GetNumActorInstances(), 2u);
  EXPECT_EQ(manager->GetActorInstance(0), a);
  EXPECT_EQ(manager->GetActorInstance(1), b);
  EXPECT_EQ(manager->GetNumRootActorInstances(), 2u);
  manager->UpdateActorInstanceRegistration(a);  // already a root: listed once
  EXPECT_EQ(manager->GetNumRootActorInstances(), 2u);
  EXPECT_TRUE(calls.empty());

  EXPECT_FALSE(a->AddAttachment(99, b));
  EXPECT_TRUE(calls.empty());  // a refused attachment tells nobody
  a->SetIsEnabled(true);
  ASSERT_TRUE(a->AddAttachment(1, b));
  EXPECT_EQ(calls, (Calls{{'-', a}, {'-', b}, {'+', a}}));
  ASSERT_EQ(manager->GetNumRootActorInstances(), 1u);
  EXPECT_EQ(manager->GetRootActorInstance(0), a);
  EXPECT_EQ(manager->GetNumActorInstances(), 2u);

  calls.clear();
  Attachment* record = a->GetAttachment(0);
  a->RemoveAttachment(0, false);  // the record stays ours
  EXPECT_EQ(calls, (Calls{{'-', a}, {'+', a}, {'+', b}}));
  EXPECT_EQ(manager->GetNumRootActorInstances(), 2u);
  AnimCore::Delete(record);

  a->SetIsEnabled(false);
  ASSERT_TRUE(a->AddAttachment(0, b));
  calls.clear();
  AnimCore::Delete(b);  // leaves a's attachments and both lists
  EXPECT_EQ(a->GetNumAttachments(), 0u);
  EXPECT_EQ(calls, (Calls{{'-', a}, {'+', a}, {'-', b}}));
  ASSERT_EQ(manager->GetNumActorInstances(), 1u);
  EXPECT_EQ(manager->GetActorInstance(0), a);
  EXPECT_EQ(manager->GetNumRootActorInstances(), 1u);

  AnimCore::Delete(std::exchange(instance, nullptr));
  EXPECT_EQ(manager->GetNumActorInstances(), 0u);
  EXPECT_EQ(manager->GetNumRootActorInstances(), 0u);
}

}  // namespace
}  // namespace Anim
