#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "physics/collision_box.h"
#include "physics/contacts.h"
#include "physics/geometry.h"
#include "physics/maths.h"
#include "physics/world.h"

namespace {

phMat4 At(float x, float y, float z)
{
    phMat4 m = GetIdentityMatrix();
    m[3] = {x, y, z, 1};
    return m;
}

void CountPair(void* context, phRigidBody*, phRigidBody*) { ++*static_cast<std::size_t*>(context); }

// n dynamic boxes of 0.5 to 3 units scattered over the default world.
struct Scene {
    explicit Scene(int n)
    {
        std::mt19937 rng(42);
        std::uniform_real_distribution<float> pos(-90, 90), size(0.5f, 3);
        for (int i = 0; i < n; ++i) {
            phCollisionBox* box = phCollisionBox::Create(size(rng), size(rng), size(rng), GetIdentityMatrix());
            phRigidBody* b = world.CreateBody(box);
            box->Release();
            b->SetMass(1, 1, 1, 1);
            b->SetMatrix(At(pos(rng), pos(rng) * 0.2f, pos(rng)));
            bodies.push_back(b);
        }
        world.GetBroadphase().SetPairHandler(CountPair, &pairs);
    }

    // Every body moves a little, as in a step.
    void Jiggle(int step)
    {
        const float d = (step & 1) != 0 ? 0.05f : -0.05f;
        for (phRigidBody* b : bodies) {
            const phVec4 p = b->matrix[3];
            b->SetMatrix(At(p.x + d, p.y, p.z - d));
        }
    }

    phPhysWorld world;
    std::vector<phRigidBody*> bodies;
    std::size_t pairs = 0;
};

void BM_BroadphaseUpdatePairs(benchmark::State& state)
{
    Scene scene(static_cast<int>(state.range(0)));
    int step = 0;
    for (auto _ : state) {
        scene.Jiggle(step++);
        scene.world.GetBroadphase().UpdatePairs();
    }
    benchmark::DoNotOptimize(scene.pairs);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BroadphaseUpdatePairs)->Arg(300)->Arg(1000);

// Baseline: the same moves, then every pair's boxes compared.
void BM_BruteForcePairs(benchmark::State& state)
{
    Scene scene(static_cast<int>(state.range(0)));
    int step = 0;
    std::size_t pairs = 0;
    for (auto _ : state) {
        scene.Jiggle(step++);
        const std::size_t n = scene.bodies.size();
        for (std::size_t i = 0; i < n; ++i) {
            const phRigidBody* a = scene.bodies[i];
            for (std::size_t j = i + 1; j < n; ++j) {
                const phRigidBody* b = scene.bodies[j];
                pairs += phBoxOverlap(a->boxMin, a->boxMax, b->boxMin, b->boxMax) ? 1 : 0;
            }
        }
    }
    benchmark::DoNotOptimize(pairs);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BruteForcePairs)->Arg(300)->Arg(1000);

float Nearest(phRigidBody*, const phVec4&, std::int64_t, void* userData, float t)
{
    float* best = static_cast<float*>(userData);
    *best = t < *best ? t : *best;
    return t;
}

std::vector<std::pair<phVec4, phVec4>> Rays(int n)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> pos(-120, 120);
    std::vector<std::pair<phVec4, phVec4>> rays;
    for (int i = 0; i < n; ++i) {
        rays.emplace_back(phVec4{pos(rng), pos(rng) * 0.2f, pos(rng), 1}, phVec4{pos(rng), pos(rng) * 0.2f, pos(rng), 1});
    }
    return rays;
}

void BM_RayCast(benchmark::State& state)
{
    Scene scene(1000);
    const auto rays = Rays(256);
    std::size_t i = 0;
    for (auto _ : state) {
        float best = 1.1f;
        const auto& r = rays[i++ % rays.size()];
        scene.world.GetBroadphase().RayCast(r.first, r.second, Nearest, &best, nullptr);
        benchmark::DoNotOptimize(best);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RayCast);

// Baseline: every body's ray cast.
void BM_RayCastBruteForce(benchmark::State& state)
{
    Scene scene(1000);
    const auto rays = Rays(256);
    std::size_t i = 0;
    for (auto _ : state) {
        float best = 1.1f;
        const auto& r = rays[i++ % rays.size()];
        for (phRigidBody* b : scene.bodies) {
            best = b->RayCast(r.first, r.second, Nearest, &best, best);
        }
        benchmark::DoNotOptimize(best);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RayCastBruteForce);

struct BoxPairs {
    BoxPairs()
    {
        std::mt19937 rng(3);
        std::normal_distribution<float> g(0, 1);
        std::uniform_real_distribution<float> pos(-0.9f, 0.9f);
        for (int i = 0; i < 64; ++i) {
            phCollisionBox* a = phCollisionBox::Create(1.5f, 1, 1.2f, GetIdentityMatrix());
            phCollisionBox* b = phCollisionBox::Create(1, 1.3f, 0.8f, GetIdentityMatrix());
            auto* ba = new phRigidBody(nullptr, a);
            auto* bb = new phRigidBody(nullptr, b);
            a->Release();
            b->Release();
            ba->SetMass(1, 1, 1, 1);
            bb->SetMass(1, 1, 1, 1);
            const phQuat q = phQuatNormalise({g(rng), g(rng), g(rng), g(rng)});
            bb->SetMatrix(MatrixFromQuaternion(q, {pos(rng), pos(rng), pos(rng), 1}));
            pairs.emplace_back(ba, bb);
        }
    }
    ~BoxPairs()
    {
        for (auto& p : pairs) {
            delete p.first;
            delete p.second;
        }
    }
    std::vector<std::pair<phRigidBody*, phRigidBody*>> pairs;
};

void BM_BoxBoxContacts(benchmark::State& state)
{
    BoxPairs boxes;
    phContactRecord records[128];
    std::size_t i = 0;
    for (auto _ : state) {
        auto& p = boxes.pairs[i++ % boxes.pairs.size()];
        float time = 1.0f / 60.0f;
        benchmark::DoNotOptimize(CalculateConvexContacts(time, p.first, p.second, records, 128));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BoxBoxContacts);

// Baseline: the 15-axis separating-axis overlap of the same pairs (depth
// and axis only, no contact points).
void BM_BoxBoxSeparatingAxes(benchmark::State& state)
{
    BoxPairs boxes;
    std::size_t i = 0;
    for (auto _ : state) {
        auto& p = boxes.pairs[i++ % boxes.pairs.size()];
        const phMat4& ma = p.first->collisionMatrix;
        const phMat4& mb = p.second->collisionMatrix;
        const phVec4 ha = static_cast<const phCollisionBox*>(p.first->collision)->GetHalfExtents();
        const phVec4 hb = static_cast<const phCollisionBox*>(p.second->collision)->GetHalfExtents();
        const phVec4 d = mb[3] - ma[3];
        float best = 1e30f;
        auto test = [&](const phVec4& l) {
            const float len2 = phLengthSq(l);
            if (len2 < 1e-8f) {
                return;
            }
            float ea = 0, eb = 0;
            for (int k = 0; k < 3; ++k) {
                ea += ha[k] * std::fabs(phDot(ma[k], l));
                eb += hb[k] * std::fabs(phDot(mb[k], l));
            }
            const float o = (ea + eb - std::fabs(phDot(d, l))) / std::sqrt(len2);
            best = o < best ? o : best;
        };
        for (int a = 0; a < 3; ++a) {
            test(ma[a]);
            test(mb[a]);
            for (int b = 0; b < 3; ++b) {
                test(phCross(ma[a], mb[b]));
            }
        }
        benchmark::DoNotOptimize(best);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BoxBoxSeparatingAxes);

}  // namespace
