#pragma once

#include <cassert>
#include <cstdint>

namespace AnimCore {

// The library's character string. The buffer comes from the memory manager
// (category "AnimCore::String") and holds maxLength + 1 bytes. A string that never
// held text has no buffer; one whose allocation failed is left in that state too
// (empty, no buffer), never with a length but no data.
class String {
 public:
  String() = default;
  String(const char* text);  // NOLINT: implicit on purpose, like a text literal
  String(const char* characters, uint32_t count);
  String(const String& other);
  String(String&& other) noexcept;
  String& operator=(const String& other);
  String& operator=(String&& other) noexcept;
  String& operator=(const char* text);
  ~String();

  // The text, or "" for a string without a buffer.
  const char* AsChar() const { return mData != nullptr ? mData : ""; }
  // The buffer itself; null for a string without one.
  const char* GetData() const { return mData; }
  char* GetData() { return mData; }
  uint32_t GetLength() const { return mLength; }
  uint32_t GetMaxLength() const { return mMaxLength; }
  bool IsEmpty() const { return mLength == 0; }
  char operator[](uint32_t index) const {
    assert(mData != nullptr && index <= mLength);
    return mData[index];
  }

  // Sets the length; grows the buffer to newLength + extraCapacity characters when
  // that does not fit. New characters are left as they are (uninitialised).
  String& Resize(uint32_t newLength, uint32_t extraCapacity = 0);
  String& Append(const char* characters, uint32_t count);
  String& Append(const char* text);
  String& Append(const String& other) { return Append(other.mData, other.mLength); }
  String& operator+=(const char* text) { return Append(text); }
  String& operator+=(const String& other) { return Append(other); }
  // Replaces the text with exactly count characters; null empties the string and
  // frees its buffer.
  String& Assign(const char* characters, uint32_t count);
  String& Assign(const char* text);
  // Frees the buffer: the string no longer holds text.
  void Clear();

  // printf-style, into a working size of 2048 characters or the current capacity if
  // larger; longer output is cut there. Arguments must not point into this string.
  String& Format(const char* format, ...) __attribute__((format(printf, 2, 3)));

  String& PadRight(uint32_t length, char character);
  String& TrimLeft(char character);
  String& TrimRight(char character);
  String& Trim(char character);

  // Both compare lengths first; a string without a buffer equals no text, not even "".
  bool IsEqual(const char* text) const;
  bool IsEqual(const String& other) const;
  bool IsEqualNoCase(const char* text) const;
  bool IsEqualNoCase(const String& other) const;

  // Case-sensitive, as IsEqual.
  bool operator==(const String& other) const { return IsEqual(other); }
  bool operator==(const char* text) const { return IsEqual(text); }

  static constexpr uint32_t kFormatWorkingSize = 2048;

 private:
  bool IsEqual(const char* text, uint32_t length) const;
  bool IsEqualNoCase(const char* text, uint32_t length) const;
  void Release();

  char* mData = nullptr;
  uint32_t mLength = 0;
  uint32_t mMaxLength = 0;
};

}  // namespace AnimCore
