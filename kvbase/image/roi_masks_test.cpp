#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kvbase/image/image.h"
#include "kvbase/testing/mask_reference.h"

namespace {

using kvbase::testing::KRunRef;
using kvbase::testing::ReferenceEllipse;
using kvbase::testing::ReferenceRing;

// The runs of an ROI's mask as (row, first column, length), read from their location words, which must
// agree with the run's own row and column.
template <typename T>
std::vector<KRunRef> RunsOf(KROI<T>& roi) {
  std::vector<KRunRef> runs;
  const std::uintptr_t origin = roi.GetMaskOffsets() ? 0 : reinterpret_cast<std::uintptr_t>(roi.GetImagePtr(0, 0));
  const long long rowAdvance = static_cast<long long>(roi.GetWidth()) * sizeof(T) + roi.GetSkip();
  KVectorTemplate<KRun>& mask = roi.GetMask();
  for (unsigned int k = 0; k < mask.GetNumElements(); ++k) {
    const KRun& run = mask[k];
    const long long offset = static_cast<long long>(run.start - origin);
    EXPECT_EQ(offset, run.y * rowAdvance + run.x * static_cast<long long>(sizeof(T))) << "run " << k;
    runs.push_back({run.y, run.x, static_cast<int>((run.end - run.start) / sizeof(T))});
  }
  return runs;
}

TEST(Masks, RectangleRunsAreClippedToTheROI) {
  KImageBW8 image(20, 20);
  KROIBW8 roi(&image, 5, 5, 10, 10);
  struct Case {
    int x, y, w, h;
    std::vector<KRunRef> runs;
  } cases[] = {
      {2, 3, 4, 5, {{3, 2, 4}, {4, 2, 4}, {5, 2, 4}, {6, 2, 4}, {7, 2, 4}}},
      {-2, 0, 5, 1, {{0, 0, 3}}},
      {8, 9, 0, 0, {{9, 8, 2}}},  // size defaults to the ROI's, then clipped
      {5, 5, 0, 0, {{5, 5, 5}, {6, 5, 5}, {7, 5, 5}, {8, 5, 5}, {9, 5, 5}}},
      {12, 0, 3, 3, {}},  // wholly right of the ROI: empty
      {-5, 0, 4, 2, {}},  // wholly left
      {0, 12, 3, 3, {}},
  };
  for (const Case& c : cases) {
    roi.SetRectangleMask(c.x, c.y, c.w, c.h);
    EXPECT_EQ(RunsOf(roi), c.runs) << c.x << "," << c.y;
  }
}

TEST(Masks, OffsetsAndPixelSizes) {
  KImageBW16 image(10, 4);  // 20 bytes per row
  KROIBW16 roi(&image, 2, 1, 5, 3);
  roi.SetMaskOffsets(1);
  roi.SetRectangleMask(0, 0, 0, 0);
  KVectorTemplate<KRun>& mask = roi.GetMask();
  ASSERT_EQ(mask.GetNumElements(), 3u);
  EXPECT_EQ(mask[0].start, 0u);
  EXPECT_EQ(mask[2].start, 40u);
  EXPECT_EQ(mask[0].end, 10u);  // 2 bytes per pixel

  KImageBW1 bits(40, 2);
  bits.SetMaskOffsets(1);
  bits.SetRectangleMask(0, 0, 3, 1);
  EXPECT_EQ(bits.GetMask()[0].end, 12u);  // 4 bytes per pixel for the bilevel instance

  roi.SetBinarizedMask(128);  // hooks for companion libraries leave the mask alone
  roi.SetObjectMask(nullptr);
  EXPECT_EQ(mask.GetNumElements(), 3u);
  roi.ResetMask();
  EXPECT_EQ(mask.GetMaxElements(), 0u);
}

TEST(Masks, EllipseAndRingWorkedExamples) {
  struct Case {
    int w, h;
    std::vector<int> lengths;
  } cases[] = {{1, 1, {1}},          {3, 3, {1, 3, 1}}, {5, 5, {1, 3, 5, 3, 1}},
               {4, 4, {2, 4, 4, 2}}, {7, 3, {3, 7, 3}}, {1, 4, {1, 1, 1, 1}},
               {6, 1, {6}}};
  for (const Case& c : cases) {
    KImageBW8 image(c.w, c.h);
    image.SetEllipseMask(0, 0, 0, 0);
    std::vector<int> lengths;
    for (const KRunRef& r : RunsOf(image)) {
      lengths.push_back(r.length);
      EXPECT_EQ(2 * r.first + r.length, c.w) << "centred";
    }
    EXPECT_EQ(lengths, c.lengths) << c.w << " x " << c.h;
  }
  // The large boxes are checked against the per-pixel reference below; its first rows for 300 x 300:
  const std::vector<KRunRef> large = ReferenceEllipse(300, 300);
  EXPECT_EQ(large[0].length, 2);
  EXPECT_EQ(large[1].length, 34);

  KImageBW8 image(20, 20);
  image.SetRingMask(0.5f);
  const std::vector<KRunRef> runs = RunsOf(image);
  ASSERT_EQ(runs.size(), 5u + 2 * 10 + 5u);  // rows 5 to 14 cross the hole and have two runs
  EXPECT_EQ(runs[0], (KRunRef{0, 9, 2}));
  EXPECT_EQ(runs[5 + 2 * 4], (KRunRef{9, 0, 5}));
  EXPECT_EQ(runs[5 + 2 * 4 + 1], (KRunRef{9, 15, 5}));
  EXPECT_EQ(runs.back().row, 19);
}

void ExpectSameAsPerPixel(int w, int h, const std::vector<float>& ratios) {
  KImageBW8 image(w, h);
  image.SetMaskOffsets(1);
  image.SetEllipseMask(0, 0, 0, 0);
  ASSERT_EQ(RunsOf(image), ReferenceEllipse(w, h)) << "ellipse " << w << " x " << h;
  for (float ratio : ratios) {
    image.SetRingMask(ratio);
    ASSERT_EQ(RunsOf(image), ReferenceRing(w, h, ratio)) << "ring " << ratio << " " << w << " x " << h;
  }
}

TEST(Masks, RowSpansEqualThePerPixelRuleForEverySmallBox) {
  for (int w = 1; w <= 64; ++w)
    for (int h = 1; h <= 64; ++h) ExpectSameAsPerPixel(w, h, {0.0f, 0.5f, 0.99f, 1.5f});
}

TEST(Masks, RowSpansEqualThePerPixelRuleForLargeAndThinBoxes) {
  const std::vector<float> ratios = {0.0f, 0.5f, 0.99f, 1.5f};
  for (auto [w, h] : std::vector<std::pair<int, int>>{{300, 300}, {4095, 17}, {1, 4096}, {4096, 1}, {4096, 4096}})
    ExpectSameAsPerPixel(w, h, ratios);
}

TEST(Masks, EllipseInAGivenBoxIsClippedToTheROI) {
  KImageBW8 image(30, 30);
  KROIBW8 roi(&image, 5, 5, 10, 10);
  // A box with one size of 0 or less means the whole ROI.
  roi.SetEllipseMask(0, 0, -1, 5);
  EXPECT_EQ(RunsOf(roi), ReferenceEllipse(10, 10));
  // A 5 x 5 box inside the ROI: the 5 x 5 ellipse moved by (2, 3).
  roi.SetEllipseMask(2, 3, 5, 5);
  std::vector<KRunRef> expected;
  for (const KRunRef& r : ReferenceEllipse(5, 5)) expected.push_back({r.row + 3, r.first + 2, r.length});
  EXPECT_EQ(RunsOf(roi), expected);

  // A box hanging over the ROI's top-left corner keeps only the part inside.
  roi.SetEllipseMask(-2, -3, 7, 7);
  std::vector<KRunRef> clipped;
  for (const KRunRef& r : ReferenceEllipse(7, 7)) {
    if (r.row - 3 < 0) continue;
    const int first = std::max(0, r.first - 2), last = r.first + r.length - 1 - 2;
    if (last >= first) clipped.push_back({r.row - 3, first, last - first + 1});
  }
  EXPECT_EQ(RunsOf(roi), clipped);

  roi.SetEllipseMask(20, 0, 5, 5);  // wholly outside
  EXPECT_EQ(roi.GetMask().GetNumElements(), 0u);
}

}  // namespace
