#pragma once

#include <cstdint>

namespace AnimCore {

class String;

// Abstract byte stream. The value operators move a value's bytes in memory order
// (little-endian here), ignore the transfer count and return the stream for chaining;
// byte order conversion is the reader's business.
class Stream {
 public:
  Stream() = default;
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;
  virtual ~Stream() = default;

  // Bytes actually transferred. The base transfers nothing.
  virtual uint32_t Read(void* destination, uint32_t numBytes);
  virtual uint32_t Write(const void* source, uint32_t numBytes);

  // Writes the characters and the terminator.
  virtual Stream& operator<<(const char* text);
  // Characters and terminator; a string without a buffer writes one zero byte.
  virtual Stream& operator<<(const String& text);
  virtual Stream& operator<<(uint64_t value);
  virtual Stream& operator<<(uint32_t value);
  virtual Stream& operator<<(int32_t value);
  virtual Stream& operator<<(float value);
  virtual Stream& operator<<(uint16_t value);
  virtual Stream& operator<<(int16_t value);
  virtual Stream& operator<<(char value);
  virtual Stream& operator<<(uint8_t value);
  virtual Stream& operator<<(int8_t value);

  // Appends bytes up to a zero byte or the end of the stream; the zero byte is not
  // appended and the string is not cleared first.
  virtual Stream& operator>>(String& text);
  virtual Stream& operator>>(uint64_t& value);
  virtual Stream& operator>>(uint32_t& value);
  virtual Stream& operator>>(int32_t& value);
  virtual Stream& operator>>(float& value);
  virtual Stream& operator>>(uint16_t& value);
  virtual Stream& operator>>(int16_t& value);
  virtual Stream& operator>>(char& value);
  virtual Stream& operator>>(uint8_t& value);
  virtual Stream& operator>>(int8_t& value);
};

}  // namespace AnimCore
