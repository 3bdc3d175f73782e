#include "kvbase/render/resize.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <vector>

#include "kvbase/testing/render_test_support.h"
#include "kvbase/testing/trace_capture.h"

namespace {

// Every destination pixel holds the source pixel at floor(x * Ws / Wd), floor(y * Hs / Hd).
template <typename T>
::testing::AssertionResult FollowsTheFloorRule(KROI<T>& destination, long long ws, long long hs) {
  const int wd = destination.GetWidth(), hd = destination.GetHeight();
  for (int y = 0; y < hd; ++y) {
    for (int x = 0; x < wd; ++x) {
      const int sx = static_cast<int>(x * ws / wd), sy = static_cast<int>(y * hs / hd);
      if (!KSamePixel(destination.GetPixel(x, y), KPixelFor<T>(sx, sy))) {
        return ::testing::AssertionFailure() << "(" << x << ", " << y << ") is not source (" << sx << ", " << sy << ")";
      }
    }
  }
  return ::testing::AssertionSuccess();
}

struct Sizes {
  int ws, hs, wd, hd;
};

// Sizes where a floating-point nearest neighbour drifts, plus the usual reductions, enlargements and copies.
// Includes 3 -> 7 columns (table 0, 0, 0, 1, 1, 2, 2), 7 -> 3 (0, 2, 4) and 2 -> 5 rows (0, 0, 0, 1, 1).
const std::vector<Sizes> kSmallCases = {
    {3, 2, 7, 5},        {7, 3, 3, 2},    {17, 13, 17, 13}, {1, 1, 9, 4},     {9, 4, 1, 1},     {128, 128, 160, 160},
    {160, 120, 128, 96}, {33, 7, 64, 21}, {64, 21, 33, 7},  {10, 3, 1920, 4}, {3, 10, 4, 1920}, {200, 3, 333, 2},
    {333, 2, 200, 3},    {64, 2, 31, 2},  {90, 2, 45, 2},   {257, 2, 256, 1}, {256, 1, 257, 2},
};
const std::vector<Sizes> kExtremeCases = {
    {3, 2, 100000, 3},  {2, 3, 2, 100000},  {65536, 2, 1, 2},  {2, 65536, 3, 1},
    {4096, 3, 2048, 2}, {4096, 2, 3001, 5}, {1000, 3, 999, 4}, {999, 2, 1000, 3},
};

template <typename T>
void CheckPixelKind(const std::vector<Sizes>& sizes) {
  SCOPED_TRACE(::testing::Message() << sizeof(T) << "-byte pixels");
  for (const Sizes& s : sizes) {
    KImage<T> source(s.ws, s.hs), destination(s.wd, s.hd);
    KFillWith(source, KPixelFor<T>);
    KOk();
    KResize(&source, &destination);
    EXPECT_EQ(KGetError(), K_SUCCESS);
    EXPECT_TRUE(FollowsTheFloorRule(destination, s.ws, s.hs)) << s.ws << "x" << s.hs << " -> " << s.wd << "x" << s.hd;
  }
  // Between ROIs placed inside larger images, only the destination rectangle changes.
  const T sentinel = KPixelFor<T>(-1, -1);
  KImage<T> sourceImage(40, 30);
  KFill(sourceImage, sentinel);
  KROI<T> source(&sourceImage, 5, 4, 13, 9);
  KFillWith(source, KPixelFor<T>);
  for (const Sizes& place : {Sizes{3, 2, 29, 31}, Sizes{11, 7, 6, 5}, Sizes{0, 0, 50, 40}, Sizes{49, 39, 1, 1}}) {
    KImage<T> image(50, 40);
    KFill(image, sentinel);
    KROI<T> destination(&image, place.ws, place.hs, place.wd, place.hd);
    KResize(&source, &destination);
    EXPECT_TRUE(FollowsTheFloorRule(destination, 13, 9));
    KFill(destination, sentinel);
    EXPECT_TRUE(KPainted(image, sentinel).empty()) << "written outside the destination";
  }
}

TEST(Resize, FloorRuleForEveryPixelKindInImagesAndRois) {
  std::vector<Sizes> all = kSmallCases;
  all.insert(all.end(), kExtremeCases.begin(), kExtremeCases.end());
  CheckPixelKind<unsigned char>(all);
  CheckPixelKind<unsigned short>(kSmallCases);
  CheckPixelKind<KC15>(kSmallCases);
  CheckPixelKind<KC16>(kSmallCases);
  CheckPixelKind<KC24>(all);
  CheckPixelKind<KC24A>(kSmallCases);
}

// A lent buffer may describe a row of more than 4 GiB; columns past that point are found all the same.
// The row is reserved, not filled: only the pages of the chosen pixels are ever touched.
TEST(Resize, ColumnsBeyondFourGibibytesOfRow) {
  constexpr int kWidth = 2000000000, kColumns = 4;
  const std::size_t bytes = static_cast<std::size_t>(kWidth) * 3;
  void* row = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (row == MAP_FAILED) GTEST_SKIP() << "cannot reserve a 6 GB row";
  auto* pixels = static_cast<unsigned char*>(row);
  for (int x = 0; x < kColumns; ++x) {
    const std::size_t at = static_cast<std::size_t>(static_cast<long long>(x) * kWidth / kColumns) * 3;
    pixels[at] = static_cast<unsigned char>(10 + x), pixels[at + 1] = 0x55, pixels[at + 2] = 0xAA;
  }
  KImageC24 source, destination(kColumns, 1);
  source.SetImagePtr(kWidth, 1, row, 0x7ffffff8);  // one row: the pitch is never used
  KResize(&source, &destination);
  EXPECT_EQ(KGetError(), K_SUCCESS);
  for (int x = 0; x < kColumns; ++x) {
    EXPECT_TRUE(KSamePixel(destination.GetPixel(x, 0), KC24(0xAA, 0x55, static_cast<unsigned char>(10 + x)))) << x;
  }
  munmap(row, bytes);
}

TEST(Resize, RefusalsWriteNothing) {
  KTraceCapture trace;
  KImageC24 source(8, 8), destination(5, 5), empty;
  KFillWith(source, KPixelFor<KC24>);
  KFill(destination, KC24(1, 2, 3));
  KROIC24 noRows(&source, 2, 2, 4, 0), detached;
  struct Case {
    KROIC24 *source, *destination;
  } cases[] = {{&source, &empty},  {&empty, &destination},    {nullptr, &destination},
               {&source, nullptr}, {&detached, &destination}, {&noRows, &destination}};
  for (const Case& c : cases) {
    trace.Clear();
    KResize(c.source, c.destination);
    EXPECT_EQ(KGetError(), K_ERROR_IMAGE_MEMORY_ACCESS);
    ASSERT_FALSE(trace.Names().empty());
    EXPECT_EQ(trace.Names().back(), "KResize");
  }
  EXPECT_TRUE(FollowsTheFloorRule(source, 8, 8));  // the source is never written
  EXPECT_TRUE(KPainted(destination, KC24(1, 2, 3)).empty());

  // An empty destination has nothing to receive: not an error.
  KROIC24 nothing(&destination, 1, 1, 0, 3);
  trace.Clear();
  KResize(&source, &nothing);
  EXPECT_EQ(KGetError(), K_SUCCESS);
  EXPECT_TRUE(trace.Names().empty());
}

}  // namespace
