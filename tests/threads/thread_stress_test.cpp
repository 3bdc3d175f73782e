// Many threads at once, each on its own objects, for a bounded time: saving and loading every format,
// resizing, building masks, drawing into its own memory device context, rendering a relief, vector files,
// the settings, and failing on purpose now and then. Every task's result is first computed alone, in
// the main thread; each worker must see exactly that result, its own errors and its own traces.
//
// Built and run in every test build; the tsan preset runs it under ThreadSanitizer for longer
// (KV_STRESS_SECONDS sets how long each worker goes on).

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "kvbase/kvbase.h"
#include "kvbase/testing/temp_dir.h"
#include "kvbase/testing/trace_capture.h"

namespace {

// A task's result, as one number: a hash of the pixels or bytes it produced and of the error left.
using Fingerprint = std::uint64_t;

Fingerprint Mix(Fingerprint hash, std::uint64_t value) { return (hash ^ value) * 0x100000001B3ull; }

Fingerprint HashBytes(Fingerprint hash, const void* bytes, std::size_t count) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  for (std::size_t i = 0; i < count; ++i) hash = Mix(hash, p[i]);
  return hash;
}

template <typename T>
Fingerprint HashPixels(KROI<T>& roi) {
  Fingerprint hash = Mix(0xCBF29CE484222325ull, static_cast<std::uint64_t>(roi.GetWidth()) << 32 | roi.GetHeight());
  const std::size_t rowBytes = static_cast<std::size_t>(roi.GetRowPitch() - roi.GetSkip());
  for (int y = 0; y < roi.GetHeight(); ++y) hash = HashBytes(hash, roi.GetGenericImagePtr(0, y), rowBytes);
  return Mix(hash, static_cast<std::uint64_t>(KGetError()));
}

// What a worker works in: a directory of its own.
struct Workspace {
  KTempDir dir;
};

template <typename T>
void Fill(KImage<T>& image, int seed) {
  for (int y = 0; y < image.GetHeight(); ++y) {
    auto* row = static_cast<unsigned char*>(image.GetGenericImagePtr(0, y));
    const int bytes = image.GetRowPitch();
    for (int i = 0; i < bytes; ++i) row[i] = static_cast<unsigned char>((i * 7 + y * 13 + seed) ^ (i * y));
  }
}

// Saves an image of `width` x `height` with `format` and loads it back.
template <typename T>
Fingerprint SaveAndLoad(Workspace& w, int width, int height, short format, const char* name) {
  KImage<T> image(width, height);
  Fill(image, format);
  image.SetTitle(name);
  const std::string path = w.dir.Path(name);
  KOk();
  KSaveImage(&image, path.c_str(), format);
  KImage<T> loaded;
  short told = -1;
  KLoadImage(&loaded, path.c_str(), told);
  return Mix(HashPixels(loaded), static_cast<std::uint64_t>(told));
}

Fingerprint Resize(Workspace&) {
  KImageC24 source(301, 177), destination(129, 211);
  Fill(source, 3);
  KOk();
  KResize(&source, &destination);
  return HashPixels(destination);
}

Fingerprint HashRuns(Fingerprint hash, KVectorTemplate<KRun>& runs) {
  for (unsigned int i = 0; i < runs.GetNumElements(); ++i) {
    const KRun& run = runs.GetDataPtr()[i];
    hash = Mix(Mix(Mix(hash, run.start), run.end), static_cast<std::uint64_t>(run.x) << 16 | run.y);
  }
  return hash;
}

Fingerprint Masks(Workspace&) {
  KImageBW8 image(200, 150);
  KROIBW8 roi(&image, 13, 7, 170, 121);
  roi.SetMaskOffsets(1);
  roi.SetEllipseMask(0, 0, 0, 0);
  const Fingerprint hash = HashRuns(0, roi.GetMask());
  roi.SetRingMask(0.5f);
  return HashRuns(hash, roi.GetMask());
}

// Draws an image, a frame with handles and a line of text into a memory device context of its own.
Fingerprint Drawing(Workspace&, int bitsPerPixel) {
  KImageBW8 image(64, 48);
  Fill(image, 5);
  KROIBW8 roi(&image, 10, 8, 30, 20);
  HDC dc = KCreateMemoryDC(160, 120, bitsPerPixel);
  KOk();
  KDrawImageInWindow(&image, dc, 2.0f, 0.0f);
  roi.DrawFrame(dc, K_FRAME_POSITION_ON_BORDER, 1, 2.0f, 0.0f, 0.0f, 0.0f);
  TextOutA(dc, 4, 100, "kvbase", 6);
  Fingerprint hash = Mix(0, static_cast<std::uint64_t>(KGetError()));
  for (int y = 0; y < 120; y += 3)
    for (int x = 0; x < 160; x += 2) hash = Mix(hash, GetPixel(dc, x, y));
  DeleteDC(dc);
  return hash;
}

Fingerprint Relief(Workspace&) {
  KImageBW8 heights(90, 70), destination(160, 120);
  Fill(heights, 9);
  KOk();
  KRender3D(&heights, &destination, 0.1f, 0.08f, 1.0f, 1.0f, 0.5f, 4);
  return HashPixels(destination);
}

Fingerprint VectorFile(Workspace& w) {
  KVectorTemplate<unsigned short> vector;
  for (unsigned int i = 0; i < 3000; ++i) vector.AddElement(static_cast<unsigned short>(i * 31));
  const std::string path = w.dir.Path("vector.kv");
  KOk();
  vector.Save(path.c_str());
  KVectorTemplate<unsigned short> loaded;
  loaded.Load(path.c_str());
  return HashBytes(Mix(0, KGetError()), loaded.GetDataPtr(), loaded.GetNumElements() * sizeof(unsigned short));
}

// Fails on purpose: the error and the traces must be this thread's own.
Fingerprint Failure(Workspace& w) {
  KImageBW8 image;
  short told = -1;
  KLoadImage(&image, w.dir.Path("missing.bmp").c_str(), told);
  Fingerprint hash = Mix(0, static_cast<std::uint64_t>(KGetError()));
  KROIBW8 orphan;
  orphan.SetOrgX(-25);  // an ROI without a parent: its own error
  hash = Mix(hash, static_cast<std::uint64_t>(KGetError()));
  std::string names;
  for (const std::string& name : KTraceCapture::Names()) names += name + ";";
  KTraceCapture::Clear();
  return HashBytes(hash, names.data(), names.size());
}

// Settings are process-wide: writing the values they already have must not disturb anyone's result.
Fingerprint Settings(Workspace&) {
  KSetJpegQuality(75);
  KSetTiffStripSize(8192);
  KSetTiffThreshold(128);
  KSetPngCompressionLevel(6);
  KSetAngleUnit(K_ANGLE_UNIT_RADIANS);
  KSetTraceMode(K_TRACE_ON_ERROR);
  return Mix(0, static_cast<std::uint64_t>(KGetAngleUnit()));
}

// Draws colour, bilevel and lookup-table pictures into a 32-bit device context of its own.
Fingerprint ColourDrawing(Workspace&) {
  KImageC24 colour(40, 30);
  KImageBW1 bilevel(33, 20);
  KImageBW8 gray(20, 20);
  Fill(colour, 2);
  Fill(bilevel, 4);
  Fill(gray, 6);
  KBW8Vector levels(256);
  KC24Vector colours(256);
  for (int i = 0; i < 256; ++i) {
    levels.AddElement(static_cast<unsigned char>(255 - i));
    colours.AddElement(KC24(static_cast<unsigned char>(i), 40, static_cast<unsigned char>(255 - i)));
  }
  HDC dc = KCreateMemoryDC(80, 60, 32);
  KOk();
  KDrawImageInWindow(&colour, dc, 1.5f, 0.0f);
  KDrawImageInWindow(&bilevel, dc, 1.0f, 1.0f);
  KDrawImageInWindow(&gray, dc, &levels, 1.0f, 1.0f);
  KDrawImageInWindow(&gray, dc, &colours, 0.5f, 0.0f);
  Fingerprint hash = Mix(0, static_cast<std::uint64_t>(KGetError()));
  for (int y = 0; y < 60; y += 2)
    for (int x = 0; x < 80; x += 3) hash = Mix(hash, GetPixel(dc, x, y));
  DeleteDC(dc);
  return hash;
}

// Gray draws on a palette device while the shared gray palette is dropped and built again.
Fingerprint PaletteUpdate(Workspace&) {
  KImageBW8 image(32, 24);
  Fill(image, 8);
  HDC dc = KCreateMemoryDC(32, 24, 8);
  KUpdatePalette();
  KOk();
  KDrawImageInWindow(&image, dc, 1.0f, 1.0f);
  Fingerprint hash = Mix(0, static_cast<std::uint64_t>(KGetError()));
  for (int y = 0; y < 24; y += 2)
    for (int x = 0; x < 32; x += 2) hash = Mix(hash, GetPixel(dc, x, y));
  DeleteDC(dc);
  return hash;
}

// A device context opened on an image, drawn into, and closed as the thread's current one.
Fingerprint ImageDeviceContext(Workspace&) {
  KImageBW8 image(40, 30);
  Fill(image, 10);
  KOk();
  HDC dc = KOpenImageDC(&image);
  SelectObject(dc, GetStockObject(WHITE_PEN));
  MoveToEx(dc, 2, 3, nullptr);
  LineTo(dc, 37, 25);
  KCloseImageDC(&image, nullptr);
  return HashPixels(image);
}

// New device contexts all start with the one shared 1 x 1 stock bitmap; drawing into it is allowed, so
// its pixels depend on every thread and only the results of the calls are compared.
Fingerprint StockBitmap(Workspace&) {
  HDC dc = CreateCompatibleDC(nullptr);
  Fingerprint hash = Mix(0, dc != nullptr);
  SetPixel(dc, 0, 0, RGB(255, 255, 255));
  MoveToEx(dc, 0, 0, nullptr);
  LineTo(dc, 5, 5);
  TextOutA(dc, 0, 0, "x", 1);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 1, 1, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::uint32_t pixel = 0;
  hash = Mix(
      hash, GetDIBits(dc, static_cast<HBITMAP>(GetCurrentObject(dc, OBJ_BITMAP)), 0, 1, &pixel, &info, DIB_RGB_COLORS));
  return Mix(hash, DeleteDC(dc));
}

// The text of an unknown code is written into a buffer: each thread must read its own.
Fingerprint UnknownCodes(Workspace&) {
  std::uint64_t wrong = 0;
  for (int code = 20000; code < 20040; ++code) {
    const std::string expected = "Unknown error code: " + std::to_string(code);
    wrong += expected != KGetErrorText(static_cast<K_ERRORS>(code));
  }
  return wrong;
}

// The stopwatch measures from this thread's own start.
Fingerprint Stopwatch(Workspace&) {
  KStartTiming();
  const auto start = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - start < std::chrono::microseconds(300)) {
  }
  const auto waited = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
  return KStopTiming(1000000) >= waited.count() ? 1 : 0;
}

struct Task {
  const char* name;
  std::function<Fingerprint(Workspace&)> run;
};

std::vector<Task> Tasks() {
  return {
      {"BMP gray", [](Workspace& w) { return SaveAndLoad<unsigned char>(w, 77, 41, K_FILE_FORMAT_BMP_GRAY, "g.bmp"); }},
      {"BMP colour", [](Workspace& w) { return SaveAndLoad<KC24>(w, 51, 33, K_FILE_FORMAT_BMP_COLOR, "c.bmp"); }},
      {"BMP bilevel", [](Workspace& w) { return SaveAndLoad<int>(w, 70, 21, K_FILE_FORMAT_BMP_BILEVEL, "b.bmp"); }},
      {"BMP C16", [](Workspace& w) { return SaveAndLoad<KC16>(w, 31, 17, K_FILE_FORMAT_BMP_COLOR, "16.bmp"); }},
      {"TIFF gray",
       [](Workspace& w) { return SaveAndLoad<unsigned char>(w, 90, 61, K_FILE_FORMAT_TIFF_GRAY, "g.tif"); }},
      {"TIFF 16",
       [](Workspace& w) { return SaveAndLoad<unsigned short>(w, 40, 30, K_FILE_FORMAT_TIFF_GRAY, "w.tif"); }},
      {"TIFF PackBits",
       [](Workspace& w) { return SaveAndLoad<unsigned char>(w, 64, 64, K_FILE_FORMAT_TIFF_GRAY_PACKBITS, "p.tif"); }},
      {"TIFF colour", [](Workspace& w) { return SaveAndLoad<KC24>(w, 45, 29, K_FILE_FORMAT_TIFF_COLOR, "c.tif"); }},
      {"JPEG gray",
       [](Workspace& w) { return SaveAndLoad<unsigned char>(w, 48, 40, K_FILE_FORMAT_JPEG_GRAY, "g.jpg"); }},
      {"JPEG colour", [](Workspace& w) { return SaveAndLoad<KC24>(w, 40, 32, K_FILE_FORMAT_JPEG_COLOR, "c.jpg"); }},
      {"PNG bilevel", [](Workspace& w) { return SaveAndLoad<int>(w, 45, 20, K_FILE_FORMAT_PNG_BILEVEL, "b.png"); }},
      {"PNG gray", [](Workspace& w) { return SaveAndLoad<unsigned char>(w, 66, 40, K_FILE_FORMAT_PNG_GRAY, "g.png"); }},
      {"PNG 16", [](Workspace& w) { return SaveAndLoad<unsigned short>(w, 30, 22, K_FILE_FORMAT_PNG_GRAY, "w.png"); }},
      {"PNG colour", [](Workspace& w) { return SaveAndLoad<KC24>(w, 52, 31, K_FILE_FORMAT_PNG_COLOR, "c.png"); }},
      {"TIFF Deflate",
       [](Workspace& w) { return SaveAndLoad<unsigned short>(w, 37, 29, K_FILE_FORMAT_TIFF_GRAY_DEFLATE, "d.tif"); }},
      {"TIFF LZW", [](Workspace& w) { return SaveAndLoad<KC24>(w, 44, 35, K_FILE_FORMAT_TIFF_COLOR_LZW, "l.tif"); }},
      {"resize", Resize},
      {"masks", Masks},
      {"drawing 32", [](Workspace& w) { return Drawing(w, 32); }},
      {"drawing 8", [](Workspace& w) { return Drawing(w, 8); }},
      {"colour drawing", ColourDrawing},
      {"palette update", PaletteUpdate},
      {"image DC", ImageDeviceContext},
      {"stock bitmap", StockBitmap},
      {"unknown codes", UnknownCodes},
      {"stopwatch", Stopwatch},
      {"relief", Relief},
      {"vector file", VectorFile},
      {"failure", Failure},
      {"settings", Settings},
  };
}

double StressSeconds() {
  const char* text = std::getenv("KV_STRESS_SECONDS");
  const double seconds = text != nullptr ? std::atof(text) : 0.0;
  return seconds > 0.0 ? seconds : 1.0;
}

// What one worker saw of each task: the first result, and whether a later one differed.
struct Seen {
  bool ran = false;
  bool varied = false;
  Fingerprint first = 0;
};

// Workers whose current error was not K_SUCCESS when they started.
std::atomic<int> gStartedWithAnError{0};

// Runs the tasks on `workers` threads at once until the time is up, each worker starting at a task of
// its own so that different tasks run at the same time. Nothing is built before: the first uses of
// lazily made objects (stock objects, palettes) happen in the workers too.
std::vector<std::vector<Seen>> RunWorkers(const std::vector<Task>& tasks, unsigned int workers, long& runs) {
  std::vector<std::vector<Seen>> seen(workers, std::vector<Seen>(tasks.size()));
  std::vector<long> counts(workers, 0);
  const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(StressSeconds());
  std::vector<std::thread> threads;
  for (unsigned int t = 0; t < workers; ++t) {
    threads.emplace_back([&, t] {
      Workspace own;
      if (KGetError() != K_SUCCESS) ++gStartedWithAnError;  // a thread starts with K_SUCCESS
      for (std::size_t i = t; std::chrono::steady_clock::now() < until || i < t + tasks.size(); ++i) {
        const std::size_t k = i % tasks.size();
        const Fingerprint result = tasks[k].run(own);
        Seen& s = seen[t][k];
        s.varied |= s.ran && result != s.first;
        if (!s.ran) s.first = result;
        s.ran = true;
        ++counts[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  runs = 0;
  for (long count : counts) runs += count;
  return seen;
}

TEST(Threads, EveryThreadSeesExactlyItsOwnResultsErrorsAndTraces) {
  KTraceCapture capture;  // boxes of every thread go to the thread that raised them
  KSetJpegQuality(75);
  KSetAngleUnit(K_ANGLE_UNIT_RADIANS);
  const std::vector<Task> tasks = Tasks();
  const unsigned int workers = std::max(4u, std::thread::hardware_concurrency());
  long runs = 0;
  const std::vector<std::vector<Seen>> seen = RunWorkers(tasks, workers, runs);

  // Each task's result alone, in this thread, after the workers: what every worker must have seen.
  Workspace alone;
  for (std::size_t k = 0; k < tasks.size(); ++k) {
    const Fingerprint reference = tasks[k].run(alone);
    for (unsigned int t = 0; t < workers; ++t) {
      EXPECT_TRUE(seen[t][k].ran) << tasks[k].name << " never ran in worker " << t;
      EXPECT_FALSE(seen[t][k].varied) << tasks[k].name << " gave different results in worker " << t;
      EXPECT_EQ(seen[t][k].first, reference) << tasks[k].name << " in worker " << t;
    }
  }
  EXPECT_EQ(gStartedWithAnError, 0) << "a new thread's current error must be K_SUCCESS";
  std::printf("%u workers ran %ld tasks\n", workers, runs);
}

}  // namespace
