#pragma once

#include <cstdint>

#include "physics/broadphase_proxy.h"
#include "physics/collision.h"
#include "physics/object_pool.h"
#include "physics/rigid_body.h"

class phPhysWorld;

// A square of the quadtree over x and z. Its bodies are kept in three lists
// sorted by their box minimum on x, y and z.
struct phBroadphaseCell {
    struct AxisList {
        std::uint32_t count = 0;
        phBroadphaseEntry* first = nullptr;
        phBroadphaseEntry* last = nullptr;
        double sum = 0.0;
        double sumSq = 0.0;
    };

    phVec4 origin;  // x, y, z of the lower corner
    float side = 0.0f;
    std::uint16_t level = 0;
    std::uint16_t bodyCount = 0;
    std::uint16_t childCount = 0;
    std::int16_t sweepAxis = -1;
    std::uint16_t updateCounter = 0;
    std::uint32_t nullClassId = 0;
    std::uint64_t axisStamp = 0;
    AxisList lists[3];
    phPhysWorld* world = nullptr;
    phBroadphaseCell* parent = nullptr;
    // Quadrant q: bit 0 upper half in x, bit 1 upper half in z.
    phBroadphaseCell* children[4] = {nullptr, nullptr, nullptr, nullptr};
    phBroadphaseCell* nextFree = nullptr;
};

// Finds the bodies whose world boxes overlap and answers ray casts: a
// quadtree over x and z, nine levels below the root at most. Each world owns
// one.
class phBroadphase {
public:
    static constexpr int kMaxDepth = 9;
    // Candidate pairs go here, in the order the sweep met them.
    using PairHandler = void (*)(void* context, phRigidBody* a, phRigidBody* b);

    phBroadphase();
    ~phBroadphase();
    phBroadphase(const phBroadphase&) = delete;
    phBroadphase& operator=(const phBroadphase&) = delete;

    void SetWorld(phPhysWorld* world);
    void SetPairHandler(PairHandler handler, void* context);
    // Snaps min down to 1/512, makes the box square in x and z (the larger
    // extent, rounded up), keeps y as given, and re-files every body.
    void SetWorldSize(const phVec4& min, const phVec4& max);
    void GetWorldSize(phVec4& outMin, phVec4& outMax) const;

    void AddBody(phRigidBody* body);
    void RemoveBody(phRigidBody* body);
    // After the body's box changed: files it in its cell, notes it as moved
    // and handles a body that left the world box.
    void UpdateBody(phRigidBody* body);
    // Once per step: refreshes the forces and boxes of the awake bodies (and
    // those joined to them), hands every candidate pair to the handler and
    // empties the world's flagged-body tree.
    void UpdatePairs();
    // The step's force refresh of one body, once per step: for a body the
    // walk of UpdatePairs did not reach.
    void RefreshForces(phRigidBody* body);
    // Calls the bodies' ray casts in order of distance; the filter's result
    // bounds later hits.
    void RayCast(const phVec4& p0, const phVec4& p1, phRayFilter filter, void* userData,
                 phRayPrefilter prefilter);

    const phBroadphaseCell* Root() const { return m_root; }
    float RootSide() const { return m_rootSide; }
    std::uint32_t MovedThreshold() const { return m_movedThreshold; }
    std::uint32_t MovedCount() const { return m_movedCount; }
    std::uint64_t StepCounter() const { return m_step; }

private:
    phBroadphaseCell* NewCell(phBroadphaseCell* parent, int quadrant, float half);
    void FreeCell(phBroadphaseCell* cell);
    void InsertIntoCell(phBroadphaseCell* cell, phRigidBody* body);
    void UnlinkFromCell(phRigidBody* body);
    void CleanUp(phBroadphaseCell* cell);
    void RemoveMoved(phRigidBody* body);
    void AppendMoved(phRigidBody* body);
    void RefreshAxis(phBroadphaseCell* cell);
    void RefreshBody(phRigidBody* body);
    void TestPair(phRigidBody* a, phRigidBody* b);
    void SweepBodyAgainstCell(phRigidBody* a, phBroadphaseCell* cell);
    void SweepCellInternal(phBroadphaseCell* cell);
    void MergeCells(phBroadphaseCell* ancestor, phBroadphaseCell* cell);

    phVec4 m_worldMin = {-1000.0f, -1000.0f, -1000.0f, 1.0f};
    phVec4 m_worldMax = {1000.0f, 1000.0f, 1000.0f, 1.0f};
    float m_rootSide = 1000.0f;
    phPhysWorld* m_world = nullptr;
    phBroadphaseCell* m_root = nullptr;
    phBroadphaseCell* m_freeCells = nullptr;
    phObjectPool<phBroadphaseCell> m_cellPool;
    std::uint32_t m_nullClassId = 0;
    std::uint64_t m_step = 0;
    std::uint32_t m_movedThreshold = 1;
    phRigidBody* m_movedFirst = nullptr;
    phRigidBody* m_movedLast = nullptr;
    std::uint32_t m_movedCount = 0;
    PairHandler m_pairHandler = nullptr;
    void* m_pairContext = nullptr;
};
