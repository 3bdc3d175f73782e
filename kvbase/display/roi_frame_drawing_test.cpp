#include <gtest/gtest.h>

#include "kvbase/image/image.h"
#include "kvbase/image/roi.h"
#include "kvbase/platform/gdi.h"
#include "kvbase/testing/framed_roi.h"
#include "kvbase/testing/gdi_test_support.h"

namespace {

using namespace kvgdi_test;

using Framed = kvbase::testing::KFramedROI;

TEST(ROIFrame, FramePositionsPenWidthsZoomAndPan) {
  Framed f;
  // Zoom 2 gives the device rectangle 20, 40, 80, 120 (zoomY 0 is zoomY = zoomX); the pan moves before
  // zooming: R(6 x 1.5), R(22.25 x 1.5) = R(33.375), R(36 x 1.5) - 1, R(62.25 x 1.5) - 1 = R(93.375) - 1.
  struct Case {
    K_FRAME_POSITION position;
    int pen;
    float zoomX, zoomY, panX, panY;
    RECT ink; /* inclusive */
  } cases[] = {
      {K_FRAME_POSITION_ON_BORDER, 1, 1, 1, 0, 0, {10, 20, 39, 59}},
      {K_FRAME_POSITION_ON_BORDER, 3, 1, 1, 0, 0, {9, 19, 40, 60}},
      {K_FRAME_POSITION_INSIDE, 1, 1, 1, 0, 0, {10, 20, 39, 59}},
      {K_FRAME_POSITION_INSIDE, 2, 1, 1, 0, 0, {10, 20, 39, 59}},
      {K_FRAME_POSITION_INSIDE, 3, 1, 1, 0, 0, {10, 20, 39, 59}},
      {K_FRAME_POSITION_OUTSIDE, 1, 1, 1, 0, 0, {9, 19, 40, 60}},
      {K_FRAME_POSITION_OUTSIDE, 2, 1, 1, 0, 0, {8, 18, 41, 61}},
      {K_FRAME_POSITION_OUTSIDE, 3, 1, 1, 0, 0, {7, 17, 42, 62}},
      {static_cast<K_FRAME_POSITION>(7), 1, 1, 1, 0, 0, {10, 20, 40, 60}},
      {K_FRAME_POSITION_ON_BORDER, 1, 2, 2, 0, 0, {20, 40, 79, 119}},
      {K_FRAME_POSITION_ON_BORDER, 1, 2, 0, 0, 0, {20, 40, 79, 119}},
      {K_FRAME_POSITION_ON_BORDER, 1, 1.5f, 0, -4, 2.25f, {9, 33, 53, 92}},
  };
  for (const Case& c : cases) {
    PenCanvas canvas(140, 140, c.pen);
    f.roi.DrawFrame(canvas.dc, c.position, 0, c.zoomX, c.zoomY, c.panX, c.panY);
    // A frame, not a filled box: its line is as thick as the pen.
    const int w = c.ink.right - c.ink.left + 1, h = c.ink.bottom - c.ink.top + 1;
    const Ink expected{w * h - (w - 2 * c.pen) * (h - 2 * c.pen), c.ink};
    EXPECT_EQ(FindInk(canvas.dc).Text(), expected.Text())
        << "position " << c.position << " pen " << c.pen << " zoom " << c.zoomX;
  }
}

TEST(ROIFrame, HandlesAreEightFilledSquaresOverTheFrame) {
  Framed f;
  PenCanvas canvas(140, 140);
  SelectObject(canvas.dc, GetStockObject(WHITE_BRUSH));
  f.roi.DrawFrame(canvas.dc, K_FRAME_POSITION_ON_BORDER, 1, 1.0f, 1.0f, 0.0f, 0.0f);
  // Each square from (x - 4, y - 4) to (x + 3, y + 3) around a corner or the middle of a side; the frame
  // shows between them: 8 x 64 square pixels and the 136 of the frame, 64 of them under the squares.
  for (POINT p : {POINT{10, 20}, POINT{24, 20}, POINT{39, 20}, POINT{10, 39}, POINT{39, 39}, POINT{10, 59},
                  POINT{24, 59}, POINT{39, 59}})
    EXPECT_EQ(Picture(canvas.dc, p.x - 5, p.y - 5, 10, 10)[1], ".########.") << p.x << "," << p.y;
  EXPECT_EQ(FindInk(canvas.dc).Text(), "584: 6,16..42,62");
}

TEST(ROIFrame, FramesFarOutsideTheIntRangeDrawNothingAndDoNotOverflow) {
  KImageBW8 image(20, 20);
  KROIBW8 roi(&image, 2, 2, 10, 10);
  for (float far : {1e20f, -1e20f}) {
    for (K_FRAME_POSITION position : {K_FRAME_POSITION_ON_BORDER, K_FRAME_POSITION_INSIDE, K_FRAME_POSITION_OUTSIDE}) {
      PenCanvas canvas(40, 40, 3);
      roi.DrawFrame(canvas.dc, position, 1, far, far, far, far);
      EXPECT_EQ(FindInk(canvas.dc).Text(), "0") << far << " position " << position;
    }
  }
}

}  // namespace
