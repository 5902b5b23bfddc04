#pragma once

#include <cstdint>

#include "animation/core/matrix.h"
#include "animation/core/quaternion.h"
#include "animation/core/vector3.h"

namespace Anim {

// A node's local transform: 14 floats, rotation, scale rotation, position, scale.
struct Transform {
  AnimCore::Quaternion rotation;
  AnimCore::Quaternion scaleRotation;
  AnimCore::Vector3 position;
  AnimCore::Vector3 scale{1.0f, 1.0f, 1.0f};

  bool operator==(const Transform&) const = default;
};
static_assert(sizeof(Transform) == 14 * sizeof(float), "a transform is 14 floats");

// The local matrix of a node, for row vectors (a point p maps to p * M):
//
//   M = SR^-1 * S * SR * R * P^-1 * T
//
// S scales by `scale` along the axes of the scale rotation SR, R rotates by
// `rotation`, T translates by `position`. P^-1 undoes the parent's own local scale
// and is used only in multiply order 0 when parentScale is given (the caller passes
// it for a parent whose flag word says it is scaled); order 1, and order 0 under an
// unscaled parent, compose the transform alone. A parent scale component of (near)
// zero cannot be undone and is left alone. This is the inverse of
// AnimCore::MatrixDecomposition, so decomposing M gives the transform back.
void CalcLocalMatrix(const Transform& transform, uint32_t multiplyOrder,
                     const AnimCore::Vector3* parentScale, AnimCore::Matrix& out);

}  // namespace Anim
