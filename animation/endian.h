#pragma once

#include <cstdint>
#include <cstring>

namespace Anim {

// Byte order of the actor and motion files: 0 little endian (used as read on this
// machine), 1 big endian (every 16- and 32-bit value reversed after reading).
enum : uint32_t {
  ENDIAN_LITTLE = 0,
  ENDIAN_BIG = 1,
};

namespace Endian {

inline uint32_t Swap32(uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
}
inline uint16_t Swap16(uint16_t v) { return static_cast<uint16_t>((v >> 8) | (v << 8)); }

inline void ConvertUInt32(uint32_t& value, uint32_t endianType) {
  if (endianType == ENDIAN_BIG) value = Swap32(value);
}
inline void ConvertInt32(int32_t& value, uint32_t endianType) {
  if (endianType == ENDIAN_BIG) value = static_cast<int32_t>(Swap32(static_cast<uint32_t>(value)));
}
inline void ConvertFloat(float& value, uint32_t endianType) {
  if (endianType != ENDIAN_BIG) return;
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  bits = Swap32(bits);
  std::memcpy(&value, &bits, 4);
}
inline void ConvertUInt16(uint16_t& value, uint32_t endianType) {
  if (endianType == ENDIAN_BIG) value = Swap16(value);
}
inline void ConvertInt16(int16_t& value, uint32_t endianType) {
  if (endianType == ENDIAN_BIG) value = static_cast<int16_t>(Swap16(static_cast<uint16_t>(value)));
}
// Reverses each of count 4-byte groups in place.
inline void Convert4ByteGroups(void* data, uint64_t count, uint32_t endianType) {
  if (endianType != ENDIAN_BIG) return;
  auto* bytes = static_cast<uint8_t*>(data);
  for (uint64_t i = 0; i < count; ++i) {
    uint8_t* b = bytes + i * 4;
    uint8_t t = b[0];
    b[0] = b[3];
    b[3] = t;
    t = b[1];
    b[1] = b[2];
    b[2] = t;
  }
}

}  // namespace Endian
}  // namespace Anim
