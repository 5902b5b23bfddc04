#include "engine/gameplay/gameplay.h"

#include <memory>
#include <string>
#include <vector>

#include "engine/core/tarvel.h"
#include "engine/gameplay/cinematic.h"
#include "engine/gameplay/control.h"
#include "engine/gameplay/region_set.h"
#include "engine/gameplay/screen_control.h"
#include "engine/script/script_handles.h"
#include "platform/win32/win32.h"
#include "engine/script/script_test_support.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/scene.h"
#include "engine/world/view.h"
#include "tools/archive_writer.h"
#include "tools/project_writer.h"
#include "tools/script_assembler.h"

namespace {

// What the recording objects below did, in order.
std::vector<std::string> gLog;
// gSharedSymbols' size when "Main::Init" ran.
int32_t gSymbolsAtInit = -1;

int32_t NoteSymbols(tScriptFrame*)
{
    gSymbolsAtInit = gSharedSymbols.count;
    return 0;
}

struct RecordingScreen : cTarvelScreenControl {
    RecordingScreen(const char* name, bool takes) : mName(name), mTakes(takes) {}
    ~RecordingScreen() override { gLog.push_back(mName + " deleted"); }
    bool Update() override
    {
        gLog.push_back(mName);
        return mTakes;
    }
    void ReleaseResources() override { gLog.push_back(mName + " released"); }
    std::string mName;
    bool mTakes;
};

// The cinematics an active control sees: the cinematic step comes after it.
int32_t gCinematicsSeenByControl = -1;

struct RecordingControl : cTarvelControl {
    void Update() override
    {
        gLog.push_back("control");
        gCinematicsSeenByControl = gCinematics.count;
    }
};

// A cinematic without script, waiting for a time far ahead: it goes only
// once a test ends it.
cTarvelCinematic* PushCinematic()
{
    auto* cinematic = new cTarvelCinematic(nullptr, "", nullptr, "OnRun");
    cinematic->mWaitKind = cTarvelCinematic::kWaitTime;
    cinematic->mWaitUntil = 1e9f;
    return cinematic;
}

struct RecordingWalk : cTarvelActorControl {
    void SetRun(bool run) override { gLog.push_back(run ? "run" : "walk"); }
};

class GameplayTest : public ScriptTestBase {
protected:
    void SetUp() override
    {
        ScriptTestBase::SetUp();
        gLog.clear();
        gSymbolsAtInit = -1;
    }
    void TearDown() override
    {
        if (mPlayer) {
            mPlayer->mControl = mSavedControl;
            gTarvel.mPlayer = nullptr;
        }
        ScriptTestBase::TearDown();
    }

    // Starts the engine on an archive whose "project" holds these texts and
    // the "Main" script assembled from source.
    void StartWithProject(const std::string& name, const std::string& build, const char* source)
    {
        testkit::ArchiveWriter writer;
        writer.AddLanguage(1);
        AddStartupEntries(writer, false);
        writer.AddShared(1, "project", 0, testkit::BuildProject(name, build, AssembleScriptOrThrow(source)), true);
        std::string error;
        ASSERT_TRUE(writer.Write(WorkDir(), &error)) << error;
        InitEngine();
    }
    void Start() { StartWithProject("test", "1", "function Main::Init\nret\n"); }

    // A scene in view a with a player whose control walks: the off-screen
    // voice, which needs no resources, given the fixture's control.
    void EnterScene()
    {
        gTarvel.mScene = new cTarvelScene;
        gTarvel.mScene->mView = &mViewA;
        mWalk.mWalking = true;
        mPlayer = gTarvel.mSpeech.mOffVoice;
        mSavedControl = mPlayer->mControl;
        mPlayer->mControl = &mWalk;
        gTarvel.mPlayer = mPlayer;
    }
    static cTarvelGameplay& Gameplay() { return gTarvel.mGameplay; }
    // Puts a temporary item with no script in hand.
    static void HoldItem(const char* name)
    {
        auto* item = new sInventoryItem;
        item->name = name;
        gTarvel.mInventory.mTemporary = item;
        gTarvel.mInventory.SelectItem(item);
    }
    static void Frame(uint32_t ms = 20)
    {
        gTarvel.mTimer.mGameTime += ms;
        Gameplay().Update();
        Gameplay().UpdateWorld();
    }

    cTarvelView mViewA;
    cTarvelView mViewB;
    RecordingWalk mWalk;
    cTarvelActor* mPlayer = nullptr;
    cTarvelActorControl* mSavedControl = nullptr;
};

TEST_F(GameplayTest, InitReadsTheProjectAndCallsMainInitLast)
{
    cTarvelScript::AddLibraryFunction("test__symbols", NoteSymbols);
    // A screen larger than the layout, so that pixels and layout units differ.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Brindlewerk\\Kestrelmoor", &key), ERROR_SUCCESS);
    const DWORD screenRes = 0x05000400;
    ASSERT_EQ(RegSetValueExA(key, "ScreenRes", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&screenRes), 4),
              ERROR_SUCCESS);
    RegCloseKey(key);
    // The name runs past its field and is cut there.
    const std::string longName(70, 'n');
    StartWithProject(longName, "build 7",
                     "import test__symbols 0 none\nfunction Main::Init\npush int 0\ncall test__symbols\nret\n");

    const std::string log = Log();
    const std::string expected = "Initializing gameplay...\nProject, Build: " + std::string(64, 'n') + ", build 7\n";
    EXPECT_NE(log.find(expected), std::string::npos) << log;
    const cTarvelGameplay& gameplay = Gameplay();
    ASSERT_NE(gameplay.mMainScript, nullptr);
    EXPECT_STREQ(gameplay.mMainScript->mName.c_str(), "project");
    EXPECT_EQ(gSymbolsAtInit, 2) << "PC and OFF are there before Main::Init runs";

    ASSERT_GE(gSharedSymbols.count, 2);
    const cTarvelScriptValue& pc = gSharedSymbols.data[0];
    const cTarvelScriptValue& off = gSharedSymbols.data[1];
    EXPECT_STREQ(pc.name.c_str(), "PC");
    EXPECT_EQ(pc.object, 0u);
    EXPECT_STREQ(off.name.c_str(), "OFF");
    EXPECT_EQ(gScriptHandles.Get<cTarvelActor>(off.object, eScriptObjectType::Actor), gTarvel.mSpeech.mOffVoice);
    for (const cTarvelScriptValue* value : {&pc, &off}) {
        EXPECT_EQ(value->kind, uint32_t(kScriptResultObject));
        EXPECT_EQ(value->scope, 2);
        EXPECT_STREQ(value->className.c_str(), "cActor");
    }
    EXPECT_EQ(cTarvelGameplay::FindValue("OFF"), &gSharedSymbols.data[1]);
    EXPECT_EQ(cTarvelGameplay::FindValue("off"), nullptr);

    // The mouse starts in the screen's centre, limited 4 units short of its
    // edges, in the 1024 x 768 layout the mouse is kept in whatever the
    // screen's size: at 1280 x 1024 pixels too.
    ASSERT_EQ(gTarvel.mGraphics.mWidth, 1280);
    EXPECT_EQ(gameplay.mMouseX, 512);
    EXPECT_EQ(gameplay.mMouseY, 384);
    EXPECT_EQ(gameplay.mMouseLimitX, 1020);
    EXPECT_EQ(gameplay.mMouseLimitY, 764);

    // The detail-view exit band: enabled, and hit 50 units inside the scene
    // area's edge but not in its middle.
    ASSERT_NE(gameplay.mRegionSet, nullptr);
    EXPECT_TRUE(gameplay.mRegionSet->mEnabled);
    EXPECT_TRUE(gameplay.mRegionSet->HitTest(20, 400, 0));
    EXPECT_FALSE(gameplay.mRegionSet->HitTest(512, 400, 0));
    EXPECT_EQ(gameplay.mRegionSet->GetCursorKind(), 8u);

    gTarvel.mGameplay.Release();
    EXPECT_EQ(gameplay.mMainScript, nullptr);
    EXPECT_EQ(gameplay.mRegionSet, nullptr);
}

TEST_F(GameplayTest, TestButtonTakesAClickOnce)
{
    Start();
    for (int button : {0, 1}) {
        SCOPED_TRACE(button);
        int32_t& latch = button == 0 ? Gameplay().mLeftLatch : Gameplay().mRightLatch;
        latch = 1;
        EXPECT_FALSE(Gameplay().TestButton(button, 2));
        EXPECT_EQ(latch, 1) << "a failed test leaves the latch";
        EXPECT_TRUE(Gameplay().TestButton(button, 1));
        EXPECT_EQ(latch, 0);
        EXPECT_FALSE(Gameplay().TestButton(button, 1));
    }
    Gameplay().mLeftLatch = 2;
    EXPECT_FALSE(Gameplay().TestButton(1, 2)) << "the other button's latch";
    EXPECT_TRUE(Gameplay().TestButton(0, 2));
}

TEST_F(GameplayTest, GetTextMatchesTheWholeKey)
{
    Start();
    EXPECT_STREQ(Gameplay().GetText("opt_gamma").c_str(), "");
    Gameplay().mTextLines.Add("opt_gammax Wrong");
    Gameplay().mTextLines.Add("opt_gamma Gamma");
    Gameplay().mTextLines.Add("opt_gamma Second");
    Gameplay().mTextLines.Add("cinematic_cancel");
    EXPECT_STREQ(Gameplay().GetText("opt_gamma").c_str(), "Gamma");
    EXPECT_STREQ(Gameplay().GetText("opt_gammax").c_str(), "Wrong");
    EXPECT_STREQ(Gameplay().GetText("opt").c_str(), "");
    EXPECT_STREQ(Gameplay().GetText("cinematic_cancel").c_str(), "") << "a key without its blank";
    EXPECT_STREQ(Gameplay().GetText("nosuch").c_str(), "");
}

TEST_F(GameplayTest, FadeWaitersResumeAsTheFadeEnds)
{
    struct Case {
        int32_t state;
        int32_t heldState;
        // Frames of 50 ms over a 100 ms fade: the state after each, and the
        // frame whose update resumes the waiter.
        std::vector<int32_t> states;
        size_t resumedAt;
    };
    const Case cases[] = {
        {1, 3, {1, 3, 3, 3}, 2},   // to black: the frame after it is held
        {4, 6, {4, 6, 6, 6}, 2},   // to white
        {2, 0, {2, 0, 0, 0}, 1},   // from black: the frame it ends
        {5, 0, {5, 0, 0, 0}, 1},
    };
    Start();
    std::unique_ptr<cTarvelScript> waiter = Machine("import test__record 0 int\nfunction Resume\npush int 0\ncall test__record\nret\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        Records().clear();
        cTarvelGameplay& gameplay = Gameplay();
        gameplay.mFadeState = c.state;
        gameplay.mFadeStart = gTarvel.mTimer.mGameTime;
        gameplay.mFadeRate = 10.0f;
        gameplay.mFadeWaiter = waiter.get();
        gameplay.mFadeWaiterSerial = waiter->mSerial;
        gameplay.mFadeLabel = "Resume";
        for (size_t frame = 0; frame < c.states.size(); ++frame) {
            gTarvel.mTimer.mGameTime += 50;
            gameplay.Update();
            EXPECT_EQ(gameplay.mFadeState, c.states[frame]) << frame;
            EXPECT_EQ(Records().size(), frame >= c.resumedAt ? 1u : 0u) << frame;
        }
        EXPECT_EQ(gameplay.mFadeWaiter, nullptr);
        gameplay.mFadeState = 0;
    }
}

TEST_F(GameplayTest, FramesRunTheirStepsInOrder)
{
    Start();
    EnterScene();
    auto* bottom = new RecordingScreen("bottom", false);
    auto* top = new RecordingScreen("top", true);
    gScreenControls.Add(bottom);
    gScreenControls.Add(top);
    gActiveControls.Add(new RecordingControl);
    cTarvelCinematic* cinematic = PushCinematic();

    struct Step {
        const char* what;
        std::vector<std::string> log;
        int32_t leftLatchAfter;
    };
    const Step steps[] = {
        // The top screen control takes the input: nothing below it, nor the
        // mouse, sees it; the world update still runs.
        {"top takes the input", {"top", "control"}, 1},
        // The done top is released, deleted and popped before the input is
        // offered; the ended cinematic goes after the active controls ran.
        {"top done", {"top released", "top deleted", "bottom", "control"}, 0},
        // A line that cannot be clicked through holds every input back.
        {"speech blocks", {"control"}, 1},
        // The menu takes the frame's input after the screen controls.
        {"menu open", {"bottom", "control"}, 1},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const std::string what = step.what;
        gLog.clear();
        Gameplay().mLeftLatch = 1;
        if (what == "top done") {
            top->mDone = true;
            cinematic->mEnded = true;
        }
        if (what == "speech blocks") {
            Gameplay().mStateFlags |= cTarvelGameplay::kBlocked;
            gTarvel.mSpeech.mState = 2;
            gTarvel.mSpeech.mStartMs = gTarvel.mTimer.mGameTime;
        }
        if (what == "menu open")
            gTarvel.mMenu.mOpen = true;
        Frame();
        EXPECT_EQ(gLog, step.log);
        EXPECT_EQ(Gameplay().mLeftLatch, step.leftLatchAfter);
        if (what == "top done")
            EXPECT_EQ(gCinematicsSeenByControl, 1) << "the ended cinematic went before the active controls ran";
        EXPECT_EQ(gCinematics.count, what == "top takes the input" ? 1 : 0);
        Gameplay().mStateFlags &= ~cTarvelGameplay::kBlocked;
        gTarvel.mSpeech.mState = 0;
        gTarvel.mMenu.mOpen = false;
    }
    EXPECT_EQ(gScreenControls.count, 1);
    EXPECT_EQ(gCinematics.count, 0);
}

TEST_F(GameplayTest, ADoubleClickCountsOnlyInTheViewOfItsFirstClick)
{
    Start();
    EnterScene();
    // A scripted walk is under way: a double click makes it a run.
    Gameplay().mStateFlags = cTarvelGameplay::kInterfaceEnabled | cTarvelGameplay::kWalkingToObject;
    auto click = [](int32_t latch) {
        Gameplay().mLeftLatch = latch;
        Frame();
        EXPECT_EQ(Gameplay().mLeftLatch, 0);
    };
    click(1);
    click(2);
    EXPECT_EQ(gLog, std::vector<std::string>{"run"});

    gLog.clear();
    click(1);
    gTarvel.mScene->mView = &mViewB;
    click(2);
    EXPECT_TRUE(gLog.empty()) << "the view changed between the clicks";

    // The right button keeps its own stamp: its double click deselects the
    // item in hand only in the view of its first click.
    Gameplay().mStateFlags = cTarvelGameplay::kInterfaceEnabled;
    Gameplay().mRightLatch = 1;
    Frame();   // in view b, with nothing in hand
    HoldItem("key");
    gTarvel.mScene->mView = &mViewA;
    Gameplay().mRightLatch = 2;
    Frame();
    EXPECT_NE(gTarvel.mInventory.mSelected, nullptr);
    gTarvel.mScene->mView = &mViewB;
    Gameplay().mRightLatch = 2;
    Frame();
    EXPECT_EQ(gTarvel.mInventory.mSelected, nullptr);
}

TEST_F(GameplayTest, AClickWhileACinematicRunsIsTakenAndIgnored)
{
    Start();
    EnterScene();
    Gameplay().mStateFlags = cTarvelGameplay::kInterfaceEnabled;
    HoldItem("key");
    cTarvelCinematic* cinematic = PushCinematic();   // does not end in this test
    Gameplay().mLeftLatch = 1;
    Gameplay().mRightLatch = 1;
    Frame();
    EXPECT_EQ(Gameplay().mLeftLatch, 0);
    EXPECT_EQ(Gameplay().mRightLatch, 0);
    EXPECT_NE(gTarvel.mInventory.mSelected, nullptr) << "the right click did not deselect";
    EXPECT_EQ(gTarvel.mGraphics.mCursorKind, 5) << "an item is selected";

    // Without the cinematic the same click deselects.
    gCinematics.RemoveAt(0);
    delete cinematic;
    Gameplay().mRightLatch = 1;
    Frame();
    EXPECT_EQ(gTarvel.mInventory.mSelected, nullptr);
}

} // namespace
