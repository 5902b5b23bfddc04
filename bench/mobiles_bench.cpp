// One frame of a scene with 20 animated, skinned mobiles: each updated with
// two blended motions (skinning into its dynamic buffers), its lights
// ranked, put into the render list and drawn on the headless device with
// recording and draw execution off, so the figure is the engine's own work.
// Beside it, in the same run: a memory copy of the vertex data the frame
// writes. "frame_share" is the frame's part of 16 ms on one core.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "animation/anim_manager.h"
#include "animation/core/memory_manager.h"
#include "bench/beside_baseline.h"
#include "engine/core/tarvel.h"
#include "engine/world/light.h"
#include "engine/world/mobile.h"
#include "engine/world/mobile_animation.h"
#include "platform/d3d9/testing.h"
#include "platform/win32/win32.h"
#include "tools/archive_writer.h"
#include "tools/mobile_actor_writer.h"
#include "tools/shaderlib_writer.h"

namespace {

namespace fs = std::filesystem;

constexpr int kMobiles = 20;
constexpr int kBones = 8;
constexpr int kMeshesPerMobile = 4;
constexpr uint32_t kVerticesPerMesh = 1000;
constexpr float kFrame = 0.016f;

// A chain of bones; each of four meshes skinned to its own bone.
testkit::AnimBytes Figure()
{
    testkit::MobileActor actor;
    actor.nodes.clear();
    for (int b = 0; b < kBones; ++b)
        actor.nodes.push_back({"bone" + std::to_string(b), b - 1});
    actor.meshes.clear();
    for (int m = 0; m < kMeshesPerMobile; ++m) {
        testkit::MobileMesh mesh;
        mesh.node = uint32_t(m);
        mesh.skinNode = 2 * m + 1;
        mesh.offset[1] = float(m);
        mesh.subMeshes = {{kVerticesPerMesh, 0}};
        actor.meshes.push_back(mesh);
    }
    return testkit::BuildMobileActor(actor);
}

// Every bone turning about one axis over a second.
testkit::AnimBytes Swing(float axis[3], float angle)
{
    testkit::AnimFileWriter writer(testkit::AnimFileKind::SkeletalMotion);
    for (int b = 0; b < kBones; ++b) {
        testkit::AnimSkeletalSubMotionChunk sub;
        sub.name = "bone" + std::to_string(b);
        testkit::AnimKey<4> a, c;
        a.value[3] = 1.0f;
        const float s = std::sin(angle * 0.5f);
        c.value[0] = axis[0] * s;
        c.value[1] = axis[1] * s;
        c.value[2] = axis[2] * s;
        c.value[3] = std::cos(angle * 0.5f);
        c.time = 1.0f;
        testkit::AnimKey<4> back = a;
        back.time = 2.0f;
        sub.rotationKeys = {a, c, back};
        testkit::AnimKey<3> p0, p1;
        p0.value[1] = b == 0 ? 0.0f : 1.0f;
        p1 = p0;
        p1.time = 2.0f;
        sub.positionKeys = {p0, p1};
        writer.AddSkeletalSubMotion(sub);
    }
    return writer.Finish();
}

struct Setup {
    std::vector<std::unique_ptr<cTarvelMobile>> mobiles;
    std::vector<std::unique_ptr<cTarvelMobileAnimation>> animations;
    tArray<sRenderItem> list;
    std::vector<uint8_t> source, copy;   // the vertex data a frame writes
};

Setup& TheSetup()
{
    static Setup* setup = [] {
        auto* s = new Setup;
        static const fs::path folder =
            fs::temp_directory_path() / ("tarvel-bench-mobiles-" + std::to_string(getpid()));
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
        writer.AddShared(1, "figure", 7, Figure(), false);
        float x[3] = {1, 0, 0}, z[3] = {0, 0, 1};
        writer.AddShared(1, "swing", 8, Swing(x, 0.6f), false);
        writer.AddShared(1, "bend", 8, Swing(z, 0.4f), false);
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
        for (int i = 0; i < 6; ++i)
            gTarvel.mLights.CreateLight(cTarvelLight::kPoint)->mPosition = D3DXVECTOR3(float(i * 100), 200.0f, 0.0f);
        for (int m = 0; m < kMobiles; ++m) {
            auto mobile = std::make_unique<cTarvelMobile>();
            if (mobile->Load("figure") != 0)
                std::exit(1);
            mobile->SetPosition(float(m % 5) * 50.0f, 0.0f, float(m / 5) * 50.0f);
            for (const char* name : {"swing", "bend"}) {
                auto animation = std::make_unique<cTarvelMobileAnimation>(mobile.get(), 0);
                animation->Load(name);
                animation->mLoop = true;
                animation->Play(0.0f, 1.0f);
                s->animations.push_back(std::move(animation));
            }
            s->mobiles.push_back(std::move(mobile));
        }
        // 20 mobiles x 4000 vertices x 32 bytes.
        s->source.assign(size_t(kMobiles) * kMeshesPerMobile * kVerticesPerMesh * 32, 1);
        s->copy.resize(s->source.size());
        return s;
    }();
    return *setup;
}

bool Frame(Setup& s)
{
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    s.list.Clear();
    for (auto& mobile : s.mobiles) {
        mobile->Update(kFrame);
        mobile->CollectRenderItems(s.list, 0);
    }
    IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
    device->BeginScene();
    for (int32_t i = 0; i < s.list.Count(); ++i)
        static_cast<cTarvelMobile*>(s.list[i].object)->Draw(&identity, true, nullptr, 3, 6, false);
    device->EndScene();
    return s.list.Count() == kMobiles;
}

void BM_MobilesFrame(benchmark::State& state)
{
    Setup& s = TheSetup();
    bench::RunBesideBaseline(
        state, [&s] { return Frame(s); },
        [&s] {
            std::memcpy(s.copy.data(), s.source.data(), s.source.size());
            benchmark::DoNotOptimize(s.copy.data());
        });
    if (state.counters.count("project_ns"))
        state.counters["frame_share"] = state.counters["project_ns"] / 16e6;
    state.SetItemsProcessed(int64_t(state.iterations()) * kMobiles);
}

BENCHMARK(BM_MobilesFrame)->Unit(benchmark::kMillisecond);

}  // namespace
