#pragma once

#include <cstdint>

#include "animation/core/array.h"

namespace AnimCore {
class MemoryFile;
}

namespace Anim {

class Actor;
class ImporterSharedData;
class Motion;
struct ActorSettings;
struct PMorphMotionSettings;
struct SkeletalMotionSettings;

// Reads the body of one (chunk id, version) pair. Exactly one of actor and motion
// is given, and the settings of the file kind being loaded.
class ChunkProcessor {
 public:
  ChunkProcessor(uint32_t chunkID, uint32_t version) : mChunkID(chunkID), mVersion(version) {}
  ChunkProcessor(const ChunkProcessor&) = delete;
  ChunkProcessor& operator=(const ChunkProcessor&) = delete;
  virtual ~ChunkProcessor() = default;

  // False stops the load; a body that ends early must return false.
  virtual bool Process(AnimCore::MemoryFile* file,
                       AnimCore::Array<ImporterSharedData*>* sharedData, Actor* actor,
                       Motion* motion, uint32_t endianType, ActorSettings* actorSettings,
                       SkeletalMotionSettings* skeletalMotionSettings,
                       PMorphMotionSettings* morphMotionSettings) = 0;

  uint32_t GetChunkID() const { return mChunkID; }
  uint32_t GetVersion() const { return mVersion; }
  bool GetLogDetails() const { return mLogDetails; }
  void SetLogDetails(bool logDetails) { mLogDetails = logDetails; }

 private:
  uint32_t mChunkID;
  uint32_t mVersion;
  bool mLogDetails = false;
};

}  // namespace Anim
