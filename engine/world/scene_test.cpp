#include "engine/world/scene.h"

#include <cstring>
#include <string>
#include <vector>

#include <tinyxml.h>

#include "engine/gameplay/region_set.h"
#include "engine/gameplay/savegame.h"
#include "engine/render/render_test_support.h"
#include "engine/script/script.h"
#include "engine/script/script_handles.h"
#include "engine/world/camera.h"
#include "engine/world/view.h"
#include "engine/world/walk_area.h"
#include "platform/fmod/testing.h"
#include "tools/scene_writer.h"
#include "tools/script_assembler.h"

namespace {

namespace pt = platform::testing;
using testkit::SceneFile;
using testkit::WalkRef;

std::vector<std::string> gCalls;

void Observe(cTarvelScript*, const char* name)
{
    gCalls.push_back(name);
}

const char* kRoomScript = R"(
global Room object class=cScene
global door object class=cHotspot
global lamp object class=cMobile
global stairs object class=cPath
global guard object class=cNPC
ret
function Room::OnLoad
ret
function Room::OnEnter
ret
function Room::InitView_Main
ret
function door::OnInit
ret
function stairs::OnInit
ret
function guard::OnInit
ret
function on_leave
ret
function step_in
ret
function step_out
ret
)";

// A room of two views, three meshes (one with vertices but no indices), a
// walk area with a hole and a two-node graph, and three hotspots.
SceneFile Room()
{
    SceneFile scene;
    scene.name = "Room";
    testkit::SceneMesh floor;
    floor.name = "floor";
    floor.vertices = {{-100, 0, 0, 0, 1, 0}, {100, 0, 0, 0, 1, 0}, {100, 0, 200, 0, 1, 0}, {-100, 0, 200, 0, 1, 0}};
    floor.indices = {0, 2, 1, 0, 3, 2};
    testkit::SceneMesh empty;
    empty.name = "empty";
    empty.vertices = {{1, 2, 3, 0, 1, 0}};   // an index count of 0: nothing follows the record
    testkit::SceneMesh wall;
    wall.name = "wall";
    wall.vertices = {{-100, 0, 300, 0, 0, -1}, {100, 0, 300, 0, 0, -1}, {0, 200, 300, 0, 0, -1}};
    wall.indices = {0, 2, 1};
    scene.meshes = {floor, empty, wall};
    scene.views = {{"Main", {0, 150, -500, 0, 0, 0, 1, 0.785f}}, {"Close", {10, 20, 30, 0, 0.5f, 0, 0.8660254f, 1.0f}}};

    testkit::SceneWalkArea area;
    area.name = "Floor";
    area.polygons = {{false, {{-100, 0, 0}, {100, 0, 0}, {100, 10, 200}, {-100, 10, 200}}},
                     {true, {{-10, 0, 90}, {10, 0, 90}, {10, 0, 110}, {-10, 0, 110}}}};
    area.triangles = {{WalkRef(0, 0), WalkRef(0, 2), WalkRef(0, 1)}, {WalkRef(0, 0), WalkRef(0, 3), WalkRef(0, 2)}};
    area.nodes = {{-50, 50, 0, 0}, {50, 150, 0, 0}};
    area.routes = {{0, 0, -1, 0}, {1, 0, 1, 141.4f}, {1, 0, 0, 141.4f}, {0, 0, -1, 0}};
    area.reserved[0] = 0xAB;
    testkit::SceneWalkArea plain;
    plain.name = "Plain";
    scene.walkAreas = {area, plain};

    testkit::SceneHotspot door;
    door.number = 7;
    door.regions = {{"Main", {{false, {{100, 200}, {300, 200}, {300, 400}, {100, 400}}}}, {{1, 2, 3}}},
                    {"Nowhere", {{false, {{0, 0}, {1000, 0}, {1000, 700}, {0, 700}}}}, {}}};
    testkit::SceneHotspot stairs;
    stairs.number = 9;
    stairs.regions = {{"Close", {{false, {{-10, -20}, {-30, -20}, {-30, -40}}}}, {}}, {"Main", {}, {}}};
    testkit::SceneHotspot bare;
    bare.number = 11;
    scene.hotspots = {door, stairs, bare};
    scene.occlusion = std::vector<uint8_t>(16, 0x5A);
    scene.script = AssembleScriptOrThrow(kRoomScript);
    return scene;
}

// The scene's savegame element as text, and back, through the engine's cursor.
std::string SaveText(cTarvelScene* scene)
{
    TiXmlDocument document;
    auto* root = new TiXmlElement("Demogame");
    document.LinkEndChild(root);
    cTarvelSavegame& cursor = gTarvel.mSavegame;
    cursor.mRoot = cursor.mCurrent = root;
    cursor.AddElement("Scene");
    scene->SaveState(cursor);
    cursor.LeaveElement();
    cursor.mRoot = cursor.mCurrent = nullptr;
    TiXmlPrinter printer;
    document.Accept(&printer);
    return printer.CStr();
}

bool LoadText(cTarvelScene* scene, const std::string& text)
{
    TiXmlDocument document;
    document.Parse(text.c_str());
    cTarvelSavegame& cursor = gTarvel.mSavegame;
    cursor.mRoot = cursor.mCurrent = document.RootElement();
    const bool found = cursor.mRoot && cursor.EnterElement("Scene");
    if (found)
        scene->LoadState(cursor);
    cursor.mRoot = cursor.mCurrent = nullptr;
    return found;
}

class SceneTest : public RenderTest {
protected:
    void SetUp() override
    {
        RenderTest::SetUp();
        gCalls.clear();
        cTarvelScript::sCallObserver = Observe;
    }
    void TearDown() override
    {
        cTarvelScript::sCallObserver = nullptr;
        RenderTest::TearDown();
    }

    // Starts the engine on an archive holding the scene files.
    void StartWithScenes(const std::vector<std::pair<std::string, SceneFile>>& scenes)
    {
        StartWith([&](testkit::ArchiveWriter& writer) {
            for (const auto& [name, file] : scenes)
                writer.AddShared(1, name, testkit::kSceneResourceType, testkit::BuildSceneFile(file), false);
        });
    }

    // Makes the named scene current as the scene change does.
    cTarvelScene* Enter(const char* name, int restoring = 0)
    {
        auto* scene = new cTarvelScene();
        scene->mSlot = gTarvel.mResources.OpenResource(name, testkit::kSceneResourceType);
        EXPECT_EQ(gTarvel.ChangeScene(scene, restoring), 0);
        return scene;
    }
};

TEST_F(SceneTest, ReadsEveryBlockOfAWrittenScene)
{
    StartWithScenes({{"Room", Room()}});
    cTarvelScene* scene = Enter("Room");
    ASSERT_EQ(gTarvel.mScene, scene);
    EXPECT_STREQ(scene->mHeader.name, "Room");

    ASSERT_EQ(scene->mMeshes.size(), 3u);
    const sSceneMeshRecord& floor = scene->mMeshes[0];
    EXPECT_STREQ(floor.name, "floor");
    ASSERT_NE(floor.vertices, nullptr);
    EXPECT_EQ(floor.vertices[6 * 2 + 2], 200.0f);   // vertex 2's z
    EXPECT_EQ(floor.positions[3], D3DXVECTOR3(-100, 0, 200));
    EXPECT_EQ(std::vector<uint16_t>(floor.indices, floor.indices + 6), (std::vector<uint16_t>{0, 2, 1, 0, 3, 2}));
    const sSceneMeshRecord& empty = scene->mMeshes[1];
    EXPECT_EQ(empty.vertexCount, 1u);
    EXPECT_EQ(empty.indexCount, 0u);
    EXPECT_EQ(empty.vertices, nullptr);
    EXPECT_EQ(empty.indices, nullptr);
    // The record after a mesh without data starts right after it.
    EXPECT_STREQ(scene->mMeshes[2].name, "wall");
    EXPECT_EQ(scene->mMeshes[2].positions[2], D3DXVECTOR3(0, 200, 300));
    EXPECT_EQ(scene->FindMesh("wall"), &scene->mMeshes[2]);
    EXPECT_EQ(scene->FindMesh("Wall"), nullptr);

    ASSERT_EQ(scene->mViews.count, 2);
    cTarvelView* main = scene->FindView("Main");
    cTarvelView* close = scene->FindView("Close");
    ASSERT_TRUE(main && close);
    EXPECT_EQ(close->mRecord.camera[1], 20.0f);
    EXPECT_EQ(close->mRecord.camera[7], 1.0f);
    EXPECT_EQ(main->mMeshSettingCount, 3u);
    EXPECT_EQ(main->mMeshSettings[2].mesh, &scene->mMeshes[2]);

    ASSERT_EQ(scene->mWalkAreas.count, 2);
    cTarvelWalkArea* area = scene->FindWalkArea("Floor");
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->mPolygons.size(), 2u);
    EXPECT_EQ(area->mPolygons[1].hole, 1);
    EXPECT_EQ(area->mPolygons[0].vertices[3 * 2 + 1], 10.0f);
    EXPECT_EQ(area->mRecord.triangleCount, 2u);
    EXPECT_EQ(area->mRecord.reserved[0], 0xAB);
    ASSERT_EQ(area->mRecord.nodeCount, 2u);
    EXPECT_EQ(area->mNodes[1].x, 50.0f);
    EXPECT_EQ(area->mNodes[1].z, 150.0f);
    EXPECT_EQ(area->mRoutes[1].direct, 1);
    EXPECT_EQ(area->mRoutes[1].next, 1);
    EXPECT_FLOAT_EQ(area->mRoutes[2].length, 141.4f);
    EXPECT_EQ(scene->FindWalkArea("Plain")->mPolygons.size(), 0u);

    EXPECT_EQ(pt::FmodSystem().lastGeometrySize, 16u);
    ASSERT_NE(scene->mGeometry, nullptr);

    ASSERT_EQ(scene->mHotspots.count, 3);
    const cTarvelRegionSet& door = *scene->mHotspots[0];
    EXPECT_EQ(door.mNumber, 7u);
    ASSERT_EQ(door.mRecordCount, 2u);
    EXPECT_EQ(door.mRecords[0].view, main);
    EXPECT_EQ(door.mRecords[1].view, nullptr);   // kept, never hit
    EXPECT_STREQ(door.mRecords[1].name, "Nowhere");
    EXPECT_EQ(door.mRecords[0].extraCount, 1u);
    EXPECT_EQ(static_cast<const uint8_t*>(door.mRecords[0].extra)[2], 3);
    EXPECT_EQ(door.mRecords[0].rings[0].points[2].x, 300);
    EXPECT_EQ(door.mCentres[0].x, 200);
    EXPECT_EQ(door.mCentres[0].y, 300);
    const cTarvelRegionSet& stairs = *scene->mHotspots[1];
    EXPECT_EQ(stairs.mRecords[0].view, close);
    // Negative points average as signed numbers; no polygon keeps (0, 0).
    EXPECT_EQ(stairs.mCentres[0].x, -23);
    EXPECT_EQ(stairs.mCentres[0].y, -26);
    EXPECT_EQ(stairs.mCentres[1].x, 0);
    EXPECT_EQ(scene->mHotspots[2]->mRecordCount, 0u);

    // The script's symbol of the scene is bound to it.
    ASSERT_NE(scene->mScriptObject, nullptr);
    EXPECT_EQ(gScriptHandles.Get<cTarvelScene>(scene->mScriptObject->object, eScriptObjectType::Scene), scene);
}

TEST_F(SceneTest, StartUpRunsTheEventsInOrderAndSelectsTheFirstView)
{
    StartWithScenes({{"Room", Room()}});
    cTarvelScene* scene = Enter("Room");
    EXPECT_EQ(gCalls, (std::vector<std::string>{"#0", "Room::OnLoad", "door::OnInit", "stairs::OnInit",
                                                "guard::OnInit", "Room::OnEnter", "Room::InitView_Main"}));
    EXPECT_EQ(scene->mView, scene->FindView("Main"));
    EXPECT_EQ(gTarvel.mGameplay.mStateFlags, 5u);
    EXPECT_TRUE(gTarvel.mInventory.mEnabled);
    // The main camera took the view's pose and the picture band.
    EXPECT_EQ(gTarvel.mCamera.mPosition, D3DXVECTOR3(0, 150, -500));
    EXPECT_EQ(gTarvel.mCamera.mViewport.Y, 128u);
    EXPECT_EQ(gTarvel.mCamera.mViewport.Width, 1024u);
    EXPECT_EQ(gTarvel.mCamera.mViewport.Height, 512u);
}

TEST_F(SceneTest, RestoringRunsOnlyTheTopLevelCode)
{
    StartWithScenes({{"Room", Room()}});
    cTarvelScene* scene = Enter("Room", 1);
    EXPECT_EQ(gCalls, (std::vector<std::string>{"#0"}));
    EXPECT_EQ(scene->mView, nullptr);
}

TEST_F(SceneTest, ASceneWithNothingInItStillLoadsItsEmptyGeometry)
{
    SceneFile empty;
    empty.name = "Void";
    empty.script = AssembleScriptOrThrow("ret\n");
    StartWithScenes({{"Void", empty}});
    cTarvelScene* scene = Enter("Void");
    EXPECT_EQ(scene->mMeshes.size(), 0u);
    EXPECT_EQ(scene->mViews.count, 0);
    EXPECT_NE(scene->mGeometry, nullptr);
    EXPECT_EQ(pt::FmodSystem().lastGeometrySize, 0u);
    EXPECT_EQ(scene->mScriptObject, nullptr);
    EXPECT_EQ(scene->mView, nullptr);
}

TEST_F(SceneTest, DamagedFilesAreRefusedNamingTheScene)
{
    struct Case {
        const char* what;
        void (*damage)(SceneFile&);
    };
    const Case cases[] = {
        {"more meshes than the file holds", [](SceneFile& s) { s.meshCount = 0x7FFFFFFF; }},
        {"a mesh runs past the end of the file",
         [](SceneFile& s) { s.meshes[0].vertexCount = 0x20000000; }},
        {"a mesh index names a vertex that does not exist", [](SceneFile& s) { s.meshes[0].indices[4] = 4; }},
        {"more views than the file holds", [](SceneFile& s) { s.viewCount = 0xFFFFFFFF; }},
        {"more walk areas than the file holds", [](SceneFile& s) { s.walkAreaCount = 100000; }},
        {"a walk area's data block runs past the end of the file",
         [](SceneFile& s) { s.walkAreas[0].dataSize = 0xFFFFFFF0; }},
        {"a walk area's polygons run past its data block", [](SceneFile& s) { s.walkAreas[1].polygonCount = 1; }},
        {"a walk area's vertices run past its data block",
         [](SceneFile& s) {
             s.walkAreas[0].dataSize = 2 * 12 + 4 * 12;   // the second polygon's vertices are cut off
         }},
        {"a walk-area triangle names a vertex that does not exist",
         [](SceneFile& s) { s.walkAreas[0].triangles[1][2] = WalkRef(1, 4); }},
        {"a walk-area triangle names a vertex that does not exist",
         [](SceneFile& s) { s.walkAreas[0].triangles[0][0] = WalkRef(2, 0); }},
        {"a walk area's node table runs past its data block", [](SceneFile& s) { s.walkAreas[0].nodeCount = 3; }},
        {"a walk-area node names a polygon that does not exist",
         [](SceneFile& s) { s.walkAreas[0].nodes[0].polygon = 2; }},
        {"a walk-area route names a node that does not exist", [](SceneFile& s) { s.walkAreas[0].routes[3].next = 2; }},
        {"more hotspots than the file holds", [](SceneFile& s) { s.hotspotCount = 0x10000000; }},
        {"a hotspot's regions run past its data block", [](SceneFile& s) { s.hotspots[0].regionCount = 5; }},
        {"a hotspot's points run past its data block",
         [](SceneFile& s) { s.hotspots[2].regions = {{"Main", {}, {}}}, s.hotspots[2].dataSize = 84 + 12,
                            s.hotspots[2].regions[0].polygons = {{false, {{1, 1}}}}; }},
        {"the occlusion geometry runs past the end of the file", [](SceneFile& s) { s.occlusionSize = 0x7FFFFFFF; }},
    };
    std::vector<std::pair<std::string, SceneFile>> files;
    for (size_t i = 0; i < std::size(cases); ++i) {
        SceneFile file = Room();
        cases[i].damage(file);
        files.emplace_back("Bad" + std::to_string(i), file);
    }
    StartWithScenes(files);
    for (size_t i = 0; i < std::size(cases); ++i) {
        auto* scene = new cTarvelScene();
        const int slot = gTarvel.mResources.OpenResource(files[i].first.c_str(), testkit::kSceneResourceType);
        const std::string text = CatchFatalError([&] { scene->ReadFile(slot, 0); });
        EXPECT_NE(text.find(std::string("Scene file Room is damaged: ") + cases[i].what + "."), std::string::npos)
            << i << ": " << text;
        gTarvel.mResources.CloseResource(slot);
        delete scene;
    }
}

TEST_F(SceneTest, LeaveRunsItsStepsAndRecordsTheSceneName)
{
    StartWithScenes({{"Room", Room()}});
    cTarvelScene* scene = Enter("Room");
    gCalls.clear();
    gTarvel.mPDA.mOpen = true;
    gTarvel.mSceneName = "Elsewhere";
    scene->Leave(0);
    EXPECT_EQ(gCalls, (std::vector<std::string>{"on_leave"}));
    EXPECT_FALSE(gTarvel.mPDA.mOpen);
    EXPECT_EQ(gTarvel.mSceneName, "Room");
    gCalls.clear();
    scene->Leave(1);
    EXPECT_TRUE(gCalls.empty());
}

TEST_F(SceneTest, SaveLoadSaveGivesTheSameState)
{
    StartWithScenes({{"Room", Room()}});
    cTarvelScene* scene = Enter("Room");
    scene->mCaption = "The room";
    scene->FindView("Main")->mMeshSettings[0].renderMethod = 4;
    scene->FindView("Main")->mMeshSettings[0].depth = 2.5f;
    scene->mMeshes[2].pickDisabled = 1;
    cTarvelWalkArea* area = scene->FindWalkArea("Floor");
    area->mEnabled = 1;
    area->mEnterLeave = 1;
    area->mOnEnter = "step_in";
    area->mStairStepCount = 3;
    area->mAttachedView = scene->FindView("Close");
    scene->mHotspots[1]->mCaption = "Stairs";
    scene->mHotspots[1]->mIsPath = true;
    scene->mHotspots[1]->mDestination[0] = 5.0f;
    scene->mDetailViews.Add(scene->FindView("Close"));
    scene->Open(scene->FindView("Close"), 3, 0.25f, 0.0f);

    const std::string first = SaveText(scene);
    EXPECT_NE(first.find("<Caption>The room</Caption>"), std::string::npos) << first;
    EXPECT_NE(first.find("<Item0>Close</Item0>"), std::string::npos);

    cTarvelScene* restored = Enter("Room", 1);
    ASSERT_TRUE(LoadText(restored, first));
    EXPECT_EQ(restored->mView, restored->FindView("Main"));
    EXPECT_EQ(restored->mSecondView, restored->FindView("Close"));
    EXPECT_EQ(restored->mStages[1].size, 256.0f);
    EXPECT_EQ(restored->FindWalkArea("Floor")->mAttachedView, restored->FindView("Close"));
    EXPECT_TRUE(restored->mHotspots[1]->mIsPath);
    EXPECT_EQ(SaveText(restored), first);
}

TEST_F(SceneTest, AnUnknownActiveViewSelectsTheFirstView)
{
    StartWithScenes({{"Room", Room()}});
    cTarvelScene* scene = Enter("Room", 1);
    ASSERT_TRUE(LoadText(scene, "<Demogame><Scene name=\"Room\"><ActiveView>Gone</ActiveView>"
                                "<DetailViewStack count=\"1000000\"><Item0>Close</Item0><Item1>Gone</Item1>"
                                "</DetailViewStack><Stage1><ActiveView>Gone</ActiveView><Size>1e9</Size>"
                                "</Stage1></Scene></Demogame>"));
    EXPECT_EQ(scene->mView, scene->FindView("Main"));
    EXPECT_EQ(scene->mSecondView, nullptr);
    ASSERT_EQ(scene->mDetailViews.count, 1);
    EXPECT_EQ(scene->mDetailViews[0], scene->FindView("Close"));
}

} // namespace
