#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "physics/class_id.h"
#include "physics/collision_box.h"
#include "physics/collision_sphere.h"
#include "physics/geometry.h"
#include "physics/maths.h"
#include "physics/name_hash.h"
#include "physics/object_memory.h"
#include "physics/simd_probe.h"

namespace {

phMat4 Identity() { return GetIdentityMatrix(); }

// Blocks of a size that earlier tests freed are handed out first; taking
// them makes a test independent of what ran before it in the process.
std::vector<void*> TakeFreeBlocks(std::size_t size)
{
    std::vector<void*> taken;
    while (ObjectMemoryFreeCount(size) > 0) {
        taken.push_back(ObjectAlloc(size));
    }
    return taken;
}

void GiveBack(const std::vector<void*>& blocks)
{
    for (void* p : blocks) {
        ObjectFree(p);
    }
}

TEST(ObjectMemory, ReusesFreedBlocksOldestFirst)
{
    const std::vector<void*> earlier = TakeFreeBlocks(72);
    void* a = ObjectAlloc(72);
    void* b = ObjectAlloc(72);
    void* other = ObjectAlloc(200);
    ASSERT_TRUE(a && b && other);
    for (void* p : {a, b, other}) {
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 16, 0u);
    }
    const std::uint32_t live = ObjectMemoryLiveCount();
    ObjectFree(a);
    ObjectFree(b);
    EXPECT_EQ(ObjectMemoryLiveCount(), live - 2);
    EXPECT_EQ(ObjectMemoryFreeCount(72), 2u);
    EXPECT_EQ(ObjectAlloc(72), a);
    EXPECT_EQ(ObjectAlloc(72), b);
    void* fresh = ObjectAlloc(72);
    EXPECT_NE(fresh, a);
    EXPECT_NE(fresh, b);
    for (void* p : {a, b, other, fresh}) {
        ObjectFree(p);
    }
    GiveBack(earlier);
    EXPECT_EQ(ObjectAlloc(std::size_t{1} << 40), nullptr);
}

TEST(Ref, CountingTypeIdsAndNames)
{
    phCollisionSphere* s = phCollisionSphere::Create(1.0f, Identity());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->GetRefWord(), 0x101u);
    s->AddRef();
    EXPECT_EQ(s->GetRefWord(), 0x201u);
    s->ClearFlag();
    EXPECT_EQ(s->GetRefWord(), 0x200u);
    s->SetFlag();
    EXPECT_EQ(s->GetRefCount(), 2u);
    EXPECT_EQ(s->ReservedQuery(), 0);

    EXPECT_EQ(s->GetTypeId(), phGetClassId(phClassIndex::CollisionSphere));
    for (auto c : {phClassIndex::CollisionSphere, phClassIndex::ConvexCollision, phClassIndex::Collision, phClassIndex::Ref}) {
        EXPECT_TRUE(s->IsType(phGetClassId(c))) << phGetClassName(c);
    }
    for (auto c : {phClassIndex::CollisionBox, phClassIndex::CollisionNull, phClassIndex::CollisionPolygonalSoup}) {
        EXPECT_FALSE(s->IsType(phGetClassId(c))) << phGetClassName(c);
    }
    s->SetName("wheel");
    EXPECT_EQ(s->GetNameId(), phNameHash("wheel", 5, 0));
    s->SetName(nullptr);
    EXPECT_EQ(s->GetNameId(), 0u);

    const int live = phCollisionSphere::LiveCount();
    s->Release();
    EXPECT_EQ(phCollisionSphere::LiveCount(), live);
    s->Release();
    EXPECT_EQ(phCollisionSphere::LiveCount(), live - 1);
}

TEST(Ref, DestroyedShapeMemoryIsReusedForTheNextOfItsSize)
{
    const std::vector<void*> earlier = TakeFreeBlocks(sizeof(phCollisionBox));
    phCollisionBox* a = phCollisionBox::Create(1, 1, 1, Identity());
    ASSERT_NE(a, nullptr);
    void* where = a;
    a->Release();
    phCollisionBox* b = phCollisionBox::Create(2, 2, 2, Identity());
    EXPECT_EQ(static_cast<void*>(b), where);
    b->Release();
    GiveBack(earlier);
}

TEST(Signature, SizesQuantisedTo1024thsAndMatrixBitExact)
{
    const phMat4 id = Identity();
    const std::uint32_t base = phCollisionBox::MakeBoxSignature(2, 4, 6, id);
    EXPECT_EQ(base, phCollisionBox::MakeBoxSignature(-2, 4, -6, id));
    // Half of 2.0009765 is 1.00048825; × 1024 truncates to 1024 like 1.0.
    EXPECT_EQ(phCollisionBox::MakeBoxSignature(2.0009765f, 4, 6, id), base);
    EXPECT_NE(phCollisionBox::MakeBoxSignature(2.002f, 4, 6, id), base);
    phMat4 moved = id;
    moved[3].x = 0.5f;
    EXPECT_NE(phCollisionBox::MakeBoxSignature(2, 4, 6, moved), base);
    phMat4 negZero = id;
    negZero[1].x = -0.0f;
    EXPECT_NE(phCollisionBox::MakeBoxSignature(2, 4, 6, negZero), base);
    // Spheres: the kind word keeps a radius apart from a box.
    EXPECT_NE(phCollisionSphere::MakeSphereSignature(1, id), phCollisionBox::MakeBoxSignature(2, 0, 0, id));

    phCollisionBox* box = phCollisionBox::Create(2, 4, 6, id);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->GetSignature(), base);
    EXPECT_EQ(box->GetStoredSignature(), base);
    box->Release();
}

TEST(Signature, QuantisationSaturates)
{
    EXPECT_EQ(phQuantise(1.0f), 1024);
    EXPECT_EQ(phQuantise(-0.0009f), 0);
    EXPECT_EQ(phQuantise(-1.5f), -1536);
    EXPECT_EQ(phQuantise(1e30f), INT32_MAX);
    EXPECT_EQ(phQuantise(-1e30f), INT32_MIN);
    EXPECT_EQ(phQuantise(std::nanf("")), 0);
}

TEST(Collision, OffsetFlagFollowsTheMatrix)
{
    phMat4 m = Identity();
    phCollisionBox* box = phCollisionBox::Create(1, 1, 1, m);
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(box->HasOffset());
    for (int i = 0; i < 16; ++i) {
        phMat4 changed = m;
        changed[i / 4][i % 4] += 0.25f;
        box->SetOffsetMatrix(changed);
        EXPECT_TRUE(box->HasOffset()) << i;
    }
    m[0].y = -0.0f;
    box->SetOffsetMatrix(m);
    EXPECT_FALSE(box->HasOffset());
    box->SetVehicleFlag(true);
    EXPECT_EQ(box->GetFlags() & phCollision::kFlagVehicle, phCollision::kFlagVehicle);
    box->SetVehicleFlag(false);
    EXPECT_EQ(box->GetFlags(), 0u);
    phMat4 local;
    box->GetLocalMatrix(local);
    EXPECT_EQ(std::memcmp(&local, &GetIdentityMatrix(), sizeof(phMat4)), 0);
    box->Release();
}

TEST(Maths, TransformPointsWithStrides)
{
    const phMat4 m = MatrixFromQuaternion(phQuatFromAxisAngle({0, 0, 1, 0}, 1.5707963f), {10, 20, 30, 1});
    // In: vec4 stride; out: packed triples.
    const phVec4 in[2] = {{1, 0, 0, 1}, {0, 2, 3, 1}};
    float out[6];
    TransformPoints(m, out, 3 * sizeof(float), &in[0].x, sizeof(phVec4), 2);
    // A quarter turn about z takes x to y and y to -x.
    const float expect[6] = {10, 21, 30, 8, 20, 33};
    for (int i = 0; i < 6; ++i) {
        EXPECT_NEAR(out[i], expect[i], 1e-5f) << i;
    }
}

TEST(Maths, InverseSymmetric)
{
    phMat4 m = {};
    m[0] = {4, 1, 2, 0};
    m[1] = {1, 5, 3, 0};
    m[2] = {2, 3, 6, 0};
    const phMat4 inv = InverseSymmetric3x3(m);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            float s = 0;
            for (int k = 0; k < 3; ++k) {
                s += m[i][k] * inv[k][j];
            }
            EXPECT_NEAR(s, i == j ? 1.0f : 0.0f, 1e-5f);
        }
    }
    EXPECT_EQ(inv[3].w, 1.0f);
    const phMat4 singular = InverseSymmetric3x3(GetZeroMatrix());
    EXPECT_EQ(singular[0].x, 0.0f);
    EXPECT_EQ(singular[3].w, 1.0f);
}

TEST(Maths, EulerAngles)
{
    const phVec4 zero = GetEulerAngles(GetIdentityMatrix());
    EXPECT_EQ(zero.x, 0.0f);
    EXPECT_EQ(zero.y, 0.0f);
    EXPECT_EQ(zero.z, 0.0f);
    EXPECT_EQ(zero.w, 0.0f);

    // A quarter turn about y puts m02 at -1 in this convention; about -y at +1.
    phMat4 m = MatrixFromQuaternion(phQuatFromAxisAngle({0, -1, 0, 0}, 1.5707963f), {});
    m[0].z = 1.0f;
    const phVec4 lock = GetEulerAngles(m);
    EXPECT_FLOAT_EQ(lock.y, -std::asin(0.999999f));
    EXPECT_EQ(lock.z, 0.0f);
    EXPECT_NEAR(lock.x, -std::atan2(m[1].x, m[1].y), 1e-6f);

    // Away from the lock, angles come back from a matrix built of them.
    const float ax = 0.3f, ay = -0.4f, az = 0.5f;
    const float cx = std::cos(ax), sx = std::sin(ax), cy = std::cos(ay), sy = std::sin(ay), cz = std::cos(az), sz = std::sin(az);
    phMat4 r = {};
    r[0] = {cy * cz, cy * sz, -sy, 0};
    r[1] = {sx * sy * cz - cx * sz, sx * sy * sz + cx * cz, sx * cy, 0};
    r[2] = {cx * sy * cz + sx * sz, cx * sy * sz - sx * cz, cx * cy, 0};
    r[3] = {0, 0, 0, 1};
    const phVec4 e = GetEulerAngles(r);
    EXPECT_NEAR(e.x, ax, 1e-5f);
    EXPECT_NEAR(e.y, ay, 1e-5f);
    EXPECT_NEAR(e.z, az, 1e-5f);
}

TEST(Maths, SimdProbeAndWorkspace)
{
#if defined(__SSE__)
    EXPECT_TRUE(HasSimdUnit());
#endif
    EXPECT_EQ(GetSimdSolverWorkspaceSize(), 3250944u);
}

TEST(Geometry, PlanesSegmentsAndBoxes)
{
    const phVec4 plane = PlaneFromPoints({0, 2, 0, 1}, {1, 2, 0, 1}, {0, 2, -1, 1});
    EXPECT_EQ(plane.x, 0.0f);
    EXPECT_EQ(plane.y, 1.0f);
    EXPECT_EQ(plane.z, 0.0f);
    EXPECT_EQ(plane.w, -2.0f);

    const phVec4 a = {0, 0, 0, 1}, b = {2, 0, 0, 1};
    EXPECT_EQ(ClosestPointOnSegment({1, 5, 0, 0}, a, b).x, 1.0f);
    EXPECT_EQ(ClosestPointOnSegment({-3, 1, 0, 0}, a, b).x, 0.0f);
    EXPECT_EQ(ClosestPointOnSegment({9, 1, 0, 0}, a, b).x, 2.0f);
    EXPECT_EQ(ClosestPointOnSegment({9, 1, 0, 0}, a, a).w, 1.0f);

    struct Case {
        phVec4 p0, p1, q0, q1, expectP, expectQ;
    };
    const Case cases[] = {
        // Crossing at right angles, one unit apart.
        {{-1, 0, 0, 1}, {1, 0, 0, 1}, {0, -1, 1, 1}, {0, 1, 1, 1}, {0, 0, 0, 1}, {0, 0, 1, 1}},
        // Parallel: the middle of the first.
        {{0, 0, 0, 1}, {2, 0, 0, 1}, {-5, 1, 0, 1}, {5, 1, 0, 1}, {1, 0, 0, 1}, {1, 1, 0, 1}},
        // The second lies past the end of the first: clamped and re-projected.
        {{0, 0, 0, 1}, {1, 0, 0, 1}, {3, -1, 0, 1}, {3, 1, 0, 1}, {1, 0, 0, 1}, {3, 0, 0, 1}},
        // Clamped on the second, then re-projected onto the first.
        {{0, 0, 0, 1}, {4, 0, 0, 1}, {2, 1, 0, 1}, {2, 3, 0, 1}, {2, 0, 0, 1}, {2, 1, 0, 1}},
    };
    for (const Case& c : cases) {
        phVec4 p, q;
        ClosestPointsOfSegments(c.p0, c.p1, c.q0, c.q1, p, q);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(p[i], c.expectP[i], 1e-6f);
            EXPECT_NEAR(q[i], c.expectQ[i], 1e-6f);
        }
    }

    const phVec4 mn = {0, 0, 0, 1}, mx = {1, 1, 1, 1};
    EXPECT_TRUE(phBoxOverlap(mn, mx, {0.5f, 0.5f, 0.5f, 1}, {2, 2, 2, 1}));
    EXPECT_FALSE(phBoxOverlap(mn, mx, {1, 0, 0, 1}, {2, 1, 1, 1}));  // touching
    EXPECT_FALSE(phBoxOverlap(mn, mx, {0, 0, -2, 1}, {1, 1, -1, 1}));
}

}  // namespace
