#include "kvbase/files/internal/tiff_predictor.h"

#include <cstdint>
#include <cstring>

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

void SwapBytes16(unsigned char* row, std::size_t first, std::size_t count) {
  for (std::size_t i = first; i < count; ++i) {
    const unsigned char high = row[2 * i];
    row[2 * i] = row[2 * i + 1];
    row[2 * i + 1] = high;
  }
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

// Shuffle masks that take 48 bytes of red, green, blue pixels (three vectors) apart into one vector
// per channel, and put three channel vectors back together, in the same or in the exchanged order.
struct KRgbMasks {
  __m128i apart[3][3];      // [channel][source vector]
  __m128i together[3][3];   // [output vector][channel], red first
  __m128i exchanged[3][3];  // [output vector][channel], blue first
};

const KRgbMasks& RgbMasks() {
  static const KRgbMasks masks = [] {
    KRgbMasks m;
    alignas(16) signed char lanes[16];
    for (int channel = 0; channel < 3; ++channel) {
      for (int v = 0; v < 3; ++v) {
        for (int j = 0; j < 16; ++j) {
          const int at = 3 * j + channel - 16 * v;
          lanes[j] = static_cast<signed char>(at >= 0 && at < 16 ? at : -1);
        }
        std::memcpy(&m.apart[channel][v], lanes, 16);
      }
    }
    for (int swap = 0; swap < 2; ++swap) {
      for (int v = 0; v < 3; ++v) {
        for (int channel = 0; channel < 3; ++channel) {
          for (int lane = 0; lane < 16; ++lane) {
            const int position = 16 * v + lane, pixel = position / 3, place = position % 3;
            const int source = swap ? 2 - place : place;
            lanes[lane] = static_cast<signed char>(source == channel ? pixel : -1);
          }
          std::memcpy(swap ? &m.exchanged[v][channel] : &m.together[v][channel], lanes, 16);
        }
      }
    }
    return m;
  }();
  return masks;
}

// Sixteen pixels (48 bytes) per step: apart into channels, running sums per channel, together again;
// returns the pixels done.
template <bool kExchange>
__attribute__((target("ssse3"))) std::size_t UndoRgbSsse3(const unsigned char* in, unsigned char* out,
                                                          std::size_t pixels) {
  const KRgbMasks& m = RgbMasks();
  const auto& order = kExchange ? m.exchanged : m.together;
  const __m128i last = _mm_set1_epi8(15);
  __m128i carry[3] = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
  std::size_t i = 0;
  for (; i + 16 <= pixels; i += 16) {
    const __m128i* source = reinterpret_cast<const __m128i*>(in + 3 * i);
    const __m128i v[3] = {_mm_loadu_si128(source), _mm_loadu_si128(source + 1), _mm_loadu_si128(source + 2)};
    __m128i channel[3];
    for (int c = 0; c < 3; ++c) {
      const __m128i apart =
          _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(v[0], m.apart[c][0]), _mm_shuffle_epi8(v[1], m.apart[c][1])),
                       _mm_shuffle_epi8(v[2], m.apart[c][2]));
      channel[c] = _mm_add_epi8(PrefixSum8<1>(apart), carry[c]);
      carry[c] = _mm_shuffle_epi8(channel[c], last);
    }
    __m128i* target = reinterpret_cast<__m128i*>(out + 3 * i);
    for (int t = 0; t < 3; ++t) {
      _mm_storeu_si128(target + t, _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(channel[0], order[t][0]),
                                                             _mm_shuffle_epi8(channel[1], order[t][1])),
                                                _mm_shuffle_epi8(channel[2], order[t][2])));
    }
  }
  return i;
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
  if (bigEndian) SwapBytes16(row, done, values);
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
  std::memcpy(out, in, first);
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
  std::memcpy(out, in, 2 * first);
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
