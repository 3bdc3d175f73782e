// Throughput of `kvtool convert` over many files, one worker against two, in the same run: 64 colour
// pictures of 2048 x 2048 converted from BMP to JPEG, the conversion a batch of camera frames gets.
// Reported as the speedup of --jobs 2 over --jobs 1 (time of one worker / time of two).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>

#include "kvbase/files/image_files.h"
#include "kvbase/testing/temp_dir.h"

namespace {

constexpr int kFiles = 64;
constexpr int kSide = 2048;

// A smooth, photo-like picture, different in every file.
void Paint(KImageC24& image, int seed) {
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const double u = x / 256.0, v = y / 256.0;
      image.SetPixel(KC24(static_cast<unsigned char>(128 + 100 * std::sin(u + seed)),
                          static_cast<unsigned char>(128 + 100 * std::cos(v - seed)),
                          static_cast<unsigned char>((x + y + 8 * seed) / 16)),
                     x, y);
    }
  }
}

struct Batch {
  KTempDir dir;
  std::string inputs;
  Batch() {
    KImageC24 image(kSide, kSide);
    for (int i = 0; i < kFiles; ++i) {
      Paint(image, i);
      const std::string path = dir.Path("frame" + std::to_string(i) + ".bmp");
      KSaveImage(&image, path.c_str(), K_FILE_FORMAT_BMP_COLOR);
      inputs += " " + path;
    }
    std::system(("mkdir -p " + dir.Path("out")).c_str());
  }
};

double ConvertSeconds(const Batch& batch, int jobs) {
  const std::string command = std::string(KVTOOL_PATH) + " convert" + batch.inputs + " " + batch.dir.Path("out") +
                              " --ext .jpg --quality 90 --jobs " + std::to_string(jobs) + " 2>/dev/null";
  const auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) return -1.0;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_ConvertJobs2AgainstJobs1(benchmark::State& state) {
  static const Batch batch;
  double speedups = 0;
  for (auto _ : state) {
    const double one = ConvertSeconds(batch, 1), two = ConvertSeconds(batch, 2);
    if (one <= 0 || two <= 0) return state.SkipWithError("kvtool convert failed");
    state.SetIterationTime(two);
    speedups += one / two;
    state.counters["jobs1_s"] = one;
    state.counters["jobs2_s"] = two;
  }
  state.counters["speedup"] = speedups / static_cast<double>(state.iterations());
  state.counters["files_per_s"] =
      benchmark::Counter(kFiles * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ConvertJobs2AgainstJobs1)->UseManualTime()->Iterations(3)->Unit(benchmark::kSecond);

}  // namespace
