#include "kvbase/files/internal/png_filter.h"

#include <cstdint>
#include <cstring>
#include <new>

namespace kvbase::internal {
namespace {

// log2(x) for x >= 1 in fixed point with 16 fractional bits, by repeated squaring: integers only, so
// the same on every machine.
std::uint64_t FixedLog2(std::uint64_t x) {
  int whole = 0;
  while (x >> (whole + 1) != 0) ++whole;
  // x / 2^whole in [1, 2) with 30 fractional bits.
  std::uint64_t z = whole >= 30 ? x >> (whole - 30) : x << (30 - whole);
  std::uint64_t result = static_cast<std::uint64_t>(whole) << 16;
  for (int bit = 15; bit >= 0; --bit) {
    z = z * z >> 30;
    if (z >= std::uint64_t{1} << 31) {
      z >>= 1;
      result |= std::uint64_t{1} << bit;
    }
  }
  return result;
}

// c x log2(c) in fixed point for the counts of the usual rows, computed once.
constexpr std::size_t kTabled = 1 << 16;
const std::uint64_t* CountLogTable() {
  static const std::unique_ptr<std::uint64_t[]> table = [] {
    std::unique_ptr<std::uint64_t[]> values(new std::uint64_t[kTabled]);
    values[0] = 0;
    for (std::size_t c = 1; c < kTabled; ++c) values[c] = c * FixedLog2(c);
    return values;
  }();
  return table.get();
}

// The sum of c x log2(c) over the counts c of the row's byte values: n log2 n less this is the row's
// entropy in bits, so the row with the largest sum has the least entropy.
std::uint64_t Concentration(const unsigned char* bytes, std::size_t count) {
  std::uint32_t histogram[4][256] = {};  // four, so that neighbouring bytes do not wait on one counter
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    ++histogram[0][bytes[i]];
    ++histogram[1][bytes[i + 1]];
    ++histogram[2][bytes[i + 2]];
    ++histogram[3][bytes[i + 3]];
  }
  for (; i < count; ++i) ++histogram[0][bytes[i]];
  static const std::uint64_t* const table = CountLogTable();
  std::uint64_t sum = 0;
  for (int v = 0; v < 256; ++v) {
    const std::uint64_t c = std::uint64_t{histogram[0][v]} + histogram[1][v] + histogram[2][v] + histogram[3][v];
    sum += c < kTabled ? table[c] : c * FixedLog2(c);
  }
  return sum;
}

// The filters of the PNG format. `a` is the byte one pixel to the left, `b` the one above, `c` the one
// above and to the left; the first pixel of a row has a = c = 0. Each writes the filtered row to `out`;
// the loops have no dependency from one byte to the next, so the compiler can vectorise them.
void Sub(const unsigned char* row, std::size_t n, std::size_t bpp, unsigned char* out) {
  for (std::size_t i = 0; i < bpp; ++i) out[i] = row[i];
  for (std::size_t i = bpp; i < n; ++i) out[i] = static_cast<unsigned char>(row[i] - row[i - bpp]);
}

void Up(const unsigned char* row, const unsigned char* above, std::size_t n, unsigned char* out) {
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<unsigned char>(row[i] - above[i]);
}

void Average(const unsigned char* row, const unsigned char* above, std::size_t n, std::size_t bpp, unsigned char* out) {
  for (std::size_t i = 0; i < bpp; ++i) out[i] = static_cast<unsigned char>(row[i] - (above[i] >> 1));
  for (std::size_t i = bpp; i < n; ++i) out[i] = static_cast<unsigned char>(row[i] - ((row[i - bpp] + above[i]) >> 1));
}

inline unsigned char PaethPredictor(int a, int b, int c) {
  const int pa = b > c ? b - c : c - b;                          // |p - a| with p = a + b - c
  const int pb = a > c ? a - c : c - a;                          // |p - b|
  const int pc = a + b > 2 * c ? a + b - 2 * c : 2 * c - a - b;  // |p - c|
  const int nearest = pb <= pc ? b : c;
  return static_cast<unsigned char>(pa <= pb && pa <= pc ? a : nearest);
}

void Paeth(const unsigned char* row, const unsigned char* above, std::size_t n, std::size_t bpp, unsigned char* out) {
  for (std::size_t i = 0; i < bpp; ++i) out[i] = static_cast<unsigned char>(row[i] - above[i]);  // a = c = 0
  for (std::size_t i = bpp; i < n; ++i)
    out[i] = static_cast<unsigned char>(row[i] - PaethPredictor(row[i - bpp], above[i], above[i - bpp]));
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
  Sub(row, n, pixelBytes_, candidates[kSub]);
  Up(row, above, n, candidates[kUp]);
  Average(row, above, n, pixelBytes_, candidates[kAverage]);
  Paeth(row, above, n, pixelBytes_, candidates[kPaeth]);
  int best = kNone;
  std::uint64_t bestConcentration = Concentration(row, n);
  for (int type = kSub; type <= kPaeth; ++type) {
    const std::uint64_t concentration = Concentration(candidates[type], n);
    if (concentration > bestConcentration) {  // ties keep the simpler filter
      best = type;
      bestConcentration = concentration;
    }
  }
  out[0] = static_cast<unsigned char>(best);
  std::memcpy(out + 1, best == kNone ? row : candidates[best], n);
}

}  // namespace kvbase::internal
