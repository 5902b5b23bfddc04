// A frame of the bunker-wall control just after a shot, on a wall of 300
// bricks laid as bench/physics_step.cpp lays its walls (running bond, ten
// courses, bricks 60 x 30 x 30): the physics step, the contact records of
// the wall turned into dust and sound, the node controller and the wall's
// update, the sparks and the dust. Beside it, in the same run: the physics
// step of the same wall alone. "frame_share" is the frame's part of 16 ms.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "animation/anim_manager.h"
#include "animation/core/memory_manager.h"
#include "engine/core/tarvel.h"
#include "engine/gameplay/control_bunker_wall.h"
#include "engine/script/script.h"
#include "engine/script/script_value.h"
#include "platform/d3d9/testing.h"
#include "platform/win32/win32.h"
#include "tools/anim_file_writer.h"
#include "tools/archive_writer.h"
#include "tools/image_writer.h"
#include "tools/shaderlib_writer.h"

namespace {

namespace fs = std::filesystem;

constexpr int kBricks = 300;
constexpr int kCourses = 10;
constexpr float kBrick[3] = {60.0f, 30.0f, 30.0f};
constexpr float kFrame = 1.0f / 60.0f;
// Frames after each shot before the wall is built again.
constexpr int kFramesPerShot = 30;

uint32_t Bits(float f)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// The wall actor: a root and one box mesh per brick node, running bond.
testkit::AnimBytes WallActor()
{
    testkit::AnimFileWriter writer(testkit::AnimFileKind::Actor);
    testkit::AnimNodeChunk root;
    root.name = "root";
    writer.AddNode(root);
    const int columns = kBricks / kCourses;
    std::vector<std::array<float, 3>> places;
    for (int course = 0; int(places.size()) < kBricks; ++course) {
        const bool odd = course % 2 != 0;
        for (int column = 0; column < columns - (odd ? 1 : 0) && int(places.size()) < kBricks; ++column)
            places.push_back({float(column - columns / 2) * kBrick[0] + (odd ? kBrick[0] * 0.5f : 0.0f),
                              kBrick[1] * (0.5f + float(course)), 0.0f});
    }
    for (size_t i = 0; i < places.size(); ++i) {
        testkit::AnimNodeChunk node;
        node.name = std::to_string(100 * (i / size_t(columns) + 1) + i % size_t(columns) + 2);
        node.parentIndex = 0;
        std::memcpy(node.position, places[i].data(), sizeof node.position);
        writer.AddNode(node);
    }
    testkit::AnimMaterialChunk material;
    material.name = "brick";
    writer.AddMaterial(material);
    for (size_t i = 0; i < places.size(); ++i) {
        testkit::AnimMeshChunk chunk;
        chunk.nodeIndex = uint32_t(i + 1);
        testkit::AnimMeshChunk::Layer positions, normals, uvs, org;
        normals.type = 1;
        uvs.type = 3;
        uvs.attributeSize = 8;
        org.type = 5;
        org.attributeSize = 4;
        testkit::AnimMeshChunk::SubMesh sub;
        sub.numVertices = 8;
        for (uint32_t v = 0; v < 8; ++v) {
            const float w = kBrick[0] * 0.995f;
            positions.words.insert(positions.words.end(), {Bits((v & 1 ? 0.5f : -0.5f) * w),
                                                           Bits((v & 2 ? 0.5f : -0.5f) * kBrick[1]),
                                                           Bits((v & 4 ? 0.5f : -0.5f) * kBrick[2])});
            normals.words.insert(normals.words.end(), {Bits(0.0f), Bits(1.0f), Bits(0.0f)});
            uvs.words.insert(uvs.words.end(), {Bits(0.5f), Bits(0.5f)});
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

void StartEngine()
{
    static const fs::path folder = fs::temp_directory_path() / ("tarvel-bench-wall-" + std::to_string(getpid()));
    fs::create_directories(folder / "root");
    std::atexit([] {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    });
    setenv("TARVEL_ROOT", (folder / "root").c_str(), 1);
    testkit::ArchiveWriter writer;
    writer.AddLanguage(9);
    writer.AddShared(1, "shaderlib", 0, testkit::BuildShaderLibrary("bench", 1, testkit::MinimalEngineEffects()),
                     true);
    const auto effect = [](std::vector<std::string> techniques) {
        const std::string source = testkit::MinimalEffectSource(techniques);
        return testkit::Bytes(source.begin(), source.end());
    };
    writer.AddShared(1, "particles.fx", 0, effect({"sparkle", "dust"}), true);
    writer.AddShared(1, "mobile_extras.fx", 0, effect({"bunkerwall"}), true);
    const testkit::Bytes picture = testkit::BuildTga(testkit::Picture(16, 16), testkit::TgaOptions());
    for (const char* name : {"particle_dust", "particle_spark"})
        writer.AddShared(1, name, 5, picture, true);
    writer.AddShared(1, "Wall", 7, WallActor(), false);
    std::string error;
    if (!writer.Write(folder, &error)) {
        std::fprintf(stderr, "cannot write the archive: %s\n", error.c_str());
        std::exit(1);
    }
    fs::current_path(folder);
    if (!AnimCore::SetMemoryAllocator(nullptr) || !Anim::Initialize())
        std::exit(1);
    gInstance = GetModuleHandleA(nullptr);
    gTarvel.CreateMainWindow();
    gTarvel.mWindow = gMainWindow;
    gTarvel.mConfig.ScreenRes = 0x04000300;
    gTarvel.mConfig.PostEffects = 0;
    gTarvel.mConfig.Language = 9;
    platform::testing::RecordDraws(false);
    platform::testing::ExecuteDraws(false);
    if (gTarvel.mGraphics.Initialize() != 0 || gTarvel.mResources.Initialize() != 0 ||
        gTarvel.mPhysics.Initialize() != 0)
        std::exit(1);
    gTarvel.mShaders.Init();
    gTarvel.mTimer.mFrameSeconds = kFrame;
}

// A wall standing again and a shot into its middle, as the aiming screen
// fires it.
cTarvelControlBunkerWall* FreshWallAfterAShot(cTarvelControlBunkerWall* old)
{
    delete old;
    gSharedSymbols.Clear();
    auto* wall = new cTarvelControlBunkerWall("Wall", 0, 0, 0, 0, "", "", "", "Wall");
    wall->mShooting = true;
    sPhysicsBody* brick = wall->mBrickBodies[kBricks / 2];
    D3DXMATRIX m;
    gTarvel.mPhysics.GetBodyMatrix(brick, &m);
    gTarvel.mPhysics.AddImpulse(brick, 0.0f, 0.0f, 1000.0f, m._41, m._42, m._43);
    return wall;
}

void BM_BunkerWallFrameAfterShot(benchmark::State& state)
{
    static bool started = false;
    if (!started) {
        StartEngine();
        started = true;
    }
    using Clock = std::chrono::steady_clock;
    cTarvelControlBunkerWall* wall = nullptr;
    double frameSeconds = 0.0, stepSeconds = 0.0;
    int64_t frames = 0, dust = 0;
    for (auto _ : state) {
        if (frames % kFramesPerShot == 0) {
            state.PauseTiming();
            wall = FreshWallAfterAShot(wall);
            state.ResumeTiming();
        }
        const Clock::time_point start = Clock::now();
        gTarvel.mPhysics.Update();
        wall->Update();
        const Clock::time_point middle = Clock::now();
        // The same wall's physics step alone.
        gTarvel.mPhysics.Update();
        const Clock::time_point end = Clock::now();
        frameSeconds += std::chrono::duration<double>(middle - start).count();
        stepSeconds += std::chrono::duration<double>(end - middle).count();
        dust += wall->mDust.Count();
        ++frames;
    }
    delete wall;
    const double n = frames > 0 ? double(frames) : 1.0;
    state.counters["project_ns"] = frameSeconds / n * 1e9;
    state.counters["baseline_ns"] = stepSeconds / n * 1e9;
    state.counters["ratio_to_baseline"] = stepSeconds > 0.0 ? frameSeconds / stepSeconds : 0.0;
    state.counters["frame_share"] = frameSeconds / n / 0.016;
    state.counters["dust_systems"] = double(dust) / n;
    state.SetItemsProcessed(frames * kBricks);
}

BENCHMARK(BM_BunkerWallFrameAfterShot)->Unit(benchmark::kMillisecond);

}  // namespace
