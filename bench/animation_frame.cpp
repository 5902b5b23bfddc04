// One frame of 100 actor instances of 50 nodes, each blending two skeletal motions
// (sample, blend, local to world), beside a plain loop copying the same poses. The
// "share_of_16ms" counter is the frame's part of a 60 Hz budget on one core.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/anim_manager.h"
#include "animation/core/memory_manager.h"
#include "animation/memory_categories.h"
#include "animation/motion_instance.h"
#include "animation/motion_system.h"
#include "animation/node.h"
#include "animation/skeletal_motion.h"
#include "animation/transform_data.h"
#include "bench/beside_baseline.h"

namespace {

constexpr uint32_t kInstances = 100;
constexpr uint32_t kNodes = 50;
constexpr uint32_t kKeys = 16;
constexpr float kLength = 2.0f;
constexpr float kFrame = 1.0f / 60.0f;

Anim::SkeletalMotion* MakeMotion(const Anim::Actor& actor, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  auto* motion = AnimCore::New<Anim::SkeletalMotion>(Anim::MEMCATEGORY_SKELETALMOTION, "walk");
  for (uint32_t n = 0; n < kNodes; ++n) {
    auto* sub = AnimCore::New<Anim::SkeletalSubMotion>(Anim::MEMCATEGORY_SKELETALMOTION,
                                                       actor.GetNode(n)->GetName());
    sub->CreatePositionTrack();
    sub->CreateRotationTrack();
    for (uint32_t k = 0; k < kKeys; ++k) {
      const float t = kLength * static_cast<float>(k) / static_cast<float>(kKeys - 1);
      sub->GetPositionTrack()->AddKey(t, AnimCore::Vector3(unit(random), unit(random), unit(random)));
      sub->GetRotationTrack()->AddKey(
          t, AnimCore::Quaternion(unit(random), unit(random), unit(random), 2.0f).Normalized());
    }
    sub->GetPositionTrack()->CreateLinearInterpolator();
    sub->GetRotationTrack()->CreateLinearInterpolator();
    motion->AddSubMotion(sub);
  }
  motion->UpdateMaxTime();
  return motion;
}

// The library, one actor (a branching tree), two motions and the instances, each
// playing both motions at half weight on top of each other.
struct Scene {
  Scene() {
    // The standard allocator; the library starts on top of it.
    AnimCore::MemoryManager::SetMemoryAllocator(nullptr);
    Anim::Initialize();
    actor = AnimCore::New<Anim::Actor>(Anim::MEMCATEGORY_ACTOR, "bench actor");
    char name[16];
    for (uint32_t n = 0; n < kNodes; ++n) {
      std::snprintf(name, sizeof(name), "node%u", n);
      auto* node = AnimCore::New<Anim::Node>(Anim::MEMCATEGORY_NODE, name, actor);
      actor->AddNode(node);
      if (n == 0) {
        actor->AddRootNode(0);
      } else {
        const uint32_t parent = (n - 1) / 2;
        node->SetParentIndex(parent);
        actor->GetNode(parent)->AddChild(n);
      }
    }
    motions[0] = MakeMotion(*actor, 1);
    motions[1] = MakeMotion(*actor, 2);
    for (uint32_t i = 0; i < kInstances; ++i) {
      auto* instance = AnimCore::New<Anim::ActorInstance>(Anim::MEMCATEGORY_ACTORINSTANCE, actor);
      Anim::sMotionPlayInfo info;
      info.blendInTime = 0.0f;
      instance->GetMotionSystem()->PlayMotion(motions[0], &info);
      info.targetWeight = 0.5f;
      info.priorityLevel = 1;
      instance->GetMotionSystem()->PlayMotion(motions[1], &info);
      // Spread the clocks so the instances do not sample the same key.
      instance->Update(kLength * static_cast<float>(i) / kInstances, true);
      instances.push_back(instance);
    }
  }
  ~Scene() {
    for (Anim::ActorInstance* instance : instances) AnimCore::Delete(instance);
    AnimCore::Delete(motions[0]);
    AnimCore::Delete(motions[1]);
    AnimCore::Delete(actor);
    Anim::Shutdown();
  }
  Anim::Actor* actor = nullptr;
  Anim::SkeletalMotion* motions[2] = {};
  std::vector<Anim::ActorInstance*> instances;
};

// Baseline: the same poses (local transforms in, world matrices out) copied by a plain
// loop, per instance.
struct PoseCopy {
  std::vector<Anim::Transform> locals = std::vector<Anim::Transform>(kInstances * kNodes);
  std::vector<AnimCore::Matrix> worlds = std::vector<AnimCore::Matrix>(kInstances * kNodes);
  void Run(const Scene& scene) {
    for (uint32_t i = 0; i < kInstances; ++i) {
      const Anim::TransformData& data = scene.instances[i]->GetTransformData();
      std::memcpy(static_cast<void*>(&locals[i * kNodes]), data.GetLocalTransforms(),
                  sizeof(Anim::Transform) * kNodes);
      std::memcpy(static_cast<void*>(&worlds[i * kNodes]), data.GetWorldMatrices(),
                  sizeof(AnimCore::Matrix) * kNodes);
    }
    benchmark::DoNotOptimize(locals.data());
    benchmark::DoNotOptimize(worlds.data());
    benchmark::ClobberMemory();
  }
};

void SetFrameCounters(benchmark::State& state) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kInstances);
  // Seconds per frame over the 16 ms budget, averaged over the iterations.
  state.counters["share_of_16ms"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * 0.016,
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_AnimationFrame(benchmark::State& state) {
  Scene scene;
  PoseCopy copy;
  bench::RunBesideBaseline(
      state,
      [&] {
        for (Anim::ActorInstance* instance : scene.instances) instance->Update(kFrame, true);
        return true;
      },
      [&] { copy.Run(scene); });
  SetFrameCounters(state);
}
BENCHMARK(BM_AnimationFrame)->Unit(benchmark::kMicrosecond);

void BM_PlainPoseCopy(benchmark::State& state) {
  Scene scene;
  PoseCopy copy;
  for (auto _ : state) copy.Run(scene);
  SetFrameCounters(state);
}
BENCHMARK(BM_PlainPoseCopy)->Unit(benchmark::kMicrosecond);

}  // namespace
