#include "engine/gameplay/gameplay.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/tarvel.h"
#include "engine/gameplay/cinematic.h"
#include "engine/gameplay/control.h"
#include "engine/gameplay/inventory.h"
#include "engine/gameplay/region_set.h"
#include "engine/gameplay/screen_control.h"
#include "engine/script/script_api.h"
#include "engine/script/script_handles.h"
#include "platform/win32/win32.h"
#include "engine/script/script_test_support.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/mobile.h"
#include "engine/world/scene.h"
#include "engine/world/view.h"
#include "engine/world/walk_area.h"
#include "tools/archive_writer.h"
#include "tools/mobile_actor_writer.h"
#include "tools/project_writer.h"
#include "tools/scene_writer.h"
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

// ---- The player's scene input: cursor, inventory bar, clicks, detail views
// and walk-area triggers, through the frame's updates on a loaded scene.

namespace {

int32_t RecordEvent(tScriptFrame* frame)
{
    gLog.push_back(ScriptArgString(frame, 0));
    return 0;
}

// The player's legs: walks, runs and the walk's callback object.
struct InputWalk : cTarvelActorControl {
    void WalkTo(float, float, float, float, cTarvelWalkArea*, cTarvelCamera*) override { gLog.push_back("walk"); }
    void SetRun(bool run) override
    {
        if (run)
            gLog.push_back("run");
    }
    void SetCallback(cTarvelScript*, cTarvelString, cTarvelScriptValue* symbol) override { mSymbol = symbol; }
    cTarvelScriptValue* GetCallbackSymbol() override { return mSymbol; }
    cTarvelScriptValue* mSymbol = nullptr;
};

// Each event the scene's script gets records its name.
std::string Event(const char* function, const char* name)
{
    return std::string("function ") + function + "\npush string \"" + name + "\"\ncallg Log test__event\nret\n";
}

class SceneInputTest : public GameplayTest {
protected:
    void SetUp() override
    {
        GameplayTest::SetUp();
        cTarvelScript::AddLibraryFunction("test__event", RecordEvent);
        testkit::SceneFile room;
        room.name = "Room";
        // A wall facing the camera behind everything: the floor clicks pick it.
        testkit::SceneMesh wall;
        wall.name = "wall";
        wall.vertices = {{-1000, -1000, 50, 0, 0, -1}, {1000, -1000, 50, 0, 0, -1}, {1000, 1000, 50, 0, 0, -1},
                         {-1000, 1000, 50, 0, 0, -1}};
        wall.indices = {0, 1, 2, 0, 2, 3, 0, 2, 1, 0, 3, 2};
        room.meshes = {wall};
        testkit::SceneView main;
        main.name = "Main";
        main.camera = {0, 0, -100, 0, 0, 0, 1, 0.785f};
        testkit::SceneView close;
        close.name = "Close";
        close.camera = {0, 0, -100, 0, 0, 0, 1, 0.785f};
        room.views = {main, close};
        testkit::SceneWalkArea area;
        area.name = "Floor";
        area.polygons = {{false, {{-100, 0, 0}, {100, 0, 0}, {100, 0, 200}, {-100, 0, 200}}}};
        area.triangles = {{testkit::WalkRef(0, 0), testkit::WalkRef(0, 2), testkit::WalkRef(0, 1)},
                          {testkit::WalkRef(0, 0), testkit::WalkRef(0, 3), testkit::WalkRef(0, 2)}};
        room.walkAreas = {area};
        room.script = AssembleScriptOrThrow(
            "global Room object class=cScene\nglobal Main object class=cView\nglobal Close object class=cView\n"
            "global door object\nglobal path object\nglobal ann object\nglobal Log int\n"
            "import test__event 1 none\nret\n" +
            Event("door::Do", "door.Do") + Event("door::DoDblClick", "door.DoDblClick") +
            Event("door::DoInventory", "door.DoInventory") + Event("path::Do", "path.Do") +
            Event("ann::Do", "ann.Do") + Event("Entered", "entered") + Event("Left", "left"));

        testkit::MobileActor body;
        body.meshes[0].radius = 5.0f;
        testkit::ArchiveWriter writer;
        writer.AddLanguage(1);
        AddStartupEntries(writer);
        writer.AddShared(1, "Room.day", testkit::kSceneResourceType, testkit::BuildSceneFile(room), false);
        for (const char* actor : {"Hero", "Ann"})
            writer.AddShared(1, std::string(actor) + ".day", 2, AssembleActorScript(actor), false);
        writer.AddShared(1, "body", 7, testkit::BuildMobileActor(body), true);
        std::string error;
        ASSERT_TRUE(writer.Write(WorkDir(), &error)) << error;
        InitEngine();

        gTarvel.mGameState = gTarvel.mPendingGameState = "day";
        mHero = new cTarvelActor("Hero", "day", true);
        mHero->mIsPlayer = true;
        mHero->mControl = mLegs = new InputWalk;
        gTarvel.mPlayer = mHero;
        auto* scene = new cTarvelScene();
        scene->mSlot = gTarvel.mResources.OpenResource("Room.day", testkit::kSceneResourceType);
        ASSERT_EQ(gTarvel.ChangeScene(scene, 0), 0);
        mRoom = scene;
        mMain = scene->FindView("Main");
        mClose = scene->FindView("Close");
        ASSERT_TRUE(mMain && mClose && scene->mView == mMain);
        ASSERT_EQ(scene->mWalkAreas.count, 1);
        cTarvelWalkArea* floor = scene->mWalkAreas.data[0];
        floor->mEnabled = 1;
        floor->mEnterLeave = 1;
        floor->mOnEnter = "Entered";
        floor->mOnLeave = "Left";

        cTarvelScript& script = *scene->mScript;
        auto hotspot = [&](const char* name, int32_t left, int32_t right) {
            auto* set = new cTarvelRegionSet;
            set->SetRectRegion(left, 200, right, 300);
            set->mRecords[0].view = mMain;
            set->mObject = script.FindGlobal(name);
            set->mEnabled = true;
            set->mNoWalking = true;
            scene->mHotspots.Add(set);
            return set;
        };
        mDoor = hotspot("door", 100, 200);
        mDoor->mNoVerbs = true;
        hotspot("path", 800, 900)->mIsPath = true;

        // Ann stands at the origin, her ring stood up to face the camera:
        // she is under the mouse at the screen's centre.
        mAnn = new cTarvelActor("Ann", "day", true);
        ASSERT_EQ(mAnn->mMobile->Load("body"), 0);
        mAnn->mMobile->SetRotationXYZ(-1.5707964f, 0.0f, 0.0f);
        mAnn->mMobile->Update(0.0f);
        mAnn->mEnabled = mAnn->mVisible = true;
        mAnn->mSceneSymbol = script.FindGlobal("ann");
        scene->mActors.Add(mAnn);
    }
    void TearDown() override
    {
        gTarvel.mInventory.UnselectItem();
        while (gCinematics.count > 0) {
            delete gCinematics.data[gCinematics.count - 1];
            gCinematics.RemoveAt(gCinematics.count - 1);
        }
        GameplayTest::TearDown();
    }

    // The state every case starts from: input open, the bar allowed and
    // closed, nothing in hand, the main view, the player still and outside
    // the walk area.
    void Reset(int32_t x, int32_t y)
    {
        cTarvelGameplay& gameplay = Gameplay();
        gameplay.mStateFlags = cTarvelGameplay::kInterfaceEnabled | cTarvelGameplay::kInventoryShown;
        gameplay.mMouseX = x;
        gameplay.mMouseY = y;
        gameplay.mLeftLatch = gameplay.mRightLatch = 0;
        gameplay.mFadeState = 0;
        gTarvel.mInventory.UnselectItem();
        gTarvel.mInventory.mBarState = cTarvelInventory::kClosed;
        mRoom->mDetailViews.Clear();
        mMain->Select(0);
        mLegs->mWalking = false;
        mLegs->mSymbol = nullptr;
        mHero->mMobile->mPosition = D3DXVECTOR3(500.0f, 0.0f, 500.0f);
        mRoom->mWalkAreas.data[0]->mEntered = 0;
    }

public:
    void OpenDetailView()
    {
        mRoom->mDetailViews.Add(mMain);
        mClose->Select(0);
    }

    cTarvelActor* mHero = nullptr;
    InputWalk* mLegs = nullptr;
    cTarvelScene* mRoom = nullptr;
    cTarvelView* mMain = nullptr;
    cTarvelView* mClose = nullptr;
    cTarvelRegionSet* mDoor = nullptr;
    cTarvelActor* mAnn = nullptr;
};

TEST_F(SceneInputTest, TheMouseActsOnTheSceneByTheRules)
{
    using Flags = cTarvelGameplay;
    using Setup = std::function<void(SceneInputTest&)>;
    const Setup none;
    const Setup item = [](SceneInputTest&) { HoldItem("key"); };
    const Setup barOpen = [](SceneInputTest&) { gTarvel.mInventory.mBarState = cTarvelInventory::kOpen; };
    auto flags = [](uint32_t set, uint32_t clear = 0) {
        return Setup([=](SceneInputTest&) {
            Gameplay().mStateFlags = (Gameplay().mStateFlags | set) & ~clear;
        });
    };
    auto both = [](Setup a, Setup b) {
        return Setup([=](SceneInputTest& t) {
            a(t);
            b(t);
        });
    };
    const Setup cinematic = [](SceneInputTest&) { PushCinematic(); };
    const Setup fade = [](SceneInputTest&) {
        Gameplay().mFadeState = 2;
        Gameplay().mFadeStart = gTarvel.mTimer.mGameTime;
        Gameplay().mFadeRate = 0.001f;
    };
    const Setup detail = [](SceneInputTest& t) { t.OpenDetailView(); };
    const Setup toBar = [](SceneInputTest&) { Gameplay().mMouseY = 700; };
    auto playerAt = [](float x, float z, bool entered) {
        return Setup([=](SceneInputTest& t) {
            t.mHero->mMobile->mPosition = D3DXVECTOR3(x, 0.0f, z);
            t.mRoom->mWalkAreas.data[0]->mEntered = entered ? 1 : 0;
        });
    };
    const Setup walkingToAnn = [](SceneInputTest& t) {
        t.mLegs->mWalking = true;
        t.mLegs->mSymbol = t.mAnn->mSceneSymbol;
    };
    constexpr int32_t kAny = -1;
    constexpr int32_t kClosed = cTarvelInventory::kClosed, kOpen = cTarvelInventory::kOpen,
                      kOpening = cTarvelInventory::kOpening, kClosing = cTarvelInventory::kClosing;
    struct Case {
        const char* name;
        int32_t x, y;
        Setup setup;
        int32_t left, right;   // latches
        int32_t cursor;
        std::vector<std::string> events;
        int32_t bar;   // the bar's state after the frame
    };
    // Door (hotspot without verbs) at (150, 250), path at (850, 250), Ann at
    // (512, 384); (300, 500) is bare wall; the bar's line is y 640.
    const Case cases[] = {
        // Cursor kinds.
        {"a hotspot's own cursor", 150, 250, none, 0, 0, 4, {}, kClosed},
        {"a path's cursor", 850, 250, none, 0, 0, 1, {}, kClosed},
        {"an actor under the mouse", 512, 384, none, 0, 0, 9, {}, kClosed},
        {"nothing under the mouse", 300, 500, none, 0, 0, 0, {}, kClosed},
        {"the open bar hides the scene", 150, 250, barOpen, 0, 0, 0, {}, kOpen},
        {"over the open bar", 300, 700, barOpen, 0, 0, 3, {}, kOpen},
        {"an item in hand", 300, 500, item, 0, 0, 5, {}, kClosed},
        {"an item in hand over a path", 850, 250, item, 0, 0, 5, {}, kClosed},
        // The inventory bar.
        {"well below the line the bar opens", 300, 700, none, 0, 0, 0, {}, kOpening},
        {"28 below the line it does not", 300, 668, none, 0, 0, 0, {}, kClosed},
        {"a closing bar opens again",
         300, 700, [](SceneInputTest&) { gTarvel.mInventory.mBarState = kClosing; }, 0, 0, 0, {}, kOpening},
        {"above the line the pop-up bar closes", 300, 600, both(barOpen, flags(Flags::kInventoryPopUp)), 0, 0, 0, {},
         kClosing},
        {"above the line the fixed bar stays", 300, 600, barOpen, 0, 0, 0, {}, kOpen},
        {"input closed hides the bar", 300, 700, both(barOpen, flags(0, Flags::kInterfaceEnabled)), 0, 0, kAny, {},
         kClosing},
        {"a bar not allowed hides", 300, 700, both(barOpen, flags(0, Flags::kInventoryShown)), 0, 0, kAny, {},
         kClosing},
        {"a line that holds the input hides the bar", 300, 700, both(barOpen, flags(Flags::kBlocked)), 0, 0, kAny,
         {}, kClosing},
        {"a scripted walk hides the bar", 300, 700, both(barOpen, flags(Flags::kWalkingToObject)), 0, 0, kAny, {},
         kClosing},
        {"a cinematic hides the bar", 300, 700, both(barOpen, cinematic), 0, 0, kAny, {}, kClosing},
        {"a fade hides the bar", 300, 700, both(barOpen, fade), 0, 0, kAny, {}, kClosing},
        // Clicks.
        {"a click on a hotspot", 150, 250, none, 1, 0, 4, {"door.Do"}, kClosed},
        {"an item used on a hotspot", 150, 250, item, 1, 0, 5, {"door.DoInventory"}, kClosed},
        {"a click on a path with an item does nothing", 850, 250, item, 1, 0, 5, {}, kClosed},
        {"a click on an actor", 512, 384, none, 1, 0, 9, {"ann.Do"}, kClosed},
        {"a click on the floor walks there", 300, 500, none, 1, 0, 0, {"walk"}, kClosed},
        {"no floor walk when floor clicks are off", 300, 500, flags(Flags::kNoWalkToObjects), 1, 0, 0, {}, kClosed},
        // (Pop-up mode's own rule against floor walks cannot show: above the
        // bar's line the bar's update leaves pop-up mode first.)
        {"pop-up mode ends above the bar's line", 300, 500, flags(Flags::kInventoryPopUp), 1, 0, 0, {"walk"},
         kClosed},
        {"no floor walk with an item in hand", 300, 500, item, 1, 0, 5, {}, kClosed},
        {"no floor walk in a detail view", 300, 500, detail, 1, 0, 0, {}, kClosed},
        // The hover stays the door's from the quiet frame: the open bar keeps
        // the scene's hover as it was.
        {"the open pop-up bar takes the click", 150, 250, both(both(barOpen, flags(Flags::kInventoryPopUp)), toBar),
         1, 0, 3, {}, kOpen},
        {"a double click on a hotspot", 150, 250, none, 2, 0, 4, {"door.DoDblClick"}, kClosed},
        {"a double click on the floor runs there", 300, 500, none, 2, 0, 0, {"walk", "run"}, kClosed},
        {"a double click on the actor walked to runs", 512, 384, walkingToAnn, 2, 0, 9, {"run"}, kClosed},
        {"a right click drops the item", 300, 500, item, 0, 1, 5, {"item dropped"}, kClosed},
        {"a right double click drops it too", 300, 500, item, 0, 2, 5, {"item dropped"}, kClosed},
        {"a right click with nothing in hand", 150, 250, none, 0, 1, 4, {}, kClosed},
        {"no click with the input closed", 150, 250, flags(0, Flags::kInterfaceEnabled), 1, 0, 4, {}, kClosed},
        {"no click during a scripted walk", 150, 250, flags(Flags::kWalkingToObject), 1, 0, 4, {}, kClosed},
        {"no click during a cinematic", 150, 250, cinematic, 1, 0, 4, {}, kClosed},
        {"no click during a fade", 150, 250, fade, 1, 0, 4, {}, kClosed},
        {"no right click during a fade", 300, 500, both(item, fade), 0, 1, 5, {}, kClosed},
        // Detail views: the band along the scene area's edge leaves them.
        {"the exit band's cursor", 20, 400, detail, 0, 0, 8, {}, kClosed},
        {"a click on the exit band", 20, 400, detail, 1, 0, 8, {"left detail view"}, kClosed},
        {"no exit band outside a detail view", 20, 400, none, 1, 0, 0, {"walk"}, kClosed},
        {"no exit band with an item in hand", 20, 400, both(detail, item), 1, 0, 5, {}, kClosed},
        // Walk-area triggers.
        {"the player enters the walk area", 300, 500, playerAt(0.0f, 100.0f, false), 0, 0, 0, {"entered"}, kClosed},
        {"the player leaves it", 300, 500, playerAt(500.0f, 500.0f, true), 0, 0, 0, {"left"}, kClosed},
        {"the player stays in it", 300, 500, playerAt(0.0f, 100.0f, true), 0, 0, 0, {}, kClosed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A quiet frame first takes the hover under the mouse.
        Reset(c.x, c.y);
        Frame();
        Reset(c.x, c.y);
        if (c.setup)
            c.setup(*this);
        Gameplay().mLeftStamp = Gameplay().mRightStamp = mRoom->mView;
        Gameplay().mLeftLatch = c.left;
        Gameplay().mRightLatch = c.right;
        const bool held = gTarvel.mInventory.mSelected != nullptr;
        const bool inDetail = mRoom->mDetailViews.count > 0;
        gLog.clear();
        Frame();
        std::vector<std::string> events = gLog;
        if (held && !gTarvel.mInventory.mSelected)
            events.push_back("item dropped");
        if (inDetail && mRoom->mDetailViews.count == 0 && mRoom->mView == mMain)
            events.push_back("left detail view");
        if (c.cursor != kAny)
            EXPECT_EQ(gTarvel.mGraphics.mCursorKind, c.cursor);
        EXPECT_EQ(events, c.events);
        EXPECT_EQ(gTarvel.mInventory.mBarState, c.bar);
        EXPECT_EQ(Gameplay().mLeftLatch, 0);
        EXPECT_EQ(Gameplay().mRightLatch, 0);
        while (gCinematics.count > 0) {
            delete gCinematics.data[gCinematics.count - 1];
            gCinematics.RemoveAt(gCinematics.count - 1);
        }
    }
}

} // namespace
