#include "kvbase/display/image_dc.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "kvbase/display/dc_bitmap_file.h"
#include "kvbase/display/image_drawing.h"
#include "kvbase/files/image_files.h"
#include "kvbase/platform/gdi.h"
#include "kvbase/testing/trace_capture.h"

namespace {

using Names = std::vector<std::string>;

// Draws a white line from (1, 1) to (5, 1) (end point excluded) into `dc`.
void WhiteLine(HDC dc) {
  HGDIOBJ old = SelectObject(dc, GetStockObject(WHITE_PEN));
  MoveToEx(dc, 1, 1, nullptr);
  LineTo(dc, 5, 1);
  SelectObject(dc, old);
}

TEST(ImageDC, GrayImageRoundTripWithALineDrawn) {
  KTraceCapture trace;  // also clears the current error
  KImageBW8 image(7, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x) image.SetPixel(static_cast<unsigned char>(10 * x + y), x, y);
  HDC dc = KOpenImageDC(&image);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 8);
  EXPECT_EQ(GetPixel(dc, 3, 2), RGB(32, 32, 32)) << "the device holds a copy of the pixels";
  WhiteLine(dc);
  EXPECT_EQ(image.GetPixel(2, 1), 21) << "changes reach the image only at the close";
  HGDIOBJ bitmap = GetCurrentObject(dc, OBJ_BITMAP);
  KCloseImageDC(&image, dc);
  EXPECT_EQ(KGetError(), K_SUCCESS);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x)
      EXPECT_EQ(image.GetPixel(x, y), y == 1 && x >= 1 && x <= 4 ? 255 : 10 * x + y) << x << "," << y;
  EXPECT_EQ(GetObjectType(dc), 0u) << "device context released";
  EXPECT_EQ(GetObjectType(bitmap), 0u) << "bitmap released";
  EXPECT_TRUE(trace.Names().empty());
}

TEST(ImageDC, ColourImageRoundTripAndTheCurrentDeviceContext) {
  KImageC24 image(6, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 6; ++x) image.SetPixel(KC24(static_cast<unsigned char>(x), 0, static_cast<unsigned char>(y)), x, y);
  HDC dc = KOpenImageDC(&image);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetPixel(dc, 5, 1), RGB(5, 0, 1));
  WhiteLine(dc);
  KCloseImageDC(&image, nullptr);  // the device context just opened
  EXPECT_EQ(KGetError(), K_SUCCESS);
  const KC24 white = image.GetPixel(3, 1), kept = image.GetPixel(5, 1), above = image.GetPixel(3, 0);
  EXPECT_EQ(white.byte0 + white.byte1 + white.byte2, 3 * 255);
  EXPECT_EQ(kept.byte2, 5);
  EXPECT_EQ(kept.byte0, 1);
  EXPECT_EQ(above.byte2, 3);
  EXPECT_EQ(GetObjectType(dc), 0u);

  // The current image device context is not cleared by the close: closing again finds it gone.
  KTraceCapture trace;
  KCloseImageDC(&image, nullptr);
  EXPECT_EQ(KGetError(), K_ERROR_WINDOWS_ERROR);
  EXPECT_EQ(trace.Names(), (Names{"KCloseImageDC"}));
}

TEST(ImageDC, TwoOpenDeviceContextsCloseInAnyOrder) {
  KOk();
  KImageBW8 gray(4, 2);
  KImageC24 colour(4, 2);
  for (int x = 0; x < 4; ++x) {
    gray.SetPixel(100, x, 0);
    gray.SetPixel(100, x, 1);
    colour.SetPixel(KC24(9, 9, 9), x, 0);
    colour.SetPixel(KC24(9, 9, 9), x, 1);
  }
  HDC grayDc = KOpenImageDC(&gray);
  HDC colourDc = KOpenImageDC(&colour);
  SetPixel(grayDc, 0, 0, RGB(7, 7, 7));
  SetPixel(colourDc, 0, 0, RGB(1, 2, 3));
  KCloseImageDC(&gray, grayDc);
  EXPECT_EQ(gray.GetPixel(0, 0), 7);
  EXPECT_EQ(gray.GetPixel(1, 0), 100);
  KCloseImageDC(&colour, nullptr);  // the last opened
  EXPECT_EQ(colour.GetPixel(0, 0).byte2, 1);
  EXPECT_EQ(colour.GetPixel(0, 0).byte0, 3);
  EXPECT_EQ(KGetError(), K_SUCCESS);
}

TEST(ImageDC, AnImageDrawnIntoAnImageKeepsItsGrayLevels) {
  // The 8-bit device context is a palette device, but its bitmap keeps the gray colour table: the
  // palette step must not turn the pixels into palette indexes.
  KUpdatePalette();
  KImageBW8 target(4, 1), source(2, 1);
  for (int x = 0; x < 4; ++x) target.SetPixel(9, x, 0);
  source.SetPixel(200, 0, 0);
  source.SetPixel(3, 1, 0);
  HDC dc = KOpenImageDC(&target);
  EXPECT_NE(GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE, 0);
  KDrawImageInWindow(&source, dc, 1.0f, 1.0f);
  KCloseImageDC(&target, dc);
  EXPECT_EQ(target.GetPixel(0, 0), 200);
  EXPECT_EQ(target.GetPixel(1, 0), 3);
  EXPECT_EQ(target.GetPixel(2, 0), 9);
}

TEST(ImageDC, BorrowedRowsOfAnyPitchComeBackInPlace) {
  std::vector<unsigned char> rows(9 * 2, 0xEE);  // 9-byte rows for 5 pixels: 4 bytes the image must not lose
  for (int x = 0; x < 5; ++x) rows[x] = rows[9 + x] = 50;
  KImageBW8 image;
  image.SetImagePtr(5, 2, rows.data(), 72);
  HDC dc = KOpenImageDC(&image);
  EXPECT_EQ(GetPixel(dc, 4, 1), RGB(50, 50, 50));
  SetPixel(dc, 4, 1, RGB(255, 255, 255));
  KCloseImageDC(&image, dc);
  EXPECT_EQ(rows[9 + 4], 255);
  EXPECT_EQ(rows[0], 50);
  for (int i : {5, 6, 7, 8, 14, 15, 16, 17}) EXPECT_EQ(rows[i], 0xEE) << i;
}

TEST(ImageDC, Refusals) {
  KTraceCapture trace;
  KImageBW8 never;
  KImageC24 neverColour;
  EXPECT_EQ(KOpenImageDC(&never), nullptr);
  EXPECT_EQ(KGetError(), K_ERROR_IMAGE_MEMORY_ACCESS);
  EXPECT_EQ(KOpenImageDC(&neverColour), nullptr);
  KCloseImageDC(&never, nullptr);
  EXPECT_EQ(KGetError(), K_ERROR_IMAGE_MEMORY_ACCESS);
  EXPECT_EQ(trace.Names(), (Names{"KOpenImageDC", "KOpenImageDC", "KCloseImageDC"}));

  // Closing a device context of another size fails and leaves it alive.
  trace.Clear();
  KImageBW8 small(2, 2), large(3, 3);
  HDC dc = KOpenImageDC(&small);
  KCloseImageDC(&large, dc);
  EXPECT_EQ(KGetError(), K_ERROR_WINDOWS_ERROR);
  EXPECT_NE(GetObjectType(dc), 0u);
  KCloseImageDC(&small, dc);
  EXPECT_EQ(KGetError(), K_ERROR_WINDOWS_ERROR) << "a success does not clear the current error";
  EXPECT_EQ(GetObjectType(dc), 0u);
  EXPECT_EQ(trace.Names(), (Names{"KCloseImageDC"}));
}

TEST(DcBitmapFile, SavesWhatTheDeviceContextShows) {
  HDC dc = KCreateMemoryDC(9, 5, 32);
  SetPixel(dc, 0, 0, RGB(255, 0, 0));
  SetPixel(dc, 8, 4, RGB(0, 0, 255));
  SelectObject(dc, GetStockObject(WHITE_PEN));
  MoveToEx(dc, 1, 2, nullptr);
  LineTo(dc, 8, 2);
  const std::string path = ::testing::TempDir() + "kvbase_dc_bitmap.bmp";
  EXPECT_EQ(KSaveDCBitmap(dc, path.c_str()), 0);
  KImageC24 loaded;
  short format = 0;
  ASSERT_EQ(KLoadImage(&loaded, path.c_str(), format), K_SUCCESS);
  EXPECT_EQ(format, K_FILE_FORMAT_BMP_COLOR);
  ASSERT_EQ(loaded.GetWidth(), 9);
  ASSERT_EQ(loaded.GetHeight(), 5);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 9; ++x) {
      const COLORREF shown = GetPixel(dc, x, y);
      const KC24 p = loaded.GetPixel(x, y);
      EXPECT_EQ(RGB(p.byte2, p.byte1, p.byte0), shown) << x << "," << y;
    }
  }
  std::remove(path.c_str());
  DeleteDC(dc);

  KTraceCapture trace;
  EXPECT_EQ(KSaveDCBitmap(nullptr, path.c_str()), K_ERROR_WINDOWS_ERROR);
  EXPECT_EQ(trace.Names(), (Names{"KSaveDCBitmap"}));
}

}  // namespace
