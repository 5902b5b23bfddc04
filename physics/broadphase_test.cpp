#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "physics/class_id.h"
#include "physics/collision_box.h"
#include "physics/geometry.h"
#include "physics/maths.h"
#include "physics/world.h"

namespace {

using Pair = std::pair<const phRigidBody*, const phRigidBody*>;

struct PairLog {
    std::vector<Pair> order;
    std::set<Pair> unique;
    int duplicates = 0;
};

void LogPair(void* context, phRigidBody* a, phRigidBody* b)
{
    auto* log = static_cast<PairLog*>(context);
    log->order.emplace_back(a, b);
    const Pair key = a < b ? Pair(a, b) : Pair(b, a);
    if (!log->unique.insert(key).second) {
        ++log->duplicates;
    }
}

// A shape the broadphase must never pair.
class NullShape : public phCollision {
public:
    NullShape() : phCollision(7, GetIdentityMatrix(), 99) {}
    bool IsType(std::uint32_t id) const override
    {
        return id == phGetClassId(phClassIndex::CollisionNull) || phCollision::IsType(id);
    }
    void ReservedPair(void*, void*) override {}
    void CalcAABB(const phMat4& m, phVec4& mn, phVec4& mx) const override
    {
        mn = m[3] - phVec4{1, 1, 1, 0};
        mx = m[3] + phVec4{1, 1, 1, 0};
    }
    int ForEachFace(phFaceContext*, phFaceCallback) const override { return 0; }
    float RayCast(const phVec4&, const phVec4&, phRayHit*, phRayPrefilter, void*) const override { return kRayMiss; }
    float GetVolume() const override { return 0; }
    void CalcInertia(phVec4& i, phVec4& c) const override { i = c = {}; }
    void CalcVolumeBelowPlane(phVec4& out, const phMat4&, phPlaneCallback, void*) const override { out = {}; }
    std::uint32_t GetSignature() const override { return 7; }
};

phMat4 At(float x, float y, float z)
{
    phMat4 m = GetIdentityMatrix();
    m[3] = {x, y, z, 1};
    return m;
}

class BroadphaseTest : public ::testing::Test {
protected:
    void SetUp() override { world.GetBroadphase().SetPairHandler(LogPair, &log); }

    phRigidBody* AddBox(float sx, float sy, float sz, const phMat4& m, bool dynamic)
    {
        phCollisionBox* box = phCollisionBox::Create(sx, sy, sz, GetIdentityMatrix());
        phRigidBody* body = world.CreateBody(box);
        box->Release();
        if (dynamic) {
            body->SetMass(1, 1, 1, 1);
        }
        body->SetMatrix(m);
        bodies.push_back(body);
        return body;
    }

    static bool ActiveDynamic(const phRigidBody* b)
    {
        return (b->flags & phRigidBody::kFlagActive) != 0 && b->invMass.w > 0.0f;
    }

    std::set<Pair> BruteForce() const
    {
        std::set<Pair> out;
        const std::uint32_t nullId = phGetClassId(phClassIndex::CollisionNull);
        for (std::size_t i = 0; i < bodies.size(); ++i) {
            for (std::size_t j = i + 1; j < bodies.size(); ++j) {
                const phRigidBody* a = bodies[i];
                const phRigidBody* b = bodies[j];
                if (!(ActiveDynamic(a) || ActiveDynamic(b)) || a->collision->IsType(nullId) ||
                    b->collision->IsType(nullId)) {
                    continue;
                }
                if (phBoxOverlap(a->boxMin, a->boxMax, b->boxMin, b->boxMax)) {
                    out.insert(a < b ? Pair(a, b) : Pair(b, a));
                }
            }
        }
        return out;
    }

    void StepAndCompare(const char* what)
    {
        log = PairLog();
        world.GetBroadphase().UpdatePairs();
        EXPECT_EQ(log.duplicates, 0) << what;
        EXPECT_EQ(log.unique, BruteForce()) << what;
    }

    phPhysWorld world;
    PairLog log;
    std::vector<phRigidBody*> bodies;
};

}  // namespace

TEST_F(BroadphaseTest, WorldSizeSnapsAndKeepsY)
{
    phBroadphase& bp = world.GetBroadphase();
    struct Case {
        phVec4 min, max;
        float side;
        phVec4 outMin, outMax;
    } cases[] = {
        {{-100, -100, -100, 1}, {100, 100, 100, 1}, 200, {-100, -100, -100, 1}, {100, 100, 100, 1}},
        // Extent 150.3 in z rounds up to 151; min snaps down to 1/512.
        {{-0.001f, -3, 0, 1}, {100, 7, 150.3f, 1}, 151, {-1.0f / 512.0f, -3, 0, 1}, {151 - 1.0f / 512.0f, 7, 151, 1}},
    };
    for (const Case& c : cases) {
        bp.SetWorldSize(c.min, c.max);
        phVec4 mn, mx;
        bp.GetWorldSize(mn, mx);
        EXPECT_FLOAT_EQ(bp.RootSide(), c.side);
        for (int a = 0; a < 3; ++a) {
            EXPECT_FLOAT_EQ(mn[a], c.outMin[a]) << a;
            EXPECT_FLOAT_EQ(mx[a], c.outMax[a]) << a;
        }
    }
}

TEST_F(BroadphaseTest, CellsFollowTheBoxes)
{
    // World (-100..100): the root's mid line is x = 0.
    phRigidBody* straddling = AddBox(2, 2, 2, At(0, 0, -50), true);
    EXPECT_EQ(straddling->proxy.cell, world.GetBroadphase().Root());
    EXPECT_EQ(straddling->proxy.cell->level, 0);

    // A tiny body descends nine levels at most: side 200/512.
    phRigidBody* tiny = AddBox(0.01f, 0.01f, 0.01f, At(37.3f, 0, 12.1f), true);
    const phBroadphaseCell* cell = tiny->proxy.cell;
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->level, 9);
    EXPECT_FLOAT_EQ(cell->side, 200.0f / 512.0f);
    EXPECT_LE(cell->origin.x, tiny->boxMin.x);
    EXPECT_GE(cell->origin.x + cell->side, tiny->boxMax.x);

    // Moving it back across the mid line lifts it to the root and frees the
    // emptied cells; the freed cells are reused later.
    tiny->SetMatrix(At(0, 0, 12.1f));
    EXPECT_EQ(tiny->proxy.cell, world.GetBroadphase().Root());
    for (const phBroadphaseCell* child : world.GetBroadphase().Root()->children) {
        EXPECT_EQ(child, nullptr);
    }
    tiny->SetMatrix(At(-60, 0, -60));
    EXPECT_EQ(tiny->proxy.cell->level, 9);

    // Removing every body frees the root.
    world.DestroyBody(tiny);
    world.DestroyBody(straddling);
    bodies.clear();
    EXPECT_EQ(world.GetBroadphase().Root(), nullptr);
}

TEST_F(BroadphaseTest, PairRules)
{
    phRigidBody* stat = AddBox(4, 4, 4, At(10, 0, 10), false);
    phRigidBody* dyn = AddBox(2, 2, 2, At(11, 0, 11), true);
    phRigidBody* stat2 = AddBox(4, 4, 4, At(12, 0, 12), false);
    StepAndCompare("static and dynamic");
    EXPECT_EQ(log.unique.size(), 2u);  // dyn with both statics, not the statics together

    // A dynamic body that is inactive pairs with nothing that rests.
    dyn->flags &= ~phRigidBody::kFlagActive;
    world.RemoveFromAwake(dyn);
    dyn->SetMatrix(At(11.1f, 0, 11));
    StepAndCompare("inactive");
    EXPECT_TRUE(log.unique.empty());
    (void)stat;
    (void)stat2;

    // Two awake dynamic bodies, both refreshed this step, still pair.
    dyn->flags |= phRigidBody::kFlagActive;
    world.WakeBody(dyn);
    phRigidBody* dyn2 = AddBox(2, 2, 2, At(-40.5f, 0, -40), true);
    dyn->SetMatrix(At(-40, 0, -40));
    StepAndCompare("two dynamic");
    EXPECT_LE(world.GetBroadphase().MovedThreshold(), 8u);
    EXPECT_EQ(log.unique.size(), 1u);
    EXPECT_EQ(log.unique.count(dyn < dyn2 ? Pair(dyn, dyn2) : Pair(dyn2, dyn)), 1u);
    dyn->SetMatrix(At(11.1f, 0, 11));
    dyn2->flags &= ~phRigidBody::kFlagActive;
    world.RemoveFromAwake(dyn2);
    dyn->flags &= ~phRigidBody::kFlagActive;
    world.RemoveFromAwake(dyn);

    // A null collision never pairs.
    NullShape* shape = new NullShape();
    ASSERT_NE(shape, nullptr);
    phRigidBody* ghost = world.CreateBody(shape);
    shape->Release();
    ghost->SetMass(1, 1, 1, 1);
    ghost->SetMatrix(At(11, 0, 11));
    bodies.push_back(ghost);
    StepAndCompare("null shape");
    EXPECT_TRUE(log.unique.empty());
}

TEST_F(BroadphaseTest, RandomBoxesMatchBruteForce)
{
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> pos(-95, 95), size(0.5f, 12), small(0.2f, 3), unit(0, 1);
    // Many static boxes and a few dynamic ones: few moved bodies, the
    // incremental path; then many dynamic ones: the full sweep.
    for (int i = 0; i < 150; ++i) {
        AddBox(size(rng), size(rng), size(rng), At(pos(rng), pos(rng) * 0.3f, pos(rng)), false);
    }
    std::vector<phRigidBody*> dynamic;
    for (int i = 0; i < 3; ++i) {
        dynamic.push_back(AddBox(small(rng), small(rng), small(rng), At(pos(rng), 0, pos(rng)), true));
    }
    StepAndCompare("first");
    for (int step = 0; step < 40; ++step) {
        for (phRigidBody* b : dynamic) {
            const phVec4 p = b->matrix[3];
            b->SetMatrix(At(std::clamp(p.x + (unit(rng) - 0.5f) * 8, -95.0f, 95.0f), p.y,
                            std::clamp(p.z + (unit(rng) - 0.5f) * 8, -95.0f, 95.0f)));
        }
        // Now and then a static box is moved as well.
        if (step % 5 == 0) {
            bodies[static_cast<std::size_t>(step)]->SetMatrix(At(pos(rng), 0, pos(rng)));
        }
        EXPECT_LE(world.GetBroadphase().MovedCount(), world.GetBroadphase().MovedThreshold());
        StepAndCompare("incremental");
    }
    EXPECT_EQ(world.GetBroadphase().MovedThreshold(), 2u * (8u + 1u));  // 153 bodies: 8 bits

    for (int i = 0; i < 120; ++i) {
        dynamic.push_back(AddBox(small(rng), small(rng), small(rng), At(pos(rng), pos(rng) * 0.1f, pos(rng)), true));
    }
    for (int step = 0; step < 10; ++step) {
        for (phRigidBody* b : dynamic) {
            if (unit(rng) < 0.5f) {
                b->SetMatrix(At(pos(rng), pos(rng) * 0.1f, pos(rng)));
            }
        }
        EXPECT_GT(world.GetBroadphase().MovedCount(), world.GetBroadphase().MovedThreshold());
        StepAndCompare("full sweep");
    }

    // A new world size re-files every body; the pairs stay those of brute force.
    world.GetBroadphase().SetWorldSize({-120, -50, -110, 1}, {130, 50, 100, 1});
    StepAndCompare("after resize");
    world.GetBroadphase().SetWorldSize({-100, -100, -100, 1}, {100, 100, 100, 1});
    StepAndCompare("after second resize");
}

namespace {

// Every list of the cell and its children ordered by key, each key its
// body's box minimum, and as many entries as the count says.
void ExpectListsSorted(const phBroadphaseCell* cell, const char* what)
{
    for (int a = 0; a < 3; ++a) {
        const auto& list = cell->lists[a];
        std::uint32_t count = 0;
        const phBroadphaseEntry* prev = nullptr;
        for (const phBroadphaseEntry* e = list.first; e != nullptr; prev = e, e = e->next) {
            ++count;
            EXPECT_EQ(e->prev, prev) << what;
            EXPECT_EQ(e->key, e->body->boxMin[a]) << what;
            if (prev != nullptr) {
                EXPECT_LE(prev->key, e->key) << what << " axis " << a;
            }
        }
        EXPECT_EQ(list.last, prev) << what;
        EXPECT_EQ(count, list.count) << what;
    }
    for (const phBroadphaseCell* child : cell->children) {
        if (child != nullptr) {
            ExpectListsSorted(child, what);
        }
    }
}

}  // namespace

TEST_F(BroadphaseTest, SmallMovesKeepTheListsSortedAndThePairsExact)
{
    // A crowd in one small square wanders a little each step, as a heap
    // does: entries pass their neighbours both ways within their cell, some
    // keys tie, and now and then one jumps across the crowd.
    std::mt19937 rng(4321);
    std::uniform_real_distribution<float> pos(-4, 4), step(-0.3f, 0.3f), unit(0, 1);
    for (int i = 0; i < 70; ++i) {
        AddBox(1, 1, 1, At(pos(rng), pos(rng), pos(rng)), true);
    }
    AddBox(1, 1, 1, At(0, 0, 0), true);
    AddBox(1, 1, 1, At(0, 0, 0), true);  // ties on every axis
    StepAndCompare("first");
    ExpectListsSorted(world.GetBroadphase().Root(), "first");
    for (int s = 0; s < 60; ++s) {
        for (phRigidBody* b : bodies) {
            const phVec4 p = b->matrix[3];
            if (unit(rng) < 0.03f) {
                b->SetMatrix(At(-p.x, -p.y, -p.z));
            } else {
                b->SetMatrix(At(std::clamp(p.x + step(rng), -4.0f, 4.0f), std::clamp(p.y + step(rng), -4.0f, 4.0f),
                                std::clamp(p.z + step(rng), -4.0f, 4.0f)));
            }
        }
        StepAndCompare("wandering");
        ExpectListsSorted(world.GetBroadphase().Root(), "wandering");
    }
}

TEST_F(BroadphaseTest, SameInputSamePairOrder)
{
    std::vector<std::vector<std::pair<int, int>>> indexed(2);
    for (int run = 0; run < 2; ++run) {
        phPhysWorld w;
        PairLog l;
        w.GetBroadphase().SetPairHandler(LogPair, &l);
        std::mt19937 rng(99);
        std::uniform_real_distribution<float> pos(-50, 50), size(1, 10);
        std::vector<phRigidBody*> made;
        for (int i = 0; i < 80; ++i) {
            phCollisionBox* box = phCollisionBox::Create(size(rng), size(rng), size(rng), GetIdentityMatrix());
            phRigidBody* b = w.CreateBody(box);
            box->Release();
            if (i % 2 == 0) {
                b->SetMass(1, 1, 1, 1);
            }
            b->SetMatrix(At(pos(rng), 0, pos(rng)));
            made.push_back(b);
        }
        w.GetBroadphase().UpdatePairs();
        for (const Pair& p : l.order) {
            const auto ia = std::find(made.begin(), made.end(), p.first) - made.begin();
            const auto ib = std::find(made.begin(), made.end(), p.second) - made.begin();
            indexed[static_cast<std::size_t>(run)].emplace_back(static_cast<int>(ia), static_cast<int>(ib));
        }
    }
    EXPECT_FALSE(indexed[0].empty());
    EXPECT_EQ(indexed[0], indexed[1]);
}

TEST_F(BroadphaseTest, LeavingTheWorldDeactivates)
{
    static int left = 0;
    static int deactivated = 0;
    left = deactivated = 0;
    world.bodyLeftWorldCallback = [](phRigidBody*) { ++left; };
    phRigidBody* b = AddBox(2, 2, 2, At(0, 0, 0), true);
    b->activationCallback = [](phRigidBody*, std::uint32_t state) { deactivated += state == 0 ? 1 : 0; };
    b->SetMatrix(At(500, 0, 0));
    EXPECT_EQ(left, 1);
    EXPECT_EQ(deactivated, 1);
    EXPECT_EQ(b->flags & (phRigidBody::kFlagActive | phRigidBody::kFlagAutoSleep), 0u);
    EXPECT_EQ(b->awakeNode, nullptr);
    EXPECT_TRUE(b->inBroadphase);

    // A callback that brings the body back restores it.
    world.bodyLeftWorldCallback = [](phRigidBody* body) {
        ++left;
        body->matrix = At(0, 0, 0);
        body->collision->CalcAABB(body->matrix, body->boxMin, body->boxMax);
    };
    b->SetMatrix(At(-500, 0, 0));
    EXPECT_NE(b->flags & phRigidBody::kFlagActive, 0u);
    EXPECT_NE(b->awakeNode, nullptr);
}

namespace {

struct RayHitLog {
    float best = 1.1f;
    const phRigidBody* body = nullptr;
    int calls = 0;
};

float NearestFilter(phRigidBody* body, const phVec4&, std::int64_t, void* userData, float t)
{
    auto* hit = static_cast<RayHitLog*>(userData);
    ++hit->calls;
    if (t < hit->best) {
        hit->best = t;
        hit->body = body;
    }
    return t;
}

}  // namespace

TEST_F(BroadphaseTest, RayCastsMatchBruteForce)
{
    std::mt19937 rng(77);
    std::uniform_real_distribution<float> pos(-90, 90), size(0.5f, 10);
    for (int i = 0; i < 300; ++i) {
        phRigidBody* b = AddBox(size(rng), size(rng), size(rng), At(pos(rng), pos(rng) * 0.5f, pos(rng)), i % 3 == 0);
        b->SetMatrix(MatrixFromQuaternion(phQuatFromAxisAngle({0, 1, 0, 0}, pos(rng)), b->matrix[3]));
    }
    std::uniform_real_distribution<float> far(-150, 150);
    int hits = 0;
    for (int r = 0; r < 300; ++r) {
        const phVec4 p0 = {far(rng), far(rng) * 0.3f, far(rng), 1};
        const phVec4 p1 = r % 4 == 0 ? phVec4{p0.x, p0.y - 80, p0.z, 1} : phVec4{far(rng), far(rng) * 0.3f, far(rng), 1};
        RayHitLog viaBroadphase;
        world.GetBroadphase().RayCast(p0, p1, NearestFilter, &viaBroadphase, nullptr);
        RayHitLog brute;
        for (phRigidBody* b : bodies) {
            b->RayCast(p0, p1, NearestFilter, &brute, 1.1f);
        }
        EXPECT_EQ(viaBroadphase.body, brute.body) << r;
        EXPECT_FLOAT_EQ(viaBroadphase.best, brute.best) << r;
        hits += brute.body != nullptr ? 1 : 0;
    }
    EXPECT_GT(hits, 50);

    // A ray that misses every cell asks no body.
    RayHitLog none;
    world.GetBroadphase().RayCast({500, 0, 500, 1}, {600, 0, 600, 1}, NearestFilter, &none, nullptr);
    EXPECT_EQ(none.calls, 0);
    EXPECT_FLOAT_EQ(none.best, 1.1f);
    // Without a filter nothing happens.
    world.GetBroadphase().RayCast({0, 0, 0, 1}, {10, 0, 0, 1}, nullptr, &none, nullptr);
}
