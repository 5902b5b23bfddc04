// Last errors, file handles, files and folders by Windows path.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/win32/internal.h"
#include "platform/win32/path.h"
#include "platform/win32/win32.h"

namespace {

thread_local DWORD g_lastError = 0;

// File handles are the descriptor scaled into a range no other handle uses.
constexpr uintptr_t kFileHandleBase = 0x7F000000;

// 100 ns units between 1601-01-01 and 1970-01-01.
constexpr int64_t kEpochDelta = 116444736000000000ll;

FILETIME ToFileTime(const timespec& ts) {
  uint64_t v = static_cast<uint64_t>(static_cast<int64_t>(ts.tv_sec) * 10000000ll + ts.tv_nsec / 100 + kEpochDelta);
  return {static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)};
}

uint64_t FileTimeValue(const FILETIME& ft) {
  return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

// ENOENT is "file not found" when only the last component is missing and
// "path not found" when a folder on the way is.
DWORD NotFound(const std::string& linuxPath) {
  std::string parent = linuxPath;
  while (!parent.empty() && parent.back() == '/') parent.pop_back();
  size_t slash = parent.rfind('/');
  if (slash == std::string::npos) return ERROR_FILE_NOT_FOUND;
  parent.resize(slash == 0 ? 1 : slash);
  struct stat st;
  return stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? ERROR_FILE_NOT_FOUND
                                                                 : ERROR_PATH_NOT_FOUND;
}

BOOL FailPath(const std::string& linuxPath) {
  int e = errno;
  SetLastError(e == ENOENT ? NotFound(linuxPath) : platform::detail::ErrorFromErrno(e));
  return FALSE;
}

bool MakeFolders(const std::string& path) {
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos == path.size() || path[pos] == '/') {
      std::string part = path.substr(0, pos);
      if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
  }
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

DWORD GetLastError() { return g_lastError; }
void SetLastError(DWORD error) { g_lastError = error; }

namespace platform::detail {

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EFAULT: return ERROR_NOACCESS;
    case EPIPE: return ERROR_BROKEN_PIPE;
    case EBUSY:
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    default: return ERROR_INVALID_FUNCTION;
  }
}

BOOL FailFromErrno() {
  SetLastError(ErrorFromErrno(errno));
  return FALSE;
}

HANDLE HandleFromFd(int fd) {
  return reinterpret_cast<HANDLE>(kFileHandleBase + static_cast<uintptr_t>(fd) * 4);
}

int FdFromHandle(HANDLE handle) {
  uintptr_t v = reinterpret_cast<uintptr_t>(handle);
  if (v < kFileHandleBase || (v - kFileHandleBase) % 4 != 0) return -1;
  uintptr_t fd = (v - kFileHandleBase) / 4;
  return fd > static_cast<uintptr_t>(INT_MAX) ? -1 : static_cast<int>(fd);
}

}  // namespace platform::detail

using platform::detail::FdFromHandle;

// ---- Folders ---------------------------------------------------------------

HRESULT SHGetFolderPathA(HWND, int csidl, HANDLE, DWORD, LPSTR path) {
  if (!path) return E_INVALIDARG;
  std::string_view folder;
  switch (csidl & 0xFF) {
    case CSIDL_PERSONAL: folder = platform::kMyDocuments; break;
    case CSIDL_APPDATA: folder = "C:\\Users\\Player\\AppData\\Roaming"; break;
    case CSIDL_LOCAL_APPDATA: folder = "C:\\Users\\Player\\AppData\\Local"; break;
    default: path[0] = 0; return E_INVALIDARG;
  }
  std::string mapped = platform::MapPath(folder);
  struct stat st;
  bool exists = stat(mapped.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  if (!exists && (csidl & CSIDL_FLAG_CREATE)) {
    if (!MakeFolders(mapped)) {
      path[0] = 0;
      return HRESULT_FROM_WIN32(platform::detail::ErrorFromErrno(errno ? errno : EACCES));
    }
    exists = true;
  }
  std::memcpy(path, folder.data(), folder.size());
  path[folder.size()] = 0;
  return exists ? S_OK : S_FALSE;
}

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
  if (!path || !*path) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  std::string p = platform::MapPath(path);
  if (mkdir(p.c_str(), 0777) != 0) {
    SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : platform::detail::ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR path) {
  if (!path) return FALSE;
  std::string p = platform::MapPath(path);
  return rmdir(p.c_str()) == 0 ? TRUE : FailPath(p);
}

DWORD GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer) {
  char cwd[PATH_MAX];
  if (!getcwd(cwd, sizeof cwd)) {
    platform::detail::FailFromErrno();
    return 0;
  }
  std::string shown = platform::ShowPath(cwd);
  if (shown.size() > 3 && shown.back() == '\\') shown.pop_back();
  if (!buffer || bufferLength < shown.size() + 1) return static_cast<DWORD>(shown.size() + 1);
  std::memcpy(buffer, shown.c_str(), shown.size() + 1);
  return static_cast<DWORD>(shown.size());
}

BOOL SetCurrentDirectoryA(LPCSTR path) {
  if (!path) return FALSE;
  std::string p = platform::MapPath(path);
  return chdir(p.c_str()) == 0 ? TRUE : FailPath(p);
}

DWORD GetFileAttributesA(LPCSTR path) {
  if (!path) return INVALID_FILE_ATTRIBUTES;
  std::string p = platform::MapPath(path);
  struct stat st;
  if (stat(p.c_str(), &st) != 0) {
    FailPath(p);
    return INVALID_FILE_ATTRIBUTES;
  }
  DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (access(p.c_str(), W_OK) != 0) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes;
}

BOOL PathFileExistsA(LPCSTR path) {
  if (!path) return FALSE;
  struct stat st;
  return stat(platform::MapPath(path).c_str(), &st) == 0 ? TRUE : FALSE;
}

// ---- Files -------------------------------------------------------------------

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flagsAndAttributes, HANDLE) {
  if (!path || !*path) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  bool read = access & (GENERIC_READ | GENERIC_ALL);
  bool write = access & (GENERIC_WRITE | GENERIC_ALL);
  int flags = O_CLOEXEC;
  switch (disposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING:
      if (!write) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
      }
      flags |= O_TRUNC;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
  }
  // Truncating needs a writable descriptor even when only reading was asked.
  if (write || (flags & O_TRUNC)) {
    flags |= read || !write ? O_RDWR : O_WRONLY;
  } else {
    flags |= O_RDONLY;
  }
  if (flagsAndAttributes & FILE_FLAG_WRITE_THROUGH) flags |= O_DSYNC;
  std::string p = platform::MapPath(path);
  struct stat st;
  bool existed = stat(p.c_str(), &st) == 0;
  if (existed && S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);  // folders need backup semantics on Windows
    return INVALID_HANDLE_VALUE;
  }
  mode_t mode = (flagsAndAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
  int fd = open(p.c_str(), flags, mode);
  if (fd < 0) {
    if (errno == EEXIST) {
      SetLastError(ERROR_FILE_EXISTS);
    } else {
      FailPath(p);
    }
    return INVALID_HANDLE_VALUE;
  }
  SetLastError(existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS)
                   ? ERROR_ALREADY_EXISTS
                   : ERROR_SUCCESS);
  return platform::detail::HandleFromFd(fd);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped) {
  if (bytesRead) *bytesRead = 0;
  int fd = FdFromHandle(file);
  if (fd < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (overlapped || (!buffer && bytesToRead)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD done = 0;
  while (done < bytesToRead) {
    ssize_t n = read(fd, static_cast<char*>(buffer) + done, bytesToRead - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      if (bytesRead) *bytesRead = done;
      return platform::detail::FailFromErrno();
    }
    if (n == 0) break;
    done += static_cast<DWORD>(n);
  }
  if (bytesRead) *bytesRead = done;
  return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped) {
  if (bytesWritten) *bytesWritten = 0;
  int fd = FdFromHandle(file);
  if (fd < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (overlapped || (!buffer && bytesToWrite)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD done = 0;
  const DWORD allowed = static_cast<DWORD>(platform::detail::WriteAllowance(bytesToWrite));
  while (done < allowed) {
    ssize_t n = write(fd, static_cast<const char*>(buffer) + done, allowed - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (bytesWritten) *bytesWritten = done;
      return platform::detail::FailFromErrno();
    }
    done += static_cast<DWORD>(n);
  }
  if (bytesWritten) *bytesWritten = done;
  if (allowed < bytesToWrite) {
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
  }
  return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod) {
  int fd = FdFromHandle(file);
  if (fd < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_SET_FILE_POINTER;
  }
  if (moveMethod > FILE_END) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  int64_t offset = distanceHigh ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                                       static_cast<uint32_t>(distance))
                                : distance;
  static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  off_t current = lseek(fd, 0, SEEK_CUR);
  off_t base = moveMethod == FILE_BEGIN ? 0 : moveMethod == FILE_CURRENT ? current : -1;
  if (moveMethod == FILE_END) {
    struct stat st;
    if (fstat(fd, &st) != 0) {
      platform::detail::FailFromErrno();
      return INVALID_SET_FILE_POINTER;
    }
    base = st.st_size;
  }
  if (current < 0 || (offset < 0 && -offset > base)) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  if (!distanceHigh && base + offset > 0xFFFFFFFEll) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  off_t result = lseek(fd, offset, kWhence[moveMethod]);
  if (result < 0) {
    platform::detail::FailFromErrno();
    return INVALID_SET_FILE_POINTER;
  }
  if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(result) >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(result);
}

BOOL FlushFileBuffers(HANDLE file) {
  int fd = FdFromHandle(file);
  if (fd < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return fsync(fd) == 0 ? TRUE : platform::detail::FailFromErrno();
}

BOOL CloseHandle(HANDLE handle) {
  int fd = FdFromHandle(handle);
  if (fd < 0 || close(fd) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) {
  int fd = FdFromHandle(file);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
  }
  uint64_t size = static_cast<uint64_t>(st.st_size);
  if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(size);
}

BOOL GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME lastAccess, LPFILETIME lastWrite) {
  int fd = FdFromHandle(file);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (creation) *creation = ToFileTime(st.st_mtim);
  if (lastAccess) *lastAccess = ToFileTime(st.st_atim);
  if (lastWrite) *lastWrite = ToFileTime(st.st_mtim);
  return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, LPFILETIME localFileTime) {
  if (!fileTime || !localFileTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  int64_t bias = static_cast<int64_t>(local.tm_gmtoff) * 10000000ll;
  uint64_t v = FileTimeValue(*fileTime);
  if (v >= 0x8000000000000000ull || (bias < 0 && v < static_cast<uint64_t>(-bias))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  uint64_t out = v + static_cast<uint64_t>(bias);
  *localFileTime = {static_cast<DWORD>(out), static_cast<DWORD>(out >> 32)};
  return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime) {
  if (!fileTime || !systemTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  uint64_t v = FileTimeValue(*fileTime);
  if (v >= 0x8000000000000000ull) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  time_t seconds = static_cast<time_t>(static_cast<int64_t>(v / 10000000u) - kEpochDelta / 10000000ll);
  struct tm t;
  if (!gmtime_r(&seconds, &t)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  systemTime->wYear = static_cast<WORD>(t.tm_year + 1900);
  systemTime->wMonth = static_cast<WORD>(t.tm_mon + 1);
  systemTime->wDayOfWeek = static_cast<WORD>(t.tm_wday);
  systemTime->wDay = static_cast<WORD>(t.tm_mday);
  systemTime->wHour = static_cast<WORD>(t.tm_hour);
  systemTime->wMinute = static_cast<WORD>(t.tm_min);
  systemTime->wSecond = static_cast<WORD>(t.tm_sec);
  systemTime->wMilliseconds = static_cast<WORD>((v / 10000u) % 1000u);
  return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, LPFILETIME fileTime) {
  if (!systemTime || !fileTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const SYSTEMTIME& st = *systemTime;
  // Windows takes years 1601 to 30827 and checks every field; the day of
  // the week is ignored.
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const int year = st.wYear;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (year < 1601 || year > 30827 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
      st.wDay > kDays[st.wMonth - 1] + ((st.wMonth == 2 && leap) ? 1 : 0) || st.wHour > 23 || st.wMinute > 59 ||
      st.wSecond > 59 || st.wMilliseconds > 999) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Days since 1601-01-01 by the proleptic Gregorian calendar.
  auto daysBefore = [](int y) -> int64_t {
    const int64_t n = y - 1601;
    return n * 365 + n / 4 - n / 100 + n / 400;
  };
  int64_t days = daysBefore(year);
  for (int m = 1; m < st.wMonth; ++m) days += kDays[m - 1] + ((m == 2 && leap) ? 1 : 0);
  days += st.wDay - 1;
  const uint64_t ms =
      static_cast<uint64_t>(((days * 24 + st.wHour) * 60 + st.wMinute) * 60 + st.wSecond) * 1000u + st.wMilliseconds;
  const uint64_t v = ms * 10000u;
  fileTime->dwLowDateTime = static_cast<DWORD>(v);
  fileTime->dwHighDateTime = static_cast<DWORD>(v >> 32);
  return TRUE;
}

BOOL FileTimeToDosDateTime(const FILETIME* fileTime, LPWORD dosDate, LPWORD dosTime) {
  SYSTEMTIME st;
  if (!dosDate || !dosTime || !FileTimeToSystemTime(fileTime, &st)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (st.wYear < 1980 || st.wYear > 2107) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *dosDate = static_cast<WORD>(((st.wYear - 1980) << 9) | (st.wMonth << 5) | st.wDay);
  *dosTime = static_cast<WORD>((st.wHour << 11) | (st.wMinute << 5) | (st.wSecond / 2));
  return TRUE;
}

BOOL DeleteFileA(LPCSTR path) {
  if (!path) return FALSE;
  std::string p = platform::MapPath(path);
  return unlink(p.c_str()) == 0 ? TRUE : FailPath(p);
}

BOOL MoveFileA(LPCSTR existing, LPCSTR target) {
  if (!existing || !target) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string from = platform::MapPath(existing);
  std::string to = platform::MapPath(target);
  struct stat st;
  if (stat(to.c_str(), &st) == 0) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  return std::rename(from.c_str(), to.c_str()) == 0 ? TRUE : FailPath(from);
}

BOOL MoveFileExA(LPCSTR existing, LPCSTR target, DWORD flags) {
  if (!existing || !target || (flags & ~(MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!(flags & MOVEFILE_REPLACE_EXISTING) && !(flags & MOVEFILE_WRITE_THROUGH)) return MoveFileA(existing, target);
  std::string from = platform::MapPath(existing);
  std::string to = platform::MapPath(target);
  struct stat st;
  if (stat(to.c_str(), &st) == 0) {
    if (!(flags & MOVEFILE_REPLACE_EXISTING)) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return FALSE;
    }
    // A folder is never replaced by a file.
    if (S_ISDIR(st.st_mode)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
  }
  if (std::rename(from.c_str(), to.c_str()) != 0) return FailPath(from);
  if (flags & MOVEFILE_WRITE_THROUGH) {
    // The new name is on the disk once its folder is.
    std::string folder = to.substr(0, to.find_last_of('/') + 1);
    int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
      fsync(fd);
      close(fd);
    }
  }
  return TRUE;
}
