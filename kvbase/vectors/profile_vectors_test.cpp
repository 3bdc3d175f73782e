#include "kvbase/vectors/profile_vectors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvbase/testing/trace_capture.h"

namespace {

template <typename V, typename T>
void Fill(V& v, const std::vector<T>& values) {
  v.SetNumElements(static_cast<unsigned int>(values.size()));
  for (unsigned int i = 0; i < values.size(); ++i) v.GetDataPtr()[i] = values[i];
}

TEST(ProfileVectors, Construction) {
  KBW8Vector table(256);
  EXPECT_EQ(table.GetMaxElements(), 256u);
  EXPECT_EQ(table.GetNumElements(), 0u);
  EXPECT_EQ(table.GetValuesUnsigned(), 1);
  EXPECT_EQ(table.GetAutomaticRange(), 1);
  EXPECT_EQ(table.GetYMinimum(), 0.0);
  EXPECT_EQ(table.GetPlotRight(), 0);

  KBW16Vector words(10, 0);
  EXPECT_EQ(words.GetMaxElements(), 10u);
  EXPECT_EQ(words.GetValuesUnsigned(), 0);
  KBW32Vector longs;
  EXPECT_EQ(longs.GetMaxElements(), 0u);
  EXPECT_EQ(longs.GetDataPtr(), nullptr);
  KC24Vector colours(3);
  EXPECT_EQ(colours.GetMaxElements(), 3u);
  EXPECT_EQ(colours.GetAutomaticRange(), 1);
}

TEST(ProfileVectors, SetupThreshold) {
  struct Case {
    unsigned char threshold, below, above;
    unsigned int heldBefore;
  } cases[] = {{128, 0, 255, 0}, {0, 7, 9, 300}, {255, 1, 2, 10}, {1, 200, 100, 256}};
  for (const Case& c : cases) {
    KBW8Vector v;
    v.SetNumElements(c.heldBefore);
    v.SetupThreshold(c.threshold, c.below, c.above);
    EXPECT_EQ(KGetError(), K_SUCCESS);
    ASSERT_EQ(v.GetNumElements(), 256u);
    for (int i = 0; i < 256; ++i) {
      ASSERT_EQ(v[i], i < c.threshold ? c.below : c.above) << "threshold " << int(c.threshold) << " entry " << i;
    }
  }
}

TEST(ProfileVectors, SetupGainOffsetBranches) {
  struct Case {
    float gain, offset, gamma;
    int entry, value;
  } cases[] = {
      // gamma 1: gain and offset on the input, computed in double precision.
      {2, -10, 1, 0, 0},
      {2, -10, 1, 5, 0},
      {2, -10, 1, 6, 2},
      {2, -10, 1, 132, 254},
      {2, -10, 1, 133, 255},
      {0.7f, 0, 1, 10, 6},  // 10 x 0.699999988 = 6.99999988; a float product would round to 7
      {1e12f, 0, 1, 1, 255},
      {-1e12f, 0, 1, 1, 0},
      // gamma below 1: gain scales the full-scale output, offset is added after.
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
    EXPECT_EQ(v[c.entry], c.value) << "gain " << c.gain << " offset " << c.offset << " gamma " << c.gamma
                                   << " entry " << c.entry;
  }

  KBW8Vector identity;
  identity.SetupGainOffset(1, 0, 1);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(identity[i], i);

  // Monotone gamma curves stay monotone and span the full scale.
  for (float gamma : {0.45f, 2.2f}) {
    KBW8Vector curve;
    curve.SetupGainOffset(1, 0, gamma);
    EXPECT_EQ(curve[0], 0);
    EXPECT_EQ(curve[255], 255);
    for (int i = 1; i < 256; ++i) ASSERT_LE(curve[i - 1], curve[i]) << gamma;
  }
}

TEST(ProfileVectors, WeighedMomentResultsAndErrors) {
  KTraceCapture trace;
  KBW8Vector five;
  Fill<KBW8Vector, unsigned char>(five, {1, 2, 3, 4, 5});
  KBW8Vector empty;
  struct Case {
    KBW8Vector* v;
    unsigned int first, last;
    float result;
    K_ERRORS code;
  } cases[] = {
      {&five, 0, 0xFFFFFFFF, 40.0f / 15, K_SUCCESS},
      {&five, 1, 2, 8.0f / 5, K_SUCCESS},
      {&five, 4, 4, 4.0f, K_SUCCESS},
      {&five, 2, 1, 0, K_ERROR_PARAMETERS_OUT_OF_RANGE},
      {&five, 0, 5, 0, K_ERROR_PARAMETER_2_OUT_OF_RANGE},
      {&five, 0, 0xFFFFFFFE, 0, K_ERROR_PARAMETER_2_OUT_OF_RANGE},
      {&five, 5, 0xFFFFFFFF, 0, K_ERROR_PARAMETER_1_OUT_OF_RANGE},
      {&empty, 0, 0xFFFFFFFF, 0, K_ERROR_INVALID_NUMBER_OF_VECTOR_ELEMENTS},
  };
  for (const Case& c : cases) {
    KOk();
    EXPECT_FLOAT_EQ(c.v->WeighedMoment(c.first, c.last), c.result) << c.first << ".." << c.last;
    EXPECT_EQ(KGetError(), c.code) << c.first << ".." << c.last;
  }
  EXPECT_TRUE(trace.Names().empty());  // these failures are not traced

  KBW8Vector centre;
  Fill<KBW8Vector, unsigned char>(centre, {0, 0, 10});
  EXPECT_EQ(centre.WeighedMoment(0, 0xFFFFFFFF), 2.0f);
  KBW8Vector zeros;
  Fill<KBW8Vector, unsigned char>(zeros, {0, 0, 0});
  KOk();
  EXPECT_EQ(zeros.WeighedMoment(0, 0xFFFFFFFF), 0.0f);
  EXPECT_EQ(KGetError(), K_SUCCESS);
}

TEST(ProfileVectors, WeighedMomentWrapsAt32Bits) {
  KBW32Vector sumWraps;
  Fill<KBW32Vector, unsigned int>(sumWraps, {0, 0x80000000u, 0x80000000u});
  EXPECT_EQ(sumWraps.WeighedMoment(0, 0xFFFFFFFF), 0.0f);  // the values sum to 2^32, that is 0

  KBW32Vector productWraps;
  Fill<KBW32Vector, unsigned int>(productWraps, {1, 0, 0x80000000u});
  EXPECT_EQ(productWraps.WeighedMoment(0, 0xFFFFFFFF), 0.0f);  // 2 x 2^31 wraps to 0

  KBW32Vector large;
  Fill<KBW32Vector, unsigned int>(large, {0, 0x40000000u, 0x40000000u});
  EXPECT_FLOAT_EQ(large.WeighedMoment(0, 0xFFFFFFFF), 1.5f);  // no wrap: products summed in double

  KBW16Vector words;
  Fill<KBW16Vector, unsigned short>(words, {65535, 0, 65535});
  EXPECT_FLOAT_EQ(words.WeighedMoment(0, 0xFFFFFFFF), 1.0f);
  EXPECT_FLOAT_EQ(words.WeighedMoment(1, 2), 2.0f);
}

TEST(ProfileVectors, YRangeThroughTheVectors) {
  KTraceCapture trace;
  KBW8Vector v;
  v.SetYRange(10, 10);
  EXPECT_EQ(KGetError(), K_ERROR_PARAMETERS_OUT_OF_RANGE);
  EXPECT_EQ(trace.Names(), std::vector<std::string>{"KPlot::SetYRange"});
  EXPECT_EQ(v.GetAutomaticRange(), 1);

  KC24Vector c;
  c.SetYRange(-10, 10);
  EXPECT_EQ(c.GetYMinimum(), -10.0);
  EXPECT_EQ(c.GetYMaximum(), 10.0);
  EXPECT_EQ(c.GetAutomaticRange(), 0);
}

TEST(ProfileVectors, AssignmentHandsTheBufferOver) {
  KBW8Vector source(4, 0);
  Fill<KBW8Vector, unsigned char>(source, {9, 8, 7});
  const unsigned char* buffer = source.GetDataPtr();
  KBW8Vector target;
  target = source;
  EXPECT_EQ(target.GetDataPtr(), buffer);
  EXPECT_EQ(target.GetNumElements(), 3u);
  EXPECT_EQ(source.GetDataPtr(), nullptr);
  EXPECT_EQ(source.GetNumElements(), 0u);
}

}  // namespace
