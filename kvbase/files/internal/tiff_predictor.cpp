#include "kvbase/files/internal/tiff_predictor.h"

#include <cstdint>
#include <cstring>

#include "kvbase/files/internal/tiff_rgb.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KVBASE_TIFF_PREDICTOR_SIMD 1
#endif

namespace kvbase::internal {
namespace {

std::uint16_t Load16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
void Store16(unsigned char* p, std::uint16_t value) {
  p[0] = static_cast<unsigned char>(value);
  p[1] = static_cast<unsigned char>(value >> 8);
}

// Bytes (or 16-bit values) from `first` on, one at a time: each is added its predecessor `stride` before.
void UndoTail8(unsigned char* row, std::size_t first, std::size_t count, std::size_t stride) {
  for (std::size_t i = first < stride ? stride : first; i < count; ++i)
    row[i] = static_cast<unsigned char>(row[i] + row[i - stride]);
}

void UndoTail16(unsigned char* row, std::size_t first, std::size_t count, std::size_t stride) {
  for (std::size_t i = first < stride ? stride : first; i < count; ++i)
    Store16(row + 2 * i, static_cast<std::uint16_t>(Load16(row + 2 * i) + Load16(row + 2 * (i - stride))));
}

#ifdef KVBASE_TIFF_PREDICTOR_SIMD
bool HasSsse3() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}

// The running sums of 16 byte lanes, `stride` lanes apart (1, 2 or 4): a lane is added the lane
// `stride` before it, then the lanes 2, 4 and 8 strides before, until every lane holds its sum.
template <int kStride>
__attribute__((target("ssse3"))) inline __m128i PrefixSum8(__m128i x) {
  if (kStride <= 1) x = _mm_add_epi8(x, _mm_slli_si128(x, 1));
  if (kStride <= 2) x = _mm_add_epi8(x, _mm_slli_si128(x, 2));
  if (kStride <= 4) x = _mm_add_epi8(x, _mm_slli_si128(x, 4));
  return _mm_add_epi8(x, _mm_slli_si128(x, 8));
}

// The last pixel of `x` (its last `stride` bytes) in every pixel of a vector.
template <int kStride>
__attribute__((target("ssse3"))) inline __m128i LastPixel(__m128i x) {
  const __m128i pattern = kStride == 1 ? _mm_set1_epi8(15)
                          : kStride == 2
                              ? _mm_setr_epi8(14, 15, 14, 15, 14, 15, 14, 15, 14, 15, 14, 15, 14, 15, 14, 15)
                              : _mm_setr_epi8(12, 13, 14, 15, 12, 13, 14, 15, 12, 13, 14, 15, 12, 13, 14, 15);
  return _mm_shuffle_epi8(x, pattern);
}

// Sixteen bytes per step; returns the bytes done.
template <int kStride>
__attribute__((target("ssse3"))) std::size_t Undo8Ssse3(unsigned char* row, std::size_t bytes) {
  __m128i carry = _mm_setzero_si128();
  std::size_t i = 0;
  for (; i + 16 <= bytes; i += 16) {
    __m128i* at = reinterpret_cast<__m128i*>(row + i);
    const __m128i x = _mm_add_epi8(PrefixSum8<kStride>(_mm_loadu_si128(at)), carry);
    _mm_storeu_si128(at, x);
    carry = LastPixel<kStride>(x);
  }
  return i;
}

// Eight 16-bit values per step, `stride` values apart (1, 2 or 4); returns the values done.
template <int kStride>
__attribute__((target("ssse3"))) std::size_t Undo16Ssse3(unsigned char* row, std::size_t values, bool bigEndian) {
  const __m128i last = kStride == 1   ? _mm_setr_epi8(14, 15, 14, 15, 14, 15, 14, 15, 14, 15, 14, 15, 14, 15, 14, 15)
                       : kStride == 2 ? _mm_setr_epi8(12, 13, 14, 15, 12, 13, 14, 15, 12, 13, 14, 15, 12, 13, 14, 15)
                                      : _mm_setr_epi8(8, 9, 10, 11, 12, 13, 14, 15, 8, 9, 10, 11, 12, 13, 14, 15);
  __m128i carry = _mm_setzero_si128();
  std::size_t i = 0;
  for (; i + 8 <= values; i += 8) {
    __m128i* at = reinterpret_cast<__m128i*>(row + 2 * i);
    __m128i x = _mm_loadu_si128(at);
    if (bigEndian) x = _mm_or_si128(_mm_slli_epi16(x, 8), _mm_srli_epi16(x, 8));
    if (kStride <= 1) x = _mm_add_epi16(x, _mm_slli_si128(x, 2));
    if (kStride <= 2) x = _mm_add_epi16(x, _mm_slli_si128(x, 4));
    x = _mm_add_epi16(x, _mm_slli_si128(x, 8));
    x = _mm_add_epi16(x, carry);
    _mm_storeu_si128(at, x);
    carry = _mm_shuffle_epi8(x, last);
  }
  return i;
}

// Five pixels (15 bytes) per step, so that every step starts with red: the running sums three lanes
// apart, plus the last pixel of the step before in every pixel. Lane 15 belongs to the next step; its
// original byte is loaded before the store overwrites it, and put back after the last store, for the
// pixels after the steps. Returns the pixels done.
template <bool kExchange>
__attribute__((target("ssse3"))) std::size_t UndoRgbSsse3(const unsigned char* in, unsigned char* out,
                                                          std::size_t pixels) {
  const std::size_t bytes = 3 * pixels;
  if (bytes < 16) return 0;
  const __m128i last = _mm_setr_epi8(12, 13, 14, 12, 13, 14, 12, 13, 14, 12, 13, 14, 12, 13, 14, 15);
  const __m128i exchange = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
  __m128i carry = _mm_setzero_si128();
  __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  std::size_t i = 0;
  for (;;) {
    x = _mm_add_epi8(x, _mm_slli_si128(x, 3));
    x = _mm_add_epi8(x, _mm_slli_si128(x, 6));
    x = _mm_add_epi8(x, _mm_slli_si128(x, 12));
    x = _mm_add_epi8(x, carry);
    carry = _mm_shuffle_epi8(x, last);
    __m128i* target = reinterpret_cast<__m128i*>(out + i);
    const __m128i sums = kExchange ? _mm_shuffle_epi8(x, exchange) : x;
    if (i + 31 > bytes) {
      const unsigned char following = in[i + 15];
      _mm_storeu_si128(target, sums);
      out[i + 15] = following;
      return (i + 15) / 3;
    }
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 15));
    _mm_storeu_si128(target, sums);
    i += 15;
    x = next;
  }
}
#endif

// The pixels from `first` on, one at a time, each continuing from the pixel before it in `out`.
void UndoRgbTail(const unsigned char* in, unsigned char* out, std::size_t first, std::size_t pixels, bool exchange) {
  const int r = exchange ? 2 : 0, b = exchange ? 0 : 2;
  for (std::size_t i = first; i < pixels; ++i) {
    const unsigned char red = in[3 * i], green = in[3 * i + 1], blue = in[3 * i + 2];
    if (i == 0) {
      out[r] = red;
      out[1] = green;
      out[b] = blue;
      continue;
    }
    const unsigned char* before = out + 3 * (i - 1);
    out[3 * i + r] = static_cast<unsigned char>(red + before[r]);
    out[3 * i + 1] = static_cast<unsigned char>(green + before[1]);
    out[3 * i + b] = static_cast<unsigned char>(blue + before[b]);
  }
}

}  // namespace

void UndoHorizontalDifferences8(unsigned char* row, std::size_t pixels, std::size_t samples) {
  const std::size_t bytes = pixels * samples;
  std::size_t done = 0;
#ifdef KVBASE_TIFF_PREDICTOR_SIMD
  if (HasSsse3()) {
    switch (samples) {
      case 1: done = Undo8Ssse3<1>(row, bytes); break;
      case 2: done = Undo8Ssse3<2>(row, bytes); break;
      case 3: done = 3 * UndoRgbSsse3<false>(row, row, pixels); break;
      case 4: done = Undo8Ssse3<4>(row, bytes); break;
      default: break;
    }
  }
#endif
  UndoTail8(row, done, bytes, samples);
}

void UndoHorizontalDifferences16(unsigned char* row, std::size_t pixels, std::size_t samples, bool bigEndian) {
  const std::size_t values = pixels * samples;
  std::size_t done = 0;
#ifdef KVBASE_TIFF_PREDICTOR_SIMD
  if (HasSsse3()) {
    switch (samples) {
      case 1: done = Undo16Ssse3<1>(row, values, bigEndian); break;
      case 2: done = Undo16Ssse3<2>(row, values, bigEndian); break;
      case 4: done = Undo16Ssse3<4>(row, values, bigEndian); break;
      default: break;
    }
  }
#endif
  if (bigEndian) SwapBytes16(row + 2 * done, row + 2 * done, 2 * (values - done));
  UndoTail16(row, done, values, samples);
}

void UndoHorizontalDifferencesRgbToBgr(const unsigned char* in, unsigned char* out, std::size_t pixels) {
  std::size_t done = 0;
#ifdef KVBASE_TIFF_PREDICTOR_SIMD
  if (HasSsse3()) done = UndoRgbSsse3<true>(in, out, pixels);
#endif
  UndoRgbTail(in, out, done, pixels, true);
}

void HorizontalDifferences8(const unsigned char* in, unsigned char* out, std::size_t pixels, std::size_t samples) {
  const std::size_t bytes = pixels * samples, first = samples < bytes ? samples : bytes;
  if (first > 0) std::memcpy(out, in, first);
  std::size_t i = first;
#ifdef KVBASE_TIFF_PREDICTOR_SIMD
  for (; i + 16 <= bytes; i += 16) {
    const __m128i now = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i - samples));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_sub_epi8(now, before));
  }
#endif
  for (; i < bytes; ++i) out[i] = static_cast<unsigned char>(in[i] - in[i - samples]);
}

void HorizontalDifferences16(const unsigned char* in, unsigned char* out, std::size_t pixels, std::size_t samples) {
  const std::size_t values = pixels * samples, first = samples < values ? samples : values;
  if (first > 0) std::memcpy(out, in, 2 * first);
  std::size_t i = first;
#ifdef KVBASE_TIFF_PREDICTOR_SIMD
  for (; i + 8 <= values; i += 8) {
    const __m128i now = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * i));
    const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * (i - samples)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), _mm_sub_epi16(now, before));
  }
#endif
  for (; i < values; ++i)
    Store16(out + 2 * i, static_cast<std::uint16_t>(Load16(in + 2 * i) - Load16(in + 2 * (i - samples))));
}

}  // namespace kvbase::internal
