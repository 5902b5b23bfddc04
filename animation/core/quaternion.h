#pragma once

#include <cmath>

#include "animation/core/matrix.h"
#include "animation/core/vector3.h"

namespace AnimCore {

// x, y, z, w with w the scalar part; the default is the identity.
class Quaternion {
 public:
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
  float w = 1.0f;

  constexpr Quaternion() = default;
  constexpr Quaternion(float qx, float qy, float qz, float qw) : x(qx), y(qy), z(qz), w(qw) {}

  // Hamilton product: (a * b) rotates by b first, then by a.
  constexpr Quaternion operator*(const Quaternion& b) const {
    return {w * b.x + x * b.w + y * b.z - z * b.y, w * b.y + y * b.w + z * b.x - x * b.z,
            w * b.z + z * b.w + x * b.y - y * b.x, w * b.w - x * b.x - y * b.y - z * b.z};
  }
  constexpr bool operator==(const Quaternion&) const = default;

  constexpr float Dot(const Quaternion& q) const { return x * q.x + y * q.y + z * q.z + w * q.w; }
  constexpr float SquareLength() const { return Dot(*this); }
  // Inline: the blend and the samplers call these for every node of every frame.
  float Length() const { return std::sqrt(SquareLength()); }
  // A zero quaternion becomes the identity.
  Quaternion& Normalize() {
    const float length = Length();
    if (!(length > 0.0f)) {
      *this = Quaternion();
      return *this;
    }
    const float inverse = 1.0f / length;
    x *= inverse;
    y *= inverse;
    z *= inverse;
    w *= inverse;
    return *this;
  }
  Quaternion Normalized() const {
    Quaternion result = *this;
    return result.Normalize();
  }
  // In place; the inverse of a zero quaternion is the identity.
  Quaternion& Inverse();
  Quaternion Inversed() const;
  constexpr Quaternion Conjugate() const { return {-x, -y, -z, w}; }

  // v rotated by this (unit) quaternion: q v q*.
  Vector3 Rotate(const Vector3& v) const;
  // The rotation as a row-vector matrix, no translation.
  Matrix ToMatrix() const;
  // The rotation of the upper 3x3 part of an orthonormal matrix.
  static Quaternion FromMatrix(const Matrix& m);
  // Axis (0, 1, 0) and angle 0 when the half angle's sine is 0.
  void ToAxisAngle(Vector3& axis, float& angle) const;
};

// result = (1 - t) q0 + t q1 component by component, with q1 negated when
// it lies on the far arc (q0 . q1 < 0); not normalised. result may be q0 or
// q1.
Quaternion& QuaternionLerp(const Quaternion& q0, Quaternion& result, const Quaternion& q1, float t);
// The rotation by angle (radians) about axis, whose length is divided out;
// the identity for a zero axis.
Quaternion& QuaternionFromAxisAngle(Quaternion& result, const Vector3& axis, float angle);
// Qz(az) * Qy(ay) * Qx(ax): turns about x first, then y, then z.
Quaternion& QuaternionFromEulerXYZ(Quaternion& result, float ax, float ay, float az);

}  // namespace AnimCore
