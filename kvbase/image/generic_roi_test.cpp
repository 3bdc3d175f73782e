#include "kvbase/image/generic_roi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>

#include "kvbase/image/image.h"
#include "kvbase/testing/trace_capture.h"

namespace {

using Names = std::vector<std::string>;

TEST(GenericROI, MetadataStringsAreOwnedCopiesAndAnEmptyDateIsNow) {
  KImageBW8 image;
  EXPECT_EQ(image.GetDate(), nullptr);
  char title[] = "first";
  image.SetTitle(title);
  title[0] = 'X';
  EXPECT_STREQ(image.GetTitle(), "first");
  image.SetTitle(image.GetTitle());  // its own string
  EXPECT_STREQ(image.GetTitle(), "first");
  image.SetAuthor("me");
  image.SetComment(std::string(10000, 'c').c_str());  // no length limit
  EXPECT_EQ(std::strlen(image.GetComment()), 10000u);
  image.SetAuthor(nullptr);
  EXPECT_EQ(image.GetAuthor(), nullptr);
  image.SetDate("2020:01:02 03:04:05");
  EXPECT_STREQ(image.GetDate(), "2020:01:02 03:04:05");
  image.SetDate(nullptr);
  EXPECT_EQ(image.GetDate(), nullptr);

  // An empty date means now, in local time.
  const std::time_t before = std::time(nullptr);
  image.SetDate("");
  const std::string date = image.GetDate();
  ASSERT_EQ(date.size(), 19u);  // every field zero-padded
  std::tm parsed = {};
  ASSERT_EQ(sscanf(date.c_str(), "%4d:%2d:%2d %2d:%2d:%2d", &parsed.tm_year, &parsed.tm_mon, &parsed.tm_mday,
                   &parsed.tm_hour, &parsed.tm_min, &parsed.tm_sec),
            6);
  parsed.tm_year -= 1900;
  parsed.tm_mon -= 1;
  parsed.tm_isdst = -1;
  EXPECT_LE(std::abs(std::difftime(std::mktime(&parsed), before)), 2.0);
}

TEST(GenericROI, TypeChecks) {
  KTraceCapture trace;
  KImageBW8 a(10, 20), b(20, 10), c(10, 20);
  KImageC24 colour(10, 20);
  KImageBW32 wide(1, 1);
  KImageC24A withAlpha(1, 1);

  EXPECT_EQ(a.SameSize(&b), K_ERROR_IMAGE_SIZES_DIFFER);
  EXPECT_TRUE(trace.Boxes().empty());  // SameSize does not trace
  EXPECT_EQ(a.SameSize(&c), 0);
  EXPECT_EQ(KGetError(), K_SUCCESS);
  EXPECT_EQ(a.SameDataType(&colour), 0);

  EXPECT_EQ(a.PermittedDepth(2), 0);
  EXPECT_EQ(colour.PermittedDepth(2), K_ERROR_INVALID_DEPTH);
  EXPECT_EQ(wide.PermittedDepth(8), 0);
  EXPECT_EQ(withAlpha.PermittedDepth(8), 0);  // same storage width as BW32
  EXPECT_EQ(a.PermittedDataType(2), K_ERROR_INVALID_DATA_TYPE);
  EXPECT_EQ(trace.Names(), (Names{"KROI::PermittedDepth", "KROI::PermittedDataType"}));

  trace.Clear();
  EXPECT_EQ(a.SameSizeDepthType(&colour, 2 | 32, 1), K_ERROR_IMAGE_DEPTHS_DIFFER);
  EXPECT_EQ(trace.Names(), (Names{"KROI::SameDepth", "KROI::SameSizeDepthType"}));
  trace.Clear();
  EXPECT_EQ(a.SameSizeDepthType(&b, 2, 1), K_ERROR_IMAGE_SIZES_DIFFER);
  EXPECT_EQ(trace.Names(), (Names{"KROI::SameSizeDepthType"}));
  EXPECT_EQ(a.SameSizeDepthType(&c, 2, 1), 0);
}

TEST(GenericROI, PreOrderWalkAndTotals) {
  KImageBW8 image(100, 100);
  KROIBW8 a(&image, 10, 10, 50, 50), b(&image, 0, 0, 5, 5);
  KROIBW8 a1(&a, 5, 7, 10, 10);
  std::vector<KGenericROI*> visited;
  for (KGenericROI* r = &image; r != nullptr; r = r->GetNextROI(&image)) visited.push_back(r);
  EXPECT_EQ(visited, (std::vector<KGenericROI*>{&image, &a, &a1, &b}));

  EXPECT_EQ(a1.GetTotalOrgX(), 15);
  EXPECT_EQ(a1.GetTotalOrgY(), 17);
  EXPECT_EQ(a1.GetTotalWidth(), 100);
  EXPECT_EQ(image.GetTotalOrgX(), 0);
}

}  // namespace
