#pragma once
// Bounded reads of chunk bodies in the file's byte order. Every read fails (and
// reads nothing) when the data left is shorter than asked.

#include <cstdint>
#include <cstring>

#include "animation/core/coord_system_converter.h"
#include "animation/core/memory_file.h"
#include "animation/core/quaternion.h"
#include "animation/core/vector3.h"
#include "animation/endian.h"

namespace Anim::ChunkRead {

inline uint64_t BytesLeft(const AnimCore::MemoryFile* file) {
  const uint32_t size = file->GetFileSize();
  const uint32_t pos = file->GetPos();
  return size > pos ? uint64_t{size} - pos : 0;
}

// count * size fits in what is left (64-bit, so products cannot wrap).
inline bool Fits(const AnimCore::MemoryFile* file, uint64_t count, uint64_t size) {
  if (size != 0 && count > UINT64_MAX / size) return false;
  return count * size <= BytesLeft(file);
}

inline bool Bytes(AnimCore::MemoryFile* file, void* out, uint32_t numBytes) {
  if (BytesLeft(file) < numBytes) return false;
  return file->Read(out, numBytes) == numBytes;
}

inline bool Skip(AnimCore::MemoryFile* file, uint64_t numBytes) {
  if (BytesLeft(file) < numBytes) return false;
  return file->Forward(static_cast<uint32_t>(numBytes));
}

// Field decoders over a body already read into memory.
inline uint32_t U32At(const uint8_t* p, uint32_t endianType) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  Endian::ConvertUInt32(v, endianType);
  return v;
}
inline uint16_t U16At(const uint8_t* p, uint32_t endianType) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  Endian::ConvertUInt16(v, endianType);
  return v;
}
inline float F32At(const uint8_t* p, uint32_t endianType) {
  float v;
  std::memcpy(&v, p, 4);
  Endian::ConvertFloat(v, endianType);
  return v;
}
// Byte order, then the converter as a point or direction.
inline AnimCore::Vector3 VectorAt(const uint8_t* p, uint32_t endianType) {
  AnimCore::Vector3 v(F32At(p, endianType), F32At(p + 4, endianType), F32At(p + 8, endianType));
  const AnimCore::CoordSystemConverter& converter = AnimCore::GetCoordSystemConverter();
  if (!converter.IsIdentity()) converter.ConvertVectors(&v, 1);
  return v;
}
// Byte order, then the converter as an axis-permuted triple.
inline AnimCore::Vector3 ScaleAt(const uint8_t* p, uint32_t endianType) {
  float f[3] = {F32At(p, endianType), F32At(p + 4, endianType), F32At(p + 8, endianType)};
  const AnimCore::CoordSystemConverter& converter = AnimCore::GetCoordSystemConverter();
  if (!converter.IsIdentity()) converter.ConvertIndices(f);
  return AnimCore::Vector3(f[0], f[1], f[2]);
}
inline AnimCore::Quaternion QuaternionAt(const uint8_t* p, uint32_t endianType) {
  AnimCore::Quaternion q(F32At(p, endianType), F32At(p + 4, endianType), F32At(p + 8, endianType),
                         F32At(p + 12, endianType));
  const AnimCore::CoordSystemConverter& converter = AnimCore::GetCoordSystemConverter();
  if (!converter.IsIdentity()) converter.ConvertQuaternions(&q, 1);
  return q;
}

}  // namespace Anim::ChunkRead
