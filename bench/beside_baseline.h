#pragma once
// Runs a project step as the benchmark, then its baseline, warm, for as many
// iterations in the same program and run, and reports the counter
// "ratio_to_baseline": the project's time per iteration over the baseline's.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace bench {

template <class Project, class Baseline>
void RunBesideBaseline(benchmark::State& state, Project project, Baseline baseline) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  for (auto _ : state) {
    if (!project()) {
      state.SkipWithError("the project step failed");
      return;
    }
    benchmark::ClobberMemory();
  }
  const double projectSeconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (state.iterations() == 0) return;

  baseline();  // warms the caches as the project's own iterations did
  const int64_t rounds = std::max<int64_t>(static_cast<int64_t>(state.iterations()), 100);
  const Clock::time_point baselineStart = Clock::now();
  for (int64_t i = 0; i < rounds; ++i) {
    baseline();
    benchmark::ClobberMemory();
  }
  const double baselineSeconds = std::chrono::duration<double>(Clock::now() - baselineStart).count();
  // Both times per iteration as well, so scripts/bench can print them beside the ratio.
  state.counters["project_ns"] = projectSeconds / static_cast<double>(state.iterations()) * 1e9;
  state.counters["baseline_ns"] = baselineSeconds / static_cast<double>(rounds) * 1e9;
  if (baselineSeconds > 0.0) {
    state.counters["ratio_to_baseline"] = (projectSeconds / static_cast<double>(state.iterations())) /
                                          (baselineSeconds / static_cast<double>(rounds));
  }
}

}  // namespace bench
