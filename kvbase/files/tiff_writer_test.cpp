#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kvbase/files/image_files.h"
#include "kvbase/files/internal/tiff_packbits.h"
#include "kvbase/files/internal/tiff_rgb.h"
#include "kvbase/files/tiff_test_support.h"
#include "kvbase/image/image.h"
#include "kvbase/testing/trace_capture.h"

namespace {

using namespace kvbase::testing;
using Fields = std::vector<std::uint32_t>;

class TiffWriterTest : public ::testing::Test {
 protected:
  void TearDown() override {
    KSetTiffStripSize(8192);
    KSetTiffThreshold(128);
  }
};

// tag, type, count, value of every entry, in order.
Fields Entries(const Bytes& file) {
  Fields fields;
  for (const KTiffEntryView& e : DirectoryOf(file)) fields.insert(fields.end(), {e.tag, e.type, e.count, e.value});
  return fields;
}

TEST_F(TiffWriterTest, GrayImageWithTwoStripsHasTheWorkedLayout) {
  KImageBW8 image(100, 100);
  FillPattern(image);
  const Bytes file = SavedBytes(image, K_FILE_FORMAT_TIFF_GRAY);

  ASSERT_EQ(file.size(), 190u + 10000u);
  EXPECT_EQ((Fields{file[0], file[1], U16(file, 2), U32(file, 4)}), (Fields{'I', 'I', 42, 8}));
  // 12 entries end at 154 with the next-directory offset 0; the data area starts at 158.
  EXPECT_EQ(Entries(file), (Fields{256, 4, 1, 100, 257, 4, 1, 100, 258, 3, 1, 8,   259, 3, 1, 1,
                                   262, 3, 1, 1,   273, 4, 2, 158, 277, 3, 1, 1,   278, 3, 1, 81,
                                   279, 4, 2, 166, 282, 5, 1, 174, 283, 5, 1, 182, 296, 3, 1, 1}));
  Fields data;
  for (size_t at = 154; at < 190; at += 4) data.push_back(U32(file, at));
  const std::uint32_t half = 2147483648u;  // 1.0 as half / half
  EXPECT_EQ(data, (Fields{0, 190, 190 + 8100, 8100, 1900, half, half, half, half}));
  for (int y = 0; y < 100; ++y)
    ASSERT_EQ(std::memcmp(&file[190 + 100 * y], image.GetImagePtr(0, y), 100), 0) << "row " << y;
}

TEST_F(TiffWriterTest, StripSizeZeroWritesOneStripThroughTheEntries) {
  KSetTiffStripSize(0);
  KImageBW8 image(100, 100);
  const Bytes file = SavedBytes(image, K_FILE_FORMAT_TIFF_GRAY);
  ASSERT_EQ(file.size(), 174u + 10000u);
  const KTiffEntryView offsets = EntryOf(file, 273), counts = EntryOf(file, 279);
  EXPECT_EQ((Fields{offsets.count, offsets.value, counts.count, counts.value}), (Fields{1, 174, 1, 10000}));
  EXPECT_EQ((Fields{EntryOf(file, 278).value, EntryOf(file, 282).value, EntryOf(file, 283).value}),
            (Fields{100, 158, 166}));
}

TEST_F(TiffWriterTest, RowsPerStripBeyondSixteenBitsIsWrittenAsLong) {
  KImageBW8 tall(1, 70000);
  KSetTiffStripSize(0);
  const KTiffEntryView whole = EntryOf(SavedBytes(tall, K_FILE_FORMAT_TIFF_GRAY), 278);
  EXPECT_EQ((Fields{whole.type, whole.value}), (Fields{4, 70000}));

  KSetTiffStripSize(8192);
  const Bytes file = SavedBytes(tall, K_FILE_FORMAT_TIFF_GRAY);
  const KTiffEntryView strips = EntryOf(file, 278);
  EXPECT_EQ((Fields{strips.type, strips.value}), (Fields{3, 8192}));
  EXPECT_EQ(EntryOf(file, 273).count, 9u);  // 8 x 8192 rows and 4464 rows
  EXPECT_EQ(U32(file, EntryOf(file, 279).value + 4 * 8), 4464u);
}

TEST_F(TiffWriterTest, PackBitsEncoderFollowsItsRunRule) {
  Bytes literal130(130), literal130Encoded = {127};
  for (int i = 0; i < 130; ++i) literal130[i] = static_cast<unsigned char>(i);
  literal130Encoded.insert(literal130Encoded.end(), literal130.begin(), literal130.begin() + 128);
  literal130Encoded.insert(literal130Encoded.end(), {1, 128, 129});
  const struct {
    const char* name;
    Bytes row;
    Bytes encoded;
  } cases[] = {
      {"run then literal", {0, 0, 0, 0, 5, 7}, {253, 0, 1, 5, 7}},
      {"two equal bytes stay literal", {1, 1, 2}, {2, 1, 1, 2}},
      {"run of three", {5, 5, 5}, {254, 5}},
      {"literal, run, literal", {1, 2, 2, 2, 3}, {0, 1, 254, 2, 0, 3}},
      {"pair before a run", {4, 4, 9, 9, 9, 9}, {1, 4, 4, 253, 9}},
      {"runs back to back", {0, 0, 0, 1, 1, 1}, {254, 0, 254, 1}},
      {"run of 129 ends with a one-byte piece", Bytes(129, 6), {129, 6, 0, 6}},
      {"run of 130", Bytes(130, 6), {129, 6, 255, 6}},
      {"literal of 130", literal130, literal130Encoded},
      {"single byte", {42}, {0, 42}},
  };
  for (const auto& c : cases) {
    Bytes out(kvbase::internal::PackBitsBound(c.row.size()));
    out.resize(kvbase::internal::PackBitsEncodeRow(c.row.data(), c.row.size(), out.data()));
    EXPECT_EQ(out, c.encoded) << c.name;
  }
}

TEST_F(TiffWriterTest, PackBitsGrayRowsAreEncodedRowByRow) {
  KImageBW8 image(6, 2);
  std::memcpy(image.GetImagePtr(0, 0), "\0\0\0\0\5\7", 6);
  std::memcpy(image.GetImagePtr(0, 1), "\1\1\2\3\3\3", 6);
  const Bytes file = SavedBytes(image, K_FILE_FORMAT_TIFF_GRAY_PACKBITS);
  EXPECT_EQ(EntryOf(file, 259).value, 32773u);
  // The run of 3s ends with its row: it does not run on into the next row.
  EXPECT_EQ(FirstStripOf(file), (Bytes{253, 0, 1, 5, 7, 2, 1, 1, 2, 254, 3}));
}

TEST_F(TiffWriterTest, BilevelFromGrayUsesTheLowEightBitsOfTheThreshold) {
  KImageBW8 image(10, 1);
  std::memcpy(image.GetImagePtr(0, 0), "\x80\x7F\xFF\x00\xC8\xC7\x80\x7F\x01\xFE", 10);
  const struct {
    unsigned int threshold;
    short format;
    Bytes strip;
  } cases[] = {
      {128, K_FILE_FORMAT_TIFF_BILEVEL, {0xAE, 0x40}},
      {200, K_FILE_FORMAT_TIFF_BILEVEL, {0x28, 0x40}},
      {128, K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS, {1, 0xAE, 0x40}},
      {256 + 200, K_FILE_FORMAT_TIFF_BILEVEL, {0x28, 0x40}},
  };
  for (const auto& c : cases) {
    KSetTiffThreshold(c.threshold);
    const Bytes file = SavedBytes(image, c.format);
    EXPECT_EQ(EntryOf(file, 258).value, 1u);
    EXPECT_EQ(EntryOf(file, 259).value, c.format == K_FILE_FORMAT_TIFF_BILEVEL ? 1u : 32773u);
    EXPECT_EQ(FirstStripOf(file), c.strip) << "threshold " << c.threshold << " format " << c.format;
  }
}

TEST_F(TiffWriterTest, BilevelImagesAreWrittenFromTheirBitsWithPaddingCleared) {
  KImageBW1 image(10, 2);
  std::memcpy(image.GetGenericImagePtr(0, 0), "\xA5\xFF", 2);  // bits past x = 9 are padding
  std::memcpy(image.GetGenericImagePtr(0, 1), "\x0F\x80", 2);
  EXPECT_EQ(FirstStripOf(SavedBytes(image, K_FILE_FORMAT_TIFF_BILEVEL)), (Bytes{0xA5, 0xC0, 0x0F, 0x80}));
  EXPECT_EQ(FirstStripOf(SavedBytes(image, K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS)),
            (Bytes{1, 0xA5, 0xC0, 1, 0x0F, 0x80}));
}

TEST_F(TiffWriterTest, TextsGoToTheDataAreaInTheirOrder) {
  KImageBW8 image(4, 4);
  image.SetTitle("ab");
  const Bytes titled = SavedBytes(image, K_FILE_FORMAT_TIFF_GRAY);
  EXPECT_EQ(U16(titled, 8), 13u);
  // Data area: 8 + 2 + 13 * 12 + 4 = 170, then the two resolutions, then the title.
  const KTiffEntryView title = EntryOf(titled, 269);
  EXPECT_EQ((Fields{title.type, title.count, title.value}), (Fields{2, 3, 186}));
  EXPECT_STREQ(reinterpret_cast<const char*>(&titled[186]), "ab");

  image.SetComment("A comment");
  image.SetDate("2024:01:02 03:04:05");
  image.SetAuthor("Ann");
  const Bytes all = SavedBytes(image, K_FILE_FORMAT_TIFF_GRAY);
  const std::vector<KTiffEntryView> entries = DirectoryOf(all);
  ASSERT_EQ(entries.size(), 16u);
  for (size_t i = 1; i < entries.size(); ++i) EXPECT_LT(entries[i - 1].tag, entries[i].tag);
  // Title, author, date, comment, one right after the other, after the resolutions.
  std::uint32_t next = 8 + 2 + 16 * 12 + 4 + 16;
  for (std::uint32_t tag : {269u, 315u, 306u, 270u}) {
    EXPECT_EQ(EntryOf(all, tag).value, next) << "tag " << tag;
    next += EntryOf(all, tag).count;
  }
  EXPECT_EQ(EntryOf(all, 273).value, next);  // the single strip follows the texts
  EXPECT_STREQ(reinterpret_cast<const char*>(&all[EntryOf(all, 270).value]), "A comment");
}

TEST_F(TiffWriterTest, ResolutionBecomesRationalsInInchOrCentimetre) {
  const struct {
    KMeasurementUnit* unit;
    float resolution;
    std::uint32_t unitCode, numerator, denominator;
  } cases[] = {
      {&KUnitNone, 1.0f, 1, 2147483648u, 2147483648u},
      {&KUnit_inch, 72.0f, 2, 2415919104u, 33554432u},
      {&KUnit_cm, 50.0f, 3, 3355443200u, 67108864u},
      {&KUnit_mm, 10.0f, 3, 0, 0},  // about 100 per centimetre, checked below
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.unit->GetName());
    KImageBW8 image(2, 2);
    image.SetResolution(c.resolution, c.resolution, c.unit);
    const Bytes file = SavedBytes(image, K_FILE_FORMAT_TIFF_GRAY);
    EXPECT_EQ(EntryOf(file, 296).value, c.unitCode);
    for (std::uint32_t tag : {282u, 283u}) {
      const std::uint32_t at = EntryOf(file, tag).value;
      if (c.numerator != 0)
        EXPECT_EQ((Fields{U32(file, at), U32(file, at + 4)}), (Fields{c.numerator, c.denominator}));
      else
        EXPECT_NEAR(static_cast<double>(U32(file, at)) / U32(file, at + 4), 100.0, 1e-3);
    }
  }
}

// The red/blue exchange is made in a copy: the source is unchanged after a save, and after a failed one.
TEST_F(TiffWriterTest, ColourRowsAreWrittenAsRgbWithoutChangingTheSource) {
  KImageC24 image(2, 1);
  std::memcpy(image.GetImagePtr(0, 0), "\1\2\3\4\5\6", 6);
  const Bytes file = SavedBytes(image, K_FILE_FORMAT_TIFF_COLOR);
  const KTiffEntryView bits = EntryOf(file, 258);
  EXPECT_EQ((Fields{bits.count, bits.value}), (Fields{3, 8 + 2 + 12 * 12 + 4}));  // first block of the data area
  EXPECT_EQ((Fields{U16(file, bits.value), U16(file, bits.value + 2), U16(file, bits.value + 4)}), (Fields{8, 8, 8}));
  EXPECT_EQ((Fields{EntryOf(file, 262).value, EntryOf(file, 277).value}), (Fields{2, 3}));
  EXPECT_EQ(Bytes(file.begin() + EntryOf(file, 273).value, file.end()), (Bytes{3, 2, 1, 6, 5, 4}));
  EXPECT_EQ(std::memcmp(image.GetImagePtr(0, 0), "\1\2\3\4\5\6", 6), 0);

  KImageC24 large(100, 100);
  FillPattern(large);
  const Bytes before(Row(large, 0), Row(large, 0) + 300);
  KTraceCapture trace;
  EXPECT_EQ(KSaveImage(&large, "/dev/full", K_FILE_FORMAT_TIFF_COLOR), K_ERROR_FILE_WRITE);
  EXPECT_EQ(trace.Names(), std::vector<std::string>{"KROIC24::Save"});
  EXPECT_EQ(Bytes(Row(large, 0), Row(large, 0) + 300), before);
}

// Rows of every length, so that whole blocks of pixels and the pixels after them are both exercised.
TEST_F(TiffWriterTest, RedAndBlueAreExchangedInRowsOfAnyLength) {
  for (size_t pixels = 0; pixels <= 70; ++pixels) {
    Bytes in(3 * pixels), want(3 * pixels);
    for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<unsigned char>(i * 5 + 1);
    for (size_t i = 0; i < in.size(); ++i) want[i] = in[i - i % 3 + 2 - i % 3];
    Bytes out(3 * pixels + 1, 0xEE);  // one guard byte
    kvbase::internal::SwapRedBlue(in.data(), out.data(), pixels);
    EXPECT_EQ(Bytes(out.begin(), out.end() - 1), want) << pixels << " pixels";
    EXPECT_EQ(out.back(), 0xEE) << pixels << " pixels";
    kvbase::internal::SwapRedBlue(in.data(), in.data(), pixels);
    EXPECT_EQ(in, want) << pixels << " pixels, in place";
  }
}

TEST_F(TiffWriterTest, RowsOfAnRoiComeThroughTheRowPitch) {
  KImageBW8 image(10, 10);
  FillPattern(image);
  KROIBW8 roi(&image, 2, 1, 5, 3);
  const Bytes file = SavedBytes(roi, K_FILE_FORMAT_TIFF_GRAY);
  EXPECT_EQ((Fields{EntryOf(file, 256).value, EntryOf(file, 257).value}), (Fields{5, 3}));
  const std::uint32_t strip = EntryOf(file, 273).value;
  ASSERT_EQ(file.size(), strip + 15u);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(std::memcmp(&file[strip + 5 * y], roi.GetImagePtr(0, y), 5), 0);
}

TEST_F(TiffWriterTest, ImageTooLargeForThirtyTwoBitOffsetsIsRefusedBeforeAnyPixelIsRead) {
  unsigned char pixel = 0;
  KImageBW8 image;
  image.SetImagePtr(65536, 65537, &pixel, 0);  // claims 4 GiB + 64 KiB; only the size is ever looked at
  ASSERT_EQ(KGetError(), K_SUCCESS);
  KTempDir dir;
  KTraceCapture trace;
  EXPECT_EQ(KSaveImage(&image, dir.Path("huge.tif").c_str(), K_FILE_FORMAT_TIFF_GRAY), K_ERROR_UNSUPPORTED_TIFF_FORMAT);
}

}  // namespace
