#include "kvbase/display/image_dc.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "kvbase/display/dc_bitmap_file.h"
#include "kvbase/display/image_drawing.h"
#include "kvbase/display/internal/display_state.h"
#include "kvbase/files/image_files.h"
#include "kvbase/platform/gdi.h"
#include "kvbase/testing/trace_capture.h"

namespace {

using Names = std::vector<std::string>;

// Draws a white line from (1, 1) to (5, 1), end point excluded.
void WhiteLine(HDC dc) {
  SelectObject(dc, GetStockObject(WHITE_PEN));
  MoveToEx(dc, 1, 1, nullptr);
  LineTo(dc, 5, 1);
}

TEST(ImageDC, GrayAndColourImagesRoundTripAndTheLastOpenedIsCurrent) {
  KTraceCapture trace;  // also clears the current error
  KImageBW8 gray(7, 3);
  KImageC24 colour(6, 2);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x) gray.SetPixel(static_cast<unsigned char>(10 * x + y), x, y);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 6; ++x)
      colour.SetPixel(KC24(static_cast<unsigned char>(x), 0, static_cast<unsigned char>(y)), x, y);
  HDC grayDc = KOpenImageDC(&gray);
  HDC colourDc = KOpenImageDC(&colour);
  ASSERT_TRUE(grayDc != nullptr && colourDc != nullptr);
  EXPECT_EQ(GetDeviceCaps(grayDc, BITSPIXEL), 8);
  EXPECT_EQ(GetPixel(grayDc, 3, 2), RGB(32, 32, 32)) << "the device holds a copy of the pixels";
  EXPECT_EQ(GetPixel(colourDc, 5, 1), RGB(5, 0, 1)) << "byte 2 is red";
  WhiteLine(grayDc);
  WhiteLine(colourDc);
  EXPECT_EQ(gray.GetPixel(2, 1), 21) << "changes reach the image only at the close";
  HGDIOBJ bitmap = GetCurrentObject(grayDc, OBJ_BITMAP);
  KCloseImageDC(&gray, grayDc);
  KCloseImageDC(&colour, nullptr);  // the last one opened
  EXPECT_EQ(KGetError(), K_SUCCESS);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x)
      EXPECT_EQ(gray.GetPixel(x, y), y == 1 && x >= 1 && x <= 4 ? 255 : 10 * x + y) << x << "," << y;
  const KC24 white = colour.GetPixel(3, 1), kept = colour.GetPixel(5, 1), above = colour.GetPixel(3, 0);
  EXPECT_EQ(std::vector<int>({white.byte0, white.byte1, white.byte2, kept.byte0, kept.byte2, above.byte2}),
            std::vector<int>({255, 255, 255, 1, 5, 3}));
  EXPECT_EQ(GetObjectType(grayDc) + GetObjectType(colourDc) + GetObjectType(bitmap), 0u) << "all released";
  EXPECT_TRUE(trace.Names().empty());

  // The current image device context is not cleared by the close: closing again finds it gone.
  KCloseImageDC(&colour, nullptr);
  EXPECT_EQ(KGetError(), K_ERROR_WINDOWS_ERROR);
  EXPECT_EQ(trace.Names(), (Names{"KCloseImageDC"}));
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
  EXPECT_EQ(std::vector<int>({target.GetPixel(0, 0), target.GetPixel(1, 0), target.GetPixel(2, 0)}),
            std::vector<int>({200, 3, 9}));
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
  EXPECT_EQ(rows, (std::vector<unsigned char>{50, 50, 50, 50, 50, 0xEE, 0xEE, 0xEE, 0xEE, 50, 50, 50, 50, 255, 0xEE,
                                              0xEE, 0xEE, 0xEE}));
}

TEST(ImageDC, Refusals) {
  KTraceCapture trace;
  KImageBW8 never, small(2, 2), large(3, 3);
  KImageC24 neverColour;
  EXPECT_EQ(KOpenImageDC(&never), nullptr);
  EXPECT_EQ(KGetError(), K_ERROR_IMAGE_MEMORY_ACCESS);
  EXPECT_EQ(KOpenImageDC(&neverColour), nullptr);
  KCloseImageDC(&never, nullptr);
  EXPECT_EQ(KGetError(), K_ERROR_IMAGE_MEMORY_ACCESS);
  EXPECT_EQ(trace.Names(), (Names{"KOpenImageDC", "KOpenImageDC", "KCloseImageDC"}));

  // Closing a device context of another size fails and leaves it alive.
  trace.Clear();
  HDC dc = KOpenImageDC(&small);
  KCloseImageDC(&large, dc);
  EXPECT_EQ(KGetError(), K_ERROR_WINDOWS_ERROR);
  EXPECT_NE(GetObjectType(dc), 0u);
  KCloseImageDC(&small, dc);
  EXPECT_EQ(KGetError(), K_ERROR_WINDOWS_ERROR) << "a success does not clear the current error";
  EXPECT_EQ(GetObjectType(dc), 0u);
  // An image too large for a bitmap: the device context made for it is not left behind.
  unsigned char byte = 0;
  never.SetImagePtr(1 << 30, 1 << 30, &byte, 8);
  EXPECT_EQ(KOpenImageDC(&never), nullptr);
  EXPECT_EQ(KGetError(), K_ERROR_WINDOWS_ERROR);
  EXPECT_EQ(GetObjectType(kvbase::internal::display::ThisThreadDisplay().currentImageDc), 0u);
  EXPECT_EQ(trace.Names(), (Names{"KCloseImageDC", "KOpenImageDC"}));
}

TEST(DcBitmapFile, SavesWhatTheDeviceContextShows) {
  HDC dc = KCreateMemoryDC(9, 5, 32);
  SetPixel(dc, 0, 0, RGB(255, 0, 0));
  SetPixel(dc, 8, 4, RGB(0, 0, 255));
  WhiteLine(dc);
  const std::string path = ::testing::TempDir() + "kvbase_dc_bitmap.bmp";
  EXPECT_EQ(KSaveDCBitmap(dc, path.c_str()), 0);
  KImageC24 loaded;
  short format = 0;
  ASSERT_EQ(KLoadImage(&loaded, path.c_str(), format), K_SUCCESS);
  ASSERT_TRUE(format == K_FILE_FORMAT_BMP_COLOR && loaded.GetWidth() == 9 && loaded.GetHeight() == 5);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 9; ++x) {
      const KC24 p = loaded.GetPixel(x, y);
      EXPECT_EQ(RGB(p.byte2, p.byte1, p.byte0), GetPixel(dc, x, y)) << x << "," << y;
    }
  }
  std::remove(path.c_str());
  DeleteDC(dc);

  KTraceCapture trace;
  EXPECT_EQ(KSaveDCBitmap(nullptr, path.c_str()), K_ERROR_WINDOWS_ERROR);
  EXPECT_EQ(trace.Names(), (Names{"KSaveDCBitmap"}));
}

}  // namespace
