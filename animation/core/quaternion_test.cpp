#include "animation/core/quaternion.h"

#include <gtest/gtest.h>

#include <cmath>

namespace AnimCore {
namespace {

constexpr double kPi = 3.14159265358979323846;

Quaternion FromAxisAngle(double x, double y, double z, double angle) {
  const double length = std::sqrt(x * x + y * y + z * z);
  const double s = std::sin(angle / 2) / length;
  return Quaternion(static_cast<float>(x * s), static_cast<float>(y * s),
                    static_cast<float>(z * s), static_cast<float>(std::cos(angle / 2)));
}

// The rotation of row vectors by angle about a unit axis, from Rodrigues' formula.
void RotationInDouble(double x, double y, double z, double angle, double out[3][3]) {
  const double length = std::sqrt(x * x + y * y + z * z);
  x /= length;
  y /= length;
  z /= length;
  const double c = std::cos(angle), s = std::sin(angle), t = 1 - c;
  // Column-vector matrix R; rows of ours are its columns.
  const double r[3][3] = {{c + t * x * x, t * x * y - s * z, t * x * z + s * y},
                          {t * x * y + s * z, c + t * y * y, t * y * z - s * x},
                          {t * x * z - s * y, t * y * z + s * x, c + t * z * z}};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) out[i][j] = r[j][i];
}

void ExpectSameRotation(const Quaternion& a, const Quaternion& b, float tolerance) {
  // q and -q are the same rotation.
  const float sign = a.Dot(b) < 0 ? -1.0f : 1.0f;
  EXPECT_NEAR(a.x, sign * b.x, tolerance);
  EXPECT_NEAR(a.y, sign * b.y, tolerance);
  EXPECT_NEAR(a.z, sign * b.z, tolerance);
  EXPECT_NEAR(a.w, sign * b.w, tolerance);
}

struct AxisAngle {
  double x, y, z, angle;
};

const AxisAngle kRotations[] = {
    {1, 0, 0, 0.5},          {0, 1, 0, -1.2},        {0, 0, 1, 2.0},
    {0.3, -0.5, 0.8, 1.1},   {1, 1, 1, 2 * kPi / 3}, {-2, 0.1, 0.4, 3.0},
    // Half turns and near half turns take the branches away from the trace.
    {1, 0, 0, kPi},          {0, 1, 0, kPi},         {0, 0, 1, kPi},
    {0.6, 0.8, 0, kPi},      {0.1, 0.2, 0.97, kPi - 1e-3}, {0, 0, 1, 0},
};

TEST(Quaternion, HamiltonProduct) {
  const Quaternion i(1, 0, 0, 0), j(0, 1, 0, 0), k(0, 0, 1, 0);
  EXPECT_EQ(i * j, k);
  EXPECT_EQ(j * i, Quaternion(0, 0, -1, 0));
  EXPECT_EQ(j * k, i);
  EXPECT_EQ(k * i, j);
  EXPECT_EQ(i * i, Quaternion(0, 0, 0, -1));
  // (1 + 2i + 3j + 4k)(5 + 6i + 7j + 8k) = -60 + 12i + 30j + 24k
  EXPECT_EQ(Quaternion(2, 3, 4, 1) * Quaternion(6, 7, 8, 5), Quaternion(12, 30, 24, -60));
}

TEST(Quaternion, ToMatrixMatchesRodrigues) {
  for (const AxisAngle& r : kRotations) {
    double expected[3][3];
    RotationInDouble(r.x, r.y, r.z, r.angle, expected);
    const Matrix m = FromAxisAngle(r.x, r.y, r.z, r.angle).ToMatrix();
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) EXPECT_NEAR(m(i, j), expected[i][j], 2e-6) << i << j;
      EXPECT_EQ(m(i, 3), 0.0f);
      EXPECT_EQ(m(3, i), 0.0f);
    }
    EXPECT_EQ(m(3, 3), 1.0f);
  }
}

TEST(Quaternion, FromMatrixRoundTripsEveryBranch) {
  for (const AxisAngle& r : kRotations) {
    double rows[3][3];
    RotationInDouble(r.x, r.y, r.z, r.angle, rows);
    Matrix m;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) m(i, j) = static_cast<float>(rows[i][j]);
    ExpectSameRotation(Quaternion::FromMatrix(m), FromAxisAngle(r.x, r.y, r.z, r.angle), 2e-3f);
  }
}

// Near a half turn the trace is too small for the first branch; the other
// three divide by the largest diagonal term. A turn 3e-3 short of a half
// turn keeps w = sin(1.5e-3), small but far above float noise: a branch that
// got its sign wrong would give the opposite rotation, a few thousandths off.
TEST(Quaternion, FromMatrixKeepsTheSignOfWInEveryBranch) {
  const AxisAngle cases[] = {
      {0.3, -0.5, 0.8, 1.1},              // trace
      {1, 0.2, -0.1, kPi - 3e-3},         // x largest
      {-0.1, 1, 0.3, kPi - 3e-3},         // y largest
      {0.2, 0.1, -1, kPi - 3e-3},         // z largest
      {0.2, 0.1, -1, -(kPi - 3e-3)},      // and turned the other way
  };
  for (const AxisAngle& r : cases) {
    SCOPED_TRACE(r.angle);
    double rows[3][3];
    RotationInDouble(r.x, r.y, r.z, r.angle, rows);
    Matrix m;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) m(i, j) = static_cast<float>(rows[i][j]);
    const Quaternion expected = FromAxisAngle(r.x, r.y, r.z, r.angle);
    const Quaternion q = Quaternion::FromMatrix(m);
    ExpectSameRotation(q, expected, 1e-5f);
    const float sign = q.Dot(expected) < 0 ? -1.0f : 1.0f;
    EXPECT_GT(sign * q.w * expected.w, 0.0f);
  }
}

TEST(Quaternion, ProductComposesMatricesRightFirst) {
  const Quaternion a = FromAxisAngle(0.3, -0.5, 0.8, 1.1);
  const Quaternion b = FromAxisAngle(1, 0.2, 0, -0.7);
  const Matrix product = (a * b).ToMatrix();
  const Matrix expected = b.ToMatrix() * a.ToMatrix();  // b first, then a
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(product.m16[i], expected.m16[i], 1e-6) << i;
}

TEST(Quaternion, RotateMatchesTheMatrix) {
  const Quaternion q = FromAxisAngle(0.3, -0.5, 0.8, 1.1);
  const Vector3 v(1.5f, -2, 0.25f);
  const Vector3 rotated = q.Rotate(v);
  const Vector3 expected = q.ToMatrix().TransformPoint(v);
  EXPECT_NEAR(rotated.x, expected.x, 1e-5);
  EXPECT_NEAR(rotated.y, expected.y, 1e-5);
  EXPECT_NEAR(rotated.z, expected.z, 1e-5);
  // A quarter turn about Z carries X to Y.
  const Vector3 y = FromAxisAngle(0, 0, 1, kPi / 2).Rotate(Vector3(1, 0, 0));
  EXPECT_NEAR(y.x, 0, 1e-6);
  EXPECT_NEAR(y.y, 1, 1e-6);
}

TEST(Quaternion, LengthNormalizeAndInverse) {
  Quaternion q(1, 2, 2, 4);
  EXPECT_FLOAT_EQ(q.Length(), 5.0f);
  const Quaternion inverse = q.Inversed();
  const Quaternion one = q * inverse;
  EXPECT_NEAR(one.x, 0, 1e-6);
  EXPECT_NEAR(one.y, 0, 1e-6);
  EXPECT_NEAR(one.z, 0, 1e-6);
  EXPECT_NEAR(one.w, 1, 1e-6);
  q.Normalize();
  EXPECT_EQ(q, Quaternion(0.2f, 0.4f, 0.4f, 0.8f));
  // Degenerate input gives the identity, never NaN.
  EXPECT_EQ(Quaternion(0, 0, 0, 0).Normalized(), Quaternion());
  EXPECT_EQ(Quaternion(0, 0, 0, 0).Inversed(), Quaternion());
}

TEST(Quaternion, ToAxisAngle) {
  Vector3 axis;
  float angle = -1;
  FromAxisAngle(0, 0.6, 0.8, 1.2).ToAxisAngle(axis, angle);
  EXPECT_NEAR(angle, 1.2, 1e-5);
  EXPECT_NEAR(axis.x, 0, 1e-5);
  EXPECT_NEAR(axis.y, 0.6, 1e-5);
  EXPECT_NEAR(axis.z, 0.8, 1e-5);
  Quaternion().ToAxisAngle(axis, angle);
  EXPECT_EQ(axis, Vector3(0, 1, 0));
  EXPECT_EQ(angle, 0.0f);
}

TEST(Quaternion, LerpBlendsOnTheShorterArcWithoutRescaling) {
  const float h = std::sqrt(0.5f);
  const struct {
    Quaternion q0, q1;
    float t;
    Quaternion expected;
  } cases[] = {
      {{0, 0, 0, 1}, {h, 0, 0, h}, 0.0f, {0, 0, 0, 1}},
      {{0, 0, 0, 1}, {h, 0, 0, h}, 1.0f, {h, 0, 0, h}},
      // q0 . q1 < 0: q1 is taken negated, at t = 1 too.
      {{0, 0, 0, 1}, {0, 0, 0.6f, -0.8f}, 1.0f, {0, 0, -0.6f, 0.8f}},
      {{0, 0, 0, 1}, {0, 0, 0.6f, -0.8f}, 0.5f, {0, 0, -0.3f, 0.9f}},
      // Half-way between orthogonal unit quaternions: length 0.707, kept.
      {{0, 0, 0, 1}, {1, 0, 0, 0}, 0.5f, {0.5f, 0, 0, 0.5f}},
      {{0.6f, 0, 0, 0.8f}, {0, 0.8f, 0, 0.6f}, 0.25f, {0.45f, 0.2f, 0, 0.75f}},
  };
  for (const auto& c : cases) {
    Quaternion result(9, 9, 9, 9);
    EXPECT_EQ(&QuaternionLerp(c.q0, result, c.q1, c.t), &result);
    EXPECT_NEAR(result.x, c.expected.x, 1e-6);
    EXPECT_NEAR(result.y, c.expected.y, 1e-6);
    EXPECT_NEAR(result.z, c.expected.z, 1e-6);
    EXPECT_NEAR(result.w, c.expected.w, 1e-6);
    // The running blend of the repositioning pass writes into its input.
    Quaternion running = c.q0;
    QuaternionLerp(running, running, c.q1, c.t);
    EXPECT_EQ(running, result);
  }
}

TEST(Quaternion, FromAxisAngleDividesOutTheAxisLength) {
  for (const AxisAngle& r : kRotations) {
    Quaternion q;
    const Vector3 axis(static_cast<float>(r.x), static_cast<float>(r.y), static_cast<float>(r.z));
    EXPECT_EQ(&QuaternionFromAxisAngle(q, axis, static_cast<float>(r.angle)), &q);
    ExpectSameRotation(q, FromAxisAngle(r.x, r.y, r.z, r.angle), 1e-6f);
    EXPECT_NEAR(q.w, std::cos(r.angle / 2), 1e-6);
  }
  Quaternion q;
  QuaternionFromAxisAngle(q, Vector3(0, 2, 0), static_cast<float>(kPi / 2));
  EXPECT_NEAR(q.y, std::sin(kPi / 4), 1e-7);
  EXPECT_NEAR(q.w, std::cos(kPi / 4), 1e-7);
  EXPECT_EQ(q.x, 0.0f);
  QuaternionFromAxisAngle(q, Vector3(0, 0, 0), 1.5f);
  EXPECT_EQ(q, Quaternion());
}

// Row vectors: p Rx Ry Rz turns about x first.
TEST(Quaternion, FromEulerXYZTurnsAboutXThenYThenZ) {
  const double angles[][3] = {{0, 0, 0},        {kPi / 2, 0, 0}, {0, 0.7, 0},    {0, 0, -1.3},
                              {0.4, -0.9, 2.2}, {3.0, 1.2, -0.5}, {-2.5, 0.1, 1.9}};
  for (const auto& a : angles) {
    double rx[3][3], ry[3][3], rz[3][3], xy[3][3] = {}, expected[3][3] = {};
    RotationInDouble(1, 0, 0, a[0], rx);
    RotationInDouble(0, 1, 0, a[1], ry);
    RotationInDouble(0, 0, 1, a[2], rz);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k) xy[i][j] += rx[i][k] * ry[k][j];
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k) expected[i][j] += xy[i][k] * rz[k][j];
    Quaternion q;
    EXPECT_EQ(&QuaternionFromEulerXYZ(q, static_cast<float>(a[0]), static_cast<float>(a[1]),
                                      static_cast<float>(a[2])),
              &q);
    const Matrix m = q.ToMatrix();
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) EXPECT_NEAR(m(i, j), expected[i][j], 2e-6) << a[0] << a[1] << a[2];
  }
  Quaternion q;
  EXPECT_EQ(QuaternionFromEulerXYZ(q, 0, 0, 0), Quaternion());
  QuaternionFromEulerXYZ(q, static_cast<float>(kPi / 2), 0, 0);
  ExpectSameRotation(q, Quaternion(std::sin(static_cast<float>(kPi / 4)), 0, 0, std::cos(static_cast<float>(kPi / 4))),
                     1e-7f);
  EXPECT_GT(q.w, 0.0f);
  // (0, 1, 0): about x to (0, 0, 1), then about y to (1, 0, 0).
  QuaternionFromEulerXYZ(q, static_cast<float>(kPi / 2), static_cast<float>(kPi / 2), 0);
  const Vector3 v = q.Rotate(Vector3(0, 1, 0));
  EXPECT_NEAR(v.x, 1, 1e-6);
  EXPECT_NEAR(v.y, 0, 1e-6);
  EXPECT_NEAR(v.z, 0, 1e-6);
}

TEST(Vector3, NormalizeInPlace) {
  Vector3 v(3, 0, -4);
  EXPECT_EQ(&Vector3Normalize(v), &v);
  EXPECT_FLOAT_EQ(v.x, 0.6f);
  EXPECT_EQ(v.y, 0.0f);
  EXPECT_FLOAT_EQ(v.z, -0.8f);
  Vector3 zero;
  EXPECT_EQ(Vector3Normalize(zero), Vector3());
}

}  // namespace
}  // namespace AnimCore
