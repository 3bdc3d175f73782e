#include "kvbase/vectors/plot.h"

#include <climits>
#include <cmath>

#include "kvbase/foundation/internal/report.h"

namespace {

// origin + trunc(span x (value - minimum) / (maximum - minimum)), computed in double precision. An empty
// or non-finite range yields `origin`; the sum saturates instead of overflowing.
int Project(int origin, int span, double value, double minimum, double maximum) {
  if (!(maximum != minimum)) return origin;
  const double offset = span * (value - minimum) / (maximum - minimum);
  if (std::isnan(offset)) return origin;
  const double position = origin + std::trunc(offset);
  if (position <= INT_MIN) return INT_MIN;
  if (position >= INT_MAX) return INT_MAX;
  return static_cast<int>(position);
}

}  // namespace

int KPlot::XView(double x) const { return Project(plotLeft_, plotRight_ - plotLeft_, x, xMinimum_, xMaximum_); }

int KPlot::YView(double y) const { return Project(plotBottom_, plotTop_ - plotBottom_, y, yMinimum_, yMaximum_); }

void KPlot::SetYRange(int minimum, unsigned int maximum) {
  if (static_cast<double>(maximum) <= static_cast<double>(minimum)) {
    KReport(K_ERROR_PARAMETERS_OUT_OF_RANGE, "KPlot::SetYRange");
    return;
  }
  yMinimum_ = minimum;
  yMaximum_ = maximum;
  automaticRange_ = 0;
}
