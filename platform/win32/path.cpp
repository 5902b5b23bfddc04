#include "platform/win32/path.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <mutex>

#include "platform/win32/internal.h"

namespace platform {
namespace detail {

std::mutex g_rootMutex;
std::string g_root;  // empty until first asked or set by a test

void SetRootOverride(const std::string& root) {
  std::lock_guard lock(g_rootMutex);
  g_root = root;
  while (g_root.size() > 1 && g_root.back() == '/') g_root.pop_back();
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// The name in `folder` that matches `name` ignoring case, or empty.
std::string FindNoCase(const std::string& folder, std::string_view name) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.empty() ? "." : folder.c_str()), closedir);
  if (!dir) return {};
  while (dirent* entry = readdir(dir.get())) {
    if (EqualsNoCase(entry->d_name, name)) return entry->d_name;
  }
  return {};
}

// Appends `rest` (components separated by '/') to `base`, spelling each
// component as it exists on disk when it only differs in case.
std::string Resolve(std::string base, std::string_view rest) {
  bool lookup = true;
  size_t pos = 0;
  while (pos <= rest.size()) {
    size_t end = rest.find('/', pos);
    if (end == std::string_view::npos) end = rest.size();
    std::string_view part = rest.substr(pos, end - pos);
    bool last = end == rest.size();
    if (!part.empty()) {
      if (!base.empty() && base.back() != '/') base += '/';
      std::string candidate = base + std::string(part);
      if (lookup && part != "." && part != ".." && !Exists(candidate)) {
        std::string found = FindNoCase(base, part);
        if (found.empty()) {
          lookup = false;  // nothing below a missing folder can exist
        } else {
          candidate = base + found;
        }
      }
      base = std::move(candidate);
    }
    if (last) {
      if (end > 0 && rest[end - 1] == '/' && !base.empty() && base.back() != '/') base += '/';
      break;
    }
    pos = end + 1;
  }
  return base;
}

}  // namespace
}  // namespace detail

std::string PlatformRoot() {
  std::lock_guard lock(detail::g_rootMutex);
  if (detail::g_root.empty()) {
    if (const char* root = std::getenv("TARVEL_ROOT"); root && *root) {
      detail::g_root = root;
    } else if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) {
      detail::g_root = std::string(data) + "/tarvel";
    } else {
      const char* home = std::getenv("HOME");
      detail::g_root = std::string(home && *home ? home : "/tmp") + "/.local/share/tarvel";
    }
    while (detail::g_root.size() > 1 && detail::g_root.back() == '/') detail::g_root.pop_back();
  }
  return detail::g_root;
}

std::string MapPath(std::string_view windowsPath) {
  std::string path = detail::AnsiToUtf8(windowsPath);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  std::string_view view(path);
  if (view.size() >= 2 && view[1] == ':' &&
      ((view[0] >= 'A' && view[0] <= 'Z') || (view[0] >= 'a' && view[0] <= 'z'))) {
    char drive = static_cast<char>(view[0] | 0x20);
    std::string_view rest = view.substr(2);
    while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
    std::string base = drive == 'z' ? std::string("/")
                                    : PlatformRoot() + "/drives/" + std::string(1, drive) + "/";
    return detail::Resolve(std::move(base), rest);
  }
  if (!view.empty() && view.front() == '/') {
    // The root of the working folder's drive, which is Z:.
    while (!view.empty() && view.front() == '/') view.remove_prefix(1);
    return detail::Resolve("/", view);
  }
  return detail::Resolve(std::string(), view);
}

std::string ShowPath(std::string_view linuxPath) {
  std::string path;
  if (linuxPath.empty() || linuxPath.front() != '/') {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) path = cwd;
    if (path.empty() || path.back() != '/') path += '/';
  }
  path += linuxPath;
  std::string shown = "Z:" + detail::Utf8ToAnsi(path);
  for (char& c : shown) {
    if (c == '/') c = '\\';
  }
  return shown;
}

}  // namespace platform
