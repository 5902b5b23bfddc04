// A scene of 100 meshes with 200,000 vertices, 20 walk areas with 100-node
// graphs and 100 hotspots: read from the archive per read and in bytes per
// second, beside a memory copy of the same file; and a view select that
// projects every vertex into the stage buffers, beside D3DXVec3Project of
// the same vertices in a plain loop.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "engine/core/tarvel.h"
#include "engine/world/camera.h"
#include "engine/world/scene.h"
#include "engine/world/view.h"
#include "platform/win32/win32.h"
#include "engine/render/image.h"
#include "tools/archive_writer.h"
#include "tools/image_writer.h"
#include "tools/scene_writer.h"
#include "tools/script_assembler.h"

namespace {

namespace fs = std::filesystem;

constexpr int kMeshes = 100;
constexpr int kVerticesPerMesh = 2000;
constexpr int kWalkAreas = 20;
constexpr int kNodes = 100;
constexpr int kHotspots = 100;

testkit::SceneFile BenchScene()
{
    testkit::SceneFile scene;
    scene.name = "Bench";
    uint32_t x = 12345;
    auto next = [&x] {
        x = x * 1103515245u + 12345u;
        return (x >> 8) & 0xFFFF;
    };
    for (int m = 0; m < kMeshes; ++m) {
        testkit::SceneMesh mesh;
        mesh.name = "mesh" + std::to_string(m);
        for (int v = 0; v < kVerticesPerMesh; ++v)
            mesh.vertices.push_back({float(int(next() % 2000) - 1000), float(next() % 400),
                                     float(next() % 2000), 0, 1, 0});
        for (int t = 0; t < 3 * kVerticesPerMesh / 2; ++t)
            mesh.indices.push_back(uint16_t(next() % kVerticesPerMesh));
        scene.meshes.push_back(std::move(mesh));
    }
    scene.views = {{"Main", {0, 150, -1500, 0, 0, 0, 1, 0.785f}}};
    for (int a = 0; a < kWalkAreas; ++a) {
        testkit::SceneWalkArea area;
        area.name = "area" + std::to_string(a);
        testkit::SceneWalkPolygon polygon;
        for (int v = 0; v < kNodes; ++v)
            polygon.vertices.push_back({float(v * 10), 0, float((v * 37) % 500)});
        area.polygons = {polygon};
        for (uint32_t t = 1; t + 1 < kNodes; ++t)
            area.triangles.push_back({testkit::WalkRef(0, 0), testkit::WalkRef(0, t), testkit::WalkRef(0, t + 1)});
        for (int n = 0; n < kNodes; ++n)
            area.nodes.push_back({float(n), float(n), 0, 0});
        for (int i = 0; i < kNodes * kNodes; ++i)
            area.routes.push_back({1, 0, int16_t(i % kNodes), float(i)});
        scene.walkAreas.push_back(std::move(area));
    }
    for (int h = 0; h < kHotspots; ++h) {
        testkit::SceneHotspot hotspot;
        hotspot.number = uint32_t(h);
        hotspot.regions = {{"Main", {{false, {{h, 200}, {h + 50, 200}, {h + 50, 300}, {h, 300}}}}, {}}};
        scene.hotspots.push_back(std::move(hotspot));
    }
    scene.script = AssembleScriptOrThrow("global Bench object class=cScene\nret\n");
    return scene;
}

struct Setup {
    std::vector<uint8_t> file;
    cTarvelScene* scene = nullptr;   // read once, for the view select
};

Setup& TheSetup()
{
    static Setup setup = [] {
        Setup s;
        s.file = testkit::BuildSceneFile(BenchScene());
        static const fs::path folder = fs::temp_directory_path() / ("tarvel-bench-scene-" + std::to_string(getpid()));
        fs::create_directories(folder / "root");
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(folder, ignored);
        });
        setenv("TARVEL_ROOT", (folder / "root").c_str(), 1);
        testkit::ArchiveWriter writer;
        writer.AddLanguage(9);
        writer.AddShared(1, "Bench", testkit::kSceneResourceType, s.file, false);
        // The picture projected onto every mesh.
        testkit::Picture picture(16, 16);
        testkit::ImageHeader header;
        header.width = header.height = 16;
        writer.AddShared(1, "background", kResourceImage,
                         testkit::BuildRawImageFile(header, std::span<const testkit::Picture>(&picture, 1)), false);
        std::string error;
        if (!writer.Write(folder, &error)) {
            std::fprintf(stderr, "cannot write the archive: %s\n", error.c_str());
            std::exit(1);
        }
        fs::current_path(folder);
        gInstance = GetModuleHandleA(nullptr);
        gTarvel.CreateMainWindow();
        gTarvel.mWindow = gMainWindow;
        gTarvel.mConfig.ScreenRes = 0x04000300;
        gTarvel.mConfig.PostEffects = 0;
        gTarvel.mConfig.Language = 9;
        if (gTarvel.mGraphics.Initialize() != 0 || gTarvel.mResources.Initialize() != 0)
            std::exit(1);
        s.scene = new cTarvelScene();
        const int slot = gTarvel.mResources.OpenResource("Bench", testkit::kSceneResourceType);
        s.scene->ReadFile(slot, 1);
        gTarvel.mResources.CloseResource(slot);
        gTarvel.mScene = s.scene;
        cTarvelView* view = s.scene->mViews[0];
        cTarvelImage* background = view->GetImageLayer("background", false);
        for (uint32_t i = 0; i < view->mMeshSettingCount; ++i) {
            view->mMeshSettings[i].renderMethod = 1;
            view->mMeshSettings[i].colorMap = background;
        }
        return s;
    }();
    return setup;
}

void BM_SceneRead(benchmark::State& state)
{
    Setup& setup = TheSetup();
    cTarvelResource& archive = gTarvel.mResources;
    for (auto _ : state) {
        auto* scene = new cTarvelScene();
        const int slot = archive.OpenResource("Bench", testkit::kSceneResourceType);
        scene->ReadFile(slot, 1);
        archive.CloseResource(slot);
        benchmark::DoNotOptimize(scene->mMeshes.data());
        delete scene;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(setup.file.size()));
    state.SetItemsProcessed(int64_t(state.iterations()));
}

// The same bytes copied in memory: the floor a read can reach.
void BM_SceneFileCopy(benchmark::State& state)
{
    Setup& setup = TheSetup();
    std::vector<uint8_t> copy(setup.file.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), setup.file.data(), setup.file.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(setup.file.size()));
    state.SetItemsProcessed(int64_t(state.iterations()));
}

void BM_ViewSelect(benchmark::State& state)
{
    Setup& setup = TheSetup();
    cTarvelView* view = setup.scene->mViews[0];
    for (auto _ : state)
        view->Select(0);
    state.SetItemsProcessed(int64_t(state.iterations()) * kMeshes * kVerticesPerMesh);
}

// The projection alone, through the same camera, in a plain loop.
void BM_Vec3Project(benchmark::State& state)
{
    Setup& setup = TheSetup();
    setup.scene->mViews[0]->Select(0);
    const cTarvelCamera& camera = gTarvel.mCamera;
    D3DXMATRIX world;
    D3DXMatrixIdentity(&world);
    std::vector<D3DXVECTOR2> out(size_t(kMeshes) * kVerticesPerMesh);
    for (auto _ : state) {
        size_t k = 0;
        for (const sSceneMeshRecord& mesh : setup.scene->mMeshes)
            for (uint32_t v = 0; v < mesh.vertexCount; ++v) {
                D3DXVECTOR3 p;
                D3DXVec3Project(&p, &mesh.positions[v], &camera.mViewport, &camera.mProj, &camera.mView, &world);
                out[k++] = D3DXVECTOR2(p.x, p.y);
            }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kMeshes * kVerticesPerMesh);
}

BENCHMARK(BM_SceneRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SceneFileCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewSelect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Vec3Project)->Unit(benchmark::kMillisecond);

}  // namespace
