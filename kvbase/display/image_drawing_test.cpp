#include "kvbase/display/image_drawing.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kvbase/display/image_dc.h"
#include "kvbase/display/internal/display_state.h"
#include "kvbase/platform/gdi.h"
#include "kvbase/platform/internal/gdi_test_support.h"
#include "kvbase/testing/trace_capture.h"

namespace {

using Names = std::vector<std::string>;

constexpr COLORREF kMarker = RGB(230, 230, 230);

COLORREF Gray(int level) { return RGB(level, level, level); }

// A 6 x 4 gray image whose pixel (x, y) is 40 x + 10 y + 5.
int Level(int x, int y) { return 40 * x + 10 * y + 5; }
void FillLevels(KImageBW8& image) {
  for (int y = 0; y < image.GetHeight(); ++y)
    for (int x = 0; x < image.GetWidth(); ++x) image.SetPixel(static_cast<unsigned char>(Level(x, y) & 255), x, y);
}

HDC MarkedDC(int width = 16, int height = 12, int bits = 32) {
  HDC dc = KCreateMemoryDC(width, height, bits);
  kvgdi_test::Fill(dc, kMarker);
  return dc;
}

// Every device pixel: the picture inside `size` (from the device origin), the marker elsewhere.
template <typename Picture>
void ExpectDrawn(HDC dc, int width, int height, Picture picture, const std::string& what) {
  int wrong = 0;
  for (int y = 0; y < kvgdi_test::Height(dc); ++y) {
    for (int x = 0; x < kvgdi_test::Width(dc); ++x) {
      const COLORREF expected = x < width && y < height ? picture(x, y) : kMarker;
      if (GetPixel(dc, x, y) != expected && ++wrong <= 3)
        ADD_FAILURE() << what << ": " << x << "," << y << " is " << std::hex << GetPixel(dc, x, y) << " not " << expected;
    }
  }
}

TEST(ImageDrawing, GrayImageAtEachZoomLandsAtTheDeviceOrigin) {
  KImageBW8 image(6, 4);
  FillLevels(image);
  struct Case {
    float zoomX, zoomY;
    int width, height;  // device pixels drawn
    int sx, sy;         // source pixel = device pixel x sx / 2, y sy / 2
  } cases[] = {
      {1.0f, 1.0f, 6, 4, 2, 2}, {2.0f, 0.0f, 12, 8, 1, 1}, {0.5f, 0.0f, 3, 2, 4, 4},
      {1.0f, 2.0f, 6, 8, 2, 1}, {1.0f, 0.0f, 6, 4, 2, 2}, {-0.0f, 0.0f, 0, 0, 2, 2},
  };
  for (const Case& c : cases) {
    HDC dc = MarkedDC();
    EXPECT_EQ(KDrawImageInWindow(&image, dc, c.zoomX, c.zoomY), 0);
    ExpectDrawn(
        dc, c.width, c.height, [&](int x, int y) { return Gray(Level(x * c.sx / 2, y * c.sy / 2)); },
        "zoom " + std::to_string(c.zoomX) + " x " + std::to_string(c.zoomY));
    DeleteDC(dc);
  }
  // A 3-pixel-wide image at zoom 0.5 is one device pixel wide.
  KImageBW8 narrow(3, 2);
  narrow.SetPixel(50, 0, 0);
  narrow.SetPixel(60, 1, 0);
  narrow.SetPixel(70, 2, 0);
  HDC dc = MarkedDC();
  KDrawImageInWindow(&narrow, dc, 0.5f, 0.0f);
  EXPECT_EQ(kvgdi_test::FindInk(dc, kMarker).count, 1);
  DeleteDC(dc);
}

TEST(ImageDrawing, AnROIShowsItsAreaOfTheRootAtTheOrigin) {
  KImageBW8 image(100, 100);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x) image.SetPixel(static_cast<unsigned char>(x + 2 * y), x, y);
  KROIBW8 parent(&image, 5, 10, 60, 70);
  KROIBW8 roi(&parent, 5, 10, 30, 40);  // at (10, 20) of the image
  for (float zoom : {1.0f, 2.0f}) {
    HDC dc = MarkedDC(80, 100);
    KDrawImageInWindow(&roi, dc, zoom, 0.0f);
    const int w = static_cast<int>(30 * zoom), h = static_cast<int>(40 * zoom);
    ExpectDrawn(
        dc, w, h, [&](int x, int y) { return Gray(10 + static_cast<int>(x / zoom) + 2 * (20 + static_cast<int>(y / zoom))); },
        "zoom " + std::to_string(zoom));
    DeleteDC(dc);
  }
}

// A one-pixel image of type T shows `shown`.
template <typename T>
void ExpectOnePixel(T pixel, COLORREF shown, const char* what) {
  KImage<T> image(1, 1);
  image.SetPixel(pixel, 0, 0);
  HDC dc = MarkedDC();
  KDrawImageInWindow(&image, dc, 1.0f, 1.0f);
  ExpectDrawn(dc, 1, 1, [&](int, int) { return shown; }, what);
  DeleteDC(dc);
}

TEST(ImageDrawing, EveryDrawableKind) {
  HDC dc = MarkedDC();
  // BW1: set bits are white, clear ones black; the ROI starts in the middle of a byte.
  KImageBW1 bilevel(12, 2);
  for (int x = 0; x < 12; ++x) {
    bilevel.SetPixel(x % 3 == 0, x, 0);
    bilevel.SetPixel(0, x, 1);
  }
  KDrawImageInWindow(&bilevel, dc, 1.0f, 1.0f);
  ExpectDrawn(dc, 12, 2, [](int x, int y) { return y == 0 && x % 3 == 0 ? RGB(255, 255, 255) : RGB(0, 0, 0); }, "BW1 image");
  KROIBW1 bits(&bilevel, 5, 0, 7, 1);
  kvgdi_test::Fill(dc, kMarker);
  KDrawImageInWindow(&bits, dc, 1.0f, 1.0f);
  ExpectDrawn(dc, 7, 1, [](int x, int) { return (x + 5) % 3 == 0 ? RGB(255, 255, 255) : RGB(0, 0, 0); }, "BW1 ROI");

  // BW16: the most significant byte.
  KImageBW16 deep(2, 1);
  deep.SetPixel(0x1234, 0, 0);
  deep.SetPixel(0x00FF, 1, 0);
  kvgdi_test::Fill(dc, kMarker);
  KDrawImageInWindow(&deep, dc, 1.0f, 1.0f);
  ExpectDrawn(dc, 2, 1, [](int x, int) { return x == 0 ? Gray(0x12) : Gray(0); }, "BW16");
  KROIBW16 deepRoi(&deep, 1, 0, 1, 1);
  kvgdi_test::Fill(dc, kMarker);
  KDrawImageInWindow(&deepRoi, dc, 2.0f, 0.0f);
  ExpectDrawn(dc, 2, 2, [](int, int) { return Gray(0); }, "BW16 ROI");

  // Colours: byte 2 is red, byte 0 blue; 15- and 16-bit words by their masks.
  KImageC24 c24(2, 1);
  c24.SetPixel(KC24(200, 100, 50), 0, 0);
  c24.SetPixel(KC24(1, 2, 3), 1, 0);
  kvgdi_test::Fill(dc, kMarker);
  KDrawImageInWindow(&c24, dc, 1.0f, 1.0f);
  ExpectDrawn(dc, 2, 1, [](int x, int) { return x == 0 ? RGB(200, 100, 50) : RGB(1, 2, 3); }, "C24");
  ExpectOnePixel(KC24A{50, 100, 200, 99}, RGB(200, 100, 50), "C24A");
  ExpectOnePixel(KC15{(31 << 10) | 31}, RGB(255, 0, 255), "C15");
  ExpectOnePixel(KC16{63 << 5}, RGB(0, 255, 0), "C16");
  DeleteDC(dc);
}

TEST(ImageDrawing, LookupTablesColourTheGrayLevels) {
  KImageBW8 image(6, 4);
  FillLevels(image);
  KBW8Vector inverse;
  inverse.SetupGainOffset(-1.0f, 255.0f, 1.0f);
  ASSERT_EQ(inverse.GetNumElements(), 256u);
  KC24Vector colours(256);
  for (int i = 0; i < 256; ++i) colours.AddElement(KC24(static_cast<unsigned char>(i), 0, static_cast<unsigned char>(255 - i)));

  HDC dc = MarkedDC();
  KDrawImageInWindow(&image, dc, &inverse, 1.0f, 1.0f);
  ExpectDrawn(dc, 6, 4, [](int x, int y) { return Gray(255 - Level(x, y)); }, "gray table");
  KROIBW8 roi(&image, 1, 1, 2, 2);
  kvgdi_test::Fill(dc, kMarker);
  KDrawImageInWindow(&roi, dc, &colours, 1.0f, 1.0f);
  ExpectDrawn(dc, 2, 2, [](int x, int y) { return RGB(Level(x + 1, y + 1), 0, 255 - Level(x + 1, y + 1)); }, "colour table");
  DeleteDC(dc);
}

TEST(ImageDrawing, RefusalsSetTheCodeAndTraceTheOverload) {
  KTraceCapture trace;
  HDC dc = MarkedDC();
  KImageBW8 never;
  KImageBW8 image(6, 4);
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
      {"image never sized", [&] { EXPECT_EQ(KDrawImageInWindow(&never, dc, 1.0f, 1.0f), 1400); },
       K_ERROR_IMAGE_MEMORY_ACCESS, {"KDrawImageInWindow (BW8 Image)"}},
      {"null image", [&] { KDrawImageInWindow(static_cast<KImageBW1*>(nullptr), dc, 1.0f, 1.0f); },
       K_ERROR_IMAGE_MEMORY_ACCESS, {"KDrawImageInWindow (BW1 Image)"}},
      {"ROI without parent", [&] { KDrawImageInWindow(&orphan, dc, 1.0f, 1.0f); }, K_ERROR_ROI_HAS_NO_PARENT,
       {"KROI::GetTopParent", "KDrawImageInWindow (BW8 ROI)"}},
      {"C24 ROI without parent", [&] { KDrawImageInWindow(&orphan24, dc, 1.0f, 1.0f); }, K_ERROR_ROI_HAS_NO_PARENT,
       {"KROI::GetTopParent", "KDrawImageInWindow (C24 ROI)"}},
      {"BW16 ROI reaching no buffer", [&] { KDrawImageInWindow(&orphan16, dc, 1.0f, 1.0f); }, K_ERROR_IMAGE_MEMORY_ACCESS,
       {"KDrawImageInWindow (BW16 Image)"}},
      {"table of 255", [&] { KDrawImageInWindow(&image, dc, &shortTable, 1.0f, 1.0f); },
       K_ERROR_INVALID_NUMBER_OF_VECTOR_ELEMENTS, {"KDrawImageInWindow (BW8 Image)"}},
      {"no table", [&] { KDrawImageInWindow(&image, dc, static_cast<KC24Vector*>(nullptr), 1.0f, 1.0f); },
       K_ERROR_VECTOR_MEMORY_ACCESS, {"KDrawImageInWindow (BW8 Image)"}},
  };
  for (const Case& c : cases) {
    trace.Clear();
    c.draw();
    EXPECT_EQ(KGetError(), c.code) << c.what;
    EXPECT_EQ(trace.Names(), c.traces) << c.what;
  }
  EXPECT_EQ(kvgdi_test::FindInk(dc, kMarker).count, 0) << "nothing drawn";
  EXPECT_EQ(KDrawImageInWindow(&image, dc, 1.0f, 1.0f), 0);
  EXPECT_EQ(KGetError(), K_SUCCESS);
  DeleteDC(dc);
}

TEST(ImageDrawing, BorrowedRowsOfAnyPitchAreShownAsTheyAre) {
  // Rows 10 bytes apart (not a multiple of 4): the picture must not shear.
  std::vector<unsigned char> rows(10 * 3, 0xEE);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) rows[10 * y + x] = static_cast<unsigned char>(20 * x + 60 * y);
  KImageBW8 image;
  image.SetImagePtr(5, 3, rows.data(), 80);
  HDC dc = MarkedDC();
  KDrawImageInWindow(&image, dc, 1.0f, 1.0f);
  ExpectDrawn(dc, 5, 3, [](int x, int y) { return Gray(20 * x + 60 * y); }, "pitch 10");
  DeleteDC(dc);
}

TEST(ImageDrawingPalettes, GrayPaletteIsBuiltCoarseLevelsFirstAndRestored) {
  KUpdatePalette();
  kvdisplay::KDisplayState& state = kvdisplay::KDisplay();
  KImageBW8 image(6, 4);
  FillLevels(image);
  HDC trueColour = MarkedDC();
  KDrawImageInWindow(&image, trueColour, 1.0f, 1.0f);
  EXPECT_EQ(state.grayPaletteHandle, nullptr) << "no palette step without RC_PALETTE";
  DeleteDC(trueColour);

  HDC dc = KCreateMemoryDC(16, 12, 8);
  HGDIOBJ before = GetCurrentObject(dc, OBJ_PAL);
  KDrawImageInWindow(&image, dc, 1.0f, 1.0f);
  ASSERT_NE(state.grayPaletteHandle, nullptr);
  PALETTEENTRY entries[256];
  ASSERT_EQ(GetPaletteEntries(state.grayPaletteHandle, 0, 256, entries), 256u);
  const int expectedStart[] = {128, 64, 192, 32, 96, 160, 224, 16, 48};
  for (int n = 0; n < 9; ++n) EXPECT_EQ(entries[n].peRed, expectedStart[n]) << n;
  EXPECT_EQ(entries[127].peRed, 1 + 0);  // the 128 odd values close the sequence: 1, 3, ..., 255
  EXPECT_EQ(entries[127 + 127].peRed, 255);
  EXPECT_EQ(entries[255].peRed, 0);
  // The previous palette is back in the device context; the pixels show their levels.
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PAL), before);
  EXPECT_EQ(state.savedPalette, before);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(GetPixel(dc, x, y), Gray(Level(x, y))) << x << "," << y;
  // The device's pixels are indexes into the gray palette: level 128 would be index 0.
  std::vector<BYTE> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
  auto* header = reinterpret_cast<BITMAPINFO*>(info.data());
  header->bmiHeader = {40, 16, -12, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<BYTE> indexes(16 * 12);
  GetDIBits(dc, static_cast<HBITMAP>(GetCurrentObject(dc, OBJ_BITMAP)), 0, 12, indexes.data(), header, DIB_RGB_COLORS);
  EXPECT_EQ(header->bmiColors[0].rgbRed, 128);
  EXPECT_EQ(header->bmiColors[2].rgbRed, 192);
  EXPECT_EQ(indexes[0], 129) << "level 5 is the third odd value, after the 127 coarser levels";

  HPALETTE built = state.grayPaletteHandle;
  KUpdatePalette();
  EXPECT_EQ(state.grayPaletteHandle, nullptr);
  EXPECT_EQ(GetObjectType(built), 0u) << "deleted";
  KUpdatePalette();  // nothing left to delete
  EXPECT_EQ(state.grayPalette.palNumEntries, 0);
  DeleteDC(dc);
}

TEST(ImageDrawingPalettes, TheFirstDrawAfterAnUpdateDecidesTheGrayPalette) {
  KUpdatePalette();
  kvdisplay::KDisplayState& state = kvdisplay::KDisplay();
  KImageBW8 image(2, 1);
  image.SetPixel(0, 0, 0);
  image.SetPixel(128, 1, 0);
  KC24Vector colours(256);
  for (int i = 0; i < 256; ++i) colours.AddElement(KC24(static_cast<unsigned char>(255 - i), static_cast<unsigned char>(i), 7));
  KBW8Vector wrong(255);
  for (int i = 0; i < 255; ++i) wrong.AddElement(0);
  HDC dc = KCreateMemoryDC(4, 4, 8);
  KDrawImageInWindow(&image, dc, &wrong, 1.0f, 1.0f);
  EXPECT_EQ(state.grayPaletteHandle, nullptr) << "a refused table touches no palette";
  KDrawImageInWindow(&image, dc, &colours, 1.0f, 1.0f);
  PALETTEENTRY first[2];
  GetPaletteEntries(state.grayPaletteHandle, 0, 2, first);
  EXPECT_EQ(first[0].peRed, 127);  // colour-table entry 128
  EXPECT_EQ(first[0].peGreen, 128);
  EXPECT_EQ(first[0].peBlue, 7);
  EXPECT_EQ(GetPixel(dc, 1, 0), RGB(127, 128, 7));
  // A plain draw later reuses that palette unchanged.
  HPALETTE built = state.grayPaletteHandle;
  KDrawImageInWindow(&image, dc, 1.0f, 1.0f);
  EXPECT_EQ(state.grayPaletteHandle, built);
  GetPaletteEntries(state.grayPaletteHandle, 0, 2, first);
  EXPECT_EQ(first[0].peRed, 127);
  KUpdatePalette();
  KDrawImageInWindow(&image, dc, 1.0f, 1.0f);
  GetPaletteEntries(state.grayPaletteHandle, 0, 2, first);
  EXPECT_EQ(first[0].peRed, 128);
  DeleteDC(dc);
}

TEST(ImageDrawingPalettes, ColourDrawsUseTheColourCube) {
  kvdisplay::KDisplayState& state = kvdisplay::KDisplay();
  KImageC24 image(2, 1);
  image.SetPixel(KC24(250, 10, 110), 0, 0);
  image.SetPixel(KC24(0, 255, 51), 1, 0);
  HDC dc = KCreateMemoryDC(4, 4, 8);
  KDrawImageInWindow(&image, dc, 1.0f, 1.0f);
  ASSERT_NE(state.cubePaletteHandle, nullptr);
  EXPECT_EQ(state.cubePalette.palNumEntries, 216);
  PALETTEENTRY entries[216];
  ASSERT_EQ(GetPaletteEntries(state.cubePaletteHandle, 0, 216, entries), 216u);
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b) {
        const PALETTEENTRY& e = entries[(r * 6 + g) * 6 + b];
        EXPECT_TRUE(e.peRed == 51 * r && e.peGreen == 51 * g && e.peBlue == 51 * b && e.peFlags == 0);
      }
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 0, 102));
  EXPECT_EQ(GetPixel(dc, 1, 0), RGB(0, 255, 51));
  HPALETTE cube = state.cubePaletteHandle;
  KUpdatePalette();
  KDrawImageInWindow(&image, dc, 2.0f, 0.0f);
  EXPECT_EQ(state.cubePaletteHandle, cube) << "built once, never deleted";
  DeleteDC(dc);
}

}  // namespace
