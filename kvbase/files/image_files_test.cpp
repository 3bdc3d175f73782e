#include "kvbase/files/image_files.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <tuple>

#include "kvbase/testing/image_files_test_support.h"
#include "kvbase/testing/tiff_builder.h"
#include "kvbase/testing/trace_capture.h"

namespace {

using namespace kvbase::testing;
using Names = std::vector<std::string>;

constexpr K_ERRORS OK = K_SUCCESS, BIL = K_ERROR_BILEVEL_FORMAT_EXPECTED, GRA = K_ERROR_GRAY_FORMAT_EXPECTED,
                   COL = K_ERROR_COLOR_FORMAT_EXPECTED, TIF = K_ERROR_UNSUPPORTED_TIFF_FORMAT,
                   BMP = K_ERROR_UNSUPPORTED_BMP_FORMAT, JPG = K_ERROR_UNSUPPORTED_JPEG_FORMAT,
                   PNG = K_ERROR_UNSUPPORTED_PNG_FORMAT;

// The source of a save: an ROI whose rows are narrower than its image's; BW1 saves whole images only.
KImage<int>& SourceOf(KImage<int>& image, KROI<int>&) { return image; }
template <typename T>
KROI<T>& SourceOf(KImage<T>&, KROI<T>& roi) {
  return roi;
}

// Every format code (`byCode` answers 0..15) and every extension (`byExtension` answers ".bmp", ".tif",
// ".jpg", ".png"): a refusal creates no file and traces once; a save writes the container of its code and reads
// back with that code and, unless JPEG or thresholded, the same pixels.
template <typename T>
void ExpectFormatChoices(const std::string& traceName, std::array<K_ERRORS, 16> byCode,
                         std::array<int, 4> byExtension) {
  KTempDir dir;
  KImage<T> parent(7, 5);
  FillPattern(parent);
  KROI<T> roi(&parent, 1, 2, 5, 3);
  auto& source = SourceOf(parent, roi);
  const char* const extensions[] = {".bmp", ".tif", ".jpg", ".png", ".TIF", ".tiff", ".jpeg", ".Bmp", ".PNG", ""};
  std::vector<std::tuple<short, std::string, int>> saves;  // code given, file name, code written or error
  for (short code = -1; code <= 15; ++code) {
    const K_ERRORS answer = code < 0 || code > 15 ? K_ERROR_PARAMETER_3_OUT_OF_RANGE : byCode[code];
    if (code != K_FILE_FORMAT_AUTO) saves.emplace_back(code, "code" + std::to_string(code), answer ? +answer : code);
  }
  for (int i = 0; i < 10; ++i)
    saves.emplace_back(K_FILE_FORMAT_AUTO, std::string("auto") + extensions[i],
                       i < 4 ? byExtension[i] : K_ERROR_UNSUPPORTED_FILE_EXTENSION);
  for (const auto& [code, name, expected] : saves) {
    SCOPED_TRACE(traceName + " " + name);
    const std::string path = dir.Path(name);
    KTraceCapture trace;
    const short result = KSaveImage(&source, path.c_str(), code);
    if (expected >= 1000) {
      EXPECT_EQ(result, expected);
      EXPECT_FALSE(KFileExists(path));
      EXPECT_EQ(trace.Names(), Names{traceName});
      continue;
    }
    EXPECT_EQ(result, K_SUCCESS);
    const Bytes bytes = KReadFileBytes(path);
    const char* signature = expected <= 4 ? "II" : expected <= 8 ? "BM" : expected <= 11 ? "\xFF\xD8" : "\x89P";
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 2)), signature);
    KImage<T> copy;
    short loaded = -1;
    EXPECT_EQ(KLoadImage(&copy, path.c_str(), loaded), K_SUCCESS);
    EXPECT_EQ(loaded, expected);
    const bool thresholded = (expected == 0 || expected == 3) && !std::is_same_v<T, int>;
    const bool jpeg = expected == 10 || expected == 11;
    EXPECT_TRUE(SamePixels(copy, source) || jpeg || thresholded);
  }
}

TEST(ImageFiles, FormatCodesAndExtensionsOfEveryKind) {
  ExpectFormatChoices<int>(
      "KImageBW1::Save", {OK, BIL, BIL, OK, BIL, TIF, OK, BIL, BIL, JPG, BIL, BIL, OK, OK, BIL, BIL}, {6, 0, JPG, 13});
  ExpectFormatChoices<unsigned char>(
      "KROIBW8::Save", {OK, OK, GRA, OK, OK, TIF, GRA, OK, GRA, JPG, OK, GRA, OK, GRA, OK, GRA}, {7, 1, 10, 14});
  ExpectFormatChoices<unsigned short>("KROIBW16::Save",
                                      {GRA, OK, GRA, GRA, GRA, TIF, BMP, BMP, BMP, JPG, JPG, JPG, OK, GRA, OK, GRA},
                                      {BMP, 1, JPG, 14});
  ExpectFormatChoices<KC24>(
      "KROIC24::Save", {COL, COL, OK, COL, COL, TIF, COL, COL, OK, JPG, COL, OK, OK, COL, COL, OK}, {8, 2, 11, 15});
  const std::array<K_ERRORS, 16> c15AndC16 = {TIF, TIF, TIF, TIF, TIF, TIF, COL, COL,
                                              OK,  JPG, JPG, JPG, OK,  PNG, PNG, PNG};
  ExpectFormatChoices<KC15>("KROIC15::Save", c15AndC16, {8, TIF, JPG, PNG});
  ExpectFormatChoices<KC16>("KROIC16::Save", c15AndC16, {8, TIF, JPG, PNG});
}

TEST(ImageFiles, SaveRefusesSourcesWithoutPixelsAndReportsWriteFailures) {
  KTempDir dir;
  KTraceCapture trace;
  KImageBW8 empty, image(64, 64);
  KROIC24 loose(nullptr, 0, 0, 4, 4);
  EXPECT_EQ(KSaveImage(&empty, dir.Path("a.bmp").c_str(), K_FILE_FORMAT_AUTO), K_ERROR_IMAGE_MEMORY_ACCESS);
  EXPECT_EQ(KSaveImage(&loose, dir.Path("b.bmp").c_str(), K_FILE_FORMAT_AUTO), K_ERROR_IMAGE_MEMORY_ACCESS);
  EXPECT_FALSE(KFileExists(dir.Path("a.bmp")) || KFileExists(dir.Path("b.bmp")));
  EXPECT_EQ(KSaveImage(&image, dir.Path("missing/dir.bmp").c_str(), K_FILE_FORMAT_BMP_GRAY), K_ERROR_FILE_OPEN);
  // A device that takes no bytes: the failure must not be reported as a saved file.
  EXPECT_EQ(KSaveImage(&image, "/dev/full", K_FILE_FORMAT_BMP_GRAY), K_ERROR_FILE_WRITE);
  EXPECT_EQ(KSaveImage(&image, "/dev/full", K_FILE_FORMAT_JPEG_GRAY), K_ERROR_JPEG_WRITE);
  EXPECT_EQ(trace.Names(),
            (Names{"KROIBW8::Save", "KROIC24::Save", "KROIBW8::Save", "KROIBW8::Save", "KROIBW8::Save"}));
}

TEST(ImageFiles, RecognitionFromTheFirstSixteenBytes) {
  KTempDir dir;
  struct Case {
    std::string bytes;
    K_ERRORS error;
    short format;
  };  // format: what the caller is told
  const Case cases[] = {
      {"BM too short", K_ERROR_FILE_READ, K_FILE_FORMAT_AUTO},
      {"0123456789abcdefghij", K_ERROR_BAD_FILE_FORMAT, K_FILE_FORMAT_AUTO},
      {std::string("II\x2B\0\x08\0\0\0........", 16), K_ERROR_BAD_FILE_FORMAT, K_FILE_FORMAT_AUTO},
      {std::string("MM\x2A\0\0\0\0\x08........", 16), K_ERROR_BAD_FILE_FORMAT, K_FILE_FORMAT_AUTO},
      {std::string("\xFF\xD8\xFE\xDB\x00\x43JFI\x03........", 18), K_ERROR_BAD_FILE_FORMAT, K_FILE_FORMAT_AUTO},
      {std::string("\xFF\xD8\xFF\xDB\x00\x43\x00\x01\x02\x03........", 18), K_ERROR_JPEG_READ, K_FILE_FORMAT_JPEG_GRAY},
      {std::string("BM\0\0\0\0\0\0\0\0\x36\0\0\0\x0C\0\0\0", 18), K_ERROR_FILE_READ, K_FILE_FORMAT_BMP_GRAY},
      {std::string("BM\0\0\0\0\0\0\0\0\x36\0\0\0\x7C\0\0\0", 18) + std::string(120, '\0'),
       K_ERROR_UNSUPPORTED_BMP_FORMAT, K_FILE_FORMAT_BMP_GRAY},
      {std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\xFF\xD9", 18), K_ERROR_JPEG_READ,
       K_FILE_FORMAT_JPEG_GRAY},
      {std::string("\xFF\xD8\xFF\xE1\x00\x0E", 6) + "Exif" + std::string(8, '\0') + "\xFF\xD9", K_ERROR_JPEG_READ,
       K_FILE_FORMAT_JPEG_GRAY},
  };
  for (const Case& c : cases) {
    const std::string path = dir.Path("file");
    ASSERT_TRUE(KWriteFileBytes(path, Bytes(c.bytes.begin(), c.bytes.end())));
    KTraceCapture trace;
    const KLoaded loaded = LoadInto(K_PIXEL_KIND_BW8, path);
    EXPECT_EQ((std::vector<int>{loaded.error, loaded.format, loaded.width}), (std::vector<int>{c.error, c.format, 1}))
        << c.bytes;
    EXPECT_EQ(trace.Names(), Names{"KROIBW8::Load"});
  }
  KTraceCapture trace;
  KImageC24 image;
  EXPECT_EQ(image.Load(dir.Path("absent.bmp").c_str()), K_FILE_FORMAT_AUTO);
  EXPECT_EQ(KGetError(), K_ERROR_FILE_OPEN);
  EXPECT_EQ(trace.Names(), Names{"KImageC24::Load"});
}

TEST(ImageFiles, LoadTargetsAreFittedToTheFile) {
  KTempDir dir;
  const std::string path = dir.Path("100x50.bmp");
  KImageBW8 source(100, 50), big(200, 200), image(300, 300);
  FillPattern(source, 3);
  source.SetResolution(300.0f, 300.0f, &KUnit_inch);
  ASSERT_EQ(KSaveImage(&source, path.c_str(), K_FILE_FORMAT_AUTO), K_SUCCESS);
  short format;

  // An ROI must have the file's size and is never moved or resized.
  KROIBW8 tall(&big, 10, 20, 100, 60), fitting(&big, 10, 20, 100, 50);
  KTraceCapture trace;
  EXPECT_EQ(KLoadImage(&tall, path.c_str(), format), K_ERROR_IMAGE_SIZES_DIFFER);
  EXPECT_EQ(trace.Names(), Names{"KROIBW8::Load"});
  EXPECT_EQ(tall.GetHeight(), 60);
  EXPECT_EQ(KLoadImage(&fitting, path.c_str(), format), K_SUCCESS);
  EXPECT_TRUE(SamePixels(fitting, source));
  EXPECT_EQ(big.GetWidth(), 200);

  // An image is resized; sub-ROIs left outside are re-clipped without failing the load.
  KROIBW8 corner(&image, 150, 150, 100, 100);
  EXPECT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS);
  EXPECT_EQ(KGetError(), K_SUCCESS);
  EXPECT_TRUE(SamePixels(image, source));

  // The file's resolution (300 dpi as 11811 pixels per metre) reaches the target; none resets it.
  ExpectResolution(image, 11811.0f, 11811.0f, &KUnit_m);
  Bytes bytes = KReadFileBytes(path);
  PutLe32(bytes, 38, 0);
  ASSERT_TRUE(KWriteFileBytes(path, bytes));
  EXPECT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS);
  ExpectResolution(image, 1.0f, 1.0f, &KUnitNone);
}

TEST(ImageFiles, MembersForwardOrRefuseByKind) {
  KTempDir dir;
  const std::string colourFile = dir.Path("part.bmp"), bitsFile = dir.Path("bits.bmp");
  KImageC24 colour(6, 2), back;
  FillPattern(colour);
  KROIC24 part(&colour, 1, 0, 5, 2);
  KImageBW1 bits(9, 2), bitsBack;
  bits.SetPixel(1, 8, 1);
  KTraceCapture trace;
  part.Save(colourFile.c_str(), K_FILE_FORMAT_AUTO);
  EXPECT_EQ(back.Load(colourFile.c_str()), K_FILE_FORMAT_BMP_COLOR);
  EXPECT_TRUE(SamePixels(back, part));
  bits.Save(bitsFile.c_str(), K_FILE_FORMAT_AUTO);
  EXPECT_EQ(bitsBack.Load(bitsFile.c_str()), K_FILE_FORMAT_BMP_BILEVEL);
  EXPECT_EQ(bitsBack.GetPixel(8, 1), 1);

  // Only the other kinds trace: they refuse, C15 and C16 included (they have the free functions only).
  KImageC15 c15(4, 4);
  KROIC16 c16Roi;
  KImageBW32 bw32(2, 2);
  KROIBW1 bw1Roi;
  EXPECT_EQ(c15.Load(colourFile.c_str()), 0);
  c16Roi.Save(dir.Path("c16.bmp").c_str(), K_FILE_FORMAT_AUTO);
  bw32.Save(dir.Path("bw32.tif").c_str(), K_FILE_FORMAT_AUTO);
  EXPECT_EQ(bw1Roi.Load(bitsFile.c_str()), 0);
  EXPECT_EQ(trace.Names(), (Names{"KImage::Load", "KROI::Save", "KImage::Save", "KROI::Load"}));
  EXPECT_FALSE(KFileExists(dir.Path("c16.bmp")));
}

TEST(ImageFiles, StreamRecordLargerThanTheStreamIsRefusedBeforeResizing) {
  std::FILE* file = std::tmpfile();
  const std::int32_t size[2] = {INT_MAX, INT_MAX};
  std::fwrite(size, sizeof size[0], 2, file);
  std::rewind(file);
  KImageComplex64 image(2, 2);
  KOk();
  image.Serialize(file, 0, 0);
  std::fclose(file);
  EXPECT_EQ(KGetError(), K_ERROR_FILE_READ);
  EXPECT_EQ(image.GetWidth(), 2);
}

// A lent buffer may run bottom-up (rows at falling addresses, as device-independent bitmaps lie): the
// record still holds each row's pixels, top row first.
TEST(ImageFiles, StreamRecordOfBottomUpRowsHoldsTheirPixels) {
  unsigned char rows[2][4] = {{21, 22, 23, 29}, {11, 12, 13, 19}};  // top row last in memory
  KImageBW8 image;
  image.SetImagePtr(3, 2, rows[1], -32);
  ASSERT_EQ(image.GetPixel(0, 1), 21);
  std::FILE* file = std::tmpfile();
  KOk();
  image.Serialize(file, 1, 0);
  EXPECT_EQ(KGetError(), K_SUCCESS);
  Bytes record(17);
  std::rewind(file);
  record.resize(std::fread(record.data(), 1, record.size(), file));
  std::fclose(file);
  EXPECT_EQ(record, (Bytes{3, 0, 0, 0, 2, 0, 0, 0, 11, 12, 13, 19, 21, 22, 23, 29}));
}

}  // namespace

namespace {

using kvbase::testing::KBytes;
using kvbase::testing::KTiffBuilder;

KImageFileInfo InfoOf(const std::string& path) {
  KImageFileInfo info;
  std::memset(&info, 0x5A, sizeof info);  // every field must be written
  EXPECT_EQ(KGetImageFileInfo(path.c_str(), &info), K_SUCCESS) << path;
  return info;
}

std::string Describe(const KImageFileInfo& i) {
  return std::to_string(i.container) + " " + std::to_string(i.width) + "x" + std::to_string(i.height) + " " +
         std::to_string(i.samplesPerPixel) + "x" + std::to_string(i.bitsPerSample) + " palette " +
         std::to_string(i.hasPalette) + " alpha " + std::to_string(i.hasAlpha) + " pages " + std::to_string(i.pages) +
         " " + i.compression + " " + i.colorSpace;
}

TEST(ImageFiles, FileInfoComesFromTheHeadersOfEachContainer) {
  KTempDir dir;
  KImageBW8 gray(9, 4);
  KImageC24 colour(5, 3);
  FillPattern(gray);
  FillPattern(colour);
  const struct {
    std::string name;
    short format;
    bool colour;
    std::string described;
  } cases[] = {
      {"gray.tif", K_FILE_FORMAT_TIFF_GRAY_PACKBITS, false, "1 9x4 1x8 palette 0 alpha 0 pages 1 PackBits gray"},
      {"bilevel.tif", K_FILE_FORMAT_TIFF_BILEVEL, false, "1 9x4 1x1 palette 0 alpha 0 pages 1 none gray"},
      {"colour.tif", K_FILE_FORMAT_TIFF_COLOR, true, "1 5x3 3x8 palette 0 alpha 0 pages 1 none RGB"},
      {"gray.bmp", K_FILE_FORMAT_BMP_GRAY, false, "7 9x4 1x8 palette 1 alpha 0 pages 1 none palette"},
      {"colour.bmp", K_FILE_FORMAT_BMP_COLOR, true, "7 5x3 3x8 palette 0 alpha 0 pages 1 none RGB"},
      {"gray.jpg", K_FILE_FORMAT_JPEG_GRAY, false, "10 9x4 1x8 palette 0 alpha 0 pages 1 baseline gray"},
      {"colour.jpg", K_FILE_FORMAT_JPEG_COLOR, true, "10 5x3 3x8 palette 0 alpha 0 pages 1 baseline YCbCr"},
  };
  for (const auto& c : cases) {
    const std::string path = dir.Path(c.name);
    ASSERT_EQ(c.colour ? KSaveImage(&colour, path.c_str(), c.format) : KSaveImage(&gray, path.c_str(), c.format),
              K_SUCCESS);
    EXPECT_EQ(Describe(InfoOf(path)), c.described) << c.name;
  }

  // Pages are the directories chained from the header, each counted once.
  KTiffBuilder tiff(false);
  tiff.Long(256, {2}).Long(257, {1}).Short(258, {8}).Short(262, {1}).Strips({{1, 2}});
  KBytes pages = tiff.Build();
  const std::uint32_t ifdEnd = 8 + 2 + 12 * pages[8] + pages[9] * 256 * 12;  // the next-IFD link
  KBytes twice = pages;
  const std::uint32_t second = static_cast<std::uint32_t>(twice.size());
  twice.insert(twice.end(), pages.begin() + 8, pages.begin() + ifdEnd + 4);  // a copy of the directory
  PutLe32(twice, ifdEnd, second);
  KBytes loop = pages;
  PutLe32(loop, ifdEnd, 8);  // back onto itself
  ASSERT_TRUE(KWriteFileBytes(dir.Path("two.tif"), twice) && KWriteFileBytes(dir.Path("loop.tif"), loop));
  EXPECT_EQ(InfoOf(dir.Path("two.tif")).pages, 2);
  EXPECT_EQ(InfoOf(dir.Path("loop.tif")).pages, 1);

  KTraceCapture trace;
  KImageFileInfo info;
  EXPECT_EQ(KGetImageFileInfo(dir.Path("missing.tif").c_str(), &info), K_ERROR_FILE_OPEN);
  EXPECT_EQ(KGetImageFileInfo(dir.Path("gray.tif").c_str(), nullptr), K_ERROR_PARAMETER_2_OUT_OF_RANGE);
  EXPECT_EQ(trace.Names(), (Names{"KGetImageFileInfo", "KGetImageFileInfo"}));
}

}  // namespace
