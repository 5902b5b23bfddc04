// The themed form's two steps that run on every resize, each beside a memory
// copy of the same pixels in the same run: building the window region of a
// file theme whose title and bottom bitmaps are 1,920 pixels wide and full
// of see-through runs (the region is cut from every row of both strips), and
// a full non-client repaint (the frame and the title bar) of an 800 x 600
// form in that theme.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/beside_baseline.h"
#include "launcher/skin/sk_form.h"
#include "launcher/skin/sk_themes.h"
#include "platform/forms/forms.h"
#include "platform/win32/path.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"
#include "tools/skin_archive_writer.h"

namespace {

constexpr int kWide = 1920;
constexpr int kTitleHeight = 30;
constexpr int kBottomHeight = 8;
constexpr uint32_t kKey = 0xFF00FF;

// A w x h bitmap of ink with a see-through run of 4 pixels in every 16,
// shifted from row to row: about 120 runs a row at 1,920 pixels.
std::vector<uint8_t> Runs(int w, int h, uint32_t ink) {
  std::vector<uint32_t> px(static_cast<size_t>(w) * static_cast<size_t>(h), ink);
  for (int y = 0; y < h; ++y) {
    for (int x = (y * 3) % 16; x < w; x += 16) {
      for (int k = 0; k < 4 && x + k < w; ++k) px[static_cast<size_t>(y) * static_cast<size_t>(w) + x + k] = kKey;
    }
  }
  return testkit::WriteBmp24(w, h, px);
}

std::vector<uint8_t> Plain(int w, int h, uint32_t ink) {
  return testkit::WriteBmp24(w, h, std::vector<uint32_t>(static_cast<size_t>(w) * static_cast<size_t>(h), ink));
}

// A folder of the run: the platform root and the theme file.
struct Folder {
  Folder() {
    char pattern[] = "/tmp/tarvel-bench-skin-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) std::abort();
    path = made;
    platform::testing::SetPlatformRoot(path + "/root");
    namespace tk = testkit;
    const std::vector<tk::SkinValue> values = {
        tk::SkinInteger("SKIN2_TRANSCOLOR", static_cast<int32_t>(kKey)),
        tk::SkinInteger("SKIN2_FORMCOLOR", 0xC0C0C0),
        tk::SkinBitmap("SKIN2_TITLEBAR1", Runs(kWide, kTitleHeight, 0x336699)),
        tk::SkinBitmap("SKIN2_TITLEBAR2", Runs(kWide, kTitleHeight, 0x336699)),
        tk::SkinBitmap("SKIN2_TITLEBAR3", Runs(kWide, kTitleHeight, 0x336699)),
        tk::SkinBitmap("SKIN2_FORMLEFTBORDER", Plain(4, 8, 0x102030)),
        tk::SkinBitmap("SKIN2_FORMRIGHTBORDER", Plain(4, 8, 0x102030)),
        tk::SkinBitmap("SKIN2_FORMBOTTOMBORDER1", Runs(kWide, kBottomHeight, 0x102030)),
        tk::SkinBitmap("SKIN2_TITLEBUTTONS", Plain(18 * 4, 18, 0x808080)),
        tk::SkinByte("SKIN2_TITLEBARNEEDREGION", 1),
        tk::SkinByte("SKIN2_BOTTOMBORDERNEEDREGION", 1),
        tk::SkinInteger("SKIN2_TITLEBARREGIONMINY", 0),
        tk::SkinInteger("SKIN2_TITLEBARREGIONMAXY", kTitleHeight - 1),
        tk::SkinInteger("SKIN2_BOTTOMREGIONMINY", 0),
        tk::SkinInteger("SKIN2_BOTTOMREGIONMAXY", kBottomHeight - 1)};
    testkit::ZipEntry entry;
    entry.data = tk::WriteSkinData(values);
    const std::vector<uint8_t> zip = testkit::WriteZip({entry});
    theme = path + "/wide.sk";
    std::ofstream(theme, std::ios::binary)
        .write(reinterpret_cast<const char*>(zip.data()), static_cast<std::streamsize>(zip.size()));
  }
  ~Folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string path;
  std::string theme;
};

const Folder& RunFolder() {
  static const Folder folder;
  return folder;
}

// A shown w x h form themed from the wide theme file.
struct ThemedForm {
  ThemedForm(int w, int h) {
    form = new forms::TForm(nullptr);
    form->SetBounds(0, 0, w, h);
    sk = new skin::TskForm(form);
    theme = new skin::TskFileTheme(form);
    theme->SetThemeFile(platform::ShowPath(RunFolder().theme));
    sk->SetFileTheme(theme);
    sk->SetUIStyle(skin::TskUIStyle::FromThemeFile);
    sk->SetCaption("Settings");
    form->Show();
    forms::Application->ProcessMessages();
  }
  ~ThemedForm() {
    delete form;
    forms::Application->Reset();
  }
  forms::TForm* form;
  skin::TskForm* sk;
  skin::TskFileTheme* theme;
};

void BM_FormRegion1920(benchmark::State& state) {
  ThemedForm themed(kWide, 400);
  if (!themed.theme->Ready()) {
    state.SkipWithError("the theme did not load");
    return;
  }
  RECT window;
  GetWindowRect(themed.form->Handle(), &window);
  if (window.right - window.left != kWide) {
    state.SkipWithError("the form is not 1,920 pixels wide");
    return;
  }
  // The pixels the region is cut from: both strips at the window's width
  // (the title strip reaches 3 rows above the title bar).
  const int strips = themed.sk->TitleBar()->Height() + 3 + themed.sk->BottomBorderHeight();
  const size_t pixels = static_cast<size_t>(kWide) * static_cast<size_t>(strips);
  std::vector<uint32_t> from(pixels, 0x336699), to(pixels);
  bench::RunBesideBaseline(
      state,
      [&] {
        themed.sk->UpdateRegion();
        return true;
      },
      [&] { std::memcpy(to.data(), from.data(), pixels * 4); });
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(pixels));
}

void BM_ThemedFormNonClientPaint800x600(benchmark::State& state) {
  ThemedForm themed(800, 600);
  if (!themed.theme->Ready()) {
    state.SkipWithError("the theme did not load");
    return;
  }
  const HWND window = themed.form->Handle();
  // The pixels it paints: the frame around the client area and the title bar.
  RECT outer, inner;
  GetWindowRect(window, &outer);
  GetClientRect(window, &inner);
  const int frame = (outer.right - outer.left) * (outer.bottom - outer.top) - inner.right * inner.bottom;
  const int title = themed.sk->TitleBar()->Width() * themed.sk->TitleBar()->Height();
  if (outer.right - outer.left != 800 || outer.bottom - outer.top != 600 || frame + title <= 0) {
    state.SkipWithError("the form is not 800 x 600 with a frame");
    return;
  }
  const size_t pixels = static_cast<size_t>(frame + title);
  std::vector<uint32_t> from(pixels, 0x336699), to(pixels);
  bench::RunBesideBaseline(
      state,
      [&] {
        SendMessageA(window, WM_NCPAINT, 1, 0);
        return true;
      },
      [&] { std::memcpy(to.data(), from.data(), pixels * 4); });
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(pixels));
}

}  // namespace

BENCHMARK(BM_FormRegion1920)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ThemedFormNonClientPaint800x600)->Unit(benchmark::kMicrosecond);
