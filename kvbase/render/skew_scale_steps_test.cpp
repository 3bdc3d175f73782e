#include "kvbase/render/skew_scale_steps.h"

#include <gtest/gtest.h>

#include <cmath>

#include "kvbase/foundation/errors.h"
#include "kvbase/foundation/units.h"

namespace {

struct Plan {
  unsigned int skewSteps = 0, scaleSteps = 0;
  float skewStep = -1.0f, scaleStep = -1.0f;
};

Plan PlanFor(int width, int height, float skewRange, float scaleRange, int adjust) {
  Plan p;
  KSkewScaleSteps(width, height, skewRange, p.skewSteps, p.skewStep, scaleRange, p.scaleSteps, p.scaleStep,
                  adjust);
  return p;
}

class SkewScaleSteps : public ::testing::Test {
 protected:
  void SetUp() override { KSetAngleUnit(K_ANGLE_UNIT_RADIANS); }
  void TearDown() override { KSetAngleUnit(K_ANGLE_UNIT_TURNS); }
};

TEST_F(SkewScaleSteps, StepFollowsTheMeanDistance) {
  const Plan square = PlanFor(100, 100, 0.5f, 0.2f, 0);
  EXPECT_NEAR(square.scaleStep, 1.0 / 38.2598, 2e-7);
  EXPECT_EQ(square.skewStep, square.scaleStep);  // both start as 1 / mean distance
  EXPECT_EQ(square.skewSteps, 20u);              // 0.5 / 0.026137 = 19.13 -> 19 + 1
  EXPECT_EQ(square.scaleSteps, 9u);              // 0.2 / 0.026137 = 7.65 -> 8 + 1

  const Plan wide = PlanFor(640, 480, 0.0f, 0.0f, 0);
  EXPECT_NEAR(wide.scaleStep, 1.0 / 215.582, 1e-8);
  EXPECT_EQ(wide.skewSteps, 1u);
  EXPECT_EQ(wide.scaleSteps, 1u);

  // The formula is symmetric in width and height.
  const Plan tall = PlanFor(480, 640, 0.0f, 0.0f, 0);
  EXPECT_NEAR(tall.scaleStep, wide.scaleStep, 1e-9);
  EXPECT_EQ(KGetError(), K_SUCCESS);
}

TEST_F(SkewScaleSteps, AdjustStretchesStepsOntoTheRanges) {
  const Plan p = PlanFor(100, 100, 0.5f, 0.2f, 1);
  EXPECT_EQ(p.skewSteps, 20u);
  EXPECT_EQ(p.scaleSteps, 9u);
  EXPECT_EQ(p.skewStep, 0.5f / 19.0f);
  EXPECT_EQ(p.scaleStep, 0.2f / 8.0f);
}

TEST_F(SkewScaleSteps, AnglesAreInTheCurrentUnit) {
  const Plan radians = PlanFor(100, 100, 0.5236f, 0.0f, 0);
  KSetAngleUnit(K_ANGLE_UNIT_DEGREES);
  const Plan degrees = PlanFor(100, 100, 30.0f, 0.0f, 0);
  EXPECT_EQ(degrees.skewSteps, radians.skewSteps);
  EXPECT_NEAR(degrees.skewStep, radians.skewStep * 57.29578f, 1e-5);
  KSetAngleUnit(K_ANGLE_UNIT_TURNS);
  const Plan turns = PlanFor(100, 100, 0.5f, 0.0f, 1);  // half a turn
  EXPECT_EQ(turns.skewSteps, 121u);                     // pi / 0.026137 = 120.2 -> 120 + 1
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
      // A segment: mean distance a quarter of its length.
      {0, 100, 0.5f, 0.2f, 0, 14, 6, 0.04f, 0.04f},
      {100, 0, 0.5f, 0.2f, 1, 14, 6, 0.5f / 13, 0.2f / 5},
      {-100, 100, 0.5f, 0.2f, 0, 14, 6, 0.04f, 0.04f},  // a negative side counts as 0
      // A point: one position, the whole range as the step.
      {0, 0, 0.5f, 0.2f, 1, 1, 1, 0.5f, 0.2f},
      // One position with adjust keeps the unadjusted step.
      {0, 100, 0.01f, 0.0f, 1, 1, 1, 0.04f, 0.04f},
      // Negative ranges never wrap the counts.
      {0, 100, -0.5f, -3.0f, 1, 1, 1, 0.04f, 0.04f},
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
