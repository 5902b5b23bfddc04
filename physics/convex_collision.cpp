#include "physics/convex_collision.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "physics/class_id.h"
#include "physics/mass_integrals.h"
#include "physics/maths.h"
#include "physics/memory.h"
#include "physics/scratch.h"

namespace {

constexpr int kSupportEdgeLimit = 128;
constexpr int kRayIterations = 128;
constexpr int kTraceSteps = 512;
constexpr float kPointMergeSq = 1e-8f;

float DistSq(const phVec4& a, const phVec4& b) { return phLengthSq(a - b); }

// Closest point to the origin of the simplex of up to four points. Keeps
// only the points that support it and returns it.
struct Simplex {
    phVec4 points[4];  // points of the shape
    int count = 0;
};

// Closest point of the affine hull of ys[idx...] to the origin with its
// barycentric weights; false when degenerate.
bool AffineClosest(const double (*ys)[3], const int* idx, int k, double* lambda, double* v)
{
    if (k == 1) {
        lambda[0] = 1.0;
        std::memcpy(v, ys[idx[0]], sizeof(double) * 3);
        return true;
    }
    const double* y0 = ys[idx[0]];
    double e[3][3];
    for (int i = 1; i < k; ++i) {
        for (int c = 0; c < 3; ++c) {
            e[i - 1][c] = ys[idx[i]][c] - y0[c];
        }
    }
    const int m = k - 1;
    double g[3][3];
    double rhs[3];
    for (int i = 0; i < m; ++i) {
        for (int j = 0; j < m; ++j) {
            g[i][j] = e[i][0] * e[j][0] + e[i][1] * e[j][1] + e[i][2] * e[j][2];
        }
        rhs[i] = -(e[i][0] * y0[0] + e[i][1] * y0[1] + e[i][2] * y0[2]);
    }
    double mu[3] = {0, 0, 0};
    double scale = 1.0;
    for (int i = 0; i < m; ++i) {
        scale *= g[i][i];
    }
    if (m == 1) {
        if (g[0][0] <= 1e-24) {
            return false;
        }
        mu[0] = rhs[0] / g[0][0];
    } else if (m == 2) {
        const double det = g[0][0] * g[1][1] - g[0][1] * g[1][0];
        if (std::fabs(det) <= 1e-12 * scale || det == 0.0) {
            return false;
        }
        mu[0] = (rhs[0] * g[1][1] - g[0][1] * rhs[1]) / det;
        mu[1] = (g[0][0] * rhs[1] - rhs[0] * g[1][0]) / det;
    } else {
        const double det = g[0][0] * (g[1][1] * g[2][2] - g[1][2] * g[2][1]) -
                           g[0][1] * (g[1][0] * g[2][2] - g[1][2] * g[2][0]) +
                           g[0][2] * (g[1][0] * g[2][1] - g[1][1] * g[2][0]);
        if (std::fabs(det) <= 1e-12 * scale || det == 0.0) {
            return false;
        }
        for (int col = 0; col < 3; ++col) {
            double a[3][3];
            std::memcpy(a, g, sizeof(a));
            for (int r = 0; r < 3; ++r) {
                a[r][col] = rhs[r];
            }
            mu[col] = (a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                       a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0])) /
                      det;
        }
    }
    lambda[0] = 1.0;
    for (int c = 0; c < 3; ++c) {
        v[c] = y0[c];
    }
    for (int i = 0; i < m; ++i) {
        lambda[i + 1] = mu[i];
        lambda[0] -= mu[i];
        for (int c = 0; c < 3; ++c) {
            v[c] += mu[i] * e[i][c];
        }
    }
    return true;
}

// Reduces the simplex (in the space x - point) to the face nearest the origin.
phVec4 ClosestOfSimplex(Simplex& s, const phVec4& x)
{
    double ys[4][3];
    for (int i = 0; i < s.count; ++i) {
        ys[i][0] = static_cast<double>(x.x) - s.points[i].x;
        ys[i][1] = static_cast<double>(x.y) - s.points[i].y;
        ys[i][2] = static_cast<double>(x.z) - s.points[i].z;
    }
    double bestDist = -1.0;
    double best[3] = {0, 0, 0};
    int bestMask = 0;
    for (int mask = 1; mask < (1 << s.count); ++mask) {
        int idx[4] = {0, 0, 0, 0};
        int k = 0;
        for (int i = 0; i < s.count; ++i) {
            if (mask & (1 << i)) {
                idx[k++] = i;
            }
        }
        double lambda[4];
        double v[3];
        if (!AffineClosest(ys, idx, k, lambda, v)) {
            continue;
        }
        bool inside = true;
        for (int i = 0; i < k; ++i) {
            if (!(lambda[i] > 0.0)) {
                inside = false;
            }
        }
        if (!inside) {
            continue;
        }
        const double d = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
        if (bestDist < 0.0 || d < bestDist) {
            bestDist = d;
            std::memcpy(best, v, sizeof(best));
            bestMask = mask;
        }
    }
    Simplex reduced;
    for (int i = 0; i < s.count; ++i) {
        if (bestMask & (1 << i)) {
            reduced.points[reduced.count++] = s.points[i];
        }
    }
    s = reduced;
    return {static_cast<float>(best[0]), static_cast<float>(best[1]), static_cast<float>(best[2]), 0.0f};
}

struct IntegralContext {
    phFaceContext base;
    phMassIntegrals integrals;
};

void IntegrateFace(phFaceContext* context, int count, const float* triples, int)
{
    reinterpret_cast<IntegralContext*>(context)->integrals.AddFace(triples, 3, count);
}

}  // namespace

phConvexCollision::phConvexCollision(std::uint32_t signature, const phMat4& offset, std::uint32_t kind)
    : phCollision(signature, offset, kind)
{
}

phConvexCollision::~phConvexCollision()
{
    phFree(m_vertices);
    phFree(m_edges);
}

std::uint32_t phConvexCollision::GetTypeId() const { return phGetClassId(phClassIndex::ConvexCollision); }

bool phConvexCollision::IsType(std::uint32_t id) const
{
    return id == phGetClassId(phClassIndex::ConvexCollision) || phCollision::IsType(id);
}

void phConvexCollision::SetGeometry(phVec4* vertices, int vertexCount, phHalfEdge* edges, int edgeCount)
{
    m_vertices = vertices;
    m_vertexCount = static_cast<std::uint16_t>(vertexCount);
    m_edges = edges;
    m_edgeCount = static_cast<std::uint16_t>(edgeCount);
}

void phConvexCollision::ClearGeometry()
{
    m_vertices = nullptr;
    m_edges = nullptr;
}

void phConvexCollision::Init()
{
    phMassIntegrals integrals;
    if (m_edgeCount > 0) {
        phScratch<unsigned char> visited(m_edgeCount);
        phScratch<float> face(std::size_t{m_edgeCount} * 3);
        if (visited && face) {
            std::memset(visited.Data(), 0, m_edgeCount);
            for (int e = 0; e < m_edgeCount; ++e) {
                if (visited[e]) {
                    continue;
                }
                int n = 0;
                int cur = e;
                while (!visited[cur] && n < m_edgeCount) {
                    visited[cur] = 1;
                    const phVec4& v = m_vertices[m_edges[cur].vertex];
                    face[n * 3 + 0] = v.x;
                    face[n * 3 + 1] = v.y;
                    face[n * 3 + 2] = v.z;
                    ++n;
                    cur = m_edges[cur].next;
                }
                integrals.AddFace(face.Data(), 3, n);
            }
        }
        for (int axis = 0; axis < 3; ++axis) {
            phVec4 dir = {0, 0, 0, 0};
            dir[axis] = 1.0f;
            m_start[axis * 2] = SupportEdge(dir);
            dir[axis] = -1.0f;
            m_start[axis * 2 + 1] = SupportEdge(dir);
        }
    }
    m_centre = integrals.Centre();
    m_centre.w = static_cast<float>(integrals.volume);

    for (int axis = 0; axis < 3; ++axis) {
        phVec4 dir = {0, 0, 0, 0};
        dir[axis] = 1.0f;
        const float hi = SupportVertex(dir)[axis];
        dir[axis] = -1.0f;
        const float lo = SupportVertex(dir)[axis];
        m_boxHalf[axis] = (hi - lo) * 0.5f;
        m_boxCentre[axis] = (hi + lo) * 0.5f;
    }
    m_boxHalf.w = 1.0f;
    m_boxCentre.w = 1.0f;
}

int phConvexCollision::SupportEdge(const phVec4& dir) const
{
    if (m_edgeCount == 0) {
        return 0;
    }
    int edge = 0;
    float best = phDot(m_vertices[m_edges[0].vertex], dir);
    // Every move strictly raises the dot product, so the climb ends.
    for (;;) {
        const int first = edge;
        int cur = edge;
        bool moved = false;
        do {
            const int twin = m_edges[cur].twin;
            const float d = phDot(m_vertices[m_edges[twin].vertex], dir);
            if (d > best) {
                best = d;
                edge = twin;
                moved = true;
                break;
            }
            cur = m_edges[twin].next;
        } while (cur != first);
        if (!moved) {
            return edge;
        }
    }
}

phVec4 phConvexCollision::SupportVertex(const phVec4& d) const
{
    if (m_edgeCount == 0) {
        return m_vertexCount > 0 ? m_vertices[0] : phVec4{0, 0, 0, 0};
    }
    const float ax = std::fabs(d.x), ay = std::fabs(d.y), az = std::fabs(d.z);
    int axis = 0;
    if (ay > ax) {
        axis = 1;
    }
    if (az > std::fabs(d[axis])) {
        axis = 2;
    }
    int edge = m_start[axis * 2 + (d[axis] < 0.0f ? 1 : 0)];
    float best = phDot(m_vertices[m_edges[edge].vertex], d);
    int examined = 0;
    int first = edge;
    int cur = edge;
    while (examined < kSupportEdgeLimit) {
        const int twin = m_edges[cur].twin;
        const float dd = phDot(m_vertices[m_edges[twin].vertex], d);
        ++examined;
        if (dd > best) {
            best = dd;
            edge = twin;
            first = twin;
            cur = m_edges[twin].twin;  // back edge; start the turn after it
            cur = m_edges[cur].next;
            if (cur == first) {
                break;
            }
            continue;
        }
        cur = m_edges[twin].next;
        if (cur == first) {
            break;
        }
    }
    return m_vertices[m_edges[edge].vertex];
}

void phConvexCollision::CalcAABB(const phMat4& m, phVec4& outMin, phVec4& outMax) const
{
    phVec4 c = phTransformPoint(m, m_boxCentre);
    for (int j = 0; j < 3; ++j) {
        const float ext = std::fabs(m[0][j]) * m_boxHalf.x + std::fabs(m[1][j]) * m_boxHalf.y +
                          std::fabs(m[2][j]) * m_boxHalf.z;
        outMin[j] = c[j] - ext;
        outMax[j] = c[j] + ext;
    }
    outMin.w = 1.0f;
    outMax.w = 1.0f;
}

int phConvexCollision::ForEachFace(phFaceContext* context, phFaceCallback callback) const
{
    if (m_edgeCount == 0 || callback == nullptr) {
        return 0;
    }
    const phMat4 m = phMultiply(GetOffsetMatrix(), context != nullptr ? context->matrix : GetIdentityMatrix());
    phScratch<float> placed(std::size_t{m_vertexCount} * 3);
    phScratch<float> face(std::size_t{m_edgeCount} * 3);
    phScratch<unsigned char> visited(m_edgeCount);
    if (!placed || !face || !visited) {
        return 0;
    }
    TransformPoints(m, placed.Data(), 3 * sizeof(float), &m_vertices[0].x, sizeof(phVec4), m_vertexCount);
    std::memset(visited.Data(), 0, m_edgeCount);
    int walked = 0;
    for (int e = 0; e < m_edgeCount; ++e) {
        if (visited[e]) {
            continue;
        }
        int n = 0;
        int cur = e;
        while (!visited[cur] && n < m_edgeCount) {
            visited[cur] = 1;
            std::memcpy(&face[n * 3], &placed[std::size_t(m_edges[cur].vertex) * 3], 3 * sizeof(float));
            ++n;
            cur = m_edges[cur].next;
        }
        walked += n;
        callback(context, n, face.Data(), 0);
    }
    return walked;
}

float phConvexCollision::RayCast(const phVec4& p0, const phVec4& p1, phRayHit* hit, phRayPrefilter prefilter,
                                 void* userData) const
{
    if (prefilter != nullptr && prefilter(userData, this) == 0) {
        return kRayMiss;
    }
    const phVec4 r = p1 - p0;
    float tMin = 0.0f;
    float tMax = 1.0f;
    for (int a = 0; a < 3; ++a) {
        const float lo = m_boxCentre[a] - m_boxHalf[a];
        const float hi = m_boxCentre[a] + m_boxHalf[a];
        if (std::fabs(r[a]) < 1e-8f) {
            if (p0[a] < lo || p0[a] > hi) {
                return kRayMiss;
            }
            continue;
        }
        float t0 = (lo - p0[a]) / r[a];
        float t1 = (hi - p0[a]) / r[a];
        if (t0 > t1) {
            std::swap(t0, t1);
        }
        tMin = std::max(tMin, t0);
        tMax = std::min(tMax, t1);
        if (tMin > tMax) {
            return kRayMiss;
        }
    }

    // Ray cast by conservative advancement over a simplex of support points:
    // the ray point x moves forward to each separating plane found.
    const float len = std::sqrt(phLengthSq(r) + 1e-24f);
    const phVec4 d = r * (1.0f / len);
    float lambda = 0.0f;
    phVec4 x = p0;
    phVec4 normal = {0, 0, 0, 0};
    bool advanced = false;
    Simplex simplex;
    phVec4 v = x - SupportVertex(phVec4{-d.x, -d.y, -d.z, 0.0f});
    for (int iter = 0; iter < kRayIterations && phLengthSq(v) > 1e-10f; ++iter) {
        // Support mappings such as the sphere's expect unit directions.
        const phVec4 p = SupportVertex(phVec4{v.x, v.y, v.z, 0.0f} * (1.0f / std::sqrt(phLengthSq(v))));
        const phVec4 w = x - p;
        const float vw = phDot(v, w);
        if (vw > 0.0f) {
            const float vr = phDot(v, r);
            if (vr >= 0.0f) {
                return kRayMiss;
            }
            lambda -= vw / vr;
            if (lambda > 1.0f) {
                return kRayMiss;
            }
            x = p0 + r * lambda;
            normal = v;
            advanced = true;
        }
        bool known = false;
        for (int i = 0; i < simplex.count; ++i) {
            if (DistSq(simplex.points[i], p) == 0.0f) {
                known = true;
            }
        }
        if (known && vw <= 0.0f) {
            break;  // no progress possible
        }
        if (!known) {
            if (simplex.count == 4) {
                break;
            }
            simplex.points[simplex.count++] = p;
        }
        v = ClosestOfSimplex(simplex, x);
    }
    // A segment that starts inside reports no hit.
    if (!advanced || phLengthSq(v) >= 1e-8f || !(lambda < 1.0f)) {
        return kRayMiss;
    }
    if (hit != nullptr) {
        const float nl = std::sqrt(phLengthSq(normal));
        hit->normal = nl > 0.0f ? normal * (1.0f / nl) : normal;
        hit->normal.w = 1.0f;
        hit->userId = static_cast<std::int64_t>(GetUserId());
    }
    return lambda;
}

float phConvexCollision::GetVolume() const
{
    IntegralContext ctx{{GetIdentityMatrix()}, {}};
    ForEachFace(&ctx.base, IntegrateFace);
    return static_cast<float>(ctx.integrals.volume);
}

void phConvexCollision::CalcInertia(phVec4& outInertia, phVec4& outCentre) const
{
    IntegralContext ctx{{GetIdentityMatrix()}, {}};
    ForEachFace(&ctx.base, IntegrateFace);
    outCentre = ctx.integrals.Centre();
    outInertia = ctx.integrals.Inertia();
}

void phConvexCollision::CalcVolumeBelowPlane(phVec4& out, const phMat4& matrix, phPlaneCallback planeCallback,
                                             void* userData) const
{
    phVec4 plane = {0.0f, 1.0f, 0.0f, -100000000.0f};
    if (planeCallback != nullptr) {
        phVec4 world = plane;
        if (planeCallback(GetUserId(), userData, matrix, world) != 0) {
            plane = phUnrotate(matrix, world);
            plane.w = world.w + phDot(world, matrix[3]);
        }
    }
    double volume = 0.0;
    double moment[3] = {0.0, 0.0, 0.0};
    if (m_edgeCount > 0) {
        auto dist = [&](const phVec4& p) {
            return static_cast<double>(plane.x) * p.x + static_cast<double>(plane.y) * p.y +
                   static_cast<double>(plane.z) * p.z + plane.w;
        };
        // Apex of the tetrahedra: on the cutting plane when it cuts, so the
        // cap face adds nothing; else the vertex centroid.
        double apex[3] = {0.0, 0.0, 0.0};
        bool cuts = false;
        for (int i = 0; i < m_vertexCount; ++i) {
            apex[0] += m_vertices[i].x;
            apex[1] += m_vertices[i].y;
            apex[2] += m_vertices[i].z;
            cuts = cuts || dist(m_vertices[i]) > 0.0;
        }
        for (double& c : apex) {
            c /= m_vertexCount;
        }
        const double nn = static_cast<double>(phLengthSq(plane));
        if (cuts && nn > 0.0) {
            const double k = (plane.x * apex[0] + plane.y * apex[1] + plane.z * apex[2] + plane.w) / nn;
            apex[0] -= k * plane.x;
            apex[1] -= k * plane.y;
            apex[2] -= k * plane.z;
        }
        phScratch<unsigned char> visited(m_edgeCount);
        phScratch<double> poly(std::size_t{m_edgeCount} * 2 * 3);
        if (visited && poly) {
            std::memset(visited.Data(), 0, m_edgeCount);
            for (int e = 0; e < m_edgeCount; ++e) {
                if (visited[e]) {
                    continue;
                }
                // Clip the face loop to the part behind the plane.
                int n = 0;
                int cur = e;
                int steps = 0;
                while (!visited[cur] && steps < m_edgeCount) {
                    visited[cur] = 1;
                    ++steps;
                    const phVec4& a = m_vertices[m_edges[cur].vertex];
                    const phVec4& b = m_vertices[Destination(cur)];
                    const double da = dist(a);
                    const double db = dist(b);
                    if (da <= 0.0) {
                        poly[n * 3 + 0] = a.x;
                        poly[n * 3 + 1] = a.y;
                        poly[n * 3 + 2] = a.z;
                        ++n;
                    }
                    if ((da < 0.0 && db > 0.0) || (da > 0.0 && db < 0.0)) {
                        const double t = da / (da - db);
                        poly[n * 3 + 0] = a.x + t * (b.x - a.x);
                        poly[n * 3 + 1] = a.y + t * (b.y - a.y);
                        poly[n * 3 + 2] = a.z + t * (b.z - a.z);
                        ++n;
                    }
                    cur = m_edges[cur].next;
                }
                for (int i = 1; i + 1 < n; ++i) {
                    const double* p = &poly[0];
                    const double* q = &poly[i * 3];
                    const double* s = &poly[(i + 1) * 3];
                    const double a[3] = {p[0] - apex[0], p[1] - apex[1], p[2] - apex[2]};
                    const double b[3] = {q[0] - apex[0], q[1] - apex[1], q[2] - apex[2]};
                    const double c[3] = {s[0] - apex[0], s[1] - apex[1], s[2] - apex[2]};
                    const double det = a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
                                       a[2] * (b[0] * c[1] - b[1] * c[0]);
                    const double vol = det / 6.0;
                    volume += vol;
                    for (int k = 0; k < 3; ++k) {
                        moment[k] += vol * (apex[k] + p[k] + q[k] + s[k]) * 0.25;
                    }
                }
            }
        }
    }
    phVec4 centroid = {0, 0, 0, 1};
    if (volume >= 1e-8) {
        centroid = {static_cast<float>(moment[0] / volume), static_cast<float>(moment[1] / volume),
                    static_cast<float>(moment[2] / volume), 1.0f};
    }
    out = phTransformPoint(matrix, centroid);
    out.w = static_cast<float>(volume);
}

int phConvexCollision::TraceSection(int start, const phVec4& plane, phVec4* out) const
{
    int count = 0;
    int e = start;
    for (int step = 0; step < kTraceSteps; ++step) {
        const phVec4& a = m_vertices[m_edges[e].vertex];
        const phVec4& b = m_vertices[Destination(e)];
        const float da = phDot(plane, a) + plane.w;
        const float denom = phDot(plane, b - a);
        phVec4 p = denom != 0.0f ? a - (b - a) * (da / denom) : a;
        p.w = a.w;
        if (count == 0 || DistSq(p, out[count - 1]) >= kPointMergeSq) {
            if (count == kTraceCapacity) {
                // Too many points: keep every second one.
                for (int i = 0; i < kTraceCapacity / 2; ++i) {
                    out[i] = out[i * 2];
                }
                count = kTraceCapacity / 2;
            }
            out[count++] = p;
        }
        // Around this face to the edge that comes back in front of the plane.
        int f = m_edges[e].next;
        for (int guard = 0; guard < m_edgeCount && !(Distance(plane, Destination(f)) > 0.0f); ++guard) {
            f = m_edges[f].next;
        }
        if (!(Distance(plane, Destination(f)) > 0.0f)) {
            break;
        }
        e = m_edges[f].twin;
        if (e == start) {
            break;
        }
    }
    if (count > 1 && DistSq(out[count - 1], out[0]) < kPointMergeSq) {
        --count;
    }
    return count;
}

int phConvexCollision::CalcPlaneContacts(const phVec4& normal, const phVec4& point, phVec4* out) const
{
    if (m_edgeCount == 0) {
        return 0;
    }
    phVec4 plane = normal;
    plane.w = -phDot(normal, point);

    int axis = 0;
    if (std::fabs(normal.y) > std::fabs(normal.x)) {
        axis = 1;
    }
    if (std::fabs(normal.z) > std::fabs(normal[axis])) {
        axis = 2;
    }
    const int plus = m_start[axis * 2];
    const int minus = m_start[axis * 2 + 1];
    int edge = std::fabs(Distance(plane, m_edges[plus].vertex)) < std::fabs(Distance(plane, m_edges[minus].vertex))
                   ? plus
                   : minus;
    float d = Distance(plane, m_edges[edge].vertex);
    const bool downhill = d > 0.0f;
    if (!(d > 0.0f) && !(d < 0.0f)) {
        return 0;
    }
    int crossing = -1;
    for (int step = 0; step < kTraceSteps && crossing < 0; ++step) {
        const int first = edge;
        int cur = edge;
        bool moved = false;
        do {
            const int twin = m_edges[cur].twin;
            const float df = Distance(plane, m_edges[twin].vertex);
            if (downhill ? df < d : df > d) {
                if (downhill ? df < 0.0f : df >= 0.0f) {
                    crossing = downhill ? cur : twin;
                } else {
                    edge = twin;
                    d = df;
                    moved = true;
                }
                break;
            }
            cur = m_edges[twin].next;
        } while (cur != first);
        if (crossing < 0 && !moved) {
            return 0;
        }
    }
    if (crossing < 0) {
        return 0;
    }

    phVec4 points[kTraceCapacity];
    int count = TraceSection(crossing, plane, points);

    // Reduce to kMaxPlaneContacts by dropping the points that span the least area.
    while (count > kMaxPlaneContacts) {
        float weight[kTraceCapacity];
        int order[kTraceCapacity];
        bool dropped[kTraceCapacity];
        for (int i = 0; i < count; ++i) {
            const phVec4& a = points[(i + count - 2) % count];
            const phVec4& b = points[(i + count - 1) % count];
            const phVec4& c = points[i];
            weight[(i + count - 1) % count] = std::fabs(phDot(normal, phCross(b - a, c - a)));
            order[i] = i;
            dropped[i] = false;
        }
        std::stable_sort(order, order + count, [&](int l, int r) { return weight[l] < weight[r]; });
        const int need = count - kMaxPlaneContacts;
        int removed = 0;
        for (int k = 0; k < count && removed < need; ++k) {
            const int i = order[k];
            if (!dropped[(i + count - 1) % count] && !dropped[(i + 1) % count]) {
                dropped[i] = true;
                ++removed;
            }
        }
        int kept = 0;
        for (int i = 0; i < count; ++i) {
            if (!dropped[i]) {
                points[kept++] = points[i];
            }
        }
        count = kept;
    }
    std::copy(points, points + count, out);
    return count;
}
