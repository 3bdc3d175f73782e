#include "kvbase/image/image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "kvbase/testing/trace_capture.h"

namespace {

using Names = std::vector<std::string>;

TEST(Image, BufferLayoutPerPixelType) {
  KImageBW8 gray(5, 3);
  KImageBW1 bits(33, 2);
  KImageC24 colour(5, 5);
  KImageComplex64 complex(3, 1);
  struct Case {
    const char* name;
    KGenericROI& image;
    int rowPitch, x, y, offset;
  } cases[] = {{"BW8", gray, 8, 2, 1, 10},
               {"BW1", bits, 8, 9, 1, 9},
               {"C24", colour, 16, 1, 1, 19},
               {"Complex64", complex, 24, 2, 0, 16}};
  for (const Case& c : cases) {
    const auto* base = static_cast<unsigned char*>(c.image.GetGenericImagePtr(0, 0));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(base) % 32, 0u) << c.name;
    EXPECT_EQ(c.image.GetRowPitch(), c.rowPitch) << c.name;  // rows padded to 32 bits
    EXPECT_EQ(static_cast<unsigned char*>(c.image.GetGenericImagePtr(c.x, c.y)) - base, c.offset) << c.name;
  }
  EXPECT_EQ(bits.GetBitIndex(9, 1), 1u);
  EXPECT_EQ(complex.GetColorSystem(), K_COLOR_SYSTEM_GRAY);
  EXPECT_EQ(KImageSubPixel64().GetColorSystem(), K_COLOR_SYSTEM_NONE);
}

TEST(Image, CallerBufferIsUsedInPlaceAndNeverFreed) {
  std::vector<unsigned char> pixels(640 * 480, 9);
  {
    KImageBW8 image(2, 2);
    image.SetImagePtr(640, 480, pixels.data(), 0);
    EXPECT_EQ(image.GetBitsPerRow(), 5120);
    image.SetPixel(5, 1, 1);
    EXPECT_EQ(pixels[641], 5);
    image.SetImagePtr(pixels.data() + 640, 2 * 640 * 8);  // every other row, same size
    EXPECT_EQ(image.GetImagePtr(0, 1), pixels.data() + 640 + 1280);
    image.SetSize(10, 10);  // a new size forgets the caller's buffer
    EXPECT_NE(image.GetImagePtr(0, 0), nullptr);
    EXPECT_TRUE(image.GetImagePtr(0, 0) < pixels.data() || image.GetImagePtr(0, 0) >= pixels.data() + pixels.size());
    image.SetImagePtr(640, 480, pixels.data(), 0);
  }  // destroyed while borrowing: the sanitizer build would catch a free of `pixels`
  EXPECT_EQ(pixels[0], 9);
}

TEST(Image, SetSizeKeepsTheBufferForTheSameSizeAndEmptiesTheImageForBadSizes) {
  KTraceCapture trace;
  KImageBW8 image(8, 8);
  image.SetPixel(77, 3, 3);
  unsigned char* buffer = image.GetImagePtr(0, 0);
  image.SetRectangleMask(0, 0, 0, 0);
  image.SetSize(8, 8);  // same size: nothing changes
  EXPECT_EQ(image.GetImagePtr(0, 0), buffer);
  EXPECT_EQ(image.GetPixel(3, 3), 77);
  EXPECT_EQ(image.GetMask().GetNumElements(), 8u);
  image.SetSize(0, 100);
  EXPECT_EQ(image.Void(), 1);
  EXPECT_EQ(image.GetHeight(), 100);
  EXPECT_EQ(image.GetMask().GetNumElements(), 0u);  // a new size empties the mask

  image.SetSize(10, 10);
  KROIBW8 roi(&image, 2, 2, 5, 5);
  image.SetSize(-3, 10);
  EXPECT_EQ(KGetError(), K_ERROR_PARAMETER_1_OUT_OF_RANGE);
  EXPECT_EQ(image.GetWidth(), 0);
  EXPECT_EQ(image.GetHeight(), 0);
  EXPECT_EQ(image.Void(), 1);
  EXPECT_EQ(roi.GetWidth(), 0);  // children fitted to nothing

  struct Huge {
    int width, height;
  } huge[] = {{INT_MAX, 2}, {1 << 30, 1 << 30}, {1 << 20, 1 << 20}};
  for (const Huge& h : huge) {
    KImageC24 big(4, 4);
    trace.Clear();
    big.SetSize(h.width, h.height);
    EXPECT_EQ(KGetError(), K_ERROR_ALLOCATION) << h.width << " x " << h.height;
    EXPECT_EQ(trace.Names(), Names{"KImage::SetSize"}) << h.width << " x " << h.height;
    EXPECT_EQ(big.GetWidth() + big.GetHeight(), 0);
    EXPECT_EQ(big.Void(), 1);
  }
}

TEST(Image, PixelAccessPerType) {
  KImageBW1 bits(16, 2);
  auto* bytes = static_cast<unsigned char*>(bits.GetGenericImagePtr(0, 0));
  std::fill_n(bytes, 8, 0);
  bytes[0] = 0x40;  // the leftmost pixel is the most significant bit
  EXPECT_EQ(bits.GetPixel(1, 0), 1);
  EXPECT_EQ(bits.GetPixel(0, 0), 0);
  KROIBW1 roi(&bits, 3, 1, 10, 1);
  roi.SetPixel(5, 6, 0);  // column 9 of row 1; any non-zero value sets the bit
  EXPECT_EQ(bytes[5], 0x40);
  EXPECT_EQ(bits.GetPixel(9, 1), 1);
  roi.SetPixel(0, 6, 0);
  EXPECT_EQ(bits.GetPixel(9, 1), 0);

  KImageC24 colour(4, 4);
  KROIC24 window(&colour, 1, 2, 2, 2);
  window.SetPixel(KC24(1, 2, 3), 1, 1);
  EXPECT_EQ(reinterpret_cast<unsigned char*>(colour.GetImagePtr(0, 3))[6], 3);
}

TEST(Image, PixelDimensionsLiveInTheRoot) {
  KTraceCapture trace;
  KImageBW8 image(10, 10);
  KROIBW8 roi(&image, 1, 1, 5, 5), other(&image, 2, 2, 3, 3);
  float w, h;
  KMeasurementUnit* unit;
  roi.GetResolution(w, h, unit);
  EXPECT_EQ(w, 1.0f);
  EXPECT_EQ(unit, &KUnitNone);
  roi.SetResolution(4.0f, 2.0f, &KUnit_mm);
  other.GetPixelDimensions(w, h, unit);
  EXPECT_EQ(w, 0.25f);
  EXPECT_EQ(h, 0.5f);
  EXPECT_EQ(unit, &KUnit_mm);

  image.SetPixelDimensions(0.0f, 2.0f, &KUnit_cm);  // one zero is accepted
  image.GetResolution(w, h, unit);
  EXPECT_TRUE(std::isinf(w));
  image.SetPixelDimensions(0.0f, -0.0f, &KUnit_m);
  image.SetResolution(0.0f, 5.0f, &KUnit_m);
  EXPECT_EQ(KGetError(), K_ERROR_PIXELS_NOT_FINITE);
  image.GetPixelDimensions(w, h, unit);
  EXPECT_EQ(h, 2.0f);
  EXPECT_EQ(unit, &KUnit_cm);
  EXPECT_EQ(trace.Names(), (Names{"KImage::SetPixelDimensions", "KGenericImage::SetResolution"}));
}

TEST(Image, StreamRecordsRoundTrip) {
  KImageBW8 image(3, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) image.SetPixel(static_cast<unsigned char>(10 * y + x), x, y);
  KROIBW8 roi(&image, 1, 0, 2, 2);
  std::FILE* file = std::tmpfile();
  KOk();
  image.Serialize(file, 1, 0);
  roi.Serialize(file, 1, 0);
  EXPECT_EQ(std::ftell(file), 8 + 2 * 4 + 16);

  std::rewind(file);
  KImageBW8 copy;
  copy.Serialize(file, 0, 0);
  KROIBW8 roiCopy;
  roiCopy.Attach(&copy);
  roiCopy.Serialize(file, 0, 0);
  std::fclose(file);
  EXPECT_EQ(KGetError(), K_SUCCESS);
  ASSERT_EQ(copy.GetWidth(), 3);
  EXPECT_EQ(copy.GetPixel(2, 1), 12);
  EXPECT_EQ(roiCopy.GetOrgX(), 1);
  EXPECT_EQ(roiCopy.GetWidth(), 2);
}

}  // namespace
