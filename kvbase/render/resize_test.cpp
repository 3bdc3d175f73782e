#include "kvbase/render/resize.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "kvbase/image/image.h"
#include "kvbase/testing/trace_capture.h"

namespace {

// A pixel value that differs between nearby positions, for any pixel size.
std::uint32_t Hash(int x, int y) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 0x9E3779B1u ^ static_cast<std::uint32_t>(y) * 0x85EBCA77u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  return h ^ (h >> 12);
}

template <typename T>
T PixelFor(int x, int y) {
  const std::uint32_t h = Hash(x, y);
  T value;
  std::memcpy(&value, &h, sizeof(T));
  return value;
}

template <typename T>
bool SamePixel(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

template <typename T>
void Fill(KROI<T>& roi, const T& value) {
  for (int y = 0; y < roi.GetHeight(); ++y) {
    for (int x = 0; x < roi.GetWidth(); ++x) *roi.GetImagePtr(x, y) = value;
  }
}

template <typename T>
void FillWithPositions(KROI<T>& roi) {
  for (int y = 0; y < roi.GetHeight(); ++y) {
    for (int x = 0; x < roi.GetWidth(); ++x) *roi.GetImagePtr(x, y) = PixelFor<T>(x, y);
  }
}

// Every destination pixel holds the source pixel at floor(x * Ws / Wd), floor(y * Hs / Hd).
template <typename T>
::testing::AssertionResult FollowsTheFloorRule(KROI<T>& destination, int ws, int hs) {
  const long long wd = destination.GetWidth(), hd = destination.GetHeight();
  for (long long y = 0; y < hd; ++y) {
    const int sy = static_cast<int>(y * hs / hd);
    for (long long x = 0; x < wd; ++x) {
      const int sx = static_cast<int>(x * ws / wd);
      if (!SamePixel(*destination.GetImagePtr(static_cast<int>(x), static_cast<int>(y)), PixelFor<T>(sx, sy))) {
        return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is not source (" << sx << ", "
                                             << sy << ")";
      }
    }
  }
  return ::testing::AssertionSuccess();
}

struct Sizes {
  int ws, hs, wd, hd;
};

template <typename T>
void CheckSizes(const std::vector<Sizes>& cases) {
  for (const Sizes& s : cases) {
    SCOPED_TRACE(::testing::Message() << sizeof(T) << "-byte pixels, " << s.ws << " x " << s.hs << " -> " << s.wd
                                      << " x " << s.hd);
    KImage<T> source(s.ws, s.hs);
    KImage<T> destination(s.wd, s.hd);
    FillWithPositions(source);
    KOk();
    KResize(&source, &destination);
    EXPECT_EQ(KGetError(), K_SUCCESS);
    EXPECT_TRUE(FollowsTheFloorRule(destination, s.ws, s.hs));
  }
}

// Sizes where a floating-point nearest neighbour drifts, plus the usual reductions, enlargements and copies.
const std::vector<Sizes> kSmallCases = {
    {3, 2, 7, 5}, {7, 3, 3, 2}, {17, 13, 17, 13}, {1, 1, 9, 4}, {9, 4, 1, 1}, {128, 128, 160, 160},
    {160, 120, 128, 96}, {33, 7, 64, 21}, {64, 21, 33, 7}, {10, 3, 1920, 4}, {3, 10, 4, 1920},
    {200, 3, 333, 2}, {333, 2, 200, 3}, {64, 2, 31, 2}, {90, 2, 45, 2}, {257, 2, 256, 1}, {256, 1, 257, 2},
};

TEST(Resize, FloorRuleForEveryPixelType) {
  // Includes 3 -> 7 columns (table 0, 0, 0, 1, 1, 2, 2), 7 -> 3 (0, 2, 4) and 2 -> 5 rows (0, 0, 0, 1, 1).
  CheckSizes<unsigned char>(kSmallCases);
  CheckSizes<unsigned short>(kSmallCases);
  CheckSizes<KC15>(kSmallCases);
  CheckSizes<KC16>(kSmallCases);
  CheckSizes<KC24>(kSmallCases);
  CheckSizes<KC24A>(kSmallCases);
}

TEST(Resize, FloorRuleForExtremeRatios) {
  const std::vector<Sizes> extreme = {
      {3, 2, 100000, 3}, {2, 3, 2, 100000}, {65536, 2, 1, 2}, {2, 65536, 3, 1},
      {4096, 3, 2048, 2}, {4096, 2, 3001, 5}, {1000, 3, 999, 4}, {999, 2, 1000, 3},
  };
  CheckSizes<unsigned char>(extreme);
  CheckSizes<KC24>(extreme);
}

// Resizing between ROIs placed inside larger images reads and writes only inside the two rectangles.
template <typename T>
void CheckRoiInImage() {
  SCOPED_TRACE(::testing::Message() << sizeof(T) << "-byte pixels");
  const T sentinel = PixelFor<T>(-1, -1);
  KImage<T> sourceImage(40, 30);
  Fill(sourceImage, sentinel);
  KROI<T> source(&sourceImage, 5, 4, 13, 9);
  FillWithPositions(source);
  for (const Sizes& place : {Sizes{3, 2, 29, 31}, Sizes{11, 7, 6, 5}, Sizes{0, 0, 50, 40}, Sizes{49, 39, 1, 1}}) {
    KImage<T> image(50, 40);
    Fill(image, sentinel);
    KROI<T> destination(&image, place.ws, place.hs, place.wd, place.hd);
    KResize(&source, &destination);
    EXPECT_TRUE(FollowsTheFloorRule(destination, 13, 9));
    int touchedOutside = 0;
    for (int y = 0; y < 40; ++y) {
      for (int x = 0; x < 50; ++x) {
        const bool inside = x >= place.ws && x < place.ws + place.wd && y >= place.hs && y < place.hs + place.hd;
        touchedOutside += !inside && !SamePixel(*image.GetImagePtr(x, y), sentinel);
      }
    }
    EXPECT_EQ(touchedOutside, 0);
  }
}

TEST(Resize, RoiInImageTouchesOnlyTheRoi) {
  CheckRoiInImage<unsigned char>();
  CheckRoiInImage<unsigned short>();
  CheckRoiInImage<KC15>();
  CheckRoiInImage<KC16>();
  CheckRoiInImage<KC24>();
  CheckRoiInImage<KC24A>();
}

TEST(Resize, RefusalsWriteNothing) {
  KTraceCapture trace;
  KImageC24 source(8, 8);
  FillWithPositions(source);
  KImageC24 destination(5, 5);
  Fill(destination, KC24(1, 2, 3));
  KImageC24 empty;
  KROIC24 noRows(&source, 2, 2, 4, 0);
  KROIC24 detached;

  struct Case {
    KROIC24* source;
    KROIC24* destination;
  } cases[] = {{&source, &empty}, {&empty, &destination}, {nullptr, &destination}, {&source, nullptr},
               {&detached, &destination}, {&noRows, &destination}};
  for (const Case& c : cases) {
    trace.Clear();
    KResize(c.source, c.destination);
    EXPECT_EQ(KGetError(), K_ERROR_IMAGE_MEMORY_ACCESS);
    ASSERT_FALSE(trace.Names().empty());
    EXPECT_EQ(trace.Names().back(), "KResize");
  }
  EXPECT_TRUE(FollowsTheFloorRule(source, 8, 8));  // the source is never written
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 5; ++x) ASSERT_TRUE(SamePixel(destination.GetPixel(x, y), KC24(1, 2, 3)));
  }

  // An empty destination has nothing to receive: not an error.
  KROIC24 nothing(&destination, 1, 1, 0, 3);
  trace.Clear();
  KResize(&source, &nothing);
  EXPECT_EQ(KGetError(), K_SUCCESS);
  EXPECT_TRUE(trace.Names().empty());
}

}  // namespace
