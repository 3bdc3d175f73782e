#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "kvbase/files/image_files.h"
#include "kvbase/files/image_files_test_support.h"

namespace {

using kvbase::testing::Bytes;
using kvbase::testing::FillPattern;
using kvbase::testing::Le16;
using kvbase::testing::Le32;
using kvbase::testing::PutLe32;
using kvbase::testing::SamePixels;

template <typename Image>
Bytes SavedBytes(Image& image, short format) {
  KTempDir dir;
  const std::string path = dir.Path("saved.bmp");
  EXPECT_EQ(KSaveImage(&image, path.c_str(), format), K_SUCCESS);
  return KReadFileBytes(path);
}

TEST(Bmp, WorkedByteLayouts) {
  KImageBW8 gray(3, 2);
  const unsigned char rows[2][3] = {{1, 2, 3}, {4, 5, 6}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) gray.SetPixel(rows[y][x], x, y);
  gray.SetResolution(300.0f, 300.0f, &KUnit_inch);
  Bytes b = SavedBytes(gray, K_FILE_FORMAT_BMP_GRAY);
  ASSERT_EQ(b.size(), 1086u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 2), "BM");
  const std::vector<std::uint32_t> fields = {Le32(b, 2),  Le32(b, 10), Le32(b, 14), Le32(b, 18), Le32(b, 22),
                                             Le16(b, 26), Le16(b, 28), Le32(b, 30), Le32(b, 34), Le32(b, 38),
                                             Le32(b, 42), Le32(b, 46), Le32(b, 50)};
  EXPECT_EQ(fields, (std::vector<std::uint32_t>{1086, 1078, 40, 3, 2, 1, 8, 0, 8, 11811, 11811, 0, 0}));
  for (int i = 0; i < 256; ++i) EXPECT_EQ(Le32(b, 54 + 4 * i), static_cast<std::uint32_t>(i * 0x010101)) << i;
  EXPECT_EQ(Bytes(b.begin() + 1078, b.begin() + 1081), (Bytes{4, 5, 6}));  // bottom row first
  EXPECT_EQ(Bytes(b.begin() + 1082, b.begin() + 1085), (Bytes{1, 2, 3}));

  KImageBW1 bits(10, 1);
  for (int x = 0; x < 10; ++x) bits.SetPixel(x == 0 || x == 9, x, 0);
  b = SavedBytes(bits, K_FILE_FORMAT_BMP_BILEVEL);
  ASSERT_EQ(b.size(), 66u);
  EXPECT_EQ(Le32(b, 10), 62u);
  EXPECT_EQ(Le16(b, 28), 1u);
  EXPECT_EQ(Bytes(b.begin() + 54, b.begin() + 62), (Bytes{0, 0, 0, 0, 255, 255, 255, 0}));
  EXPECT_EQ(b[62], 0x80);
  EXPECT_EQ(b[63] & 0xC0, 0x40);

  KImageC15 c15(2, 1);
  KImageC16 c16(2, 1);
  for (const Bytes& colour : {SavedBytes(c15, K_FILE_FORMAT_BMP_COLOR), SavedBytes(c16, K_FILE_FORMAT_BMP_COLOR)}) {
    ASSERT_EQ(colour.size(), 70u);
    EXPECT_EQ(Le32(colour, 10), 66u);
    EXPECT_EQ(Le16(colour, 28), 16u);
    EXPECT_EQ(Le32(colour, 30), 3u);
  }
  const Bytes c15Bytes = SavedBytes(c15, K_FILE_FORMAT_BMP_COLOR), c16Bytes = SavedBytes(c16, K_FILE_FORMAT_BMP_COLOR);
  EXPECT_EQ((std::vector<std::uint32_t>{Le32(c15Bytes, 54), Le32(c15Bytes, 58), Le32(c15Bytes, 62)}),
            (std::vector<std::uint32_t>{0x7C00, 0x03E0, 0x001F}));
  EXPECT_EQ((std::vector<std::uint32_t>{Le32(c16Bytes, 54), Le32(c16Bytes, 58), Le32(c16Bytes, 62)}),
            (std::vector<std::uint32_t>{0xF800, 0x07E0, 0x001F}));

  KImageC24 c24(3, 1);
  b = SavedBytes(c24, K_FILE_FORMAT_BMP_COLOR);
  EXPECT_EQ(b.size(), 54u + 12u);
  EXPECT_EQ(Le16(b, 28), 24u);
}

// Loads `path` into a fresh 1 x 1 image of one kind; reports the error and the width afterwards.
struct Target {
  const char* name;
  std::function<K_ERRORS(const std::string&, int&)> load;
};

template <typename Image>
Target MakeTarget(const char* name) {
  return {name, [](const std::string& path, int& width) {
            Image image(1, 1);
            short format;
            const K_ERRORS result = static_cast<K_ERRORS>(KLoadImage(&image, path.c_str(), format));
            width = image.GetWidth();
            return result;
          }};
}

TEST(Bmp, BitCountAgainstTargetKind) {
  KTempDir dir;
  KImageBW1 bw1(4, 2);
  KImageBW8 bw8(4, 2);
  KImageC15 c15(4, 2);
  KImageC16 c16(4, 2);
  KImageC24 c24(4, 2);
  const std::string files[] = {dir.Path("1.bmp"), dir.Path("8.bmp"), dir.Path("15.bmp"), dir.Path("16.bmp"),
                               dir.Path("24.bmp")};
  ASSERT_EQ(KSaveImage(&bw1, files[0].c_str(), K_FILE_FORMAT_AUTO), K_SUCCESS);
  ASSERT_EQ(KSaveImage(&bw8, files[1].c_str(), K_FILE_FORMAT_AUTO), K_SUCCESS);
  ASSERT_EQ(KSaveImage(&c15, files[2].c_str(), K_FILE_FORMAT_AUTO), K_SUCCESS);
  ASSERT_EQ(KSaveImage(&c16, files[3].c_str(), K_FILE_FORMAT_AUTO), K_SUCCESS);
  ASSERT_EQ(KSaveImage(&c24, files[4].c_str(), K_FILE_FORMAT_AUTO), K_SUCCESS);

  const Target targets[] = {MakeTarget<KImageBW1>("BW1"), MakeTarget<KImageBW8>("BW8"),
                            MakeTarget<KImageBW16>("BW16"), MakeTarget<KImageC15>("C15"),
                            MakeTarget<KImageC16>("C16"), MakeTarget<KImageC24>("C24")};
  constexpr K_ERRORS OK = K_SUCCESS, BIL = K_ERROR_BILEVEL_IMAGE_EXPECTED, GRA = K_ERROR_GRAY_IMAGE_EXPECTED,
                     COL = K_ERROR_COLOR_IMAGE_EXPECTED, UNS = K_ERROR_UNSUPPORTED_BMP_FORMAT;
  const K_ERRORS expected[5][6] = {
      // BW1 BW8  BW16 C15  C16  C24
      {OK, GRA, GRA, COL, COL, COL},  // 1 bit
      {BIL, OK, BIL, COL, COL, COL},  // 8 bits
      {BIL, GRA, GRA, OK, OK, UNS},   // 15 bits (5-5-5 masks)
      {BIL, GRA, GRA, OK, OK, UNS},   // 16 bits (5-6-5 masks)
      {BIL, GRA, GRA, UNS, UNS, OK},  // 24 bits
  };
  for (int f = 0; f < 5; ++f) {
    for (int t = 0; t < 6; ++t) {
      int width = 0;
      EXPECT_EQ(targets[t].load(files[f], width), expected[f][t]) << files[f] << " into " << targets[t].name;
      EXPECT_EQ(width, expected[f][t] == OK ? 4 : 1) << "a refused file never resizes the target";
    }
  }
}

TEST(Bmp, HeadersThatAreRefused) {
  KTempDir dir;
  KImageBW8 source(4, 2);
  const Bytes good = SavedBytes(source, K_FILE_FORMAT_BMP_GRAY);  // pixel data at 1078, 8 bytes
  struct Case {
    const char* what;
    size_t at;  // a 32-bit field (16-bit fields are patched with their neighbour kept)
    std::uint32_t value;
    K_ERRORS error;
  };
  const Case cases[] = {
      {"4 bits per pixel", 28, 4 | 0u << 16, K_ERROR_UNSUPPORTED_BMP_FORMAT},
      {"32 bits per pixel", 28, 32, K_ERROR_UNSUPPORTED_BMP_FORMAT},
      {"run-length 8", 30, 1, K_ERROR_UNSUPPORTED_BMP_FORMAT},
      {"run-length 4", 30, 2, K_ERROR_UNSUPPORTED_BMP_FORMAT},
      {"two planes", 26, 2 | 8u << 16, K_ERROR_UNSUPPORTED_BMP_FORMAT},
      {"version 4 header", 14, 108, K_ERROR_UNSUPPORTED_BMP_FORMAT},
      {"height INT_MIN", 22, 0x80000000u, K_ERROR_UNSUPPORTED_BMP_FORMAT},
      {"width 0", 18, 0, K_ERROR_BAD_FILE_FORMAT},
      {"negative width", 18, static_cast<std::uint32_t>(-4), K_ERROR_BAD_FILE_FORMAT},
      {"height 0", 22, 0, K_ERROR_BAD_FILE_FORMAT},
      {"60000 x 60000 in 1086 bytes", 18, 60000, K_ERROR_FILE_READ},
      {"pixels past the end", 10, 1080, K_ERROR_FILE_READ},
      {"offset beyond the file", 10, 0xFFFFFFF0u, K_ERROR_FILE_READ},
  };
  const std::string path = dir.Path("patched.bmp");
  for (const Case& c : cases) {
    Bytes bytes = good;
    PutLe32(bytes, c.at, c.value);
    if (std::string(c.what).rfind("60000", 0) == 0) PutLe32(bytes, 22, 60000);
    ASSERT_TRUE(KWriteFileBytes(path, bytes));
    KImageBW8 image(1, 1);
    short format;
    EXPECT_EQ(KLoadImage(&image, path.c_str(), format), c.error) << c.what;
    EXPECT_EQ(image.GetWidth(), 1) << c.what;
  }
  Bytes truncated(good.begin(), good.end() - 1);
  ASSERT_TRUE(KWriteFileBytes(path, truncated));
  KImageBW8 image(1, 1);
  short format;
  EXPECT_EQ(KLoadImage(&image, path.c_str(), format), K_ERROR_FILE_READ);
}

TEST(Bmp, OtherLayoutsThatLoad) {
  KTempDir dir;
  const std::string path = dir.Path("other.bmp");
  KImageBW8 gray(3, 2);
  FillPattern(gray);
  const Bytes bottomUp = SavedBytes(gray, K_FILE_FORMAT_BMP_GRAY);
  KImageBW8 loaded;
  short format;

  // Top-down rows (negative height), a coloured palette (ignored), the last row's padding missing.
  Bytes topDown = bottomUp;
  PutLe32(topDown, 22, static_cast<std::uint32_t>(-2));
  std::copy(bottomUp.begin() + 1082, bottomUp.begin() + 1086, topDown.begin() + 1078);
  std::copy(bottomUp.begin() + 1078, bottomUp.begin() + 1082, topDown.begin() + 1082);
  Bytes palette = bottomUp;
  for (int i = 0; i < 256; ++i) PutLe32(palette, 54 + 4 * i, 0x0000FF);
  const Bytes unpadded(bottomUp.begin(), bottomUp.end() - 1);
  for (const Bytes& file : {topDown, palette, unpadded}) {
    ASSERT_TRUE(KWriteFileBytes(path, file));
    EXPECT_EQ(KLoadImage(&loaded, path.c_str(), format), K_SUCCESS);
    EXPECT_TRUE(SamePixels(loaded, gray));
  }

  // 24 bits with the 12-byte core header: 2 x 2, rows of 6 bytes padded to 8.
  Bytes core = {'B', 'M', 42, 0, 0, 0, 0, 0, 0, 0, 26, 0, 0, 0, 12, 0, 0, 0, 2, 0, 2, 0, 1, 0, 24, 0};
  const Bytes pixelRows = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
  core.insert(core.end(), pixelRows.begin(), pixelRows.end());
  ASSERT_TRUE(KWriteFileBytes(path, core));
  KImageC24 colour;
  EXPECT_EQ(KLoadImage(&colour, path.c_str(), format), K_SUCCESS);
  EXPECT_EQ(format, K_FILE_FORMAT_BMP_COLOR);
  const KC24 topLeft = colour.GetPixel(0, 0);
  EXPECT_EQ(topLeft.byte0, 7);  // the bottom row comes first
  EXPECT_EQ(colour.GetPixel(1, 1).byte2, 6);
  float x, y;
  KMeasurementUnit* unit;
  colour.GetResolution(x, y, unit);
  EXPECT_FLOAT_EQ(x, 1000.0f);
  EXPECT_FLOAT_EQ(y, 1000.0f);
  EXPECT_EQ(unit, &KUnit_m);
}

}  // namespace
