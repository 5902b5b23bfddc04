#include "engine/gameplay/region_set.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "engine/core/tarvel.h"
#include "engine/core/test_support.h"
#include "engine/script/script.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/scene.h"
#include "engine/world/view.h"
#include "engine/world/walk_area.h"
#include "platform/win32/win32.h"
#include "tools/script_assembler.h"

namespace {

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
    gTarvel.mGameplay.mRegionSet = &band;
    EXPECT_EQ(band.GetCursorKind(), 8u);
    gTarvel.mGameplay.mRegionSet = nullptr;
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
        bool verbBar;
    };
    const std::vector<std::string> none;
    const std::vector<std::string> doEvent{"hs::Do"};
    const std::vector<std::string> use{"hs::DoInventory"};
    const Case cases[] = {
        {"a plain hotspot opens the verb bar", 0, {3, 4, 1.5f}, none, 0, none, true},
        {"an item used at once", kItem, {0, 0, 0}, use, 0, none, false},
        {"an item used after the walk", kItem, {3, 4, 1.5f}, none, 1, use, false},
        {"a direction alone is a target", kItem, {0, 0, 1.5f}, none, 1, use, false},
        {"an item on a no-verbs hotspot", kItem | kNoVerbs, {3, 4, 1.5f}, none, 1, use, false},
        {"no verbs walks first", kNoVerbs, {3, 4, 1.5f}, none, 1, doEvent, false},
        {"no verbs without target", kNoVerbs, {0, 0, 0}, doEvent, 0, none, false},
        {"a flagged path walks first", kPath | kPathFlag, {3, 4, 1.5f}, none, 1, doEvent, false},
        {"an exit acts, then walks", kExit, {3, 4, 1.5f}, doEvent, 2, none, false},
        {"a path acts, then walks", kPath, {0, 4, 1.5f}, doEvent, 2, none, false},
        {"an exit with only a direction does not walk", kExit, {0, 0, 1.5f}, doEvent, 0, none, false},
        {"an immediate exit does not walk", kExit | kNoWalking, {3, 4, 1.5f}, doEvent, 0, none, false},
        {"immediate wins over no verbs", kNoVerbs | kNoWalking, {3, 4, 1.5f}, doEvent, 0, none, false},
        {"an exit with an item does nothing", kExit | kItem, {3, 4, 1.5f}, none, 0, none, false},
        {"a path with an item does nothing", kPath | kPathFlag | kItem, {3, 4, 1.5f}, none, 0, none, false},
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
        EXPECT_EQ(gTarvel.mVerbBar.mObject, c.verbBar ? &mObject : nullptr);
        EXPECT_EQ(gTarvel.mVerbBar.mScript, c.verbBar ? mScene->mScript : nullptr);
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
    gTarvel.mGameplay.mRegionSet = &band;
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
    gTarvel.mGameplay.mRegionSet = nullptr;
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
    gTarvel.mGameplay.mRegionSet = &band;   // engine-wide: view and binding do not count
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
    gTarvel.mGameplay.mRegionSet = nullptr;

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
