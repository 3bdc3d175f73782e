// Writes the fuzz seed corpora: small files of every image kind and format, and vector files of every
// element type, made by the library's own writers, into <dir>/fuzz_bmp, fuzz_tiff, fuzz_jpeg and
// fuzz_vector. TIFF layouts our writer does not make (tiles, separate planes, palettes, alpha) are put
// together around strips it coded.
//
//   make_fuzz_seeds build/fuzz/fuzz/seeds

#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "kvbase/files/image_files.h"
#include "kvbase/foundation/errors.h"
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
  const std::vector<unsigned char> bytes = tiff.Tiles(tiles).Build();
  if (std::FILE* out = std::fopen(Path("fuzz_tiff", name).c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
  } else {
    ++gFailures;
  }
}

// Strips of the layouts only other writers make: palettes, 4-bit gray, gray with alpha.
void SaveStrips(const std::string& name, std::uint32_t width, std::uint32_t height, std::uint32_t bits,
                std::uint32_t samples, std::uint32_t photometric, const std::vector<unsigned char>& strip) {
  kvbase::testing::KTiffBuilder tiff(false);
  tiff.Long(256, {width}).Long(257, {height}).Short(258, {bits}).Short(259, {1}).Short(262, {photometric});
  tiff.Short(277, {samples}).Long(278, {height});
  if (samples > 1) tiff.Short(338, {2});
  if (photometric == 3) AddColourMap(tiff, bits);
  const std::vector<unsigned char> bytes = tiff.Strips({strip}).Build();
  if (std::FILE* out = std::fopen(Path("fuzz_tiff", name).c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
  } else {
    ++gFailures;
  }
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

  SaveVector<unsigned char>("bw8.vec", 5);
  SaveVector<unsigned short>("bw16.vec", 4);
  SaveVector<unsigned int>("bw32.vec", 3);
  SaveVector<KC24>("c24.vec", 3);
  SaveVector<KRun>("runs.vec", 2);
  SaveVector<unsigned char>("empty.vec", 0);
  return gFailures == 0 ? 0 : 1;
}
