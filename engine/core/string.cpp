#include "engine/core/string.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <malloc.h>

#include "engine/core/array.h"
#include "platform/win32/crt.h"
#include "platform/win32/win32.h"

namespace {

// The reporter itself builds strings, so running out of memory here ends
// the process directly.
[[noreturn]] void OutOfMemory()
{
    std::fputs("ERROR:\nOut of memory in the engine string.\n", stdout);
    std::fflush(stdout);
    std::_Exit(1);
}

template <class C>
C* Allocate(size_t count)
{
    void* block = std::malloc(count * sizeof(C));
    if (!block)
        OutOfMemory();
    return static_cast<C*>(block);
}

uint32_t WideLength(const WCHAR* text)
{
    uint32_t n = 0;
    while (text[n] != 0)
        ++n;
    return n;
}

} // namespace

cTarvelString::cTarvelString() : mText(Allocate<char>(1))
{
    mText[0] = '\0';
}

cTarvelString::cTarvelString(int32_t value) : mText(Allocate<char>(66))
{
    std::snprintf(mText, 66, "%d", value);
}

cTarvelString::cTarvelString(const char* text)
{
    if (!text)
        text = "";
    size_t n = std::strlen(text);
    mText = Allocate<char>(n + 1);
    std::memcpy(mText, text, n + 1);
}

cTarvelString::cTarvelString(const char* text, uint32_t length) : mText(Allocate<char>(size_t(length) + 1))
{
    std::memcpy(mText, text, length);
    mText[length] = '\0';
}

cTarvelString::cTarvelString(const cTarvelString& other) : cTarvelString(other.mText) {}

cTarvelString::~cTarvelString()
{
    std::free(mText);
}

void cTarvelString::swap(cTarvelString& other) noexcept
{
    char* t = mText;
    mText = other.mText;
    other.mText = t;
}

// Builds the new buffer before the old one goes, so the source may lie
// inside this string. Short texts assigned over and over (numbers, names)
// reuse the buffer; a far larger one is given back rather than kept.
void cTarvelString::Assign(const char* text, uint32_t length)
{
    constexpr size_t kSlack = 64;
    size_t room = malloc_usable_size(mText);
    if (length < room && room - length <= kSlack) {
        // A source inside the buffer starts at or after it, so a forward
        // copy is safe; short texts skip the library call.
        if (length <= 32) {
            for (uint32_t i = 0; i < length; ++i)
                mText[i] = text[i];
        } else {
            std::memmove(mText, text, length);
        }
        mText[length] = '\0';
        return;
    }
    char* block = Allocate<char>(size_t(length) + 1);
    std::memcpy(block, text, length);
    block[length] = '\0';
    std::free(mText);
    mText = block;
}

void cTarvelString::Append(const char* text, uint32_t length)
{
    size_t own = std::strlen(mText);
    char* block = Allocate<char>(own + length + 1);
    std::memcpy(block, mText, own);
    std::memcpy(block + own, text, length);
    block[own + length] = '\0';
    std::free(mText);
    mText = block;
}

cTarvelString& cTarvelString::operator=(const cTarvelString& other)
{
    if (this != &other)
        Assign(other.mText, other.Length());
    return *this;
}

cTarvelString& cTarvelString::operator=(const char* text)
{
    if (!text)
        text = "";
    Assign(text, static_cast<uint32_t>(std::strlen(text)));
    return *this;
}

cTarvelString& cTarvelString::operator+=(const cTarvelString& other)
{
    Append(other.mText, other.Length());
    return *this;
}

cTarvelString& cTarvelString::operator+=(const char* text)
{
    if (text)
        Append(text, static_cast<uint32_t>(std::strlen(text)));
    return *this;
}

char cTarvelString::CharAt(uint32_t index) const
{
    return index <= Length() ? mText[index] : '\0';
}

void cTarvelString::SetInt(int32_t value)
{
    char text[34];
    int n = std::snprintf(text, sizeof text, "%d", value);
    Assign(text, uint32_t(n));
}

int32_t cTarvelString::ToInt() const
{
    // atoi's digits, held within 32 bits instead of overflowing.
    long long value = std::strtoll(mText, nullptr, 10);
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

void cTarvelString::SetFloat(double value, int digits)
{
    // 66 bytes hold any double the runtime prints with up to 17 digits.
    if (digits < 1)
        digits = 1;
    if (digits > 17)
        digits = 17;
    char text[66];
    crt::_gcvt(value, digits, text);
    Assign(text, uint32_t(std::strlen(text)));
}

float cTarvelString::ToFloat() const
{
    // Beyond the range of float: an infinity rather than an undefined
    // conversion.
    double value = std::atof(mText);
    if (value > FLT_MAX)
        return HUGE_VALF;
    if (value < -FLT_MAX)
        return -HUGE_VALF;
    return static_cast<float>(value);
}

uint32_t cTarvelString::Length() const
{
    return static_cast<uint32_t>(std::strlen(mText));
}

cTarvelString cTarvelString::ToUtf8() const
{
    int wideCount = MultiByteToWideChar(CP_ACP, 0, mText, -1, nullptr, 0);
    if (wideCount <= 0)
        return cTarvelString();
    WCHAR* wide = Allocate<WCHAR>(size_t(wideCount));
    MultiByteToWideChar(CP_ACP, 0, mText, -1, wide, wideCount);
    int byteCount = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    cTarvelString result;
    if (byteCount > 0) {
        char* bytes = Allocate<char>(size_t(byteCount));
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, bytes, byteCount, nullptr, nullptr);
        bytes[byteCount - 1] = '\0';
        std::free(result.mText);
        result.mText = bytes;
    }
    std::free(wide);
    return result;
}

WCHAR* cTarvelString::ToWideFromUtf8() const
{
    int wideCount = MultiByteToWideChar(CP_UTF8, 0, mText, -1, nullptr, 0);
    if (wideCount <= 0) {
        WCHAR* empty = Allocate<WCHAR>(1);
        empty[0] = 0;
        return empty;
    }
    WCHAR* wide = Allocate<WCHAR>(size_t(wideCount));
    MultiByteToWideChar(CP_UTF8, 0, mText, -1, wide, wideCount);
    wide[wideCount - 1] = 0;
    return wide;
}

cTarvelString operator+(const cTarvelString& a, const cTarvelString& b)
{
    cTarvelString result(a);
    result += b;
    return result;
}

cTarvelString operator+(const char* a, const cTarvelString& b)
{
    cTarvelString result(a);
    result += b;
    return result;
}

cTarvelString operator+(const cTarvelString& a, const char* b)
{
    cTarvelString result(a);
    result += b;
    return result;
}

bool operator==(const cTarvelString& a, const cTarvelString& b)
{
    return std::strcmp(a.c_str(), b.c_str()) == 0;
}

bool operator==(const cTarvelString& a, const char* b)
{
    return std::strcmp(a.c_str(), b ? b : "") == 0;
}

// ---------------------------------------------------------------------------

cTarvelWString::cTarvelWString() : mText(Allocate<WCHAR>(1))
{
    mText[0] = 0;
}

cTarvelWString::cTarvelWString(const WCHAR* text) : mText(nullptr)
{
    static const WCHAR kEmpty[1] = {0};
    if (!text)
        text = kEmpty;
    Assign(text, WideLength(text));
}

cTarvelWString::cTarvelWString(const char* ansi) : mText(nullptr)
{
    if (!ansi)
        ansi = "";
    int wideCount = MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
    if (wideCount <= 0)
        wideCount = 1;
    mText = Allocate<WCHAR>(size_t(wideCount));
    mText[0] = 0;
    MultiByteToWideChar(CP_ACP, 0, ansi, -1, mText, wideCount);
    mText[wideCount - 1] = 0;
}

cTarvelWString::cTarvelWString(const cTarvelWString& other) : mText(nullptr)
{
    Assign(other.mText, other.Length());
}

cTarvelWString::~cTarvelWString()
{
    std::free(mText);
}

void cTarvelWString::Assign(const WCHAR* text, uint32_t length)
{
    WCHAR* block = Allocate<WCHAR>(size_t(length) + 1);
    std::memcpy(block, text, size_t(length) * sizeof(WCHAR));
    block[length] = 0;
    std::free(mText);
    mText = block;
}

cTarvelWString& cTarvelWString::operator=(const cTarvelWString& other)
{
    if (this != &other)
        Assign(other.mText, other.Length());
    return *this;
}

cTarvelWString& cTarvelWString::operator=(const WCHAR* text)
{
    static const WCHAR kEmpty[1] = {0};
    if (!text)
        text = kEmpty;
    Assign(text, WideLength(text));
    return *this;
}

cTarvelWString& cTarvelWString::operator+=(const WCHAR* text)
{
    if (!text)
        return *this;
    uint32_t own = Length();
    uint32_t add = WideLength(text);
    WCHAR* block = Allocate<WCHAR>(size_t(own) + add + 1);
    std::memcpy(block, mText, size_t(own) * sizeof(WCHAR));
    std::memcpy(block + own, text, size_t(add) * sizeof(WCHAR));
    block[own + add] = 0;
    std::free(mText);
    mText = block;
    return *this;
}

uint32_t cTarvelWString::Length() const
{
    return WideLength(mText);
}

char* cTarvelWString::ToAnsi() const
{
    int byteCount = WideCharToMultiByte(CP_ACP, 0, mText, -1, nullptr, 0, nullptr, nullptr);
    if (byteCount <= 0)
        byteCount = 1;
    char* bytes = Allocate<char>(size_t(byteCount));
    bytes[0] = '\0';
    WideCharToMultiByte(CP_ACP, 0, mText, -1, bytes, byteCount, nullptr, nullptr);
    bytes[byteCount - 1] = '\0';
    return bytes;
}

cTarvelWString operator+(const cTarvelWString& a, const WCHAR* b)
{
    cTarvelWString result(a);
    result += b;
    return result;
}

// ---------------------------------------------------------------------------

void SplitString(cTarvelString text, tStringArray& out, char delimiter)
{
    out.Clear();
    const char* p = text.c_str();
    for (;;) {
        const char* end = p;
        while (*end != '\0' && *end != delimiter)
            ++end;
        if (*end == '\0') {
            out.Add(cTarvelString(p, static_cast<uint32_t>(end - p)));
            return;
        }
        if (end != p)
            out.Add(cTarvelString(p, static_cast<uint32_t>(end - p)));
        p = end + 1;
        if (*p == '\0')
            return;
    }
}
