#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "kvbase/files/image_files.h"
#include "kvbase/files/tiff_test_support.h"
#include "kvbase/image/image.h"
#include "kvbase/testing/temp_dir.h"
#include "kvbase/testing/trace_capture.h"

namespace {

using kvbase::testing::KBytes;
using kvbase::testing::KTiffBuilder;

// A one-sample file of the given depth and compression, without strips.
KTiffBuilder GrayFile(bool big, std::uint32_t width, std::uint32_t height, std::uint32_t bits,
                      std::uint32_t compression = 1) {
  KTiffBuilder tiff(big);
  tiff.Long(256, {width}).Long(257, {height}).Short(258, {bits}).Short(259, {compression});
  tiff.Short(262, {1}).Short(277, {1});
  return tiff;
}

KTiffBuilder RgbFile(std::uint32_t width, std::uint32_t height) {
  KTiffBuilder tiff(false);
  tiff.Long(256, {width}).Long(257, {height}).Short(258, {8, 8, 8}).Short(259, {1});
  tiff.Short(262, {2}).Short(277, {3});
  return tiff;
}

class TiffReaderTest : public ::testing::Test {
 protected:
  std::string Write(const KBytes& bytes, const char* name = "in.tif") {
    const std::string path = dir_.Path(name);
    EXPECT_TRUE(KWriteFileBytes(path, bytes));
    return path;
  }

  KTempDir dir_;
};

TEST_F(TiffReaderTest, BothByteOrdersGiveTheSamePixelsTextsAndResolution) {
  const std::uint32_t samples[6] = {0x0102, 0xA0B0, 0xFFFE, 0x1234, 0x0000, 0x8001};
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "MM" : "II");
    KBytes rows[2];
    for (int i = 0; i < 6; ++i) {
      const unsigned char hi = static_cast<unsigned char>(samples[i] >> 8), lo = static_cast<unsigned char>(samples[i]);
      rows[i / 3].push_back(big ? hi : lo);
      rows[i / 3].push_back(big ? lo : hi);
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
    float x = 0, y = 0;
    KMeasurementUnit* unit = nullptr;
    image.GetResolution(x, y, unit);
    EXPECT_FLOAT_EQ(x, 50.0f);
    EXPECT_FLOAT_EQ(y, 50.0f);
    EXPECT_EQ(unit, &KUnit_cm);
  }
}

enum class Target { kBW1, kBW8, kBW16, kC15, kC24 };

// Loads into a 1 x 1 image of the kind; `width` receives the image's width afterwards.
short LoadInto(Target target, const std::string& path, int& width, short& format) {
  switch (target) {
    case Target::kBW1: { KImageBW1 i(1, 1); const short r = KLoadImage(&i, path.c_str(), format); width = i.GetWidth(); return r; }
    case Target::kBW8: { KImageBW8 i(1, 1); const short r = KLoadImage(&i, path.c_str(), format); width = i.GetWidth(); return r; }
    case Target::kBW16: { KImageBW16 i(1, 1); const short r = KLoadImage(&i, path.c_str(), format); width = i.GetWidth(); return r; }
    case Target::kC15: { KImageC15 i(1, 1); const short r = KLoadImage(&i, path.c_str(), format); width = i.GetWidth(); return r; }
    case Target::kC24: { KImageC24 i(1, 1); const short r = KLoadImage(&i, path.c_str(), format); width = i.GetWidth(); return r; }
  }
  return -1;
}

struct RefusalCase {
  const char* name;
  std::function<KBytes()> file;
  Target target;
  K_ERRORS expected;
};

KBytes Gray8With(const std::function<void(KTiffBuilder&)>& change) {
  KTiffBuilder tiff = GrayFile(false, 4, 2, 8);
  tiff.Strips({KBytes(8, 1)});
  change(tiff);
  return tiff.Build();
}

// Every refusal comes before the target is touched: the 1 x 1 image keeps its size.
TEST_F(TiffReaderTest, FilesTheTargetCannotTakeAreRefusedBeforeItIsResized) {
  KTraceCapture quiet;
  const RefusalCase cases[] = {
      {"white is zero", [] { return Gray8With([](KTiffBuilder& t) { t.Short(262, {0}); }); }, Target::kBW8,
       K_ERROR_UNSUPPORTED_TIFF_FORMAT},
      {"palette", [] { return Gray8With([](KTiffBuilder& t) { t.Short(262, {3}); }); }, Target::kBW8,
       K_ERROR_UNSUPPORTED_TIFF_FORMAT},
      {"no photometric", [] { return Gray8With([](KTiffBuilder& t) { t.Remove(262); }); }, Target::kBW8,
       K_ERROR_UNSUPPORTED_TIFF_FORMAT},
      {"LZW", [] { return Gray8With([](KTiffBuilder& t) { t.Short(259, {5}); }); }, Target::kBW8,
       K_ERROR_UNSUPPORTED_TIFF_FORMAT},
      {"planar", [] { return Gray8With([](KTiffBuilder& t) { t.Short(284, {2}); }); }, Target::kBW8,
       K_ERROR_UNSUPPORTED_TIFF_FORMAT},
      {"reduced resolution", [] { return Gray8With([](KTiffBuilder& t) { t.Long(254, {1}); }); }, Target::kBW8,
       K_ERROR_UNSUPPORTED_TIFF_FORMAT},
      {"no width", [] { return Gray8With([](KTiffBuilder& t) { t.Remove(256); }); }, Target::kBW8,
       K_ERROR_BAD_FILE_FORMAT},
      {"no byte counts for two strips",
       [] { return GrayFile(false, 4, 2, 8).Strips({KBytes(4, 1), KBytes(4, 2)}, false).Build(); }, Target::kBW8,
       K_ERROR_BAD_FILE_FORMAT},
      {"RGB into BW8", [] { return RgbFile(2, 1).Strips({KBytes(6, 1)}).Build(); }, Target::kBW8,
       K_ERROR_GRAY_IMAGE_EXPECTED},
      {"RGB into BW16", [] { return RgbFile(2, 1).Strips({KBytes(6, 1)}).Build(); }, Target::kBW16,
       K_ERROR_UNSUPPORTED_TIFF_FORMAT},
      {"RGB into C15", [] { return RgbFile(2, 1).Strips({KBytes(6, 1)}).Build(); }, Target::kC15,
       K_ERROR_UNSUPPORTED_TIFF_FORMAT},
      {"gray into C24", [] { return Gray8With([](KTiffBuilder&) {}); }, Target::kC24, K_ERROR_COLOR_IMAGE_EXPECTED},
      {"8-bit into BW16", [] { return Gray8With([](KTiffBuilder&) {}); }, Target::kBW16,
       K_ERROR_UNSUPPORTED_TIFF_FORMAT},
      {"8-bit into BW1", [] { return Gray8With([](KTiffBuilder&) {}); }, Target::kBW1,
       K_ERROR_UNSUPPORTED_TIFF_FORMAT},
      {"16-bit into BW8", [] { return GrayFile(false, 2, 2, 16).Strips({KBytes(8, 1)}).Build(); }, Target::kBW8,
       K_ERROR_UNSUPPORTED_TIFF_FORMAT},
      {"1-bit into BW16", [] { return GrayFile(false, 8, 2, 1).Strips({KBytes(2, 1)}).Build(); }, Target::kBW16,
       K_ERROR_UNSUPPORTED_TIFF_FORMAT},
  };
  for (const RefusalCase& c : cases) {
    const std::string path = Write(c.file());
    int width = 0;
    short format = 0;
    EXPECT_EQ(LoadInto(c.target, path, width, format), c.expected) << c.name;
    EXPECT_EQ(width, 1) << c.name;
  }
  quiet.Clear();
  int width = 0;
  short format = 0;
  LoadInto(Target::kBW8, Write(RgbFile(2, 1).Strips({KBytes(6, 1)}).Build()), width, format);
  EXPECT_EQ(quiet.Names(), std::vector<std::string>{"KROIBW8::Load"});
}

// Broken files end with an error code, and none of them sizes the image from what it claims.
TEST_F(TiffReaderTest, BrokenFilesAreRefusedWithoutResizingTheTarget) {
  KTraceCapture quiet;
  auto withIfdCount = [](KBytes bytes, unsigned count) {
    bytes[8] = static_cast<unsigned char>(count);
    bytes[9] = static_cast<unsigned char>(count >> 8);
    return bytes;
  };
  auto withIfdOffset = [](KBytes bytes, std::uint32_t offset) {
    for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<unsigned char>(offset >> (8 * i));
    return bytes;
  };
  const RefusalCase cases[] = {
      {"strip past the end", [] { return Gray8With([](KTiffBuilder& t) { t.Raw(273, 4, 1, 100000); }); },
       Target::kBW8, K_ERROR_FILE_READ},
      {"strips cannot fill the image", [] { return GrayFile(false, 4, 3, 8).Strips({KBytes(8, 1)}).Build(); },
       Target::kBW8, K_ERROR_FILE_READ},
      {"huge image from a few bytes",
       [] { return GrayFile(false, 100000, 100000, 8).Strips({KBytes(64, 1)}).Build(); }, Target::kBW8,
       K_ERROR_FILE_READ},
      {"huge PackBits image from a few bytes",
       [] { return GrayFile(false, 100000, 100000, 8, 32773).Strips({{0x81, 0}}).Build(); }, Target::kBW8,
       K_ERROR_FILE_READ},
      {"huge strip count", [] { return Gray8With([](KTiffBuilder& t) { t.Raw(273, 4, 0x40000000, 8); t.Raw(279, 4, 0x40000000, 8); }); },
       Target::kBW8, K_ERROR_BAD_FILE_FORMAT},
      {"fewer byte counts than strips",
       [] { return GrayFile(false, 4, 2, 8).Strips({KBytes(4, 1), KBytes(4, 2)}).Long(279, {4}).Build(); }, Target::kBW8,
       K_ERROR_BAD_FILE_FORMAT},
      {"PackBits strips sharing their bytes",
       [] {
         KBytes runs;
         for (int i = 0; i < 100; ++i) runs.insert(runs.end(), {0x81, 0});  // 12800 zeros
         // 1000 strips, all of them the same 200 bytes at the end of the file.
         KTiffBuilder tiff = GrayFile(false, 12800, 1000, 8, 32773);
         tiff.Long(279, std::vector<std::uint32_t>(1000, 200)).Long(273, std::vector<std::uint32_t>(1000, 0));
         const auto at = static_cast<std::uint32_t>(tiff.Build().size());
         return tiff.Long(273, std::vector<std::uint32_t>(1000, at)).Tail(runs).Build();
       },
       Target::kBW8, K_ERROR_FILE_READ},
      {"width beyond int", [] { return GrayFile(false, 0x80000000u, 1, 8).Strips({KBytes(8, 1)}).Build(); },
       Target::kBW8, K_ERROR_ALLOCATION},
      {"directory count past the end", [&] { return withIfdCount(Gray8With([](KTiffBuilder&) {}), 500); },
       Target::kBW8, K_ERROR_FILE_READ},
      {"directory past the end", [&] { return withIfdOffset(Gray8With([](KTiffBuilder&) {}), 0xFFFFFFF0u); },
       Target::kBW8, K_ERROR_FILE_READ},
      {"resolution past the end", [] { return Gray8With([](KTiffBuilder& t) { t.Raw(282, 5, 1, 0x7FFFFFF0u); }); },
       Target::kBW8, K_ERROR_FILE_READ},
  };
  for (const RefusalCase& c : cases) {
    const std::string path = Write(c.file());
    int width = 0;
    short format = 0;
    EXPECT_EQ(LoadInto(c.target, path, width, format), c.expected) << c.name;
    EXPECT_EQ(width, 1) << c.name;
  }
}

TEST_F(TiffReaderTest, UnreadableTextsAreSkippedAndAZeroDenominatorMeansNoResolution) {
  KTiffBuilder tiff = GrayFile(false, 4, 2, 8);
  tiff.Raw(269, 2, 1000, 0x10);        // text longer than the file
  tiff.Raw(315, 2, 50, 0xFFFFFF00u);   // text past the end
  tiff.Rational(282, 72, 0).Rational(283, 72, 0).Short(296, {2});
  tiff.Strips({KBytes(8, 9)});
  KImageBW8 image(1, 1);
  image.SetResolution(300.0f, 300.0f, &KUnit_inch);
  short format = -1;
  ASSERT_EQ(KLoadImage(&image, Write(tiff.Build()).c_str(), format), K_SUCCESS);
  EXPECT_EQ(image.GetTitle(), nullptr);
  EXPECT_EQ(image.GetAuthor(), nullptr);
  float x = 0, y = 0;
  KMeasurementUnit* unit = nullptr;
  image.GetResolution(x, y, unit);
  EXPECT_FLOAT_EQ(x, 1.0f);
  EXPECT_FLOAT_EQ(y, 1.0f);
  EXPECT_EQ(unit, &KUnitNone);
  EXPECT_EQ(image.GetPixel(3, 1), 9);
}

TEST_F(TiffReaderTest, OneStripWithoutByteCountHoldsTheWholeImage) {
  struct Case {
    std::uint32_t bits;
    KBytes strip;
  };
  const Case cases[] = {{8, KBytes(6, 0x11)}, {16, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}, {1, {0xFF, 0xFF}}};
  for (bool big : {false, true}) {
    for (const Case& c : cases) {
      const std::string path = Write(GrayFile(big, 3, 2, c.bits).Strips({c.strip}, false).Build());
      short format = -1;
      if (c.bits == 16) {
        KImageBW16 image;
        ASSERT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS) << big;
        EXPECT_EQ(image.GetPixel(2, 1), big ? 0x0B0C : 0x0C0B);  // the second row is read too
      } else {
        KImageBW8 image;
        ASSERT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS) << c.bits << " " << big;
        EXPECT_EQ(image.GetPixel(2, 1), c.bits == 1 ? 255 : 0x11);
      }
    }
  }
}

TEST_F(TiffReaderTest, TwoShortStripValuesAreReadFromTheEntry) {
  for (bool big : {false, true}) {
    KTiffBuilder tiff = GrayFile(big, 2, 2, 8);
    tiff.Raw(273, 3, 2, 0).Raw(279, 3, 2, big ? (2u << 16 | 2u) : (2u | 2u << 16));
    const auto at = static_cast<std::uint32_t>(tiff.Build().size());
    // The second strip comes first in the file.
    tiff.Raw(273, 3, 2, big ? ((at + 2) << 16 | at) : ((at + 2) | at << 16)).Tail({30, 40, 10, 20});
    KImageBW8 image;
    short format = -1;
    ASSERT_EQ(KLoadImage(&image, Write(tiff.Build()).c_str(), format), K_SUCCESS) << big;
    EXPECT_EQ(image.GetPixel(0, 0), 10);
    EXPECT_EQ(image.GetPixel(1, 0), 20);
    EXPECT_EQ(image.GetPixel(0, 1), 30);
    EXPECT_EQ(image.GetPixel(1, 1), 40);
  }
}

TEST_F(TiffReaderTest, BilevelFilesExpandIntoGrayAndStayPackedInBilevelImages) {
  // Width 10: two bytes a row, the last six bits of each row's second byte are dropped.
  const KBytes rows = {0xA5, 0xFF, 0x0F, 0x80};
  const KBytes packbits = {3, 0xA5, 0xFF, 0x0F, 0x80};  // one literal across the row end
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
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(gray.GetPixel(x, y), expected[y][x] ? 255 : 0) << compression << " " << x << "," << y;
        EXPECT_EQ(bits.GetPixel(x, y), static_cast<int>(expected[y][x])) << compression << " " << x << "," << y;
      }
    }
  }
}

TEST_F(TiffReaderTest, RgbRowsAreExchangedIntoBlueGreenRed) {
  const KBytes strip0 = {10, 20, 30, 40, 50, 60}, strip1 = {70, 80, 90, 100, 110, 120};
  const std::string path = Write(RgbFile(2, 2).Strips({strip0, strip1}).Build());
  KImageC24 image(2, 2);
  KROIC24 roi(&image, 0, 0, 2, 2);
  short format = -1;
  ASSERT_EQ(KLoadImage(&roi, path.c_str(), format), K_SUCCESS);
  EXPECT_EQ(format, K_FILE_FORMAT_TIFF_COLOR);
  const unsigned char expected[2][6] = {{30, 20, 10, 60, 50, 40}, {90, 80, 70, 120, 110, 100}};
  for (int y = 0; y < 2; ++y) EXPECT_EQ(std::memcmp(image.GetImagePtr(0, y), expected[y], 6), 0) << "row " << y;
}

// PackBits runs that cross row ends and the end of the target: the ROI's rows get the bytes in order,
// the pixels around it are never touched.
TEST_F(TiffReaderTest, PackBitsNeverWritesOutsideTheTarget) {
  struct Case {
    const char* name;
    std::uint32_t bits;
    KBytes strip;
    std::vector<unsigned> rows;  // expected ROI pixels, row after row
  };
  const Case cases[] = {
      {"run past the end", 8, {0x81, 9}, std::vector<unsigned>(8, 9)},
      {"literal across a row, run past the end", 8, {5, 1, 2, 3, 4, 5, 6, 0xFE, 7}, {1, 2, 3, 4, 5, 6, 7, 7}},
      {"bits run past the end", 1, {0x81, 0xF0}, {255, 255, 255, 255, 255, 255, 255, 255}},
  };
  for (const Case& c : cases) {
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
