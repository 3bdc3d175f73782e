#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvbase/image/image.h"
#include "kvbase/image/roi.h"
#include "kvbase/testing/framed_roi.h"

namespace {

using Numbers = std::vector<int>;

Numbers PlacementOf(const KGenericROI& r) { return {r.GetOrgX(), r.GetOrgY(), r.GetWidth(), r.GetHeight()}; }

using Framed = kvbase::testing::KFramedROI;

TEST(ROIFrame, HitTestFindsSidesBeforeCornersAndRecordsTheAnchor) {
  Framed f;
  struct Case {
    int x, y;
    K_HANDLES expected;
  } cases[] = {
      {25, 20, K_HANDLE_NORTH},      {13, 23, K_HANDLE_NORTH_WEST}, {25, 40, K_HANDLE_INSIDE},
      {5, 5, K_HANDLE_NONE},         {40, 60, K_HANDLE_SOUTH_EAST}, {40, 50, K_HANDLE_INSIDE},
      {40, 40, K_HANDLE_EAST},       {6, 44, K_HANDLE_WEST},        {29, 64, K_HANDLE_SOUTH},
      {44, 16, K_HANDLE_NORTH_EAST}, {6, 64, K_HANDLE_SOUTH_WEST},  {45, 40, K_HANDLE_NONE},
  };
  for (const Case& c : cases)
    EXPECT_EQ(f.roi.HitTest(c.x, c.y, 1.0f, 0.0f, 0.0f, 0.0f), c.expected) << c.x << "," << c.y;
  // On a tiny ROI the squares overlap: at its top-left corner the north handle wins.
  KROIBW8 tiny(&f.image, 50, 50, 2, 2);
  EXPECT_EQ(tiny.HitTest(50, 50, 1.0f, 0.0f, 0.0f, 0.0f), K_HANDLE_NORTH);
  // At zoom 2 with a pan the same handles sit at the zoomed positions.
  EXPECT_EQ(f.roi.HitTest(50, 40, 2.0f, 0.0f, 0.0f, 0.0f), K_HANDLE_NORTH);
  EXPECT_EQ(f.roi.HitTest(30, 40, 2.0f, 0.0f, 5.0f, 0.0f), K_HANDLE_NORTH_WEST);
}

TEST(ROIFrame, DragMovesOrResizesTheGrabbedHandle) {
  struct Case {
    const char* what;
    K_HANDLES handle;
    int x, y;
    Numbers after;
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
    Framed f;
    f.roi.Drag(c.handle, c.x, c.y, 1.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(PlacementOf(f.roi), c.after) << c.what;
  }
  // At zoom 2 with pan, the mouse is first taken back to root pixels: trunc(50.5 + 10) = 60.
  Framed f;
  f.roi.Drag(K_HANDLE_EAST, 101, 0, 2.0f, 0.0f, -10.0f, 0.0f);
  EXPECT_EQ(PlacementOf(f.roi), Numbers({10, 20, 50, 40}));
}

TEST(ROIFrame, DraggingTheInsideFollowsTheGrabPoint) {
  Framed f, other;
  ASSERT_EQ(f.roi.HitTest(25, 40, 1.0f, 0.0f, 0.0f, 0.0f), K_HANDLE_INSIDE);  // anchor (15, 20)
  f.roi.Drag(K_HANDLE_INSIDE, 35, 50, 1.0f, 0.0f, 0.0f, 0.0f);
  EXPECT_EQ(PlacementOf(f.roi), Numbers({20, 30, 30, 40})) << "the centre follows the mouse";
  // One call moves the left border at most to the column left of the right border before the call.
  f.roi.Drag(K_HANDLE_INSIDE, 99, 50, 1.0f, 0.0f, 0.0f, 0.0f);
  EXPECT_EQ(f.roi.GetOrgX(), 49);

  // Against the left edge of the image the ROI is cut, and the anchor shrinks by what was cut off.
  other.roi.HitTest(25, 40, 1.0f, 0.0f, 0.0f, 0.0f);
  other.roi.Drag(K_HANDLE_INSIDE, 5, 40, 1.0f, 0.0f, 0.0f, 0.0f);
  EXPECT_EQ(PlacementOf(other.roi), Numbers({0, 20, 20, 40}));
  other.roi.Drag(K_HANDLE_INSIDE, 15, 40, 1.0f, 0.0f, 0.0f, 0.0f);
  EXPECT_EQ(PlacementOf(other.roi), Numbers({10, 20, 20, 40})) << "the grab point stays under the mouse";
}

}  // namespace
