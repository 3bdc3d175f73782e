#include "kvbase/files/internal/png_filter.h"

#include <cstdint>
#include <cstring>
#include <new>

namespace kvbase::internal {
namespace {

// The magnitude of a filtered byte taken as a signed value.
inline unsigned Magnitude(unsigned char value) { return value < 128 ? value : 256u - value; }

std::uint64_t SumOfMagnitudes(const unsigned char* bytes, std::size_t count) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < count; ++i) sum += Magnitude(bytes[i]);
  return sum;
}

// The filters of the PNG format. `a` is the byte one pixel to the left, `b` the one above, `c` the one
// above and to the left; the first pixel of a row has a = c = 0. Each writes the filtered row to `out`
// and returns its sum of magnitudes; the loops have no dependency from one byte to the next, so the
// compiler can vectorise them.
std::uint64_t Sub(const unsigned char* row, std::size_t n, std::size_t bpp, unsigned char* out) {
  for (std::size_t i = 0; i < bpp; ++i) out[i] = row[i];
  for (std::size_t i = bpp; i < n; ++i) out[i] = static_cast<unsigned char>(row[i] - row[i - bpp]);
  return SumOfMagnitudes(out, n);
}

std::uint64_t Up(const unsigned char* row, const unsigned char* above, std::size_t n, unsigned char* out) {
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<unsigned char>(row[i] - above[i]);
  return SumOfMagnitudes(out, n);
}

std::uint64_t Average(const unsigned char* row, const unsigned char* above, std::size_t n, std::size_t bpp,
                      unsigned char* out) {
  for (std::size_t i = 0; i < bpp; ++i) out[i] = static_cast<unsigned char>(row[i] - (above[i] >> 1));
  for (std::size_t i = bpp; i < n; ++i) out[i] = static_cast<unsigned char>(row[i] - ((row[i - bpp] + above[i]) >> 1));
  return SumOfMagnitudes(out, n);
}

inline unsigned char PaethPredictor(int a, int b, int c) {
  const int pa = b > c ? b - c : c - b;                          // |p - a| with p = a + b - c
  const int pb = a > c ? a - c : c - a;                          // |p - b|
  const int pc = a + b > 2 * c ? a + b - 2 * c : 2 * c - a - b;  // |p - c|
  const int nearest = pb <= pc ? b : c;
  return static_cast<unsigned char>(pa <= pb && pa <= pc ? a : nearest);
}

std::uint64_t Paeth(const unsigned char* row, const unsigned char* above, std::size_t n, std::size_t bpp,
                    unsigned char* out) {
  for (std::size_t i = 0; i < bpp; ++i) out[i] = static_cast<unsigned char>(row[i] - above[i]);  // a = c = 0
  for (std::size_t i = bpp; i < n; ++i)
    out[i] = static_cast<unsigned char>(row[i] - PaethPredictor(row[i - bpp], above[i], above[i - bpp]));
  return SumOfMagnitudes(out, n);
}

enum FilterType : unsigned char { kNone = 0, kSub = 1, kUp = 2, kAverage = 3, kPaeth = 4 };

}  // namespace

KPngRowFilter::KPngRowFilter(std::size_t rowBytes, std::size_t pixelBytes, bool adaptive)
    : rowBytes_(rowBytes), pixelBytes_(pixelBytes), adaptive_(adaptive) {
  const std::size_t rows = adaptive ? 5 : 1;
  scratch_.reset(new (std::nothrow) unsigned char[rows * rowBytes]());
}

void KPngRowFilter::Filter(const unsigned char* row, const unsigned char* above, unsigned char* out) {
  const std::size_t n = rowBytes_;
  if (!adaptive_) {
    out[0] = kNone;
    std::memcpy(out + 1, row, n);
    return;
  }
  if (above == nullptr) above = scratch_.get();  // the zero row
  unsigned char* candidates[5] = {nullptr, scratch_.get() + n, scratch_.get() + 2 * n, scratch_.get() + 3 * n,
                                  scratch_.get() + 4 * n};
  const std::uint64_t sums[5] = {
      SumOfMagnitudes(row, n), Sub(row, n, pixelBytes_, candidates[kSub]), Up(row, above, n, candidates[kUp]),
      Average(row, above, n, pixelBytes_, candidates[kAverage]), Paeth(row, above, n, pixelBytes_, candidates[kPaeth])};
  int best = kNone;
  for (int type = kSub; type <= kPaeth; ++type)
    if (sums[type] < sums[best]) best = type;  // ties keep the simpler filter
  out[0] = static_cast<unsigned char>(best);
  std::memcpy(out + 1, best == kNone ? row : candidates[best], n);
}

}  // namespace kvbase::internal
