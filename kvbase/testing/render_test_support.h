#ifndef KVBASE_TESTING_RENDER_TEST_SUPPORT_H
#define KVBASE_TESTING_RENDER_TEST_SUPPORT_H

// Helpers shared by the rendering tests: filling a ROI, a pixel pattern of any pixel kind, the pixels that
// differ from a background, and a fixture that runs a test in a chosen angle unit.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <utility>

#include "kvbase/foundation/units.h"
#include "kvbase/image/image.h"

using KPoints = std::set<std::pair<int, int>>;

template <typename T>
bool KSamePixel(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// Sets every pixel (x, y) of `roi` to value(x, y).
template <typename T, typename Value>
void KFillWith(KROI<T>& roi, Value value) {
  for (int y = 0; y < roi.GetHeight(); ++y) {
    for (int x = 0; x < roi.GetWidth(); ++x) *roi.GetImagePtr(x, y) = value(x, y);
  }
}

template <typename T>
void KFill(KROI<T>& roi, const T& value) {
  KFillWith(roi, [&value](int, int) { return value; });
}

// A pixel value that differs between nearby positions, for any pixel of at most 4 bytes.
template <typename T>
T KPixelFor(int x, int y) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 0x9E3779B1u ^ static_cast<std::uint32_t>(y) * 0x85EBCA77u;
  h = (h ^ (h >> 15)) * 0x2C1B3C6Du;
  h ^= h >> 12;
  T value;
  std::memcpy(&value, &h, sizeof(T));
  return value;
}

// The (x, y) positions of the pixels of `roi` that differ from `background`.
template <typename T>
KPoints KPainted(KROI<T>& roi, const T& background) {
  KPoints painted;
  for (int y = 0; y < roi.GetHeight(); ++y) {
    for (int x = 0; x < roi.GetWidth(); ++x) {
      if (!KSamePixel(*roi.GetImagePtr(x, y), background)) painted.insert({x, y});
    }
  }
  return painted;
}

// Runs each test with angles in `Unit`, then restores turns, the unit at start-up.
template <K_ANGLE_UNITS Unit>
class KAngleUnitTest : public ::testing::Test {
 protected:
  void SetUp() override { KSetAngleUnit(Unit); }
  void TearDown() override { KSetAngleUnit(K_ANGLE_UNIT_TURNS); }
};

#endif  // KVBASE_TESTING_RENDER_TEST_SUPPORT_H
