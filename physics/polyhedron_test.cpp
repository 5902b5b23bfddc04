#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

#include "physics/collision_box.h"
#include "physics/collision_sphere.h"
#include "physics/maths.h"
#include "physics/polyhedron.h"
#include "physics/weld.h"

namespace {

// Checks the table's links and returns the number of distinct face loops.
int CheckTable(const phHalfEdge* t, int count, int vertexCount)
{
    std::set<int> loops;
    for (int e = 0; e < count; ++e) {
        EXPECT_GE(t[e].twin, 0);
        EXPECT_LT(t[e].twin, count);
        EXPECT_EQ(t[t[e].twin].twin, e);
        EXPECT_EQ(t[t[e].next].prev, e);
        EXPECT_EQ(t[t[e].prev].next, e);
        // Twins run the same edge the other way.
        EXPECT_EQ(t[t[e].twin].vertex, t[t[e].next].vertex);
        EXPECT_GE(t[e].vertex, 0);
        EXPECT_LT(t[e].vertex, vertexCount);
        int lowest = e;
        int cur = t[e].next;
        for (int guard = 0; cur != e && guard < count; ++guard) {
            lowest = std::min(lowest, cur);
            cur = t[cur].next;
        }
        loops.insert(lowest);
    }
    return static_cast<int>(loops.size());
}

TEST(Polyhedron, BoxAndSphereTablesAreClosedSurfaces)
{
    phCollisionBox* box = phCollisionBox::Create(1, 2, 3, GetIdentityMatrix());
    phCollisionSphere* sphere = phCollisionSphere::Create(1, GetIdentityMatrix());
    ASSERT_TRUE(box && sphere);
    struct Case {
        const phConvexCollision* shape;
        int vertices, edges, faces;
    };
    const Case cases[] = {{box, 8, 24, 6}, {sphere, 18, 96, 32}};
    for (const Case& c : cases) {
        ASSERT_EQ(c.shape->GetVertexCount(), c.vertices);
        ASSERT_EQ(c.shape->GetHalfEdgeCount(), c.edges);
        const int faces = CheckTable(c.shape->GetHalfEdges(), c.edges, c.vertices);
        EXPECT_EQ(faces, c.faces);
        // Euler: V - E + F = 2 with E counted once per edge.
        EXPECT_EQ(c.vertices - c.edges / 2 + faces, 2);
    }
    box->Release();
    sphere->Release();
}

TEST(Polyhedron, BoxFacesGiveTwinnedEdgesAndFaceIds)
{
    const std::int32_t faces[6][4] = {{0, 4, 5, 1}, {0, 1, 3, 2}, {1, 5, 7, 3}, {5, 4, 6, 7}, {4, 0, 2, 6}, {6, 2, 3, 7}};
    phPolyhedron p;
    for (const auto& f : faces) {
        phPolyhedron::Edge* e = p.AddFace(4, f);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->origin, f[0]);
        EXPECT_EQ(e->next->origin, f[1]);
    }
    ASSERT_TRUE(p.EndFaces());
    EXPECT_EQ(p.EdgeCount(), 24u);
    std::set<int> ids;
    for (auto* n = p.Edges().Minimum(); n != nullptr; n = phPolyhedron::Tree::Next(n)) {
        ASSERT_NE(n->payload.twin, nullptr);
        EXPECT_EQ(n->payload.twin->twin, &n->payload);
        ids.insert(n->payload.face);
    }
    EXPECT_EQ(ids, (std::set<int>{1, 2, 3, 4, 5, 6}));
    // Edge 0 → 4 and its twin 4 → 0.
    ASSERT_NE(p.FindEdge(0, 4), nullptr);
    EXPECT_EQ(p.FindEdge(0, 4)->twin, p.FindEdge(4, 0));
}

TEST(Polyhedron, RefusedFaces)
{
    phPolyhedron p;
    const std::int32_t repeated[3] = {1, 1, 2};
    EXPECT_EQ(p.AddFace(3, repeated), nullptr);
    const std::int32_t backAndForth[4] = {1, 2, 1, 3};
    EXPECT_EQ(p.AddFace(4, backAndForth), nullptr);
    EXPECT_EQ(p.AddFace(0, repeated), nullptr);
    ASSERT_NE(p.AddTriangle(0, 1, 2), nullptr);
    EXPECT_EQ(p.AddTriangle(0, 1, 2), nullptr);
    EXPECT_EQ(p.AddTriangle(1, 2, 0), nullptr);  // same directed edges
    EXPECT_EQ(p.EdgeCount(), 3u);
    EXPECT_EQ(p.FaceCount(), 1u);
    ASSERT_NE(p.AddTriangle(2, 1, 3), nullptr);  // shares 1-2 the other way
    EXPECT_EQ(p.FaceCount(), 2u);
}

TEST(Polyhedron, SingleTriangleGetsAReverseBoundaryLoop)
{
    phPolyhedron p;
    const std::uint64_t user[3] = {10, 20, 30};
    const std::int32_t tri[3] = {4, 7, 9};
    ASSERT_NE(p.AddFace(3, tri, user), nullptr);
    ASSERT_TRUE(p.EndFaces());
    EXPECT_EQ(p.EdgeCount(), 6u);
    EXPECT_EQ(p.FindEdge(4, 7)->userData, 10u);
    EXPECT_EQ(p.FindEdge(9, 4)->userData, 30u);
    phPolyhedron::Edge* b = p.FindEdge(7, 4);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->face, -1);
    EXPECT_EQ(b->twin, p.FindEdge(4, 7));
    // Boundary loop 7 → 4 → 9 → 7.
    EXPECT_EQ(b->next, p.FindEdge(4, 9));
    EXPECT_EQ(b->next->next, p.FindEdge(9, 7));
    EXPECT_EQ(b->next->next->next, b);
    EXPECT_EQ(b->prev, p.FindEdge(9, 7));

    phHalfEdge table[6];
    EXPECT_EQ(p.Export(table, 5), -1);
    ASSERT_EQ(p.Export(table, 6), 6);
    EXPECT_EQ(CheckTable(table, 6, 10), 2);
}

TEST(Weld, OctahedronDepthOneGivesEighteenPoints)
{
    // The 32 triangles of a once-subdivided octahedron (as the sphere builds them).
    const phVec4 axes[6] = {{1, 0, 0, 1}, {-1, 0, 0, 1}, {0, 1, 0, 1}, {0, -1, 0, 1}, {0, 0, 1, 1}, {0, 0, -1, 1}};
    const int tris[8][3] = {{0, 2, 4}, {2, 1, 4}, {1, 3, 4}, {3, 0, 4}, {2, 0, 5}, {1, 2, 5}, {3, 1, 5}, {0, 3, 5}};
    std::vector<phVec4> pts;
    auto mid = [](phVec4 a, phVec4 b) {
        phVec4 m = a + b;
        m = m * (1.0f / std::sqrt(phLengthSq(m)));
        m.w = 1;
        return m;
    };
    for (const auto& t : tris) {
        const phVec4 a = axes[t[0]], b = axes[t[1]], c = axes[t[2]];
        const phVec4 ab = mid(a, b), bc = mid(b, c), ca = mid(c, a);
        for (const phVec4& p : {a, ab, ca, b, bc, ab, c, ca, bc, ab, bc, ca}) {
            pts.push_back(p);
        }
    }
    ASSERT_EQ(pts.size(), 96u);
    const std::vector<phVec4> original = pts;
    std::vector<std::int32_t> map(96);
    const int unique = WeldVertices(&pts[0].x, sizeof(phVec4), 12, 0, 96, map.data(), 0.001f);
    ASSERT_EQ(unique, 18);
    for (int i = 0; i < 96; ++i) {
        ASSERT_GE(map[i], 0);
        ASSERT_LT(map[i], 18);
        EXPECT_LT(std::sqrt(phLengthSq(pts[map[i]] - original[i])), 0.002f);
    }
    for (int i = 0; i < 18; ++i) {
        for (int j = 0; j < i; ++j) {
            EXPECT_GT(phLengthSq(pts[i] - pts[j]), 0.01f);
        }
    }
}

TEST(Weld, ExactWordsAndLayoutChecks)
{
    // x, y, z then an id that must match exactly.
    float pts[4][4] = {{0, 0, 0, 1}, {0.0005f, 0, 0, 1}, {0, 0, 0, 2}, {5, 5, 5, 1}};
    std::int32_t map[4];
    EXPECT_EQ(WeldVertices(&pts[0][0], 16, 12, 4, 4, map, 0.001f), 3);
    EXPECT_EQ(map[0], map[1]);
    EXPECT_NE(map[0], map[2]);
    EXPECT_EQ(WeldVertices(&pts[0][0], 8, 8, 0, 4, map, 0.001f), 0);
    EXPECT_EQ(WeldVertices(&pts[0][0], 16, 8, 0, 4, map, 0.001f), 0);
    EXPECT_EQ(WeldVertices(&pts[0][0], 16, 16, 4, 4, map, 0.001f), 0);
}

TEST(Weld, LargeInputsSplitAndEqualPointsStillEnd)
{
    // More than 98,304 points: a 3-D grid, each point twice.
    const int side = 40;
    const int n = side * side * side * 2;
    std::vector<phVec4> pts;
    pts.reserve(n);
    for (int copy = 0; copy < 2; ++copy) {
        for (int i = 0; i < side * side * side; ++i) {
            pts.push_back({float(i % side), float((i / side) % side), float(i / (side * side)), 1});
        }
    }
    std::vector<std::int32_t> map(n);
    EXPECT_EQ(WeldVertices(&pts[0].x, sizeof(phVec4), 12, 0, n, map.data(), 0.01f), side * side * side);
    for (int i = 0; i < side * side * side; ++i) {
        EXPECT_EQ(map[i], map[i + side * side * side]);
    }

    std::vector<phVec4> same(100000, phVec4{1, 2, 3, 1});
    std::vector<std::int32_t> map2(same.size());
    EXPECT_EQ(WeldVertices(&same[0].x, sizeof(phVec4), 12, 0, int(same.size()), map2.data(), 0.001f), 1);
}

}  // namespace
