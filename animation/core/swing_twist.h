#pragma once

#include "animation/core/matrix.h"
#include "animation/core/quaternion.h"

namespace AnimCore {

// A rotation as a swing (a rotation vector in the X-Y plane: direction = axis,
// length = angle) applied after a twist about the local Z axis. Radians.
class SwingTwist {
 public:
  float swingX = 0.0f;
  float swingY = 0.0f;
  float twist = 0.0f;

  constexpr SwingTwist() = default;
  constexpr SwingTwist(float sx, float sy, float t) : swingX(sx), swingY(sy), twist(t) {}

  void FromQuaternion(const Quaternion& q);
  void FromMatrix(const Matrix& m);
  // Twist about Z, then the swing. Exact for a swing about one axis; for combined
  // swings the swing axis direction is (sin swingX, sin swingY), not the exact inverse
  // of FromQuaternion.
  Matrix ToMatrix() const;

  // Each returns true when it changed the value; a value on a bound is unchanged.
  bool ClampToRectangle(float limitX, float limitY);
  bool ClampTwist(float minimum, float maximum);
  // Moves a swing outside the ellipse with semi-axes a (x) and b (y) to the nearest
  // point on it. Semi-axes within 0.05 of zero clamp to the rectangle instead.
  bool ClampToEllipse(float a, float b);
};

}  // namespace AnimCore
