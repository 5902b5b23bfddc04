#include "platform/win32/crt.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/internal.h"
#include "platform/win32/path.h"
#include "platform/win32/testing.h"

namespace {
std::mutex g_writeLimitMutex;
int64_t g_writeLimit = -1;  // bytes still let through; negative: no limit
}  // namespace

size_t platform::detail::WriteAllowance(size_t want) {
  std::lock_guard lock(g_writeLimitMutex);
  if (g_writeLimit < 0) return want;
  size_t allowed = want < static_cast<uint64_t>(g_writeLimit) ? want : static_cast<size_t>(g_writeLimit);
  g_writeLimit -= static_cast<int64_t>(allowed);
  return allowed;
}

void platform::detail::ResetWriteLimit() { platform::testing::FailFileWritesAfter(-1); }

void platform::testing::FailFileWritesAfter(int64_t bytes) {
  std::lock_guard lock(g_writeLimitMutex);
  g_writeLimit = bytes < 0 ? -1 : bytes;
}

namespace crt {

// ---- Random numbers ----------------------------------------------------------

namespace {
thread_local uint32_t g_holdrand = 1;
}

void srand(unsigned int seed) { g_holdrand = seed; }

int rand() {
  g_holdrand = g_holdrand * 214013u + 2531011u;
  return static_cast<int>((g_holdrand >> 16) & 0x7FFF);
}

// ---- Number formatting -------------------------------------------------------

char* _gcvt(double value, int digits, char* buffer) {
  digits = std::clamp(digits, 1, 17);
  if (std::isnan(value)) {
    // The runtime's default NaN (0/0) carries the sign bit: "indefinite".
    std::strcpy(buffer, std::signbit(value) ? "-1.#IND" : "1.#QNAN");
    return buffer;
  }
  if (std::isinf(value)) {
    std::strcpy(buffer, value < 0 ? "-1.#INF" : "1.#INF");
    return buffer;
  }
  // The runtime works from the value's first 17 decimal digits: its
  // exponent picks the format before rounding, and rounding is half up on
  // those digits.
  char probe[64];
  std::snprintf(probe, sizeof probe, "%.16e", std::fabs(value));
  std::string mantissa17;
  for (const char* p = probe; *p && *p != 'e'; ++p) {
    if (*p != '.') mantissa17 += *p;
  }
  int magnitude = value == 0.0 ? -1 : std::atoi(std::strchr(probe, 'e') + 1);
  bool exponential = magnitude < -1 || magnitude > digits - 1;
  // Round to `digits` significant digits.
  std::string rounded = value == 0.0 ? std::string(static_cast<size_t>(digits), '0')
                                     : mantissa17.substr(0, static_cast<size_t>(digits));
  if (value != 0.0 && mantissa17[static_cast<size_t>(digits)] >= '5') {
    int i = digits - 1;
    while (i >= 0 && rounded[static_cast<size_t>(i)] == '9') rounded[static_cast<size_t>(i--)] = '0';
    if (i >= 0) {
      ++rounded[static_cast<size_t>(i)];
    } else {
      rounded.insert(rounded.begin(), '1');
    }
  }
  std::string out = std::signbit(value) ? "-" : "";
  if (exponential) {
    int exponent = magnitude;
    if (rounded.size() > static_cast<size_t>(digits)) {
      rounded.pop_back();
      ++exponent;
    }
    std::string text = rounded.substr(0, 1) + "." + rounded.substr(1);
    while (text.back() == '0') text.pop_back();
    char exp[16];
    std::snprintf(exp, sizeof exp, "e%c%03d", exponent < 0 ? '-' : '+', std::abs(exponent));
    out += text + exp;
  } else {
    // `decimals` digits after the point, whatever a carry did in front.
    size_t decimals = static_cast<size_t>(digits - magnitude - 1);
    if (rounded.size() <= decimals) rounded.insert(0, decimals + 1 - rounded.size(), '0');
    std::string text = rounded.substr(0, rounded.size() - decimals) + "." +
                       rounded.substr(rounded.size() - decimals);
    while (text.back() == '0') text.pop_back();
    out += text;
  }
  std::memcpy(buffer, out.c_str(), out.size() + 1);
  return buffer;
}

// ---- Low-level files -------------------------------------------------------------

namespace {

bool IsFolder(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

int _open(const char* path, int flags, int mode) {
  if (!path || (flags & 3) == 3) {
    errno = EINVAL;
    return -1;
  }
  int o = O_CLOEXEC;
  o |= (flags & 3) == _O_WRONLY ? O_WRONLY : (flags & 3) == _O_RDWR ? O_RDWR : O_RDONLY;
  if (flags & _O_APPEND) o |= O_APPEND;
  if (flags & _O_CREAT) o |= O_CREAT;
  if (flags & _O_TRUNC) o |= O_TRUNC;
  if (flags & _O_EXCL) o |= O_EXCL;
  // Without _S_IWRITE the runtime makes the new file read-only.
  mode_t m = (mode & _S_IWRITE) ? 0666 : 0444;
  int fd = ::open(platform::MapPath(path).c_str(), o, m);
  if (fd >= 0 && IsFolder(fd)) {
    ::close(fd);
    errno = EACCES;
    return -1;
  }
  return fd;
}

int _close(int fd) { return ::close(fd) == 0 ? 0 : -1; }

int _read(int fd, void* buffer, unsigned int count) {
  if (count > static_cast<unsigned>(INT_MAX) || (!buffer && count)) {
    errno = EINVAL;
    return -1;
  }
  ssize_t n;
  do {
    n = ::read(fd, buffer, count);
  } while (n < 0 && errno == EINTR);
  return static_cast<int>(n);
}

int _write(int fd, const void* buffer, unsigned int count) {
  if (count > static_cast<unsigned>(INT_MAX) || (!buffer && count)) {
    errno = EINVAL;
    return -1;
  }
  unsigned done = 0;
  const unsigned allowed = static_cast<unsigned>(platform::detail::WriteAllowance(count));
  while (done < allowed) {
    ssize_t n = ::write(fd, static_cast<const char*>(buffer) + done, allowed - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return done ? static_cast<int>(done) : -1;
    done += static_cast<unsigned>(n);
  }
  if (allowed < count && done == 0) {
    errno = ENOSPC;
    return -1;
  }
  return static_cast<int>(done);
}

int64_t _lseeki64(int fd, int64_t offset, int origin) {
  if (origin != SEEK_SET && origin != SEEK_CUR && origin != SEEK_END) {
    errno = EINVAL;
    return -1;
  }
  off_t r = ::lseek(fd, offset, origin);
  return r < 0 ? -1 : r;
}

LONG _lseek(int fd, LONG offset, int origin) {
  int64_t current = _lseeki64(fd, 0, SEEK_CUR);
  if (current < 0) return -1;
  int64_t r = _lseeki64(fd, offset, origin);
  if (r < 0) return -1;
  if (r > INT32_MAX) {
    ::lseek(fd, current, SEEK_SET);  // the runtime leaves the position where it was
    errno = EINVAL;
    return -1;
  }
  return static_cast<LONG>(r);
}

LONG _tell(int fd) { return _lseek(fd, 0, SEEK_CUR); }

LONG _filelength(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0) return -1;
  if (st.st_size > INT32_MAX) {
    errno = EINVAL;
    return -1;
  }
  return static_cast<LONG>(st.st_size);
}

int _eof(int fd) {
  struct stat st;
  off_t pos = ::lseek(fd, 0, SEEK_CUR);
  if (pos < 0 || fstat(fd, &st) != 0) return -1;
  return pos >= st.st_size ? 1 : 0;
}

intptr_t _get_osfhandle(int fd) {
  if (fd < 0 || fcntl(fd, F_GETFD) < 0) {
    errno = EBADF;
    return -1;
  }
  return reinterpret_cast<intptr_t>(platform::detail::HandleFromFd(fd));
}

int _access(const char* path, int mode) {
  if (!path || (mode & ~6) != 0) {
    errno = EINVAL;
    return -1;
  }
  int m = F_OK;
  if (mode & 2) m |= W_OK;
  if (mode & 4) m |= R_OK;
  return ::access(platform::MapPath(path).c_str(), m) == 0 ? 0 : -1;
}

int _unlink(const char* path) {
  if (!path) {
    errno = EINVAL;
    return -1;
  }
  if (::unlink(platform::MapPath(path).c_str()) == 0) return 0;
  if (errno == EISDIR || errno == EPERM) errno = EACCES;
  return -1;
}

int remove(const char* path) { return _unlink(path); }

int rename(const char* oldPath, const char* newPath) {
  if (!oldPath || !newPath) {
    errno = EINVAL;
    return -1;
  }
  std::string to = platform::MapPath(newPath);
  struct stat st;
  if (stat(to.c_str(), &st) == 0) {
    errno = EACCES;  // the runtime does not replace an existing file
    return -1;
  }
  return ::rename(platform::MapPath(oldPath).c_str(), to.c_str()) == 0 ? 0 : -1;
}

int _mkdir(const char* path) {
  if (!path) {
    errno = EINVAL;
    return -1;
  }
  return ::mkdir(platform::MapPath(path).c_str(), 0777) == 0 ? 0 : -1;
}

namespace {

// Keeps the mode letters glibc knows; the runtime's own ('t', 'c', 'n',
// 'S', 'R', 'T', 'D', ",ccs=") are dropped.
std::string CleanMode(const char* mode) {
  std::string out;
  for (const char* m = mode; *m && *m != ','; ++m) {
    if (std::strchr("rwa+bx", *m)) out += *m;
  }
  return out;
}

}  // namespace

FILE* fopen(const char* path, const char* mode) {
  if (!path || !mode) {
    errno = EINVAL;
    return nullptr;
  }
  std::string p = platform::MapPath(path);
  if (IsFolder(p)) {
    errno = EACCES;
    return nullptr;
  }
  return ::fopen(p.c_str(), CleanMode(mode).c_str());
}

FILE* freopen(const char* path, const char* mode, FILE* stream) {
  if (!mode || !stream) {
    errno = EINVAL;
    return nullptr;
  }
  if (!path) return ::freopen(nullptr, CleanMode(mode).c_str(), stream);
  std::string p = platform::MapPath(path);
  return ::freopen(p.c_str(), CleanMode(mode).c_str(), stream);
}

// ---- Directory search ----------------------------------------------------------

namespace {

struct Search {
  std::vector<_finddata_t> found;
  size_t next = 0;
};

std::mutex g_searchMutex;
std::map<intptr_t, Search> g_searches;
intptr_t g_nextSearch = 0x1000;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// '*' any run, '?' one character, ignoring case.
bool Match(const char* pattern, const char* name) {
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name) {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?' || (*pattern && Lower(*pattern) == Lower(*name))) {
      ++pattern;
      ++name;
    } else if (star) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == 0;
}

}  // namespace

intptr_t _findfirst(const char* query, _finddata_t* data) {
  if (!query || !data) {
    errno = EINVAL;
    return -1;
  }
  std::string s(query);
  size_t sep = s.find_last_of("\\/");
  std::string folder = sep == std::string::npos ? std::string() : s.substr(0, sep + 1);
  std::string pattern = sep == std::string::npos ? s : s.substr(sep + 1);
  if (folder.empty() && s.size() >= 2 && s[1] == ':') {  // "C:*.pak"
    folder = s.substr(0, 2) + "\\";
    pattern = s.substr(2);
  }
  if (pattern == "*.*") pattern = "*";  // Windows: also names without a dot
  std::string linuxFolder = folder.empty() ? std::string(".") : platform::MapPath(folder);
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(linuxFolder.c_str()), closedir);
  if (!dir) {
    errno = ENOENT;
    return -1;
  }
  Search search;
  while (dirent* entry = readdir(dir.get())) {
    std::string name = platform::detail::Utf8ToAnsi(entry->d_name);
    if (name.size() >= sizeof(data->name) || !Match(pattern.c_str(), name.c_str())) continue;
    std::string full = linuxFolder + (linuxFolder.back() == '/' ? "" : "/") + entry->d_name;
    struct stat st;
    if (stat(full.c_str(), &st) != 0) continue;  // a dangling link
    _finddata_t d{};
    d.attrib = S_ISDIR(st.st_mode) ? _A_SUBDIR : _A_ARCH;
    if (::access(full.c_str(), W_OK) != 0) d.attrib |= _A_RDONLY;
    d.time_create = st.st_mtime;
    d.time_access = st.st_atime;
    d.time_write = st.st_mtime;
    d.size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint32_t>(st.st_size);
    std::memcpy(d.name, name.c_str(), name.size() + 1);
    search.found.push_back(d);
  }
  if (search.found.empty()) {
    errno = ENOENT;
    return -1;
  }
  // Windows lists "." and ".." first, then names in order ignoring case.
  std::sort(search.found.begin(), search.found.end(), [](const _finddata_t& a, const _finddata_t& b) {
    auto rank = [](const char* n) { return std::strcmp(n, ".") == 0 ? 0 : std::strcmp(n, "..") == 0 ? 1 : 2; };
    if (rank(a.name) != rank(b.name)) return rank(a.name) < rank(b.name);
    return strcasecmp(a.name, b.name) < 0;
  });
  *data = search.found[0];
  search.next = 1;
  std::lock_guard lock(g_searchMutex);
  intptr_t handle = g_nextSearch++;
  g_searches.emplace(handle, std::move(search));
  return handle;
}

int _findnext(intptr_t handle, _finddata_t* data) {
  std::lock_guard lock(g_searchMutex);
  auto it = g_searches.find(handle);
  if (it == g_searches.end() || !data) {
    errno = EINVAL;
    return -1;
  }
  if (it->second.next >= it->second.found.size()) {
    errno = ENOENT;
    return -1;
  }
  *data = it->second.found[it->second.next++];
  return 0;
}

int _findclose(intptr_t handle) {
  std::lock_guard lock(g_searchMutex);
  if (g_searches.erase(handle) == 0) {
    errno = EINVAL;
    return -1;
  }
  return 0;
}

}  // namespace crt
