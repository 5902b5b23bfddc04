#pragma once

#include "animation/core/matrix.h"
#include "animation/core/quaternion.h"
#include "animation/core/vector3.h"

namespace AnimCore {

// An affine matrix taken apart: M = S * R * T with R the rotation, T the translation
// and S the stretch, which is the scale applied along the axes of the scale rotation:
// S = ToMatrix(scaleRotation^-1) * Scale(scale) * ToMatrix(scaleRotation).
// A matrix that mirrors has determinant sign -1 and its scale negated.
class MatrixDecomposition {
 public:
  Quaternion rotation;
  Quaternion scaleRotation;
  Vector3 scale{1.0f, 1.0f, 1.0f};
  Vector3 translation;
  float determinantSign = 1.0f;

  MatrixDecomposition() = default;
  explicit MatrixDecomposition(const Matrix& m) { Decompose(m); }

  // Polar decomposition into rotation and stretch, then the stretch into its axes
  // and factors, with the axes chosen closest to the identity.
  void Decompose(const Matrix& m);
};

}  // namespace AnimCore
