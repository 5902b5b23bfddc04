// Shared between the sources of the Win32 layer; not part of its interface.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32/windows_types.h"

namespace platform::detail {

// The Win32 error code for an errno value.
DWORD ErrorFromErrno(int error);
// Sets the last error from errno and returns FALSE, for the failure paths.
BOOL FailFromErrno();

// File handles carry the descriptor, so they need no table and stay usable
// from an exception filter.
HANDLE HandleFromFd(int fd);
int FdFromHandle(HANDLE handle);  // -1 when it is not a file handle

// The program's own Linux path (/proc/self/exe).
std::string ProgramPath();
std::string ProgramFolder();

// The module handle (base) of the loaded object whose image holds
// `address`, or 0.
uintptr_t ModuleContaining(uintptr_t address);

// Windows-1252 <-> UTF-8 for paths and names.
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);

// Called when the root changes or a test resets.
void DropRegistryCache();
void ResetWindows();
void ResetTime();
// Re-applies the shared settings ("testing.ini") of the current root.
void LoadSettings();

// Case-insensitive ASCII comparison.
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace platform::detail
