#ifndef KVBASE_PLATFORM_INTERNAL_RASTER_H
#define KVBASE_PLATFORM_INTERNAL_RASTER_H

// Line and polygon rasterisation onto a Surface. Coordinates are device pixels in 64-bit integers
// (logical coordinates plus the viewport origin can leave the int range); everything is clipped to the
// surface, and the work done is bounded by the surface's size, never by the coordinates.

#include <cstdint>
#include <vector>

#include "kvbase/platform/internal/surface.h"

namespace kvgdi {

struct DevicePoint {
  std::int64_t x;
  std::int64_t y;
};

// A one-pixel line from `from` to `to`, without `to` itself. Step k along the major axis lands on
// minor offset round(k * minor / major), halves rounded away from `from`.
void DrawThinLine(Surface& surface, DevicePoint from, DevicePoint to, std::uint32_t value);

// A line drawn with a square pen of `width` pixels: every pixel whose centre lies strictly inside the
// area swept by the pen's square (covering offsets -width/2 to width - 1 - width/2 around a point),
// both ends included. Strictness keeps the result symmetric where an edge passes through centres.
void DrawWideLine(Surface& surface, DevicePoint from, DevicePoint to, int width, std::uint32_t value);

// Fills the pixels whose centre lies inside the closed polygon by the alternate (even-odd) rule.
// Vertices are in pixel-corner coordinates: the polygon (0,0) (2,0) (2,2) (0,2) covers 2 x 2 pixels.
// A centre on a left edge counts as inside unless `strict`; one on a right edge never does.
void FillPolygon(Surface& surface, const std::vector<double>& xs, const std::vector<double>& ys, std::uint32_t value,
                 bool strict = false);

}  // namespace kvgdi

#endif  // KVBASE_PLATFORM_INTERNAL_RASTER_H
