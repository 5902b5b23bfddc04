#pragma once
// Writes the animation library's files: actors ("ACT "), skeletal motions ("SKM ")
// and progressive morph motions ("PMM "), in either byte order. A file is the 8-byte
// header and a sequence of chunks {id, body size, version, body}.
//
// Written from the file layout alone, sharing nothing with the library's importer,
// so that a round trip checks one against the other. Chunk bodies are put together
// with the Put* calls between BeginChunk and EndChunk; every value is written in the
// file's byte order.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace testkit {

using AnimBytes = std::vector<uint8_t>;

// Bodies of the actor file's chunks, as plain values.
struct AnimNodeChunk {
  float rotation[4] = {0, 0, 0, 1};       // x, y, z, w
  float scaleRotation[4] = {0, 0, 0, 1};
  float position[3] = {0, 0, 0};
  float scale[3] = {1, 1, 1};
  float unused[3] = {0, 0, 0};
  uint32_t lodMask = 0xFFFFFFFFu;
  uint32_t parentIndex = 0xFFFFFFFFu;
  uint8_t flags = 1;  // version 2 only
  std::string name;
};

struct AnimLimitChunk {
  float translationMin[3] = {}, translationMax[3] = {};
  float rotationMin[3] = {}, rotationMax[3] = {};
  float scaleMin[3] = {}, scaleMax[3] = {};
  uint8_t flags[9] = {};
  uint32_t nodeIndex = 0;
};

struct AnimMeshChunk {
  struct Layer {
    uint32_t type = 0;
    uint32_t attributeSize = 12;
    uint8_t keepOriginals = 1;
    uint8_t isScaleFactor = 0;
    // numVertices * attributeSize bytes as 32-bit words (every known type is made of
    // them), written in the file's byte order.
    std::vector<uint32_t> words;
  };
  struct SubMesh {
    uint32_t numVertices = 0;
    uint32_t materialIndex = 0;
    std::vector<uint32_t> indices;  // from the submesh's first vertex
    std::vector<uint32_t> bones;
  };
  uint32_t nodeIndex = 0;
  uint32_t numOrgVertices = 0;
  uint32_t numVertices = 0;
  uint32_t numIndices = 0;
  uint8_t isCollisionMesh = 0;
  std::vector<Layer> layers;
  std::vector<SubMesh> subMeshes;
};

struct AnimInfluence {
  float weight = 1.0f;
  uint16_t nodeNumber = 0;
};

// Influences per original vertex; written as version 1 (count byte per vertex) or
// version 2 (pool and row table).
struct AnimSkinningChunk {
  uint32_t nodeIndex = 0;
  uint8_t forCollisionMesh = 0;
  std::vector<std::vector<AnimInfluence>> vertices;
};

// Bodies of the motion file's chunks.
template <int N>
struct AnimKey {
  float value[N] = {};
  float time = 0.0f;
};

struct AnimSkeletalSubMotionChunk {
  float poseRotation[4] = {0, 0, 0, 1};  // x, y, z, w
  float bindRotation[4] = {0, 0, 0, 1};
  float poseScaleRotation[4] = {0, 0, 0, 1};
  float bindScaleRotation[4] = {0, 0, 0, 1};
  float posePosition[3] = {0, 0, 0};
  float poseScale[3] = {1, 1, 1};
  float bindPosition[3] = {0, 0, 0};
  float bindScale[3] = {1, 1, 1};
  std::string name;
  std::vector<AnimKey<3>> positionKeys;
  std::vector<AnimKey<4>> rotationKeys;
  std::vector<AnimKey<3>> scaleKeys;
  std::vector<AnimKey<4>> scaleRotationKeys;
};

// A sub-motion of `node` that holds it still at the origin, unturned, for a
// second: two position and two rotation keys.
inline AnimSkeletalSubMotionChunk StillSubMotion(const std::string& node) {
  AnimSkeletalSubMotionChunk sub;
  sub.name = node;
  AnimKey<3> p0, p1;
  p1.time = 1.0f;
  sub.positionKeys = {p0, p1};
  AnimKey<4> r0, r1;
  r0.value[3] = r1.value[3] = 1.0f;
  r1.time = 1.0f;
  sub.rotationKeys = {r0, r1};
  return sub;
}

struct AnimMotionEventTableChunk {
  struct Event {
    float time = 0.0f;
    uint32_t typeIndex = 0;
    uint32_t parameterIndex = 0;
  };
  std::vector<std::string> types;
  std::vector<std::string> parameters;
  std::vector<Event> events;
};

// Materials of the actor file. Colours are written as R, G, B and an alpha word.
struct AnimMaterialChunk {
  float ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
  float diffuse[4] = {1, 0, 0, 1};
  float specular[4] = {1, 1, 1, 1};
  float emissive[4] = {1, 0, 0, 1};
  float shine = 1.0f;
  float shineStrength = 1.0f;
  float opacity = 1.0f;
  float ior = 1.5f;
  uint8_t doubleSided = 1;
  uint8_t wireFrame = 0;
  std::string name;
};

struct AnimMaterialLayerChunk {
  float amount = 1.0f;
  float uOffset = 0, vOffset = 0;
  float uTiling = 1, vTiling = 1;
  float rotation = 0;
  uint16_t materialNumber = 0;
  uint8_t mapType = 0;
  std::string textureName;
};

struct AnimFXMaterialChunk {
  struct Int { int32_t value; std::string name; };
  struct Float { float value; std::string name; };
  struct Colour { float value[4]; std::string name; };
  struct Bitmap { std::string name; std::string value; };
  std::string name;
  std::string effectFile;
  std::vector<Int> ints;
  std::vector<Float> floats;
  std::vector<Colour> colours;
  std::vector<Bitmap> bitmaps;
};

// Actor information; retargetRootOffset is written by version 2 only.
struct AnimActorInfoChunk {
  uint32_t repositioningMask = 1;
  uint32_t repositioningNode = 0;
  uint8_t exporterMajor = 1, exporterMinor = 0;
  float retargetRootOffset = 0.0f;
  std::string sourceApplication, originalFileName, compilationDate, actorName;
};

struct AnimMotionInfoChunk {
  uint32_t framesPerSecond = 30;
  uint8_t exporterMajor = 1, exporterMinor = 0;
  std::string sourceApplication, originalFileName, compilationDate, motionName;
};

// Chunk 9: a progressive morph target. Offsets are given already quantised.
struct AnimMorphTargetChunk {
  struct Vertex {
    uint16_t position[3] = {};
    uint8_t normal[3] = {};
    uint8_t tangent[3] = {};
    uint32_t vertexNumber = 0;
  };
  struct DeformData {
    uint32_t nodeIndex = 0;
    float minValue = 0.0f;
    float maxValue = 1.0f;
    std::vector<Vertex> vertices;
  };
  struct Transformation {
    uint32_t nodeIndex = 0;
    float rotation[4] = {0, 0, 0, 1};  // x, y, z, w
    float scaleRotation[4] = {0, 0, 0, 1};
    float position[3] = {0, 0, 0};
    float scale[3] = {0, 0, 0};
  };
  float rangeMin = 0.0f;
  float rangeMax = 1.0f;
  uint32_t lod = 0;
  uint32_t phonemeSets = 0;
  std::string name;
  std::vector<DeformData> deformDatas;
  std::vector<Transformation> transformations;
};

// Chunk 100: the weight track of one morph target in a progressive morph motion.
struct AnimMorphSubMotionChunk {
  struct Key {
    float time = 0.0f;
    uint16_t value = 0;
  };
  float poseWeight = 0.0f;
  float minWeight = 0.0f;
  float maxWeight = 1.0f;
  uint32_t phonemeSet = 0;
  std::string name;
  std::vector<Key> keys;
};

enum class AnimFileKind { Actor, SkeletalMotion, PMorphMotion };

class AnimFileWriter {
 public:
  // Header {magic, 3, 0, endian, multiply order}; motion files write multiplyOrder
  // too (their readers ignore it).
  explicit AnimFileWriter(AnimFileKind kind, bool bigEndian = false, uint8_t multiplyOrder = 1);

  // Header fields, for files that are off on purpose.
  void SetMagic(std::string_view fourCharacters);
  void SetVersion(uint8_t major, uint8_t minor);
  void SetEndianByte(uint8_t value);  // does not change how values are written
  void SetMultiplyOrder(uint8_t value);

  // Opens a chunk; EndChunk writes its body size. Chunks do not nest.
  void BeginChunk(uint32_t id, uint32_t version);
  void EndChunk();
  // A whole chunk with a body given as bytes (already in the file's byte order).
  void AddChunk(uint32_t id, uint32_t version, const AnimBytes& body);
  // A chunk header with any size, followed by nothing.
  void PutChunkHeader(uint32_t id, uint32_t size, uint32_t version);

  void PutU8(uint8_t value);
  void PutU16(uint16_t value);
  void PutI16(int16_t value);
  void PutU32(uint32_t value);
  void PutI32(int32_t value);
  void PutF32(float value);
  // A 32-bit length, then the characters, no terminator.
  void PutString(std::string_view text);
  void PutBytes(const AnimBytes& bytes);

  // Whole chunks of the actor file.
  void AddNode(const AnimNodeChunk& node, uint32_t version = 2);
  void AddLimit(const AnimLimitChunk& limit);
  void AddMesh(const AnimMeshChunk& mesh);
  void AddSkinning(const AnimSkinningChunk& skinning, uint32_t version);
  void AddMaterial(const AnimMaterialChunk& material);
  void AddMaterialLayer(const AnimMaterialLayerChunk& layer);
  void AddFXMaterial(const AnimFXMaterialChunk& material);
  void AddActorInfo(const AnimActorInfoChunk& info, uint32_t version);
  // An embedded actor file as a level of detail; size is its length unless given.
  void AddMeshLOD(uint32_t level, const AnimBytes& actorFile, int64_t size = -1);
  // Chunk 201 in skeletal motions, 101 in progressive morph motions.
  void AddMotionInfo(const AnimMotionInfoChunk& info, uint32_t chunkID = 201);

  // Whole chunks of the motion files.
  void AddSkeletalSubMotion(const AnimSkeletalSubMotionChunk& subMotion);
  void AddMorphTarget(const AnimMorphTargetChunk& target);
  void AddMorphSubMotion(const AnimMorphSubMotionChunk& subMotion);
  void AddMotionEventTable(const AnimMotionEventTableChunk& table);

  bool IsBigEndian() const { return mBigEndian; }
  const AnimBytes& Data() const { return mData; }
  // The file so far; an open chunk is closed first.
  AnimBytes Finish();

 private:
  void PutU32At(size_t offset, uint32_t value);

  AnimBytes mData;
  bool mBigEndian;
  bool mChunkOpen = false;
  size_t mChunkSizeOffset = 0;
};

}  // namespace testkit
