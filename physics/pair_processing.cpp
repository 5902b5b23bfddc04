// Pair processing: which overlapping bodies may touch, their material, and
// the contact constraint that holds their points.
#include <cmath>

#include "physics/contact_reduction.h"
#include "physics/contacts.h"
#include "physics/world.h"

namespace {

// Marks bodies during the joint walk; cleared before the walk returns.
constexpr std::uint32_t kWalkMark = 1u << 8;

constexpr int kReducedPoints = 16;
constexpr float kThinTolerance = 0.01f;
constexpr float kDuplicateSq = 2.5e-5f;  // 0.005²
constexpr float kReusePenetration = 0.0005f;
constexpr float kReuseDriftSq = 1e-6f;
constexpr float kCollinearSq = 1e-4f;
constexpr float kSameRecordSq = 1e-6f;

phVec4 Dir(const phVec4& v) { return {v.x, v.y, v.z, 0.0f}; }

phVec4 Normalised(const phVec4& v)
{
    const float len = phLength(v);
    return len > 0.0f ? Dir(v * (1.0f / len)) : phVec4{0.0f, 0.0f, 0.0f, 0.0f};
}

// The point in the body's own frame (rows of its matrix), w = 1.
phVec4 ToLocal(const phRigidBody* body, const phVec4& p)
{
    const phVec4 d = p - body->matrix[3];
    return {phDot(d, body->matrix[0]), phDot(d, body->matrix[1]), phDot(d, body->matrix[2]), 1.0f};
}

phVec4 PointVelocity(const phRigidBody* body, const phVec4& p)
{
    if (body == nullptr) {
        return {};
    }
    return body->velocity + phCross(body->omega, p - body->globalCentre);
}

// Drops each point within 0.005 of a point kept before it.
int DropDuplicates(phContactRecord* points, int n)
{
    int kept = 0;
    for (int i = 0; i < n; ++i) {
        bool close = false;
        for (int j = 0; j < kept && !close; ++j) {
            close = phLengthSq(points[i].point - points[j].point) < kDuplicateSq;
        }
        if (!close) {
            if (kept != i) {
                points[kept] = points[i];
            }
            ++kept;
        }
    }
    return kept;
}

int Reduce(phContactRecord* points, int n)
{
    if (n > kReducedPoints) {
        n = phThinContacts(points, n, kReducedPoints, kThinTolerance);
    }
    return DropDuplicates(points, n);
}

bool ConvexBody(const phRigidBody* body, std::uint32_t convexId)
{
    return body->collision != nullptr && body->collision->IsType(convexId);
}

}  // namespace

bool phPhysWorld::JointsKeepApart(phRigidBody* b0, phRigidBody* b1)
{
    if (((b0->flags | b1->flags) & phRigidBody::kFlagCollideLinked) == 0) {
        // Bodies joined through a chain of linking joints never collide.
        phRigidBody* start = b0->IsImmovable() ? b1 : b0;
        phRigidBody* other = start == b0 ? b1 : b0;
        phRigidBody* stored[kMaxJointWalk];
        phRigidBody* marked[kMaxJointWalk * 2];
        int storedCount = 0;
        int markedCount = 0;
        int top = 0;
        phRigidBody* stack[kMaxJointWalk];
        start->flags |= kWalkMark;
        marked[markedCount++] = start;
        stored[storedCount++] = start;
        stack[top++] = start;
        while (top > 0) {
            phRigidBody* body = stack[--top];
            const phConstraintLink* first = body->constraints;
            const phConstraintLink* link = first;
            while (link != nullptr) {
                phRigidBody* next = link->other;
                if (next != nullptr && (next->flags & kWalkMark) == 0 && markedCount < kMaxJointWalk * 2) {
                    next->flags |= kWalkMark;
                    marked[markedCount++] = next;
                    if (link->constraint->IsJointGraphLink() && storedCount < kMaxJointWalk) {
                        stored[storedCount++] = next;
                        if (top < kMaxJointWalk) {
                            stack[top++] = next;
                        }
                    }
                }
                link = link->next;
                if (link == first) {
                    break;
                }
            }
        }
        for (int i = 0; i < markedCount; ++i) {
            marked[i]->flags &= ~kWalkMark;
        }
        for (int i = 0; i < storedCount; ++i) {
            if (stored[i] == other) {
                return true;
            }
        }
        return false;
    }
    // A joint directly between the two keeps them apart unless it allows it.
    // Both bodies list it; the ring of a static body (the ground) holds a
    // link for everything resting on it, so the movable one's is walked.
    phRigidBody* near = b0->IsImmovable() ? b1 : b0;
    const phRigidBody* far = near == b0 ? b1 : b0;
    const phConstraintLink* first = near->constraints;
    const phConstraintLink* link = first;
    while (link != nullptr) {
        const phConstraint* c = link->constraint;
        if (link->other == far && c->classId != phConstraint::kClassContact && c->flagBytes[0] == 0) {
            return true;
        }
        link = link->next;
        if (link == first) {
            break;
        }
    }
    return false;
}

void phPhysWorld::ProcessPair(phRigidBody* b0, phRigidBody* b1)
{
    if (b0 == nullptr || b1 == nullptr || b0 == b1 || JointsKeepApart(b0, b1)) {
        return;
    }
    phMaterialPair* pair = FindMaterialPair(b0->materialGroup, b1->materialGroup);
    if (pair == nullptr || (pair->flags & phMaterialPair::kCollide) == 0) {
        return;
    }
    if (pair->beginCallback != nullptr && pair->beginCallback(pair, b0, b1) == 0) {
        return;
    }
    const std::uint32_t keep0 = b0->flags;
    const std::uint32_t keep1 = b1->flags;
    if ((pair->flags & phMaterialPair::kAllowContinuous) == 0) {
        b0->flags &= ~phRigidBody::kFlagContinuous;
        b1->flags &= ~phRigidBody::kFlagContinuous;
    }
    // Compound shapes are never built here, so only the convex case runs.
    if (ConvexBody(b0, m_classIds.convex)) {
        ConvexCase(b0, b1, *pair);
    } else if (ConvexBody(b1, m_classIds.convex)) {
        ConvexCase(b1, b0, *pair);
    }
    if (pair->endCallback != nullptr) {
        pair->endCallback(pair);
    }
    // The callbacks may have changed other flags; only the continuous bit
    // goes back.
    b0->flags = (b0->flags & ~phRigidBody::kFlagContinuous) | (keep0 & phRigidBody::kFlagContinuous);
    b1->flags = (b1->flags & ~phRigidBody::kFlagContinuous) | (keep1 & phRigidBody::kFlagContinuous);
}

void phPhysWorld::ConvexCase(phRigidBody* b0, phRigidBody* b1, phMaterialPair& pair)
{
    phContactConstraint* contact = nullptr;
    const int reused = ReuseContacts(b0, b1, contact);
    if (reused > 0) {
        RefreshContacts(contact, reused, pair);
        return;
    }
    if (m_pairBufferBusy) {
        // A callback of the pair below processed another pair.
        phContactRecord buffer[kPairBuffer];
        CalculateAndBuild(b0, b1, pair, buffer);
        return;
    }
    m_pairBufferBusy = true;
    CalculateAndBuild(b0, b1, pair, m_pairBuffer);
    m_pairBufferBusy = false;
}

void phPhysWorld::CalculateAndBuild(phRigidBody* b0, phRigidBody* b1, phMaterialPair& pair, phContactRecord* buffer)
{
    float time = m_timeStep;
    int n = 0;
    if (ConvexBody(b1, m_classIds.convex)) {
        n = CalculateConvexContacts(time, b0, b1, buffer, kPairBuffer);
    } else {
        n = CalculatePolygonContacts(this, time, b0, b1, buffer, kPairBuffer);
    }
    if (n > 0) {
        n = Reduce(buffer, n);
        BuildContacts(b0, b1, buffer, n, pair);
    }
}

int phPhysWorld::ReuseContacts(phRigidBody* b0, phRigidBody* b1, phContactConstraint*& outContact)
{
    phContactConstraint* c = FindContact(b0, b1);
    outContact = c;
    bool vehicle = false;
    for (phRigidBody* body : {b0, b1}) {
        if (body->collision != nullptr && (body->collision->GetFlags() & phCollision::kFlagVehicle) != 0) {
            vehicle = vehicle || (body->flags & phRigidBody::kFlagEquilibrium) != 0;
            body->flags &= ~phRigidBody::kFlagEquilibrium;
        }
    }
    if (vehicle || c == nullptr) {
        return 0;
    }
    const bool bothAtRest = (b0->flags & b1->flags & phRigidBody::kFlagEquilibrium) != 0;
    int n = c->maxRows / 3;
    n = n < static_cast<int>(c->count) ? n : static_cast<int>(c->count);
    if (c->maxRows < 9 || c->count == 0) {
        return bothAtRest ? n : 0;
    }
    if (bothAtRest) {
        return n;
    }
    phRigidBody* bodies[2] = {c->child, c->parent};
    phContactNode* node = c->last;
    for (int i = 0; i < n; ++i, node = node->prev) {
        phContactRecord& r = node->material.contact;
        if (r.penetration > kReusePenetration) {
            return 0;
        }
        phVec4 p0 = bodies[0] != nullptr ? phTransformPoint(bodies[0]->matrix, r.local0) : r.point;
        phVec4 p1 = bodies[1] != nullptr ? phTransformPoint(bodies[1]->matrix, r.local1) : r.point;
        r.point = (p0 + p1) * 0.5f;
        r.point.w = 1.0f;
        if (!(phLengthSq(p0 - p1) <= kReuseDriftSq)) {
            return 0;
        }
    }
    // Points that make a line (or one point) do not hold a body: recompute.
    node = c->last;
    const phVec4 p0 = node->material.contact.point;
    phVec4 pf = p0;
    float farthest = 0.0f;
    phContactNode* walk = node->prev;
    for (int i = 1; i < n; ++i, walk = walk->prev) {
        const float d = phLengthSq(walk->material.contact.point - p0);
        if (d > farthest) {
            farthest = d;
            pf = walk->material.contact.point;
        }
    }
    const phVec4 d = Dir(pf - p0);
    const float dd = phLengthSq(d);
    walk = node->prev;
    for (int i = 1; i < n; ++i, walk = walk->prev) {
        const phVec4 p = walk->material.contact.point;
        phVec4 q = p0;
        if (dd > 0.0f) {
            q = p0 + d * (phDot(p - p0, d) / dd);
        }
        if (phLengthSq(p - q) > kCollinearSq) {
            return n;
        }
    }
    return 0;
}

void phPhysWorld::RefreshContacts(phContactConstraint* c, int n, phMaterialPair& pair)
{
    c->activeCount = static_cast<std::uint32_t>(n);
    c->refreshStamp = stepStamp;
    phContactNode* node = c->last;
    for (int i = 0; i < n && node != nullptr; ++i, node = node->prev) {
        node->material.TakeSurfaceFrom(pair);
        if (pair.processCallback != nullptr) {
            pair.processCallback(&node->material, c);
        }
    }
}

void phPhysWorld::BuildContacts(phRigidBody* b0, phRigidBody* b1, phContactRecord* points, int n,
                                phMaterialPair& pair)
{
    bool negate = false;
    if (b0->IsImmovable()) {
        phRigidBody* t = b0;
        b0 = b1;
        b1 = t;
        negate = true;
    }
    phContactConstraint* c = FindContact(b0, b1);
    if (c != nullptr) {
        if (c->child != b0) {
            negate = !negate;
            b1 = b0;
            b0 = c->child;
        }
    } else {
        c = CreateContact();
        if (c == nullptr) {
            return;
        }
        if (!AttachConstraint(c, b0, b1)) {
            c->CallDestructionCallback();
            return;
        }
    }
    c->activeCount = 0;
    c->refreshStamp = stepStamp;
    for (int i = 0; i < n && c->activeCount < phContactConstraint::kMaxActive; ++i) {
        const phContactRecord& src = points[i];
        phContactNode* node = nullptr;
        const std::uint32_t inactive = c->count - c->activeCount;
        if (inactive == 0) {
            node = c->AppendNode();
            if (node == nullptr) {
                break;
            }
        } else {
            float best = INFINITY;
            phContactNode* m = c->first;
            for (std::uint32_t k = 0; k < inactive; ++k, m = m->next) {
                const float d = phLengthSq(m->material.contact.point - src.point);
                if (node == nullptr || d < best) {
                    best = d;
                    node = m;
                }
                if (d < kSameRecordSq) {
                    break;
                }
            }
        }
        phMaterialPair& mat = node->material;
        phContactRecord& r = mat.contact;
        const bool flip = src.body0 != b0;
        r.point = src.point;
        r.normal = negate ? -src.normal : src.normal;
        r.normal.w = 0.0f;
        r.body0 = b0;
        r.body1 = b1;
        r.collision0 = flip ? src.collision1 : src.collision0;
        r.collision1 = flip ? src.collision0 : src.collision1;
        r.userId = src.userId;
        r.penetration = src.penetration;
        mat.TakeSurfaceFrom(pair);

        const phVec4 n0 = r.normal;
        phVec4 v = PointVelocity(b1, r.point) - PointVelocity(b0, r.point);
        v = Dir(v - n0 * phDot(v, n0));
        if (phLengthSq(v) > 0.01f) {
            mat.tangent0 = Normalised(v);
        } else {
            const phVec4 u = std::fabs(n0.z) <= 0.577f ? phVec4{-n0.y, n0.x, 0.0f, 0.0f}
                                                       : phVec4{-n0.y, n0.z, 0.0f, 0.0f};
            mat.tangent0 = Normalised(phCross(n0, u));
        }
        mat.tangent1 = Dir(phCross(n0, mat.tangent0));

        if (pair.processCallback != nullptr && pair.processCallback(&mat, c) == 0) {
            continue;
        }
        if ((mat.flags & phMaterialPair::kCollide) == 0) {
            continue;
        }
        ++c->activeCount;
        r.local0 = ToLocal(b0, r.point);
        r.local1 = b1 != nullptr ? ToLocal(b1, r.point) : r.point;
        c->MoveToTail(node);
    }
    c->maxRows = static_cast<std::uint16_t>(3 * c->activeCount);
}
