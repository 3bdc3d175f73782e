#include "kvbase/platform/gdi_text.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "kvbase/platform/gdi.h"
#include "kvbase/platform/internal/gdi_test_support.h"

namespace {

using kvgdi_test::FindInk;
using kvgdi_test::Picture;

constexpr COLORREF kBlack = RGB(0, 0, 0);

struct TextCanvas {
  TextCanvas(int width = 60, int height = 40) : dc(KCreateMemoryDC(width, height, 32)) {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
  }
  ~TextCanvas() { DeleteDC(dc); }
  HDC dc;
};

TEST(GdiText, ExtentsAreSixByTwelvePerCharacter) {
  TextCanvas canvas;
  SIZE size{};
  EXPECT_TRUE(GetTextExtentPoint32A(canvas.dc, "Index", 5, &size));
  EXPECT_EQ(size.cx, 30);
  EXPECT_EQ(size.cy, 12);
  EXPECT_TRUE(GetTextExtentPoint32A(canvas.dc, "", 0, &size));
  EXPECT_EQ(size.cx, 0);
  EXPECT_EQ(size.cy, 12);
  EXPECT_FALSE(GetTextExtentPoint32A(canvas.dc, "x", -1, &size));
  EXPECT_FALSE(GetTextExtentPoint32A(canvas.dc, "x", 1, nullptr));
  EXPECT_FALSE(GetTextExtentPoint32A(canvas.dc, "x", 0x7FFFFFFF, &size));
}

TEST(GdiText, AlignmentPlacesTheReferencePoint) {
  // The ink of "H" spans columns 0 to 4 and rows 2 to 8 of its cell; the baseline is row 9.
  struct Case {
    UINT align;
    int left, top;  // of the ink, for the reference point (20, 20)
  } cases[] = {
      {TA_LEFT | TA_TOP, 20, 22},   {TA_RIGHT | TA_TOP, 14, 22},     {TA_CENTER | TA_TOP, 17, 22},
      {TA_LEFT | TA_BASELINE, 20, 13}, {TA_LEFT | TA_BOTTOM, 20, 10}, {TA_RIGHT | TA_BASELINE, 14, 13},
  };
  for (const Case& c : cases) {
    TextCanvas canvas;
    EXPECT_EQ(SetTextAlign(canvas.dc, c.align), TA_LEFT | TA_TOP);
    EXPECT_EQ(GetTextAlign(canvas.dc), c.align);
    EXPECT_TRUE(TextOutA(canvas.dc, 20, 20, "H", 1));
    const kvgdi_test::Ink ink = FindInk(canvas.dc, kBlack);
    EXPECT_EQ(ink.box.left, c.left) << c.align;
    EXPECT_EQ(ink.box.top, c.top) << c.align;
    EXPECT_EQ(ink.box.right - ink.box.left, 4) << c.align;
    EXPECT_EQ(ink.box.bottom - ink.box.top, 6) << c.align;
  }
}

TEST(GdiText, GlyphsAreDistinctAndDescendersGoBelowTheBaseline) {
  TextCanvas canvas(8, 14);
  std::set<std::vector<std::string>> seen;
  for (int c = 33; c <= 126; ++c) {
    kvgdi_test::Fill(canvas.dc, kBlack);
    const char text = static_cast<char>(c);
    TextOutA(canvas.dc, 1, 1, &text, 1);
    const std::vector<std::string> glyph = Picture(canvas.dc, 0, 0, 8, 14, kBlack);
    const kvgdi_test::Ink ink = FindInk(canvas.dc, kBlack);
    EXPECT_GT(ink.count, 0) << "no ink for " << text;
    EXPECT_GE(ink.box.left, 1) << text;
    EXPECT_LE(ink.box.right, 5) << text << ": the sixth column of a cell separates characters";
    EXPECT_TRUE(seen.insert(glyph).second) << text << " looks like another character";
    const bool descender = std::string("gjpqy,;").find(text) != std::string::npos;
    EXPECT_EQ(ink.box.bottom > 9, descender) << text;
  }
  // A byte without a glyph shows a box, not nothing.
  kvgdi_test::Fill(canvas.dc, kBlack);
  TextOutA(canvas.dc, 1, 1, "\x01", 1);
  EXPECT_EQ(Picture(canvas.dc, 1, 2, 6, 9, kBlack),
            (std::vector<std::string>{"......", "#####.", "#...#.", "#...#.", "#...#.", "#...#.", "#...#.", "#####.", "......"}));
}

TEST(GdiText, OpaqueModeFillsTheCellsWithTheBackgroundColour) {
  TextCanvas canvas;
  EXPECT_EQ(SetBkMode(canvas.dc, OPAQUE), TRANSPARENT);
  EXPECT_EQ(GetBkMode(canvas.dc), OPAQUE);
  EXPECT_EQ(SetBkColor(canvas.dc, RGB(0, 0, 255)), RGB(255, 255, 255));
  EXPECT_EQ(GetBkColor(canvas.dc), RGB(0, 0, 255));
  TextOutA(canvas.dc, 3, 4, "AB", 2);
  const kvgdi_test::Ink ink = FindInk(canvas.dc, kBlack);
  EXPECT_EQ(ink.count, 12 * 12);
  EXPECT_EQ(ink.box.left, 3);
  EXPECT_EQ(ink.box.right, 14);
  EXPECT_EQ(GetPixel(canvas.dc, 8, 4), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(canvas.dc, 3, 8), RGB(255, 255, 255));  // left stroke of the A

  EXPECT_EQ(SetBkMode(canvas.dc, 3), 0);
  EXPECT_EQ(GetBkMode(canvas.dc), OPAQUE);
  EXPECT_EQ(SetTextAlign(canvas.dc, 4), GDI_ERROR);
  EXPECT_EQ(SetTextAlign(canvas.dc, 0x100), GDI_ERROR);
  EXPECT_EQ(GetTextColor(canvas.dc), RGB(255, 255, 255));
}

TEST(GdiText, UpdateCurrentPositionWritesOnFromWhereTheLastTextEnded) {
  TextCanvas canvas;
  SetTextAlign(canvas.dc, TA_UPDATECP);
  MoveToEx(canvas.dc, 2, 0, nullptr);
  TextOutA(canvas.dc, 40, 40, "ab", 2);
  TextOutA(canvas.dc, 40, 40, "c", 1);
  POINT position{};
  GetCurrentPositionEx(canvas.dc, &position);
  EXPECT_EQ(position.x, 20);
  EXPECT_EQ(position.y, 0);
  const kvgdi_test::Ink ink = FindInk(canvas.dc, kBlack);
  EXPECT_EQ(ink.box.left, 2);
  EXPECT_EQ(ink.box.right, 18);
  EXPECT_LT(ink.box.bottom, 12);
}

TEST(GdiText, TextFarOutsideIsClipped) {
  TextCanvas canvas(20, 20);
  std::string longText(100000, 'W');  // only the cells over the bitmap are drawn
  EXPECT_TRUE(TextOutA(canvas.dc, -599970, 0, longText.c_str(), static_cast<int>(longText.size())));
  EXPECT_TRUE(TextOutA(canvas.dc, 2000000000, 2000000000, "W", 1));
  EXPECT_EQ(FindInk(canvas.dc, kBlack).box.right, 19);
  EXPECT_FALSE(TextOutA(canvas.dc, 0, 0, nullptr, 3));
}

}  // namespace
