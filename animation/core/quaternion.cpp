#include "animation/core/quaternion.h"

#include <cmath>

namespace AnimCore {

Quaternion& Quaternion::Inverse() {
  const float squareLength = SquareLength();
  if (!(squareLength > 0.0f)) {
    *this = Quaternion();
    return *this;
  }
  const float inverse = 1.0f / squareLength;
  x = -x * inverse;
  y = -y * inverse;
  z = -z * inverse;
  w = w * inverse;
  return *this;
}

Quaternion Quaternion::Inversed() const {
  Quaternion result = *this;
  return result.Inverse();
}

Vector3 Quaternion::Rotate(const Vector3& v) const {
  // v + 2w (u x v) + 2 u x (u x v), u the vector part.
  const Vector3 u(x, y, z);
  const Vector3 t = u.Cross(v) * 2.0f;
  return v + t * w + u.Cross(t);
}

Matrix Quaternion::ToMatrix() const {
  const float xx = x * x, yy = y * y, zz = z * z, ww = w * w;
  Matrix m;
  m.m16[0] = ww + xx - yy - zz;
  m.m16[1] = 2.0f * (x * y + w * z);
  m.m16[2] = 2.0f * (x * z - w * y);
  m.m16[4] = 2.0f * (x * y - w * z);
  m.m16[5] = ww - xx + yy - zz;
  m.m16[6] = 2.0f * (y * z + w * x);
  m.m16[8] = 2.0f * (x * z + w * y);
  m.m16[9] = 2.0f * (y * z - w * x);
  m.m16[10] = ww - xx - yy + zz;
  return m;
}

Quaternion Quaternion::FromMatrix(const Matrix& matrix) {
  const float* m = matrix.m16;
  const float m00 = m[0], m01 = m[1], m02 = m[2];
  const float m10 = m[4], m11 = m[5], m12 = m[6];
  const float m20 = m[8], m21 = m[9], m22 = m[10];
  Quaternion q;
  const float sum = m00 + m11 + m22 + 1.0f;
  if (sum > 0.00001f) {
    const float s = 0.5f / std::sqrt(sum);
    q.w = 0.25f / s;
    q.x = (m12 - m21) * s;
    q.y = (m20 - m02) * s;
    q.z = (m01 - m10) * s;
  } else if (m00 >= m11 && m00 >= m22) {
    const float s = std::sqrt(1.0f + m00 - m11 - m22) * 2.0f;
    if (!(s > 0.0f)) return q;  // not a rotation
    q.x = 0.25f * s;
    q.y = (m01 + m10) / s;
    q.z = (m02 + m20) / s;
    q.w = (m12 - m21) / s;
  } else if (m11 >= m22) {
    const float s = std::sqrt(1.0f + m11 - m00 - m22) * 2.0f;
    if (!(s > 0.0f)) return q;  // not a rotation
    q.x = (m01 + m10) / s;
    q.y = 0.25f * s;
    q.z = (m12 + m21) / s;
    q.w = (m20 - m02) / s;
  } else {
    const float s = std::sqrt(1.0f + m22 - m00 - m11) * 2.0f;
    if (!(s > 0.0f)) return q;  // not a rotation
    q.x = (m02 + m20) / s;
    q.y = (m12 + m21) / s;
    q.z = 0.25f * s;
    q.w = (m01 - m10) / s;
  }
  return q;
}

void Quaternion::ToAxisAngle(Vector3& axis, float& angle) const {
  const float cw = w > 1.0f ? 1.0f : (w < -1.0f ? -1.0f : w);
  const float sinHalf = std::sqrt(1.0f - cw * cw);
  if (sinHalf == 0.0f) {
    axis = Vector3(0.0f, 1.0f, 0.0f);
    angle = 0.0f;
    return;
  }
  angle = 2.0f * std::acos(cw);
  axis = Vector3(x / sinHalf, y / sinHalf, z / sinHalf);
}

Quaternion& QuaternionLerp(const Quaternion& q0, Quaternion& result, const Quaternion& q1, float t) {
  const float w0 = 1.0f - t;
  const float w1 = q0.Dot(q1) < 0.0f ? -t : t;
  result = Quaternion(w0 * q0.x + w1 * q1.x, w0 * q0.y + w1 * q1.y, w0 * q0.z + w1 * q1.z,
                      w0 * q0.w + w1 * q1.w);
  return result;
}

Quaternion& QuaternionFromAxisAngle(Quaternion& result, const Vector3& axis, float angle) {
  const float squareLength = axis.SquareLength();
  if (!(squareLength > 0.0f)) {
    result = Quaternion();
    return result;
  }
  const float k = std::sin(angle * 0.5f) / std::sqrt(squareLength);
  result = Quaternion(axis.x * k, axis.y * k, axis.z * k, std::cos(angle * 0.5f));
  return result;
}

Quaternion& QuaternionFromEulerXYZ(Quaternion& result, float ax, float ay, float az) {
  const float ca = std::cos(ax * 0.5f), sa = std::sin(ax * 0.5f);
  const float cb = std::cos(ay * 0.5f), sb = std::sin(ay * 0.5f);
  const float cc = std::cos(az * 0.5f), sc = std::sin(az * 0.5f);
  result = Quaternion(sa * cb * cc - ca * sb * sc, ca * sb * cc + sa * cb * sc, ca * cb * sc - sa * sb * cc,
                      ca * cb * cc + sa * sb * sc);
  return result;
}

}  // namespace AnimCore
