#include "engine/gameplay/region_set.h"

#include <algorithm>
#include <cstring>
#include <array>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "engine/core/tarvel.h"
#include "engine/core/test_support.h"
#include "engine/gameplay/hints.h"
#include "engine/render/image.h"
#include "engine/render/render_test_support.h"
#include "engine/script/script.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/camera.h"
#include "engine/world/mobile.h"
#include "engine/world/scene.h"
#include "engine/world/view.h"
#include "engine/world/walk_area.h"
#include "platform/win32/win32.h"
#include "tools/scene_writer.h"
#include "tools/script_assembler.h"

namespace {

namespace pt = platform::testing;

std::vector<std::string> gCalls;

void Observe(cTarvelScript*, const char* name)
{
    gCalls.push_back(name);
}

// A control that walks when told it can and arrives when the test says so.
class TestControl : public cTarvelActorControl {
public:
    void WalkTo(float x, float y, float z, float destRot, cTarvelWalkArea* area, cTarvelCamera* camera) override
    {
        const bool wasRunning = mWalking && mRunning;
        ++mWalks;
        mArea = area;
        mCamera = camera;
        mGoal[0] = x;
        mGoal[1] = y;
        mGoal[2] = z;
        mGoal[3] = destRot;
        mScript = nullptr;
        mWalking = mCanWalk;
        mRunning = mWalking && wasRunning;
    }
    float GetFloorHeight(float, float, float) override { return mFloorHeight; }
    void SetCallback(cTarvelScript* script, cTarvelString label, cTarvelScriptValue* symbol) override
    {
        mScript = script;
        mLabel = label;
        mSymbol = symbol;
    }
    cTarvelScriptValue* GetCallbackSymbol() override { return mSymbol; }
    void SetRun(bool run) override
    {
        if (mWalking)
            mRunning = run && mHasRunCycle;
    }
    void ClearWalk() override
    {
        mWalking = false;
        mRunning = false;
        mScript = nullptr;
    }
    // The step that reaches the end of the walk.
    void Arrive()
    {
        mWalking = false;
        mRunning = false;
        cTarvelScript* script = mScript;
        mScript = nullptr;
        if (!script)
            return;
        gTarvel.mGameplay.mStateFlags &= ~cTarvelGameplay::kWalkingToObject;
        script->CallEvent(mSymbol, mLabel.c_str());
    }

    float mGoal[4] = {};
    int mWalks = 0;
    cTarvelWalkArea* mArea = nullptr;
    cTarvelCamera* mCamera = nullptr;
    cTarvelScript* mScript = nullptr;
    cTarvelString mLabel;
    cTarvelScriptValue* mSymbol = nullptr;
    bool mRunning = false;
    bool mCanWalk = true;
    bool mHasRunCycle = true;
    float mFloorHeight = 0.0f;
};

// A started engine with a scene whose script defines "hs::DoDblClick",
// "hs::Use", "hs::Do", "hs::DoInventory" and "desk::DoLeaveDetailView", and a
// player with a control.
class RegionSetTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        InitEngine();
        gCalls.clear();
        cTarvelScript::sCallObserver = Observe;
        mScene = new cTarvelScene();
        mScene->mScript = new cTarvelScript("scene");
        const std::vector<uint8_t> image =
            AssembleScriptOrThrow("function hs::DoDblClick\nret\nfunction hs::Use\nret\nfunction hs::Do\nret\n"
                                  "function hs::DoInventory\nret\nfunction desk::DoLeaveDetailView\nret\n");
        ASSERT_EQ(mScene->mScript->LoadImage(image.data(), image.size(), "scene"), 0);
        gTarvel.mScene = mScene;
        mPlayer = new cTarvelActor("OFF", "", false);
        mPlayer->mControl = new TestControl();
        gTarvel.mPlayer = mPlayer;
        mObject.kind = kScriptObject;
        mObject.name = "hs";
        mHotspot.mObject = &mObject;
        gTarvel.mGameplay.mStateFlags = 0x1;
    }

    void TearDown() override
    {
        cTarvelScript::sCallObserver = nullptr;
        gTarvel.mScene = nullptr;
        gTarvel.mPlayer = nullptr;
        delete mScene;   // and its script
        delete mPlayer;
        EngineTest::TearDown();
    }

    TestControl& Control() { return *static_cast<TestControl*>(mPlayer->mControl); }
    static uint32_t Flags() { return gTarvel.mGameplay.mStateFlags; }

    cTarvelScene* mScene = nullptr;
    cTarvelActor* mPlayer = nullptr;
    cTarvelScriptValue mObject;
    cTarvelRegionSet mHotspot;
};

TEST_F(RegionSetTest, VerbWalksToTheDestinationAndRunsOnArrival)
{
    mHotspot.mDestination[0] = 0.0f;   // x 0 with z set is a destination
    mHotspot.mDestination[1] = 4.0f;
    mHotspot.mDestination[2] = 1.5f;
    Control().mFloorHeight = 2.5f;
    mHotspot.ExecuteVerb("Use");
    EXPECT_TRUE(Control().mWalking);
    EXPECT_EQ(Control().mGoal[0], 0.0f);
    EXPECT_EQ(Control().mGoal[1], 2.5f);
    EXPECT_EQ(Control().mGoal[2], 4.0f);
    EXPECT_EQ(Control().mGoal[3], 1.5f);
    EXPECT_EQ(Control().GetCallbackSymbol(), &mObject);
    EXPECT_TRUE(Flags() & 0x1000);
    EXPECT_TRUE(gCalls.empty());

    Control().Arrive();
    EXPECT_EQ(gCalls, std::vector<std::string>{"hs::Use"});
    EXPECT_FALSE(Flags() & 0x1000);
}

TEST_F(RegionSetTest, VerbRunsAtOnceWhenNoWalkIsMade)
{
    struct Case {
        const char* what;
        float x, z;
        uint32_t flags;
        bool canWalk;
        bool control;
        bool walkingAfter;   // a walk under way before the verb
    };
    const Case cases[] = {
        {"no destination stops the walk", 0.0f, 0.0f, 0x1, true, true, false},
        {"bit 0x20 leaves the walk alone", 3.0f, 4.0f, 0x21, true, true, true},
        {"a walk that does not start", 3.0f, 4.0f, 0x1, false, true, false},
        {"no player control", 3.0f, 4.0f, 0x1, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gCalls.clear();
        if (!c.control) {
            delete mPlayer->mControl;
            mPlayer->mControl = nullptr;
        } else {
            Control().mCanWalk = c.canWalk;
            Control().mWalking = true;   // a walk to elsewhere is under way
        }
        gTarvel.mGameplay.mStateFlags = c.flags;
        mHotspot.mDestination[0] = c.x;
        mHotspot.mDestination[1] = c.z;
        mHotspot.ExecuteVerb("Use");
        EXPECT_EQ(gCalls, std::vector<std::string>{"hs::Use"});
        EXPECT_EQ(Flags(), c.flags);
        if (c.control) {
            EXPECT_EQ(Control().mWalking, c.walkingAfter);
            EXPECT_EQ(Control().mScript, nullptr);
        }
    }
}

TEST_F(RegionSetTest, DoubleClickFiresOnlyForLeaveRoomOrNoVerbs)
{
    // A verb walk is pending; a plain hotspot never fires "DoDblClick" but
    // makes a player who walks to it run.
    mHotspot.mDestination[0] = 3.0f;
    mHotspot.mDestination[1] = 4.0f;
    mHotspot.ExecuteVerb("Use");
    mHotspot.OnDoubleClick();
    EXPECT_TRUE(gCalls.empty());
    EXPECT_TRUE(Control().mRunning);

    // Without a run cycle the player goes on walking.
    Control().mRunning = false;
    Control().mHasRunCycle = false;
    mHotspot.OnDoubleClick();
    EXPECT_FALSE(Control().mRunning);

    // Leave-room: "DoDblClick" drops the verb's event and its walk bit; the
    // walk goes on and ends without an event.
    mHotspot.mLeaveRoom = true;
    mHotspot.OnDoubleClick();
    EXPECT_EQ(gCalls, std::vector<std::string>{"hs::DoDblClick"});
    EXPECT_FALSE(Flags() & 0x1000);
    EXPECT_TRUE(Control().mWalking);
    EXPECT_EQ(Control().GetCallbackSymbol(), nullptr);
    Control().Arrive();
    EXPECT_EQ(gCalls.size(), 1u);

    // No "DoDblClick" for the object: the player runs instead.
    cTarvelScriptValue other;
    other.kind = kScriptObject;
    other.name = "door";
    cTarvelRegionSet door;
    door.mObject = &other;
    door.mNoVerbs = true;
    door.mDestination[0] = 1.0f;
    door.ExecuteVerb("Use");
    Control().mHasRunCycle = true;
    gCalls.clear();
    door.OnDoubleClick();
    EXPECT_TRUE(gCalls.empty());
    EXPECT_TRUE(Control().mRunning);

    // Without a player control nothing happens.
    delete mPlayer->mControl;
    mPlayer->mControl = nullptr;
    mHotspot.OnDoubleClick();
    EXPECT_TRUE(gCalls.empty());
}

// Flags of a click case.
enum : uint32_t {
    kNoVerbs = 0x1,     // flag A
    kPathFlag = 0x2,    // flag B
    kPath = 0x4,
    kExit = 0x8,
    kNoWalking = 0x10,
    kNoTeleport = 0x20,
    kItem = 0x40,       // an inventory item is selected
};

void SetFlags(cTarvelRegionSet& set, uint32_t flags)
{
    set.mNoVerbs = flags & kNoVerbs;
    set.mPathFlag = flags & kPathFlag;
    set.mIsPath = flags & kPath;
    set.mLeaveRoom = flags & kExit;
    set.mNoWalking = flags & kNoWalking;
    set.mNoTeleport = flags & kNoTeleport;
    gTarvel.mGameplay.mItemInHand = flags & kItem ? "key" : "";
    gTarvel.mGameplay.mMode = flags & kItem ? 2 : 0;
}

TEST_F(RegionSetTest, CursorKindOfEachKindOfSet)
{
    struct Case {
        uint32_t flags;
        uint32_t kind;
    };
    const Case cases[] = {
        {0, 3}, {kNoVerbs, 4}, {kExit, 2}, {kExit | kNoVerbs, 2}, {kPath, 1}, {kPath | kPathFlag, 7},
        {kPath | kExit, 1}, {kPathFlag, 3},
    };
    for (const Case& c : cases) {
        SetFlags(mHotspot, c.flags);
        EXPECT_EQ(mHotspot.GetCursorKind(), c.kind) << c.flags;
    }
    // The controller's own set, whatever its flags.
    cTarvelRegionSet band;
    band.SetFrameRegion(50, true);
    band.mIsPath = true;
    cTarvelRegionSet* own = std::exchange(gTarvel.mGameplay.mRegionSet, &band);
    EXPECT_EQ(band.GetCursorKind(), 8u);
    gTarvel.mGameplay.mRegionSet = own;
    SetFlags(mHotspot, 0);
}

TEST_F(RegionSetTest, ClickRaisesDoOrDoInventoryWalkingFirstWhereTheFlagsSay)
{
    cTarvelWalkArea camLayer;
    cTarvelView view;
    view.mCamLayer = &camLayer;
    mScene->mView = &view;
    struct Case {
        const char* what;
        uint32_t flags;
        float target[3];
        std::vector<std::string> atOnce;
        // 0 no walk; 1 a walk to the target facing its direction that raises
        // the event on arrival; 2 a walk facing nowhere, stopping at the
        // view's camera layer, without callback.
        int walk;
        std::vector<std::string> onArrival;
    };
    const std::vector<std::string> none;
    const std::vector<std::string> doEvent{"hs::Do"};
    const std::vector<std::string> use{"hs::DoInventory"};
    const std::vector<std::string> verbBar{"hs::OnVerbBar"};
    const Case cases[] = {
        {"a plain hotspot opens the verb bar", 0, {3, 4, 1.5f}, verbBar, 0, none},
        {"an item used at once", kItem, {0, 0, 0}, use, 0, none},
        {"an item used after the walk", kItem, {3, 4, 1.5f}, none, 1, use},
        {"a direction alone is a target", kItem, {0, 0, 1.5f}, none, 1, use},
        {"an item on a no-verbs hotspot", kItem | kNoVerbs, {3, 4, 1.5f}, none, 1, use},
        {"no verbs walks first", kNoVerbs, {3, 4, 1.5f}, none, 1, doEvent},
        {"no verbs without target", kNoVerbs, {0, 0, 0}, doEvent, 0, none},
        {"a flagged path walks first", kPath | kPathFlag, {3, 4, 1.5f}, none, 1, doEvent},
        {"an exit acts, then walks", kExit, {3, 4, 1.5f}, doEvent, 2, none},
        {"a path acts, then walks", kPath, {0, 4, 1.5f}, doEvent, 2, none},
        {"an exit with only a direction does not walk", kExit, {0, 0, 1.5f}, doEvent, 0, none},
        {"an immediate exit does not walk", kExit | kNoWalking, {3, 4, 1.5f}, doEvent, 0, none},
        {"immediate wins over no verbs", kNoVerbs | kNoWalking, {3, 4, 1.5f}, doEvent, 0, none},
        {"an exit with an item does nothing", kExit | kItem, {3, 4, 1.5f}, none, 0, none},
        {"a path with an item does nothing", kPath | kPathFlag | kItem, {3, 4, 1.5f}, none, 0, none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gCalls.clear();
        gTarvel.mVerbBar.Release();
        Control() = TestControl();
        Control().mFloorHeight = 2.5f;
        SetFlags(mHotspot, c.flags);
        std::copy(std::begin(c.target), std::end(c.target), mHotspot.mDestination);
        mHotspot.Click();
        EXPECT_EQ(gCalls, c.atOnce);
        EXPECT_EQ(Control().mWalks, c.walk == 0 ? 0 : 1);
        if (c.walk != 0) {
            EXPECT_EQ(Control().mGoal[0], c.target[0]);
            EXPECT_EQ(Control().mGoal[1], 2.5f);
            EXPECT_EQ(Control().mGoal[2], c.target[1]);
            EXPECT_EQ(Control().mGoal[3], c.walk == 1 ? c.target[2] : 0.0f);
            EXPECT_EQ(Control().mArea, c.walk == 1 ? nullptr : &camLayer);
            EXPECT_EQ(Control().mCamera, c.walk == 1 ? nullptr : &gTarvel.mCamera);
            EXPECT_EQ(Control().GetCallbackSymbol(), c.walk == 1 ? &mObject : nullptr);
            EXPECT_EQ(Control().mScript, c.walk == 1 ? mScene->mScript : nullptr);
        }
        gCalls.clear();
        Control().Arrive();
        EXPECT_EQ(gCalls, c.onArrival);
    }

    // A no-teleport exit walks without the engine's camera.
    Control() = TestControl();
    SetFlags(mHotspot, kExit | kNoTeleport);
    mHotspot.Click();
    EXPECT_EQ(Control().mWalks, 1);
    EXPECT_EQ(Control().mArea, &camLayer);
    EXPECT_EQ(Control().mCamera, nullptr);

    // A walk that does not start raises the event at once rather than never.
    Control() = TestControl();
    Control().mCanWalk = false;
    SetFlags(mHotspot, kNoVerbs);
    gCalls.clear();
    mHotspot.Click();
    EXPECT_EQ(gCalls, doEvent);
    EXPECT_EQ(Control().mScript, nullptr);

    // An item on an object whose script has no use for it, and an unbound
    // set: nothing happens.
    cTarvelScriptValue door;
    door.kind = kScriptObject;
    door.name = "door";
    mHotspot.mObject = &door;
    SetFlags(mHotspot, kItem);
    gCalls.clear();
    mHotspot.Click();
    mHotspot.mObject = nullptr;
    SetFlags(mHotspot, kNoVerbs);
    mHotspot.Click();
    EXPECT_TRUE(gCalls.empty());

    SetFlags(mHotspot, 0);
    mScene->mView = nullptr;
}

TEST_F(RegionSetTest, FeedPathfinderWalksToTheTarget)
{
    cTarvelWalkArea camLayer;
    cTarvelView view;
    view.mCamLayer = &camLayer;
    mScene->mView = &view;
    struct Case {
        const char* what;
        uint32_t flags;
        float target[3];
        bool walks;
        float facing;
        bool inView;    // stops at the camera layer
        bool camera;    // clipped at the engine camera's view
    };
    const Case cases[] = {
        {"no target", 0, {0, 0, 1.5f}, false, 0, false, false},
        {"x 0 with z set", 0, {0, 5, 1.5f}, true, 0.0f, true, true},
        {"no teleport", kNoTeleport, {3, 4, 1.5f}, true, 0.0f, true, false},
        {"the path flag faces the direction", kPathFlag, {3, 4, 1.5f}, true, 1.5f, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Control() = TestControl();
        Control().mFloorHeight = -1.0f;
        SetFlags(mHotspot, c.flags);
        std::copy(std::begin(c.target), std::end(c.target), mHotspot.mDestination);
        mHotspot.FeedPathfinder();
        ASSERT_EQ(Control().mWalks, c.walks ? 1 : 0);
        if (!c.walks)
            continue;
        EXPECT_EQ(Control().mGoal[0], c.target[0]);
        EXPECT_EQ(Control().mGoal[1], -1.0f);
        EXPECT_EQ(Control().mGoal[2], c.target[1]);
        EXPECT_EQ(Control().mGoal[3], c.facing);
        EXPECT_EQ(Control().mArea, c.inView ? &camLayer : nullptr);
        EXPECT_EQ(Control().mCamera, c.camera ? &gTarvel.mCamera : nullptr);
        EXPECT_EQ(Control().mScript, nullptr);
    }
    // Without a player control nothing walks and nothing fails.
    delete mPlayer->mControl;
    mPlayer->mControl = nullptr;
    mHotspot.FeedPathfinder();
    mScene->mView = nullptr;
}

// A view that counts its selections.
class CountingView : public cTarvelView {
public:
    void Select(int) override { ++mSelects; }
    int mSelects = 0;
};

TEST_F(RegionSetTest, TheExitBandLeavesADetailViewThroughItsScriptOrItself)
{
    cTarvelRegionSet band;
    band.SetFrameRegion(50, true);
    // In place of the controller's own band, which is put back after.
    cTarvelRegionSet* own = std::exchange(gTarvel.mGameplay.mRegionSet, &band);
    CountingView under;
    cTarvelView detail;
    mScene->mView = &detail;
    cTarvelScriptValue desk;
    desk.kind = kScriptObject;
    desk.name = "desk";
    cTarvelScriptValue shelf;
    shelf.kind = kScriptObject;
    shelf.name = "shelf";
    struct Case {
        const char* what;
        bool detailShown;
        cTarvelScriptValue* viewObject;
        std::vector<std::string> calls;
        bool left;   // the scene went back to the view under the detail view
    };
    const Case cases[] = {
        {"the view's script leaves", true, &desk, {"desk::DoLeaveDetailView"}, false},
        {"no handler (-10): the scene leaves", true, &shelf, {"shelf::DoLeaveDetailView"}, true},
        {"no view object: the scene leaves", true, nullptr, {}, true},
        {"no detail view: nothing", false, &desk, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gCalls.clear();
        under.mSelects = 0;
        mScene->mDetailViews.Clear();
        if (c.detailShown)
            mScene->mDetailViews.Add(&under);
        detail.mHotspotSymbol = c.viewObject;
        band.Click();
        EXPECT_EQ(gCalls, c.calls);
        EXPECT_EQ(under.mSelects, c.left ? 1 : 0);
        EXPECT_EQ(mScene->mDetailViews.Count(), c.detailShown && !c.left ? 1 : 0);
    }
    mScene->mDetailViews.Clear();
    mScene->mView = nullptr;
    gTarvel.mGameplay.mRegionSet = own;
}


// ---- Region sets read from a scene file, and the hint display -------------

const char* const kHallScript = R"(
global Hall object class=cScene
global desk object class=cHotspot
global door object class=cHotspot
global stairs object class=cPath
global ghost object class=cHotspot
global blank object class=cHotspot
ret
)";

std::vector<std::array<int32_t, 2>> Square(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    return {{left, top}, {right, top}, {right, bottom}, {left, bottom}};
}

// Views "Main" and "Close"; hotspots, in order: desk (a square with a hole
// listed after it on Main, another square on Close), door and stairs (on
// Main), ghost (on a view the scene does not have), blank (a first polygon
// without points, then a square).
testkit::SceneFile Hall()
{
    testkit::SceneFile scene;
    scene.name = "Hall";
    testkit::SceneMesh floor;
    floor.name = "floor";
    floor.vertices = {{-100, 0, 0, 0, 1, 0}, {100, 0, 0, 0, 1, 0}, {100, 0, 200, 0, 1, 0}, {-100, 0, 200, 0, 1, 0}};
    floor.indices = {0, 1, 2, 0, 2, 3};
    scene.meshes = {floor};
    scene.views = {{"Main", {0, 150, -500, 0, 0, 0, 1, 0.785f}}, {"Close", {10, 20, 30, 0, 0, 0, 1, 1.0f}}};
    testkit::SceneHotspot desk;
    desk.regions = {{"Main", {{false, Square(100, 200, 300, 400)}, {true, Square(150, 250, 200, 300)}}, {}},
                    {"Close", {{false, Square(600, 200, 700, 300)}}, {{9, 9, 9}}}};
    testkit::SceneHotspot door;
    door.regions = {{"Main", {{false, Square(400, 200, 500, 400)}}, {}}};
    testkit::SceneHotspot stairs;
    stairs.regions = {{"Main", {{false, Square(600, 200, 700, 400)}}, {}}};
    testkit::SceneHotspot ghost;
    ghost.regions = {{"Attic", {{false, Square(0, 0, 1024, 768)}}, {}}};
    testkit::SceneHotspot blank;
    blank.regions = {{"Main", {{false, {}}, {false, Square(800, 200, 900, 300)}}, {}}};
    scene.hotspots = {desk, door, stairs, ghost, blank};
    scene.script = AssembleScriptOrThrow(kHallScript);
    return scene;
}

enum { kDesk, kDoor, kStairs, kGhost, kBlank, kSetCount };
const char* const kSetNames[kSetCount] = {"desk", "door", "stairs", "ghost", "blank"};

// The engine started on an archive holding the hall, entered as the scene
// change enters it, with each hotspot bound to its script object; the door
// is an exit and the stairs a path.
class HallTest : public RenderTest {
protected:
    void SetUp() override
    {
        RenderTest::SetUp();
        mFile = testkit::BuildSceneFile(Hall());
    }

    void TearDown() override
    {
        gTarvel.mGameplay.mItemInHand = "";
        gTarvel.mGameplay.mMode = 0;
        RenderTest::TearDown();
    }

    void Enter()
    {
        StartWith([&](testkit::ArchiveWriter& writer) {
            writer.AddShared(1, "Hall", testkit::kSceneResourceType, mFile, false);
        });
        mScene = new cTarvelScene();
        mScene->mSlot = gTarvel.mResources.OpenResource("Hall", testkit::kSceneResourceType);
        ASSERT_EQ(gTarvel.ChangeScene(mScene, 0), 0);
        ASSERT_EQ(mScene->mHotspots.Count(), kSetCount);
        for (int i = 0; i < kSetCount; ++i)
            Set(i).mObject = mScene->mScript->FindGlobal(kSetNames[i]);
        Set(kDoor).mLeaveRoom = true;
        Set(kStairs).mIsPath = true;
    }

    cTarvelRegionSet& Set(int i) { return *mScene->mHotspots[i]; }

    // Offset of the first region record named so in the file.
    size_t RecordAt(const std::string& name) const
    {
        const auto at = std::search(mFile.begin(), mFile.end(), name.begin(), name.end());
        EXPECT_NE(at, mFile.end()) << name;
        return size_t(at - mFile.begin());
    }
    void Put(size_t offset, uint32_t value)
    {
        for (int i = 0; i < 4; ++i)
            mFile[offset + i] = uint8_t(value >> (8 * i));
    }

    std::vector<uint8_t> mFile;
    cTarvelScene* mScene = nullptr;
};

TEST_F(HallTest, HitTestEdgesHolesViewsAndSelectedItems)
{
    Enter();
    ASSERT_EQ(mScene->mView, mScene->FindView("Main"));
    struct Point {
        int32_t x, y;
        int hit;   // the one set hit, -1 none
    };
    auto check = [&](const std::vector<Point>& points) {
        for (const Point& p : points)
            for (int i = 0; i < kSetCount; ++i)
                EXPECT_EQ(Set(i).HitTest(p.x, p.y, 0), i == p.hit) << p.x << ", " << p.y << " set " << i;
    };
    check({
        {100, 300, kDesk}, {299, 300, kDesk}, {300, 300, -1},   // left edge in, right edge out
        {200, 200, kDesk}, {200, 399, kDesk}, {200, 400, -1},   // top edge in, bottom edge out
        {175, 275, -1}, {150, 275, -1}, {200, 275, kDesk},      // the hole, with its own edges
        {450, 300, kDoor}, {650, 300, kStairs},
        {850, 250, kBlank},                                     // a polygon after one without points
        {50, 50, -1}, {1000, 700, -1},                          // the ghost's region has no view
    });
    // Stage 1 shows no view.
    EXPECT_FALSE(Set(kDesk).HitTest(120, 300, 1));

    // With an item selected exits and paths take no hit, and the scene's
    // pick passes over them.
    gTarvel.mGameplay.mItemInHand = "key";
    gTarvel.mGameplay.mMode = 3;
    check({{450, 300, -1}, {650, 300, -1}, {120, 300, kDesk}});
    EXPECT_FALSE(mScene->FindObjectAt(450, 300, 0));
    EXPECT_EQ(mScene->mHotspot, nullptr);
    gTarvel.mGameplay.mItemInHand = "";
    EXPECT_TRUE(mScene->FindObjectAt(450, 300, 0));
    EXPECT_EQ(mScene->mHotspot, &Set(kDoor));

    // On the other view only the regions bound to it count.
    mScene->FindView("Close")->Select(0);
    check({{650, 250, kDesk}, {650, 350, -1}, {120, 300, -1}, {450, 300, -1}});
}

TEST_F(HallTest, ReadKeepsTheFileLayoutAndCutsNames)
{
    // A view named with all 64 bytes of its field, and a region of the same
    // 64 bytes: both are cut at the field, so they still match.
    const std::string longName(64, 'x');
    const size_t view = RecordAt("Close");
    std::copy(longName.begin(), longName.end(), mFile.begin() + ptrdiff_t(view));
    std::copy(longName.begin(), longName.end(), mFile.begin() + ptrdiff_t(RecordAt("Close")));
    Enter();
    const cTarvelRegionSet& desk = Set(kDesk);
    ASSERT_EQ(desk.mRecordCount, 2u);
    const sRegionRecord& main = desk.mRecords[0];
    EXPECT_EQ(main.view, mScene->FindView("Main"));
    ASSERT_EQ(main.polygonCount, 2u);
    EXPECT_FALSE(main.polygons[0].hole);
    EXPECT_TRUE(main.polygons[1].hole);
    EXPECT_EQ(main.polygons[1].points[3].x, 150);
    EXPECT_EQ(main.polygons[1].points[3].y, 300);
    EXPECT_EQ(desk.mCentres[0].x, 200);
    EXPECT_EQ(desk.mCentres[0].y, 300);
    const sRegionRecord& close = desk.mRecords[1];
    EXPECT_EQ(std::string(close.name), std::string(63, 'x'));
    EXPECT_EQ(close.view, mScene->FindView(std::string(63, 'x').c_str()));
    EXPECT_NE(close.view, nullptr);
    ASSERT_EQ(close.secondaryCount, 1u);
    EXPECT_EQ(static_cast<const uint8_t*>(close.secondary)[0], 9);
    EXPECT_EQ(desk.mCentres[1].x, 650);
    // The ghost's region is read but bound to no view; a first polygon
    // without points keeps the centre at (0, 0).
    EXPECT_EQ(Set(kGhost).mRecords[0].view, nullptr);
    EXPECT_EQ(Set(kBlank).mRecords[0].polygons[0].pointCount, 0u);
    EXPECT_EQ(Set(kBlank).mCentres[0].x, 0);
    EXPECT_EQ(Set(kBlank).mCentres[0].y, 0);
}

TEST_F(HallTest, DamagedHotspotBlocksAreFatalNamingTheScene)
{
    // A word of the ghost's hotspot, relative to its one region record:
    // the header's block size and region count, the record's polygon and
    // secondary counts, the first polygon's point count. The counts' sizes
    // wrap to a few bytes in 32 bits.
    struct Case {
        const char* what;
        ptrdiff_t offset;
        uint32_t value;
    };
    const Case cases[] = {
        {"a hotspot's data block runs past the end of the file", -4, 0xFFFFFFF0u},
        {"a hotspot's regions run past its data block", -8, 0x0C30C30Du},       // x 84 = 2^32 + 4
        {"a hotspot's polygons run past its data block", 68, 0x15555556u},      // x 12 = 2^32 + 8
        {"a hotspot's points run past its data block", 84, 0x20000001u},        // x 8 = 2^32 + 8
        {"a hotspot's secondary entries run past its data block", 76, 0x15555556u},
    };
    const std::vector<uint8_t> sound = mFile;
    const size_t ghost = RecordAt("Attic");
    std::vector<std::vector<uint8_t>> files;
    for (const Case& c : cases) {
        mFile = sound;
        Put(size_t(ptrdiff_t(ghost) + c.offset), c.value);
        files.push_back(mFile);
    }
    StartWith([&](testkit::ArchiveWriter& writer) {
        for (size_t i = 0; i < files.size(); ++i)
            writer.AddShared(1, "Bad" + std::to_string(i), testkit::kSceneResourceType, files[i], false);
    });
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].what);
        auto* scene = new cTarvelScene();
        const int slot =
            gTarvel.mResources.OpenResource(("Bad" + std::to_string(i)).c_str(), testkit::kSceneResourceType);
        const std::string text = CatchFatalError([&] { scene->ReadFile(slot, 0); });
        EXPECT_NE(text.find(std::string("Scene file Hall is damaged: ") + cases[i].what + "."), std::string::npos)
            << text;
        gTarvel.mResources.CloseResource(slot);
        delete scene;
    }
}

TEST_F(HallTest, HintIconsLoadInOrderWithTheEffectsFlag)
{
    Enter();
    cTarvelHints& hints = gTarvel.mHints;
    hints.LoadIcons();
    ASSERT_EQ(hints.mIcons.Count(), 4);
    // Told apart by the badge colour inside the rim: exit, hand, speak, path.
    const uint32_t colours[4] = {0xFFF0C850u, 0xFFE6E6E6u, 0xFFFFB4DCu, 0xFF78DC78u};
    for (int i = 0; i < 4; ++i) {
        const std::vector<uint32_t> pixels = Pixels(hints.mIcons[i]->GetCurrentFrame());
        ASSERT_GT(pixels.size(), 9u);
        EXPECT_EQ(pixels[hints.mIcons[i]->mTextureWidth + 1], colours[i]) << i;
        EXPECT_EQ(hints.mIcons[i]->mAlternateTechnique, 1) << i;   // effects off: the alternate technique
    }
    gTarvel.mEffects = 1;
    hints.LoadIcons();
    ASSERT_EQ(hints.mIcons.Count(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(hints.mIcons[i]->mAlternateTechnique, 0) << i;
}

TEST_F(HallTest, HintMarkersAndStatesOverTime)
{
    Enter();
    cTarvelHints& hints = gTarvel.mHints;
    hints.LoadIcons();
    cTarvelView* main = mScene->FindView("Main");
    float& now = gTarvel.mTimer.mGameSeconds;

    // Nothing to mark on the close view once the desk is disabled: the key
    // leaves the hints off and only takes the time.
    mScene->FindView("Close")->Select(0);
    Set(kDesk).mEnabled = false;
    now = 5.0f;
    hints.Show();
    EXPECT_EQ(hints.mState, 0);
    EXPECT_EQ(hints.mStart, 5.0f);
    EXPECT_EQ(hints.mMarkers.Count(), 0);
    Set(kDesk).mEnabled = true;
    main->Select(0);

    // A visible, enabled actor whose box runs from y -60 to 0 around
    // (0, -30, 100): its marker sits at the projection of (0, -10, 100). An
    // invisible one and a disabled one get none.
    cTarvelMobile body;
    body.mBoxMin = D3DXVECTOR3(-5.0f, -60.0f, 95.0f);
    body.mBoxMax = D3DXVECTOR3(5.0f, 0.0f, 105.0f);
    body.mBoundsValid = true;
    cTarvelActor* actors[3];
    for (int i = 0; i < 3; ++i) {
        actors[i] = new cTarvelActor("OFF", "", true);
        actors[i]->mMobile = &body;
        actors[i]->mVisible = i != 1;
        actors[i]->mEnabled = i != 2;
        mScene->mActors.Add(actors[i]);
    }
    D3DXVECTOR3 head(0.0f, -10.0f, 100.0f);
    gTarvel.mCamera.Project(&head);
    const cTarvelGraphics& graphics = gTarvel.mGraphics;
    const int32_t headX = int32_t(head.x / graphics.mScaleX);
    const int32_t headY = int32_t(head.y / graphics.mScaleY);

    now = 10.0f;
    hints.Show();
    EXPECT_EQ(hints.mState, 1);
    EXPECT_EQ(hints.mStart, 10.0f);
    struct Marker {
        int32_t icon, x, y;
    };
    // desk on Main only, exit, path, blank at (0, 0); no ghost; the guard.
    const Marker expected[] = {{1, 200, 300}, {0, 450, 300}, {3, 650, 300}, {1, 0, 0}, {2, headX, headY}};
    ASSERT_EQ(hints.mMarkers.Count(), int32_t(std::size(expected)));
    for (int i = 0; i < hints.mMarkers.Count(); ++i) {
        const sHintMarker& m = hints.mMarkers[i];
        EXPECT_EQ(m.icon, expected[i].icon) << i;
        EXPECT_EQ(m.view, main) << i;
        EXPECT_EQ(m.x, expected[i].x) << i;
        EXPECT_EQ(m.y, expected[i].y) << i;
    }
    mScene->mActors.Clear();
    for (cTarvelActor* actor : actors) {
        actor->mMobile = nullptr;
        delete actor;
    }

    // One frame of the hints: the icons drawn, in marker order.
    auto frame = [&](float at) {
        now = at;
        pt::ClearRecordedDraws();
        IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
        EXPECT_EQ(device->BeginScene(), D3D_OK);
        hints.Draw();
        device->EndScene();
        std::vector<int> drawn;
        for (const pt::DrawRecord& d : pt::RecordedDraws())
            for (int i = 0; i < hints.mIcons.Count(); ++i)
                if (d.textures[0] == hints.mIcons[i]->GetCurrentFrame())
                    drawn.push_back(i);
        return drawn;
    };
    auto alpha = [](cTarvelImage* image) {
        void* data = nullptr;
        EXPECT_EQ(image->mVertexBuffer->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
        uint32_t colour = 0;
        std::memcpy(&colour, static_cast<uint8_t*>(data) + 16, 4);
        image->mVertexBuffer->Unlock();
        return colour >> 24;
    };
    cTarvelImage* speak = hints.mIcons[2];
    pt::RecordDraws(true);
    const std::vector<int> all{1, 0, 3, 1, 2};
    struct Step {
        float at;
        int32_t state;
        float start;
        int alpha;   // of the icons, 0 drawn opaque
    };
    const Step steps[] = {
        {10.25f, 1, 10.0f, 128},   // fading in: 1 - trunc(0.25 x -509)
        {10.5f, 1, 10.0f, 255},
        {10.75f, 2, 10.75f, 0},    // shown from the frame after 0.5 s
        {13.75f, 2, 10.75f, 0},
        {13.875f, 3, 13.875f, 0},  // fading out after 3 s
        {14.0f, 3, 13.875f, 191},  // t = 0.5 - 0.125
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.at);
        EXPECT_EQ(frame(step.at), all);
        EXPECT_EQ(hints.mState, step.state);
        EXPECT_EQ(hints.mStart, step.start);
        EXPECT_EQ(speak->mHeader.alpha, step.alpha ? 1u : 0u);
        if (step.alpha)
            EXPECT_EQ(alpha(speak), uint32_t(step.alpha));
    }
    // The speech icon's top left is 16 units above and left of its marker.
    void* data = nullptr;
    ASSERT_EQ(speak->mVertexBuffer->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
    const float* topLeft = reinterpret_cast<const float*>(static_cast<uint8_t*>(data) + speak->VertexStride());
    EXPECT_NEAR(topLeft[0], float(headX - 16) * graphics.mScaleX, 1.0f);
    EXPECT_NEAR(topLeft[1], float(headY - 16) * graphics.mScaleY, 1.0f);
    speak->mVertexBuffer->Unlock();

    // The key while fading out fades in again from the same start.
    hints.Show();
    EXPECT_EQ(hints.mState, 1);
    EXPECT_EQ(hints.mStart, 13.875f);
    EXPECT_EQ(frame(14.25f), all);
    EXPECT_EQ(alpha(speak), 191u);   // t = 0.375
    EXPECT_EQ(frame(14.5f), all);
    EXPECT_EQ(hints.mState, 2);
    // The key while shown does nothing.
    hints.Show();
    EXPECT_EQ(hints.mState, 2);
    EXPECT_EQ(hints.mStart, 14.5f);

    // Markers of another view are not drawn.
    mScene->mView = mScene->FindView("Close");
    EXPECT_TRUE(frame(15.0f).empty());
    mScene->mView = main;
    frame(18.0f);
    EXPECT_EQ(hints.mState, 3);
    EXPECT_EQ(frame(18.5f), all);
    EXPECT_EQ(alpha(speak), 1u);
    EXPECT_TRUE(frame(18.625f).empty());
    EXPECT_EQ(hints.mState, 0);
    EXPECT_TRUE(frame(19.0f).empty());
    pt::RecordDraws(false);
}

class RegionShapeTest : public EngineTest {};

TEST_F(RegionShapeTest, FrameAndRectangleRegionsAtTwoResolutions)
{
    struct Case {
        DWORD screenRes;
        int32_t screenHeight;   // of the outer ring, whole screen
        int32_t sceneHeight;    // over the scene area
    };
    for (const Case c : {Case{0x04000300, 768, 512}, Case{0x05000400, 767, 511}}) {
        SCOPED_TRACE(c.screenRes);
        RebuildEngine();
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Brindlewerk\\Kestrelmoor", &key), ERROR_SUCCESS);
        RegSetValueExA(key, "ScreenRes", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&c.screenRes), 4);
        RegCloseKey(key);
        InitEngine();

        cTarvelRegionSet screen;
        screen.SetFrameRegion(100, false);
        ASSERT_EQ(screen.mRecordCount, 1u);
        const sRegionRecord& record = screen.mRecords[0];
        EXPECT_STREQ(record.name, "");
        EXPECT_EQ(record.secondaryCount, 0u);
        ASSERT_EQ(record.polygonCount, 2u);
        const sRegionPolygon& outer = record.polygons[0];
        const sRegionPolygon& hole = record.polygons[1];
        ASSERT_EQ(outer.pointCount, 5u);
        EXPECT_FALSE(outer.hole);
        EXPECT_TRUE(hole.hole);
        const int32_t h = c.screenHeight;
        const sRegionPoint outerPoints[5] = {{0, 0}, {1024, 0}, {1024, h}, {0, h}, {0, 0}};
        const sRegionPoint holePoints[5] = {{100, 100}, {924, 100}, {924, h - 100}, {100, h - 100}, {100, 100}};
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(outer.points[i].x, outerPoints[i].x);
            EXPECT_EQ(outer.points[i].y, outerPoints[i].y);
            EXPECT_EQ(hole.points[i].x, holePoints[i].x);
            EXPECT_EQ(hole.points[i].y, holePoints[i].y);
        }

        cTarvelRegionSet scene;
        scene.SetFrameRegion(50, true);
        EXPECT_EQ(scene.mRecords[0].polygons[0].points[0].y, 128);
        EXPECT_EQ(scene.mRecords[0].polygons[0].points[2].y, 128 + c.sceneHeight);
        EXPECT_EQ(scene.mRecords[0].polygons[1].points[0].y, 178);
        RebuildEngine();
    }
}

TEST_F(RegionShapeTest, HitTestOfTheBandAndTheRectangle)
{
    InitEngine();
    cTarvelRegionSet band;
    band.SetFrameRegion(50, true);
    // In place of the controller's own band, which is put back after.
    cTarvelRegionSet* own = std::exchange(gTarvel.mGameplay.mRegionSet, &band);   // engine-wide: view and binding do not count
    struct Point {
        int32_t x, y;
        bool inBand;
    };
    const Point points[] = {
        {10, 300, true}, {1000, 300, true}, {500, 140, true}, {500, 630, true},
        {500, 400, false}, {500, 100, false}, {500, 700, false},
    };
    for (const Point& p : points)
        EXPECT_EQ(band.HitTest(p.x, p.y, 0), p.inBand) << p.x << ", " << p.y;

    cTarvelRegionSet none;
    none.SetFrameRegion(0, true);
    gTarvel.mGameplay.mRegionSet = &none;
    EXPECT_FALSE(none.HitTest(10, 300, 0));
    gTarvel.mGameplay.mRegionSet = own;

    // A hotspot counts only when bound, enabled and on the stage's view.
    cTarvelScene scene;
    gTarvel.mScene = &scene;
    cTarvelRegionSet rect;
    rect.SetRectRegion(100, 128, 400, 640);
    cTarvelScriptValue object;
    rect.mObject = &object;
    // Bound to no view: never hit, even while the scene shows none.
    EXPECT_FALSE(rect.HitTest(200, 300, 0));
    cTarvelView view;
    scene.mView = &view;
    rect.mRecords[0].view = &view;
    EXPECT_TRUE(rect.HitTest(200, 300, 0));
    rect.mObject = nullptr;
    EXPECT_FALSE(rect.HitTest(200, 300, 0));
    rect.mObject = &object;
    EXPECT_FALSE(rect.HitTest(500, 300, 0));
    rect.mEnabled = false;
    EXPECT_FALSE(rect.HitTest(200, 300, 0));
    scene.mView = nullptr;
    gTarvel.mScene = nullptr;
}

} // namespace
