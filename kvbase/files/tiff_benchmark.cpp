// TIFF save and load of 4096 x 4096 images, each as a ratio to fwrite / fread of the same number of
// bytes into / from a file in the same directory. The raw copy runs in every iteration right after the
// TIFF operation, so both meet the same page cache and write-back state; uncompressed should stay within
// 1.5 times the raw copy.
//
// A colour load makes two passes over its bytes: the system copies the file into a buffer that stays in
// the cache, and the red/blue exchange writes the buffer into the image. The two pass benchmarks time
// each alone against the same fread, so their sum shows the lowest ratio a load on one thread can reach
// on the machine at hand.
//
// Files go to the system's temporary directory, or to $KV_BENCH_DIR when it is set.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "kvbase/files/image_files.h"
#include "kvbase/files/internal/tiff_rgb.h"
#include "kvbase/image/image.h"
#include "kvbase/testing/benchmark_ratio.h"
#include "kvbase/testing/file_baselines.h"

namespace {

constexpr int kSide = 4096;

std::string BenchPath(const char* name) {
  const char* dir = std::getenv("KV_BENCH_DIR");
  const std::filesystem::path base =
      dir != nullptr ? std::filesystem::path(dir) : std::filesystem::temp_directory_path();
  return (base / ("kvbase-tiff-bench-" + std::to_string(getpid()) + "-" + name)).string();
}

long long FileSize(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return error ? 0 : static_cast<long long>(size);
}

// Gray levels with smooth areas and texture, so that PackBits finds both runs and literals.
template <typename Image>
void FillScene(Image& image) {
  for (int y = 0; y < image.GetHeight(); ++y) {
    auto* row = reinterpret_cast<unsigned char*>(image.GetImagePtr(0, y));
    const int bytes = image.GetRowPitch() - image.GetSkip();
    for (int i = 0; i < bytes; ++i) {
      const bool flat = ((i / 64) + (y / 64)) % 2 == 0;
      row[i] = flat ? static_cast<unsigned char>(y / 16) : static_cast<unsigned char>((i * 37) ^ (y * 11));
    }
  }
}

template <typename Image>
void BM_TiffSave(benchmark::State& state, short format) {
  Image image(kSide, kSide);
  FillScene(image);
  const std::string path = BenchPath("save.tif"), raw = BenchPath("save.raw");
  if (KSaveImage(&image, path.c_str(), format) != K_SUCCESS) {
    state.SkipWithError("save failed");
    return;
  }
  const std::vector<unsigned char> bytes(static_cast<size_t>(FileSize(path)), 0x5A);
  KReportPaired(
      state, [&] { KSaveImage(&image, path.c_str(), format); }, [&] { KRawWrite(raw, bytes); }, "x_fwrite");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
  std::remove(path.c_str());
  std::remove(raw.c_str());
}

template <typename Image>
void BM_TiffLoad(benchmark::State& state, short format) {
  Image source(kSide, kSide);
  FillScene(source);
  const std::string path = BenchPath("load.tif");
  if (KSaveImage(&source, path.c_str(), format) != K_SUCCESS) {
    state.SkipWithError("save failed");
    return;
  }
  std::vector<unsigned char> bytes(static_cast<size_t>(FileSize(path)));
  Image target(kSide, kSide);
  short loaded = 0;
  KReportPaired(
      state, [&] { KLoadImage(&target, path.c_str(), loaded); }, [&] { KRawRead(path, bytes); }, "x_fread");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
  std::remove(path.c_str());
}

// The size of the loader's batches of colour rows.
constexpr std::size_t kBatchBytes = 768 * 1024;
constexpr std::size_t kColourRowBytes = 3 * kSide;
constexpr std::size_t kColourBatchBytes = kBatchBytes / kColourRowBytes * kColourRowBytes;

// The file's bytes read batch by batch into one buffer: the system's copy alone.
void BM_TiffPassRead(benchmark::State& state) {
  const std::string path = BenchPath("pass.raw");
  std::vector<unsigned char> bytes(kColourRowBytes * kSide, 0x5A), batch(kColourBatchBytes);
  KRawWrite(path, bytes);
  const auto readInBatches = [&] {
    const int descriptor = open(path.c_str(), O_RDONLY);
    for (std::size_t at = 0; at < bytes.size(); at += batch.size()) {
      benchmark::DoNotOptimize(
          pread(descriptor, batch.data(), std::min(batch.size(), bytes.size() - at), static_cast<off_t>(at)));
    }
    close(descriptor);
  };
  KReportPaired(
      state, readInBatches, [&] { KRawRead(path, bytes); }, "x_fread");
  std::remove(path.c_str());
}

// Colour rows exchanged from a cached batch into a 4096 x 4096 image: the second pass alone.
void BM_TiffPassExchange(benchmark::State& state) {
  const std::string path = BenchPath("pass.raw");
  std::vector<unsigned char> bytes(kColourRowBytes * kSide, 0x5A), batch(kColourBatchBytes, 0x33);
  KRawWrite(path, bytes);
  KImageC24 target(kSide, kSide);
  const auto exchange = [&] {
    for (int y = 0; y < kSide; ++y) {
      const std::size_t inBatch = static_cast<std::size_t>(y) * kColourRowBytes % batch.size();
      kvbase::internal::SwapRedBlue(batch.data() + inBatch, reinterpret_cast<unsigned char*>(target.GetImagePtr(0, y)),
                                    kSide);
    }
  };
  KReportPaired(
      state, exchange, [&] { KRawRead(path, bytes); }, "x_fread");
  std::remove(path.c_str());
}

void BM_TiffSaveBW8(benchmark::State& state, short format) { BM_TiffSave<KImageBW8>(state, format); }
void BM_TiffSaveC24(benchmark::State& state, short format) { BM_TiffSave<KImageC24>(state, format); }
void BM_TiffLoadBW8(benchmark::State& state, short format) { BM_TiffLoad<KImageBW8>(state, format); }
void BM_TiffLoadC24(benchmark::State& state, short format) { BM_TiffLoad<KImageC24>(state, format); }

// Colour has no PackBits writer: code 5 is refused on save.
BENCHMARK_CAPTURE(BM_TiffSaveBW8, uncompressed, K_FILE_FORMAT_TIFF_GRAY)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TiffSaveBW8, packbits, K_FILE_FORMAT_TIFF_GRAY_PACKBITS)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TiffSaveC24, uncompressed, K_FILE_FORMAT_TIFF_COLOR)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TiffLoadBW8, uncompressed, K_FILE_FORMAT_TIFF_GRAY)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TiffLoadBW8, packbits, K_FILE_FORMAT_TIFF_GRAY_PACKBITS)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TiffLoadC24, uncompressed, K_FILE_FORMAT_TIFF_COLOR)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TiffPassRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TiffPassExchange)->Unit(benchmark::kMillisecond);

}  // namespace
