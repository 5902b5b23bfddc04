#pragma once

#include "animation/chunk_processor.h"

namespace Anim {

// Standard material chunk (id 3): a StandardMaterial appended to the LOD-0 materials.
class ChunkProcessorActorMaterial final : public ChunkProcessor {
 public:
  ChunkProcessorActorMaterial() : ChunkProcessor(3, 1) {}
  bool Process(AnimCore::MemoryFile* file, AnimCore::Array<ImporterSharedData*>* sharedData,
               Actor* actor, Motion* motion, uint32_t endianType, ActorSettings* actorSettings,
               SkeletalMotionSettings* skeletalMotionSettings,
               PMorphMotionSettings* morphMotionSettings) override;
};

// Material layer chunk (id 4): one texture layer for an earlier standard material.
class ChunkProcessorActorMaterialLayer final : public ChunkProcessor {
 public:
  ChunkProcessorActorMaterialLayer() : ChunkProcessor(4, 1) {}
  bool Process(AnimCore::MemoryFile* file, AnimCore::Array<ImporterSharedData*>* sharedData,
               Actor* actor, Motion* motion, uint32_t endianType, ActorSettings* actorSettings,
               SkeletalMotionSettings* skeletalMotionSettings,
               PMorphMotionSettings* morphMotionSettings) override;
};

// FX material chunk (id 5): an FXMaterial with its parameters.
class ChunkProcessorActorFXMaterial final : public ChunkProcessor {
 public:
  ChunkProcessorActorFXMaterial() : ChunkProcessor(5, 1) {}
  bool Process(AnimCore::MemoryFile* file, AnimCore::Array<ImporterSharedData*>* sharedData,
               Actor* actor, Motion* motion, uint32_t endianType, ActorSettings* actorSettings,
               SkeletalMotionSettings* skeletalMotionSettings,
               PMorphMotionSettings* morphMotionSettings) override;
};

}  // namespace Anim
