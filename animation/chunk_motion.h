#pragma once

#include "animation/chunk_processor.h"

namespace Anim {

// Skeletal submotion chunk (id 200, version 1): one node's pose, bind pose and key
// tracks, added to a skeletal motion.
class ChunkProcessorSkeletalSubMotion final : public ChunkProcessor {
 public:
  ChunkProcessorSkeletalSubMotion() : ChunkProcessor(200, 1) {}
  bool Process(AnimCore::MemoryFile* file, AnimCore::Array<ImporterSharedData*>* sharedData,
               Actor* actor, Motion* motion, uint32_t endianType, ActorSettings* actorSettings,
               SkeletalMotionSettings* skeletalMotionSettings,
               PMorphMotionSettings* morphMotionSettings) override;
};

// Motion event table chunk (id 50, version 1): timed events of named types, added to
// the motion's event table; unknown types are registered when the settings allow.
class ChunkProcessorMotionEventTable final : public ChunkProcessor {
 public:
  ChunkProcessorMotionEventTable() : ChunkProcessor(50, 1) {}
  bool Process(AnimCore::MemoryFile* file, AnimCore::Array<ImporterSharedData*>* sharedData,
               Actor* actor, Motion* motion, uint32_t endianType, ActorSettings* actorSettings,
               SkeletalMotionSettings* skeletalMotionSettings,
               PMorphMotionSettings* morphMotionSettings) override;
};

}  // namespace Anim
