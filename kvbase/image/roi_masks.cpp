// Masks of KROI<T>: run lists for rectangles, ellipses and rings.
//
// The ellipse and ring builders work row by row: each row's span is found exactly in integer arithmetic
// (internal/ellipse_rows.h), so building a mask costs time in proportion to the number of rows, and the
// runs are the same as those of testing every pixel.

#include <algorithm>
#include <cmath>

#include "kvbase/foundation/internal/report.h"
#include "kvbase/image/image.h"
#include "kvbase/image/internal/ellipse_rows.h"

using kvbase::internal::KEllipseRows;
using kvbase::internal::KSpan;

namespace {

// Where runs of one mask start: the ROI's pixel (0, 0) (or 0 for offsets), and how far apart rows and
// columns lie in the run words.
struct KRunLayout {
  std::uintptr_t origin;
  long long rowAdvance;
  long long pixelSize;

  KRun Make(int column, int row, int length) const {
    const std::uintptr_t start = origin + static_cast<std::uintptr_t>(row * rowAdvance + column * pixelSize);
    return KRun{start, start + static_cast<std::uintptr_t>(length * pixelSize), static_cast<std::uint16_t>(column),
                static_cast<std::uint16_t>(row)};
  }
};

}  // namespace

template <typename T>
std::uintptr_t KROI<T>::MaskOrigin() {
  return maskOffsets_ != 0 ? 0 : reinterpret_cast<std::uintptr_t>(GetImagePtr(0, 0));
}

template <typename T>
void KROI<T>::ResetMask() {
  KOk();
  mask_.SetMaxElements(0);
  KTraceIfFailed("KROI::ResetMask");
}

template <typename T>
void KROI<T>::SetRectangleMask(int x, int y, int width, int height) {
  const long long pitch = GetRowPitch();
  long long left = x, top = y, w = width, h = height;
  if (w < 1 || h < 1) {
    w = width_;
    h = height_;
  }
  if (left < 0) {
    w += left;
    left = 0;
  }
  if (top < 0) {
    h += top;
    top = 0;
  }
  w = std::min<long long>(w, width_ - left);
  h = std::min<long long>(h, height_ - top);
  // Nothing of the rectangle lies inside the ROI: the mask is empty.
  const unsigned int rows = (w <= 0 || h <= 0) ? 0 : static_cast<unsigned int>(h);

  KOk();
  mask_.SetNumElements(rows);
  if (KTraceIfFailed("KROI::SetRectangleMask")) return;

  std::uintptr_t p = reinterpret_cast<std::uintptr_t>(GetImagePtr(static_cast<int>(left), static_cast<int>(top)));
  if (maskOffsets_ != 0) p -= reinterpret_cast<std::uintptr_t>(GetImagePtr(0, 0));
  const std::uintptr_t length = static_cast<std::uintptr_t>(w) * sizeof(T);
  KRun* run = mask_.GetDataPtr();
  for (unsigned int k = 0; k < rows; ++k, p += static_cast<std::uintptr_t>(pitch)) {
    run[k] = KRun{p, p + length, static_cast<std::uint16_t>(left), static_cast<std::uint16_t>(top + k)};
  }
}

template <typename T>
void KROI<T>::SetEllipseMask(int x, int y, int width, int height) {
  const long long skip = GetSkip();
  if (width <= 0 || height <= 0) {
    // The default box is the whole ROI; the given origin plays no part.
    x = 0;
    y = 0;
    width = width_;
    height = height_;
  }
  const KEllipseRows ellipse(width, height);
  // The box's rows and columns that lie inside the ROI.
  const int firstRow = std::max(0, -y);
  const int endRow = static_cast<int>(std::min<long long>(height, static_cast<long long>(height_) - y));
  const auto clippedSpan = [&](int r) {
    KSpan span = ellipse.Span(r, 0);
    if (span.empty()) return span;
    const int first = static_cast<int>(std::max<long long>(0, static_cast<long long>(x) + span.first));
    const int last = static_cast<int>(std::min<long long>(width_ - 1, static_cast<long long>(x) + span.last));
    return first > last ? KSpan{-1, -1} : KSpan{first, last};
  };
  unsigned int runs = 0;
  for (int r = firstRow; r < endRow; ++r) runs += clippedSpan(r).empty() ? 0 : 1;

  KOk();
  mask_.SetNumElements(runs);
  if (KTraceIfFailed("KROI::SetEllipseMask")) return;

  const KRunLayout layout{MaskOrigin(), static_cast<long long>(width_) * static_cast<long long>(sizeof(T)) + skip,
                          static_cast<long long>(sizeof(T))};
  KRun* run = mask_.GetDataPtr();
  for (int r = firstRow; r < endRow; ++r) {
    const KSpan span = clippedSpan(r);
    if (!span.empty()) *run++ = layout.Make(span.first, y + r, span.last - span.first + 1);
  }
}

template <typename T>
void KROI<T>::SetRingMask(float ratio) {
  const long long skip = GetSkip();
  const int width = width_, height = height_;
  mask_.Empty();
  const KRunLayout layout{MaskOrigin(), static_cast<long long>(width) * static_cast<long long>(sizeof(T)) + skip,
                          static_cast<long long>(sizeof(T))};

  const KEllipseRows ellipse(width, height);
  // The second ellipse's threshold: the product formed in double precision, rounded once to single
  // precision, then down to an integer.
  const float product =
      static_cast<float>((1.0 - static_cast<double>(ratio) * ratio) * static_cast<double>(ellipse.FirstValue()));
  const __int128 inner = -static_cast<__int128>(std::floor(product));

  const auto append = [&](int first, int last, int row) {
    if (first > last) return true;
    KOk();
    mask_.AddElement(layout.Make(first, row, last - first + 1));
    return !KTraceIfFailed("KROI::SetRingMask");
  };
  for (int r = 0; r < height; ++r) {
    // A pixel is in the ring when exactly one of the two tests passes; both spans are centred, so one
    // holds the other and the ring is the larger minus the smaller: zero, one or two runs.
    const KSpan a = ellipse.Span(r, 0), b = ellipse.Span(r, inner);
    const KSpan& larger = inner <= 0 ? a : b;
    const KSpan& smaller = inner <= 0 ? b : a;
    if (larger.empty()) continue;
    if (smaller.empty()) {
      if (!append(larger.first, larger.last, r)) return;
      continue;
    }
    if (!append(larger.first, smaller.first - 1, r)) return;
    if (!append(smaller.last + 1, larger.last, r)) return;
  }
}

#define KVBASE_DEFINE_MASKS(T)                                 \
  template std::uintptr_t KROI<T>::MaskOrigin();               \
  template void KROI<T>::ResetMask();                          \
  template void KROI<T>::SetRectangleMask(int, int, int, int); \
  template void KROI<T>::SetEllipseMask(int, int, int, int);   \
  template void KROI<T>::SetRingMask(float);
KVBASE_FOR_EACH_PIXEL_TYPE(KVBASE_DEFINE_MASKS)
#undef KVBASE_DEFINE_MASKS
