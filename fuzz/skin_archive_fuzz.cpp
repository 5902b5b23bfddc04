// Any bytes as a skin archive: the reader must refuse bad input cleanly.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz/skin_theme_apply.h"
#include "launcher/skin/skin_reader.h"
#include "platform/win32/path.h"

namespace {

// A temporary folder for the whole run, removed at exit.
struct TempFolder {
  TempFolder() {
    char pattern[] = "/tmp/tarvel-fuzz-skin-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) std::abort();
    path = made;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const TempFolder folder;
  const std::string file = folder.path + "/skin.zip";
  FILE* f = std::fopen(file.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  // Without a password and with one, so encrypted entries get decrypted too.
  for (const char* password : {"", "secret"}) {
    try {
      skin::Tsk2SkinFileReader reader(platform::ShowPath(file), password);
      if (reader.Ready()) {
        reader.GetInteger("SKIN2_FORMCOLOR");
        reader.GetByte("SKIN2_BUTTONTRANS");
        if (forms::TBitmap* b = reader.GetBitmap("SKIN2_BUTTON")) (void)b->Width();
      }
    } catch (const skin::ESkinFileError&) {
    }
  }
  fuzz::ApplySkinTheme(folder.path + "/root", platform::ShowPath(file));
  std::remove(file.c_str());
  return 0;
}
