#pragma once

#include <cstdint>

#include "animation/core/quaternion.h"
#include "animation/core/vector3.h"

namespace Anim {

template <class ReturnType, class StorageType>
class KeyTrack;

// Linear blends of two key values at fraction t (not clamped).
inline AnimCore::Vector3 LinearBlend(const AnimCore::Vector3& a, const AnimCore::Vector3& b,
                                     float t) {
  return a * (1.0f - t) + b * t;
}
inline float LinearBlend(float a, float b, float t) { return a * (1.0f - t) + b * t; }
// Along the shorter way (b negated when the two lie in opposite hemispheres); not
// normalised.
inline AnimCore::Quaternion LinearBlend(const AnimCore::Quaternion& a,
                                        const AnimCore::Quaternion& b, float t) {
  const float s = 1.0f - t;
  const float tb = a.Dot(b) < 0.0f ? -t : t;
  return {a.x * s + b.x * tb, a.y * s + b.y * tb, a.z * s + b.z * tb, a.w * s + b.w * tb};
}

// Blends two neighbouring keys of the track it belongs to.
template <class ReturnType, class StorageType>
class Interpolator {
 public:
  explicit Interpolator(KeyTrack<ReturnType, StorageType>* track) : mTrack(track) {}
  Interpolator(const Interpolator&) = delete;
  Interpolator& operator=(const Interpolator&) = delete;
  virtual ~Interpolator() = default;

  // The value between key keyIndex and key keyIndex + 1 at fraction t.
  virtual ReturnType Interpolate(uint32_t keyIndex, float t) const = 0;
  // Preparation after the keys changed.
  virtual void Init() {}
  virtual uint32_t GetType() const = 0;
  virtual const char* GetTypeString() const = 0;

  KeyTrack<ReturnType, StorageType>* GetKeyTrack() const { return mTrack; }

 protected:
  KeyTrack<ReturnType, StorageType>* mTrack;
};

template <class ReturnType, class StorageType>
class LinearInterpolator final : public Interpolator<ReturnType, StorageType> {
 public:
  static constexpr uint32_t TYPE_ID = 1;

  using Interpolator<ReturnType, StorageType>::Interpolator;

  ReturnType Interpolate(uint32_t keyIndex, float t) const override;
  uint32_t GetType() const override { return TYPE_ID; }
  const char* GetTypeString() const override { return "LinearInterpolator"; }
};

}  // namespace Anim
