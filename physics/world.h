#pragma once

#include <cstdint>

#include "physics/broadphase.h"
#include "physics/constraint.h"
#include "physics/contact_record.h"
#include "physics/contact_constraint.h"
#include "physics/joints.h"
#include "physics/list.h"
#include "physics/material.h"
#include "physics/object_pool.h"
#include "physics/rb_tree.h"
#include "physics/rigid_body.h"
#include "physics/storage_pool.h"
#include "physics/vehicle_joint.h"

class phSolverWorkspace;

// Joint records, one pool per class.
struct phJointPools {
    phObjectPool<BallJoint> ball;
    phObjectPool<HingeJoint> hinge;
    phObjectPool<SliderJoint> slider;
    phObjectPool<CylinderJoint> cylinder;
    phObjectPool<CrossJoint> cross;
    phObjectPool<AlignJoint> align;
    phObjectPool<VehicleJoint> vehicle;
};

// Everything that lives in one simulation: bodies, the constraints between
// them, the material-pair table, the box cache, the broadphase and the
// solver's scratch memory. Runs one step at a time and defers destruction
// asked for while a step runs.
class phPhysWorld {
public:
    using BodyTree = phRbTree<phRigidBody*, std::uintptr_t>;
    using ConstraintTree = phRbTree<phConstraint*, std::uintptr_t>;
    using MaterialTree = phRbTree<phMaterialPair, std::uint32_t>;
    using CollisionCache = phRbTree<phCollision*, std::uint32_t>;
    using BodyLeftWorldCallback = void (*)(phRigidBody* body);

    struct ClassIds {
        std::uint32_t box, null, cone, sphere, convex, ellipse, capsule, cylinder, convexHull, chamferCylinder,
            convexModifier, compound, polygonalSoup;
    };

    static constexpr float kMinimumStep = 1.0f / 60.0f;
    static constexpr float kSubstepRate = 179.0f;
    static constexpr float kFrictionDropFactor = 0.25f;
    // Bodies the joint walk of the pair processing stores at most.
    static constexpr int kMaxJointWalk = 512;
    // Points a pair's contact calculation may find in one step.
    static constexpr int kPairBuffer = 128;

    phPhysWorld();
    ~phPhysWorld();
    phPhysWorld(const phPhysWorld&) = delete;
    phPhysWorld& operator=(const phPhysWorld&) = delete;

    // False when construction ran out of memory (no solver scratch or no
    // default group): such a world must not be stepped.
    bool IsComplete() const { return m_solver != nullptr && m_nextGroup > 0; }

    // A body at the identity, immovable until a mass is set, in the default
    // group and the broadphase, awake. Null when memory runs out.
    phRigidBody* CreateBody(phCollision* collision);
    // Destroys at once: detaches its constraints, releases its collision.
    // A body this world does not hold is ignored.
    void DestroyBody(phRigidBody* body);
    // At once, or after the running step when called from inside one.
    void RequestDestroyBody(phRigidBody* body);
    bool HoldsBody(const phRigidBody* body) const;
    // Into the awake set; the activation callback hears 1 when it was inactive.
    void WakeBody(phRigidBody* body);
    // Out of the awake set, without callbacks.
    void RemoveFromAwake(phRigidBody* body);

    // Materials: a new group with default pairs against every older group
    // and itself; the pair record of two groups, null when never made.
    std::uint32_t CreateMaterialGroup();
    phMaterialPair* FindMaterialPair(std::uint32_t a, std::uint32_t b);
    std::uint32_t GroupCount() const { return m_nextGroup; }

    // Constraints: linked into both bodies' lists (the second may be null).
    bool AttachConstraint(phConstraint* constraint, phRigidBody* body0, phRigidBody* body1);
    // Unlinks, wakes sleeping auto-sleep bodies on either side and lets the
    // constraint go (a contact returns to the pool).
    void DetachConstraint(phConstraint* constraint);
    void RequestDestroyConstraint(phConstraint* constraint);
    std::uint32_t ConstraintCount() const { return m_constraintCount; }
    // Up to limit constraints reachable from start through movable bodies,
    // start first; returns their number.
    int CollectIsland(phConstraint* start, phConstraint** out, int limit);

    // Joints: their pools; a released joint waits on the release queue,
    // which gives it back to its pool after the next step.
    phJointPools& JointPools() { return m_jointPools; }
    void QueueRelease(phConstraint* joint);
    void RunReleaseQueue();
    std::uint32_t QueuedReleases() const { return m_releaseQueue.Count(); }
    // Vehicle joints, whose islands the solver runs in sub-steps.
    ConstraintTree& Substepped() { return m_substepped; }

    // Contacts: a fresh one from the pool on the world's contact list, or
    // null; the contact constraint joining two bodies, or null.
    phContactConstraint* CreateContact();
    void RemoveContact(phContactConstraint* contact);
    phContactConstraint* FindContact(const phRigidBody* body0, const phRigidBody* body1) const;
    phContactConstraint* FirstContact() const { return m_contactsFirst; }
    std::uint32_t ContactCount() const { return m_contactCount; }
    std::uint32_t LiveContactRecords() const { return m_contactPool.LiveCount(); }

    // Pair processing of two bodies whose boxes overlap.
    void ProcessPair(phRigidBody* body0, phRigidBody* body1);
    // A contact the solver met: released when this step did not refresh it.
    void ReleasePair(phContactConstraint* contact);

    // One substep of dt seconds.
    void Update(float dt);

    // The box cache.
    phCollision* CreateBox(float sx, float sy, float sz, const phMat4* offset);
    void ReleaseCollision(phCollision* collision);
    std::uint32_t CachedCollisionCount() const { return m_collisionCache.Count(); }

    phBroadphase& GetBroadphase() { return m_broadphase; }
    const ClassIds& GetClassIds() const { return m_classIds; }
    BodyTree& Bodies() { return m_bodies; }
    BodyTree& Awake() { return m_awake; }
    BodyTree& Flagged() { return m_flagged; }
    std::uint32_t BodyCount() const { return m_bodyCount; }
    phCollision* DefaultCollision() const { return m_defaultCollision; }

    // The current step and its inverse.
    void SetTimeStep(float dt);
    float TimeStep() const { return m_timeStep; }
    float InverseTimeStep() const { return m_invTimeStep; }

    bool InsideUpdate() const { return m_insideUpdate; }
    bool InStep() const { return m_inStep; }

    BodyLeftWorldCallback bodyLeftWorldCallback = nullptr;

    // Read and written by the solver.
    std::uint64_t stepStamp = 2;
    int solverModel = 0;
    int frictionModel = 0;
    float frictionDropFactor = kFrictionDropFactor;
    bool simd = false;
    std::uint32_t bodiesHandled = 0;
    float defaultSleepThresholds[4] = {0.01f, 0.01f, 0.001f, 0.001f};
    float minimumStep = kMinimumStep;
    float substepRate = kSubstepRate;
    // Contacts the solver met in this step (through touchedNext).
    phContactConstraint* touchedFirst = nullptr;
    phContactConstraint* touchedLast = nullptr;
    phSolverWorkspace* Solver() const { return m_solver; }
    // The last key handed to a substepped (vehicle) joint.
    std::uintptr_t lastSubstepKey = 0;

private:
    struct alignas(16) BodyStorage {
        unsigned char bytes[sizeof(phRigidBody)];
    };
    struct alignas(16) LinkStorage {
        unsigned char bytes[sizeof(phConstraintLink)];
    };

    static void PairThunk(void* context, phRigidBody* a, phRigidBody* b);
    void Step(float dt);
    bool JointsKeepApart(phRigidBody* b0, phRigidBody* b1);
    void ConvexCase(phRigidBody* b0, phRigidBody* b1, phMaterialPair& pair);
    int ReuseContacts(phRigidBody* b0, phRigidBody* b1, phContactConstraint*& outContact);
    void RefreshContacts(phContactConstraint* contact, int n, phMaterialPair& pair);
    void BuildContacts(phRigidBody* b0, phRigidBody* b1, phContactRecord* points, int n, phMaterialPair& pair);
    // Contacts of the pair into buffer (kPairBuffer records), then its constraint.
    void CalculateAndBuild(phRigidBody* b0, phRigidBody* b1, phMaterialPair& pair, phContactRecord* buffer);
    phConstraintLink* NewLink();
    void FreeLink(phConstraintLink* link);
    void Unlink(phRigidBody* body, phConstraintLink* link);

    phStoragePool<phConstraintLink> m_linkPool;
    phBroadphase m_broadphase;
    BodyTree m_bodies;
    BodyTree m_awake;
    MaterialTree m_materials;
    CollisionCache m_collisionCache;
    phObjectPool<BodyStorage> m_bodyPool;
    phStoragePool<phContactConstraint> m_contactPool;
    phContactNodePool m_contactNodes;
    phContactConstraint* m_contactsFirst = nullptr;
    phContactConstraint* m_contactsLast = nullptr;
    std::uint32_t m_contactCount = 0;
    BodyTree m_flagged;
    ConstraintTree m_substepped;
    phJointPools m_jointPools;
    phList<phConstraint*> m_releaseQueue;
    ConstraintTree m_pendingConstraints;
    BodyTree m_pendingBodies;
    ClassIds m_classIds{};
    std::uint32_t m_nextGroup = 0;
    std::uint32_t m_constraintCount = 0;
    std::uint32_t m_bodyCount = 0;
    std::uint32_t m_defaultGroup = 0;
    std::uint32_t m_lastBodyId = 0;
    float m_timeStep = 1.0f / 60.0f;
    float m_invTimeStep = 60.0f;
    phSolverWorkspace* m_solver = nullptr;
    phCollision* m_defaultCollision = nullptr;
    bool m_inStep = false;
    bool m_insideUpdate = false;
    // Where a pair's contacts are calculated: a stack array of this size
    // was cleared for every pair. Contact generation writes every field the
    // pair processing reads of the points it returns.
    phContactRecord m_pairBuffer[kPairBuffer];
    bool m_pairBufferBusy = false;
};
