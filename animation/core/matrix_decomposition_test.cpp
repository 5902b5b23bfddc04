#include "animation/core/matrix_decomposition.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace AnimCore {
namespace {

Quaternion AboutAxis(float x, float y, float z, float angle) {
  const float length = std::sqrt(x * x + y * y + z * z);
  const float s = std::sin(angle / 2) / length;
  return Quaternion(x * s, y * s, z * s, std::cos(angle / 2));
}

Matrix Scaling(const Vector3& s) {
  Matrix m;
  m.m16[0] = s.x;
  m.m16[5] = s.y;
  m.m16[10] = s.z;
  return m;
}

Matrix Translation(const Vector3& t) {
  Matrix m;
  m.m16[12] = t.x;
  m.m16[13] = t.y;
  m.m16[14] = t.z;
  return m;
}

// Stretch along the scale axes, then rotate, then translate.
Matrix Rebuild(const MatrixDecomposition& d) {
  return d.scaleRotation.Inversed().ToMatrix() * Scaling(d.scale) * d.scaleRotation.ToMatrix() *
         d.rotation.ToMatrix() * Translation(d.translation);
}

void ExpectRebuilds(const Matrix& m, const char* name) {
  const MatrixDecomposition d(m);
  const Matrix rebuilt = Rebuild(d);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(rebuilt.m16[i], m.m16[i], 1e-5) << name << " " << i;
  EXPECT_NEAR(d.rotation.Length(), 1.0f, 1e-5) << name;
  EXPECT_NEAR(d.scaleRotation.Length(), 1.0f, 1e-5) << name;
  EXPECT_TRUE(d.determinantSign == 1.0f || d.determinantSign == -1.0f) << name;
  EXPECT_EQ(d.determinantSign < 0, m.CalcDeterminant3x3() < 0) << name;
}

TEST(MatrixDecomposition, PureTranslation) {
  const MatrixDecomposition d(Translation(Vector3(1, -2, 3.5f)));
  EXPECT_EQ(d.rotation, Quaternion());
  EXPECT_EQ(d.scaleRotation, Quaternion());
  EXPECT_EQ(d.scale, Vector3(1, 1, 1));
  EXPECT_EQ(d.translation, Vector3(1, -2, 3.5f));
  EXPECT_EQ(d.determinantSign, 1.0f);
}

TEST(MatrixDecomposition, MirrorGivesNegativeSignAndScale) {
  const MatrixDecomposition d(Scaling(Vector3(-1, 1, 1)));
  EXPECT_EQ(d.determinantSign, -1.0f);
  EXPECT_LT(d.scale.x * d.scale.y * d.scale.z, 0.0f);
  ExpectRebuilds(Scaling(Vector3(-1, 1, 1)), "mirror");
}

TEST(MatrixDecomposition, RotationAndAxisScaleComeBackAsBuilt) {
  const Quaternion q = AboutAxis(0.2f, 1, -0.3f, 0.8f);
  const Vector3 scale(2, 0.5f, 3);
  const MatrixDecomposition d(Scaling(scale) * q.ToMatrix() * Translation(Vector3(4, 5, 6)));
  const float sign = d.rotation.Dot(q) < 0 ? -1.0f : 1.0f;
  EXPECT_NEAR(d.rotation.x, sign * q.x, 1e-5);
  EXPECT_NEAR(d.rotation.y, sign * q.y, 1e-5);
  EXPECT_NEAR(d.rotation.z, sign * q.z, 1e-5);
  EXPECT_NEAR(d.rotation.w, sign * q.w, 1e-5);
  // The scale axes are already the identity's, so nothing is permuted.
  EXPECT_NEAR(std::fabs(d.scaleRotation.w), 1.0f, 1e-5);
  EXPECT_NEAR(d.scale.x, 2, 1e-5);
  EXPECT_NEAR(d.scale.y, 0.5f, 1e-5);
  EXPECT_NEAR(d.scale.z, 3, 1e-5);
  EXPECT_NEAR(d.translation.z, 6, 0);
}

TEST(MatrixDecomposition, RebuildsTheMatrix) {
  const Quaternion r = AboutAxis(0.3f, -0.5f, 0.8f, 1.1f);
  const Quaternion u = AboutAxis(1, 1, 0, 0.6f);
  const Vector3 t(10, -3, 0.5f);
  struct Case {
    const char* name;
    Matrix m;
  };
  const Case cases[] = {
      {"rotation", r.ToMatrix() * Translation(t)},
      {"axis scale", Scaling(Vector3(1.5f, 0.7f, 2.2f)) * r.ToMatrix()},
      {"scale along rotated axes",
       u.Inversed().ToMatrix() * Scaling(Vector3(1.5f, 0.7f, 2.2f)) * u.ToMatrix() *
           r.ToMatrix() * Translation(t)},
      {"uniform scale", Scaling(Vector3(2, 2, 2)) * r.ToMatrix()},
      {"two equal factors", u.Inversed().ToMatrix() * Scaling(Vector3(1.5f, 1.5f, 0.5f)) *
                                u.ToMatrix() * r.ToMatrix()},
      {"two equal factors, x odd", u.Inversed().ToMatrix() * Scaling(Vector3(0.5f, 1.5f, 1.5f)) *
                                       u.ToMatrix() * r.ToMatrix()},
      {"two equal factors, y odd", u.Inversed().ToMatrix() * Scaling(Vector3(1.5f, 0.5f, 1.5f)) *
                                       u.ToMatrix()},
      {"mirror with rotation", Scaling(Vector3(1, -2, 1)) * r.ToMatrix() * Translation(t)},
      {"flattened", Scaling(Vector3(1, 0, 2)) * r.ToMatrix()},
      {"flattened, mirrored", Scaling(Vector3(-1, 0, 2)) * r.ToMatrix()},
      {"flattened along rotated axes", u.Inversed().ToMatrix() *
                                           Scaling(Vector3(0.5f, 2, 0)) * u.ToMatrix() *
                                           r.ToMatrix()},
      {"flattened twice", Scaling(Vector3(0, 0, 2)) * r.ToMatrix()},
      {"flattened twice, mirrored", Scaling(Vector3(0, -3, 0)) * r.ToMatrix()},
      {"zero", Scaling(Vector3(0, 0, 0)) * Translation(t)},
  };
  for (const Case& c : cases) ExpectRebuilds(c.m, c.name);
}

TEST(MatrixDecomposition, RebuildsGeneralMatrices) {
  std::mt19937 random(1234);
  std::uniform_real_distribution<float> element(-2.0f, 2.0f);
  for (int n = 0; n < 200; ++n) {
    Matrix m;
    for (int row = 0; row < 4; ++row)
      for (int column = 0; column < 3; ++column) m(row, column) = element(random);
    if (std::fabs(m.CalcDeterminant3x3()) < 0.05f) continue;  // keep the conditioning sane
    ExpectRebuilds(m, "random");
  }
}

}  // namespace
}  // namespace AnimCore
