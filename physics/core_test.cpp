#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <array>
#include <string>
#include <map>
#include <random>

#include "physics/class_id.h"
#include "physics/fixed_size_allocator.h"
#include "physics/list.h"
#include "physics/maths.h"
#include "physics/memory.h"
#include "physics/name_hash.h"
#include "physics/name_registry.h"
#include "physics/object_pool.h"
#include "physics/quat.h"
#include "physics/rb_tree.h"

namespace {

struct HookCounts {
    int allocs = 0;
    int releases = 0;
    std::size_t outstanding = 0;
    bool fail = false;
};
HookCounts g_hooks;

void* CountingAlloc(std::size_t size)
{
    if (g_hooks.fail) {
        return nullptr;
    }
    ++g_hooks.allocs;
    g_hooks.outstanding += size;
    return std::malloc(size);
}

void CountingRelease(void* block, std::size_t size)
{
    ++g_hooks.releases;
    g_hooks.outstanding -= size;
    std::free(block);
}

class CountingHooks : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_hooks = {};
        phSetMemoryHooks(CountingAlloc, CountingRelease);
    }
    void TearDown() override { phSetMemoryHooks(nullptr, nullptr); }
};

TEST_F(CountingHooks, BlocksAreAlignedAndReleasedWithTheirSize)
{
    EXPECT_EQ(phMalloc(0), nullptr);
    EXPECT_EQ(g_hooks.allocs, 0);
    void* blocks[40];
    for (int i = 0; i < 40; ++i) {
        blocks[i] = phMalloc(static_cast<std::size_t>(i * 7 + 1));
        ASSERT_NE(blocks[i], nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(blocks[i]) % 16, 0u);
        std::memset(blocks[i], 0xAB, static_cast<std::size_t>(i * 7 + 1));
    }
    EXPECT_EQ(g_hooks.allocs, 40);
    for (void* b : blocks) {
        phFree(b);
    }
    phFree(nullptr);
    EXPECT_EQ(g_hooks.releases, 40);
    EXPECT_EQ(g_hooks.outstanding, 0u);
}

TEST_F(CountingHooks, FailingHookGivesNull)
{
    g_hooks.fail = true;
    EXPECT_EQ(phMalloc(64), nullptr);
    EXPECT_EQ(phMalloc(SIZE_MAX - 8), nullptr);
}

TEST_F(CountingHooks, FixedAllocatorReturnsChunksWhenEmpty)
{
    phFixedSizeAllocator* a = phFixedSizeAllocator::Create(40, 4);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->ElementSize(), 48u);
    EXPECT_EQ(a->ElementsPerChunk(), 4096u / 48u);
    const int before = g_hooks.allocs;
    void* elems[200];
    for (auto& e : elems) {
        e = a->Alloc();
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(e) % 16, 0u);
    }
    EXPECT_EQ(a->ChunkCount(), 3u);  // 85 per chunk
    EXPECT_EQ(g_hooks.allocs - before, 3);
    // A freed element is handed out again before the chunk grows.
    a->Free(elems[10]);
    EXPECT_EQ(a->Alloc(), elems[10]);
    for (auto* e : elems) {
        a->Free(e);
    }
    EXPECT_EQ(a->LiveCount(), 0u);
    EXPECT_EQ(a->ChunkCount(), 0u);
    EXPECT_EQ(g_hooks.releases, 3);
    void* again = a->Alloc();
    EXPECT_NE(again, nullptr);
    EXPECT_EQ(a->ChunkCount(), 1u);
    a->Free(again);
}

TEST(FixedSizeAllocator, LargeElementsGetOnePerChunk)
{
    phFixedSizeAllocator* a = phFixedSizeAllocator::Create(5000, 4);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->ElementSize(), 5008u);
    EXPECT_EQ(a->ElementsPerChunk(), 1u);
    void* x = a->Alloc();
    void* y = a->Alloc();
    std::memset(x, 1, 5000);
    std::memset(y, 2, 5000);
    EXPECT_EQ(a->ChunkCount(), 2u);
    a->Free(x);
    a->Free(y);
}

struct PoolItem {
    alignas(16) float value[4] = {1, 2, 3, 4};
    int constructed = 7;
};

TEST(ObjectPool, PagesOf64AndReuseOfFreedObjects)
{
    phObjectPool<PoolItem> pool;
    PoolItem* items[130];
    for (auto& it : items) {
        it = pool.Alloc();
        ASSERT_NE(it, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(it) % 16, 0u);
        EXPECT_EQ(it->constructed, 7);
    }
    EXPECT_EQ(pool.PageCount(), 3u);
    pool.Free(items[5]);
    pool.Free(items[70]);
    EXPECT_EQ(pool.FreeCount(), 2u);
    EXPECT_EQ(pool.Alloc(), items[5]);
    EXPECT_EQ(pool.Alloc(), items[70]);
    EXPECT_EQ(pool.PageCount(), 3u);
}

TEST(List, AppendRemoveKeepsLinks)
{
    phList<int> list;
    phList<int>::Node* nodes[5];
    for (int i = 0; i < 5; ++i) {
        nodes[i] = list.Append(i);
        EXPECT_EQ(nodes[i]->GetRefWord(), 0x101u);
    }
    list.Remove(nodes[0]);
    list.Remove(nodes[2]);
    list.Remove(nodes[4]);
    ASSERT_EQ(list.Count(), 2u);
    EXPECT_EQ(list.First()->payload, 1);
    EXPECT_EQ(list.First()->next->payload, 3);
    EXPECT_EQ(list.Last()->prev->payload, 1);
    EXPECT_EQ(list.Last()->next, nullptr);
    // A node that someone else still holds outlives its removal.
    nodes[1]->AddRef();
    list.Remove(nodes[1]);
    EXPECT_EQ(nodes[1]->GetRefCount(), 1u);
    EXPECT_EQ(nodes[1]->payload, 1);
    nodes[1]->Release();
    EXPECT_EQ(list.Count(), 1u);
}

// Returns the black height, or -1 on any broken invariant.
template <typename Node>
int CheckSubtree(const Node* n, const Node* parent, std::uint32_t& count, const decltype(Node::key)* lo,
                 const decltype(Node::key)* hi)
{
    if (n == nullptr) {
        return 1;
    }
    ++count;
    if (n->parent != parent || (n->colour & 2u) == 0) {
        return -1;
    }
    if ((lo != nullptr && !(*lo < n->key)) || (hi != nullptr && !(n->key < *hi))) {
        return -1;
    }
    if (n->IsRed() && ((n->left && n->left->IsRed()) || (n->right && n->right->IsRed()))) {
        return -1;
    }
    const int l = CheckSubtree(n->left, n, count, lo, &n->key);
    const int r = CheckSubtree(n->right, n, count, &n->key, hi);
    if (l < 0 || r < 0 || l != r) {
        return -1;
    }
    return l + (n->IsRed() ? 0 : 1);
}

template <typename Tree>
bool TreeValid(const Tree& t)
{
    if (t.Root() != nullptr && t.Root()->IsRed()) {
        return false;
    }
    std::uint32_t count = 0;
    using Node = std::remove_pointer_t<decltype(t.Root())>;
    return CheckSubtree<Node>(t.Root(), nullptr, count, nullptr, nullptr) > 0 &&
           count == t.Count();
}

TEST(RbTree, MatchesStdMapUnderRandomOperations)
{
    phRbTree<int> tree;
    std::map<std::uint32_t, int> reference;
    std::mt19937 rng(12345);
    for (int step = 0; step < 3000; ++step) {
        // Keys from a small range so inserts hit existing keys and removes find them;
        // the top bit checks unsigned comparison.
        const std::uint32_t key = (rng() % 300) | (rng() % 2 ? 0x80000000u : 0u);
        if (rng() % 3 != 0) {
            bool existed = false;
            auto* node = tree.Insert(key, &existed);
            ASSERT_NE(node, nullptr);
            EXPECT_EQ(existed, reference.count(key) == 1);
            if (!existed) {
                node->payload = step;
                reference[key] = step;
            }
        } else if (auto* node = tree.Find(key)) {
            ASSERT_EQ(reference.count(key), 1u);
            tree.Remove(node);
            reference.erase(key);
        } else {
            EXPECT_EQ(reference.count(key), 0u);
        }
        ASSERT_TRUE(TreeValid(tree)) << "step " << step;
        ASSERT_EQ(tree.Count(), reference.size());
    }
    auto it = reference.begin();
    for (auto* n = tree.Minimum(); n != nullptr; n = phRbTree<int>::Next(n), ++it) {
        ASSERT_NE(it, reference.end());
        EXPECT_EQ(n->key, it->first);
        EXPECT_EQ(n->payload, it->second);
    }
    EXPECT_EQ(it, reference.end());
    tree.Destroy();
    EXPECT_EQ(tree.Count(), 0u);
    EXPECT_EQ(tree.Minimum(), nullptr);
}

TEST(RbTree, SignedKeysOrderAsSigned)
{
    phRbTree<int, std::int64_t> tree;
    const std::int64_t keys[] = {5, -3, (std::int64_t{-1} << 32) | 7, std::int64_t{1} << 40, 0};
    for (auto k : keys) {
        tree.Insert(k);
    }
    std::int64_t prev = INT64_MIN;
    for (auto* n = tree.Minimum(); n != nullptr; n = decltype(tree)::Next(n)) {
        EXPECT_LT(prev, n->key);
        prev = n->key;
    }
    EXPECT_TRUE(TreeValid(tree));
}

TEST(NameHash, EmptyInputIsSeedAndTableEntriesShow)
{
    EXPECT_EQ(phNameHash("", 0, 0), 0u);
    EXPECT_EQ(phNameHash("abc", 0, 0xDEADBEEF), 0xDEADBEEFu);
    // From seed 0 one byte b gives T[b].
    const unsigned char b0 = 0, b1 = 1, b255 = 255;
    EXPECT_EQ(phNameHash(&b0, 1, 0), 1u);
    EXPECT_EQ(phNameHash(&b1, 1, 0), 0x2C11F801u);
    EXPECT_EQ(phNameHash(&b255, 1, 0), 0xBB9CBE3Bu);
    // Two bytes: h = (T[x] << 8) ^ T[(T[x] >> 24) ^ y].
    const unsigned char two[2] = {1, 0};
    const std::uint32_t t1 = 0x2C11F801u;
    EXPECT_EQ(phNameHash(two, 2, 0), (t1 << 8) ^ phNameHash(std::array<unsigned char, 1>{static_cast<unsigned char>(t1 >> 24)}.data(), 1, 0));
}

TEST(NameHash, ZeroTerminatedNamesAreRegistered)
{
    const std::uint32_t h = phNameHash("phTestName");
    EXPECT_EQ(h, phNameHash("phTestName", 10, 0));
    ASSERT_NE(phNameRegistry::Find(h), nullptr);
    EXPECT_STREQ(phNameRegistry::Find(h), "phTestName");
    const std::uint32_t count = phNameRegistry::Count();
    phNameHash("phTestName");
    EXPECT_EQ(phNameRegistry::Count(), count);
    // A name longer than a text block is still kept whole.
    std::string longName(phNameRegistry::kBlockBytes + 100, 'q');
    const std::uint32_t hl = phNameHash(longName.c_str());
    ASSERT_NE(phNameRegistry::Find(hl), nullptr);
    EXPECT_EQ(std::string(phNameRegistry::Find(hl)), longName);
}

TEST(ClassIds, NineteenDistinctIdsFromTheNames)
{
    const int n = static_cast<int>(phClassIndex::Count);
    EXPECT_EQ(n, 19);
    for (int i = 0; i < n; ++i) {
        const auto idx = static_cast<phClassIndex>(i);
        const char* name = phGetClassName(idx);
        EXPECT_EQ(phGetClassId(idx), phNameHash(name, std::strlen(name), 0)) << name;
        for (int j = 0; j < i; ++j) {
            EXPECT_NE(phGetClassId(idx), phGetClassId(static_cast<phClassIndex>(j)));
        }
    }
    EXPECT_STREQ(phGetClassName(phClassIndex::CollisionConvexPolygon),
                 "phCollisionPolygonalSoup::phCollisionConvexPolygon");
}

// Rotation of v about the unit axis k by angle (Rodrigues), in double.
void Rodrigues(const double k[3], double angle, const double v[3], double out[3])
{
    const double c = std::cos(angle), s = std::sin(angle);
    const double kv = k[0] * v[0] + k[1] * v[1] + k[2] * v[2];
    const double kxv[3] = {k[1] * v[2] - k[2] * v[1], k[2] * v[0] - k[0] * v[2], k[0] * v[1] - k[1] * v[0]};
    for (int i = 0; i < 3; ++i) {
        out[i] = v[i] * c + kxv[i] * s + k[i] * kv * (1 - c);
    }
}

TEST(Quaternion, MatrixRowsAreRodriguesImagesOfTheAxes)
{
    struct Case {
        double axis[3];
        double angle;
    };
    const Case cases[] = {
        {{0, 0, 1}, 0.5}, {{1, 0, 0}, -2.0}, {{0, 1, 0}, 3.1}, {{1, 2, 3}, 1.2}, {{-0.3, 0.9, 0.1}, 2.9}, {{1, 1, 0}, 0.0},
    };
    for (const Case& c : cases) {
        const double len = std::sqrt(c.axis[0] * c.axis[0] + c.axis[1] * c.axis[1] + c.axis[2] * c.axis[2]);
        const double k[3] = {c.axis[0] / len, c.axis[1] / len, c.axis[2] / len};
        const phQuat q = phQuatFromAxisAngle({float(k[0]), float(k[1]), float(k[2]), 0}, float(c.angle));
        const phMat4 m = MatrixFromQuaternion(q, {4, 5, 6, 0});
        for (int row = 0; row < 3; ++row) {
            double e[3] = {0, 0, 0};
            e[row] = 1;
            double expect[3];
            Rodrigues(k, c.angle, e, expect);
            for (int col = 0; col < 3; ++col) {
                EXPECT_NEAR(m[row][col], expect[col], 2e-6) << "angle " << c.angle << " row " << row;
            }
            EXPECT_EQ(m[row].w, 0.0f);
        }
        EXPECT_EQ(m[3].x, 4.0f);
        EXPECT_EQ(m[3].w, 1.0f);

        // Back to a quaternion of the same rotation (up to sign).
        const phQuat back = phQuatFromMatrix(m);
        const float dot = back.x * q.x + back.y * q.y + back.z * q.z + back.w * q.w;
        EXPECT_NEAR(std::fabs(dot), 1.0f, 1e-5f) << "angle " << c.angle;
    }
}

TEST(Quaternion, FromMatrixTakesEveryBranch)
{
    // Half turns have trace -1 and pick the largest diagonal entry.
    const double axes[][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0.6, 0.8}};
    for (const auto& a : axes) {
        const phQuat q = phQuatFromAxisAngle({float(a[0]), float(a[1]), float(a[2]), 0}, 3.14159265f);
        const phQuat back = phQuatFromMatrix(MatrixFromQuaternion(q, {}));
        const float dot = back.x * q.x + back.y * q.y + back.z * q.z + back.w * q.w;
        EXPECT_NEAR(std::fabs(dot), 1.0f, 1e-5f);
    }
}

}  // namespace
