// Deforming meshes: skinning 100,000 vertices with four influences each, and morphing
// 10,000 vertices with three weighted targets, each in vertices per second beside a
// memory copy of the same vertex data (positions and normals), the bandwidth bound of
// the pass.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/anim_manager.h"
#include "animation/core/memory_manager.h"
#include "animation/importer.h"
#include "animation/memory_categories.h"
#include "animation/mesh.h"
#include "animation/mesh_deformer_stack.h"
#include "animation/morph_setup.h"
#include "animation/node.h"
#include "animation/vertex_attribute_layer.h"
#include "bench/animation_fixture.h"
#include "bench/beside_baseline.h"
#include "tools/anim_file_writer.h"

namespace {

constexpr uint32_t kSkinVertices = 100000;
constexpr uint32_t kBones = 8;
constexpr uint32_t kMorphVertices = 10000;
constexpr uint32_t kTargets = 3;
// Positions and normals.
constexpr size_t kBytesPerVertex = 2 * 3 * sizeof(float);

// A chain of bones and one mesh of n vertices on the root; with skinning every vertex
// follows four bones, with targets each target moves every vertex.
testkit::AnimBytes ActorFile(uint32_t n, bool skinned, uint32_t targets) {
  testkit::AnimFileWriter writer(testkit::AnimFileKind::Actor);
  bench::AddBoneChain(writer, kBones);
  testkit::AnimMeshChunk mesh = bench::RingMesh(n, 0.7f / static_cast<float>(n));
  testkit::AnimMeshChunk::SubMesh sub;
  sub.numVertices = n;
  sub.indices = {0, 1, 2};
  for (uint32_t b = 0; b < kBones; ++b) sub.bones.push_back(b);
  mesh.numIndices = 3;
  mesh.subMeshes.push_back(sub);
  writer.AddMesh(mesh);

  if (skinned) {
    testkit::AnimSkinningChunk skin;
    for (uint32_t v = 0; v < n; ++v) {
      const uint32_t first = v % (kBones - 3);
      std::vector<testkit::AnimInfluence> influences;
      for (uint32_t i = 0; i < 4; ++i) {
        influences.push_back({0.25f, static_cast<uint16_t>(first + i)});
      }
      skin.vertices.push_back(influences);
    }
    writer.AddSkinning(skin, 2);
  }
  for (uint32_t t = 0; t < targets; ++t) {
    testkit::AnimMorphTargetChunk target;
    target.name = "target" + std::to_string(t);
    testkit::AnimMorphTargetChunk::DeformData data;
    data.minValue = -0.5f;
    data.maxValue = 0.5f;
    for (uint32_t v = 0; v < n; ++v) {
      const auto q = static_cast<uint16_t>((v * 7919u + t * 104729u) & 0xFFFF);
      const auto k = static_cast<uint8_t>(q >> 8);
      data.vertices.push_back({{q, static_cast<uint16_t>(~q), 32768}, {k, 128, 128}, {128, 128, 128}, v});
    }
    target.deformDatas.push_back(data);
    writer.AddMorphTarget(target);
  }
  return writer.Finish();
}

// Loads the actor, makes an instance with every morph weight set and runs the mesh
// stack of the root node once per iteration.
void RunDeform(benchmark::State& state, uint32_t n, bool skinned, uint32_t targets) {
  Anim::Importer* importer = bench::GetLibrary().GetImporter();
  if (importer == nullptr) {
    state.SkipWithError("the library did not start");
    return;
  }
  const testkit::AnimBytes file = ActorFile(n, skinned, targets);
  Anim::Actor* actor = importer->LoadActor(file.data(), static_cast<uint32_t>(file.size()));
  Anim::Node* node = actor != nullptr ? actor->GetNode(0) : nullptr;
  Anim::MeshDeformerStack* stack = node != nullptr ? node->GetMeshDeformerStack(0) : nullptr;
  if (stack == nullptr || stack->GetNumDeformers() != (skinned ? 1u : 0u) + (targets > 0 ? 1u : 0u)) {
    state.SkipWithError("the actor did not load with its deformers");
    AnimCore::Delete(actor);
    return;
  }
  auto* instance = AnimCore::New<Anim::ActorInstance>(Anim::MEMCATEGORY_ACTORINSTANCE, actor);
  Anim::MorphSetupInstance& weights = instance->GetMorphSetupInstance();
  for (uint32_t t = 0; t < weights.GetNumMorphTargets(); ++t) {
    weights.GetMorphTarget(t)->weight = 0.3f + 0.2f * static_cast<float>(t);
  }
  const void* positions = node->GetMesh(0)->FindVertexAttributeLayerData(Anim::LAYERTYPE_POSITIONS);
  // Baseline: a copy of the same vertex data (positions and normals).
  const size_t bytes = n * kBytesPerVertex;
  std::vector<uint8_t> source(bytes, 1);
  std::vector<uint8_t> target(bytes);
  bench::RunBesideBaseline(
      state,
      [&] {
        stack->Update(instance, node, 0.0f);
        benchmark::DoNotOptimize(positions);
        return true;
      },
      [&] {
        std::memcpy(target.data(), source.data(), bytes);
        benchmark::DoNotOptimize(target.data());
      });
  state.SetItemsProcessed(state.iterations() * n);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(n * kBytesPerVertex));
  AnimCore::Delete(instance);
  AnimCore::Delete(actor);
}

void RunCopy(benchmark::State& state, uint32_t n) {
  const size_t bytes = n * kBytesPerVertex;
  std::vector<uint8_t> source(bytes, 1);
  std::vector<uint8_t> target(bytes);
  for (auto _ : state) {
    std::memcpy(target.data(), source.data(), bytes);
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * n);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(n * kBytesPerVertex));
}

void BM_Skin100kVertices4Influences(benchmark::State& state) {
  RunDeform(state, kSkinVertices, true, 0);
}
void BM_CopySkinVertexData(benchmark::State& state) { RunCopy(state, kSkinVertices); }
void BM_Morph10kVertices3Targets(benchmark::State& state) {
  RunDeform(state, kMorphVertices, false, kTargets);
}
void BM_CopyMorphVertexData(benchmark::State& state) { RunCopy(state, kMorphVertices); }

BENCHMARK(BM_Skin100kVertices4Influences)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopySkinVertexData)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Morph10kVertices3Targets)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopyMorphVertexData)->Unit(benchmark::kMicrosecond);

}  // namespace
