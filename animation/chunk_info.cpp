#include "animation/chunk_info.h"

#include "animation/actor.h"
#include "animation/chunk_reader.h"
#include "animation/core/log.h"
#include "animation/importer.h"
#include "animation/motion.h"

namespace Anim {

using namespace ChunkRead;

namespace {

// Four strings in file order: source application, original file name, exporter
// compilation date, object name.
bool ReadInfoStrings(AnimCore::MemoryFile* file, AnimCore::Array<ImporterSharedData*>* sharedData,
                     uint32_t endianType, AnimCore::String (&strings)[4]) {
  for (AnimCore::String& s : strings) {
    if (!Importer::ReadString(file, sharedData, endianType, s)) return false;
  }
  return true;
}

}  // namespace

bool ChunkProcessorActorInfo::Process(AnimCore::MemoryFile* file,
                                      AnimCore::Array<ImporterSharedData*>* sharedData,
                                      Actor* actor, Motion*, uint32_t endianType, ActorSettings*,
                                      SkeletalMotionSettings*, PMorphMotionSettings*) {
  if (actor == nullptr) return false;
  const bool v2 = GetVersion() == 2;
  uint8_t body[16];
  if (!Bytes(file, body, v2 ? 16 : 12)) return false;
  AnimCore::String strings[4];
  if (!ReadInfoStrings(file, sharedData, endianType, strings)) return false;
  const uint32_t mask = U32At(body, endianType);
  // Kept as given: users of the node check it against the actor they work on.
  const int32_t node = static_cast<int32_t>(U32At(body + 4, endianType));
  const float retargetRootOffset = v2 ? F32At(body + 12, endianType) : 0.0f;
  const AnimCore::String& source = strings[0];
  const AnimCore::String& original = strings[1];
  const AnimCore::String& date = strings[2];
  const AnimCore::String& name = strings[3];

  if (GetLogDetails()) {
    AnimCore::Log("- File Information");
    if (v2) {
      AnimCore::Log("   + Actor name           = '%s'", name.AsChar());
      AnimCore::Log("   + Original filename    = '%s'", original.AsChar());
      AnimCore::Log("   + Source application   = '%s'", source.AsChar());
      AnimCore::Log("   + Exporter version     = v%d.%d", body[8], body[9]);
      AnimCore::Log("   + Exporter comp date   = '%s'", date.AsChar());
      AnimCore::Log("   + Repositioning node   = %d", node);
      AnimCore::Log("   + Retarget root offset = %f", retargetRootOffset);
    } else {
      AnimCore::Log("   + Actor name         = '%s'", name.AsChar());
      AnimCore::Log("   + Original filename  = '%s'", original.AsChar());
      AnimCore::Log("   + Source application = '%s'", source.AsChar());
      AnimCore::Log("   + Exporter version   = v%d.%d", body[8], body[9]);
      AnimCore::Log("   + Exporter comp date = '%s'", date.AsChar());
      AnimCore::Log("   + Repositioning node = %d", node);
    }
  }

  actor->SetName(name.AsChar());
  actor->SetRepositioningNode(node);
  actor->SetRepositioningMask(mask);
  if (v2) actor->SetRetargetRootOffset(retargetRootOffset);

  if (GetLogDetails()) {
    AnimCore::Log("   + Repositioning mask = (pos=%d, rot=%d, scale=%d)",
                  (mask & Actor::REPOSITION_POSITION) ? 1 : 0,
                  (mask & Actor::REPOSITION_ROTATION) ? 1 : 0,
                  (mask & Actor::REPOSITION_SCALE) ? 1 : 0);
  }
  return true;
}

bool ChunkProcessorActorMeshLOD::Process(AnimCore::MemoryFile* file,
                                         AnimCore::Array<ImporterSharedData*>*, Actor* actor,
                                         Motion*, uint32_t endianType,
                                         ActorSettings* actorSettings, SkeletalMotionSettings*,
                                         PMorphMotionSettings*) {
  if (actor == nullptr) return false;
  uint8_t header[8];
  if (!Bytes(file, header, sizeof(header))) return false;
  const uint32_t level = U32At(header, endianType);
  const uint32_t size = U32At(header + 4, endianType);
  if (GetLogDetails()) {
    AnimCore::Log("- Mesh LOD Level %d", static_cast<int>(level));
    AnimCore::Log("   + SizeInBytes: %d", static_cast<int>(size));
  }
  // The embedded file is loaded where it lies; a size past the data is a truncated file.
  if (!Fits(file, size, 1) || file->GetMemoryStart() == nullptr) return false;
  const uint8_t* embedded = file->GetMemoryStart() + file->GetPos();
  if (mDepth >= kMaxNestingDepth) {
    AnimCore::Log("ChunkProcessorActorMeshLOD::Process: LOD data nested deeper than %u levels.",
                  kMaxNestingDepth);
    return false;
  }

  ++mDepth;
  Actor* lodActor = mImporter.LoadActor(embedded, size, actorSettings);
  --mDepth;

  if (lodActor == nullptr || !actor->AddLODLevel(lodActor, true)) {
    if (lodActor != nullptr) AnimCore::Delete(lodActor);
    AnimCore::Log("LOD level loading failed!");
  }
  return Skip(file, size);
}

bool ChunkProcessorMotionInfo::Process(AnimCore::MemoryFile* file,
                                       AnimCore::Array<ImporterSharedData*>* sharedData, Actor*,
                                       Motion* motion, uint32_t endianType, ActorSettings*,
                                       SkeletalMotionSettings*, PMorphMotionSettings*) {
  if (motion == nullptr) return false;
  uint8_t body[8];
  if (!Bytes(file, body, sizeof(body))) return false;
  AnimCore::String strings[4];
  if (!ReadInfoStrings(file, sharedData, endianType, strings)) return false;
  const uint32_t fps = U32At(body, endianType);
  if (GetLogDetails()) {
    AnimCore::Log("- File Information");
    AnimCore::Log("   + Motion name        = '%s'", strings[3].AsChar());
    AnimCore::Log("   + Original filename  = '%s'", strings[1].AsChar());
    AnimCore::Log("   + Source application = '%s'", strings[0].AsChar());
    AnimCore::Log("   + Exporter version   = v%d.%d", body[4], body[5]);
    AnimCore::Log("   + Exporter comp date = '%s'", strings[2].AsChar());
    AnimCore::Log("   + Motion FPS         = %d", static_cast<int>(fps));
  }
  // Unsigned: 0xFFFFFFFF is about 4.29e9 frames per second, not -1.
  motion->SetFPS(static_cast<float>(fps));
  return true;
}

}  // namespace Anim
