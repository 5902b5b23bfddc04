#include "animation/transform.h"

#include <gtest/gtest.h>

#include <cmath>

#include "animation/core/matrix_decomposition.h"

namespace Anim {
namespace {

using AnimCore::Matrix;
using AnimCore::Quaternion;
using AnimCore::Vector3;

void ExpectMatrix(const Matrix& m, const float (&expected)[16]) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(m.m16[i], expected[i], 1e-6) << "element " << i;
}

const float kS = std::sqrt(0.5f);

TEST(LocalMatrix, ScaleRotationPositionInOrderOne) {
  // 90 degrees about z maps x to y. Scale (2, 3, 4) first, then the rotation:
  // row 0 = 2 * (0, 1, 0), row 1 = 3 * (-1, 0, 0), row 2 = 4 * (0, 0, 1).
  Transform t;
  t.rotation = Quaternion(0, 0, kS, kS);
  t.scale = Vector3(2, 3, 4);
  t.position = Vector3(5, 6, 7);
  Matrix m;
  CalcLocalMatrix(t, 1, nullptr, m);
  ExpectMatrix(m, {0, 2, 0, 0, -3, 0, 0, 0, 0, 0, 4, 0, 5, 6, 7, 1});
  // Order 0 with an unscaled parent (no parent scale given) is the same matrix.
  Matrix m0;
  CalcLocalMatrix(t, 0, nullptr, m0);
  ExpectMatrix(m0, {0, 2, 0, 0, -3, 0, 0, 0, 0, 0, 4, 0, 5, 6, 7, 1});
}

TEST(LocalMatrix, ScaleAlongTheScaleRotationAxes) {
  // Scale rotation of 90 degrees about z, scale (2, 1, 1): the stretch runs along y.
  // SR^-1 * diag(2,1,1) * SR = diag(1, 2, 1).
  Transform t;
  t.scaleRotation = Quaternion(0, 0, kS, kS);
  t.scale = Vector3(2, 1, 1);
  Matrix m;
  CalcLocalMatrix(t, 1, nullptr, m);
  ExpectMatrix(m, {1, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
}

TEST(LocalMatrix, OrderZeroUndoesTheParentScaleAfterTheRotation) {
  // S * R * P^-1 * T with R = 90 degrees about z, parent scale (2, 4, 8):
  // rows of S * R as above with scale 1: (0,1,0), (-1,0,0), (0,0,1); then the columns
  // are divided by (2, 4, 8). The translation is not divided.
  Transform t;
  t.rotation = Quaternion(0, 0, kS, kS);
  t.position = Vector3(1, 1, 1);
  const Vector3 parentScale(2, 4, 8);
  Matrix m;
  CalcLocalMatrix(t, 0, &parentScale, m);
  ExpectMatrix(m, {0, 0.25f, 0, 0, -0.5f, 0, 0, 0, 0, 0, 0.125f, 0, 1, 1, 1, 1});
  // Order 1 ignores the parent scale.
  CalcLocalMatrix(t, 1, &parentScale, m);
  ExpectMatrix(m, {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 1, 1, 1, 1});
  // A zero parent scale component cannot be undone and is left alone.
  const Vector3 flat(0, 1, 1);
  CalcLocalMatrix(t, 0, &flat, m);
  ExpectMatrix(m, {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 1, 1, 1, 1});
}

TEST(LocalMatrix, DecompositionGivesTheTransformBack) {
  Transform t;
  t.rotation = Quaternion(0.1f, 0.2f, 0.3f, 0.9f).Normalized();
  t.scaleRotation = Quaternion(0.3f, -0.1f, 0.2f, 0.8f).Normalized();
  t.scale = Vector3(1.5f, 0.5f, 2.0f);
  t.position = Vector3(-3, 4, 0.5f);
  Matrix m;
  CalcLocalMatrix(t, 1, nullptr, m);
  const AnimCore::MatrixDecomposition d(m);
  Transform back;
  back.rotation = d.rotation;
  back.scaleRotation = d.scaleRotation;
  back.scale = d.scale;
  back.position = d.translation;
  Matrix again;
  CalcLocalMatrix(back, 1, nullptr, again);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(again.m16[i], m.m16[i], 1e-4) << i;
  EXPECT_NEAR(d.translation.x, -3.0f, 1e-6);
}

// The matrix without a scale rotation against a plain product S * R * P^-1 + T, for
// rotations all round, odd scales, both orders and parent scales with a zero in them.
TEST(LocalMatrix, WithoutScaleRotationMatchesThePlainProduct) {
  const Vector3 parentScales[] = {Vector3(1, 1, 1), Vector3(2, 0.5f, 3), Vector3(0, 4, -2)};
  for (int n = 0; n < 40; ++n) {
    const float a = 0.37f * static_cast<float>(n);
    Transform t;
    t.rotation = Quaternion(std::sin(a), std::cos(1.3f * a), std::sin(2.1f * a + 1.0f), std::cos(a + 0.5f)).Normalized();
    t.scale = Vector3(1.0f + 0.1f * static_cast<float>(n % 5), -0.5f + 0.07f * static_cast<float>(n % 3), 2.0f);
    t.position = Vector3(a, -a, 0.5f * a);
    for (uint32_t order = 0; order < 2; ++order) {
      for (const Vector3& p : parentScales) {
        Matrix scale;
        scale(0, 0) = t.scale.x;
        scale(1, 1) = t.scale.y;
        scale(2, 2) = t.scale.z;
        Matrix undo;
        if (order == 0) {
          undo(0, 0) = std::fabs(p.x) > 1e-6f ? 1.0f / p.x : 1.0f;
          undo(1, 1) = std::fabs(p.y) > 1e-6f ? 1.0f / p.y : 1.0f;
          undo(2, 2) = std::fabs(p.z) > 1e-6f ? 1.0f / p.z : 1.0f;
        }
        Matrix expected = scale * t.rotation.ToMatrix() * undo;
        expected(3, 0) = t.position.x;
        expected(3, 1) = t.position.y;
        expected(3, 2) = t.position.z;
        Matrix m;
        CalcLocalMatrix(t, order, &p, m);
        for (int i = 0; i < 16; ++i) EXPECT_NEAR(m.m16[i], expected.m16[i], 1e-5) << n << " " << order << " " << i;
      }
    }
  }
}

}  // namespace
}  // namespace Anim
