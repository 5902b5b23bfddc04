#pragma once

#include <cstdint>

#include "physics/mat4.h"
#include "physics/ref.h"

class phCollision;

// Record handed to ForEachFace; callers may extend it, the matrix comes first.
struct phFaceContext {
    phMat4 matrix;
};
using phFaceCallback = void (*)(phFaceContext* context, int vertexCount, const float* triples, int faceId);

// Returns 0 to skip the shape in a ray cast.
using phRayPrefilter = std::uint32_t (*)(void* userData, const phCollision* shape);

// What a ray cast fills; the caller fills the rest of its own record.
struct phRayHit {
    phVec4 normal;
    std::int64_t userId = 0;
};

// Asked for a world-space plane (normal, w); nonzero when it wrote one.
using phPlaneCallback = std::uint32_t (*)(std::uint32_t userId, void* userData, const phMat4& matrix,
                                          phVec4& outPlane);

// Ray casts return the hit parameter along p0..p1, or this when nothing is hit.
constexpr float kRayMiss = 1.2f;

// Signature quantisation: truncation of value × 1024, saturated to 32 bits.
std::int32_t phQuantise(float value);

// Abstract collision shape with its placement in the body's frame.
class phCollision : public phRef {
public:
    enum Kind : std::uint32_t { kKindBox = 0, kKindSphere = 2 };
    // Vehicle: the collision of a body that carries a vehicle joint; tire: a
    // vehicle tire's collision, whose contacts the vehicle takes.
    enum Flags : std::uint32_t { kFlagOffset = 1u << 0, kFlagVehicle = 1u << 1, kFlagTire = 1u << 2 };

    std::uint32_t GetTypeId() const override;
    bool IsType(std::uint32_t id) const override;

    // Kept for its place in the table; no caller.
    virtual void ReservedPair(void* a, void* b) = 0;
    virtual std::uint32_t GetUserId() const { return 0; }
    virtual void SetUserId(std::uint32_t) {}
    // World-space box (w = 1) of the shape placed by matrix.
    virtual void CalcAABB(const phMat4& matrix, phVec4& outMin, phVec4& outMax) const = 0;
    // Calls back once per face with its vertices placed by offset × context->matrix.
    virtual int ForEachFace(phFaceContext* context, phFaceCallback callback) const = 0;
    // Local-frame ray cast; kRayMiss when nothing is hit.
    virtual float RayCast(const phVec4& p0, const phVec4& p1, phRayHit* hit, phRayPrefilter prefilter,
                          void* userData) const = 0;
    virtual float GetVolume() const = 0;
    // Inertia per unit mass about the centre of mass, and that centre.
    virtual void CalcInertia(phVec4& outInertia, phVec4& outCentre) const = 0;
    // World-space centroid of the part behind the plane, its volume in w.
    virtual void CalcVolumeBelowPlane(phVec4& out, const phMat4& matrix, phPlaneCallback planeCallback,
                                      void* userData) const = 0;
    virtual void GetLocalMatrix(phMat4& out) const;
    // Kept for its place in the table; no caller.
    virtual void ReservedSingle(void*) {}
    virtual std::uint32_t GetSignature() const = 0;

    void SetOffsetMatrix(const phMat4& m);
    const phMat4& GetOffsetMatrix() const { return m_offset; }
    std::uint32_t GetStoredSignature() const { return m_signature; }
    std::uint32_t GetKind() const { return m_kind; }
    std::uint32_t GetFlags() const { return m_flags; }
    void SetVehicleFlag(bool on) { m_flags = on ? (m_flags | kFlagVehicle) : (m_flags & ~kFlagVehicle); }
    void SetTireFlag(bool on) { m_flags = on ? (m_flags | kFlagTire) : (m_flags & ~kFlagTire); }
    bool HasOffset() const { return (m_flags & kFlagOffset) != 0; }

    // Hash of the 128-byte record {kind, quantised sizes, offset matrix bits, zeros}.
    static std::uint32_t MakeSignature(std::uint32_t kind, const float* sizes, int sizeCount, const phMat4& offset);

protected:
    phCollision(std::uint32_t signature, const phMat4& offset, std::uint32_t kind);
    ~phCollision() override = default;

private:
    phMat4 m_offset;
    std::uint32_t m_signature;
    std::uint32_t m_kind;
    std::uint32_t m_flags = 0;
};
