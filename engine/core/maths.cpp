#include "engine/core/maths.h"

#include <cmath>

namespace {

// Rotation part (3 x 3, row-major) of the matrix of a quaternion.
void RotationFromQuaternion(float m[9], const float q[4])
{
    float x = q[0], y = q[1], z = q[2], w = q[3];
    m[0] = 1.0f - 2.0f * (y * y + z * z);
    m[1] = 2.0f * (x * y + z * w);
    m[2] = 2.0f * (x * z - y * w);
    m[3] = 2.0f * (x * y - z * w);
    m[4] = 1.0f - 2.0f * (x * x + z * z);
    m[5] = 2.0f * (y * z + x * w);
    m[6] = 2.0f * (x * z + y * w);
    m[7] = 2.0f * (y * z - x * w);
    m[8] = 1.0f - 2.0f * (x * x + y * y);
}

// The rotation a then b (the product b a).
void Multiply(float out[4], const float a[4], const float b[4])
{
    float r[4];
    r[0] = b[3] * a[0] + b[0] * a[3] + b[1] * a[2] - b[2] * a[1];
    r[1] = b[3] * a[1] - b[0] * a[2] + b[1] * a[3] + b[2] * a[0];
    r[2] = b[3] * a[2] + b[0] * a[1] - b[1] * a[0] + b[2] * a[3];
    r[3] = b[3] * a[3] - b[0] * a[0] - b[1] * a[1] - b[2] * a[2];
    for (int i = 0; i < 4; ++i)
        out[i] = r[i];
}

void Normalize(float v[3])
{
    float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length == 0.0f) {
        v[0] = v[1] = v[2] = 0.0f;
        return;
    }
    for (int i = 0; i < 3; ++i)
        v[i] /= length;
}

void Cross(float out[3], const float a[3], const float b[3])
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

} // namespace

void MatrixFromPositionRotation(float out[16], const float translation[3], const float rotation[4])
{
    float m[9];
    RotationFromQuaternion(m, rotation);
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col)
            out[row * 4 + col] = m[row * 3 + col];
        out[row * 4 + 3] = 0.0f;
    }
    out[12] = translation[0];
    out[13] = translation[1];
    out[14] = translation[2];
    out[15] = 1.0f;
}

void QuaternionRotateXYZ(float q[4], float x, float y, float z)
{
    const float angles[3] = {x, y, z};
    for (int axis = 0; axis < 3; ++axis) {
        float half = angles[axis] * 0.5f;
        float r[4] = {0.0f, 0.0f, 0.0f, std::cos(half)};
        r[axis] = std::sin(half);
        Multiply(q, q, r);
    }
}

void QuaternionFromDirection(float out[4], const float direction[3])
{
    const float up[3] = {0.0f, 1.0f, 0.0f};
    float zAxis[3] = {direction[0], direction[1], direction[2]};
    Normalize(zAxis);
    float xAxis[3];
    Cross(xAxis, up, zAxis);
    Normalize(xAxis);
    float yAxis[3];
    Cross(yAxis, zAxis, xAxis);

    // The view matrix's rotation: the axes are its columns.
    const float m[3][3] = {
        {xAxis[0], yAxis[0], zAxis[0]},
        {xAxis[1], yAxis[1], zAxis[1]},
        {xAxis[2], yAxis[2], zAxis[2]},
    };
    float trace = m[0][0] + m[1][1] + m[2][2];
    if (trace > 0.0f) {
        float s = std::sqrt(trace + 1.0f) * 2.0f;
        out[3] = 0.25f * s;
        out[0] = (m[1][2] - m[2][1]) / s;
        out[1] = (m[2][0] - m[0][2]) / s;
        out[2] = (m[0][1] - m[1][0]) / s;
    } else if (m[0][0] >= m[1][1] && m[0][0] >= m[2][2]) {
        float s = std::sqrt(std::fmax(1.0f + m[0][0] - m[1][1] - m[2][2], 0.0f)) * 2.0f;
        if (s == 0.0f) {
            out[0] = out[1] = out[2] = 0.0f;
            out[3] = 1.0f;
            return;
        }
        out[0] = 0.25f * s;
        out[1] = (m[0][1] + m[1][0]) / s;
        out[2] = (m[2][0] + m[0][2]) / s;
        out[3] = (m[1][2] - m[2][1]) / s;
    } else if (m[1][1] >= m[2][2]) {
        float s = std::sqrt(1.0f + m[1][1] - m[0][0] - m[2][2]) * 2.0f;
        out[0] = (m[0][1] + m[1][0]) / s;
        out[1] = 0.25f * s;
        out[2] = (m[1][2] + m[2][1]) / s;
        out[3] = (m[2][0] - m[0][2]) / s;
    } else {
        float s = std::sqrt(1.0f + m[2][2] - m[0][0] - m[1][1]) * 2.0f;
        out[0] = (m[2][0] + m[0][2]) / s;
        out[1] = (m[1][2] + m[2][1]) / s;
        out[2] = 0.25f * s;
        out[3] = (m[0][1] - m[1][0]) / s;
    }
}

void BarycentricCoords2D(float out[3], const float p[2], const float a[2], const float b[2],
                         const float c[2])
{
    float v0x = a[0] - c[0], v0y = a[1] - c[1];
    float v1x = b[0] - c[0], v1y = b[1] - c[1];
    float v2x = p[0] - c[0], v2y = p[1] - c[1];
    float det = v0x * v1y - v1x * v0y;
    if (det == 0.0f) {
        out[0] = 0.0f;
        out[1] = 0.0f;
        out[2] = 1.0f;
        return;
    }
    float u = (v2x * v1y - v1x * v2y) / det;
    float v = (v0x * v2y - v2x * v0y) / det;
    out[0] = u;
    out[1] = v;
    out[2] = 1.0f - u - v;
}

void RotateByQuaternion(float v[3], const float q[4])
{
    float m[9];
    RotationFromQuaternion(m, q);
    float x = v[0], y = v[1], z = v[2];
    v[0] = x * m[0] + y * m[3] + z * m[6];
    v[1] = x * m[1] + y * m[4] + z * m[7];
    v[2] = x * m[2] + y * m[5] + z * m[8];
}
