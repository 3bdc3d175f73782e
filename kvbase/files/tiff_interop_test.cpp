// TIFF files checked against libtiff, an independent reader and writer: libtiff reads what we write,
// and we read what libtiff writes, in both byte orders, uncompressed and PackBits.

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kvbase/files/image_files.h"
#include "kvbase/image/image.h"
#include "kvbase/testing/temp_dir.h"

namespace {

std::vector<std::string> gLibtiffMessages;

void CollectMessage(const char* module, const char* format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  gLibtiffMessages.push_back(std::string(module ? module : "") + ": " + text);
}

class TiffInteropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gLibtiffMessages.clear();
    savedWarning_ = TIFFSetWarningHandler(CollectMessage);
    savedError_ = TIFFSetErrorHandler(CollectMessage);
  }
  void TearDown() override {
    TIFFSetWarningHandler(savedWarning_);
    TIFFSetErrorHandler(savedError_);
    KSetTiffStripSize(8192);
  }

  KTempDir dir_;
  TIFFErrorHandler savedWarning_ = nullptr;
  TIFFErrorHandler savedError_ = nullptr;
};

unsigned char Gray(int x, int y) { return static_cast<unsigned char>(x * 17 + y * 31); }
unsigned short Gray16(int x, int y) { return static_cast<unsigned short>(x * 1000 + y * 77 + 0x100); }
bool Bit(int x, int y) { return (x + y) % 3 == 0; }

// --- libtiff reads our files ---

enum class Kind { kBW1, kBW8, kBW16, kC24 };

struct SaveCase {
  const char* name;
  Kind kind;
  short format;
  unsigned int stripSize;
};

// Saves a 37 x 23 image of the kind with texts and a resolution of 120 per centimetre; fills
// `expected` with the rows libtiff should give back.
bool SaveSample(const SaveCase& c, const std::string& path, std::vector<std::vector<unsigned char>>& expected) {
  const int width = 37, height = 23;
  KSetTiffStripSize(c.stripSize);
  auto withMetadata = [](KGenericROI& image) {
    image.SetTitle("Sample part");
    image.SetComment("Saved for libtiff");
    image.SetAuthor("Quality lab");
    image.SetDate("2024:05:06 07:08:09");
    image.SetResolution(120.0f, 120.0f, &KUnit_cm);
  };
  expected.assign(height, {});
  const bool thresholded = c.format == K_FILE_FORMAT_TIFF_BILEVEL || c.format == K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS;
  switch (c.kind) {
    case Kind::kBW1: {
      KImageBW1 image(width, height);
      for (int y = 0; y < height; ++y) {
        expected[y].assign((width + 7) / 8, 0);
        for (int x = 0; x < width; ++x) {
          image.SetPixel(Bit(x, y), x, y);
          if (Bit(x, y)) expected[y][x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
        }
      }
      withMetadata(image);
      return KSaveImage(&image, path.c_str(), c.format) == K_SUCCESS;
    }
    case Kind::kBW8: {
      KImageBW8 image(width, height);
      for (int y = 0; y < height; ++y) {
        expected[y].assign(thresholded ? (width + 7) / 8 : width, 0);
        for (int x = 0; x < width; ++x) {
          image.SetPixel(Gray(x, y), x, y);
          if (!thresholded) expected[y][x] = Gray(x, y);
          else if (Gray(x, y) >= 128) expected[y][x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
        }
      }
      withMetadata(image);
      return KSaveImage(&image, path.c_str(), c.format) == K_SUCCESS;
    }
    case Kind::kBW16: {
      KImageBW16 image(width, height);
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) image.SetPixel(Gray16(x, y), x, y);
        const auto* row = reinterpret_cast<const unsigned char*>(image.GetImagePtr(0, y));
        expected[y].assign(row, row + 2 * width);  // libtiff hands samples over in the machine's order
      }
      withMetadata(image);
      return KSaveImage(&image, path.c_str(), c.format) == K_SUCCESS;
    }
    case Kind::kC24: {
      KImageC24 image(width, height);
      for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<unsigned char*>(image.GetImagePtr(0, y));
        for (int x = 0; x < width; ++x) {
          const unsigned char b = Gray(x, y), g = Gray(x + 5, y), r = Gray(x, y + 9);
          row[3 * x] = b;
          row[3 * x + 1] = g;
          row[3 * x + 2] = r;
          expected[y].insert(expected[y].end(), {r, g, b});
        }
      }
      withMetadata(image);
      return KSaveImage(&image, path.c_str(), c.format) == K_SUCCESS;
    }
  }
  return false;
}

std::string TextField(TIFF* tiff, ttag_t tag) {
  char* text = nullptr;
  return TIFFGetField(tiff, tag, &text) == 1 && text != nullptr ? std::string(text) : std::string("<none>");
}

TEST_F(TiffInteropTest, LibtiffReadsOurFiles) {
  const SaveCase cases[] = {
      {"gray, two rows a strip", Kind::kBW8, K_FILE_FORMAT_TIFF_GRAY, 100},
      {"gray, one strip", Kind::kBW8, K_FILE_FORMAT_TIFF_GRAY, 0},
      {"gray PackBits", Kind::kBW8, K_FILE_FORMAT_TIFF_GRAY_PACKBITS, 100},
      {"thresholded", Kind::kBW8, K_FILE_FORMAT_TIFF_BILEVEL, 8192},
      {"thresholded PackBits", Kind::kBW8, K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS, 10},
      {"bilevel image", Kind::kBW1, K_FILE_FORMAT_TIFF_BILEVEL, 8192},
      {"bilevel image PackBits", Kind::kBW1, K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS, 1},
      {"16-bit gray", Kind::kBW16, K_FILE_FORMAT_TIFF_GRAY, 300},
      {"colour", Kind::kC24, K_FILE_FORMAT_TIFF_COLOR, 8192},
      {"colour, one strip", Kind::kC24, K_FILE_FORMAT_TIFF_COLOR, 0},
  };
  for (const SaveCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir_.Path("ours.tif");
    std::vector<std::vector<unsigned char>> expected;
    ASSERT_TRUE(SaveSample(c, path, expected));

    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tiff, nullptr);
    uint32_t width = 0, height = 0;
    uint16_t compression = 0, unit = 0;
    float x = 0, y = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetField(tiff, TIFFTAG_COMPRESSION, &compression);
    TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &x);
    TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &y);
    TIFFGetField(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
    EXPECT_EQ(width, 37u);
    EXPECT_EQ(height, 23u);
    const bool packbits = c.format == K_FILE_FORMAT_TIFF_GRAY_PACKBITS || c.format == K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS;
    EXPECT_EQ(compression, packbits ? COMPRESSION_PACKBITS : COMPRESSION_NONE);
    EXPECT_NEAR(x, 120.0f, 1e-3);
    EXPECT_NEAR(y, 120.0f, 1e-3);
    EXPECT_EQ(unit, RESUNIT_CENTIMETER);
    EXPECT_EQ(TextField(tiff, TIFFTAG_DOCUMENTNAME), "Sample part");
    EXPECT_EQ(TextField(tiff, TIFFTAG_IMAGEDESCRIPTION), "Saved for libtiff");
    EXPECT_EQ(TextField(tiff, TIFFTAG_ARTIST), "Quality lab");
    EXPECT_EQ(TextField(tiff, TIFFTAG_DATETIME), "2024:05:06 07:08:09");

    std::vector<unsigned char> row(static_cast<size_t>(TIFFScanlineSize(tiff)));
    ASSERT_EQ(row.size(), expected[0].size());
    for (uint32_t r = 0; r < height; ++r) {
      ASSERT_EQ(TIFFReadScanline(tiff, row.data(), r, 0), 1) << "row " << r;
      ASSERT_EQ(row, expected[r]) << "row " << r;
    }
    TIFFClose(tiff);
    EXPECT_TRUE(gLibtiffMessages.empty()) << gLibtiffMessages.front();
  }
}

// --- We read libtiff's files ---

struct WrittenCase {
  const char* mode;  // "wl" little-endian, "wb" big-endian
  uint16_t compression;
  uint16_t bits;
  uint16_t samples;
};

const int kWidth = 13, kHeight = 10;

// Writes a 13 x 10 file with libtiff, three rows a strip.
bool WriteWithLibtiff(const WrittenCase& c, const std::string& path) {
  TIFF* tiff = TIFFOpen(path.c_str(), c.mode);
  if (tiff == nullptr) return false;
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, kWidth);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, kHeight);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, c.bits);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, c.samples);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, c.compression);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, c.samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 3);
  TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 300.0f);
  TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 150.0f);
  TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  TIFFSetField(tiff, TIFFTAG_DOCUMENTNAME, "Written by libtiff");
  TIFFSetField(tiff, TIFFTAG_ARTIST, "Al");  // short enough to sit in the entry itself
  std::vector<unsigned char> row(static_cast<size_t>(TIFFScanlineSize(tiff)), 0);
  bool ok = true;
  for (int y = 0; y < kHeight && ok; ++y) {
    std::fill(row.begin(), row.end(), 0);
    for (int x = 0; x < kWidth; ++x) {
      if (c.bits == 1) {
        if (Bit(x, y)) row[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
      } else if (c.bits == 16) {
        const unsigned short v = Gray16(x, y);
        std::memcpy(&row[2 * x], &v, 2);  // machine order; libtiff writes the file's
      } else if (c.samples == 3) {
        row[3 * x] = Gray(x, y + 9);  // red
        row[3 * x + 1] = Gray(x + 5, y);
        row[3 * x + 2] = Gray(x, y);  // blue
      } else {
        row[x] = Gray(x, y);
      }
    }
    ok = TIFFWriteScanline(tiff, row.data(), static_cast<uint32_t>(y), 0) == 1;
  }
  TIFFClose(tiff);
  return ok;
}

template <typename Image>
void ExpectMetadata(Image& image) {
  EXPECT_STREQ(image.GetTitle(), "Written by libtiff");
  EXPECT_STREQ(image.GetAuthor(), "Al");
  float x = 0, y = 0;
  KMeasurementUnit* unit = nullptr;
  image.GetResolution(x, y, unit);
  EXPECT_NEAR(x, 300.0f, 1e-2);
  EXPECT_NEAR(y, 150.0f, 1e-2);
  EXPECT_EQ(unit, &KUnit_inch);
}

TEST_F(TiffInteropTest, WeReadLibtiffFiles) {
  std::vector<WrittenCase> cases;
  for (const char* mode : {"wl", "wb"}) {
    for (uint16_t compression : {COMPRESSION_NONE, COMPRESSION_PACKBITS}) {
      for (uint16_t bits : {1, 8, 16}) cases.push_back({mode, compression, bits, 1});
    }
    cases.push_back({mode, COMPRESSION_NONE, 8, 3});
  }
  for (const WrittenCase& c : cases) {
    SCOPED_TRACE(std::string(c.mode) + " compression " + std::to_string(c.compression) + " bits " +
                 std::to_string(c.bits) + " samples " + std::to_string(c.samples));
    const std::string path = dir_.Path("libtiff.tif");
    ASSERT_TRUE(WriteWithLibtiff(c, path));
    short format = -1;
    if (c.samples == 3) {
      KImageC24 image;
      ASSERT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS);
      EXPECT_EQ(format, K_FILE_FORMAT_TIFF_COLOR);
      for (int y = 0; y < kHeight; ++y) {
        const auto* row = reinterpret_cast<const unsigned char*>(image.GetImagePtr(0, y));
        for (int x = 0; x < kWidth; ++x) {
          ASSERT_EQ(row[3 * x], Gray(x, y)) << x << "," << y;
          ASSERT_EQ(row[3 * x + 1], Gray(x + 5, y)) << x << "," << y;
          ASSERT_EQ(row[3 * x + 2], Gray(x, y + 9)) << x << "," << y;
        }
      }
      ExpectMetadata(image);
    } else if (c.bits == 16) {
      KImageBW16 image;
      ASSERT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS);
      EXPECT_EQ(format, K_FILE_FORMAT_TIFF_GRAY);
      for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) ASSERT_EQ(image.GetPixel(x, y), Gray16(x, y)) << x << "," << y;
      ExpectMetadata(image);
    } else {
      KImageBW8 image;
      ASSERT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS);
      const bool packbits = c.compression == COMPRESSION_PACKBITS;
      if (c.bits == 1) {
        EXPECT_EQ(format, packbits ? K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS : K_FILE_FORMAT_TIFF_BILEVEL);
        KImageBW1 bits;
        short bitsFormat = -1;
        ASSERT_EQ(KLoadImage(&bits, path.c_str(), bitsFormat), K_SUCCESS);
        for (int y = 0; y < kHeight; ++y) {
          for (int x = 0; x < kWidth; ++x) {
            ASSERT_EQ(image.GetPixel(x, y), Bit(x, y) ? 255 : 0) << x << "," << y;
            ASSERT_EQ(bits.GetPixel(x, y), Bit(x, y) ? 1 : 0) << x << "," << y;
          }
        }
      } else {
        EXPECT_EQ(format, packbits ? K_FILE_FORMAT_TIFF_GRAY_PACKBITS : K_FILE_FORMAT_TIFF_GRAY);
        for (int y = 0; y < kHeight; ++y)
          for (int x = 0; x < kWidth; ++x) ASSERT_EQ(image.GetPixel(x, y), Gray(x, y)) << x << "," << y;
      }
      ExpectMetadata(image);
    }
  }
  EXPECT_TRUE(gLibtiffMessages.empty()) << gLibtiffMessages.front();
}

}  // namespace
