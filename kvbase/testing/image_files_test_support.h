#ifndef KVBASE_TESTING_IMAGE_FILES_TEST_SUPPORT_H
#define KVBASE_TESTING_IMAGE_FILES_TEST_SUPPORT_H

// Helpers of the image file tests: fields of a file's bytes, pixel rows, a pattern and a comparison,
// saving to bytes, loading into a fresh 1 x 1 image of any kind, and the resolution check.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "kvbase/files/image_files.h"
#include "kvbase/testing/temp_dir.h"

namespace kvbase::testing {

using Bytes = std::vector<unsigned char>;

inline std::uint32_t U16(const Bytes& b, size_t at) { return b.at(at) | b.at(at + 1) << 8; }
inline std::uint32_t U32(const Bytes& b, size_t at) { return U16(b, at) | U16(b, at + 2) << 16; }
inline void PutLe32(Bytes& b, size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<unsigned char>(v >> (8 * i));
}

// Row y of `roi` and its bytes of pixel data (BW1: the packed bits).
template <typename T>
unsigned char* Row(KROI<T>& roi, int y) {
  return static_cast<unsigned char*>(roi.GetGenericImagePtr(0, y));
}
template <typename T>
size_t RowBytes(KROI<T>& roi) {
  return static_cast<size_t>(roi.GetRowPitch() - roi.GetSkip());
}

template <typename T>
void FillPattern(KROI<T>& roi, int seed = 0) {
  for (int y = 0; y < roi.GetHeight(); ++y)
    for (size_t i = 0; i < RowBytes(roi); ++i) Row(roi, y)[i] = static_cast<unsigned char>(i * 7 + y * 13 + seed);
}

// True when both have the same size and the same pixel bytes (BW1: the same bits within the width).
template <typename T>
bool SamePixels(KROI<T>& a, KROI<T>& b) {
  if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) return false;
  for (int y = 0; y < a.GetHeight(); ++y) {
    if constexpr (std::is_same_v<T, int>) {
      for (int x = 0; x < a.GetWidth(); ++x)
        if (a.GetPixel(x, y) != b.GetPixel(x, y)) return false;
    } else if (std::memcmp(Row(a, y), Row(b, y), RowBytes(a)) != 0) {
      return false;
    }
  }
  return true;
}

// Saves `source` with `format`, which must succeed, and returns the file's bytes.
template <typename Source>
Bytes SavedBytes(Source&& source, short format) {
  KTempDir dir;
  EXPECT_EQ(KSaveImage(&source, dir.Path("saved").c_str(), format), K_SUCCESS);
  return KReadFileBytes(dir.Path("saved"));
}

// Loading a file into a fresh 1 x 1 image of one kind (one that has files): the result, the format
// told, the width after.
struct KLoaded {
  K_ERRORS error;
  short format;
  int width;
};

template <typename Image>
KLoaded LoadAs(const std::string& path) {
  Image image(1, 1);
  short format = -1;
  const auto error = static_cast<K_ERRORS>(KLoadImage(&image, path.c_str(), format));
  return {error, format, image.GetWidth()};
}

inline KLoaded LoadInto(const KPixelKind& kind, const std::string& path) {
  switch (kind.type) {
    case K_IMAGE_BW1: return LoadAs<KImageBW1>(path);
    case K_IMAGE_BW8: return LoadAs<KImageBW8>(path);
    case K_IMAGE_BW16: return LoadAs<KImageBW16>(path);
    case K_IMAGE_C15: return LoadAs<KImageC15>(path);
    case K_IMAGE_C16: return LoadAs<KImageC16>(path);
    default: return LoadAs<KImageC24>(path);
  }
}

inline void ExpectResolution(KGenericROI& roi, float x, float y, KMeasurementUnit* unit, float tolerance = 1e-3f) {
  float gotX = 0, gotY = 0;
  KMeasurementUnit* gotUnit = nullptr;
  roi.GetResolution(gotX, gotY, gotUnit);
  EXPECT_NEAR(gotX, x, tolerance);
  EXPECT_NEAR(gotY, y, tolerance);
  EXPECT_EQ(gotUnit, unit);
}

}  // namespace kvbase::testing

#endif  // KVBASE_TESTING_IMAGE_FILES_TEST_SUPPORT_H
