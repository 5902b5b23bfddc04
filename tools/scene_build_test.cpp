#include "tools/scene_build.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "engine/gameplay/region_set.h"
#include "engine/render/render_test_support.h"
#include "engine/world/scene.h"
#include "engine/world/view.h"
#include "engine/world/walk_area.h"
#include "platform/fmod/testing.h"
#include "tools/text_form.h"
#include "tools/text_form_test_support.h"

namespace {

using testkit::ReadSceneText;
using testkit::TextFormError;
using testkit::testing::ScratchFolder;

const char* kScript = R"(global Yard object class=cScene
ret
function Yard::OnLoad
ret
)";

// A floor square with a hole in the middle, nodes around the hole, and one
// node the links do not reach; a door hotspot in the only view.
const char* kScene = R"(scene Yard
script yard.script
occlusion yard.occlusion
mesh ground
  vertex -10 0 -10
  vertex 10 0 -10 normal 0 1 0
  vertex 10 0 10
  triangle 0 2 1
view Front camera 0 5 -20 turn 0 1 0 90 fov 60 picture yard_front
walkarea Floor
  polygon
    point -10 0 -10
    point 10 0 -10
    point 10 2 10
    point -10 2 10
  polygon hole
    point -2 0 -2
    point 2 0 -2
    point 2 0 2
    point -2 0 2
  triangle 0:0 0:1 0:2
  triangle 0:0 0:2 0:3
  node -5 -5
  node 5 -5
  node 5 5
  node -8 8
  link 0 1
  link 1 2
hotspot 7
  region Front
    polygon
      point 100 200
      point 300 200
      point 300 400
)";

class SceneBuildTest : public RenderTest {};

TEST_F(SceneBuildTest, BuiltSceneIsReadByTheEngine)
{
    ScratchFolder scratch;
    scratch.Write("yard.script", kScript);
    scratch.Write("yard.occlusion", std::string(12, 'o'));
    const testkit::SceneSource source = ReadSceneText(kScene, scratch.path + "/");
    ASSERT_EQ(source.pictures, std::vector<std::string>{"yard_front"});
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "Yard", testkit::kSceneResourceType, testkit::BuildSceneFile(source.file), false);
    });
    auto* scene = new cTarvelScene();
    scene->mSlot = gTarvel.mResources.OpenResource("Yard", testkit::kSceneResourceType);
    ASSERT_EQ(gTarvel.ChangeScene(scene, 0), 0);
    EXPECT_STREQ(scene->mHeader.name, "Yard");
    ASSERT_NE(scene->mScriptObject, nullptr);  // the script's "Yard" object was found
    EXPECT_EQ(platform::testing::FmodSystem().lastGeometrySize, 12u);

    ASSERT_EQ(scene->mMeshes.size(), 1u);
    EXPECT_STREQ(scene->mMeshes[0].name, "ground");
    EXPECT_EQ(std::vector<uint16_t>(scene->mMeshes[0].indices, scene->mMeshes[0].indices + 3),
              (std::vector<uint16_t>{0, 2, 1}));
    EXPECT_EQ(scene->mMeshes[0].positions[2], D3DXVECTOR3(10, 0, 10));

    cTarvelView* front = scene->FindView("Front");
    ASSERT_NE(front, nullptr);
    const float* camera = front->mRecord.camera;
    EXPECT_EQ(camera[1], 5.0f);
    EXPECT_EQ(camera[2], -20.0f);
    // 90 degrees about y: (0, sin 45, 0, cos 45); 60 degrees in radians.
    EXPECT_NEAR(camera[4], std::sqrt(0.5), 1e-6);
    EXPECT_NEAR(camera[6], std::sqrt(0.5), 1e-6);
    EXPECT_NEAR(camera[7], M_PI / 3, 1e-6);

    cTarvelWalkArea* floor = scene->FindWalkArea("Floor");
    ASSERT_NE(floor, nullptr);
    floor->mEnabled = 1;
    EXPECT_FALSE(floor->IsInside(0, 0));  // in the hole
    float y = 0;
    ASSERT_TRUE(floor->GetHeightAt(-6, 5, y));  // the triangles hold the point
    EXPECT_NEAR(y, 1.5, 1e-5);
    ASSERT_EQ(floor->mRecord.nodeCount, 4u);
    for (int n = 0; n < 4; ++n)
        EXPECT_EQ(floor->mNodes[n].polygon, 0) << n;
    const sWalkRoute* routes = floor->mRoutes;
    // 0 to 2 goes by 1: 10 + 10.
    EXPECT_EQ(routes[0 * 4 + 2].direct, 0);
    EXPECT_EQ(routes[0 * 4 + 2].next, 1);
    EXPECT_FLOAT_EQ(routes[0 * 4 + 2].length, 20.0f);
    EXPECT_EQ(routes[2 * 4 + 0].next, 1);
    EXPECT_EQ(routes[1 * 4 + 2].direct, 1);
    EXPECT_EQ(routes[1 * 4 + 2].next, 2);
    EXPECT_FLOAT_EQ(routes[1 * 4 + 2].length, 10.0f);
    EXPECT_EQ(routes[1 * 4 + 1].next, -1);
    EXPECT_EQ(routes[1 * 4 + 1].length, 0.0f);
    // Node 3 is linked to none: no route costs less than the path finder's start.
    EXPECT_EQ(routes[0 * 4 + 3].next, -1);
    EXPECT_GE(routes[0 * 4 + 3].length, 100000.0f);

    ASSERT_EQ(scene->mHotspots.count, 1);
    const cTarvelRegionSet& door = *scene->mHotspots[0];
    EXPECT_EQ(door.mNumber, 7u);
    ASSERT_EQ(door.mRecordCount, 1u);
    EXPECT_EQ(door.mRecords[0].view, front);
    EXPECT_EQ(door.mRecords[0].polygons[0].points[1].x, 300);
}

struct Refusal {
    const char* body;  // after "scene S\nscript s.script\n" (lines 1 and 2)
    int line;
    const char* reason;
};

TEST(SceneBuildRefusalTest, BadLinesAreRefusedWithTheirLineAndReason)
{
    ScratchFolder scratch;
    scratch.Write("s.script", "global S object class=cScene\nret\n");
    const Refusal cases[] = {
        {"walkarea W\npolygon\npoint 0 0 0\npoint 4 0 0\npoint 4 0 4\ntriangle 0:0 0:2 0:3\n", 8,
         "the triangle names vertex 0:3, which the walk area does not have"},
        {"walkarea W\npolygon\npoint 0 0 0\npoint 4 0 0\npoint 4 0 4\ntriangle 0:0 1:0 0:1\n", 8,
         "the triangle names vertex 1:0"},
        {"walkarea W\npolygon\npoint 0 0 0\npoint 4 0 0\npoint 4 0 4\ntriangle 0:0 0:2 0:1\n", 8,
         "the triangle's corners run the wrong way round"},
        {"walkarea W\npolygon\npoint 0 0 0\npoint 4 0 0\npoint 4 0 4\ntriangle 0:0 2 0:1\n", 8,
         "a corner is <polygon>:<point>, not \"2\""},
        {"walkarea W\npolygon\npoint 0 0 0\npoint 4 0 0\nnode 1 1\n", 4, "a polygon needs at least 3 points"},
        {"walkarea W\n", 3, "walk area \"W\" has no polygon"},
        {"walkarea W\npolygon\npoint 0 0 0\npoint 4 0 0\npoint 4 0 4\npoint 0 0 4\nnode 5 5\n", 9,
         "the node lies outside the walk area"},
        {"walkarea W\npolygon\npoint 0 0 0\npoint 4 0 0\npoint 4 0 4\npoint 0 0 4\nnode 1 1\nlink 0 1\n", 10,
         "the link names node 1 of a walk area with 1 nodes"},
        {"walkarea W\npolygon\npoint 0 0 0\npoint 4 0 0\npoint 2 0 2\npoint 4 0 4\npoint 0 0 4\n"
         "node 3 0.5\nnode 3 3.5\nlink 0 1\n",
         12, "the link crosses an edge of the walk area"},
        {"mesh M\nvertex 0 0 0\nvertex 1 0 0\ntriangle 0 1 2\n", 6, "the triangle names vertex 2 of a mesh with 2 vertices"},
        {"mesh M\nvertex 0 0 0\nview V camera 0 0 0\n", 3, "mesh \"M\" has no triangle"},
        {"view V fov 40\n", 3, "the view has no \"camera <x> <y> <z>\""},
        {"view V camera 0 0 0 fov 200\n", 3, "a field of view lies between 0 and 180 degrees"},
        {"view V camera 0 0\n", 3, "a number is missing"},
        {"hotspot 1\nregion Back\npolygon\npoint 0 0\npoint 1 0\npoint 1 1\n", 4,
         "the region names view \"Back\", which the scene does not have"},
        {"hotspot 1\nhotspot 1\n", 4, "hotspot 1 is numbered twice"},
        {"hotspot 1\npolygon\n", 4, "\"polygon\" belongs to a walk area or a hotspot's region"},
        {"point 1 2 3\n", 3, "\"point\" belongs to a polygon"},
        {"lamp L\n", 3, "\"lamp\" is not a statement of a scene"},
        {"script s.script\n", 3, "the scene has one script"},
        {"occlusion missing.bin\n", 3, "cannot read the occlusion block"},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.body);
        try {
            ReadSceneText(std::string("scene S\nscript s.script\n") + c.body, scratch.path + "/");
            ADD_FAILURE() << "accepted";
        } catch (const TextFormError& error) {
            EXPECT_EQ(error.line, c.line);
            EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << error.what();
        }
    }
    try {
        ReadSceneText("scene S\nview V camera 0 0 0\n", scratch.path + "/");
        ADD_FAILURE() << "accepted without a script";
    } catch (const TextFormError& error) {
        EXPECT_STREQ(error.what(), "the scene has no \"script\"");
    }
}

TEST(SceneBuildToolTest, StopsWithTheScriptsOwnLineOrListsThePictures)
{
    ScratchFolder scratch;
    scratch.Write("bad.script", "global S object class=cScene\nret\nfrobnicate 3\n");
    const std::string source = scratch.Write("s.scene.txt", "scene S\nscript bad.script\n");
    const testkit::testing::ToolRun run =
        testkit::testing::RunTool(scratch, "scene_build", source + " " + scratch.path + "/S.scene");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.error.rfind(scratch.path + "/bad.script:3: ", 0), 0u) << run.error;

    scratch.Write("good.script", "global S object class=cScene\nret\n");
    const std::string good = scratch.Write(
        "good.txt", "scene S\nscript good.script\nview A camera 0 0 0 picture a_bg\nview B camera 0 0 0\n"
                    "view C camera 1 1 1 picture c_bg\n");
    ASSERT_EQ(testkit::testing::RunTool(scratch, "scene_build", good + " " + scratch.path + "/S.scene").exitCode, 0);
    EXPECT_FALSE(scratch.Read("S.scene").empty());
    ASSERT_EQ(testkit::testing::RunTool(scratch, "scene_build", "--pictures " + good + " >" + scratch.path + "/list")
                  .exitCode,
              0);
    EXPECT_EQ(scratch.Read("list"), "a_bg\nc_bg\n");
}

}  // namespace
