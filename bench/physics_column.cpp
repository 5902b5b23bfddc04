// How straight a column of ten boxes comes to rest, in our world and in
// Bullet: the largest sideways drift of a box from its column after 8 s, and
// whether every box is at rest by then. A program of its own: its counters
// are not the step benchmarks' ratios.
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

struct Outcome {
    double drift = 0.0;  // sideways, the farthest box
    bool still = true;   // every box asleep
};

bool Asleep(const OurScene& scene, std::size_t i) { return (scene.bodies[i]->flags & phRigidBody::kFlagActive) == 0; }
bool Asleep(const BulletScene& scene, std::size_t i) { return !scene.bodies[i]->isActive(); }

// The farthest any box of the column ends up from its place after 8 s,
// sideways, and whether all have come to rest; the column stands away from
// the origin, where positions round unevenly and no symmetry holds it
// straight.
template <typename Scene>
Outcome ColumnAfter8s(float x, float z, float gap, int solverModel, int frictionModel)
{
    Scene scene(Column(x, z, gap), false);
    if constexpr (std::is_same_v<Scene, OurScene>) {
        physSetSolverModel(scene.world, solverModel);
        physSetFrictionModel(scene.world, frictionModel);
    }
    for (int i = 0; i < 480; ++i) {
        scene.Step();
    }
    Outcome out;
    for (std::size_t i = 1; i <= 10; ++i) {
        const phVec4 p = scene.Position(i);
        out.drift = std::max(out.drift, std::hypot(static_cast<double>(p.x - x), static_cast<double>(p.z - z)));
        out.still = out.still && Asleep(scene, i);
    }
    return out;
}

// The largest drift over a few placements, dropped and placed, under the
// solver model and friction model of the arguments (0 exact, 1 growing, 10
// the engine's bounded solve); Bullet's on the same columns beside it. The
// target is at most 1/128, every box at rest.
void ColumnStraightness(benchmark::State& state)
{
    struct Placement {
        float x, z;
    };
    constexpr Placement kPlacements[] = {{0.37f, 0.0f}, {3.0f, 0.0f}, {-7.25f, 1.3f}, {12.5f, -4.1f}};
    const int solverModel = static_cast<int>(state.range(0));
    const int frictionModel = static_cast<int>(state.range(1));
    Outcome ours, bullet;
    for (auto _ : state) {
        ours = bullet = Outcome{};
        for (const Placement& p : kPlacements) {
            for (const float gap : {0.05f, 0.0f}) {
                const Outcome o = ColumnAfter8s<OurScene>(p.x, p.z, gap, solverModel, frictionModel);
                const Outcome b = ColumnAfter8s<BulletScene>(p.x, p.z, gap, solverModel, frictionModel);
                ours.drift = std::max(ours.drift, o.drift);
                ours.still = ours.still && o.still;
                bullet.drift = std::max(bullet.drift, b.drift);
                bullet.still = bullet.still && b.still;
            }
        }
    }
    state.counters["solver_model"] = solverModel;
    state.counters["friction_model"] = frictionModel;
    state.counters["project_drift"] = ours.drift;
    state.counters["bullet_drift"] = bullet.drift;
    state.counters["project_at_rest"] = ours.still ? 1 : 0;
    state.counters["bullet_at_rest"] = bullet.still ? 1 : 0;
    state.counters["drift_target"] = 1.0 / 128.0;
}

}  // namespace

BENCHMARK(ColumnStraightness)
    ->ArgsProduct({{0, 1, 10}, {0, 1}})
    ->ArgNames({"solver", "friction"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
