#pragma once

#include <cstdint>
#include <cstring>

#include "animation/core/stream.h"

namespace AnimCore {

// A stream over a memory block: either a caller's block (read, or written in place,
// never freed or grown) or a block of its own that grows as it is written.
// Transfers never cross the end of the block: Read and a write into a caller's block
// copy what fits and return that count, so a truncated file shows as a short read.
// Final, so the chunk readers' calls through MemoryFile* need no virtual dispatch.
class MemoryFile final : public Stream {
 public:
  MemoryFile() = default;
  ~MemoryFile() override;

  // With a block: a view of size bytes that stays the caller's. Without: a block of
  // its own, size bytes (zeroed) to start with.
  bool Open(void* block, uint32_t size);

  uint32_t Read(void* destination, uint32_t numBytes) override {
    const uint32_t remaining = mLength - mCurrentPos;
    const uint32_t count = numBytes < remaining ? numBytes : remaining;
    if (count == 0 || destination == nullptr) return 0;
    std::memcpy(destination, mMemStart + mCurrentPos, count);
    mCurrentPos += count;
    return count;
  }
  uint32_t Write(const void* source, uint32_t numBytes) override;
  using Stream::operator<<;
  using Stream::operator>>;

  virtual void Close();
  virtual void Flush() {}
  virtual bool IsEOF() const { return GetPos() >= GetFileSize(); }
  // The byte at the current position, advancing by one; 0 (no move) at the end.
  virtual uint8_t GetNextByte();
  virtual uint32_t GetPos() const { return mCurrentPos; }
  virtual uint32_t GetFileSize() const { return mUsedLength; }
  virtual bool WriteByte(uint8_t value);
  // False, with no move, when the target lies past the end of the block.
  virtual bool Forward(uint32_t numBytes);
  virtual bool Seek(uint32_t offset);
  virtual bool IsOpen() const { return mMemStart != nullptr; }

  const uint8_t* GetMemoryStart() const { return mMemStart; }
  uint32_t GetLength() const { return mLength; }
  bool IsOwner() const { return mAllocated; }
  void SetPreAllocSize(uint32_t numBytes) { mPreAllocSize = numBytes; }

  static constexpr uint32_t kDefaultPreAllocSize = 1024;

 private:
  bool Grow(uint32_t numBytes);

  uint8_t* mMemStart = nullptr;
  uint32_t mCurrentPos = 0;  // offset from mMemStart
  uint32_t mLength = 0;      // bytes the block holds
  uint32_t mUsedLength = 0;  // file size
  uint32_t mPreAllocSize = kDefaultPreAllocSize;
  bool mAllocated = false;
};

}  // namespace AnimCore
