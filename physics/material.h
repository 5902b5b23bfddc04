#pragma once

#include <cstdint>

#include "physics/contact_record.h"
#include "physics/vec4.h"

class phRigidBody;
class phContactConstraint;
struct phMaterialPair;

// 0 rejects the pair for this step.
using phContactBeginCallback = int (*)(phMaterialPair* material, phRigidBody* body0, phRigidBody* body1);
// 0 leaves the contact point inactive.
using phContactProcessCallback = int (*)(phMaterialPair* material, phContactConstraint* contact);
using phContactEndCallback = void (*)(phMaterialPair* material);
using phSubShapeCallback = int (*)(phMaterialPair* material, phRigidBody* body0, phRigidBody* body1);

// What two material groups do when their bodies meet. The same record is the
// material of one contact point; then the contact fields hold its geometry.
struct phMaterialPair {
    enum Flags : std::uint32_t {
        kCollide = 1u << 0,
        kFriction0 = 1u << 1,
        kFriction1 = 1u << 2,
        // Per contact: the tangent rows and the normal row start from the
        // values in their force slots.
        kTangent0Target = 1u << 3,
        kTangent1Target = 1u << 4,
        kNormalTarget = 1u << 5,
        kAllowContinuous = 1u << 6,
    };
    static constexpr std::uint32_t kDefaultFlags = kCollide | kFriction0 | kFriction1 | kAllowContinuous;
    static constexpr float kDefaultSoftness = 0.1f;
    static constexpr float kDefaultElasticity = 0.4f;
    static constexpr float kDefaultStaticFriction = 0.9f;
    static constexpr float kDefaultKineticFriction = 0.5f;

    // Per contact only: point, normal (from the second body to the first),
    // the point in both bodies' frames, bodies, collisions, id, penetration.
    phContactRecord contact;
    phVec4 tangent0;
    phVec4 tangent1;
    void* userData = nullptr;
    float softness = kDefaultSoftness;
    float elasticity = kDefaultElasticity;
    float staticFriction[2] = {kDefaultStaticFriction, kDefaultStaticFriction};
    float kineticFriction[2] = {kDefaultKineticFriction, kDefaultKineticFriction};
    // Per contact: the forces of the normal row and of the two friction rows,
    // kept from one step to the next.
    float forces[3] = {0.0f, 0.0f, 0.0f};
    std::uint32_t flags = kDefaultFlags;
    phContactEndCallback endCallback = nullptr;
    phContactBeginCallback beginCallback = nullptr;
    phContactProcessCallback processCallback = nullptr;
    phSubShapeCallback subShapeCallback = nullptr;

    // Copies the pair's surface values into a contact: user data, softness,
    // elasticity, friction, flag bits 0 to 2 (bits 3 to 5 cleared).
    void TakeSurfaceFrom(const phMaterialPair& pair);
};

// Key of the unordered group pair: (max << 16) + min.
inline std::uint32_t phMaterialKey(std::uint32_t a, std::uint32_t b)
{
    const std::uint32_t lo = a < b ? a : b;
    const std::uint32_t hi = a < b ? b : a;
    return (hi << 16) + lo;
}
