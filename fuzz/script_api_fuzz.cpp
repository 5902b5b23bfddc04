// Runs the input as a script image against the headless engine in a
// writer-made scene "Room" (views "Main" and "Close", meshes, walk areas)
// with the player "Hero", resolving its imports to the real exported
// functions. The machine's globals of class cScene are bound to the scene,
// those of class cView to the view of their name and those of class cActor
// to the player. The image is entered at offset 0 and at its first
// functions, then once at a label a waiting call left. Every run has an
// instruction budget; fatal errors (a refused image, an unknown import, a
// missing file) return here through the reporter's hook, and what the run
// left behind (cinematics, movies, screen controls, a pending scene) is
// taken down before the next input.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "animation/anim_manager.h"
#include "animation/core/memory_manager.h"
#include "engine/core/tarvel.h"
#include "engine/gameplay/cinematic.h"
#include "engine/gameplay/control.h"
#include "engine/gameplay/screen_control.h"
#include "engine/render/video.h"
#include "engine/script/script.h"
#include "engine/script/script_api.h"
#include "engine/world/actor.h"
#include "engine/world/scene.h"
#include "fuzz/headless_engine.h"
#include "fuzz/scene_shaders.h"
#include "tools/image_writer.h"
#include "tools/scene_writer.h"
#include "tools/script_assembler.h"
#include "tools/shaderlib_writer.h"

namespace {

std::vector<uint8_t> RoomScene()
{
    testkit::SceneFile file;
    file.name = "Room";
    testkit::SceneMesh floor;
    floor.name = "floor";
    floor.vertices = {{-100, 0, 0, 0, 1, 0}, {100, 0, 0, 0, 1, 0}, {100, 0, 200, 0, 1, 0}};
    floor.indices = {0, 1, 2};
    testkit::SceneMesh wall;
    wall.name = "wall";
    file.meshes = {floor, wall};
    file.views = {{"Main", {0, 150, -500, 0, 0, 0, 1, 0.8f}}, {"Close", {0, 20, -50, 0, 0, 0, 1, 1.0f}}};
    for (const char* name : {"Floor", "Yard"}) {
        testkit::SceneWalkArea area;
        area.name = name;
        area.polygons = {{false, {{-100, 0, 0}, {100, 0, 0}, {100, 0, 200}}}};
        file.walkAreas.push_back(area);
    }
    file.script = AssembleScriptOrThrow("global Room object class=cScene\nglobal Main object class=cView\n"
                                        "global Close object class=cView\nret\nfunction Ping\nret\n");
    return testkit::BuildSceneFile(file);
}

std::vector<fuzz::FixedEntry> FixedEntries()
{
    std::vector<fuzz::FixedEntry> entries;
    const std::vector<uint8_t> room = RoomScene();
    entries.push_back({"Room.day", 1, room});
    entries.push_back({"Room.night", 1, room});
    for (const char* actor : {"Hero.day", "Hero.night", "Guide.day"}) {
        const std::string name(actor, std::string(actor).find('.'));
        entries.push_back({actor, 2, AssembleActorScript(name, "global PC object class=cActor\nret\n")});
    }
    const std::vector<uint8_t> tga = testkit::BuildTga(testkit::Picture(4, 4), testkit::TgaOptions());
    for (const char* name : {"Room_Main_sign", "Room_Main_glow", "Room_Main_door_b", "Room_Close_sign",
                             "particle_raindrop", "particle_rainspark"})
        entries.push_back({name, 5, tga});
    std::vector<testkit::Picture> frames(3, testkit::Picture(8, 8));
    testkit::ImageHeader header;
    header.frameRate = 10;
    const std::vector<uint8_t> animation = testkit::BuildRawImageFile(header, frames);
    for (const char* name : {"Room_Main_anim", "Room-cmv-intro", "news"})
        entries.push_back({name, 4, animation});
    const std::string effect = testkit::MinimalEffectSource(std::vector<std::string>{"rain_rain", "rain_sparkle"});
    entries.push_back({"particles.fx", 0, std::vector<uint8_t>(effect.begin(), effect.end())});
    return entries;
}

bool StartLibrary()
{
    static const bool started = AnimCore::SetMemoryAllocator(nullptr) && Anim::Initialize();
    return started;
}

void BindGlobals(cTarvelScript& machine, cTarvelScene* scene)
{
    for (cTarvelScriptValue& global : machine.mGlobals) {
        if (global.className == "cScene")
            global.object = gScriptHandles.Bind(scene, eScriptObjectType::Scene);
        else if (global.className == "cView")
            global.object = gScriptHandles.Bind(scene->FindView(global.name.c_str()), eScriptObjectType::View);
        else if (global.className == "cActor")
            global.object = gScriptHandles.Bind(gTarvel.mPlayer, eScriptObjectType::Actor);
    }
}

// What a run may leave in the engine, taken down as the engine's shutdown
// does. The machine is gone first, so nothing calls back into it.
void TakeDown()
{
    cTarvel& engine = gTarvel;
    engine.mActiveControls.DeleteAll();
    ClearScreenControls();
    while (engine.mCinematics.count > 0) {
        const int32_t last = engine.mCinematics.count - 1;
        cTarvelCinematic* cinematic = engine.mCinematics.data[last];
        if (cinematic)
            cinematic->Finish();
        if (engine.mCinematics.count > last)
            engine.mCinematics.RemoveAt(last);
        delete cinematic;
    }
    if (engine.mCutSceneMovie != engine.mMovie)
        delete engine.mCutSceneMovie;
    delete engine.mMovie;
    engine.mMovie = engine.mCutSceneMovie = nullptr;
    if (engine.mPendingScene && engine.mPendingScene != engine.mScene) {
        if (engine.mPendingScene->mSlot >= 0)
            engine.mResources.CloseResource(engine.mPendingScene->mSlot);
        engine.mPendingScene->mSlot = -1;
        delete engine.mPendingScene;
    }
    engine.mPendingScene = nullptr;
    delete engine.mPendingPlayer;
    engine.mPendingPlayer = nullptr;
    delete engine.mPlayer;
    engine.mPlayer = nullptr;
    if (engine.mScene) {
        engine.mScene->Clear();
        delete engine.mScene;
        engine.mScene = nullptr;
    }
    engine.mTimer.mTimers.Clear();
    engine.mLights.SetLights();
    engine.mGameplay.mFadeState = 0;
    engine.mGameplay.mFadeWaiter = nullptr;
    engine.mGameplay.mTextLines.Clear();
    if (engine.mGraphics.mPostEffect.technique)
        engine.mShaders.ClearBinding(&engine.mGraphics.mPostEffect);
    engine.mGraphics.mTimedPostEffect = false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!StartLibrary() || !fuzz::SceneEngineReady("script_api"))
        return 0;
    static const std::vector<fuzz::FixedEntry> fixed = FixedEntries();
    gSharedSymbols.Clear();
    gLibraryFunctions.Clear();
    cTarvelScript::sInstructionBudget = 20000;
    const std::vector<uint8_t> input(data, data + size);
    if (fuzz::OpenArchiveWith("input", 0, input, fixed)) {
        auto machine = std::make_unique<cTarvelScript>();
        fuzz::RunGuarded([&] {
            gTarvel.mGameState = gTarvel.mPendingGameState = "day";
            gTarvel.mPlayer = new cTarvelActor("Hero", "day", false);
            auto* scene = new cTarvelScene();
            scene->mSlot = gTarvel.mResources.OpenResource("Room.day", 1);
            if (gTarvel.ChangeScene(scene, 0) != 0)
                return;
            if (machine->LoadImage(data, size, "fuzz") != 0)
                return;
            BindGlobals(*machine, scene);
            machine->CallFunction("", nullptr);
            for (size_t i = 0; i < machine->mFunctions.size() && i < 4; ++i)
                machine->CallFunction(machine->mFunctions[i].name, nullptr);
            // A wait that kept the machine: resume it once where it waits.
            const cTarvelScript* waiting = machine.get();
            cTarvelString label;
            if (gTarvel.mGameplay.mFadeWaiter == waiting)
                label = gTarvel.mGameplay.mFadeLabel;
            else if (gTarvel.mMovie && gTarvel.mMovie->mScript == waiting)
                label = gTarvel.mMovie->mLabel;
            if (label.Length() > 0)
                machine->CallFunction(label.c_str(), nullptr);
        });
        machine.reset();
        fuzz::RunGuarded(TakeDown);
    }
    cTarvelScript::sInstructionBudget = -1;
    gTarvel.mResources.Release();
    return 0;
}
