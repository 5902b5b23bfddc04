#include "engine/world/actor_control.h"

#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <tinyxml.h>

#include "animation/motion_instance.h"
#include "engine/gameplay/savegame.h"
#include "engine/script/script.h"
#include "engine/world/mobile_test_support.h"
#include "engine/world/camera.h"
#include "engine/world/pathfinder.h"
#include "engine/world/scene.h"
#include "engine/world/walk_area.h"
#include "platform/win32/testing.h"
#include "tools/scene_writer.h"
#include "tools/script_assembler.h"

namespace {

constexpr float kPi = 3.14159265f;

std::vector<std::string> gCalls;

void Observe(cTarvelScript* script, const char* name)
{
    gCalls.push_back(script->mName.c_str() + std::string(":") + name);
}

// A U open towards +z: the arms are x 0..100 and 200..300, joined below
// z = 100. The graph has a node below each inner corner and a copy of the
// first, so two routes tie.
testkit::SceneWalkArea UArea()
{
    testkit::SceneWalkArea area;
    area.name = "U";
    area.polygons = {{false,
                      {{0, 0, 0}, {300, 0, 0}, {300, 0, 300}, {200, 0, 300}, {200, 0, 100}, {100, 0, 100},
                       {100, 0, 300}, {0, 0, 300}}}};
    area.nodes = {{90, 90, 0, 0}, {210, 90, 0, 0}, {90, 90, 0, 0}};
    const testkit::SceneWalkRoute self{1, 0, -1, 0}, across{1, 0, 1, 120}, back{1, 0, 0, 120}, same{1, 0, 2, 0};
    area.routes = {self, across, same, back, self, back, self, across, self};
    return area;
}

// The door's area: a box around the right arm's top.
testkit::SceneWalkArea DoorArea()
{
    testkit::SceneWalkArea area;
    area.name = "Door";
    area.polygons = {{false, {{180, 0, 200}, {320, 0, 200}, {320, 0, 320}, {180, 0, 320}}}};
    return area;
}

// A box on the x-z plane, height 0.
testkit::SceneWalkArea Box(const char* name, float x0, float x1, float z0, float z1)
{
    testkit::SceneWalkArea area;
    area.name = name;
    area.polygons = {{false, {{x0, 0, z0}, {x1, 0, z0}, {x1, 0, z1}, {x0, 0, z1}}}};
    return area;
}

// x 0..300, z 0..100, its height rising with x (y = x / 10).
testkit::SceneWalkArea Ramp()
{
    testkit::SceneWalkArea area;
    area.name = "Ramp";
    area.polygons = {{false, {{0, 0, 0}, {300, 30, 0}, {300, 30, 100}, {0, 0, 100}}}};
    using testkit::WalkRef;
    area.triangles = {{WalkRef(0, 0), WalkRef(0, 1), WalkRef(0, 2)}, {WalkRef(0, 0), WalkRef(0, 2), WalkRef(0, 3)}};
    return area;
}

// A corridor that snakes up, across, down, across and up again: from the
// bottom of its left bar to the top of its right one every route runs
// through the four nodes at its inner corners, one hop after another.
testkit::SceneWalkArea Snake()
{
    testkit::SceneWalkArea area;
    area.name = "Snake";
    area.polygons = {{false,
                      {{0, 0, 0}, {100, 0, 0}, {100, 0, 300}, {200, 0, 300}, {200, 0, 0}, {500, 0, 0}, {500, 0, 400},
                       {400, 0, 400}, {400, 0, 100}, {300, 0, 100}, {300, 0, 400}, {0, 0, 400}}}};
    area.nodes = {{90, 310, 0, 0}, {210, 310, 0, 0}, {290, 90, 0, 0}, {410, 90, 0, 0}};
    const float a = 120.0f, b = std::hypot(80.0f, 220.0f);
    using R = testkit::SceneWalkRoute;
    const R self{1, 0, -1, 0};
    area.routes = {self,           R{1, 0, 1, a},     R{0, 0, 1, a + b}, R{0, 0, 1, a + b + a},
                   R{1, 0, 0, a},  self,              R{1, 0, 2, b},     R{0, 0, 2, b + a},
                   R{0, 0, 1, b + a}, R{1, 0, 1, b},  self,              R{1, 0, 3, a},
                   R{0, 0, 2, a + b + a}, R{0, 0, 2, a + b}, R{1, 0, 2, a}, self};
    return area;
}

D3DXQUATERNION Yaw(float degrees)
{
    D3DXQUATERNION q;
    const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
    D3DXQuaternionRotationAxis(&q, &up, degrees / 57.2957763671875f);
    return q;
}

class ActorControlTest : public MobileTest {
protected:
    void SetUp() override
    {
        MobileTest::SetUp();
        gCalls.clear();
        testkit::SceneFile file;
        file.name = "Yard";
        file.walkAreas = {UArea(), DoorArea(), Ramp(), Box("StairA", 100, 200, 0, 100), Box("StairB", 100, 250, 0, 100),
                          Box("Open", -1000, 1000, -1000, 1000), Snake(), Box("Flight", -1000, 1000, -50, 50)};
        file.script = AssembleScriptOrThrow("ret\nfunction arrive\nret\n");
        const auto still = [](float turn) { return Motion("root", {0, 0, 0}, {0, 0, 0}, turn, 1.0f); };
        testkit::MobileActor walker;
        walker.nodes = {{"root", -1}, {"child", 0}};
        Start({{"walker", 7, testkit::BuildMobileActor(walker)},
               {"cycle", 8, still(0.0f)},
               {"turn_r90", 8, still(kPi / 2)},
               {"turn_l90", 8, still(-kPi / 2)},
               // A fifth of a second of closing eyes, as the control plays it.
               {"blink", 14, MorphMotion("eyes_closed", 0.2f)},
               {"Yard", testkit::kSceneResourceType, testkit::BuildSceneFile(file)},
               {"PC.PC", 2, AssembleActorScript("PC")}});
        mScene = new cTarvelScene();
        mScene->mSlot = gTarvel.mResources.OpenResource("Yard", testkit::kSceneResourceType);
        ASSERT_EQ(gTarvel.ChangeScene(mScene, 0), 0);
        cTarvelScript::sCallObserver = Observe;
        mActor = std::make_unique<cTarvelActor>("PC", "PC", true);
        ASSERT_EQ(mActor->mMobile->Load("walker"), 0);
        mActor->mControl = mControl = new cTarvelActorControlDefault(mActor.get());
        mControl->SetWalkLayer(mScene->FindWalkArea("U"));
        mControl->SetWalkNRunCycle("cycle", "cycle");
        Mobile().SetPosition(50.0f, 0.0f, 250.0f);
    }

    void TearDown() override
    {
        cTarvelScript::sCallObserver = nullptr;
        mActor.reset();
        MobileTest::TearDown();
    }

    // Every turn slot set: 0 to 2 turn left, 3 to 5 right.
    void SetTurns()
    {
        for (int slot = 0; slot < 6; ++slot)
            mControl->SetRotationMove(slot, slot >= 3 ? "turn_r90" : "turn_l90");
    }

    cTarvelMobile& Mobile() { return *mActor->mMobile; }
    // Where the actor's front points in x-z: (M._13, -M._11) of its rotation.
    D3DXVECTOR2 Facing()
    {
        D3DXMATRIX m;
        D3DXMatrixRotationQuaternion(&m, &Mobile().mRotation);
        return D3DXVECTOR2(m._13, -m._11);
    }
    cTarvelPathfinder& Path() { return *mControl->mPathfinder; }

    void Frame(uint32_t ms)
    {
        pt::AdvanceClock(ms);
        gTarvel.mTimer.Update();
        mControl->Update();
    }

    // Frames of ms until the walk is over (at most a minute of them).
    void WalkOut(uint32_t ms = 50)
    {
        for (int i = 0; i < 60000 / int(ms) && Path().mMode != cTarvelPathfinder::kIdle; ++i)
            Frame(ms);
        Frame(ms);   // the callback's step
    }

    std::vector<std::array<float, 3>> Waypoints()
    {
        std::vector<std::array<float, 3>> out;
        for (int32_t i = 0; i < Path().mWaypoints.count; ++i)
            out.push_back({Path().mWaypoints.data[i].x, Path().mWaypoints.data[i].z,
                           float(Path().mWaypoints.data[i].node)});
        return out;
    }

    std::string SaveText()
    {
        TiXmlDocument document;
        auto* root = new TiXmlElement("Control");
        document.LinkEndChild(root);
        cTarvelSavegame& cursor = gTarvel.mSavegame;
        cursor.mRoot = cursor.mCurrent = root;
        mControl->Save(cursor);
        cursor.mRoot = cursor.mCurrent = nullptr;
        TiXmlPrinter printer;
        document.Accept(&printer);
        return printer.CStr();
    }

    // A new control for the actor, loaded from text.
    void Reload(const std::string& text)
    {
        delete mActor->mControl;
        mActor->mControl = mControl = new cTarvelActorControlDefault(mActor.get());
        TiXmlDocument document;
        document.Parse(text.c_str());
        cTarvelSavegame& cursor = gTarvel.mSavegame;
        cursor.mRoot = cursor.mCurrent = document.RootElement();
        mControl->Load(cursor);
        cursor.mRoot = cursor.mCurrent = nullptr;
    }

    cTarvelScene* mScene = nullptr;
    std::unique_ptr<cTarvelActor> mActor;
    cTarvelActorControlDefault* mControl = nullptr;
};

TEST_F(ActorControlTest, WalksAroundTheUAndCallsTheSceneScriptOnArrival)
{
    mControl->WalkTo(250.0f, 0.0f, 250.0f, 0.0f, nullptr, nullptr);
    mControl->SetCallback(mScene->mScript, "arrive", nullptr);
    // The two tied routes: the first start node wins.
    const std::vector<std::array<float, 3>> expected = {{50, 250, -1}, {90, 90, 0}, {210, 90, 1}, {250, 250, -1}};
    EXPECT_EQ(Waypoints(), expected);
    EXPECT_TRUE(mControl->mWalking);
    EXPECT_EQ(Path().mMode, cTarvelPathfinder::kWalk);

    cTarvelWalkArea& u = *mScene->FindWalkArea("U");
    for (int i = 0; i < 2000 && Path().mMode != cTarvelPathfinder::kIdle; ++i) {
        Frame(40);
        ASSERT_TRUE(u.IsInside(Mobile().mPosition.x, Mobile().mPosition.z))
            << Mobile().mPosition.x << ", " << Mobile().mPosition.z;
    }
    EXPECT_EQ(Mobile().mPosition.x, 250.0f);
    EXPECT_EQ(Mobile().mPosition.z, 250.0f);
    EXPECT_TRUE(gCalls.empty());   // the step after arrival calls
    Frame(40);
    EXPECT_EQ(gCalls, std::vector<std::string>{"Yard:arrive"});
    EXPECT_FALSE(mControl->mWalking);
    EXPECT_TRUE(mControl->mStanding);
    Frame(40);
    EXPECT_EQ(gCalls.size(), 1u);
}

TEST_F(ActorControlTest, WalkersFaceTheWayTheyWalkAndArriveTurnedWithoutASnap)
{
    mControl->SetWalkLayer(mScene->FindWalkArea("Open"));
    const struct {
        const char* what;
        float x, z;
    } legs[] = {{"+x", 1, 0}, {"-x", -1, 0}, {"+z", 0, 1}, {"-z", 0, -1}, {"diagonal", 0.6f, -0.8f}};
    for (const auto& leg : legs) {
        SCOPED_TRACE(leg.what);
        // Already facing that way (yaw b faces (-sin b, -cos b)): the path is
        // straight.
        Mobile().SetPosition(0.0f, 0.0f, 0.0f);
        Mobile().SetRotation(Yaw(std::atan2(-leg.x, -leg.z) * 57.2957763671875f));
        mControl->WalkTo(300.0f * leg.x, 0.0f, 300.0f * leg.z, 0.0f, nullptr, nullptr);
        ASSERT_TRUE(mControl->mWalking);
        int frames = 0;
        for (; frames < 200 && Path().mWaypoints.count > 1; ++frames) {
            Frame(40);
            if (Path().mWaypoints.count < 2)
                break;
            EXPECT_NEAR(Facing().x, leg.x, 1e-4f) << frames;
            EXPECT_NEAR(Facing().y, leg.z, 1e-4f) << frames;
        }
        EXPECT_GT(frames, 5);
        WalkOut();
        EXPECT_NEAR(Mobile().mPosition.x, 300.0f * leg.x, 1e-3f);
        EXPECT_NEAR(Mobile().mPosition.z, 300.0f * leg.z, 1e-3f);
    }

    // With a destination rotation a the last stretch arrives moving along
    // the facing (-sin a, -cos a) of that rotation, so setting it at the
    // end turns the actor by a few degrees at most (for a turn the curve
    // can make: the walk's distance is measured along the chord).
    const struct {
        float x, z, a;
    } arrivals[] = {{0, -400, 0.5f}, {0, -400, -0.7f}, {400, 0, -1.2f}};
    for (const auto& arrival : arrivals) {
        const float a = arrival.a;
        SCOPED_TRACE(a);
        Mobile().SetPosition(0.0f, 0.0f, 0.0f);
        Mobile().SetRotation(Yaw(0.0f));
        mControl->WalkTo(arrival.x, 0.0f, arrival.z, a, nullptr, nullptr);
        D3DXVECTOR2 last = Facing();
        for (int i = 0; i < 400 && Path().mWaypoints.count > 1; ++i) {
            Frame(10);
            if (Path().mWaypoints.count > 1)
                last = Facing();
        }
        WalkOut();
        const D3DXVECTOR2 u(-std::sin(a), -std::cos(a));
        EXPECT_NEAR(Facing().x, u.x, 1e-4f);
        EXPECT_NEAR(Facing().y, u.y, 1e-4f);
        EXPECT_GT(last.x * u.x + last.y * u.y, std::cos(10.0f / 57.29578f)) << last.x << ", " << last.y;
    }
}

TEST_F(ActorControlTest, AWalkTurnsFirstOnlyWhenItsWayLiesBehindTheActor)
{
    SetTurns();
    mControl->SetWalkLayer(mScene->FindWalkArea("Open"));
    const struct {
        const char* what;
        float x, z;
    } ways[] = {{"+x", 1, 0}, {"-x", -1, 0}, {"+z", 0, 1}, {"-z", 0, -1}, {"diagonal", -0.8f, 0.6f}};
    for (const auto& way : ways) {
        SCOPED_TRACE(way.what);
        for (const bool ahead : {true, false}) {
            // Yaw b faces (-sin b, -cos b).
            const float degrees = std::atan2(-way.x, -way.z) * 57.2957763671875f + (ahead ? 0.0f : 180.0f);
            Mobile().SetPosition(0.0f, 0.0f, 0.0f);
            Mobile().SetRotation(Yaw(degrees));
            mControl->WalkTo(300.0f * way.x, 0.0f, 300.0f * way.z, 0.0f, nullptr, nullptr);
            EXPECT_EQ(Path().mTurnAnim != nullptr, !ahead) << degrees;
            mControl->ClearWalk();
        }
    }
}

TEST_F(ActorControlTest, ARouteThroughSeveralNodesHopsAndStaysOnTheArea)
{
    cTarvelWalkArea& snake = *mScene->FindWalkArea("Snake");
    mControl->SetWalkLayer(&snake);
    Mobile().SetPosition(50.0f, 0.0f, 50.0f);
    mControl->WalkTo(450.0f, 0.0f, 350.0f, 0.0f, nullptr, nullptr);
    const std::vector<std::array<float, 3>> expected = {{50, 50, -1},  {90, 310, 0}, {210, 310, 1},
                                                        {290, 90, 2},  {410, 90, 3}, {450, 350, -1}};
    EXPECT_EQ(Waypoints(), expected);
    int frames = 0;
    for (; frames < 2000 && Path().mMode != cTarvelPathfinder::kIdle; ++frames) {
        Frame(40);
        ASSERT_TRUE(snake.IsInside(Mobile().mPosition.x, Mobile().mPosition.z))
            << Mobile().mPosition.x << ", " << Mobile().mPosition.z;
    }
    EXPECT_EQ(Mobile().mPosition.x, 450.0f);
    EXPECT_EQ(Mobile().mPosition.z, 350.0f);
    // About 1050 units at 150 a second.
    EXPECT_GT(frames, 150);
    EXPECT_LT(frames, 200);
}

TEST_F(ActorControlTest, TheCyclesKeepPaceWithTheFeetAndStairsSlowARun)
{
    mControl->SetWalkLayer(mScene->FindWalkArea("Open"));
    mControl->mWalkCycles = 0.8f;
    mControl->mRunCycles = 1.5f;
    // One walk cycle per 0.8 x 1.2 / 0.0085 units, one run cycle per
    // 1.5 x 0.73 / 0.0032; "cycle" lasts a second.
    const struct {
        bool run;
        double unitsPerCycle;
    } paces[] = {{false, 0.8 * 1.2 / 0.0085}, {true, 1.5 * 0.73 / 0.0032}};
    for (const auto& pace : paces) {
        SCOPED_TRACE(pace.run ? "run" : "walk");
        Mobile().SetPosition(-900.0f, 0.0f, 0.0f);
        Mobile().SetRotation(Yaw(-90.0f));
        mControl->WalkTo(900.0f, 0.0f, 0.0f, 0.0f, nullptr, nullptr);
        mControl->SetRun(pace.run);
        cTarvelMobileAnimation* cycle = pace.run ? mControl->mRunAnim : mControl->mWalkAnim;
        Frame(40);
        Frame(40);
        ASSERT_TRUE(cycle->mPlaying);
        const float start = Mobile().mPosition.x;
        for (int i = 0; i < 10; ++i) {
            const float before = cycle->GetCurrentTime();
            const float x = Mobile().mPosition.x;
            Frame(40);
            const float moved = Mobile().mPosition.x - x;
            float advanced = cycle->GetCurrentTime() - before;
            if (advanced < 0.0f)
                advanced += 1.0f;   // the loop wrapped
            EXPECT_NEAR(advanced, moved / pace.unitsPerCycle, 1e-4);
        }
        // The curve's chord table places each step only roughly.
        EXPECT_NEAR(Mobile().mPosition.x - start, (pace.run ? 280.0f : 120.0f) * 1.25f * 0.4f, 1.0f);
        mControl->ClearWalk();
        Frame(40);
    }

    // On a stair of ratio 50 / 5 x 0.2 + 0.6 = 2.6 a walk is that much
    // faster, a run 1.2 times less.
    cTarvelWalkArea* flight = mScene->FindWalkArea("Flight");
    flight->mStairHeight = 5.0f;
    flight->mStairWidth = 50.0f;
    flight->mEnabled = 1;
    Reload("<Control><WalkingAnim><File>cycle</File><Loop>1</Loop></WalkingAnim>"
           "<RunningAnim><File>cycle</File><Loop>1</Loop></RunningAnim>"
           "<StairUpAnim><File>cycle</File></StairUpAnim><StairDownAnim><File>cycle</File></StairDownAnim>"
           "<StairLayerCount>1</StairLayerCount><StairLayer0>Flight</StairLayer0>"
           "<Pathfinder><Walklayer>Open</Walklayer></Pathfinder></Control>");
    for (const bool run : {false, true}) {
        SCOPED_TRACE(run ? "run" : "walk");
        Mobile().SetPosition(-900.0f, 0.0f, 0.0f);
        mControl->WalkTo(900.0f, 0.0f, 0.0f, 0.0f, nullptr, nullptr);
        mControl->SetRun(run);
        Frame(40);
        Frame(40);
        ASSERT_TRUE(mControl->mStairing);
        const float x = Mobile().mPosition.x;
        for (int i = 0; i < 5; ++i)
            Frame(40);
        EXPECT_TRUE(mControl->mStairing);
        const float expected = (run ? 280.0f * 2.6f / 1.2f : 120.0f * 2.6f) * 0.2f;
        EXPECT_NEAR(Mobile().mPosition.x - x, expected, 1.0f);
        mControl->ClearWalk();
        Frame(40);
    }
}

TEST_F(ActorControlTest, AnAreaStaysOnWhileAnyActorWalksOnIt)
{
    cTarvelWalkArea* u = mScene->FindWalkArea("U");
    cTarvelWalkArea* door = mScene->FindWalkArea("Door");
    ASSERT_TRUE(u->mEnabled);
    // Another actor comes onto the player's area and moves on to another.
    cTarvelActorControlDefault other(mActor.get());
    other.SetWalkLayer(u);
    EXPECT_EQ(other.SetWalkLayer(door), u);
    EXPECT_TRUE(u->mEnabled);
    EXPECT_TRUE(door->mEnabled);
    EXPECT_TRUE(mControl->IsOnWalkArea(50.0f, 250.0f));
    mControl->WalkTo(250.0f, 0.0f, 250.0f, 0.0f, nullptr, nullptr);
    EXPECT_TRUE(mControl->mWalking);

    // The last one to leave switches it off; setting the same area again
    // keeps it on.
    other.SetWalkLayer(nullptr);
    EXPECT_FALSE(door->mEnabled);
    mControl->SetWalkLayer(u);
    EXPECT_TRUE(u->mEnabled);
    mControl->SetWalkLayer(door);
    EXPECT_FALSE(u->mEnabled);
    EXPECT_FALSE(u->IsInside(50.0f, 250.0f));
    mControl->SetWalkLayer(nullptr);
    EXPECT_FALSE(door->mEnabled);
    EXPECT_TRUE(u->mWalkers.empty());
    EXPECT_TRUE(door->mWalkers.empty());
}

// A character deleted while on an area (its scene's script removed it) lets
// go of it: the area goes off when the last walker still there leaves. An
// area deleted first lets go of its walkers, so neither side reads the other
// once freed.
TEST_F(ActorControlTest, AWalkerDeletedOnAnAreaLetsGoOfIt)
{
    cTarvelWalkArea* u = mScene->FindWalkArea("U");
    cTarvelWalkArea* door = mScene->FindWalkArea("Door");
    mControl->SetWalkLayer(u);
    auto* gone = new cTarvelActorControlDefault(mActor.get());
    gone->SetWalkLayer(u);
    delete gone;
    EXPECT_TRUE(u->mEnabled);
    mControl->SetWalkLayer(door);
    EXPECT_FALSE(u->mEnabled);
    EXPECT_TRUE(u->mWalkers.empty());
    mControl->SetWalkLayer(nullptr);

    auto* area = new cTarvelWalkArea;
    auto* walker = new cTarvelActorControlDefault(mActor.get());
    walker->SetWalkLayer(area);
    EXPECT_TRUE(area->mEnabled);
    delete area;
    EXPECT_EQ(walker->SetWalkLayer(door), nullptr);
    EXPECT_TRUE(door->mEnabled);
    delete walker;
    EXPECT_FALSE(door->mEnabled);
}

TEST_F(ActorControlTest, WalksWithoutCycleOrCloseByDoNotMove)
{
    // Without a walk cycle nothing happens at all.
    mControl->SetWalkNRunCycle("", "cycle");
    mControl->WalkTo(250.0f, 0.0f, 250.0f, 1.0f, nullptr, nullptr);
    EXPECT_EQ(Path().mMode, cTarvelPathfinder::kIdle);
    EXPECT_EQ(Path().mDestRot, 0.0f);

    // Closer than 10 in x and z: only the final rotation, at once; a callback
    // set afterwards fires on the next step.
    mControl->SetWalkNRunCycle("cycle", "");
    mControl->WalkTo(55.0f, 0.0f, 245.0f, kPi, nullptr, nullptr);
    EXPECT_EQ(Path().mWaypoints.count, 0);
    EXPECT_EQ(Mobile().mPosition.x, 50.0f);
    EXPECT_NEAR(std::fabs(Mobile().mRotation.y), 1.0f, 1e-5);
    mControl->SetCallback(mScene->mScript, "arrive", nullptr);
    Frame(20);
    EXPECT_EQ(gCalls, std::vector<std::string>{"Yard:arrive"});
}

TEST_F(ActorControlTest, TargetsOutsideAreClampedAndTargetAreasShortenTheWalk)
{
    // In the notch between the arms: the nearest outline point, just inside.
    mControl->WalkTo(150.0f, 0.0f, 250.0f, 0.0f, nullptr, nullptr);
    ASSERT_GE(Path().mWaypoints.count, 2);
    const sWaypoint& last = Path().mWaypoints.data[Path().mWaypoints.count - 1];
    // (200, 300) is the first of the two nearest corners; its neighbours tie
    // and the previous one, (300, 300), is kept.
    EXPECT_NEAR(last.x, 230.9f, 0.2f);
    EXPECT_NEAR(last.z, 300.0f, 0.2f);
    EXPECT_TRUE(mScene->FindWalkArea("U")->IsInside(last.x, last.z));

    // With the door's area the walk ends where it meets the area.
    cTarvelWalkArea* door = mScene->FindWalkArea("Door");
    door->mEnabled = 1;
    mControl->WalkTo(250.0f, 0.0f, 290.0f, 0.0f, door, nullptr);
    const std::vector<std::array<float, 3>> path = Waypoints();
    ASSERT_EQ(path.size(), 4u);
    // At f = 0.54 of the last leg from (210, 90): the first that stays out.
    EXPECT_NEAR(path[3][0], 231.6f, 0.01f);
    EXPECT_NEAR(path[3][1], 198.0f, 0.01f);
    EXPECT_FALSE(door->SegmentCrosses(path[2][0], path[2][1], path[3][0], path[3][1]));
}

TEST_F(ActorControlTest, ASlowFrameStopsAtTheWaypoint)
{
    mControl->WalkTo(250.0f, 0.0f, 250.0f, 0.0f, nullptr, nullptr);
    Frame(20);
    Frame(5000);   // 750 units in one slice: far past the first corner
    EXPECT_EQ(Mobile().mPosition.x, 90.0f);
    EXPECT_EQ(Mobile().mPosition.z, 90.0f);
    EXPECT_EQ(Path().mWaypoints.count, 3);
    Frame(20);
    EXPECT_GT(Mobile().mPosition.x, 90.0f);
    EXPECT_LT(Mobile().mPosition.x, 100.0f);
}

TEST_F(ActorControlTest, ANewWalkKeepsRunningAndRunNeedsItsCycle)
{
    mControl->WalkTo(250.0f, 0.0f, 250.0f, 0.0f, nullptr, nullptr);
    mControl->SetRun(true);
    EXPECT_EQ(Path().mMode, cTarvelPathfinder::kRun);
    mControl->WalkTo(250.0f, 0.0f, 50.0f, 0.0f, nullptr, nullptr);
    EXPECT_EQ(Path().mMode, cTarvelPathfinder::kRun);
    mControl->SetRun(false);
    mControl->WalkTo(250.0f, 0.0f, 250.0f, 0.0f, nullptr, nullptr);
    EXPECT_EQ(Path().mMode, cTarvelPathfinder::kWalk);

    mControl->SetWalkNRunCycle("cycle", "");
    mControl->SetRun(true);
    EXPECT_EQ(Path().mMode, cTarvelPathfinder::kWalk);
    // A walk replaced by a new one loses its callback uncalled.
    mControl->SetCallback(mScene->mScript, "arrive", nullptr);
    mControl->WalkTo(60.0f, 0.0f, 50.0f, 0.0f, nullptr, nullptr);
    WalkOut();
    EXPECT_TRUE(gCalls.empty());
    EXPECT_NEAR(Mobile().mPosition.x, 60.0f, 1e-3);
}

TEST_F(ActorControlTest, TurnSlotsFollowTheAngle)
{
    struct Case {
        float degrees;
        std::vector<int> slots;
        int expected;   // -1: no turn
        float minAngle = 0.0f;
    };
    const Case cases[] = {
        {120.0f, {3, 4, 5}, 4},   {120.1f, {3, 4, 5}, 5},    {170.0f, {3}, 3},       {-30.0f, {3, 4, 5}, -1},
        {-30.0f, {0, 1, 2}, 2},   {-150.0f, {1}, 1},         {0.0f, {0, 1, 2, 3, 4, 5}, -1},
        {44.9f, {3}, -1, 45.0f},  {45.1f, {3}, 3, 45.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.degrees);
        for (int slot = 0; slot < 6; ++slot)
            mControl->SetRotationMove(slot, "");
        for (int slot : c.slots)
            mControl->SetRotationMove(slot, slot >= 3 ? "turn_r90" : "turn_l90");
        Mobile().SetRotation(D3DXQUATERNION(0.0f, 0.0f, 0.0f, 1.0f));
        Mobile().mRotationEnd = true;
        cTarvelMobileAnimation* played = mControl->TurnTo(Yaw(c.degrees), c.minAngle, false);
        EXPECT_EQ(played, c.expected < 0 ? nullptr : mControl->mRotationAnims[c.expected]);
        if (played) {
            EXPECT_FALSE(Mobile().mRotationEnd);
            EXPECT_TRUE(played->mPlaying);
        }
    }
    // Slots outside 0 to 5 are refused.
    mControl->SetRotationMove(6, "turn_r90");
    mControl->SetRotationMove(-1, "turn_r90");
}

TEST_F(ActorControlTest, TheTurnScaleCutsALargerTurnDown)
{
    mControl->SetRotationMove(3, "turn_r90");
    mControl->SetRotationMove(2, "turn_l90");
    EXPECT_NEAR(mControl->mRotationAnims[3]->GetTurnAngle(true), kPi / 2, 1e-3);
    EXPECT_NEAR(mControl->mRotationAnims[2]->GetTurnAngle(false), -kPi / 2, 1e-3);
    struct Case {
        float degrees;
        int slot;
        float scale;
    };
    for (const Case& c : {Case{45.0f, 3, 0.5f}, Case{170.0f, 3, 1.0f}, Case{-30.0f, 2, 1.0f / 3.0f}}) {
        SCOPED_TRACE(c.degrees);
        ASSERT_EQ(mControl->TurnTo(Yaw(c.degrees), 0.0f, false), mControl->mRotationAnims[c.slot]);
        EXPECT_NEAR(mControl->mRotationAnims[c.slot]->mInstanceFactor, c.scale, 1e-3);
    }
}

TEST_F(ActorControlTest, AWalkWaitsForItsTurnAndFinishWalkEndsIt)
{
    SetTurns();
    // Facing +z; the first leg leads towards -z: a turn before the walk.
    Mobile().SetRotation(Yaw(180.0f));
    mControl->WalkTo(250.0f, 0.0f, 250.0f, kPi / 2, nullptr, nullptr);
    ASSERT_NE(Path().mTurnAnim, nullptr);
    Frame(20);
    EXPECT_EQ(Mobile().mPosition.x, 50.0f);
    EXPECT_EQ(Path().mStepDistance, 0.0f);

    // Jumping to the end: at the last waypoint, turned, no waypoints.
    mControl->FinishWalk(true);
    EXPECT_EQ(Path().mTurnAnim, nullptr);
    EXPECT_EQ(Path().mWaypoints.count, 0);
    EXPECT_EQ(Mobile().mPosition.x, 250.0f);
    EXPECT_EQ(Mobile().mPosition.z, 250.0f);
    EXPECT_NEAR(std::fabs(Mobile().mRotation.y), std::sin(kPi / 4), 1e-4);

    // Without jumping the actor stays where it is.
    Mobile().SetRotation(Yaw(0.0f));
    mControl->WalkTo(50.0f, 0.0f, 250.0f, 0.0f, nullptr, nullptr);
    mControl->FinishWalk(false);
    EXPECT_EQ(Path().mWaypoints.count, 0);
    EXPECT_EQ(Mobile().mPosition.x, 250.0f);

    // When the turn has played, the walk goes on from where the actor stands.
    Mobile().SetRotation(Yaw(180.0f));
    mControl->WalkTo(250.0f, 0.0f, 50.0f, 0.0f, nullptr, nullptr);
    ASSERT_NE(Path().mTurnAnim, nullptr);
    Mobile().mRotationEnd = true;
    Frame(20);
    EXPECT_EQ(Path().mTurnAnim, nullptr);
    WalkOut();
    EXPECT_NEAR(Mobile().mPosition.z, 50.0f, 1e-3);
}

TEST_F(ActorControlTest, ReleaseAnimationsDuringATurnLeavesNoDanglingAnimation)
{
    SetTurns();
    Mobile().SetRotation(Yaw(180.0f));
    mControl->WalkTo(250.0f, 0.0f, 250.0f, 0.0f, nullptr, nullptr);
    ASSERT_NE(Path().mTurnAnim, nullptr);
    mControl->ReleaseAnimations();
    EXPECT_EQ(Path().mTurnAnim, nullptr);
    EXPECT_EQ(mControl->mWalkAnim, nullptr);
    EXPECT_EQ(mControl->mRotationAnims[3], nullptr);
    EXPECT_NE(mControl->mBlinkAnim, nullptr);
    // The walk goes on along its curves, at walking pace; nothing reads a
    // freed animation.
    for (int i = 0; i < 5; ++i)
        Frame(40);
    const float moved = std::hypot(Mobile().mPosition.x - 50.0f, Mobile().mPosition.z - 250.0f);
    EXPECT_GT(moved, 20.0f);
    EXPECT_LT(moved, 40.0f);
}

TEST_F(ActorControlTest, BlinksEveryFourToSixSeconds)
{
    cTarvelMobileAnimation* blink = mControl->mBlinkAnim;
    ASSERT_NE(blink, nullptr);
    ASSERT_NE(blink->mMotion, nullptr);
    const float first = mControl->mNextBlink;
    const float start = gTarvel.mTimer.GetSeconds();
    EXPECT_GE(first, start + 4.0f);
    EXPECT_LE(first, start + 6.0f);
    while (gTarvel.mTimer.GetSeconds() + 0.1f <= first)
        Frame(100);
    EXPECT_FALSE(blink->mPlaying);
    EXPECT_FALSE(blink->IsListed());

    // Once past the due time the blink plays on the actor's mobile, and the
    // next one is due 4 to 6 seconds on.
    Frame(200);
    const float now = gTarvel.mTimer.GetSeconds();
    EXPECT_TRUE(blink->mPlaying);
    EXPECT_TRUE(blink->IsListed());
    EXPECT_EQ(blink->mInstance->GetMotion(), blink->mMotion);
    EXPECT_GE(mControl->mNextBlink, now + 4.0f);
    EXPECT_LE(mControl->mNextBlink, now + 6.0f);
    const float second = mControl->mNextBlink;
    for (int i = 0; i < 3; ++i)
        Frame(1000);
    EXPECT_EQ(mControl->mNextBlink, second);
}

TEST_F(ActorControlTest, SaveAndLoadKeepTheWalkAndAnyLiveScriptsCallback)
{
    auto actorScript = std::make_unique<cTarvelScript>("PC.state");
    const std::vector<uint8_t> image = AssembleScriptOrThrow("ret\nfunction arrive\nret\n");
    ASSERT_EQ(actorScript->LoadImage(image.data(), image.size(), "PC.state"), 0);
    mControl->SetRotationMove(4, "turn_r90");
    mControl->mWalkCycles = 0.75f;
    mControl->WalkTo(250.0f, 0.0f, 250.0f, kPi, nullptr, nullptr);
    mControl->SetCallback(actorScript.get(), "arrive", nullptr);
    Frame(20);
    Frame(200);
    const float x = Mobile().mPosition.x, z = Mobile().mPosition.z;
    const std::vector<std::array<float, 3>> before = Waypoints();
    const std::string text = SaveText();

    Reload(text);
    EXPECT_EQ(Waypoints(), before);
    EXPECT_EQ(mControl->mWalkCycles, 0.75f);
    ASSERT_NE(mControl->mRotationAnims[4], nullptr);
    EXPECT_EQ(mControl->mRotationAnims[4]->mName, "turn_r90");
    ASSERT_NE(mControl->mWalkAnim, nullptr);
    EXPECT_EQ(Path().mCbScript, actorScript.get());
    WalkOut();
    EXPECT_EQ(gCalls, std::vector<std::string>{"PC.state:arrive"});
    EXPECT_EQ(Mobile().mPosition.x, 250.0f);
    EXPECT_NEAR(std::fabs(Mobile().mRotation.y), 1.0f, 1e-5);

    // Damaged values: a node out of range becomes -1, a callback into a
    // script that is gone is dropped, a count beyond the elements reads what
    // is there.
    Mobile().SetPosition(x, 0.0f, z);
    std::string damaged = text;
    damaged.replace(damaged.find("<No>0</No>"), 10, "<No>77</No>");
    const size_t count = damaged.find("<WaypointCount>") + 15;
    damaged.replace(count, damaged.find("</WaypointCount>") - count, "999999999");
    actorScript.reset();
    gCalls.clear();
    Reload(damaged);
    ASSERT_EQ(Path().mWaypoints.count, int32_t(before.size()));
    EXPECT_EQ(Path().mWaypoints.data[1].node, -1);
    EXPECT_EQ(Path().mCbScript, nullptr);
    WalkOut();
    EXPECT_TRUE(gCalls.empty());

    // Without "Rotate" and "Pathfinder": no turns, an idle walk.
    Reload("<Control><WalkCycles>0</WalkCycles></Control>");
    EXPECT_EQ(mControl->mRotationAnims[4], nullptr);
    EXPECT_EQ(Path().mMode, cTarvelPathfinder::kIdle);
    EXPECT_EQ(mControl->mWalkAnim, nullptr);
    Frame(40);
    EXPECT_EQ(mControl->mRunCycles, 1.0f);
    // A walk cycle of 0 does not divide: the cycle moves on by the distance.
    mControl->SetWalkLayer(mScene->FindWalkArea("U"));
    mControl->SetWalkNRunCycle("cycle", "");
    mControl->WalkTo(60.0f, 0.0f, 50.0f, 0.0f, nullptr, nullptr);
    ASSERT_TRUE(mControl->mWalking);
    Frame(40);
    Frame(40);
    EXPECT_TRUE(mControl->mWalkAnim->mPlaying);
    EXPECT_TRUE(std::isfinite(mControl->mWalkAnim->GetCurrentTime()));
    EXPECT_GT(mControl->mWalkAnim->GetCurrentTime(), 0.0f);
}

TEST_F(ActorControlTest, ACallbackIntoAGoneMachineIsNeitherSavedNorCalled)
{
    const std::vector<uint8_t> image = AssembleScriptOrThrow("ret\nfunction arrive\nret\n");
    // A clip's machine, deleted with its cinematic: a save does not read its
    // name.
    auto* clip = new cTarvelScript("Clip");
    ASSERT_EQ(clip->LoadImage(image.data(), image.size(), "Clip"), 0);
    mControl->WalkTo(250.0f, 0.0f, 250.0f, 0.0f, nullptr, nullptr);
    mControl->SetCallback(clip, "arrive", nullptr);
    delete clip;
    EXPECT_EQ(SaveText().find("<CB>"), std::string::npos);

    // The next visit's machine, built where the left one was: not the one
    // the walk waits for, whatever the allocator does.
    alignas(cTarvelScript) unsigned char storage[sizeof(cTarvelScript)];
    auto* left = new (storage) cTarvelScript("Yard.visit");
    ASSERT_EQ(left->LoadImage(image.data(), image.size(), "Yard.visit"), 0);
    mControl->SetCallback(left, "arrive", nullptr);
    left->~cTarvelScript();
    auto* visit = new (storage) cTarvelScript("Yard.visit");
    ASSERT_EQ(visit->LoadImage(image.data(), image.size(), "Yard.visit"), 0);
    EXPECT_EQ(SaveText().find("<CB>"), std::string::npos);
    WalkOut();
    EXPECT_TRUE(gCalls.empty());

    // Its own callback is kept and called.
    mControl->WalkTo(50.0f, 0.0f, 250.0f, 0.0f, nullptr, nullptr);
    mControl->SetCallback(visit, "arrive", nullptr);
    EXPECT_NE(SaveText().find("<CB>Yard.visit</CB>"), std::string::npos);
    WalkOut();
    EXPECT_EQ(gCalls, std::vector<std::string>{"Yard.visit:arrive"});
    visit->~cTarvelScript();
}

TEST_F(ActorControlTest, DuplicateWaypointsAtTheEndAreSkippedInTheSameFrame)
{
    std::string waypoints;
    const char* const points[] = {"50 250", "50 200", "50 200", "50 200"};
    for (int i = 0; i < 4; ++i)
        waypoints += "<Wp" + std::to_string(i) + "><Pos>" + points[i] + "</Pos><S1>" + points[i] + "</S1><S2>" +
                     points[i] + "</S2><No>-1</No></Wp" + std::to_string(i) + ">";
    Reload("<Control><WalkingAnim><File>cycle</File><Loop>1</Loop></WalkingAnim><Pathfinder><Walklayer>U</Walklayer>"
           "<WaypointCount>4</WaypointCount><Mode>1</Mode>" + waypoints + "</Pathfinder></Control>");
    ASSERT_EQ(Path().mWaypoints.count, 4);
    Frame(20);
    Frame(1000);   // 150 units: past the first waypoint
    EXPECT_EQ(Path().mWaypoints.count, 1);
    EXPECT_EQ(Path().mMode, cTarvelPathfinder::kIdle);
    EXPECT_EQ(Mobile().mPosition.z, 200.0f);
}

TEST_F(ActorControlTest, AWalkSeenByTheViewStartsJustOutsideIt)
{
    // Above the bottom strip, looking down -z with the strip's middle in view.
    cTarvelCamera& camera = gTarvel.mCamera;
    camera.SetViewport(0, 0, uint32_t(gTarvel.mGraphics.mWidth), uint32_t(gTarvel.mGraphics.mHeight));
    const float position[3] = {150.0f, 0.0f, 200.0f};
    const D3DXQUATERNION back = Yaw(180.0f);
    const float rotation[4] = {back.x, back.y, back.z, back.w};
    camera.Set(position, rotation, 1.0f);
    SetTurns();
    Mobile().SetPosition(20.0f, 0.0f, 50.0f);
    Mobile().SetRotation(Yaw(0.0f));   // facing away: a walk that is not cut would turn first

    // Where the view's two edges meet the walk's line z = 50.
    std::vector<float> edges;
    for (float sx : {0.0f, float(gTarvel.mGraphics.mWidth)}) {
        D3DXVECTOR3 p(sx, float(gTarvel.mGraphics.mHeight) * 0.5f, 1.0f);
        camera.Unproject(&p);
        const float f = (200.0f - 50.0f) / (200.0f - p.z);
        edges.push_back(150.0f + f * (p.x - 150.0f));
    }
    ASSERT_TRUE((edges[0] > 20.0f && edges[0] < 280.0f) || (edges[1] > 20.0f && edges[1] < 280.0f));

    mControl->WalkTo(280.0f, 0.0f, 50.0f, 0.0f, nullptr, &camera);
    ASSERT_EQ(Path().mWaypoints.count, 2);
    EXPECT_EQ(Path().mTurnAnim, nullptr);
    const float startX = Path().mWaypoints.data[0].x;
    EXPECT_NEAR(Path().mWaypoints.data[0].z, 50.0f, 1e-3);
    // The screen's left edge is tried first; the start is pushed 100 units
    // back towards where the actor stands.
    const float hit = edges[0] > 20.0f && edges[0] < 280.0f ? edges[0] : edges[1];
    EXPECT_NEAR(startX, hit - 100.0f, 0.05f);
    EXPECT_EQ(Path().mWaypoints.data[1].x, 280.0f);

    // Without the camera the walk starts where the actor stands.
    mControl->WalkTo(280.0f, 0.0f, 50.0f, 0.0f, nullptr, nullptr);
    EXPECT_EQ(Path().mWaypoints.data[0].x, 20.0f);

    // An actor standing at the camera meets both edges at its own waypoint:
    // no direction to push along, so the walk starts where it stands.
    const float atActor[3] = {20.0f, 0.0f, 50.0f};
    camera.Set(atActor, rotation, 1.0f);
    mControl->WalkTo(280.0f, 0.0f, 50.0f, 0.0f, nullptr, &camera);
    ASSERT_EQ(Path().mWaypoints.count, 2);
    EXPECT_EQ(Path().mWaypoints.data[0].x, 20.0f);
    EXPECT_EQ(Path().mWaypoints.data[0].z, 50.0f);
    EXPECT_EQ(Path().mTurnAnim, nullptr);   // cut at its start: no turn first
    Frame(20);
    Frame(200);
    EXPECT_GT(Mobile().mPosition.x, 20.0f);
    EXPECT_NEAR(Mobile().mPosition.z, 50.0f, 1e-3);
}

// A control whose floor query fails halfway through a step.
class ThrowingControl : public cTarvelActorControlDefault {
public:
    using cTarvelActorControlDefault::cTarvelActorControlDefault;
    float GetFloorHeight(float, float, float) override { throw std::runtime_error("no floor"); }
};

TEST_F(ActorControlTest, AnExceptionInTheUpdateIsLoggedAndTheFrameGoesOn)
{
    delete mActor->mControl;
    mActor->mControl = mControl = new ThrowingControl(mActor.get());
    mControl->SetWalkLayer(mScene->FindWalkArea("U"));
    mControl->SetWalkNRunCycle("cycle", "");
    mControl->WalkTo(250.0f, 0.0f, 250.0f, 0.0f, nullptr, nullptr);
    Frame(40);
    Frame(40);
    const std::string log = Log();
    size_t lines = 0;
    for (size_t at = log.find("Handled exception in cTarvelActorControlDefault::Update.\n"); at != std::string::npos;
         at = log.find("Handled exception in cTarvelActorControlDefault::Update.\n", at + 1))
        ++lines;
    EXPECT_EQ(lines, 2u);
}

TEST_F(ActorControlTest, StairsUpDownAndReversedWithTheLaterLayerFirst)
{
    cTarvelWalkArea* a = mScene->FindWalkArea("StairA");
    cTarvelWalkArea* b = mScene->FindWalkArea("StairB");
    a->mEnabled = b->mEnabled = 1;
    a->mStairHeight = 10.0f;
    a->mStairWidth = 20.0f;
    b->mStairHeight = 5.0f;
    b->mStairWidth = 50.0f;
    b->mStairLowerLevel = 10.0f;
    b->mStairUpperLevel = 25.0f;
    Reload("<Control><StairLayerCount>3</StairLayerCount><StairLayer0>StairA</StairLayer0>"
           "<StairLayer1>Nowhere</StairLayer1><StairLayer2>StairB</StairLayer2>"
           "<WalkingAnim><File>cycle</File><Loop>1</Loop></WalkingAnim>"
           "<StairUpAnim><File>cycle</File></StairUpAnim><StairDownAnim><File>cycle</File></StairDownAnim>"
           "<Pathfinder><Walklayer>Ramp</Walklayer></Pathfinder></Control>");
    ASSERT_EQ(mControl->mStairLayers.count, 2);   // the unknown name is skipped
    ASSERT_NE(mControl->mStairUpAnim, nullptr);
    ASSERT_NE(mControl->mStairDownAnim, nullptr);
    Mobile().SetPosition(20.0f, 2.0f, 50.0f);

    // Up: the stair starts on the overlap, where the later layer counts.
    mControl->WalkTo(280.0f, 0.0f, 50.0f, 0.0f, nullptr, nullptr);
    bool sawStair = false;
    for (int i = 0; i < 500 && Mobile().mPosition.x < 200.0f; ++i) {
        Frame(40);
        const float x = Mobile().mPosition.x;
        if (x > 105.0f) {
            sawStair = true;
            EXPECT_TRUE(mControl->mStairing) << x;
            EXPECT_TRUE(mControl->mStairUp);
            EXPECT_EQ(mControl->mStairAnim, mControl->mStairUpAnim);
            EXPECT_FLOAT_EQ(mControl->mStairRatio, 50.0f / 5.0f * 0.2f + 0.6f);
        }
    }
    EXPECT_TRUE(sawStair);

    // Reversed on the stair: the up animation ends, and the next frame
    // starts the down one.
    mControl->WalkTo(20.0f, 0.0f, 50.0f, 0.0f, nullptr, nullptr);
    Frame(40);
    EXPECT_FALSE(mControl->mStairing);
    Frame(40);
    EXPECT_TRUE(mControl->mStairing);
    EXPECT_FALSE(mControl->mStairUp);
    EXPECT_EQ(mControl->mStairAnim, mControl->mStairDownAnim);

    // Standing still on the stair ends it; so does leaving the layers.
    mControl->ClearWalk();
    Frame(40);
    EXPECT_FALSE(mControl->mStairing);
    EXPECT_EQ(mControl->mStairAnim, nullptr);

    // A stair of height 0 moves at the plain pace.
    b->mStairHeight = 0.0f;
    mControl->WalkTo(20.0f, 0.0f, 50.0f, 0.0f, nullptr, nullptr);
    Frame(40);
    Frame(40);
    EXPECT_TRUE(mControl->mStairing);
    EXPECT_EQ(mControl->mStairRatio, 1.0f);
    WalkOut();
    EXPECT_FALSE(mControl->mStairing);
    EXPECT_NEAR(Mobile().mPosition.x, 20.0f, 1e-3);
}

} // namespace
