#include "animation/core/swing_twist.h"

#include <cmath>
#include <utility>

#include "animation/core/polynomial_solvers.h"

namespace AnimCore {

void SwingTwist::FromQuaternion(const Quaternion& q) {
  twist = 2.0f * std::atan2(q.z, q.w);
  const float h = std::atan2(std::sqrt(q.x * q.x + q.y * q.y), std::sqrt(q.z * q.z + q.w * q.w));
  const float c = std::cos(0.5f * twist);
  const float s = std::sin(0.5f * twist);
  const float scale = (h == 0.0f) ? 2.0f : 2.0f * h / std::sin(h);
  swingX = (c * q.x - s * q.y) * scale;
  swingY = (c * q.y + s * q.x) * scale;
}

void SwingTwist::FromMatrix(const Matrix& m) { FromQuaternion(Quaternion::FromMatrix(m)); }

Matrix SwingTwist::ToMatrix() const {
  const float angle = std::sqrt(swingX * swingX + swingY * swingY);
  Vector3 d(std::sin(swingY), std::sin(-swingX), std::cos(angle));
  const float length = d.Length();
  if (length > 0.0f) d = d / length;
  const Vector3 axis(-d.y, d.x, 0.0f);  // (0, 0, 1) x d
  const float dz = d.z > 1.0f ? 1.0f : (d.z < -1.0f ? -1.0f : d.z);
  Matrix swing;
  swing.SetRotationMatrixAxisAngle(axis, std::acos(dz));
  Matrix result;
  result.SetRotationMatrixZ(twist);
  return result * swing;
}

bool SwingTwist::ClampToRectangle(float limitX, float limitY) {
  const float oldX = swingX;
  const float oldY = swingY;
  if (swingX < -limitX) swingX = -limitX;
  if (swingX > limitX) swingX = limitX;
  if (swingY < -limitY) swingY = -limitY;
  if (swingY > limitY) swingY = limitY;
  return swingX != oldX || swingY != oldY;
}

bool SwingTwist::ClampTwist(float minimum, float maximum) {
  const float old = twist;
  if (twist < minimum) twist = minimum;
  if (twist > maximum) twist = maximum;
  return twist != old;
}

bool SwingTwist::ClampToEllipse(float a, float b) {
  if ((a > -0.05f && a < 0.05f) || (b > -0.05f && b < 0.05f)) return ClampToRectangle(a, b);

  float px = swingX;
  float py = swingY;
  if ((px / a) * (px / a) + (py / b) * (py / b) - 1.0f <= 0.0f) return false;

  // Solve with the larger coordinate as y, so the quartic's leading term is not zero.
  const bool swapped = std::fabs(py) < std::fabs(px);
  if (swapped) {
    std::swap(px, py);
    std::swap(a, b);
  }

  // Nearest point of the ellipse (a cos t, b sin t), with u = tan(t / 2).
  const float k = 2.0f * (b * b - a * a) / b;
  const float m = 2.0f * a * px / b;
  const float c[5] = {-py, m + k, 0.0f, m - k, py};
  float roots[4];
  const uint32_t numRoots = SolveQuartic(c, roots);

  float bestX = 0.0f;
  float bestY = 0.0f;
  float bestDistance = 0.0f;
  bool found = false;
  for (uint32_t i = 0; i < numRoots; ++i) {
    const float t = roots[i];
    const float denominator = 1.0f + t * t;
    const float x = a * (1.0f - t * t) / denominator;
    const float y = 2.0f * b * t / denominator;
    const float distance = (x - px) * (x - px) + (y - py) * (y - py);
    if (!std::isfinite(distance)) continue;
    if (!found || distance < bestDistance) {
      found = true;
      bestDistance = distance;
      bestX = x;
      bestY = y;
    }
  }
  if (!found) {
    // Only rounding gets here: fall back to the radial projection onto the ellipse.
    const float scale = 1.0f / std::sqrt((px / a) * (px / a) + (py / b) * (py / b));
    bestX = px * scale;
    bestY = py * scale;
  }

  if (swapped) std::swap(bestX, bestY);
  swingX = bestX;
  swingY = bestY;
  return true;
}

}  // namespace AnimCore
