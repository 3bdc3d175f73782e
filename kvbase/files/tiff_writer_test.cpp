#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "kvbase/files/image_files.h"
#include "kvbase/files/internal/tiff_packbits.h"
#include "kvbase/files/internal/tiff_rgb.h"
#include "kvbase/files/tiff_test_support.h"
#include "kvbase/image/image.h"
#include "kvbase/testing/temp_dir.h"
#include "kvbase/testing/trace_capture.h"

namespace {

using kvbase::testing::DirectoryOf;
using kvbase::testing::EntryOf;
using kvbase::testing::FileU16;
using kvbase::testing::FileU32;
using kvbase::testing::KBytes;
using kvbase::testing::KTiffEntryView;

class TiffWriterTest : public ::testing::Test {
 protected:
  void TearDown() override {
    KSetTiffStripSize(8192);
    KSetTiffThreshold(128);
  }

  // Saves and returns the file's bytes.
  template <typename Source>
  KBytes Save(Source* source, short format, const char* name = "out.tif") {
    const std::string path = dir_.Path(name);
    EXPECT_EQ(KSaveImage(source, path.c_str(), format), K_SUCCESS);
    return KReadFileBytes(path);
  }

  KTempDir dir_;
};

void FillGray(KImageBW8& image) {
  for (int y = 0; y < image.GetHeight(); ++y)
    for (int x = 0; x < image.GetWidth(); ++x) image.SetPixel(static_cast<unsigned char>(x * 3 + y * 7), x, y);
}

void ExpectEntries(const KBytes& file, const std::vector<KTiffEntryView>& expected) {
  const std::vector<KTiffEntryView> entries = DirectoryOf(file);
  ASSERT_EQ(entries.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("entry " + std::to_string(expected[i].tag));
    EXPECT_EQ(entries[i].tag, expected[i].tag);
    EXPECT_EQ(entries[i].type, expected[i].type);
    EXPECT_EQ(entries[i].count, expected[i].count);
    EXPECT_EQ(entries[i].value, expected[i].value);
  }
}

TEST_F(TiffWriterTest, GrayImageWithTwoStripsHasTheWorkedLayout) {
  KImageBW8 image(100, 100);
  FillGray(image);
  const KBytes file = Save(&image, K_FILE_FORMAT_TIFF_GRAY);

  ASSERT_EQ(file.size(), 190u + 10000u);
  EXPECT_EQ(file[0], 'I');
  EXPECT_EQ(file[1], 'I');
  EXPECT_EQ(FileU16(file, 2), 42u);
  EXPECT_EQ(FileU32(file, 4), 8u);
  // 12 entries end at 154 with the next-directory offset 0; the data area starts at 158.
  ExpectEntries(file, {{256, 4, 1, 100}, {257, 4, 1, 100}, {258, 3, 1, 8}, {259, 3, 1, 1}, {262, 3, 1, 1},
                       {273, 4, 2, 158}, {277, 3, 1, 1}, {278, 3, 1, 81}, {279, 4, 2, 166}, {282, 5, 1, 174},
                       {283, 5, 1, 182}, {296, 3, 1, 1}});
  EXPECT_EQ(FileU32(file, 154), 0u);
  EXPECT_EQ(FileU32(file, 158), 190u);
  EXPECT_EQ(FileU32(file, 162), 190u + 8100u);
  EXPECT_EQ(FileU32(file, 166), 8100u);
  EXPECT_EQ(FileU32(file, 170), 1900u);
  for (size_t at : {174u, 178u, 182u, 186u}) EXPECT_EQ(FileU32(file, at), 2147483648u);
  for (int y = 0; y < 100; ++y)
    ASSERT_EQ(std::memcmp(&file[190 + 100 * y], image.GetImagePtr(0, y), 100), 0) << "row " << y;
}

TEST_F(TiffWriterTest, StripSizeZeroWritesOneStripThroughTheEntries) {
  KSetTiffStripSize(0);
  KImageBW8 image(100, 100);
  FillGray(image);
  const KBytes file = Save(&image, K_FILE_FORMAT_TIFF_GRAY);

  ASSERT_EQ(file.size(), 174u + 10000u);
  const KTiffEntryView offsets = EntryOf(file, 273), counts = EntryOf(file, 279);
  EXPECT_EQ(offsets.count, 1u);
  EXPECT_EQ(offsets.value, 174u);
  EXPECT_EQ(counts.count, 1u);
  EXPECT_EQ(counts.value, 10000u);
  EXPECT_EQ(EntryOf(file, 278).value, 100u);
  EXPECT_EQ(EntryOf(file, 282).value, 158u);
  EXPECT_EQ(EntryOf(file, 283).value, 166u);
}

TEST_F(TiffWriterTest, RowsPerStripBeyondSixteenBitsIsWrittenAsLong) {
  KImageBW8 tall(1, 70000);
  FillGray(tall);
  KSetTiffStripSize(0);
  const KTiffEntryView whole = EntryOf(Save(&tall, K_FILE_FORMAT_TIFF_GRAY), 278);
  EXPECT_EQ(whole.type, 4u);
  EXPECT_EQ(whole.value, 70000u);

  KSetTiffStripSize(8192);
  const KBytes file = Save(&tall, K_FILE_FORMAT_TIFF_GRAY, "strips.tif");
  const KTiffEntryView strips = EntryOf(file, 278);
  EXPECT_EQ(strips.type, 3u);
  EXPECT_EQ(strips.value, 8192u);
  EXPECT_EQ(EntryOf(file, 273).count, 9u);  // 8 x 8192 rows and 4464 rows
  EXPECT_EQ(FileU32(file, EntryOf(file, 279).value + 4 * 8), 4464u);
}

TEST_F(TiffWriterTest, PackBitsEncoderFollowsItsRunRule) {
  struct Case {
    const char* name;
    KBytes row;
    KBytes encoded;
  };
  KBytes literal130(130);
  for (int i = 0; i < 130; ++i) literal130[i] = static_cast<unsigned char>(i);
  KBytes literal130Encoded = {127};
  literal130Encoded.insert(literal130Encoded.end(), literal130.begin(), literal130.begin() + 128);
  literal130Encoded.insert(literal130Encoded.end(), {1, 128, 129});
  const Case cases[] = {
      {"run then literal", {0, 0, 0, 0, 5, 7}, {253, 0, 1, 5, 7}},
      {"two equal bytes stay literal", {1, 1, 2}, {2, 1, 1, 2}},
      {"run of three", {5, 5, 5}, {254, 5}},
      {"literal, run, literal", {1, 2, 2, 2, 3}, {0, 1, 254, 2, 0, 3}},
      {"pair before a run", {4, 4, 9, 9, 9, 9}, {1, 4, 4, 253, 9}},
      {"runs back to back", {0, 0, 0, 1, 1, 1}, {254, 0, 254, 1}},
      {"run of 129 ends with a one-byte piece", KBytes(129, 6), {129, 6, 0, 6}},
      {"run of 130", KBytes(130, 6), {129, 6, 255, 6}},
      {"literal of 130", literal130, literal130Encoded},
      {"single byte", {42}, {0, 42}},
  };
  for (const Case& c : cases) {
    KBytes out(kvbase::internal::PackBitsBound(c.row.size()));
    out.resize(kvbase::internal::PackBitsEncodeRow(c.row.data(), c.row.size(), out.data()));
    EXPECT_EQ(out, c.encoded) << c.name;
  }
}

TEST_F(TiffWriterTest, PackBitsGrayRowsAreEncodedRowByRow) {
  KImageBW8 image(6, 2);
  const unsigned char rows[2][6] = {{0, 0, 0, 0, 5, 7}, {1, 1, 2, 3, 3, 3}};
  for (int y = 0; y < 2; ++y) std::memcpy(image.GetImagePtr(0, y), rows[y], 6);
  const KBytes file = Save(&image, K_FILE_FORMAT_TIFF_GRAY_PACKBITS);

  EXPECT_EQ(EntryOf(file, 259).value, 32773u);
  const KTiffEntryView offset = EntryOf(file, 273), count = EntryOf(file, 279);
  ASSERT_EQ(count.value, 11u);
  const KBytes strip(file.begin() + offset.value, file.begin() + offset.value + count.value);
  // The run of 3s ends with its row: it does not run on into the next row.
  EXPECT_EQ(strip, (KBytes{253, 0, 1, 5, 7, 2, 1, 1, 2, 254, 3}));
}

TEST_F(TiffWriterTest, BilevelFromGrayUsesTheThreshold) {
  KImageBW8 image(10, 1);
  const unsigned char row[10] = {128, 127, 255, 0, 200, 199, 128, 127, 1, 254};
  std::memcpy(image.GetImagePtr(0, 0), row, 10);
  struct Case {
    unsigned int threshold;
    short format;
    KBytes strip;
  };
  const Case cases[] = {
      {128, K_FILE_FORMAT_TIFF_BILEVEL, {0xAE, 0x40}},
      {200, K_FILE_FORMAT_TIFF_BILEVEL, {0x28, 0x40}},
      {128, K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS, {1, 0xAE, 0x40}},
      {256 + 200, K_FILE_FORMAT_TIFF_BILEVEL, {0x28, 0x40}},  // only the low 8 bits count
  };
  for (const Case& c : cases) {
    KSetTiffThreshold(c.threshold);
    const KBytes file = Save(&image, c.format);
    EXPECT_EQ(EntryOf(file, 258).value, 1u);
    EXPECT_EQ(EntryOf(file, 259).value, c.format == K_FILE_FORMAT_TIFF_BILEVEL ? 1u : 32773u);
    const KTiffEntryView offset = EntryOf(file, 273), count = EntryOf(file, 279);
    EXPECT_EQ(KBytes(file.begin() + offset.value, file.begin() + offset.value + count.value), c.strip)
        << "threshold " << c.threshold << " format " << c.format;
  }
}

TEST_F(TiffWriterTest, BilevelImagesAreWrittenFromTheirBitsWithPaddingCleared) {
  KImageBW1 image(10, 2);
  auto* row0 = static_cast<unsigned char*>(image.GetGenericImagePtr(0, 0));
  auto* row1 = static_cast<unsigned char*>(image.GetGenericImagePtr(0, 1));
  const unsigned char bits0[2] = {0xA5, 0xFF}, bits1[2] = {0x0F, 0x80};  // bits past x = 9 are padding
  std::memcpy(row0, bits0, 2);
  std::memcpy(row1, bits1, 2);
  const KBytes plain = Save(&image, K_FILE_FORMAT_TIFF_BILEVEL);
  const KTiffEntryView offset = EntryOf(plain, 273);
  EXPECT_EQ(EntryOf(plain, 279).value, 4u);
  EXPECT_EQ(KBytes(plain.begin() + offset.value, plain.begin() + offset.value + 4), (KBytes{0xA5, 0xC0, 0x0F, 0x80}));

  const KBytes packed = Save(&image, K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS, "packed.tif");
  const KTiffEntryView packedOffset = EntryOf(packed, 273), packedCount = EntryOf(packed, 279);
  EXPECT_EQ(KBytes(packed.begin() + packedOffset.value, packed.begin() + packedOffset.value + packedCount.value),
            (KBytes{1, 0xA5, 0xC0, 1, 0x0F, 0x80}));
}

TEST_F(TiffWriterTest, TextsGoToTheDataAreaInTheirOrder) {
  KImageBW8 image(4, 4);
  FillGray(image);
  image.SetTitle("ab");
  const KBytes titled = Save(&image, K_FILE_FORMAT_TIFF_GRAY);
  EXPECT_EQ(FileU16(titled, 8), 13u);
  // Data area: 8 + 2 + 13 * 12 + 4 = 170, then the two resolutions, then the title.
  const KTiffEntryView title = EntryOf(titled, 269);
  EXPECT_EQ(title.type, 2u);
  EXPECT_EQ(title.count, 3u);
  EXPECT_EQ(title.value, 186u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&titled[186])), "ab");

  image.SetComment("A comment");
  image.SetDate("2024:01:02 03:04:05");
  image.SetAuthor("Ann");
  const KBytes all = Save(&image, K_FILE_FORMAT_TIFF_GRAY, "all.tif");
  const std::vector<KTiffEntryView> entries = DirectoryOf(all);
  ASSERT_EQ(entries.size(), 16u);
  for (size_t i = 1; i < entries.size(); ++i) EXPECT_LT(entries[i - 1].tag, entries[i].tag);
  // Title, author, date, comment, one right after the other, after the resolutions.
  std::uint32_t next = 8 + 2 + 16 * 12 + 4 + 16;
  for (std::uint32_t tag : {269u, 315u, 306u, 270u}) {
    const KTiffEntryView e = EntryOf(all, tag);
    EXPECT_EQ(e.value, next) << "tag " << tag;
    next += e.count;
  }
  EXPECT_EQ(EntryOf(all, 273).value, next);  // the single strip follows the texts
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&all[EntryOf(all, 270).value])), "A comment");
}

TEST_F(TiffWriterTest, ResolutionBecomesRationalsInInchOrCentimetre) {
  struct Case {
    KMeasurementUnit* unit;
    float resolution;
    std::uint32_t unitCode;
    std::uint32_t numerator;
    std::uint32_t denominator;
  };
  const Case cases[] = {
      {&KUnitNone, 1.0f, 1, 2147483648u, 2147483648u},
      {&KUnit_inch, 72.0f, 2, 2415919104u, 33554432u},
      {&KUnit_cm, 50.0f, 3, 3355443200u, 67108864u},
      {&KUnit_mm, 10.0f, 3, 0, 0},  // about 100 per centimetre, checked below
  };
  for (const Case& c : cases) {
    KImageBW8 image(2, 2);
    FillGray(image);
    image.SetResolution(c.resolution, c.resolution, c.unit);
    const KBytes file = Save(&image, K_FILE_FORMAT_TIFF_GRAY);
    EXPECT_EQ(EntryOf(file, 296).value, c.unitCode);
    for (std::uint32_t tag : {282u, 283u}) {
      const std::uint32_t at = EntryOf(file, tag).value;
      const std::uint32_t numerator = FileU32(file, at), denominator = FileU32(file, at + 4);
      if (c.numerator != 0) {
        EXPECT_EQ(numerator, c.numerator) << c.unit->GetName();
        EXPECT_EQ(denominator, c.denominator) << c.unit->GetName();
      } else {
        EXPECT_NEAR(static_cast<double>(numerator) / denominator, 100.0, 1e-3);
      }
    }
  }
}

TEST_F(TiffWriterTest, ColourRowsAreWrittenAsRgbAndTheSourceStaysUnchanged) {
  KImageC24 image(2, 1);
  auto* p = reinterpret_cast<unsigned char*>(image.GetImagePtr(0, 0));
  const unsigned char bgr[6] = {1, 2, 3, 4, 5, 6};
  std::memcpy(p, bgr, 6);
  const KBytes file = Save(&image, K_FILE_FORMAT_TIFF_COLOR);

  const KTiffEntryView bits = EntryOf(file, 258);
  EXPECT_EQ(bits.count, 3u);
  EXPECT_EQ(bits.value, 8u + 2 + 12 * 12 + 4);  // first block of the data area
  for (int i = 0; i < 3; ++i) EXPECT_EQ(FileU16(file, bits.value + 2 * i), 8u);
  EXPECT_EQ(EntryOf(file, 262).value, 2u);
  EXPECT_EQ(EntryOf(file, 277).value, 3u);
  const std::uint32_t strip = EntryOf(file, 273).value;
  EXPECT_EQ(KBytes(file.begin() + strip, file.end()), (KBytes{3, 2, 1, 6, 5, 4}));
  EXPECT_EQ(std::memcmp(p, bgr, 6), 0);
}

// Rows of every length, so that whole blocks of pixels and the pixels after them are both exercised.
TEST_F(TiffWriterTest, RedAndBlueAreExchangedInRowsOfAnyLength) {
  for (size_t pixels = 0; pixels <= 70; ++pixels) {
    KBytes in(3 * pixels), want(3 * pixels);
    for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<unsigned char>(i * 5 + 1);
    for (size_t p = 0; p < pixels; ++p) {
      want[3 * p] = in[3 * p + 2];
      want[3 * p + 1] = in[3 * p + 1];
      want[3 * p + 2] = in[3 * p];
    }
    KBytes out(3 * pixels + 1, 0xEE);  // one guard byte
    kvbase::internal::SwapRedBlue(in.data(), out.data(), pixels);
    EXPECT_EQ(KBytes(out.begin(), out.end() - 1), want) << pixels << " pixels";
    EXPECT_EQ(out.back(), 0xEE) << pixels << " pixels";
    kvbase::internal::SwapRedBlue(in.data(), in.data(), pixels);
    EXPECT_EQ(in, want) << pixels << " pixels, in place";
  }
}

TEST_F(TiffWriterTest, FailedWriteReportsAndLeavesTheSourceUnchanged) {
  KImageC24 image(100, 100);
  auto* first = reinterpret_cast<unsigned char*>(image.GetImagePtr(0, 0));
  for (int y = 0; y < 100; ++y) {
    auto* row = reinterpret_cast<unsigned char*>(image.GetImagePtr(0, y));
    for (int i = 0; i < 300; ++i) row[i] = static_cast<unsigned char>(i + y);
  }
  const KBytes before(first, first + static_cast<size_t>(image.GetImgPitch()));
  KTraceCapture trace;
  EXPECT_EQ(KSaveImage(&image, "/dev/full", K_FILE_FORMAT_TIFF_COLOR), K_ERROR_FILE_WRITE);
  EXPECT_EQ(trace.Names(), std::vector<std::string>{"KROIC24::Save"});
  EXPECT_EQ(KBytes(first, first + before.size()), before);
}

TEST_F(TiffWriterTest, RowsOfAnRoiComeThroughTheRowPitch) {
  KImageBW8 image(10, 10);
  FillGray(image);
  KROIBW8 roi(&image, 2, 1, 5, 3);
  const KBytes file = Save(&roi, K_FILE_FORMAT_TIFF_GRAY);
  EXPECT_EQ(EntryOf(file, 256).value, 5u);
  EXPECT_EQ(EntryOf(file, 257).value, 3u);
  const std::uint32_t strip = EntryOf(file, 273).value;
  ASSERT_EQ(file.size(), strip + 15u);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(std::memcmp(&file[strip + 5 * y], roi.GetImagePtr(0, y), 5), 0);
}

TEST_F(TiffWriterTest, ImageTooLargeForThirtyTwoBitOffsetsIsRefusedBeforeAnyPixelIsRead) {
  unsigned char pixel = 0;
  KImageBW8 image;
  image.SetImagePtr(65536, 65537, &pixel, 0);  // claims 4 GiB + 64 KiB; only the size is ever looked at
  ASSERT_EQ(KGetError(), K_SUCCESS);
  KTraceCapture trace;
  EXPECT_EQ(KSaveImage(&image, dir_.Path("huge.tif").c_str(), K_FILE_FORMAT_TIFF_GRAY),
            K_ERROR_UNSUPPORTED_TIFF_FORMAT);
}

}  // namespace
