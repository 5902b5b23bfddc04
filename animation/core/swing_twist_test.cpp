#include "animation/core/swing_twist.h"

#include <gtest/gtest.h>

#include <cmath>

namespace AnimCore {
namespace {

constexpr double kPi = 3.14159265358979323846;

Quaternion AboutAxis(double x, double y, double z, double angle) {
  const double s = std::sin(angle / 2);
  return Quaternion(static_cast<float>(x * s), static_cast<float>(y * s),
                    static_cast<float>(z * s), static_cast<float>(std::cos(angle / 2)));
}

// The swing as a rotation about an axis in the X-Y plane, applied after the twist.
Quaternion SwingAfterTwist(double swingX, double swingY, double twist) {
  const double angle = std::hypot(swingX, swingY);
  const Quaternion swing =
      angle == 0 ? Quaternion() : AboutAxis(swingX / angle, swingY / angle, 0, angle);
  return swing * AboutAxis(0, 0, 1, twist);
}

TEST(SwingTwist, OneAxisSwingAndTwistRoundTrip) {
  struct Case {
    double swingX, swingY, twist;
  };
  const Case cases[] = {
      {0.7, 0, 0.3}, {0, -1.1, 0.5}, {-0.4, 0, -2.0}, {0, 0.9, 0}, {0, 0, 1.3}, {1.5, 0, 2.5},
  };
  for (const Case& c : cases) {
    const Quaternion q = SwingAfterTwist(c.swingX, c.swingY, c.twist);
    SwingTwist st;
    st.FromQuaternion(q);
    EXPECT_NEAR(st.swingX, c.swingX, 1e-5);
    EXPECT_NEAR(st.swingY, c.swingY, 1e-5);
    EXPECT_NEAR(st.twist, c.twist, 1e-5);
    // From the matrix as well, and back to the same rotation.
    SwingTwist fromMatrix;
    fromMatrix.FromMatrix(q.ToMatrix());
    EXPECT_NEAR(fromMatrix.swingX, c.swingX, 1e-4);
    EXPECT_NEAR(fromMatrix.swingY, c.swingY, 1e-4);
    const Matrix expected = q.ToMatrix();
    const Matrix rebuilt = st.ToMatrix();
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(rebuilt.m16[i], expected.m16[i], 1e-5) << i;
  }
}

TEST(SwingTwist, CombinedSwingToMatrixByHand) {
  // Worked in double: d = normalise(sin sy, -sin sx, cos |s|), axis = Z x d,
  // angle = acos d.z, swing = Rodrigues(axis, angle), result = RotZ(twist) * swing.
  const double sx = 0.4, sy = 0.3, twist = 0.2;
  const double a = std::hypot(sx, sy);
  double d[3] = {std::sin(sy), std::sin(-sx), std::cos(a)};
  const double dl = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  for (double& v : d) v /= dl;
  double ax = -d[1], ay = d[0];
  const double al = std::hypot(ax, ay);
  ax /= al;
  ay /= al;
  const double angle = std::acos(d[2]);
  const double c = std::cos(angle), s = std::sin(angle), t = 1 - c;
  // Row-vector rotation about (ax, ay, 0).
  const double swing[3][3] = {{c + t * ax * ax, t * ax * ay, -s * ay},
                              {t * ax * ay, c + t * ay * ay, s * ax},
                              {s * ay, -s * ax, c}};
  const double rz[3][3] = {{std::cos(twist), std::sin(twist), 0},
                           {-std::sin(twist), std::cos(twist), 0},
                           {0, 0, 1}};
  const Matrix m = SwingTwist(static_cast<float>(sx), static_cast<float>(sy),
                              static_cast<float>(twist))
                       .ToMatrix();
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      double expected = 0;
      for (int k = 0; k < 3; ++k) expected += rz[i][k] * swing[k][j];
      EXPECT_NEAR(m(i, j), expected, 1e-6) << i << j;
    }
  }
  // The swing carries Z to d.
  const Vector3 z = m.TransformVector(Vector3(0, 0, 1));
  EXPECT_NEAR(z.x, d[0], 1e-6);
  EXPECT_NEAR(z.y, d[1], 1e-6);
  EXPECT_NEAR(z.z, d[2], 1e-6);
}

TEST(SwingTwist, RectangleAndTwistClamps) {
  struct Case {
    float x, y, limitX, limitY;
    float outX, outY;
    bool changed;
  };
  const Case cases[] = {
      {0.5f, -2, 1, 1, 0.5f, -1, true}, {3, 0, 1, 2, 1, 0, true},
      {1, -2, 1, 2, 1, -2, false},      {0.2f, 0.3f, 1, 1, 0.2f, 0.3f, false},
      {-5, 5, 0, 0, 0, 0, true},
  };
  for (const Case& c : cases) {
    SwingTwist st(c.x, c.y, 0);
    EXPECT_EQ(st.ClampToRectangle(c.limitX, c.limitY), c.changed);
    EXPECT_EQ(st.swingX, c.outX);
    EXPECT_EQ(st.swingY, c.outY);
  }
  SwingTwist st(0, 0, 2);
  EXPECT_TRUE(st.ClampTwist(-1, 1.5f));
  EXPECT_EQ(st.twist, 1.5f);
  EXPECT_FALSE(st.ClampTwist(-1, 1.5f));
  st.twist = -3;
  EXPECT_TRUE(st.ClampTwist(-1, 1.5f));
  EXPECT_EQ(st.twist, -1.0f);
}

// Nearest point of the ellipse by sampling, refined by ternary search, in double.
void NearestOnEllipse(double a, double b, double px, double py, double& outX, double& outY) {
  const int samples = 20000;
  double bestT = 0, best = 1e300;
  for (int i = 0; i < samples; ++i) {
    const double t = 2 * kPi * i / samples;
    const double d = std::pow(a * std::cos(t) - px, 2) + std::pow(b * std::sin(t) - py, 2);
    if (d < best) {
      best = d;
      bestT = t;
    }
  }
  double lo = bestT - 2 * kPi / samples, hi = bestT + 2 * kPi / samples;
  auto dist = [&](double t) {
    return std::pow(a * std::cos(t) - px, 2) + std::pow(b * std::sin(t) - py, 2);
  };
  for (int i = 0; i < 200; ++i) {
    const double m1 = lo + (hi - lo) / 3, m2 = hi - (hi - lo) / 3;
    if (dist(m1) < dist(m2)) hi = m2; else lo = m1;
  }
  outX = a * std::cos((lo + hi) / 2);
  outY = b * std::sin((lo + hi) / 2);
}

TEST(SwingTwist, EllipseClampFindsTheNearestPoint) {
  struct Case {
    float a, b, x, y;
  };
  const Case cases[] = {
      {1.0f, 0.5f, 1.2f, 0.8f},  {1.0f, 0.5f, -0.3f, 0.9f}, {0.5f, 1.0f, 2.0f, 0.1f},
      {0.8f, 0.8f, -1.0f, -1.0f}, {1.2f, 0.3f, 0.2f, -1.0f}, {0.6f, 1.5f, -0.9f, 0.4f},
      {1.0f, 0.5f, 3.0f, 0.0f},  {1.0f, 0.5f, 0.0f, -0.7f},
  };
  for (const Case& c : cases) {
    SwingTwist st(c.x, c.y, 0.7f);
    EXPECT_TRUE(st.ClampToEllipse(c.a, c.b)) << c.x << "," << c.y;
    double ex, ey;
    NearestOnEllipse(c.a, c.b, c.x, c.y, ex, ey);
    EXPECT_NEAR(st.swingX, ex, 1e-3) << c.x << "," << c.y;
    EXPECT_NEAR(st.swingY, ey, 1e-3) << c.x << "," << c.y;
    EXPECT_EQ(st.twist, 0.7f);
  }
}

TEST(SwingTwist, EllipseClampLeavesInsidePointsAndFallsBackToTheRectangle) {
  SwingTwist inside(0.5f, 0.2f, 0);
  EXPECT_FALSE(inside.ClampToEllipse(1.0f, 0.5f));
  EXPECT_EQ(inside.swingX, 0.5f);
  EXPECT_EQ(inside.swingY, 0.2f);
  SwingTwist onEdge(1.0f, 0.0f, 0);
  EXPECT_FALSE(onEdge.ClampToEllipse(1.0f, 0.5f));

  // A semi-axis below 0.05 clamps to the rectangle.
  SwingTwist narrow(0.5f, -2, 0);
  EXPECT_TRUE(narrow.ClampToEllipse(0.04f, 1.0f));
  EXPECT_EQ(narrow.swingX, 0.04f);
  EXPECT_EQ(narrow.swingY, -1.0f);
  SwingTwist narrowY(0.01f, 0.5f, 0);
  EXPECT_TRUE(narrowY.ClampToEllipse(1.0f, -0.04f));
  EXPECT_EQ(narrowY.swingX, 0.01f);
  EXPECT_EQ(narrowY.swingY, -0.04f);
}

}  // namespace
}  // namespace AnimCore
