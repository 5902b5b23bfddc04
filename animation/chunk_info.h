#pragma once

#include "animation/chunk_processor.h"

namespace Anim {

class Importer;

// Actor information chunk (id 7), versions 1 and 2: the actor's name and
// repositioning settings, and (version 2) its retarget root offset.
class ChunkProcessorActorInfo final : public ChunkProcessor {
 public:
  explicit ChunkProcessorActorInfo(uint32_t version) : ChunkProcessor(7, version) {}
  bool Process(AnimCore::MemoryFile* file, AnimCore::Array<ImporterSharedData*>* sharedData,
               Actor* actor, Motion* motion, uint32_t endianType, ActorSettings* actorSettings,
               SkeletalMotionSettings* skeletalMotionSettings,
               PMorphMotionSettings* morphMotionSettings) override;
};

// Mesh level-of-detail chunk (id 8): a whole actor file, loaded with the outer load's
// settings through the importer that registered this processor and added as the
// outer actor's next level. A level that fails to load is logged and left out.
class ChunkProcessorActorMeshLOD final : public ChunkProcessor {
 public:
  // Embedded files nest; deeper than this is not a real actor and is refused.
  static constexpr uint32_t kMaxNestingDepth = 8;

  explicit ChunkProcessorActorMeshLOD(Importer& importer)
      : ChunkProcessor(8, 1), mImporter(importer) {}
  bool Process(AnimCore::MemoryFile* file, AnimCore::Array<ImporterSharedData*>* sharedData,
               Actor* actor, Motion* motion, uint32_t endianType, ActorSettings* actorSettings,
               SkeletalMotionSettings* skeletalMotionSettings,
               PMorphMotionSettings* morphMotionSettings) override;

 private:
  Importer& mImporter;
  uint32_t mDepth = 0;  // embedded loads in progress
};

// Motion information chunks, id 201 (skeletal) and 101 (progressive morph): the
// motion's frame rate; the rest is only logged.
class ChunkProcessorMotionInfo final : public ChunkProcessor {
 public:
  explicit ChunkProcessorMotionInfo(uint32_t chunkID) : ChunkProcessor(chunkID, 1) {}
  bool Process(AnimCore::MemoryFile* file, AnimCore::Array<ImporterSharedData*>* sharedData,
               Actor* actor, Motion* motion, uint32_t endianType, ActorSettings* actorSettings,
               SkeletalMotionSettings* skeletalMotionSettings,
               PMorphMotionSettings* morphMotionSettings) override;
};

}  // namespace Anim
