// Test controls of the Win32 layer. A test sets a temporary platform root,
// takes the clock, injects input and reads what the program did to its
// window. Settings that a child process must share (the clock, a failing
// window creation, other layers' settings) are also written to
// "testing.ini" under the platform root, which every process reads when the
// layer first starts or when the root is set.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/windows_types.h"

namespace platform::testing {

// Sets the platform root (and $TARVEL_ROOT, so children inherit it), drops
// every cached registry hive and reads the root's "testing.ini".
void SetPlatformRoot(const std::string& linuxPath);

// ---- Clock ---------------------------------------------------------------
// While taken, timeGetTime and GetTickCount return the test clock, and
// Sleep advances it instead of sleeping. With the setting "clock.idle" (1 to
// 1000 ms), each PeekMessageA that finds nothing advances it that much, so a
// program whose loop polls its queue and never waits (the engine) runs
// through its frames on the test clock.
void TakeClock(uint32_t startMs);
void AdvanceClock(uint32_t ms);
void ReleaseClock();
bool ClockTaken();

// ---- Windows -------------------------------------------------------------
// CreateWindowExA fails (returns null) while set.
void FailCreateWindow(bool fail);

// Input goes to the target window: the capture window, else the active one,
// else the window created last. `due` is a time of timeGetTime: the message
// waits in the queue until then; none means at once.
using Due = std::optional<uint32_t>;
enum class Button { Left, Right, Middle };
void InjectMouseMove(int x, int y, WPARAM keys = 0, Due due = std::nullopt);
// A button event away from the last injected position is preceded by a
// WM_MOUSEMOVE there, as Windows reports the move before the button.
// Down and up.
void InjectClick(Button button, int x, int y, Due due = std::nullopt);
// Down, up, double click, up, as Windows sends them to a CS_DBLCLKS class
// (down, up, down, up for any other class).
void InjectDoubleClick(Button button, int x, int y, Due due = std::nullopt);
void InjectButtonDown(Button button, int x, int y, Due due = std::nullopt);
void InjectButtonUp(Button button, int x, int y, Due due = std::nullopt);
// WM_KEYDOWN (repeat count 1); TranslateMessage may add WM_CHAR.
void InjectKeyDown(WPARAM virtualKey, Due due = std::nullopt);
void InjectKeyUp(WPARAM virtualKey, Due due = std::nullopt);
// Down then up.
void InjectKey(WPARAM virtualKey, Due due = std::nullopt);
void InjectChar(WPARAM character, Due due = std::nullopt);
// Activating or deactivating the application: WM_ACTIVATEAPP and
// WM_ACTIVATE, sent (not posted) when the program next peeks its queue.
void InjectActivate(bool active, Due due = std::nullopt);
// Any message, posted to the target window.
void InjectMessage(UINT message, WPARAM wParam, LPARAM lParam, Due due = std::nullopt);

struct WindowState {
  bool exists = false;
  bool visible = false;
  bool minimised = false;
  bool active = false;
  int lastShowCommand = -1;
  int x = 0, y = 0, width = 0, height = 0;
  DWORD style = 0;
  std::string className;
  std::string title;
};
// The target window of injected input (null when there is none).
HWND TargetWindow();
WindowState GetWindowState(HWND hwnd);
HWND CaptureWindow();
int CursorCounter();
// timeBeginPeriod calls minus timeEndPeriod calls.
int TimerPeriodBalance();
bool QuitPosted();
int QuitCode();
// Messages waiting in the queue (posted and injected, due or not).
size_t PendingMessages();

// Every message a window procedure received, in order.
struct DeliveredMessage {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
std::vector<DeliveredMessage> DeliveredMessages();
void ClearDeliveredMessages();

// ---- Shared settings -----------------------------------------------------
// Key=value pairs kept in "testing.ini" for children and other layers.
// An empty value removes the key.
void SetSetting(std::string_view key, std::string_view value);
std::optional<std::string> GetSetting(std::string_view key);
// The program's file name (of SetProgramPath's path when set).
std::string ProgramName();
// Appends "<program>: <line>" to the file the setting `key` names (the
// layers' reports: "d3d9.report", "fmod.report"); nothing without it.
void AppendReport(std::string_view key, std::string_view line);
// input.<program> names a text file of timed input that the Win32 layer of
// that program injects into its first top-level window, each line due its
// milliseconds after the window was made: "<ms> move <x> <y>",
// "<ms> click left <x> <y>", "<ms> dblclick left <x> <y>", "<ms> key <vk>",
// "<ms> keydown <vk>", "<ms> keyup <vk>", "<ms> char <c>", "<ms> close".

// ---- Registry ------------------------------------------------------------
// While off, a hive is written without waiting for the disk (fuzzing writes
// one per input); the rename still keeps each write whole. On by default.
void SetRegistrySync(bool sync);
// While set, every change to a hive fails in this process as a disk that
// takes no writes would make it fail (ERROR_CANTWRITE); the hive on disk
// stays as it was.
void FailRegistryWrites(bool fail);

// ---- Files -------------------------------------------------------------
// From now on, file writes through the runtime (_write) and WriteFile in
// this process let `bytes` more bytes through in all, then fail as a full
// disk makes them fail (ENOSPC, ERROR_DISK_FULL); the write that crosses
// the limit writes its first part. A negative count lifts the limit.
void FailFileWritesAfter(int64_t bytes);

// ---- Operating-system version (diagnostics additions) ---------------------
// What GetVersionExA reports from now on, in this process and in children.
void SetOsVersion(DWORD major, DWORD minor, DWORD build, DWORD platformId,
                  const std::string& servicePack);
// Back to the platform's own version.
void ClearOsVersion();

// ---- Launcher framework additions -------------------------------------------
// What GetModuleFileNameA(nullptr) answers in this process (a Linux path;
// empty: the real program again).
void SetProgramPath(const std::string& linuxPath);

// What ShellExecuteA opened while shell.record=1, in this process (pid 0
// when nothing was started). A child also appends each as a line
// "verb<TAB>file<TAB>parameters<TAB>folder<TAB>pid" to "shell.log" under
// the platform root.
struct ShellStart {
  std::string verb, file, parameters, directory;
  int pid = 0;
};
std::vector<ShellStart> ShellStarts();
void ClearShellStarts();

// Pictures are 0x00RRGGBB, top row first.
struct Picture {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + x]; }
};
// The composed picture of a top-level window (of a child's top-level window).
Picture WindowPixels(HWND hwnd);
// The shown top-level windows in Z order, with their alpha, over the desktop.
Picture ScreenPixels();
bool SavePng(const Picture& picture, const std::string& linuxPath);
bool LoadPng(const std::string& linuxPath, Picture* picture);

// Back to a fresh process: windows and classes dropped without messages,
// queue, capture, cursor counter, timer periods, clock, settings and
// cached registry hives cleared, registry sync on, registry and file writes working; "testing.ini" removed. The root stays.
void Reset();

}  // namespace platform::testing
