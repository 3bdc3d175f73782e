#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvbase/display/image_drawing.h"
#include "kvbase/image/image.h"
#include "kvbase/platform/gdi.h"
#include "kvbase/platform/internal/gdi_test_support.h"
#include "kvbase/testing/trace_capture.h"

namespace {

using Names = std::vector<std::string>;

constexpr COLORREF kBlack = RGB(0, 0, 0);

struct Canvas {
  explicit Canvas(int width = 80, int height = 40) : dc(KCreateMemoryDC(width, height, 32)) {
    SelectObject(dc, GetStockObject(WHITE_PEN));
  }
  ~Canvas() { DeleteDC(dc); }
  HDC dc;
};

// The plain Draw members of an image and an ROI of pixel type T refuse the type.
template <typename T>
void ExpectRefusal(const char* imageTrace, const char* roiTrace) {
  KTraceCapture trace;
  Canvas canvas;
  KImage<T> image(4, 4);
  KROI<T> roi(&image, 0, 0, 2, 2);
  image.Draw(canvas.dc, 1.0f, 1.0f);
  roi.Draw(canvas.dc, 1.0f, 1.0f);
  EXPECT_EQ(KGetError(), K_ERROR_UNSUPPORTED_IMAGE_TYPE);
  EXPECT_EQ(trace.Names(), (Names{imageTrace, roiTrace}));
  EXPECT_EQ(kvgdi_test::FindInk(canvas.dc, kBlack).count, 0);
}

// The lookup-table Draw members of every type but BW8 refuse the type.
template <typename T>
void ExpectLookupRefusal() {
  KTraceCapture trace;
  Canvas canvas;
  KImage<T> image(4, 4);
  KROI<T> roi(&image, 0, 0, 2, 2);
  KBW8Vector gray;
  gray.SetupThreshold(1, 0, 255);
  KC24Vector colours(256);
  image.Draw(canvas.dc, &gray, 1.0f, 1.0f);
  image.Draw(canvas.dc, &colours, 1.0f, 1.0f);
  roi.Draw(canvas.dc, &gray, 1.0f, 1.0f);
  roi.Draw(canvas.dc, &colours, 1.0f, 1.0f);
  EXPECT_EQ(KGetError(), K_ERROR_UNSUPPORTED_IMAGE_TYPE);
  EXPECT_EQ(trace.Names(), (Names{"KImage::Draw", "KImage::Draw", "KROI::Draw", "KROI::Draw"}));
  EXPECT_EQ(kvgdi_test::FindInk(canvas.dc, kBlack).count, 0);
}

TEST(ImageDrawMembers, TypesThatAreNeverDrawn) {
  ExpectRefusal<unsigned int>("KImage::Draw (BW32)", "KROI::Draw (BW32)");
  ExpectRefusal<KSubPixel64>("KImage::Draw (SubPixel64)", "KROI::Draw (SubPixel64)");
  ExpectRefusal<KComplex64>("KImage::Draw (Complex64)", "KROI::Draw (Complex64)");
  ExpectLookupRefusal<int>();
  ExpectLookupRefusal<unsigned short>();
  ExpectLookupRefusal<unsigned int>();
  ExpectLookupRefusal<KC15>();
  ExpectLookupRefusal<KC16>();
  ExpectLookupRefusal<KC24>();
  ExpectLookupRefusal<KC24A>();
  ExpectLookupRefusal<KSubPixel64>();
  ExpectLookupRefusal<KComplex64>();
}

TEST(ImageDrawMembers, DrawForwardsToTheOverloadOfTheType) {
  Canvas canvas;
  KImageC16 image(3, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) image.SetPixel(KC16{0xF800}, x, y);  // red
  KROIC16 roi(&image, 1, 1, 2, 1);
  image.Draw(canvas.dc, 2.0f, 0.0f);
  kvgdi_test::Ink ink = kvgdi_test::FindInk(canvas.dc, kBlack);
  EXPECT_EQ(ink.count, 24);
  EXPECT_EQ(GetPixel(canvas.dc, 5, 3), RGB(255, 0, 0));
  Canvas other;
  roi.Draw(other.dc, 1.0f, 3.0f);
  ink = kvgdi_test::FindInk(other.dc, kBlack);
  EXPECT_EQ(ink.box.right, 1);
  EXPECT_EQ(ink.box.bottom, 2);

  KImageBW8 gray(2, 2);
  gray.SetPixel(10, 0, 0);
  KBW8Vector table;
  table.SetupThreshold(5, 0, 200);
  Canvas third;
  gray.Draw(third.dc, &table, 1.0f, 1.0f);
  EXPECT_EQ(GetPixel(third.dc, 0, 0), RGB(200, 200, 200));
}

TEST(ImageDrawMembers, NothingAtAllWithoutPixels) {
  KTraceCapture trace;
  Canvas canvas;
  KImageBW8 never;
  KROIC24 orphan;
  KSetError(K_ERROR_INVALID_MODE);
  never.Draw(canvas.dc, 1.0f, 1.0f);
  orphan.Draw(canvas.dc, 1.0f, 1.0f);
  KBW8Vector table;
  never.Draw(canvas.dc, &table, 1.0f, 1.0f);
  EXPECT_EQ(KGetError(), K_ERROR_INVALID_MODE) << "left as it was";
  EXPECT_TRUE(trace.Names().empty());
}

TEST(ImageDrawMembers, AFailedOverloadTracesTwice) {
  KTraceCapture trace;
  Canvas canvas;
  KImageBW8 image(4, 4);
  KROIBW8 roi(&image, 1, 1, 2, 2);
  KBW8Vector table(10);
  KC24Vector colours(10);
  image.Draw(canvas.dc, &table, 1.0f, 1.0f);
  image.Draw(canvas.dc, &colours, 1.0f, 1.0f);
  roi.Draw(canvas.dc, &table, 1.0f, 1.0f);
  roi.Draw(canvas.dc, &colours, 1.0f, 1.0f);
  EXPECT_EQ(KGetError(), K_ERROR_INVALID_NUMBER_OF_VECTOR_ELEMENTS);
  EXPECT_EQ(trace.Names(), (Names{"KDrawImageInWindow (BW8 Image)", "KImageBW8::Draw (Gray Scale)",
                                  "KDrawImageInWindow (BW8 Image)", "KImageBW8::Draw (Color Scale)",
                                  "KDrawImageInWindow (BW8 ROI)", "KROIBW8::Draw (Gray Scale)",
                                  "KDrawImageInWindow (BW8 ROI)", "KROIBW8::Draw (Color Scale)"}));
}

TEST(ImageDrawMasks, RunsLandAtTheRootCoordinatesZoomedAndPanned) {
  KImageBW8 image(100, 60);
  KROIBW8 roi(&image, 10, 0, 50, 50);
  roi.SetRectangleMask(3, 5, 4, 1);  // one run of 4 at column 3, row 5
  struct Case {
    float zoomX, zoomY, panX, panY;
    RECT box;  // inclusive device pixels painted
  } cases[] = {
      {2.0f, 0.0f, 0.0f, 0.0f, {26, 10, 33, 11}},
      {1.0f, 1.0f, 0.0f, 0.0f, {13, 5, 16, 5}},
      {1.0f, 0.0f, 5.0f, 3.0f, {18, 8, 21, 8}},
      {0.5f, 0.0f, 0.0f, 0.0f, {6, 2, 7, 2}},
      {1.5f, 0.0f, 0.0f, 0.0f, {19, 7, 24, 8}},
  };
  for (const Case& c : cases) {
    Canvas canvas;
    roi.DrawMask(canvas.dc, c.zoomX, c.zoomY, c.panX, c.panY);
    const kvgdi_test::Ink ink = kvgdi_test::FindInk(canvas.dc, kBlack);
    EXPECT_EQ(ink.box.left, c.box.left) << c.zoomX << " pan " << c.panX;
    EXPECT_EQ(ink.box.top, c.box.top) << c.zoomX << " pan " << c.panX;
    EXPECT_EQ(ink.box.right, c.box.right) << c.zoomX << " pan " << c.panX;
    EXPECT_EQ(ink.box.bottom, c.box.bottom) << c.zoomX << " pan " << c.panX;
    EXPECT_EQ(ink.count, (c.box.right - c.box.left + 1) * (c.box.bottom - c.box.top + 1));
  }
}

TEST(ImageDrawMasks, PanRoundsDownAndEveryPixelTypeMeasuresItsRuns) {
  KImageBW8 image(20, 10);
  image.SetRectangleMask(0, 2, 3, 1);
  Canvas canvas;
  SetViewportOrgEx(canvas.dc, 5, 0, nullptr);  // so that device column -1 can be seen
  KSetError(K_ERROR_INVALID_MODE);
  image.DrawMask(canvas.dc, 1.0f, 1.0f, -0.5f, 0.0f);
  EXPECT_EQ(KGetError(), K_ERROR_INVALID_MODE) << "DrawMask reports nothing";
  SetViewportOrgEx(canvas.dc, 0, 0, nullptr);
  kvgdi_test::Ink ink = kvgdi_test::FindInk(canvas.dc, kBlack);
  EXPECT_EQ(ink.box.left, 4);
  EXPECT_EQ(ink.box.right, 6);  // columns -1 to 1: floor(-0.5) to floor(2.5) - 1

  // A run of 4 pixels is 4 device pixels whatever the pixel size, also for types Draw refuses.
  auto check = [](auto& typed, const char* what) {
    typed.SetRectangleMask(1, 1, 4, 2);
    Canvas c;
    typed.DrawMask(c.dc, 1.0f, 0.0f, 0.0f, 0.0f);
    const kvgdi_test::Ink i = kvgdi_test::FindInk(c.dc, kBlack);
    EXPECT_EQ(i.count, 8) << what;
    EXPECT_EQ(i.box.left, 1) << what;
    EXPECT_EQ(i.box.right, 4) << what;
  };
  KImageBW16 bw16(8, 4);
  KImageC24 c24(8, 4);
  KImageBW32 bw32(8, 4);
  KImageComplex64 complex(8, 4);
  KImageC24A c24a(8, 4);
  check(bw16, "BW16");
  check(c24, "C24");
  check(bw32, "BW32");
  check(complex, "Complex64");
  check(c24a, "C24A");
  KImageC24 offsets(8, 4);
  offsets.SetMaskOffsets(1);
  check(offsets, "C24 with offsets");
}

}  // namespace
