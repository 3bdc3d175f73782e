#include "kvbase/render/color_histogram.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kvbase/foundation/internal/report.h"
#include "kvbase/foundation/units.h"
#include "kvbase/image/image.h"
#include "kvbase/render/internal/fixed_point.h"
#include "kvbase/render/internal/view_angles.h"

using namespace kvbase::internal;  // the fixed-point and view-angle helpers

namespace {

constexpr const char* kSingleTrace = "KRenderColorHistogram";
constexpr const char* kPairTrace = "KRenderColorHistogram (RGB, System)";

// The projection of one call as look-up tables: term[axis][v] = v x coefficient in 16.16, axis 0 being X
// (byte 2), 1 Y (byte 1) and 2 Z (byte 0); the offsets are folded into the X tables. Summing three
// entries gives, modulo 2^32, exactly the sum of the three products and the offset.
struct CubeProjection {
  std::uint32_t column[3][256];
  std::uint32_t row[3][256];
  std::uint32_t depth[3][256];
};

void ComputeProjection(CubeProjection& p, float tiltAngle, float turnAngle, float sX, float sY, float sZ, int width,
                       int height) {
  const auto [cosA, sinA, cosB, sinB] = KViewAnglesOf(KToRadians(tiltAngle), KToRadians(turnAngle));

  const float column[3] = {cosB * sX, sinB * sinA * sY, -sinB * cosA * sZ};
  const float row[3] = {0.0f * sX, cosA * sY, sinA * sZ};
  const float depth[3] = {sinB * sX, -cosB * sinA * sY, cosB * cosA * sZ};
  // Offsets put the cube point (127.5, 127.5, 127.5) at the destination's centre and at depth 127.5.
  const float columnOffset = (static_cast<float>(width) - 255.0f * (column[0] + column[1] + column[2])) / 2.0f;
  const float rowOffset = (static_cast<float>(height) - 255.0f * (row[0] + row[1] + row[2])) / 2.0f;
  const float depthOffset = (255.0f - 255.0f * (depth[0] + depth[1] + depth[2])) / 2.0f;

  for (int axis = 0; axis < 3; ++axis) {
    FillMultiples(p.column[axis], ToFixed16(column[axis]), axis == 0 ? ToFixed16(columnOffset) : 0);
    FillMultiples(p.row[axis], ToFixed16(row[axis]), axis == 0 ? ToFixed16(rowOffset) : 0);
    FillMultiples(p.depth[axis], ToFixed16(depth[axis]), axis == 0 ? ToFixed16(depthOffset) : 0);
  }
}

struct Canvas {
  unsigned char* pixels;
  std::ptrdiff_t pitch;
  unsigned char* depths;  // signed 16-bit depths held in a KImage<unsigned short>
  std::ptrdiff_t depthPitch;
  std::uint32_t width, height;
};

// Projects the point with coordinates (x, y, z) and paints `colour` (3 bytes, byte 0 first) there when it
// lands inside and is nearer than what is there. The integer part of a 32-bit 16.16 value always fits in
// 16 bits, so comparing the full depth or the depth cut to 16 bits is the same.
inline void PlotPoint(const Canvas& canvas, const CubeProjection& p, unsigned x, unsigned y, unsigned z,
                      const unsigned char* colour) {
  const std::int32_t c = IntegerPart16(p.column[0][x] + p.column[1][y] + p.column[2][z]);
  const std::int32_t r = IntegerPart16(p.row[0][x] + p.row[1][y] + p.row[2][z]);
  if (static_cast<std::uint32_t>(c) >= canvas.width || static_cast<std::uint32_t>(r) >= canvas.height) return;
  const std::int32_t d = IntegerPart16(p.depth[0][x] + p.depth[1][y] + p.depth[2][z]);
  std::uint16_t* depthAt = reinterpret_cast<std::uint16_t*>(canvas.depths + r * canvas.depthPitch) + c;
  const std::int32_t stored = static_cast<std::int16_t>(*depthAt);
  if (d <= stored) return;  // equal depth keeps the first point
  std::memcpy(canvas.pixels + r * canvas.pitch + 3 * static_cast<std::ptrdiff_t>(c), colour, 3);
  *depthAt = static_cast<std::uint16_t>(d);
}

// The twelve edges of the cube, each point in its own colour, in the fixed order: along Z, along X,
// along Y.
void DrawCubeEdges(const Canvas& canvas, const CubeProjection& p) {
  const unsigned ends[2] = {0, 255};
  auto plot = [&](unsigned x, unsigned y, unsigned z) {
    const unsigned char colour[3] = {static_cast<unsigned char>(z), static_cast<unsigned char>(y),
                                     static_cast<unsigned char>(x)};
    PlotPoint(canvas, p, x, y, z, colour);
  };
  for (unsigned x : ends) {
    for (unsigned y : ends) {
      for (unsigned z = 0; z < 256; ++z) plot(x, y, z);
    }
  }
  for (unsigned y : ends) {
    for (unsigned z : ends) {
      for (unsigned x = 0; x < 256; ++x) plot(x, y, z);
    }
  }
  for (unsigned z : ends) {
    for (unsigned x : ends) {
      for (unsigned y = 0; y < 256; ++y) plot(x, y, z);
    }
  }
}

bool HasPixels(KROI<KC24>* roi) { return roi != nullptr && roi->GetImagePtr(0, 0) != nullptr; }

// Both overloads: `coordinates` may be `colours` itself.
void Render(KROI<KC24>* colours, KROI<KC24>* coordinates, KROI<KC24>* destination, float tiltAngle, float turnAngle,
            float scaleX, float scaleY, float scaleZ, const char* traceName) {
  if (!HasPixels(colours) || !HasPixels(coordinates) || !HasPixels(destination)) {
    return (void)KReport(K_ERROR_IMAGE_MEMORY_ACCESS, traceName);
  }
  const int sourceWidth = colours->GetWidth();
  const int sourceHeight = colours->GetHeight();
  if (coordinates->GetWidth() != sourceWidth || coordinates->GetHeight() != sourceHeight) {
    return (void)KReport(K_ERROR_IMAGE_SIZES_DIFFER, traceName);
  }
  const int width = destination->GetWidth();
  const int height = destination->GetHeight();
  if (width <= 0 || height <= 0) return;  // nothing to draw on

  KImage<unsigned short> depths(width, height);
  if (depths.GetImagePtr(0, 0) == nullptr) return (void)KReport(K_ERROR_ALLOCATION, traceName);

  CubeProjection projection;
  ComputeProjection(projection, tiltAngle, turnAngle, scaleX, scaleY, scaleZ, width, height);

  const Canvas canvas{reinterpret_cast<unsigned char*>(destination->GetImagePtr(0, 0)),
                      destination->GetRowPitch(),
                      reinterpret_cast<unsigned char*>(depths.GetImagePtr(0, 0)),
                      depths.GetRowPitch(),
                      static_cast<std::uint32_t>(width),
                      static_cast<std::uint32_t>(height)};
  for (int y = 0; y < height; ++y) {
    std::memset(canvas.pixels + y * canvas.pitch, 128, static_cast<std::size_t>(width) * 3);
    std::uint16_t* depthRow = reinterpret_cast<std::uint16_t*>(canvas.depths + y * canvas.depthPitch);
    std::fill_n(depthRow, width, static_cast<std::uint16_t>(0x8000));  // -32768, the farthest depth
  }

  const unsigned char* colourBase = reinterpret_cast<const unsigned char*>(colours->GetImagePtr(0, 0));
  const unsigned char* coordinateBase = reinterpret_cast<const unsigned char*>(coordinates->GetImagePtr(0, 0));
  const std::ptrdiff_t colourPitch = colours->GetRowPitch();
  const std::ptrdiff_t coordinatePitch = coordinates->GetRowPitch();
  for (int r = 0; r < sourceHeight; ++r) {
    const unsigned char* colour = colourBase + r * colourPitch;
    const unsigned char* coordinate = coordinateBase + r * coordinatePitch;
    for (int c = 0; c < sourceWidth; ++c, colour += 3, coordinate += 3) {
      // A point with the coordinates of the one before lands at the same place and depth, where equal
      // depth never overwrites: skipping it changes nothing.
      if (c > 0 && std::memcmp(coordinate, coordinate - 3, 3) == 0) continue;
      PlotPoint(canvas, projection, coordinate[2], coordinate[1], coordinate[0], colour);
    }
  }
  DrawCubeEdges(canvas, projection);
}

}  // namespace

void KRenderColorHistogram(KROI<KC24>* source, KROI<KC24>* destination, float tiltAngle, float turnAngle, float scaleX,
                           float scaleY, float scaleZ) {
  Render(source, source, destination, tiltAngle, turnAngle, scaleX, scaleY, scaleZ, kSingleTrace);
}

void KRenderColorHistogram(KROI<KC24>* colours, KROI<KC24>* coordinates, KROI<KC24>* destination, float tiltAngle,
                           float turnAngle, float scaleX, float scaleY, float scaleZ) {
  Render(colours, coordinates, destination, tiltAngle, turnAngle, scaleX, scaleY, scaleZ, kPairTrace);
}
