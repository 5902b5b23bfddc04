#include "animation/deform_kernels.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "animation/core/core_test_support.h"

namespace Anim::DeformKernels {
namespace {

// The plans live in the library's memory.
class DeformKernelsTest : public AnimCore::testing::CoreTest {};

// The fast forms as a deformer runs them: the plan, then the plan on the job.
void SkinPlanned(const SkinJob& job) {
  SkinPlan plan;
  ASSERT_TRUE(PrepareSkin(job, plan));
  Skin(plan, job);
}
// Each form on its own (the AVX2 one only where the processor has it).
void SkinPlannedSse2(const SkinJob& job) {
  SkinPlan plan;
  ASSERT_TRUE(PrepareSkin(job, plan));
  SkinSse2(plan, job);
}
void SkinPlannedAvx2(const SkinJob& job) {
  SkinPlan plan;
  ASSERT_TRUE(PrepareSkin(job, plan));
  if (!SkinAvx2(plan, job)) SkinSse2(plan, job);
}
void MorphPlanned(const MorphJob& job) {
  MorphPlan plan;
  ASSERT_TRUE(PrepareMorph(job, plan));
  Morph(plan, job);
}

// Vertex attributes of n vertices; each kernel form runs on its own copy.
struct Attributes {
  std::vector<float> positions, normals, tangents;
  Attributes(uint32_t n, std::mt19937& rng) {
    std::uniform_real_distribution<float> any(-10.0f, 10.0f);
    positions.resize(3 * size_t{n});
    normals.resize(3 * size_t{n});
    tangents.resize(4 * size_t{n});
    for (float& f : positions) f = any(rng);
    for (float& f : normals) f = any(rng);
    for (float& f : tangents) f = any(rng);
  }
  bool SameBits(const Attributes& o) const {
    auto same = [](const std::vector<float>& a, const std::vector<float>& b) {
      return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0);
    };
    return same(positions, o.positions) && same(normals, o.normals) && same(tangents, o.tangents);
  }
};

TEST_F(DeformKernelsTest, SkinMatchesTheReferenceBitForBit) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> any(-2.0f, 2.0f);
  // Vertex counts around the vector width, and layouts with and without each attribute.
  for (uint32_t n : {0u, 1u, 2u, 3u, 4u, 5u, 7u, 9u, 33u, 250u}) {
    for (int layout = 0; layout < 4; ++layout) {
      std::vector<BoneRows> bones(6);
      for (BoneRows& b : bones) {
        for (float& f : b.m) f = any(rng);
      }
      // Rows of 0..5 influences; some name a bone past the table, the last rows run
      // past the pool, and some vertices name rows that do not exist.
      const uint32_t numRows = n + 2;
      std::vector<SkinInfluence> pool;
      std::vector<SkinningInfoVertexAttribute::Row> rows(numRows);
      for (uint32_t r = 0; r < numRows; ++r) {
        rows[r].start = static_cast<uint32_t>(pool.size());
        // Even vertex counts give long runs of four influences, odd ones mixed rows.
        rows[r].count = n % 2 == 0 ? 4 : rng() % 6;
        for (uint32_t i = 0; i < rows[r].count; ++i) {
          pool.push_back({any(rng), static_cast<uint16_t>(rng() % 8), 0});
        }
      }
      if (numRows > 1) rows[numRows - 1].count += 3;
      if (numRows > 2) rows[numRows - 2].start = static_cast<uint32_t>(pool.size()) + 1;
      std::vector<uint32_t> org(n);
      for (uint32_t v = 0; v < n; ++v) org[v] = rng() % (numRows + 3);

      Attributes reference(n, rng);
      const Attributes undeformed = reference;
      const Attributes scribbled(n, rng);  // written from undeformed, over other values
      SkinJob job;
      job.bones = bones.data();
      job.numBones = static_cast<uint32_t>(bones.size());
      job.influences = pool.data();
      job.numInfluences = static_cast<uint32_t>(pool.size());
      job.rows = rows.data();
      job.numRows = numRows;
      job.orgNumbers = org.data();
      job.numVertices = n;
      auto run = [&](Attributes& a, void (*kernel)(const SkinJob&)) {
        SkinJob j = job;
        j.positions = a.positions.data();
        j.normals = layout == 1 || layout == 2 ? a.normals.data() : nullptr;
        j.tangents = layout >= 2 ? a.tangents.data() : nullptr;
        kernel(j);
      };
      run(reference, SkinReference);
      for (auto kernel : {SkinPlannedSse2, SkinPlannedAvx2}) {
        Attributes fast = undeformed;
        job.sourcePositions = job.sourceNormals = job.sourceTangents = nullptr;
        run(fast, kernel);
        EXPECT_TRUE(reference.SameBits(fast)) << n << " vertices, layout " << layout;
        job.sourcePositions = undeformed.positions.data();
        job.sourceNormals = undeformed.normals.data();
        job.sourceTangents = undeformed.tangents.data();
        Attributes elsewhere = scribbled;
        run(elsewhere, kernel);
        if (layout != 1 && layout != 2) elsewhere.normals = reference.normals;  // not written
        if (layout < 2) elsewhere.tangents = reference.tangents;
        EXPECT_TRUE(reference.SameBits(elsewhere)) << n << " vertices from their sources, layout " << layout;
      }
    }
  }
}

TEST_F(DeformKernelsTest, SkinReferenceBlendsTheBones) {
  // Two bones: a translation by (1, 2, 3) and a scale by 2, half each.
  BoneRows bones[2] = {{{1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 2, 3}}, {{2, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0}}};
  const SkinInfluence pool[2] = {{0.5f, 0, 0}, {0.5f, 1, 0}};
  const SkinningInfoVertexAttribute::Row rows[1] = {{0, 2}};
  const uint32_t org[1] = {0};
  for (auto kernel : {SkinReference, SkinPlanned}) {
    float position[3] = {1, 1, 1};
    float normal[3] = {0, 1, 0};
    float tangent[4] = {1, 0, 0, -1};
    SkinJob job{bones, 2, pool, 2, rows, 1, org, 1, position, normal, tangent};
    kernel(job);
    EXPECT_FLOAT_EQ(position[0], 2.0f);
    EXPECT_FLOAT_EQ(position[1], 2.5f);
    EXPECT_FLOAT_EQ(position[2], 3.0f);
    EXPECT_FLOAT_EQ(normal[1], 1.5f);
    EXPECT_FLOAT_EQ(tangent[0], 1.5f);
    EXPECT_EQ(tangent[3], -1.0f);  // the handedness stays
  }
}

TEST_F(DeformKernelsTest, MorphMatchesTheReferenceBitForBit) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> any(-3.0f, 3.0f);
  for (uint32_t n : {0u, 1u, 2u, 3u, 5u, 8u, 13u, 100u}) {
    for (int layout = 0; layout < 4; ++layout) {
      // A run of consecutive vertices, then deltas in any order, repeated vertices, and
      // some past the mesh.
      std::vector<ProgressiveMorphTarget::VertexDelta> deltas(n + n / 2);
      for (auto& d : deltas) {
        for (uint16_t& q : d.position) q = static_cast<uint16_t>(rng());
        for (uint8_t& q : d.normal) q = static_cast<uint8_t>(rng());
        for (uint8_t& q : d.tangent) q = static_cast<uint8_t>(rng());
        // The first n deltas move vertices 0.. in order (one run), the rest any vertex.
        d.vertexNumber = &d - deltas.data() < n ? static_cast<uint32_t>(&d - deltas.data()) : rng() % (n + 2);
      }
      Attributes reference(n, rng);
      Attributes fast = reference;
      MorphJob job;
      job.deltas = deltas.data();
      job.numDeltas = static_cast<uint32_t>(deltas.size());
      job.minValue = -any(rng) - 0.1f;
      job.maxValue = any(rng) + 3.2f;
      job.weight = any(rng);
      job.numVertices = n;
      auto run = [&](Attributes& a, void (*kernel)(const MorphJob&)) {
        MorphJob j = job;
        j.positions = layout != 1 ? a.positions.data() : nullptr;
        j.normals = layout >= 1 ? a.normals.data() : nullptr;
        j.tangents = layout >= 2 ? a.tangents.data() : nullptr;
        kernel(j);
      };
      run(reference, MorphReference);
      run(fast, MorphPlanned);
      EXPECT_TRUE(reference.SameBits(fast)) << n << " vertices, layout " << layout;
    }
  }
}

TEST_F(DeformKernelsTest, MorphDecodesTheRangeEnds) {
  ProgressiveMorphTarget::VertexDelta d{{0, 65535, 32768}, {0, 255, 128}, {255, 0, 0}, 0};
  for (auto kernel : {MorphReference, MorphPlanned}) {
    float position[3] = {0, 0, 0};
    float normal[3] = {0, 0, 0};
    float tangent[4] = {0, 0, 0, 1};
    MorphJob job{&d, 1, -2.0f, 4.0f, 0.5f, 1, position, normal, tangent};
    kernel(job);
    EXPECT_FLOAT_EQ(position[0], -1.0f);
    EXPECT_FLOAT_EQ(position[1], 2.0f);
    EXPECT_NEAR(position[2], 0.5f, 1e-4f);
    EXPECT_FLOAT_EQ(normal[0], -0.5f);
    EXPECT_FLOAT_EQ(normal[1], 0.5f);
    EXPECT_FLOAT_EQ(tangent[0], 0.5f);
    EXPECT_EQ(tangent[3], 1.0f);
  }
}

}  // namespace
}  // namespace Anim::DeformKernels
