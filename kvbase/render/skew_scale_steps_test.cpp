#include "kvbase/render/skew_scale_steps.h"

#include <gtest/gtest.h>

#include <cmath>

#include "kvbase/foundation/units.h"

namespace {

struct Plan {
  unsigned int skewSteps = 0, scaleSteps = 0;
  float skewStep = -1.0f, scaleStep = -1.0f;
};

Plan PlanFor(int width, int height, float skewRange, float scaleRange, int adjust) {
  Plan p;
  KSkewScaleSteps(width, height, skewRange, p.skewSteps, p.skewStep, scaleRange, p.scaleSteps, p.scaleStep, adjust);
  return p;
}

class SkewScaleSteps : public ::testing::Test {
 protected:
  void SetUp() override { KSetAngleUnit(K_ANGLE_UNIT_RADIANS); }
  void TearDown() override { KSetAngleUnit(K_ANGLE_UNIT_TURNS); }
};

TEST_F(SkewScaleSteps, StepsFollowTheMeanDistance) {
  const Plan square = PlanFor(100, 100, 0.5f, 0.2f, 0);
  EXPECT_NEAR(square.scaleStep, 1.0 / 38.2598, 2e-7);
  EXPECT_EQ(square.skewStep, square.scaleStep);  // both start as 1 / mean distance
  EXPECT_EQ(square.skewSteps, 20u);              // 0.5 / 0.026137 = 19.13 -> 19 + 1
  EXPECT_EQ(square.scaleSteps, 9u);              // 0.2 / 0.026137 = 7.65 -> 8 + 1
  EXPECT_NEAR(PlanFor(640, 480, 0, 0, 0).scaleStep, 1.0 / 215.582, 1e-8);
  EXPECT_NEAR(PlanFor(480, 640, 0, 0, 0).scaleStep, 1.0 / 215.582, 1e-8);

  const Plan adjusted = PlanFor(100, 100, 0.5f, 0.2f, 1);  // stretched onto the ranges
  EXPECT_EQ(adjusted.skewSteps, 20u);
  EXPECT_EQ(adjusted.skewStep, 0.5f / 19.0f);
  EXPECT_EQ(adjusted.scaleStep, 0.2f / 8.0f);

  // Angles in the current unit.
  const unsigned int radianSteps = PlanFor(100, 100, 0.5236f, 0, 0).skewSteps;
  KSetAngleUnit(K_ANGLE_UNIT_DEGREES);
  const Plan degrees = PlanFor(100, 100, 30.0f, 0.0f, 0);
  EXPECT_EQ(degrees.skewSteps, radianSteps);
  EXPECT_NEAR(degrees.skewStep, square.skewStep * 57.29578f, 1e-5);
  KSetAngleUnit(K_ANGLE_UNIT_TURNS);
  const Plan turns = PlanFor(100, 100, 0.5f, 0.0f, 1);  // half a turn: pi / 0.026137 = 120.2 -> 121
  EXPECT_EQ(turns.skewSteps, 121u);
  EXPECT_NEAR(turns.skewStep, 0.5f / 120.0f, 1e-7);
}

TEST_F(SkewScaleSteps, DegenerateInputGivesFiniteSteps) {
  struct Case {
    int width, height;
    float skewRange, scaleRange;
    int adjust;
    unsigned int skewSteps, scaleSteps;
    float skewStep, scaleStep;
  } cases[] = {
      {0, 100, 0.5f, 0.2f, 0, 14, 6, 0.04f, 0.04f},  // a segment: mean distance a quarter of its length
      {100, 0, 0.5f, 0.2f, 1, 14, 6, 0.5f / 13, 0.2f / 5},
      {-100, 100, 0.5f, 0.2f, 0, 14, 6, 0.04f, 0.04f},  // a negative side counts as 0
      {0, 0, 0.5f, 0.2f, 1, 1, 1, 0.5f, 0.2f},          // a point: one position, the range as the step
      {0, 100, 0.01f, 0.0f, 1, 1, 1, 0.04f, 0.04f},     // one position keeps the unadjusted step
      {0, 100, -0.5f, -3.0f, 1, 1, 1, 0.04f, 0.04f},    // negative ranges never wrap the counts
  };
  for (const Case& c : cases) {
    const Plan p = PlanFor(c.width, c.height, c.skewRange, c.scaleRange, c.adjust);
    SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << " adjust " << c.adjust);
    EXPECT_EQ(p.skewSteps, c.skewSteps);
    EXPECT_EQ(p.scaleSteps, c.scaleSteps);
    EXPECT_FLOAT_EQ(p.skewStep, c.skewStep);
    EXPECT_FLOAT_EQ(p.scaleStep, c.scaleStep);
  }
  const Plan huge = PlanFor(1, 1, 1e30f, 1e30f, 1);
  EXPECT_EQ(huge.skewSteps, 2147483648u);
  EXPECT_TRUE(std::isfinite(huge.skewStep));
}

}  // namespace
