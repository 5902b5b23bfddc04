#pragma once

#include "animation/chunk_processor.h"

namespace Anim {

// Node chunk (id 0), versions 1 and 2: one node with its bind-pose transform, linked
// below a parent created by an earlier chunk.
class ChunkProcessorActorNode final : public ChunkProcessor {
 public:
  explicit ChunkProcessorActorNode(uint32_t version) : ChunkProcessor(0, version) {}
  bool Process(AnimCore::MemoryFile* file, AnimCore::Array<ImporterSharedData*>* sharedData,
               Actor* actor, Motion* motion, uint32_t endianType, ActorSettings* actorSettings,
               SkeletalMotionSettings* skeletalMotionSettings,
               PMorphMotionSettings* morphMotionSettings) override;
};

// Node-limit chunk (id 6, version 1): a NodeLimitAttribute for an existing node.
class ChunkProcessorActorLimit final : public ChunkProcessor {
 public:
  ChunkProcessorActorLimit() : ChunkProcessor(6, 1) {}
  bool Process(AnimCore::MemoryFile* file, AnimCore::Array<ImporterSharedData*>* sharedData,
               Actor* actor, Motion* motion, uint32_t endianType, ActorSettings* actorSettings,
               SkeletalMotionSettings* skeletalMotionSettings,
               PMorphMotionSettings* morphMotionSettings) override;
};

}  // namespace Anim
