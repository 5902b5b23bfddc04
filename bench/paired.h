#pragma once

// A heavy path timed beside its baseline in the same run: every iteration
// runs the path, then the baseline, each on its own clock. The reported
// time is the path's; the counters give both times per iteration and their
// ratio (`ratio_to_baseline`), which scripts/bench reads.
#include <benchmark/benchmark.h>

#include <chrono>

namespace bench {

// project and baseline return false when they computed a wrong result.
template <class Project, class Baseline>
void RunPaired(benchmark::State& state, Project&& project, Baseline&& baseline)
{
    using Clock = std::chrono::steady_clock;
    double projectSeconds = 0.0;
    double baselineSeconds = 0.0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        const bool projectRight = project();
        const Clock::time_point middle = Clock::now();
        const bool baselineRight = baseline();
        const Clock::time_point end = Clock::now();
        if (!projectRight || !baselineRight) {
            state.SkipWithError(projectRight ? "the baseline computed a wrong result"
                                             : "the path computed a wrong result");
            break;
        }
        const double p = std::chrono::duration<double>(middle - start).count();
        projectSeconds += p;
        baselineSeconds += std::chrono::duration<double>(end - middle).count();
        state.SetIterationTime(p);
    }
    const double n = state.iterations() > 0 ? double(state.iterations()) : 1.0;
    state.counters["project_ns"] = projectSeconds / n * 1e9;
    state.counters["baseline_ns"] = baselineSeconds / n * 1e9;
    state.counters["ratio_to_baseline"] = baselineSeconds > 0.0 ? projectSeconds / baselineSeconds : 0.0;
}

}  // namespace bench
