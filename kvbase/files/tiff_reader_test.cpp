#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "kvbase/files/image_files.h"
#include "kvbase/files/tiff_test_support.h"
#include "kvbase/image/image.h"
#include "kvbase/testing/trace_capture.h"

namespace {

using namespace kvbase::testing;

// A one-sample file of the given depth and compression, without strips.
KTiffBuilder GrayFile(bool big, std::uint32_t width, std::uint32_t height, std::uint32_t bits,
                      std::uint32_t compression = 1) {
  KTiffBuilder tiff(big);
  tiff.Long(256, {width}).Long(257, {height}).Short(258, {bits}).Short(259, {compression});
  tiff.Short(262, {1}).Short(277, {1});
  return tiff;
}

Bytes RgbFile(std::uint32_t width, std::uint32_t height, const Bytes& strip) {
  KTiffBuilder tiff(false);
  tiff.Long(256, {width}).Long(257, {height}).Short(258, {8, 8, 8}).Short(259, {1});
  return tiff.Short(262, {2}).Short(277, {3}).Strips({strip}).Build();
}

// A sound 4 x 2 8-bit file with one change.
Bytes Gray8With(const std::function<void(KTiffBuilder&)>& change) {
  KTiffBuilder tiff = GrayFile(false, 4, 2, 8);
  tiff.Strips({Bytes(8, 1)});
  change(tiff);
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

TEST_F(TiffReaderTest, BothByteOrdersGiveTheSamePixelsTextsAndResolution) {
  const std::uint32_t samples[6] = {0x0102, 0xA0B0, 0xFFFE, 0x1234, 0x0000, 0x8001};
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "MM" : "II");
    Bytes rows[2];
    for (int i = 0; i < 6; ++i) {
      const unsigned char hi = static_cast<unsigned char>(samples[i] >> 8), lo = static_cast<unsigned char>(samples[i]);
      rows[i / 3].insert(rows[i / 3].end(), {big ? hi : lo, big ? lo : hi});
    }
    KTiffBuilder tiff = GrayFile(big, 3, 2, 16);
    tiff.Rational(282, 100, 2).Rational(283, 150, 3).Short(296, {3});
    tiff.Ascii(269, "ab", /*inDataArea=*/true);  // how this library has always stored short texts
    tiff.Ascii(315, "Bo");                        // how the TIFF rules store them: in the value field
    tiff.Ascii(270, "A longer comment");
    tiff.Strips({rows[0], rows[1]});

    KImageBW16 image(1, 1);
    short format = -1;
    ASSERT_EQ(KLoadImage(&image, Write(tiff.Build()).c_str(), format), K_SUCCESS);
    EXPECT_EQ(format, K_FILE_FORMAT_TIFF_GRAY);
    ASSERT_EQ(image.GetWidth(), 3);
    ASSERT_EQ(image.GetHeight(), 2);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(image.GetPixel(i % 3, i / 3), samples[i]) << "sample " << i;
    EXPECT_STREQ(image.GetTitle(), "ab");
    EXPECT_STREQ(image.GetAuthor(), "Bo");
    EXPECT_STREQ(image.GetComment(), "A longer comment");
    ExpectResolution(image, 50.0f, 50.0f, &KUnit_cm);
  }
}

// Every refusal, of files the target cannot take and of broken files, comes before the target is
// touched: the 1 x 1 image keeps its size, whatever size the file claims.
TEST_F(TiffReaderTest, FilesThatCannotBeLoadedLeaveTheTargetUntouched) {
  KTraceCapture quiet;
  const Bytes gray8 = Gray8With([](KTiffBuilder&) {});
  const Bytes rgb = RgbFile(2, 1, Bytes(6, 1));
  // 1000 PackBits strips, all of them the same 200 bytes (12800 zeros) at the end of the file.
  KTiffBuilder shared = GrayFile(false, 12800, 1000, 8, 32773);
  shared.Long(279, std::vector<std::uint32_t>(1000, 200)).Long(273, std::vector<std::uint32_t>(1000, 0));
  const auto sharedAt = static_cast<std::uint32_t>(shared.Build().size());
  Bytes runs;
  for (int i = 0; i < 100; ++i) runs.insert(runs.end(), {0x81, 0});
  shared.Long(273, std::vector<std::uint32_t>(1000, sharedAt)).Tail(runs);

  const struct {
    const char* name;
    Bytes file;
    KKind target;
    K_ERRORS expected;
  } cases[] = {
      {"white is zero", Gray8With([](KTiffBuilder& t) { t.Short(262, {0}); }), KKind::kBW8,
       K_ERROR_UNSUPPORTED_TIFF_FORMAT},
      {"palette", Gray8With([](KTiffBuilder& t) { t.Short(262, {3}); }), KKind::kBW8, K_ERROR_UNSUPPORTED_TIFF_FORMAT},
      {"no photometric", Gray8With([](KTiffBuilder& t) { t.Remove(262); }), KKind::kBW8,
       K_ERROR_UNSUPPORTED_TIFF_FORMAT},
      {"LZW", Gray8With([](KTiffBuilder& t) { t.Short(259, {5}); }), KKind::kBW8, K_ERROR_UNSUPPORTED_TIFF_FORMAT},
      {"planar", Gray8With([](KTiffBuilder& t) { t.Short(284, {2}); }), KKind::kBW8, K_ERROR_UNSUPPORTED_TIFF_FORMAT},
      {"reduced resolution", Gray8With([](KTiffBuilder& t) { t.Long(254, {1}); }), KKind::kBW8,
       K_ERROR_UNSUPPORTED_TIFF_FORMAT},
      {"no width", Gray8With([](KTiffBuilder& t) { t.Remove(256); }), KKind::kBW8, K_ERROR_BAD_FILE_FORMAT},
      {"no byte counts for two strips", GrayFile(false, 4, 2, 8).Strips({Bytes(4, 1), Bytes(4, 2)}, false).Build(),
       KKind::kBW8, K_ERROR_BAD_FILE_FORMAT},
      {"RGB into BW8", rgb, KKind::kBW8, K_ERROR_GRAY_IMAGE_EXPECTED},
      {"RGB into BW16", rgb, KKind::kBW16, K_ERROR_UNSUPPORTED_TIFF_FORMAT},
      {"RGB into C15", rgb, KKind::kC15, K_ERROR_UNSUPPORTED_TIFF_FORMAT},
      {"gray into C24", gray8, KKind::kC24, K_ERROR_COLOR_IMAGE_EXPECTED},
      {"8-bit into BW16", gray8, KKind::kBW16, K_ERROR_UNSUPPORTED_TIFF_FORMAT},
      {"8-bit into BW1", gray8, KKind::kBW1, K_ERROR_UNSUPPORTED_TIFF_FORMAT},
      {"16-bit into BW8", GrayFile(false, 2, 2, 16).Strips({Bytes(8, 1)}).Build(), KKind::kBW8,
       K_ERROR_UNSUPPORTED_TIFF_FORMAT},
      {"1-bit into BW16", GrayFile(false, 8, 2, 1).Strips({Bytes(2, 1)}).Build(), KKind::kBW16,
       K_ERROR_UNSUPPORTED_TIFF_FORMAT},
      {"strip past the end", Gray8With([](KTiffBuilder& t) { t.Raw(273, 4, 1, 100000); }), KKind::kBW8,
       K_ERROR_FILE_READ},
      {"strips cannot fill the image", GrayFile(false, 4, 3, 8).Strips({Bytes(8, 1)}).Build(), KKind::kBW8,
       K_ERROR_FILE_READ},
      {"huge image from a few bytes", GrayFile(false, 100000, 100000, 8).Strips({Bytes(64, 1)}).Build(),
       KKind::kBW8, K_ERROR_FILE_READ},
      {"huge PackBits image from a few bytes", GrayFile(false, 100000, 100000, 8, 32773).Strips({{0x81, 0}}).Build(),
       KKind::kBW8, K_ERROR_FILE_READ},
      {"huge strip count", Gray8With([](KTiffBuilder& t) { t.Raw(273, 4, 0x40000000, 8).Raw(279, 4, 0x40000000, 8); }),
       KKind::kBW8, K_ERROR_BAD_FILE_FORMAT},
      {"fewer byte counts than strips",
       GrayFile(false, 4, 2, 8).Strips({Bytes(4, 1), Bytes(4, 2)}).Long(279, {4}).Build(), KKind::kBW8,
       K_ERROR_BAD_FILE_FORMAT},
      {"PackBits strips sharing their bytes", shared.Build(), KKind::kBW8, K_ERROR_FILE_READ},
      {"width beyond int", GrayFile(false, 0x80000000u, 1, 8).Strips({Bytes(8, 1)}).Build(), KKind::kBW8,
       K_ERROR_ALLOCATION},
      {"directory count past the end", Patched(gray8, 8, {500 & 0xFF, 500 >> 8}), KKind::kBW8, K_ERROR_FILE_READ},
      {"directory past the end", Patched(gray8, 4, {0xF0, 0xFF, 0xFF, 0xFF}), KKind::kBW8, K_ERROR_FILE_READ},
      {"resolution past the end", Gray8With([](KTiffBuilder& t) { t.Raw(282, 5, 1, 0x7FFFFFF0u); }), KKind::kBW8,
       K_ERROR_FILE_READ},
  };
  for (const auto& c : cases) {
    const KLoaded loaded = LoadInto(c.target, Write(c.file));
    EXPECT_EQ(loaded.error, c.expected) << c.name;
    EXPECT_EQ(loaded.width, 1) << c.name;
  }
}

TEST_F(TiffReaderTest, UnreadableTextsAreSkippedAndAZeroDenominatorMeansNoResolution) {
  KTiffBuilder tiff = GrayFile(false, 4, 2, 8);
  tiff.Raw(269, 2, 1000, 0x10);       // text longer than the file
  tiff.Raw(315, 2, 50, 0xFFFFFF00u);  // text past the end
  tiff.Rational(282, 72, 0).Rational(283, 72, 0).Short(296, {2});
  tiff.Strips({Bytes(8, 9)});
  KImageBW8 image(1, 1);
  image.SetResolution(300.0f, 300.0f, &KUnit_inch);
  short format = -1;
  ASSERT_EQ(KLoadImage(&image, Write(tiff.Build()).c_str(), format), K_SUCCESS);
  EXPECT_EQ(image.GetTitle(), nullptr);
  EXPECT_EQ(image.GetAuthor(), nullptr);
  ExpectResolution(image, 1.0f, 1.0f, &KUnitNone);
  EXPECT_EQ(image.GetPixel(3, 1), 9);
}

TEST_F(TiffReaderTest, StripValuesFromTheEntryOrSuppliedForOneStrip) {
  // One uncompressed strip without StripByteCounts holds the whole image, the second row included.
  const struct {
    std::uint32_t bits;
    Bytes strip;
  } cases[] = {{8, Bytes(6, 0x11)}, {16, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}, {1, {0xFF, 0xFF}}};
  for (bool big : {false, true}) {
    for (const auto& c : cases) {
      const std::string path = Write(GrayFile(big, 3, 2, c.bits).Strips({c.strip}, false).Build());
      short format = -1;
      if (c.bits == 16) {
        KImageBW16 image;
        ASSERT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS) << big;
        EXPECT_EQ(image.GetPixel(2, 1), big ? 0x0B0C : 0x0C0B);
      } else {
        KImageBW8 image;
        ASSERT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS) << c.bits << " " << big;
        EXPECT_EQ(image.GetPixel(2, 1), c.bits == 1 ? 255 : 0x11);
      }
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

TEST_F(TiffReaderTest, BilevelFilesExpandIntoGrayAndStayPackedInBilevelImages) {
  // Width 10: two bytes a row, the last six bits of each row's second byte are dropped.
  const Bytes rows = {0xA5, 0xFF, 0x0F, 0x80};
  const Bytes packbits = {3, 0xA5, 0xFF, 0x0F, 0x80};  // one literal across the row end
  const unsigned expected[2][10] = {{1, 0, 1, 0, 0, 1, 0, 1, 1, 1}, {0, 0, 0, 0, 1, 1, 1, 1, 1, 0}};
  for (std::uint32_t compression : {1u, 32773u}) {
    const std::string path =
        Write(GrayFile(true, 10, 2, 1, compression).Strips({compression == 1 ? rows : packbits}).Build());
    KImageBW8 gray;
    KImageBW1 bits;
    short grayFormat = -1, bitsFormat = -1;
    ASSERT_EQ(KLoadImage(&gray, path.c_str(), grayFormat), K_SUCCESS);
    ASSERT_EQ(KLoadImage(&bits, path.c_str(), bitsFormat), K_SUCCESS);
    const short code = compression == 1 ? K_FILE_FORMAT_TIFF_BILEVEL : K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS;
    EXPECT_EQ(grayFormat, code);
    EXPECT_EQ(bitsFormat, code);
    for (int i = 0; i < 20; ++i) {
      EXPECT_EQ(gray.GetPixel(i % 10, i / 10), expected[i / 10][i % 10] ? 255 : 0) << compression << " " << i;
      EXPECT_EQ(bits.GetPixel(i % 10, i / 10), static_cast<int>(expected[i / 10][i % 10])) << compression << " " << i;
    }
  }
}

// PackBits runs that cross row ends and the end of the target: the ROI's rows get the bytes in order,
// the pixels around it are never touched.
TEST_F(TiffReaderTest, PackBitsNeverWritesOutsideTheTarget) {
  const struct {
    const char* name;
    std::uint32_t bits;
    Bytes strip;
    std::vector<unsigned> rows;  // expected ROI pixels, row after row
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
    for (int y = 0; y < 6; ++y) {
      for (int x = 0; x < 8; ++x) {
        const bool inside = x >= 2 && x < 6 && y >= 2 && y < 4;
        const unsigned want = inside ? c.rows[(y - 2) * 4 + (x - 2)] : 0x77;
        EXPECT_EQ(image.GetPixel(x, y), want) << c.name << " at " << x << "," << y;
      }
    }
  }
}

}  // namespace
