// Rain of density 2,000 (2,000 drops and up to 2,000 splash sparks) moved and
// drawn for one frame, with draw execution off, beside a memory copy of the
// point data the frame writes into its vertex buffer.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/beside_baseline.h"
#include "engine/core/tarvel.h"
#include "engine/world/particle_weather_rain.h"
#include "platform/d3d9/testing.h"
#include "platform/win32/crt.h"
#include "platform/win32/win32.h"
#include "tools/archive_writer.h"
#include "tools/image_writer.h"
#include "tools/shaderlib_writer.h"

namespace {

namespace fs = std::filesystem;

constexpr int kDensity = 2000;
constexpr float kFrame = 1.0f / 60.0f;

struct Setup {
    cTarvelParticleWeatherRain rain;
    std::vector<sParticleVertex> source;
    std::vector<sParticleVertex> copy;
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
        return s;
    }();
    return *setup;
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

} // namespace
