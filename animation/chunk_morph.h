#pragma once

#include "animation/chunk_processor.h"

namespace Anim {

// Morph target chunk (id 9): a progressive morph target of one level of detail with
// its deform datas and transformations, and a morph deformer on each mesh it moves.
class ChunkProcessorActorProgMorphTarget final : public ChunkProcessor {
 public:
  ChunkProcessorActorProgMorphTarget() : ChunkProcessor(9, 1) {}
  bool Process(AnimCore::MemoryFile* file, AnimCore::Array<ImporterSharedData*>* sharedData,
               Actor* actor, Motion* motion, uint32_t endianType, ActorSettings* actorSettings,
               SkeletalMotionSettings* skeletalMotionSettings,
               PMorphMotionSettings* morphMotionSettings) override;
};

// Morph submotion chunk (id 100): one weight track of a progressive morph motion.
class ChunkProcessorPMorphSubMotion final : public ChunkProcessor {
 public:
  ChunkProcessorPMorphSubMotion() : ChunkProcessor(100, 1) {}
  bool Process(AnimCore::MemoryFile* file, AnimCore::Array<ImporterSharedData*>* sharedData,
               Actor* actor, Motion* motion, uint32_t endianType, ActorSettings* actorSettings,
               SkeletalMotionSettings* skeletalMotionSettings,
               PMorphMotionSettings* morphMotionSettings) override;
};

}  // namespace Anim
