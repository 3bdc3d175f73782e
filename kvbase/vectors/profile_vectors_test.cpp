#include "kvbase/vectors/profile_vectors.h"

#include <gtest/gtest.h>

#include <vector>

#include "kvbase/testing/trace_capture.h"

namespace {

// The weighed moment of elements first ... last of a vector of kind V holding `values`.
template <typename V, typename T>
float MomentOf(const std::vector<T>& values, unsigned int first = 0, unsigned int last = 0xFFFFFFFF) {
  V v;
  v.SetNumElements(static_cast<unsigned int>(values.size()));
  for (unsigned int i = 0; i < values.size(); ++i) v.GetDataPtr()[i] = values[i];
  return v.WeighedMoment(first, last);
}

TEST(ProfileVectors, SetupThreshold) {
  struct Case {
    unsigned char threshold, below, above;
    unsigned int heldBefore;
  } cases[] = {{128, 0, 255, 0}, {0, 7, 9, 300}, {255, 1, 2, 10}, {1, 200, 100, 256}};
  for (const Case& c : cases) {
    KBW8Vector v(c.heldBefore);
    EXPECT_EQ(v.GetMaxElements(), c.heldBefore);
    v.SetupThreshold(c.threshold, c.below, c.above);
    ASSERT_EQ(v.GetNumElements(), 256u);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(v[i], i < c.threshold ? c.below : c.above) << int(c.threshold) << " " << i;
  }
}

TEST(ProfileVectors, SetupGainOffsetBranches) {
  struct Case {
    float gain, offset, gamma;
    int entry, value;
  } cases[] = {
      // gamma 1: gain and offset on the input, in double precision (10 x 0.7f = 6.99999988, not 7).
      {2, -10, 1, 5, 0},
      {2, -10, 1, 6, 2},
      {2, -10, 1, 132, 254},
      {2, -10, 1, 133, 255},
      {0.7f, 0, 1, 10, 6},
      {1e12f, 0, 1, 1, 255},
      {-1e12f, 0, 1, 1, 0},  // out of the int range: saturated, then clamped
      // gamma below 1: gain scales the full-scale output, the offset is added after.
      {1, 0, 0.5f, 64, 127},
      {0.5f, 10, 0.5f, 0, 10},
      {0.5f, 10, 0.5f, 255, 137},
      {1.5f, -30, 0.8f, 100, 150},
      {1, 0, -1, 0, 255},  // 0 to a negative power is infinite
      // gamma above 1: gain and offset on the input, then the curve.
      {1, 0, 2, 128, 64},
      {2, -20, 2, 5, 0},
      {2, -20, 2, 100, 127},
      {2, -20, 2, 255, 255},
      {0.5f, 30, 3, 200, 33},
  };
  for (const Case& c : cases) {
    KBW8Vector v;
    v.SetupGainOffset(c.gain, c.offset, c.gamma);
    ASSERT_EQ(v.GetNumElements(), 256u);
    EXPECT_EQ(v[c.entry], c.value) << c.gain << " " << c.offset << " " << c.gamma << " entry " << c.entry;
  }
}

TEST(ProfileVectors, WeighedMoment) {
  KTraceCapture trace;
  const std::vector<unsigned char> five = {1, 2, 3, 4, 5};
  struct Case {
    std::vector<unsigned char> values;
    unsigned int first, last;
    float result;
    K_ERRORS code;
  } cases[] = {
      {five, 0, 0xFFFFFFFF, 40.0f / 15, K_SUCCESS},
      {five, 1, 2, 8.0f / 5, K_SUCCESS},
      {{0, 0, 10}, 0, 0xFFFFFFFF, 2.0f, K_SUCCESS},
      {{0, 0, 0}, 0, 0xFFFFFFFF, 0.0f, K_SUCCESS},
      {five, 2, 1, 0, K_ERROR_PARAMETERS_OUT_OF_RANGE},
      {five, 0, 5, 0, K_ERROR_PARAMETER_2_OUT_OF_RANGE},
      {five, 0, 0xFFFFFFFE, 0, K_ERROR_PARAMETER_2_OUT_OF_RANGE},
      {five, 5, 0xFFFFFFFF, 0, K_ERROR_PARAMETER_1_OUT_OF_RANGE},
      {{}, 0, 0xFFFFFFFF, 0, K_ERROR_INVALID_NUMBER_OF_VECTOR_ELEMENTS},
  };
  for (const Case& c : cases) {
    KOk();
    EXPECT_FLOAT_EQ((MomentOf<KBW8Vector>(c.values, c.first, c.last)), c.result) << c.first << ".." << c.last;
    EXPECT_EQ(KGetError(), c.code) << c.first << ".." << c.last;
  }
  EXPECT_TRUE(trace.Names().empty());  // these failures are not traced

  // The value sum and each product wrap at 32 bits; the products are summed in double.
  EXPECT_EQ((MomentOf<KBW32Vector, unsigned int>({0, 0x80000000u, 0x80000000u})), 0.0f);
  EXPECT_EQ((MomentOf<KBW32Vector, unsigned int>({1, 0, 0x80000000u})), 0.0f);  // 2 x 2^31 is 0
  EXPECT_FLOAT_EQ((MomentOf<KBW32Vector, unsigned int>({0, 0x40000000u, 0x40000000u})), 1.5f);
  EXPECT_FLOAT_EQ((MomentOf<KBW16Vector, unsigned short>({65535, 0, 65535}, 1, 2)), 2.0f);
}

}  // namespace
