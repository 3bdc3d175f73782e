#include "kvbase/files/image_files.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kvbase/files/image_files_test_support.h"
#include "kvbase/files/internal/file_contexts.h"
#include "kvbase/testing/trace_capture.h"

namespace {

using kvbase::testing::Bytes;
using kvbase::testing::FillPattern;
using kvbase::testing::SamePixels;
using Names = std::vector<std::string>;

constexpr K_ERRORS OK = K_SUCCESS;
constexpr K_ERRORS BIL = K_ERROR_BILEVEL_FORMAT_EXPECTED;
constexpr K_ERRORS GRA = K_ERROR_GRAY_FORMAT_EXPECTED;
constexpr K_ERRORS COL = K_ERROR_COLOR_FORMAT_EXPECTED;
constexpr K_ERRORS TIF = K_ERROR_UNSUPPORTED_TIFF_FORMAT;
constexpr K_ERRORS BMP = K_ERROR_UNSUPPORTED_BMP_FORMAT;
constexpr K_ERRORS JPG = K_ERROR_UNSUPPORTED_JPEG_FORMAT;

// One pixel kind: how to save a patterned 5 x 3 image of it, and how to load a file back and compare.
struct KindCase {
  std::string trace;
  std::function<short(const std::string&, short)> save;
  std::function<short(const std::string&, short&, bool&)> loadAndCompare;
  std::array<K_ERRORS, 12> byCode;  // the answer for codes 0..11 (5 and 9 have no writer)
  std::array<int, 3> byExtension;   // ".bmp", ".tif", ".jpg": a format code, or a refusal code
};

template <typename Image>
KindCase MakeCase(const std::string& trace, std::array<K_ERRORS, 12> byCode, std::array<int, 3> byExtension) {
  auto image = std::make_shared<Image>(5, 3);
  FillPattern(*image);
  auto save = [image](const std::string& path, short format) { return KSaveImage(image.get(), path.c_str(), format); };
  auto load = [image](const std::string& path, short& format, bool& same) {
    Image copy;
    const short result = KLoadImage(&copy, path.c_str(), format);
    same = SamePixels(copy, *image);
    return result;
  };
  return {trace, save, load, byCode, byExtension};
}

std::vector<KindCase> AllKinds() {
  return {
      MakeCase<KImageBW1>("KImageBW1::Save", {OK, BIL, BIL, OK, BIL, TIF, OK, BIL, BIL, JPG, BIL, BIL}, {6, 0, JPG}),
      MakeCase<KImageBW8>("KROIBW8::Save", {OK, OK, GRA, OK, OK, TIF, GRA, OK, GRA, JPG, OK, GRA}, {7, 1, 10}),
      MakeCase<KImageBW16>("KROIBW16::Save", {GRA, OK, GRA, GRA, GRA, TIF, BMP, BMP, BMP, JPG, JPG, JPG},
                           {BMP, 1, JPG}),
      MakeCase<KImageC24>("KROIC24::Save", {COL, COL, OK, COL, COL, TIF, COL, COL, OK, JPG, COL, OK}, {8, 2, 11}),
      MakeCase<KImageC15>("KROIC15::Save", {TIF, TIF, TIF, TIF, TIF, TIF, COL, COL, OK, JPG, JPG, JPG}, {8, TIF, JPG}),
      MakeCase<KImageC16>("KROIC16::Save", {TIF, TIF, TIF, TIF, TIF, TIF, COL, COL, OK, JPG, JPG, JPG}, {8, TIF, JPG}),
  };
}

// The container a format code writes, by its first bytes.
std::string ContainerOf(int format) {
  if (format <= 4) return "II";
  if (format <= 8) return "BM";
  return "\xFF\xD8";
}

std::string FirstTwoBytes(const std::string& path) {
  const Bytes bytes = KReadFileBytes(path);
  return bytes.size() < 2 ? "" : std::string(bytes.begin(), bytes.begin() + 2);
}

// Checks a save that must succeed with `format`, then loads the file back into the same kind.
void ExpectSavedAndLoaded(const KindCase& kind, const std::string& path, int format) {
  EXPECT_EQ(FirstTwoBytes(path), ContainerOf(format));
  short loaded = -1;
  bool same = false;
  EXPECT_EQ(kind.loadAndCompare(path, loaded, same), K_SUCCESS);
  EXPECT_EQ(loaded, format);
  // Lossless unless JPEG, or gray pixels thresholded into a bilevel file.
  const bool lossy = format >= 10 || ((format == 0 || format == 3) && kind.trace != "KImageBW1::Save");
  if (!lossy) {
    EXPECT_TRUE(same);
  }
}

TEST(ImageFiles, EveryFormatCodeOfEveryKind) {
  KTempDir dir;
  for (const KindCase& kind : AllKinds()) {
    for (int code = -1; code <= 13; ++code) {
      if (code == K_FILE_FORMAT_AUTO) continue;
      SCOPED_TRACE(kind.trace + " code " + std::to_string(code));
      const std::string path = dir.Path("c" + std::to_string(code + 1) + ".img");
      std::remove(path.c_str());
      KTraceCapture trace;
      const short result = kind.save(path, static_cast<short>(code));
      const K_ERRORS expected = code < 0 || code > 11 ? K_ERROR_PARAMETER_3_OUT_OF_RANGE : kind.byCode[code];
      EXPECT_EQ(result, expected);
      if (expected == OK) {
        ExpectSavedAndLoaded(kind, path, code);
      } else {
        EXPECT_FALSE(KFileExists(path));  // refused before anything was created
        EXPECT_EQ(trace.Names(), Names{kind.trace});
      }
    }
  }
}

TEST(ImageFiles, AutomaticFormatByCaseSensitiveExtension) {
  KTempDir dir;
  const char* const recognised[] = {".bmp", ".tif", ".jpg"};
  const char* const refused[] = {".TIF", ".tiff", ".jpeg", ".Bmp", ".png", ""};
  for (const KindCase& kind : AllKinds()) {
    for (int i = 0; i < 3; ++i) {
      SCOPED_TRACE(kind.trace + recognised[i]);
      const std::string path = dir.Path(std::string("auto") + recognised[i]);
      const int expected = kind.byExtension[i];
      std::remove(path.c_str());
      const short result = kind.save(path, K_FILE_FORMAT_AUTO);
      if (expected < 1000) {
        EXPECT_EQ(result, K_SUCCESS);
        ExpectSavedAndLoaded(kind, path, expected);
      } else {
        EXPECT_EQ(result, expected);
        EXPECT_FALSE(KFileExists(path));
      }
    }
    for (const char* extension : refused) {
      const std::string path = dir.Path(std::string("name") + extension);
      std::remove(path.c_str());
      EXPECT_EQ(kind.save(path, K_FILE_FORMAT_AUTO), K_ERROR_UNSUPPORTED_FILE_EXTENSION) << extension;
      EXPECT_FALSE(KFileExists(path));
    }
  }
}

TEST(ImageFiles, SaveRefusesSourcesWithoutPixelsAndReportsWriteFailures) {
  KTempDir dir;
  KTraceCapture trace;
  KImageBW8 empty;
  KROIC24 loose(nullptr, 0, 0, 4, 4);
  EXPECT_EQ(KSaveImage(&empty, dir.Path("a.bmp").c_str(), K_FILE_FORMAT_AUTO), K_ERROR_IMAGE_MEMORY_ACCESS);
  EXPECT_EQ(KSaveImage(&loose, dir.Path("b.bmp").c_str(), K_FILE_FORMAT_AUTO), K_ERROR_IMAGE_MEMORY_ACCESS);
  EXPECT_FALSE(KFileExists(dir.Path("a.bmp")));
  EXPECT_FALSE(KFileExists(dir.Path("b.bmp")));

  KImageBW8 image(64, 64);
  FillPattern(image);
  EXPECT_EQ(KSaveImage(&image, dir.Path("missing/dir.bmp").c_str(), K_FILE_FORMAT_BMP_GRAY), K_ERROR_FILE_OPEN);
  // A device that takes no bytes: the failure must not be reported as a saved file.
  EXPECT_EQ(KSaveImage(&image, "/dev/full", K_FILE_FORMAT_BMP_GRAY), K_ERROR_FILE_WRITE);
  EXPECT_EQ(KSaveImage(&image, "/dev/full", K_FILE_FORMAT_JPEG_GRAY), K_ERROR_JPEG_WRITE);
  EXPECT_EQ(trace.Names(), (Names{"KROIBW8::Save", "KROIC24::Save", "KROIBW8::Save", "KROIBW8::Save",
                              "KROIBW8::Save"}));
}

TEST(ImageFiles, RecognitionFromTheFirstSixteenBytes) {
  KTempDir dir;
  struct Case {
    std::string bytes;
    K_ERRORS error;
    short format;  // what the caller is told
  };
  const std::string jfifApp0("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01", 16);
  const Case cases[] = {
      {"BM too short", K_ERROR_FILE_READ, K_FILE_FORMAT_AUTO},
      {"0123456789abcdefghij", K_ERROR_BAD_FILE_FORMAT, K_FILE_FORMAT_AUTO},
      {std::string("II\x2B\0\x08\0\0\0........", 16), K_ERROR_BAD_FILE_FORMAT, K_FILE_FORMAT_AUTO},
      {std::string("MM\x2A\0\0\0\0\x08........", 16), K_ERROR_BAD_FILE_FORMAT, K_FILE_FORMAT_AUTO},
      {std::string("\xFF\xD8\xFF\xDB\x00\x43\x00\x01\x02\x03........", 18), K_ERROR_BAD_FILE_FORMAT,
       K_FILE_FORMAT_AUTO},
      {std::string("BM\0\0\0\0\0\0\0\0\x36\0\0\0\x0C\0\0\0", 18), K_ERROR_FILE_READ, K_FILE_FORMAT_BMP_GRAY},
      {std::string("BM\0\0\0\0\0\0\0\0\x36\0\0\0\x7C\0\0\0", 18) + std::string(120, '\0'),
       K_ERROR_UNSUPPORTED_BMP_FORMAT, K_FILE_FORMAT_BMP_GRAY},
      {jfifApp0 + "\xFF\xD9", K_ERROR_JPEG_READ, K_FILE_FORMAT_JPEG_GRAY},
      {std::string("\xFF\xD8\xFF\xE1\x00\x0E", 6) + "Exif" + std::string(8, '\0') + "\xFF\xD9", K_ERROR_JPEG_READ,
       K_FILE_FORMAT_JPEG_GRAY},
  };
  for (const Case& c : cases) {
    const std::string path = dir.Path("file");
    ASSERT_TRUE(KWriteFileBytes(path, Bytes(c.bytes.begin(), c.bytes.end())));
    KTraceCapture trace;
    KImageBW8 image(3, 3);
    short format = -1;
    EXPECT_EQ(KLoadImage(&image, path.c_str(), format), c.error) << c.bytes;
    EXPECT_EQ(format, c.format) << c.bytes;
    EXPECT_EQ(image.GetWidth(), 3);
    EXPECT_EQ(trace.Names(), Names{"KROIBW8::Load"});
  }
  KTraceCapture trace;
  KImageC24 image;
  EXPECT_EQ(image.Load(dir.Path("absent.bmp").c_str()), K_FILE_FORMAT_AUTO);
  EXPECT_EQ(KGetError(), K_ERROR_FILE_OPEN);
  EXPECT_EQ(trace.Names(), Names{"KImageC24::Load"});
}

TEST(ImageFiles, TargetPreparation) {
  KTempDir dir;
  const std::string path = dir.Path("100x50.bmp");
  KImageBW8 source(100, 50);
  FillPattern(source, 3);
  source.SetResolution(300.0f, 300.0f, &KUnit_inch);
  ASSERT_EQ(KSaveImage(&source, path.c_str(), K_FILE_FORMAT_AUTO), K_SUCCESS);
  short format;

  // An ROI must have the file's size and is never moved or resized.
  KImageBW8 big(200, 200);
  KROIBW8 tall(&big, 10, 20, 100, 60);
  {
    KTraceCapture trace;
    EXPECT_EQ(KLoadImage(&tall, path.c_str(), format), K_ERROR_IMAGE_SIZES_DIFFER);
    EXPECT_EQ(trace.Names(), Names{"KROIBW8::Load"});
  }
  EXPECT_EQ(tall.GetHeight(), 60);
  KROIBW8 fitting(&big, 10, 20, 100, 50);
  EXPECT_EQ(KLoadImage(&fitting, path.c_str(), format), K_SUCCESS);
  EXPECT_TRUE(SamePixels(fitting, source));
  EXPECT_EQ(big.GetWidth(), 200);

  // An image is resized; sub-ROIs left outside are re-clipped without failing the load.
  KImageBW8 image(300, 300);
  KROIBW8 corner(&image, 150, 150, 100, 100);
  EXPECT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS);
  EXPECT_EQ(KGetError(), K_SUCCESS);
  EXPECT_TRUE(SamePixels(image, source));

  // The file's resolution (300 dpi as 11811 pixels per metre) reaches the target; none resets it.
  float x, y;
  KMeasurementUnit* unit;
  image.GetResolution(x, y, unit);
  EXPECT_EQ(unit, &KUnit_m);
  EXPECT_NEAR(x, 11811.0f, 0.01f);
  Bytes bytes = KReadFileBytes(path);
  kvbase::testing::PutLe32(bytes, 38, 0);
  ASSERT_TRUE(KWriteFileBytes(path, bytes));
  EXPECT_EQ(KLoadImage(&image, path.c_str(), format), K_SUCCESS);
  image.GetResolution(x, y, unit);
  EXPECT_EQ(unit, &KUnitNone);
  EXPECT_EQ(x, 1.0f);
  EXPECT_EQ(y, 1.0f);
}

TEST(ImageFiles, SettingsAndMembers) {
  using namespace kvbase::internal;
  KSetTiffThreshold(300);
  EXPECT_EQ(TiffThreshold(), 44);
  KSetTiffThreshold(128);
  KSetTiffStripSize(0);
  EXPECT_EQ(TiffStripSize(), 0u);
  KSetTiffStripSize(8192);
  KSetJpegQuality(500);
  EXPECT_EQ(JpegQuality(), 500u);
  KSetJpegQuality(50);

  KTempDir dir;
  KTraceCapture trace;
  KImageC15 c15(4, 4);
  FillPattern(c15);
  ASSERT_EQ(KSaveImage(&c15, dir.Path("c15.bmp").c_str(), K_FILE_FORMAT_AUTO), K_SUCCESS);
  KImageC15 c15Copy;
  short format;
  EXPECT_EQ(KLoadImage(&c15Copy, dir.Path("c15.bmp").c_str(), format), K_SUCCESS);  // the free function works
  EXPECT_EQ(c15Copy.Load(dir.Path("c15.bmp").c_str()), 0);                          // the member refuses
  KROIC16 c16Roi;
  c16Roi.Save(dir.Path("c16.bmp").c_str(), K_FILE_FORMAT_AUTO);
  KImageBW32 bw32(2, 2);
  bw32.Save(dir.Path("bw32.tif").c_str(), K_FILE_FORMAT_AUTO);
  KROIBW1 bw1Roi;
  EXPECT_EQ(bw1Roi.Load(dir.Path("c15.bmp").c_str()), 0);
  EXPECT_EQ(trace.Names(), (Names{"KImage::Load", "KROI::Save", "KImage::Save", "KROI::Load"}));
  EXPECT_FALSE(KFileExists(dir.Path("c16.bmp")));

  // The supported members forward to the free functions.
  KImageC24 colour(6, 2);
  FillPattern(colour);
  KROIC24 part(&colour, 1, 0, 5, 2);
  part.Save(dir.Path("part.bmp").c_str(), K_FILE_FORMAT_AUTO);
  KImageC24 back;
  EXPECT_EQ(back.Load(dir.Path("part.bmp").c_str()), K_FILE_FORMAT_BMP_COLOR);
  EXPECT_TRUE(SamePixels(back, part));
  KImageBW1 bits(9, 2);
  bits.SetPixel(1, 8, 1);
  bits.Save(dir.Path("bits.bmp").c_str(), K_FILE_FORMAT_AUTO);
  KImageBW1 bitsBack;
  EXPECT_EQ(bitsBack.Load(dir.Path("bits.bmp").c_str()), K_FILE_FORMAT_BMP_BILEVEL);
  EXPECT_EQ(bitsBack.GetPixel(8, 1), 1);
  EXPECT_EQ(trace.Names().size(), 4u);
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

}  // namespace
