// The physics step on the scenes the game has: a settled brick wall stepped
// awake and asleep, and a collapsing heap of boxes. Each scene runs beside
// the same scene in Bullet, measured in the same run; the figure that
// matters is the ratio.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <random>
#include <vector>

#include "bench/physics_scenes.h"

namespace {

using namespace bench_physics;

constexpr int kCourses = 10;
constexpr float kBrick[3] = {0.6f, 0.3f, 0.3f};

// A running-bond wall of n bricks in about kCourses courses; odd courses are
// shifted by half a brick and one shorter, so no brick overhangs.
std::vector<BoxSpec> Wall(int n)
{
    const int columns = n / kCourses;
    std::vector<BoxSpec> boxes;
    for (int course = 0; static_cast<int>(boxes.size()) < n; ++course) {
        const bool odd = course % 2 != 0;
        for (int column = 0; column < columns - (odd ? 1 : 0) && static_cast<int>(boxes.size()) < n; ++column) {
            const float x = (column - columns / 2) * kBrick[0] + (odd ? kBrick[0] * 0.5f : 0.0f);
            boxes.push_back(
                {{kBrick[0] * 0.995f, kBrick[1], kBrick[2]}, {x, kBrick[1] * (0.5f + course), 0}, 0, 2});
        }
    }
    return boxes;
}

// n boxes in a loose heap above the ground, turned at random.
std::vector<BoxSpec> Heap(int n)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> jitter(-0.1f, 0.1f), yaw(0.0f, 3.14159f), size(0.4f, 0.7f);
    std::vector<BoxSpec> boxes;
    for (int i = 0; i < n; ++i) {
        const int layer = i / 25;
        const int cell = i % 25;
        boxes.push_back({{size(rng), size(rng), size(rng)},
                         {(cell % 5 - 2) * 0.9f + jitter(rng), 0.5f + layer * 0.9f, (cell / 5 - 2) * 0.9f + jitter(rng)},
                         yaw(rng),
                         1});
    }
    return boxes;
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// A wall settled for 6 s, then stepped `steps` times; seconds per step.
template <typename Scene>
double TimedWallSteps(const std::vector<BoxSpec>& wall, bool awake, int steps)
{
    Scene scene(wall, awake);
    for (int i = 0; i < 360; ++i) {
        scene.Step();
    }
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < steps; ++i) {
        scene.Step();
    }
    return Seconds(start) / steps;
}

// A wall settles for 6 s first; then each iteration is one step. Our runs
// carry ratio_to_baseline: our time per step over Bullet's on the same wall,
// Bullet timed in the same run (the best of three).
template <typename Scene>
void WallStep(benchmark::State& state, bool awake, bool ours)
{
    const std::vector<BoxSpec> wall = Wall(static_cast<int>(state.range(0)));
    Scene scene(wall, awake);
    for (int i = 0; i < 360; ++i) {
        scene.Step();
    }
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        scene.Step();
    }
    const double perStep = Seconds(start) / static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations());
    state.counters["bricks"] = static_cast<double>(state.range(0));
    if (ours) {
        double baseline = 1e30;
        for (int k = 0; k < 3; ++k) {
            baseline = std::min(baseline, TimedWallSteps<BulletScene>(wall, awake, 100));
        }
        state.counters["project_ns"] = perStep * 1e9;
        state.counters["baseline_ns"] = baseline * 1e9;
        state.counters["ratio_to_baseline"] = perStep / baseline;
    }
}

void OurWallAwake(benchmark::State& state) { WallStep<OurScene>(state, true, true); }
void OurWallAsleep(benchmark::State& state) { WallStep<OurScene>(state, false, true); }
void BulletWallAwake(benchmark::State& state) { WallStep<BulletScene>(state, true, false); }
void BulletWallAsleep(benchmark::State& state) { WallStep<BulletScene>(state, false, false); }

constexpr int kCollapseSteps = 120;

// The first 2 s of a heap falling together; seconds.
template <typename Scene>
double TimedCollapse(const std::vector<BoxSpec>& heap)
{
    auto scene = std::make_unique<Scene>(heap, false);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kCollapseSteps; ++i) {
        scene->Step();
    }
    return Seconds(start);
}

// The first 2 s of a 300-box heap falling together, per step; our run
// carries ratio_to_baseline against Bullet as the walls do.
template <typename Scene>
void Collapse(benchmark::State& state, bool ours)
{
    const std::vector<BoxSpec> heap = Heap(300);
    double total = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        auto scene = std::make_unique<Scene>(heap, false);
        const auto start = std::chrono::steady_clock::now();
        state.ResumeTiming();
        for (int i = 0; i < kCollapseSteps; ++i) {
            scene->Step();
        }
        state.PauseTiming();
        total += Seconds(start);
        scene.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kCollapseSteps);
    if (ours) {
        double baseline = 1e30;
        for (int k = 0; k < 3; ++k) {
            baseline = std::min(baseline, TimedCollapse<BulletScene>(heap));
        }
        const double perRun = total / static_cast<double>(state.iterations());
        state.counters["project_ns"] = perRun * 1e9;
        state.counters["baseline_ns"] = baseline * 1e9;
        state.counters["ratio_to_baseline"] = perRun / baseline;
    }
}

void OurCollapse(benchmark::State& state) { Collapse<OurScene>(state, true); }
void BulletCollapse(benchmark::State& state) { Collapse<BulletScene>(state, false); }

}  // namespace

BENCHMARK(OurWallAwake)->Arg(100)->Arg(300)->Arg(500)->Unit(benchmark::kMicrosecond);
BENCHMARK(BulletWallAwake)->Arg(100)->Arg(300)->Arg(500)->Unit(benchmark::kMicrosecond);
BENCHMARK(OurWallAsleep)->Arg(100)->Arg(300)->Arg(500)->Unit(benchmark::kMicrosecond);
BENCHMARK(BulletWallAsleep)->Arg(100)->Arg(300)->Arg(500)->Unit(benchmark::kMicrosecond);
BENCHMARK(OurCollapse)->Unit(benchmark::kMillisecond);
BENCHMARK(BulletCollapse)->Unit(benchmark::kMillisecond);
