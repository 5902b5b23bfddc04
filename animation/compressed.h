#pragma once

#include <emmintrin.h>

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
  // Compress on all four components at once (every rotation key of a motion file
  // goes through here): NaN to 0, then clamped to ±32767 and truncated.
  void FromQuaternion(const AnimCore::Quaternion& q) {
    __m128 scaled = _mm_mul_ps(_mm_setr_ps(q.x, q.y, q.z, q.w), _mm_set1_ps(32767.0f));
    scaled = _mm_andnot_ps(_mm_cmpunord_ps(scaled, scaled), scaled);
    scaled = _mm_min_ps(_mm_max_ps(scaled, _mm_set1_ps(-32767.0f)), _mm_set1_ps(32767.0f));
    const __m128i words = _mm_cvttps_epi32(scaled);
    x = static_cast<int16_t>(_mm_cvtsi128_si32(words));
    y = static_cast<int16_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(words, 1)));
    z = static_cast<int16_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(words, 2)));
    w = static_cast<int16_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(words, 3)));
  }
  // Not renormalised. All four at once: every rotation key sampled goes through here.
  AnimCore::Quaternion ToQuaternion() const {
    static_assert(sizeof(Compressed16BitQuaternion) == 8);
    const __m128i words = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(this));
    // Each 16-bit value into the top half of a 32-bit lane, shifted down with its sign.
    const __m128i wide = _mm_srai_epi32(_mm_unpacklo_epi16(words, words), 16);
    const __m128 q = _mm_mul_ps(_mm_cvtepi32_ps(wide), _mm_set1_ps(1.0f / 32767.0f));
    alignas(16) float out[4];
    _mm_store_ps(out, q);
    return {out[0], out[1], out[2], out[3]};
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
