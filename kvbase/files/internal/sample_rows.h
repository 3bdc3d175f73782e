#ifndef KVBASE_FILES_INTERNAL_SAMPLE_ROWS_H
#define KVBASE_FILES_INTERNAL_SAMPLE_ROWS_H

// Turning a file's rows of samples into the pixels of a target kind, shared by the readers: samples of
// fewer than 8 bits unpacked and scaled, colour tables expanded, extra samples (alpha) dropped.
//
// Packed samples always come first in the high bits of a byte, as BMP, TIFF and PNG store them.

#include <cstddef>
#include <cstdint>

namespace kvbase::internal {

// Unpacks `count` samples of `bits` (1, 2, 4 or 8) into one byte each, their values unchanged: sample
// i × `step` of the packed row becomes out[i], so a step of a pixel's sample count takes each pixel's first.
void UnpackSamples(const unsigned char* in, int bits, std::size_t count, unsigned char* out, std::size_t step = 1);

// Scales `count` samples of `bits` (1, 2 or 4) in place to 8 bits, as PNG defines it: v x 255 / (2^bits
// - 1), which is exact for these depths (1 bit: 0 and 255; 2 bits: 0, 85, 170, 255).
void ScaleToEightBits(unsigned char* samples, int bits, std::size_t count);

// Keeps `keep` of every `stride` bytes of `count` pixels: for example the blue, green and red of blue,
// green, red, alpha. `in` and `out` may be the same row.
void KeepLeadingBytes(const unsigned char* in, std::size_t stride, std::size_t keep, std::size_t count,
                      unsigned char* out);

// Writes three bytes for each of `count` pixels of `stride` bytes: bytes picks[0], picks[1] and picks[2]
// of the pixel, in that order. For example blue, green, red (the byte order of C24) from a pixel of
// unused, red, green, blue with picks {3, 2, 1}.
void PickBytes(const unsigned char* in, std::size_t stride, const int (&picks)[3], std::size_t count,
               unsigned char* out);

// A colour table of at most 256 entries. Entries past `count` are black, so that an index the table
// does not have gives black rather than reading outside it.
class KPalette {
 public:
  KPalette() = default;

  // Sets entry `index` (below 256) to red, green, blue.
  void Set(int index, std::uint8_t red, std::uint8_t green, std::uint8_t blue);
  int Count() const { return count_; }
  // True when every entry in use is a gray: red, green and blue equal.
  bool IsGray() const;

  // Writes the entries of `count` 8-bit indices as blue, green, red (the byte order of C24).
  void ToBgr(const unsigned char* indices, std::size_t count, unsigned char* out) const;
  // Writes the gray levels of `count` 8-bit indices (for a gray table).
  void ToGray(const unsigned char* indices, std::size_t count, unsigned char* out) const;
  // Writes the gray levels of `count` indices of `bits` (1, 2, 4 or 8) packed high bits first (for a
  // gray table). `out` may be `packed` itself: the levels are written from the last pixel back, so that
  // no index is overwritten before it is read.
  void PackedToGray(const unsigned char* packed, int bits, std::size_t count, unsigned char* out) const;

 private:
  std::uint8_t bgr_[256][3] = {};
  int count_ = 0;
};

}  // namespace kvbase::internal

#endif  // KVBASE_FILES_INTERNAL_SAMPLE_ROWS_H
