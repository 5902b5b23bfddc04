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

AnimBytes AnimFileWriter::Finish() {
  if (mChunkOpen) EndChunk();
  return mData;
}

}  // namespace testkit
