#include "kvbase/render/relief.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kvbase/foundation/internal/report.h"
#include "kvbase/foundation/units.h"
#include "kvbase/render/internal/fixed_point.h"
#include "kvbase/render/internal/view_angles.h"

using namespace kvbase::internal;  // the fixed-point and view-angle helpers

namespace {

constexpr const char* kGrayTrace = "KRender3D (Gray level)";
constexpr const char* kColorTrace = "KRender3D (Color)";

// The view of one call: fixed-point coefficients, the two height tables (per call, so renderings may run
// in parallel) and the visiting order.
struct Projection {
  std::int32_t columnOfColumn, columnOfRow, columnOffset;  // screen column terms
  std::int32_t rowOfColumn, rowOfRow, rowOffset;           // screen row terms
  std::uint32_t columnOfHeight[256];
  std::uint32_t rowOfHeight[256];
  bool columnsBackward, rowsBackward;
};

// a and b in radians; the sizes are those of the traversed source and of the destination.
void ComputeProjection(Projection& p, float a, float b, float sX, float sY, float sZ, int sourceWidth, int sourceHeight,
                       int destinationWidth, int destinationHeight) {
  const auto [cosA, sinA, cosB, sinB] = KViewAnglesOf(a, b);

  const float columnOfColumn = cosB * sX;
  const float columnOfRow = -sinB * sinA * sY;
  const float columnOfHeight = sinB * cosA * sZ;
  const float rowOfColumn = 0.0f * sX;
  const float rowOfRow = cosA * sY;
  const float rowOfHeight = sinA * sZ;
  const float depthOfColumn = sinB * sX;
  const float depthOfRow = -cosB * sinA * sY;

  const float ws = static_cast<float>(sourceWidth);
  const float hs = static_cast<float>(sourceHeight);
  // The height range enters as 256.
  const float columnOffset =
      (static_cast<float>(destinationWidth) - ws * columnOfColumn - hs * columnOfRow - 256.0f * columnOfHeight) / 2.0f;
  const float rowOffset =
      (static_cast<float>(destinationHeight) - ws * rowOfColumn - hs * rowOfRow - 256.0f * rowOfHeight) / 2.0f;

  p.columnOfColumn = ToFixed16(columnOfColumn);
  p.columnOfRow = ToFixed16(columnOfRow);
  p.columnOffset = ToFixed16(columnOffset);
  p.rowOfColumn = ToFixed16(rowOfColumn);
  p.rowOfRow = ToFixed16(rowOfRow);
  p.rowOffset = ToFixed16(rowOffset);
  FillMultiples(p.columnOfHeight, ToFixed16(columnOfHeight));
  FillMultiples(p.rowOfHeight, ToFixed16(rowOfHeight));
  p.columnsBackward = depthOfColumn < 0.0f;
  p.rowsBackward = depthOfRow < 0.0f;
}

// Where the pixels come from: heights always, colours for the colour overload (null for gray).
struct Sources {
  const unsigned char* heights;
  std::ptrdiff_t heightsPitch;
  const unsigned char* colours;
  std::ptrdiff_t coloursPitch;
  int width, height;  // of the traversed ROI
};

struct Target {
  unsigned char* pixels;
  std::ptrdiff_t pitch;
  int width, height;
};

// Writes the dot of `Mode` pixels whose landing point is at `p`; P is the pixel size.
template <int Mode, int P>
inline void WriteDot(unsigned char* p, std::ptrdiff_t pitch, const unsigned char* value) {
  auto put = [value](unsigned char* at) {
    if (P == 1) {
      *at = *value;
    } else {
      std::memcpy(at, value, P);
    }
  };
  if (Mode == 1) {
    put(p);
  } else if (Mode == 4) {
    put(p);
    put(p + P);
    put(p + pitch);
    put(p + pitch + P);
  } else if (Mode == 5) {
    put(p + P);
    put(p + pitch);
    put(p + pitch + P);
    put(p + pitch + 2 * P);
    put(p + 2 * pitch + P);
  } else {
    for (int dy = 0; dy < 3; ++dy) {
      unsigned char* row = p + dy * pitch;
      put(row);
      put(row + P);
      put(row + 2 * P);
    }
  }
}

// Visits the source in painting order and draws every dot that fits. P is the destination pixel size:
// 1 paints heights, 3 paints colours.
template <int Mode, int P>
void Paint(const Projection& view, const Sources& source, const Target& target) {
  constexpr int kExtent = Mode == 1 ? 1 : Mode == 4 ? 2 : 3;
  // Landing points allowed: x < W - (extent - 1), compared unsigned; never a wrapped bound.
  const std::uint32_t limitX = target.width >= kExtent ? static_cast<std::uint32_t>(target.width - (kExtent - 1)) : 0;
  const std::uint32_t limitY = target.height >= kExtent ? static_cast<std::uint32_t>(target.height - (kExtent - 1)) : 0;

  const int firstColumn = view.columnsBackward ? source.width - 1 : 0;
  const int columnStep = view.columnsBackward ? -1 : 1;
  const std::uint32_t stepX = static_cast<std::uint32_t>(view.columnOfColumn) * static_cast<std::uint32_t>(columnStep);
  const std::uint32_t stepY = static_cast<std::uint32_t>(view.rowOfColumn) * static_cast<std::uint32_t>(columnStep);

  for (int i = 0; i < source.height; ++i) {
    const int r = view.rowsBackward ? source.height - 1 - i : i;
    const unsigned char* heightRow = source.heights + r * source.heightsPitch;
    const unsigned char* colourRow = P == 3 ? source.colours + r * source.coloursPitch : nullptr;
    // Row terms recomputed at each row start, column terms carried by addition, all wrapping at 32 bits.
    const std::uint32_t ur = static_cast<std::uint32_t>(r), uc = static_cast<std::uint32_t>(firstColumn);
    std::uint32_t baseX = static_cast<std::uint32_t>(view.columnOffset) +
                          ur * static_cast<std::uint32_t>(view.columnOfRow) +
                          uc * static_cast<std::uint32_t>(view.columnOfColumn);
    std::uint32_t baseY = static_cast<std::uint32_t>(view.rowOffset) + ur * static_cast<std::uint32_t>(view.rowOfRow) +
                          uc * static_cast<std::uint32_t>(view.rowOfColumn);
    int c = firstColumn;
    for (int j = 0; j < source.width; ++j, c += columnStep, baseX += stepX, baseY += stepY) {
      const unsigned char h = heightRow[c];
      const std::int32_t x = IntegerPart16(baseX + view.columnOfHeight[h]);
      const std::int32_t y = IntegerPart16(baseY + view.rowOfHeight[h]);
      if (static_cast<std::uint32_t>(x) >= limitX || static_cast<std::uint32_t>(y) >= limitY) continue;
      unsigned char* at = target.pixels + y * target.pitch + static_cast<std::ptrdiff_t>(x) * P;
      WriteDot<Mode, P>(at, target.pitch, P == 3 ? colourRow + 3 * static_cast<std::ptrdiff_t>(c) : &h);
    }
  }
}

template <int P>
void PaintInMode(int dotMode, const Projection& view, const Sources& source, const Target& target) {
  switch (dotMode) {
    case 1: return Paint<1, P>(view, source, target);
    case 4: return Paint<4, P>(view, source, target);
    case 5: return Paint<5, P>(view, source, target);
    default: return Paint<9, P>(view, source, target);
  }
}

template <typename T>
const unsigned char* PixelsOf(KROI<T>* roi) {
  return roi == nullptr ? nullptr : reinterpret_cast<const unsigned char*>(roi->GetImagePtr(0, 0));
}

// Fills the destination rectangle with the background: gray 128, or 128 in every colour byte.
void FillBackground(const Target& target, int pixelSize) {
  const std::size_t rowBytes = static_cast<std::size_t>(target.width) * pixelSize;
  for (int y = 0; y < target.height; ++y) std::memset(target.pixels + y * target.pitch, 128, rowBytes);
}

// Steps shared by both overloads once the destination is known to have pixels: background, source
// check, dot mode check, painting.
template <int P>
void Render(Sources source, const Target& target, const Projection& view, int dotMode, K_ERRORS badModeCode,
            const char* traceName) {
  FillBackground(target, P);
  if (source.heights == nullptr || (P == 3 && source.colours == nullptr)) {
    return (void)KReport(K_ERROR_IMAGE_MEMORY_ACCESS, traceName);
  }
  if (dotMode != 1 && dotMode != 4 && dotMode != 5 && dotMode != 9) return (void)KReport(badModeCode, traceName);
  PaintInMode<P>(dotMode, view, source, target);
}

template <typename T>
bool TargetOf(KROI<T>* destination, Target& target) {
  target.pixels = destination == nullptr ? nullptr : reinterpret_cast<unsigned char*>(destination->GetImagePtr(0, 0));
  if (target.pixels == nullptr) return false;
  target.pitch = destination->GetRowPitch();
  target.width = destination->GetWidth();
  target.height = destination->GetHeight();
  return true;
}

}  // namespace

void KRender3D(KROI<unsigned char>* heights, KROI<unsigned char>* destination, float tiltAngle, float turnAngle,
               float scaleX, float scaleY, float scaleZ, int dotMode) {
  Target target;
  if (!TargetOf(destination, target)) return (void)KReport(K_ERROR_IMAGE_MEMORY_ACCESS, kGrayTrace);
  Sources source{PixelsOf(heights), 0, nullptr, 0, 0, 0};
  if (source.heights != nullptr) {
    source.heightsPitch = heights->GetRowPitch();
    source.width = heights->GetWidth();
    source.height = heights->GetHeight();
  }
  Projection view;
  ComputeProjection(view, KToRadians(tiltAngle), KToRadians(turnAngle), scaleX, scaleY, scaleZ, source.width,
                    source.height, target.width, target.height);
  Render<1>(source, target, view, dotMode, K_ERROR_PARAMETER_8_OUT_OF_RANGE, kGrayTrace);
}

void KRender3D(KROI<KC24>* colours, KROI<unsigned char>* heights, KROI<KC24>* destination, float tiltAngle,
               float turnAngle, float scaleX, float scaleY, float scaleZ, int dotMode) {
  Target target;
  if (!TargetOf(destination, target)) return (void)KReport(K_ERROR_IMAGE_MEMORY_ACCESS, kColorTrace);
  Sources source{PixelsOf(heights), 0, PixelsOf(colours), 0, 0, 0};
  if (source.heights != nullptr && source.colours != nullptr) {
    source.width = colours->GetWidth();
    source.height = colours->GetHeight();
    // Heights are read at the colours' positions.
    if (heights->GetWidth() < source.width || heights->GetHeight() < source.height) {
      return (void)KReport(K_ERROR_IMAGE_SIZES_DIFFER, kColorTrace);
    }
    source.heightsPitch = heights->GetRowPitch();
    source.coloursPitch = colours->GetRowPitch();
  }
  Projection view;
  ComputeProjection(view, tiltAngle, turnAngle, scaleX, scaleY, scaleZ, source.width, source.height, target.width,
                    target.height);
  Render<3>(source, target, view, dotMode, K_ERROR_PARAMETER_9_OUT_OF_RANGE, kColorTrace);
}
