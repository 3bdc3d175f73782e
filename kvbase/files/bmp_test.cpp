#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "kvbase/testing/image_files_test_support.h"

namespace {

using namespace kvbase::testing;
using Fields = std::vector<std::uint32_t>;

TEST(Bmp, WorkedByteLayouts) {
  KImageBW8 gray(3, 2);
  for (int i = 0; i < 6; ++i) gray.SetPixel(static_cast<unsigned char>(i + 1), i % 3, i / 3);
  gray.SetResolution(299.0f, 300.0f, &KUnit_inch);  // 11771.65 and 11811.02 pixels per metre, truncated
  Bytes b = SavedBytes(gray, K_FILE_FORMAT_BMP_GRAY);
  ASSERT_EQ(b.size(), 1086u);
  EXPECT_EQ((Fields{b[0], b[1], U32(b, 2), U32(b, 10), U32(b, 14), U32(b, 18), U32(b, 22), U16(b, 26), U16(b, 28),
                    U32(b, 30), U32(b, 34), U32(b, 38), U32(b, 42), U32(b, 46), U32(b, 50)}),
            (Fields{'B', 'M', 1086, 1078, 40, 3, 2, 1, 8, 0, 8, 11771, 11811, 0, 0}));
  for (int i = 0; i < 256; ++i) EXPECT_EQ(U32(b, 54 + 4 * i), static_cast<std::uint32_t>(i * 0x010101)) << i;
  EXPECT_EQ(Bytes(b.begin() + 1078, b.end()), (Bytes{4, 5, 6, 0, 1, 2, 3, 0}));  // bottom row first, padded

  KImageBW1 bits(10, 1);
  for (int x = 0; x < 10; ++x) bits.SetPixel(x == 0 || x == 9, x, 0);
  b = SavedBytes(bits, K_FILE_FORMAT_BMP_BILEVEL);
  ASSERT_EQ(b.size(), 66u);
  EXPECT_EQ((Fields{U32(b, 10), U16(b, 28)}), (Fields{62, 1}));
  EXPECT_EQ(Bytes(b.begin() + 54, b.begin() + 62), (Bytes{0, 0, 0, 0, 255, 255, 255, 0}));
  EXPECT_EQ((Fields{b[62], b[63] & 0xC0u}), (Fields{0x80, 0x40}));

  // 15 and 16 bits: bit fields with their masks; 24 bits: no table.
  const auto header = [](const Bytes& f) {
    return Fields{
        static_cast<std::uint32_t>(f.size()), U32(f, 10), U16(f, 28), U32(f, 30), U32(f, 54), U32(f, 58), U32(f, 62)};
  };
  constexpr short COLOR = K_FILE_FORMAT_BMP_COLOR;
  EXPECT_EQ(header(SavedBytes(KImageC15(2, 1), COLOR)), (Fields{70, 66, 16, 3, 0x7C00, 0x03E0, 0x001F}));
  EXPECT_EQ(header(SavedBytes(KImageC16(2, 1), COLOR)), (Fields{70, 66, 16, 3, 0xF800, 0x07E0, 0x001F}));
  b = SavedBytes(KImageC24(3, 1), COLOR);
  EXPECT_EQ((Fields{static_cast<std::uint32_t>(b.size()), U16(b, 28)}), (Fields{54 + 12, 24}));
}

TEST(Bmp, BitCountAgainstTargetKind) {
  KTempDir dir;
  const Bytes c15 = SavedBytes(KImageC15(4, 2), K_FILE_FORMAT_BMP_COLOR);
  const Bytes c16 = SavedBytes(KImageC16(4, 2), K_FILE_FORMAT_BMP_COLOR);
  Bytes plain16 = c15, masks444 = c16;  // 16 bits without bit fields are 5-5-5 in a BMP file
  PutLe32(plain16, 30, 0);
  for (int i = 0; i < 3; ++i) PutLe32(masks444, 54 + 4 * i, 0x0F00u >> (4 * i));
  const Bytes files[] = {SavedBytes(KImageBW1(4, 2), K_FILE_FORMAT_BMP_BILEVEL),
                         SavedBytes(KImageBW8(4, 2), K_FILE_FORMAT_BMP_GRAY),
                         c15,
                         c16,
                         SavedBytes(KImageC24(4, 2), K_FILE_FORMAT_BMP_COLOR),
                         plain16,
                         masks444};
  const KPixelKind* targets[] = {&K_PIXEL_KIND_BW1, &K_PIXEL_KIND_BW8, &K_PIXEL_KIND_BW16,
                                 &K_PIXEL_KIND_C15, &K_PIXEL_KIND_C16, &K_PIXEL_KIND_C24};
  constexpr K_ERRORS OK = K_SUCCESS, BIL = K_ERROR_BILEVEL_IMAGE_EXPECTED, GRA = K_ERROR_GRAY_IMAGE_EXPECTED,
                     COL = K_ERROR_COLOR_IMAGE_EXPECTED, UNS = K_ERROR_UNSUPPORTED_BMP_FORMAT;
  // A 16-bit pixel loads only into the kind whose layout it has: a 5-6-5 word is not a 5-5-5 colour.
  const K_ERRORS expected[7][6] = {
      // BW1 BW8  BW16 C15  C16  C24
      {OK, GRA, GRA, COL, COL, COL},   // 1 bit
      {BIL, OK, BIL, COL, COL, COL},   // 8 bits
      {BIL, GRA, GRA, OK, UNS, UNS},   // 15 bits (5-5-5 masks)
      {BIL, GRA, GRA, UNS, OK, UNS},   // 16 bits (5-6-5 masks)
      {BIL, GRA, GRA, UNS, UNS, OK},   // 24 bits
      {BIL, GRA, GRA, OK, UNS, UNS},   // 16 bits, no bit fields: 5-5-5
      {BIL, GRA, GRA, UNS, UNS, UNS},  // 16 bits, 4-4-4 masks: no kind of ours
  };
  const std::string path = dir.Path("file.bmp");
  for (int f = 0; f < 7; ++f) {
    ASSERT_TRUE(KWriteFileBytes(path, files[f]));
    for (int t = 0; t < 6; ++t) {
      const KLoaded loaded = LoadInto(*targets[t], path);
      EXPECT_EQ(loaded.error, expected[f][t]) << "file " << f << " into target " << t;
      EXPECT_EQ(loaded.width, expected[f][t] == OK ? 4 : 1) << "a refused file never resizes the target";
    }
  }
}

TEST(Bmp, HeadersThatAreRefusedBeforeTheTargetIsResized) {
  KTempDir dir;
  const Bytes good = SavedBytes(KImageBW8(4, 2), K_FILE_FORMAT_BMP_GRAY);  // pixel data at 1078, 8 bytes
  constexpr K_ERRORS UNS = K_ERROR_UNSUPPORTED_BMP_FORMAT, BAD = K_ERROR_BAD_FILE_FORMAT, READ = K_ERROR_FILE_READ;
  struct Case {
    const char* what;
    std::vector<std::pair<size_t, std::uint32_t>> fields;  // 32-bit patches (16-bit ones keep their neighbour)
    K_ERRORS error;
    size_t cut = 0;  // bytes dropped from the end
  };
  const Case cases[] = {
      {"2 bits per pixel", {{28, 2}}, UNS},
      {"run-length 4 of 8 bits", {{30, 2}}, UNS},
      {"64-byte header", {{14, 64}}, UNS},
      {"two planes", {{26, 2 | 8u << 16}}, UNS},
      {"height INT_MIN", {{22, 0x80000000u}}, UNS},
      {"width 0", {{18, 0}}, BAD},
      {"negative width", {{18, static_cast<std::uint32_t>(-4)}}, BAD},
      {"height 0", {{22, 0}}, BAD},
      {"60000 x 60000 in 1086 bytes", {{18, 60000}, {22, 60000}}, READ},
      {"pixels past the end", {{10, 1080}}, READ},
      {"offset beyond the file", {{10, 0xFFFFFFF0u}}, READ},
      {"last row cut short", {}, READ, 1},
  };
  const std::string path = dir.Path("patched.bmp");
  for (const Case& c : cases) {
    Bytes bytes(good.begin(), good.end() - c.cut);
    for (const auto& [at, value] : c.fields) PutLe32(bytes, at, value);
    ASSERT_TRUE(KWriteFileBytes(path, bytes));
    const KLoaded loaded = LoadInto(K_PIXEL_KIND_BW8, path);
    EXPECT_EQ(loaded.error, c.error) << c.what;
    EXPECT_EQ(loaded.width, 1) << c.what;
  }
}

TEST(Bmp, OtherLayoutsThatLoad) {
  KTempDir dir;
  const std::string path = dir.Path("other.bmp");
  KImageBW8 gray(3, 2), loaded;
  FillPattern(gray);
  const Bytes bottomUp = SavedBytes(gray, K_FILE_FORMAT_BMP_GRAY);
  short format;

  // Top-down rows (negative height), a coloured palette (ignored), the last row's padding missing.
  Bytes topDown = bottomUp, palette = bottomUp;
  PutLe32(topDown, 22, static_cast<std::uint32_t>(-2));
  std::copy(bottomUp.begin() + 1082, bottomUp.begin() + 1086, topDown.begin() + 1078);
  std::copy(bottomUp.begin() + 1078, bottomUp.begin() + 1082, topDown.begin() + 1082);
  for (int i = 0; i < 256; ++i) PutLe32(palette, 54 + 4 * i, 0x0000FF);
  for (const Bytes& file : {topDown, palette, Bytes(bottomUp.begin(), bottomUp.end() - 1)}) {
    ASSERT_TRUE(KWriteFileBytes(path, file));
    EXPECT_EQ(KLoadImage(&loaded, path.c_str(), format), K_SUCCESS);
    EXPECT_TRUE(SamePixels(loaded, gray));
  }

  // 24 bits with the 12-byte core header: 2 x 2, rows of 6 bytes padded to 8, 1000 pixels per metre.
  ASSERT_TRUE(KWriteFileBytes(path, {'B', 'M', 42, 0,  0, 0, 0, 0, 0, 0, 26, 0, 0, 0, 12, 0, 0,  0,  2,  0, 2,
                                     0,   1,   0,  24, 0, 1, 2, 3, 4, 5, 6,  0, 0, 7, 8,  9, 10, 11, 12, 0, 0}));
  KImageC24 colour;
  EXPECT_EQ(colour.Load(path.c_str()), K_FILE_FORMAT_BMP_COLOR);
  EXPECT_EQ(colour.GetPixel(0, 0).byte0, 7);  // the bottom row comes first
  EXPECT_EQ(colour.GetPixel(1, 1).byte2, 6);
  ExpectResolution(colour, 1000.0f, 1000.0f, &KUnit_m);
}

// 2 GiB of rows: more than one read call of the system moves, so the reader must go on where it stopped.
// To keep this cheap, the file is a memory file whose holes read without being stored, and the target's
// rows are lent one byte apart, sharing their memory: 2 GiB of file rows land in 128 MiB, and the top
// row, the last in the file, is what the memory holds in the end.
TEST(Bmp, PixelDataBeyondTwoGibibytesLoadsWhole) {
  constexpr std::uint32_t kWidth = 1u << 27, kHeight = 16;  // rows of 128 MiB, no padding
  Bytes header = SavedBytes(KImageBW8(4, 2), K_FILE_FORMAT_BMP_GRAY);
  header.resize(1078);
  PutLe32(header, 18, kWidth);
  PutLe32(header, 22, kHeight);
  const int fd = memfd_create("large.bmp", 0);
  ASSERT_GE(fd, 0);
  // Zeros but for the first and the last byte of the top row.
  const off_t top = 1078 + static_cast<off_t>(kWidth) * (kHeight - 1);
  const unsigned char first = 0x44, last = 0x5A;
  ASSERT_EQ(pwrite(fd, header.data(), header.size(), 0), static_cast<ssize_t>(header.size()));
  ASSERT_EQ(pwrite(fd, &first, 1, top), 1);
  ASSERT_EQ(pwrite(fd, &last, 1, top + kWidth - 1), 1);
  const std::string path = "/proc/self/fd/" + std::to_string(fd);

  std::vector<unsigned char> shared(kWidth + kHeight, 0x77);
  KImageBW8 image;
  image.SetImagePtr(kWidth, kHeight, shared.data(), 8);
  KROIBW8 roi(&image, 0, 0, kWidth, kHeight);
  short format = -1;
  EXPECT_EQ(KLoadImage(&roi, path.c_str(), format), K_SUCCESS);
  EXPECT_EQ((std::vector<int>{shared[0], shared[1], shared[kWidth - 2], shared[kWidth - 1]}),
            (std::vector<int>{0x44, 0, 0, 0x5A}));
  close(fd);
}

}  // namespace
