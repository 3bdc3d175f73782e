#ifndef KVBASE_FILES_INTERNAL_TIFF_ROW_CONVERTER_H
#define KVBASE_FILES_INTERNAL_TIFF_ROW_CONVERTER_H

// Turning decoded TIFF rows into the target's pixels: gray of 1 to 8 bits into BW8 (scaled as PNG
// defines it) or, at 1 bit, into BW1; 16-bit gray into BW16; red, green, blue, side by side or in
// separate planes, into C24; palette indices into C24, or into BW8 through a gray palette. Samples
// after the colour samples (alpha, or extra samples of no stated meaning) are dropped.

#include <cstddef>
#include <cstdint>

#include "kvbase/files/internal/byte_buffer.h"
#include "kvbase/files/internal/sample_rows.h"
#include "kvbase/pixels/pixel_types.h"

namespace kvbase::internal {

enum class KTiffColour { kGray, kRgb, kPalette };

// What a decoded row holds.
struct KTiffSamples {
  KTiffColour colour;
  int bits;               // per sample: 1, 2, 4, 8 or 16
  std::uint32_t samples;  // samples of a pixel in a decoded row: all of them, or 1 with separate planes
  bool separatePlanes;    // red, green and blue each in a plane of its own
};

class KTiffRowConverter {
 public:
  // `palette` serves palette files.
  KTiffRowConverter(const KTiffSamples& samples, K_IMAGE_TYPES target, const KPalette& palette);

  // Makes room to convert rows of up to `widest` pixels; false when it cannot be allocated.
  bool Reserve(std::size_t widest);

  // Writes `pixels` pixels of the decoded rows `planes` (one row, or one per colour plane) into the
  // target row `row` from pixel `x` on. 16-bit samples are in the machine's order.
  void Convert(const unsigned char* const* planes, std::size_t pixels, unsigned char* row, std::size_t x);

 private:
  // The first sample of each of `pixels` pixels, one byte each (at most 8 bits).
  const unsigned char* FirstSamples(const unsigned char* in, std::size_t pixels);
  void ToBw1(const unsigned char* in, std::size_t pixels, unsigned char* row, std::size_t x);
  void ToBw8(const unsigned char* in, std::size_t pixels, unsigned char* out);
  void ToC24(const unsigned char* const* planes, std::size_t pixels, unsigned char* out);

  KTiffSamples samples_;
  K_IMAGE_TYPES target_;
  const KPalette& palette_;
  KByteBuffer unpacked_;
};

}  // namespace kvbase::internal

#endif  // KVBASE_FILES_INTERNAL_TIFF_ROW_CONVERTER_H
