#pragma once

#include "animation/compressed.h"
#include "animation/core/quaternion.h"
#include "animation/core/vector3.h"

namespace Anim {

namespace detail {
// How a stored value is expanded and stored again.
inline const AnimCore::Vector3& Expand(const AnimCore::Vector3& v) { return v; }
inline AnimCore::Quaternion Expand(const Compressed16BitQuaternion& q) { return q.ToQuaternion(); }
inline float Expand(const Compressed16BitFloat& f) { return f.ToFloat(); }
inline void Store(AnimCore::Vector3& to, const AnimCore::Vector3& v) { to = v; }
inline void Store(Compressed16BitQuaternion& to, const AnimCore::Quaternion& q) {
  to.FromQuaternion(q);
}
inline void Store(Compressed16BitFloat& to, float v) { to.FromFloat(v); }
}  // namespace detail

// One key: the value as stored (maybe compressed), then the time in seconds.
template <class ReturnType, class StorageType>
class KeyFrame {
 public:
  StorageType value{};
  float time = 0.0f;

  KeyFrame() = default;
  KeyFrame(float keyTime, const ReturnType& keyValue) : time(keyTime) { SetValue(keyValue); }

  ReturnType GetValue() const { return detail::Expand(value); }
  void SetValue(const ReturnType& v) { detail::Store(value, v); }
  const StorageType& GetStorageValue() const { return value; }
};

using Vector3Key = KeyFrame<AnimCore::Vector3, AnimCore::Vector3>;
using QuaternionKey = KeyFrame<AnimCore::Quaternion, Compressed16BitQuaternion>;
using FloatKey = KeyFrame<float, Compressed16BitFloat>;

}  // namespace Anim
