#include "kvbase/platform/gdi_objects.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "kvbase/platform/gdi.h"

namespace {

using Numbers = std::vector<long>;

TEST(GdiObjects, MemoryDeviceContextsByDepth) {
  for (int bits : {1, 8, 16, 24, 32}) {
    HDC dc = KCreateMemoryDC(7, 5, bits);
    ASSERT_NE(dc, nullptr) << bits;
    EXPECT_EQ(GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE, bits == 8 ? RC_PALETTE : 0)
        << "only 8 bits is a palette device";
    EXPECT_EQ(Numbers({GetDeviceCaps(dc, BITSPIXEL), GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, VERTRES)}),
              Numbers({bits, 7, 5}));
    BITMAP d{};
    HGDIOBJ bitmap = GetCurrentObject(dc, OBJ_BITMAP);
    EXPECT_EQ(GetObject(bitmap, sizeof d, &d), static_cast<int>(sizeof d));
    EXPECT_EQ(Numbers({d.bmWidth, d.bmHeight, d.bmBitsPixel, d.bmWidthBytes % 4}), Numbers({7, 5, bits, 0}));
    EXPECT_EQ(GetPixel(dc, 6, 4), RGB(0, 0, 0)) << "zero-filled";
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_EQ(GetObjectType(bitmap), 0u) << "the device context owns the bitmap it was made with";
  }
  EXPECT_EQ(KCreateMemoryDC(0, 5, 32), nullptr);
  EXPECT_EQ(KCreateMemoryDC(5, -1, 32), nullptr);
  EXPECT_EQ(KCreateMemoryDC(5, 5, 12), nullptr);
  EXPECT_EQ(KCreateMemoryDC(INT_MAX, INT_MAX, 32), nullptr);
}

TEST(GdiObjects, NewDeviceContextStateAndSelectionReturnsThePrevious) {
  HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), GetStockObject(BLACK_PEN));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PAL), GetStockObject(DEFAULT_PALETTE));
  BITMAP stock{};
  GetObject(GetCurrentObject(dc, OBJ_BITMAP), sizeof stock, &stock);
  EXPECT_EQ(Numbers({stock.bmWidth, stock.bmBitsPixel}), Numbers({1, 1}));
  EXPECT_EQ(SetStretchBltMode(dc, COLORONCOLOR), BLACKONWHITE);
  EXPECT_EQ(SetStretchBltMode(dc, 0), 0);
  EXPECT_EQ(GetStretchBltMode(dc), COLORONCOLOR);

  HPEN pen = CreatePen(PS_DASH, 5, RGB(10, 20, 30));
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  EXPECT_EQ(SelectObject(dc, pen), GetStockObject(BLACK_PEN));
  EXPECT_EQ(SelectObject(dc, brush), GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(SelectObject(dc, GetStockObject(WHITE_PEN)), static_cast<HGDIOBJ>(pen));
  EXPECT_EQ(SelectObject(dc, pen), GetStockObject(WHITE_PEN));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), static_cast<HGDIOBJ>(pen));

  LOGPEN d{};
  EXPECT_EQ(GetObject(pen, 0, nullptr), static_cast<int>(sizeof(LOGPEN)));
  EXPECT_EQ(GetObject(pen, sizeof(LOGPEN) - 1, &d), 0);
  EXPECT_EQ(GetObject(pen, sizeof d, &d), static_cast<int>(sizeof(LOGPEN)));
  EXPECT_EQ(Numbers({long(d.lopnStyle), d.lopnWidth.x, long(d.lopnColor)}),
            Numbers({PS_DASH, 5, long(RGB(10, 20, 30))}));

  // Selected objects are not deleted; deselected ones are.
  EXPECT_FALSE(DeleteObject(pen));
  EXPECT_FALSE(DeleteObject(brush));
  SelectObject(dc, GetStockObject(BLACK_PEN));
  SelectObject(dc, GetStockObject(WHITE_BRUSH));
  EXPECT_TRUE(DeleteObject(pen));
  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_EQ(GetObjectType(pen), 0u);
  EXPECT_TRUE(DeleteDC(dc));
}

TEST(GdiObjects, StockObjectsAreSharedAndNeverDeleted) {
  for (int index : {WHITE_BRUSH, LTGRAY_BRUSH, GRAY_BRUSH, DKGRAY_BRUSH, BLACK_BRUSH, NULL_BRUSH, WHITE_PEN, BLACK_PEN,
                    NULL_PEN, DEFAULT_PALETTE}) {
    HGDIOBJ stock = GetStockObject(index);
    ASSERT_NE(stock, nullptr) << index;
    EXPECT_EQ(GetStockObject(index), stock);
    EXPECT_TRUE(DeleteObject(stock));
    EXPECT_NE(GetObjectType(stock), 0u) << index;
  }
  EXPECT_EQ(GetStockObject(9), nullptr);
  LOGPEN pen{};
  GetObject(GetStockObject(WHITE_PEN), sizeof pen, &pen);
  EXPECT_EQ(pen.lopnColor, RGB(255, 255, 255));
}

TEST(GdiObjects, ABitmapLivesInOneDeviceContextAtATime) {
  HDC first = KCreateMemoryDC(4, 4, 32);
  HDC second = CreateCompatibleDC(first);
  HGDIOBJ bitmap = GetCurrentObject(first, OBJ_BITMAP);
  EXPECT_EQ(SelectObject(second, bitmap), nullptr);
  EXPECT_FALSE(DeleteObject(bitmap));
  // Taken out of its device context, it can move to another one and outlive the first.
  HGDIOBJ stock = GetCurrentObject(second, OBJ_BITMAP);
  EXPECT_EQ(SelectObject(first, stock), bitmap);
  EXPECT_EQ(SelectObject(second, bitmap), stock);
  SetPixel(second, 1, 1, RGB(9, 9, 9));
  EXPECT_TRUE(DeleteDC(first));
  EXPECT_EQ(GetPixel(second, 1, 1), RGB(9, 9, 9));
  SelectObject(second, stock);
  EXPECT_TRUE(DeleteObject(bitmap));
  EXPECT_TRUE(DeleteDC(second));
}

TEST(GdiPalettes, SelectRealizeAndNearestEntries) {
  std::vector<BYTE> storage(sizeof(LOGPALETTE) + 255 * sizeof(PALETTEENTRY));
  auto* gray = reinterpret_cast<LOGPALETTE*>(storage.data());
  gray->palVersion = 0x300;
  gray->palNumEntries = 256;
  for (int i = 0; i < 256; ++i) gray->palPalEntry[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
  HPALETTE palette = CreatePalette(gray);
  ASSERT_NE(palette, nullptr);
  WORD entries = 0;
  EXPECT_EQ(GetObject(palette, sizeof entries, &entries), 2);
  EXPECT_EQ(entries, 256);
  PALETTEENTRY some[3];
  EXPECT_EQ(GetPaletteEntries(palette, 254, 3, some), 2u);
  EXPECT_EQ(some[1].peRed, 255);

  HDC dc = KCreateMemoryDC(4, 1, 8);
  // Before a palette is realized, colours map to the default palette (colour cube and grays).
  EXPECT_EQ(SetPixel(dc, 0, 0, RGB(250, 3, 3)), RGB(255, 0, 0));
  HPALETTE old = SelectPalette(dc, palette, FALSE);
  EXPECT_EQ(old, GetStockObject(DEFAULT_PALETTE));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PAL), static_cast<HGDIOBJ>(palette));
  EXPECT_EQ(SetPixel(dc, 1, 0, RGB(200, 0, 0)), RGB(204, 0, 0)) << "selected but not realized yet";
  EXPECT_EQ(RealizePalette(dc), 256u);
  EXPECT_EQ(SetPixel(dc, 2, 0, RGB(200, 0, 0)), RGB(67, 67, 67));
  EXPECT_EQ(SetPixel(dc, 3, 0, RGB(77, 77, 77)), RGB(77, 77, 77));
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(180, 180, 180)) << "pixels keep their indexes: the red was index 180";
  EXPECT_FALSE(DeleteObject(palette)) << "still selected";
  EXPECT_EQ(SelectPalette(dc, old, FALSE), palette);
  EXPECT_TRUE(DeleteObject(palette));

  // A smaller palette: colours map only to its entries.
  gray->palNumEntries = 2;
  gray->palPalEntry[0] = {0, 0, 255, 0};
  gray->palPalEntry[1] = {255, 255, 0, 0};
  HPALETTE two = CreatePalette(gray);
  SelectPalette(dc, two, FALSE);
  EXPECT_EQ(RealizePalette(dc), 2u);
  EXPECT_EQ(SetPixel(dc, 0, 0, RGB(10, 10, 10)), RGB(0, 0, 255));
  EXPECT_EQ(SetPixel(dc, 0, 0, RGB(250, 240, 10)), RGB(255, 255, 0));
  SelectPalette(dc, old, FALSE);
  DeleteObject(two);
  DeleteDC(dc);

  HDC trueColour = KCreateMemoryDC(2, 2, 32);
  HPALETTE cube = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
  EXPECT_EQ(SelectPalette(trueColour, cube, FALSE), cube);
  EXPECT_EQ(RealizePalette(trueColour), 0u) << "not a palette device";
  DeleteDC(trueColour);

  gray->palVersion = 0x200;
  EXPECT_EQ(CreatePalette(gray), nullptr);
  gray->palVersion = 0x300;
  gray->palNumEntries = 0;
  EXPECT_EQ(CreatePalette(gray), nullptr);
  EXPECT_EQ(CreatePalette(nullptr), nullptr);
}

// Every function refuses a null handle, a deleted one and one of the wrong kind with its failure result.
TEST(GdiObjects, BadHandlesGiveTheFailureResult) {
  HDC deletedDc = KCreateMemoryDC(2, 2, 32);
  DeleteDC(deletedDc);
  HPEN deletedPen = CreatePen(PS_SOLID, 1, 0);
  DeleteObject(deletedPen);
  HDC live = KCreateMemoryDC(2, 2, 32);
  HBITMAP liveBitmap = static_cast<HBITMAP>(GetCurrentObject(live, OBJ_BITMAP));
  HPEN pen = CreatePen(PS_SOLID, 1, 0);
  BITMAPINFO info{};
  info.bmiHeader = {40, 1, 1, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  DWORD pixel = 0;
  SIZE size{};
  POINT point{};
  POINT triangle[] = {{0, 0}, {1, 0}, {0, 1}};
  const HPALETTE defaultPalette = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
  // Each call with its failure result, named by its text.
#define KV_CALL(call, failure)                         \
  {                                                    \
#call, [&](HDC dc) { return (call) == (failure); } \
  }
  const std::vector<std::pair<std::string, std::function<bool(HDC)>>> calls = {
      KV_CALL(DeleteDC(dc), FALSE),
      KV_CALL(CreateCompatibleDC(dc), nullptr),
      KV_CALL(GetDeviceCaps(dc, RASTERCAPS), 0),
      KV_CALL(SelectObject(dc, pen), nullptr),
      KV_CALL(GetCurrentObject(dc, OBJ_PEN), nullptr),
      KV_CALL(SelectPalette(dc, defaultPalette, FALSE), nullptr),
      KV_CALL(RealizePalette(dc), 0u),
      KV_CALL(SetViewportOrgEx(dc, 1, 1, nullptr), FALSE),
      KV_CALL(MoveToEx(dc, 1, 1, nullptr), FALSE),
      KV_CALL(GetCurrentPositionEx(dc, &point), FALSE),
      KV_CALL(LineTo(dc, 1, 1), FALSE),
      KV_CALL(Rectangle(dc, 0, 0, 2, 2), FALSE),
      KV_CALL(Polygon(dc, triangle, 3), FALSE),
      KV_CALL(SetPixel(dc, 0, 0, 0), CLR_INVALID),
      KV_CALL(GetPixel(dc, 0, 0), CLR_INVALID),
      KV_CALL(TextOutA(dc, 0, 0, "x", 1), FALSE),
      KV_CALL(GetTextExtentPoint32A(dc, "x", 1, &size), FALSE),
      KV_CALL(SetTextAlign(dc, TA_LEFT), GDI_ERROR),
      KV_CALL(GetTextAlign(dc), GDI_ERROR),
      KV_CALL(SetBkMode(dc, OPAQUE), 0),
      KV_CALL(GetBkMode(dc), 0),
      KV_CALL(SetTextColor(dc, 0), CLR_INVALID),
      KV_CALL(GetTextColor(dc), CLR_INVALID),
      KV_CALL(SetBkColor(dc, 0), CLR_INVALID),
      KV_CALL(GetBkColor(dc), CLR_INVALID),
      KV_CALL(SetStretchBltMode(dc, COLORONCOLOR), 0),
      KV_CALL(GetStretchBltMode(dc), 0),
      KV_CALL(CreateDIBSection(dc, &info, DIB_RGB_COLORS, nullptr, nullptr, 0), nullptr),
      KV_CALL(SetDIBitsToDevice(dc, 0, 0, 1, 1, 0, 0, 0, 1, &pixel, &info, DIB_RGB_COLORS), 0),
      KV_CALL(StretchDIBits(dc, 0, 0, 2, 2, 0, 0, 1, 1, &pixel, &info, DIB_RGB_COLORS, SRCCOPY), 0),
      KV_CALL(SetDIBits(dc, liveBitmap, 0, 1, &pixel, &info, DIB_RGB_COLORS), 0),
      KV_CALL(GetDIBits(dc, liveBitmap, 0, 1, &pixel, &info, DIB_RGB_COLORS), 0),
  };
#undef KV_CALL
  for (const auto& call : calls) {
    for (HDC bad : {HDC(nullptr), deletedDc, reinterpret_cast<HDC>(pen), reinterpret_cast<HDC>(0x12345)}) {
      if (call.first == "CreateCompatibleDC(dc)" && bad == nullptr) continue;  // null asks for a screen-compatible one
      EXPECT_TRUE(call.second(bad)) << call.first << " with " << bad;
    }
  }
  EXPECT_EQ(GetPixel(live, 0, 0), RGB(0, 0, 0));

  // Object handles of the wrong kind, deleted or null.
  EXPECT_EQ(SelectObject(live, deletedPen), nullptr);
  EXPECT_EQ(SelectObject(live, nullptr), nullptr);
  EXPECT_EQ(SelectObject(live, live), nullptr);
  EXPECT_EQ(SelectObject(live, defaultPalette), nullptr) << "palettes go through SelectPalette";
  EXPECT_EQ(SelectPalette(live, reinterpret_cast<HPALETTE>(pen), FALSE), nullptr);
  EXPECT_EQ(SetDIBits(live, reinterpret_cast<HBITMAP>(pen), 0, 1, &pixel, &info, DIB_RGB_COLORS), 0);
  EXPECT_EQ(GetDIBits(live, reinterpret_cast<HBITMAP>(live), 0, 1, &pixel, &info, DIB_RGB_COLORS), 0);
  EXPECT_FALSE(DeleteObject(deletedPen));
  EXPECT_FALSE(DeleteObject(live)) << "a device context goes through DeleteDC";
  EXPECT_FALSE(DeleteObject(nullptr));
  EXPECT_FALSE(DeleteDC(reinterpret_cast<HDC>(liveBitmap)));
  EXPECT_EQ(GetObject(deletedPen, sizeof(LOGPEN), &point), 0);
  EXPECT_EQ(GetObject(live, 4, &pixel), 0);
  EXPECT_EQ(GetObjectType(deletedPen), 0u);
  EXPECT_EQ(GetPaletteEntries(reinterpret_cast<HPALETTE>(pen), 0, 1, nullptr), 0u);
  EXPECT_EQ(CreatePen(17, 1, 0), nullptr);
  EXPECT_EQ(GetCurrentObject(live, OBJ_FONT), nullptr);
  EXPECT_NE(GetObjectType(liveBitmap), 0u);
  DeleteObject(pen);
  DeleteDC(live);
}

}  // namespace
