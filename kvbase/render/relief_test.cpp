#include "kvbase/render/relief.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "kvbase/testing/render_test_support.h"
#include "kvbase/testing/trace_capture.h"

namespace {

using Relief = KAngleUnitTest<K_ANGLE_UNIT_RADIANS>;

constexpr unsigned char kBackground = 128;

TEST_F(Relief, FlatViewCopiesTheSource) {
  KImageBW8 source(100, 80);
  KFillWith(source, [](int x, int y) { return static_cast<unsigned char>(x * 7 + y * 13); });
  for (float scaleZ : {0.0f, 1.0f, 40.0f}) {  // with both angles 0 the heights have no effect
    KImageBW8 destination(100, 80);
    KOk();
    KRender3D(&source, &destination, 0.0f, 0.0f, 1.0f, 1.0f, scaleZ, 1);
    EXPECT_EQ(KGetError(), K_SUCCESS);
    for (int y = 0; y < 80; ++y) {
      ASSERT_EQ(std::memcmp(destination.GetImagePtr(0, y), source.GetImagePtr(0, y), 100), 0) << scaleZ;
    }
  }
}

TEST_F(Relief, DotModesAndTheirBounds) {
  // A single source pixel of height 200 lands at ((W - 1) / 2, (H - 1) / 2) in the flat view.
  struct Case {
    int side, dotMode;
    KPoints painted;
  } cases[] = {
      {7, 1, {{3, 3}}},
      {7, 4, {{3, 3}, {4, 3}, {3, 4}, {4, 4}}},
      {7, 5, {{4, 3}, {3, 4}, {4, 4}, {5, 4}, {4, 5}}},  // a plus one right of and below the landing point
      {7, 9, {{3, 3}, {4, 3}, {5, 3}, {3, 4}, {4, 4}, {5, 4}, {3, 5}, {4, 5}, {5, 5}}},
      {3, 4, {{1, 1}, {2, 1}, {1, 2}, {2, 2}}},
      {3, 5, {}},
      {3, 9, {}},  // a three-pixel-wide dot landing at (1, 1) would leave a 3 x 3 destination
      {1, 1, {{0, 0}}},
      {1, 4, {}},  // a dot of 4 on the last column and row is skipped whole
  };
  KImageBW8 source(1, 1);
  source.SetPixel(200, 0, 0);
  for (const Case& c : cases) {
    KImageBW8 destination(c.side, c.side);
    KRender3D(&source, &destination, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f, c.dotMode);
    EXPECT_EQ(KPainted(destination, kBackground), c.painted) << "side " << c.side << " mode " << c.dotMode;
    for (const auto& p : c.painted) EXPECT_EQ(destination.GetPixel(p.first, p.second), 200);
  }
}

TEST_F(Relief, VisitingOrderFollowsTheDepthSigns) {
  // Tiny scales make every source pixel land on the centre of the destination; the one visited last
  // stays. Columns run backwards when sin b x sX < 0, rows when -cos b x sin a x sY < 0; 0 is not
  // negative.
  KImageBW8 source(4, 3);
  KFillWith(source, [](int c, int r) { return static_cast<unsigned char>(10 * r + c); });
  struct Case {
    float tilt, turn, scaleX, scaleY;
    int lastColumn, lastRow;
  } cases[] = {
      {0.1f, 0.1f, 1e-6f, 1e-6f, 3, 0},    // columns forward, rows backward
      {0.1f, 0.1f, -1e-6f, 1e-6f, 0, 0},   // both backward
      {0.1f, 0.1f, 1e-6f, -1e-6f, 3, 2},   // both forward
      {0.1f, -0.1f, 1e-6f, -1e-6f, 0, 2},  // columns backward through the turn
      {0.0f, 0.0f, -1e-6f, 1e-6f, 3, 2},   // both depth coefficients are zero: forward
  };
  for (const Case& c : cases) {
    KImageBW8 destination(9, 9);
    KRender3D(&source, &destination, c.tilt, c.turn, c.scaleX, c.scaleY, 0.0f, 1);
    EXPECT_EQ(KPainted(destination, kBackground), (KPoints{{4, 4}}));
    EXPECT_EQ(destination.GetPixel(4, 4), 10 * c.lastRow + c.lastColumn)
        << "tilt " << c.tilt << " turn " << c.turn << " sX " << c.scaleX << " sY " << c.scaleY;
  }
}

TEST_F(Relief, SideViewInBothOverloads) {
  // A quarter-turn tilt: the row coefficient truncates to 0, so a point's screen row is the row offset
  // (300 - 256) / 2 = 22 plus its height, and row 0 (visited last) is in front.
  auto height = [](int c, int r) { return static_cast<unsigned char>(c == 0 ? 60 : 40 + 10 * c + r); };
  KImageBW8 heights(4, 3), gray(10, 300);
  KImageC24 colours(4, 3), colour(10, 300);
  KFillWith(heights, height);  // column 0 is 60 in every row: its points collide
  KFillWith(colours, [&](int c, int r) {
    return KC24(static_cast<unsigned char>(r), static_cast<unsigned char>(c), height(c, r));
  });
  KSetAngleUnit(K_ANGLE_UNIT_DEGREES);
  KRender3D(&heights, &gray, 90.0f, 0.0f, 1.0f, 1.0f, 1.0f, 1);
  KRender3D(&colours, &heights, &colour, 1.57079637f, 0.0f, 1.0f, 1.0f, 1.0f, 1);  // radians whatever the unit
  EXPECT_EQ(KGetError(), K_SUCCESS);

  KPoints expected;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 4; ++c) expected.insert({3 + c, 22 + height(c, r)});
  }
  EXPECT_EQ(KPainted(gray, kBackground), expected);
  EXPECT_EQ(KPainted(colour, KC24(128, 128, 128)), expected);
  for (const auto& p : expected) EXPECT_EQ(colour.GetPixel(p.first, p.second).byte0, gray.GetPixel(p.first, p.second));
  EXPECT_EQ(colour.GetPixel(3, 82).byte2, 0);       // column 0: all three rows at height 60, row 0 in front
  EXPECT_EQ(colour.GetPixel(4, 22 + 51).byte2, 1);  // the colour of row 1, column 1
}

TEST_F(Relief, RefusalsNameTheirOverload) {
  KTraceCapture trace;
  KImageBW8 heights(6, 5), smallHeights(6, 4), emptyGray, gray(6, 5);
  KImageC24 colours(6, 5), emptyColour, colour(6, 5);
  auto gray3D = [](KImageBW8* h, KImageBW8* d, int mode) { return [=] { KRender3D(h, d, 0, 0, 1, 1, 1, mode); }; };
  auto colour3D = [](KImageC24* c, KImageBW8* h, KImageC24* d, int mode) {
    return [=] { KRender3D(c, h, d, 0, 0, 1, 1, 1, mode); };
  };
  // Gray cases render into `gray`, colour cases into `colour` (both filled with 7), or into a void destination.
  struct Case {
    const char* what;
    std::function<void()> call;
    K_ERRORS code;
    bool isColour, filled;  // filled: left at the background 128, else untouched
  } cases[] = {
      {"dot 2", gray3D(&heights, &gray, 2), K_ERROR_PARAMETER_8_OUT_OF_RANGE, false, true},
      {"no heights", gray3D(&emptyGray, &gray, 1), K_ERROR_IMAGE_MEMORY_ACCESS, false, true},
      {"no destination", gray3D(&heights, nullptr, 1), K_ERROR_IMAGE_MEMORY_ACCESS, false, false},
      {"colour dot 3", colour3D(&colours, &heights, &colour, 3), K_ERROR_PARAMETER_9_OUT_OF_RANGE, true, true},
      {"no colours", colour3D(&emptyColour, &heights, &colour, 1), K_ERROR_IMAGE_MEMORY_ACCESS, true, true},
      {"null heights", colour3D(&colours, nullptr, &colour, 1), K_ERROR_IMAGE_MEMORY_ACCESS, true, true},
      {"void destination", colour3D(&colours, &heights, &emptyColour, 1), K_ERROR_IMAGE_MEMORY_ACCESS, true, false},
      {"heights too small", colour3D(&colours, &smallHeights, &colour, 1), K_ERROR_IMAGE_SIZES_DIFFER, true, false},
  };
  for (const Case& c : cases) {
    KFill(gray, static_cast<unsigned char>(7));
    KFill(colour, KC24(7, 7, 7));
    trace.Clear();
    c.call();
    EXPECT_EQ(KGetError(), c.code) << c.what;
    EXPECT_EQ(trace.Names(), std::vector<std::string>{c.isColour ? "KRender3D (Color)" : "KRender3D (Gray level)"});
    const unsigned char e = c.filled ? 128 : 7;
    EXPECT_TRUE(c.isColour ? KPainted(colour, KC24(e, e, e)).empty() : KPainted(gray, e).empty()) << c.what;
  }
}

}  // namespace
