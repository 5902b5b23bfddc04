#include "animation/core/memory_file.h"

#include <cstring>
#include <limits>

#include "animation/core/memory_manager.h"

namespace AnimCore {

MemoryFile::~MemoryFile() { Close(); }

bool MemoryFile::Open(void* block, uint32_t size) {
  Close();
  mPreAllocSize = kDefaultPreAllocSize;
  mCurrentPos = 0;
  if (block != nullptr) {
    mAllocated = false;
    mMemStart = static_cast<uint8_t*>(block);
    mLength = size;
    mUsedLength = size;
    return true;
  }
  mAllocated = true;
  mMemStart = nullptr;
  mLength = 0;
  mUsedLength = 0;
  if (size != 0) {
    mMemStart = static_cast<uint8_t*>(
        MemoryManager::Allocate(size, MEMCATEGORY_MEMORYFILE, 4, MEMBLOCK_PLAIN));
    if (mMemStart != nullptr) {
      std::memset(mMemStart, 0, size);
      mLength = size;
      mUsedLength = size;
    }
  }
  return true;
}

void MemoryFile::Close() {
  if (mAllocated) MemoryManager::Free(mMemStart);
  mMemStart = nullptr;
  mCurrentPos = 0;
  mLength = 0;
  mUsedLength = 0;
}

bool MemoryFile::Grow(uint32_t numBytes) {
  // New size: what the block holds plus the pre-allocation, the write offset and
  // the write itself.
  const uint64_t newLength =
      uint64_t{mLength} + mPreAllocSize + mCurrentPos + numBytes;
  if (newLength > std::numeric_limits<uint32_t>::max()) return false;
  auto* block = static_cast<uint8_t*>(MemoryManager::Realloc(
      mMemStart, static_cast<uint32_t>(newLength), MEMCATEGORY_MEMORYFILE, 4, MEMBLOCK_PLAIN));
  if (block == nullptr) return false;  // the old block stays as it was
  std::memset(block + mLength, 0, static_cast<size_t>(newLength - mLength));
  mMemStart = block;
  mLength = static_cast<uint32_t>(newLength);
  return true;
}

uint32_t MemoryFile::Write(const void* source, uint32_t numBytes) {
  if (source == nullptr || numBytes == 0) return 0;
  if (numBytes > mLength - mCurrentPos && mAllocated) Grow(numBytes);
  const uint32_t remaining = mLength - mCurrentPos;
  const uint32_t count = numBytes < remaining ? numBytes : remaining;
  if (count == 0) return 0;
  std::memcpy(mMemStart + mCurrentPos, source, count);
  mCurrentPos += count;
  mUsedLength = mCurrentPos;
  return count;
}

uint8_t MemoryFile::GetNextByte() {
  if (mCurrentPos >= mLength) return 0;
  return mMemStart[mCurrentPos++];
}

bool MemoryFile::WriteByte(uint8_t value) { return Write(&value, 1) == 1; }

bool MemoryFile::Forward(uint32_t numBytes) {
  if (numBytes > mLength - mCurrentPos) return false;
  mCurrentPos += numBytes;
  return true;
}

bool MemoryFile::Seek(uint32_t offset) {
  if (offset > mLength) return false;
  mCurrentPos = offset;
  return true;
}

}  // namespace AnimCore
