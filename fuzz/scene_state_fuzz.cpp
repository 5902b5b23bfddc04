// A scene's savegame state: a writer-made scene is read, then the input is
// parsed as its "Scene" element and loaded. The archive also holds what its
// free mobiles, actors and particle systems load.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <tinyxml.h>

#include "animation/anim_manager.h"
#include "animation/core/memory_manager.h"
#include "engine/gameplay/savegame.h"
#include "engine/script/script.h"
#include "engine/world/scene.h"
#include "fuzz/headless_engine.h"
#include "fuzz/scene_shaders.h"
#include "tools/anim_file_writer.h"
#include "tools/image_writer.h"
#include "tools/mobile_actor_writer.h"
#include "tools/scene_writer.h"
#include "tools/shaderlib_writer.h"
#include "tools/script_assembler.h"

namespace {

// Two views, two meshes, a walk area and a hotspot bound to a view.
std::vector<uint8_t> StateScene()
{
    testkit::SceneFile file;
    file.name = "Room";
    testkit::SceneMesh floor;
    floor.name = "floor";
    floor.vertices = {{-100, 0, 0, 0, 1, 0}, {100, 0, 0, 0, 1, 0}, {100, 0, 200, 0, 1, 0}};
    floor.indices = {0, 1, 2};
    testkit::SceneMesh bare;
    bare.name = "bare";
    file.meshes = {floor, bare};
    file.views = {{"Main", {0, 150, -500, 0, 0, 0, 1, 0.785f}}, {"Close", {0, 100, -200, 0, 0, 0, 1, 0.6f}}};
    testkit::SceneWalkArea area;
    area.name = "Floor";
    area.polygons = {{false, {{0, 0, 0}, {100, 0, 0}, {100, 0, 100}}}};
    file.walkAreas = {area};
    testkit::SceneHotspot door;
    door.number = 7;
    door.regions = {{"Main", {{false, {{1, 1}, {50, 1}, {50, 50}}}}, {}}};
    file.hotspots = {door};
    file.script = AssembleScriptOrThrow(
        "global Room object class=cScene\nglobal door object class=cHotspot\nglobal lamp object class=cMobile\n"
        "global Ann object class=cNPC\nret\nfunction Ann::arrive\nret\n");
    return testkit::BuildSceneFile(file);
}

// What free mobiles load: an actor "lamp" of two nodes and its motion "sway".
std::vector<fuzz::FixedEntry> MobileEntries()
{
    testkit::MobileActor lamp;
    lamp.nodes = {{"base", -1}, {"shade", 0}};
    const float from[3] = {0, 0, 0}, to[3] = {0, 4, 0};
    return {{"lamp", 7, testkit::BuildMobileActor(lamp)},
            {"sway", 8, testkit::BuildRootMotion("shade", from, to, 0.5f, 1.0f)}};
}

// What the actor "Ann" loads in the game state "day": her script, her body
// with the look-at bones and a hand, a cup to hold, her cycles and turns,
// and a facial motion (blink and smile).
void AddActorEntries(std::vector<fuzz::FixedEntry>& entries)
{
    entries.push_back({"Ann.day", 2, AssembleActorScript("Ann", "ret\nfunction Ann::PoseSit\nret\n")});
    testkit::MobileActor ann;
    ann.nodes = {{"root", -1},       {"Bip01 Spine1", 0}, {"Bip01 Spine2", 1}, {"Bip01 Head", 2},
                 {"Bone01_eyeR", 3}, {"Bone_eyeL", 3},    {"hand", 0}};
    entries.push_back({"ann", 7, testkit::BuildMobileActor(ann)});
    entries.push_back({"cup", 7, testkit::BuildMobileActor(testkit::MobileActor{})});
    const float from[3] = {0, 0, 0}, to[3] = {0, 0, 10};
    entries.push_back({"walk", 8, testkit::BuildRootMotion("root", from, to, 0.0f, 1.0f)});
    entries.push_back({"wave", 8, testkit::BuildRootMotion("hand", from, from, 0.0f, 2.0f)});
    entries.push_back({"turn", 8, testkit::BuildRootMotion("root", from, from, 1.5f, 1.0f)});
    testkit::AnimFileWriter writer(testkit::AnimFileKind::PMorphMotion);
    testkit::AnimMotionInfoChunk info;
    writer.AddMotionInfo(info, 101);
    testkit::AnimMorphSubMotionChunk sub;
    sub.name = "smile";
    sub.keys = {{0.0f, 0}, {1.0f, 65535}};
    writer.AddMorphSubMotion(sub);
    const std::vector<uint8_t> morph = writer.Finish();
    entries.push_back({"smile", 14, morph});
    entries.push_back({"blink", 14, morph});
}

// What particle systems load: their effect and the textures the seeds name.
void AddParticleEntries(std::vector<fuzz::FixedEntry>& entries)
{
    const std::string effect = testkit::MinimalEffectSource(
        std::vector<std::string>{"sparkle", "dust", "rain_rain", "rain_sparkle"});
    entries.push_back({"particles.fx", 0, std::vector<uint8_t>(effect.begin(), effect.end())});
    const std::vector<uint8_t> tga = testkit::BuildTga(testkit::Picture(2, 2), testkit::TgaOptions());
    for (const char* name : {"spark", "particle_raindrop", "particle_rainspark"})
        entries.push_back({name, 5, tga});
}

bool StartLibrary()
{
    static const bool started = AnimCore::SetMemoryAllocator(nullptr) && Anim::Initialize();
    return started;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!StartLibrary() || !fuzz::SceneEngineReady("scene_state"))
        return 0;
    static const std::vector<uint8_t> sceneFile = StateScene();
    static const std::vector<fuzz::FixedEntry> fixed = [] {
        std::vector<fuzz::FixedEntry> entries = MobileEntries();
        AddParticleEntries(entries);
        AddActorEntries(entries);
        return entries;
    }();
    cTarvelScript::sInstructionBudget = 100000;
    if (fuzz::OpenArchiveWith("Room", 1, sceneFile, fixed)) {
        auto* scene = new cTarvelScene();
        const std::string text(reinterpret_cast<const char*>(data), size);
        fuzz::RunGuarded([scene, &text] {
            scene->mSlot = gTarvel.mResources.OpenResource("Room", 1);
            gTarvel.mGameState = gTarvel.mPendingGameState = "day";
            if (gTarvel.ChangeScene(scene, 1) != 0)
                return;
            TiXmlDocument document;
            document.Parse(text.c_str());
            cTarvelSavegame& cursor = gTarvel.mSavegame;
            cursor.mRoot = cursor.mCurrent = document.RootElement();
            if (cursor.mCurrent)
                scene->LoadState(cursor);
            cursor.mRoot = cursor.mCurrent = nullptr;
            // A frame on what was restored.
            scene->Update();
            scene->UpdateMouseOver(100, 300);
            D3DXVECTOR3 point;
            scene->Pick(&point, 100, 300);
            fuzz::DrawSceneStages(scene);
        });
        gTarvel.mSavegame.mRoot = gTarvel.mSavegame.mCurrent = nullptr;
        gTarvel.mScene = nullptr;
        delete scene;
    }
    cTarvelScript::sInstructionBudget = -1;
    gTarvel.mResources.Release();
    return 0;
}
