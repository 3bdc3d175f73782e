#ifndef KVBASE_FILES_INTERNAL_TIFF_RGB_H
#define KVBASE_FILES_INTERNAL_TIFF_RGB_H

// Exchanging bytes within pixels: the first and third byte of every 3-byte pixel (memory blue, green,
// red to file red, green, blue and back), and the two bytes of 16-bit samples (a big-endian file's order
// to the machine's).

#include <cstddef>

namespace kvbase::internal {

// Writes `pixels` pixels of `in` to `out` with bytes 0 and 2 of each exchanged. `in` and `out` may be
// the same row (in place), but must not overlap otherwise.
void SwapRedBlue(const unsigned char* in, unsigned char* out, std::size_t pixels);

// Writes `bytes` bytes of `in` to `out` with the two bytes of each 16-bit sample exchanged; `in` and `out`
// may be the same row.
inline void SwapBytes16(const unsigned char* in, unsigned char* out, std::size_t bytes) {
  for (std::size_t i = 0; i + 1 < bytes; i += 2) {
    const unsigned char first = in[i];
    out[i] = in[i + 1];
    out[i + 1] = first;
  }
}

}  // namespace kvbase::internal

#endif  // KVBASE_FILES_INTERNAL_TIFF_RGB_H
