#include "animation/core/ray.h"

namespace AnimCore {

Ray::Ray(const Vector3& origin, const Vector3& destination)
    : mOrigin(origin), mDestination(destination) {
  const Vector3 d = destination - origin;
  const float length = d.Length();
  // A zero-length segment keeps a zero direction rather than NaNs.
  if (length > 0.0f) mDirection = d / length;
}

bool Ray::Intersects(const Vector3& p0, const Vector3& p1, const Vector3& p2,
                     Vector3* intersectionPoint, float* baryU, float* baryV) const {
  const Vector3 d = mDestination - mOrigin;
  const Vector3 e1 = p1 - p0;
  const Vector3 e2 = p2 - p0;
  const Vector3 p = d.Cross(e2);
  const float det = e1.Dot(p);
  if (det > -0.00001f && det < 0.00001f) return false;

  const Vector3 s = mOrigin - p0;
  const float u = s.Dot(p) / det;
  if (u < 0.0f || u > 1.0f) return false;

  const Vector3 q = s.Cross(e1);
  const float v = d.Dot(q) / det;
  if (v < 0.0f || u + v > 1.0f) return false;

  const float t = e2.Dot(q) / det;
  if (t < 0.0f || t > 1.0f) return false;

  if (baryU != nullptr) *baryU = u;
  if (baryV != nullptr) *baryV = v;
  if (intersectionPoint != nullptr) *intersectionPoint = mOrigin + d * t;
  return true;
}

}  // namespace AnimCore
