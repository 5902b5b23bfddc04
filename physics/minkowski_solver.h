#pragma once

#include <cstdint>

#include "physics/contact_record.h"
#include "physics/convex_collision.h"
#include "physics/mat4.h"

// Penetration, separation and time of impact of two convex shapes, worked
// out on their Minkowski difference A - B in A's local space. Everything
// lives in fixed arrays of the object, which callers keep on the stack.
class phMinkowskiSolver {
public:
    static constexpr int kMaxVertices = 128;
    static constexpr int kMaxPlanes = 128;
    static constexpr int kMaxHalfEdges = 512;
    static constexpr int kQueueSize = 256;
    // Contacts lie halfway into an overlap; depths are reported this much less.
    static constexpr float kDepthAllowance = 1.0f / 128.0f;
    static constexpr float kDepthTolerance = 1.0f / 2048.0f;
    // Each shape is cut at least this far below its deepest point.
    static constexpr float kSectionDepth = 1.0f / 256.0f;
    // A box face normal this close to the polytope's may replace it.
    static constexpr float kSnapCos = 0.999f;

    // A face of the difference: its plane (unit normal, offset) and its three
    // vertices, each as difference (A - B) and sum (A + B) of support points.
    struct Face {
        phVec4 plane;
        phVec4 hull[3];
        phVec4 sum[3];
    };

    enum class Separation { kIntersecting, kSeparated, kUnknown };

    // a placed by matA, b by matB (rigid matrices).
    void Setup(const phConvexCollision* a, const phMat4& matA, const phConvexCollision* b, const phMat4& matB);

    // Discrete contacts of the set-up pair (normal from B towards A).
    int ContactsByPenetration(std::int64_t userId, phContactRecord* out, int capacity);
    // Continuous contacts: relMotion is B's velocity relative to A in A's
    // space. time is the step's time on entry, the time of impact on exit
    // when contacts came back (0 when the shapes already overlap).
    int ContinuousContacts(float& time, const phVec4& relMotion, std::int64_t userId, phContactRecord* out,
                           int capacity);

    // Pieces, exposed for tests.
    bool InitialTetrahedron();
    Separation SeparationTest(Face& outFace);
    // False when the polytope finds no contact face.
    bool ExpandPolytope(Face& outFace);
    int ContactsFromFace(const Face& face, std::int64_t userId, phContactRecord* out, int capacity);
    // Between two boxes, puts a face normal within kSnapCos of the face's
    // normal in its place when it separates the boxes no less.
    void SnapToBoxFace(Face& face) const;

private:
    struct HalfEdge {
        // Bits 0-15 plane index (0xFFFF deleted), 16-30 origin vertex.
        std::uint32_t word;
        std::int32_t twin;
        std::int32_t next;
        std::int32_t prev;
    };
    struct QueueEntry {
        float distance;
        std::uint16_t plane;
        std::uint16_t serial;
    };

    void Support(const phVec4& dir, phVec4& hull, phVec4& sum) const;
    int AddVertex(const phVec4& dir);
    void LoadFaceOf(int v0, int v1, int v2, Face& face) const;
    static int Origin(const HalfEdge& e) { return static_cast<int>((e.word >> 16) & 0x7FFF); }
    static int PlaneOf(const HalfEdge& e) { return static_cast<int>(e.word & 0xFFFF); }
    bool BuildTetrahedronMesh();
    int AllocPlane();
    int AllocEdgePair();
    void FreeEdgePair(int e);
    bool ComputePlane(int plane);
    void Push(int plane);
    bool Pop(int& plane);
    void FaceVertices(int plane, int v[3]) const;

    const phConvexCollision* m_a = nullptr;
    const phConvexCollision* m_b = nullptr;
    phMat4 m_matA;
    phMat4 m_matB;
    // B's local space to A's.
    phMat4 m_matrix;

    phVec4 m_hull[kMaxVertices];
    phVec4 m_sum[kMaxVertices];
    int m_vertexCount = 0;
    // The current simplex (indices into the vertex arrays).
    int m_tetra[4] = {0, 0, 0, 0};

    phVec4 m_planes[kMaxPlanes];
    std::int32_t m_planeEdge[kMaxPlanes];
    std::uint16_t m_planeSerial[kMaxPlanes];
    bool m_planeValid[kMaxPlanes];
    int m_planeCount = 0;
    int m_freePlanes[kMaxPlanes];
    int m_freePlaneCount = 0;

    HalfEdge m_edges[kMaxHalfEdges];
    int m_edgeCount = 0;
    int m_freeEdges[kMaxHalfEdges / 2];
    int m_freeEdgeCount = 0;

    QueueEntry m_queue[kQueueSize];
    int m_queueCount = 0;
};

// The 14 search directions (cube diagonals, then the axes), unit length.
const phVec4* ContactDirections();

// Contacts from the sections of two placed point sets with a plane: clips Q
// by P (or the other way round when P has fewer than 3 points). The userId
// is written as its low 32 bits.
int ClipFacePolygons(const phVec4& normal, std::int64_t userId, float penetration, const phVec4* p, int pCount,
                     const phVec4* q, int qCount, phContactRecord* out, int capacity);

// Contacts of two convex shapes overlapping along a known direction: plane
// is the contact normal n (A's space, pointing from A into B) with w minus
// the overlap; sum is A's deepest point along n plus B's along -n (A's
// space), which puts the mid-plane. Each shape's section with it is clipped
// by the other's. bToA takes B's space to A's.
int ContactsFromSections(const phConvexCollision* a, const phMat4& matA, const phConvexCollision* b, const phMat4& matB,
                         const phMat4& bToA, const phVec4& plane, const phVec4& sum, std::int64_t userId,
                         phContactRecord* out, int capacity);
