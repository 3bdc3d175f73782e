// BMP layouts beyond the library's own files, built byte by byte by the test's own writer (KBmpBuilder),
// which is the independent source here: 4-bit and run-length palette files, 32-bit files, and the
// longer information headers.

#include <string>
#include <vector>

#include "kvbase/testing/bmp_builder.h"
#include "kvbase/testing/image_files_test_support.h"

namespace {

using namespace kvbase::testing;
using Palette = std::vector<std::uint32_t>;

constexpr K_ERRORS OK = K_SUCCESS, BIL = K_ERROR_BILEVEL_IMAGE_EXPECTED, GRA = K_ERROR_GRAY_IMAGE_EXPECTED,
                   UNS = K_ERROR_UNSUPPORTED_BMP_FORMAT, READ = K_ERROR_FILE_READ;

// A load of `file` into a fresh image: what it returned and told, and the image's rows top to bottom.
struct KResult {
  K_ERRORS error;
  short format;
  int width;
  int height;
  Bytes pixels;
};

template <typename Image>
KResult Load(const Bytes& file) {
  KTempDir dir;
  const std::string path = dir.Path("file.bmp");
  EXPECT_TRUE(KWriteFileBytes(path, file));
  Image image(1, 1);
  short format = -1;
  KResult result{
      static_cast<K_ERRORS>(KLoadImage(&image, path.c_str(), format)), format, image.GetWidth(), image.GetHeight(), {}};
  for (int y = 0; result.error == K_SUCCESS && y < image.GetHeight(); ++y)
    result.pixels.insert(result.pixels.end(), Row(image, y), Row(image, y) + RowBytes(image));
  return result;
}

K_ERRORS LoadError(const KPixelKind& kind, const Bytes& file) {
  KTempDir dir;
  EXPECT_TRUE(KWriteFileBytes(dir.Path("file.bmp"), file));
  const KLoaded loaded = LoadInto(kind, dir.Path("file.bmp"));
  EXPECT_EQ(loaded.width, loaded.error == K_SUCCESS ? loaded.width : 1) << "a refused file never resizes the target";
  return loaded.error;
}

// Blue, green, red of 0xRRGGBB colours, or their gray level (blue).
Bytes Bgr(const std::vector<std::uint32_t>& colours) {
  Bytes bytes;
  for (std::uint32_t c : colours)
    bytes.insert(bytes.end(), {Bytes::value_type(c), Bytes::value_type(c >> 8), Bytes::value_type(c >> 16)});
  return bytes;
}

// The palette files below are 3 x 2 pixels: indices 1, 2, 3 in the top row and 4, 5, 0 in the bottom one.
enum class KPaletteLayout { k4Bit, k4BitCore, k4BitTopDown, k4BitV5, kRle8, kRle4, kRle8TopDown };
const char* const kLayoutNames[] = {"4 bits", "4 bits, core header", "4 bits, top-down", "4 bits, V5 header", "RLE8",
                                    "RLE4",   "RLE8, top-down"};

Bytes PaletteFile(KPaletteLayout layout, const Palette& palette) {
  const Bytes top4 = {0x12, 0x30, 0, 0}, bottom4 = {0x45, 0x00, 0, 0};
  const Bytes top8 = {1, 1, 1, 2, 1, 3}, bottom8 = {0, 3, 4, 5, 0, 0};  // encoded runs; an absolute run, padded
  const Bytes endRow = {0, 0}, endBitmap = {0, 1};
  auto join = [](std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
  };
  switch (layout) {
    case KPaletteLayout::k4Bit:
      return KBmpBuilder().Size(3, 2).Bits(4).Palette(palette).Pixels(join({bottom4, top4})).Build();
    case KPaletteLayout::k4BitCore:
      return KBmpBuilder(12).Size(3, 2).Bits(4).Palette(palette).Pixels(join({bottom4, top4})).Build();
    case KPaletteLayout::k4BitTopDown:
      return KBmpBuilder().Size(3, -2).Bits(4).Palette(palette).Pixels(join({top4, bottom4})).Build();
    case KPaletteLayout::k4BitV5:
      return KBmpBuilder(124).Size(3, 2).Bits(4).Palette(palette).Pixels(join({bottom4, top4})).Build();
    case KPaletteLayout::kRle8:
      return KBmpBuilder()
          .Size(3, 2)
          .Bits(8, 1)
          .Palette(palette)
          .Pixels(join({bottom8, endRow, top8, endBitmap}))
          .Build();
    case KPaletteLayout::kRle4: {
      const Bytes top = {0, 3, 0x12, 0x30}, bottom = {2, 0x45, 1, 0x00};  // an absolute run; encoded runs
      return KBmpBuilder()
          .Size(3, 2)
          .Bits(4, 2)
          .Palette(palette)
          .Pixels(join({bottom, endRow, top, endBitmap}))
          .Build();
    }
    case KPaletteLayout::kRle8TopDown:
      return KBmpBuilder()
          .Size(3, -2)
          .Bits(8, 1)
          .Palette(palette)
          .Pixels(join({top8, endRow, bottom8, endBitmap}))
          .Build();
  }
  return {};
}

TEST(BmpLayouts, PaletteFilesExpandIntoC24AndGrayPalettesIntoBW8) {
  const Palette colours = {0x102030, 0xFF0000, 0x00FF00, 0x0000FF, 0x808080, 0xABCDEF};
  const Palette grays = {0xF0F0F0, 0xC8C8C8, 0xA0A0A0, 0x787878, 0x505050, 0x282828};
  const auto expected = [](const Palette& p) { return Bgr({p[1], p[2], p[3], p[4], p[5], p[0]}); };
  for (int l = 0; l < 7; ++l) {
    SCOPED_TRACE(kLayoutNames[l]);
    const auto layout = static_cast<KPaletteLayout>(l);
    const Bytes colourFile = PaletteFile(layout, colours), grayFile = PaletteFile(layout, grays);
    const KResult colour = Load<KImageC24>(colourFile);
    EXPECT_EQ((std::vector<int>{colour.error, colour.format, colour.width, colour.height}),
              (std::vector<int>{OK, K_FILE_FORMAT_BMP_COLOR, 3, 2}));
    EXPECT_EQ(colour.pixels, expected(colours));
    EXPECT_EQ(Load<KImageC24>(grayFile).pixels, expected(grays)) << "a gray palette loads into C24 too";
    const KResult gray = Load<KImageBW8>(grayFile);
    EXPECT_EQ((std::vector<int>{gray.error, gray.format}), (std::vector<int>{OK, K_FILE_FORMAT_BMP_GRAY}));
    EXPECT_EQ(gray.pixels, (Bytes{0xC8, 0xA0, 0x78, 0x50, 0x28, 0xF0})) << "gray levels, not indices";

    const std::vector<std::pair<const KPixelKind*, K_ERRORS>> refusals = {{&K_PIXEL_KIND_BW8, GRA},
                                                                          {&K_PIXEL_KIND_BW1, BIL},
                                                                          {&K_PIXEL_KIND_BW16, UNS},
                                                                          {&K_PIXEL_KIND_C15, UNS},
                                                                          {&K_PIXEL_KIND_C16, UNS}};
    for (const auto& [kind, error] : refusals) EXPECT_EQ(LoadError(*kind, colourFile), error) << kind->name;
  }

  // Uncompressed 8-bit files keep loading their indices, whatever the palette, and only into BW8.
  const Bytes indices8 = KBmpBuilder().Size(3, 1).Bits(8).Palette(colours).Pixels({5, 0, 200, 0}).Build();
  EXPECT_EQ(Load<KImageBW8>(indices8).pixels, (Bytes{5, 0, 200}));
  EXPECT_EQ(LoadError(K_PIXEL_KIND_C24, indices8), K_ERROR_COLOR_IMAGE_EXPECTED);
  // Indices past the colour table are black; a table larger than the bit count allows is cut to it, and
  // one that the pixel data cuts short has the entries before it.
  const Bytes past = KBmpBuilder().Size(3, 1).Bits(8, 1).Palette(colours).Pixels({1, 200, 1, 5, 1, 9, 0, 1}).Build();
  EXPECT_EQ(Load<KImageC24>(past).pixels, Bgr({0, 0xABCDEF, 0}));
  const Bytes large =
      KBmpBuilder().Size(2, 1).Bits(4).Palette({0x0000FF, 0xFF0000}, 0xFFFFFFFF).Pixels({0x10, 0, 0, 0}).Build();
  EXPECT_EQ(Load<KImageC24>(large).pixels, Bgr({0xFF0000, 0x0000FF}));
}

// A 2 x 2 colour picture in 32-bit files of every mask layout: top row (10, 20, 30), (40, 50, 60), bottom
// row (70, 80, 90), (100, 110, 120) as red, green, blue. `order` gives the byte of red, green, blue and the
// fourth byte (which holds 0xA5) in each pixel.
Bytes Pixels32(const int (&order)[4], bool topDown) {
  const unsigned char rgb[4][3] = {{70, 80, 90}, {100, 110, 120}, {10, 20, 30}, {40, 50, 60}};  // bottom row first
  Bytes bytes;
  for (int i = 0; i < 4; ++i) {
    unsigned char pixel[4];
    for (int c = 0; c < 3; ++c) pixel[order[c]] = rgb[topDown ? i ^ 2 : i][c];
    pixel[order[3]] = 0xA5;
    bytes.insert(bytes.end(), pixel, pixel + 4);
  }
  return bytes;
}

TEST(BmpLayouts, ThirtyTwoBitFilesLoadIntoC24WhenTheirColoursAreWholeBytes) {
  struct Case {
    const char* what;
    std::uint32_t headerSize, compression;
    std::vector<std::uint32_t> masks;
    int order[4];  // bytes of red, green, blue, other
    bool topDown;
    K_ERRORS error;
  };
  const Case cases[] = {
      {"no bit fields: blue, green, red, unused", 40, 0, {}, {2, 1, 0, 3}, false, OK},
      {"bit fields of the same layout", 40, 3, {0xFF0000, 0xFF00, 0xFF}, {2, 1, 0, 3}, false, OK},
      {"bit fields: red, green, blue, unused", 40, 3, {0xFF, 0xFF00, 0xFF0000}, {0, 1, 2, 3}, false, OK},
      {"alpha bit fields after a 40-byte header", 40, 6, {0xFF00, 0xFF0000, 0xFF000000, 0xFF}, {1, 2, 3, 0}, true, OK},
      {"V4 header, masks inside it", 108, 3, {0xFF00, 0xFF0000, 0xFF000000, 0xFF}, {1, 2, 3, 0}, false, OK},
      {"V5 header, top-down", 124, 3, {0xFF0000, 0xFF, 0xFF00, 0xFF000000}, {2, 0, 1, 3}, true, OK},
      {"V5 header without bit fields: its masks mean nothing",
       124,
       0,
       {0xFF, 0xFF00, 0xFF0000},
       {2, 1, 0, 3},
       false,
       OK},
      {"56-byte header", 56, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, {2, 1, 0, 3}, false, OK},
      {"10-bit colours", 40, 3, {0x3FF00000, 0xFFC00, 0x3FF}, {2, 1, 0, 3}, false, UNS},
      {"two colours in one byte", 124, 3, {0xFF0000, 0xFF0000, 0xFF}, {2, 1, 0, 3}, false, UNS},
      {"a mask of no byte", 40, 3, {0xFF0000, 0xFF00, 0}, {2, 1, 0, 3}, false, UNS},
  };
  const Bytes expected = Bgr({0x0A141E, 0x28323C, 0x46505A, 0x646E78});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes file = KBmpBuilder(c.headerSize)
                           .Size(2, c.topDown ? -2 : 2)
                           .Bits(32, c.compression)
                           .Masks(c.masks)
                           .Pixels(Pixels32(c.order, c.topDown))
                           .Build();
    const KResult loaded = Load<KImageC24>(file);
    EXPECT_EQ(loaded.error, c.error);
    if (c.error != OK) continue;
    EXPECT_EQ(loaded.format, K_FILE_FORMAT_BMP_COLOR);
    EXPECT_EQ(loaded.pixels, expected);
    for (const auto& [kind, error] : std::vector<std::pair<const KPixelKind*, K_ERRORS>>{{&K_PIXEL_KIND_BW1, BIL},
                                                                                         {&K_PIXEL_KIND_BW8, GRA},
                                                                                         {&K_PIXEL_KIND_BW16, GRA},
                                                                                         {&K_PIXEL_KIND_C15, UNS},
                                                                                         {&K_PIXEL_KIND_C16, UNS}})
      EXPECT_EQ(LoadError(*kind, file), error) << kind->name;
  }
}

// The longer headers begin like the 40-byte one: every layout the 40-byte header has loads from them,
// with the masks of bit fields read from inside the header.
TEST(BmpLayouts, LongerHeadersLoadLikeTheFortyByteOne) {
  const Bytes rows16 = {0x1F, 0xF8, 0xE0, 0x07, 0, 0xFF, 0x34, 0x12};  // 2 x 2 words, bottom row first
  for (std::uint32_t size : {40u, 52u, 56u, 108u, 124u}) {
    SCOPED_TRACE(size);
    const Bytes c16 = KBmpBuilder(size).Size(2, 2).Bits(16, 3).Masks({0xF800, 0x07E0, 0x001F}).Pixels(rows16).Build();
    const Bytes c15 = KBmpBuilder(size).Size(2, 2).Bits(16, 3).Masks({0x7C00, 0x03E0, 0x001F}).Pixels(rows16).Build();
    const Bytes plain16 = KBmpBuilder(size).Size(2, 2).Bits(16).Pixels(rows16).Build();
    const Bytes bgr = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    const Bytes c24 = KBmpBuilder(size).Size(2, 2).Bits(24).Pixels(bgr).Build();
    const Bytes bw8 = KBmpBuilder(size).Size(3, 1).Bits(8).Palette(Palette(256, 0x0000FF)).Pixels({9, 8, 7, 0}).Build();
    const Bytes bw1 = KBmpBuilder(size).Size(9, 1).Bits(1).Palette({0, 0xFFFFFF}).Pixels({0x81, 0x80, 0, 0}).Build();
    const Bytes topRowFirst16 = {0, 0xFF, 0x34, 0x12, 0x1F, 0xF8, 0xE0, 0x07};
    EXPECT_EQ(Load<KImageC16>(c16).pixels, topRowFirst16);
    EXPECT_EQ(Load<KImageC15>(c15).pixels, topRowFirst16);
    EXPECT_EQ(Load<KImageC15>(plain16).pixels, topRowFirst16);
    EXPECT_EQ(LoadError(K_PIXEL_KIND_C15, c16), UNS);
    EXPECT_EQ(Load<KImageC24>(c24).pixels, (Bytes{7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(Load<KImageBW8>(bw8).pixels, (Bytes{9, 8, 7}));
    const KResult bits = Load<KImageBW1>(bw1);
    EXPECT_EQ((std::vector<int>{bits.error, bits.format, bits.width}),
              (std::vector<int>{OK, K_FILE_FORMAT_BMP_BILEVEL, 9}));
    // A named alpha mask (inside the longer headers, after the 40-byte one with alpha bit fields) is
    // dropped: the C15 pixels keep their top bit clear.
    const Bytes alpha15 = KBmpBuilder(size)
                              .Size(2, 2)
                              .Bits(16, size == 40 ? 6 : 3)
                              .Masks({0x7C00, 0x03E0, 0x001F, 0x8000})
                              .Pixels(rows16)
                              .Build();
    // A mask past the 16 bits (a 32-bit default copied over) names nothing: the bits stay.
    const Bytes wideAlpha = KBmpBuilder(size)
                                .Size(2, 2)
                                .Bits(16, size == 40 ? 6 : 3)
                                .Masks({0x7C00, 0x03E0, 0x001F, 0xFF000000})
                                .Pixels(rows16)
                                .Build();
    if (size != 52) {
      EXPECT_EQ(Load<KImageC15>(alpha15).pixels, (Bytes{0, 0x7F, 0x34, 0x12, 0x1F, 0x78, 0xE0, 0x07}));
      EXPECT_EQ(Load<KImageC15>(wideAlpha).pixels, topRowFirst16);
    }
  }
}

// Files that claim more than their bytes hold are refused before the target is resized; streams that end
// early fail after it.
TEST(BmpLayouts, BadInputIsRefused) {
  const Palette gray16(16, 0x808080);
  const Bytes fourBit =
      KBmpBuilder().Size(3, 2).Bits(4).Palette(gray16).Pixels({0x12, 0x30, 0, 0, 0x45, 0, 0, 0}).Build();
  auto cut = [](Bytes bytes, size_t count) { return Bytes(bytes.begin(), bytes.end() - count); };
  auto patched = [](Bytes bytes, size_t at, std::uint32_t value) {
    PutLe32(bytes, at, value);
    return bytes;
  };
  const Bytes rle255 = KBmpBuilder().Size(255, 2).Bits(8, 1).Palette({0}).Pixels({255, 7, 0, 1}).Build();
  const Bytes rleCut = KBmpBuilder().Size(4, 3).Bits(8, 1).Palette({0}).Pixels({4, 7, 0, 0, 2, 7}).Build();
  const Bytes bits32 = KBmpBuilder().Size(2, 2).Bits(32, 3).Masks({0xFF0000, 0xFF00, 0xFF}).Pixels(Bytes(16)).Build();
  struct Case {
    const char* what;
    Bytes file;
    K_ERRORS error;
    int width;  // of the target after the load
  };
  const Case cases[] = {
      {"palette past the end of the file", cut(fourBit, 8 + 40), READ, 1},
      {"4-bit rows past the end of the file", cut(fourBit, 4), READ, 1},
      {"32-bit rows past the end of the file", cut(bits32, 4), READ, 1},
      {"masks past the end of the file", cut(bits32, 16 + 4), READ, 1},
      {"255 x 2 pixels in a stream of 4 bytes: 255 pixels per two bytes", rle255, OK, 255},
      {"255 x 3 pixels in a stream of 4 bytes", patched(rle255, 22, 3), READ, 1},
      {"60000 x 60000 run-length pixels", patched(patched(rle255, 18, 60000), 22, 60000), READ, 1},
      {"run-length pixels beyond the end of the file", patched(rle255, 10, 0xFFFFFFF0u), READ, 1},
      {"a stream that ends before the image", rleCut, READ, 4},
      {"RLE8 of 4 bits", patched(fourBit, 30, 1), UNS, 1},
      {"RLE4 of 8 bits", patched(rle255, 30, 2), UNS, 1},
      {"2 bits per pixel", patched(fourBit, 28, 2), UNS, 1},
      {"JPEG inside", patched(fourBit, 30, 4), UNS, 1},
      {"a 64-byte header", patched(fourBit, 14, 64), UNS, 1},
  };
  for (const Case& c : cases) {
    KTempDir dir;
    ASSERT_TRUE(KWriteFileBytes(dir.Path("bad.bmp"), c.file));
    const KLoaded loaded = LoadInto(K_PIXEL_KIND_C24, dir.Path("bad.bmp"));
    EXPECT_EQ((std::vector<int>{loaded.error, loaded.width}), (std::vector<int>{c.error, c.width})) << c.what;
  }
}

// Converted rows land in the target's own columns: an ROI inside a larger image keeps the pixels around it.
TEST(BmpLayouts, ConvertedRowsStayInsideAnRoi) {
  const Palette colours = {0x102030, 0xFF0000, 0x00FF00, 0x0000FF, 0x808080, 0xABCDEF};
  const Bytes bits32 = KBmpBuilder().Size(3, 2).Bits(32).Pixels(Bytes(24, 0x11)).Build();
  for (const Bytes& file :
       {PaletteFile(KPaletteLayout::kRle8, colours), PaletteFile(KPaletteLayout::k4Bit, colours), bits32}) {
    KTempDir dir;
    ASSERT_TRUE(KWriteFileBytes(dir.Path("roi.bmp"), file));
    KImageC24 image(7, 4);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 7; ++x) image.SetPixel(KC24(0xEE, 0xEE, 0xEE), x, y);
    KROIC24 roi(&image, 2, 1, 3, 2);
    short format = -1;
    ASSERT_EQ(KLoadImage(&roi, dir.Path("roi.bmp").c_str(), format), K_SUCCESS);
    int untouched = 0;
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 7; ++x) untouched += image.GetPixel(x, y).byte1 == 0xEE;
    EXPECT_EQ(untouched, 7 * 4 - 3 * 2);
  }
}

TEST(BmpLayouts, FileInfoNamesTheLayout) {
  const Palette colours(16, 0x123456);
  const struct {
    Bytes file;
    std::vector<int> numbers;  // samples, bits, palette, alpha
    std::string compression, colorSpace;
  } cases[] = {
      {PaletteFile(KPaletteLayout::kRle8, colours), {1, 8, 1, 0}, "RLE8", "palette"},
      {PaletteFile(KPaletteLayout::kRle4, colours), {1, 4, 1, 0}, "RLE4", "palette"},
      {PaletteFile(KPaletteLayout::k4Bit, colours), {1, 4, 1, 0}, "none", "palette"},
      {KBmpBuilder().Size(2, 2).Bits(32).Pixels(Bytes(16)).Build(), {3, 8, 0, 0}, "none", "RGB"},
      {KBmpBuilder(124).Size(2, 2).Bits(32, 3).Masks({0xFF0000, 0xFF00, 0xFF, 0xFF000000}).Pixels(Bytes(16)).Build(),
       {4, 8, 0, 1},
       "bit fields",
       "RGB"},
      {KBmpBuilder().Size(2, 2).Bits(24, 3).Pixels(Bytes(16)).Build(), {3, 8, 0, 0}, "none", "RGB"},
  };
  for (const auto& c : cases) {
    KTempDir dir;
    ASSERT_TRUE(KWriteFileBytes(dir.Path("info.bmp"), c.file));
    KImageFileInfo info{};
    ASSERT_EQ(KGetImageFileInfo(dir.Path("info.bmp").c_str(), &info), K_SUCCESS);
    EXPECT_EQ((std::vector<int>{info.samplesPerPixel, info.bitsPerSample, info.hasPalette, info.hasAlpha}), c.numbers)
        << c.compression;
    EXPECT_EQ(std::string(info.compression), c.compression);
    EXPECT_EQ(std::string(info.colorSpace), c.colorSpace);
  }
}

}  // namespace
