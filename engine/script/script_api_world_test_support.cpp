#include "engine/script/script_api_world_test_support.h"

#include <cstring>
#include <filesystem>

#include "engine/core/tarvel.h"
#include "engine/gameplay/cinematic.h"
#include "engine/gameplay/screen_control.h"
#include "engine/render/video.h"
#include "engine/world/actor.h"
#include "engine/world/scene.h"
#include "engine/world/view.h"
#include "tools/archive_writer.h"
#include "tools/image_writer.h"
#include "tools/scene_writer.h"
#include "tools/script_assembler.h"
#include "tools/shaderlib_writer.h"

namespace {

std::vector<std::string> gCalls;

void Observe(cTarvelScript*, const char* name)
{
    gCalls.push_back(name);
}

const char* const kRoomScript = "global Room object class=cScene\n"
                                "global Main object class=cView\n"
                                "global Close object class=cView\n"
                                "ret\n"
                                "function Room::SetLights_Night\nret\n"
                                "function Ping\nret\n";

const char* const kCaseGlobals = "global Room object class=cScene\n"
                                 "global Main object class=cView\n"
                                 "global Close object class=cView\n"
                                 "global Door object class=cHotspot\n"
                                 "global Out result\n"
                                 "global Flag int\n";

testkit::SceneFile Room()
{
    testkit::SceneFile scene;
    scene.name = "Room";
    testkit::SceneMesh floor;
    floor.name = "floor";
    floor.vertices = {{-100, 0, 0, 0, 1, 0}, {100, 0, 0, 0, 1, 0}, {100, 0, 200, 0, 1, 0}};
    floor.indices = {0, 1, 2};
    testkit::SceneMesh wall;
    wall.name = "wall";
    wall.vertices = {{0, 0, 300, 0, 0, -1}, {100, 0, 300, 0, 0, -1}, {0, 200, 300, 0, 0, -1}};
    wall.indices = {0, 2, 1};
    scene.meshes = {floor, wall};
    testkit::SceneView main;
    main.name = "Main";
    main.camera = {0, 150, -500, 0, 0, 0, 1, 0.8f};
    testkit::SceneView close;
    close.name = "Close";
    close.camera = {0, 20, -50, 0, 0, 0, 1, 1.0f};
    scene.views = {main, close};
    for (const char* name : {"Floor", "Yard"}) {
        testkit::SceneWalkArea area;
        area.name = name;
        area.polygons = {{false, {{-100, 0, 0}, {100, 0, 0}, {100, 0, 200}, {-100, 0, 200}}}};
        area.triangles = {{testkit::WalkRef(0, 0), testkit::WalkRef(0, 2), testkit::WalkRef(0, 1)},
                          {testkit::WalkRef(0, 0), testkit::WalkRef(0, 3), testkit::WalkRef(0, 2)}};
        scene.walkAreas.push_back(area);
    }
    scene.script = AssembleScriptOrThrow(kRoomScript);
    return scene;
}

testkit::Bytes Frames(int count)
{
    std::vector<testkit::Picture> pictures(size_t(count), testkit::Picture(8, 8));
    testkit::ImageHeader header;
    header.frameRate = 10;
    return testkit::BuildRawImageFile(header, pictures);
}

} // namespace

void ScriptApiWorldTest::SetUp()
{
    ScriptTestBase::SetUp();
    gCalls.clear();

    testkit::ArchiveWriter writer;
    for (int language : {1, 7, 9})
        writer.AddLanguage(language);
    writer.AddVolume(1);
    AddStartupEntries(writer);
    const testkit::Bytes room = testkit::BuildSceneFile(Room());
    writer.AddShared(1, "Room.day", testkit::kSceneResourceType, room, false);
    writer.AddShared(1, "Room.night", testkit::kSceneResourceType, room, false);
    for (const char* actor : {"Hero.day", "Hero.night", "Guide.day"}) {
        const std::string name(actor, std::string(actor).find('.'));
        // The night's file has a global of its own, so a test can tell the two apart.
        const std::string night = std::strstr(actor, ".night") ? "global Night int\n" : "";
        writer.AddShared(1, actor, 2,
                         AssembleActorScript(name, "global PC object class=cActor\n" + night + "ret\nfunction " +
                                                       name + "::OnLoad\nret\n"),
                         false);
    }
    const testkit::Bytes tga = testkit::BuildTga(testkit::Picture(4, 4), testkit::TgaOptions());
    for (const char* name : {"Room_Main_sign", "Room_Main_glow", "Room_Main_door_b", "Room_Main_a", "Room_Main_b",
                             "Room_Main_c", "Room_Close_sign", "particle_raindrop", "particle_rainspark",
                             "radio_back", "radio_line", "doc_top_00",
                             "doc_btm_00", "doc_top_01", "doc_btm_01"})
        writer.AddShared(1, name, 5, tga, true);
    writer.AddShared(1, "Room_Main_anim", 4, Frames(3), true);
    writer.AddShared(1, "Room-cmv-intro", 4, Frames(2), true);
    writer.AddShared(1, "news", 4, Frames(2), true);
    const std::string particles =
        ReadFileText(std::filesystem::path(TARVEL_SOURCE_DIR) / "demo" / "shaders" / "particles.fx");
    ASSERT_FALSE(particles.empty());
    writer.AddShared(1, "particles.fx", 0, testkit::Bytes(particles.begin(), particles.end()), true);
    const std::string interface =
        testkit::MinimalEffectSource(std::vector<std::string>{"ui_vericon", "ui_vericonbw"});
    writer.AddShared(1, "interface.fx", 0, testkit::Bytes(interface.begin(), interface.end()), true);
    std::string error;
    ASSERT_TRUE(writer.Write(WorkDir(), &error)) << error;
    InitEngine();

    gTarvel.mGameState = gTarvel.mPendingGameState = "day";
    gTarvel.mPlayer = new cTarvelActor("Hero", "day", false);
    gTarvel.mPlayer->mIsPlayer = true;
    auto* scene = new cTarvelScene();
    scene->mSlot = gTarvel.mResources.OpenResource("Room.day", testkit::kSceneResourceType);
    ASSERT_EQ(gTarvel.ChangeScene(scene, 0), 0);
    mScene = scene;
    mMain = scene->FindView("Main");
    mClose = scene->FindView("Close");
    ASSERT_TRUE(mMain && mClose);
    cTarvelScript::sCallObserver = Observe;
}

void ScriptApiWorldTest::TearDown()
{
    cTarvelScript::sCallObserver = nullptr;
    mMachine.reset();
    if (gTarvel.mCutSceneMovie != gTarvel.mMovie)
        delete gTarvel.mCutSceneMovie;
    delete gTarvel.mMovie;
    gTarvel.mMovie = gTarvel.mCutSceneMovie = nullptr;
    ScriptTestBase::TearDown();
}

int ScriptApiWorldTest::Case(const std::string& source)
{
    const std::vector<uint8_t> image = AssembleScriptOrThrow(kCaseGlobals + source);
    mMachine = std::make_unique<cTarvelScript>();
    EXPECT_EQ(mMachine->LoadImage(image.data(), image.size(), "case"), 0);
    // Bound as the scene binds its own script's objects.
    for (const char* name : {"Room", "Main", "Close"})
        Global(name).object = mScene->mScript->FindGlobal(name)->object;
    return mMachine->CallFunction("Case", nullptr);
}

cTarvelScriptValue& ScriptApiWorldTest::Global(const char* name)
{
    cTarvelScriptValue* value = mMachine->FindGlobal(name);
    EXPECT_NE(value, nullptr) << name;
    static cTarvelScriptValue none;
    return value ? *value : none;
}

void ScriptApiWorldTest::RunningCinematic(bool skipping)
{
    auto* cinematic = new cTarvelCinematic(nullptr, "", nullptr, "OnRun");
    cinematic->mInCall = true;
    cinematic->mSkipping = skipping;
}

std::vector<std::string>& ScriptApiWorldTest::Calls()
{
    return gCalls;
}
