#include "physics/contact_constraint.h"

#include <new>

#include "physics/row_solver.h"
#include "physics/world.h"

void phContactConstraint::CallDestructionCallback()
{
    FreeNodes();
    if (world != nullptr) {
        world->RemoveContact(this);
    }
}

int phContactConstraint::BuildRows(phRowParams& params)
{
    std::uint32_t active = activeCount < count ? activeCount : count;
    active = active < kMaxActive ? active : kMaxActive;
    int rows = static_cast<int>(active);
    phContactNode* node = last;
    for (std::uint32_t i = 0; i < active && node != nullptr; ++i, node = node->prev) {
        rows = phContactPointRows(params, *this, node->material, static_cast<int>(i), rows);
    }
    return rows;
}

phContactNode* phContactConstraint::AppendNode()
{
    void* storage = nodePool != nullptr ? nodePool->Alloc() : nullptr;
    if (storage == nullptr) {
        return nullptr;
    }
    auto* node = ::new (storage) phContactNode();
    node->prev = last;
    if (last != nullptr) {
        last->next = node;
    } else {
        first = node;
    }
    last = node;
    ++count;
    return node;
}

void phContactConstraint::MoveToTail(phContactNode* node)
{
    if (node == last) {
        return;
    }
    if (node->prev != nullptr) {
        node->prev->next = node->next;
    } else {
        first = node->next;
    }
    node->next->prev = node->prev;
    node->prev = last;
    node->next = nullptr;
    last->next = node;
    last = node;
}

void phContactConstraint::MoveToHead(phContactNode* node)
{
    if (node == first) {
        return;
    }
    node->prev->next = node->next;
    if (node->next != nullptr) {
        node->next->prev = node->prev;
    } else {
        last = node->prev;
    }
    node->prev = nullptr;
    node->next = first;
    first->prev = node;
    first = node;
}

void phContactConstraint::FreeNodes()
{
    while (first != nullptr) {
        phContactNode* next = first->next;
        first->~phContactNode();
        nodePool->Free(first);
        first = next;
    }
    last = nullptr;
    count = 0;
    activeCount = 0;
}
