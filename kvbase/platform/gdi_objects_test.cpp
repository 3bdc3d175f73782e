#include "kvbase/platform/gdi_objects.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "kvbase/platform/gdi.h"

namespace {

TEST(GdiObjects, MemoryDeviceContextsByDepth) {
  struct Case {
    int bits;
    int rasterPalette;
  } cases[] = {{1, 0}, {8, RC_PALETTE}, {16, 0}, {24, 0}, {32, 0}};
  for (const Case& c : cases) {
    HDC dc = KCreateMemoryDC(7, 5, c.bits);
    ASSERT_NE(dc, nullptr) << c.bits;
    EXPECT_EQ(GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE, c.rasterPalette) << c.bits;
    EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), c.bits);
    EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 7);
    EXPECT_EQ(GetDeviceCaps(dc, VERTRES), 5);
    BITMAP description{};
    HGDIOBJ bitmap = GetCurrentObject(dc, OBJ_BITMAP);
    EXPECT_EQ(GetObject(bitmap, sizeof description, &description), static_cast<int>(sizeof description));
    EXPECT_EQ(description.bmWidth, 7);
    EXPECT_EQ(description.bmHeight, 5);
    EXPECT_EQ(description.bmBitsPixel, c.bits);
    EXPECT_EQ(description.bmWidthBytes % 4, 0);
    EXPECT_EQ(GetPixel(dc, 6, 4), RGB(0, 0, 0)) << "zero-filled";
    // The device context owns the bitmap it was made with.
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_EQ(GetObjectType(bitmap), 0u);
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
  EXPECT_EQ(stock.bmWidth, 1);
  EXPECT_EQ(stock.bmBitsPixel, 1);

  HPEN pen = CreatePen(PS_DASH, 5, RGB(10, 20, 30));
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  EXPECT_EQ(SelectObject(dc, pen), GetStockObject(BLACK_PEN));
  EXPECT_EQ(SelectObject(dc, brush), GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(SelectObject(dc, GetStockObject(WHITE_PEN)), static_cast<HGDIOBJ>(pen));
  EXPECT_EQ(SelectObject(dc, pen), GetStockObject(WHITE_PEN));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), static_cast<HGDIOBJ>(pen));

  LOGPEN description{};
  EXPECT_EQ(GetObject(pen, 0, nullptr), static_cast<int>(sizeof(LOGPEN)));
  EXPECT_EQ(GetObject(pen, sizeof(LOGPEN) - 1, &description), 0);
  EXPECT_EQ(GetObject(pen, sizeof description, &description), static_cast<int>(sizeof(LOGPEN)));
  EXPECT_EQ(description.lopnStyle, static_cast<UINT>(PS_DASH));
  EXPECT_EQ(description.lopnWidth.x, 5);
  EXPECT_EQ(description.lopnColor, RGB(10, 20, 30));

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
  const int indexes[] = {WHITE_BRUSH, LTGRAY_BRUSH, GRAY_BRUSH, DKGRAY_BRUSH, BLACK_BRUSH, NULL_BRUSH,
                         WHITE_PEN,   BLACK_PEN,    NULL_PEN,   DEFAULT_PALETTE};
  for (int index : indexes) {
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
  // The pixels keep their indexes: the red drawn earlier is index 180 of the default palette.
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(180, 180, 180));
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
  EXPECT_EQ(RealizePalette(trueColour), 0u);
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
  HPEN pen = CreatePen(PS_SOLID, 1, 0);
  const HDC badDcs[] = {nullptr, deletedDc, reinterpret_cast<HDC>(pen), reinterpret_cast<HDC>(0x12345)};

  BITMAPINFO info{};
  info.bmiHeader = {40, 1, 1, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  DWORD pixel = 0;
  SIZE size{};
  POINT point{};
  POINT triangle[] = {{0, 0}, {1, 0}, {0, 1}};
  const std::vector<std::pair<std::string, std::function<bool(HDC)>>> calls = {
      {"DeleteDC", [](HDC dc) { return DeleteDC(dc) == FALSE; }},
      {"CreateCompatibleDC", [](HDC dc) { return CreateCompatibleDC(dc) == nullptr; }},
      {"GetDeviceCaps", [](HDC dc) { return GetDeviceCaps(dc, RASTERCAPS) == 0; }},
      {"SelectObject", [&](HDC dc) { return SelectObject(dc, pen) == nullptr; }},
      {"GetCurrentObject", [](HDC dc) { return GetCurrentObject(dc, OBJ_PEN) == nullptr; }},
      {"SelectPalette", [](HDC dc) { return SelectPalette(dc, static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), FALSE) == nullptr; }},
      {"RealizePalette", [](HDC dc) { return RealizePalette(dc) == 0; }},
      {"SetViewportOrgEx", [](HDC dc) { return SetViewportOrgEx(dc, 1, 1, nullptr) == FALSE; }},
      {"MoveToEx", [](HDC dc) { return MoveToEx(dc, 1, 1, nullptr) == FALSE; }},
      {"GetCurrentPositionEx", [&](HDC dc) { return GetCurrentPositionEx(dc, &point) == FALSE; }},
      {"LineTo", [](HDC dc) { return LineTo(dc, 1, 1) == FALSE; }},
      {"Rectangle", [](HDC dc) { return Rectangle(dc, 0, 0, 2, 2) == FALSE; }},
      {"Polygon", [&](HDC dc) { return Polygon(dc, triangle, 3) == FALSE; }},
      {"SetPixel", [](HDC dc) { return SetPixel(dc, 0, 0, 0) == CLR_INVALID; }},
      {"GetPixel", [](HDC dc) { return GetPixel(dc, 0, 0) == CLR_INVALID; }},
      {"TextOutA", [](HDC dc) { return TextOutA(dc, 0, 0, "x", 1) == FALSE; }},
      {"GetTextExtentPoint32A", [&](HDC dc) { return GetTextExtentPoint32A(dc, "x", 1, &size) == FALSE; }},
      {"SetTextAlign", [](HDC dc) { return SetTextAlign(dc, TA_LEFT) == GDI_ERROR; }},
      {"GetTextAlign", [](HDC dc) { return GetTextAlign(dc) == GDI_ERROR; }},
      {"SetBkMode", [](HDC dc) { return SetBkMode(dc, OPAQUE) == 0; }},
      {"GetBkMode", [](HDC dc) { return GetBkMode(dc) == 0; }},
      {"SetTextColor", [](HDC dc) { return SetTextColor(dc, 0) == CLR_INVALID; }},
      {"SetBkColor", [](HDC dc) { return SetBkColor(dc, 0) == CLR_INVALID; }},
      {"SetStretchBltMode", [](HDC dc) { return SetStretchBltMode(dc, COLORONCOLOR) == 0; }},
      {"GetStretchBltMode", [](HDC dc) { return GetStretchBltMode(dc) == 0; }},
      {"CreateDIBSection", [&](HDC dc) { return CreateDIBSection(dc, &info, DIB_RGB_COLORS, nullptr, nullptr, 0) == nullptr; }},
      {"SetDIBitsToDevice",
       [&](HDC dc) { return SetDIBitsToDevice(dc, 0, 0, 1, 1, 0, 0, 0, 1, &pixel, &info, DIB_RGB_COLORS) == 0; }},
      {"StretchDIBits",
       [&](HDC dc) { return StretchDIBits(dc, 0, 0, 2, 2, 0, 0, 1, 1, &pixel, &info, DIB_RGB_COLORS, SRCCOPY) == 0; }},
      {"SetDIBits", [&](HDC dc) {
         return SetDIBits(dc, static_cast<HBITMAP>(GetCurrentObject(live, OBJ_BITMAP)), 0, 1, &pixel, &info, DIB_RGB_COLORS) == 0;
       }},
      {"GetDIBits", [&](HDC dc) {
         return GetDIBits(dc, static_cast<HBITMAP>(GetCurrentObject(live, OBJ_BITMAP)), 0, 1, &pixel, &info, DIB_RGB_COLORS) == 0;
       }},
  };
  for (const auto& call : calls) {
    for (HDC bad : badDcs) {
      if (call.first == "CreateCompatibleDC" && bad == nullptr) continue;  // null asks for a screen-compatible one
      EXPECT_TRUE(call.second(bad)) << call.first << " with " << bad;
    }
  }
  EXPECT_EQ(GetPixel(live, 0, 0), RGB(0, 0, 0));

  // Object handles of the wrong kind, deleted or null.
  HBITMAP liveBitmap = static_cast<HBITMAP>(GetCurrentObject(live, OBJ_BITMAP));
  EXPECT_EQ(SelectObject(live, deletedPen), nullptr);
  EXPECT_EQ(SelectObject(live, nullptr), nullptr);
  EXPECT_EQ(SelectObject(live, live), nullptr);
  EXPECT_EQ(SelectObject(live, GetStockObject(DEFAULT_PALETTE)), nullptr) << "palettes go through SelectPalette";
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
