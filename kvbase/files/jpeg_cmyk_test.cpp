// Four-component JPEG files (CMYK and YCCK) written by the codec itself, with and without an Adobe marker,
// and files that start with the start-of-image marker but have no JFIF or Exif segment.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "kvbase/testing/image_files_test_support.h"
#include "kvbase/testing/jpeg_reference.h"

namespace {

using namespace kvbase::testing;

constexpr int kWidth = 32, kHeight = 16;

// Smooth C, M, Y, K rows, as the codec compresses them with little loss.
Bytes CmykPicture() {
  Bytes cmyk;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      cmyk.insert(cmyk.end(),
                  {static_cast<unsigned char>(40 + 6 * x), static_cast<unsigned char>(250 - 12 * y),
                   static_cast<unsigned char>(90 + 3 * x + 4 * y), static_cast<unsigned char>(120 + 4 * x)});
  return cmyk;
}

std::string WriteCmyk(KTempDir& dir, const char* name, const KJpegReferenceParams& params, const Bytes& cmyk) {
  const std::string path = dir.Path(name);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  EXPECT_NE(file, nullptr);
  KJpegReferenceWrite(file, params, [&](int y) { return &cmyk[static_cast<size_t>(y) * params.width * 4]; });
  std::fclose(file);
  return path;
}

// The conversion of libjpeg-turbo's own tools, in their own floating-point form: each colour is its ink
// sample times K over 255, rounded, with samples inverted as Adobe writes them (255: no ink).
Bytes ToolsRgbAsBgr(const Bytes& cmyk) {
  Bytes bgr;
  for (size_t i = 0; i + 3 < cmyk.size(); i += 4) {
    const double k = cmyk[i + 3];
    for (int c : {2, 1, 0}) bgr.push_back(static_cast<unsigned char>(cmyk[i + c] * k / 255.0 + 0.5));
  }
  return bgr;
}

// The codec's own CMYK decoding of a file (YCCK converted back to CMYK).
Bytes ReferenceCmyk(const std::string& path) {
  KJpegReferenceReader reader(path);
  EXPECT_EQ(reader.Codec().out_color_space, JCS_CMYK);
  Bytes cmyk(static_cast<size_t>(kWidth) * kHeight * 4);
  reader.ReadRows([&](int y) { return &cmyk[static_cast<size_t>(y) * kWidth * 4]; });
  return cmyk;
}

Bytes Pixels(KImageC24& image) {
  Bytes bytes;
  for (int y = 0; y < image.GetHeight(); ++y) bytes.insert(bytes.end(), Row(image, y), Row(image, y) + RowBytes(image));
  return bytes;
}

TEST(JpegCmyk, CmykAndYcckLoadIntoC24AsLibjpegTurbosToolsConvertThem) {
  KTempDir dir;
  const Bytes cmyk = CmykPicture();
  const struct {
    const char* name;
    KJpegReferenceParams params;
    int adobeTransform;     // -1: no Adobe marker
    std::string described;  // by KGetImageFileInfo
  } files[] = {
      {"adobe-cmyk.jpg", {kWidth, kHeight, 4, JCS_CMYK, 100}, 0, "4x8 baseline CMYK"},
      {"plain-cmyk.jpg",
       {kWidth, kHeight, 4, JCS_CMYK, 100, false, -1, JCS_UNKNOWN, /*adobe=*/0},
       -1,
       "4x8 baseline CMYK"},
      {"ycck.jpg", {kWidth, kHeight, 4, JCS_CMYK, 100, false, -1, JCS_YCCK}, 2, "4x8 baseline YCCK"},
      {"progressive-ycck.jpg", {kWidth, kHeight, 4, JCS_CMYK, 95, true, -1, JCS_YCCK}, 2, "4x8 progressive YCCK"},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    const std::string path = WriteCmyk(dir, f.name, f.params, cmyk);
    {
      KJpegReferenceReader reader(path);
      EXPECT_EQ((std::vector<int>{reader.Codec().saw_JFIF_marker, reader.Codec().saw_Adobe_marker,
                                  reader.Codec().saw_Adobe_marker ? reader.Codec().Adobe_transform : -1}),
                (std::vector<int>{0, f.adobeTransform >= 0, f.adobeTransform}))
          << "the file is what the test means it to be";
    }
    KImageFileInfo info{};
    ASSERT_EQ(KGetImageFileInfo(path.c_str(), &info), K_SUCCESS);
    EXPECT_EQ(std::to_string(info.samplesPerPixel) + "x" + std::to_string(info.bitsPerSample) + " " + info.compression +
                  " " + info.colorSpace,
              f.described);
    KImageC24 image;
    short format = -1;
    ASSERT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS);
    EXPECT_EQ((std::vector<int>{format, image.GetWidth(), image.GetHeight()}),
              (std::vector<int>{K_FILE_FORMAT_JPEG_COLOR, kWidth, kHeight}));
    // Exactly the tools' colours of the codec's samples, and close to those of the samples written.
    const Bytes loaded = Pixels(image);
    EXPECT_EQ(loaded, ToolsRgbAsBgr(ReferenceCmyk(path)));
    const Bytes written = ToolsRgbAsBgr(cmyk);
    int worst = 0;
    for (size_t i = 0; i < loaded.size(); ++i) worst = std::max(worst, std::abs(loaded[i] - written[i]));
    EXPECT_LE(worst, 8);
  }
}

// One colour the whole image over: C, M, Y, K = 200, 100, 50, 150 gives red 200 x 150 / 255 = 117.6,
// green 58.8, blue 29.4, which djpeg writes as 118, 59, 29.
TEST(JpegCmyk, FlatColourHasTheToolsValues) {
  KTempDir dir;
  Bytes flat;
  for (int i = 0; i < kWidth * kHeight; ++i) flat.insert(flat.end(), {200, 100, 50, 150});
  const std::string path = WriteCmyk(dir, "flat.jpg", {kWidth, kHeight, 4, JCS_CMYK, 100}, flat);
  KImageC24 image;
  ASSERT_EQ(image.Load(path.c_str()), K_FILE_FORMAT_JPEG_COLOR);
  const KC24 pixel = image.GetPixel(5, 7);
  EXPECT_EQ((std::vector<int>{pixel.byte2, pixel.byte1, pixel.byte0}), (std::vector<int>{118, 59, 29}));
}

TEST(JpegCmyk, CmykLoadsIntoC24OnlyAndKeepsTheChecksOfOtherFiles) {
  KTempDir dir;
  const std::string path = WriteCmyk(dir, "cmyk.jpg", {kWidth, kHeight, 4, JCS_CMYK, 90}, CmykPicture());
  const struct {
    const KPixelKind& kind;
    K_ERRORS error;
  } refusals[] = {
      {K_PIXEL_KIND_BW8, K_ERROR_GRAY_IMAGE_EXPECTED},      {K_PIXEL_KIND_BW1, K_ERROR_BILEVEL_IMAGE_EXPECTED},
      {K_PIXEL_KIND_BW16, K_ERROR_UNSUPPORTED_JPEG_FORMAT}, {K_PIXEL_KIND_C15, K_ERROR_UNSUPPORTED_JPEG_FORMAT},
      {K_PIXEL_KIND_C16, K_ERROR_UNSUPPORTED_JPEG_FORMAT},
  };
  for (const auto& refusal : refusals) {
    const KLoaded loaded = LoadInto(refusal.kind, path);
    EXPECT_EQ((std::vector<int>{loaded.error, loaded.width}), (std::vector<int>{refusal.error, 1}))
        << refusal.kind.name;
  }

  // Rows land in an ROI's own columns.
  KImageC24 parent(kWidth + 6, kHeight + 2);
  for (int y = 0; y < parent.GetHeight(); ++y)
    for (int x = 0; x < parent.GetWidth(); ++x) parent.SetPixel(KC24(1, 2, 3), x, y);
  KROIC24 roi(&parent, 4, 1, kWidth, kHeight);
  short format = -1;
  ASSERT_EQ(KLoadImage(&roi, path.c_str(), format), K_SUCCESS);
  int untouched = 0;
  for (int y = 0; y < parent.GetHeight(); ++y)
    for (int x = 0; x < parent.GetWidth(); ++x) untouched += parent.GetPixel(x, y).byte0 == 3;
  EXPECT_EQ(untouched, (kWidth + 6) * (kHeight + 2) - kWidth * kHeight);

  // A file cut in its scan fails rather than loading made-up pixels; a lying size is refused before
  // anything is allocated.
  Bytes bytes = KReadFileBytes(path);
  const std::string damaged = dir.Path("damaged.jpg");
  ASSERT_TRUE(KWriteFileBytes(damaged, Bytes(bytes.begin(), bytes.begin() + bytes.size() * 3 / 4)));
  KImageC24 image;
  testing::internal::CaptureStderr();
  EXPECT_EQ(KLoadImage(&image, damaged.c_str(), format), K_ERROR_JPEG_READ);
  testing::internal::GetCapturedStderr();
  for (size_t at = 0; at + 9 < bytes.size(); ++at) {
    if (bytes[at] != 0xFF || bytes[at + 1] != 0xC0) continue;
    for (size_t field : {at + 5, at + 7}) bytes[field] = 0xFF, bytes[field + 1] = 0xF0;  // 65520 x 65520
    break;
  }
  ASSERT_TRUE(KWriteFileBytes(damaged, bytes));
  KImageC24 small(3, 3);
  EXPECT_EQ(KLoadImage(&small, damaged.c_str(), format), K_ERROR_JPEG_READ);
  EXPECT_EQ(small.GetWidth(), 3);
}

// Many encoders write no JFIF or Exif segment: such files start FF D8 FF and load like any other.
TEST(JpegRecognition, FilesWithoutJfifOrExifLoad) {
  KTempDir dir;
  Bytes gray(kWidth * kHeight), colour(kWidth * kHeight * 3);
  for (size_t i = 0; i < gray.size(); ++i) gray[i] = static_cast<unsigned char>(i * 5);
  for (size_t i = 0; i < colour.size(); ++i) colour[i] = static_cast<unsigned char>(i * 3);
  const struct {
    const char* name;
    KJpegReferenceParams params;
    const Bytes& pixels;
    short format;
  } files[] = {
      {"gray.jpg", {kWidth, kHeight, 1, JCS_GRAYSCALE, 90, false, /*jfif=*/0}, gray, K_FILE_FORMAT_JPEG_GRAY},
      {"ycbcr.jpg", {kWidth, kHeight, 3, JCS_RGB, 90, true, /*jfif=*/0}, colour, K_FILE_FORMAT_JPEG_COLOR},
      {"adobe-rgb.jpg",
       {kWidth, kHeight, 3, JCS_RGB, 90, false, /*jfif=*/0, JCS_RGB},
       colour,
       K_FILE_FORMAT_JPEG_COLOR},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    const std::string path = dir.Path(f.name);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    const int components = f.params.components;
    KJpegReferenceWrite(file, f.params, [&](int y) { return &f.pixels[static_cast<size_t>(y) * kWidth * components]; });
    std::fclose(file);
    const Bytes bytes = KReadFileBytes(path);
    ASSERT_GE(bytes.size(), 10u);
    EXPECT_NE(std::string(bytes.begin() + 6, bytes.begin() + 10), "JFIF");

    const KLoaded loaded = LoadInto(components == 1 ? K_PIXEL_KIND_BW8 : K_PIXEL_KIND_C24, path);
    EXPECT_EQ((std::vector<int>{loaded.error, loaded.format, loaded.width}),
              (std::vector<int>{K_SUCCESS, f.format, kWidth}));
  }
}

}  // namespace
