// Opening programs, documents and addresses (ShellExecuteA), and the names
// of the languages (GetLocaleInfoA).
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/internal.h"
#include "platform/win32/path.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

extern char** environ;

namespace {

std::mutex g_shellMutex;
std::vector<platform::testing::ShellStart> g_shellStarts;

bool SettingOn(std::string_view key) {
  std::optional<std::string> value = platform::testing::GetSetting(key);
  return value && *value == "1";
}

bool IsAddress(std::string_view file) {
  return file.find("://") != std::string_view::npos || file.rfind("mailto:", 0) == 0;
}

bool EndsWithNoCase(std::string_view s, std::string_view tail) {
  if (s.size() < tail.size()) return false;
  return platform::detail::EqualsNoCase(s.substr(s.size() - tail.size()), tail);
}

// The command line split as a program's runtime splits it: blanks separate,
// double quotes group.
std::vector<std::string> SplitParameters(std::string_view text) {
  std::vector<std::string> out;
  std::string current;
  bool quoted = false, any = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (any) out.push_back(current);
      current.clear();
      any = false;
    } else {
      current += c;
      any = true;
    }
  }
  if (any) out.push_back(current);
  return out;
}

pid_t Spawn(const std::string& program, const std::vector<std::string>& args, const std::string& folder) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  pid_t pid = 0;
  int rc = program.find('/') == std::string::npos
               ? posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ)
               : posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : 0;
}

void Record(const platform::testing::ShellStart& start) {
  std::lock_guard lock(g_shellMutex);
  g_shellStarts.push_back(start);
  // A launcher started as a child tells its parent through the root.
  if (FILE* log = std::fopen((platform::PlatformRoot() + "/shell.log").c_str(), "a")) {
    std::fprintf(log, "%s\t%s\t%s\t%s\t%d\n", start.verb.c_str(), start.file.c_str(), start.parameters.c_str(),
                 start.directory.c_str(), start.pid);
    std::fclose(log);
  }
}

HINSTANCE Result(INT_PTR code) { return reinterpret_cast<HINSTANCE>(code); }

}  // namespace

HINSTANCE ShellExecuteA(HWND, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory, int) {
  const std::string verbText = verb ? verb : "open";
  if (!file || !*file) return Result(SE_ERR_FNF);
  if (!platform::detail::EqualsNoCase(verbText, "open")) return Result(SE_ERR_NOASSOC);
  platform::testing::ShellStart start;
  start.verb = verbText;
  start.file = file;
  start.parameters = parameters ? parameters : "";
  start.directory = directory ? directory : "";
  const bool record = SettingOn("shell.record");

  if (IsAddress(start.file)) {
    // Addresses go to the desktop's opener, never while recording.
    if (record) {
      Record(start);
      return Result(42);
    }
    return Result(Spawn("xdg-open", {start.file}, "") ? 42 : SE_ERR_NOASSOC);
  }

  std::string path = platform::MapPath(start.file);
  struct stat st {};
  // "game.exe" finds the program "game" beside it.
  if (stat(path.c_str(), &st) != 0 && EndsWithNoCase(start.file, ".exe")) {
    path = platform::MapPath(start.file.substr(0, start.file.size() - 4));
  }
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return Result(SE_ERR_FNF);
  const bool program = access(path.c_str(), X_OK) == 0;
  const std::string folder = start.directory.empty() ? std::string() : platform::MapPath(start.directory);

  if (record) {
    if (program && SettingOn("shell.start")) {
      start.pid = Spawn(path, SplitParameters(start.parameters), folder);
      if (start.pid == 0) return Result(SE_ERR_ACCESSDENIED);
    }
    Record(start);
    return Result(42);
  }
  pid_t pid = program ? Spawn(path, SplitParameters(start.parameters), folder) : Spawn("xdg-open", {path}, "");
  return Result(pid ? 42 : (program ? SE_ERR_ACCESSDENIED : SE_ERR_NOASSOC));
}

// ---- Language names --------------------------------------------------------------

namespace {

// By primary language, with the country of its default sublanguage.
constexpr const char* kLanguageNames[32] = {
    "Language Neutral",        "Arabic (Saudi Arabia)", "Bulgarian (Bulgaria)",   "Catalan (Spain)",
    "Chinese (Taiwan)",        "Czech (Czech Republic)", "Danish (Denmark)",      "German (Germany)",
    "Greek (Greece)",          "English (United States)", "Spanish (Spain)",      "Finnish (Finland)",
    "French (France)",         "Hebrew (Israel)",        "Hungarian (Hungary)",   "Icelandic (Iceland)",
    "Italian (Italy)",         "Japanese (Japan)",       "Korean (Korea)",        "Dutch (Netherlands)",
    "Norwegian (Bokmal)",      "Polish (Poland)",        "Portuguese (Brazil)",   "Romansh (Switzerland)",
    "Romanian (Romania)",      "Russian (Russia)",       "Croatian (Croatia)",    "Slovak (Slovakia)",
    "Albanian (Albania)",      "Swedish (Sweden)",       "Thai (Thailand)",       "Turkish (Turkey)",
};

}  // namespace

int GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR data, int size) {
  if (type != LOCALE_SLANGUAGE) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  const DWORD primary = locale & 0x3FF;
  if (primary >= 32 || size < 0 || (size > 0 && !data)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const char* name = kLanguageNames[primary];
  const int needed = static_cast<int>(std::strlen(name)) + 1;
  if (size == 0) return needed;
  if (size < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(data, name, static_cast<size_t>(needed));
  return needed;
}

namespace platform::testing {

std::vector<ShellStart> ShellStarts() {
  std::lock_guard lock(g_shellMutex);
  return g_shellStarts;
}

void ClearShellStarts() {
  std::lock_guard lock(g_shellMutex);
  g_shellStarts.clear();
}

}  // namespace platform::testing
