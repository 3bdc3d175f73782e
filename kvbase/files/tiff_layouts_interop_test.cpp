// TIFF files of every layout the reader takes, written by libtiff and loaded to the exact pixels: LZW,
// Deflate (both codes), PackBits and uncompressed; with and without the horizontal predictor; strips and
// tiles; samples side by side and in separate planes; gray of 1 to 16 bits, RGB, palettes, extra
// samples; "II" and "MM".

#include <algorithm>
#include <functional>

#include "kvbase/testing/image_files_test_support.h"
#include "kvbase/testing/tiff_reference.h"

namespace {

using namespace kvbase::testing;

constexpr int kWidth = 37, kHeight = 23;  // tiles of 16 x 16 reach past both edges
constexpr int kTileSide = 16, kRowsPerStrip = 5;

// What the file holds.
struct KLayout {
  const char* name;
  uint16_t photometric;
  int bits;
  int samples;  // extra samples included
  bool grayPalette;
};

// How it is stored.
struct KStorage {
  const char* mode;  // "wl" or "wb"
  uint16_t compression;
  bool predictor;
  bool tiled;
  bool planar;
};

int ColourSamples(const KLayout& layout) { return layout.photometric == PHOTOMETRIC_RGB ? 3 : 1; }

// Sample `s` of pixel (x, y): smooth ramps with a little texture, so that the predictor has work.
unsigned SampleAt(const KLayout& layout, int x, int y, int s) {
  const unsigned value = static_cast<unsigned>(x * 5 + y * 3 + s * 40 + (x * y) % 7);
  if (layout.bits == 16) return (value * 613u + static_cast<unsigned>(s)) & 0xFFFF;
  if (layout.photometric == PHOTOMETRIC_PALETTE) return (static_cast<unsigned>(x + 3 * y)) & ((1u << layout.bits) - 1);
  return value & ((1u << layout.bits) - 1);
}

// The 16-bit colour map: red, green, blue of every entry; each entry's high byte is what loads.
std::vector<uint16_t> ColourMap(const KLayout& layout) {
  const int entries = 1 << layout.bits;
  std::vector<uint16_t> map(3 * entries);
  for (int i = 0; i < entries; ++i) {
    const unsigned gray = static_cast<unsigned>(i * 255 / (entries - 1));
    const unsigned high[3] = {layout.grayPalette ? gray : (i * 37u + 11) & 0xFF,
                              layout.grayPalette ? gray : (i * 91u + 5) & 0xFF,
                              layout.grayPalette ? gray : (255u - i * 13u) & 0xFF};
    for (int c = 0; c < 3; ++c) map[c * entries + i] = static_cast<uint16_t>(high[c] << 8 | (i * 7 + c) % 256);
  }
  return map;
}

// Puts sample value `value` of `bits` at sample index `index` of a row, as libtiff takes it: packed
// most significant bit first, 16-bit samples in the machine's order.
void PutSample(unsigned char* row, size_t index, int bits, unsigned value) {
  if (bits == 16) {
    const auto v = static_cast<uint16_t>(value);
    std::memcpy(row + 2 * index, &v, 2);
  } else if (bits == 8) {
    row[index] = static_cast<unsigned char>(value);
  } else {
    const size_t bit = index * bits;
    row[bit / 8] |= static_cast<unsigned char>(value << (8 - bits - bit % 8));
  }
}

// The bytes of one block: `rows` rows of `columns` pixels from (x0, y0), of all samples or of `plane`.
// Pixels past the image (in edge tiles) get samples as well.
Bytes BlockBytes(const KLayout& layout, bool planar, int plane, int x0, int y0, int columns, int rows) {
  const int samples = planar ? 1 : layout.samples;
  const size_t rowBytes = (static_cast<size_t>(columns) * samples * layout.bits + 7) / 8;
  Bytes block(rowBytes * rows, 0);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c)
      for (int s = 0; s < samples; ++s)
        PutSample(block.data() + r * rowBytes, static_cast<size_t>(c) * samples + s, layout.bits,
                  SampleAt(layout, x0 + c, y0 + r, planar ? plane : s));
  return block;
}

bool WriteWithLibtiff(const std::string& path, const KLayout& layout, const KStorage& storage) {
  TIFF* tiff = TIFFOpen(path.c_str(), storage.mode);
  if (tiff == nullptr) return false;
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, kWidth);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, kHeight);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, layout.bits);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, layout.samples);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, layout.photometric);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, storage.planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, storage.compression);
  if (storage.predictor) TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
  const int extra = layout.samples - ColourSamples(layout);
  if (extra > 0) {
    const std::vector<uint16_t> kinds(extra, EXTRASAMPLE_UNASSALPHA);
    TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, extra, kinds.data());
  }
  std::vector<uint16_t> map;
  if (layout.photometric == PHOTOMETRIC_PALETTE) {
    map = ColourMap(layout);
    const size_t entries = map.size() / 3;
    TIFFSetField(tiff, TIFFTAG_COLORMAP, map.data(), map.data() + entries, map.data() + 2 * entries);
  }
  const int planes = storage.planar ? layout.samples : 1;
  bool written = true;
  if (storage.tiled) {
    TIFFSetField(tiff, TIFFTAG_TILEWIDTH, kTileSide);
    TIFFSetField(tiff, TIFFTAG_TILELENGTH, kTileSide);
    for (int plane = 0; plane < planes; ++plane)
      for (int y = 0; y < kHeight; y += kTileSide)
        for (int x = 0; x < kWidth; x += kTileSide) {
          Bytes tile = BlockBytes(layout, storage.planar, plane, x, y, kTileSide, kTileSide);
          const uint32_t index = TIFFComputeTile(tiff, x, y, 0, static_cast<uint16_t>(plane));
          written = written && TIFFWriteEncodedTile(tiff, index, tile.data(), static_cast<tmsize_t>(tile.size())) >= 0;
        }
  } else {
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, kRowsPerStrip);
    for (int plane = 0; plane < planes; ++plane)
      for (int y = 0; y < kHeight; y += kRowsPerStrip) {
        Bytes strip = BlockBytes(layout, storage.planar, plane, 0, y, kWidth, std::min(kRowsPerStrip, kHeight - y));
        const uint32_t index = TIFFComputeStrip(tiff, static_cast<uint32_t>(y), static_cast<uint16_t>(plane));
        written = written && TIFFWriteEncodedStrip(tiff, index, strip.data(), static_cast<tmsize_t>(strip.size())) >= 0;
      }
  }
  TIFFClose(tiff);
  return written;
}

// The pixel (x, y) loads as these bytes of the target kind.
Bytes ExpectedPixel(const KLayout& layout, const KPixelKind& kind, int x, int y) {
  const unsigned first = SampleAt(layout, x, y, 0);
  if (layout.photometric == PHOTOMETRIC_PALETTE) {
    const std::vector<uint16_t> map = ColourMap(layout);
    const size_t entries = map.size() / 3;
    const auto red = static_cast<unsigned char>(map[first] >> 8),
               green = static_cast<unsigned char>(map[entries + first] >> 8),
               blue = static_cast<unsigned char>(map[2 * entries + first] >> 8);
    return kind.type == K_IMAGE_C24 ? Bytes{blue, green, red} : Bytes{red};
  }
  if (layout.photometric == PHOTOMETRIC_RGB)
    return {static_cast<unsigned char>(SampleAt(layout, x, y, 2)),
            static_cast<unsigned char>(SampleAt(layout, x, y, 1)), static_cast<unsigned char>(first)};
  if (kind.type == K_IMAGE_BW16) return {static_cast<unsigned char>(first), static_cast<unsigned char>(first >> 8)};
  if (kind.type == K_IMAGE_BW1) return {static_cast<unsigned char>(first)};
  return {static_cast<unsigned char>(first * 255 / ((1u << layout.bits) - 1))};
}

// The pixel (x, y) of `image` as bytes (BW1: the bit).
template <typename Image>
Bytes PixelOf(Image& image, const KPixelKind& kind, int x, int y) {
  if constexpr (std::is_same_v<Image, KImageBW1>) return {static_cast<unsigned char>(image.GetPixel(x, y) != 0)};
  const int size = kind.bitsPerPixel / 8;
  const unsigned char* at = Row(image, y) + x * size;
  return Bytes(at, at + size);
}

short ExpectedFormat(const KLayout& layout, const KStorage& storage, const KPixelKind& kind) {
  const bool colour = kind.type == K_IMAGE_C24, bilevel = layout.bits == 1 && !colour;
  switch (storage.compression) {
    case COMPRESSION_LZW:
      return bilevel  ? K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS
             : colour ? K_FILE_FORMAT_TIFF_COLOR_LZW
                      : K_FILE_FORMAT_TIFF_GRAY_LZW;
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
      return bilevel  ? K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS
             : colour ? K_FILE_FORMAT_TIFF_COLOR_DEFLATE
                      : K_FILE_FORMAT_TIFF_GRAY_DEFLATE;
    case COMPRESSION_PACKBITS:
      return bilevel             ? K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS
             : colour            ? K_FILE_FORMAT_TIFF_COLOR
             : layout.bits == 16 ? K_FILE_FORMAT_TIFF_GRAY
                                 : K_FILE_FORMAT_TIFF_GRAY_PACKBITS;
    default: return bilevel ? K_FILE_FORMAT_TIFF_BILEVEL : colour ? K_FILE_FORMAT_TIFF_COLOR : K_FILE_FORMAT_TIFF_GRAY;
  }
}

template <typename Image>
void ExpectLoads(const std::string& path, const KLayout& layout, const KStorage& storage, const KPixelKind& kind) {
  SCOPED_TRACE(kind.name);
  Image image;
  short format = -1;
  ASSERT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS);
  EXPECT_EQ(format, ExpectedFormat(layout, storage, kind));
  ASSERT_EQ(image.GetWidth(), kWidth);
  ASSERT_EQ(image.GetHeight(), kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      ASSERT_EQ(PixelOf(image, kind, x, y), ExpectedPixel(layout, kind, x, y)) << "at " << x << ", " << y;
}

// Every kind that holds the layout's pixels.
void ExpectLoadsIntoEveryKindThatHoldsIt(const std::string& path, const KLayout& layout, const KStorage& storage) {
  if (layout.photometric != PHOTOMETRIC_MINISBLACK) ExpectLoads<KImageC24>(path, layout, storage, K_PIXEL_KIND_C24);
  if (layout.bits == 16) ExpectLoads<KImageBW16>(path, layout, storage, K_PIXEL_KIND_BW16);
  if (layout.bits == 1 && layout.photometric == PHOTOMETRIC_MINISBLACK)
    ExpectLoads<KImageBW1>(path, layout, storage, K_PIXEL_KIND_BW1);
  if (layout.bits <= 8 && (layout.photometric == PHOTOMETRIC_MINISBLACK || layout.grayPalette))
    ExpectLoads<KImageBW8>(path, layout, storage, K_PIXEL_KIND_BW8);
}

// libtiff warns when it writes Deflate under its old code 32946, which is what the test wants.
void ForgetLegacyDeflateWarning() {
  auto& all = KTiffMessages::All();
  all.erase(std::remove_if(all.begin(), all.end(),
                           [](const std::string& m) { return m.find("legacy Deflate codec") != std::string::npos; }),
            all.end());
}

class TiffLayoutsInteropTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_TRUE(KTiffMessages::All().empty()) << KTiffMessages::All().front(); }

  KTiffMessages messages_;
  KTempDir dir_;
};

constexpr KLayout kLayouts[] = {
    {"gray 1", PHOTOMETRIC_MINISBLACK, 1, 1, false},
    {"gray 2", PHOTOMETRIC_MINISBLACK, 2, 1, false},
    {"gray 4", PHOTOMETRIC_MINISBLACK, 4, 1, false},
    {"gray 8", PHOTOMETRIC_MINISBLACK, 8, 1, false},
    {"gray 16", PHOTOMETRIC_MINISBLACK, 16, 1, false},
    {"gray 8 + alpha", PHOTOMETRIC_MINISBLACK, 8, 2, false},
    {"gray 16 + alpha", PHOTOMETRIC_MINISBLACK, 16, 2, false},
    {"gray 4 + alpha", PHOTOMETRIC_MINISBLACK, 4, 2, false},
    {"RGB", PHOTOMETRIC_RGB, 8, 3, false},
    {"RGBA", PHOTOMETRIC_RGB, 8, 4, false},
    {"palette 1", PHOTOMETRIC_PALETTE, 1, 1, false},
    {"palette 2", PHOTOMETRIC_PALETTE, 2, 1, false},
    {"palette 4", PHOTOMETRIC_PALETTE, 4, 1, false},
    {"palette 8", PHOTOMETRIC_PALETTE, 8, 1, false},
    {"gray palette 4", PHOTOMETRIC_PALETTE, 4, 1, true},
    {"gray palette 8", PHOTOMETRIC_PALETTE, 8, 1, true},
};

TEST_F(TiffLayoutsInteropTest, EveryLayoutLibtiffWritesLoadsToTheExactPixels) {
  const std::string path = dir_.Path("layout.tif");
  const uint16_t compressions[] = {COMPRESSION_NONE, COMPRESSION_PACKBITS, COMPRESSION_LZW, COMPRESSION_ADOBE_DEFLATE,
                                   COMPRESSION_DEFLATE};
  int files = 0;
  for (const KLayout& layout : kLayouts) {
    for (const char* mode : {"wl", "wb"}) {
      for (uint16_t compression : compressions) {
        const bool predictable = (compression == COMPRESSION_LZW || compression == COMPRESSION_ADOBE_DEFLATE ||
                                  compression == COMPRESSION_DEFLATE) &&
                                 layout.bits >= 8;
        for (bool predictor : {false, true}) {
          if (predictor && !predictable) continue;
          for (bool tiled : {false, true}) {
            for (bool planar : {false, true}) {
              if (planar && layout.samples == 1) continue;
              const KStorage storage{mode, compression, predictor, tiled, planar};
              SCOPED_TRACE(std::string(layout.name) + ", " + mode + ", compression " + std::to_string(compression) +
                           (predictor ? ", predictor" : "") + (tiled ? ", tiles" : ", strips") +
                           (planar ? ", planes" : ""));
              ASSERT_TRUE(WriteWithLibtiff(path, layout, storage));
              ForgetLegacyDeflateWarning();
              ExpectLoadsIntoEveryKindThatHoldsIt(path, layout, storage);
              ++files;
            }
          }
        }
      }
    }
  }
  EXPECT_EQ(files, 564);
}

// The colour map's high bytes are what libtiff's own RGBA reader makes of it too, also for a map whose
// entries all lie below 256, which both take as 8-bit values.
TEST_F(TiffLayoutsInteropTest, PalettesExpandAsLibtiffsRgbaReaderExpandsThem) {
  const std::string path = dir_.Path("palette.tif");
  for (bool eightBitMap : {false, true}) {
    SCOPED_TRACE(eightBitMap ? "8-bit map" : "16-bit map");
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tiff, nullptr);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, 1);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
    std::vector<uint16_t> map(3 * 256);
    for (int i = 0; i < 3 * 256; ++i) map[i] = static_cast<uint16_t>(eightBitMap ? (i * 7) % 256 : i * 4099 + 0xFF);
    TIFFSetField(tiff, TIFFTAG_COLORMAP, map.data(), map.data() + 256, map.data() + 512);
    Bytes row(kWidth);
    for (int x = 0; x < kWidth; ++x) row[x] = static_cast<unsigned char>(x * 7);
    ASSERT_EQ(TIFFWriteScanline(tiff, row.data(), 0, 0), 1);
    TIFFClose(tiff);

    tiff = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tiff, nullptr);
    std::vector<uint32_t> rgba(kWidth);
    ASSERT_EQ(TIFFReadRGBAImageOriented(tiff, kWidth, 1, rgba.data(), ORIENTATION_TOPLEFT, 0), 1);
    TIFFClose(tiff);
    KTiffMessages::All().clear();  // libtiff warns that it assumes an 8-bit map
    KImageC24 image;
    short format = -1;
    ASSERT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS);
    for (int x = 0; x < kWidth; ++x) {
      const Bytes expected = {static_cast<unsigned char>(TIFFGetB(rgba[x])),
                              static_cast<unsigned char>(TIFFGetG(rgba[x])),
                              static_cast<unsigned char>(TIFFGetR(rgba[x]))};
      ASSERT_EQ(PixelOf(image, K_PIXEL_KIND_C24, x, 0), expected) << "at " << x;
    }
  }
}

// The first page loads; a second page of another size changes nothing.
TEST_F(TiffLayoutsInteropTest, TheFirstPageOfSeveralLoads) {
  const std::string path = dir_.Path("pages.tif");
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tiff, nullptr);
  for (int page = 0; page < 3; ++page) {
    const int width = page == 0 ? kWidth : 5;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, 2);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    for (uint32_t y = 0; y < 2; ++y) {
      Bytes row(width, static_cast<unsigned char>(page * 100 + y));
      ASSERT_EQ(TIFFWriteScanline(tiff, row.data(), y, 0), 1);
    }
    ASSERT_EQ(TIFFWriteDirectory(tiff), 1);
  }
  TIFFClose(tiff);
  KImageBW8 image;
  short format = -1;
  ASSERT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS);
  EXPECT_EQ((std::vector<int>{image.GetWidth(), image.GetPixel(0, 0), image.GetPixel(kWidth - 1, 1), format}),
            (std::vector<int>{kWidth, 0, 1, K_FILE_FORMAT_TIFF_GRAY_LZW}));
  KImageFileInfo info;
  ASSERT_EQ(KGetImageFileInfo(path.c_str(), &info), K_SUCCESS);
  EXPECT_EQ(info.pages, 3);
  EXPECT_STREQ(info.compression, "LZW");
}

}  // namespace
