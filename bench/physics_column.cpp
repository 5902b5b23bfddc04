// How straight a column of ten boxes comes to rest, in our world and in
// Bullet: the largest sideways drift of a box from its column after 8 s. A
// program of its own: its counters are not the step benchmarks' ratios.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <vector>

#include "bench/physics_scenes.h"

namespace {

using namespace bench_physics;

// Ten unit boxes in a column standing at (x, z), each `gap` above the one
// below (5 cm: dropped; 0: placed touching).
std::vector<BoxSpec> Column(float x, float z, float gap)
{
    std::vector<BoxSpec> boxes;
    for (int i = 0; i < 10; ++i) {
        boxes.push_back({{1, 1, 1}, {x, 0.5f + static_cast<float>(i) + gap * static_cast<float>(i + 1), z}, 0, 1});
    }
    return boxes;
}

// The farthest any box of the column ends up from its place after 8 s,
// sideways; the column stands away from the origin, where positions round
// unevenly and no symmetry holds it straight.
template <typename Scene>
double ColumnDrift(float x, float z, float gap, int frictionModel)
{
    Scene scene(Column(x, z, gap), false);
    if constexpr (std::is_same_v<Scene, OurScene>) {
        physSetFrictionModel(scene.world, frictionModel);
    }
    for (int i = 0; i < 480; ++i) {
        scene.Step();
    }
    double drift = 0.0;
    for (std::size_t i = 1; i <= 10; ++i) {
        const phVec4 p = scene.Position(i);
        drift = std::max(drift, std::hypot(static_cast<double>(p.x - x), static_cast<double>(p.z - z)));
    }
    return drift;
}

// The largest drift over a few placements, dropped and placed, with the
// engine's solver and the friction model of the argument; Bullet's on the
// same columns beside it. The target is at most 1/128.
void ColumnStraightness(benchmark::State& state)
{
    struct Placement {
        float x, z;
    };
    constexpr Placement kPlacements[] = {{0.37f, 0.0f}, {3.0f, 0.0f}, {-7.25f, 1.3f}, {12.5f, -4.1f}};
    const int frictionModel = static_cast<int>(state.range(0));
    double ours = 0.0;
    double bullet = 0.0;
    for (auto _ : state) {
        ours = bullet = 0.0;
        for (const Placement& p : kPlacements) {
            for (const float gap : {0.05f, 0.0f}) {
                ours = std::max(ours, ColumnDrift<OurScene>(p.x, p.z, gap, frictionModel));
                bullet = std::max(bullet, ColumnDrift<BulletScene>(p.x, p.z, gap, frictionModel));
            }
        }
    }
    state.counters["friction_model"] = frictionModel;
    state.counters["project_drift"] = ours;
    state.counters["bullet_drift"] = bullet;
    state.counters["drift_target"] = 1.0 / 128.0;
}

}  // namespace

BENCHMARK(ColumnStraightness)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);
