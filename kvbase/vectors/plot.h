#ifndef KVBASE_VECTORS_PLOT_H
#define KVBASE_VECTORS_PLOT_H

// KPlot: the mapping from a data range to device coordinates that vectors use when they draw themselves,
// and the annotated plot frame around them. The profile vectors (profile_vectors.h) inherit it.
//
// The data range is [X minimum, X maximum] x [Y minimum, Y maximum]; the plotting rectangle is computed
// by DrawAnnotations inside the area given to it (device y grows downwards, so plot bottom > plot top).
// While the automatic-range flag is set, each Draw recomputes the Y range from the vector's data;
// SetYRange fixes it and clears the flag. Until the first Draw or SetYRange every range and rectangle
// value is 0.

#include "kvbase/platform/export.h"
#include "kvbase/platform/windows_types.h"

class KVBASE_API KPlot {
 public:
  KPlot() = default;

  // Device column of the data value `x`: plot left + (plot right - plot left) x (x - X minimum) /
  // (X maximum - X minimum), truncated towards zero. An empty X range maps everything to plot left; the
  // result saturates at the limits of int.
  int XView(double x) const;
  // Device row of the data value `y`; Y maximum maps to plot top. An empty Y range maps to plot bottom.
  int YView(double y) const;

  // Fixes the Y range to [minimum, maximum] and clears the automatic-range flag. A `maximum` not above
  // `minimum` sets K_ERROR_PARAMETERS_OUT_OF_RANGE (traced "KPlot::SetYRange") and changes nothing.
  void SetYRange(int minimum, unsigned int maximum);

  // Computes the plotting rectangle inside the width x height area whose top-left corner is (left, top)
  // and draws the frame: arrowed axes, tick grid lines, tick labels and the two axis names. The device
  // context's pen, brush, background mode and text alignment are restored afterwards.
  void DrawAnnotations(HDC dc, int width, int height, int left, int top, const char* xName, const char* yName);

  double GetXMinimum() const { return xMinimum_; }
  double GetXMaximum() const { return xMaximum_; }
  double GetYMinimum() const { return yMinimum_; }
  double GetYMaximum() const { return yMaximum_; }
  int GetPlotLeft() const { return plotLeft_; }
  int GetPlotRight() const { return plotRight_; }
  int GetPlotBottom() const { return plotBottom_; }
  int GetPlotTop() const { return plotTop_; }
  // Non-zero while drawing recomputes the Y range from the data.
  int GetAutomaticRange() const { return automaticRange_; }

 protected:
  double xMinimum_ = 0.0;
  double xMaximum_ = 0.0;
  double yMinimum_ = 0.0;
  double yMaximum_ = 0.0;
  int plotLeft_ = 0;
  int plotRight_ = 0;
  int plotBottom_ = 0;  // the larger device y
  int plotTop_ = 0;
  int automaticRange_ = 1;
};

#endif  // KVBASE_VECTORS_PLOT_H
