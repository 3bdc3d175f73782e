// TIFF files checked against libtiff, an independent reader and writer: libtiff reads what we write,
// every format code, and we read what libtiff writes, in both byte orders, uncompressed and PackBits.
// Files of every other layout libtiff writes: tiff_layouts_interop_test.

#include "kvbase/testing/image_files_test_support.h"
#include "kvbase/testing/tiff_reference.h"

namespace {

using namespace kvbase::testing;

class TiffInteropTest : public ::testing::Test {
 protected:
  void TearDown() override {
    KSetTiffStripSize(8192);
    EXPECT_TRUE(KTiffMessages::All().empty()) << KTiffMessages::All().front();  // from our files or its own
  }

  KTiffMessages messages_;
  KTempDir dir_;
};

constexpr int kWidth = 37, kHeight = 23;

// Row y of the test pattern as libtiff hands it over (bits set where the gray level is 128 or more,
// 16-bit samples in the machine's order, colour as red, green, blue), or as an image holds it (colour as
// blue, green, red; bits as 0 or 255 when `expanded`).
Bytes PatternRow(int y, int bits, int samples, bool inMemory = false, bool expanded = false) {
  Bytes row;
  for (int x = 0; x < kWidth; ++x) {
    const auto gray = static_cast<unsigned char>(x * 17 + y * 31), red = static_cast<unsigned char>(gray + 23),
               green = static_cast<unsigned char>(gray + 85);
    const auto gray16 = static_cast<unsigned short>(x * 1000 + y * 77 + 0x100);
    if (bits == 1 && expanded) {
      row.push_back(gray >= 128 ? 255 : 0);
    } else if (bits == 1) {
      if (x % 8 == 0) row.push_back(0);
      if (gray >= 128) row.back() |= static_cast<unsigned char>(0x80 >> x % 8);
    } else if (bits == 16) {
      const auto* bytes = reinterpret_cast<const unsigned char*>(&gray16);
      row.insert(row.end(), bytes, bytes + 2);
    } else if (samples == 3) {
      row.insert(row.end(), {inMemory ? gray : red, green, inMemory ? red : gray});
    } else {
      row.push_back(gray);
    }
  }
  return row;
}

// Saves the pattern from an Image of `bits` and `samples`, with texts and 120 pixels per centimetre, and
// reads the file with libtiff.
template <typename Image>
void ExpectLibtiffReads(const std::string& path, int bits, int samples, short format, unsigned int stripSize) {
  SCOPED_TRACE("format " + std::to_string(format) + ", strip size " + std::to_string(stripSize));
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
  KSetTiffStripSize(stripSize);
  ASSERT_EQ(KSaveImage(&image, path.c_str(), format), K_SUCCESS);

  TIFF* tiff = TIFFOpen(path.c_str(), "r");
  ASSERT_NE(tiff, nullptr);
  const std::vector<double> fields = {
      KTiffField<uint32_t>(tiff, TIFFTAG_IMAGEWIDTH), KTiffField<uint32_t>(tiff, TIFFTAG_IMAGELENGTH),
      KTiffField<uint16_t>(tiff, TIFFTAG_COMPRESSION), KTiffField<uint16_t>(tiff, TIFFTAG_PREDICTOR),
      KTiffField<uint16_t>(tiff, TIFFTAG_RESOLUTIONUNIT)};
  const bool packbits = format == K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS || format == K_FILE_FORMAT_TIFF_GRAY_PACKBITS;
  const bool deflate = format == K_FILE_FORMAT_TIFF_GRAY_DEFLATE || format == K_FILE_FORMAT_TIFF_COLOR_DEFLATE;
  const bool lzw = format == K_FILE_FORMAT_TIFF_GRAY_LZW || format == K_FILE_FORMAT_TIFF_COLOR_LZW;
  const double compression = packbits ? 32773. : deflate ? 8. : lzw ? 5. : 1.;
  EXPECT_EQ(fields, (std::vector<double>{kWidth, kHeight, compression, deflate || lzw ? 2. : 0., RESUNIT_CENTIMETER}));
  EXPECT_NEAR(KTiffField<float>(tiff, TIFFTAG_XRESOLUTION), 120.0, 1e-3);
  EXPECT_NEAR(KTiffField<float>(tiff, TIFFTAG_YRESOLUTION), 120.0, 1e-3);
  EXPECT_EQ((std::vector<std::string>{KTiffText(tiff, TIFFTAG_DOCUMENTNAME), KTiffText(tiff, TIFFTAG_IMAGEDESCRIPTION),
                                      KTiffText(tiff, TIFFTAG_ARTIST), KTiffText(tiff, TIFFTAG_DATETIME)}),
            (std::vector<std::string>{"Sample part", "Saved for libtiff", "Quality lab", "2024:05:06 07:08:09"}));
  const bool bilevel = format == K_FILE_FORMAT_TIFF_BILEVEL || format == K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS;
  Bytes row(static_cast<size_t>(TIFFScanlineSize(tiff)));
  for (int y = 0; y < kHeight; ++y) {
    ASSERT_EQ(TIFFReadScanline(tiff, row.data(), static_cast<uint32_t>(y), 0), 1) << "row " << y;
    ASSERT_EQ(row, PatternRow(y, bilevel ? 1 : bits, samples)) << "row " << y;
  }
  TIFFClose(tiff);
}

TEST_F(TiffInteropTest, LibtiffReadsOurFiles) {
  const std::string path = dir_.Path("ours.tif");
  for (unsigned int stripSize : {100u, 0u}) {  // several strips, one strip
    ExpectLibtiffReads<KImageBW8>(path, 8, 1, K_FILE_FORMAT_TIFF_GRAY, stripSize);
    ExpectLibtiffReads<KImageC24>(path, 8, 3, K_FILE_FORMAT_TIFF_COLOR, stripSize);
  }
  ExpectLibtiffReads<KImageBW8>(path, 8, 1, K_FILE_FORMAT_TIFF_GRAY_PACKBITS, 100);
  ExpectLibtiffReads<KImageBW8>(path, 8, 1, K_FILE_FORMAT_TIFF_BILEVEL, 8192);  // thresholded
  ExpectLibtiffReads<KImageBW8>(path, 8, 1, K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS, 10);
  ExpectLibtiffReads<KImageBW1>(path, 1, 1, K_FILE_FORMAT_TIFF_BILEVEL, 8192);
  ExpectLibtiffReads<KImageBW1>(path, 1, 1, K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS, 1);
  ExpectLibtiffReads<KImageBW16>(path, 16, 1, K_FILE_FORMAT_TIFF_GRAY, 300);
  for (unsigned int stripSize : {100u, 0u}) {
    for (short format : {K_FILE_FORMAT_TIFF_GRAY_DEFLATE, K_FILE_FORMAT_TIFF_GRAY_LZW}) {
      ExpectLibtiffReads<KImageBW8>(path, 8, 1, format, stripSize);
      ExpectLibtiffReads<KImageBW16>(path, 16, 1, format, stripSize);
    }
    ExpectLibtiffReads<KImageC24>(path, 8, 3, K_FILE_FORMAT_TIFF_COLOR_DEFLATE, stripSize);
    ExpectLibtiffReads<KImageC24>(path, 8, 3, K_FILE_FORMAT_TIFF_COLOR_LZW, stripSize);
  }
}

// Writes the pattern with libtiff, three rows a strip, with texts (one short enough for the entry itself)
// and 300 by 150 pixels per inch (big-endian: per centimetre), and loads it into an Image.
template <typename Image>
void ExpectWeRead(const std::string& path, const char* mode, uint16_t compression, int bits, int samples, short format,
                  bool expanded = false) {
  SCOPED_TRACE(std::string(mode) + " format " + std::to_string(format));
  const bool big = mode[1] == 'b';
  Bytes row;
  ASSERT_TRUE(KTiffReferenceWrite(
      path, mode, {kWidth, kHeight, bits, samples, compression},
      [&](int y) { return (row = PatternRow(y, bits, samples)).data(); },
      [&](TIFF* tiff) {
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 300.0f);
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 150.0f);
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, big ? RESUNIT_CENTIMETER : RESUNIT_INCH);
        TIFFSetField(tiff, TIFFTAG_DOCUMENTNAME, "Written by libtiff");
        TIFFSetField(tiff, TIFFTAG_ARTIST, "Al");
      }));
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
  ExpectResolution(image, 300.0f, 150.0f, big ? &KUnit_cm : &KUnit_inch, 1e-2f);
}

TEST_F(TiffInteropTest, WeReadLibtiffFiles) {
  const std::string path = dir_.Path("libtiff.tif");
  for (const char* mode : {"wl", "wb"}) {
    for (uint16_t compression : {COMPRESSION_NONE, COMPRESSION_PACKBITS}) {
      const bool packbits = compression == COMPRESSION_PACKBITS;
      const short bilevel = packbits ? K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS : K_FILE_FORMAT_TIFF_BILEVEL;
      ExpectWeRead<KImageBW8>(path, mode, compression, 1, 1, bilevel, /*expanded=*/true);
      ExpectWeRead<KImageBW1>(path, mode, compression, 1, 1, bilevel);
      ExpectWeRead<KImageBW8>(path, mode, compression, 8, 1,
                              packbits ? K_FILE_FORMAT_TIFF_GRAY_PACKBITS : K_FILE_FORMAT_TIFF_GRAY);
      ExpectWeRead<KImageBW16>(path, mode, compression, 16, 1, K_FILE_FORMAT_TIFF_GRAY);
    }
    ExpectWeRead<KImageC24>(path, mode, COMPRESSION_NONE, 8, 3, K_FILE_FORMAT_TIFF_COLOR);
  }
}

}  // namespace
