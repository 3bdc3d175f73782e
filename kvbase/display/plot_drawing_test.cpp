#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvbase/platform/gdi.h"
#include "kvbase/testing/gdi_test_support.h"
#include "kvbase/vectors/profile_vectors.h"

namespace {

using namespace kvgdi_test;
constexpr COLORREF kRed = RGB(255, 0, 0);

// A white 420 x 320 canvas with a red pen, a gray brush, opaque background and centred text alignment:
// state that drawing must give back.
struct PlotCanvas : Canvas {
  PlotCanvas()
      : Canvas(420, 320, 32, kWhite), pen(CreatePen(PS_SOLID, 1, kRed)), brush(CreateSolidBrush(RGB(9, 9, 9))) {
    SelectObject(dc, pen);
    SelectObject(dc, brush);
    SetBkMode(dc, OPAQUE);
    SetTextAlign(dc, TA_CENTER | TA_BOTTOM);
  }
  ~PlotCanvas() {
    ExpectStateKept();
    SelectObject(dc, GetStockObject(BLACK_PEN));
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(pen);
    DeleteObject(brush);
  }
  void ExpectStateKept() const {
    EXPECT_TRUE(GetCurrentObject(dc, OBJ_PEN) == pen && GetCurrentObject(dc, OBJ_BRUSH) == brush)
        << "pen and brush given back";
    EXPECT_TRUE(GetBkMode(dc) == OPAQUE && GetTextAlign(dc) == (TA_CENTER | TA_BOTTOM)) << "text state given back";
  }
  // Pixels of `colour` (or, for white, of any other colour) in the inclusive rectangle.
  int Count(int left, int top, int right, int bottom, COLORREF colour = kWhite) const {
    int count = 0;
    for (int y = top; y <= bottom; ++y)
      for (int x = left; x <= right; ++x) count += (GetPixel(dc, x, y) == colour) != (colour == kWhite);
    return count;
  }
  HPEN pen;
  HBRUSH brush;
};

// X minimum and maximum, Y minimum and maximum of a drawn plot.
std::vector<double> Ranges(const KPlot& plot) {
  return {plot.GetXMinimum(), plot.GetXMaximum(), plot.GetYMinimum(), plot.GetYMaximum()};
}

TEST(PlotDrawing, RampFrameTicksCurveAndRestoredState) {
  KBW8Vector ramp(256);
  for (int i = 0; i < 256; ++i) ramp.AddElement(static_cast<unsigned char>(i));
  PlotCanvas canvas;
  ramp.Draw(canvas.dc, 400.0f, 300.9f, 10.0f, 5.0f);
  EXPECT_EQ(Ranges(ramp), (std::vector<double>{0, 255, 0, 255}));
  // Text is 12 pixels high; the widest Y label "255" is 18 wide and "Index" 30.
  EXPECT_EQ((std::vector<int>{ramp.GetPlotLeft(), ramp.GetPlotRight(), ramp.GetPlotBottom(), ramp.GetPlotTop()}),
            (std::vector<int>{10 + 6 + 18 + 12, 10 + 400 - 6 - 30 - 12, 5 + 300 - 6 - 24, 5 + 6 + 24}));
  EXPECT_TRUE(ramp.XView(0.0) == ramp.GetPlotLeft() && ramp.YView(255.0) == ramp.GetPlotTop());

  // Probes of the axes (black, two pixels thick, with arrow heads), the grid lines of the ticks and the
  // labels. X ticks every 20 at 46 + trunc(v x 316 / 255) up to 240, then a closing line at the plot's
  // right edge for the maximum 255; Y ticks every 20 at 275 + trunc(v x -240 / 255) up to 240, then
  // a closing line at the top.
  struct Probe {
    const char* what;
    int x, y;
    COLORREF colour;
  } probes[] = {
      {"X axis at level 0", 16, 275, kBlack},
      {"X axis", 100, 276, kBlack},
      {"X axis", 391, 275, kBlack},
      {"X arrow tip", 404, 275, kBlack},
      {"filled X arrow head", 398, 275, kBlack},
      {"Y axis", 46, 23, kBlack},
      {"Y axis", 47, 150, kBlack},
      {"Y axis", 46, 298, kBlack},
      {"Y arrow tip", 46, 11, kBlack},
      {"X tick 20", 70, 100, kBlack},
      {"X tick 240", 343, 100, kBlack},
      {"X closing line", 362, 100, kBlack},
      {"between X ticks", 75, 100, kWhite},
      {"Y tick 240", 200, 50, kBlack},
      {"Y tick 20", 200, 257, kBlack},
      {"Y closing line", 200, 35, kBlack},
  };
  for (const Probe& p : probes)
    EXPECT_EQ(GetPixel(canvas.dc, p.x, p.y), p.colour) << p.what << " at " << p.x << "," << p.y;
  EXPECT_GT(canvas.Count(360, 287, 404, 298), 0) << "label 255 at the right end";
  EXPECT_GT(canvas.Count(22, 254, 33, 260), 0) << "label 20";
  EXPECT_EQ(canvas.Count(22, 268, 33, 274), 0) << "no label for 0";
  // The curve, in the context's pen, through every element but the last (where LineTo stops).
  for (int i = 0; i < 255; i += 17) EXPECT_EQ(GetPixel(canvas.dc, ramp.XView(i), ramp.YView(i)), kRed) << i;
  POINT end{};
  GetCurrentPositionEx(canvas.dc, &end);
  EXPECT_TRUE(end.x == ramp.XView(255) && end.y == ramp.GetPlotTop());
}

TEST(PlotDrawing, RangesFollowTheDataUnlessFixed) {
  // `fixed`: SetYRange(-10, 10) before drawing.
  struct Case {
    const char* what;
    std::vector<unsigned char> values;
    int valuesUnsigned;
    bool fixed;
    double xMaximum, yMinimum, yMaximum;
  } cases[] = {
      {"all zero", {0, 0, 0}, 1, false, 2.0, 0.0, 1.0},        {"one element", {7}, 1, false, 1.0, 0.0, 7.0},
      {"signed", {0xFF, 3, 0x80}, 0, false, 2.0, -128.0, 3.0}, {"unsigned", {0xFF, 3, 0x80}, 1, false, 2.0, 0.0, 255.0},
      {"fixed", {0xFF, 3}, 0, true, 1.0, -10.0, 10.0},         {"empty", {}, 1, false, 1.0, 0.0, 1.0},
  };
  for (const Case& c : cases) {
    KBW8Vector vector(4, c.valuesUnsigned);
    for (unsigned char v : c.values) vector.AddElement(v);
    if (c.fixed) vector.SetYRange(-10, 10);
    PlotCanvas canvas;
    vector.Draw(canvas.dc, 300.0f, 200.0f, 0.0f, 0.0f);
    EXPECT_EQ(Ranges(vector), (std::vector<double>{0, c.xMaximum, c.yMinimum, c.yMaximum})) << c.what;
    EXPECT_EQ(canvas.Count(0, 0, 299, 199, kRed) > 0, c.values.size() > 1)
        << c.what << ": one element is a MoveToEx only";
    EXPECT_TRUE(!c.fixed || GetPixel(canvas.dc, vector.XView(0), vector.YView(-1)) == kRed) << "0xFF read as -1";
  }
}

TEST(PlotDrawing, WiderElementsAndColourComponents) {
  KBW16Vector wide(3, 0);
  wide.AddElement(0xFFFF);
  wide.AddElement(1000);
  KBW32Vector widest(3);
  widest.AddElement(4000000000u);
  widest.AddElement(5);
  PlotCanvas a, b;
  wide.Draw(a.dc, 300.0f, 200.0f, 0.0f, 0.0f);
  widest.Draw(b.dc, 300.0f, 200.0f, 0.0f, 0.0f);
  EXPECT_EQ(Ranges(wide), (std::vector<double>{0, 1, -1, 1000}));
  EXPECT_EQ(Ranges(widest), (std::vector<double>{0, 1, 0, 4000000000.0}));

  KC24Vector colours(3);
  colours.AddElement(KC24(200, 100, 50));
  colours.AddElement(KC24(10, 20, 30));
  colours.AddElement(KC24(10, 20, 30));
  HPEN green = CreatePen(PS_SOLID, 1, RGB(0, 255, 0));
  HPEN blue = CreatePen(PS_SOLID, 1, RGB(0, 0, 255));
  PlotCanvas canvas;
  colours.Draw(canvas.dc, 300.0f, 200.0f, 0.0f, 0.0f, nullptr, green, blue);
  EXPECT_EQ(colours.GetYMaximum(), 200.0);
  // Byte 2 with the pen already selected (a null pen keeps it), byte 1 in green, byte 0 in blue.
  EXPECT_EQ(GetPixel(canvas.dc, colours.XView(0), colours.YView(200)), kRed);
  EXPECT_EQ(GetPixel(canvas.dc, colours.XView(0), colours.YView(100)), RGB(0, 255, 0));
  EXPECT_EQ(GetPixel(canvas.dc, colours.XView(0), colours.YView(50)), RGB(0, 0, 255));
  DeleteObject(green);
  DeleteObject(blue);
}

TEST(PlotDrawing, DirectAnnotationsOnEmptyOrExtremeRangesStayBounded) {
  KPlot plot;  // every range 0
  PlotCanvas canvas;
  plot.DrawAnnotations(canvas.dc, 300, 200, 0, 0, nullptr, nullptr);
  canvas.ExpectStateKept();
  KBW32Vector huge(2);
  huge.AddElement(0);
  huge.AddElement(1);
  huge.SetYRange(-2147483647 - 1, 4294967295u);
  huge.Draw(canvas.dc, 1e12f, -5.0f, -1e12f, 3e9f);  // the state is checked when the canvas goes
}

}  // namespace
