// JPEG files against the codec used directly: files we write are read by libjpeg without our glue, and
// files it writes are loaded with ours.

#include <cstdio>

#include "kvbase/testing/image_files_test_support.h"
#include "kvbase/testing/jpeg_reference.h"

namespace {

using namespace kvbase::testing;

// Writes `pixels` (rows back to back) with the codec alone.
void WriteReference(const std::string& path, const KJpegReferenceParams& params, const Bytes& pixels) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  KJpegReferenceWrite(file, params, [&](int y) { return &pixels[y * params.width * params.components]; });
  std::fclose(file);
}

// The codec's own decoding of a file, in its default output colour space (RGB for colour files).
Bytes ReferencePixels(const std::string& path) {
  KJpegReferenceReader reader(path);
  const jpeg_decompress_struct& codec = reader.Codec();
  Bytes pixels(codec.image_width * codec.image_height * codec.num_components);
  reader.ReadRows([&](int y) { return &pixels[y * codec.output_width * codec.output_components]; });
  return pixels;
}

TEST(Jpeg, OurFilesDecodeWithTheCodecAlone) {
  KTempDir dir;
  KImageBW8 gray(16, 16);
  for (int i = 0; i < 256; ++i) gray.SetPixel(static_cast<unsigned char>(i % 16 * 8 + i / 16 * 4), i % 16, i / 16);
  const std::string grayPath = dir.Path("gray.jpg");
  ASSERT_EQ(KSaveImage(&gray, grayPath.c_str(), K_FILE_FORMAT_JPEG_GRAY), K_SUCCESS);
  const Bytes reference = ReferencePixels(grayPath);
  ASSERT_EQ(reference.size(), 256u);
  KImageBW8 back;
  EXPECT_EQ(back.Load(grayPath.c_str()), K_FILE_FORMAT_JPEG_GRAY);
  ASSERT_EQ(back.GetWidth() * back.GetHeight(), 256);
  for (int i = 0; i < 256; ++i) {
    EXPECT_NEAR(reference[i], gray.GetPixel(i % 16, i / 16), 12) << i;
    EXPECT_EQ(back.GetPixel(i % 16, i / 16), reference[i]) << "same decoder, same pixels";
  }

  // Blue in memory is byte 0: the file must be blue for everyone else.
  KImageC24 blue(16, 8);
  for (int i = 0; i < 128; ++i) blue.SetPixel(KC24(0, 0, 255), i % 16, i / 16);  // byte 0 = 255
  const std::string bluePath = dir.Path("blue.jpg");
  ASSERT_EQ(KSaveImage(&blue, bluePath.c_str(), K_FILE_FORMAT_AUTO), K_SUCCESS);
  const Bytes rgb = ReferencePixels(bluePath);
  ASSERT_EQ(rgb.size(), 16u * 8u * 3u);
  EXPECT_TRUE(rgb[0] < 16 && rgb[1] < 16 && rgb[2] > 239) << +rgb[0] << " " << +rgb[1] << " " << +rgb[2];
  KImageC24 blueBack;
  EXPECT_EQ(blueBack.Load(bluePath.c_str()), K_FILE_FORMAT_JPEG_COLOR);
  EXPECT_TRUE(blueBack.GetPixel(5, 5).byte0 > 239 && blueBack.GetPixel(5, 5).byte2 < 16);
}

TEST(Jpeg, CodecFilesLoadIntoTheirKindsOnly) {
  KTempDir dir;
  Bytes red(8 * 4 * 3), flat(8 * 4, 100);
  for (size_t i = 0; i < red.size(); i += 3) red[i] = 255;
  const std::string colour = dir.Path("red.jpg"), gray = dir.Path("gray.jpg");
  WriteReference(colour, {8, 4, 3, JCS_RGB, 95}, red);
  WriteReference(gray, {8, 4, 1, JCS_GRAYSCALE, 95}, flat);

  KImageC24 c24;
  KImageBW8 bw8;
  EXPECT_EQ(c24.Load(colour.c_str()), K_FILE_FORMAT_JPEG_COLOR);
  EXPECT_TRUE(c24.GetPixel(3, 2).byte2 > 239 && c24.GetPixel(3, 2).byte0 < 16);  // red is byte 2 in memory
  EXPECT_EQ(bw8.Load(gray.c_str()), K_FILE_FORMAT_JPEG_GRAY);
  // Kinds whose pixels cannot take the codec's 8-bit samples are refused too, before any resizing.
  const struct {
    const KPixelKind& kind;
    const std::string& file;
    K_ERRORS error;
  } refusals[] = {
      {K_PIXEL_KIND_BW8, colour, K_ERROR_GRAY_IMAGE_EXPECTED},
      {K_PIXEL_KIND_C24, gray, K_ERROR_COLOR_IMAGE_EXPECTED},
      {K_PIXEL_KIND_BW1, gray, K_ERROR_BILEVEL_IMAGE_EXPECTED},
      {K_PIXEL_KIND_BW16, gray, K_ERROR_UNSUPPORTED_JPEG_FORMAT},
      {K_PIXEL_KIND_C15, colour, K_ERROR_UNSUPPORTED_JPEG_FORMAT},
      {K_PIXEL_KIND_C16, colour, K_ERROR_UNSUPPORTED_JPEG_FORMAT},
  };
  for (const auto& refusal : refusals) {
    const KLoaded loaded = LoadInto(refusal.kind, refusal.file);
    EXPECT_EQ(loaded.error, refusal.error) << "target " << refusal.kind.name;
    EXPECT_EQ(loaded.format, K_FILE_FORMAT_JPEG_GRAY) << "the container was recognised";
    EXPECT_EQ(loaded.width, 1);
  }
}

// A BW8 image is saved as a baseline JFIF file of one component, its resolution in the density fields.
TEST(Jpeg, ResolutionTravelsInTheDensityFields) {
  KTempDir dir;
  struct Case {
    float resolution;
    KMeasurementUnit* unit;
    int densityUnit, density;
    KMeasurementUnit* back;
  };
  const Case cases[] = {
      {300.0f, &KUnit_inch, 1, 300, &KUnit_inch},
      {50.0f, &KUnit_cm, 2, 50, &KUnit_cm},
      {5000.0f, &KUnit_m, 2, 50, &KUnit_cm},
      {1.0f, &KUnitNone, 0, 1, &KUnitNone},
      {70000.0f, &KUnitNone, 0, 70000 & 0xFFFF, &KUnitNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.resolution);
    KImageBW8 image(8, 8);
    image.SetResolution(c.resolution, c.resolution, c.unit);
    const std::string path = dir.Path("density.jpg");
    ASSERT_EQ(KSaveImage(&image, path.c_str(), K_FILE_FORMAT_JPEG_GRAY), K_SUCCESS);
    {
      KJpegReferenceReader reader(path);
      const jpeg_decompress_struct& codec = reader.Codec();
      EXPECT_EQ((std::vector<int>{codec.num_components, codec.jpeg_color_space, codec.progressive_mode,
                                  codec.saw_JFIF_marker, codec.density_unit, codec.X_density, codec.Y_density}),
                (std::vector<int>{1, JCS_GRAYSCALE, 0, 1, c.densityUnit, c.density, c.density}));
    }
    KImageBW8 back;
    back.Load(path.c_str());
    ExpectResolution(back, static_cast<float>(c.density), static_cast<float>(c.density), c.back);
  }
}

TEST(Jpeg, QualityIsLimitedByTheCodec) {
  KImageC24 image(32, 32);
  FillPattern(image);
  auto saved = [&](unsigned int quality) {
    KSetJpegQuality(quality);
    return SavedBytes(image, K_FILE_FORMAT_JPEG_COLOR);
  };
  EXPECT_EQ(saved(0), saved(1));
  EXPECT_EQ(saved(500), saved(100));
  EXPECT_LT(saved(1).size(), saved(100).size());
  KSetJpegQuality(50);
}

// Where the bytes of a marker (0xFF, code) start, after `skip` earlier ones.
size_t MarkerAt(const Bytes& bytes, unsigned char code, int skip = 0) {
  for (size_t at = 0; at + 1 < bytes.size(); ++at)
    if (bytes[at] == 0xFF && bytes[at + 1] == code && skip-- == 0) return at;
  return bytes.size();
}

TEST(Jpeg, CodecFailuresAndImplausibleHeaders) {
  KTempDir dir;
  const std::string path = dir.Path("bad.jpg");
  KImageBW8 image(1, 1);
  short format;

  // A progressive file's second scan is impossible: the codec fails after the target took the header's size.
  WriteReference(path, {32, 24, 1, JCS_GRAYSCALE, -1, /*progressive=*/true}, Bytes(32 * 24, 100));
  Bytes bytes = KReadFileBytes(path);
  bytes.at(MarkerAt(bytes, 0xDA, 1) + 7) = 0x50;  // Ss past Se
  ASSERT_TRUE(KWriteFileBytes(path, bytes));
  testing::internal::CaptureStderr();
  EXPECT_EQ(KLoadImage(&image, path.c_str(), format), K_ERROR_JPEG_READ);
  EXPECT_NE(testing::internal::GetCapturedStderr(), "") << "the codec's message is printed";
  EXPECT_EQ((std::vector<int>{image.GetWidth(), image.GetHeight()}), (std::vector<int>{32, 24}));

  // A header that ends before any image.
  ASSERT_TRUE(KWriteFileBytes(path, Bytes(bytes.begin(), bytes.begin() + 20)));
  testing::internal::CaptureStderr();
  EXPECT_EQ(KLoadImage(&image, path.c_str(), format), K_ERROR_JPEG_READ);
  testing::internal::GetCapturedStderr();

  // Two components of no known colour space are no image kind of ours.
  WriteReference(path, {8, 8, 2, JCS_UNKNOWN, -1, false, /*jfif=*/1}, Bytes(8 * 8 * 2, 50));
  EXPECT_EQ(KLoadImage(&image, path.c_str(), format), K_ERROR_UNSUPPORTED_JPEG_FORMAT);

  // 65000 x 65000 pixels claimed by a file of a few hundred bytes: refused before anything is allocated.
  WriteReference(path, {16, 16, 1, JCS_GRAYSCALE}, Bytes(256, 7));
  bytes = KReadFileBytes(path);
  const size_t sof = MarkerAt(bytes, 0xC0);
  for (size_t at : {sof + 5, sof + 7}) bytes.at(at) = 65000 >> 8, bytes.at(at + 1) = 65000 & 0xFF;
  ASSERT_TRUE(KWriteFileBytes(path, bytes));
  EXPECT_EQ(KLoadImage(&image, path.c_str(), format), K_ERROR_JPEG_READ);
  EXPECT_EQ(image.GetWidth(), 32);
}

// The codec only warns when a file ends early or its image data is damaged, and makes up the pixels it
// could not decode: such a load fails. Warnings about bytes that carry no pixel do not.
TEST(Jpeg, TruncatedOrDamagedImageDataFailsInsteadOfLoadingMadeUpPixels) {
  KTempDir dir;
  const std::string whole = dir.Path("whole.jpg"), path = dir.Path("damaged.jpg");
  Bytes pixels(64 * 48);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<unsigned char>(i * 37 % 251);
  struct Case {
    const char* what;
    bool progressive;
    bool loads;
    void (*damage)(Bytes&);
  };
  const Case cases[] = {
      {"cut in the middle of the scan", false, false,
       [](Bytes& b) { b.resize(MarkerAt(b, 0xDA) + (b.size() - MarkerAt(b, 0xDA)) / 2); }},
      {"end-of-image marker in the middle of the scan", false, false,
       [](Bytes& b) {
         const size_t middle = MarkerAt(b, 0xDA) + (b.size() - MarkerAt(b, 0xDA)) / 2;
         b.at(middle) = 0xFF, b.at(middle + 1) = 0xD9;
       }},
      {"progressive file cut after its first scans", true, false, [](Bytes& b) { b.resize(MarkerAt(b, 0xDA, 3)); }},
      {"end-of-image marker missing", false, false, [](Bytes& b) { b.resize(b.size() - 2); }},
      {"two stray bytes before a header marker", false, true,
       [](Bytes& b) { b.insert(b.begin() + static_cast<std::ptrdiff_t>(MarkerAt(b, 0xDB)), 2, 0); }},
  };
  for (const Case& c : cases) {
    WriteReference(whole, {64, 48, 1, JCS_GRAYSCALE, 90, c.progressive}, pixels);
    Bytes bytes = KReadFileBytes(whole);
    c.damage(bytes);
    ASSERT_TRUE(KWriteFileBytes(path, bytes));
    KImageBW8 loaded, reference;
    short format = -1;
    ASSERT_EQ(KLoadImage(&reference, whole.c_str(), format), K_SUCCESS);
    testing::internal::CaptureStderr();
    EXPECT_EQ(KLoadImage(&loaded, path.c_str(), format), c.loads ? K_SUCCESS : K_ERROR_JPEG_READ) << c.what;
    EXPECT_NE(testing::internal::GetCapturedStderr(), "") << c.what << ": the codec's warning is printed";
    if (c.loads) {
      EXPECT_TRUE(SamePixels(loaded, reference)) << c.what;
    }
  }
}

// Where the marker after the scan whose SOS marker is at `sos` starts (stuffed zeros and restart markers
// are part of the scan).
size_t ScanEnd(const Bytes& bytes, size_t sos) {
  size_t at = sos + 2 + (bytes.at(sos + 2) << 8 | bytes.at(sos + 3));
  while (at + 1 < bytes.size() && !(bytes[at] == 0xFF && bytes[at + 1] != 0 && (bytes[at + 1] & 0xF8) != 0xD0)) ++at;
  return at;
}

// Every scan of a progressive file is a pass over the whole image, however few bytes it has: a file of
// a few hundred KiB that repeats a tiny scan would keep the load busy for hours. Up to 500 scans load.
TEST(Jpeg, ProgressiveFilesOfMoreThanFiveHundredScansAreRefused) {
  KTempDir dir;
  const std::string whole = dir.Path("whole.jpg"), path = dir.Path("scans.jpg");
  Bytes pixels(64 * 48);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<unsigned char>(i * 37 % 251);
  WriteReference(whole, {64, 48, 1, JCS_GRAYSCALE, 90, /*progressive=*/true}, pixels);
  const Bytes bytes = KReadFileBytes(whole);
  KImageBW8 reference;
  short format = -1;
  ASSERT_EQ(KLoadImage(&reference, whole.c_str(), format), K_SUCCESS);
  // The second scan (the first of the AC coefficients) with the tables before it, repeated: decoding it
  // again gives the same pixels.
  const size_t from = ScanEnd(bytes, MarkerAt(bytes, 0xDA, 0)), to = ScanEnd(bytes, MarkerAt(bytes, 0xDA, 1));
  int scans = 0;  // in the file as written
  while (MarkerAt(bytes, 0xDA, scans) < bytes.size()) ++scans;
  for (const int total : {500, 501}) {
    Bytes repeated(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(to));
    for (int i = scans; i < total; ++i) repeated.insert(repeated.end(), bytes.begin() + from, bytes.begin() + to);
    repeated.insert(repeated.end(), bytes.begin() + static_cast<std::ptrdiff_t>(to), bytes.end());
    ASSERT_TRUE(KWriteFileBytes(path, repeated));
    KImageBW8 loaded;
    testing::internal::CaptureStderr();
    const short result = KLoadImage(&loaded, path.c_str(), format);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, total <= 500 ? K_SUCCESS : K_ERROR_JPEG_READ) << total << " scans";
    if (total <= 500) {
      EXPECT_TRUE(SamePixels(loaded, reference));
    }
  }
}

}  // namespace
