#include "physics/quat.h"

#include <cmath>

phQuat phQuatFromAxisAngle(const phVec4& axis, float angle)
{
    const float s = std::sin(angle * 0.5f);
    return {axis.x * s, axis.y * s, axis.z * s, std::cos(angle * 0.5f)};
}

phQuat phQuatFromMatrix(const phMat4& m)
{
    // The textbook method reads the matrix as column vectors, which yields
    // the conjugate for our row-vector matrices; negating x, y, z undoes it.
    float q[4];
    const float trace = m[0][0] + m[1][1] + m[2][2];
    if (trace > 0.0f) {
        float s = std::sqrt(trace + 1.0f);
        q[3] = 0.5f * s;
        s = 0.5f / s;
        q[0] = (m[2][1] - m[1][2]) * s;
        q[1] = (m[0][2] - m[2][0]) * s;
        q[2] = (m[1][0] - m[0][1]) * s;
    } else {
        static constexpr int kNext[3] = {1, 2, 0};
        int i = 0;
        if (m[1][1] > m[0][0]) {
            i = 1;
        }
        if (m[2][2] > m[i][i]) {
            i = 2;
        }
        const int j = kNext[i];
        const int k = kNext[j];
        float s = std::sqrt(m[i][i] - (m[j][j] + m[k][k]) + 1.0f);
        q[i] = 0.5f * s;
        s = s != 0.0f ? 0.5f / s : 0.0f;
        q[3] = (m[k][j] - m[j][k]) * s;
        q[j] = (m[j][i] + m[i][j]) * s;
        q[k] = (m[k][i] + m[i][k]) * s;
    }
    return {-q[0], -q[1], -q[2], q[3]};
}

phQuat phQuatMultiply(const phQuat& a, const phQuat& b)
{
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

phQuat phQuatNormalise(const phQuat& q)
{
    const float len2 = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
    if (!(len2 > 0.0f) || !std::isfinite(len2)) {
        return {};
    }
    const float inv = 1.0f / std::sqrt(len2);
    return {q.x * inv, q.y * inv, q.z * inv, q.w * inv};
}
