// Loads of the BMP layouts the library reads but does not write, 4096 x 4096 pixels into C24, each as a
// ratio to a baseline timed in the same run:
// - 32-bit rows against one fread of the file's bytes (x_fread), and against OpenCV's imread (x_imread),
//   whose pixels the load must match;
// - an 8-bit run-length file with a colour palette against loading the 24-bit file of the same pixels
//   (x_bmp24), and against OpenCV's imread (x_imread).
// The picture is smooth, as photographs and scans are, so that run-length files have runs.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "kvbase/files/image_files.h"
#include "kvbase/testing/benchmark_ratio.h"
#include "kvbase/testing/bmp_builder.h"
#include "kvbase/testing/file_baselines.h"

namespace {

constexpr int kSide = 4096;
using Bytes = std::vector<unsigned char>;

// A fresh directory for the run's files, removed with them at exit.
class KBenchmarkDir {
 public:
  KBenchmarkDir() {
    char pattern[] = "/tmp/kvbase-bmp-benchmark-XXXXXX";
    if (mkdtemp(pattern) != nullptr) path_ = pattern;
  }
  ~KBenchmarkDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  std::string Path(const char* name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

const KBenchmarkDir& Dir() {
  static const KBenchmarkDir dir;
  return dir;
}

// A smooth level of 0 to 255 at (x, y): slow waves, as light falls across a scene.
int Level(int x, int y) {
  const double wave = std::sin(x / 310.0) * std::cos(y / 170.0) + 0.5 * std::sin((x + 2 * y) / 900.0);
  return static_cast<int>(std::lround(127.5 + 85.0 * wave));
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

// The rows of the picture as run-length codes: runs of one level (at most 255 pixels), end of row, end
// of bitmap.
Bytes Rle8Rows() {
  Bytes stream;
  for (int y = kSide - 1; y >= 0; --y) {
    for (int x = 0; x < kSide;) {
      const int level = Level(x, y);
      int run = 1;
      while (x + run < kSide && run < 255 && Level(x + run, y) == level) ++run;
      stream.insert(stream.end(), {static_cast<unsigned char>(run), static_cast<unsigned char>(level)});
      x += run;
    }
    stream.insert(stream.end(), {0, 0});
  }
  stream.insert(stream.end(), {0, 1});
  return stream;
}

std::vector<std::uint32_t> Colours() {
  std::vector<std::uint32_t> colours;
  for (std::uint32_t i = 0; i < 256; ++i) colours.push_back(i << 16 | (255 - i) << 8 | i / 2);
  return colours;
}

// The files, written once: the run-length file, the 24-bit file of the same pixels, a 32-bit file.
struct KFiles {
  std::string rle8 = Dir().Path("rle8.bmp");
  std::string bgr24 = Dir().Path("bgr24.bmp");
  std::string bgrx32 = Dir().Path("bgrx32.bmp");
  bool written = false;

  KFiles() {
    using kvbase::testing::KBmpBuilder;
    const std::vector<std::uint32_t> colours = Colours();
    Bytes rows24(static_cast<size_t>(kSide) * kSide * 3), rows32(static_cast<size_t>(kSide) * kSide * 4);
    for (int y = 0; y < kSide; ++y) {
      for (int x = 0; x < kSide; ++x) {
        const std::uint32_t colour = colours[Level(x, kSide - 1 - y)];  // bottom row first
        const size_t i = static_cast<size_t>(y) * kSide + x;
        for (int c = 0; c < 3; ++c) rows24[3 * i + c] = rows32[4 * i + c] = static_cast<unsigned char>(colour >> 8 * c);
        rows32[4 * i + 3] = 0xFF;
      }
    }
    written =
        WriteFile(rle8, KBmpBuilder().Size(kSide, kSide).Bits(8, 1).Palette(colours).Pixels(Rle8Rows()).Build()) &&
        WriteFile(bgr24, KBmpBuilder().Size(kSide, kSide).Bits(24).Pixels(rows24).Build()) &&
        WriteFile(bgrx32, KBmpBuilder().Size(kSide, kSide).Bits(32).Pixels(rows32).Build());
  }
};

const KFiles& Files() {
  static const KFiles files;
  return files;
}

void Load(KImageC24& target, const std::string& path) {
  short format;
  KLoadImage(&target, path.c_str(), format);
}

// The work is a load into C24 that must succeed; the baseline is one of those named above.
template <typename Baseline>
void LoadAgainst(benchmark::State& state, const std::string& path, Baseline baseline, const char* counter) {
  if (!Files().written) return state.SkipWithError("files not written");
  KImageC24 target(kSide, kSide);
  short format;
  if (KLoadImage(&target, path.c_str(), format) != K_SUCCESS) return state.SkipWithError("load failed");
  KReportPaired(
      state, [&] { Load(target, path); }, baseline, counter);
  state.counters["file_MiB"] = static_cast<double>(KFileSize(path)) / (1 << 20);
}

// True when the target holds the pixels OpenCV decodes from the file, blue, green, red too.
bool SameAsImread(KImageC24& target, const std::string& path) {
  const cv::Mat decoded = cv::imread(path, cv::IMREAD_COLOR);
  if (decoded.cols != target.GetWidth() || decoded.rows != target.GetHeight()) return false;
  for (int y = 0; y < decoded.rows; ++y)
    if (std::memcmp(decoded.ptr(y), target.GetGenericImagePtr(0, y), static_cast<size_t>(decoded.cols) * 3) != 0)
      return false;
  return true;
}

void ImreadBaseline(benchmark::State& state, const std::string& path) {
  KImageC24 loaded;
  short format;
  if (KLoadImage(&loaded, path.c_str(), format) != K_SUCCESS || !SameAsImread(loaded, path))
    return state.SkipWithError("the load differs from imread's pixels");
  LoadAgainst(
      state, path, [&] { benchmark::DoNotOptimize(cv::imread(path, cv::IMREAD_COLOR).data); }, "x_imread");
}

const bool kRegistered = [] {
  using benchmark::State;
  auto add = [](const char* name, void (*fn)(State&)) {
    benchmark::RegisterBenchmark(name, fn)->Unit(benchmark::kMillisecond)->UseRealTime();
  };
  add("Bmp32Load/c24", [](State& s) {
    Bytes bytes(static_cast<size_t>(KFileSize(Files().bgrx32)));
    LoadAgainst(
        s, Files().bgrx32, [&] { KRawRead(Files().bgrx32, bytes); }, "x_fread");
  });
  add("Bmp32Load/c24_opencv", [](State& s) { ImreadBaseline(s, Files().bgrx32); });
  add("BmpRle8Load/c24", [](State& s) {
    KImageC24 plain(kSide, kSide);
    LoadAgainst(
        s, Files().rle8, [&] { Load(plain, Files().bgr24); }, "x_bmp24");
  });
  add("BmpRle8Load/c24_opencv", [](State& s) { ImreadBaseline(s, Files().rle8); });
  return true;
}();

}  // namespace
