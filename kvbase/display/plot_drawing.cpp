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

// The geometry of an annotated frame: the area, the text height, the plotting rectangle, the scales
// and the device row of the value 0.
struct KFrameGeometry {
  Coordinate left, top, right, bottom;  // the area
  Coordinate H;                         // text height
  Coordinate pl, pr, pb, pt;            // the plotting rectangle
  double sx, sy;                        // device pixels per unit of X and Y
  Coordinate z;                         // device row of the value 0
};

// The device context's pen, brush, background mode and text alignment, restored when it goes.
class KSavedDrawingState {
 public:
  explicit KSavedDrawingState(HDC dc)
      : dc_(dc),
        background_(GetBkMode(dc)),
        align_(GetTextAlign(dc)),
        pen_(SelectObject(dc, GetStockObject(BLACK_PEN))),
        brush_(SelectObject(dc, GetStockObject(BLACK_BRUSH))) {}
  ~KSavedDrawingState() {
    SelectObject(dc_, pen_);
    SelectObject(dc_, brush_);
    SetBkMode(dc_, background_);
    SetTextAlign(dc_, align_);
  }
  KSavedDrawingState(const KSavedDrawingState&) = delete;
  KSavedDrawingState& operator=(const KSavedDrawingState&) = delete;

 private:
  HDC dc_;
  int background_;
  UINT align_;
  HGDIOBJ pen_;
  HGDIOBJ brush_;
};

// The X axis, two pixels thick, with its arrow head; then the Y axis.
void DrawAxes(HDC dc, const KFrameGeometry& g) {
  const Coordinate H = g.H, z = g.z;
  const Coordinate tipX = g.right - H / 2;
  Triangle(dc, tipX, z, tipX - H, z - H / 4, tipX - H, z + H / 4);
  Line(dc, g.left + H / 2, z, tipX - H, z);
  Line(dc, g.left + H / 2, z + 1, tipX - H, z + 1);
  const Coordinate arrowTop = g.top + H / 2;
  Triangle(dc, g.pl, arrowTop, g.pl - H / 4, arrowTop + H, g.pl + H / 4, arrowTop + H);
  Line(dc, g.pl, arrowTop + H, g.pl, g.bottom - H / 2);
  Line(dc, g.pl + 1, arrowTop + H, g.pl + 1, g.bottom - H / 2);
}

// X ticks: as many as labels of the largest value fit, at steps of 1, 2, 5, 10, ...
void DrawXTicks(HDC dc, const KFrameGeometry& g, double xMaximum) {
  const Coordinate H = g.H;
  const double digits = std::min(std::max(1.0, std::ceil(std::log10(xMaximum))), 19.0);
  const Coordinate Wt = Extent(dc, "01234567890123456789", static_cast<int>(digits) + 1).cx;
  const int xCount = Clamp(std::max<Coordinate>(1, Wt > 0 ? (g.pr - g.pl) / Wt : 1));
  const double s = TickStep(xCount, xMaximum);
  // The step makes at most xCount ticks; the bound only guards against infinite ranges.
  double v = s;
  for (long long k = 2; v <= xMaximum && k <= xCount + 2LL; v = s * static_cast<double>(k++)) {
    const Coordinate px = g.pl + Trunc(v * g.sx);
    Line(dc, px, g.pt, px, g.pb + H / 2);
    Text(dc, TA_CENTER | TA_TOP, px, g.pb + H, Label(v).text);
  }
  if (v < xMaximum + s) {  // X maximum was not a tick
    Line(dc, g.pr, g.pt, g.pr, g.pb);
    Text(dc, TA_RIGHT | TA_TOP, g.right - H / 2, g.pb + H, Label(xMaximum).text);
  }
}

// Y ticks, from the top down; the value 0 is the X axis and gets none.
void DrawYTicks(HDC dc, const KFrameGeometry& g, double yMinimum, double yMaximum, const Label& minimumLabel,
                const Label& maximumLabel) {
  const Coordinate H = g.H, pl = g.pl, pr = g.pr;
  const int yCount = Clamp(std::max<Coordinate>(1, H > 0 ? (g.pb - g.pt) / H : 1));
  const double t = TickStep(yCount, yMaximum - yMinimum);
  const double kLow = std::ceil(yMinimum / t), kHigh = std::floor(yMaximum / t);
  if (kHigh * t != yMaximum) {
    Line(dc, pr, g.pt, pl, g.pt);
    Text(dc, TA_RIGHT | TA_TOP, pl - H, g.top + H / 2, maximumLabel.text);
  }
  SetTextAlign(dc, TA_RIGHT | TA_BASELINE);
  // The step makes at most yCount + 1 ticks; the bound only guards against infinite ranges.
  for (long long i = 0; i <= yCount + 1LL && kHigh - static_cast<double>(i) >= kLow; ++i) {
    const double k = kHigh - static_cast<double>(i);
    if (k == 0.0) continue;
    const Coordinate py = g.pb + Trunc((k * t - yMinimum) * g.sy);
    Line(dc, pr, py, pl - H / 2, py);
    Text(dc, pl - H, py + H / 3, Label(k * t).text);
  }
  if (kLow * t != yMinimum) {
    Line(dc, pr, g.pb, pl, g.pb);
    Text(dc, TA_RIGHT | TA_TOP, pl - H, g.pb + H, minimumLabel.text);
  }
}

}  // namespace

void KPlot::DrawAnnotations(HDC dc, int width, int height, int left, int top, const char* xName, const char* yName) {
  if (xName == nullptr) xName = "";
  if (yName == nullptr) yName = "";
  // Text measures: the widest Y range label, the X axis name and the text height.
  const Label yMinimumLabel(yMinimum_), yMaximumLabel(yMaximum_);
  const Coordinate W = std::max(Extent(dc, yMinimumLabel.text, static_cast<int>(std::strlen(yMinimumLabel.text))).cx,
                                Extent(dc, yMaximumLabel.text, static_cast<int>(std::strlen(yMaximumLabel.text))).cx);
  const SIZE xNameSize = Extent(dc, xName, static_cast<int>(std::strlen(xName)));
  const Coordinate Wx = xNameSize.cx, H = xNameSize.cy;

  KFrameGeometry g{};
  g.left = left;
  g.top = top;
  g.right = g.left + width;
  g.bottom = g.top + height;
  g.H = H;
  plotLeft_ = Clamp(g.left + H / 2 + W + H);
  plotRight_ = Clamp(g.right - H / 2 - Wx - H);
  plotBottom_ = Clamp(g.bottom - H / 2 - 2 * H);
  plotTop_ = Clamp(g.top + H / 2 + 2 * H);
  g.pl = plotLeft_;
  g.pr = plotRight_;
  g.pb = plotBottom_;
  g.pt = plotTop_;
  g.sx = xMaximum_ != xMinimum_ ? static_cast<double>(g.pr - g.pl) / (xMaximum_ - xMinimum_) : 0.0;
  g.sy = yMaximum_ != yMinimum_ ? static_cast<double>(g.pt - g.pb) / (yMaximum_ - yMinimum_) : 0.0;
  g.z = g.pb - Trunc(yMinimum_ * g.sy);

  const KSavedDrawingState saved(dc);
  SetBkMode(dc, TRANSPARENT);
  DrawAxes(dc, g);
  DrawXTicks(dc, g, xMaximum_);
  DrawYTicks(dc, g, yMinimum_, yMaximum_, yMinimumLabel, yMaximumLabel);
  Text(dc, TA_RIGHT | TA_BASELINE, g.right - H / 2, g.z - H, xName);
  Text(dc, TA_LEFT | TA_TOP, g.pl + H, g.top + H / 2, yName);
}
