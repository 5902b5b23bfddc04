#pragma once

#include <cstdint>

#include "physics/vec4.h"

class phRigidBody;
class phCollision;

// One contact point as contact generation writes it. The normal points from
// the second body towards the first: the way the first must move to separate.
struct phContactRecord {
    phVec4 point;
    phVec4 normal;
    // The point in each body's local frame; filled by the pair processing.
    phVec4 local0;
    phVec4 local1;
    phRigidBody* body0 = nullptr;
    phRigidBody* body1 = nullptr;
    phCollision* collision0 = nullptr;
    phCollision* collision1 = nullptr;
    // Face attribute of a polygon contact (0 between convex shapes).
    std::int64_t userId = 0;
    float penetration = 0.0f;
};
