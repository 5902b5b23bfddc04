#include "animation/core/matrix.h"

#include <cmath>
#include <limits>
#include <utility>

namespace AnimCore {
namespace {
// Relative size of a determinant below which a matrix counts as singular, squared.
constexpr double kSingularTolerance2 = 1e-12;
}  // namespace

void Matrix::Multiply(const Matrix& a, const Matrix& b, Matrix& out) {
  const float* l = a.m16;
  const float* r = b.m16;
  float result[16];
  for (int row = 0; row < 4; ++row) {
    const float l0 = l[4 * row];
    const float l1 = l[4 * row + 1];
    const float l2 = l[4 * row + 2];
    const float l3 = l[4 * row + 3];
    for (int column = 0; column < 4; ++column) {
      result[4 * row + column] =
          l0 * r[column] + l1 * r[4 + column] + l2 * r[8 + column] + l3 * r[12 + column];
    }
  }
  for (int i = 0; i < 16; ++i) out.m16[i] = result[i];
}

Matrix Matrix::operator*(const Matrix& right) const {
  Matrix result;
  Multiply(*this, right, result);
  return result;
}

Matrix& Matrix::operator*=(const Matrix& right) {
  Multiply(*this, right, *this);
  return *this;
}

void Matrix::SetRotationMatrixY(float angle) {
  SetIdentity();
  const float c = std::cos(angle);
  const float s = std::sin(angle);
  m16[0] = c;
  m16[2] = -s;
  m16[8] = s;
  m16[10] = c;
}

void Matrix::SetRotationMatrixZ(float angle) {
  SetIdentity();
  const float c = std::cos(angle);
  const float s = std::sin(angle);
  m16[0] = c;
  m16[1] = s;
  m16[4] = -s;
  m16[5] = c;
}

void Matrix::SetRotationMatrixAxisAngle(const Vector3& axis, float angle) {
  SetIdentity();
  const float squareLength = axis.SquareLength();
  if (squareLength == 0.0f) return;
  const float inverseLength = 1.0f / std::sqrt(squareLength);
  const float x = axis.x * inverseLength;
  const float y = axis.y * inverseLength;
  const float z = axis.z * inverseLength;
  const float c = std::cos(angle);
  const float s = std::sin(angle);
  const float t = 1.0f - c;
  m16[0] = c + t * x * x;
  m16[1] = t * x * y + s * z;
  m16[2] = t * x * z - s * y;
  m16[4] = t * x * y - s * z;
  m16[5] = c + t * y * y;
  m16[6] = t * y * z + s * x;
  m16[8] = t * x * z + s * y;
  m16[9] = t * y * z - s * x;
  m16[10] = c + t * z * z;
}

bool Matrix::Inverse() {
  const float* m = m16;
  // 2x2 minors of the lower two rows and of the upper two rows.
  const float s0 = m[0] * m[5] - m[4] * m[1];
  const float s1 = m[0] * m[6] - m[4] * m[2];
  const float s2 = m[0] * m[7] - m[4] * m[3];
  const float s3 = m[1] * m[6] - m[5] * m[2];
  const float s4 = m[1] * m[7] - m[5] * m[3];
  const float s5 = m[2] * m[7] - m[6] * m[3];
  const float c5 = m[10] * m[15] - m[14] * m[11];
  const float c4 = m[9] * m[15] - m[13] * m[11];
  const float c3 = m[9] * m[14] - m[13] * m[10];
  const float c2 = m[8] * m[15] - m[12] * m[11];
  const float c1 = m[8] * m[14] - m[12] * m[10];
  const float c0 = m[8] * m[13] - m[12] * m[9];
  const float det = s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
  // Singular when the determinant is negligible against the product of the row
  // lengths (its largest possible value): rounding leaves such matrices a tiny
  // determinant whose "inverse" would be noise.
  double bound = 1.0;
  for (int row = 0; row < 4; ++row) {
    const double a = m[4 * row], b = m[4 * row + 1], c = m[4 * row + 2], d = m[4 * row + 3];
    bound *= a * a + b * b + c * c + d * d;
  }
  const double det2 = double{det} * double{det};
  if (!std::isfinite(det) || !(det2 > kSingularTolerance2 * bound) ||
      !(std::fabs(det) >= std::numeric_limits<float>::min())) {
    SetIdentity();
    return false;
  }
  const float inv = 1.0f / det;
  float r[16];
  r[0] = (m[5] * c5 - m[6] * c4 + m[7] * c3) * inv;
  r[1] = (-m[1] * c5 + m[2] * c4 - m[3] * c3) * inv;
  r[2] = (m[13] * s5 - m[14] * s4 + m[15] * s3) * inv;
  r[3] = (-m[9] * s5 + m[10] * s4 - m[11] * s3) * inv;
  r[4] = (-m[4] * c5 + m[6] * c2 - m[7] * c1) * inv;
  r[5] = (m[0] * c5 - m[2] * c2 + m[3] * c1) * inv;
  r[6] = (-m[12] * s5 + m[14] * s2 - m[15] * s1) * inv;
  r[7] = (m[8] * s5 - m[10] * s2 + m[11] * s1) * inv;
  r[8] = (m[4] * c4 - m[5] * c2 + m[7] * c0) * inv;
  r[9] = (-m[0] * c4 + m[1] * c2 - m[3] * c0) * inv;
  r[10] = (m[12] * s4 - m[13] * s2 + m[15] * s0) * inv;
  r[11] = (-m[8] * s4 + m[9] * s2 - m[11] * s0) * inv;
  r[12] = (-m[4] * c3 + m[5] * c1 - m[6] * c0) * inv;
  r[13] = (m[0] * c3 - m[1] * c1 + m[2] * c0) * inv;
  r[14] = (-m[12] * s3 + m[13] * s1 - m[14] * s0) * inv;
  r[15] = (m[8] * s3 - m[9] * s1 + m[10] * s0) * inv;
  for (int i = 0; i < 16; ++i) {
    if (!std::isfinite(r[i])) {
      SetIdentity();
      return false;
    }
  }
  for (int i = 0; i < 16; ++i) m16[i] = r[i];
  return true;
}

Matrix Matrix::Inversed() const {
  Matrix result = *this;
  result.Inverse();
  return result;
}

void Matrix::Transpose() {
  for (int row = 0; row < 4; ++row) {
    for (int column = row + 1; column < 4; ++column) {
      std::swap(m16[4 * row + column], m16[4 * column + row]);
    }
  }
}

float Matrix::CalcDeterminant3x3() const {
  const float* m = m16;
  return m[0] * (m[5] * m[10] - m[6] * m[9]) - m[1] * (m[4] * m[10] - m[6] * m[8]) +
         m[2] * (m[4] * m[9] - m[5] * m[8]);
}

bool Matrix::IsIdentity(float epsilon) const {
  for (int i = 0; i < 16; ++i) {
    const float expected = (i % 5 == 0) ? 1.0f : 0.0f;
    if (!(std::fabs(m16[i] - expected) <= epsilon)) return false;
  }
  return true;
}

}  // namespace AnimCore
