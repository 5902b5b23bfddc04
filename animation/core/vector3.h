#pragma once

#include <cmath>

namespace AnimCore {

class Vector3 {
 public:
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;

  constexpr Vector3() = default;
  constexpr Vector3(float vx, float vy, float vz) : x(vx), y(vy), z(vz) {}

  constexpr Vector3 operator+(const Vector3& v) const { return {x + v.x, y + v.y, z + v.z}; }
  constexpr Vector3 operator-(const Vector3& v) const { return {x - v.x, y - v.y, z - v.z}; }
  constexpr Vector3 operator-() const { return {-x, -y, -z}; }
  constexpr Vector3 operator*(float s) const { return {x * s, y * s, z * s}; }
  constexpr Vector3 operator/(float s) const { return {x / s, y / s, z / s}; }
  constexpr Vector3& operator+=(const Vector3& v) {
    x += v.x;
    y += v.y;
    z += v.z;
    return *this;
  }
  constexpr Vector3& operator-=(const Vector3& v) {
    x -= v.x;
    y -= v.y;
    z -= v.z;
    return *this;
  }
  constexpr Vector3& operator*=(float s) {
    x *= s;
    y *= s;
    z *= s;
    return *this;
  }
  constexpr bool operator==(const Vector3&) const = default;

  constexpr float Dot(const Vector3& v) const { return x * v.x + y * v.y + z * v.z; }
  constexpr Vector3 Cross(const Vector3& v) const {
    return {y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x};
  }
  constexpr float SquareLength() const { return x * x + y * y + z * z; }
  float Length() const { return std::sqrt(SquareLength()); }
};

constexpr Vector3 operator*(float s, const Vector3& v) { return v * s; }

// Scales v to length 1 in place. The zero vector is left as it is rather
// than filled with NaN.
inline Vector3& Vector3Normalize(Vector3& v) {
  const float squareLength = v.SquareLength();
  if (!(squareLength > 0.0f)) return v;
  const float inverse = 1.0f / std::sqrt(squareLength);
  v.x *= inverse;
  v.y *= inverse;
  v.z *= inverse;
  return v;
}

}  // namespace AnimCore
