// KRender3D (gray and colour) of a 2048 x 2048 source into a 2048 x 2048 destination, reported per
// source pixel and against a memcpy of the source's bytes in the same run.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "kvbase/foundation/units.h"
#include "kvbase/image/image.h"
#include "kvbase/render/relief.h"
#include "kvbase/testing/benchmark_ratio.h"

namespace {

constexpr int kSide = 2048;

// A smooth landscape with some texture, like a photographed surface.
unsigned char HeightAt(int x, int y) {
  const double v = 96.0 + 60.0 * std::sin(x * 0.005) * std::cos(y * 0.004) + 20.0 * std::sin((x + y) * 0.05);
  return static_cast<unsigned char>(v + ((x * 31 + y * 17) & 15));
}

KImageBW8& Heights() {
  static KImageBW8 image(kSide, kSide);
  static const bool filled = [] {
    for (int y = 0; y < kSide; ++y) {
      for (int x = 0; x < kSide; ++x) *image.GetImagePtr(x, y) = HeightAt(x, y);
    }
    return true;
  }();
  (void)filled;
  return image;
}

KImageC24& Colours() {
  static KImageC24 image(kSide, kSide);
  static const bool filled = [] {
    for (int y = 0; y < kSide; ++y) {
      for (int x = 0; x < kSide; ++x) {
        const unsigned char h = HeightAt(x, y);
        *image.GetImagePtr(x, y) = KC24(h, static_cast<unsigned char>(x >> 3), static_cast<unsigned char>(y >> 3));
      }
    }
    return true;
  }();
  (void)filled;
  return image;
}

template <typename T>
double MemcpySeconds(KImage<T>& source) {
  const size_t bytes = static_cast<size_t>(source.GetRowPitch()) * source.GetHeight();
  std::vector<unsigned char> copy(bytes);
  const unsigned char* pixels = reinterpret_cast<const unsigned char*>(source.GetImagePtr(0, 0));
  return KBaselineSeconds([&] { std::memcpy(copy.data(), pixels, bytes); });
}

// Nanoseconds per source pixel, from the ratio just reported against the memcpy.
void ReportPerPixel(benchmark::State& state, double memcpySeconds) {
  const double perIteration = state.counters["x_memcpy"] * memcpySeconds;
  state.counters["ns_per_pixel"] = perIteration * 1e9 / (static_cast<double>(kSide) * kSide);
}

// Relief views: tilted and turned so that both visiting orders and all terms are exercised.
void BM_ReliefGray(benchmark::State& state) {
  KSetAngleUnit(K_ANGLE_UNIT_DEGREES);
  KImageBW8& heights = Heights();
  KImageBW8 destination(kSide, kSide);
  const double memcpySeconds = MemcpySeconds(heights);
  const int dotMode = static_cast<int>(state.range(0));
  KRatioClock clock;
  for (auto _ : state) {
    KRender3D(&heights, &destination, 35.0f, 20.0f, 0.8f, 0.8f, 1.5f, dotMode);
    benchmark::ClobberMemory();
  }
  clock.Report(state, memcpySeconds, "x_memcpy");
  ReportPerPixel(state, memcpySeconds);
}
BENCHMARK(BM_ReliefGray)->Arg(1)->Arg(4)->Arg(9)->Unit(benchmark::kMillisecond);

void BM_ReliefColour(benchmark::State& state) {
  KImageBW8& heights = Heights();
  KImageC24& colours = Colours();
  KImageC24 destination(kSide, kSide);
  const double memcpySeconds = MemcpySeconds(colours);
  KRatioClock clock;
  for (auto _ : state) {
    KRender3D(&colours, &heights, &destination, 0.6f, -0.35f, 0.8f, 0.8f, 1.5f, 1);
    benchmark::ClobberMemory();
  }
  clock.Report(state, memcpySeconds, "x_memcpy");
  ReportPerPixel(state, memcpySeconds);
}
BENCHMARK(BM_ReliefColour)->Unit(benchmark::kMillisecond);

}  // namespace
