#include "engine/gameplay/region_set.h"

#include <string>
#include <vector>

#include "engine/core/tarvel.h"
#include "engine/core/test_support.h"
#include "engine/script/script.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/scene.h"
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
    void WalkTo(float x, float y, float z, float destRot, cTarvelWalkArea*, cTarvelCamera*) override
    {
        const bool wasRunning = mWalking && mRunning;
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
    cTarvelScript* mScript = nullptr;
    cTarvelString mLabel;
    cTarvelScriptValue* mSymbol = nullptr;
    bool mRunning = false;
    bool mCanWalk = true;
    bool mHasRunCycle = true;
    float mFloorHeight = 0.0f;
};

// A started engine with a scene whose script defines "hs::DoDblClick" and
// "hs::Use", and a player with a control.
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
            AssembleScriptOrThrow("function hs::DoDblClick\nret\nfunction hs::Use\nret\n");
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
        EXPECT_EQ(record.extraCount, 0u);
        ASSERT_EQ(record.ringCount, 2u);
        const sRegionRing& outer = record.rings[0];
        const sRegionRing& hole = record.rings[1];
        ASSERT_EQ(outer.pointCount, 5u);
        EXPECT_FALSE(outer.exclusion);
        EXPECT_TRUE(hole.exclusion);
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
        EXPECT_EQ(scene.mRecords[0].rings[0].points[0].y, 128);
        EXPECT_EQ(scene.mRecords[0].rings[0].points[2].y, 128 + c.sceneHeight);
        EXPECT_EQ(scene.mRecords[0].rings[1].points[0].y, 178);
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
    EXPECT_FALSE(rect.HitTest(200, 300, 0));
    cTarvelScriptValue object;
    rect.mObject = &object;
    EXPECT_TRUE(rect.HitTest(200, 300, 0));
    EXPECT_FALSE(rect.HitTest(500, 300, 0));
    rect.mEnabled = false;
    EXPECT_FALSE(rect.HitTest(200, 300, 0));
    gTarvel.mScene = nullptr;
}

} // namespace
