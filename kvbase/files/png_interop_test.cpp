// libpng, an independent reader, reads every PNG this library writes: the samples, pHYs and texts; and
// every file passes a structural check of its chunks. (That this library reads what libpng writes, in
// every colour type, is png_reader_test.cpp's table.)

#include <gtest/gtest.h>

#include <string>

#include "kvbase/files/image_files.h"
#include "kvbase/testing/image_files_test_support.h"
#include "kvbase/testing/png_reference.h"

namespace {

using namespace kvbase::testing;

// Sample `c` of pixel (x, y) in PNG's order as the source holds it.
unsigned SourceSample(KImageBW1& image, int x, int y, int) { return static_cast<unsigned>(image.GetPixel(x, y)); }
unsigned SourceSample(KImageBW8& image, int x, int y, int) { return image.GetPixel(x, y); }
unsigned SourceSample(KImageBW16& image, int x, int y, int) { return image.GetPixel(x, y); }
unsigned SourceSample(KImageC24& image, int x, int y, int c) {
  const KC24 pixel = image.GetPixel(x, y);
  return c == 0 ? pixel.byte2 : c == 1 ? pixel.byte1 : pixel.byte0;  // red, green, blue
}

unsigned FileSample(const KPngPicture& picture, int x, int y, int c, int samples) {
  const std::vector<unsigned char>& row = picture.rows[y];
  const int k = x * samples + c;
  if (picture.bitDepth == 16) return row[2 * k] << 8 | row[2 * k + 1];
  if (picture.bitDepth == 8) return row[k];
  return row[k / 8] >> (7 - k % 8) & 1;  // 1 bit
}

template <typename Image>
void ExpectLibpngReads(Image& image, int depth, int colorType, int samples) {
  image.SetTitle("Part 7");
  image.SetAuthor("Bench \xC3\xA9");  // UTF-8: iTXt
  image.SetComment("ok");
  image.SetDate("2024:01:01 00:00:00");
  image.SetResolution(200.0f, 100.0f, &KUnit_inch);
  KTempDir dir;
  const std::string path = dir.Path("ours.png");
  ASSERT_EQ(KSaveImage(&image, path.c_str(), K_FILE_FORMAT_AUTO), K_SUCCESS);

  std::string problem;
  const std::vector<std::string> types = PngChunkTypes(KReadFileBytes(path), problem);
  EXPECT_EQ(problem, "");
  EXPECT_EQ(types.front(), "IHDR");

  KPngPicture picture;
  ASSERT_TRUE(ReadPngWithLibpng(path, picture));
  EXPECT_EQ(picture.width, static_cast<std::uint32_t>(image.GetWidth()));
  EXPECT_EQ(picture.height, static_cast<std::uint32_t>(image.GetHeight()));
  EXPECT_EQ(picture.bitDepth, depth);
  EXPECT_EQ(picture.colorType, colorType);
  EXPECT_EQ(picture.interlace, PNG_INTERLACE_NONE);
  for (int y = 0; y < image.GetHeight(); ++y)
    for (int x = 0; x < image.GetWidth(); ++x)
      for (int c = 0; c < samples; ++c)
        ASSERT_EQ(FileSample(picture, x, y, c, samples), SourceSample(image, x, y, c)) << x << "," << y << "," << c;
  EXPECT_TRUE(picture.hasPhys);
  EXPECT_EQ(picture.physUnit, PNG_RESOLUTION_METER);
  EXPECT_EQ(picture.physX, 7874u);  // 200 / 0.0254, truncated
  EXPECT_EQ(picture.physY, 3937u);
  ASSERT_EQ(picture.texts.size(), 4u);
  EXPECT_EQ(picture.texts[0].keyword, "Title");
  EXPECT_EQ(picture.texts[0].text, "Part 7");
  EXPECT_EQ(picture.texts[1].keyword, "Author");
  EXPECT_EQ(picture.texts[1].text, "Bench \xC3\xA9");
  EXPECT_EQ(picture.texts[1].compression, PNG_ITXT_COMPRESSION_NONE);
  EXPECT_EQ(picture.texts[2].text, "ok");
  EXPECT_EQ(picture.texts[3].keyword, "Creation Time");
  EXPECT_EQ(picture.texts[3].text, "2024:01:01 00:00:00");
}

TEST(PngInterop, LibpngReadsEveryKindWeWrite) {
  KImageBW1 bilevel(37, 21);
  FillPattern(bilevel);
  ExpectLibpngReads(bilevel, 1, PNG_COLOR_TYPE_GRAY, 1);
  KImageBW8 gray(37, 21);
  FillPattern(gray);
  ExpectLibpngReads(gray, 8, PNG_COLOR_TYPE_GRAY, 1);
  KImageBW16 deep(37, 21);
  FillPattern(deep);
  ExpectLibpngReads(deep, 16, PNG_COLOR_TYPE_GRAY, 1);
  KImageC24 colour(37, 21);
  FillPattern(colour);
  ExpectLibpngReads(colour, 8, PNG_COLOR_TYPE_RGB, 3);
}

// Image data of several MiB goes into several IDAT chunks, one after the other.
TEST(PngInterop, LargeImageDataSpansContiguousIdatChunks) {
  KImageC24 image(1100, 1000);
  FillPattern(image);
  KSetPngCompressionLevel(0);
  KTempDir dir;
  const std::string path = dir.Path("large.png");
  const short saved = KSaveImage(&image, path.c_str(), K_FILE_FORMAT_PNG_COLOR);
  KSetPngCompressionLevel(6);
  ASSERT_EQ(saved, K_SUCCESS);
  std::string problem;
  const std::vector<std::string> types = PngChunkTypes(KReadFileBytes(path), problem);
  EXPECT_EQ(problem, "");
  EXPECT_GE(std::count(types.begin(), types.end(), "IDAT"), 3);
  KPngPicture picture;
  ASSERT_TRUE(ReadPngWithLibpng(path, picture));
  for (int y = 0; y < 1000; y += 99)
    for (int x = 0; x < 1100; x += 7) ASSERT_EQ(FileSample(picture, x, y, 1, 3), SourceSample(image, x, y, 1));
}

// The structural check itself finds the faults it names.
TEST(PngInterop, StructuralCheckFindsFaults) {
  KImageBW8 image(8, 8);
  const Bytes good = SavedBytes(image, K_FILE_FORMAT_PNG_GRAY);
  std::string problem;
  PngChunkTypes(good, problem);
  ASSERT_EQ(problem, "");
  Bytes badCrc = good;
  badCrc[29] ^= 1;  // IHDR's CRC
  PngChunkTypes(badCrc, problem);
  EXPECT_EQ(problem, "bad CRC in IHDR");
  Bytes trailing = good;
  trailing.push_back(0);
  PngChunkTypes(trailing, problem);
  EXPECT_EQ(problem, "IEND not last or not empty");
  Bytes split(good.begin(), good.end() - 12);  // without IEND
  const size_t idat = split.size();
  AppendPngChunk(split, "tEXt", std::string("a\0b", 3));
  AppendPngChunk(split, "IDAT", "");
  AppendPngChunk(split, "IEND", "");
  PngChunkTypes(split, problem);
  EXPECT_EQ(problem, "IDAT chunks apart") << idat;
}

}  // namespace
