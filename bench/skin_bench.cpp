// Bytes per second of inflating a 4 MiB deflate stream with the skin
// reader's own inflater and with zlib's inflate in the same run; pixels per
// second of painting a 161 x 27 skinned button and a 400 x 400 form of seven
// buttons, beside a memory copy of the same number of pixels.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "launcher/skin/inflate.h"
#include "launcher/skin/sk_button.h"
#include "platform/forms/forms.h"
#include "platform/win32/win32.h"
#include "tools/skin_archive_writer.h"

namespace {

// Compressible but not trivial: words of a small vocabulary with numbers.
const std::vector<uint8_t>& Plain() {
  static const std::vector<uint8_t> data = [] {
    static const char* const words[] = {"button ", "caption ", "OCEAN ", "frame ", "0.125 ", "skin ", "pearl ", "\n"};
    std::vector<uint8_t> d;
    uint32_t x = 12345;
    while (d.size() < (4u << 20)) {
      x = x * 1103515245u + 12345u;
      for (const char* w = words[(x >> 16) & 7]; *w && d.size() < (4u << 20); ++w) d.push_back(static_cast<uint8_t>(*w));
      if ((x >> 8) % 5 == 0) d.push_back(static_cast<uint8_t>('0' + (x >> 20) % 10));
    }
    d.resize(4u << 20);
    return d;
  }();
  return data;
}

const std::vector<uint8_t>& Packed() {
  static const std::vector<uint8_t> packed = testkit::RawDeflate(Plain(), 6);
  return packed;
}

void BM_SkinInflate(benchmark::State& state) {
  std::vector<uint8_t> out;
  std::string error;
  for (auto _ : state) {
    if (!skin::Inflate(Packed().data(), Packed().size(), Plain().size(), &out, &error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(Plain().size()));
}

void BM_ZlibInflate(benchmark::State& state) {
  std::vector<uint8_t> out(Plain().size());
  for (auto _ : state) {
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = const_cast<Bytef*>(Packed().data());
    z.avail_in = static_cast<uInt>(Packed().size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    if (inflate(&z, Z_FINISH) != Z_STREAM_END) state.SkipWithError("zlib failed");
    inflateEnd(&z);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(Plain().size()));
}

// The ratio as a counter: the skin inflater's speed over zlib's.
void BM_SkinInflateRatio(benchmark::State& state) {
  std::vector<uint8_t> ours, theirs(Plain().size());
  std::string error;
  double oursNs = 0, zlibNs = 0;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    skin::Inflate(Packed().data(), Packed().size(), Plain().size(), &ours, &error);
    auto t1 = std::chrono::steady_clock::now();
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = const_cast<Bytef*>(Packed().data());
    z.avail_in = static_cast<uInt>(Packed().size());
    z.next_out = theirs.data();
    z.avail_out = static_cast<uInt>(theirs.size());
    inflate(&z, Z_FINISH);
    inflateEnd(&z);
    auto t2 = std::chrono::steady_clock::now();
    oursNs += std::chrono::duration<double, std::nano>(t1 - t0).count();
    zlibNs += std::chrono::duration<double, std::nano>(t2 - t1).count();
  }
  state.counters["speed_vs_zlib"] = zlibNs / oursNs;
}

// A headless form of buttons, shown and painted once.
struct Scene {
  forms::TForm* form;
  std::vector<skin::TskButton*> buttons;
  explicit Scene(int w, int h, int count, int bw, int bh) {
    form = new forms::TForm(nullptr);
    form->SetBounds(0, 0, w, h);
    for (int i = 0; i < count; ++i) {
      auto* b = new skin::TskButton(form);
      b->SetParent(form);
      b->SetBounds(10 + (i % 2) * (bw + 10), 10 + (i / 2) * (bh + 10), bw, bh);
      b->SetCaption("Button " + std::to_string(i + 1));
      buttons.push_back(b);
    }
    form->Show();
    forms::Application->ProcessMessages();
  }
  ~Scene() { delete form; }
};

void BM_PaintButton(benchmark::State& state) {
  Scene scene(200, 60, 1, 161, 27);
  for (auto _ : state) {
    scene.buttons[0]->Repaint();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 161 * 27);
}

void BM_PaintFormOfSevenButtons(benchmark::State& state) {
  Scene scene(400, 400, 7, 161, 27);
  for (auto _ : state) {
    scene.form->Invalidate();
    scene.form->Update();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 400 * 400);
}

// The baseline: copying as many pixels as each paint fills.
void BM_CopyPixels(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  std::vector<uint32_t> from(n, 0x336699), to(n);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), n * 4);
    benchmark::DoNotOptimize(to.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}

}  // namespace

BENCHMARK(BM_SkinInflate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SkinInflateRatio)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_PaintButton)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaintFormOfSevenButtons)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopyPixels)->Arg(161 * 27)->Arg(400 * 400);
