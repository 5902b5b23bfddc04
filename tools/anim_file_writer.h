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
