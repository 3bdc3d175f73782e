// KResize of a 4096 x 4096 BW8 or C24 image into 2048 x 2048 (reducing), 6000 x 6000 (enlarging) and
// 3001 x 2999 (reducing by an awkward ratio), against a memcpy of the destination's bytes in the same run.
// Targets: BW8 within 6x (reducing) and 3x (enlarging) of that memcpy; C24 within 3x and 2x.

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "kvbase/image/image.h"
#include "kvbase/render/resize.h"
#include "kvbase/testing/benchmark_ratio.h"

namespace {

constexpr int kSourceSide = 4096;

template <typename T>
KImage<T>& Source() {
  static KImage<T> source(kSourceSide, kSourceSide);
  static const bool filled = [] {
    for (int y = 0; y < kSourceSide; ++y) {
      unsigned char* row = reinterpret_cast<unsigned char*>(source.GetImagePtr(0, y));
      for (int i = 0; i < kSourceSide * static_cast<int>(sizeof(T)); ++i)
        row[i] = static_cast<unsigned char>(i * 7 + y);
    }
    return true;
  }();
  (void)filled;
  return source;
}

template <typename T>
void BM_Resize(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  KImage<T>& source = Source<T>();
  KImage<T> destination(width, height);
  KResize(&source, &destination);  // touch every destination page once

  const size_t bytes = static_cast<size_t>(destination.GetRowPitch()) * height;
  std::vector<unsigned char> copy(bytes);
  const unsigned char* pixels = reinterpret_cast<const unsigned char*>(destination.GetImagePtr(0, 0));
  KReportPaired(
      state, [&] { KResize(&source, &destination); }, [&] { std::memcpy(copy.data(), pixels, bytes); }, "x_memcpy");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->Args({2048, 2048})->Args({6000, 6000})->Args({3001, 2999})->Unit(benchmark::kMillisecond);
}

BENCHMARK_TEMPLATE(BM_Resize, unsigned char)->Apply(Sizes);
BENCHMARK_TEMPLATE(BM_Resize, KC24)->Apply(Sizes);

}  // namespace
