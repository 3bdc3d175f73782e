// PNG saves: round trips of every writable kind with resolution and texts, compression levels, the
// choice of text chunk, byte-stable output, write failures, and the row filters.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kvbase/files/image_files.h"
#include "kvbase/files/internal/png_filter.h"
#include "kvbase/testing/image_files_test_support.h"
#include "kvbase/testing/png_reference.h"

namespace {

using namespace kvbase::testing;

template <typename Image>
void DescribeSource(Image& image) {
  image.SetTitle("Gear, side view");
  image.SetAuthor("Line 3");
  image.SetComment("lot 42");
  image.SetDate("2024:05:06 07:08:09");
  image.SetResolution(300.0f, 150.0f, &KUnit_inch);
}

template <typename Copy, typename Source>
void ExpectRoundTrip(Source& source, short format) {
  KTempDir dir;
  const std::string path = dir.Path("round.png");
  ASSERT_EQ(KSaveImage(&source, path.c_str(), K_FILE_FORMAT_AUTO), K_SUCCESS);
  Copy copy;
  short loaded = -1;
  ASSERT_EQ(KLoadImage(&copy, path.c_str(), loaded), K_SUCCESS);
  EXPECT_EQ(loaded, format);
  EXPECT_TRUE(SamePixels(copy, source));
  EXPECT_STREQ(copy.GetTitle(), "Gear, side view");
  EXPECT_STREQ(copy.GetAuthor(), "Line 3");
  EXPECT_STREQ(copy.GetComment(), "lot 42");
  EXPECT_STREQ(copy.GetDate(), "2024:05:06 07:08:09");
  // Pixels per metre, truncated: 300 / 0.0254 = 11811.02, 150 / 0.0254 = 5905.51.
  ExpectResolution(copy, 11811.0f, 5905.0f, &KUnit_m);
}

TEST(PngWriter, EveryWritableKindRoundTripsWithResolutionAndTexts) {
  KImageBW1 bilevel(13, 5);  // rows end inside a byte
  FillPattern(bilevel);
  DescribeSource(bilevel);
  ExpectRoundTrip<KImageBW1>(bilevel, K_FILE_FORMAT_PNG_BILEVEL);

  // ROIs narrower than their images: rows are read with the image's pitch.
  KImageBW8 gray(17, 9);
  FillPattern(gray);
  KROIBW8 grayRoi(&gray, 2, 1, 11, 7);
  DescribeSource(grayRoi);  // an ROI's texts are its own
  ExpectRoundTrip<KImageBW8>(grayRoi, K_FILE_FORMAT_PNG_GRAY);

  KImageBW16 deep(17, 9);
  FillPattern(deep, 3);
  KROIBW16 deepRoi(&deep, 3, 2, 9, 6);
  DescribeSource(deepRoi);
  ExpectRoundTrip<KImageBW16>(deepRoi, K_FILE_FORMAT_PNG_GRAY);

  KImageC24 colour(17, 9);
  FillPattern(colour, 5);
  KROIC24 colourRoi(&colour, 1, 3, 15, 5);
  DescribeSource(colourRoi);
  ExpectRoundTrip<KImageC24>(colourRoi, K_FILE_FORMAT_PNG_COLOR);
}

// Without a unit the values go into pHYs as they are; values that come to zero write no pHYs, and the
// load then gives the target no resolution.
TEST(PngWriter, ResolutionWithoutUnitOrTooSmall) {
  KTempDir dir;
  struct Case {
    float x, y;
    KMeasurementUnit* unit;
    float loadedX, loadedY;
    KMeasurementUnit* loadedUnit;
  };
  const Case cases[] = {{3.0f, 2.0f, &KUnitNone, 3.0f, 2.0f, &KUnitNone},
                        {2.0f, 1.0f, &KUnit_cm, 200.0f, 100.0f, &KUnit_m},
                        {0.5f, 0.5f, &KUnitNone, 1.0f, 1.0f, &KUnitNone}};
  for (const Case& c : cases) {
    KImageBW8 image(4, 3);
    image.SetResolution(c.x, c.y, c.unit);
    const std::string path = dir.Path("res.png");
    ASSERT_EQ(KSaveImage(&image, path.c_str(), K_FILE_FORMAT_PNG_GRAY), K_SUCCESS);
    KImageBW8 copy;
    short format = -1;
    ASSERT_EQ(KLoadImage(&copy, path.c_str(), format), K_SUCCESS);
    ExpectResolution(copy, c.loadedX, c.loadedY, c.loadedUnit);
  }
}

// A smooth image with some texture, as photographs are.
void FillSmooth(KImageC24& image) {
  for (int y = 0; y < image.GetHeight(); ++y)
    for (int x = 0; x < image.GetWidth(); ++x)
      image.SetPixel(KC24(static_cast<unsigned char>(x + y), static_cast<unsigned char>(2 * x - y),
                          static_cast<unsigned char>((x * y) >> 4)),
                     x, y);
}

TEST(PngWriter, CompressionLevelsChangeTheSizeButNotThePixels) {
  KImageC24 image(120, 80);
  FillSmooth(image);
  std::vector<size_t> sizes;
  for (unsigned level : {0u, 1u, 6u, 9u}) {
    KSetPngCompressionLevel(level);
    KTempDir dir;
    const std::string path = dir.Path("level.png");
    ASSERT_EQ(KSaveImage(&image, path.c_str(), K_FILE_FORMAT_PNG_COLOR), K_SUCCESS);
    sizes.push_back(KReadFileBytes(path).size());
    KImageC24 copy;
    short format = -1;
    ASSERT_EQ(KLoadImage(&copy, path.c_str(), format), K_SUCCESS);
    EXPECT_TRUE(SamePixels(copy, image)) << level;
  }
  EXPECT_GT(sizes[0], 120u * 80u * 3u);  // stored
  EXPECT_LT(sizes[1], sizes[0] / 4);
  EXPECT_LE(sizes[3], sizes[1]);
  KSetPngCompressionLevel(42);  // counts as 9
  const Bytes ninePlus = SavedBytes(image, K_FILE_FORMAT_PNG_COLOR);
  KSetPngCompressionLevel(9);
  EXPECT_EQ(ninePlus, SavedBytes(image, K_FILE_FORMAT_PNG_COLOR));
  KSetPngCompressionLevel(6);
}

// ASCII and Latin-1 texts go into tEXt, UTF-8 beyond ASCII into iTXt; either way the same bytes load.
TEST(PngWriter, TextChunkByEncoding) {
  struct Case {
    const char* text;
    const char* chunk;
  };
  const Case cases[] = {{"plain", "tEXt"}, {"caf\xE9", "tEXt"}, {"caf\xC3\xA9", "iTXt"}, {"\xE2\x82\xAC 5", "iTXt"}};
  for (const Case& c : cases) {
    KImageBW8 image(3, 2);
    image.SetTitle(c.text);
    KTempDir dir;
    const std::string path = dir.Path("text.png");
    ASSERT_EQ(KSaveImage(&image, path.c_str(), K_FILE_FORMAT_PNG_GRAY), K_SUCCESS);
    std::string problem;
    const std::vector<std::string> types = PngChunkTypes(KReadFileBytes(path), problem);
    EXPECT_EQ(problem, "");
    EXPECT_EQ(std::count(types.begin(), types.end(), c.chunk), 1) << c.text;
    KImageBW8 copy;
    short format = -1;
    ASSERT_EQ(KLoadImage(&copy, path.c_str(), format), K_SUCCESS);
    EXPECT_STREQ(copy.GetTitle(), c.text);
  }
}

// The same pixels give the same bytes: the unused bits at the end of bilevel rows are written as zero,
// whatever the image holds there.
TEST(PngWriter, SamePixelsSameBytes) {
  KImageBW1 image(11, 4);
  for (int y = 0; y < 4; ++y) std::memset(image.GetGenericImagePtr(0, y), 0xFF, 2);
  const Bytes ones = SavedBytes(image, K_FILE_FORMAT_PNG_BILEVEL);
  for (int y = 0; y < 4; ++y) static_cast<unsigned char*>(image.GetGenericImagePtr(0, y))[1] = 0xE0;
  EXPECT_EQ(SavedBytes(image, K_FILE_FORMAT_PNG_BILEVEL), ones);
}

TEST(PngWriter, WriteFailureIsReported) {
  KImageBW8 image(64, 64);
  EXPECT_EQ(KSaveImage(&image, "/dev/full", K_FILE_FORMAT_PNG_GRAY), K_ERROR_FILE_WRITE);
}

// Undoes filter `type` on `row` given the unfiltered row above: PNG's decoding rules, written apart from
// the writer's.
std::vector<unsigned char> Unfilter(int type, const unsigned char* row, const std::vector<unsigned char>& above,
                                    size_t bpp) {
  std::vector<unsigned char> out(above.size());
  for (size_t i = 0; i < out.size(); ++i) {
    const int a = i >= bpp ? out[i - bpp] : 0, b = above[i], c = i >= bpp ? above[i - bpp] : 0;
    int predicted = 0;
    if (type == 1) predicted = a;
    if (type == 2) predicted = b;
    if (type == 3) predicted = (a + b) / 2;
    if (type == 4) {
      const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
      predicted = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
    }
    out[i] = static_cast<unsigned char>(row[i] + predicted);
  }
  return out;
}

// Rows that favour each filter, and rows with every byte value: each filtered row must decode back to
// the row, and the filter chosen must be the one that makes the row smallest.
TEST(PngRowFilter, FiltersDecodeBackAndTheCheapestIsChosen) {
  const size_t bpp = 3, n = 30;
  struct Case {
    const char* name;
    std::vector<unsigned char> row;
    int expected;  // filter type, or -1 for any
  };
  std::vector<unsigned char> above(n), ramp(n), same(n), noisy(n);
  for (size_t i = 0; i < n; ++i) {
    above[i] = static_cast<unsigned char>(i * 37 + 11);
    ramp[i] = static_cast<unsigned char>(100 + 2 * i);  // every byte 6 above the one a pixel left
    noisy[i] = static_cast<unsigned char>(i * 97 ^ 0x5A);
  }
  same = above;
  const Case cases[] = {
      {"zeros", std::vector<unsigned char>(n, 0), 0}, {"ramp", ramp, 1}, {"as above", same, 2}, {"noise", noisy, -1}};
  kvbase::internal::KPngRowFilter filter(n, bpp, true);
  ASSERT_TRUE(filter.Ready());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<unsigned char> out(n + 1);
    filter.Filter(c.row.data(), above.data(), out.data());
    ASSERT_LE(out[0], 4);
    if (c.expected >= 0) {
      EXPECT_EQ(out[0], c.expected);
    }
    EXPECT_EQ(Unfilter(out[0], out.data() + 1, above, bpp), c.row);
    filter.Filter(c.row.data(), nullptr, out.data());  // first row: the row above is zero
    EXPECT_EQ(Unfilter(out[0], out.data() + 1, std::vector<unsigned char>(n, 0), bpp), c.row);
  }
  kvbase::internal::KPngRowFilter plain(n, 1, false);
  std::vector<unsigned char> out(n + 1);
  plain.Filter(ramp.data(), above.data(), out.data());
  EXPECT_EQ(out[0], 0);
  EXPECT_TRUE(std::equal(ramp.begin(), ramp.end(), out.begin() + 1));
}

}  // namespace
