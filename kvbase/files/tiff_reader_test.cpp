// The TIFF reader on files built field by field; files of every kind written by libtiff: tiff_interop_test.

#include <algorithm>
#include <functional>

#include "kvbase/testing/image_files_test_support.h"
#include "kvbase/testing/tiff_builder.h"
#include "kvbase/testing/trace_capture.h"

namespace {

using namespace kvbase::testing;
using Counts = std::vector<std::uint32_t>;

// A one-sample file of the given depth and compression, without strips.
KTiffBuilder GrayFile(bool big, std::uint32_t width, std::uint32_t height, std::uint32_t bits,
                      std::uint32_t compression = 1) {
  KTiffBuilder tiff(big);
  tiff.Long(256, {width}).Long(257, {height}).Short(258, {bits}).Short(259, {compression});
  tiff.Short(262, {1}).Short(277, {1});
  return tiff;
}

// A sound 4 x 2 8-bit file with one change.
Bytes Gray8With(const std::function<void(KTiffBuilder&)>& change) {
  KTiffBuilder tiff = GrayFile(false, 4, 2, 8);
  change(tiff.Strips({Bytes(8, 1)}));
  return tiff.Build();
}

Bytes Patched(Bytes bytes, size_t at, const Bytes& with) {
  std::copy(with.begin(), with.end(), bytes.begin() + at);
  return bytes;
}

class TiffReaderTest : public ::testing::Test {
 protected:
  std::string Write(const Bytes& bytes) {
    const std::string path = dir_.Path("in.tif");
    EXPECT_TRUE(KWriteFileBytes(path, bytes));
    return path;
  }

  KTempDir dir_;
};

// Every refusal, of files the target cannot take and of broken files, comes before the target is
// touched: the 1 x 1 image keeps its size, whatever size the file claims.
TEST_F(TiffReaderTest, FilesThatCannotBeLoadedLeaveTheTargetUntouched) {
  KTraceCapture quiet;
  const Bytes gray8 = Gray8With([](KTiffBuilder&) {});
  KTiffBuilder rgbFile(false);
  rgbFile.Long(256, {2}).Long(257, {1}).Short(258, {8, 8, 8}).Short(259, {1}).Short(262, {2}).Short(277, {3});
  const Bytes rgb = rgbFile.Strips({Bytes(6, 1)}).Build();
  // 1000 PackBits strips, all of them the same 200 bytes (12800 zeros) at the end of the file.
  KTiffBuilder shared = GrayFile(false, 12800, 1000, 8, 32773);
  shared.Long(279, Counts(1000, 200)).Long(273, Counts(1000, 0));
  shared.Long(273, Counts(1000, static_cast<std::uint32_t>(shared.Build().size())));
  Bytes runs;
  for (int i = 0; i < 100; ++i) runs.insert(runs.end(), {0x81, 0});
  constexpr K_ERRORS UNS = K_ERROR_UNSUPPORTED_TIFF_FORMAT, BAD = K_ERROR_BAD_FILE_FORMAT, READ = K_ERROR_FILE_READ;
  const KPixelKind &BW1 = K_PIXEL_KIND_BW1, &BW8 = K_PIXEL_KIND_BW8, &BW16 = K_PIXEL_KIND_BW16;
  const struct {
    const char* name;
    Bytes file;
    const KPixelKind& target;
    K_ERRORS expected;
  } cases[] = {
      {"white is zero", Gray8With([](KTiffBuilder& t) { t.Short(262, {0}); }), BW8, UNS},
      {"palette", Gray8With([](KTiffBuilder& t) { t.Short(262, {3}); }), BW8, UNS},
      {"no photometric", Gray8With([](KTiffBuilder& t) { t.Remove(262); }), BW8, UNS},
      {"LZW", Gray8With([](KTiffBuilder& t) { t.Short(259, {5}); }), BW8, UNS},
      {"planar", Gray8With([](KTiffBuilder& t) { t.Short(284, {2}); }), BW8, UNS},
      {"reduced resolution", Gray8With([](KTiffBuilder& t) { t.Long(254, {1}); }), BW8, UNS},
      // Samples that are not unsigned integers with the first pixel in the high bits would load as wrong pixels.
      {"bits in reversed order", GrayFile(false, 8, 2, 1).Short(266, {2}).Strips({{0x80, 0x01}}).Build(), BW1, UNS},
      {"8 bits in reversed order", Gray8With([](KTiffBuilder& t) { t.Short(266, {2}); }), BW8, UNS},
      {"signed samples", GrayFile(false, 2, 2, 16).Short(339, {2}).Strips({Bytes(8, 1)}).Build(), BW16, UNS},
      {"floating-point samples", GrayFile(false, 2, 2, 16).Short(339, {3}).Strips({Bytes(8, 1)}).Build(), BW16, UNS},
      {"no width", Gray8With([](KTiffBuilder& t) { t.Remove(256); }), BW8, BAD},
      {"no byte counts for two strips", GrayFile(false, 4, 2, 8).Strips({Bytes(4, 1), Bytes(4, 2)}, false).Build(), BW8,
       BAD},
      {"RGB into BW8", rgb, BW8, K_ERROR_GRAY_IMAGE_EXPECTED},
      {"RGB into BW16", rgb, BW16, UNS},
      {"RGB into C15", rgb, K_PIXEL_KIND_C15, UNS},
      {"gray into C24", gray8, K_PIXEL_KIND_C24, K_ERROR_COLOR_IMAGE_EXPECTED},
      {"8-bit into BW16", gray8, BW16, UNS},
      {"8-bit into BW1", gray8, BW1, UNS},
      {"16-bit into BW8", GrayFile(false, 2, 2, 16).Strips({Bytes(8, 1)}).Build(), BW8, UNS},
      {"1-bit into BW16", GrayFile(false, 8, 2, 1).Strips({Bytes(2, 1)}).Build(), BW16, UNS},
      {"strip past the end", Gray8With([](KTiffBuilder& t) { t.Raw(273, 4, 1, 100000); }), BW8, READ},
      {"strips cannot fill the image", GrayFile(false, 4, 3, 8).Strips({Bytes(8, 1)}).Build(), BW8, READ},
      {"huge image from a few bytes", GrayFile(false, 100000, 100000, 8).Strips({Bytes(64, 1)}).Build(), BW8, READ},
      {"huge PackBits image from a few bytes", GrayFile(false, 100000, 100000, 8, 32773).Strips({{0x81, 0}}).Build(),
       BW8, READ},
      {"huge strip count", Gray8With([](KTiffBuilder& t) { t.Raw(273, 4, 0x40000000, 8).Raw(279, 4, 0x40000000, 8); }),
       BW8, BAD},
      {"fewer byte counts than strips",
       GrayFile(false, 4, 2, 8).Strips({Bytes(4, 1), Bytes(4, 2)}).Long(279, {4}).Build(), BW8, BAD},
      {"PackBits strips sharing their bytes", shared.Tail(runs).Build(), BW8, READ},
      {"width beyond int", GrayFile(false, 0x80000000u, 1, 8).Strips({Bytes(8, 1)}).Build(), BW8, K_ERROR_ALLOCATION},
      {"directory count past the end", Patched(gray8, 8, {500 & 0xFF, 500 >> 8}), BW8, READ},
      {"directory past the end", Patched(gray8, 4, {0xF0, 0xFF, 0xFF, 0xFF}), BW8, READ},
      {"resolution past the end", Gray8With([](KTiffBuilder& t) { t.Raw(282, 5, 1, 0x7FFFFFF0u); }), BW8, READ},
  };
  for (const auto& c : cases) {
    const KLoaded loaded = LoadInto(c.target, Write(c.file));
    EXPECT_EQ(loaded.error, c.expected) << c.name;
    EXPECT_EQ(loaded.width, 1) << c.name;
  }
}

// Fill order 1 and unsigned (or untyped) samples, said outright, are what files have without the tags.
TEST_F(TiffReaderTest, UsualFillOrderAndSampleFormatLoad) {
  for (const auto& [tag, value] : {std::pair<std::uint16_t, std::uint32_t>{266, 1}, {339, 1}, {339, 4}}) {
    const std::string path = Write(Gray8With([&](KTiffBuilder& t) { t.Short(tag, {value}); }));
    KImageBW8 image;
    short format = -1;
    EXPECT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS) << tag << " = " << value;
    EXPECT_EQ(image.GetPixel(3, 1), 1);
  }
}

// Texts are read from their value offset, however short (this library has always stored even short
// texts in the data area); texts outside the file are skipped; a zero denominator means no resolution.
TEST_F(TiffReaderTest, TextsAndResolutionTheFileCannotDeliverAreSkipped) {
  KTiffBuilder tiff = GrayFile(false, 4, 2, 8);
  tiff.Ascii(270, "ab", /*inDataArea=*/true);
  tiff.Raw(269, 2, 1000, 0x10);       // text longer than the file
  tiff.Raw(315, 2, 50, 0xFFFFFF00u);  // text past the end
  tiff.Rational(282, 72, 0).Rational(283, 72, 0).Short(296, {2});
  KImageBW8 image(1, 1);
  image.SetResolution(300.0f, 300.0f, &KUnit_inch);
  short format = -1;
  ASSERT_EQ(KLoadImage(&image, Write(tiff.Strips({Bytes(8, 9)}).Build()).c_str(), format), K_SUCCESS);
  EXPECT_STREQ(image.GetComment(), "ab");
  EXPECT_EQ(image.GetTitle(), nullptr);
  EXPECT_EQ(image.GetAuthor(), nullptr);
  ExpectResolution(image, 1.0f, 1.0f, &KUnitNone);
  EXPECT_EQ(image.GetPixel(3, 1), 9);
}

// The TIFF format allows each tag once. A text tag met again is skipped: otherwise thousands of entries
// that all name the same long text read it thousands of times, and a file of a few MiB took minutes.
TEST_F(TiffReaderTest, ATextTagMetAgainIsSkipped) {
  KTiffBuilder tiff = GrayFile(false, 4, 2, 8);
  tiff.Ascii(269, "first text", true).Ascii(270, "second text", true);
  Bytes bytes = tiff.Strips({Bytes(8, 9)}).Build();
  const size_t entries = U16(bytes, 8);
  for (size_t at = 10; at < 10 + 12 * entries; at += 12) {
    if (U16(bytes, at) == 269) bytes[at] = 270 & 0xFF;  // now two ImageDescription entries
  }
  KImageBW8 image;
  short format = -1;
  ASSERT_EQ(KLoadImage(&image, Write(bytes).c_str(), format), K_SUCCESS);
  EXPECT_STREQ(image.GetComment(), "first text");
  EXPECT_EQ(image.GetTitle(), nullptr);
}

TEST_F(TiffReaderTest, StripValuesFromTheEntryOrSuppliedForOneStrip) {
  // One uncompressed strip without StripByteCounts holds the whole image, the second row included.
  const struct {
    std::uint32_t bits;
    Bytes strip;
    unsigned lastLittle, lastBig;
  } cases[] = {{8, Bytes(6, 0x11), 0x11, 0x11},
               {16, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 0x0C0B, 0x0B0C},
               {1, {0xFF, 0xFF}, 255, 255}};
  for (bool big : {false, true}) {
    for (const auto& c : cases) {
      const std::string path = Write(GrayFile(big, 3, 2, c.bits).Strips({c.strip}, false).Build());
      KImageBW16 wide;
      KImageBW8 narrow;
      short format = -1;
      ASSERT_EQ(c.bits == 16 ? KLoadImage(&wide, path.c_str(), format) : KLoadImage(&narrow, path.c_str(), format),
                K_SUCCESS)
          << c.bits << " " << big;
      EXPECT_EQ(c.bits == 16 ? wide.GetPixel(2, 1) : narrow.GetPixel(2, 1), big ? c.lastBig : c.lastLittle);
    }
    // Two SHORT offsets and counts sit in the entries' value fields; the second strip comes first.
    KTiffBuilder tiff = GrayFile(big, 2, 2, 8);
    tiff.Raw(273, 3, 2, 0).Raw(279, 3, 2, 2u << 16 | 2u);
    const auto at = static_cast<std::uint32_t>(tiff.Build().size());
    tiff.Raw(273, 3, 2, big ? ((at + 2) << 16 | at) : ((at + 2) | at << 16)).Tail({30, 40, 10, 20});
    KImageBW8 image;
    short format = -1;
    ASSERT_EQ(KLoadImage(&image, Write(tiff.Build()).c_str(), format), K_SUCCESS) << big;
    EXPECT_EQ(Bytes(Row(image, 0), Row(image, 0) + 2), (Bytes{10, 20}));
    EXPECT_EQ(Bytes(Row(image, 1), Row(image, 1) + 2), (Bytes{30, 40}));
  }
}

// PackBits runs across row ends and past the target: the ROI gets the bytes in order, nothing else changes.
TEST_F(TiffReaderTest, PackBitsNeverWritesOutsideTheTarget) {
  const struct {
    const char* name;
    std::uint32_t bits;
    Bytes strip;
    std::vector<unsigned> rows;
  } cases[] = {
      {"run past the end", 8, {0x81, 9}, std::vector<unsigned>(8, 9)},
      {"literal across a row, run past the end", 8, {5, 1, 2, 3, 4, 5, 6, 0xFE, 7}, {1, 2, 3, 4, 5, 6, 7, 7}},
      {"bits run past the end", 1, {0x81, 0xF0}, std::vector<unsigned>(8, 255)},
  };
  for (const auto& c : cases) {
    KImageBW8 image(8, 6);
    for (int y = 0; y < 6; ++y) std::memset(image.GetImagePtr(0, y), 0x77, 8);
    KROIBW8 roi(&image, 2, 2, 4, 2);
    short format = -1;
    const std::string path = Write(GrayFile(false, 4, 2, c.bits, 32773).Strips({c.strip}).Build());
    ASSERT_EQ(KLoadImage(&roi, path.c_str(), format), K_SUCCESS) << c.name;
    for (int i = 0; i < 48; ++i) {
      const int x = i % 8, y = i / 8;
      const bool inside = x >= 2 && x < 6 && y >= 2 && y < 4;
      EXPECT_EQ(image.GetPixel(x, y), inside ? c.rows[(y - 2) * 4 + (x - 2)] : 0x77) << c.name << " at " << i;
    }
  }
}

}  // namespace
