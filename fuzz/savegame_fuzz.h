#pragma once
// Shared by the savegame entry points: the headless engine with a shader
// library, an archive holding the scene "Room" and the player "Ann" in the
// game state "day" (what the seeds name), what the controls, the inventory
// and the PDA open on a load (the bunker wall's actor "Wall", its effects and
// pictures, the items "Key", "Letter" and "Lamp", the mail picture "photo"),
// and one load of a file with the quiet flag set, then clear. Scripts that a load runs have an instruction
// budget; whatever a load restored is torn down before the next input.
#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <span>
#include <vector>

#include <tinyxml.h>

#include "animation/anim_manager.h"
#include "animation/core/memory_manager.h"
#include "engine/core/tarvel.h"
#include "engine/gameplay/control.h"
#include "engine/gameplay/savegame.h"
#include "engine/script/script.h"
#include "engine/world/actor.h"
#include "engine/world/scene.h"
#include "fuzz/headless_engine.h"
#include "fuzz/scene_shaders.h"
#include "platform/win32/path.h"
#include "tools/anim_file_writer.h"
#include "tools/image_writer.h"
#include "tools/scene_writer.h"
#include "tools/script_assembler.h"
#include "tools/shaderlib_writer.h"

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

// The bunker wall's actor: two courses of four box bricks on a root, each
// brick node named by course and column as the wall reads them ("102").
inline std::vector<uint8_t> SavegameWall()
{
    const auto bits = [](float f) {
        uint32_t u;
        std::memcpy(&u, &f, 4);
        return u;
    };
    constexpr float kBrick[3] = {40.0f, 30.0f, 20.0f};
    testkit::AnimFileWriter writer(testkit::AnimFileKind::Actor);
    testkit::AnimNodeChunk root;
    root.name = "root";
    writer.AddNode(root);
    for (int course = 1; course <= 2; ++course)
        for (int column = 0; column < 4; ++column) {
            testkit::AnimNodeChunk node;
            node.name = std::to_string(course * 100 + column + 2);
            node.parentIndex = 0;
            const float place[3] = {float(column - 2) * kBrick[0], kBrick[1] * (float(course) - 0.5f), 0.0f};
            std::memcpy(node.position, place, sizeof node.position);
            writer.AddNode(node);
        }
    testkit::AnimMaterialChunk material;
    material.name = "brick";
    writer.AddMaterial(material);
    for (uint32_t brick = 1; brick <= 8; ++brick) {
        testkit::AnimMeshChunk chunk;
        chunk.nodeIndex = brick;
        testkit::AnimMeshChunk::Layer positions, normals, uvs, org;
        normals.type = 1;
        uvs.type = 3;
        uvs.attributeSize = 8;
        org.type = 5;
        org.attributeSize = 4;
        testkit::AnimMeshChunk::SubMesh sub;
        sub.numVertices = 8;
        for (uint32_t v = 0; v < 8; ++v) {
            positions.words.insert(positions.words.end(), {bits((v & 1 ? 0.49f : -0.49f) * kBrick[0]),
                                                           bits((v & 2 ? 0.5f : -0.5f) * kBrick[1]),
                                                           bits((v & 4 ? 0.5f : -0.5f) * kBrick[2])});
            normals.words.insert(normals.words.end(), {bits(0.0f), bits(1.0f), bits(0.0f)});
            uvs.words.insert(uvs.words.end(), {bits(0.5f), bits(0.5f)});
            org.words.push_back(v);
        }
        for (uint32_t t = 1; t + 1 < 8; ++t)
            sub.indices.insert(sub.indices.end(), {0, t, t + 1});
        chunk.numIndices = uint32_t(sub.indices.size());
        chunk.subMeshes.push_back(sub);
        chunk.numVertices = chunk.numOrgVertices = 8;
        chunk.layers = {positions, normals, uvs, org};
        writer.AddMesh(chunk);
    }
    return writer.Finish();
}

// An inventory item's script: its "cInventoryItem" object and an "OnLoad"
// that does nothing.
inline std::vector<uint8_t> SavegameItem(const std::string& name)
{
    return AssembleScriptOrThrow("global " + name + " result class=cInventoryItem\nglobal PC result class=cActor\n"
                                 "function " + name + "::OnLoad\nret\n");
}

// The entries beside the input: the player, the bunker wall with its effects
// and pictures, three items and a mail picture.
inline std::vector<FixedEntry> SavegameEntries()
{
    const auto effect = [](std::vector<std::string> techniques) {
        const std::string source = testkit::MinimalEffectSource(techniques);
        return std::vector<uint8_t>(source.begin(), source.end());
    };
    std::vector<FixedEntry> entries = {
        {"Ann.day", 2, AssembleActorScript("Ann", "global PC object class=cActor\nret\n")},
        {"Wall", 7, SavegameWall()},
        {"particles.fx", 0, effect({"sparkle", "dust"})},
        {"mobile_extras.fx", 0, effect({"bunkerwall"})},
    };
    const std::vector<uint8_t> picture = testkit::BuildTga(testkit::Picture(8, 8), testkit::TgaOptions());
    for (const char* name : {"particle_spark", "particle_dust", "crosshair", "photo"})
        entries.push_back({name, 5, picture});
    for (const char* item : {"Key", "Letter", "Lamp"})
        entries.push_back({std::string(item) + ".day", 3, SavegameItem(item)});
    return entries;
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
    gTarvel.mInventory.Clear();
    gTarvel.mInventory.mPushedNames.Clear();
    gTarvel.mInventory.mPushed = 0;
    gTarvel.mPDA.Reset();
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
    // The player's and the bunker wall's mobiles need the animation system.
    static const bool animation = AnimCore::SetMemoryAllocator(nullptr) && Anim::Initialize();
    if (!animation)
        return 0;
    static const std::vector<uint8_t> room = SavegameRoom();
    static const std::vector<FixedEntry> fixed = SavegameEntries();
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
