#include <climits>
#include <cstring>
#include <functional>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/core/tarvel.h"
#include "engine/gameplay/cinematic.h"
#include "engine/gameplay/screen_control.h"
#include "engine/gameplay/screen_control_case_file.h"
#include "engine/render/video.h"
#include "engine/script/script_api.h"
#include "engine/script/script_api_world_test_support.h"
#include "engine/world/actor.h"
#include "engine/world/scene.h"
#include "platform/win32/crt.h"
#include "tools/scene_writer.h"

namespace {

using ::testing::HasSubstr;

using ScriptSystemTest = ScriptApiWorldTest;

// The code after the call stores 1 in Flag: 0 afterwards means the call
// suspended the script.
const char* const kThen = "push ref Flag\npush int 1\nstore\nret\n";

std::string GotoScene(const char* scene, const char* state, const char* actor)
{
    return std::string("import cSystem__gotoScene 3 none\nfunction Case\npush string \"") + scene +
           "\"\npush string \"" + state + "\"\npush string \"" + actor + "\"\ncallg Door cSystem__gotoScene\nret\n";
}

cTarvelActor* BoundPC(cTarvelActor* actor)
{
    cTarvelScriptValue* pc = actor && actor->mScript ? actor->mScript->FindSymbol("PC", "cActor") : nullptr;
    return pc ? gScriptHandles.Get<cTarvelActor>(pc->object, eScriptObjectType::Actor) : nullptr;
}

TEST_F(ScriptSystemTest, GotoSceneWithAndWithoutStateAndActor)
{
    struct tGoto {
        const char* name;
        const char* state;
        const char* actor;
        const char* pendingState;
        const char* player;   // the pending player's name, or null for none
    } cases[] = {
        {"the scene alone keeps the state and the player", "", "", "day", nullptr},
        {"a new state re-creates the player from its file", "night", "", "night", "Hero"},
        {"a new actor takes over in the present state", "", "Guide", "day", "Guide"},
    };
    for (const tGoto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        cTarvelActor* player = gTarvel.mPlayer;
        Case(GotoScene("Room", c.state, c.actor));
        EXPECT_EQ(gTarvel.mPendingGameState, c.pendingState);
        EXPECT_EQ(gTarvel.mGameState, "day") << "the state changes with the scene";
        ASSERT_NE(gTarvel.mPendingScene, nullptr);
        EXPECT_GT(gTarvel.mPendingScene->mSlot, 0);
        EXPECT_EQ(gTarvel.mScene, mScene) << "the scene changes at the next frame";
        EXPECT_EQ(gTarvel.mPlayer, player);
        cTarvelActor* pending = gTarvel.mPendingPlayer;
        if (!c.player) {
            EXPECT_EQ(pending, nullptr);
            continue;
        }
        ASSERT_NE(pending, nullptr);
        EXPECT_EQ(pending->mName, c.player);
        EXPECT_EQ(BoundPC(pending), pending);
        EXPECT_EQ(pending->mScript->FindGlobal("Night") != nullptr, std::strcmp(c.state, "night") == 0)
            << "read from the file of the pending state";

        // The frame switch makes both current.
        cTarvelScene* scene = gTarvel.mPendingScene;
        gTarvel.mPendingScene = nullptr;
        ASSERT_EQ(gTarvel.ChangeScene(scene, 0), 0);
        EXPECT_EQ(gTarvel.mPlayer, pending);
        EXPECT_EQ(gTarvel.mGameState, c.pendingState);
        EXPECT_STREQ(gTarvel.mScene->mHeader.name, "Room");
    }
}

TEST_F(ScriptSystemTest, ASecondGotoSceneReleasesTheFirstPendingSceneAndPlayer)
{
    Case(GotoScene("Room", "night", ""));
    cTarvelScene* first = gTarvel.mPendingScene;
    cTarvelActor* firstPlayer = gTarvel.mPendingPlayer;
    ASSERT_TRUE(first && firstPlayer);
    const uint32_t sceneHandle = gScriptHandles.Bind(first, eScriptObjectType::Scene);
    const uint32_t playerHandle = gScriptHandles.Bind(firstPlayer, eScriptObjectType::Actor);
    const int firstSlot = first->mSlot;

    // Both arguments empty: the pending player stays, the scene is replaced.
    Case(GotoScene("Room", "", ""));
    EXPECT_EQ(gScriptHandles.Get<cTarvelScene>(sceneHandle, eScriptObjectType::Scene), nullptr);
    EXPECT_EQ(gTarvel.mPendingPlayer, firstPlayer);
    EXPECT_NE(gTarvel.mPendingScene, nullptr);
    // The first scene's slot was given back: the next open takes it again.
    const int slot = gTarvel.mResources.OpenResource("Room.day", testkit::kSceneResourceType);
    EXPECT_EQ(slot, firstSlot);
    gTarvel.mResources.CloseResource(slot);

    EXPECT_EQ(gTarvel.mPendingGameState, "night") << "the state left from before";

    Case(GotoScene("Room", "day", "Guide"));
    EXPECT_EQ(gScriptHandles.Get<cTarvelActor>(playerHandle, eScriptObjectType::Actor), nullptr);
    ASSERT_NE(gTarvel.mPendingPlayer, nullptr);
    EXPECT_EQ(gTarvel.mPendingPlayer->mName, "Guide");
}

TEST_F(ScriptSystemTest, GotoSceneWithoutPlayerOrSceneFile)
{
    delete gTarvel.mPlayer;
    gTarvel.mPlayer = nullptr;
    Case(GotoScene("Room", "night", ""));
    EXPECT_NE(gTarvel.mPendingScene, nullptr);
    EXPECT_EQ(gTarvel.mPendingPlayer, nullptr) << "no file to make a player from";

    EXPECT_FATAL(Case(GotoScene("Cellar", "", "")), "Scene file Cellar.night can not be loaded.");
    EXPECT_THAT(LastFatal(), HasSubstr("ScrLib::cSystem__gotoScene)"));
    EXPECT_THAT(LastFatal(), HasSubstr("scrlib_cSystem"));
}

// irand takes rand / 32767 of the maximum, toward zero, through the
// script's float-to-integer rule.
TEST_F(ScriptSystemTest, IrandScalesTheGeneratorsValue)
{
    // Calls of the generator after seeding with 1 until it gives 32767.
    auto callsBefore = [](int value) {
        crt::srand(1);
        int count = 0;
        while (crt::rand() != value)
            ++count;
        return count;
    };
    const int before = callsBefore(32767);
    struct tRand {
        int skip;            // generator values taken before the call
        const char* maximum;
        int32_t expected;
    } cases[] = {
        {0, "10", 0},                  // 41
        {1, "10", 5},                  // 18467: 5.64
        {1, "-10", -5},                // toward zero
        {2, "100", 19},                // 6334: 19.33
        {before, "10", 10},            // 32767 is the only value that reaches the maximum
        {before, "0", 0},
        {callsBefore(32766), "10", 9},
        {0, "1e20", INT_MIN},          // out of range
        {0, "nan", INT_MIN},
    };
    for (const tRand& c : cases) {
        SCOPED_TRACE(c.maximum + std::string(" after ") + std::to_string(c.skip));
        crt::srand(1);
        for (int i = 0; i < c.skip; ++i)
            crt::rand();
        Case(std::string("import cSystem__irand 1 int\nfunction Case\npush ref Flag\npush float ") + c.maximum +
             "\ncallg Door cSystem__irand\nstore\nret\n");
        EXPECT_EQ(Flag(), c.expected);
    }
}

TEST_F(ScriptSystemTest, SetTimerAddsTheRandomShareToTheDelay)
{
    crt::srand(1);   // first value 41
    const DWORD now = gTarvel.mTimer.GetTimeMs();
    Case("import cSystem__setTimer 3 none\nimport cSystem__irand 1 int\nfunction Case\n"
         "push float 2\npush float 32767\npush string \"Tick\"\ncallg Door cSystem__setTimer\n"
         "push ref Flag\npush float 32767\ncallg Door cSystem__irand\nstore\nret\n");
    ASSERT_GT(gTarvel.mTimer.mTimers.count, 0);
    const sTarvelTimerRecord& timer = gTarvel.mTimer.mTimers[gTarvel.mTimer.mTimers.count - 1];
    EXPECT_EQ(timer.label, "Tick");
    EXPECT_EQ(timer.script, &CaseMachine());
    EXPECT_EQ(timer.dueTime, now + 43000u) << "2 s and 41 / 32767 of 32767 s";
    EXPECT_EQ(Flag(), 18467) << "one generator value each";
}

TEST_F(ScriptSystemTest, CallRunsAFunctionOfTheCallerOrOfTheScene)
{
    Case("import cSystem__call 1 none\nimport cSystem__callScene 1 none\nfunction Inner\n"
         "push ref Flag\npush int 5\nstore\nret\nfunction Case\npush string \"Inner\"\ncallg Door cSystem__call\n"
         "push string \"Ping\"\ncallg Door cSystem__callScene\nret\n");
    EXPECT_EQ(Flag(), 5);
    ASSERT_FALSE(Calls().empty());
    EXPECT_EQ(Calls().back(), "Ping");
}

TEST_F(ScriptSystemTest, QuestionsCompareExactly)
{
    gTarvel.mPreviousSceneName = "Hall";
    struct tQuestion {
        const char* function;
        const char* argument;
        bool expected;
    } cases[] = {
        {"cSystem__isScene", "Room", true},        {"cSystem__isScene", "room", false},
        {"cSystem__isScene", "Hall", false},       {"cSystem__isLastScene", "Hall", true},
        {"cSystem__isLastScene", "Room", false},   {"cSystem__isState", "day", true},
        {"cSystem__isState", "Day", false},        {"cSystem__isState", "night", false},
    };
    for (const tQuestion& c : cases) {
        SCOPED_TRACE(std::string(c.function) + " " + c.argument);
        Case(std::string("import ") + c.function + " 1 bool\nfunction Case\npush ref Flag\npush string \"" +
             c.argument + "\"\ncallg Door " + c.function + "\nstore\nret\n");
        EXPECT_EQ(Flag(), c.expected ? 1 : 0);
    }

    // Only the result's own field is written; its kind stays as the import
    // declared it.
    tScriptFrame question;
    question.arguments.Add(cTarvelScriptValue::FromString("day"));
    question.result.kind = kScriptInteger;
    question.result.integer = 7;
    EXPECT_EQ(cSystem__isState(&question), 0);
    EXPECT_EQ(question.result.kind, kScriptInteger);
    EXPECT_EQ(question.result.integer, 7);
    EXPECT_EQ(question.result.boolean, 1);
    tScriptFrame random;
    random.arguments.Add(cTarvelScriptValue::FromFloat(0.0f));
    random.result.kind = kScriptFloat;
    random.result.floatValue = 2.5f;
    random.result.integer = 7;
    EXPECT_EQ(cSystem__irand(&random), 0);
    EXPECT_EQ(random.result.kind, kScriptFloat);
    EXPECT_EQ(random.result.floatValue, 2.5f);
    EXPECT_EQ(random.result.integer, 0);

    Case("import cSystem__getScene 0 result\nfunction Case\npush ref Out\ncallg Door cSystem__getScene\nstore\nret\n");
    EXPECT_EQ(gScriptHandles.Get<cTarvelScene>(Out().object, eScriptObjectType::Scene), mScene);
    tScriptFrame frame;
    frame.result.className = "cMobile";
    EXPECT_EQ(cSystem__getScene(&frame), 0);
    EXPECT_EQ(frame.result.kind, kScriptResultObject);
    EXPECT_STREQ(frame.result.className.c_str(), "cMobile") << "no class name is set";
}

TEST_F(ScriptSystemTest, WaitInsideARunningCinematicMakesASecondOne)
{
    RunningCinematic(false);
    cTarvelCinematic* running = gCinematics[0];
    Case(std::string("import cSystem__wait 1 none\nfunction Case\npush float 2\ncallg Door cSystem__wait\n") + kThen);
    ASSERT_EQ(gCinematics.count, 2);
    EXPECT_EQ(gCinematics[0], running);
    const cTarvelCinematic* wait = gCinematics[1];
    EXPECT_EQ(wait->mWaitKind, cTarvelCinematic::kWaitTime);
    EXPECT_EQ(wait->mOwnerScript, &CaseMachine());
    EXPECT_EQ(wait->mScript, &CaseMachine()) << "the wait resumes the caller";
    EXPECT_EQ(wait->mWaitUntil, gTarvel.mTimer.GetSeconds() + 2.0f);
    EXPECT_EQ(running->mWaitKind, cTarvelCinematic::kWaitNone);
    EXPECT_EQ(Flag(), 0) << "the caller waits at its continuation";
    EXPECT_FALSE(wait->mContinuation.Length() == 0);
}

TEST_F(ScriptSystemTest, ShowVideoPlaysAndSuspendsUnlessSkipping)
{
    const std::string play =
        std::string("import cSystem__showVideo 1 none\nfunction Case\npush string \"news\"\ncallg Door cSystem__showVideo\n") +
        kThen;
    Case(play);
    cTarvelVideo* movie = gTarvel.mMovie;
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(gTarvel.mCutSceneMovie, nullptr);
    EXPECT_FALSE(movie->mInScene);
    EXPECT_EQ(movie->mCutScene, 0);
    EXPECT_EQ(movie->mScript, &CaseMachine());
    EXPECT_EQ(movie->mLabel.c_str()[0], '#');
    EXPECT_EQ(CaseMachine().mStates.size(), 1u) << "suspended with its state";
    EXPECT_EQ(Flag(), 0);

    // With a movie playing, the next one waits its turn.
    Case(play);
    EXPECT_EQ(gTarvel.mMovie, movie);
    ASSERT_NE(gTarvel.mCutSceneMovie, nullptr);
    EXPECT_EQ(gTarvel.mCutSceneMovie->mScript, &CaseMachine());

    TearDown();
    SetUp();
    RunningCinematic(true);
    Case(play);
    EXPECT_EQ(gTarvel.mMovie, nullptr);
    EXPECT_EQ(gTarvel.mCutSceneMovie, nullptr);
    EXPECT_EQ(Flag(), 1);

    TearDown();
    SetUp();
    Case("import cSystem__showVideo 1 none\nfunction Case\npush string \"lost\"\ncallg Door cSystem__showVideo\n" +
         std::string(kThen));
    EXPECT_EQ(gTarvel.mMovie, nullptr);
    EXPECT_EQ(Flag(), 1) << "a missing movie does not hold the script";
}

TEST_F(ScriptSystemTest, SetInventoryOnlyEndsOnlyInventoryOnlyControls)
{
    Case("import cSystem__setInventoryOnly 1 none\nimport cSystem__showRadio 0 none\n"
         "import cSystem__showCasefile 2 none\nfunction Case\ncallg Door cSystem__showRadio\n"
         "push bool true\ncallg Door cSystem__setInventoryOnly\n"
         "push string \"doc\"\npush int 1\ncallg Door cSystem__showCasefile\n"
         "push bool true\ncallg Door cSystem__setInventoryOnly\nret\n");
    ASSERT_EQ(gScreenControls.count, 4);
    const struct {
        int32_t type;
        bool done;
    } expected[] = {{cTarvelScreenControl::kRadio, false},
                    {cTarvelScreenControl::kInvOnly, true},
                    {cTarvelScreenControl::kCaseFile, false},
                    {cTarvelScreenControl::kInvOnly, false}};
    for (int32_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(gScreenControls[i]->mTypeId, expected[i].type);
        EXPECT_EQ(gScreenControls[i]->mDone, expected[i].done);
    }
}

TEST_F(ScriptSystemTest, ScreenControlsAndGameFlow)
{
    auto top = [] { return gScreenControls.count > 0 ? gScreenControls[gScreenControls.count - 1] : nullptr; };
    Case("import cSystem__setInventoryOnly 1 none\nfunction Case\npush bool true\n"
         "callg Door cSystem__setInventoryOnly\npush bool true\ncallg Door cSystem__setInventoryOnly\nret\n");
    ASSERT_EQ(gScreenControls.count, 2);
    EXPECT_EQ(gScreenControls[0]->mTypeId, cTarvelScreenControl::kInvOnly);
    EXPECT_TRUE(gScreenControls[0]->mDone);
    EXPECT_FALSE(gScreenControls[1]->mDone);
    Case("import cSystem__setInventoryOnly 1 none\nfunction Case\npush bool false\n"
         "callg Door cSystem__setInventoryOnly\nret\n");
    EXPECT_EQ(gScreenControls.count, 2);
    EXPECT_TRUE(gScreenControls[1]->mDone);

    Case("import cSystem__showCasefile 2 none\nimport cSystem__showRadio 0 none\nfunction Case\n"
         "push string \"doc\"\npush int 2\ncallg Door cSystem__showCasefile\nret\n");
    auto* file = dynamic_cast<cTarvelScreenControlCaseFile*>(top());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->mName, "doc");
    EXPECT_EQ(file->mPageCount, 2);
    EXPECT_EQ(file->mScript, &CaseMachine());
    Case("import cSystem__showRadio 0 none\nfunction Case\ncallg Door cSystem__showRadio\nret\n");
    ASSERT_NE(top(), nullptr);
    EXPECT_EQ(top()->mTypeId, cTarvelScreenControl::kRadio);

    Case("import cSystem__setString 2 none\nimport cSystem__quitGame 0 none\nimport cSystem__restartGame 0 none\n"
         "function Case\npush string \"hint_door\"\npush string \"An old door\"\ncallg Door cSystem__setString\n"
         "callg Door cSystem__quitGame\ncallg Door cSystem__restartGame\nret\n");
    EXPECT_EQ(gTarvel.mGameplay.GetText("hint_door"), "An old door");
    EXPECT_EQ(gTarvel.mQuitRequest, 1);
    EXPECT_EQ(gTarvel.mNewGameRequest, 1);
}

TEST_F(ScriptSystemTest, SoundCallsReachTheSoundSystemByPosition)
{
    Case("import cSystem__setupSound 4 none\nimport cSystem__addSoundDSP 3 none\nimport cSystem__playMusic 1 none\n"
         "function Case\npush string \"door\"\npush string \"door_a;door_b\"\npush int 2\npush int 1\n"
         "callg Door cSystem__setupSound\npush int 3\npush int 4\npush string \"0.5;2\"\n"
         "callg Door cSystem__addSoundDSP\npush string \"\"\ncallg Door cSystem__playMusic\nret\n");
    const cTarvelSound& sound = gTarvel.mSound;
    ASSERT_GT(sound.mRecords.count, 0);
    const sSoundRecord& record = sound.mRecords[sound.mRecords.count - 1];
    EXPECT_STREQ(record.name, "door");
    EXPECT_EQ(record.files, "door_a;door_b");
    EXPECT_EQ(record.group, 2);
    EXPECT_EQ(record.flags, 1u);
    ASSERT_GT(sound.mDSPs.count, 0);
    const sSoundDSP& dsp = sound.mDSPs[sound.mDSPs.count - 1];
    EXPECT_EQ(dsp.group, 3);
    EXPECT_EQ(dsp.kind, 4);
    EXPECT_EQ(dsp.params, "0.5;2");
}

// Every cSystem function of this group that reads an argument fails on an
// empty list and changes nothing; none writes on standard error.
TEST_F(ScriptSystemTest, EmptyArgumentListsFail)
{
    const char* reading[] = {
        "cSystem__gotoScene",  "cSystem__wait",        "cSystem__showVideo",     "cSystem__loadSound",
        "cSystem__stopSound",  "cSystem__playSound",   "cSystem__playMusic",     "cSystem__stopMusic",
        "cSystem__addSoundDSP", "cSystem__setupSound", "cSystem__playEmittedSound", "cSystem__irand",
        "cSystem__setTimer",   "cSystem__call",        "cSystem__callScene",     "cSystem__isScene",
        "cSystem__isLastScene", "cSystem__isState",    "cSystem__setInventoryOnly", "cSystem__showCasefile",
        "cSystem__setString",
    };
    const int32_t records = gTarvel.mSound.mRecords.count;
    const int32_t lines = gTarvel.mGameplay.mTextLines.count;
    for (const char* name : reading) {
        SCOPED_TRACE(name);
        tScriptFrame frame;
        frame.result.integer = 7;
        frame.result.boolean = 1;
        testing::internal::CaptureStderr();
        EXPECT_EQ(FindScriptExport(name)(&frame), -1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(frame.result.integer, 7);
        EXPECT_EQ(frame.result.boolean, 1);
    }
    EXPECT_EQ(gTarvel.mPendingScene, nullptr);
    EXPECT_EQ(gCinematics.count, 0);
    EXPECT_EQ(gScreenControls.count, 0);
    EXPECT_EQ(gTarvel.mSound.mRecords.count, records);
    EXPECT_EQ(gTarvel.mGameplay.mTextLines.count, lines);
    EXPECT_EQ(gTarvel.mMovie, nullptr);
}

} // namespace
