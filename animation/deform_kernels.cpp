#include "animation/deform_kernels.h"

#include <immintrin.h>

namespace Anim::DeformKernels {
namespace {

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

inline void Store3(float* p, __m128 v) {
  _mm_storel_pi(reinterpret_cast<__m64*>(p), v);
  _mm_store_ss(p + 2, _mm_movehl_ps(v, v));
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

// Lanes 0..2 of a, lane 3 of b (no shuffle: the vector units take it).
inline __m128 Lanes012Of(__m128 a, __m128 b) {
  const __m128 mask = _mm_castsi128_ps(_mm_setr_epi32(-1, -1, -1, 0));
  return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
}

constexpr uint32_t kAnyCount = 0xFFFFFFFFu;

// Three floats at p in lanes 0..2, or four when the fourth is in the attribute.
inline __m128 Load3Or4(const float* p, bool four) {
  if (four) return _mm_loadu_ps(p);
  const __m128 xy = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(p));
  return _mm_movelh_ps(xy, _mm_load_ss(p + 2));
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

// Writes lanes 0..2 of v to p; with four, 16 bytes whose fourth float is the one
// read there (in `was`), so one store does it.
inline void Store3Or4(float* p, __m128 v, __m128 was, bool four) {
  if (four) {
    _mm_storeu_ps(p, Lanes012Of(v, was));
  } else {
    Store3(p, v);
  }
}

// The vertices [first, end) of one run, all with kCount influences (or count, for
// kAnyCount). Positions and normals are read and written 16 bytes at a time except
// at the mesh's last vertex; the fourth float, the next vertex's first, is written
// back as it was read, and the next vertex is read before that store, so that no
// vertex waits for the previous one's.
struct SkinStreams {
  float* positions;
  float* normals;
  float* tangents;
  const float* sourcePositions;  // each the same as its target, or the undeformed values
  const float* sourceNormals;
  const float* sourceTangents;
};

template <uint32_t kCount, bool kNormals, bool kTangents>
inline void SkinRun(const float* bones, const SkinPlan::Entry* entry, uint32_t count, uint32_t first,
                    uint32_t end, uint32_t lastVertex, const SkinStreams& streams) {
  const __m128 zero = _mm_setzero_ps();
  const uint32_t n = kCount == kAnyCount ? count : kCount;
  float* const positions = streams.positions;
  float* const normals = streams.normals;
  float* const tangents = streams.tangents;
  const float* const sourcePositions = streams.sourcePositions;
  const float* const sourceNormals = streams.sourceNormals;
  const float* const sourceTangents = streams.sourceTangents;
  __m128 position = Load3Or4(sourcePositions + 3 * size_t{first}, first < lastVertex);
  __m128 normal = zero;
  if constexpr (kNormals) normal = Load3Or4(sourceNormals + 3 * size_t{first}, first < lastVertex);
  for (uint32_t v = first; v < end; ++v) {
    // b[0..3], b[4..7], b[8..11] of the scalar form, summed from zero as it does.
    __m128 b0 = zero, b1 = zero, b2 = zero;
    for (uint32_t i = 0; i < n; ++i, ++entry) {
      const float* m = bones + entry->boneOffset;
      const __m128 w = _mm_set1_ps(entry->weight);
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

    const bool four = v < lastVertex;
    const bool more = v + 1 < end;
    const bool nextFour = v + 1 < lastVertex;
    const size_t at = 3 * size_t{v};
    const __m128 nextPosition = more ? Load3Or4(sourcePositions + at + 3, nextFour) : zero;
    Store3Or4(positions + at, _mm_add_ps(Rotate(position, r0, r1, r2), r3), position, four);
    position = nextPosition;
    if constexpr (kNormals) {
      const __m128 nextNormal = more ? Load3Or4(sourceNormals + at + 3, nextFour) : zero;
      Store3Or4(normals + at, Rotate(normal, r0, r1, r2), normal, four);
      normal = nextNormal;
    }
    if constexpr (kTangents) {
      const __m128 tangent = _mm_loadu_ps(sourceTangents + 4 * size_t{v});
      _mm_storeu_ps(tangents + 4 * size_t{v}, Lanes012Of(Rotate(tangent, r0, r1, r2), tangent));
    }
  }
}

#define TARVEL_AVX2 __attribute__((target("avx2"), always_inline)) inline

// Vertices v and v + 1 of a 3-float attribute, four floats each.
TARVEL_AVX2 __m256 PairAt(const float* p) { return _mm256_loadu2_m128(p + 3, p); }

// (x·r0 + y·r1) + z·r2 in each half.
TARVEL_AVX2 __m256 RotatePair(__m256 x, __m256 r0, __m256 r1, __m256 r2) {
  return _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(_mm256_permute_ps(x, 0x00), r0),
                                     _mm256_mul_ps(_mm256_permute_ps(x, 0x55), r1)),
                       _mm256_mul_ps(_mm256_permute_ps(x, 0xAA), r2));
}

// Lanes 0..2 of each half from result, lane 3 from was.
TARVEL_AVX2 __m256 Lanes012OfPair(__m256 result, __m256 was) {
  const __m256 lanes012 = _mm256_castsi256_ps(_mm256_setr_epi32(-1, -1, -1, 0, -1, -1, -1, 0));
  return _mm256_or_ps(_mm256_and_ps(lanes012, result), _mm256_andnot_ps(lanes012, was));
}

// The low half first, as the high half's store covers the float the low half's wrote
// back.
TARVEL_AVX2 void StorePair(float* p, __m256 result, __m256 was) {
  const __m256 out = Lanes012OfPair(result, was);
  _mm_storeu_ps(p, _mm256_castps256_ps128(out));
  _mm_storeu_ps(p + 3, _mm256_extractf128_ps(out, 1));
}

// Two vertices of a run at once, vertex v in the low half of each 256-bit register and
// v + 1 in the high half, every lane doing the operations of SkinRun (AVX2 without
// FMA, so each product and sum rounds alike). Stops where fewer than two vertices
// are left or the second would be the mesh's last (whose 16-byte reads would pass
// the end); returns the first vertex not done, with entry moved past the done ones.
template <uint32_t kCount, bool kNormals, bool kTangents>
TARVEL_AVX2 uint32_t SkinPairs(
    const float* bones, const SkinPlan::Entry*& entry, uint32_t count, uint32_t first, uint32_t end,
    uint32_t lastVertex, const SkinStreams& streams) {
  const uint32_t n = kCount == kAnyCount ? count : kCount;
  uint32_t v = first;
  if (!(v + 1 < end && v + 1 < lastVertex)) return v;
  const __m256 zero = _mm256_setzero_ps();
  __m256 position = PairAt(streams.sourcePositions + 3 * size_t{v});
  __m256 normal = zero;
  if constexpr (kNormals) normal = PairAt(streams.sourceNormals + 3 * size_t{v});
  for (; v + 1 < end && v + 1 < lastVertex; v += 2) {
    __m256 b0 = zero, b1 = zero, b2 = zero;
    const SkinPlan::Entry* const low = entry;
    const SkinPlan::Entry* const high = entry + n;
    for (uint32_t i = 0; i < n; ++i) {
      const float* ml = bones + low[i].boneOffset;
      const float* mh = bones + high[i].boneOffset;
      const __m256 w = _mm256_set_m128(_mm_set1_ps(high[i].weight), _mm_set1_ps(low[i].weight));
      b0 = _mm256_add_ps(b0, _mm256_mul_ps(_mm256_loadu2_m128(mh, ml), w));
      b1 = _mm256_add_ps(b1, _mm256_mul_ps(_mm256_loadu2_m128(mh + 4, ml + 4), w));
      b2 = _mm256_add_ps(b2, _mm256_mul_ps(_mm256_loadu2_m128(mh + 8, ml + 8), w));
    }
    entry += 2 * size_t{n};
    const __m256i i0 = _mm256_castps_si256(b0), i1 = _mm256_castps_si256(b1), i2 = _mm256_castps_si256(b2);
    const __m256 r0 = b0;
    const __m256 r1 = _mm256_castsi256_ps(_mm256_or_si256(_mm256_srli_si256(i0, 12), _mm256_slli_si256(i1, 4)));
    const __m256 r2 = _mm256_castsi256_ps(_mm256_or_si256(_mm256_srli_si256(i1, 8), _mm256_slli_si256(i2, 8)));
    const __m256 r3 = _mm256_castsi256_ps(_mm256_srli_si256(i2, 4));

    const bool more = v + 3 < end && v + 3 < lastVertex;
    const size_t at = 3 * size_t{v};
    const __m256 nextPosition = more ? PairAt(streams.sourcePositions + at + 6) : zero;
    StorePair(streams.positions + at, _mm256_add_ps(RotatePair(position, r0, r1, r2), r3), position);
    position = nextPosition;
    if constexpr (kNormals) {
      const __m256 nextNormal = more ? PairAt(streams.sourceNormals + at + 6) : zero;
      StorePair(streams.normals + at, RotatePair(normal, r0, r1, r2), normal);
      normal = nextNormal;
    }
    if constexpr (kTangents) {
      const __m256 tangent = _mm256_loadu_ps(streams.sourceTangents + 4 * size_t{v});
      _mm256_storeu_ps(streams.tangents + 4 * size_t{v}, Lanes012OfPair(RotatePair(tangent, r0, r1, r2), tangent));
    }
  }
  return v;
}

template <bool kNormals, bool kTangents>
[[gnu::always_inline]] inline void SkinLayout(const SkinPlan& plan, const SkinJob& job) {
  const auto* const bones = reinterpret_cast<const float*>(job.bones);
  const SkinStreams streams{job.positions,
                            job.normals,
                            job.tangents,
                            job.sourcePositions != nullptr ? job.sourcePositions : job.positions,
                            job.sourceNormals != nullptr ? job.sourceNormals : job.normals,
                            job.sourceTangents != nullptr ? job.sourceTangents : job.tangents};
  const uint32_t lastVertex = plan.numVertices - 1;
  const SkinPlan::Entry* entry = plan.entries.GetPtr();
  for (const SkinPlan::Run& run : plan.runs) {
    const uint32_t first = run.firstVertex, end = run.firstVertex + run.numVertices;
    switch (run.count) {
      case 0:
        SkinRun<0, kNormals, kTangents>(bones, entry, 0, first, end, lastVertex, streams);
        break;
      case 1:
        SkinRun<1, kNormals, kTangents>(bones, entry, 1, first, end, lastVertex, streams);
        break;
      case 2:
        SkinRun<2, kNormals, kTangents>(bones, entry, 2, first, end, lastVertex, streams);
        break;
      case 3:
        SkinRun<3, kNormals, kTangents>(bones, entry, 3, first, end, lastVertex, streams);
        break;
      case 4:
        SkinRun<4, kNormals, kTangents>(bones, entry, 4, first, end, lastVertex, streams);
        break;
      default:
        SkinRun<kAnyCount, kNormals, kTangents>(bones, entry, run.count, first, end, lastVertex, streams);
        break;
    }
    entry += size_t{run.count} * run.numVertices;
  }
}

// SkinLayout with each run's pairs first.
template <bool kNormals, bool kTangents>
TARVEL_AVX2 void SkinLayoutPairs(const SkinPlan& plan, const SkinJob& job) {
  const auto* const bones = reinterpret_cast<const float*>(job.bones);
  const SkinStreams streams{job.positions,
                            job.normals,
                            job.tangents,
                            job.sourcePositions != nullptr ? job.sourcePositions : job.positions,
                            job.sourceNormals != nullptr ? job.sourceNormals : job.normals,
                            job.sourceTangents != nullptr ? job.sourceTangents : job.tangents};
  const uint32_t lastVertex = plan.numVertices - 1;
  const SkinPlan::Entry* entry = plan.entries.GetPtr();
  for (const SkinPlan::Run& run : plan.runs) {
    const uint32_t end = run.firstVertex + run.numVertices;
    const SkinPlan::Entry* rest = entry;
    uint32_t first = run.firstVertex;
    switch (run.count) {
      case 0:
        first = SkinPairs<0, kNormals, kTangents>(bones, rest, 0, first, end, lastVertex, streams);
        SkinRun<0, kNormals, kTangents>(bones, rest, 0, first, end, lastVertex, streams);
        break;
      case 1:
        first = SkinPairs<1, kNormals, kTangents>(bones, rest, 1, first, end, lastVertex, streams);
        SkinRun<1, kNormals, kTangents>(bones, rest, 1, first, end, lastVertex, streams);
        break;
      case 2:
        first = SkinPairs<2, kNormals, kTangents>(bones, rest, 2, first, end, lastVertex, streams);
        SkinRun<2, kNormals, kTangents>(bones, rest, 2, first, end, lastVertex, streams);
        break;
      case 3:
        first = SkinPairs<3, kNormals, kTangents>(bones, rest, 3, first, end, lastVertex, streams);
        SkinRun<3, kNormals, kTangents>(bones, rest, 3, first, end, lastVertex, streams);
        break;
      case 4:
        first = SkinPairs<4, kNormals, kTangents>(bones, rest, 4, first, end, lastVertex, streams);
        SkinRun<4, kNormals, kTangents>(bones, rest, 4, first, end, lastVertex, streams);
        break;
      default:
        first = SkinPairs<kAnyCount, kNormals, kTangents>(bones, rest, run.count, first, end, lastVertex, streams);
        SkinRun<kAnyCount, kNormals, kTangents>(bones, rest, run.count, first, end, lastVertex, streams);
        break;
    }
    entry += size_t{run.count} * run.numVertices;
  }
}

}  // namespace

bool PrepareSkin(const SkinJob& job, SkinPlan& plan) {
  plan.runs.Clear();
  plan.entries.Clear();
  plan.numBones = job.numBones;
  plan.numVertices = job.numVertices;
  // The usable influences of vertex v, in order, as the reference walks them.
  auto forEachInfluence = [&job](uint32_t v, auto&& use) {
    uint32_t start = 0, count = 0;
    RowOf(job, job.orgNumbers[v], start, count);
    for (uint32_t i = 0; i < count; ++i) {
      const SkinInfluence& influence = job.influences[start + i];
      if (influence.boneNumber < job.numBones) use(influence);
    }
  };
  // Sized first, so that neither array grows entry by entry.
  uint64_t numEntries = 0;
  uint32_t numRuns = 0;
  uint32_t runCount = 0;
  for (uint32_t v = 0; v < job.numVertices; ++v) {
    uint32_t count = 0;
    forEachInfluence(v, [&count](const SkinInfluence&) { ++count; });
    if (v == 0 || count != runCount) ++numRuns;
    runCount = count;
    numEntries += count;
  }
  if (numEntries > UINT32_MAX || !plan.runs.Reserve(numRuns) ||
      !plan.entries.Reserve(static_cast<uint32_t>(numEntries))) {
    plan.runs.Clear();
    plan.entries.Clear();
    plan.numVertices = 0;
    return false;
  }
  for (uint32_t v = 0; v < job.numVertices; ++v) {
    const uint32_t before = plan.entries.GetLength();
    forEachInfluence(v, [&plan](const SkinInfluence& influence) {
      plan.entries.Add({12u * influence.boneNumber, influence.weight});
    });
    const uint32_t count = plan.entries.GetLength() - before;
    if (!plan.runs.IsEmpty() && plan.runs.GetLast().count == count) {
      ++plan.runs.GetLast().numVertices;
    } else {
      plan.runs.Add({v, 1, count});
    }
  }
  return true;
}

namespace {

[[gnu::always_inline]] inline void SkinAnyLayout(const SkinPlan& plan, const SkinJob& job) {
  if (job.normals != nullptr) {
    if (job.tangents != nullptr) {
      SkinLayout<true, true>(plan, job);
    } else {
      SkinLayout<true, false>(plan, job);
    }
  } else if (job.tangents != nullptr) {
    SkinLayout<false, true>(plan, job);
  } else {
    SkinLayout<false, false>(plan, job);
  }
}

__attribute__((target("avx2"))) void SkinAnyLayoutPairs(const SkinPlan& plan, const SkinJob& job) {
  if (job.normals != nullptr) {
    if (job.tangents != nullptr) {
      SkinLayoutPairs<true, true>(plan, job);
    } else {
      SkinLayoutPairs<true, false>(plan, job);
    }
  } else if (job.tangents != nullptr) {
    SkinLayoutPairs<false, true>(plan, job);
  } else {
    SkinLayoutPairs<false, false>(plan, job);
  }
}

bool PlanFits(const SkinPlan& plan, const SkinJob& job) {
  return plan.numVertices != 0 && job.numVertices == plan.numVertices && job.numBones == plan.numBones;
}

}  // namespace

void SkinSse2(const SkinPlan& plan, const SkinJob& job) {
  if (PlanFits(plan, job)) SkinAnyLayout(plan, job);
}

bool SkinAvx2(const SkinPlan& plan, const SkinJob& job) {
  static const bool supported = __builtin_cpu_supports("avx2");
  if (!supported) return false;
  if (PlanFits(plan, job)) SkinAnyLayoutPairs(plan, job);
  return true;
}

void Skin(const SkinPlan& plan, const SkinJob& job) {
  if (!SkinAvx2(plan, job)) SkinSse2(plan, job);
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

bool PrepareMorph(const MorphJob& job, MorphPlan& plan) {
  plan.runs.Clear();
  plan.positions.Clear();
  plan.normals.Clear();
  plan.tangents.Clear();
  plan.hasPositions = job.positions != nullptr;
  plan.hasNormals = job.normals != nullptr;
  plan.hasTangents = job.tangents != nullptr;
  uint32_t kept = 0, numRuns = 0;
  uint32_t next = 0;  // the vertex that would extend the current run
  for (uint32_t i = 0; i < job.numDeltas; ++i) {
    const uint32_t v = job.deltas[i].vertexNumber;
    if (v >= job.numVertices) continue;
    if (kept == 0 || v != next) ++numRuns;
    next = v + 1;
    ++kept;
  }
  const bool sized = kept <= UINT32_MAX / 3 && plan.runs.Reserve(numRuns) && (!plan.hasPositions || plan.positions.Resize(3 * kept)) &&
                     (!plan.hasNormals || plan.normals.Resize(3 * kept)) &&
                     (!plan.hasTangents || plan.tangents.Resize(3 * kept));
  if (!sized) {
    plan.runs.Clear();
    plan.positions.Clear();
    plan.normals.Clear();
    plan.tangents.Clear();
    plan.hasPositions = plan.hasNormals = plan.hasTangents = false;
    return false;
  }
  const float lo = job.minValue, hi = job.maxValue;
  uint32_t k = 0;
  for (uint32_t i = 0; i < job.numDeltas; ++i) {
    const ProgressiveMorphTarget::VertexDelta& d = job.deltas[i];
    const uint32_t v = d.vertexNumber;
    if (v >= job.numVertices) continue;
    if (!plan.runs.IsEmpty() && v == plan.runs.GetLast().firstVertex + plan.runs.GetLast().numVertices) {
      ++plan.runs.GetLast().numVertices;
    } else {
      plan.runs.Add({v, 1});
    }
    for (uint32_t c = 0; c < 3; ++c) {
      if (plan.hasPositions) plan.positions[3 * k + c] = MorphQuant::Decode16(d.position[c], lo, hi);
      if (plan.hasNormals) plan.normals[3 * k + c] = MorphQuant::Decode8(d.normal[c], -1.0f, 1.0f);
      if (plan.hasTangents) plan.tangents[3 * k + c] = MorphQuant::Decode8(d.tangent[c], -1.0f, 1.0f);
    }
    ++k;
  }
  return true;
}

bool MorphPlanCovers(const MorphPlan& plan, const MorphJob& job) {
  return (job.positions == nullptr || plan.hasPositions) && (job.normals == nullptr || plan.hasNormals) &&
         (job.tangents == nullptr || plan.hasTangents);
}

namespace {

// attribute[i] += w · delta[i] over n floats, four at a time.
inline void AddWeighted(float* attribute, const float* delta, uint32_t n, float weight) {
  const __m128 w = _mm_set1_ps(weight);
  uint32_t i = 0;
  for (; i + 4 <= n; i += 4) {
    _mm_storeu_ps(attribute + i, _mm_add_ps(_mm_loadu_ps(attribute + i), _mm_mul_ps(_mm_loadu_ps(delta + i), w)));
  }
  for (; i < n; ++i) attribute[i] += weight * delta[i];
}

}  // namespace

void Morph(const MorphPlan& plan, const MorphJob& job) {
  if (!MorphPlanCovers(plan, job)) return;
  const float w = job.weight;
  // A run's positions (and normals) are one stretch of floats in the mesh and in the plan.
  uint32_t k = 0;
  for (const MorphPlan::Run& run : plan.runs) {
    const size_t v = run.firstVertex;
    const uint32_t n = 3 * run.numVertices;
    if (job.positions != nullptr) AddWeighted(job.positions + 3 * v, plan.positions.GetPtr() + 3 * size_t{k}, n, w);
    if (job.normals != nullptr) AddWeighted(job.normals + 3 * v, plan.normals.GetPtr() + 3 * size_t{k}, n, w);
    if (job.tangents != nullptr) {
      // Four floats a vertex: the handedness in the fourth stays.
      const float* d = plan.tangents.GetPtr() + 3 * size_t{k};
      float* t = job.tangents + 4 * v;
      for (uint32_t j = 0; j < run.numVertices; ++j, d += 3, t += 4) {
        for (uint32_t c = 0; c < 3; ++c) t[c] += w * d[c];
      }
    }
    k += run.numVertices;
  }
}

}  // namespace Anim::DeformKernels
