#pragma once

#include "animation/core/vector3.h"

namespace AnimCore {

// A segment from origin to destination, as the mesh picking tests it.
class Ray {
 public:
  Ray() = default;
  Ray(const Vector3& origin, const Vector3& destination);

  const Vector3& GetOrigin() const { return mOrigin; }
  const Vector3& GetDestination() const { return mDestination; }
  // Unit direction; zero for a segment of zero length.
  const Vector3& GetDirection() const { return mDirection; }

  // Segment against triangle (p0, p1, p2): a hit lies between origin and destination.
  // Triangles seen edge-on (|det| < 0.00001) are never hit.
  bool Intersects(const Vector3& p0, const Vector3& p1, const Vector3& p2,
                  Vector3* intersectionPoint = nullptr, float* baryU = nullptr,
                  float* baryV = nullptr) const;

 private:
  Vector3 mOrigin;
  Vector3 mDestination;
  Vector3 mDirection;
};

}  // namespace AnimCore
