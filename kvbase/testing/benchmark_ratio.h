#ifndef KVBASE_TESTING_BENCHMARK_RATIO_H
#define KVBASE_TESTING_BENCHMARK_RATIO_H

// Benchmark helper: report a benchmark's time per iteration as a ratio to a baseline (a memcpy of the
// same bytes, a plain reference loop) timed in the same run, because only ratios hold on shared machines.
//
//   const double base = KBaselineSeconds([&] { std::memcpy(dst, src, n); });
//   KRatioClock clock;
//   for (auto _ : state) Work();
//   clock.Report(state, base, "x_memcpy");

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

#endif  // KVBASE_TESTING_BENCHMARK_RATIO_H
