// Ellipse and ring masks of a 4096 x 4096 ROI, against the plain per-pixel rule and against a memset of
// the box (the cost of touching every pixel once), measured in the same run.

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "kvbase/image/image.h"
#include "kvbase/testing/benchmark_ratio.h"
#include "kvbase/testing/mask_reference.h"

namespace {

constexpr int kSide = 4096;

double MemsetOfTheBoxSeconds() {
  static const double seconds = [] {
    std::vector<unsigned char> box(static_cast<size_t>(kSide) * kSide);
    return KBaselineSeconds([&] { std::memset(box.data(), 7, box.size()); });
  }();
  return seconds;
}

double ReferenceSeconds(bool ring) {
  static const double ellipse =
      KBaselineSeconds([] { benchmark::DoNotOptimize(kvbase::testing::ReferenceEllipse(kSide, kSide)); }, 3);
  static const double ringTime =
      KBaselineSeconds([] { benchmark::DoNotOptimize(kvbase::testing::ReferenceRing(kSide, kSide, 0.5f)); }, 3);
  return ring ? ringTime : ellipse;
}

void BM_EllipseMask(benchmark::State& state) {
  KImageBW8 image(kSide, kSide);
  const double memsetSeconds = MemsetOfTheBoxSeconds(), referenceSeconds = ReferenceSeconds(false);
  KRatioClock clock;
  for (auto _ : state) {
    image.SetEllipseMask(0, 0, 0, 0);
    benchmark::DoNotOptimize(image.GetMask().GetDataPtr());
  }
  clock.Report(state, memsetSeconds, "x_memset");
  clock.Report(state, referenceSeconds, "x_per_pixel");
}
BENCHMARK(BM_EllipseMask)->Unit(benchmark::kMicrosecond);

void BM_RingMask(benchmark::State& state) {
  KImageBW8 image(kSide, kSide);
  const double memsetSeconds = MemsetOfTheBoxSeconds(), referenceSeconds = ReferenceSeconds(true);
  KRatioClock clock;
  for (auto _ : state) {
    image.SetRingMask(0.5f);
    benchmark::DoNotOptimize(image.GetMask().GetDataPtr());
  }
  clock.Report(state, memsetSeconds, "x_memset");
  clock.Report(state, referenceSeconds, "x_per_pixel");
}
BENCHMARK(BM_RingMask)->Unit(benchmark::kMicrosecond);

}  // namespace
