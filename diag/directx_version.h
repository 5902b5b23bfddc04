// The installed DirectX version, from the DxDiag provider or, failing that,
// from the file versions of system libraries.
#pragma once

#include <cstdint>

#include "platform/win32/windows_types.h"

// Packed: (((major << 8) + minor) << 8) + letter index (a = 1 .. z = 26, 0
// for none), so 9.0c is 0x00090003. `text` (10 characters) gets "9.0c" or
// "9.0". Either pointer may be null. 0, or E_FAIL when both ways fail.
HRESULT DetectDirectXVersion(DWORD* packed, char* text);
// Each output may be null. 0 only when all three properties were read.
HRESULT ReadDirectXVersionFromProvider(DWORD* major, DWORD* minor, char* letter);
// Always 0; 0.0 with a blank letter when nothing matches.
HRESULT ReadDirectXVersionFromFiles(DWORD* major, DWORD* minor, char* letter);
// (dwFileVersionMS << 32) | dwFileVersionLS. E_INVALIDARG for a null
// argument, E_FAIL without a readable version, E_OUTOFMEMORY.
HRESULT ReadFileVersion(const char* path, uint64_t* version);
