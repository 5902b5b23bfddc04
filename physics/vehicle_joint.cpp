#include "physics/vehicle_joint.h"

#include <cmath>
#include <new>

#include "physics/contact_constraint.h"
#include "physics/fixed_size_allocator.h"
#include "physics/maths.h"
#include "physics/rigid_body.h"
#include "physics/vehicle_solver.h"
#include "physics/world.h"

namespace {

constexpr float kRadialSlack = 1e-12f;
constexpr float kMaxSpin = 400.0f;
constexpr float kTurn = 6.28318f;
constexpr float kSpinKeep = 0.9999f;
constexpr float kBrakeFloor = 1e-10f;
constexpr float kMaxDepth = 0.1f;
constexpr float kDepthGain = 0.5f;
constexpr float kRestitution = 1.1f;
constexpr float kMaxContactEpsilon = 0.5f;
constexpr float kTangentFloorSq = 0.0001f;
constexpr float kLongitudinalGrip = 3.0f;
constexpr float kLateralGrip = 2.0f;
constexpr float kTouchedScale = 0.1f;
constexpr float kTouchedShrink = 0.9f;
constexpr float kTouchedLimit = 2000.0f;
constexpr float kRestTolerance = 0.01f;

phVec4 Dir(const phVec4& v) { return {v.x, v.y, v.z, 0.0f}; }

phVec4 Normalised(const phVec4& v)
{
    const float len = phLength(v);
    return len > 0.0f ? Dir(v * (1.0f / len)) : phVec4{};
}

phFixedSizeAllocator* TireAllocator()
{
    static phFixedSizeAllocator* slot = nullptr;
    return phFixedSizeAllocator::Shared(&slot, sizeof(VehicleTire));
}

bool HasVehicle(const phRigidBody* body)
{
    const phConstraintLink* first = body->constraints;
    const phConstraintLink* link = first;
    while (link != nullptr) {
        if (link->constraint->classId == phConstraint::kClassVehicle) {
            return true;
        }
        link = link->next == first ? nullptr : link->next;
    }
    return false;
}

bool SamePair(const VehicleTireCache::Pair& p, const phContactRecord& r)
{
    return (p.body0 == r.body0 && p.collision0 == r.collision0 && p.body1 == r.body1 &&
            p.collision1 == r.collision1) ||
           (p.body0 == r.body1 && p.collision0 == r.collision1 && p.body1 == r.body0 &&
            p.collision1 == r.collision0);
}

}  // namespace

// ---------------------------------------------------------------- lifecycle

VehicleJoint::~VehicleJoint() { FreeTires(); }

VehicleJoint* VehicleJoint::Create(phPhysWorld& owner, phRigidBody* chassis, const phVec4& upAxis)
{
    if (chassis == nullptr || !owner.HoldsBody(chassis) || !(phLengthSq(upAxis) > 0.0f) || !phIsFinite(upAxis)) {
        return nullptr;
    }
    phObjectPool<VehicleJoint>& pool = owner.JointPools().vehicle;
    VehicleJoint* joint = pool.Alloc();
    if (joint == nullptr) {
        return nullptr;
    }
    joint->FreeTires();
    joint->phConstraint::Reset();
    joint->classId = kClassVehicle;
    joint->up = Normalised(upAxis);
    joint->rowParams = nullptr;
    joint->updateCallback = nullptr;
    joint->destructorCallback = nullptr;
    // Keyed by creation, so the vehicles' substeps run in one order every run.
    joint->substepKey = ++owner.lastSubstepKey;
    phPhysWorld::ConstraintTree::Node* entry = owner.Substepped().Insert(joint->substepKey);
    if (entry == nullptr || !owner.AttachConstraint(joint, chassis, nullptr)) {
        if (entry != nullptr) {
            owner.Substepped().Remove(entry);
        }
        pool.Free(joint);
        return nullptr;
    }
    entry->payload = joint;
    joint->world = &owner;
    if (chassis->collision != nullptr) {
        chassis->collision->SetVehicleFlag(true);
    }
    owner.WakeBody(chassis);
    return joint;
}

VehicleTire* VehicleJoint::AddTire(const VehicleTireDesc& desc, phCollision* collision, VehicleTireCache* cache)
{
    const float pinLength = phLength(desc.pin);
    if (collision == nullptr || cache == nullptr || tireCount >= kMaxTires || !(pinLength > 0.0f) ||
        !std::isfinite(pinLength)) {
        return nullptr;
    }
    phFixedSizeAllocator* allocator = TireAllocator();
    void* storage = allocator != nullptr ? allocator->Alloc() : nullptr;
    if (storage == nullptr) {
        return nullptr;
    }
    auto* tire = ::new (storage) VehicleTire();
    tire->localMatrix = desc.localMatrix;
    tire->baseMatrix = desc.baseMatrix;
    tire->pin = Dir(desc.pin * (1.0f / pinLength));
    tire->mass = desc.mass;
    tire->spinLimitFactor = desc.spinLimitFactor;
    tire->suspensionDamper = desc.suspensionDamper;
    tire->suspensionSpring = desc.suspensionSpring;
    tire->inverseMass = desc.inverseMass;
    tire->inverseInertia = desc.inverseInertia;
    tire->collision = collision;
    tire->cache = cache;
    collision->AddRef();
    collision->SetTireFlag(true);
    *cache = VehicleTireCache{};
    cache->matrix = phMultiply(desc.baseMatrix, desc.localMatrix);
    tire->prev = lastTire;
    if (lastTire != nullptr) {
        lastTire->next = tire;
    } else {
        firstTire = tire;
    }
    lastTire = tire;
    ++tireCount;
    return tire;
}

void VehicleJoint::RemoveFirstTire()
{
    VehicleTire* tire = firstTire;
    if (tire == nullptr) {
        return;
    }
    firstTire = tire->next;
    if (firstTire != nullptr) {
        firstTire->prev = nullptr;
    } else {
        lastTire = nullptr;
    }
    --tireCount;
    phCollision* collision = tire->collision;
    tire->~VehicleTire();
    TireAllocator()->Free(tire);
    if (collision != nullptr) {
        if (world != nullptr) {
            world->ReleaseCollision(collision);
        } else {
            collision->Release();
        }
    }
}

void VehicleJoint::FreeTires()
{
    while (firstTire != nullptr) {
        RemoveFirstTire();
    }
    tireCount = 0;
}

void VehicleJoint::CallDestructionCallback()
{
    phPhysWorld* owner = world;
    if (owner != nullptr) {
        if (auto* entry = owner->Substepped().Find(substepKey)) {
            owner->Substepped().Remove(entry);
        }
    }
    if (destructorCallback != nullptr) {
        destructorCallback(this);
    }
    FreeTires();
    phRigidBody* chassis = child;
    if (owner != nullptr) {
        owner->QueueRelease(this);
        if (chassis != nullptr) {
            if (auto* flagged = owner->Flagged().Find(chassis->id)) {
                owner->Flagged().Remove(flagged);
            }
        }
    }
    if (chassis != nullptr && chassis->collision != nullptr) {
        chassis->collision->SetVehicleFlag(false);
    }
}

// ---------------------------------------------------------------- contact collection

void VehicleJoint::CollectContacts()
{
    phRigidBody* chassis = child;
    if (chassis == nullptr) {
        return;
    }
    const phVec4 upWorld = Dir(phRotate(chassis->matrix, up));
    const phConstraintLink* first = chassis->constraints;

    // Whether a node of contact c belongs to the tire with collision tc.
    auto gathered = [&](const phContactRecord& r, const phCollision* tc) {
        const bool chassisFirst = r.body0 == chassis;
        const phCollision* own = chassisFirst ? r.collision0 : r.collision1;
        const phRigidBody* other = chassisFirst ? r.body1 : r.body0;
        if (own == nullptr || (own->GetFlags() & phCollision::kFlagTire) == 0) {
            return false;
        }
        if (other != nullptr && !other->IsImmovable() && HasVehicle(other)) {
            return false;
        }
        return r.collision0 == tc || r.collision1 == tc;
    };

    for (VehicleTire* tire = firstTire; tire != nullptr; tire = tire->next) {
        VehicleTireCache& cache = *tire->cache;
        struct Entry {
            phContactNode* node;
            phVec4 n;
            float key;
        };
        // The six largest keys, in decreasing order; later equal keys stand after.
        Entry best[VehicleTireCache::kRoom + 1];
        int bestCount = 0;
        const phMat4 toTire = phMultiply(cache.matrix, chassis->matrix);

        for (const phConstraintLink* link = first; link != nullptr;
             link = link->next == first ? nullptr : link->next) {
            if (link->constraint->classId != kClassContact) {
                continue;
            }
            auto* contact = static_cast<phContactConstraint*>(link->constraint);
            phContactNode* node = contact->last;
            for (std::uint32_t i = 0; i < contact->activeCount && node != nullptr; ++i, node = node->prev) {
                const phContactRecord& r = node->material.contact;
                if (!gathered(r, tire->collision)) {
                    continue;
                }
                // The normal as it pushes the tire off what it touches.
                phVec4 n = Dir(r.body0 == chassis ? -r.normal : r.normal);
                const phVec4 local = phUntransformPoint(toTire, r.point);
                if (phLengthSq(local) + kRadialSlack > cache.radiusSq) {
                    n = Normalised(phRotate(toTire, Normalised(local)));
                }
                const float key = -phDot(n, upWorld);
                int at = bestCount;
                while (at > 0 && best[at - 1].key < key) {
                    --at;
                }
                if (at >= VehicleTireCache::kRoom) {
                    continue;
                }
                const int last = bestCount < VehicleTireCache::kRoom ? bestCount : VehicleTireCache::kRoom - 1;
                for (int k = last; k > at; --k) {
                    best[k] = best[k - 1];
                }
                best[at] = {node, n, key};
                if (bestCount < VehicleTireCache::kRoom) {
                    ++bestCount;
                }
            }
        }

        cache.selectedCount = 0;
        cache.pairCount = 0;
        for (int k = 0; k < bestCount; ++k) {
            phMaterialPair& m = best[k].node->material;
            phContactRecord& r = m.contact;
            cache.selected[cache.selectedCount++] = &m;
            r.normal = {best[k].n.x, best[k].n.y, best[k].n.z, best[k].key};
            bool known = false;
            for (int p = 0; p < cache.pairCount && !known; ++p) {
                known = SamePair(cache.pairs[p], r);
            }
            if (!known) {
                cache.pairs[cache.pairCount++] = {r.body0, r.collision0, r.body1, r.collision1};
            }
        }

        // Every point of the tire leaves its contact's rows for this step.
        for (const phConstraintLink* link = first; link != nullptr;
             link = link->next == first ? nullptr : link->next) {
            if (link->constraint->classId != kClassContact) {
                continue;
            }
            auto* contact = static_cast<phContactConstraint*>(link->constraint);
            phContactNode* node = contact->last;
            std::uint32_t remaining = contact->activeCount;
            while (remaining > 0 && node != nullptr) {
                --remaining;
                phContactNode* prev = node->prev;
                if (gathered(node->material.contact, tire->collision)) {
                    contact->MoveToHead(node);
                    --contact->activeCount;
                    contact->maxRows = static_cast<std::uint16_t>(3 * contact->activeCount);
                }
                node = prev;
            }
        }

        for (int k = 0; k < cache.selectedCount; ++k) {
            const phMaterialPair& m = *cache.selected[k];
            VehicleTireCache::Copy& c = cache.copies[k];
            c.body0 = m.contact.body0;
            c.collision0 = m.contact.collision0;
            c.body1 = m.contact.body1;
            c.collision1 = m.contact.collision1;
            c.point = m.contact.point;
            c.normal = m.contact.normal;
            c.staticFriction[0] = m.staticFriction[0];
            c.staticFriction[1] = m.staticFriction[1];
            c.kineticFriction[0] = m.kineticFriction[0];
            c.kineticFriction[1] = m.kineticFriction[1];
            c.penetration = m.contact.penetration;
        }
        cache.copyCount = cache.selectedCount;
    }
}

// ---------------------------------------------------------------- row request

int VehicleJoint::BuildRows(phRowParams& params)
{
    phRigidBody* chassis = child;
    if (chassis == nullptr) {
        return 0;
    }
    const float h = params.timeStep;
    const float invH = params.invTimeStep;
    const phMat4 savedMatrix = chassis->matrix;
    const phVec4 a = chassis->force * chassis->invMass.w;
    const phVec4 u = Dir(phRotate(savedMatrix, up));
    const float g = phDot(a, u);
    for (VehicleTire* tire = firstTire; tire != nullptr; tire = tire->next) {
        tire->load = g * tire->mass;
        tire->driveTorque = 0.0f;
        tire->lateralRegularisation = 0.0f;
        tire->longitudinalRegularisation = 0.0f;
        tire->brakeTarget = 0.0f;
        tire->brakeLimit = 0.0f;
        tire->lateralSkidSpeed = 0.5f;
        tire->longitudinalSkidSpeed = 0.5f;
    }
    rowParams = &params;
    if (updateCallback != nullptr) {
        updateCallback(this);
    }
    const phVec4 savedVelocity = chassis->velocity;
    const phVec4 savedOmega = chassis->omega;
    const phVec4 savedCentre = chassis->globalCentre;
    const phQuat savedRotation = chassis->rotation;
    const float limit = kTouchedLimit * g * g;

    VehicleSolver solver;
    Solve(solver, h);
    chassis->Integrate(h);

    // Bodies under the tires get the reactions, scaled down (once and for
    // all the bodies after) so none is thrown harder than the limit allows.
    float s = kTouchedScale;
    for (int i = solver.firstTouched; i < solver.bodyCount; ++i) {
        VehicleSolver::Body& entry = solver.bodies[i];
        const float invMass = entry.body->invMass.w;
        const float f2 = phLengthSq(entry.forceAcc) * invMass * invMass;
        if (!std::isfinite(f2)) {
            continue;
        }
        if (!(limit > 0.0f)) {
            // A limit of 0 leaves nothing to hand on.
            s = 0.0f;
        }
        while (s > 0.0f && f2 * s * s >= limit) {
            s *= kTouchedShrink;
        }
        entry.body->force += entry.forceAcc * s;
        entry.body->torque += entry.torqueAcc * s;
    }

    for (VehicleTire* tire = firstTire; tire != nullptr; tire = tire->next) {
        VehicleTireCache& cache = *tire->cache;
        const phMat4 spin = MatrixFromQuaternion(phQuatFromAxisAngle(tire->pin, tire->spinAngle), {0, 0, 0, 1});
        cache.matrix = phMultiply(phMultiply(tire->baseMatrix, spin), tire->localMatrix);
        cache.matrix[3] += up * tire->suspensionPosition;
        cache.matrix[3] += up * cache.furtherOffset;
    }

    const float mass = chassis->mass.w;
    phVec4 force = (chassis->velocity - savedVelocity) * (mass * invH);
    force.w = chassis->force.w;
    const phVec4 dw = Dir(chassis->omega - savedOmega) * invH;
    phVec4 torque = phRotate(savedMatrix, phMulPerAxis(phUnrotate(savedMatrix, dw), chassis->mass));
    torque.w = 1.0f;
    chassis->force = force;
    chassis->torque = torque;

    chassis->velocity = savedVelocity;
    chassis->omega = savedOmega;
    chassis->globalCentre = savedCentre;
    chassis->rotation = savedRotation;
    chassis->matrix = savedMatrix;

    bool grounded = false;
    for (VehicleTire* tire = firstTire; tire != nullptr; tire = tire->next) {
        tire->cache->copyCount = 0;
        tire->cache->selectedCount = 0;
        grounded = grounded || tire->airborne == 0;
    }
    if (!grounded) {
        // A vehicle at rest in the air is kept from sleeping there.
        const float k = kRestTolerance * mass * mass;
        if (phLengthSq(chassis->force) < k && phLengthSq(chassis->torque) < k &&
            phLengthSq(chassis->velocity) < k && phLengthSq(chassis->omega) < k) {
            chassis->force = -u * mass;
            chassis->force.w = 1.0f;
        }
    }
    return 0;
}

// ---------------------------------------------------------------- private solve

namespace {

// A linear row along d between body A (arm rA) and body B (arm rB), with
// the relative point velocity along d as its target.
void LinearRow(VehicleSolver& s, int row, const phVec4& d, const phVec4& rA, const phVec4& rB, const phVec4& vA,
               const phVec4& vB)
{
    phJacobianRow& j = s.jacobian[row];
    j.linearA = Dir(d);
    j.angularA = Dir(phCross(rA, d));
    j.linearB = Dir(-d);
    j.angularB = Dir(phCross(d, rB));
    s.target[row] = phDot(vB - vA, d);
}

void AngularRow(VehicleSolver& s, int row, const phVec4& a)
{
    phJacobianRow& j = s.jacobian[row];
    j.linearA = {};
    j.angularA = Dir(a);
    j.linearB = {};
    j.angularB = Dir(-a);
    s.target[row] = 0.0f;
}

}  // namespace

void VehicleJoint::Solve(VehicleSolver& s, float h)
{
    phRigidBody* chassis = child;
    const float invH = h > 0.0f ? 1.0f / h : 0.0f;
    s.Clear(chassis);
    const float tires = tireCount > 0 ? static_cast<float>(tireCount) : 1.0f;
    const float suspensionEpsilon = std::pow(2.0f, 1.0f / tires) - 1.0f;
    const phMat4& m = chassis->matrix;
    const phVec4 u = Dir(phRotate(m, up));

    // The tires and their mounts.
    for (VehicleTire* tire = firstTire; tire != nullptr; tire = tire->next) {
        const int t = s.AddBody(nullptr, tire);
        tire->privateIndex = t;
        if (t < 0) {
            continue;
        }
        VehicleSolver::Body& body = s.bodies[t];
        const phVec4 p = Dir(phRotate(m, phRotate(tire->localMatrix, tire->pin)));
        const phVec4 f = Dir(phCross(u, p));
        phVec4 centre = tire->localMatrix[3] + up * tire->suspensionPosition;
        centre.w = 1.0f;
        centre = phTransformPoint(m, centre);
        const phVec4 rA = Dir(centre - chassis->globalCentre);
        const phVec4 chassisAtTire = Dir(chassis->velocity + phCross(chassis->omega, rA));
        body.velocity = chassisAtTire + u * tire->suspensionVelocity;
        body.omega = Dir(chassis->omega + p * tire->spinVelocity);
        tire->sideSpeed = phDot(p, chassis->velocity);
        tire->forwardSpeed = phDot(f, chassis->velocity);
        body.force = u * tire->load;
        body.torque = p * tire->driveTorque;

        const phVec4 zero = {};
        const int rows[5] = {s.AddRow(VehicleSolver::kChassis, t), s.AddRow(VehicleSolver::kChassis, t),
                             s.AddRow(VehicleSolver::kChassis, t), s.AddRow(VehicleSolver::kChassis, t),
                             s.AddRow(VehicleSolver::kChassis, t)};
        if (rows[4] < 0) {
            break;
        }
        LinearRow(s, rows[0], f, rA, zero, chassisAtTire, body.velocity);
        LinearRow(s, rows[1], p, rA, zero, chassisAtTire, body.velocity);
        LinearRow(s, rows[2], u, rA, zero, chassisAtTire, body.velocity);
        const float k = tire->suspensionSpring;
        const float c = k * h + tire->suspensionDamper;
        s.target[rows[2]] = (k * tire->suspensionPosition + c * tire->suspensionVelocity) / (c * h + 1.0f);
        s.epsilon[rows[2]] = suspensionEpsilon;
        AngularRow(s, rows[3], u);
        AngularRow(s, rows[4], f);
        if (tire->brakeLimit > kBrakeFloor) {
            const int b = s.AddRow(VehicleSolver::kChassis, t);
            if (b >= 0) {
                AngularRow(s, b, p);
                s.target[b] = tire->brakeTarget;
                s.low[b] = -tire->brakeLimit;
                s.high[b] = tire->brakeLimit;
            }
        }
    }
    s.firstTouched = s.bodyCount;

    // What the tires touch.
    for (VehicleTire* tire = firstTire; tire != nullptr; tire = tire->next) {
        tire->airborne = 1;
        tire->longitudinalSkid = 0;
        tire->lateralSkid = 0;
        const int t = tire->privateIndex;
        if (t < 0) {
            continue;
        }
        const VehicleSolver::Body& tb = s.bodies[t];
        const phVec4 pin = Dir(phRotate(m, phRotate(tire->localMatrix, tire->pin)));
        phVec4 centre = tire->localMatrix[3] + up * tire->suspensionPosition;
        centre.w = 1.0f;
        centre = phTransformPoint(m, centre);
        const VehicleTireCache& cache = *tire->cache;
        const int copies = cache.copyCount < VehicleTireCache::kRoom ? cache.copyCount : VehicleTireCache::kRoom;
        for (int k = 0; k < copies; ++k) {
            const VehicleTireCache::Copy& copy = cache.copies[k];
            phRigidBody* other = copy.body0 != chassis ? copy.body0 : copy.body1;
            int index = VehicleSolver::kStatic;
            float contactEpsilon = 0.0f;
            if (other != nullptr && !other->IsImmovable()) {
                for (int i = s.firstTouched; i < s.bodyCount && index == VehicleSolver::kStatic; ++i) {
                    if (s.bodies[i].body == other) {
                        index = i;
                    }
                }
                if (index == VehicleSolver::kStatic) {
                    // No room: the body holds the tire like the ground does.
                    const int added = s.AddBody(other, nullptr);
                    index = added > 0 ? added : VehicleSolver::kStatic;
                }
                const float e = tire->mass * other->invMass.w;
                contactEpsilon = e < kMaxContactEpsilon ? e : kMaxContactEpsilon;
            }
            tire->airborne = 0;

            const phVec4 n = Dir(copy.normal);
            const phVec4 rA = other != nullptr ? Dir(copy.point - other->globalCentre) : phVec4{};
            const phVec4 rB = Dir(copy.point - centre);
            const phVec4 vA = other != nullptr ? Dir(other->velocity + phCross(other->omega, rA)) : phVec4{};
            const phVec4 vB = Dir(tb.velocity + phCross(tb.omega, rB));
            const int normalRow = s.AddRow(index, t);
            if (normalRow < 0) {
                break;
            }
            LinearRow(s, normalRow, n, rA, rB, vA, vB);
            const float depth = copy.penetration < kMaxDepth ? copy.penetration : kMaxDepth;
            s.target[normalRow] = (kDepthGain * depth * invH + kRestitution * s.target[normalRow]) * invH;
            s.low[normalRow] = 0.0f;
            s.epsilon[normalRow] = contactEpsilon;

            const float load = phDot(tb.force - tire->mountReaction, n);
            const phVec4 across = Dir(phCross(pin, n));
            if (!(load > 0.0f) || !(phLengthSq(across) > kTangentFloorSq)) {
                continue;
            }
            const phVec4 l = Normalised(across);
            const phVec4 lateral = Dir(phCross(l, n));
            const int rowL = s.AddRow(index, t);
            const int rowT = s.AddRow(index, t);
            if (rowT < 0) {
                break;
            }
            LinearRow(s, rowL, l, rA, rB, vA, vB);
            const float vl = s.target[rowL];
            s.target[rowL] = vl * invH;
            s.epsilon[rowL] = tire->longitudinalRegularisation;
            float grip = copy.staticFriction[0];
            if (std::fabs(vl) >= tire->longitudinalSkidSpeed) {
                tire->longitudinalSkid = 1;
                grip = copy.kineticFriction[0];
            }
            s.low[rowL] = -load * kLongitudinalGrip * grip;
            s.high[rowL] = load * kLongitudinalGrip * grip;

            LinearRow(s, rowT, lateral, rA, rB, vA, vB);
            const float vt = s.target[rowT];
            s.target[rowT] = vt * invH;
            s.epsilon[rowT] = tire->lateralRegularisation;
            grip = copy.staticFriction[1];
            if (std::fabs(vt) >= tire->lateralSkidSpeed) {
                tire->lateralSkid = 1;
                grip = copy.kineticFriction[1];
            }
            s.low[rowT] = -load * kLateralGrip * grip;
            s.high[rowT] = load * kLateralGrip * grip;
        }
    }

    // Weights: the chassis by its mass and inertia, each tire by its own;
    // touched bodies do not move inside this solve.
    const phMat4 chassisInertia = chassis->GetWorldInverseInertia();
    const phVec4 chassisForce = Dir(chassis->force);
    const phVec4 chassisTorque = Dir(chassis->torque);
    for (int i = 0; i < s.rowCount; ++i) {
        const phJacobianRow& j = s.jacobian[i];
        phJacobianRow& w = s.weighted[i];
        const VehicleSolver::Body& tb = s.bodies[s.bodyB[i]];
        const VehicleTire* tire = tb.tire;
        if (s.bodyA[i] == VehicleSolver::kChassis) {
            w.linearA = Dir(j.linearA * chassis->invMass.w);
            w.angularA = Dir(phRotate(chassisInertia, j.angularA));
        } else {
            w.linearA = {};
            w.angularA = {};
        }
        w.linearB = Dir(j.linearB * tire->inverseMass);
        w.angularB = Dir(j.angularB * tire->inverseInertia);
        float applied = phDot(w.linearB, tb.force) + phDot(w.angularB, tb.torque);
        if (s.bodyA[i] == VehicleSolver::kChassis) {
            applied += phDot(w.linearA, chassisForce) + phDot(w.angularA, chassisTorque);
        }
        s.target[i] -= applied;
        const float d = phDot(j.linearA, w.linearA) + phDot(j.angularA, w.angularA) + phDot(j.linearB, w.linearB) +
                        phDot(j.angularB, w.angularB);
        const float e = s.epsilon[i] + 0.001f;
        s.regularising[i] = d * e;
        const float den = (e + 1.0f) * d;
        s.invPrecondition[i] = den > 0.0f && std::isfinite(den) ? 1.0f / den : 0.0f;
        s.force[i] = 0.0f;
        s.mask[i] = 1.0f;
    }

    s.Solve();

    for (VehicleTire* tire = firstTire; tire != nullptr; tire = tire->next) {
        tire->mountReaction = {};
    }
    for (int i = 0; i < s.rowCount; ++i) {
        const phJacobianRow& j = s.jacobian[i];
        const float f = s.force[i];
        VehicleSolver::Body& a = s.bodies[s.bodyA[i]];
        VehicleSolver::Body& b = s.bodies[s.bodyB[i]];
        a.forceAcc += j.linearA * f;
        a.torqueAcc += j.angularA * f;
        b.force += j.linearB * f;
        b.torque += j.angularB * f;
        if (s.bodyA[i] == VehicleSolver::kChassis) {
            b.tire->mountReaction -= j.linearB * f;
        }
    }
    chassis->force += s.bodies[VehicleSolver::kChassis].forceAcc;
    chassis->torque += s.bodies[VehicleSolver::kChassis].torqueAcc;

    // The tires' own motion: suspension and spin.
    const phVec4 chassisAccel = Dir(chassis->force * chassis->invMass.w);
    const phVec4 chassisAlpha = Dir(phRotate(chassisInertia, chassis->torque));
    for (VehicleTire* tire = firstTire; tire != nullptr; tire = tire->next) {
        const int t = tire->privateIndex;
        if (t < 0) {
            continue;
        }
        const VehicleSolver::Body& tb = s.bodies[t];
        phVec4 centre = tire->localMatrix[3] + up * tire->suspensionPosition;
        centre.w = 1.0f;
        centre = phTransformPoint(m, centre);
        const phVec4 r = Dir(centre - chassis->globalCentre);
        const phVec4 tireAccel = tb.force * tire->inverseMass;
        const phVec4 mountAccel = chassisAccel + phCross(chassisAlpha, r);
        tire->suspensionVelocity += phDot(tireAccel - mountAccel, u) * h;
        tire->suspensionPosition += tire->suspensionVelocity * h;

        const phVec4 pin = Dir(phRotate(m, phRotate(tire->localMatrix, tire->pin)));
        const float delta = phDot(pin, tb.torque * tire->inverseInertia) * h * 0.5f;
        tire->spinVelocity = (tire->spinVelocity + delta) * kSpinKeep;
        const float factor = std::fabs(tire->spinLimitFactor);
        if (std::fabs(tire->spinVelocity * factor) > kMaxSpin) {
            tire->spinVelocity = std::copysign(kMaxSpin / factor, tire->spinVelocity);
        }
        tire->spinAngle = std::fmod(tire->spinAngle + tire->spinVelocity * h, kTurn);
        tire->spinVelocity += delta;
    }
}
