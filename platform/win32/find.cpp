// FindFirstFileA and friends: a folder's entries that match a pattern,
// taken in one pass when the search starts and handed out one by one.
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/internal.h"
#include "platform/win32/path.h"
#include "platform/win32/win32.h"

namespace {

// Search handles live in a range no file or module handle uses.
constexpr uintptr_t kSearchHandleBase = 0x7D000000;

struct Search {
  std::vector<WIN32_FIND_DATAA> found;
  size_t next = 0;
};

std::mutex g_mutex;
std::map<uintptr_t, Search> g_searches;
uintptr_t g_nextSearch = kSearchHandleBase;

FILETIME ToFileTime(const timespec& ts) {
  constexpr int64_t kEpochDelta = 116444736000000000ll;  // 1601 to 1970 in 100 ns
  int64_t v = static_cast<int64_t>(ts.tv_sec) * 10000000ll + ts.tv_nsec / 100 + kEpochDelta;
  if (v < 0) v = 0;
  auto u = static_cast<uint64_t>(v);
  return {static_cast<DWORD>(u), static_cast<DWORD>(u >> 32)};
}

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// '*' any run, '?' one character, everything else without case.
bool Match(const char* pattern, const char* name) {
  const char* starP = nullptr;
  const char* starN = nullptr;
  while (*name) {
    if (*pattern == '*') {
      starP = pattern++;
      starN = name;
    } else if (*pattern == '?' || (*pattern && Fold(*pattern) == Fold(*name))) {
      ++pattern;
      ++name;
    } else if (starP) {
      pattern = starP + 1;
      name = ++starN;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == 0;
}

bool Describe(const std::string& full, const std::string& name, WIN32_FIND_DATAA* d) {
  struct stat st;
  if (lstat(full.c_str(), &st) != 0) return false;
  *d = {};
  uint64_t size = 0;
  if (S_ISLNK(st.st_mode)) {
    // Listed as the link itself, never followed, as Windows lists one.
    struct stat target;
    bool folder = stat(full.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
    d->dwFileAttributes = FILE_ATTRIBUTE_REPARSE_POINT | (folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE);
  } else if (S_ISDIR(st.st_mode)) {
    d->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
  } else {
    d->dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
    if (S_ISREG(st.st_mode)) size = static_cast<uint64_t>(st.st_size);
  }
  if (access(full.c_str(), W_OK) != 0) d->dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
  d->ftCreationTime = ToFileTime(st.st_mtim);  // Linux keeps no creation time
  d->ftLastAccessTime = ToFileTime(st.st_atim);
  d->ftLastWriteTime = ToFileTime(st.st_mtim);
  d->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  d->nFileSizeLow = static_cast<DWORD>(size);
  std::memcpy(d->cFileName, name.c_str(), name.size() + 1);
  return true;
}

}  // namespace

HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData) {
  if (!fileName || !findData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string query(fileName);
  size_t sep = query.find_last_of("\\/");
  std::string folder = sep == std::string::npos ? std::string() : query.substr(0, sep + 1);
  std::string pattern = sep == std::string::npos ? query : query.substr(sep + 1);
  if (folder.empty() && query.size() >= 2 && query[1] == ':') {  // "C:*.dll"
    folder = query.substr(0, 2) + "\\";
    pattern = query.substr(2);
  }
  if (pattern.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (pattern == "*.*") pattern = "*";  // also names without a dot
  std::string linuxFolder = folder.empty() ? std::string(".") : platform::MapPath(folder);
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(linuxFolder.c_str()), closedir);
  if (!dir) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (linuxFolder.back() != '/') linuxFolder += '/';
  Search search;
  while (dirent* entry = readdir(dir.get())) {
    std::string name = platform::detail::Utf8ToAnsi(entry->d_name);
    if (name.size() >= MAX_PATH || !Match(pattern.c_str(), name.c_str())) continue;
    WIN32_FIND_DATAA d;
    if (Describe(linuxFolder + entry->d_name, name, &d)) search.found.push_back(d);
  }
  if (search.found.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::sort(search.found.begin(), search.found.end(), [](const WIN32_FIND_DATAA& a, const WIN32_FIND_DATAA& b) {
    auto rank = [](const char* n) { return std::strcmp(n, ".") == 0 ? 0 : std::strcmp(n, "..") == 0 ? 1 : 2; };
    if (rank(a.cFileName) != rank(b.cFileName)) return rank(a.cFileName) < rank(b.cFileName);
    int c = strcasecmp(a.cFileName, b.cFileName);
    return c != 0 ? c < 0 : std::strcmp(a.cFileName, b.cFileName) < 0;
  });
  *findData = search.found[0];
  search.next = 1;
  std::lock_guard lock(g_mutex);
  uintptr_t handle = g_nextSearch++;
  g_searches.emplace(handle, std::move(search));
  return reinterpret_cast<HANDLE>(handle);
}

BOOL FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findData) {
  std::lock_guard lock(g_mutex);
  auto it = g_searches.find(reinterpret_cast<uintptr_t>(findFile));
  if (it == g_searches.end() || !findData) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Search& search = it->second;
  if (search.next >= search.found.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  *findData = search.found[search.next++];
  return TRUE;
}

BOOL FindClose(HANDLE findFile) {
  std::lock_guard lock(g_mutex);
  if (g_searches.erase(reinterpret_cast<uintptr_t>(findFile)) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
