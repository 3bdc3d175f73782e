#ifndef KVBASE_TESTING_MASK_REFERENCE_H
#define KVBASE_TESTING_MASK_REFERENCE_H

// Plain per-pixel references of the ellipse and ring masks, for tests and benchmarks: every pixel of
// the box is visited with the incremental test values (a row value starting at W H - W - H and growing by
// 4 W (j + 1), a column value growing by 4 H (i + 1)), and runs are opened and closed pixel by pixel.

#include <cmath>
#include <vector>

namespace kvbase::testing {

struct KRunRef {
  int row;
  int first;  // first column
  int length;
  bool operator==(const KRunRef& o) const { return row == o.row && first == o.first && length == o.length; }
};

// Calls inside(c, r, d) for every pixel in row order with its test value d.
template <typename Visit>
inline void VisitEllipseValues(int width, int height, Visit visit) {
  const __int128 W = static_cast<__int128>(width - 1) * (width - 1);
  const __int128 H = static_cast<__int128>(height - 1) * (height - 1);
  __int128 rowValue = W * H - W - H;
  for (int r = 0; r < height; ++r) {
    const __int128 j = 2 * static_cast<__int128>(r) - (height - 1);
    __int128 d = rowValue;
    for (int c = 0; c < width; ++c) {
      const __int128 i = 2 * static_cast<__int128>(c) - (width - 1);
      visit(c, r, d);
      d += 4 * H * (i + 1);
    }
    rowValue += 4 * W * (j + 1);
  }
}

// Runs of the pixels for which `in(d)` holds, left to right, row by row.
template <typename Inside>
inline std::vector<KRunRef> ReferenceRuns(int width, int height, Inside in) {
  std::vector<KRunRef> runs;
  bool open = false;
  VisitEllipseValues(width, height, [&](int c, int r, __int128 d) {
    if (c == 0 && open) open = false;  // runs never cross a row end
    if (in(d)) {
      if (open && runs.back().row == r) {
        ++runs.back().length;
      } else {
        runs.push_back({r, c, 1});
        open = true;
      }
    } else {
      open = false;
    }
  });
  return runs;
}

inline std::vector<KRunRef> ReferenceEllipse(int width, int height) {
  return ReferenceRuns(width, height, [](__int128 d) { return d <= 0; });
}

inline __int128 RingThreshold(int width, int height, float ratio) {
  const __int128 W = static_cast<__int128>(width - 1) * (width - 1);
  const __int128 H = static_cast<__int128>(height - 1) * (height - 1);
  const float product =
      static_cast<float>((1.0 - static_cast<double>(ratio) * ratio) * static_cast<double>(W * H - W - H));
  return -static_cast<__int128>(std::floor(product));
}

inline std::vector<KRunRef> ReferenceRing(int width, int height, float ratio) {
  const __int128 t = RingThreshold(width, height, ratio);
  return ReferenceRuns(width, height, [t](__int128 d) { return (d <= 0) != (d <= t); });
}

}  // namespace kvbase::testing

#endif  // KVBASE_TESTING_MASK_REFERENCE_H
