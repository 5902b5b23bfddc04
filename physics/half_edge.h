#pragma once

#include <cstdint>

// One half-edge of a shape's shared table; twin, next and previous are
// indices into the same table.
struct phHalfEdge {
    std::int32_t vertex;
    std::int32_t twin;
    std::int32_t next;
    std::int32_t prev;
};
static_assert(sizeof(phHalfEdge) == 16);
