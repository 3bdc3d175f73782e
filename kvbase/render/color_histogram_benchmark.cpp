// KRenderColorHistogram (both overloads) of a 2048 x 2048 picture into a 2048 x 2048 destination,
// reported per source pixel and against a memcpy of the source's bytes in the same run.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "kvbase/foundation/units.h"
#include "kvbase/image/image.h"
#include "kvbase/render/color_histogram.h"
#include "kvbase/testing/benchmark_ratio.h"

namespace {

constexpr int kSide = 2048;

// Smooth colour gradients with some texture, like a photograph.
KImageC24& Colours() {
  static KImageC24 image(kSide, kSide);
  static const bool filled = [] {
    for (int y = 0; y < kSide; ++y) {
      for (int x = 0; x < kSide; ++x) {
        const double shade = 96.0 + 60.0 * std::sin(x * 0.005) * std::cos(y * 0.004) + ((x * 31 + y * 17) & 15);
        *image.GetImagePtr(x, y) = KC24(static_cast<unsigned char>(shade), static_cast<unsigned char>(x >> 3),
                                        static_cast<unsigned char>(y >> 3));
      }
    }
    return true;
  }();
  (void)filled;
  return image;
}

void BM_ColorHistogram(benchmark::State& state) {
  KSetAngleUnit(K_ANGLE_UNIT_DEGREES);
  KImageC24& colours = Colours();
  KImageC24 destination(kSide, kSide);
  const size_t bytes = static_cast<size_t>(colours.GetRowPitch()) * kSide;
  std::vector<unsigned char> copy(bytes);
  const unsigned char* pixels = reinterpret_cast<const unsigned char*>(colours.GetImagePtr(0, 0));
  const double memcpySeconds = KBaselineSeconds([&] { std::memcpy(copy.data(), pixels, bytes); });
  const bool pair = state.range(0) != 0;
  KRatioClock clock;
  for (auto _ : state) {
    if (pair) {
      KRenderColorHistogram(&colours, &colours, &destination, 30.0f, 40.0f, 4.0f, 4.0f, 4.0f);
    } else {
      KRenderColorHistogram(&colours, &destination, 30.0f, 40.0f, 4.0f, 4.0f, 4.0f);
    }
    benchmark::ClobberMemory();
  }
  clock.Report(state, memcpySeconds, "x_memcpy");
  state.counters["ns_per_pixel"] = state.counters["x_memcpy"] * memcpySeconds * 1e9 / (double(kSide) * kSide);
}
BENCHMARK(BM_ColorHistogram)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
