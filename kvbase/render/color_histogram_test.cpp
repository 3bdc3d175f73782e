#include "kvbase/render/color_histogram.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "kvbase/foundation/units.h"
#include "kvbase/image/image.h"
#include "kvbase/testing/trace_capture.h"

namespace {

// KC24(byte 2, byte 1, byte 0) is (X, Y, Z) of the plot.
bool Same(const KC24& a, const KC24& b) { return std::memcmp(&a, &b, 3) == 0; }
const KC24 kBackground(128, 128, 128);

void Fill(KImageC24& image, const KC24& value) {
  for (int y = 0; y < image.GetHeight(); ++y) {
    for (int x = 0; x < image.GetWidth(); ++x) image.SetPixel(value, x, y);
  }
}

KC24 Noise(int x, int y) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 0x9E3779B1u ^ static_cast<std::uint32_t>(y) * 0x85EBCA77u;
  h = (h ^ (h >> 13)) * 0xC2B2AE35u;
  return KC24(static_cast<unsigned char>(h), static_cast<unsigned char>(h >> 8), static_cast<unsigned char>(h >> 16));
}

// The pixels that differ from the background.
std::vector<std::pair<int, int>> Painted(KImageC24& image) {
  std::vector<std::pair<int, int>> painted;
  for (int y = 0; y < image.GetHeight(); ++y) {
    for (int x = 0; x < image.GetWidth(); ++x) {
      if (!Same(image.GetPixel(x, y), kBackground)) painted.push_back({x, y});
    }
  }
  return painted;
}

class ColorHistogram : public ::testing::Test {
 protected:
  void SetUp() override { KSetAngleUnit(K_ANGLE_UNIT_DEGREES); }
  void TearDown() override { KSetAngleUnit(K_ANGLE_UNIT_TURNS); }
};

TEST_F(ColorHistogram, IdentityView) {
  // Column = X, row = Y, depth = Z: each (X, Y) shows the largest Z among its pixels.
  const KC24 pixels[6] = {KC24(10, 20, 5), KC24(10, 20, 7), KC24(10, 20, 6), KC24(200, 100, 50), KC24(254, 1, 254),
                          KC24(200, 100, 50)};
  KImageC24 source(3, 2), destination(256, 256);
  for (int i = 0; i < 6; ++i) source.SetPixel(pixels[i], i % 3, i / 3);
  KRenderColorHistogram(&source, &destination, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f);
  EXPECT_EQ(KGetError(), K_SUCCESS);
  int inside = 0;
  for (const auto& p : Painted(destination)) inside += p.first % 255 != 0 && p.second % 255 != 0;
  EXPECT_EQ(inside, 3);
  EXPECT_TRUE(Same(destination.GetPixel(10, 20), KC24(10, 20, 7)));
  EXPECT_TRUE(Same(destination.GetPixel(200, 100), KC24(200, 100, 50)));
  EXPECT_TRUE(Same(destination.GetPixel(254, 1), KC24(254, 1, 254)));
  // The cube's edges lie on the border, the nearest (Z = 255) in front.
  for (int i = 0; i < 256; ++i) {
    const unsigned char v = static_cast<unsigned char>(i);
    ASSERT_TRUE(Same(destination.GetPixel(i, 0), KC24(v, 0, 255)));
    ASSERT_TRUE(Same(destination.GetPixel(i, 255), KC24(v, 255, 255)));
    ASSERT_TRUE(Same(destination.GetPixel(0, i), KC24(0, v, 255)));
    ASSERT_TRUE(Same(destination.GetPixel(255, i), KC24(255, v, 255)));
  }
}

TEST_F(ColorHistogram, SingleColourGivesOnePointAndTheEdges) {
  KImageC24 source(50, 40), destination(300, 300);
  Fill(source, KC24(30, 60, 90));
  KRenderColorHistogram(&source, &destination, 30.0f, 45.0f, 0.8f, 0.8f, 0.8f);
  int points = 0, edges = 0;
  for (const auto& p : Painted(destination)) {
    const KC24 c = destination.GetPixel(p.first, p.second);
    auto end = [](unsigned char v) { return v == 0 || v == 255; };
    points += Same(c, KC24(30, 60, 90));
    edges += end(c.byte0) + end(c.byte1) + end(c.byte2) >= 2;  // edge points have two coordinates at an end
  }
  EXPECT_EQ(points, 1);
  EXPECT_EQ(points + edges, static_cast<int>(Painted(destination).size()));
  EXPECT_GT(edges, 12 * 100);  // twelve edges of more than 100 pixels at this scale
}

TEST_F(ColorHistogram, OnePointPictures) {
  struct Case {
    const char* what;
    float tilt, turn, scale;
    int width, height, x, y;
    std::vector<KC24> colours, coordinates;
  } cases[] = {
      // Scale 0: every point, edges included, lands at (W / 2, H / 2) at depth 127; the first one stays.
      {"zero scale", 20, 70, 0, 101, 51, 50, 25, {Noise(0, 0), Noise(1, 0), Noise(2, 0)}, {}},
      // Column X - 78, row Y - 78: edges and coordinates below 78 or above 177 fall outside, unwrapped.
      {"outside", 0, 0, 1, 100, 100, 42, 42,
       {KC24(120, 120, 0), KC24(10, 120, 0), KC24(200, 120, 0), KC24(120, 10, 0), KC24(120, 250, 0)}, {}},
      // Colours painted where the coordinates land.
      {"two ROIs", 0, 0, 1, 100, 100, 2, 3, {KC24(1, 2, 3), KC24(4, 5, 6)}, {KC24(80, 81, 9), KC24(10, 10, 10)}},
  };
  for (const Case& c : cases) {
    const int n = static_cast<int>(c.colours.size());
    KImageC24 colours(n, 1), coordinates(n, 1), destination(c.width, c.height);
    for (int i = 0; i < n; ++i) {
      colours.SetPixel(c.colours[i], i, 0);
      coordinates.SetPixel(c.coordinates.empty() ? c.colours[i] : c.coordinates[i], i, 0);
    }
    if (c.coordinates.empty()) {
      KRenderColorHistogram(&colours, &destination, c.tilt, c.turn, c.scale, c.scale, c.scale);
    } else {
      KRenderColorHistogram(&colours, &coordinates, &destination, c.tilt, c.turn, c.scale, c.scale, c.scale);
    }
    EXPECT_EQ(Painted(destination), (std::vector<std::pair<int, int>>{{c.x, c.y}})) << c.what;
    EXPECT_TRUE(Same(destination.GetPixel(c.x, c.y), c.colours[0])) << c.what;
  }
}

TEST_F(ColorHistogram, OverloadsAgree) {
  KImageC24 source(64, 48);
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 64; ++x) source.SetPixel(Noise(x / 2, y), x, y);  // pairs of equal pixels
  }
  const float views[][5] = {{0, 0, 1, 1, 1}, {30, 45, 0.7f, 0.7f, 0.7f}, {-60, 200, 1, 0.5f, 2}, {90, 90, 1, 1, 1}};
  for (const float* v : views) {
    KImageC24 single(320, 240), pair(320, 240);
    KRenderColorHistogram(&source, &single, v[0], v[1], v[2], v[3], v[4]);
    KRenderColorHistogram(&source, &source, &pair, v[0], v[1], v[2], v[3], v[4]);
    for (int y = 0; y < 240; ++y) {
      ASSERT_EQ(std::memcmp(single.GetImagePtr(0, y), pair.GetImagePtr(0, y), 320 * 3), 0) << v[0] << " row " << y;
    }
  }
}

TEST_F(ColorHistogram, RefusalsLeaveTheDestinationUntouched) {
  KTraceCapture trace;
  KImageC24 source(8, 8), other(8, 7), empty, destination(8, 8);
  std::vector<unsigned char> tiny(16, 7);
  KImageC24 unaddressable;  // a depth buffer this wide cannot be addressed
  unaddressable.SetImagePtr(200000000, 1, tiny.data(), 24);
  const char* single = "KRenderColorHistogram";
  const char* pair = "KRenderColorHistogram (RGB, System)";
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
    Fill(destination, KC24(7, 7, 7));
    trace.Clear();
    c.call();
    EXPECT_EQ(KGetError(), c.code) << c.name;
    ASSERT_FALSE(trace.Names().empty());
    EXPECT_EQ(trace.Names().back(), c.name);  // after the depth image's own trace, if any
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 8; ++x) ASSERT_TRUE(Same(destination.GetPixel(x, y), KC24(7, 7, 7))) << c.code;
    }
  }
  EXPECT_EQ(tiny, std::vector<unsigned char>(16, 7));
}

}  // namespace
