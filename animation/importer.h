#pragma once

#include <cstdint>

#include "animation/chunk_processor.h"
#include "animation/core/array.h"
#include "animation/core/string.h"
#include "animation/import_settings.h"

namespace AnimCore {
class MemoryFile;
}

namespace Anim {

class Actor;
class ImporterSharedData;
class ProgressiveMorphMotion;
class SkeletalMotion;

// Chunk ids of the actor and motion files.
enum : uint32_t {
  CHUNK_NODE = 0,
  CHUNK_MESH = 1,
  CHUNK_SKINNINGINFO = 2,
  CHUNK_MATERIAL = 3,
  CHUNK_MATERIALLAYER = 4,
  CHUNK_FXMATERIAL = 5,
  CHUNK_LIMIT = 6,
  CHUNK_INFO = 7,
  CHUNK_MESHLODLEVELS = 8,
  CHUNK_PROGMORPHTARGET = 9,
  CHUNK_MOTIONEVENTTABLE = 50,
  CHUNK_PMORPHSUBMOTION = 100,
  CHUNK_PMORPHMOTIONINFO = 101,
  CHUNK_SKELETALSUBMOTION = 200,
  CHUNK_SKELETALMOTIONINFO = 201,
};

// Reads actor ("ACT "), skeletal motion ("SKM ") and progressive morph motion ("PMM ")
// files: an 8-byte header, then chunks of a 12-byte header {id, size, version} and a
// body, each handed to the processor registered for its id and version. Unknown and
// excluded chunks are skipped by their size. A bad header gives no object; anything
// that stops the load later (a processor failing, a truncated chunk) returns what was
// built so far. The returned objects belong to the caller.
class Importer {
 public:
  Importer();
  Importer(const Importer&) = delete;
  Importer& operator=(const Importer&) = delete;
  ~Importer();

  // Takes ownership (made with AnimCore::New); the first registered processor for an
  // (id, version) wins. On failure it is deleted and the result is false.
  bool RegisterChunkProcessor(ChunkProcessor* processor);
  ChunkProcessor* FindChunkProcessor(uint32_t chunkID, uint32_t version) const;
  uint32_t GetNumChunkProcessors() const { return mChunkProcessors.GetLength(); }

  // The block stays the caller's. settings may be null (defaults).
  Actor* LoadActor(const void* memory, uint32_t size, const ActorSettings* settings = nullptr);
  SkeletalMotion* LoadSkeletalMotion(const void* memory, uint32_t size,
                                     const SkeletalMotionSettings* settings = nullptr);
  ProgressiveMorphMotion* LoadPMorphMotion(const void* memory, uint32_t size,
                                           const PMorphMotionSettings* settings = nullptr);
  // Stream forms; they close the stream.
  Actor* LoadActor(AnimCore::MemoryFile* file, const ActorSettings* settings);
  SkeletalMotion* LoadSkeletalMotion(AnimCore::MemoryFile* file,
                                     const SkeletalMotionSettings* settings);
  ProgressiveMorphMotion* LoadPMorphMotion(AnimCore::MemoryFile* file,
                                           const PMorphMotionSettings* settings);

  // Reads and dispatches one chunk; false ends the load (end of data, truncation or
  // a failing processor).
  bool ProcessChunk(AnimCore::MemoryFile* file, AnimCore::Array<ImporterSharedData*>* sharedData,
                    Actor* actor, Motion* motion, uint32_t endianType,
                    ActorSettings* actorSettings, SkeletalMotionSettings* skeletalMotionSettings,
                    PMorphMotionSettings* morphMotionSettings);

  // Reads a string: a 32-bit length, then that many bytes (cut at a zero byte).
  // False, with nothing read past the data, when the length exceeds what is left.
  static bool ReadString(AnimCore::MemoryFile* file,
                         AnimCore::Array<ImporterSharedData*>* sharedData, uint32_t endianType,
                         AnimCore::String& out);
  // Exactly numBytes, or false (a short read at the end of the data).
  static bool ReadBytes(AnimCore::MemoryFile* file, void* destination, uint32_t numBytes);

  bool GetLogErrors() const { return mLogErrors; }
  void SetLogErrors(bool logErrors) { mLogErrors = logErrors; }
  bool GetLogDetails() const { return mLogDetails; }

  // Checks each loaded actor settings object the way LoadActor does.
  static void CheckActorSettings(ActorSettings& settings);

 private:
  enum class FileKind { Actor, SkeletalMotion, PMorphMotion };
  // Reads the 8-byte header; fills the endian type and (actors) the multiply order.
  static bool ReadFileHeader(AnimCore::MemoryFile* file, FileKind kind, uint32_t* endianType,
                             uint32_t* multiplyOrder);
  static bool CreateSharedData(AnimCore::Array<ImporterSharedData*>& sharedData);
  static void DestroySharedData(AnimCore::Array<ImporterSharedData*>& sharedData);
  template <class MotionType, class Settings>
  MotionType* LoadMotion(AnimCore::MemoryFile* file, const Settings* settings, FileKind kind);

  AnimCore::Array<ChunkProcessor*> mChunkProcessors;
  bool mLogErrors = true;
  bool mLogDetails = false;
};

}  // namespace Anim
