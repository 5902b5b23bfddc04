#include "animation/deform_kernels.h"

#include <emmintrin.h>

#include <array>

namespace Anim::DeformKernels {
namespace {

static_assert(sizeof(ProgressiveMorphTarget::VertexDelta) == 16, "deltas are loaded 16 bytes at a time");

// The influences of an original vertex, clipped to the pool.
inline void RowOf(const SkinJob& job, uint32_t org, uint32_t& start, uint32_t& count) {
  start = 0;
  count = 0;
  if (org >= job.numRows) return;
  const SkinningInfoVertexAttribute::Row& row = job.rows[org];
  if (row.start >= job.numInfluences) return;
  start = row.start;
  count = row.count & 0xFF;
  if (count > job.numInfluences - start) count = job.numInfluences - start;
}

inline __m128 Load3(const float* p) {
  const __m128 xy = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(p));
  return _mm_movelh_ps(xy, _mm_load_ss(p + 2));
}

inline void Store3(float* p, __m128 v) {
  _mm_storel_pi(reinterpret_cast<__m64*>(p), v);
  _mm_store_ss(p + 2, _mm_movehl_ps(v, v));
}

template <int lane>
inline __m128 Splat(__m128 v) {
  return _mm_shuffle_ps(v, v, _MM_SHUFFLE(lane, lane, lane, lane));
}

// (x·r0 + y·r1) + z·r2, the order of the scalar form.
inline __m128 Rotate(__m128 v, __m128 r0, __m128 r1, __m128 r2) {
  return _mm_add_ps(_mm_add_ps(_mm_mul_ps(Splat<0>(v), r0), _mm_mul_ps(Splat<1>(v), r1)),
                    _mm_mul_ps(Splat<2>(v), r2));
}

const std::array<float, 256>& UnitTable() {
  static const std::array<float, 256> table = [] {
    std::array<float, 256> t{};
    for (uint32_t q = 0; q < 256; ++q) t[q] = MorphQuant::Decode8(static_cast<uint8_t>(q), -1.0f, 1.0f);
    return t;
  }();
  return table;
}

}  // namespace

void SkinReference(const SkinJob& job) {
  for (uint32_t v = 0; v < job.numVertices; ++v) {
    uint32_t start = 0, count = 0;
    RowOf(job, job.orgNumbers[v], start, count);
    // The weighted sum of the bone matrices, then one transform per attribute
    // (the same sum as transforming by each bone and adding, in a third of the work).
    float b[12] = {};
    for (uint32_t i = 0; i < count; ++i) {
      const SkinInfluence& influence = job.influences[start + i];
      if (influence.boneNumber >= job.numBones) continue;
      const float* m = job.bones[influence.boneNumber].m;
      for (int k = 0; k < 12; ++k) b[k] += m[k] * influence.weight;
    }
    float* p = job.positions + 3 * size_t{v};
    const float px = p[0], py = p[1], pz = p[2];
    p[0] = px * b[0] + py * b[3] + pz * b[6] + b[9];
    p[1] = px * b[1] + py * b[4] + pz * b[7] + b[10];
    p[2] = px * b[2] + py * b[5] + pz * b[8] + b[11];
    if (job.normals != nullptr) {
      float* n = job.normals + 3 * size_t{v};
      const float nx = n[0], ny = n[1], nz = n[2];
      n[0] = nx * b[0] + ny * b[3] + nz * b[6];
      n[1] = nx * b[1] + ny * b[4] + nz * b[7];
      n[2] = nx * b[2] + ny * b[5] + nz * b[8];
    }
    if (job.tangents != nullptr) {
      float* t = job.tangents + 4 * size_t{v};
      const float tx = t[0], ty = t[1], tz = t[2];
      t[0] = tx * b[0] + ty * b[3] + tz * b[6];
      t[1] = tx * b[1] + ty * b[4] + tz * b[7];
      t[2] = tx * b[2] + ty * b[5] + tz * b[8];
    }
  }
}

namespace {

// The vector form for one layout; the job's fields are held in locals, as the stores
// through the attribute pointers could otherwise alias them.
template <bool kNormals, bool kTangents>
void SkinLayout(const SkinJob& job) {
  const BoneRows* const bones = job.bones;
  const uint32_t numBones = job.numBones;
  const SkinInfluence* const pool = job.influences;
  const uint32_t numInfluences = job.numInfluences;
  const SkinningInfoVertexAttribute::Row* const rows = job.rows;
  const uint32_t numRows = job.numRows;
  const uint32_t* const orgNumbers = job.orgNumbers;
  const uint32_t numVertices = job.numVertices;
  float* const positions = job.positions;
  float* const normals = job.normals;
  float* const tangents = job.tangents;
  const __m128 zero = _mm_setzero_ps();
  for (uint32_t v = 0; v < numVertices; ++v) {
    const uint32_t org = orgNumbers[v];
    uint32_t start = 0, count = 0;
    if (org < numRows && rows[org].start < numInfluences) {
      start = rows[org].start;
      count = rows[org].count & 0xFF;
      if (count > numInfluences - start) count = numInfluences - start;
    }
    // b[0..3], b[4..7], b[8..11] of the scalar form.
    __m128 b0 = zero, b1 = zero, b2 = zero;
    const SkinInfluence* influence = pool + start;
    const SkinInfluence* const last = influence + count;
    for (; influence != last; ++influence) {
      const uint32_t bone = influence->boneNumber;
      if (bone >= numBones) continue;
      const float* m = bones[bone].m;
      const __m128 w = _mm_set1_ps(influence->weight);
      b0 = _mm_add_ps(b0, _mm_mul_ps(_mm_loadu_ps(m), w));
      b1 = _mm_add_ps(b1, _mm_mul_ps(_mm_loadu_ps(m + 4), w));
      b2 = _mm_add_ps(b2, _mm_mul_ps(_mm_loadu_ps(m + 8), w));
    }
    // The four rows of the blended 4x3 matrix, each in lanes 0..2.
    const __m128i i0 = _mm_castps_si128(b0), i1 = _mm_castps_si128(b1), i2 = _mm_castps_si128(b2);
    const __m128 r0 = b0;
    const __m128 r1 = _mm_castsi128_ps(_mm_or_si128(_mm_srli_si128(i0, 12), _mm_slli_si128(i1, 4)));
    const __m128 r2 = _mm_castsi128_ps(_mm_or_si128(_mm_srli_si128(i1, 8), _mm_slli_si128(i2, 8)));
    const __m128 r3 = _mm_castsi128_ps(_mm_srli_si128(i2, 4));

    float* p = positions + 3 * size_t{v};
    Store3(p, _mm_add_ps(Rotate(Load3(p), r0, r1, r2), r3));
    if constexpr (kNormals) {
      float* n = normals + 3 * size_t{v};
      Store3(n, Rotate(Load3(n), r0, r1, r2));
    }
    if constexpr (kTangents) {
      float* t = tangents + 4 * size_t{v};
      Store3(t, Rotate(Load3(t), r0, r1, r2));
    }
  }
}

}  // namespace

void Skin(const SkinJob& job) {
  if (job.normals != nullptr) {
    if (job.tangents != nullptr) {
      SkinLayout<true, true>(job);
    } else {
      SkinLayout<true, false>(job);
    }
  } else if (job.tangents != nullptr) {
    SkinLayout<false, true>(job);
  } else {
    SkinLayout<false, false>(job);
  }
}

void MorphReference(const MorphJob& job) {
  const float lo = job.minValue, hi = job.maxValue, w = job.weight;
  for (uint32_t i = 0; i < job.numDeltas; ++i) {
    const ProgressiveMorphTarget::VertexDelta& d = job.deltas[i];
    const uint32_t v = d.vertexNumber;
    if (v >= job.numVertices) continue;  // dropped at load; kept safe for hand-made data
    if (job.positions != nullptr) {
      for (uint32_t c = 0; c < 3; ++c) job.positions[3 * size_t{v} + c] += w * MorphQuant::Decode16(d.position[c], lo, hi);
    }
    if (job.normals != nullptr) {
      for (uint32_t c = 0; c < 3; ++c) job.normals[3 * size_t{v} + c] += w * MorphQuant::Decode8(d.normal[c], -1.0f, 1.0f);
    }
    if (job.tangents != nullptr) {
      for (uint32_t c = 0; c < 3; ++c) job.tangents[4 * size_t{v} + c] += w * MorphQuant::Decode8(d.tangent[c], -1.0f, 1.0f);
    }
  }
}

namespace {

template <bool kPositions, bool kNormals, bool kTangents>
void MorphLayout(const MorphJob& job) {
  const std::array<float, 256>& unit = UnitTable();
  const ProgressiveMorphTarget::VertexDelta* const deltas = job.deltas;
  const uint32_t numDeltas = job.numDeltas;
  const uint32_t numVertices = job.numVertices;
  float* const positions = job.positions;
  float* const normals = job.normals;
  float* const tangents = job.tangents;
  const __m128 lo = _mm_set1_ps(job.minValue);
  const __m128 range = _mm_set1_ps(job.maxValue - job.minValue);
  const __m128 steps = _mm_set1_ps(65535.0f);
  const __m128 w = _mm_set1_ps(job.weight);
  const __m128i zero = _mm_setzero_si128();
  for (uint32_t i = 0; i < numDeltas; ++i) {
    const ProgressiveMorphTarget::VertexDelta& d = deltas[i];
    const uint32_t v = d.vertexNumber;
    if (v >= numVertices) continue;
    if constexpr (kPositions) {
      // The quantised position in lanes 0..2; the division keeps the scalar rounding.
      const __m128i q = _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&d)), zero);
      const __m128 delta = _mm_add_ps(lo, _mm_div_ps(_mm_mul_ps(_mm_cvtepi32_ps(q), range), steps));
      float* p = positions + 3 * size_t{v};
      Store3(p, _mm_add_ps(Load3(p), _mm_mul_ps(delta, w)));
    }
    if constexpr (kNormals) {
      const __m128 delta = _mm_setr_ps(unit[d.normal[0]], unit[d.normal[1]], unit[d.normal[2]], 0.0f);
      float* n = normals + 3 * size_t{v};
      Store3(n, _mm_add_ps(Load3(n), _mm_mul_ps(delta, w)));
    }
    if constexpr (kTangents) {
      const __m128 delta = _mm_setr_ps(unit[d.tangent[0]], unit[d.tangent[1]], unit[d.tangent[2]], 0.0f);
      float* t = tangents + 4 * size_t{v};
      Store3(t, _mm_add_ps(Load3(t), _mm_mul_ps(delta, w)));
    }
  }
}

template <bool kPositions, bool kNormals>
void MorphWithTangents(const MorphJob& job) {
  if (job.tangents != nullptr) {
    MorphLayout<kPositions, kNormals, true>(job);
  } else {
    MorphLayout<kPositions, kNormals, false>(job);
  }
}

}  // namespace

void Morph(const MorphJob& job) {
  if (job.positions != nullptr) {
    if (job.normals != nullptr) {
      MorphWithTangents<true, true>(job);
    } else {
      MorphWithTangents<true, false>(job);
    }
  } else if (job.normals != nullptr) {
    MorphWithTangents<false, true>(job);
  } else {
    MorphWithTangents<false, false>(job);
  }
}

}  // namespace Anim::DeformKernels
