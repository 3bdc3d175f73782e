#include "kvbase/foundation/statistics.h"

#include <gtest/gtest.h>

namespace {

TEST(Statistics, SlidingWindowKeepsTheLatestValues) {
  KStatistics stats(3);
  for (float v : {1.0f, 2.0f, 3.0f, 4.0f}) stats.NewElement(v);
  EXPECT_EQ(stats.Count(), 3u);
  EXPECT_EQ(stats.Average(), 3.0f);
  EXPECT_EQ(stats.Minimum(), 2.0f);
  EXPECT_EQ(stats.Maximum(), 4.0f);

  stats.Reset(5);
  EXPECT_EQ(stats.Count(), 0u);
  for (float v : {-1.0f, 8.0f}) stats.NewElement(v);
  EXPECT_EQ(stats.Count(), 2u);
  EXPECT_EQ(stats.Minimum(), -1.0f);
  EXPECT_EQ(stats.Maximum(), 8.0f);
}

TEST(Statistics, PopulationDeviation) {
  KStatistics stats(8);
  for (float v : {2.0f, 4.0f, 4.0f, 4.0f, 5.0f, 5.0f, 7.0f, 9.0f}) stats.NewElement(v);
  EXPECT_EQ(stats.Average(), 5.0f);
  EXPECT_EQ(stats.Deviation(), 2.0f);
}

TEST(Statistics, EmptyAndSingleValue) {
  KStatistics none;
  none.NewElement(3.0f);
  EXPECT_EQ(none.Count(), 0u);
  EXPECT_EQ(none.Average(), 0.0f);
  EXPECT_EQ(none.Deviation(), 0.0f);
  EXPECT_EQ(none.Minimum(), 0.0f);
  EXPECT_EQ(none.Maximum(), 0.0f);

  KStatistics one(4);
  one.NewElement(2.5f);
  EXPECT_EQ(one.Average(), 2.5f);
  EXPECT_EQ(one.Deviation(), 0.0f);
}

TEST(Statistics, SumIsRoundedToFloatAfterEachAddition) {
  // 2^24 + 1 is not a float: in single precision the ones vanish, in double they would not.
  KStatistics stats(3);
  for (float v : {16777216.0f, 1.0f, 1.0f}) stats.NewElement(v);
  EXPECT_EQ(stats.Average(), static_cast<float>(16777216.0 / 3));
}

}  // namespace
