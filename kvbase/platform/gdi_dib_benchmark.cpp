// DIB transfers of 4096 x 4096 gray (8-bit, colour table) and colour (24-bit) pictures into a 32-bit
// device context at zoom 1 (SetDIBitsToDevice), 0.5 and 2 (StretchDIBits). Each iteration also copies
// the destination bytes the transfer writes with memcpy; the "ratio" counter is transfer time over
// memcpy time, measured side by side in the same run. Both are timed with the thread's CPU clock, so
// that time spent waiting for a core on a shared machine counts for neither.

#include <benchmark/benchmark.h>

#include <time.h>

#include <cstring>
#include <vector>

#include "kvbase/platform/gdi.h"

namespace {

constexpr int kSize = 4096;

double ThreadSeconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

struct Source {
  explicit Source(int bits) : header(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD)) {
    auto* info = reinterpret_cast<BITMAPINFO*>(header.data());
    info->bmiHeader = {40, kSize, -kSize, 1, static_cast<WORD>(bits), BI_RGB, 0, 0, 0, 0, 0};
    for (int i = 0; i < 256; ++i) info->bmiColors[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
    const std::size_t stride = (static_cast<std::size_t>(kSize) * bits + 31) / 32 * 4;
    pixels.resize(stride * kSize);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<BYTE>(i * 7 + (i >> 12));
  }
  const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(header.data()); }
  std::vector<BYTE> header;
  std::vector<BYTE> pixels;
};

void Transfer(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  const double zoom = state.range(1) / 2.0;  // 1: 0.5, 2: 1, 4: 2
  static Source gray(8), colour(24);
  const Source& source = bits == 8 ? gray : colour;
  HDC dc = KCreateMemoryDC(kSize, kSize, 32);
  SetStretchBltMode(dc, COLORONCOLOR);
  const int drawn = zoom < 1 ? kSize / 2 : kSize;  // destination side actually written
  const std::size_t bytes = static_cast<std::size_t>(drawn) * drawn * 4;
  std::vector<BYTE> from(bytes, 1), to(bytes);

  auto transfer = [&] {
    if (zoom == 1) {
      SetDIBitsToDevice(dc, 0, 0, kSize, kSize, 0, 0, 0, kSize, source.pixels.data(), source.Info(), DIB_RGB_COLORS);
    } else {
      const int side = static_cast<int>(kSize * zoom);
      StretchDIBits(dc, 0, 0, side, side, 0, 0, kSize, kSize, source.pixels.data(), source.Info(), DIB_RGB_COLORS,
                    SRCCOPY);
    }
  };
  transfer();  // the first touch of the device's fresh memory is not part of the measure
  std::memcpy(to.data(), from.data(), bytes);

  double transferSeconds = 0, copySeconds = 0;
  for (auto _ : state) {
    const double t0 = ThreadSeconds();
    transfer();
    const double t1 = ThreadSeconds();
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
    const double t2 = ThreadSeconds();
    transferSeconds += t1 - t0;
    copySeconds += t2 - t1;
    state.SetIterationTime(t1 - t0);
  }
  state.counters["ratio"] = transferSeconds / copySeconds;
  state.counters["memcpy_ms"] = 1000 * copySeconds / static_cast<double>(state.iterations());
  DeleteDC(dc);
}

// Arguments: source bits per pixel, zoom x 2.
BENCHMARK(Transfer)
    ->ArgsProduct({{8, 24}, {1, 2, 4}})
    ->ArgNames({"bits", "zoom_x2"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
