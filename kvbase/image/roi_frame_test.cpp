#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvbase/image/image.h"
#include "kvbase/image/roi.h"
#include "kvbase/platform/gdi.h"
#include "kvbase/platform/internal/gdi_test_support.h"

namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);

struct Placement {
  int x, y, w, h;
  bool operator==(const Placement& o) const { return x == o.x && y == o.y && w == o.w && h == o.h; }
};
std::ostream& operator<<(std::ostream& os, const Placement& p) {
  return os << "(" << p.x << ", " << p.y << ", " << p.w << " x " << p.h << ")";
}
Placement PlacementOf(const KGenericROI& r) { return {r.GetOrgX(), r.GetOrgY(), r.GetWidth(), r.GetHeight()}; }

// A 32-bit device context with a white pen of `width` and a null brush.
struct Canvas {
  explicit Canvas(int penWidth = 1) : dc(KCreateMemoryDC(140, 140, 32)), pen(CreatePen(PS_SOLID, penWidth, RGB(255, 255, 255))) {
    SelectObject(dc, pen);
    SelectObject(dc, GetStockObject(NULL_BRUSH));
  }
  ~Canvas() {
    DeleteDC(dc);
    DeleteObject(pen);
  }
  HDC dc;
  HPEN pen;
};

TEST(ROIFrame, FramePositionsForEachPenWidth) {
  KImageBW8 image(100, 100);
  KROIBW8 roi(&image, 10, 20, 30, 40);  // device rectangle 10, 20, 40, 60 at zoom 1
  struct Case {
    K_FRAME_POSITION position;
    int pen;
    RECT ink;  // inclusive
  } cases[] = {
      {K_FRAME_POSITION_ON_BORDER, 1, {10, 20, 39, 59}}, {K_FRAME_POSITION_ON_BORDER, 3, {9, 19, 40, 60}},
      {K_FRAME_POSITION_INSIDE, 1, {10, 20, 39, 59}},    {K_FRAME_POSITION_INSIDE, 2, {10, 20, 39, 59}},
      {K_FRAME_POSITION_INSIDE, 3, {10, 20, 39, 59}},    {K_FRAME_POSITION_OUTSIDE, 1, {9, 19, 40, 60}},
      {K_FRAME_POSITION_OUTSIDE, 2, {8, 18, 41, 61}},    {K_FRAME_POSITION_OUTSIDE, 3, {7, 17, 42, 62}},
      {static_cast<K_FRAME_POSITION>(7), 1, {10, 20, 40, 60}},
  };
  for (const Case& c : cases) {
    Canvas canvas(c.pen);
    roi.DrawFrame(canvas.dc, c.position, 0, 1.0f, 1.0f, 0.0f, 0.0f);
    const kvgdi_test::Ink ink = kvgdi_test::FindInk(canvas.dc, kBlack);
    const std::string what = "position " + std::to_string(c.position) + " pen " + std::to_string(c.pen);
    EXPECT_EQ(ink.box.left, c.ink.left) << what;
    EXPECT_EQ(ink.box.top, c.ink.top) << what;
    EXPECT_EQ(ink.box.right, c.ink.right) << what;
    EXPECT_EQ(ink.box.bottom, c.ink.bottom) << what;
    // A frame, not a filled box: its line is as thick as the pen.
    const int w = c.ink.right - c.ink.left + 1, h = c.ink.bottom - c.ink.top + 1;
    EXPECT_EQ(ink.count, w * h - (w - 2 * c.pen) * (h - 2 * c.pen)) << what;
    POINT position{};
    GetCurrentPositionEx(canvas.dc, &position);
    EXPECT_EQ(position.x, c.position == 1 ? 10 + c.pen / 2 : c.position == 2 ? 10 - (c.pen + 1) / 2 : 10) << what;
  }
}

TEST(ROIFrame, HandlesAndZoom) {
  KImageBW8 image(100, 100);
  KROIBW8 roi(&image, 10, 20, 30, 40);
  Canvas canvas;
  SelectObject(canvas.dc, GetStockObject(WHITE_BRUSH));
  roi.DrawFrame(canvas.dc, K_FRAME_POSITION_ON_BORDER, 1, 1.0f, 1.0f, 0.0f, 0.0f);
  // Eight filled 8 x 8 squares: the first from (6, 16) to (14, 24), over the frame's top-left corner.
  EXPECT_EQ(kvgdi_test::Picture(canvas.dc, 5, 15, 10, 10, kBlack),
            (std::vector<std::string>{"..........", ".########.", ".########.", ".########.", ".########.",
                                      ".#########", ".########.", ".########.", ".########.", ".....#...."}));
  for (POINT centre : {POINT{10, 20}, POINT{24, 20}, POINT{39, 20}, POINT{10, 39}, POINT{39, 39}, POINT{10, 59},
                       POINT{24, 59}, POINT{39, 59}}) {
    EXPECT_EQ(GetPixel(canvas.dc, centre.x - 4, centre.y - 4), RGB(255, 255, 255)) << centre.x << "," << centre.y;
    EXPECT_EQ(GetPixel(canvas.dc, centre.x + 3, centre.y + 3), RGB(255, 255, 255)) << centre.x << "," << centre.y;
  }
  const kvgdi_test::Ink ink = kvgdi_test::FindInk(canvas.dc, kBlack);
  EXPECT_EQ(ink.box.left, 6);
  EXPECT_EQ(ink.box.bottom, 62);

  // Zoom 2: the device rectangle 20, 40, 80, 120; zoomY 0 is zoomY = zoomX; pan moves before zooming.
  for (float zoomY : {2.0f, 0.0f}) {
    Canvas zoomed;
    roi.DrawFrame(zoomed.dc, K_FRAME_POSITION_ON_BORDER, 0, 2.0f, zoomY, 0.0f, 0.0f);
    const kvgdi_test::Ink z = kvgdi_test::FindInk(zoomed.dc, kBlack);
    EXPECT_EQ(z.box.left, 20);
    EXPECT_EQ(z.box.top, 40);
    EXPECT_EQ(z.box.right, 79);
    EXPECT_EQ(z.box.bottom, 119);
  }
  Canvas panned;
  roi.DrawFrame(panned.dc, K_FRAME_POSITION_ON_BORDER, 0, 1.5f, 0.0f, -4.0f, 2.25f);
  const kvgdi_test::Ink p = kvgdi_test::FindInk(panned.dc, kBlack);
  EXPECT_EQ(p.box.left, 9);     // R(6 x 1.5)
  EXPECT_EQ(p.box.top, 33);     // R(22.25 x 1.5) = R(33.375)
  EXPECT_EQ(p.box.right, 53);   // R(36 x 1.5) - 1
  EXPECT_EQ(p.box.bottom, 92);  // R(62.25 x 1.5) - 1 = R(93.375) - 1
}

TEST(ROIFrame, HitTestFindsSidesBeforeCornersAndRecordsTheAnchor) {
  KImageBW8 image(100, 100);
  KROIBW8 roi(&image, 10, 20, 30, 40);
  struct Case {
    int x, y;
    K_HANDLES expected;
  } cases[] = {
      {25, 20, K_HANDLE_NORTH}, {13, 23, K_HANDLE_NORTH_WEST}, {25, 40, K_HANDLE_INSIDE},     {5, 5, K_HANDLE_NONE},
      {40, 60, K_HANDLE_SOUTH_EAST}, {40, 50, K_HANDLE_INSIDE}, {40, 40, K_HANDLE_EAST},       {6, 44, K_HANDLE_WEST},
      {29, 64, K_HANDLE_SOUTH}, {44, 16, K_HANDLE_NORTH_EAST},  {6, 64, K_HANDLE_SOUTH_WEST}, {45, 40, K_HANDLE_NONE},
  };
  for (const Case& c : cases) EXPECT_EQ(roi.HitTest(c.x, c.y, 1.0f, 0.0f, 0.0f, 0.0f), c.expected) << c.x << "," << c.y;

  // On a tiny ROI the squares overlap: at its top-left corner the north handle wins.
  KROIBW8 tiny(&image, 50, 50, 2, 2);
  EXPECT_EQ(tiny.HitTest(50, 50, 1.0f, 0.0f, 0.0f, 0.0f), K_HANDLE_NORTH);

  // At zoom 2 with a pan the same handles sit at the zoomed positions.
  EXPECT_EQ(roi.HitTest(50, 40, 2.0f, 0.0f, 0.0f, 0.0f), K_HANDLE_NORTH);
  EXPECT_EQ(roi.HitTest(30, 40, 2.0f, 0.0f, 5.0f, 0.0f), K_HANDLE_NORTH_WEST);
}

TEST(ROIFrame, DragMovesOrResizesTheGrabbedHandle) {
  struct Case {
    const char* what;
    K_HANDLES handle;
    int x, y;
    Placement after;
  } cases[] = {
      {"east", K_HANDLE_EAST, 15, 99, {10, 20, 5, 40}},
      {"east left of the left border", K_HANDLE_EAST, 3, 0, {10, 20, 1, 40}},
      {"west", K_HANDLE_WEST, 4, 0, {4, 20, 36, 40}},
      {"west past the right border", K_HANDLE_WEST, 70, 0, {39, 20, 1, 40}},
      {"north", K_HANDLE_NORTH, 0, 5, {10, 5, 30, 55}},
      {"south", K_HANDLE_SOUTH, 0, 90, {10, 20, 30, 70}},
      {"south above the top", K_HANDLE_SOUTH, 0, 2, {10, 20, 30, 1}},
      {"north west", K_HANDLE_NORTH_WEST, 12, 30, {12, 30, 28, 30}},
      {"south east", K_HANDLE_SOUTH_EAST, 50, 70, {10, 20, 40, 50}},
      {"north east", K_HANDLE_NORTH_EAST, 50, 10, {10, 10, 40, 50}},
      {"south west", K_HANDLE_SOUTH_WEST, 0, 61, {0, 20, 40, 41}},
      {"east past the image", K_HANDLE_EAST, 150, 0, {10, 20, 90, 40}},
      {"none", K_HANDLE_NONE, 0, 0, {10, 20, 30, 40}},
      {"not a handle", static_cast<K_HANDLES>(12), 0, 0, {10, 20, 30, 40}},
  };
  for (const Case& c : cases) {
    KImageBW8 image(100, 100);
    KROIBW8 roi(&image, 10, 20, 30, 40);
    roi.Drag(c.handle, c.x, c.y, 1.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(PlacementOf(roi), c.after) << c.what;
  }
  // At zoom 2 with pan, the mouse is first taken back to root pixels.
  KImageBW8 image(100, 100);
  KROIBW8 roi(&image, 10, 20, 30, 40);
  roi.Drag(K_HANDLE_EAST, 101, 0, 2.0f, 0.0f, -10.0f, 0.0f);  // trunc(50.5 + 10) = 60
  EXPECT_EQ(PlacementOf(roi), (Placement{10, 20, 50, 40}));
}

TEST(ROIFrame, DraggingTheInsideFollowsTheGrabPoint) {
  KImageBW8 image(100, 100);
  KROIBW8 roi(&image, 10, 20, 30, 40);
  ASSERT_EQ(roi.HitTest(25, 40, 1.0f, 0.0f, 0.0f, 0.0f), K_HANDLE_INSIDE);  // anchor (15, 20)
  roi.Drag(K_HANDLE_INSIDE, 35, 50, 1.0f, 0.0f, 0.0f, 0.0f);
  EXPECT_EQ(PlacementOf(roi), (Placement{20, 30, 30, 40})) << "the centre follows the mouse";
  // One call moves the left border at most to the column left of the right border before the call.
  roi.Drag(K_HANDLE_INSIDE, 99, 50, 1.0f, 0.0f, 0.0f, 0.0f);
  EXPECT_EQ(roi.GetOrgX(), 49);

  // Against the left edge of the image the ROI is cut, and the anchor shrinks by what was cut off.
  KROIBW8 other(&image, 10, 20, 30, 40);
  other.HitTest(25, 40, 1.0f, 0.0f, 0.0f, 0.0f);
  other.Drag(K_HANDLE_INSIDE, 5, 40, 1.0f, 0.0f, 0.0f, 0.0f);
  EXPECT_EQ(PlacementOf(other), (Placement{0, 20, 20, 40}));
  other.Drag(K_HANDLE_INSIDE, 15, 40, 1.0f, 0.0f, 0.0f, 0.0f);
  EXPECT_EQ(PlacementOf(other), (Placement{10, 20, 20, 40})) << "the grab point stays under the mouse";
}

}  // namespace
