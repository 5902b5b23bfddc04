#pragma once

#include "animation/chunk_processor.h"

namespace Anim {

// Skinning chunk (id 2), version 1 (a count byte and records per original vertex)
// and version 2 (an influence pool and a row table): the mesh's skinning layer and
// a skin deformer on its stack.
class ChunkProcessorActorSkinningInfo final : public ChunkProcessor {
 public:
  explicit ChunkProcessorActorSkinningInfo(uint32_t version) : ChunkProcessor(2, version) {}
  bool Process(AnimCore::MemoryFile* file, AnimCore::Array<ImporterSharedData*>* sharedData,
               Actor* actor, Motion* motion, uint32_t endianType, ActorSettings* actorSettings,
               SkeletalMotionSettings* skeletalMotionSettings,
               PMorphMotionSettings* morphMotionSettings) override;
};

}  // namespace Anim
