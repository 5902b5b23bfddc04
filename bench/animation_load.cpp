// Loading from memory: a skinned actor of 5,000 vertices, one of 20,000 vertices
// with four influences each in the row-by-row skinning layout, and a skeletal
// motion of 100 nodes with 300 keys per track, each beside a memory copy of the
// same file, so the figure that matters is the load's cost in copies of its own
// bytes.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "animation/actor.h"
#include "animation/anim_manager.h"
#include "animation/core/memory_manager.h"
#include "animation/importer.h"
#include "animation/skeletal_motion.h"
#include "animation/vertex_attribute_layer.h"
#include "bench/animation_fixture.h"
#include "bench/beside_baseline.h"
#include "tools/anim_file_writer.h"

namespace {

constexpr uint32_t kVertices = 5000;
constexpr uint32_t kBones = 20;
constexpr uint32_t kRowVertices = 20000;
constexpr uint32_t kMotionNodes = 100;
constexpr uint32_t kKeys = 300;

// A chain of bones; one mesh on the root, every vertex weighted to two bones.
testkit::AnimBytes SkinnedActorFile() {
  testkit::AnimFileWriter writer(testkit::AnimFileKind::Actor);
  bench::AddBoneChain(writer, kBones);
  testkit::AnimMeshChunk mesh = bench::RingMesh(kVertices, 0.0004f);
  testkit::AnimMeshChunk::SubMesh sub;
  sub.numVertices = kVertices;
  for (uint32_t v = 0; v + 2 < kVertices; ++v) sub.indices.insert(sub.indices.end(), {v, v + 1, v + 2});
  for (uint32_t b = 0; b < kBones; ++b) sub.bones.push_back(b);
  mesh.numIndices = static_cast<uint32_t>(sub.indices.size());
  mesh.subMeshes.push_back(sub);
  writer.AddMesh(mesh);

  testkit::AnimSkinningChunk skin;
  for (uint32_t v = 0; v < kVertices; ++v) {
    const uint32_t bone = v * kBones / kVertices;
    const uint32_t next = bone + 1 < kBones ? bone + 1 : bone;
    skin.vertices.push_back(
        {{0.75f, static_cast<uint16_t>(bone)}, {0.25f, static_cast<uint16_t>(next)}});
  }
  writer.AddSkinning(skin, 2);
  return writer.Finish();
}

// The same chain with 20,000 vertices, each weighted to four bones, in skinning
// version 1 (a count, then the influences, per vertex): twice the influences a row
// reserves, so a pool grown entry by entry would be quadratic here.
testkit::AnimBytes FourInfluenceActorFile() {
  testkit::AnimFileWriter writer(testkit::AnimFileKind::Actor);
  bench::AddBoneChain(writer, kBones);
  testkit::AnimMeshChunk mesh = bench::RingMesh(kRowVertices, 0.0001f);
  testkit::AnimMeshChunk::SubMesh sub;
  sub.numVertices = kRowVertices;
  for (uint32_t v = 0; v + 2 < kRowVertices; ++v) sub.indices.insert(sub.indices.end(), {v, v + 1, v + 2});
  mesh.numIndices = static_cast<uint32_t>(sub.indices.size());
  mesh.subMeshes.push_back(sub);
  writer.AddMesh(mesh);

  testkit::AnimSkinningChunk skin;
  for (uint32_t v = 0; v < kRowVertices; ++v) {
    const uint32_t bone = v * (kBones - 3) / kRowVertices;
    skin.vertices.push_back({{0.4f, static_cast<uint16_t>(bone)},
                             {0.3f, static_cast<uint16_t>(bone + 1)},
                             {0.2f, static_cast<uint16_t>(bone + 2)},
                             {0.1f, static_cast<uint16_t>(bone + 3)}});
  }
  writer.AddSkinning(skin, 1);
  return writer.Finish();
}

testkit::AnimBytes MotionFile() {
  testkit::AnimFileWriter writer(testkit::AnimFileKind::SkeletalMotion);
  testkit::AnimMotionInfoChunk info;
  info.motionName = "walk";
  writer.AddMotionInfo(info);
  for (uint32_t n = 0; n < kMotionNodes; ++n) {
    testkit::AnimSkeletalSubMotionChunk sub;
    sub.name = "node" + std::to_string(n);
    for (uint32_t k = 0; k < kKeys; ++k) {
      const float t = static_cast<float>(k) / 30.0f;
      const float half = 0.5f * std::sin(t + static_cast<float>(n));
      sub.positionKeys.push_back({{t, 0.1f * static_cast<float>(n), -t}, t});
      sub.rotationKeys.push_back({{0.0f, std::sin(half), 0.0f, std::cos(half)}, t});
    }
    writer.AddSkeletalSubMotion(sub);
  }
  return writer.Finish();
}

// The load beside a copy of the same file, alternately in one loop.
template <class Load>
void RunLoad(benchmark::State& state, const testkit::AnimBytes& file, Load load) {
  Anim::Importer* importer = bench::GetLibrary().GetImporter();
  if (importer == nullptr) {
    state.SkipWithError("the library did not start");
    return;
  }
  std::vector<uint8_t> target(file.size());
  bench::RunBesideBaseline(
      state, [&] { return load(importer, file); },
      [&] {
        std::memcpy(target.data(), file.data(), file.size());
        benchmark::DoNotOptimize(target.data());
      });
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.size()));
}

void RunCopy(benchmark::State& state, const testkit::AnimBytes& file) {
  std::vector<uint8_t> target(file.size());
  for (auto _ : state) {
    std::memcpy(target.data(), file.data(), file.size());
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.size()));
}

const testkit::AnimBytes& ActorBytes() {
  static const testkit::AnimBytes bytes = SkinnedActorFile();
  return bytes;
}

const testkit::AnimBytes& FourInfluenceActorBytes() {
  static const testkit::AnimBytes bytes = FourInfluenceActorFile();
  return bytes;
}

const testkit::AnimBytes& MotionBytes() {
  static const testkit::AnimBytes bytes = MotionFile();
  return bytes;
}

void BM_LoadSkinnedActor(benchmark::State& state) {
  RunLoad(state, ActorBytes(), [](Anim::Importer* importer, const testkit::AnimBytes& file) {
    Anim::Actor* actor = importer->LoadActor(file.data(), static_cast<uint32_t>(file.size()));
    const bool complete = actor != nullptr && actor->GetNumNodes() == kBones &&
                          actor->GetNode(0)->GetMesh(0) != nullptr;
    AnimCore::Delete(actor);
    return complete;
  });
}

void BM_CopySkinnedActorFile(benchmark::State& state) { RunCopy(state, ActorBytes()); }

void BM_LoadFourInfluenceActor(benchmark::State& state) {
  RunLoad(state, FourInfluenceActorBytes(), [](Anim::Importer* importer, const testkit::AnimBytes& file) {
    Anim::Actor* actor = importer->LoadActor(file.data(), static_cast<uint32_t>(file.size()));
    const bool complete = actor != nullptr && actor->GetNumNodes() == kBones &&
                          actor->GetNode(0)->GetMeshDeformerStack(0) != nullptr;
    AnimCore::Delete(actor);
    return complete;
  });
}

void BM_CopyFourInfluenceActorFile(benchmark::State& state) { RunCopy(state, FourInfluenceActorBytes()); }

void BM_LoadSkeletalMotion(benchmark::State& state) {
  RunLoad(state, MotionBytes(), [](Anim::Importer* importer, const testkit::AnimBytes& file) {
    Anim::SkeletalMotion* motion =
        importer->LoadSkeletalMotion(file.data(), static_cast<uint32_t>(file.size()));
    const bool complete = motion != nullptr && motion->GetNumSubMotions() == kMotionNodes;
    AnimCore::Delete(motion);
    return complete;
  });
}

void BM_CopySkeletalMotionFile(benchmark::State& state) { RunCopy(state, MotionBytes()); }

BENCHMARK(BM_LoadSkinnedActor)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopySkinnedActorFile)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadFourInfluenceActor)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopyFourInfluenceActorFile)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadSkeletalMotion)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopySkeletalMotionFile)->Unit(benchmark::kMicrosecond);

}  // namespace
