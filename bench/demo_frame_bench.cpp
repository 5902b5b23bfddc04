// One frame of the sample game's first scene, the yard, with the player
// actor "PC" walking: the gameplay and world update (the control, the path
// step, the walk cycle), animation and skinning, lights, the render list and
// the frame drawn on the recording device (draws recorded, not executed).
// The engine is started on the built game folder as the game starts it;
// "Main::Start" opens the yard, and the intro cinematic is cut short once the
// yard is there. Beside it, in the same run: the same frame with the player
// standing. "frame_share" is the walking frame's part of 16 ms on one core.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/beside_baseline.h"
#include "engine/core/tarvel.h"
#include "engine/gameplay/cinematic.h"
#include "engine/gameplay/gameplay.h"
#include "engine/script/script.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/scene.h"
#include "platform/d3d9/testing.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace {

namespace fs = std::filesystem;
namespace pt = platform::testing;

constexpr uint32_t kFrameMs = 16;

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "bench_demo_frame: %s\n", what);
    std::exit(1);
}

// The engine started on the game folder, in the yard, the player in control.
cTarvelActor& TheYard()
{
    static cTarvelActor* player = [] {
        const fs::path root = fs::temp_directory_path() / ("bench_demo_frame." + std::to_string(getpid()));
        fs::create_directories(root);
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(fs::temp_directory_path() / ("bench_demo_frame." + std::to_string(getpid())), ignored);
        });
        pt::SetPlatformRoot(root.string());
        pt::TakeClock(10000);
        // The device decides at its creation whether it draws.
        pt::ExecuteDraws(false);
        pt::RecordDraws(true);
        // The game folder is only read: the savegame folder lies in the root.
        fs::current_path(TARVEL_GAME_DIR);
        gInstance = GetModuleHandleA(nullptr);
        gTarvel.CreateMainWindow();
        if (gTarvel.Init(gMainWindow, gInstance, cTarvelString()) != 0)
            Fail("the engine did not start on the game folder");
        gTarvel.mGameplay.mStateFlags = cTarvelGameplay::kInterfaceEnabled | cTarvelGameplay::kInventoryShown;
        gTarvel.mGameplay.mMainScript->CallFunction("Main::Start", nullptr);
        for (int i = 0; i < 600 && (!gTarvel.mScene || !gTarvel.mPlayer); ++i) {
            pt::AdvanceClock(kFrameMs);
            gTarvel.RunPass();
        }
        if (!gTarvel.mScene || !gTarvel.mPlayer || !gTarvel.mPlayer->mControl)
            Fail("Main::Start opened no scene with a player");
        // The intro's cinematic and video would take the frames over.
        gCinematics.DeleteAll();
        gTarvel.mGameplay.mStateFlags = cTarvelGameplay::kInterfaceEnabled | cTarvelGameplay::kInventoryShown;
        return gTarvel.mPlayer;
    }();
    return *player;
}

// The engine's pass, its time a frame of 16 ms; the recording starts afresh
// each frame, as a test reading one frame's draws has it.
void Pass()
{
    pt::RecordDraws(false);
    pt::RecordDraws(true);
    pt::AdvanceClock(kFrameMs);
    gTarvel.RunPass();
}

// Back and forth across the yard's walk area, as a click on the floor
// starts a walk; the pass that arrives is a walking frame too.
bool WalkingPass(cTarvelActor& player, const float (&ends)[2][3], int& leg)
{
    cTarvelActorControl& control = *player.mControl;
    // A walk stopped close by one end goes to the other.
    for (int tries = 0; tries < 2 && !control.mWalking; ++tries) {
        leg ^= 1;
        control.WalkTo(ends[leg][0], ends[leg][1], ends[leg][2], 0.0f, nullptr, nullptr);
    }
    // A walk that cannot start would measure a standing player.
    const bool walking = control.mWalking;
    Pass();
    return walking;
}

void BM_YardFrameWithThePlayerWalking(benchmark::State& state)
{
    cTarvelActor& player = TheYard();
    // From where the scene placed the player to a point of the walk area the
    // intro walks to, and back. The library runs this function several times on
    // the same engine: the start is taken once, as a later run may begin with
    // the player at the far end, where both ends would be one place.
    static const std::array<float, 3> at = [&] {
        std::array<float, 3> p{};
        player.mControl->GetPosition(p.data());
        return p;
    }();
    const float ends[2][3] = {{at[0], at[1], at[2]}, {0.0f, 0.0f, 150.0f}};
    int leg = 0;
    bench::RunBesideBaseline(
        state, [&] { return WalkingPass(player, ends, leg); },
        [&] {
            // The same frame, the player standing where it is.
            if (player.mControl->mWalking)
                player.mControl->Stop();
            Pass();
        });
    if (state.counters.count("project_ns"))
        state.counters["frame_share"] = state.counters["project_ns"] / 16e6;
    state.SetItemsProcessed(int64_t(state.iterations()));
}

BENCHMARK(BM_YardFrameWithThePlayerWalking)->Unit(benchmark::kMicrosecond);

} // namespace
