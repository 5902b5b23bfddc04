#include "launcher/app/media_trailer.h"

#include "platform/win32/win32.h"

namespace launcher {

namespace {

bool ReadExactly(HANDLE file, uint8_t* data, uint64_t size) {
  while (size > 0) {
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD read = 0;
    if (!ReadFile(file, data, chunk, &read, nullptr) || read != chunk) return false;
    data += read;
    size -= read;
  }
  return true;
}

bool Seek(HANDLE file, uint64_t offset) {
  LONG high = static_cast<LONG>(offset >> 32);
  SetLastError(NO_ERROR);
  const DWORD low = SetFilePointer(file, static_cast<LONG>(offset & 0xFFFFFFFFu), &high, FILE_BEGIN);
  return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

bool Read(HANDLE file, MediaBlocks* blocks) {
  DWORD high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = GetFileSize(file, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  const uint64_t size = (static_cast<uint64_t>(high) << 32) | low;
  if (size < kMediaTableSize) return false;
  uint8_t table[kMediaTableSize];
  if (!Seek(file, size - kMediaTableSize) || !ReadExactly(file, table, kMediaTableSize)) return false;
  uint32_t t[11];
  for (int i = 0; i < 11; ++i) {
    const uint8_t* p = table + i * 4;
    t[i] = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
  }
  const uint64_t distance = t[10];
  if (distance < kMediaTableSize || distance > size) return false;
  const uint64_t total = uint64_t{t[3]} + t[5] + t[7] + t[9];
  if (total > distance - kMediaTableSize) return false;
  if (!Seek(file, size - distance)) return false;
  for (auto [block, length] : {std::pair{&blocks->video, t[3]}, std::pair{&blocks->music, t[5]},
                               std::pair{&blocks->click, t[7]}, std::pair{&blocks->hover, t[9]}}) {
    block->resize(length);
    if (!ReadExactly(file, block->data(), length)) return false;
  }
  return true;
}

}  // namespace

bool ReadMediaTrailer(HANDLE file, MediaBlocks* blocks) {
  *blocks = MediaBlocks{};
  if (file == INVALID_HANDLE_VALUE || !file) return false;
  if (Read(file, blocks)) return true;
  *blocks = MediaBlocks{};
  return false;
}

}  // namespace launcher
