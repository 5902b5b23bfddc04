#pragma once

#include <cstdint>

class phRigidBody;
struct phBroadphaseCell;

// One body in one of a cell's three sorted axis lists.
struct phBroadphaseEntry {
    phBroadphaseEntry* prev = nullptr;
    phBroadphaseEntry* next = nullptr;
    phRigidBody* body = nullptr;
    // The body's box minimum on the list's axis.
    float key = 0.0f;
};

// What a body holds for the broadphase.
struct phBroadphaseProxy {
    phBroadphaseCell* cell = nullptr;
    phBroadphaseEntry entries[3];
    phRigidBody* movedPrev = nullptr;
    phRigidBody* movedNext = nullptr;
    bool inMovedList = false;
    // Step in which the body's forces and box were last refreshed.
    std::uint64_t stamp = 0;
    // Step in which the body was last swept against its neighbours; kept
    // apart from the stamp so two refreshed bodies still pair.
    std::uint64_t sweepMark = 0;
};
