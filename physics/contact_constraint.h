#pragma once

#include <cstdint>

#include "physics/constraint.h"
#include "physics/material.h"
#include "physics/storage_pool.h"

class phPhysWorld;

// One contact point of a pair: list links and the point's material.
struct phContactNode {
    phContactNode* next = nullptr;
    phContactNode* prev = nullptr;
    phMaterialPair material;
};

using phContactNodePool = phStoragePool<phContactNode>;

// The contact points of two touching bodies as one constraint. The active
// points stand at the tail of the list; the points before them are kept
// records that the next build reuses first. Made and unmade by the world.
class phContactConstraint : public phConstraint {
public:
    // Most points a pair keeps active: 3 rows each fill a constraint's rows.
    static constexpr std::uint32_t kMaxActive = 16;

    phContactConstraint(phPhysWorld* owner, phContactNodePool* nodes) : world(owner), nodePool(nodes) {}
    ~phContactConstraint() override { FreeNodes(); }

    void SetDestructionCallback(DestructionCallback) override {}
    // Removes the contact from its world: frees its points, unlinks it from
    // the world's contact list and returns it to the world's pool.
    void CallDestructionCallback() override;
    // Rows of the active points: their normal rows first (one per point, in
    // walk order), their friction rows after them.
    int BuildRows(phRowParams& params) override;

    // A point with the default material at the tail; null when out of memory.
    phContactNode* AppendNode();
    // Unlinks node and puts it at the tail.
    void MoveToTail(phContactNode* node);
    // Unlinks node and puts it at the head, among the inactive records.
    void MoveToHead(phContactNode* node);
    void FreeNodes();

    phPhysWorld* world = nullptr;
    phContactNodePool* nodePool = nullptr;
    // The world's list of contacts.
    phContactConstraint* worldPrev = nullptr;
    phContactConstraint* worldNext = nullptr;
    std::uint32_t count = 0;
    phContactNode* first = nullptr;
    phContactNode* last = nullptr;
    // The world's step stamp at the last build or refresh of the points.
    std::uint64_t refreshStamp = 0;
    std::uint32_t activeCount = 0;
    // The world's list of pairs the solver met in this step.
    phContactConstraint* touchedNext = nullptr;
};

// The rows of one contact point: its normal row at index, friction rows
// from rowCount on. Returns the new row count.
int phContactPointRows(phRowParams& params, const phContactConstraint& contact, phMaterialPair& material, int index,
                       int rowCount);
