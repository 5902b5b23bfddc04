#pragma once

#include <cstdint>

#include "animation/core/quaternion.h"

namespace Anim {

// A quaternion in four signed 16-bit integers, each component times 32767 truncated
// toward zero. Components outside [-1, 1] are clamped and NaN stored as 0, so that
// no value can overflow the integers.
struct Compressed16BitQuaternion {
  int16_t x = 0;
  int16_t y = 0;
  int16_t z = 0;
  int16_t w = 32767;

  Compressed16BitQuaternion() = default;
  Compressed16BitQuaternion(int16_t cx, int16_t cy, int16_t cz, int16_t cw)
      : x(cx), y(cy), z(cz), w(cw) {}
  explicit Compressed16BitQuaternion(const AnimCore::Quaternion& q) { FromQuaternion(q); }

  static int16_t Compress(float component) {
    const float scaled = component * 32767.0f;
    if (!(scaled > -32767.0f)) return scaled != scaled ? 0 : -32767;
    if (!(scaled < 32767.0f)) return 32767;
    return static_cast<int16_t>(scaled);
  }
  void FromQuaternion(const AnimCore::Quaternion& q) {
    x = Compress(q.x);
    y = Compress(q.y);
    z = Compress(q.z);
    w = Compress(q.w);
  }
  // Not renormalised.
  AnimCore::Quaternion ToQuaternion() const {
    const float f = 1.0f / 32767.0f;
    return {x * f, y * f, z * f, w * f};
  }
  bool operator==(const Compressed16BitQuaternion&) const = default;
};

// A value of [0, 1] in an unsigned 16-bit integer, (value - 0) * 65535 / (1 - 0)
// truncated; values outside the range are clamped, NaN stored as 0.
struct Compressed16BitFloat {
  uint16_t value = 0;

  Compressed16BitFloat() = default;
  explicit Compressed16BitFloat(float v) { FromFloat(v); }

  void FromFloat(float v) {
    const float scaled = (v - 0.0f) * 65535.0f / (1.0f - 0.0f);
    if (!(scaled > 0.0f)) {
      value = 0;
    } else if (!(scaled < 65535.0f)) {
      value = 65535;
    } else {
      value = static_cast<uint16_t>(scaled);
    }
  }
  float ToFloat() const { return 0.0f + static_cast<float>(value) * (1.0f - 0.0f) / 65535.0f; }
  bool operator==(const Compressed16BitFloat&) const = default;
};

}  // namespace Anim
