#include "engine/core/timer.h"

#include <new>
#include <string>
#include <vector>

#include <tinyxml.h>

#include "engine/core/tarvel.h"
#include "engine/core/test_support.h"
#include "engine/script/script.h"
#include "engine/world/scene.h"
#include "platform/win32/testing.h"

namespace {

struct Call {
    cTarvelScript* script;
    std::string name;
};

std::vector<Call> gCalls;
// A callback that re-arms itself with 0 seconds, as a script's own timer may.
bool gRearm = false;

void RecordCall(cTarvelScript* script, const char* name)
{
    gCalls.push_back({script, name});
    if (gRearm)
        gTarvel.mTimer.SetTimer(name, script, 0.0f);
}

class TimerTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        gCalls.clear();
        gRearm = false;
        cTarvelScript::sCallObserver = RecordCall;
    }
    cTarvelTimer& Timer() { return gTarvel.mTimer; }
};

TEST_F(TimerTest, StartsAtTenSecondsOfGameTime)
{
    EXPECT_EQ(Timer().mGameTime, 10000u);
    EXPECT_EQ(Timer().mGameSeconds, 0.0f);
    EXPECT_EQ(Timer().mFrameReference, kClockStart);
    EXPECT_EQ(Timer().mNextTimerId, 0);
}

TEST_F(TimerTest, FrameIsDueAfterSixteenMilliseconds)
{
    platform::testing::AdvanceClock(15);
    EXPECT_FALSE(Timer().Update());
    EXPECT_EQ(Timer().mGameTime, 10000u);
    EXPECT_EQ(Timer().mFrameReference, kClockStart);
    EXPECT_EQ(Timer().GetTimeMs(), 10015u);

    platform::testing::AdvanceClock(1);
    EXPECT_TRUE(Timer().Update());
    EXPECT_EQ(Timer().mGameTime, 10016u);
    EXPECT_EQ(Timer().mFrameTime, 16u);
    EXPECT_FLOAT_EQ(Timer().mFrameSeconds, 0.016f);
    EXPECT_FLOAT_EQ(Timer().mGameSeconds, 0.016f);
    EXPECT_EQ(Timer().mFrameReference, kClockStart + 16);
    EXPECT_FALSE(Timer().Update());
}

TEST_F(TimerTest, ClockWrapsAround)
{
    platform::testing::TakeClock(0xFFFFFFF8u);
    RebuildEngine();
    platform::testing::AdvanceClock(20);
    EXPECT_TRUE(Timer().Update());
    EXPECT_EQ(Timer().mFrameTime, 20u);
}

TEST_F(TimerTest, ResetFrameTimeDropsTheElapsedTime)
{
    platform::testing::AdvanceClock(100);
    Timer().ResetFrameTime();
    EXPECT_FALSE(Timer().Update());
    EXPECT_EQ(Timer().GetTimeMs(), 10000u);
}

TEST_F(TimerTest, SecondsSinceAndBetween)
{
    platform::testing::AdvanceClock(2000);
    ASSERT_TRUE(Timer().Update());   // game time 12000
    EXPECT_FLOAT_EQ(Timer().SecondsSince(11000, 2.0f), 2.0f);
    EXPECT_EQ(Timer().SecondsSince(12001, 1.0f), 0.0f);
    EXPECT_FLOAT_EQ(SecondsBetween(1000, 3500, 1.0f), 2.5f);
    EXPECT_EQ(SecondsBetween(3500, 1000, 1.0f), 0.0f);
    EXPECT_FLOAT_EQ(Timer().GetSeconds(), 2.0f);
}

TEST_F(TimerTest, DueTimersFireInTheOrderTheyWereSet)
{
    cTarvelScript script("scene");
    EXPECT_EQ(Timer().SetTimer("late", &script, 1.0f), 0);
    EXPECT_EQ(Timer().SetTimer("first", &script, 0.0f), 1);
    EXPECT_EQ(Timer().SetTimer("second", &script, 0.010f), 2);

    platform::testing::AdvanceClock(16);
    ASSERT_TRUE(Timer().Update());
    ASSERT_EQ(gCalls.size(), 2u);
    EXPECT_EQ(gCalls[0].name, "first");
    EXPECT_EQ(gCalls[1].name, "second");
    EXPECT_EQ(gCalls[0].script, &script);
    ASSERT_EQ(Timer().mTimers.Count(), 1);

    platform::testing::AdvanceClock(1000);
    ASSERT_TRUE(Timer().Update());
    ASSERT_EQ(gCalls.size(), 3u);
    EXPECT_EQ(gCalls[2].name, "late");
    EXPECT_EQ(Timer().mTimers.Count(), 0);
}

TEST_F(TimerTest, TimerSetFromItsOwnCallbackWaitsForTheNextFrame)
{
    cTarvelScript script("scene");
    gRearm = true;
    Timer().SetTimer("tick", &script, 0.0f);
    for (int frame = 1; frame <= 3; ++frame) {
        platform::testing::AdvanceClock(16);
        ASSERT_TRUE(Timer().Update());
        EXPECT_EQ(gCalls.size(), static_cast<size_t>(frame));
        EXPECT_EQ(Timer().mTimers.Count(), 1);
    }
}

TEST_F(TimerTest, TimerOfADestroyedScriptIsDroppedWithoutACall)
{
    auto* gone = new cTarvelScript("gone");
    cTarvelScript live("live");
    Timer().SetTimer("a", gone, 0.0f);
    Timer().SetTimer("b", &live, 0.0f);
    delete gone;
    platform::testing::AdvanceClock(16);
    ASSERT_TRUE(Timer().Update());
    ASSERT_EQ(gCalls.size(), 1u);
    EXPECT_EQ(gCalls[0].name, "b");
    EXPECT_EQ(Timer().mTimers.Count(), 0);
}

TEST_F(TimerTest, DelaysOutsideTheClockAreHeld)
{
    cTarvelScript script("scene");
    Timer().SetTimer("negative", &script, -5.0f);
    Timer().SetTimer("huge", &script, 1e30f);
    EXPECT_EQ(Timer().mTimers[0].dueTime, 10000u);
    EXPECT_EQ(Timer().mTimers[1].dueTime, 10000u + 0x7FFFFFFFu);
    platform::testing::AdvanceClock(16);
    ASSERT_TRUE(Timer().Update());
    ASSERT_EQ(gCalls.size(), 1u);
    EXPECT_EQ(gCalls[0].name, "negative");
}

TEST_F(TimerTest, SavedTimersKeepTheirRemainingTime)
{
    cTarvelScript setter("setter");
    Timer().SetTimer("#120", &setter, 2.0f);
    Timer().SetTimer("Later", &setter, 5.5f);

    TiXmlDocument document;
    auto* root = new TiXmlElement("Demogame");
    document.LinkEndChild(root);
    cTarvelSavegame& savegame = gTarvel.mSavegame;
    savegame.mRoot = savegame.mCurrent = root;
    Timer().Save(savegame);
    EXPECT_EQ(root->FirstChildElement("TimerCb")->FirstChildElement("Time")->GetText(),
              std::string("2000"));

    // Load at a later game time, with a scene whose script takes the timers.
    platform::testing::AdvanceClock(7000);
    ASSERT_TRUE(Timer().Update());   // game time 17000
    cTarvelScript sceneScript("scene");
    cTarvelScene scene;
    scene.mScript = &sceneScript;
    gTarvel.mScene = &scene;
    Timer().mNextTimerId = 99;
    Timer().Load(savegame);
    gTarvel.mScene = nullptr;
    scene.mScript = nullptr;   // not the scene's own
    savegame.mRoot = savegame.mCurrent = nullptr;

    EXPECT_EQ(Timer().mNextTimerId, 2);
    ASSERT_EQ(Timer().mTimers.Count(), 2);
    EXPECT_STREQ(Timer().mTimers[0].label.c_str(), "#120");
    EXPECT_EQ(Timer().mTimers[0].dueTime, 17000u + 2000u);
    EXPECT_EQ(Timer().mTimers[0].id, 0);
    EXPECT_EQ(Timer().mTimers[0].script, &sceneScript);
    EXPECT_EQ(Timer().mTimers[1].dueTime, 17000u + 5500u);
    EXPECT_EQ(Timer().mTimers[1].id, 1);
}

// A scene visited again gets a new machine, which the allocator may place
// where the old one was: a timer set in the visit the player left must not
// fire into the new one. The second machine is built in the first one's
// storage, so the address is the same whatever the allocator does.
TEST_F(TimerTest, ATimerOfAGoneMachineDoesNotFireIntoANewOneAtItsAddress)
{
    alignas(cTarvelScript) unsigned char storage[sizeof(cTarvelScript)];
    auto* left = new (storage) cTarvelScript("Yard");
    Timer().SetTimer("late", left, 1.0f);
    left->~cTarvelScript();
    auto* visit = new (storage) cTarvelScript("Yard");
    ASSERT_EQ(static_cast<void*>(visit), static_cast<void*>(left));
    ASSERT_TRUE(gTarvel.IsScriptLive(visit));
    Timer().SetTimer("own", visit, 0.5f);
    platform::testing::AdvanceClock(1016);
    ASSERT_TRUE(Timer().Update());
    ASSERT_EQ(gCalls.size(), 1u);
    EXPECT_EQ(gCalls[0].name, "own");
    EXPECT_EQ(gCalls[0].script, visit);
    EXPECT_EQ(Timer().mTimers.Count(), 0);
    visit->~cTarvelScript();
}

} // namespace
