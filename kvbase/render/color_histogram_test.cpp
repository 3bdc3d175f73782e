#include "kvbase/render/color_histogram.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "kvbase/foundation/units.h"
#include "kvbase/image/image.h"
#include "kvbase/testing/trace_capture.h"

namespace {

// KC24(byte 2, byte 1, byte 0) is (X, Y, Z) of the plot.
bool Same(const KC24& a, const KC24& b) { return a.byte0 == b.byte0 && a.byte1 == b.byte1 && a.byte2 == b.byte2; }
bool IsBackground(const KC24& p) { return Same(p, KC24(128, 128, 128)); }
// Cube edge points have at least two coordinates at 0 or 255.
bool OnCubeEdge(const KC24& p) {
  auto end = [](unsigned char v) { return v == 0 || v == 255; };
  return end(p.byte0) + end(p.byte1) + end(p.byte2) >= 2;
}

void Fill(KImageC24& image, const KC24& value) {
  for (int y = 0; y < image.GetHeight(); ++y) {
    for (int x = 0; x < image.GetWidth(); ++x) image.SetPixel(value, x, y);
  }
}

KC24 Noise(int x, int y) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 0x9E3779B1u ^ static_cast<std::uint32_t>(y) * 0x85EBCA77u;
  h ^= h >> 13;
  h *= 0xC2B2AE35u;
  return KC24(static_cast<unsigned char>(h), static_cast<unsigned char>(h >> 8), static_cast<unsigned char>(h >> 16));
}

class ColorHistogram : public ::testing::Test {
 protected:
  void SetUp() override { KSetAngleUnit(K_ANGLE_UNIT_DEGREES); }
  void TearDown() override { KSetAngleUnit(K_ANGLE_UNIT_TURNS); }
};

TEST_F(ColorHistogram, IdentityView) {
  // Column = X, row = Y, depth = Z: each (X, Y) shows the largest Z among the pixels there.
  KImageC24 source(4, 2);
  const KC24 pixels[8] = {KC24(10, 20, 5), KC24(10, 20, 7), KC24(10, 20, 6), KC24(100, 3, 0),
                          KC24(200, 100, 50), KC24(100, 3, 0), KC24(254, 1, 254), KC24(10, 21, 1)};
  for (int i = 0; i < 8; ++i) source.SetPixel(pixels[i], i % 4, i / 4);
  KImageC24 destination(256, 256);
  KOk();
  KRenderColorHistogram(&source, &destination, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f);
  EXPECT_EQ(KGetError(), K_SUCCESS);

  EXPECT_TRUE(Same(destination.GetPixel(10, 20), KC24(10, 20, 7)));
  EXPECT_TRUE(Same(destination.GetPixel(100, 3), KC24(100, 3, 0)));
  EXPECT_TRUE(Same(destination.GetPixel(200, 100), KC24(200, 100, 50)));
  EXPECT_TRUE(Same(destination.GetPixel(254, 1), KC24(254, 1, 254)));
  EXPECT_TRUE(Same(destination.GetPixel(10, 21), KC24(10, 21, 1)));
  int points = 0;
  for (int y = 1; y < 255; ++y) {
    for (int x = 1; x < 255; ++x) points += !IsBackground(destination.GetPixel(x, y));
  }
  EXPECT_EQ(points, 5);
  // The cube's edges lie on the border, the nearest (Z = 255) in front.
  for (int i = 0; i < 256; ++i) {
    const unsigned char v = static_cast<unsigned char>(i);
    ASSERT_TRUE(Same(destination.GetPixel(i, 0), KC24(v, 0, 255))) << i;
    ASSERT_TRUE(Same(destination.GetPixel(i, 255), KC24(v, 255, 255))) << i;
    ASSERT_TRUE(Same(destination.GetPixel(0, i), KC24(0, v, 255))) << i;
    ASSERT_TRUE(Same(destination.GetPixel(255, i), KC24(255, v, 255))) << i;
  }
}

TEST_F(ColorHistogram, SingleColourGivesOnePointAndTheEdges) {
  KImageC24 source(50, 40);
  Fill(source, KC24(30, 60, 90));
  KImageC24 destination(300, 300);
  KRenderColorHistogram(&source, &destination, 30.0f, 45.0f, 0.8f, 0.8f, 0.8f);
  int points = 0, edges = 0;
  for (int y = 0; y < 300; ++y) {
    for (int x = 0; x < 300; ++x) {
      const KC24 p = destination.GetPixel(x, y);
      if (Same(p, KC24(30, 60, 90))) {
        ++points;
      } else if (!IsBackground(p)) {
        ASSERT_TRUE(OnCubeEdge(p)) << x << ", " << y;
        ++edges;
      }
    }
  }
  EXPECT_EQ(points, 1);
  EXPECT_GT(edges, 12 * 100);  // twelve edges of at least 100 pixels each at this scale
}

TEST_F(ColorHistogram, ZeroScaleDrawsOnlyTheFirstPixel) {
  // Every point, edges included, lands at (W / 2, H / 2) with depth 127; equal depth never overwrites.
  KImageC24 source(3, 3);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) source.SetPixel(Noise(x, y), x, y);
  }
  KImageC24 destination(101, 51);
  KRenderColorHistogram(&source, &destination, 20.0f, 70.0f, 0.0f, 0.0f, 0.0f);
  for (int y = 0; y < 51; ++y) {
    for (int x = 0; x < 101; ++x) {
      const KC24 p = destination.GetPixel(x, y);
      if (x == 50 && y == 25) {
        EXPECT_TRUE(Same(p, Noise(0, 0)));
      } else {
        ASSERT_TRUE(IsBackground(p)) << x << ", " << y;
      }
    }
  }
}

TEST_F(ColorHistogram, PointsOutsideAreSkippedWithoutWrapping) {
  // In a 100 x 100 destination the identity view puts column X - 78, row Y - 78: the cube's edges and
  // points with a coordinate below 78 or above 177 fall outside.
  KImageC24 source(5, 1);
  const KC24 pixels[5] = {KC24(10, 120, 0), KC24(200, 120, 0), KC24(120, 10, 0), KC24(120, 250, 0),
                          KC24(120, 120, 0)};
  for (int i = 0; i < 5; ++i) source.SetPixel(pixels[i], i, 0);
  KImageC24 destination(100, 100);
  KRenderColorHistogram(&source, &destination, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f);
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 100; ++x) {
      const KC24 p = destination.GetPixel(x, y);
      if (x == 42 && y == 42) {
        EXPECT_TRUE(Same(p, KC24(120, 120, 0)));
      } else {
        ASSERT_TRUE(IsBackground(p)) << x << ", " << y;
      }
    }
  }
}

TEST_F(ColorHistogram, OverloadsAgree) {
  KImageC24 source(64, 48);
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 64; ++x) source.SetPixel(Noise(x, y), x, y);
  }
  struct View {
    float tilt, turn, sX, sY, sZ;
  } views[] = {{0, 0, 1, 1, 1}, {30, 45, 0.7f, 0.7f, 0.7f}, {-60, 200, 1, 0.5f, 2}, {90, 90, 1, 1, 1}};
  for (const View& v : views) {
    KImageC24 single(320, 240), pair(320, 240);
    KRenderColorHistogram(&source, &single, v.tilt, v.turn, v.sX, v.sY, v.sZ);
    KRenderColorHistogram(&source, &source, &pair, v.tilt, v.turn, v.sX, v.sY, v.sZ);
    for (int y = 0; y < 240; ++y) {
      ASSERT_EQ(std::memcmp(single.GetImagePtr(0, y), pair.GetImagePtr(0, y), 320 * 3), 0)
          << "tilt " << v.tilt << " turn " << v.turn << " row " << y;
    }
  }
}

TEST_F(ColorHistogram, ColoursAtTheCoordinatesPositions) {
  // The second overload paints the colours' pixels where the coordinates' pixels project; a source point
  // keeps its place against an edge point of equal depth.
  KImageC24 colours(2, 1), coordinates(2, 1);
  colours.SetPixel(KC24(1, 2, 3), 0, 0);
  coordinates.SetPixel(KC24(40, 50, 60), 0, 0);
  colours.SetPixel(KC24(4, 5, 6), 1, 0);
  coordinates.SetPixel(KC24(5, 0, 255), 1, 0);  // on the edge Y = 0, Z = 255
  KImageC24 destination(256, 256);
  KRenderColorHistogram(&colours, &coordinates, &destination, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f);
  EXPECT_TRUE(Same(destination.GetPixel(40, 50), KC24(1, 2, 3)));
  EXPECT_TRUE(Same(destination.GetPixel(5, 0), KC24(4, 5, 6)));
  EXPECT_TRUE(Same(destination.GetPixel(6, 0), KC24(6, 0, 255)));
}

TEST_F(ColorHistogram, RefusalsLeaveTheDestinationUntouched) {
  KTraceCapture trace;
  KImageC24 source(8, 8), other(8, 7), empty;
  Fill(source, KC24(1, 2, 3));
  std::vector<unsigned char> tiny(16, 7);
  KImageC24 unaddressable;  // a depth buffer this wide cannot be addressed
  unaddressable.SetImagePtr(200000000, 1, tiny.data(), 24);

  struct Case {
    const char* what;
    std::function<void(KImageC24&)> call;
    K_ERRORS code;
    const char* name;
  } cases[] = {
      {"no destination", [&](KImageC24&) { KRenderColorHistogram(&source, &empty, 0, 0, 1, 1, 1); },
       K_ERROR_IMAGE_MEMORY_ACCESS, "KRenderColorHistogram"},
      {"no source", [&](KImageC24& d) { KRenderColorHistogram(&empty, &d, 0, 0, 1, 1, 1); },
       K_ERROR_IMAGE_MEMORY_ACCESS, "KRenderColorHistogram"},
      {"null source", [&](KImageC24& d) { KRenderColorHistogram(nullptr, &d, 0, 0, 1, 1, 1); },
       K_ERROR_IMAGE_MEMORY_ACCESS, "KRenderColorHistogram"},
      {"no coordinates", [&](KImageC24& d) { KRenderColorHistogram(&source, &empty, &d, 0, 0, 1, 1, 1); },
       K_ERROR_IMAGE_MEMORY_ACCESS, "KRenderColorHistogram (RGB, System)"},
      {"no colours", [&](KImageC24& d) { KRenderColorHistogram(&empty, &source, &d, 0, 0, 1, 1, 1); },
       K_ERROR_IMAGE_MEMORY_ACCESS, "KRenderColorHistogram (RGB, System)"},
      {"sizes differ", [&](KImageC24& d) { KRenderColorHistogram(&source, &other, &d, 0, 0, 1, 1, 1); },
       K_ERROR_IMAGE_SIZES_DIFFER, "KRenderColorHistogram (RGB, System)"},
      {"sizes differ the other way",
       [&](KImageC24& d) { KRenderColorHistogram(&other, &source, &d, 0, 0, 1, 1, 1); },
       K_ERROR_IMAGE_SIZES_DIFFER, "KRenderColorHistogram (RGB, System)"},
      {"no depth buffer", [&](KImageC24&) { KRenderColorHistogram(&source, &unaddressable, 0, 0, 1, 1, 1); },
       K_ERROR_ALLOCATION, "KRenderColorHistogram"},
  };
  for (const Case& c : cases) {
    KImageC24 destination(8, 8);
    Fill(destination, KC24(7, 7, 7));
    trace.Clear();
    c.call(destination);
    EXPECT_EQ(KGetError(), c.code) << c.what;
    ASSERT_FALSE(trace.Names().empty()) << c.what;
    EXPECT_EQ(trace.Names().back(), c.name) << c.what;
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 8; ++x) ASSERT_TRUE(Same(destination.GetPixel(x, y), KC24(7, 7, 7))) << c.what;
    }
  }
  EXPECT_EQ(tiny, std::vector<unsigned char>(16, 7));
}

}  // namespace
