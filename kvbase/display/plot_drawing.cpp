// The drawing half of KPlot: the plotting rectangle inside a given area and the annotated frame, with
// arrowed axes, tick grid lines, "%.0f" tick labels and the two axis names.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "kvbase/platform/gdi.h"
#include "kvbase/vectors/plot.h"

namespace {

// Labels are formatted with "%.0f" into 21 characters; longer numbers are cut rather than overflow.
struct Label {
  explicit Label(double value) { std::snprintf(text, sizeof text, "%.0f", value); }
  char text[21];
};

SIZE Extent(HDC dc, const char* text, int length) {
  SIZE size{0, 0};
  GetTextExtentPoint32A(dc, text, length, &size);
  return size;
}

// Device coordinates are computed in 64 bits, so that no area given by a caller can overflow them,
// and clamped to the int range at the GDI call.
using Coordinate = long long;

int Clamp(Coordinate value) {
  return static_cast<int>(std::min<Coordinate>(std::max<Coordinate>(value, INT_MIN), INT_MAX));
}

void Line(HDC dc, Coordinate x0, Coordinate y0, Coordinate x1, Coordinate y1) {
  MoveToEx(dc, Clamp(x0), Clamp(y0), nullptr);
  LineTo(dc, Clamp(x1), Clamp(y1));
}

void Text(HDC dc, Coordinate x, Coordinate y, const char* text) {
  TextOutA(dc, Clamp(x), Clamp(y), text, static_cast<int>(std::strlen(text)));
}

void Text(HDC dc, UINT align, Coordinate x, Coordinate y, const char* text) {
  SetTextAlign(dc, align);
  Text(dc, x, y, text);
}

void Triangle(HDC dc, Coordinate tipX, Coordinate tipY, Coordinate x0, Coordinate y0, Coordinate x1, Coordinate y1) {
  const POINT points[] = {{Clamp(tipX), Clamp(tipY)}, {Clamp(x0), Clamp(y0)}, {Clamp(x1), Clamp(y1)}};
  Polygon(dc, points, 3);
}

// trunc(value) as an int, kept inside the int range (a NaN gives 0).
int Trunc(double value) {
  if (!(value == value)) return 0;
  if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(value);
}

// The first of 1, 2, 5, 10, 20, 50, ... whose `count` multiples are not below `span`. The search
// stops at huge steps, so that an infinite span cannot hold it.
double TickStep(int count, double span) {
  const double factors[] = {2.0, 2.5, 2.0};
  double step = 1.0;
  for (int i = 0; count * step < span && step < 1e300; ++i) step *= factors[i % 3];
  return step;
}

}  // namespace

void KPlot::DrawAnnotations(HDC dc, int width, int height, int left, int top, const char* xName, const char* yName) {
  if (xName == nullptr) xName = "";
  if (yName == nullptr) yName = "";
  // 1. Text measures: the widest Y range label, the X axis name and the text height.
  const Label yMinimumLabel(yMinimum_), yMaximumLabel(yMaximum_);
  const Coordinate W = std::max(Extent(dc, yMinimumLabel.text, static_cast<int>(std::strlen(yMinimumLabel.text))).cx,
                                Extent(dc, yMaximumLabel.text, static_cast<int>(std::strlen(yMaximumLabel.text))).cx);
  const SIZE xNameSize = Extent(dc, xName, static_cast<int>(std::strlen(xName)));
  const Coordinate Wx = xNameSize.cx, H = xNameSize.cy;
  const Coordinate L = left, T = top, right = L + width, bottom = T + height;

  // 2. The plotting rectangle, the scales and the device row of the value 0.
  plotLeft_ = Clamp(L + H / 2 + W + H);
  plotRight_ = Clamp(right - H / 2 - Wx - H);
  plotBottom_ = Clamp(bottom - H / 2 - 2 * H);
  plotTop_ = Clamp(T + H / 2 + 2 * H);
  const Coordinate pl = plotLeft_, pr = plotRight_, pb = plotBottom_, pt = plotTop_;
  const double sx = xMaximum_ != xMinimum_ ? static_cast<double>(pr - pl) / (xMaximum_ - xMinimum_) : 0.0;
  const double sy = yMaximum_ != yMinimum_ ? static_cast<double>(pt - pb) / (yMaximum_ - yMinimum_) : 0.0;
  const Coordinate z = pb - Trunc(yMinimum_ * sy);

  // 3. The context's state, restored at the end.
  const int savedBackground = GetBkMode(dc);
  const UINT savedAlign = GetTextAlign(dc);
  HGDIOBJ savedPen = SelectObject(dc, GetStockObject(BLACK_PEN));
  HGDIOBJ savedBrush = SelectObject(dc, GetStockObject(BLACK_BRUSH));
  SetBkMode(dc, TRANSPARENT);

  // 4. X axis, two pixels thick, with its arrow head.
  const Coordinate tipX = right - H / 2;
  Triangle(dc, tipX, z, tipX - H, z - H / 4, tipX - H, z + H / 4);
  Line(dc, L + H / 2, z, tipX - H, z);
  Line(dc, L + H / 2, z + 1, tipX - H, z + 1);

  // 5. Y axis.
  const Coordinate arrowTop = T + H / 2;
  Triangle(dc, pl, arrowTop, pl - H / 4, arrowTop + H, pl + H / 4, arrowTop + H);
  Line(dc, pl, arrowTop + H, pl, bottom - H / 2);
  Line(dc, pl + 1, arrowTop + H, pl + 1, bottom - H / 2);

  // 6. X ticks: as many as labels of the largest value fit, at steps of 1, 2, 5, 10, ...
  const double digits = std::min(std::max(1.0, std::ceil(std::log10(xMaximum_))), 19.0);
  const Coordinate Wt = Extent(dc, "01234567890123456789", static_cast<int>(digits) + 1).cx;
  const int xCount = Clamp(std::max<Coordinate>(1, Wt > 0 ? (pr - pl) / Wt : 1));
  const double s = TickStep(xCount, xMaximum_);
  // The step makes at most xCount ticks; the bound only guards against infinite ranges.
  double v = s;
  for (long long k = 2; v <= xMaximum_ && k <= xCount + 2LL; v = s * static_cast<double>(k++)) {
    const Coordinate px = pl + Trunc(v * sx);
    Line(dc, px, pt, px, pb + H / 2);
    Text(dc, TA_CENTER | TA_TOP, px, pb + H, Label(v).text);
  }
  if (v < xMaximum_ + s) {  // X maximum was not a tick
    Line(dc, pr, pt, pr, pb);
    Text(dc, TA_RIGHT | TA_TOP, right - H / 2, pb + H, Label(xMaximum_).text);
  }

  // 7. Y ticks, from the top down; the value 0 is the X axis and gets none.
  const int yCount = Clamp(std::max<Coordinate>(1, H > 0 ? (pb - pt) / H : 1));
  const double t = TickStep(yCount, yMaximum_ - yMinimum_);
  const double kLow = std::ceil(yMinimum_ / t), kHigh = std::floor(yMaximum_ / t);
  if (kHigh * t != yMaximum_) {
    Line(dc, pr, pt, pl, pt);
    Text(dc, TA_RIGHT | TA_TOP, pl - H, T + H / 2, yMaximumLabel.text);
  }
  SetTextAlign(dc, TA_RIGHT | TA_BASELINE);
  // The step makes at most yCount + 1 ticks; the bound only guards against infinite ranges.
  for (long long i = 0; i <= yCount + 1LL && kHigh - static_cast<double>(i) >= kLow; ++i) {
    const double k = kHigh - static_cast<double>(i);
    if (k == 0.0) continue;
    const Coordinate py = pb + Trunc((k * t - yMinimum_) * sy);
    Line(dc, pr, py, pl - H / 2, py);
    Text(dc, pl - H, py + H / 3, Label(k * t).text);
  }
  if (kLow * t != yMinimum_) {
    Line(dc, pr, pb, pl, pb);
    Text(dc, TA_RIGHT | TA_TOP, pl - H, pb + H, yMinimumLabel.text);
  }

  // 8. Axis names.
  Text(dc, TA_RIGHT | TA_BASELINE, right - H / 2, z - H, xName);
  Text(dc, TA_LEFT | TA_TOP, pl + H, T + H / 2, yName);

  // 9. Restore.
  SelectObject(dc, savedPen);
  SelectObject(dc, savedBrush);
  SetBkMode(dc, savedBackground);
  SetTextAlign(dc, savedAlign);
}
