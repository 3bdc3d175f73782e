// The TIFF writer's bytes; that libtiff reads every kind of file we write is checked in tiff_interop_test.

#include <libdeflate.h>

#include "kvbase/files/internal/tiff_lzw.h"
#include "kvbase/files/internal/tiff_packbits.h"
#include "kvbase/files/internal/tiff_rgb.h"
#include "kvbase/testing/image_files_test_support.h"
#include "kvbase/testing/trace_capture.h"

namespace {

using namespace kvbase::testing;
using Fields = std::vector<std::uint32_t>;

// One directory entry of a file this library wrote ("II", directory at 8).
struct Entry {
  std::uint32_t tag, type, count, value;
};

std::vector<Entry> DirectoryOf(const Bytes& file) {
  std::vector<Entry> entries;
  for (std::uint32_t i = 0, ifd = U32(file, 4); i < U16(file, ifd); ++i) {
    const std::size_t at = ifd + 2 + 12 * i;
    entries.push_back({U16(file, at), U16(file, at + 2), U32(file, at + 4), U32(file, at + 8)});
  }
  return entries;
}

Entry EntryOf(const Bytes& file, std::uint32_t tag) {
  for (const Entry& e : DirectoryOf(file))
    if (e.tag == tag) return e;
  return {0, 0, 0, 0};
}

// The bytes of the first strip, where StripOffsets and StripByteCounts of a one-strip file place it.
Bytes FirstStripOf(const Bytes& file) {
  const std::uint32_t at = EntryOf(file, 273).value, count = EntryOf(file, 279).value;
  return Bytes(file.begin() + at, file.begin() + at + count);
}

class TiffWriterTest : public ::testing::Test {
 protected:
  void TearDown() override {
    KSetTiffStripSize(8192);
    KSetTiffThreshold(128);
  }
};

// 12 entries end at 154; the data area starts at 158. By default 81 rows a strip, the strips' offsets and
// byte counts in the data area; with strip size 0 one strip, its offset and byte count in the entries.
TEST_F(TiffWriterTest, GrayImageInTwoStripsOrOneHasTheWorkedLayout) {
  KImageBW8 image(100, 100);
  FillPattern(image);
  constexpr std::uint32_t H = 2147483648u;  // 1.0 is written as H / H
  const struct {
    unsigned int stripSize;
    std::uint32_t pixelsAt;
    Fields entries, data;
  } cases[] = {
      {8192,
       190,
       {256, 4, 1, 100, 257, 4, 1, 100, 258, 3, 1, 8,   259, 3, 1, 1,   262, 3, 1, 1,   273, 4, 2, 158,
        277, 3, 1, 1,   278, 3, 1, 81,  279, 4, 2, 166, 282, 5, 1, 174, 283, 5, 1, 182, 296, 3, 1, 1},
       {0, 190, 190 + 8100, 8100, 1900, H, H, H, H}},
      {0,
       174,
       {256, 4, 1, 100, 257, 4, 1, 100, 258, 3, 1, 8,     259, 3, 1, 1,   262, 3, 1, 1,   273, 4, 1, 174,
        277, 3, 1, 1,   278, 3, 1, 100, 279, 4, 1, 10000, 282, 5, 1, 158, 283, 5, 1, 166, 296, 3, 1, 1},
       {0, H, H, H, H}},
  };
  for (const auto& c : cases) {
    KSetTiffStripSize(c.stripSize);
    const Bytes file = SavedBytes(image, K_FILE_FORMAT_TIFF_GRAY);
    ASSERT_EQ(file.size(), c.pixelsAt + 10000u);
    Fields header = {file[0], file[1], U16(file, 2), U32(file, 4)}, data;
    for (const Entry& e : DirectoryOf(file)) header.insert(header.end(), {e.tag, e.type, e.count, e.value});
    for (size_t at = 154; at < c.pixelsAt; at += 4) data.push_back(U32(file, at));
    EXPECT_EQ(Fields(header.begin(), header.begin() + 4), (Fields{'I', 'I', 42, 8}));
    EXPECT_EQ(Fields(header.begin() + 4, header.end()), c.entries);
    EXPECT_EQ(data, c.data);
    for (int y = 0; y < 100; ++y)
      ASSERT_EQ(std::memcmp(&file[c.pixelsAt + 100 * y], image.GetImagePtr(0, y), 100), 0) << "row " << y;
  }
}

TEST_F(TiffWriterTest, RowsPerStripBeyondSixteenBitsIsWrittenAsLong) {
  KImageBW8 tall(1, 70000);
  KSetTiffStripSize(0);
  const Entry whole = EntryOf(SavedBytes(tall, K_FILE_FORMAT_TIFF_GRAY), 278);
  EXPECT_EQ((Fields{whole.type, whole.value}), (Fields{4, 70000}));
  KSetTiffStripSize(8192);
  const Bytes file = SavedBytes(tall, K_FILE_FORMAT_TIFF_GRAY);  // 8 strips of 8192 rows and one of 4464
  EXPECT_EQ((Fields{EntryOf(file, 278).type, EntryOf(file, 278).value, EntryOf(file, 273).count,
                    U32(file, EntryOf(file, 279).value + 32)}),
            (Fields{3, 8192, 9, 4464}));
}

TEST_F(TiffWriterTest, PackBitsEncodesRowByRowByItsRunRule) {
  Bytes literal130(130), literal130Encoded = {127};
  for (int i = 0; i < 130; ++i) literal130[i] = static_cast<unsigned char>(i);
  literal130Encoded.insert(literal130Encoded.end(), literal130.begin(), literal130.begin() + 128);
  literal130Encoded.insert(literal130Encoded.end(), {1, 128, 129});
  const struct {
    const char* name;
    Bytes row, encoded;
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
  // In a file, rows are encoded one by one: the run of 3s ends with its row.
  KImageBW8 image(6, 2);
  std::memcpy(image.GetImagePtr(0, 0), "\0\0\0\0\5\7", 6);
  std::memcpy(image.GetImagePtr(0, 1), "\1\1\2\3\3\3", 6);
  EXPECT_EQ(FirstStripOf(SavedBytes(image, K_FILE_FORMAT_TIFF_GRAY_PACKBITS)),
            (Bytes{253, 0, 1, 5, 7, 2, 1, 1, 2, 254, 3}));
}

TEST_F(TiffWriterTest, BilevelFromGrayByTheLowEightBitsOfTheThresholdOrFromTheBits) {
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
    EXPECT_EQ(FirstStripOf(SavedBytes(image, c.format)), c.strip) << c.threshold << " " << c.format;
  }
  // A bilevel image is written from its bits, the padding past x = 9 cleared.
  KImageBW1 bits(10, 2);
  std::memcpy(bits.GetGenericImagePtr(0, 0), "\xA5\xFF", 2);
  std::memcpy(bits.GetGenericImagePtr(0, 1), "\x0F\x80", 2);
  EXPECT_EQ(FirstStripOf(SavedBytes(bits, K_FILE_FORMAT_TIFF_BILEVEL)), (Bytes{0xA5, 0xC0, 0x0F, 0x80}));
  EXPECT_EQ(FirstStripOf(SavedBytes(bits, K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS)), (Bytes{1, 0xA5, 0xC0, 1, 0x0F, 0x80}));
}

// Title, author, date and comment follow the two resolutions in the data area, one right after the
// other, and the single strip follows them; a two-character title takes 3 bytes there.
TEST_F(TiffWriterTest, TextsGoToTheDataAreaInTheirOrder) {
  KImageBW8 image(4, 4);
  image.SetTitle("ab");
  image.SetComment("A comment");
  image.SetDate("2024:01:02 03:04:05");
  image.SetAuthor("Ann");
  const Bytes file = SavedBytes(image, K_FILE_FORMAT_TIFF_GRAY);
  const std::vector<Entry> entries = DirectoryOf(file);
  ASSERT_EQ(entries.size(), 16u);
  for (size_t i = 1; i < entries.size(); ++i) EXPECT_LT(entries[i - 1].tag, entries[i].tag);
  const Entry title = EntryOf(file, 269);
  EXPECT_EQ((Fields{title.type, title.count}), (Fields{2, 3}));
  std::uint32_t next = 8 + 2 + 16 * 12 + 4 + 16;
  for (std::uint32_t tag : {269u, 315u, 306u, 270u}) {
    EXPECT_EQ(EntryOf(file, tag).value, next) << "tag " << tag;
    next += EntryOf(file, tag).count;
  }
  EXPECT_EQ(EntryOf(file, 273).value, next);
  EXPECT_STREQ(reinterpret_cast<const char*>(&file[title.value]), "ab");
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
    for (std::uint32_t at : {EntryOf(file, 282).value, EntryOf(file, 283).value}) {
      if (c.numerator != 0)
        EXPECT_EQ((Fields{U32(file, at), U32(file, at + 4)}), (Fields{c.numerator, c.denominator}));
      else
        EXPECT_NEAR(static_cast<double>(U32(file, at)) / U32(file, at + 4), 100.0, 1e-3);
    }
  }
}

// Colour rows go out as red, green, blue through a copy: the source stays unchanged, even on failure.
TEST_F(TiffWriterTest, ColourSourceIsUnchangedBySavingEvenWhenTheSaveFails) {
  KImageC24 image(100, 100);
  FillPattern(image);
  const Bytes before(Row(image, 0), Row(image, 0) + 300);
  SavedBytes(image, K_FILE_FORMAT_TIFF_COLOR);
  EXPECT_EQ(Bytes(Row(image, 0), Row(image, 0) + 300), before);
  KTraceCapture trace;
  EXPECT_EQ(KSaveImage(&image, "/dev/full", K_FILE_FORMAT_TIFF_COLOR), K_ERROR_FILE_WRITE);
  EXPECT_EQ(trace.Names(), std::vector<std::string>{"KROIC24::Save"});
  EXPECT_EQ(Bytes(Row(image, 0), Row(image, 0) + 300), before);
}

// Rows of every length, so that whole blocks of pixels and the pixels after them are both exercised.
TEST_F(TiffWriterTest, RedAndBlueAreExchangedInRowsOfAnyLength) {
  for (size_t pixels = 0; pixels <= 70; ++pixels) {
    Bytes in(3 * pixels), want(3 * pixels), out(3 * pixels + 1, 0xEE);  // one guard byte
    for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<unsigned char>(i * 5 + 1);
    for (size_t i = 0; i < in.size(); ++i) want[i] = in[i - i % 3 + 2 - i % 3];
    kvbase::internal::SwapRedBlue(in.data(), out.data(), pixels);
    EXPECT_EQ(Bytes(out.begin(), out.end() - 1), want) << pixels << " pixels";
    EXPECT_EQ(out.back(), 0xEE) << pixels << " pixels";
    kvbase::internal::SwapRedBlue(in.data(), in.data(), pixels);
    EXPECT_EQ(in, want) << pixels << " pixels, in place";
  }
}

TEST_F(TiffWriterTest, ImageTooLargeForThirtyTwoBitOffsetsIsRefusedBeforeAnyPixelIsRead) {
  unsigned char pixel = 0;
  KImageBW8 image;
  image.SetImagePtr(65536, 65537, &pixel, 0);  // claims 4 GiB + 64 KiB; only the size is ever looked at
  KTempDir dir;
  KTraceCapture trace;
  EXPECT_EQ(KSaveImage(&image, dir.Path("huge.tif").c_str(), K_FILE_FORMAT_TIFF_GRAY), K_ERROR_UNSUPPORTED_TIFF_FORMAT);
}

// Deflate and LZW files have the directory of uncompressed ones plus Predictor 2 as the last entry,
// and each strip is its rows, differenced (colour in red, green, blue order), coded as one stream:
// Deflate as libdeflate's level 7, which is what libtiff writes at its default level 6.
TEST_F(TiffWriterTest, CompressedStripsAreTheirDifferencedRowsInOneStream) {
  KImageBW8 gray(100, 100);
  KImageBW16 deep(100, 60);
  KImageC24 colour(50, 100);
  FillPattern(gray);
  FillPattern(deep);
  FillPattern(colour);
  // The rows of the first of two strips (81, 40 and 54 rows), differenced by hand.
  const auto differenced = [](auto& image, int rows, int stride, int size) {
    Bytes out;
    for (int y = 0; y < rows; ++y) {
      Bytes row(Row(image, y), Row(image, y) + RowBytes(image));
      if (stride == 3)
        for (size_t i = 0; i < row.size(); i += 3) std::swap(row[i], row[i + 2]);
      Bytes diff = row;
      for (size_t i = stride; i < row.size(); i += size) {
        const unsigned now = size == 2 ? U16(row, i) : row[i], before = size == 2 ? U16(row, i - 2) : row[i - stride];
        diff[i] = static_cast<unsigned char>(now - before);
        if (size == 2) diff[i + 1] = static_cast<unsigned char>((now - before) >> 8);
        if (stride == 3) {
          diff[i + 1] = static_cast<unsigned char>(row[i + 1] - row[i - 2]);
          diff[i + 2] = static_cast<unsigned char>(row[i + 2] - row[i - 1]);
        }
      }
      out.insert(out.end(), diff.begin(), diff.end());
    }
    return out;
  };
  const struct {
    const char* name;
    Bytes file;
    std::uint32_t compression, entries;
    Bytes rows;
  } cases[] = {
      {"gray Deflate", SavedBytes(gray, K_FILE_FORMAT_TIFF_GRAY_DEFLATE), 8, 13, differenced(gray, 81, 1, 1)},
      {"gray LZW", SavedBytes(gray, K_FILE_FORMAT_TIFF_GRAY_LZW), 5, 13, differenced(gray, 81, 1, 1)},
      {"16-bit Deflate", SavedBytes(deep, K_FILE_FORMAT_TIFF_GRAY_DEFLATE), 8, 13, differenced(deep, 40, 2, 2)},
      {"colour LZW", SavedBytes(colour, K_FILE_FORMAT_TIFF_COLOR_LZW), 5, 13, differenced(colour, 54, 3, 3)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<Entry> directory = DirectoryOf(c.file);
    ASSERT_EQ(directory.size(), c.entries);
    EXPECT_EQ((Fields{directory.back().tag, directory.back().type, directory.back().count, directory.back().value}),
              (Fields{317, 3, 1, 2}));
    EXPECT_EQ(EntryOf(c.file, 259).value, c.compression);
    const Entry offsets = EntryOf(c.file, 273), counts = EntryOf(c.file, 279);
    const std::uint32_t first = U32(c.file, offsets.value), length = U32(c.file, counts.value);
    const Bytes strip(c.file.begin() + first, c.file.begin() + first + length);
    if (c.compression == 8) {
      libdeflate_compressor* level7 = libdeflate_alloc_compressor(7);
      Bytes expected(libdeflate_zlib_compress_bound(level7, c.rows.size()));
      expected.resize(libdeflate_zlib_compress(level7, c.rows.data(), c.rows.size(), expected.data(), expected.size()));
      libdeflate_free_compressor(level7);
      EXPECT_EQ(strip, expected);
    } else {
      Bytes decoded(c.rows.size());
      kvbase::internal::KLzwDecoder decoder;
      decoded.resize(decoder.Decode(strip.data(), strip.size(), decoded.data(), decoded.size()).length);
      EXPECT_EQ(decoded, c.rows);
    }
  }
}

}  // namespace
