#include "kvbase/render/color_histogram.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "kvbase/render/render_test_support.h"
#include "kvbase/testing/trace_capture.h"

namespace {

using ColorHistogram = KAngleUnitTest<K_ANGLE_UNIT_DEGREES>;

// KC24(byte 2, byte 1, byte 0) is (X, Y, Z) of the plot.
const KC24 kBackground(128, 128, 128);

TEST_F(ColorHistogram, IdentityView) {
  // Column = X, row = Y, depth = Z: each (X, Y) shows the largest Z among its pixels.
  const KC24 pixels[6] = {KC24(10, 20, 5), KC24(10, 20, 7), KC24(10, 20, 6), KC24(200, 100, 50), KC24(254, 1, 254),
                          KC24(200, 100, 50)};
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

TEST_F(ColorHistogram, OnePointPictures) {
  struct Case {
    const char* what;
    float tilt, turn, scale;
    int width, height, x, y;
    std::vector<KC24> colours, coordinates;
  } cases[] = {
      // Scale 0: every point, edges included, lands at (W / 2, H / 2) at depth 127; the first one stays.
      {"zero scale", 20, 70, 0, 101, 51, 50, 25, {KC24(1, 2, 3), KC24(4, 5, 6), KC24(7, 8, 9)}, {}},
      // Column X - 78, row Y - 78: edges and coordinates below 78 or above 177 fall outside, unwrapped.
      {"outside", 0, 0, 1, 100, 100, 42, 42,
       {KC24(120, 120, 0), KC24(10, 120, 0), KC24(200, 120, 0), KC24(120, 10, 0), KC24(120, 250, 0)}, {}},
      {"quarter turn", 0, 90, 1, 100, 100, 77, 42, {KC24(30, 120, 100)}, {}},  // column 177 - Z, row Y - 78
      {"quarter tilt", 90, 0, 1, 100, 100, 42, 22, {KC24(120, 30, 100)}, {}},  // column X - 78, row Z - 78
      // Colours painted where the coordinates land.
      {"two ROIs", 0, 0, 1, 100, 100, 2, 3, {KC24(1, 2, 3), KC24(4, 5, 6)}, {KC24(80, 81, 9), KC24(10, 10, 10)}},
  };
  for (const Case& c : cases) {
    const int n = static_cast<int>(c.colours.size());
    KImageC24 colours(n, 1), coordinates(n, 1), destination(c.width, c.height);
    KFillWith(colours, [&](int x, int) { return c.colours[x]; });
    if (c.coordinates.empty()) {
      KRenderColorHistogram(&colours, &destination, c.tilt, c.turn, c.scale, c.scale, c.scale);
    } else {
      KFillWith(coordinates, [&](int x, int) { return c.coordinates[x]; });
      KRenderColorHistogram(&colours, &coordinates, &destination, c.tilt, c.turn, c.scale, c.scale, c.scale);
    }
    EXPECT_EQ(KPainted(destination, kBackground), (KPoints{{c.x, c.y}})) << c.what;
    EXPECT_TRUE(KSamePixel(destination.GetPixel(c.x, c.y), c.colours[0])) << c.what;
  }
}

TEST_F(ColorHistogram, OverloadsAgree) {
  KImageC24 source(64, 48);
  KFillWith(source, [](int x, int y) { return KPixelFor<KC24>(x / 2, y); });  // pairs of equal pixels
  const float views[][5] = {{0, 0, 1, 1, 1}, {30, 45, 0.7f, 0.7f, 0.7f}, {-60, 200, 1, 0.5f, 2}, {90, 90, 1, 1, 1}};
  for (const float* v : views) {
    KImageC24 single(320, 240), pair(320, 240);
    KRenderColorHistogram(&source, &single, v[0], v[1], v[2], v[3], v[4]);
    KRenderColorHistogram(&source, &source, &pair, v[0], v[1], v[2], v[3], v[4]);
    EXPECT_GT(KPainted(single, kBackground).size(), 64u * 48 / 4) << v[0];  // points and edges at every view
    for (int y = 0; y < 240; ++y) {
      ASSERT_EQ(std::memcmp(single.GetImagePtr(0, y), pair.GetImagePtr(0, y), 320 * 3), 0) << v[0] << " row " << y;
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
