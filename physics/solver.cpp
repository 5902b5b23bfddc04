// The solver pass: islands, their rows, integration and sleep.
#include <cmath>

#include "physics/contact_constraint.h"
#include "physics/row_solver.h"
#include "physics/world.h"

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace {

phVec4 Dir(const phVec4& v) { return {v.x, v.y, v.z, 0.0f}; }

// Tiny results become 0 in the vector build; the caller's mode comes back.
class phFlushToZeroScope {
public:
    explicit phFlushToZeroScope(bool on)
    {
#if defined(__SSE__)
        m_on = on;
        if (m_on) {
            m_saved = _mm_getcsr();
            _mm_setcsr(m_saved | _MM_FLUSH_ZERO_ON);
        }
#else
        (void)on;
#endif
    }
    ~phFlushToZeroScope()
    {
#if defined(__SSE__)
        if (m_on) {
            _mm_setcsr(m_saved);
        }
#endif
    }
    phFlushToZeroScope(const phFlushToZeroScope&) = delete;
    phFlushToZeroScope& operator=(const phFlushToZeroScope&) = delete;

private:
#if defined(__SSE__)
    bool m_on = false;
    unsigned int m_saved = 0;
#endif
};

void SetRow(phJacobianRow& row, const phVec4& d, const phVec4& rA, const phVec4* rB)
{
    row.linearA = Dir(d);
    row.angularA = Dir(phCross(rA, d));
    if (rB != nullptr) {
        row.linearB = Dir(-d);
        row.angularB = Dir(phCross(-*rB, d));
    } else {
        row.linearB = {};
        row.angularB = {};
    }
}

}  // namespace

int phContactPointRows(phRowParams& params, const phContactConstraint& contact, phMaterialPair& material, int index,
                       int rowCount)
{
    const phRigidBody* a = contact.child;
    const phRigidBody* b = contact.parent;
    if (a == nullptr || index < 0 || index >= phRowParams::kMaxRows) {
        return rowCount;
    }
    const phContactRecord& r = material.contact;
    const phVec4 rA = Dir(r.point - a->globalCentre);
    const phVec4 vA = a->velocity + phCross(a->omega, rA);
    phVec4 rB = {};
    phVec4 vB = {};
    if (b != nullptr) {
        rB = Dir(r.point - b->globalCentre);
        vB = b->velocity + phCross(b->omega, rB);
    }
    const phVec4 relative = Dir(vB - vA);
    const phVec4 n = Dir(r.normal);
    const float invDt = params.invTimeStep;

    SetRow(params.jacobian[index], n, rA, b != nullptr ? &rB : nullptr);
    const float depth = r.penetration < 0.5f ? r.penetration : 0.5f;
    float vn = phDot(relative, n);
    if (vn > 0.001f) {
        vn *= material.elasticity + 1.0f;
    }
    float target = (depth * material.softness * 10.0f + vn) * invDt;
    if ((material.flags & phMaterialPair::kNormalTarget) != 0) {
        target += material.forces[0];
    }
    params.target[index] = target;
    params.bounds[index].low = 0.0f;
    params.bounds[index].high = 1e15f;
    params.bounds[index].normalIndex = phRowBounds::kUnilateral;
    params.bounds[index].forceSlot = &material.forces[0];
    params.regularisation[index] = 1.0f;

    const phVec4 tangents[2] = {Dir(material.tangent0), Dir(material.tangent1)};
    for (int k = 0; k < 2; ++k) {
        if ((material.flags & (phMaterialPair::kFriction0 << k)) == 0 || rowCount >= phRowParams::kMaxRows) {
            continue;
        }
        const int i = rowCount++;
        SetRow(params.jacobian[i], tangents[k], rA, b != nullptr ? &rB : nullptr);
        const float vt = phDot(relative, tangents[k]);
        params.target[i] =
            (material.flags & (phMaterialPair::kTangent0Target << k)) != 0 ? material.forces[1 + k] : vt * invDt;
        const float coefficient = std::fabs(vt) <= 0.3f ? material.staticFriction[k] : material.kineticFriction[k];
        params.bounds[i].low = -coefficient;
        params.bounds[i].high = coefficient;
        params.bounds[i].normalIndex = index;
        params.bounds[i].forceSlot = &material.forces[1 + k];
        params.regularisation[i] = 1.0f;
    }
    return rowCount;
}

void phSolverWorkspace::UpdateIslands(phPhysWorld& world)
{
    m_world = &world;
    m_simd = world.simd;
    BeginStep(world.solverModel, world.frictionModel, world.frictionDropFactor);
    m_rowBlock.world = &world;
    m_rowBlock.timeStep = world.TimeStep();
    m_rowBlock.invTimeStep = world.InverseTimeStep();
    m_seedCount = 0;
    const std::uint64_t handled = world.stepStamp + 2;
    {
        phFlushToZeroScope flush(m_simd);
        RunSubsteps(handled);
        phPhysWorld::BodyTree& awake = world.Awake();
        phPhysWorld::BodyTree::Node* node = awake.Minimum();
        while (node != nullptr) {
            phRigidBody* body = node->payload;
            const std::uintptr_t key = node->key;
            if (body->IsImmovable()) {
                world.RemoveFromAwake(body);
                const bool wasActive = (body->flags & phRigidBody::kFlagActive) != 0;
                body->flags = (body->flags & ~phRigidBody::kFlagActive) | phRigidBody::kFlagEquilibrium;
                ++world.bodiesHandled;
                if (wasActive && body->activationCallback != nullptr) {
                    body->activationCallback(body, 0);
                }
            } else if (body->solverStamp < handled) {
                SolveIsland(body, handled, false);
                // Bodies a full island could not take form islands of their own.
                while (m_seedCount > 0) {
                    phRigidBody* seed = m_seeds[--m_seedCount];
                    if (seed->solverStamp < handled && !seed->IsImmovable()) {
                        SolveIsland(seed, handled, true);
                    }
                }
            }
            // Callbacks and sleep change the tree; go on from the key.
            node = awake.FirstAfter(key);
        }
    }
    phContactConstraint* c = world.touchedFirst;
    world.touchedFirst = world.touchedLast = nullptr;
    while (c != nullptr) {
        phContactConstraint* next = c->touchedNext;
        c->touchedNext = nullptr;
        world.ReleasePair(c);
        c = next;
    }
    world.stepStamp += 2;
}

int phSolverWorkspace::SolveIsland(phRigidBody* body, std::uint64_t handled, bool seed, bool substep)
{
    const int count = BuildIsland(body, handled - 1);
    const bool rest = substep ? FinishIslandSubstep(count, m_world->TimeStep()) : FinishIsland(count, m_world->TimeStep());
    if (rest) {
        for (int i = 1; i < count; ++i) {
            phRigidBody* b = m_bodies[i];
            b->flags &= ~phRigidBody::kFlagActive;
            if (b->activationCallback != nullptr) {
                b->activationCallback(b, 0);
            }
        }
        if (count > 1 && (m_bodies[1]->flags & phRigidBody::kFlagAutoSleep) != 0) {
            m_world->RemoveFromAwake(m_bodies[1]);
        }
    } else if (seed && count > 1) {
        // The seed carries its island into the next step.
        m_world->WakeBody(m_bodies[1]);
    }
    return count;
}

void phSolverWorkspace::RunSubsteps(std::uint64_t handled)
{
    phPhysWorld& world = *m_world;
    phPhysWorld::ConstraintTree& set = world.Substepped();
    if (set.Count() == 0) {
        return;
    }
    const float dt = world.TimeStep();
    const float parts = std::ceil(world.substepRate * dt);
    if (!(parts > 1.0f)) {
        return;
    }
    const int n = parts < static_cast<float>(kMaxSubsteps) ? static_cast<int>(parts) : kMaxSubsteps;
    const float whole = dt;
    world.SetTimeStep(dt / static_cast<float>(n));
    for (int part = 0; part < n; ++part) {
        const bool last = part == n - 1;
        for (auto* node = set.Minimum(); node != nullptr; node = phPhysWorld::ConstraintTree::Next(node)) {
            phConstraint* member = node->payload;
            phRigidBody* body = member->child;
            if (member->stamp >= handled || body == nullptr || body->IsImmovable() ||
                (body->flags & phRigidBody::kFlagActive) == 0) {
                continue;
            }
            const int count = SolveIsland(body, handled, false, !last);
            // An island that went to sleep keeps its handled mark.
            const bool again = !last && (body->flags & phRigidBody::kFlagActive) != 0;
            const int linked = world.CollectIsland(member, m_linked, kMaxLinked);
            for (int i = 0; i < linked; ++i) {
                phConstraint* c = m_linked[i];
                if (last) {
                    if (c->classId == phConstraint::kClassVehicle) {
                        c->stamp = handled;
                    }
                    continue;
                }
                c->stamp = world.stepStamp;
                if (c->classId == phConstraint::kClassContact) {
                    world.ProcessPair(c->child, c->parent);
                } else if (c->classId == phConstraint::kClassVehicle) {
                    c->stamp = handled;
                    static_cast<VehicleJoint*>(c)->CollectContacts();
                }
            }
            if (again) {
                // The island is built afresh in the next part.
                for (int i = 1; i < count; ++i) {
                    m_bodies[i]->solverStamp = world.stepStamp;
                }
            }
        }
        if (!last) {
            for (auto* node = set.Minimum(); node != nullptr; node = phPhysWorld::ConstraintTree::Next(node)) {
                node->payload->stamp = world.stepStamp;
            }
        }
    }
    world.SetTimeStep(whole);
}

int phSolverWorkspace::BuildIsland(phRigidBody* start, std::uint64_t visit)
{
    phPhysWorld& world = *m_world;
    BeginIsland();
    m_rowBlock.world = &world;
    m_rowBlock.timeStep = world.TimeStep();
    m_rowBlock.invTimeStep = world.InverseTimeStep();
    start->solverStamp = visit;
    start->islandIndex = AddIslandBody(start);
    int constraintCount = 0;
    int rowBudget = 0;
    int vehicles = 0;
    int top = 0;
    if (start->constraints != nullptr) {
        m_stack[top++] = start;
    }
    while (top > 0) {
        phRigidBody* body = m_stack[--top];
        phConstraintLink* first = body->constraints;
        phConstraintLink* link = first;
        while (link != nullptr) {
            phConstraint* c = link->constraint;
            phRigidBody* other = link->other;
            link = link->next == first ? nullptr : link->next;
            const bool otherNew = other != nullptr && !other->IsImmovable() && other->solverStamp < visit;
            if (c->stamp != visit) {
                const int rows = c->maxRows < phRowParams::kMaxRows ? c->maxRows : phRowParams::kMaxRows;
                const bool roomForBody = !otherNew || (m_bodyCount < kMaxIslandBodies && top < kMaxIslandBodies);
                const bool roomForRows = constraintCount < kMaxIslandConstraints && rowBudget + rows <= kMaxRows;
                if (!roomForBody || !roomForRows) {
                    // Full: the constraint waits for the island of its other body.
                    if (otherNew && m_seedCount < kMaxIslandBodies) {
                        m_seeds[m_seedCount++] = other;
                    }
                } else {
                    if (otherNew) {
                        other->solverStamp = visit;
                        other->islandIndex = AddIslandBody(other);
                        m_stack[top++] = other;
                    }
                    c->stamp = visit;
                    m_islandConstraints[constraintCount] = c;
                    if (c->classId == phConstraint::kClassVehicle) {
                        // Sub-stepped constraints are gathered first.
                        phConstraint* t = m_islandConstraints[vehicles];
                        m_islandConstraints[vehicles++] = c;
                        m_islandConstraints[constraintCount] = t;
                    }
                    ++constraintCount;
                    rowBudget += rows;
                }
            }
            if (c->classId == phConstraint::kClassContact && c->secondStamp != world.stepStamp) {
                auto* contact = static_cast<phContactConstraint*>(c);
                contact->secondStamp = world.stepStamp;
                contact->touched = 1;
                contact->touchedNext = nullptr;
                if (world.touchedLast != nullptr) {
                    world.touchedLast->touchedNext = contact;
                } else {
                    world.touchedFirst = contact;
                }
                world.touchedLast = contact;
            }
        }
    }

    for (int i = 1; i < m_bodyCount; ++i) {
        phRigidBody* b = m_bodies[i];
        // Integration must not run on last step's accelerations, nor a later
        // part of a sub-stepped step on the last part's.
        world.GetBroadphase().RefreshForces(b);
        if (b->appliedStamp == world.stepStamp) {
            b->force = b->appliedForce;
            b->torque = b->appliedTorque;
        } else {
            b->appliedForce = b->force;
            b->appliedTorque = b->torque;
            b->appliedStamp = world.stepStamp;
        }
        if ((b->flags & phRigidBody::kFlagKeepAngularMomentum) != 0) {
            const phVec4 w = phUnrotate(b->matrix, b->omega);
            const phVec4 iw = phMulPerAxis(w, b->mass);
            b->torque -= Dir(phRotate(b->matrix, phCross(w, iw)));
        }
        b->velocity -= b->velocity * b->linearDamping;
        phVec4 w = phUnrotate(b->matrix, b->omega);
        w.x -= b->angularDamping[0] * w.x;
        w.y -= b->angularDamping[1] * w.y;
        w.z -= b->angularDamping[2] * w.z;
        const float keepW = b->omega.w;
        b->omega = phRotate(b->matrix, w);
        b->omega.w = keepW;
        m_invInertia[i] = b->GetWorldInverseInertia();
    }

    auto indexOf = [&](const phRigidBody* b) {
        return b != nullptr && !b->IsImmovable() && b->solverStamp == visit ? b->islandIndex : 0;
    };
    for (int k = 0; k < constraintCount; ++k) {
        phConstraint* c = m_islandConstraints[k];
        const int declared = c->maxRows < phRowParams::kMaxRows ? c->maxRows : phRowParams::kMaxRows;
        m_rowBlock.PresetBounds(declared);
        int n = c->BuildRows(m_rowBlock);
        n = n < 0 ? 0 : (n > phRowParams::kMaxRows ? phRowParams::kMaxRows : n);
        AddRows(m_rowBlock, n, indexOf(c->child), indexOf(c->parent));
    }
    if (m_rowCount > 0) {
        PrepareRows(m_rowCount, m_bodyCount);
        SolveRows();
    }
    return m_bodyCount;
}

bool phSolverWorkspace::FinishIsland(int bodyCount, float dt) { return FinishIslandBodies(bodyCount, dt, false); }

bool phSolverWorkspace::FinishIslandSubstep(int bodyCount, float dt) { return FinishIslandBodies(bodyCount, dt, true); }

bool phSolverWorkspace::FinishIslandBodies(int bodyCount, float dt, bool holdTransform)
{
    phPhysWorld& world = *m_world;
    bodyCount = bodyCount < m_bodyCount ? bodyCount : m_bodyCount;
    if (bodyCount < 2) {
        return false;
    }
    world.bodiesHandled += static_cast<std::uint32_t>(bodyCount - 1);
    float p = std::pow(1.1f, static_cast<float>(bodyCount - 1));
    p = p < 5.0f ? p : 5.0f;
    const float k1 = 0.2f * p;
    const float k2 = 12.0f * k1;
    const std::uint64_t handled = world.stepStamp + 2;
    bool sleep = true;
    for (int i = 1; i < bodyCount; ++i) {
        phRigidBody* b = m_bodies[i];
        const float* th = b->sleepThresholds;
        auto integrate = [&] {
            phRigidBody::TransformCallback kept = b->transformCallback;
            if (holdTransform) {
                b->transformCallback = nullptr;
            }
            b->ApplyForceAndTorqueAndIntegrate(dt);
            if (holdTransform) {
                b->transformCallback = kept;
            }
        };
        bool rest = false;
        if ((b->flags & phRigidBody::kFlagEquilibrium) == 0) {
            integrate();
            // Integration leaves the accelerations in the force fields.
            rest = phLengthSq(b->force) < k2 * th[0] && phLengthSq(b->torque) < k2 * th[1] &&
                   phLengthSq(b->velocity) < k1 * th[2] && phLengthSq(b->omega) < k1 * th[3];
        } else {
            const phVec4 linear = b->force * b->invMass.w;
            const phVec4 angular = phMulPerAxis(phUnrotate(b->matrix, b->torque), b->invMass);
            rest = phLengthSq(linear) < k2 * th[0] && phLengthSq(angular) < k2 * th[1];
            if (!rest) {
                integrate();
            }
        }
        b->flags = rest ? (b->flags | phRigidBody::kFlagEquilibrium) : (b->flags & ~phRigidBody::kFlagEquilibrium);
        if (rest) {
            // A body at rest is no longer integrated: the speed it came to
            // rest with would still reach its neighbours through their
            // contacts every step (and kick them sideways), and come back
            // whole when it wakes.
            b->velocity.x = b->velocity.y = b->velocity.z = 0.0f;
            b->omega.x = b->omega.y = b->omega.z = 0.0f;
        }
        b->solverStamp = handled;
        if ((b->flags & phRigidBody::kFlagActive) == 0) {
            b->flags |= phRigidBody::kFlagActive;
            if (b->activationCallback != nullptr) {
                b->activationCallback(b, 1);
            }
        }
        if (i > 1 && b->awakeNode != nullptr) {
            if ((b->flags & phRigidBody::kFlagAutoSleep) != 0) {
                world.RemoveFromAwake(b);
            } else {
                sleep = false;
            }
        }
        if ((b->flags & phRigidBody::kFlagAutoSleep) == 0 || !rest) {
            sleep = false;
        }
    }
    return sleep;
}
