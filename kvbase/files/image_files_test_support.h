#ifndef KVBASE_FILES_IMAGE_FILES_TEST_SUPPORT_H
#define KVBASE_FILES_IMAGE_FILES_TEST_SUPPORT_H

// Helpers shared by the image file tests: little-endian fields of a file's bytes, a deterministic pixel
// pattern, and a row-by-row comparison of two images or ROIs of the same kind.

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "kvbase/files/image_files.h"
#include "kvbase/testing/temp_dir.h"

namespace kvbase::testing {

using Bytes = std::vector<unsigned char>;

inline std::uint32_t Le16(const Bytes& b, size_t at) { return b.at(at) | b.at(at + 1) << 8; }
inline std::uint32_t Le32(const Bytes& b, size_t at) { return Le16(b, at) | Le16(b, at + 2) << 16; }
inline void PutLe32(Bytes& b, size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<unsigned char>(v >> (8 * i));
}

// Bytes of pixel data in one row of `roi` (BW1: the packed bits).
template <typename T>
size_t RowBytes(KROI<T>& roi) {
  return static_cast<size_t>(roi.GetRowPitch() - roi.GetSkip());
}

// Fills every pixel byte with a value that depends on its position and `seed`.
template <typename T>
void FillPattern(KROI<T>& roi, int seed = 0) {
  for (int y = 0; y < roi.GetHeight(); ++y) {
    auto* row = static_cast<unsigned char*>(roi.GetGenericImagePtr(0, y));
    for (size_t i = 0; i < RowBytes(roi); ++i) row[i] = static_cast<unsigned char>(i * 7 + y * 13 + seed);
  }
}

// True when both have the same size and the same pixel bytes (BW1: the same bits within the width).
template <typename T>
bool SamePixels(KROI<T>& a, KROI<T>& b) {
  if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) return false;
  for (int y = 0; y < a.GetHeight(); ++y) {
    if constexpr (std::is_same_v<T, int>) {
      for (int x = 0; x < a.GetWidth(); ++x)
        if (a.GetPixel(x, y) != b.GetPixel(x, y)) return false;
      continue;
    }
    auto* ra = static_cast<unsigned char*>(a.GetGenericImagePtr(0, y));
    auto* rb = static_cast<unsigned char*>(b.GetGenericImagePtr(0, y));
    for (size_t i = 0; i < RowBytes(a); ++i)
      if (ra[i] != rb[i]) return false;
  }
  return true;
}

}  // namespace kvbase::testing

#endif  // KVBASE_FILES_IMAGE_FILES_TEST_SUPPORT_H
