#include "kvbase/platform/gdi_draw.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvbase/platform/gdi.h"
#include "kvbase/platform/internal/gdi_test_support.h"

namespace {

using kvgdi_test::FindInk;
using kvgdi_test::Picture;
using Rows = std::vector<std::string>;

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);

// A 32-bit device context with a white pen and a null brush selected, released at the end of a test.
struct Canvas {
  explicit Canvas(int width = 16, int height = 12, int bits = 32) : dc(KCreateMemoryDC(width, height, bits)) {
    SelectObject(dc, GetStockObject(WHITE_PEN));
    SelectObject(dc, GetStockObject(NULL_BRUSH));
  }
  ~Canvas() { DeleteDC(dc); }
  HDC dc;
};

TEST(GdiLines, OnePixelLinesLeaveOutTheirEndPoint) {
  struct Case {
    POINT from, to;
    Rows expected;  // the top-left 6 x 5 pixels
  } cases[] = {
      {{1, 1}, {5, 1}, {"......", ".####.", "......", "......", "......"}},
      {{5, 1}, {1, 1}, {"......", "..####", "......", "......", "......"}},
      {{0, 0}, {4, 4}, {"#.....", ".#....", "..#...", "...#..", "......"}},
      {{4, 4}, {0, 0}, {"......", ".#....", "..#...", "...#..", "....#."}},
      {{0, 0}, {1, 3}, {"#.....", "#.....", ".#....", "......", "......"}},
      {{0, 4}, {5, 2}, {"......", "......", "....#.", "..##..", "##...."}},
      {{2, 2}, {2, 2}, {"......", "......", "......", "......", "......"}},
  };
  for (const Case& c : cases) {
    Canvas canvas;
    MoveToEx(canvas.dc, c.from.x, c.from.y, nullptr);
    EXPECT_TRUE(LineTo(canvas.dc, c.to.x, c.to.y));
    EXPECT_EQ(Picture(canvas.dc, 0, 0, 6, 5, kBlack), c.expected) << c.from.x << "," << c.from.y;
    POINT position{};
    GetCurrentPositionEx(canvas.dc, &position);
    EXPECT_EQ(position.x, c.to.x);
    EXPECT_EQ(position.y, c.to.y);
  }
}

TEST(GdiLines, WidePensAreSquaresCentredOnTheLine) {
  struct Case {
    int width;
    POINT from, to;
    RECT box;  // inclusive
    int count;
  } cases[] = {
      {2, {4, 5}, {9, 5}, {3, 4, 9, 5}, 14},
      {3, {4, 5}, {9, 5}, {3, 4, 10, 6}, 24},
      {4, {4, 5}, {9, 5}, {2, 3, 10, 6}, 36},
      {3, {6, 2}, {6, 8}, {5, 1, 7, 9}, 27},
      {3, {3, 3}, {3, 3}, {2, 2, 4, 4}, 9},
  };
  for (const Case& c : cases) {
    Canvas canvas;
    HPEN pen = CreatePen(PS_SOLID, c.width, kWhite);
    HGDIOBJ old = SelectObject(canvas.dc, pen);
    MoveToEx(canvas.dc, c.from.x, c.from.y, nullptr);
    LineTo(canvas.dc, c.to.x, c.to.y);
    const kvgdi_test::Ink ink = FindInk(canvas.dc, kBlack);
    EXPECT_EQ(ink.box.left, c.box.left) << "width " << c.width;
    EXPECT_EQ(ink.box.top, c.box.top) << "width " << c.width;
    EXPECT_EQ(ink.box.right, c.box.right) << "width " << c.width;
    EXPECT_EQ(ink.box.bottom, c.box.bottom) << "width " << c.width;
    EXPECT_EQ(ink.count, c.count) << "width " << c.width;
    SelectObject(canvas.dc, old);
    EXPECT_TRUE(DeleteObject(pen));
  }
}

TEST(GdiLines, WideDiagonalIsSymmetricAndCoversBothEnds) {
  Canvas canvas(20, 20);
  HPEN pen = CreatePen(PS_SOLID, 3, kWhite);
  SelectObject(canvas.dc, pen);
  MoveToEx(canvas.dc, 3, 3, nullptr);
  LineTo(canvas.dc, 12, 12);
  const kvgdi_test::Ink ink = FindInk(canvas.dc, kBlack);
  EXPECT_EQ(ink.box.left, 2);
  EXPECT_EQ(ink.box.top, 2);
  EXPECT_EQ(ink.box.right, 13);
  EXPECT_EQ(ink.box.bottom, 13);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) EXPECT_EQ(GetPixel(canvas.dc, x, y), GetPixel(canvas.dc, y, x)) << x << "," << y;
  for (int d = 3; d <= 12; ++d) {
    EXPECT_EQ(GetPixel(canvas.dc, d - 1, d), kWhite);
    EXPECT_EQ(GetPixel(canvas.dc, d - 3, d), kBlack);
  }
  SelectObject(canvas.dc, GetStockObject(BLACK_PEN));
  DeleteObject(pen);
}

TEST(GdiLines, CoordinatesFarOutsideAreClippedWithoutWalkingThem) {
  Canvas canvas(8, 8);
  MoveToEx(canvas.dc, -2000000000, 3, nullptr);
  LineTo(canvas.dc, 2000000000, 3);
  MoveToEx(canvas.dc, 2, -2000000000, nullptr);
  LineTo(canvas.dc, 2, 2000000000);
  // A steep line that enters the bitmap at a point only its slope decides.
  MoveToEx(canvas.dc, 0, -1000000000, nullptr);
  LineTo(canvas.dc, 8, 1000000000);
  HPEN wide = CreatePen(PS_SOLID, 3, kWhite);
  SelectObject(canvas.dc, wide);
  MoveToEx(canvas.dc, -2000000000, -2000000000, nullptr);
  LineTo(canvas.dc, 2000000000, 2000000000);
  EXPECT_EQ(Picture(canvas.dc, 0, 0, 8, 8, kBlack),
            (Rows{"###.#...", "#####...", "#####...", "########", "..#####.", "..######", "..#.####", "..#.####"}));
  SelectObject(canvas.dc, GetStockObject(BLACK_PEN));
  DeleteObject(wide);
}

TEST(GdiShapes, RectangleOutlineWithPenAndInteriorWithBrush) {
  struct Case {
    int pen;  // 0: NULL_PEN, otherwise the pen width
    bool brush;
    RECT corners;
    Rows expected;  // the top-left 10 x 8 pixels; 'o' outline, 'b' brush
  } cases[] = {
      {1, true, {7, 6, 2, 2}, {"..........", "..........", "..ooooo...", "..obbbo...", "..obbbo...", "..ooooo...", "..........", ".........."}},
      {1, false, {2, 6, 7, 2}, {"..........", "..........", "..ooooo...", "..o...o...", "..o...o...", "..ooooo...", "..........", ".........."}},
      {0, true, {7, 2, 2, 6}, {"..........", "..........", "..bbbb....", "..bbbb....", "..bbbb....", "..........", "..........", ".........."}},
      {3, true, {1, 1, 9, 8},
       {"oooooooooo", "oooooooooo", "oooooooooo", "ooobbbbooo", "ooobbbbooo", "ooobbbbooo", "oooooooooo", "oooooooooo"}},
  };
  const COLORREF outline = RGB(255, 0, 0), fill = RGB(0, 0, 255);
  for (const Case& c : cases) {
    Canvas canvas;
    HPEN pen = c.pen == 0 ? static_cast<HPEN>(GetStockObject(NULL_PEN)) : CreatePen(PS_SOLID, c.pen, outline);
    HBRUSH brush = c.brush ? CreateSolidBrush(fill) : static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    SelectObject(canvas.dc, pen);
    SelectObject(canvas.dc, brush);
    EXPECT_TRUE(Rectangle(canvas.dc, c.corners.left, c.corners.top, c.corners.right, c.corners.bottom));
    Rows actual;
    for (int y = 0; y < 8; ++y) {
      std::string row;
      for (int x = 0; x < 10; ++x) {
        const COLORREF p = GetPixel(canvas.dc, x, y);
        row += p == outline ? 'o' : p == fill ? 'b' : p == kBlack ? '.' : '?';
      }
      actual.push_back(row);
    }
    EXPECT_EQ(actual, c.expected) << "pen " << c.pen << " brush " << c.brush;
    SelectObject(canvas.dc, GetStockObject(BLACK_PEN));
    SelectObject(canvas.dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(pen);
    DeleteObject(brush);
  }
}

TEST(GdiShapes, PolygonFillsByTheAlternateRuleThenOutlines) {
  Canvas canvas(40, 40);
  SelectObject(canvas.dc, GetStockObject(NULL_PEN));
  SelectObject(canvas.dc, GetStockObject(WHITE_BRUSH));
  const POINT square[] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}};
  EXPECT_TRUE(Polygon(canvas.dc, square, 4));
  EXPECT_EQ(FindInk(canvas.dc, kBlack).count, 16);  // pixel centres inside: 4 x 4

  // A five-pointed star drawn in one stroke: its centre is covered twice and stays empty.
  const POINT star[] = {{20, 2}, {31, 36}, {2, 14}, {38, 14}, {9, 36}};
  EXPECT_TRUE(Polygon(canvas.dc, star, 5));
  EXPECT_EQ(GetPixel(canvas.dc, 20, 22), kBlack);
  EXPECT_EQ(GetPixel(canvas.dc, 20, 8), kWhite);   // top point
  EXPECT_EQ(GetPixel(canvas.dc, 8, 15), kWhite);   // left point
  EXPECT_EQ(GetPixel(canvas.dc, 29, 33), kWhite);  // lower right point
  EXPECT_EQ(GetPixel(canvas.dc, 20, 35), kBlack);  // between the two lower points

  SelectObject(canvas.dc, GetStockObject(WHITE_PEN));
  SelectObject(canvas.dc, GetStockObject(NULL_BRUSH));
  Canvas outlined(8, 8);
  const POINT triangle[] = {{1, 1}, {6, 1}, {1, 6}};
  POINT position{};
  MoveToEx(outlined.dc, 7, 7, nullptr);
  EXPECT_TRUE(Polygon(outlined.dc, triangle, 3));
  EXPECT_EQ(Picture(outlined.dc, 0, 0, 8, 8, kBlack),
            (Rows{"........", ".######.", ".#...#..", ".#..#...", ".#.#....", ".##.....", ".#......", "........"}));
  GetCurrentPositionEx(outlined.dc, &position);
  EXPECT_EQ(position.x, 7);
  EXPECT_FALSE(Polygon(outlined.dc, triangle, 1));
  EXPECT_FALSE(Polygon(outlined.dc, nullptr, 3));
}

TEST(GdiShapes, FilledShapesFarOutsideStayBounded) {
  Canvas canvas(8, 8);
  SelectObject(canvas.dc, GetStockObject(WHITE_BRUSH));
  const POINT huge[] = {{-2000000000, -2000000000}, {2000000000, -2000000000}, {0, 2000000000}};
  Polygon(canvas.dc, huge, 3);
  EXPECT_EQ(FindInk(canvas.dc, kBlack).count, 64);
  Canvas other(8, 8);
  SelectObject(other.dc, GetStockObject(WHITE_BRUSH));
  Rectangle(other.dc, -2000000000, 2, 2000000000, 2000000000);
  EXPECT_EQ(FindInk(other.dc, kBlack).count, 48);
}

TEST(GdiPixels, SetPixelGivesTheColourTheDeviceShows) {
  struct Case {
    int bits;
    COLORREF asked, shown;
  } cases[] = {
      {32, RGB(1, 2, 3), RGB(1, 2, 3)},
      {24, RGB(200, 100, 50), RGB(200, 100, 50)},
      {16, RGB(255, 255, 255), RGB(255, 255, 255)},
      {16, RGB(9, 130, 250), RGB(8, 132, 247)},
      {8, RGB(250, 3, 3), RGB(255, 0, 0)},
      {8, RGB(120, 120, 120), RGB(118, 118, 118)},
      {1, RGB(200, 200, 200), RGB(255, 255, 255)},
      {1, RGB(100, 20, 20), RGB(0, 0, 0)},
  };
  for (const Case& c : cases) {
    HDC dc = KCreateMemoryDC(4, 4, c.bits);
    EXPECT_EQ(SetPixel(dc, 2, 3, c.asked), c.shown) << c.bits;
    EXPECT_EQ(GetPixel(dc, 2, 3), c.shown) << c.bits;
    EXPECT_EQ(GetPixel(dc, 3, 3), RGB(0, 0, 0)) << c.bits;
    EXPECT_EQ(SetPixel(dc, 4, 0, c.asked), CLR_INVALID);
    EXPECT_EQ(GetPixel(dc, -1, 0), CLR_INVALID);
    DeleteDC(dc);
  }
}

TEST(GdiPixels, ViewportOriginMovesEveryDrawing) {
  Canvas canvas;
  POINT previous{};
  EXPECT_TRUE(SetViewportOrgEx(canvas.dc, 5, 3, &previous));
  EXPECT_EQ(previous.x, 0);
  SetPixel(canvas.dc, 0, 0, kWhite);
  MoveToEx(canvas.dc, 1, 1, nullptr);
  LineTo(canvas.dc, 4, 1);
  EXPECT_EQ(GetPixel(canvas.dc, -5, -3), kBlack);
  SetViewportOrgEx(canvas.dc, 0, 0, nullptr);
  EXPECT_EQ(Picture(canvas.dc, 4, 2, 10, 3, kBlack), (Rows{"..........", ".#........", "..###....."}));
}

}  // namespace
