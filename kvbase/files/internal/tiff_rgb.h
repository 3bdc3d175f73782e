#ifndef KVBASE_FILES_INTERNAL_TIFF_RGB_H
#define KVBASE_FILES_INTERNAL_TIFF_RGB_H

// Exchanging the first and third byte of every 3-byte pixel: memory blue, green, red to file red,
// green, blue and back.

#include <cstddef>

namespace kvbase::internal {

// Writes `pixels` pixels of `in` to `out` with bytes 0 and 2 of each exchanged. `in` and `out` may be
// the same row (in place), but must not overlap otherwise.
void SwapRedBlue(const unsigned char* in, unsigned char* out, std::size_t pixels);

}  // namespace kvbase::internal

#endif  // KVBASE_FILES_INTERNAL_TIFF_RGB_H
