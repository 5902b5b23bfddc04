// Shared test settings: kept in memory and in "testing.ini" under the
// platform root, one "key=value" per line, so a child process or another
// module starts with what the test set.
#include "platform/win32/testing.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>

#include "platform/win32/internal.h"
#include "platform/win32/path.h"

namespace platform::detail {
void SetRootOverride(const std::string& root);
void ApplyClockSetting(const std::string& value);
void ApplyWindowSetting(const std::string& value);
}  // namespace platform::detail

namespace {

std::mutex g_settingsMutex;
std::map<std::string, std::string, std::less<>> g_settings;

std::string SettingsPath() { return platform::PlatformRoot() + "/testing.ini"; }

void SaveLocked() {
  std::string path = SettingsPath();
  if (g_settings.empty()) {
    std::remove(path.c_str());
    return;
  }
  mkdir(platform::PlatformRoot().c_str(), 0755);
  std::string temp = path + ".tmp" + std::to_string(getpid());
  {
    std::ofstream out(temp, std::ios::trunc);
    for (const auto& [key, value] : g_settings) out << key << '=' << value << '\n';
    if (!out) return;
  }
  std::rename(temp.c_str(), path.c_str());
}

void Apply(const std::string& key, const std::string& value) {
  if (key == "clock") platform::detail::ApplyClockSetting(value);
  if (key == "fail_create_window") platform::detail::ApplyWindowSetting(value);
}

// Reads the settings a parent left when the layer is loaded.
struct StartUp {
  StartUp() { platform::detail::LoadSettings(); }
} g_startUp;

}  // namespace

namespace platform::detail {

void LoadSettings() {
  std::map<std::string, std::string, std::less<>> loaded;
  {
    std::ifstream in(SettingsPath());
    std::string line;
    while (std::getline(in, line)) {
      size_t eq = line.find('=');
      if (eq == std::string::npos || eq == 0) continue;
      loaded[line.substr(0, eq)] = line.substr(eq + 1);
    }
  }
  {
    std::lock_guard lock(g_settingsMutex);
    g_settings = loaded;
  }
  for (const auto& [key, value] : loaded) Apply(key, value);
}

}  // namespace platform::detail

namespace platform::testing {

void SetSetting(std::string_view key, std::string_view value) {
  std::lock_guard lock(g_settingsMutex);
  if (value.empty()) {
    g_settings.erase(std::string(key));
  } else {
    g_settings[std::string(key)] = std::string(value);
  }
  SaveLocked();
}

std::string ProgramName() {
  const std::string path = detail::ProgramPath();
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void AppendReport(std::string_view key, std::string_view line) {
  const std::optional<std::string> file = GetSetting(key);
  if (!file || file->empty()) return;
  // One write per line, appended: the processes of a test share the file.
  const std::string text = ProgramName() + ": " + std::string(line) + "\n";
  const int fd = open(file->c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  if (write(fd, text.data(), text.size()) < 0) {
    // Nothing to do: a report a test cannot write makes that test fail.
  }
  close(fd);
}

std::optional<std::string> GetSetting(std::string_view key) {
  std::lock_guard lock(g_settingsMutex);
  auto it = g_settings.find(key);
  if (it == g_settings.end()) return std::nullopt;
  return it->second;
}

void SetPlatformRoot(const std::string& linuxPath) {
  detail::SetRootOverride(linuxPath);
  setenv("TARVEL_ROOT", PlatformRoot().c_str(), 1);
  detail::DropRegistryCache();
  detail::ResetTime();
  detail::ApplyWindowSetting("");
  detail::LoadSettings();
}

void Reset() {
  SetRegistrySync(true);
  FailRegistryWrites(false);
  detail::ResetWriteLimit();
  detail::ResetWindows();
  detail::ResetTime();
  detail::DropRegistryCache();
  {
    std::lock_guard lock(g_settingsMutex);
    g_settings.clear();
    std::remove(SettingsPath().c_str());
  }
}

}  // namespace platform::testing
