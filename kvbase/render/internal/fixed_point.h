#ifndef KVBASE_RENDER_INTERNAL_FIXED_POINT_H
#define KVBASE_RENDER_INTERNAL_FIXED_POINT_H

// 16.16 fixed point shared by the renderers: projections computed once in float, then applied to many
// points with 32-bit integer additions that wrap, and an arithmetic shift that rounds down.

#include <cmath>
#include <cstdint>

namespace kvbase {
namespace internal {

// value x 65536, truncated towards zero to 32 bits. Values out of range saturate and NaN gives 0, where
// a plain conversion would be undefined.
inline std::int32_t ToFixed16(float value) {
  const double scaled = static_cast<double>(value) * 65536.0;
  if (std::isnan(scaled)) return 0;
  if (scaled >= 2147483647.0) return INT32_MAX;
  if (scaled <= -2147483648.0) return INT32_MIN;
  return static_cast<std::int32_t>(scaled);
}

// The integer part of a 16.16 sum held as a wrapped 32-bit pattern, rounded down.
inline std::int32_t IntegerPart16(std::uint32_t sum) { return static_cast<std::int32_t>(sum) >> 16; }

// Table of h x coefficient (+ base) for h = 0 ... 255, built by repeated 32-bit addition.
inline void FillMultiples(std::uint32_t* table, std::int32_t coefficient, std::int32_t base = 0) {
  std::uint32_t value = static_cast<std::uint32_t>(base);
  for (int h = 0; h < 256; ++h) {
    table[h] = value;
    value += static_cast<std::uint32_t>(coefficient);
  }
}

}  // namespace internal
}  // namespace kvbase

#endif  // KVBASE_RENDER_INTERNAL_FIXED_POINT_H
