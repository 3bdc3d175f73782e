#include "kvbase/foundation/statistics.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(Statistics, WindowedMeanDeviationAndExtremes) {
  struct Case {
    const char* name;
    unsigned int window;
    std::vector<float> values;
    unsigned int count;
    float average, deviation, minimum, maximum;
  } cases[] = {
      {"no window ignores values", 0, {3.0f}, 0, 0.0f, 0.0f, 0.0f, 0.0f},
      {"one value", 4, {2.5f}, 1, 2.5f, 0.0f, 2.5f, 2.5f},
      {"oldest value replaced", 3, {1.0f, 2.0f, 3.0f, 4.0f}, 3, 3.0f, 0.8164966f, 2.0f, 4.0f},
      {"population deviation", 8, {2, 4, 4, 4, 5, 5, 7, 9}, 8, 5.0f, 2.0f, 2.0f, 9.0f},
      {"negative minimum", 5, {-1.0f, 8.0f}, 2, 3.5f, 4.5f, -1.0f, 8.0f},
      // 2^24 + 1 is not a float: the sum is rounded to float after each addition, so the ones vanish.
      {"float sum", 3, {16777216.0f, 1.0f, 1.0f}, 3, static_cast<float>(16777216.0 / 3), 7909139.0f, 1.0f, 16777216.0f},
  };
  for (const Case& c : cases) {
    KStatistics stats(c.window);
    for (float v : c.values) stats.NewElement(v);
    EXPECT_EQ(stats.Count(), c.count) << c.name;
    EXPECT_EQ(stats.Average(), c.average) << c.name;
    EXPECT_NEAR(stats.Deviation(), c.deviation, 1e-4 * c.deviation) << c.name;  // float arithmetic
    EXPECT_EQ(stats.Minimum(), c.minimum) << c.name;
    EXPECT_EQ(stats.Maximum(), c.maximum) << c.name;
  }
}

TEST(Statistics, ResetForgetsValuesAndTakesTheNewWindow) {
  KStatistics stats(2);
  for (float v : {1.0f, 2.0f}) stats.NewElement(v);
  stats.Reset(3);
  EXPECT_EQ(stats.Count(), 0u);
  for (float v : {7.0f, 8.0f, 9.0f}) stats.NewElement(v);
  EXPECT_EQ(stats.Count(), 3u);
  EXPECT_EQ(stats.Average(), 8.0f);
}

}  // namespace
