#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/actor_manager.h"
#include "animation/actor_update_callback.h"
#include "animation/anim_test_support.h"
#include "animation/update_scheduler.h"

namespace Anim {
namespace {

using testing::MakeActor;

std::vector<std::string>* gCalls = nullptr;

class RecordingCallBack final : public ActorUpdateCallBack {
 public:
  void OnUpdateVisibilityFlags(ActorInstance* instance, float) override { Record("vis", instance); }
  void OnUpdate(ActorInstance* instance, float timeDelta) override {
    EXPECT_EQ(timeDelta, 0.25f);
    Record("update", instance);
  }
  void OnRender(ActorInstance* instance, float) override { Record("render", instance); }

 private:
  static void Record(const char* what, ActorInstance* instance) {
    gCalls->push_back(std::string(what) + " " + instance->GetActor()->GetName());
  }
};

class SchedulerTest : public testing::AnimTest {
 protected:
  void SetUp() override {
    testing::AnimTest::SetUp();
    gCalls = &calls;
  }
  void TearDown() override {
    for (ActorInstance* instance : instances) AnimCore::Delete(instance);
    for (Actor* actor : actors) AnimCore::Delete(actor);
    gCalls = nullptr;
    testing::AnimTest::TearDown();
  }
  ActorInstance* Make(const char* name) {
    actors.push_back(MakeActor({{"root", -1}}, name));
    instances.push_back(AnimCore::New<ActorInstance>(MEMCATEGORY_ACTORINSTANCE, actors.back()));
    return instances.back();
  }

  std::vector<std::string> calls;
  std::vector<Actor*> actors;
  std::vector<ActorInstance*> instances;
};

TEST_F(SchedulerTest, NothingRegisteredCallsNothing) {
  GetActorManager()->SetCallBack(AnimCore::New<RecordingCallBack>(MEMCATEGORY_ACTORMANAGER));
  GetActorManager()->GetScheduler()->Execute(0.25f);
  EXPECT_TRUE(calls.empty());
}

TEST_F(SchedulerTest, AttachmentsFollowTheirRootAndHiddenRootsAreSkipped) {
  // Registration order: hidden, root, b, c; chain root -> b -> c, and a second
  // attachment d on root after b.
  ActorInstance* hidden = Make("hidden");
  ActorInstance* root = Make("root");
  ActorInstance* b = Make("b");
  ActorInstance* c = Make("c");
  ActorInstance* d = Make("d");
  ASSERT_TRUE(root->AddAttachment(0, b));
  ASSERT_TRUE(b->AddAttachment(0, c));
  ASSERT_TRUE(root->AddAttachment(0, d));
  ActorInstance* hiddenChild = Make("hiddenChild");
  ASSERT_TRUE(hidden->AddAttachment(0, hiddenChild));
  hidden->SetIsVisible(false);
  // An attachment's own flag is not consulted.
  b->SetIsVisible(false);

  GetActorManager()->SetCallBack(AnimCore::New<RecordingCallBack>(MEMCATEGORY_ACTORMANAGER));
  GetActorManager()->GetScheduler()->Execute(0.25f);
  const std::vector<std::string> expected = {
      "vis hidden",    "vis root",      "vis b",    "vis c",    "vis d",
      "vis hiddenChild", "update root", "render root", "update b", "render b",
      "update c",      "render c",      "update d", "render d"};
  EXPECT_EQ(calls, expected);
}

TEST_F(SchedulerTest, DefaultCallBackLogsEachCall) {
  Make("one");
  GetActorManager()->GetScheduler()->Execute(0.1f);
  GetActorManager()->GetScheduler()->Execute(0.1f);
  for (const char* name : {"OnUpdateVisibilityFlags", "OnUpdate", "OnRender"}) {
    EXPECT_EQ(CountLogged(std::string("ActorUpdateCallBack::") + name +
                          "() - You have to implement your own ActorUpdateCallBack inherited "
                          "class and use ANIM_ACTORMANAGER.SetCallBack( new YourCallBack() ) to "
                          "activate it!"),
              2u)
        << name;
  }
}

TEST_F(SchedulerTest, RootRegisteredTwiceKeepsOneEntry) {
  ActorInstance* one = Make("one");
  GetActorManager()->UpdateActorInstanceRegistration(one);
  GetActorManager()->UpdateActorInstanceRegistration(one);
  EXPECT_EQ(GetActorManager()->GetNumRootActorInstances(), 1u);
}

}  // namespace
}  // namespace Anim
