#include "kvbase/render/skew_scale_steps.h"

#include <gtest/gtest.h>

#include "kvbase/testing/render_test_support.h"

namespace {

using SkewScaleSteps = KAngleUnitTest<K_ANGLE_UNIT_RADIANS>;

TEST_F(SkewScaleSteps, StepsFollowTheMeanDistance) {
  // Both steps start as 1 / the mean distance of the points from the centre, 38.2598 for a 100 x 100
  // square and 215.582 for 640 x 480; `adjust` stretches them onto the ranges. Angles are in the unit.
  constexpr float kSquare = 1.0f / 38.2598f, kPhoto = 1.0f / 215.582f;
  constexpr K_ANGLE_UNITS kRadians = K_ANGLE_UNIT_RADIANS;
  struct Case {
    K_ANGLE_UNITS unit;
    int width, height, adjust;
    float skewRange, scaleRange;
    unsigned int skewSteps, scaleSteps;
    float skewStep, scaleStep;
  } cases[] = {
      {kRadians, 100, 100, 0, 0.5f, 0.2f, 20, 9, kSquare, kSquare},  // 0.5 / 0.026137 = 19.13 -> 19 + 1; 7.65 -> 8 + 1
      {kRadians, 100, 100, 1, 0.5f, 0.2f, 20, 9, 0.5f / 19, 0.2f / 8},
      {kRadians, 640, 480, 0, 0, 0, 1, 1, kPhoto, kPhoto},
      {kRadians, 480, 640, 0, 0, 0, 1, 1, kPhoto, kPhoto},
      {K_ANGLE_UNIT_DEGREES, 100, 100, 0, 30, 0, 21, 1, kSquare * 57.29578f, kSquare},  // 0.5236 / 0.026137 = 20.03
      {K_ANGLE_UNIT_TURNS, 100, 100, 1, 0.5f, 0, 121, 1, 0.5f / 120, kSquare},          // pi / 0.026137 = 120.2 -> 121
      // Degenerate sizes and ranges.
      {kRadians, 0, 100, 0, 0.5f, 0.2f, 14, 6, 0.04f, 0.04f},  // a segment: mean distance a quarter of its length
      {kRadians, 100, 0, 1, 0.5f, 0.2f, 14, 6, 0.5f / 13, 0.2f / 5},
      {kRadians, -100, 100, 0, 0.5f, 0.2f, 14, 6, 0.04f, 0.04f},  // a negative side counts as 0
      {kRadians, 0, 0, 1, 0.5f, 0.2f, 1, 1, 0.5f, 0.2f},          // a point: one position, the range as the step
      {kRadians, 0, 100, 1, 0.01f, 0.0f, 1, 1, 0.04f, 0.04f},     // one position keeps the unadjusted step
      {kRadians, 0, 100, 1, -0.5f, -3.0f, 1, 1, 0.04f, 0.04f},    // negative ranges never wrap the counts
      {kRadians, 1, 1, 1, 1e30f, 1e30f, 2147483648u, 2147483648u, 1e30f / 2147483648.0f, 1e30f / 2147483648.0f},
  };
  for (const Case& c : cases) {
    KSetAngleUnit(c.unit);
    unsigned int skewSteps = 0, scaleSteps = 0;
    float skewStep = -1.0f, scaleStep = -1.0f;
    KSkewScaleSteps(c.width, c.height, c.skewRange, skewSteps, skewStep, c.scaleRange, scaleSteps, scaleStep, c.adjust);
    SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << ", skew range " << c.skewRange << " in unit "
                                      << c.unit << ", adjust " << c.adjust);
    EXPECT_EQ(skewSteps, c.skewSteps);
    EXPECT_EQ(scaleSteps, c.scaleSteps);
    EXPECT_NEAR(skewStep, c.skewStep, 4e-6 * c.skewStep);
    EXPECT_NEAR(scaleStep, c.scaleStep, 4e-6 * c.scaleStep);
  }
}

}  // namespace
