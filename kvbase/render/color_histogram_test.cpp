#include "kvbase/render/color_histogram.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "kvbase/testing/render_test_support.h"
#include "kvbase/testing/trace_capture.h"

namespace {

using ColorHistogram = KAngleUnitTest<K_ANGLE_UNIT_DEGREES>;

// KC24(byte 2, byte 1, byte 0) is (X, Y, Z) of the plot.
const KC24 kBackground(128, 128, 128);

TEST_F(ColorHistogram, IdentityView) {
  // Column = X, row = Y, depth = Z: each (X, Y) shows the largest Z among its pixels.
  const KC24 pixels[6] = {KC24(10, 20, 5),    KC24(10, 20, 7),   KC24(10, 20, 6),
                          KC24(200, 100, 50), KC24(254, 1, 254), KC24(200, 100, 50)};
  KImageC24 source(3, 2), destination(256, 256);
  KFillWith(source, [&](int x, int y) { return pixels[3 * y + x]; });
  KRenderColorHistogram(&source, &destination, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f);
  EXPECT_EQ(KGetError(), K_SUCCESS);
  int inside = 0;
  for (const auto& p : KPainted(destination, kBackground)) inside += p.first % 255 != 0 && p.second % 255 != 0;
  EXPECT_EQ(inside, 3);
  for (const KC24& p : {KC24(10, 20, 7), KC24(200, 100, 50), KC24(254, 1, 254)}) {
    EXPECT_TRUE(KSamePixel(destination.GetPixel(p.byte2, p.byte1), p)) << int{p.byte2};
  }
  // The cube's edges lie on the border, the nearest (Z = 255) in front.
  for (int i = 0; i < 256; ++i) {
    const unsigned char v = static_cast<unsigned char>(i);
    ASSERT_TRUE(KSamePixel(destination.GetPixel(i, 0), KC24(v, 0, 255)));
    ASSERT_TRUE(KSamePixel(destination.GetPixel(i, 255), KC24(v, 255, 255)));
    ASSERT_TRUE(KSamePixel(destination.GetPixel(0, i), KC24(0, v, 255)));
    ASSERT_TRUE(KSamePixel(destination.GetPixel(255, i), KC24(255, v, 255)));
  }
}

TEST_F(ColorHistogram, PointPicturesThroughBothOverloads) {
  struct Case {
    const char* what;
    float tilt, turn, scaleX, scaleY, scaleZ;
    int width, height;
    KPoints painted;                         // all in the first colour
    std::vector<KC24> colours, coordinates;  // no coordinates: the colours are their own
  } cases[] = {
      // Scale 0: every point, edges included, lands at (W / 2, H / 2) at depth 127; the first one stays.
      {"zero scale", 20, 70, 0, 0, 0, 101, 51, {{50, 25}}, {KC24(1, 2, 3), KC24(4, 5, 6), KC24(7, 8, 9)}, {}},
      // Column X - 78, row Y - 78: edges and coordinates below 78 or above 177 fall outside, unwrapped.
      {"outside",
       0,
       0,
       1,
       1,
       1,
       100,
       100,
       {{42, 42}},
       {KC24(120, 120, 0), KC24(10, 120, 0), KC24(200, 120, 0), KC24(120, 10, 0), KC24(120, 250, 0)},
       {}},
      {"quarter turn", 0, 90, 1, 1, 1, 100, 100, {{77, 42}}, {KC24(30, 120, 100)}, {}},  // column 177 - Z, row Y - 78
      {"quarter tilt", 90, 0, 1, 1, 1, 100, 100, {{42, 22}}, {KC24(120, 30, 100)}, {}},  // column X - 78, row Z - 78
      {"uneven scales", 0, 0, 1, 0.5f, 2, 100, 100, {{42, 46}}, {KC24(120, 120, 50)}, {}},  // row Y / 2 - 13.75
      // Colours painted where the coordinates land; equal neighbouring colours are both painted.
      {"two ROIs",
       0,
       0,
       1,
       1,
       1,
       100,
       100,
       {{2, 3}},
       {KC24(1, 2, 3), KC24(4, 5, 6)},
       {KC24(80, 81, 9), KC24(10, 10, 10)}},
      {"equal colours",
       0,
       0,
       1,
       1,
       1,
       100,
       100,
       {{2, 3}, {12, 3}},
       {KC24(1, 2, 3), KC24(1, 2, 3)},
       {KC24(80, 81, 9), KC24(90, 81, 9)}},
  };
  for (const Case& c : cases) {
    const int n = static_cast<int>(c.colours.size());
    KImageC24 colours(n, 1), coordinates(n, 1), single(c.width, c.height), pair(c.width, c.height);
    KFillWith(colours, [&](int x, int) { return c.colours[x]; });
    KFillWith(coordinates, [&](int x, int) { return c.coordinates.empty() ? c.colours[x] : c.coordinates[x]; });
    KRenderColorHistogram(&colours, &coordinates, &pair, c.tilt, c.turn, c.scaleX, c.scaleY, c.scaleZ);
    std::vector<KImageC24*> pictures = {&pair};
    if (c.coordinates.empty()) {
      KRenderColorHistogram(&colours, &single, c.tilt, c.turn, c.scaleX, c.scaleY, c.scaleZ);
      pictures.push_back(&single);
    }
    for (KImageC24* picture : pictures) {
      EXPECT_EQ(KPainted(*picture, kBackground), c.painted) << c.what;
      for (const auto& p : c.painted) {
        EXPECT_TRUE(KSamePixel(picture->GetPixel(p.first, p.second), c.colours[0])) << c.what;
      }
    }
  }
}

TEST_F(ColorHistogram, RefusalsLeaveTheDestinationUntouched) {
  KTraceCapture trace;
  KImageC24 source(8, 8), other(8, 7), empty, destination(8, 8);
  std::vector<unsigned char> tiny(16, 7);  // a depth buffer as wide as `unaddressable` cannot be addressed
  KImageC24 unaddressable;
  unaddressable.SetImagePtr(200000000, 1, tiny.data(), 24);
  const char *single = "KRenderColorHistogram", *pair = "KRenderColorHistogram (RGB, System)";
  struct Case {
    std::function<void()> call;
    K_ERRORS code;
    const char* name;
  } cases[] = {
      {[&] { KRenderColorHistogram(&source, &empty, 0, 0, 1, 1, 1); }, K_ERROR_IMAGE_MEMORY_ACCESS, single},
      {[&] { KRenderColorHistogram(nullptr, &destination, 0, 0, 1, 1, 1); }, K_ERROR_IMAGE_MEMORY_ACCESS, single},
      {[&] { KRenderColorHistogram(&source, &empty, &destination, 0, 0, 1, 1, 1); }, K_ERROR_IMAGE_MEMORY_ACCESS, pair},
      {[&] { KRenderColorHistogram(&empty, &source, &destination, 0, 0, 1, 1, 1); }, K_ERROR_IMAGE_MEMORY_ACCESS, pair},
      {[&] { KRenderColorHistogram(&source, &other, &destination, 0, 0, 1, 1, 1); }, K_ERROR_IMAGE_SIZES_DIFFER, pair},
      {[&] { KRenderColorHistogram(&other, &source, &destination, 0, 0, 1, 1, 1); }, K_ERROR_IMAGE_SIZES_DIFFER, pair},
      {[&] { KRenderColorHistogram(&source, &unaddressable, 0, 0, 1, 1, 1); }, K_ERROR_ALLOCATION, single},
  };
  for (const Case& c : cases) {
    KFill(destination, KC24(7, 7, 7));
    trace.Clear();
    c.call();
    EXPECT_EQ(KGetError(), c.code) << c.name;
    ASSERT_FALSE(trace.Names().empty());
    EXPECT_EQ(trace.Names().back(), c.name);  // after the depth image's own trace, if any
    EXPECT_TRUE(KPainted(destination, KC24(7, 7, 7)).empty()) << c.code;
  }
  EXPECT_EQ(tiny, std::vector<unsigned char>(16, 7));
}

}  // namespace
