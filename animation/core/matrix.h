#pragma once

#include "animation/core/vector3.h"

namespace AnimCore {

// 4x4 float matrix, row-major (row r, column c at index 4r + c). Points are row
// vectors multiplied from the left; rows 0-2 are the transformed axes, row 3 the
// translation. A * B transforms by A first, then by B.
class Matrix {
 public:
  float m16[16];

  // The identity.
  constexpr Matrix() : m16{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1} {}
  static constexpr Matrix Identity() { return Matrix(); }

  float& operator()(int row, int column) { return m16[4 * row + column]; }
  float operator()(int row, int column) const { return m16[4 * row + column]; }

  void SetIdentity() { *this = Matrix(); }

  Matrix operator*(const Matrix& right) const;
  Matrix& operator*=(const Matrix& right);
  // out = a * b; out may be a or b.
  static void Multiply(const Matrix& a, const Matrix& b, Matrix& out);

  // p times the upper 3x3 part, plus row 3.
  Vector3 TransformPoint(const Vector3& p) const {
    return {p.x * m16[0] + p.y * m16[4] + p.z * m16[8] + m16[12],
            p.x * m16[1] + p.y * m16[5] + p.z * m16[9] + m16[13],
            p.x * m16[2] + p.y * m16[6] + p.z * m16[10] + m16[14]};
  }
  // v times the upper 3x3 part (no translation).
  Vector3 TransformVector(const Vector3& v) const {
    return {v.x * m16[0] + v.y * m16[4] + v.z * m16[8],
            v.x * m16[1] + v.y * m16[5] + v.z * m16[9],
            v.x * m16[2] + v.y * m16[6] + v.z * m16[10]};
  }

  void SetRotationMatrixY(float angle);
  void SetRotationMatrixZ(float angle);
  // Identity for a zero axis; the axis need not be unit length.
  void SetRotationMatrixAxisAngle(const Vector3& axis, float angle);

  // In place. A singular matrix becomes the identity (result false) rather than
  // filling with infinities.
  bool Inverse();
  Matrix Inversed() const;

  void Transpose();
  float CalcDeterminant3x3() const;
  // Every element within epsilon of the identity's.
  bool IsIdentity(float epsilon) const;
};

}  // namespace AnimCore
