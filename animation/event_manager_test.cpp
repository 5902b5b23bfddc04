#include "animation/event_manager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "animation/anim_test_support.h"
#include "animation/memory_categories.h"
#include "animation/motion_event_handler.h"
#include "animation/motion_event_table.h"

namespace Anim {
namespace {

using testing::AnimTest;

constexpr const char* kEngineEventNames[] = {"link",  "unlink",  "footstep", "scrscene",
                                             "scrsceneex", "linkf", "unlinkf", "setpose",
                                             "rotend", "sound", "sounda"};

class EventTest : public AnimTest {
 protected:
  void SetUp() override {
    AnimTest::SetUp();
    events = GetEventManager();
    ASSERT_NE(events, nullptr);
  }
  void RegisterEngineNames() {
    for (uint32_t id = 0; id < 11; ++id) {
      ASSERT_EQ(events->RegisterEventType(kEngineEventNames[id], id), id);
    }
  }
  EventManager* events = nullptr;
};

TEST_F(EventTest, ExplicitIDsAreKeptOrRefused) {
  EXPECT_EQ(events->RegisterEventType("footstep", 2), 2u);
  EXPECT_EQ(events->RegisterEventType("footstep", 2), 2u);
  EXPECT_EQ(events->RegisterEventType("footstep", 3), kInvalidIndex);
  EXPECT_EQ(events->RegisterEventType("sound", 2), kInvalidIndex);  // id held by another name
  EXPECT_EQ(events->FindEventID("FOOTSTEP"), 2u);
  EXPECT_EQ(events->FindEventID("footste"), kInvalidIndex);
  EXPECT_TRUE(events->HasEventType("FootStep"));
  EXPECT_TRUE(events->HasEventID(2));
  EXPECT_FALSE(events->HasEventID(3));
  EXPECT_EQ(events->FindEventTypeIndex(2), 0);
  EXPECT_STREQ(events->GetEventTypeString(0), "footstep");
  EXPECT_STREQ(events->GetEventTypeString(7), "");
  EXPECT_EQ(events->GetNumEventTypes(), 1u);
}

TEST_F(EventTest, AutomaticIDsFollowTheLastOrFillTheFirstGap) {
  RegisterEngineNames();
  EXPECT_EQ(events->FindEventID("sounda"), 10u);
  EXPECT_EQ(events->FindEventID("link"), 0u);
  EXPECT_EQ(events->RegisterEventType("wave", kInvalidIndex), 11u);
  EXPECT_EQ(events->RegisterEventType("jump", kInvalidIndex), 12u);
  EXPECT_EQ(events->RegisterEventType("WAVE", kInvalidIndex), 11u);

  events->Clear();
  ASSERT_EQ(events->RegisterEventType("a", 1), 1u);
  ASSERT_EQ(events->RegisterEventType("b", 3), 3u);
  ASSERT_EQ(events->RegisterEventType("c", 4), 4u);
  ASSERT_EQ(events->RegisterEventType("d", 0), 0u);  // last entry now holds 0; 1 is taken
  EXPECT_EQ(events->RegisterEventType("e", kInvalidIndex), 2u);
}

// Records what the library hands to the handler.
class RecordingHandler : public MotionEventHandler {
 public:
  struct Fired {
    float time;
    uint32_t id;
    std::string parameters;
  };
  explicit RecordingHandler(std::vector<Fired>* sink) : mSink(sink) {}
  void OnEvent(float time, uint32_t id, const char* parameters, ActorInstance*,
               MotionInstance*) override {
    mSink->push_back({time, id, parameters});
  }

 private:
  std::vector<Fired>* mSink;
};

class EventTableTest : public EventTest {
 protected:
  void SetUp() override {
    EventTest::SetUp();
    RegisterEngineNames();
    events->SetEventHandler(AnimCore::New<RecordingHandler>(MEMCATEGORY_MOTIONEVENT, &fired));
  }
  void TearDown() override {
    table.Clear();  // before the leak check
    EventTest::TearDown();
  }
  std::vector<float> Times() const {
    std::vector<float> times;
    for (uint32_t i = 0; i < table.GetNumEvents(); ++i) times.push_back(table.GetEvent(i).time);
    return times;
  }
  std::vector<float> FiredTimes() const {
    std::vector<float> times;
    for (const RecordingHandler::Fired& f : fired) times.push_back(f.time);
    return times;
  }
  std::vector<RecordingHandler::Fired> fired;
  MotionEventTable table;
};

TEST_F(EventTableTest, EventsAreKeptInTimeOrder) {
  table.AddEvent(2.0f, "sound", "b");
  table.AddEvent(1.0f, "sound", "a");
  table.AddEvent(3.0f, "sound", "c");
  EXPECT_EQ(Times(), (std::vector<float>{1, 2, 3}));

  // Equal to the last: after it. Equal to the first (below the last): before it.
  table.AddEvent(3.0f, "link", "");
  EXPECT_EQ(table.GetEvent(3).eventTypeID, 0u);
  table.AddEvent(1.0f, "unlink", "");
  EXPECT_EQ(table.GetEvent(0).eventTypeID, 1u);
  table.AddEvent(2.0f, "footstep", "");  // in the middle: before the equal time
  EXPECT_EQ(table.GetEvent(2).eventTypeID, 2u);
  EXPECT_EQ(Times(), (std::vector<float>{1, 1, 2, 2, 3, 3}));
}

TEST_F(EventTableTest, ParametersAreStoredOnceAndUnknownTypesDropped) {
  table.AddEvent(0.5f, "sound", "door.wav");
  table.AddEvent(0.7f, "sounda", "door.wav");
  EXPECT_EQ(table.GetNumParameters(), 1u);
  EXPECT_EQ(table.GetEvent(1).parameterIndex, 0u);

  table.AddEvent(0.9f, "explode", "boom");
  EXPECT_EQ(table.GetNumEvents(), 2u);
  EXPECT_EQ(table.GetNumParameters(), 1u);
  EXPECT_TRUE(Logged(
      "MotionEventTable::AddEvent - *** WARNING: Event type 'explode' has not yet been "
      "registered at the animation event manager! Event will not be added! ***"));
}

TEST_F(EventTableTest, ForwardAndBackwardRangesFireTheirHalfOpenInterval) {
  table.AddEvent(0.0f, "footstep", "left");
  table.AddEvent(1.0f, "footstep", "right");
  table.AddEvent(2.0f, "sound", "");
  struct Case {
    float start;
    float end;
    std::vector<float> expected;
  } cases[] = {
      {0.0f, 1.0f, {0.0f}},
      {1.0f, 2.0f, {1.0f}},
      {1.0f, 1.0f, {}},
      {1.0f, 0.0f, {1.0f}},
      {2.0f, 1.0f, {2.0f}},
      {2.0f, -1.0f, {2.0f, 1.0f, 0.0f}},
      {-1.0f, 5.0f, {0.0f, 1.0f, 2.0f}},
  };
  for (const Case& c : cases) {
    fired.clear();
    table.ProcessEvents(c.start, c.end, nullptr, nullptr);
    EXPECT_EQ(FiredTimes(), c.expected) << c.start << " -> " << c.end;
  }
  fired.clear();
  table.ProcessEvents(0.0f, 0.5f, nullptr, nullptr);
  ASSERT_EQ(fired.size(), 1u);
  EXPECT_EQ(fired[0].id, 2u);
  EXPECT_EQ(fired[0].parameters, "left");
}

TEST_F(EventTest, DefaultHandlerLogsUnknownTypesAsUnknown) {
  RegisterEngineNames();
  MotionEventHandler* handler = events->GetEventHandler();
  ASSERT_NE(handler, nullptr);
  handler->OnEvent(1.5f, 9, "step.wav", nullptr, nullptr);
  handler->OnEvent(0.25f, 77, nullptr, nullptr, nullptr);
  EXPECT_TRUE(Logged(
      "Anim: *** Motion event at time 1.500000 of type ID 9 ('sound') with parameters "
      "'step.wav' for actor '' on motion '' has been triggered"));
  EXPECT_TRUE(Logged(
      "Anim: *** Motion event at time 0.250000 of type ID 77 ('<unknown>') with parameters '' "
      "for actor '' on motion '' has been triggered"));
}

}  // namespace
}  // namespace Anim
