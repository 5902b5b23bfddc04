#include "tools/anim_file_writer.h"

#include <cstring>
#include <stdexcept>

namespace testkit {
namespace {

const char* MagicOf(AnimFileKind kind) {
  switch (kind) {
    case AnimFileKind::Actor: return "ACT ";
    case AnimFileKind::SkeletalMotion: return "SKM ";
    case AnimFileKind::PMorphMotion: return "PMM ";
  }
  return "????";
}

}  // namespace

AnimFileWriter::AnimFileWriter(AnimFileKind kind, bool bigEndian, uint8_t multiplyOrder)
    : mBigEndian(bigEndian) {
  const char* magic = MagicOf(kind);
  mData.assign(magic, magic + 4);
  mData.push_back(3);
  mData.push_back(0);
  mData.push_back(bigEndian ? 1 : 0);
  mData.push_back(multiplyOrder);
}

void AnimFileWriter::SetMagic(std::string_view fourCharacters) {
  for (size_t i = 0; i < 4; ++i) mData[i] = i < fourCharacters.size() ? fourCharacters[i] : ' ';
}

void AnimFileWriter::SetVersion(uint8_t major, uint8_t minor) {
  mData[4] = major;
  mData[5] = minor;
}

void AnimFileWriter::SetEndianByte(uint8_t value) { mData[6] = value; }

void AnimFileWriter::SetMultiplyOrder(uint8_t value) { mData[7] = value; }

void AnimFileWriter::BeginChunk(uint32_t id, uint32_t version) {
  if (mChunkOpen) throw std::logic_error("AnimFileWriter: chunks do not nest");
  PutU32(id);
  mChunkSizeOffset = mData.size();
  PutU32(0);
  PutU32(version);
  mChunkOpen = true;
}

void AnimFileWriter::EndChunk() {
  if (!mChunkOpen) throw std::logic_error("AnimFileWriter: no chunk is open");
  const size_t bodyStart = mChunkSizeOffset + 8;
  PutU32At(mChunkSizeOffset, static_cast<uint32_t>(mData.size() - bodyStart));
  mChunkOpen = false;
}

void AnimFileWriter::AddChunk(uint32_t id, uint32_t version, const AnimBytes& body) {
  BeginChunk(id, version);
  PutBytes(body);
  EndChunk();
}

void AnimFileWriter::PutChunkHeader(uint32_t id, uint32_t size, uint32_t version) {
  PutU32(id);
  PutU32(size);
  PutU32(version);
}

void AnimFileWriter::PutU8(uint8_t value) { mData.push_back(value); }

void AnimFileWriter::PutU16(uint16_t value) {
  const uint8_t lo = static_cast<uint8_t>(value & 0xFF);
  const uint8_t hi = static_cast<uint8_t>(value >> 8);
  if (mBigEndian) {
    mData.push_back(hi);
    mData.push_back(lo);
  } else {
    mData.push_back(lo);
    mData.push_back(hi);
  }
}

void AnimFileWriter::PutI16(int16_t value) { PutU16(static_cast<uint16_t>(value)); }

void AnimFileWriter::PutU32(uint32_t value) {
  const size_t at = mData.size();
  mData.resize(at + 4);
  PutU32At(at, value);
}

void AnimFileWriter::PutI32(int32_t value) { PutU32(static_cast<uint32_t>(value)); }

void AnimFileWriter::PutF32(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  PutU32(bits);
}

void AnimFileWriter::PutString(std::string_view text) {
  PutU32(static_cast<uint32_t>(text.size()));
  mData.insert(mData.end(), text.begin(), text.end());
}

void AnimFileWriter::PutBytes(const AnimBytes& bytes) {
  mData.insert(mData.end(), bytes.begin(), bytes.end());
}

void AnimFileWriter::PutU32At(size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    const int shift = mBigEndian ? 24 - 8 * i : 8 * i;
    mData[offset + i] = static_cast<uint8_t>((value >> shift) & 0xFF);
  }
}

void AnimFileWriter::AddNode(const AnimNodeChunk& node, uint32_t version) {
  BeginChunk(0, version);
  for (float f : node.rotation) PutF32(f);
  for (float f : node.scaleRotation) PutF32(f);
  for (float f : node.position) PutF32(f);
  for (float f : node.scale) PutF32(f);
  for (float f : node.unused) PutF32(f);
  PutU32(node.lodMask);
  PutU32(node.parentIndex);
  if (version == 2) {
    PutU8(node.flags);
    for (int i = 0; i < 3; ++i) PutU8(0);
  }
  PutString(node.name);
  EndChunk();
}

void AnimFileWriter::AddLimit(const AnimLimitChunk& limit) {
  BeginChunk(6, 1);
  for (const float* v : {limit.translationMin, limit.translationMax, limit.rotationMin,
                         limit.rotationMax, limit.scaleMin, limit.scaleMax}) {
    for (int i = 0; i < 3; ++i) PutF32(v[i]);
  }
  for (uint8_t flag : limit.flags) PutU8(flag);
  for (int i = 0; i < 3; ++i) PutU8(0);
  PutU32(limit.nodeIndex);
  EndChunk();
}

void AnimFileWriter::AddMesh(const AnimMeshChunk& mesh) {
  BeginChunk(1, 1);
  PutU32(mesh.nodeIndex);
  PutU32(mesh.numOrgVertices);
  PutU32(mesh.numVertices);
  PutU32(mesh.numIndices);
  PutU32(static_cast<uint32_t>(mesh.subMeshes.size()));
  PutU32(static_cast<uint32_t>(mesh.layers.size()));
  PutU8(mesh.isCollisionMesh);
  for (int i = 0; i < 3; ++i) PutU8(0);
  for (const AnimMeshChunk::Layer& layer : mesh.layers) {
    PutU32(layer.type);
    PutU32(layer.attributeSize);
    PutU8(layer.keepOriginals);
    PutU8(layer.isScaleFactor);
    PutU16(0);
    for (uint32_t word : layer.words) PutU32(word);
  }
  for (const AnimMeshChunk::SubMesh& sub : mesh.subMeshes) {
    PutU32(static_cast<uint32_t>(sub.indices.size()));
    PutU32(sub.numVertices);
    PutU32(sub.materialIndex);
    PutU32(static_cast<uint32_t>(sub.bones.size()));
    for (uint32_t index : sub.indices) PutU32(index);
    for (uint32_t bone : sub.bones) PutU32(bone);
  }
  EndChunk();
}

void AnimFileWriter::AddSkinning(const AnimSkinningChunk& skinning, uint32_t version) {
  BeginChunk(2, version);
  PutU32(skinning.nodeIndex);
  const auto putInfluence = [this](const AnimInfluence& influence) {
    PutF32(influence.weight);
    PutU16(influence.nodeNumber);
    PutU16(0);
  };
  if (version == 1) {
    PutU8(skinning.forCollisionMesh);
    for (int i = 0; i < 3; ++i) PutU8(0);
    for (const auto& vertex : skinning.vertices) {
      PutU8(static_cast<uint8_t>(vertex.size()));
      for (const AnimInfluence& influence : vertex) putInfluence(influence);
    }
  } else {
    uint32_t total = 0;
    for (const auto& vertex : skinning.vertices) total += static_cast<uint32_t>(vertex.size());
    PutU32(total);
    PutU8(skinning.forCollisionMesh);
    for (int i = 0; i < 3; ++i) PutU8(0);
    for (const auto& vertex : skinning.vertices) {
      for (const AnimInfluence& influence : vertex) putInfluence(influence);
    }
    uint32_t start = 0;
    for (const auto& vertex : skinning.vertices) {
      PutU32(start);
      PutU32(static_cast<uint32_t>(vertex.size()));
      start += static_cast<uint32_t>(vertex.size());
    }
  }
  EndChunk();
}

void AnimFileWriter::AddMorphTarget(const AnimMorphTargetChunk& target) {
  BeginChunk(9, 1);
  PutF32(target.rangeMin);
  PutF32(target.rangeMax);
  PutU32(target.lod);
  PutU32(static_cast<uint32_t>(target.deformDatas.size()));
  PutU32(static_cast<uint32_t>(target.transformations.size()));
  PutU32(target.phonemeSets);
  PutString(target.name);
  for (const auto& data : target.deformDatas) {
    PutU32(data.nodeIndex);
    PutF32(data.minValue);
    PutF32(data.maxValue);
    PutU32(static_cast<uint32_t>(data.vertices.size()));
    for (const auto& v : data.vertices) {
      for (uint16_t q : v.position) PutU16(q);
    }
    for (const auto& v : data.vertices) {
      for (uint8_t q : v.normal) PutU8(q);
    }
    for (const auto& v : data.vertices) {
      for (uint8_t q : v.tangent) PutU8(q);
    }
    for (const auto& v : data.vertices) PutU32(v.vertexNumber);
  }
  for (const auto& t : target.transformations) {
    PutU32(t.nodeIndex);
    for (float f : t.rotation) PutF32(f);
    for (float f : t.scaleRotation) PutF32(f);
    for (float f : t.position) PutF32(f);
    for (float f : t.scale) PutF32(f);
  }
  EndChunk();
}

void AnimFileWriter::AddMorphSubMotion(const AnimMorphSubMotionChunk& subMotion) {
  BeginChunk(100, 1);
  PutF32(subMotion.poseWeight);
  PutF32(subMotion.minWeight);
  PutF32(subMotion.maxWeight);
  PutU32(subMotion.phonemeSet);
  PutU32(static_cast<uint32_t>(subMotion.keys.size()));
  PutString(subMotion.name);
  for (const auto& key : subMotion.keys) {
    PutF32(key.time);
    PutU16(key.value);
    PutU16(0);
  }
  EndChunk();
}

void AnimFileWriter::AddSkeletalSubMotion(const AnimSkeletalSubMotionChunk& subMotion) {
  BeginChunk(200, 1);
  for (const float* q : {subMotion.poseRotation, subMotion.bindRotation,
                         subMotion.poseScaleRotation, subMotion.bindScaleRotation}) {
    for (int i = 0; i < 4; ++i) PutF32(q[i]);
  }
  for (const float* v : {subMotion.posePosition, subMotion.poseScale, subMotion.bindPosition,
                         subMotion.bindScale}) {
    for (int i = 0; i < 3; ++i) PutF32(v[i]);
  }
  PutU32(static_cast<uint32_t>(subMotion.positionKeys.size()));
  PutU32(static_cast<uint32_t>(subMotion.rotationKeys.size()));
  PutU32(static_cast<uint32_t>(subMotion.scaleKeys.size()));
  PutU32(static_cast<uint32_t>(subMotion.scaleRotationKeys.size()));
  PutString(subMotion.name);
  const auto putKeys = [this](const auto& keys) {
    for (const auto& key : keys) {
      for (float f : key.value) PutF32(f);
      PutF32(key.time);
    }
  };
  putKeys(subMotion.positionKeys);
  putKeys(subMotion.rotationKeys);
  putKeys(subMotion.scaleKeys);
  putKeys(subMotion.scaleRotationKeys);
  EndChunk();
}

void AnimFileWriter::AddMotionEventTable(const AnimMotionEventTableChunk& table) {
  BeginChunk(50, 1);
  PutU32(static_cast<uint32_t>(table.events.size()));
  PutU32(static_cast<uint32_t>(table.types.size()));
  PutU32(static_cast<uint32_t>(table.parameters.size()));
  for (const std::string& type : table.types) PutString(type);
  for (const std::string& parameter : table.parameters) PutString(parameter);
  for (const AnimMotionEventTableChunk::Event& event : table.events) {
    PutF32(event.time);
    PutU32(event.typeIndex);
    PutU32(event.parameterIndex);
  }
  EndChunk();
}

void AnimFileWriter::AddMaterial(const AnimMaterialChunk& material) {
  BeginChunk(3, 1);
  for (const float* c : {material.ambient, material.diffuse, material.specular, material.emissive}) {
    for (int i = 0; i < 4; ++i) PutF32(c[i]);
  }
  PutF32(material.shine);
  PutF32(material.shineStrength);
  PutF32(material.opacity);
  PutF32(material.ior);
  PutU8(material.doubleSided);
  PutU8(material.wireFrame);
  PutU16(0);
  PutString(material.name);
  EndChunk();
}

void AnimFileWriter::AddMaterialLayer(const AnimMaterialLayerChunk& layer) {
  BeginChunk(4, 1);
  for (float f : {layer.amount, layer.uOffset, layer.vOffset, layer.uTiling, layer.vTiling,
                  layer.rotation}) {
    PutF32(f);
  }
  PutU16(layer.materialNumber);
  PutU8(layer.mapType);
  PutU8(0);
  PutString(layer.textureName);
  EndChunk();
}

void AnimFileWriter::AddFXMaterial(const AnimFXMaterialChunk& material) {
  BeginChunk(5, 1);
  PutU32(static_cast<uint32_t>(material.ints.size()));
  PutU32(static_cast<uint32_t>(material.floats.size()));
  PutU32(static_cast<uint32_t>(material.colours.size()));
  PutU32(static_cast<uint32_t>(material.bitmaps.size()));
  PutString(material.name);
  PutString(material.effectFile);
  for (const auto& p : material.ints) {
    PutI32(p.value);
    PutString(p.name);
  }
  for (const auto& p : material.floats) {
    PutF32(p.value);
    PutString(p.name);
  }
  for (const auto& p : material.colours) {
    for (float f : p.value) PutF32(f);
    PutString(p.name);
  }
  for (const auto& p : material.bitmaps) {
    PutString(p.name);
    PutString(p.value);
  }
  EndChunk();
}

void AnimFileWriter::AddActorInfo(const AnimActorInfoChunk& info, uint32_t version) {
  BeginChunk(7, version);
  PutU32(info.repositioningMask);
  PutU32(info.repositioningNode);
  PutU8(info.exporterMajor);
  PutU8(info.exporterMinor);
  PutU16(0);
  if (version >= 2) PutF32(info.retargetRootOffset);
  PutString(info.sourceApplication);
  PutString(info.originalFileName);
  PutString(info.compilationDate);
  PutString(info.actorName);
  EndChunk();
}

void AnimFileWriter::AddMeshLOD(uint32_t level, const AnimBytes& actorFile, int64_t size) {
  BeginChunk(8, 1);
  PutU32(level);
  PutU32(size < 0 ? static_cast<uint32_t>(actorFile.size()) : static_cast<uint32_t>(size));
  PutBytes(actorFile);
  EndChunk();
}

void AnimFileWriter::AddMotionInfo(const AnimMotionInfoChunk& info, uint32_t chunkID) {
  BeginChunk(chunkID, 1);
  PutU32(info.framesPerSecond);
  PutU8(info.exporterMajor);
  PutU8(info.exporterMinor);
  PutU16(0);
  PutString(info.sourceApplication);
  PutString(info.originalFileName);
  PutString(info.compilationDate);
  PutString(info.motionName);
  EndChunk();
}

AnimBytes AnimFileWriter::Finish() {
  if (mChunkOpen) EndChunk();
  return mData;
}

}  // namespace testkit
