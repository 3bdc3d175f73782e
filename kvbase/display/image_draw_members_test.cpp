#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvbase/display/image_drawing.h"
#include "kvbase/image/image.h"
#include "kvbase/platform/gdi.h"
#include "kvbase/testing/gdi_test_support.h"
#include "kvbase/testing/trace_capture.h"

namespace {

using namespace kvgdi_test;
using Names = std::vector<std::string>;

// Draw members of an image and an ROI of pixel type T: the lookup-table ones refuse every type but
// BW8, the plain ones refuse the types with a `suffix` ("KImage::Draw (<suffix>)").
template <typename T>
void ExpectRefused(const char* suffix = nullptr) {
  KTraceCapture trace;
  PenCanvas canvas(80, 40);
  KImage<T> image(4, 4);
  KROI<T> roi(&image, 0, 0, 2, 2);
  KBW8Vector gray;
  gray.SetupThreshold(1, 0, 255);
  KC24Vector colours(256);
  Names expected;
  if (suffix != nullptr) {
    image.Draw(canvas.dc, 1.0f, 1.0f);
    roi.Draw(canvas.dc, 1.0f, 1.0f);
    expected = {std::string("KImage::Draw (") + suffix + ")", std::string("KROI::Draw (") + suffix + ")"};
  }
  image.Draw(canvas.dc, &gray, 1.0f, 1.0f);
  image.Draw(canvas.dc, &colours, 1.0f, 1.0f);
  roi.Draw(canvas.dc, &gray, 1.0f, 1.0f);
  roi.Draw(canvas.dc, &colours, 1.0f, 1.0f);
  expected.insert(expected.end(), {"KImage::Draw", "KImage::Draw", "KROI::Draw", "KROI::Draw"});
  EXPECT_EQ(KGetError(), K_ERROR_UNSUPPORTED_IMAGE_TYPE);
  EXPECT_EQ(trace.Names(), expected);
  EXPECT_EQ(FindInk(canvas.dc).count, 0);
}

TEST(ImageDrawMembers, TypesThatAreNeverDrawn) {
  ExpectRefused<unsigned int>("BW32");
  ExpectRefused<KSubPixel64>("SubPixel64");
  ExpectRefused<KComplex64>("Complex64");
  ExpectRefused<int>();
  ExpectRefused<unsigned short>();
  ExpectRefused<KC15>();
  ExpectRefused<KC16>();
  ExpectRefused<KC24>();
  ExpectRefused<KC24A>();
}

TEST(ImageDrawMembers, DrawForwardsToTheOverloadOfTheType) {
  PenCanvas image(80, 40), roi(80, 40), table(80, 40);
  KImageC16 red(3, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) red.SetPixel(KC16{0xF800}, x, y);
  red.Draw(image.dc, 2.0f, 0.0f);
  EXPECT_EQ(FindInk(image.dc).Text(), "24: 0,0..5,3") << "zoomY 0 is zoomX";
  EXPECT_EQ(GetPixel(image.dc, 5, 3), RGB(255, 0, 0));
  KROIC16 part(&red, 1, 1, 2, 1);
  part.Draw(roi.dc, 1.0f, 3.0f);
  EXPECT_EQ(FindInk(roi.dc).Text(), "6: 0,0..1,2");

  KImageBW8 gray(2, 2);
  gray.SetPixel(10, 0, 0);
  KBW8Vector threshold;
  threshold.SetupThreshold(5, 0, 200);
  gray.Draw(table.dc, &threshold, 1.0f, 1.0f);
  EXPECT_EQ(GetPixel(table.dc, 0, 0), RGB(200, 200, 200));
}

TEST(ImageDrawMembers, NothingAtAllWithoutPixelsAndAFailedOverloadTracesTwice) {
  KTraceCapture trace;
  PenCanvas canvas(80, 40);
  KImageBW8 never;
  KROIC24 orphan;
  KBW8Vector table(10);
  KC24Vector colours(10);
  KSetError(K_ERROR_INVALID_MODE);
  never.Draw(canvas.dc, 1.0f, 1.0f);
  orphan.Draw(canvas.dc, 1.0f, 1.0f);
  never.Draw(canvas.dc, &table, 1.0f, 1.0f);
  EXPECT_EQ(KGetError(), K_ERROR_INVALID_MODE) << "left as it was";
  EXPECT_TRUE(trace.Names().empty());

  KImageBW8 image(4, 4);
  KROIBW8 roi(&image, 1, 1, 2, 2);
  image.Draw(canvas.dc, &table, 1.0f, 1.0f);
  image.Draw(canvas.dc, &colours, 1.0f, 1.0f);
  roi.Draw(canvas.dc, &table, 1.0f, 1.0f);
  roi.Draw(canvas.dc, &colours, 1.0f, 1.0f);
  EXPECT_EQ(KGetError(), K_ERROR_INVALID_NUMBER_OF_VECTOR_ELEMENTS);
  EXPECT_EQ(trace.Names(),
            (Names{"KDrawImageInWindow (BW8 Image)", "KImageBW8::Draw (Gray Scale)", "KDrawImageInWindow (BW8 Image)",
                   "KImageBW8::Draw (Color Scale)", "KDrawImageInWindow (BW8 ROI)", "KROIBW8::Draw (Gray Scale)",
                   "KDrawImageInWindow (BW8 ROI)", "KROIBW8::Draw (Color Scale)"}));
}

TEST(ImageDrawMasks, RunsLandAtTheRootCoordinatesZoomedAndPanned) {
  KImageBW8 image(100, 60);
  KROIBW8 roi(&image, 10, 0, 50, 50);
  roi.SetRectangleMask(3, 5, 4, 1);  // one run of 4 at column 3, row 5
  struct Case {
    float zoomX, zoomY, panX, panY;
    const char* ink;
  } cases[] = {
      {2.0f, 0.0f, 0.0f, 0.0f, "16: 26,10..33,11"}, {1.0f, 1.0f, 0.0f, 0.0f, "4: 13,5..16,5"},
      {1.0f, 0.0f, 5.0f, 3.0f, "4: 18,8..21,8"},    {0.5f, 0.0f, 0.0f, 0.0f, "2: 6,2..7,2"},
      {1.5f, 0.0f, 0.0f, 0.0f, "12: 19,7..24,8"},
  };
  for (const Case& c : cases) {
    PenCanvas canvas(80, 40);
    roi.DrawMask(canvas.dc, c.zoomX, c.zoomY, c.panX, c.panY);
    EXPECT_EQ(FindInk(canvas.dc).Text(), c.ink) << c.zoomX << " pan " << c.panX;
  }
}

TEST(ImageDrawMasks, HugeZoomsPaintOnlyTheRowsTheDeviceHas) {
  KImageBW8 image(4, 4);
  image.SetRectangleMask(0, 0, 1, 1);  // one pixel, blown up past the int range
  PenCanvas canvas(80, 40);
  SetViewportOrgEx(canvas.dc, 0, 10, nullptr);
  image.DrawMask(canvas.dc, 1e20f, 0.0f, 0.0f, 0.0f);
  SetViewportOrgEx(canvas.dc, 0, 0, nullptr);
  EXPECT_EQ(FindInk(canvas.dc).Text(), "2400: 0,10..79,39");
}

// A run of 4 pixels is 4 device pixels whatever the pixel size, also for types Draw refuses.
template <typename T>
void ExpectRunOfFour(KImage<T>&& image, const char* what) {
  image.SetRectangleMask(1, 1, 4, 2);
  PenCanvas canvas(80, 40);
  image.DrawMask(canvas.dc, 1.0f, 0.0f, 0.0f, 0.0f);
  EXPECT_EQ(FindInk(canvas.dc).Text(), "8: 1,1..4,2") << what;
}

TEST(ImageDrawMasks, PanRoundsDownAndEveryPixelTypeMeasuresItsRuns) {
  KImageBW8 image(20, 10);
  image.SetRectangleMask(0, 2, 3, 1);
  PenCanvas canvas(80, 40);
  SetViewportOrgEx(canvas.dc, 5, 0, nullptr);  // so that device column -1 can be seen
  KSetError(K_ERROR_INVALID_MODE);
  image.DrawMask(canvas.dc, 1.0f, 1.0f, -0.5f, 0.0f);
  EXPECT_EQ(KGetError(), K_ERROR_INVALID_MODE) << "DrawMask reports nothing";
  SetViewportOrgEx(canvas.dc, 0, 0, nullptr);
  // Columns -1 to 1: floor(-0.5) to floor(2.5) - 1.
  EXPECT_EQ(FindInk(canvas.dc).Box(), "4,2..6,2");

  ExpectRunOfFour(KImageBW16(8, 4), "BW16");
  ExpectRunOfFour(KImageC24(8, 4), "C24");
  ExpectRunOfFour(KImageBW32(8, 4), "BW32");
  ExpectRunOfFour(KImageComplex64(8, 4), "Complex64");
  ExpectRunOfFour(KImageC24A(8, 4), "C24A");
  KImageC24 offsets(8, 4);
  offsets.SetMaskOffsets(1);
  ExpectRunOfFour(std::move(offsets), "C24 with offsets");
}

}  // namespace
