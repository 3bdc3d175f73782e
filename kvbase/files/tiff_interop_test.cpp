// TIFF files checked against libtiff, an independent reader and writer: libtiff reads what we write,
// and we read what libtiff writes, in both byte orders, uncompressed and PackBits.

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "kvbase/files/image_files.h"
#include "kvbase/files/image_files_test_support.h"

namespace {

using namespace kvbase::testing;

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
    EXPECT_TRUE(gLibtiffMessages.empty()) << gLibtiffMessages.front();
  }

  KTempDir dir_;
  TIFFErrorHandler savedWarning_ = nullptr;
  TIFFErrorHandler savedError_ = nullptr;
};

constexpr int kWidth = 37, kHeight = 23;

unsigned char Gray(int x, int y) { return static_cast<unsigned char>(x * 17 + y * 31); }

// Row y of the test pattern as libtiff hands it over: bits most significant first (set where the gray
// level is 128 or more), 16-bit samples in the machine's order, colour as red, green, blue. With
// `inMemory`, as an image holds it: colour as blue, green, red, and 1-bit samples, when `expanded`, as
// 0 or 255.
Bytes PatternRow(int y, int bits, int samples, bool inMemory = false, bool expanded = false) {
  Bytes row;
  for (int x = 0; x < kWidth; ++x) {
    const unsigned char gray = Gray(x, y), red = Gray(x, y + 9), green = Gray(x + 5, y);
    const unsigned short gray16 = static_cast<unsigned short>(x * 1000 + y * 77 + 0x100);
    if (bits == 1 && expanded) {
      row.push_back(gray >= 128 ? 255 : 0);
    } else if (bits == 1) {
      if (x % 8 == 0) row.push_back(0);
      if (gray >= 128) row.back() |= static_cast<unsigned char>(0x80 >> x % 8);
    } else if (bits == 16) {
      row.insert(row.end(), reinterpret_cast<const unsigned char*>(&gray16),
                 reinterpret_cast<const unsigned char*>(&gray16) + 2);
    } else if (samples == 3) {
      row.insert(row.end(), {inMemory ? gray : red, green, inMemory ? red : gray});
    } else {
      row.push_back(gray);
    }
  }
  return row;
}

// Saves the pattern of `bits` and `samples` from an Image, with texts and 120 pixels per centimetre.
template <typename Image>
short SavePattern(int bits, int samples, const std::string& path, short format) {
  Image image(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y) {
    const Bytes row = PatternRow(y, bits, samples, true);
    std::copy(row.begin(), row.end(), Row(image, y));
  }
  image.SetTitle("Sample part");
  image.SetComment("Saved for libtiff");
  image.SetAuthor("Quality lab");
  image.SetDate("2024:05:06 07:08:09");
  image.SetResolution(120.0f, 120.0f, &KUnit_cm);
  return KSaveImage(&image, path.c_str(), format);
}

std::string TextField(TIFF* tiff, ttag_t tag) {
  char* text = nullptr;
  return TIFFGetField(tiff, tag, &text) == 1 && text != nullptr ? std::string(text) : std::string("<none>");
}

TEST_F(TiffInteropTest, LibtiffReadsOurFiles) {
  const struct {
    const char* name;
    short (*save)(int, int, const std::string&, short);
    int bits, samples;
    short format;
    unsigned int stripSize;
  } cases[] = {
      {"gray, two rows a strip", SavePattern<KImageBW8>, 8, 1, K_FILE_FORMAT_TIFF_GRAY, 100},
      {"gray, one strip", SavePattern<KImageBW8>, 8, 1, K_FILE_FORMAT_TIFF_GRAY, 0},
      {"gray PackBits", SavePattern<KImageBW8>, 8, 1, K_FILE_FORMAT_TIFF_GRAY_PACKBITS, 100},
      {"thresholded", SavePattern<KImageBW8>, 8, 1, K_FILE_FORMAT_TIFF_BILEVEL, 8192},
      {"thresholded PackBits", SavePattern<KImageBW8>, 8, 1, K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS, 10},
      {"bilevel image", SavePattern<KImageBW1>, 1, 1, K_FILE_FORMAT_TIFF_BILEVEL, 8192},
      {"bilevel image PackBits", SavePattern<KImageBW1>, 1, 1, K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS, 1},
      {"16-bit gray", SavePattern<KImageBW16>, 16, 1, K_FILE_FORMAT_TIFF_GRAY, 300},
      {"colour", SavePattern<KImageC24>, 8, 3, K_FILE_FORMAT_TIFF_COLOR, 8192},
      {"colour, one strip", SavePattern<KImageC24>, 8, 3, K_FILE_FORMAT_TIFF_COLOR, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir_.Path("ours.tif");
    KSetTiffStripSize(c.stripSize);
    ASSERT_EQ(c.save(c.bits, c.samples, path, c.format), K_SUCCESS);

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
    EXPECT_EQ(width, static_cast<uint32_t>(kWidth));
    EXPECT_EQ(height, static_cast<uint32_t>(kHeight));
    const bool packbits = c.format >= K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS;
    EXPECT_EQ(compression, packbits ? COMPRESSION_PACKBITS : COMPRESSION_NONE);
    EXPECT_NEAR(x, 120.0f, 1e-3);
    EXPECT_NEAR(y, 120.0f, 1e-3);
    EXPECT_EQ(unit, RESUNIT_CENTIMETER);
    EXPECT_EQ(TextField(tiff, TIFFTAG_DOCUMENTNAME), "Sample part");
    EXPECT_EQ(TextField(tiff, TIFFTAG_IMAGEDESCRIPTION), "Saved for libtiff");
    EXPECT_EQ(TextField(tiff, TIFFTAG_ARTIST), "Quality lab");
    EXPECT_EQ(TextField(tiff, TIFFTAG_DATETIME), "2024:05:06 07:08:09");

    const bool bilevel = c.format == K_FILE_FORMAT_TIFF_BILEVEL || c.format == K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS;
    Bytes row(static_cast<size_t>(TIFFScanlineSize(tiff)));
    for (int r = 0; r < kHeight; ++r) {
      ASSERT_EQ(TIFFReadScanline(tiff, row.data(), static_cast<uint32_t>(r), 0), 1) << "row " << r;
      ASSERT_EQ(row, PatternRow(r, bilevel ? 1 : c.bits, c.samples)) << "row " << r;
    }
    TIFFClose(tiff);
  }
}

// Writes the pattern with libtiff, three rows a strip, with texts (one short enough for the entry
// itself) and 300 by 150 pixels per inch.
void WriteWithLibtiff(const std::string& path, const char* mode, uint16_t compression, int bits, int samples) {
  TIFF* tiff = TIFFOpen(path.c_str(), mode);
  ASSERT_NE(tiff, nullptr);
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, kWidth);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, kHeight);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, bits);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, compression);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 3);
  TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 300.0f);
  TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 150.0f);
  TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  TIFFSetField(tiff, TIFFTAG_DOCUMENTNAME, "Written by libtiff");
  TIFFSetField(tiff, TIFFTAG_ARTIST, "Al");
  for (int y = 0; y < kHeight; ++y) {
    Bytes row = PatternRow(y, bits, samples);
    EXPECT_EQ(TIFFWriteScanline(tiff, row.data(), static_cast<uint32_t>(y), 0), 1);
  }
  TIFFClose(tiff);
}

// Loads `path` into an Image and compares it with the pattern and the texts and resolution written.
template <typename Image>
void ExpectLoaded(const std::string& path, int bits, int samples, short format, bool expanded = false) {
  Image image;
  short loaded = -1;
  ASSERT_EQ(KLoadImage(&image, path.c_str(), loaded), K_SUCCESS);
  EXPECT_EQ(loaded, format);
  for (int y = 0; y < kHeight; ++y) {
    const Bytes expected = PatternRow(y, bits, samples, true, expanded);
    ASSERT_EQ(Bytes(Row(image, y), Row(image, y) + expected.size()), expected) << "row " << y;
  }
  EXPECT_STREQ(image.GetTitle(), "Written by libtiff");
  EXPECT_STREQ(image.GetAuthor(), "Al");
  ExpectResolution(image, 300.0f, 150.0f, &KUnit_inch, 1e-2f);
}

TEST_F(TiffInteropTest, WeReadLibtiffFiles) {
  const std::string path = dir_.Path("libtiff.tif");
  for (const char* mode : {"wl", "wb"}) {
    for (uint16_t compression : {COMPRESSION_NONE, COMPRESSION_PACKBITS}) {
      SCOPED_TRACE(std::string(mode) + " compression " + std::to_string(compression));
      const bool packbits = compression == COMPRESSION_PACKBITS;
      WriteWithLibtiff(path, mode, compression, 1, 1);
      const short bilevel = packbits ? K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS : K_FILE_FORMAT_TIFF_BILEVEL;
      ExpectLoaded<KImageBW8>(path, 1, 1, bilevel, /*expanded=*/true);
      ExpectLoaded<KImageBW1>(path, 1, 1, bilevel);
      WriteWithLibtiff(path, mode, compression, 8, 1);
      ExpectLoaded<KImageBW8>(path, 8, 1, packbits ? K_FILE_FORMAT_TIFF_GRAY_PACKBITS : K_FILE_FORMAT_TIFF_GRAY);
      WriteWithLibtiff(path, mode, compression, 16, 1);
      ExpectLoaded<KImageBW16>(path, 16, 1, K_FILE_FORMAT_TIFF_GRAY);
    }
    WriteWithLibtiff(path, mode, COMPRESSION_NONE, 8, 3);
    ExpectLoaded<KImageC24>(path, 8, 3, K_FILE_FORMAT_TIFF_COLOR);
  }
}

}  // namespace
