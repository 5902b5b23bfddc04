#include "physics/contacts.h"

#include <cmath>

#include "physics/box_box_contacts.h"
#include "physics/class_id.h"
#include "physics/collision_box.h"
#include "physics/collision_sphere.h"
#include "physics/contact_reduction.h"
#include "physics/maths.h"
#include "physics/minkowski_solver.h"
#include "physics/polygon_soup.h"
#include "physics/rigid_body.h"

namespace {

constexpr std::uint32_t kKindBox = phCollision::kKindBox;
constexpr std::uint32_t kKindSphere = phCollision::kKindSphere;
// Kinds the dispatch knows of that no shape here has.
constexpr std::uint32_t kKindNoContacts9 = 9;
constexpr std::uint32_t kKindNoContacts11 = 11;
constexpr int kGeneralCapacity = 16;
constexpr float kDepthAllowance = phMinkowskiSolver::kDepthAllowance;

int Clamp(int capacity) { return capacity < kMaxContactCapacity ? capacity : kMaxContactCapacity; }
int Min(int a, int b) { return a < b ? a : b; }

const phConvexCollision* Convex(const phRigidBody* b)
{
    if (b == nullptr || b->collision == nullptr) {
        return nullptr;
    }
    static const std::uint32_t convexId = phGetClassId(phClassIndex::ConvexCollision);
    return b->collision->IsType(convexId) ? static_cast<const phConvexCollision*>(b->collision) : nullptr;
}

phCollisionPolygonalSoup* Soup(const phRigidBody* b)
{
    if (b == nullptr || b->collision == nullptr) {
        return nullptr;
    }
    static const std::uint32_t soupId = phGetClassId(phClassIndex::CollisionPolygonalSoup);
    return b->collision->IsType(soupId) ? static_cast<phCollisionPolygonalSoup*>(b->collision) : nullptr;
}

void Write(phContactRecord& r, const phVec4& point, const phVec4& normal, std::int64_t userId, float depth)
{
    r.point = {point.x, point.y, point.z, 1.0f};
    r.normal = {normal.x, normal.y, normal.z, 0.0f};
    r.userId = userId;
    r.penetration = depth;
}

float Depth(float overlap)
{
    const float d = std::fabs(overlap) - kDepthAllowance;
    return d > 0.0f ? d : 0.0f;
}

void FillBodies(phContactRecord* records, int count, phRigidBody* b0, phRigidBody* b1)
{
    for (int i = 0; i < count; ++i) {
        records[i].body0 = b0;
        records[i].body1 = b1;
        records[i].collision0 = b0->collision;
        records[i].collision1 = b1->collision;
    }
}

// Walks the faces of a query result, checking every count and index
// against the arrays before the face object reads them.
class FaceCursor {
public:
    FaceCursor(const phFaceQueryResult& r, phCollisionConvexPolygon& face) : m_r(r), m_face(face)
    {
        const bool sound = r.faceCount > 0 && r.vertexCounts != nullptr && r.attributes != nullptr &&
                           r.indices != nullptr && r.vertices != nullptr && r.strideBytes >= 12 &&
                           r.strideBytes % 4 == 0 && r.vertexCount > 0 && r.indexCount > 0;
        m_faces = sound ? r.faceCount : 0;
        face.SetVertexArray(sound ? r.vertices : nullptr, r.strideBytes / 4, sound ? r.vertexCount : 0);
    }

    // Loads the next face that can be read; false at the end.
    bool Next(int& attribute)
    {
        while (m_next < m_faces) {
            const int f = m_next++;
            const int count = m_r.vertexCounts[f];
            if (count < 0 || count > m_r.indexCount - m_offset) {
                m_faces = 0;  // the index run cannot be followed further
                return false;
            }
            const int* indices = m_r.indices + m_offset;
            m_offset += count;
            if (m_face.LoadFace(indices, count)) {
                attribute = m_r.attributes[f];
                return true;
            }
        }
        return false;
    }

private:
    const phFaceQueryResult& m_r;
    phCollisionConvexPolygon& m_face;
    int m_faces = 0;
    int m_next = 0;
    int m_offset = 0;
};

phVec4 FaceFrontNormal(const phCollisionConvexPolygon& face)
{
    const phVec4 a = face.Vertex(0);
    const phVec4 b = face.Vertex(1);
    const phVec4 c = face.Vertex(2);
    const phVec4 n = phCross(b - a, c - b);
    const phVec4 unit = n * (1.0f / std::sqrt(phLengthSq(n) + 1e-24f));
    return {unit.x, unit.y, unit.z, 0.0f};
}

// The discrete slab test: the convex's extent along the face normal must
// meet the slab 0.1 either side of the face plane. (Asking it to reach 0.1
// beyond the plane on both sides would drop every shallow contact.)
bool SetupFaceForConvex(phCollisionConvexPolygon& face, const phConvexCollision* convex, const phMat4& toPolygon)
{
    const phVec4 n = FaceFrontNormal(face);
    phVec4 dir = phUnrotate(toPolygon, n);
    dir.w = 0.0f;
    const phVec4 front = phTransformPoint(toPolygon, convex->SupportVertex(dir));
    const phVec4 back = phTransformPoint(toPolygon, convex->SupportVertex(-dir));
    const phVec4 q = face.Vertex(0);
    const float e1 = phDot(n, back - q) - 0.1f;
    const float e2 = phDot(n, front - q) + 0.1f;
    if (e1 * e2 >= 0.0f) {
        return false;
    }
    face.CopyVertices(n);
    return true;
}

// Discrete convex-against-faces loop shared with the continuous fallback.
int ConvexPolygonsLoop(phRigidBody* polygon, phRigidBody* convexBody, const phConvexCollision* convex,
                       phCollisionPolygonalSoup* soup, const phMat4& toPolygon, const phVec4& boxMin,
                       const phVec4& boxMax, phContactRecord* out, int capacity)
{
    phFaceQueryResult result;
    soup->QueryFaces(boxMin, boxMax, result);
    phCollisionConvexPolygon& face = soup->FaceObject();
    FaceCursor cursor(result, face);
    std::uint8_t marks[kMaxContactCapacity];
    int count = 0;
    int attribute = 0;
    phMinkowskiSolver solver;
    while (count < capacity && cursor.Next(attribute)) {
        if (!SetupFaceForConvex(face, convex, toPolygon)) {
            continue;
        }
        solver.Setup(convex, convexBody->collisionMatrix, &face, polygon->collisionMatrix);
        const int n = solver.ContactsByPenetration(static_cast<std::int64_t>(attribute), out + count, capacity - count);
        phVec4 faceNormal = phRotate(polygon->collisionMatrix, face.Normal());
        faceNormal.w = 0.0f;
        count = FilterFaceContacts(faceNormal, count, count + n, out, marks);
        if (capacity - count < 2) {
            count = phThinContacts(out, count, capacity / 4, 0.01f, marks);
        }
    }
    if (count >= 2) {
        count = PruneEdgeContacts(count, out, marks);
    }
    return count;
}

}  // namespace

int ContactsSphereSphere(phRigidBody* a, phRigidBody* b, phContactRecord* out)
{
    const auto* sa = static_cast<const phCollisionSphere*>(a->collision);
    const auto* sb = static_cast<const phCollisionSphere*>(b->collision);
    const float ra = sa->GetRadius();
    const float rb = sb->GetRadius();
    phVec4 ca = a->collisionMatrix[3];
    phVec4 cb = b->collisionMatrix[3];
    ca.w = cb.w = 1.0f;
    const phVec4 d = cb - ca;
    const float len2 = phLengthSq(d);
    if (len2 < 0.0001f) {
        const phVec4 up = {0.0f, 1.0f, 0.0f, 0.0f};
        Write(out[0], ca + up * ra, up, 0, 0.01f);
        return 1;
    }
    const float len = std::sqrt(len2);
    const float s = len - (ra + rb);
    if (s > -kMinOverlap) {
        return 0;
    }
    const float depth = Depth(s);
    const phVec4 normal = (ca - cb) * (1.0f / len);
    Write(out[0], ca - normal * (ra - depth * 0.5f), normal, 0, depth);
    return 1;
}

int ContactsBoxSphere(phRigidBody* box, phRigidBody* sphere, phContactRecord* out, int capacity)
{
    const auto* shape = static_cast<const phCollisionBox*>(box->collision);
    const auto* ball = static_cast<const phCollisionSphere*>(sphere->collision);
    const phMat4& m = box->collisionMatrix;
    const phVec4 c = phUntransformPoint(m, sphere->collisionMatrix[3]);
    const phVec4& h = shape->GetHalfExtents();
    const float r = ball->GetRadius();
    int region = 0;
    int scale = 1;
    phVec4 nearest = c;
    for (int a = 0; a < 3; ++a) {
        int i = 0;
        if (c[a] < -h[a]) {
            i = 1;
            nearest[a] = -h[a];
        } else if (c[a] > h[a]) {
            i = 2;
            nearest[a] = h[a];
        }
        region += i * scale;
        scale *= 3;
    }
    if (region == 0) {
        return ContactsByPenetration(box, sphere, out, Min(capacity, kGeneralCapacity));
    }
    const phVec4 toBox = nearest - c;
    const float dist = phLength(toBox);
    const float s = dist - r;
    if (s > -kMinOverlap || !(dist > 0.0f)) {
        return 0;
    }
    const phVec4 normal = toBox * (1.0f / dist);
    const phVec4 point = c + normal * (r + s * 0.5f);
    phVec4 worldNormal = phRotate(m, normal);
    worldNormal.w = 0.0f;
    Write(out[0], phTransformPoint(m, point), worldNormal, 0, Depth(s));
    return 1;
}

int ContactsByPenetration(phRigidBody* a, phRigidBody* b, phContactRecord* out, int capacity)
{
    const phConvexCollision* ca = Convex(a);
    const phConvexCollision* cb = Convex(b);
    if (ca == nullptr || cb == nullptr || capacity <= 0) {
        return 0;
    }
    phMinkowskiSolver solver;
    solver.Setup(ca, a->collisionMatrix, cb, b->collisionMatrix);
    return solver.ContactsByPenetration(0, out, capacity);
}

int CalculateConvexContacts(float& time, phRigidBody* b0, phRigidBody* b1, phContactRecord* buffer, int capacity)
{
    capacity = Clamp(capacity);
    const phConvexCollision* c0 = Convex(b0);
    const phConvexCollision* c1 = Convex(b1);
    if (c0 == nullptr || c1 == nullptr || capacity <= 0) {
        return 0;
    }
    int n = 0;
    if (((b0->flags | b1->flags) & phRigidBody::kFlagContinuous) != 0) {
        phVec4 v0, w0, v1, w1;
        b0->PredictVelocities(time, v0, w0);
        b1->PredictVelocities(time, v1, w1);
        phVec4 rel = phUnrotate(b0->collisionMatrix, v1 - v0);
        rel.w = 0.0f;
        phMinkowskiSolver solver;
        solver.Setup(c0, b0->collisionMatrix, c1, b1->collisionMatrix);
        n = solver.ContinuousContacts(time, rel, 0, buffer, Min(capacity, kGeneralCapacity));
    } else {
        const std::uint32_t k0 = c0->GetKind();
        const std::uint32_t k1 = c1->GetKind();
        if (k0 == kKindBox && k1 == kKindBox) {
            n = BoxesApart(b0, b1) ? 0 : ContactsByPenetration(b0, b1, buffer, Min(capacity, kGeneralCapacity));
        } else if (k0 == kKindBox && k1 == kKindSphere) {
            n = ContactsBoxSphere(b0, b1, buffer, capacity);
        } else if (k0 == kKindSphere && k1 == kKindBox) {
            n = ContactsBoxSphere(b1, b0, buffer, capacity);
            for (int i = 0; i < n; ++i) {
                buffer[i].normal = -buffer[i].normal;
            }
        } else if (k0 == kKindSphere && k1 == kKindSphere) {
            n = ContactsSphereSphere(b0, b1, buffer);
        } else if (k0 == kKindNoContacts11 || k1 == kKindNoContacts11) {
            n = 0;
        } else {
            n = ContactsByPenetration(b0, b1, buffer, Min(capacity, kGeneralCapacity));
        }
        if (n != 0) {
            time = 0.0f;
        }
    }
    FillBodies(buffer, n, b0, b1);
    return n;
}

int CalculatePolygonContacts(phPhysWorld* world, float& time, phRigidBody* b0, phRigidBody* b1,
                             phContactRecord* buffer, int capacity)
{
    capacity = Clamp(capacity);
    const phConvexCollision* c0 = Convex(b0);
    if (c0 == nullptr || Soup(b1) == nullptr || capacity <= 0) {
        return 0;
    }
    int n = 0;
    if (((b0->flags | b1->flags) & phRigidBody::kFlagContinuous) == 0) {
        if (c0->GetKind() == kKindSphere) {
            n = ContactsSpherePolygons(world, b1, b0, buffer, capacity);
        } else if (c0->GetKind() != kKindNoContacts9) {
            n = ContactsConvexPolygons(world, b1, b0, buffer, capacity);
        }
        if (n != 0) {
            time = 0.0f;
        }
    } else if (c0->GetKind() != kKindNoContacts11) {
        n = ContactsConvexPolygonsContinuous(world, time, b0, b1, buffer, capacity);
    }
    FillBodies(buffer, n, b0, b1);
    return n;
}

int ContactsSpherePolygons(phPhysWorld*, phRigidBody* polygon, phRigidBody* sphere, phContactRecord* out,
                           int capacity)
{
    phCollisionPolygonalSoup* soup = Soup(polygon);
    if (soup == nullptr || capacity <= 0 || sphere->collision == nullptr) {
        return 0;
    }
    capacity = Clamp(capacity);
    const phMat4& pm = polygon->collisionMatrix;
    const phVec4 c = phUntransformPoint(pm, sphere->collisionMatrix[3]);
    const float r = static_cast<const phCollisionSphere*>(sphere->collision)->GetRadius();
    const phVec4 ext = {r, r, r, 0.0f};
    phVec4 boxMin = c - ext;
    phVec4 boxMax = c + ext;
    boxMin.w = boxMax.w = 1.0f;
    phFaceQueryResult result;
    soup->QueryFaces(boxMin, boxMax, result);
    phCollisionConvexPolygon& face = soup->FaceObject();
    FaceCursor cursor(result, face);
    std::uint8_t marks[kMaxContactCapacity];
    int count = 0;
    int attribute = 0;
    while (cursor.Next(attribute)) {
        float best = INFINITY;
        phVec4 closest = {};
        for (int i = 1; i + 1 < face.Count(); ++i) {
            const phVec4 q = ClosestPointOnTriangle(c, face.Vertex(0), face.Vertex(i), face.Vertex(i + 1));
            const float d2 = phLengthSq(c - q);
            if (d2 < best) {
                best = d2;
                closest = q;
            }
        }
        if (r * r < best) {
            continue;
        }
        const phVec4 front = FaceFrontNormal(face);
        face.CopyVertices(front);
        const phVec4 d = c - closest;
        const float len = phLength(d);
        const float s = len - r;
        if (!(s < -kMinOverlap)) {
            continue;
        }
        // A centre in the face plane takes the face's own normal.
        const phVec4 normal = len > 1e-12f ? d * (1.0f / len) : front;
        phVec4 worldNormal = phRotate(pm, normal);
        worldNormal.w = 0.0f;
        Write(out[count], phTransformPoint(pm, c - normal * (r + s * 0.5f)), worldNormal, static_cast<std::int64_t>(attribute),
              Depth(s));
        phVec4 faceNormal = phRotate(pm, front);
        faceNormal.w = 0.0f;
        count = FilterFaceContacts(faceNormal, count, count + 1, out, marks);
        if (count >= capacity) {
            count = phThinContacts(out, count, 1, 0.01f, marks);
        }
    }
    if (count >= 2) {
        count = PruneEdgeContacts(count, out, marks);
    }
    return count;
}

int ContactsConvexPolygons(phPhysWorld*, phRigidBody* polygon, phRigidBody* convexBody, phContactRecord* out,
                           int capacity)
{
    phCollisionPolygonalSoup* soup = Soup(polygon);
    const phConvexCollision* convex = Convex(convexBody);
    if (soup == nullptr || convex == nullptr || capacity <= 0) {
        return 0;
    }
    capacity = Clamp(capacity);
    const phMat4 toPolygon = phMultiply(convexBody->collisionMatrix, InverseRigid(polygon->collisionMatrix));
    phVec4 boxMin, boxMax;
    convex->CalcAABB(toPolygon, boxMin, boxMax);
    return ConvexPolygonsLoop(polygon, convexBody, convex, soup, toPolygon, boxMin, boxMax, out, capacity);
}

int ContactsConvexPolygonsContinuous(phPhysWorld*, float& time, phRigidBody* convexBody, phRigidBody* polygon,
                                     phContactRecord* out, int capacity)
{
    phCollisionPolygonalSoup* soup = Soup(polygon);
    const phConvexCollision* convex = Convex(convexBody);
    if (soup == nullptr || convex == nullptr || capacity <= 0) {
        return 0;
    }
    capacity = Clamp(capacity);
    const phMat4& pm = polygon->collisionMatrix;
    const phMat4& cm = convexBody->collisionMatrix;
    const phMat4 toPolygon = phMultiply(cm, InverseRigid(pm));
    phVec4 boxMin, boxMax;
    convex->CalcAABB(toPolygon, boxMin, boxMax);
    if (time > 1.0f) {
        time = 1.0f;
    }

    phVec4 v, w;
    convexBody->PredictVelocities(time, v, w);
    v.w = 0.0f;
    const float speed2 = phLengthSq(v);
    bool sweep = speed2 > 0.5f;
    if (sweep) {
        const float speed = std::sqrt(speed2);
        phVec4 dir = phUnrotate(cm, v * (1.0f / speed));
        dir.w = 0.0f;
        const float extent = phDot(convex->SupportVertex(dir) - convex->SupportVertex(-dir), dir);
        sweep = 0.25f * extent < speed * time;
    }
    if (!sweep) {
        time = 0.0f;
        return ConvexPolygonsLoop(polygon, convexBody, convex, soup, toPolygon, boxMin, boxMax, out, capacity);
    }

    convexBody->flags &= ~phRigidBody::kFlagEquilibrium;
    const float spinW = convexBody->omega.w;
    convexBody->omega = convexBody->omega * 0.9f;
    convexBody->omega.w = spinW;

    // Widen the box along the travel, taken into the polygon's space where
    // the box is: the world-space travel, used as it is, widens a turned
    // polygon body's box along the wrong axes and misses its faces.
    phVec4 travel = phUnrotate(pm, v * time);
    for (int a = 0; a < 3; ++a) {
        const float ext = 0.3f * (boxMax[a] - boxMin[a]);
        const float m = travel[a];
        if (std::fabs(m) > ext) {
            if (m > 0.0f) {
                boxMax[a] += m - ext;
            } else {
                boxMin[a] += m + ext;
            }
        }
    }
    phFaceQueryResult result;
    soup->QueryFaces(boxMin, boxMax, result);
    phCollisionConvexPolygon& face = soup->FaceObject();
    FaceCursor cursor(result, face);

    phVec4 pv, pw;
    polygon->PredictVelocities(time, pv, pw);
    phVec4 rel = phUnrotate(cm, pv - v);
    rel.w = 0.0f;
    phMinkowskiSolver solver;
    float tMin = time;
    int count = 0;
    int attribute = 0;
    while (count < capacity && cursor.Next(attribute)) {
        // Accepted when some of the convex lies in front of the face.
        const phVec4 n = FaceFrontNormal(face);
        phVec4 dir = phUnrotate(toPolygon, n);
        dir.w = 0.0f;
        const phVec4 p = phTransformPoint(toPolygon, convex->SupportVertex(dir));
        if (phDot(n, p - face.Vertex(0)) < 0.0f) {
            continue;
        }
        face.CopyVertices(n);
        solver.Setup(convex, cm, &face, pm);
        float t = tMin;
        const int found = solver.ContinuousContacts(t, rel, static_cast<std::int64_t>(attribute), out + count, capacity - count);
        tMin = t < tMin ? t : tMin;
        count += found;
        if (capacity - count < 2) {
            count = phThinContacts(out, count, capacity / 4, 0.01f);
        }
    }
    time = tMin;
    return count;
}

int FilterFaceContacts(const phVec4& faceNormal, int first, int count, phContactRecord* records, std::uint8_t* marks)
{
    int i = first;
    while (i < count) {
        const float c = phDot(records[i].normal, faceNormal);
        if (c < 0.1f) {
            records[i] = records[--count];
            continue;
        }
        marks[i] = c < 0.999f ? 1 : 0;
        ++i;
    }
    return count;
}

int PruneEdgeContacts(int count, phContactRecord* records, std::uint8_t* marks)
{
    // Face contacts first.
    int split = 0;
    for (int i = 0; i < count; ++i) {
        if (marks[i] == 0) {
            if (i != split) {
                const phContactRecord r = records[i];
                records[i] = records[split];
                records[split] = r;
                const std::uint8_t m = marks[i];
                marks[i] = marks[split];
                marks[split] = m;
            }
            ++split;
        }
    }
    if (split == 0 || split == count) {
        return count;
    }
    int i = split;
    while (i < count) {
        bool near = false;
        for (int j = 0; j < split && !near; ++j) {
            near = phLengthSq(records[i].point - records[j].point) < 0.04f;
        }
        if (near) {
            records[i] = records[count - 1];
            marks[i] = marks[count - 1];
            --count;
            continue;
        }
        ++i;
    }
    return count;
}
