#pragma once

#include "animation/core/vector3.h"

namespace AnimCore {

// Axis-aligned box. Init makes it empty (min above max) so that the first
// Encapsulate sets both corners.
class AABB {
 public:
  Vector3 min{3.402823466e38f, 3.402823466e38f, 3.402823466e38f};
  Vector3 max{-3.402823466e38f, -3.402823466e38f, -3.402823466e38f};

  void Init() { *this = AABB(); }
  bool IsValid() const { return min.x <= max.x && min.y <= max.y && min.z <= max.z; }

  void Encapsulate(const Vector3& p) {
    if (p.x <= min.x) min.x = p.x;
    if (p.y <= min.y) min.y = p.y;
    if (p.z <= min.z) min.z = p.z;
    if (p.x >= max.x) max.x = p.x;
    if (p.y >= max.y) max.y = p.y;
    if (p.z >= max.z) max.z = p.z;
  }
  void Encapsulate(const AABB& box) {
    Encapsulate(box.min);
    Encapsulate(box.max);
  }
};

}  // namespace AnimCore
