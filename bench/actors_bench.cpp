// Actors and particles, each beside a baseline in the same run:
// - rain of density 2,000 (2,000 drops and up to 2,000 splash sparks) moved
//   and drawn for one frame, with draw execution off, beside a memory copy of
//   the point data the frame writes into its vertex buffer;
// - a walk planned across a U-shaped walk area with a 100-node graph, beside
//   one straight SegmentCrosses test of that area;
// - a frame of 20 actors walking their paths (control, path step, cycles,
//   mobiles) beside the same 20 mobiles updated without their controls.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "animation/anim_manager.h"
#include "animation/core/memory_manager.h"
#include "bench/beside_baseline.h"
#include "engine/core/tarvel.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/mobile.h"
#include "engine/world/particle_weather_rain.h"
#include "engine/world/pathfinder.h"
#include "engine/world/scene.h"
#include "engine/world/walk_area.h"
#include "platform/d3d9/testing.h"
#include "platform/win32/crt.h"
#include "platform/win32/win32.h"
#include "tools/archive_writer.h"
#include "tools/image_writer.h"
#include "tools/mobile_actor_writer.h"
#include "tools/scene_writer.h"
#include "tools/script_assembler.h"
#include "tools/shaderlib_writer.h"

namespace {

namespace fs = std::filesystem;

constexpr int kDensity = 2000;
constexpr float kFrame = 1.0f / 60.0f;

constexpr int kNodes = 100;
constexpr int kWalkers = 20;

// A U of 3000 x 3000 open towards +z: the arms are x 0..1000 and 2000..3000,
// joined below z = 1000.
bool InNotch(float x, float z)
{
    return x > 1000.0f && x < 2000.0f && z > 1000.0f;
}

// Nodes along the U's middle line, from the top of the left arm round to the
// top of the right one; a route runs along the chain, straight where the
// segment stays out of the notch.
testkit::SceneWalkArea UArea()
{
    testkit::SceneWalkArea area;
    area.name = std::string(1, 'U');   // assigning the literal trips a false GCC -Wrestrict
    area.polygons = {{false,
                      {{0, 0, 0}, {3000, 0, 0}, {3000, 0, 3000}, {2000, 0, 3000}, {2000, 0, 1000},
                       {1000, 0, 1000}, {1000, 0, 3000}, {0, 0, 3000}}}};
    const float length = 2400.0f + 2000.0f + 2400.0f;
    for (int i = 0; i < kNodes; ++i) {
        float d = length * float(i) / float(kNodes - 1);
        testkit::SceneWalkNode node;
        if (d < 2400.0f) {
            node.x = 500.0f;
            node.z = 2900.0f - d;
        } else if (d < 4400.0f) {
            node.x = 500.0f + (d - 2400.0f);
            node.z = 500.0f;
        } else {
            node.x = 2500.0f;
            node.z = 500.0f + (d - 4400.0f);
        }
        area.nodes.push_back(node);
    }
    area.routes.resize(size_t(kNodes) * kNodes);
    for (int i = 0; i < kNodes; ++i) {
        for (int j = 0; j < kNodes; ++j) {
            testkit::SceneWalkRoute& route = area.routes[size_t(i) * kNodes + j];
            route.next = int16_t(j > i ? i + 1 : j < i ? i - 1 : -1);
            route.length = std::fabs(float(j - i)) * length / float(kNodes - 1);
            bool clear = true;
            for (int k = 0; k <= 64 && clear; ++k) {
                const float f = float(k) / 64.0f;
                clear = !InNotch(area.nodes[i].x + f * (area.nodes[j].x - area.nodes[i].x),
                                 area.nodes[i].z + f * (area.nodes[j].z - area.nodes[i].z));
            }
            route.direct = clear ? 1 : 0;
        }
    }
    return area;
}

// A body with the look-at bones and one mesh.
testkit::AnimBytes Walker()
{
    testkit::MobileActor actor;
    actor.nodes = {{"root", -1},       {"Bip01 Spine1", 0}, {"Bip01 Spine2", 1}, {"Bip01 Head", 2},
                   {"Bone01_eyeR", 3}, {"Bone01_eyeL", 3}};
    return testkit::BuildMobileActor(actor);
}

struct Setup {
    cTarvelParticleWeatherRain rain;
    std::vector<sParticleVertex> source;
    std::vector<sParticleVertex> copy;
    cTarvelScene* scene = nullptr;
    cTarvelWalkArea* area = nullptr;
    std::vector<std::unique_ptr<cTarvelActor>> walkers;
};

Setup& TheSetup()
{
    static Setup* setup = [] {
        static const fs::path folder = fs::temp_directory_path() / ("tarvel-bench-actors-" + std::to_string(getpid()));
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
        std::ifstream in(fs::path(TARVEL_SOURCE_DIR) / "demo" / "shaders" / "particles.fx", std::ios::binary);
        const testkit::Bytes effect{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (effect.empty()) {
            std::fprintf(stderr, "cannot read the particles effect\n");
            std::exit(1);
        }
        writer.AddShared(1, "particles.fx", 0, effect, true);
        const testkit::Bytes tga = testkit::BuildTga(testkit::Picture(8, 8), testkit::TgaOptions());
        writer.AddShared(1, "particle_raindrop", 5, tga, true);
        writer.AddShared(1, "particle_rainspark", 5, tga, true);
        testkit::SceneFile yard;
        yard.name = "Yard";
        yard.walkAreas = {UArea()};
        yard.script = AssembleScriptOrThrow("ret\n");
        writer.AddShared(1, "Yard", testkit::kSceneResourceType, testkit::BuildSceneFile(yard), false);
        writer.AddShared(1, "Walker.bench", 2, AssembleActorScript("Walker"), false);
        writer.AddShared(1, "walker", 7, Walker(), false);
        const float still[3] = {0, 0, 0};
        writer.AddShared(1, "walk", 8, testkit::BuildRootMotion("root", still, still, 0.0f, 1.0f), false);
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
        // The device decides at its creation whether it draws.
        platform::testing::RecordDraws(false);
        platform::testing::ExecuteDraws(false);
        if (gTarvel.mGraphics.Initialize() != 0 || gTarvel.mResources.Initialize() != 0)
            std::exit(1);
        gTarvel.mShaders.Init();
        crt::srand(1);
        auto* s = new Setup;
        // A box whose drops land within a second, so sparks fly every frame.
        s->rain.Create(0, 0, 500, 500, 300, 0, 400, kDensity, 20, 10);
        s->source.assign(2 * size_t(kDensity), sParticleVertex{1, 2, 3, 0xA0A0A0A0u});
        s->copy.resize(s->source.size());
        gTarvel.mTimer.mFrameSeconds = kFrame;

        s->scene = new cTarvelScene();
        const int slot = gTarvel.mResources.OpenResource("Yard", testkit::kSceneResourceType);
        s->scene->ReadFile(slot, 1);
        gTarvel.mResources.CloseResource(slot);
        gTarvel.mScene = s->scene;
        s->area = s->scene->FindWalkArea("U");
        for (int i = 0; i < kWalkers; ++i) {
            auto actor = std::make_unique<cTarvelActor>("Walker", "bench", false);
            if (actor->mMobile->Load("walker") != 0)
                std::exit(1);
            actor->CreateLookAtControllers();
            actor->mVisible = true;
            auto* control = static_cast<cTarvelActorControlDefault*>(actor->mControl);
            control->SetWalkLayer(s->area);
            control->SetWalkNRunCycle("walk", "walk");
            control->SetPosition(100.0f + 40.0f * float(i % 20), 0.0f, 2800.0f - 100.0f * float(i / 20));
            s->walkers.push_back(std::move(actor));
        }
        return s;
    }();
    return *setup;
}

// The other arm's top, from wherever the actor stands.
void WalkAcross(cTarvelActor& actor)
{
    float at[3];
    actor.mControl->GetPosition(at);
    const float x = at[0] < 1500.0f ? 2500.0f : 500.0f;
    actor.mControl->WalkTo(x, 0.0f, 2800.0f, 0.0f, nullptr, nullptr);
}

bool Frame(Setup& s)
{
    IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
    device->BeginScene();
    s.rain.Render();
    device->EndScene();
    return s.rain.mVertexBuffer != nullptr;
}

void BM_RainFrame(benchmark::State& state)
{
    Setup& s = TheSetup();
    // Into the steady state of drops and sparks first.
    for (int i = 0; i < 120; ++i)
        Frame(s);
    bench::RunBesideBaseline(
        state, [&s] { return Frame(s); },
        [&s] {
            std::memcpy(s.copy.data(), s.source.data(), s.source.size() * sizeof(sParticleVertex));
            benchmark::DoNotOptimize(s.copy.data());
        });
    state.SetItemsProcessed(int64_t(state.iterations()) * kDensity);
}

BENCHMARK(BM_RainFrame)->Unit(benchmark::kMicrosecond);

void BM_WalkAcrossTheU(benchmark::State& state)
{
    Setup& s = TheSetup();
    cTarvelActor& actor = *s.walkers[0];
    auto* control = static_cast<cTarvelActorControlDefault*>(actor.mControl);
    cTarvelPathfinder& path = *control->mPathfinder;
    int32_t waypoints = 0;
    bench::RunBesideBaseline(
        state,
        [&] {
            control->SetPosition(500.0f, 0.0f, 2800.0f);
            control->WalkTo(2500.0f, 0.0f, 2800.0f, 0.0f, nullptr, nullptr);
            waypoints = path.mWaypoints.count;
            return waypoints > 2;
        },
        [&s] { benchmark::DoNotOptimize(s.area->SegmentCrosses(500.0f, 2800.0f, 2500.0f, 2800.0f)); });
    control->ClearWalk();
    state.counters["waypoints"] = double(waypoints);
    state.SetItemsProcessed(int64_t(state.iterations()));
}

BENCHMARK(BM_WalkAcrossTheU)->Unit(benchmark::kMicrosecond);

// Fails when no actor walks: the frame would measure standing actors.
bool WalkFrame(Setup& s)
{
    int walking = 0;
    for (auto& actor : s.walkers) {
        if (!actor->mControl->mWalking)
            WalkAcross(*actor);
        actor->Update();
        walking += actor->mControl->mWalking ? 1 : 0;
    }
    return walking > 0;
}

void BM_ActorsWalkingFrame(benchmark::State& state)
{
    Setup& s = TheSetup();
    for (auto& actor : s.walkers)
        WalkAcross(*actor);
    bench::RunBesideBaseline(
        state, [&s] { return WalkFrame(s); },
        [&s] {
            for (auto& actor : s.walkers)
                actor->mMobile->Update(kFrame);
        });
    state.SetItemsProcessed(int64_t(state.iterations()) * kWalkers);
}

BENCHMARK(BM_ActorsWalkingFrame)->Unit(benchmark::kMicrosecond);

} // namespace
