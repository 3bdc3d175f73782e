#include "kvbase/image/internal/ellipse_rows.h"

#include <cmath>

namespace kvbase::internal {
namespace {

// floor(sqrt(n)), exact for every 64-bit n.
std::uint64_t IntegerSquareRoot(std::uint64_t n) {
  std::uint64_t root = static_cast<std::uint64_t>(std::sqrt(static_cast<long double>(n)));
  while (static_cast<unsigned __int128>(root) * root > n) --root;
  while (static_cast<unsigned __int128>(root + 1) * (root + 1) <= n) ++root;
  return root;
}

}  // namespace

KEllipseRows::KEllipseRows(int width, int height)
    : width_(width),
      height_(height),
      W_(static_cast<__int128>(width - 1) * (width - 1)),
      H_(static_cast<__int128>(height - 1) * (height - 1)) {}

KSpan KEllipseRows::Span(int r, __int128 threshold) const {
  const __int128 j = 2 * static_cast<__int128>(r) - (height_ - 1);
  // Columns pass when H i^2 <= room.
  const __int128 room = threshold + W_ * H_ + W_ + H_ - W_ * j * j;
  if (room < 0) return {-1, -1};
  const long long reach = width_ - 1;  // |i| never exceeds w - 1
  long long iMax;
  if (H_ == 0) {
    iMax = reach;
  } else {
    const __int128 quotient = room / H_;
    const std::uint64_t bound =
        quotient > static_cast<__int128>(UINT64_MAX) ? UINT64_MAX : static_cast<std::uint64_t>(quotient);
    const std::uint64_t root = IntegerSquareRoot(bound);
    iMax = root > static_cast<std::uint64_t>(reach) ? reach : static_cast<long long>(root);
  }
  // i has the parity of w - 1.
  if ((iMax - reach) % 2 != 0) --iMax;
  if (iMax < 0) return {-1, -1};
  return {static_cast<int>((reach - iMax) / 2), static_cast<int>((reach + iMax) / 2)};
}

}  // namespace kvbase::internal
