#pragma once

#include "physics/vec4.h"

// Rows 0 to 2 are the axes, row 3 the position; points are row vectors: p·R + T.
struct alignas(16) phMat4 {
    phVec4 rows[4];

    constexpr phVec4& operator[](int i) { return rows[i]; }
    constexpr const phVec4& operator[](int i) const { return rows[i]; }
};

inline phVec4 phRotate(const phMat4& m, const phVec4& v)
{
    return {v.x * m[0].x + v.y * m[1].x + v.z * m[2].x,
            v.x * m[0].y + v.y * m[1].y + v.z * m[2].y,
            v.x * m[0].z + v.y * m[1].z + v.z * m[2].z, 1.0f};
}

inline phVec4 phUnrotate(const phMat4& m, const phVec4& v)
{
    return {phDot(v, m[0]), phDot(v, m[1]), phDot(v, m[2]), 1.0f};
}

inline phVec4 phTransformPoint(const phMat4& m, const phVec4& p)
{
    phVec4 r = phRotate(m, p) + m[3];
    r.w = m[3].w;
    return r;
}

inline phVec4 phUntransformPoint(const phMat4& m, const phVec4& p) { return phUnrotate(m, p - m[3]); }

// Ordinary 4 × 4 product: a point placed by a, then by b.
inline phMat4 phMultiply(const phMat4& a, const phMat4& b)
{
    phMat4 r;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            r[i][j] = a[i].x * b[0][j] + a[i].y * b[1][j] + a[i].z * b[2][j] + a[i].w * b[3][j];
        }
    }
    return r;
}
