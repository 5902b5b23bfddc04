#include "physics/collision.h"

#include <cmath>
#include <cstring>

#include "physics/class_id.h"
#include "physics/maths.h"
#include "physics/name_hash.h"

std::int32_t phQuantise(float value)
{
    // Out-of-range values saturate instead of overflowing the conversion.
    const double scaled = static_cast<double>(value) * 1024.0;
    if (std::isnan(scaled)) {
        return 0;
    }
    if (scaled >= 2147483647.0) {
        return INT32_MAX;
    }
    if (scaled <= -2147483648.0) {
        return INT32_MIN;
    }
    return static_cast<std::int32_t>(scaled);
}

phCollision::phCollision(std::uint32_t signature, const phMat4& offset, std::uint32_t kind)
    : m_signature(signature), m_kind(kind)
{
    SetOffsetMatrix(offset);
}

std::uint32_t phCollision::GetTypeId() const { return phGetClassId(phClassIndex::Collision); }

bool phCollision::IsType(std::uint32_t id) const
{
    return id == phGetClassId(phClassIndex::Collision) || phRef::IsType(id);
}

void phCollision::GetLocalMatrix(phMat4& out) const { out = GetIdentityMatrix(); }

void phCollision::SetOffsetMatrix(const phMat4& m)
{
    m_offset = m;
    bool identity = true;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            if (m[i][j] != (i == j ? 1.0f : 0.0f)) {
                identity = false;
            }
        }
    }
    m_flags = identity ? (m_flags & ~kFlagOffset) : (m_flags | kFlagOffset);
}

std::uint32_t phCollision::MakeSignature(std::uint32_t kind, const float* sizes, int sizeCount, const phMat4& offset)
{
    std::uint32_t words[32] = {};
    int n = 0;
    words[n++] = kind;
    if (sizeCount > 3) {
        sizeCount = 3;
    }
    for (int i = 0; i < sizeCount; ++i) {
        words[n++] = static_cast<std::uint32_t>(phQuantise(sizes[i]));
    }
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            const float value = offset[i][j];
            std::memcpy(&words[n++], &value, sizeof(float));
        }
    }
    unsigned char bytes[128];
    for (int i = 0; i < 32; ++i) {
        for (int b = 0; b < 4; ++b) {
            bytes[i * 4 + b] = static_cast<unsigned char>(words[i] >> (8 * b));
        }
    }
    return phNameHash(bytes, sizeof(bytes), 0);
}
