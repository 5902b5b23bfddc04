#pragma once

#include "animation/chunk_processor.h"

namespace Anim {

// Mesh chunk (id 1, version 1): one mesh or collision mesh of a node, with its vertex
// attribute layers and submeshes.
class ChunkProcessorActorMesh final : public ChunkProcessor {
 public:
  ChunkProcessorActorMesh() : ChunkProcessor(1, 1) {}
  bool Process(AnimCore::MemoryFile* file, AnimCore::Array<ImporterSharedData*>* sharedData,
               Actor* actor, Motion* motion, uint32_t endianType, ActorSettings* actorSettings,
               SkeletalMotionSettings* skeletalMotionSettings,
               PMorphMotionSettings* morphMotionSettings) override;
};

}  // namespace Anim
