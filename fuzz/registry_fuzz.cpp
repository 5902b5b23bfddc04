// A hive file of any content: read it, query it, change it (which writes it
// back), and read the written file again.
#include <unistd.h>

#include <cstddef>
#include <filesystem>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace {

// A temporary platform root for the whole run, removed at exit.
struct TempRoot {
  TempRoot() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarvel-fuzz-registry-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    path = pattern;
    std::filesystem::create_directories(path + "/registry");
    // Two hive writes per input: not worth waiting for the disk.
    platform::testing::SetRegistrySync(false);
  }
  ~TempRoot() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string path;
};

const std::string& Root() {
  static const TempRoot root;
  return root.path;
}

void Query(HKEY key, const char* name) {
  BYTE small[4];
  DWORD size = sizeof small;
  DWORD type = 0;
  RegQueryValueExA(key, name, nullptr, &type, small, &size);
  BYTE large[256];
  size = sizeof large;
  RegQueryValueExA(key, name, nullptr, &type, large, &size);
}

void Exercise() {
  for (const char* path : {"", "K", "Software\\Brindlewerk\\Kestrelmoor", "a\\b"}) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
    for (const char* name : {"", "a", "ScreenRes", "Language"}) Query(key, name);
    RegCloseKey(key);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file = Root() + "/registry/HKEY_CURRENT_USER.reg";
  if (FILE* f = std::fopen(file.c_str(), "wb")) {
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  platform::testing::SetPlatformRoot(Root());  // forget what was read before
  Exercise();
  HKEY key;
  if (RegCreateKeyA(HKEY_CURRENT_USER, "K", &key) == ERROR_SUCCESS) {
    DWORD one = 1;
    RegSetValueExA(key, "fuzz", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    RegCloseKey(key);
  }
  platform::testing::SetPlatformRoot(Root());
  Exercise();
  return 0;
}
