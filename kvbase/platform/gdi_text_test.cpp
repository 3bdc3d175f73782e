#include "kvbase/platform/gdi_text.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "kvbase/platform/gdi.h"
#include "kvbase/testing/gdi_test_support.h"

namespace {

using namespace kvgdi_test;

// White text on a transparent background.
struct TextCanvas : Canvas {
  explicit TextCanvas(int width = 60, int height = 40) : Canvas(width, height) {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kWhite);
  }
};

TEST(GdiText, ExtentsAreSixByTwelvePerCharacter) {
  TextCanvas canvas;
  SIZE size{};
  EXPECT_TRUE(GetTextExtentPoint32A(canvas.dc, "Index", 5, &size));
  EXPECT_TRUE(size.cx == 30 && size.cy == 12);
  EXPECT_TRUE(GetTextExtentPoint32A(canvas.dc, "", 0, &size));
  EXPECT_TRUE(size.cx == 0 && size.cy == 12);
  EXPECT_FALSE(GetTextExtentPoint32A(canvas.dc, "x", -1, &size));
  EXPECT_FALSE(GetTextExtentPoint32A(canvas.dc, "x", 1, nullptr));
  EXPECT_FALSE(GetTextExtentPoint32A(canvas.dc, "x", 0x7FFFFFFF, &size)) << "the width would overflow";
}

TEST(GdiText, AlignmentPlacesTheReferencePoint) {
  // The ink of "H" spans columns 0 to 4 and rows 2 to 8 of its cell; the baseline is row 9.
  struct Case {
    UINT align;
    const char* box; /* of the ink, for the reference point (20, 20) */
  } cases[] = {
      {TA_LEFT | TA_TOP, "20,22..24,28"},    {TA_RIGHT | TA_TOP, "14,22..18,28"},
      {TA_CENTER | TA_TOP, "17,22..21,28"},  {TA_LEFT | TA_BASELINE, "20,13..24,19"},
      {TA_LEFT | TA_BOTTOM, "20,10..24,16"}, {TA_RIGHT | TA_BASELINE, "14,13..18,19"},
  };
  for (const Case& c : cases) {
    TextCanvas canvas;
    EXPECT_EQ(SetTextAlign(canvas.dc, c.align), TA_LEFT | TA_TOP);
    EXPECT_EQ(GetTextAlign(canvas.dc), c.align);
    EXPECT_TRUE(TextOutA(canvas.dc, 20, 20, "H", 1));
    EXPECT_EQ(FindInk(canvas.dc).Box(), c.box) << c.align;
  }
}

TEST(GdiText, GlyphsAreDistinctAndDescendersGoBelowTheBaseline) {
  TextCanvas canvas(8, 14);
  std::set<std::vector<std::string>> seen;
  for (char c = 33; c <= 126; ++c) {
    Fill(canvas.dc, kBlack);
    TextOutA(canvas.dc, 1, 1, &c, 1);
    EXPECT_TRUE(seen.insert(Picture(canvas.dc, 0, 0, 8, 14)).second) << c << " looks like another character";
    const Ink ink = FindInk(canvas.dc);
    EXPECT_TRUE(ink.count > 0 && ink.box.left >= 1 && ink.box.right <= 5)
        << c << ": the sixth column separates characters";
    EXPECT_EQ(ink.box.bottom > 9, std::string("gjpqy,;").find(c) != std::string::npos)
        << c << ": the baseline is row 10";
  }
  // A byte without a glyph shows a box, not nothing.
  Fill(canvas.dc, kBlack);
  TextOutA(canvas.dc, 1, 1, "\x01", 1);
  EXPECT_EQ(Picture(canvas.dc, 1, 2, 6, 9), (std::vector<std::string>{"......", "#####.", "#...#.", "#...#.", "#...#.",
                                                                      "#...#.", "#...#.", "#####.", "......"}));
}

TEST(GdiText, OpaqueModeFillsTheCellsWithTheBackgroundColourAndBadStateIsRefused) {
  TextCanvas canvas;
  EXPECT_EQ(SetBkMode(canvas.dc, OPAQUE), TRANSPARENT);
  EXPECT_EQ(GetBkMode(canvas.dc), OPAQUE);
  EXPECT_EQ(SetBkColor(canvas.dc, 0x02FF0000), kWhite) << "the top byte is dropped";
  EXPECT_EQ(GetBkColor(canvas.dc), RGB(0, 0, 255));
  TextOutA(canvas.dc, 3, 4, "AB", 2);
  EXPECT_EQ(FindInk(canvas.dc).Text(), "144: 3,4..14,15") << "two cells of 6 x 12";
  EXPECT_EQ(GetPixel(canvas.dc, 8, 4), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(canvas.dc, 3, 8), kWhite) << "left stroke of the A";

  EXPECT_EQ(SetBkMode(canvas.dc, 3), 0);
  EXPECT_EQ(GetBkMode(canvas.dc), OPAQUE);
  EXPECT_EQ(SetTextAlign(canvas.dc, 4), GDI_ERROR);
  EXPECT_EQ(SetTextAlign(canvas.dc, 0x100), GDI_ERROR);
  EXPECT_EQ(GetTextColor(canvas.dc), kWhite);
}

TEST(GdiText, UpdateCurrentPositionWritesOnFromWhereTheLastTextEnded) {
  TextCanvas canvas;
  SetTextAlign(canvas.dc, TA_UPDATECP);
  MoveToEx(canvas.dc, 2, 0, nullptr);
  TextOutA(canvas.dc, 40, 40, "ab", 2);
  TextOutA(canvas.dc, 40, 40, "c", 1);
  POINT position{};
  GetCurrentPositionEx(canvas.dc, &position);
  EXPECT_TRUE(position.x == 20 && position.y == 0);
  const RECT box = FindInk(canvas.dc).box;
  EXPECT_TRUE(box.left == 2 && box.right == 18 && box.bottom < 12);
}

TEST(GdiText, TextFarOutsideIsClipped) {
  TextCanvas canvas(20, 20);
  std::string longText(100000, 'W');  // only the cells over the bitmap are drawn
  EXPECT_TRUE(TextOutA(canvas.dc, -599970, 0, longText.c_str(), static_cast<int>(longText.size())));
  EXPECT_TRUE(TextOutA(canvas.dc, 2000000000, 2000000000, "W", 1));
  EXPECT_EQ(FindInk(canvas.dc).box.right, 19);
  EXPECT_FALSE(TextOutA(canvas.dc, 0, 0, nullptr, 3));
}

}  // namespace
