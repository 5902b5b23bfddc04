#include "animation/core/stream.h"

#include <cstring>

#include "animation/core/string.h"

namespace AnimCore {

uint32_t Stream::Read(void*, uint32_t) { return 0; }
uint32_t Stream::Write(const void*, uint32_t) { return 0; }

Stream& Stream::operator<<(const char* text) {
  if (text != nullptr) Write(text, static_cast<uint32_t>(std::strlen(text)));
  const char zero = '\0';
  Write(&zero, 1);
  return *this;
}

Stream& Stream::operator<<(const String& text) {
  if (text.GetData() == nullptr) {
    const char zero = '\0';
    Write(&zero, 1);
  } else {
    Write(text.GetData(), text.GetLength() + 1);
  }
  return *this;
}

#define ANIMCORE_STREAM_VALUE(Type)            \
  Stream& Stream::operator<<(Type value) {     \
    Write(&value, sizeof(value));              \
    return *this;                              \
  }                                            \
  Stream& Stream::operator>>(Type& value) {    \
    Read(&value, sizeof(value));               \
    return *this;                              \
  }

ANIMCORE_STREAM_VALUE(uint64_t)
ANIMCORE_STREAM_VALUE(uint32_t)
ANIMCORE_STREAM_VALUE(int32_t)
ANIMCORE_STREAM_VALUE(float)
ANIMCORE_STREAM_VALUE(uint16_t)
ANIMCORE_STREAM_VALUE(int16_t)
ANIMCORE_STREAM_VALUE(char)
ANIMCORE_STREAM_VALUE(uint8_t)
ANIMCORE_STREAM_VALUE(int8_t)

#undef ANIMCORE_STREAM_VALUE

Stream& Stream::operator>>(String& text) {
  char c = '\0';
  while (Read(&c, 1) == 1 && c != '\0') text.Append(&c, 1);
  return *this;
}

}  // namespace AnimCore
