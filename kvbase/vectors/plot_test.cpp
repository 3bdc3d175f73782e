#include "kvbase/vectors/plot.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "kvbase/testing/trace_capture.h"

namespace {

// A plot with its ranges and rectangle set as a Draw would leave them.
class PlacedPlot : public KPlot {
 public:
  PlacedPlot(double xMin, double xMax, double yMin, double yMax, int left, int right, int bottom, int top) {
    xMinimum_ = xMin;
    xMaximum_ = xMax;
    yMinimum_ = yMin;
    yMaximum_ = yMax;
    plotLeft_ = left;
    plotRight_ = right;
    plotBottom_ = bottom;
    plotTop_ = top;
  }
};

TEST(Plot, ViewsMapTheRangeOntoTheRectangle) {
  const PlacedPlot plot(0, 255, -10, 10, 40, 295, 200, 20);
  EXPECT_EQ(plot.XView(0), 40);
  EXPECT_EQ(plot.XView(255), 295);
  EXPECT_EQ(plot.XView(100), 140);
  EXPECT_EQ(plot.XView(100.9), 140);   // 255 x 100.9 / 255 = 100.9, truncated
  EXPECT_EQ(plot.XView(-0.5), 40);     // -0.5 truncates towards zero, not down
  EXPECT_EQ(plot.XView(-1.5), 39);
  EXPECT_EQ(plot.YView(10), 20);       // the maximum maps to the top
  EXPECT_EQ(plot.YView(-10), 200);
  EXPECT_EQ(plot.YView(0), 110);
  EXPECT_EQ(plot.YView(-1), 119);      // 200 + trunc(-180 x 9 / 20) = 200 - 81
  EXPECT_EQ(plot.YView(1), 101);
}

TEST(Plot, DegenerateRangesStayInsideInt) {
  const PlacedPlot empty(5, 5, 3, 3, 10, 100, 90, 10);
  EXPECT_EQ(empty.XView(5), 10);
  EXPECT_EQ(empty.XView(7), 10);
  EXPECT_EQ(empty.YView(4), 90);
  const PlacedPlot tiny(0, 1e-300, 0, 1, 0, 1000, 1000, 0);
  EXPECT_EQ(tiny.XView(1), INT_MAX);
  EXPECT_EQ(tiny.XView(-1), INT_MIN);
}

TEST(Plot, SetYRange) {
  KTraceCapture trace;
  struct Case {
    int minimum;
    unsigned int maximum;
    bool accepted;
  } cases[] = {
      {10, 10, false}, {10, 9, false}, {0, 0, false},  {-10, 10, true},
      {-1, 0, true},   {0, 4294967295u, true},         {INT_MIN, 0, true}, {2147483647, 2147483647u, false},
  };
  for (const Case& c : cases) {
    KPlot plot;
    KOk();
    trace.Clear();
    plot.SetYRange(c.minimum, c.maximum);
    SCOPED_TRACE(::testing::Message() << c.minimum << " .. " << c.maximum);
    if (c.accepted) {
      EXPECT_EQ(KGetError(), K_SUCCESS);
      EXPECT_EQ(plot.GetYMinimum(), static_cast<double>(c.minimum));
      EXPECT_EQ(plot.GetYMaximum(), static_cast<double>(c.maximum));
      EXPECT_EQ(plot.GetAutomaticRange(), 0);
    } else {
      EXPECT_EQ(KGetError(), K_ERROR_PARAMETERS_OUT_OF_RANGE);
      EXPECT_EQ(trace.Names(), std::vector<std::string>{"KPlot::SetYRange"});
      EXPECT_EQ(plot.GetYMaximum(), 0.0);
      EXPECT_EQ(plot.GetAutomaticRange(), 1);
    }
  }
}

}  // namespace
