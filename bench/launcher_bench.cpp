// One 400 x 400 intro-video frame through the launcher's path: the video
// thread's turn (BinkDoFrame, the 24-bit copy), then the paint that copies
// it into the paint box's bitmap (SetDIBits) and onto the window, beside a
// memory copy of the same bytes. "frame_time_share" is the project's time
// per frame over the video's frame time (40 ms at 25 frames per second).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/beside_baseline.h"
#include "launcher/app/bink_thread.h"
#include "launcher/app/frm_launcher.h"
#include "launcher/app/paint_box.h"
#include "platform/forms/forms.h"
#include "platform/fmod/test_audio.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"
#include "tools/media_trailer_writer.h"
#include "tools/video_writer.h"

namespace {

constexpr int kSize = 400;
constexpr int kFrames = 8;

const testkit::Bytes& Video() {
  static const testkit::Bytes video = [] {
    testkit::VideoSpec recipe;
    recipe.width = kSize;
    recipe.height = kSize;
    recipe.frames = kFrames;
    recipe.rate = 25;
    recipe.paint = [](int n, testkit::Picture& p) {
      // A moving gradient: no codec squeezes it to nothing.
      for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
          p.Set(x, y, uint8_t(x + n * 9), uint8_t(y * 3 + n), uint8_t((x ^ y) + n * 5), 255);
        }
      }
    };
    return testkit::BuildVideo(recipe);
  }();
  return video;
}

void BM_IntroVideoFrame(benchmark::State& state) {
  platform::testing::TakeClock(1000);
  auto* form = new forms::TForm(nullptr);
  form->SetBounds(0, 0, kSize, kSize);
  auto* box = new launcher::TincaPaintBox(form);
  box->SetParent(form);
  box->SetBounds(0, 0, kSize, kSize);
  auto thread = std::make_unique<launcher::TBinkThread>(Video().data(), Video().size(), box);
  if (!thread->Opened()) {
    state.SkipWithError("the video did not open");
    return;
  }
  box->OnClear = [](forms::TObject*, forms::TCanvas&, bool& stop, const forms::TRect&) { stop = true; };
  box->OnPaint = [&](forms::TObject*, forms::TCanvas&, bool&, const forms::TRect&) {
    thread->CopyFrame(box->Bitmap().Handle());
  };
  form->Show();
  forms::Application->ProcessMessages();
  const size_t bytes = size_t(thread->Stride()) * kSize + size_t(kSize) * kSize * 4 * 2;
  std::vector<uint8_t> from(bytes, 1), to(bytes);
  bench::RunBesideBaseline(
      state,
      [&] {
        platform::testing::AdvanceClock(40);  // the next frame is due
        if (!thread->Step()) return false;
        forms::Application->ProcessMessages();  // the repaint it asked for
        return true;
      },
      [&] { std::memcpy(to.data(), from.data(), bytes); });
  if (state.counters.count("project_ns")) state.counters["frame_time_share"] = state.counters["project_ns"] / 40e6;
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  thread.reset();
  delete form;
  forms::Application->Reset();
  platform::testing::ReleaseClock();
}
BENCHMARK(BM_IntroVideoFrame)->Unit(benchmark::kMillisecond);

// The launcher's start (FormCreate and FormShow, then closing it) from an
// executable with a 20 MB media trailer, beside reading that file whole.
void BM_LauncherStart(benchmark::State& state) {
  namespace pt = platform::testing;
  char base[] = "/tmp/bench-launcher-XXXXXX";
  if (!mkdtemp(base)) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::string folder = base;
  pt::SetPlatformRoot(folder + "/root");
  pt::TakeClock(1000);
  testkit::MediaTrailer media;
  media.video = Video();
  // Most of the 20 MB is the music, as in a shipped launcher.
  media.music = pt::EncodeWav(pt::MakeTone(20e6 / 88200, 44100, 1, 220), 44100, 1);
  media.click = pt::EncodeWav(pt::MakeTone(0.1, 22050, 1, 800), 22050, 1);
  media.hover = pt::EncodeWav(pt::MakeTone(0.1, 22050, 1, 600), 22050, 1);
  const std::string program = folder + "/launcher";
  testkit::WriteFileBytes(program, testkit::AppendMediaTrailer(testkit::Bytes(2 << 20, 0x90), media));
  const std::string xml =
      "<launcherstr><default><main><caption>Bench</caption><exe>tarvel30x.exe</exe>"
      "<pathreg>InstallPath</pathreg></main></default></launcherstr>";
  testkit::WriteFileBytes(folder + "/launcher.xml", testkit::Bytes(xml.begin(), xml.end()));
  pt::SetProgramPath(program);
  const std::string windowsPath = "Z:" + program;
  std::vector<uint8_t> buffer;
  bench::RunBesideBaseline(
      state,
      [&] {
        forms::Application->Reset();
        auto* form = forms::Application->CreateForm<launcher::TfrmLauncher>();
        form->resumeVideo = false;
        form->Show();
        const bool ok = form->soundEnabled && form->binkThread != nullptr;
        delete form;
        return ok;
      },
      [&] {
        HANDLE file = CreateFileA(windowsPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        buffer.resize(GetFileSize(file, nullptr));
        DWORD read = 0;
        ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr);
        CloseHandle(file);
      });
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  forms::Application->Reset();
  pt::SetProgramPath("");
  pt::ReleaseClock();
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_LauncherStart)->Unit(benchmark::kMillisecond);

}  // namespace
