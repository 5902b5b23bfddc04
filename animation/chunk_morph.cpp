#include "animation/chunk_morph.h"

#include "animation/actor.h"
#include "animation/chunk_reader.h"
#include "animation/core/log.h"
#include "animation/core/memory_manager.h"
#include "animation/id_generator.h"
#include "animation/importer.h"
#include "animation/memory_categories.h"
#include "animation/mesh.h"
#include "animation/mesh_deformer_stack.h"
#include "animation/morph_mesh_deformer.h"
#include "animation/morph_setup.h"
#include "animation/morph_target.h"
#include "animation/node.h"
#include "animation/progressive_morph_motion.h"

namespace Anim {

using namespace ChunkRead;

namespace {

// Levels of detail a morph target may name; the setup array is sized by it.
constexpr uint32_t kMaxMorphLOD = 256;

// Reads the 16 × count bytes of one deform data into target; records naming a
// vertex beyond the mesh are dropped.
bool ReadDeformData(AnimCore::MemoryFile* file, uint32_t endianType, ProgressiveMorphTarget* target,
                    uint32_t nodeIndex, uint32_t count, float minValue, float maxValue,
                    uint32_t meshVertices) {
  // Checked here too, in 64 bits: 16 × count overflows 32 bits from 2^28 records on.
  if (!Fits(file, count, 16)) return false;
  const uint32_t numBytes = count * 16;
  AnimCore::Array<uint8_t> block(MEMCATEGORY_IMPORTER);
  if (count > 0 && (!block.Resize(numBytes) || !Bytes(file, &block[0], numBytes))) return false;
  const uint8_t* positions = count > 0 ? &block[0] : nullptr;
  const uint8_t* normals = positions + uint64_t{count} * 6;  // count > 0 wherever read
  const uint8_t* tangents = normals + uint64_t{count} * 3;
  const uint8_t* numbers = tangents + uint64_t{count} * 3;
  uint32_t kept = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (U32At(numbers + uint64_t{i} * 4, endianType) < meshVertices) ++kept;
  }
  if (kept != count) {
    AnimCore::Log("ChunkProcessorActorProgMorphTarget::Process: %u records name vertices beyond "
                  "the mesh; dropped.", count - kept);
  }
  auto* data = AnimCore::New<ProgressiveMorphTarget::DeformData>(MEMCATEGORY_PROGRESSIVEMORPHMOTION,
                                                                 nodeIndex, kept);
  if (data == nullptr || data->numVertices != kept) {
    if (data != nullptr) AnimCore::Delete(data);
    return false;
  }
  data->minValue = minValue;
  data->maxValue = maxValue;
  uint32_t out = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t vertex = U32At(numbers + uint64_t{i} * 4, endianType);
    if (vertex >= meshVertices) continue;
    ProgressiveMorphTarget::VertexDelta& d = data->deltas[out++];
    const uint8_t* p = positions + uint64_t{i} * 6;
    AnimCore::Vector3 offset(MorphQuant::Decode16(U16At(p, endianType), minValue, maxValue),
                             MorphQuant::Decode16(U16At(p + 2, endianType), minValue, maxValue),
                             MorphQuant::Decode16(U16At(p + 4, endianType), minValue, maxValue));
    AnimCore::GetCoordSystemConverter().ConvertVectors(&offset, 1);
    d.position[0] = MorphQuant::Encode16(offset.x, minValue, maxValue);
    d.position[1] = MorphQuant::Encode16(offset.y, minValue, maxValue);
    d.position[2] = MorphQuant::Encode16(offset.z, minValue, maxValue);
    const auto direction = [](const uint8_t* q, uint8_t* stored) {
      AnimCore::Vector3 v(MorphQuant::Decode8(q[0], -1.0f, 1.0f), MorphQuant::Decode8(q[1], -1.0f, 1.0f),
                          MorphQuant::Decode8(q[2], -1.0f, 1.0f));
      AnimCore::GetCoordSystemConverter().ConvertVectors(&v, 1);
      stored[0] = MorphQuant::Encode8(v.x, -1.0f, 1.0f);
      stored[1] = MorphQuant::Encode8(v.y, -1.0f, 1.0f);
      stored[2] = MorphQuant::Encode8(v.z, -1.0f, 1.0f);
    };
    direction(normals + uint64_t{i} * 3, d.normal);
    direction(tangents + uint64_t{i} * 3, d.tangent);
    d.vertexNumber = vertex;
  }
  return target->AddDeformData(data);
}

}  // namespace

bool ChunkProcessorActorProgMorphTarget::Process(AnimCore::MemoryFile* file,
                                                 AnimCore::Array<ImporterSharedData*>* sharedData,
                                                 Actor* actor, Motion*, uint32_t endianType,
                                                 ActorSettings*, SkeletalMotionSettings*,
                                                 PMorphMotionSettings*) {
  if (actor == nullptr) return false;
  uint8_t header[24];
  AnimCore::String name;
  if (!Bytes(file, header, 24) || !Importer::ReadString(file, sharedData, endianType, name)) {
    return false;
  }
  const float rangeMin = F32At(header, endianType);
  const float rangeMax = F32At(header + 4, endianType);
  const uint32_t lod = U32At(header + 8, endianType);
  const uint32_t numDeformDatas = U32At(header + 12, endianType);
  const uint32_t numTransformations = U32At(header + 16, endianType);
  const uint32_t phonemeSets = U32At(header + 20, endianType);
  if (GetLogDetails()) {
    AnimCore::Log(" - Progressive Morph Target:");
    AnimCore::Log("    + Name               = '%s'", name.AsChar());
    AnimCore::Log("    + LOD Level          = %d", lod);
    AnimCore::Log("    + RangeMin           = %f", rangeMin);
    AnimCore::Log("    + RangeMax           = %f", rangeMax);
    AnimCore::Log("    + NumDeformDatas     = %d", numDeformDatas);
    AnimCore::Log("    + NumTransformations = %d", numTransformations);
    AnimCore::Log("    + PhonemeSets: %s", MorphTarget::PhonemeSetsToString(phonemeSets).AsChar());
  }
  if (lod >= kMaxMorphLOD || !Fits(file, numDeformDatas, 16) || !Fits(file, numTransformations, 60)) {
    AnimCore::Log("ChunkProcessorActorProgMorphTarget::Process: Level or counts exceed the data.");
    return false;
  }
  MorphSetup* setup = actor->GetMorphSetup(lod);
  if (setup == nullptr) {
    setup = AnimCore::New<MorphSetup>(MEMCATEGORY_PROGRESSIVEMORPHMOTION);
    if (setup == nullptr || !actor->SetMorphSetup(lod, setup)) return false;
  }
  auto* target = AnimCore::New<ProgressiveMorphTarget>(MEMCATEGORY_PROGRESSIVEMORPHMOTION, name.AsChar());
  if (target == nullptr) return false;
  target->rangeMin = rangeMin;
  target->rangeMax = rangeMax;
  target->phonemeSets = phonemeSets;
  if (!setup->AddMorphTarget(target)) return false;

  for (uint32_t i = 0; i < numDeformDatas; ++i) {
    uint8_t dataHeader[16];
    if (!Bytes(file, dataHeader, 16)) return false;
    const uint32_t nodeIndex = U32At(dataHeader, endianType);
    const float minValue = F32At(dataHeader + 4, endianType);
    const float maxValue = F32At(dataHeader + 8, endianType);
    const uint32_t count = U32At(dataHeader + 12, endianType);
    Node* node = actor->GetNode(nodeIndex);
    if (GetLogDetails()) {
      AnimCore::Log("    + Deform data #%d: Node='%s' (index=%d)", i,
                    node != nullptr ? node->GetName() : "", nodeIndex);
      AnimCore::Log("       - NumVertices = %d", count);
      AnimCore::Log("       - MinValue    = %f", minValue);
      AnimCore::Log("       - MaxValue    = %f", maxValue);
    }
    if (!Fits(file, count, 16)) {
      AnimCore::Log("ChunkProcessorActorProgMorphTarget::Process: Deform data exceeds the data.");
      return false;
    }
    Mesh* mesh = node != nullptr ? node->GetMesh(lod) : nullptr;
    if (mesh == nullptr) {
      if (!Skip(file, uint64_t{count} * 16)) return false;
      continue;
    }
    if (!ReadDeformData(file, endianType, target, nodeIndex, count, minValue, maxValue,
                        mesh->GetNumVertices())) {
      return false;
    }
    MorphMeshDeformer* deformer = MorphMeshDeformer::FindOrCreate(node, lod, mesh);
    if (deformer == nullptr ||
        !deformer->AddDeformPass({target, target->GetNumDeformDatas() - 1, false})) {
      return false;
    }
  }

  for (uint32_t i = 0; i < numTransformations; ++i) {
    uint8_t record[60];
    if (!Bytes(file, record, 60)) return false;
    ProgressiveMorphTarget::Transformation t;
    t.nodeIndex = U32At(record, endianType);
    t.rotation = QuaternionAt(record + 4, endianType);
    t.scaleRotation = QuaternionAt(record + 20, endianType);
    t.position = VectorAt(record + 36, endianType);
    t.scale = ScaleAt(record + 48, endianType);
    if (GetLogDetails()) {
      const Node* node = actor->GetNode(t.nodeIndex);
      AnimCore::Log("    - Transform #%d: Node='%s' (index=%d)", i,
                    node != nullptr ? node->GetName() : "", t.nodeIndex);
      AnimCore::Log("       + Pos:      %f, %f, %f", t.position.x, t.position.y, t.position.z);
      AnimCore::Log("       + Rotation: %f, %f, %f %f", t.rotation.x, t.rotation.y, t.rotation.z,
                    t.rotation.w);
      AnimCore::Log("       + Scale:    %f, %f, %f", t.scale.x, t.scale.y, t.scale.z);
      AnimCore::Log("       + ScaleRot: %f, %f, %f %f", t.scaleRotation.x, t.scaleRotation.y,
                    t.scaleRotation.z, t.scaleRotation.w);
    }
    if (!target->AddTransformation(t)) return false;
  }
  return true;
}

bool ChunkProcessorPMorphSubMotion::Process(AnimCore::MemoryFile* file,
                                            AnimCore::Array<ImporterSharedData*>* sharedData,
                                            Actor*, Motion* motion, uint32_t endianType,
                                            ActorSettings*, SkeletalMotionSettings*,
                                            PMorphMotionSettings*) {
  if (motion == nullptr || motion->GetType() != ProgressiveMorphMotion::TYPE_ID) {
    AnimCore::Log("ChunkProcessorPMorphSubMotion::Process: Not a progressive morph motion.");
    return false;
  }
  auto* morphMotion = static_cast<ProgressiveMorphMotion*>(motion);
  uint8_t header[20];
  AnimCore::String name;
  if (!Bytes(file, header, 20) || !Importer::ReadString(file, sharedData, endianType, name)) {
    return false;
  }
  const float poseWeight = F32At(header, endianType);
  const float minWeight = F32At(header + 4, endianType);
  const float maxWeight = F32At(header + 8, endianType);
  const uint32_t phonemeSet = U32At(header + 12, endianType);
  const uint32_t numKeys = U32At(header + 16, endianType);
  if (!Fits(file, numKeys, 8)) {
    AnimCore::Log("ChunkProcessorPMorphSubMotion::Process: Keys of '%s' exceed the data.",
                  name.AsChar());
    return false;
  }
  auto* subMotion = AnimCore::New<MorphSubMotion>(MEMCATEGORY_PROGRESSIVEMORPHMOTION,
                                                  GetStringID(name.AsChar()));
  if (subMotion == nullptr) return false;
  FloatKeyTrack& track = subMotion->GetKeyTrack();
  if (GetLogDetails()) {
    AnimCore::Log("    - Progressive Morph Submotion: %s", name.AsChar());
    AnimCore::Log("       + NrKeys             = %d", numKeys);
    AnimCore::Log("       + Pose Weight        = %f", poseWeight);
    AnimCore::Log("       + Minimum Weight     = %f", minWeight);
    AnimCore::Log("       + Maximum Weight     = %f", maxWeight);
    AnimCore::Log("       + PhonemeSet         = %s",
                  MorphTarget::PhonemeSetsToString(phonemeSet).AsChar());
  }
  subMotion->poseWeight = poseWeight;
  subMotion->minWeight = minWeight;
  subMotion->maxWeight = maxWeight;
  subMotion->phonemeSet = phonemeSet;
  bool ok = track.CreateLinearInterpolator() && track.ReserveKeys(numKeys);
  for (uint32_t i = 0; ok && i < numKeys; ++i) {
    uint8_t key[8];
    ok = Bytes(file, key, 8);
    if (!ok) break;
    const float quotient = static_cast<float>(U16At(key + 4, endianType) / 65535.0);
    const float weight = static_cast<float>(minWeight + (maxWeight - minWeight) * quotient);
    // Truncated in double from the single-precision weight; weights outside [0, 1]
    // are clamped to the 16-bit store rather than wrapped.
    const double scaled = static_cast<double>(weight) * 65535.0;
    const uint16_t stored = !(scaled > 0.0) ? 0 : scaled >= 65535.0 ? 65535 : static_cast<uint16_t>(scaled);
    ok = track.AddKey(F32At(key, endianType), 0.0f);
    if (ok) track.GetKey(track.GetNumKeys() - 1).value.value = stored;
  }
  if (!ok) {
    AnimCore::Delete(subMotion);
    return false;
  }
  track.Init();
  if (!morphMotion->AddSubMotion(subMotion)) return false;
  morphMotion->UpdatePhonemeFlag();

  // Every track ends, at weight 0, where the longest one does.
  float maxTime = 0.0f;
  for (uint32_t i = 0; i < morphMotion->GetNumSubMotions(); ++i) {
    const FloatKeyTrack& t = morphMotion->GetSubMotion(i)->GetKeyTrack();
    if (t.GetNumKeys() > 0 && t.GetLastKey().time > maxTime) maxTime = t.GetLastKey().time;
  }
  for (uint32_t i = 0; i < morphMotion->GetNumSubMotions(); ++i) {
    FloatKeyTrack& t = morphMotion->GetSubMotion(i)->GetKeyTrack();
    if (t.GetNumKeys() > 0 && t.GetLastKey().time < maxTime) {
      if (!t.AddKey(maxTime, 0.0f)) return false;
      t.Init();
    }
  }
  morphMotion->UpdateMaxTime();
  return true;
}

}  // namespace Anim
