#include "kvbase/vectors/plot.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "kvbase/testing/trace_capture.h"

namespace {

// A plot with its ranges and rectangle set as a Draw would leave them.
struct PlacedPlot : KPlot {
  PlacedPlot(double xMin, double xMax, double yMin, double yMax, int left, int right, int bottom, int top) {
    xMinimum_ = xMin, xMaximum_ = xMax, yMinimum_ = yMin, yMaximum_ = yMax;
    plotLeft_ = left, plotRight_ = right, plotBottom_ = bottom, plotTop_ = top;
  }
};

TEST(Plot, ViewsMapTheRangeOntoTheRectangle) {
  const PlacedPlot plot(0, 255, -10, 10, 40, 295, 200, 20);
  // Empty ranges map to the rectangle's edge; huge results saturate instead of overflowing.
  const PlacedPlot empty(5, 5, 3, 3, 10, 100, 90, 10), tiny(0, 1e-300, 0, 1, 0, 1000, 1000, 0);
  struct Case {
    const KPlot* plot;
    double value;
    int x, y;
  } cases[] = {
      {&plot, 0, 40, 110},    {&plot, 255, 295, -2185}, {&plot, 100.9, 140, -798},  // truncated towards zero
      {&plot, -0.5, 40, 115}, {&plot, -1.5, 39, 124},   {&plot, 10, 50, 20},        // the Y maximum maps to the top
      {&plot, -10, 30, 200},  {&plot, -1, 39, 119},     {&plot, 1, 41, 101},
      {&empty, 7, 10, 90},    {&tiny, 1, INT_MAX, 0},   {&tiny, -1, INT_MIN, 2000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.plot->XView(c.value), c.x) << c.value;
    EXPECT_EQ(c.plot->YView(c.value), c.y) << c.value;
  }
}

TEST(Plot, SetYRange) {
  KTraceCapture trace;
  struct Case {
    int minimum;
    unsigned int maximum;
    bool accepted;
  } cases[] = {{10, 10, false},   {10, 9, false}, {2147483647, 2147483647u, false},
               {-10, 10, true},   {-1, 0, true},  {0, 4294967295u, true},
               {INT_MIN, 0, true}};
  for (const Case& c : cases) {
    KPlot plot;
    KOk();
    trace.Clear();
    plot.SetYRange(c.minimum, c.maximum);
    EXPECT_EQ(KGetError(), c.accepted ? K_SUCCESS : K_ERROR_PARAMETERS_OUT_OF_RANGE) << c.minimum;
    EXPECT_EQ(trace.Names(), c.accepted ? std::vector<std::string>{} : std::vector<std::string>{"KPlot::SetYRange"});
    EXPECT_EQ(plot.GetYMinimum(), c.accepted ? c.minimum : 0.0);
    EXPECT_EQ(plot.GetYMaximum(), c.accepted ? c.maximum : 0.0);
    EXPECT_EQ(plot.GetAutomaticRange(), c.accepted ? 0 : 1);
  }
}

}  // namespace
