#pragma once

#include <cstdint>

#include "platform/win32/windows_types.h"

template <class T>
class tArray;

// The engine's string: one owned heap buffer ending in NUL, always allocated
// (the empty string is one byte). Lengths are found by scanning. An
// assignment writes into the buffer it has when the text fits with little
// to spare, and reallocates to the exact size otherwise. Text is
// Windows-1252 unless an operation says UTF-8.
class cTarvelString {
public:
    cTarvelString();
    explicit cTarvelString(int32_t value);   // "%d"
    cTarvelString(const char* text);          // null is taken as ""
    cTarvelString(const char* text, uint32_t length); // the first length bytes
    cTarvelString(const cTarvelString& other);
    ~cTarvelString();

    static cTarvelString FromInt(int32_t value) { return cTarvelString(value); }

    cTarvelString& operator=(const cTarvelString& other);
    cTarvelString& operator=(const char* text);
    cTarvelString& operator+=(const cTarvelString& other);
    cTarvelString& operator+=(const char* text);
    // The first length bytes of text, which may lie inside this string; for
    // callers that know the length already.
    void Assign(const char* text, uint32_t length);

    // The character at index; index == Length() gives the NUL, beyond it 0.
    char CharAt(uint32_t index) const;
    void SetInt(int32_t value);
    int32_t ToInt() const;
    // Significant digits as the Windows runtime's _gcvt prints them ("1." for 1.0).
    void SetFloat(double value, int digits);
    float ToFloat() const;
    uint32_t Length() const;
    const char* c_str() const { return mText; }

    // A new string holding this text converted from Windows-1252 to UTF-8.
    cTarvelString ToUtf8() const;
    // This text read as UTF-8, as a new NUL-terminated wide buffer; the caller
    // frees it with free().
    WCHAR* ToWideFromUtf8() const;

    void swap(cTarvelString& other) noexcept;

private:
    void Append(const char* text, uint32_t length);

    char* mText;
};

cTarvelString operator+(const cTarvelString& a, const cTarvelString& b);
cTarvelString operator+(const char* a, const cTarvelString& b);
cTarvelString operator+(const cTarvelString& a, const char* b);
bool operator==(const cTarvelString& a, const cTarvelString& b);
bool operator==(const cTarvelString& a, const char* b);
inline bool operator!=(const cTarvelString& a, const cTarvelString& b) { return !(a == b); }
inline bool operator!=(const cTarvelString& a, const char* b) { return !(a == b); }

// The wide twin, used for the text that fonts draw; 16-bit characters.
class cTarvelWString {
public:
    cTarvelWString();
    cTarvelWString(const WCHAR* text);        // null is taken as ""
    explicit cTarvelWString(const char* ansi); // from Windows-1252
    cTarvelWString(const cTarvelWString& other);
    ~cTarvelWString();

    cTarvelWString& operator=(const cTarvelWString& other);
    cTarvelWString& operator=(const WCHAR* text);
    cTarvelWString& operator+=(const WCHAR* text);

    uint32_t Length() const;
    const WCHAR* c_str() const { return mText; }
    // A new Windows-1252 buffer of this text; the caller frees it with free().
    char* ToAnsi() const;

private:
    void Assign(const WCHAR* text, uint32_t length);

    WCHAR* mText;
};

cTarvelWString operator+(const cTarvelWString& a, const WCHAR* b);

using tStringArray = tArray<cTarvelString>;

// Splits text at delimiter into out (emptied first). Empty pieces between
// delimiters are dropped, and no empty piece follows a trailing delimiter,
// but an empty text gives one empty piece.
void SplitString(cTarvelString text, tStringArray& out, char delimiter);
