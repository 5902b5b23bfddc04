#pragma once

#include <cstdint>

// Collision classes known by id (the name hash of the class name). Only the
// box and the sphere have constructors; the others are recognised by id.
enum class phClassIndex : int {
    CollisionPolygonalSoup,
    CollisionConvexPolygon,
    Ref,
    Collision,
    ConvexCollision,
    DoublePlaneBSPPolygonSoup,
    PolygonSoupDatabase,
    CollisionBox,
    CollisionNull,
    CollisionCone,
    CollisionSphere,
    CollisionEllipse,
    CollisionCapsule,
    CollisionCylinder,
    CompoundCollision,
    CollisionConvexHull,
    CollisionConvexModifier,
    CollisionChamferCylinder,
    BaseNode,
    Count
};

std::uint32_t phGetClassId(phClassIndex index);
const char* phGetClassName(phClassIndex index);
