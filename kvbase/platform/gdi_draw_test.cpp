#include "kvbase/platform/gdi_draw.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvbase/platform/gdi.h"
#include "kvbase/testing/gdi_test_support.h"

namespace {

using namespace kvgdi_test;
using Rows = std::vector<std::string>;

void Line(HDC dc, int x0, int y0, int x1, int y1) {
  MoveToEx(dc, x0, y0, nullptr);
  EXPECT_TRUE(LineTo(dc, x1, y1));
}

TEST(GdiLines, OnePixelLinesLeaveOutTheirEndPointAndMoveTheCurrentPosition) {
  struct Case {
    POINT from, to;
    Rows expected; /* the top-left 6 x 5 pixels */
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
    PenCanvas canvas(16, 12);
    Line(canvas.dc, c.from.x, c.from.y, c.to.x, c.to.y);
    EXPECT_EQ(Picture(canvas.dc, 0, 0, 6, 5), c.expected) << c.from.x << "," << c.from.y;
    POINT position{};
    GetCurrentPositionEx(canvas.dc, &position);
    EXPECT_TRUE(position.x == c.to.x && position.y == c.to.y);
  }
}

TEST(GdiLines, WidePensAreSquaresCentredOnTheLine) {
  struct Case {
    int width;
    POINT from, to;
    const char* ink;
  } cases[] = {
      {2, {4, 5}, {9, 5}, "14: 3,4..9,5"}, {3, {4, 5}, {9, 5}, "24: 3,4..10,6"}, {4, {4, 5}, {9, 5}, "36: 2,3..10,6"},
      {3, {6, 2}, {6, 8}, "27: 5,1..7,9"}, {3, {3, 3}, {3, 3}, "9: 2,2..4,4"},
  };
  for (const Case& c : cases) {
    PenCanvas canvas(16, 12, c.width);
    Line(canvas.dc, c.from.x, c.from.y, c.to.x, c.to.y);
    EXPECT_EQ(FindInk(canvas.dc).Text(), c.ink) << "width " << c.width;
  }
  // A wide diagonal is symmetric about itself and covers both ends.
  PenCanvas canvas(20, 20, 3);
  Line(canvas.dc, 3, 3, 12, 12);
  EXPECT_EQ(FindInk(canvas.dc).Text(), "54: 2,2..13,13") << "ten 3 x 3 squares, each five pixels past the last";
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) EXPECT_EQ(GetPixel(canvas.dc, x, y), GetPixel(canvas.dc, y, x)) << x << "," << y;
}

TEST(GdiShapes, CoordinatesFarOutsideAreClippedWithoutWalkingThem) {
  PenCanvas canvas(8, 8), polygon(8, 8), rectangle(8, 8);
  Line(canvas.dc, -2000000000, 3, 2000000000, 3);
  Line(canvas.dc, 2, -2000000000, 2, 2000000000);
  Line(canvas.dc, 0, -1000000000, 8, 1000000000);  // enters the bitmap at a point only its slope decides
  HPEN wide = CreatePen(PS_SOLID, 3, kWhite);
  SelectObject(canvas.dc, wide);
  Line(canvas.dc, -2000000000, -2000000000, 2000000000, 2000000000);
  EXPECT_EQ(Picture(canvas.dc, 0, 0, 8, 8),
            (Rows{"###.#...", "#####...", "#####...", "########", "..#####.", "..######", "..#.####", "..#.####"}));
  SelectObject(canvas.dc, canvas.pen);
  DeleteObject(wide);

  SelectObject(polygon.dc, GetStockObject(WHITE_BRUSH));
  SelectObject(rectangle.dc, GetStockObject(WHITE_BRUSH));
  const POINT huge[] = {{-2000000000, -2000000000}, {2000000000, -2000000000}, {0, 2000000000}};
  Polygon(polygon.dc, huge, 3);
  Rectangle(rectangle.dc, -2000000000, 2, 2000000000, 2000000000);
  EXPECT_EQ(FindInk(polygon.dc).Text(), "64: 0,0..7,7");
  EXPECT_EQ(FindInk(rectangle.dc).Text(), "48: 0,2..7,7");
}

TEST(GdiShapes, ViewportOffsetsPastThirtyTwoBitsAreClippedNotWrapped) {
  // With the origin at INT_MAX, device coordinates need 33 bits; narrowed they would land on the bitmap.
  const int far = 2147483647;
  PenCanvas offRight(8, 8), offBelow(8, 8), spanning(8, 8), polygon(8, 8);
  for (HDC dc : {offRight.dc, offBelow.dc, spanning.dc, polygon.dc}) SelectObject(dc, GetStockObject(WHITE_BRUSH));
  SetViewportOrgEx(offRight.dc, far, 0, nullptr);
  EXPECT_TRUE(Rectangle(offRight.dc, 1, 1, 6, 6));
  SetViewportOrgEx(offBelow.dc, 0, far, nullptr);
  EXPECT_TRUE(Rectangle(offBelow.dc, 1, 1, 6, 6));
  SetViewportOrgEx(spanning.dc, far, far, nullptr);
  EXPECT_TRUE(Rectangle(spanning.dc, -far - 1, -far - 1, 10, 10));  // device -1 .. 2^31 + 9
  SetViewportOrgEx(polygon.dc, far, far, nullptr);
  const POINT beyond[] = {{1, 1}, {9, 1}, {5, 9}};
  EXPECT_TRUE(Polygon(polygon.dc, beyond, 3));
  for (HDC dc : {offRight.dc, offBelow.dc, spanning.dc, polygon.dc}) SetViewportOrgEx(dc, 0, 0, nullptr);
  EXPECT_EQ(FindInk(offRight.dc).Text(), "0");
  EXPECT_EQ(FindInk(offBelow.dc).Text(), "0");
  EXPECT_EQ(FindInk(spanning.dc).Text(), "64: 0,0..7,7");
  EXPECT_EQ(FindInk(polygon.dc).Text(), "0");
}

TEST(GdiShapes, RectangleOutlineWithPenAndInteriorWithBrush) {
  struct Case {
    int pen; /* 0: NULL_PEN */
    bool brush;
    RECT corners;
    const char* expected; /* eight rows of ten: 'o' outline, 'b' brush */
  } cases[] = {
      {1,
       true,
       {7, 6, 2, 2},
       ".......... .......... ..ooooo... ..obbbo... ..obbbo... ..ooooo... .......... .........."},
      {1,
       false,
       {2, 6, 7, 2},
       ".......... .......... ..ooooo... ..o...o... ..o...o... ..ooooo... .......... .........."},
      {0,
       true,
       {7, 2, 2, 6},
       ".......... .......... ..bbbb.... ..bbbb.... ..bbbb.... .......... .......... .........."},
      {3,
       true,
       {1, 1, 9, 8},
       "oooooooooo oooooooooo oooooooooo ooobbbbooo ooobbbbooo ooobbbbooo oooooooooo oooooooooo"},
  };
  const COLORREF outline = RGB(255, 0, 0), fill = RGB(0, 0, 255);
  for (const Case& c : cases) {
    Canvas canvas(16, 12);
    HPEN pen = c.pen == 0 ? static_cast<HPEN>(GetStockObject(NULL_PEN)) : CreatePen(PS_SOLID, c.pen, outline);
    HBRUSH brush = c.brush ? CreateSolidBrush(fill) : static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    SelectObject(canvas.dc, pen);
    SelectObject(canvas.dc, brush);
    EXPECT_TRUE(Rectangle(canvas.dc, c.corners.left, c.corners.top, c.corners.right, c.corners.bottom));
    std::string actual;
    for (int y = 0; y < 8; ++y) {
      if (y > 0) actual += ' ';
      for (int x = 0; x < 10; ++x) {
        const COLORREF p = GetPixel(canvas.dc, x, y);
        actual += p == outline ? 'o' : p == fill ? 'b' : p == kBlack ? '.' : '?';
      }
    }
    EXPECT_EQ(actual, c.expected) << "pen " << c.pen << " brush " << c.brush;
    SelectObject(canvas.dc, GetStockObject(BLACK_PEN));
    SelectObject(canvas.dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(pen);
    DeleteObject(brush);
  }
}

TEST(GdiShapes, PolygonFillsByTheAlternateRuleThenOutlines) {
  Canvas filled(40, 40);
  SelectObject(filled.dc, GetStockObject(NULL_PEN));
  const POINT square[] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}};
  EXPECT_TRUE(Polygon(filled.dc, square, 4));
  EXPECT_EQ(FindInk(filled.dc).Text(), "16: 0,0..3,3") << "pixel centres inside";
  // A five-pointed star drawn in one stroke: its centre is covered twice and stays empty.
  const POINT star[] = {{20, 2}, {31, 36}, {2, 14}, {38, 14}, {9, 36}};
  EXPECT_TRUE(Polygon(filled.dc, star, 5));
  struct Probe {
    int x, y;
    COLORREF colour;
  } probes[] = {{20, 22, kBlack}, {20, 8, kWhite}, {8, 15, kWhite}, {29, 33, kWhite}, {20, 35, kBlack}};
  for (const Probe& p : probes) EXPECT_EQ(GetPixel(filled.dc, p.x, p.y), p.colour) << p.x << "," << p.y;

  PenCanvas outlined(8, 8);
  const POINT triangle[] = {{1, 1}, {6, 1}, {1, 6}};
  MoveToEx(outlined.dc, 7, 7, nullptr);
  EXPECT_TRUE(Polygon(outlined.dc, triangle, 3));
  EXPECT_EQ(Picture(outlined.dc, 0, 0, 8, 8),
            (Rows{"........", ".######.", ".#...#..", ".#..#...", ".#.#....", ".##.....", ".#......", "........"}));
  POINT position{};
  GetCurrentPositionEx(outlined.dc, &position);
  EXPECT_EQ(position.x, 7) << "the current position is left alone";
  EXPECT_FALSE(Polygon(outlined.dc, triangle, 1));
  EXPECT_FALSE(Polygon(outlined.dc, nullptr, 3));
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
    Canvas canvas(4, 4, c.bits);
    EXPECT_EQ(SetPixel(canvas.dc, 2, 3, c.asked), c.shown) << c.bits;
    EXPECT_EQ(GetPixel(canvas.dc, 2, 3), c.shown) << c.bits;
    EXPECT_EQ(FindInk(canvas.dc).Text(), c.shown == kBlack ? "0" : "1: 2,3..2,3") << c.bits;
    EXPECT_EQ(SetPixel(canvas.dc, 4, 0, c.asked), CLR_INVALID);
    EXPECT_EQ(GetPixel(canvas.dc, -1, 0), CLR_INVALID);
  }
}

TEST(GdiPixels, ViewportOriginMovesEveryDrawing) {
  PenCanvas canvas(16, 12);
  POINT previous{9, 9};
  EXPECT_TRUE(SetViewportOrgEx(canvas.dc, 5, 3, &previous));
  EXPECT_TRUE(previous.x == 0 && previous.y == 0);
  SetPixel(canvas.dc, 0, 0, kWhite);
  Line(canvas.dc, 1, 1, 4, 1);
  EXPECT_EQ(GetPixel(canvas.dc, -5, -3), kBlack);
  SetViewportOrgEx(canvas.dc, 0, 0, nullptr);
  EXPECT_EQ(Picture(canvas.dc, 4, 2, 10, 3), (Rows{"..........", ".#........", "..###....."}));
}

}  // namespace
