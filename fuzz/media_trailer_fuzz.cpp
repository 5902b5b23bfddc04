// Any bytes as the launcher's own executable: the window is made (its media
// trailer read, the music and sounds opened) and, where a video came with
// it, a few of its frames are decoded and copied into the paint box's
// bitmap. Runs on a platform root and a program file of its own under
// $TMPDIR, removed at exit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "launcher/app/frm_launcher.h"
#include "platform/win32/testing.h"

namespace {

struct Scratch {
  std::string folder;
  Scratch() {
    const char* tmp = std::getenv("TMPDIR");
    std::string base = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz-media-trailer-XXXXXX";
    folder = mkdtemp(base.data()) ? base : std::string();
    platform::testing::SetPlatformRoot(folder + "/root");
    platform::testing::SetProgramPath(folder + "/launcher");
    // The video thread's waits move this clock, not the real one.
    platform::testing::TakeClock(1000);
  }
  ~Scratch() {
    platform::testing::SetProgramPath("");
    std::error_code ignored;
    if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Scratch scratch;
  if (scratch.folder.empty()) return 0;
  {
    std::ofstream out(scratch.folder + "/launcher", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  forms::Application->Reset();
  auto* form = forms::Application->CreateForm<launcher::TfrmLauncher>();
  if (!form->media.video.empty()) {
    launcher::TBinkThread video(form->media.video.data(), form->media.video.size(), form->pb);
    for (int turn = 0; turn < 8 && video.Opened(); ++turn) {
      if (video.Step()) video.CopyFrame(form->pb->Bitmap().Handle());
    }
  }
  if (form->soundEnabled) form->PlayClickSound();
  delete form;
  forms::Application->Reset();
  return 0;
}
