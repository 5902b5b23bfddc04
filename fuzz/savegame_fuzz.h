#pragma once
// Shared by the savegame entry points: the headless engine with a shader
// library, an archive holding the scene "Room" and the player "Ann" in the
// game state "day" (what the seeds name), and one load of a file with the
// quiet flag set, then clear. Scripts that a load runs have an instruction
// budget; whatever a load restored is torn down before the next input.
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include <tinyxml.h>

#include "engine/core/tarvel.h"
#include "engine/gameplay/control.h"
#include "engine/gameplay/savegame.h"
#include "engine/script/script.h"
#include "engine/world/actor.h"
#include "engine/world/scene.h"
#include "fuzz/headless_engine.h"
#include "fuzz/scene_shaders.h"
#include "platform/win32/path.h"
#include "tools/scene_writer.h"
#include "tools/script_assembler.h"

namespace fuzz {

inline std::vector<uint8_t> SavegameRoom()
{
    testkit::SceneFile room;
    room.name = "Room";
    testkit::SceneMesh floor;
    floor.name = "floor";
    floor.vertices = {{-100, 0, 0, 0, 1, 0}, {100, 0, 0, 0, 1, 0}, {100, 0, 200, 0, 1, 0}};
    floor.indices = {0, 1, 2};
    room.meshes = {floor};
    room.views = {{"Main", {0, 150, -500, 0, 0, 0, 1, 0.785f}}, {"Close", {0, 100, -200, 0, 0, 0, 1, 0.6f}}};
    room.script = AssembleScriptOrThrow("global Room object class=cScene\nglobal PC object class=cActor\nret\n"
                                        "function Room::SetLights_night\nret\n");
    return testkit::BuildSceneFile(room);
}

// What one load restored, and what a refused one left half made.
inline void TearDownLoadedGame()
{
    if (cTarvelScene* scene = gTarvel.mScene) {
        gTarvel.mScene = nullptr;
        RunGuarded([scene] { scene->Leave(1); });
        scene->Clear();
        delete scene;
    }
    delete gTarvel.mPlayer;
    gTarvel.mPlayer = nullptr;
    gActiveControls.DeleteAll();
    for (cTarvelScriptValue& value : gSharedSymbols)
        value = cTarvelScriptValue();
    gSharedSymbols.Clear();
    gTarvel.mSavegame.mRoot = gTarvel.mSavegame.mCurrent = nullptr;
    delete gTarvel.mSavegame.mDocument;
    gTarvel.mSavegame.mDocument = nullptr;
}

inline int LoadSavegameFile(const char* entryPoint, std::span<const uint8_t> file)
{
    if (!SceneEngineReady(entryPoint))
        return 0;
    static const std::vector<uint8_t> room = SavegameRoom();
    static const std::vector<FixedEntry> fixed = {
        {"Ann.day", 2, AssembleActorScript("Ann", "global PC object class=cActor\nret\n")}};
    const std::filesystem::path path = HeadlessFolder() / "input.demogame";
    WriteWhole(path, file.data(), file.size());
    const cTarvelString windowsPath(platform::ShowPath(path.string()).c_str());
    cTarvelScript::sInstructionBudget = 100000;
    if (OpenArchiveWith("Room.day", 1, room, fixed)) {
        for (int quiet : {1, 0}) {
            RunGuarded([&] { gTarvel.mSavegame.Load(windowsPath, quiet); });
            TearDownLoadedGame();
        }
    }
    cTarvelScript::sInstructionBudget = -1;
    gTarvel.mResources.Release();
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    return 0;
}

}  // namespace fuzz
