#pragma once

// Fixture of the special-effect controls' tests: an engine started on an
// archive with the scene "Yard" (views "Main" and "Side", a mesh "floor"),
// a brick wall "Wall" of 10 columns and 3 courses, a player "Hero" with a
// forearm node, a head node and a torch, the light cone, a holding motion,
// the pictures and the effects the controls load; the loaders of the saved
// classes; and a machine "ctl" whose scripts drive the controls through
// their script classes.

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <tinyxml.h>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "engine/core/tarvel.h"
#include "engine/gameplay/control.h"
#include "engine/gameplay/control_bunker_wall.h"
#include "engine/gameplay/control_flashlight.h"
#include "engine/gameplay/control_mirror.h"
#include "engine/gameplay/control_soundstage_fade.h"
#include "engine/gameplay/control_split_screen.h"
#include "engine/gameplay/control_ticker.h"
#include "engine/resource/resource.h"
#include "engine/script/script.h"
#include "engine/script/script_api.h"
#include "engine/script/script_handles.h"
#include "engine/script/script_test_support.h"
#include "engine/world/actor.h"
#include "engine/world/mobile.h"
#include "engine/world/scene.h"
#include "engine/world/view.h"
#include "platform/fmod/test_audio.h"
#include "platform/fmod/testing.h"
#include "tools/anim_file_writer.h"
#include "tools/archive_writer.h"
#include "tools/font_writer.h"
#include "tools/image_writer.h"
#include "tools/mobile_actor_writer.h"
#include "tools/scene_writer.h"
#include "tools/script_assembler.h"
#include "tools/shaderlib_writer.h"

namespace control_test {

// A node of a box actor: its rest position, and a box mesh of that size
// around it (none when the size is 0).
struct BoxNode {
    std::string name;
    int32_t parent = 0;
    std::array<float, 3> position{};
    std::array<float, 3> size{};
    bool collision = false;
};

inline uint32_t Bits(float f)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// An actor file of nodes with box meshes: eight corners in a fan, so the
// mesh's bounds are the box.
inline testkit::AnimBytes BuildBoxActor(const std::vector<BoxNode>& nodes)
{
    testkit::AnimFileWriter writer(testkit::AnimFileKind::Actor);
    for (const BoxNode& n : nodes) {
        testkit::AnimNodeChunk node;
        node.name = n.name;
        node.parentIndex = n.parent < 0 ? 0xFFFFFFFFu : uint32_t(n.parent);
        std::memcpy(node.position, n.position.data(), sizeof node.position);
        writer.AddNode(node);
    }
    testkit::AnimMaterialChunk material;
    material.name = "brick";
    writer.AddMaterial(material);
    for (size_t i = 0; i < nodes.size(); ++i) {
        const BoxNode& n = nodes[i];
        if (n.size[0] == 0.0f)
            continue;
        testkit::AnimMeshChunk chunk;
        chunk.nodeIndex = uint32_t(i);
        chunk.isCollisionMesh = n.collision ? 1 : 0;
        testkit::AnimMeshChunk::Layer positions, normals, uvs, org;
        normals.type = 1;
        uvs.type = 3;
        uvs.attributeSize = 8;
        org.type = 5;
        org.attributeSize = 4;
        testkit::AnimMeshChunk::SubMesh sub;
        sub.numVertices = 8;
        for (uint32_t v = 0; v < 8; ++v) {
            const float p[3] = {(v & 1 ? 0.5f : -0.5f) * n.size[0], (v & 2 ? 0.5f : -0.5f) * n.size[1],
                                (v & 4 ? 0.5f : -0.5f) * n.size[2]};
            positions.words.insert(positions.words.end(), {Bits(p[0]), Bits(p[1]), Bits(p[2])});
            normals.words.insert(normals.words.end(), {Bits(0.0f), Bits(1.0f), Bits(0.0f)});
            uvs.words.insert(uvs.words.end(), {Bits(0.5f), Bits(0.5f)});
            org.words.push_back(v);
        }
        for (uint32_t t = 1; t + 1 < 8; ++t)
            sub.indices.insert(sub.indices.end(), {0, t, t + 1});
        chunk.numIndices = uint32_t(sub.indices.size());
        chunk.subMeshes.push_back(sub);
        chunk.numVertices = chunk.numOrgVertices = 8;
        chunk.layers = n.collision ? std::vector<testkit::AnimMeshChunk::Layer>{positions, org}
                                   : std::vector<testkit::AnimMeshChunk::Layer>{positions, normals, uvs, org};
        writer.AddMesh(chunk);
    }
    return writer.Finish();
}

// The wall: bricks 40 wide, 60 high and 20 deep, 10 columns of 3 courses,
// course r (1 to 3) at height 60 r - 30; node "r0c" names column c - 2 of
// course r (102 is column 0 of course 1). Brick i is course i / 10 + 1,
// column i % 10.
constexpr int kWallColumns = 10;
constexpr int kWallCourses = 3;
inline std::vector<BoxNode> WallNodes(int columns = kWallColumns, int courses = kWallCourses)
{
    std::vector<BoxNode> nodes{{"root", -1, {0, 0, 0}, {0, 0, 0}}};
    for (int course = 1; course <= courses; ++course)
        for (int column = 0; column < columns; ++column)
            nodes.push_back({std::to_string(course * 100 + column + 2), 0,
                             {float(column - columns / 2) * 40.0f + 20.0f, 60.0f * float(course) - 30.0f, 0.0f},
                             {39.0f, 60.0f, 20.0f}});
    return nodes;
}

// Walls of standing bricks, two a name, to read columns from node names:
// "Columns" stands in columns 0, 1, 3 (1205) and 6 (99908); "OddNames" in
// columns 0 and 1 and under names that belong to no column.
inline const std::vector<std::pair<const char*, std::vector<const char*>>> kNamedWalls = {
    {"Columns", {"102", "103", "1205", "99908"}},
    {"OddNames", {"102", "103", "300", "301", "312", "399", "abc", "-7", "12"}},
};

class ControlEffectsTest : public ScriptTestBase {
protected:
    void SetUp() override
    {
        ScriptTestBase::SetUp();
        RegisterControlClass(1, cTarvelControlBunkerWall::Load);
        RegisterControlClass(2, cTarvelControlSplitScreen::Load);
        RegisterControlClass(4, cTarvelControlMirror::Load);
        RegisterControlClass(6, cTarvelControlFlashlight::Load);
        RegisterControlClass(7, cTarvelControlSoundstageFade::Load);

        testkit::ArchiveWriter writer;
        for (int language : {1, 7, 9})
            writer.AddLanguage(language);
        writer.AddVolume(1);
        AddStartupEntries(writer);
        testkit::SceneFile file;
        file.name = "Yard";
        testkit::SceneMesh floor;
        floor.name = "floor";
        floor.vertices = {{-500, 0, -500, 0, 1, 0}, {500, 0, -500, 0, 1, 0}, {500, 0, 500, 0, 1, 0}};
        floor.indices = {0, 1, 2};
        file.meshes = {floor};
        // Main looks down +z at the wall from 500 in front of it.
        file.views = {{"Main", {0, 90, -500, 0, 0, 0, 1, 0.785f}}, {"Side", {400, 90, 0, 0, 0, 0, 1, 0.785f}}};
        file.script = AssembleScriptOrThrow(
            "import test__record 1 none\nglobal Log int\n"
            "function WallShoot\npush string \"shoot\"\ncallg Log test__record\nret\n"
            "function WallEnd\npush string \"end\"\ncallg Log test__record\nret\n");
        writer.AddShared(1, "Yard", testkit::kSceneResourceType, testkit::BuildSceneFile(file), false);

        const auto effect = [](std::vector<std::string> techniques) {
            const std::string source = testkit::MinimalEffectSource(techniques);
            return testkit::Bytes(source.begin(), source.end());
        };
        writer.AddShared(1, "particles.fx", 0, effect({"sparkle", "dust"}), true);
        writer.AddShared(1, "mobile_extras.fx", 0, effect({"bunkerwall"}), true);
        writer.AddShared(1, "flashlight.fx", 0, effect({"scenery", "mobile", "lightcone"}), true);
        const testkit::Bytes picture = testkit::BuildTga(testkit::Picture(16, 8), testkit::TgaOptions());
        for (const char* name : {"particle_dust", "particle_spark", "flashlight", "crosshair", "mirror", "floor_lit"})
            writer.AddShared(1, name, 5, picture, true);

        writer.AddShared(1, "Wall", 7, BuildBoxActor(WallNodes()), true);
        writer.AddShared(1, "BigWall", 7, BuildBoxActor(WallNodes(30, 10)), true);
        for (const auto& [actor, names] : kNamedWalls) {
            std::vector<BoxNode> nodes{{"root", -1, {0, 0, 0}, {0, 0, 0}}};
            for (const char* name : names)
                for (float y : {90.0f, 150.0f})
                    nodes.push_back({name, 0, {0, y, 0}, {10, 10, 10}});
            writer.AddShared(1, actor, 7, BuildBoxActor(nodes), true);
        }
        writer.AddShared(1, "Hero", 7,
                         BuildBoxActor({{"Bip01", -1, {0, 0, 0}, {20, 100, 20}},
                                        {"Bip01 R Forearm", 0, {10, 120, 0}, {5, 5, 20}},
                                        {"Bip01 Head", 0, {0, 160, 0}, {0, 0, 0}}}),
                         true);
        writer.AddShared(1, "Torch", 7, BuildBoxActor({{"grip", -1, {0, 0, 0}, {2, 2, 10}}}), true);
        writer.AddShared(1, "Flashlight_Lightcone", 7, BuildBoxActor({{"cone", -1, {0, 0, 0}, {10, 10, 100}}}),
                         true);
        const float from[3] = {0, 0, 0}, to[3] = {0, 0, 0};
        writer.AddShared(1, "hold", 8, testkit::BuildRootMotion("Bip01 R Forearm", from, to, 0.0f, 1.0f), true);
        writer.AddShared(1, "font1", 0, testkit::BuildGridFont(u"0123456789", 9), true);
        writer.AddShared(1, "thud", kResourceWav, platform::testing::EncodeWav(platform::testing::MakeTone(0.5, 8000, 1, 440), 8000, 1), true);
        std::string error;
        ASSERT_TRUE(writer.Write(WorkDir(), &error)) << error;
        InitEngine();
        gTarvel.mConfig.SFXVolume = 255;
        gTarvel.mSound.SetupSound("thud", "thud", 0, 0);

        mScene = new cTarvelScene();
        mScene->mSlot = gTarvel.mResources.OpenResource("Yard", testkit::kSceneResourceType);
        ASSERT_EQ(gTarvel.ChangeScene(mScene, 0), 0);
        ASSERT_EQ(mScene->mViews.Count(), 2);
        mScene->mViews[0]->Select(0);
        mMachine = Machine(kControlScript);
        Records().clear();
    }

    void TearDown() override
    {
        ClearScreenControls();
        gActiveControls.DeleteAll();
        if (gTarvel.mPlayer) {
            delete gTarvel.mPlayer;
            gTarvel.mPlayer = nullptr;
        }
        mMachine.reset();
        ScriptTestBase::TearDown();
    }

    // A player "Hero" standing at the point, with the torch as its
    // attachment when asked.
    cTarvelActor* MakePlayer(float x, float y, float z, bool torch = true)
    {
        auto* player = new cTarvelActor("OFF", "", true);
        player->mMobile = new cTarvelMobile;
        EXPECT_EQ(player->mMobile->Load("Hero"), 0);
        player->mMobile->SetPosition(x, y, z);
        if (torch) {
            player->mLinkedMobile = new cTarvelMobile;
            EXPECT_EQ(player->mLinkedMobile->Load("Torch"), 0);
        }
        gTarvel.mPlayer = player;
        return player;
    }

    // Calls a function of the control script.
    void Run(const char* function) { mMachine->CallFunction(function, nullptr); }

    cTarvelView* View(int i) { return mScene->mViews[i]; }

    // The script global's value: the call objects of the script classes.
    cTarvelScriptValue* Global(const char* name)
    {
        for (cTarvelScriptValue& value : mMachine->mGlobals)
            if (value.name == name)
                return &value;
        return nullptr;
    }

    template <class T>
    T* Bound(const char* global, eScriptObjectType type)
    {
        const cTarvelScriptValue* value = Global(global);
        return value ? gScriptHandles.Get<T>(value->object, type) : nullptr;
    }

    // Writes every active control into a fresh document, deletes them (as a
    // scene change would) and reads them back through the loaders.
    std::string SaveAndRestore()
    {
        TiXmlDocument document;
        auto* root = new TiXmlElement("Demogame");
        document.LinkEndChild(root);
        cTarvelSavegame& savegame = gTarvel.mSavegame;
        savegame.mRoot = savegame.mCurrent = root;
        SaveActiveControls(savegame);
        TiXmlPrinter printer;
        printer.SetStreamPrinting();
        document.Accept(&printer);
        gActiveControls.DeleteAll();
        LoadActiveControls(savegame);
        savegame.mRoot = savegame.mCurrent = nullptr;
        return printer.CStr();
    }

    static constexpr const char* kControlScript =
        "global Split object scope=1 class=cCtrlSplitScreen\n"
        "global Tick object scope=1 class=cCtrlTicker\n"
        "global Mirror object scope=1 class=cCtrlMirror\n"
        "global Torch object scope=1 class=cCtrlFlashlight\n"
        "global Wall object scope=1 class=cCtrlBunkerWall\n"
        "global Sys object\n"
        "global Main object class=cView\n"
        "global Side object class=cView\n"
        "global Hero object class=cActor\n"
        "global PC object scope=2 class=cActor\n"
        "import cCtrlSplitScreen__init 3 none\n"
        "import cCtrlTicker__init 1 none\n"
        "import cCtrlTicker__addLine 1 none\n"
        "import cCtrlMirror__init 2 none\n"
        "import cCtrlMirror__addMirrorFloor 0 none\n"
        "import cCtrlMirror__addMirrorPlane 4 none\n"
        "import cCtrlMirror__excludeMobile 1 none\n"
        "import cCtrlMirror__setMeshMode 1 none\n"
        "import cCtrlFlashlight__init 3 none\n"
        "import cCtrlFlashlight__addView 1 none\n"
        "import cCtrlFlashlight__addMobile 1 none\n"
        "import cCtrlFlashlight__end 0 none\n"
        "import cCtrlBunkerWall__init 8 none\n"
        "import cCtrlBunkerWall__execute 3 none\n"
        "import cCtrlBunkerWall__shootNow 0 none\n"
        "import cCtrlBunkerWall__isFinished 0 bool\n"
        "import cSystem__fadeSoundstage 2 none\n"
        "import test__record 1 none\n"
        "function SplitInit\npush object Main\npush object Side\npush float 1\ncallg Split cCtrlSplitScreen__init\nret\n"
        "function TickInit\npush float 2\ncallg Tick cCtrlTicker__init\nret\n"
        "function TickLines\npush string \"0123456789\"\ncallg Tick cCtrlTicker__addLine\n"
        "push string \"01234567890123456789\"\ncallg Tick cCtrlTicker__addLine\n"
        "push string \"01234\"\ncallg Tick cCtrlTicker__addLine\nret\n"
        "function MirrorInit\npush object Main\npush string \"mirror\"\ncallg Mirror cCtrlMirror__init\nret\n"
        "function MirrorFloor\ncallg Mirror cCtrlMirror__addMirrorFloor\nret\n"
        "function MirrorPlane\npush float 1\npush float 0\npush float 0\npush float -100\n"
        "callg Mirror cCtrlMirror__addMirrorPlane\nret\n"
        "function MirrorExclude\npush object Hero\ncallg Mirror cCtrlMirror__excludeMobile\nret\n"
        "function MirrorMesh\npush bool true\ncallg Mirror cCtrlMirror__setMeshMode\nret\n"
        "function TorchInit\npush string \"_lit\"\npush string \"hold\"\npush string \"Bip01 R Forearm\"\n"
        "callg Torch cCtrlFlashlight__init\nret\n"
        "function TorchView\npush object Main\ncallg Torch cCtrlFlashlight__addView\nret\n"
        "function TorchHero\npush object Hero\ncallg Torch cCtrlFlashlight__addMobile\nret\n"
        "function TorchPC\npush object PC\ncallg Torch cCtrlFlashlight__addMobile\nret\n"
        "function TorchEnd\ncallg Torch cCtrlFlashlight__end\nret\n"
        "function WallInit\npush string \"Wall\"\npush float 0\npush float 0\npush float 0\npush float 0\n"
        "push string \"crosshair\"\npush string \"Sun\"\npush string \"thud\"\ncallg Wall cCtrlBunkerWall__init\nret\n"
        "function WallExecute\npush int 100\npush int 200\npush int 900\ncallg Wall cCtrlBunkerWall__execute\nret\n"
        "function WallShootNow\ncallg Wall cCtrlBunkerWall__shootNow\nret\n"
        "function WallFinished\ncallg Wall cCtrlBunkerWall__isFinished\ncallg Sys test__record\nret\n"
        "function FadeOut\npush float 2\npush bool true\ncallg Sys cSystem__fadeSoundstage\nret\n";

    cTarvelScene* mScene = nullptr;
    std::unique_ptr<cTarvelScript> mMachine;
};

}  // namespace control_test
