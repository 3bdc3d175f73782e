#include "kvbase/display/image_drawing.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kvbase/display/image_dc.h"
#include "kvbase/display/internal/display_state.h"
#include "kvbase/platform/gdi.h"
#include "kvbase/testing/gdi_test_support.h"
#include "kvbase/testing/trace_capture.h"

namespace {

using namespace kvgdi_test;
namespace display = kvbase::internal::display;
using Names = std::vector<std::string>;

// A 16 x 12 32-bit device context filled with the marker.
struct Marked : Canvas {
  Marked() : Canvas(16, 12, 32, kMarker) {}
};

COLORREF Gray(int level) { return RGB(level, level, level); }

// A 6 x 4 gray image whose pixel (x, y) is 40 x + 10 y + 5.
int Level(int x, int y) { return 40 * x + 10 * y + 5; }
struct Levels : KImageBW8 {
  Levels() : KImageBW8(6, 4) {
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x) SetPixel(static_cast<unsigned char>(Level(x, y)), x, y);
  }
};

TEST(ImageDrawing, ImagesAndROIsAtEachZoomLandAtTheDeviceOrigin) {
  Levels image;
  KROIBW8 parent(&image, 1, 0, 5, 4), roi(&parent, 1, 1, 3, 2), narrow(&image, 0, 0, 3, 2);  // roi at (2, 1)
  // Device pixel (x, y) shows source pixel (ox + x sx / 2, oy + y sy / 2).
  struct Case {
    KROIBW8* roi;
    float zoomX, zoomY;
    int width, height, sx, sy, ox, oy;
  } cases[] = {
      {nullptr, 1.0f, 1.0f, 6, 4, 2, 2, 0, 0}, {nullptr, 2.0f, 0.0f, 12, 8, 1, 1, 0, 0},
      {nullptr, 0.5f, 0.0f, 3, 2, 4, 4, 0, 0}, {nullptr, 1.0f, 2.0f, 6, 8, 2, 1, 0, 0},
      {nullptr, 1.0f, 0.0f, 6, 4, 2, 2, 0, 0}, {nullptr, -0.0f, 0.0f, 0, 0, 2, 2, 0, 0},
      {&roi, 1.0f, 0.0f, 3, 2, 2, 2, 2, 1},    {&roi, 2.0f, 0.0f, 6, 4, 1, 1, 2, 1},
      {&narrow, 0.5f, 0.0f, 1, 1, 0, 0, 1, 0},  // trunc(1.5) x 1 device pixels
  };
  for (const Case& c : cases) {
    Marked canvas;
    if (c.roi != nullptr)
      KDrawImageInWindow(c.roi, canvas.dc, c.zoomX, c.zoomY);
    else
      EXPECT_EQ(KDrawImageInWindow(&image, canvas.dc, c.zoomX, c.zoomY), 0);
    ExpectDrawn(
        canvas.dc, {0, 0, c.width, c.height},
        [&](int x, int y) { return Gray(Level(c.ox + x * c.sx / 2, c.oy + y * c.sy / 2)); },
        (c.roi ? "ROI zoom " : "zoom ") + std::to_string(c.zoomX) + " x " + std::to_string(c.zoomY));
  }
  // Borrowed rows 10 bytes apart (not a multiple of 4): the picture must not shear.
  std::vector<unsigned char> rows(10 * 3, 0xEE);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) rows[10 * y + x] = static_cast<unsigned char>(20 * x + 60 * y);
  KImageBW8 borrowed;
  borrowed.SetImagePtr(5, 3, rows.data(), 80);
  Marked canvas;
  KDrawImageInWindow(&borrowed, canvas.dc, 1.0f, 1.0f);
  ExpectDrawn(
      canvas.dc, {0, 0, 5, 3}, [](int x, int y) { return Gray(20 * x + 60 * y); }, "pitch 10");
}

// An image of type T whose first row holds `pixels` and second row zeros (black) shows `shown` in its
// first row; an ROI from column 1, at zoom 2, shows the same.
template <typename T>
void ExpectRow(std::vector<T> pixels, std::vector<COLORREF> shown, const char* what) {
  KImage<T> image(static_cast<int>(pixels.size()), 2);
  for (int x = 0; x < image.GetWidth(); ++x) image.SetPixel(pixels[x], x, 0), image.SetPixel(T{}, x, 1);
  KROI<T> roi(&image, 1, 0, image.GetWidth() - 1, 2);
  Marked whole, part;
  KDrawImageInWindow(&image, whole.dc, 1.0f, 1.0f);
  KDrawImageInWindow(&roi, part.dc, 2.0f, 0.0f);
  ExpectDrawn(
      whole.dc, {0, 0, image.GetWidth(), 2}, [&](int x, int y) { return y ? kBlack : shown[x]; }, what);
  ExpectDrawn(
      part.dc, {0, 0, 2 * roi.GetWidth(), 4}, [&](int x, int y) { return y > 1 ? kBlack : shown[x / 2 + 1]; },
      std::string(what) + " ROI");
}

TEST(ImageDrawing, EveryDrawableKind) {
  // BW1: set bits white, clear ones black; the ROI starts in the middle of a byte.
  const COLORREF w = kWhite, b = kBlack;
  ExpectRow<int>({1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 1}, {w, b, b, w, b, b, w, b, b, w, b, w}, "BW1");
  ExpectRow<unsigned short>({0x1234, 0x00FF, 0xFF00}, {Gray(0x12), Gray(0), Gray(0xFF)}, "BW16 by its high byte");
  // Colours: byte 2 is red, byte 0 blue; 15- and 16-bit words by their masks.
  ExpectRow<KC24>({KC24(200, 100, 50), KC24(1, 2, 3)}, {RGB(200, 100, 50), RGB(1, 2, 3)}, "C24");
  ExpectRow<KC24A>({KC24A{50, 100, 200, 99}, KC24A{3, 2, 1, 0}}, {RGB(200, 100, 50), RGB(1, 2, 3)}, "C24A");
  ExpectRow<KC15>({KC15{(31 << 10) | 31}, KC15{31 << 5}}, {RGB(255, 0, 255), RGB(0, 255, 0)}, "C15");
  ExpectRow<KC16>({KC16{63 << 5}, KC16{31 << 11}}, {RGB(0, 255, 0), RGB(255, 0, 0)}, "C16");
}

TEST(ImageDrawing, LookupTablesColourTheGrayLevels) {
  Levels image;
  KBW8Vector inverse;
  inverse.SetupGainOffset(-1.0f, 255.0f, 1.0f);
  ASSERT_EQ(inverse.GetNumElements(), 256u);
  KC24Vector colours(256);
  for (int i = 0; i < 256; ++i)
    colours.AddElement(KC24(static_cast<unsigned char>(i), 0, static_cast<unsigned char>(255 - i)));
  Marked gray, colour;
  KDrawImageInWindow(&image, gray.dc, &inverse, 1.0f, 1.0f);
  ExpectDrawn(
      gray.dc, {0, 0, 6, 4}, [](int x, int y) { return Gray(255 - Level(x, y)); }, "gray table");
  KROIBW8 roi(&image, 1, 1, 2, 2);
  KDrawImageInWindow(&roi, colour.dc, &colours, 1.0f, 1.0f);
  ExpectDrawn(
      colour.dc, {0, 0, 2, 2}, [](int x, int y) { return RGB(Level(x + 1, y + 1), 0, 255 - Level(x + 1, y + 1)); },
      "colour table");
}

TEST(ImageDrawing, RefusalsSetTheCodeAndTraceTheOverload) {
  KTraceCapture trace;
  Marked canvas;
  const HDC dc = canvas.dc;
  KImageBW8 never;
  Levels image;
  KROIBW8 orphan;
  KROIBW16 orphan16;
  KROIC24 orphan24;
  KBW8Vector shortTable;
  shortTable.SetupThreshold(100, 0, 255);
  shortTable.SetNumElements(255);
  struct Case {
    const char* what;
    std::function<void()> draw;
    K_ERRORS code;
    Names traces;
  } cases[] = {
      {"image never sized",
       [&] { EXPECT_EQ(KDrawImageInWindow(&never, dc, 1.0f, 1.0f), 1400); },
       K_ERROR_IMAGE_MEMORY_ACCESS,
       {"KDrawImageInWindow (BW8 Image)"}},
      {"null image",
       [&] { KDrawImageInWindow(static_cast<KImageBW1*>(nullptr), dc, 1.0f, 1.0f); },
       K_ERROR_IMAGE_MEMORY_ACCESS,
       {"KDrawImageInWindow (BW1 Image)"}},
      {"ROI without parent",
       [&] { KDrawImageInWindow(&orphan, dc, 1.0f, 1.0f); },
       K_ERROR_ROI_HAS_NO_PARENT,
       {"KROI::GetTopParent", "KDrawImageInWindow (BW8 ROI)"}},
      {"C24 ROI without parent",
       [&] { KDrawImageInWindow(&orphan24, dc, 1.0f, 1.0f); },
       K_ERROR_ROI_HAS_NO_PARENT,
       {"KROI::GetTopParent", "KDrawImageInWindow (C24 ROI)"}},
      {"BW16 ROI reaching no buffer",
       [&] { KDrawImageInWindow(&orphan16, dc, 1.0f, 1.0f); },
       K_ERROR_IMAGE_MEMORY_ACCESS,
       {"KDrawImageInWindow (BW16 Image)"}},
      {"table of 255",
       [&] { KDrawImageInWindow(&image, dc, &shortTable, 1.0f, 1.0f); },
       K_ERROR_INVALID_NUMBER_OF_VECTOR_ELEMENTS,
       {"KDrawImageInWindow (BW8 Image)"}},
      {"no table",
       [&] { KDrawImageInWindow(&image, dc, static_cast<KC24Vector*>(nullptr), 1.0f, 1.0f); },
       K_ERROR_VECTOR_MEMORY_ACCESS,
       {"KDrawImageInWindow (BW8 Image)"}},
  };
  for (const Case& c : cases) {
    trace.Clear();
    c.draw();
    EXPECT_EQ(KGetError(), c.code) << c.what;
    EXPECT_EQ(trace.Names(), c.traces) << c.what;
  }
  EXPECT_EQ(FindInk(dc, kMarker).count, 0) << "nothing drawn";
  EXPECT_EQ(KDrawImageInWindow(&image, dc, 1.0f, 1.0f), 0);
  EXPECT_EQ(KGetError(), K_SUCCESS);
}

// The first `count` entries of `palette`, as colours with the flags in the top byte.
std::vector<COLORREF> Entries(HPALETTE palette, int count) {
  std::vector<PALETTEENTRY> entries(count);
  EXPECT_EQ(GetPaletteEntries(palette, 0, count, entries.data()), static_cast<UINT>(count));
  std::vector<COLORREF> colours;
  for (const PALETTEENTRY& e : entries) colours.push_back(RGB(e.peRed, e.peGreen, e.peBlue) | (e.peFlags << 24));
  return colours;
}

HPALETTE GrayPalette() { return display::BuiltPalette(display::KPaletteKind::kGray); }
HPALETTE CubePalette() { return display::BuiltPalette(display::KPaletteKind::kColourCube); }

TEST(ImageDrawingPalettes, GrayPaletteIsBuiltCoarseLevelsFirstAndRestored) {
  KUpdatePalette();
  Levels image;
  Marked trueColour;
  KDrawImageInWindow(&image, trueColour.dc, 1.0f, 1.0f);
  EXPECT_EQ(GrayPalette(), nullptr) << "no palette step without RC_PALETTE";

  Canvas canvas(16, 12, 8);
  HGDIOBJ before = GetCurrentObject(canvas.dc, OBJ_PAL);
  KDrawImageInWindow(&image, canvas.dc, 1.0f, 1.0f);
  ASSERT_NE(GrayPalette(), nullptr);
  // 128, 64, 192, 32, 96, ...: each level halves the steps; the 128 odd values 1, 3, ..., 255 close it.
  std::vector<COLORREF> expected;
  for (int step = 128; step >= 1; step /= 2)
    for (int level = step; level < 256; level += 2 * step) expected.push_back(Gray(level));
  expected.push_back(Gray(0));
  EXPECT_EQ(Entries(GrayPalette(), 256), expected);
  // The previous palette is back in the device context; the pixels show their levels.
  EXPECT_EQ(GetCurrentObject(canvas.dc, OBJ_PAL), before);
  EXPECT_EQ(display::ThisThreadDisplay().savedPalette, before);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(GetPixel(canvas.dc, x, y), Gray(Level(x, y))) << x << "," << y;
  HPALETTE built = GrayPalette();
  KUpdatePalette();
  EXPECT_EQ(GrayPalette(), nullptr);
  EXPECT_EQ(GetObjectType(built), 0u) << "deleted";
  KUpdatePalette();  // nothing left to delete
  EXPECT_EQ(display::GrayPaletteEntries(), 0);
}

TEST(ImageDrawingPalettes, TheFirstDrawAfterAnUpdateDecidesTheGrayPalette) {
  KUpdatePalette();
  KImageBW8 image(2, 1);
  image.SetPixel(0, 0, 0);
  image.SetPixel(128, 1, 0);
  KC24Vector colours(256);
  for (int i = 0; i < 256; ++i)
    colours.AddElement(KC24(static_cast<unsigned char>(255 - i), static_cast<unsigned char>(i), 7));
  KBW8Vector wrong(255);
  for (int i = 0; i < 255; ++i) wrong.AddElement(0);
  Canvas canvas(4, 4, 8);
  KDrawImageInWindow(&image, canvas.dc, &wrong, 1.0f, 1.0f);
  EXPECT_EQ(GrayPalette(), nullptr) << "a refused table touches no palette";
  KDrawImageInWindow(&image, canvas.dc, &colours, 1.0f, 1.0f);
  EXPECT_EQ(Entries(GrayPalette(), 1)[0], RGB(127, 128, 7)) << "colour-table entry 128 first";
  EXPECT_EQ(GetPixel(canvas.dc, 1, 0), RGB(127, 128, 7));
  // A plain draw later reuses that palette unchanged; after an update it builds the gray one.
  HPALETTE built = GrayPalette();
  KDrawImageInWindow(&image, canvas.dc, 1.0f, 1.0f);
  EXPECT_EQ(GrayPalette(), built);
  EXPECT_EQ(Entries(GrayPalette(), 1)[0], RGB(127, 128, 7));
  KUpdatePalette();
  KDrawImageInWindow(&image, canvas.dc, 1.0f, 1.0f);
  EXPECT_EQ(Entries(GrayPalette(), 1)[0], Gray(128));
}

TEST(ImageDrawingPalettes, ColourDrawsUseTheColourCube) {
  KImageC24 image(2, 1);
  image.SetPixel(KC24(250, 10, 110), 0, 0);
  image.SetPixel(KC24(0, 255, 51), 1, 0);
  Canvas canvas(4, 4, 8);
  KDrawImageInWindow(&image, canvas.dc, 1.0f, 1.0f);
  ASSERT_NE(CubePalette(), nullptr);
  std::vector<COLORREF> cube;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b) cube.push_back(RGB(51 * r, 51 * g, 51 * b));
  EXPECT_EQ(Entries(CubePalette(), 216), cube);
  EXPECT_EQ(GetPixel(canvas.dc, 0, 0), RGB(255, 0, 102));
  EXPECT_EQ(GetPixel(canvas.dc, 1, 0), RGB(0, 255, 51));
  HPALETTE built = CubePalette();
  KUpdatePalette();
  KDrawImageInWindow(&image, canvas.dc, 2.0f, 0.0f);
  EXPECT_EQ(CubePalette(), built) << "built once, never deleted";
}

}  // namespace
