// The TIFF reader on files built field by field; files of every kind written by libtiff: tiff_interop_test.

#include <algorithm>
#include <functional>

#include "kvbase/files/internal/deflate.h"
#include "kvbase/files/internal/tiff_lzw.h"
#include "kvbase/testing/image_files_test_support.h"
#include "kvbase/testing/memory_limit.h"
#include "kvbase/testing/tiff_builder.h"
#include "kvbase/testing/trace_capture.h"

namespace {

using namespace kvbase::testing;
using Counts = std::vector<std::uint32_t>;

// A one-sample file of the given depth and compression, without strips.
KTiffBuilder GrayFile(bool big, std::uint32_t width, std::uint32_t height, std::uint32_t bits,
                      std::uint32_t compression = 1) {
  KTiffBuilder tiff(big);
  tiff.Long(256, {width}).Long(257, {height}).Short(258, {bits}).Short(259, {compression});
  tiff.Short(262, {1}).Short(277, {1});
  return tiff;
}

// A sound 4 x 2 8-bit file with one change.
Bytes Gray8With(const std::function<void(KTiffBuilder&)>& change) {
  KTiffBuilder tiff = GrayFile(false, 4, 2, 8);
  change(tiff.Strips({Bytes(8, 1)}));
  return tiff.Build();
}

Bytes Lzw(const Bytes& bytes) {
  Bytes out(kvbase::internal::KLzwEncoder::Bound(bytes.size()));
  kvbase::internal::KLzwEncoder encoder;
  out.resize(encoder.Encode(bytes.data(), bytes.size(), out.data()));
  return out;
}

Bytes Deflate(const Bytes& bytes) {
  kvbase::internal::KDeflateEncoder encoder(6);
  Bytes out(encoder.Bound(bytes.size()));
  out.resize(encoder.Encode(bytes.data(), bytes.size(), out.data(), out.size()));
  return out;
}

// A palette file of `bits` whose colour map has the high bytes `entry(i, channel)`.
KTiffBuilder PaletteFile(std::uint32_t width, std::uint32_t height, std::uint32_t bits,
                         const std::function<unsigned(int, int)>& entry) {
  KTiffBuilder tiff = GrayFile(false, width, height, bits);
  Counts map(3u << bits);
  for (size_t i = 0; i < map.size(); ++i)
    map[i] = entry(static_cast<int>(i % (1u << bits)), static_cast<int>(i >> bits)) << 8 | 0x80;
  tiff.Short(262, {3}).Short(320, map);
  return tiff;
}

// A one-sample file cut into tiles of `side` x `side`.
KTiffBuilder TiledFile(std::uint32_t width, std::uint32_t height, std::uint32_t bits, std::uint32_t side,
                       std::uint32_t compression = 1) {
  KTiffBuilder tiff = GrayFile(false, width, height, bits, compression);
  tiff.Long(322, {side}).Long(323, {side});
  return tiff;
}

Bytes Patched(Bytes bytes, size_t at, const Bytes& with) {
  std::copy(with.begin(), with.end(), bytes.begin() + at);
  return bytes;
}

class TiffReaderTest : public ::testing::Test {
 protected:
  std::string Write(const Bytes& bytes) {
    const std::string path = dir_.Path("in.tif");
    EXPECT_TRUE(KWriteFileBytes(path, bytes));
    return path;
  }

  KTempDir dir_;
};

// Every refusal, of files the target cannot take and of broken files, comes before the target is
// touched: the 1 x 1 image keeps its size, whatever size the file claims.
TEST_F(TiffReaderTest, FilesThatCannotBeLoadedLeaveTheTargetUntouched) {
  KTraceCapture quiet;
  const Bytes gray8 = Gray8With([](KTiffBuilder&) {});
  KTiffBuilder rgbFile(false);
  rgbFile.Long(256, {2}).Long(257, {1}).Short(258, {8, 8, 8}).Short(259, {1}).Short(262, {2}).Short(277, {3});
  const Bytes rgb = rgbFile.Strips({Bytes(6, 1)}).Build();
  // 1000 PackBits strips, all of them the same 200 bytes (12800 zeros) at the end of the file.
  KTiffBuilder shared = GrayFile(false, 12800, 1000, 8, 32773);
  shared.Long(279, Counts(1000, 200)).Long(273, Counts(1000, 0));
  shared.Long(273, Counts(1000, static_cast<std::uint32_t>(shared.Build().size())));
  Bytes runs;
  for (int i = 0; i < 100; ++i) runs.insert(runs.end(), {0x81, 0});
  constexpr K_ERRORS UNS = K_ERROR_UNSUPPORTED_TIFF_FORMAT, BAD = K_ERROR_BAD_FILE_FORMAT, READ = K_ERROR_FILE_READ;
  const KPixelKind &BW1 = K_PIXEL_KIND_BW1, &BW8 = K_PIXEL_KIND_BW8, &BW16 = K_PIXEL_KIND_BW16;
  const struct {
    const char* name;
    Bytes file;
    const KPixelKind& target;
    K_ERRORS expected;
  } cases[] = {
      {"white is zero", Gray8With([](KTiffBuilder& t) { t.Short(262, {0}); }), BW8, UNS},
      {"palette without a colour map", Gray8With([](KTiffBuilder& t) { t.Short(262, {3}); }), BW8, UNS},
      {"no photometric", Gray8With([](KTiffBuilder& t) { t.Remove(262); }), BW8, UNS},
      {"JPEG", Gray8With([](KTiffBuilder& t) { t.Short(259, {7}); }), BW8, UNS},
      {"reduced resolution", Gray8With([](KTiffBuilder& t) { t.Long(254, {1}); }), BW8, UNS},
      // Samples that are not unsigned integers with the first pixel in the high bits would load as wrong pixels.
      {"bits in reversed order", GrayFile(false, 8, 2, 1).Short(266, {2}).Strips({{0x80, 0x01}}).Build(), BW1, UNS},
      {"8 bits in reversed order", Gray8With([](KTiffBuilder& t) { t.Short(266, {2}); }), BW8, UNS},
      {"signed samples", GrayFile(false, 2, 2, 16).Short(339, {2}).Strips({Bytes(8, 1)}).Build(), BW16, UNS},
      {"floating-point samples", GrayFile(false, 2, 2, 16).Short(339, {3}).Strips({Bytes(8, 1)}).Build(), BW16, UNS},
      {"no width", Gray8With([](KTiffBuilder& t) { t.Remove(256); }), BW8, BAD},
      {"no byte counts for two strips", GrayFile(false, 4, 2, 8).Strips({Bytes(4, 1), Bytes(4, 2)}, false).Build(), BW8,
       BAD},
      {"RGB into BW8", rgb, BW8, K_ERROR_GRAY_IMAGE_EXPECTED},
      {"RGB into BW16", rgb, BW16, UNS},
      {"RGB into C15", rgb, K_PIXEL_KIND_C15, UNS},
      {"gray into C24", gray8, K_PIXEL_KIND_C24, K_ERROR_COLOR_IMAGE_EXPECTED},
      {"8-bit into BW16", gray8, BW16, UNS},
      {"8-bit into BW1", gray8, BW1, UNS},
      {"16-bit into BW8", GrayFile(false, 2, 2, 16).Strips({Bytes(8, 1)}).Build(), BW8, UNS},
      {"1-bit into BW16", GrayFile(false, 8, 2, 1).Strips({Bytes(2, 1)}).Build(), BW16, UNS},
      {"strip past the end", Gray8With([](KTiffBuilder& t) { t.Raw(273, 4, 1, 100000); }), BW8, READ},
      {"strips cannot fill the image", GrayFile(false, 4, 3, 8).Strips({Bytes(8, 1)}).Build(), BW8, READ},
      {"huge image from a few bytes", GrayFile(false, 100000, 100000, 8).Strips({Bytes(64, 1)}).Build(), BW8, READ},
      {"huge PackBits image from a few bytes", GrayFile(false, 100000, 100000, 8, 32773).Strips({{0x81, 0}}).Build(),
       BW8, READ},
      {"huge strip count", Gray8With([](KTiffBuilder& t) { t.Raw(273, 4, 0x40000000, 8).Raw(279, 4, 0x40000000, 8); }),
       BW8, BAD},
      {"fewer byte counts than strips",
       GrayFile(false, 4, 2, 8).Strips({Bytes(4, 1), Bytes(4, 2)}).Long(279, {4}).Build(), BW8, BAD},
      {"PackBits strips sharing their bytes", shared.Tail(runs).Build(), BW8, READ},
      {"width beyond int", GrayFile(false, 0x80000000u, 1, 8).Strips({Bytes(8, 1)}).Build(), BW8, K_ERROR_ALLOCATION},
      {"directory count past the end", Patched(gray8, 8, {500 & 0xFF, 500 >> 8}), BW8, READ},
      {"directory past the end", Patched(gray8, 4, {0xF0, 0xFF, 0xFF, 0xFF}), BW8, READ},
      {"resolution past the end", Gray8With([](KTiffBuilder& t) { t.Raw(282, 5, 1, 0x7FFFFFF0u); }), BW8, READ},
  };
  for (const auto& c : cases) {
    const KLoaded loaded = LoadInto(c.target, Write(c.file));
    EXPECT_EQ(loaded.error, c.expected) << c.name;
    EXPECT_EQ(loaded.width, 1) << c.name;
  }
}

// The layouts beyond plain strips are refused, too, before the target is touched: what no kind
// holds, what the reader does not take, and blocks the file's bytes cannot fill through the codec's
// largest expansion.
TEST_F(TiffReaderTest, NewLayoutsThatCannotBeLoadedLeaveTheTargetUntouched) {
  KTraceCapture quiet;
  constexpr K_ERRORS UNS = K_ERROR_UNSUPPORTED_TIFF_FORMAT, BAD = K_ERROR_BAD_FILE_FORMAT, READ = K_ERROR_FILE_READ;
  const KPixelKind &BW1 = K_PIXEL_KIND_BW1, &BW8 = K_PIXEL_KIND_BW8, &BW16 = K_PIXEL_KIND_BW16, &C24 = K_PIXEL_KIND_C24;
  const auto rgbFile = [](std::vector<std::uint32_t> bits, std::uint32_t samples) {
    KTiffBuilder tiff(false);
    tiff.Long(256, {2}).Long(257, {1}).Short(258, bits).Short(262, {2}).Short(277, {samples});
    return tiff.Strips({Bytes(2 * samples * (bits[0] / 8), 1)}).Build();
  };
  const auto colour = [](int i, int c) { return static_cast<unsigned>(i * 50 + c * 7); };
  const auto gray = [](int i, int) { return static_cast<unsigned>(i * 17); };
  const Bytes colourPalette = PaletteFile(4, 2, 4, colour).Strips({Bytes(4, 0x12)}).Build();
  const Bytes grayPalette = PaletteFile(4, 2, 4, gray).Strips({Bytes(4, 0x12)}).Build();
  const Bytes gray4 = GrayFile(false, 4, 2, 4).Strips({Bytes(4, 0x12)}).Build();
  // 100 Deflate strips of 10 rows, each the same 300 bytes (10000 zeros) at the end of the file.
  const Bytes zeros = Deflate(Bytes(10000, 0));
  KTiffBuilder shared = GrayFile(false, 1000, 1000, 8, 8);
  shared.Long(278, {10}).Long(279, Counts(100, static_cast<std::uint32_t>(zeros.size()))).Long(273, Counts(100, 0));
  shared.Long(273, Counts(100, static_cast<std::uint32_t>(shared.Build().size())));
  const struct {
    const char* name;
    Bytes file;
    const KPixelKind& target;
    K_ERRORS expected;
  } cases[] = {
      {"old JPEG", Gray8With([](KTiffBuilder& t) { t.Short(259, {6}); }), BW8, UNS},
      {"CCITT", GrayFile(false, 8, 2, 1, 3).Strips({{0, 0}}).Build(), BW1, UNS},
      {"CMYK", GrayFile(false, 1, 2, 8).Short(262, {5}).Short(277, {4}).Strips({Bytes(8, 1)}).Build(), C24, UNS},
      {"YCbCr", GrayFile(false, 2, 1, 8).Short(262, {6}).Short(277, {3}).Strips({Bytes(6, 1)}).Build(), C24, UNS},
      {"16-bit RGB", rgbFile({16, 16, 16}, 3), C24, UNS},
      {"samples of different depths", rgbFile({8, 8, 16}, 3), C24, UNS},
      {"RGB of two samples", rgbFile({8, 8}, 2), C24, UNS},
      {"12-bit gray", GrayFile(false, 2, 2, 12).Strips({Bytes(6, 1)}).Build(), BW16, UNS},
      {"planar configuration 3", Gray8With([](KTiffBuilder& t) { t.Short(284, {3}); }), BW8, UNS},
      {"floating-point predictor", GrayFile(false, 4, 2, 8, 5).Short(317, {3}).Strips({Lzw(Bytes(8, 1))}).Build(), BW8,
       UNS},
      {"predictor on 4 bits", GrayFile(false, 4, 2, 4, 8).Short(317, {2}).Strips({Deflate(Bytes(4, 1))}).Build(), BW8,
       UNS},
      {"old-style LZW codes", GrayFile(false, 4, 2, 8, 5).Strips({{0x00, 0x01, 0x04, 0x10}}).Build(), BW8, UNS},
      {"colour map too short", PaletteFile(4, 2, 4, gray).Short(320, Counts(47, 0)).Strips({Bytes(4, 0)}).Build(), C24,
       UNS},
      {"colour map past the end", PaletteFile(4, 2, 4, gray).Raw(320, 3, 48, 0xFFFFFF00u).Strips({Bytes(4, 0)}).Build(),
       C24, READ},
      {"colour palette into BW8", colourPalette, BW8, K_ERROR_GRAY_IMAGE_EXPECTED},
      {"palette into BW16", grayPalette, BW16, UNS},
      {"gray palette into BW1", grayPalette, BW1, UNS},
      {"4-bit gray into C24", gray4, C24, K_ERROR_COLOR_IMAGE_EXPECTED},
      {"4-bit gray into BW1", gray4, BW1, UNS},
      {"4-bit gray into BW16", gray4, BW16, UNS},
      {"no rows per strip", GrayFile(false, 4, 2, 8, 5).Short(278, {0}).Strips({Lzw(Bytes(8, 1))}).Build(), BW8, BAD},
      {"tile width 0", TiledFile(4, 2, 8, 16).Long(322, {0}).Tiles({Bytes(256, 1)}).Build(), BW8, BAD},
      {"tiles without byte counts", TiledFile(4, 2, 8, 16).Tiles({Bytes(256, 1)}, false).Build(), BW8, BAD},
      {"too few tiles", TiledFile(40, 20, 8, 16).Tiles(std::vector<Bytes>(5, Bytes(256, 1))).Build(), BW8, BAD},
      {"tile past the end", TiledFile(4, 2, 8, 16).Tiles({Bytes(256, 1)}).Raw(324, 4, 1, 100000).Build(), BW8, READ},
      {"tile shorter than a tile", TiledFile(4, 2, 8, 16).Tiles({Bytes(255, 1)}).Build(), BW8, READ},
      {"huge LZW image from a few bytes", GrayFile(false, 100000, 100000, 8, 5).Strips({Lzw(Bytes(64, 1))}).Build(),
       BW8, READ},
      {"huge Deflate tile from a few bytes", TiledFile(16, 16, 8, 60000, 8).Tiles({Deflate(Bytes(256, 1))}).Build(),
       BW8, READ},
      {"Deflate strips too short for their rows",
       GrayFile(false, 1000, 1000, 8, 8).Long(278, {10}).Strips(std::vector<Bytes>(100, Bytes(9, 0))).Build(), BW8,
       READ},
      {"Deflate strips sharing their bytes", shared.Tail(zeros).Build(), BW8, READ},
      // Found by the fuzzer: a count of samples read from a field of no known type took seconds.
      {"samples beyond 16 bits", Gray8With([](KTiffBuilder& t) { t.Long(277, {0x10001}); }), BW8, UNS},
      {"depths of 2^32 samples outside the file",
       Gray8With([](KTiffBuilder& t) { t.Raw(258, 0xFFFD, 0xFFFFFFFEu, 0x2F8).Long(277, {0x08000000}); }), BW8, UNS},
  };
  for (const auto& c : cases) {
    const KLoaded loaded = LoadInto(c.target, Write(c.file));
    EXPECT_EQ(loaded.error, c.expected) << c.name;
    EXPECT_EQ(loaded.width, 1) << c.name;
  }
}

// Damage found only while decoding ends the load with K_ERROR_FILE_READ.
TEST_F(TiffReaderTest, DamagedCompressedDataFailsTheLoad) {
  KTraceCapture quiet;
  const Bytes pixels(64, 7), lzw = Lzw(pixels), deflate = Deflate(pixels);
  Bytes badChecksum = deflate;
  badChecksum.back() ^= 1;
  const struct {
    const char* name;
    std::uint32_t compression;
    Bytes strip;
  } cases[] = {
      {"LZW ending early", 5, Bytes(lzw.begin(), lzw.end() - 3)},
      {"LZW with a code not made yet", 5, {0x80, 0x10, 0x7F, 0xFF, 0xFF}},
      {"Deflate with a wrong checksum", 8, badChecksum},
      {"Deflate giving too few bytes", 8, Deflate(Bytes(60, 7))},
      {"Deflate giving too many bytes", 32946, Deflate(Bytes(200, 7))},
      {"not a zlib stream", 8, Bytes(40, 0x55)},
  };
  for (const auto& c : cases) {
    const KLoaded loaded =
        LoadInto(K_PIXEL_KIND_BW8, Write(GrayFile(false, 8, 8, 8, c.compression).Strips({c.strip}).Build()));
    EXPECT_EQ(loaded.error, K_ERROR_FILE_READ) << c.name;
  }
}

// Edge tiles reach past the image: only their part inside it lands, in the ROI's own columns, down to
// the bit for bilevel targets.
TEST_F(TiffReaderTest, TilesNeverWriteOutsideTheTarget) {
  constexpr int kW = 20, kH = 18, kSide = 16;
  const auto tilesOf = [&](int bits, const std::function<unsigned(int, int)>& sample) {
    std::vector<Bytes> tiles;
    const int rowBytes = kSide * bits / 8;
    for (int ty = 0; ty < kH; ty += kSide)
      for (int tx = 0; tx < kW; tx += kSide) {
        Bytes tile(rowBytes * kSide, 0);
        for (int y = 0; y < kSide; ++y)
          for (int x = 0; x < kSide; ++x) {
            const unsigned v = sample(tx + x, ty + y);
            const int bit = x * bits;
            tile[y * rowBytes + bit / 8] |= static_cast<unsigned char>(v << (8 - bits - bit % 8));
          }
        tiles.push_back(Lzw(tile));
      }
    return tiles;
  };
  const auto gray = [](int x, int y) { return static_cast<unsigned>(x * 11 + y * 3) & 0xFF; };
  const auto bit = [](int x, int y) { return static_cast<unsigned>(x + y) % 3 == 0 ? 1u : 0u; };
  {
    KImageBW8 image(kW + 6, kH + 4);
    for (int y = 0; y < kH + 4; ++y) std::memset(image.GetImagePtr(0, y), 0x77, kW + 6);
    KROIBW8 roi(&image, 3, 2, kW, kH);
    short format = -1;
    ASSERT_EQ(KLoadImage(&roi, Write(TiledFile(kW, kH, 8, kSide, 5).Tiles(tilesOf(8, gray)).Build()).c_str(), format),
              K_SUCCESS);
    EXPECT_EQ(format, K_FILE_FORMAT_TIFF_GRAY_LZW);
    for (int y = 0; y < kH + 4; ++y)
      for (int x = 0; x < kW + 6; ++x) {
        const bool inside = x >= 3 && x < 3 + kW && y >= 2 && y < 2 + kH;
        ASSERT_EQ(image.GetPixel(x, y), inside ? gray(x - 3, y - 2) : 0x77u) << x << ", " << y;
      }
  }
  KImageBW1 bits(kW, kH);
  for (int y = 0; y < kH; ++y)
    std::memset(bits.GetGenericImagePtr(0, y), 0xFF, static_cast<size_t>(bits.GetRowPitch()));
  short format = -1;
  ASSERT_EQ(KLoadImage(&bits, Write(TiledFile(kW, kH, 1, kSide, 5).Tiles(tilesOf(1, bit)).Build()).c_str(), format),
            K_SUCCESS);
  EXPECT_EQ(format, K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) ASSERT_EQ(bits.GetPixel(x, y) != 0, bit(x, y) != 0) << x << ", " << y;
    // The bits of the row's last byte past the width are kept.
    EXPECT_EQ(Row(bits, y)[kW / 8] & 0x0F, 0x0F) << y;
  }
}

// Writers that fill the last strip up to RowsPerStrip, or whose LZW strips run on, load all the same.
TEST_F(TiffReaderTest, StripsHoldingMoreThanTheirRowsLoad) {
  Bytes rows(4 * 8);
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<unsigned char>(i);
  for (std::uint32_t compression : {5u, 8u}) {
    const auto code = [&](const Bytes& b) { return compression == 5 ? Lzw(b) : Deflate(b); };
    // 3 rows a strip: the second strip holds rows 3 to 5 of a 5-row image.
    const std::string path = Write(
        GrayFile(false, 4, 5, 8, compression)
            .Short(278, {3})
            .Strips({code(Bytes(rows.begin(), rows.begin() + 12)), code(Bytes(rows.begin() + 12, rows.begin() + 24))})
            .Build());
    KImageBW8 image;
    short format = -1;
    ASSERT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS) << compression;
    for (int y = 0; y < 5; ++y)
      EXPECT_EQ(Bytes(Row(image, y), Row(image, y) + 4), Bytes(rows.begin() + 4 * y, rows.begin() + 4 * y + 4));
  }
}

// A strip file keeps loading by its strips when it also carries a stray tile tag, and a tiled file by its
// tiles when it also carries a stray StripOffsets.
TEST_F(TiffReaderTest, StrayTagsDoNotChangeTheLayout) {
  for (std::uint16_t tag : {322, 323, 324, 325}) {
    const std::string path = Write(Gray8With([&](KTiffBuilder& t) { t.Short(tag, {16}); }));
    KImageBW8 image;
    short format = -1;
    EXPECT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS) << tag;
    EXPECT_EQ(image.GetPixel(3, 1), 1) << tag;
  }
  // Four 16 x 16 tiles of 10, 20, 30 and 40 make a 32 x 32 image; read as rows they would not.
  std::vector<Bytes> tiles;
  for (unsigned char level : {10, 20, 30, 40}) tiles.push_back(Bytes(256, level));
  for (bool withCounts : {false, true}) {
    KTiffBuilder tiff = TiledFile(32, 32, 8, 16).Tiles(tiles);
    tiff.Long(273, {8});
    if (withCounts) tiff.Long(279, {1024});
    const std::string path = Write(tiff.Build());
    KImageBW8 image;
    short format = -1;
    ASSERT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS) << withCounts;
    EXPECT_EQ((Bytes{image.GetPixel(15, 0), image.GetPixel(16, 0), image.GetPixel(15, 16), image.GetPixel(16, 31)}),
              (Bytes{10, 20, 30, 40}))
        << withCounts;
  }
}

// A 1-bit palette into BW8 gives the palette's levels, so it reports a gray code, not a bilevel one that
// would threshold the pixels when saved back.
TEST_F(TiffReaderTest, AOneBitPaletteReportsAGrayCode) {
  const auto levels = [](int i, int) { return i == 0 ? 30u : 200u; };
  const struct {
    std::uint32_t compression;
    short expected;
  } cases[] = {{1, K_FILE_FORMAT_TIFF_GRAY}, {32773, K_FILE_FORMAT_TIFF_GRAY_PACKBITS}};
  for (const auto& c : cases) {
    KTiffBuilder tiff = PaletteFile(8, 1, 1, levels);
    tiff.Short(259, {c.compression});
    const Bytes row = {0b01100000};
    const std::string path = Write(tiff.Strips({c.compression == 1 ? row : Bytes{0, row[0]}}).Build());
    KImageBW8 image;
    short format = -1;
    ASSERT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS) << c.compression;
    EXPECT_EQ(format, c.expected) << c.compression;
    EXPECT_EQ(Bytes(Row(image, 0), Row(image, 0) + 4), (Bytes{30, 200, 200, 30})) << c.compression;
  }
}

// 1-bit pixels of 65535 samples each: a load keeps each pixel's first sample, and converting a row costs
// a byte a pixel, not a byte a sample (134 MB here). It runs in a child process under an address-space
// limit that leaves room for the inflated strip (16.8 MB) and little more.
TEST(TiffReaderDeathTest, ManySamplesAPixelCostAByteAPixel) {
  if (kSanitizedAddressSpace) GTEST_SKIP() << "an address-space limit needs a build without sanitizers";
  constexpr std::uint32_t kWidth = 2048, kSamples = 65535;
  KTempDir dir;
  const std::string path = dir.Path("many-samples.tif");
  KTiffBuilder tiff = GrayFile(false, kWidth, 1, 1, 8);
  tiff.Short(277, {kSamples}).Strips({Deflate(Bytes(std::size_t{kWidth} * kSamples / 8, 0))});
  ASSERT_TRUE(KWriteFileBytes(path, tiff.Build()));
  EXPECT_EXIT(LoadWithinGrowth(path, std::size_t{48} << 20, [](int, int) { return 0; }), testing::ExitedWithCode(0),
              "load: 0");
}

// Fill order 1 and unsigned (or untyped) samples, said outright, are what files have without the tags.
TEST_F(TiffReaderTest, UsualFillOrderAndSampleFormatLoad) {
  for (const auto& [tag, value] : {std::pair<std::uint16_t, std::uint32_t>{266, 1}, {339, 1}, {339, 4}}) {
    const std::string path = Write(Gray8With([&](KTiffBuilder& t) { t.Short(tag, {value}); }));
    KImageBW8 image;
    short format = -1;
    EXPECT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS) << tag << " = " << value;
    EXPECT_EQ(image.GetPixel(3, 1), 1);
  }
}

// Texts are read from their value offset, however short (this library has always stored even short
// texts in the data area); texts outside the file are skipped; a zero denominator means no resolution.
TEST_F(TiffReaderTest, TextsAndResolutionTheFileCannotDeliverAreSkipped) {
  KTiffBuilder tiff = GrayFile(false, 4, 2, 8);
  tiff.Ascii(270, "ab", /*inDataArea=*/true);
  tiff.Raw(269, 2, 1000, 0x10);       // text longer than the file
  tiff.Raw(315, 2, 50, 0xFFFFFF00u);  // text past the end
  tiff.Rational(282, 72, 0).Rational(283, 72, 0).Short(296, {2});
  KImageBW8 image(1, 1);
  image.SetResolution(300.0f, 300.0f, &KUnit_inch);
  short format = -1;
  ASSERT_EQ(KLoadImage(&image, Write(tiff.Strips({Bytes(8, 9)}).Build()).c_str(), format), K_SUCCESS);
  EXPECT_STREQ(image.GetComment(), "ab");
  EXPECT_EQ(image.GetTitle(), nullptr);
  EXPECT_EQ(image.GetAuthor(), nullptr);
  ExpectResolution(image, 1.0f, 1.0f, &KUnitNone);
  EXPECT_EQ(image.GetPixel(3, 1), 9);
}

// The TIFF format allows each tag once. A text tag met again is skipped: otherwise thousands of entries
// that all name the same long text read it thousands of times, and a file of a few MiB took minutes.
TEST_F(TiffReaderTest, ATextTagMetAgainIsSkipped) {
  KTiffBuilder tiff = GrayFile(false, 4, 2, 8);
  tiff.Ascii(269, "first text", true).Ascii(270, "second text", true);
  Bytes bytes = tiff.Strips({Bytes(8, 9)}).Build();
  const size_t entries = U16(bytes, 8);
  for (size_t at = 10; at < 10 + 12 * entries; at += 12) {
    if (U16(bytes, at) == 269) bytes[at] = 270 & 0xFF;  // now two ImageDescription entries
  }
  KImageBW8 image;
  short format = -1;
  ASSERT_EQ(KLoadImage(&image, Write(bytes).c_str(), format), K_SUCCESS);
  EXPECT_STREQ(image.GetComment(), "first text");
  EXPECT_EQ(image.GetTitle(), nullptr);
}

TEST_F(TiffReaderTest, StripValuesFromTheEntryOrSuppliedForOneStrip) {
  // One uncompressed strip without StripByteCounts holds the whole image, the second row included.
  const struct {
    std::uint32_t bits;
    Bytes strip;
    unsigned lastLittle, lastBig;
  } cases[] = {{8, Bytes(6, 0x11), 0x11, 0x11},
               {16, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 0x0C0B, 0x0B0C},
               {1, {0xFF, 0xFF}, 255, 255}};
  for (bool big : {false, true}) {
    for (const auto& c : cases) {
      const std::string path = Write(GrayFile(big, 3, 2, c.bits).Strips({c.strip}, false).Build());
      KImageBW16 wide;
      KImageBW8 narrow;
      short format = -1;
      ASSERT_EQ(c.bits == 16 ? KLoadImage(&wide, path.c_str(), format) : KLoadImage(&narrow, path.c_str(), format),
                K_SUCCESS)
          << c.bits << " " << big;
      EXPECT_EQ(c.bits == 16 ? wide.GetPixel(2, 1) : narrow.GetPixel(2, 1), big ? c.lastBig : c.lastLittle);
    }
    // Two SHORT offsets and counts sit in the entries' value fields; the second strip comes first.
    KTiffBuilder tiff = GrayFile(big, 2, 2, 8);
    tiff.Raw(273, 3, 2, 0).Raw(279, 3, 2, 2u << 16 | 2u);
    const auto at = static_cast<std::uint32_t>(tiff.Build().size());
    tiff.Raw(273, 3, 2, big ? ((at + 2) << 16 | at) : ((at + 2) | at << 16)).Tail({30, 40, 10, 20});
    KImageBW8 image;
    short format = -1;
    ASSERT_EQ(KLoadImage(&image, Write(tiff.Build()).c_str(), format), K_SUCCESS) << big;
    EXPECT_EQ(Bytes(Row(image, 0), Row(image, 0) + 2), (Bytes{10, 20}));
    EXPECT_EQ(Bytes(Row(image, 1), Row(image, 1) + 2), (Bytes{30, 40}));
  }
}

// PackBits runs across row ends and past the target: the ROI gets the bytes in order, nothing else changes.
TEST_F(TiffReaderTest, PackBitsNeverWritesOutsideTheTarget) {
  const struct {
    const char* name;
    std::uint32_t bits;
    Bytes strip;
    std::vector<unsigned> rows;
  } cases[] = {
      {"run past the end", 8, {0x81, 9}, std::vector<unsigned>(8, 9)},
      {"literal across a row, run past the end", 8, {5, 1, 2, 3, 4, 5, 6, 0xFE, 7}, {1, 2, 3, 4, 5, 6, 7, 7}},
      {"bits run past the end", 1, {0x81, 0xF0}, std::vector<unsigned>(8, 255)},
  };
  for (const auto& c : cases) {
    KImageBW8 image(8, 6);
    for (int y = 0; y < 6; ++y) std::memset(image.GetImagePtr(0, y), 0x77, 8);
    KROIBW8 roi(&image, 2, 2, 4, 2);
    short format = -1;
    const std::string path = Write(GrayFile(false, 4, 2, c.bits, 32773).Strips({c.strip}).Build());
    ASSERT_EQ(KLoadImage(&roi, path.c_str(), format), K_SUCCESS) << c.name;
    for (int i = 0; i < 48; ++i) {
      const int x = i % 8, y = i / 8;
      const bool inside = x >= 2 && x < 6 && y >= 2 && y < 4;
      EXPECT_EQ(image.GetPixel(x, y), inside ? c.rows[(y - 2) * 4 + (x - 2)] : 0x77) << c.name << " at " << i;
    }
  }
}

}  // namespace
