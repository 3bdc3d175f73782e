// PNG load and save of 4096 x 4096 BW8 and C24 images, as ratios to other code doing the same work in
// the same run (KReportPaired: the baseline runs right after each iteration):
//
//   load   x_imread    cv::imread of the same file into the same pixel layout       target <= 1.0
//          x_libspng   libspng called directly on the same file, decoding to 8-bit  target <= 1.1
//                      gray or RGB (libspng has no blue-green-red output)
//   save   x_imwrite   cv::imwrite at the same level (IMWRITE_PNG_COMPRESSION 6)    target <= 0.7
//          with the two files' sizes as counters: ours no larger than OpenCV's
//
// The image is smooth and photo-like: broad gradients and waves with a little texture, not noise.
// Files go to the system's temporary directory, or to $KV_BENCH_DIR when it is set.

#include <benchmark/benchmark.h>
#include <spng.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "kvbase/files/image_files.h"
#include "kvbase/image/image.h"
#include "kvbase/testing/benchmark_ratio.h"
#include "kvbase/testing/file_baselines.h"

namespace {

constexpr int kSide = 4096;

std::string BenchPath(const char* name) { return KBenchmarkPath("png", name); }

// A smooth scene: waves of a few hundred pixels, a gradient, and texture of a level or two, as a
// photograph of a lit surface has. Channel `c` is shifted so that colours vary too.
unsigned char SceneSample(int x, int y, int c) {
  const double wave = 60.0 * std::sin(x / 310.0 + c) * std::cos(y / 270.0 - c) + 30.0 * std::sin((x + 2 * y) / 97.0);
  const double gradient = 50.0 * (x + y) / (2.0 * kSide);
  const unsigned hash =
      (static_cast<unsigned>(x) * 73856093u) ^ (static_cast<unsigned>(y) * 19349663u) ^ (c * 83492791u);
  const int texture = static_cast<int>(hash >> 29) - 3;  // -3 .. 4
  const double value = 110.0 + wave + gradient + texture;
  return static_cast<unsigned char>(value < 0 ? 0 : value > 255 ? 255 : value);
}

// The scene into a kvbase image and an OpenCV matrix of the same layout.
template <typename Image>
cv::Mat FillScene(Image& image, int channels) {
  cv::Mat mat(kSide, kSide, channels == 1 ? CV_8UC1 : CV_8UC3);
  for (int y = 0; y < kSide; ++y) {
    auto* row = static_cast<unsigned char*>(image.GetGenericImagePtr(0, y));
    for (int i = 0; i < kSide * channels; ++i) row[i] = SceneSample(i / channels, y, i % channels);
    std::copy(row, row + kSide * channels, mat.ptr<unsigned char>(y));
  }
  return mat;
}

// libspng on its own: the file decoded into one buffer.
void DecodeWithLibspng(const std::string& path, int format, std::vector<unsigned char>& out) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  spng_ctx* decoder = spng_ctx_new(0);
  spng_set_png_file(decoder, file);
  benchmark::DoNotOptimize(spng_decode_image(decoder, out.data(), out.size(), format, 0));
  spng_ctx_free(decoder);
  std::fclose(file);
}

template <typename Image>
void BM_PngLoad(benchmark::State& state, int channels, bool againstLibspng) {
  Image source(kSide, kSide);
  const cv::Mat mat = FillScene(source, channels);
  const std::string path = BenchPath(channels == 1 ? "load-gray.png" : "load-colour.png");
  if (KSaveImage(&source, path.c_str(), channels == 1 ? K_FILE_FORMAT_PNG_GRAY : K_FILE_FORMAT_PNG_COLOR) !=
      K_SUCCESS) {
    state.SkipWithError("save failed");
    return;
  }
  Image target(kSide, kSide);
  short format = 0;
  const auto load = [&] { KLoadImage(&target, path.c_str(), format); };
  if (againstLibspng) {
    std::vector<unsigned char> out(static_cast<size_t>(kSide) * kSide * channels);
    const int decoded = channels == 1 ? SPNG_FMT_PNG : SPNG_FMT_RGB8;
    KReportPaired(
        state, load, [&] { DecodeWithLibspng(path, decoded, out); }, "x_libspng");
  } else {
    const int flags = channels == 1 ? cv::IMREAD_GRAYSCALE : cv::IMREAD_COLOR;
    KReportPaired(
        state, load, [&] { benchmark::DoNotOptimize(cv::imread(path, flags).data); }, "x_imread");
  }
  std::remove(path.c_str());
}

template <typename Image>
void BM_PngSave(benchmark::State& state, int channels) {
  Image image(kSide, kSide);
  const cv::Mat mat = FillScene(image, channels);
  const std::string ours = BenchPath("save.png"), theirs = BenchPath("save-opencv.png");
  KSetPngCompressionLevel(6);
  const std::vector<int> level6 = {cv::IMWRITE_PNG_COMPRESSION, 6};
  KReportPaired(
      state, [&] { KSaveImage(&image, ours.c_str(), K_FILE_FORMAT_AUTO); }, [&] { cv::imwrite(theirs, mat, level6); },
      "x_imwrite");
  state.counters["bytes_ours"] = static_cast<double>(KFileSize(ours));
  state.counters["bytes_opencv"] = static_cast<double>(KFileSize(theirs));
  std::remove(ours.c_str());
  std::remove(theirs.c_str());
}

void BM_PngLoadGray(benchmark::State& state, bool againstLibspng) { BM_PngLoad<KImageBW8>(state, 1, againstLibspng); }
void BM_PngLoadColour(benchmark::State& state, bool againstLibspng) { BM_PngLoad<KImageC24>(state, 3, againstLibspng); }
void BM_PngSaveGray(benchmark::State& state) { BM_PngSave<KImageBW8>(state, 1); }
void BM_PngSaveColour(benchmark::State& state) { BM_PngSave<KImageC24>(state, 3); }

BENCHMARK_CAPTURE(BM_PngLoadGray, vs_imread, false)->Unit(benchmark::kMillisecond)->Iterations(9);
BENCHMARK_CAPTURE(BM_PngLoadGray, vs_libspng, true)->Unit(benchmark::kMillisecond)->Iterations(9);
BENCHMARK_CAPTURE(BM_PngLoadColour, vs_imread, false)->Unit(benchmark::kMillisecond)->Iterations(7);
BENCHMARK_CAPTURE(BM_PngLoadColour, vs_libspng, true)->Unit(benchmark::kMillisecond)->Iterations(7);
BENCHMARK(BM_PngSaveGray)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PngSaveColour)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
