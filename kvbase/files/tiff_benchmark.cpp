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
// Deflate and LZW files are timed against libtiff on the same file and the same work, in the same run:
// loading the file we wrote (libtiff reading every strip into one buffer) and, for Deflate, saving the
// image (libtiff writing strips of the same rows from a buffer of red, green, blue rows, at the same
// level and predictor). The image is a smooth synthetic photograph with a little sensor noise. Targets:
// Deflate load at most 0.8 times libtiff, LZW load at most 1.0, Deflate save at most 1.0 with a file
// no larger (the counter bytes_ours_minus_libtiff).
//
// Files go to the system's temporary directory, or to $KV_BENCH_DIR when it is set.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

std::string BenchPath(const char* name) { return KBenchmarkPath("tiff", name); }

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
  const std::vector<unsigned char> bytes(static_cast<size_t>(KFileSize(path)), 0x5A);
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
  std::vector<unsigned char> bytes(static_cast<size_t>(KFileSize(path)));
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

// A smooth synthetic photograph: slow waves and a ramp per channel, plus up to 3 levels of noise.
template <typename Image>
void FillPhoto(Image& image) {
  const int channels = (image.GetRowPitch() - image.GetSkip()) / image.GetWidth();
  for (int y = 0; y < image.GetHeight(); ++y) {
    auto* row = reinterpret_cast<unsigned char*>(image.GetImagePtr(0, y));
    for (int x = 0; x < image.GetWidth(); ++x) {
      for (int c = 0; c < channels; ++c) {
        const double wave =
            60.0 * std::sin(x / (300.0 + 40 * c) + y / 700.0) + 40.0 * std::cos(y / (211.0 + 30 * c) - x / 517.0);
        const unsigned noise = (static_cast<unsigned>(x) * 2654435761u ^ static_cast<unsigned>(y) * 40503u) >> 30;
        const double value = 110.0 + wave + (x + y) / 100.0 + noise;
        row[channels * x + c] = static_cast<unsigned char>(std::clamp(value, 0.0, 255.0));
      }
    }
  }
}

// libtiff reads every strip of the file into one buffer.
void LibtiffLoad(const std::string& path, std::vector<unsigned char>& pixels) {
  TIFF* tiff = TIFFOpen(path.c_str(), "r");
  const tstrip_t strips = TIFFNumberOfStrips(tiff);
  const tmsize_t stripSize = TIFFStripSize(tiff);
  tmsize_t at = 0;
  for (tstrip_t strip = 0; strip < strips; ++strip) {
    const tmsize_t read = TIFFReadEncodedStrip(tiff, strip, pixels.data() + at, stripSize);
    at += read > 0 ? read : 0;
  }
  TIFFClose(tiff);
  benchmark::DoNotOptimize(pixels.data());
}

// libtiff writes `rows` (in the file's order) in strips of `rowsPerStrip`, Deflate at level 6 with the
// horizontal predictor.
void LibtiffSave(const std::string& path, const std::vector<unsigned char>& rows, int samples, uint32_t rowsPerStrip) {
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, kSide);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, kSide);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
  TIFFSetField(tiff, TIFFTAG_ZIPQUALITY, 6);
  TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
  TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 1.0f);
  TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 1.0f);
  TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_NONE);
  const size_t rowBytes = static_cast<size_t>(samples) * kSide;
  for (uint32_t y = 0, index = 0; y < kSide; y += rowsPerStrip, ++index) {
    const uint32_t count = std::min<uint32_t>(rowsPerStrip, kSide - y);
    // libtiff differences a copy of its own: the rows are left as they are.
    TIFFWriteEncodedStrip(tiff, index, const_cast<unsigned char*>(rows.data() + y * rowBytes),
                          static_cast<tmsize_t>(count * rowBytes));
  }
  TIFFClose(tiff);
}

template <typename Image>
void BM_TiffCompressedLoad(benchmark::State& state, short format) {
  Image source(kSide, kSide);
  FillPhoto(source);
  const std::string path = BenchPath("compressed-load.tif");
  if (KSaveImage(&source, path.c_str(), format) != K_SUCCESS) {
    state.SkipWithError("save failed");
    return;
  }
  Image target(kSide, kSide);
  std::vector<unsigned char> pixels(static_cast<size_t>(source.GetRowPitch() - source.GetSkip()) * kSide);
  short loaded = 0;
  KReportPaired(
      state, [&] { KLoadImage(&target, path.c_str(), loaded); }, [&] { LibtiffLoad(path, pixels); }, "x_libtiff");
  state.counters["bytes"] = static_cast<double>(KFileSize(path));
  std::remove(path.c_str());
}

template <typename Image>
void BM_TiffDeflateSave(benchmark::State& state) {
  Image image(kSide, kSide);
  FillPhoto(image);
  const int samples = (image.GetRowPitch() - image.GetSkip()) / kSide;
  const short format = samples == 3 ? K_FILE_FORMAT_TIFF_COLOR_DEFLATE : K_FILE_FORMAT_TIFF_GRAY_DEFLATE;
  // The rows in file order, and our writer's rows per strip under the default strip size.
  std::vector<unsigned char> rows(static_cast<size_t>(samples) * kSide * kSide);
  for (int y = 0; y < kSide; ++y) {
    const auto* row = reinterpret_cast<const unsigned char*>(image.GetImagePtr(0, y));
    unsigned char* out = rows.data() + static_cast<size_t>(y) * samples * kSide;
    std::memcpy(out, row, static_cast<size_t>(samples) * kSide);
    if (samples == 3) kvbase::internal::SwapRedBlue(out, out, kSide);
  }
  const uint32_t rowsPerStrip = std::max<uint32_t>(1, 8192 / (samples * kSide));
  const std::string ours = BenchPath("deflate-ours.tif"), theirs = BenchPath("deflate-libtiff.tif");
  KReportPaired(
      state, [&] { KSaveImage(&image, ours.c_str(), format); },
      [&] { LibtiffSave(theirs, rows, samples, rowsPerStrip); }, "x_libtiff");
  state.counters["bytes_ours"] = static_cast<double>(KFileSize(ours));
  state.counters["bytes_libtiff"] = static_cast<double>(KFileSize(theirs));
  state.counters["bytes_ours_minus_libtiff"] = static_cast<double>(KFileSize(ours) - KFileSize(theirs));
  std::remove(ours.c_str());
  std::remove(theirs.c_str());
}

void BM_TiffCompressedLoadBW8(benchmark::State& state, short format) {
  BM_TiffCompressedLoad<KImageBW8>(state, format);
}
void BM_TiffCompressedLoadC24(benchmark::State& state, short format) {
  BM_TiffCompressedLoad<KImageC24>(state, format);
}
void BM_TiffDeflateSaveBW8(benchmark::State& state) { BM_TiffDeflateSave<KImageBW8>(state); }
void BM_TiffDeflateSaveC24(benchmark::State& state) { BM_TiffDeflateSave<KImageC24>(state); }

BENCHMARK_CAPTURE(BM_TiffCompressedLoadBW8, deflate, K_FILE_FORMAT_TIFF_GRAY_DEFLATE)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TiffCompressedLoadC24, deflate, K_FILE_FORMAT_TIFF_COLOR_DEFLATE)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TiffCompressedLoadBW8, lzw, K_FILE_FORMAT_TIFF_GRAY_LZW)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TiffCompressedLoadC24, lzw, K_FILE_FORMAT_TIFF_COLOR_LZW)->Unit(benchmark::kMillisecond);
// A save takes about a second: five pairs give the median its meaning.
BENCHMARK(BM_TiffDeflateSaveBW8)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_TiffDeflateSaveC24)->Unit(benchmark::kMillisecond)->Iterations(5);

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
