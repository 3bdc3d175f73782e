#include "kvbase/files/internal/tiff_rgb.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KVBASE_TIFF_RGB_SSSE3 1
#endif

namespace kvbase::internal {
namespace {

// Pixels from `first` on, one at a time.
void SwapTail(const unsigned char* in, unsigned char* out, std::size_t first, std::size_t pixels) {
  for (std::size_t i = first; i < pixels; ++i) {
    const unsigned char blue = in[3 * i], green = in[3 * i + 1], red = in[3 * i + 2];
    out[3 * i] = red;
    out[3 * i + 1] = green;
    out[3 * i + 2] = blue;
  }
}

#ifdef KVBASE_TIFF_RGB_SSSE3
bool HasSsse3() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}

// Sixteen pixels (48 bytes, three vectors) per step. Three pixels straddle the vectors: pixel 5 (bytes
// 15 to 17) and pixel 10 (bytes 30 to 32), so each output vector gathers bytes from its neighbours.
// Returns the pixels done.
__attribute__((target("ssse3"))) std::size_t SwapSsse3(const unsigned char* in, unsigned char* out,
                                                       std::size_t pixels) {
  const __m128i a0 = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, -1);
  const __m128i b0 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1);
  const __m128i a1 = _mm_setr_epi8(-1, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i b1 = _mm_setr_epi8(0, -1, 4, 3, 2, 7, 6, 5, 10, 9, 8, 13, 12, 11, -1, 15);
  const __m128i c1 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, -1);
  const __m128i b2 = _mm_setr_epi8(14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i c2 = _mm_setr_epi8(-1, 3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10, 15, 14, 13);
  std::size_t i = 0;
  for (; i + 16 <= pixels; i += 16) {
    const __m128i* source = reinterpret_cast<const __m128i*>(in + 3 * i);
    const __m128i a = _mm_loadu_si128(source), b = _mm_loadu_si128(source + 1), c = _mm_loadu_si128(source + 2);
    __m128i* target = reinterpret_cast<__m128i*>(out + 3 * i);
    _mm_storeu_si128(target, _mm_or_si128(_mm_shuffle_epi8(a, a0), _mm_shuffle_epi8(b, b0)));
    _mm_storeu_si128(target + 1, _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, a1), _mm_shuffle_epi8(b, b1)),
                                              _mm_shuffle_epi8(c, c1)));
    _mm_storeu_si128(target + 2, _mm_or_si128(_mm_shuffle_epi8(b, b2), _mm_shuffle_epi8(c, c2)));
  }
  return i;
}
#endif

}  // namespace

void SwapRedBlue(const unsigned char* in, unsigned char* out, std::size_t pixels) {
  std::size_t done = 0;
#ifdef KVBASE_TIFF_RGB_SSSE3
  if (HasSsse3()) done = SwapSsse3(in, out, pixels);
#endif
  SwapTail(in, out, done, pixels);
}

}  // namespace kvbase::internal
