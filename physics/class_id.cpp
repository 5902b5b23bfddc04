#include "physics/class_id.h"

#include <array>

#include "physics/name_hash.h"

namespace {

constexpr std::array<const char*, static_cast<int>(phClassIndex::Count)> kNames = {
    "phCollisionPolygonalSoup",
    "phCollisionPolygonalSoup::phCollisionConvexPolygon",
    "phRef",
    "phCollision",
    "phConvexCollision",
    "phDoublePlaneBSPPolygonSoup",
    "phPolygonSoupDatabase",
    "phCollisionBox",
    "phCollisionNull",
    "phCollisionCone",
    "phCollisionSphere",
    "phCollisionEllipse",
    "phCollisionCapsule",
    "phCollisionCylinder",
    "phCompoundCollision",
    "phCollisionConvexHull",
    "phCollisionConvexModifier",
    "phCollisionChamferCylinder",
    "phBaseNode",
};

}  // namespace

std::uint32_t phGetClassId(phClassIndex index)
{
    static const std::array<std::uint32_t, kNames.size()> ids = [] {
        std::array<std::uint32_t, kNames.size()> out{};
        for (std::size_t i = 0; i < kNames.size(); ++i) {
            out[i] = phNameHash(kNames[i]);
        }
        return out;
    }();
    const int i = static_cast<int>(index);
    return i >= 0 && i < static_cast<int>(ids.size()) ? ids[i] : 0;
}

const char* phGetClassName(phClassIndex index)
{
    const int i = static_cast<int>(index);
    return i >= 0 && i < static_cast<int>(kNames.size()) ? kNames[i] : "";
}
