#ifndef KVBASE_TESTING_BENCHMARK_RATIO_H
#define KVBASE_TESTING_BENCHMARK_RATIO_H

// Benchmark helper: report a benchmark's time per iteration as a ratio to a baseline (a memcpy of the
// same bytes, a plain reference loop) timed in the same run, because only ratios hold on shared machines.
//
//   const double base = KBaselineSeconds([&] { std::memcpy(dst, src, n); });
//   KRatioClock clock;
//   for (auto _ : state) Work();
//   clock.Report(state, base, "x_memcpy");
//
// Where a benchmark has a target ratio, KReportPaired times the baseline in every iteration beside the
// work, so that a change of the machine's load during the run moves both.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

// Median wall time of `runs` calls of `work`, after one warm-up call.
template <typename Work>
double KBaselineSeconds(Work work, int runs = 7) {
  using Clock = std::chrono::steady_clock;
  work();
  std::vector<double> seconds;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    work();
    benchmark::ClobberMemory();
    seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
  }
  std::nth_element(seconds.begin(), seconds.begin() + runs / 2, seconds.end());
  return seconds[runs / 2];
}

// Times the benchmark loop that follows its construction.
class KRatioClock {
 public:
  KRatioClock() : start_(std::chrono::steady_clock::now()) {}

  // Sets counter `name` to (time per iteration) / `baselineSeconds`.
  void Report(benchmark::State& state, double baselineSeconds, const char* name) const {
    const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double perIteration = state.iterations() ? total / static_cast<double>(state.iterations()) : 0.0;
    state.counters[name] = baselineSeconds > 0 ? perIteration / baselineSeconds : 0.0;
  }

 private:
  std::chrono::steady_clock::time_point start_;
};

// Times `work` in the benchmark loop and `baseline` right after it in every iteration (outside the
// benchmark's own timing), and reports the median of the per-iteration ratios as counter `name`.
template <typename Work, typename Baseline>
void KReportPaired(benchmark::State& state, Work work, Baseline baseline, const char* name) {
  using Clock = std::chrono::steady_clock;
  std::vector<double> ratios;
  baseline();  // warm-up
  for (auto _ : state) {
    const auto start = Clock::now();
    work();
    benchmark::ClobberMemory();
    const double workSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    state.PauseTiming();
    const auto baseStart = Clock::now();
    baseline();
    benchmark::ClobberMemory();
    const double baselineSeconds = std::chrono::duration<double>(Clock::now() - baseStart).count();
    if (baselineSeconds > 0) ratios.push_back(workSeconds / baselineSeconds);
    state.ResumeTiming();
  }
  if (ratios.empty()) return;
  std::nth_element(ratios.begin(), ratios.begin() + ratios.size() / 2, ratios.end());
  state.counters[name] = ratios[ratios.size() / 2];
}

#endif  // KVBASE_TESTING_BENCHMARK_RATIO_H
