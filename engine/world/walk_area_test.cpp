#include "engine/world/walk_area.h"

#include <string>
#include <vector>

#include "engine/core/tarvel.h"
#include "engine/core/test_support.h"
#include "engine/script/script.h"
#include "engine/world/actor.h"
#include "engine/world/mobile.h"
#include "engine/world/scene.h"
#include "tools/archive_writer.h"
#include "tools/scene_writer.h"
#include "tools/script_assembler.h"

namespace {

using testkit::WalkRef;

std::vector<std::string> gCalls;

void Observe(cTarvelScript*, const char* name)
{
    gCalls.push_back(name);
}

// Walk areas read from a written scene:
//   "Ring": a 200 × 200 square with a hole in its middle, hole second;
//   "Inverted": the same two polygons, hole first;
//   "Slope": one square split into two triangles, height rising with x
//   (y = x / 10) and a strip at z > 100 covered by no triangle;
//   "Bare": a square without triangles.
class WalkAreaTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        testkit::SceneFile file;
        file.name = "Yard";
        const testkit::SceneWalkPolygon outer{false, {{0, 0, 0}, {200, 0, 0}, {200, 0, 200}, {0, 0, 200}}};
        const testkit::SceneWalkPolygon hole{true, {{80, 0, 80}, {120, 0, 80}, {120, 0, 120}, {80, 0, 120}}};
        testkit::SceneWalkArea ring;
        ring.name = "Ring";
        ring.polygons = {outer, hole};
        testkit::SceneWalkArea inverted;
        inverted.name = "Inverted";
        inverted.polygons = {hole, outer};
        testkit::SceneWalkArea slope;
        slope.name = "Slope";
        // The second polygon is a line: it holds the triangles' inner corners
        // and contains no point.
        slope.polygons = {{false, {{0, 0, 0}, {100, 10, 0}, {100, 10, 150}, {0, 0, 150}}},
                          {false, {{0, 0, 100}, {100, 10, 100}}}};
        // Counter-clockwise on the x/z plane, as the edge test wants them.
        slope.triangles = {{WalkRef(0, 0), WalkRef(0, 1), WalkRef(1, 1)},
                           {WalkRef(0, 0), WalkRef(1, 1), WalkRef(1, 0)}};
        testkit::SceneWalkArea bare;
        bare.name = "Bare";
        bare.polygons = {outer};
        file.walkAreas = {ring, inverted, slope, bare};
        file.script = AssembleScriptOrThrow("ret\nfunction in\nret\nfunction out\nret\n");
        testkit::ArchiveWriter writer;
        for (int language : {1, 7, 9})
            writer.AddLanguage(language);
        writer.AddVolume(1);
        AddStartupEntries(writer);
        writer.AddShared(1, "Yard", testkit::kSceneResourceType, testkit::BuildSceneFile(file), false);
        std::string error;
        ASSERT_TRUE(writer.Write(WorkDir(), &error)) << error;
        InitEngine();
        mScene = new cTarvelScene();
        mScene->mSlot = gTarvel.mResources.OpenResource("Yard", testkit::kSceneResourceType);
        ASSERT_EQ(gTarvel.ChangeScene(mScene, 0), 0);
        for (cTarvelWalkArea* area : mScene->mWalkAreas)
            area->mEnabled = 1;
    }
    cTarvelWalkArea& Area(const char* name) { return *mScene->FindWalkArea(name); }
    cTarvelScene* mScene = nullptr;
};

TEST_F(WalkAreaTest, HolesCountInFileOrder)
{
    struct Case {
        float x, z;
        bool ring, inverted;
    };
    const Case cases[] = {
        {50, 50, true, true},       // outer only
        {100, 100, false, true},    // in the hole: the later polygon decides
        {250, 100, false, false},   // outside both
        {0, 0, true, true},         // a corner lies on the lower edge: inside
        {200, 100, false, false},   // the right edge is not
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Area("Ring").IsInside(c.x, c.z), c.ring) << c.x << "," << c.z;
        EXPECT_EQ(Area("Inverted").IsInside(c.x, c.z), c.inverted) << c.x << "," << c.z;
    }
    float minX, minZ, maxX, maxZ;
    Area("Ring").GetBounds(minX, minZ, maxX, maxZ);
    EXPECT_EQ(minX, 0.0f);
    EXPECT_EQ(maxZ, 200.0f);
}

TEST_F(WalkAreaTest, HeightsComeFromTheTrianglesOrTheLastOne)
{
    cTarvelWalkArea& slope = Area("Slope");
    float y = -1;
    ASSERT_TRUE(slope.GetHeightAt(30, 20, y));
    EXPECT_NEAR(y, 3.0f, 1e-5f);
    EXPECT_EQ(slope.mLastTriangle, 0);
    // On the shared diagonal: the first triangle that holds it.
    ASSERT_TRUE(slope.GetHeightAt(50, 50, y));
    EXPECT_NEAR(y, 5.0f, 1e-5f);
    ASSERT_TRUE(slope.GetHeightAt(20, 60, y));
    EXPECT_NEAR(y, 2.0f, 1e-5f);
    EXPECT_EQ(slope.mLastTriangle, 1);
    // In the area, in no triangle: the last triangle (0, 0), (100, 100),
    // (0, 100) weighted by squared distance. At (0, 125): d = 15625, 10625,
    // 625, heights 0, 10, 0: y = (15625 + 625) * 10 / (2 * 26875).
    ASSERT_TRUE(slope.GetHeightAt(0.0f, 125.0f, y));
    EXPECT_NEAR(y, 16250.0f * 10.0f / 53750.0f, 1e-4f);
    // Outside, or with no triangles at all: no height.
    EXPECT_FALSE(slope.GetHeightAt(150, 50, y));
    EXPECT_FALSE(Area("Bare").GetHeightAt(50, 50, y));
}

TEST_F(WalkAreaTest, SegmentsCrossEdgesIncludingTheClosingOne)
{
    cTarvelWalkArea& ring = Area("Bare");
    EXPECT_TRUE(ring.SegmentCrosses(100, 100, 100, 300));   // through the edge z = 200
    EXPECT_TRUE(ring.SegmentCrosses(100, 100, -50, 100));   // through the closing edge x = 0
    EXPECT_FALSE(ring.SegmentCrosses(20, 20, 180, 180));    // inside
    EXPECT_FALSE(ring.SegmentCrosses(100, 100, 100, 200));  // ends on the edge
    EXPECT_FALSE(ring.SegmentCrosses(-10, 0, 300, 0));      // along the edge
}

TEST_F(WalkAreaTest, ADisabledAreaAnswersNo)
{
    cTarvelWalkArea& ring = Area("Ring");
    ring.mEnabled = 0;
    float y = 0;
    EXPECT_FALSE(ring.IsInside(50, 50));
    EXPECT_FALSE(ring.GetHeightAt(50, 50, y));
    EXPECT_FALSE(ring.SegmentCrosses(100, 100, 100, 300));
}

TEST_F(WalkAreaTest, TriggersCallLeaveThenEnterOncePerCrossing)
{
    cTarvelActor player("OFF", "", false);
    cTarvelMobile mobile;
    player.mMobile = &mobile;
    gTarvel.mPlayer = &player;
    gCalls.clear();
    cTarvelScript::sCallObserver = Observe;
    cTarvelWalkArea& ring = Area("Ring");
    ring.mEnterLeave = 1;
    ring.mOnEnter = "in";
    ring.mOnLeave = "out";
    const float xs[] = {50, 60, 100, 50, 300};
    for (float x : xs) {
        mobile.mPosition = D3DXVECTOR3(x, 0, 100);
        ring.UpdatePlayerTrigger();
    }
    ring.mEnabled = 0;
    mobile.mPosition = D3DXVECTOR3(50, 0, 50);
    ring.UpdatePlayerTrigger();
    cTarvelScript::sCallObserver = nullptr;
    player.mMobile = nullptr;
    gTarvel.mPlayer = nullptr;
    EXPECT_EQ(gCalls, (std::vector<std::string>{"in", "out", "in", "out"}));
}

} // namespace
