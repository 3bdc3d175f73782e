// Writes the fuzz seed corpora: small files of every image kind and format, and vector files of every
// element type, made by the library's own writers, into <dir>/fuzz_bmp, fuzz_tiff, fuzz_jpeg, fuzz_png
// and fuzz_vector; and files of the layouts the library reads but does not write: BMP palette, run-length
// and 32-bit files built byte by byte, CMYK, YCCK and JFIF-less JPEG files written by libjpeg, PNG files
// of the colour types the writer does not make, and TIFF layouts it does not make (tiles, separate
// planes, palettes, alpha) put together around strips it coded.
//
//   make_fuzz_seeds build/fuzz/fuzz/seeds

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>

#include "kvbase/files/image_files.h"
#include "kvbase/foundation/errors.h"
#include "kvbase/testing/bmp_builder.h"
#include "kvbase/testing/jpeg_reference.h"
#include "kvbase/testing/png_chunks.h"
#include "kvbase/testing/tiff_builder.h"
#include "kvbase/vectors/vector_template.h"

namespace {

std::string gRoot;
int gFailures = 0;

std::string Path(const char* target, const std::string& name) {
  const std::string dir = gRoot + "/" + target;
  mkdir(gRoot.c_str(), 0755);
  mkdir(dir.c_str(), 0755);
  return dir + "/" + name;
}

template <typename T>
void Fill(KROI<T>& roi, int seed) {
  for (int y = 0; y < roi.GetHeight(); ++y) {
    auto* row = static_cast<unsigned char*>(roi.GetGenericImagePtr(0, y));
    for (int i = 0; i < roi.GetRowPitch() - roi.GetSkip(); ++i)
      row[i] = static_cast<unsigned char>((i * 11 + y * 5 + seed) & 0xFF);
  }
}

template <typename Image>
void Save(const char* target, const std::string& name, int width, int height, short format) {
  Image image(width, height);
  Fill(image, width + height);
  image.SetTitle("seed");
  image.SetResolution(300.0f, 300.0f, &KUnit_inch);
  if (KSaveImage(&image, Path(target, name).c_str(), format) != K_SUCCESS) {
    std::fprintf(stderr, "make_fuzz_seeds: %s/%s not written: %s\n", target, name.c_str(), KGetErrorText());
    ++gFailures;
  }
}

template <typename T>
void SaveVector(const std::string& name, unsigned int count) {
  KVectorTemplate<T> vector;
  for (unsigned int i = 0; i < count; ++i) {
    T element{};
    reinterpret_cast<unsigned char*>(&element)[0] = static_cast<unsigned char>(i * 37);
    vector.AddElement(element);
  }
  vector.Save(Path("fuzz_vector", name).c_str());
  if (KGetError() != K_SUCCESS) ++gFailures;
}

// --- Layouts the library reads but does not write ---

using Bytes = std::vector<unsigned char>;

void WriteSeed(const char* target, const std::string& name, const Bytes& bytes) {
  std::FILE* file = std::fopen(Path(target, name).c_str(), "wb");
  if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) ++gFailures;
  if (file != nullptr) std::fclose(file);
}

void SaveBmpLayoutSeeds() {
  using kvbase::testing::KBmpBuilder;
  std::vector<std::uint32_t> colours, grays;
  for (std::uint32_t i = 0; i < 16; ++i) colours.push_back(i * 0x0F1E2Du), grays.push_back(i * 0x111111u);
  // 6 x 4 run-length streams with every code: runs, an absolute run, end of row, a move, end of bitmap.
  const Bytes rle8 = {3, 1, 0, 3, 4, 5, 6, 0, 0, 0, 2, 9, 0, 2, 1, 1, 3, 7, 0, 0, 0, 1};
  const Bytes rle4 = {3, 0x12, 0, 3, 0x34, 0x50, 0, 0, 0, 2, 2, 1, 4, 0xAB, 0, 0, 6, 0xCD, 0, 1};
  WriteSeed("fuzz_bmp", "rle8.bmp", KBmpBuilder().Size(6, 4).Bits(8, 1).Palette(colours).Pixels(rle8).Build());
  WriteSeed("fuzz_bmp", "rle8-gray.bmp", KBmpBuilder().Size(6, 4).Bits(8, 1).Palette(grays).Pixels(rle8).Build());
  WriteSeed("fuzz_bmp", "rle4.bmp", KBmpBuilder().Size(6, 4).Bits(4, 2).Palette(colours).Pixels(rle4).Build());
  const Bytes rows4 = {0x01, 0x23, 0x40, 0, 0x56, 0x78, 0x90, 0, 0xAB, 0xCD, 0xE0, 0};  // 5 x 3
  WriteSeed("fuzz_bmp", "4bit.bmp", KBmpBuilder().Size(5, 3).Bits(4).Palette(colours).Pixels(rows4).Build());
  WriteSeed("fuzz_bmp", "4bit-core.bmp", KBmpBuilder(12).Size(5, 3).Bits(4).Palette(grays).Pixels(rows4).Build());
  Bytes rows32(4 * 3 * 4);
  for (size_t i = 0; i < rows32.size(); ++i) rows32[i] = static_cast<unsigned char>(i * 13);
  WriteSeed("fuzz_bmp", "32bit.bmp", KBmpBuilder().Size(4, 3).Bits(32).Pixels(rows32).Build());
  WriteSeed(
      "fuzz_bmp", "32bit-v5.bmp",
      KBmpBuilder(124).Size(4, -3).Bits(32, 3).Masks({0xFF00, 0xFF0000, 0xFF000000, 0xFF}).Pixels(rows32).Build());
  WriteSeed("fuzz_bmp", "16bit-v4.bmp",
            KBmpBuilder(108).Size(6, 2).Bits(16, 3).Masks({0xF800, 0x07E0, 0x001F}).Pixels(Bytes(24, 0x5A)).Build());
}

template <typename Rows>
void WriteJpegSeed(const std::string& name, const KJpegReferenceParams& params, Rows rows) {
  std::FILE* file = std::fopen(Path("fuzz_jpeg", name).c_str(), "wb");
  if (file == nullptr) {
    ++gFailures;
    return;
  }
  KJpegReferenceWrite(file, params, rows);
  std::fclose(file);
}

void SaveJpegColourSpaceSeeds() {
  Bytes samples(17 * 9 * 4);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<unsigned char>(i * 7 + i / 68 * 11);
  auto rows = [&](int components) { return [&samples, components](int y) { return &samples[y * 17 * components]; }; };
  WriteJpegSeed("cmyk-adobe.jpg", {17, 9, 4, JCS_CMYK, 75}, rows(4));
  WriteJpegSeed("cmyk-plain.jpg", {17, 9, 4, JCS_CMYK, 75, false, -1, JCS_UNKNOWN, /*adobe=*/0}, rows(4));
  WriteJpegSeed("ycck-progressive.jpg", {17, 9, 4, JCS_CMYK, 75, true, -1, JCS_YCCK}, rows(4));
  WriteJpegSeed("gray-no-jfif.jpg", {17, 9, 1, JCS_GRAYSCALE, 75, false, /*jfif=*/0}, rows(1));
  WriteJpegSeed("rgb-adobe.jpg", {17, 9, 3, JCS_RGB, 75, false, -1, JCS_RGB}, rows(3));
}

// --- PNG seeds of every colour type, depth and interlace, which the library's writer does not make ---

using kvbase::testing::AppendPngChunk;
using kvbase::testing::PutBigEndian32;

// The filtered rows of every interlace pass (or of the whole image), with filters 0 to 4 in turn.
std::string PngRawRows(int width, int height, int bitsPerPixel, bool interlaced) {
  static const int kStart[2][7][2] = {{{0, 0}}, {{0, 0}, {4, 0}, {0, 4}, {2, 0}, {0, 2}, {1, 0}, {0, 1}}};
  static const int kStep[2][7][2] = {{{1, 1}}, {{8, 8}, {8, 8}, {4, 8}, {4, 4}, {2, 4}, {2, 2}, {1, 2}}};
  std::string raw;
  for (int pass = 0; pass < (interlaced ? 7 : 1); ++pass) {
    const int i = interlaced ? 1 : 0;
    const int columns = (width - kStart[i][pass][0] + kStep[i][pass][0] - 1) / kStep[i][pass][0];
    const int rows = (height - kStart[i][pass][1] + kStep[i][pass][1] - 1) / kStep[i][pass][1];
    for (int y = 0; columns > 0 && y < rows; ++y) {
      raw.push_back(static_cast<char>(y % 5));
      for (int x = 0; x < (columns * bitsPerPixel + 7) / 8; ++x) raw.push_back(static_cast<char>(x * 29 + y * 7));
    }
  }
  return raw;
}

// A zlib stream of stored blocks (Adler-32 included), so that no compressor is needed.
std::string StoredZlib(const std::string& raw) {
  std::string out("\x78\x01", 2);
  std::uint32_t a = 1, b = 0;
  for (unsigned char byte : raw) a = (a + byte) % 65521, b = (b + a) % 65521;
  for (size_t at = 0; at == 0 || at < raw.size(); at += 65535) {
    const size_t length = std::min<size_t>(65535, raw.size() - at);
    out.push_back(at + length >= raw.size() ? 1 : 0);
    out.push_back(static_cast<char>(length)), out.push_back(static_cast<char>(length >> 8));
    out.push_back(static_cast<char>(~length)), out.push_back(static_cast<char>(~length >> 8));
    out += raw.substr(at, length);
  }
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((b << 16 | a) >> shift));
  return out;
}

void SavePngSeed(const std::string& name, int depth, int colorType, bool interlaced, bool extras) {
  constexpr int kWidth = 11, kHeight = 9;
  static const int kSamples[] = {1, 0, 3, 1, 2, 0, 4};
  Bytes file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, ihdr;
  PutBigEndian32(ihdr, kWidth);
  PutBigEndian32(ihdr, kHeight);
  ihdr.insert(ihdr.end(), {static_cast<unsigned char>(depth), static_cast<unsigned char>(colorType), 0, 0,
                           static_cast<unsigned char>(interlaced)});
  AppendPngChunk(file, "IHDR", std::string(ihdr.begin(), ihdr.end()));
  if (extras) {
    AppendPngChunk(file, "pHYs", std::string("\0\0\x0B\xB8\0\0\x0B\xB8\x01", 9));
    AppendPngChunk(file, "tEXt", std::string("Title\0seed", 10));
    AppendPngChunk(file, "zTXt", std::string("Comment\0\0\x78\x01\x01\x01\0\xFE\xFFx\0\x79\0\x79", 21));
  }
  if (colorType == 3) {
    std::string palette;
    for (int i = 0; i < (1 << depth); ++i) palette += {static_cast<char>(i * 3), static_cast<char>(i), 0};
    AppendPngChunk(file, "PLTE", palette);
  }
  AppendPngChunk(file, "IDAT", StoredZlib(PngRawRows(kWidth, kHeight, depth * kSamples[colorType], interlaced)));
  AppendPngChunk(file, "IEND", "");
  WriteSeed("fuzz_png", name, file);
}

// The one strip of a `side` x `side` image our writer saves with `format` in a single strip: a coded
// block that a tiled seed can use as a tile.
template <typename Image>
std::vector<unsigned char> CodedBlock(int side, short format, int seed) {
  Image image(side, side);
  Fill(image, seed);
  const std::string path = Path("fuzz_tiff", "block.tmp");
  KSetTiffStripSize(0);
  KSaveImage(&image, path.c_str(), format);
  KSetTiffStripSize(8192);
  std::vector<unsigned char> file;
  if (std::FILE* in = std::fopen(path.c_str(), "rb")) {
    for (int c = std::fgetc(in); c != EOF; c = std::fgetc(in)) file.push_back(static_cast<unsigned char>(c));
    std::fclose(in);
  }
  std::remove(path.c_str());
  const auto u16 = [&](std::size_t at) { return at + 2 <= file.size() ? file[at] | file[at + 1] << 8 : 0; };
  const auto u32 = [&](std::size_t at) { return static_cast<std::uint32_t>(u16(at) | u16(at + 2) << 16); };
  std::uint32_t offset = 0, count = 0;
  for (int i = 0; i < u16(8); ++i) {
    const std::size_t entry = 10 + 12 * static_cast<std::size_t>(i);
    if (u16(entry) == 273) offset = u32(entry + 8);
    if (u16(entry) == 279) count = u32(entry + 8);
  }
  if (offset + count > file.size() || count == 0) ++gFailures;
  return offset + count <= file.size()
             ? std::vector<unsigned char>(file.begin() + offset, file.begin() + offset + count)
             : std::vector<unsigned char>{};
}

void AddColourMap(kvbase::testing::KTiffBuilder& tiff, std::uint32_t bits) {
  std::vector<std::uint32_t> map(3u << bits);
  for (std::size_t i = 0; i < map.size(); ++i) map[i] = static_cast<std::uint32_t>(i * 2731 % 65536);
  tiff.Short(320, map);
}

// A tiled file of 24 x 20 pixels in tiles of 16 x 16, from the TIFF fields given and the tiles.
void SaveTiled(const std::string& name, const std::vector<std::uint32_t>& bits, std::uint32_t samples,
               std::uint32_t photometric, std::uint32_t compression, std::uint32_t predictor, std::uint32_t planar,
               const std::vector<std::vector<unsigned char>>& tiles) {
  kvbase::testing::KTiffBuilder tiff(false);
  tiff.Long(256, {24}).Long(257, {20}).Short(258, bits).Short(259, {compression}).Short(262, {photometric});
  tiff.Short(277, {samples}).Short(284, {planar}).Short(317, {predictor}).Long(322, {16}).Long(323, {16});
  if (photometric == 3) AddColourMap(tiff, bits[0]);
  WriteSeed("fuzz_tiff", name, tiff.Tiles(tiles).Build());
}

// Strips of the layouts only other writers make: palettes, 4-bit gray, gray with alpha.
void SaveStrips(const std::string& name, std::uint32_t width, std::uint32_t height, std::uint32_t bits,
                std::uint32_t samples, std::uint32_t photometric, const std::vector<unsigned char>& strip) {
  kvbase::testing::KTiffBuilder tiff(false);
  tiff.Long(256, {width}).Long(257, {height}).Short(258, {bits}).Short(259, {1}).Short(262, {photometric});
  tiff.Short(277, {samples}).Long(278, {height});
  if (samples > 1) tiff.Short(338, {2});
  if (photometric == 3) AddColourMap(tiff, bits);
  WriteSeed("fuzz_tiff", name, tiff.Strips({strip}).Build());
}

void SaveTiffLayoutSeeds() {
  KSetTiffStripSize(40);  // several compressed strips
  Save<KImageBW8>("fuzz_tiff", "bw8-deflate.tif", 17, 9, K_FILE_FORMAT_TIFF_GRAY_DEFLATE);
  Save<KImageBW16>("fuzz_tiff", "bw16-deflate.tif", 7, 5, K_FILE_FORMAT_TIFF_GRAY_DEFLATE);
  Save<KImageC24>("fuzz_tiff", "c24-deflate.tif", 9, 6, K_FILE_FORMAT_TIFF_COLOR_DEFLATE);
  Save<KImageBW8>("fuzz_tiff", "bw8-lzw.tif", 17, 9, K_FILE_FORMAT_TIFF_GRAY_LZW);
  Save<KImageBW16>("fuzz_tiff", "bw16-lzw.tif", 7, 5, K_FILE_FORMAT_TIFF_GRAY_LZW);
  Save<KImageC24>("fuzz_tiff", "c24-lzw.tif", 9, 6, K_FILE_FORMAT_TIFF_COLOR_LZW);
  KSetTiffStripSize(8192);
  std::vector<std::vector<unsigned char>> lzw, deflate, raw;
  for (int i = 0; i < 4; ++i) {
    lzw.push_back(CodedBlock<KImageBW8>(16, K_FILE_FORMAT_TIFF_GRAY_LZW, i));
    deflate.push_back(CodedBlock<KImageC24>(16, K_FILE_FORMAT_TIFF_COLOR_DEFLATE, i));
  }
  for (int i = 0; i < 12; ++i) raw.emplace_back(256, static_cast<unsigned char>(i * 20));
  SaveTiled("tiled-lzw.tif", {8}, 1, 1, 5, 2, 1, lzw);
  SaveTiled("tiled-deflate-rgb.tif", {8, 8, 8}, 3, 2, 8, 2, 1, deflate);
  SaveTiled("tiled-planar-rgb.tif", {8, 8, 8}, 3, 2, 1, 1, 2, raw);
  SaveTiled("tiled-palette-lzw.tif", {8}, 1, 3, 5, 2, 1, lzw);
  std::vector<unsigned char> strip(60);
  for (std::size_t i = 0; i < strip.size(); ++i) strip[i] = static_cast<unsigned char>(i * 37);
  SaveStrips("palette-4.tif", 12, 10, 4, 1, 3, strip);
  SaveStrips("palette-8.tif", 6, 10, 8, 1, 3, strip);
  SaveStrips("gray-4.tif", 12, 10, 4, 1, 1, strip);
  SaveStrips("gray-alpha.tif", 3, 10, 8, 2, 1, strip);
  SaveStrips("rgba.tif", 3, 5, 8, 4, 2, strip);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds DIR\n");
    return 2;
  }
  gRoot = argv[1];
  KSetTraceMode(K_TRACE_SILENT);

  Save<KImageBW1>("fuzz_bmp", "bw1.bmp", 13, 7, K_FILE_FORMAT_BMP_BILEVEL);
  Save<KImageBW8>("fuzz_bmp", "bw8.bmp", 13, 7, K_FILE_FORMAT_BMP_GRAY);
  Save<KImageBW8>("fuzz_bmp", "bw8-roi-size.bmp", 17, 9, K_FILE_FORMAT_BMP_GRAY);
  Save<KImageC15>("fuzz_bmp", "c15.bmp", 5, 3, K_FILE_FORMAT_BMP_COLOR);
  Save<KImageC16>("fuzz_bmp", "c16.bmp", 5, 3, K_FILE_FORMAT_BMP_COLOR);
  Save<KImageC24>("fuzz_bmp", "c24.bmp", 5, 3, K_FILE_FORMAT_BMP_COLOR);
  Save<KImageC24>("fuzz_bmp", "c24-roi-size.bmp", 17, 9, K_FILE_FORMAT_BMP_COLOR);

  KSetTiffStripSize(16);  // several strips even in small files
  Save<KImageBW1>("fuzz_tiff", "bw1.tif", 13, 7, K_FILE_FORMAT_TIFF_BILEVEL);
  Save<KImageBW1>("fuzz_tiff", "bw1-packbits.tif", 13, 7, K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS);
  Save<KImageBW8>("fuzz_tiff", "bw8-bilevel.tif", 13, 7, K_FILE_FORMAT_TIFF_BILEVEL);
  Save<KImageBW8>("fuzz_tiff", "bw8.tif", 13, 7, K_FILE_FORMAT_TIFF_GRAY);
  Save<KImageBW8>("fuzz_tiff", "bw8-packbits.tif", 17, 9, K_FILE_FORMAT_TIFF_GRAY_PACKBITS);
  Save<KImageBW16>("fuzz_tiff", "bw16.tif", 6, 5, K_FILE_FORMAT_TIFF_GRAY);
  Save<KImageC24>("fuzz_tiff", "c24.tif", 17, 9, K_FILE_FORMAT_TIFF_COLOR);
  KSetTiffStripSize(0);
  Save<KImageBW8>("fuzz_tiff", "bw8-one-strip.tif", 9, 4, K_FILE_FORMAT_TIFF_GRAY);
  KSetTiffStripSize(8192);
  SaveTiffLayoutSeeds();

  Save<KImageBW8>("fuzz_jpeg", "bw8.jpg", 17, 9, K_FILE_FORMAT_JPEG_GRAY);
  Save<KImageC24>("fuzz_jpeg", "c24.jpg", 17, 9, K_FILE_FORMAT_JPEG_COLOR);
  Save<KImageC24>("fuzz_jpeg", "c24-16x16.jpg", 16, 16, K_FILE_FORMAT_JPEG_COLOR);

  SaveBmpLayoutSeeds();
  SaveJpegColourSpaceSeeds();
  Save<KImageBW1>("fuzz_png", "bw1.png", 13, 7, K_FILE_FORMAT_PNG_BILEVEL);
  Save<KImageBW8>("fuzz_png", "bw8.png", 17, 9, K_FILE_FORMAT_PNG_GRAY);
  Save<KImageBW16>("fuzz_png", "bw16.png", 6, 5, K_FILE_FORMAT_PNG_GRAY);
  Save<KImageC24>("fuzz_png", "c24.png", 17, 9, K_FILE_FORMAT_PNG_COLOR);
  const struct {
    int colorType;
    std::initializer_list<int> depths;
  } pngTypes[] = {{0, {1, 2, 4, 8, 16}}, {2, {8, 16}}, {3, {1, 2, 4, 8}}, {4, {8, 16}}, {6, {8, 16}}};
  for (const auto& type : pngTypes) {
    for (int depth : type.depths) {
      for (bool interlaced : {false, true}) {
        const std::string name = "type" + std::to_string(type.colorType) + "-" + std::to_string(depth) +
                                 (interlaced ? "-interlaced" : "") + ".png";
        SavePngSeed(name, depth, type.colorType, interlaced, depth == 8);
      }
    }
  }

  SaveVector<unsigned char>("bw8.vec", 5);
  SaveVector<unsigned short>("bw16.vec", 4);
  SaveVector<unsigned int>("bw32.vec", 3);
  SaveVector<KC24>("c24.vec", 3);
  SaveVector<KRun>("runs.vec", 2);
  SaveVector<unsigned char>("empty.vec", 0);
  return gFailures == 0 ? 0 : 1;
}
