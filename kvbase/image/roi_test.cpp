#include "kvbase/image/roi.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <utility>

#include "kvbase/image/image.h"
#include "kvbase/testing/trace_capture.h"

namespace {

using Names = std::vector<std::string>;

// Origin and size: x, y, width, height.
using Placement = std::array<int, 4>;

Placement PlacementOf(const KGenericROI& r) { return {r.GetOrgX(), r.GetOrgY(), r.GetWidth(), r.GetHeight()}; }

TEST(ROI, ConstructorKeepsTheROIInsideItsParent) {
  KImageBW8 image(100, 50);
  KROIBW8 roi(&image, 90, 10, 30, 30);
  EXPECT_EQ(PlacementOf(roi), (Placement{90, 10, 10, 30}));
  // A negative origin would reach outside the image's buffer: the part outside is cut off.
  KROIBW8 hanging(&image, -5, -8, 20, 20);
  EXPECT_EQ(PlacementOf(hanging), (Placement{0, 0, 15, 12}));
  KROIBW8 loose(nullptr, -5, 3, 20, 20);  // without a parent nothing is reachable: only the cut applies
  EXPECT_EQ(PlacementOf(loose), (Placement{0, 3, 15, 20}));
  EXPECT_EQ(roi.GetColorSystem(), K_COLOR_SYSTEM_GRAY);
}

TEST(ROI, PlacementSettersClipAndReport) {
  KTraceCapture trace;
  KImageBW8 image(100, 50);
  KROIBW8 roi(&image, 10, 10, 20, 20);
  struct Step {
    const char* what;
    void (*apply)(KROIBW8&);
    Placement after;
    K_ERRORS error;
    Names traces;
  } steps[] = {
      // clang-format off
      {"cut on the left", [](KROIBW8& r) { r.SetOrgX(-5); }, {0, 10, 15, 20}, K_SUCCESS, {}},
      {"wholly left", [](KROIBW8& r) { r.SetOrgX(-25); }, {0, 0, 100, 50}, K_ERROR_ROI_OUT_OF_PARENT,
       {"KROI::SetOrgX"}},
      {"clipped on the right", [](KROIBW8& r) { r.SetPlacement(95, 40, 10, 20); }, {95, 40, 5, 10}, K_SUCCESS, {}},
      {"past the right edge", [](KROIBW8& r) { r.SetOrgX(120); }, {0, 0, 100, 50}, K_ERROR_ROI_OUT_OF_PARENT,
       {"KROI::SetWidth"}},
      {"negative corner", [](KROIBW8& r) { r.SetPlacement(-10, -10, 30, 30); }, {0, 0, 20, 20}, K_SUCCESS, {}},
      {"cut at the top", [](KROIBW8& r) { r.SetOrgY(-5); }, {0, 0, 20, 15}, K_SUCCESS, {}},
      {"negative width", [](KROIBW8& r) { r.SetWidth(-1); }, {0, 0, 20, 15}, K_ERROR_PARAMETER_1_OUT_OF_RANGE,
       {"KROI::SetWidth"}},
      {"negative left over", [](KROIBW8& r) { r.SetPlacement(0, -30, 5, 20); }, {0, 0, 5, 15},
       K_ERROR_PARAMETER_1_OUT_OF_RANGE, {"KROI::SetHeight"}},
      {"wholly above", [](KROIBW8& r) { r.SetOrgY(-21); }, {0, 0, 100, 50}, K_ERROR_ROI_OUT_OF_PARENT,
       {"KROI::SetOrgY"}},
      {"below the bottom", [](KROIBW8& r) { r.SetPlacement(3, 60, 5, 5); }, {0, 0, 100, 50},
       K_ERROR_ROI_OUT_OF_PARENT, {"KROI::SetHeight"}},
      // clang-format on
  };
  for (const Step& s : steps) {
    KOk();
    trace.Clear();
    s.apply(roi);
    EXPECT_EQ(PlacementOf(roi), s.after) << s.what;
    EXPECT_EQ(KGetError(), s.error) << s.what;
    EXPECT_EQ(trace.Names(), s.traces) << s.what;
  }

  // An image refuses origin setters and attachment. Its IsAnROI traces its own name while a failure is
  // pending, so each refusal after the first shows that box too.
  KOk();
  trace.Clear();
  image.SetOrgX(3);
  image.SetOrgY(3);
  image.Detach();
  KImageBW8 other(5, 5);
  image.Attach(&other);
  EXPECT_EQ(KGetError(), K_ERROR_CANNOT_APPLY_TO_IMAGE);
  EXPECT_EQ(trace.Names(), (Names{"KROI::SetOrgX", "KImage::IsAnROI", "KROI::SetOrgY", "KImage::IsAnROI",
                                  "KROI::Detach", "KROI::Attach"}));
  EXPECT_EQ(PlacementOf(image), (Placement{0, 0, 100, 50}));
}

TEST(ROI, ShrinkingReclipsEveryDescendant) {
  KTraceCapture trace;
  KImageBW8 image(100, 100);
  KROIBW8 roi(&image, 50, 0, 40, 40);
  KROIBW8 child(&roi, 5, 0, 30, 10);
  KROIBW8 grandchild(&child, 2, 0, 20, 5);
  KROIBW8 outside(&roi, 20, 0, 10, 10);
  image.SetSize(60, 100);
  EXPECT_EQ(roi.GetWidth(), 10);
  EXPECT_EQ(child.GetWidth(), 5);
  EXPECT_EQ(grandchild.GetWidth(), 3);
  // A child whose origin now lies beyond its parent is reset to the whole parent.
  EXPECT_EQ(PlacementOf(outside), (Placement{0, 0, 10, 40}));
  EXPECT_EQ(KGetError(), K_ERROR_ROI_OUT_OF_PARENT);
  EXPECT_EQ(trace.Names(), (Names{"KROI::SetWidth"}));
}

TEST(ROI, AttachmentOrderAndRefusals) {
  KTraceCapture trace;
  KImageBW8 image(10, 10), other(10, 10);
  KROIBW8 a, b, c;
  a.Attach(&image);
  b.Attach(&image);
  a.Attach(&other);
  EXPECT_EQ(KGetError(), K_ERROR_ROI_HAS_PARENT);
  image.SetColorSystem(K_COLOR_SYSTEM_RGB);
  c.Attach(&image);
  EXPECT_EQ(c.GetColorSystem(), K_COLOR_SYSTEM_RGB);  // copied from the parent
  EXPECT_EQ(image.GetFirstSubROI(), &a);
  EXPECT_EQ(a.GetNextSiblingROI(), &b);
  EXPECT_EQ(b.GetNextSiblingROI(), &c);

  b.Detach();
  EXPECT_EQ(a.GetNextSiblingROI(), &c);
  EXPECT_EQ(b.GetParent(), nullptr);
  KROIBW8 d(&other, 0, 0, 1, 1);
  b.Attach(&other);
  EXPECT_EQ(d.GetNextSiblingROI(), &b);  // appended after the existing child

  // Loops are refused: an ROI cannot become its own ancestor.
  KROIBW8 top, middle, bottom;
  middle.Attach(&top);
  bottom.Attach(&middle);
  top.Attach(&bottom);
  EXPECT_EQ(KGetError(), K_ERROR_INVALID_OPERATION);
  top.Attach(&top);
  EXPECT_EQ(KGetError(), K_ERROR_INVALID_OPERATION);
  EXPECT_EQ(top.GetParent(), nullptr);
  EXPECT_EQ(trace.Names(), (Names{"KROI::Attach", "KROI::Attach", "KROI::Attach"}));
}

TEST(ROI, DestroyingAParentLeavesChildrenDetached) {
  KTraceCapture trace;
  KROIC16 a, b;
  {
    KImageC16 image(20, 20);
    a.Attach(&image);
    b.Attach(&image);
  }
  KImageBW8 image(50, 50);
  KROIBW8* parent = new KROIBW8(&image, 10, 10, 20, 20);
  KROIBW8 first(parent, 3, 4, 5, 5), second(parent, 6, 7, 5, 5);
  delete parent;
  for (KGenericROI* child : std::vector<KGenericROI*>{&a, &b, &first, &second}) {
    EXPECT_EQ(child->GetParent(), nullptr);
    EXPECT_EQ(child->GetNextSiblingROI(), nullptr);
  }
  EXPECT_EQ(PlacementOf(second), (Placement{6, 7, 5, 5}));
  EXPECT_EQ(image.GetFirstSubROI(), nullptr);
  EXPECT_TRUE(trace.Boxes().empty());
}

TEST(ROI, AddressesAndPitchesThroughTheParents) {
  KImageBW8 image(16, 8);  // 128 bits per row
  KROIBW8 roi(&image, 3, 2, 10, 4);
  unsigned char* base = image.GetImagePtr(0, 0);
  EXPECT_EQ(roi.GetImagePtr(0, 0), base + 2 * 16 + 3);
  KROIBW8 inner(&roi, 1, 1, 2, 2);
  EXPECT_EQ(inner.GetImagePtr(1, 0), base + 3 * 16 + 5);
  EXPECT_EQ(roi.GetSkip(), 6);
  EXPECT_EQ(roi.GetRowPitch(), 16);
  EXPECT_EQ(roi.GetImgPitch(), 64);

  KImageC24 colour(5, 5);  // 16 bytes per row
  KROIC24 colourRoi(&colour, 1, 1, 2, 2);
  EXPECT_EQ(colourRoi.GetSkip(), 10);
  EXPECT_EQ(KROIBW1().GetBitIndex(3, 3), 0u);  // no parent
}

TEST(ROI, UnattachedROIReachesNothingAndReports) {
  KTraceCapture trace;
  KROIBW8 loose;
  EXPECT_EQ(loose.Void(), 1);
  EXPECT_EQ(loose.GetPixel(0, 0), 0);  // no crash without pixels
  loose.SetPixel(3, 0, 0);
  EXPECT_TRUE(trace.Boxes().empty());
  loose.NotVoid();
  EXPECT_EQ(KGetError(), K_ERROR_IMAGE_MEMORY_ACCESS);

  // Each operation needing the root fails and traces the root lookup, then its own name.
  float w = 42.0f, h = 42.0f;
  KMeasurementUnit* unit = nullptr;
  const std::pair<const char*, std::function<int()>> cases[] = {
      {nullptr, [&] { return loose.GetRowPitch(); }},
      {"KROI::GetSkip", [&] { return loose.GetSkip(); }},
      {"KROI::GetTotalWidth", [&] { return loose.GetTotalWidth(); }},
      {"KROI::GetTotalHeight", [&] { return loose.GetTotalHeight(); }},
      {"KROI::GetPixelDimensions", [&] { return loose.GetPixelDimensions(w, h, unit), 0; }},
      {"KROI::GetResolution", [&] { return loose.GetResolution(w, h, unit), 0; }},
      {"KROI::SetPixelDimensions", [&] { return loose.SetPixelDimensions(2, 2, &KUnit_mm), 0; }},
      {"KROI::SetResolution", [&] { return loose.SetResolution(2, 2, &KUnit_mm), 0; }}};
  for (const auto& [own, call] : cases) {
    trace.Clear();
    EXPECT_EQ(call(), 0);
    EXPECT_EQ(KGetError(), K_ERROR_ROI_HAS_NO_PARENT);
    Names expected{"KROI::GetTopParent"};
    if (own != nullptr) expected.push_back(own);
    EXPECT_EQ(trace.Names(), expected) << (own ? own : "KROI::GetRowPitch");
  }
  EXPECT_EQ(w + h, 84.0f);  // outputs untouched
  EXPECT_EQ(unit, nullptr);
}

}  // namespace
