#include "engine/world/scene.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <tinyxml.h>

#include "engine/gameplay/cinematic.h"
#include "engine/gameplay/region_set.h"
#include "engine/render/flashlight.h"
#include "engine/render/image.h"
#include "engine/render/shadow.h"
#include "engine/render/video.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/mobile.h"
#include "engine/world/mobile_animation.h"
#include "engine/world/mobile_controllers.h"
#include "engine/gameplay/savegame.h"
#include "engine/render/render_test_support.h"
#include "engine/script/script.h"
#include "engine/script/script_handles.h"
#include "engine/world/camera.h"
#include "engine/world/light.h"
#include "engine/world/view.h"
#include "engine/world/walk_area.h"
#include "platform/fmod/testing.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"
#include "tools/anim_file_writer.h"
#include "tools/mobile_actor_writer.h"
#include "tools/scene_writer.h"
#include "tools/script_assembler.h"
#include "tools/video_writer.h"

namespace {

namespace pt = platform::testing;
using testkit::SceneFile;
using testkit::WalkRef;

std::vector<std::string> gCalls;
// Run on each observed call, standing in for what the script would do.
std::function<void(const std::string&)> gOnCall;

void Observe(cTarvelScript* script, const char* name)
{
    // The gameplay start-up's call of "Main::Init" is not the scene's.
    if (script != gTarvel.mGameplay.mMainScript)
        gCalls.push_back(name);
    if (gOnCall)
        gOnCall(name);
}

const char* kRoomScript = R"(
global Room object class=cScene
global door object class=cHotspot
global lamp object class=cMobile
global stairs object class=cPath
global guard object class=cNPC
global window object class=cHotspot
global Close object class=cView
global wall object class=cMesh
global floor object class=cMobile
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
    floor.indices = {0, 1, 2, 0, 2, 3};
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
    // Corners in the order whose triangle holds points: as (0, 0), (1, 0), (0, 1) in x, z.
    area.triangles = {{WalkRef(0, 0), WalkRef(0, 1), WalkRef(0, 2)}, {WalkRef(0, 0), WalkRef(0, 2), WalkRef(0, 3)}};
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
    testkit::SceneHotspot window;
    window.number = 12;
    window.regions = {{"Close", {{false, {{400, 200}, {500, 200}, {500, 400}, {400, 400}}}}, {}}};
    scene.hotspots = {door, stairs, bare, window};
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
        gOnCall = nullptr;
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
    EXPECT_EQ(std::vector<uint16_t>(floor.indices, floor.indices + 6), (std::vector<uint16_t>{0, 1, 2, 0, 2, 3}));
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
    // The floor rises from 0 at z 0 to 10 at z 200; each triangle holds its points.
    area->mEnabled = 1;
    float height = 0.0f;
    ASSERT_TRUE(area->GetHeightAt(50, 50, height));
    EXPECT_NEAR(height, 2.5f, 1e-4f);
    ASSERT_TRUE(area->GetHeightAt(-50, 150, height));
    EXPECT_NEAR(height, 7.5f, 1e-4f);
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

    ASSERT_EQ(scene->mHotspots.count, 4);
    const cTarvelRegionSet& door = *scene->mHotspots[0];
    EXPECT_EQ(door.mNumber, 7u);
    ASSERT_EQ(door.mRecordCount, 2u);
    EXPECT_EQ(door.mRecords[0].view, main);
    EXPECT_EQ(door.mRecords[1].view, nullptr);   // kept, never hit
    EXPECT_STREQ(door.mRecords[1].name, "Nowhere");
    EXPECT_EQ(door.mRecords[0].secondaryCount, 1u);
    EXPECT_EQ(static_cast<const uint8_t*>(door.mRecords[0].secondary)[2], 3);
    EXPECT_EQ(door.mRecords[0].polygons[0].points[2].x, 300);
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
    // Views and meshes are bound to the globals of their class named like
    // them; a global of another class keeps no object.
    cTarvelScript& script = *scene->mScript;
    EXPECT_EQ(gScriptHandles.Get<cTarvelView>(script.FindGlobal("Close")->object, eScriptObjectType::View),
              scene->FindView("Close"));
    EXPECT_EQ(gScriptHandles.Get<sSceneMeshRecord>(script.FindGlobal("wall")->object, eScriptObjectType::Mesh),
              &scene->mMeshes[2]);
    EXPECT_EQ(script.FindGlobal("floor")->object, 0u);
}

TEST_F(SceneTest, StartUpRunsTheEventsInOrderAndSelectsTheFirstView)
{
    StartWithScenes({{"Room", Room()}});
    // A click made before the scene started is not served in it.
    gTarvel.mGameplay.mLeftLatch = 1;
    gTarvel.mGameplay.mRightLatch = 2;
    gTarvel.mInventory.mBarState = cTarvelInventory::kOpen;
    cTarvelScene* scene = Enter("Room");
    EXPECT_EQ(gTarvel.mGameplay.mLeftLatch, 0);
    EXPECT_EQ(gTarvel.mGameplay.mRightLatch, 0);
    EXPECT_EQ(gCalls, (std::vector<std::string>{"#0", "Room::OnLoad", "door::OnInit", "stairs::OnInit",
                                                "guard::OnInit", "window::OnInit", "Room::OnEnter",
                                                "Room::InitView_Main"}));
    gCalls.clear();
    // A select clears the graphics' view-change flag and its record.
    gTarvel.mGraphics.mViewChanged = 1;
    gTarvel.mGraphics.mViewChangeRecord[2] = 77;
    scene->FindView("Main")->Select(0);   // InitView_ runs once
    EXPECT_TRUE(gCalls.empty());
    EXPECT_EQ(gTarvel.mGraphics.mViewChanged, 0);
    EXPECT_EQ(gTarvel.mGraphics.mViewChangeRecord[2], 0);
    EXPECT_EQ(scene->mView, scene->FindView("Main"));
    EXPECT_EQ(gTarvel.mGameplay.mStateFlags, 5u);
    EXPECT_EQ(gTarvel.mInventory.mBarState, cTarvelInventory::kClosed) << "the scene's start enables the inventory";
    // The main camera took the view's pose and the picture band.
    EXPECT_EQ(gTarvel.mCamera.mPosition, D3DXVECTOR3(0, 150, -500));
    EXPECT_EQ(gTarvel.mCamera.mViewport.Y, 128u);
    EXPECT_EQ(gTarvel.mCamera.mViewport.Width, 1024u);
    EXPECT_EQ(gTarvel.mCamera.mViewport.Height, 512u);
    // The geometry is live once the scene has started; the listener follows
    // the main camera.
    gTarvel.mSound.Update();
    const pt::FmodSystemState sound = pt::FmodSystem();
    EXPECT_EQ(sound.listenerPosition.z, -500.0f);
    EXPECT_NEAR(sound.listenerForward.z, 1.0f, 1e-6f);
    EXPECT_NEAR(sound.listenerUp.y, 1.0f, 1e-6f);
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
    gTarvel.mLights.CreateLight(cTarvelLight::kPoint);
    gTarvel.mLights.mShadowStrength = 0.5f;
    cTarvelGraphics& graphics = gTarvel.mGraphics;
    graphics.mTooltipText = gTarvel.mFonts.CreateText(0, "door", 10, 40, 0xFFFFFFFFu, 0, 0);
    ASSERT_NE(graphics.mTooltipText, nullptr);
    graphics.mTooltipString = "door";
    graphics.mTooltipState = 3;
    graphics.mCursorKind = 4;
    ASSERT_TRUE(gTarvel.mShaders.LoadShader("image_basic", "image_basic", &graphics.mPostEffect, false));
    graphics.mTimedPostEffect = true;
    scene->Leave(0);
    EXPECT_EQ(gCalls, (std::vector<std::string>{"on_leave"}));
    EXPECT_FALSE(gTarvel.mPDA.mOpen);
    // The location's lights go with it.
    EXPECT_EQ(gTarvel.mLights.mLights.Count(), 0);
    EXPECT_EQ(gTarvel.mLights.mShadowStrength, 1.0f);
    EXPECT_EQ(gTarvel.mSceneName, "Room");
    // The tooltip and the cursor named this scene's objects (the tooltip's
    // text object went with the texts); its post effect ends with it.
    EXPECT_EQ(graphics.mTooltipText, nullptr);
    EXPECT_EQ(graphics.mTooltipString, "");
    EXPECT_EQ(graphics.mTooltipState, 0);
    EXPECT_EQ(graphics.mCursorKind, 0);
    EXPECT_EQ(graphics.mPostEffect.technique, nullptr);
    EXPECT_FALSE(graphics.mTimedPostEffect);
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
    // The strip still sliding, and the symbol of the hotspot the view was
    // entered from.
    scene->mStages[1].moving = 1;
    scene->FindView("Main")->mHotspotSymbol = scene->mScript->FindGlobal("door");

    const std::string first = SaveText(scene);
    EXPECT_NE(first.find("<Caption>The room</Caption>"), std::string::npos) << first;
    EXPECT_NE(first.find("<Item0>Close</Item0>"), std::string::npos);
    EXPECT_NE(first.find("<Moving>1</Moving>"), std::string::npos);
    EXPECT_NE(first.find("<HSSym>door</HSSym>"), std::string::npos);

    cTarvelScene* restored = Enter("Room", 1);
    ASSERT_TRUE(LoadText(restored, first));
    EXPECT_EQ(restored->mView, restored->FindView("Main"));
    EXPECT_EQ(restored->mSecondView, restored->FindView("Close"));
    EXPECT_EQ(restored->mStages[1].size, 256.0f);
    EXPECT_EQ(restored->FindWalkArea("Floor")->mAttachedView, restored->FindView("Close"));
    EXPECT_TRUE(restored->mHotspots[1]->mIsPath);
    EXPECT_EQ(restored->mStages[1].moving, 1);
    ASSERT_NE(restored->mScript->FindGlobal("door"), nullptr);
    EXPECT_EQ(restored->mView->mHotspotSymbol, restored->mScript->FindGlobal("door"));
    EXPECT_EQ(SaveText(restored), first);
}

TEST_F(SceneTest, FreeMobilesUpdateDrawAndComeBackBoundToTheirSymbols)
{
    testkit::MobileActor lamp;
    lamp.nodes = {{"base", -1}, {"shade", 0}};
    const float from[3] = {0, 0, 0}, to[3] = {0, 4, 0};
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "Room", testkit::kSceneResourceType, testkit::BuildSceneFile(Room()), false);
        writer.AddShared(1, "lamp", 7, testkit::BuildMobileActor(lamp), true);
        writer.AddShared(1, "sway", 8, testkit::BuildRootMotion("shade", from, to, 0.0f, 1.0f), true);
    });
    cTarvelScene* scene = Enter("Room");
    auto* mobile = new cTarvelMobile;
    scene->mMobiles.Add(mobile);
    ASSERT_EQ(mobile->Load("lamp"), 0);
    mobile->mSymbol = "lamp";
    mobile->mFree = true;
    mobile->SetPosition(10, 0, 20);
    mobile->SetBaseAnimation("sway");
    gTarvel.mTimer.mFrameSeconds = 0.25f;
    scene->Update();
    ASSERT_NE(mobile->mBaseController, nullptr);
    EXPECT_FLOAT_EQ(mobile->mBaseController->GetTime(), 0.25f);

    tArray<sRenderItem> list;
    scene->CollectRenderItems(list, 0);
    int found = 0;
    for (int32_t i = 0; i < list.Count(); ++i)
        found += list[i].object == mobile && list[i].kind == 2;
    EXPECT_EQ(found, 1);
    mobile->mVisible = false;
    list.Clear();
    scene->CollectRenderItems(list, 0);
    for (int32_t i = 0; i < list.Count(); ++i)
        EXPECT_NE(list[i].object, mobile);

    const std::string first = SaveText(scene);
    EXPECT_NE(first.find("<FreeMobile>"), std::string::npos) << first;
    cTarvelScene* restored = Enter("Room", 1);
    ASSERT_TRUE(LoadText(restored, first));
    ASSERT_EQ(restored->mMobiles.Count(), 1);
    cTarvelMobile* back = restored->mMobiles[0];
    EXPECT_EQ(back->mPosition, D3DXVECTOR3(10, 0, 20));
    EXPECT_FALSE(back->mVisible);
    ASSERT_NE(back->mBaseAnimation, nullptr);
    EXPECT_EQ(back->mBaseAnimation->mName, cTarvelString("sway"));
    cTarvelScriptValue* symbol = restored->mScript->FindSymbol("lamp", "cMobile");
    ASSERT_NE(symbol, nullptr);
    EXPECT_EQ(gScriptHandles.Get<cTarvelMobile>(symbol->object, eScriptObjectType::Mobile), back);
    EXPECT_EQ(SaveText(restored), first);
    // A deleted mobile leaves its handle stale.
    const uint32_t handle = symbol->object;
    restored->mMobiles.DeleteAll();
    EXPECT_EQ(gScriptHandles.Get<cTarvelMobile>(handle, eScriptObjectType::Mobile), nullptr);
}

// A motion's "scrscene" event whose script makes free mobiles and actors
// while the scene's update walks its arrays: they move as they grow.
TEST_F(SceneTest, TheUpdateSurvivesObjectsMadeByItsOwnMotionEvents)
{
    testkit::AnimFileWriter motion(testkit::AnimFileKind::SkeletalMotion);
    testkit::AnimMotionEventTableChunk table;
    table.types = {"scrscene"};
    table.parameters = {"Grow"};
    table.events = {{0.1f, 0, 0}};
    motion.AddMotionEventTable(table);
    motion.AddSkeletalSubMotion(testkit::StillSubMotion("base"));
    testkit::MobileActor lamp;
    lamp.nodes = {{"base", -1}};
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "Room", testkit::kSceneResourceType, testkit::BuildSceneFile(Room()), false);
        writer.AddShared(1, "lamp", 7, testkit::BuildMobileActor(lamp), true);
        writer.AddShared(1, "grow", 8, motion.Finish(), true);
        for (const char* name : {"Ann", "Extra"})
            writer.AddShared(1, std::string(name) + ".x", 2, AssembleActorScript(name), true);
    });
    cTarvelScene* scene = Enter("Room");
    gTarvel.mTimer.mFrameSeconds = 0.25f;
    int made = 0;
    gOnCall = [&](const std::string& name) {
        if (name != "Room::Grow")
            return;
        for (int i = 0; i < 40; ++i, ++made) {
            scene->mMobiles.Add(new cTarvelMobile);
            scene->mActors.Add(new cTarvelActor("Extra", "x", true));
        }
    };
    // First from a free mobile's motion, then from an actor's.
    auto* mobile = new cTarvelMobile;
    scene->mMobiles.Add(mobile);
    ASSERT_EQ(mobile->Load("lamp"), 0);
    cTarvelMobileAnimation fromMobile(mobile, cTarvelMobileAnimation::kNoBlendIn);
    ASSERT_EQ(fromMobile.Load("grow"), 0);
    fromMobile.Play(0.0f, 1.0f);
    scene->mMobiles.Add(new cTarvelMobile);   // one after it in the array
    scene->Update();
    EXPECT_EQ(made, 40);
    EXPECT_EQ(scene->mMobiles.Count(), 42);

    auto* actor = new cTarvelActor("Ann", "x", false);
    scene->mActors.Add(actor);
    ASSERT_EQ(actor->mMobile->Load("lamp"), 0);
    actor->mVisible = true;
    cTarvelMobileAnimation fromActor(actor->mMobile, cTarvelMobileAnimation::kNoBlendIn);
    ASSERT_EQ(fromActor.Load("grow"), 0);
    fromActor.Play(0.0f, 1.0f);
    scene->mActors.Add(new cTarvelActor("Extra", "x", true));
    scene->Update();
    EXPECT_EQ(made, 80);
    EXPECT_EQ(scene->mActors.count, 82);
    gOnCall = nullptr;
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

TEST_F(SceneTest, SplitScreenViewportsHoverAndTheGap)
{
    StartWithScenes({{"Room", Room()}});
    cTarvelScene* scene = Enter("Room");
    cTarvelScript& script = *scene->mScript;
    scene->mHotspots[0]->mObject = script.FindGlobal("door");
    scene->mHotspots[3]->mObject = script.FindGlobal("window");
    scene->mHotspots[3]->mCaption = "Window";
    cTarvelView* close = scene->FindView("Close");
    const cTarvelCamera& main = gTarvel.mCamera;
    const cTarvelCamera& second = gTarvel.mCamera2;
    EXPECT_TRUE(scene->UpdateMouseOver(150, 300));
    EXPECT_EQ(scene->mHotspot, scene->mHotspots[0]);

    scene->Open(close, 2, 0.25f, 0.0f);   // a 256-pixel strip at the left
    EXPECT_EQ(main.mViewport.X, 261u);
    EXPECT_EQ(main.mViewport.Width, 763u);
    EXPECT_EQ(second.mViewport.X, 0u);
    EXPECT_EQ(second.mViewport.Width, 256u);
    EXPECT_EQ(second.mViewport.Height, 512u);
    struct Hover {
        int32_t x;
        int hotspot;   // -1 none
        int stage;
    };
    const Hover left[] = {{262, 0, 0}, {259, 0 - 1, 0}, {300, 0, 0}, {50, 3, 1}, {255, -1, 0}, {258, -1, 0}};
    for (const Hover& h : left) {
        const bool hit = scene->UpdateMouseOver(h.x, 300);
        EXPECT_EQ(hit, h.hotspot >= 0) << h.x;
        EXPECT_EQ(scene->mHotspot, h.hotspot >= 0 ? scene->mHotspots[h.hotspot] : nullptr) << h.x;
        if (hit) {
            EXPECT_EQ(scene->mHoverStage, h.stage) << h.x;
        }
    }
    EXPECT_FALSE(scene->mObjectUnderCursor);
    scene->UpdateMouseOver(50, 300);
    EXPECT_TRUE(scene->mObjectUnderCursor);
    EXPECT_EQ(scene->mObjectName, "Window");

    scene->Open(close, 3, 0.25f, 0.0f);   // at the right
    EXPECT_EQ(main.mViewport.X, 0u);
    EXPECT_EQ(main.mViewport.Width, 763u);
    EXPECT_EQ(second.mViewport.X, 768u);
    const Hover right[] = {{50, 0, 0}, {765, -1, 0}, {800, 3, 1}, {762, -1, 0}};
    for (const Hover& h : right) {
        const bool hit = scene->UpdateMouseOver(h.x, 300);
        EXPECT_EQ(hit, h.hotspot >= 0) << h.x;
        if (hit) {
            EXPECT_EQ(scene->mHotspot, scene->mHotspots[h.hotspot]) << h.x;
            EXPECT_EQ(scene->mHoverStage, h.stage) << h.x;
        }
    }
    scene->Close(0.0f);
    EXPECT_EQ(scene->mSecondView, nullptr);
    EXPECT_EQ(main.mViewport.Width, 1024u);
}

TEST_F(SceneTest, AnItemInUsePassesOverPathsAndTheDetailViewExit)
{
    StartWithScenes({{"Room", Room()}});
    cTarvelScene* scene = Enter("Room");
    cTarvelRegionSet& door = *scene->mHotspots[0];
    door.mObject = scene->mScript->FindGlobal("door");
    door.mIsPath = true;
    cTarvelRegionSet exit;
    exit.SetRectRegion(0, 0, 1024, 768);
    // In place of the controller's own band, which is put back after.
    cTarvelRegionSet* own = std::exchange(gTarvel.mGameplay.mRegionSet, &exit);
    scene->mDetailViews.Add(scene->FindView("Close"));
    cTarvelGameplay& gameplay = gTarvel.mGameplay;

    EXPECT_TRUE(scene->UpdateMouseOver(150, 300));
    EXPECT_EQ(scene->mHotspot, &door);
    EXPECT_TRUE(scene->UpdateMouseOver(900, 300));   // the exit band of the detail view
    EXPECT_EQ(scene->mHotspot, &exit);
    auto* key = new sInventoryItem;
    key->name = "key";
    gTarvel.mInventory.mTemporary = key;
    gTarvel.mInventory.SelectItem(key);
    EXPECT_FALSE(scene->UpdateMouseOver(150, 300));
    EXPECT_FALSE(scene->UpdateMouseOver(900, 300));
    EXPECT_EQ(scene->mHotspot, nullptr);
    door.mIsPath = false;
    EXPECT_TRUE(scene->UpdateMouseOver(150, 300));
    gameplay.mRegionSet = own;
    gTarvel.mInventory.UnselectItem();
}

TEST_F(SceneTest, TheStripOpensAndClosesFrameByFrameInACinematic)
{
    StartWithScenes({{"Room", Room()}});
    cTarvelScene* scene = Enter("Room");
    cTarvelCinematic cinematic(nullptr, "", nullptr, "OnRun");
    cinematic.mInCall = true;
    gTarvel.mTimer.mFrameSeconds = 0.1f;   // 51.2 pixels a frame at half the width a second
    scene->Open(scene->FindView("Close"), 2, 0.25f, 0.5f);
    EXPECT_EQ(scene->mStages[1].size, 0.0f);
    std::vector<float> sizes;
    for (int frame = 0; frame < 6; ++frame) {
        scene->Update();
        sizes.push_back(scene->mStages[1].size);
        EXPECT_EQ(gTarvel.mCamera2.mViewport.Width, uint32_t(sizes.back()));
    }
    EXPECT_EQ(sizes, (std::vector<float>{51, 102, 153, 204, 255, 256}));
    EXPECT_FALSE(scene->mStages[1].moving);
    scene->Close(0.5f);
    sizes.clear();
    for (int frame = 0; frame < 5; ++frame) {
        scene->Update();
        sizes.push_back(scene->mStages[1].size);
    }
    EXPECT_EQ(sizes, (std::vector<float>{204, 152, 100, 48, 0}));
    EXPECT_EQ(scene->mSecondView, nullptr);
    EXPECT_EQ(gTarvel.mCamera.mViewport.X, 0u);
    EXPECT_EQ(gTarvel.mCamera.mViewport.Width, 1024u);
    gCinematics.Clear();

    // Outside a cinematic the strip opens at its size at once.
    scene->Open(scene->FindView("Close"), 2, 0.25f, 0.5f);
    EXPECT_EQ(scene->mStages[1].size, 256.0f);
}

TEST_F(SceneTest, StageBuffersPastSixteenBitsTakeWideIndices)
{
    SceneFile big;
    big.name = "Big";
    big.views = {{"Main", {0, 150, -500, 0, 0, 0, 1, 0.785f}}};
    for (const char* name : {"a", "b"}) {
        testkit::SceneMesh mesh;
        mesh.name = name;
        mesh.vertices.assign(40000, {1, 2, 3, 0, 1, 0});
        mesh.indices = {0, 39999, 1};
        big.meshes.push_back(mesh);
    }
    big.script = AssembleScriptOrThrow("ret\n");
    StartWithScenes({{"Big", big}});
    cTarvelScene* scene = Enter("Big", 1);
    cTarvelView* main = scene->FindView("Main");
    main->mMeshSettings[0].renderMethod = 4;
    main->mMeshSettings[1].renderMethod = 4;
    main->Select(0);
    const sSceneStage& stage = scene->mStages[0];
    ASSERT_EQ(stage.index32, 1);
    ASSERT_NE(stage.indexBuffer, nullptr);
    void* data = nullptr;
    ASSERT_EQ(stage.indexBuffer->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
    const uint32_t* indices = static_cast<const uint32_t*>(data);
    EXPECT_EQ(std::vector<uint32_t>(indices, indices + 6), (std::vector<uint32_t>{0, 39999, 1, 40000, 79999, 40001}));
    stage.indexBuffer->Unlock();

    // Back under the limit the buffer is 16-bit again.
    main->mMeshSettings[1].renderMethod = 0;
    main->Build();
    EXPECT_EQ(scene->mStages[0].index32, 0);
}

TEST_F(SceneTest, TextureSizesOfPictureSizes)
{
    const std::pair<uint32_t, uint32_t> cases[] = {{1000, 1024}, {9, 16}, {8, 8}, {1, 8}, {17, 32}, {1024, 1024},
                                                   {2049, 4096}, {512, 512}, {513, 1024}};
    for (const auto& [n, size] : cases)
        EXPECT_EQ(TextureSizeFor(n), size) << n;
}

// An image's end callback names its machine in the savegame only while that
// machine lives: one built since in the gone one's storage is not it.
TEST_F(SceneTest, AnImageCallbackOfAGoneMachineIsNotSavedUnderANewOnesName)
{
    testkit::Picture picture(4, 4);
    const testkit::Bytes image = testkit::BuildRawImageFile(testkit::ImageHeader{}, std::span(&picture, 1));
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "Room", testkit::kSceneResourceType, testkit::BuildSceneFile(Room()), false);
        writer.AddShared(1, "Room_Main_lamp", kResourceImage, image, false);
    });
    cTarvelScene* scene = Enter("Room");
    cTarvelImage* lamp = scene->FindView("Main")->GetImageLayer("lamp", true);
    ASSERT_NE(lamp, nullptr);
    lamp->mCallbackName = "OnEnd";
    lamp->mCallbackScript = scene->mScript;
    lamp->mCallbackSerial = scene->mScript->mSerial;
    const std::string own = "<CBScript>" + std::string(scene->mScript->mName.c_str()) + "</CBScript>";
    EXPECT_NE(SaveText(scene).find(own), std::string::npos) << "a live machine is named";

    alignas(cTarvelScript) unsigned char storage[sizeof(cTarvelScript)];
    auto* left = new (storage) cTarvelScript("Left");
    lamp->mCallbackScript = left;
    lamp->mCallbackSerial = left->mSerial;
    left->~cTarvelScript();
    auto* other = new (storage) cTarvelScript("Other");
    const std::string saved = SaveText(scene);
    other->~cTarvelScript();
    lamp->mCallbackScript = nullptr;
    EXPECT_EQ(saved.find("Other"), std::string::npos) << saved;
    EXPECT_EQ(saved.find(own), std::string::npos);
}

// A view's video saved mid-playback plays on from its frame after a load
// into a fresh engine, and its frame callback still fires once, at its
// frame, into the scene's machine made again by the load.
TEST_F(SceneTest, AVideosFrameCallbackSurvivesSaveAndLoad)
{
    testkit::VideoSpec clip;
    clip.width = 8;
    clip.height = 8;
    clip.frames = 10;
    clip.rate = 25;   // 40 ms a frame
    testkit::ImageHeader header;
    header.width = header.height = 8;
    header.code = kImageVideoStreamed;
    header.frameCount = 1;
    const testkit::Bytes video = testkit::BuildVideo(clip);
    ASSERT_FALSE(video.empty());
    const testkit::Bytes file = testkit::BuildImageFile(header, {&video, 1});
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "Room", testkit::kSceneResourceType, testkit::BuildSceneFile(Room()), false);
        writer.AddShared(1, "Room_Main_clip", kResourceImage, file, false);
    });
    auto step = [](cTarvelImage* image) {
        pt::AdvanceClock(40);
        image->Update();
        return image->mCurrentFrame;
    };
    cTarvelScene* scene = Enter("Room");
    cTarvelImage* image = scene->FindView("Main")->GetImageLayer("clip", true);
    ASSERT_NE(image, nullptr);
    ASSERT_NE(image->mVideo, nullptr);
    image->Play(kImageOnce, 0);
    image->mFrameCallback = 1;
    image->mFrameCallbackLabel = "step_in";
    image->mFrameCallbackScript = scene->mScript->mName;
    image->mFrameCallbackMachine = scene->mScript;
    image->mFrameCallbackSerial = scene->mScript->mSerial;
    image->mFrameCallbackFrame = 5;
    for (int frame = 1; frame <= 3; ++frame)
        ASSERT_EQ(step(image), frame);
    const std::string saved = SaveText(scene);
    EXPECT_NE(saved.find("<FrameCB>5</FrameCB>"), std::string::npos) << saved;

    RebuildEngine();
    InitEngine();
    cTarvelScene* restored = Enter("Room", 1);
    ASSERT_TRUE(LoadText(restored, saved));
    gCalls.clear();
    cTarvelImage* back = restored->FindView("Main")->GetImageLayer("clip", true);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->mCurrentFrame, 3);
    EXPECT_EQ(Pixels(back->GetCurrentFrame()).at(0), testkit::VideoFrameColour(3));
    EXPECT_EQ(step(back), 4);
    EXPECT_TRUE(gCalls.empty());
    EXPECT_EQ(step(back), 5);
    EXPECT_EQ(gCalls, std::vector<std::string>{"step_in"});
    EXPECT_EQ(step(back), 6);
    EXPECT_EQ(gCalls.size(), 1u);
    // Fired, it is saved as none.
    EXPECT_NE(SaveText(restored).find("<FrameCB>-1</FrameCB>"), std::string::npos);
}

TEST_F(SceneTest, ViewsProjectTheirPictureOntoTheScenery)
{
    testkit::Picture picture(1000, 9);
    testkit::ImageHeader header;
    header.width = 1000;
    header.height = 9;
    header.x = 12;
    header.y = 34;
    const testkit::Bytes image = testkit::BuildRawImageFile(header, std::span(&picture, 1));
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "Room", testkit::kSceneResourceType, testkit::BuildSceneFile(Room()), false);
        writer.AddShared(1, "Room_Main_lamp_night", kResourceImage, image, false);
    });
    cTarvelScene* scene = Enter("Room");
    cTarvelView* main = scene->FindView("Main");
    main->mSuffixReplacement0 = "_b";
    main->mSuffixReplacement1 = "_night";
    cTarvelImage* lamp = main->GetImageLayer("lamp_b", true);
    ASSERT_NE(lamp, nullptr);
    EXPECT_EQ(lamp->mName, "Room_Main_lamp_night");
    EXPECT_EQ(main->GetImageLayer("lamp_b", true), lamp);   // found, not loaded again
    EXPECT_EQ(main->mImages.count, 1);
    EXPECT_EQ(main->GetImageLayer("", true), nullptr);

    main->mMeshSettings[0].renderMethod = 1;
    main->mMeshSettings[0].colorMap = lamp;
    main->mMeshSettings[2].renderMethod = 3;   // listed, not drawn
    main->Select(0);
    ASSERT_EQ(main->mListed.count, 2);
    EXPECT_EQ(main->mMeshSettings[2].firstVertex, 4u);
    EXPECT_EQ(main->mMeshSettings[2].firstIndex, 6u);
    EXPECT_EQ(scene->mStages[0].vertexCount, 7u);
    EXPECT_EQ(scene->mStages[0].indexCount, 9u);
    EXPECT_EQ(main->mMeshSettings[0].shader, 6);   // scenery_unlit
    EXPECT_EQ(main->mMeshSettings[2].shader, -1);

    // Worked in double precision: camera at (0, 150, -500) looking along +z,
    // the picture band's 512 rows of 768 crop the 0.785 field of view.
    const double yScale = 1.0 / (std::tan(0.785 / 2.0) * 512.0 / 768.0);
    const double xScale = yScale / 2.0;   // aspect 1024 / 512
    for (int k = 0; k < 4; ++k) {
        const float* v = scene->mMeshes[0].vertices + 6 * k;
        const double zv = v[2] + 500.0;
        const double px = (v[0] * xScale / zv + 1.0) / 2.0 * 1024.0;
        const double py = 128.0 + (1.0 - (v[1] - 150.0) * yScale / zv) / 2.0 * 512.0;
        const double u = (px - 0.5 - 12.0) / 1024.0;
        const double w = (py - 0.5 - 34.0 - 128.0) / 16.0;
        EXPECT_NEAR(main->mMeshSettings[0].texCoords[k].x, u, 1e-4) << k;
        EXPECT_NEAR(main->mMeshSettings[0].texCoords[k].y, w, 1e-4) << k;
    }

    // Picks against the floor: the middle of the band looks down onto it.
    D3DXVECTOR3 hit;
    ASSERT_TRUE(main->Pick(&hit, 512, 600));
    EXPECT_NEAR(hit.y, 0.0f, 1e-3f);
    const double zv = 150.0 / ((600.0 - 128.0 - 256.0) / 256.0 / yScale);
    EXPECT_NEAR(hit.z, zv - 500.0, 0.5);
    EXPECT_FALSE(main->Pick(&hit, 512, 128));   // the band's top row
    scene->mMeshes[0].pickDisabled = 1;
    EXPECT_FALSE(main->Pick(&hit, 512, 600));
}

// Pictures, pointer positions and picks are in picture units (1024 x 768):
// at another screen size a vertex projects to the same place of the
// picture, the pointer hovers over the same hotspot and picks the same floor
// point; only the exact size draws the picture unfiltered.
TEST_F(SceneTest, ProjectionHoverAndPickAtEveryResolution)
{
    testkit::Picture picture(1000, 9);
    testkit::ImageHeader header;
    header.width = 1000;
    header.height = 9;
    const testkit::Bytes image = testkit::BuildRawImageFile(header, std::span(&picture, 1));
    const double yScale = 1.0 / (std::tan(0.785 / 2.0) * 512.0 / 768.0);
    for (DWORD screenRes : {DWORD(0x04000300), DWORD(0x05000400)}) {
        SCOPED_TRACE(screenRes);
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Brindlewerk\\Kestrelmoor", &key), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, "ScreenRes", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&screenRes), 4),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        StartWith([&](testkit::ArchiveWriter& writer) {
            writer.AddShared(1, "Room", testkit::kSceneResourceType, testkit::BuildSceneFile(Room()), false);
            writer.AddShared(1, "Room_Main_lamp", kResourceImage, image, false);
        });
        const bool exact = screenRes == 0x04000300;
        ASSERT_EQ(gTarvel.mGraphics.mWidth, exact ? 1024 : 1280);
        cTarvelScene* scene = Enter("Room");
        cTarvelView* main = scene->FindView("Main");
        main->mMeshSettings[0].renderMethod = 1;
        main->mMeshSettings[0].colorMap = main->GetImageLayer("lamp", true);
        main->Select(0);
        // Worked at 1024 x 768: the picture is stretched over the band at any
        // size, and the scenery with it, so a vertex lands on the same place
        // of the picture; off 1024 x 768 the band's viewport is whole pixels
        // and moves it by less than a picture pixel.
        const double xScale = yScale / 2.0;
        for (int k = 0; k < 4; ++k) {
            const float* v = scene->mMeshes[0].vertices + 6 * k;
            const double zv = v[2] + 500.0;
            const double px = (v[0] * xScale / zv + 1.0) / 2.0 * 1024.0;
            const double py = 128.0 + (1.0 - (v[1] - 150.0) * yScale / zv) / 2.0 * 512.0;
            EXPECT_NEAR(main->mMeshSettings[0].texCoords[k].x, (px - 0.5) / 1024.0, exact ? 1e-4 : 1.0 / 1024.0) << k;
            EXPECT_NEAR(main->mMeshSettings[0].texCoords[k].y, (py - 0.5 - 128.0) / 16.0, exact ? 1e-4 : 1.0 / 16.0)
                << k;
        }

        scene->mHotspots[0]->mObject = scene->mScript->FindGlobal("door");
        EXPECT_TRUE(scene->UpdateMouseOver(150, 300));
        EXPECT_EQ(scene->mHotspot, scene->mHotspots[0]);
        EXPECT_FALSE(scene->UpdateMouseOver(350, 300));
        EXPECT_EQ(scene->mHotspot, nullptr);

        D3DXVECTOR3 hit;
        ASSERT_TRUE(main->Pick(&hit, 512, 600));
        EXPECT_NEAR(hit.y, 0.0f, 1e-3f);
        // The band's viewport in whole pixels: rows 170 to 852 of 1024.
        const double sy = exact ? 1.0 : 1024.0 / 768.0;
        const double top = std::floor(128.0 * sy), rows = std::floor(512.0 * sy);
        const double cropped = 1.0 / (std::tan(0.785 / 2.0) * rows / (768.0 * sy));
        EXPECT_NEAR(hit.z, 150.0 / ((600.0 * sy - top - rows / 2.0) / (rows / 2.0) / cropped) - 500.0, 0.5);

        IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
        device->BeginScene();
        main->Render(&main->mMeshSettings[0]);
        device->EndScene();
        EXPECT_EQ(Floats(gTarvel.mShaders.mNamed[6].shader->mEffect, "filter"),
                  std::vector<float>{exact ? 1.0f : 2.0f});

        // The view opened in the split screen's strip on the right, a quarter
        // of the width: a pick there goes through the second camera, whose
        // viewport is the strip and whose picture is cropped, not squeezed.
        scene->Open(main, 3, 0.25f, 0.0f);
        const double width = exact ? 1024.0 : 1280.0, height = exact ? 768.0 : 1024.0, sx = width / 1024.0;
        const double strip = std::floor(0.25 * width);
        const D3DVIEWPORT9& port = gTarvel.mCamera2.mViewport;
        EXPECT_EQ(port.X, uint32_t(width - strip));
        EXPECT_EQ(port.Width, uint32_t(strip));
        // Three quarters across the strip, in picture units.
        const int32_t pickX = int32_t((width - strip / 4.0) / sx);
        ASSERT_TRUE(main->Pick(&hit, pickX, 600));
        const double ndcX = (pickX * sx - (width - strip)) / strip * 2.0 - 1.0;
        const double ndcY = 1.0 - (600.0 * sy - top) / rows * 2.0;
        const double tanY = std::tan(0.785 / 2.0) * rows / height, tanX = tanY * (strip / rows) * (sy / sx);
        const double t = -150.0 / (ndcY * tanY);
        EXPECT_NEAR(hit.y, 0.0f, 1e-3f);
        EXPECT_NEAR(hit.x, t * ndcX * tanX, 0.5);
        EXPECT_NEAR(hit.z, t - 500.0, 0.5);
        RebuildEngine();
    }
}

// The picture is drawn unfiltered (1) only when nothing moved it off its
// pixels: a filtered view, a moving camera or a camera off the view's
// place filter it (2). A layer of method 7 is drawn on top.
TEST_F(SceneTest, FilterRuleAndLayersOnTop)
{
    testkit::Picture picture(8, 8);
    testkit::ImageHeader header;
    header.width = header.height = 8;
    const testkit::Bytes image = testkit::BuildRawImageFile(header, std::span(&picture, 1));
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "Room", testkit::kSceneResourceType, testkit::BuildSceneFile(Room()), false);
        writer.AddShared(1, "map", kResourceImage, image, false);
    });
    cTarvelScene* scene = Enter("Room");
    cTarvelView* main = scene->FindView("Main");
    cTarvelImage* map = main->GetImageLayer("map", false);
    main->mMeshSettings[0].renderMethod = 1;
    main->mMeshSettings[0].colorMap = map;
    main->Select(0);
    cTarvelCamera& camera = gTarvel.mCamera;
    auto filter = [&] {
        IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
        device->BeginScene();
        main->Render(&main->mMeshSettings[0]);
        device->EndScene();
        const std::vector<float> value = Floats(gTarvel.mShaders.mNamed[6].shader->mEffect, "filter");
        return value.empty() ? -1.0f : value[0];
    };
    EXPECT_EQ(filter(), 1.0f);
    main->mFiltered = 1;
    EXPECT_EQ(filter(), 2.0f);
    main->mFiltered = 0;
    camera.mMoving = 1;
    EXPECT_EQ(filter(), 2.0f);
    camera.mMoving = 0;
    for (int axis = 0; axis < 3; ++axis) {
        const D3DXVECTOR3 place = camera.mPosition;
        (&camera.mPosition.x)[axis] += 0.01f;
        EXPECT_EQ(filter(), 2.0f) << axis;
        camera.mPosition = place;
    }
    EXPECT_EQ(filter(), 1.0f);

    for (int method : {7, 1}) {
        auto* layer = new sViewLayer;
        layer->name = "cutout";
        layer->image = map;
        layer->visible = 1;
        layer->depth = 3.0f;
        layer->method = method;
        main->mLayers.Add(layer);
        tArray<sRenderItem> list;
        main->CollectRenderItems(list);
        ASSERT_GE(list.Count(), 1);
        EXPECT_EQ(list[0].object, map);
        EXPECT_EQ(map->mOnTop, method == 7 ? 1 : 0) << method;
        main->mLayers.Clear();
        delete layer;
    }
}

// Render method 7 draws a mesh over what is there without writing depth, so
// scenery drawn after it and further away still shows; any other method
// hides it. Drawn for real with the sample game's effects.
TEST_F(SceneTest, MeshesOfMethodSevenLeaveTheDepthAlone)
{
    std::string error;
    const testkit::Bytes shaders = testkit::BuildShaderLibraryFromFolder(
        std::filesystem::path(TARVEL_SOURCE_DIR) / "demo" / "shaders", "Kestrelmoor sample", 1, &error);
    ASSERT_FALSE(shaders.empty()) << error;
    // Two quads facing the camera across the middle of the band, the near
    // one inside the far one.
    auto quad = [](const char* name, float half, float z) {
        testkit::SceneMesh mesh;
        mesh.name = name;
        mesh.vertices = {{-half, 150 - half, z, 0, 0, -1}, {half, 150 - half, z, 0, 0, -1},
                         {half, 150 + half, z, 0, 0, -1}, {-half, 150 + half, z, 0, 0, -1}};
        mesh.indices = {0, 3, 2, 0, 2, 1};
        return mesh;
    };
    SceneFile room;
    room.name = "Depth";
    room.meshes = {quad("near", 50, 100), quad("far", 300, 300)};
    room.views = {{"Main", {0, 150, -500, 0, 0, 0, 1, 0.785f}}};
    room.script = AssembleScriptOrThrow("ret\n");
    auto solid = [](uint8_t r, uint8_t g) {
        testkit::Picture picture(8, 8);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                picture.Set(x, y, 0, g, r, 255);
        testkit::ImageHeader header;
        header.width = header.height = 8;
        return testkit::BuildRawImageFile(header, std::span(&picture, 1));
    };
    pt::ExecuteDraws(true);
    StartWith(
        [&](testkit::ArchiveWriter& writer) {
            writer.AddShared(1, "shaderlib", 0, shaders, true);
            writer.AddShared(1, "start", 5, testkit::BuildStartImage(), true);
            writer.AddShared(1, "Depth", testkit::kSceneResourceType, testkit::BuildSceneFile(room), false);
            writer.AddShared(1, "red", kResourceImage, solid(255, 0), false);
            writer.AddShared(1, "green", kResourceImage, solid(0, 255), false);
        },
        false);
    cTarvelScene* scene = Enter("Depth", 1);
    cTarvelView* main = scene->FindView("Main");
    sSceneMesh& nearMesh = main->mMeshSettings[0];
    sSceneMesh& farMesh = main->mMeshSettings[1];
    nearMesh.colorMap = main->GetImageLayer("red", false);
    farMesh.colorMap = main->GetImageLayer("green", false);
    farMesh.renderMethod = 1;
    for (const int method : {7, 1}) {
        SCOPED_TRACE(method);
        nearMesh.renderMethod = method;
        main->Select(0);
        cTarvelGraphics& graphics = gTarvel.mGraphics;
        IDirect3DDevice9* device = graphics.mDevice;
        device->SetRenderTarget(0, graphics.mBackBuffer);
        device->SetDepthStencilSurface(graphics.mDepthStencil);
        const D3DVIEWPORT9 screen{0, 0, 1024, 768, 0.0f, 1.0f};
        device->SetViewport(&screen);
        device->BeginScene();
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
        gTarvel.mCamera.Apply();
        main->Render(&nearMesh);
        main->Render(&farMesh);
        device->EndScene();
        ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        IDirect3DSurface9* copy = nullptr;
        ASSERT_EQ(device->CreateOffscreenPlainSurface(1024, 768, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &copy, nullptr),
                  D3D_OK);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(device->GetFrontBufferData(0, copy), D3D_OK);
        ASSERT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        auto at = [&](int x, int y) {
            const uint8_t* p =
                static_cast<const uint8_t*>(locked.pBits) + size_t(y) * size_t(locked.Pitch) + size_t(x) * 4;
            return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
        };
        // The middle is behind the near quad; off it, only the far one shows.
        const uint32_t middle = at(512, 384), beside = at(512 + 150, 384);
        copy->UnlockRect();
        copy->Release();
        EXPECT_EQ(beside, 0x00FF00u);
        EXPECT_EQ(middle, method == 7 ? 0x00FF00u : 0xFF0000u);
    }
}

// Picks hit the faces turned away from the camera (the scenery's far side,
// which the scenery effect culls): the floor wound the other way is passed
// over.
TEST_F(SceneTest, PicksPassOverFacesTurnedToTheCamera)
{
    SceneFile room = Room();
    room.meshes[0].indices = {0, 2, 1, 0, 3, 2};
    StartWithScenes({{"Room", room}});
    cTarvelScene* scene = Enter("Room");
    D3DXVECTOR3 hit;
    EXPECT_FALSE(scene->FindView("Main")->Pick(&hit, 512, 600));
}

// A view seen from elsewhere puts shadows and the flashlight's cone in
// other places: selecting one has both made again.
TEST_F(SceneTest, SelectingAViewRemakesShadowsAndTheFlashlight)
{
    StartWithScenes({{"Room", Room()}});
    cTarvelScene* scene = Enter("Room");
    gTarvel.mConfig.Shadows = 1;
    cTarvelLightSet& lights = gTarvel.mLights;
    cTarvelLight* light = lights.CreateLight(cTarvelLight::kPoint);
    cTarvelMobile caster;
    cTarvelShadow* shadow = lights.GetShadowCaster(light, &caster);
    ASSERT_NE(shadow, nullptr);
    lights.mFlashlight = new cTarvelFlashlight;
    shadow->mRebuild = false;
    lights.mFlashlight->mRebuild = false;
    scene->FindView("Close")->Select(0);
    EXPECT_TRUE(shadow->mRebuild);
    EXPECT_TRUE(lights.mFlashlight->mRebuild);
    lights.SetFlashlight(false);
    lights.SetLights();
}

// The picture projected onto the scenery: the video being started, else
// the mesh's colour map, else the video playing. Each has its own texture
// size (1024, 128, 32 columns), which scales the projected u.
TEST_F(SceneTest, BuildTakesTheStartingVideoThenTheColourMapThenThePlayingVideo)
{
    auto picture = [](uint32_t width) {
        testkit::Picture pixels(int(width), 4);
        testkit::ImageHeader header;
        header.width = width;
        header.height = 4;
        return testkit::BuildRawImageFile(header, std::span(&pixels, 1));
    };
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "Room", testkit::kSceneResourceType, testkit::BuildSceneFile(Room()), false);
        writer.AddShared(1, "starting", kResourceImage, picture(1000), false);
        writer.AddShared(1, "map", kResourceImage, picture(100), false);
        writer.AddShared(1, "playing", kResourceImage, picture(30), false);
    });
    cTarvelScene* scene = Enter("Room");
    cTarvelView* main = scene->FindView("Main");
    cTarvelVideo starting, playing;
    starting.mImage = main->GetImageLayer("starting", false);
    playing.mImage = main->GetImageLayer("playing", false);
    main->mMeshSettings[0].renderMethod = 1;
    main->mMeshSettings[0].colorMap = main->GetImageLayer("map", false);
    gTarvel.mCutSceneMovie = &starting;
    gTarvel.mMovie = &playing;
    auto columns = [&] {
        main->Select(0);
        return main->mMeshSettings[0].texCoords[1].x;
    };
    const float first = columns() * 1024.0f;
    EXPECT_NE(first, 0.0f);
    gTarvel.mCutSceneMovie = nullptr;
    EXPECT_FLOAT_EQ(columns() * 128.0f, first);
    main->mMeshSettings[0].colorMap = nullptr;
    EXPECT_FLOAT_EQ(columns() * 32.0f, first);
    // A finished video is not played.
    playing.mImage->mFinished = 1;
    EXPECT_EQ(columns(), 0.0f);
    gTarvel.mMovie = nullptr;
    starting.mImage = playing.mImage = nullptr;
}

// An actor under the pointer is the object there while it is enabled and
// visible; hidden, the pointer finds nothing.
TEST_F(SceneTest, OnlyVisibleEnabledActorsAreHovered)
{
    testkit::MobileActor ring;
    ring.materials = {testkit::MobileMaterial{"cloth", {}}};
    ring.meshes[0].radius = 40.0f;
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "Room", testkit::kSceneResourceType, testkit::BuildSceneFile(Room()), false);
        writer.AddShared(1, "ring", 7, testkit::BuildMobileActor(ring), true);
    });
    cTarvelScene* scene = Enter("Room");
    auto* guard = new cTarvelActor("OFF", "", false);
    guard->mCaption = "Guard";
    guard->mMobile = new cTarvelMobile();
    ASSERT_EQ(guard->mMobile->Load("ring"), 0);
    // Stood up before the camera at its height: the middle of the picture.
    guard->mMobile->SetRotationXYZ(-1.5707964f, 0.0f, 0.0f);
    guard->mMobile->SetPosition(0.0f, 150.0f, 0.0f);
    guard->mMobile->Update(0.0f);
    scene->mActors.Add(guard);
    const struct {
        bool enabled, visible, hovered;
    } cases[] = {{true, true, true}, {true, false, false}, {false, true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.enabled) + std::to_string(c.visible));
        guard->mEnabled = c.enabled;
        guard->mVisible = c.visible;
        EXPECT_EQ(scene->UpdateMouseOver(512, 384), c.hovered);
        EXPECT_EQ(scene->mHoveredActor, c.hovered ? guard : nullptr);
        EXPECT_EQ(scene->mObjectUnderCursor, c.hovered);
    }
    // Away from it nothing is hovered.
    guard->mEnabled = guard->mVisible = true;
    EXPECT_FALSE(scene->UpdateMouseOver(900, 600));
}

TEST_F(SceneTest, MeshesDrawWithTheEffectOfTheirRenderMethod)
{
    testkit::Picture picture(8, 8);
    testkit::ImageHeader header;
    header.width = header.height = 8;
    const testkit::Bytes image = testkit::BuildRawImageFile(header, std::span(&picture, 1));
    StartWith([&](testkit::ArchiveWriter& writer) {
        SceneFile room = Room();
        // Four copies of the floor, so that each render method has a mesh.
        room.meshes = {room.meshes[0], room.meshes[0], room.meshes[0], room.meshes[0], room.meshes[2]};
        room.meshes[4].name = "lit";
        writer.AddShared(1, "Room", testkit::kSceneResourceType, testkit::BuildSceneFile(room), false);
        writer.AddShared(1, "map", kResourceImage, image, false);
    });
    cTarvelScene* scene = Enter("Room");
    cTarvelView* main = scene->FindView("Main");
    cTarvelImage* map = main->GetImageLayer("map", false);
    const int methods[5] = {1, 7, 5, 6, 4};
    for (int i = 0; i < 5; ++i)
        main->mMeshSettings[i].renderMethod = methods[i];
    main->mMeshSettings[1].colorMap = map;
    main->Select(0);

    auto draws = [&] {
        pt::RecordDraws(true);
        IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
        device->BeginScene();
        for (sSceneMesh* setting : main->mListed)
            main->Render(setting);
        device->EndScene();
        std::vector<std::string> techniques;
        for (const pt::DrawRecord& d : pt::RecordedDraws())
            techniques.push_back(d.technique + "@" + std::to_string(d.minVertexIndex) + "+" +
                                 std::to_string(d.startIndex) + "x" + std::to_string(d.primitiveCount));
        pt::RecordDraws(false);
        return techniques;
    };
    // No video: only the colour-mapped and the depth meshes draw.
    EXPECT_EQ(draws(), (std::vector<std::string>{"scenery_unlit@4+6x2", "scenery_depthset@16+24x1"}));

    // A playing video textures the unlit mesh without a colour map and
    // brings the video effects in.
    cTarvelVideo video;
    video.mImage = map;
    gTarvel.mMovie = &video;
    main->Update();
    EXPECT_EQ(draws(), (std::vector<std::string>{"scenery_unlit@0+0x2", "scenery_unlit@4+6x2", "scenery_cmva@8+12x2",
                                                 "scenery_cmv@12+18x2", "scenery_depthset@16+24x1"}));
    gTarvel.mMovie = nullptr;
    video.mImage = nullptr;
    // The effects chosen while the video played stay until the next choice.
    main->Update();
    EXPECT_EQ(main->mMeshSettings[2].shader, 10);
}

TEST_F(SceneTest, StartUpPutsThePlayerOnTheFloor)
{
    StartWithScenes({{"Room", Room()}});
    cTarvelActor player("OFF", "", false);
    player.mControl = new cTarvelActorControl();
    cTarvelMobile mobile;
    mobile.mPosition = D3DXVECTOR3(3, 99, 4);
    player.mMobile = &mobile;
    gTarvel.mPlayer = &player;
    Enter("Room");
    gTarvel.mPlayer = nullptr;
    player.mMobile = nullptr;
    EXPECT_EQ(mobile.mPosition.x, 3.0f);
    EXPECT_EQ(mobile.mPosition.z, 4.0f);
    EXPECT_EQ(mobile.mPosition.y, player.mControl->GetFloorHeight(3, 4, FLT_MIN));
    EXPECT_NE(mobile.mPosition.y, 99.0f);
}

TEST_F(SceneTest, CamerasSaveAndLoadTheirMoves)
{
    StartWithScenes({});
    cTarvelCamera& camera = gTarvel.mCamera;
    camera.SetViewport(0, 128, 1024, 512);
    const float start[3] = {1, 2, 3}, target[3] = {10, 20, 30};
    const float rotation[4] = {0, 0, 0, 1};
    camera.Set(start, rotation, 0.9f);
    camera.Move(4.0f, 0.5f, 0.25f, target, rotation, 1.1f);
    gTarvel.mTimer.mGameSeconds += 1.0f;
    camera.Update();

    TiXmlDocument document;
    auto* root = new TiXmlElement("Camera0");
    document.LinkEndChild(root);
    cTarvelSavegame& cursor = gTarvel.mSavegame;
    cursor.mRoot = cursor.mCurrent = root;
    camera.Save(cursor);
    cTarvelCamera copy;
    copy.Load(cursor);
    cursor.mRoot = cursor.mCurrent = nullptr;
    EXPECT_TRUE(copy.mMoving);
    EXPECT_NEAR(copy.mPosition.x, camera.mPosition.x, 1e-5f);
    EXPECT_EQ(copy.mTargetPosition, camera.mTargetPosition);
    EXPECT_EQ(copy.mStartSmoothing, 0.5f);
    EXPECT_EQ(copy.mEndSmoothing, 0.25f);
    EXPECT_EQ(copy.mDuration, 4.0f);
    EXPECT_NEAR(copy.mMoveStart, camera.mMoveStart, 1e-4f);
    EXPECT_FLOAT_EQ(copy.mTargetFov, 1.1f);
}

} // namespace
