// JPEG files against the codec used directly: files we write are read by libjpeg without our glue, and
// files it writes are loaded with ours.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "kvbase/files/image_files.h"
#include "kvbase/files/image_files_test_support.h"
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
  {
    KJpegReferenceReader reader(grayPath);
    ASSERT_TRUE(reader.Opened());
    EXPECT_EQ(reader.Codec().num_components, 1);
    EXPECT_EQ(reader.Codec().jpeg_color_space, JCS_GRAYSCALE);
    EXPECT_FALSE(reader.Codec().progressive_mode);
    EXPECT_TRUE(reader.Codec().saw_JFIF_marker);
  }
  const Bytes reference = ReferencePixels(grayPath);
  ASSERT_EQ(reference.size(), 256u);
  KImageBW8 back;
  EXPECT_EQ(back.Load(grayPath.c_str()), K_FILE_FORMAT_JPEG_GRAY);
  ASSERT_EQ(back.GetWidth(), 16);
  ASSERT_EQ(back.GetHeight(), 16);
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
  EXPECT_LT(rgb[0], 16);   // red
  EXPECT_LT(rgb[1], 16);   // green
  EXPECT_GT(rgb[2], 239);  // blue
  KImageC24 blueBack;
  EXPECT_EQ(blueBack.Load(bluePath.c_str()), K_FILE_FORMAT_JPEG_COLOR);
  EXPECT_GT(blueBack.GetPixel(5, 5).byte0, 239);
  EXPECT_LT(blueBack.GetPixel(5, 5).byte2, 16);
}

TEST(Jpeg, CodecFilesLoadIntoTheirKindsOnly) {
  KTempDir dir;
  Bytes red(8 * 4 * 3), ramp(8 * 4);
  for (size_t i = 0; i < red.size(); i += 3) red[i] = 255;
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<unsigned char>(i * 8);
  const std::string colour = dir.Path("red.jpg"), gray = dir.Path("ramp.jpg");
  WriteReference(colour, {8, 4, 3, JCS_RGB, 95}, red);
  WriteReference(gray, {8, 4, 1, JCS_GRAYSCALE, 95}, ramp);

  KImageC24 c24;
  short format;
  EXPECT_EQ(KLoadImage(&c24, colour.c_str(), format), K_SUCCESS);
  EXPECT_EQ(format, K_FILE_FORMAT_JPEG_COLOR);
  EXPECT_GT(c24.GetPixel(3, 2).byte2, 239);  // red is byte 2 in memory
  EXPECT_LT(c24.GetPixel(3, 2).byte0, 16);
  KImageBW8 bw8;
  EXPECT_EQ(KLoadImage(&bw8, gray.c_str(), format), K_SUCCESS);
  EXPECT_EQ(format, K_FILE_FORMAT_JPEG_GRAY);
  for (int i = 0; i < 32; ++i) EXPECT_NEAR(bw8.GetPixel(i % 8, i / 8), ramp[i], 6) << i;

  // Kinds whose pixels cannot take the codec's 8-bit samples are refused too, before any resizing.
  const struct {
    KKind kind;
    const std::string& file;
    K_ERRORS error;
  } refusals[] = {
      {KKind::kBW8, colour, K_ERROR_GRAY_IMAGE_EXPECTED},     {KKind::kC24, gray, K_ERROR_COLOR_IMAGE_EXPECTED},
      {KKind::kBW1, gray, K_ERROR_BILEVEL_IMAGE_EXPECTED},    {KKind::kBW16, gray, K_ERROR_UNSUPPORTED_JPEG_FORMAT},
      {KKind::kC15, colour, K_ERROR_UNSUPPORTED_JPEG_FORMAT}, {KKind::kC16, colour, K_ERROR_UNSUPPORTED_JPEG_FORMAT},
  };
  for (const auto& refusal : refusals) {
    const KLoaded loaded = LoadInto(refusal.kind, refusal.file);
    EXPECT_EQ(loaded.error, refusal.error) << "target " << static_cast<int>(refusal.kind);
    EXPECT_EQ(loaded.format, K_FILE_FORMAT_JPEG_GRAY) << "the container was recognised";
    EXPECT_EQ(loaded.width, 1);
  }
}

TEST(Jpeg, ResolutionTravelsInTheDensityFields) {
  KTempDir dir;
  const struct {
    float resolution;
    KMeasurementUnit* unit;
    int densityUnit, density;
    KMeasurementUnit* loadedUnit;
  } cases[] = {
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
      EXPECT_EQ(reader.Codec().density_unit, c.densityUnit);
      EXPECT_EQ(reader.Codec().X_density, c.density);
      EXPECT_EQ(reader.Codec().Y_density, c.density);
    }
    KImageBW8 back;
    back.Load(path.c_str());
    ExpectResolution(back, static_cast<float>(c.density), static_cast<float>(c.density), c.loadedUnit);
  }
}

TEST(Jpeg, QualityIsLimitedByTheCodec) {
  KTempDir dir;
  KImageC24 image(32, 32);
  FillPattern(image);
  auto saved = [&](unsigned int quality) {
    KSetJpegQuality(quality);
    const std::string path = dir.Path("q" + std::to_string(quality) + ".jpg");
    EXPECT_EQ(KSaveImage(&image, path.c_str(), K_FILE_FORMAT_JPEG_COLOR), K_SUCCESS);
    return KReadFileBytes(path);
  };
  EXPECT_EQ(saved(0), saved(1));
  EXPECT_EQ(saved(500), saved(100));
  EXPECT_LT(saved(1).size(), saved(100).size());
  KSetJpegQuality(50);
}

TEST(Jpeg, CodecFailuresAndImplausibleHeaders) {
  KTempDir dir;
  const std::string path = dir.Path("bad.jpg");
  KImageBW8 image(1, 1);
  short format;

  // Progressive file whose second scan has impossible parameters: the codec fails after the target
  // was prepared, so the image keeps the header's size.
  WriteReference(path, {32, 24, 1, JCS_GRAYSCALE, -1, /*progressive=*/true}, Bytes(32 * 24, 100));
  Bytes bytes = KReadFileBytes(path);
  size_t sos = 0;
  for (int seen = 0; seen < 2; ++sos)
    if (bytes.at(sos) == 0xFF && bytes.at(sos + 1) == 0xDA) ++seen;
  bytes.at(sos - 1 + 7) = 0x50;  // Ss past Se
  ASSERT_TRUE(KWriteFileBytes(path, bytes));
  testing::internal::CaptureStderr();
  EXPECT_EQ(KLoadImage(&image, path.c_str(), format), K_ERROR_JPEG_READ);
  EXPECT_NE(testing::internal::GetCapturedStderr(), "") << "the codec's message is printed";
  EXPECT_EQ(image.GetWidth(), 32);
  EXPECT_EQ(image.GetHeight(), 24);

  // A header that ends before any image.
  bytes.resize(20);
  ASSERT_TRUE(KWriteFileBytes(path, bytes));
  testing::internal::CaptureStderr();
  EXPECT_EQ(KLoadImage(&image, path.c_str(), format), K_ERROR_JPEG_READ);
  testing::internal::GetCapturedStderr();

  // Four components (CMYK) are not an image kind of ours.
  WriteReference(path, {8, 8, 4, JCS_CMYK, -1, false, /*jfif=*/true}, Bytes(8 * 8 * 4, 50));
  EXPECT_EQ(KLoadImage(&image, path.c_str(), format), K_ERROR_UNSUPPORTED_JPEG_FORMAT);

  // 65000 x 65000 pixels claimed by a file of a few hundred bytes: refused before anything is allocated.
  WriteReference(path, {16, 16, 1, JCS_GRAYSCALE}, Bytes(256, 7));
  bytes = KReadFileBytes(path);
  size_t sof = 0;
  while (!(bytes.at(sof) == 0xFF && bytes.at(sof + 1) == 0xC0)) ++sof;
  for (size_t at : {sof + 5, sof + 7}) {
    bytes.at(at) = 65000 >> 8;
    bytes.at(at + 1) = 65000 & 0xFF;
  }
  ASSERT_TRUE(KWriteFileBytes(path, bytes));
  EXPECT_EQ(KLoadImage(&image, path.c_str(), format), K_ERROR_JPEG_READ);
  EXPECT_EQ(image.GetWidth(), 32);
}

}  // namespace
