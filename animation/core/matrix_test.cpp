#include "animation/core/matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace AnimCore {
namespace {

constexpr double kPi = 3.14159265358979323846;

Matrix FromRows(std::initializer_list<float> values) {
  Matrix m;
  int i = 0;
  for (float v : values) m.m16[i++] = v;
  return m;
}

void ExpectNear(const Matrix& actual, const double expected[16], double tolerance) {
  for (int i = 0; i < 16; ++i) {
    EXPECT_NEAR(actual.m16[i], expected[i], tolerance) << "element " << i;
  }
}

// Gauss-Jordan elimination with partial pivoting, in double.
bool InverseInDouble(const Matrix& m, double out[16]) {
  double a[4][8];
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      a[r][c] = m.m16[4 * r + c];
      a[r][c + 4] = (r == c) ? 1.0 : 0.0;
    }
  }
  for (int col = 0; col < 4; ++col) {
    int pivot = col;
    for (int r = col + 1; r < 4; ++r)
      if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
    if (std::fabs(a[pivot][col]) < 1e-12) return false;
    for (int c = 0; c < 8; ++c) std::swap(a[col][c], a[pivot][c]);
    const double p = a[col][col];
    for (int c = 0; c < 8; ++c) a[col][c] /= p;
    for (int r = 0; r < 4; ++r) {
      if (r == col) continue;
      const double f = a[r][col];
      for (int c = 0; c < 8; ++c) a[r][c] -= f * a[col][c];
    }
  }
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) out[4 * r + c] = a[r][c + 4];
  return true;
}

TEST(Matrix, ProductFollowsTheDefinition) {
  const Matrix a = FromRows({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
  const Matrix b = FromRows({-1, 0.5f, 2, 0, 3, -2, 1, 1, 0, 4, -3, 2, 1, 1, 1, -1});
  double expected[16];
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += double{a.m16[4 * r + k]} * b.m16[4 * k + c];
      expected[4 * r + c] = sum;
    }
  }
  ExpectNear(a * b, expected, 1e-4);
  Matrix inPlace = a;
  inPlace *= b;
  ExpectNear(inPlace, expected, 1e-4);
  Matrix aliased = b;
  Matrix::Multiply(a, aliased, aliased);
  ExpectNear(aliased, expected, 1e-4);
}

TEST(Matrix, ProductTransformsByTheLeftFactorFirst) {
  Matrix translate;
  translate.m16[12] = 1;
  translate.m16[13] = 2;
  translate.m16[14] = 3;
  Matrix rotate;
  rotate.SetRotationMatrixZ(static_cast<float>(kPi / 2));
  // (1, 0, 0) moves to (2, 2, 3), then turns a quarter about Z to (-2, 2, 3).
  const Vector3 p = (translate * rotate).TransformPoint(Vector3(1, 0, 0));
  EXPECT_NEAR(p.x, -2, 1e-6);
  EXPECT_NEAR(p.y, 2, 1e-6);
  EXPECT_NEAR(p.z, 3, 1e-6);
  const Vector3 q = (rotate * translate).TransformPoint(Vector3(1, 0, 0));
  EXPECT_NEAR(q.x, 1, 1e-6);
  EXPECT_NEAR(q.y, 3, 1e-6);
  EXPECT_NEAR(q.z, 3, 1e-6);
}

TEST(Matrix, ElementaryRotations) {
  struct Case {
    const char* name;
    Matrix matrix;
    Vector3 in;
    Vector3 out;
  };
  Matrix y90, z90, axisZ, axisDiagonal, axisZero;
  y90.SetRotationMatrixY(static_cast<float>(kPi / 2));
  z90.SetRotationMatrixZ(static_cast<float>(kPi / 2));
  axisZ.SetRotationMatrixAxisAngle(Vector3(0, 0, 2), static_cast<float>(kPi / 2));
  // A third of a turn about (1, 1, 1) carries X to Y, Y to Z, Z to X.
  axisDiagonal.SetRotationMatrixAxisAngle(Vector3(1, 1, 1), static_cast<float>(2 * kPi / 3));
  axisZero.SetRotationMatrixAxisAngle(Vector3(0, 0, 0), 1.3f);
  const Case cases[] = {
      {"Y quarter turn: X to -Z", y90, {1, 0, 0}, {0, 0, -1}},
      {"Y quarter turn: Z to X", y90, {0, 0, 1}, {1, 0, 0}},
      {"Z quarter turn: X to Y", z90, {1, 0, 0}, {0, 1, 0}},
      {"axis Z, unnormalised", axisZ, {1, 0, 0}, {0, 1, 0}},
      {"diagonal axis: X to Y", axisDiagonal, {1, 0, 0}, {0, 1, 0}},
      {"diagonal axis: Y to Z", axisDiagonal, {0, 1, 0}, {0, 0, 1}},
      {"diagonal axis: Z to X", axisDiagonal, {0, 0, 1}, {1, 0, 0}},
      {"zero axis", axisZero, {0.3f, -2, 5}, {0.3f, -2, 5}},
  };
  for (const Case& c : cases) {
    const Vector3 p = c.matrix.TransformPoint(c.in);
    EXPECT_NEAR(p.x, c.out.x, 1e-6) << c.name;
    EXPECT_NEAR(p.y, c.out.y, 1e-6) << c.name;
    EXPECT_NEAR(p.z, c.out.z, 1e-6) << c.name;
    EXPECT_EQ(c.matrix.m16[15], 1.0f) << c.name;
  }
  EXPECT_TRUE(axisZero.IsIdentity(0.0f));
}

TEST(Matrix, InverseAgainstEliminationInDouble) {
  Matrix rotation;
  rotation.SetRotationMatrixAxisAngle(Vector3(0.3f, -1, 0.4f), 0.9f);
  Matrix affine = rotation;
  affine.m16[0] *= 2.5f;
  affine.m16[5] *= 0.5f;
  affine.m16[12] = 10;
  affine.m16[13] = -4;
  affine.m16[14] = 0.25f;
  const Matrix general = FromRows({2, 0.5f, -1, 0.1f, 0, 3, 1, -0.2f, 1, -1, 4, 0.3f, 5, 2, -3, 1});
  const Matrix tiny = FromRows({1e-3f, 0, 0, 0, 0, 2e-3f, 0, 0, 0, 0, 4e-3f, 0, 0, 0, 0, 1});
  for (const Matrix& m : {affine, general, tiny, rotation}) {
    double expected[16];
    ASSERT_TRUE(InverseInDouble(m, expected));
    Matrix inverse = m;
    EXPECT_TRUE(inverse.Inverse());
    double scale = 0;
    for (double e : expected) scale = std::max(scale, std::fabs(e));
    ExpectNear(inverse, expected, 1e-5 * scale);
    EXPECT_TRUE((m * inverse).IsIdentity(1e-5f));
  }
}

TEST(Matrix, SingularMatrixInvertsToTheIdentity) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const Matrix cases[] = {
      FromRows({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
      FromRows({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 5, 6, 7, 1}),     // flattened Y
      FromRows({1, 2, 3, 0, 2, 4, 6, 0, 0, 1, 1, 0, 0, 0, 0, 1}),     // dependent rows
      FromRows({0.1f, 0.2f, 0.3f, 0, 0.4f, 0.5f, 0.6f, 0, 0.7f, 0.8f, 0.9f, 0, 0, 0, 0, 1}),
      FromRows({1, 0, 0, 0, 0, nan, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}),
  };
  for (const Matrix& m : cases) {
    Matrix inverse = m;
    EXPECT_FALSE(inverse.Inverse());
    EXPECT_TRUE(inverse.IsIdentity(0.0f));
    EXPECT_TRUE(m.Inversed().IsIdentity(0.0f));
  }
}

TEST(Matrix, IsIdentityTransposeAndDeterminant) {
  Matrix m;
  EXPECT_TRUE(m.IsIdentity(0.00001f));
  for (int i = 0; i < 16; ++i) {
    Matrix off;
    off.m16[i] += 0.0001f;
    EXPECT_FALSE(off.IsIdentity(0.00001f)) << i;
    EXPECT_TRUE(off.IsIdentity(0.0002f)) << i;
  }
  Matrix t = FromRows({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
  t.Transpose();
  const double expected[16] = {1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 4, 8, 12, 16};
  ExpectNear(t, expected, 0);
  EXPECT_FLOAT_EQ(FromRows({2, 0, 0, 0, 0, 3, 0, 0, 0, 0, -4, 0, 9, 9, 9, 1}).CalcDeterminant3x3(),
                  -24.0f);
  EXPECT_FLOAT_EQ(FromRows({0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}).CalcDeterminant3x3(),
                  -1.0f);
}

}  // namespace
}  // namespace AnimCore
