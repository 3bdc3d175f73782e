#include "kvbase/platform/internal/raster.h"

#include <algorithm>
#include <cmath>

namespace kvgdi {

void DrawThinLine(Surface& surface, DevicePoint from, DevicePoint to, std::uint32_t value) {
  const std::int64_t dx = to.x - from.x;
  const std::int64_t dy = to.y - from.y;
  const std::int64_t adx = dx < 0 ? -dx : dx;
  const std::int64_t ady = dy < 0 ? -dy : dy;
  if (adx == 0 && ady == 0) return;
  const bool xMajor = adx >= ady;
  const std::int64_t major = xMajor ? adx : ady;
  const std::int64_t minor = xMajor ? ady : adx;
  const std::int64_t majorStep = (xMajor ? dx : dy) < 0 ? -1 : 1;
  const std::int64_t minorStep = (xMajor ? dy : dx) < 0 ? -1 : 1;
  const std::int64_t major0 = xMajor ? from.x : from.y;
  const std::int64_t minor0 = xMajor ? from.y : from.x;
  const std::int64_t majorLimit = xMajor ? surface.Width() : surface.Height();
  const std::int64_t minorLimit = xMajor ? surface.Height() : surface.Width();

  // Only the steps whose major coordinate lies on the surface are walked.
  std::int64_t kLow, kHigh;
  if (majorStep > 0) {
    kLow = std::max<std::int64_t>(0, -major0);
    kHigh = std::min<std::int64_t>(major, majorLimit - major0);
  } else {
    kLow = std::max<std::int64_t>(0, major0 - majorLimit + 1);
    kHigh = std::min<std::int64_t>(major, major0 + 1);
  }
  if (kLow >= kHigh) return;

  // minor offset at step k = floor((2 k minor + major) / (2 major)), kept as quotient and remainder.
  const __int128 numerator = static_cast<__int128>(2) * kLow * minor + major;
  std::int64_t q = static_cast<std::int64_t>(numerator / (2 * major));
  std::int64_t r = static_cast<std::int64_t>(numerator % (2 * major));
  for (std::int64_t k = kLow; k < kHigh; ++k) {
    const std::int64_t a = major0 + majorStep * k;
    const std::int64_t b = minor0 + minorStep * q;
    if (b >= 0 && b < minorLimit) {
      if (xMajor) {
        surface.Write(static_cast<int>(a), static_cast<int>(b), value);
      } else {
        surface.Write(static_cast<int>(b), static_cast<int>(a), value);
      }
    }
    r += 2 * minor;
    if (r >= 2 * major) {
      r -= 2 * major;
      ++q;
    }
  }
}

namespace {

double Cross(double ox, double oy, double ax, double ay, double bx, double by) {
  return (ax - ox) * (by - oy) - (ay - oy) * (bx - ox);
}

}  // namespace

void DrawWideLine(Surface& surface, DevicePoint from, DevicePoint to, int width, std::uint32_t value) {
  const double low = -(width / 2);
  const double high = low + width;
  if (from.x == to.x || from.y == to.y) {
    // Horizontal, vertical or a single point: the swept area is a rectangle.
    const std::int64_t x0 = std::min(from.x, to.x) + static_cast<std::int64_t>(low);
    const std::int64_t y0 = std::min(from.y, to.y) + static_cast<std::int64_t>(low);
    const std::int64_t x1 = std::max(from.x, to.x) + static_cast<std::int64_t>(high);
    const std::int64_t y1 = std::max(from.y, to.y) + static_cast<std::int64_t>(high);
    surface.FillRect(x0, y0, x1, y1, value);
    return;
  }
  // The swept area is the convex hull of the pen's square at both ends.
  struct P {
    double x, y;
  };
  std::vector<P> corners;
  for (const DevicePoint& end : {from, to}) {
    for (double ox : {low, high})
      for (double oy : {low, high})
        corners.push_back({static_cast<double>(end.x) + ox, static_cast<double>(end.y) + oy});
  }
  std::sort(corners.begin(), corners.end(),
            [](const P& a, const P& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
  std::vector<P> hull(2 * corners.size());
  std::size_t k = 0;
  for (std::size_t i = 0; i < corners.size(); ++i) {  // lower hull
    while (k >= 2 && Cross(hull[k - 2].x, hull[k - 2].y, hull[k - 1].x, hull[k - 1].y, corners[i].x, corners[i].y) <= 0)
      --k;
    hull[k++] = corners[i];
  }
  for (std::size_t i = corners.size() - 1, lower = k + 1; i-- > 0;) {  // upper hull
    while (k >= lower &&
           Cross(hull[k - 2].x, hull[k - 2].y, hull[k - 1].x, hull[k - 1].y, corners[i].x, corners[i].y) <= 0)
      --k;
    hull[k++] = corners[i];
  }
  std::vector<double> xs, ys;
  for (std::size_t i = 0; i + 1 < k; ++i) {
    xs.push_back(hull[i].x);
    ys.push_back(hull[i].y);
  }
  FillPolygon(surface, xs, ys, value, true);
}

void FillPolygon(Surface& surface, const std::vector<double>& xs, const std::vector<double>& ys, std::uint32_t value,
                 bool strict) {
  const std::size_t n = xs.size();
  if (n < 3) return;
  const double top = *std::min_element(ys.begin(), ys.end());
  const double bottom = *std::max_element(ys.begin(), ys.end());
  // Clamped as doubles: rows far off the surface must not wrap when narrowed.
  const double rows = surface.Height();
  const int firstRow = static_cast<int>(std::clamp(std::floor(top), 0.0, rows));
  const int endRow = static_cast<int>(std::clamp(std::ceil(bottom), 0.0, rows));
  std::vector<double> crossings;
  for (int y = firstRow; y < endRow; ++y) {
    const double yc = y + 0.5;
    crossings.clear();
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t j = (i + 1) % n;
      const double ya = ys[i], yb = ys[j];
      if (ya == yb) continue;
      if (yc < std::min(ya, yb) || yc >= std::max(ya, yb)) continue;
      crossings.push_back(xs[i] + (yc - ya) * (xs[j] - xs[i]) / (yb - ya));
    }
    std::sort(crossings.begin(), crossings.end());
    for (std::size_t i = 0; i + 1 < crossings.size(); i += 2) {
      // Pixels whose centre x + 0.5 lies in [left, right), or in (left, right) when strict.
      const double left = std::max(crossings[i] - 0.5, -2.0);
      const double right = std::min(crossings[i + 1] - 0.5, static_cast<double>(surface.Width()) + 1.0);
      const double first = strict ? std::floor(left) + 1 : std::ceil(left);
      surface.FillSpan(y, static_cast<std::int64_t>(first), static_cast<std::int64_t>(std::ceil(right)), value);
    }
  }
}

}  // namespace kvgdi
