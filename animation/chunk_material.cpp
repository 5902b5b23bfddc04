#include "animation/chunk_material.h"

#include "animation/actor.h"
#include "animation/chunk_reader.h"
#include "animation/core/log.h"
#include "animation/core/memory_manager.h"
#include "animation/fx_material.h"
#include "animation/importer.h"
#include "animation/memory_categories.h"
#include "animation/standard_material.h"

namespace Anim {

using namespace ChunkRead;

namespace {

// The file's alpha words are not read: every colour is opaque.
StandardMaterial::RGBA ColourAt(const uint8_t* p, uint32_t endianType) {
  return {F32At(p, endianType), F32At(p + 4, endianType), F32At(p + 8, endianType), 1.0f};
}

void LogColour(const char* format, const StandardMaterial::RGBA& c) {
  AnimCore::Log(format, c.r, c.g, c.b);
}

}  // namespace

bool ChunkProcessorActorMaterial::Process(AnimCore::MemoryFile* file,
                                          AnimCore::Array<ImporterSharedData*>* sharedData,
                                          Actor* actor, Motion*, uint32_t endianType,
                                          ActorSettings*, SkeletalMotionSettings*,
                                          PMorphMotionSettings*) {
  if (actor == nullptr) return false;
  uint8_t body[84];
  if (!Bytes(file, body, sizeof(body))) return false;
  AnimCore::String name;
  if (!Importer::ReadString(file, sharedData, endianType, name)) return false;

  StandardMaterial* material = AnimCore::New<StandardMaterial>(MEMCATEGORY_MATERIAL, name.AsChar());
  if (material == nullptr) return false;
  material->SetAmbient(ColourAt(body, endianType));
  material->SetDiffuse(ColourAt(body + 16, endianType));
  material->SetSpecular(ColourAt(body + 32, endianType));
  material->SetEmissive(ColourAt(body + 48, endianType));
  material->SetShine(F32At(body + 64, endianType));
  material->SetShineStrength(F32At(body + 68, endianType));
  material->SetOpacity(F32At(body + 72, endianType));
  material->SetIOR(F32At(body + 76, endianType));
  material->SetDoubleSided(body[80] != 0);
  material->SetWireFrame(body[81] != 0);

  if (GetLogDetails()) {
    AnimCore::Log("- Material name = '%s'", name.AsChar());
    LogColour("    + Ambient       : (%f, %f, %f)", material->GetAmbient());
    LogColour("    + Diffuse       : (%f, %f, %f)", material->GetDiffuse());
    LogColour("    + Specular      : (%f, %f, %f)", material->GetSpecular());
    LogColour("    + Emissive      : (%f, %f, %f)", material->GetEmissive());
    AnimCore::Log("    + Shine         : %f", material->GetShine());
    AnimCore::Log("    + Shine strength: %f", material->GetShineStrength());
    AnimCore::Log("    + Opacity       : %f", material->GetOpacity());
    AnimCore::Log("    + IOR           : %f", material->GetIOR());
    AnimCore::Log("    + Double sided  : %d", material->GetDoubleSided() ? 1 : 0);
    AnimCore::Log("    + WireFrame     : %d", material->GetWireFrame() ? 1 : 0);
  }
  return actor->AddMaterial(0, material);
}

bool ChunkProcessorActorMaterialLayer::Process(AnimCore::MemoryFile* file,
                                               AnimCore::Array<ImporterSharedData*>* sharedData,
                                               Actor* actor, Motion*, uint32_t endianType,
                                               ActorSettings*, SkeletalMotionSettings*,
                                               PMorphMotionSettings*) {
  if (actor == nullptr) return false;
  uint8_t body[28];
  if (!Bytes(file, body, sizeof(body))) return false;
  AnimCore::String textureName;
  if (!Importer::ReadString(file, sharedData, endianType, textureName)) return false;
  const uint16_t materialNumber = U16At(body + 24, endianType);
  const uint32_t mapType = body[26];

  // A layer must follow the chunk of its material: an index past the materials read
  // so far is a bad file.
  Material* target = actor->GetMaterial(0, materialNumber);
  if (target == nullptr) {
    AnimCore::Log("ChunkProcessorActorMaterialLayer::Process: Invalid material number %d.",
                  materialNumber);
    return false;
  }

  if (GetLogDetails()) {
    AnimCore::Log("    - Material Layer");
    AnimCore::Log("       + Texture  = %s", textureName.AsChar());
    AnimCore::Log("       + Material = %s (number %d)", target->GetName(), materialNumber);
    AnimCore::Log("       + Amount   = %f", F32At(body, endianType));
    AnimCore::Log("       + MapType  = %d", static_cast<int>(mapType));
    AnimCore::Log("       + UOffset  = %f", F32At(body + 4, endianType));
    AnimCore::Log("       + VOffset  = %f", F32At(body + 8, endianType));
    AnimCore::Log("       + UTiling  = %f", F32At(body + 12, endianType));
    AnimCore::Log("       + VTiling  = %f", F32At(body + 16, endianType));
    AnimCore::Log("       + Rotation = %f (radians)", F32At(body + 20, endianType));
  }

  // Only standard materials have layers; one aimed at an FX material is dropped.
  if (target->GetType() != StandardMaterial::TYPE_ID) {
    AnimCore::Log(
        "ChunkProcessorActorMaterialLayer::Process: Material %d is not a standard material, "
        "skipping the layer.",
        materialNumber);
    return true;
  }

  StandardMaterialLayer* layer = AnimCore::New<StandardMaterialLayer>(
      MEMCATEGORY_MATERIAL, mapType, textureName.AsChar(), F32At(body, endianType));
  if (layer == nullptr) return false;
  layer->SetUOffset(F32At(body + 4, endianType));
  layer->SetVOffset(F32At(body + 8, endianType));
  layer->SetUTiling(F32At(body + 12, endianType));
  layer->SetVTiling(F32At(body + 16, endianType));
  layer->SetRotationRadians(F32At(body + 20, endianType));

  AnimCore::Pointer<StandardMaterialLayer> handle;
  if (!handle.Set(layer)) return false;
  return static_cast<StandardMaterial*>(target)->AddLayer(handle);
}

bool ChunkProcessorActorFXMaterial::Process(AnimCore::MemoryFile* file,
                                            AnimCore::Array<ImporterSharedData*>* sharedData,
                                            Actor* actor, Motion*, uint32_t endianType,
                                            ActorSettings*, SkeletalMotionSettings*,
                                            PMorphMotionSettings*) {
  if (actor == nullptr) return false;
  uint8_t header[16];
  if (!Bytes(file, header, sizeof(header))) return false;
  const uint32_t numInts = U32At(header, endianType);
  const uint32_t numFloats = U32At(header + 4, endianType);
  const uint32_t numColours = U32At(header + 8, endianType);
  const uint32_t numBitmaps = U32At(header + 12, endianType);
  AnimCore::String name;
  AnimCore::String effectFile;
  if (!Importer::ReadString(file, sharedData, endianType, name) ||
      !Importer::ReadString(file, sharedData, endianType, effectFile)) {
    return false;
  }
  // Smallest encoding of each parameter: its value and an empty name.
  const uint64_t leastBytes =
      uint64_t{numInts} * 8 + uint64_t{numFloats} * 8 + uint64_t{numColours} * 20 +
      uint64_t{numBitmaps} * 8;
  if (!Fits(file, leastBytes, 1)) {
    AnimCore::Log("ChunkProcessorActorFXMaterial::Process: Parameter counts exceed the chunk.");
    return false;
  }

  const bool logDetails = GetLogDetails();
  if (logDetails) {
    AnimCore::Log("- Material name = '%s'", name.AsChar());
    AnimCore::Log("  + Effect file       = '%s'", effectFile.AsChar());
    AnimCore::Log("  + Num int32 params    = %d", static_cast<int>(numInts));
    AnimCore::Log("  + Num float params  = %d", static_cast<int>(numFloats));
    AnimCore::Log("  + Num color params  = %d", static_cast<int>(numColours));
    AnimCore::Log("  + Num bitmap params = %d", static_cast<int>(numBitmaps));
    AnimCore::Log("  + Parameters:");
  }

  FXMaterial* material = AnimCore::New<FXMaterial>(MEMCATEGORY_MATERIAL, name.AsChar());
  if (material == nullptr) return false;
  material->SetEffectFile(effectFile.AsChar());
  if (!actor->AddMaterial(0, material)) return false;

  AnimCore::String parameterName;
  AnimCore::String value;
  uint8_t bytes[16];
  for (uint32_t i = 0; i < numInts; ++i) {
    if (!Bytes(file, bytes, 4) ||
        !Importer::ReadString(file, sharedData, endianType, parameterName)) {
      return false;
    }
    const int32_t v = static_cast<int32_t>(U32At(bytes, endianType));
    if (!material->AddIntParameter(parameterName.AsChar(), v)) return false;
    if (logDetails) AnimCore::Log("    + int32 %s = %d", parameterName.AsChar(), v);
  }
  for (uint32_t i = 0; i < numFloats; ++i) {
    if (!Bytes(file, bytes, 4) ||
        !Importer::ReadString(file, sharedData, endianType, parameterName)) {
      return false;
    }
    const float v = F32At(bytes, endianType);
    if (!material->AddFloatParameter(parameterName.AsChar(), v)) return false;
    if (logDetails) AnimCore::Log("    + float %s = %f", parameterName.AsChar(), v);
  }
  for (uint32_t i = 0; i < numColours; ++i) {
    if (!Bytes(file, bytes, 16) ||
        !Importer::ReadString(file, sharedData, endianType, parameterName)) {
      return false;
    }
    const float r = F32At(bytes, endianType), g = F32At(bytes + 4, endianType);
    const float b = F32At(bytes + 8, endianType), a = F32At(bytes + 12, endianType);
    if (!material->AddColorParameter(parameterName.AsChar(), r, g, b, a)) return false;
    if (logDetails) {
      AnimCore::Log("    + color %s = (%f, %f, %f, %f)", parameterName.AsChar(), r, g, b, a);
    }
  }
  // Bitmap parameters put their name before their value.
  for (uint32_t i = 0; i < numBitmaps; ++i) {
    if (!Importer::ReadString(file, sharedData, endianType, parameterName) ||
        !Importer::ReadString(file, sharedData, endianType, value)) {
      return false;
    }
    if (!material->AddStringParameter(parameterName.AsChar(), value.AsChar())) return false;
    if (logDetails) AnimCore::Log("    + string %s = %s", parameterName.AsChar(), value.AsChar());
  }
  return true;
}

}  // namespace Anim
