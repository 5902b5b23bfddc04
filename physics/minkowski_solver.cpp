#include "physics/minkowski_solver.h"

#include <cmath>
#include <cstring>

#include "physics/geometry.h"
#include "physics/maths.h"

namespace {

// Faces of the starting tetrahedron, outward when the volume test below is
// negative, and the vertex opposite each.
constexpr int kTetraFaces[4][3] = {{0, 1, 2}, {1, 0, 3}, {0, 2, 3}, {2, 1, 3}};
constexpr int kTetraOpposite[4] = {3, 2, 1, 0};

constexpr int kSeparationIterations = 128;
constexpr int kTimeOfImpactIterations = 32;
constexpr float kDegenerateNormalSq = 1e-24f;
// How far outside an edge's plane a clipped point may lie and still count as
// on it.
constexpr float kClipTolerance = 1e-3f;
constexpr std::uint32_t kDeletedPlane = 0xFFFF;

float Volume(const phVec4& p0, const phVec4& p1, const phVec4& p2, const phVec4& p3)
{
    return phDot(phCross(p1 - p0, p2 - p0), p3 - p0);
}

void WriteRecord(phContactRecord& r, const phVec4& point, const phVec4& normal, std::int64_t userId, float depth)
{
    r.point = {point.x, point.y, point.z, 1.0f};
    r.normal = {normal.x, normal.y, normal.z, 0.0f};
    r.userId = userId;
    r.penetration = depth;
}

}  // namespace

const phVec4* ContactDirections()
{
    struct Table {
        phVec4 dirs[14];
        Table()
        {
            const float raw[14][3] = {{1, -1, 1},  {-1, -1, -1}, {1, -1, -1}, {-1, 1, 1}, {1, 1, -1},
                                      {-1, 1, -1}, {-1, -1, 1},  {1, 1, 1},   {0, -1, 0}, {0, 1, 0},
                                      {1, 0, 0},   {-1, 0, 0},   {0, 0, 1},   {0, 0, -1}};
            for (int i = 0; i < 14; ++i) {
                const phVec4 v = {raw[i][0], raw[i][1], raw[i][2], 0.0f};
                dirs[i] = v * (1.0f / phLength(v));
                dirs[i].w = 0.0f;
            }
        }
    };
    static const Table table;
    return table.dirs;
}

void phMinkowskiSolver::Setup(const phConvexCollision* a, const phMat4& matA, const phConvexCollision* b,
                              const phMat4& matB)
{
    m_a = a;
    m_b = b;
    m_matA = matA;
    m_matB = matB;
    m_matrix = phMultiply(matB, InverseRigid(matA));
    m_vertexCount = 0;
}

void phMinkowskiSolver::Support(const phVec4& dir, phVec4& hull, phVec4& sum) const
{
    const phVec4 sa = m_a->SupportVertex(dir);
    const phVec4 dirB = phUnrotate(m_matrix, dir);
    const phVec4 sb = phTransformPoint(m_matrix, m_b->SupportVertex(-dirB));
    hull = sa - sb;
    sum = sa + sb;
    hull.w = sum.w = 1.0f;
}

int phMinkowskiSolver::AddVertex(const phVec4& dir)
{
    if (m_vertexCount >= kMaxVertices) {
        return -1;
    }
    Support(dir, m_hull[m_vertexCount], m_sum[m_vertexCount]);
    return m_vertexCount++;
}

bool phMinkowskiSolver::InitialTetrahedron()
{
    m_vertexCount = 0;
    const phVec4* dirs = ContactDirections();
    int ids[14];
    for (int& id : ids) {
        id = -1;
    }
    auto get = [&](int i) {
        if (ids[i] < 0) {
            ids[i] = AddVertex(dirs[i]);
        }
        return ids[i];
    };
    const int i0 = get(0);
    const phVec4& h0 = m_hull[i0];
    int i1 = -1, i2 = -1, i3 = -1;
    int next = 1;
    for (; next < 14 && i1 < 0; ++next) {
        if (phLengthSq(m_hull[get(next)] - h0) >= 0.0078125f) {
            i1 = get(next);
        }
    }
    phVec4 c = {};
    if (i1 >= 0) {
        for (; next < 14 && i2 < 0; ++next) {
            const phVec4 cross = phCross(m_hull[i1] - h0, m_hull[get(next)] - h0);
            if (phLengthSq(cross) >= 0.001953125f) {
                i2 = get(next);
                c = cross;
            }
        }
    }
    if (i2 >= 0) {
        for (; next < 14 && i3 < 0; ++next) {
            if (std::fabs(phDot(m_hull[get(next)] - h0, c)) >= 0.001953125f) {
                i3 = get(next);
            }
        }
    }
    if (i3 < 0) {
        // Small or flat differences: the best of every direction.
        float best = 0.0f;
        i1 = -1;
        for (int i = 1; i < 14; ++i) {
            const float d = phLengthSq(m_hull[get(i)] - h0);
            if (d > best) {
                best = d;
                i1 = get(i);
            }
        }
        if (i1 < 0) {
            return false;
        }
        best = 0.0f;
        i2 = -1;
        for (int i = 1; i < 14; ++i) {
            const phVec4 cross = phCross(m_hull[i1] - h0, m_hull[get(i)] - h0);
            if (phLengthSq(cross) > best) {
                best = phLengthSq(cross);
                i2 = get(i);
                c = cross;
            }
        }
        if (i2 < 0) {
            return false;
        }
        best = 0.0f;
        i3 = -1;
        for (int i = 1; i < 14; ++i) {
            const float v = std::fabs(phDot(m_hull[get(i)] - h0, c));
            if (v > best) {
                best = v;
                i3 = get(i);
            }
        }
        if (i3 < 0) {
            return false;
        }
    }
    if (Volume(m_hull[i0], m_hull[i1], m_hull[i2], m_hull[i3]) > 0.0f) {
        const int t = i1;
        i1 = i2;
        i2 = t;
    }
    m_tetra[0] = i0;
    m_tetra[1] = i1;
    m_tetra[2] = i2;
    m_tetra[3] = i3;
    return true;
}

void phMinkowskiSolver::LoadFaceOf(int v0, int v1, int v2, Face& face) const
{
    const int v[3] = {v0, v1, v2};
    for (int k = 0; k < 3; ++k) {
        face.hull[k] = m_hull[v[k]];
        face.sum[k] = m_sum[v[k]];
    }
}

phMinkowskiSolver::Separation phMinkowskiSolver::SeparationTest(Face& outFace)
{
    int lastFace = -1;
    for (int it = 0; it < kSeparationIterations; ++it) {
        int bestFace = -1;
        float bestDist = 0.0f;
        phVec4 bestNormal = {};
        for (int f = 0; f < 4; ++f) {
            const phVec4& a = m_hull[m_tetra[kTetraFaces[f][0]]];
            const phVec4& b = m_hull[m_tetra[kTetraFaces[f][1]]];
            const phVec4& c = m_hull[m_tetra[kTetraFaces[f][2]]];
            phVec4 n = phCross(b - a, c - a);
            const float len2 = phLengthSq(n);
            if (len2 < kDegenerateNormalSq) {
                continue;
            }
            n = n * (1.0f / std::sqrt(len2));
            const float dist = -phDot(n, a);
            if (dist > bestDist) {
                bestDist = dist;
                bestFace = f;
                bestNormal = n;
            }
        }
        if (bestFace < 0) {
            return Separation::kIntersecting;
        }
        lastFace = bestFace;
        const int* fv = kTetraFaces[bestFace];
        const phVec4 a = m_hull[m_tetra[fv[0]]];
        phVec4 hull, sum;
        Support(bestNormal, hull, sum);
        const float beyond = phDot(bestNormal, hull - a);
        auto separated = [&]() {
            LoadFaceOf(m_tetra[fv[0]], m_tetra[fv[1]], m_tetra[fv[2]], outFace);
            outFace.plane = {bestNormal.x, bestNormal.y, bestNormal.z, -phDot(bestNormal, a)};
            return Separation::kSeparated;
        };
        if (beyond < (it < 16 ? 1e-6f : 1e-4f)) {
            return separated();
        }
        if (beyond < 0.001f) {
            for (int k = 0; k < 4; ++k) {
                if (phLengthSq(hull - m_hull[m_tetra[k]]) < 1e-6f) {
                    return separated();
                }
            }
        }
        const int slot = m_tetra[kTetraOpposite[bestFace]];
        m_hull[slot] = hull;
        m_sum[slot] = sum;
        if (Volume(m_hull[m_tetra[0]], m_hull[m_tetra[1]], m_hull[m_tetra[2]], m_hull[m_tetra[3]]) > 0.0f) {
            const int t = m_tetra[1];
            m_tetra[1] = m_tetra[2];
            m_tetra[2] = t;
        }
    }
    if (lastFace < 0) {
        return Separation::kUnknown;
    }
    // Undecided after the iteration budget: one last support settles it.
    const int* fv = kTetraFaces[lastFace];
    const phVec4& a = m_hull[m_tetra[fv[0]]];
    const phVec4& b = m_hull[m_tetra[fv[1]]];
    const phVec4& c = m_hull[m_tetra[fv[2]]];
    phVec4 n = phCross(b - a, c - a);
    if (phLengthSq(n) < kDegenerateNormalSq) {
        return Separation::kUnknown;
    }
    n = n * (1.0f / phLength(n));
    phVec4 hull, sum;
    Support(n, hull, sum);
    if (phDot(n, hull - a) < 0.001f && -phDot(n, a) > 0.0f) {
        LoadFaceOf(m_tetra[fv[0]], m_tetra[fv[1]], m_tetra[fv[2]], outFace);
        outFace.plane = {n.x, n.y, n.z, -phDot(n, a)};
        return Separation::kSeparated;
    }
    return Separation::kUnknown;
}

int phMinkowskiSolver::AllocPlane()
{
    int p;
    if (m_freePlaneCount > 0) {
        p = m_freePlanes[--m_freePlaneCount];
    } else if (m_planeCount < kMaxPlanes) {
        p = m_planeCount++;
    } else {
        return -1;
    }
    ++m_planeSerial[p];
    m_planeValid[p] = false;
    return p;
}

int phMinkowskiSolver::AllocEdgePair()
{
    if (m_freeEdgeCount > 0) {
        return m_freeEdges[--m_freeEdgeCount];
    }
    if (m_edgeCount + 2 > kMaxHalfEdges) {
        return -1;
    }
    const int e = m_edgeCount;
    m_edgeCount += 2;
    m_edges[e].twin = e + 1;
    m_edges[e + 1].twin = e;
    return e;
}

void phMinkowskiSolver::FreeEdgePair(int e)
{
    m_edges[e].word = kDeletedPlane;
    m_edges[m_edges[e].twin].word = kDeletedPlane;
    m_freeEdges[m_freeEdgeCount++] = e;
}

void phMinkowskiSolver::FaceVertices(int plane, int v[3]) const
{
    int e = m_planeEdge[plane];
    for (int k = 0; k < 3; ++k) {
        v[k] = Origin(m_edges[e]);
        e = m_edges[e].next;
    }
}

bool phMinkowskiSolver::ComputePlane(int plane)
{
    int v[3];
    FaceVertices(plane, v);
    const phVec4& a = m_hull[v[0]];
    const phVec4& b = m_hull[v[1]];
    const phVec4& c = m_hull[v[2]];
    const phVec4 closest = ClosestPointOnTriangle({0.0f, 0.0f, 0.0f, 1.0f}, a, b, c);
    const float len2 = phLengthSq(closest);
    m_planeValid[plane] = false;
    if (!(len2 >= kDegenerateNormalSq) || !std::isfinite(len2)) {
        return false;
    }
    const float len = std::sqrt(len2);
    const phVec4 n = closest * (1.0f / len);
    // A face the origin lies in front of is not a face of an enclosing hull.
    if (phDot(n, phCross(b - a, c - a)) < 0.0f) {
        return false;
    }
    m_planes[plane] = {n.x, n.y, n.z, -len};
    m_planeValid[plane] = true;
    return true;
}

void phMinkowskiSolver::Push(int plane)
{
    if (m_queueCount >= kQueueSize) {
        return;
    }
    const QueueEntry entry = {-m_planes[plane].w, static_cast<std::uint16_t>(plane), m_planeSerial[plane]};
    int i = m_queueCount++;
    while (i > 0) {
        const int parent = (i - 1) / 2;
        if (!(entry.distance < m_queue[parent].distance)) {
            break;
        }
        m_queue[i] = m_queue[parent];
        i = parent;
    }
    m_queue[i] = entry;
}

bool phMinkowskiSolver::Pop(int& plane)
{
    while (m_queueCount > 0) {
        const QueueEntry top = m_queue[0];
        const QueueEntry last = m_queue[--m_queueCount];
        int i = 0;
        for (;;) {
            int child = 2 * i + 1;
            if (child >= m_queueCount) {
                break;
            }
            if (child + 1 < m_queueCount && m_queue[child + 1].distance < m_queue[child].distance) {
                ++child;
            }
            if (!(m_queue[child].distance < last.distance)) {
                break;
            }
            m_queue[i] = m_queue[child];
            i = child;
        }
        if (m_queueCount > 0) {
            m_queue[i] = last;
        }
        // Entries of faces deleted (or slots reused) since they were queued are stale.
        if (m_planeValid[top.plane] && m_planeSerial[top.plane] == top.serial) {
            plane = top.plane;
            return true;
        }
    }
    return false;
}

bool phMinkowskiSolver::BuildTetrahedronMesh()
{
    m_edgeCount = 0;
    m_freeEdgeCount = 0;
    m_planeCount = 0;
    m_freePlaneCount = 0;
    m_queueCount = 0;
    std::memset(m_planeSerial, 0, sizeof(m_planeSerial));
    for (int f = 0; f < 4; ++f) {
        const int p = AllocPlane();
        for (int k = 0; k < 3; ++k) {
            HalfEdge& e = m_edges[3 * f + k];
            e.word = (static_cast<std::uint32_t>(m_tetra[kTetraFaces[f][k]]) << 16) | static_cast<std::uint32_t>(p);
            e.next = 3 * f + (k + 1) % 3;
            e.prev = 3 * f + (k + 2) % 3;
            e.twin = -1;
        }
        m_planeEdge[p] = 3 * f;
    }
    m_edgeCount = 12;
    for (int e = 0; e < 12; ++e) {
        const int from = Origin(m_edges[e]);
        const int to = Origin(m_edges[m_edges[e].next]);
        for (int t = 0; t < 12; ++t) {
            if (Origin(m_edges[t]) == to && Origin(m_edges[m_edges[t].next]) == from) {
                m_edges[e].twin = t;
            }
        }
        if (m_edges[e].twin < 0) {
            return false;
        }
    }
    for (int p = 0; p < 4; ++p) {
        if (ComputePlane(p)) {
            Push(p);
        }
    }
    return true;
}

bool phMinkowskiSolver::ExpandPolytope(Face& outFace)
{
    if (!BuildTetrahedronMesh()) {
        return false;
    }
    bool haveBest = false;
    float bestKey = -1e10f;
    Face best = {};

    for (;;) {
        int plane;
        if (!Pop(plane)) {
            return false;
        }
        int fv[3];
        FaceVertices(plane, fv);
        Face popped;
        LoadFaceOf(fv[0], fv[1], fv[2], popped);
        popped.plane = m_planes[plane];
        const phVec4 n = m_planes[plane];
        const float key = n.w;

        const int v = AddVertex(n);
        if (v < 0) {
            outFace = haveBest ? best : popped;
            return true;
        }
        const float d = phDot(n, m_hull[v]) + n.w;
        if (m_vertexCount > 24 && key < 0.0f && key > bestKey) {
            bestKey = key;
            best = popped;
            haveBest = true;
        }
        if (m_vertexCount > 123 || m_edgeCount > 502 || m_planeCount > 112 || m_queueCount > 232) {
            outFace = haveBest ? best : popped;
            return true;
        }
        if (d < kDepthTolerance) {
            outFace = popped;
            return true;
        }

        // Delete every face the new vertex sees and close the hole with a fan.
        std::uint8_t state[kMaxPlanes];
        std::memset(state, 0, static_cast<std::size_t>(m_planeCount));
        int visible[kMaxPlanes];
        int visibleCount = 0;
        int stack[kMaxPlanes];
        int top = 0;
        state[plane] = 1;
        visible[visibleCount++] = plane;
        stack[top++] = plane;
        const phVec4& hv = m_hull[v];
        while (top > 0) {
            const int p = stack[--top];
            int e = m_planeEdge[p];
            for (int k = 0; k < 3; ++k, e = m_edges[e].next) {
                const int q = PlaneOf(m_edges[m_edges[e].twin]);
                if (q >= m_planeCount || state[q] != 0) {
                    continue;
                }
                int qv[3];
                FaceVertices(q, qv);
                const phVec4 qn = phCross(m_hull[qv[1]] - m_hull[qv[0]], m_hull[qv[2]] - m_hull[qv[0]]);
                const float qlen2 = phLengthSq(qn);
                const bool sees = qlen2 < kDegenerateNormalSq ||
                                  phDot(qn, hv - m_hull[qv[0]]) > 1e-6f * std::sqrt(qlen2);
                if (sees && top < kMaxPlanes && visibleCount < kMaxPlanes) {
                    state[q] = 1;
                    visible[visibleCount++] = q;
                    stack[top++] = q;
                } else {
                    state[q] = 2;
                }
            }
        }

        struct Horizon {
            int edge, from, to;
        };
        Horizon horizon[kMaxPlanes * 3];
        int horizonCount = 0;
        int interior[kMaxPlanes * 3];
        int interiorPairs = 0;
        std::int16_t originOf[kMaxVertices];
        std::memset(originOf, 0xFF, sizeof(originOf));
        bool sound = true;
        for (int i = 0; i < visibleCount && sound; ++i) {
            int e = m_planeEdge[visible[i]];
            for (int k = 0; k < 3; ++k, e = m_edges[e].next) {
                const int twin = m_edges[e].twin;
                if (state[PlaneOf(m_edges[twin])] == 1) {
                    if (e < twin) {
                        interior[interiorPairs++] = e;
                    }
                    continue;
                }
                const int from = Origin(m_edges[e]);
                if (originOf[from] >= 0) {
                    sound = false;  // the visible region is not a disc
                    break;
                }
                originOf[from] = static_cast<std::int16_t>(horizonCount);
                horizon[horizonCount++] = {e, from, Origin(m_edges[m_edges[e].next])};
            }
        }
        for (int i = 0; i < horizonCount && sound; ++i) {
            sound = originOf[horizon[i].to] >= 0;
        }
        const int planesFree = m_freePlaneCount + (kMaxPlanes - m_planeCount) + visibleCount;
        const int edgesFree = 2 * (m_freeEdgeCount + interiorPairs) + (kMaxHalfEdges - m_edgeCount);
        if (!sound || horizonCount < 3 || planesFree < horizonCount || edgesFree < 2 * horizonCount) {
            outFace = haveBest ? best : popped;
            return true;
        }

        for (int i = 0; i < visibleCount; ++i) {
            m_planeValid[visible[i]] = false;
            m_freePlanes[m_freePlaneCount++] = visible[i];
        }
        for (int i = 0; i < interiorPairs; ++i) {
            FreeEdgePair(interior[i]);
        }
        int spokeOut[kMaxVertices];
        int spokeIn[kMaxVertices];
        for (int i = 0; i < horizonCount; ++i) {
            const int pair = AllocEdgePair();
            spokeOut[horizon[i].from] = pair;
            spokeIn[horizon[i].from] = m_edges[pair].twin;
        }
        for (int i = 0; i < horizonCount; ++i) {
            const Horizon& h = horizon[i];
            const int p = AllocPlane();
            const int x = spokeOut[h.to];
            const int y = spokeIn[h.from];
            const auto word = [p](int origin) {
                return (static_cast<std::uint32_t>(origin) << 16) | static_cast<std::uint32_t>(p);
            };
            m_edges[h.edge].word = word(h.from);
            m_edges[h.edge].next = x;
            m_edges[h.edge].prev = y;
            m_edges[x].word = word(h.to);
            m_edges[x].next = y;
            m_edges[x].prev = h.edge;
            m_edges[y].word = word(v);
            m_edges[y].next = h.edge;
            m_edges[y].prev = x;
            m_planeEdge[p] = h.edge;
            if (ComputePlane(p)) {
                Push(p);
            }
        }
    }
}

int phMinkowskiSolver::ContactsFromFace(const Face& face, std::int64_t userId, phContactRecord* out, int capacity)
{
    return ContactsFromSections(m_a, m_matA, m_b, m_matB, m_matrix, face.plane, face.sum[0], userId, out, capacity);
}

int phMinkowskiSolver::ContactsByPenetration(std::int64_t userId, phContactRecord* out, int capacity)
{
    if (!InitialTetrahedron()) {
        return 0;
    }
    Face face;
    if (SeparationTest(face) != Separation::kIntersecting) {
        return 0;
    }
    if (!ExpandPolytope(face)) {
        return 0;
    }
    SnapToBoxFace(face);
    return ContactsFromFace(face, userId, out, capacity);
}

void phMinkowskiSolver::SnapToBoxFace(Face& face) const
{
    // The polytope stops within kDepthTolerance of the surface, and between
    // two faces lying flat on each other its normal may lean by far more
    // than the faces do (a wide ground puts its corners tens of units away):
    // contacts then push sideways. Between boxes a face normal close to it
    // that separates as little is the exact answer and is taken instead.
    if (m_a->GetKind() != phCollision::kKindBox || m_b->GetKind() != phCollision::kKindBox) {
        return;
    }
    const phVec4 n = {face.plane.x, face.plane.y, face.plane.z, 0.0f};
    phVec4 best = n;
    float bestCos = kSnapCos;
    static constexpr phVec4 kAxes[3] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
    for (int k = 0; k < 6; ++k) {
        phVec4 axis = kAxes[k % 3];
        if (k >= 3) {
            axis = phRotate(m_matrix, axis);
            axis.w = 0.0f;
        }
        const float d = phDot(axis, n);
        if (std::fabs(d) > bestCos) {
            bestCos = std::fabs(d);
            best = d > 0.0f ? axis : -axis;
        }
    }
    if (!(bestCos > kSnapCos)) {
        return;
    }
    phVec4 hull, sum;
    Support(best, hull, sum);
    const float depth = phDot(best, hull);
    if (depth > -face.plane.w + kDepthTolerance) {
        return;
    }
    face.plane = {best.x, best.y, best.z, -depth};
    face.hull[0] = hull;
    face.sum[0] = sum;
}

int phMinkowskiSolver::ContinuousContacts(float& time, const phVec4& relMotion, std::int64_t userId,
                                          phContactRecord* out, int capacity)
{
    if (!InitialTetrahedron()) {
        return 0;
    }
    Face face;
    const Separation first = SeparationTest(face);
    if (first == Separation::kIntersecting) {
        if (!ExpandPolytope(face)) {
            return 0;
        }
        const int n = ContactsFromFace(face, userId, out, capacity);
        if (n > 0) {
            time = 0.0f;
        }
        return n;
    }
    if (first != Separation::kSeparated) {
        return 0;
    }

    // Conservative advancement: the difference moves by -relMotion per
    // second and cannot reach the origin before its separating plane does.
    const phVec4 base = m_matrix[3];
    Face separating = face;
    float t = 0.0f;
    for (int it = 0; it < kTimeOfImpactIterations; ++it) {
        const phVec4 n = {face.plane.x, face.plane.y, face.plane.z, 0.0f};
        const phVec4 closest = ClosestPointOnTriangle({0, 0, 0, 1}, face.hull[0], face.hull[1], face.hull[2]);
        const float approach = phDot(n, relMotion);
        if (!(approach < -1e-24f)) {
            t = time;  // never meets
            break;
        }
        const float next = t + phDot(n, closest) / approach;
        if (!(next < time)) {
            t = next;
            break;
        }
        if (!(next > t)) {
            break;
        }
        t = next;
        m_matrix[3] = base + relMotion * t;
        m_matrix[3].w = base.w;
        if (!InitialTetrahedron()) {
            break;
        }
        Face again;
        if (SeparationTest(again) != Separation::kSeparated) {
            break;
        }
        face = again;
        separating = again;
        // Kept in the frame of time 0.
        for (int k = 0; k < 3; ++k) {
            separating.hull[k] = again.hull[k] + relMotion * t;
            separating.sum[k] = again.sum[k] - relMotion * t;
        }
    }
    m_matrix[3] = base;
    if (!(t > 0.0f && t < time)) {
        return 0;
    }

    const float speed = phLength(relMotion);
    const phVec4 shift = relMotion * (t + 1.0f / (256.0f * speed));
    Face impact;
    for (int k = 0; k < 3; ++k) {
        impact.hull[k] = separating.hull[k] - shift;
        impact.sum[k] = separating.sum[k] + shift;
    }
    phVec4 n = phCross(impact.hull[1] - impact.hull[0], impact.hull[2] - impact.hull[0]);
    const float len2 = phLengthSq(n);
    if (!(len2 >= kDegenerateNormalSq)) {
        return 0;
    }
    n = n * (1.0f / std::sqrt(len2));
    if (phDot(n, relMotion) > 0.0f) {
        n = -n;
    }
    impact.plane = {n.x, n.y, n.z, -phDot(n, impact.hull[0])};

    const phMat4 savedB = m_matB;
    phVec4 worldShift = phRotate(m_matA, shift);
    worldShift.w = 0.0f;
    m_matrix[3] = base + shift;
    m_matrix[3].w = base.w;
    m_matB[3] = savedB[3] + worldShift;
    const int count = ContactsFromFace(impact, userId, out, capacity);
    m_matrix[3] = base;
    m_matB = savedB;
    for (int i = 0; i < count; ++i) {
        out[i].point -= worldShift * 0.5f;
    }
    if (count > 0) {
        time = t;
    }
    return count;
}

int ClipFacePolygons(const phVec4& normal, std::int64_t userId, float penetration, const phVec4* p, int pCount,
                     const phVec4* q, int qCount, phContactRecord* out, int capacity)
{
    if (capacity <= 0 || (pCount < 3 && qCount < 3)) {
        return 0;
    }
    const phVec4* clipper = p;
    int clipperCount = pCount;
    const phVec4* subject = q;
    int subjectCount = qCount;
    if (pCount < 3) {
        clipper = q;
        clipperCount = qCount;
        subject = p;
        subjectCount = pCount;
    }
    if (subjectCount <= 0) {
        return 0;
    }
    constexpr int kMaxClip = 64;
    clipperCount = clipperCount < kMaxClip ? clipperCount : kMaxClip;
    subjectCount = subjectCount < kMaxClip / 2 ? subjectCount : kMaxClip / 2;
    phVec4 centre = {};
    for (int i = 0; i < clipperCount; ++i) {
        centre += clipper[i];
    }
    centre = centre * (1.0f / static_cast<float>(clipperCount));

    phVec4 bufA[kMaxClip];
    phVec4 bufB[kMaxClip];
    phVec4* cur = bufA;
    phVec4* nxt = bufB;
    int count = subjectCount;
    for (int i = 0; i < count; ++i) {
        cur[i] = subject[i];
    }
    auto crossing = [](const phVec4& a, const phVec4& b, float da, float db) {
        float den = da - db;
        if (std::fabs(den) < 1e-10f) {
            den = den < 0.0f ? -1e-10f : 1e-10f;
        }
        return a + (b - a) * (da / den);
    };
    for (int i = 0; i < clipperCount && count > 0; ++i) {
        const phVec4& c0 = clipper[i];
        const phVec4& c1 = clipper[(i + 1) % clipperCount];
        phVec4 m = phCross(c1 - c0, normal);
        if (phDot(m, centre - c0) < 0.0f) {
            m = -m;
        }
        if (phLengthSq(m) < 1e-20f) {
            continue;  // a repeated corner cuts nothing
        }
        if (count == 2 && subjectCount == 2) {
            // A segment: both ends outside leaves nothing.
            const float d0 = phDot(m, cur[0] - c0);
            const float d1 = phDot(m, cur[1] - c0);
            if (d0 < 0.0f && d1 < 0.0f) {
                return 0;
            }
            if (d0 < 0.0f) {
                cur[0] = crossing(cur[0], cur[1], d0, d1);
            } else if (d1 < 0.0f) {
                cur[1] = crossing(cur[0], cur[1], d0, d1);
            }
            continue;
        }
        // A point on the edge's plane up to rounding counts as inside: two
        // faces resting flat share edges, and a crossing between two points
        // a rounding apart on either side lands anywhere along the edge.
        const float inside = -kClipTolerance * std::sqrt(phLengthSq(m));
        int n = 0;
        for (int k = 0; k < count; ++k) {
            const phVec4& a = cur[k];
            const phVec4& b = cur[(k + 1) % count];
            const float da = phDot(m, a - c0);
            const float db = phDot(m, b - c0);
            if (da >= inside && n < kMaxClip) {
                nxt[n++] = a;
            }
            if (((da >= inside) != (db >= inside)) && n < kMaxClip) {
                nxt[n++] = crossing(a, b, da, db);
            }
        }
        phVec4* t = cur;
        cur = nxt;
        nxt = t;
        count = n;
    }
    if (count <= 0) {
        return 0;
    }
    const std::int64_t id = static_cast<std::int64_t>(static_cast<std::uint32_t>(userId));
    int written = 0;
    for (int i = 0; i < count && written < capacity; ++i) {
        bool near = false;
        for (int j = 0; j < written && !near; ++j) {
            near = phLengthSq(cur[i] - out[j].point) < 0.002f;
        }
        if (!near) {
            WriteRecord(out[written++], cur[i], normal, id, penetration);
        }
    }
    return written;
}

int ContactsFromSections(const phConvexCollision* a, const phMat4& matA, const phConvexCollision* b, const phMat4& matB,
                         const phMat4& bToA, const phVec4& plane, const phVec4& sum, std::int64_t userId,
                         phContactRecord* out, int capacity)
{
    if (capacity <= 0) {
        return 0;
    }
    const phVec4 n = {plane.x, plane.y, plane.z, 0.0f};
    const float o = 0.5f * phDot(n, sum);
    const phVec4 onPlane = n * o;
    constexpr int kMax = phConvexCollision::kMaxPlaneContacts;

    // A shallow mid-plane cuts two nearly parallel faces only where the
    // tilt takes one deepest (a corner of a face that rests flat), and the
    // points then bunch on one side; each shape is cut no shallower than
    // 1/256 below its deepest point, so a face within that of flat is
    // taken whole, and the points are laid back onto the mid-plane.
    const phVec4 deepestA = a->SupportVertex(n);
    phVec4 pa[kMax];
    int countA = phDot(n, deepestA) - o < phMinkowskiSolver::kSectionDepth ? 0 : a->CalcPlaneContacts(-n, onPlane, pa);
    if (countA == 0) {
        const phVec4 s = deepestA - n * phMinkowskiSolver::kSectionDepth;
        countA = a->CalcPlaneContacts(-n, s, pa);
        for (int i = 0; i < countA; ++i) {
            pa[i] -= n * (phDot(n, pa[i]) - o);
        }
    }
    phVec4 nb = phUnrotate(bToA, n);
    nb.w = 0.0f;
    const phVec4 onPlaneB = phUntransformPoint(bToA, onPlane);
    const float ob = phDot(nb, onPlaneB);
    const phVec4 deepestB = b->SupportVertex(-nb);
    phVec4 pb[kMax];
    int countB = ob - phDot(nb, deepestB) < phMinkowskiSolver::kSectionDepth ? 0 : b->CalcPlaneContacts(-nb, onPlaneB, pb);
    if (countB == 0) {
        const phVec4 s = deepestB + nb * phMinkowskiSolver::kSectionDepth;
        countB = b->CalcPlaneContacts(-nb, s, pb);
        for (int i = 0; i < countB; ++i) {
            pb[i] -= nb * (phDot(nb, pb[i]) - ob);
        }
    }
    countA = countA < kMax ? countA : kMax;
    countB = countB < kMax ? countB : kMax;

    float depth = -(plane.w + phMinkowskiSolver::kDepthAllowance);
    depth = depth > 0.0f ? depth : 0.0f;
    phVec4 normal = phRotate(matA, -n);
    normal.w = 0.0f;

    if (countA == 1) {
        WriteRecord(out[0], phTransformPoint(matA, pa[0]), normal, userId, depth);
        return 1;
    }
    if (countB == 1) {
        WriteRecord(out[0], phTransformPoint(matB, pb[0]), normal, userId, depth);
        return 1;
    }
    phVec4 wa[kMax];
    phVec4 wb[kMax];
    for (int i = 0; i < countA; ++i) {
        wa[i] = phTransformPoint(matA, pa[i]);
    }
    for (int i = 0; i < countB; ++i) {
        wb[i] = phTransformPoint(matB, pb[i]);
    }
    if (countA == 2 && countB == 2) {
        phVec4 ca, cb;
        ClosestPointsOfSegments(wa[0], wa[1], wb[0], wb[1], ca, cb);
        WriteRecord(out[0], (ca + cb) * 0.5f, normal, userId, depth);
        return 1;
    }
    return ClipFacePolygons(normal, userId, depth, wa, countA, wb, countB, out, capacity);
}
