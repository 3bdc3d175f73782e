#ifndef KVBASE_FILES_INTERNAL_TIFF_PREDICTOR_H
#define KVBASE_FILES_INTERNAL_TIFF_PREDICTOR_H

// The horizontal predictor of TIFF (Predictor 2): in each row, every sample but those of the first
// pixel is stored as its difference to the same sample of the pixel before it, modulo 2^8 or 2^16.
// Smooth images then compress far better. Rows start afresh: a strip's or tile's rows do not depend on
// one another.

#include <cstddef>

namespace kvbase::internal {

// Undoes the differences of `pixels` pixels of `samples` 8-bit samples each, in place.
void UndoHorizontalDifferences8(unsigned char* row, std::size_t pixels, std::size_t samples);

// Undoes the differences of a row of 16-bit samples in place; the samples come in the file's byte order
// and leave in the machine's (little-endian) order.
void UndoHorizontalDifferences16(unsigned char* row, std::size_t pixels, std::size_t samples, bool bigEndian);

// Undoes the differences of `pixels` red, green, blue pixels of `in` and writes them to `out` as blue,
// green, red. `in` and `out` may be the same row, but must not overlap otherwise.
void UndoHorizontalDifferencesRgbToBgr(const unsigned char* in, unsigned char* out, std::size_t pixels);

// Writes the differences of `pixels` pixels of `samples` 8-bit samples of `in` to `out`.
void HorizontalDifferences8(const unsigned char* in, unsigned char* out, std::size_t pixels, std::size_t samples);

// Writes the differences of a row of little-endian 16-bit samples of `in` to `out`, little-endian.
void HorizontalDifferences16(const unsigned char* in, unsigned char* out, std::size_t pixels, std::size_t samples);

}  // namespace kvbase::internal

#endif  // KVBASE_FILES_INTERNAL_TIFF_PREDICTOR_H
