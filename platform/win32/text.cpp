// Code-page conversions: the ANSI code page is Windows-1252.
#include <cstdio>
#include <cstring>

#include "platform/win32/internal.h"
#include "platform/win32/win32.h"

namespace {

// 0x80..0x9F of Windows-1252; the five unassigned bytes map to the C1
// controls of the same value, as Windows maps them.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t FromCp1252(unsigned char c) {
  return c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : static_cast<char16_t>(c);
}

// -1 when the character has no Windows-1252 byte.
int ToCp1252(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == c) return 0x80 + i;
  }
  return -1;
}

bool IsAnsi(UINT cp) { return cp == CP_ACP || cp == CP_WINANSI || cp == CP_OEMCP; }

// Decodes one UTF-8 sequence at s[i..n); returns its length, 0 when the
// bytes there do not start a valid sequence.
size_t DecodeUtf8(const unsigned char* s, size_t n, size_t i, char32_t* out) {
  unsigned char b = s[i];
  if (b < 0x80) {
    *out = b;
    return 1;
  }
  size_t len;
  char32_t c;
  char32_t min;
  if (b >= 0xC2 && b <= 0xDF) {
    len = 2, c = b & 0x1F, min = 0x80;
  } else if (b >= 0xE0 && b <= 0xEF) {
    len = 3, c = b & 0x0F, min = 0x800;
  } else if (b >= 0xF0 && b <= 0xF4) {
    len = 4, c = b & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (n - i < len) return 0;
  for (size_t k = 1; k < len; ++k) {
    if ((s[i + k] & 0xC0) != 0x80) return 0;
    c = (c << 6) | (s[i + k] & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  *out = c;
  return len;
}

size_t EncodeUtf8(char32_t c, char* out) {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (c >> 18));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

// Writes into out[0..capacity) while counting; the count goes on past the
// capacity so the caller learns the size needed.
template <class T>
struct Sink {
  T* out;
  size_t capacity;
  size_t count = 0;
  void Put(T v) {
    if (count < capacity) out[count] = v;
    ++count;
  }
};

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int multiByteLength,
                        LPWSTR wide, int wideLength) {
  if (!multiByte || multiByteLength == 0 || multiByteLength < -1 || wideLength < 0 ||
      (wideLength > 0 && !wide) || (!IsAnsi(codePage) && codePage != CP_UTF8)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (codePage == CP_UTF8 && (flags & ~MB_ERR_INVALID_CHARS) != 0) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  size_t n = multiByteLength == -1 ? std::strlen(multiByte) + 1 : static_cast<size_t>(multiByteLength);
  const auto* s = reinterpret_cast<const unsigned char*>(multiByte);
  // A too small buffer must fail without a partial result the caller could
  // mistake for a whole one, so count first.
  Sink<WCHAR> sink{wide, static_cast<size_t>(wideLength)};
  if (wideLength == 0) sink.capacity = 0;
  for (size_t i = 0; i < n;) {
    if (codePage != CP_UTF8) {
      sink.Put(FromCp1252(s[i++]));
      continue;
    }
    char32_t c;
    size_t len = DecodeUtf8(s, n, i, &c);
    if (len == 0) {
      if (flags & MB_ERR_INVALID_CHARS) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
      }
      sink.Put(0xFFFD);
      ++i;
      continue;
    }
    i += len;
    if (c >= 0x10000) {
      c -= 0x10000;
      sink.Put(static_cast<WCHAR>(0xD800 + (c >> 10)));
      sink.Put(static_cast<WCHAR>(0xDC00 + (c & 0x3FF)));
    } else {
      sink.Put(static_cast<WCHAR>(c));
    }
  }
  if (wideLength != 0 && sink.count > static_cast<size_t>(wideLength)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return static_cast<int>(sink.count);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR multiByte,
                        int multiByteLength, LPCSTR defaultChar, LPBOOL usedDefaultChar) {
  if (!wide || wideLength == 0 || wideLength < -1 || multiByteLength < 0 ||
      (multiByteLength > 0 && !multiByte) || (!IsAnsi(codePage) && codePage != CP_UTF8) ||
      (codePage == CP_UTF8 && (defaultChar || usedDefaultChar))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t n = static_cast<size_t>(wideLength);
  if (wideLength == -1) {
    n = 0;
    while (wide[n] != 0) ++n;
    ++n;
  }
  Sink<char> sink{multiByte, static_cast<size_t>(multiByteLength)};
  bool usedDefault = false;
  for (size_t i = 0; i < n; ++i) {
    char32_t c = wide[i];
    bool lone = false;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      lone = true;
    }
    if (codePage == CP_UTF8) {
      if (lone) {
        if (flags & WC_ERR_INVALID_CHARS) {
          SetLastError(ERROR_NO_UNICODE_TRANSLATION);
          return 0;
        }
        c = 0xFFFD;
      }
      char bytes[4];
      size_t len = EncodeUtf8(c, bytes);
      for (size_t k = 0; k < len; ++k) sink.Put(bytes[k]);
      continue;
    }
    int b = lone ? -1 : ToCp1252(c);
    if (b < 0) {
      usedDefault = true;
      sink.Put(defaultChar ? *defaultChar : '?');
    } else {
      sink.Put(static_cast<char>(b));
    }
  }
  if (usedDefaultChar) *usedDefaultChar = usedDefault ? TRUE : FALSE;
  if (multiByteLength != 0 && sink.count > static_cast<size_t>(multiByteLength)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return static_cast<int>(sink.count);
}

int wvsprintfA(LPSTR buffer, LPCSTR format, va_list args) {
  constexpr int kLimit = 1024;  // the buffer size Windows writes at most
  int n = std::vsnprintf(buffer, kLimit, format, args);
  if (n < 0) {
    buffer[0] = 0;
    return 0;
  }
  return n < kLimit ? n : kLimit - 1;
}

int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
  va_list args;
  va_start(args, format);
  int n = wvsprintfA(buffer, format, args);
  va_end(args);
  return n;
}

namespace platform::detail {

std::string AnsiToUtf8(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size());
  for (char ch : ansi) {
    auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      char bytes[4];
      out.append(bytes, EncodeUtf8(FromCp1252(c), bytes));
    }
  }
  return out;
}

std::string Utf8ToAnsi(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  for (size_t i = 0; i < utf8.size();) {
    char32_t c;
    size_t len = DecodeUtf8(s, utf8.size(), i, &c);
    if (len == 0) {
      out += static_cast<char>(s[i++]);  // not UTF-8: keep the byte as it is
      continue;
    }
    i += len;
    int b = ToCp1252(c);
    out += b < 0 ? '?' : static_cast<char>(b);
  }
  return out;
}

}  // namespace platform::detail
