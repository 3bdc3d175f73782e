// The model of `kvtool show` without a window: inputs change the ROI, zoom and pan as an operator
// expects, and each frame shows the image, mask, frame and status line where they belong.

#include "show_view.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "kvbase/files/image_files.h"
#include "kvbase/testing/temp_dir.h"
#include "show_test_support.h"

namespace {

using kvtool::RoiPlacement;
using kvtool::ShowCanvas;
using kvtool::ShowKey;
using kvtool::ShowView;
using kvtool::ViewOptions;
using namespace kvtool_test;

std::unique_ptr<ShowView> MakeView(const ViewOptions& options, const KPixelKind& kind = K_PIXEL_KIND_BW8,
                                   const std::string& path = "pattern.bmp") {
  auto view = std::make_unique<ShowView>(PatternImage(kind), path, options);
  view->Resize(kWindowWidth, kWindowHeight);
  return view;
}

struct DragCase {
  const char* what;
  int panX, panY;  // a right-drag before the left one, in device pixels
  int fromX, fromY, toX, toY;
  RoiPlacement expected;
};

// The ROI at (20, 10), 40 x 30, at zoom 2 has the device rectangle 40, 20, 120, 80 and its handles at
// x = 40, 80, 120 and y = 20, 50, 80.
TEST(ShowViewTest, DraggingEachHandleEdgeAndTheInside) {
  const DragCase cases[] = {
      {"north-west corner", 0, 0, 40, 20, 30, 12, {15, 6, 45, 34}},
      {"north side", 0, 0, 80, 20, 80, 30, {20, 15, 40, 25}},
      {"north-east corner", 0, 0, 121, 19, 140, 24, {20, 12, 50, 28}},
      {"east side", 0, 0, 120, 50, 100, 50, {20, 10, 30, 30}},
      {"south-east corner", 0, 0, 120, 80, 130, 90, {20, 10, 45, 35}},
      {"south side", 0, 0, 80, 80, 80, 100, {20, 10, 40, 40}},
      {"south-west corner", 0, 0, 40, 80, 50, 70, {25, 10, 35, 25}},
      {"west side", 0, 0, 40, 50, 20, 50, {10, 10, 50, 30}},
      {"top edge between handles", 0, 0, 60, 21, 60, 31, {20, 15, 40, 25}},
      {"right edge between handles", 0, 0, 119, 65, 139, 65, {20, 10, 49, 30}},
      {"just below the bottom edge", 0, 0, 70, 82, 70, 100, {20, 10, 40, 40}},
      {"east side past the image", 0, 0, 120, 50, 470, 50, {20, 10, 80, 30}},
      {"west side past the image", 0, 0, 40, 50, 0, 50, {0, 10, 60, 30}},
      {"east side past the west one", 0, 0, 120, 50, 10, 50, {20, 10, 1, 30}},
      {"inside: a move", 0, 0, 70, 40, 90, 60, {30, 20, 40, 30}},
      {"inside: against the left edge, kept whole", 0, 0, 70, 40, 0, 40, {0, 10, 40, 30}},
      {"inside: against the bottom right", 0, 0, 70, 40, 470, 190, {60, 50, 40, 30}},
      {"outside: nothing grabbed", 0, 0, 5, 5, 60, 60, {20, 10, 40, 30}},
      // Panned by (15, 7.5) image pixels: the device rectangle is 70, 35, 150, 95.
      {"panned: east side", 30, 15, 150, 65, 170, 65, {20, 10, 50, 30}},
      {"panned: north-west corner", 30, 15, 70, 35, 50, 25, {10, 5, 50, 35}},
      {"panned: a move", 30, 15, 100, 60, 120, 40, {30, 0, 40, 30}},
  };
  for (const DragCase& c : cases) {
    auto view = MakeView(RoiAtZoom2());
    if (c.panX != 0 || c.panY != 0) {
      view->RightDown(200, 150);
      view->MouseMove(200 + c.panX, 150 + c.panY);
      view->RightUp();
    }
    view->LeftDown(c.fromX, c.fromY);
    view->MouseMove((c.fromX + c.toX) / 2, (c.fromY + c.toY) / 2);
    view->MouseMove(c.toX, c.toY);
    view->LeftUp(c.toX, c.toY);
    EXPECT_EQ(ToString(view->Roi()), ToString(c.expected)) << c.what;
  }
}

TEST(ShowViewTest, HandleUnderThePointerNamesTheCursor) {
  auto view = MakeView(RoiAtZoom2());
  EXPECT_EQ(view->HandleAt(40, 20), K_HANDLE_NORTH_WEST);
  EXPECT_EQ(view->HandleAt(123, 52), K_HANDLE_EAST);
  EXPECT_EQ(view->HandleAt(60, 79), K_HANDLE_SOUTH);  // an edge between handles
  EXPECT_EQ(view->HandleAt(70, 40), K_HANDLE_INSIDE);
  EXPECT_EQ(view->HandleAt(10, 10), K_HANDLE_NONE);
  EXPECT_EQ(view->HandleAt(80, kWindowHeight - 4), K_HANDLE_NONE);  // the status strip
}

// The image point under the window point (x, y), unrounded.
void PointUnder(const ShowView& view, int x, int y, float& px, float& py) {
  px = static_cast<float>(x) / view.Zoom() - view.PanX();
  py = static_cast<float>(y) / view.Zoom() - view.PanY();
}

TEST(ShowViewTest, WheelZoomsInStepsAroundTheCursor) {
  auto view = MakeView(RoiAtZoom2());
  float beforeX, beforeY, afterX, afterY;
  PointUnder(*view, 101, 61, beforeX, beforeY);
  const float steps[] = {3.0f, 4.0f, 6.0f};
  for (float step : steps) {
    view->Wheel(101, 61, 1);
    EXPECT_FLOAT_EQ(view->Zoom(), step);
    PointUnder(*view, 101, 61, afterX, afterY);
    EXPECT_NEAR(afterX, beforeX, 1e-3);
    EXPECT_NEAR(afterY, beforeY, 1e-3);
  }
  view->Wheel(101, 61, -4);
  EXPECT_FLOAT_EQ(view->Zoom(), 1.5f);
  PointUnder(*view, 101, 61, afterX, afterY);
  EXPECT_NEAR(afterX, beforeX, 1e-3);

  view->Wheel(10, 10, 100);
  EXPECT_FLOAT_EQ(view->Zoom(), ShowView::kMaxZoom);
  view->Wheel(10, 10, -100);
  EXPECT_FLOAT_EQ(view->Zoom(), ShowView::kMinZoom);

  // The keys zoom around the middle of the picture.
  PointUnder(*view, kWindowWidth / 2, (kWindowHeight - ShowView::kStatusHeight) / 2, beforeX, beforeY);
  view->Key(ShowKey::kZoomIn);
  EXPECT_FLOAT_EQ(view->Zoom(), 1.0f / 8);
  PointUnder(*view, kWindowWidth / 2, (kWindowHeight - ShowView::kStatusHeight) / 2, afterX, afterY);
  EXPECT_NEAR(afterX, beforeX, 1e-2);
  EXPECT_NEAR(afterY, beforeY, 1e-2);
}

TEST(ShowViewTest, PanFitAndTheirEffectOnDrags) {
  auto view = MakeView(RoiAtZoom2());
  view->RightDown(10, 10);
  view->MouseMove(50, 30);
  view->RightUp();
  EXPECT_FLOAT_EQ(view->PanX(), 20.0f);
  EXPECT_FLOAT_EQ(view->PanY(), 10.0f);
  view->Key(ShowKey::kPanLeft);  // an eighth of the picture's width: 60 device pixels
  view->Key(ShowKey::kPanUp);    // an eighth of its height: 25
  EXPECT_FLOAT_EQ(view->PanX(), 50.0f);
  EXPECT_FLOAT_EQ(view->PanY(), 22.5f);
  view->Key(ShowKey::kPanRight);
  view->Key(ShowKey::kPanDown);
  EXPECT_FLOAT_EQ(view->PanX(), 20.0f);
  EXPECT_FLOAT_EQ(view->PanY(), 10.0f);

  // Fit: 100 x 80 pixels into 480 x 200 is zoom 2.5, centred across.
  view->Key(ShowKey::kFit);
  EXPECT_FLOAT_EQ(view->Zoom(), 2.5f);
  EXPECT_FLOAT_EQ(view->PanX(), 46.0f);
  EXPECT_FLOAT_EQ(view->PanY(), 0.0f);
  // The east handle is now at device ((60 + 46) x 2.5, 25 x 2.5); dragging it 25 device pixels
  // right adds 10 image pixels.
  view->LeftDown(265, 63);
  view->LeftUp(290, 63);
  EXPECT_EQ(ToString(view->Roi()), ToString({20, 10, 50, 30}));
}

// Device pixels of the ROI's overlay at zoom 2 and pan (20, 10): the frame's box is 80, 40 to 159, 99.
bool NearTheFrame(int x, int y) { return x >= 74 && x <= 165 && y >= 34 && y <= 105; }

TEST(ShowViewTest, FrameShowsImageOverlayAndStatusWhereTheyBelong) {
  ViewOptions options = RoiAtZoom2();
  options.lut = true;
  options.gainOffsetGamma = {2.0f, -10.0f, 1.0f};
  options.mask = kvtool::MaskShape::kEllipse;
  auto view = MakeView(options);
  view->RightDown(0, 0);
  view->MouseMove(40, 20);
  view->RightUp();
  view->MouseMove(101, 61);  // image pixel (30, 20)
  ShowCanvas canvas;
  ASSERT_TRUE(canvas.Resize(kWindowWidth, kWindowHeight));
  ASSERT_TRUE(view->Draw(canvas.dc()));
  EXPECT_FALSE(view->Dirty());

  const int pictureHeight = kWindowHeight - ShowView::kStatusHeight;
  int checked = 0;
  for (int y = 0; y < pictureHeight; y += 3)
    for (int x = 0; x < kWindowWidth; x += 5) {
      if (NearTheFrame(x, y)) continue;
      const int ix = x / 2 - 20, iy = y / 2 - 10;
      std::uint32_t expected = 0x383838;  // the background around the image
      if (ix >= 0 && iy >= 0 && ix < 100 && iy < 80)
        expected = Gray(std::min(255, std::max(0, 2 * Pattern(ix, iy) - 10)));
      ASSERT_EQ(Rgb(canvas.dc(), x, y), expected) << x << ", " << y;
      ++checked;
    }
  EXPECT_GT(checked, 5000);

  EXPECT_EQ(Rgb(canvas.dc(), 100, 40), kRed);    // top line between handles
  EXPECT_EQ(Rgb(canvas.dc(), 80, 55), kRed);     // left line
  EXPECT_EQ(Rgb(canvas.dc(), 159, 90), kRed);    // right line, one device pixel inside the border
  EXPECT_EQ(Rgb(canvas.dc(), 79, 39), kWhite);   // inside the north-west handle
  EXPECT_EQ(Rgb(canvas.dc(), 120, 70), kGreen);  // the mask at the ROI's centre
  EXPECT_NE(Rgb(canvas.dc(), 84, 44), kGreen);   // the ellipse leaves the corners

  int text = 0;
  for (int y = pictureHeight; y < kWindowHeight; ++y)
    for (int x = 0; x < kWindowWidth; ++x) text += Rgb(canvas.dc(), x, y) == 0xEBEBEB;
  EXPECT_GT(text, 200);
  EXPECT_EQ(view->StatusLine(),
            "(30, 20) = " + std::to_string(Pattern(30, 20)) + "   zoom 2   roi 20 10 40 30   mask ellipse   lut");
}

TEST(ShowViewTest, RedrawsOnlyWhenSomethingShownChanged) {
  auto view = MakeView(RoiAtZoom2());
  ShowCanvas canvas;
  ASSERT_TRUE(canvas.Resize(kWindowWidth, kWindowHeight));
  EXPECT_TRUE(view->Dirty());
  view->Draw(canvas.dc());
  view->MouseMove(101, 61);
  EXPECT_TRUE(view->Dirty()) << "a new pixel under the pointer";
  view->Draw(canvas.dc());
  view->MouseMove(100, 60);
  EXPECT_FALSE(view->Dirty()) << "the same image pixel";
  view->MouseMove(120, 50);
  view->Draw(canvas.dc());
  view->LeftDown(120, 50);
  EXPECT_FALSE(view->Dirty()) << "a press alone";
  view->MouseMove(121, 50);
  EXPECT_FALSE(view->Dirty()) << "the east side held within its column";
  view->MouseMove(124, 50);
  EXPECT_TRUE(view->Dirty()) << "the ROI grew";
  view->LeftUp(124, 50);
  view->Draw(canvas.dc());
  view->Resize(kWindowWidth, kWindowHeight);
  EXPECT_FALSE(view->Dirty());
  view->Resize(kWindowWidth + 1, kWindowHeight);
  EXPECT_TRUE(view->Dirty());
}

TEST(ShowViewTest, MaskKeyCyclesNoneRectangleEllipseRing) {
  auto view = MakeView(RoiAtZoom2());
  ShowCanvas canvas;
  ASSERT_TRUE(canvas.Resize(kWindowWidth, kWindowHeight));
  // Device points at zoom 2 of image pixels (40, 25), the ROI's centre; (22, 12), just inside its
  // corner; (55, 25), in the band of a ring of ratio 0.5.
  struct Step {
    kvtool::MaskShape mask;
    bool centre, corner, band;
  } steps[] = {
      {kvtool::MaskShape::kRectangle, true, true, true},
      {kvtool::MaskShape::kEllipse, true, false, true},
      {kvtool::MaskShape::kRing, false, false, true},
      {kvtool::MaskShape::kNone, false, false, false},
  };
  for (const Step& s : steps) {
    view->Key(ShowKey::kCycleMask);
    EXPECT_EQ(view->Mask(), s.mask);
    view->Draw(canvas.dc());
    const char* name = kvtool::MaskShapeName(s.mask);
    EXPECT_EQ(Rgb(canvas.dc(), 81, 51) == kGreen, s.centre) << name;
    EXPECT_EQ(Rgb(canvas.dc(), 45, 25) == kGreen, s.corner) << name;
    EXPECT_EQ(Rgb(canvas.dc(), 111, 51) == kGreen, s.band) << name;
  }
  // The mask follows the ROI as it is resized.
  view->Key(ShowKey::kCycleMask);
  view->LeftDown(120, 80);
  view->LeftUp(160, 100);
  view->Draw(canvas.dc());
  EXPECT_EQ(Rgb(canvas.dc(), 150, 90), kGreen);  // image pixel (75, 45), outside the old ROI
}

TEST(ShowViewTest, LookupTableKeyAndKindsOfPixels) {
  // Without --lut the key stretches the image's gray range; the pattern of 100 x 80 covers 0 to 255
  // already, so the table is the identity there.
  auto gray = MakeView(RoiAtZoom2());
  EXPECT_FALSE(gray->LutOn());
  gray->Key(ShowKey::kToggleLut);
  EXPECT_TRUE(gray->LutOn());

  const unsigned p = Pattern(3, 2);
  constexpr std::uint32_t kUnchecked = 0xFFFFFFFF;  // 5- and 6-bit colours widen as the device likes
  struct Kind {
    const KPixelKind& kind;
    std::string value;    // the status line's value of pixel (3, 2)
    std::uint32_t shown;  // its colour on screen, through the table 1, 100, 1 for BW8
  } kinds[] = {
      {K_PIXEL_KIND_BW1, "0", 0},
      {K_PIXEL_KIND_BW8, std::to_string(p), Gray(p + 100)},
      {K_PIXEL_KIND_BW16, std::to_string(p << 8 | 0x55), Gray(p)},
      {K_PIXEL_KIND_C15, std::to_string(p >> 3) + ",3,2", kUnchecked},
      {K_PIXEL_KIND_C16, std::to_string(p >> 3) + ",3,2", kUnchecked},
      {K_PIXEL_KIND_C24, std::to_string(p) + ",3,2", p << 16 | 3 << 8 | 2},
  };
  for (const Kind& k : kinds) {
    ViewOptions options;
    options.lut = true;
    options.gainOffsetGamma = {1.0f, 100.0f, 1.0f};
    auto view = MakeView(options, k.kind);
    EXPECT_EQ(ToString(view->Roi()), ToString({25, 20, 50, 40})) << "the middle half";
    EXPECT_EQ(view->LutOn(), k.kind.type == K_IMAGE_BW8) << k.kind.name;
    view->MouseMove(3, 2);
    EXPECT_EQ(view->StatusLine().rfind("(3, 2) = " + k.value + " ", 0), 0u) << view->StatusLine();
    ShowCanvas canvas;
    ASSERT_TRUE(canvas.Resize(kWindowWidth, kWindowHeight));
    ASSERT_TRUE(view->Draw(canvas.dc())) << k.kind.name;
    if (k.shown != kUnchecked) {
      EXPECT_EQ(Rgb(canvas.dc(), 3, 2), k.shown) << k.kind.name;
    }
    if (k.kind.type != K_IMAGE_BW8) {
      view->Key(ShowKey::kToggleLut);
      EXPECT_FALSE(view->LutOn());
      EXPECT_NE(view->StatusLine().find("BW8 images only"), std::string::npos);
    }
  }
}

TEST(ShowViewTest, SaveWritesTheViewAndSaysSo) {
  KTempDir dir;
  auto view = MakeView(RoiAtZoom2(), K_PIXEL_KIND_BW8, dir.Path("scene.bmp"));
  view->Key(ShowKey::kSave);
  EXPECT_EQ(view->SavePath(), dir.Path("scene.bmp.view.bmp"));
  EXPECT_NE(view->StatusLine().find("wrote " + dir.Path("scene.bmp.view.bmp")), std::string::npos)
      << view->StatusLine();
  KImageC24 saved;
  short format;
  ASSERT_EQ(KLoadImage(&saved, view->SavePath().c_str(), format), K_SUCCESS);
  EXPECT_EQ(saved.GetWidth(), kWindowWidth);
  EXPECT_EQ(saved.GetHeight(), kWindowHeight);
  const KC24 frame = saved.GetPixel(60, 20), image = saved.GetPixel(11, 5);
  EXPECT_EQ((frame.byte2 << 16) | (frame.byte1 << 8) | frame.byte0, kRed);
  EXPECT_EQ((image.byte2 << 16) | (image.byte1 << 8) | image.byte0, Gray(Pattern(5, 2)));

  auto nowhere = MakeView(RoiAtZoom2(), K_PIXEL_KIND_BW8, dir.Path("missing/scene.bmp"));
  nowhere->Key(ShowKey::kSave);
  EXPECT_NE(nowhere->StatusLine().find("could not write"), std::string::npos) << nowhere->StatusLine();
  EXPECT_EQ(KGetError(), K_SUCCESS);
}

TEST(ShowViewTest, RoiLineAndQuit) {
  auto view = MakeView(RoiAtZoom2());
  EXPECT_EQ(view->RoiLine(), "roi 20 10 40 30");
  EXPECT_FALSE(view->QuitAsked());
  view->Key(ShowKey::kQuit);
  EXPECT_TRUE(view->QuitAsked());

  ViewOptions across = RoiAtZoom2();
  across.roiX = 90;  // across the image's corner: clipped to it
  across.roiY = 70;
  EXPECT_EQ(MakeView(across)->RoiLine(), "roi 90 70 10 10");
}

TEST(ShowViewTest, PreferredSizeOfAHugeZoomedImageStaysAnInt) {
  ViewOptions options;
  options.zoomX = 64.0f;
  auto image = std::make_unique<kvtool::AnyImage>(K_PIXEL_KIND_BW8);
  image->Generic().SetSize(40000000, 1);  // 2.56e9 device pixels wide at zoom 64
  ASSERT_EQ(image->Generic().GetWidth(), 40000000);
  const ShowView view(std::move(image), "long.bmp", options);
  int width = 0, height = 0;
  view.PreferredSize(width, height);
  EXPECT_EQ(width, INT_MAX);
  EXPECT_EQ(height, 64 + ShowView::kStatusHeight);
}

}  // namespace
