// The Windows API as the engine, the launcher and the diagnostics library
// call it, on Linux. Headless: windows are objects in memory, the registry
// lives in text files under the platform root, Windows paths are mapped by
// platform/win32/path.h. Every function keeps the Windows name, arguments,
// results and last-error codes its callers rely on.
#pragma once

#include <cstdarg>

#include "platform/win32/windows_types.h"

// ---- Errors ------------------------------------------------------------------
// Per thread, as on Windows.
DWORD GetLastError();
void SetLastError(DWORD error);

// ---- Windows and messages (window.cpp) -----------------------------------
// Windows are owned by the thread that made them; the window procedure runs
// synchronously on the caller's thread. CreateWindowExA sends WM_NCCREATE
// and WM_CREATE (FALSE or -1 from either fails the creation), then WM_SIZE
// and WM_MOVE; a WS_VISIBLE window then gets WM_SHOWWINDOW and becomes the
// active window (WM_ACTIVATEAPP TRUE, WM_ACTIVATE WA_ACTIVE, WM_SETFOCUS).
ATOM RegisterClassA(const WNDCLASSA* wndClass);
BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance);
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param);
BOOL ShowWindow(HWND hwnd, int cmdShow);
BOOL UpdateWindow(HWND hwnd);
BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint);
// Sends WM_DESTROY then WM_NCDESTROY synchronously; the handle is invalid
// afterwards. Releases the capture and activation the window held.
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
BOOL IsWindowVisible(HWND hwnd);
BOOL IsIconic(HWND hwnd);
BOOL GetClientRect(HWND hwnd, LPRECT rect);
BOOL GetWindowRect(HWND hwnd, LPRECT rect);
HWND GetActiveWindow();
// Activates a shown top-level window (and brings it to the top); returns
// the window that was active.
HWND SetActiveWindow(HWND hwnd);
HWND GetForegroundWindow();
HWND SetFocus(HWND hwnd);
HWND GetFocus();
HWND SetCapture(HWND hwnd);
BOOL ReleaseCapture();
HWND GetCapture();
// The display counter: the cursor shows while it is >= 0. Returns the new count.
int ShowCursor(BOOL show);
HCURSOR SetCursor(HCURSOR cursor);
HCURSOR GetCursor();
BOOL GetCursorPos(LPPOINT point);
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
HGDIOBJ GetStockObject(int object);

// The thread's queue. Messages come out in the order they were posted;
// injected input waits for its due time; WM_QUIT (PostQuitMessage) comes
// only when nothing else is waiting. Sent messages that a test injects
// (activation) are delivered to the window procedure inside PeekMessageA,
// as messages sent from another thread are on Windows.
BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg);
// WM_KEYDOWN of a key that types a character posts WM_CHAR: A-Z give the
// lower-case letter (no shift state is kept), 0-9 the digit, and Space,
// Return, Backspace, Tab and Escape their control characters.
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
// WM_CLOSE destroys the window; everything else returns 0.
LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// ---- Registry (registry.cpp) --------------------------------------------
// HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE are kept in
// "registry/HKEY_CURRENT_USER.reg" and "registry/HKEY_LOCAL_MACHINE.reg"
// under the platform root, re-read when the file changed and rewritten
// atomically on every change. Key and value names are case-insensitive.
LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result);
LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
LONG RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result);
LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                     REGSAM access, const SECURITY_ATTRIBUTES* security, PHKEY result,
                     LPDWORD disposition);
// A value longer than *dataSize gives ERROR_MORE_DATA, leaves the buffer
// untouched and sets *dataSize to the length needed. A null data pointer
// only asks for the type and length.
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize);
LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize);
LONG RegDeleteValueA(HKEY key, LPCSTR valueName);
// Deletes a key without subkeys.
LONG RegDeleteKeyA(HKEY key, LPCSTR subKey);
LONG RegCloseKey(HKEY key);

// ---- Folders and files (files.cpp) -------------------------------------
// CSIDL_PERSONAL is "C:\Users\Player\Documents"; with CSIDL_FLAG_CREATE the
// folder is created. S_FALSE when it does not exist and was not created.
HRESULT SHGetFolderPathA(HWND hwnd, int csidl, HANDLE token, DWORD flags, LPSTR path);
BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security);
BOOL RemoveDirectoryA(LPCSTR path);
DWORD GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer);
BOOL SetCurrentDirectoryA(LPCSTR path);
DWORD GetFileAttributesA(LPCSTR path);
BOOL PathFileExistsA(LPCSTR path);
// Sharing modes are accepted but not enforced; asynchronous access is not
// supported (pass no OVERLAPPED).
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod);
BOOL FlushFileBuffers(HANDLE file);
BOOL CloseHandle(HANDLE handle);
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
// Linux keeps no creation time: it is the last-write time.
BOOL GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME lastAccess, LPFILETIME lastWrite);
// Uses the current time-zone bias, as Windows does.
BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, LPFILETIME localFileTime);
BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime);
// FALSE with ERROR_INVALID_PARAMETER for a field out of range (year 1601 to
// 30827); the day of the week is not read.
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, LPFILETIME fileTime);
BOOL FileTimeToDosDateTime(const FILETIME* fileTime, LPWORD dosDate, LPWORD dosTime);
BOOL DeleteFileA(LPCSTR path);
// Never over an existing file (ERROR_ALREADY_EXISTS).
BOOL MoveFileA(LPCSTR existing, LPCSTR target);
constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
constexpr DWORD MOVEFILE_COPY_ALLOWED = 0x2;
constexpr DWORD MOVEFILE_WRITE_THROUGH = 0x8;
// With MOVEFILE_REPLACE_EXISTING an existing file (not a folder) is replaced
// in one step: a reader sees the old file or the new one, never neither.
// MOVEFILE_WRITE_THROUGH returns once the move is on the disk.
BOOL MoveFileExA(LPCSTR existing, LPCSTR target, DWORD flags);

// ---- Time (time.cpp) ----------------------------------------------------
// Milliseconds since boot, wrapping at 2^32; the test clock when one is taken.
DWORD timeGetTime();
DWORD GetTickCount();
MMRESULT timeGetDevCaps(LPTIMECAPS caps, UINT size);
MMRESULT timeBeginPeriod(UINT period);
MMRESULT timeEndPeriod(UINT period);
// With the test clock taken, advances it instead of sleeping.
void Sleep(DWORD milliseconds);
void GetLocalTime(LPSYSTEMTIME time);
void GetSystemTime(LPSYSTEMTIME time);
void GetSystemTimeAsFileTime(LPFILETIME time);

// ---- Modules (modules.cpp) ----------------------------------------------
// A module handle is the lowest address the module is mapped at, as on
// Windows, so VirtualQuery's AllocationBase names it. LoadLibraryA("x.dll")
// loads "libx.so" from the program's folder, then the working folder, then
// the dynamic loader's default search. "User32.dll" is the Win32 layer's
// own module, which holds the window functions.
HMODULE LoadLibraryA(LPCSTR fileName);
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
BOOL FreeLibrary(HMODULE module);
// Null: the program. "x.dll" finds a loaded "libx.so" (or "x").
HMODULE GetModuleHandleA(LPCSTR moduleName);
// The module's path as a Windows path ("Z:\..."). Truncates to size - 1
// characters plus NUL and fails with ERROR_INSUFFICIENT_BUFFER when short.
DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);
// Every object the dynamic loader has mapped, the program first.
BOOL EnumProcessModules(HANDLE process, HMODULE* modules, DWORD size, LPDWORD needed);
BOOL GetModuleInformation(HANDLE process, HMODULE module, LPMODULEINFO info, DWORD size);

// ---- System (system.cpp) ------------------------------------------------
// From LC_ALL, LC_MESSAGES or LANG: de_DE gives 0x0407, en_US and C 0x0409.
LCID GetSystemDefaultLCID();
LCID GetUserDefaultLCID();
LANGID GetSystemDefaultLangID();
void GetSystemInfo(LPSYSTEM_INFO info);
void GlobalMemoryStatus(LPMEMORYSTATUS status);
// From /proc/self/maps. AllocationBase is the module handle for addresses
// inside a loaded module, the mapping's start otherwise; an unmapped address
// gives a MEM_FREE region up to the next mapping.
SIZE_T VirtualQuery(LPCVOID address, PMEMORY_BASIC_INFORMATION buffer, SIZE_T length);
// The pseudo-handle (HANDLE)-1.
HANDLE GetCurrentProcess();
DWORD GetCurrentProcessId();
DWORD GetCurrentThreadId();
// Only the current process. Unreadable memory fails with ERROR_PARTIAL_COPY
// (or ERROR_NOACCESS when nothing was read) instead of faulting; safe to
// call from an exception filter.
BOOL ReadProcessMemory(HANDLE process, LPCVOID baseAddress, LPVOID buffer, SIZE_T size,
                       SIZE_T* bytesRead);
// The calling thread's stack: low is the lowest usable address, high the base.
void GetCurrentThreadStackLimits(PULONG_PTR lowLimit, PULONG_PTR highLimit);
// Counted per thread: S_OK the first time, S_FALSE when already initialised.
HRESULT CoInitialize(LPVOID reserved);
void CoUninitialize();
// To standard error.
void OutputDebugStringA(LPCSTR text);

// ---- Text (text.cpp) -----------------------------------------------------
// CP_ACP is Windows-1252; CP_UTF8 (65001) is UTF-8 (surrogate pairs beyond
// the BMP). A source length of -1 includes the NUL. A zero output size
// returns the size needed; a too small buffer fails with
// ERROR_INSUFFICIENT_BUFFER. Characters Windows-1252 lacks become the
// default character ('?').
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int multiByteLength,
                        LPWSTR wide, int wideLength);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR multiByte,
                        int multiByteLength, LPCSTR defaultChar, LPBOOL usedDefaultChar);

// As Windows formats them: at most 1024 characters are written (plus NUL);
// the result is the number written. No floating-point conversions are used
// by callers.
int wsprintfA(LPSTR buffer, LPCSTR format, ...) __attribute__((format(printf, 2, 3)));
int wvsprintfA(LPSTR buffer, LPCSTR format, va_list args);

// ==== Diagnostics additions =================================================
// What the diagnostics library's report and DirectX detection need.

// ---- Version and system folder (version.cpp) ---------------------------------
// The version the platform reports: 5.1.2600, NT platform, "Service Pack 3",
// unless a test set another (testing.h). Needs dwOSVersionInfoSize 148.
BOOL GetVersionExA(LPOSVERSIONINFOA info);
// "C:\Windows\system32", the folder "drives/c/Windows/system32" under the
// platform root. Returns the length, or the size needed (with the NUL) when
// the buffer is too small.
UINT GetSystemDirectoryA(LPSTR buffer, UINT size);

// ---- File version resources (version.cpp) --------------------------------
// Read from the version resource (RT_VERSION) of a Windows executable (PE32
// or PE32+). 0 when the file has none, with the last error set.
DWORD GetFileVersionInfoSizeA(LPCSTR fileName, LPDWORD handle);
// Copies the resource (at most `size` bytes) into `data`.
BOOL GetFileVersionInfoA(LPCSTR fileName, DWORD handle, DWORD size, LPVOID data);
// Only the root block "\" is served: *buffer points at the VS_FIXEDFILEINFO
// inside `block`, *length is its size. Other blocks fail.
BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT length);

// ---- File search (find.cpp) ----------------------------------------------------
// "folder\pattern" with '*' and '?' ("*.*" matches every name), compared
// without case. "." and ".." come first, then the names ignoring case, as
// NTFS lists them. Linux keeps no creation time: it is the last-write time.
// A symbolic link is reported with FILE_ATTRIBUTE_REPARSE_POINT (and
// FILE_ATTRIBUTE_DIRECTORY when it names a folder), as Windows reports one.
// INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND.
HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData);
// FALSE with ERROR_NO_MORE_FILES at the end.
BOOL FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findData);
BOOL FindClose(HANDLE findFile);

// ---- Registry enumeration (registry.cpp) -------------------------------------
// Values in the order they were written, subkeys in order ignoring case.
// Sizes are in characters for names (the NUL counted on input, not on
// output) and in bytes for data. A name that does not fit gives
// ERROR_MORE_DATA; so does data that does not fit, with *dataSize set to the
// size needed. ERROR_NO_MORE_ITEMS past the last one.
LONG RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameSize, LPDWORD reserved,
                   LPDWORD type, LPBYTE data, LPDWORD dataSize);
LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved, LPSTR keyClass,
                   LPDWORD classSize, LPFILETIME lastWriteTime);

// ==== Launcher framework additions =========================================
// What the launcher's window and control framework needs.

// ---- Child windows (window.cpp) ---------------------------------------------
// A WS_CHILD window lives in its parent's client area, at a position in the
// parent's client coordinates; no window has a non-client area, so client
// and window rectangles have the same size. Children are in Z order, the
// first created on top (GetWindow GW_CHILD, then GW_HWNDNEXT); a new
// top-level window goes on top of the others. Destroying a window destroys
// its children between its WM_DESTROY and its WM_NCDESTROY.
HWND GetParent(HWND hwnd);
HWND GetWindow(HWND hwnd, UINT cmd);
// The deepest shown, enabled window under a screen point.
HWND WindowFromPoint(POINT point);
// The direct child under a point in the parent's client coordinates (hidden
// and disabled ones included), the parent when none, null outside it.
HWND ChildWindowFromPoint(HWND parent, POINT point);
BOOL ClientToScreen(HWND hwnd, LPPOINT point);
BOOL ScreenToClient(HWND hwnd, LPPOINT point);
// GWLP_WNDPROC, GWL_STYLE, GWL_EXSTYLE, GWLP_USERDATA, GWLP_ID.
LONG_PTR GetWindowLongPtrA(HWND hwnd, int index);
LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value);
LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// A window always repaints whole: the rectangle is not kept. A parent's
// paint covers its children, so they are invalidated with it. An invalid
// shown window gets WM_ERASEBKGND (when erasing was asked for) and then
// WM_PAINT, from UpdateWindow at once or from PeekMessageA when nothing
// else waits (parents before children).
BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase);
BOOL ValidateRect(HWND hwnd, const RECT* rect);
// HWND_TOP, HWND_BOTTOM or a sibling; SWP_NOMOVE, SWP_NOSIZE, SWP_NOZORDER,
// SWP_NOREDRAW, SWP_FRAMECHANGED (repaints), SWP_SHOWWINDOW, SWP_HIDEWINDOW.
BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
// Returns whether the window was disabled before. Disabling takes the focus
// and the capture from the window and its children.
BOOL EnableWindow(HWND hwnd, BOOL enable);
BOOL IsWindowEnabled(HWND hwnd);
BOOL SetWindowTextA(HWND hwnd, LPCSTR text);
int GetWindowTextA(HWND hwnd, LPSTR text, int maxCount);
// A WS_EX_LAYERED window is composed onto the screen with this alpha.
BOOL SetLayeredWindowAttributes(HWND hwnd, COLORREF key, BYTE alpha, DWORD flags);

// ---- Timers and key state (window.cpp) ------------------------------------------
// WM_TIMER is made when the queue is asked and nothing else waits; the next
// tick is counted from the one taken (missed ticks do not pile up). An
// elapse below USER_TIMER_MINIMUM is raised to it. With a null window the
// timer's identifier is made here. A timer procedure is called by
// DispatchMessageA.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc);
BOOL KillTimer(HWND hwnd, UINT_PTR id);
// The key state as of the last message taken from the queue: the high bit
// while down, the low bit toggled by each press. An injected Alt makes the
// keys pressed with it WM_SYSKEYDOWN and WM_SYSKEYUP (not with Ctrl).
SHORT GetKeyState(int virtualKey);
// The cursor's screen position when the last message was taken from the
// queue (x in the low word, y in the high word, signed).
DWORD GetMessagePos();
// Returns when a message, a paint or a timer is due. With the test clock
// taken, advances the clock to the next due time instead of waiting; with
// nothing that could ever come due it ends the process with a message,
// which fails the test instead of hanging it.
BOOL WaitMessage();

// ---- Screen (screen.cpp) -------------------------------------------------------
// The headless screen is the adapter profile's desktop (1024 x 768 unless a
// test set another) and the work area all of it.
int GetSystemMetrics(int index);
// SPI_GETWORKAREA only.
BOOL SystemParametersInfoA(UINT action, UINT uiParam, PVOID pvParam, UINT winIni);
// "C:\Windows", the folder "drives/c/Windows" under the platform root.
// Returns the length, or the size needed (with the NUL) when too small.
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);

// ==== Themed form additions =========================================// ---- Window frames (window.cpp, dc.cpp) -------------------------------------------
// A top-level window asks its procedure for its client rectangle with
// WM_NCCALCSIZE: without the valid-rectangles request (wParam FALSE, lParam a
// RECT in screen coordinates) when it is made, with it (wParam TRUE, lParam
// NCCALCSIZE_PARAMS) when it is sized and on SWP_FRAMECHANGED. The answer is
// kept inside the window rectangle; DefWindowProcA leaves the whole window as
// client. The rest is the non-client frame: WM_NCPAINT (wParam 1) comes
// before the erase and paint of a window that was shown, sized or had its
// frame changed, and GetWindowDC draws on the whole window, frame included.
// Child windows have no frame.
HDC GetWindowDC(HWND hwnd);
// DefWindowProcA answers WM_NCHITTEST (screen point in lParam) with
// HTCLIENT in the client area, HTBORDER on the frame, HTNOWHERE outside.

// ---- Regions (regions.cpp) ------------------------------------------------------------
// Right and bottom edges are outside, as with rectangles everywhere.
HRGN CreateRectRgn(int left, int top, int right, int bottom);
HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int width, int height);
// The union of the rectangles after the header (no transform is
// supported: pass null). `count` is the size of the whole block in bytes;
// a block too small for its rectangles fails.
HRGN ExtCreateRegion(const void* transform, DWORD count, const RGNDATA* data);
// NULLREGION, SIMPLEREGION (one rectangle), COMPLEXREGION, or RGN_ERROR.
int CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode);
int GetRgnBox(HRGN rgn, LPRECT rect);
BOOL PtInRegion(HRGN rgn, int x, int y);
// Regions only.
BOOL DeleteObject(HGDIOBJ object);
// The window's region (window coordinates) cuts its picture on the screen
// and its hit testing; the window owns it from then on and frees the one
// before. Null gives the whole window back.
int SetWindowRgn(HWND hwnd, HRGN rgn, BOOL redraw);
// Copies the window's region into `rgn`: RGN_ERROR when it has none.
int GetWindowRgn(HWND hwnd, HRGN rgn);

// ---- Clipboard and memory blocks (clipboard.cpp) ---------------------------------------
// Held in the process. The clipboard owns data handed to it.
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
LPVOID GlobalLock(HGLOBAL h);
BOOL GlobalUnlock(HGLOBAL h);
SIZE_T GlobalSize(HGLOBAL h);
HGLOBAL GlobalFree(HGLOBAL h);
BOOL OpenClipboard(HWND owner);
BOOL CloseClipboard();
BOOL EmptyClipboard();
HANDLE SetClipboardData(UINT format, HANDLE data);
HANDLE GetClipboardData(UINT format);
BOOL IsClipboardFormatAvailable(UINT format);
// The classic scheme's colours (COLORREF).
DWORD GetSysColor(int index);
// ---- Combo boxes (combobox.cpp) -------------------------------------------------
// Asks the combo box itself (CB_GETCOMBOBOXINFO); FALSE for a window that
// is no combo box or a cbSize other than the structure's. An export, so it
// can be found by name in "User32.dll".
extern "C" BOOL GetComboBoxInfo(HWND hwndCombo, PCOMBOBOXINFO info);

// ==== Launcher additions =====================================================

// ---- Shell (shell.cpp) -------------------------------------------------------
// Verb "open" (or none). A program ("game.exe" finds "game" when there is no
// "game.exe") starts with the parameters, in the working folder given, with
// this process's environment; documents and addresses go to xdg-open.
// Above 32 on success, SE_ERR_FNF when nothing is found. With
// shell.record=1 in the test settings every open is recorded (testing.h and
// "shell.log" under the platform root), a program really starts only with
// shell.start=1 too, and documents and addresses never open.
HINSTANCE ShellExecuteA(HWND hwnd, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory, int showCmd);
// LOCALE_SLANGUAGE only: the English name of the locale's primary language
// (0 to 31) with its default country in parentheses, as a neutral locale
// reports it. Sizes count the NUL; 0 asks for the size.
int GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR data, int size);
