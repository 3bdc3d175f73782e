// PNG loads of files that libpng writes: every colour type and bit depth, plain and interlaced, into
// every kind, with the pixels and format codes expected; resolution and texts; damaged and lying files.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "kvbase/files/image_files.h"
#include "kvbase/testing/image_files_test_support.h"
#include "kvbase/testing/memory_limit.h"
#include "kvbase/testing/png_reference.h"

namespace {

using namespace kvbase::testing;

constexpr int B = K_ERROR_BILEVEL_IMAGE_EXPECTED, G = K_ERROR_GRAY_IMAGE_EXPECTED, C = K_ERROR_COLOR_IMAGE_EXPECTED,
              U = K_ERROR_UNSUPPORTED_PNG_FORMAT;

int SamplesOf(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;  // gray, palette
  }
}

// A file kind and what a load into BW1, BW8, BW16, C15, C16 and C24 gives: the format code told, or
// the refusal.
struct KFileCase {
  const char* name;
  int colorType;
  int depth;
  bool grayPalette;
  std::array<int, 6> outcome;
};

const KFileCase kFileCases[] = {
    {"gray 1", PNG_COLOR_TYPE_GRAY, 1, false, {13, 13, U, U, U, C}},
    {"gray 2", PNG_COLOR_TYPE_GRAY, 2, false, {B, 14, U, U, U, C}},
    {"gray 4", PNG_COLOR_TYPE_GRAY, 4, false, {B, 14, U, U, U, C}},
    {"gray 8", PNG_COLOR_TYPE_GRAY, 8, false, {B, 14, U, U, U, C}},
    {"gray 16", PNG_COLOR_TYPE_GRAY, 16, false, {B, U, 14, U, U, C}},
    {"gray alpha 8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, {B, 14, U, U, U, C}},
    {"gray alpha 16", PNG_COLOR_TYPE_GRAY_ALPHA, 16, false, {B, U, 14, U, U, C}},
    {"RGB 8", PNG_COLOR_TYPE_RGB, 8, false, {B, G, G, U, U, 15}},
    {"RGB 16", PNG_COLOR_TYPE_RGB, 16, false, {U, U, U, U, U, U}},
    {"RGBA 8", PNG_COLOR_TYPE_RGB_ALPHA, 8, false, {B, G, G, U, U, 15}},
    {"RGBA 16", PNG_COLOR_TYPE_RGB_ALPHA, 16, false, {U, U, U, U, U, U}},
    {"palette 1", PNG_COLOR_TYPE_PALETTE, 1, false, {B, G, G, U, U, 15}},
    {"palette 2", PNG_COLOR_TYPE_PALETTE, 2, false, {B, G, G, U, U, 15}},
    {"palette 4", PNG_COLOR_TYPE_PALETTE, 4, false, {B, G, G, U, U, 15}},
    {"palette 8", PNG_COLOR_TYPE_PALETTE, 8, false, {B, G, G, U, U, 15}},
    {"gray palette 1", PNG_COLOR_TYPE_PALETTE, 1, true, {B, 14, U, U, U, 15}},
    {"gray palette 2", PNG_COLOR_TYPE_PALETTE, 2, true, {B, 14, U, U, U, 15}},
    {"gray palette 4", PNG_COLOR_TYPE_PALETTE, 4, true, {B, 14, U, U, U, 15}},
    {"gray palette 8", PNG_COLOR_TYPE_PALETTE, 8, true, {B, 14, U, U, U, 15}},
};

// Odd sides, so that rows end inside a byte and every interlace pass has pixels.
constexpr int kWidth = 13, kHeight = 11;

int PaletteSize(const KFileCase& file) { return file.depth == 8 ? 200 : 1 << file.depth; }

// Sample `c` of pixel (x, y): a pattern that reaches every value of small depths.
unsigned SampleAt(const KFileCase& file, int x, int y, int c) {
  if (file.depth == 16) return (x * 4099u + y * 257u + c * 12345u + 1) & 0xFFFF;
  const unsigned value = (x * 7u + y * 13u + c * 5u + 3u) & ((1u << file.depth) - 1);
  return file.colorType == PNG_COLOR_TYPE_PALETTE ? value % PaletteSize(file) : value;
}

png_color PaletteEntry(const KFileCase& file, unsigned index) {
  if (file.grayPalette) {
    const auto level = static_cast<png_byte>(index * 37 + 5);
    return {level, level, level};
  }
  return {static_cast<png_byte>(index * 40 + 10), static_cast<png_byte>(index * 20 + 200),
          static_cast<png_byte>(255 - index * 30)};
}

KPngPicture PictureOf(const KFileCase& file, int interlace) {
  KPngPicture picture;
  picture.width = kWidth;
  picture.height = kHeight;
  picture.bitDepth = file.depth;
  picture.colorType = file.colorType;
  picture.interlace = interlace;
  const int samples = SamplesOf(file.colorType);
  for (int y = 0; y < kHeight; ++y) {
    std::vector<unsigned char> row((kWidth * samples * file.depth + 7) / 8, 0);
    for (int x = 0; x < kWidth; ++x) {
      for (int c = 0; c < samples; ++c) {
        const unsigned value = SampleAt(file, x, y, c);
        const int k = x * samples + c;
        if (file.depth == 16) {
          row[2 * k] = static_cast<unsigned char>(value >> 8);
          row[2 * k + 1] = static_cast<unsigned char>(value);
        } else {
          const int bit = k * file.depth;
          row[bit / 8] |= static_cast<unsigned char>(value << (8 - file.depth - bit % 8));
        }
      }
    }
    picture.rows.push_back(row);
  }
  if (file.colorType == PNG_COLOR_TYPE_PALETTE)
    for (int i = 0; i < PaletteSize(file); ++i) picture.palette.push_back(PaletteEntry(file, i));
  return picture;
}

// The gray level of pixel (x, y) in 8 bits: the sample scaled as PNG defines, or the palette's level.
unsigned GrayAt(const KFileCase& file, int x, int y) {
  const unsigned value = SampleAt(file, x, y, 0);
  if (file.colorType == PNG_COLOR_TYPE_PALETTE) return PaletteEntry(file, value).red;
  return value * 255 / ((1u << file.depth) - 1);
}

void ExpectPixels(const KFileCase& file, KImageBW1& image) {
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) ASSERT_EQ(image.GetPixel(x, y), static_cast<int>(SampleAt(file, x, y, 0)));
}
void ExpectPixels(const KFileCase& file, KImageBW8& image) {
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) ASSERT_EQ(image.GetPixel(x, y), GrayAt(file, x, y)) << x << "," << y;
}
void ExpectPixels(const KFileCase& file, KImageBW16& image) {
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) ASSERT_EQ(image.GetPixel(x, y), SampleAt(file, x, y, 0)) << x << "," << y;
}
void ExpectPixels(const KFileCase& file, KImageC24& image) {
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      png_color rgb{};
      if (file.colorType == PNG_COLOR_TYPE_PALETTE) {
        rgb = PaletteEntry(file, SampleAt(file, x, y, 0));
      } else {
        rgb = {static_cast<png_byte>(SampleAt(file, x, y, 0)), static_cast<png_byte>(SampleAt(file, x, y, 1)),
               static_cast<png_byte>(SampleAt(file, x, y, 2))};
      }
      const KC24 pixel = image.GetPixel(x, y);
      ASSERT_EQ(pixel.byte0, rgb.blue) << x << "," << y;
      ASSERT_EQ(pixel.byte1, rgb.green);
      ASSERT_EQ(pixel.byte2, rgb.red);
    }
  }
}
template <typename Image>
void ExpectPixels(const KFileCase&, Image&) {}  // C15, C16: never loaded

template <typename Image>
void ExpectLoad(const KFileCase& file, const std::string& path, int outcome) {
  Image image(1, 1);
  short format = -1;
  const short result = KLoadImage(&image, path.c_str(), format);
  if (outcome >= 1000) {
    EXPECT_EQ(result, outcome);
    EXPECT_EQ(format, K_FILE_FORMAT_PNG);
    EXPECT_EQ(image.GetWidth(), 1);  // refused before the target changed
    return;
  }
  ASSERT_EQ(result, K_SUCCESS);
  EXPECT_EQ(format, outcome);
  ASSERT_EQ(image.GetWidth(), kWidth);
  ASSERT_EQ(image.GetHeight(), kHeight);
  ExpectPixels(file, image);
}

TEST(PngReader, EveryColourTypeAndDepthIntoEveryKind) {
  KTempDir dir;
  for (const KFileCase& file : kFileCases) {
    for (int interlace : {PNG_INTERLACE_NONE, PNG_INTERLACE_ADAM7}) {
      SCOPED_TRACE(std::string(file.name) + (interlace ? " interlaced" : ""));
      const std::string path = dir.Path("file.png");
      ASSERT_TRUE(WritePngWithLibpng(path, PictureOf(file, interlace)));
      ExpectLoad<KImageBW1>(file, path, file.outcome[0]);
      ExpectLoad<KImageBW8>(file, path, file.outcome[1]);
      ExpectLoad<KImageBW16>(file, path, file.outcome[2]);
      ExpectLoad<KImageC15>(file, path, file.outcome[3]);
      ExpectLoad<KImageC16>(file, path, file.outcome[4]);
      ExpectLoad<KImageC24>(file, path, file.outcome[5]);
    }
  }
}

// Offset of the first chunk of `type`.
size_t ChunkAt(const Bytes& file, const char* type) {
  for (size_t at = 8; at + 8 <= file.size(); at += 12 + BigEndian32(file, at))
    if (std::equal(type, type + 4, file.begin() + static_cast<long>(at) + 4)) return at;
  return 0;
}

// A file of palette indices of `depth` bits whose entries are all gray: entry i is 255 - i, never black,
// and the PLTE chunk keeps only the first `entries` (libpng writes one for every index), so that indices
// past it occur.
unsigned IndexAt(int depth, int x, int y) { return (x * 7u + y * 13u + 3u) & ((1u << depth) - 1); }
unsigned GrayEntry(unsigned index) { return 255 - index; }

Bytes GrayPaletteFile(int depth, int width, int height, int interlace, int entries) {
  KPngPicture picture;
  picture.width = static_cast<std::uint32_t>(width);
  picture.height = static_cast<std::uint32_t>(height);
  picture.bitDepth = depth;
  picture.colorType = PNG_COLOR_TYPE_PALETTE;
  picture.interlace = interlace;
  for (int y = 0; y < height; ++y) {
    std::vector<unsigned char> row((width * depth + 7) / 8, 0);
    for (int x = 0; x < width; ++x)
      row[x * depth / 8] |= static_cast<unsigned char>(IndexAt(depth, x, y) << (8 - depth - x * depth % 8));
    picture.rows.push_back(row);
  }
  for (unsigned i = 0; i < (1u << depth); ++i) {
    const auto level = static_cast<png_byte>(GrayEntry(i));
    picture.palette.push_back({level, level, level});
  }
  KTempDir dir;
  EXPECT_TRUE(WritePngWithLibpng(dir.Path("palette.png"), picture));
  Bytes file = KReadFileBytes(dir.Path("palette.png"));
  const size_t plte = ChunkAt(file, "PLTE");
  EXPECT_NE(plte, 0u);
  const auto kept = static_cast<std::uint32_t>(3 * entries);
  file.erase(file.begin() + static_cast<long>(plte + 8 + kept),
             file.begin() + static_cast<long>(plte + 8 + BigEndian32(file, plte)));
  for (int i = 0; i < 4; ++i) file[plte + i] = static_cast<unsigned char>(kept >> (24 - 8 * i));
  const std::uint32_t crc = ReferenceCrc(&file[plte + 4], 4 + kept);
  for (int i = 0; i < 4; ++i) file[plte + 8 + kept + i] = static_cast<unsigned char>(crc >> (24 - 8 * i));
  return file;
}

// Gray palettes load into BW8 as their levels at every index depth, plain and interlaced, for rows that
// end inside a byte and for images of one row or one column, where some interlace passes are empty;
// indices past the palette are black.
TEST(PngReader, GrayPalettesOfEveryDepthAndWidthLoadIntoBW8) {
  KTempDir dir;
  const struct { int width, height; } kSizes[] = {{1, 1}, {1, 9}, {9, 1}, {13, 11}, {33, 6}};
  for (int depth : {1, 2, 4, 8}) {
    const int entries = depth == 8 ? 200 : (1 << depth) - 1;
    for (int interlace : {PNG_INTERLACE_NONE, PNG_INTERLACE_ADAM7}) {
      for (const auto& size : kSizes) {
        SCOPED_TRACE(std::to_string(depth) + " bits, " + std::to_string(size.width) + " x " +
                     std::to_string(size.height) + (interlace ? " interlaced" : ""));
        const std::string path = dir.Path("gray-palette.png");
        ASSERT_TRUE(KWriteFileBytes(path, GrayPaletteFile(depth, size.width, size.height, interlace, entries)));
        KImageBW8 image(1, 1);
        short format = -1;
        ASSERT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS);
        EXPECT_EQ(format, K_FILE_FORMAT_PNG_GRAY);
        ASSERT_EQ(image.GetWidth(), size.width);
        ASSERT_EQ(image.GetHeight(), size.height);
        for (int y = 0; y < size.height; ++y) {
          for (int x = 0; x < size.width; ++x) {
            const unsigned index = IndexAt(depth, x, y);
            ASSERT_EQ(image.GetPixel(x, y), index < static_cast<unsigned>(entries) ? GrayEntry(index) : 0u)
                << x << "," << y << " index " << index;
          }
        }
      }
    }
  }
}

// An interlaced 1-bit gray palette of 4000 x 4000 loads with its 16 MB target and a margin of 16 MB:
// no decoded copy of the whole image (3 bytes a pixel as RGB would be 48 MB). The load runs in a child
// process under an address-space limit, which the sanitizers' shadow memory rules out.
TEST(PngReaderDeathTest, InterlacedGrayPaletteLoadsWithinItsTargetsMemory) {
  if (kSanitizedAddressSpace) GTEST_SKIP() << "an address-space limit needs a build without sanitizers";
  KTempDir dir;
  const std::string path = dir.Path("large-palette.png");
  constexpr int kSide = 4000;
  ASSERT_TRUE(KWriteFileBytes(path, GrayPaletteFile(1, kSide, kSide, PNG_INTERLACE_ADAM7, 2)));
  const auto check = [](int x, int y) { return GrayEntry(IndexAt(1, x, y)); };
  EXPECT_EXIT(LoadWithinGrowth(path, std::size_t{kSide} * kSide + (16 << 20), check), testing::ExitedWithCode(0),
              "load: 0");
}

// An ROI target keeps the pixels around it: rows are written within the ROI only.
TEST(PngReader, LoadsIntoAnRoiWithoutTouchingItsSurroundings) {
  KTempDir dir;
  const KFileCase& file = kFileCases[5];  // gray and alpha, 8 bits: decoded through a scratch row
  for (int interlace : {PNG_INTERLACE_NONE, PNG_INTERLACE_ADAM7}) {
    const std::string path = dir.Path("roi.png");
    ASSERT_TRUE(WritePngWithLibpng(path, PictureOf(file, interlace)));
    KImageBW8 parent(kWidth + 6, kHeight + 4);
    for (int y = 0; y < parent.GetHeight(); ++y)
      for (int x = 0; x < parent.GetWidth(); ++x) parent.SetPixel(77, x, y);
    KROIBW8 roi(&parent, 3, 2, kWidth, kHeight);
    short format = -1;
    ASSERT_EQ(KLoadImage(&roi, path.c_str(), format), K_SUCCESS);
    for (int y = 0; y < parent.GetHeight(); ++y) {
      for (int x = 0; x < parent.GetWidth(); ++x) {
        const bool inside = x >= 3 && x < 3 + kWidth && y >= 2 && y < 2 + kHeight;
        ASSERT_EQ(parent.GetPixel(x, y), inside ? GrayAt(file, x - 3, y - 2) : 77) << x << "," << y;
      }
    }
    KROIBW8 narrow(&parent, 0, 0, kWidth - 1, kHeight);
    EXPECT_EQ(KLoadImage(&narrow, path.c_str(), format), K_ERROR_IMAGE_SIZES_DIFFER);
  }
}

KPngPicture SmallGray() { return PictureOf(kFileCases[3], PNG_INTERLACE_NONE); }

TEST(PngReader, ResolutionFromPhys) {
  KTempDir dir;
  struct Case {
    bool phys;
    int unit;
    float x, y;
    KMeasurementUnit* expectedUnit;
  };
  const Case cases[] = {{true, PNG_RESOLUTION_METER, 11811, 5906, &KUnit_m},
                        {true, PNG_RESOLUTION_UNKNOWN, 3, 2, &KUnitNone},
                        {false, 0, 1, 1, &KUnitNone}};
  for (const Case& c : cases) {
    KPngPicture picture = SmallGray();
    picture.hasPhys = c.phys;
    picture.physX = static_cast<std::uint32_t>(c.x), picture.physY = static_cast<std::uint32_t>(c.y);
    picture.physUnit = c.unit;
    const std::string path = dir.Path("phys.png");
    ASSERT_TRUE(WritePngWithLibpng(path, picture));
    KImageBW8 image(1, 1);
    image.SetResolution(300, 300, &KUnit_inch);
    short format = -1;
    ASSERT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS);
    ExpectResolution(image, c.x, c.y, c.expectedUnit);
  }
}

// tEXt, zTXt and iTXt alike give the four texts; the first chunk of a keyword counts, and other
// keywords are ignored.
TEST(PngReader, TextsFromEveryKindOfTextChunk) {
  KTempDir dir;
  KPngPicture picture = SmallGray();
  picture.texts = {{"Title", "Plain title", PNG_TEXT_COMPRESSION_NONE},
                   {"Author", "Compressed author", PNG_TEXT_COMPRESSION_zTXt},
                   {"Comment", "Caf\xC3\xA9 comment", PNG_ITXT_COMPRESSION_NONE},
                   {"Creation Time", "2024:01:02 03:04:05", PNG_ITXT_COMPRESSION_zTXt},
                   {"Title", "Second title", PNG_TEXT_COMPRESSION_NONE},
                   {"Software", "ignored", PNG_TEXT_COMPRESSION_NONE}};
  const std::string path = dir.Path("texts.png");
  ASSERT_TRUE(WritePngWithLibpng(path, picture));
  KImageBW8 image;
  short format = -1;
  ASSERT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS);
  EXPECT_STREQ(image.GetTitle(), "Plain title");
  EXPECT_STREQ(image.GetAuthor(), "Compressed author");
  EXPECT_STREQ(image.GetComment(), "Caf\xC3\xA9 comment");
  EXPECT_STREQ(image.GetDate(), "2024:01:02 03:04:05");
}

// Large ancillary chunks are not errors: 10 MB of text, stored or compressed, loads. A block of 1000
// letters repeats through it, which deflate shrinks about a hundred times: the file holds the text many
// times over once inflated.
TEST(PngReader, TenMegabytesOfTextLoad) {
  std::string block(1000, ' ');
  unsigned seed = 1;
  for (char& c : block) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<char>('a' + (seed >> 16) % 26);
  }
  std::string text;
  while (text.size() < (size_t{10} << 20)) text += block;
  text.resize(size_t{10} << 20);
  KTempDir dir;
  for (int compression : {PNG_TEXT_COMPRESSION_NONE, PNG_TEXT_COMPRESSION_zTXt}) {
    KPngPicture picture = SmallGray();
    picture.texts = {{"Comment", text, compression}};
    const std::string path = dir.Path("text.png");
    ASSERT_TRUE(WritePngWithLibpng(path, picture));
    KImageBW8 image;
    short format = -1;
    ASSERT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS);
    ASSERT_NE(image.GetComment(), nullptr);
    EXPECT_TRUE(image.GetComment() == text);
  }
}

// A PNG of a small gray image as bytes, written by libpng.
Bytes SmallGrayBytes(KPngPicture picture = SmallGray()) {
  KTempDir dir;
  EXPECT_TRUE(WritePngWithLibpng(dir.Path("small.png"), picture));
  return KReadFileBytes(dir.Path("small.png"));
}

KLoaded LoadBytes(const Bytes& bytes, KTempDir& dir) {
  const std::string path = dir.Path("bad.png");
  EXPECT_TRUE(KWriteFileBytes(path, bytes));
  return LoadAs<KImageBW8>(path);
}

// The file with its text chunks moved after the image data, just before IEND.
Bytes WithTextsAfterTheImage(const Bytes& file) {
  Bytes chunks(file.begin(), file.begin() + 8), texts, end;
  for (size_t at = 8; at + 8 <= file.size(); at += 12 + BigEndian32(file, at)) {
    const std::string type(file.begin() + static_cast<long>(at) + 4, file.begin() + static_cast<long>(at) + 8);
    Bytes& to = type == "tEXt" || type == "zTXt" || type == "iTXt" ? texts : type == "IEND" ? end : chunks;
    to.insert(to.end(), file.begin() + static_cast<long>(at),
              file.begin() + static_cast<long>(at + 12 + BigEndian32(file, at)));
  }
  chunks.insert(chunks.end(), texts.begin(), texts.end());
  chunks.insert(chunks.end(), end.begin(), end.end());
  return chunks;
}

// No buffer of the reader may be larger than what the file can hold once inflated, 1032 bytes for each of
// its bytes, and libspng keeps a compressed text in a buffer that it grows by doubling. 12 MiB of one
// letter deflate to about 12 KB, in a file that can hold about 12.7 MB: the text needs a 16 MiB buffer.
// That text is dropped, zTXt or compressed iTXt; the image and the texts before and after it load,
// whether the texts come before the image data or after it. A later chunk of the dropped text's keyword
// does not stand in for it.
TEST(PngReader, TextThatNeedsMoreThanTheFileCanHoldIsDropped) {
  KTempDir dir;
  const struct {
    int compression;
    const char* chunk;
  } kLargeTexts[] = {{PNG_TEXT_COMPRESSION_zTXt, "zTXt"}, {PNG_ITXT_COMPRESSION_zTXt, "iTXt"}};
  for (const auto& large : kLargeTexts) {
    KPngPicture picture = SmallGray();
    picture.texts = {{"Title", "before", PNG_TEXT_COMPRESSION_NONE},
                     {"Comment", std::string(12 << 20, 'k'), large.compression},
                     {"Author", "after", PNG_TEXT_COMPRESSION_zTXt},
                     {"Comment", "a later comment, which the first one overrules", PNG_TEXT_COMPRESSION_NONE}};
    const Bytes textsFirst = SmallGrayBytes(picture);
    ASSERT_LT(textsFirst.size() * 1032, size_t{16} << 20);
    ASSERT_LT(ChunkAt(textsFirst, large.chunk), ChunkAt(textsFirst, "IDAT"));
    const Bytes textsLast = WithTextsAfterTheImage(textsFirst);
    ASSERT_GT(ChunkAt(textsLast, large.chunk), ChunkAt(textsLast, "IDAT"));
    for (const Bytes* file : {&textsFirst, &textsLast}) {
      SCOPED_TRACE(std::string(large.chunk) + (file == &textsFirst ? " before the image data" : " after it"));
      const std::string path = dir.Path("large-text.png");
      ASSERT_TRUE(KWriteFileBytes(path, *file));
      KImageBW8 image(1, 1);
      short format = -1;
      ASSERT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS);
      EXPECT_EQ(format, K_FILE_FORMAT_PNG_GRAY);
      ASSERT_EQ(image.GetWidth(), kWidth);
      ExpectPixels(kFileCases[3], image);
      EXPECT_STREQ(image.GetTitle(), "before");
      EXPECT_EQ(image.GetComment(), nullptr);
      EXPECT_STREQ(image.GetAuthor(), "after");
    }
  }
}

// Whether a chunk of the dropped text's keyword before it gives the field is libspng's to say, as it would
// without the large text: a good one does, one that libspng drops (a bad CRC) does not, and the later
// chunk never does.
TEST(PngReader, AnEarlierChunkOfTheDroppedTextsKeywordRulesIfLibspngKeepsIt) {
  KPngPicture picture = SmallGray();
  picture.texts = {{"Comment", std::string(12 << 20, 'k'), PNG_TEXT_COMPRESSION_zTXt},
                   {"Comment", "later", PNG_TEXT_COMPRESSION_NONE}};
  const Bytes withLargeText = SmallGrayBytes(picture);
  const size_t large = ChunkAt(withLargeText, "zTXt");
  ASSERT_NE(large, 0u);
  KTempDir dir;
  for (const bool goodCrc : {true, false}) {
    SCOPED_TRACE(goodCrc ? "earlier chunk whole" : "earlier chunk with a bad CRC");
    Bytes file(withLargeText.begin(), withLargeText.begin() + static_cast<long>(large));
    AppendPngChunk(file, "tEXt", std::string("Comment\0first", 13));
    if (!goodCrc) file.back() ^= 1;
    file.insert(file.end(), withLargeText.begin() + static_cast<long>(large), withLargeText.end());
    const std::string path = dir.Path("earlier.png");
    ASSERT_TRUE(KWriteFileBytes(path, file));
    KImageBW8 image;
    short format = -1;
    ASSERT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS);
    if (goodCrc) {
      EXPECT_STREQ(image.GetComment(), "first");
    } else {
      EXPECT_EQ(image.GetComment(), nullptr);
    }
  }
}

// A zTXt chunk of `keyword` whose text is `count` letters k: a literal, then copies of 258 bytes at
// distance 1, in one deflate block of fixed codes. 13 bits make 258 bytes, so 1 GiB of text takes 6.5 MB.
Bytes LetterBombChunk(const char* keyword, std::uint64_t copies) {
  std::string data = std::string(keyword) + '\0' + '\0' + "\x78\x01";  // keyword, method, zlib header
  std::uint64_t bits = 0;
  int used = 0;
  const auto put = [&](std::uint32_t code, int length) {  // a code, its first bit first
    for (int i = length - 1; i >= 0; --i) {
      bits |= std::uint64_t{(code >> i) & 1u} << used;
      if (++used == 8) data += static_cast<char>(bits), bits = 0, used = 0;
    }
  };
  put(0b110, 3);  // the final block's bit, then type 01 (fixed codes) from its low bit up
  put(0x30 + 'k', 8);
  for (std::uint64_t i = 0; i < copies; ++i) put(0xC5, 8), put(0, 5);  // length 258, distance 1
  put(0, 7);                                                           // end of block
  if (used != 0) data += static_cast<char>(bits);
  const std::uint64_t n = 1 + 258 * copies;  // Adler-32 of n letters, in closed form
  const std::uint64_t a = (1 + n % 65521 * 'k') % 65521;
  const std::uint64_t b = (n % 65521 + (n % 65521) * ((n + 1) % 65521) % 65521 * 'k' % 65521 * 32761) % 65521;
  for (const std::uint64_t half : {b, a}) data += static_cast<char>(half >> 8), data += static_cast<char>(half);
  Bytes chunk;
  AppendPngChunk(chunk, "zTXt", data);
  return chunk;
}

// Above 2 MB the chunk limit is libspng's largest, 2 GiB, and a text of more than 1 GiB passes it. Two
// such texts are hidden one after the other; later chunks of their keywords do not stand in for them.
TEST(PngReader, EachTextOverTheLimitIsDropped) {
  const Bytes small = SmallGrayBytes();
  const size_t idat = ChunkAt(small, "IDAT");
  Bytes file(small.begin(), small.begin() + static_cast<long>(idat));
  AppendPngChunk(file, "tEXt", std::string("Title\0before", 12));
  const std::uint64_t copies = ((std::uint64_t{17} << 26) - 1) / 258;  // 1.0625 GiB of text
  for (const char* keyword : {"Comment", "Author"}) {
    const Bytes bomb = LetterBombChunk(keyword, copies);
    file.insert(file.end(), bomb.begin(), bomb.end());
  }
  AppendPngChunk(file, "tEXt", std::string("Comment\0later", 13));
  AppendPngChunk(file, "tEXt", std::string("Author\0later", 12));
  file.insert(file.end(), small.begin() + static_cast<long>(idat), small.end());
  ASSERT_GT(file.size() * 1032, std::uint64_t{1} << 31);
  KTempDir dir;
  const std::string path = dir.Path("two-bombs.png");
  ASSERT_TRUE(KWriteFileBytes(path, file));
  KImageBW8 image;
  short format = -1;
  ASSERT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS);
  ExpectPixels(kFileCases[3], image);
  EXPECT_STREQ(image.GetTitle(), "before");
  EXPECT_EQ(image.GetComment(), nullptr);
  EXPECT_EQ(image.GetAuthor(), nullptr);
}

TEST(PngReader, DamagedFilesFail) {
  KTempDir dir;
  const Bytes good = SmallGrayBytes();
  const size_t idat = ChunkAt(good, "IDAT");
  ASSERT_NE(idat, 0u);
  struct Case {
    const char* name;
    Bytes bytes;
    int error;
  };
  std::vector<Case> cases;
  for (size_t size : {size_t{20}, size_t{33}, idat + 10, good.size() - 12, good.size() - 1})
    cases.push_back({"cut", Bytes(good.begin(), good.begin() + static_cast<long>(size)), K_ERROR_PNG_READ});
  cases.push_back({"cut in the header", Bytes(good.begin(), good.begin() + 12), K_ERROR_FILE_READ});
  Bytes badCrc = good;
  badCrc[idat + 8 + BigEndian32(good, idat)] ^= 1;  // the IDAT's CRC
  cases.push_back({"IDAT CRC", badCrc, K_ERROR_PNG_READ});
  Bytes badData = good;
  badData[idat + 10] ^= 0x55;  // deflate data, CRC made right again
  const std::uint32_t length = BigEndian32(good, idat);
  const std::uint32_t crc = ReferenceCrc(&badData[idat + 4], 4 + length);
  for (int i = 0; i < 4; ++i) badData[idat + 8 + length + i] = static_cast<unsigned char>(crc >> (24 - 8 * i));
  cases.push_back({"deflate data", badData, K_ERROR_PNG_READ});
  KPngPicture palette = PictureOf(kFileCases[14], PNG_INTERLACE_NONE);
  const Bytes withPalette = SmallGrayBytes(palette);
  const size_t plte = ChunkAt(withPalette, "PLTE");
  ASSERT_NE(plte, 0u);
  Bytes noPalette(withPalette.begin(), withPalette.begin() + static_cast<long>(plte));
  noPalette.insert(noPalette.end(), withPalette.begin() + static_cast<long>(plte + 12 + BigEndian32(withPalette, plte)),
                   withPalette.end());
  cases.push_back({"palette file without PLTE", noPalette, K_ERROR_PNG_READ});
  Bytes notIhdr = good;
  notIhdr[12] = 'X';
  cases.push_back({"first chunk not IHDR", notIhdr, K_ERROR_BAD_FILE_FORMAT});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LoadBytes(c.bytes, dir).error, c.error);
  }
}

// An ancillary chunk with a bad CRC is dropped, not an error.
TEST(PngReader, AncillaryChunkWithBadCrcIsDropped) {
  KTempDir dir;
  KPngPicture picture = SmallGray();
  picture.texts = {{"Title", "dropped", PNG_TEXT_COMPRESSION_NONE}};
  Bytes bytes = SmallGrayBytes(picture);
  const size_t text = ChunkAt(bytes, "tEXt");
  ASSERT_NE(text, 0u);
  bytes[text + 8] ^= 0x20;  // 'T' to 't': the keyword changes, the CRC no longer matches
  const std::string path = dir.Path("crc.png");
  ASSERT_TRUE(KWriteFileBytes(path, bytes));
  KImageBW8 image;
  short format = -1;
  ASSERT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS);
  EXPECT_EQ(image.GetTitle(), nullptr);
}

// A file that claims more than it could hold is refused before the target grows: a 60000 x 60000 image
// in a file of a few hundred bytes, and a chunk longer than the rest of the file.
TEST(PngReader, LyingSizesAreRefusedBeforeAnyAllocation) {
  KTempDir dir;
  const Bytes good = SmallGrayBytes();
  Bytes huge = good;
  for (size_t at : {size_t{16}, size_t{20}}) {
    huge[at] = 0, huge[at + 1] = 0, huge[at + 2] = 0xEA, huge[at + 3] = 0x60;  // 60000
  }
  const std::uint32_t crc = ReferenceCrc(&huge[12], 17);
  for (int i = 0; i < 4; ++i) huge[29 + i] = static_cast<unsigned char>(crc >> (24 - 8 * i));
  ASSERT_LT(huge.size(), 400u);
  const KLoaded loaded = LoadBytes(huge, dir);
  EXPECT_EQ(loaded.error, K_ERROR_PNG_READ);
  EXPECT_EQ(loaded.width, 1);

  Bytes longChunk(good.begin(), good.begin() + 33);  // signature and IHDR
  AppendPngChunk(longChunk, "tEXt", "Comment");
  longChunk[33] = 0x40;  // the text claims 1 GiB
  longChunk.insert(longChunk.end(), good.begin() + 33, good.end());
  const KLoaded chunk = LoadBytes(longChunk, dir);
  EXPECT_EQ(chunk.error, K_ERROR_PNG_READ);
  EXPECT_EQ(chunk.width, 1);
}

TEST(PngReader, InfoDescribesTheFile) {
  KTempDir dir;
  struct Case {
    int file;  // index in kFileCases
    int interlace;
    int samples, bits, palette, alpha;
    const char* compression;
    const char* colorSpace;
  };
  const Case cases[] = {{3, PNG_INTERLACE_NONE, 1, 8, 0, 0, "Deflate", "gray"},
                        {6, PNG_INTERLACE_ADAM7, 2, 16, 0, 1, "Deflate, interlaced", "gray"},
                        {9, PNG_INTERLACE_NONE, 4, 8, 0, 1, "Deflate", "RGB"},
                        {12, PNG_INTERLACE_NONE, 1, 2, 1, 0, "Deflate", "palette"}};
  for (const Case& c : cases) {
    const std::string path = dir.Path("info.png");
    ASSERT_TRUE(WritePngWithLibpng(path, PictureOf(kFileCases[c.file], c.interlace)));
    KImageFileInfo info{};
    ASSERT_EQ(KGetImageFileInfo(path.c_str(), &info), K_SUCCESS);
    EXPECT_EQ(info.container, K_FILE_FORMAT_PNG);
    EXPECT_EQ(info.width, kWidth);
    EXPECT_EQ(info.height, kHeight);
    EXPECT_EQ(info.samplesPerPixel, c.samples);
    EXPECT_EQ(info.bitsPerSample, c.bits);
    EXPECT_EQ(info.hasPalette, c.palette);
    EXPECT_EQ(info.hasAlpha, c.alpha);
    EXPECT_EQ(info.pages, 1);
    EXPECT_STREQ(info.compression, c.compression);
    EXPECT_STREQ(info.colorSpace, c.colorSpace);
  }
}

}  // namespace
