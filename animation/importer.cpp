#include "animation/importer.h"

#include <cstring>
#include <type_traits>
#include <utility>

#include "animation/actor.h"
#include "animation/core/coord_system_converter.h"
#include "animation/core/log.h"
#include "animation/core/memory_file.h"
#include "animation/endian.h"
#include "animation/importer_shared_data.h"
#include "animation/memory_categories.h"
#include "animation/progressive_morph_motion.h"
#include "animation/skeletal_motion.h"
#include "animation/vertex_attribute_layer.h"

namespace Anim {
namespace {

bool Contains(const AnimCore::Array<uint32_t>& list, uint32_t value) {
  return list.Find(value) >= 0;
}

void RemoveFirst(AnimCore::Array<uint32_t>& list, uint32_t value) { list.RemoveByValue(value); }

}  // namespace

Importer::Importer() : mChunkProcessors(MEMCATEGORY_IMPORTER) {}

Importer::~Importer() { mChunkProcessors.ClearAndDelete(); }

bool Importer::RegisterChunkProcessor(ChunkProcessor* processor) {
  if (processor == nullptr) return false;
  if (mChunkProcessors.Add(processor)) return true;
  AnimCore::Delete(processor);
  return false;
}

ChunkProcessor* Importer::FindChunkProcessor(uint32_t chunkID, uint32_t version) const {
  for (ChunkProcessor* processor : mChunkProcessors) {
    if (processor->GetChunkID() == chunkID && processor->GetVersion() == version) return processor;
  }
  return nullptr;
}

bool Importer::ReadBytes(AnimCore::MemoryFile* file, void* destination, uint32_t numBytes) {
  return file->Read(destination, numBytes) == numBytes;
}

bool Importer::ReadFileHeader(AnimCore::MemoryFile* file, FileKind kind, uint32_t* endianType,
                              uint32_t* multiplyOrder) {
  const bool isActor = kind == FileKind::Actor;
  uint8_t header[8] = {};
  // A header cut short is as unreadable as a missing one.
  if (file->Read(header, 8) != 8) {
    AnimCore::Log(isActor ? "Failed to read the actor file header!"
                          : "Failed to read the motion file header!");
    return false;
  }
  const char* magic = kind == FileKind::Actor            ? "ACT "
                      : kind == FileKind::SkeletalMotion ? "SKM "
                                                         : "PMM ";
  if (std::memcmp(header, magic, 4) != 0) {
    AnimCore::Log(isActor ? "The specified file is not a valid actor file!"
                          : "The specified file is not a valid motion file!");
    return false;
  }
  if (header[4] != 3 || header[5] != 0) {
    AnimCore::Log(isActor ? "Actor file version is unsupported! Only v3.0 can be read, while the "
                            "file contains v%d.%d"
                          : "Motion file version is unsupported! Only v3.0 can be read, while "
                            "the file contains v%d.%d",
                  header[4], header[5]);
    return false;
  }
  if (header[6] > 1) {
    AnimCore::Log("Unsupported endian type used! (endian type = %d)", header[6]);
    return false;
  }
  *endianType = header[6];
  if (isActor) {
    if (header[7] > 1) {
      AnimCore::Log("Unsupported multiply order used! (mulOrder = %d)", header[7]);
      return false;
    }
    *multiplyOrder = header[7];
  }
  return true;
}

bool Importer::CreateSharedData(AnimCore::Array<ImporterSharedData*>& sharedData) {
  SharedStringBuffer* buffer = AnimCore::New<SharedStringBuffer>(MEMCATEGORY_IMPORTER);
  if (buffer == nullptr) return false;
  if (!sharedData.Add(buffer)) {
    AnimCore::Delete(buffer);
    return false;
  }
  return true;
}

void Importer::DestroySharedData(AnimCore::Array<ImporterSharedData*>& sharedData) {
  for (ImporterSharedData* data : sharedData) data->Reset();
  sharedData.ClearAndDelete();
}

void Importer::CheckActorSettings(ActorSettings& settings) {
  if (!settings.loadMeshes) {
    settings.loadSkinning = false;
    if (!settings.loadCollisionMeshes) settings.loadLODs = false;
  }
  if (!settings.loadTangents && settings.loadMeshes &&
      !Contains(settings.layerTypesToIgnore, LAYERTYPE_TANGENTS)) {
    settings.layerTypesToIgnore.Add(LAYERTYPE_TANGENTS);
  }
  if (settings.loadTangents && settings.loadMeshes &&
      Contains(settings.layerTypesToIgnore, LAYERTYPE_TANGENTS)) {
    settings.loadTangents = false;
  }
  RemoveFirst(settings.layerTypesToIgnore, LAYERTYPE_ORGVTXNUMBERS);
  RemoveFirst(settings.layerTypesToIgnore, LAYERTYPE_NORMALS);
  RemoveFirst(settings.layerTypesToIgnore, LAYERTYPE_POSITIONS);
}

bool Importer::ProcessChunk(AnimCore::MemoryFile* file,
                            AnimCore::Array<ImporterSharedData*>* sharedData, Actor* actor,
                            Motion* motion, uint32_t endianType, ActorSettings* actorSettings,
                            SkeletalMotionSettings* skeletalMotionSettings,
                            PMorphMotionSettings* morphMotionSettings) {
  if (file->IsEOF()) return false;
  uint32_t header[3];
  // A partial chunk header is the end of a truncated file.
  if (!ReadBytes(file, header, sizeof(header))) return false;
  uint32_t chunkID = header[0];
  uint32_t size = header[1];
  uint32_t version = header[2];
  Endian::ConvertUInt32(chunkID, endianType);
  Endian::ConvertUInt32(size, endianType);
  Endian::ConvertUInt32(version, endianType);

  ChunkProcessor* processor = FindChunkProcessor(chunkID, version);
  if (processor == nullptr) {
    if (mLogErrors) {
      AnimCore::Log("Importer::ProcessChunk() - Unknown chunk (ID=%d  Size=%d bytes), skipping...",
                    static_cast<int>(chunkID), static_cast<int>(size));
    }
    // A size beyond the data is a truncated file: stop with what was built.
    return file->Forward(size);
  }

  bool skip = false;
  if (actorSettings != nullptr) {
    const ActorSettings& s = *actorSettings;
    skip = Contains(s.chunkIdsToIgnore, chunkID) ||
           (chunkID == CHUNK_SKINNINGINFO && !s.loadSkinning) ||
           (chunkID == CHUNK_MATERIALLAYER && !s.loadMaterialLayers) ||
           (chunkID == CHUNK_LIMIT && !s.loadLimits) ||
           (chunkID == CHUNK_INFO && !s.loadActorInfo) ||
           (chunkID == CHUNK_PROGMORPHTARGET && !s.loadMorphTargets) ||
           (chunkID == CHUNK_MESHLODLEVELS && !s.loadLODs) ||
           (chunkID == CHUNK_MESH && !s.loadMeshes && !s.loadCollisionMeshes);
  }
  if (!skip && skeletalMotionSettings != nullptr) {
    const SkeletalMotionSettings& s = *skeletalMotionSettings;
    skip = Contains(s.chunkIdsToIgnore, chunkID) ||
           (chunkID == CHUNK_MOTIONEVENTTABLE && !s.loadMotionEvents) ||
           (chunkID == CHUNK_SKELETALMOTIONINFO && !s.loadMotionInfo);
  }
  if (!skip && morphMotionSettings != nullptr) {
    const PMorphMotionSettings& s = *morphMotionSettings;
    skip = Contains(s.chunkIdsToIgnore, chunkID) ||
           (chunkID == CHUNK_MOTIONEVENTTABLE && !s.loadMotionEvents) ||
           (chunkID == CHUNK_PMORPHMOTIONINFO && !s.loadMotionInfo);
  }
  if (skip) return file->Forward(size);

  return processor->Process(file, sharedData, actor, motion, endianType, actorSettings,
                            skeletalMotionSettings, morphMotionSettings);
}

Actor* Importer::LoadActor(const void* memory, uint32_t size, const ActorSettings* settings) {
  AnimCore::MemoryFile file;
  Actor* actor = nullptr;
  // A null block would make the memory file allocate one of its own.
  if (memory != nullptr) {
    file.Open(const_cast<void*>(memory), size);
    actor = LoadActor(&file, settings);
  }
  if (actor == nullptr && mLogErrors) {
    AnimCore::Log("Failed to load actor from memory location 0x%x",
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(memory)));
  }
  return actor;
}

Actor* Importer::LoadActor(AnimCore::MemoryFile* file, const ActorSettings* settings) {
  if (file == nullptr) return nullptr;
  AnimCore::Array<ImporterSharedData*> sharedData(MEMCATEGORY_IMPORTER);
  uint32_t endianType = ENDIAN_LITTLE;
  uint32_t multiplyOrder = 1;
  if (!CreateSharedData(sharedData) ||
      !ReadFileHeader(file, FileKind::Actor, &endianType, &multiplyOrder)) {
    file->Close();
    DestroySharedData(sharedData);
    return nullptr;
  }

  Actor* actor = AnimCore::New<Actor>(MEMCATEGORY_ACTOR, "Unnamed actor");
  if (actor == nullptr) {
    file->Close();
    DestroySharedData(sharedData);
    return nullptr;
  }
  actor->SetMultiplyOrder(multiplyOrder);

  ActorSettings copy;
  if (settings != nullptr) copy = *settings;
  CheckActorSettings(copy);

  while (ProcessChunk(file, &sharedData, actor, nullptr, endianType, &copy, nullptr, nullptr)) {
  }

  actor->GetTransformData().Shrink();
  actor->ReinitializeMeshDeformers();

  file->Close();
  DestroySharedData(sharedData);
  return actor;
}

template <class MotionType, class Settings>
MotionType* Importer::LoadMotion(AnimCore::MemoryFile* file, const Settings* settings,
                                 FileKind kind) {
  if (file == nullptr) return nullptr;
  AnimCore::Array<ImporterSharedData*> sharedData(MEMCATEGORY_IMPORTER);
  uint32_t endianType = ENDIAN_LITTLE;
  if (!CreateSharedData(sharedData) || !ReadFileHeader(file, kind, &endianType, nullptr)) {
    file->Close();
    DestroySharedData(sharedData);
    return nullptr;
  }

  const uint32_t category = kind == FileKind::SkeletalMotion ? MEMCATEGORY_SKELETALMOTION
                                                            : MEMCATEGORY_PROGRESSIVEMORPHMOTION;
  MotionType* motion = AnimCore::New<MotionType>(category, "<Unknown>");
  if (motion == nullptr) {
    file->Close();
    DestroySharedData(sharedData);
    return nullptr;
  }

  Settings copy;
  if (settings != nullptr) copy = *settings;
  if constexpr (std::is_same_v<Settings, SkeletalMotionSettings>) {
    while (ProcessChunk(file, &sharedData, nullptr, motion, endianType, nullptr, &copy, nullptr)) {
    }
    motion->UpdateMaxTime();
  } else {
    while (ProcessChunk(file, &sharedData, nullptr, motion, endianType, nullptr, nullptr, &copy)) {
    }
    motion->UpdateMaxTime();
    motion->UpdatePhonemeFlag();
  }

  file->Close();
  DestroySharedData(sharedData);
  return motion;
}

SkeletalMotion* Importer::LoadSkeletalMotion(AnimCore::MemoryFile* file,
                                             const SkeletalMotionSettings* settings) {
  return LoadMotion<SkeletalMotion>(file, settings, FileKind::SkeletalMotion);
}

ProgressiveMorphMotion* Importer::LoadPMorphMotion(AnimCore::MemoryFile* file,
                                                   const PMorphMotionSettings* settings) {
  return LoadMotion<ProgressiveMorphMotion>(file, settings, FileKind::PMorphMotion);
}

SkeletalMotion* Importer::LoadSkeletalMotion(const void* memory, uint32_t size,
                                             const SkeletalMotionSettings* settings) {
  if (memory == nullptr) return nullptr;
  AnimCore::MemoryFile file;
  file.Open(const_cast<void*>(memory), size);
  return LoadSkeletalMotion(&file, settings);
}

ProgressiveMorphMotion* Importer::LoadPMorphMotion(const void* memory, uint32_t size,
                                                   const PMorphMotionSettings* settings) {
  if (memory == nullptr) return nullptr;
  AnimCore::MemoryFile file;
  file.Open(const_cast<void*>(memory), size);
  return LoadPMorphMotion(&file, settings);
}

bool Importer::ReadString(AnimCore::MemoryFile* file,
                          AnimCore::Array<ImporterSharedData*>* sharedData, uint32_t endianType,
                          AnimCore::String& out) {
  out.Clear();
  if (file == nullptr || sharedData == nullptr) return false;
  auto* buffer = static_cast<SharedStringBuffer*>(
      ImporterSharedData::Find(*sharedData, SharedStringBuffer::TYPE_ID));
  if (buffer == nullptr) return false;
  uint32_t length = 0;
  if (!ReadBytes(file, &length, 4)) return false;
  Endian::ConvertUInt32(length, endianType);
  // The length comes from the file: it must fit in what is left of the data.
  const uint32_t remaining = file->GetFileSize() > file->GetPos()
                                 ? file->GetFileSize() - file->GetPos()
                                 : 0;
  if (length > remaining) return false;
  if (!buffer->Reserve(length + 1)) return false;
  char* characters = buffer->GetBuffer();
  if (!ReadBytes(file, characters, length)) return false;
  characters[length] = '\0';
  out.Assign(characters);
  return true;
}

bool StandardLayerEndianConvert(VertexAttributeLayer* layer, uint32_t endianType) {
  if (layer == nullptr) return false;
  const uint32_t type = layer->GetType();
  uint32_t elementSize = 0;
  switch (type) {
    case LAYERTYPE_POSITIONS:
    case LAYERTYPE_NORMALS: elementSize = 12; break;
    case LAYERTYPE_TANGENTS:
    case LAYERTYPE_COLORS128: elementSize = 16; break;
    case LAYERTYPE_UVCOORDS: elementSize = 8; break;
    case LAYERTYPE_COLORS32:
    case LAYERTYPE_ORGVTXNUMBERS: elementSize = 4; break;
    default:
      AnimCore::Log(
          "Importer::StandardLayerEndianConvert() - The layer type is unknown, so the data "
          "can't be converted!");
      return false;
  }
  const uint32_t count = layer->GetNumAttributes();
  // The data must hold count elements of the type's size, and nothing else.
  if (!layer->IsAbstractDataClass() ||
      static_cast<VertexAttributeLayerAbstractData*>(layer)->GetAttributeSize() != elementSize) {
    return false;
  }
  auto* data = static_cast<uint8_t*>(layer->GetOriginalData());
  if (data == nullptr) return count == 0;

  Endian::Convert4ByteGroups(data, uint64_t{count} * (elementSize / 4), endianType);

  const AnimCore::CoordSystemConverter& converter = AnimCore::GetCoordSystemConverter();
  if (converter.IsIdentity()) return true;
  if (type == LAYERTYPE_POSITIONS || type == LAYERTYPE_NORMALS || type == LAYERTYPE_TANGENTS) {
    for (uint32_t i = 0; i < count; ++i) {
      AnimCore::Vector3 v;
      uint8_t* element = data + size_t{i} * elementSize;
      std::memcpy(&v.x, element, 4);
      std::memcpy(&v.y, element + 4, 4);
      std::memcpy(&v.z, element + 8, 4);
      converter.ConvertVectors(&v, 1);
      std::memcpy(element, &v.x, 4);
      std::memcpy(element + 4, &v.y, 4);
      std::memcpy(element + 8, &v.z, 4);
    }
  }
  return true;
}

}  // namespace Anim
