#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "kvbase/files/image_files.h"
#include "kvbase/files/image_files_test_support.h"

// Interop with the reference codec: files we write are checked with libjpeg-turbo's own djpeg and library,
// files its cjpeg and library write are loaded with ours.

namespace {

using kvbase::testing::Bytes;

struct Pnm {
  std::string magic;
  int width = 0, height = 0;
  Bytes pixels;
};

Pnm ReadPnm(const std::string& path) {
  const Bytes bytes = KReadFileBytes(path);
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  Pnm pnm;
  int maxValue = 0;
  in >> pnm.magic >> pnm.width >> pnm.height >> maxValue;
  in.get();
  const std::string rest((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  pnm.pixels.assign(rest.begin(), rest.end());
  return pnm;
}

void WritePnm(const std::string& path, const char* magic, int width, int height, const Bytes& pixels) {
  std::string text = std::string(magic) + "\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  Bytes bytes(text.begin(), text.end());
  bytes.insert(bytes.end(), pixels.begin(), pixels.end());
  ASSERT_TRUE(KWriteFileBytes(path, bytes));
}

int RunTool(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()); }

// The header of a JPEG file as the reference library reads it.
struct Header {
  int components;
  J_COLOR_SPACE space;
  bool progressive, jfif;
  int densityUnit, x, y;
};

Header ReadHeader(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  jpeg_decompress_struct codec;
  jpeg_error_mgr errors;
  codec.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&codec);
  jpeg_stdio_src(&codec, file);
  jpeg_read_header(&codec, TRUE);
  const Header header = {codec.num_components,       codec.jpeg_color_space, codec.progressive_mode != 0,
                         codec.saw_JFIF_marker != 0, codec.density_unit,     codec.X_density,
                         codec.Y_density};
  jpeg_destroy_decompress(&codec);
  std::fclose(file);
  return header;
}

// Writes `pixels` with the reference library; `forceJfif` adds a JFIF marker to colour spaces without one.
void WriteReference(const std::string& path, int width, int height, int components, J_COLOR_SPACE space,
                    const Bytes& pixels, bool progressive, bool forceJfif) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  jpeg_compress_struct codec;
  jpeg_error_mgr errors;
  codec.err = jpeg_std_error(&errors);
  jpeg_create_compress(&codec);
  jpeg_stdio_dest(&codec, file);
  codec.image_width = width;
  codec.image_height = height;
  codec.input_components = components;
  codec.in_color_space = space;
  jpeg_set_defaults(&codec);
  if (progressive) jpeg_simple_progression(&codec);
  if (forceJfif) codec.write_JFIF_header = TRUE;
  jpeg_start_compress(&codec, TRUE);
  for (int y = 0; y < height; ++y) {
    JSAMPROW row = const_cast<unsigned char*>(pixels.data()) + y * width * components;
    jpeg_write_scanlines(&codec, &row, 1);
  }
  jpeg_finish_compress(&codec);
  jpeg_destroy_compress(&codec);
  std::fclose(file);
}

TEST(Jpeg, OurFilesDecodeWithTheReferenceTools) {
  KTempDir dir;
  KImageBW8 gray(16, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) gray.SetPixel(static_cast<unsigned char>(x * 8 + y * 4), x, y);
  const std::string grayPath = dir.Path("gray.jpg");
  ASSERT_EQ(KSaveImage(&gray, grayPath.c_str(), K_FILE_FORMAT_JPEG_GRAY), K_SUCCESS);
  const Header header = ReadHeader(grayPath);
  EXPECT_EQ(header.components, 1);
  EXPECT_EQ(header.space, JCS_GRAYSCALE);
  EXPECT_FALSE(header.progressive);
  EXPECT_TRUE(header.jfif);
  ASSERT_EQ(RunTool("djpeg -pnm -outfile " + dir.Path("gray.pgm") + " " + grayPath), 0);
  const Pnm pgm = ReadPnm(dir.Path("gray.pgm"));
  ASSERT_EQ(pgm.magic, "P5");
  ASSERT_EQ(pgm.pixels.size(), 256u);
  KImageBW8 back;
  EXPECT_EQ(back.Load(grayPath.c_str()), K_FILE_FORMAT_JPEG_GRAY);
  ASSERT_EQ(back.GetWidth(), 16);
  ASSERT_EQ(back.GetHeight(), 16);
  for (int i = 0; i < 256; ++i) {
    EXPECT_NEAR(pgm.pixels[i], gray.GetPixel(i % 16, i / 16), 12) << i;
    EXPECT_EQ(back.GetPixel(i % 16, i / 16), pgm.pixels[i]) << "same decoder, same pixels";
  }

  // Blue in memory is byte 0: the file must be blue for everyone else.
  KImageC24 blue(16, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) blue.SetPixel(KC24(0, 0, 255), x, y);  // byte 0 = 255
  const std::string bluePath = dir.Path("blue.jpg");
  ASSERT_EQ(KSaveImage(&blue, bluePath.c_str(), K_FILE_FORMAT_AUTO), K_SUCCESS);
  ASSERT_EQ(RunTool("djpeg -pnm -outfile " + dir.Path("blue.ppm") + " " + bluePath), 0);
  const Pnm ppm = ReadPnm(dir.Path("blue.ppm"));
  ASSERT_EQ(ppm.pixels.size(), 16u * 8u * 3u);
  EXPECT_LT(ppm.pixels[0], 16);   // red
  EXPECT_LT(ppm.pixels[1], 16);   // green
  EXPECT_GT(ppm.pixels[2], 239);  // blue
  KImageC24 blueBack;
  EXPECT_EQ(blueBack.Load(bluePath.c_str()), K_FILE_FORMAT_JPEG_COLOR);
  EXPECT_GT(blueBack.GetPixel(5, 5).byte0, 239);
  EXPECT_LT(blueBack.GetPixel(5, 5).byte2, 16);
}

TEST(Jpeg, ReferenceFilesLoadIntoTheirKindsOnly) {
  KTempDir dir;
  Bytes red(8 * 4 * 3);
  for (size_t i = 0; i < red.size(); i += 3) red[i] = 255;
  WritePnm(dir.Path("red.ppm"), "P6", 8, 4, red);
  Bytes ramp(8 * 4);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<unsigned char>(i * 8);
  WritePnm(dir.Path("ramp.pgm"), "P5", 8, 4, ramp);
  const std::string colour = dir.Path("red.jpg"), gray = dir.Path("ramp.jpg");
  ASSERT_EQ(RunTool("cjpeg -quality 95 -outfile " + colour + " " + dir.Path("red.ppm")), 0);
  ASSERT_EQ(RunTool("cjpeg -quality 95 -grayscale -outfile " + gray + " " + dir.Path("ramp.pgm")), 0);

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

  struct Refusal {
    std::function<short(short&)> load;
    K_ERRORS error;
  };
  KImageBW1 bw1(1, 1);
  KImageBW16 bw16(1, 1);
  KImageC15 c15(1, 1);
  KImageC16 c16(1, 1);
  KImageBW8 gray1(1, 1);
  KImageC24 colour1(1, 1);
  const Refusal refusals[] = {
      {[&](short& f) { return KLoadImage(&gray1, colour.c_str(), f); }, K_ERROR_GRAY_IMAGE_EXPECTED},
      {[&](short& f) { return KLoadImage(&colour1, gray.c_str(), f); }, K_ERROR_COLOR_IMAGE_EXPECTED},
      {[&](short& f) { return KLoadImage(&bw1, gray.c_str(), f); }, K_ERROR_BILEVEL_IMAGE_EXPECTED},
      {[&](short& f) { return KLoadImage(&bw16, gray.c_str(), f); }, K_ERROR_UNSUPPORTED_JPEG_FORMAT},
      {[&](short& f) { return KLoadImage(&c15, colour.c_str(), f); }, K_ERROR_UNSUPPORTED_JPEG_FORMAT},
      {[&](short& f) { return KLoadImage(&c16, colour.c_str(), f); }, K_ERROR_UNSUPPORTED_JPEG_FORMAT},
  };
  for (const Refusal& refusal : refusals) {
    short f;
    EXPECT_EQ(refusal.load(f), refusal.error);
    EXPECT_EQ(f, K_FILE_FORMAT_JPEG_GRAY);  // the container was recognised
  }
  for (KGenericROI* target : std::vector<KGenericROI*>{&bw1, &bw16, &c15, &c16, &gray1, &colour1})
    EXPECT_EQ(target->GetWidth(), 1);
}

TEST(Jpeg, ResolutionTravelsInTheDensityFields) {
  KTempDir dir;
  struct Case {
    float resolution;
    KMeasurementUnit* unit;
    int densityUnit, density;
    KMeasurementUnit* loadedUnit;
  };
  const Case cases[] = {
      {300.0f, &KUnit_inch, 1, 300, &KUnit_inch},
      {50.0f, &KUnit_cm, 2, 50, &KUnit_cm},
      {5000.0f, &KUnit_m, 2, 50, &KUnit_cm},
      {1.0f, &KUnitNone, 0, 1, &KUnitNone},
      {70000.0f, &KUnitNone, 0, 70000 & 0xFFFF, &KUnitNone},
  };
  for (const Case& c : cases) {
    KImageBW8 image(8, 8);
    image.SetResolution(c.resolution, c.resolution, c.unit);
    const std::string path = dir.Path("density.jpg");
    ASSERT_EQ(KSaveImage(&image, path.c_str(), K_FILE_FORMAT_JPEG_GRAY), K_SUCCESS);
    const Header header = ReadHeader(path);
    EXPECT_EQ(header.densityUnit, c.densityUnit) << c.resolution;
    EXPECT_EQ(header.x, c.density) << c.resolution;
    EXPECT_EQ(header.y, c.density) << c.resolution;
    KImageBW8 back;
    back.Load(path.c_str());
    float x, y;
    KMeasurementUnit* unit;
    back.GetResolution(x, y, unit);
    EXPECT_EQ(unit, c.loadedUnit);
    EXPECT_FLOAT_EQ(x, static_cast<float>(c.density));
  }
}

TEST(Jpeg, QualityIsLimitedByTheCodec) {
  KTempDir dir;
  KImageC24 image(32, 32);
  kvbase::testing::FillPattern(image);
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
  Bytes pixels(32 * 24, 100);
  WriteReference(path, 32, 24, 1, JCS_GRAYSCALE, pixels, true, false);
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
  WriteReference(path, 8, 8, 4, JCS_CMYK, Bytes(8 * 8 * 4, 50), false, true);
  EXPECT_EQ(KLoadImage(&image, path.c_str(), format), K_ERROR_UNSUPPORTED_JPEG_FORMAT);

  // 65000 x 65000 pixels claimed by a file of a few hundred bytes: refused before anything is allocated.
  WriteReference(path, 16, 16, 1, JCS_GRAYSCALE, Bytes(256, 7), false, false);
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
