#include "physics/maths.h"

#include <algorithm>
#include <cmath>
#include <cstring>

const phMat4& GetIdentityMatrix()
{
    static const phMat4 identity = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    return identity;
}

const phMat4& GetZeroMatrix()
{
    static const phMat4 zero = {};
    return zero;
}

void TransformPoints(const phMat4& m, float* out, std::size_t outStride, const float* in,
                     std::size_t inStride, int count)
{
    auto* dst = reinterpret_cast<unsigned char*>(out);
    const auto* src = reinterpret_cast<const unsigned char*>(in);
    for (int i = 0; i < count; ++i) {
        float p[3];
        std::memcpy(p, src, sizeof(p));
        const float r[3] = {
            p[0] * m[0].x + p[1] * m[1].x + p[2] * m[2].x + m[3].x,
            p[0] * m[0].y + p[1] * m[1].y + p[2] * m[2].y + m[3].y,
            p[0] * m[0].z + p[1] * m[1].z + p[2] * m[2].z + m[3].z,
        };
        std::memcpy(dst, r, sizeof(r));
        src += inStride;
        dst += outStride;
    }
}

phMat4 MatrixFromQuaternion(const phQuat& q, const phVec4& position)
{
    const float x = q.x, y = q.y, z = q.z, w = q.w;
    phMat4 r;
    r[0] = {2.0f * (x * x + w * w) - 1.0f, 2.0f * (x * y + z * w), 2.0f * (x * z - y * w), 0.0f};
    r[1] = {2.0f * (x * y - z * w), 2.0f * (y * y + w * w) - 1.0f, 2.0f * (y * z + x * w), 0.0f};
    r[2] = {2.0f * (x * z + y * w), 2.0f * (y * z - x * w), 2.0f * (z * z + w * w) - 1.0f, 0.0f};
    r[3] = {position.x, position.y, position.z, 1.0f};
    return r;
}

phMat4 InverseSymmetric3x3(const phMat4& m)
{
    const float a = m[0][0], b = m[0][1], c = m[0][2];
    const float d = m[1][1], e = m[1][2], f = m[2][2];
    const float c00 = d * f - e * e;
    const float c01 = c * e - b * f;
    const float c02 = b * e - c * d;
    const float det = a * c00 + b * c01 + c * c02;
    phMat4 r = {};
    r[3] = {0.0f, 0.0f, 0.0f, 1.0f};
    if (det == 0.0f || !std::isfinite(det)) {
        return r;
    }
    const float inv = 1.0f / det;
    const float c11 = a * f - c * c;
    const float c12 = b * c - a * e;
    const float c22 = a * d - b * b;
    r[0] = {c00 * inv, c01 * inv, c02 * inv, 0.0f};
    r[1] = {c01 * inv, c11 * inv, c12 * inv, 0.0f};
    r[2] = {c02 * inv, c12 * inv, c22 * inv, 0.0f};
    return r;
}

phVec4 GetEulerAngles(const phMat4& m)
{
    const float s = std::clamp(m[0][2], -0.999999f, 0.999999f);
    const float ay = std::asin(-s);
    float ax = 0.0f;
    float az = 0.0f;
    if (m[0][2] >= 0.99995f) {
        ax = -std::atan2(m[1][0], m[1][1]);
    } else if (m[0][2] <= -0.99995f) {
        ax = std::atan2(m[1][0], m[1][1]);
    } else {
        az = std::atan2(m[0][1], m[0][0]);
        ax = std::atan2(m[1][2], m[2][2]);
    }
    return {ax, ay, az, 0.0f};
}

phMat4 InverseRigid(const phMat4& m)
{
    phMat4 r;
    for (int i = 0; i < 3; ++i) {
        r[i] = {m[0][i], m[1][i], m[2][i], 0.0f};
    }
    const phVec4& p = m[3];
    r[3] = {-phDot(p, m[0]), -phDot(p, m[1]), -phDot(p, m[2]), 1.0f};
    return r;
}

phVec4 ClosestPointOnTriangle(const phVec4& p, const phVec4& a, const phVec4& b, const phVec4& c)
{
    // Voronoi regions of the vertices, then the edges, then the face.
    const phVec4 ab = b - a;
    const phVec4 ac = c - a;
    const phVec4 ap = p - a;
    const float d1 = phDot(ab, ap);
    const float d2 = phDot(ac, ap);
    if (d1 <= 0.0f && d2 <= 0.0f) {
        return a;
    }
    const phVec4 bp = p - b;
    const float d3 = phDot(ab, bp);
    const float d4 = phDot(ac, bp);
    if (d3 >= 0.0f && d4 <= d3) {
        return b;
    }
    const float vc = d1 * d4 - d3 * d2;
    if (vc <= 0.0f && d1 >= 0.0f && d3 <= 0.0f) {
        const float den = d1 - d3;
        return den != 0.0f ? a + ab * (d1 / den) : a;
    }
    const phVec4 cp = p - c;
    const float d5 = phDot(ab, cp);
    const float d6 = phDot(ac, cp);
    if (d6 >= 0.0f && d5 <= d6) {
        return c;
    }
    const float vb = d5 * d2 - d1 * d6;
    if (vb <= 0.0f && d2 >= 0.0f && d6 <= 0.0f) {
        const float den = d2 - d6;
        return den != 0.0f ? a + ac * (d2 / den) : a;
    }
    const float va = d3 * d6 - d5 * d4;
    if (va <= 0.0f && (d4 - d3) >= 0.0f && (d5 - d6) >= 0.0f) {
        const float den = (d4 - d3) + (d5 - d6);
        return den != 0.0f ? b + (c - b) * ((d4 - d3) / den) : b;
    }
    const float sum = va + vb + vc;
    if (!(sum != 0.0f) || !std::isfinite(sum)) {
        return a;
    }
    const float inv = 1.0f / sum;
    return a + ab * (vb * inv) + ac * (vc * inv);
}
