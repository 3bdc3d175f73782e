#ifndef KVBASE_FILES_INTERNAL_BMP_RLE_H
#define KVBASE_FILES_INTERNAL_BMP_RLE_H

// The run-length compressed pixels of BMP files (compression 1, RLE8, and 2, RLE4), decoded into rows
// of palette indices.
//
// The stream is a sequence of two-byte codes. A first byte n > 0 repeats the second byte n times (RLE4:
// its two 4-bit indices in turn, high first). A first byte 0 is an escape, told by the second: 0 ends
// the row, 1 ends the bitmap, 2 moves the position right and down by the two bytes that follow, and 3
// to 255 start an absolute run of that many indices (RLE4: two to a byte) padded to an even number of
// bytes. Rows come in file order: the bottom row first in a bottom-up file.
//
// Where the format leaves a choice:
// - a run that goes past the end of its row is cut there; the position does not wrap to the next row;
// - pixels that no code sets (skipped by a move, left at the end of a row or after the end of the
//   bitmap) are index 0;
// - a move or an end of row past the last row ends the image, as the end of the bitmap does;
// - a stream that stops before the end of the bitmap, with rows still to come, is a truncated file:
//   K_ERROR_FILE_READ.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "kvbase/foundation/error_codes.h"

namespace kvbase::internal::bmp {

// The bytes of a file from one offset to another, read piece by piece as they are needed, or bytes in
// memory.
class KByteSource {
 public:
  KByteSource(std::FILE* file, std::uint64_t begin, std::uint64_t end);
  KByteSource(const unsigned char* bytes, std::size_t count);

  // The next `count` bytes (at most kMaxTake), or null when fewer are left or a read failed.
  const unsigned char* Take(std::size_t count);
  static constexpr std::size_t kMaxTake = 256;

 private:
  bool Refill();

  std::FILE* file_ = nullptr;
  std::uint64_t next_ = 0;  // file offset of the first byte not yet in the buffer
  std::uint64_t end_ = 0;
  std::vector<unsigned char> buffer_;
  const unsigned char* data_ = nullptr;  // bytes held: the buffer's, or the caller's
  std::size_t held_ = 0;
  std::size_t at_ = 0;
};

// Receives each decoded row: its number in file order and `width` indices.
using KRleRowSink = std::function<void(int row, const unsigned char* indices)>;

// Decodes `height` rows of `width` indices of `bits` (8: RLE8, 4: RLE4) and hands each row to `sink`
// once, in file order. K_SUCCESS, or K_ERROR_FILE_READ for a stream cut short (the rows decoded before
// have been handed on).
K_ERRORS DecodeRle(KByteSource& source, int bits, int width, int height, const KRleRowSink& sink);

// At most this many pixels per byte of stream: a two-byte code sets at most 255 pixels. A stream that
// relies on moves or on the end of the bitmap to cover more is refused before anything is allocated.
constexpr long long kRlePixelsPerTwoBytes = 255;

}  // namespace kvbase::internal::bmp

#endif  // KVBASE_FILES_INTERNAL_BMP_RLE_H
