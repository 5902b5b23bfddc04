#include "engine/gameplay/control_bunker_wall.h"

#include <cmath>
#include <limits>

#include "engine/gameplay/control_effects_test_support.h"
#include "engine/gameplay/gameplay.h"
#include "engine/gameplay/screen_control_bunker_wall.h"
#include "engine/gameplay/screen_control_inv_only.h"
#include "engine/world/mobile_controllers.h"
#include "engine/world/particle_dust.h"
#include "engine/world/particle_sparkle.h"
#include "platform/d3d9/testing.h"

namespace {

using namespace control_test;
namespace pt = platform::testing;

D3DXMATRIX BodyMatrix(sPhysicsBody* body)
{
    D3DXMATRIX m;
    gTarvel.mPhysics.GetBodyMatrix(body, &m);
    return m;
}

// A "~BunkerWallData~" block: the count byte, then 64 bytes a matrix.
std::vector<uint8_t> Block(uint8_t count, const std::vector<D3DXMATRIX>& matrices)
{
    std::vector<uint8_t> block(1 + 64 * matrices.size());
    block[0] = count;
    for (size_t i = 0; i < matrices.size(); ++i)
        std::memcpy(block.data() + 1 + 64 * i, &matrices[i].m[0][0], 64);
    return block;
}

D3DXMATRIX Translation(float x, float y, float z)
{
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, x, y, z);
    return m;
}

// Brick i of the test wall stands at its rest place: course i / 10 + 1,
// column i % 10.
D3DXMATRIX RestOf(int i)
{
    return Translation(float(i % 10 - 5) * 40.0f + 20.0f, 60.0f * float(i / 10 + 1) - 30.0f, 0.0f);
}

class BunkerWallTest : public ControlEffectsTest {
protected:
    void SetUp() override
    {
        ControlEffectsTest::SetUp();
        Records().clear();
    }
    cTarvelControlBunkerWall* Wall() { return Bound<cTarvelControlBunkerWall>("Wall", eScriptObjectType::CtrlBunkerWall); }
    static void StoreData(const std::vector<uint8_t>& block)
    {
        cTarvelScriptValue value = cTarvelScriptValue::FromBytes(block.data(), uint32_t(block.size()));
        value.name = cTarvelControlBunkerWall::kDataName;
        if (cTarvelScriptValue* old = cTarvelGameplay::FindValue(cTarvelControlBunkerWall::kDataName))
            *old = value;
        else
            cTarvelGameplay::AddValue(value);
    }
    static const std::vector<uint8_t>* Data()
    {
        const cTarvelScriptValue* value = cTarvelGameplay::FindValue(cTarvelControlBunkerWall::kDataName);
        return value ? &value->bytes : nullptr;
    }
    bool Finished()
    {
        Records().clear();
        Run("WallFinished");
        EXPECT_EQ(Records().size(), 1u);
        return !Records().empty() && Records().back().arguments.at(0).boolean != 0;
    }
    static void At(float seconds) { gTarvel.mTimer.mGameSeconds = seconds; }
    static cTarvelScreenControl* Top()
    {
        return gScreenControls.Count() > 0 ? gScreenControls[gScreenControls.Count() - 1] : nullptr;
    }
    std::vector<std::string> SceneCalls()
    {
        std::vector<std::string> calls;
        for (const tCallRecord& r : Records())
            calls.push_back(r.arguments.empty() ? "?" : r.arguments[0].string.c_str());
        return calls;
    }
};

void ExpectTranslation(const D3DXMATRIX& m, const D3DXMATRIX& expected)
{
    EXPECT_NEAR(m._41, expected._41, 1e-3f);
    EXPECT_NEAR(m._42, expected._42, 1e-3f);
    EXPECT_NEAR(m._43, expected._43, 1e-3f);
}

TEST_F(BunkerWallTest, BricksBecomeBodiesAtTheirNodesAndTheFloorFixesTheLowOnes)
{
    Run("WallInit");
    cTarvelControlBunkerWall* wall = Wall();
    ASSERT_NE(wall, nullptr);
    ASSERT_NE(wall->mWall, nullptr);
    ASSERT_EQ(wall->mBrickBodies.Count(), 30);
    EXPECT_EQ(wall->mFixedBodies.Count(), 1) << "the ground";
    EXPECT_FALSE(wall->mShooting);
    for (int i = 0; i < 30; ++i) {
        SCOPED_TRACE(i);
        sPhysicsBody* body = wall->mBrickBodies[i];
        EXPECT_EQ(body->userA, wall);
        ExpectTranslation(BodyMatrix(body), RestOf(i));
        // A bottom exactly at the floor level is movable.
        EXPECT_EQ(wall->mNodeController->GetNodeBody(uint32_t(i + 1)), body);
    }
    EXPECT_FALSE(Finished());

    // Raised floor: the bottom course lies below it and is fixed.
    gActiveControls.DeleteAll();
    gSharedSymbols.Clear();
    gActiveControls.Add(new cTarvelControlBunkerWall("Wall", 0, 0, 0, 10.0f, "", "", "", "W"));
    auto* raised = static_cast<cTarvelControlBunkerWall*>(gActiveControls[0]);
    ASSERT_EQ(raised->mBrickBodies.Count(), 30);
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(raised->mNodeController->GetNodeBody(uint32_t(i + 1)) != nullptr, i >= 10) << i;
    ExpectTranslation(BodyMatrix(raised->mFixedBodies[0]), Translation(0, -490, 0));
}

TEST_F(BunkerWallTest, SixOpenColumnsFinishTheWallAndFiveDoNot)
{
    for (int open : {5, 6}) {
        SCOPED_TRACE(open);
        // Columns 2 onwards lose their middle brick to the ground.
        std::vector<D3DXMATRIX> matrices;
        for (int i = 0; i < 30; ++i) {
            const bool down = i / 10 == 1 && i % 10 >= 2 && i % 10 < 2 + open;
            matrices.push_back(down ? Translation(float(i % 10) * 40.0f, 10.0f, -100.0f) : RestOf(i));
        }
        StoreData(Block(30, matrices));
        Run("WallInit");
        ASSERT_EQ(Wall()->mBrickBodies.Count(), 30);
        EXPECT_EQ(Finished(), open == 6);
        gActiveControls.DeleteAll();
    }
}

TEST_F(BunkerWallTest, ColumnsComeFromTheLastTwoDigitsOfTheNodeNames)
{
    // High floor: every brick is fixed where its node stands.
    const struct {
        const char* mesh;
        bool finished;
    } cases[] = {
        {"Columns", false},   // open 2, 4, 5, 7, 8, 9: runs of at most three
        {"OddNames", true},   // 00, 01, 12 to 99 and no number close nothing
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mesh);
        gSharedSymbols.Clear();
        auto* wall = new cTarvelControlBunkerWall(c.mesh, 0, 0, 0, 1000.0f, "", "", "", "W");
        gActiveControls.Add(wall);
        ASSERT_NE(wall->mWall, nullptr);
        EXPECT_EQ(wall->IsFinished(), c.finished);
        gActiveControls.DeleteAll();
    }
}

TEST_F(BunkerWallTest, StoredBlocksRestoreOnlyTheWholeMatricesTheyHold)
{
    const D3DXMATRIX moved = Translation(500, 10, 500);
    std::vector<D3DXMATRIX> all(30, moved);
    D3DXMATRIX broken = moved;
    broken._42 = std::numeric_limits<float>::infinity();
    all[1] = broken;
    const std::vector<uint8_t> full = Block(1, all);   // the count byte says 1
    const struct {
        size_t size;
        int restored;   // bricks 0 to restored - 1 moved (brick 1 is never: not finite)
    } cases[] = {{0, 0}, {1, 0}, {64, 0}, {65, 1}, {100, 1}, {64 * 3 + 1, 3}, {64 * 3, 2}, {full.size(), 30},
                 {full.size() + 500, 30}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        std::vector<uint8_t> block(full.begin(), full.begin() + std::min(c.size, full.size()));
        block.resize(c.size, 0xFF);
        StoreData(block);
        gActiveControls.Add(new cTarvelControlBunkerWall("Wall", 0, 0, 0, 0, "", "", "", "W"));
        auto* wall = static_cast<cTarvelControlBunkerWall*>(gActiveControls[0]);
        for (int i = 0; i < 30; ++i) {
            SCOPED_TRACE(i);
            ExpectTranslation(BodyMatrix(wall->mBrickBodies[i]), i < c.restored && i != 1 ? moved : RestOf(i));
        }
        gActiveControls.DeleteAll();
    }
}

TEST_F(BunkerWallTest, WallSurvivesASceneChangeEvenWithMoreThan255Bricks)
{
    Run("WallInit");
    sPhysicsBody* brick = Wall()->mBrickBodies[7];
    gTarvel.mPhysics.SetBodyMatrix(brick, Translation(1, 2, 3));
    gActiveControls.DeleteAll();   // the scene is left
    ASSERT_NE(Data(), nullptr);
    EXPECT_EQ(Data()->size(), 1u + 64u * 30u);
    EXPECT_EQ(Data()->at(0), 30);
    Run("WallInit");
    ExpectTranslation(BodyMatrix(Wall()->mBrickBodies[7]), Translation(1, 2, 3));
    ExpectTranslation(BodyMatrix(Wall()->mBrickBodies[8]), RestOf(8));
    gActiveControls.DeleteAll();

    gSharedSymbols.Clear();
    gActiveControls.Add(new cTarvelControlBunkerWall("BigWall", 0, 0, 0, 0, "", "", "", "W"));
    auto* big = static_cast<cTarvelControlBunkerWall*>(gActiveControls[0]);
    ASSERT_EQ(big->mBrickBodies.Count(), 300);
    gTarvel.mPhysics.SetBodyMatrix(big->mBrickBodies[280], Translation(7, 8, 9));
    gActiveControls.DeleteAll();
    EXPECT_EQ(Data()->size(), 1u + 64u * 300u);
    EXPECT_EQ(Data()->at(0), 255) << "the count byte cannot hold 300";
    gActiveControls.Add(new cTarvelControlBunkerWall("BigWall", 0, 0, 0, 0, "", "", "", "W"));
    big = static_cast<cTarvelControlBunkerWall*>(gActiveControls[0]);
    ExpectTranslation(BodyMatrix(big->mBrickBodies[280]), Translation(7, 8, 9));
}

TEST_F(BunkerWallTest, SavegameRoundTripKeepsTheWallAsItWasLeft)
{
    Run("WallInit");
    gTarvel.mPhysics.SetBodyMatrix(Wall()->mBrickBodies[12], Translation(-5, 6, 70));
    cTarvelScriptValue shared;
    shared.name = "Wall";
    shared.kind = kScriptObject;
    cTarvelGameplay::AddValue(shared);
    const std::string xml = SaveAndRestore();
    EXPECT_NE(xml.find("<Control class=\"1\"><Position>0.00000000 0.00000000 0.00000000</Position>"
                       "<FloorLevel>0.00000000</FloorLevel><Cursor>crosshair</Cursor><Light>Sun</Light>"
                       "<SFX>thud</SFX><Mesh>Wall</Mesh><Symbol>Wall</Symbol></Control>"),
              std::string::npos)
        << xml;
    ASSERT_EQ(gActiveControls.Count(), 1);
    auto* wall = static_cast<cTarvelControlBunkerWall*>(gActiveControls[0]);
    EXPECT_EQ(gScriptHandles.Get<cTarvelControlBunkerWall>(cTarvelGameplay::FindValue("Wall")->object,
                                                           eScriptObjectType::CtrlBunkerWall),
              wall);
    ASSERT_EQ(wall->mBrickBodies.Count(), 30);
    ExpectTranslation(BodyMatrix(wall->mBrickBodies[12]), Translation(-5, 6, 70));
    EXPECT_EQ(wall->mSoundName, "thud");
    EXPECT_EQ(wall->mCursorName, "crosshair");
}

TEST_F(BunkerWallTest, ElementWithoutMeshMakesAWallThatDoesNothing)
{
    const std::vector<uint8_t> stored = Block(1, {Translation(1, 2, 3)});
    StoreData(stored);
    SavegameScope scope("<Demogame><Control class=\"1\"><Position>nan 1 2</Position><FloorLevel>inf</FloorLevel>"
                        "</Control></Demogame>");
    LoadActiveControls(gTarvel.mSavegame);
    ASSERT_EQ(gActiveControls.Count(), 1);
    auto* wall = static_cast<cTarvelControlBunkerWall*>(gActiveControls[0]);
    EXPECT_EQ(wall->mWall, nullptr);
    EXPECT_EQ(wall->mBrickBodies.Count(), 0);
    EXPECT_EQ(wall->mPosition[0], 0.0f);
    EXPECT_EQ(wall->mFloorLevel, 0.0f);
    EXPECT_FALSE(wall->IsFinished());
    UpdateActiveControls();
    EXPECT_EQ(gActiveControls.Count(), 1);
    gActiveControls.DeleteAll();
    ASSERT_NE(Data(), nullptr);
    EXPECT_EQ(*Data(), stored) << "what a real wall left is kept";
}

TEST_F(BunkerWallTest, HardImpactsRaiseDustAndSoundOnceShooting)
{
    Run("WallInit");
    cTarvelControlBunkerWall* wall = Wall();
    const int32_t channels = gTarvel.mSound.mChannels.Count();
    auto impact = [&](sPhysicsBody* a, sPhysicsBody* b, float strength) {
        gTarvel.mPhysics.mContacts.Clear();
        gTarvel.mPhysics.mContacts.Add({a, b, strength, 0.0f, {10, 20, 30}, {0, 1, 0}});
        wall->Update();
    };
    sPhysicsBody* brick = wall->mBrickBodies[3];
    sPhysicsBody* ground = wall->mFixedBodies[0];
    impact(brick, ground, 500.0f);
    EXPECT_EQ(wall->mDust.Count(), 0) << "not before execute";

    MakePlayer(0, 0, -300);
    Run("WallExecute");
    EXPECT_TRUE(wall->mShooting);
    impact(brick, ground, 100.0f);
    impact(ground, nullptr, 500.0f);
    EXPECT_EQ(wall->mDust.Count(), 0);
    EXPECT_EQ(gTarvel.mSound.mChannels.Count(), channels);

    impact(ground, brick, 250.0f);
    ASSERT_EQ(wall->mDust.Count(), 1);
    auto* dust = static_cast<cTarvelParticleDust*>(wall->mDust[0]);
    EXPECT_EQ(dust->mMaxCount, 25);
    EXPECT_EQ(dust->mTextureName, "particle_dust");
    EXPECT_EQ(dust->mLifeTime, -4.0f);
    EXPECT_EQ(dust->mGlowOutTime, 5.0f);
    EXPECT_EQ(gTarvel.mSound.mChannels.Count(), channels + 1);
    sSoundChannel* sound = gTarvel.mSound.mChannels[channels];
    EXPECT_NEAR(sound->volume, 250.0f / 750.0f, 1e-6f);

    // The dust dies out and goes.
    gTarvel.mPhysics.mContacts.Clear();
    At(gTarvel.mTimer.mGameSeconds + 100.0f);
    gTarvel.mTimer.mFrameSeconds = 50.0f;
    wall->Update();
    EXPECT_EQ(wall->mDust.Count(), 0);
}

TEST_F(BunkerWallTest, ScreenShootsAtMostEveryHalfSecondAndEndsOnARightClick)
{
    Run("WallInit");
    cTarvelControlBunkerWall* wall = Wall();
    MakePlayer(0, 0, -300);
    gScreenControls.Add(new cTarvelScreenControlInvOnly);
    Run("WallExecute");
    ASSERT_EQ(gScreenControls.Count(), 1) << "the stack is emptied first";
    auto* screen = dynamic_cast<cTarvelScreenControlBunkerWall*>(Top());
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->mTypeId, 30);
    EXPECT_EQ(screen->mLeft, 100);
    EXPECT_EQ(screen->mTop, 200);
    EXPECT_EQ(screen->mRight, 900);
    EXPECT_EQ(screen->mBottom, 640) << "three integers: the stage bottom closes the rectangle";
    cTarvelGameplay& gameplay = gTarvel.mGameplay;

    // The mouse is held inside the rectangle.
    gameplay.mMouseX = 20;
    gameplay.mMouseY = 700;
    EXPECT_TRUE(screen->Update());
    EXPECT_EQ(gameplay.mMouseX, 100);
    EXPECT_EQ(gameplay.mMouseY, 640);
    EXPECT_EQ(screen->mAimX, 100.0f);
    EXPECT_EQ(gTarvel.mPlayer->mLookAtID, 34);

    Records().clear();
    const struct {
        float at;
        int32_t latch;
        bool shoots;
    } clicks[] = {{10.0f, 1, true}, {10.3f, 1, false}, {10.5f, 2, false}, {10.6f, 2, true}, {11.2f, 1, true}};
    for (const auto& c : clicks) {
        SCOPED_TRACE(c.at);
        At(c.at);
        const size_t before = Records().size();
        gameplay.mLeftLatch = c.latch;
        EXPECT_TRUE(screen->Update());
        EXPECT_EQ(gameplay.mLeftLatch, 0) << "the click is taken either way";
        EXPECT_EQ(Records().size(), before + (c.shoots ? 1 : 0));
    }
    EXPECT_EQ(SceneCalls(), (std::vector<std::string>{"shoot", "shoot", "shoot"}));

    // The cross-hair is hidden for half a second after a shot.
    auto drawsAt = [&](float seconds) {
        At(seconds);
        pt::RecordDraws(true);
        pt::ClearRecordedDraws();
        IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
        EXPECT_EQ(device->BeginScene(), D3D_OK);
        screen->Render();
        device->EndScene();
        size_t draws = 0;
        for (const pt::DrawRecord& d : pt::RecordedDraws())
            draws += d.textures[0] == wall->mCursor->GetCurrentFrame() ? 1 : 0;
        pt::RecordDraws(false);
        EXPECT_EQ(gTarvel.mGraphics.mCursorKind, 12);
        return draws;
    };
    EXPECT_EQ(drawsAt(11.5f), 0u);
    EXPECT_GT(drawsAt(11.8f), 0u);

    gameplay.mRightLatch = 2;
    EXPECT_FALSE(screen->Update());
    EXPECT_TRUE(screen->mDone);
    EXPECT_EQ(SceneCalls().back(), "end");
}

TEST_F(BunkerWallTest, ShootNowHitsTheBrickUnderTheAimOnlyWithTheScreenOnTop)
{
    Run("WallInit");
    MakePlayer(0, 0, -300);
    cTarvelControlBunkerWall* wall = Wall();
    Run("WallShootNow");
    EXPECT_EQ(wall->mDust.Count(), 0) << "no screen";
    Run("WallExecute");
    gScreenControls.Add(new cTarvelScreenControlInvOnly);
    Run("WallShootNow");
    EXPECT_EQ(wall->mDust.Count(), 0) << "another screen on top";
    ClearScreenControls();

    Run("WallExecute");
    // Aim at the centre of the stage: the brick left of the middle of the
    // second course (x -20, y 90) lies under it.
    gTarvel.mGameplay.mMouseX = 500;
    gTarvel.mGameplay.mMouseY = 384;
    Top()->Update();
    At(20.0f);
    const D3DXMATRIX before = BodyMatrix(wall->mBrickBodies[14]);
    Run("WallShootNow");
    ASSERT_EQ(wall->mDust.Count(), 1);
    EXPECT_EQ(wall->mDust[0]->mClass, 3);
    EXPECT_EQ(wall->mSparks->mLastEmit, 20.0f);
    // Pushed into the wall (+z) and down it goes.
    gTarvel.mTimer.mFrameSeconds = 1.0f / 60.0f;
    for (int frame = 0; frame < 60; ++frame)
        gTarvel.mPhysics.Update();
    const D3DXMATRIX after = BodyMatrix(wall->mBrickBodies[14]);
    EXPECT_GT(after._43, before._43 + 1.0f);
    // A brick away from the hit only settles.
    EXPECT_NEAR(BodyMatrix(wall->mBrickBodies[0])._43, 0.0f, 1.0f);
}

}  // namespace
