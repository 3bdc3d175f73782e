#include "kvbase/render/relief.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "kvbase/foundation/units.h"
#include "kvbase/image/image.h"
#include "kvbase/testing/trace_capture.h"

namespace {

constexpr float kHalfPi = 1.57079637f;

void FillGray(KImageBW8& image, unsigned char value) {
  for (int y = 0; y < image.GetHeight(); ++y) {
    for (int x = 0; x < image.GetWidth(); ++x) image.SetPixel(value, x, y);
  }
}

// Coordinates of the pixels that differ from the background 128.
std::set<std::pair<int, int>> Painted(KImageBW8& image) {
  std::set<std::pair<int, int>> painted;
  for (int y = 0; y < image.GetHeight(); ++y) {
    for (int x = 0; x < image.GetWidth(); ++x) {
      if (image.GetPixel(x, y) != 128) painted.insert({x, y});
    }
  }
  return painted;
}

class Relief : public ::testing::Test {
 protected:
  void SetUp() override { KSetAngleUnit(K_ANGLE_UNIT_RADIANS); }
  void TearDown() override { KSetAngleUnit(K_ANGLE_UNIT_TURNS); }
};

TEST_F(Relief, FlatViewCopiesTheSource) {
  KImageBW8 source(100, 80);
  for (int y = 0; y < 80; ++y) {
    for (int x = 0; x < 100; ++x) source.SetPixel(static_cast<unsigned char>(x * 7 + y * 13), x, y);
  }
  for (float scaleZ : {0.0f, 1.0f, 40.0f}) {  // with both angles 0 the heights have no effect
    KImageBW8 destination(100, 80);
    KOk();
    KRender3D(&source, &destination, 0.0f, 0.0f, 1.0f, 1.0f, scaleZ, 1);
    EXPECT_EQ(KGetError(), K_SUCCESS);
    for (int y = 0; y < 80; ++y) ASSERT_EQ(std::memcmp(destination.GetImagePtr(0, y), source.GetImagePtr(0, y), 100), 0);
  }
}

TEST_F(Relief, DotModesAndTheirBounds) {
  // A single source pixel of height 200 lands at ((W - 1) / 2, (H - 1) / 2) in the flat view.
  struct Case {
    int side, dotMode;
    std::set<std::pair<int, int>> painted;
  } cases[] = {
      {7, 1, {{3, 3}}},  {7, 4, {{3, 3}, {4, 3}, {3, 4}, {4, 4}}},
      {7, 5, {{4, 3}, {3, 4}, {4, 4}, {5, 4}, {4, 5}}},  // a plus one right of and below the landing point
      {7, 9, {{3, 3}, {4, 3}, {5, 3}, {3, 4}, {4, 4}, {5, 4}, {3, 5}, {4, 5}, {5, 5}}},
      {3, 4, {{1, 1}, {2, 1}, {1, 2}, {2, 2}}},
      {3, 5, {}}, {3, 9, {}},  // a three-pixel-wide dot landing at (1, 1) would leave a 3 x 3 destination
      {1, 1, {{0, 0}}}, {1, 4, {}},
  };
  KImageBW8 source(1, 1);
  source.SetPixel(200, 0, 0);
  for (const Case& c : cases) {
    KImageBW8 destination(c.side, c.side);
    KRender3D(&source, &destination, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f, c.dotMode);
    EXPECT_EQ(Painted(destination), c.painted) << "side " << c.side << " mode " << c.dotMode;
    for (const auto& p : c.painted) EXPECT_EQ(destination.GetPixel(p.first, p.second), 200);
  }

  // A dot of 4 on the last column or row is skipped whole, a dot of 1 is drawn.
  KImageBW8 square(3, 3);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) square.SetPixel(static_cast<unsigned char>(10 * y + x + 1), x, y);
  }
  const unsigned char expected[2][3][3] = {
      {{1, 2, 3}, {11, 12, 13}, {21, 22, 23}},  // mode 1: a copy
      {{1, 2, 2}, {11, 12, 12}, {11, 12, 12}},  // mode 4: only (0..1, 0..1) draw, later over earlier
  };
  for (int m = 0; m < 2; ++m) {
    KImageBW8 destination(3, 3);
    KRender3D(&square, &destination, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f, m == 0 ? 1 : 4);
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 3; ++x) EXPECT_EQ(destination.GetPixel(x, y), expected[m][y][x]) << m << ": " << x << ", " << y;
    }
  }
}

TEST_F(Relief, VisitingOrderFollowsTheDepthSigns) {
  // Tiny scales make every source pixel land on the centre of the destination; the one visited last
  // stays. Columns run backwards when sin b x sX < 0, rows when -cos b x sin a x sY < 0; 0 is not
  // negative.
  KImageBW8 source(4, 3);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 4; ++c) source.SetPixel(static_cast<unsigned char>(10 * r + c), c, r);
  }
  struct Case {
    float tilt, turn, scaleX, scaleY;
    int lastColumn, lastRow;
  } cases[] = {
      {0.1f, 0.1f, 1e-6f, 1e-6f, 3, 0},     // columns forward, rows backward
      {0.1f, 0.1f, -1e-6f, 1e-6f, 0, 0},    // both backward
      {0.1f, 0.1f, 1e-6f, -1e-6f, 3, 2},    // both forward
      {0.1f, -0.1f, 1e-6f, -1e-6f, 0, 2},   // columns backward through the turn
      {0.0f, 0.0f, -1e-6f, 1e-6f, 3, 2},    // both depth coefficients are zero: forward
      {-0.1f, 0.0f, 1e-6f, 1e-6f, 3, 2},
  };
  for (const Case& c : cases) {
    KImageBW8 destination(9, 9);
    KRender3D(&source, &destination, c.tilt, c.turn, c.scaleX, c.scaleY, 0.0f, 1);
    EXPECT_EQ(Painted(destination), (std::set<std::pair<int, int>>{{4, 4}}));
    EXPECT_EQ(destination.GetPixel(4, 4), 10 * c.lastRow + c.lastColumn)
        << "tilt " << c.tilt << " turn " << c.turn << " sX " << c.scaleX << " sY " << c.scaleY;
  }
}

TEST_F(Relief, SideViewInBothOverloads) {
  // A quarter-turn tilt: the row coefficient truncates to 0, so a point's screen row is the row offset
  // plus its height, and row 0 (visited last) is in front.
  const int width = 4, rows = 3;
  KImageBW8 heights(width, rows);
  KImageC24 colours(width, rows);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < width; ++c) {
      const unsigned char h = static_cast<unsigned char>(c == 0 ? 60 : 40 + 10 * c + r);  // column 0 collides
      heights.SetPixel(h, c, r);
      colours.SetPixel(KC24(static_cast<unsigned char>(r), static_cast<unsigned char>(c), h), c, r);
    }
  }
  const int destinationHeight = 300;  // row offset (300 - 256) / 2 = 22
  KImageBW8 gray(10, destinationHeight);
  KSetAngleUnit(K_ANGLE_UNIT_DEGREES);
  KRender3D(&heights, &gray, 90.0f, 0.0f, 1.0f, 1.0f, 1.0f, 1);
  KImageC24 colour(10, destinationHeight);
  KRender3D(&colours, &heights, &colour, kHalfPi, 0.0f, 1.0f, 1.0f, 1.0f, 1);  // radians whatever the unit
  EXPECT_EQ(KGetError(), K_SUCCESS);

  std::set<std::pair<int, int>> expected;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < width; ++c) expected.insert({3 + c, 22 + heights.GetPixel(c, r)});
  }
  EXPECT_EQ(Painted(gray), expected);
  for (int y = 0; y < destinationHeight; ++y) {
    for (int x = 0; x < 10; ++x) {
      const KC24 p = colour.GetPixel(x, y);
      ASSERT_EQ(p.byte0, gray.GetPixel(x, y)) << x << ", " << y;  // the colour's byte 0 is the height
      if (expected.count({x, y}) == 0) {
        ASSERT_EQ(p.byte2, 128);
      }
    }
  }
  EXPECT_EQ(colour.GetPixel(3, 82).byte2, 0);  // column 0: all three rows at height 60, row 0 in front
  EXPECT_EQ(colour.GetPixel(4, 22 + 51).byte2, 1);

  // The same tilt in turns.
  KSetAngleUnit(K_ANGLE_UNIT_TURNS);
  KImageBW8 turns(10, destinationHeight);
  KRender3D(&heights, &turns, 0.25f, 0.0f, 1.0f, 1.0f, 1.0f, 1);
  EXPECT_EQ(Painted(turns), expected);
}

TEST_F(Relief, Refusals) {
  KTraceCapture trace;
  KImageBW8 heights(6, 5), smallHeights(6, 4), emptyGray;
  KImageC24 colours(6, 5), emptyColour;
  // Each case renders into `gray` or `colour` (both 6 x 5 and filled with 7) or into a void destination.
  KImageBW8 gray(6, 5);
  KImageC24 colour(6, 5);
  struct Case {
    const char* what;
    std::function<void()> call;
    K_ERRORS code;
    bool isColour, filled;  // filled: left at the background 128, else untouched
  } cases[] = {
      {"dot 2", [&] { KRender3D(&heights, &gray, 0, 0, 1, 1, 1, 2); }, K_ERROR_PARAMETER_8_OUT_OF_RANGE, false, true},
      {"no heights", [&] { KRender3D(&emptyGray, &gray, 0, 0, 1, 1, 1, 1); }, K_ERROR_IMAGE_MEMORY_ACCESS, false, true},
      {"no destination", [&] { KRender3D(&heights, nullptr, 0, 0, 1, 1, 1, 1); }, K_ERROR_IMAGE_MEMORY_ACCESS, false,
       false},
      {"colour dot 3", [&] { KRender3D(&colours, &heights, &colour, 0, 0, 1, 1, 1, 3); },
       K_ERROR_PARAMETER_9_OUT_OF_RANGE, true, true},
      {"no colours", [&] { KRender3D(&emptyColour, &heights, &colour, 0, 0, 1, 1, 1, 1); },
       K_ERROR_IMAGE_MEMORY_ACCESS, true, true},
      {"null heights", [&] { KRender3D(&colours, nullptr, &colour, 0, 0, 1, 1, 1, 1); }, K_ERROR_IMAGE_MEMORY_ACCESS,
       true, true},
      {"void colour destination", [&] { KRender3D(&colours, &heights, &emptyColour, 0, 0, 1, 1, 1, 1); },
       K_ERROR_IMAGE_MEMORY_ACCESS, true, false},
      {"heights too small", [&] { KRender3D(&colours, &smallHeights, &colour, 0, 0, 1, 1, 1, 1); },
       K_ERROR_IMAGE_SIZES_DIFFER, true, false},
  };
  for (const Case& c : cases) {
    FillGray(gray, 7);
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < 6; ++x) colour.SetPixel(KC24(7, 7, 7), x, y);
    }
    trace.Clear();
    c.call();
    EXPECT_EQ(KGetError(), c.code) << c.what;
    EXPECT_EQ(trace.Names(), std::vector<std::string>{c.isColour ? "KRender3D (Color)" : "KRender3D (Gray level)"});
    const unsigned char expected = c.filled ? 128 : 7;
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < 6; ++x) {
        ASSERT_EQ(c.isColour ? colour.GetPixel(x, y).byte1 : gray.GetPixel(x, y), expected) << c.what;
      }
    }
  }
}

}  // namespace
