// Shared between the sources of the Win32 layer; not part of its interface.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
std::string& ProgramPathOverride();  // set by testing::SetProgramPath
std::string ProgramFolder();

// The module handle (base) of the loaded object whose image holds
// `address`, or 0.
uintptr_t ModuleContaining(uintptr_t address);

// Windows-1252 <-> UTF-8 for paths and names.
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);

// Bytes of a write of `want` that the test's write limit lets through
// (all of them while no limit is set); the rest of the write fails.
size_t WriteAllowance(size_t want);
void ResetWriteLimit();

// Called when the root changes or a test resets.
void DropRegistryCache();
void ResetWindows();
void ResetTime();
// Under the test clock, a look into an empty queue lets "clock.idle"
// milliseconds pass (none without the setting): a program that polls its
// queue between frames then lives through its frames without waiting.
void IdleOnTestClock();
// Re-applies the shared settings ("testing.ini") of the current root.
void LoadSettings();

// Where a window draws: its top-level window's picture, the window's client
// origin in it and the part of it the window may draw on.
struct WindowSurfaceInfo {
  uint32_t* bits = nullptr;
  int width = 0, height = 0;
  POINT origin{0, 0};
  RECT clip{0, 0, 0, 0};
};
bool WindowSurface(HWND hwnd, WindowSurfaceInfo* out);
void Validate(HWND hwnd);
// Whether the window still waits for its background to be erased (cleared).
bool TakeErase(HWND hwnd);

struct TopLevelPictureInfo {
  int x = 0, y = 0, width = 0, height = 0;
  bool visible = false;
  BYTE alpha = 255;
  const uint32_t* pixels = nullptr;
  HRGN region = nullptr;  // window coordinates; null: the whole window
};
std::vector<HWND> TopLevelWindowsBottomUp();
bool TopLevelPicture(HWND hwnd, TopLevelPictureInfo* out);
// The desktop: the real display's when a presenter shows the windows, else
// the adapter profile's desktop size.
void DesktopSize(int* width, int* height);
// The real display's desktop and work area; false headless.
bool DisplayDesktop(RECT* screen, RECT* work);

// Case-insensitive ASCII comparison.
bool EqualsNoCase(std::string_view a, std::string_view b);

// Regions (regions.cpp): a point of a region; a row's spans.
bool RegionContains(HRGN rgn, int x, int y);
int RegionRowSpans(HRGN rgn, int y, const std::pair<int, int>** spans);
void ResetClipboard();
// The whole top-level picture of a window's top-level window, frame
// included (GetWindowDC).
bool WindowFrameSurface(HWND hwnd, WindowSurfaceInfo* out);

// A presented frame becomes its top-level window's composed picture.
void KeepPresentedFrame(HWND hwnd, const uint8_t* pixels, int width, int height, int pitch);

}  // namespace platform::detail
