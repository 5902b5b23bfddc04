// An executable file of any content: ask for its version resource as the
// diagnostics library does, with the size the reader reports.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win32/path.h"
#include "platform/win32/win32.h"

namespace {

// One scratch file for the whole run, removed at exit.
struct ScratchFile {
  ScratchFile() {
    char pattern[] = "/tmp/tarvel-fuzz-version-XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0) std::abort();
    close(fd);
    path = pattern;
    windowsPath = platform::ShowPath(path);
  }
  ~ScratchFile() { std::remove(path.c_str()); }
  std::string path;
  std::string windowsPath;
};

const ScratchFile& Scratch() {
  static const ScratchFile file;
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const ScratchFile& file = Scratch();
  FILE* out = std::fopen(file.path.c_str(), "wb");
  if (!out) return 0;
  std::fwrite(data, 1, size, out);
  std::fclose(out);

  DWORD handle = 0;
  const DWORD needed = GetFileVersionInfoSizeA(file.windowsPath.c_str(), &handle);
  if (needed == 0 || needed > (1u << 24)) return 0;
  std::vector<uint8_t> block(needed);
  if (!GetFileVersionInfoA(file.windowsPath.c_str(), 0, needed, block.data())) return 0;
  void* fixed = nullptr;
  UINT length = 0;
  VerQueryValueA(block.data(), "\\", &fixed, &length);
  return 0;
}
