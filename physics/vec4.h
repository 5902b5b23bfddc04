#pragma once

#include <cmath>

// Four floats; points carry w = 1, directions w = 0. Aligned for 4-wide loads.
struct alignas(16) phVec4 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 0.0f;

    constexpr phVec4() = default;
    constexpr phVec4(float ax, float ay, float az, float aw) : x(ax), y(ay), z(az), w(aw) {}

    constexpr float& operator[](int i) { return i == 0 ? x : i == 1 ? y : i == 2 ? z : w; }
    constexpr float operator[](int i) const { return i == 0 ? x : i == 1 ? y : i == 2 ? z : w; }
};

// Arithmetic works on x, y, z; w comes from the left operand.
inline phVec4 operator+(const phVec4& a, const phVec4& b) { return {a.x + b.x, a.y + b.y, a.z + b.z, a.w}; }
inline phVec4 operator-(const phVec4& a, const phVec4& b) { return {a.x - b.x, a.y - b.y, a.z - b.z, a.w}; }
inline phVec4 operator*(const phVec4& a, float s) { return {a.x * s, a.y * s, a.z * s, a.w}; }
inline phVec4 operator*(float s, const phVec4& a) { return a * s; }
inline phVec4& operator+=(phVec4& a, const phVec4& b) { a.x += b.x; a.y += b.y; a.z += b.z; return a; }
inline phVec4& operator-=(phVec4& a, const phVec4& b) { a.x -= b.x; a.y -= b.y; a.z -= b.z; return a; }
inline phVec4& operator*=(phVec4& a, float s) { a.x *= s; a.y *= s; a.z *= s; return a; }
inline phVec4 operator-(const phVec4& a) { return {-a.x, -a.y, -a.z, a.w}; }

inline float phDot(const phVec4& a, const phVec4& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline phVec4 phCross(const phVec4& a, const phVec4& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, a.w};
}
inline float phLengthSq(const phVec4& a) { return phDot(a, a); }
inline float phLength(const phVec4& a) { return std::sqrt(phDot(a, a)); }
// Component-wise product on x, y, z; w of a.
inline phVec4 phMulPerAxis(const phVec4& a, const phVec4& b) { return {a.x * b.x, a.y * b.y, a.z * b.z, a.w}; }
inline bool phIsFinite(const phVec4& a) { return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z); }
