#include "physics/world.h"

#include <cmath>
#include <new>

#include "physics/class_id.h"
#include "physics/collision_box.h"
#include "physics/collision_sphere.h"
#include "physics/maths.h"
#include "physics/row_solver.h"
#include "physics/simd_probe.h"

#if defined(__i386__) || defined(__x86_64__)
#include <fpu_control.h>
#define PH_HAVE_X87 1
#endif

namespace {

std::uintptr_t KeyOf(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }
// Body sets are ordered by creation, never by address, so a scene steps the
// same whatever the allocator handed out.
std::uintptr_t BodyKey(const phRigidBody* body) { return body->id; }

bool SameMatrix(const phMat4& a, const phMat4& b)
{
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            if (!(a[r][c] == b[r][c])) {
                return false;
            }
        }
    }
    return true;
}

// The step runs in single precision; code outside keeps its own setting.
class phPrecisionScope {
public:
    phPrecisionScope()
    {
#ifdef PH_HAVE_X87
        _FPU_GETCW(m_saved);
        fpu_control_t single = static_cast<fpu_control_t>((m_saved & ~_FPU_EXTENDED) | _FPU_SINGLE);
        _FPU_SETCW(single);
#endif
    }
    ~phPrecisionScope()
    {
#ifdef PH_HAVE_X87
        _FPU_SETCW(m_saved);
#endif
    }
    phPrecisionScope(const phPrecisionScope&) = delete;
    phPrecisionScope& operator=(const phPrecisionScope&) = delete;

private:
#ifdef PH_HAVE_X87
    fpu_control_t m_saved = 0;
#endif
};

}  // namespace

phPhysWorld::phPhysWorld()
{
    m_classIds = {phGetClassId(phClassIndex::CollisionBox),     phGetClassId(phClassIndex::CollisionNull),
                  phGetClassId(phClassIndex::CollisionCone),    phGetClassId(phClassIndex::CollisionSphere),
                  phGetClassId(phClassIndex::ConvexCollision),  phGetClassId(phClassIndex::CollisionEllipse),
                  phGetClassId(phClassIndex::CollisionCapsule), phGetClassId(phClassIndex::CollisionCylinder),
                  phGetClassId(phClassIndex::CollisionConvexHull),
                  phGetClassId(phClassIndex::CollisionChamferCylinder),
                  phGetClassId(phClassIndex::CollisionConvexModifier),
                  phGetClassId(phClassIndex::CompoundCollision),
                  phGetClassId(phClassIndex::CollisionPolygonalSoup)};
    m_defaultGroup = CreateMaterialGroup();
    m_broadphase.SetWorld(this);
    m_broadphase.SetPairHandler(&phPhysWorld::PairThunk, this);
    m_broadphase.SetWorldSize({-100.0f, -100.0f, -100.0f, 1.0f}, {100.0f, 100.0f, 100.0f, 1.0f});
    simd = HasSimdUnit();
    m_solver = phSolverWorkspace::Create();
    m_defaultCollision = phCollisionPointShape::Create();
}

phPhysWorld::~phPhysWorld()
{
    while (BodyTree::Node* node = m_bodies.Minimum()) {
        DestroyBody(node->payload);
    }
    while (m_contactsFirst != nullptr) {
        m_contactsFirst->CallDestructionCallback();
    }
    RunReleaseQueue();
    while (CollisionCache::Node* node = m_collisionCache.Minimum()) {
        phCollision* c = node->payload;
        m_collisionCache.Remove(node);
        if (c != nullptr) {
            c->Release();
        }
    }
    if (m_defaultCollision != nullptr) {
        m_defaultCollision->Release();
    }
    phSolverWorkspace::Destroy(m_solver);
}

void phPhysWorld::PairThunk(void* context, phRigidBody* a, phRigidBody* b)
{
    static_cast<phPhysWorld*>(context)->ProcessPair(a, b);
}

void phPhysWorld::SetTimeStep(float dt)
{
    m_timeStep = dt;
    m_invTimeStep = dt > 0.0f ? 1.0f / dt : 0.0f;
}

// ---------------------------------------------------------------- bodies

phRigidBody* phPhysWorld::CreateBody(phCollision* collision)
{
    BodyStorage* slot = m_bodyPool.Alloc();
    if (slot == nullptr) {
        return nullptr;
    }
    auto* body = ::new (static_cast<void*>(slot)) phRigidBody(this, collision);
    body->id = ++m_lastBodyId;
    BodyTree::Node* node = m_bodies.Insert(BodyKey(body));
    if (node == nullptr) {
        body->~phRigidBody();
        m_bodyPool.Free(slot);
        return nullptr;
    }
    node->payload = body;
    body->materialGroup = m_defaultGroup;
    for (int i = 0; i < 4; ++i) {
        body->sleepThresholds[i] = defaultSleepThresholds[i];
    }
    ++m_bodyCount;
    m_broadphase.AddBody(body);
    body->SetMatrix(body->matrix);
    WakeBody(body);
    return body;
}

bool phPhysWorld::HoldsBody(const phRigidBody* body) const
{
    if (body == nullptr) {
        return false;
    }
    // Another world's body may carry the same id.
    const BodyTree::Node* node = m_bodies.Find(BodyKey(body));
    return node != nullptr && node->payload == body;
}

void phPhysWorld::DestroyBody(phRigidBody* body)
{
    if (body == nullptr) {
        return;
    }
    BodyTree::Node* node = m_bodies.Find(BodyKey(body));
    if (node == nullptr || node->payload != body) {
        return;
    }
    if (body->destructorCallback != nullptr) {
        body->destructorCallback(body);
    }
    m_broadphase.RemoveBody(body);
    --m_bodyCount;
    while (body->constraints != nullptr) {
        DetachConstraint(body->constraints->constraint);
    }
    if (body->awakeNode != nullptr) {
        if ((body->flags & phRigidBody::kFlagActive) != 0 && body->activationCallback != nullptr) {
            body->activationCallback(body, 0);
        }
        RemoveFromAwake(body);
    }
    if (BodyTree::Node* flagged = m_flagged.Find(BodyKey(body))) {
        m_flagged.Remove(flagged);
    }
    if (BodyTree::Node* pending = m_pendingBodies.Find(BodyKey(body))) {
        m_pendingBodies.Remove(pending);
    }
    m_bodies.Remove(node);
    // The body's destructor drops its reference to the collision.
    phCollision* collision = body->collision;
    body->collision = nullptr;
    body->~phRigidBody();
    m_bodyPool.Free(reinterpret_cast<BodyStorage*>(body));
    if (collision != nullptr) {
        ReleaseCollision(collision);
    }
}

void phPhysWorld::RequestDestroyBody(phRigidBody* body)
{
    if (!HoldsBody(body)) {
        return;
    }
    if (m_insideUpdate) {
        if (BodyTree::Node* node = m_pendingBodies.Insert(BodyKey(body))) {
            node->payload = body;
        }
        return;
    }
    DestroyBody(body);
}

void phPhysWorld::WakeBody(phRigidBody* body)
{
    if (body->awakeNode != nullptr) {
        return;
    }
    BodyTree::Node* node = m_awake.Insert(BodyKey(body));
    if (node == nullptr) {
        return;
    }
    node->payload = body;
    body->awakeNode = node;
    if ((body->flags & phRigidBody::kFlagActive) == 0) {
        body->flags |= phRigidBody::kFlagActive;
        if (body->activationCallback != nullptr) {
            body->activationCallback(body, 1);
        }
    }
}

void phPhysWorld::RemoveFromAwake(phRigidBody* body)
{
    if (body->awakeNode != nullptr) {
        m_awake.Remove(body->awakeNode);
        body->awakeNode = nullptr;
    }
}

// ---------------------------------------------------------------- materials

std::uint32_t phPhysWorld::CreateMaterialGroup()
{
    const std::uint32_t g = m_nextGroup;
    // Keys hold 16 bits per group.
    if (g > 0xFFFFu) {
        return m_defaultGroup;
    }
    for (std::uint32_t j = 0; j <= g; ++j) {
        if (m_materials.Insert(phMaterialKey(g, j)) == nullptr) {
            return m_defaultGroup;
        }
    }
    ++m_nextGroup;
    return g;
}

phMaterialPair* phPhysWorld::FindMaterialPair(std::uint32_t a, std::uint32_t b)
{
    if (a > 0xFFFFu || b > 0xFFFFu) {
        return nullptr;
    }
    MaterialTree::Node* node = m_materials.Find(phMaterialKey(a, b));
    return node != nullptr ? &node->payload : nullptr;
}

// ---------------------------------------------------------------- constraints

phConstraintLink* phPhysWorld::NewLink()
{
    void* storage = m_linkPool.Alloc();
    return storage != nullptr ? ::new (storage) phConstraintLink() : nullptr;
}

void phPhysWorld::FreeLink(phConstraintLink* link)
{
    link->~phConstraintLink();
    m_linkPool.Free(link);
}

bool phPhysWorld::AttachConstraint(phConstraint* c, phRigidBody* b0, phRigidBody* b1)
{
    if (c == nullptr || b0 == nullptr) {
        return false;
    }
    phConstraintLink* l0 = NewLink();
    phConstraintLink* l1 = b1 != nullptr ? NewLink() : nullptr;
    if (l0 == nullptr || (b1 != nullptr && l1 == nullptr)) {
        if (l0 != nullptr) {
            FreeLink(l0);
        }
        return false;
    }
    c->child = b0;
    c->parent = b1;
    c->link = l0;
    c->counter = 0;
    c->stamp = 0;
    c->secondStamp = 0;
    phConstraintLink* links[2] = {l0, l1};
    phRigidBody* bodies[2] = {b0, b1};
    for (int i = 0; i < 2; ++i) {
        phConstraintLink* link = links[i];
        phRigidBody* body = bodies[i];
        if (link == nullptr) {
            continue;
        }
        link->partner = links[1 - i];
        link->other = bodies[1 - i];
        link->constraint = c;
        body->flags = body->IsImmovable() ? (body->flags | phRigidBody::kFlagEquilibrium)
                                          : (body->flags & ~phRigidBody::kFlagEquilibrium);
        if (body->constraints == nullptr) {
            link->next = link->prev = link;
            body->constraints = link;
        } else {
            phConstraintLink* head = body->constraints;
            link->next = head;
            link->prev = head->prev;
            head->prev->next = link;
            head->prev = link;
        }
    }
    ++m_constraintCount;
    return true;
}

void phPhysWorld::Unlink(phRigidBody* body, phConstraintLink* link)
{
    if (link->next == link) {
        body->constraints = nullptr;
    } else {
        link->prev->next = link->next;
        link->next->prev = link->prev;
        if (body->constraints == link) {
            body->constraints = link->next;
        }
    }
    FreeLink(link);
}

void phPhysWorld::DetachConstraint(phConstraint* c)
{
    if (c == nullptr || c->link == nullptr) {
        return;
    }
    --m_constraintCount;
    phRigidBody* bodies[2] = {c->child, c->parent};
    for (phRigidBody* body : bodies) {
        if (body == nullptr) {
            continue;
        }
        body->flags = body->IsImmovable() ? (body->flags | phRigidBody::kFlagEquilibrium)
                                          : (body->flags & ~phRigidBody::kFlagEquilibrium);
        // Immovable bodies have nothing to wake for.
        if ((body->flags & phRigidBody::kFlagAutoSleep) != 0 && body->awakeNode == nullptr && !body->IsImmovable()) {
            WakeBody(body);
        }
    }
    phConstraintLink* l0 = c->link;
    phConstraintLink* l1 = l0->partner;
    Unlink(c->child, l0);
    if (l1 != nullptr && c->parent != nullptr) {
        Unlink(c->parent, l1);
    }
    c->link = nullptr;
    if (ConstraintTree::Node* pending = m_pendingConstraints.Find(KeyOf(c))) {
        m_pendingConstraints.Remove(pending);
    }
    c->CallDestructionCallback();
}

void phPhysWorld::RequestDestroyConstraint(phConstraint* c)
{
    if (c == nullptr || c->link == nullptr) {
        return;
    }
    if (m_insideUpdate) {
        if (ConstraintTree::Node* node = m_pendingConstraints.Insert(KeyOf(c))) {
            node->payload = c;
        }
        return;
    }
    DetachConstraint(c);
}

int phPhysWorld::CollectIsland(phConstraint* start, phConstraint** out, int limit)
{
    if (start == nullptr || out == nullptr || limit <= 0) {
        return 0;
    }
    // The array doubles as the work list: each stored constraint is expanded
    // in turn through its movable bodies.
    int count = 0;
    start->walkMark = 1;
    out[count++] = start;
    for (int next = 0; next < count; ++next) {
        phConstraint* c = out[next];
        for (phRigidBody* body : {c->child, c->parent}) {
            if (body == nullptr || body->IsImmovable()) {
                continue;
            }
            const phConstraintLink* first = body->constraints;
            for (const phConstraintLink* link = first; link != nullptr && count < limit;
                 link = link->next == first ? nullptr : link->next) {
                phConstraint* reached = link->constraint;
                if (reached->walkMark == 0) {
                    reached->walkMark = 1;
                    out[count++] = reached;
                }
            }
        }
    }
    for (int i = 0; i < count; ++i) {
        out[i]->walkMark = 0;
    }
    return count;
}

void phPhysWorld::QueueRelease(phConstraint* joint)
{
    if (joint != nullptr) {
        m_releaseQueue.Append(joint);
    }
}

void phPhysWorld::RunReleaseQueue()
{
    while (phList<phConstraint*>::Node* node = m_releaseQueue.First()) {
        phConstraint* c = node->payload;
        m_releaseQueue.Remove(node);
        if (c->classId == phConstraint::kClassVehicle) {
            m_jointPools.vehicle.Free(static_cast<VehicleJoint*>(c));
            continue;
        }
        auto* joint = static_cast<phJoint*>(c);
        switch (joint->type) {
        case phJoint::Type::Ball:
            m_jointPools.ball.Free(static_cast<BallJoint*>(joint));
            break;
        case phJoint::Type::Hinge:
            m_jointPools.hinge.Free(static_cast<HingeJoint*>(joint));
            break;
        case phJoint::Type::Slider:
            m_jointPools.slider.Free(static_cast<SliderJoint*>(joint));
            break;
        case phJoint::Type::Cylinder:
            m_jointPools.cylinder.Free(static_cast<CylinderJoint*>(joint));
            break;
        case phJoint::Type::Cross:
            m_jointPools.cross.Free(static_cast<CrossJoint*>(joint));
            break;
        case phJoint::Type::Align:
            m_jointPools.align.Free(static_cast<AlignJoint*>(joint));
            break;
        }
    }
}

// ---------------------------------------------------------------- contacts

phContactConstraint* phPhysWorld::CreateContact()
{
    void* storage = m_contactPool.Alloc();
    if (storage == nullptr) {
        return nullptr;
    }
    auto* c = ::new (storage) phContactConstraint(this, &m_contactNodes);
    c->worldPrev = m_contactsLast;
    if (m_contactsLast != nullptr) {
        m_contactsLast->worldNext = c;
    } else {
        m_contactsFirst = c;
    }
    m_contactsLast = c;
    ++m_contactCount;
    c->Reset();
    c->maxRows = 3;
    c->classId = phConstraint::kClassContact;
    c->flagBytes[0] = 1;
    c->refreshStamp = 0;
    c->activeCount = 0;
    return c;
}

void phPhysWorld::RemoveContact(phContactConstraint* c)
{
    if (c->worldPrev != nullptr) {
        c->worldPrev->worldNext = c->worldNext;
    } else {
        m_contactsFirst = c->worldNext;
    }
    if (c->worldNext != nullptr) {
        c->worldNext->worldPrev = c->worldPrev;
    } else {
        m_contactsLast = c->worldPrev;
    }
    --m_contactCount;
    c->~phContactConstraint();
    m_contactPool.Free(c);
}

phContactConstraint* phPhysWorld::FindContact(const phRigidBody* b0, const phRigidBody* b1) const
{
    if (b0 == nullptr || b0->constraints == nullptr) {
        return nullptr;
    }
    // A pair has one contact, listed by both bodies; a static body (the
    // ground) lists everything resting on it, so the movable one's ring is
    // the short one to walk.
    if (b1 != nullptr && b0->IsImmovable() && !b1->IsImmovable()) {
        const phRigidBody* t = b0;
        b0 = b1;
        b1 = t;
        if (b0->constraints == nullptr) {
            return nullptr;
        }
    }
    const phConstraintLink* first = b0->constraints;
    const phConstraintLink* link = first;
    do {
        if (link->other == b1 && link->constraint != nullptr &&
            link->constraint->classId == phConstraint::kClassContact) {
            return static_cast<phContactConstraint*>(link->constraint);
        }
        link = link->next;
    } while (link != first);
    return nullptr;
}

void phPhysWorld::ReleasePair(phContactConstraint* c)
{
    c->touched = 0;
    if (c->refreshStamp != stepStamp) {
        DetachConstraint(c);
    }
}

// ---------------------------------------------------------------- step

void phPhysWorld::Update(float dt)
{
    if (!IsComplete()) {
        return;
    }
    m_insideUpdate = true;
    Step(dt);
    RunReleaseQueue();
    m_insideUpdate = false;
    while (ConstraintTree::Node* node = m_pendingConstraints.Minimum()) {
        phConstraint* c = node->payload;
        m_pendingConstraints.Remove(node);
        DetachConstraint(c);
    }
    while (BodyTree::Node* node = m_pendingBodies.Minimum()) {
        phRigidBody* body = node->payload;
        m_pendingBodies.Remove(node);
        DestroyBody(body);
    }
}

void phPhysWorld::Step(float dt)
{
    m_inStep = true;
    bodiesHandled = 0;
    {
        phPrecisionScope precision;
        SetTimeStep(dt);
        m_broadphase.UpdatePairs();
        m_solver->UpdateIslands(*this);
    }
    m_inStep = false;
}

// ---------------------------------------------------------------- box cache

phCollision* phPhysWorld::CreateBox(float sx, float sy, float sz, const phMat4* offset)
{
    sx = std::fabs(sx);
    sy = std::fabs(sy);
    sz = std::fabs(sz);
    const phMat4& m = offset != nullptr ? *offset : GetIdentityMatrix();
    const std::uint32_t signature = phCollisionBox::MakeBoxSignature(sx, sy, sz, m);
    bool existed = false;
    CollisionCache::Node* node = m_collisionCache.Insert(signature, &existed);
    if (existed && node->payload != nullptr) {
        phCollision* cached = node->payload;
        // The signature is a hash: a hit counts only for the same box.
        if (cached->IsType(m_classIds.box)) {
            const phVec4& half = static_cast<phCollisionBox*>(cached)->GetHalfExtents();
            if (half.x == sx * 0.5f && half.y == sy * 0.5f && half.z == sz * 0.5f &&
                SameMatrix(cached->GetOffsetMatrix(), m)) {
                cached->AddRef();
                return cached;
            }
        }
        // A different shape under the same signature stays out of the cache.
        return phCollisionBox::Create(signature, sx, sy, sz, m);
    }
    phCollisionBox* box = phCollisionBox::Create(signature, sx, sy, sz, m);
    if (node == nullptr) {
        return box;
    }
    if (box == nullptr) {
        m_collisionCache.Remove(node);
        return nullptr;
    }
    node->payload = box;
    box->AddRef();
    return box;
}

void phPhysWorld::ReleaseCollision(phCollision* c)
{
    if (c == nullptr) {
        return;
    }
    if (c->GetRefCount() <= 1) {
        if (CollisionCache::Node* node = m_collisionCache.Find(c->GetStoredSignature())) {
            if (node->payload == c) {
                m_collisionCache.Remove(node);
            }
        }
        c->Release();
        return;
    }
    c->Release();
    if (c->GetRefCount() == 1) {
        CollisionCache::Node* node = m_collisionCache.Find(c->GetStoredSignature());
        if (node != nullptr && node->payload == c) {
            m_collisionCache.Remove(node);
            c->Release();
        }
    }
}
