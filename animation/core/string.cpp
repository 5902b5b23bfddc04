#include "animation/core/string.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>

#include "animation/core/memory_manager.h"

namespace AnimCore {
namespace {

uint32_t TextLength(const char* text) {
  const size_t length = std::strlen(text);
  return length > std::numeric_limits<uint32_t>::max() - 1
             ? std::numeric_limits<uint32_t>::max() - 1
             : static_cast<uint32_t>(length);
}

char ToLowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

}  // namespace

String::String(const char* text) {
  if (text != nullptr) Assign(text, TextLength(text));
}

String::String(const char* characters, uint32_t count) { Assign(characters, count); }

String::String(const String& other) {
  if (other.mData != nullptr) Assign(other.mData, other.mLength);
}

String::String(String&& other) noexcept
    : mData(std::exchange(other.mData, nullptr)),
      mLength(std::exchange(other.mLength, 0u)),
      mMaxLength(std::exchange(other.mMaxLength, 0u)) {}

String& String::operator=(const String& other) {
  if (this != &other) Assign(other.mData, other.mLength);
  return *this;
}

String& String::operator=(String&& other) noexcept {
  if (this != &other) {
    Release();
    mData = std::exchange(other.mData, nullptr);
    mLength = std::exchange(other.mLength, 0u);
    mMaxLength = std::exchange(other.mMaxLength, 0u);
  }
  return *this;
}

String& String::operator=(const char* text) { return Assign(text); }

String::~String() { Release(); }

void String::Release() {
  MemoryManager::Free(mData);
  mData = nullptr;
  mLength = 0;
  mMaxLength = 0;
}

void String::Clear() { Release(); }

String& String::Resize(uint32_t newLength, uint32_t extraCapacity) {
  const uint64_t wanted = uint64_t{newLength} + extraCapacity;
  if (mData != nullptr && wanted <= mMaxLength) {
    mLength = newLength;
    mData[mLength] = '\0';
    return *this;
  }
  // The buffer is maxLength + 1 bytes and its size a 32-bit count.
  void* buffer = nullptr;
  if (wanted < std::numeric_limits<uint32_t>::max()) {
    buffer = MemoryManager::Realloc(mData, static_cast<uint32_t>(wanted + 1), MEMCATEGORY_STRING,
                                    4, MEMBLOCK_STRING);
  }
  if (buffer == nullptr) {
    Release();
    return *this;
  }
  mData = static_cast<char*>(buffer);
  mMaxLength = static_cast<uint32_t>(wanted);
  mLength = newLength;
  mData[mLength] = '\0';
  return *this;
}

String& String::Append(const char* characters, uint32_t count) {
  if (characters == nullptr || count == 0) return *this;
  const uint32_t oldLength = mLength;
  if (count > std::numeric_limits<uint32_t>::max() - 1 - oldLength) return *this;
  // Appending a part of this string: keep its offset across the reallocation.
  const auto source0 = reinterpret_cast<uintptr_t>(characters);
  const auto start = reinterpret_cast<uintptr_t>(mData);
  const bool fromSelf = mData != nullptr && source0 >= start && source0 <= start + mMaxLength;
  const size_t selfOffset = fromSelf ? source0 - start : 0;
  Resize(oldLength + count);
  if (mData == nullptr) return *this;
  const char* source = fromSelf ? mData + selfOffset : characters;
  std::memmove(mData + oldLength, source, count);
  mData[mLength] = '\0';
  return *this;
}

String& String::Append(const char* text) {
  if (text == nullptr) return *this;
  return Append(text, TextLength(text));
}

String& String::Assign(const char* characters, uint32_t count) {
  if (characters == nullptr) {
    Release();
    return *this;
  }
  if (count == std::numeric_limits<uint32_t>::max()) count -= 1;
  // The source may be this string's own buffer: copy before freeing it.
  char* buffer = static_cast<char*>(
      MemoryManager::Allocate(count + 1, MEMCATEGORY_STRING, 4, MEMBLOCK_STRING));
  if (buffer != nullptr) {
    std::memcpy(buffer, characters, count);
    buffer[count] = '\0';
  }
  Release();
  if (buffer == nullptr) return *this;
  mData = buffer;
  mLength = count;
  mMaxLength = count;
  return *this;
}

String& String::Assign(const char* text) {
  if (text == nullptr) return Assign(nullptr, 0);
  return Assign(text, TextLength(text));
}

String& String::Format(const char* format, ...) {
  const uint32_t workingSize = mMaxLength > kFormatWorkingSize ? mMaxLength : kFormatWorkingSize;
  Resize(workingSize);
  if (mData == nullptr) return *this;
  va_list args;
  va_start(args, format);
  const int written = std::vsnprintf(mData, size_t{mMaxLength} + 1, format, args);
  va_end(args);
  if (written < 0) {
    mLength = 0;
  } else {
    mLength = static_cast<uint32_t>(written) > mMaxLength ? mMaxLength
                                                          : static_cast<uint32_t>(written);
  }
  mData[mLength] = '\0';
  return *this;
}

String& String::PadRight(uint32_t length, char character) {
  if (mLength >= length) return *this;
  const uint32_t oldLength = mLength;
  Resize(length);
  if (mData != nullptr) std::memset(mData + oldLength, character, length - oldLength);
  return *this;
}

String& String::TrimLeft(char character) {
  if (mData == nullptr) return *this;
  uint32_t start = 0;
  while (start < mLength && mData[start] == character) ++start;
  if (start == 0) return *this;
  // The rest, terminator included, moves to the front.
  std::memmove(mData, mData + start, mLength - start + 1);
  mLength -= start;
  return *this;
}

String& String::TrimRight(char character) {
  if (mData == nullptr) return *this;
  while (mLength > 0 && mData[mLength - 1] == character) --mLength;
  mData[mLength] = '\0';
  return *this;
}

String& String::Trim(char character) {
  TrimLeft(character);
  return TrimRight(character);
}

bool String::IsEqual(const char* text, uint32_t length) const {
  if (mData == nullptr || text == nullptr || length != mLength) return false;
  return std::memcmp(mData, text, length) == 0;
}

bool String::IsEqualNoCase(const char* text, uint32_t length) const {
  if (mData == nullptr || text == nullptr || length != mLength) return false;
  for (uint32_t i = 0; i < length; ++i) {
    if (ToLowerAscii(mData[i]) != ToLowerAscii(text[i])) return false;
  }
  return true;
}

bool String::IsEqual(const char* text) const {
  return text != nullptr && IsEqual(text, TextLength(text));
}

bool String::IsEqual(const String& other) const { return IsEqual(other.mData, other.mLength); }

bool String::IsEqualNoCase(const char* text) const {
  return text != nullptr && IsEqualNoCase(text, TextLength(text));
}

bool String::IsEqualNoCase(const String& other) const {
  return IsEqualNoCase(other.mData, other.mLength);
}

}  // namespace AnimCore
